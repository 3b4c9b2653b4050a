#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mail/mail_errors.h"
#include "mail/mail_security.h"
#include "mail/reply_buffer.h"
#include "mail/time_counter.h"
#include "platform/event_pump.h"
#include "platform/timer.h"

namespace quorvel {

class TagRas;
class TlsSession;

using TNotifyEvent = std::function<void()>;
// The handler may change the text; the raised exception carries what it leaves.
using TmsErrorEvent = std::function<void(std::string& Msg)>;
// Perc is -1 when the size of the answer is not known.
using TmsProgressEvent = std::function<void(int Perc, int Transferred)>;

// A TCP client socket that exchanges CR LF terminated lines and multi-line
// answers ending with a "." line. Every wait runs in the program's event loop,
// so the window's events (the user's Cancel above all) run while it waits;
// a wait ends when the socket is ready, the time-out counter runs out or the
// operation is canceled.
class TagSocket {
public:
    TagSocket(EventPump& pump, TimerFactory& timers);
    virtual ~TagSocket();
    TagSocket(const TagSocket&) = delete;
    TagSocket& operator=(const TagSocket&) = delete;

    std::string ServiceName;  // looked up in the service database for the port
    std::string LastReply;    // the last reply line, without its line end

    // The dial-up connection brought up before every connect and taken down
    // after every close; none by default.
    TagRas* RAS = nullptr;

    TNotifyEvent OnOpen;      // Connect, before the network is touched
    TNotifyEvent OnClosing;   // Disconnect, before the socket is closed
    TNotifyEvent OnClosed;    // Disconnect, after the socket is closed
    TNotifyEvent OnCancel;
    TmsErrorEvent OnError;    // just before a socket error, time-out or cancel is raised
    TmsProgressEvent OnProgress;

    bool IsConnected() const { return fd_ >= 0; }
    // Whether an idle connection can still carry a command: the server has
    // neither closed it nor sent anything unasked (an idle session's
    // time-out notice, for one). Looks without waiting.
    bool IdleConnectionUsable() const;

    virtual void ResetState();
    // The number formed by the first three characters, or -1.
    virtual int ReplyCode(const std::string& reply);
    // Prepares the connection: address, port and socket; does not connect yet.
    virtual void Connect();
    virtual void Disconnect();
    // Aborts the operation in progress; safe from a handler that runs inside a wait.
    virtual void Cancel();

    void ConnectSocket();
    // Begins TLS on the connected socket (after the server agreed to STLS).
    // Octets the server sent before TLS began end the connection instead:
    // they would pass for answers of the protected session.
    void StartTLS();
    void SendLine(const std::string& line);
    // The lines in one write, each with its CR LF: commands sent ahead of
    // their replies travel together.
    void SendLines(const std::vector<std::string>& lines);
    // One line into `line`; returns ReplyCode of it, or -1 when the
    // connection ended before a complete line.
    int ReceiveLine(std::string& line);
    // Appends a multi-line answer, terminating "." line included, exactly as
    // received. `expectedSize` (-1 unknown) only scales the progress. An
    // answer that grows past `maxSize` fails instead of filling the memory.
    // Besides the time-out on silence, the whole answer must arrive within
    // answerAllowance seconds, or it fails as timed out.
    void ReceiveToStream(std::string& stream, long long expectedSize,
                         long long maxSize = kDefaultMaxAnswer);

    // Nothing for code 0; otherwise OnError, then ESocketError.
    void RaiseSocketError(int code);
    [[noreturn]] void RaiseTimedOut();
    [[noreturn]] void RaiseCanceled();

    static constexpr long long kDefaultMaxAnswer = 64LL << 20;
    // Seconds of silence after a plain connect before looking whether the
    // server waits for TLS instead, and the most the look may take.
    static constexpr int kGreetingGrace = 3;
    static constexpr std::size_t kMaxLine = TReplyBuffer::kMaxLine;  // longer reply lines are cut
    // The slowest average rate an answer may keep once its first TimeOut
    // seconds are over: far below any working link, far above a trickle.
    static constexpr long long kMinAnswerRate = 1024;  // octets per second
    // Seconds a multi-line answer may take after `octets` of it arrived:
    // TimeOut, plus one second per kMinAnswerRate octets.
    static long long answerAllowance(int timeOut, long long octets);

protected:
    // Server, port and time-out come from the protocol class's properties.
    virtual std::string serverText() const = 0;
    virtual std::uint16_t defaultPort() const = 0;
    virtual int timeOutSeconds() const = 0;
    // Whether to speak TLS from the first octet on `port`.
    virtual bool useTlsOn(std::uint16_t port) const = 0;
    virtual std::string caFile() const = 0;
    // The fingerprint of a certificate the user chose to trust; empty: none.
    virtual std::string pinnedCertificate() const { return {}; }

