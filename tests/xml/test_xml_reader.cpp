// vexa_xml_reader: declaration check, tags and content, entities, refused
// content, integers, skipping, CDATA, damaged input and null arguments.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "runtime/log.h"
#include "tests/support/test_support.h"
#include "tests/xml/xml_test_io.h"
#include "xml/xml_reader.h"

using qv_test::log_capture;

namespace {

const std::string W = "Warning in vexa_xml_reader::";
const std::string HDR = "Warning in vexa_xml_reader::check_xml_header_string(), ";

} // namespace

TEST(XmlHeader, ReportTable)
{
    struct {
        const char *line;
        int ok;
        const char *report; // after HDR, "" for none
    } cases[] = {
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>", 1, ""},
        {"<?xml encoding=\"ISO-8859-1\" version=\"1.0\"?>", 1, ""},
        {"<?XML version=\"1.0\" encoding=\"ISO-8859-1\"?>", 1, ""},
        {"<?xml version = \"1.0\"  encoding=  \"x y\" ?>", 1, ""},
        {"<?xml version=\"1.0\"encoding=\"e\"", 1, ""},
        {"<?xml\tversion=\"\" encoding=\"\"?> trailing words", 1, ""},
        {"<?xml encoding=\"ISO-8859-1\"?>", 0, "didn't get version."},
        {"<?xml version=\"1.0\"?>", 0, "didn't get encoding."},
        {"<?xml ?>", 0, "didn't get either version or encoding."},
        {"<?xml", 0, "didn't get either version or encoding."},
        {"<?xml   ", 0, "didn't get either version or encoding."},
        {"<?xml version=\"1.0\" encoding=\"e\" standalone=\"yes\"?>", 0, "unknown tag found."},
        {"<?xml foo?>", 0, "unknown tag found."},
        {"<?xml version \"1.0\" encoding=\"e\"?>", 0, "'version' tag found, but no version."},
        {"<?xml version", 0, "'version' tag found, but no version."},
        {"<?xml version='1.0' encoding=\"e\"?>", 0, "'version' tag found, but no opening version quote."},
        {"<?xml version=\"1.0 encoding=\"e\"?>", 0, "unknown tag found."},
        {"<?xml version=\"1.0", 0, "'version' tag found, but no closing version quote."},
        {"<?xml version=\"1\" encoding?>", 0, "'encoding' tag found, but no encoding."},
        {"<?xml version=\"1\" encoding='e'?>", 0, "'encoding' tag found, but no opening encoding quote."},
        {"<?xml version=\"1\" encoding=\"e?>", 0, "'encoding' tag found, but no closing encoding quote."},
        {"<?xml?>", 0, "missing opening '<?xml' tag."},
        {" <?xml version=\"1.0\" encoding=\"e\"?>", 0, "missing opening '<?xml' tag."},
        {"<launcher_config>", 0, "missing opening '<?xml' tag."},
        {"", 0, "missing opening '<?xml' tag."},
        {"<?xml VERSION=\"1.0\" encoding=\"e\"?>", 0, "unknown tag found."},
    };
    for (const auto &c : cases) {
        log_capture log;
        EXPECT_EQ(c.ok, vexa_xml_reader::check_xml_header_string(c.line)) << c.line;
        std::string want = *c.report ? HDR + c.report + "\n" : "";
        EXPECT_EQ(want, log.text()) << c.line;
    }
    log_capture log;
    EXPECT_EQ(0, vexa_xml_reader::check_xml_header_string(nullptr));
    EXPECT_EQ(HDR + "missing opening '<?xml' tag.\n", log.text());
}

TEST(XmlReader, ElementTextAndStack)
{
    for_each_reader("  <launcher_version>1.096-gtk-rc4</launcher_version>\nafter", [](vexa_xml_reader &r, auto rest) {
        log_capture log;
        char tag[1000], data[1000];
        ASSERT_EQ(1, r.read_tag(tag, sizeof tag));
        EXPECT_STREQ("launcher_version", tag);
        EXPECT_EQ(1, stack_depth(r.tag_stack));
        ASSERT_EQ(1, r.read_data(data, sizeof data));
        EXPECT_STREQ("1.096-gtk-rc4", data);
        EXPECT_EQ(0, stack_depth(r.tag_stack));
        EXPECT_EQ("\nafter", rest());
        EXPECT_EQ("", log.text());
    });
}

