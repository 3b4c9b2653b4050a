#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace quorvel {

// One connection that is up: the handle the library knows it by and the name
// of its phone-book entry.
struct DialUpConnection {
    std::string handle;
    std::string entry;
};

// The system's dial-up service: a phone book of connections that the user
// brings up on demand, the connections that are up, dialling and hanging up.
// Every call answers 0 or an error code that errorText() puts in words.
// A system without such a service has no library at all (a null pointer).
class DialUpLibrary {
public:
    virtual ~DialUpLibrary() = default;

    // The state a dial reports once the connection is up.
    static constexpr int kConnected = 8192;
    // Progress of a dial: the state reached and an error code (0: none).
    // Called from the event loop, so only while the program waits in it.
    using StateHandler = std::function<void(int state, int error)>;

    // The entries' names in the system's order; an error code when more
    // than `room` of them exist.
    virtual int enumEntries(std::vector<std::string>& names, std::size_t room) = 0;
    // The connections that are up, at most `room` of them.
    virtual int enumConnections(std::vector<DialUpConnection>& connections, std::size_t room) = 0;
    // The IPv4 address a connection was given; empty when it has none.
    virtual int ipAddress(const std::string& handle, std::string& address) = 0;
    // Whether the system keeps a password for the entry.
    virtual int hasPassword(const std::string& entry, bool& stored) = 0;
    // Gives the entry a password; `forget` asks the system not to keep it.
    virtual int storePassword(const std::string& entry, const std::string& password, bool forget) = 0;
    // Starts bringing the entry up; `handle` names the new connection.
    virtual int dial(const std::string& entry, StateHandler onState, std::string& handle) = 0;
    virtual int hangUp(const std::string& handle) = 0;
    // The system's words for an error code; empty when it has none.
    virtual std::string errorText(int code) = 0;
    // The words for a state of a dial, for progress reports.
    virtual std::string stateText(int state) = 0;
};

}  // namespace quorvel
