#include "mail/ag_ras.h"

#include <algorithm>
#include <chrono>

#include "mail/mail_errors.h"

namespace quorvel {

namespace {

constexpr auto kLongWait = std::chrono::hours(1);

char foldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameNameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return foldAscii(x) == foldAscii(y); });
}

}  // namespace

TagRas::TagRas(DialUpLibrary* library, EventPump& pump, TimerFactory& timers, Dialogs& dialogs)
    : library_(library), pump_(pump), dialogs_(dialogs), counter_(timers, [this] { pump_.wake(); }) {}

std::vector<std::string> TagRas::Entries() {
    std::vector<std::string> names;
    if (!library_) return names;
    lastError_ = library_->enumEntries(names, kMaxEntries);
    if (lastError_ != 0 || names.size() > kMaxEntries) names.clear();
    return names;
}

void TagRas::setService(const std::string& name) {
    if (name.empty()) {
        service_.clear();
        return;
    }
    const std::vector<std::string> entries = Entries();
    if (entries.empty()) {
        dialogs_.messageBox(MessageKind::Error, "TagRas component was unable to detect\rRAS on your system.");
    } else if (connected_) {
        dialogs_.messageBox(MessageKind::Error, "This property can be set only before\restablishing the connection");
    } else if (std::none_of(entries.begin(), entries.end(),
                            [&](const std::string& entry) { return sameNameIgnoringCase(entry, name); })) {
        dialogs_.messageBox(MessageKind::Error, kInvalidServiceName);
        service_.clear();
    } else {
        service_ = name;
    }
}

void TagRas::raise(int code) {
    lastError_ = code;
    std::string text = library_ ? library_->errorText(code) : std::string();
    if (text.empty()) text = "RAS error no " + std::to_string(code);
    throw ERASError(code, text);
}

int TagRas::check(int code) {
    if (code != 0) raise(code);
    return code;
}

bool TagRas::FindConnection() {
    if (!library_) return false;
    std::vector<DialUpConnection> connections;
    check(library_->enumConnections(connections, kMaxConnections));
    for (const DialUpConnection& connection : connections) {
        if (connection.entry == service_ && connection.handle != handle_) {
            handle_ = connection.handle;
            return true;
        }
    }
    if (ForceService) return false;
    for (const DialUpConnection& connection : connections) {
        std::string address;
        check(library_->ipAddress(connection.handle, address));
        if (!address.empty()) {
            handle_ = connection.handle;
            return true;
        }
    }
    return false;
}

void TagRas::Connect() {
    if (service_.empty() || FindConnection()) {
        connected_ = true;
        dialled_ = false;
        return;
    }
    if (!library_) return;
    dialled_ = true;
    handle_.clear();
    connected_ = false;
    cancelled_ = false;
    lastError_ = 0;
    counter_.ClearTimedOut();

    bool passwordKept = false;
    check(library_->hasPassword(service_, passwordKept));
    if (!passwordKept) check(library_->storePassword(service_, Password, RemovePassword));

    const int dial = ++dialNumber_;
    std::string handle;
    const int started = library_->dial(
        service_,
        [this, dial](int state, int error) {
            if (dial == dialNumber_) onDialState(state, error);
        },
        handle);
    if (started != 0) {
        HangUp();
        raise(started);
    }
    handle_ = handle;

    counter_.TimeOut = TimeOut;
    counter_.Start();
    waiting_ = true;
    while (!connected_ && lastError_ == 0 && !cancelled_ && !counter_.TimedOut()) pump_.wait(-1, 0, kLongWait);
    waiting_ = false;
    counter_.Stop();

    if (lastError_ != 0) {
        const int code = lastError_;
        HangUp();
        raise(code);
    }
    if (cancelled_) throw ECanceledError(mailErrorText(errCanceled));
    // A dial that is too slow is left to go on: the system may still bring
    // the connection up, and the next check adopts it.
    if (counter_.TimedOut()) throw ETimedOutError(mailErrorText(errTimedOut));
}

void TagRas::onDialState(int state, int error) {
    if (OnStatusChange && library_) OnStatusChange(library_->stateText(state));
    if (!connected_) connected_ = state == DialUpLibrary::kConnected;
    if (waiting_) pump_.wake();
    if (error != 0) {
        lastError_ = error;
        if (connected_) raise(error);
    }
}

void TagRas::HangUp() {
    if (!library_) return;
    if (dialled_ && !handle_.empty() && HasEntries()) {
        library_->hangUp(handle_);
        if (OnDisconnected) OnDisconnected();
    }
    connected_ = false;
    handle_.clear();
}

void TagRas::Disconnect() {
    HangUp();
    cancelled_ = true;
    if (waiting_) pump_.wake();
}

}  // namespace quorvel
