#include "mail/mime_codecs.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "mail/headers.h"

namespace quorvel {

namespace {

constexpr std::uint8_t kInvalid = 0xFF;

constexpr std::array<std::uint8_t, 256> makeBase64Table() {
    std::array<std::uint8_t, 256> table{};
    table.fill(kInvalid);
    for (int i = 0; i < 26; ++i) {
        table['A' + i] = static_cast<std::uint8_t>(i);
        table['a' + i] = static_cast<std::uint8_t>(26 + i);
    }
    for (int i = 0; i < 10; ++i) table['0' + i] = static_cast<std::uint8_t>(52 + i);
    table['+'] = 62;
    table['/'] = 63;
    table['='] = 0;  // padding: its octets are dropped afterwards
    return table;
}

constexpr std::array<std::uint8_t, 256> kBase64 = makeBase64Table();

[[noreturn]] void invalidCharacter() {
    throw EMessageParserError("Invalid Character");
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// " " and "`" both stand for 0: old encoders wrote spaces, newer ones "`"
// because transports strip trailing spaces.
std::uint32_t uuValue(char c) {
    const auto octet = static_cast<unsigned char>(c);
    if (octet < ' ' || octet > '`') invalidCharacter();
    return (octet - ' ') & 0x3F;
}

}  // namespace

void appendBase64Decoded(std::string_view text, std::string& out) {
    const std::size_t start = out.size();
    out.resize(start + text.size() / 4 * 3 + 2);
    char* write = out.data() + start;
    std::uint32_t group = 0;
    int inGroup = 0;
    for (const char c : text) {
        const std::uint8_t value = kBase64[static_cast<unsigned char>(c)];
        if (value == kInvalid) {
            out.resize(static_cast<std::size_t>(write - out.data()));
            invalidCharacter();
        }
        group = (group << 6) | value;
        if (++inGroup == 4) {
            *write++ = static_cast<char>(group >> 16);
            *write++ = static_cast<char>(group >> 8);
            *write++ = static_cast<char>(group);
            group = 0;
            inGroup = 0;
        }
    }
    if (inGroup >= 2) *write++ = static_cast<char>(group >> (6 * inGroup - 8));
    if (inGroup == 3) *write++ = static_cast<char>(group >> 2);

    std::size_t padding = 0;
    while (padding < text.size() && text[text.size() - 1 - padding] == '=') ++padding;
    const std::size_t written = static_cast<std::size_t>(write - out.data()) - start;
    out.resize(start + written - std::min(padding, written));
}

void appendUudecoded(std::string_view line, std::string& out) {
    if (line.empty()) return;
    const std::size_t length = uuValue(line.front());
    line.remove_prefix(1);
    const std::size_t start = out.size();
    for (std::size_t i = 0; i < line.size(); i += 4) {
        std::uint32_t group = 0;
        for (std::size_t k = i; k < i + 4; ++k) group = (group << 6) | (k < line.size() ? uuValue(line[k]) : 0);
        out += static_cast<char>(group >> 16);
        out += static_cast<char>(group >> 8);
        out += static_cast<char>(group);
    }
    out.resize(std::min(out.size(), start + length));
}

QuotedPrintableDecoder::QuotedPrintableDecoder(std::string& out, std::function<void()> onParagraph)
    : out_(out), onParagraph_(std::move(onParagraph)) {}

void QuotedPrintableDecoder::addLine(std::string_view line) {
    line = line.substr(0, std::min<std::size_t>(line.size(), 255));
    // Only a raw "=" at the end breaks softly; an encoded "=3D" there is text.
    const bool softBreak = !line.empty() && line.back() == '=';
    if (softBreak) line.remove_suffix(1);

    const std::size_t start = out_.size();
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        int high = 0;
        int low = 0;
        if (c == '=' && i + 2 < line.size() &&
            (high = hexValue(line[i + 1])) >= 0 && (low = hexValue(line[i + 2])) >= 0) {
            out_ += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            out_ += c;
        }
    }
    paragraph_ += out_.size() - start;
    if (paragraph_ > kMaxParagraph) throw EParagraphTooLarge();
    if (softBreak) return;

    if (out_.size() == start || out_.back() != '\x1A') out_ += "\r\n";
    paragraph_ = 0;
    if (onParagraph_) onParagraph_();
}

}  // namespace quorvel
