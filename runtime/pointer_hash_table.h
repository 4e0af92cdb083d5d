// VoidPointerHashTable: a chained hash table of "things" (pointers owned by
// the caller) looked up by a key through three functions the caller supplies:
// a thing's hash, a key's hash, and a match test. A thing must hash to the
// same value as its key. The file manifest indexes its entries by name with
// it (string_hash is the hash for names). The table never owns its things and
// only grows; it is not locked.
#ifndef QV_RUNTIME_POINTER_HASH_TABLE_H
#define QV_RUNTIME_POINTER_HASH_TABLE_H

#include <stdint.h>

typedef uint32_t (*vexa_thing_hash_function)(const void *thing);
typedef uint32_t (*vexa_key_hash_function)(const void *key);
// Non-zero when the thing has that key.
typedef int (*vexa_thing_match_function)(const void *thing, const void *key);

// Buckets of a new table (a power of two).
enum { HASH_TABLE_INITIAL_SIZE = 256 };
// A bucket longer than this when a thing is added is reported: the hash
// functions are probably poor.
enum { HASH_TABLE_LONG_BUCKET = 50 };
// The table stops doubling here: twice this would not fit the unsigned size.
enum : unsigned int { HASH_TABLE_MAX_SIZE = 1u << 31 };

// One per thing held.
struct vexa_hash_node {
    uint32_t hash;          // the thing's full hash, reused when the table grows
    void *thing;
    vexa_hash_node *next;   // next node of the bucket
};

class VoidPointerHashTable {
public:
    vexa_hash_node **buckets;   // size bucket heads; null when the first allocation failed
    unsigned int size;          // a power of two
    unsigned int mask;          // size - 1; a hash's bucket is hash & mask
    int count;                  // things held
    vexa_thing_hash_function thing_hash;
    vexa_key_hash_function key_hash;
    vexa_thing_match_function match;

    // An empty table of 256 buckets. When the bucket array cannot be
    // allocated this is reported; the table then holds nothing: adds are
    // refused with a report, lookups find nothing.
    VoidPointerHashTable(vexa_thing_hash_function thing_hash_function, vexa_key_hash_function key_hash_function,
                         vexa_thing_match_function match_function);
    // Frees every node and the bucket array and forgets the functions.
    ~VoidPointerHashTable();
    VoidPointerHashTable(const VoidPointerHashTable &) = delete;
    VoidPointerHashTable &operator=(const VoidPointerHashTable &) = delete;

    // Adds the thing (doubling the table first when count is above half the
    // size). The very same pointer twice is refused with a report; different
    // things with equal keys are all kept. A null thing, a missing bucket
    // array or a failed node allocation drop the thing with a report and
    // leave the table as it was.
    void add(void *thing);
    // The first thing of the key's bucket that matches the key (among equal
    // keys, the one added last), or null.
    void *find_by_key(const void *key) const;
    // 1 when the thing was held and is now removed, else 0.
    int remove(void *thing);
    // Drops every node; the size is kept.
    void clear();
    // Doubles the table and moves every node by its stored hash. When the new
    // array cannot be allocated this is reported and the old table stays.
    void expand_hash_table();
};

// One-at-a-time hash of the text's bytes and then of its length, from the
// start value 0x5D3B915D. A null text hashes like the empty text.
uint32_t string_hash(const char *text);
// The same mixing over count bytes, starting from 0x5D3B915D + count, without
// the length. Null bytes or a count below 1 hash like zero bytes.
uint32_t block_hash(const void *bytes, int count);

#endif
