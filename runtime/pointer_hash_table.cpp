// VoidPointerHashTable and the hashes for its keys (see pointer_hash_table.h).
#include "runtime/pointer_hash_table.h"

#include <stdlib.h>
#include <string.h>

#include "runtime/bulk_allocate.h"
#include "runtime/log.h"
#include "runtime/text_buffer.h"

// Start value of both hashes.
static const uint32_t hash_seed = 0x5D3B915Du;

static inline uint32_t mix_byte(uint32_t h, unsigned char b)
{
    h += b;
    h += h << 10;
    h ^= h >> 6;
    return h;
}

static inline uint32_t finish_hash(uint32_t h)
{
    h += h << 3;
    h ^= h >> 11;
    h += h << 15;
    return h;
}

uint32_t string_hash(const char *text)
{
    if (!text)
        text = "";
    uint32_t h = hash_seed;
    uint32_t length = 0;
    for (const unsigned char *p = (const unsigned char *)text; *p; p++, length++)
        h = mix_byte(h, *p);
    for (int i = 0; i < 4; i++)
        h = mix_byte(h, (unsigned char)(length >> (8 * i)));
    return finish_hash(h);
}

uint32_t block_hash(const void *bytes, int count)
{
    if (!bytes || count < 1)
        count = 0;
    uint32_t h = hash_seed + (uint32_t)count;
    const unsigned char *p = (const unsigned char *)bytes;
    for (int i = 0; i < count; i++)
        h = mix_byte(h, p[i]);
    return finish_hash(h);
}

static vexa_hash_node **new_bucket_array(unsigned int size)
{
    vexa_hash_node **array = (vexa_hash_node **)vexa_fault_malloc((size_t)size * sizeof(vexa_hash_node *));
    if (array) {
        for (unsigned int i = 0; i < size; i++)
            array[i] = nullptr;
    }
    return array;
}

VoidPointerHashTable::VoidPointerHashTable(vexa_thing_hash_function thing_hash_function,
                                           vexa_key_hash_function key_hash_function,
                                           vexa_thing_match_function match_function)
    : buckets(nullptr), size(HASH_TABLE_INITIAL_SIZE), mask(HASH_TABLE_INITIAL_SIZE - 1), count(0),
      thing_hash(thing_hash_function), key_hash(key_hash_function), match(match_function)
{
    buckets = new_bucket_array(size);
    if (!buckets)
        log_report("Error in VoidPointerHashTable(), initial table alloc failed.", LOG_CLASS_RESOURCE,
                   LOG_MODULE_UTIL);
}

VoidPointerHashTable::~VoidPointerHashTable()
{
    clear();
    free(buckets);
    buckets = nullptr;
    thing_hash = nullptr;
    key_hash = nullptr;
    match = nullptr;
}

void VoidPointerHashTable::add(void *thing)
{
    if (!buckets) {
        log_report("Error in VoidPointerHashTable::add(), no bucket table, thing dropped.", LOG_CLASS_RESOURCE,
                   LOG_MODULE_UTIL);
        return;
    }
    if (!thing || !thing_hash) {
        log_report("Error in VoidPointerHashTable::add(), null thing or hash function, thing dropped.",
                   LOG_CLASS_USAGE, LOG_MODULE_UTIL);
        return;
    }
    if ((unsigned int)count > size / 2)
        expand_hash_table();

    uint32_t hash = thing_hash(thing);
    unsigned int bucket = hash & mask;
    int in_bucket = 0;
    for (vexa_hash_node *n = buckets[bucket]; n; n = n->next) {
        if (n->thing == thing) {
            log_report("Error in VoidPointerHashTable::add(), attempt to add duplicate thing.", LOG_CLASS_USAGE,
                       LOG_MODULE_UTIL);
            return;
        }
        in_bucket++;
    }
    if (in_bucket > HASH_TABLE_LONG_BUCKET) {
        text_buffer t;
        t.append_format("Error in VoidPointerHashTable::add(), found %d things in bucket %d.", in_bucket,
                        (int)bucket);
        log_report(t.text(), LOG_CLASS_INTERNAL, LOG_MODULE_UTIL);
    }

    vexa_hash_node *node = (vexa_hash_node *)vexa_fault_malloc(sizeof(vexa_hash_node));
    if (!node) {
        log_report("Error in VoidPointerHashTable::add(), unable to allocate node, thing dropped.",
                   LOG_CLASS_RESOURCE, LOG_MODULE_UTIL);
        return;
    }
    node->hash = hash;
    node->thing = thing;
    node->next = buckets[bucket];
    buckets[bucket] = node;
    count++;
}

void *VoidPointerHashTable::find_by_key(const void *key) const
{
    if (!buckets || !key_hash || !match)
        return nullptr;
    uint32_t hash = key_hash(key);
    for (vexa_hash_node *n = buckets[hash & mask]; n; n = n->next) {
        if (match(n->thing, key))
            return n->thing;
    }
    return nullptr;
}

int VoidPointerHashTable::remove(void *thing)
{
    if (!buckets || !thing || !thing_hash)
        return 0;
    uint32_t hash = thing_hash(thing);
    for (vexa_hash_node **link = &buckets[hash & mask]; *link; link = &(*link)->next) {
        vexa_hash_node *n = *link;
        if (n->thing == thing) {
            *link = n->next;
            free(n);
            count--;
            return 1;
        }
    }
    return 0;
}

void VoidPointerHashTable::clear()
{
    if (!buckets)
        return;
    for (unsigned int i = 0; i < size; i++) {
        vexa_hash_node *n = buckets[i];
        while (n) {
            vexa_hash_node *next = n->next;
            free(n);
            n = next;
        }
        buckets[i] = nullptr;
    }
    count = 0;
}

void VoidPointerHashTable::expand_hash_table()
{
    if (!buckets || size >= HASH_TABLE_MAX_SIZE)
        return;
    unsigned int new_size = size * 2;
    vexa_hash_node **new_buckets = new_bucket_array(new_size);
    if (!new_buckets) {
        text_buffer t;
        t.append_format("Error in VoidPointerHashTable::expand_hash_table(), unable to allocate table of size %u."
                        "  Using old table.",
                        new_size);
        log_report(t.text(), LOG_CLASS_RESOURCE, LOG_MODULE_UTIL);
        return;
    }
    unsigned int new_mask = new_size - 1;
    for (unsigned int i = 0; i < size; i++) {
        vexa_hash_node *n = buckets[i];
        while (n) {
            vexa_hash_node *next = n->next;
            n->next = new_buckets[n->hash & new_mask];
            new_buckets[n->hash & new_mask] = n;
            n = next;
        }
    }
    free(buckets);
    buckets = new_buckets;
    size = new_size;
    mask = new_mask;
}
