// vexa_signal_safe_logfile: raw-descriptor log writer (see signal_safe_logfile.h).
#include "runtime/signal_safe_logfile.h"

#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include "runtime/log.h"

int vexa_signal_safe_logfile::open_file(const char *path)
{
    close();
    fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND, 0644);
    return fd >= 0;
}

int vexa_signal_safe_logfile::use_stdout()
{
    close();
    fd = ::dup(1);
    return fd >= 0;
}

void vexa_signal_safe_logfile::close()
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

int vexa_signal_safe_logfile::write(const char *text)
{
    if (depth > LOGFILE_MAX_WRITE_DEPTH)
        return 0;
    if (depth == LOGFILE_MAX_WRITE_DEPTH) {
        // The limiter's own report meets a depth above the limit and is
        // refused, which ends the chain here.
        depth++;
        log_report("Error in vexa_signal_safe_logfile::write(), recursion limiter triggered.",
                   LOG_CLASS_RUNTIME, LOG_MODULE_LOGFILE);
        depth--;
        return 0;
    }
    depth++;
    if (!text)
        text = "(null)";
    ssize_t n = ::write(fd, text, strlen(text));
    if (n >= 0) {
        write_failed = 0;
        depth--;
        return 1;
    }
    if (!write_failed) {
        log_report("Error in vexa_signal_safe_logfile::write(), write failed.", LOG_CLASS_RUNTIME,
                   LOG_MODULE_LOGFILE);
        write_failed = 1;
    }
    depth--;
    return 0;
}

// Appends the decimal digits of value, most significant first. Works on the
// remainders' absolute values so that the most negative int converts too.
static char *put_digits(char *p, int value)
{
    if (value / 10 != 0)
        p = put_digits(p, value / 10);
    int digit = value % 10;
    *p++ = (char)('0' + (digit < 0 ? -digit : digit));
    return p;
}

int vexa_signal_safe_logfile::write_number(int value)
{
    char buf[LOGFILE_NUMBER_BUFFER_SIZE];
    char *p = buf;
    if (value < 0)
        *p++ = '-';
    p = put_digits(p, value);
    *p = 0;
    return write(buf);
}
