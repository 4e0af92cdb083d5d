// Tagged text record I/O and the extra_desc lists (see tagged_text.h).
#include "runtime/tagged_text.h"

#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include "runtime/bulk_allocate.h"
#include "runtime/log.h"
#include "runtime/string_util.h"
#include "runtime/text_buffer.h"

// Records of every list come from this pool. Constant-initialised, so static
// initialisers elsewhere may already take records; at exit it only forgets
// its free list and type name (the blocks stay with the bulk allocator).
static record_pool extra_desc_pool("struct extra_desc", (int)sizeof(extra_desc), EXTRA_DESC_BLOCK_BYTES);

static void forget_extra_desc_pool()
{
    extra_desc_pool.forget();
}
static const int extra_desc_pool_forget_registered = atexit(forget_extra_desc_pool);

static void report_bad_arguments(const char *function)
{
    text_buffer t;
    t.append_format("Error in %s(), null argument or bad size.", function);
    log_report(t.text(), LOG_CLASS_USAGE, LOG_MODULE_UTIL);
}

// The stored part of a text reader's item: keeps what fits into size - 1
// characters, drops the rest, and remembers whether the destination filled.
struct text_sink {
    char *destination;
    int size;
    int stored;
    int overflow;

    text_sink(char *d, int s) : destination(d), size(s), stored(0), overflow(0) {}

    void put(int c)
    {
        if (stored < size - 1) {
            destination[stored++] = (char)c;
            if (stored == size - 1)
                overflow = 1;
        } else {
            overflow = 1;
        }
    }

    // Terminates the text; returns stored + 1.
    int finish()
    {
        destination[stored] = 0;
        return stored + 1;
    }
};

static void report_overflow(const char *function, const char *text)
{
    text_buffer t;
    t.append_format("Warning in %s(), string overflow.  String was:", function);
    log_report(t.text(), LOG_CLASS_RUNTIME, LOG_MODULE_UTIL);
    log_report(text, LOG_CLASS_RUNTIME, LOG_MODULE_UTIL);
}

static int arguments_ok(FILE *file, char *destination, int size, const char *function)
{
    if (file && destination && size >= 1)
        return 1;
    report_bad_arguments(function);
    if (destination && size >= 1)
        destination[0] = 0;
    return 0;
}

int fget_line(FILE *file, char *destination, int size)
{
    if (!arguments_ok(file, destination, size, "fget_line"))
        return 0;
    int c = fgetc(file);
    if (c == EOF) {
        destination[0] = 0;
        return 0;
    }
    text_sink sink(destination, size);
    while (c != EOF && c != '\n' && c != '\r' && c != 0) {
        sink.put(c);
        c = fgetc(file);
    }
    int result = sink.finish();
    if (sink.overflow)
        report_overflow("fget_line", destination);
    return result;
}

// Reads through the next "#"; 0 when the input ends first.
static int skip_past_hash(FILE *file)
{
    for (;;) {
        int c = fgetc(file);
        if (c == EOF)
            return 0;
        if (c == '#')
            return 1;
    }
}

int fget_tag(FILE *file, char *destination, int size)
{
    if (!arguments_ok(file, destination, size, "fget_tag"))
        return 0;
    destination[0] = 0;
    if (!skip_past_hash(file))
        return 0;
    text_sink sink(destination, size);
    for (;;) {
        int c = fgetc(file);
        if (c == EOF || c == ' ' || c == '\t' || c == '\n' || c == '\r')
            break;
        sink.put(c);
    }
    int result = sink.finish();
    if (sink.overflow)
        report_overflow("fget_tag", destination);
    return result;
}

int fget_long(FILE *file, char *destination, int size)
{
    if (!arguments_ok(file, destination, size, "fget_long"))
        return 0;
    int c = fgetc(file);
    if (c == EOF) {
        destination[0] = 0;
        return 0;
    }
    text_sink sink(destination, size);
    while (c != EOF) {
        if (c == ';' || c == 0) {
            fgetc(file); // the character after the end mark, normally the line end
            break;
        }
        sink.put(c);
        c = fgetc(file);
    }
    int result = sink.finish();
    if (sink.overflow)
        report_overflow("fget_long", destination);
    return result;
}

