// vexa_http_downloader: fetches one resource with a single blocking HTTP GET
// on the calling thread and hands the body on, either into a local file
// (file mode) or piece by piece to a data callback (callback mode). Only a
// response with status 200 is accepted; redirects are not followed; chunked
// bodies arrive decoded.
//
// It owns a vexa_tcp_socket and, for the length of one download, a
// vexa_http_data_processor_oline that composes the request ("Connection:
// close") and parses the response; the download loop moves bytes between the
// two (request in 8 KiB pieces, response in 64 KiB reads). Every wait (connect, each write, each read) lasts
// at most 5000 ms, and a download that moves no byte for 30 seconds gives up.
//
// Users: the update engine (file mode, into the temporary download file) and
// the remote manifest fetch (callback mode). Each creates a downloader per
// download, uses it once and destroys it. All reports go to module 11.
#ifndef QV_HTTP_HTTP_DOWNLOADER_H
#define QV_HTTP_HTTP_DOWNLOADER_H

#include <netinet/in.h>
#include <stdio.h>

#include "net/tcp_socket.h"
#include "runtime/text_buffer.h"

struct vexa_http_data_processor_oline;

// Receives a piece of body in callback mode; nonzero means go on.
typedef int (*http_download_data_callback)(void *user_data, const char *bytes, int count);
// Told about progress: body bytes so far and the announced length (-1 when
// the response gives none). Its result is ignored.
typedef int (*http_download_progress_callback)(void *user_data, int received, int expected);

// Longest wait for the connect, each blocking write and each blocking read.
enum { HTTP_DOWNLOAD_WAIT_MS = 5000 };
// A download that moves no byte in either direction for this long fails: a
// server that keeps the connection open without sending must not hang the
// updater for ever.
enum { HTTP_DOWNLOAD_NO_DATA_LIMIT_MS = 30000 };
// Bytes of request taken from the processor per socket write.
enum { HTTP_DOWNLOAD_SEND_BUFFER_SIZE = 8192 };
// Bytes per socket read; the body reaches the file or the data callback in
// pieces of up to this size. 8 KiB reads leave a fast download at about half
// the rate of common download tools (a system call per 8 KiB); 64 KiB reads
// bring it level with them, and ahead of them when writing a file.
enum { HTTP_DOWNLOAD_RECEIVE_BUFFER_SIZE = 65536 };

struct vexa_http_downloader {
    int use_tls;                        // switch the socket to TLS before connecting
    int port;                           // server port
    struct sockaddr_in server_address;  // filled by set_connection
    text_buffer destination;            // file mode target; empty: no file
    FILE *output_file;                  // open while a file-mode body is received
    int expected_length;                // the response's content length, -1 when none
    int received;                       // body bytes handed on in this download
    vexa_tcp_socket socket;
    http_download_data_callback data_callback;
    http_download_progress_callback progress_callback;
    void *user_data;                    // first argument of both callbacks
    int connection_ready;               // the last set_connection resolved the host
    int output_file_created;            // this download created (truncated) the file
    int message_complete;               // the response was received completely
    int wait_ms;                        // each wait; HTTP_DOWNLOAD_WAIT_MS
    int no_data_limit_ms;               // HTTP_DOWNLOAD_NO_DATA_LIMIT_MS

    // No connection, no file, no callbacks; expected length -1.
    vexa_http_downloader();
    // Destroys the socket (a connected one is closed with the socket's own
    // report). The output file is closed by download on every path.
    ~vexa_http_downloader();
    vexa_http_downloader(const vexa_http_downloader &) = delete;
    vexa_http_downloader &operator=(const vexa_http_downloader &) = delete;

    // Stores port and TLS flag, then resolves host (dotted quad or name) into
    // the server address. 1 when resolved; 0 otherwise (the address keeps
    // its previous value, and download refuses to connect). Null host:
    // reported, nothing stored, 0.
    int set_connection(const char *host, int port_number, int tls);
    // Each setter also sets the user data shared by both callbacks.
    void set_progress_callback(http_download_progress_callback callback, void *data);
    void set_data_callback(http_download_data_callback callback, void *data);
    // For tests: replaces the wait of each connect, write and read and the
    // no-data limit (both in milliseconds, above 0), so stalls can be tested
    // quickly. The failure reports keep their texts.
    void set_time_limits(int wait_milliseconds, int no_data_milliseconds);

    // File mode: downloads path from the server into destination_name
    // (truncated; at most 5999 characters of the name are kept). 1 when the
    // whole body is in the file, which is then closed. 0 after a report:
    // a bad argument or a data callback set (nothing touched), or any
    // failure of the two-argument form.
    int download(const char *host, const char *path, const char *destination_name);
    // Downloads in whatever mode the object is set up for (callback mode when
    // a data callback is set, else file mode). host is only the Host line;
    // the connection goes to the address of set_connection. 1 when the whole
    // response arrived; 0 after a report. On failure a file this download
    // wrote is removed when it cannot be complete (the connection ended or
    // stalled before the response did, or a reset cut it short), and kept
    // otherwise; the output file is closed on every path.
    int download(const char *host, const char *path);

    // Processor callbacks; the user data is the downloader.
    // connection-close: closes the socket, which ends the receive loop.
    static void callback_connection_close(vexa_http_data_processor_oline *processor, void *user_data);
    // header-complete: 1 for status 200 (file mode: the output file opened).
    static int callback_message_received(vexa_http_data_processor_oline *processor, void *user_data);
    // message-complete: closes the output file; 1, or 0 when closing it
    // failed to write its last bytes (reported).
    static int callback_message_complete(vexa_http_data_processor_oline *processor, void *user_data);
    // content-data: passes body bytes on and reports progress; 0 fails.
    static int callback_content_data_received(vexa_http_data_processor_oline *processor, void *user_data,
                                              const char *bytes, int count);
    // request-body source: a GET has no body; reported, -1.
    static int callback_content_body_get_tx_data(vexa_http_data_processor_oline *processor, void *user_data,
                                                 char *buffer, int maximum);

    // The sending phase of download: writes everything the processor hands
    // out to the connected socket. 1 when the request is out; 0 after a
    // report (a failed write, a stall, or a processor that failed while
    // handing out bytes). Public so tests can drive it with a processor of
    // their own.
    int send_request(vexa_http_data_processor_oline *processor);

private:
    // Closes the output file if one is open.
    void close_output_file();
    // Closes the output file and, in file mode, removes the destination when
    // this download created it.
    void discard_output_file();
    // The receive-side ending of download once the request is sent.
    int receive_response(vexa_http_data_processor_oline *processor);
};

#endif
