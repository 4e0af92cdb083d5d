// Update engine (see updater.h).
#include "update/updater.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>

#include "http/http_downloader.h"
#include "runtime/config_directory.h"
#include "runtime/log.h"
#include "runtime/tagged_text.h"
#include "runtime/text_buffer.h"
#include "runtime/thread.h"

static long system_time()
{
    return (long)time(nullptr);
}

// Replaces *field with a heap copy of text (null: none). 0 when the copy
// could not be allocated (reported; the field is then none).
static int store_text(char **field, const char *text)
{
    free(*field);
    *field = nullptr;
    if (!text)
        return 1;
    *field = strdup(text);
    if (!*field) {
        log_report("Error in qfu_updater, out of memory.", LOG_CLASS_RESOURCE, LOG_MODULE_MANIFEST);
        return 0;
    }
    return 1;
}

// A name that could reach outside the destination directory (a ".."
// component, "/" and "\" both separating) or that holds a control character
// is never written. An empty name names the directory itself.
static int name_is_unsafe(const char *name)
{
    const unsigned char *p = (const unsigned char *)name;
    if (!*p)
        return 1;
    const unsigned char *component = p;
    for (;; p++) {
        if (*p == '/' || *p == '\\' || *p == 0) {
            if (p - component == 2 && component[0] == '.' && component[1] == '.')
                return 1;
            if (*p == 0)
                return 0;
            component = p + 1;
        } else if (*p < 32 || *p == 127) {
            return 1;
        }
    }
}

static int texts_equal(const char *a, const char *b)
{
    if (!a || !b)
        return a == b;
    return strcmp(a, b) == 0;
}

qfu_updater::qfu_updater()
    : exclude_list(nullptr), manifest_file_name(nullptr), temporary_file_name(nullptr),
      destination_directory(nullptr), manifest_changed(0), reference_time(0), verbose(0), pause_ms(0),
      current_file_bytes(0), user_data(nullptr), transfer_progress_callback(nullptr),
      byte_progress_callback(nullptr), message_callback(nullptr), bytes_total(0), bytes_done(0),
      port(QFU_DEFAULT_PORT), time_source(system_time)
{
}

qfu_updater::~qfu_updater()
{
    free(manifest_file_name);
    free(temporary_file_name);
    free(destination_directory);
    while (exclude_list) {
        qfu_exclude_name *next = exclude_list->next;
        free(exclude_list->name);
        free(exclude_list);
        exclude_list = next;
    }
}

void qfu_updater::set_time_source(qfu_time_source source)
{
    time_source = source ? source : system_time;
}

void qfu_updater::send(const char *text)
{
    if (message_callback)
        message_callback(user_data, text);
}

long qfu_updater::now()
{
    return time_source();
}

int qfu_updater::set_destination_directory(const char *path)
{
    store_text(&destination_directory, path);
    return destination_directory &&
           vexa_create_and_check_writeable_directory(destination_directory, QFU_DIRECTORY_MODE, nullptr);
}

int qfu_updater::set_temporary_file(const char *path)
{
    store_text(&temporary_file_name, path);
    return check_temporary_file();
}

int qfu_updater::check_temporary_file()
{
    if (!temporary_file_name)
        return 0;
    if (!vexa_recursive_mkdir(temporary_file_name, QFU_DIRECTORY_MODE, nullptr))
        return 0;
    FILE *file = fopen(temporary_file_name, "wb");
    if (!file)
        return 0;
    return fclose(file) == 0;
}

int qfu_updater::load_local_manifest(const char *path)
{
    store_text(&manifest_file_name, path);
    if (!manifest_file_name)
        return 0;
    int loaded = manifest.load_file(manifest_file_name);
    if (loaded < 0)
        return 0;
    text_buffer msg;
    if (verbose) {
        msg.append_format("Loaded %d entries from current manifest file '", loaded);
        msg.append(manifest_file_name);
        msg.append("'.");
        send(msg.text());
    }
    int kept = manifest.prune_missing(destination_directory);
    if (kept < loaded && verbose) {
        msg.clear();
        msg.append_format("Some files were deleted.  Only %d entries remain.", kept);
        send(msg.text());
    }
    return 1;
}

int qfu_updater::needs_update(const qfu_manifest_entry *remote)
{
    if (!remote || !remote->name) {
        log_report("Error in qfu_updater::needs_update(), NULL entry.", LOG_CLASS_USAGE, LOG_MODULE_MANIFEST);
        return 0;
    }
    const qfu_manifest_entry *local = manifest.find(remote->name);
    text_buffer msg;
    if (!local) {
        if (verbose) {
            msg.append("File '");
            msg.append(remote->name);
            msg.append("' missing, should update.");
            send(msg.text());
        }
        return 1;
    }
    if (local->size == remote->size && texts_equal(local->hash, remote->hash))
        return 0;
    if (verbose) {
        msg.append_format("Expected %8d, ", (int)remote->size);
        msg.append(remote->hash);
        send(msg.text());
        msg.clear();
        msg.append_format("Previous %8d, ", (int)local->size);
        msg.append(local->hash);
        msg.append(" - file '");
        msg.append(local->name);
        msg.append("'");
        send(msg.text());
    }
    return 1;
}

