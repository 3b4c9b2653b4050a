#include "config/known_list.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "classify/operators.h"
#include "config/text_lines.h"
#include "platform/files.h"

namespace quorvel {

namespace {

// ASCII upper-casing as a table, so comparing long lists costs no call per byte.
struct FoldTable {
    unsigned char map[256];
    constexpr FoldTable() : map() {
        for (int c = 0; c < 256; ++c) map[c] = static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
};
constexpr FoldTable kFold;

unsigned char fold(char c) { return kFold.map[static_cast<unsigned char>(c)]; }

bool knownLess(std::string_view a, std::string_view b) { return compareKnownEntries(a, b) < 0; }

constexpr std::size_t kPrefixBytes = 16;

// Sorts big lists fast: the sort moves small records that carry the first
// sixteen upper-cased bytes of an entry as two integers, side by side in
// memory; only records with equal first bytes look at the entries themselves.
// Entries that compare equal keep their order. Returns the indexes in order.
std::vector<std::size_t> sortedOrder(const std::vector<std::string_view>& entries) {
    struct Record {
        // Big-endian and zero-padded, so integer order is the bytes' order.
        std::uint64_t high;
        std::uint64_t low;
        std::size_t index;
    };
    const auto packed = [](std::string_view entry, std::size_t from) {
        std::uint64_t value = 0;
        for (std::size_t k = from; k < from + 8; ++k) value = (value << 8) | (k < entry.size() ? fold(entry[k]) : 0u);
        return value;
    };
    std::vector<Record> records;
    records.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i)
        records.push_back({packed(entries[i], 0), packed(entries[i], 8), i});
    std::sort(records.begin(), records.end(), [&entries](const Record& a, const Record& b) {
        if (a.high != b.high) return a.high < b.high;
        if (a.low != b.low) return a.low < b.low;
        // Equal prefixes: both go on past them, or both end inside the same padding.
        const std::string_view x = entries[a.index];
        const std::string_view y = entries[b.index];
        const int order = compareKnownEntries(x.substr(std::min(x.size(), kPrefixBytes)),
                                              y.substr(std::min(y.size(), kPrefixBytes)));
        if (order != 0) return order < 0;
        // Short entries whose zero bytes met the other's padding: the shorter one first.
        if (x.size() != y.size()) return x.size() < y.size();
        return a.index < b.index;
    });
    std::vector<std::size_t> order;
    order.reserve(records.size());
    for (const Record& record : records) order.push_back(record.index);
    return order;
}

}  // namespace

int compareKnownEntries(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const unsigned char x = fold(a[i]);
        const unsigned char y = fold(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

void KnownList::LoadUpKnownList(const std::string& path) {
    const auto bytes = readFileBytes(path);
    loadFromBytes(bytes ? std::string_view(*bytes) : std::string_view());
}

void KnownList::loadFromBytes(std::string_view bytes) {
    std::vector<std::string_view> entries;
    for (std::string_view line : splitLines(bytes))
        if (!line.empty()) entries.push_back(line);
    assign(entries);
}

int KnownList::FindInKnownList(std::string_view key) const {
    // Signed bounds: high may drop below low = 0.
    long long low = 0;
    long long high = static_cast<long long>(size()) - 1;
    while (low <= high) {
        const long long middle = (low + high) / 2;
        const std::string_view candidate = entry(static_cast<std::size_t>(middle)).substr(0, kKnownEntryCompareLength);
        const int order = compareKnownEntries(key, candidate);
        if (order == 0) return static_cast<int>(middle);
        if (order < 0)
            high = middle - 1;
        else
            low = middle + 1;
    }
    return -1;
}

void KnownList::assign(const std::vector<std::string_view>& entries) {
    std::size_t total = 0;
    for (std::string_view text : entries) total += text.size() + 2;
    std::string pool;
    pool.reserve(total);
    std::vector<std::size_t> starts;
    starts.reserve(entries.size());
    const auto append = [&](std::string_view text) {
        starts.push_back(pool.size());
        pool.append(text).append("\r\n");
    };
    if (std::is_sorted(entries.begin(), entries.end(), knownLess)) {
        for (std::string_view text : entries) append(text);
    } else {
        const std::vector<std::size_t> order = sortedOrder(entries);
        // The entries are read in scattered order: ask for the next ones early
        // so the memory reads overlap.
        constexpr std::size_t kAhead = 8;
        for (std::size_t i = 0; i < order.size(); ++i) {
            if (i + kAhead < order.size()) __builtin_prefetch(entries[order[i + kAhead]].data());
            append(entries[order[i]]);
        }
    }
    pool_ = std::move(pool);
    starts_ = std::move(starts);
}

std::string_view KnownList::entry(std::size_t index) const {
    const std::size_t end = index + 1 < starts_.size() ? starts_[index + 1] : pool_.size();
    return std::string_view(pool_).substr(starts_[index], end - starts_[index] - 2);
}

std::vector<std::string> KnownList::entries() const {
    std::vector<std::string> result;
    result.reserve(size());
    for (std::size_t i = 0; i < size(); ++i) result.emplace_back(entry(i));
    return result;
}

bool hasNumericLocalPart(std::string_view line) {
    const std::size_t at = line.find('@');
    if (at == std::string_view::npos) return false;
    return IsAllNumeric(line.substr(0, at));
}

std::vector<std::string_view> filterKnownListLines(std::string_view editorText) {
    std::vector<std::string_view> kept;
    // Equal under the list's order means equal once upper-cased. The first
    // line is compared with an empty one.
    std::string_view previous;
    for (std::string_view line : splitLines(editorText)) {
        if (compareKnownEntries(line, previous) != 0 && !line.empty() && !hasNumericLocalPart(line)) kept.push_back(line);
        previous = line;
    }
    return kept;
}

}  // namespace quorvel
