// File manifest and its line syntax (see file_manifest.h).
#include "update/file_manifest.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "runtime/files.h"
#include "runtime/log.h"
#include "runtime/tagged_text.h"
#include "runtime/text_buffer.h"

// Appended to the manifest's path for the file a save is written to first.
#define MANIFEST_SAVE_SUFFIX ".tmp"

static const char *const manifest_header = "# This is an automatically generated file - do not modify\n"
                                           "# It contains a list of the files currently managed by the\n"
                                           "# updater.  Changing or deleting it may cause your next\n"
                                           "# update to download far more things than it needs.\n"
                                           "\n";

static void report(const char *text, int class_bits)
{
    log_report(text, class_bits, LOG_MODULE_MANIFEST);
}

static char *copy_text(const char *text, size_t length)
{
    char *copy = (char *)malloc(length + 1);
    if (!copy)
        return nullptr;
    memcpy(copy, text, length);
    copy[length] = 0;
    return copy;
}

// --- Entries -----------------------------------------------------------------

// An entry is one heap block: the structure, then the hash text, then the
// name. One allocation per entry keeps a long remote manifest cheap to build
// and to free. A hash replaced by add_or_update is a heap copy of its own.
static char *inline_hash(qfu_manifest_entry *entry)
{
    return (char *)(entry + 1);
}

static qfu_manifest_entry *new_entry(const char *name, size_t name_length, const char *hash, size_t hash_length,
                                     int32_t size)
{
    size_t hash_room = hash ? hash_length + 1 : 0;
    qfu_manifest_entry *entry = (qfu_manifest_entry *)malloc(sizeof(qfu_manifest_entry) + hash_room + name_length + 1);
    if (!entry) {
        report("Error in qfu_new_manifest_entry(), out of memory.", LOG_CLASS_RESOURCE);
        return nullptr;
    }
    char *texts = inline_hash(entry);
    entry->hash = nullptr;
    if (hash) {
        memcpy(texts, hash, hash_length);
        texts[hash_length] = 0;
        entry->hash = texts;
    }
    entry->name = texts + hash_room;
    memcpy(entry->name, name, name_length);
    entry->name[name_length] = 0;
    entry->size = size;
    entry->next = nullptr;
    return entry;
}

// Stores a heap copy of hash (null: none) as the entry's hash text. 0 when
// memory ran out (the entry is unchanged).
static int replace_hash(qfu_manifest_entry *entry, const char *hash)
{
    char *copy = nullptr;
    if (hash) {
        copy = copy_text(hash, strlen(hash));
        if (!copy)
            return 0;
    }
    if (entry->hash != inline_hash(entry))
        free(entry->hash);
    entry->hash = copy;
    return 1;
}

qfu_manifest_entry *qfu_new_manifest_entry(const char *name, const char *hash, int32_t size)
{
    if (!name) {
        report("Error in qfu_new_manifest_entry(), NULL name.", LOG_CLASS_USAGE);
        return nullptr;
    }
    return new_entry(name, strlen(name), hash, hash ? strlen(hash) : 0, size);
}

void qfu_free_manifest_entry(qfu_manifest_entry *entry)
{
    if (!entry)
        return;
    if (entry->hash != inline_hash(entry))
        free(entry->hash);
    free(entry);
}

void qfu_free_manifest_entry_list(qfu_manifest_entry *head)
{
    while (head) {
        qfu_manifest_entry *next = head->next;
        qfu_free_manifest_entry(head);
        head = next;
    }
}

// --- Line syntax -----------------------------------------------------------

// Character classes of the line parser, one table lookup per byte.
enum {
    CC_BLANK = 1,     // space, tab: skipped before the hash field
    CC_GAP = 2,       // space, tab, LF: between the fields
    CC_FIELD_END = 4, // space, tab, LF, NUL: ends the hash field and the size token
    CC_HEX = 8,       // "0" to "9", "a" to "f"
    CC_DIGIT = 16     // "0" to "9"
};

struct char_class_table {
    unsigned char bits[256];
    constexpr char_class_table() : bits()
    {
        bits[' '] = bits['\t'] = CC_BLANK | CC_GAP | CC_FIELD_END;
        bits['\n'] = CC_GAP | CC_FIELD_END;
        bits[0] = CC_FIELD_END;
        for (int c = '0'; c <= '9'; c++)
            bits[c] = CC_HEX | CC_DIGIT;
        for (int c = 'a'; c <= 'f'; c++)
            bits[c] = CC_HEX;
    }
};

static constexpr char_class_table char_classes;

static inline int char_is(unsigned char c, int class_bits)
{
    return char_classes.bits[c] & class_bits;
}

// The position of the first space, tab, LF or NUL at or after pos, or
// length. Hash texts are long runs of printable bytes, so eight bytes are
// tested at a time for any byte below "!" (which every field end is); only
// the word that holds one is looked at byte by byte.
static int scan_to_field_end(const unsigned char *text, int pos, int length)
{
    const uint64_t ones = 0x0101010101010101ull;
    while (pos + 8 <= length) {
        uint64_t word;
        memcpy(&word, text + pos, sizeof word);
        if ((word - ones * '!') & ~word & (ones * 0x80))
            break;
        pos += 8;
    }
    while (pos < length && !char_is(text[pos], CC_FIELD_END))
        pos++;
    return pos;
}

