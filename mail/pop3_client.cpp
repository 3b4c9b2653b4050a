#include "mail/pop3_client.h"

#include <openssl/evp.h>

#include <algorithm>

#include "platform/ascii_text.h"
#include "platform/files.h"

namespace quorvel {

namespace {

std::string trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// The header lines of a TOP answer: split at CR, LF or CR LF (a last line
// without its end counts), up to the first empty line. Lines past the caps go
// the way of the body, so a crafted header block costs no more than an honest one.
TmsHeaders headerLines(const std::string& text) {
    TmsHeaders lines;
    std::size_t octets = 0;
    std::size_t i = 0;
    while (i < text.size() && lines.size() < TmsRemotePOP::kMaxHeaderLines) {
        std::size_t end = text.find_first_of("\r\n", i);
        if (end == std::string::npos) end = text.size();
        if (end == i) break;  // the empty line before the body
        octets += end - i;
        if (octets > TmsRemotePOP::kMaxHeaderOctets) break;
        lines.emplace_back(text, i, end - i);
        i = end + 1;
        if (end < text.size() && text[end] == '\r' && i < text.size() && text[i] == '\n') ++i;
    }
    lines.shrink_to_fit();
    return lines;
}

// Room for a RETR answer: the listed size counts the octets of the stored
// message, which can grow by line-end conversion and dot-stuffing on the way.
long long retrieveLimit(std::int32_t listedSize) {
    if (listedSize <= 0) return TagSocket::kDefaultMaxAnswer;
    return 2LL * listedSize + (1LL << 20);
}

// The "n word" lines of a whole-mailbox UIDL or LIST answer, which must
// number the messages 1 to `count` in order; false when they do not.
bool scanLines(const std::string& answer, int count, std::vector<std::string>& words) {
    words.clear();
    std::size_t i = 0;
    for (;;) {
        std::size_t end = answer.find('\n', i);
        if (end == std::string::npos) return false;
        std::string line = answer.substr(i, end - i);
        i = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == ".") break;
        const std::size_t space = line.find(' ');
        if (space == std::string::npos) return false;
        if (line.substr(0, space) != std::to_string(words.size() + 1)) return false;
        const std::string word = trim(line.substr(space + 1));
        if (word.empty() || word.find(' ') != std::string::npos) return false;
        words.push_back(word);
        if (static_cast<int>(words.size()) > count) return false;
    }
    return static_cast<int>(words.size()) == count;
}

// Which of the ids occur more than once.
std::vector<bool> sharedIds(const std::vector<std::string>& uids) {
    std::vector<std::size_t> order(uids.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return uids[a] < uids[b]; });
    std::vector<bool> shared(uids.size(), false);
    for (std::size_t k = 1; k < order.size(); ++k)
        if (uids[order[k]] == uids[order[k - 1]]) shared[order[k]] = shared[order[k - 1]] = true;
    return shared;
}

// Every file the client writes holds the user's mail.
constexpr unsigned kPrivateFile = 0600;

}  // namespace

TmsCustomPOP::TmsCustomPOP(EventPump& pump, TimerFactory& timers) : TmsMailBase(pump, timers) {
    DefaultPort = 110;
    ServiceName = "pop3";
}

void TmsCustomPOP::CheckProperties() {
    if (UserName.empty()) raiseSocketErrorText("UserName property is required", false);
    if (SignIn == TmsSignIn::OAuth2) {
        if (!AccessToken) raiseSocketErrorText("AccessToken property is required", false);
    } else if (Password.empty()) {
        raiseSocketErrorText("Password property is required", false);
    }
}

void TmsCustomPOP::Connect() {
    CheckProperties();
    ResetState();
    TmsMailBase::Connect();
}

int TmsCustomPOP::ReplyCode(const std::string& reply) {
    if (reply.empty()) return 0;
    if (reply[0] == '+') return 1;
    if (reply[0] == '-') return -1;
    return 0;
}

void TmsCustomPOP::ResetState() {
    TmsMailBase::ResetState();
    owed_.clear();
    acceptedDeletions_.clear();
}

int TmsCustomPOP::receiveReply(std::string& reply) {
    if (!owed_.empty()) owed_.pop_front();
    return ReceiveLine(reply);
}

void TmsCustomPOP::sendAhead(const std::vector<std::pair<std::string, bool>>& commands) {
    std::vector<std::string> lines;
    lines.reserve(commands.size());
    for (const auto& command : commands) lines.push_back(command.first);
    SendLines(lines);
    for (const auto& command : commands) owed_.push_back({command.second});
}

void TmsCustomPOP::sendDeleteAhead(int index) {
    SendLines({"DELE " + std::to_string(index + 1)});
    owed_.push_back({false, index});
}

void TmsCustomPOP::readDeleteReply(int index) {
    std::string reply;
    const int code = receiveReply(reply);
    if (lastLineCutByClose()) raiseSocketErrorText(mailErrorText(errConnectionClosed), true);
    if (code == 1) acceptedDeletions_.push_back(index);
}

