#include "platform/ascii_text.h"

#include <algorithm>

namespace quorvel {

namespace {

bool isNumericChar(char c) { return IsDigitChar(c) || c == '_'; }
bool isSpaceOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }

}  // namespace

char asciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string asciiUpper(std::string_view text) {
    std::string result(text);
    for (char& c : result) c = asciiUpper(c);
    return result;
}

bool IsBlank(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c == ' ' || c == '\r' || c == '\n' || c == '\b'; });
}

bool IsDigitChar(char c) { return c >= '0' && c <= '9'; }

std::size_t CountNumericChars(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), isNumericChar));
}

bool IsAllNumeric(std::string_view text) { return CountNumericChars(text) == text.size(); }

std::string TrimText(std::string_view text) {
    while (!text.empty() && isSpaceOrControl(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpaceOrControl(text.back())) text.remove_suffix(1);
    return std::string(text);
}

}  // namespace quorvel