// Where parse_manifest_text found fault with a line.
enum line_fault { FAULT_NONE, FAULT_HASH, FAULT_SIZE, FAULT_NAME };

static void report_syntax_error(const char *label, line_fault fault, const char *line, int length)
{
    text_buffer msg;
    msg.append("Syntax error in ");
    msg.append(label ? label : "(null)");
    switch (fault) {
    case FAULT_HASH:
        msg.append(" - bad or missing hash field for line:");
        break;
    case FAULT_SIZE:
        msg.append(" - bad or missing file size for line:");
        break;
    default:
        msg.append(" - missing file name for line:");
        break;
    }
    report(msg.text(), LOG_CLASS_FILE);
    // The line as the caller passed it (up to a NUL, as far as a buffer goes).
    msg.clear();
    for (int i = 0; i < length && line[i] && !msg.is_full(); i++)
        msg.append_char(line[i]);
    report(msg.text(), LOG_CLASS_FILE);
}

int parse_manifest_text(const char *label, const char *line, int length, qfu_manifest_entry **entry)
{
    if (entry)
        *entry = nullptr;
    if (!line || !entry || length < 0) {
        report("Error in parse_manifest_line(), NULL line or entry.", LOG_CLASS_USAGE);
        return 0;
    }
    // The text ends at length or at a NUL, whichever comes first; reading
    // through `at` never goes past either.
    const unsigned char *text = (const unsigned char *)line;
    int pos = 0;
    auto at = [&](int i) -> unsigned char { return i < length ? text[i] : 0; };

    line_fault fault = FAULT_NONE;
    int hash_start = 0, hash_end = 0, name_start = 0;
    int64_t value = 0;
    int negative = 0;

    while (char_is(at(pos), CC_BLANK))
        pos++;
    if (at(pos) == 0 || at(pos) == '#')
        return 1;

    // Hash field: ten hex digits, then anything up to a field end.
    hash_start = pos;
    for (int i = 0; i < MANIFEST_HASH_CHECK_CHARS && fault == FAULT_NONE; i++)
        if (!char_is(at(pos + i), CC_HEX))
            fault = FAULT_HASH;
    if (fault == FAULT_NONE) {
        pos = scan_to_field_end(text, pos + MANIFEST_HASH_CHECK_CHARS, length);
        hash_end = pos;
        if (hash_end - hash_start > MANIFEST_MAX_HASH_CHARS)
            hash_end = hash_start + MANIFEST_MAX_HASH_CHARS;
        while (char_is(at(pos), CC_GAP))
            pos++;
        // Size: a digit, "+", or "-" and a digit; the value of the leading
        // digits, held at the 32-bit limits; the rest of the token is ignored.
        unsigned char c = at(pos);
        if (char_is(c, CC_DIGIT) || c == '+' || (c == '-' && char_is(at(pos + 1), CC_DIGIT))) {
            negative = c == '-';
            if (c == '+' || c == '-')
                pos++;
            while (char_is(at(pos), CC_DIGIT)) {
                if (value <= (int64_t)INT32_MAX + 1)
                    value = value * 10 + (at(pos) - '0');
                pos++;
            }
            while (!char_is(at(pos), CC_FIELD_END))
                pos++;
            while (char_is(at(pos), CC_GAP))
                pos++;
            // The name is the whole rest of the line.
            if (at(pos) == 0)
                fault = FAULT_NAME;
            name_start = pos;
        } else {
            fault = FAULT_SIZE;
        }
    }
    if (fault != FAULT_NONE) {
        report_syntax_error(label, fault, line, length);
        return 0;
    }

    const void *nul = memchr(text + name_start, 0, (size_t)(length - name_start));
    int name_end = nul ? (int)((const unsigned char *)nul - text) : length;
    if (negative)
        value = -value;
    if (value > INT32_MAX)
        value = INT32_MAX;
    if (value < INT32_MIN)
        value = INT32_MIN;
    *entry = new_entry(line + name_start, (size_t)(name_end - name_start), line + hash_start,
                       (size_t)(hash_end - hash_start), (int32_t)value);
    return *entry ? 1 : 0;
}

int parse_manifest_line(const char *label, const char *line, qfu_manifest_entry **entry)
{
    if (!line) {
        if (entry)
            *entry = nullptr;
        report("Error in parse_manifest_line(), NULL line or entry.", LOG_CLASS_USAGE);
        return 0;
    }
    size_t length = strlen(line);
    if (length > (size_t)INT32_MAX)
        length = (size_t)INT32_MAX;
    return parse_manifest_text(label, line, (int)length, entry);
}

// --- The manifest --------------------------------------------------------------

static uint32_t entry_hash(const void *thing)
{
    return string_hash(((const qfu_manifest_entry *)thing)->name);
}

