#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvel {

// Appends the UTF-8 form of the code point `c` (at most U+10FFFF).
inline void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes one UTF-8 character at `i` and moves past it; false for anything
// malformed, overlong, a surrogate or beyond U+10FFFF.
bool nextUtf8(std::string_view s, std::size_t& i, char32_t& c);
bool validUtf8(std::string_view s);
// The character of one Windows-1252 octet (0x81, 0x8D, 0x8F, 0x90 and 0x9D,
// which it leaves undefined, as themselves).
char32_t windows1252Char(unsigned char b);
// Text as it is shown: UTF-8 when it is valid UTF-8, Windows-1252 otherwise.
std::string bytesToUtf8(std::string_view bytes);

}  // namespace quorvel
