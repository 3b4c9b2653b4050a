#pragma once

#include <functional>
#include <string>
#include <vector>

#include "mail/time_counter.h"
#include "platform/dialogs.h"
#include "platform/dial_up.h"
#include "platform/event_pump.h"
#include "platform/timer.h"

namespace quorvel {

// Brings a dial-up connection up before the mail client connects and takes it
// down afterwards, through the system's dial-up service. Without that service
// (no library) there are no entries and nothing is ever dialled.
class TagRas {
public:
    // At most this many phone-book entries are read; more give no list.
    static constexpr std::size_t kMaxEntries = 25;
    static constexpr std::size_t kMaxConnections = 10;
    // The error box for an entry that is not in the phone book.
    static constexpr const char* kInvalidServiceName = "Invalid service name";

    TagRas(DialUpLibrary* library, EventPump& pump, TimerFactory& timers, Dialogs& dialogs);
    TagRas(const TagRas&) = delete;
    TagRas& operator=(const TagRas&) = delete;

    // The entry to dial; "" never dials. Setting it checks the name against
    // the phone book and says so in an error box when it cannot be used.
    const std::string& Service() const { return service_; }
    void setService(const std::string& name);

    bool ForceService = true;        // only a connection of Service counts as up already
    bool MinimizeAtConnect = false;  // the system's own dialling window is left as it is here
    std::string Password;            // given to the entry when the system keeps none
    bool RemovePassword = true;      // ask the system not to keep that password
    int TimeOut = 120;               // seconds a dial may take

    std::function<void(const std::string& status)> OnStatusChange;
    std::function<void()> OnDisconnected;

    // The phone book's entry names, read afresh on every call.
    std::vector<std::string> Entries();
    bool HasEntries() { return !Entries().empty(); }

    // Makes sure a connection is up: adopts one that is, or dials Service.
    void Connect();
    // Hangs up what this component dialled and ends a dial in progress.
    void Disconnect();
    void HangUp();
    // Adopts a connection that is already up; true when one was found.
    bool FindConnection();

    bool connected() const { return connected_; }
    bool dialled() const { return dialled_; }

private:
    void onDialState(int state, int error);
    [[noreturn]] void raise(int code);
    int check(int code);

    DialUpLibrary* library_;
    EventPump& pump_;
    Dialogs& dialogs_;
    TTimeCounter counter_;
    std::string service_;
    std::string handle_;  // the connection held; empty: none
    bool connected_ = false;
    bool dialled_ = false;
    bool cancelled_ = false;
    bool waiting_ = false;  // in the wait for a dial
    int lastError_ = 0;
    // A dial's progress reports that reach a component that has since dialled
    // again are dropped.
    int dialNumber_ = 0;
};

}  // namespace quorvel
