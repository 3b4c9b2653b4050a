#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "log/log_reader.h"
#include "platform/date_time.h"

namespace quorvel {

// Which entries the statistics count: those dated from `start` to `end`, of
// every mailbox or only of `mailbox` (compared without regard to case).
struct ChartFilter {
    TDateTime start = 0;
    TDateTime end = 0;
    bool allMailboxes = true;
    std::string mailbox;
};

// A point of the day-by-day chart: a day and its total.
struct DayTotal {
    TDateTime day = 0;
    std::int64_t value = 0;
    bool operator==(const DayTotal&) const = default;
};

// A place of a top-ten list. An empty name holds its place but is not drawn.
struct TopPlace {
    std::string name;
    std::int64_t count = 0;
    bool operator==(const TopPlace&) const = default;
};

// Everything the statistics window shows, counted from the entries that pass
// the filter. Weekdays count from Sunday; slots are half hours from midnight.
struct ChartTally {
    static constexpr int kSlots = 48;
    std::array<std::int64_t, 7> checksByWeekday{}, foundByWeekday{}, deletedByWeekday{};
    std::array<std::int64_t, kSlots> checksBySlot{}, foundBySlot{}, deletedBySlot{};
    std::vector<DayTotal> foundByDay, checksByDay, deletedByDay;
    std::vector<TopPlace> topSenders, topDomains;
    // The pie: all mail found against the spam deleted.
    std::int64_t found = 0;
    std::int64_t deleted = 0;
    // The passing entries, by their index in the entry lists, in log order:
    // the rows of the two grids.
    std::vector<std::uint32_t> checkRows, deletionRows;
};

// Counts the entries that pass `filter`. A date or time text that does not
// convert with the locale's formats counts as `now`; a count that is not a
// number counts as 0.
ChartTally tallyActivity(const ActivityLogEntries& entries, const ChartFilter& filter,
                         const FormatSettings& settings, TDateTime now);

// hour * 2, plus one from the 30th minute: 0 to 47.
int halfHourSlot(int hour, int minute);

// The same day of the month `months` months before `today` (lowered to the
// month's last day when it has no such day), at midnight.
TDateTime monthsBefore(TDateTime today, int months);

// The ten most frequent names: highest count first, and on equal counts the
// name that sorts last first.
std::vector<TopPlace> topTen(std::vector<std::string_view> names);

// A slice of the pie. `share` is the part of the drawn pie, 0 to 1; a
// negative value is drawn as an empty slice and its text carries the value.
struct PieSlice {
    std::string label;
    std::int64_t value = 0;
    double share = 0;
    std::string text;  // the label and the share as "##0 %", then a negative value in brackets
};
std::array<PieSlice, 2> pieSlices(const ChartTally& tally);

// A number formatted "##0 %": rounded to a whole percent.
std::string percentText(double percent);

}  // namespace quorvel
