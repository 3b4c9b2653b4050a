#include "cli/output.h"

#include <cstdint>

#include "platform/utf8.h"

namespace quorvel::cli {

namespace {

// Windows-1252's characters at 0x80 to 0x9F; 0 where it has none.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Decodes one UTF-8 character at `i`; false for anything malformed,
// overlong, a surrogate or beyond U+10FFFF.
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

template <typename Visit>
void forEachChar(std::string_view bytes, Visit visit) {
    if (validUtf8(bytes)) {
        char32_t c;
        for (std::size_t i = 0; i < bytes.size();) {
            nextUtf8(bytes, i, c);
            visit(c);
        }
        return;
    }
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        if (b >= 0x80 && b < 0xA0) {
            const char16_t mapped = kCp1252High[b - 0x80];
            visit(mapped ? static_cast<char32_t>(mapped) : static_cast<char32_t>(b));
        } else {
            visit(static_cast<char32_t>(b));
        }
    }
}

bool isControl(char32_t c) {
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0);
}

// Bidirectional embeddings, overrides and isolates reorder what the terminal
// shows, and the line and paragraph separators break a line: handled as
// control characters are.
bool isFormatControl(char32_t c) {
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x2028 || c == 0x2029;
}

}  // namespace

std::string toUtf8(std::string_view bytes) {
    if (validUtf8(bytes)) return std::string(bytes);
    std::string out;
    forEachChar(bytes, [&](char32_t c) { appendUtf8(out, c); });
    return out;
}

std::string plainLine(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    forEachChar(bytes, [&](char32_t c) {
        if (c == '\t' || c == '\r' || c == '\n')
            out += ' ';
        else if (isControl(c) || isFormatControl(c))
            out += '?';
        else
            appendUtf8(out, c);
    });
    return out;
}

std::string jsonString(std::string_view bytes) {
    std::string out = "\"";
    static const char* const hex = "0123456789abcdef";
    forEachChar(bytes, [&](char32_t c) {
        switch (c) {
        case '"': out += "\\\""; return;
        case '\\': out += "\\\\"; return;
        case '\n': out += "\\n"; return;
        case '\r': out += "\\r"; return;
        case '\t': out += "\\t"; return;
        default: break;
        }
        if (isControl(c) || isFormatControl(c)) {
            out += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4) out += hex[(c >> shift) & 0xF];
        } else {
            appendUtf8(out, c);
        }
    });
    out += '"';
    return out;
}

}  // namespace quorvel::cli
