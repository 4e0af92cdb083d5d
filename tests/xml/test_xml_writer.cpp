// vexa_xml_writer: exact output of tags, escapes, indentation, the tag stack's
// reports, CDATA lines, the settings-file layout and the stdio writer.
#include <gtest/gtest.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "runtime/log.h"
#include "tests/support/test_support.h"
#include "tests/xml/xml_test_io.h"
#include "xml/xml_writer.h"

using qv_test::log_capture;

TEST(XmlWriter, NestedElementsAndEscapes)
{
    log_capture log;
    string_writer w;
    w.write_tag("a", 1, nullptr);
    w.write_tag("b", 0, nullptr);
    w.write_string("x&y");
    w.end_tag(nullptr, 0);
    w.end_tag(nullptr, 1);
    EXPECT_EQ("<a>\n  <b>x&amp;y</b>\n</a>\n", w.out);
    EXPECT_EQ(0, w.depth);
    EXPECT_EQ(nullptr, w.tag_stack);
    EXPECT_EQ("", log.text());
}

TEST(XmlWriter, StringEscapesOnlyBracketsAndAmpersand)
{
    string_writer w;
    w.write_string("<b> & \"q\" 'a' \xe9\t\n");
    EXPECT_EQ("&lt;b&gt; &amp; \"q\" 'a' \xe9\t\n", w.out);
}

TEST(XmlWriter, AttributesUnescapedTagNamesEscaped)
{
    string_writer w;
    w.write_tag("x<y", 1, "k=\"<&>\"");
    w.write_empty_tag("e&", "a=\"1\"");
    w.write_empty_tag("plain", nullptr);
    w.end_tag("x<y", 1);
    EXPECT_EQ("<x&lt;y k=\"<&>\">\n  <e&amp; a=\"1\" />\n  <plain />\n</x&lt;y>\n", w.out);
}

TEST(XmlWriter, WrongEndTagIsReportedAndInnermostClosed)
{
    log_capture log;
    string_writer w;
    w.write_tag("outer", 1, nullptr);
    w.write_tag("inner", 0, nullptr);
    w.write_string("1");
    w.end_tag("outer", 0);
    EXPECT_EQ("Warning in vexa_xml_writer::end_tag(), tried to close wrong tag.\n\n", log.text());
    log.reset();
    w.end_tag("outer", 1);
    EXPECT_EQ("", log.text());
    EXPECT_EQ("<outer>\n  <inner>1</inner>\n</outer>\n", w.out);
}

TEST(XmlWriter, EndTagOnEmptyStackWritesBogusTag)
{
    log_capture log;
    string_writer w;
    w.end_tag(nullptr, 1);
    EXPECT_EQ("Error in vexa_xml_writer::end_tag(), tag stack empty.\n\n", log.text());
    EXPECT_EQ(-1, w.depth);
    // Indentation below depth 0 is none; a new element is back at 0.
    w.write_tag("a", 1, nullptr);
    w.write_tag("b", 0, nullptr);
    w.end_tag(nullptr, 0);
    w.end_tag(nullptr, 1);
    EXPECT_EQ("</_BOGUS_ENDING_TAG_>\n<a>\n<b></b>\n</a>\n", w.out);
}

TEST(XmlWriter, CdataLines)
{
    std::vector<unsigned char> bytes(33);
    for (int i = 0; i < 33; i++)
        bytes[i] = (unsigned char)(i * 7 + 0xa0);
    auto hex = [&](int from, int to) {
        std::string s;
        char b[3];
        for (int i = from; i < to; i++) {
            snprintf(b, sizeof b, "%02x", bytes[i]);
            s += b;
        }
        return s;
    };
    struct {
        int count;
        std::string want;
    } cases[] = {
        {0, "<![CDATA[\n]]>\n"},
        {1, "<![CDATA[\n" + hex(0, 1) + "\n]]>\n"},
        {32, "<![CDATA[\n" + hex(0, 32) + "\n]]>\n"},
        {33, "<![CDATA[\n" + hex(0, 32) + "\n" + hex(32, 33) + "\n]]>\n"},
    };
    for (const auto &c : cases) {
        string_writer w;
        w.depth = 3; // no indentation inside the section
        w.write_cdata(bytes.data(), c.count);
        EXPECT_EQ(c.want, w.out) << c.count;
        EXPECT_EQ(3, w.depth);
    }
    // The letters are lower case.
    string_writer w;
    const unsigned char ab[] = {0xab, 0x0f};
    w.write_cdata(ab, 2);
    EXPECT_EQ("<![CDATA[\nab0f\n]]>\n", w.out);
}

