// The remote manifest fetch: inflating and splitting fed straight into the
// callbacks (whole, byte by byte, random splits), and real fetches from a
// private nginx serving gzip and zlib bodies with a length and chunked.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "tests/support/nginx_server.h"
#include "tests/support/test_support.h"
#include "update/remote_manifest_fetch.h"

using qv_test::log_capture;
using qv_test::temp_dir;
using qv_test::write_file;

namespace {

const std::string hash20 = "0123456789abcdef0123";

enum wrapping { GZIP, ZLIB };

std::string compress_text(const std::string &text, wrapping w, int level = 9)
{
    z_stream s = {};
    EXPECT_EQ(Z_OK, deflateInit2(&s, level, Z_DEFLATED, w == GZIP ? 31 : 15, 9, Z_DEFAULT_STRATEGY));
    std::string out(deflateBound(&s, text.size()) + 64, '\0');
    s.next_in = (Bytef *)text.data();
    s.avail_in = (uInt)text.size();
    s.next_out = (Bytef *)&out[0];
    s.avail_out = (uInt)out.size();
    EXPECT_EQ(Z_STREAM_END, deflate(&s, Z_FINISH));
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

struct listed {
    std::string name, hash;
    int size;
    bool operator==(const listed &o) const { return name == o.name && hash == o.hash && size == o.size; }
};

std::ostream &operator<<(std::ostream &os, const listed &e)
{
    return os << "{" << e.name << ", " << e.hash << ", " << e.size << "}";
}

std::vector<listed> entries_of(const http_fetch_remote_manifest_data &f)
{
    std::vector<listed> out;
    for (const qfu_manifest_entry *e = f.get_head(); e; e = e->next)
        out.push_back({e->name, e->hash, e->size});
    return out;
}

// How a body is cut into the pieces the downloader hands on.
enum split_mode { WHOLE, BYTE_BY_BYTE, RANDOM_SPLITS };

struct feed_result {
    int all_pieces_accepted = 1; // every data callback returned nonzero
    int complete = 0;            // end_data: the compressed data ended
    int count = 0;
    std::vector<listed> entries;
};

// Feeds body as a download would: (0, expected) before the first piece,
// then every piece followed by a progress call. expected -1 acts as a
// chunked response (no length).
feed_result feed(http_fetch_remote_manifest_data &f, const std::string &body, split_mode mode, bool with_length,
                 unsigned seed = 1)
{
    feed_result r;
    EXPECT_EQ(1, f.begin_data());
    int expected = with_length ? (int)body.size() : -1;
    std::mt19937 rng(seed);
    size_t pos = 0;
    bool first = true;
    while (pos < body.size()) {
        size_t n = body.size() - pos;
        if (mode == BYTE_BY_BYTE)
            n = 1;
        else if (mode == RANDOM_SPLITS)
            n = std::min(n, (size_t)(rng() % 300 + 1));
        if (first)
            http_fetch_remote_manifest_data::download_progress_callback(&f, 0, expected);
        first = false;
        if (!http_fetch_remote_manifest_data::download_data_callback(&f, body.data() + pos, (int)n)) {
            r.all_pieces_accepted = 0;
            break;
        }
        pos += n;
        http_fetch_remote_manifest_data::download_progress_callback(&f, (int)pos, expected);
    }
    r.complete = f.end_data();
    r.count = f.count;
    r.entries = entries_of(f);
    return r;
}

const split_mode all_modes[] = {WHOLE, BYTE_BY_BYTE, RANDOM_SPLITS};

std::string syntax_report(const std::string &problem, const std::string &line)
{
    return "Syntax error in downloaded data - " + problem + " for line:\n" + line + "\n";
}

} // namespace

TEST(FetchData, EntriesInServerOrderWhateverTheSplits)
{
    std::string text = "# published manifest\n" + hash20 + " 100 client-100\n\n#\n  " + hash20 +
                       "1 99 client-099\n" + "ffffffffff 5 dir/name with spaces\n";
    std::vector<listed> expected = {
        {"client-100", hash20, 100}, {"client-099", hash20 + "1", 99}, {"dir/name with spaces", "ffffffffff", 5}};
    std::string no_final_lf = text.substr(0, text.size() - 1);
    for (wrapping w : {GZIP, ZLIB})
        for (const std::string *t : {&text, &no_final_lf})
            for (bool with_length : {true, false})
                for (split_mode mode : all_modes) {
                    http_fetch_remote_manifest_data f;
                    feed_result r = feed(f, compress_text(*t, w), mode, with_length, (unsigned)mode + 7);
                    SCOPED_TRACE(testing::Message() << "gzip " << (w == GZIP) << " final LF " << (t == &text)
                                                    << " length " << with_length << " mode " << mode);
                    EXPECT_EQ(1, r.all_pieces_accepted);
                    EXPECT_EQ(1, r.complete);
                    EXPECT_EQ(3, r.count);
                    EXPECT_EQ(expected, r.entries);
                }
}

TEST(FetchData, CrLfNamesKeepTheirCrAndLongLinesAreCut)
{
    std::string long_name(7000, 'n');
    std::string text = hash20 + " 1 first\r\n" + hash20 + " 2 " + long_name + "\r\n";
    for (split_mode mode : all_modes) {
        http_fetch_remote_manifest_data f;
        feed_result r = feed(f, compress_text(text, GZIP), mode, true);
        ASSERT_EQ(2, r.count) << mode;
        EXPECT_EQ("first\r", r.entries[0].name);
        // The line keeps its first 5999 characters: hash, size and 5976 of the name.
        EXPECT_EQ(std::string(5999 - 23, 'n'), r.entries[1].name) << mode;
    }
}

TEST(FetchData, SmallBodyInflatingPastOneWindow)
{
    std::string text;
    std::vector<listed> expected;
    for (int i = 0; text.size() < 5 * 65536; i++) {
        // A cycle of 40 lines compresses well.
        std::string name = "client-" + std::to_string(i % 40) + "-padding-padding-padding-padding";
        text += hash20 + " " + std::to_string(i % 40) + " " + name + "\n";
        expected.push_back({name, hash20, i % 40});
    }
    std::string body = compress_text(text, GZIP);
    ASSERT_LE(body.size(), 8192u);
    for (split_mode mode : {WHOLE, RANDOM_SPLITS}) {
        http_fetch_remote_manifest_data f;
        feed_result r = feed(f, body, mode, false);
        EXPECT_EQ(1, r.complete);
        EXPECT_EQ(expected, r.entries) << mode;
    }
}

TEST(FetchData, SyntaxErrorDropsEveryEntry)
{
    std::string bad = hash20 + " 2";
    // In the second line, and in a last line without LF: both fail the body.
    for (const std::string &text : {hash20 + " 1 one\n" + bad + "\n" + hash20 + " 3 three\n", hash20 + " 1 one\n" + bad})
        for (split_mode mode : all_modes) {
            log_capture cap;
            http_fetch_remote_manifest_data f;
            feed_result r = feed(f, compress_text(text, GZIP), mode, true);
            EXPECT_EQ(0, r.all_pieces_accepted) << mode;
            EXPECT_EQ(0, r.count);
            EXPECT_EQ(nullptr, f.get_head());
            EXPECT_EQ(syntax_report("missing file name", bad), cap.text());
        }
}

TEST(FetchData, NotCompressedCutShortAndTrailingBytes)
{
    std::string text = hash20 + " 1 one\n" + hash20 + " 2 two\n";
    {
        log_capture cap;
        http_fetch_remote_manifest_data f;
        feed_result r = feed(f, text, WHOLE, true);
        EXPECT_EQ(0, r.all_pieces_accepted);
        EXPECT_EQ("Error in http_fetch_remote_manifest_data::download_data_callback(), ZLip inflate failed?\n",
                  cap.text());
    }
    {
        // Cut inside the stream: the data never completes.
        std::string body = compress_text(text, GZIP);
        http_fetch_remote_manifest_data f;
        feed_result r = feed(f, body.substr(0, body.size() - 6), WHOLE, false);
        EXPECT_EQ(0, r.complete);
    }
    {
        // Whatever follows the stream is ignored.
        http_fetch_remote_manifest_data f;
        feed_result r = feed(f, compress_text(text, ZLIB) + "trailing junk", BYTE_BY_BYTE, true);
        EXPECT_EQ(1, r.all_pieces_accepted);
        EXPECT_EQ(1, r.complete);
        EXPECT_EQ(2, r.count);
    }
}

TEST(FetchData, ProgressIsPassedOnAndRefetchStartsAfresh)
{
    struct seen {
        std::vector<std::pair<int, int>> calls;
    } progress;
    auto cb = [](void *user, int received, int expected) -> int {
        static_cast<seen *>(user)->calls.push_back({received, expected});
        return 7;
    };
    http_fetch_remote_manifest_data f;
    f.set_progress_user_data(&progress);
    f.set_progress_callback(cb);
    EXPECT_EQ(7, http_fetch_remote_manifest_data::download_progress_callback(&f, 3, 10));
    EXPECT_EQ((std::vector<std::pair<int, int>>{{3, 10}}), progress.calls);

    feed(f, compress_text(hash20 + " 1 one\n" + hash20 + " 2 two\n", GZIP), WHOLE, true);
    EXPECT_EQ(2, f.count);
    feed_result r = feed(f, compress_text(hash20 + " 3 three\n", GZIP), WHOLE, true);
    EXPECT_EQ((std::vector<listed>{{"three", hash20, 3}}), r.entries);

    // Data outside a fetch is refused, not inflated into a dead stream.
    log_capture cap;
    EXPECT_EQ(0, http_fetch_remote_manifest_data::download_data_callback(&f, "x", 1));
    EXPECT_NE(std::string::npos, cap.text().find("no fetch under way"));
}

// --- Against a real server -----------------------------------------------------------

class FetchServer : public testing::Test {
protected:
    temp_dir root;
    qv_test::nginx_server server;

