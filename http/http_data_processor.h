// vexa_http_data_processor_oline: the HTTP/1.0 and HTTP/1.1 message engine of
// one connection, for either side. As a client it composes requests (GET,
// HEAD, POST) and parses responses; as a server it parses requests and
// composes responses. It performs no I/O: outgoing message text goes into its
// output queue and is taken out with get_tx_data; received bytes are handed to
// process_rx_data, which parses them in place and calls the owner back when a
// header block is complete, for each piece of body (a pointer into the
// caller's buffer, no copy), when a message is complete, and when the
// connection should be closed. Outgoing body bytes are pulled from the
// request-body source.
//
// The HTTP downloader is the launcher's user: one processor per download, one
// GET with "Connection: close". The server side, POST, HEAD, basic
// authentication and cookies belong to the same engine.
//
// One thread uses a processor; callbacks run on it, inside process_rx_data,
// finish_message, get_tx_data and the composing operations. The error flag
// is final: afterwards every operation refuses.
#ifndef QV_HTTP_HTTP_DATA_PROCESSOR_H
#define QV_HTTP_HTTP_DATA_PROCESSOR_H

#include "http/http_cookie.h"
#include "net/socket_data_queue.h"
#include "runtime/text_buffer.h"

struct vexa_http_data_processor_oline;

// Asked to close the connection; its result is never used.
typedef void (*http_connection_close_callback)(vexa_http_data_processor_oline *processor, void *user_data);
// The incoming header block, or the incoming message, is complete. 0 fails
// the processor.
typedef int (*http_message_callback)(vexa_http_data_processor_oline *processor, void *user_data);
// A piece of incoming body, pointing into the buffer given to
// process_rx_data. 0 fails the processor.
typedef int (*http_content_data_callback)(vexa_http_data_processor_oline *processor, void *user_data,
                                          const char *bytes, int count);
// Supplies at most maximum outgoing body bytes into buffer: the count, 0 when
// nothing is available now, -1 when the body has ended, below -1 on failure.
typedef int (*http_request_body_source)(vexa_http_data_processor_oline *processor, void *user_data, char *buffer,
                                        int maximum);

// Text sizes of the processor (each holds one character less).
enum {
    HTTP_WORD_TEXT_SIZE = 32,        // method and version words are short tokens
    HTTP_TRANSFER_CODING_SIZE = 256, // a few coding names
    HTTP_CONTENT_TYPE_TEXT_SIZE = 64,// a MIME type with a charset parameter
    HTTP_REASON_SIZE = 256,          // reason phrases are a few words
    HTTP_TARGET_PART_SIZE = 256,     // host, path and query of a request target
    HTTP_CREDENTIAL_SIZE = 64        // basic authentication user name, password
};

// Outgoing body bytes are pulled from the source in pieces of this size.
enum { HTTP_BODY_PIECE_SIZE = 8192 };

// Version codes of incoming messages.
enum {
    HTTP_VERSION_BELOW_1 = 0, // "HTTP/0.9" and the like
    HTTP_VERSION_1_0 = 10,
    HTTP_VERSION_1_1 = 11,
    HTTP_VERSION_OTHER = 20   // anything else, and the state before any message
};

// Chunk states of a chunked incoming body.
enum {
    HTTP_CHUNK_SIZE_LINE = 1, // expecting a chunk-size line
    HTTP_CHUNK_DATA = 2,      // inside chunk data
    HTTP_CHUNK_DATA_END = 3   // expecting the empty line after chunk data
};