TEST(XmlReader, TagTextComesBackWhole)
{
    for_each_reader("<a x=\"1\"><b/><!-- c --><?pi?></a>", [](vexa_xml_reader &r, auto) {
        char tag[100];
        const char *want[] = {"a x=\"1\"", "b/", "!-- c --", "?pi?"};
        for (const char *w : want) {
            ASSERT_EQ(1, r.read_tag(tag, sizeof tag));
            EXPECT_STREQ(w, tag);
        }
        EXPECT_EQ(4, stack_depth(r.tag_stack));
    });
}

TEST(XmlReader, Entities)
{
    struct {
        const char *content;
        const char *decoded;
        int reports;
    } cases[] = {
        {"&lt;b&gt; &amp; c", "<b> & c", 0},
        {"&quot;", "&quot;", 1},
        {"a & b", "a & b", 1},
        {"&amp;lt;", "&lt;", 0},
        {"&LT;&", "&LT;&", 2},
        {"&lt", "&lt", 1},
    };
    for (const auto &c : cases) {
        for_each_reader(std::string("<e>") + c.content + "</e>", [&](vexa_xml_reader &r, auto) {
            log_capture log;
            char tag[100], data[100];
            ASSERT_EQ(1, r.read_tag(tag, sizeof tag));
            ASSERT_EQ(1, r.read_data(data, sizeof data));
            EXPECT_STREQ(c.decoded, data) << c.content;
            std::string one = W + "compact_string(), unknown '&' conversion found?\n";
            std::string want;
            for (int i = 0; i < c.reports; i++)
                want += one;
            EXPECT_EQ(want, log.text()) << c.content;
        });
    }
}

TEST(XmlReader, UnprintableContentIsRefusedAndElementStaysOpen)
{
    const char *contents[] = {"two\nlines", "tab\there", "caf\xe9", "nul\x01", "\x7f"};
    for (const char *content : contents) {
        for_each_reader(std::string("<e>") + content + "</e><next>1</next>", [&](vexa_xml_reader &r, auto rest) {
            char tag[100], data[100];
            ASSERT_EQ(1, r.read_tag(tag, sizeof tag));
            EXPECT_EQ(0, r.read_data(data, sizeof data)) << content;
            EXPECT_EQ(1, stack_depth(r.tag_stack));
            // The element stays open; the input goes on inside its closing tag.
            EXPECT_EQ("/e><next>1</next>", rest());
            EXPECT_EQ(1, r.read_tag(tag, sizeof tag));
            EXPECT_STREQ("next", tag);
        });
    }
    // The integer form refuses the same way.
    for_each_reader("<n>1\n</n>", [](vexa_xml_reader &r, auto rest) {
        char tag[100];
        int v = 5;
        ASSERT_EQ(1, r.read_tag(tag, sizeof tag));
        EXPECT_EQ(0, r.read_data(&v));
        EXPECT_EQ(5, v);
        EXPECT_EQ("/n>", rest());
    });
}

TEST(XmlReader, LongContentIsCutAndElementConsumed)
{
    for_each_reader("<e>abcdefghij</e>x", [](vexa_xml_reader &r, auto rest) {
        log_capture log;
        char tag[100], data[5];
        ASSERT_EQ(1, r.read_tag(tag, sizeof tag));
        ASSERT_EQ(1, r.read_data(data, sizeof data));
        EXPECT_STREQ("abcd", data);
        EXPECT_EQ(0, stack_depth(r.tag_stack));
        EXPECT_EQ("x", rest());
        EXPECT_EQ("", log.text());
    });
    // Past the buffer even unprintable bytes are dropped unseen.
    for_each_reader("<e>ab\tc</e>", [](vexa_xml_reader &r, auto) {
        char tag[100], data[3];
        ASSERT_EQ(1, r.read_tag(tag, sizeof tag));
        EXPECT_EQ(1, r.read_data(data, sizeof data));
        EXPECT_STREQ("ab", data);
    });
}

TEST(XmlReader, IntegerContent)
{
    struct {
        const char *content;
        int ok;
        int value;
    } cases[] = {{"17", 1, 17}, {"-5", 1, -5}, {"0", 1, 0}, {"7days", 1, 7}, {"x7", 0, 99}, {"", 0, 99},
                 {" 1", 0, 99}, {"-x", 0, 99}};
    for (const auto &c : cases) {
        for_each_reader(std::string("<beta_test_enable>") + c.content + "</beta_test_enable>z",
                        [&](vexa_xml_reader &r, auto rest) {
                            log_capture log;
                            char tag[100];
                            int v = 99;
                            ASSERT_EQ(1, r.read_tag(tag, sizeof tag));
                            EXPECT_EQ(c.ok, r.read_data(&v)) << c.content;
                            EXPECT_EQ(c.value, v) << c.content;
                            EXPECT_EQ(0, stack_depth(r.tag_stack));
                            EXPECT_EQ("z", rest());
                            std::string want =
                                c.ok ? "" : W + "read_data(int) - got non-number'" + c.content + "'.\n";
                            EXPECT_EQ(want, log.text());
                        });
    }
}

