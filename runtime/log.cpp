// Logging and the debug log file (see log.h).
#include "runtime/log.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "runtime/signal_safe_logfile.h"
#include "runtime/text_buffer.h"

int log_level = 1;

static int reports_enabled = 1;
static unsigned int suppressed_class_mask = 0;
static char *logfile_name = nullptr;
static char *autoopen_base_name = nullptr;
static int open_failed = 0;
static vexa_signal_safe_logfile the_logfile;

// Registered at static initialisation so the descriptor is released at exit.
static void close_logfile_at_exit()
{
    the_logfile.close();
}
static const int close_registered = atexit(close_logfile_at_exit);

static void replace_text(char **slot, const char *value)
{
    free(*slot);
    *slot = value ? strdup(value) : nullptr;
}

void log_message(const char *format, ...)
{
    if (!the_logfile.is_open()) {
        if (!open_failed)
            vexa_client_autoopen_debug_logfile();
        if (open_failed || !the_logfile.is_open())
            return;
    }
    char buf[LOG_MESSAGE_BUFFER_SIZE];
    va_list ap;
    va_start(ap, format);
    vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    the_logfile.write(buf);
}

void log_report(const char *text, int class_bits, int module)
{
    (void)module;
    if (!reports_enabled)
        return;
    unsigned int remaining = (unsigned int)class_bits & ~suppressed_class_mask;
    if (!remaining)
        return;
    int needed = (remaining & LOG_CLASS_CHATTER) ? 3 : 1;
    if (log_level < needed)
        return;
    log_message("%s\n", text);
}

void log_enable_reports()
{
    reports_enabled = 1;
}

void log_disable_reports()
{
    reports_enabled = 0;
}

void log_set_report_mask(unsigned int mask)
{
    suppressed_class_mask = mask;
}

void vexa_client_set_debug_logfile_name(const char *name)
{
    if (the_logfile.is_open()) {
        log_report("Error in vexa_client_set_debug_logfile_name(), logfile already open.", LOG_CLASS_USAGE,
                   LOG_MODULE_DEBUG_LOG);
        return;
    }
    replace_text(&autoopen_base_name, nullptr);
    open_failed = 0;
    replace_text(&logfile_name, name);
}

void vexa_client_set_autoopen_debug_logfile_name(const char *name)
{
    if (the_logfile.is_open()) {
        log_report("Error in vexa_client_set_autoopen_debug_logfile_name(), logfile already open.",
                   LOG_CLASS_USAGE, LOG_MODULE_DEBUG_LOG);
        return;
    }
    replace_text(&logfile_name, nullptr);
    open_failed = 0;
    replace_text(&autoopen_base_name, name);
}

void vexa_client_try_open_debug_logfile()
{
    if (the_logfile.is_open()) {
        log_report("Error in vexa_client_try_open_debug_logfile(), logfile already open.", LOG_CLASS_USAGE,
                   LOG_MODULE_DEBUG_LOG);
        return;
    }
    text_buffer msg;
    if (logfile_name) {
        if (the_logfile.open_file(logfile_name)) {
            open_failed = 0;
            msg.append("vexa_client_try_open_debug_logfile() opened logfile '");
            msg.append(logfile_name);
            msg.append("'");
        } else {
            // Dropped: nothing is open to take it.
            open_failed = 1;
            msg.append("vexa_client_try_open_debug_logfile() failed to open logfile '");
            msg.append(logfile_name);
            msg.append("'");
        }
    } else if (the_logfile.use_stdout()) {
        open_failed = 0;
        msg.append("vexa_client_try_open_debug_logfile() - using STDOUT.");
    } else {
        open_failed = 1;
        msg.append("vexa_client_try_open_debug_logfile() - unable to use STDOUT for log data.");
    }
    log_report(msg.text(), LOG_CLASS_CHATTER, LOG_MODULE_DEBUG_LOG);
}

int vexa_client_open_debug_logfile(const char *name)
{
    replace_text(&logfile_name, name);
    vexa_client_try_open_debug_logfile();
    return !open_failed;
}

int vexa_client_open_tmp_debug_logfile(const char *base)
{
    if (!base)
        return vexa_client_open_debug_logfile(nullptr);
    text_buffer path;
    path.append("/tmp/");
    path.append(base);
    return vexa_client_open_debug_logfile(path.text());
}

void vexa_client_autoopen_debug_logfile()
{
    if (the_logfile.is_open() || open_failed)
        return;
    if (logfile_name)
        vexa_client_try_open_debug_logfile();
    else
        vexa_client_open_tmp_debug_logfile(autoopen_base_name);
}

void vexa_client_debug_logfile_close()
{
    if (!the_logfile.is_open()) {
        log_report("Error in vexa_client_debug_logfile_close(), no logfile open.", LOG_CLASS_USAGE,
                   LOG_MODULE_DEBUG_LOG);
        return;
    }
    the_logfile.close();
    replace_text(&logfile_name, nullptr);
    replace_text(&autoopen_base_name, nullptr);
    open_failed = 0;
}

int vexa_client_debug_logfile_is_open()
{
    return the_logfile.is_open();
}

const char *vexa_client_get_debug_logfile_name()
{
    vexa_client_autoopen_debug_logfile();
    return logfile_name;
}

vexa_signal_safe_logfile *vexa_client_get_debug_logfile()
{
    vexa_client_autoopen_debug_logfile();
    return &the_logfile;
}

int vexa_client_get_debug_logfile_open_failed()
{
    vexa_client_autoopen_debug_logfile();
    return open_failed;
}

const char *vexa_client_get_autoopen_debug_logfile_name()
{
    return autoopen_base_name;
}