void TmsCustomPOP::readOwedDeletions() {
    while (!owed_.empty() && owed_.front().deleted >= 0) readDeleteReply(owed_.front().deleted);
}

void TmsCustomPOP::dropOwedReplies() {
    // The progress of answers nobody asked for any more is not shown, and
    // LastReply keeps the line that stopped the run.
    const std::string stopped = LastReply;
    TmsProgressEvent progress = std::move(OnProgress);
    OnProgress = nullptr;
    struct Restore {
        TmsCustomPOP& pop;
        const std::string& stopped;
        TmsProgressEvent& progress;
        ~Restore() {
            pop.OnProgress = std::move(progress);
            pop.LastReply = stopped;
        }
    } restore{*this, stopped, progress};
    while (!owed_.empty()) {
        if (owed_.front().deleted >= 0) {
            readDeleteReply(owed_.front().deleted);
            continue;
        }
        const bool withAnswer = owed_.front().withAnswer;
        std::string reply;
        const int code = receiveReply(reply);
        if (lastLineCutByClose()) raiseSocketErrorText(mailErrorText(errConnectionClosed), true);
        if (code == 1 && withAnswer) {
            std::string ignored;
            ReceiveToStream(ignored, -1);
        }
    }
}

void TmsCustomPOP::checkReply() {
    receiveReply(LastReply);
    // A connection that ended before the reply has no server line to show.
    if (lastLineCutByClose()) raiseSocketErrorText(mailErrorText(errConnectionClosed), true);
    if (ReplyCode(LastReply) != 1) throw EServerError(LastReply);
}

std::string TmsCustomPOP::askAccessToken(bool renew) {
    try {
        std::string token = AccessToken(renew);
        if (canceled()) RaiseCanceled();
        return token;
    } catch (const ECanceledError&) {
        throw;
    } catch (...) {
        // The provider's wait ended by the user's Cancel is a cancel.
        if (canceled()) RaiseCanceled();
        throw;
    }
}

void TmsCustomPOP::LogIn() {
    // Whatever stops the log-in, no half-open session may stay behind: the
    // next Open would take it for this account's session.
    struct DisconnectUnlessDone {
        TmsCustomPOP& pop;
        bool done = false;
        ~DisconnectUnlessDone() {
            if (done) return;
            // The log-in's own error is the one to report.
            try {
                pop.Disconnect();
            } catch (...) {
            }
        }
    } guard{*this};
    // A sign-in with the provider can take the user a while (a browser): it
    // comes before the server's clock starts, and a token the server refused
    // is renewed with the session closed, then the log-in starts afresh.
    securityChosen_ = false;
    for (bool renewed = false;; renewed = true) {
        ResetState();
        capabilities_.clear();
        accessToken_.clear();
        tokenRenewed_ = renewed;
        if (SignIn == TmsSignIn::OAuth2) accessToken_ = askAccessToken(renewed);
        // The closed session's socket is gone: a new one for the new session.
        if (renewed) Connect();
        try {
            logInOnce();
            break;
        } catch (const TokenRefused&) {
            Disconnect();
        }
    }
    guard.done = true;
    if (securityChosen_ && OnSecurityChosen) OnSecurityChosen();
}

void TmsCustomPOP::logInOnce() {
    ConnectSocket();
    checkReply();
    const std::string greeting = LastReply;
    readCapabilities();
    const bool choosing =
        !Security && securityFor(Security, port()) == TmsSecurity::None && capabilities_.has("STLS");
    if (choosing) Security = TmsSecurity::STARTTLS;
    // A log-in that fails settles nothing: a retry (after the user trusted
    // the certificate, or with a renewed token) chooses afresh.
    struct Unchoose {
        TmsCustomPOP& pop;
        bool choosing;
        bool done = false;
        ~Unchoose() {
            if (choosing && !done) pop.Security.reset();
        }
    } unchoose{*this, choosing};
    if (securityFor(Security, port()) == TmsSecurity::STARTTLS) {
        // Without TLS the password would cross the network readable.
        if (!capabilities_.has("STLS"))
            raiseSocketErrorText("The server " + host() + " does not offer STARTTLS; the password was not sent",
                                 true);
        SendLine("STLS");
        checkReply();
        StartTLS();
        // What was said before TLS may have been changed on the way.
        readCapabilities();
    }
    // RFC 6856: a server that offers UTF8 (Courier) shows a message whose
    // header lines hold raw UTF-8 only to a client that asked for it, and a
    // stand-in ("Cannot display Unicode content") to others. The lines are
    // then shown as UTF-8, as valid UTF-8 always is.
    utf8_ = false;
    if (capabilities_.has("UTF8")) {
        SendLine("UTF8");
        std::string reply;
        const int code = ReceiveLine(reply);
        LastReply = reply;
        if (lastLineCutByClose()) raiseSocketErrorText(mailErrorText(errConnectionClosed), true);
        utf8_ = code == 1;
    }
    sendCredentials(greeting);
    Stat();
    unchoose.done = true;
    if (choosing) securityChosen_ = true;
}