    // The host and port of the connection being made or held.
    const std::string& host() const { return host_; }
    std::uint16_t port() const { return port_; }

    bool canceled() const { return canceled_; }
    // True once TLS protects the connection (from the first octet or after STLS).
    bool encrypted() const { return tls_ != nullptr; }
    // Sends small writes at once instead of holding them until the previous
    // ones are acknowledged (commands sent ahead would wait a round trip).
    void sendWithoutDelay();
    // Acknowledges what arrived at once rather than after the kernel's delay.
    void acknowledgeAtOnce();
    // The socket, for looking at its options; -1 when there is none.
    int socketHandle() const { return fd_; }
    // True when the connection ended before the reply line was complete.
    bool lastLineCutByClose() const { return lineCutByClose_; }
    // Raises a failure whose text is already known (TLS errors).
    [[noreturn]] void raiseSocketErrorText(std::string text, bool disconnect);

private:
    struct HostLookup;
    enum class Io { Done, WantRead, WantWrite, Closed, Failed };

    void startCounter();
    void stopCounter();
    // Runs pending events once (the user's commands may run here).
    void pumpOnce();
    // Blocks in the event loop until the socket is ready for `interest`, the
    // counter runs out, the operation is canceled or another event woke it.
    void waitForSocket(unsigned interest);
    void abandonLookup();

    void resolveHost(const std::string& host);
    bool firstAddressIsAllOnes() const;
    std::uint16_t resolvePort(const std::string& portText);
    void openSocketFor(std::size_t addressIndex);
    // The TLS handshake; the caller runs the counter.
    void handshake();
    // A plain connection that stays silent for a few seconds may be talking
    // to a server that waits for TLS: find out and say so, rather than wait
    // the whole time-out for a greeting that never comes.
    void awaitPlainGreeting();
    bool serverSpeaksTls(std::chrono::milliseconds budget);

    Io receiveSome(char* buffer, std::size_t size, std::size_t& received);
    Io sendSome(const char* data, std::size_t size, std::size_t& sent);
    void sendData(const std::string& data);
    // Reads what the socket holds into the input buffer.
    Io fillInput();
    void startAnswerClock();
    void answerTick();
    [[noreturn]] void raiseIoError();

    EventPump& pump_;
    TTimeCounter counter_;

    int fd_ = -1;
    std::vector<sockaddr_storage> addresses_;
    std::vector<socklen_t> addressLengths_;
    std::size_t addressIndex_ = 0;
    std::string host_;
    std::uint16_t port_ = 0;
    std::unique_ptr<TlsSession> tls_;
    std::shared_ptr<HostLookup> lookup_;

    bool canceled_ = false;
    bool peerClosed_ = false;
    bool lineCutByClose_ = false;
    int lastError_ = 0;

    // Octets received after the last line taken; kept for the next read.
    TReplyBuffer input_;

    // The whole-answer clock of ReceiveToStream.
    std::unique_ptr<Timer> answerTimer_;
    long long answerSeconds_ = 0;
    long long answerOctets_ = 0;
    bool answerOverdue_ = false;
};

// What every mail protocol client is configured with.
class TmsMailBase : public TagSocket {
public:
    TmsMailBase(EventPump& pump, TimerFactory& timers) : TagSocket(pump, timers) {}

    std::string Server;  // host name or address, optionally ":" and a port ("[::1]:110" for IPv6)
    std::uint16_t DefaultPort = 0;
    std::int32_t TimeOut = 60;  // seconds of silence before an operation fails
    // Not set: SSL/TLS on port 995, otherwise none (see securityFor).
    std::optional<TmsSecurity> Security;
    std::string CAFile;  // certificate authorities for TLS; empty: the system's
    // The SHA-256 fingerprint ("AB:CD:...") of a certificate the user chose to
    // trust for this mailbox although the usual checks refuse it.
    std::string CertificatePin;

    virtual void LogIn() = 0;
    virtual void LogOut() = 0;

    // Connect and log in, unless a usable session is already open; one the
    // server ended while it was idle is closed and opened again.
    void Open();
    // Log out and disconnect, if a session is open.
    void Close();

protected:
    // What a session serves: a kept session is used again only while this
    // stays the same.
    virtual std::string sessionAccount() const;

private:
    std::string openedFor_;

protected:
    std::string serverText() const override { return Server; }
    std::uint16_t defaultPort() const override { return DefaultPort; }
    int timeOutSeconds() const override { return TimeOut; }
    bool useTlsOn(std::uint16_t port) const override { return securityFor(Security, port) == TmsSecurity::SSLTLS; }
    std::string caFile() const override { return CAFile; }
    std::string pinnedCertificate() const override { return CertificatePin; }
};

}  // namespace quorvel
