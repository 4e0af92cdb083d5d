// XML pull reader and its stdio variant (see xml_reader.h).
#include "xml/xml_reader.h"

#include <string.h>

#include "runtime/log.h"
#include "runtime/string_util.h"
#include "runtime/text_buffer.h"

// Opening of a CDATA section as it follows the "<".
static const char CDATA_HEADER[] = "![CDATA[";
enum { CDATA_HEADER_LENGTH = sizeof(CDATA_HEADER) - 1 };

static int is_printable(int c)
{
    return c >= 32 && c <= 126;
}

// Value of a hexadecimal digit, or -1.
static int hex_value(int c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

static void report_warning(const char *text)
{
    log_report(text, LOG_CLASS_INPUT, LOG_MODULE_XML);
}

static void report_usage(const char *text)
{
    log_report(text, LOG_CLASS_USAGE, LOG_MODULE_XML);
}

vexa_xml_reader::vexa_xml_reader() : tag_stack(nullptr) {}

vexa_xml_reader::~vexa_xml_reader()
{
    vexa_xml_free_tag_stack(&tag_stack);
}

int vexa_xml_reader::skip_to_open_bracket()
{
    for (;;) {
        int c = read_char();
        if (c < 0)
            return 0;
        if (c == '<')
            return 1;
    }
}

int vexa_xml_reader::read_block(char *dest, int size, int tag_mode)
{
    if (!dest) {
        report_usage("Error in vexa_xml_reader::read_block(), NULL dest?");
        return 0;
    }
    if (size <= 0) {
        report_usage("Error in vexa_xml_reader::read_block(), dest is too small?");
        return 0;
    }
    int stored = 0;
    int unprintable = 0;
    for (;;) {
        int c = read_char();
        if (c < 0) {
            report_warning("Warning in vexa_xml_reader::read_block(), file corruption - got EOF before trailing "
                           "bracket.");
            dest[stored] = 0;
            return 0;
        }
        if (c == '<' || c == '>') {
            if (tag_mode && c == '<')
                report_warning("Warning in vexa_xml_reader::read_block(), got second open bracket?");
            else if (!tag_mode && c == '>')
                report_warning("Warning in vexa_xml_reader::read_block(), got second closing bracket?");
            break;
        }
        // Bytes past the buffer are read and dropped, so the block still ends
        // at its bracket.
        if (stored < size - 1) {
            dest[stored++] = (char)c;
            if (!is_printable(c))
                unprintable++;
        }
    }
    dest[stored] = 0;
    if (unprintable)
        return 0;
    compact_string(dest);
    return 1;
}

void vexa_xml_reader::compact_string(char *text)
{
    if (!text)
        return;
    char *out = text;
    const char *in = text;
    while (*in) {
        if (*in == '&') {
            if (strncmp(in, "&lt;", 4) == 0) {
                *out++ = '<';
                in += 4;
                continue;
            }
            if (strncmp(in, "&gt;", 4) == 0) {
                *out++ = '>';
                in += 4;
                continue;
            }
            if (strncmp(in, "&amp;", 5) == 0) {
                *out++ = '&';
                in += 5;
                continue;
            }
            report_warning("Warning in vexa_xml_reader::compact_string(), unknown '&' conversion found?");
        }
        *out++ = *in++;
    }
    *out = 0;
}

int vexa_xml_reader::read_tag(char *dest, int size)
{
    if (!dest) {
        report_usage("Error in vexa_xml_reader::read_tag(), NULL dest?");
        return 0;
    }
    if (size <= 0) {
        report_usage("Error in vexa_xml_reader::read_tag(), dest is too small?");
        return 0;
    }
    if (!skip_to_open_bracket())
        return 0;
    if (!read_block(dest, size, 1))
        return 0;
    if (dest[0] == '/') {
        pop_stack_entry(dest);
        return 0;
    }
    if (!vexa_xml_push_tag_entry(&tag_stack, dest))
        return 0;
    return 1;
}

void vexa_xml_reader::pop_stack_entry(const char *closing)
{
    if (!closing)
        closing = "";
    const char *name = closing;
    if (name[0] == '/') {
        name++;
    } else {
        text_buffer msg;
        msg.append("Warning in vexa_xml_reader::pop_stack_entry() - got bad closing tag '");
        msg.append(closing);
        msg.append("'?");
        report_warning(msg.text());
    }
    // A stray closing tag in a damaged file: nothing is open, nothing to pop.
    vexa_xml_tag_entry *entry = vexa_xml_unlink_tag_entry(&tag_stack);
    if (!entry)
        return;
    if (strcmp(entry->tag, name) != 0) {
        text_buffer msg;
        msg.append("Warning in vexa_xml_reader::pop_stack_entry() - popped tag '");
        msg.append(name);
        msg.append("' did not match expected tag '");
        msg.append(entry->tag);
        msg.append("'.");
        report_warning(msg.text());
    }
    vexa_xml_free_tag_entry(entry);
}

int vexa_xml_reader::read_data(char *dest, int size)
{
    if (!dest) {
        report_usage("Error in vexa_xml_reader::read_data(char[]), NULL dest?");
        return 0;
    }
    if (size <= 0) {
        report_usage("Error in vexa_xml_reader::read_data(char[]), dest is too small?");
        return 0;
    }
    if (!read_block(dest, size, 0))
        return 0;
    char closing[XML_READER_TAG_BUFFER_SIZE];
    read_block(closing, sizeof closing, 1);
    pop_stack_entry(closing);
    return 1;
}

int vexa_xml_reader::read_data(int *dest)
{
    if (!dest) {
        report_usage("Error in vexa_xml_reader::read_data(int), NULL dest?");
        return 0;
    }
    char text[XML_READER_INT_BUFFER_SIZE];
    if (!read_block(text, sizeof text, 0))
        return 0;
    int value = 0;
    int ok = parse_int(text, &value);
    if (ok) {
        *dest = value;
    } else {
        text_buffer msg;
        msg.append("Warning in vexa_xml_reader::read_data(int) - got non-number'");
        msg.append(text);
        msg.append("'.");
        report_warning(msg.text());
    }
    // The closing tag gets a buffer of its own: a long element name must not
    // be cut into a false mismatch.
    char closing[XML_READER_TAG_BUFFER_SIZE];
    read_block(closing, sizeof closing, 1);
    pop_stack_entry(closing);
    return ok;
}

int vexa_xml_reader::skip_chunk()
{
    for (;;) {
        int c = read_char();
        if (c < 0)
            return 0;
        if (c == '<')
            return 1;
        if (c == '>')
            report_warning("Warning in vexa_xml_reader::skip_chunk(), got closing bracket?");
    }
}

// Tags that are never closed: an empty element ("name/"), a comment or other
// "!" markup, a processing instruction ("?").
static int has_no_closing_tag(const char *tag)
{
    size_t n = strlen(tag);
    return tag[0] == '!' || tag[0] == '?' || (n > 0 && tag[n - 1] == '/');
}

void vexa_xml_reader::skip_data()
{
    if (!tag_stack) {
        report_usage("Error in vexa_xml_reader::skip_data() - you must read at least the opening tag before "
                     "skipping data.");
        return;
    }
    vexa_xml_tag_entry *target = tag_stack;
    // Such a tag has no content; looking for its closing tag would swallow
    // the elements after it.
    if (has_no_closing_tag(target->tag)) {
        vexa_xml_free_tag_entry(vexa_xml_unlink_tag_entry(&tag_stack));
        return;
    }
    char block[XML_READER_TAG_BUFFER_SIZE];
    for (;;) {
        if (!skip_chunk()) {
            report_warning("Warning in vexa_xml_reader::skip_data() - unable to read chunk?");
            return;
        }
        if (!read_block(block, sizeof block, 1)) {
            report_warning("Warning in vexa_xml_reader::skip_data() - unable to read block?");
            return;
        }
        if (block[0] == '/') {
            int last = tag_stack == target;
            pop_stack_entry(block);
            if (last)
                return;
            continue;
        }
        if (!has_no_closing_tag(block))
            vexa_xml_push_tag_entry(&tag_stack, block);
    }
}

int vexa_xml_reader::read_cdata(unsigned char *dest, int size)
{
    if (!dest) {
        report_usage("Error in vexa_xml_reader::read_cdata(), NULL dest?");
        return 0;
    }
    if (size <= 0) {
        report_usage("Error in vexa_xml_reader::read_cdata(), dest is too small?");
        return 0;
    }
    if (!skip_to_open_bracket())
        return 0;
    // The header is read into a buffer of its own, so a small destination
    // does not make a good section look headerless.
    char header[CDATA_HEADER_LENGTH + 1];
    for (int i = 0; i < CDATA_HEADER_LENGTH; i++) {
        int c = read_char();
        if (c < 0)
            return 0;
        header[i] = (char)c;
    }
    header[CDATA_HEADER_LENGTH] = 0;
    if (strcmp(header, CDATA_HEADER) != 0) {
        report_warning("Warning in vexa_xml_reader::read_cdata(), did not get ![CDATA[ header.");
        return 0;
    }
    int stored = 0;
    int high = -1; // first digit of a pair, -1 while none is pending
    for (;;) {
        int c = read_char();
        if (c < 0)
            return 0;
        if (c == '<' || c == '>')
            break;
        int v = hex_value(c);
        if (v < 0)
            continue;
        if (high < 0) {
            high = v;
            continue;
        }
        // Digits past a full destination are read and dropped, so the
        // section still ends at its own "]]>".
        if (stored < size)
            dest[stored++] = (unsigned char)(high << 4 | v);
        high = -1;
    }
    skip_data();
    return stored;
}

// States of the declaration check; one attribute at a time.
enum xml_header_state {
    XML_HEADER_NAME,      // at an attribute name, "?>" or the end of the line
    XML_HEADER_EQUALS,    // after the name: blanks, then "="
    XML_HEADER_QUOTE,     // after "=": blanks, then the opening quote
    XML_HEADER_VALUE,     // inside the value, up to the closing quote
    XML_HEADER_AFTER_VALUE // blanks after the closing quote
};

enum { XML_ATTRIBUTE_VERSION = 0, XML_ATTRIBUTE_ENCODING = 1 };

static int header_fail(const char *text)
{
    log_report(text, LOG_CLASS_PROTOCOL, LOG_MODULE_XML);
    return 0;
}

int vexa_xml_reader::check_xml_header_string(const char *line)
{
    static const char *const no_equals[] = {
        "Warning in vexa_xml_reader::check_xml_header_string(), 'version' tag found, but no version.",
        "Warning in vexa_xml_reader::check_xml_header_string(), 'encoding' tag found, but no encoding."};
    static const char *const no_open_quote[] = {
        "Warning in vexa_xml_reader::check_xml_header_string(), 'version' tag found, but no opening version quote.",
        "Warning in vexa_xml_reader::check_xml_header_string(), 'encoding' tag found, but no opening encoding "
        "quote."};
    static const char *const no_close_quote[] = {
        "Warning in vexa_xml_reader::check_xml_header_string(), 'version' tag found, but no closing version quote.",
        "Warning in vexa_xml_reader::check_xml_header_string(), 'encoding' tag found, but no closing encoding "
        "quote."};

    if (!word_equal(line, "<?xml"))
        return header_fail("Warning in vexa_xml_reader::check_xml_header_string(), missing opening '<?xml' tag.");
    int seen[2] = {0, 0};
    int attribute = XML_ATTRIBUTE_VERSION;
    xml_header_state state = XML_HEADER_NAME;
    const char *p = next_arg(line);
    while (p) {
        char c = *p;
        int blank = c == ' ' || c == '\t';
        switch (state) {
        case XML_HEADER_NAME:
            if (c == 0 || (c == '?' && p[1] == '>')) {
                p = nullptr; // the attribute list is over
            } else if (strncmp(p, "version", 7) == 0) {
                attribute = XML_ATTRIBUTE_VERSION;
                p += 7;
                state = XML_HEADER_EQUALS;
            } else if (strncmp(p, "encoding", 8) == 0) {
                attribute = XML_ATTRIBUTE_ENCODING;
                p += 8;
                state = XML_HEADER_EQUALS;
            } else {
                return header_fail("Warning in vexa_xml_reader::check_xml_header_string(), unknown tag found.");
            }
            break;
        case XML_HEADER_EQUALS:
            if (blank) {
                p++;
            } else if (c == '=') {
                p++;
                state = XML_HEADER_QUOTE;
            } else {
                return header_fail(no_equals[attribute]);
            }
            break;
        case XML_HEADER_QUOTE:
            if (blank) {
                p++;
            } else if (c == '"') {
                p++;
                state = XML_HEADER_VALUE;
            } else {
                return header_fail(no_open_quote[attribute]);
            }
            break;
        case XML_HEADER_VALUE:
            if (c == 0)
                return header_fail(no_close_quote[attribute]);
            if (c == '"') {
                seen[attribute] = 1;
                state = XML_HEADER_AFTER_VALUE;
            }
            p++;
            break;
        case XML_HEADER_AFTER_VALUE:
            if (blank)
                p++;
            else
                state = XML_HEADER_NAME;
            break;
        }
    }
    if (!seen[XML_ATTRIBUTE_VERSION] && !seen[XML_ATTRIBUTE_ENCODING])
        return header_fail(
            "Warning in vexa_xml_reader::check_xml_header_string(), didn't get either version or encoding.");
    if (!seen[XML_ATTRIBUTE_VERSION])
        return header_fail("Warning in vexa_xml_reader::check_xml_header_string(), didn't get version.");
    if (!seen[XML_ATTRIBUTE_ENCODING])
        return header_fail("Warning in vexa_xml_reader::check_xml_header_string(), didn't get encoding.");
    return 1;
}

vexa_xml_file_reader::vexa_xml_file_reader(FILE *f) : file(f)
{
    if (!file)
        log_report("Error in vexa_xml_file_reader::vexa_xml_file_reader(), NULL file handle.", LOG_CLASS_RESOURCE,
                   LOG_MODULE_XML);
}

int vexa_xml_file_reader::read_char()
{
    if (!file)
        return -1;
    int c = fgetc(file);
    return c == EOF ? -1 : c;
}

vexa_xml_file_reader::~vexa_xml_file_reader() {}
