#include "support/scripted_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <stdexcept>

namespace quorvel::testing {

namespace {

int listenOnLoopback(bool ipv6, int& port) {
    const int fd = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket");
    sockaddr_storage address{};
    socklen_t length = 0;
    if (ipv6) {
        auto& a = reinterpret_cast<sockaddr_in6&>(address);
        a.sin6_family = AF_INET6;
        a.sin6_addr = in6addr_loopback;
        length = sizeof a;
        const int only = 1;
        setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &only, sizeof only);
    } else {
        auto& a = reinterpret_cast<sockaddr_in&>(address);
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        length = sizeof a;
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, 4) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot listen on loopback");
    }
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(ipv6 ? reinterpret_cast<sockaddr_in6&>(address).sin6_port
                      : reinterpret_cast<sockaddr_in&>(address).sin_port);
    return fd;
}

// Waits until `fd` is readable or the server is told to stop.
bool waitReadable(int fd, const std::atomic<bool>& stop) {
    while (!stop) {
        pollfd p{fd, POLLIN, 0};
        const int n = ::poll(&p, 1, 50);
        if (n > 0) return true;
    }
    return false;
}

}  // namespace

int unusedPort() {
    int port = 0;
    const int fd = listenOnLoopback(false, port);
    ::close(fd);
    return port;
}

ScriptedServer::ScriptedServer(std::vector<std::string> script, bool ipv6) : script_(std::move(script)) {
    listener_ = listenOnLoopback(ipv6, port_);
    thread_ = std::thread([this] { run(); });
}

ScriptedServer::ScriptedServer(const std::function<std::vector<std::string>(int port)>& scriptFor) {
    listener_ = listenOnLoopback(false, port_);
    script_ = scriptFor(port_);
    thread_ = std::thread([this] { run(); });
}

ScriptedServer::~ScriptedServer() {
    stop_ = true;
    join();
    if (client_ >= 0) ::close(client_);
    ::close(listener_);
}

void ScriptedServer::join() {
    if (thread_.joinable()) thread_.join();
}

std::vector<std::string> ScriptedServer::failures() {
    std::lock_guard lock(mutex_);
    return failures_;
}

std::vector<std::string> ScriptedServer::received() {
    std::lock_guard lock(mutex_);
    return received_;
}

std::string ScriptedServer::wire() {
    std::lock_guard lock(mutex_);
    return wire_;
}

bool ScriptedServer::sawClientClose() {
    std::lock_guard lock(mutex_);
    return sawClientClose_;
}

void ScriptedServer::fail(const std::string& what) {
    std::lock_guard lock(mutex_);
    failures_.push_back(what);
}

bool ScriptedServer::acceptClient() {
    if (client_ >= 0) ::close(client_);
    client_ = -1;
    input_.clear();
    if (!waitReadable(listener_, stop_)) return false;
    client_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    const int on = 1;
    setsockopt(client_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return client_ >= 0;
}

bool ScriptedServer::readLine(std::string& line) {
    for (;;) {
        const auto lf = input_.find('\n');
        if (lf != std::string::npos) {
            line = input_.substr(0, lf);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            input_.erase(0, lf + 1);
            return true;
        }
        if (!waitReadable(client_, stop_)) return false;
        char buffer[4096];
        const ssize_t n = ::recv(client_, buffer, sizeof buffer, 0);
        if (n <= 0) return false;
        input_.append(buffer, static_cast<std::size_t>(n));
        std::lock_guard lock(mutex_);
        wire_.append(buffer, static_cast<std::size_t>(n));
    }
}

void ScriptedServer::sendAll(const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(client_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return;
        sent += static_cast<std::size_t>(n);
    }
}

void ScriptedServer::run() {
    if (!acceptClient()) return;
    for (const std::string& step : script_) {
        if (step.rfind("C: ", 0) == 0) {
            std::string line;
            if (!readLine(line)) {
                fail("client left before \"" + step + "\"");
                return;
            }
            {
                std::lock_guard lock(mutex_);
                received_.push_back(line);
            }
            if (line != step.substr(3)) {
                fail("expected \"" + step.substr(3) + "\", got \"" + line + "\"");
                ::close(client_);
                client_ = -1;
                return;
            }
        } else if (step.rfind("S: ", 0) == 0) {
            sendAll(step.substr(3) + "\r\n");
        } else if (step.rfind("RAW: ", 0) == 0) {
            sendAll(step.substr(5));
        } else if (step.rfind("SPLIT: ", 0) == 0) {
            for (char c : step.substr(7) + "\r\n") {
                sendAll(std::string(1, c));
                usleep(1000);  // lets each octet leave as its own segment
            }
        } else if (step == "CLOSE") {
            ::close(client_);
            client_ = -1;
        } else if (step == "ACCEPT") {
            if (!acceptClient()) {
                fail("no second connection");
                return;
            }
        } else if (step.rfind("PAUSE: ", 0) == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(step.substr(7))));
        } else if (step == "QUIET") {
            // Nothing beyond the lines read may have come: a client that sent
            // further ahead would have sent it in the same write.
            std::string ahead = input_;
            pollfd p{client_, POLLIN, 0};
            if (ahead.empty() && ::poll(&p, 1, 20) > 0 && (p.revents & POLLIN)) {
                char buffer[256];
                const ssize_t n = ::recv(client_, buffer, sizeof buffer, MSG_PEEK);
                if (n > 0) ahead.assign(buffer, static_cast<std::size_t>(n));
            }
            if (!ahead.empty()) {
                const std::size_t lf = ahead.find('\n');
                fail("sent ahead of the script: \"" + ahead.substr(0, lf == std::string::npos ? ahead.size() : lf) + "\"");
                ::close(client_);
                client_ = -1;
                return;
            }
        } else if (step == "WAIT") {
            char buffer[256];
            while (waitReadable(client_, stop_)) {
                const ssize_t n = ::recv(client_, buffer, sizeof buffer, 0);
                std::lock_guard lock(mutex_);
                if (n <= 0) {
                    sawClientClose_ = true;
                    break;
                }
                wire_.append(buffer, static_cast<std::size_t>(n));
            }
        } else {
            fail("bad script step \"" + step + "\"");
            return;
        }
    }
}

}  // namespace quorvel::testing