    void SetUp() override
    {
        mkdir(root.file("downloads").c_str(), 0755);
        mkdir(root.file("downloads/chunked").c_str(), 0755);
        // The sub filter drops the length, so nginx answers chunked.
        ASSERT_TRUE(server.start(root.path(), "location /downloads/chunked/ { sub_filter_types *; "
                                              "sub_filter 'QV-NEVER-MATCHES' 'x'; }"));
    }

    void publish(const std::string &path, const std::string &content)
    {
        ASSERT_TRUE(write_file(root.file(path), content));
    }

    int fetch(http_fetch_remote_manifest_data &f, const std::string &path)
    {
        f.set_port(server.port());
        return f.fetch("127.0.0.1", path.c_str());
    }
};

TEST_F(FetchServer, GzipAndZlibWithLengthAndChunked)
{
    std::string text = "# list\n" + hash20 + " 100 client-100\n" + hash20 + " 99 client-099\n" + hash20 + " 5 old";
    std::vector<listed> expected = {{"client-100", hash20, 100}, {"client-099", hash20, 99}, {"old", hash20, 5}};
    publish("downloads/m.gz", compress_text(text, GZIP));
    publish("downloads/m.z", compress_text(text, ZLIB));
    publish("downloads/chunked/m.gz", compress_text(text, GZIP));
    for (const char *path : {"/downloads/m.gz", "/downloads/m.z", "/downloads/chunked/m.gz"}) {
        http_fetch_remote_manifest_data f;
        EXPECT_EQ(3, fetch(f, path)) << path;
        EXPECT_EQ(expected, entries_of(f)) << path;
    }
    std::string log = server.access_log();
    EXPECT_NE(std::string::npos, log.find("\"GET /downloads/m.gz HTTP/1.1\" 200"));
    EXPECT_NE(std::string::npos, log.find("\"GET /downloads/chunked/m.gz HTTP/1.1\" 200"));
}

TEST_F(FetchServer, LargeBodyProgressAndFailures)
{
    std::string text;
    for (int i = 0; i < 20000; i++)
        text += hash20 + std::to_string(i * 7919 % 10007) + " " + std::to_string(i) + " file-" + std::to_string(i) + "\n";
    std::string body = compress_text(text, GZIP);
    publish("downloads/big.gz", body);
    struct seen {
        int calls = 0, last_received = -2, last_expected = -2;
    } progress;
    http_fetch_remote_manifest_data f;
    f.set_progress_user_data(&progress);
    f.set_progress_callback([](void *user, int received, int expected) -> int {
        seen *s = static_cast<seen *>(user);
        s->calls++;
        s->last_received = received;
        s->last_expected = expected;
        return 0;
    });
    EXPECT_EQ(20000, fetch(f, "/downloads/big.gz"));
    EXPECT_EQ(std::string("file-19999"), entries_of(f).back().name);
    EXPECT_GT(progress.calls, 2);
    EXPECT_EQ((int)body.size(), progress.last_received);
    EXPECT_EQ((int)body.size(), progress.last_expected);

    // Each failure leaves no entries behind.
    std::string two = hash20 + " 1 one\n" + hash20 + " 2 two\n";
    std::string gz = compress_text(two, GZIP);
    publish("downloads/plain.txt", two);
    publish("downloads/cut.gz", gz.substr(0, gz.size() - 8));
    publish("downloads/bad-line.gz", compress_text(hash20 + " 1 one\nnot a line\n" + hash20 + " 2 two\n", GZIP));
    struct {
        const char *path;
        const char *report;
    } failures[] = {
        {"/downloads/missing.gz", "Warning in vexa_http_downloader::callback_message_received(), download failed in "
                                  "callback mode."},
        {"/downloads/plain.txt", "Error in http_fetch_remote_manifest_data::download_data_callback(), ZLip inflate "
                                 "failed?"},
        {"/downloads/cut.gz", "Error in http_fetch_remote_manifest_data::fetch(), compressed data ended early."},
        {"/downloads/bad-line.gz", "Syntax error in downloaded data - bad or missing hash field for line:\nnot a line"},
    };
    for (const auto &c : failures) {
        log_capture cap;
        EXPECT_EQ(-1, fetch(f, c.path)) << c.path;
        EXPECT_EQ(nullptr, f.get_head());
        EXPECT_EQ(0, f.count);
        EXPECT_NE(std::string::npos, cap.text().find(c.report)) << c.path << "\n" << cap.text();
    }
}

TEST_F(FetchServer, NothingListening)
{
    int port = qv_test::free_loopback_port();
    log_capture cap;
    http_fetch_remote_manifest_data f;
    f.set_port(port);
    EXPECT_EQ(-1, f.fetch("127.0.0.1", "/downloads/m.gz"));
    EXPECT_NE(std::string::npos, cap.text().find("Error in vexa_http_downloader::download(), connect failed."));
    EXPECT_EQ(-1, f.fetch(nullptr, "/x"));
}
