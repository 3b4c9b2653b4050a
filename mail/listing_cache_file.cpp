#include "mail/listing_cache_file.h"

#include <algorithm>

#include <charconv>
#include <filesystem>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/files.h"

namespace quorvel {
namespace {

constexpr const char* kMagic = "QUORVEL LISTING CACHE\n";
constexpr const char* kVersion = "version 1\n";
constexpr const char* kEnd = "end\n";

void putNumber(std::string& out, std::size_t n) {
    out += std::to_string(n);
    out += '\n';
}

// A field is its length, a colon, its bytes and a line end, so any byte may
// be in it.
void putField(std::string& out, const std::string& field) {
    out += std::to_string(field.size());
    out += ':';
    out += field;
    out += '\n';
}

// Reads the file's parts in order; every read is checked against what is
// left, so no length in the file can reach past its end.
class Reader {
public:
    explicit Reader(const std::string& bytes) : bytes_(bytes) {}

    bool literal(const char* text) {
        std::string_view want(text);
        if (bytes_.compare(pos_, want.size(), want) != 0) return false;
        pos_ += want.size();
        return true;
    }

    // Decimal digits ended by `end`, at most `max`.
    std::optional<std::size_t> number(char end, std::size_t max) {
        std::size_t stop = bytes_.find(end, pos_);
        if (stop == std::string::npos || stop == pos_ || stop - pos_ > 12) return std::nullopt;
        std::size_t value = 0;
        const char* first = bytes_.data() + pos_;
        const char* last = bytes_.data() + stop;
        auto [ptr, ec] = std::from_chars(first, last, value);
        if (ec != std::errc() || ptr != last || value > max) return std::nullopt;
        pos_ = stop + 1;
        return value;
    }

    std::optional<std::string> field(std::size_t max) {
        auto length = number(':', max);
        if (!length || bytes_.size() - pos_ < *length + 1 || bytes_[pos_ + *length] != '\n') return std::nullopt;
        std::string value = bytes_.substr(pos_, *length);
        pos_ += *length + 1;
        return value;
    }

