// Client TCP connections with optional TLS and IPv4 name resolution (see
// tcp_socket.h).
#include "net/tcp_socket.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netdb.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <stdio.h>
#include <string.h>
#include <sys/select.h>

#include "net/ssl_context.h"
#include "runtime/log.h"

namespace {

// Room for the TLS library's error text (ERR_error_string needs 256).
const int tls_error_text_size = 256;
// Room for the composed TLS error report.
const int tls_report_size = 1024;

void report_tcp(const char *text, int class_bits)
{
    log_report(text, class_bits, LOG_MODULE_SOCKET);
}

struct wait_result {
    int readable;
    int writable;
    int exception;
};

// One select on descriptor for readability (want_read) or writability
// (want_write) and exceptions, at most milliseconds long (below 0: no limit).
// Returns socket_wait's result; -11 for a descriptor that an fd_set cannot
// hold, where FD_SET would write past the set.
int wait_on(int descriptor, int want_read, int want_write, int milliseconds, wait_result *out)
{
    out->readable = out->writable = out->exception = 0;
    if (descriptor < 0 || descriptor >= FD_SETSIZE)
        return SOCKET_ERROR_BAD_ARGUMENT;
    fd_set read_set, write_set, exception_set;
    FD_ZERO(&read_set);
    FD_ZERO(&write_set);
    FD_ZERO(&exception_set);
    if (want_read)
        FD_SET(descriptor, &read_set);
    if (want_write)
        FD_SET(descriptor, &write_set);
    FD_SET(descriptor, &exception_set);
    struct timeval timeout;
    struct timeval *limit = nullptr;
    if (milliseconds >= 0) {
        timeout.tv_sec = milliseconds / 1000;
        timeout.tv_usec = (milliseconds % 1000) * 1000;
        limit = &timeout;
    }
    int ready = socket_wait(descriptor + 1, want_read ? &read_set : nullptr, want_write ? &write_set : nullptr,
                            &exception_set, limit);
    if (ready > 0) {
        out->readable = want_read && FD_ISSET(descriptor, &read_set);
        out->writable = want_write && FD_ISSET(descriptor, &write_set);
        out->exception = FD_ISSET(descriptor, &exception_set) != 0;
    }
    return ready;
}

// The code of a non-blocking connect's outcome once the descriptor became
// writable: 0 when it connected, else the mapped error (-40 when refused).
int pending_connect_error(int descriptor)
{
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(descriptor, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        return socket_error_from_errno();
    if (error == 0)
        return 0;
    errno = error;
    return socket_error_from_errno();
}

} // namespace

void report_tls_error(int code)
{
    char text[tls_error_text_size];
    ERR_error_string_n(ERR_get_error(), text, sizeof text);
    char report[tls_report_size];
    snprintf(report, sizeof report, "%s - err code %d.", text, code);
    log_report(report, LOG_CLASS_CHATTER, LOG_MODULE_SOCKET);
}

vexa_tcp_socket::vexa_tcp_socket()
    : ssl(nullptr), ssl_enabled(0), state(TCP_STATE_UNCONNECTED), read_error(0), write_error(0)
{
    memset(&peer_address, 0, sizeof peer_address);
}

vexa_tcp_socket::~vexa_tcp_socket()
{
    if (socket.is_open()) {
        report_tcp("Error in ~vexa_tcp_socket(), socket not closed.", LOG_CLASS_RUNTIME);
        socket.close_socket();
    }
    SSL_free(ssl);
    ssl = nullptr;
}

int vexa_tcp_socket::enable_ssl()
{
    if (state != TCP_STATE_UNCONNECTED) {
        report_tcp("Error in vexa_tcp_socket::enable_ssl(), socket not in unconnected state.", LOG_CLASS_RUNTIME);
        return 0;
    }
    if (ssl_enabled) {
        report_tcp("Error in vexa_server_socket_writeable::make_ssl_capable(), socket already SSL enabled.",
                   LOG_CLASS_RUNTIME);
        return 1;
    }
    ssl_enabled = 1;
    return 1;
}

int vexa_tcp_socket::disable_ssl()
{
    if (state != TCP_STATE_UNCONNECTED) {
        report_tcp("Error in vexa_tcp_socket::disable_ssl(), socket not in unconnected state.", LOG_CLASS_RUNTIME);
        return 0;
    }
    ssl_enabled = 0;
    SSL_free(ssl);
    ssl = nullptr;
    return 1;
}

void vexa_tcp_socket::close_connection()
{
    state = TCP_STATE_UNCONNECTED;
    socket.close_socket();
}

int vexa_tcp_socket::start_nonblocking_connect(const struct sockaddr_in *address, unsigned short port)
{
    if (!address) {
        report_tcp("Error in vexa_tcp_socket::start_nonblocking_connect(), NULL address?", LOG_CLASS_USAGE);
        write_error = SOCKET_ERROR_BAD_ARGUMENT;
        return -1;
    }
    if (state == TCP_STATE_CONNECTING || state == TCP_STATE_TLS_HANDSHAKE) {
        write_error = SOCKET_ERROR_IN_PROGRESS;
        return -1;
    }
    if (state == TCP_STATE_CONNECTED) {
        write_error = SOCKET_ERROR_IS_CONNECTED;
        return -1;
    }
    if (socket.is_open()) {
        report_tcp("Error in vexa_tcp_socket::start_nonblocking_connect(), socket not closed.", LOG_CLASS_RUNTIME);
        socket.close_socket();
    }
    if (!socket.open_socket(AF_INET, SOCK_STREAM, 0)) {
        report_tcp("Error in vexa_tcp_socket::start_nonblocking_connect(), unable to create new socket?",
                   LOG_CLASS_RESOURCE);
        write_error = SOCKET_ERROR_NO_DESCRIPTORS;
        return -1;
    }
    state = TCP_STATE_CONNECTING;
    memcpy(&peer_address, address, sizeof peer_address);
    peer_address.sin_family = AF_INET;
    peer_address.sin_port = htons(port);

    socket.set_nonblocking();
    int result = socket.connect_address((const struct sockaddr *)&peer_address, sizeof peer_address);
    if (result == 0 || result == SOCKET_ERROR_IS_CONNECTED) {
        write_error = 0;
        return ssl_try_connect(0);
    }
    if (is_transient_socket_error(result) || result == SOCKET_ERROR_ALREADY) {
        write_error = result;
        state = TCP_STATE_CONNECTING;
        return 0;
    }
    write_error = result;
    close_connection();
    return result;
}

int vexa_tcp_socket::blocking_connect(const struct sockaddr_in *address, unsigned short port, int milliseconds)
{
    int started = start_nonblocking_connect(address, port);
    if (started == 1)
        return 1;
    if (started < 0)
        return -1;
    if (state == TCP_STATE_TLS_HANDSHAKE) {
        // The TCP connect finished at once and the handshake is under way:
        // finish it in blocking mode like the path below does.
        socket.set_blocking();
        int done = ssl_retry_connect();
        socket.set_nonblocking();
        return done;
    }
    if (state != TCP_STATE_CONNECTING)
        return -1;

    wait_result ready;
    int waited = wait_on(socket.get_descriptor(), 0, 1, milliseconds, &ready);
    if (waited < 0) {
        write_error = SOCKET_ERROR_UNKNOWN;
        close_connection();
        return -1;
    }
    if (waited == 0) {
        write_error = SOCKET_ERROR_TIMEOUT;
        close_connection();
        return -1;
    }
    if (ready.exception || !ready.writable) {
        write_error = SOCKET_ERROR_CONNECTION_RESET;
        close_connection();
        return -1;
    }
    // Writable also means a refused or failed connect; tell them apart so a
    // failure is not reported as a connection.
    int failed = pending_connect_error(socket.get_descriptor());
    if (failed) {
        write_error = failed;
        close_connection();
        return -1;
    }
    return ssl_try_connect(1);
}

int vexa_tcp_socket::poll_connect()
{
    if (state == TCP_STATE_CONNECTED) {
        write_error = SOCKET_ERROR_IS_CONNECTED;
        return -1;
    }
    if (state == TCP_STATE_TLS_HANDSHAKE)
        return ssl_retry_connect();
    if (state != TCP_STATE_CONNECTING) {
        write_error = SOCKET_ERROR_NOT_CONNECTED;
        return -1;
    }
    wait_result ready;
    int waited = wait_on(socket.get_descriptor(), 0, 1, 0, &ready);
    if (waited < 0) {
        write_error = waited;
        if (is_transient_socket_error(waited))
            return 0;
        close_connection();
        return -1;
    }
    if (waited == 0)
        return 0;
    if (ready.exception) {
        write_error = SOCKET_ERROR_CONNECTION_RESET;
        close_connection();
        return -1;
    }
    if (ready.writable) {
        int failed = pending_connect_error(socket.get_descriptor());
        if (failed) {
            write_error = failed;
            close_connection();
            return -1;
        }
        return ssl_try_connect(0);
    }
    return 0;
}

int vexa_tcp_socket::get_state()
{
    if (state == TCP_STATE_CONNECTING)
        poll_connect();
    return state;
}

int vexa_tcp_socket::ssl_try_connect(int blocking)
{
    if (!ssl_enabled) {
        state = TCP_STATE_CONNECTED;
        return 1;
    }
    if (state != TCP_STATE_CONNECTING) {
        report_tcp("Error in vexa_tcp_socket::ssl_try_connect(), socket not in connecting state.", LOG_CLASS_RUNTIME);
        close_connection();
        write_error = SOCKET_ERROR_CONNECTION_RESET;
        return -1;
    }
    SSL_free(ssl);
    ERR_clear_error();
    ssl = SSL_new(ssl_get_context());
    if (!ssl) {
        report_tcp("Unable to allocate SSL struct in vexa_tcp_socket::ssl_try_connect(), did you run "
                   "vexa_ssl_startup()?",
                   LOG_CLASS_RUNTIME);
        report_tls_error(0);
        return 0;
    }
    if (SSL_set_cipher_list(ssl, ssl_get_cipher_list()) != 1) {
        report_tcp("Error in vexa_tcp_socket::ssl_try_connect(), unable to set cipher list?", LOG_CLASS_RUNTIME);
        close_connection();
        write_error = SOCKET_ERROR_CONNECTION_RESET;
        return -1;
    }
    if (SSL_set_fd(ssl, socket.get_descriptor()) != 1) {
        report_tcp("Error in vexa_tcp_socket::ssl_try_connect(), set_fd failed?", LOG_CLASS_RUNTIME);
        close_connection();
        write_error = SOCKET_ERROR_CONNECTION_RESET;
        return -1;
    }
    // A peer that drops TCP without a close notice ends the connection like
    // an orderly close. Writes return what went out and may be retried from
    // another buffer, as plain socket writes can.
    SSL_set_options(ssl, SSL_OP_IGNORE_UNEXPECTED_EOF);
    SSL_set_mode(ssl, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    state = TCP_STATE_TLS_HANDSHAKE;
    if (!blocking)
        return ssl_retry_connect();
    socket.set_blocking();
    int result = ssl_retry_connect();
    socket.set_nonblocking();
    return result;
}

int vexa_tcp_socket::ssl_retry_connect()
{
    if (!ssl) {
        report_tcp("Error in vexa_tcp_socket::ssl_retry_connect(), NULL ssl context?", LOG_CLASS_RUNTIME);
        write_error = SOCKET_ERROR_CONNECTION_RESET;
        return -1;
    }
    // Stale errors of the thread would make SSL_get_error misreport.
    ERR_clear_error();
    int result = SSL_connect(ssl);
    if (result > 0) {
        state = TCP_STATE_CONNECTED;
        return 1;
    }
    if (result == 0) {
        report_tcp("Warning in vexa_tcp_socket::ssl_retry_connect(), SSL connect failed due to protocol issue.",
                   LOG_CLASS_PROTOCOL);
        write_error = SOCKET_ERROR_CONNECTION_RESET;
        return -1;
    }
    int error = SSL_get_error(ssl, result);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE)
        return 0;
    if (error == SSL_ERROR_ZERO_RETURN) {
        report_tcp("Controlled ssl close in vexa_tcp_socket::ssl_retry_connect(), bailing.", LOG_CLASS_PROTOCOL);
    } else {
        report_tcp("SSL connect failed in vexa_tcp_socket::ssl_retry_connect().", LOG_CLASS_PROTOCOL);
        report_tls_error(error);
    }
    write_error = SOCKET_ERROR_CONNECTION_RESET;
    return -1;
}

int vexa_tcp_socket::nonblocking_read(void *buffer, int size)
{
    if (state != TCP_STATE_CONNECTED) {
        read_error = SOCKET_ERROR_NOT_CONNECTED;
        return -1;
    }
    if (!buffer || size <= 0)
        return 0;
    if (ssl) {
        ERR_clear_error();
        errno = 0;
        int got = SSL_read(ssl, buffer, size);
        if (got > 0)
            return got;
        int saved_errno = errno;
        int error = SSL_get_error(ssl, got);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE)
            return 0;
        errno = saved_errno;
        if ((error == SSL_ERROR_SYSCALL && socket_error_from_errno() == SOCKET_ERROR_NONE) ||
            error == SSL_ERROR_ZERO_RETURN) {
            read_error = 0;
        } else {
            report_tcp("Unexpected ssl close in vexa_tcp_socket::nonblocking_read().", LOG_CLASS_CHATTER);
            read_error = SOCKET_ERROR_CONNECTION_RESET;
            report_tls_error(error);
        }
        close_connection();
        return -1;
    }
    int got = socket.read_bytes(buffer, size);
    if (got > 0)
        return got;
    if (got == 0) {
        read_error = 0;
        close_connection();
        return -1;
    }
    read_error = got;
    if (is_transient_socket_error(got))
        return 0;
    close_connection();
    return -1;
}

