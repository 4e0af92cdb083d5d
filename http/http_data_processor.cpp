// vexa_http_data_processor_oline: set-up, cookies and the sending side
// (composing requests and responses, pulling body bytes, handing bytes to the
// owner). The receiving side is in http_data_processor_rx.cpp.
#include "http/http_data_processor.h"

#include <stdio.h>
#include <string.h>

#include "runtime/base64.h"
#include "runtime/log.h"
#include "runtime/string_util.h"

// Room for a chunk-size line: eight hexadecimal digits, CR, LF and NUL.
enum { HTTP_CHUNK_SIZE_LINE_SIZE = 16 };

// Copies at most size - 1 bytes of text (null: nothing) into field.
static void copy_cut(char *field, int size, const char *text)
{
    int n = 0;
    if (text)
        while (n < size - 1 && text[n])
            n++;
    if (n > 0)
        memcpy(field, text, (size_t)n);
    field[n] = 0;
}

vexa_http_data_processor_oline::vexa_http_data_processor_oline()
    : expect_continue(0), force_http10(0), chunked_output_allowed(0), error(0), input_stopped(0), client(0),
      body_bytes_to_send(0), close_after_send(0), close_after_receive(0), send_close(0), chunked_output(0),
      chunked_input(0), chunk_state(0), chunk_bytes_left(0), in_body(0), body_bytes_received(0), line_complete(0),
      last_line_end(0), version(HTTP_VERSION_OTHER), expect_100_received(0), content_type(HTTP_CONTENT_TYPE_NONE),
      status(0), content_length(-1), line_count(0), in_message(0), user_data(nullptr),
      connection_close_callback(nullptr), header_complete_callback(nullptr), message_complete_callback(nullptr),
      content_data_callback(nullptr), request_body_source(nullptr), received_cookies(nullptr),
      cookies_to_send(nullptr), in_trailer(0), connection_closed(0)
{
    method_sent[0] = 0;
    version_text[0] = 0;
    transfer_coding[0] = 0;
    content_type_text[0] = 0;
    reason[0] = 0;
    method_received[0] = 0;
    host[0] = 0;
    path[0] = 0;
    query[0] = 0;
    user_name[0] = 0;
    password[0] = 0;
    cookie_prefix[0] = 0;
}

vexa_http_data_processor_oline::~vexa_http_data_processor_oline()
{
    free_cookie_list(&received_cookies);
    free_cookie_list(&cookies_to_send);
    output_queue.release();
}

int vexa_http_data_processor_oline::set_basic_authenticaion_credentials(const char *name, const char *pass)
{
    int result = 1;
    const char *texts[2] = {name, pass};
    char *fields[2] = {user_name, password};
    for (int i = 0; i < 2; i++) {
        const char *text = texts[i] ? texts[i] : "";
        if (strlen(text) >= (size_t)HTTP_CREDENTIAL_SIZE) {
            text_buffer report;
            report.append("Error in vexa_http_data_processor_oline::set_basic_authenticaion_credentials() - "
                          "incoming string '");
            report.append(text);
            report.append("' too long.");
            log_report(report.text(), LOG_CLASS_RUNTIME, LOG_MODULE_HTTP);
            result = 0;
        }
        copy_cut(fields[i], HTTP_CREDENTIAL_SIZE, text);
    }
    return result;
}

// --- Cookies -------------------------------------------------------------------

int vexa_http_data_processor_oline::set_cookie_prefix(const char *prefix)
{
    if (prefix && strlen(prefix) >= (size_t)HTTP_COOKIE_PREFIX_SIZE) {
        text_buffer report;
        report.append("Error in vexa_http_cookie::set_cookie_prefix() - incoming string '");
        report.append(prefix);
        report.append("' too long.");
        log_report(report.text(), LOG_CLASS_RUNTIME, LOG_MODULE_HTTP);
        return 0;
    }
    copy_cut(cookie_prefix, HTTP_COOKIE_PREFIX_SIZE, prefix);
    return 1;
}

vexa_http_cookie *vexa_http_data_processor_oline::add_cookie_to_send(const char *key, const char *value,
                                                                     const char *domain, int max_age, int secure)
{
    return store_cookie(&cookies_to_send, key, value, domain, max_age, secure);
}

