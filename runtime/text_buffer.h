// text_buffer: the fixed text buffer in which messages, paths and header lines
// are composed. It lives inside its owner (often on the stack), allocates
// nothing, and silently drops whatever would go past its limit; the length then
// stays at the limit, which is_full() tells.
#ifndef QV_RUNTIME_TEXT_BUFFER_H
#define QV_RUNTIME_TEXT_BUFFER_H

// Bytes of storage; one is always kept for the terminating NUL.
enum { TEXT_BUFFER_SIZE = 6000 };
// Longest text a buffer holds.
enum { TEXT_BUFFER_MAX_CHARS = TEXT_BUFFER_SIZE - 1 };

struct text_buffer {
    char data[TEXT_BUFFER_SIZE];
    int length;

    text_buffer() : length(0) { data[0] = 0; }

    // Empties the text (length 0).
    void clear();
    // Adds the text up to the limit; a null text adds "(null)".
    void append(const char *s);
    // Adds one character while fewer than TEXT_BUFFER_MAX_CHARS are held.
    void append_char(char c);
    // Adds the text's first word (up to space, tab, newline or NUL), up to the
    // limit; a null text adds nothing.
    void append_word(const char *s);
    // Adds printf-style output up to the limit (an addition of this library:
    // numbers inside composed texts).
    void append_format(const char *fmt, ...) __attribute__((format(printf, 2, 3)));
    // The NUL-terminated text.
    const char *text() const { return data; }
    // 1 when the length is 0.
    int is_empty() const { return length == 0; }
    // 1 when the limit was reached or text was dropped.
    int is_full() const { return length > TEXT_BUFFER_MAX_CHARS - 1; }
};

#endif
