// XML writer and its stdio variant (see xml_writer.h).
#include "xml/xml_writer.h"

#include <string.h>

#include "runtime/log.h"

// Declaration written by write_header; vexa_xml_reader accepts it.
static const char XML_DECLARATION[] = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n";
// Closing tag written when end_tag finds no open element.
static const char BOGUS_ENDING_TAG[] = "_BOGUS_ENDING_TAG_";

vexa_xml_writer::vexa_xml_writer() : depth(0), tag_stack(nullptr) {}

vexa_xml_writer::~vexa_xml_writer()
{
    vexa_xml_free_tag_stack(&tag_stack);
}

int vexa_xml_writer::write_header()
{
    return write_text(XML_DECLARATION);
}

void vexa_xml_writer::write_tag(const char *tag, int newline, const char *attributes)
{
    if (!tag) {
        log_report("Error in vexa_xml_writer::write_tag(), NULL tag.\n", LOG_CLASS_USAGE, LOG_MODULE_XML);
        return;
    }
    // Without an entry the element is still written; its end_tag then
    // closes whatever is open (or the bogus tag), as for any unbalanced call.
    vexa_xml_push_tag_entry(&tag_stack, tag);
    write_indent();
    write_text("<");
    write_string(tag);
    if (attributes) {
        write_text(" ");
        write_text(attributes);
    }
    write_text(newline ? ">\n" : ">");
    depth++;
}

void vexa_xml_writer::write_string(const char *text)
{
    if (!text) {
        log_report("Error in vexa_xml_writer::write_string(), NULL data.\n", LOG_CLASS_USAGE, LOG_MODULE_XML);
        return;
    }
    char one[2] = {0, 0};
    for (const char *p = text; *p; p++) {
        switch (*p) {
        case '<':
            write_text("&lt;");
            break;
        case '>':
            write_text("&gt;");
            break;
        case '&':
            write_text("&amp;");
            break;
        default:
            one[0] = *p;
            write_text(one);
            break;
        }
    }
}

int vexa_xml_writer::end_tag(const char *expected, int indent)
{
    depth--;
    if (indent)
        write_indent();
    write_text("</");
    vexa_xml_tag_entry *entry = vexa_xml_unlink_tag_entry(&tag_stack);
    if (!entry) {
        log_report("Error in vexa_xml_writer::end_tag(), tag stack empty.\n", LOG_CLASS_USAGE, LOG_MODULE_XML);
        write_string(BOGUS_ENDING_TAG);
    } else {
        if (expected && strcmp(expected, entry->tag) != 0)
            log_report("Warning in vexa_xml_writer::end_tag(), tried to close wrong tag.\n", LOG_CLASS_INPUT,
                       LOG_MODULE_XML);
        write_string(entry->tag);
        vexa_xml_free_tag_entry(entry);
    }
    return write_text(">\n");
}

int vexa_xml_writer::write_empty_tag(const char *tag, const char *attributes)
{
    if (!tag) {
        log_report("Error in vexa_xml_writer::write_empty_tag(), NULL tag.\n", LOG_CLASS_USAGE, LOG_MODULE_XML);
        return -1;
    }
    write_indent();
    write_text("<");
    write_string(tag);
    if (attributes) {
        write_text(" ");
        write_text(attributes);
    }
    return write_text(" />\n");
}

void vexa_xml_writer::write_cdata(const unsigned char *bytes, int count)
{
    static const char hex_digits[] = "0123456789abcdef";
    if (!bytes && count > 0) {
        log_report("Error in vexa_xml_writer::write_cdata(), NULL data.\n", LOG_CLASS_USAGE, LOG_MODULE_XML);
        count = 0;
    }
    write_text("<![CDATA[\n");
    char pair[3] = {0, 0, 0};
    for (int i = 0; i < count; i++) {
        pair[0] = hex_digits[bytes[i] >> 4];
        pair[1] = hex_digits[bytes[i] & 15];
        write_text(pair);
        if ((i + 1) % XML_CDATA_BYTES_PER_LINE == 0)
            write_text("\n");
    }
    if (count > 0 && count % XML_CDATA_BYTES_PER_LINE != 0)
        write_text("\n");
    write_text("]]>\n");
}

void vexa_xml_writer::write_indent()
{
    for (int i = 0; i < depth; i++)
        write_text("  ");
}

int vexa_xml_writer::write_newline()
{
    return write_text("\n");
}

vexa_xml_file_writer::vexa_xml_file_writer(FILE *f) : file(f)
{
    if (!file)
        log_report("Error in vexa_xml_file_writer::vexa_xml_file_writer(), NULL file handle.\n",
                   LOG_CLASS_RESOURCE, LOG_MODULE_XML);
}

int vexa_xml_file_writer::write_text(const char *text)
{
    if (!file || !text)
        return -1;
    return fprintf(file, "%s", text);
}

vexa_xml_file_writer::~vexa_xml_file_writer() {}