void TmsCustomPOP::sendCredentials(const std::string& greeting) {
    if (SignIn == TmsSignIn::OAuth2) {
        try {
            signInWithToken();
        } catch (const EMailboxInUse&) {
            throw;
        } catch (const EServerError& refused) {
            // A locked mailbox is no fault of the token.
            if (MailboxInUse(refused.what())) throwRefusedLogIn(host(), refused.what());
            throw;
        }
        return;
    }
    const bool apop = SignIn == TmsSignIn::APOP;
    const std::string timestamp = apop ? GreetingTimestamp(greeting) : std::string();
    // Anyone on the path can strip the timestamp from a clear-text greeting;
    // falling back to USER/PASS would then hand them the password.
    if (apop && timestamp.empty() && !encrypted())
        raiseSocketErrorText("The server " + host() + " did not offer APOP; the password was not sent in the clear",
                             true);
    try {
        if (!timestamp.empty()) {
            SendLine("APOP " + UserName + " " + ApopDigest(timestamp, Password));
            checkReply();
        } else if (const auto mechanism = passwordMechanism()) {
            authenticate(*mechanism);
        } else {
            SendLine("USER " + UserName);
            checkReply();
            SendLine("PASS " + Password);
            checkReply();
        }
    } catch (const EServerError& refused) {
        throwRefusedLogIn(host(), refused.what());
    }
}

void TmsCustomPOP::signInWithToken() {
    const TmsCapabilities::Capability* sasl = capabilities_.find("SASL");
    const auto offered = [&](std::string_view name) {
        if (sasl)
            for (const std::string& argument : sasl->arguments)
                if (asciiUpper(argument) == name) return true;
        return false;
    };
    // OAUTHBEARER is the standard one and binds the token to this server.
    const bool bearer = offered("OAUTHBEARER");
    if (!bearer && !offered("XOAUTH2"))
        raiseSocketErrorText("The server " + host() +
                                 " does not offer OAuth 2.0 sign-in (OAUTHBEARER or XOAUTH2); nothing was sent",
                             true);
    std::unique_ptr<SaslMechanism> mechanism;
    if (bearer)
        mechanism = std::make_unique<SaslOAuthBearer>(UserName, accessToken_, host(), port());
    else
        mechanism = std::make_unique<SaslXOAuth2>(UserName, accessToken_);
    try {
        authenticate(*mechanism);
    } catch (const EServerError& refused) {
        const std::string reply = refused.what();
        // Only a refusal of the token itself is worth a fresh one; the
        // mailbox in use or a fault of the server is not.
        const std::size_t open = reply.find('[');
        const bool otherCode = open != std::string::npos && open <= 5 && reply.compare(open, 6, "[AUTH]") != 0;
        if (otherCode) throw;
        if (tokenRenewed_)
            throw EServerError("The server " + host() + " refused the OAuth 2.0 sign-in. It said: " + reply);
        throw TokenRefused{};
    }
}

std::unique_ptr<SaslMechanism> TmsCustomPOP::passwordMechanism() {
    if (securityFor(Security, port()) == TmsSecurity::None) return nullptr;
    const TmsCapabilities::Capability* sasl = capabilities_.find("SASL");
    if (!sasl) return nullptr;
    const auto offered = [&](std::string_view name) {
        for (const std::string& argument : sasl->arguments)
            if (asciiUpper(argument) == name) return true;
        return false;
    };
    if (offered("SCRAM-SHA-256")) return std::make_unique<SaslScramSha256>(UserName, Password);
    if (offered("PLAIN")) return std::make_unique<SaslPlain>("", UserName, Password);
    return nullptr;
}

