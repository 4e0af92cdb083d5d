// vexa_xml_reader: a small pull reader for the simple XML files that
// vexa_xml_writer produces (the launcher's settings file): elements with short
// text or integer content, nested a level or two, one element per line. The
// caller asks for the next tag, compares it with the names it knows, reads the
// content of known elements and skips the rest. No tree, no attributes, no
// namespaces or DTDs: only a stack of the open elements, so that the reader
// can tell where an element ends. vexa_xml_file_reader reads a stdio stream.
//
// The declaration line is not the reader's business: the caller reads the
// first line itself, tests it with check_xml_header_string and builds the
// reader on the same stream, positioned after it.
//
// Warnings and errors are reported through log_report (module XML) and never
// stop the reader; a 0 result tells the caller to stop or skip.
#ifndef QV_XML_XML_READER_H
#define QV_XML_XML_READER_H

#include <stdio.h>

#include "xml/xml_tag_entry.h"

// Private buffer for closing tags and skipped tags (as large as a stack entry).
enum { XML_READER_TAG_BUFFER_SIZE = XML_TAG_TEXT_SIZE };
// Private buffer for integer content; far longer than any int.
enum { XML_READER_INT_BUFFER_SIZE = 100 };

class vexa_xml_reader {
public:
    vexa_xml_tag_entry *tag_stack; // innermost open element first

    vexa_xml_reader();
    // The next input byte as 0 to 255, or -1 at the end of input.
    virtual int read_char() = 0;
    // Frees the entries that are still open.
    virtual ~vexa_xml_reader();

    // Skips to the next "<" and reads the tag. Returns 1 for an opening tag:
    // its whole text (attributes or a trailing "/" included) is in dest and it
    // has been pushed. Returns 0 at a closing tag (popped), at the end of the
    // input, or when the tag was refused (see read_block).
    int read_tag(char *dest, int size);
    // Reads the text content of the element just opened and consumes its
    // closing tag. Returns 1 with the decoded text in dest (cut to size - 1);
    // 0 when the content was refused: the element stays open and the input
    // is left just past the "<" that ended the content.
    int read_data(char *dest, int size);
    // The same for integer content. Returns 1 with the number stored; 0 for a
    // non-number (reported, element consumed, *dest unchanged) or refused
    // content (as above).
    int read_data(int *dest);
    // Reads a CDATA section of hexadecimal pairs (as write_cdata writes them)
    // into dest, at most size bytes, not NUL-terminated, then consumes the
    // rest of the element. Returns the number of bytes stored, 0 on error.
    int read_cdata(unsigned char *dest, int size);
    // Consumes the rest of the innermost open element, children and comments
    // included, up to and including its closing tag. Reported and ignored on
    // an empty stack.
    void skip_data();
    // 1 when the line is an XML declaration with a version and an encoding
    // attribute (in either order, double-quoted) and nothing else; otherwise
    // the first problem is reported and 0 returned.
    static int check_xml_header_string(const char *line);
    // Reads up to the next "<" or ">" (consumed, not stored) into dest, cut to
    // size - 1 characters. tag_mode 1 reads a tag, 0 content; the bracket that
    // does not fit the mode is reported but still ends the block. Returns 1
    // with the text decoded; 0 at the end of input or when a stored byte was
    // not printable (tab, newline, above 126: the text is left undecoded).
    int read_block(char *dest, int size, int tag_mode);
    // Skips to just past the next "<": 1, or 0 at the end of input.
    int skip_chunk();
    // Decodes "&lt;", "&gt;" and "&amp;" in place; any other "&" is reported
    // and kept.
    static void compact_string(char *text);
    // Pops the innermost element for the closing tag text ("/name"); reports a
    // text without "/" or a name that differs, and pops all the same. A stray
    // closing tag on an empty stack is dropped.
    void pop_stack_entry(const char *closing);

private:
    // Skips past the next "<": 1, or 0 at the end of input (no report).
    int skip_to_open_bracket();
};

class vexa_xml_file_reader : public vexa_xml_reader {
public:
    FILE *file; // not owned: the caller opens and closes it

    // A null file is reported; such a reader then reads end of input.
    explicit vexa_xml_file_reader(FILE *file);
    // fgetc on the file; -1 at its end, on error or for a null file.
    int read_char() override;
    ~vexa_xml_file_reader() override;
};

#endif
