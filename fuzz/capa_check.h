// The checks every CAPA answer's list must pass: within its bounds, only
// printable upper-case names without repeats, every name found in any case,
// and the answer a server would send for the list reads back the same.
#pragma once

#include <cstdlib>
#include <string>

#include "mail/pop3_capabilities.h"

namespace quorvel::fuzz {

inline bool printableCapabilityWord(const std::string& word) {
    if (word.empty() || word.size() > TmsCapabilities::kMaxWordLength) return false;
    for (char c : word)
        if (c <= ' ' || c >= 0x7F) return false;
    return true;
}

inline void checkCapabilities(const TmsCapabilities& caps) {
    if (caps.items().size() > TmsCapabilities::kMaxCapabilities) std::abort();
    std::string answer;
    for (const auto& item : caps.items()) {
        if (!printableCapabilityWord(item.name)) std::abort();
        for (char c : item.name)
            if (c >= 'a' && c <= 'z') std::abort();
        if (item.arguments.size() > TmsCapabilities::kMaxArguments) std::abort();
        for (const auto& argument : item.arguments)
            if (!printableCapabilityWord(argument)) std::abort();
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
}

}  // namespace quorvel::fuzz
