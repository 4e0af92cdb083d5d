// Files and the updater lock: exact wrappers over stat, unlink, chdir and
// getcwd, and the exclusive lock file that keeps a second launcher from
// updating at the same time. Used by the manifest, the update run and the
// launch sequence.
#ifndef QV_RUNTIME_FILES_H
#define QV_RUNTIME_FILES_H

#include <stddef.h>
#include <stdint.h>

struct vexa_file_info {
    int is_directory;    // 1 for a directory
    int is_regular_file; // 1 for a regular file
    int64_t size;        // bytes (64-bit stat: files of 2 GiB and more measure right)
    int modified_time;   // seconds since the epoch
};

// 1 when stat succeeds on path (links followed).
int vexa_file_exists(const char *path);
// 1 when path is a directory.
int vexa_is_directory(const char *path);
// 1 when path is a regular file.
int vexa_is_regular_file(const char *path);
// Fills out and returns 1 when stat succeeds; 0 leaves out untouched. A null
// out is reported.
int vexa_filename_get_file_info(const char *path, vexa_file_info *out);

// Opens (creating, 0600) and locks path exclusively without waiting. Returns
// the locked descriptor, or -1 (nothing left open) when it is held elsewhere or
// cannot be opened. The descriptor is inherited across exec.
int vexa_lock_file(const char *path);
// Unlocks and closes fd. Returns 1 when the unlock succeeded; a negative fd
// returns 0. The descriptor is closed in any case.
int vexa_unlock_file(int fd);
// Takes the process-wide lock on path. Returns 1 when it is now held.
int vexa_acquire_global_lock(const char *path);
// Releases the process-wide lock: the unlock's result, or 0 when none is held.
int vexa_release_global_lock();

// The C library's unlink, chdir and getcwd with their results.
int vexa_unlink(const char *path);
int vexa_chdir(const char *path);
char *vexa_getcwd(char *buf, size_t size);

#endif
