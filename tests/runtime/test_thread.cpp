// Threads: detached start, the counting blocker, sleep_ms, creation failure.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <time.h>

#include <atomic>

#include "runtime/thread.h"
#include "tests/support/test_support.h"

using qv_test::log_capture;

namespace {

long long now_ms()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

std::atomic<int> calls{0};

int count_call(void *data)
{
    calls++;
    if (data)
        static_cast<vexa_thread_blocker *>(data)->unblock();
    return 0;
}

struct blocker_pair {
    vexa_thread_blocker *blocker;
    std::atomic<int> returned{0};
};

int block_once(void *data)
{
    blocker_pair *p = static_cast<blocker_pair *>(data);
    p->blocker->block();
    p->returned = 1;
    return 0;
}

} // namespace

TEST(Thread, CreateRunsTheFunctionWithItsData)
{
    vexa_thread_blocker done;
    calls = 0;
    ASSERT_EQ(1, vexa_thread_create("test worker", count_call, &done));
    done.block();
    EXPECT_EQ(1, calls.load());
}

TEST(Thread, EveryUnblockReleasesExactlyOneBlock)
{
    vexa_thread_blocker b;
    b.unblock();
    b.unblock();
    b.block();
    b.block();
    EXPECT_EQ(0, b.counter);

    // The third block waits until the next unblock.
    blocker_pair p;
    p.blocker = &b;
    ASSERT_EQ(1, vexa_thread_create("blocked", block_once, &p));
    sleep_ms(100);
    EXPECT_EQ(0, p.returned.load());
    b.unblock();
    for (int i = 0; i < 500 && !p.returned; i++)
        sleep_ms(10);
    EXPECT_EQ(1, p.returned.load());
    EXPECT_EQ(0, b.counter);
}

TEST(Thread, BlockerDestroyedWithCountsLeftReports)
{
    log_capture cap;
    {
        vexa_thread_blocker b;
        b.unblock();
    }
    EXPECT_EQ("Error in ~vexa_thread_blocker(), unblock counter was nonzero on destruct?\n", cap.text());
    cap.reset();
    {
        vexa_thread_blocker b;
        b.unblock();
        b.block();
    }
    EXPECT_EQ("", cap.text());
}

TEST(Thread, SleepMs)
{
    long long t0 = now_ms();
    EXPECT_EQ(0, sleep_ms(0));
    long long t1 = now_ms();
    EXPECT_EQ(0, sleep_ms(1500));
    long long t2 = now_ms();
    EXPECT_LT(t1 - t0, 1000);
    EXPECT_GE(t2 - t1, 1500);
}

TEST(Thread, CreationFailureNeverCallsTheFunction)
{
    // An unprivileged process with no room for another task cannot start a
    // thread; the function must never run.
    int rc = qv_test::run_in_child(
        []() {
            log_capture cap;
            struct rlimit old;
            getrlimit(RLIMIT_NPROC, &old);
            struct rlimit none = {0, old.rlim_max};
            if (setrlimit(RLIMIT_NPROC, &none) != 0)
                return 3;
            calls = 0;
            int r = vexa_thread_create("doomed", count_call, nullptr);
            sleep_ms(50);
            setrlimit(RLIMIT_NPROC, &old); // lets the capture clean up after itself
            bool reported = cap.text() == "Error in vexa_thread_create(), thread create failed?\n";
            return (r == 0 && calls == 0 && reported) ? 0 : 1;
        },
        true);
    EXPECT_EQ(0, rc);
}