TEST(XmlWriter, SettingsFileLayout)
{
    string_writer w;
    EXPECT_GT(w.write_header(), 0);
    w.write_tag("launcher_config", 1, nullptr);
    w.write_tag("launcher_version", 0, nullptr);
    w.write_string("1.096-gtk-rc4");
    w.end_tag(nullptr, 0);
    w.write_tag("beta_test_enable", 0, nullptr);
    w.write_string("0");
    w.end_tag(nullptr, 0);
    w.end_tag(nullptr, 1);
    w.write_newline();
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
              "<launcher_config>\n"
              "  <launcher_version>1.096-gtk-rc4</launcher_version>\n"
              "  <beta_test_enable>0</beta_test_enable>\n"
              "</launcher_config>\n"
              "\n",
              w.out);
}

TEST(XmlWriter, NullArgumentsAreReported)
{
    log_capture log;
    string_writer w;
    w.write_tag(nullptr, 1, nullptr);
    w.write_string(nullptr);
    w.write_cdata(nullptr, 4);
    EXPECT_EQ("Error in vexa_xml_writer::write_tag(), NULL tag.\n\n"
              "Error in vexa_xml_writer::write_string(), NULL data.\n\n"
              "Error in vexa_xml_writer::write_cdata(), NULL data.\n\n",
              log.text());
    EXPECT_EQ(0, w.depth);
    EXPECT_EQ(nullptr, w.tag_stack);
    EXPECT_EQ("<![CDATA[\n]]>\n", w.out);
}

TEST(XmlWriter, DestructorFreesOpenElementsWithoutClosing)
{
    string_writer *w = new string_writer;
    w->write_tag("a", 1, nullptr);
    w->write_tag("b", 1, nullptr);
    std::string before = w->out;
    delete w; // the sanitizer build sees a leak if the entries stay
    EXPECT_EQ("<a>\n  <b>\n", before);
}

TEST(XmlFileWriter, WritesToTheStreamAndReturnsCounts)
{
    FILE *f = tmpfile();
    ASSERT_NE(nullptr, f);
    {
        vexa_xml_file_writer w(f);
        EXPECT_EQ(44, w.write_header());
        w.write_tag("t", 0, nullptr);
        w.write_string("<>");
        EXPECT_EQ(2, w.end_tag("t", 0));
        EXPECT_EQ(4, w.write_empty_tag("e", nullptr)); // " />\n"
        EXPECT_EQ(1, w.write_newline());
    }
    rewind(f);
    std::string got;
    int c;
    while ((c = fgetc(f)) != EOF)
        got += (char)c;
    fclose(f);
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<t>&lt;&gt;</t>\n<e />\n\n", got);
}

TEST(XmlFileWriter, ErrorsShowInTheStatus)
{
    // A stream opened for reading only refuses every write.
    qv_test::temp_dir dir;
    ASSERT_TRUE(qv_test::write_file(dir.file("ro"), ""));
    FILE *f = fopen(dir.file("ro").c_str(), "r");
    ASSERT_NE(nullptr, f);
    vexa_xml_file_writer w(f);
    EXPECT_LT(w.write_header(), 0);
    EXPECT_LT(w.write_newline(), 0);
    EXPECT_TRUE(ferror(f));
    fclose(f);
    w.file = nullptr;
}

TEST(XmlFileWriter, NullFileDropsOutput)
{
    log_capture log;
    vexa_xml_file_writer w(nullptr);
    EXPECT_EQ("Error in vexa_xml_file_writer::vexa_xml_file_writer(), NULL file handle.\n\n", log.text());
    log.reset();
    EXPECT_LT(w.write_header(), 0);
    w.write_tag("a", 0, nullptr);
    w.write_string("x");
    EXPECT_LT(w.end_tag(nullptr, 0), 0);
    EXPECT_LT(w.write_newline(), 0);
    EXPECT_EQ("", log.text());
}
