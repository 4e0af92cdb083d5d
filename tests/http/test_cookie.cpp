// Cookie records and lists, Cookie-line parsing with the prefix, Set-Cookie
// lines in composed messages, and the content-type table.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "http/http_cookie.h"
#include "http/http_data_processor.h"
#include "runtime/text_buffer.h"
#include "tests/support/test_support.h"

namespace {

TEST(cookie, setters_refuse_texts_that_do_not_fit)
{
    qv_test::log_capture log;
    vexa_http_cookie c;
    EXPECT_EQ(c.secure, 1);
    EXPECT_EQ(c.max_age, 300);
    std::string key63(63, 'k');
    EXPECT_EQ(c.set_key(key63.c_str()), 1);
    EXPECT_EQ(c.set_key(std::string(64, 'x').c_str()), 0);
    EXPECT_EQ(std::string(c.key), key63);
    EXPECT_EQ(c.set_domain(std::string(64, 'd').c_str()), 0);
    EXPECT_EQ(c.set_value(std::string(255, 'v').c_str()), 1);
    EXPECT_EQ(c.set_value(std::string(256, 'w').c_str()), 0);
    EXPECT_EQ(std::string(c.value), std::string(255, 'v'));
    EXPECT_EQ(log.text(), "Error in vexa_http_cookie::set_key() - incoming string '" + std::string(64, 'x') +
                              "' too long.\n"
                              "Error in vexa_http_cookie::set_domain() - incoming string '" +
                              std::string(64, 'd') +
                              "' too long.\n"
                              "Error in vexa_http_cookie::set_value() - incoming string '" +
                              std::string(256, 'w') + "' too long.\n");
    EXPECT_EQ(c.set_value(nullptr), 1);
    EXPECT_STREQ(c.value, "");
}

TEST(cookie, lists_match_keys_without_case)
{
    vexa_http_cookie *list = nullptr;
    vexa_http_cookie *id = store_cookie(&list, "Id", "1", "d", 60, 0);
    EXPECT_EQ(store_cookie(&list, "ID", "2", "e", 70, 1), id);
    store_cookie(&list, "other", "3", nullptr, 0, 0);
    EXPECT_STREQ(find_cookie_value(list, "id"), "2");
    EXPECT_STREQ(id->domain, "e");
    EXPECT_EQ(id->max_age, 70);
    EXPECT_EQ(id->secure, 1);
    EXPECT_STREQ(list->key, "other"); // new records go to the front
    EXPECT_EQ(find_cookie_value(list, "missing"), nullptr);
    EXPECT_EQ(remove_cookie(&list, "missing"), 0);
    EXPECT_EQ(remove_cookie(&list, "iD"), 1);
    EXPECT_EQ(find_cookie_value(list, "id"), nullptr);
    EXPECT_STREQ(find_cookie_value(list, "other"), "3");
    free_cookie_list(&list);
    EXPECT_EQ(list, nullptr);
}

TEST(cookie, parsing_with_and_without_prefix)
{
    struct variant {
        const char *prefix;
        const char *text;
        int stored;
        std::vector<std::pair<const char *, const char *>> found; // value null: absent
    } variants[] = {
        {"p_", "p_a=1; b=2; P_c=x=y", 2, {{"a", "1"}, {"c", "x=y"}, {"b", nullptr}, {"p_a", nullptr}}},
        {"", "a=1 b ;; c=;d=4", 4, {{"a", "1"}, {"b", ""}, {"c", ""}, {"d", "4"}}},
        {nullptr, "; ;a=1", 1, {{"a", "1"}, {"", nullptr}}},
        {"", "", 0, {}},
    };
    for (const variant &v : variants) {
        vexa_http_cookie *list = nullptr;
        EXPECT_EQ(parse_cookie_text(&list, v.prefix, v.text), v.stored) << v.text;
        for (const auto &f : v.found) {
            const char *value = find_cookie_value(list, f.first);
            if (f.second) {
                ASSERT_NE(value, nullptr) << v.text << " " << f.first;
                EXPECT_STREQ(value, f.second) << v.text << " " << f.first;
            } else {
                EXPECT_EQ(value, nullptr) << v.text << " " << f.first;
            }
        }
        free_cookie_list(&list);
    }
    vexa_http_cookie *list = nullptr;
    EXPECT_EQ(parse_cookie_text(&list, nullptr, nullptr), 0);
    parse_cookie_text(&list, "", "a=1");
    parse_cookie_text(&list, "", "a=5");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->next, nullptr);
    EXPECT_STREQ(list->value, "5");
    EXPECT_EQ(list->max_age, 0);
    EXPECT_EQ(list->secure, 0);
    free_cookie_list(&list);
}

