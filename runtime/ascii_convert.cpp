// Argument text conversion and its transliteration table (see ascii_convert.h).
#include "runtime/ascii_convert.h"

#include <stdio.h>

#include "runtime/text_buffer.h"

// Room for "[" + a decoded code point (at most 21 bits, 7 digits) + "]" + NUL.
enum { CODE_POINT_TEXT_SIZE = 16 };

// Sixteen consecutive code points from first; null cells have no entry.
struct replacement_row {
    int first;
    const char *text[16];
};

// The transliteration table, rows in ascending order. Code points outside
// these rows have no entry.
static const replacement_row replacement_rows[] = {
    {0x0080, {"EU", " ", ",", "f", ",,", "...", ".", ".", "^", "%.", "S", "<", "OE", " ", "Z", " "}},
    {0x0090, {" ", "'", "'", "\"", "\"", "*", "-", "-", "~", "TM", "S", ">", "oe", " ", "z", "Y"}},
    {0x00A0, {" ", "i", "c", "L", "$", "YEN", "|", "S", "-", "(C)", "a", "<<", "!", " ", "(R)", "-"}},
    {0x00B0, {".", "+-", "^2", "^3", "'", "u", "P", ".", ",", "^1", ".", ">>", "1/4", "1/2", "3/4", "?"}},
    {0x00C0, {"A", "A", "A", "A", "Ae", "A", "AE", "C", "E", "E", "E", "E", "I", "I", "I", "I"}},
    {0x00D0, {"D", "N", "O", "O", "O", "O", "Oe", "x", "O", "U", "U", "U", "Ue", "Y", "P", "ss"}},
    {0x00E0, {"a", "a", "a", "a", "ae", "a", "ae", "c", "e", "e", "e", "e", "i", "i", "i", "i"}},
    {0x00F0, {"o", "n", "o", "o", "o", "o", "oe", "/", "o", "u", "u", "u", "ue", "y", "p", "y"}},
    {0x0100, {"A", "a", "A", "a", "A", "a", "C", "c", "C", "c", "C", "c", "C", "c", "D", "d"}},
    {0x0110, {"D", "d", "E", "e", "E", "e", "E", "e", "E", "e", "E", "e", "G", "g", "G", "g"}},
    {0x0120, {"G", "g", "G", "g", "H", "h", "H", "h", "I", "i", "I", "i", "I", "i", "I", "i"}},
    {0x0130, {"I", "i", "IJ", "ij", "J", "j", "K", "k", "K", "L", "l", "L", "l", "L", "l", "L"}},
    {0x0140, {"l", "L", "l", "N", "n", "N", "n", "N", "n", "n", "N", "n", "O", "o", "O", "o"}},
    {0x0150, {"O", "o", "OE", "oe", "R", "r", "R", "r", "R", "r", "S", "s", "S", "s", "S", "s"}},
    {0x0160, {"S", "s", "T", "t", "T", "t", "T", "t", "U", "u", "U", "u", "U", "u", "U", "u"}},
    {0x0170, {"U", "u", "U", "u", "W", "w", "Y", "y", "Y", "Z", "z", "Z", "z", "Z", "z", "f"}},
    {0x0180, {"b", "B", "b", "b", "b", "b", "C", "C", "c", "D", "D", "d", "d", "g", "E", "e"}},
    {0x0190, {"e", "F", "f", "G", "V", "hj", "l", "I", "K", "k", "l", "la", "m", "N", "n", "O-"}},
    {0x01A0, {"O", "o", "Q", "q", "P", "p", "R", "S", "s", "E", nullptr, "t", "T", "t", "T", "U"}},
    {0x01B0, {"u", "U", "V", "Y", "y", "Z", "z", "3", "3", "3", "3", "2", "5", "5", "ts", "v"}},
    {0x01C0, {"|", "||", nullptr, "!", "DZ", "Dz", "dz", "LJ", "Lj", "lj", "NJ", "Nj", "nj", "A", "a", "I"}},
    {0x01D0, {"i", "O", "o", "U", "u", "U", "u", "U", "u", "U", "u", "U", "u", "e", "A", "a"}},
    {0x01E0, {"A", "a", "AE", "ae", "G", "g", "G", "g", "K", "k", "O", "o", "O", "o", "3", "3"}},
    {0x01F0, {"j", "DZ", "Dz", "dz", "G", "g", "Hu", "Y", "N", "n", "A", "a", "AE", "ae", "O/", "o/"}},
    {0x0200, {"A", "a", "A", "a", "E", "e", "E", "e", "I", "i", "I", "i", "O", "o", "O", "o"}},
    {0x0210, {"R", "r", "R", "r", "U", "u", "U", "u", "S", "s", "T", "t", "3", "3", "H", "h"}},
    {0x0220, {"n", "d", "8", "8", "Z", "z", "A", "a", "E", "e", "O", "o", "O", "o", "O", "o"}},
    {0x0230, {"O", "o", "Y", "y", "l", "n", "t", "j", "db", "qp", "A", "C", "c", "L", "T", "s"}},
    {0x02B0, {"h", "h", "j", "r", "r", nullptr, "r", "w", "y", "'", "\"", "'", "'", "'", ")", "("}},
    {0x02C0, {"?", "?", "<", ">", "^", "^", "^", "^", "'", "-", "'", "'", ".", "_", ",", ","}},
    {0x02D0, {":", "*", ")", "(", "*", "*", "+", "-", "^", "*", "*", ",", "~", "\"", "~", "x"}},
    {0x02E0, {"Y", "l", "s", "x", "?", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "=", "\"", nullptr}},
    {0x02F0, {"^", "<", ">", "*", "'", "\"", "\"", "~", ":", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr}},
    {0x0300, {"'", "'", "^", "~", "-", "-", "^", ".", "..", ")", "*", "\"", "^", "'", "\"", "\""}},
    {0x0310, {"^", "^", "'", "'", "'", "'", ",", ",", nullptr, nullptr, nullptr, "'", ",", nullptr, nullptr, "+"}},
    {0x0320, {"_", nullptr, nullptr, ".", "..", ".", ",", ",", ",", ",", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr}},
    {0x0330, {"~", "_", "_", "=", "~", "-", "-", "/", "/", ",", nullptr, nullptr, nullptr, "*", nullptr, "="}},
    {0x0340, {"'", "'", "~", "'", nullptr, nullptr, nullptr, "=", "\"", nullptr, "~", "~", "~", nullptr, ".", " "}},
    {0x0350, {">", "(", nullptr, "x", "<", ">", ">", ")", "*", "*", "(inf)", nullptr, nullptr, nullptr, "-", "_"}},
    {0x0370, {nullptr, nullptr, nullptr, nullptr, "'", ",", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, ";", nullptr}},
    {0x0380, {nullptr, nullptr, nullptr, nullptr, "'", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr}},
    {0x04D0, {"A", "a", "A", "a", "AE", "ae", "E", "e", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr}},
    {0x04E0, {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "O", "o", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr}},
    {0x2010, {"-", "-", "-", "-", "-", "-", "||", "=", "'", "'", ",", "'", "\"", "\"", "\"", "\""}},
    {0x2020, {".", ".", "*", nullptr, ".", "..", "...", ".", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr}},
    {0x2030, {"%.", nullptr, "'", "\"", "\"", "'", "\"", "\"", nullptr, "<", ">", nullptr, "!!", "?", "-", nullptr}},
    {0x2040, {nullptr, "/", nullptr, nullptr, "/", nullptr, nullptr, "?\?", "?!", "!?", nullptr, nullptr, nullptr, nullptr, "*", ";"}},
    {0x2050, {nullptr, nullptr, "%", "~", nullptr, "*", "\"", nullptr, nullptr, nullptr, ":", nullptr, nullptr, nullptr, nullptr, nullptr}},
    {0x20A0, {nullptr, nullptr, nullptr, nullptr, "L", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "EU", nullptr, nullptr, nullptr}},
    {0x2120, {nullptr, nullptr, "TM", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr}},
};

