// Base64 with the standard alphabet and "=" padding (RFC 4648). The HTTP
// processor encodes the Basic authorization credentials with it.
//
// Decoding is lenient: it stops at the first "=" or at the end of the text,
// and every character outside the alphabet (blanks and line ends included)
// counts as the value 0 instead of being skipped.
#ifndef QV_RUNTIME_BASE64_H
#define QV_RUNTIME_BASE64_H

struct text_buffer;

// Appends the encoding of count bytes to buf. 1, or 0 when bytes or buf is
// null, count is negative, or buf has reached its limit (the text is cut).
int base64_encode(text_buffer *buf, const void *bytes, int count);
// base64_encode of the text's bytes without its NUL.
int base64_encode_text(text_buffer *buf, const char *text);
// Decodes text into dest (size bytes). Returns the number of bytes stored, or
// 0 for a null text or dest, or when the decoded bytes do not all fit (dest
// then holds the groups that did). A final group of two or three characters
// gives one or two bytes; a lone final character gives none.
int base64_decode(void *dest, int size, const char *text);
// Appends the decoded bytes (which may include NUL) to buf. 1, or 0 when text
// or buf is null or buf has reached its limit (the bytes are cut).
int base64_decode_text(text_buffer *buf, const char *text);

#endif
