// String utilities (see string_util.h).
#include "runtime/string_util.h"

#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include "runtime/log.h"
#include "runtime/text_buffer.h"

// Space, tab and newline separate words.
static int is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\n';
}

// A word ends at a blank or at the end of the text.
static int ends_word(char c)
{
    return c == 0 || is_blank(c);
}

// The byte as compared: "A" to "Z" folded, every word end as 0.
static unsigned char fold(char c)
{
    if (ends_word(c))
        return 0;
    if (c >= 'A' && c <= 'Z')
        return (unsigned char)(c - 'A' + 'a');
    return (unsigned char)c;
}

static const char *skip_blanks(const char *p)
{
    while (is_blank(*p))
        p++;
    return p;
}

static const char *skip_word(const char *p)
{
    while (!ends_word(*p))
        p++;
    return p;
}

// The start of the text's first word, or null when it has none. Lists are
// walked with: for (w = first_arg(list); w; w = next_arg(w)).
static const char *first_arg(const char *text)
{
    if (!text)
        return nullptr;
    const char *p = skip_blanks(text);
    return *p ? p : nullptr;
}

static int word_length(const char *w)
{
    return (int)(skip_word(w) - w);
}

const char *next_arg(const char *text)
{
    if (!text) {
        log_report("Error in next_arg(), NULL pointer passed in.", LOG_CLASS_CHATTER, LOG_MODULE_UTIL);
        return nullptr;
    }
    const char *p = skip_blanks(text);
    if (!*p)
        return nullptr;
    p = skip_blanks(skip_word(p));
    return *p ? p : nullptr;
}

const char *next_arg_eol(const char *text)
{
    if (!text) {
        log_report("Error in next_arg_eol(), NULL pointer passed in.", LOG_CLASS_CHATTER, LOG_MODULE_UTIL);
        return nullptr;
    }
    const char *p = text;
    while (*p == ' ')
        p++;
    if (!*p || *p == '\n')
        return nullptr;
    while (*p && *p != ' ' && *p != '\n')
        p++;
    while (*p == ' ')
        p++;
    if (!*p || *p == '\n')
        return nullptr;
    return p;
}

const char *last_arg(const char *text)
{
    if (!text) {
        log_report("Error in last_arg(), NULL pointer passed in.", LOG_CLASS_CHATTER, LOG_MODULE_UTIL);
        return nullptr;
    }
    const char *last = text;
    for (const char *w = next_arg(text); w; w = next_arg(w))
        last = w;
    return last;
}

int parse_int(const char *text, int *value)
{
    if (!text)
        return 0;
    const char *p = text;
    if (*p == '-') {
        if (p[1] < '0' || p[1] > '9')
            return 0;
    } else if (*p != '+' && (*p < '0' || *p > '9')) {
        return 0;
    }
    // Accumulate towards the sign's side so INT_MIN is reachable; saturate
    // rather than overflow.
    int negative = *p == '-';
    if (*p == '-' || *p == '+')
        p++;
    long long v = 0;
    for (; *p >= '0' && *p <= '9'; p++) {
        v = v * 10 + (*p - '0');
        if (v > (long long)INT_MAX + 1)
            v = (long long)INT_MAX + 1;
    }
    if (negative)
        v = -v;
    if (v > INT_MAX)
        v = INT_MAX;
    if (value)
        *value = (int)v;
    return 1;
}

int word_equal(const char *a, const char *b)
{
    if (!a || !b)
        return 0;
    for (int i = 0; i < WORD_COMPARE_LIMIT; i++) {
        unsigned char ca = fold(a[i]);
        if (ca != fold(b[i]))
            return 0;
        if (!ca)
            return 1;
    }
    return 0;
}

int is_word_prefix(const char *a, const char *b)
{
    if (!a || !b)
        return 0;
    // An empty word is no leading part of anything (and has length 0).
    if (ends_word(a[0]))
        return 0;
    for (int i = 0; i < WORD_COMPARE_LIMIT; i++) {
        if (ends_word(a[i]))
            return i;
        if (fold(a[i]) != fold(b[i]))
            return 0;
    }
    return 0;
}

int is_word_prefix_min(const char *a, const char *b, int minimum)
{
    int n = is_word_prefix(a, b);
    if (n > 0 && minimum > 0 && n < minimum && !ends_word(b[n]))
        return 0;
    return n;
}

int match_flag_word(const char *argument, const char *flag)
{
    if (!argument || !flag)
        return 0;
    const char *a = argument;
    const char *f = flag;
    if (*f == '-') {
        while (*a == '-' && *f == '-') {
            a++;
            f++;
        }
    } else {
        if (*a != '-')
            return 0;
        a++;
    }
    if (*a != *f || *a == '-')
        return 0;
    while (*f && *a == *f) {
        a++;
        f++;
    }
    return *a == ' ' || *a == 0;
}

