// Program launching: image size check, boot exec and its failures, detached
// children, and the browser command with its refusal of shell characters.
#include <gtest/gtest.h>

#include <errno.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "runtime/log.h"
#include "runtime/program_launch.h"
#include "tests/support/test_support.h"

using qv_test::log_capture;
using qv_test::read_file;
using qv_test::run_in_child;
using qv_test::temp_dir;
using qv_test::write_file;

namespace {

int mode_of(const std::string &p)
{
    struct stat st;
    return stat(p.c_str(), &st) == 0 ? (int)(st.st_mode & 07777) : -1;
}

// A shell script that records its pid and arguments into out.
std::string recorder_script(const std::string &out)
{
    return "#!/bin/sh\necho \"$$ $*\" > " + out + "\n# padding to pass the size check" +
           std::string(100, '#') + "\n";
}

} // namespace

TEST(BootFileBad, SizeLimitAndMissingImage)
{
    temp_dir dir;
    write_file(dir.file("100"), std::string(100, 'x'));
    write_file(dir.file("99"), std::string(99, 'x'));
    log_capture cap;
    EXPECT_EQ(0, vexa_is_boot_file_bad(dir.file("100").c_str()));
    EXPECT_EQ(1, vexa_is_boot_file_bad(dir.file("99").c_str()));
    EXPECT_EQ(1, vexa_is_boot_file_bad(dir.file("missing").c_str()));
    EXPECT_EQ("vexa_is_boot_file_bad() - image '" + dir.file("99") + "' is too small to be valid.\n", cap.text());
    cap.reset();
    log_level = 3;
    EXPECT_EQ(1, vexa_is_boot_file_bad(dir.file("missing").c_str()));
    log_level = 1;
    EXPECT_EQ("vexa_is_boot_file_bad() - cannot open image file '" + dir.file("missing") + "'.\n", cap.text());
}

TEST(BootExec, ReplacesTheProcessKeepingItsPid)
{
    temp_dir dir;
    std::string image = dir.file("client"), out = dir.file("out");
    write_file(image, recorder_script(out));
    chmod(image.c_str(), 0644);
    int pid_pipe[2];
    ASSERT_EQ(0, pipe(pid_pipe));
    pid_t pid = fork();
    if (pid == 0) {
        char *argv[] = {(char *)"client-100", (char *)"-l", (char *)"1.096-gtk-rc4", nullptr};
        vexa_boot_exec(image.c_str(), argv);
        _exit(99);
    }
    int st;
    waitpid(pid, &st, 0);
    ASSERT_TRUE(WIFEXITED(st));
    EXPECT_EQ(0, WEXITSTATUS(st));
    EXPECT_EQ(std::to_string(pid) + " -l 1.096-gtk-rc4\n", read_file(out));
    EXPECT_EQ(0700, mode_of(image));
}

TEST(BootExec, ExecFailureReturnsAfterTheReport)
{
    temp_dir dir;
    std::string image = dir.file("not-a-program");
    write_file(image, std::string(200, '\x01'));
    log_capture cap;
    char *argv[] = {(char *)"x", nullptr};
    vexa_boot_exec(image.c_str(), argv);
    EXPECT_EQ("Error in vexa_boot_exec(), exec failed.  Return code -1, error code " + std::to_string(ENOEXEC) +
                  ". Filename: " + image + "\n",
              cap.text());
    EXPECT_EQ(0700, mode_of(image));
}

TEST(BootExec, ChmodFailureNeverExecs)
{
    // The image belongs to root; as nobody the chmod fails, so the exec (which
    // would succeed, the file is world-executable) is never tried.
    temp_dir dir, out;
    chmod(out.path().c_str(), 0777);
    std::string image = dir.file("root-owned"), mark = out.file("ran");
    write_file(image, recorder_script(mark));
    chmod(image.c_str(), 0755);
    int rc = run_in_child(
        [&]() {
            log_capture cap;
            char *argv[] = {(char *)"root-owned", nullptr};
            vexa_boot_exec(image.c_str(), argv);
            write_file(out.file("log"), cap.text());
            return 7;
        },
        true);
    EXPECT_EQ(7, rc);
    EXPECT_EQ("Error in vexa_boot_exec(), chmod failed.  Return code -1, error code " + std::to_string(EPERM) +
                  ". Filename: " + image + "\n",
              read_file(out.file("log")));
    bool ran = true;
    read_file(mark, &ran);
    EXPECT_FALSE(ran);
    EXPECT_EQ(0755, mode_of(image));
}

