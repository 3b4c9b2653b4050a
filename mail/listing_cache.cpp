#include "mail/listing_cache.h"

namespace quorvel {
namespace {

// A line's length as 7 bits an octet, low bits first, the high bit set on
// all but the last.
void putLength(std::string& out, std::size_t n) {
    while (n >= 0x80) {
        out += static_cast<char>((n & 0x7F) | 0x80);
        n >>= 7;
    }
    out += static_cast<char>(n);
}

std::size_t takeLength(const std::string& packed, std::size_t& at) {
    std::size_t n = 0;
    for (int shift = 0; at < packed.size(); shift += 7) {
        const auto octet = static_cast<unsigned char>(packed[at++]);
        n |= static_cast<std::size_t>(octet & 0x7F) << shift;
        if (!(octet & 0x80)) break;
    }
    return n;
}

}  // namespace

void TmsKnownMessage::appendLine(const char* data, std::size_t size) {
    putLength(packed_, size);
    packed_.append(data, size);
    ++lines_;
}

void TmsKnownMessage::setHeaders(const TmsHeaders& headers) {
    packed_.clear();
    lines_ = 0;
    std::size_t octets = 0;
    for (const std::string& line : headers) octets += line.size() + 3;
    packed_.reserve(octets);
    for (const std::string& line : headers) appendLine(line.data(), line.size());
    packed_.shrink_to_fit();
}

TmsHeaders TmsKnownMessage::headers() const {
    TmsHeaders lines;
    lines.reserve(lines_);
    for (std::size_t at = 0; at < packed_.size();) {
        const std::size_t size = takeLength(packed_, at);
        lines.emplace_back(packed_, at, size);
        at += size;
    }
    return lines;
}

bool TmsKnownMessage::sameHeaders(const TmsHeaders& headers) const {
    if (headers.size() != lines_) return false;
    std::size_t at = 0;
    for (const std::string& line : headers) {
        const std::size_t size = takeLength(packed_, at);
        if (size != line.size() || packed_.compare(at, size, line) != 0) return false;
        at += size;
    }
    return at == packed_.size();
}

}  // namespace quorvel
