#include "mail/headers.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "mail/charsets.h"
#include "mail/mime_codecs.h"
#include "platform/utf8.h"

namespace quorvel {

namespace {

// Control characters count as blank too: header lines arrive as raw octets.
bool isBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}


// Copy(text, from, ...) with the usual clamping: past the end gives "".
std::string_view tail(std::string_view text, std::size_t from) {
    return from >= text.size() ? std::string_view() : text.substr(from);
}

char upperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string upperAscii(std::string_view text) {
    std::string result(text);
    for (char& c : result) c = upperAscii(c);
    return result;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (upperAscii(text[i]) != upperAscii(prefix[i])) return false;
    return true;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int hexValue(char c) {
    if (isDigit(c)) return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string cut(std::string_view text) {
    return std::string(text.substr(0, std::min(text.size(), kMaxHeaderText)));
}

// These fields are read whole and raw: their parameters and ids must survive.
bool keepsWholeValue(std::string_view fieldWithColon) {
    const std::string bare = upperAscii(fieldWithColon.substr(0, fieldWithColon.size() - 1));
    return bare == "CONTENT-TYPE" || bare == "X-UIDL";
}

std::string decodeBase64(std::string_view text) {
    std::string out;
    appendBase64Decoded(text, out);
    return out;
}

std::string decodeQuotedPrintable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '=') {
            out += c;
        } else if (i + 1 == text.size()) {
            // a final "=" is a soft line break: nothing to keep
        } else if (i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    out.resize(std::min(out.find_first_of("\r\n"), out.size()));
    return out;
}

// Position of the "?=" closing the encoded word that opens at `start`. The
// "?=" right after "?B" or "?Q" is the separator before an encoded text that
// begins with "=", not the end.
std::size_t findEncodedWordEnd(std::string_view text, std::size_t start) {
    for (std::size_t p = std::max<std::size_t>(start, 2); p + 1 < text.size(); ++p) {
        if (text[p] != '?' || text[p + 1] != '=') continue;
        if (text[p - 2] == '?' && (text[p - 1] == 'B' || text[p - 1] == 'Q')) continue;
        return p;
    }
    return std::string_view::npos;
}

std::string decodeWord(std::string_view inner) {
    // The character set is ignored: the octets are shown as they come.
    const std::size_t charsetEnd = inner.find('?');
    if (charsetEnd != std::string_view::npos) inner.remove_prefix(charsetEnd + 1);
    const char encoding = inner.empty() ? '\0' : inner.front();
    inner = tail(inner, 2);
    if (encoding == 'B' || encoding == 'b') return decodeBase64(inner);
    if (encoding == 'Q' || encoding == 'q') return decodeQuotedPrintable(inner);
    return std::string(inner);  // an unknown encoding shows its text undecoded
}

bool toInt(std::string_view text, int& result) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return false;
    long long value = 0;
    for (char c : text) {
        if (!isDigit(c)) return false;
        value = value * 10 + (c - '0');
        if (value > 0x7fffffff) return false;
    }
    result = static_cast<int>(negative ? -value : value);
    return true;
}

bool readUnsigned(std::string_view text, int& result) {
    return !text.empty() && isDigit(text.front()) && toInt(text, result);
}

// Hours and minutes, seconds optional.
bool readTime(std::string_view text, char separator, DateParts& parts) {
    std::array<int, 3> fields{};
    std::size_t count = 0;
    for (;;) {
        if (count == fields.size()) return false;
        const std::size_t end = std::min(text.find(separator), text.size());
        if (!readUnsigned(text.substr(0, end), fields[count++])) return false;
        if (end == text.size()) break;
        text.remove_prefix(end + 1);
    }
    if (count < 2 || fields[0] > 23 || fields[1] > 59 || fields[2] > 59) return false;
    parts.hour = fields[0];
    parts.minute = fields[1];
    parts.second = fields[2];
    return true;
}

std::size_t firstDigit(std::string_view text) {
    const auto it = std::find_if(text.begin(), text.end(), isDigit);
    return it == text.end() ? std::string_view::npos : static_cast<std::size_t>(it - text.begin());
}

// Steps 2 and 5 of reading a date: drop everything before the first digit;
// fails when there is none or it is the last character.
bool skipToDigit(std::string& text) {
    const std::size_t digit = firstDigit(text);
    if (digit == std::string::npos || digit + 1 == text.size()) return false;
    text = std::string(trimmed(tail(text, digit)));
    return true;
}

constexpr std::array<std::string_view, 12> kMonths = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                                       "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

bool readDate(const std::string& input, TDateTime& dateTime, std::string& zone, char timeSeparator) {
    std::string text = upperAscii(Unquote(input));
    if (text.empty() || !skipToDigit(text)) return false;

    // Positions below are found as in a scan that stops at the end of the
    // text; a delimiter in the last place means a missing part.
    std::size_t space = std::min(text.find(' '), text.size());
    if (space + 1 == text.size()) return false;
    DateParts parts;
    if (!toInt(std::string_view(text).substr(0, space), parts.day)) return false;
    text = std::string(trimmed(tail(text, space + 1)));

    // Searched anywhere: a later word holding an earlier month's name wins.
    const auto month = std::find_if(kMonths.begin(), kMonths.end(), [&](std::string_view name) {
        return text.find(name) != std::string::npos;
    });
    if (month == kMonths.end()) return false;
    parts.month = static_cast<int>(month - kMonths.begin()) + 1;

    if (!skipToDigit(text)) return false;
    const std::size_t yearEnd = std::min(text.find_first_of(" ,"), text.size());
    if (yearEnd + 1 == text.size()) return false;
    if (!toInt(std::string_view(text).substr(0, yearEnd), parts.year)) return false;
    if (parts.year >= 0 && parts.year <= 50)
        parts.year += 2000;
    else if (parts.year >= 51 && parts.year <= 99)
        parts.year += 1900;
    text = std::string(trimmed(tail(text, yearEnd + 1)));

    // The time ends at the first space from where the year's delimiter was.
    std::size_t timeEnd = yearEnd;
    while (timeEnd < text.size() && text[timeEnd] != ' ') ++timeEnd;
    if (timeEnd + 1 == text.size()) return false;
    std::string_view time = trimmed(std::string_view(text).substr(0, std::min(timeEnd, text.size())));
    if (!time.empty() && time.back() == ',') time.remove_suffix(1);
    if (time.empty()) return false;
    if (!readTime(time, timeSeparator, parts)) parts.hour = parts.minute = parts.second = 0;

    if (!tryEncodeDateTime(parts, dateTime)) return false;
    zone = std::string(trimmed(tail(text, timeEnd + 1)));
    return true;
}

}  // namespace

