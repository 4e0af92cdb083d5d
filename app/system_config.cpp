// Loading and saving the launcher's settings file (see system_config.h).
#include "app/system_config.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "app/launcher_state.h"
#include "runtime/config_directory.h"
#include "runtime/log.h"
#include "runtime/string_util.h"
#include "runtime/tagged_text.h"
#include "runtime/text_buffer.h"
#include "xml/xml_reader.h"
#include "xml/xml_writer.h"

// Buffers for the declaration line, tag texts and the version text; the file
// holds short single-line items only.
enum { SYSTEM_CONFIG_LINE_SIZE = 1000 };

// The launcher_version text of the last load, a heap copy; null when the file
// named none.
static char *loaded_version = nullptr;

static void set_loaded_version(const char *text)
{
    free(loaded_version);
    loaded_version = text ? strdup(text) : nullptr;
}

static void compose_config_file_path(text_buffer *path, const char *config_dir)
{
    path->clear();
    path->append(config_dir);
    path->append("/");
    path->append(SYSTEM_CONFIG_FILE_NAME);
}

// Reads the children of launcher_config up to its closing tag (or the end).
static void read_launcher_config(vexa_xml_reader *reader)
{
    char tag[SYSTEM_CONFIG_LINE_SIZE];
    while (reader->read_tag(tag, sizeof tag)) {
        if (word_equal(tag, "launcher_version")) {
            char version[SYSTEM_CONFIG_LINE_SIZE];
            version[0] = 0;
            reader->read_data(version, sizeof version);
            set_loaded_version(version);
        } else if (word_equal(tag, "beta_test_enable")) {
            reader->read_data(&beta_test_enable);
        } else {
            reader->skip_data();
        }
    }
}

void load_system_config_file()
{
    const char *config_dir = vexa_client_get_config_directory();
    if (!config_dir) {
        if (log_level > 0)
            log_message("Unable to load system config - no config file directory.\n");
        return;
    }
    set_loaded_version(nullptr);
    text_buffer path;
    compose_config_file_path(&path, config_dir);
    if (log_level > 2)
        log_message("load_system_config_file() - using core config file name '%s'.\n", path.text());

    FILE *file = fopen(path.text(), "rb");
    if (!file) {
        if (log_level > 0)
            log_message("Unable to load system config - cannot open config file '%s'.\n", path.text());
    } else {
        char line[SYSTEM_CONFIG_LINE_SIZE];
        line[0] = 0;
        fget_line(file, line, sizeof line);
        vexa_xml_file_reader reader(file);
        if (reader.check_xml_header_string(line)) {
            char tag[SYSTEM_CONFIG_LINE_SIZE];
            while (reader.read_tag(tag, sizeof tag)) {
                if (word_equal(tag, "launcher_config")) {
                    read_launcher_config(&reader);
                } else {
                    if (log_level > 0)
                        log_message("load_system_config_file() got unknown tag '%s'\n", tag);
                    reader.skip_data();
                }
            }
        } else if (log_level > 0) {
            log_message("Warning in load_system_config_file() - bad XML header, bailing.\n");
        }
        fclose(file);
    }

    if (!loaded_version || strcmp(loaded_version, LAUNCHER_VERSION) != 0)
        save_system_config_file();
}

// Writes the body after the declaration.
static void write_config_body(vexa_xml_writer *writer)
{
    char number[32];
    snprintf(number, sizeof number, "%d", beta_test_enable);
    writer->write_tag("launcher_config", 1, nullptr);
    writer->write_tag("launcher_version", 0, nullptr);
    writer->write_string(LAUNCHER_VERSION);
    writer->end_tag("launcher_version", 0);
    writer->write_tag("beta_test_enable", 0, nullptr);
    writer->write_string(number);
    writer->end_tag("beta_test_enable", 0);
    writer->end_tag("launcher_config", 1);
    writer->write_newline();
}

// Pushes the stream's data to the disk and closes it. 1 only when every write
// before, the flush and the close succeeded; the stream is closed either way.
static int finish_temporary_file(FILE *file)
{
    int ok = fflush(file) == 0 && !ferror(file);
    // A file system that cannot sync (EINVAL, EROFS) is no write failure.
    if (ok && fsync(fileno(file)) != 0 && errno != EINVAL && errno != EROFS)
        ok = 0;
    if (fclose(file) != 0)
        ok = 0;
    return ok;
}

static void log_write_failure(const text_buffer &path)
{
    if (log_level > 0)
        log_message("Error in save_system_config_file(), unable to write to system config file '%s'.\n",
                    path.text());
}

void save_system_config_file()
{
    const char *config_dir = vexa_client_get_config_directory();
    if (!config_dir) {
        if (log_level > 0)
            log_message("Unable to save system config - no config file directory.\n");
        return;
    }
    text_buffer path;
    compose_config_file_path(&path, config_dir);
    // Per process, so two launchers saving at once never share one.
    text_buffer temp_path;
    temp_path.append(path.text());
    temp_path.append_format(".%ld.tmp", (long)getpid());
    if (path.is_full() || temp_path.is_full()) {
        if (log_level > 0)
            log_message("Unable to save system config - cannot open config file '%s'.\n", path.text());
        return;
    }

    FILE *file = fopen(temp_path.text(), "wb");
    if (!file) {
        if (log_level > 0)
            log_message("Unable to save system config - cannot open config file '%s'.\n", path.text());
        return;
    }
    int ok;
    {
        vexa_xml_file_writer writer(file);
        ok = writer.write_header() > 0;
        if (ok) {
            if (log_level > 2)
                log_message("Saving system config to file '%s'.\n", path.text());
            write_config_body(&writer);
        }
    }
    if (!finish_temporary_file(file))
        ok = 0;
    fflush(nullptr);
    if (ok && rename(temp_path.text(), path.text()) != 0)
        ok = 0;
    if (!ok) {
        unlink(temp_path.text());
        log_write_failure(path);
    }
}
