// Tagged text records: line and tag readers, value rows, extra_desc lists and
// keyword lists, read from and written to real stdio streams.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <utility>
#include <vector>

#include "runtime/tagged_text.h"
#include "tests/support/test_support.h"

namespace {

// A stdio stream holding exactly the given bytes (NULs included), at its start.
struct input_file {
    FILE *f;
    explicit input_file(const std::string &bytes) : f(tmpfile())
    {
        fwrite(bytes.data(), 1, bytes.size(), f);
        rewind(f);
    }
    ~input_file() { fclose(f); }
};

// An empty stream to write into; contents() reads back what was written.
struct output_file {
    FILE *f;
    output_file() : f(tmpfile()) {}
    ~output_file() { fclose(f); }
    std::string contents()
    {
        fflush(f);
        rewind(f);
        std::string all;
        int c;
        while ((c = fgetc(f)) != EOF)
            all.push_back((char)c);
        return all;
    }
};

bool contains(const std::string &haystack, const std::string &needle)
{
    return haystack.find(needle) != std::string::npos;
}

int list_length(const extra_desc *list)
{
    int n = 0;
    for (; list; list = list->next)
        n++;
    return n;
}

std::string text_or_null(const char *text)
{
    return text ? std::string(text) : std::string("(none)");
}

} // namespace

TEST(FgetLine, TerminatorsAndResults)
{
    // Each expected read as (text, result); the list ends with the 0 at the end.
    struct {
        std::string input;
        std::vector<std::pair<std::string, int>> reads;
    } cases[] = {
        {std::string("a\r\nb"), {{"a", 2}, {"", 1}, {"b", 2}, {"", 0}}},
        {std::string("a\nb\n"), {{"a", 2}, {"b", 2}, {"", 0}}},
        {std::string("x\ry"), {{"x", 2}, {"y", 2}, {"", 0}}},
        {std::string("\n"), {{"", 1}, {"", 0}}},
        {std::string("ab\0cd", 5), {{"ab", 3}, {"cd", 3}, {"", 0}}},
        {std::string(""), {{"", 0}}},
    };
    for (const auto &c : cases) {
        input_file in(c.input);
        for (size_t i = 0; i < c.reads.size(); i++) {
            char line[64];
            memset(line, 'z', sizeof line);
            int result = fget_line(in.f, line, sizeof line);
            EXPECT_EQ(c.reads[i].second, result) << "read " << i << " of " << c.input;
            EXPECT_EQ(c.reads[i].first, line) << "read " << i << " of " << c.input;
        }
    }
}

TEST(FgetLine, OverflowIsReportedWithTheKeptText)
{
    qv_test::log_capture log;
    const char *warning = "Warning in fget_line(), string overflow.  String was:\n";

    input_file exact("123456789\n12345678\nabcdefghijklmnopqrst\nnext\n");
    char line[10];

    // Nine characters fill a 10-byte buffer: reported although nothing was lost.
    EXPECT_EQ(10, fget_line(exact.f, line, sizeof line));
    EXPECT_STREQ("123456789", line);
    EXPECT_EQ(std::string(warning) + "123456789\n", log.text());

    log.reset();
    EXPECT_EQ(9, fget_line(exact.f, line, sizeof line));
    EXPECT_STREQ("12345678", line);
    EXPECT_EQ("", log.text());

    // Twenty characters: the first nine are kept, the rest of the line is read
    // and dropped, so the next read starts on the following line.
    EXPECT_EQ(10, fget_line(exact.f, line, sizeof line));
    EXPECT_STREQ("abcdefghi", line);
    EXPECT_EQ(std::string(warning) + "abcdefghi\n", log.text());
    EXPECT_EQ(5, fget_line(exact.f, line, sizeof line));
    EXPECT_STREQ("next", line);
}

TEST(FgetLine, NullArgumentsAreReportedNotFollowed)
{
    qv_test::log_capture log;
    char line[8] = "old";
    EXPECT_EQ(0, fget_line(nullptr, line, sizeof line));
    EXPECT_STREQ("", line);
    input_file in("abc\n");
    EXPECT_EQ(0, fget_line(in.f, nullptr, 8));
    EXPECT_EQ(0, fget_line(in.f, line, 0));
    EXPECT_TRUE(contains(log.text(), "Error in fget_line(), "));
    EXPECT_EQ(4, fget_line(in.f, line, sizeof line)); // nothing was consumed
}