namespace {

// The unfolded value of the first field called `name`, cut as it is before
// its encoded words are decoded; `whole` tells a field that is not decoded.
void rawFieldValue(const TmsHeaders& headers, const std::string& name, std::string& value, bool& whole,
                   std::size_t limit = kMaxHeaderText) {
    value.clear();
    whole = false;
    std::string field = name;
    if (field.empty() || field.back() != ':') field += ':';
    if (field == ":") return;  // no name, no field

    const auto line = std::find_if(headers.begin(), headers.end(), [&](const std::string& candidate) {
        return startsWithNoCase(candidate, field);
    });
    if (line == headers.end()) return;

    whole = keepsWholeValue(field);
    // The one character after the colon is taken to be the usual space and
    // dropped whatever it is.
    const std::string_view first = trimmed(tail(*line, line->find(':') + 2));
    value = whole ? std::string(first) : std::string(first.substr(0, std::min(first.size(), limit)));
    for (auto next = line + 1; next != headers.end(); ++next) {
        if (next->empty() || (next->front() != ' ' && next->front() != '\t')) break;
        if (!whole && value.size() >= limit) break;  // the rest would be cut anyway
        value += ' ';
        value += trimmed(*next);
    }
    if (!whole && value.size() > limit) value.resize(limit);
}

// One encoded word at `at` ("=?charset?B|Q?text?="): its character set
// (without a language), its octets and where it ends. False for anything
// else, which is then shown as it is.
bool readEncodedWord(std::string_view text, std::size_t at, std::string& charSet, std::string& octets,
                     std::size_t& end) {
    if (text.compare(at, 2, "=?") != 0) return false;
    const std::size_t setEnd = text.find('?', at + 2);
    if (setEnd == std::string_view::npos || setEnd + 2 >= text.size() || text[setEnd + 2] != '?') return false;
    const std::string_view set = text.substr(at + 2, setEnd - at - 2);
    if (std::any_of(set.begin(), set.end(), isBlank)) return false;
    const char encoding = upperAscii(text[setEnd + 1]);
    if (encoding != 'B' && encoding != 'Q') return false;
    const std::size_t textStart = setEnd + 3;
    const std::size_t close = text.find("?=", textStart);
    if (close == std::string_view::npos) return false;
    const std::string_view encoded = text.substr(textStart, close - textStart);
    if (encoded.find('?') != std::string_view::npos) return false;
    octets.clear();
    if (encoding == 'Q') {
        for (std::size_t i = 0; i < encoded.size(); ++i) {
            const char c = encoded[i];
            if (c == '_') {
                octets += ' ';
            } else if (c == '=' && i + 2 < encoded.size() && hexValue(encoded[i + 1]) >= 0 &&
                       hexValue(encoded[i + 2]) >= 0) {
                octets += static_cast<char>(hexValue(encoded[i + 1]) * 16 + hexValue(encoded[i + 2]));
                i += 2;
            } else {
                octets += c;
            }
        }
    } else {
        // Leniently, as mail programs read it: characters outside the
        // alphabet and padding in the wrong place are passed over.
        static constexpr std::string_view kAlphabet =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        unsigned bits = 0;
        int count = 0;
        for (const char c : encoded) {
            const std::size_t value = kAlphabet.find(c);
            if (value == std::string_view::npos) continue;
            bits = (bits << 6) | static_cast<unsigned>(value);
            count += 6;
            if (count >= 8) {
                count -= 8;
                octets += static_cast<char>((bits >> count) & 0xFF);
            }
        }
    }
    charSet = upperAscii(set.substr(0, std::min(set.find('*'), set.size())));
    end = close + 2;
    return true;
}

// The first `limit` characters of UTF-8 text.
std::string firstChars(std::string text, std::size_t limit) {
    std::size_t at = 0;
    for (std::size_t n = 0; at < text.size() && n < limit; ++n) {
        ++at;
        while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) ++at;
    }
    text.resize(at);
    return text;
}

}  // namespace