void TmsCustomPOP::authenticate(SaslMechanism& mechanism) {
    // A secret crosses the network readable only when the user chose so.
    if (mechanism.sendsSecretInClear() && securityFor(Security, port()) == TmsSecurity::None &&
        Security != TmsSecurity::None)
        raiseSocketErrorText("The session with " + host() + " is not encrypted; " + std::string(mechanism.name()) +
                                 " was not used",
                             true);
    // Every failure of the mechanism leaves the session in no state to go on
    // with: it is ended, and the server is not trusted further.
    const auto fail = [&](const ESaslError& error) {
        raiseSocketErrorText(error.what(), true);
    };
    const std::string command = "AUTH " + std::string(mechanism.name());
    std::string initial;
    try {
        initial = saslBase64Encode(mechanism.initialResponse());
    } catch (const ESaslError& error) {
        fail(error);
    }
    // A command line holds at most 255 octets; a longer first response goes
    // as the answer to the server's first, empty challenge.
    const bool initialInCommand = command.size() + 1 + std::max<std::size_t>(initial.size(), 1) + 2 <= 255;
    SendLine(initialInCommand ? command + " " + (initial.empty() ? "=" : initial) : command);
    bool initialOwed = !initialInCommand;
    for (int round = 0;; ++round) {
        std::string reply;
        const int code = ReceiveLine(reply);
        LastReply = reply;
        if (lastLineCutByClose()) raiseSocketErrorText(mailErrorText(errConnectionClosed), true);
        if (code == -1) {
            const std::string detail = mechanism.failureDetail();
            throw EServerError(detail.empty() ? reply : reply + " (" + detail + ")");
        }
        if (reply.starts_with("+OK")) {
            try {
                mechanism.finish();
            } catch (const ESaslError& error) {
                fail(error);
            }
            return;
        }
        if (code != 1 || (reply != "+" && !reply.starts_with("+ ")) || round >= kMaxSaslRounds) {
            // "*" cancels the exchange, as RFC 5034 has it.
            SendLine("*");
            raiseSocketErrorText(round >= kMaxSaslRounds ? "The server's " + std::string(mechanism.name()) +
                                                                " exchange does not end"
                                                          : "The server's answer to AUTH is not a challenge",
                                 true);
        }
        try {
            const std::string challenge = saslBase64Decode(reply.size() > 2 ? std::string_view(reply).substr(2) : "");
            if (initialOwed) {
                initialOwed = false;
                if (!challenge.empty()) throw ESaslError("The server's first challenge is not empty");
                SendLine(initial);
            } else {
                SendLine(saslBase64Encode(mechanism.respond(challenge)));
            }
        } catch (const ESaslError& error) {
            SendLine("*");
            fail(error);
        }
    }
}

void TmsCustomPOP::readCapabilities() {
    capabilities_.clear();
    SendLine("CAPA");
    std::string reply;
    const int code = ReceiveLine(reply);
    LastReply = reply;
    if (lastLineCutByClose()) raiseSocketErrorText(mailErrorText(errConnectionClosed), true);
    if (code != 1) return;
    std::string answer;
    ReceiveToStream(answer, -1, kMaxCapaAnswer);
    capabilities_ = TmsCapabilities::parse(answer);
}

std::string TmsCustomPOP::RefusedLogInText(const std::string& host, const std::string& reply) {
    if (MailboxInUse(reply))
        return "The mailbox on " + host +
               " is in use (by a delivery, another mail program, or Quorvel); try again when it is free. The "
               "server said: " +
               reply;
    // A response code other than AUTH tells another story (a failure on the
    // server's side): the server's line says it best.
    const std::size_t open = reply.find('[');
    const bool coded = open != std::string::npos && open <= 5;
    if (coded && reply.compare(open, 6, "[AUTH]") != 0) return reply;
    return "The server " + host + " refused the user name or password. It said: " + reply;
}

void TmsCustomPOP::throwRefusedLogIn(const std::string& host, const std::string& reply) {
    if (MailboxInUse(reply)) throw EMailboxInUse(RefusedLogInText(host, reply));
    throw EServerError(RefusedLogInText(host, reply));
}

std::string TmsCustomPOP::GreetingTimestamp(const std::string& greeting) {
    const std::size_t open = greeting.find('<');
    if (open == std::string::npos) return {};
    const std::size_t close = greeting.find('>', open);
    if (close == std::string::npos) return {};
    const std::string timestamp = greeting.substr(open, close - open + 1);
    // A message-id: something "@" something, printable and without spaces.
    const std::size_t at = timestamp.find('@');
    if (at == std::string::npos || at == 1 || at + 2 == timestamp.size()) return {};
    for (std::size_t i = 1; i + 1 < timestamp.size(); ++i) {
        const auto c = static_cast<unsigned char>(timestamp[i]);
        if (c <= ' ' || c >= 0x7F || c == '<') return {};
    }
    return timestamp;
}

std::string TmsCustomPOP::ApopDigest(const std::string& timestamp, const std::string& password) {
    const std::string text = timestamp + password;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(text.data(), text.size(), digest, &length, EVP_md5(), nullptr) != 1)
        throw ESocketError("MD5 is not available for APOP");
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 0x0F];
    }
    return hex;
}

void TmsCustomPOP::LogOut() {
    SendLine("QUIT");
    checkReply();
    // Only now has the server carried out the deletions of the session.
    std::vector<int> committed;
    committed.swap(acceptedDeletions_);
    if (!committed.empty()) deletionsCommitted(committed);
}

