// Bulk allocation: carves one large allocation into a chain of fixed-size
// records, and record_pool, a free list of such records refilled a block at a
// time. The extra_desc records of the tagged text readers come from a pool.
// Records are never returned to the system: the allocator keeps every block
// it handed out on a process-wide chain for the life of the process.
//
// Also home of the allocation fault hook: the containers (pointer_heap,
// pointer_array, VoidPointerHashTable) and the bulk allocator take their
// memory through vexa_fault_malloc, so tests can make the Nth allocation fail
// and check that the container survives.
//
// Nothing here is locked; the totals and the hook are plain process-wide state.
#ifndef QV_RUNTIME_BULK_ALLOCATE_H
#define QV_RUNTIME_BULK_ALLOCATE_H

#include <stddef.h>

// Records are rounded up to a multiple of this (at least one unit): each free
// record links to the next through its first word, so it must hold and align
// a pointer (4 bytes on 32-bit builds, 8 on 64-bit ones).
enum { BULK_RECORD_ALIGN = sizeof(void *) };
// Formatting buffer of the bulk allocator's reports; type names are short
// constants, anything longer is cut.
enum { BULK_REPORT_BUFFER_SIZE = 1000 };

// Hands out one block of records of record_size (rounded up as above) bytes,
// as many as fit into bytes_per_block (at least one), linked in address order
// through their first words, the last link null. Returns the first record.
// When the block cannot be allocated, falls back to a single record; when that
// fails too, reports and ends the process with status 1.
void *vexa_bulk_allocate(int record_size, const char *type_name, int bytes_per_block);

// Record bytes and blocks handed out by vexa_bulk_allocate so far; either
// output may be null. The byte total stops at the largest int.
void bulk_allocation_totals(int *bytes, int *blocks);

// A free list of records of one size, refilled from vexa_bulk_allocate.
class record_pool {
public:
    void *free_list;           // first free record; each links to the next
    const char *type_name;     // for the allocator's reports; not owned
    int bytes_per_block;
    int record_size;

    // An empty pool; nothing is allocated until the first take. Constant
    // initialisation, so a pool at namespace scope is usable by any static
    // initialiser.
    constexpr record_pool(const char *name, int size, int block_bytes)
        : free_list(nullptr), type_name(name), bytes_per_block(block_bytes), record_size(size)
    {
    }

    // One record (contents undefined). Never fails: refilling ends the process
    // when memory is gone (see vexa_bulk_allocate).
    void *take();
    // Puts the record at the head of the free list; a null record is ignored.
    void give_back(void *record);
    // Forgets the free list and the type name (the records stay allocated).
    void forget();
};

// Allocation used by the containers and the bulk allocator: malloc, unless
// the fault hook says this allocation is to fail, then null.
void *vexa_fault_malloc(size_t bytes);

// Test hook: counting from the next vexa_fault_malloc call as 1, the calls
// number first to first + count - 1 fail. vexa_fault_inject(0, 0) disarms.
// Not for use while other threads allocate.
void vexa_fault_inject(int first, int count);

#endif
