#include "config/known_list.h"

#include <algorithm>

#include "classify/operators.h"
#include "config/text_lines.h"
#include "platform/files.h"

namespace quorvel {

namespace {

bool knownLess(const std::string& a, const std::string& b) { return compareKnownEntries(a, b) < 0; }

}  // namespace

int compareKnownEntries(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto x = static_cast<unsigned char>(asciiUpper(a[i]));
        const auto y = static_cast<unsigned char>(asciiUpper(b[i]));
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
    std::vector<std::string> entries;
    for (std::string_view line : splitLines(bytes))
        if (!line.empty()) entries.emplace_back(line);
    assign(std::move(entries));
}

int KnownList::FindInKnownList(std::string_view key) const {
    // Signed bounds: high may drop below low = 0.
    long long low = 0;
    long long high = static_cast<long long>(entries_.size()) - 1;
    while (low <= high) {
        const long long middle = (low + high) / 2;
        const std::string_view entry =
            std::string_view(entries_[static_cast<std::size_t>(middle)]).substr(0, kKnownEntryCompareLength);
        const int order = compareKnownEntries(key, entry);
        if (order == 0) return static_cast<int>(middle);
        if (order < 0)
            high = middle - 1;
        else
            low = middle + 1;
    }
    return -1;
}

void KnownList::assign(std::vector<std::string> entries) {
    if (!std::is_sorted(entries.begin(), entries.end(), knownLess))
        std::stable_sort(entries.begin(), entries.end(), knownLess);
    entries_ = std::move(entries);
}

std::string KnownList::toFileBytes() const {
    std::string out;
    std::size_t total = 0;
    for (const std::string& entry : entries_) total += entry.size() + 2;
    out.reserve(total);
    for (const std::string& entry : entries_) {
        out += entry;
        out += "\r\n";
    }
    return out;
}

bool hasNumericLocalPart(std::string_view line) {
    const std::size_t at = line.find('@');
    if (at == std::string_view::npos) return false;
    return IsAllNumeric(line.substr(0, at));
}

std::vector<std::string> filterKnownListLines(std::string_view editorText) {
    std::vector<std::string> kept;
    std::string previous;  // upper-cased; the first line is compared with an empty one
    for (std::string_view line : splitLines(editorText)) {
        std::string upper = asciiUpper(line);
        if (upper != previous && !line.empty() && !hasNumericLocalPart(line)) kept.emplace_back(line);
        previous = std::move(upper);
    }
    return kept;
}

}  // namespace quorvel