TEST(FgetTag, SkipsToHashAndStopsAtBlanks)
{
    input_file in(std::string("junk #tag rest\n#E\t1\n#\n#a\0b c", 28));
    char tag[32];
    EXPECT_EQ(4, fget_tag(in.f, tag, sizeof tag));
    EXPECT_STREQ("tag", tag);
    EXPECT_EQ(2, fget_tag(in.f, tag, sizeof tag));
    EXPECT_STREQ("E", tag);
    EXPECT_EQ(1, fget_tag(in.f, tag, sizeof tag)); // "#" alone: empty tag
    EXPECT_STREQ("", tag);
    EXPECT_EQ(4, fget_tag(in.f, tag, sizeof tag)); // NUL is stored like any byte
    EXPECT_EQ(0, memcmp("a\0b", tag, 4));
    EXPECT_EQ(0, fget_tag(in.f, tag, sizeof tag)); // no further "#"
    EXPECT_STREQ("", tag);
}

TEST(FgetLong, SpansLinesAndEatsTheLineEnd)
{
    input_file in("first\nsecond;\nnext\nx;");
    char text[64];
    EXPECT_EQ(13, fget_long(in.f, text, sizeof text));
    EXPECT_STREQ("first\nsecond", text);
    char line[16];
    EXPECT_EQ(5, fget_line(in.f, line, sizeof line));
    EXPECT_STREQ("next", line);
    EXPECT_EQ(2, fget_long(in.f, text, sizeof text)); // ";" at the end of input
    EXPECT_STREQ("x", text);
    EXPECT_EQ(0, fget_long(in.f, text, sizeof text));

    qv_test::log_capture log;
    input_file longer("abcdefgh;\n");
    char small[4];
    EXPECT_EQ(4, fget_long(longer.f, small, sizeof small));
    EXPECT_STREQ("abc", small);
    EXPECT_EQ("Warning in fget_long(), string overflow.  String was:\nabc\n", log.text());
}

TEST(FgetBlock, RowsOfValues)
{
    qv_test::log_capture log;
    int v[FGET_BLOCK_VALUES];

    input_file three("1 2 3\n");
    for (int &x : v)
        x = 99;
    EXPECT_EQ(3, fget_block(three.f, v));
    EXPECT_EQ(1, v[0]);
    EXPECT_EQ(3, v[2]);
    for (int i = 3; i < FGET_BLOCK_VALUES; i++)
        EXPECT_EQ(0, v[i]) << i;

    // Fourteen values: twelve are kept, the rest of the line is dropped.
    input_file fourteen("1 2 3 4 5 6 7 8 9 10 11 12 13 14\n-7\n");
    EXPECT_EQ(12, fget_block(fourteen.f, v));
    EXPECT_EQ(12, v[11]);
    EXPECT_EQ(1, fget_block(fourteen.f, v));
    EXPECT_EQ(-7, v[0]);
    EXPECT_EQ("", log.text());

    // A blank before the line end lets the row run on into the next line.
    input_file blank("1 2 \n3\n");
    EXPECT_EQ(3, fget_block(blank.f, v));
    EXPECT_EQ(3, v[2]);

    // A value that does not convert ends the row and stays unread.
    input_file word("5 x\n");
    EXPECT_EQ(1, fget_block(word.f, v));
    EXPECT_EQ('x', fgetc(word.f));

    // The end of input is reported; what was read is kept.
    input_file eof("4 5");
    EXPECT_EQ(2, fget_block(eof.f, v));
    EXPECT_EQ(5, v[1]);
    EXPECT_EQ("Error in fget_block(), EOF encountered.\n", log.text());
}

TEST(FgetBlock, DoublesAndTheirEndOfInput)
{
    qv_test::log_capture log;
    double v[FGET_BLOCK_VALUES];
    input_file in("1.5 -2 3e2\n");
    EXPECT_EQ(3, fget_dblock(in.f, v));
    EXPECT_DOUBLE_EQ(1.5, v[0]);
    EXPECT_DOUBLE_EQ(-2.0, v[1]);
    EXPECT_DOUBLE_EQ(300.0, v[2]);
    EXPECT_DOUBLE_EQ(0.0, v[3]);
    EXPECT_EQ(0, fget_dblock(in.f, v));
    EXPECT_EQ("Error in fget_dblock(), EOF encountered.\n", log.text());
}