void TmsCustomPOP::Stat() {
    std::vector<std::pair<std::string, bool>> commands;
    if (Pipelining()) commands = commandsWithStat();
    if (commands.empty()) {
        SendLine("STAT");
    } else {
        commands.insert(commands.begin(), {"STAT", false});
        sendWithoutDelay();
        sendAhead(commands);
    }
    checkReply();
    // Nothing of an earlier session's counts may stand for this one's.
    messageCount_ = -1;
    totalSize_ = -1;
    const auto notACount = [&] { throw EServerError("The server's STAT reply is not a message count: " + LastReply); };
    std::string rest = LastReply.size() > 4 ? LastReply.substr(4) : std::string();
    const std::size_t space = rest.find(' ');
    if (space == std::string::npos) notACount();
    try {
        const int count = strToInt(rest.substr(0, space));
        rest.erase(0, space + 1);
        const int size = strToInt(rest.substr(0, rest.find(' ')));
        if (count < 0) notACount();
        messageCount_ = count;
        totalSize_ = size;
    } catch (const EConvertError&) {
        notACount();
    }
}

std::int32_t TmsCustomPOP::listedSize(const std::string& reply) {
    const std::string rest = reply.size() > 4 ? reply.substr(4) : std::string();
    const std::size_t space = rest.find(' ');
    if (space == std::string::npos) return 0;
    try {
        return strToInt(trim(rest.substr(space + 1)));
    } catch (const EConvertError&) {
        return 0;
    }
}

void TmsCustomPOP::RetrieveMessage(int index) {
    const std::string number = std::to_string(index + 1);
    SendLine("LIST " + number);
    checkReply();
    const std::int32_t size = listedSize(LastReply);
    if (OnRetrieving) OnRetrieving(index);
    SendLine("RETR " + number);
    checkReply();
    std::string message;
    // The room comes from the size the user was shown, not from what the
    // server says now.
    const std::int32_t shown = shownSize(index);
    ReceiveToStream(message, size, retrieveLimit(shown >= 0 ? shown : size));
    SaveMessage(index, message);
    if (OnRetrieved) OnRetrieved(index);
}

void TmsCustomPOP::DeleteMessage(int index) {
    if (OnDeleting) OnDeleting(index);
    SendLine("DELE " + std::to_string(index + 1));
    readDeleteReply(index);
}

void TmsRemotePOP::deletionsCommitted(const std::vector<int>& indexes) {
    if (!OnDeleted) return;
    for (const int index : indexes) OnDeleted(index);
}

std::int32_t TmsRemotePOP::shownSize(int index) const {
    if (index < 0 || index >= remoteInfo_.Count()) return -1;
    return remoteInfo_.Items(index).Size;
}

void TmsRemotePOP::setMessageDirectory(const std::string& folder) {
    messageDirectory_ = folder;
    if (!messageDirectory_.empty() && messageDirectory_.back() != '/') messageDirectory_ += '/';
}

void TmsRemotePOP::SetDeleteMark(int index) {
    remoteInfo_.Items(index).marks |= TmsRemoteInfoItem::DeleteMark;
}

void TmsRemotePOP::SetRetrieveMark(int index) {
    remoteInfo_.Items(index).marks |= TmsRemoteInfoItem::RetrieveMark;
}

void TmsRemotePOP::ClearMarks(int index) {
    remoteInfo_.Items(index).marks = 0;
}

std::string TmsRemotePOP::ExtractWord(const std::string& reply) {
    std::string rest = reply;
    for (int i = 0; i < 2; ++i) {
        const std::size_t space = rest.find(' ');
        if (space == std::string::npos) return {};
        rest = trim(rest.substr(space + 1));
    }
    return trim(rest.substr(0, rest.find(' ')));
}

void TmsRemotePOP::checkReplyNumber(int index, const char* command, const std::string& reply) {
    const std::string rest = reply.size() > 4 ? reply.substr(4) : std::string();
    const std::string number = rest.substr(0, rest.find(' '));
    const std::string asked = std::to_string(index + 1);
    if (number == asked) return;
    raiseSocketErrorText("The server " + host() + " answered " + command + " " + asked + " for message " +
                             (number.empty() ? std::string("(none)") : number) +
                             "; the session was ended without changes",
                         true);
}

void TmsRemotePOP::readUidl(int index, TmsRemoteInfoItem& item, bool& ok) {
    item.UIDL.clear();
    std::string reply;
    const int code = receiveReply(reply);
    LastReply = reply;
    if (lastLineCutByClose()) raiseSocketErrorText(mailErrorText(errConnectionClosed), true);
    if (code == 1) {
        checkReplyNumber(index, "UIDL", reply);
        item.UIDL = ExtractWord(reply);
    } else {
        ok = false;
    }
}

void TmsRemotePOP::readList(int index, TmsRemoteInfoItem& item) {
    checkReply();
    checkReplyNumber(index, "LIST", LastReply);
    item.Size = listedSize(LastReply);
}

void TmsRemotePOP::readTop(int index, TmsRemoteInfoItem& item, bool listing) {
    try {
        checkReply();
    } catch (const EServerError&) {
        // TOP is optional: a server without it refuses the first message
        // already. Say so rather than show its bare line; nothing is fetched
        // in its place.
        if (listing && index == 0)
            throw EServerError("The server " + host() +
                               " cannot send the headers of a message alone (it refused TOP: " + LastReply +
                               "); nothing was downloaded");
        throw;
    }
    std::string answer;
    ReceiveToStream(answer, -1);
    item.Headers = headerLines(answer);
}

