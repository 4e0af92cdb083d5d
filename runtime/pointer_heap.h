// pointer_heap: a binary min-heap of untyped pointers ordered by the caller's
// comparison function. The launch sequence orders the executable names with
// it. The heap does not own the things it points to. Not locked.
#ifndef QV_RUNTIME_POINTER_HEAP_H
#define QV_RUNTIME_POINTER_HEAP_H

// Negative when a sorts before b, zero when equal, positive after.
typedef int (*pointer_heap_compare)(const void *a, const void *b);

// Capacity of a new heap; storage always has two slots more (index 0 unused).
enum { POINTER_HEAP_INITIAL_CAPACITY = 254 };

class pointer_heap {
public:
    void **items;      // capacity + 2 slots, used from index 1; lowest at 1
    int capacity;
    int count;
    pointer_heap_compare compare;

    // Empty heap with storage for the initial capacity. If that storage cannot
    // be allocated the heap reports it and starts with capacity 0; the first
    // insert then tries to allocate again.
    explicit pointer_heap(pointer_heap_compare compare_function);
    // Frees the item storage (the things pointed to are not touched).
    ~pointer_heap();
    pointer_heap(const pointer_heap &) = delete;
    pointer_heap &operator=(const pointer_heap &) = delete;

    // Adds the pointer; a null pointer is ignored (and, with a report, every
    // pointer when the heap has no comparison function). When the storage is full it
    // grows to 2 * capacity + 2; if that fails the pointer is dropped with a
    // report and the heap stays as it was.
    void insert(void *item);
    // Takes out and returns the lowest item, or null when the heap is empty.
    void *remove_lowest();
    // 1 when the heap holds nothing, else 0.
    int is_empty() const { return count == 0; }
};

#endif
