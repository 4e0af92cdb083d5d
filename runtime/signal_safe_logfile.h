// vexa_signal_safe_logfile: the debug log's writer over a raw descriptor. It
// formats nothing, allocates nothing and buffers nothing, so it may be called
// where library functions are unsafe (signal handlers), and it limits how deep
// its own failure reports may nest.
#ifndef QV_RUNTIME_SIGNAL_SAFE_LOGFILE_H
#define QV_RUNTIME_SIGNAL_SAFE_LOGFILE_H

// Nested write calls allowed before the recursion limiter refuses: bounds the
// chain of failure reports that a failing descriptor starts.
enum { LOGFILE_MAX_WRITE_DEPTH = 25 };
// Room for a decimal int with sign, with plenty to spare.
enum { LOGFILE_NUMBER_BUFFER_SIZE = 64 };

struct vexa_signal_safe_logfile {
    int fd;           // -1 when closed
    int depth;        // write calls in progress
    int write_failed; // 1 after a failed write was reported, 0 after a good one

    vexa_signal_safe_logfile() : fd(-1), depth(0), write_failed(0) {}

    // Closes a held descriptor, then opens path append-only (created 0644).
    // Returns 1 when a descriptor was obtained; the result (or -1) is stored.
    int open_file(const char *path);
    // Closes a held descriptor and stores dup(1). Returns 1 on success.
    int use_stdout();
    // Closes the held descriptor, if any.
    void close();
    // 1 while a descriptor is held.
    int is_open() const { return fd >= 0; }
    // One write system call of the text ("(null)" for null). Returns 1 when the
    // call did not fail, 0 on failure or when the nesting limit refuses it.
    int write(const char *text);
    // Writes value in signed decimal through write(). Returns write()'s result.
    int write_number(int value);
};

#endif