enum { REPLACEMENT_ROW_COUNT = (int)(sizeof replacement_rows / sizeof replacement_rows[0]) };

const char *ascii_replacement(int code_point)
{
    int key = code_point & ~15;
    int lo = 0;
    int hi = REPLACEMENT_ROW_COUNT - 1;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        if (replacement_rows[mid].first == key)
            return replacement_rows[mid].text[code_point & 15];
        if (replacement_rows[mid].first < key)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    return nullptr;
}

static int is_continuation(unsigned char b)
{
    return (b & 0xC0) == 0x80;
}

const char *decode_utf8_sequence(const char *pos, int *code_point)
{
    if (!pos)
        return nullptr;
    const unsigned char *p = (const unsigned char *)pos;
    unsigned char b = *p;
    if (!b)
        return nullptr;
    p++;
    int value;
    int continuations;
    if (b < 0x80) {
        value = b;
        continuations = 0;
    } else if (is_continuation(b)) {
        value = b & 0x3F;
        continuations = 0;
    } else if ((b & 0xE0) == 0xC0) {
        value = b & 0x1F;
        continuations = 1;
    } else if ((b & 0xF0) == 0xE0) {
        value = b & 0x0F;
        continuations = 2;
    } else if ((b & 0xF8) == 0xF0) {
        value = b & 0x07;
        continuations = 3;
    } else {
        value = '.';
        continuations = 0;
    }
    // A byte that is no continuation (NUL included) breaks the sequence and
    // is left for the next call.
    for (; continuations > 0 && is_continuation(*p); continuations--, p++)
        value = (value << 6) | (*p & 0x3F);
    if (code_point)
        *code_point = value;
    return (const char *)p;
}

