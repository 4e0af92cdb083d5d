// vexa_tcp_socket: a client TCP connection over IPv4 that can be switched to
// TLS before it connects. Every operation has a non-blocking form that
// returns at once (0: nothing could be done yet, call again) and, where
// callers need it, a blocking form that waits with select for at most the
// given milliseconds (below 0: without limit, 0: a single poll) and then does
// one non-blocking step. Callers poll the state word and read the socket
// error codes (network_socket.h) that explain the last read or write failure.
// The HTTP downloader is the launcher's user; TLS connections need
// vexa_ssl_startup (ssl_context.h) to have run.
//
// Also here: resolve_ipv4_address and is_dotted_quad, which turn a host name
// or dotted IPv4 text into a socket address.
//
// One thread at a time uses a socket. The process must ignore SIGPIPE for
// TLS writes to a closed peer to fail with a code (vexa_ssl_startup does).
#ifndef QV_NET_TCP_SOCKET_H
#define QV_NET_TCP_SOCKET_H

#include <netinet/in.h>

#include "net/network_socket.h"

struct ssl_st;

// State values, single bits so that callers can test groups with a mask.
enum {
    TCP_STATE_UNCONNECTED = 1, // no connection, descriptor closed
    TCP_STATE_CONNECTING = 2,  // a non-blocking TCP connect is under way
    TCP_STATE_TLS_HANDSHAKE = 4, // TCP is up, the TLS handshake is under way
    TCP_STATE_CONNECTED = 8    // data can flow
};

struct vexa_tcp_socket {
    struct ssl_st *ssl;              // TLS connection; kept after a close until replaced or freed
    int ssl_enabled;                 // a connect continues with a TLS handshake
    vexa_network_socket socket;      // the descriptor
    struct sockaddr_in peer_address; // the address of the last connect
    int state;                       // one TCP_STATE_* value
    int read_error;                  // why the last read failed; 0 after an orderly end
    int write_error;                 // why the last write or connect failed

    // Unconnected, TLS off, no errors.
    vexa_tcp_socket();
    // Frees the TLS object; reports "socket not closed" and closes when the
    // descriptor is still open.
    ~vexa_tcp_socket();
    vexa_tcp_socket(const vexa_tcp_socket &) = delete;
    vexa_tcp_socket &operator=(const vexa_tcp_socket &) = delete;

    // Only while unconnected: 1 when TLS is (or already was) enabled; 0 when
    // the socket is not unconnected (reported).
    int enable_ssl();
    // Only while unconnected: 1 when TLS is off and the TLS object freed; 0
    // when the socket is not unconnected (reported).
    int disable_ssl();
    // Starts a non-blocking connect to address (its family and port are
    // replaced) on port (host byte order). 1 connected, 0 in progress,
    // negative on failure (write error set; a fresh failure leaves the socket
    // unconnected, a connect on a busy socket leaves it as it was).
    int start_nonblocking_connect(const struct sockaddr_in *address, unsigned short port);
    // Connects within milliseconds, TLS handshake included. 1 connected, 0
    // when no TLS object could be made (still connecting, poll again), -1 on
    // failure (write error set; -41 after the time-out, socket unconnected).
    int blocking_connect(const struct sockaddr_in *address, unsigned short port, int milliseconds);
    // One step of a connect under way. 1 connected, 0 still in progress, -1
    // on failure (write error set).
    int poll_connect();
    // The state, after one poll_connect while connecting.
    int get_state();
    // Starts the TLS handshake on a connecting socket (plain sockets simply
    // become connected). blocking: the handshake runs to its end. 1
    // connected, 0 in progress (or no TLS object yet), -1 on failure.
    int ssl_try_connect(int blocking);
    // One step of the TLS handshake. 1 connected, 0 in progress, -1 on
    // failure (write error -21; the state stays TLS handshake and the
    // descriptor open).
    int ssl_retry_connect();
    // Bytes read, 0 when nothing is available, -1 when the connection failed
    // or ended (read error set, 0 for an orderly end; the socket is closed).
    int nonblocking_read(void *buffer, int size);
    // As nonblocking_read after waiting up to milliseconds for data.
    int blocking_read(void *buffer, int size, int milliseconds);
    // Bytes written, 0 when nothing could be written now, -1 on failure
    // (write error set; the socket is closed).
    int nonblocking_write(const void *data, int size);
    // As nonblocking_write after waiting up to milliseconds for room.
    int blocking_write(const void *data, int size, int milliseconds);
    // Unconnected, descriptor closed; sends no TLS close notice.
    void close_connection();
    int get_read_error() const { return read_error; }
    int get_write_error() const { return write_error; }
};

// Reports the earliest queued TLS library error and code as chatter
// ("<error text> - err code <code>.").
void report_tls_error(int code);

// Fills in the IPv4 address and family (AF_INET) of *address for a dotted
// quad or a host name (first IPv4 address found); the port is not touched.
// 1 on success, 0 otherwise (address unchanged).
int resolve_ipv4_address(const char *host, struct sockaddr_in *address);
// 1 when text is a dotted IPv4 address: four decimal numbers from 0 to 255
// joined by three dots, 4 to 12 digits in all, nothing else.
int is_dotted_quad(const char *text);

#endif
