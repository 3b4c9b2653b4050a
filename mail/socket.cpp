#include "mail/socket.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <mutex>
#include <thread>

#include "mail/ag_ras.h"
#include "mail/tls_session.h"

namespace quorvel {

namespace {

constexpr std::size_t kBlockSize = 16384;
constexpr std::size_t kMaxHostLength = 255;
constexpr auto kLongWait = std::chrono::hours(1);

void ignoreBrokenPipes() {
    // A peer that went away must surface as an error of the write (TLS
    // writes cannot pass MSG_NOSIGNAL), not end the program.
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGPIPE, SIG_IGN); });
}

void setPort(sockaddr_storage& address, std::uint16_t port) {
    if (address.ss_family == AF_INET)
        reinterpret_cast<sockaddr_in&>(address).sin_port = htons(port);
    else if (address.ss_family == AF_INET6)
        reinterpret_cast<sockaddr_in6&>(address).sin6_port = htons(port);
}

}  // namespace

// A host look-up runs on a worker thread so that the wait, and with it Cancel
// and the time-out, stay in charge. The worker wakes the event loop when done
// unless the socket has given up on it meanwhile.
struct TagSocket::HostLookup {
    std::mutex mutex;
    EventPump* pump = nullptr;
    bool done = false;
    bool abandoned = false;
    int error = 0;  // getaddrinfo's result
    int systemError = 0;
    std::vector<sockaddr_storage> addresses;
    std::vector<socklen_t> lengths;
};

TagSocket::TagSocket(EventPump& pump, TimerFactory& timers)
    : pump_(pump), counter_(timers, [this] { pump_.wake(); }), answerTimer_(timers.createTimer([this] { answerTick(); })) {
    answerTimer_->setInterval(1000);
    answerTimer_->setEnabled(false);
    ignoreBrokenPipes();
}

TagSocket::~TagSocket() {
    abandonLookup();
    tls_.reset();
    if (fd_ >= 0) ::close(fd_);
}

void TagSocket::ResetState() {
    canceled_ = false;
    counter_.ClearTimedOut();
    abandonLookup();
    lastError_ = 0;
    lineCutByClose_ = false;
}

int TagSocket::ReplyCode(const std::string& reply) {
    if (reply.size() < 3) return -1;
    int code = 0;
    for (int i = 0; i < 3; ++i) {
        const char c = reply[static_cast<std::size_t>(i)];
        if (c < '0' || c > '9') return -1;
        code = code * 10 + (c - '0');
    }
    return code;
}

void TagSocket::startCounter() {
    counter_.TimeOut = timeOutSeconds();
    counter_.Start();
}

void TagSocket::stopCounter() {
    counter_.Stop();
    answerTimer_->setEnabled(false);
}

long long TagSocket::answerAllowance(int timeOut, long long octets) {
    return std::max(timeOut, 0) + octets / kMinAnswerRate;
}

void TagSocket::startAnswerClock() {
    answerSeconds_ = 0;
    answerOctets_ = 0;
    answerOverdue_ = false;
    answerTimer_->setEnabled(false);
    answerTimer_->setEnabled(true);
}

void TagSocket::answerTick() {
    ++answerSeconds_;
    if (answerSeconds_ > answerAllowance(timeOutSeconds(), answerOctets_)) {
        answerOverdue_ = true;
        pump_.wake();
    }
}

void TagSocket::pumpOnce() {
    pump_.processEvents();
}

void TagSocket::waitForSocket(unsigned interest) {
    const int fd = (interest != 0 && fd_ >= 0) ? fd_ : -1;
    pump_.wait(fd, fd >= 0 ? interest : 0, kLongWait);
}

void TagSocket::abandonLookup() {
    if (!lookup_) return;
    {
        std::lock_guard lock(lookup_->mutex);
        lookup_->abandoned = true;
    }
    lookup_.reset();
}

void TagSocket::Connect() {
    // A dial-up connection comes first; its failures end the connect as they are.
    if (RAS) RAS->Connect();
    if (OnOpen) OnOpen();
    const std::string server = serverText();
    if (server.empty()) RaiseSocketError(errServerRequired);

    const ServerParts parts = splitServer(server);
    const std::string& host = parts.host;
    const std::string& portText = parts.portText;

    resolveHost(host);
    port_ = resolvePort(portText);
    openSocketFor(0);
}

