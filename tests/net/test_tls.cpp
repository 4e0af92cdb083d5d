// TLS: vexa_tcp_socket as a client of a real "openssl s_server", the
// process-wide context as a server answering "openssl s_client" with a DHE
// suite, the context's configuration and failures, and the Diffie-Hellman
// parameter sets. A certificate and key are made at test time.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/bn.h>
#include <openssl/dh.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "net/dh_primes.h"
#include "net/ssl_context.h"
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

bool contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

std::string find_openssl()
{
    const char *path = getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t colon = dirs.find(':', start);
        std::string dir = dirs.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        std::string candidate = (dir.empty() ? "." : dir) + "/openssl";
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    return "";
}

// An openssl command running beside the test: its standard input is a pipe
// of ours, its standard output and error are collected together. Killed and
// reaped on destruction.
class openssl_process {
public:
    explicit openssl_process(const std::vector<std::string> &args)
    {
        static const std::string program = find_openssl();
        int in_pipe[2], out_pipe[2];
        if (program.empty() || pipe(in_pipe) != 0)
            return;
        if (pipe(out_pipe) != 0) {
            close(in_pipe[0]);
            close(in_pipe[1]);
            return;
        }
        std::vector<std::string> argv = {program};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char *> cargs;
        for (std::string &a : argv)
            cargs.push_back(&a[0]);
        cargs.push_back(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            dup2(in_pipe[0], 0);
            dup2(out_pipe[1], 1);
            dup2(out_pipe[1], 2);
            close(in_pipe[0]);
            close(in_pipe[1]);
            close(out_pipe[0]);
            close(out_pipe[1]);
            execv(cargs[0], cargs.data());
            _exit(127);
        }
        close(in_pipe[0]);
        close(out_pipe[1]);
        in_ = in_pipe[1];
        out_ = out_pipe[0];
        fcntl(in_, F_SETFD, FD_CLOEXEC);
        fcntl(out_, F_SETFD, FD_CLOEXEC);
    }
    ~openssl_process()
    {
        close_input();
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            int status;
            waitpid(pid_, &status, 0);
        }
        if (out_ >= 0)
            close(out_);
    }
    // Waits until the output holds marker; false after timeout_ms or when
    // the process ended without it.
    bool wait_for(const std::string &marker, int timeout_ms = 5000)
    {
        long long deadline = now_ms() + timeout_ms;
        while (!contains(output_, marker)) {
            long long left = deadline - now_ms();
            if (left <= 0 || out_ < 0)
                return false;
            struct pollfd p = {out_, POLLIN, 0};
            if (poll(&p, 1, (int)left) <= 0)
                continue;
            char buf[4096];
            ssize_t n = read(out_, buf, sizeof buf);
            if (n <= 0)
                return false;
            output_.append(buf, (size_t)n);
        }
        return true;
    }
    void send(const std::string &text) { (void)!write(in_, text.data(), text.size()); }
    void close_input()
    {
        if (in_ >= 0)
            close(in_);
        in_ = -1;
    }
    void kill_now()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            int status;
            waitpid(pid_, &status, 0);
            pid_ = -1;
        }
    }
    const std::string &output() const { return output_; }

private:
    pid_t pid_ = -1;
    int in_ = -1;
    int out_ = -1;
    std::string output_;
};

