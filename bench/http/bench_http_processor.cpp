// Receiving-side throughput of vexa_http_data_processor_oline: a 64 MiB body
// with a Content-Length and a chunked 64 MiB body, both handed over in 8 KiB
// pieces (MB/s), and the parsing of a typical response header block without
// body (responses/s). Body bytes are handed on without being copied and the
// callback does not touch them, so the body figures are the parser's own cost
// per piece.
#include <benchmark/benchmark.h>

#include <stdio.h>

#include <string>

#include "http/http_data_processor.h"

namespace {

const size_t body_size = 64u << 20;
const size_t piece_size = 8192;
const size_t chunk_size = 16384;

struct counter {
    size_t body = 0;
    int messages = 0;
    static int header(vexa_http_data_processor_oline *, void *) { return 1; }
    static int message(vexa_http_data_processor_oline *, void *u)
    {
        static_cast<counter *>(u)->messages++;
        return 1;
    }
    static int data(vexa_http_data_processor_oline *, void *u, const char *, int count)
    {
        static_cast<counter *>(u)->body += (size_t)count;
        return 1;
    }
    void attach(vexa_http_data_processor_oline &p)
    {
        p.set_user_data(this);
        p.set_header_complete_callback(header);
        p.set_message_complete_callback(message);
        p.set_content_data_callback(data);
    }
};

// A client processor that has sent its GET (persistent connection).
void start_client(vexa_http_data_processor_oline &p)
{
    p.start_http_GET("127.0.0.1", "/big.bin");
    char buf[512];
    while (p.get_tx_data(buf, (int)sizeof buf) > 0) {
    }
}

const std::string &length_response()
{
    static std::string r;
    if (r.empty()) {
        r = "HTTP/1.1 200 OK\r\nServer: nginx/1.22.1\r\nContent-Type: application/octet-stream\r\n"
            "Content-Length: " + std::to_string(body_size) + "\r\nConnection: keep-alive\r\n\r\n";
        r.append(body_size, 'x');
    }
    return r;
}

const std::string &chunked_response()
{
    static std::string r;
    if (r.empty()) {
        r = "HTTP/1.1 200 OK\r\nServer: nginx/1.22.1\r\nContent-Type: application/octet-stream\r\n"
            "Transfer-Encoding: chunked\r\nConnection: keep-alive\r\n\r\n";
        char line[32];
        snprintf(line, sizeof line, "%zx\r\n", chunk_size);
        for (size_t done = 0; done < body_size; done += chunk_size) {
            r += line;
            r.append(chunk_size, 'x');
            r += "\r\n";
        }
        r += "0\r\n\r\n";
    }
    return r;
}

void feed_in_pieces(benchmark::State &state, const std::string &response)
{
    for (auto _ : state) {
        vexa_http_data_processor_oline p;
        counter c;
        c.attach(p);
        start_client(p);
        for (size_t at = 0; at < response.size(); at += piece_size) {
            size_t n = response.size() - at < piece_size ? response.size() - at : piece_size;
            if (p.process_rx_data(response.data() + at, (int)n) < 0) {
                state.SkipWithError("process_rx_data failed");
                return;
            }
        }
        if (c.body != body_size || c.messages != 1) {
            state.SkipWithError("wrong body");
            return;
        }
        benchmark::DoNotOptimize(c.body);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)body_size);
}

void BM_content_length_body(benchmark::State &state)
{
    feed_in_pieces(state, length_response());
}
BENCHMARK(BM_content_length_body)->Unit(benchmark::kMillisecond);

void BM_chunked_body(benchmark::State &state)
{
    feed_in_pieces(state, chunked_response());
}
BENCHMARK(BM_chunked_body)->Unit(benchmark::kMillisecond);

// One header block as nginx sends it for an empty file, parsed over and over
// on one persistent connection.
void BM_header_parsing(benchmark::State &state)
{
    const std::string response = "HTTP/1.1 200 OK\r\nServer: nginx/1.22.1\r\n"
                                 "Date: Fri, 11 Dec 2026 10:02:11 GMT\r\n"
                                 "Content-Type: application/octet-stream\r\nContent-Length: 0\r\n"
                                 "Last-Modified: Fri, 11 Dec 2026 09:58:40 GMT\r\nConnection: keep-alive\r\n"
                                 "ETag: \"6939a5a0-0\"\r\nAccept-Ranges: bytes\r\n\r\n";
    vexa_http_data_processor_oline p;
    counter c;
    c.attach(p);
    start_client(p);
    for (auto _ : state) {
        if (p.process_rx_data(response.data(), (int)response.size()) < 0) {
            state.SkipWithError("process_rx_data failed");
            return;
        }
    }
    if (c.messages != (int)state.iterations())
        state.SkipWithError("wrong message count");
    state.SetItemsProcessed((int64_t)state.iterations());
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)response.size());
}
BENCHMARK(BM_header_parsing);

} // namespace

BENCHMARK_MAIN();