TEST(ExtraList, WritesOnlyTheLinesARecordNeeds)
{
    extra_desc *list = nullptr;
    extra_desc *s_only = new_extra_desc();
    s_only->s_text = strdup("just a name");
    append_extra_desc(&list, s_only);

    output_file out;
    EXPECT_GT(fput_extra_list(out.f, list), 0);
    EXPECT_EQ("#S just a name\n#end\n", out.contents());

    extra_desc *full = new_extra_desc();
    full->e_values[0] = 1;
    full->e_values[1] = -2;
    full->e_values[2] = 3;
    full->a_text = strdup("alias");
    full->s_text = strdup("short");
    full->l_text = strdup("long text\nover two lines");
    append_extra_desc(&list, full);
    append_extra_desc(&list, new_extra_desc()); // no texts: written as its values

    output_file out2;
    fput_extra_list(out2.f, list);
    EXPECT_EQ("#S just a name\n"
              "#E 1 -2 3\n#A alias\n#S short\n#L long text\nover two lines;\n"
              "#E 0 0 0\n"
              "#end\n",
              out2.contents());
    free_extra_desc_list(&list);
    EXPECT_EQ(nullptr, list);
}

TEST(ExtraList, RoundTrip)
{
    extra_desc *list = nullptr;
    extra_desc *a = new_extra_desc();
    a->s_text = strdup("only s");
    append_extra_desc(&list, a);
    extra_desc *b = new_extra_desc();
    b->e_values[2] = 42;
    b->a_text = strdup("a text");
    b->l_text = strdup("line one\nline two");
    append_extra_desc(&list, b);

    output_file out;
    fput_extra_list(out.f, list);
    std::string written = out.contents();

    input_file in(written + "#S after the end\n");
    extra_desc *read = nullptr;
    ASSERT_EQ(2, fget_extra_list(in.f, &read));
    ASSERT_EQ(2, list_length(read));
    EXPECT_EQ("only s", text_or_null(read->s_text));
    EXPECT_EQ(nullptr, read->a_text);
    EXPECT_EQ(nullptr, read->l_text);
    EXPECT_EQ(0, read->e_values[0] | read->e_values[1] | read->e_values[2]);
    const extra_desc *r2 = read->next;
    EXPECT_EQ(42, r2->e_values[2]);
    EXPECT_EQ("a text", text_or_null(r2->a_text));
    EXPECT_EQ("line one\nline two", text_or_null(r2->l_text));
    EXPECT_EQ(nullptr, r2->s_text);

    // Reading again into the same list replaces it (the old one is freed).
    input_file again("#S one\n#end\n");
    EXPECT_EQ(1, fget_extra_list(again.f, &read));
    EXPECT_EQ("one", text_or_null(read->s_text));

    free_extra_desc_list(&read);
    free_extra_desc_list(&list);
}

TEST(ExtraList, ItemsOutOfOrderStartTheNextRecord)
{
    struct {
        const char *input;
        int records;
        const char *last_s; // S text of the last record
    } cases[] = {
        {"#S x\n#A y\n#end\n", 2, "(none)"},       // A after S
        {"#A a\n#S s\n#L l;\n#end\n", 1, "s"},     // in order: one record
        {"#A a\n#S s\n#L l;\n#L m;\n", 2, "(none)"}, // repeated L
        {"#S x\n#S y\n", 2, "y"},                  // repeated S, no end line
        {"#E 1 2 3\n#E 4 5 6\n", 2, "(none)"},     // every E starts a record
        {"#S x\n#E 7 8 9\n#S z\n", 2, "z"},        // E after S, then S joins it
        {"#S x\n#END\n#S after\n", 1, "x"},        // the end word in capitals
        {"no tags at all\n", 0, nullptr},
    };
    for (const auto &c : cases) {
        input_file in(c.input);
        extra_desc *list = nullptr;
        EXPECT_EQ(c.records, fget_extra_list(in.f, &list)) << c.input;
        EXPECT_EQ(c.records, list_length(list)) << c.input;
        if (list && c.last_s) {
            const extra_desc *last = list;
            while (last->next)
                last = last->next;
            EXPECT_EQ(c.last_s, text_or_null(last->s_text)) << c.input;
        }
        free_extra_desc_list(&list);
    }
}

TEST(ExtraList, InvalidTagEndsTheReading)
{
    qv_test::log_capture log;
    input_file in("#S kept\n#Q bad\n#S never\n");
    extra_desc *list = nullptr;
    EXPECT_EQ(1, fget_extra_list(in.f, &list));
    EXPECT_EQ("kept", text_or_null(list->s_text));
    EXPECT_EQ("Error in fget_extra_list(), invalid tag 'Q' found.\n", log.text());
    free_extra_desc_list(&list);
}