static void file_message(text_buffer *msg, const char *name, const char *problem)
{
    msg->clear();
    msg->append("Unable to update file '");
    msg->append(name);
    msg->append("' - ");
    msg->append(problem);
}

int qfu_updater::download_files(const char *host, const char *root, const pointer_array *list)
{
    if (!host || !root || !list) {
        log_report("Error in qfu_updater::download_files(), NULL host, root or list.", LOG_CLASS_USAGE,
                   LOG_MODULE_MANIFEST);
        return QFU_BAD_ARGUMENTS;
    }
    if (!temporary_file_name) {
        send("No temporary download filename set.");
        return QFU_NO_TEMPORARY_FILE;
    }
    if (!check_temporary_file()) {
        send("Temporary file unwriteable.");
        return QFU_UNWRITEABLE;
    }
    if (!destination_directory) {
        send("No destination path set to store downloaded files.");
        return QFU_NO_DESTINATION;
    }
    if (!vexa_create_and_check_writeable_directory(destination_directory, QFU_DIRECTORY_MODE, nullptr)) {
        send("Download base path appears to be unwriteable.");
        return QFU_UNWRITEABLE;
    }
    // Every installed file is recorded and saved; without a manifest file
    // the first save would end the process after the downloads.
    if (!manifest_file_name) {
        send("No manifest filename set.");
        return QFU_NO_MANIFEST_FILE;
    }

    bytes_total = 0;
    bytes_done = 0;
    current_file_bytes = 0;
    for (int i = 0; i < list->count; i++) {
        const qfu_manifest_entry *entry = (const qfu_manifest_entry *)list->at(i);
        if (entry && entry->name)
            bytes_total += entry->size;
    }
    reference_time = now();
    manifest_changed = 0;

    text_buffer msg;
    for (int i = 0; i < list->count; i++) {
        const qfu_manifest_entry *entry = (const qfu_manifest_entry *)list->at(i);
        if (!entry || !entry->name) {
            log_report("Error in qfu_updater::download_files(), NULL entry in list.", LOG_CLASS_USAGE,
                       LOG_MODULE_MANIFEST);
            continue;
        }
        const char *name = entry->name;
        text_buffer local_path;
        if (*destination_directory) {
            local_path.append(destination_directory);
            local_path.append("/");
        }
        local_path.append(name);
        text_buffer remote_path;
        remote_path.append(root);
        if (name[0] != '/')
            remote_path.append("/");
        remote_path.append(name);

        if (verbose) {
            msg.clear();
            msg.append("Updating file '");
            msg.append(name);
            msg.append("'.");
            send(msg.text());
        }
        // A path cut at the buffer's limit would name some other file.
        if (name_is_unsafe(name) || local_path.is_full() || remote_path.is_full()) {
            file_message(&msg, name, "unsafe file name.");
            send(msg.text());
            continue;
        }
        if (!vexa_recursive_mkdir(local_path.text(), QFU_DIRECTORY_MODE, nullptr)) {
            file_message(&msg, name, "cannot create directory.");
            send(msg.text());
            continue;
        }

        int ok = download_one_file(host, remote_path.text());
        bytes_done += entry->size;
        if (verbose) {
            msg.clear();
            msg.append_format("Received %10.0f / %10.0f bytes.", bytes_done, bytes_total);
            send(msg.text());
        }
        // A file cut short, or longer than listed, is not the listed file.
        struct stat st;
        if (ok && (stat(temporary_file_name, &st) != 0 || st.st_size != (off_t)entry->size))
            ok = 0;

        if (!ok) {
            file_message(&msg, name, "download failed.");
            send(msg.text());
        } else {
            // The new file replaces the old one in one rename, so a failure
            // never leaves the player without the old file.
            struct stat old_st;
            int old_exists = lstat(local_path.text(), &old_st) == 0;
            if (rename(temporary_file_name, local_path.text()) != 0) {
                int e = errno;
                int cannot_remove = old_exists && (e == EACCES || e == EPERM || e == EISDIR || e == EBUSY ||
                                                   e == EROFS || e == ENOTEMPTY || e == EEXIST || e == ETXTBSY);
                file_message(&msg, name, cannot_remove ? "cannot remove old version." : "cannot write new version.");
                send(msg.text());
            } else {
                manifest.add_or_update(entry);
                manifest_changed = 1;
                progress_tick();
            }
        }
        if (pause_ms > 0)
            sleep_ms(pause_ms);
    }

    if (manifest_changed) {
        if (verbose)
            send("Saving file manifest due to completion.");
        save_or_exit();
    }
    return QFU_UPDATE_DONE;
}

int qfu_updater::download_one_file(const char *host, const char *remote_path)
{
    vexa_http_downloader downloader;
    downloader.set_progress_callback(file_progress_hook, this);
    downloader.set_connection(host, port, 0); // a failed lookup makes download refuse
    if (verbose) {
        text_buffer msg;
        msg.append("Starting download of file '");
        msg.append(remote_path);
        msg.append("'.");
        send(msg.text());
    }
    return downloader.download(host, remote_path, temporary_file_name) == 1;
}