TEST(cookie, set_cookie_lines_in_requests_and_responses)
{
    vexa_http_data_processor_oline p;
    ASSERT_EQ(p.set_cookie_prefix("p_"), 1);
    p.add_cookie_to_send("id", "42", "d", 300, 1);
    p.add_cookie_to_send("blank", "v", nullptr, 10, 0);
    EXPECT_STREQ(p.get_cookie_to_send("ID"), "42");
    ASSERT_EQ(p.start_http_GET("h", "/"), 1);
    char buf[2048];
    int n = p.get_tx_data(buf, (int)sizeof buf);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(buf, (size_t)n),
              "GET / HTTP/1.1\r\nHost: h\r\nContent-Length: 0\r\nAccept-Encoding: identity\r\n"
              "Set-Cookie: p_blank=v; Domain=; Path=/; Max-Age=10; HttpOnly\r\n"
              "Set-Cookie: p_id=42; Domain=d; Path=/; Max-Age=300; HttpOnly; Secure\r\n\r\n");

    vexa_http_data_processor_oline s;
    s.expire_cookie("sess", "example.org");
    EXPECT_STREQ(s.get_cookie_to_send("sess"), "");
    ASSERT_EQ(s.send_response(204, HTTP_CONTENT_TYPE_TEXT_PLAIN, 0, "No Content"), 1);
    n = s.get_tx_data(buf, (int)sizeof buf);
    EXPECT_EQ(std::string(buf, (size_t)n),
              "HTTP/1.1 204 No Content\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: 0\r\n"
              "Set-Cookie: sess=; Domain=example.org; Path=/; Max-Age=0; HttpOnly\r\n\r\n");
}

TEST(cookie, prefix_is_bounded)
{
    qv_test::log_capture log;
    vexa_http_data_processor_oline p;
    ASSERT_EQ(p.set_cookie_prefix(std::string(31, 'p').c_str()), 1);
    EXPECT_EQ(p.set_cookie_prefix(std::string(32, 'q').c_str()), 0);
    EXPECT_EQ(std::string(p.cookie_prefix), std::string(31, 'p'));
    EXPECT_EQ(log.text(), "Error in vexa_http_cookie::set_cookie_prefix() - incoming string '" + std::string(32, 'q') +
                              "' too long.\n");
    EXPECT_EQ(p.set_cookie_prefix(nullptr), 1);
    EXPECT_STREQ(p.cookie_prefix, "");
}

TEST(content_type, names_and_codes)
{
    struct variant {
        int code;
        const char *name;
    } table[] = {
        {1, "text/plain"},       {2, "text/html"},           {10, "application/x-www-form-urlencoded"},
        {11, "application/xml"}, {12, "application/rss+xml"}, {13, "application/json"},
        {14, "application/octet-stream"},
    };
    for (const variant &v : table) {
        EXPECT_STREQ(content_type_name(v.code), v.name);
        EXPECT_EQ(content_type_from_text(v.name), v.code);
    }
    EXPECT_STREQ(content_type_name(0), "binary/unknown");
    EXPECT_STREQ(content_type_name(99), "binary/unknown");
    EXPECT_STREQ(content_type_name(3), "binary/unknown");
    EXPECT_EQ(content_type_from_text("text/HTML; charset=utf-8"), 2);
    EXPECT_EQ(content_type_from_text("application/json;charset=utf-8"), 13);
    EXPECT_EQ(content_type_from_text("text/plain\tx"), 1);
    EXPECT_EQ(content_type_from_text("image/png"), 99);
    EXPECT_EQ(content_type_from_text("text/plainer"), 99);
    EXPECT_EQ(content_type_from_text(""), 99);
    EXPECT_EQ(content_type_from_text(nullptr), 99);
}

} // namespace
