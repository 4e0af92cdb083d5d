// The settings file across real launcher runs under a private Xvfb: what -b
// and -u leave behind, that a current file survives a restart untouched, and
// that a save which cannot complete keeps the old file while the launcher
// goes on.
#include <gtest/gtest.h>

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

using qv_test::process_options;
using qv_test::process_result;
using qv_test::read_file;
using qv_test::temp_dir;
using qv_test::write_file;

namespace {

const char *const VERBOSE_LINE = "Setting verbose printing mode.\n";
const char *const SAVING = "Saving system config to file '";

std::string saved_file(int beta)
{
    return "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<launcher_config>\n"
           "  <launcher_version>1.096-gtk-rc4</launcher_version>\n  <beta_test_enable>" +
           std::to_string(beta) + "</beta_test_enable>\n</launcher_config>\n\n";
}

int count_of(const std::string &haystack, const std::string &needle)
{
    int n = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1))
        n++;
    return n;
}

ino_t inode_of(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

std::vector<std::string> entries(const std::string &dir)
{
    std::vector<std::string> names;
    if (DIR *d = opendir(dir.c_str())) {
        while (struct dirent *e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

struct SettingsProcess : ::testing::Test {
    static void SetUpTestSuite() { ASSERT_FALSE(qv_test::start_xvfb().empty()); }

    temp_dir home;
    std::string config_dir() const { return home.path() + "/.Quorvane"; }
    std::string config_path() const { return config_dir() + "/launcher.cfg"; }
    std::string log_path() const { return config_dir() + "/kestrel_launcher_log.txt"; }

    // Runs the launcher with args and a final -v. Its message marks the end
    // of the command line, where a run that keeps going (its window is up)
    // is stopped; every save of the options is complete by then.
    process_result run(std::vector<std::string> args, bool as_nobody = false)
    {
        std::vector<std::string> argv = {QV_LAUNCHER_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        argv.push_back("-v");
        process_options o;
        o.cwd = home.path();
        o.set_env["HOME"] = home.path();
        o.timeout_ms = 60000;
        o.as_nobody = as_nobody;
        o.stop_file = log_path();
        o.stop_text = VERBOSE_LINE;
        return run_process(argv, o);
    }
};

// Reached the end of the command line and either ended normally or was still
// running there.
::testing::AssertionResult ran_on(const process_result &r, const std::string &log)
{
    if (r.timed_out)
        return ::testing::AssertionFailure() << "timed out\n" << log;
    if (log.find(VERBOSE_LINE) == std::string::npos)
        return ::testing::AssertionFailure() << "did not reach the end of the command line\n" << log;
    if (!r.stopped && r.exit_status != 0)
        return ::testing::AssertionFailure() << "exit status " << r.exit_status << "\n" << log;
    return ::testing::AssertionSuccess();
}

// A tmpfs of its own over a directory; unmounted on destruction.
class small_file_system {
public:
    small_file_system(const std::string &dir, const std::string &options) : dir_(dir)
    {
        mounted_ = mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~small_file_system()
    {
        if (mounted_)
            umount2(dir_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }

private:
    std::string dir_;
    bool mounted_ = false;
};

// Fills the file system under dir with files of one page each until no page
// is left, then frees exactly one page again. Returns false when that fails.
bool leave_one_free_page(const std::string &dir)
{
    const std::string page(4096, 'f');
    for (int i = 0; i < 10000; i++) {
        std::string name = dir + "/filler" + std::to_string(i);
        int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0)
            return false;
        ssize_t n = write(fd, page.data(), page.size());
        close(fd);
        if (n != (ssize_t)page.size()) {
            unlink(name.c_str());
            return i > 0 && unlink((dir + "/filler" + std::to_string(i - 1)).c_str()) == 0;
        }
    }
    return false;
}

} // namespace

TEST_F(SettingsProcess, BetaOnAFirstRunLeavesTheFileWithModeOn)
{
    process_result r = run({"-b"});
    std::string log = read_file(log_path());
    ASSERT_TRUE(ran_on(r, log));
    EXPECT_EQ(saved_file(1), read_file(config_path()));
    // Created with the mode off at load time, then saved again by -b.
    EXPECT_TRUE(log.find("Unable to load system config - cannot open config file '" + config_path() + "'.\n") !=
                std::string::npos)
        << log;
    EXPECT_EQ(2, count_of(log, SAVING)) << log;
}

TEST_F(SettingsProcess, BetaThenUnbetaLeavesModeOff)
{
    process_result r = run({"-b", "-u"});
    std::string log = read_file(log_path());
    ASSERT_TRUE(ran_on(r, log));
    EXPECT_EQ(saved_file(0), read_file(config_path()));
    EXPECT_EQ(3, count_of(log, SAVING)) << log;
}

TEST_F(SettingsProcess, CurrentFileSurvivesARestartUntouched)
{
    process_result first = run({"-b"});
    ASSERT_TRUE(ran_on(first, read_file(log_path())));
    ino_t before = inode_of(config_path());
    // A fresh log, so the second run is stopped on its own messages only.
    ASSERT_EQ(0, unlink(log_path().c_str()));

    // Same mode again: loaded, nothing written.
    process_result r = run({"--BETA"});
    std::string log = read_file(log_path());
    ASSERT_TRUE(ran_on(r, log));
    EXPECT_EQ(saved_file(1), read_file(config_path()));
    EXPECT_EQ(before, inode_of(config_path()));
    EXPECT_EQ(0, count_of(log, SAVING)) << log;
}

TEST_F(SettingsProcess, SaveThatCannotCompleteKeepsTheOldFileAndTheLauncherRuns)
{
    // The configuration directory is a tiny file system of its own, owned by
    // the unprivileged user the launcher runs as, with one free page: enough
    // for the debug log, none for the new settings file. A save in place
    // would truncate the old file; the launcher must keep it and go on.
    ASSERT_EQ(0, mkdir(config_dir().c_str(), 0700));
    small_file_system fs(config_dir(), "size=64k,mode=0700,uid=65534,gid=65534");
    if (!fs.mounted())
        GTEST_SKIP() << "cannot mount a tmpfs here: " << strerror(errno);
    ASSERT_TRUE(write_file(config_path(), saved_file(0)));
    ASSERT_EQ(0, chown(config_path().c_str(), 65534, 65534));
    ASSERT_TRUE(leave_one_free_page(config_dir()));
    std::vector<std::string> before = entries(config_dir());

    process_result r = run({"-b"}, true);
    std::string log = read_file(log_path());
    ASSERT_TRUE(ran_on(r, log));
    EXPECT_EQ(saved_file(0), read_file(config_path()));
    EXPECT_TRUE(log.find("Error in save_system_config_file(), unable to write to system config file '" +
                         config_path() + "'.\n") != std::string::npos)
        << log;
    // Nothing left behind but the debug log.
    std::vector<std::string> after = entries(config_dir());
    after.erase(std::remove(after.begin(), after.end(), "kestrel_launcher_log.txt"), after.end());
    EXPECT_EQ(before, after);
}
