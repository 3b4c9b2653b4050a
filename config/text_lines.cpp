#include "config/text_lines.h"

#include <algorithm>

namespace quorvel {

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    // One line per line feed, as most files have it; spares regrowing a big list.
    lines.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

std::optional<long long> readLeadingNumber(std::string_view text, long long limit) {
    if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        value = value * 10 + (c - '0');
        if (value > limit) return std::nullopt;
    }
    return value;
}

}  // namespace quorvel
