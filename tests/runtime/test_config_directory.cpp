// Configuration directory choice with its fall-backs and refusals, and the
// two directory helpers.
#include <gtest/gtest.h>

#include <errno.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "runtime/config_directory.h"
#include "runtime/log.h"
#include "runtime/text_buffer.h"
#include "tests/support/test_support.h"

using qv_test::log_capture;
using qv_test::read_file;
using qv_test::run_in_child;
using qv_test::temp_dir;
using qv_test::write_file;

namespace {

bool is_dir(const std::string &p)
{
    struct stat st;
    return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int mode_of(const std::string &p)
{
    struct stat st;
    return stat(p.c_str(), &st) == 0 ? (int)(st.st_mode & 07777) : -1;
}

// A base name of our own, so no test touches a real "/tmp/Quorvane".
std::string unique_base()
{
    return "qvtest-cfg-" + std::to_string(getpid());
}

// Runs the set-up in a child with HOME and the working directory given, and
// writes the chosen path (or "FAILED") into result_file.
int set_up_in_child(const char *home, const std::string &cwd, const std::string &base,
                    const std::string &result_file, bool as_nobody = false)
{
    return run_in_child(
        [&]() {
            if (home)
                setenv("HOME", home, 1);
            else
                unsetenv("HOME");
            if (chdir(cwd.c_str()) != 0)
                return 3;
            int ok = vexa_client_set_up_config_directory(base.c_str());
            const char *path = vexa_client_get_config_directory();
            write_file(result_file, ok ? std::string(path ? path : "(none)") : std::string("FAILED"));
            return 0;
        },
        as_nobody);
}

} // namespace

TEST(ConfigDirectory, HiddenDirectoryInHomeCreatedPrivate)
{
    temp_dir home, cwd, out;
    std::string base = unique_base();
    ASSERT_EQ(0, set_up_in_child(home.path().c_str(), cwd.path(), base, out.file("r")));
    std::string expected = home.path() + "/." + base;
    EXPECT_EQ(expected, read_file(out.file("r")));
    EXPECT_EQ(0700, mode_of(expected));
    EXPECT_FALSE(qv_test::read_file(expected + "/" WRITE_TEST_FILE_NAME, nullptr).size());
    struct stat st;
    EXPECT_NE(0, stat((expected + "/" WRITE_TEST_FILE_NAME).c_str(), &st));
}

TEST(ConfigDirectory, HomeWithTrailingSlashKeepsTheDoubledSeparator)
{
    temp_dir home, cwd, out;
    std::string base = unique_base();
    std::string h = home.path() + "/";
    ASSERT_EQ(0, set_up_in_child(h.c_str(), cwd.path(), base, out.file("r")));
    EXPECT_EQ(home.path() + "//." + base, read_file(out.file("r")));
}

TEST(ConfigDirectory, FallsBackThroughEveryCandidate)
{
    // Run as nobody: a root-owned 0755 home and working directory cannot be
    // written, so the set-up must go on to /tmp/<base>.
    temp_dir home, cwd, out;
    chmod(out.path().c_str(), 0777);
    std::string base = unique_base();
    std::string tmp_candidate = "/tmp/" + base;
    qv_test::remove_tree(tmp_candidate);
    ASSERT_EQ(0, set_up_in_child(home.path().c_str(), cwd.path(), base, out.file("r"), true));
    EXPECT_EQ(tmp_candidate, read_file(out.file("r")));
    qv_test::remove_tree(tmp_candidate);

    // With the working directory writable, "./.<base>" comes first.
    chmod(cwd.path().c_str(), 0777);
    ASSERT_EQ(0, set_up_in_child(home.path().c_str(), cwd.path(), base, out.file("r"), true));
    EXPECT_EQ("." + base, read_file(out.file("r")));
    EXPECT_TRUE(is_dir(cwd.path() + "/." + base));
}

TEST(ConfigDirectory, LastCandidateIsTheBareNameInTheWorkingDirectory)
{
    // /tmp/<base> is taken by a regular file; home unwritable; ./.<base> is a
    // regular file too: only ./<base> remains.
    temp_dir home, cwd, out;
    chmod(out.path().c_str(), 0777);
    chmod(cwd.path().c_str(), 0777);
    std::string base = unique_base();
    std::string tmp_candidate = "/tmp/" + base;
    qv_test::remove_tree(tmp_candidate);
    ASSERT_TRUE(write_file(tmp_candidate, "not a directory"));
    ASSERT_TRUE(write_file(cwd.path() + "/." + base, "not a directory"));
    ASSERT_EQ(0, set_up_in_child(home.path().c_str(), cwd.path(), base, out.file("r"), true));
    EXPECT_EQ(base, read_file(out.file("r")));
    unlink(tmp_candidate.c_str());
}

TEST(ConfigDirectory, RefusesForeignOrSharedDirectories)
{
    // A planted directory owned by someone else, or writable by others, is
    // skipped for the next candidate, and no test file is written into it.
    temp_dir home, cwd, out;
    std::string base = unique_base();
    std::string planted = home.path() + "/." + base;
    struct {
        const char *name;
        int mode;
        bool foreign_owner;
    } cases[] = {{"owned by another user", 0700, true}, {"world writable", 0777, false},
                 {"group writable", 0770, false}};
    for (const auto &c : cases) {
        qv_test::remove_tree(planted);
        qv_test::remove_tree(cwd.path() + "/." + base);
        ASSERT_EQ(0, mkdir(planted.c_str(), 0700));
        chmod(planted.c_str(), (mode_t)c.mode);
        if (c.foreign_owner) {
            ASSERT_EQ(0, chown(planted.c_str(), 65534, 65534));
        }
        ASSERT_EQ(0, set_up_in_child(home.path().c_str(), cwd.path(), base, out.file("r")));
        EXPECT_EQ("." + base, read_file(out.file("r"))) << c.name;
        struct stat st;
        EXPECT_NE(0, stat((planted + "/" WRITE_TEST_FILE_NAME).c_str(), &st)) << c.name;
    }
}

TEST(ConfigDirectory, CheckReportsEachCandidateAtChatterLevel)
{
    temp_dir dir;
    log_capture cap;
    log_level = 3;
    std::string file = dir.file("plain");
    write_file(file, "x");
    EXPECT_EQ(0, vexa_client_check_config_directory(file.c_str()));
    EXPECT_EQ(1, vexa_client_check_config_directory(dir.file("sub").c_str()));
    EXPECT_EQ("Checking config directory: " + file + " [FAIL]\nChecking config directory: " + dir.file("sub") +
                  "\n",
              cap.text());
    log_level = 1;
}

TEST(ConfigDirectory, NoHomeOrNullBaseFails)
{
    temp_dir cwd, out;
    std::string base = unique_base();
    ASSERT_EQ(0, run_in_child([&]() {
                  log_capture cap;
                  unsetenv("HOME");
                  int a = vexa_client_set_up_config_directory(base.c_str());
                  int b = vexa_client_set_up_config_directory(nullptr);
                  write_file(out.file("r"), std::to_string(a) + std::to_string(b) + "|" + cap.text());
                  return 0;
              }));
    EXPECT_EQ("00|Error in vexa_client_set_up_config_directory(), unable to fetch home directory - please set "
              "HOME environment variable and restart.\n",
              read_file(out.file("r")));
}

TEST(ConfigDirectory, SecondSetUpReportsAndReplaces)
{
    temp_dir home, out;
    ASSERT_EQ(0, run_in_child([&]() {
                  setenv("HOME", home.path().c_str(), 1);
                  log_capture cap;
                  log_level = 3;
                  vexa_client_set_up_config_directory("qvfirst");
                  cap.reset();
                  int ok = vexa_client_set_up_config_directory("qvsecond");
                  write_file(out.file("r"), std::to_string(ok) + "|" + vexa_client_get_config_directory() + "|" +
                                                cap.text());
                  return 0;
              }));
    std::string first = home.path() + "/.qvfirst", second = home.path() + "/.qvsecond";
    EXPECT_EQ("1|" + second +
                  "|Error in vexa_client_set_up_config_directory(), attempt to change config directory path after "
                  "initial configuration.\nOld path '" +
                  first + "', new base name 'qvsecond'\nChecking config directory: " + second +
                  "\nvexa_client_set_up_config_directory() - got final config directory '" + second + "'\n",
              read_file(out.file("r")));
}

TEST(ConfigDirectory, CdToConfigDirectoryReportsByErrno)
{
    temp_dir home, out;
    chmod(out.path().c_str(), 0777);
    chmod(home.path().c_str(), 0777);
    struct {
        const char *name;
        const char *damage; // what happens to the directory after set-up
        const char *report;
        int result;
    } cases[] = {
        {"works", "", "", 1},
        {"missing", "rmdir", "Error in vexa_client_cd_to_config_directory(), target path does not exist.\n", 0},
        {"file", "file", "Error in vexa_client_cd_to_config_directory(), target path is not a directory.\n", 0},
        {"no access", "chmod",
         "Error in vexa_client_cd_to_config_directory(), failed due to access permissions.\n", 0},
    };
    for (const auto &c : cases) {
        std::string name = std::string("qvcd") + c.name[0];
        ASSERT_EQ(0, run_in_child(
                         [&]() {
                             setenv("HOME", home.path().c_str(), 1);
                             log_capture cap;
                             vexa_client_set_up_config_directory(name.c_str());
                             std::string dir = vexa_client_get_config_directory();
                             std::string d = c.damage;
                             if (d == "rmdir" || d == "file")
                                 rmdir(dir.c_str());
                             if (d == "file")
                                 write_file(dir, "x");
                             if (d == "chmod")
                                 chmod(dir.c_str(), 0);
                             int r = vexa_client_cd_to_config_directory();
                             write_file(out.file("r"), std::to_string(r) + cap.text());
                             return 0;
                         },
                         true))
            << c.name;
        EXPECT_EQ(std::to_string(c.result) + c.report, read_file(out.file("r"))) << c.name;
    }
}

TEST(RecursiveMkdir, CreatesOnlyComponentsFollowedByASeparator)
{
    temp_dir dir;
    std::string root = dir.path();
    struct {
        const char *name;
        std::string path;
        std::vector<std::string> made;
        std::vector<std::string> not_made;
    } cases[] = {
        {"trailing slash", root + "/x/y/", {root + "/x", root + "/x/y"}, {}},
        {"file path", root + "/p/q", {root + "/p"}, {root + "/p/q"}},
        {"doubled and backslash", root + "/a//b\\c/", {root + "/a", root + "/a/b", root + "/a/b/c"}, {}},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(1, vexa_recursive_mkdir(c.path.c_str(), 0700, nullptr)) << c.name;
        for (const auto &m : c.made)
            EXPECT_TRUE(is_dir(m)) << c.name << " " << m;
        for (const auto &m : c.not_made)
            EXPECT_FALSE(is_dir(m)) << c.name << " " << m;
    }
}

TEST(RecursiveMkdir, RelativePathsAndLeadingBackslash)
{
    temp_dir dir;
    ASSERT_EQ(0, run_in_child([&]() {
                  if (chdir(dir.path().c_str()) != 0)
                      return 3;
                  return vexa_recursive_mkdir("r1/r2/", 0700, nullptr) == 1 ? 0 : 1;
              }));
    EXPECT_TRUE(is_dir(dir.file("r1/r2")));
    std::string with_backslash = "\\" + dir.path().substr(1) + "/bs/";
    EXPECT_EQ(1, vexa_recursive_mkdir(with_backslash.c_str(), 0700, nullptr));
    EXPECT_TRUE(is_dir(dir.file("bs")));
}

TEST(RecursiveMkdir, FileInTheWayFailsWithThePathSoFar)
{
    temp_dir dir;
    write_file(dir.file("f"), "x");
    text_buffer failed;
    std::string path = dir.path() + "/f/g/h/";
    EXPECT_EQ(0, vexa_recursive_mkdir(path.c_str(), 0700, &failed));
    EXPECT_EQ(dir.path() + "/f/g", std::string(failed.text()));
}

TEST(RecursiveMkdir, NullPathsAreReported)
{
    log_capture cap;
    EXPECT_EQ(0, vexa_recursive_mkdir(nullptr, 0700, nullptr));
    EXPECT_EQ(0, vexa_create_and_check_writeable_directory(nullptr, 0700, nullptr));
    EXPECT_EQ("Error in vexa_recursive_mkdir(), NULL path.\n"
              "Error in vexa_create_and_check_writeable_directory(), NULL path.\n",
              cap.text());
}

TEST(WriteableDirectory, ReadOnlyDirectoryHandsBackTheTestFile)
{
    temp_dir dir, out;
    chmod(out.path().c_str(), 0777);
    ASSERT_EQ(0, run_in_child(
                     [&]() {
                         text_buffer failed;
                         int r = vexa_create_and_check_writeable_directory(dir.path().c_str(), 0700, &failed);
                         write_file(out.file("r"), std::to_string(r) + failed.text());
                         return 0;
                     },
                     true));
    EXPECT_EQ("0" + dir.path() + "/" WRITE_TEST_FILE_NAME, read_file(out.file("r")));
}

TEST(WriteableDirectory, WritableDirectoryAndEmptyPathLeaveNoTestFile)
{
    temp_dir dir;
    std::string sub = dir.file("new/deeper");
    EXPECT_EQ(1, vexa_create_and_check_writeable_directory(sub.c_str(), 0755, nullptr));
    EXPECT_EQ(0700, mode_of(sub));
    struct stat st;
    EXPECT_NE(0, stat((sub + "/" WRITE_TEST_FILE_NAME).c_str(), &st));
    ASSERT_EQ(0, run_in_child([&]() {
                  if (chdir(dir.path().c_str()) != 0)
                      return 3;
                  return vexa_create_and_check_writeable_directory("", 0700, nullptr) == 1 ? 0 : 1;
              }));
    EXPECT_NE(0, stat(dir.file(WRITE_TEST_FILE_NAME).c_str(), &st));
}
