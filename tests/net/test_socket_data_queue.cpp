// vexa_socket_data_queue: buffer hand-over at the 4072-byte boundary, the
// limit and full flag, lines, peeking, space accounting and the pool.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "net/socket_data_queue.h"
#include "runtime/log.h"
#include "runtime/text_buffer.h"
#include "tests/support/test_support.h"

namespace {

const int B = SOCKET_QUEUE_BUFFER_DATA_SIZE;

std::string pattern(int n)
{
    std::string s;
    for (int i = 0; i < n; i++)
        s += (char)('a' + i % 26);
    return s;
}

std::string drain(vexa_socket_data_queue &q, int piece)
{
    std::string out;
    std::string buf(piece, '\0');
    for (;;) {
        int got = q.read_block(&buf[0], piece);
        if (got <= 0)
            break;
        out.append(buf, 0, got);
    }
    return out;
}

} // namespace

TEST(SocketDataQueue, FreshQueue)
{
    vexa_socket_data_queue q;
    EXPECT_EQ(nullptr, q.head);
    EXPECT_EQ(-1, q.buffer_limit);
    EXPECT_EQ(0, q.buffer_count);
    EXPECT_EQ(1, q.is_empty());
    EXPECT_EQ(0, q.bytes_available());
    EXPECT_EQ(-1, q.get_remaining_space());
    char c;
    EXPECT_EQ(0, q.read_block(&c, 1));
}

TEST(SocketDataQueue, FullBufferBoundary)
{
    vexa_socket_data_queue q;
    std::string data = pattern(B + 1);
    ASSERT_EQ(B, q.write_block(data.data(), B));
    EXPECT_EQ(1, q.buffer_count);
    EXPECT_EQ(nullptr, q.write_buffer);
    EXPECT_EQ(B, q.head->write_count);

    ASSERT_EQ(1, q.put_byte((unsigned char)data[B]));
    EXPECT_EQ(2, q.buffer_count);
    ASSERT_NE(nullptr, q.write_buffer);
    EXPECT_EQ(q.head->next, q.write_buffer);
    EXPECT_EQ(B + 1, q.bytes_available());

    private_socket_queue_buffer *first = q.head;
    private_socket_queue_buffer *second = q.head->next;
    std::string out(B + 1, '\0');
    ASSERT_EQ(B + 1, q.read_block(&out[0], B + 1));
    EXPECT_EQ(data, out);
    // The read-out first buffer went to the pool; the second stays with its
    // single byte consumed.
    EXPECT_EQ(second, q.head);
    EXPECT_EQ(1, q.buffer_count);
    EXPECT_EQ(1, q.head->read_position);
    EXPECT_EQ(1, q.head->write_count);
    EXPECT_EQ(1, q.is_empty());

    // Later appends continue in the partly filled buffer.
    q.write_text("xyz");
    EXPECT_EQ(second, q.head);
    EXPECT_EQ(3, q.bytes_available());

    // The pool hands out the most recently returned buffer first.
    vexa_socket_data_queue other;
    other.put_byte('q');
    EXPECT_EQ(first, other.head);
    EXPECT_EQ(0, other.head->read_position);
    EXPECT_EQ(1, other.head->write_count);
}

TEST(SocketDataQueue, LimitOfTwoBuffers)
{
    vexa_socket_data_queue q;
    q.set_buffer_limit(2);
    EXPECT_EQ(2 * B, q.get_remaining_space());
    std::string data = pattern(2 * B + 10);
    EXPECT_EQ(2 * B, q.write_block(data.data(), (int)data.size()));
    EXPECT_EQ(1, q.full_flag);
    EXPECT_EQ(0, q.put_byte('x'));
    EXPECT_EQ(1, q.full_flag);
    EXPECT_EQ(0, q.get_remaining_space());

    std::string out(B, '\0');
    ASSERT_EQ(B, q.read_block(&out[0], B));
    EXPECT_EQ(0, q.full_flag);
    EXPECT_EQ(1, q.buffer_count);
    EXPECT_EQ(1, q.put_byte('x'));
    EXPECT_EQ(B + 1, q.bytes_available());
}

TEST(SocketDataQueue, RemainingSpaceCountsReadBytesOfTheHead)
{
    vexa_socket_data_queue q;
    q.set_buffer_limit(3);
    std::string data = pattern(100);
    q.write_block(data.data(), 100);
    EXPECT_EQ(12116, q.get_remaining_space());
    char buf[40];
    q.read_block(buf, 40);
    EXPECT_EQ(12116, q.get_remaining_space());
}

