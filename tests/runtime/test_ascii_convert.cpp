// UTF-8 decoding, the transliteration table and the conversion of argument
// text to printable ASCII.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "runtime/ascii_convert.h"
#include "runtime/text_buffer.h"

namespace {

std::string convert(const std::string &bytes)
{
    text_buffer b;
    append_as_ascii(bytes.c_str(), &b);
    return b.text();
}

// Largest code point the decoder can produce (21 bits).
const int MAX_DECODED = 0x1FFFFF;

} // namespace

TEST(DecodeUtf8, StepsThroughWellFormedAndBrokenSequences)
{
    struct {
        const char *name;
        std::string bytes;
        std::vector<std::pair<int, int>> steps; // code point, bytes consumed
    } cases[] = {
        {"ascii", "A", {{65, 1}}},
        {"two bytes", "\xC3\xA4", {{0xE4, 2}}},
        {"three bytes", "\xE2\x82\xAC", {{0x20AC, 3}}},
        {"four bytes", "\xF0\x9F\x98\x80", {{0x1F600, 4}}},
        {"largest 21 bits", "\xF7\xBF\xBF\xBF", {{MAX_DECODED, 4}}},
        {"stray continuation", "\x80\xBF", {{0, 1}, {0x3F, 1}}},
        {"lead at the end", "\xC3", {{3, 1}}},
        {"lead before ascii", "\xC3" "A", {{3, 1}, {65, 1}}},
        {"cut three-byte sequence", "\xE2\x82" "x", {{0x82, 2}, {'x', 1}}},
        {"cut four-byte sequence at the end", "\xF0\x9F\x98", {{0x7D8, 3}}},
        {"bytes F8 to FF", "\xF8\xFF", {{46, 1}, {46, 1}}},
        {"overlong NUL", "\xC0\x80" "a", {{0, 2}, {'a', 1}}},
        {"overlong slash", "\xC0\xAF", {{'/', 2}}},
        {"surrogate passes", "\xED\xA0\x80", {{0xD800, 3}}},
    };
    for (const auto &c : cases) {
        const char *p = c.bytes.c_str();
        for (const auto &s : c.steps) {
            int cp = -1;
            const char *next = decode_utf8_sequence(p, &cp);
            ASSERT_NE(nullptr, next) << c.name;
            EXPECT_EQ(s.first, cp) << c.name;
            EXPECT_EQ(s.second, next - p) << c.name;
            p = next;
        }
        int cp = -7;
        EXPECT_EQ(nullptr, decode_utf8_sequence(p, &cp)) << c.name << ": should be at the end";
        EXPECT_EQ(-7, cp) << c.name;
    }
    EXPECT_EQ(nullptr, decode_utf8_sequence(nullptr, nullptr));
    const char *a = "ab";
    EXPECT_EQ(a + 1, decode_utf8_sequence(a, nullptr));
}

TEST(TransliterationTable, Has643EntriesFrom128To8482)
{
    int count = 0;
    int lowest = -1, highest = -1;
    for (int cp = -1; cp <= MAX_DECODED; cp++) {
        const char *t = ascii_replacement(cp);
        if (!t)
            continue;
        count++;
        if (lowest < 0)
            lowest = cp;
        highest = cp;
        std::string s(t);
        EXPECT_GE(s.size(), 1u) << cp;
        EXPECT_LE(s.size(), 5u) << cp;
        for (char ch : s)
            EXPECT_TRUE(ch >= 32 && ch <= 126) << cp << " holds a byte outside printable ASCII";
    }
    EXPECT_EQ(643, count);
    EXPECT_EQ(128, lowest);
    EXPECT_EQ(8482, highest);
}

