#include "platform/date_time.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <stdexcept>

namespace quorvel {

namespace {

constexpr std::int64_t kMsPerDay = 86400000;
// Days from 0000-03-01 (proleptic Gregorian) to 1899-12-30.
constexpr std::int64_t kEpochShift = 693899;

std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe);
}

void civilFromDays(std::int64_t z, int& year, int& month, int& day) {
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2));
}

// Splits a value into whole days and milliseconds of the day.
void splitValue(TDateTime value, std::int64_t& days, std::int64_t& ms) {
    if (!std::isfinite(value) || std::fabs(value) > 3e6) value = 0;
    days = static_cast<std::int64_t>(std::floor(value));
    ms = std::llround((value - static_cast<double>(days)) * kMsPerDay);
    if (ms >= kMsPerDay) {
        ++days;
        ms -= kMsPerDay;
    }
}

std::string twoDigits(int n) {
    std::string s = std::to_string(n);
    return s.size() < 2 ? "0" + s : s;
}

std::string padded(int n, std::size_t width) {
    std::string s = std::to_string(n);
    while (s.size() < width) s.insert(s.begin(), '0');
    return s;
}

bool startsWithNoCase(const std::string& s, std::size_t pos, const char* word) {
    for (std::size_t i = 0; word[i]; ++i) {
        if (pos + i >= s.size()) return false;
        if (std::tolower(static_cast<unsigned char>(s[pos + i])) != word[i]) return false;
    }
    return true;
}

class Formatter {
public:
    Formatter(TDateTime value, const FormatSettings& fs) : fs_(fs) {
        std::int64_t days = 0, ms = 0;
        splitValue(value, days, ms);
        value_ = value;
        parts_ = decodeDateTime(value);
        hasTime_ = ms != 0;
    }

    void append(const std::string& format, std::string& out, int depth = 0) {
        // Nested formats (ddddd, t, c) only ever go two levels deep; the cap
        // keeps a format that names itself from recursing forever.
        if (depth > 3) return;
        bool lastWasHour = false;
        std::size_t i = 0;
        while (i < format.size()) {
            const char c = format[i];
            const char lc = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            const std::size_t run = runLength(format, i);
            if (c == '\'' || c == '"') {
                const std::size_t end = format.find(c, i + 1);
                out += format.substr(i + 1, (end == std::string::npos ? format.size() : end) - i - 1);
                i = end == std::string::npos ? format.size() : end + 1;
                continue;
            }
            if (lc == 'a') {
                if (startsWithNoCase(format, i, "am/pm")) {
                    out += parts_.hour < 12 ? sameCase(format[i], "am") : sameCase(format[i], "pm");
                    i += 5;
                } else if (startsWithNoCase(format, i, "a/p")) {
                    out += parts_.hour < 12 ? sameCase(format[i], "a") : sameCase(format[i], "p");
                    i += 3;
                } else if (startsWithNoCase(format, i, "ampm")) {
                    out += parts_.hour < 12 ? fs_.timeAMString : fs_.timePMString;
                    i += 4;
                } else {
                    out += c;
                    ++i;
                }
                lastWasHour = false;
                continue;
            }
            switch (lc) {
            case 'c':
                append(fs_.shortDateFormat, out, depth + 1);
                if (hasTime_) {
                    out += ' ';
                    append(fs_.longTimeFormat, out, depth + 1);
                }
                i += 1;
                break;
            case 'd':
                if (run == 1) out += std::to_string(parts_.day);
                else if (run == 2) out += twoDigits(parts_.day);
                else if (run == 3) out += fs_.shortDayNames[static_cast<std::size_t>(dayOfWeek(value_) - 1)];
                else if (run == 4) out += fs_.longDayNames[static_cast<std::size_t>(dayOfWeek(value_) - 1)];
                else if (run == 5) append(fs_.shortDateFormat, out, depth + 1);
                else append(fs_.longDateFormat, out, depth + 1);
                i += run > 6 ? 6 : run;
                break;
            case 'm':
                if (lastWasHour && run <= 2) {
                    out += run == 1 ? std::to_string(parts_.minute) : twoDigits(parts_.minute);
                } else if (run == 1) {
                    out += std::to_string(parts_.month);
                } else if (run == 2) {
                    out += twoDigits(parts_.month);
                } else if (run == 3) {
                    out += fs_.shortMonthNames[static_cast<std::size_t>(parts_.month - 1)];
                } else {
                    out += fs_.longMonthNames[static_cast<std::size_t>(parts_.month - 1)];
                }
                i += run > 4 ? 4 : run;
                break;
            case 'y':
                out += run <= 2 ? twoDigits(parts_.year % 100) : padded(parts_.year, 4);
                i += run;
                break;
            case 'h': {
                int hour = parts_.hour;
                if (twelveHourFollows(format, i + run)) {
                    hour %= 12;
                    if (hour == 0) hour = 12;
                }
                out += run == 1 ? std::to_string(hour) : twoDigits(hour);
                i += run > 2 ? 2 : run;
                lastWasHour = true;
                continue;
            }
            case 'n':
                out += run == 1 ? std::to_string(parts_.minute) : twoDigits(parts_.minute);
                i += run > 2 ? 2 : run;
                break;
            case 's':
                out += run == 1 ? std::to_string(parts_.second) : twoDigits(parts_.second);
                i += run > 2 ? 2 : run;
                break;
            case 'z':
                out += run < 3 ? std::to_string(parts_.millisecond) : padded(parts_.millisecond, 3);
                i += run >= 3 ? 3 : run;
                break;
            case 't':
                append(run == 1 ? fs_.shortTimeFormat : fs_.longTimeFormat, out, depth + 1);
                i += run > 2 ? 2 : run;
                break;
            case '/':
                out += fs_.dateSeparator;
                i += 1;
                continue;
            case ':':
                out += fs_.timeSeparator;
                i += 1;
                continue;  // separators keep a following "m" a minute
            default:
                out += c;
                i += 1;
                continue;  // plain text keeps a following "m" a minute
            }
            lastWasHour = false;
        }
    }

private:
    static std::size_t runLength(const std::string& s, std::size_t i) {
        const auto lower = [](char ch) { return std::tolower(static_cast<unsigned char>(ch)); };
        std::size_t j = i;
        while (j < s.size() && lower(s[j]) == lower(s[i])) ++j;
        return j - i;
    }