TEST(SocketDataQueue, NegativeSpaceIsReportedAsZero)
{
    qv_test::log_capture log;
    vexa_socket_data_queue q;
    q.write_block(pattern(2 * B).data(), 2 * B);
    q.set_buffer_limit(1);
    EXPECT_EQ(0, q.get_remaining_space());
    EXPECT_EQ("Warning in vexa_socket_data_queue::get_remaining_space(), negative available space?\n", log.text());
}

TEST(SocketDataQueue, RoundTripInRandomSplits)
{
    std::mt19937 rng(4072);
    for (int size : {0, 1, B - 1, B, B + 1, 3 * B + 17}) {
        std::string data;
        for (int i = 0; i < size; i++)
            data += (char)(rng() & 0xff);
        for (int mode = 0; mode < 3; mode++) {
            vexa_socket_data_queue q;
            std::string out;
            std::string buf(B * 2, '\0');
            int written = 0;
            while (written < size) {
                int piece = mode == 0 ? size : mode == 1 ? 1 : 1 + (int)(rng() % 5000);
                if (piece > size - written)
                    piece = size - written;
                ASSERT_EQ(piece, q.write_block(data.data() + written, piece));
                written += piece;
                // Interleave reads so that reading catches up with writing.
                if (mode == 2 && rng() % 2) {
                    int got = q.read_block(&buf[0], 1 + (int)(rng() % 6000));
                    out.append(buf, 0, got);
                }
            }
            ASSERT_EQ(size - (int)out.size(), q.bytes_available());
            out += drain(q, mode == 1 ? 1 : 977);
            EXPECT_EQ(data, out) << "size " << size << " mode " << mode;
            EXPECT_EQ(1, q.is_empty());
            EXPECT_LE(q.buffer_count, 1);
        }
    }
}

TEST(SocketDataQueue, GetLineKeepsCarriageReturn)
{
    vexa_socket_data_queue q;
    q.write_text("abc\r\ndef");
    text_buffer line;
    EXPECT_EQ(4, q.get_line(&line));
    EXPECT_STREQ("abc\r", line.text());
    EXPECT_EQ(3, q.bytes_available());
    EXPECT_EQ(3, q.get_line(&line));
    EXPECT_STREQ("def", line.text());
    EXPECT_EQ(0, q.bytes_available());
    EXPECT_EQ(1, q.is_empty());
}

TEST(SocketDataQueue, GetLineOnLoneNewlineAndEmptyQueue)
{
    vexa_socket_data_queue q;
    text_buffer line;
    line.append("old");
    EXPECT_EQ(0, q.get_line(&line));
    q.put_byte('\n');
    EXPECT_EQ(0, q.get_line(&line));
    EXPECT_STREQ("", line.text());
    EXPECT_EQ(1, q.is_empty());
}

TEST(SocketDataQueue, GetLineAcrossBuffers)
{
    vexa_socket_data_queue q;
    std::string first = pattern(B + 100);
    q.write_text((first + "\nrest").c_str());
    text_buffer line;
    EXPECT_EQ(B + 100, q.get_line(&line));
    EXPECT_EQ(first, line.text());
    EXPECT_EQ(1, q.buffer_count);
    EXPECT_EQ(4, q.bytes_available());
}

TEST(SocketDataQueue, GetLineStopsWhenTheDestinationIsFull)
{
    qv_test::log_capture log;
    vexa_socket_data_queue q;
    std::string longline = pattern(TEXT_BUFFER_MAX_CHARS + 10);
    q.write_text((longline + "\n").c_str());
    text_buffer line;
    EXPECT_EQ(TEXT_BUFFER_MAX_CHARS, q.get_line(&line));
    EXPECT_EQ(longline.substr(0, TEXT_BUFFER_MAX_CHARS), line.text());
    EXPECT_EQ("Warning in vexa_socket_data_queue::get_line(), dest buffer full.\n", log.text());
    // The rest of the line stays queued.
    EXPECT_EQ(10, q.get_line(&line));
    EXPECT_EQ(longline.substr(TEXT_BUFFER_MAX_CHARS), line.text());
}

TEST(SocketDataQueue, CopyTextWithoutRemoveLimits)
{
    qv_test::log_capture log;
    text_buffer dest;
    {
        vexa_socket_data_queue q;
        dest.append("untouched");
        EXPECT_EQ(1, q.copy_text_without_remove(&dest));
        EXPECT_STREQ("untouched", dest.text());
    }
    {
        vexa_socket_data_queue q;
        std::string data = pattern(5998);
        q.write_text(data.c_str());
        EXPECT_EQ(1, q.copy_text_without_remove(&dest));
        EXPECT_EQ(data, dest.text());
        EXPECT_EQ(5998, q.bytes_available());
        EXPECT_EQ("", log.text());
    }
    {
        vexa_socket_data_queue q;
        std::string data = pattern(5999);
        q.write_text(data.c_str());
        EXPECT_EQ(0, q.copy_text_without_remove(&dest));
        EXPECT_EQ(5999, q.bytes_available());
        EXPECT_EQ("Warning in vexa_socket_data_queue::copy_text_without_remove(), dest buffer full.\n", log.text());
    }
}

