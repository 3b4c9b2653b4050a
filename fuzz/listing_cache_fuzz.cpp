// Feeds arbitrary bytes to the listing cache file's reader as the file of a
// mailbox. Each must be discarded whole (and the cache left empty) or read
// within the cache's bounds, under ASan and UBSan.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "mail/listing_cache_file.h"
#include "platform/files.h"

using namespace quorvel;

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

const TmsListingAccount kAccount{"pop.example.org", 110, "alice"};

std::string folder() {
    static const std::string path = [] {
        char name[] = "/tmp/listing-cache-fuzz-XXXXXX";
        require(mkdtemp(name) != nullptr);
        return std::string(name);
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string path = folder() + "/in.dat";
    writeFileAtomically(path, bytes);
    TmsListingCacheFile cache(path, kAccount);
    if (!cache.load().empty()) {
        require(cache.size() == 0);
        return 0;
    }
    require(cache.size() <= TmsListingCacheFile::kMaxEntries);
    // A cache read unchanged is not written again.
    cache.save();
    require(*readFileBytes(path) == bytes);
    return 0;
}
