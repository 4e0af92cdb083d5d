// vexa_http_downloader against a real nginx on 127.0.0.1 (a file with a
// length, chunked and until-close responses, 404, 301) and against the fault
// server (reset, stall, close before the end, close after a body without
// length, bytes after the response); the progress calls, the argument checks
// and the refusals.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "http/http_data_processor.h"
#include "http/http_downloader.h"
#include "runtime/log.h"
#include "tests/support/fault_server.h"
#include "tests/support/nginx_server.h"
#include "tests/support/test_support.h"

namespace {

using progress_log = std::vector<std::pair<int, int>>;

// What the callbacks saw: progress calls and, in callback mode, the body.
struct sink {
    progress_log progress;
    std::string body;
    int data_result = 1;

    static int on_progress(void *u, int received, int expected)
    {
        static_cast<sink *>(u)->progress.push_back({received, expected});
        return 0;
    }
    static int on_data(void *u, const char *bytes, int count)
    {
        sink *s = static_cast<sink *>(u);
        s->body.append(bytes, (size_t)count);
        return s->data_result;
    }
};

std::string pseudo_random_bytes(size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (size_t i = 0; i < n; i++)
        s[i] = (char)(rng() & 0xff);
    return s;
}

bool file_exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

long long now_ms()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

// One file-mode download from 127.0.0.1:port.
int download_file(int port, const std::string &path, const std::string &destination, sink *progress = nullptr)
{
    vexa_http_downloader d;
    EXPECT_EQ(d.set_connection("127.0.0.1", port, 0), 1);
    if (progress)
        d.set_progress_callback(sink::on_progress, progress);
    return d.download("127.0.0.1", path.c_str(), destination.c_str());
}

// One callback-mode download into s->body.
int download_to_sink(int port, const std::string &path, sink *s)
{
    vexa_http_downloader d;
    EXPECT_EQ(d.set_connection("127.0.0.1", port, 0), 1);
    d.set_data_callback(sink::on_data, s);
    d.set_progress_callback(sink::on_progress, s);
    return d.download("127.0.0.1", path.c_str());
}

const size_t big_size = 3 * 1024 * 1024 + 17;

class downloader_nginx : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        root_ = new qv_test::temp_dir;
        server_ = new qv_test::nginx_server;
        big_ = pseudo_random_bytes(big_size, 7);
        ASSERT_TRUE(qv_test::write_file(root_->file("data.bin"), big_));
        ASSERT_TRUE(qv_test::write_file(root_->file("small.txt"), "hello"));
        ASSERT_TRUE(qv_test::write_file(root_->file("a b\xe9.txt"), "spaced"));
        mkdir(root_->file("chunked").c_str(), 0755);
        mkdir(root_->file("until-close").c_str(), 0755);
        ASSERT_TRUE(qv_test::write_file(root_->file("chunked/data.bin"), big_));
        ASSERT_TRUE(qv_test::write_file(root_->file("until-close/data.bin"), big_));
        // The substitution filter drops the length (its pattern never occurs
        // and would be replaced by itself): chunked, or until the close when
        // chunking is off.
        std::string config = "location /chunked/ { sub_filter_types *; sub_filter 'QV-NEVER' 'QV-NEVER'; }\n"
                             "location /until-close/ { sub_filter_types *; sub_filter 'QV-NEVER' 'QV-NEVER';\n"
                             "  chunked_transfer_encoding off; }\n"
                             "location = /old { return 301 /small.txt; }\n";
        ASSERT_TRUE(server_->start(root_->path(), config));
    }
    static void TearDownTestSuite()
    {
        delete server_;
        delete root_;
        server_ = nullptr;
        root_ = nullptr;
    }
    static qv_test::temp_dir *root_;
    static qv_test::nginx_server *server_;
    static std::string big_;
    qv_test::temp_dir out_;
};

qv_test::temp_dir *downloader_nginx::root_ = nullptr;
qv_test::nginx_server *downloader_nginx::server_ = nullptr;
std::string downloader_nginx::big_;

