// vexa_http_data_processor_oline: the receiving side. Received bytes are
// parsed in place: lines are assembled byte by byte into the line buffer,
// start and header lines fill the per-message fields, and body bytes are
// handed to the content-data callback straight from the caller's buffer.
//
// The parser is resumable: every piece of state lives in the object, so a
// message may arrive in pieces of any size. One step (rx_step) consumes some
// of the bytes it is given; its single switch picks the phase.
#include "http/http_data_processor.h"

#include <limits.h>
#include <string.h>

#include "runtime/log.h"
#include "runtime/string_util.h"

// Chunk-size lines are read with at most this many hexadecimal digits (the
// rest of the line, chunk extensions included, is ignored).
enum { HTTP_CHUNK_SIZE_MAX_DIGITS = 20 };

// Reports of this side are warnings with the line that caused them.
static void report_line(const char *what, const char *line, const char *after, int class_bits)
{
    text_buffer report;
    report.append("Warning in vexa_http_data_processor_oline::");
    report.append(what);
    report.append(line);
    if (after)
        report.append(after);
    log_report(report.text(), class_bits, LOG_MODULE_HTTP);
}

// Copies at most size - 1 bytes of text, ending at its NUL, into field.
static void copy_text(char *field, int size, const char *text)
{
    int n = 0;
    if (text)
        while (n < size - 1 && text[n])
            n++;
    if (n > 0)
        memcpy(field, text, (size_t)n);
    field[n] = 0;
}

// Copies the text's first word (ending at a blank), cut to size - 1 bytes.
static void copy_word(char *field, int size, const char *text)
{
    int n = 0;
    if (text)
        while (n < size - 1 && text[n] && text[n] != ' ' && text[n] != '\t' && text[n] != '\n')
            n++;
    if (n > 0)
        memcpy(field, text, (size_t)n);
    field[n] = 0;
}

// Body byte totals saturate: bodies without a length may pass 2 GiB.
static int add_saturated(int total, int count)
{
    return total > INT_MAX - count ? INT_MAX : total + count;
}

static int is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\n';
}

// Commas and semicolons of a header value become blanks, so its parts can be
// walked as words.
static void blank_separators(char *text)
{
    for (char *p = text; *p; p++)
        if (*p == ',' || *p == ';')
            *p = ' ';
}

// The value of a Content-Length line: a decimal number (parse_int's syntax)
// from 0 to INT_MAX. 0 for anything else, including numbers too large for an
// int, which would otherwise saturate into a wrong length.
static int parse_content_length(const char *text, int *out)
{
    int value;
    if (!parse_int(text, &value) || value < 0)
        return 0;
    const char *p = text;
    if (*p == '+')
        p++;
    long long exact = 0;
    for (; *p >= '0' && *p <= '9'; p++) {
        exact = exact * 10 + (*p - '0');
        if (exact > INT_MAX)
            return 0;
    }
    *out = (int)exact;
    return 1;
}

static int hex_digit_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The size of a chunk-size line: leading blanks skipped, then at most
// HTTP_CHUNK_SIZE_MAX_DIGITS hexadecimal digits; whatever follows (chunk
// extensions) is ignored. -1 when there is no digit or the size does not fit
// an int.
static int parse_chunk_size(const char *line)
{
    const char *p = line;
    while (*p == ' ' || *p == '\t')
        p++;
    long long size = 0;
    int digits = 0;
    for (; digits < HTTP_CHUNK_SIZE_MAX_DIGITS; digits++, p++) {
        int v = hex_digit_value(*p);
        if (v < 0)
            break;
        size = size * 16 + v;
        if (size > INT_MAX)
            return -1;
    }
    return digits > 0 ? (int)size : -1;
}

// A trailer field after the last chunk: its first word ends with a colon.
static int is_trailer_field(const char *line)
{
    const char *p = line;
    while (*p && !is_blank(*p))
        p++;
    return p > line && p[-1] == ':';
}

// 1 when some blank-separated word of list, cut at ";", equals target.
static int list_has_word_before_semicolon(const char *list, const char *target)
{
    int target_length = (int)strlen(target);
    const char *p = list;
    while (*p) {
        while (is_blank(*p))
            p++;
        const char *word = p;
        while (*p && !is_blank(*p))
            p++;
        int length = 0;
        while (word + length < p && word[length] != ';')
            length++;
        if (length == target_length) {
            int same = 1;
            for (int i = 0; i < length && same; i++) {
                char c = word[i];
                if (c >= 'A' && c <= 'Z')
                    c = (char)(c - 'A' + 'a');
                same = c == target[i];
            }
            if (same)
                return 1;
        }
    }
    return 0;
}

