// http_fetch_remote_manifest_data: downloads the server's compressed manifest
// (gzip or zlib) with one GET in callback mode and inflates it on the fly,
// piece by piece as the body arrives, splitting the text into lines and
// parsing each into a qfu_manifest_entry. The result is the list of entries in
// the server's order; nothing is written to disk and the compressed data is
// never held whole.
//
// Users: the executable update run and the engine's run_update, each with one
// fetch object per update run on the updater worker thread. The object owns
// its entries; callers read them through get_head() while it lives.
#ifndef QV_UPDATE_REMOTE_MANIFEST_FETCH_H
#define QV_UPDATE_REMOTE_MANIFEST_FETCH_H

#include <zlib.h>

#include "runtime/text_buffer.h"
#include "update/file_manifest.h"

// Told about download progress in compressed bytes (expected -1 when the
// response gives no length).
typedef int (*qfu_fetch_progress_callback)(void *user_data, int received, int expected);

// Output window of one inflate call, on the stack.
enum { MANIFEST_INFLATE_WINDOW_SIZE = 65536 };
// zlib window bits: a 32 KiB window, with the zlib or gzip header recognised.
enum { MANIFEST_INFLATE_WINDOW_BITS = 47 };
// The update server's port unless set_port says otherwise.
enum { MANIFEST_DEFAULT_PORT = 80 };

class http_fetch_remote_manifest_data {
public:
    text_buffer line;               // the current, not yet complete line
    qfu_manifest_entry *head;       // first fetched entry, or null
    qfu_manifest_entry **tail;      // where the next entry is linked
    int count;                      // entries in the list
    z_stream stream;                // decompressor of the current fetch
    void *progress_user_data;       // first argument of the progress callback
    qfu_fetch_progress_callback progress_callback; // or null
    int port;                       // server port, MANIFEST_DEFAULT_PORT
    int stream_open;                // stream initialised and not yet ended
    int stream_ended;               // the compressed data reached its end

    // No entries, no callback, port 80.
    http_fetch_remote_manifest_data();
    // Frees the entries and ends an open inflate stream.
    ~http_fetch_remote_manifest_data();
    http_fetch_remote_manifest_data(const http_fetch_remote_manifest_data &) = delete;
    http_fetch_remote_manifest_data &operator=(const http_fetch_remote_manifest_data &) = delete;

    void set_progress_user_data(void *user_data) { progress_user_data = user_data; }
    void set_progress_callback(qfu_fetch_progress_callback callback) { progress_callback = callback; }
    // Port of later fetches (plain HTTP, no TLS).
    void set_port(int port_number) { port = port_number; }

    // Downloads path from host and parses it. Returns the number of entries,
    // or -1: zlib could not start (no report), the download failed, the data
    // was not compressed text, a complete line had a syntax error, or the
    // compressed data ended early (reported). A failure leaves no entries.
    int fetch(const char *host, const char *path);
    // The first fetched entry, or null; walk on through next.
    qfu_manifest_entry *get_head() const { return head; }

    // fetch's first and last steps, public so that data can be fed through
    // the callbacks without a network. begin_data frees earlier entries and
    // starts the inflate stream: 1, or 0 when zlib refuses. end_data ends the
    // stream: 1 when the compressed data was complete, else 0.
    int begin_data();
    int end_data();

    // The downloader's data callback (user data = the fetch object): inflates
    // the piece and parses every completed line. 0 on bad compressed data or
    // a syntax error (which also drops every entry so far).
    static int download_data_callback(void *user_data, const char *bytes, int count);
    // The downloader's progress callback: once received equals expected, the
    // last line is finished even without its LF. Returns the progress
    // callback's result, 0 when none is set.
    static int download_progress_callback(void *user_data, int received, int expected);

private:
    // Appends inflated text, parsing each line at its LF. 0 on a syntax error.
    int split_lines(const unsigned char *bytes, int length);
    // Parses one complete line and links its entry. 0 on a syntax error.
    int finish_line(const char *text, int length);
    // Frees the entries; the list is empty again.
    void discard_entries();
};

#endif
