// String utilities: small functions over NUL-terminated byte texts that treat
// a text as a sequence of words. The command line, HTTP header lines, cookie
// attributes, XML tag names and manifest lines are taken apart and compared
// with them.
//
// A word is a run of bytes other than the blanks space, tab and newline (only
// space separates words for next_arg_eol). There is no quoting and no
// escaping. Word comparisons fold "A" to "Z" to lower case (no other byte is
// folded), treat every word end (blank or NUL) as equal to every other, and
// never look at more than WORD_COMPARE_LIMIT bytes. A list is a text of words
// separated by blanks; blanks before its first word are skipped.
//
// Nothing here allocates except add_remove_keyword_line. Composed texts live in
// the caller's text_buffer and are cut at its limit.
#ifndef QV_RUNTIME_STRING_UTIL_H
#define QV_RUNTIME_STRING_UTIL_H

struct text_buffer;

// Word comparisons give up after this many equal bytes: bounds the work on
// unterminated or hostile input; words this long never compare equal.
enum { WORD_COMPARE_LIMIT = 400 };

// Flags of extract_option and option_word_match.
enum {
    OPTION_FIRST = 1,     // the option may be the first word
    OPTION_LAST = 2,      // the option may be the last word
    OPTION_ANYWHERE = 4,  // the option may be any word (first and last included)
    OPTION_ABBREVIATE = 8 // a leading part of the option matches too
};

// --- Word stepping ---------------------------------------------------------

// The start of the text's second word, or null when it has fewer than two
// words. Null text: reported (chatter) and null.
const char *next_arg(const char *text);
inline char *next_arg(char *text) { return const_cast<char *>(next_arg(static_cast<const char *>(text))); }
// Like next_arg, but only space separates words (tabs belong to words) and a
// newline ends the text.
const char *next_arg_eol(const char *text);
inline char *next_arg_eol(char *text)
{
    return const_cast<char *>(next_arg_eol(static_cast<const char *>(text)));
}
// The start of the last word; the text itself (leading blanks included) when
// it has at most one word. Null text: reported (chatter) and null.
const char *last_arg(const char *text);
inline char *last_arg(char *text) { return const_cast<char *>(last_arg(static_cast<const char *>(text))); }

// 1 when the text starts like a decimal integer: a digit, "-" and a digit, or
// "+". The value of the leading sign and digits (0 when there are none) is
// stored in *value when value is not null; it saturates at INT_MIN / INT_MAX.
// 0 for a null text, leading blanks or anything else; *value is then untouched.
int parse_int(const char *text, int *value = nullptr);

// --- Word comparison (0 when either text is null) ----------------------------

// 1 when the first words of a and b are equal, case-insensitively.
int word_equal(const char *a, const char *b);
// The length of a's first word when it is a case-insensitive leading part of
// b's first word, else 0 (also for an empty word a).
int is_word_prefix(const char *a, const char *b);
// Like is_word_prefix, but a word a shorter than minimum must be b's whole
// word.
int is_word_prefix_min(const char *a, const char *b, int minimum);
// 1 when the argument is the flag, or a leading part of it, written as an
// option ("-verb" and "-v" for "verbose"; dashes the flag begins with must be
// written too). Case-sensitive; the argument ends at a space or NUL.
int match_flag_word(const char *argument, const char *flag);

// --- Word lists (0 when the list is null unless said otherwise) --------------

// 1 when word's first word equals (word_equal) some word of the list. The
// command line's option matcher: "-H" is in "-h --help".
int word_in_list(const char *word, const char *list);
// Another name for word_in_list.
int is_word_in_list(const char *word, const char *list);
// word_in_list with the arguments swapped.
int list_has_word(const char *list, const char *word);
// 1 when every word of the line is in the list; 0 for a null line or a line
// without words.
int all_words_in_list(const char *list, const char *line);
// 1 when the word abbreviates (is_word_prefix) some word of the list.
int is_prefix_of_any_word(const char *list, const char *word);
// 1 when every word of the line abbreviates some word of the list; 1 for a
// null line or a line without words.
int all_words_are_prefixes(const char *list, const char *line);
// 1 when the word abbreviates some word of the list under is_word_prefix_min.
int is_prefix_min_of_any_word(const char *word, const char *list, int minimum);

// --- Options on argument lines ------------------------------------------------

// 1 when the argument word matches the option: written exactly (case-
// insensitively), with one extra leading dash for an option that begins with
// "-" ("--force" for "-force"), or with OPTION_ABBREVIATE as a leading part of
// at least two characters ("-f"; a lone dash never) of a dash option, or any
// leading part of an option without a dash.
int option_word_match(const char *argument, const char *option, int flags);
// Looks for the option among the line's words where the flags allow it. On 1
// out holds the line without that word: the words before it joined by single
// spaces, then the rest of the line from the next word unchanged. On 0 out is
// empty. out must not hold the line itself.
int extract_option(const char *line, text_buffer *out, const char *option, int flags);
// The line without the option (anywhere, abbreviations allowed), composed in
// buf; null when nothing is left; the line itself when the option is absent;
// null for a null or empty line. *found (when not null) tells whether the
// option was there.
const char *remove_option(const char *line, text_buffer *buf, const char *option, int *found);
// remove_option with the option "-force".
const char *remove_force_option(const char *line, text_buffer *buf, int *found);
// out = the line with every occurrence of every option of the list removed
// (exact words only). A null line leaves out empty.
void remove_options(const char *line, text_buffer *out, const char *option_list);
// Cuts the line in place before its last word (blanks here: space and tab),
// so "a b c" becomes "a b" and a one-word line becomes empty. A line without
// words is left as it is.
void strip_last_word(char *line);

// --- Others ---------------------------------------------------------------

// 1 when the whole text matches the pattern, "*" matching any run of bytes;
// case-sensitive. 0 for null arguments.
int wildcard_match(const char *text, const char *pattern);
// Copies source with its NUL into dest of size bytes. 1 when it fitted. On
// overflow dest holds the first size - 1 bytes and a report names the source;
// a null source leaves dest empty. Null dest or size <= 0: report, dest
// untouched. Every failure reports (usage class) and returns 0.
int safe_strcpy(char *dest, const char *source, int size);
// Toggles keyword's first word in the space-separated heap list *list (owned
// by the caller, malloc'd, may be null). The keyword "NULL" (any case) deletes
// the whole list. Returns "Keyword added." (put at the front), "Keyword
// removed." (every occurrence), "List deleted." or "List is already empty.".
// Null for an empty keyword (nothing changes), for null arguments (reported)
// and when memory runs out (reported; the list is left as it was).
const char *add_remove_keyword_line(const char *keyword, char **list);

#endif