struct sockaddr_in loopback_address()
{
    struct sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// Certificate and key, made once for the whole program.
qv_test::temp_dir *cert_dir = nullptr;
std::string cert_file;
std::string key_file;

// "openssl s_server" on 127.0.0.1 with the test certificate and the given
// further options; port() is 0 when it could not be started.
class tls_server {
public:
    explicit tls_server(const std::vector<std::string> &options)
    {
        for (int attempt = 0; attempt < 3 && !port_; attempt++) {
            int port = qv_test::free_loopback_port();
            std::vector<std::string> args = {"s_server", "-accept", "127.0.0.1:" + std::to_string(port),
                                             "-cert",    cert_file, "-key", key_file, "-naccept", "1"};
            args.insert(args.end(), options.begin(), options.end());
            proc_.reset(new openssl_process(args));
            if (proc_->wait_for("ACCEPT"))
                port_ = port;
        }
    }
    unsigned short port() const { return (unsigned short)port_; }
    openssl_process &process() { return *proc_; }

private:
    std::unique_ptr<openssl_process> proc_;
    int port_ = 0;
};

// Reads from a TLS client socket until the collected text holds marker or
// the connection ends; returns what arrived.
std::string read_until(vexa_tcp_socket &s, const std::string &marker, int *last_result = nullptr)
{
    std::string got;
    long long deadline = now_ms() + 5000;
    int r = 0;
    while (!contains(got, marker) && now_ms() < deadline) {
        char buf[512];
        r = s.blocking_read(buf, sizeof buf, 500);
        if (r < 0)
            break;
        got.append(buf, (size_t)r);
    }
    if (last_result)
        *last_result = r;
    return got;
}

int hook_calls = 0;
void counting_hook()
{
    hook_calls++;
}
// DHE with 1024-bit groups (the length the TLS library asks the callback
// for) needs security level 1; the distribution's default is higher.
void dhe_hook()
{
    hook_calls++;
    SSL_CTX_set_security_level(ssl_get_context(), 1);
}
void anonymous_hook()
{
    SSL_CTX_set_security_level(ssl_get_context(), 0);
}

// The Diffie-Hellman prime and generator of the ServerKeyExchange message a
// server sent, taken from the wire by a message callback.
struct key_exchange_capture {
    std::string prime;
    std::string generator;
};

void capture_key_exchange(int write_p, int, int content_type, const void *buf, size_t len, SSL *, void *arg)
{
    const unsigned char *m = (const unsigned char *)buf;
    if (!write_p || content_type != SSL3_RT_HANDSHAKE || len < 6 || m[0] != SSL3_MT_SERVER_KEY_EXCHANGE)
        return;
    key_exchange_capture *cap = (key_exchange_capture *)arg;
    size_t p_len = (size_t)m[4] << 8 | m[5];
    if (6 + p_len + 2 > len)
        return;
    cap->prime.assign((const char *)m + 6, p_len);
    size_t g_len = (size_t)m[6 + p_len] << 8 | m[7 + p_len];
    if (8 + p_len + g_len <= len)
        cap->generator.assign((const char *)m + 8 + p_len, g_len);
}

class Tls : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        cert_dir = new qv_test::temp_dir();
        cert_file = cert_dir->file("cert.pem");
        key_file = cert_dir->file("key.pem");
        qv_test::process_result r =
            qv_test::run_process({find_openssl(), "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                                  key_file, "-out", cert_file, "-days", "2", "-subj", "/CN=localhost"});
        ASSERT_EQ(0, r.exit_status) << r.err;
        ASSERT_EQ(1, vexa_ssl_startup());
    }
    static void TearDownTestSuite()
    {
        delete cert_dir;
        cert_dir = nullptr;
    }
    // Every test leaves the context as the launcher has it.
    void TearDown() override
    {
        log_level = 1;
        ssl_set_certificate_file(nullptr);
        ssl_set_private_key_file(nullptr);
        ssl_set_chain_file(nullptr);
        ssl_clear_extra_chain_files();
        ssl_set_context_hook(nullptr);
        ssl_use_default_ciphers();
        hook_calls = 0;
        ASSERT_EQ(1, init_ssl());
    }
};

} // namespace

TEST_F(Tls, StartupPreparesTheLauncherContext)
{
    struct sigaction old;
    sigaction(SIGPIPE, nullptr, &old);
    EXPECT_EQ(SIG_IGN, old.sa_handler);
    SSL_CTX *ctx = ssl_get_context();
    ASSERT_NE(nullptr, ctx);
    EXPECT_STREQ("HIGH:@STRENGTH:!aNULL", ssl_get_cipher_list());
    EXPECT_EQ(nullptr, SSL_CTX_get0_certificate(ctx));
    EXPECT_EQ(SSL_VERIFY_NONE, SSL_CTX_get_verify_mode(ctx));
    // No anonymous suite is offered.
    SSL *ssl = SSL_new(ctx);
    STACK_OF(SSL_CIPHER) *ciphers = SSL_get_ciphers(ssl);
    for (int i = 0; i < sk_SSL_CIPHER_num(ciphers); i++) {
        const SSL_CIPHER *c = sk_SSL_CIPHER_value(ciphers, i);
        EXPECT_NE(NID_auth_null, SSL_CIPHER_get_auth_nid(c)) << SSL_CIPHER_get_name(c);
    }
    SSL_free(ssl);
}

