// qfu_updater: the update engine. It keeps the local manifest that records
// which version of each managed file is installed, decides for an entry of
// the server's manifest whether the local copy is out of date (size or hash
// text differ, or no local entry), and downloads a list of files: each one
// over HTTP into a temporary file, checked against its listed size, then
// moved into place, with the local manifest updated and saved as it goes.
//
// Users: the executable update run drives it on the updater worker thread
// (set-up, load_local_manifest, needs_update, download_files); run_update
// does fetch, comparison and download in one call. Everything it has to say
// goes to the message callback; progress goes to two progress callbacks. It
// never touches the GUI. Not locked: one thread.
#ifndef QV_UPDATE_UPDATER_H
#define QV_UPDATE_UPDATER_H

#include "runtime/pointer_array.h"
#include "update/file_manifest.h"
#include "update/remote_manifest_fetch.h"

// Results of download_files and run_update.
enum {
    QFU_UPDATE_DONE = 0,            // the list was worked through
    QFU_NO_TEMPORARY_FILE = 1,      // no temporary file name
    QFU_NO_DESTINATION = 2,         // no destination directory
    QFU_NO_MANIFEST_FILE = 3,       // load_local_manifest was not called
    QFU_FETCH_FAILED = 4,           // the remote manifest could not be fetched
    QFU_UNWRITEABLE = 5,            // temporary file or destination unusable
    QFU_BAD_ARGUMENTS = 6           // a null host, root, list or manifest name (reported)
};

// A pending manifest change is saved once this many seconds have passed.
enum { QFU_SAVE_INTERVAL_SECONDS = 10 };
// Mode of every directory the engine creates.
enum { QFU_DIRECTORY_MODE = 0700 };
// Line buffer of load_exclude_manifest (fget_line).
enum { QFU_EXCLUDE_LINE_BUFFER_SIZE = 1024 };
// The update server's port unless set_port says otherwise.
enum { QFU_DEFAULT_PORT = 80 };

// Forwarded from the downloader for each file: body bytes and the announced
// length (-1 when none). The result is ignored.
typedef int (*qfu_transfer_progress_callback)(void *user_data, int received, int expected);
// Overall progress of download_files, in bytes of the listed sizes.
typedef void (*qfu_byte_progress_callback)(void *user_data, double bytes_done, double bytes_total);
// Receives every message of the engine as a finished text.
typedef void (*qfu_message_callback)(void *user_data, const char *text);
// The current time in whole seconds.
typedef long (*qfu_time_source)();

// One name of the exclude list.
struct qfu_exclude_name {
    char *name;              // owned
    qfu_exclude_name *next;
};

class qfu_updater {
public:
    qfu_exclude_name *exclude_list;   // names run_update never fetches
    qfu_file_manifest manifest;       // the local manifest
    char *manifest_file_name;         // owned or null
    char *temporary_file_name;        // owned or null
    char *destination_directory;      // owned or null
    int manifest_changed;             // an entry changed since the last save
    long reference_time;              // last save, or last tick with nothing pending
    int verbose;                      // progress notes go to the message callback too
    int pause_ms;                     // sleep after each file; 0 or less: none
    double current_file_bytes;        // bytes of the file being downloaded
    void *user_data;                  // first argument of the callbacks
    qfu_transfer_progress_callback transfer_progress_callback;
    qfu_byte_progress_callback byte_progress_callback;
    qfu_message_callback message_callback;
    double bytes_total;               // listed sizes of the files in download_files
    double bytes_done;                // listed sizes of the files attempted so far
    int port;                         // server port, QFU_DEFAULT_PORT
    qfu_time_source time_source;      // clock of the periodic save; time() by default

    qfu_updater();
    // Frees the texts and the exclude list and destroys the manifest.
    ~qfu_updater();
    qfu_updater(const qfu_updater &) = delete;
    qfu_updater &operator=(const qfu_updater &) = delete;

    void set_user_data(void *data) { user_data = data; }
    void set_transfer_progress_callback(qfu_transfer_progress_callback callback) { transfer_progress_callback = callback; }
    void set_byte_progress_callback(qfu_byte_progress_callback callback) { byte_progress_callback = callback; }
    void set_message_callback(qfu_message_callback callback) { message_callback = callback; }
    void set_verbose(int flag) { verbose = flag; }
    void set_pause_ms(int ms) { pause_ms = ms; }
    // Port of every request (plain HTTP, no TLS).
    void set_port(int port_number) { port = port_number; }
    // Replaces the clock of the periodic save (null: time() again).
    void set_time_source(qfu_time_source source);

    // Stores a copy of path (null stores none). 1 when path is given and
    // the directory exists or was created (mode 0700) and a file can be
    // created in it; else 0.
    int set_destination_directory(const char *path);
    // Stores a copy of path, creates the directories it names and creates
    // or truncates the file. 1 when that worked; 0 otherwise (null path: 0).
    int set_temporary_file(const char *path);
    // Remembers path as the manifest file (also on failure, so later saves
    // go there), loads it and prunes entries whose file is missing below the
    // destination directory. 1 when the file was read; 0 when it could not
    // be read or had a syntax error (entries before the bad line stay).
    int load_local_manifest(const char *path);
    // 1 when the remote entry's file must be fetched (no local entry, or
    // size or hash text differ), 0 when the local manifest has it (and for a
    // null entry, reported).
    int needs_update(const qfu_manifest_entry *remote);
    // Downloads and installs the entries of list (qfu_manifest_entry
    // pointers, owned by the caller) one after another from host, below the
    // root path. QFU_UPDATE_DONE when the list was worked through, whatever
    // became of single files; else the code of the check that failed, with
    // its message, and nothing downloaded. A failed manifest save ends the
    // process with status 1.
    int download_files(const char *host, const char *root, const pointer_array *list);
    // Appends the names of the exclude file (one a line; blank and "#" lines
    // skipped). 1 when the file was read, 0 when it could not be opened.
    int load_exclude_manifest(const char *path);
    // Fetches root + "/" + remote_manifest_name from host, selects every
    // entry that is not excluded and needs an update, and downloads them.
    // The codes of download_files, plus QFU_NO_MANIFEST_FILE and
    // QFU_FETCH_FAILED.
    int run_update(const char *host, const char *root, const char *remote_manifest_name);

    // The downloader's progress callback for each file (user data = the
    // engine): forwards to the transfer callback and makes progress ticks.
    static int file_progress_hook(void *user_data, int received, int expected);

private:
    void send(const char *text);
    long now();
    int check_temporary_file();
    int download_one_file(const char *host, const char *remote_path);
    void progress_tick();
    void periodic_save_check();
    void save_or_exit();
};

#endif
