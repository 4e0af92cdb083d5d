// Pointer containers: the hash table with its hashes, the heap and the array,
// including allocation failures injected through the fault hook.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "runtime/bulk_allocate.h"
#include "runtime/log.h"
#include "runtime/pointer_array.h"
#include "runtime/pointer_hash_table.h"
#include "runtime/pointer_heap.h"
#include "tests/support/test_support.h"

namespace {

struct named_thing {
    std::string name;
};

uint32_t thing_name_hash(const void *thing)
{
    return string_hash(((const named_thing *)thing)->name.c_str());
}

uint32_t key_text_hash(const void *key)
{
    return string_hash((const char *)key);
}

int thing_has_name(const void *thing, const void *key)
{
    return ((const named_thing *)thing)->name == (const char *)key;
}

uint32_t constant_hash(const void *)
{
    return 0;
}

// Things named "thing-0" to "thing-<n-1>".
std::vector<named_thing> make_things(int n)
{
    std::vector<named_thing> things(n);
    for (int i = 0; i < n; i++)
        things[i].name = "thing-" + std::to_string(i);
    return things;
}

bool contains(const std::string &haystack, const std::string &needle)
{
    return haystack.find(needle) != std::string::npos;
}

// Captures the log with every class but the resource class (1) masked, so a
// report shows only when it carries that class; disarms the fault hook after.
class resource_reports {
public:
    resource_reports() { log_set_report_mask(~(unsigned int)LOG_CLASS_RESOURCE); }
    ~resource_reports()
    {
        vexa_fault_inject(0, 0);
        log_set_report_mask(0);
    }
    std::string text() const { return log.text(); }

private:
    qv_test::log_capture log;
};

int compare_texts(const void *a, const void *b)
{
    return strcmp((const char *)a, (const char *)b);
}

int compare_texts_descending(const void *a, const void *b)
{
    return strcmp((const char *)b, (const char *)a);
}

} // namespace

TEST(StringHash, KnownValues)
{
    EXPECT_EQ(0x1AAD0981u, string_hash(""));
    EXPECT_EQ(0x4AF578A2u, string_hash("abc"));
    EXPECT_EQ(string_hash(""), string_hash(nullptr));
    EXPECT_NE(string_hash("abd"), string_hash("abc"));
    // High bytes are mixed as unsigned values.
    EXPECT_NE(string_hash("\xff"), string_hash("\x7f"));
}

TEST(BlockHash, CountsOnlyTheGivenBytes)
{
    const char bytes[] = "abcdef";
    EXPECT_EQ(block_hash(bytes, 3), block_hash("abcXYZ", 3));
    EXPECT_NE(block_hash(bytes, 3), block_hash(bytes, 4));
    EXPECT_EQ(block_hash(nullptr, 5), block_hash(bytes, 0));
    EXPECT_EQ(block_hash(bytes, -1), block_hash(bytes, 0));
}

TEST(PointerHashTable, GrowsAtThe130thThingAndFindsAll)
{
    std::vector<named_thing> things = make_things(300);
    VoidPointerHashTable table(thing_name_hash, key_text_hash, thing_has_name);
    EXPECT_EQ(256u, table.size);
    for (int i = 0; i < 129; i++)
        table.add(&things[i]);
    EXPECT_EQ(256u, table.size);
    table.add(&things[129]);
    EXPECT_EQ(512u, table.size);
    EXPECT_EQ(511u, table.mask);
    EXPECT_EQ(130, table.count);
    for (int i = 130; i < 300; i++)
        table.add(&things[i]);
    EXPECT_EQ(1024u, table.size);
    for (int i = 0; i < 300; i++)
        EXPECT_EQ(&things[i], table.find_by_key(things[i].name.c_str())) << i;
    EXPECT_EQ(nullptr, table.find_by_key("thing-300"));
}

TEST(PointerHashTable, DuplicatesEqualKeysAndRemoval)
{
    qv_test::log_capture log;
    VoidPointerHashTable table(thing_name_hash, key_text_hash, thing_has_name);
    named_thing first{"same"}, second{"same"}, other{"other"};

    table.add(&first);
    table.add(&first);
    EXPECT_EQ(1, table.count);
    EXPECT_EQ("Error in VoidPointerHashTable::add(), attempt to add duplicate thing.\n", log.text());

    // Two things with one key: both kept, the later one found first.
    table.add(&second);
    EXPECT_EQ(2, table.count);
    EXPECT_EQ(&second, table.find_by_key("same"));

    EXPECT_EQ(0, table.remove(&other));
    EXPECT_EQ(1, table.remove(&second));
    EXPECT_EQ(0, table.remove(&second));
    EXPECT_EQ(1, table.count);
    EXPECT_EQ(&first, table.find_by_key("same"));
    EXPECT_EQ(1, table.remove(&first));
    EXPECT_EQ(nullptr, table.find_by_key("same"));
    EXPECT_EQ(0, table.count);
}