int vexa_tcp_socket::blocking_read(void *buffer, int size, int milliseconds)
{
    if (state != TCP_STATE_CONNECTED) {
        read_error = SOCKET_ERROR_NOT_CONNECTED;
        return -1;
    }
    if (!buffer || size <= 0)
        return 0;
    if (ssl) {
        // Bytes the TLS layer already holds are delivered without waiting.
        int got = nonblocking_read(buffer, size);
        if (got != 0)
            return got;
    }
    wait_result ready;
    int waited = wait_on(socket.get_descriptor(), 1, 0, milliseconds, &ready);
    if (waited == 0)
        return 0;
    if (waited < 0) {
        if (is_transient_socket_error(waited))
            return 0;
        read_error = waited;
        close_connection();
        return -1;
    }
    if (ready.exception) {
        read_error = SOCKET_ERROR_CONNECTION_RESET;
        close_connection();
        return -1;
    }
    if (ready.readable)
        return nonblocking_read(buffer, size);
    return 0;
}

int vexa_tcp_socket::nonblocking_write(const void *data, int size)
{
    if (state != TCP_STATE_CONNECTED) {
        write_error = SOCKET_ERROR_NOT_CONNECTED;
        return -1;
    }
    if (!data || size <= 0)
        return 0;
    if (ssl) {
        ERR_clear_error();
        int put = SSL_write(ssl, data, size);
        if (put > 0)
            return put;
        int error = SSL_get_error(ssl, put);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE)
            return 0;
        if (error == SSL_ERROR_ZERO_RETURN) {
            write_error = 0;
            report_tcp("Clean SSL shutdown in vexa_tcp_socket::nonblocking_write().", LOG_CLASS_CHATTER);
        } else {
            write_error = SOCKET_ERROR_CONNECTION_RESET;
            report_tcp("Unexpected ssl close in vexa_tcp_socket::nonblocking_write().", LOG_CLASS_CHATTER);
        }
        close_connection();
        return -1;
    }
    int put = socket.write_bytes(data, size);
    if (put >= 0)
        return put;
    write_error = put;
    if (is_transient_socket_error(put))
        return 0;
    close_connection();
    return -1;
}