TEST(SocketDataQueue, CopyTextWithoutRemoveStartsAtTheReadPosition)
{
    vexa_socket_data_queue q;
    std::string data = pattern(B + 50);
    q.write_text(data.c_str());
    char skip[B - 20];
    q.read_block(skip, (int)sizeof skip);
    text_buffer dest;
    EXPECT_EQ(1, q.copy_text_without_remove(&dest));
    EXPECT_EQ(data.substr(sizeof skip), dest.text());
}

TEST(SocketDataQueue, CopyTextWithoutRemoveBailsOnZero)
{
    qv_test::log_capture log;
    vexa_socket_data_queue q;
    q.write_block("ab\0cd", 5);
    text_buffer dest;
    EXPECT_EQ(0, q.copy_text_without_remove(&dest));
    EXPECT_EQ(5, q.bytes_available());
    EXPECT_EQ("Warning in vexa_socket_data_queue::copy_text_without_remove(), bailing on data zero.\n", log.text());
}

TEST(SocketDataQueue, ReadOutPartialBufferIsNotEmptyForCopy)
{
    // A partly filled buffer that has been read out: nothing to copy.
    vexa_socket_data_queue q;
    q.write_text("abc");
    char buf[3];
    q.read_block(buf, 3);
    text_buffer dest;
    EXPECT_EQ(0, q.copy_text_without_remove(&dest));
    EXPECT_EQ(1, q.is_empty());
}

TEST(SocketDataQueue, EmptyTopBufferWithOthersIsReported)
{
    // Creating a buffer by hand in front of the data leaves an empty head.
    qv_test::log_capture log;
    vexa_socket_data_queue q;
    ASSERT_EQ(1, q.try_create_new_buffer());
    ASSERT_EQ(1, q.try_create_new_buffer());
    q.write_text("abc");
    EXPECT_EQ(2, q.buffer_count);
    EXPECT_EQ(0, q.is_empty());
    char buf[8];
    text_buffer line;
    EXPECT_EQ(0, q.read_block(buf, 8));
    EXPECT_EQ(0, q.bytes_available());
    EXPECT_EQ(0, q.get_line(&line));
    EXPECT_EQ(0, q.copy_text_without_remove(&line));
    EXPECT_EQ("Warning in vexa_socket_data_queue::read_block(), top buffer empty in list of other buffers.\n"
              "Warning in vexa_socket_data_queue::read_block(), top buffer empty in list of other buffers.\n"
              "Warning in vexa_socket_data_queue::get_line(), top buffer empty in list of other buffers.\n"
              "Warning in vexa_socket_data_queue::copy_text_without_remove(), top buffer empty in list of other "
              "buffers.\n",
              log.text());
}

TEST(SocketDataQueue, ClearKeepsTheLimitAndReusesBuffers)
{
    vexa_socket_data_queue q;
    q.set_buffer_limit(2);
    q.write_block(pattern(3 * B).data(), 3 * B);
    EXPECT_EQ(1, q.full_flag);
    private_socket_queue_buffer *first = q.head;
    private_socket_queue_buffer *second = q.head->next;
    q.clear();
    EXPECT_EQ(nullptr, q.head);
    EXPECT_EQ(nullptr, q.write_buffer);
    EXPECT_EQ(0, q.buffer_count);
    EXPECT_EQ(0, q.full_flag);
    EXPECT_EQ(2, q.buffer_limit);
    EXPECT_EQ(1, q.is_empty());
    // Both buffers went back to the pool, the last one on top.
    q.write_block(pattern(B + 1).data(), B + 1);
    EXPECT_EQ(second, q.head);
    EXPECT_EQ(first, q.head->next);
    EXPECT_EQ(0, q.head->read_position);
    q.release();
    q.release();
    EXPECT_EQ(nullptr, q.head);
}

TEST(SocketDataQueue, NullArgumentsAreRefused)
{
    qv_test::log_capture log;
    vexa_socket_data_queue q;
    q.write_text("abc");
    EXPECT_EQ(0, q.write_block(nullptr, 3));
    EXPECT_EQ(0, q.write_text(nullptr));
    EXPECT_EQ(0, q.read_block(nullptr, 3));
    EXPECT_EQ(0, q.get_line(nullptr));
    EXPECT_EQ(0, q.copy_text_without_remove(nullptr));
    EXPECT_EQ(3, q.bytes_available());
    EXPECT_EQ(5u, qv_test::split_lines(log.text()).size());
}