    static std::string sameCase(char first, const char* text) {
        std::string s(text);
        if (std::isupper(static_cast<unsigned char>(first)))
            for (auto& ch : s) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        return s;
    }

    static bool twelveHourFollows(const std::string& format, std::size_t from) {
        for (std::size_t i = from; i < format.size(); ++i) {
            if (format[i] == '\'' || format[i] == '"') {
                const std::size_t end = format.find(format[i], i + 1);
                if (end == std::string::npos) return false;
                i = end;
                continue;
            }
            if (startsWithNoCase(format, i, "am/pm") || startsWithNoCase(format, i, "a/p") ||
                startsWithNoCase(format, i, "ampm"))
                return true;
            if (std::tolower(static_cast<unsigned char>(format[i])) == 'h') return false;
        }
        return false;
    }

    const FormatSettings& fs_;
    TDateTime value_ = 0;
    DateParts parts_;
    bool hasTime_ = false;
};

}  // namespace

FormatSettings FormatSettings::unitedStates() {
    FormatSettings fs;
    fs.shortDateFormat = "M/d/yy";
    fs.longDateFormat = "dddd, MMMM dd, yyyy";
    fs.shortTimeFormat = "h:mm AMPM";
    fs.longTimeFormat = "h:mm:ss AMPM";
    fs.dateSeparator = '/';
    fs.timeSeparator = ':';
    fs.timeAMString = "AM";
    fs.timePMString = "PM";
    fs.shortDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    fs.longDayNames = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    fs.shortMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    fs.longMonthNames = {"January", "February", "March",     "April",   "May",      "June",
                         "July",    "August",   "September", "October", "November", "December"};
    return fs;
}

bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

bool tryEncodeDateTime(const DateParts& p, TDateTime& result) {
    if (p.year < 1 || p.year > 9999 || p.month < 1 || p.month > 12 || p.day < 1 ||
        p.day > daysInMonth(p.year, p.month))
        return false;
    if (p.hour < 0 || p.hour > 23 || p.minute < 0 || p.minute > 59 || p.second < 0 ||
        p.second > 59 || p.millisecond < 0 || p.millisecond > 999)
        return false;
    const auto days = daysFromCivil(p.year, static_cast<unsigned>(p.month),
                                    static_cast<unsigned>(p.day)) - kEpochShift;
    const double fraction =
        ((p.hour * 60.0 + p.minute) * 60.0 + p.second + p.millisecond / 1000.0) / 86400.0;
    result = static_cast<double>(days) + fraction;
    return true;
}

TDateTime encodeDateTime(const DateParts& parts) {
    TDateTime value = 0;
    if (!tryEncodeDateTime(parts, value)) throw std::invalid_argument("Invalid argument to date encode");
    return value;
}

DateParts decodeDateTime(TDateTime value) {
    std::int64_t days = 0, ms = 0;
    splitValue(value, days, ms);
    DateParts p;
    civilFromDays(days + kEpochShift, p.year, p.month, p.day);
    p.hour = static_cast<int>(ms / 3600000);
    p.minute = static_cast<int>(ms / 60000 % 60);
    p.second = static_cast<int>(ms / 1000 % 60);
    p.millisecond = static_cast<int>(ms % 1000);
    return p;
}

int dayOfWeek(TDateTime value) {
    std::int64_t days = 0, ms = 0;
    splitValue(value, days, ms);
    // 30 December 1899 was a Saturday.
    return static_cast<int>(((days % 7) + 7 + 6) % 7) + 1;
}

std::string formatDateTime(const std::string& format, TDateTime value, const FormatSettings& settings) {
    std::string out;
    Formatter(value, settings).append(format.empty() ? "c" : format, out);
    return out;
}

}  // namespace quorvel