int vexa_tcp_socket::blocking_write(const void *data, int size, int milliseconds)
{
    if (state != TCP_STATE_CONNECTED) {
        write_error = SOCKET_ERROR_NOT_CONNECTED;
        return -1;
    }
    if (!data || size <= 0)
        return 0;
    wait_result ready;
    int waited = wait_on(socket.get_descriptor(), 0, 1, milliseconds, &ready);
    if (waited == 0)
        return 0;
    if (waited < 0) {
        write_error = SOCKET_ERROR_UNKNOWN;
        close_connection();
        return -1;
    }
    if (ready.exception) {
        write_error = SOCKET_ERROR_CONNECTION_RESET;
        close_connection();
        return -1;
    }
    if (ready.writable)
        return nonblocking_write(data, size);
    return 0;
}

// Splits a text that passed is_dotted_quad's character rules into its four
// decimal numbers; 1 when there are four and each is at most 255.
static int dotted_quad_numbers(const char *text, unsigned int numbers[4])
{
    int group = 0;
    unsigned int value = 0;
    for (const char *p = text;; p++) {
        if (*p >= '0' && *p <= '9') {
            value = value * 10 + (unsigned int)(*p - '0');
            // Stopping at once keeps long digit runs from overflowing.
            if (value > 255)
                return 0;
            continue;
        }
        if (group > 3)
            return 0;
        numbers[group++] = value;
        value = 0;
        if (*p == 0)
            break;
    }
    return group == 4;
}

