// Cookie records, cookie lists and the content-type table (see http_cookie.h).
#include "http/http_cookie.h"

#include <new>
#include <string.h>

#include "runtime/log.h"
#include "runtime/string_util.h"
#include "runtime/text_buffer.h"

// Copies text into field (size bytes) when it fits; otherwise reports with
// the setter's name and leaves the field as it was.
static int set_bounded_text(char *field, int size, const char *text, const char *setter)
{
    if (!text) {
        field[0] = 0;
        return 1;
    }
    size_t length = strlen(text);
    if (length >= (size_t)size) {
        text_buffer report;
        report.append("Error in vexa_http_cookie::");
        report.append(setter);
        report.append("() - incoming string '");
        report.append(text);
        report.append("' too long.");
        log_report(report.text(), LOG_CLASS_RUNTIME, LOG_MODULE_HTTP);
        return 0;
    }
    memcpy(field, text, length + 1);
    return 1;
}

vexa_http_cookie::vexa_http_cookie() : next(nullptr), secure(1), max_age(HTTP_COOKIE_DEFAULT_MAX_AGE)
{
    key[0] = 0;
    domain[0] = 0;
    value[0] = 0;
}

int vexa_http_cookie::set_key(const char *text)
{
    return set_bounded_text(key, HTTP_COOKIE_KEY_SIZE, text, "set_key");
}

int vexa_http_cookie::set_domain(const char *text)
{
    return set_bounded_text(domain, HTTP_COOKIE_DOMAIN_SIZE, text, "set_domain");
}

int vexa_http_cookie::set_value(const char *text)
{
    return set_bounded_text(value, HTTP_COOKIE_VALUE_SIZE, text, "set_value");
}

// The first record whose key matches, or null.
static vexa_http_cookie *find_cookie(const vexa_http_cookie *list, const char *key)
{
    for (const vexa_http_cookie *c = list; c; c = c->next)
        if (word_equal(c->key, key))
            return const_cast<vexa_http_cookie *>(c);
    return nullptr;
}

vexa_http_cookie *store_cookie(vexa_http_cookie **list, const char *key, const char *value,
                               const char *domain, int max_age, int secure)
{
    if (!list)
        return nullptr;
    vexa_http_cookie *cookie = find_cookie(*list, key ? key : "");
    if (!cookie) {
        cookie = new (std::nothrow) vexa_http_cookie;
        if (!cookie) {
            log_report("Error in store_cookie(), out of memory for a cookie record.", LOG_CLASS_RESOURCE,
                       LOG_MODULE_HTTP);
            return nullptr;
        }
        cookie->next = *list;
        *list = cookie;
        cookie->set_key(key);
    }
    cookie->set_value(value);
    cookie->set_domain(domain);
    cookie->max_age = max_age;
    cookie->secure = secure;
    return cookie;
}

const char *find_cookie_value(const vexa_http_cookie *list, const char *key)
{
    const vexa_http_cookie *cookie = find_cookie(list, key);
    return cookie ? cookie->value : nullptr;
}

int remove_cookie(vexa_http_cookie **list, const char *key)
{
    if (!list)
        return 0;
    for (vexa_http_cookie **link = list; *link; link = &(*link)->next) {
        if (word_equal((*link)->key, key)) {
            vexa_http_cookie *gone = *link;
            *link = gone->next;
            delete gone;
            return 1;
        }
    }
    return 0;
}

void free_cookie_list(vexa_http_cookie **list)
{
    if (!list)
        return;
    while (*list) {
        vexa_http_cookie *gone = *list;
        *list = gone->next;
        delete gone;
    }
}

void append_set_cookie_lines(text_buffer *out, const vexa_http_cookie *list, const char *prefix)
{
    if (!out)
        return;
    for (const vexa_http_cookie *c = list; c; c = c->next) {
        text_buffer line;
        line.append("Set-Cookie: ");
        line.append(prefix ? prefix : "");
        line.append(c->key);
        line.append("=");
        line.append(c->value);
        line.append("; Domain=");
        line.append(c->domain);
        line.append("; Path=/;");
        line.append_format(" Max-Age=%d;", c->max_age);
        line.append(" HttpOnly");
        if (c->secure)
            line.append("; Secure");
        line.append("\r\n");
        out->append(line.text());
    }
}

// Items of a Cookie line end at ";" or a space.
static int ends_cookie_item(char c)
{
    return c == 0 || c == ';' || c == ' ';
}

int parse_cookie_text(vexa_http_cookie **list, const char *prefix, const char *text)
{
    if (!list || !text)
        return 0;
    int prefix_length = prefix ? (int)strlen(prefix) : 0;
    int stored = 0;
    const char *p = text;
    for (;;) {
        // Separators before the first item are skipped like those after one,
        // so an empty item never becomes a cookie.
        while (*p == ';' || *p == ' ')
            p++;
        if (!*p)
            break;
        text_buffer name;
        text_buffer value;
        while (!ends_cookie_item(*p) && *p != '=')
            name.append_char(*p++);
        if (*p == '=') {
            p++;
            while (!ends_cookie_item(*p))
                value.append_char(*p++);
        }
        const char *key = name.text();
        if (prefix_length > 0) {
            if (!is_word_prefix(prefix, key))
                continue;
            key += prefix_length;
        }
        if (store_cookie(list, key, value.text(), nullptr, 0, 0))
            stored++;
    }
    return stored;
}

// Content types and their names, in the order incoming names are tried.
struct content_type_entry {
    int code;
    const char *name;
};

static const content_type_entry content_types[] = {
    {HTTP_CONTENT_TYPE_TEXT_PLAIN, "text/plain"},
    {HTTP_CONTENT_TYPE_TEXT_HTML, "text/html"},
    {HTTP_CONTENT_TYPE_FORM, "application/x-www-form-urlencoded"},
    {HTTP_CONTENT_TYPE_XML, "application/xml"},
    {HTTP_CONTENT_TYPE_RSS, "application/rss+xml"},
    {HTTP_CONTENT_TYPE_JSON, "application/json"},
    {HTTP_CONTENT_TYPE_OCTET_STREAM, "application/octet-stream"},
};

enum { CONTENT_TYPE_COUNT = sizeof content_types / sizeof content_types[0] };

const char *content_type_name(int code)
{
    for (int i = 0; i < CONTENT_TYPE_COUNT; i++)
        if (content_types[i].code == code)
            return content_types[i].name;
    return "binary/unknown";
}

int content_type_from_text(const char *text)
{
    if (!text)
        return HTTP_CONTENT_TYPE_UNKNOWN;
    // Only the type itself counts: parameters after ";" are cut off.
    text_buffer type;
    for (const char *p = text; *p && *p != ';' && *p != ' ' && *p != '\t'; p++)
        type.append_char(*p);
    for (int i = 0; i < CONTENT_TYPE_COUNT; i++)
        if (word_equal(type.text(), content_types[i].name))
            return content_types[i].code;
    return HTTP_CONTENT_TYPE_UNKNOWN;
}