int qfu_updater::file_progress_hook(void *user_data, int received, int expected)
{
    qfu_updater *engine = (qfu_updater *)user_data;
    if (!engine)
        return 0;
    if (engine->transfer_progress_callback)
        engine->transfer_progress_callback(engine->user_data, received, expected);
    if (received == expected) {
        engine->current_file_bytes = 0;
        return 0;
    }
    engine->current_file_bytes = received;
    engine->progress_tick();
    return 0;
}

void qfu_updater::progress_tick()
{
    periodic_save_check();
    if (byte_progress_callback)
        byte_progress_callback(user_data, bytes_done + current_file_bytes, bytes_total);
}

void qfu_updater::periodic_save_check()
{
    long t = now();
    if (!manifest_changed) {
        reference_time = t;
        return;
    }
    if (t <= reference_time + QFU_SAVE_INTERVAL_SECONDS)
        return;
    if (verbose)
        send("Saving file manifest.");
    save_or_exit();
}

void qfu_updater::save_or_exit()
{
    if (!manifest.save_file(manifest_file_name)) {
        send("Error - unable to save manifest file.  Bailing out.");
        exit(1);
    }
    manifest_changed = 0;
    reference_time = now();
}

int qfu_updater::load_exclude_manifest(const char *path)
{
    if (!path)
        return 0;
    FILE *file = fopen(path, "rb");
    if (!file)
        return 0;
    qfu_exclude_name **tail = &exclude_list;
    while (*tail)
        tail = &(*tail)->next;
    int count = 0;
    char line[QFU_EXCLUDE_LINE_BUFFER_SIZE];
    while (fget_line(file, line, (int)sizeof line) > 0) {
        const char *p = line;
        while (*p == ' ' || *p == '\t')
            p++;
        if (*p == 0 || *p == '#')
            continue;
        qfu_exclude_name *item = (qfu_exclude_name *)malloc(sizeof(qfu_exclude_name));
        char *name = strdup(p);
        if (!item || !name) {
            free(item);
            free(name);
            log_report("Error in qfu_updater::load_exclude_manifest(), out of memory.", LOG_CLASS_RESOURCE,
                       LOG_MODULE_MANIFEST);
            break;
        }
        item->name = name;
        item->next = nullptr;
        *tail = item;
        tail = &item->next;
        count++;
    }
    fclose(file);
    if (verbose) {
        text_buffer msg;
        msg.append_format("Loaded %d entries from current exclude manifest file '", count);
        msg.append(path);
        msg.append("'.");
        send(msg.text());
    }
    return 1;
}

int qfu_updater::run_update(const char *host, const char *root, const char *remote_manifest_name)
{
    if (!host || !root || !remote_manifest_name) {
        log_report("Error in qfu_updater::run_update(), NULL host, root or manifest name.", LOG_CLASS_USAGE,
                   LOG_MODULE_MANIFEST);
        return QFU_BAD_ARGUMENTS;
    }
    if (!manifest_file_name) {
        send("No manifest filename set.");
        return QFU_NO_MANIFEST_FILE;
    }
    if (!temporary_file_name) {
        send("No temporary download filename set.");
        return QFU_NO_TEMPORARY_FILE;
    }
    if (!destination_directory) {
        send("No destination path set to store downloaded files.");
        return QFU_NO_DESTINATION;
    }

    http_fetch_remote_manifest_data fetch;
    fetch.set_port(port);
    fetch.set_progress_user_data(user_data);
    fetch.set_progress_callback(transfer_progress_callback);
    text_buffer path;
    path.append(root);
    path.append("/");
    path.append(remote_manifest_name);
    text_buffer msg;
    int fetched = fetch.fetch(host, path.text());
    if (fetched < 0) {
        msg.append("Error fetching update file '");
        msg.append(remote_manifest_name);
        msg.append("' from remote server, aborting update.");
        send(msg.text());
        return QFU_FETCH_FAILED;
    }
    if (verbose) {
        msg.append_format("Retrieved %d records from remote server.", fetched);
        send(msg.text());
    }

    pointer_array list;
    for (qfu_manifest_entry *entry = fetch.get_head(); entry; entry = entry->next) {
        int excluded = 0;
        for (const qfu_exclude_name *x = exclude_list; x && !excluded; x = x->next)
            excluded = strcmp(x->name, entry->name) == 0;
        if (excluded) {
            msg.clear();
            msg.append("Skipping file '");
            msg.append(entry->name);
            msg.append("'.");
            send(msg.text());
        } else if (needs_update(entry)) {
            list.append(entry);
        }
    }
    if (list.count == 0) {
        if (verbose)
            send("Everything appears to be up to date already.");
        return QFU_UPDATE_DONE;
    }
    msg.clear();
    if (list.count == 1)
        msg.append("One file to update.");
    else
        msg.append_format("%d files to update.", list.count);
    send(msg.text());
    return download_files(host, root, &list);
}
