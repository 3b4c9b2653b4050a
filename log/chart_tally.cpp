#include "log/chart_tally.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "platform/date_parse.h"

namespace quorvel {

namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
    return text;
}

// Equal texts; the reader shares the text of a field with the entry before
// when they are equal, so the same place answers without comparing.
bool same(std::string_view a, std::string_view b) {
    return a.size() == b.size() && (a.data() == b.data() || a == b);
}

bool sameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// A count that is not a whole number counts as 0.
std::int64_t countOf(std::string_view text) {
    text = trimmed(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.size() > 12) return 0;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 0;
        value = value * 10 + (c - '0');
    }
    return negative ? -value : value;
}

// Converts the entries' date and time texts. Neighbouring entries mostly
// share their date, so the last conversion is kept.
class Converter {
public:
    Converter(const FormatSettings& settings, TDateTime now)
        : settings_(settings), now_(now), year_(decodeDateTime(now).year) {}

    TDateTime date(std::string_view text) {
        text = trimmed(text);
        if (hasDate_ && same(text, lastDate_)) return lastDateValue_;
        TDateTime value = 0;
        if (!tryStrToDate(text, settings_, year_, value)) value = now_;
        hasDate_ = true;
        lastDate_ = text;
        lastDateValue_ = value;
        lastWeekday_ = static_cast<std::size_t>(dayOfWeek(value) - 1);
        return value;
    }
    // Of the date converted last: 0 for Sunday.
    std::size_t weekday() const { return lastWeekday_; }

    int slot(std::string_view text) {
        text = trimmed(text);
        if (hasTime_ && same(text, lastTime_)) return lastSlot_;
        hasTime_ = true;
        lastTime_ = text;
        if (quickSlot(text, lastSlot_)) return lastSlot_;
        TDateTime value = 0;
        // A locale whose time has no space leaves the date in front of it.
        if (!tryStrToTime(text, settings_, value)) {
            const std::size_t space = text.rfind(' ');
            if (space == std::string_view::npos || !tryStrToTime(text.substr(space + 1), settings_, value))
                value = now_;
        }
        const long long minutes = static_cast<long long>((value - std::floor(value)) * 1440 + 1e-6);
        lastSlot_ = std::clamp(halfHourSlot(static_cast<int>(minutes / 60), static_cast<int>(minutes % 60)), 0, 47);
        return lastSlot_;
    }

private:
    // The usual shapes, "3:45 PM" or "15:45", read directly.
    bool quickSlot(std::string_view t, int& slot) const {
        const auto digit = [&t](std::size_t i) { return i < t.size() && t[i] >= '0' && t[i] <= '9'; };
        std::size_t i = 0;
        int hour = 0;
        while (i < 2 && digit(i)) hour = hour * 10 + (t[i++] - '0');
        if (i == 0 || i >= t.size() || t[i] != settings_.timeSeparator || !digit(i + 1) || !digit(i + 2)) return false;
        const int minute = (t[i + 1] - '0') * 10 + (t[i + 2] - '0');
        i += 3;
        if (minute > 59) return false;
        if (i < t.size()) {
            if (t[i] != ' ' || hour < 1 || hour > 12) return false;
            const std::string_view marker = t.substr(i + 1);
            if (!settings_.timePMString.empty() && marker == settings_.timePMString)
                hour = hour % 12 + 12;
            else if (!settings_.timeAMString.empty() && marker == settings_.timeAMString)
                hour %= 12;
            else
                return false;
        }
        if (hour > 23) return false;
        slot = halfHourSlot(hour, minute);
        return true;
    }

    const FormatSettings& settings_;
    TDateTime now_;
    int year_;
    bool hasDate_ = false, hasTime_ = false;
    std::string_view lastDate_, lastTime_;
    TDateTime lastDateValue_ = 0;
    std::size_t lastWeekday_ = 0;
    int lastSlot_ = 0;
};

// Adds up consecutive entries of one date text into points of the day-by-day
// chart; a day whose total is 0 gets no point.
class DayRun {
public:
    explicit DayRun(std::vector<DayTotal>& points) : points_(points) {}
    void add(std::string_view dateText, TDateTime day, std::int64_t value) {
        const bool sameDay = started_ && same(dateText, text_);
        if (started_ && !sameDay) close();
        if (!sameDay) {
            started_ = true;
            text_ = dateText;
            day_ = day;
            total_ = 0;
        }
        total_ += value;
    }
    void close() {
        if (started_ && total_ > 0) points_.push_back({day_, total_});
        total_ = 0;
    }

private:
    std::vector<DayTotal>& points_;
    bool started_ = false;
    std::string_view text_;
    TDateTime day_ = 0;
    std::int64_t total_ = 0;
};

}  // namespace

int halfHourSlot(int hour, int minute) {
    return hour * 2 + (minute >= 30 ? 1 : 0);
}

