// Files and the updater lock (see files.h).
#include "runtime/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "runtime/log.h"

// The platform's stat is 64-bit here (x86_64, and _FILE_OFFSET_BITS=64
// elsewhere), so large files get their true size instead of failing.
static_assert(sizeof(off_t) == 8, "64-bit file sizes are required");

int vexa_file_exists(const char *path)
{
    struct stat st;
    return path && stat(path, &st) == 0;
}

int vexa_is_directory(const char *path)
{
    struct stat st;
    return path && stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

int vexa_is_regular_file(const char *path)
{
    struct stat st;
    return path && stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

int vexa_filename_get_file_info(const char *path, vexa_file_info *out)
{
    if (!out) {
        log_report("Error in vexa_filename_get_file_info(), NULL dest.", LOG_CLASS_USAGE, LOG_MODULE_UTIL);
        return 0;
    }
    struct stat st;
    if (!path || stat(path, &st) != 0)
        return 0;
    out->is_directory = S_ISDIR(st.st_mode) ? 1 : 0;
    out->is_regular_file = S_ISREG(st.st_mode) ? 1 : 0;
    out->size = (int64_t)st.st_size;
    out->modified_time = (int)st.st_mtime;
    return 1;
}

int vexa_lock_file(const char *path)
{
    int fd = open(path, O_RDWR | O_CREAT, 0600);
    if (fd < 0)
        return -1;
    if (lockf(fd, F_TLOCK, 0) == 0)
        return fd;
    close(fd);
    return -1;
}

int vexa_unlock_file(int fd)
{
    if (fd < 0)
        return 0;
    int ok = lockf(fd, F_ULOCK, 0) == 0;
    close(fd);
    return ok;
}

static int global_lock_held = 0;
static int global_lock_fd = -1;

int vexa_acquire_global_lock(const char *path)
{
    global_lock_held = 1;
    global_lock_fd = vexa_lock_file(path);
    if (global_lock_fd == -1)
        global_lock_held = 0;
    return global_lock_held;
}

int vexa_release_global_lock()
{
    if (!global_lock_held)
        return 0;
    int result = vexa_unlock_file(global_lock_fd);
    global_lock_held = 0;
    return result;
}

int vexa_unlink(const char *path)
{
    return unlink(path);
}

int vexa_chdir(const char *path)
{
    return chdir(path);
}

char *vexa_getcwd(char *buf, size_t size)
{
    return getcwd(buf, size);
}
