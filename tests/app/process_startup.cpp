// The real launcher's start-up: configuration directory, debug log, banner and
// command line, run under a private Xvfb with HOME in a temporary directory.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_support.h"

using qv_test::process_options;
using qv_test::process_result;
using qv_test::read_file;
using qv_test::split_lines;
using qv_test::temp_dir;

namespace {

const char *const START_BANNER = "--------------------------- LAUNCHER START --------------------------";

struct StartupProcess : ::testing::Test {
    static void SetUpTestSuite() { ASSERT_FALSE(qv_test::start_xvfb().empty()); }

    temp_dir home;
    std::string config_dir() const { return home.path() + "/.Quorvane"; }
    std::string log_path() const { return config_dir() + "/kestrel_launcher_log.txt"; }
    std::string log() const { return read_file(log_path()); }

    // Runs the launcher with args. A run that keeps going (its window is up)
    // is stopped once stop_text reached the log.
    process_result run(const std::vector<std::string> &args, const std::string &stop_text = "",
                       bool unset_home = false)
    {
        std::vector<std::string> argv = {QV_LAUNCHER_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        process_options o;
        o.cwd = home.path();
        if (unset_home)
            o.unset_env.push_back("HOME");
        else
            o.set_env["HOME"] = home.path();
        o.timeout_ms = 60000;
        if (!stop_text.empty()) {
            o.stop_file = log_path();
            o.stop_text = stop_text;
        }
        return run_process(argv, o);
    }
};

bool contains(const std::string &haystack, const std::string &needle)
{
    return haystack.find(needle) != std::string::npos;
}

} // namespace

TEST_F(StartupProcess, HelpGoesToTheLogAndExitsZero)
{
    process_result r = run({"-h"});
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(0, r.exit_status);
    EXPECT_EQ("", r.out);
    std::string expected = "Syntax:\n" + std::string(QV_LAUNCHER_PATH) +
                           " [-h] [-b] [-u] [-v]\n\nOptions are:\n"
                           "  -h   - this help screen\n"
                           "  -b   - switch to beta test mode\n"
                           "  -u   - switch out of beta test mode\n"
                           "  -v   - more verbose debug printing\n\n";
    std::string text = log();
    ASSERT_TRUE(contains(text, expected)) << text;
    // Nothing follows the help: no window, no updater, no exit banner.
    EXPECT_EQ(text.size(), text.find(expected) + expected.size()) << text;
}

TEST_F(StartupProcess, FirstLinesAreTheOpenReportBannerAndProgramName)
{
    process_result r = run({}, "Executable name");
    ASSERT_FALSE(r.timed_out);
    std::vector<std::string> lines = split_lines(log());
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ("vexa_client_try_open_debug_logfile() opened logfile '" + log_path() + "'", lines[0]);
    EXPECT_EQ(START_BANNER, lines[1]);
    EXPECT_TRUE(contains(log(), std::string("\nExecutable name '") + QV_LAUNCHER_PATH + "'.\n")) << log();
}

TEST_F(StartupProcess, RunsAppendToTheLog)
{
    run({"-h"});
    run({"-h"});
    std::string text = log();
    size_t first = text.find(START_BANNER);
    ASSERT_NE(std::string::npos, first);
    EXPECT_NE(std::string::npos, text.find(START_BANNER, first + 1)) << text;
}

TEST_F(StartupProcess, UnknownOptionEndsTheRunBeforeLaterOptions)
{
    process_result r = run({"-x", "-b"});
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(1, r.exit_status);
    std::string text = log();
    EXPECT_TRUE(contains(text, "Sorry, unknown command line option '-x'.  Use '-h' for a list.\n")) << text;
    EXPECT_FALSE(contains(text, "Forcing beta test mode.")) << text;
}

TEST_F(StartupProcess, OptionsMatchWholeWordsIgnoringCase)
{
    struct {
        const char *arg;
        const char *line;
        int status; // -1: the run keeps going and is stopped
    } cases[] = {
        {"-B", "Forcing beta test mode.\n", -1},
        {"--BETA", "Forcing beta test mode.\n", -1},
        {"-U", "Forcing non-beta test mode.\n", -1},
        {"--Verbose", "Setting verbose printing mode.\n", -1},
        {"-beta", "Sorry, unknown command line option '-beta'.  Use '-h' for a list.\n", 1},
        {"--HELP", "Syntax:\n", 0},
    };
    for (const auto &c : cases) {
        temp_dir fresh;
        std::vector<std::string> argv = {QV_LAUNCHER_PATH, c.arg};
        process_options o;
        o.set_env["HOME"] = fresh.path();
        o.cwd = fresh.path();
        o.stop_file = fresh.path() + "/.Quorvane/kestrel_launcher_log.txt";
        o.stop_text = c.line;
        process_result r = run_process(argv, o);
        std::string text = read_file(o.stop_file);
        EXPECT_TRUE(contains(text, c.line)) << c.arg << "\n" << text;
        if (c.status >= 0 && !r.stopped) {
            EXPECT_EQ(c.status, r.exit_status) << c.arg;
        }
    }
}

TEST_F(StartupProcess, NonAsciiArgumentIsReportedTransliterated)
{
    process_result r = run({"-\xc3\xa9"});
    EXPECT_EQ(1, r.exit_status);
    EXPECT_TRUE(contains(log(), "Sorry, unknown command line option '-e'.  Use '-h' for a list.\n")) << log();
}

TEST_F(StartupProcess, NoHomeMeansNoConfigDirectory)
{
    process_result r = run({}, "", true);
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(1, r.exit_status);
    EXPECT_TRUE(contains(r.out, "Boot failed, unable to get at system config directory.\n")) << r.out;
    EXPECT_EQ("", log());
}