TEST(TransliterationTable, SpecialCells)
{
    std::set<int> spaces, quotes, infinity;
    for (int cp = 0; cp <= 0x2200; cp++) {
        const char *t = ascii_replacement(cp);
        if (!t)
            continue;
        std::string s(t);
        if (s == " ")
            spaces.insert(cp);
        if (s == "\"")
            quotes.insert(cp);
        if (s == "(inf)")
            infinity.insert(cp);
    }
    EXPECT_EQ((std::set<int>{129, 141, 143, 144, 157, 160, 173, 847}), spaces);
    EXPECT_EQ((std::set<int>{0x93, 0x94, 0x2BA, 0x2DD, 0x2EE, 0x2F5, 0x2F6, 0x30B, 0x30E, 0x30F, 0x348,
                             0x201C, 0x201D, 0x201E, 0x201F, 0x2033, 0x2034, 0x2036, 0x2037, 0x2056}),
              quotes);
    EXPECT_EQ((std::set<int>{858}), infinity);

    struct {
        int cp;
        const char *text; // null: no entry
    } cells[] = {
        {0x80, "EU"},  {0x99, "TM"},   {0x2122, "TM"}, {0x20AC, "EU"}, {0xA6, "|"},   {0x1C0, "|"},
        {0x1C1, "||"}, {0x2016, "||"}, {0xE4, "ae"},   {0xD6, "Oe"},   {0xDF, "ss"},  {0xA5, "YEN"},
        {0x85, "..."}, {0x2026, "..."}, {0xBC, "1/4"}, {0x2047, "??"}, {0x1AA, nullptr}, {0x1C2, nullptr},
        {0x2B5, nullptr}, {0x416, nullptr}, {127, nullptr}, {65, nullptr}, {0x240, nullptr}, {0x360, nullptr},
        {0x20AD, nullptr}, {0x2123, nullptr},
    };
    for (const auto &c : cells) {
        const char *t = ascii_replacement(c.cp);
        if (c.text)
            EXPECT_STREQ(c.text, t) << c.cp;
        else
            EXPECT_EQ(nullptr, t) << c.cp;
    }
}

TEST(AppendAsAscii, ConvertsArgumentBytes)
{
    struct {
        const char *name;
        std::string bytes;
        std::string ascii;
    } cases[] = {
        {"plain option", "-v", "-v"},
        {"a umlaut", "\xC3\xA4", "ae"},
        {"O umlaut", "\xC3\x96", "Oe"},
        {"sharp s", "\xC3\x9F", "ss"},
        {"e acute in an option", "-\xC3\xA9", "-e"},
        {"euro sign", "\xE2\x82\xAC", "EU"},
        {"stray byte 80 ends it", "a\x80" "b", "a"},
        {"curly double quotes", "\xE2\x80\x9C" "x" "\xE2\x80\x9D", "\"x\""},
        {"no entry", "\xD0\x96", "[1046]"},
        {"beyond the BMP", "\xF0\x9F\x98\x80", "[128512]"},
        {"tab, CR and LF stay", "a\tb\r\n", "a\tb\r\n"},
        {"control characters", "\x01\x1F" "x\x1B", "..x."},
        {"DEL", "\x7F", "[127]"},
        {"lead byte at the end", "x\xC3", "x."},
        {"lead byte before ASCII", "\xC3" "A", ".A"},
        {"byte FF", "\xFF", "."},
        {"overlong NUL ends it", "a\xC0\x80" "b", "a"},
        {"code page 1252 range", "\xC2\x80\xC2\x99\xC2\x8D", "EUTM "},
        {"empty", "", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.ascii, convert(c.bytes)) << c.name;
}

TEST(AppendAsAscii, AppendsAndCutsAtTheBufferLimit)
{
    text_buffer b;
    b.append("arg: ");
    append_as_ascii("\xC3\xA4!", &b);
    EXPECT_STREQ("arg: ae!", b.text());

    std::string many;
    for (int i = 0; i < 3500; i++)
        many += "\xC3\xA4"; // 7000 output characters
    text_buffer cut;
    append_as_ascii(many.c_str(), &cut);
    EXPECT_EQ(TEXT_BUFFER_MAX_CHARS, cut.length);
    std::string expect;
    for (int i = 0; i < 3000; i++)
        expect += "ae";
    expect.resize(TEXT_BUFFER_MAX_CHARS);
    EXPECT_EQ(expect, cut.text());

    text_buffer untouched;
    append_as_ascii((const char *)nullptr, &untouched);
    EXPECT_STREQ("", untouched.text());
    append_as_ascii("x", nullptr);
}

TEST(AppendAsAscii, FrameworkStringsConvertTheirUtf8Form)
{
    wxString s = wxString::FromUTF8("-\xC3\xA9 \xE2\x82\xAC \xD0\x96");
    text_buffer b;
    append_as_ascii(s, &b);
    EXPECT_STREQ("-e EU [1046]", b.text());
    EXPECT_EQ("-e EU [1046]", std::string(as_ascii_string(s).ToAscii()));

    wxString dest("x=");
    append_as_ascii_string(wxString(L"\u00FC\u2122"), dest);
    EXPECT_EQ("x=ueTM", std::string(dest.ToAscii()));

    // The framework string grows: no cut at the text buffer's limit.
    wxString many;
    for (int i = 0; i < 4000; i++)
        many += wxString(L"\u00E4");
    wxString out = as_ascii_string(many);
    EXPECT_EQ(8000u, out.length());
    EXPECT_EQ("aeae", std::string(out.Left(4).ToAscii()));
}