TEST(KeywordList, KeywordsAndTildeDescriptions)
{
    input_file in("#alpha\nFirst ~Aword~~ and more~\n#beta beta\nSecond\nline~x\n#END\n#gamma\nnever~\n");
    extra_desc *list = nullptr;
    fget_keyword_list(in.f, &list);
    ASSERT_EQ(2, list_length(list));
    EXPECT_EQ("alpha", text_or_null(list->s_text));
    EXPECT_EQ("First ~Aword~~ and more", text_or_null(list->l_text));
    EXPECT_EQ("beta beta", text_or_null(list->next->s_text));
    EXPECT_EQ("Second\nline", text_or_null(list->next->l_text));
    free_extra_desc_list(&list);
}

TEST(KeywordList, OverlongKeywordLineIsCut)
{
    std::string keyword(TAGGED_LIST_BUFFER_SIZE + 5000, 'k');
    input_file in("#" + keyword + "\ndescription~\n#END\n");
    extra_desc *list = nullptr;
    fget_keyword_list(in.f, &list);
    ASSERT_EQ(1, list_length(list));
    EXPECT_EQ(std::string(TAGGED_LIST_BUFFER_SIZE - 1, 'k'), text_or_null(list->s_text));
    // The cut part was dropped, not taken for the description.
    EXPECT_EQ("description", text_or_null(list->l_text));
    free_extra_desc_list(&list);
}

TEST(HashLine, CutsToTheDestinationSize)
{
    input_file in("skip #abcdef\r#gh\nno hash");
    char line[4];
    EXPECT_EQ(4, fget_hash_line(in.f, line, sizeof line));
    EXPECT_STREQ("abc", line);
    EXPECT_EQ(3, fget_hash_line(in.f, line, sizeof line));
    EXPECT_STREQ("gh", line);
    EXPECT_EQ(0, fget_hash_line(in.f, line, sizeof line));
    EXPECT_STREQ("", line);
}

TEST(TildeAndSemicolonText, LimitsFitTheirDestinations)
{
    // Exactly sized heap destinations, so a write past them is caught.
    std::vector<char> tilde(TILDE_TEXT_SIZE);
    input_file plain(std::string(5000, 't'));
    EXPECT_EQ(TILDE_TEXT_MAX_CHARS + 1, fget_tilde_text(plain.f, tilde.data()));
    EXPECT_EQ(std::string(TILDE_TEXT_MAX_CHARS, 't'), tilde.data());

    // A "~X" pair that starts one short of the limit ends one past it.
    input_file pair(std::string(TILDE_TEXT_MAX_CHARS - 1, 't') + "~Qmore");
    EXPECT_EQ(TILDE_TEXT_MAX_CHARS + 2, fget_tilde_text(pair.f, tilde.data()));
    EXPECT_EQ(std::string(TILDE_TEXT_MAX_CHARS - 1, 't') + "~Q", tilde.data());

    input_file ends("ab~cd~");
    EXPECT_EQ(3, fget_tilde_text(ends.f, tilde.data()));
    EXPECT_STREQ("ab", tilde.data());
    EXPECT_EQ('d', fgetc(ends.f)); // the character after "~" was consumed

    std::vector<char> semi(SEMICOLON_TEXT_SIZE);
    input_file text(" some text;\nnext");
    EXPECT_EQ(10, fget_semicolon_text(text.f, semi.data()));
    EXPECT_STREQ("some text", semi.data());
    char line[8];
    fget_line(text.f, line, sizeof line);
    EXPECT_STREQ("next", line);

    input_file huge(" " + std::string(6000, 's'));
    EXPECT_EQ(SEMICOLON_TEXT_MAX_CHARS + 1, fget_semicolon_text(huge.f, semi.data()));
    EXPECT_EQ(std::string(SEMICOLON_TEXT_MAX_CHARS, 's'), semi.data());
}

TEST(NumericRows, WrittenTenPerLine)
{
    int values[12];
    for (int i = 0; i < 12; i++)
        values[i] = i * 11 - 5;
    output_file out;
    EXPECT_EQ(1, fput_int_rows(out.f, "V", values, 12));
    EXPECT_EQ("V0 -5 6 17 28 39 50 61 72 83 94\nV1 105 116\n\n", out.contents());

    signed char bytes[3] = {-1, 127, -128};
    output_file out2;
    fput_byte_rows(out2.f, "B", bytes, 3);
    EXPECT_EQ("B0 -1 127 -128\n\n", out2.contents());

    output_file none;
    fput_int_rows(none.f, "V", values, 0);
    EXPECT_EQ("\n", none.contents());
}