    bool atEnd() const { return pos_ == bytes_.size(); }

private:
    const std::string& bytes_;
    std::size_t pos_ = 0;
};

std::size_t headerOctets(const TmsHeaders& headers) {
    std::size_t octets = 0;
    for (const auto& line : headers) octets += line.size();
    return octets;
}

// An entry's share of the file: its bytes and a bound on its length prefixes.
std::size_t entryCost(std::size_t uidOctets, std::size_t lines, std::size_t headerOctets) {
    return uidOctets + headerOctets + 16 * (lines + 3);
}

}  // namespace

TmsListingCacheFile::TmsListingCacheFile(std::string path, TmsListingAccount account)
    : path_(std::move(path)), account_(std::move(account)) {}

std::string TmsListingCacheFile::pathFor(const std::string& programFolder, int mailbox) {
    return joinPath(programFolder, "listing-cache-mailbox-" + std::to_string(mailbox) + ".dat");
}

std::string TmsListingCacheFile::load() {
    entries_.clear();
    order_.clear();
    matchesFile_ = false;
    std::error_code error;
    const auto fileSize = std::filesystem::file_size(path_, error);
    if (!error && fileSize > kMaxFileOctets) return "too large";
    std::string problem;
    auto bytes = readFileBytes(path_, problem);
    if (!bytes) return problem;  // "" when there is no file yet
    if (bytes->size() > kMaxFileOctets) return "too large";

    Reader in(*bytes);
    if (!in.literal(kMagic)) return "not a listing cache";
    if (!in.literal(kVersion)) return "another version";
    auto server = in.field(1024);
    auto port = in.number('\n', 65535);
    auto user = in.field(1024);
    if (!server || !port || !user) return "damaged";
    if (!(TmsListingAccount{*server, static_cast<int>(*port), *user} == account_))
        return "written for another account";

    auto count = in.number('\n', kMaxEntries);
    if (!count) return "damaged";
    std::unordered_map<std::string, TmsRemoteInfoItem> entries;
    std::vector<std::string> order;
    std::size_t total = 0;
    for (std::size_t i = 0; i < *count; ++i) {
        auto uid = in.field(kMaxUidOctets);
        auto size = in.number('\n', 0x7fffffff);
        auto lines = in.number('\n', kMaxHeaderLines);
        if (!uid || uid->empty() || !size || !lines) return "damaged";
        TmsRemoteInfoItem item;
        item.Size = static_cast<std::int32_t>(*size);
        item.UIDL = *uid;
        std::size_t octets = 0;
        for (std::size_t l = 0; l < *lines; ++l) {
            auto line = in.field(kMaxHeaderOctets - octets);
            if (!line) return "damaged";
            octets += line->size();
            item.Headers.push_back(std::move(*line));
        }
        total += entryCost(uid->size(), item.Headers.size(), octets);
        if (total > kMaxTotalOctets) return "too large";
        if (!entries.emplace(*uid, std::move(item)).second) return "an id twice";
        order.push_back(*uid);
    }
    if (!in.literal(kEnd) || !in.atEnd()) return "damaged";
    entries_ = std::move(entries);
    order_ = std::move(order);
    matchesFile_ = true;
    return "";
}

void TmsListingCacheFile::save() const {
    if (matchesFile_) return;
    std::string out = kMagic;
    out += kVersion;
    putField(out, account_.Server);
    putNumber(out, static_cast<std::size_t>(account_.Port));
    putField(out, account_.UserName);
    putNumber(out, order_.size());
    for (const auto& uid : order_) {
        const TmsRemoteInfoItem& item = entries_.at(uid);
        putField(out, uid);
        putNumber(out, static_cast<std::size_t>(item.Size));
        putNumber(out, item.Headers.size());
        for (const auto& line : item.Headers) putField(out, line);
    }
    out += kEnd;
    writeFileAtomically(path_, out);
    matchesFile_ = true;
}

const TmsRemoteInfoItem* TmsListingCacheFile::find(const std::string& uid) const {
    auto it = entries_.find(uid);
    return it == entries_.end() ? nullptr : &it->second;
}

void TmsListingCacheFile::update(const TmsRemoteInfo& listing) {
    const auto before = std::move(entries_);
    const auto orderBefore = std::move(order_);
    entries_.clear();
    order_.clear();
    std::size_t total = 0;
    for (int i = 0; i < listing.Count() && order_.size() < kMaxEntries; ++i) {
        const TmsRemoteInfoItem& record = listing.Items(i);
        const std::size_t octets = headerOctets(record.Headers);
        const std::size_t cost = entryCost(record.UIDL.size(), record.Headers.size(), octets);
        // What the file could not hold is simply not remembered: it is listed
        // with TOP again next time.
        if (record.UIDL.empty() || record.UIDL.size() > kMaxUidOctets || record.Size < 0 ||
            record.Headers.size() > kMaxHeaderLines || octets > kMaxHeaderOctets ||
            total + cost > kMaxTotalOctets)
            continue;
        TmsRemoteInfoItem kept;
        kept.Size = record.Size;
        kept.Headers = record.Headers;
        kept.UIDL = record.UIDL;
        if (!entries_.emplace(record.UIDL, std::move(kept)).second) continue;
        order_.push_back(record.UIDL);
        total += cost;
    }
    const auto same = [&](const std::string& uid) {
        const auto was = before.find(uid);
        if (was == before.end()) return false;
        const TmsRemoteInfoItem& now = entries_.at(uid);
        return was->second.Size == now.Size && was->second.Headers == now.Headers;
    };
    if (order_ != orderBefore || !std::all_of(order_.begin(), order_.end(), same)) matchesFile_ = false;
}

}  // namespace quorvel