int word_in_list(const char *word, const char *list)
{
    if (!word)
        return 0;
    for (const char *w = first_arg(list); w; w = next_arg(w))
        if (word_equal(word, w))
            return 1;
    return 0;
}

int is_word_in_list(const char *word, const char *list)
{
    return word_in_list(word, list);
}

int list_has_word(const char *list, const char *word)
{
    return word_in_list(word, list);
}

int all_words_in_list(const char *list, const char *line)
{
    const char *w = first_arg(line);
    if (!w)
        return 0;
    for (; w; w = next_arg(w))
        if (!word_in_list(w, list))
            return 0;
    return 1;
}

int is_prefix_of_any_word(const char *list, const char *word)
{
    if (!word)
        return 0;
    for (const char *w = first_arg(list); w; w = next_arg(w))
        if (is_word_prefix(word, w))
            return 1;
    return 0;
}

int all_words_are_prefixes(const char *list, const char *line)
{
    for (const char *w = first_arg(line); w; w = next_arg(w))
        if (!is_prefix_of_any_word(list, w))
            return 0;
    return 1;
}

int is_prefix_min_of_any_word(const char *word, const char *list, int minimum)
{
    if (!word)
        return 0;
    for (const char *w = first_arg(list); w; w = next_arg(w))
        if (is_word_prefix_min(word, w, minimum))
            return 1;
    return 0;
}

int option_word_match(const char *argument, const char *option, int flags)
{
    if (!argument || !option)
        return 0;
    // One dash more than the option has: "--force" for "-force".
    if (option[0] == '-' && argument[0] == '-' && word_equal(argument + 1, option))
        return 1;
    if (flags & OPTION_ABBREVIATE) {
        if (option[0] == '-')
            return is_word_prefix_min(argument, option, 2) != 0;
        return is_word_prefix(argument, option) != 0;
    }
    return word_equal(argument, option);
}

// Where strip_last_word cuts: the length of the line up to the blanks (space
// and tab) before its last word; the whole length when it has no word.
static int last_word_cut(const char *line)
{
    int end = (int)strlen(line);
    while (end > 0 && (line[end - 1] == ' ' || line[end - 1] == '\t'))
        end--;
    if (end == 0)
        return (int)strlen(line);
    while (end > 0 && line[end - 1] != ' ' && line[end - 1] != '\t')
        end--;
    while (end > 0 && (line[end - 1] == ' ' || line[end - 1] == '\t'))
        end--;
    return end;
}

// Appends the first n bytes of text, cut at the buffer's limit.
static void append_bytes(text_buffer *out, const char *text, int n)
{
    for (int i = 0; i < n && out->length < TEXT_BUFFER_MAX_CHARS; i++)
        out->append_char(text[i]);
}

int extract_option(const char *line, text_buffer *out, const char *option, int flags)
{
    if (!out)
        return 0;
    out->clear();
    if (!line || !option)
        return 0;
    const char *first = first_arg(line);
    if (!first)
        return 0;
    if ((flags & (OPTION_FIRST | OPTION_ANYWHERE)) && option_word_match(first, option, flags)) {
        const char *rest = next_arg(first);
        if (rest)
            out->append(rest);
        return 1;
    }
    if (flags & (OPTION_LAST | OPTION_ANYWHERE)) {
        const char *last = skip_blanks(last_arg(line));
        if (option_word_match(last, option, flags)) {
            // Keep everything before the blanks in front of the matched word.
            int cut = (int)(last - line);
            while (cut > 0 && is_blank(line[cut - 1]))
                cut--;
            append_bytes(out, line, cut);
            return 1;
        }
    }
    if (!(flags & OPTION_ANYWHERE))
        return 0;
    out->append_word(first);
    for (const char *w = next_arg(first); w; w = next_arg(w)) {
        if (option_word_match(w, option, flags)) {
            const char *rest = next_arg(w);
            if (rest) {
                out->append_char(' ');
                out->append(rest);
            }
            return 1;
        }
        out->append_char(' ');
        out->append_word(w);
    }
    out->clear();
    return 0;
}

const char *remove_option(const char *line, text_buffer *buf, const char *option, int *found)
{
    if (found)
        *found = 0;
    if (!line || !*line)
        return nullptr;
    if (!extract_option(line, buf, option, OPTION_ANYWHERE | OPTION_ABBREVIATE))
        return line;
    if (found)
        *found = 1;
    return buf->is_empty() ? nullptr : buf->text();
}

const char *remove_force_option(const char *line, text_buffer *buf, int *found)
{
    return remove_option(line, buf, "-force", found);
}