TEST_F(downloader_nginx, length_body_is_identical_in_both_modes)
{
    qv_test::log_capture log;
    sink progress;
    std::string dest = out_.file("data.bin");
    ASSERT_EQ(download_file(server_->port(), "/data.bin", dest, &progress), 1);
    EXPECT_TRUE(qv_test::read_file(dest) == big_);
    ASSERT_GE(progress.progress.size(), 2u);
    EXPECT_EQ(progress.progress.front(), std::make_pair(0, (int)big_size));
    EXPECT_EQ(progress.progress.back(), std::make_pair((int)big_size, (int)big_size));

    sink s;
    ASSERT_EQ(download_to_sink(server_->port(), "/data.bin", &s), 1);
    EXPECT_TRUE(s.body == big_);
    EXPECT_EQ(s.progress.back(), std::make_pair((int)big_size, (int)big_size));
    EXPECT_EQ(log.text(), "");
    const std::string line = "\"GET /data.bin HTTP/1.1\" 200";
    EXPECT_NE(server_->wait_for_access_log(line).find(line), std::string::npos);
}

TEST_F(downloader_nginx, chunked_body_is_decoded_in_both_modes)
{
    sink progress;
    std::string dest = out_.file("chunked.bin");
    ASSERT_EQ(download_file(server_->port(), "/chunked/data.bin", dest, &progress), 1);
    EXPECT_TRUE(qv_test::read_file(dest) == big_);
    EXPECT_EQ(progress.progress.front(), std::make_pair(0, -1));
    EXPECT_EQ(progress.progress.back(), std::make_pair((int)big_size, -1));

    sink s;
    ASSERT_EQ(download_to_sink(server_->port(), "/chunked/data.bin", &s), 1);
    EXPECT_TRUE(s.body == big_);
}

// Without length and chunks the body ends with the connection; the file is
// complete and closed when download returns.
TEST_F(downloader_nginx, body_until_close_is_complete)
{
    std::string dest = out_.file("until.bin");
    ASSERT_EQ(download_file(server_->port(), "/until-close/data.bin", dest), 1);
    std::string got = qv_test::read_file(dest);
    EXPECT_EQ(got.size(), big_size);
    EXPECT_TRUE(got == big_);

    sink s;
    ASSERT_EQ(download_to_sink(server_->port(), "/until-close/data.bin", &s), 1);
    EXPECT_TRUE(s.body == big_);
}

TEST_F(downloader_nginx, escaped_path_reaches_the_file)
{
    std::string dest = out_.file("spaced.txt");
    ASSERT_EQ(download_file(server_->port(), "/a b\xe9.txt", dest), 1);
    EXPECT_EQ(qv_test::read_file(dest), "spaced");
    const std::string line = "\"GET /a%20b%e9.txt HTTP/1.1\" 200";
    EXPECT_NE(server_->wait_for_access_log(line).find(line), std::string::npos);
}

TEST_F(downloader_nginx, status_other_than_200_fails_and_leaves_file_alone)
{
    for (const char *path : {"/missing.bin", "/old"}) {
        qv_test::log_capture log;
        std::string dest = out_.file("keep.txt");
        ASSERT_TRUE(qv_test::write_file(dest, "old contents"));
        EXPECT_EQ(download_file(server_->port(), path, dest), 0) << path;
        EXPECT_EQ(qv_test::read_file(dest), "old contents") << path;
        EXPECT_EQ(log.text(), "Warning in vexa_http_downloader::callback_message_received(), download failed for file '" +
                                  dest +
                                  "'.  Aborting download.\n"
                                  "Error in vexa_http_downloader::download(), http data fetch failed.\n"
                                  "Error in ~vexa_tcp_socket(), socket not closed.\n")
            << path;
    }
    qv_test::log_capture log;
    sink s;
    EXPECT_EQ(download_to_sink(server_->port(), "/old", &s), 0);
    EXPECT_EQ(log.text(), "Warning in vexa_http_downloader::callback_message_received(), download failed in callback "
                          "mode.\n"
                          "Error in vexa_http_downloader::download(), http data fetch failed.\n"
                          "Error in ~vexa_tcp_socket(), socket not closed.\n");
}

TEST_F(downloader_nginx, unopenable_file_and_refusing_callback_fail)
{
    qv_test::log_capture log;
    std::string dest = out_.file("no-such-dir/file");
    EXPECT_EQ(download_file(server_->port(), "/small.txt", dest), 0);
    EXPECT_EQ(log.text(), "Warning in vexa_http_downloader::callback_message_received(), unable to open output file '" +
                              dest +
                              "'.  Aborting download.\n"
                              "Error in vexa_http_downloader::download(), http data fetch failed.\n"
                              "Error in ~vexa_tcp_socket(), socket not closed.\n");
    log.reset();
    sink s;
    s.data_result = 0;
    EXPECT_EQ(download_to_sink(server_->port(), "/small.txt", &s), 0);
    EXPECT_EQ(s.body, "hello");
    EXPECT_EQ(s.progress, (progress_log{{0, 5}, {5, 5}}));
    EXPECT_EQ(log.text(), "Error in vexa_http_downloader::download(), http data fetch failed.\n"
                          "Error in ~vexa_tcp_socket(), socket not closed.\n");
}

