// Small fixtures shared by the test programs.
#ifndef QV_TESTS_SUPPORT_TEST_SUPPORT_H
#define QV_TESTS_SUPPORT_TEST_SUPPORT_H

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace qv_test {

// A fresh directory under /tmp, removed with everything in it on destruction.
class temp_dir {
public:
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir &) = delete;
    temp_dir &operator=(const temp_dir &) = delete;
    const std::string &path() const { return path_; }
    // path() + "/" + name
    std::string file(const std::string &name) const;

private:
    std::string path_;
};

// Whole file contents ("" when it cannot be read); exists tells which.
std::string read_file(const std::string &path, bool *exists = nullptr);
// Writes (truncates) the file; returns true on success.
bool write_file(const std::string &path, const std::string &content);
// rm -rf without a shell.
void remove_tree(const std::string &path);
// The lines of a text, without their LF.
std::vector<std::string> split_lines(const std::string &text);

// Sends the process-wide debug log into a temporary file for the lifetime of
// the object and hands back what was written. The log is closed again on
// destruction so later tests start unconfigured.
class log_capture {
public:
    log_capture();
    ~log_capture();
    // Everything logged since the capture began.
    std::string text() const;
    // Forgets what was logged so far.
    void reset();

private:
    temp_dir dir_;
    std::string path_;
    size_t start_;
};

struct process_result {
    int exit_status = -1; // exit code, or -1 when killed by a signal
    int term_signal = 0;  // signal that ended it, 0 when it exited
    bool timed_out = false;
    bool stopped = false; // ended by stop_signal once stop_text appeared
    std::string out;      // standard output
    std::string err;      // standard error
};

struct process_options {
    // Variables to set ("" value sets it empty); names in unset are removed.
    std::map<std::string, std::string> set_env;
    std::vector<std::string> unset_env;
    std::string cwd;                 // "" keeps the test's directory
    int timeout_ms = 30000;          // SIGKILL after this
    bool as_nobody = false;          // run as uid/gid 65534 (root tests)
    // For programs that keep running (the launcher with its window): once
    // stop_file contains stop_text, the process gets stop_signal.
    std::string stop_file;
    std::string stop_text;
    int stop_signal = 9;
};

// Runs argv[0] (a path) with argv and waits for it.
process_result run_process(const std::vector<std::string> &argv, const process_options &opts = {});

// Runs fn in a forked child (as uid/gid 65534 when as_nobody) and returns its
// result as the child's exit status (0..255), or -1 when the child died or ran
// past the time limit. Process-wide state changed by fn stays in the child.
int run_in_child(const std::function<int()> &fn, bool as_nobody = false, int timeout_ms = 30000);

// Starts a private Xvfb (once per test program) with a 1280x1024x24 screen and
// points DISPLAY at it. Returns the display name, e.g. ":12".
std::string start_xvfb();

// Milliseconds of the monotonic clock.
long long monotonic_ms();

// A TCP port on 127.0.0.1 that was free a moment ago.
int free_loopback_port();

} // namespace qv_test

#endif
