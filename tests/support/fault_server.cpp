// Misbehaving HTTP server for client tests (see fault_server.h).
#include "tests/support/fault_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qv_test {

// A request that has not ended after this long is answered anyway.
static const int request_read_limit_ms = 5000;

fault_server::~fault_server()
{
    stop();
}

bool fault_server::start(const std::vector<fault_step> &steps)
{
    stop();
    steps_ = steps;
    if (pipe2(stop_pipe_, O_CLOEXEC) != 0)
        return false;
    listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listen_fd_ < 0)
        return false;
    int one = 1;
    setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    struct sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(listen_fd_, (struct sockaddr *)&a, sizeof a) != 0 || listen(listen_fd_, 16) != 0 ||
        getsockname(listen_fd_, (struct sockaddr *)&a, &len) != 0) {
        stop();
        return false;
    }
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { run(); });
    return true;
}

void fault_server::stop()
{
    if (thread_.joinable()) {
        char c = 1;
        if (write(stop_pipe_[1], &c, 1) != 1) {
            // The pipe is ours and empty; a failed write leaves the thread to
            // its own time limits.
        }
        thread_.join();
    }
    for (int *fd : {&listen_fd_, &stop_pipe_[0], &stop_pipe_[1]}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
}

std::vector<std::string> fault_server::requests() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

int fault_server::wait_readable(int fd, int ms)
{
    struct pollfd p[2] = {{fd, POLLIN, 0}, {stop_pipe_[0], POLLIN, 0}};
    int n = poll(p, 2, ms);
    if (n <= 0)
        return 0;
    if (p[1].revents)
        return -1;
    return 1;
}

void fault_server::run()
{
    for (;;) {
        int ready = wait_readable(listen_fd_, -1);
        if (ready < 0)
            return;
        if (ready == 0)
            continue;
        int fd = accept(listen_fd_, nullptr, nullptr);
        if (fd < 0)
            continue;
        serve(fd);
    }
}

// Drops whatever the client sent meanwhile, so an orderly close does not
// turn into a reset because of unread bytes.
static void drain(int fd)
{
    char buf[4096];
    while (recv(fd, buf, sizeof buf, MSG_DONTWAIT) > 0) {
    }
}

void fault_server::serve(int fd)
{
    std::string request;
    while (request.find("\r\n\r\n") == std::string::npos) {
        int ready = wait_readable(fd, request_read_limit_ms);
        if (ready < 0) {
            close(fd);
            return;
        }
        if (ready == 0)
            break;
        char buf[4096];
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        request.append(buf, (size_t)n);
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
    }
    for (const fault_step &step : steps_) {
        switch (step.kind) {
        case fault_step::send: {
            size_t done = 0;
            while (done < step.data.size()) {
                ssize_t n = send(fd, step.data.data() + done, step.data.size() - done, MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                done += (size_t)n;
            }
            break;
        }
        case fault_step::pause:
            if (wait_readable(stop_pipe_[0], step.ms) != 0) {
                close(fd);
                return;
            }
            break;
        case fault_step::close:
            drain(fd);
            close(fd);
            return;
        case fault_step::reset: {
            struct linger l = {1, 0};
            setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
            close(fd);
            return;
        }
        case fault_step::hold:
            for (;;) {
                int ready = wait_readable(fd, -1);
                if (ready < 0)
                    break;
                char buf[4096];
                if (ready > 0 && recv(fd, buf, sizeof buf, 0) <= 0)
                    break;
            }
            close(fd);
            return;
        }
    }
    drain(fd);
    close(fd);
}

} // namespace qv_test