// A full disk: a write that fails at once, and one that only fails when the
// file is closed, both fail the download. (The destination is a link to
// /dev/full, so nothing can remove the device.)
TEST_F(downloader_nginx, full_disk_fails_the_download)
{
    std::string dest = out_.file("full");
    ASSERT_EQ(symlink("/dev/full", dest.c_str()), 0);
    qv_test::log_capture log;
    EXPECT_EQ(download_file(server_->port(), "/data.bin", dest), 0);
    EXPECT_EQ(log.text(), "Warning in vexa_http_downloader::callback_content_data_received(), unable to write all "
                          "data to disk.  Bailing.\n"
                          "Error in vexa_http_downloader::download(), http data fetch failed.\n"
                          "Error in ~vexa_tcp_socket(), socket not closed.\n");
    log.reset();
    EXPECT_EQ(download_file(server_->port(), "/small.txt", dest), 0);
    EXPECT_EQ(log.text(), "Warning in vexa_http_downloader::callback_message_complete(), unable to write all data "
                          "to disk.  Bailing.\n"
                          "Error in vexa_http_downloader::download(), http data fetch failed.\n"
                          "Error in ~vexa_tcp_socket(), socket not closed.\n");
}

// --- Fault server ---------------------------------------------------------------

const std::string head_1000 = "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n";
const std::string chunked_head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";

class downloader_faults : public ::testing::Test {
protected:
    qv_test::temp_dir out_;
    qv_test::fault_server server_;
    std::string dest_ = out_.file("download.tmp");
};

TEST_F(downloader_faults, request_is_the_launcher_get)
{
    ASSERT_TRUE(server_.start({qv_test::send_bytes("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok")}));
    vexa_http_downloader d;
    ASSERT_EQ(d.set_connection("127.0.0.1", server_.port(), 0), 1);
    ASSERT_EQ(d.download("update.example", "/downloads/x y", dest_.c_str()), 1);
    EXPECT_EQ(qv_test::read_file(dest_), "ok");
    ASSERT_EQ(server_.requests().size(), 1u);
    EXPECT_EQ(server_.requests()[0], "GET /downloads/x%20y HTTP/1.1\r\nHost: update.example\r\nContent-Length: 0\r\n"
                                     "Accept-Encoding: identity\r\nConnection: close\r\n\r\n");
    // A successful download leaves the socket closed.
    EXPECT_EQ(d.socket.get_state(), (int)TCP_STATE_UNCONNECTED);
}

// An orderly end before the response is complete is a failure; a file this
// download wrote is removed, one it never opened is left alone.
TEST_F(downloader_faults, close_before_the_end_fails)
{
    struct variant {
        const char *name;
        std::string response;
        bool file_was_opened;
    } variants[] = {
        {"before any byte", "", false},
        {"inside the status line", "HTTP/1.1 20", false},
        {"inside the headers", "HTTP/1.1 200 OK\r\nContent-Len", false},
        {"before the length", head_1000 + std::string(400, 'x'), true},
        {"inside a chunk", chunked_head + "10\r\nabc", true},
        {"before the last chunk", chunked_head + "3\r\nabc\r\n", true},
    };
    for (const variant &v : variants) {
        qv_test::log_capture log;
        ASSERT_TRUE(server_.start({qv_test::send_bytes(v.response), qv_test::pause_ms(50), qv_test::close_orderly()}));
        ASSERT_TRUE(qv_test::write_file(dest_, "previous"));
        EXPECT_EQ(download_file(server_.port(), "/f", dest_), 0) << v.name;
        EXPECT_EQ(log.text(), "Error in vexa_http_downloader::download(), connection closed before all data "
                              "received.\n")
            << v.name;
        if (v.file_was_opened) {
            EXPECT_FALSE(file_exists(dest_)) << v.name;
        } else {
            EXPECT_EQ(qv_test::read_file(dest_), "previous") << v.name;
        }

        log.reset();
        sink s;
        EXPECT_EQ(download_to_sink(server_.port(), "/f", &s), 0) << v.name;
        EXPECT_EQ(log.text(), "Error in vexa_http_downloader::download(), connection closed before all data "
                              "received.\n")
            << v.name;
    }
}

