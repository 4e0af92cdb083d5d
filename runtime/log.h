// Logging: every diagnostic line of the system goes through log_message or
// log_report into one sink, the debug log file (or a duplicate of standard
// output when no file was named). No timestamps, no prefixes: the log holds
// exactly the texts callers pass, each in one write call on an append-mode
// descriptor so lines of two threads never mix inside a message.
//
// Application code tests log_level itself and calls log_message; library code
// calls log_report with a class bit and a module number and lets it filter.
#ifndef QV_RUNTIME_LOG_H
#define QV_RUNTIME_LOG_H

struct vexa_signal_safe_logfile;

// Formatting buffer of log_message; longer output is cut to one byte less.
enum { LOG_MESSAGE_BUFFER_SIZE = 10240 };

// Message classes of log_report (one bit per call).
enum {
    LOG_CLASS_RESOURCE = 1,   // allocation, socket or thread creation failed
    LOG_CLASS_RUNTIME = 2,    // an operation failed at run time
    LOG_CLASS_USAGE = 4,      // wrong use by the caller
    LOG_CLASS_INTERNAL = 8,   // data structure diagnostics
    LOG_CLASS_FILE = 16,      // a file or directory was unusable
    LOG_CLASS_WRITE_DATA = 32,// inconsistent data found while writing a file
    LOG_CLASS_INPUT = 64,     // recoverable oddities in input
    LOG_CLASS_PROTOCOL = 128, // format or protocol level failures
    LOG_CLASS_CHATTER = 256   // progress notes, written at log_level 3 or more
};

// Module numbers of log_report (accepted and ignored by the filter).
enum {
    LOG_MODULE_UTIL = 1,
    LOG_MODULE_SOCKET = 2,
    LOG_MODULE_HTTP = 3,
    LOG_MODULE_TLS = 5,
    LOG_MODULE_XML = 6,
    LOG_MODULE_THREAD = 7,
    LOG_MODULE_BULK = 9,
    LOG_MODULE_LOGFILE = 10,
    LOG_MODULE_DOWNLOADER = 11,
    LOG_MODULE_MANIFEST = 12,
    LOG_MODULE_DEBUG_LOG = 70,
    LOG_MODULE_CONFIG_DIR = 71
};

// Process-wide verbosity; 1 at start, the launcher raises it to 3.
extern int log_level;

// printf-style, unconditional; the caller puts "\n" into the format. Opens the
// sink lazily; drops the message when it cannot be opened.
void log_message(const char *format, ...) __attribute__((format(printf, 1, 2)));
// Writes text + "\n" when reports are enabled, the class is not masked, and
// log_level allows it (class 256 needs 3, every other class 1).
void log_report(const char *text, int class_bits, int module);
void log_enable_reports();
void log_disable_reports();
// Replaces the mask of classes that log_report drops.
void log_set_report_mask(unsigned int mask);

// Names the log file (a copy is kept; null leaves none). Refused with a report
// while the log is open. Forgets the auto-open base name, clears the failed flag.
void vexa_client_set_debug_logfile_name(const char *name);
// The same for the base name that is opened under "/tmp/" when no name is set.
void vexa_client_set_autoopen_debug_logfile_name(const char *name);
// Opens the sink now: the named file, else standard output. Sets or clears the
// open-failed flag; reports an error if already open.
void vexa_client_try_open_debug_logfile();
// Names the file (null: none, so standard output) and opens it. Returns 1 when
// the open-failed flag is clear afterwards.
int vexa_client_open_debug_logfile(const char *name);
// Opens "/tmp/" + base, or standard output for a null base. Returns as above.
int vexa_client_open_tmp_debug_logfile(const char *base);
// Opens the sink unless it is open or the last open failed.
void vexa_client_autoopen_debug_logfile();
// Closes the sink and forgets both names and the failed flag; reports an error
// when nothing is open.
void vexa_client_debug_logfile_close();
// 1 when the sink holds a descriptor.
int vexa_client_debug_logfile_is_open();
// Accessors; the first three open the sink first (as any message would).
const char *vexa_client_get_debug_logfile_name();
vexa_signal_safe_logfile *vexa_client_get_debug_logfile();
int vexa_client_get_debug_logfile_open_failed();
const char *vexa_client_get_autoopen_debug_logfile_name();

#endif
