// text_buffer: bounded text composition (see text_buffer.h).
#include "runtime/text_buffer.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

void text_buffer::clear()
{
    length = 0;
    data[0] = 0;
}

void text_buffer::append(const char *s)
{
    if (!s)
        s = "(null)";
    size_t room = (size_t)(TEXT_BUFFER_MAX_CHARS - length);
    size_t n = strnlen(s, room);
    memcpy(data + length, s, n);
    length += (int)n;
    data[length] = 0;
}

void text_buffer::append_char(char c)
{
    if (length >= TEXT_BUFFER_MAX_CHARS)
        return;
    data[length++] = c;
    data[length] = 0;
}

void text_buffer::append_word(const char *s)
{
    if (!s)
        return;
    while (length < TEXT_BUFFER_MAX_CHARS && *s && *s != ' ' && *s != '\t' && *s != '\n')
        data[length++] = *s++;
    data[length] = 0;
}

void text_buffer::append_format(const char *fmt, ...)
{
    int room = TEXT_BUFFER_SIZE - length;
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(data + length, (size_t)room, fmt, ap);
    va_end(ap);
    if (n < 0) {
        data[length] = 0;
        return;
    }
    length += n < room ? n : room - 1;
}
