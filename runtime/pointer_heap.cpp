// pointer_heap (see pointer_heap.h).
#include "runtime/pointer_heap.h"

#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include "runtime/bulk_allocate.h"
#include "runtime/log.h"
#include "runtime/text_buffer.h"

// Slots beyond the capacity: index 0 is unused and one spare.
static const int heap_extra_slots = 2;

pointer_heap::pointer_heap(pointer_heap_compare compare_function)
    : items(nullptr), capacity(POINTER_HEAP_INITIAL_CAPACITY), count(0), compare(compare_function)
{
    items = (void **)vexa_fault_malloc((size_t)(capacity + heap_extra_slots) * sizeof(void *));
    if (!items) {
        log_report("Error in pointer_heap(), initial storage alloc failed.", LOG_CLASS_RESOURCE, LOG_MODULE_UTIL);
        capacity = 0;
    }
}

pointer_heap::~pointer_heap()
{
    free(items);
    items = nullptr;
    capacity = 0;
    count = 0;
}

void pointer_heap::insert(void *item)
{
    if (!item)
        return;
    if (!compare) {
        log_report("Error in pointer_heap::insert(), no comparison function, item dropped.", LOG_CLASS_USAGE,
                   LOG_MODULE_UTIL);
        return;
    }
    int new_count = count + 1;
    if (new_count >= capacity) {
        int new_capacity = capacity <= (INT_MAX - 2 * heap_extra_slots) / 2 ? 2 * capacity + 2 : capacity;
        void **storage = new_capacity > capacity
                             ? (void **)vexa_fault_malloc((size_t)(new_capacity + heap_extra_slots) * sizeof(void *))
                             : nullptr;
        if (!storage) {
            text_buffer t;
            t.append_format("Error in pointer_heap::insert(), unable to grow storage to %d items, item dropped.",
                            new_capacity);
            log_report(t.text(), LOG_CLASS_RESOURCE, LOG_MODULE_UTIL);
            return;
        }
        if (items)
            memcpy(storage + 1, items + 1, (size_t)count * sizeof(void *));
        free(items);
        items = storage;
        capacity = new_capacity;
    }
    count = new_count;
    int i = count;
    items[i] = item;
    while (i > 1 && compare(items[i], items[i / 2]) < 0) {
        void *parent = items[i / 2];
        items[i / 2] = items[i];
        items[i] = parent;
        i /= 2;
    }
}

void *pointer_heap::remove_lowest()
{
    if (count == 0)
        return nullptr;
    void *lowest = items[1];
    items[1] = items[count];
    count--;
    int i = 1;
    for (;;) {
        int child = 2 * i;
        if (child > count)
            break;
        if (child + 1 <= count && compare(items[child], items[child + 1]) > 0)
            child++;
        if (compare(items[child], items[i]) >= 0)
            break;
        void *moving = items[i];
        items[i] = items[child];
        items[child] = moving;
        i = child;
    }
    return lowest;
}
