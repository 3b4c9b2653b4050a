#pragma once

#include <string>

#include "mail/remote_info.h"

namespace quorvel {

// What a mailbox's earlier listings learnt, keyed by the server's unique id
// (UIDL): a listing sends TOP only for the ids it does not know. A cache
// never decides a deletion: each DELE still follows a fresh re-read and
// comparison of the message's listing.
class TmsListingCache {
public:
    virtual ~TmsListingCache() = default;
    // The record kept for this unique id (its Size and Headers), or nullptr.
    virtual const TmsRemoteInfoItem* find(const std::string& uid) const = 0;
    // After a listing that used unique ids: its records in order, each with
    // its UIDL. Replaces what was kept, so ids gone from the server are dropped.
    virtual void update(const TmsRemoteInfo& listing) = 0;
};

}  // namespace quorvel