TEST(PointerHashTable, ClearKeepsTheSize)
{
    std::vector<named_thing> things = make_things(200);
    VoidPointerHashTable table(thing_name_hash, key_text_hash, thing_has_name);
    for (named_thing &t : things)
        table.add(&t);
    EXPECT_EQ(512u, table.size);
    table.clear();
    EXPECT_EQ(0, table.count);
    EXPECT_EQ(512u, table.size);
    EXPECT_EQ(nullptr, table.find_by_key("thing-7"));
    table.add(&things[7]);
    EXPECT_EQ(&things[7], table.find_by_key("thing-7"));
}

TEST(PointerHashTable, ReportsOverfullBucket)
{
    qv_test::log_capture log;
    std::vector<named_thing> things = make_things(53);
    VoidPointerHashTable table(constant_hash, constant_hash, thing_has_name);
    for (int i = 0; i <= 50; i++)
        table.add(&things[i]);
    EXPECT_EQ("", log.text()); // 50 nodes in the bucket are still fine
    table.add(&things[51]);
    EXPECT_EQ("Error in VoidPointerHashTable::add(), found 51 things in bucket 0.\n", log.text());
    EXPECT_EQ(52, table.count);
    EXPECT_EQ(&things[3], table.find_by_key("thing-3"));
}

TEST(PointerHashTable, FailedNodeAllocationDropsOnlyThatThing)
{
    resource_reports log;
    std::vector<named_thing> things = make_things(3);
    VoidPointerHashTable table(thing_name_hash, key_text_hash, thing_has_name);
    table.add(&things[0]);
    vexa_fault_inject(1, 1);
    table.add(&things[1]);
    EXPECT_EQ("Error in VoidPointerHashTable::add(), unable to allocate node, thing dropped.\n", log.text());
    table.add(&things[2]);
    EXPECT_EQ(2, table.count);
    EXPECT_EQ(&things[0], table.find_by_key("thing-0"));
    EXPECT_EQ(nullptr, table.find_by_key("thing-1"));
    EXPECT_EQ(&things[2], table.find_by_key("thing-2"));
    EXPECT_EQ(0, table.remove(&things[1]));
}

TEST(PointerHashTable, FailedGrowthKeepsTheOldTable)
{
    resource_reports log;
    std::vector<named_thing> things = make_things(131);
    VoidPointerHashTable table(thing_name_hash, key_text_hash, thing_has_name);
    for (int i = 0; i < 129; i++)
        table.add(&things[i]);
    vexa_fault_inject(1, 1); // the new bucket array; the node after it succeeds
    table.add(&things[129]);
    EXPECT_EQ("Error in VoidPointerHashTable::expand_hash_table(), unable to allocate table of size 512."
              "  Using old table.\n",
              log.text());
    EXPECT_EQ(256u, table.size);
    EXPECT_EQ(255u, table.mask);
    EXPECT_EQ(130, table.count);
    for (int i = 0; i < 130; i++)
        EXPECT_EQ(&things[i], table.find_by_key(things[i].name.c_str())) << i;
    // The next add tries again and succeeds.
    table.add(&things[130]);
    EXPECT_EQ(512u, table.size);
    for (int i = 0; i < 131; i++)
        EXPECT_EQ(&things[i], table.find_by_key(things[i].name.c_str())) << i;
}

TEST(PointerHashTable, WithoutInitialArrayRefusesAddsAndFindsNothing)
{
    resource_reports log;
    named_thing t{"t"};
    vexa_fault_inject(1, 1);
    VoidPointerHashTable table(thing_name_hash, key_text_hash, thing_has_name);
    EXPECT_EQ("Error in VoidPointerHashTable(), initial table alloc failed.\n", log.text());
    EXPECT_EQ(nullptr, table.buckets);
    table.add(&t);
    EXPECT_TRUE(contains(log.text(), "Error in VoidPointerHashTable::add(), no bucket table, thing dropped.\n"));
    EXPECT_EQ(0, table.count);
    EXPECT_EQ(nullptr, table.find_by_key("t"));
    EXPECT_EQ(0, table.remove(&t));
    table.expand_hash_table();
    table.clear();
    EXPECT_EQ(nullptr, table.buckets);
}

TEST(PointerHeap, OrdersByTheComparison)
{
    const char *words[] = {"pear", "apple", "fig", "apple", "zucchini", "banana", "cherry", "date"};
    std::vector<std::string> sorted(std::begin(words), std::end(words));
    std::sort(sorted.begin(), sorted.end());

    pointer_heap ascending(compare_texts);
    pointer_heap descending(compare_texts_descending);
    EXPECT_TRUE(ascending.is_empty());
    for (const char *w : words) {
        ascending.insert((void *)w);
        descending.insert((void *)w);
    }
    ascending.insert(nullptr); // ignored
    EXPECT_EQ(8, ascending.count);
    EXPECT_FALSE(ascending.is_empty());

    for (size_t i = 0; i < sorted.size(); i++) {
        EXPECT_EQ(sorted[i], (const char *)ascending.remove_lowest()) << i;
        EXPECT_EQ(sorted[sorted.size() - 1 - i], (const char *)descending.remove_lowest()) << i;
    }
    EXPECT_TRUE(ascending.is_empty());
    EXPECT_EQ(nullptr, ascending.remove_lowest());
}

