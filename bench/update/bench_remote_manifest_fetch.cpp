// The remote manifest fetch path without a network: a 100,000-line gzip
// manifest handed in 8 KiB pieces (as the downloader hands on socket reads)
// to the fetch object's data and progress callbacks, which inflate, split and
// parse it into entries, freed again with the object. Beside it, in the same
// run, plain zlib inflation of the same data in the same pieces into the same
// 64 KiB window. The figure is the ratio of the two throughputs; the goal is
// at least 0.85 (the line handling may cost at most 15% on top of inflation).
#include <benchmark/benchmark.h>

#include <stdio.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <string>

#include "update/remote_manifest_fetch.h"

namespace {

// Lines of the benchmark manifest.
const int manifest_lines = 100000;
// Body piece handed to the callbacks, the downloader's read size.
const int piece_size = 8192;

struct manifest_data {
    std::string text;       // inflated manifest text
    std::string compressed; // its gzip form

    manifest_data()
    {
        // Hash texts like hex digests (random, so they compress as poorly as
        // real ones), sizes of client executables, versioned names.
        std::mt19937 rng(20240611);
        const char *hex = "0123456789abcdef";
        text = "# This manifest lists every published client build, newest first.\n";
        for (int i = 0; i < manifest_lines - 1; i++) {
            char hash[41];
            for (int k = 0; k < 40; k++)
                hash[k] = hex[rng() & 15];
            hash[40] = 0;
            char line[160];
            snprintf(line, sizeof line, "%s %10d kestrel_client_%06d_linux32%s\n", hash, (int)(rng() % 40000000),
                     manifest_lines - i, i % 10 == 0 ? "-beta" : "");
            text += line;
        }
        z_stream s = {};
        deflateInit2(&s, 9, Z_DEFLATED, 31, 9, Z_DEFAULT_STRATEGY);
        compressed.resize(deflateBound(&s, text.size()) + 64);
        s.next_in = (Bytef *)text.data();
        s.avail_in = (uInt)text.size();
        s.next_out = (Bytef *)&compressed[0];
        s.avail_out = (uInt)compressed.size();
        deflate(&s, Z_FINISH);
        compressed.resize(s.total_out);
        deflateEnd(&s);
    }
};

const manifest_data &data()
{
    static manifest_data d;
    return d;
}

// Best time of one pass of each, in seconds, for the ratio line.
double best_inflate = 1e9;
double best_fetch = 1e9;

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void set_counters(benchmark::State &state, double lines)
{
    const manifest_data &d = data();
    state.counters["lines/s"] = benchmark::Counter(lines * (double)state.iterations(), benchmark::Counter::kIsRate);
    state.counters["inflated_MB/s"] = benchmark::Counter((double)d.text.size() * (double)state.iterations() / 1e6,
                                                         benchmark::Counter::kIsRate);
}

void BM_PlainInflate(benchmark::State &state)
{
    const manifest_data &d = data();
    size_t total = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        z_stream s = {};
        inflateInit2(&s, MANIFEST_INFLATE_WINDOW_BITS);
        total = 0;
        for (size_t pos = 0; pos < d.compressed.size(); pos += piece_size) {
            s.next_in = (Bytef *)d.compressed.data() + pos;
            s.avail_in = (uInt)std::min((size_t)piece_size, d.compressed.size() - pos);
            int result;
            do {
                unsigned char window[MANIFEST_INFLATE_WINDOW_SIZE];
                s.next_out = window;
                s.avail_out = sizeof window;
                result = inflate(&s, Z_NO_FLUSH);
                total += sizeof window - s.avail_out;
                benchmark::DoNotOptimize(window[0]);
            } while (result == Z_OK);
        }
        inflateEnd(&s);
        best_inflate = std::min(best_inflate, seconds_since(start));
    }
    if (total != d.text.size())
        state.SkipWithError("inflation did not give the manifest text");
    set_counters(state, manifest_lines);
}
BENCHMARK(BM_PlainInflate)->Unit(benchmark::kMillisecond);

void BM_FetchPath(benchmark::State &state)
{
    const manifest_data &d = data();
    int entries = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        {
            http_fetch_remote_manifest_data fetch;
            fetch.begin_data();
            int expected = (int)d.compressed.size();
            http_fetch_remote_manifest_data::download_progress_callback(&fetch, 0, expected);
            for (size_t pos = 0; pos < d.compressed.size(); pos += piece_size) {
                int n = (int)std::min((size_t)piece_size, d.compressed.size() - pos);
                http_fetch_remote_manifest_data::download_data_callback(&fetch, d.compressed.data() + pos, n);
                http_fetch_remote_manifest_data::download_progress_callback(&fetch, (int)pos + n, expected);
            }
            fetch.end_data();
            entries = fetch.count;
        } // the entries are freed here, as at the end of an update run
        best_fetch = std::min(best_fetch, seconds_since(start));
    }
    if (entries != manifest_lines - 1)
        state.SkipWithError("the fetch path did not parse every line");
    set_counters(state, manifest_lines);
}
BENCHMARK(BM_FetchPath)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    const manifest_data &d = data();
    printf("manifest: %d lines, %zu bytes inflated, %zu bytes gzip, %d-byte pieces\n", manifest_lines, d.text.size(),
           d.compressed.size(), piece_size);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (best_inflate < 1e9 && best_fetch < 1e9) {
        double mb = (double)d.text.size() / 1e6;
        printf("plain inflate: %.1f MB/s; fetch path (inflate, split, parse, free): %.1f MB/s, %.0f lines/s\n",
               mb / best_inflate, mb / best_fetch, manifest_lines / best_fetch);
        printf("fetch path / plain inflate throughput ratio: %.3f (goal 0.85 or more)\n", best_inflate / best_fetch);
    }
    return 0;
}