// One row of values for fget_block and fget_dblock.
template <typename T>
static int read_block(FILE *file, T *values, const char *conversion, const char *eof_report, const char *function)
{
    if (!file || !values) {
        report_bad_arguments(function);
        return 0;
    }
    int n = 0;
    while (n < FGET_BLOCK_VALUES) {
        int c = fgetc(file);
        if (c == '\r' || c == '\n')
            break;
        if (c != EOF)
            ungetc(c, file);
        T value;
        int converted = fscanf(file, conversion, &value);
        if (converted == EOF) {
            log_report(eof_report, LOG_CLASS_RUNTIME, LOG_MODULE_UTIL);
            break;
        }
        if (converted != 1)
            break;
        values[n++] = value;
        if (n == FGET_BLOCK_VALUES) {
            do
                c = fgetc(file);
            while (c != EOF && c != '\n' && c != 0);
        }
    }
    for (int i = n; i < FGET_BLOCK_VALUES; i++)
        values[i] = 0;
    return n;
}

int fget_block(FILE *file, int values[FGET_BLOCK_VALUES])
{
    return read_block(file, values, "%20d", "Error in fget_block(), EOF encountered.", "fget_block");
}

int fget_dblock(FILE *file, double values[FGET_BLOCK_VALUES])
{
    return read_block(file, values, "%20lf", "Error in fget_dblock(), EOF encountered.", "fget_dblock");
}

// A heap copy of text (null stays null); a failed copy is reported and null.
static char *copy_text(const char *text, const char *function)
{
    if (!text)
        return nullptr;
    char *copy = strdup(text);
    if (!copy) {
        text_buffer t;
        t.append_format("Error in %s(), unable to copy text.", function);
        log_report(t.text(), LOG_CLASS_RESOURCE, LOG_MODULE_UTIL);
    }
    return copy;
}

static void replace_text(char **slot, const char *text, const char *function)
{
    free(*slot);
    *slot = copy_text(text, function);
}

// Order of the item kinds within one record; 0 for no kind.
static int item_order(char kind)
{
    switch (kind) {
    case 'E':
        return 1;
    case 'A':
        return 2;
    case 'S':
        return 3;
    case 'L':
        return 4;
    default:
        return 0;
    }
}

int fget_extra_list(FILE *file, extra_desc **list)
{
    if (!file || !list) {
        report_bad_arguments("fget_extra_list");
        return 0;
    }
    free_extra_desc_list(list);
    char buffer[TAGGED_LIST_BUFFER_SIZE];
    extra_desc *current = nullptr;
    int count = 0;
    int phase = 0; // order of the current record's last item
    for (;;) {
        if (!fget_tag(file, buffer, sizeof buffer))
            break;
        if (word_equal(buffer, "end"))
            break;
        char kind = buffer[0];
        int order = item_order(kind);
        if (!order) {
            text_buffer t;
            t.append_format("Error in fget_extra_list(), invalid tag '%s' found.", buffer);
            log_report(t.text(), LOG_CLASS_RUNTIME, LOG_MODULE_UTIL);
            break;
        }
        if (kind == 'E' || !current || phase >= order) {
            extra_desc *record = new_extra_desc();
            if (current)
                current->next = record;
            else
                *list = record;
            current = record;
            count++;
        }
        phase = order;
        if (kind == 'E') {
            int values[FGET_BLOCK_VALUES];
            fget_block(file, values);
            for (int i = 0; i < 3; i++)
                current->e_values[i] = values[i];
        } else if (kind == 'L') {
            fget_long(file, buffer, sizeof buffer);
            replace_text(&current->l_text, buffer, "fget_extra_list");
        } else {
            fget_line(file, buffer, sizeof buffer);
            replace_text(kind == 'A' ? &current->a_text : &current->s_text, buffer, "fget_extra_list");
        }
    }
    return count;
}