TEST_F(Tls, BlockingClientTalksToSServer)
{
    tls_server server({"-rev"});
    ASSERT_NE(0, server.port()) << server.process().output();
    vexa_tcp_socket s;
    ASSERT_EQ(1, s.enable_ssl());
    struct sockaddr_in a = loopback_address();
    ASSERT_EQ(1, s.blocking_connect(&a, server.port(), 5000)) << server.process().output();
    EXPECT_EQ(TCP_STATE_CONNECTED, s.get_state());
    ASSERT_NE(nullptr, s.ssl);
    // The socket is back in non-blocking mode after the blocking handshake.
    EXPECT_NE(0, fcntl(s.socket.get_descriptor(), F_GETFL) & O_NONBLOCK);

    EXPECT_EQ(6, s.blocking_write("hello\n", 6, 5000));
    EXPECT_TRUE(contains(read_until(s, "olleh\n"), "olleh\n"));
    char buf[16];
    EXPECT_EQ(0, s.blocking_read(buf, sizeof buf, 0));

    // The server ends the connection: an orderly end, read error 0.
    EXPECT_EQ(6, s.blocking_write("CLOSE\n", 6, 5000));
    int last = 0;
    read_until(s, "\x01never", &last);
    EXPECT_EQ(-1, last);
    EXPECT_EQ(0, s.get_read_error());
    EXPECT_EQ(TCP_STATE_UNCONNECTED, s.get_state());
    EXPECT_FALSE(s.socket.is_open());
    // The TLS object stays until the next handshake or disable_ssl.
    EXPECT_NE(nullptr, s.ssl);
    EXPECT_EQ(1, s.disable_ssl());
    EXPECT_EQ(nullptr, s.ssl);
}

TEST_F(Tls, NonblockingHandshakeIsPolled)
{
    tls_server server({"-rev"});
    ASSERT_NE(0, server.port()) << server.process().output();
    vexa_tcp_socket s;
    s.enable_ssl();
    struct sockaddr_in a = loopback_address();
    ASSERT_GE(s.start_nonblocking_connect(&a, server.port()), 0);
    bool saw_handshake = false;
    int r = 0;
    long long deadline = now_ms() + 5000;
    while (r == 0 && now_ms() < deadline) {
        r = s.poll_connect();
        if (s.state == TCP_STATE_TLS_HANDSHAKE)
            saw_handshake = true;
        if (r == 0)
            usleep(1000);
    }
    ASSERT_EQ(1, r) << server.process().output();
    EXPECT_TRUE(saw_handshake);
    EXPECT_EQ(TCP_STATE_CONNECTED, s.get_state());

    int put = 0;
    deadline = now_ms() + 5000;
    while (put == 0 && now_ms() < deadline)
        put = s.nonblocking_write("abc\n", 4);
    EXPECT_EQ(4, put);
    EXPECT_TRUE(contains(read_until(s, "cba\n"), "cba\n"));
    s.close_connection();
}

TEST_F(Tls, PeerDroppingTcpWithoutCloseNoticeEndsInOrder)
{
    tls_server server({"-rev"});
    ASSERT_NE(0, server.port()) << server.process().output();
    vexa_tcp_socket s;
    s.enable_ssl();
    struct sockaddr_in a = loopback_address();
    ASSERT_EQ(1, s.blocking_connect(&a, server.port(), 5000));
    // A round trip first, so the server has read everything we sent (unread
    // data would turn its close into a reset).
    ASSERT_EQ(3, s.blocking_write("ab\n", 3, 5000));
    ASSERT_TRUE(contains(read_until(s, "ba\n"), "ba\n"));
    // Killed, the server's socket is closed by the kernel: a TCP end with no
    // TLS close notice before it.
    server.process().kill_now();
    qv_test::log_capture log;
    char buf[16];
    EXPECT_EQ(-1, s.blocking_read(buf, sizeof buf, 5000));
    EXPECT_EQ(0, s.get_read_error());
    EXPECT_EQ(TCP_STATE_UNCONNECTED, s.get_state());
    EXPECT_EQ("", log.text());
}

TEST_F(Tls, WritingToAVanishedPeerFailsWithACode)
{
    tls_server server({"-rev"});
    ASSERT_NE(0, server.port()) << server.process().output();
    vexa_tcp_socket s;
    s.enable_ssl();
    struct sockaddr_in a = loopback_address();
    ASSERT_EQ(1, s.blocking_connect(&a, server.port(), 5000));
    server.process().kill_now();
    log_level = 3;
    qv_test::log_capture log;
    int r = 0;
    long long deadline = now_ms() + 3000;
    while (now_ms() < deadline) {
        r = s.blocking_write("data\n", 5, 1000);
        if (r < 0)
            break;
        usleep(10000);
    }
    EXPECT_EQ(-1, r);
    EXPECT_EQ(-21, s.get_write_error());
    EXPECT_EQ(TCP_STATE_UNCONNECTED, s.get_state());
    EXPECT_TRUE(contains(log.text(), "Unexpected ssl close in vexa_tcp_socket::nonblocking_write().\n"));
}

