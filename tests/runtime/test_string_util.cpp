// Word stepping, comparison, lists, option lines, wildcards, bounded copy and
// keyword lists.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/log.h"
#include "runtime/string_util.h"
#include "runtime/text_buffer.h"
#include "tests/support/test_support.h"

namespace {

// Raises log_level so chatter reports are written, for the scope.
struct chatter_level {
    int saved = log_level;
    chatter_level() { log_level = 3; }
    ~chatter_level() { log_level = saved; }
};

std::string or_null(const char *p)
{
    return p ? std::string(p) : std::string("<null>");
}

} // namespace

TEST(WordEqual, FoldsOnlyAsciiLettersAndEndsWordsAtBlanks)
{
    struct {
        const char *a, *b;
        int equal;
    } cases[] = {
        {"abc", "ABC", 1},
        {"Content-Length:", "content-length: 12", 1},
        {"abc def", "abc", 1},
        {"abc\tx", "ABC\ny", 1},
        {"abc ", "abc\n", 1},
        {"abc", "abcd", 0},
        {"abcd", "abc", 0},
        {"", "", 1},
        {"", "a", 0},
        {" a", "a", 0},             // the first word of " a" is empty
        {"[", "{", 0},              // only A to Z fold: '[' + 32 is '{'
        {"@", "`", 0},
        {"\xC4", "\xE4", 0},        // bytes above 127 are never folded
        {"\xC4rger", "\xC4RGER", 1},
        {"a\rb", "a\rB", 1},        // CR is part of a word
        {"a\rb", "a", 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.equal, word_equal(c.a, c.b)) << "'" << c.a << "' vs '" << c.b << "'";
    EXPECT_EQ(0, word_equal(nullptr, "a"));
    EXPECT_EQ(0, word_equal("a", nullptr));
    EXPECT_EQ(0, word_equal(nullptr, nullptr));
}

TEST(WordEqual, GivesUpAfter400EqualBytes)
{
    struct {
        size_t length;
        int equal;
    } cases[] = {{398, 1}, {399, 1}, {400, 0}, {401, 0}, {1000, 0}};
    for (const auto &c : cases) {
        std::string lower(c.length, 'q');
        std::string upper(c.length, 'Q');
        EXPECT_EQ(c.equal, word_equal(lower.c_str(), upper.c_str())) << c.length;
        EXPECT_EQ(c.equal, word_equal((lower + " x").c_str(), (upper + "\ty").c_str())) << c.length;
        EXPECT_EQ(c.equal, word_in_list(lower.c_str(), ("a " + upper + " b").c_str())) << c.length;
    }
}

TEST(WordInList, MatchesCommandLineOptions)
{
    struct {
        const char *word, *list;
        int found;
    } cases[] = {
        {"-H", "-h --help", 1},
        {"--HELP", "-h --help", 1},
        {"-help", "-h --help", 0},
        {"-v", "-v --verbose", 1},
        {"--Verbose", "-v --verbose", 1},
        {"-h trailing", "-h --help", 1},
        {"-", "-h --help", 0},
        {"", "-h --help", 0},
        {"", "", 0},
        {"PUT", "PUT POST", 1},
        {"post", "PUT POST", 1},
        {"GET", "PUT POST", 0},
        {"-h", "  -h\t--help\n", 1}, // blanks before the first word are skipped
        {"--help", "  -h\t--help\n", 1},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.found, word_in_list(c.word, c.list)) << "'" << c.word << "' in '" << c.list << "'";
        EXPECT_EQ(c.found, is_word_in_list(c.word, c.list)) << c.word;
        EXPECT_EQ(c.found, list_has_word(c.list, c.word)) << c.word;
    }
    EXPECT_EQ(0, word_in_list(nullptr, "a"));
    EXPECT_EQ(0, word_in_list("a", nullptr));
}

