#pragma once

#include <deque>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/dial_up.h"

namespace quorvel::testing {

// A dial-up service played by the test: a phone book, the connections that
// are up, and a dial whose progress reports the test hands out one at a time
// (deliverNext(), e.g. once per turn of the event loop). Every call is kept.
class SimulatedDialUp : public DialUpLibrary {
public:
    std::vector<std::string> entries;
    std::vector<DialUpConnection> up;             // connections that are up
    std::map<std::string, std::string> addresses;  // handle -> IPv4 address
    std::set<std::string> passwordsKept;          // entries with a password
    std::map<int, std::string> texts;             // error code -> words
    int enumConnectionsResult = 0;
    int dialResult = 0;
    // The reports of the next dial, in order: state and error code.
    std::deque<std::pair<int, int>> reports = {{1, 0}, {kConnected, 0}};

    std::vector<std::string> calls;

    // Hands out the next report of the dial in progress; false when none is left.
    bool deliverNext();

    int enumEntries(std::vector<std::string>& names, std::size_t room) override;
    int enumConnections(std::vector<DialUpConnection>& connections, std::size_t room) override;
    int ipAddress(const std::string& handle, std::string& address) override;
    int hasPassword(const std::string& entry, bool& stored) override;
    int storePassword(const std::string& entry, const std::string& password, bool forget) override;
    int dial(const std::string& entry, StateHandler onState, std::string& handle) override;
    int hangUp(const std::string& handle) override;
    std::string errorText(int code) override;
    std::string stateText(int state) override { return "state " + std::to_string(state); }

private:
    StateHandler onState_;
    std::string dialling_, dialledEntry_;
    int dials_ = 0;
};

}  // namespace quorvel::testing
