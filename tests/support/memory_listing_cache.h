#pragma once

#include <map>
#include <string>

#include "mail/listing_cache.h"

namespace quorvel::testing {

// What a listing cache file would keep, held in memory; counts its updates.
class MemoryListingCache : public TmsListingCache {
public:
    const TmsRemoteInfoItem* find(const std::string& uid) const override {
        const auto it = kept.find(uid);
        return it == kept.end() ? nullptr : &it->second;
    }
    void update(const TmsRemoteInfo& listing) override {
        kept.clear();
        for (int i = 0; i < listing.Count(); ++i) kept[listing.Items(i).UIDL] = listing.Items(i);
        ++updates;
    }
    // Remembers a message of one header line "Subject: " + subject.
    void keep(const std::string& uid, std::int32_t size, const std::string& subject) {
        kept[uid].Size = size;
        kept[uid].Headers = {"Subject: " + subject};
    }

    std::map<std::string, TmsRemoteInfoItem> kept;
    int updates = 0;
};

}  // namespace quorvel::testing