void TagSocket::resolveHost(const std::string& host) {
    if (host.empty() || host.size() > kMaxHostLength) RaiseSocketError(errResolvingHost);
    host_ = host;
    addresses_.clear();
    addressLengths_.clear();

    auto take = [this](const addrinfo* list) {
        for (const addrinfo* a = list; a; a = a->ai_next) {
            if (a->ai_family != AF_INET && a->ai_family != AF_INET6) continue;
            sockaddr_storage address{};
            std::memcpy(&address, a->ai_addr, a->ai_addrlen);
            addresses_.push_back(address);
            addressLengths_.push_back(a->ai_addrlen);
        }
    };

    // An address needs no look-up.
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* numeric = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &numeric) == 0) {
        take(numeric);
        freeaddrinfo(numeric);
        if (addresses_.empty() || firstAddressIsAllOnes()) RaiseSocketError(errResolvingHost);
        return;
    }

    auto lookup = std::make_shared<HostLookup>();
    lookup->pump = &pump_;
    lookup_ = lookup;
    try {
        std::thread([lookup, host] {
            addrinfo hints{};
            hints.ai_socktype = SOCK_STREAM;
            addrinfo* found = nullptr;
            const int error = getaddrinfo(host.c_str(), nullptr, &hints, &found);
            const int systemError = errno;
            std::lock_guard lock(lookup->mutex);
            lookup->error = error;
            lookup->systemError = systemError;
            for (const addrinfo* a = error == 0 ? found : nullptr; a; a = a->ai_next) {
                if (a->ai_family != AF_INET && a->ai_family != AF_INET6) continue;
                sockaddr_storage address{};
                std::memcpy(&address, a->ai_addr, a->ai_addrlen);
                lookup->addresses.push_back(address);
                lookup->lengths.push_back(a->ai_addrlen);
            }
            if (found) freeaddrinfo(found);
            lookup->done = true;
            if (!lookup->abandoned) lookup->pump->wake();
        }).detach();
    } catch (const std::system_error& e) {
        lookup_.reset();
        raiseSocketErrorText(e.what(), false);
    }

    auto done = [&lookup] {
        std::lock_guard lock(lookup->mutex);
        return lookup->done;
    };
    startCounter();
    pumpOnce();
    while (!done() && !canceled_ && !counter_.TimedOut()) waitForSocket(0);
    stopCounter();

    bool finished = false;
    int error = 0, systemError = 0;
    {
        std::lock_guard lock(lookup->mutex);
        finished = lookup->done;
        error = lookup->error;
        systemError = lookup->systemError;
        if (finished) {
            addresses_ = lookup->addresses;
            addressLengths_ = lookup->lengths;
        }
    }
    if (finished) lookup_.reset();
    if (finished && error != 0)
        raiseSocketErrorText(error == EAI_SYSTEM ? mailErrorText(systemError) : gai_strerror(error), false);
    if (counter_.TimedOut()) RaiseTimedOut();
    if (canceled_) RaiseCanceled();
    if (addresses_.empty() || firstAddressIsAllOnes()) RaiseSocketError(errResolvingHost);
}

// The all-ones address is the broadcast one and the value that means "no
// address": not a server to connect to.
bool TagSocket::firstAddressIsAllOnes() const {
    if (addresses_.empty() || addresses_.front().ss_family != AF_INET) return false;
    const auto& address = reinterpret_cast<const sockaddr_in&>(addresses_.front());
    return address.sin_addr.s_addr == INADDR_NONE;
}

std::uint16_t TagSocket::resolvePort(const std::string& portText) {
    if (const auto port = portNumber(portText)) return *port;
    if (ServiceName.empty()) RaiseSocketError(errServiceRequired);
    if (canceled_) RaiseCanceled();
    // The service database is a local file: no need to wait in the loop.
    servent entry{};
    servent* found = nullptr;
    char buffer[1024];
    if (getservbyname_r(ServiceName.c_str(), "tcp", &entry, buffer, sizeof buffer, &found) == 0 && found)
        return ntohs(static_cast<std::uint16_t>(found->s_port));
    return defaultPort();
}

