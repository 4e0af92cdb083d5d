// A private nginx on 127.0.0.1 for tests and benchmarks: its own prefix,
// configuration, logs and a free port; stopped on destruction.
#ifndef QV_TESTS_SUPPORT_NGINX_SERVER_H
#define QV_TESTS_SUPPORT_NGINX_SERVER_H

#include <string>

#include "tests/support/test_support.h"

namespace qv_test {

class nginx_server {
public:
    nginx_server() = default;
    ~nginx_server();
    nginx_server(const nginx_server &) = delete;
    nginx_server &operator=(const nginx_server &) = delete;

    // Serves the files under root. server_config goes inside the server
    // block (locations, chunked_transfer_encoding, return 301 ...),
    // http_config inside the http block. Returns true once it accepts
    // connections.
    bool start(const std::string &root, const std::string &server_config = "",
               const std::string &http_config = "");
    void stop();
    int port() const { return port_; }
    // "http://127.0.0.1:<port>"
    std::string base_url() const;
    // What nginx logged so far (access log with the request lines).
    std::string access_log() const;
    // nginx logs a request only after its response has gone out, so a
    // client can finish first: waits up to timeout_ms for text to appear in
    // the access log and returns the log as it then stands.
    std::string wait_for_access_log(const std::string &text, int timeout_ms = 5000) const;
    std::string error_log() const;

private:
    temp_dir prefix_;
    int port_ = -1;
    int pid_ = -1;
};

} // namespace qv_test

#endif
