// Bulk allocation and record pools (see bulk_allocate.h).
#include "runtime/bulk_allocate.h"

#include <limits.h>
#include <stdio.h>
#include <stdlib.h>

#include "runtime/log.h"

static int total_bytes = 0;
static int total_blocks = 0;

// Every block starts with one pointer-sized header that links it to the block
// allocated before it; the records follow. The chain keeps the blocks
// reachable for the life of the process (records are never freed), which also
// tells leak checkers that they are held, not lost.
static void *newest_block = nullptr;

// Fault hook state: calls still to pass before the first failure, then the
// number of calls that fail.
static int fault_calls_before = 0;
static int fault_calls_failing = 0;

void vexa_fault_inject(int first, int count)
{
    if (first < 1 || count < 1) {
        fault_calls_before = 0;
        fault_calls_failing = 0;
        return;
    }
    fault_calls_before = first - 1;
    fault_calls_failing = count;
}

void *vexa_fault_malloc(size_t bytes)
{
    if (fault_calls_failing > 0) {
        if (fault_calls_before > 0) {
            fault_calls_before--;
        } else {
            fault_calls_failing--;
            return nullptr;
        }
    }
    return malloc(bytes);
}

static void report_bulk(const char *format, int count, int size, const char *type_name, int class_bits)
{
    char text[BULK_REPORT_BUFFER_SIZE];
    snprintf(text, sizeof text, format, count, size, count * size, type_name ? type_name : "(null)");
    log_report(text, class_bits, LOG_MODULE_BULK);
}

void *vexa_bulk_allocate(int record_size, const char *type_name, int bytes_per_block)
{
    int size = record_size < BULK_RECORD_ALIGN ? (int)BULK_RECORD_ALIGN : record_size;
    if (size > INT_MAX - BULK_RECORD_ALIGN)
        size = INT_MAX - BULK_RECORD_ALIGN; // cannot be allocated; ends in the failure path
    size = (size + BULK_RECORD_ALIGN - 1) / BULK_RECORD_ALIGN * BULK_RECORD_ALIGN;
    int count = bytes_per_block / size;
    if (count < 1)
        count = 1;

    report_bulk("Allocating %6d objects of size %6d (%9d bytes), type '%s'", count, size, type_name,
                LOG_CLASS_CHATTER);

    char *block = (char *)vexa_fault_malloc(BULK_RECORD_ALIGN + (size_t)count * (size_t)size);
    if (!block) {
        report_bulk("Error in vexa_bulk_allocate(), malloc failed for %6d objects of size %6d (%9d bytes), "
                    "type '%s'.  Trying single object.",
                    count, size, type_name, LOG_CLASS_RESOURCE);
        count = 1;
        block = (char *)vexa_fault_malloc(BULK_RECORD_ALIGN + (size_t)size);
        if (!block) {
            report_bulk("Error in vexa_bulk_allocate(), malloc failed for %6d objects of size %6d (%9d bytes), "
                        "type '%s'.  Failing and exiting.",
                        count, size, type_name, LOG_CLASS_RESOURCE);
            exit(1);
        }
    }

    *(void **)block = newest_block;
    newest_block = block;
    int bytes = count * size;
    total_bytes = total_bytes > INT_MAX - bytes ? INT_MAX : total_bytes + bytes;
    total_blocks++;

    char *first = block + BULK_RECORD_ALIGN;
    for (int i = 0; i < count; i++) {
        char *record = first + (size_t)i * (size_t)size;
        *(void **)record = i + 1 < count ? record + size : nullptr;
    }
    return first;
}

void bulk_allocation_totals(int *bytes, int *blocks)
{
    if (bytes)
        *bytes = total_bytes;
    if (blocks)
        *blocks = total_blocks;
}

void *record_pool::take()
{
    if (!free_list)
        free_list = vexa_bulk_allocate(record_size, type_name, bytes_per_block);
    void *record = free_list;
    free_list = *(void **)record;
    return record;
}

void record_pool::give_back(void *record)
{
    if (!record)
        return;
    *(void **)record = free_list;
    free_list = record;
}

void record_pool::forget()
{
    free_list = nullptr;
    type_name = nullptr;
}