// The end of the connection ends a body without length: complete, closed,
// success; an empty one too.
TEST_F(downloader_faults, close_after_body_without_length_succeeds)
{
    for (const std::string &body : {std::string("the whole body\r\n\r\n"), std::string()}) {
        qv_test::log_capture log;
        ASSERT_TRUE(server_.start({qv_test::send_bytes("HTTP/1.1 200 OK\r\n\r\n" + body), qv_test::pause_ms(50),
                                   qv_test::close_orderly()}));
        sink progress;
        ASSERT_EQ(download_file(server_.port(), "/f", dest_, &progress), 1);
        bool exists = false;
        EXPECT_EQ(qv_test::read_file(dest_, &exists), body);
        EXPECT_TRUE(exists);
        if (!body.empty()) {
            EXPECT_EQ(progress.progress.back(), std::make_pair((int)body.size(), -1));
        }
        EXPECT_EQ(log.text(), "");

        sink s;
        ASSERT_EQ(download_to_sink(server_.port(), "/f", &s), 1);
        EXPECT_EQ(s.body, body);
    }
}

TEST_F(downloader_faults, bytes_after_the_response_are_ignored)
{
    ASSERT_TRUE(server_.start({qv_test::send_bytes("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello"
                                                   "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nxyz and more"),
                               qv_test::hold_open()}));
    qv_test::log_capture log;
    ASSERT_EQ(download_file(server_.port(), "/f", dest_), 1);
    EXPECT_EQ(qv_test::read_file(dest_), "hello");
    sink s;
    ASSERT_EQ(download_to_sink(server_.port(), "/f", &s), 1);
    EXPECT_EQ(s.body, "hello");
    EXPECT_EQ(log.text(), "");
}

TEST_F(downloader_faults, reset_mid_body_fails_and_removes_the_file)
{
    ASSERT_TRUE(server_.start({qv_test::send_bytes(head_1000 + std::string(400, 'x')), qv_test::pause_ms(100),
                               qv_test::reset_connection()}));
    qv_test::log_capture log;
    EXPECT_EQ(download_file(server_.port(), "/f", dest_), 0);
    EXPECT_FALSE(file_exists(dest_));
    EXPECT_EQ(log.text(), "Error in vexa_http_downloader::download(), blocking read failed, unknown file state.  "
                          "Deleting file.\n");
    log.reset();
    sink s;
    EXPECT_EQ(download_to_sink(server_.port(), "/f", &s), 0);
    EXPECT_EQ(log.text(), "Error in vexa_http_downloader::download(), blocking read failed, not all bytes read.\n");
}

// A reset before the response header leaves an existing file alone: this
// download never opened it.
TEST_F(downloader_faults, reset_before_the_header_keeps_foreign_file)
{
    ASSERT_TRUE(server_.start({qv_test::send_bytes("HTTP/1.1 200 OK\r\n"), qv_test::pause_ms(50),
                               qv_test::reset_connection()}));
    ASSERT_TRUE(qv_test::write_file(dest_, "previous"));
    qv_test::log_capture log;
    EXPECT_EQ(download_file(server_.port(), "/f", dest_), 0);
    EXPECT_EQ(qv_test::read_file(dest_), "previous");
    EXPECT_EQ(log.text(), "Error in vexa_http_downloader::download(), blocking read failed, unknown file state.  "
                          "Deleting file.\n");
}

int open_descriptors()
{
    int n = 0;
    if (DIR *d = opendir("/proc/self/fd")) {
        while (readdir(d))
            n++;
        closedir(d);
    }
    return n;
}

// A response the processor rejects after the file was opened: the file is
// closed (its bytes are on disk) and left in place.
TEST_F(downloader_faults, output_file_is_closed_on_failure)
{
    qv_test::log_capture log;
    int before = open_descriptors();
    ASSERT_TRUE(server_.start({qv_test::send_bytes(chunked_head + "3\r\nabcX\r\n"), qv_test::hold_open()}));
    EXPECT_EQ(download_file(server_.port(), "/f", dest_), 0);
    server_.stop(); // the server's descriptors are this process's too
    EXPECT_EQ(open_descriptors(), before);
    EXPECT_EQ(qv_test::read_file(dest_), "abc");
    EXPECT_EQ(log.text(), "Error in vexa_http_downloader::download(), http data fetch failed.\n"
                          "Error in ~vexa_tcp_socket(), socket not closed.\n");
}

