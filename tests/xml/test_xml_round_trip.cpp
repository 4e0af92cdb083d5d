// What vexa_xml_file_writer writes, vexa_xml_file_reader reads back: text
// with escapes, integers, nested elements, skipped unknown elements and CDATA
// of several lengths, through a real stdio file.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <random>
#include <string>
#include <vector>

#include "runtime/log.h"
#include "tests/support/test_support.h"
#include "xml/xml_reader.h"
#include "xml/xml_writer.h"

using qv_test::log_capture;

namespace {

// A stdio file that is written, rewound and read; its declaration line is
// checked and consumed the way the settings file's loader does it.
struct doc {
    doc() : file(tmpfile()) {}
    ~doc() { fclose(file); }
    vexa_xml_file_reader *open_reader()
    {
        fflush(file);
        rewind(file);
        char line[1000];
        if (!fgets(line, sizeof line, file))
            return nullptr;
        line[strcspn(line, "\n")] = 0;
        if (!vexa_xml_reader::check_xml_header_string(line))
            return nullptr;
        return new vexa_xml_file_reader(file);
    }
    FILE *file;
};

} // namespace

TEST(XmlRoundTrip, TextIntegersNestingAndSkipping)
{
    const std::vector<std::string> texts = {"", "plain", "<b> & c", "&amp; literal", "\"quotes\" 'and' ~!@#$%^*()",
                                            std::string(999, 'z')};
    log_capture log;
    doc d;
    {
        vexa_xml_file_writer w(d.file);
        w.write_header();
        w.write_tag("root", 1, nullptr);
        w.write_tag("unknown", 1, "id=\"7\"");
        w.write_tag("deep", 1, nullptr);
        w.write_tag("deeper", 0, nullptr);
        w.write_string("a<b");
        w.end_tag("deeper", 0);
        w.end_tag("deep", 1);
        w.write_empty_tag("empty", nullptr);
        w.end_tag("unknown", 1);
        for (const std::string &t : texts) {
            w.write_tag("text", 0, nullptr);
            w.write_string(t.c_str());
            w.end_tag("text", 0);
        }
        w.write_tag("number", 0, nullptr);
        w.write_string("-42");
        w.end_tag("number", 0);
        w.end_tag("root", 1);
        w.write_newline();
        EXPECT_EQ(0, w.depth);
    }
    vexa_xml_file_reader *r = d.open_reader();
    ASSERT_NE(nullptr, r);
    char tag[1000];
    char data[1000];
    int number = 0;
    std::vector<std::string> got;
    ASSERT_EQ(1, r->read_tag(tag, sizeof tag));
    EXPECT_STREQ("root", tag);
    while (r->read_tag(tag, sizeof tag)) {
        if (!strcmp(tag, "text")) {
            ASSERT_EQ(1, r->read_data(data, sizeof data));
            got.push_back(data);
        } else if (!strcmp(tag, "number")) {
            ASSERT_EQ(1, r->read_data(&number));
        } else {
            EXPECT_STREQ("unknown id=\"7\"", tag);
            r->skip_data();
        }
    }
    EXPECT_EQ(texts, got);
    EXPECT_EQ(-42, number);
    EXPECT_EQ(nullptr, r->tag_stack);
    delete r;
    // The only report: the attributes make the unknown element's closing tag
    // differ from its stack entry.
    EXPECT_EQ("Warning in vexa_xml_reader::pop_stack_entry() - popped tag 'unknown' did not match expected tag "
              "'unknown id=\"7\"'.\n",
              log.text());
}

TEST(XmlRoundTrip, RandomPrintableText)
{
    std::mt19937 rng(12345);
    for (int round = 0; round < 200; round++) {
        std::string t;
        int n = (int)(rng() % 60);
        for (int i = 0; i < n; i++)
            t += (char)(32 + rng() % 95);
        doc d;
        {
            vexa_xml_file_writer w(d.file);
            w.write_header();
            w.write_tag("t", 0, nullptr);
            w.write_string(t.c_str());
            w.end_tag(nullptr, 0);
        }
        vexa_xml_file_reader *r = d.open_reader();
        ASSERT_NE(nullptr, r);
        char tag[100], data[100];
        ASSERT_EQ(1, r->read_tag(tag, sizeof tag));
        ASSERT_EQ(1, r->read_data(data, sizeof data)) << t;
        EXPECT_EQ(t, std::string(data));
        EXPECT_EQ(nullptr, r->tag_stack);
        delete r;
    }
}

TEST(XmlRoundTrip, Cdata)
{
    std::mt19937 rng(99);
    for (int count : {0, 1, 3, 31, 32, 33, 64, 65, 1000}) {
        std::vector<unsigned char> bytes(count);
        for (auto &b : bytes)
            b = (unsigned char)rng();
        log_capture log;
        doc d;
        {
            vexa_xml_file_writer w(d.file);
            w.write_header();
            w.write_tag("root", 1, nullptr);
            w.write_tag("blob", 1, nullptr);
            w.write_cdata(bytes.data(), count);
            w.end_tag("blob", 1);
            w.write_tag("after", 0, nullptr);
            w.write_string("ok");
            w.end_tag(nullptr, 0);
            w.end_tag(nullptr, 1);
        }
        vexa_xml_file_reader *r = d.open_reader();
        ASSERT_NE(nullptr, r);
        char tag[100], data[100];
        std::vector<unsigned char> back(count + 8, 0x5a);
        ASSERT_EQ(1, r->read_tag(tag, sizeof tag));
        ASSERT_EQ(1, r->read_tag(tag, sizeof tag));
        EXPECT_EQ(count, r->read_cdata(back.data(), (int)back.size())) << count;
        back.resize(count);
        EXPECT_EQ(bytes, back) << count;
        ASSERT_EQ(1, r->read_tag(tag, sizeof tag)) << count;
        EXPECT_STREQ("after", tag);
        ASSERT_EQ(1, r->read_data(data, sizeof data));
        EXPECT_STREQ("ok", data);
        EXPECT_EQ(0, r->read_tag(tag, sizeof tag));
        EXPECT_EQ(nullptr, r->tag_stack);
        delete r;
        EXPECT_EQ("", log.text()) << count;
    }
}