int vexa_http_data_processor_oline::try_extract_http_version_number(const char *text)
{
    if (!is_word_prefix("HTTP/", text)) {
        report_line("try_extract_http_version_number(), got bad http version '", text ? text : "(null)", "'.",
                    LOG_CLASS_INPUT);
        return HTTP_VERSION_OTHER;
    }
    const char *number = text + 5;
    if (word_equal(number, "1.0"))
        return HTTP_VERSION_1_0;
    if (word_equal(number, "1.1"))
        return HTTP_VERSION_1_1;
    // Read as a decimal number: a version above 0 and below 1 is "below 1".
    double value = 0;
    const char *p = number;
    for (; *p >= '0' && *p <= '9'; p++)
        value = value * 10 + (*p - '0');
    if (*p == '.') {
        double scale = 0.1;
        for (p++; *p >= '0' && *p <= '9'; p++, scale /= 10)
            value += (*p - '0') * scale;
    }
    if (value > 0 && value + 0.000001 < 1)
        return HTTP_VERSION_BELOW_1;
    return HTTP_VERSION_OTHER;
}

void vexa_http_data_processor_oline::reset_incoming_message()
{
    chunked_input = 0;
    chunk_state = 0;
    chunk_bytes_left = 0;
    version_text[0] = 0;
    version = HTTP_VERSION_OTHER;
    expect_100_received = 0;
    transfer_coding[0] = 0;
    content_type_text[0] = 0;
    content_type = HTTP_CONTENT_TYPE_NONE;
    content_length = -1;
    status = 0;
    reason[0] = 0;
    method_received[0] = 0;
    host[0] = 0;
    path[0] = 0;
    query[0] = 0;
    line_count = 0;
    start_line.clear();
    in_trailer = 0;
}

int vexa_http_data_processor_oline::parse_status_line(const char *text)
{
    copy_word(version_text, HTTP_WORD_TEXT_SIZE, text);
    version = try_extract_http_version_number(version_text);
    const char *status_word = next_arg(text);
    int code = 0;
    int ok = status_word && parse_int(status_word, &code) && code > 0;
    if (ok) {
        // The reason follows the blank after the status word; it may be empty
        // ("HTTP/1.1 599 "), but the blank must be there.
        const char *p = status_word;
        while (*p && !is_blank(*p))
            p++;
        ok = *p != 0;
        if (ok) {
            while (is_blank(*p))
                p++;
            status = code;
            copy_text(reason, HTTP_REASON_SIZE, p);
        }
    }
    if (!ok) {
        status = 0;
        report_line("header_line_parse(), failed to parse response line '", text, "'.", LOG_CLASS_INPUT);
        return 1;
    }
    return 0;
}

int vexa_http_data_processor_oline::parse_request_line(const char *text)
{
    copy_word(method_received, HTTP_WORD_TEXT_SIZE, text);
    const char *target_word = next_arg(text);
    const char *version_word_text = target_word ? next_arg(target_word) : nullptr;
    if (!version_word_text)
        return 1;
    text_buffer target;
    target.append_word(target_word);
    char *t = target.data;
    while (*t == '/')
        t++;
    char *question = strchr(t, '?');
    if (question) {
        *question = 0;
        copy_text(query, HTTP_TARGET_PART_SIZE, question + 1);
    }
    char *scheme_end = strstr(t, "://");
    if (scheme_end) {
        char *host_start = scheme_end + 3;
        char *slash = strchr(host_start, '/');
        if (slash)
            *slash = 0;
        copy_text(host, HTTP_TARGET_PART_SIZE, host_start);
        if (slash && slash[1])
            copy_text(path, HTTP_TARGET_PART_SIZE, slash + 1);
    } else {
        copy_text(path, HTTP_TARGET_PART_SIZE, t);
    }
    copy_word(version_text, HTTP_WORD_TEXT_SIZE, version_word_text);
    version = try_extract_http_version_number(version_text);
    return 0;
}

