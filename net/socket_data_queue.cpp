// Chained-buffer byte queue and its process-wide buffer pool (see
// socket_data_queue.h).
#include "net/socket_data_queue.h"

#include <limits.h>
#include <pthread.h>
#include <stdlib.h>
#include <string.h>

#include "runtime/log.h"
#include "runtime/text_buffer.h"

namespace {

// Free buffers of every queue of the process, linked through next. Only
// buffer hand-overs take the lock; appends and reads within a buffer do not.
private_socket_queue_buffer *pool_head = nullptr;
pthread_mutex_t pool_mutex = PTHREAD_MUTEX_INITIALIZER;

// A reset buffer from the pool, or a new one; null when memory ran out.
private_socket_queue_buffer *get_buffer()
{
    pthread_mutex_lock(&pool_mutex);
    private_socket_queue_buffer *b = pool_head;
    if (b)
        pool_head = b->next;
    pthread_mutex_unlock(&pool_mutex);
    if (!b) {
        b = (private_socket_queue_buffer *)malloc(sizeof(private_socket_queue_buffer));
        if (!b)
            return nullptr;
    }
    b->write_count = 0;
    b->read_position = 0;
    b->next = nullptr;
    b->data[0] = 0;
    return b;
}

// Puts every buffer of a chain onto the front of the pool.
void give_chain_to_pool(private_socket_queue_buffer *chain)
{
    pthread_mutex_lock(&pool_mutex);
    while (chain) {
        private_socket_queue_buffer *next = chain->next;
        chain->next = pool_head;
        pool_head = chain;
        chain = next;
    }
    pthread_mutex_unlock(&pool_mutex);
}

// Reports "<kind> in vexa_socket_data_queue::<operation>(), <problem>".
void report_queue(const char *kind, const char *operation, const char *problem, int class_bits)
{
    text_buffer msg;
    msg.append(kind);
    msg.append(" in vexa_socket_data_queue::");
    msg.append(operation);
    msg.append("(), ");
    msg.append(problem);
    log_report(msg.text(), class_bits, LOG_MODULE_SOCKET);
}

// Text buffers count as full once they hold more than this many characters.
const int destination_full_length = TEXT_BUFFER_MAX_CHARS - 1;

} // namespace

vexa_socket_data_queue::vexa_socket_data_queue()
    : head(nullptr), write_buffer(nullptr), buffer_limit(-1), buffer_count(0), full_flag(0)
{
}

vexa_socket_data_queue::~vexa_socket_data_queue()
{
    release();
}

void vexa_socket_data_queue::release()
{
    give_chain_to_pool(head);
    head = nullptr;
    write_buffer = nullptr;
    buffer_count = 0;
}

void vexa_socket_data_queue::clear()
{
    release();
    full_flag = 0;
}

void vexa_socket_data_queue::set_buffer_limit(int limit)
{
    buffer_limit = limit;
}

int vexa_socket_data_queue::try_create_new_buffer()
{
    if (buffer_limit > 0 && buffer_count >= buffer_limit) {
        full_flag = 1;
        return 0;
    }
    private_socket_queue_buffer *b = get_buffer();
    if (!b) {
        log_report("Error in vexa_socket_data_queue::try_create_new_buffer(), memory allocation fail in "
                   "private_socket_queue_buffer::get_buffer().",
                   LOG_CLASS_RESOURCE, LOG_MODULE_SOCKET);
        return 0;
    }
    full_flag = 0;
    write_buffer = b;
    if (!head) {
        head = b;
    } else {
        private_socket_queue_buffer *last = head;
        while (last->next)
            last = last->next;
        last->next = b;
    }
    buffer_count++;
    return 1;
}

int vexa_socket_data_queue::put_byte(unsigned char byte)
{
    if (!write_buffer) {
        try_create_new_buffer();
        if (!write_buffer)
            return 0;
    }
    write_buffer->data[write_buffer->write_count++] = byte;
    if (write_buffer->write_count >= SOCKET_QUEUE_BUFFER_DATA_SIZE)
        write_buffer = nullptr;
    return 1;
}

int vexa_socket_data_queue::write_block(const void *data, int length)
{
    if (!data) {
        log_report("Error in vexa_socket_data_queue::write_block(), NULL data?", LOG_CLASS_USAGE, LOG_MODULE_SOCKET);
        return 0;
    }
    const unsigned char *bytes = (const unsigned char *)data;
    int stored = 0;
    while (stored < length && put_byte(bytes[stored]))
        stored++;
    return stored;
}

int vexa_socket_data_queue::write_text(const char *text)
{
    if (!text) {
        log_report("Error in vexa_socket_data_queue::write_text(), NULL text?", LOG_CLASS_USAGE, LOG_MODULE_SOCKET);
        return 0;
    }
    int stored = 0;
    while (text[stored] && put_byte((unsigned char)text[stored]))
        stored++;
    return stored;
}

