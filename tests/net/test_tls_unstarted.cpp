// TLS connects in a process that never ran vexa_ssl_startup, and the
// handshake steps called in the wrong state. Kept apart from the other TLS
// tests because the process-wide context must never have been made here.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "net/ssl_context.h"
#include "net/tcp_socket.h"
#include "runtime/log.h"
#include "tests/support/test_support.h"

namespace {

struct sockaddr_in loopback_address()
{
    struct sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

} // namespace

TEST(TlsUnstarted, NoTlsObjectKeepsTheSocketConnecting)
{
    ASSERT_EQ(nullptr, ssl_get_context());
    int lfd = socket(AF_INET, SOCK_STREAM, 0);
    struct sockaddr_in a = loopback_address();
    ASSERT_EQ(0, bind(lfd, (struct sockaddr *)&a, sizeof a));
    ASSERT_EQ(0, listen(lfd, 4));
    socklen_t len = sizeof a;
    getsockname(lfd, (struct sockaddr *)&a, &len);
    unsigned short port = ntohs(a.sin_port);

    log_level = 3;
    qv_test::log_capture log;
    vexa_tcp_socket s;
    s.enable_ssl();
    EXPECT_EQ(0, s.blocking_connect(&a, port, 2000));
    EXPECT_EQ(TCP_STATE_CONNECTING, s.state);
    EXPECT_EQ(nullptr, s.ssl);
    std::vector<std::string> lines = qv_test::split_lines(log.text());
    ASSERT_EQ(2u, lines.size()) << log.text();
    EXPECT_EQ("Unable to allocate SSL struct in vexa_tcp_socket::ssl_try_connect(), did you run "
              "vexa_ssl_startup()?",
              lines[0]);
    EXPECT_NE(std::string::npos, lines[1].find(" - err code 0.")) << lines[1];

    // The next poll tries again, with the same outcome.
    log.reset();
    EXPECT_EQ(TCP_STATE_CONNECTING, s.get_state());
    EXPECT_EQ(0, s.poll_connect());
    EXPECT_NE(std::string::npos, log.text().find("did you run vexa_ssl_startup()?"));
    s.close_connection();
    EXPECT_EQ(TCP_STATE_UNCONNECTED, s.get_state());
    close(lfd);
    log_level = 1;
}

TEST(TlsUnstarted, HandshakeStepsInTheWrongState)
{
    qv_test::log_capture log;
    vexa_tcp_socket s;
    EXPECT_EQ(-1, s.ssl_retry_connect());
    EXPECT_EQ(-21, s.get_write_error());
    s.write_error = 0;
    // Without TLS a "handshake" simply marks the socket connected.
    EXPECT_EQ(1, s.ssl_try_connect(0));
    EXPECT_EQ(TCP_STATE_CONNECTED, s.state);
    s.close_connection();
    s.enable_ssl();
    EXPECT_EQ(-1, s.ssl_try_connect(0));
    EXPECT_EQ(-21, s.get_write_error());
    EXPECT_EQ(TCP_STATE_UNCONNECTED, s.get_state());
    EXPECT_EQ("Error in vexa_tcp_socket::ssl_retry_connect(), NULL ssl context?\n"
              "Error in vexa_tcp_socket::ssl_try_connect(), socket not in connecting state.\n",
              log.text());
}