int vexa_http_data_processor_oline::header_line_parse(const char *text)
{
    if (!in_message) {
        reset_incoming_message();
        line_count++;
        in_message = 1;
        start_line.append(text);
        if (is_word_prefix("HTTP/", text))
            return parse_status_line(text);
        return parse_request_line(text);
    }

    const char *value = next_arg(text);
    if (word_equal(text, "Content-Length:")) {
        int length;
        if (!value || !parse_content_length(value, &length)) {
            report_line("header_line_parse(), got bad content length, line: ", text, nullptr, LOG_CLASS_INPUT);
            return 1;
        }
        content_length = length;
        return 0;
    }
    if (word_equal(text, "Content-Type:")) {
        if (!value) {
            report_line("header_line_parse(), got bad content type line: ", text, nullptr, LOG_CLASS_INPUT);
            return 2;
        }
        copy_text(content_type_text, HTTP_CONTENT_TYPE_TEXT_SIZE, value);
        content_type = content_type_from_text(value);
        return 0;
    }
    if (word_equal(text, "Connection:")) {
        if (!value) {
            report_line("header_line_parse(), got bad Connection: line: ", text, nullptr, LOG_CLASS_INPUT);
            return 2;
        }
        text_buffer words;
        words.append(value);
        blank_separators(words.data);
        const char *w = words.text();
        while (is_blank(*w))
            w++;
        for (; w && *w; w = next_arg(w)) {
            if (word_equal(w, "close")) {
                // A request: the answer carries "Connection: close" and
                // closes once it is out (set when it is composed, so the
                // connection cannot close before the answer exists).
                if (status <= 0)
                    send_close = 1;
                else
                    close_after_receive = 1;
            } else if (!word_equal(w, "te") && !word_equal(w, "keep-alive")) {
                report_line("header_line_parse(), got questionable Connection: line: ", text, nullptr,
                            LOG_CLASS_PROTOCOL);
            }
        }
        return 0;
    }
    if (word_equal(text, "Expect:")) {
        if (value && list_has_word_before_semicolon(value, "100-continue")) {
            expect_100_received = 1;
            return 0;
        }
        report_line("header_line_parse(), got bad Expect: line: ", text, nullptr, LOG_CLASS_INPUT);
        return 2;
    }
    if (word_equal(text, "Transfer-Encoding:")) {
        if (!value) {
            report_line("header_line_parse(), got bad transfer encoding line: ", text, nullptr, LOG_CLASS_INPUT);
            return 2;
        }
        copy_text(transfer_coding, HTTP_TRANSFER_CODING_SIZE, value);
        blank_separators(transfer_coding);
        if (word_in_list("chunked", transfer_coding)) {
            chunked_input = 1;
            chunk_state = HTTP_CHUNK_SIZE_LINE;
        }
        return 0;
    }
    if (word_equal(text, "Host:")) {
        if (!value) {
            report_line("header_line_parse(), got empty host line '", text, "'.", LOG_CLASS_PROTOCOL);
            return 2;
        }
        if (host[0] && strcmp(value, host) != 0)
            return 2;
        copy_text(host, HTTP_TARGET_PART_SIZE, value);
        return 0;
    }
    if (word_equal(text, "Cookie:")) {
        parse_cookie_text(&received_cookies, cookie_prefix, value);
        return 0;
    }
    return 0;
}

int vexa_http_data_processor_oline::message_has_body() const
{
    if (status > 0) {
        if ((status >= 100 && status <= 199) || status == 204 || status == 304)
            return 0;
        if (word_equal(method_sent, "HEAD"))
            return 0;
    }
    if (version > HTTP_VERSION_1_0 && transfer_coding[0] && !word_in_list("identity", transfer_coding))
        return 1;
    if (content_length > 0)
        return 1;
    if (content_length == 0)
        return 0;
    // Without a length a response runs until the connection ends; a request
    // has no body.
    return status > 0;
}

int vexa_http_data_processor_oline::header_complete_step()
{
    if (!client && version > HTTP_VERSION_1_0 && status <= 0 && !force_http10 &&
        (expect_100_received || word_in_list(method_received, "PUT POST"))) {
        if (!send_response_100())
            return 0;
    }
    if (!header_complete_callback)
        return 0;
    return header_complete_callback(this, user_data);
}

int vexa_http_data_processor_oline::complete_message()
{
    in_message = 0;
    in_body = 0;
    if (!message_complete_callback || !message_complete_callback(this, user_data)) {
        error = 1;
        return -1;
    }
    if (error)
        return -1;
    if (close_after_receive && !(status >= 100 && status <= 199))
        close_step();
    return 1;
}

int vexa_http_data_processor_oline::assemble_line(const char *bytes, int n)
{
    int used = 0;
    while (used < n) {
        char b = bytes[used];
        if ((b == '\n' && last_line_end == '\r') || (b == '\r' && last_line_end == '\n')) {
            // A CR LF or LF CR pair ends the line.
            used++;
            last_line_end = 0;
            line_complete = 1;
            break;
        }
        if (last_line_end) {
            // A lone line end: this byte already belongs to the next line.
            last_line_end = 0;
            line_complete = 1;
            break;
        }
        if (b == '\r' || b == '\n') {
            last_line_end = b;
        } else if (line.length < TEXT_BUFFER_MAX_CHARS) {
            line.data[line.length++] = b;
        }
        used++;
    }
    line.data[line.length] = 0;
    return used;
}