void GetFieldValue(const TmsHeaders& headers, const std::string& name, std::string& value) {
    bool whole = false;
    rawFieldValue(headers, name, value, whole);
    if (!whole) value = DecodeEncodedWords(value);
}

std::string DecodeHeaderText(std::string_view value) {
    std::string out;
    std::string plain;    // octets outside encoded words, not yet shown
    std::string pending;  // octets of adjacent encoded words in one set
    std::string pendingSet;
    std::string blanks;  // after an encoded word: dropped when another follows
    bool afterWord = false;
    const auto flushWords = [&] {
        out += charSetToUtf8(pending, pendingSet);
        pending.clear();
    };
    std::string charSet, octets;
    for (std::size_t i = 0; i < value.size();) {
        std::size_t end = 0;
        if (value[i] == '=' && readEncodedWord(value, i, charSet, octets, end)) {
            if (!afterWord) {
                out += bytesToUtf8(plain);
                plain.clear();
            }
            blanks.clear();
            // Octets of one set are converted together: a character may be
            // split between two words.
            if (afterWord && charSet != pendingSet) flushWords();
            pendingSet = charSet;
            pending += octets;
            afterWord = true;
            i = end;
            continue;
        }
        if (afterWord && (value[i] == ' ' || value[i] == '\t')) {
            blanks += value[i++];
            continue;
        }
        if (afterWord) {
            flushWords();
            plain = std::move(blanks);
            blanks.clear();
            afterWord = false;
        }
        plain += value[i++];
    }
    if (afterWord) {
        flushWords();
        plain = std::move(blanks);
    }
    out += bytesToUtf8(plain);
    return out;
}

