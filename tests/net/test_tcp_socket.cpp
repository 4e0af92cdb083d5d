// vexa_tcp_socket without TLS against real loopback peers: both connect
// modes, reads and writes, orderly end, reset, closed peer, time-outs, the
// state rules; and the dotted-quad check and address resolution.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "net/tcp_socket.h"
#include "runtime/log.h"
#include "tests/support/test_support.h"

namespace {

long long now_ms()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

struct sockaddr_in loopback_address()
{
    struct sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// A plain listening socket on 127.0.0.1 (ephemeral port) and the peer ends
// it accepts.
class loopback_listener {
public:
    explicit loopback_listener(int backlog = 8)
    {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        struct sockaddr_in a = loopback_address();
        if (fd_ < 0 || bind(fd_, (struct sockaddr *)&a, sizeof a) != 0 || listen(fd_, backlog) != 0)
            return;
        socklen_t len = sizeof a;
        getsockname(fd_, (struct sockaddr *)&a, &len);
        port_ = ntohs(a.sin_port);
    }
    ~loopback_listener()
    {
        for (int fd : accepted_)
            close(fd);
        if (fd_ >= 0)
            close(fd_);
    }
    unsigned short port() const { return (unsigned short)port_; }
    int fd() const { return fd_; }
    // The next connection, or -1 when none arrives within timeout_ms.
    int accept_one(int timeout_ms = 2000)
    {
        struct pollfd p = {fd_, POLLIN, 0};
        if (poll(&p, 1, timeout_ms) <= 0)
            return -1;
        int c = accept(fd_, nullptr, nullptr);
        if (c >= 0)
            accepted_.push_back(c);
        return c;
    }
    // Closes an accepted peer; with reset the close sends RST.
    void close_peer(int fd, bool reset = false)
    {
        if (reset) {
            struct linger l = {1, 0};
            setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        }
        close(fd);
        for (size_t i = 0; i < accepted_.size(); i++)
            if (accepted_[i] == fd)
                accepted_.erase(accepted_.begin() + (long)i);
    }

private:
    int fd_ = -1;
    int port_ = -1;
    std::vector<int> accepted_;
};

std::string read_some(int fd, int timeout_ms = 2000)
{
    struct pollfd p = {fd, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0)
        return "";
    char buf[4096];
    ssize_t n = read(fd, buf, sizeof buf);
    return n > 0 ? std::string(buf, (size_t)n) : "";
}

// A connected plain socket and the listener's end of it.
struct connected_pair {
    loopback_listener listener;
    vexa_tcp_socket sock;
    int peer = -1;

