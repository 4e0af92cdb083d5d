// vexa_network_socket: the error-code table and its texts, the wrappers
// against real loopback sockets, and select interrupted by a signal.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "net/network_socket.h"
#include "runtime/log.h"
#include "tests/support/test_support.h"

namespace {

struct errno_case {
    int errno_value;
    int code;
    const char *text;
};

const errno_case errno_cases[] = {
    {0, -2, "no error"},
    {EBADF, -11, "bad function argument"},
    {EINVAL, -11, "bad function argument"},
    {EBADFD, -11, "bad function argument"},
    {ENOTSOCK, -11, "bad function argument"},
    {EFAULT, -12, "address/segmentation fault"},
    {ENFILE, -13, "out of file descriptors"},
    {EMFILE, -13, "out of file descriptors"},
    {ENOMEM, -14, "oom or buffer space"},
    {ENOBUFS, -14, "oom or buffer space"},
    {EMSGSIZE, -15, "data too big for operation"},
    {EADDRINUSE, -16, "address in use"},
    {EPIPE, -20, "broken network pipe"},
    {ESHUTDOWN, -20, "broken network pipe"},
    {ECONNABORTED, -21, "connection aborted/reset"},
    {ECONNRESET, -21, "connection aborted/reset"},
    {EHOSTDOWN, -22, "remote host down"},
    {EHOSTUNREACH, -23, "remote host unreachable"},
    {ENETDOWN, -24, "network down"},
    {ENETUNREACH, -25, "network unreachable"},
    {ENETRESET, -26, "network was reset"},
    {EAGAIN, -30, "would block"},
    {EWOULDBLOCK, -30, "would block"},
    {ERESTART, -30, "would block"},
    {EINPROGRESS, -31, "in progress"},
    {EINTR, -32, "interrupted"},
    {ECONNREFUSED, -40, "connection refused"},
    {ETIMEDOUT, -41, "timeout"},
    {EALREADY, -42, "already done"},
    {EISCONN, -43, "already is connected"},
    {ENOTCONN, -44, "is not connected"},
    {ENOENT, -1, "unknown error"},
    {EACCES, -1, "unknown error"},
    {99999, -1, "unknown error"},
};

struct sockaddr_in loopback(int port)
{
    struct sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons((unsigned short)port);
    return a;
}

// A listening socket on 127.0.0.1 with an ephemeral port, made through the
// wrappers under test.
struct listener {
    vexa_network_socket sock;
    int port = -1;

    listener()
    {
        struct sockaddr_in a = loopback(0);
        if (!sock.open_socket(AF_INET, SOCK_STREAM, 0) || !sock.set_reuse_address() ||
            !sock.bind_address((struct sockaddr *)&a, sizeof a) || !sock.listen_for_clients())
            return;
        socklen_t len = sizeof a;
        getsockname(sock.get_descriptor(), (struct sockaddr *)&a, &len);
        port = ntohs(a.sin_port);
    }
    ~listener() { sock.close_socket(); }
};

void on_signal(int) {}

} // namespace

TEST(SocketErrors, ErrnoMapsToCodeAndText)
{
    for (const errno_case &c : errno_cases) {
        errno = c.errno_value;
        int code = socket_error_from_errno();
        EXPECT_EQ(c.code, code) << "errno " << c.errno_value;
        EXPECT_STREQ(c.text, socket_error_text(code)) << "errno " << c.errno_value;
    }
}

TEST(SocketErrors, TextsOfCodesWithoutErrno)
{
    EXPECT_STREQ("network socket subsystem uninitialized", socket_error_text(-10));
    for (int code : {-1, -3, -9, -17, -19, -27, -29, -33, -39, -45, -1000, 0, 5})
        EXPECT_STREQ("unknown error", socket_error_text(code)) << code;
}

TEST(SocketErrors, TransientCodes)
{
    for (int code = -50; code <= 5; code++) {
        int expected = code == -2 || code == -30 || code == -31 || code == -32;
        EXPECT_EQ(expected, is_transient_socket_error(code)) << code;
    }
}

TEST(NetworkSocket, ClosedSocketOperationsDoNothing)
{
    vexa_network_socket s;
    EXPECT_EQ(-1, s.get_descriptor());
    EXPECT_EQ(0, s.is_open());
    s.close_socket();
    s.shutdown_both();
    EXPECT_EQ(-1, s.get_descriptor());
    char c;
    EXPECT_EQ(-11, s.read_bytes(&c, 1));
    EXPECT_EQ(-11, s.write_bytes(&c, 1));
    EXPECT_EQ(-11, s.connect_address(nullptr, 0));
}

TEST(NetworkSocket, ModeSettersReportFailure)
{
    qv_test::log_capture log;
    vexa_network_socket s;
    EXPECT_EQ(0, s.set_blocking());
    EXPECT_EQ(0, s.set_nonblocking());
    EXPECT_EQ("Error in vexa_network_socket::set_blocking(), setting blocking mode failed.\n"
              "Error in vexa_network_socket::set_nonblocking(), setting nonblocking mode failed.\n",
              log.text());
}

TEST(NetworkSocket, ModeSettersFlipNonblocking)
{
    vexa_network_socket s;
    ASSERT_EQ(1, s.open_socket(AF_INET, SOCK_STREAM, 0));
    EXPECT_EQ(1, s.set_nonblocking());
    EXPECT_NE(0, fcntl(s.get_descriptor(), F_GETFL) & O_NONBLOCK);
    EXPECT_EQ(1, s.set_blocking());
    EXPECT_EQ(0, fcntl(s.get_descriptor(), F_GETFL) & O_NONBLOCK);
    s.close_socket();
    EXPECT_EQ(0, s.is_open());
}

