#pragma once

#include <cstdint>
#include <string>

#include "mail/dns_message.h"
#include "mail/socket.h"
#include "mail/time_counter.h"
#include "platform/event_pump.h"
#include "platform/timer.h"

namespace quorvel {

// The first IPv4 name server in the resolver configuration at `path`, or
// "127.0.0.1" when it names none.
std::string defaultDNSAddress(const std::string& path = "/etc/resolv.conf");

// Asks one DNS server for the MX records of a domain over UDP. The wait runs
// in the program's event loop like the socket's, so the window stays alive
// and a handler that runs meanwhile can Cancel the query.
class TmsMXResolver {
public:
    TmsMXResolver(EventPump& pump, TimerFactory& timers);
    ~TmsMXResolver();
    TmsMXResolver(const TmsMXResolver&) = delete;
    TmsMXResolver& operator=(const TmsMXResolver&) = delete;

    std::string DNSAddress;  // dotted IPv4 address; no name look-up is done
    // The domain to query. A query turns it into the encoded question, so the
    // caller sets it before every query.
    std::string Domain;
    std::int32_t TimeOut = 60;  // seconds
    std::uint16_t Port = 53;

    TNotifyEvent OnSendingQuery;        // before the socket is opened
    TNotifyEvent OnWaitingForResponse;  // after the query was sent
    TNotifyEvent OnClosingConnection;   // after the socket was closed, on success and failure

    // Queries DNSAddress for the MX records of Domain; on return the list
    // holds them sorted by preference. Every failure is an exception:
    // ESocketError, ETimedOutError, ECanceledError or EResolverError.
    void Resolve();
    // Ends a query in progress with ECanceledError.
    void Cancel();

    const TMXList& MXList() const { return list_; }

private:
    void open();
    void close();
    void sendQuery(const std::string& query);
    std::string receiveResponse(std::uint16_t id);

    EventPump& pump_;
    TTimeCounter counter_;
    int fd_ = -1;
    bool canceled_ = false;
    TMXList list_;
};

}  // namespace quorvel