void TmsRemotePOP::getInfo(int index, TmsRemoteInfoItem& item, bool& ok, bool listAndTop, bool uidl, bool listing) {
    const std::string number = std::to_string(index + 1);
    if (uidl) {
        SendLine("UIDL " + number);
        readUidl(index, item, ok);
    }
    if (listAndTop) {
        SendLine("LIST " + number);
        readList(index, item);
        SendLine("TOP " + number + " 1");
        readTop(index, item, listing);
    }
}

void TmsRemotePOP::GetInfo(int index, TmsRemoteInfoItem& item, bool& ok, bool listAndTop, bool uidl) {
    getInfo(index, item, ok, listAndTop, uidl, false);
}

void TmsRemotePOP::UpdateInfo() {
    uidlSentWithStat_ = false;
    openingForListing_ = true;
    try {
        Open();
    } catch (...) {
        openingForListing_ = false;
        throw;
    }
    openingForListing_ = false;
    try {
        if (OnUpdatingInfo) OnUpdatingInfo();
        remoteInfo_.Clear();
        listedHeaderOctets_ = 0;
        // A count that could not be kept even with empty headers is refused
        // before anything is asked or held for it.
        if (messageCount_ > 0 &&
            static_cast<std::size_t>(messageCount_) > MaxListingHeaderOctets / kRecordOctets)
            listingTooLarge();
        if (ListingCache && listWithKnownIds()) {
            ListingCache->update(remoteInfo_);
        } else if (Pipelining()) {
            listAhead();
        } else {
            for (int i = 0; i < messageCount_; ++i) {
                auto item = std::make_unique<TmsRemoteInfoItem>();
                bool ok = true;
                getInfo(i, *item, ok, true, false, true);
                addListed(std::move(item));
            }
        }
        if (!KeepConnected) Close();
    } catch (const EServerError&) {
        endFailedSession(!repliesOwed());
        throw;
    } catch (...) {
        endFailedSession(false);
        throw;
    }
    if (OnInfoUpdated) OnInfoUpdated();
}

void TmsRemotePOP::endFailedSession(bool inStep) {
    // A session that failed is never kept: the mailbox stays locked while
    // it is open, and the next listing, maybe of another mailbox, must not
    // take it for its own. A listing changes nothing, so QUIT is only a
    // courtesy, sent when the replies are in step.
    if (!IsConnected()) return;
    if (inStep) {
        try {
            Close();
        } catch (const std::exception&) {
        }
    }
    Disconnect();
}

void TmsRemotePOP::listingTooLarge() {
    const std::size_t mib = MaxListingHeaderOctets >> 20;
    const std::string limit = mib > 0 ? std::to_string(mib) + " MB" : std::to_string(MaxListingHeaderOctets) + " bytes";
    // The session ends without QUIT: a listing changes nothing anyway.
    raiseSocketErrorText("The headers of the messages waiting on " + host() + " come to more than " + limit +
                             ", more than a listing keeps; the check was stopped. Fetch or delete some of "
                             "these messages with your mail program, then check again",
                         true);
}

std::size_t TmsRemotePOP::recordOctets(const TmsRemoteInfoItem& item) {
    // Each line costs its text and its own keeping, so that a flood of short
    // lines is bounded as surely as a few long ones; each record its own.
    std::size_t octets = kRecordOctets + item.UIDL.size();
    for (const std::string& line : item.Headers) octets += line.size() + sizeof(std::string);
    return octets;
}

void TmsRemotePOP::addListed(std::unique_ptr<TmsRemoteInfoItem> item) {
    listedHeaderOctets_ += recordOctets(*item);
    if (listedHeaderOctets_ > MaxListingHeaderOctets) listingTooLarge();
    remoteInfo_.Add(std::move(item));
    if (OnNextInfoUpdated) OnNextInfoUpdated(remoteInfo_.Count() - 1);
}

// The listing's commands go out up to a window ahead (TmsPipelineWindow);
// the replies are read in order and each record is added and announced as in
// the one-at-a-time run.
void TmsRemotePOP::listAhead() {
    sendWithoutDelay();
    TmsPipelineWindow window;
    int sent = 0;
    const auto refill = [&] {
        std::vector<std::pair<std::string, bool>> commands;
        for (; sent < messageCount_; ++sent) {
            const std::string number = std::to_string(sent + 1);
            std::string list = "LIST " + number, top = "TOP " + number + " 1";
            const std::size_t octets = list.size() + top.size() + 4;
            if (!window.mayAdd(octets)) break;
            window.sent(octets);
            commands.emplace_back(std::move(list), false);
            commands.emplace_back(std::move(top), true);
        }
        if (!commands.empty()) sendAhead(commands);
    };
    try {
        for (int i = 0; i < messageCount_; ++i) {
            if (window.wantsRefill()) refill();
            auto item = std::make_unique<TmsRemoteInfoItem>();
            readList(i, *item);
            readTop(i, *item, true);
            window.answered();
            addListed(std::move(item));
        }
    } catch (const EServerError&) {
        dropOwedReplies();
        throw;
    }
}

