#include "tests/support/LoopbackServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <stdexcept>

namespace vpltest {

namespace {

std::string Lower(std::string s) {
    for (auto& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c + 32);
    return s;
}

int BoundSocket(int& port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket failed");
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        throw std::runtime_error("bind failed");
    }
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

// Reads into buf until pred holds, the peer closes, the cap is reached or
// nothing arrives for two seconds.
template <class Pred>
void ReadUntil(int fd, std::string& buf, Pred pred) {
    char chunk[4096];
    while (!pred() && buf.size() < (size_t(4) << 20)) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 2000) <= 0) return;
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n <= 0) return;
        buf.append(chunk, size_t(n));
    }
}

}  // namespace

std::string SeenRequest::header(const std::string& name) const {
    for (const auto& [n, v] : headers)
        if (Lower(n) == Lower(name)) return v;
    return std::string();
}

bool SeenRequest::hasHeader(const std::string& name) const {
    for (const auto& h : headers)
        if (Lower(h.first) == Lower(name)) return true;
    return false;
}

LoopbackServer::LoopbackServer(Handler handler) : handler_(std::move(handler)) {
    listenFd_ = BoundSocket(port_);
    if (listen(listenFd_, 16) != 0 || pipe2(stopPipe_, O_CLOEXEC) != 0) {
        close(listenFd_);
        throw std::runtime_error("listen failed");
    }
    thread_ = std::thread([this] { run(); });
}

LoopbackServer::~LoopbackServer() {
    const char c = 'x';
    (void)!write(stopPipe_[1], &c, 1);
    thread_.join();
    for (int fd : silent_) close(fd);
    close(listenFd_);
    close(stopPipe_[0]);
    close(stopPipe_[1]);
}

std::string LoopbackServer::hostPort() const { return "127.0.0.1:" + std::to_string(port_); }

std::vector<SeenRequest> LoopbackServer::requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

bool LoopbackServer::waitForRequests(size_t n, double seconds) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return seen_.wait_for(lock, std::chrono::duration<double>(seconds),
                          [&] { return requests_.size() >= n; });
}

std::string LoopbackServer::response(int status, const std::vector<std::string>& headerLines,
                                     const std::string& body) {
    std::string r = "HTTP/1.1 " + std::to_string(status) + " Status\r\n";
    for (const auto& h : headerLines) r += h + "\r\n";
    r += "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
    return r + body;
}

void LoopbackServer::run() {
    for (;;) {
        pollfd p[2] = {{listenFd_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (poll(p, 2, -1) < 0) continue;
        if (p[1].revents) return;
        if (p[0].revents & POLLIN) {
            const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) serve(fd);
        }
    }
}

void LoopbackServer::serve(int fd) {
    std::string buf;
    ReadUntil(fd, buf, [&] { return buf.find("\r\n\r\n") != std::string::npos; });
    const size_t end = buf.find("\r\n\r\n");
    if (end == std::string::npos) {
        close(fd);
        return;
    }
    SeenRequest req;
    size_t pos = 0;
    bool first = true;
    while (pos < end) {
        size_t eol = buf.find("\r\n", pos);
        const std::string line = buf.substr(pos, eol - pos);
        pos = eol + 2;
        if (first) {
            first = false;
            const size_t a = line.find(' '), b = line.rfind(' ');
            req.method = line.substr(0, a);
            req.target = line.substr(a + 1, b - a - 1);
            req.version = line.substr(b + 1);
            continue;
        }
        const size_t colon = line.find(':');
        std::string value = colon == std::string::npos ? std::string() : line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(" \t") == std::string::npos
                           ? value.size()
                           : value.find_first_not_of(" \t"));
        req.headers.emplace_back(line.substr(0, colon), value);
    }
    const size_t length = size_t(std::strtoull(req.header("Content-Length").c_str(), nullptr, 10));
    ReadUntil(fd, buf, [&] { return buf.size() >= end + 4 + length; });
    req.body = buf.substr(end + 4, length);
    const std::string answer = handler_ ? handler_(req) : std::string();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(req);
    }
    seen_.notify_all();
    if (answer.empty()) {
        silent_.push_back(fd);
        return;
    }
    size_t sent = 0;
    while (sent < answer.size()) {
        const ssize_t n = send(fd, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += size_t(n);
    }
    shutdown(fd, SHUT_WR);
    close(fd);
}

int UnusedLoopbackPort() {
    int port = 0;
    const int fd = BoundSocket(port);
    close(fd);
    return port;
}

}  // namespace vpltest