TEST(PointerHeap, GrowsOnceForThreeHundredItems)
{
    std::vector<std::string> texts;
    unsigned int seed = 12345;
    for (int i = 0; i < 300; i++) {
        seed = seed * 1103515245u + 12345u;
        texts.push_back("n" + std::to_string(seed % 1000));
    }
    pointer_heap heap(compare_texts);
    for (int i = 0; i < 253; i++)
        heap.insert((void *)texts[i].c_str());
    EXPECT_EQ(254, heap.capacity);
    heap.insert((void *)texts[253].c_str());
    EXPECT_EQ(510, heap.capacity);
    for (int i = 254; i < 300; i++)
        heap.insert((void *)texts[i].c_str());
    EXPECT_EQ(510, heap.capacity);

    std::vector<std::string> sorted = texts;
    std::sort(sorted.begin(), sorted.end());
    for (int i = 0; i < 300; i++)
        ASSERT_EQ(sorted[i], (const char *)heap.remove_lowest()) << i;
    EXPECT_TRUE(heap.is_empty());
}

TEST(PointerHeap, FailedGrowthDropsTheItemOnly)
{
    resource_reports log;
    std::vector<std::string> texts;
    for (int i = 0; i < 260; i++)
        texts.push_back("t" + std::to_string(1000 + (i * 37) % 260));
    pointer_heap heap(compare_texts);
    for (int i = 0; i < 253; i++)
        heap.insert((void *)texts[i].c_str());
    vexa_fault_inject(1, 1);
    heap.insert((void *)texts[253].c_str());
    EXPECT_EQ("Error in pointer_heap::insert(), unable to grow storage to 510 items, item dropped.\n", log.text());
    EXPECT_EQ(253, heap.count);
    EXPECT_EQ(254, heap.capacity);

    for (int i = 254; i < 260; i++) // the hook is spent: growth works again
        heap.insert((void *)texts[i].c_str());
    EXPECT_EQ(259, heap.count);
    std::vector<std::string> kept(texts.begin(), texts.begin() + 253);
    kept.insert(kept.end(), texts.begin() + 254, texts.end());
    std::sort(kept.begin(), kept.end());
    for (const std::string &k : kept)
        ASSERT_EQ(k, (const char *)heap.remove_lowest());
    EXPECT_TRUE(heap.is_empty());
}

TEST(PointerHeap, StartsWithoutStorageWhenTheFirstAllocationFails)
{
    resource_reports log;
    vexa_fault_inject(1, 1);
    pointer_heap heap(compare_texts);
    EXPECT_EQ("Error in pointer_heap(), initial storage alloc failed.\n", log.text());
    EXPECT_TRUE(heap.is_empty());
    EXPECT_EQ(nullptr, heap.remove_lowest());
    const char *words[] = {"c", "a", "b"};
    for (const char *w : words)
        heap.insert((void *)w);
    EXPECT_STREQ("a", (const char *)heap.remove_lowest());
    EXPECT_STREQ("b", (const char *)heap.remove_lowest());
    EXPECT_STREQ("c", (const char *)heap.remove_lowest());
}

TEST(PointerArray, InlineSlotsThenGrowth)
{
    resource_reports log;
    int values[300];
    pointer_array array;
    EXPECT_EQ(64, array.capacity);
    EXPECT_EQ(0, array.count);

    // The next allocation would fail: the first 64 appends make none.
    vexa_fault_inject(1, 1);
    for (int i = 0; i < 64; i++)
        array.append(&values[i]);
    EXPECT_EQ("", log.text());
    EXPECT_EQ(array.inline_items, array.items);
    EXPECT_EQ(64, array.count);

    // The 65th needs storage for 128; that fails and the array is unchanged.
    array.append(&values[64]);
    EXPECT_EQ("Error in pointer_array::append(), unable to grow storage to 128 items, item dropped.\n", log.text());
    EXPECT_EQ(64, array.count);
    EXPECT_EQ(64, array.capacity);
    EXPECT_EQ(array.inline_items, array.items);

    array.append(&values[64]);
    EXPECT_EQ(128, array.capacity);
    EXPECT_NE(array.inline_items, array.items);
    for (int i = 65; i < 300; i++)
        array.append(&values[i]);
    EXPECT_EQ(300, array.count);
    EXPECT_EQ(512, array.capacity);
    for (int i = 0; i < 300; i++)
        ASSERT_EQ(&values[i], array.at(i)) << i;
    EXPECT_EQ(nullptr, array.at(300));
    EXPECT_EQ(nullptr, array.at(-1));
}