std::string FieldText(const TmsHeaders& headers, const std::string& name) {
    std::string value;
    bool whole = false;
    rawFieldValue(headers, name, value, whole, kMaxShownFieldOctets);
    if (whole) return bytesToUtf8(value);
    return firstChars(DecodeHeaderText(value), kMaxHeaderText);
}

std::string FieldCharSet(const TmsHeaders& headers, const std::string& name) {
    std::string value;
    bool whole = false;
    rawFieldValue(headers, name, value, whole);
    if (whole) return {};
    std::string found;
    for (std::size_t start = value.find("=?"); start != std::string::npos; start = value.find("=?", start + 2)) {
        const std::size_t end = findEncodedWordEnd(value, start);
        if (end == std::string::npos) break;
        const std::string_view inner = std::string_view(value).substr(start + 2, end - start - 2);
        // "charset*language": the language tells nothing about the octets.
        std::string charSet = upperAscii(inner.substr(0, std::min(inner.find('?'), inner.find('*'))));
        start = end;
        // US-ASCII is a part of every set a header is written in.
        if (charSet.empty() || charSet == "US-ASCII") continue;
        if (!found.empty() && found != charSet) return {};  // mixed sets: none fits all
        found = std::move(charSet);
    }
    return found;
}

void TruncateAtBody(TmsHeaders& headers) {
    const auto blank = std::find_if(headers.begin(), headers.end(),
                                    [](const std::string& line) { return line.empty(); });
    headers.erase(blank, headers.end());
}

std::string DecodeEncodedWords(const std::string& input) {
    std::string text = cut(input);
    // Every pass removes at least the three octets of "=?=", so this ends.
    for (;;) {
        const std::size_t start = text.find("=?");
        if (start == std::string::npos) break;
        const std::size_t end = findEncodedWordEnd(text, start);
        if (end == std::string::npos) {
            text.resize(start);
            break;
        }
        const std::string_view whole(text);
        const std::string_view inner =
            end > start + 2 ? whole.substr(start + 2, end - start - 2) : std::string_view();
        std::string decoded = std::string(whole.substr(0, start));
        decoded += decodeWord(inner);
        // Trimming the rest joins adjacent encoded words without a blank.
        decoded += trimmed(tail(whole, end + 2));
        text = cut(decoded);
        std::replace(text.begin(), text.end(), '_', ' ');
    }
    return text;
}

void ParseAddress(const std::string& text, TmsMailAddress& mailAddress) {
    std::string address;
    std::string name;
    const std::size_t left = text.find('<');
    const std::size_t paren = text.find('(');
    if (left != std::string::npos) {
        const std::size_t right = text.find('>');
        if (right != std::string::npos && right > left) {
            address = Unquote(text.substr(left + 1, right - left - 1));
            name = Unquote(text.substr(0, left) + text.substr(right + 1));
        } else {
            name = Unquote(text);  // unbalanced: no address, no error
        }
    } else if (paren != std::string::npos) {
        address = Unquote(text.substr(0, paren));
        const std::string_view comment = tail(text, paren + 1);
        name = Unquote(std::string(comment.substr(0, comment.empty() ? 0 : comment.size() - 1)));
    } else {
        address = text;
    }
    mailAddress.Address = cut(address);
    mailAddress.Name = cut(name);
}

void SplitAddress(const std::string& text, std::string& address, std::string& name) {
    TmsMailAddress mailAddress;
    ParseAddress(text, mailAddress);
    address = std::move(mailAddress.Address);
    name = std::move(mailAddress.Name);
}

std::string Unquote(const std::string& text) {
    std::string_view result = trimmed(text);
    while (!result.empty() && result.front() == '"') result.remove_prefix(1);
    while (!result.empty() && result.back() == '"') result.remove_suffix(1);
    return std::string(result);
}

void ParseDate(const std::string& text, TDateTime& dateTime, std::string& zone, char timeSeparator) {
    dateTime = 0;
    zone.clear();
    if (!readDate(text, dateTime, zone, timeSeparator)) {
        dateTime = 0;
        zone.clear();
    }
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

}  // namespace quorvel