vexa_http_cookie *vexa_http_data_processor_oline::expire_cookie(const char *key, const char *domain)
{
    return store_cookie(&cookies_to_send, key, "", domain, 0, 0);
}

const char *vexa_http_data_processor_oline::get_cookie_to_send(const char *key) const
{
    return find_cookie_value(cookies_to_send, key);
}

const char *vexa_http_data_processor_oline::get_received_cookie(const char *key) const
{
    return find_cookie_value(received_cookies, key);
}

void vexa_http_data_processor_oline::remove_received_cookie(const char *key)
{
    remove_cookie(&received_cookies, key);
}

// --- Composing -----------------------------------------------------------------

int vexa_http_data_processor_oline::is_busy(const char *name)
{
    if (close_after_receive || error)
        return 1;
    if (body_bytes_to_send > 0) {
        text_buffer report;
        report.append("Error in vexa_http_data_processor_oline, attempt to '");
        report.append(name);
        report.append("' without completing previous message.");
        log_report(report.text(), LOG_CLASS_RUNTIME, LOG_MODULE_HTTP);
        return 1;
    }
    return 0;
}

const char *vexa_http_data_processor_oline::version_word() const
{
    return force_http10 ? "HTTP/1.0" : "HTTP/1.1";
}

void vexa_http_data_processor_oline::append_common_lines(text_buffer *out, int is_request, int length)
{
    chunked_output = length != 0 && chunked_output_allowed && version > HTTP_VERSION_1_0 && !force_http10;
    if (length == 0)
        out->append("Content-Length: 0\r\n");
    else if (chunked_output)
        out->append("Transfer-Encoding: chunked\r\n");
    else if (length > 0)
        out->append_format("Content-Length: %d\r\n", length);

    int old_peer = version <= HTTP_VERSION_1_0 || force_http10;
    if (is_request) {
        if (user_name[0] || password[0]) {
            text_buffer credentials;
            credentials.append(user_name);
            credentials.append(":");
            credentials.append(password);
            out->append("Authorization: Basic ");
            base64_encode_text(out, credentials.text());
            out->append("\r\n");
        }
        out->append("Accept-Encoding: identity\r\n");
        if (expect_continue)
            out->append("Expect: 100-continue\r\n");
        if (send_close || old_peer) {
            out->append("Connection: close\r\n");
            close_after_receive = 1;
        }
    } else if (send_close || old_peer || length < 0) {
        out->append("Connection: close\r\n");
        close_after_send = 1;
    }
}

int vexa_http_data_processor_oline::queue_text(const char *text, int length)
{
    return output_queue.write_block(text, length) == length;
}

// Reports a header text that reached the composing buffer's limit: sending it
// cut would leave the peer waiting for the end of a header block.
static int header_fits(const text_buffer &t, const char *name)
{
    if (!t.is_full())
        return 1;
    text_buffer report;
    report.append("Error in vexa_http_data_processor_oline::");
    report.append(name);
    report.append("(), message header too long.");
    log_report(report.text(), LOG_CLASS_RUNTIME, LOG_MODULE_HTTP);
    return 0;
}

// Appends path with blanks, control bytes, 127 and bytes above 127 written
// as "%xx" (lower-case hexadecimal), so no byte can end the request line or
// start a header of its own.
static void append_escaped_path(text_buffer *out, const char *path)
{
    static const char hex[] = "0123456789abcdef";
    for (const unsigned char *p = (const unsigned char *)path; *p; p++) {
        if (*p <= 32 || *p >= 127) {
            out->append_char('%');
            out->append_char(hex[*p >> 4]);
            out->append_char(hex[*p & 15]);
        } else {
            out->append_char((char)*p);
        }
    }
}

