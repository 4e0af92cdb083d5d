// pointer_array (see pointer_array.h).
#include "runtime/pointer_array.h"

#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include "runtime/bulk_allocate.h"
#include "runtime/log.h"
#include "runtime/text_buffer.h"

pointer_array::pointer_array() : items(inline_items), capacity(POINTER_ARRAY_INLINE_SLOTS), count(0)
{
}

pointer_array::~pointer_array()
{
    if (items != inline_items)
        free(items);
    items = inline_items;
    capacity = 0;
    count = 0;
}

void pointer_array::append(void *item)
{
    if (count >= capacity) {
        int new_capacity = capacity <= INT_MAX / 2 ? capacity * 2 : INT_MAX;
        void **storage = new_capacity > capacity
                             ? (void **)vexa_fault_malloc((size_t)new_capacity * sizeof(void *))
                             : nullptr;
        if (!storage) {
            text_buffer t;
            t.append_format("Error in pointer_array::append(), unable to grow storage to %d items, item dropped.",
                            new_capacity);
            log_report(t.text(), LOG_CLASS_RESOURCE, LOG_MODULE_UTIL);
            return;
        }
        memcpy(storage, items, (size_t)count * sizeof(void *));
        if (items != inline_items)
            free(items);
        items = storage;
        capacity = new_capacity;
    }
    items[count++] = item;
}

void *pointer_array::at(int index) const
{
    if (index < 0 || index >= count)
        return nullptr;
    return items[index];
}