void TagSocket::openSocketFor(std::size_t addressIndex) {
    tls_.reset();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    input_.clear();
    peerClosed_ = false;
    addressIndex_ = addressIndex;
    setPort(addresses_[addressIndex], port_);
    fd_ = ::socket(addresses_[addressIndex].ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) RaiseSocketError(errno);
}

void TagSocket::ConnectSocket() {
    if (canceled_) RaiseCanceled();
    if (fd_ < 0) RaiseSocketError(errNotConnected);
    startCounter();
    pumpOnce();
    for (;;) {
        if (canceled_ || counter_.TimedOut()) break;
        const auto* address = reinterpret_cast<const sockaddr*>(&addresses_[addressIndex_]);
        int error = 0;
        if (::connect(fd_, address, addressLengths_[addressIndex_]) != 0) error = errno;
        while (error == EINPROGRESS || error == EINTR) {
            if (canceled_ || counter_.TimedOut()) break;
            waitForSocket(EventPump::Writable);
            if (canceled_ || counter_.TimedOut() || fd_ < 0) break;
            pollfd probe{fd_, POLLOUT, 0};
            if (::poll(&probe, 1, 0) <= 0) continue;
            socklen_t length = sizeof error;
            if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
        }
        if (canceled_ || counter_.TimedOut()) break;
        if (error == 0) break;
        // Another address of the same name may answer (IPv6 and IPv4).
        if (addressIndex_ + 1 < addresses_.size()) {
            openSocketFor(addressIndex_ + 1);
            continue;
        }
        stopCounter();
        RaiseSocketError(error);
    }
    if (!canceled_ && !counter_.TimedOut()) {
        // Commands are whole lines and each one waits for its reply: holding
        // a small write back for more only delays it.
        sendWithoutDelay();
        acknowledgeAtOnce();
        if (useTlsOn(port_))
            handshake();
        else
            awaitPlainGreeting();
    }
    stopCounter();
    if (canceled_) RaiseCanceled();
    if (counter_.TimedOut()) RaiseTimedOut();
}

