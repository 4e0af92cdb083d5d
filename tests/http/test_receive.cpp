// The receiving side of vexa_http_data_processor_oline: a table of incoming
// byte streams for the client and the server side, each fed whole, one byte
// at a time and in random splits, must give the same callbacks, the same
// result and the same queued answer. Then the reports, the callback results,
// the version numbers and finish_message.
#include <gtest/gtest.h>

#include <string.h>

#include <random>
#include <string>
#include <vector>

#include "http/http_data_processor.h"
#include "runtime/log.h"
#include "tests/support/test_support.h"

namespace {

// Turns library reports off for a scope (cases that provoke warnings on
// purpose and check only what they do).
struct quiet_reports {
    quiet_reports() { log_disable_reports(); }
    ~quiet_reports() { log_enable_reports(); }
};

// Records the callbacks as short events: "H<status>" (a request adds its
// method, path, query and host), "D:<body bytes>" (consecutive pieces joined,
// since their sizes depend on the split), "M" and "C".
struct recorder {
    std::vector<std::string> events;
    int header_result = 1;
    int message_result = 1;
    int data_result = 1;
    int data_calls = 0;

    static int on_header(vexa_http_data_processor_oline *p, void *u)
    {
        recorder *r = static_cast<recorder *>(u);
        std::string e = "H" + std::to_string(p->get_status_code());
        if (p->get_status_code() <= 0) {
            e += std::string(" ") + p->method_received + " " + p->path;
            if (p->query[0])
                e += std::string("?") + p->query;
            if (p->host[0])
                e += std::string(" @") + p->host;
        }
        r->events.push_back(e);
        return r->header_result;
    }
    static int on_message(vexa_http_data_processor_oline *, void *u)
    {
        recorder *r = static_cast<recorder *>(u);
        r->events.push_back("M");
        return r->message_result;
    }
    static int on_data(vexa_http_data_processor_oline *, void *u, const char *bytes, int count)
    {
        recorder *r = static_cast<recorder *>(u);
        r->data_calls++;
        if (r->events.empty() || r->events.back().compare(0, 2, "D:") != 0)
            r->events.push_back("D:");
        r->events.back().append(bytes, (size_t)count);
        return r->data_result;
    }
    static void on_close(vexa_http_data_processor_oline *, void *u)
    {
        static_cast<recorder *>(u)->events.push_back("C");
    }
    void attach(vexa_http_data_processor_oline &p)
    {
        p.set_user_data(this);
        p.set_header_complete_callback(on_header);
        p.set_message_complete_callback(on_message);
        p.set_content_data_callback(on_data);
        p.set_connection_close_callback(on_close);
    }
    std::string joined() const
    {
        std::string s;
        for (const std::string &e : events)
            s += (s.empty() ? "" : "|") + e;
        return s;
    }
};

std::string drain(vexa_http_data_processor_oline &p)
{
    std::string out;
    char buf[1024];
    for (int i = 0; i < 100000; i++) {
        int n = p.get_tx_data(buf, (int)sizeof buf);
        if (n <= 0)
            break;
        out.append(buf, (size_t)n);
    }
    return out;
}

enum setup_kind {
    GET_CLOSE,     // the launcher's request: GET with "Connection: close"
    GET_KEEPALIVE, // GET on a persistent connection
    HEAD_CLOSE,    // HEAD with "Connection: close"
    SERVER         // no request composed: the processor parses requests
};

// Splits input into pieces: whole, single bytes, or random sizes.
std::vector<std::string> split(const std::string &input, int mode, unsigned seed)
{
    std::vector<std::string> pieces;
    if (mode == 0) {
        pieces.push_back(input);
    } else if (mode == 1) {
        for (char c : input)
            pieces.push_back(std::string(1, c));
    } else {
        std::mt19937 rng(seed);
        size_t at = 0;
        while (at < input.size()) {
            size_t most = input.size() / 3 + 1;
            size_t n = std::uniform_int_distribution<size_t>(1, most)(rng);
            n = std::min(n, input.size() - at);
            pieces.push_back(input.substr(at, n));
            at += n;
        }
    }
    return pieces;
}

struct outcome {
    std::string events; // recorder events and " =ok", " =fail" or " =stopped"
    std::string tx;     // what the processor queued after the request
};

outcome run_case(setup_kind setup, bool finish, const std::vector<std::string> &pieces)
{
    vexa_http_data_processor_oline p;
    recorder r;
    r.attach(p);
    if (setup == GET_CLOSE || setup == HEAD_CLOSE)
        p.set_close_after_message();
    if (setup == GET_CLOSE || setup == GET_KEEPALIVE) {
        EXPECT_EQ(p.start_http_GET("h", "/"), 1);
    }
    if (setup == HEAD_CLOSE) {
        EXPECT_EQ(p.start_http_HEAD("h", "/"), 1);
    }
    if (setup != SERVER)
        drain(p); // the request itself
    std::string result = "ok";
    for (const std::string &piece : pieces) {
        int rc = p.process_rx_data(piece.data(), (int)piece.size());
        if (rc < 0) {
            result = "fail";
            break;
        }
        if (rc == 0) {
            result = "stopped";
            break;
        }
    }
    if (finish)
        p.finish_message();
    outcome o;
    o.events = r.joined() + " =" + result;
    if (setup == SERVER) {
        char buf[4096];
        int n;
        while ((n = p.get_tx_data(buf, (int)sizeof buf)) > 0)
            o.tx.append(buf, (size_t)n);
    }
    return o;
}

struct rx_case {
    const char *name;
    setup_kind setup;
    std::string input;
    bool finish;
    std::string expected;
    std::string expected_tx; // server side only
};

const std::string ok5 = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello";
const std::string chunked_head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
const std::string continue_100 = "HTTP/1.1 100 continue\r\nContent-Length: 0\r\n\r\n";
const std::string bad_request_400 = "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";

const std::vector<rx_case> &cases()
{
    static const std::vector<rx_case> table = {
        // Client side: lengths, chunks, bodies until close.
        {"length_body_then_close", GET_CLOSE, ok5, false, "H200|D:hello|M|C =ok", ""},
        {"bytes_after_response_dropped", GET_CLOSE, ok5 + "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nxyz", false,
         "H200|D:hello|M|C =ok", ""},
        {"chunked_with_extensions", GET_CLOSE, chunked_head + "3;name=value\r\nabc\r\n2 ; x\r\nde\r\n0\r\n\r\n",
         false, "H200|D:abcde|M|C =ok", ""},
        {"chunked_upper_case_size", GET_CLOSE, chunked_head + "A\r\n0123456789\r\n0\r\n\r\n", false,
         "H200|D:0123456789|M|C =ok", ""},
        {"chunked_trailer_then_next_response", GET_KEEPALIVE,
         chunked_head + "3\r\nabc\r\n0\r\nX-Check: 1\r\nX-More: 2\r\n\r\nHTTP/1.1 204 No Content\r\n\r\n", false,
         "H200|D:abc|M|H204|M =ok", ""},
        {"chunked_without_trailer_end_then_next_response", GET_KEEPALIVE,
         chunked_head + "3\r\nabc\r\n0\r\nHTTP/1.1 204 No Content\r\n\r\n", false, "H200|D:abc|M|H204|M =ok", ""},
        {"chunked_wins_over_length", GET_CLOSE,
         "HTTP/1.1 200 OK\r\nContent-Length: 99\r\nTransfer-Encoding: gzip, chunked\r\n\r\n2\r\nok\r\n0\r\n\r\n",
         false, "H200|D:ok|M|C =ok", ""},
        {"until_close_finished", GET_CLOSE, "HTTP/1.1 200 OK\r\n\r\nall of it\r\n\r\nand more", true,
         "H200|D:all of it\r\n\r\nand more|M =ok", ""},
        {"until_close_open", GET_CLOSE, "HTTP/1.1 200 OK\r\n\r\nsome", false, "H200|D:some =ok", ""},
        {"identity_coding_until_close", GET_CLOSE, "HTTP/1.1 200 OK\r\nTransfer-Encoding: identity\r\n\r\nxy", true,
         "H200|D:xy|M =ok", ""},
        {"length_zero", GET_CLOSE, "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", false, "H200|M|C =ok", ""},
        {"largest_length", GET_CLOSE, "HTTP/1.1 200 OK\r\nContent-Length: 2147483647\r\n\r\nabc", false,
         "H200|D:abc =ok", ""},
        {"largest_chunk", GET_CLOSE, chunked_head + "7fffffff\r\nab", false, "H200|D:ab =ok", ""},

        // Line ends and header name spelling.
        {"lone_lf", GET_CLOSE, "HTTP/1.1 200 OK\nContent-Length: 3\n\nabc", false, "H200|D:abc|M|C =ok", ""},
        {"lone_cr", GET_CLOSE, "HTTP/1.1 200 OK\rContent-Length: 3\r\rabc", false, "H200|D:abc|M|C =ok", ""},
        {"lf_cr", GET_CLOSE, "HTTP/1.1 200 OK\n\rContent-Length: 3\n\r\n\rabc", false, "H200|D:abc|M|C =ok", ""},
        {"lone_lf_chunked", GET_CLOSE, chunked_head + "3\nabc\n2\nde\n0\n\n", false, "H200|D:abcde|M|C =ok", ""},
        {"lower_case_names", GET_CLOSE, "http/1.1 200 OK\r\ncontent-length: 3\r\nCONNECTION: close\r\n\r\nabc", false,
         "H200|D:abc|M|C =ok", ""},
        {"blank_before_colon_ignored", GET_CLOSE, "HTTP/1.1 200 OK\r\nContent-Length : 5\r\n\r\nhello world", false,
         "H200|D:hello world =ok", ""},
        {"no_blank_after_colon_ignored", GET_CLOSE, "HTTP/1.1 200 OK\r\nContent-Length:5\r\n\r\nhello world", false,
         "H200|D:hello world =ok", ""},

        // Messages without a body.
        {"head_with_length", HEAD_CLOSE, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n", false, "H200|M|C =ok", ""},
        {"no_content_204", GET_KEEPALIVE, "HTTP/1.1 204 No Content\r\nContent-Length: 10\r\n\r\n", false, "H204|M =ok",
         ""},
        {"not_modified_304", GET_KEEPALIVE, "HTTP/1.1 304 Not Modified\r\nContent-Length: 10\r\n\r\n", false,
         "H304|M =ok", ""},
        {"interim_then_final", GET_CLOSE, "HTTP/1.1 103 Early Hints\r\n\r\n" + ok5, false,
         "H103|M|H200|D:hello|M|C =ok", ""},

        // Persistent connections.
        {"two_responses_and_empty_lines", GET_KEEPALIVE,
         "\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\na\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nb",
         false, "H200|D:a|M|H200|D:b|M =ok", ""},
        {"response_asks_to_close", GET_KEEPALIVE,
         "HTTP/1.1 200 OK\r\nConnection: keep-alive, close\r\nContent-Length: 1\r\n\r\na", false, "H200|D:a|M|C =ok",
         ""},
        {"old_version_length", GET_CLOSE, "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nhi", false, "H200|D:hi|M|C =ok",
         ""},
        {"bad_content_type_ignored_by_client", GET_CLOSE,
         "HTTP/1.1 200 OK\r\nContent-Type:\r\nContent-Length: 2\r\n\r\nhi", false, "H200|D:hi|M|C =ok", ""},

        // Client side faults.
        {"status_without_reason", GET_CLOSE, "HTTP/1.1 200\r\nContent-Length: 0\r\n\r\n", false, " =fail", ""},
        {"empty_reason_after_blank", GET_CLOSE, "HTTP/1.1 599 \r\nContent-Length: 0\r\n\r\n", false, "H599|M|C =ok",
         ""},
        {"status_not_a_number", GET_CLOSE, "HTTP/1.1 OK fine\r\n\r\n", false, " =fail", ""},
        {"length_not_a_number", GET_CLOSE, "HTTP/1.1 200 OK\r\nContent-Length: many\r\n\r\n", false, " =fail", ""},
        {"length_negative", GET_CLOSE, "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n", false, " =fail", ""},
        {"length_past_int", GET_CLOSE, "HTTP/1.1 200 OK\r\nContent-Length: 2147483648\r\n\r\n", false, " =fail", ""},
        {"length_far_past_int", GET_CLOSE, "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\n", false,
         " =fail", ""},
        {"chunk_past_int", GET_CLOSE, chunked_head + "80000000\r\nab", false, "H200 =fail", ""},
        {"chunk_size_garbage", GET_CLOSE, chunked_head + "zz\r\nab", false, "H200 =fail", ""},
        {"chunk_size_empty", GET_CLOSE, chunked_head + "\r\nab", false, "H200 =fail", ""},
        {"chunk_data_overrun", GET_CLOSE, chunked_head + "3\r\nabcX\r\n0\r\n\r\n", false, "H200|D:abc =fail", ""},
        {"client_receives_request", GET_CLOSE, "GET / HTTP/1.1\r\nHost: h\r\n\r\n", false, " =fail", ""},

        // Server side.
        {"server_get", SERVER, "GET /index.html?x=1 HTTP/1.1\r\nHost: example.org\r\n\r\n", false,
         "H0 GET index.html?x=1 @example.org|M =ok", ""},
        {"server_absolute_target", SERVER, "GET http://example.org/a/b?q HTTP/1.1\r\nHost: example.org\r\n\r\n", false,
         "H0 GET a/b?q @example.org|M =ok", ""},
        {"server_host_mismatch", SERVER, "GET http://example.org/a HTTP/1.1\r\nHost: other.org\r\n\r\n", false,
         " =stopped", bad_request_400},
        {"server_empty_transfer_encoding", SERVER, "POST /x HTTP/1.1\r\nTransfer-Encoding:\r\n\r\n", false,
         " =stopped", bad_request_400},
        {"server_bad_expect", SERVER, "PUT /x HTTP/1.1\r\nExpect: 200-ok\r\n\r\n", false, " =stopped",
         bad_request_400},
        {"server_short_request_line", SERVER, "GET /\r\n\r\n", false, " =stopped", bad_request_400},
        {"server_post_gets_100", SERVER, "POST /upload HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc", false,
         "H0 POST upload|D:abc|M =ok", continue_100},
        {"server_expect_on_get_gets_100", SERVER,
         "GET /a HTTP/1.1\r\nExpect: 100-continue;x=1\r\nContent-Length: 1\r\n\r\nz", false, "H0 GET a|D:z|M =ok",
         continue_100},
        {"server_old_post_no_100", SERVER, "POST /upload HTTP/1.0\r\nContent-Length: 3\r\n\r\nabc", false,
         "H0 POST upload|D:abc|M =ok", ""},
        {"server_chunked_post", SERVER,
         "POST /u HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\nGET /next HTTP/1.1\r\n\r\n",
         false, "H0 POST u|D:abc|M|H0 GET next|M =ok", continue_100},
        {"server_receives_response", SERVER, "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", false, " =fail", ""},
    };
    return table;
}

class rx_table : public ::testing::TestWithParam<rx_case> {};

TEST_P(rx_table, same_result_whole_bytewise_and_split)
{
    quiet_reports quiet;
    const rx_case &c = GetParam();
    outcome whole = run_case(c.setup, c.finish, split(c.input, 0, 0));
    EXPECT_EQ(whole.events, c.expected) << "whole";
    if (c.setup == SERVER) {
        EXPECT_EQ(whole.tx, c.expected_tx) << "whole";
    }
    outcome bytes = run_case(c.setup, c.finish, split(c.input, 1, 0));
    EXPECT_EQ(bytes.events, c.expected) << "byte by byte";
    if (c.setup == SERVER) {
        EXPECT_EQ(bytes.tx, c.expected_tx) << "byte by byte";
    }
    for (unsigned seed = 1; seed <= 25; seed++) {
        outcome part = run_case(c.setup, c.finish, split(c.input, 2, seed));
        EXPECT_EQ(part.events, c.expected) << "random split, seed " << seed;
        if (c.setup == SERVER) {
            EXPECT_EQ(part.tx, c.expected_tx) << "random split, seed " << seed;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(cases, rx_table, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<rx_case> &info) { return std::string(info.param.name); });

// The response of the first edge case in single bytes: five data calls, one
// per byte, the callbacks in order and the close after the message.
TEST(rx, single_bytes_give_one_data_call_per_body_byte)
{
    vexa_http_data_processor_oline p;
    recorder r;
    r.attach(p);
    p.set_close_after_message();
    ASSERT_EQ(p.start_http_GET("h", "/"), 1);
    drain(p);
    for (char c : ok5)
        ASSERT_EQ(p.process_rx_data(&c, 1), 1);
    EXPECT_EQ(r.joined(), "H200|D:hello|M|C");
    EXPECT_EQ(r.data_calls, 5);
    EXPECT_EQ(p.get_status_code(), 200);
    EXPECT_EQ(p.get_content_length(), 5);
}

// A lone line end is only known to end the line when the next byte comes.
TEST(rx, lone_line_end_waits_for_the_next_byte)
{
    vexa_http_data_processor_oline p;
    recorder r;
    r.attach(p);
    ASSERT_EQ(p.start_http_GET("h", "/"), 1);
    drain(p);
    std::string head = "HTTP/1.1 204 No Content\n\n";
    ASSERT_EQ(p.process_rx_data(head.data(), (int)head.size()), 1);
    EXPECT_EQ(r.joined(), "");
    ASSERT_EQ(p.process_rx_data("H", 1), 1);
    EXPECT_EQ(r.joined(), "H204|M");
}

TEST(rx, callback_refusals_fail_for_good)
{
    quiet_reports quiet;
    struct variant {
        int header, data, message;
        const char *events;
    } variants[] = {
        {0, 1, 1, "H200"},
        {1, 0, 1, "H200|D:hello"},
        {1, 1, 0, "H200|D:hello|M"},
    };
    for (const variant &v : variants) {
        vexa_http_data_processor_oline p;
        recorder r;
        r.attach(p);
        r.header_result = v.header;
        r.data_result = v.data;
        r.message_result = v.message;
        p.set_close_after_message();
        ASSERT_EQ(p.start_http_GET("h", "/"), 1);
        drain(p);
        EXPECT_EQ(p.process_rx_data(ok5.data(), (int)ok5.size()), -1);
        EXPECT_EQ(r.joined(), v.events);
        EXPECT_EQ(p.error, 1);
        // Final: nothing is taken, sent or composed any more.
        EXPECT_EQ(p.process_rx_data(ok5.data(), (int)ok5.size()), -1);
        char buf[16];
        EXPECT_EQ(p.get_tx_data(buf, (int)sizeof buf), -1);
        EXPECT_EQ(p.start_http_GET("h", "/"), 0);
    }
}

TEST(rx, missing_callbacks_fail_the_message)
{
    vexa_http_data_processor_oline p;
    ASSERT_EQ(p.start_http_GET("h", "/"), 1);
    drain(p);
    EXPECT_EQ(p.process_rx_data(ok5.data(), (int)ok5.size()), -1);
    EXPECT_EQ(p.error, 1);
}

TEST(rx, bad_counts_are_refused)
{
    vexa_http_data_processor_oline p;
    EXPECT_EQ(p.process_rx_data("x", 0), -1);
    EXPECT_EQ(p.process_rx_data("x", -3), -1);
    EXPECT_EQ(p.process_rx_data(nullptr, 5), -1);
}

// finish_message completes only a body that runs until the connection ends,
// and only when some of it arrived.
TEST(rx, finish_message_completes_only_bodies_without_length)
{
    struct variant {
        const char *input;
        const char *events;
    } variants[] = {
        {"HTTP/1.1 200 OK\r\n\r\nabc", "H200|D:abc|M"},
        {"HTTP/1.1 200 OK\r\n\r\n", "H200"},
        {"HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nabc", "H200|D:abc"},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nabc", "H200|D:abc"},
    };
    for (const variant &v : variants) {
        vexa_http_data_processor_oline p;
        recorder r;
        r.attach(p);
        p.set_close_after_message();
        ASSERT_EQ(p.start_http_GET("h", "/"), 1);
        drain(p);
        ASSERT_EQ(p.process_rx_data(v.input, (int)strlen(v.input)), 1);
        p.finish_message();
        EXPECT_EQ(r.joined(), v.events) << v.input;
    }
}

TEST(rx, parse_warnings_name_the_line)
{
    struct variant {
        std::string input;
        const char *report;
    } variants[] = {
        {"HTTP/1.1 200\r\n", "Warning in vexa_http_data_processor_oline::header_line_parse(), failed to parse response "
                             "line 'HTTP/1.1 200'.\n"},
        {"HTTP/1.1 200 OK\r\nContent-Length: x\r\n",
         "Warning in vexa_http_data_processor_oline::header_line_parse(), got bad content length, line: "
         "Content-Length: x\n"},
        {"HTTP/1.1 200 OK\r\nConnection: close, upgrade, foo\r\n",
         "Warning in vexa_http_data_processor_oline::header_line_parse(), got questionable Connection: line: "
         "Connection: close, upgrade, foo\n"
         "Warning in vexa_http_data_processor_oline::header_line_parse(), got questionable Connection: line: "
         "Connection: close, upgrade, foo\n"},
        {"HTTP/1.1 200 OK\r\nConnection:\r\n",
         "Warning in vexa_http_data_processor_oline::header_line_parse(), got bad Connection: line: Connection:\n"},
        {"HTTP/1.1 200 OK\r\nContent-Type:\r\n",
         "Warning in vexa_http_data_processor_oline::header_line_parse(), got bad content type line: "
         "Content-Type:\n"},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding:\r\n",
         "Warning in vexa_http_data_processor_oline::header_line_parse(), got bad transfer encoding line: "
         "Transfer-Encoding:\n"},
        {"HTTP/1.1 200 OK\r\nExpect: nothing\r\n",
         "Warning in vexa_http_data_processor_oline::header_line_parse(), got bad Expect: line: Expect: nothing\n"},
        {"HTTP/1.1 200 OK\r\nHost:\r\n",
         "Warning in vexa_http_data_processor_oline::header_line_parse(), got empty host line 'Host:'.\n"},
    };
    for (const variant &v : variants) {
        qv_test::log_capture log;
        vexa_http_data_processor_oline p;
        recorder r;
        r.attach(p);
        ASSERT_EQ(p.start_http_GET("h", "/"), 1);
        drain(p);
        std::string input = v.input + "X"; // the byte that ends a lone line end
        p.process_rx_data(input.data(), (int)input.size());
        EXPECT_EQ(log.text(), v.report) << v.input;
    }
}

TEST(rx, incoming_fields_are_kept)
{
    vexa_http_data_processor_oline p;
    recorder r;
    r.attach(p);
    std::string req = "POST /form HTTP/1.1\r\nHost: example.org\r\nContent-Type: text/HTML; charset=utf-8\r\n"
                      "Content-Length: 2\r\nConnection: close\r\n\r\nab";
    ASSERT_EQ(p.process_rx_data(req.data(), (int)req.size()), 1);
    EXPECT_STREQ(p.method_received, "POST");
    EXPECT_STREQ(p.path, "form");
    EXPECT_STREQ(p.host, "example.org");
    EXPECT_STREQ(p.content_type_text, "text/HTML; charset=utf-8");
    EXPECT_EQ(p.content_type, HTTP_CONTENT_TYPE_TEXT_HTML);
    EXPECT_EQ(p.version, HTTP_VERSION_1_1);
    EXPECT_STREQ(p.start_line.text(), "POST /form HTTP/1.1");
    // "Connection: close" on a request: the answer will close, but nothing
    // closes before it is composed.
    EXPECT_EQ(p.send_close, 1);
    EXPECT_EQ(p.close_after_send, 0);
}

TEST(rx, version_numbers)
{
    vexa_http_data_processor_oline p;
    struct variant {
        const char *text;
        int version;
    } variants[] = {
        {"HTTP/1.0", 10}, {"HTTP/1.1", 11}, {"http/1.1", 11}, {"HTTP/0.9", 0}, {"HTTP/.5", 0},
        {"HTTP/0", 20},   {"HTTP/1.2", 20}, {"HTTP/2", 20},   {"HTTP/", 20},
    };
    qv_test::log_capture log;
    for (const variant &v : variants)
        EXPECT_EQ(p.try_extract_http_version_number(v.text), v.version) << v.text;
    EXPECT_EQ(log.text(), "");
    EXPECT_EQ(p.try_extract_http_version_number("FTP/1.0"), 20);
    EXPECT_EQ(log.text(), "Warning in vexa_http_data_processor_oline::try_extract_http_version_number(), got bad "
                          "http version 'FTP/1.0'.\n");
}

// After a 400 answer the server takes no more input; once the answer is out
// the connection is asked to close and the processor is done.
TEST(rx, server_after_400_closes_and_stops)
{
    quiet_reports quiet;
    vexa_http_data_processor_oline p;
    recorder r;
    r.attach(p);
    std::string req = "GET /x HTTP/1.1\r\nTransfer-Encoding:\r\n\r\n";
    EXPECT_EQ(p.process_rx_data(req.data(), (int)req.size()), 0);
    EXPECT_EQ(p.process_rx_data("more", 4), 0);
    EXPECT_EQ(drain(p), bad_request_400);
    EXPECT_EQ(r.joined(), "C");
    char buf[16];
    EXPECT_EQ(p.get_tx_data(buf, (int)sizeof buf), -1);
}

TEST(rx, cookies_arrive_with_the_prefix_stripped)
{
    vexa_http_data_processor_oline p;
    recorder r;
    r.attach(p);
    ASSERT_EQ(p.set_cookie_prefix("p_"), 1);
    std::string req = "GET / HTTP/1.1\r\nCookie: p_a=1; b=2; P_c=x=y\r\nCookie: p_a=5\r\n\r\n";
    ASSERT_EQ(p.process_rx_data(req.data(), (int)req.size()), 1);
    ASSERT_NE(p.get_received_cookie("a"), nullptr);
    EXPECT_STREQ(p.get_received_cookie("a"), "5");
    EXPECT_STREQ(p.get_received_cookie("C"), "x=y");
    EXPECT_EQ(p.get_received_cookie("b"), nullptr);
    p.remove_received_cookie("A");
    EXPECT_EQ(p.get_received_cookie("a"), nullptr);
    EXPECT_STREQ(p.get_received_cookie("c"), "x=y");
}

} // namespace
