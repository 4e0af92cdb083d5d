// Downloads one resource from 127.0.0.1 with vexa_http_downloader and prints
// how long the download took, for download_vs_curl.sh.
//
//   http_download_tool <port> <path> <destination file | ->
//
// "-" receives the body in callback mode and discards it. Prints
// "bytes <n> seconds <s>" on success (exit 0); reports go to standard error.
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include "http/http_downloader.h"
#include "runtime/log.h"

namespace {

struct totals {
    long long bytes = 0;
};

int discard(void *user, const char *, int count)
{
    static_cast<totals *>(user)->bytes += count;
    return 1;
}

double now_seconds()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: %s <port> <path> <destination file | ->\n", argv[0]);
        return 2;
    }
    vexa_client_open_debug_logfile("/dev/stderr");
    int port = atoi(argv[1]);
    const char *path = argv[2];
    const char *destination = argv[3];
    bool to_file = destination[0] != '-' || destination[1] != 0;

    totals t;
    double start = now_seconds();
    int ok;
    {
        vexa_http_downloader d;
        d.set_connection("127.0.0.1", port, 0);
        if (to_file) {
            ok = d.download("127.0.0.1", path, destination);
            t.bytes = d.received;
        } else {
            d.set_data_callback(discard, &t);
            ok = d.download("127.0.0.1", path);
        }
    }
    double seconds = now_seconds() - start;
    if (!ok) {
        fprintf(stderr, "download failed\n");
        return 1;
    }
    printf("bytes %lld seconds %.6f\n", t.bytes, seconds);
    return 0;
}