TEST(XmlReader, LongClosingTagAfterIntegerIsNoMismatch)
{
    std::string name(300, 'n');
    for_each_reader("<" + name + ">3</" + name + ">", [](vexa_xml_reader &r, auto) {
        log_capture log;
        char tag[1000];
        int v = 0;
        ASSERT_EQ(1, r.read_tag(tag, sizeof tag));
        EXPECT_EQ(1, r.read_data(&v));
        EXPECT_EQ(3, v);
        EXPECT_EQ("", log.text());
    });
}

TEST(XmlReader, SkipDataOverChildrenAndComments)
{
    const std::string input = "<root>\n"
                              "  <unknown a=\"1\">\n"
                              "    text\twith tab\n"
                              "    <!-- a comment -->\n"
                              "    <child><grand>x</grand></child>\n"
                              "    <empty/>\n"
                              "    <?pi stuff?>\n"
                              "  </unknown>\n"
                              "  <known>5</known>\n"
                              "</root>\n";
    for_each_reader(input, [](vexa_xml_reader &r, auto) {
        log_capture log;
        char tag[100];
        int v = 0;
        ASSERT_EQ(1, r.read_tag(tag, sizeof tag));
        ASSERT_EQ(1, r.read_tag(tag, sizeof tag));
        EXPECT_STREQ("unknown a=\"1\"", tag);
        r.skip_data();
        ASSERT_EQ(1, stack_depth(r.tag_stack));
        EXPECT_STREQ("root", r.tag_stack->tag);
        ASSERT_EQ(1, r.read_tag(tag, sizeof tag));
        EXPECT_STREQ("known", tag);
        EXPECT_EQ(1, r.read_data(&v));
        EXPECT_EQ(5, v);
        // After the last child read_tag consumes the parent's closing tag.
        EXPECT_EQ(0, r.read_tag(tag, sizeof tag));
        EXPECT_EQ(0, stack_depth(r.tag_stack));
        // The stack holds the whole tag text, so the closing tag of an
        // element with attributes is reported as a mismatch (and still pops).
        EXPECT_EQ(W + "pop_stack_entry() - popped tag 'unknown' did not match expected tag 'unknown a=\"1\"'.\n",
                  log.text());
        // At the end of input: 0 and no report.
        log.reset();
        EXPECT_EQ(0, r.read_tag(tag, sizeof tag));
        EXPECT_EQ("", log.text());
    });
}

TEST(XmlReader, SkipDataOnTagsWithoutClosingTag)
{
    // An empty element, a comment or a processing instruction read as a tag
    // is skipped on its own; the element after it is still read.
    const char *tags[] = {"<empty/>", "<!-- note -->", "<?pi x?>", "<e a=\"1\" />"};
    for (const char *t : tags) {
        for_each_reader(std::string(t) + "\n<next>1</next>", [&](vexa_xml_reader &r, auto) {
            log_capture log;
            char tag[100];
            ASSERT_EQ(1, r.read_tag(tag, sizeof tag));
            r.skip_data();
            EXPECT_EQ(0, stack_depth(r.tag_stack)) << t;
            ASSERT_EQ(1, r.read_tag(tag, sizeof tag)) << t;
            EXPECT_STREQ("next", tag);
            EXPECT_EQ("", log.text());
        });
    }
}

TEST(XmlReader, SkipDataReports)
{
    for_each_reader("<a>", [](vexa_xml_reader &r, auto) {
        log_capture log;
        char tag[100];
        r.skip_data();
        EXPECT_EQ("Error in vexa_xml_reader::skip_data() - you must read at least the opening tag before skipping "
                  "data.\n",
                  log.text());
        log.reset();
        ASSERT_EQ(1, r.read_tag(tag, sizeof tag));
        r.skip_data();
        EXPECT_EQ(W + "skip_data() - unable to read chunk?\n", log.text());
    });
    for_each_reader("<a>x > y<b\nc>", [](vexa_xml_reader &r, auto) {
        log_capture log;
        char tag[100];
        ASSERT_EQ(1, r.read_tag(tag, sizeof tag));
        r.skip_data();
        EXPECT_EQ(W + "skip_chunk(), got closing bracket?\n" + W + "skip_data() - unable to read block?\n",
                  log.text());
    });
}