void TagSocket::awaitPlainGreeting() {
    // Only worth it when the time-out leaves room for the look.
    if (timeOutSeconds() <= 2 * kGreetingGrace) return;
    const auto grace = std::chrono::steady_clock::now() + std::chrono::seconds(kGreetingGrace);
    for (;;) {
        if (canceled_ || counter_.TimedOut() || fd_ < 0 || !input_.empty()) return;
        pollfd ready{fd_, POLLIN, 0};
        if (::poll(&ready, 1, 0) > 0) return;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(grace - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pump_.wait(fd_, EventPump::Readable, left);
    }
    if (port_ != kImplicitTlsPort && !serverSpeaksTls(std::chrono::seconds(kGreetingGrace))) return;
    if (canceled_) return;
    raiseSocketErrorText("The server " + host_ + " sent no greeting on port " + std::to_string(port_) +
                             ": it expects TLS from the start. Choose SSL/TLS as this mailbox's security.",
                         true);
}

bool TagSocket::serverSpeaksTls(std::chrono::milliseconds budget) {
    const auto deadline = std::chrono::steady_clock::now() + budget;
    const auto left = [&] {
        return std::max(std::chrono::milliseconds(0), std::chrono::duration_cast<std::chrono::milliseconds>(
                                                           deadline - std::chrono::steady_clock::now()));
    };
    const auto& address = addresses_[addressIndex_];
    const int probe = ::socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (probe < 0) return false;
    struct Close {
        int fd;
        ~Close() { ::close(fd); }
    } closeProbe{probe};
    if (::connect(probe, reinterpret_cast<const sockaddr*>(&address), addressLengths_[addressIndex_]) != 0) {
        if (errno != EINPROGRESS) return false;
        while (!canceled_ && left().count() > 0) {
            pump_.wait(probe, EventPump::Writable, left());
            pollfd ready{probe, POLLOUT, 0};
            if (::poll(&ready, 1, 0) > 0) break;
        }
        int error = 0;
        socklen_t length = sizeof error;
        if (getsockopt(probe, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) return false;
    }
    // Only a hello goes out: nothing of the user's is sent on the probe.
    try {
        TlsSession tls(probe, host_, caFile());
        while (!canceled_ && left().count() > 0) {
            switch (tls.handshake()) {
            case TlsSession::Status::Done: return true;
            case TlsSession::Status::WantRead: pump_.wait(probe, EventPump::Readable, left()); break;
            case TlsSession::Status::WantWrite: pump_.wait(probe, EventPump::Writable, left()); break;
            case TlsSession::Status::Closed:
            case TlsSession::Status::Failed: return tls.certificateSeen();
            }
        }
        return tls.certificateSeen();
    } catch (const ESocketError&) {
        return false;
    }
}

void TagSocket::StartTLS() {
    if (canceled_) RaiseCanceled();
    if (fd_ < 0) RaiseSocketError(errNotConnected);
    if (!input_.empty()) raiseSocketErrorText(mailErrorText(errDataBeforeTls), true);
    startCounter();
    pumpOnce();
    if (!canceled_ && !counter_.TimedOut()) handshake();
    stopCounter();
    if (canceled_) RaiseCanceled();
    if (counter_.TimedOut()) RaiseTimedOut();
}

void TagSocket::handshake() {
    try {
        tls_ = std::make_unique<TlsSession>(fd_, host_, caFile(), pinnedCertificate());
    } catch (const ESocketError& e) {
        raiseSocketErrorText(e.what(), true);
    }
    for (;;) {
        if (canceled_ || counter_.TimedOut()) return;
        switch (tls_->handshake()) {
        case TlsSession::Status::Done: return;
        case TlsSession::Status::WantRead: waitForSocket(EventPump::Readable); break;
        case TlsSession::Status::WantWrite: waitForSocket(EventPump::Writable); break;
        case TlsSession::Status::Closed: raiseSocketErrorText(mailErrorText(errConnectionClosed), true);
        case TlsSession::Status::Failed:
            if (const auto& untrusted = tls_->untrustedCertificate()) {
                std::string text = tls_->errorText();
                CertificateDetails details = *untrusted;
                stopCounter();
                if (OnError) OnError(text);
                Disconnect();
                throw EUntrustedCertificate(text, std::move(details));
            }
            raiseSocketErrorText(tls_->errorText(), true);
        }
    }
}

TagSocket::Io TagSocket::receiveSome(char* buffer, std::size_t size, std::size_t& received) {
    received = 0;
    if (fd_ < 0) {
        lastError_ = errNotConnected;
        return Io::Failed;
    }
    if (tls_) {
        switch (tls_->read(buffer, size, received)) {
        case TlsSession::Status::Done: acknowledgeAtOnce(); return Io::Done;
        case TlsSession::Status::WantRead: return Io::WantRead;
        case TlsSession::Status::WantWrite: return Io::WantWrite;
        case TlsSession::Status::Closed: return Io::Closed;
        case TlsSession::Status::Failed: lastError_ = -1; return Io::Failed;
        }
    }
    for (;;) {
        const ssize_t n = ::recv(fd_, buffer, size, 0);
        if (n > 0) {
            received = static_cast<std::size_t>(n);
            acknowledgeAtOnce();
            return Io::Done;
        }
        if (n == 0) return Io::Closed;
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return Io::WantRead;
        lastError_ = errno;
        return Io::Failed;
    }
}

TagSocket::Io TagSocket::sendSome(const char* data, std::size_t size, std::size_t& sent) {
    sent = 0;
    if (fd_ < 0) {
        lastError_ = errNotConnected;
        return Io::Failed;
    }
    if (tls_) {
        switch (tls_->write(data, size, sent)) {
        case TlsSession::Status::Done: return Io::Done;
        case TlsSession::Status::WantRead: return Io::WantRead;
        case TlsSession::Status::WantWrite: return Io::WantWrite;
        case TlsSession::Status::Closed: lastError_ = errConnectionClosed; return Io::Failed;
        case TlsSession::Status::Failed: lastError_ = -1; return Io::Failed;
        }
    }
    for (;;) {
        const ssize_t n = ::send(fd_, data, size, MSG_NOSIGNAL);
        if (n >= 0) {
            sent = static_cast<std::size_t>(n);
            return Io::Done;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return Io::WantWrite;
        lastError_ = errno;
        return Io::Failed;
    }
}

TagSocket::Io TagSocket::fillInput() {
    char* room = input_.reserve(kBlockSize);
    std::size_t received = 0;
    const Io io = receiveSome(room, kBlockSize, received);
    input_.commit(received);
    return io;
}

void TagSocket::raiseIoError() {
    // A connection that failed once is of no further use.
    if (lastError_ == -1 && tls_) raiseSocketErrorText(tls_->errorText(), true);
    raiseSocketErrorText(mailErrorText(lastError_), true);
}

void TagSocket::SendLine(const std::string& line) {
    sendData(line + "\r\n");
}

void TagSocket::SendLines(const std::vector<std::string>& lines) {
    std::string data;
    for (const std::string& line : lines) data += line + "\r\n";
    sendData(data);
}

void TagSocket::sendWithoutDelay() {
    if (fd_ < 0) return;
    const int on = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

void TagSocket::acknowledgeAtOnce() {
    // A server that writes a reply line and its answer in two small writes,
    // with Nagle's algorithm on, holds the second until the first is
    // acknowledged; a delayed acknowledgement costs it 40 ms on Linux, per
    // command. Linux drops back to delayed acknowledgements by itself, so
    // this is asked again after every read.
    if (fd_ < 0) return;
    const int on = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
}

void TagSocket::sendData(const std::string& data) {
    // A Cancel handled between waits already closed the socket: it is
    // the cancel, not a missing connection, that ends the command.
    if (canceled_) RaiseCanceled();
    if (fd_ < 0) RaiseSocketError(errNotConnected);
    std::size_t sent = 0;
    startCounter();
    for (;;) {
        pumpOnce();
        if (canceled_ || counter_.TimedOut()) break;
        std::size_t n = 0;
        const Io io = sendSome(data.data() + sent, data.size() - sent, n);
        sent += n;
        if (sent == data.size()) break;
        if (io == Io::Failed) {
            if (canceled_) break;
            stopCounter();
            raiseIoError();
        }
        if (io == Io::WantRead || io == Io::WantWrite)
            waitForSocket(io == Io::WantRead ? EventPump::Readable : EventPump::Writable);
    }
    stopCounter();
    if (counter_.TimedOut()) RaiseTimedOut();
    if (canceled_) RaiseCanceled();
}

int TagSocket::ReceiveLine(std::string& line) {
    if (canceled_) RaiseCanceled();
    if (fd_ < 0) RaiseSocketError(errNotConnected);
    line.clear();
    lineCutByClose_ = false;
    std::string received;
    bool complete = false;
    startCounter();
    pumpOnce();
    for (;;) {
        if (input_.takeLine(received)) {
            complete = true;
            break;
        }
        if (canceled_ || counter_.TimedOut() || peerClosed_) break;
        const Io io = fillInput();
        if (io == Io::Done) continue;
        if (io == Io::Closed) {
            peerClosed_ = true;
            continue;
        }
        if (io == Io::Failed) {
            if (canceled_) break;
            stopCounter();
            raiseIoError();
        }
        waitForSocket(io == Io::WantWrite ? EventPump::Writable : EventPump::Readable);
    }
    stopCounter();
    int result = -1;
    if (complete) {
        line = TReplyBuffer::finishLine(received);
        result = ReplyCode(line);
    } else {
        lineCutByClose_ = peerClosed_;
    }
    if (counter_.TimedOut()) RaiseTimedOut();
    if (canceled_) RaiseCanceled();
    return result;
}

void TagSocket::ReceiveToStream(std::string& stream, long long expectedSize, long long maxSize) {
    if (canceled_) RaiseCanceled();
    if (fd_ < 0) RaiseSocketError(errNotConnected);
    const std::size_t start = stream.size();
    const auto limit = static_cast<std::size_t>(std::max(maxSize, 0LL));
    input_.startAnswer();
    startCounter();
    // The time-out below measures silence only; this bounds the whole answer,
    // so a server that trickles an octet now and then cannot hold a run for ever.
    startAnswerClock();
    pumpOnce();
    for (;;) {
        if (canceled_ || counter_.TimedOut() || answerOverdue_) break;
        Io io = Io::Done;
        if (input_.empty()) io = peerClosed_ ? Io::Closed : fillInput();
        if (io == Io::Failed) {
            if (canceled_) break;
            stopCounter();
            raiseIoError();
        }
        if (OnProgress) {
            const long long position = static_cast<long long>(stream.size() - start);
            if (expectedSize > 0)
                OnProgress(static_cast<int>(position * 100 / expectedSize), static_cast<int>(position));
            else
                OnProgress(-1, static_cast<int>(position));
        }
        if (io == Io::Done) {
            const TReplyBuffer::Answer answer = input_.takeAnswer(stream, start, limit);
            answerOctets_ = static_cast<long long>(stream.size() - start);
            if (answer == TReplyBuffer::Answer::Complete) break;
            if (answer == TReplyBuffer::Answer::TooLarge) {
                stopCounter();
                raiseSocketErrorText(mailErrorText(errAnswerTooLarge), true);
            }
            // The time-out measures silence, not the whole transfer.
            startCounter();
            pumpOnce();
            continue;
        }
        if (io == Io::Closed) {
            // Only the end line, a cancel or the time-out end the answer.
            peerClosed_ = true;
            waitForSocket(0);
            continue;
        }
        waitForSocket(io == Io::WantWrite ? EventPump::Writable : EventPump::Readable);
    }
    stopCounter();
    if (counter_.TimedOut() || answerOverdue_) RaiseTimedOut();
    if (canceled_) RaiseCanceled();
}

void TagSocket::Disconnect() {
    if (fd_ >= 0) {
        if (OnClosing) OnClosing();
        if (tls_) {
            tls_->shutdown();
            tls_.reset();
        }
        ::close(fd_);
        fd_ = -1;
        input_.clear();
        peerClosed_ = false;
        if (OnClosed) OnClosed();
    }
    // Hangs up only what it dialled itself, and ends a dial in progress.
    if (RAS) RAS->Disconnect();
}

bool TagSocket::IdleConnectionUsable() const {
    if (fd_ < 0 || peerClosed_ || !input_.empty()) return false;
    // Between commands nothing is owed: anything readable, an end of the
    // connection included, means the session is no longer the one left idle.
    pollfd probe{fd_, POLLIN | POLLRDHUP, 0};
    return ::poll(&probe, 1, 0) == 0;
}

void TagSocket::Cancel() {
    canceled_ = true;
    if (OnCancel) OnCancel();
    abandonLookup();
    Disconnect();
    pump_.wake();
}

void TagSocket::RaiseSocketError(int code) {
    if (code == 0) return;
    raiseSocketErrorText(mailErrorText(code), code == ECONNRESET);
}

void TagSocket::raiseSocketErrorText(std::string text, bool disconnect) {
    stopCounter();
    if (OnError) OnError(text);
    if (disconnect) Disconnect();
    throw ESocketError(text);
}

void TagSocket::RaiseTimedOut() {
    stopCounter();
    std::string text = mailErrorText(errTimedOut);
    if (OnError) OnError(text);
    abandonLookup();
    Disconnect();
    throw ETimedOutError(text);
}

void TagSocket::RaiseCanceled() {
    stopCounter();
    std::string text = mailErrorText(errCanceled);
    if (OnError) OnError(text);
    throw ECanceledError(text);
}

void TmsMailBase::Open() {
    if (IsConnected() && sessionAccount() != openedFor_) {
        // A session kept for another account is ended, never reused.
        try {
            Close();
        } catch (const std::exception&) {
        }
        Disconnect();
    }
    if (IsConnected() && !IdleConnectionUsable()) Disconnect();
    if (!IsConnected()) {
        Connect();
        LogIn();
        openedFor_ = sessionAccount();
    }
}

std::string TmsMailBase::sessionAccount() const {
    return Server + '\n' + std::to_string(Security ? static_cast<int>(*Security) : -1);
}

void TmsMailBase::Close() {
    if (!IsConnected()) return;
    try {
        LogOut();
    } catch (const EServerError&) {
        // The server ends the session after QUIT whatever it answered; a
        // socket kept open would pass for a session the next time.
        Disconnect();
        throw;
    }
    Disconnect();
}

}  // namespace quorvel
