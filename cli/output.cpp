#include "cli/output.h"

#include <cstdint>

#include "platform/utf8.h"

namespace quorvel::cli {

namespace {

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
    for (const char byte : bytes) visit(windows1252Char(static_cast<unsigned char>(byte)));
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
    return bytesToUtf8(bytes);
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
