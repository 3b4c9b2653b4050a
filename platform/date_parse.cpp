#include "platform/date_parse.h"

#include <array>
#include <cctype>
#include <string>

namespace quorvel {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool sameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size() || a.empty()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Reads up to `maxDigits` digits at `at`; false when there are none.
bool readNumber(std::string_view text, std::size_t& at, int maxDigits, int& value, int& digits) {
    value = 0;
    digits = 0;
    while (at < text.size() && isDigit(text[at]) && digits < maxDigits) {
        value = value * 10 + (text[at] - '0');
        ++at;
        ++digits;
    }
    return digits > 0 && (at >= text.size() || !isDigit(text[at]));
}

// The order of day, month and year in a date format, as 'd', 'm', 'y', and
// the separator that stands between them.
struct DateOrder {
    std::array<char, 3> fields{'m', 'd', 'y'};
    char separator = '/';
};

DateOrder dateOrder(const FormatSettings& settings) {
    DateOrder order;
    std::size_t n = 0;
    bool separatorFound = false;
    const std::string& format = settings.shortDateFormat;
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(format[i])));
        if (c == 'd' || c == 'm' || c == 'y') {
            if (n < 3 && (n == 0 || order.fields[n - 1] != c)) order.fields[n++] = c;
            if (n > 3) break;
        } else if (!separatorFound && n > 0 && c != ' ' && c != '"' && c != '\'') {
            order.separator = c == '/' ? settings.dateSeparator : c;
            separatorFound = true;
        }
    }
    if (n < 3) order = DateOrder{{'m', 'd', 'y'}, order.separator};
    return order;
}

int monthByName(std::string_view word, const FormatSettings& settings) {
    for (std::size_t i = 0; i < 12; ++i)
        if (sameNoCase(word, settings.shortMonthNames[i]) || sameNoCase(word, settings.longMonthNames[i]))
            return static_cast<int>(i) + 1;
    return 0;
}

}  // namespace

bool tryStrToDate(std::string_view text, const FormatSettings& settings, int currentYear, TDateTime& result) {
    text = trimmed(text);
    const DateOrder order = dateOrder(settings);
    int values[3] = {0, 0, 0};
    int digitCounts[3] = {0, 0, 0};
    int fields = 0;
    std::size_t at = 0;
    while (at < text.size() && fields < 3) {
        if (fields > 0) {
            if (text[at] != order.separator && !(order.separator != ' ' && text[at] == ' ')) return false;
            ++at;
            while (at < text.size() && text[at] == ' ') ++at;
        }
        if (at < text.size() && std::isalpha(static_cast<unsigned char>(text[at])) &&
            order.fields[static_cast<std::size_t>(fields)] == 'm') {
            std::size_t end = at;
            while (end < text.size() && std::isalpha(static_cast<unsigned char>(text[end]))) ++end;
            values[fields] = monthByName(text.substr(at, end - at), settings);
            if (values[fields] == 0) return false;
            digitCounts[fields] = 2;
            at = end;
            if (at < text.size() && text[at] == '.' && order.separator != '.') ++at;  // "Dec." abbreviations
        } else if (!readNumber(text, at, 4, values[fields], digitCounts[fields])) {
            return false;
        }
        ++fields;
    }
    if (at != text.size() || fields < 2) return false;
    DateParts parts;
    parts.year = currentYear;
    for (int i = 0; i < fields; ++i) {
        char which = order.fields[static_cast<std::size_t>(i)];
        // Two fields are day and month in the format's order, without the year.
        if (fields == 2 && which == 'y') which = order.fields[2];
        if (which == 'd') parts.day = values[i];
        if (which == 'm') parts.month = values[i];
        if (which == 'y') {
            parts.year = values[i];
            if (digitCounts[i] <= 2) parts.year += currentYear - currentYear % 100;
        }
    }
    TDateTime value = 0;
    if (!tryEncodeDateTime(parts, value)) return false;
    result = value;
    return true;
}

bool tryStrToTime(std::string_view text, const FormatSettings& settings, TDateTime& result) {
    text = trimmed(text);
    // An AM or PM marker may stand before or after the numbers.
    int half = 0;  // 1 AM, 2 PM
    const std::string_view markers[] = {settings.timeAMString, settings.timePMString, "AM", "PM", "A", "P"};
    const auto takeMarker = [&](bool atEnd) {
        if (text.empty() || isDigit(atEnd ? text.back() : text.front())) return false;
        for (std::size_t i = 0; i < std::size(markers); ++i) {
            const std::string_view m = markers[i];
            if (m.empty() || m.size() > text.size()) continue;
            const std::string_view piece = atEnd ? text.substr(text.size() - m.size()) : text.substr(0, m.size());
            if (!sameNoCase(piece, m)) continue;
            half = i % 2 == 0 ? 1 : 2;
            text = trimmed(atEnd ? text.substr(0, text.size() - m.size()) : text.substr(m.size()));
            return true;
        }
        return false;
    };
    if (!takeMarker(true)) takeMarker(false);
    int values[3] = {0, 0, 0};
    int fields = 0;
    std::size_t at = 0;
    while (at < text.size() && fields < 3) {
        if (fields > 0) {
            if (text[at] != settings.timeSeparator && text[at] != ':') return false;
            ++at;
        }
        int digits = 0;
        if (!readNumber(text, at, 2, values[fields], digits)) return false;
        ++fields;
    }
    if (at != text.size() || fields < 2) return false;
    int hour = values[0];
    if (half != 0) {
        if (hour < 1 || hour > 12) return false;
        hour = hour % 12 + (half == 2 ? 12 : 0);
    }
    if (hour > 23 || values[1] > 59 || values[2] > 59) return false;
    result = (hour * 3600.0 + values[1] * 60.0 + values[2]) / 86400.0;
    return true;
}

}  // namespace quorvel
