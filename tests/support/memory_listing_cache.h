#pragma once

#include <map>
#include <string>

#include "mail/listing_cache.h"

namespace quorvel::testing {

// What a listing cache file would keep, held in memory; counts its updates.
class MemoryListingCache : public TmsListingCache {
public:
    const TmsKnownMessage* find(const std::string& uid) const override {
        const auto it = kept.find(uid);
        return it == kept.end() ? nullptr : &it->second;
    }
    void update(const TmsRemoteInfo& listing) override {
        kept.clear();
        std::map<std::string, int> seen;
        for (int i = 0; i < listing.Count(); ++i) ++seen[listing.Items(i).UIDL];
        for (int i = 0; i < listing.Count(); ++i) {
            const TmsRemoteInfoItem& record = listing.Items(i);
            if (seen[record.UIDL] > 1) continue;  // a shared id names no message
            kept[record.UIDL].Size = record.Size;
            kept[record.UIDL].setHeaders(record.Headers);
        }
        ++updates;
    }
    // Remembers a message of one header line "Subject: " + subject.
    void keep(const std::string& uid, std::int32_t size, const std::string& subject) {
        kept[uid].Size = size;
        kept[uid].setHeaders({"Subject: " + subject});
    }

    std::map<std::string, TmsKnownMessage> kept;
    int updates = 0;
};

}  // namespace quorvel::testing
