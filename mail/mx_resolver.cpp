#include "mail/mx_resolver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <random>
#include <sstream>

#include "mail/mail_errors.h"
#include "platform/files.h"

namespace quorvel {

namespace {

constexpr std::size_t kMaxResponse = 1024;
constexpr auto kLongWait = std::chrono::hours(1);

bool isIPv4Address(const std::string& text) {
    in_addr address{};
    return inet_pton(AF_INET, text.c_str(), &address) == 1;
}

// What the network reports about an unreachable server. The server may still
// answer a resend, and the time-out is what makes a query fail.
bool isUnreachableReport(int error) {
    return error == ECONNREFUSED || error == EHOSTUNREACH || error == ENETUNREACH || error == EHOSTDOWN;
}

std::uint16_t newQueryId() {
    // A fresh unpredictable ID makes a forged answer hard to slip in.
    std::random_device random;
    return static_cast<std::uint16_t>(random() & 0xFFFF);
}

}  // namespace

std::string defaultDNSAddress(const std::string& path) {
    std::istringstream lines(readFileBytes(path).value_or(""));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string keyword, address;
        if (words >> keyword >> address && keyword == "nameserver" && isIPv4Address(address)) return address;
    }
    return "127.0.0.1";
}

TmsMXResolver::TmsMXResolver(EventPump& pump, TimerFactory& timers)
    : DNSAddress(defaultDNSAddress()), pump_(pump), counter_(timers, [this] { pump_.wake(); }) {}

TmsMXResolver::~TmsMXResolver() {
    if (fd_ >= 0) ::close(fd_);
}

void TmsMXResolver::Cancel() {
    canceled_ = true;
    pump_.wake();
}

void TmsMXResolver::Resolve() {
    canceled_ = false;
    counter_.ClearTimedOut();
    list_.Clear();
    // Checked before anything touches the network: a malformed question
    // would ask the server something else.
    encodeQuestion(Domain);

    if (OnSendingQuery) OnSendingQuery();
    try {
        open();
        const std::uint16_t id = newQueryId();
        sendQuery(buildQuery(id, Domain));
        if (OnWaitingForResponse) OnWaitingForResponse();
        const std::string response = receiveResponse(id);
        parseResponse(response, id, Domain, list_);
        list_.Sort();
    } catch (...) {
        list_.Clear();
        close();
        throw;
    }
    close();
}

void TmsMXResolver::open() {
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(Port);
    if (inet_pton(AF_INET, DNSAddress.c_str(), &server.sin_addr) != 1)
        throw EResolverError("'" + DNSAddress + "' is not a valid DNS server address");
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd_ < 0) throw ESocketError(mailErrorText(errno));
    // Fixes the peer: datagrams from anywhere else are dropped.
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0)
        throw ESocketError(mailErrorText(errno));
}

void TmsMXResolver::close() {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
    if (OnClosingConnection) OnClosingConnection();
}

void TmsMXResolver::sendQuery(const std::string& query) {
    counter_.TimeOut = TimeOut;
    counter_.Start();
    for (;;) {
        pump_.processEvents();
        if (canceled_ || counter_.TimedOut()) break;
        if (::send(fd_, query.data(), query.size(), MSG_NOSIGNAL) >= 0) break;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            counter_.Stop();
            throw ESocketError(mailErrorText(errno));
        }
        pump_.wait(fd_, EventPump::Writable, kLongWait);
    }
    counter_.Stop();
    if (counter_.TimedOut()) throw ETimedOutError(mailErrorText(errTimedOut));
    if (canceled_) throw ECanceledError(mailErrorText(errCanceled));
}

std::string TmsMXResolver::receiveResponse(std::uint16_t id) {
    counter_.TimeOut = TimeOut;
    counter_.Start();
    pump_.processEvents();
    std::string response;
    bool received = false;
    for (;;) {
        if (canceled_ || counter_.TimedOut()) break;
        char buffer[kMaxResponse];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n >= 0) {
            response.assign(buffer, static_cast<std::size_t>(n));
            // A datagram with another ID or question is not the answer (a
            // forger's guess, or a late answer to an earlier query): the real
            // one may still come. The connected socket already drops those
            // from any other address or port.
            if (!answersQuery(response, id, Domain)) {
                // A flood of them must not stop the clock or the window.
                pump_.processEvents();
                continue;
            }
            received = true;
            break;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK && !isUnreachableReport(errno)) {
            counter_.Stop();
            throw ESocketError(mailErrorText(errno));
        }
        pump_.wait(fd_, EventPump::Readable, kLongWait);
    }
    counter_.Stop();
    if (received) return response;
    if (counter_.TimedOut()) throw ETimedOutError(mailErrorText(errTimedOut));
    throw ECanceledError(mailErrorText(errCanceled));
}

}  // namespace quorvel
