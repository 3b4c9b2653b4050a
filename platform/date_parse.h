#pragma once

#include <string_view>

#include "platform/date_time.h"

namespace quorvel {

// Reads a date written in the locale's short date format: day, month and year
// in the format's order, joined by its separator; the month may also be a
// month name. A year of one or two digits falls in `currentYear`'s century;
// a missing year is `currentYear`. Returns false (leaving `result` alone)
// for any other text or a date that does not exist.
bool tryStrToDate(std::string_view text, const FormatSettings& settings, int currentYear, TDateTime& result);

// Reads a time of day: hours, minutes and optionally seconds joined by the
// time separator, with an AM or PM marker (the locale's or the English one)
// before or after. `result` gets the fraction of the day.
bool tryStrToTime(std::string_view text, const FormatSettings& settings, TDateTime& result);

}  // namespace quorvel
