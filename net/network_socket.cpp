// Socket system call wrappers and the socket error codes (see network_socket.h).
#include "net/network_socket.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "runtime/log.h"

namespace {

struct errno_code {
    int errno_value;
    int code;
};

// errno values (Linux numbering) and the codes they become.
const errno_code errno_codes[] = {
    {0, SOCKET_ERROR_NONE},
    {EBADF, SOCKET_ERROR_BAD_ARGUMENT},
    {EINVAL, SOCKET_ERROR_BAD_ARGUMENT},
    {EBADFD, SOCKET_ERROR_BAD_ARGUMENT},
    {ENOTSOCK, SOCKET_ERROR_BAD_ARGUMENT},
    {EFAULT, SOCKET_ERROR_FAULT},
    {ENFILE, SOCKET_ERROR_NO_DESCRIPTORS},
    {EMFILE, SOCKET_ERROR_NO_DESCRIPTORS},
    {ENOMEM, SOCKET_ERROR_NO_MEMORY},
    {ENOBUFS, SOCKET_ERROR_NO_MEMORY},
    {EMSGSIZE, SOCKET_ERROR_TOO_BIG},
    {EADDRINUSE, SOCKET_ERROR_ADDRESS_IN_USE},
    {EPIPE, SOCKET_ERROR_BROKEN_PIPE},
    {ESHUTDOWN, SOCKET_ERROR_BROKEN_PIPE},
    {ECONNABORTED, SOCKET_ERROR_CONNECTION_RESET},
    {ECONNRESET, SOCKET_ERROR_CONNECTION_RESET},
    {EHOSTDOWN, SOCKET_ERROR_HOST_DOWN},
    {EHOSTUNREACH, SOCKET_ERROR_HOST_UNREACHABLE},
    {ENETDOWN, SOCKET_ERROR_NETWORK_DOWN},
    {ENETUNREACH, SOCKET_ERROR_NETWORK_UNREACHABLE},
    {ENETRESET, SOCKET_ERROR_NETWORK_RESET},
    {EAGAIN, SOCKET_ERROR_WOULD_BLOCK},
    {ERESTART, SOCKET_ERROR_WOULD_BLOCK},
    {EINPROGRESS, SOCKET_ERROR_IN_PROGRESS},
    {EINTR, SOCKET_ERROR_INTERRUPTED},
    {ECONNREFUSED, SOCKET_ERROR_REFUSED},
    {ETIMEDOUT, SOCKET_ERROR_TIMEOUT},
    {EALREADY, SOCKET_ERROR_ALREADY},
    {EISCONN, SOCKET_ERROR_IS_CONNECTED},
    {ENOTCONN, SOCKET_ERROR_NOT_CONNECTED},
};

struct code_text {
    int code;
    const char *text;
};

const code_text code_texts[] = {
    {SOCKET_ERROR_UNKNOWN, "unknown error"},
    {SOCKET_ERROR_NONE, "no error"},
    {SOCKET_ERROR_UNINITIALIZED, "network socket subsystem uninitialized"},
    {SOCKET_ERROR_BAD_ARGUMENT, "bad function argument"},
    {SOCKET_ERROR_FAULT, "address/segmentation fault"},
    {SOCKET_ERROR_NO_DESCRIPTORS, "out of file descriptors"},
    {SOCKET_ERROR_NO_MEMORY, "oom or buffer space"},
    {SOCKET_ERROR_TOO_BIG, "data too big for operation"},
    {SOCKET_ERROR_ADDRESS_IN_USE, "address in use"},
    {SOCKET_ERROR_BROKEN_PIPE, "broken network pipe"},
    {SOCKET_ERROR_CONNECTION_RESET, "connection aborted/reset"},
    {SOCKET_ERROR_HOST_DOWN, "remote host down"},
    {SOCKET_ERROR_HOST_UNREACHABLE, "remote host unreachable"},
    {SOCKET_ERROR_NETWORK_DOWN, "network down"},
    {SOCKET_ERROR_NETWORK_UNREACHABLE, "network unreachable"},
    {SOCKET_ERROR_NETWORK_RESET, "network was reset"},
    {SOCKET_ERROR_WOULD_BLOCK, "would block"},
    {SOCKET_ERROR_IN_PROGRESS, "in progress"},
    {SOCKET_ERROR_INTERRUPTED, "interrupted"},
    {SOCKET_ERROR_REFUSED, "connection refused"},
    {SOCKET_ERROR_TIMEOUT, "timeout"},
    {SOCKET_ERROR_ALREADY, "already done"},
    {SOCKET_ERROR_IS_CONNECTED, "already is connected"},
    {SOCKET_ERROR_NOT_CONNECTED, "is not connected"},
};

} // namespace

