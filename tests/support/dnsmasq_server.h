#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/fake_platform.h"

namespace quorvel::testing {

// A private dnsmasq on 127.0.0.1, authoritative for the zone "quorvel.test"
// and nothing else. `records` are dnsmasq's own lines ("mx-host=...",
// "host-record=...", "cname=..."). A name in the zone that is not configured
// answers NXDOMAIN; a name without MX records answers with none. Started by
// the constructor, stopped by the destructor; its log goes to dnsmasq.log in
// its folder.
class DnsmasqServer {
public:
    explicit DnsmasqServer(const std::vector<std::string>& records);
    ~DnsmasqServer();
    DnsmasqServer(const DnsmasqServer&) = delete;
    DnsmasqServer& operator=(const DnsmasqServer&) = delete;

    int port() const { return port_; }
    std::string log() const;

private:
    bool start(const std::vector<std::string>& records);
    bool answers() const;
    void stop();

    TempFolder folder_;
    int port_ = 0;
    pid_t pid_ = -1;
};

// A loopback UDP port that no socket holds at the moment.
int unusedUdpPort();

// A UDP socket on loopback that takes datagrams and never answers.
class SilentUdpPort {
public:
    SilentUdpPort();
    ~SilentUdpPort();
    SilentUdpPort(const SilentUdpPort&) = delete;
    SilentUdpPort& operator=(const SilentUdpPort&) = delete;
    int port() const { return port_; }

private:
    int port_ = 0;  // set while fd_ is made
    int fd_ = -1;
};

// A DNS server on loopback that answers each query with what the test makes
// of it: any number of datagrams, none for silence. The datagrams are sent
// as they are, so they may break every rule of DNS.
class ScriptedDnsServer {
public:
    using Responder = std::function<std::vector<std::string>(const std::string& query)>;
    explicit ScriptedDnsServer(Responder responder);

    // A datagram that may come from a forger: from the server's socket, or
    // from another port or another loopback address, after a pause.
    struct Datagram {
        enum class From { Server, OtherPort, OtherAddress };
        std::string bytes;
        From from = From::Server;
        std::chrono::milliseconds pause{0};
    };
    using ForgingResponder = std::function<std::vector<Datagram>(const std::string& query)>;
    explicit ScriptedDnsServer(ForgingResponder responder);
    ~ScriptedDnsServer();
    ScriptedDnsServer(const ScriptedDnsServer&) = delete;
    ScriptedDnsServer& operator=(const ScriptedDnsServer&) = delete;

    int port() const { return port_; }
    // Every query received, in order.
    std::vector<std::string> queries();

private:
    void run();

    ForgingResponder responder_;
    int port_ = 0;  // set while fd_ is made
    int fd_ = -1;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::string> queries_;
    std::thread thread_;
};

}  // namespace quorvel::testing