std::vector<std::pair<std::string, bool>> TmsRemotePOP::commandsWithStat() {
    // The listing with known ids starts with the whole-mailbox UIDL: it goes
    // with STAT and costs no round trip of its own.
    if (!openingForListing_ || !ListingCache) return {};
    uidlSentWithStat_ = true;
    return {{"UIDL", true}};
}

bool TmsRemotePOP::listWithKnownIds() {
    const bool uidlOwed = uidlSentWithStat_;
    uidlSentWithStat_ = false;
    // A fixed bound: the count is the server's word, and so is the answer.
    const long long room = MaxScanAnswerOctets;
    // Each whole answer is read before anything is decided, so a refusal or
    // a mismatch leaves the session in step for the full listing.
    const auto readWholeAnswer = [&](std::string& answer) {
        std::string reply;
        const int code = receiveReply(reply);
        LastReply = reply;
        if (lastLineCutByClose()) raiseSocketErrorText(mailErrorText(errConnectionClosed), true);
        if (code != 1) return false;
        ReceiveToStream(answer, -1, room);
        return true;
    };
    std::string uidlAnswer;
    if (!uidlOwed) {
        if (messageCount_ <= 0) return false;
        SendLine("UIDL");
    }
    if (!readWholeAnswer(uidlAnswer) || messageCount_ <= 0) return false;
    std::vector<std::string> uids;
    if (!scanLines(uidlAnswer, messageCount_, uids)) return false;
    // Servers that make the id from the contents give identical messages
    // the same one: only those are read again each time, the others are
    // known by their ids as usual.
    const std::vector<bool> shared = sharedIds(uids);

    // A message never changes under its unique id, so the sizes the cache
    // holds stand for a LIST of the known ones, checked against STAT's total.
    // Only with unknown ids (or a total that differs) does the whole LIST go,
    // ahead of the first TOPs.
    std::vector<std::int32_t> listed(uids.size(), -1);
    std::vector<const TmsKnownMessage*> known(uids.size());
    std::vector<int> unknown;
    long long knownTotal = 0;
    for (std::size_t i = 0; i < uids.size(); ++i) {
        known[i] = shared[i] ? nullptr : ListingCache->find(uids[i]);
        if (known[i]) {
            listed[i] = known[i]->Size;
            knownTotal += known[i]->Size;
        } else {
            unknown.push_back(static_cast<int>(i));
        }
    }
    const bool ahead = Pipelining();
    if (ahead) sendWithoutDelay();
    TmsPipelineWindow window;
    int sent = 0;
    // `commands`: what goes before the TOPs in the same write.
    const auto refill = [&](int end, std::vector<std::pair<std::string, bool>> commands = {}) {
        for (; sent < end; ++sent) {
            std::string top = "TOP " + std::to_string(unknown[static_cast<std::size_t>(sent)] + 1) + " 1";
            if (!window.mayAdd(top.size() + 2)) break;
            window.sent(top.size() + 2);
            commands.emplace_back(std::move(top), true);
        }
        if (!commands.empty()) sendAhead(commands);
    };
    if (!unknown.empty() || knownTotal != totalSize_) {
        // Pipelined, the first window of TOPs goes in the same write as LIST.
        if (ahead) {
            refill(static_cast<int>(unknown.size()), {{"LIST", true}});
        } else {
            SendLine("LIST");
        }
        std::string listAnswer;
        std::vector<std::string> sizes;
        const bool trusted = readWholeAnswer(listAnswer) && scanLines(listAnswer, messageCount_, sizes);
        std::vector<int> stale;  // known ids listed at another size
        for (std::size_t i = 0; trusted && i < uids.size(); ++i) {
            try {
                const std::int32_t size = strToInt(sizes[i]);
                if (known[i] && known[i]->Size != size) stale.push_back(static_cast<int>(i));
                listed[i] = size;
            } catch (const EConvertError&) {
                dropOwedReplies();
                return false;
            }
        }
        if (!trusted) {
            dropOwedReplies();
            return false;
        }
        if (!stale.empty()) {
            // The cache is not trusted with these: they are fetched like new
            // ones, and the TOPs that went out before this was known are
            // read and dropped so that the replies stay in order.
            dropOwedReplies();
            for (const int i : stale) known[static_cast<std::size_t>(i)] = nullptr;
            unknown.insert(unknown.end(), stale.begin(), stale.end());
            std::sort(unknown.begin(), unknown.end());
            window = TmsPipelineWindow();
            sent = 0;
        }
    }
    const int unknownCount = static_cast<int>(unknown.size());
    try {
        for (int i = 0; i < messageCount_; ++i) {
            auto item = std::make_unique<TmsRemoteInfoItem>();
            const auto at = static_cast<std::size_t>(i);
            item->Size = listed[at];
            item->UIDL = uids[at];
            if (known[at]) {
                item->Headers = known[at]->headers();
            } else {
                if (!ahead)
                    refill(sent + 1);
                else if (window.wantsRefill())
                    refill(unknownCount);
                readTop(i, *item, true);
                window.answered();
            }
            addListed(std::move(item));
        }
    } catch (const EServerError&) {
        dropOwedReplies();
        throw;
    }
    return true;
}