int socket_error_from_errno()
{
    int value = errno;
    if (value == EWOULDBLOCK)
        value = EAGAIN;
    for (const errno_code &e : errno_codes) {
        if (e.errno_value == value)
            return e.code;
    }
    return SOCKET_ERROR_UNKNOWN;
}

int is_transient_socket_error(int code)
{
    return code == SOCKET_ERROR_WOULD_BLOCK || code == SOCKET_ERROR_IN_PROGRESS ||
           code == SOCKET_ERROR_INTERRUPTED || code == SOCKET_ERROR_NONE;
}

const char *socket_error_text(int code)
{
    for (const code_text &c : code_texts) {
        if (c.code == code)
            return c.text;
    }
    return "unknown error";
}

int socket_wait(int descriptor_count, fd_set *read_set, fd_set *write_set, fd_set *exception_set,
                struct timeval *timeout)
{
    int ready = select(descriptor_count, read_set, write_set, exception_set, timeout);
    if (ready < 0)
        return socket_error_from_errno();
    return ready;
}

int vexa_network_socket::open_socket(int family, int type, int protocol)
{
    descriptor = socket(family, type, protocol);
    return descriptor != -1;
}

int vexa_network_socket::connect_address(const struct sockaddr *address, socklen_t address_length)
{
    if (connect(descriptor, address, address_length) == 0)
        return 0;
    return socket_error_from_errno();
}

int vexa_network_socket::bind_address(const struct sockaddr *address, socklen_t address_length)
{
    return bind(descriptor, address, address_length) == 0;
}

int vexa_network_socket::listen_for_clients()
{
    return listen(descriptor, NETWORK_SOCKET_LISTEN_BACKLOG) == 0;
}

int vexa_network_socket::accept_client(vexa_network_socket *client, struct sockaddr *address,
                                       socklen_t *address_length)
{
    // Without a receiver the accepted descriptor would be lost.
    if (!client)
        return SOCKET_ERROR_BAD_ARGUMENT;
    int fd = accept(descriptor, address, address_length);
    if (fd < 0)
        return socket_error_from_errno();
    client->descriptor = fd;
    return 1;
}

int vexa_network_socket::set_reuse_address()
{
    int on = 1;
    return setsockopt(descriptor, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0;
}

void vexa_network_socket::shutdown_both()
{
    if (descriptor != -1)
        shutdown(descriptor, SHUT_RDWR);
}

void vexa_network_socket::close_socket()
{
    if (descriptor != -1) {
        close(descriptor);
        descriptor = -1;
    }
}

int vexa_network_socket::read_bytes(void *buffer, int size)
{
    if (size < 0)
        return SOCKET_ERROR_BAD_ARGUMENT;
    ssize_t got = read(descriptor, buffer, (size_t)size);
    if (got < 0)
        return socket_error_from_errno();
    return (int)got;
}

int vexa_network_socket::write_bytes(const void *data, int size)
{
    if (size < 0)
        return SOCKET_ERROR_BAD_ARGUMENT;
    // MSG_NOSIGNAL: a peer that has gone shows as EPIPE (-20) even in a
    // process that did not ignore SIGPIPE.
    ssize_t put = send(descriptor, data, (size_t)size, MSG_NOSIGNAL);
    if (put < 0)
        return socket_error_from_errno();
    return (int)put;
}

int vexa_network_socket::set_blocking()
{
    int flags = fcntl(descriptor, F_GETFL);
    if (fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) < 0) {
        log_report("Error in vexa_network_socket::set_blocking(), setting blocking mode failed.", LOG_CLASS_RUNTIME,
                   LOG_MODULE_SOCKET);
        return 0;
    }
    return 1;
}

int vexa_network_socket::set_nonblocking()
{
    int flags = fcntl(descriptor, F_GETFL);
    if (fcntl(descriptor, F_SETFL, flags | O_NONBLOCK) < 0) {
        log_report("Error in vexa_network_socket::set_nonblocking(), setting nonblocking mode failed.",
                   LOG_CLASS_RUNTIME, LOG_MODULE_SOCKET);
        return 0;
    }
    return 1;
}
