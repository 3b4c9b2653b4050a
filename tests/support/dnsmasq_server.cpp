#include "support/dnsmasq_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "platform/files.h"
#include "support/dns_packet_builder.h"

extern char** environ;

namespace quorvel::testing {

namespace {

const char* const kDnsmasq = "/usr/sbin/dnsmasq";

// A UDP socket bound to a free loopback port; the port through `port`.
int boundUdpSocket(int& port, const char* loopbackAddress = "127.0.0.1") {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    ::inet_pton(AF_INET, loopbackAddress, &address.sin_addr);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        throw std::runtime_error("bind");
    }
    port = ntohs(address.sin_port);
    return fd;
}

}  // namespace

int unusedUdpPort() {
    int port = 0;
    ::close(boundUdpSocket(port));
    return port;
}

SilentUdpPort::SilentUdpPort() : fd_(boundUdpSocket(port_)) {}

SilentUdpPort::~SilentUdpPort() {
    ::close(fd_);
}

DnsmasqServer::DnsmasqServer(const std::vector<std::string>& records) {
    // The free port may be taken between finding it and dnsmasq binding it.
    for (int attempt = 0; attempt < 5; ++attempt)
        if (start(records)) return;
    throw std::runtime_error("dnsmasq did not start:\n" + log());
}

DnsmasqServer::~DnsmasqServer() {
    stop();
}

bool DnsmasqServer::start(const std::vector<std::string>& records) {
    port_ = unusedUdpPort();
    const std::string conf = folder_.file("dnsmasq.conf");
    {
        std::ofstream out(conf);
        out << "port=" << port_ << "\n"
            << "listen-address=127.0.0.1\n"
            << "bind-interfaces\n"
            << "no-resolv\n"
            << "no-hosts\n"
            << "auth-zone=quorvel.test\n"
            << "auth-server=ns.quorvel.test,127.0.0.1\n"
            << "auth-soa=1,hostmaster.quorvel.test\n"
            << "log-queries\n";
        for (const std::string& line : records) out << line << "\n";
    }

    // In the foreground, so the child is dnsmasq itself and is stopped by its
    // pid; its output goes to a file, never to the test runner's pipe.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string logPath = folder_.file("dnsmasq.log");
    posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    const std::string confOption = "--conf-file=" + conf;
    const char* argv[] = {kDnsmasq, "--keep-in-foreground", "--log-facility=-", confOption.c_str(), nullptr};
    const int error =
        posix_spawn(&pid_, kDnsmasq, &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) throw std::runtime_error("cannot start dnsmasq");

    for (int i = 0; i < 100; ++i) {
        if (answers()) return true;
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
    }
    stop();
    return false;
}

// Asks for the zone's SOA and waits a moment for any answer.
bool DnsmasqServer::answers() const {
    int unused = 0;
    const int fd = boundUdpSocket(unused);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<std::uint16_t>(port_));
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    DnsPacketBuilder query({.id = 1, .flags = 0});
    query.question("quorvel.test", 6);
    bool answered = false;
    if (::sendto(fd, query.bytes().data(), query.bytes().size(), 0, reinterpret_cast<sockaddr*>(&server),
                 sizeof server) >= 0) {
        pollfd probe{fd, POLLIN, 0};
        char buffer[512];
        answered = ::poll(&probe, 1, 50) == 1 && ::recv(fd, buffer, sizeof buffer, 0) > 0;
    }
    ::close(fd);
    if (!answered) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return answered;
}

void DnsmasqServer::stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
}

std::string DnsmasqServer::log() const {
    return readFileBytes(folder_.file("dnsmasq.log")).value_or("");
}

ScriptedDnsServer::ScriptedDnsServer(Responder responder)
    : ScriptedDnsServer(ForgingResponder([responder = std::move(responder)](const std::string& query) {
          std::vector<Datagram> datagrams;
          for (std::string& bytes : responder(query)) datagrams.push_back({std::move(bytes)});
          return datagrams;
      })) {}

ScriptedDnsServer::ScriptedDnsServer(ForgingResponder responder)
    : responder_(std::move(responder)), fd_(boundUdpSocket(port_)), thread_([this] { run(); }) {}

ScriptedDnsServer::~ScriptedDnsServer() {
    stop_ = true;
    thread_.join();
    ::close(fd_);
}

std::vector<std::string> ScriptedDnsServer::queries() {
    std::lock_guard lock(mutex_);
    return queries_;
}

void ScriptedDnsServer::run() {
    while (!stop_) {
        pollfd probe{fd_, POLLIN, 0};
        if (::poll(&probe, 1, 20) != 1) continue;
        char buffer[2048];
        sockaddr_in client{};
        socklen_t length = sizeof client;
        const ssize_t n =
            ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&client), &length);
        if (n < 0) continue;
        const std::string query(buffer, static_cast<std::size_t>(n));
        {
            std::lock_guard lock(mutex_);
            queries_.push_back(query);
        }
        for (const Datagram& datagram : responder_(query)) {
            std::this_thread::sleep_for(datagram.pause);
            int from = fd_;
            if (datagram.from != Datagram::From::Server) {
                int unused = 0;
                from = boundUdpSocket(unused, datagram.from == Datagram::From::OtherAddress ? "127.0.0.2" : "127.0.0.1");
            }
            ::sendto(from, datagram.bytes.data(), datagram.bytes.size(), 0, reinterpret_cast<sockaddr*>(&client),
                     length);
            if (from != fd_) ::close(from);
        }
    }
}

}  // namespace quorvel::testing