TEST(NumericRows, ReadBackIntoRange)
{
    qv_test::log_capture log;
    const int count = 15;
    int values[20];
    for (int &v : values)
        v = -1;
    input_file in("10 11 12 13 14 15 16 17 18 19\n0 1 2 3 4 5 6 7 8 9\n1 1\n2 2\n3 3\n");
    EXPECT_EQ(1, fget_int_row(in.f, "1", values, count));
    for (int i = 10; i < count; i++)
        EXPECT_EQ(i, values[i]) << i;
    for (int i = count; i < 20; i++)
        EXPECT_EQ(-1, values[i]) << "written at or past count: " << i;
    EXPECT_EQ(1, fget_int_row(in.f, "0", values, count));
    EXPECT_EQ(9, values[9]);

    // Rows out of range are read and ignored.
    EXPECT_EQ(0, fget_int_row(in.f, "2", values, count));
    EXPECT_EQ(0, fget_int_row(in.f, "-1", values, count));
    EXPECT_EQ(0, fget_int_row(in.f, "99999999999", values, count));
    int after[FGET_BLOCK_VALUES];
    EXPECT_EQ(0, fget_block(in.f, after));
    EXPECT_EQ("Error in fget_block(), EOF encountered.\n", log.text());

    signed char bytes[10];
    input_file b("-1 200 3\n");
    EXPECT_EQ(1, fget_byte_row(b.f, "0", bytes, 10));
    EXPECT_EQ(-1, bytes[0]);
    EXPECT_EQ(3, bytes[2]);
    EXPECT_EQ(0, bytes[3]);
}

TEST(LineStartsWith, CaseSensitivePrefix)
{
    struct {
        const char *text;
        const char *start;
        int expected;
    } cases[] = {
        {"abc", "ab", 1}, {"abc", "abc", 1}, {"ab", "abc", 0}, {"Abc", "ab", 0},
        {"x", "", 1},     {nullptr, "a", 0}, {"a", nullptr, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.expected, line_starts_with(c.text, c.start))
            << text_or_null(c.text) << " / " << text_or_null(c.start);

    input_file in("hello world\nbye\n");
    EXPECT_EQ(1, fget_line_starts_with(in.f, "hello"));
    EXPECT_EQ(0, fget_line_starts_with(in.f, "hello"));
}

TEST(ExtraDescList, CopyReplaceAndReuse)
{
    extra_desc *list = nullptr;
    const char *names[] = {"one", "two", "three"};
    for (const char *name : names) {
        extra_desc *r = new_extra_desc();
        r->s_text = strdup(name);
        r->e_values[1] = (int)strlen(name);
        append_extra_desc(&list, r);
    }

    extra_desc *copy = copy_extra_desc_list(list);
    ASSERT_EQ(3, list_length(copy));
    const extra_desc *o = list;
    for (const extra_desc *c = copy; c; c = c->next, o = o->next) {
        EXPECT_NE(o, c);
        EXPECT_NE(o->s_text, c->s_text);
        EXPECT_STREQ(o->s_text, c->s_text);
        EXPECT_EQ(o->e_values[1], c->e_values[1]);
        EXPECT_EQ(nullptr, c->l_text);
    }

    // Replacing a list with (part of) itself must not read freed records.
    extra_desc *tail = list->next;
    extra_desc *replaced = replace_extra_desc_list(&list, tail);
    EXPECT_EQ(replaced, list);
    ASSERT_EQ(2, list_length(list));
    EXPECT_STREQ("two", list->s_text);
    EXPECT_STREQ("three", list->next->s_text);

    free_extra_desc_list(&copy);
    free_extra_desc_list(&list);

    // A record given back comes out of the pool again zeroed.
    extra_desc *r = new_extra_desc();
    r->e_values[0] = 5;
    r->a_text = strdup("dirty");
    r->next = r;
    free_extra_desc(r);
    extra_desc *again = new_extra_desc();
    EXPECT_EQ(0, again->e_values[0]);
    EXPECT_EQ(nullptr, again->a_text);
    EXPECT_EQ(nullptr, again->next);
    free_extra_desc(again);
}