bool TmsRemotePOP::sameAsListed(int index, const TmsRemoteInfoItem& current) const {
    // Another client may have changed the mailbox since the listing, and
    // message numbers shift when it does: act only on the message listed.
    const TmsRemoteInfoItem& listed = remoteInfo_.Items(index);
    return current.Size == listed.Size && current.Headers == listed.Headers;
}

bool TmsRemotePOP::VerifyMessage(int index) {
    TmsRemoteInfoItem current;
    bool ok = true;
    GetInfo(index, current, ok, true, true);
    return sameAsListed(index, current);
}

void TmsRemotePOP::ProcessMarks() {
    if (remoteInfo_.Count() == 0) return;
    Open();
    if (OnTransferringData) OnTransferringData();
    bool retrieving = false;
    for (int i = 0; i < remoteInfo_.Count(); ++i) retrieving = retrieving || remoteInfo_.Items(i).retrieveMarked();
    try {
        // A retrieval (one message, for viewing) keeps the one-at-a-time run.
        if (Pipelining() && !retrieving) {
            deleteAhead();
        } else {
            for (int i = 0; i < remoteInfo_.Count(); ++i) {
                const TmsRemoteInfoItem& item = remoteInfo_.Items(i);
                if (item.retrieveMarked() && VerifyMessage(i)) RetrieveMessage(i);
                if (item.deleteMarked() && VerifyMessage(i)) DeleteMessage(i);
            }
        }
    } catch (const EServerError&) {
        // The session is still in step: end it as a run ends, so the
        // deletions the server accepted before the refusal are carried out
        // and reported, rather than left for whichever QUIT comes next.
        try {
            Close();
        } catch (const std::exception&) {
        }
        throw;
    }
    if (OnDataTransfered) OnDataTransfered();
    Close();
}

// The verifications of the messages marked for deletion go out up to a window
// ahead. A message's DELE is sent only once its own verification replies
// have been read and compared. Every reply is read in its place in the order
// the commands went out, DELE replies included.
void TmsRemotePOP::deleteAhead() {
    sendWithoutDelay();
    std::vector<int> marked;
    for (int i = 0; i < remoteInfo_.Count(); ++i)
        if (remoteInfo_.Items(i).deleteMarked()) marked.push_back(i);
    const int count = static_cast<int>(marked.size());
    // The DELEs are not counted: one goes out per verification read, and its
    // reply is a line.
    TmsPipelineWindow window;
    int sent = 0;
    const auto refill = [&] {
        std::vector<std::pair<std::string, bool>> commands;
        for (; sent < count; ++sent) {
            const std::string number = std::to_string(marked[static_cast<std::size_t>(sent)] + 1);
            std::string uidl = "UIDL " + number, list = "LIST " + number, top = "TOP " + number + " 1";
            const std::size_t octets = uidl.size() + list.size() + top.size() + 6;
            if (!window.mayAdd(octets)) break;
            window.sent(octets);
            commands.emplace_back(std::move(uidl), false);
            commands.emplace_back(std::move(list), false);
            commands.emplace_back(std::move(top), true);
        }
        if (!commands.empty()) sendAhead(commands);
    };
    try {
        for (int k = 0; k < count; ++k) {
            if (window.wantsRefill()) refill();
            // DELEs sent before this verification's commands answer first.
            readOwedDeletions();
            const int index = marked[static_cast<std::size_t>(k)];
            TmsRemoteInfoItem current;
            bool ok = true;
            readUidl(index, current, ok);
            readList(index, current);
            readTop(index, current, false);
            window.answered();
            if (!sameAsListed(index, current)) continue;
            if (OnDeleting) OnDeleting(index);
            sendDeleteAhead(index);
        }
        readOwedDeletions();
    } catch (const EServerError&) {
        dropOwedReplies();
        throw;
    }
}

void TmsRemotePOP::SaveMessage(int index, const std::string& contents) {
    if (OnUserMessageSave) {
        OnUserMessageSave(index, contents);
        return;
    }
    writeFileAtomically(messageDirectory_ + "msg_" + std::to_string(index) + ".eml", contents, kPrivateFile);
}

}  // namespace quorvel
