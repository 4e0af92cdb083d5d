// Bulk allocation and record pools: record counts and sizes, the chain, the
// totals, the reports, and the fall-back and exit on failed allocations.
#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <set>
#include <string>

#include "runtime/bulk_allocate.h"
#include "runtime/log.h"
#include "tests/support/test_support.h"

namespace {

// Raises the log level so the allocator's chatter is written; restores it
// and disarms the fault hook afterwards.
class chatter_log {
public:
    chatter_log() : saved_level_(log_level) { log_level = 3; }
    ~chatter_log()
    {
        vexa_fault_inject(0, 0);
        log_level = saved_level_;
    }
    std::string text() const { return log_.text(); }

private:
    int saved_level_;
    qv_test::log_capture log_;
};

// Walks the chain from first, checking that each link is the next record in
// address order and that every record can be written whole. Returns the
// number of records.
int walk_chain(void *first, int record_size)
{
    int n = 0;
    for (char *r = (char *)first; r; n++) {
        EXPECT_EQ(0u, (uintptr_t)r % BULK_RECORD_ALIGN) << "record " << n;
        char *next = *(char **)r;
        memset(r, 0x5a, (size_t)record_size);
        if (next) {
            EXPECT_EQ(r + record_size, next) << "record " << n;
        }
        r = next;
    }
    return n;
}

} // namespace

TEST(BulkAllocate, RecordCountsAndSizes)
{
    const bool pointers_of_4 = BULK_RECORD_ALIGN == 4;
    struct {
        int record_size;
        int bytes_per_block;
        int count_32, size_32; // with 4-byte pointers
        int count_64, size_64; // with 8-byte pointers
    } cases[] = {
        {28, 65536, 2340, 28, 2048, 32},
        {1, 2, 1, 4, 1, 8},
        {24, 65536, 2730, 24, 2730, 24},
        {0, 16, 4, 4, 2, 8},
        {100, 50, 1, 100, 1, 104},
        {16, -5, 1, 16, 1, 16},
    };
    for (const auto &c : cases) {
        int count = pointers_of_4 ? c.count_32 : c.count_64;
        int size = pointers_of_4 ? c.size_32 : c.size_64;
        int bytes_before, blocks_before, bytes_after, blocks_after;
        bulk_allocation_totals(&bytes_before, &blocks_before);
        void *first = vexa_bulk_allocate(c.record_size, "test record", c.bytes_per_block);
        bulk_allocation_totals(&bytes_after, &blocks_after);
        ASSERT_NE(nullptr, first);
        EXPECT_EQ(count, walk_chain(first, size)) << c.record_size << "/" << c.bytes_per_block;
        EXPECT_EQ(count * size, bytes_after - bytes_before) << c.record_size << "/" << c.bytes_per_block;
        EXPECT_EQ(1, blocks_after - blocks_before);
    }
    int blocks;
    bulk_allocation_totals(nullptr, &blocks); // either output may be left out
    bulk_allocation_totals(nullptr, nullptr);
    EXPECT_GE(blocks, 6);
}

TEST(BulkAllocate, ReportsEachBlockAsChatter)
{
    {
        chatter_log log;
        vexa_bulk_allocate(24, "struct test_rec", 65536);
        EXPECT_EQ("Allocating   2730 objects of size     24 (    65520 bytes), type 'struct test_rec'\n", log.text());
    }
    qv_test::log_capture quiet; // at the default level chatter stays out
    vexa_bulk_allocate(24, "struct test_rec", 65536);
    EXPECT_EQ("", quiet.text());
}

TEST(BulkAllocate, FallsBackToOneRecord)
{
    chatter_log log;
    int bytes_before, blocks_before, bytes_after, blocks_after;
    bulk_allocation_totals(&bytes_before, &blocks_before);
    vexa_fault_inject(1, 1);
    void *first = vexa_bulk_allocate(24, "struct small", 240);
    bulk_allocation_totals(&bytes_after, &blocks_after);
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(1, walk_chain(first, 24));
    EXPECT_EQ(24, bytes_after - bytes_before);
    EXPECT_EQ(1, blocks_after - blocks_before);
    EXPECT_EQ("Allocating     10 objects of size     24 (      240 bytes), type 'struct small'\n"
              "Error in vexa_bulk_allocate(), malloc failed for     10 objects of size     24 (      240 bytes), "
              "type 'struct small'.  Trying single object.\n",
              log.text());
}

TEST(BulkAllocateDeathTest, EndsTheProcessWhenEvenOneRecordFails)
{
    GTEST_FLAG_SET(death_test_style, "fast");
    qv_test::log_capture log;
    EXPECT_EXIT(
        {
            vexa_fault_inject(1, 2);
            vexa_bulk_allocate(24, "struct doomed", 240);
        },
        testing::ExitedWithCode(1), "");
    // The child wrote into the same log file before it exited.
    EXPECT_NE(std::string::npos,
              log.text().find("Error in vexa_bulk_allocate(), malloc failed for      1 objects of size     24 (       24 "
                              "bytes), type 'struct doomed'.  Failing and exiting.\n"));
}

TEST(RecordPool, TakesGivesBackAndRefills)
{
    // Two records of 32 bytes per block.
    record_pool pool("struct pooled", 32, 64);
    EXPECT_EQ(nullptr, pool.free_list);
    int blocks_before, blocks_after;
    bulk_allocation_totals(nullptr, &blocks_before);

    std::set<void *> taken;
    for (int i = 0; i < 5; i++) {
        void *r = pool.take();
        memset(r, 0x33, 32);
        EXPECT_TRUE(taken.insert(r).second) << "record handed out twice";
    }
    bulk_allocation_totals(nullptr, &blocks_after);
    EXPECT_EQ(3, blocks_after - blocks_before);

    // Given-back records come out again, last in first out.
    void *a = *taken.begin();
    void *b = *taken.rbegin();
    pool.give_back(a);
    pool.give_back(b);
    pool.give_back(nullptr);
    EXPECT_EQ(b, pool.take());
    EXPECT_EQ(a, pool.take());

    pool.forget();
    EXPECT_EQ(nullptr, pool.free_list);
    EXPECT_EQ(nullptr, pool.type_name);
}
