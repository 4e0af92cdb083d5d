// text_buffer: limits and the word append.
#include <gtest/gtest.h>

#include <string>

#include "runtime/text_buffer.h"

TEST(TextBuffer, StartsEmptyAndClears)
{
    text_buffer b;
    EXPECT_TRUE(b.is_empty());
    EXPECT_STREQ("", b.text());
    b.append("abc");
    EXPECT_EQ(3, b.length);
    b.clear();
    EXPECT_TRUE(b.is_empty());
    EXPECT_STREQ("", b.text());
}

TEST(TextBuffer, NullAppendsNullMarkerButNullWordAddsNothing)
{
    text_buffer b;
    b.append(nullptr);
    b.append_word(nullptr);
    EXPECT_STREQ("(null)", b.text());
}

TEST(TextBuffer, AppendWordStopsAtBlanks)
{
    struct {
        const char *in;
        const char *out;
    } cases[] = {{"word rest", "word"}, {"tab\tx", "tab"}, {"nl\nx", "nl"}, {"", ""}, {" lead", ""}};
    for (const auto &c : cases) {
        text_buffer b;
        b.append_word(c.in);
        EXPECT_STREQ(c.out, b.text()) << c.in;
    }
}

TEST(TextBuffer, CutsAtTheLimitAndReportsFull)
{
    text_buffer b;
    std::string big(7000, 'x');
    b.append(big.c_str());
    EXPECT_EQ(TEXT_BUFFER_MAX_CHARS, b.length);
    EXPECT_EQ(TEXT_BUFFER_MAX_CHARS, (int)std::string(b.text()).size());
    EXPECT_TRUE(b.is_full());
    b.append_char('y');
    b.append_word("more");
    b.append_format("%d", 12345);
    EXPECT_EQ(TEXT_BUFFER_MAX_CHARS, b.length);
    EXPECT_EQ('x', b.text()[TEXT_BUFFER_MAX_CHARS - 1]);
}

TEST(TextBuffer, FullMeansLengthPast5998)
{
    text_buffer b;
    b.append(std::string(5998, 'a').c_str());
    EXPECT_FALSE(b.is_full());
    b.append_char('b');
    EXPECT_TRUE(b.is_full());
    EXPECT_EQ(5999, b.length);
}

TEST(TextBuffer, AppendFormatCutsLikeAppend)
{
    text_buffer b;
    b.append(std::string(5995, 'a').c_str());
    b.append_format("%s", "123456789");
    EXPECT_EQ(5999, b.length);
    EXPECT_EQ(std::string(5995, 'a') + "1234", b.text());
}
