#include "support/simulated_dial_up.h"

#include <algorithm>

namespace quorvel::testing {

constexpr int kTooManyEntries = 603;  // the phone book did not fit

bool SimulatedDialUp::deliverNext() {
    if (!onState_ || reports.empty()) return false;
    const auto [state, error] = reports.front();
    reports.pop_front();
    if (state == kConnected && error == 0) up.push_back({dialling_, dialledEntry_});
    const StateHandler handler = onState_;
    handler(state, error);
    return true;
}

int SimulatedDialUp::enumEntries(std::vector<std::string>& names, std::size_t room) {
    calls.push_back("enumEntries");
    if (entries.size() > room) return kTooManyEntries;
    names = entries;
    return 0;
}

int SimulatedDialUp::enumConnections(std::vector<DialUpConnection>& connections, std::size_t room) {
    calls.push_back("enumConnections");
    if (enumConnectionsResult != 0) return enumConnectionsResult;
    connections.assign(up.begin(), up.begin() + static_cast<long>(std::min(room, up.size())));
    return 0;
}

int SimulatedDialUp::ipAddress(const std::string& handle, std::string& address) {
    calls.push_back("ipAddress " + handle);
    const auto found = addresses.find(handle);
    address = found == addresses.end() ? "" : found->second;
    return 0;
}

int SimulatedDialUp::hasPassword(const std::string& entry, bool& stored) {
    stored = passwordsKept.count(entry) > 0;
    return 0;
}

int SimulatedDialUp::storePassword(const std::string& entry, const std::string& password, bool forget) {
    calls.push_back("storePassword " + entry + " " + password + (forget ? " forget" : " keep"));
    return 0;
}

int SimulatedDialUp::dial(const std::string& entry, StateHandler onState, std::string& handle) {
    calls.push_back("dial " + entry);
    if (dialResult != 0) return dialResult;
    handle = "dialled" + std::to_string(++dials_);
    dialling_ = handle;
    dialledEntry_ = entry;
    onState_ = std::move(onState);
    return 0;
}

int SimulatedDialUp::hangUp(const std::string& handle) {
    calls.push_back("hangUp " + handle);
    std::erase_if(up, [&](const DialUpConnection& c) { return c.handle == handle; });
    if (handle == dialling_) onState_ = nullptr;
    return 0;
}

std::string SimulatedDialUp::errorText(int code) {
    const auto found = texts.find(code);
    return found == texts.end() ? "" : found->second;
}

}  // namespace quorvel::testing