private_socket_queue_buffer *vexa_socket_data_queue::readable_head(const char *who)
{
    if (!head)
        return nullptr;
    if (head->read_position == head->write_count) {
        if (head->next)
            report_queue("Warning", who, "top buffer empty in list of other buffers.", LOG_CLASS_USAGE);
        return nullptr;
    }
    return head;
}

// A full buffer has been read out: it leaves the chain for the pool.
static void recycle_head(vexa_socket_data_queue *q)
{
    private_socket_queue_buffer *b = q->head;
    q->head = b->next;
    if (q->write_buffer == b)
        q->write_buffer = nullptr;
    b->next = nullptr;
    give_chain_to_pool(b);
    q->buffer_count--;
    q->full_flag = 0;
}

int vexa_socket_data_queue::take_byte(unsigned char *byte, const char *who)
{
    private_socket_queue_buffer *b = head;
    if (!b || b->read_position >= b->write_count)
        return 0;
    *byte = b->data[b->read_position++];
    if (b->read_position == b->write_count) {
        if (b->read_position >= SOCKET_QUEUE_BUFFER_DATA_SIZE)
            recycle_head(this);
        else if (b->next)
            report_queue("Warning", who, "more buffers in list than expected.", LOG_CLASS_USAGE);
    }
    return 1;
}

int vexa_socket_data_queue::read_block(void *destination, int size)
{
    if (!destination) {
        log_report("Error in vexa_socket_data_queue::read_block(), NULL dest?", LOG_CLASS_USAGE, LOG_MODULE_SOCKET);
        return 0;
    }
    if (!readable_head("read_block") || size <= 0)
        return 0;
    unsigned char *out = (unsigned char *)destination;
    int moved = 0;
    while (moved < size && head) {
        private_socket_queue_buffer *b = head;
        int n = b->write_count - b->read_position;
        if (n > size - moved)
            n = size - moved;
        memcpy(out + moved, b->data + b->read_position, (size_t)n);
        b->read_position += n;
        moved += n;
        if (b->read_position < b->write_count)
            break;
        if (b->read_position >= SOCKET_QUEUE_BUFFER_DATA_SIZE) {
            recycle_head(this);
            continue;
        }
        // The partly filled last buffer is exhausted.
        if (b->next)
            report_queue("Warning", "read_block", "more buffers in list than expected.", LOG_CLASS_USAGE);
        break;
    }
    return moved;
}

int vexa_socket_data_queue::get_line(text_buffer *destination)
{
    if (!destination) {
        log_report("Error in vexa_socket_data_queue::get_line(), NULL dest?", LOG_CLASS_USAGE, LOG_MODULE_SOCKET);
        return 0;
    }
    if (!readable_head("get_line"))
        return 0;
    destination->clear();
    int count = 0;
    unsigned char byte;
    while (take_byte(&byte, "get_line")) {
        if (byte == '\n')
            return count;
        destination->append_char((char)byte);
        count++;
        if (destination->length > destination_full_length) {
            report_queue("Warning", "get_line", "dest buffer full.", LOG_CLASS_USAGE);
            return count;
        }
    }
    return count;
}

int vexa_socket_data_queue::copy_text_without_remove(text_buffer *destination)
{
    if (!destination) {
        log_report("Error in vexa_socket_data_queue::copy_text_without_remove(), NULL dest?", LOG_CLASS_USAGE,
                   LOG_MODULE_SOCKET);
        return 0;
    }
    if (!head)
        return 1;
    if (!readable_head("copy_text_without_remove"))
        return 0;
    destination->clear();
    for (private_socket_queue_buffer *b = head; b; b = b->next) {
        int start = (b == head) ? b->read_position : 0;
        for (int i = start; i < b->write_count; i++) {
            if (b->data[i] == 0) {
                report_queue("Warning", "copy_text_without_remove", "bailing on data zero.", LOG_CLASS_USAGE);
                return 0;
            }
            destination->append_char((char)b->data[i]);
            if (destination->length > destination_full_length) {
                report_queue("Warning", "copy_text_without_remove", "dest buffer full.", LOG_CLASS_USAGE);
                return 0;
            }
        }
    }
    return 1;
}

int vexa_socket_data_queue::bytes_available()
{
    if (!readable_head("read_block"))
        return 0;
    int total = 0;
    for (private_socket_queue_buffer *b = head; b; b = b->next)
        total += b->write_count - b->read_position;
    return total;
}

int vexa_socket_data_queue::is_empty()
{
    if (!head)
        return 1;
    if (head->next)
        return 0;
    return head->read_position == head->write_count;
}

int vexa_socket_data_queue::get_remaining_space()
{
    if (buffer_limit < 0)
        return -1;
    int used = 0;
    for (private_socket_queue_buffer *b = head; b; b = b->next)
        used += b->write_count;
    // Wide arithmetic: a large limit times the buffer size exceeds an int.
    long long space = (long long)buffer_limit * SOCKET_QUEUE_BUFFER_DATA_SIZE - used;
    if (space < 0) {
        report_queue("Warning", "get_remaining_space", "negative available space?", LOG_CLASS_USAGE);
        return 0;
    }
    return space > INT_MAX ? INT_MAX : (int)space;
}