TEST(XmlReader, ClosingTagMismatchAndStrayClosingTags)
{
    for_each_reader("<a><b>1</c></a>", [](vexa_xml_reader &r, auto) {
        log_capture log;
        char tag[100], data[100];
        ASSERT_EQ(1, r.read_tag(tag, sizeof tag));
        ASSERT_EQ(1, r.read_tag(tag, sizeof tag));
        EXPECT_EQ(1, r.read_data(data, sizeof data));
        EXPECT_EQ(W + "pop_stack_entry() - popped tag 'c' did not match expected tag 'b'.\n", log.text());
        EXPECT_EQ(1, stack_depth(r.tag_stack));
        EXPECT_EQ(0, r.read_tag(tag, sizeof tag));
        EXPECT_EQ(0, stack_depth(r.tag_stack));
    });
    // Stray closing tags on an empty stack are dropped; reading goes on.
    for_each_reader("</x></y><a>2</a>", [](vexa_xml_reader &r, auto) {
        log_capture log;
        char tag[100];
        int v = 0;
        EXPECT_EQ(0, r.read_tag(tag, sizeof tag));
        EXPECT_EQ(0, r.read_tag(tag, sizeof tag));
        EXPECT_EQ(nullptr, r.tag_stack);
        ASSERT_EQ(1, r.read_tag(tag, sizeof tag));
        EXPECT_EQ(1, r.read_data(&v));
        EXPECT_EQ(2, v);
        EXPECT_EQ(nullptr, r.tag_stack);
        EXPECT_EQ("", log.text());
    });
    // A closing text without "/" is reported and still pops.
    string_reader r("");
    vexa_xml_push_tag_entry(&r.tag_stack, "a");
    log_capture log;
    r.pop_stack_entry("a");
    EXPECT_EQ(W + "pop_stack_entry() - got bad closing tag 'a'?\n", log.text());
    EXPECT_EQ(nullptr, r.tag_stack);
}

TEST(XmlReader, BlockBracketsAndEndOfInput)
{
    struct {
        const char *input;
        int tag_mode;
        int result;
        const char *text;
        const char *reports;
    } cases[] = {
        {"abc>", 1, 1, "abc", ""},
        {"abc<", 0, 1, "abc", ""},
        {"ab<c", 1, 1, "ab", "read_block(), got second open bracket?"},
        {"ab>c", 0, 1, "ab", "read_block(), got second closing bracket?"},
        {"abc", 1, 0, "abc", "read_block(), file corruption - got EOF before trailing bracket."},
        {"", 0, 0, "", "read_block(), file corruption - got EOF before trailing bracket."},
        {"a&lt;\n>", 1, 0, "a&lt;\n", ""},
    };
    for (const auto &c : cases) {
        for_each_reader(c.input, [&](vexa_xml_reader &r, auto) {
            log_capture log;
            char buf[100] = "junk";
            EXPECT_EQ(c.result, r.read_block(buf, sizeof buf, c.tag_mode)) << c.input;
            EXPECT_STREQ(c.text, buf) << c.input;
            EXPECT_EQ(*c.reports ? W + c.reports + "\n" : "", log.text()) << c.input;
        });
    }
}

