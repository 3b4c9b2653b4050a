#include "config/known_list.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "config/text_lines.h"
#include "platform/ascii_text.h"
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

struct SortRecord {
    // The first sixteen upper-cased bytes, big-endian and zero-padded, so
    // integer order is the bytes' order.
    std::uint64_t high;
    std::uint64_t low;
    std::size_t index;
};

std::uint64_t packedBytes(std::string_view entry, std::size_t from) {
    std::uint64_t value = 0;
    for (std::size_t k = from; k < from + 8; ++k) value = (value << 8) | (k < entry.size() ? fold(entry[k]) : 0u);
    return value;
}

unsigned keyByte(const SortRecord& record, int position) {  // position 0 is the most significant byte
    const std::uint64_t word = position < 8 ? record.high : record.low;
    return static_cast<unsigned>(word >> (8 * (7 - position % 8))) & 0xFFu;
}

// Orders records by their keys, then by the rest of their entries, then by
// their place in the input, so that equal entries keep their order.
class RecordOrder {
public:
    explicit RecordOrder(const std::vector<std::string_view>& entries) : entries_(entries) {}

    bool operator()(const SortRecord& a, const SortRecord& b) const {
        if (a.high != b.high) return a.high < b.high;
        if (a.low != b.low) return a.low < b.low;
        const std::string_view x = entries_[a.index];
        const std::string_view y = entries_[b.index];
        const int order = compareKnownEntries(x.substr(std::min(x.size(), kPrefixBytes)),
                                              y.substr(std::min(y.size(), kPrefixBytes)));
        if (order != 0) return order < 0;
        // Short entries whose zero bytes met the other's padding: the shorter one first.
        if (x.size() != y.size()) return x.size() < y.size();
        return a.index < b.index;
    }

private:
    const std::vector<std::string_view>& entries_;
};

// Most-significant-byte radix sort over the sixteen key bytes, handing small
// groups to std::sort. Each pass splits a group by one key byte, so big lists
// soon fall into groups that fit in the cache, and the work stays close to
// linear; a byte that the whole group shares costs one counting pass only.
void radixSort(SortRecord* first, SortRecord* last, int position, SortRecord* buffer, const RecordOrder& order) {
    constexpr std::ptrdiff_t kSmallGroup = 64;
    constexpr int kKeyBytes = 16;
    if (last - first <= kSmallGroup || position == kKeyBytes) {
        std::sort(first, last, order);
        return;
    }
    std::array<std::size_t, 257> starts{};
    for (const SortRecord* record = first; record != last; ++record) ++starts[keyByte(*record, position) + 1];
    if (std::find(starts.begin(), starts.end(), static_cast<std::size_t>(last - first)) != starts.end()) {
        radixSort(first, last, position + 1, buffer, order);
        return;
    }
    for (std::size_t i = 1; i < starts.size(); ++i) starts[i] += starts[i - 1];
    std::array<std::size_t, 256> next{};
    std::copy(starts.begin(), starts.end() - 1, next.begin());
    for (const SortRecord* record = first; record != last; ++record) buffer[next[keyByte(*record, position)]++] = *record;
    std::copy(buffer, buffer + (last - first), first);
    for (std::size_t bucket = 0; bucket < 256; ++bucket)
        if (starts[bucket + 1] - starts[bucket] > 1)
            radixSort(first + starts[bucket], first + starts[bucket + 1], position + 1, buffer, order);
}

// The sorted order of the entries, as indexes.
std::vector<std::size_t> sortedOrder(const std::vector<std::string_view>& entries) {
    std::vector<SortRecord> records;
    records.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i)
        records.push_back({packedBytes(entries[i], 0), packedBytes(entries[i], 8), i});
    std::vector<SortRecord> buffer(records.size());
    radixSort(records.data(), records.data() + records.size(), 0, buffer.data(), RecordOrder(entries));

    std::vector<std::size_t> order;
    order.reserve(records.size());
    for (const SortRecord& record : records) order.push_back(record.index);
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
    std::vector<std::string_view> entries = splitLines(bytes);
    std::erase_if(entries, [](std::string_view line) { return line.empty(); });
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
