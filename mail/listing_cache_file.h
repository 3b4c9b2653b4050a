#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "mail/listing_cache.h"
#include "mail/pop3_client.h"

namespace quorvel {

// The account a mailbox's listing cache was written for: unique ids are only
// unique within one mailbox on one server, so another account starts empty.
struct TmsListingAccount {
    std::string Server;
    int Port = 0;
    std::string UserName;

    bool operator==(const TmsListingAccount&) const = default;
};

// A listing cache kept in one file per mailbox, read back at the next start.
// The file is data like any server line: a damaged, cut, crafted or foreign
// file is discarded whole and the cache starts empty.
class TmsListingCacheFile : public TmsListingCache {
public:
    // Bounds of what is kept: a record as large as a listing keeps, the ids of
    // a large mailbox, and a whole that stays reasonable to hold in memory.
    static constexpr std::size_t kMaxEntries = 100000;
    static constexpr std::size_t kMaxUidOctets = 70;  // a POP3 unique id is 1 to 70 characters
    static constexpr std::size_t kMaxHeaderLines = TmsRemotePOP::kMaxHeaderLines;
    static constexpr std::size_t kMaxHeaderOctets = TmsRemotePOP::kMaxHeaderOctets;
    // The whole file, length prefixes counted: ten times a 5,000-message mailbox.
    static constexpr std::size_t kMaxTotalOctets = 64u * 1024 * 1024;
    // The file as read: the entries and, around them, the account lines and frame.
    static constexpr std::size_t kMaxFileOctets = kMaxTotalOctets + 4096;

    TmsListingCacheFile(std::string path, TmsListingAccount account);

    // The file of mailbox `mailbox` (1-based) in the program folder.
    static std::string pathFor(const std::string& programFolder, int mailbox);

    // Reads the file. "" when it was read or is not there; otherwise why it
    // was discarded, and the cache is empty.
    std::string load();
    // Writes the file whole, readable by the user only, unless it already
    // holds exactly this (a check of an unchanged mailbox writes nothing).
    // Throws std::runtime_error.
    void save() const;

    const TmsKnownMessage* find(const std::string& uid) const override;
    void update(const TmsRemoteInfo& listing) override;

    std::size_t size() const { return entries_.size(); }
    const std::string& path() const { return path_; }
    const TmsListingAccount& account() const { return account_; }

private:
    struct Entry {
        std::string uid;
        TmsKnownMessage message;
    };
    // Keys the index by views of the entries' ids; run once the entries are
    // complete, as they must not move afterwards.
    void reindex();

    std::string path_;
    TmsListingAccount account_;
    std::vector<Entry> entries_;  // in listing order, for a stable file
    std::unordered_map<std::string_view, std::size_t> index_;
    // The file holds what is kept: it was read whole or written since.
    mutable bool matchesFile_ = false;
};

}  // namespace quorvel
