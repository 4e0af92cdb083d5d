// Shared test fixtures (see test_support.h).
#include "tests/support/test_support.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "runtime/log.h"

namespace qv_test {

temp_dir::temp_dir()
{
    char templ[] = "/tmp/qvtest-XXXXXX";
    char *p = mkdtemp(templ);
    path_ = p ? p : "/tmp";
    // Fixtures run as an unprivileged user sometimes need to enter it.
    if (p)
        chmod(p, 0755);
}

temp_dir::~temp_dir()
{
    if (path_ != "/tmp")
        remove_tree(path_);
}

std::string temp_dir::file(const std::string &name) const
{
    return path_ + "/" + name;
}

std::string read_file(const std::string &path, bool *exists)
{
    std::ifstream in(path, std::ios::binary);
    if (exists)
        *exists = static_cast<bool>(in);
    if (!in)
        return "";
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool write_file(const std::string &path, const std::string &content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    out << content;
    return static_cast<bool>(out.flush());
}

void remove_tree(const std::string &path)
{
    pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/rm", "rm", "-rf", "--", path.c_str(), (char *)nullptr);
        _exit(127);
    }
    if (pid > 0) {
        int st;
        waitpid(pid, &st, 0);
    }
}

std::vector<std::string> split_lines(const std::string &text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    return lines;
}

log_capture::log_capture() : path_(dir_.file("log.txt")), start_(0)
{
    if (vexa_client_debug_logfile_is_open())
        vexa_client_debug_logfile_close();
    vexa_client_open_debug_logfile(path_.c_str());
    start_ = read_file(path_).size();
}

log_capture::~log_capture()
{
    if (vexa_client_debug_logfile_is_open())
        vexa_client_debug_logfile_close();
}

std::string log_capture::text() const
{
    std::string all = read_file(path_);
    return all.size() >= start_ ? all.substr(start_) : all;
}

void log_capture::reset()
{
    start_ = read_file(path_).size();
}

long long monotonic_ms()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

process_result run_process(const std::vector<std::string> &argv, const process_options &opts)
{
    process_result r;
    int out_pipe[2], err_pipe[2];
    // Close-on-exec: a program started at the same time from another thread
    // must not inherit these ends, or reading would wait for it to exit.
    if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0)
        return r;
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);

    pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        close(out_pipe[0]);
        close(err_pipe[0]);
        close(out_pipe[1]);
        close(err_pipe[1]);
        int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0)
            dup2(devnull, 0);
        for (const std::string &name : opts.unset_env)
            unsetenv(name.c_str());
        for (const auto &kv : opts.set_env)
            setenv(kv.first.c_str(), kv.second.c_str(), 1);
        if (!opts.cwd.empty() && chdir(opts.cwd.c_str()) != 0)
            _exit(126);
        if (opts.as_nobody) {
            if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
                _exit(125);
        }
        execv(args[0], args.data());
        _exit(127);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    if (pid < 0) {
        close(out_pipe[0]);
        close(err_pipe[0]);
        return r;
    }

    long long deadline = monotonic_ms() + opts.timeout_ms;
    struct pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    int open_fds = 2;
    while (open_fds > 0) {
        long long left = deadline - monotonic_ms();
        if (left <= 0) {
            r.timed_out = true;
            kill(-pid, SIGKILL);
            kill(pid, SIGKILL);
            break;
        }
        if (!opts.stop_file.empty() && !r.stopped &&
            read_file(opts.stop_file).find(opts.stop_text) != std::string::npos) {
            r.stopped = true;
            kill(-pid, opts.stop_signal);
            kill(pid, opts.stop_signal);
        }
        int n = poll(fds, 2, (int)(left > 50 ? 50 : left));
        if (n < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; i++) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buf[4096];
            ssize_t got = read(fds[i].fd, buf, sizeof buf);
            if (got > 0) {
                (i == 0 ? r.out : r.err).append(buf, (size_t)got);
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                open_fds--;
            }
        }
    }
    for (int i = 0; i < 2; i++)
        if (fds[i].fd >= 0)
            close(fds[i].fd);

    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) {
        r.exit_status = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        r.term_signal = WTERMSIG(status);
    }
    return r;
}

int run_in_child(const std::function<int()> &fn, bool as_nobody, int timeout_ms)
{
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        if (as_nobody && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
            _exit(125);
        int rc = fn();
        fflush(nullptr);
        _exit(rc & 0xff);
    }
    if (pid < 0)
        return -1;
    long long deadline = monotonic_ms() + timeout_ms;
    int status = 0;
    for (;;) {
        pid_t w = waitpid(pid, &status, WNOHANG);
        if (w == pid)
            break;
        if (w < 0 && errno != EINTR)
            return -1;
        if (monotonic_ms() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        struct timespec ts = {0, 5 * 1000 * 1000};
        nanosleep(&ts, nullptr);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

static pid_t xvfb_pid = -1;
static std::string xvfb_display;

static void stop_xvfb()
{
    if (xvfb_pid > 0) {
        kill(xvfb_pid, SIGTERM);
        int st;
        waitpid(xvfb_pid, &st, 0);
        xvfb_pid = -1;
    }
}

std::string start_xvfb()
{
    if (!xvfb_display.empty())
        return xvfb_display;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return "";
    pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        close(fds[0]);
        int devnull = open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            dup2(devnull, 0);
            dup2(devnull, 1);
            dup2(devnull, 2);
        }
        fcntl(fds[1], F_SETFD, 0); // this end is Xvfb's to keep
        char fdtext[16];
        snprintf(fdtext, sizeof fdtext, "%d", fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fdtext, "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
               "-noreset", (char *)nullptr);
        _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return "";
    }
    xvfb_pid = pid;
    atexit(stop_xvfb);
    std::string number;
    long long deadline = monotonic_ms() + 30000;
    struct pollfd p = {fds[0], POLLIN, 0};
    while (monotonic_ms() < deadline) {
        if (poll(&p, 1, 500) <= 0)
            continue;
        char c;
        ssize_t n = read(fds[0], &c, 1);
        if (n <= 0 || c == '\n')
            break;
        number += c;
    }
    close(fds[0]);
    if (number.empty())
        return "";
    xvfb_display = ":" + number;
    setenv("DISPLAY", xvfb_display.c_str(), 1);
    return xvfb_display;
}

int free_loopback_port()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    struct sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    int port = -1;
    if (fd >= 0 && bind(fd, (struct sockaddr *)&a, sizeof a) == 0) {
        socklen_t len = sizeof a;
        if (getsockname(fd, (struct sockaddr *)&a, &len) == 0)
            port = ntohs(a.sin_port);
    }
    if (fd >= 0)
        close(fd);
    return port;
}

} // namespace qv_test
