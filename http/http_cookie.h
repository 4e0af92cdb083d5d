// Cookies and content types: the two small vocabularies of the HTTP message
// processor (http_data_processor.h).
//
// A vexa_http_cookie is one record with bounded texts; records form singly
// linked lists (a pointer to the first record, new records at the front)
// that the processor keeps for cookies received in "Cookie:" lines and for
// cookies it writes as "Set-Cookie:" lines. Keys are matched with word_equal:
// case-insensitively, on their first word.
//
// The content-type table maps numeric codes to MIME type names; the processor
// writes Content-Type lines from it and classifies incoming ones with it.
// The launcher's downloads set no cookies, so only the content-type table is
// in use there.
#ifndef QV_HTTP_HTTP_COOKIE_H
#define QV_HTTP_HTTP_COOKIE_H

struct text_buffer;

// Text sizes of a cookie record (each holds one character less).
enum {
    HTTP_COOKIE_KEY_SIZE = 64,    // cookie names are short identifiers
    HTTP_COOKIE_DOMAIN_SIZE = 64, // a host name or a dotted domain suffix
    HTTP_COOKIE_VALUE_SIZE = 256, // session tokens and small values only
    HTTP_COOKIE_PREFIX_SIZE = 32  // a short per-application name prefix
};

// Max-Age of a fresh record: five minutes keeps forgotten sessions short.
enum { HTTP_COOKIE_DEFAULT_MAX_AGE = 300 };

// Content type codes.
enum {
    HTTP_CONTENT_TYPE_NONE = 0,
    HTTP_CONTENT_TYPE_TEXT_PLAIN = 1,   // "text/plain"
    HTTP_CONTENT_TYPE_TEXT_HTML = 2,    // "text/html"
    HTTP_CONTENT_TYPE_FORM = 10,        // "application/x-www-form-urlencoded"
    HTTP_CONTENT_TYPE_XML = 11,         // "application/xml"
    HTTP_CONTENT_TYPE_RSS = 12,         // "application/rss+xml"
    HTTP_CONTENT_TYPE_JSON = 13,        // "application/json"
    HTTP_CONTENT_TYPE_OCTET_STREAM = 14,// "application/octet-stream"
    HTTP_CONTENT_TYPE_UNKNOWN = 99      // an incoming type none of the above
};

struct vexa_http_cookie {
    vexa_http_cookie *next;              // following record of its list
    int secure;                          // adds "; Secure" to the Set-Cookie line
    int max_age;                         // seconds, written as Max-Age
    char key[HTTP_COOKIE_KEY_SIZE];      // the name, without the prefix
    char domain[HTTP_COOKIE_DOMAIN_SIZE];// written as Domain
    char value[HTTP_COOKIE_VALUE_SIZE];

    // No next record, secure, max age 300, empty texts.
    vexa_http_cookie();

    // Each setter copies the text; null empties the field. 1 on success; 0
    // when the text does not fit (reported; the field is left unchanged).
    int set_key(const char *text);
    int set_domain(const char *text);
    int set_value(const char *text);
};

// The first record of *list whose key matches, or a new record (put at the
// front, key set) when none does; then value, domain, max age and secure are
// stored. Returns the record, or null when list is null or memory ran out
// (reported). A key too long for the record leaves a new record's key empty.
vexa_http_cookie *store_cookie(vexa_http_cookie **list, const char *key, const char *value,
                               const char *domain, int max_age, int secure);
// The value of the first record whose key matches, or null.
const char *find_cookie_value(const vexa_http_cookie *list, const char *key);
// Unlinks and frees the first record whose key matches. 1 when one was
// removed, 0 when none matched.
int remove_cookie(vexa_http_cookie **list, const char *key);
// Frees every record; *list becomes null.
void free_cookie_list(vexa_http_cookie **list);

// Appends one "Set-Cookie: " line (ending in "\r\n") per record of list, from
// the front, to out; prefix (may be null) goes before each key.
void append_set_cookie_lines(text_buffer *out, const vexa_http_cookie *list, const char *prefix);
// Parses the value of a "Cookie:" line (items "name=value" separated by ";"
// and blanks) into *list with no domain, max age 0 and secure 0. With a
// non-empty prefix only names that begin with it (case-insensitively) are
// kept, and the prefix is dropped from them. Returns the number stored; 0
// for a null or empty text.
int parse_cookie_text(vexa_http_cookie **list, const char *prefix, const char *text);

// The MIME name of a content type code; "binary/unknown" for every code not
// in the table (0 and 99 included).
const char *content_type_name(int code);
// The code whose name equals the text's first part (up to ";", a blank or a
// tab; letters compared case-insensitively); 99 when none does or the text
// is null.
int content_type_from_text(const char *text);

#endif
