// vexa_http_downloader: one blocking GET per download (see http_downloader.h).
#include "http/http_downloader.h"

#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "http/http_data_processor.h"
#include "runtime/log.h"

static void report(const char *text, int class_bits)
{
    log_report(text, class_bits, LOG_MODULE_DOWNLOADER);
}

// Reports text + name + tail, for the messages that name the destination.
static void report_with_name(const char *text, const char *name, const char *tail)
{
    text_buffer t;
    t.append(text);
    t.append(name);
    t.append(tail);
    report(t.text(), LOG_CLASS_RUNTIME);
}

static long long monotonic_ms()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

// Adds count to a byte total that saturates instead of overflowing (bodies
// without a length may pass 2 GiB).
static int add_bytes(int total, int count)
{
    return total > INT_MAX - count ? INT_MAX : total + count;
}

vexa_http_downloader::vexa_http_downloader()
    : use_tls(0), port(0), output_file(nullptr), expected_length(-1), received(0), data_callback(nullptr),
      progress_callback(nullptr), user_data(nullptr), connection_ready(0), output_file_created(0),
      message_complete(0), wait_ms(HTTP_DOWNLOAD_WAIT_MS), no_data_limit_ms(HTTP_DOWNLOAD_NO_DATA_LIMIT_MS)
{
    memset(&server_address, 0, sizeof server_address);
}

vexa_http_downloader::~vexa_http_downloader() {}

int vexa_http_downloader::set_connection(const char *host, int port_number, int tls)
{
    if (!host) {
        report("Error in vexa_http_downloader::set_connection(), NULL host name.", LOG_CLASS_USAGE);
        return 0;
    }
    port = port_number;
    use_tls = tls;
    connection_ready = resolve_ipv4_address(host, &server_address);
    return connection_ready;
}

void vexa_http_downloader::set_progress_callback(http_download_progress_callback callback, void *data)
{
    progress_callback = callback;
    user_data = data;
}

void vexa_http_downloader::set_data_callback(http_download_data_callback callback, void *data)
{
    data_callback = callback;
    user_data = data;
}

void vexa_http_downloader::set_time_limits(int wait_milliseconds, int no_data_milliseconds)
{
    if (wait_milliseconds > 0)
        wait_ms = wait_milliseconds;
    if (no_data_milliseconds > 0)
        no_data_limit_ms = no_data_milliseconds;
}

void vexa_http_downloader::close_output_file()
{
    if (output_file) {
        fclose(output_file);
        output_file = nullptr;
    }
}

void vexa_http_downloader::discard_output_file()
{
    close_output_file();
    if (output_file_created && !data_callback && !destination.is_empty()) {
        unlink(destination.text());
        output_file_created = 0;
    }
}

int vexa_http_downloader::download(const char *host, const char *path, const char *destination_name)
{
    if (!host) {
        report("Error in vexa_http_downloader::download(), NULL host.", LOG_CLASS_USAGE);
        return 0;
    }
    if (!path) {
        report("Error in vexa_http_downloader::download(), NULL path.", LOG_CLASS_USAGE);
        return 0;
    }
    if (!destination_name) {
        report("Error in vexa_http_downloader::download(), NULL destination file name.", LOG_CLASS_USAGE);
        return 0;
    }
    if (data_callback) {
        report("Error in vexa_http_downloader::download(), attempt to do file based download after setting data "
               "callback.",
               LOG_CLASS_USAGE);
        return 0;
    }
    destination.clear();
    destination.append(destination_name);
    return download(host, path);
}

int vexa_http_downloader::download(const char *host, const char *path)
{
    if (destination.is_empty() && !data_callback) {
        report("Error in vexa_http_downloader::download(), NULL destination file name and NULL download data "
               "callback.",
               LOG_CLASS_USAGE);
        return 0;
    }
    if (!host) {
        report("Error in vexa_http_downloader::download(), NULL host.", LOG_CLASS_USAGE);
        return 0;
    }
    if (!path) {
        report("Error in vexa_http_downloader::download(), NULL path.", LOG_CLASS_USAGE);
        return 0;
    }
    received = 0;
    expected_length = -1;
    message_complete = 0;
    output_file_created = 0;

    if (use_tls)
        socket.enable_ssl();
    else
        socket.disable_ssl();
    // Without a resolved address the connect would go to 0.0.0.0, which is
    // the local host: refuse instead.
    if (!connection_ready || socket.blocking_connect(&server_address, (unsigned short)port, wait_ms) <= 0) {
        report("Error in vexa_http_downloader::download(), connect failed.", LOG_CLASS_PROTOCOL);
        return 0;
    }

    vexa_http_data_processor_oline processor;
    processor.set_user_data(this);
    processor.set_connection_close_callback(callback_connection_close);
    processor.set_header_complete_callback(callback_message_received);
    processor.set_message_complete_callback(callback_message_complete);
    processor.set_content_data_callback(callback_content_data_received);
    processor.set_request_body_source(callback_content_body_get_tx_data);
    processor.set_close_after_message();
    if (!processor.start_http_GET(host, path)) {
        report("Error in vexa_http_downloader::download(), unable to start HTTP GET?", LOG_CLASS_RUNTIME);
        return 0;
    }

    if (!send_request(&processor))
        return 0;
    return receive_response(&processor);
}

