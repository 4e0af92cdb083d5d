// Logging: sink selection, report filtering, one write per message, the
// writer's failure latch and recursion limiter, write_number.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "runtime/log.h"
#include "runtime/signal_safe_logfile.h"
#include "tests/support/test_support.h"

using qv_test::log_capture;
using qv_test::read_file;
using qv_test::run_in_child;
using qv_test::temp_dir;

namespace {

// Leaves the sink unconfigured and the level at its start value.
struct LogTest : ::testing::Test {
    void SetUp() override { reset_sink(); }
    void TearDown() override { reset_sink(); }
    static void reset_sink()
    {
        if (vexa_client_debug_logfile_is_open())
            vexa_client_debug_logfile_close();
        vexa_client_set_debug_logfile_name(nullptr);
        log_level = 1;
        log_enable_reports();
        log_set_report_mask(0);
    }
};

// Runs fn in a child whose standard output goes to out_path.
int child_with_stdout(const std::string &out_path, const std::function<void()> &fn)
{
    return run_in_child([&]() {
        int fd = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0)
            return 2;
        dup2(fd, 1);
        close(fd);
        fn();
        return 0;
    });
}

} // namespace

TEST_F(LogTest, UnconfiguredSinkIsStandardOutputAnnouncedAtLevel3)
{
    temp_dir dir;
    std::string out = dir.file("stdout.txt");
    ASSERT_EQ(0, child_with_stdout(out, [] {
                  log_level = 3;
                  log_message("hello %d\n", 42);
              }));
    EXPECT_EQ("vexa_client_try_open_debug_logfile() - using STDOUT.\nhello 42\n", read_file(out));

    ASSERT_EQ(0, child_with_stdout(out, [] { log_message("quiet\n"); }));
    EXPECT_EQ("quiet\n", read_file(out));
}

TEST_F(LogTest, AutoOpenBaseNameOpensUnderTmp)
{
    std::string base = "qvtest-autolog-" + std::to_string(getpid());
    std::string path = "/tmp/" + base;
    unlink(path.c_str());
    vexa_client_set_autoopen_debug_logfile_name(base.c_str());
    EXPECT_STREQ(base.c_str(), vexa_client_get_autoopen_debug_logfile_name());
    log_message("into tmp\n");
    EXPECT_TRUE(vexa_client_debug_logfile_is_open());
    EXPECT_EQ("into tmp\n", read_file(path));
    unlink(path.c_str());
}

TEST_F(LogTest, ReportFilterByClassLevelMaskAndSwitch)
{
    struct {
        const char *name;
        int cls;
        int level;
        unsigned mask;
        bool enabled;
        bool written;
    } cases[] = {
        {"chatter at 3", 256, 3, 0, true, true},
        {"chatter at 2", 256, 2, 0, true, false},
        {"error at 1", 2, 1, 0, true, true},
        {"error at 0", 2, 0, 0, true, false},
        {"usage at 1", 4, 1, 0, true, true},
        {"masked class", 2, 3, 2, true, false},
        {"other bit masked", 2, 3, 4, true, true},
        {"reports disabled", 2, 3, 0, false, false},
    };
    for (const auto &c : cases) {
        log_capture cap;
        log_level = c.level;
        log_set_report_mask(c.mask);
        if (c.enabled)
            log_enable_reports();
        else
            log_disable_reports();
        log_report("the report", c.cls, 1);
        EXPECT_EQ(c.written ? "the report\n" : "", cap.text()) << c.name;
        log_enable_reports();
        log_set_report_mask(0);
    }
}

TEST_F(LogTest, ReportGetsExactlyOneNewline)
{
    log_capture cap;
    log_report("line\n", 2, 1);
    EXPECT_EQ("line\n\n", cap.text());
}

TEST_F(LogTest, LongMessageIsCutTo10239)
{
    log_capture cap;
    std::string big(20000, 'z');
    log_message("%s", big.c_str());
    EXPECT_EQ(std::string(LOG_MESSAGE_BUFFER_SIZE - 1, 'z'), cap.text());
}

TEST_F(LogTest, NamedFileGetsOpenReportFirstAndRunsAppend)
{
    temp_dir dir;
    std::string path = dir.file("debug.txt");
    log_level = 3;
    for (int run = 0; run < 2; run++) {
        vexa_client_set_debug_logfile_name(path.c_str());
        log_message("run %d\n", run);
        vexa_client_debug_logfile_close();
    }
    std::string open_line = "vexa_client_try_open_debug_logfile() opened logfile '" + path + "'\n";
    EXPECT_EQ(open_line + "run 0\n" + open_line + "run 1\n", read_file(path));
}

TEST_F(LogTest, FailedOpenDropsMessagesUntilANameIsSet)
{
    temp_dir dir;
    vexa_client_set_debug_logfile_name("/nonexistent-dir/qv/log.txt");
    log_message("lost\n");
    EXPECT_FALSE(vexa_client_debug_logfile_is_open());
    EXPECT_EQ(1, vexa_client_get_debug_logfile_open_failed());
    log_report("lost too", 2, 1);
    EXPECT_FALSE(vexa_client_debug_logfile_is_open());

    std::string path = dir.file("ok.txt");
    vexa_client_set_debug_logfile_name(path.c_str());
    EXPECT_EQ(0, vexa_client_debug_logfile_is_open());
    log_message("kept\n");
    EXPECT_EQ("kept\n", read_file(path));
}

