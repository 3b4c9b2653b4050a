#include "mail/pop3_client.h"

#include <algorithm>

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

// Every file the client writes holds the user's mail.
constexpr unsigned kPrivateFile = 0600;

}  // namespace

TmsCustomPOP::TmsCustomPOP(EventPump& pump, TimerFactory& timers) : TmsMailBase(pump, timers) {
    DefaultPort = 110;
    ServiceName = "pop3";
}

void TmsCustomPOP::CheckProperties() {
    if (UserName.empty()) raiseSocketErrorText("UserName property is required", false);
    if (Password.empty()) raiseSocketErrorText("Password property is required", false);
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

void TmsCustomPOP::checkReply() {
    ReceiveLine(LastReply);
    // A connection that ended before the reply has no server line to show.
    if (lastLineCutByClose()) raiseSocketErrorText(mailErrorText(errConnectionClosed), true);
    if (ReplyCode(LastReply) != 1) throw EServerError(LastReply);
}

void TmsCustomPOP::LogIn() {
    try {
        ResetState();
        ConnectSocket();
        checkReply();
        SendLine("USER " + UserName);
        checkReply();
        SendLine("PASS " + Password);
        checkReply();
        Stat();
    } catch (const ESocketError&) {
        Disconnect();
        throw;
    } catch (const EServerError&) {
        // A refused log-in must not leave a socket behind that the next Open
        // would take for an open session.
        Disconnect();
        throw;
    }
}

void TmsCustomPOP::LogOut() {
    SendLine("QUIT");
    checkReply();
}

void TmsCustomPOP::Stat() {
    SendLine("STAT");
    checkReply();
    std::string rest = LastReply.size() > 4 ? LastReply.substr(4) : std::string();
    const std::size_t space = rest.find(' ');
    if (space == std::string::npos) return;
    const int count = strToInt(rest.substr(0, space));
    rest.erase(0, space + 1);
    const int size = strToInt(rest.substr(0, rest.find(' ')));
    messageCount_ = count;
    totalSize_ = size;
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
    std::string ignored;
    ReceiveLine(ignored);
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

void TmsRemotePOP::GetInfo(int index, TmsRemoteInfoItem& item, bool& ok, bool listAndTop, bool uidl) {
    const std::string number = std::to_string(index + 1);
    if (uidl) {
        item.UIDL.clear();
        SendLine("UIDL " + number);
        std::string reply;
        if (ReceiveLine(reply) == 1)
            item.UIDL = ExtractWord(reply);
        else
            ok = false;
        LastReply = reply;
        if (lastLineCutByClose()) raiseSocketErrorText(mailErrorText(errConnectionClosed), true);
    }
    if (listAndTop) {
        SendLine("LIST " + number);
        checkReply();
        item.Size = listedSize(LastReply);
        SendLine("TOP " + number + " 1");
        checkReply();
        std::string answer;
        ReceiveToStream(answer, -1);
        item.Headers = headerLines(answer);
    }
}

void TmsRemotePOP::UpdateInfo() {
    Open();
    if (OnUpdatingInfo) OnUpdatingInfo();
    remoteInfo_.Clear();
    for (int i = 0; i < messageCount_; ++i) {
        auto item = std::make_unique<TmsRemoteInfoItem>();
        bool ok = true;
        GetInfo(i, *item, ok, true, false);
        remoteInfo_.Add(std::move(item));
        if (OnNextInfoUpdated) OnNextInfoUpdated(remoteInfo_.Count() - 1);
    }
    if (!KeepConnected) Close();
    if (OnInfoUpdated) OnInfoUpdated();
}

bool TmsRemotePOP::VerifyMessage(int index) {
    TmsRemoteInfoItem current;
    bool ok = true;
    GetInfo(index, current, ok, true, true);
    // Another client may have changed the mailbox since the listing, and
    // message numbers shift when it does: act only on the message listed.
    const TmsRemoteInfoItem& listed = remoteInfo_.Items(index);
    return current.Size == listed.Size && current.Headers == listed.Headers;
}

void TmsRemotePOP::ProcessMarks() {
    if (remoteInfo_.Count() == 0) return;
    Open();
    if (OnTransferringData) OnTransferringData();
    for (int i = 0; i < remoteInfo_.Count(); ++i) {
        const TmsRemoteInfoItem& item = remoteInfo_.Items(i);
        if (item.retrieveMarked() && VerifyMessage(i)) RetrieveMessage(i);
        if (item.deleteMarked() && VerifyMessage(i)) DeleteMessage(i);
    }
    if (OnDataTransfered) OnDataTransfered();
    Close();
}

void TmsRemotePOP::SaveMessage(int index, const std::string& contents) {
    if (OnUserMessageSave) {
        OnUserMessageSave(index, contents);
        return;
    }
    writeFileAtomically(messageDirectory_ + "msg_" + std::to_string(index) + ".eml", contents, kPrivateFile);
}

}  // namespace quorvel