TEST(WordStepping, NextArgAndLastArg)
{
    struct {
        const char *text;
        int next;      // offset of next_arg's result, -1 for null
        int next_eol;  // the same for next_arg_eol
        int last;      // offset of last_arg's result
    } cases[] = {
        {"  one  two ", 7, 7, 7},
        {"one", -1, -1, 0},
        {"one   ", -1, -1, 0},
        {"one\ntwo", 4, -1, 4},
        {"one\ttwo", 4, -1, 4},  // a tab belongs to the word for next_arg_eol
        {"one two\tx", 4, 4, 8},
        {"a b c", 2, 2, 4},
        {"  a", -1, -1, 0},
        {"", -1, -1, 0},
        {"   ", -1, -1, 0},
    };
    for (const auto &c : cases) {
        const char *n = next_arg(c.text);
        const char *e = next_arg_eol(c.text);
        EXPECT_EQ(c.next, n ? (int)(n - c.text) : -1) << "'" << c.text << "'";
        EXPECT_EQ(c.next_eol, e ? (int)(e - c.text) : -1) << "'" << c.text << "'";
        EXPECT_EQ(c.last, (int)(last_arg(c.text) - c.text)) << "'" << c.text << "'";
    }
    char line[] = "x y";
    char *second = next_arg(line);
    ASSERT_EQ(line + 2, second);
    *second = 'z'; // the char overload points into the caller's writable text
    EXPECT_STREQ("x z", line);
}

TEST(WordStepping, NullTextIsReportedAsChatter)
{
    qv_test::log_capture log;
    {
        chatter_level raise;
        EXPECT_EQ(nullptr, next_arg((const char *)nullptr));
        EXPECT_EQ(nullptr, next_arg_eol((const char *)nullptr));
        EXPECT_EQ(nullptr, last_arg((const char *)nullptr));
    }
    EXPECT_EQ("Error in next_arg(), NULL pointer passed in.\n"
              "Error in next_arg_eol(), NULL pointer passed in.\n"
              "Error in last_arg(), NULL pointer passed in.\n",
              log.text());
    log.reset();
    EXPECT_EQ(nullptr, next_arg((const char *)nullptr)); // level 1: chatter stays out
    EXPECT_EQ("", log.text());
}

TEST(ParseInt, AcceptsALeadingIntegerOnly)
{
    struct {
        const char *text;
        int ok;
        int value;
    } cases[] = {
        {"-5", 1, -5},
        {"7", 1, 7},
        {"7days", 1, 7},
        {"12abc", 1, 12},
        {"+42", 1, 42},
        {"+x", 1, 0},
        {"+", 1, 0},
        {"0", 1, 0},
        {"-0", 1, 0},
        {"2147483647", 1, INT_MAX},
        {"-2147483648", 1, INT_MIN},
        {"2147483648", 1, INT_MAX},          // saturates instead of wrapping
        {"99999999999999999999", 1, INT_MAX},
        {"-99999999999999999999", 1, INT_MIN},
        {"-x", 0, 0},
        {"-", 0, 0},
        {" 5", 0, 0},
        {"\t5", 0, 0},
        {"", 0, 0},
        {"abc", 0, 0},
    };
    for (const auto &c : cases) {
        int v = 12345;
        EXPECT_EQ(c.ok, parse_int(c.text, &v)) << c.text;
        EXPECT_EQ(c.ok ? c.value : 12345, v) << c.text;
        EXPECT_EQ(c.ok, parse_int(c.text)) << c.text;
    }
    int v = 12345;
    EXPECT_EQ(0, parse_int(nullptr, &v));
    EXPECT_EQ(12345, v);
}