TEST_F(LogTest, OpenHelpersReportOpenFailure)
{
    EXPECT_EQ(0, vexa_client_open_debug_logfile("/nonexistent-dir/qv/log.txt"));
    EXPECT_EQ(0, vexa_client_open_tmp_debug_logfile("nonexistent-dir-qv/x.txt"));
    temp_dir dir;
    std::string path = dir.file("direct.txt");
    EXPECT_EQ(1, vexa_client_open_debug_logfile(path.c_str()));
    EXPECT_STREQ(path.c_str(), vexa_client_get_debug_logfile_name());
}

TEST_F(LogTest, WrongStateCallsAreReported)
{
    log_capture cap;
    vexa_client_try_open_debug_logfile();
    vexa_client_set_debug_logfile_name("/tmp/elsewhere");
    vexa_client_set_autoopen_debug_logfile_name("elsewhere");
    EXPECT_EQ("Error in vexa_client_try_open_debug_logfile(), logfile already open.\n"
              "Error in vexa_client_set_debug_logfile_name(), logfile already open.\n"
              "Error in vexa_client_set_autoopen_debug_logfile_name(), logfile already open.\n",
              cap.text());
    EXPECT_STRNE("/tmp/elsewhere", vexa_client_get_debug_logfile_name());
}

TEST_F(LogTest, CloseWhileClosedReportsOnStandardOutput)
{
    temp_dir dir;
    std::string out = dir.file("stdout.txt");
    ASSERT_EQ(0, child_with_stdout(out, [] { vexa_client_debug_logfile_close(); }));
    EXPECT_EQ("Error in vexa_client_debug_logfile_close(), no logfile open.\n", read_file(out));
}

TEST_F(LogTest, EachMessageLeavesInOneWrite)
{
    // A datagram socket keeps write boundaries: one datagram per write call.
    int sv[2];
    ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_DGRAM, 0, sv));
    log_capture cap; // opens the sink; its descriptor is swapped below
    vexa_signal_safe_logfile *w = vexa_client_get_debug_logfile();
    int saved = w->fd;
    w->fd = sv[0];
    log_message("first line\nsecond line %s\n", "of one message");
    log_report("a report", 2, 1);
    w->fd = saved;
    char buf[256];
    ssize_t n = recv(sv[1], buf, sizeof buf, MSG_DONTWAIT);
    ASSERT_GT(n, 0);
    EXPECT_EQ("first line\nsecond line of one message\n", std::string(buf, (size_t)n));
    n = recv(sv[1], buf, sizeof buf, MSG_DONTWAIT);
    ASSERT_GT(n, 0);
    EXPECT_EQ("a report\n", std::string(buf, (size_t)n));
    EXPECT_LT(recv(sv[1], buf, sizeof buf, MSG_DONTWAIT), 0);
    close(sv[0]);
    close(sv[1]);
}

TEST_F(LogTest, FailingDescriptorLatchesUntilAWriteSucceeds)
{
    log_capture cap;
    vexa_signal_safe_logfile *w = vexa_client_get_debug_logfile();
    int saved = w->fd;
    int full = open("/dev/full", O_WRONLY);
    ASSERT_GE(full, 0);
    w->fd = full;
    log_message("fails\n");
    // The chain of failure reports ended at the limiter and unwound.
    EXPECT_EQ(1, w->write_failed);
    EXPECT_EQ(0, w->depth);
    log_message("fails silently\n");
    EXPECT_EQ(1, w->write_failed);
    w->fd = saved;
    log_message("works again\n");
    EXPECT_EQ(0, w->write_failed);
    close(full);
    EXPECT_EQ("works again\n", cap.text());
}

TEST_F(LogTest, RecursionLimiterRefusesDeepWrites)
{
    log_capture cap;
    vexa_signal_safe_logfile w;
    w.fd = vexa_client_get_debug_logfile()->fd;
    w.depth = LOGFILE_MAX_WRITE_DEPTH + 1;
    EXPECT_EQ(0, w.write("refused\n"));
    w.depth = LOGFILE_MAX_WRITE_DEPTH;
    EXPECT_EQ(0, w.write("limited\n"));
    EXPECT_EQ(LOGFILE_MAX_WRITE_DEPTH, w.depth);
    w.depth = 0;
    EXPECT_EQ(1, w.write(nullptr));
    w.fd = -1;
    EXPECT_EQ("Error in vexa_signal_safe_logfile::write(), recursion limiter triggered.\n(null)", cap.text());
}

TEST_F(LogTest, WriteNumberCoversTheIntRange)
{
    log_capture cap;
    vexa_signal_safe_logfile *w = vexa_client_get_debug_logfile();
    const int values[] = {0, -7, 2147483647, -2147483647 - 1, 10, -100};
    for (int v : values) {
        EXPECT_EQ(1, w->write_number(v));
        w->write(" ");
    }
    EXPECT_EQ("0 -7 2147483647 -2147483648 10 -100 ", cap.text());
}

TEST_F(LogTest, WriterOpenUseStdoutClose)
{
    temp_dir dir;
    vexa_signal_safe_logfile w;
    EXPECT_FALSE(w.is_open());
    EXPECT_EQ(0, w.open_file("/nonexistent-dir/x"));
    EXPECT_EQ(-1, w.fd);
    std::string path = dir.file("w.txt");
    qv_test::write_file(path, "old\n");
    ASSERT_EQ(1, w.open_file(path.c_str()));
    w.write("new\n");
    EXPECT_EQ(1, w.use_stdout());
    EXPECT_TRUE(w.is_open());
    w.close();
    EXPECT_EQ(-1, w.fd);
    EXPECT_EQ("old\nnew\n", read_file(path));
}