struct vexa_http_data_processor_oline {
    int expect_continue;          // option: requests carry "Expect: 100-continue"
    int force_http10;             // option: "HTTP/1.0", close after use, no chunks, no 100
    int chunked_output_allowed;   // option: outgoing bodies may be chunked
    int error;                    // the processor has failed; every later operation refuses
    int input_stopped;            // received bytes are discarded
    int client;                   // a request was started here
    int body_bytes_to_send;       // from the source; negative: until the source ends
    int close_after_send;         // close once the outgoing message is taken out
    int close_after_receive;      // close once the incoming message is complete
    int send_close;               // the next outgoing message carries "Connection: close"
    int chunked_output;           // the outgoing body is being chunked
    int chunked_input;            // the incoming body is chunked
    int chunk_state;              // HTTP_CHUNK_* while chunked_input
    int chunk_bytes_left;         // data bytes left in the current chunk
    int in_body;                  // the incoming body is being received
    int body_bytes_received;      // incoming body bytes handed on so far
    char method_sent[HTTP_WORD_TEXT_SIZE]; // "GET", "HEAD" or "POST" of the last request
    text_buffer line;             // the incoming line being assembled
    int line_complete;            // the line is complete
    int last_line_end;            // the CR or LF just seen, else 0
    char version_text[HTTP_WORD_TEXT_SIZE];
    int version;                  // HTTP_VERSION_* of the last incoming start line
    int expect_100_received;      // the incoming request carried "Expect: 100-continue"
    char transfer_coding[HTTP_TRANSFER_CODING_SIZE]; // commas and semicolons as blanks
    char content_type_text[HTTP_CONTENT_TYPE_TEXT_SIZE];
    int content_type;             // HTTP_CONTENT_TYPE_* of the incoming message
    int status;                   // incoming response status; 0 or less: a request
    char reason[HTTP_REASON_SIZE];
    char method_received[HTTP_WORD_TEXT_SIZE];
    char host[HTTP_TARGET_PART_SIZE];  // from the request target or the Host line
    char path[HTTP_TARGET_PART_SIZE];  // without its leading "/"
    char query[HTTP_TARGET_PART_SIZE]; // after "?"
    int content_length;           // incoming Content-Length, -1 when none
    int line_count;               // lines of the incoming message so far
    int in_message;               // a start line arrived and its header block is open
    text_buffer start_line;       // the incoming start line as received
    void *user_data;              // passed to every callback
    http_connection_close_callback connection_close_callback;
    http_message_callback header_complete_callback;
    http_message_callback message_complete_callback;
    http_content_data_callback content_data_callback;
    http_request_body_source request_body_source;
    char user_name[HTTP_CREDENTIAL_SIZE];
    char password[HTTP_CREDENTIAL_SIZE];
    char cookie_prefix[HTTP_COOKIE_PREFIX_SIZE];
    vexa_http_cookie *received_cookies;
    vexa_http_cookie *cookies_to_send;
    vexa_socket_data_queue output_queue; // outgoing bytes, no limit
    int in_trailer;               // after a zero-size chunk: trailer lines are skipped
    int connection_closed;        // the close step ran; later input is discarded

    // Options and flags 0, texts empty, version 20, content length -1, no
    // callbacks, no cookies, an empty output queue without a limit.
    vexa_http_data_processor_oline();
    // Frees both cookie lists; the output queue's buffers go to the pool.
    ~vexa_http_data_processor_oline();
    vexa_http_data_processor_oline(const vexa_http_data_processor_oline &) = delete;
    vexa_http_data_processor_oline &operator=(const vexa_http_data_processor_oline &) = delete;

    // --- Set-up -------------------------------------------------------------

    void set_user_data(void *data) { user_data = data; }
    void set_connection_close_callback(http_connection_close_callback f) { connection_close_callback = f; }
    void set_header_complete_callback(http_message_callback f) { header_complete_callback = f; }
    void set_message_complete_callback(http_message_callback f) { message_complete_callback = f; }
    void set_content_data_callback(http_content_data_callback f) { content_data_callback = f; }
    void set_request_body_source(http_request_body_source f) { request_body_source = f; }
    // The next outgoing message carries "Connection: close".
    void set_close_after_message() { send_close = 1; }
    // 1, or 0 when a text has 64 or more characters (reported; it is kept cut
    // to 63). Null counts as empty.
    int set_basic_authenticaion_credentials(const char *name, const char *pass);

    int get_status_code() const { return status; }
    int get_content_length() const { return content_length; }
    // 1 while an incoming body runs until the connection ends (no length, not
    // chunked): the owner should call finish_message at an orderly end.
    int is_body_until_close() const { return in_body && !chunked_input && content_length < 0; }

    // --- Cookies ------------------------------------------------------------

