#pragma once

#include <array>
#include <string>

namespace quorvel {

// Days since 30 December 1899, the fraction being the time of day. Zero stands
// for "no date", as the header parser and the Date column use it.
using TDateTime = double;

// The user's locale as the program formats dates and times with it.
struct FormatSettings {
    std::string shortDateFormat;
    std::string longDateFormat;
    std::string shortTimeFormat;
    std::string longTimeFormat;
    char dateSeparator = '/';
    char timeSeparator = ':';
    std::string timeAMString;
    std::string timePMString;
    std::array<std::string, 7> shortDayNames;    // Sunday first
    std::array<std::string, 7> longDayNames;
    std::array<std::string, 12> shortMonthNames;  // January first
    std::array<std::string, 12> longMonthNames;

    // United States English, the locale every test pins.
    static FormatSettings unitedStates();
};

struct DateParts {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

// Returns false (and leaves `result` alone) for a date or time out of range.
bool tryEncodeDateTime(const DateParts& parts, TDateTime& result);
TDateTime encodeDateTime(const DateParts& parts);  // throws std::invalid_argument
DateParts decodeDateTime(TDateTime value);
int dayOfWeek(TDateTime value);  // 1 = Sunday .. 7 = Saturday
bool isLeapYear(int year);
int daysInMonth(int year, int month);

// Formats with the usual specifiers: c d dd ddd dddd ddddd dddddd m mm mmm mmmm
// yy yyyy h hh n nn s ss z zzz t tt am/pm a/p ampm / : and quoted literals.
// An "m" right after "h" or "hh" means minutes.
std::string formatDateTime(const std::string& format, TDateTime value,
                           const FormatSettings& settings);

}  // namespace quorvel