// A stalled server: the no-data limit (shortened here) ends the download
// with the default path's report and removes the partial file.
TEST_F(downloader_faults, stall_gives_up_after_the_no_data_limit)
{
    {
        vexa_http_downloader fresh;
        EXPECT_EQ(fresh.wait_ms, 5000);
        EXPECT_EQ(fresh.no_data_limit_ms, 30000);
    }
    struct variant {
        const char *name;
        std::string before_stall;
    } variants[] = {
        {"before the response", ""},
        {"inside the body", head_1000 + std::string(100, 'x')},
    };
    for (const variant &v : variants) {
        ASSERT_TRUE(server_.start({qv_test::send_bytes(v.before_stall), qv_test::hold_open()}));
        qv_test::log_capture log;
        vexa_http_downloader d;
        ASSERT_EQ(d.set_connection("127.0.0.1", server_.port(), 0), 1);
        d.set_time_limits(50, 400);
        long long start = now_ms();
        EXPECT_EQ(d.download("127.0.0.1", "/f", dest_.c_str()), 0) << v.name;
        long long took = now_ms() - start;
        EXPECT_GE(took, 400) << v.name;
        EXPECT_LT(took, 5000) << v.name;
        EXPECT_FALSE(file_exists(dest_)) << v.name;
        EXPECT_EQ(log.text(), "Error in vexa_http_downloader::download(), no data for 30 seconds, giving up.\n")
            << v.name;
        d.socket.close_connection();
        server_.stop();
    }
}

TEST_F(downloader_faults, failed_set_connection_refuses_to_connect)
{
    ASSERT_TRUE(server_.start({qv_test::send_bytes("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok")}));
    qv_test::log_capture log;
    {
        vexa_http_downloader d;
        // A name that does not resolve (looked up in /etc/hosts only).
        EXPECT_EQ(d.set_connection("", server_.port(), 0), 0);
        EXPECT_EQ(d.download("127.0.0.1", "/f", dest_.c_str()), 0);
    }
    {
        vexa_http_downloader d;
        EXPECT_EQ(d.download("127.0.0.1", "/f", dest_.c_str()), 0); // never given a connection
    }
    {
        vexa_http_downloader d;
        EXPECT_EQ(d.set_connection(nullptr, server_.port(), 0), 0);
    }
    EXPECT_EQ(log.text(), "Error in vexa_http_downloader::download(), connect failed.\n"
                          "Error in vexa_http_downloader::download(), connect failed.\n"
                          "Error in vexa_http_downloader::set_connection(), NULL host name.\n");
    EXPECT_TRUE(server_.requests().empty());
    EXPECT_FALSE(file_exists(dest_));
}

TEST_F(downloader_faults, refused_connection_fails)
{
    qv_test::log_capture log;
    vexa_http_downloader d;
    ASSERT_EQ(d.set_connection("127.0.0.1", qv_test::free_loopback_port(), 0), 1);
    EXPECT_EQ(d.download("127.0.0.1", "/f", dest_.c_str()), 0);
    EXPECT_NE(log.text().find("Error in vexa_http_downloader::download(), connect failed.\n"), std::string::npos);
    d.socket.close_connection();
}

TEST_F(downloader_faults, argument_checks_touch_nothing)
{
    ASSERT_TRUE(server_.start({qv_test::send_bytes("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok")}));
    qv_test::log_capture log;
    vexa_http_downloader d;
    ASSERT_EQ(d.set_connection("127.0.0.1", server_.port(), 0), 1);
    EXPECT_EQ(d.download(nullptr, "/f", dest_.c_str()), 0);
    EXPECT_EQ(d.download("h", nullptr, dest_.c_str()), 0);
    EXPECT_EQ(d.download("h", "/f", nullptr), 0);
    EXPECT_EQ(d.download("h", "/f"), 0);
    sink s;
    d.set_data_callback(sink::on_data, &s);
    EXPECT_EQ(d.download("h", "/f", dest_.c_str()), 0);
    EXPECT_EQ(log.text(), "Error in vexa_http_downloader::download(), NULL host.\n"
                          "Error in vexa_http_downloader::download(), NULL path.\n"
                          "Error in vexa_http_downloader::download(), NULL destination file name.\n"
                          "Error in vexa_http_downloader::download(), NULL destination file name and NULL download "
                          "data callback.\n"
                          "Error in vexa_http_downloader::download(), attempt to do file based download after "
                          "setting data callback.\n");
    EXPECT_TRUE(server_.requests().empty());
    EXPECT_FALSE(file_exists(dest_));
}

