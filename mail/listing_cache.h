#pragma once

#include <cstdint>
#include <string>

#include "mail/remote_info.h"

namespace quorvel {

// What a listing cache knows of one message: its size and its header lines,
// packed into one string (each line its length and its octets), so that a
// cache of a large mailbox costs about its octets and not a string per line.
class TmsKnownMessage {
public:
    std::int32_t Size = 0;

    TmsHeaders headers() const;
    void setHeaders(const TmsHeaders& headers);
    bool sameHeaders(const TmsHeaders& headers) const;
    std::size_t lineCount() const { return lines_; }
    // The packed lines; `appendLine` adds one more.
    const std::string& packed() const { return packed_; }
    void appendLine(const char* data, std::size_t size);

private:
    std::string packed_;
    std::size_t lines_ = 0;
};

// What a mailbox's earlier listings learnt, keyed by the server's unique id
// (UIDL): a listing sends TOP only for the ids it does not know. A cache
// never decides a deletion: each DELE still follows a fresh re-read and
// comparison of the message's listing.
class TmsListingCache {
public:
    virtual ~TmsListingCache() = default;
    // What is kept for this unique id, or nullptr.
    virtual const TmsKnownMessage* find(const std::string& uid) const = 0;
    // After a listing that used unique ids: its records in order, each with
    // its UIDL. Replaces what was kept, so ids gone from the server are
    // dropped; an id that several records share names none of them and is
    // not kept.
    virtual void update(const TmsRemoteInfo& listing) = 0;
};

}  // namespace quorvel