int vexa_http_data_processor_oline::start_request(const char *name, const char *method, const char *host_name,
                                                  const char *target, int content_type_code, int body_length)
{
    if (is_busy(name))
        return 0;
    if (!host_name) {
        text_buffer report;
        report.append("Error in vexa_http_data_processor_oline::");
        report.append(name);
        report.append("(), NULL host.");
        log_report(report.text(), LOG_CLASS_USAGE, LOG_MODULE_HTTP);
        return 0;
    }
    if (!target || !target[0])
        target = "/";
    int is_post = word_equal(method, "POST");
    text_buffer t;
    t.append(method);
    t.append(" ");
    append_escaped_path(&t, target);
    t.append(" ");
    t.append(version_word());
    t.append("\r\nHost: ");
    t.append(host_name);
    t.append("\r\n");
    if (is_post) {
        t.append("Content-Type: ");
        t.append(content_type_name(content_type_code));
        t.append("; charset=utf-8\r\n");
    }
    int old_close_after_receive = close_after_receive;
    append_common_lines(&t, 1, is_post ? body_length : 0);
    append_set_cookie_lines(&t, cookies_to_send, cookie_prefix);
    t.append("\r\n");
    if (!header_fits(t, name)) {
        close_after_receive = old_close_after_receive;
        chunked_output = 0;
        return 0;
    }
    copy_cut(method_sent, HTTP_WORD_TEXT_SIZE, method);
    client = 1;
    // A new request goes out on a new (or still open) connection.
    connection_closed = 0;
    if (!queue_text(t.text(), t.length))
        return 0;
    if (!is_post)
        return 1;
    body_bytes_to_send = body_length;
    return fill_content_body();
}

int vexa_http_data_processor_oline::start_http_GET(const char *host_name, const char *target)
{
    return start_request("start_http_GET", "GET", host_name, target, HTTP_CONTENT_TYPE_NONE, 0);
}

int vexa_http_data_processor_oline::start_http_HEAD(const char *host_name, const char *target)
{
    return start_request("start_http_HEAD", "HEAD", host_name, target, HTTP_CONTENT_TYPE_NONE, 0);
}

int vexa_http_data_processor_oline::start_http_POST(const char *host_name, const char *target,
                                                   int content_type_code, int length)
{
    return start_request("start_http_POST", "POST", host_name, target, content_type_code, length);
}

int vexa_http_data_processor_oline::send_response(int status_code, int content_type_code, int length,
                                                 const char *reason_phrase)
{
    if (is_busy("send_response"))
        return 0;
    int old_close_after_send = close_after_send;
    text_buffer t;
    t.append(version_word());
    t.append_format(" %d ", status_code);
    t.append(reason_phrase ? reason_phrase : "");
    t.append("\r\nContent-Type: ");
    t.append(content_type_name(content_type_code));
    t.append("; charset=utf-8\r\n");
    append_common_lines(&t, 0, length);
    append_set_cookie_lines(&t, cookies_to_send, cookie_prefix);
    t.append("\r\n");
    if (!header_fits(t, "send_response")) {
        close_after_send = old_close_after_send;
        chunked_output = 0;
        return 0;
    }
    if (!queue_text(t.text(), t.length))
        return 0;
    if (word_equal(method_received, "HEAD")) {
        // The answer to HEAD announces the body but carries none.
        body_bytes_to_send = 0;
        chunked_output = 0;
    } else {
        body_bytes_to_send = length;
    }
    return fill_content_body();
}

int vexa_http_data_processor_oline::send_fixed_response(const char *name, const char *status_text,
                                                        const char *extra_line)
{
    text_buffer t;
    t.append(version_word());
    t.append(" ");
    t.append(status_text);
    t.append("\r\n");
    if (extra_line) {
        t.append(extra_line);
        t.append("\r\n");
    }
    int old_close_after_send = close_after_send;
    append_common_lines(&t, 0, 0);
    t.append("\r\n");
    if (!header_fits(t, name)) {
        close_after_send = old_close_after_send;
        return 0;
    }
    return queue_text(t.text(), t.length);
}

int vexa_http_data_processor_oline::send_response_301(const char *location)
{
    if (is_busy("send_response_301"))
        return 0;
    text_buffer line;
    line.append("Location: ");
    line.append(location ? location : "");
    return send_fixed_response("send_response_301", "301 Moved Permanently", line.text());
}

// "<status> <reason>", with the default for a null or empty reason.
static void status_text(text_buffer *out, const char *status, const char *reason_phrase, const char *fallback)
{
    out->append(status);
    out->append(" ");
    out->append(reason_phrase && reason_phrase[0] ? reason_phrase : fallback);
}

