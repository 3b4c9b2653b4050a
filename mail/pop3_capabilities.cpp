#include "mail/pop3_capabilities.h"

#include <algorithm>

namespace quorvel {

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t';
}

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return upper(x) == upper(y);
           });
}

// Printable ASCII only: a capability is a keyword, not text to show.
bool printableWord(std::string_view word) {
    return std::all_of(word.begin(), word.end(), [](char c) { return c > ' ' && c < 0x7F; });
}

// Splits a line into words at spaces and tabs; false when a word is not
// printable or too long, or there are too many of them.
bool splitWords(std::string_view line, std::vector<std::string>& words) {
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && isSpace(line[i])) ++i;
        if (i == line.size()) break;
        std::size_t end = i;
        while (end < line.size() && !isSpace(line[end])) ++end;
        const std::string_view word = line.substr(i, end - i);
        if (word.size() > TmsCapabilities::kMaxWordLength || !printableWord(word)) return false;
        if (words.size() > TmsCapabilities::kMaxArguments) return false;
        words.emplace_back(word);
        i = end;
    }
    return true;
}

}  // namespace

TmsCapabilities TmsCapabilities::parse(std::string_view answer) {
    TmsCapabilities result;
    std::size_t i = 0;
    while (i < answer.size() && result.items_.size() < kMaxCapabilities) {
        std::size_t end = answer.find('\n', i);
        if (end == std::string_view::npos) end = answer.size();
        std::string_view line = answer.substr(i, end - i);
        i = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line == ".") break;
        // A line that starts with a dot was stuffed by the server.
        if (!line.empty() && line.front() == '.') line.remove_prefix(1);

        std::vector<std::string> words;
        if (!splitWords(line, words) || words.empty()) continue;
        std::string name = std::move(words.front());
        std::transform(name.begin(), name.end(), name.begin(), upper);
        // A name said twice keeps its first arguments.
        if (result.has(name)) continue;
        words.erase(words.begin());
        result.items_.push_back({std::move(name), std::move(words)});
    }
    return result;
}

const TmsCapabilities::Capability* TmsCapabilities::find(std::string_view name) const {
    for (const Capability& c : items_)
        if (sameName(c.name, name)) return &c;
    return nullptr;
}

}  // namespace quorvel