int vexa_http_downloader::send_request(vexa_http_data_processor_oline *processor)
{
    char buffer[HTTP_DOWNLOAD_SEND_BUFFER_SIZE];
    long long last_progress = monotonic_ms();
    while (socket.get_state() == TCP_STATE_CONNECTED) {
        int count = processor->get_tx_data(buffer, (int)sizeof buffer);
        if (count == 0)
            break;
        if (count < 0) {
            // The processor failed while handing out the request.
            report("Error in vexa_http_downloader::download(), blocking write failed.", LOG_CLASS_RUNTIME);
            return 0;
        }
        int written = 0;
        while (written < count) {
            int put = socket.blocking_write(buffer + written, count - written, wait_ms);
            if (put < 0) {
                report("Error in vexa_http_downloader::download(), blocking write failed.", LOG_CLASS_RUNTIME);
                return 0;
            }
            if (put == 0) {
                if (monotonic_ms() - last_progress >= no_data_limit_ms) {
                    report("Error in vexa_http_downloader::download(), no data for 30 seconds, giving up.",
                           LOG_CLASS_RUNTIME);
                    return 0;
                }
                continue;
            }
            written += put;
            last_progress = monotonic_ms();
        }
    }
    return 1;
}

int vexa_http_downloader::receive_response(vexa_http_data_processor_oline *processor)
{
    char buffer[HTTP_DOWNLOAD_RECEIVE_BUFFER_SIZE];
    long long last_progress = monotonic_ms();
    while (socket.get_state() != TCP_STATE_UNCONNECTED) {
        // While data streams in, a read needs no wait first: only when
        // nothing is there yet does the read wait (at most wait_ms).
        int count = socket.nonblocking_read(buffer, (int)sizeof buffer);
        if (count == 0)
            count = socket.blocking_read(buffer, (int)sizeof buffer, wait_ms);
        if (count > 0) {
            last_progress = monotonic_ms();
            int result = processor->process_rx_data(buffer, count);
            if (result < 0) {
                report("Error in vexa_http_downloader::download(), http data fetch failed.", LOG_CLASS_RUNTIME);
                close_output_file();
                return 0;
            }
            if (result == 0)
                break;
            continue;
        }
        if (count == 0) {
            if (monotonic_ms() - last_progress >= no_data_limit_ms) {
                report("Error in vexa_http_downloader::download(), no data for 30 seconds, giving up.",
                       LOG_CLASS_RUNTIME);
                discard_output_file();
                return 0;
            }
            continue;
        }
        if (socket.get_read_error() == 0) {
            // Orderly end: it completes a body without a length; anywhere
            // else the response was cut short.
            if (!message_complete && processor->is_body_until_close()) {
                if (processor->body_bytes_received > 0)
                    processor->finish_message();
                else
                    callback_message_complete(processor, this); // an empty body is complete too
                if (!message_complete) {
                    report("Error in vexa_http_downloader::download(), http data fetch failed.",
                           LOG_CLASS_RUNTIME);
                    close_output_file();
                    return 0;
                }
            }
            break;
        }
        int all_received = received == expected_length;
        if (data_callback) {
            report(all_received ? "Error in vexa_http_downloader::download(), blocking read failed but all data "
                                  "received."
                                : "Error in vexa_http_downloader::download(), blocking read failed, not all bytes "
                                  "read.",
                   LOG_CLASS_RUNTIME);
        } else if (all_received) {
            report("Error in vexa_http_downloader::download(), blocking read failed but file seems ok.  Keeping "
                   "file.",
                   LOG_CLASS_RUNTIME);
        } else {
            report("Error in vexa_http_downloader::download(), blocking read failed, unknown file state.  "
                   "Deleting file.",
                   LOG_CLASS_RUNTIME);
            discard_output_file();
        }
        close_output_file();
        return 0;
    }
    if (!message_complete) {
        report("Error in vexa_http_downloader::download(), connection closed before all data received.",
               LOG_CLASS_RUNTIME);
        discard_output_file();
        return 0;
    }
    close_output_file();
    return 1;
}

