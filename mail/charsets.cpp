#include "mail/charsets.h"

#include <iconv.h>

#include <cerrno>

#include "platform/ascii_text.h"
#include "platform/utf8.h"

namespace quorvel {

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

bool isLatin1(const std::string& name) {
    return name == "ISO-8859-1" || name == "ISO8859-1" || name == "ISO_8859-1" || name == "LATIN1" ||
           name == "LATIN-1" || name == "L1" || name == "WINDOWS-1252" || name == "CP1252";
}

bool readAsBytes(const std::string& name) {
    return name.empty() || name == "US-ASCII" || name == "ASCII" || name.starts_with("UTF-16") ||
           name.starts_with("UTF-32") || name.starts_with("UCS");
}

std::string windows1252ToUtf8(std::string_view octets) {
    std::string out;
    out.reserve(octets.size() + octets.size() / 2);
    for (const char c : octets) appendUtf8(out, windows1252Char(static_cast<unsigned char>(c)));
    return out;
}

// UTF-8 kept as it is, each malformed sequence (its longest start that
// could still have been a character) becoming one U+FFFD.
std::string repairedUtf8(std::string_view octets) {
    std::string out;
    out.reserve(octets.size());
    for (std::size_t i = 0; i < octets.size();) {
        const std::size_t start = i;
        char32_t c = 0;
        if (nextUtf8(octets, i, c)) {
            out.append(octets.substr(start, i - start));
            continue;
        }
        out += kReplacement;
        i = start + 1;
        while (i < octets.size() && (static_cast<unsigned char>(octets[i]) & 0xC0) == 0x80 && i - start < 4) ++i;
    }
    return out;
}

}  // namespace

std::string charSetToUtf8(std::string_view octets, std::string_view charSet, bool fallBack) {
    const std::string name = asciiUpper(charSet);
    if (isLatin1(name)) return windows1252ToUtf8(octets);
    if (readAsBytes(name)) return bytesToUtf8(octets);
    if (name == "UTF-8" || name == "UTF8")
        return fallBack && !validUtf8(octets) ? bytesToUtf8(octets) : repairedUtf8(octets);

    iconv_t cd = iconv_open("UTF-8", name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return bytesToUtf8(octets);
    struct Close {
        iconv_t cd;
        ~Close() { iconv_close(cd); }
    } closing{cd};
    std::string out;
    char buffer[1024];
    auto* in = const_cast<char*>(octets.data());
    std::size_t inLeft = octets.size();
    const auto drain = [&](char* end) { out.append(buffer, static_cast<std::size_t>(end - buffer)); };
    while (inLeft > 0) {
        char* to = buffer;
        std::size_t toLeft = sizeof buffer;
        const std::size_t done = iconv(cd, &in, &inLeft, &to, &toLeft);
        drain(to);
        if (done != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) continue;
        if (fallBack) return bytesToUtf8(octets);
        out += kReplacement;
        if (errno == EINVAL) break;  // cut short at the end
        ++in;                         // EILSEQ: not in this set
        --inLeft;
    }
    // Back to the initial shift state (ISO-2022-JP ends its escapes here).
    char* to = buffer;
    std::size_t toLeft = sizeof buffer;
    iconv(cd, nullptr, nullptr, &to, &toLeft);
    drain(to);
    return out;
}

}  // namespace quorvel