// A processor that fails while handing out the request ends the sending
// with the write report.
TEST_F(downloader_faults, failing_processor_while_sending_is_a_write_failure)
{
    ASSERT_TRUE(server_.start({qv_test::hold_open()}));
    vexa_http_downloader d;
    ASSERT_EQ(d.set_connection("127.0.0.1", server_.port(), 0), 1);
    ASSERT_EQ(d.socket.blocking_connect(&d.server_address, (unsigned short)server_.port(), 2000), 1);
    vexa_http_data_processor_oline p;
    ASSERT_EQ(p.start_http_GET("h", "/"), 1);
    p.error = 1;
    qv_test::log_capture log;
    EXPECT_EQ(d.send_request(&p), 0);
    EXPECT_EQ(log.text(), "Error in vexa_http_downloader::download(), blocking write failed.\n");
    d.socket.close_connection();
}

// --- Callbacks without a network --------------------------------------------------

// A processor wired to a downloader's callbacks, as download does it.
void wire(vexa_http_data_processor_oline &p, vexa_http_downloader &d)
{
    p.set_user_data(&d);
    p.set_connection_close_callback(vexa_http_downloader::callback_connection_close);
    p.set_header_complete_callback(vexa_http_downloader::callback_message_received);
    p.set_message_complete_callback(vexa_http_downloader::callback_message_complete);
    p.set_content_data_callback(vexa_http_downloader::callback_content_data_received);
    p.set_request_body_source(vexa_http_downloader::callback_content_body_get_tx_data);
    p.set_close_after_message();
    ASSERT_EQ(p.start_http_GET("h", "/"), 1);
    char buf[512];
    while (p.get_tx_data(buf, (int)sizeof buf) > 0) {
    }
}

TEST(downloader_callbacks, progress_for_pieces_of_400_400_200)
{
    const progress_log expected = {{0, 1000}, {400, 1000}, {800, 1000}, {1000, 1000}};
    std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n";
    std::string body = pseudo_random_bytes(1000, 3);
    qv_test::temp_dir dir;
    for (int file_mode = 0; file_mode < 2; file_mode++) {
        vexa_http_downloader d;
        sink s;
        if (file_mode) {
            d.destination.append(dir.file("out.bin").c_str());
            d.set_progress_callback(sink::on_progress, &s);
        } else {
            d.set_data_callback(sink::on_data, &s);
            d.set_progress_callback(sink::on_progress, &s);
        }
        vexa_http_data_processor_oline p;
        wire(p, d);
        ASSERT_EQ(p.process_rx_data(head.data(), (int)head.size()), 1);
        for (size_t at : {0, 400, 800}) {
            size_t n = at == 800 ? 200 : 400;
            ASSERT_EQ(p.process_rx_data(body.data() + at, (int)n), 1);
        }
        EXPECT_EQ(s.progress, expected) << (file_mode ? "file mode" : "callback mode");
        EXPECT_EQ(d.received, 1000);
        EXPECT_EQ(d.expected_length, 1000);
        EXPECT_EQ(d.message_complete, 1);
        if (file_mode) {
            EXPECT_EQ(d.output_file, nullptr); // closed at the end of the message
            EXPECT_TRUE(qv_test::read_file(dir.file("out.bin")) == body);
        } else {
            EXPECT_TRUE(s.body == body);
        }
    }
}

TEST(downloader_callbacks, misuse_reports)
{
    qv_test::log_capture log;
    vexa_http_downloader d;
    char buf[8];
    EXPECT_EQ(vexa_http_downloader::callback_content_body_get_tx_data(nullptr, &d, buf, 8), -1);
    vexa_http_data_processor_oline p;
    EXPECT_EQ(vexa_http_downloader::callback_message_received(&p, &d), 0);
    EXPECT_EQ(vexa_http_downloader::callback_content_data_received(&p, &d, "x", 1), 0);
    EXPECT_EQ(vexa_http_downloader::callback_content_data_received(&p, &d, "x", 0), 0);
    EXPECT_EQ(log.text(), "Error in vexa_http_downloader::callback_content_body_get_tx_data(), this callback should "
                          "never be invoked.\n"
                          "Error in vexa_http_downloader::callback_message_received(), NULL destination file name "
                          "and NULL download data callback.\n"
                          "Warning in vexa_http_downloader::callback_content_data_received(), attempt to download "
                          "data via callback, only no callback set.\n");
}

} // namespace