TDateTime monthsBefore(TDateTime today, int months) {
    const DateParts now = decodeDateTime(today);
    int year = now.year;
    int month = now.month - months;
    while (month <= 0) {
        month += 12;
        --year;
    }
    const int day = std::min(now.day, daysInMonth(year, month));
    return encodeDateTime({year, month, day});
}

std::vector<TopPlace> topTen(std::vector<std::string_view> names) {
    std::unordered_map<std::string_view, std::int64_t> counts;
    for (const std::string_view name : names) ++counts[name];
    std::vector<std::pair<std::string_view, std::int64_t>> ranked(counts.begin(), counts.end());
    const auto before = [](const auto& a, const auto& b) {
        return a.second != b.second ? a.second > b.second : a.first > b.first;
    };
    const std::size_t places = std::min<std::size_t>(10, ranked.size());
    std::partial_sort(ranked.begin(), ranked.begin() + static_cast<std::ptrdiff_t>(places), ranked.end(), before);
    std::vector<TopPlace> top;
    for (std::size_t i = 0; i < places; ++i) top.push_back({std::string(ranked[i].first), ranked[i].second});
    return top;
}

ChartTally tallyActivity(const ActivityLogEntries& entries, const ChartFilter& filter,
                         const FormatSettings& settings, TDateTime now) {
    ChartTally tally;
    Converter convert(settings, now);
    const auto passes = [&](std::string_view mailbox, TDateTime date) {
        if (date < filter.start || date > filter.end) return false;
        return filter.allMailboxes || sameNoCase(trimmed(mailbox), filter.mailbox);
    };

    tally.checkRows.reserve(entries.mailChecks.size());
    tally.deletionRows.reserve(entries.deletedSpam.size());
    DayRun foundDays(tally.foundByDay), checkDays(tally.checksByDay);
    for (std::size_t i = 0; i < entries.mailChecks.size(); ++i) {
        const MailCheckEntry& entry = entries.mailChecks[i];
        const TDateTime date = convert.date(entry.date);
        if (!passes(entry.mailbox, date)) continue;
        tally.checkRows.push_back(static_cast<std::uint32_t>(i));
        const std::int64_t count = countOf(entry.count);
        const std::size_t weekday = convert.weekday();
        const std::size_t slot = static_cast<std::size_t>(convert.slot(entry.time));
        ++tally.checksByWeekday[weekday];
        tally.foundByWeekday[weekday] += count;
        ++tally.checksBySlot[slot];
        tally.foundBySlot[slot] += count;
        tally.found += count;
        const std::string_view dateText = trimmed(entry.date);
        foundDays.add(dateText, date, count);
        checkDays.add(dateText, date, 1);
    }
    foundDays.close();
    checkDays.close();

    DayRun deletedDays(tally.deletedByDay);
    std::vector<std::string_view> senders, domains;
    senders.reserve(entries.deletedSpam.size());
    domains.reserve(entries.deletedSpam.size());
    for (std::size_t i = 0; i < entries.deletedSpam.size(); ++i) {
        const DeletedSpamEntry& entry = entries.deletedSpam[i];
        const TDateTime date = convert.date(entry.date);
        if (!passes(entry.mailbox, date)) continue;
        tally.deletionRows.push_back(static_cast<std::uint32_t>(i));
        senders.push_back(trimmed(entry.sender));
        domains.push_back(trimmed(entry.domain));
        ++tally.deletedByWeekday[convert.weekday()];
        ++tally.deletedBySlot[static_cast<std::size_t>(convert.slot(entry.time))];
        ++tally.deleted;
        deletedDays.add(trimmed(entry.date), date, 1);
    }
    deletedDays.close();
    tally.topSenders = topTen(std::move(senders));
    tally.topDomains = topTen(std::move(domains));
    return tally;
}

std::string percentText(double percent) {
    if (!std::isfinite(percent)) percent = 0;
    return std::to_string(std::llround(percent)) + " %";
}

std::array<PieSlice, 2> pieSlices(const ChartTally& tally) {
    std::array<PieSlice, 2> slices{PieSlice{"Normal E-mail", tally.found - tally.deleted, 0, {}},
                                   PieSlice{"Spam Deleted", tally.deleted, 0, {}}};
    double drawn = 0;
    for (const PieSlice& s : slices) drawn += static_cast<double>(std::max<std::int64_t>(0, s.value));
    for (PieSlice& s : slices) {
        s.share = drawn > 0 ? static_cast<double>(std::max<std::int64_t>(0, s.value)) / drawn : 0;
        s.text = s.label + " " + percentText(s.share * 100);
        // A negative value draws no slice: the label is the only place it shows.
        if (s.value < 0) s.text += " (" + std::to_string(s.value) + ")";
    }
    return slices;
}

}  // namespace quorvel