static uint32_t name_hash(const void *key)
{
    return string_hash((const char *)key);
}

static int entry_has_name(const void *thing, const void *key)
{
    return strcmp(((const qfu_manifest_entry *)thing)->name, (const char *)key) == 0;
}

qfu_file_manifest::qfu_file_manifest() : head(nullptr), index(entry_hash, name_hash, entry_has_name)
{
}

qfu_file_manifest::~qfu_file_manifest()
{
    qfu_free_manifest_entry_list(head);
    head = nullptr;
}

int qfu_file_manifest::load_file(const char *path)
{
    if (!path) {
        report("Error in qfu_file_manifest::load_file(), NULL path.", LOG_CLASS_USAGE);
        return -1;
    }
    FILE *file = fopen(path, "rb");
    if (!file)
        return -1;
    // New entries go after whatever the manifest holds already.
    qfu_manifest_entry **tail = &head;
    while (*tail)
        tail = &(*tail)->next;
    int count = 0;
    char line[MANIFEST_LINE_BUFFER_SIZE];
    while (fget_line(file, line, (int)sizeof line) > 0) {
        qfu_manifest_entry *entry = nullptr;
        if (!parse_manifest_line(MANIFEST_LABEL_FILE, line, &entry)) {
            fclose(file);
            return -1;
        }
        if (!entry)
            continue;
        *tail = entry;
        tail = &entry->next;
        index.add(entry);
        count++;
    }
    fclose(file);
    return count;
}

int qfu_file_manifest::prune_missing(const char *directory)
{
    int kept = 0;
    qfu_manifest_entry **link = &head;
    while (*link) {
        qfu_manifest_entry *entry = *link;
        text_buffer path;
        if (directory && *directory) {
            path.append(directory);
            path.append("/");
        }
        path.append(entry->name);
        // A path cut at the buffer's limit names some other file: treat it
        // as missing.
        if (!path.is_full() && vexa_is_regular_file(path.text())) {
            kept++;
            link = &entry->next;
            continue;
        }
        *link = entry->next;
        index.remove(entry);
        qfu_free_manifest_entry(entry);
    }
    return kept;
}

int qfu_file_manifest::save_file(const char *path)
{
    if (!path) {
        report("Error in qfu_file_manifest::save_file(), NULL path.", LOG_CLASS_USAGE);
        return 0;
    }
    text_buffer temp_path;
    temp_path.append(path);
    temp_path.append(MANIFEST_SAVE_SUFFIX);
    FILE *file = temp_path.is_full() ? nullptr : fopen(temp_path.text(), "wb");
    int ok = file != nullptr;
    if (ok)
        ok = fputs(manifest_header, file) >= 0;
    for (qfu_manifest_entry *entry = head; ok && entry; entry = entry->next) {
        const char *hash = entry->hash ? entry->hash : "";
        size_t hash_length = strlen(hash);
        if (hash_length < MANIFEST_MIN_HASH_LENGTH) {
            text_buffer msg;
            msg.append("Error in qfu_file_manifest::save_file(), file '");
            msg.append(entry->name);
            msg.append_format("' had short hash len of %d.\n", (int)hash_length);
            report(msg.text(), LOG_CLASS_WRITE_DATA);
        }
        ok = fprintf(file, "%s %10d %s\n", hash, (int)entry->size, entry->name) >= 0;
    }
    // The data must be on disk before the rename makes it the manifest, or a
    // crash could leave an empty manifest in place of the old one.
    if (ok)
        ok = fflush(file) == 0 && fsync(fileno(file)) == 0;
    if (file && fclose(file) != 0)
        ok = 0;
    if (ok)
        ok = rename(temp_path.text(), path) == 0;
    if (!ok) {
        if (file)
            unlink(temp_path.text());
        text_buffer msg;
        msg.append("Error in qfu_file_manifest::save_file() - unable to save file '");
        msg.append(path);
        msg.append("'.");
        report(msg.text(), LOG_CLASS_FILE);
        return 0;
    }
    return 1;
}

qfu_manifest_entry *qfu_file_manifest::find(const char *name)
{
    if (!name)
        return nullptr;
    return (qfu_manifest_entry *)index.find_by_key(name);
}

int qfu_file_manifest::add_or_update(const qfu_manifest_entry *entry)
{
    if (!entry || !entry->name) {
        report("Error in qfu_file_manifest::add_or_update(), NULL entry or name.", LOG_CLASS_USAGE);
        return 0;
    }
    qfu_manifest_entry *known = find(entry->name);
    if (known) {
        if (!replace_hash(known, entry->hash)) {
            report("Error in qfu_file_manifest::add_or_update(), out of memory.", LOG_CLASS_RESOURCE);
            return 0;
        }
        known->size = entry->size;
        return 1;
    }
    qfu_manifest_entry *added = qfu_new_manifest_entry(entry->name, entry->hash, entry->size);
    if (!added)
        return 0;
    added->next = head;
    head = added;
    index.add(added);
    return 1;
}
