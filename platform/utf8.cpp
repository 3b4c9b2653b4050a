#include "platform/utf8.h"

namespace quorvel {

namespace {

// Windows-1252's characters at 0x80 to 0x9F; 0 where it has none.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

}  // namespace

bool nextUtf8(std::string_view s, std::size_t& i, char32_t& c) {
    const auto b = static_cast<unsigned char>(s[i]);
    int extra = 0;
    char32_t min = 0;
    if (b < 0x80) {
        c = b;
        ++i;
        return true;
    } else if ((b & 0xE0) == 0xC0) {
        extra = 1, min = 0x80, c = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
        extra = 2, min = 0x800, c = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
        extra = 3, min = 0x10000, c = b & 0x07;
    } else {
        return false;
    }
    if (i + static_cast<std::size_t>(extra) >= s.size()) return false;
    for (int k = 1; k <= extra; ++k) {
        const auto n = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
        if ((n & 0xC0) != 0x80) return false;
        c = (c << 6) | (n & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    i += static_cast<std::size_t>(extra) + 1;
    return true;
}

bool validUtf8(std::string_view s) {
    char32_t c;
    for (std::size_t i = 0; i < s.size();)
        if (!nextUtf8(s, i, c)) return false;
    return true;
}

char32_t windows1252Char(unsigned char b) {
    if (b >= 0x80 && b < 0xA0) {
        const char16_t mapped = kCp1252High[b - 0x80];
        return mapped ? static_cast<char32_t>(mapped) : static_cast<char32_t>(b);
    }
    return b;
}

std::string bytesToUtf8(std::string_view bytes) {
    if (validUtf8(bytes)) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    for (const char byte : bytes) appendUtf8(out, windows1252Char(static_cast<unsigned char>(byte)));
    return out;
}

}  // namespace quorvel
