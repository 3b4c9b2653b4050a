#pragma once

#include <string>

#include "platform/clock.h"

namespace quorvel {

class TfrmGeneral;

// Whether the log's file name follows the calendar.
enum class LogNamingRule { AsIs, Month, Quarter };

// "Mar99.txt": the locale's abbreviated month name and a two-digit year.
std::string monthlyLogName(TDateTime date, const FormatSettings& settings);
// "Q1_99.txt" for January to March 1999.
std::string quarterlyLogName(TDateTime date, const FormatSettings& settings);

// The path with its file name replaced by the one the rule gives for `date`,
// in the same folder; unchanged for AsIs.
std::string logPathForRule(const std::string& path, LogNamingRule rule, TDateTime date,
                           const FormatSettings& settings);

// Renames the general settings window's log-file field after its naming rule
// and today's date; called each time that window is shown.
void applyLogNamingRule(TfrmGeneral& window, Clock& clock);

}  // namespace quorvel