// --- Processor callbacks ---------------------------------------------------------

void vexa_http_downloader::callback_connection_close(vexa_http_data_processor_oline *, void *user_data)
{
    vexa_http_downloader *d = static_cast<vexa_http_downloader *>(user_data);
    if (d)
        d->socket.close_connection();
}

int vexa_http_downloader::callback_message_received(vexa_http_data_processor_oline *processor, void *user_data)
{
    vexa_http_downloader *d = static_cast<vexa_http_downloader *>(user_data);
    if (!d || !processor)
        return 0;
    if (d->destination.is_empty() && !d->data_callback) {
        report("Error in vexa_http_downloader::callback_message_received(), NULL destination file name and NULL "
               "download data callback.",
               LOG_CLASS_USAGE);
        return 0;
    }
    d->received = 0;
    d->expected_length = processor->get_content_length();
    int status = processor->get_status_code();
    if (d->data_callback) {
        if (status == 200)
            return 1;
        report("Warning in vexa_http_downloader::callback_message_received(), download failed in callback mode.",
               LOG_CLASS_RUNTIME);
        return 0;
    }
    if (status != 200) {
        report_with_name("Warning in vexa_http_downloader::callback_message_received(), download failed for file '",
                         d->destination.text(), "'.  Aborting download.");
        return 0;
    }
    d->close_output_file();
    d->output_file = fopen(d->destination.text(), "wb");
    if (d->output_file) {
        d->output_file_created = 1;
        return 1;
    }
    report_with_name("Warning in vexa_http_downloader::callback_message_received(), unable to open output file '",
                     d->destination.text(), "'.  Aborting download.");
    return 0;
}

int vexa_http_downloader::callback_message_complete(vexa_http_data_processor_oline *, void *user_data)
{
    vexa_http_downloader *d = static_cast<vexa_http_downloader *>(user_data);
    if (!d)
        return 0;
    if (d->output_file) {
        // Buffered bytes reach the disk here; a failure now is a failed write.
        int closed = fclose(d->output_file) == 0;
        d->output_file = nullptr;
        if (!closed) {
            report("Warning in vexa_http_downloader::callback_message_complete(), unable to write all data to "
                   "disk.  Bailing.",
                   LOG_CLASS_RUNTIME);
            return 0;
        }
    }
    d->message_complete = 1;
    return 1;
}

int vexa_http_downloader::callback_content_data_received(vexa_http_data_processor_oline *, void *user_data,
                                                         const char *bytes, int count)
{
    vexa_http_downloader *d = static_cast<vexa_http_downloader *>(user_data);
    if (!d || count <= 0)
        return 0;
    if (d->received == 0 && d->progress_callback)
        d->progress_callback(d->user_data, 0, d->expected_length);
    int result;
    if (d->data_callback) {
        result = d->data_callback(d->user_data, bytes, count);
        d->received = add_bytes(d->received, count);
    } else if (d->output_file) {
        size_t written = fwrite(bytes, 1, (size_t)count, d->output_file);
        if (written < (size_t)count) {
            report("Warning in vexa_http_downloader::callback_content_data_received(), unable to write all data to "
                   "disk.  Bailing.",
                   LOG_CLASS_RUNTIME);
            return 0;
        }
        d->received = add_bytes(d->received, (int)written);
        result = 1;
    } else {
        report("Warning in vexa_http_downloader::callback_content_data_received(), attempt to download data via "
               "callback, only no callback set.",
               LOG_CLASS_RUNTIME);
        return 0;
    }
    if (d->progress_callback)
        d->progress_callback(d->user_data, d->received, d->expected_length);
    return result;
}

int vexa_http_downloader::callback_content_body_get_tx_data(vexa_http_data_processor_oline *, void *, char *, int)
{
    report("Error in vexa_http_downloader::callback_content_body_get_tx_data(), this callback should never be "
           "invoked.",
           LOG_CLASS_USAGE);
    return -1;
}
