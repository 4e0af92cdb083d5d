// A small misbehaving HTTP server on 127.0.0.1 for client tests: it reads
// each request up to its empty line and then plays a fixed script of steps
// (send bytes, pause, close, reset, hold the connection open), so a client
// can be shown a response cut short, a stalled connection, a reset or bytes
// after the response.
#ifndef QV_TESTS_SUPPORT_FAULT_SERVER_H
#define QV_TESTS_SUPPORT_FAULT_SERVER_H

#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qv_test {

struct fault_step {
    enum kind_t {
        send,  // write data
        pause, // wait ms milliseconds
        close, // orderly close (FIN)
        reset, // abortive close (RST)
        hold   // keep the connection open until the client closes or stop()
    };
    kind_t kind;
    std::string data;
    int ms;
};

inline fault_step send_bytes(const std::string &data) { return {fault_step::send, data, 0}; }
inline fault_step pause_ms(int ms) { return {fault_step::pause, "", ms}; }
inline fault_step close_orderly() { return {fault_step::close, "", 0}; }
inline fault_step reset_connection() { return {fault_step::reset, "", 0}; }
inline fault_step hold_open() { return {fault_step::hold, "", 0}; }

class fault_server {
public:
    fault_server() = default;
    ~fault_server();
    fault_server(const fault_server &) = delete;
    fault_server &operator=(const fault_server &) = delete;

    // Listens on an ephemeral port of 127.0.0.1 and answers every connection
    // with the steps, one connection after the other. A script that ends
    // without close, reset or hold closes in an orderly way. Returns true
    // once it listens.
    bool start(const std::vector<fault_step> &steps);
    // Ends the script under way and stops listening.
    void stop();
    int port() const { return port_; }
    // The requests read so far (header blocks, in arrival order).
    std::vector<std::string> requests() const;

private:
    void run();
    void serve(int fd);
    // Waits up to ms for fd to become readable (-1: no limit). 1 readable, 0
    // timed out, -1 when stop() was called.
    int wait_readable(int fd, int ms);

    std::vector<fault_step> steps_;
    int listen_fd_ = -1;
    int stop_pipe_[2] = {-1, -1};
    int port_ = -1;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
};

} // namespace qv_test

#endif