TEST(NetworkSocket, OpenFailureLeavesItClosed)
{
    vexa_network_socket s;
    EXPECT_EQ(0, s.open_socket(-1, SOCK_STREAM, 0));
    EXPECT_EQ(0, s.is_open());
}

TEST(NetworkSocket, ConnectAcceptReadWriteAndOrderlyEnd)
{
    listener l;
    ASSERT_GT(l.port, 0);
    vexa_network_socket client;
    ASSERT_EQ(1, client.open_socket(AF_INET, SOCK_STREAM, 0));
    struct sockaddr_in a = loopback(l.port);
    ASSERT_EQ(0, client.connect_address((struct sockaddr *)&a, sizeof a));
    EXPECT_EQ(-43, client.connect_address((struct sockaddr *)&a, sizeof a));

    vexa_network_socket served;
    struct sockaddr_in peer;
    socklen_t peer_len = sizeof peer;
    ASSERT_EQ(1, l.sock.accept_client(&served, (struct sockaddr *)&peer, &peer_len));
    EXPECT_TRUE(served.is_open());
    EXPECT_EQ(htonl(INADDR_LOOPBACK), peer.sin_addr.s_addr);
    EXPECT_EQ(-11, l.sock.accept_client(nullptr, nullptr, nullptr));

    EXPECT_EQ(5, client.write_bytes("hello", 5));
    char buf[16];
    EXPECT_EQ(5, served.read_bytes(buf, sizeof buf));
    EXPECT_EQ("hello", std::string(buf, 5));

    served.set_nonblocking();
    EXPECT_EQ(-30, served.read_bytes(buf, sizeof buf));

    client.shutdown_both();
    served.set_blocking();
    EXPECT_EQ(0, served.read_bytes(buf, sizeof buf));
    client.close_socket();
    served.close_socket();
}

TEST(NetworkSocket, NonblockingAcceptWouldBlock)
{
    listener l;
    ASSERT_GT(l.port, 0);
    l.sock.set_nonblocking();
    vexa_network_socket served;
    EXPECT_EQ(-30, l.sock.accept_client(&served, nullptr, nullptr));
    EXPECT_FALSE(served.is_open());
}

TEST(NetworkSocket, BindToAddressInUseFails)
{
    listener l;
    ASSERT_GT(l.port, 0);
    vexa_network_socket s;
    ASSERT_EQ(1, s.open_socket(AF_INET, SOCK_STREAM, 0));
    struct sockaddr_in a = loopback(l.port);
    EXPECT_EQ(0, s.bind_address((struct sockaddr *)&a, sizeof a));
    EXPECT_EQ(-16, socket_error_from_errno());
    s.close_socket();
}

TEST(NetworkSocket, RefusedConnect)
{
    int port = qv_test::free_loopback_port();
    vexa_network_socket s;
    ASSERT_EQ(1, s.open_socket(AF_INET, SOCK_STREAM, 0));
    struct sockaddr_in a = loopback(port);
    EXPECT_EQ(-40, s.connect_address((struct sockaddr *)&a, sizeof a));
    s.close_socket();
}

TEST(SocketWait, TimesOutReadyAndInterrupted)
{
    listener l;
    ASSERT_GT(l.port, 0);
    int fd = l.sock.get_descriptor();
    fd_set r;
    struct timeval tv = {0, 20000};
    FD_ZERO(&r);
    FD_SET(fd, &r);
    EXPECT_EQ(0, socket_wait(fd + 1, &r, nullptr, nullptr, &tv));

    vexa_network_socket client;
    client.open_socket(AF_INET, SOCK_STREAM, 0);
    struct sockaddr_in a = loopback(l.port);
    ASSERT_EQ(0, client.connect_address((struct sockaddr *)&a, sizeof a));
    FD_ZERO(&r);
    FD_SET(fd, &r);
    tv = {2, 0};
    EXPECT_EQ(1, socket_wait(fd + 1, &r, nullptr, nullptr, &tv));
    EXPECT_TRUE(FD_ISSET(fd, &r));
    client.close_socket();

    // A signal handled during the wait interrupts it.
    struct sigaction sa, old;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_signal;
    sigaction(SIGUSR1, &sa, &old);
    pthread_t waiter = pthread_self();
    std::thread kicker([waiter] {
        usleep(50000);
        pthread_kill(waiter, SIGUSR1);
    });
    // Nothing ever arrives on an idle pipe.
    int fds[2];
    ASSERT_EQ(0, pipe(fds));
    fd_set idle;
    FD_ZERO(&idle);
    FD_SET(fds[0], &idle);
    EXPECT_EQ(-32, socket_wait(fds[0] + 1, &idle, nullptr, nullptr, nullptr));
    kicker.join();
    sigaction(SIGUSR1, &old, nullptr);
    close(fds[0]);
    close(fds[1]);
}

TEST(SocketWait, BadDescriptor)
{
    vexa_network_socket s;
    s.open_socket(AF_INET, SOCK_STREAM, 0);
    int fd = s.get_descriptor();
    s.close_socket();
    fd_set r;
    FD_ZERO(&r);
    FD_SET(fd, &r);
    struct timeval tv = {0, 0};
    EXPECT_EQ(-11, socket_wait(fd + 1, &r, nullptr, nullptr, &tv));
}