TEST(WordPrefix, LengthOfAbbreviation)
{
    struct {
        const char *a, *b;
        int result;
    } cases[] = {
        {"con", "Content-Length:", 3},
        {"HTTP/", "http/1.1 200 OK", 5},
        {"contents", "content", 0},
        {"content", "content", 7},
        {"con x", "content", 3},
        {"cx", "content", 0},
        {"", "content", 0},
        {"", "", 0},
        {" ", " ", 0},
        {"a", "", 0},
        {"a", "b a", 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.result, is_word_prefix(c.a, c.b)) << "'" << c.a << "' of '" << c.b << "'";
    EXPECT_EQ(0, is_word_prefix(nullptr, "a"));
    EXPECT_EQ(0, is_word_prefix("a", nullptr));

    std::string b(500, 'z');
    EXPECT_EQ(399, is_word_prefix(std::string(399, 'Z').c_str(), b.c_str()));
    EXPECT_EQ(0, is_word_prefix(std::string(400, 'Z').c_str(), b.c_str()));
}

TEST(WordPrefix, MinimumLengthOrWholeWord)
{
    struct {
        const char *a, *b;
        int minimum;
        int result;
    } cases[] = {
        {"-", "-force", 2, 0},
        {"-f", "-force", 2, 2},
        {"-fo", "-force", 2, 3},
        {"-", "-", 2, 1},        // short, but the whole word
        {"-", "- x", 2, 1},
        {"ab", "abc", 3, 0},
        {"ab", "abc", 0, 2},
        {"ab", "abc", -1, 2},
        {"abc", "abc", 5, 3},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.result, is_word_prefix_min(c.a, c.b, c.minimum)) << c.a << " " << c.b << " " << c.minimum;
}

TEST(MatchFlagWord, LeadingPartWrittenAsOption)
{
    struct {
        const char *argument, *flag;
        int result;
    } cases[] = {
        {"-verbose", "verbose", 1},
        {"-verb", "verbose", 1},
        {"-v", "verbose", 1},
        {"-v rest", "verbose", 1},
        {"-verbosely", "verbose", 0},
        {"-Verbose", "verbose", 0}, // case matters
        {"verbose", "verbose", 0},  // the dash is required
        {"--verbose", "verbose", 0},
        {"-", "verbose", 0},
        {"--v", "--verbose", 1},
        {"--verbose", "--verbose", 1},
        {"-v", "--verbose", 0},
        {"---v", "--verbose", 0},
        {"-x", "verbose", 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.result, match_flag_word(c.argument, c.flag)) << c.argument << " for " << c.flag;
    EXPECT_EQ(0, match_flag_word(nullptr, "v"));
    EXPECT_EQ(0, match_flag_word("-v", nullptr));
}

TEST(WordLists, AllWordsAndPrefixes)
{
    EXPECT_EQ(1, all_words_in_list("a b c", "B a"));
    EXPECT_EQ(1, all_words_in_list("a b c", "  c\tc "));
    EXPECT_EQ(0, all_words_in_list("a b c", "a x"));
    EXPECT_EQ(0, all_words_in_list("a b c", nullptr));
    EXPECT_EQ(0, all_words_in_list("a b c", ""));
    EXPECT_EQ(0, all_words_in_list(nullptr, "a"));

    EXPECT_EQ(1, is_prefix_of_any_word("content-length host", "Con"));
    EXPECT_EQ(1, is_prefix_of_any_word("content-length host", "HOST"));
    EXPECT_EQ(0, is_prefix_of_any_word("content-length host", "hostname"));
    EXPECT_EQ(0, is_prefix_of_any_word("content-length host", ""));
    EXPECT_EQ(0, is_prefix_of_any_word(nullptr, "a"));

    EXPECT_EQ(1, all_words_are_prefixes("apple banana", "ap BAN a"));
    EXPECT_EQ(0, all_words_are_prefixes("apple banana", "ap x"));
    EXPECT_EQ(1, all_words_are_prefixes("apple banana", nullptr));
    EXPECT_EQ(1, all_words_are_prefixes("apple banana", "  "));
    EXPECT_EQ(0, all_words_are_prefixes(nullptr, "a"));

    EXPECT_EQ(1, is_prefix_min_of_any_word("-f", "-quiet -force", 2));
    EXPECT_EQ(0, is_prefix_min_of_any_word("-", "-quiet -force", 2));
    EXPECT_EQ(1, is_prefix_min_of_any_word("-", "-quiet - -force", 2));
    EXPECT_EQ(0, is_prefix_min_of_any_word("-x", "-quiet -force", 2));
}

TEST(Options, OptionWordMatch)
{
    struct {
        const char *argument, *option;
        int flags;
        int result;
    } cases[] = {
        {"-f", "-force", OPTION_ABBREVIATE, 1},
        {"--force", "-force", OPTION_ABBREVIATE, 1},
        {"-FORCE", "-force", OPTION_ABBREVIATE, 1},
        {"-", "-force", OPTION_ABBREVIATE, 0},
        {"-fx", "-force", OPTION_ABBREVIATE, 0},
        {"-forced", "-force", OPTION_ABBREVIATE, 0},
        {"--force", "-force", 0, 1},
        {"-force", "-force", 0, 1},
        {"-f", "-force", 0, 0},
        {"x-force", "-force", 0, 0}, // only a dash may stand in front
        {"", "-force", 0, 0},
        {"fo", "force", OPTION_ABBREVIATE, 1},
        {"fo", "force", 0, 0},
        {"-force", "force", 0, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.result, option_word_match(c.argument, c.option, c.flags))
            << c.argument << " for " << c.option << " flags " << c.flags;
}

TEST(Options, ExtractOption)
{
    struct {
        const char *line, *option;
        int flags;
        int found;
        const char *out;
    } cases[] = {
        {"get -force sword", "-force", OPTION_ANYWHERE, 1, "get sword"},
        {"-force get  sword", "-force", OPTION_FIRST, 1, "get  sword"},
        {"get sword -force", "-force", OPTION_LAST, 1, "get sword"},
        {"get sword  -force  ", "-force", OPTION_LAST, 1, "get sword"},
        {"get -force sword", "-force", OPTION_FIRST, 0, ""},
        {"get -force sword", "-force", OPTION_LAST, 0, ""},
        {"get -force sword", "-force", OPTION_FIRST | OPTION_LAST, 0, ""},
        {"a   b -force c  d", "-force", OPTION_ANYWHERE, 1, "a b c  d"},
        {"get -f sword", "-force", OPTION_ANYWHERE | OPTION_ABBREVIATE, 1, "get sword"},
        {"get -f sword", "-force", OPTION_ANYWHERE, 0, ""},
        {"get --force sword", "-force", OPTION_ANYWHERE, 1, "get sword"},
        {"-force", "-force", OPTION_FIRST, 1, ""},
        {"-force", "-force", OPTION_LAST, 1, ""},
        {"  -force", "-force", OPTION_FIRST, 1, ""},
        {"a -x b -x", "-x", OPTION_ANYWHERE, 1, "a -x b"}, // one occurrence, last tried early
        {"a b\nc", "c", OPTION_LAST, 1, "a b"},            // the word before a newline stays
        {"a b c", "-force", OPTION_ANYWHERE, 0, ""},
        {"", "-force", OPTION_ANYWHERE, 0, ""},
    };
    for (const auto &c : cases) {
        text_buffer out;
        out.append("stale");
        EXPECT_EQ(c.found, extract_option(c.line, &out, c.option, c.flags)) << c.line << " flags " << c.flags;
        EXPECT_STREQ(c.out, out.text()) << c.line << " flags " << c.flags;
    }
    text_buffer out;
    EXPECT_EQ(0, extract_option(nullptr, &out, "-x", OPTION_ANYWHERE));
    EXPECT_EQ(0, extract_option("-x", &out, nullptr, OPTION_ANYWHERE));
    EXPECT_EQ(0, extract_option("-x", nullptr, "-x", OPTION_ANYWHERE));
}

TEST(Options, RemoveForceOption)
{
    text_buffer buf;
    int found = -1;
    EXPECT_EQ("get sword", or_null(remove_force_option("get -force sword", &buf, &found)));
    EXPECT_EQ(1, found);

    const char *line = "get sword";
    EXPECT_EQ(line, remove_force_option(line, &buf, &found)); // the very same text
    EXPECT_EQ(0, found);

    EXPECT_EQ(nullptr, remove_force_option("-force", &buf, &found));
    EXPECT_EQ(1, found);
    EXPECT_EQ("take", or_null(remove_force_option("-f take", &buf, &found)));
    EXPECT_EQ(1, found);
    EXPECT_EQ(nullptr, remove_force_option("", &buf, &found));
    EXPECT_EQ(0, found);
    EXPECT_EQ(nullptr, remove_force_option(nullptr, &buf, &found));
    EXPECT_EQ(0, found);
    EXPECT_EQ("x", or_null(remove_option("x -q", &buf, "-quiet", nullptr)));
}

TEST(Options, RemoveOptionsTakesEveryOccurrence)
{
    struct {
        const char *line, *options, *out;
    } cases[] = {
        {"a -x b -y -x c", "-x -y", "a b c"},
        {"-x -x -x", "-x", ""},
        {"a --x b", "-x", "a b"},
        {"a -xy b", "-x", "a -xy b"}, // no abbreviations here
        {"a b", "", "a b"},
        {"a b", nullptr, "a b"},
    };
    for (const auto &c : cases) {
        text_buffer out;
        remove_options(c.line, &out, c.options);
        EXPECT_STREQ(c.out, out.text()) << c.line;
    }
    text_buffer out;
    out.append("stale");
    remove_options(nullptr, &out, "-x");
    EXPECT_STREQ("", out.text());
}

TEST(Options, StripLastWord)
{
    struct {
        const char *in, *out;
    } cases[] = {
        {"a b c", "a b"}, {"a b ", "a"}, {"a   b", "a"}, {"a\tb", "a"}, {"one", ""},
        {" one", ""},     {"one  ", ""}, {"", ""},       {"   ", "   "},
    };
    for (const auto &c : cases) {
        char line[32];
        strcpy(line, c.in);
        strip_last_word(line);
        EXPECT_STREQ(c.out, line) << "'" << c.in << "'";
    }
    strip_last_word(nullptr);
}

TEST(Wildcard, StarMatchesAnyRun)
{
    struct {
        const char *text, *pattern;
        int result;
    } cases[] = {
        {"abab", "*ab", 1},
        {"abc", "a*", 1},
        {"abc", "a*b", 0},
        {"abc", "abc", 1},
        {"ABC", "abc", 0},
        {"abc", "A*", 0},
        {"abc", "ab", 0},
        {"ab", "abc", 0},
        {"", "", 1},
        {"", "*", 1},
        {"", "**", 1},
        {"x", "", 0},
        {"a", "a*a", 0},
        {"aa", "a*a", 1},
        {"abcbd", "a*b*d", 1},
        {"aXbYc", "a*b*c", 1},
        {"abc", "*b*", 1},
        {"abc", "**c", 1},
        {"ab", "a*b*", 1},
        {"ab", "*b*b", 0},
        {"kestrel_beta_2", "*beta*", 1},
        {"xyxyz", "*xyz", 1},
        {"mississippi", "m*ss*pi", 1},
        {"mississippi", "m*ss*ss*ss*", 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.result, wildcard_match(c.text, c.pattern)) << c.text << " ~ " << c.pattern;
    EXPECT_EQ(0, wildcard_match(nullptr, "*"));
    EXPECT_EQ(0, wildcard_match("a", nullptr));
}

TEST(SafeStrcpy, CopiesOrReportsWhatWentWrong)
{
    qv_test::log_capture log;
    char dest[8];

    memset(dest, 'x', sizeof dest);
    EXPECT_EQ(0, safe_strcpy(dest, "hello", 3));
    EXPECT_STREQ("he", dest);
    EXPECT_EQ('x', dest[3]);
    EXPECT_EQ("Error in safe_strcpy(), src overflow. String was: ->hello<-\n", log.text());

    log.reset();
    EXPECT_EQ(0, safe_strcpy(dest, "hello", 5));
    EXPECT_STREQ("hell", dest);
    EXPECT_EQ(1, safe_strcpy(dest, "hello", 6));
    EXPECT_STREQ("hello", dest);
    EXPECT_EQ(1, safe_strcpy(dest, "", 1));
    EXPECT_STREQ("", dest);
    EXPECT_EQ("Error in safe_strcpy(), src overflow. String was: ->hello<-\n", log.text());

    log.reset();
    strcpy(dest, "keep");
    EXPECT_EQ(0, safe_strcpy(dest, "a", 0));
    EXPECT_EQ(0, safe_strcpy(dest, "a", -4));
    EXPECT_STREQ("keep", dest);
    EXPECT_EQ(0, safe_strcpy(nullptr, "a", 4));
    EXPECT_EQ(0, safe_strcpy(dest, nullptr, 4));
    EXPECT_STREQ("", dest);
    EXPECT_EQ("Error in safe_strcpy(), dest too short.\n"
              "Error in safe_strcpy(), dest too short.\n"
              "Error in safe_strcpy(), NULL dest.\n"
              "Error in safe_strcpy(), NULL src.\n",
              log.text());
}

TEST(SafeStrcpy, OverflowReportOfAHugeSourceIsCut)
{
    qv_test::log_capture log;
    std::string big(10000, 'b');
    char dest[4];
    EXPECT_EQ(0, safe_strcpy(dest, big.c_str(), sizeof dest));
    EXPECT_STREQ("bbb", dest);
    std::string text = log.text();
    EXPECT_EQ(TEXT_BUFFER_MAX_CHARS + 1, (int)text.size()); // cut text + "\n"
    EXPECT_EQ(0u, text.find("Error in safe_strcpy(), src overflow. String was: ->bbb"));
}

TEST(KeywordLine, TogglesKeywords)
{
    struct step {
        const char *keyword;
        const char *result;
        const char *list_after; // null: no list
    };
    struct {
        const char *name;
        const char *list_before;
        step steps[4];
    } cases[] = {
        {"remove every occurrence", "ice fire wind fire", {{"fire", "Keyword removed.", "ice wind"}}},
        {"removal folds case", "Ice FIRE", {{"fire", "Keyword removed.", "Ice"}, {"ICE", "Keyword removed.", nullptr}}},
        {"add to an empty list", nullptr, {{"fire", "Keyword added.", "fire"}, {"ice", "Keyword added.", "ice fire"}}},
        {"add only the first word", "wind", {{"fire water", "Keyword added.", "fire wind"}}},
        {"toggle back", "a", {{"b", "Keyword added.", "b a"}, {"b", "Keyword removed.", "a"}}},
        {"NULL deletes", "ice fire", {{"null", "List deleted.", nullptr}, {"NULL", "List is already empty.", nullptr}}},
        {"removal rejoins with single spaces", " a  b\tc ", {{"b", "Keyword removed.", "a c"}}},
        {"empty keyword changes nothing", "a", {{"", nullptr, "a"}, {" b", nullptr, "a"}}},
    };
    for (const auto &c : cases) {
        char *list = c.list_before ? strdup(c.list_before) : nullptr;
        for (const step &s : c.steps) {
            if (!s.keyword && !s.result)
                break;
            EXPECT_EQ(or_null(s.result), or_null(add_remove_keyword_line(s.keyword, &list)))
                << c.name << ": " << s.keyword;
            EXPECT_EQ(or_null(s.list_after), or_null(list)) << c.name << ": " << s.keyword;
        }
        free(list);
    }
}

TEST(KeywordLine, NullArgumentsAreReported)
{
    qv_test::log_capture log;
    char *list = strdup("a");
    EXPECT_EQ(nullptr, add_remove_keyword_line(nullptr, &list));
    EXPECT_EQ(nullptr, add_remove_keyword_line("a", nullptr));
    EXPECT_STREQ("a", list);
    free(list);
    EXPECT_EQ("Error in add_remove_keyword_line(), null dest?\n"
              "Error in add_remove_keyword_line(), null dest?\n",
              log.text());
}

TEST(KeywordLine, LongListsLoseNothing)
{
    std::string words;
    for (int i = 0; i < 1500; i++)
        words += (i ? " w" : "w") + std::to_string(i);
    ASSERT_GT(words.size(), (size_t)TEXT_BUFFER_SIZE);
    char *list = strdup(words.c_str());
    EXPECT_STREQ("Keyword added.", add_remove_keyword_line("new", &list));
    EXPECT_EQ("new " + words, list);
    EXPECT_STREQ("Keyword removed.", add_remove_keyword_line("new", &list));
    EXPECT_EQ(words, list);
    free(list);
}
