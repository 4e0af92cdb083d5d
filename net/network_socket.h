// vexa_network_socket: one POSIX socket descriptor with a thin wrapper per
// socket system call. Each wrapper returns the call's ordinary result or a
// negative socket error code from the table below, so callers test "negative"
// for failure and is_transient_socket_error for "try again". The codes are
// shared by all socket code of the library; vexa_tcp_socket embeds one of
// these sockets and keeps the codes of its last failures.
//
// The socket is embedded by value in its owner and never copied while open;
// destroying it does not close the descriptor (the owner does that). One
// thread at a time uses a socket.
#ifndef QV_NET_NETWORK_SOCKET_H
#define QV_NET_NETWORK_SOCKET_H

#include <sys/select.h>
#include <sys/socket.h>
#include <sys/time.h>

// Socket error codes. -2 and the -30 group are transient (nothing happened,
// try again); every other negative code means the operation failed.
enum {
    SOCKET_ERROR_UNKNOWN = -1,              // "unknown error"
    SOCKET_ERROR_NONE = -2,                 // "no error"
    SOCKET_ERROR_UNINITIALIZED = -10,       // "network socket subsystem uninitialized"
    SOCKET_ERROR_BAD_ARGUMENT = -11,        // "bad function argument"
    SOCKET_ERROR_FAULT = -12,               // "address/segmentation fault"
    SOCKET_ERROR_NO_DESCRIPTORS = -13,      // "out of file descriptors"
    SOCKET_ERROR_NO_MEMORY = -14,           // "oom or buffer space"
    SOCKET_ERROR_TOO_BIG = -15,             // "data too big for operation"
    SOCKET_ERROR_ADDRESS_IN_USE = -16,      // "address in use"
    SOCKET_ERROR_BROKEN_PIPE = -20,         // "broken network pipe"
    SOCKET_ERROR_CONNECTION_RESET = -21,    // "connection aborted/reset"
    SOCKET_ERROR_HOST_DOWN = -22,           // "remote host down"
    SOCKET_ERROR_HOST_UNREACHABLE = -23,    // "remote host unreachable"
    SOCKET_ERROR_NETWORK_DOWN = -24,        // "network down"
    SOCKET_ERROR_NETWORK_UNREACHABLE = -25, // "network unreachable"
    SOCKET_ERROR_NETWORK_RESET = -26,       // "network was reset"
    SOCKET_ERROR_WOULD_BLOCK = -30,         // "would block"
    SOCKET_ERROR_IN_PROGRESS = -31,         // "in progress"
    SOCKET_ERROR_INTERRUPTED = -32,         // "interrupted"
    SOCKET_ERROR_REFUSED = -40,             // "connection refused"
    SOCKET_ERROR_TIMEOUT = -41,             // "timeout"
    SOCKET_ERROR_ALREADY = -42,             // "already done"
    SOCKET_ERROR_IS_CONNECTED = -43,        // "already is connected"
    SOCKET_ERROR_NOT_CONNECTED = -44        // "is not connected"
};

// Queue length of listen_for_clients: a few pending clients are enough for
// the library's small servers.
enum { NETWORK_SOCKET_LISTEN_BACKLOG = 3 };

struct vexa_network_socket {
    int descriptor; // -1 while closed

    vexa_network_socket() : descriptor(-1) {}

    // socket(family, type, protocol); stores the result either way. 1 when a
    // descriptor was obtained, 0 when not (the socket is then closed).
    int open_socket(int family, int type, int protocol);
    // connect(); 0 on success, otherwise the mapped code (-31 for a
    // non-blocking connect under way).
    int connect_address(const struct sockaddr *address, socklen_t address_length);
    // bind(); 1 on success, 0 on failure.
    int bind_address(const struct sockaddr *address, socklen_t address_length);
    // listen() with NETWORK_SOCKET_LISTEN_BACKLOG; 1 on success, 0 on failure.
    int listen_for_clients();
    // accept(); 1 when a connection was accepted and its descriptor stored in
    // client, otherwise the mapped code (client untouched; -11 when null).
    // address and address_length may be null.
    int accept_client(vexa_network_socket *client, struct sockaddr *address, socklen_t *address_length);
    // SO_REUSEADDR on; 1 when set, 0 otherwise.
    int set_reuse_address();
    // Shuts down both directions when open; does nothing when closed.
    void shutdown_both();
    // Closes an open descriptor and stores -1; does nothing when closed.
    void close_socket();
    // read(); bytes read, 0 when the peer closed, or the mapped code.
    int read_bytes(void *buffer, int size);
    // Sends without raising SIGPIPE; bytes written or the mapped code (-20
    // when the peer has gone).
    int write_bytes(const void *data, int size);
    // Clears / sets O_NONBLOCK; 1, or 0 after a report when the flags could
    // not be written.
    int set_blocking();
    int set_nonblocking();
    int get_descriptor() const { return descriptor; }
    // 1 when a descriptor is held.
    int is_open() const { return descriptor != -1; }
};

// select(); the number of ready descriptors, 0 on time-out, or the mapped
// code when select failed (-32 when a signal interrupted it). A null timeout
// waits without limit.
int socket_wait(int descriptor_count, fd_set *read_set, fd_set *write_set, fd_set *exception_set,
                struct timeval *timeout);
// The code for the current errno (-2 for errno 0, -1 for unlisted values).
int socket_error_from_errno();
// 1 for the transient codes -2, -30, -31 and -32; 0 otherwise.
int is_transient_socket_error(int code);
// The constant English text of a code; "unknown error" for values not in
// the table (positive values included).
const char *socket_error_text(int code);

#endif
