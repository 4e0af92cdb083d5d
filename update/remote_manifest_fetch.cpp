// Remote manifest fetch (see remote_manifest_fetch.h).
#include "update/remote_manifest_fetch.h"

#include <string.h>

#include "http/http_downloader.h"
#include "runtime/log.h"

static void report(const char *text, int class_bits)
{
    log_report(text, class_bits, LOG_MODULE_MANIFEST);
}

http_fetch_remote_manifest_data::http_fetch_remote_manifest_data()
    : head(nullptr), tail(&head), count(0), progress_user_data(nullptr), progress_callback(nullptr),
      port(MANIFEST_DEFAULT_PORT), stream_open(0), stream_ended(0)
{
    memset(&stream, 0, sizeof stream);
}

http_fetch_remote_manifest_data::~http_fetch_remote_manifest_data()
{
    end_data();
    discard_entries();
}

void http_fetch_remote_manifest_data::discard_entries()
{
    qfu_free_manifest_entry_list(head);
    head = nullptr;
    tail = &head;
    count = 0;
}

int http_fetch_remote_manifest_data::begin_data()
{
    end_data();
    discard_entries();
    line.clear();
    stream_ended = 0;
    memset(&stream, 0, sizeof stream); // zlib's default allocator, no input
    if (inflateInit2(&stream, MANIFEST_INFLATE_WINDOW_BITS) != Z_OK)
        return 0;
    stream_open = 1;
    return 1;
}

int http_fetch_remote_manifest_data::end_data()
{
    if (stream_open) {
        inflateEnd(&stream);
        stream_open = 0;
    }
    return stream_ended;
}

int http_fetch_remote_manifest_data::fetch(const char *host, const char *path)
{
    if (!host || !path) {
        report("Error in http_fetch_remote_manifest_data::fetch(), NULL host or path.", LOG_CLASS_USAGE);
        return -1;
    }
    if (!begin_data())
        return -1;
    int ok;
    {
        vexa_http_downloader downloader;
        downloader.set_progress_callback(download_progress_callback, this);
        downloader.set_data_callback(download_data_callback, this);
        downloader.set_connection(host, port, 0); // a failed lookup makes download refuse
        ok = downloader.download(host, path);
    }
    int complete = end_data();
    if (ok && !complete) {
        // A body that stops inside the compressed stream would hand out a
        // cut list, perhaps with a cut last name.
        report("Error in http_fetch_remote_manifest_data::fetch(), compressed data ended early.", LOG_CLASS_RUNTIME);
        ok = 0;
    }
    if (!ok) {
        discard_entries();
        return -1;
    }
    return count;
}

int http_fetch_remote_manifest_data::download_data_callback(void *user_data, const char *bytes, int count)
{
    http_fetch_remote_manifest_data *fetch = (http_fetch_remote_manifest_data *)user_data;
    if (!fetch || !bytes || !fetch->stream_open) {
        report("Error in http_fetch_remote_manifest_data::download_data_callback(), no fetch under way.",
               LOG_CLASS_USAGE);
        return 0;
    }
    if (count <= 0)
        return 1;
    z_stream *stream = &fetch->stream;
    stream->next_in = (Bytef *)bytes;
    stream->avail_in = (uInt)count;
    for (;;) {
        unsigned char window[MANIFEST_INFLATE_WINDOW_SIZE];
        stream->next_out = window;
        stream->avail_out = (uInt)sizeof window;
        int result = inflate(stream, Z_NO_FLUSH);
        if (result == Z_BUF_ERROR)
            return 1; // the piece is used up
        if (result != Z_OK && result != Z_STREAM_END) {
            report("Error in http_fetch_remote_manifest_data::download_data_callback(), ZLip inflate failed?",
                   LOG_CLASS_RUNTIME);
            return 0;
        }
        if (!fetch->split_lines(window, (int)(sizeof window - stream->avail_out)))
            return 0;
        if (result == Z_STREAM_END) {
            // The end of the compressed text ends its last line, LF or not.
            // Whatever follows the stream is ignored.
            fetch->stream_ended = 1;
            if (fetch->line.length > 0 && !fetch->finish_line(fetch->line.data, fetch->line.length))
                return 0;
            return 1;
        }
    }
}

int http_fetch_remote_manifest_data::download_progress_callback(void *user_data, int received, int expected)
{
    http_fetch_remote_manifest_data *fetch = (http_fetch_remote_manifest_data *)user_data;
    if (!fetch)
        return 0;
    if (received == expected && fetch->line.length > 0)
        fetch->finish_line(fetch->line.data, fetch->line.length);
    if (fetch->progress_callback)
        return fetch->progress_callback(fetch->progress_user_data, received, expected);
    return 0;
}

int http_fetch_remote_manifest_data::split_lines(const unsigned char *bytes, int length)
{
    const unsigned char *p = bytes;
    const unsigned char *end = bytes + length;
    while (p < end) {
        const unsigned char *lf = (const unsigned char *)memchr(p, '\n', (size_t)(end - p));
        const unsigned char *stop = lf ? lf : end;
        int run = (int)(stop - p);
        if (lf && line.length == 0) {
            // A whole line inside the piece is parsed where it lies; like one
            // gone through the buffer it keeps its first 5999 characters.
            if (!finish_line((const char *)p, run < TEXT_BUFFER_MAX_CHARS ? run : TEXT_BUFFER_MAX_CHARS))
                return 0;
        } else {
            int room = TEXT_BUFFER_MAX_CHARS - line.length;
            int take = run < room ? run : room;
            memcpy(line.data + line.length, p, (size_t)take);
            line.length += take;
            line.data[line.length] = 0;
            if (lf && !finish_line(line.data, line.length))
                return 0;
        }
        if (!lf)
            break;
        p = lf + 1;
    }
    return 1;
}

int http_fetch_remote_manifest_data::finish_line(const char *text, int length)
{
    qfu_manifest_entry *entry = nullptr;
    int ok = parse_manifest_text(MANIFEST_LABEL_DOWNLOADED, text, length, &entry);
    line.clear();
    if (!ok) {
        discard_entries();
        return 0;
    }
    if (entry) {
        *tail = entry;
        tail = &entry->next;
        count++;
    }
    return 1;
}
