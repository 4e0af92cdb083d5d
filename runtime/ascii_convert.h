// Argument text conversion: turns command-line arguments (raw bytes read as
// UTF-8) into printable 7-bit ASCII before start-up logs them or matches them
// against options. Printable ASCII, tab, line feed and carriage return pass
// through; other control characters become "."; characters above 126 become
// a short ASCII spelling from a fixed transliteration table ("ae" for U+00E4,
// "EU" for the euro sign), or "[code point]" in decimal when it has none.
// Code points 128 to 159 stand for the characters that Windows code page 1252
// puts at those byte values. The result is always safe to log and to compare
// byte by byte.
//
// The framework keeps its strings as wide characters and decodes argv through
// the locale, which loses bytes; the launcher therefore converts its raw argv
// with the byte overload. The wxString overloads convert the string's UTF-8
// form.
#ifndef QV_RUNTIME_ASCII_CONVERT_H
#define QV_RUNTIME_ASCII_CONVERT_H

#include <wx/string.h>

struct text_buffer;

// Decodes one character at pos into *code_point (when not null). Returns the
// position of the next unread byte, or null at the end of the text (pos at a
// NUL, or pos null; *code_point then untouched). Malformed input never stops
// decoding and never reads past the NUL: a stray continuation byte gives its
// low six bits, a cut-off sequence the bits gathered so far (the returned
// position is the byte that broke it), and the bytes F8 to FF give 46 (".").
// No check for overlong forms, surrogates or values above U+10FFFF.
const char *decode_utf8_sequence(const char *pos, int *code_point);

// The table's ASCII spelling of the code point (1 to 5 characters), or null
// when it has none.
const char *ascii_replacement(int code_point);

// Appends the conversion of the NUL-terminated bytes to dest, cut at its
// limit. Conversion ends at the end of the bytes or at a decoded code point 0
// (an overlong NUL). Null bytes or dest: nothing happens.
void append_as_ascii(const char *bytes, text_buffer *dest);
// The same for the string's UTF-8 form.
void append_as_ascii(const wxString &source, text_buffer *dest);
// Appends the conversion of the string's UTF-8 form to dest, without a limit.
void append_as_ascii_string(const wxString &source, wxString &dest);
// A new string holding the conversion of the source's UTF-8 form.
wxString as_ascii_string(const wxString &source);

#endif
