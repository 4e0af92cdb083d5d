// pointer_array: a growable array of untyped pointers whose first 64 slots
// live inside the object, so short lists cost no allocation. The launch
// sequence and the update run keep their lists of names in such arrays. The
// array does not own the things it points to.
//
// The object points into itself while the inline slots are in use, so it is
// never copied. Not locked: one thread at a time.
#ifndef QV_RUNTIME_POINTER_ARRAY_H
#define QV_RUNTIME_POINTER_ARRAY_H

// Slots inside the object; lists up to this length need no heap storage.
enum { POINTER_ARRAY_INLINE_SLOTS = 64 };

class pointer_array {
public:
    void *inline_items[POINTER_ARRAY_INLINE_SLOTS];
    void **items;      // inline_items until the first growth, then heap storage
    int capacity;
    int count;

    // Empty, capacity 64, using the inline slots.
    pointer_array();
    // Frees the heap storage, if any (the things pointed to are not touched).
    ~pointer_array();
    pointer_array(const pointer_array &) = delete;
    pointer_array &operator=(const pointer_array &) = delete;

    // Stores the pointer (null included) at index count. When the array is
    // full the capacity doubles first; if that storage cannot be allocated the
    // pointer is dropped with a report and the array stays as it was.
    void append(void *item);
    // The item at index, or null when index is outside 0 to count - 1.
    void *at(int index) const;
};

#endif
