// Feeds arbitrary bytes to the known-spammer list as its file and as the
// editor's text. The list must come out sorted, every entry must be found by
// its first 80 characters, and a saved list must load back unchanged.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "config/known_list.h"

using namespace quorvel;

static void checkSearchable(const KnownList& list) {
    for (std::size_t i = 1; i < list.size(); ++i)
        if (compareKnownEntries(list.entry(i - 1), list.entry(i)) > 0) std::abort();
    for (std::size_t i = 0; i < list.size(); ++i) {
        const std::string_view key = list.entry(i).substr(0, kKnownEntryCompareLength);
        const int index = list.FindInKnownList(key);
        if (index < 0) std::abort();
        const std::string_view found = list.entry(static_cast<std::size_t>(index)).substr(0, kKnownEntryCompareLength);
        if (compareKnownEntries(found, key) != 0) std::abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    KnownList loaded;
    loaded.loadFromBytes(bytes);
    checkSearchable(loaded);

    // Both orders of the lines must sort to the same list.
    const std::vector<std::string_view> kept = filterKnownListLines(bytes);
    KnownList rebuilt;
    rebuilt.assign(kept);
    checkSearchable(rebuilt);
    for (std::size_t i = 0; i < rebuilt.size(); ++i)
        if (rebuilt.entry(i).empty() || hasNumericLocalPart(rebuilt.entry(i))) std::abort();
    KnownList reversed;
    reversed.assign(std::vector<std::string_view>(kept.rbegin(), kept.rend()));
    for (std::size_t i = 0; i < rebuilt.size(); ++i)
        if (compareKnownEntries(reversed.entry(i), rebuilt.entry(i)) != 0) std::abort();

    KnownList reloaded;
    reloaded.loadFromBytes(rebuilt.toFileBytes());
    if (reloaded.entries() != rebuilt.entries()) std::abort();
    return 0;
}