TEST(XmlReader, Cdata)
{
    const std::string section = "<bin>\n<![CDATA[\n00ff41\n]]>\n</bin>\n<after>1</after>";
    for_each_reader(section, [](vexa_xml_reader &r, auto) {
        log_capture log;
        char tag[100];
        unsigned char bytes[10];
        ASSERT_EQ(1, r.read_tag(tag, sizeof tag));
        ASSERT_EQ(3, r.read_cdata(bytes, sizeof bytes));
        EXPECT_EQ(0x00, bytes[0]);
        EXPECT_EQ(0xff, bytes[1]);
        EXPECT_EQ(0x41, bytes[2]);
        EXPECT_EQ(0, stack_depth(r.tag_stack));
        ASSERT_EQ(1, r.read_tag(tag, sizeof tag));
        EXPECT_STREQ("after", tag);
        EXPECT_EQ("", log.text());
    });
    // A destination smaller than the header, and one smaller than the data:
    // the first bytes, the element still consumed, no report.
    for (int size : {1, 2, 3}) {
        for_each_reader(section, [&](vexa_xml_reader &r, auto) {
            log_capture log;
            char tag[100];
            unsigned char bytes[3] = {9, 9, 9};
            ASSERT_EQ(1, r.read_tag(tag, sizeof tag));
            EXPECT_EQ(size, r.read_cdata(bytes, size));
            EXPECT_EQ(0x00, bytes[0]);
            EXPECT_EQ(size > 1 ? 0xff : 9, bytes[1]);
            EXPECT_EQ(0, stack_depth(r.tag_stack));
            EXPECT_EQ("", log.text());
        });
    }
    // Upper-case digits and spread-out pairs decode too.
    for_each_reader("<b><![CDATA[ A\nb C]]></b>", [](vexa_xml_reader &r, auto) {
        char tag[100];
        unsigned char bytes[4];
        ASSERT_EQ(1, r.read_tag(tag, sizeof tag));
        EXPECT_EQ(1, r.read_cdata(bytes, sizeof bytes));
        EXPECT_EQ(0xab, bytes[0]);
    });
    for_each_reader("<b>\n<![CDATX[00]]></b>", [](vexa_xml_reader &r, auto) {
        log_capture log;
        char tag[100];
        unsigned char bytes[4];
        ASSERT_EQ(1, r.read_tag(tag, sizeof tag));
        EXPECT_EQ(0, r.read_cdata(bytes, sizeof bytes));
        EXPECT_EQ(W + "read_cdata(), did not get ![CDATA[ header.\n", log.text());
    });
    for (const char *cut : {"<b><![CDA", "<b><![CDATA[0011", "<b>"}) {
        for_each_reader(cut, [&](vexa_xml_reader &r, auto) {
            char tag[100];
            unsigned char bytes[4];
            ASSERT_EQ(1, r.read_tag(tag, sizeof tag));
            EXPECT_EQ(0, r.read_cdata(bytes, sizeof bytes)) << cut;
        });
    }
}

TEST(XmlReader, NullAndTooSmallArguments)
{
    string_reader r("<a>1</a>");
    char buf[10];
    unsigned char bytes[10];
    struct call {
        std::function<int()> fn;
        const char *report;
    };
    std::vector<call> calls = {
        {[&] { return r.read_tag(nullptr, 10); }, "Error in vexa_xml_reader::read_tag(), NULL dest?"},
        {[&] { return r.read_tag(buf, 0); }, "Error in vexa_xml_reader::read_tag(), dest is too small?"},
        {[&] { return r.read_data(nullptr, 10); }, "Error in vexa_xml_reader::read_data(char[]), NULL dest?"},
        {[&] { return r.read_data(buf, -1); }, "Error in vexa_xml_reader::read_data(char[]), dest is too small?"},
        {[&] { return r.read_data((int *)nullptr); }, "Error in vexa_xml_reader::read_data(int), NULL dest?"},
        {[&] { return r.read_cdata(nullptr, 10); }, "Error in vexa_xml_reader::read_cdata(), NULL dest?"},
        {[&] { return r.read_cdata(bytes, 0); }, "Error in vexa_xml_reader::read_cdata(), dest is too small?"},
        {[&] { return r.read_block(nullptr, 10, 1); }, "Error in vexa_xml_reader::read_block(), NULL dest?"},
        {[&] { return r.read_block(buf, 0, 1); }, "Error in vexa_xml_reader::read_block(), dest is too small?"},
    };
    for (const call &c : calls) {
        log_capture log;
        EXPECT_EQ(0, c.fn()) << c.report;
        EXPECT_EQ(std::string(c.report) + "\n", log.text());
    }
    // None of them consumed input.
    EXPECT_EQ(0u, r.pos);
}

TEST(XmlFileReader, NullFileReadsEndOfInput)
{
    log_capture log;
    vexa_xml_file_reader r(nullptr);
    EXPECT_EQ("Error in vexa_xml_file_reader::vexa_xml_file_reader(), NULL file handle.\n", log.text());
    log.reset();
    char tag[10];
    EXPECT_EQ(-1, r.read_char());
    EXPECT_EQ(0, r.read_tag(tag, sizeof tag));
    EXPECT_EQ("", log.text());
}

TEST(XmlReader, DestructorFreesOpenElements)
{
    // Checked by the sanitizer build: nothing leaks.
    for_each_reader("<a><b><c>", [](vexa_xml_reader &r, auto) {
        char tag[10];
        while (r.read_tag(tag, sizeof tag)) {
        }
        EXPECT_EQ(3, stack_depth(r.tag_stack));
    });
}