    // Null empties the prefix. 0 when it has 32 or more characters (reported;
    // the prefix is left unchanged).
    int set_cookie_prefix(const char *prefix);
    // store_cookie on the cookies to send; the record or null.
    vexa_http_cookie *add_cookie_to_send(const char *key, const char *value, const char *domain, int max_age,
                                         int secure);
    // Sends the cookie with an empty value, max age 0, not secure.
    vexa_http_cookie *expire_cookie(const char *key, const char *domain);
    // Values of the first matching record, or null.
    const char *get_cookie_to_send(const char *key) const;
    const char *get_received_cookie(const char *key) const;
    // Unlinks and frees the first matching received cookie (nothing when none
    // matches).
    void remove_received_cookie(const char *key);

    // --- Composing: 1 on success, 0 on refusal or failure --------------------
    // A new message is refused silently after an error or while a request that
    // asked for "Connection: close" awaits its response, and with a report
    // while body bytes of the previous message are still owed.

    // Queues "GET <path> HTTP/1.1" (blanks, control bytes, 127 and bytes above
    // 127 of the path escaped as %xx; empty or null path: "/"), Host, the
    // common lines and the cookies. Null host: reported, 0.
    int start_http_GET(const char *host, const char *path);
    // The same with "HEAD".
    int start_http_HEAD(const char *host, const char *path);
    // Queues a POST with Content-Type and the body of length bytes (negative:
    // until the source ends; chunked when allowed) and pulls the body; 0 when
    // the source fails.
    int start_http_POST(const char *host, const char *path, int content_type_code, int length);
    // Queues a response with Content-Type and pulls its body (none for a HEAD
    // request); 0 when the source fails.
    int send_response(int status_code, int content_type_code, int length, const char *reason_phrase);
    // The fixed responses; null or empty reasons take their defaults.
    int send_response_301(const char *location);
    int send_response_400(const char *reason_phrase);
    int send_response_413(const char *reason_phrase);
    int send_response_415(const char *reason_phrase);
    int send_response_501();
    int send_response_100();
    // Pulls outgoing body bytes from the source into the output queue until
    // the body is complete or the source has nothing now. 1 on success (also
    // when more is to come); 0 when no source is set (reported), the source
    // failed, ended early or gave more than asked.
    int fill_content_body();

    // --- Moving bytes -------------------------------------------------------

    // Copies up to size outgoing bytes into buffer: the count, 0 when nothing
    // is to be sent now (a closing message then asks for the connection to be
    // closed), -1 for a bad size, after an error, or when the body source
    // failed.
    int get_tx_data(char *buffer, int size);
    // Parses received bytes in place. 1 when all were consumed and more are
    // wanted, 0 when the processor takes no more input (after a 400 answer on
    // the server side), -1 on failure (the error flag is then set).
    int process_rx_data(const char *bytes, int count);
    // For the owner at the end of the connection: ends a chunked body being
    // sent with its last chunk, and completes an incoming body that had
    // bytes (message-complete called, its result ignored).
    void finish_message();
    // The version code of a version word: 10, 11, 0 below 1, else 20 (a word
    // without "HTTP/" is reported).
    int try_extract_http_version_number(const char *text);

private:
    // Refusal check of the composing operations; name is the operation's.
    int is_busy(const char *name);
    // The version word of outgoing start lines.
    const char *version_word() const;
    // Appends the length, authorization, encoding, expect and connection
    // lines of an outgoing message with body length length.
    void append_common_lines(text_buffer *out, int is_request, int length);
    // Composes and queues a request; body_length as for POST.
    int start_request(const char *name, const char *method, const char *host, const char *path,
                      int content_type_code, int body_length);
    // Queues a fixed response: start line "<version> <status text>", the
    // extra header line (may be null), common lines for no body.
    int send_fixed_response(const char *name, const char *status_text, const char *extra_line);
    // Writes text into the output queue; 0 when not all of it fitted.
    int queue_text(const char *text, int length);
    // Runs the connection-close callback and clears the close flags.
    void close_step();

    // Receiving side.
    int assemble_line(const char *bytes, int n);
    int rx_step(const char *bytes, int n);
    int header_phase_step(const char *bytes, int n);
    int header_line_parse(const char *text);
    int parse_status_line(const char *text);
    int parse_request_line(const char *text);
    int message_has_body() const;
    int header_complete_step();
    int complete_message();
    void reset_incoming_message();
};

#endif