// Digits allowed in a dotted quad: more than this minimum, fewer than the
// maximum (four numbers of one to three digits, leading zeros allowed).
static const int dotted_quad_min_digits = 3;
static const int dotted_quad_max_digits = 13;

int is_dotted_quad(const char *text)
{
    if (!text || !(text[0] >= '0' && text[0] <= '9'))
        return 0;
    int dots = 0;
    int digits = 0;
    for (const char *p = text; *p; p++) {
        if (*p == '.') {
            if (!(p[1] >= '0' && p[1] <= '9'))
                return 0;
            dots++;
        } else if (*p >= '0' && *p <= '9') {
            digits++;
        } else {
            return 0;
        }
    }
    if (dots != 3 || digits <= dotted_quad_min_digits || digits >= dotted_quad_max_digits)
        return 0;
    unsigned int numbers[4];
    return dotted_quad_numbers(text, numbers);
}

int resolve_ipv4_address(const char *host, struct sockaddr_in *address)
{
    if (!host || !address)
        return 0;
    if (is_dotted_quad(host)) {
        // Built from the decimal numbers that is_dotted_quad checked;
        // inet_addr would read a number with a leading zero as octal.
        unsigned int n[4];
        dotted_quad_numbers(host, n);
        address->sin_addr.s_addr = htonl((n[0] << 24) | (n[1] << 16) | (n[2] << 8) | n[3]);
        address->sin_family = AF_INET;
        return 1;
    }
    struct addrinfo hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    struct addrinfo *found = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &found) != 0 || !found)
        return 0;
    const struct sockaddr_in *first = (const struct sockaddr_in *)found->ai_addr;
    address->sin_addr = first->sin_addr;
    address->sin_family = AF_INET;
    freeaddrinfo(found);
    return 1;
}