int vexa_http_data_processor_oline::header_phase_step(const char *bytes, int n)
{
    int used = assemble_line(bytes, n);
    if (!line_complete)
        return used;
    line_complete = 0;
    if (in_trailer) {
        // After the last chunk: trailer fields up to an empty line. A line
        // that is no field is the next start line of a peer that ended its
        // body without the trailer section.
        if (line.length == 0 || is_trailer_field(line.text())) {
            if (line.length == 0)
                in_trailer = 0;
            line.clear();
            return used;
        }
        in_trailer = 0;
    }
    if (line.length == 0 && !in_message) {
        // Empty lines between messages are skipped.
        return used;
    }
    line_count++;
    if (line.length > 0) {
        int result = header_line_parse(line.text());
        if (!client) {
            if (result != 0) {
                if (!send_response_400("Bad Request")) {
                    error = 1;
                    return -1;
                }
                close_after_send = 1;
                input_stopped = 1;
                line.clear();
                return 0;
            }
        } else if (result == 1) {
            error = 1;
            return -1;
        }
    } else {
        // The empty line that ends the header block.
        if ((client && status <= 0) || (!client && status > 0)) {
            error = 1;
            return -1;
        }
        int has_body = message_has_body();
        if (has_body) {
            in_body = 1;
            body_bytes_received = 0;
            last_line_end = 0;
        }
        if (!header_complete_step()) {
            error = 1;
            return -1;
        }
        if (error)
            return -1;
        if (!has_body && complete_message() < 0)
            return -1;
        in_message = 0;
    }
    line.clear();
    return used;
}

int vexa_http_data_processor_oline::rx_step(const char *bytes, int n)
{
    if (n <= 0 || error)
        return -1;
    if (input_stopped || connection_closed)
        return n;
    if (!in_body)
        return header_phase_step(bytes, n);

    int phase = chunked_input ? chunk_state : 0;
    switch (phase) {
    case 0: {
        // A body with a length, or one that runs until the connection ends.
        int take = n;
        if (content_length >= 0 && content_length - body_bytes_received < take)
            take = content_length - body_bytes_received;
        if (take > 0) {
            if (!content_data_callback || !content_data_callback(this, user_data, bytes, take)) {
                error = 1;
                return -1;
            }
            if (error)
                return -1;
            body_bytes_received = add_saturated(body_bytes_received, take);
        }
        if (content_length >= 0 && body_bytes_received >= content_length && complete_message() < 0)
            return -1;
        return take;
    }
    case HTTP_CHUNK_SIZE_LINE: {
        int used = assemble_line(bytes, n);
        if (!line_complete)
            return used;
        line_complete = 0;
        int size = line.length > 0 ? parse_chunk_size(line.text()) : -1;
        line.clear();
        if (size < 0) {
            error = 1;
            return -1;
        }
        if (size == 0) {
            // The last chunk: the message is complete; trailer lines that
            // follow are skipped in the header phase.
            in_trailer = 1;
            if (complete_message() < 0)
                return -1;
            return used;
        }
        chunk_bytes_left = size;
        chunk_state = HTTP_CHUNK_DATA;
        return used;
    }
    case HTTP_CHUNK_DATA: {
        int take = n < chunk_bytes_left ? n : chunk_bytes_left;
        if (!content_data_callback || !content_data_callback(this, user_data, bytes, take)) {
            error = 1;
            return -1;
        }
        if (error)
            return -1;
        chunk_bytes_left -= take;
        body_bytes_received = add_saturated(body_bytes_received, take);
        if (chunk_bytes_left <= 0) {
            chunk_state = HTTP_CHUNK_DATA_END;
            line.clear();
        }
        return take;
    }
    case HTTP_CHUNK_DATA_END: {
        int used = assemble_line(bytes, n);
        if (!line_complete)
            return used;
        line_complete = 0;
        if (line.length != 0) {
            error = 1;
            return -1;
        }
        chunk_state = HTTP_CHUNK_SIZE_LINE;
        return used;
    }
    default:
        error = 1;
        return -1;
    }
}

int vexa_http_data_processor_oline::process_rx_data(const char *bytes, int count)
{
    if (!bytes || count <= 0 || error)
        return -1;
    if (input_stopped)
        return 0; // everything is discarded from now on
    int position = 0;
    while (position < count) {
        int result = rx_step(bytes + position, count - position);
        if (result < 0) {
            error = 1;
            return -1;
        }
        if (result == 0) {
            if (input_stopped)
                return 0;
            continue;
        }
        position += result;
    }
    return 1;
}

void vexa_http_data_processor_oline::finish_message()
{
    if (error)
        return;
    if (body_bytes_to_send == 0 && chunked_output) {
        chunked_output = 0;
        queue_text("0\r\n\r\n", 5);
    }
    // Only a body without a length ends with the connection; a length or a
    // chunked body cut short stays incomplete.
    if (is_body_until_close() && body_bytes_received > 0) {
        in_body = 0;
        in_message = 0;
        if (message_complete_callback)
            message_complete_callback(this, user_data);
    }
}