TEST(ForkExec, StartsADetachedChildInANewSession)
{
    temp_dir dir;
    std::string image = dir.file("child"), out = dir.file("out");
    write_file(image, "#!/bin/sh\nawk '{print $6}' /proc/$$/stat > " + out + ".tmp && mv " + out + ".tmp " + out +
                          "\n" + std::string(100, '#') + "\n");
    char *argv[] = {(char *)"child", nullptr};
    ASSERT_EQ(1, vexa_fork_exec(image.c_str(), argv));
    int st;
    pid_t child = waitpid(-1, &st, 0);
    ASSERT_GT(child, 0);
    EXPECT_EQ(0, WEXITSTATUS(st));
    // The child leads its own session.
    EXPECT_EQ(std::to_string(child) + "\n", read_file(out));
}

TEST(ForkExec, ExecFailureShowsOnlyInTheChild)
{
    temp_dir dir;
    std::string image = dir.file("bad");
    write_file(image, std::string(200, '\x01'));
    log_capture cap;
    char *argv[] = {(char *)"bad", nullptr};
    ASSERT_EQ(1, vexa_fork_exec(image.c_str(), argv));
    int st;
    ASSERT_GT(waitpid(-1, &st, 0), 0);
    ASSERT_TRUE(WIFEXITED(st));
    EXPECT_EQ(1, WEXITSTATUS(st));
    EXPECT_EQ("Error in vexa_fork_exec(), exec failed.  Return code -1, error code " + std::to_string(ENOEXEC) +
                  ". Filename: " + image + "\n",
              cap.text());
}

TEST(ForkExec, ChmodFailureStartsNothing)
{
    log_capture cap;
    char *argv[] = {(char *)"x", nullptr};
    EXPECT_EQ(0, vexa_fork_exec("/nonexistent/qv-image", argv));
    EXPECT_EQ("Error in vexa_fork_exec(), chmod failed.  Return code -1, error code " + std::to_string(ENOENT) +
                  ". Filename: /nonexistent/qv-image\n",
              cap.text());
}

TEST(HttpFork, RunsTheBrowserWithTheQuotedAddress)
{
    // A stand-in browser on PATH records its argument; another kills itself.
    temp_dir dir;
    std::string out = dir.file("address");
    write_file(dir.file("firefox"), "#!/bin/sh\nprintf '%s' \"$1\" > " + out + "\n");
    chmod(dir.file("firefox").c_str(), 0755);
    std::string old_path = getenv("PATH") ? getenv("PATH") : "";
    setenv("PATH", (dir.path() + ":" + old_path).c_str(), 1);
    EXPECT_EQ(1, vexa_http_fork("http://127.0.0.1/a b?x=1&y='2'"));
    EXPECT_EQ("http://127.0.0.1/a b?x=1&y='2'", read_file(out));

    write_file(dir.file("firefox"), "#!/bin/sh\nexit 3\n");
    EXPECT_EQ(1, vexa_http_fork("http://127.0.0.1/"));
    setenv("PATH", old_path.c_str(), 1);
}

TEST(HttpFork, ShellKilledBySignalIsAFailure)
{
    temp_dir dir;
    write_file(dir.file("firefox"), "#!/bin/sh\n[ \"$(cat /proc/$PPID/comm)\" = sh ] && kill -9 $PPID\n");
    chmod(dir.file("firefox").c_str(), 0755);
    std::string old_path = getenv("PATH") ? getenv("PATH") : "";
    setenv("PATH", (dir.path() + ":" + old_path).c_str(), 1);
    EXPECT_EQ(0, vexa_http_fork("http://127.0.0.1/"));
    setenv("PATH", old_path.c_str(), 1);
}

TEST(HttpFork, RefusesAddressesTheShellWouldInterpret)
{
    temp_dir dir;
    std::string mark = dir.file("ran");
    write_file(dir.file("firefox"), "#!/bin/sh\ntouch " + mark + "\n");
    chmod(dir.file("firefox").c_str(), 0755);
    std::string old_path = getenv("PATH") ? getenv("PATH") : "";
    setenv("PATH", (dir.path() + ":" + old_path).c_str(), 1);
    const char *bad[] = {"http://x/\"; touch /tmp/qv-pwned; \"", "http://x/$(id)", "http://x/`id`",
                         "http://x/a\\b", "http://x/a\nb", "http://x/\x7f"};
    for (const char *a : bad) {
        log_capture cap;
        EXPECT_EQ(0, vexa_http_fork(a)) << a;
        EXPECT_EQ("Error in vexa_http_fork(), address holds characters that are unsafe on a shell command line, "
                  "refused.\n",
                  cap.text())
            << a;
    }
    bool ran = true;
    read_file(mark, &ran);
    EXPECT_FALSE(ran);
    setenv("PATH", old_path.c_str(), 1);
}
