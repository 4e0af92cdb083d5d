// Threads: detached workers (the launcher's update run), a counting blocker
// for handing events between threads, and a millisecond sleep. Workers are
// never joined; they announce their end through flags the GUI thread polls.
#ifndef QV_RUNTIME_THREAD_H
#define QV_RUNTIME_THREAD_H

#include <pthread.h>

typedef int (*vexa_thread_function)(void *user_data);

// Starts function(user_data) on a new detached thread. The name documents the
// caller's intent only. Returns 1 when the thread started; 0 (reported, the
// function never called) otherwise.
int vexa_thread_create(const char *name, vexa_thread_function function, void *user_data);

// Counts unblock calls so that each releases exactly one block, whichever
// comes first.
struct vexa_thread_blocker {
    pthread_mutex_t mutex;
    pthread_cond_t condition;
    int counter; // unblock calls not yet consumed by block

    vexa_thread_blocker();
    // Reports (and leaves the mutex and condition alone) when counts are left.
    ~vexa_thread_blocker();
    vexa_thread_blocker(const vexa_thread_blocker &) = delete;
    vexa_thread_blocker &operator=(const vexa_thread_blocker &) = delete;

    // Adds one count and wakes at most one waiter.
    void unblock();
    // Returns after taking one count, waiting for it if there is none.
    void block();
};

// Sleeps ms milliseconds; a signal ends it early. Returns nanosleep's result.
int sleep_ms(int ms);

#endif