    connected_pair()
    {
        struct sockaddr_in a = loopback_address();
        if (sock.blocking_connect(&a, listener.port(), 2000) == 1)
            peer = listener.accept_one();
    }
    ~connected_pair() { sock.close_connection(); }
};

bool descriptor_is_open(int fd)
{
    return fd >= 0 && fcntl(fd, F_GETFD) != -1;
}

} // namespace

TEST(TcpSocket, FreshSocket)
{
    vexa_tcp_socket s;
    EXPECT_EQ(nullptr, s.ssl);
    EXPECT_EQ(0, s.ssl_enabled);
    EXPECT_EQ(-1, s.socket.get_descriptor());
    EXPECT_EQ(TCP_STATE_UNCONNECTED, s.get_state());
    EXPECT_EQ(0, s.get_read_error());
    EXPECT_EQ(0, s.get_write_error());
    EXPECT_EQ(0, s.peer_address.sin_port);
}

TEST(TcpSocket, OperationsThatNeedAConnection)
{
    qv_test::log_capture log;
    vexa_tcp_socket s;
    char buf[4];
    EXPECT_EQ(-1, s.nonblocking_read(buf, 4));
    EXPECT_EQ(-44, s.get_read_error());
    s.read_error = 0;
    EXPECT_EQ(-1, s.blocking_read(buf, 4, 0));
    EXPECT_EQ(-44, s.get_read_error());
    EXPECT_EQ(-1, s.nonblocking_write("x", 1));
    EXPECT_EQ(-44, s.get_write_error());
    s.write_error = 0;
    EXPECT_EQ(-1, s.blocking_write("x", 1, 0));
    EXPECT_EQ(-44, s.get_write_error());
    s.write_error = 0;
    EXPECT_EQ(-1, s.poll_connect());
    EXPECT_EQ(-44, s.get_write_error());
    EXPECT_EQ(TCP_STATE_UNCONNECTED, s.get_state());
    EXPECT_EQ("", log.text());
}

TEST(TcpSocket, BlockingConnectReadWrite)
{
    connected_pair c;
    ASSERT_GE(c.peer, 0);
    EXPECT_EQ(TCP_STATE_CONNECTED, c.sock.get_state());
    EXPECT_EQ(htons(c.listener.port()), c.sock.peer_address.sin_port);
    EXPECT_EQ(AF_INET, c.sock.peer_address.sin_family);

    EXPECT_EQ(5, c.sock.blocking_write("hello", 5, 2000));
    EXPECT_EQ("hello", read_some(c.peer));
    ASSERT_EQ(3, write(c.peer, "abc", 3));
    char buf[16];
    EXPECT_EQ(3, c.sock.blocking_read(buf, sizeof buf, 2000));
    EXPECT_EQ("abc", std::string(buf, 3));

    // Nothing waiting: a 0 ms read returns at once.
    long long start = now_ms();
    EXPECT_EQ(0, c.sock.blocking_read(buf, sizeof buf, 0));
    EXPECT_LT(now_ms() - start, 100);
    EXPECT_EQ(0, c.sock.nonblocking_read(buf, sizeof buf));
    EXPECT_EQ(-30, c.sock.get_read_error());
    EXPECT_EQ(0, c.sock.nonblocking_read(nullptr, 4));
    EXPECT_EQ(0, c.sock.blocking_write(nullptr, 4, 0));
    EXPECT_EQ(0, c.sock.nonblocking_write("x", 0));
    EXPECT_EQ(TCP_STATE_CONNECTED, c.sock.get_state());
}

TEST(TcpSocket, NonblockingConnectIsPolledToConnected)
{
    loopback_listener l;
    vexa_tcp_socket s;
    struct sockaddr_in a = loopback_address();
    a.sin_port = htons(1); // replaced by the port argument
    int started = s.start_nonblocking_connect(&a, l.port());
    ASSERT_GE(started, 0);
    if (started == 0) {
        EXPECT_EQ(TCP_STATE_CONNECTING, s.state);
        EXPECT_EQ(-31, s.get_write_error());
        // A second connect while one is under way is refused.
        EXPECT_EQ(-1, s.start_nonblocking_connect(&a, l.port()));
        EXPECT_EQ(-31, s.get_write_error());
        EXPECT_EQ(TCP_STATE_CONNECTING, s.state);
        long long deadline = now_ms() + 2000;
        int r = 0;
        while (r == 0 && now_ms() < deadline) {
            r = s.poll_connect();
            if (r == 0)
                usleep(1000);
        }
        EXPECT_EQ(1, r);
    }
    EXPECT_EQ(TCP_STATE_CONNECTED, s.get_state());
    EXPECT_EQ(htons(l.port()), s.peer_address.sin_port);
    int peer = l.accept_one();
    ASSERT_GE(peer, 0);
    EXPECT_EQ(4, s.nonblocking_write("ping", 4));
    EXPECT_EQ("ping", read_some(peer));
    ASSERT_EQ(4, write(peer, "pong", 4));
    char buf[8];
    int got = 0;
    long long deadline = now_ms() + 2000;
    while (got == 0 && now_ms() < deadline)
        got = s.nonblocking_read(buf, sizeof buf);
    EXPECT_EQ(4, got);

    // Connected: connect, poll and the TLS switches are refused.
    qv_test::log_capture log;
    EXPECT_EQ(-1, s.start_nonblocking_connect(&a, l.port()));
    EXPECT_EQ(-43, s.get_write_error());
    s.write_error = 0;
    EXPECT_EQ(-1, s.poll_connect());
    EXPECT_EQ(-43, s.get_write_error());
    EXPECT_EQ(0, s.enable_ssl());
    EXPECT_EQ(0, s.disable_ssl());
    EXPECT_EQ("Error in vexa_tcp_socket::enable_ssl(), socket not in unconnected state.\n"
              "Error in vexa_tcp_socket::disable_ssl(), socket not in unconnected state.\n",
              log.text());
    EXPECT_EQ(TCP_STATE_CONNECTED, s.get_state());
    s.close_connection();
    EXPECT_EQ(TCP_STATE_UNCONNECTED, s.get_state());
    EXPECT_FALSE(s.socket.is_open());
}

TEST(TcpSocket, OrderlyEndOfTheConnection)
{
    for (int blocking = 0; blocking < 2; blocking++) {
        connected_pair c;
        ASSERT_GE(c.peer, 0);
        ASSERT_EQ(2, write(c.peer, "ok", 2));
        c.listener.close_peer(c.peer);
        char buf[8];
        EXPECT_EQ(2, c.sock.blocking_read(buf, sizeof buf, 2000));
        int r;
        if (blocking) {
            r = c.sock.blocking_read(buf, sizeof buf, -1);
        } else {
            long long deadline = now_ms() + 2000;
            do
                r = c.sock.nonblocking_read(buf, sizeof buf);
            while (r == 0 && now_ms() < deadline);
        }
        EXPECT_EQ(-1, r);
        EXPECT_EQ(0, c.sock.get_read_error());
        EXPECT_EQ(TCP_STATE_UNCONNECTED, c.sock.get_state());
        EXPECT_FALSE(c.sock.socket.is_open());
        // Reading on: not connected, without a report.
        qv_test::log_capture log;
        EXPECT_EQ(-1, c.sock.nonblocking_read(buf, sizeof buf));
        EXPECT_EQ(-44, c.sock.get_read_error());
        EXPECT_EQ("", log.text());
    }
}

TEST(TcpSocket, ResetPeer)
{
    connected_pair c;
    ASSERT_GE(c.peer, 0);
    c.listener.close_peer(c.peer, true);
    char buf[8];
    EXPECT_EQ(-1, c.sock.blocking_read(buf, sizeof buf, 2000));
    EXPECT_EQ(-21, c.sock.get_read_error());
    EXPECT_EQ(TCP_STATE_UNCONNECTED, c.sock.get_state());
}

TEST(TcpSocket, WritingToAClosedPeerFailsWithoutSigpipe)
{
    // This program leaves SIGPIPE at its default action, which would end it.
    struct sigaction old;
    sigaction(SIGPIPE, nullptr, &old);
    ASSERT_EQ(SIG_DFL, old.sa_handler);

    connected_pair c;
    ASSERT_GE(c.peer, 0);
    c.listener.close_peer(c.peer);
    int r = 0;
    long long deadline = now_ms() + 3000;
    while (now_ms() < deadline) {
        r = c.sock.blocking_write("data", 4, 1000);
        if (r < 0)
            break;
        usleep(10000);
    }
    EXPECT_EQ(-1, r);
    EXPECT_EQ(-20, c.sock.get_write_error());
    EXPECT_EQ(TCP_STATE_UNCONNECTED, c.sock.get_state());
}

TEST(TcpSocket, BlockingReadWithoutLimitWaitsForData)
{
    connected_pair c;
    ASSERT_GE(c.peer, 0);
    int peer = c.peer;
    std::thread late([peer] {
        usleep(200000);
        (void)!write(peer, "late", 4);
    });
    long long start = now_ms();
    char buf[8];
    int got = c.sock.blocking_read(buf, sizeof buf, -1);
    long long waited = now_ms() - start;
    late.join();
    EXPECT_EQ(4, got);
    EXPECT_GE(waited, 150);
}

TEST(TcpSocket, BlockingReadTimesOutWithZero)
{
    connected_pair c;
    ASSERT_GE(c.peer, 0);
    long long start = now_ms();
    char buf[8];
    EXPECT_EQ(0, c.sock.blocking_read(buf, sizeof buf, 150));
    EXPECT_GE(now_ms() - start, 140);
    EXPECT_EQ(TCP_STATE_CONNECTED, c.sock.get_state());
}

TEST(TcpSocket, ConnectTimesOutAgainstAFullBacklog)
{
    // A listener that never accepts and whose queue is full: further SYNs
    // are dropped, so a connect stays unanswered.
    loopback_listener l(0);
    ASSERT_GT(l.port(), 0);
    std::vector<int> fillers;
    struct sockaddr_in a = loopback_address();
    a.sin_port = htons(l.port());
    for (int i = 0; i < 16; i++) {
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        fillers.push_back(fd);
        connect(fd, (struct sockaddr *)&a, sizeof a);
        struct pollfd p = {fd, POLLOUT, 0};
        if (poll(&p, 1, 300) == 0)
            break;
    }
    vexa_tcp_socket s;
    long long start = now_ms();
    EXPECT_EQ(-1, s.blocking_connect(&a, l.port(), 300));
    long long waited = now_ms() - start;
    EXPECT_EQ(-41, s.get_write_error());
    EXPECT_STREQ("timeout", socket_error_text(s.get_write_error()));
    EXPECT_EQ(TCP_STATE_UNCONNECTED, s.get_state());
    EXPECT_FALSE(s.socket.is_open());
    EXPECT_GE(waited, 290);
    EXPECT_LT(waited, 2000);
    for (int fd : fillers)
        close(fd);
}

TEST(TcpSocket, RefusedConnectIsAFailure)
{
    unsigned short port = (unsigned short)qv_test::free_loopback_port();
    struct sockaddr_in a = loopback_address();
    {
        vexa_tcp_socket s;
        EXPECT_EQ(-1, s.blocking_connect(&a, port, 2000));
        EXPECT_EQ(-40, s.get_write_error());
        EXPECT_EQ(TCP_STATE_UNCONNECTED, s.get_state());
        EXPECT_FALSE(s.socket.is_open());
    }
    {
        vexa_tcp_socket s;
        int r = s.start_nonblocking_connect(&a, port);
        long long deadline = now_ms() + 2000;
        while (r == 0 && now_ms() < deadline) {
            usleep(1000);
            r = s.poll_connect();
        }
        EXPECT_LT(r, 0);
        EXPECT_EQ(-40, s.get_write_error());
        EXPECT_EQ(TCP_STATE_UNCONNECTED, s.get_state());
        EXPECT_FALSE(s.socket.is_open());
    }
}

TEST(TcpSocket, GetStatePollsAConnectUnderWay)
{
    loopback_listener l;
    vexa_tcp_socket s;
    struct sockaddr_in a = loopback_address();
    ASSERT_GE(s.start_nonblocking_connect(&a, l.port()), 0);
    int st = s.state;
    long long deadline = now_ms() + 2000;
    while (st == TCP_STATE_CONNECTING && now_ms() < deadline)
        st = s.get_state();
    EXPECT_EQ(TCP_STATE_CONNECTED, st);
    s.close_connection();
}

TEST(TcpSocket, TlsSwitchesWhileUnconnected)
{
    qv_test::log_capture log;
    vexa_tcp_socket s;
    EXPECT_EQ(1, s.enable_ssl());
    EXPECT_EQ(1, s.enable_ssl());
    EXPECT_EQ(1, s.ssl_enabled);
    EXPECT_EQ(1, s.disable_ssl());
    EXPECT_EQ(0, s.ssl_enabled);
    EXPECT_EQ(1, s.disable_ssl());
    EXPECT_EQ("Error in vexa_server_socket_writeable::make_ssl_capable(), socket already SSL enabled.\n",
              log.text());
}

TEST(TcpSocket, StaleDescriptorIsClosedBeforeAConnect)
{
    loopback_listener l;
    vexa_tcp_socket s;
    struct sockaddr_in a = loopback_address();
    ASSERT_EQ(1, s.blocking_connect(&a, l.port(), 2000));
    int old_fd = s.socket.get_descriptor();
    s.state = TCP_STATE_UNCONNECTED; // as if the owner had lost track
    qv_test::log_capture log;
    EXPECT_GE(s.start_nonblocking_connect(&a, l.port()), 0);
    EXPECT_EQ("Error in vexa_tcp_socket::start_nonblocking_connect(), socket not closed.\n", log.text());
    EXPECT_TRUE(s.socket.is_open());
    s.close_connection();
    (void)old_fd;
}

TEST(TcpSocket, DestroyingAnOpenSocketReportsAndCloses)
{
    loopback_listener l;
    int fd;
    qv_test::log_capture log;
    {
        vexa_tcp_socket s;
        struct sockaddr_in a = loopback_address();
        ASSERT_EQ(1, s.blocking_connect(&a, l.port(), 2000));
        fd = s.socket.get_descriptor();
        EXPECT_TRUE(descriptor_is_open(fd));
    }
    EXPECT_FALSE(descriptor_is_open(fd));
    EXPECT_EQ("Error in ~vexa_tcp_socket(), socket not closed.\n", log.text());
}

TEST(TcpSocket, NullAddressIsRefused)
{
    qv_test::log_capture log;
    vexa_tcp_socket s;
    EXPECT_EQ(-1, s.start_nonblocking_connect(nullptr, 80));
    EXPECT_EQ(-1, s.blocking_connect(nullptr, 80, 0));
    EXPECT_EQ(-11, s.get_write_error());
    EXPECT_EQ(TCP_STATE_UNCONNECTED, s.get_state());
    EXPECT_EQ(2u, qv_test::split_lines(log.text()).size());
}

TEST(DottedQuad, AcceptAndReject)
{
    struct {
        const char *text;
        int expected;
    } cases[] = {
        {"10.0.0.1", 1},
        {"255.255.255.255", 1},
        {"0.0.0.0", 1},
        {"127.0.0.1", 1},
        {"001.002.003.004", 1},
        {"256.1.1.1", 0},
        {"1.256.1.1", 0},
        {"1.1.1.999", 0},
        {"1.2.3", 0},
        {"1.2.3.4.5", 0},
        {"1.2.3.4.", 0},
        {".1.2.3.4", 0},
        {"1..2.3", 0},
        {"1.2.3.a", 0},
        {"localhost", 0},
        {"+1.2.3.4", 0},
        {"-1.2.3.4", 0},
        {" 1.2.3.4", 0},
        {"1.2.3.4 ", 0},
        {"0001.2.3.4", 1},
        {"0000.000.000.001", 0},
        {"99999999999999999999.1.1.1", 0},
        {"", 0},
        {nullptr, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.expected, is_dotted_quad(c.text)) << (c.text ? c.text : "(null)");
}

TEST(ResolveIpv4, DottedQuadsAndNames)
{
    struct sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_port = htons(4321);
    ASSERT_EQ(1, resolve_ipv4_address("10.1.2.3", &a));
    EXPECT_EQ(AF_INET, a.sin_family);
    EXPECT_EQ(htonl(0x0A010203), a.sin_addr.s_addr);
    EXPECT_EQ(htons(4321), a.sin_port);

    // Numbers with leading zeros are decimal, as is_dotted_quad read them.
    ASSERT_EQ(1, resolve_ipv4_address("010.001.000.011", &a));
    EXPECT_EQ(htonl(0x0A01000B), a.sin_addr.s_addr);

    ASSERT_EQ(1, resolve_ipv4_address("255.255.255.255", &a));
    EXPECT_EQ(0xFFFFFFFFu, a.sin_addr.s_addr);

    // A name is looked up (from the hosts file, no traffic).
    memset(&a, 0, sizeof a);
    a.sin_port = htons(99);
    ASSERT_EQ(1, resolve_ipv4_address("localhost", &a));
    EXPECT_EQ(AF_INET, a.sin_family);
    EXPECT_EQ(127, ntohl(a.sin_addr.s_addr) >> 24);
    EXPECT_EQ(htons(99), a.sin_port);

    struct sockaddr_in before = a;
    EXPECT_EQ(0, resolve_ipv4_address(nullptr, &a));
    EXPECT_EQ(0, memcmp(&before, &a, sizeof a));
    EXPECT_EQ(0, resolve_ipv4_address("127.0.0.1", nullptr));
}
