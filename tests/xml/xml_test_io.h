// Readers and writers over memory for the XML tests, and a file-backed pair
// so every case also runs through the stdio classes.
#ifndef QV_TESTS_XML_XML_TEST_IO_H
#define QV_TESTS_XML_XML_TEST_IO_H

#include <stdio.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "xml/xml_reader.h"
#include "xml/xml_writer.h"

// Serves a string one byte at a time.
class string_reader : public vexa_xml_reader {
public:
    explicit string_reader(const std::string &text) : data(text) {}
    int read_char() override { return pos < data.size() ? (unsigned char)data[pos++] : -1; }
    std::string rest() const { return data.substr(pos); }

    std::string data;
    size_t pos = 0;
};

// Collects the output.
class string_writer : public vexa_xml_writer {
public:
    int write_text(const char *text) override
    {
        out += text;
        return (int)std::string(text).size();
    }
    std::string out;
};

// A file reader on a temporary stdio file holding the text.
struct file_input {
    explicit file_input(const std::string &text) : file(tmpfile())
    {
        fwrite(text.data(), 1, text.size(), file);
        rewind(file);
        reader.reset(new vexa_xml_file_reader(file));
    }
    ~file_input()
    {
        reader.reset();
        fclose(file);
    }
    // What the reader has not consumed (the position is kept).
    std::string rest()
    {
        long at = ftell(file);
        std::string s;
        int c;
        while ((c = fgetc(file)) != EOF)
            s += (char)c;
        fseek(file, at, SEEK_SET);
        return s;
    }
    FILE *file;
    std::unique_ptr<vexa_xml_file_reader> reader;
};

// Runs body(reader, rest) once on a string_reader and once on a file reader
// over the same input; rest() returns the unread input.
template <typename Body> void for_each_reader(const std::string &input, Body body)
{
    {
        SCOPED_TRACE("string reader");
        string_reader r(input);
        body(r, [&r]() { return r.rest(); });
    }
    {
        SCOPED_TRACE("file reader");
        file_input f(input);
        body(*f.reader, [&f]() { return f.rest(); });
    }
}

// Number of entries on a tag stack.
inline int stack_depth(const vexa_xml_tag_entry *e)
{
    int n = 0;
    for (; e; e = e->next)
        n++;
    return n;
}

#endif