int fput_extra_list(FILE *file, const extra_desc *list)
{
    if (!file) {
        report_bad_arguments("fput_extra_list");
        return -1;
    }
    for (const extra_desc *r = list; r; r = r->next) {
        int no_text = !r->s_text && !r->l_text && !r->a_text;
        if (no_text || r->e_values[0] || r->e_values[1] || r->e_values[2])
            fprintf(file, "#E %d %d %d\n", r->e_values[0], r->e_values[1], r->e_values[2]);
        if (r->a_text)
            fprintf(file, "#A %s\n", r->a_text);
        if (r->s_text)
            fprintf(file, "#S %s\n", r->s_text);
        if (r->l_text)
            fprintf(file, "#L %s;\n", r->l_text);
    }
    return fprintf(file, "#end\n");
}

void fget_keyword_list(FILE *file, extra_desc **list)
{
    if (!file || !list) {
        report_bad_arguments("fget_keyword_list");
        return;
    }
    free_extra_desc_list(list);
    char keyword[TAGGED_LIST_BUFFER_SIZE];
    char description[TILDE_TEXT_SIZE];
    extra_desc *last = nullptr;
    for (;;) {
        if (!fget_hash_line(file, keyword, sizeof keyword))
            break;
        if (word_equal(keyword, "END"))
            break;
        extra_desc *record = new_extra_desc();
        record->s_text = copy_text(keyword, "fget_keyword_list");
        fget_tilde_text(file, description);
        record->l_text = copy_text(description, "fget_keyword_list");
        if (last)
            last->next = record;
        else
            *list = record;
        last = record;
    }
}

int fget_tilde_text(FILE *file, char *destination)
{
    if (!arguments_ok(file, destination, TILDE_TEXT_SIZE, "fget_tilde_text"))
        return 0;
    int stored = 0;
    while (stored < TILDE_TEXT_MAX_CHARS) {
        int c = fgetc(file);
        if (c == EOF)
            break;
        if (c == '~') {
            int next = fgetc(file);
            if ((next >= 'A' && next <= 'Z') || next == '~') {
                destination[stored++] = (char)c;
                destination[stored++] = (char)next;
                continue;
            }
            break;
        }
        destination[stored++] = (char)c;
    }
    destination[stored] = 0;
    return stored + 1;
}

int fget_semicolon_text(FILE *file, char *destination)
{
    if (!arguments_ok(file, destination, SEMICOLON_TEXT_SIZE, "fget_semicolon_text"))
        return 0;
    fgetc(file);
    int stored = 0;
    while (stored < SEMICOLON_TEXT_MAX_CHARS) {
        int c = fgetc(file);
        if (c == EOF || c == ';')
            break;
        destination[stored++] = (char)c;
    }
    fgetc(file);
    destination[stored] = 0;
    return stored + 1;
}

int fget_hash_line(FILE *file, char *destination, int size)
{
    if (!arguments_ok(file, destination, size, "fget_hash_line"))
        return 0;
    destination[0] = 0;
    if (!skip_past_hash(file))
        return 0;
    text_sink sink(destination, size);
    for (;;) {
        int c = fgetc(file);
        if (c == EOF || c == '\r' || c == '\n')
            break;
        sink.put(c);
    }
    return sink.finish();
}

// Rows of ten for fput_int_rows and fput_byte_rows.
template <typename T>
static int put_rows(FILE *file, const char *prefix, const T *values, int count, const char *function)
{
    if (!file || (!values && count > 0)) {
        report_bad_arguments(function);
        return -1;
    }
    if (!prefix)
        prefix = "";
    for (int row_start = 0; row_start < count; row_start += ROW_VALUES) {
        fprintf(file, "%s%d", prefix, row_start / ROW_VALUES);
        for (int i = row_start; i < count && i < row_start + ROW_VALUES; i++)
            fprintf(file, " %d", (int)values[i]);
        fputc('\n', file);
    }
    return fprintf(file, "\n");
}

