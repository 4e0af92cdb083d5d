// File tests and sizes, and the updater lock between processes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "runtime/files.h"
#include "tests/support/test_support.h"

using qv_test::log_capture;
using qv_test::temp_dir;
using qv_test::write_file;

TEST(Files, TestsOnDirectoryFileAndMissingPath)
{
    temp_dir dir;
    std::string file = dir.file("f.bin");
    write_file(file, std::string(123, 'x'));
    symlink(file.c_str(), dir.file("link").c_str());
    struct {
        std::string path;
        int exists, is_dir, is_reg;
    } cases[] = {
        {dir.path(), 1, 1, 0}, {file, 1, 0, 1}, {dir.file("link"), 1, 0, 1}, {dir.file("missing"), 0, 0, 0}};
    for (const auto &c : cases) {
        EXPECT_EQ(c.exists, vexa_file_exists(c.path.c_str())) << c.path;
        EXPECT_EQ(c.is_dir, vexa_is_directory(c.path.c_str())) << c.path;
        EXPECT_EQ(c.is_reg, vexa_is_regular_file(c.path.c_str())) << c.path;
    }

    vexa_file_info info = {7, 7, 7, 7};
    EXPECT_EQ(1, vexa_filename_get_file_info(dir.path().c_str(), &info));
    EXPECT_EQ(1, info.is_directory);
    EXPECT_EQ(0, info.is_regular_file);
    EXPECT_EQ(1, vexa_filename_get_file_info(file.c_str(), &info));
    EXPECT_EQ(0, info.is_directory);
    EXPECT_EQ(1, info.is_regular_file);
    EXPECT_EQ(123, info.size);
    EXPECT_GT(info.modified_time, 0);

    vexa_file_info untouched = {7, 7, 7, 7};
    EXPECT_EQ(0, vexa_filename_get_file_info(dir.file("missing").c_str(), &untouched));
    EXPECT_EQ(7, untouched.is_directory);
    EXPECT_EQ(7, untouched.size);
}

TEST(Files, NullDestinationIsReported)
{
    log_capture cap;
    EXPECT_EQ(0, vexa_filename_get_file_info("/", nullptr));
    EXPECT_EQ("Error in vexa_filename_get_file_info(), NULL dest.\n", cap.text());
}

TEST(Files, FilesOfThreeGibibytesMeasureTrue)
{
    temp_dir dir;
    std::string path = dir.file("sparse");
    int fd = open(path.c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    const long long size = 3LL * 1024 * 1024 * 1024 + 5;
    ASSERT_EQ(0, ftruncate(fd, size));
    close(fd);
    vexa_file_info info;
    ASSERT_EQ(1, vexa_filename_get_file_info(path.c_str(), &info));
    EXPECT_EQ(size, info.size);
    EXPECT_EQ(1, vexa_is_regular_file(path.c_str()));
}

TEST(Files, LockIsExclusiveBetweenProcessesAndNeverWaits)
{
    temp_dir dir;
    std::string lock = dir.file("lock.tmp");
    int to_child[2], to_parent[2];
    ASSERT_EQ(0, pipe(to_child));
    ASSERT_EQ(0, pipe(to_parent));
    pid_t pid = fork();
    if (pid == 0) {
        int fd = vexa_lock_file(lock.c_str());
        char c = fd >= 0 ? 'L' : 'F';
        if (write(to_parent[1], &c, 1) != 1)
            _exit(2);
        if (read(to_child[0], &c, 1) != 1)
            _exit(2);
        int ok = vexa_unlock_file(fd);
        c = ok ? 'U' : 'F';
        if (write(to_parent[1], &c, 1) != 1)
            _exit(2);
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(1, read(to_parent[0], &c, 1));
    ASSERT_EQ('L', c);
    EXPECT_EQ(-1, vexa_lock_file(lock.c_str()));
    EXPECT_EQ(0, vexa_acquire_global_lock(lock.c_str()));
    ASSERT_EQ(1, write(to_child[1], "go", 1));
    ASSERT_EQ(1, read(to_parent[0], &c, 1));
    EXPECT_EQ('U', c);
    int st;
    waitpid(pid, &st, 0);
    int fd = vexa_lock_file(lock.c_str());
    EXPECT_GE(fd, 0);
    EXPECT_EQ(1, vexa_unlock_file(fd));
    EXPECT_EQ(0, vexa_unlock_file(-1));
    EXPECT_EQ("", qv_test::read_file(lock)); // never written
}

TEST(Files, GlobalLockPair)
{
    temp_dir dir;
    std::string lock = dir.file("global.lock");
    EXPECT_EQ(0, vexa_release_global_lock());
    EXPECT_EQ(1, vexa_acquire_global_lock(lock.c_str()));
    // Another process cannot take it while it is held.
    EXPECT_EQ(0, qv_test::run_in_child([&]() { return vexa_lock_file(lock.c_str()) < 0 ? 0 : 1; }));
    EXPECT_EQ(1, vexa_release_global_lock());
    EXPECT_EQ(0, vexa_release_global_lock());
    EXPECT_EQ(0, qv_test::run_in_child([&]() { return vexa_lock_file(lock.c_str()) >= 0 ? 0 : 1; }));
    EXPECT_EQ(0, vexa_acquire_global_lock(dir.file("no/such/dir").c_str()));
}

TEST(Files, PlainWrappers)
{
    temp_dir dir;
    write_file(dir.file("gone"), "x");
    EXPECT_EQ(0, vexa_unlink(dir.file("gone").c_str()));
    EXPECT_EQ(-1, vexa_unlink(dir.file("gone").c_str()));
    EXPECT_EQ(0, qv_test::run_in_child([&]() {
                  char buf[4096];
                  if (vexa_chdir(dir.path().c_str()) != 0 || !vexa_getcwd(buf, sizeof buf))
                      return 1;
                  return dir.path() == buf ? 0 : 2;
              }));
}