void remove_options(const char *line, text_buffer *out, const char *option_list)
{
    if (!out)
        return;
    out->clear();
    if (!line)
        return;
    out->append(line);
    text_buffer rest;
    for (const char *option = first_arg(option_list); option; option = next_arg(option)) {
        // Each success removes one word, so this ends.
        while (extract_option(out->text(), &rest, option, OPTION_ANYWHERE)) {
            out->clear();
            out->append(rest.text());
        }
    }
}

void strip_last_word(char *line)
{
    if (!line)
        return;
    line[last_word_cut(line)] = 0;
}

// 1 when the n bytes of segment stand at text.
static int segment_at(const char *text, const char *segment, int n)
{
    for (int i = 0; i < n; i++)
        if (text[i] != segment[i])
            return 0;
    return 1;
}

int wildcard_match(const char *text, const char *pattern)
{
    if (!text || !pattern)
        return 0;
    const char *t = text;
    const char *p = pattern;
    while (*p != '*') {
        if (!*p)
            return !*t;
        if (*t != *p)
            return 0;
        t++;
        p++;
    }
    for (;;) {
        while (*p == '*')
            p++;
        if (!*p)
            return 1;
        int n = 0;
        while (p[n] && p[n] != '*')
            n++;
        int left = (int)strlen(t);
        if (!p[n]) {
            // The last segment must end the text.
            return left >= n && segment_at(t + left - n, p, n);
        }
        // The first place where a middle segment fits is always good enough:
        // a later one leaves less text for the rest of the pattern.
        for (;;) {
            if (left < n)
                return 0;
            if (segment_at(t, p, n))
                break;
            t++;
            left--;
        }
        t += n;
        p += n;
    }
}

int safe_strcpy(char *dest, const char *source, int size)
{
    if (!dest) {
        log_report("Error in safe_strcpy(), NULL dest.", LOG_CLASS_USAGE, LOG_MODULE_UTIL);
        return 0;
    }
    if (size <= 0) {
        log_report("Error in safe_strcpy(), dest too short.", LOG_CLASS_USAGE, LOG_MODULE_UTIL);
        return 0;
    }
    if (!source) {
        dest[0] = 0;
        log_report("Error in safe_strcpy(), NULL src.", LOG_CLASS_USAGE, LOG_MODULE_UTIL);
        return 0;
    }
    for (int i = 0; i < size; i++) {
        dest[i] = source[i];
        if (!source[i])
            return 1;
    }
    dest[size - 1] = 0;
    text_buffer msg;
    msg.append("Error in safe_strcpy(), src overflow. String was: ->");
    msg.append(source);
    msg.append("<-");
    log_report(msg.text(), LOG_CLASS_USAGE, LOG_MODULE_UTIL);
    return 0;
}

static const char *keyword_out_of_memory()
{
    log_report("Error in add_remove_keyword_line(), out of memory.", LOG_CLASS_RESOURCE, LOG_MODULE_UTIL);
    return nullptr;
}

// Keyword lists are built on the heap at their exact size rather than in a
// text_buffer, so a long list never loses words when a keyword is toggled.
const char *add_remove_keyword_line(const char *keyword, char **list)
{
    if (!list || !keyword) {
        log_report("Error in add_remove_keyword_line(), null dest?", LOG_CLASS_USAGE, LOG_MODULE_UTIL);
        return nullptr;
    }
    if (word_equal(keyword, "NULL")) {
        if (!*list)
            return "List is already empty.";
        free(*list);
        *list = nullptr;
        return "List deleted.";
    }
    int keyword_length = word_length(keyword);
    if (keyword_length == 0)
        return nullptr;
    if (word_in_list(keyword, *list)) {
        // The kept words are never longer than the old list.
        char *kept = (char *)malloc(strlen(*list) + 1);
        if (!kept)
            return keyword_out_of_memory();
        size_t n = 0;
        for (const char *w = first_arg(*list); w; w = next_arg(w)) {
            if (word_equal(keyword, w))
                continue;
            if (n)
                kept[n++] = ' ';
            int len = word_length(w);
            memcpy(kept + n, w, (size_t)len);
            n += (size_t)len;
        }
        kept[n] = 0;
        if (n == 0) {
            free(kept);
            kept = nullptr;
        }
        free(*list);
        *list = kept;
        return "Keyword removed.";
    }
    size_t old_length = *list ? strlen(*list) : 0;
    char *added = (char *)malloc((size_t)keyword_length + 1 + old_length + 1);
    if (!added)
        return keyword_out_of_memory();
    memcpy(added, keyword, (size_t)keyword_length);
    added[keyword_length] = 0;
    if (*list) {
        added[keyword_length] = ' ';
        memcpy(added + keyword_length + 1, *list, old_length + 1);
        free(*list);
    }
    *list = added;
    return "Keyword added.";
}