int fput_int_rows(FILE *file, const char *prefix, const int *values, int count)
{
    return put_rows(file, prefix, values, count, "fput_int_rows");
}

int fput_byte_rows(FILE *file, const char *prefix, const signed char *values, int count)
{
    return put_rows(file, prefix, values, count, "fput_byte_rows");
}

// One row for fget_int_row and fget_byte_row.
template <typename T>
static int get_row(FILE *file, const char *row_text, T *values, int count, const char *function)
{
    if (!file || !row_text || !values) {
        report_bad_arguments(function);
        return 0;
    }
    // atoi's value, computed without its undefined overflow.
    long row = strtol(row_text, nullptr, 10);
    if (row > INT_MAX)
        row = INT_MAX;
    if (row < INT_MIN)
        row = INT_MIN;
    long long first = (long long)row * ROW_VALUES;
    int block[FGET_BLOCK_VALUES];
    fget_block(file, block);
    if (first < 0 || first >= count)
        return 0;
    for (int i = 0; i < ROW_VALUES && first + i < count; i++)
        values[first + i] = (T)block[i];
    return 1;
}

int fget_int_row(FILE *file, const char *row_text, int *values, int count)
{
    return get_row(file, row_text, values, count, "fget_int_row");
}

int fget_byte_row(FILE *file, const char *row_text, signed char *values, int count)
{
    return get_row(file, row_text, values, count, "fget_byte_row");
}

int line_starts_with(const char *text, const char *start)
{
    if (!text || !start)
        return 0;
    return strncmp(text, start, strlen(start)) == 0;
}

int fget_line_starts_with(FILE *file, const char *start)
{
    char line[LINE_STARTS_WITH_BUFFER_SIZE];
    fget_line(file, line, sizeof line);
    return line_starts_with(line, start);
}

extra_desc *new_extra_desc()
{
    extra_desc *record = (extra_desc *)extra_desc_pool.take();
    memset(record, 0, sizeof *record);
    return record;
}

void free_extra_desc(extra_desc *record)
{
    if (!record)
        return;
    free(record->s_text);
    free(record->l_text);
    free(record->a_text);
    extra_desc_pool.give_back(record);
}

void free_extra_desc_list(extra_desc **list)
{
    if (!list)
        return;
    extra_desc *r = *list;
    while (r) {
        extra_desc *next = r->next;
        free_extra_desc(r);
        r = next;
    }
    *list = nullptr;
}

extra_desc *copy_extra_desc_list(const extra_desc *list)
{
    extra_desc *copy = nullptr;
    extra_desc *last = nullptr;
    for (const extra_desc *r = list; r; r = r->next) {
        extra_desc *n = new_extra_desc();
        for (int i = 0; i < 3; i++)
            n->e_values[i] = r->e_values[i];
        n->s_text = copy_text(r->s_text, "copy_extra_desc_list");
        n->l_text = copy_text(r->l_text, "copy_extra_desc_list");
        n->a_text = copy_text(r->a_text, "copy_extra_desc_list");
        if (last)
            last->next = n;
        else
            copy = n;
        last = n;
    }
    return copy;
}

extra_desc *replace_extra_desc_list(extra_desc **list, const extra_desc *source)
{
    if (!list) {
        report_bad_arguments("replace_extra_desc_list");
        return nullptr;
    }
    // Copy before freeing: source may be (part of) the old list.
    extra_desc *copy = copy_extra_desc_list(source);
    free_extra_desc_list(list);
    *list = copy;
    return copy;
}

void append_extra_desc(extra_desc **list, extra_desc *record)
{
    if (!list || !record) {
        report_bad_arguments("append_extra_desc");
        return;
    }
    extra_desc **link = list;
    while (*link)
        link = &(*link)->next;
    *link = record;
}
