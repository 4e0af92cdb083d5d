// Base64 encoding and decoding (see base64.h).
#include "runtime/base64.h"

#include <limits.h>
#include <string.h>

#include "runtime/text_buffer.h"

static const char base64_alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Characters per group on the encoded side, bytes per group on the plain side.
enum { BASE64_GROUP_CHARS = 4, BASE64_GROUP_BYTES = 3 };

// The 6-bit value of an encoded character; 0 for anything outside the
// alphabet.
static int base64_value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return 0;
}

int base64_encode(text_buffer *buf, const void *bytes, int count)
{
    if (!buf || !bytes || count < 0)
        return 0;
    const unsigned char *b = (const unsigned char *)bytes;
    for (int i = 0; i < count; i += BASE64_GROUP_BYTES) {
        int n = count - i < BASE64_GROUP_BYTES ? count - i : BASE64_GROUP_BYTES;
        unsigned int group = (unsigned int)b[i] << 16;
        if (n > 1)
            group |= (unsigned int)b[i + 1] << 8;
        if (n > 2)
            group |= b[i + 2];
        char out[BASE64_GROUP_CHARS + 1];
        out[0] = base64_alphabet[(group >> 18) & 63];
        out[1] = base64_alphabet[(group >> 12) & 63];
        out[2] = n > 1 ? base64_alphabet[(group >> 6) & 63] : '=';
        out[3] = n > 2 ? base64_alphabet[group & 63] : '=';
        out[4] = 0;
        buf->append(out);
        if (buf->is_full())
            return 0;
    }
    return buf->is_full() ? 0 : 1;
}

int base64_encode_text(text_buffer *buf, const char *text)
{
    if (!text)
        return 0;
    size_t n = strlen(text);
    return base64_encode(buf, text, n > (size_t)INT_MAX ? INT_MAX : (int)n);
}

// Reads the next group of up to four characters at *pos into bytes. Returns
// how many bytes the group gives (0 to 3) and sets *ended when the text ended
// or "=" was met, after which nothing more is read.
static int read_group(const char **pos, unsigned char bytes[BASE64_GROUP_BYTES], int *ended)
{
    const char *p = *pos;
    unsigned int group = 0;
    int chars = 0;
    while (chars < BASE64_GROUP_CHARS && *p && *p != '=') {
        group = (group << 6) | (unsigned int)base64_value(*p);
        p++;
        chars++;
    }
    *ended = chars < BASE64_GROUP_CHARS || !*p || *p == '=';
    *pos = p;
    group <<= 6 * (BASE64_GROUP_CHARS - chars);
    bytes[0] = (unsigned char)(group >> 16);
    bytes[1] = (unsigned char)(group >> 8);
    bytes[2] = (unsigned char)group;
    return chars <= 1 ? 0 : chars - 1;
}

int base64_decode(void *dest, int size, const char *text)
{
    if (!text || !dest || size < 0)
        return 0;
    unsigned char *d = (unsigned char *)dest;
    const char *p = text;
    int stored = 0;
    int ended = 0;
    while (!ended) {
        unsigned char bytes[BASE64_GROUP_BYTES];
        int n = read_group(&p, bytes, &ended);
        if (stored + n > size)
            return 0;
        memcpy(d + stored, bytes, (size_t)n);
        stored += n;
    }
    return stored;
}

int base64_decode_text(text_buffer *buf, const char *text)
{
    if (!buf || !text)
        return 0;
    const char *p = text;
    int ended = 0;
    while (!ended && !buf->is_full()) {
        unsigned char bytes[BASE64_GROUP_BYTES];
        int n = read_group(&p, bytes, &ended);
        for (int i = 0; i < n; i++)
            buf->append_char((char)bytes[i]);
    }
    return buf->is_full() ? 0 : 1;
}