int vexa_http_data_processor_oline::send_response_400(const char *reason_phrase)
{
    if (is_busy("send_response_400"))
        return 0;
    send_close = 1;
    text_buffer s;
    status_text(&s, "400", reason_phrase, "Bad request");
    return send_fixed_response("send_response_400", s.text(), nullptr);
}

int vexa_http_data_processor_oline::send_response_413(const char *reason_phrase)
{
    if (is_busy("send_response_413"))
        return 0;
    text_buffer s;
    status_text(&s, "413", reason_phrase, "Content Body Too Large");
    return send_fixed_response("send_response_413", s.text(), nullptr);
}

int vexa_http_data_processor_oline::send_response_415(const char *reason_phrase)
{
    if (is_busy("send_response_415"))
        return 0;
    text_buffer s;
    status_text(&s, "415", reason_phrase, "Content Body in Unsupported Format");
    return send_fixed_response("send_response_415", s.text(), nullptr);
}

int vexa_http_data_processor_oline::send_response_501()
{
    if (is_busy("send_response_501"))
        return 0;
    return send_fixed_response("send_response_501", "501 Unimplemented", nullptr);
}

int vexa_http_data_processor_oline::send_response_100()
{
    if (is_busy("send_response_100"))
        return 0;
    // An interim answer never ends the connection and leaves the state of
    // the outgoing body alone: the final response that follows decides both.
    text_buffer t;
    t.append(version_word());
    t.append(" 100 continue\r\nContent-Length: 0\r\n\r\n");
    return queue_text(t.text(), t.length);
}

int vexa_http_data_processor_oline::fill_content_body()
{
    if (body_bytes_to_send == 0)
        return 1;
    if (!request_body_source) {
        log_report("Error in vexa_http_data_processor_oline::fill_content_body(), tx callback function was NULL.",
                   LOG_CLASS_RUNTIME, LOG_MODULE_HTTP);
        return 0;
    }
    char piece[HTTP_BODY_PIECE_SIZE];
    while (body_bytes_to_send != 0) {
        int wanted = HTTP_BODY_PIECE_SIZE;
        if (body_bytes_to_send > 0 && body_bytes_to_send < wanted)
            wanted = body_bytes_to_send;
        int got = request_body_source(this, user_data, piece, wanted);
        if (got < -1 || got > wanted)
            return 0;
        if (got == 0)
            return 1;
        if (got == -1) {
            if (chunked_output) {
                // The last chunk and the empty trailer section.
                body_bytes_to_send = 0;
                chunked_output = 0;
                return queue_text("0\r\n\r\n", 5);
            }
            if (body_bytes_to_send > 0)
                return 0;
            // The source has ended: it is not asked again.
            body_bytes_to_send = 0;
            return 1;
        }
        if (chunked_output) {
            char size_line[HTTP_CHUNK_SIZE_LINE_SIZE];
            int length = snprintf(size_line, sizeof size_line, "%x\r\n", (unsigned)got);
            if (!queue_text(size_line, length))
                return 0;
        }
        if (!queue_text(piece, got))
            return 0;
        if (body_bytes_to_send > 0)
            body_bytes_to_send -= got;
        if (chunked_output) {
            if (!queue_text("\r\n", 2))
                return 0;
            if (body_bytes_to_send == 0) {
                chunked_output = 0;
                return queue_text("0\r\n\r\n", 5);
            }
        }
    }
    return 1;
}

// --- Moving bytes --------------------------------------------------------------

void vexa_http_data_processor_oline::close_step()
{
    if (connection_close_callback)
        connection_close_callback(this, user_data);
    close_after_send = 0;
    close_after_receive = 0;
    send_close = 0;
    in_message = 0;
    connection_closed = 1;
}

int vexa_http_data_processor_oline::get_tx_data(char *buffer, int size)
{
    if (!buffer || size <= 0 || error)
        return -1;
    if (body_bytes_to_send != 0 && !fill_content_body())
        return -1;
    if (!in_body && output_queue.is_empty()) {
        if (close_after_send)
            close_step();
        if (input_stopped)
            error = 1;
        return 0;
    }
    return output_queue.read_block(buffer, size);
}