// Receives each converted piece; returns 0 when it takes no more.
typedef int (*ascii_sink)(void *user, const char *piece);

static void convert(const char *bytes, ascii_sink sink, void *user)
{
    if (!bytes)
        return;
    const char *p = bytes;
    int cp = 0;
    while ((p = decode_utf8_sequence(p, &cp)) != nullptr && cp != 0) {
        char piece[CODE_POINT_TEXT_SIZE];
        const char *text = piece;
        if (cp < 32 && cp != '\t' && cp != '\n' && cp != '\r') {
            piece[0] = '.';
            piece[1] = 0;
        } else if (cp <= 126) {
            piece[0] = (char)cp;
            piece[1] = 0;
        } else {
            text = ascii_replacement(cp);
            if (!text) {
                snprintf(piece, sizeof piece, "[%d]", cp);
                text = piece;
            }
        }
        if (!sink(user, text))
            return;
    }
}

static int text_buffer_sink(void *user, const char *piece)
{
    text_buffer *dest = (text_buffer *)user;
    dest->append(piece);
    return dest->length < TEXT_BUFFER_MAX_CHARS;
}

static int wx_string_sink(void *user, const char *piece)
{
    *(wxString *)user += wxString::FromAscii(piece);
    return 1;
}

void append_as_ascii(const char *bytes, text_buffer *dest)
{
    if (!dest)
        return;
    if (dest->length >= TEXT_BUFFER_MAX_CHARS)
        return;
    convert(bytes, text_buffer_sink, dest);
}

void append_as_ascii(const wxString &source, text_buffer *dest)
{
    wxScopedCharBuffer utf8 = source.utf8_str();
    append_as_ascii(utf8.data(), dest);
}

void append_as_ascii_string(const wxString &source, wxString &dest)
{
    wxScopedCharBuffer utf8 = source.utf8_str();
    convert(utf8.data(), wx_string_sink, &dest);
}

wxString as_ascii_string(const wxString &source)
{
    wxString result;
    append_as_ascii_string(source, result);
    return result;
}
