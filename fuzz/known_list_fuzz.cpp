// Feeds arbitrary bytes to the known-spammer list as its file and as the
// editor's text. The list must come out sorted, every entry must be found by
// its first 80 characters, and a saved list must load back unchanged.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "config/known_list.h"

using namespace quorvel;

static void checkSearchable(const KnownList& list) {
    const auto& entries = list.entries();
    for (std::size_t i = 1; i < entries.size(); ++i)
        if (compareKnownEntries(entries[i - 1], entries[i]) > 0) std::abort();
    for (const std::string& entry : entries) {
        const std::string_view key = std::string_view(entry).substr(0, kKnownEntryCompareLength);
        const int index = list.FindInKnownList(key);
        if (index < 0) std::abort();
        const std::string_view found = std::string_view(entries[static_cast<std::size_t>(index)]).substr(0, kKnownEntryCompareLength);
        if (compareKnownEntries(found, key) != 0) std::abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    KnownList loaded;
    loaded.loadFromBytes(bytes);
    checkSearchable(loaded);

    KnownList rebuilt;
    rebuilt.assign(filterKnownListLines(bytes));
    checkSearchable(rebuilt);
    for (const std::string& entry : rebuilt.entries())
        if (entry.empty() || hasNumericLocalPart(entry)) std::abort();

    KnownList reloaded;
    reloaded.loadFromBytes(rebuilt.toFileBytes());
    if (reloaded.entries() != rebuilt.entries()) std::abort();
    return 0;
}
