// File manifest: the list of files the updater manages, each with its name (a
// path relative to a base directory), the server's opaque hash text for its
// content and its size, plus the text file that keeps that list on disk (the
// local manifest). The line syntax is shared with the server's remote
// manifest, so parse_manifest_line also serves the remote manifest fetch.
//
// Users: the update engine loads, prunes, updates and saves the local
// manifest; the remote manifest fetch turns downloaded lines into entries;
// the launch sequence loads and prunes its own copy to find what it may start.
// A manifest is used by one thread at a time.
#ifndef QV_UPDATE_FILE_MANIFEST_H
#define QV_UPDATE_FILE_MANIFEST_H

#include <stdint.h>

#include "runtime/pointer_hash_table.h"

// Line buffer of load_file: fget_line keeps at most 1023 characters a line.
enum { MANIFEST_LINE_BUFFER_SIZE = 1024 };
// Leading characters of a hash field that must be lower-case hex digits.
enum { MANIFEST_HASH_CHECK_CHARS = 10 };
// Hash texts shorter than this are reported by save_file (and still written).
enum { MANIFEST_MIN_HASH_LENGTH = 20 };
// Longest hash text the parser keeps: what a text_buffer can hold.
enum { MANIFEST_MAX_HASH_CHARS = 5999 };

// Source labels of parse_manifest_line's messages.
#define MANIFEST_LABEL_FILE "file manifest"
#define MANIFEST_LABEL_DOWNLOADED "downloaded data"

// One managed file. The entry owns its texts: they live in the entry's own
// heap block (a hash replaced later is a heap copy of its own), so entries
// are made and freed only by the functions below.
struct qfu_manifest_entry {
    char *name;               // the key; never null
    char *hash;               // opaque hash text; null only after add_or_update with none
    int32_t size;             // bytes; any value, negative ones included, is kept
    qfu_manifest_entry *next; // next entry of the owning list, or null
};

// A new entry with copies of name and hash (hash may be null) and the size,
// next null. Null when name is null or memory ran out (both reported).
qfu_manifest_entry *qfu_new_manifest_entry(const char *name, const char *hash, int32_t size);
// Frees the entry and its texts; null is ignored.
void qfu_free_manifest_entry(qfu_manifest_entry *entry);
// Frees a whole list linked through next.
void qfu_free_manifest_entry_list(qfu_manifest_entry *head);

// Parses one manifest line. Returns 1 for a good line, 0 for a syntax error
// (reported twice, class 16: the message naming source_label, then the line
// as given). *entry receives a new entry owned by the caller for an entry
// line, null for a comment, an empty line or an error.
int parse_manifest_line(const char *source_label, const char *line, qfu_manifest_entry **entry);
// The same for a text of known length; a NUL inside ends the line early.
int parse_manifest_text(const char *source_label, const char *line, int length, qfu_manifest_entry **entry);

class qfu_file_manifest {
public:
    qfu_manifest_entry *head; // list in file order, new entries in front
    VoidPointerHashTable index; // the same entries by name

    // An empty manifest.
    qfu_file_manifest();
    // Frees every entry.
    ~qfu_file_manifest();
    qfu_file_manifest(const qfu_file_manifest &) = delete;
    qfu_file_manifest &operator=(const qfu_file_manifest &) = delete;

    // Appends the entries of the file at path in file order. Returns their
    // number, or -1 when the file cannot be opened (no report) or a line is
    // bad (reported); the entries read before a bad line stay.
    int load_file(const char *path);
    // Drops every entry whose file (directory + "/" + name, or the bare name
    // when directory is null or empty) is not an existing regular file.
    // Returns the number of entries kept.
    int prune_missing(const char *directory);
    // Writes the header and one line per entry in list order to a temporary
    // file beside path and renames it over path. Returns 1 when every write,
    // the close and the rename worked; 0 (reported, the old file untouched)
    // otherwise. Hash texts shorter than 20 characters are reported and
    // written anyway.
    int save_file(const char *path);
    // The entry of that name, or null. Among duplicate names, one of them.
    qfu_manifest_entry *find(const char *name);
    // Copies entry into the manifest: a known name gets the new hash and
    // size in place; a new name goes to the front of the list. Returns 1, or
    // 0 (reported, manifest unchanged) for a null entry or name or when
    // memory ran out.
    int add_or_update(const qfu_manifest_entry *entry);
};

#endif