TEST_F(Tls, HandshakeAbortedByTheServer)
{
    // The server insists on an anonymous suite, which the default list
    // excludes: it answers the hello with a handshake failure alert.
    tls_server server({"-tls1_2", "-cipher", "ADH-AES256-GCM-SHA384:@SECLEVEL=0"});
    ASSERT_NE(0, server.port()) << server.process().output();
    log_level = 3;
    qv_test::log_capture log;
    int fd = -1;
    {
        vexa_tcp_socket s;
        s.enable_ssl();
        struct sockaddr_in a = loopback_address();
        EXPECT_EQ(-1, s.blocking_connect(&a, server.port(), 5000));
        EXPECT_EQ(-21, s.get_write_error());
        EXPECT_EQ(TCP_STATE_TLS_HANDSHAKE, s.get_state());
        fd = s.socket.get_descriptor();
        EXPECT_TRUE(s.socket.is_open());
        EXPECT_TRUE(contains(log.text(), "SSL connect failed in vexa_tcp_socket::ssl_retry_connect().\n"))
            << log.text();
        EXPECT_TRUE(contains(log.text(), "handshake failure - err code 1.\n")) << log.text();
    }
    EXPECT_TRUE(contains(log.text(), "Error in ~vexa_tcp_socket(), socket not closed.\n"));
    EXPECT_EQ(-1, fcntl(fd, F_GETFD));
}

TEST_F(Tls, AnonymousCipherSelectionReachesEachConnection)
{
    tls_server server({"-tls1_2", "-cipher", "ADH-AES256-GCM-SHA384:@SECLEVEL=0"});
    ASSERT_NE(0, server.port()) << server.process().output();
    ssl_allow_anonymous_ciphers();
    EXPECT_STREQ("aNULL:HIGH:@STRENGTH", ssl_get_cipher_list());
    ssl_set_context_hook(anonymous_hook);
    ASSERT_EQ(1, init_ssl());
    vexa_tcp_socket s;
    s.enable_ssl();
    struct sockaddr_in a = loopback_address();
    ASSERT_EQ(1, s.blocking_connect(&a, server.port(), 5000)) << server.process().output();
    EXPECT_STREQ("ADH-AES256-GCM-SHA384", SSL_get_cipher_name(s.ssl));
    s.close_connection();

    ssl_use_high_ciphers();
    EXPECT_STREQ("HIGH:@STRENGTH", ssl_get_cipher_list());
}

