// Feeds arbitrary bytes to the reader of a server's CAPA answer as the whole
// answer; the list must pass the checks of capa_check.h. (The reply reader's
// target also hands it every multi-line answer it reads.)
#include <cstdint>
#include <string_view>

#include "capa_check.h"

using namespace quorvel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    fuzz::checkCapabilities(TmsCapabilities::parse(bytes));
    return 0;
}
