// Feeds arbitrary bytes to the reader of a server's CAPA answer. The list must
// stay within its bounds, hold only printable upper-case names without
// repeats, find every name it holds in any case, and read back unchanged
// from the answer a server would send for it.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "mail/pop3_capabilities.h"

using namespace quorvel;

static bool printableWord(const std::string& word) {
    if (word.empty() || word.size() > TmsCapabilities::kMaxWordLength) return false;
    for (char c : word)
        if (c <= ' ' || c >= 0x7F) return false;
    return true;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const TmsCapabilities caps = TmsCapabilities::parse(bytes);
    if (caps.items().size() > TmsCapabilities::kMaxCapabilities) std::abort();

    std::string answer;
    for (const auto& item : caps.items()) {
        if (!printableWord(item.name)) std::abort();
        for (char c : item.name)
            if (c >= 'a' && c <= 'z') std::abort();
        if (item.arguments.size() > TmsCapabilities::kMaxArguments) std::abort();
        for (const auto& argument : item.arguments)
            if (!printableWord(argument)) std::abort();
        if (caps.find(item.name) != &item) std::abort();
        std::string lower = item.name;
        for (char& c : lower)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (caps.find(lower) != &item) std::abort();

        std::string line = item.name;
        for (const auto& argument : item.arguments) line += " " + argument;
        answer += (line.front() == '.' ? "." : "") + line + "\r\n";
    }
    if (TmsCapabilities::parse(answer + ".\r\n").items() != caps.items()) std::abort();
    return 0;
}
