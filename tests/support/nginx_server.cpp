// Private nginx for tests (see nginx_server.h).
#include "tests/support/nginx_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace qv_test {

static bool port_accepts(int port)
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    struct sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons((unsigned short)port);
    bool ok = connect(fd, (struct sockaddr *)&a, sizeof a) == 0;
    close(fd);
    return ok;
}

static const char *nginx_binary()
{
    return access("/usr/sbin/nginx", X_OK) == 0 ? "/usr/sbin/nginx" : "nginx";
}

nginx_server::~nginx_server()
{
    stop();
}

bool nginx_server::start(const std::string &root, const std::string &server_config, const std::string &http_config)
{
    stop();
    const std::string &dir = prefix_.path();
    // The port was free a moment ago; a lost race shows as an early exit and
    // is retried on another port.
    for (int attempt = 0; attempt < 5; attempt++) {
        port_ = free_loopback_port();
        std::string conf;
        conf += "daemon off;\nmaster_process off;\nworker_processes 1;\n";
        if (geteuid() == 0)
            conf += "user root root;\n";
        conf += "pid " + dir + "/nginx.pid;\nerror_log " + dir + "/error.log info;\n";
        conf += "events { worker_connections 256; }\n";
        conf += "http {\n  access_log " + dir + "/access.log;\n";
        for (const char *t : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
            conf += std::string("  ") + t + "_temp_path " + dir + "/" + t + ";\n";
        conf += "  default_type application/octet-stream;\n  sendfile on;\n";
        conf += http_config + "\n";
        conf += "  server {\n    listen 127.0.0.1:" + std::to_string(port_) + ";\n    server_name localhost;\n";
        conf += "    root " + root + ";\n" + server_config + "\n  }\n}\n";
        write_file(dir + "/nginx.conf", conf);

        pid_t pid = fork();
        if (pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            execlp(nginx_binary(), "nginx", "-p", (dir + "/").c_str(), "-c", (dir + "/nginx.conf").c_str(), "-e",
                   (dir + "/error.log").c_str(), (char *)nullptr);
            _exit(127);
        }
        if (pid < 0)
            return false;
        pid_ = pid;
        for (int i = 0; i < 400; i++) {
            int st;
            if (waitpid(pid, &st, WNOHANG) == pid) {
                pid_ = -1;
                break;
            }
            if (port_accepts(port_))
                return true;
            struct timespec ts = {0, 25 * 1000 * 1000};
            nanosleep(&ts, nullptr);
        }
        stop();
    }
    return false;
}

void nginx_server::stop()
{
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int st;
        waitpid(pid_, &st, 0);
        pid_ = -1;
    }
}

std::string nginx_server::base_url() const
{
    return "http://127.0.0.1:" + std::to_string(port_);
}

std::string nginx_server::access_log() const
{
    return read_file(prefix_.path() + "/access.log");
}

std::string nginx_server::wait_for_access_log(const std::string &text, int timeout_ms) const
{
    std::string log = access_log();
    for (int waited = 0; log.find(text) == std::string::npos && waited < timeout_ms; waited += 10) {
        struct timespec ts = {0, 10 * 1000 * 1000};
        nanosleep(&ts, nullptr);
        log = access_log();
    }
    return log;
}

std::string nginx_server::error_log() const
{
    return read_file(prefix_.path() + "/error.log");
}

} // namespace qv_test
