// A small HTTP/1.1 server on 127.0.0.1 run by a thread of the test, for the
// HTTP client's tests: it records every request it reads and answers with
// what the test's handler returns (an empty answer keeps the connection
// open and silent until the server stops).
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace vpltest {

struct SeenRequest {
    std::string method, target, version;
    // Header lines in the order received, name and value as sent (the value
    // without the blanks after the colon).
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    // The value of the first header of that name (ASCII case ignored), or
    // empty.
    std::string header(const std::string& name) const;
    bool hasHeader(const std::string& name) const;
};

class LoopbackServer {
public:
    using Handler = std::function<std::string(const SeenRequest&)>;
    explicit LoopbackServer(Handler handler);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const { return port_; }
    // "127.0.0.1:<port>"
    std::string hostPort() const;
    std::vector<SeenRequest> requests() const;
    // Waits until at least n requests were read; false after the time-out.
    bool waitForRequests(size_t n, double seconds) const;

    // A complete answer closing the connection: status line, the given
    // header lines (each without CR LF), Content-Length and the body.
    static std::string response(int status, const std::vector<std::string>& headerLines,
                                const std::string& body);

private:
    void run();
    void serve(int fd);

    Handler handler_;
    int listenFd_ = -1;
    int stopPipe_[2] = {-1, -1};
    int port_ = 0;
    std::vector<int> silent_;
    mutable std::mutex mutex_;
    mutable std::condition_variable seen_;
    std::vector<SeenRequest> requests_;
    std::thread thread_;
};

// A loopback port on which nothing listens (connections are refused).
int UnusedLoopbackPort();

}  // namespace vpltest
