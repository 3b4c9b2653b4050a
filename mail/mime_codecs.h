#pragma once

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quorvel {

// Appends the octets of one base64 text to `out`. "=" counts as padding: as
// many octets as the text has trailing "=" are dropped from what this call
// appended, and a short last group gives the whole octets its bits hold.
// Throws EMessageParserError "Invalid Character" for any other character
// outside the alphabet; `out` then holds part of the text's octets.
void appendBase64Decoded(std::string_view text, std::string& out);

// Appends the octets of one uuencoded line to `out`. The first character
// gives the length; the rest are taken in groups of four, a short last group
// padded with zero bits. Throws EMessageParserError "Invalid Character" for a
// character outside " " to "`".
void appendUudecoded(std::string_view line, std::string& out);

// A run of quoted-printable lines joined by soft breaks may not exceed this
// many octets.
inline constexpr std::size_t kMaxParagraph = 24575;

// Not a parser error: a message body that trips it is still shown.
class EParagraphTooLarge : public std::runtime_error {
public:
    EParagraphTooLarge() : std::runtime_error("Paragraph is too large") {}
};

// Decodes quoted-printable text line by line into `out`. Each line is taken
// as at most 255 octets; "=" and two hex digits become that octet, any other
// "=" stays. A line ending in "=" joins the next one (a soft break); other
// lines end in CR LF unless their text ends with the octet 26.
class QuotedPrintableDecoder {
public:
    // `onParagraph` runs after each finished paragraph (may be empty).
    QuotedPrintableDecoder(std::string& out, std::function<void()> onParagraph = {});

    // Throws EParagraphTooLarge when the current paragraph grows beyond
    // kMaxParagraph; what was decoded before stays in `out`.
    void addLine(std::string_view line);

private:
    std::string& out_;
    std::function<void()> onParagraph_;
    std::size_t paragraph_ = 0;
};

}  // namespace quorvel
