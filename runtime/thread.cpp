// Threads (see thread.h).
#include "runtime/thread.h"

#include <stdlib.h>
#include <time.h>

#include "runtime/log.h"

struct thread_start_record {
    vexa_thread_function function;
    void *user_data;
};

static void *thread_entry(void *arg)
{
    thread_start_record *start = (thread_start_record *)arg;
    start->function(start->user_data);
    free(start);
    return nullptr;
}

int vexa_thread_create(const char *name, vexa_thread_function function, void *user_data)
{
    (void)name;
    thread_start_record *start = (thread_start_record *)malloc(sizeof *start);
    if (!start) {
        log_report("Error in vexa_thread_create(), thread create failed?", LOG_CLASS_RESOURCE, LOG_MODULE_THREAD);
        return 0;
    }
    start->function = function;
    start->user_data = user_data;
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    int rc = pthread_create(&thread, &attr, thread_entry, start);
    pthread_attr_destroy(&attr);
    if (rc == 0)
        return 1;
    // The record was never handed over, so it is still ours to free.
    free(start);
    log_report("Error in vexa_thread_create(), thread create failed?", LOG_CLASS_RESOURCE, LOG_MODULE_THREAD);
    return 0;
}

vexa_thread_blocker::vexa_thread_blocker() : counter(0)
{
    pthread_mutex_init(&mutex, nullptr);
    pthread_cond_init(&condition, nullptr);
}

vexa_thread_blocker::~vexa_thread_blocker()
{
    if (counter != 0) {
        log_report("Error in ~vexa_thread_blocker(), unblock counter was nonzero on destruct?", LOG_CLASS_RUNTIME,
                   LOG_MODULE_THREAD);
        return;
    }
    pthread_mutex_destroy(&mutex);
    pthread_cond_destroy(&condition);
}

void vexa_thread_blocker::unblock()
{
    pthread_mutex_lock(&mutex);
    pthread_cond_signal(&condition);
    counter++;
    pthread_mutex_unlock(&mutex);
}

void vexa_thread_blocker::block()
{
    pthread_mutex_lock(&mutex);
    while (counter <= 0)
        pthread_cond_wait(&condition, &mutex);
    counter--;
    pthread_mutex_unlock(&mutex);
}

int sleep_ms(int ms)
{
    struct timespec ts;
    ts.tv_sec = ms / 1000;
    ts.tv_nsec = (long)(ms % 1000) * 1000000L;
    return nanosleep(&ts, nullptr);
}