TEST_F(Tls, ServerContextAnswersSClientWithDhe)
{
    ssl_set_certificate_file(cert_file.c_str());
    ssl_set_private_key_file(key_file.c_str());
    ssl_set_chain_file(cert_file.c_str());
    ssl_add_extra_chain_file(cert_file.c_str());
    ssl_set_context_hook(dhe_hook);
    ASSERT_EQ(1, init_ssl());
    EXPECT_EQ(1, hook_calls);

    vexa_network_socket listener;
    struct sockaddr_in a = loopback_address();
    ASSERT_EQ(1, listener.open_socket(AF_INET, SOCK_STREAM, 0));
    ASSERT_EQ(1, listener.bind_address((struct sockaddr *)&a, sizeof a));
    ASSERT_EQ(1, listener.listen_for_clients());
    socklen_t len = sizeof a;
    getsockname(listener.get_descriptor(), (struct sockaddr *)&a, &len);
    int port = ntohs(a.sin_port);

    openssl_process client({"s_client", "-connect", "127.0.0.1:" + std::to_string(port), "-tls1_2", "-cipher",
                            "DHE-RSA-AES128-GCM-SHA256:@SECLEVEL=1"});
    struct pollfd p = {listener.get_descriptor(), POLLIN, 0};
    ASSERT_EQ(1, poll(&p, 1, 5000)) << client.output();
    vexa_network_socket served;
    ASSERT_EQ(1, listener.accept_client(&served, nullptr, nullptr));
    struct timeval limit = {5, 0};
    setsockopt(served.get_descriptor(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);

    SSL *ssl = SSL_new(ssl_get_context());
    ASSERT_NE(nullptr, ssl);
    key_exchange_capture cap;
    SSL_set_msg_callback(ssl, capture_key_exchange);
    SSL_set_msg_callback_arg(ssl, &cap);
    SSL_set_fd(ssl, served.get_descriptor());
    int accepted = SSL_accept(ssl);
    EXPECT_EQ(1, accepted) << ERR_error_string(ERR_get_error(), nullptr);
    if (accepted == 1) {
        EXPECT_STREQ("DHE-RSA-AES128-GCM-SHA256", SSL_get_cipher_name(ssl));
        // The group on the wire is the callback's 1024-bit set.
        EXPECT_EQ(std::string((const char *)dh_prime_1024, sizeof dh_prime_1024), cap.prime);
        EXPECT_EQ(std::string("\x02"), cap.generator);

        EXPECT_GT(SSL_write(ssl, "from server\n", 12), 0);
        EXPECT_TRUE(client.wait_for("from server")) << client.output();
        client.send("from client\n");
        char buf[64];
        int got = SSL_read(ssl, buf, sizeof buf);
        ASSERT_GT(got, 0);
        EXPECT_EQ("from client\n", std::string(buf, (size_t)got));
        EXPECT_TRUE(contains(client.output(), "Server Temp Key: DH, 1024 bits")) << client.output();
        SSL_shutdown(ssl);
    }
    SSL_free(ssl);
    served.close_socket();
    listener.close_socket();
}

TEST_F(Tls, InitFailuresAreReportedAndKeepTheContext)
{
    std::string missing = cert_dir->file("missing.pem");
    std::string garbage = cert_dir->file("garbage.pem");
    ASSERT_TRUE(qv_test::write_file(garbage, "not a key\n"));
    struct {
        const char *what;
        const char *chain;
        const char *extra;
        const char *cert;
        const char *key;
        std::string message;
    } cases[] = {
        {"chain", missing.c_str(), nullptr, nullptr, nullptr,
         "Error in init_ssl(), unable to load server certificate chain from file '" + missing + "'."},
        {"extra chain", cert_file.c_str(), missing.c_str(), nullptr, nullptr,
         "Error in init_ssl(), unable to load server extra certificate chain from file '" + missing + "'."},
        {"certificate", nullptr, nullptr, missing.c_str(), nullptr,
         "Error in init_ssl(), unable to load server certificate from file '" + missing + "'."},
        {"key", nullptr, nullptr, cert_file.c_str(), missing.c_str(),
         "Error in init_ssl(), unable to load server private key from file '" + missing + "'."},
        {"bad key", nullptr, nullptr, cert_file.c_str(), garbage.c_str(),
         "Error in init_ssl(), unable to load server private key from file '" + garbage + "'."},
    };
    for (const auto &c : cases) {
        ssl_set_chain_file(c.chain);
        ssl_clear_extra_chain_files();
        ssl_add_extra_chain_file(c.extra);
        ssl_set_certificate_file(c.cert);
        ssl_set_private_key_file(c.key);
        qv_test::log_capture log;
        EXPECT_EQ(0, init_ssl()) << c.what;
        std::vector<std::string> lines = qv_test::split_lines(log.text());
        ASSERT_EQ(2u, lines.size()) << c.what << ": " << log.text();
        EXPECT_EQ(c.message, lines[0]) << c.what;
        EXPECT_TRUE(contains(lines[1], "error:")) << c.what << ": " << lines[1];
        EXPECT_NE(nullptr, ssl_get_context()) << c.what;
    }

    // vexa_ssl_startup adds its own line for any of them.
    {
        qv_test::log_capture log;
        EXPECT_EQ(0, vexa_ssl_startup());
        EXPECT_TRUE(contains(log.text(), "\nBoot failed, SSL startup is broken.\n")) << log.text();
    }
    {
        log_level = 0;
        qv_test::log_capture log;
        EXPECT_EQ(0, vexa_ssl_startup());
        EXPECT_EQ("", log.text());
        log_level = 1;
    }

    // Connections can still be made from the context that stayed.
    tls_server server({"-rev"});
    ASSERT_NE(0, server.port()) << server.process().output();
    vexa_tcp_socket s;
    s.enable_ssl();
    struct sockaddr_in a = loopback_address();
    EXPECT_EQ(1, s.blocking_connect(&a, server.port(), 5000));
    s.close_connection();
}

TEST_F(Tls, OptionalFilesAndTheHook)
{
    std::string missing = cert_dir->file("missing.pem");
    qv_test::log_capture log;
    // Extra chain files count only together with a chain file.
    ssl_add_extra_chain_file(missing.c_str());
    ssl_add_extra_chain_file(nullptr);
    ssl_set_context_hook(counting_hook);
    EXPECT_EQ(1, init_ssl());
    EXPECT_EQ(1, init_ssl());
    EXPECT_EQ(2, hook_calls);
    EXPECT_EQ(nullptr, SSL_CTX_get0_certificate(ssl_get_context()));
    ssl_set_context_hook(nullptr);
    EXPECT_EQ(1, init_ssl());
    EXPECT_EQ(2, hook_calls);

    // Names are kept to 511 characters.
    std::string longname = "/" + std::string(600, 'n');
    ssl_set_certificate_file(longname.c_str());
    EXPECT_EQ(0, init_ssl());
    EXPECT_TRUE(contains(log.text(), "file '" + longname.substr(0, SSL_FILE_NAME_MAX_CHARS) + "'.\n"));
    EXPECT_FALSE(contains(log.text(), longname.substr(0, SSL_FILE_NAME_MAX_CHARS + 1)));
    ssl_set_certificate_file(nullptr);
    EXPECT_EQ(1, init_ssl());
}

TEST_F(Tls, DiffieHellmanSetsAndTheirWarnings)
{
    qv_test::log_capture log;
    DH *dh512 = get_tmp_dh_callback(nullptr, 0, 512);
    ASSERT_NE(nullptr, dh512);
    EXPECT_EQ("Warning in get_tmp_dh_callback(), requested short key length  512, export 0.\n", log.text());
    EXPECT_EQ(dh512, get_tmp_dh_callback(nullptr, 0, 512));

    log.reset();
    DH *dh2048 = get_tmp_dh_callback(nullptr, 0, 2048);
    ASSERT_NE(nullptr, dh2048);
    EXPECT_EQ(dh2048, get_tmp_dh_callback(nullptr, 1, 2048));
    EXPECT_EQ("", log.text());

    EXPECT_EQ(nullptr, get_tmp_dh_callback(nullptr, 1, 1000));
    EXPECT_EQ("Warning in get_tmp_dh_callback(), requested short key length 1000, export 1.\n"
              "Warning in get_tmp_dh_callback(), unsupported key length 1000, export 1.\n",
              log.text());
    log.reset();
    EXPECT_EQ(nullptr, get_tmp_dh_callback(nullptr, 0, 8192));
    EXPECT_EQ("Warning in get_tmp_dh_callback(), unsupported key length 8192, export 0.\n", log.text());
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
TEST_F(Tls, DiffieHellmanPrimesAreTheKnownGroups)
{
    qv_test::log_capture log; // keeps the short-length warnings out of the output
    struct {
        int bits;
        BIGNUM *(*published)(BIGNUM *);
    } groups[] = {
        {768, BN_get_rfc2409_prime_768},   {1024, BN_get_rfc2409_prime_1024}, {1536, BN_get_rfc3526_prime_1536},
        {2048, BN_get_rfc3526_prime_2048}, {3072, BN_get_rfc3526_prime_3072}, {4096, BN_get_rfc3526_prime_4096},
    };
    for (const auto &g : groups) {
        DH *dh = get_tmp_dh_callback(nullptr, 0, g.bits);
        ASSERT_NE(nullptr, dh) << g.bits;
        const BIGNUM *p, *q, *gen;
        DH_get0_pqg(dh, &p, &q, &gen);
        BIGNUM *expected = g.published(nullptr);
        EXPECT_EQ(0, BN_cmp(expected, p)) << g.bits;
        EXPECT_EQ(g.bits, BN_num_bits(p));
        EXPECT_TRUE(BN_is_word(gen, 2)) << g.bits;
        BN_free(expected);
    }
    // The 512-bit set is our own: check that it is a safe prime that suits
    // generator 2.
    DH *dh = get_tmp_dh_callback(nullptr, 0, 512);
    ASSERT_NE(nullptr, dh);
    const BIGNUM *p, *q, *gen;
    DH_get0_pqg(dh, &p, &q, &gen);
    EXPECT_EQ(512, BN_num_bits(p));
    int codes = 0;
    ASSERT_EQ(1, DH_check(dh, &codes));
    EXPECT_EQ(0, codes);
}
#pragma GCC diagnostic pop
