// vexa_xml_writer: writes the small XML files that vexa_xml_reader reads back
// (the launcher's settings file is its user): a declaration line, elements
// indented by two spaces per open level, text with "<", ">" and "&" escaped,
// and binary content as hexadecimal inside a CDATA section. It keeps a stack
// of the open elements, so end_tag never needs the name and catches a wrong
// one. vexa_xml_file_writer sends the output to a stdio stream.
//
// No operation stops the writer. Errors of the output itself show only in the
// int status of write_header, end_tag, write_empty_tag and write_newline (the
// status of the last write_text: characters written, negative on error); a
// file writer's caller should also test ferror() and the result of fclose().
#ifndef QV_XML_XML_WRITER_H
#define QV_XML_XML_WRITER_H

#include <stdio.h>

#include "xml/xml_tag_entry.h"

// Bytes of binary content per CDATA line (two hex digits each).
enum { XML_CDATA_BYTES_PER_LINE = 32 };

class vexa_xml_writer {
public:
    int depth;                    // open elements; sets the indentation
    vexa_xml_tag_entry *tag_stack; // innermost open element first

    vexa_xml_writer();
    // Emits the text unchanged; characters written, negative on error.
    virtual int write_text(const char *text) = 0;
    // Frees the entries still open without writing their closing tags.
    virtual ~vexa_xml_writer();

    // The declaration line; the status of write_text.
    int write_header();
    // Opens an element: indentation, "<", the escaped tag, " " and the
    // attributes as given (unescaped, null for none), then ">\n" when newline
    // is set (children follow) or ">" (content follows). Pushes the tag and
    // raises the depth. A null tag is reported and writes nothing.
    void write_tag(const char *tag, int newline, const char *attributes);
    // The text with "<", ">" and "&" escaped, one character per write_text.
    // Null is reported and writes nothing.
    void write_string(const char *text);
    // Closes the innermost element with its own name; indent lines it up with
    // its opening tag. A differing expected name (null: no check) is reported;
    // an empty stack is reported and closes "_BOGUS_ENDING_TAG_". The depth
    // falls by one either way. Returns the status of the final ">\n".
    int end_tag(const char *expected, int indent);
    // An element without content: indentation, "<", tag, attributes, " />\n".
    // Stack and depth are left alone. Returns the status of the last piece.
    int write_empty_tag(const char *tag, const char *attributes);
    // A CDATA section with the bytes as lower-case hexadecimal, 32 bytes a
    // line; the caller wraps it in an element. Null bytes are reported and
    // written as an empty section.
    void write_cdata(const unsigned char *bytes, int count);
    // Two spaces per open element (none at depth 0 or below).
    void write_indent();
    // "\n"; the status of write_text.
    int write_newline();
};

class vexa_xml_file_writer : public vexa_xml_writer {
public:
    FILE *file; // not owned: the caller opens and closes it

    // A null file is reported; such a writer then drops all output.
    explicit vexa_xml_file_writer(FILE *file);
    // fprintf "%s" on the file: characters written, negative on error (and
    // for a null file or text).
    int write_text(const char *text) override;
    ~vexa_xml_file_writer() override;
};

#endif
