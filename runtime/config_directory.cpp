// Configuration directory and directory creation (see config_directory.h).
#include "runtime/config_directory.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "runtime/log.h"
#include "runtime/text_buffer.h"

static char *config_directory_path = nullptr;

// A directory that somebody else owns, or that others may write into, could
// hold planted programs or links; the launcher executes from this directory,
// so such a candidate is refused. A missing one is fine: it is created 0700.
static int candidate_is_private(const char *path)
{
    struct stat st;
    if (stat(path, &st) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(st.st_mode))
        return 0;
    return st.st_uid == geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

int vexa_client_check_config_directory(const char *candidate)
{
    text_buffer msg;
    msg.append("Checking config directory: ");
    msg.append(candidate);
    // Checked before the write test, so no test file is ever opened inside a
    // planted directory, and again after it, for a directory that appeared
    // between the two.
    int ok = candidate_is_private(candidate) &&
             vexa_create_and_check_writeable_directory(candidate, 0700, nullptr) &&
             candidate_is_private(candidate);
    if (!ok)
        msg.append(" [FAIL]");
    log_report(msg.text(), LOG_CLASS_CHATTER, LOG_MODULE_CONFIG_DIR);
    return ok;
}

int vexa_client_set_up_config_directory(const char *base_name)
{
    if (!base_name)
        return 0;
    if (config_directory_path) {
        log_report("Error in vexa_client_set_up_config_directory(), attempt to change config directory path "
                   "after initial configuration.",
                   LOG_CLASS_USAGE, LOG_MODULE_CONFIG_DIR);
        text_buffer msg;
        msg.append("Old path '");
        msg.append(config_directory_path);
        msg.append("', new base name '");
        msg.append(base_name);
        msg.append("'");
        log_report(msg.text(), LOG_CLASS_CHATTER, LOG_MODULE_CONFIG_DIR);
    }
    const char *home = getenv("HOME");
    if (!home) {
        log_report("Error in vexa_client_set_up_config_directory(), unable to fetch home directory - please "
                   "set HOME environment variable and restart.",
                   LOG_CLASS_USAGE, LOG_MODULE_CONFIG_DIR);
        return 0;
    }
    text_buffer candidates[4];
    candidates[0].append(home);
    candidates[0].append("/.");
    candidates[0].append(base_name);
    candidates[1].append(".");
    candidates[1].append(base_name);
    candidates[2].append("/tmp/");
    candidates[2].append(base_name);
    candidates[3].append(base_name);
    for (text_buffer &c : candidates) {
        if (!vexa_client_check_config_directory(c.text()))
            continue;
        free(config_directory_path);
        config_directory_path = strdup(c.text());
        text_buffer msg;
        msg.append("vexa_client_set_up_config_directory() - got final config directory '");
        msg.append(c.text());
        msg.append("'");
        log_report(msg.text(), LOG_CLASS_CHATTER, LOG_MODULE_CONFIG_DIR);
        return 1;
    }
    log_report("vexa_client_set_up_config_directory() - Giving up.  Cannot create config directory.",
               LOG_CLASS_FILE, LOG_MODULE_CONFIG_DIR);
    return 0;
}

const char *vexa_client_get_config_directory()
{
    return config_directory_path;
}

int vexa_client_cd_to_config_directory()
{
    if (!config_directory_path)
        return 0;
    if (chdir(config_directory_path) == 0)
        return 1;
    const char *msg = nullptr;
    switch (errno) {
    case EACCES:
        msg = "Error in vexa_client_cd_to_config_directory(), failed due to access permissions.";
        break;
    case ENOTDIR:
        msg = "Error in vexa_client_cd_to_config_directory(), target path is not a directory.";
        break;
    case ENOENT:
        msg = "Error in vexa_client_cd_to_config_directory(), target path does not exist.";
        break;
    default:
        break;
    }
    if (msg)
        log_report(msg, LOG_CLASS_USAGE, LOG_MODULE_CONFIG_DIR);
    return 0;
}

int vexa_recursive_mkdir(const char *path, int mode, text_buffer *failed_path)
{
    if (!path) {
        log_report("Error in vexa_recursive_mkdir(), NULL path.", LOG_CLASS_USAGE, LOG_MODULE_UTIL);
        return 0;
    }
    text_buffer acc;
    const char *p = path;
    if (*p == '/' || *p == '\\') {
        acc.append_char('/');
        p++;
    }
    int component_start = acc.length;
    for (; *p; p++) {
        if (*p != '/' && *p != '\\') {
            acc.append_char(*p);
            continue;
        }
        if (acc.length == component_start)
            continue; // doubled separator
        if (mkdir(acc.text(), (mode_t)mode) != 0 && errno != EEXIST) {
            if (failed_path)
                failed_path->append(acc.text());
            return 0;
        }
        acc.append_char('/');
        component_start = acc.length;
    }
    return 1;
}

int vexa_create_and_check_writeable_directory(const char *path, int mode, text_buffer *failed_path)
{
    (void)mode;
    if (!path) {
        log_report("Error in vexa_create_and_check_writeable_directory(), NULL path.", LOG_CLASS_USAGE,
                   LOG_MODULE_UTIL);
        return 0;
    }
    text_buffer test_name;
    if (*path) {
        text_buffer dir;
        dir.append(path);
        dir.append("/");
        if (!vexa_recursive_mkdir(dir.text(), 0700, failed_path))
            return 0;
        test_name.append(path);
        test_name.append("/");
    }
    test_name.append(WRITE_TEST_FILE_NAME);
    FILE *f = fopen(test_name.text(), "wb");
    if (!f) {
        if (failed_path)
            failed_path->append(test_name.text());
        return 0;
    }
    fclose(f);
    unlink(test_name.text());
    return 1;
}
