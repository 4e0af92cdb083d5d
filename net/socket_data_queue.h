// vexa_socket_data_queue: a first-in first-out byte queue made of a chain of
// fixed-size buffers, between a socket and a protocol layer (the HTTP message
// processor writes request text into one and the downloader drains it towards
// the socket). Producers append bytes or texts at the end; consumers take
// blocks or lines from the front.
//
// Buffers that have been read out go back to one process-wide pool, from
// which new buffers are taken before anything is allocated; pool buffers are
// never freed, so a long-running connection settles into a fixed set. The pool
// is guarded by a mutex, so queues may live on different threads; each single
// queue is used by one thread at a time.
#ifndef QV_NET_SOCKET_DATA_QUEUE_H
#define QV_NET_SOCKET_DATA_QUEUE_H

struct text_buffer;

// Data bytes per buffer: with the three header fields a buffer is one
// 4084-byte heap block on 32-bit builds, small enough to recycle cheaply.
enum { SOCKET_QUEUE_BUFFER_DATA_SIZE = 4072 };

struct private_socket_queue_buffer {
    int write_count;                   // bytes stored, 0 to SOCKET_QUEUE_BUFFER_DATA_SIZE
    int read_position;                 // bytes taken out, 0 to write_count
    private_socket_queue_buffer *next; // following buffer of the queue or of the pool
    unsigned char data[SOCKET_QUEUE_BUFFER_DATA_SIZE];
};

struct vexa_socket_data_queue {
    private_socket_queue_buffer *head;         // oldest buffer, read here; null when none
    private_socket_queue_buffer *write_buffer; // last buffer while not full, else null
    int buffer_limit;                          // most buffers held; 0 or less: no limit
    int buffer_count;                          // buffers in the chain
    int full_flag;                             // 1 after a buffer was refused for the limit

    // An empty queue without a limit (-1).
    vexa_socket_data_queue();
    // Gives all buffers back to the pool.
    ~vexa_socket_data_queue();
    vexa_socket_data_queue(const vexa_socket_data_queue &) = delete;
    vexa_socket_data_queue &operator=(const vexa_socket_data_queue &) = delete;

    // Gives all buffers to the pool; the queue is empty again, limit kept.
    void clear();
    // Gives all buffers to the pool (the destructor's work; the queue is left
    // empty, so a later release or destruction does nothing more).
    void release();
    // Sets the most buffers the queue may hold (0 or less: no limit). Buffers
    // already held stay.
    void set_buffer_limit(int limit);
    // Appends a fresh buffer and makes it the write buffer. 1 on success; 0
    // when the limit is reached (full flag set) or memory ran out (reported).
    int try_create_new_buffer();
    // Appends one byte; 1 when stored, 0 when no buffer could be had.
    int put_byte(unsigned char byte);
    // Appends bytes in order until one is refused; the number stored.
    int write_block(const void *data, int length);
    // Appends a NUL-terminated text without its NUL; the number stored.
    int write_text(const char *text);
    // Moves up to size bytes into destination; the number moved, 0 when
    // nothing is unread. Read-out full buffers go back to the pool.
    int read_block(void *destination, int size);
    // Takes the next line out of the queue into destination (emptied first):
    // the characters stored, without the newline, which is consumed. A line
    // longer than the destination is cut there (reported); the rest stays.
    // Bytes of an unfinished line are taken out as well.
    int get_line(text_buffer *destination);
    // Copies all unread bytes into destination without consuming them. 1 when
    // all were copied (or the queue has no buffers, destination untouched);
    // 0 at a zero byte, when they do not fit, or when the head buffer is read
    // out.
    int copy_text_without_remove(text_buffer *destination);
    // Number of unread bytes.
    int bytes_available();
    // 1 when nothing is unread.
    int is_empty();
    // Bytes that can still be appended under the limit (read bytes of the
    // head still count as used), -1 without a limit (limit below 0).
    int get_remaining_space();

private:
    // Takes one byte from the front into *byte: 1 when a byte was taken, 0
    // when nothing is unread. who names the caller in consistency reports.
    int take_byte(unsigned char *byte, const char *who);
    // The head when it holds unread bytes; null otherwise, after the
    // "top buffer empty" warning when further buffers follow. who as above.
    private_socket_queue_buffer *readable_head(const char *who);
};

#endif
