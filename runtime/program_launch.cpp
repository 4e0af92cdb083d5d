// Program launching (see program_launch.h).
#include "runtime/program_launch.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "runtime/log.h"
#include "runtime/text_buffer.h"

// Reports "<formatted text> Filename: <path>" as a run-time failure.
static void report_with_filename(const char *text, const char *path)
{
    text_buffer msg;
    msg.append(text);
    msg.append(" Filename: ");
    msg.append(path);
    log_report(msg.text(), LOG_CLASS_RUNTIME, LOG_MODULE_UTIL);
}

static void report_call_failure(const char *format, int result, int error, const char *path)
{
    char buf[LAUNCH_FORMAT_BUFFER_SIZE];
    snprintf(buf, sizeof buf, format, result, error);
    report_with_filename(buf, path);
}

void vexa_boot_exec(const char *path, char *const argv[])
{
    int rc = chmod(path, 0700);
    if (rc != 0) {
        report_call_failure("Error in vexa_boot_exec(), chmod failed.  Return code %d, error code %d.", rc, errno,
                            path);
        return;
    }
    text_buffer msg;
    msg.append("vexa_boot_exec() - trying to boot image '");
    msg.append(path);
    msg.append("'");
    log_report(msg.text(), LOG_CLASS_CHATTER, LOG_MODULE_UTIL);
    fflush(nullptr);
    rc = execv(path, argv);
    report_call_failure("Error in vexa_boot_exec(), exec failed.  Return code %d, error code %d.", rc, errno, path);
    fflush(nullptr);
}

int vexa_fork_exec(const char *path, char *const argv[])
{
    int rc = chmod(path, 0700);
    if (rc != 0) {
        report_call_failure("Error in vexa_fork_exec(), chmod failed.  Return code %d, error code %d.", rc, errno,
                            path);
        return 0;
    }
    text_buffer msg;
    msg.append("vexa_fork_exec() - trying to run image '");
    msg.append(path);
    msg.append("'");
    log_report(msg.text(), LOG_CLASS_CHATTER, LOG_MODULE_UTIL);
    fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0) {
        report_call_failure("Error in vexa_fork_exec(), fork failed.  Return code %d, error code %d.", (int)pid,
                            errno, path);
        fflush(nullptr);
        return 0;
    }
    if (pid > 0)
        return 1;
    setsid();
    rc = execv(path, argv);
    report_call_failure("Error in vexa_fork_exec(), exec failed.  Return code %d, error code %d.", rc, errno, path);
    fflush(nullptr);
    exit(1);
}

int vexa_is_boot_file_bad(const char *path)
{
    FILE *f = fopen(path, "rb");
    if (!f) {
        text_buffer msg;
        msg.append("vexa_is_boot_file_bad() - cannot open image file '");
        msg.append(path);
        msg.append("'.");
        log_report(msg.text(), LOG_CLASS_CHATTER, LOG_MODULE_UTIL);
        return 1;
    }
    fseek(f, 0, SEEK_END);
    long size = ftell(f);
    fclose(f);
    if (size >= BOOT_FILE_MIN_SIZE)
        return 0;
    text_buffer msg;
    msg.append("vexa_is_boot_file_bad() - image '");
    msg.append(path);
    msg.append("' is too small to be valid.");
    log_report(msg.text(), LOG_CLASS_RUNTIME, LOG_MODULE_UTIL);
    return 1;
}

// The address goes between double quotes on a shell command line; these are
// the characters the shell still interprets there, and control characters
// that have no business in an address.
static int address_is_shell_safe(const char *address)
{
    for (const unsigned char *p = (const unsigned char *)address; *p; p++) {
        if (*p == '"' || *p == '$' || *p == '`' || *p == '\\' || *p < 32 || *p == 127)
            return 0;
    }
    return 1;
}

int vexa_http_fork(const char *address)
{
    if (!address || !address_is_shell_safe(address)) {
        log_report("Error in vexa_http_fork(), address holds characters that are unsafe on a shell command "
                   "line, refused.",
                   LOG_CLASS_RUNTIME, LOG_MODULE_UTIL);
        return 0;
    }
    char command[LAUNCH_FORMAT_BUFFER_SIZE];
    snprintf(command, sizeof command, "firefox \"%s\"", address);
    int status = system(command);
    if (status < 0) {
        if (errno == ECHILD)
            return 1;
        text_buffer msg;
        msg.append_format("vexa_http_fork() failed with errno %d.", errno);
        log_report(msg.text(), LOG_CLASS_RUNTIME, LOG_MODULE_UTIL);
        return 0;
    }
    return (status & 0x7f) == 0;
}
