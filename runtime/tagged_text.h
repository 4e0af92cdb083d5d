// Tagged text records: readers and writers for line-oriented, hand-editable
// data files on stdio streams. A "#" and a tag word introduce an item, short
// values follow on the same line, long texts end with ";" or "~", numbers come
// in rows of ten. The launcher reads its manifest, crash-detection file,
// settings file head and exclude list with fget_line; the rest serves the
// extra_desc record lists and numeric tables of the library.
//
// All readers take a FILE the caller opened, read it with fgetc, ungetc and
// fscanf, and never open, seek or close it. Text readers return 0 when the
// input was at its end before the first character, otherwise the number of
// characters stored plus one (an empty item gives 1). The destination always
// ends with NUL and holds at most size - 1 characters; the rest of the item is
// read and dropped. A null file or destination is reported and gives 0.
#ifndef QV_RUNTIME_TAGGED_TEXT_H
#define QV_RUNTIME_TAGGED_TEXT_H

#include <stdio.h>

// Values fget_block and fget_dblock read from one row at most.
enum { FGET_BLOCK_VALUES = 12 };
// Values per line of the numeric rows.
enum { ROW_VALUES = 10 };
// Buffer of the list readers for tags, keyword lines and item texts.
enum { TAGGED_LIST_BUFFER_SIZE = 16384 };
// Line buffer of fget_line_starts_with.
enum { LINE_STARTS_WITH_BUFFER_SIZE = 2048 };
// fget_tilde_text stops storing after this many characters; a final "~X"
// pair may add one more, hence the destination size.
enum { TILDE_TEXT_MAX_CHARS = 3990, TILDE_TEXT_SIZE = TILDE_TEXT_MAX_CHARS + 2 };
// fget_semicolon_text stores at most this many characters.
enum { SEMICOLON_TEXT_MAX_CHARS = 3999, SEMICOLON_TEXT_SIZE = SEMICOLON_TEXT_MAX_CHARS + 1 };
// Bytes of records per block of the extra_desc pool.
enum { EXTRA_DESC_BLOCK_BYTES = 65536 };

// One record of a tagged list or keyword list, taken from a record pool. The
// list functions own every record and text of a list; a list is the address
// of its first record.
struct extra_desc {
    int e_values[3];      // the "#E" values
    char *s_text;         // owned copy or null
    char *l_text;         // owned copy or null
    char *a_text;         // owned copy or null
    extra_desc *next;     // null at the end of the list
};

// Reads up to LF, CR, NUL or the end of input; the terminator is consumed and
// not stored (CR LF gives the line, then an empty line). A line that fills
// the destination (size - 1 characters, exactly that many included) is
// reported as an overflow together with what was kept.
int fget_line(FILE *file, char *destination, int size);
// Skips through the next "#" (none: 0 and an empty destination), then stores
// up to a space, tab, LF, CR or the end of input (terminator consumed). NUL is
// an ordinary character. Overflow reported as for fget_line.
int fget_tag(FILE *file, char *destination, int size);
// Stores up to ";" or NUL, which are consumed with the one character after
// them, or up to the end of input; newlines are stored. Overflow reported.
int fget_long(FILE *file, char *destination, int size);
// Reads one row of up to 12 integers (fscanf "%20d", so blanks and newlines
// between values are skipped; a CR or LF right after a value ends the row).
// After the twelfth value the rest of the line is dropped. The end of input
// is reported. Elements after the last value read are set to 0. Returns the
// number of values read.
int fget_block(FILE *file, int values[FGET_BLOCK_VALUES]);
// The same with doubles ("%20lf").
int fget_dblock(FILE *file, double values[FGET_BLOCK_VALUES]);

// Frees *list, then reads "#E", "#A", "#S", "#L" items up to "#end" (any case)
// or the end of input into a new list. An item kind that does not follow the
// order E, A, S, L within the current record (and every "#E") starts the next
// record. A tag of another kind is reported and ends the reading. Returns the
// number of records read.
int fget_extra_list(FILE *file, extra_desc **list);
// Writes each record ("#E" only when it has no text or a value is not 0),
// then "#end". Returns the result of writing the end line (negative on error).
int fput_extra_list(FILE *file, const extra_desc *list);
// Frees *list, then reads "#keyword" lines, each followed by its
// "~"-terminated description, until "#END" or the end of input. Keyword lines
// longer than the buffer are cut.
void fget_keyword_list(FILE *file, extra_desc **list);
// Stores up to TILDE_TEXT_MAX_CHARS characters until the end of input or a
// "~" that is not followed by "A" to "Z" or "~" (that character is consumed);
// such pairs stay in the text. destination holds TILDE_TEXT_SIZE bytes.
// Returns stored + 1.
int fget_tilde_text(FILE *file, char *destination);
// Skips one character, stores up to SEMICOLON_TEXT_MAX_CHARS characters until
// ";" (not stored) or the end of input, then skips one more character.
// destination holds SEMICOLON_TEXT_SIZE bytes. Returns stored + 1.
int fget_semicolon_text(FILE *file, char *destination);
// Skips through the next "#" (none: 0), then stores the rest of the line up
// to CR, LF or the end of input (terminator consumed). A line longer than
// size - 1 characters is cut; the rest of it is read and dropped.
int fget_hash_line(FILE *file, char *destination, int size);

// Writes the values ten per line: prefix, row number, " %d" per value, LF;
// then one empty line. Returns the result of that last newline.
int fput_int_rows(FILE *file, const char *prefix, const int *values, int count);
// The same for bytes, written as signed numbers.
int fput_byte_rows(FILE *file, const char *prefix, const signed char *values, int count);
// Reads one row with fget_block and stores up to ten of its values from
// index atoi(row_text) * 10 on, never at or past count. Returns 1 when that
// index was within 0 to count - 1, else 0 (the row is read either way).
int fget_int_row(FILE *file, const char *row_text, int *values, int count);
// The same for bytes.
int fget_byte_row(FILE *file, const char *row_text, signed char *values, int count);

// 1 when text begins with start (case-sensitive); 0 when either is null.
int line_starts_with(const char *text, const char *start);
// Reads one line (fget_line, LINE_STARTS_WITH_BUFFER_SIZE) and tests it.
int fget_line_starts_with(FILE *file, const char *start);

// A zeroed record from the pool (never null: running out of memory ends the
// process).
extra_desc *new_extra_desc();
// Frees the record's texts and gives it back to the pool; null is ignored.
void free_extra_desc(extra_desc *record);
// Frees every record of *list and leaves *list null.
void free_extra_desc_list(extra_desc **list);
// A new list with copies of every record and text, in order. A text whose
// copy cannot be allocated is reported and left null.
extra_desc *copy_extra_desc_list(const extra_desc *list);
// Replaces *list with a copy of source and frees the old list; returns the
// new list. source may be *list itself.
extra_desc *replace_extra_desc_list(extra_desc **list, const extra_desc *source);
// Links the record (and whatever follows it) after the last record of *list.
void append_extra_desc(extra_desc **list, extra_desc *record);

#endif
