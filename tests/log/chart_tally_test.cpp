#include "log/chart_tally.h"

#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <ostream>

#include "log/activity_log.h"
#include "platform/date_parse.h"

namespace quorvel {

std::ostream& operator<<(std::ostream& out, const TopPlace& p) {
    return out << "{'" << p.name << "' " << p.count << "}";
}
std::ostream& operator<<(std::ostream& out, const DayTotal& d) {
    return out << "{" << formatDateTime("yyyy-mm-dd", d.day, FormatSettings::unitedStates()) << " " << d.value
               << "}";
}

namespace {

using Places = std::vector<TopPlace>;

FormatSettings widenedUs() {
    FormatSettings fs = FormatSettings::unitedStates();
    fs.shortDateFormat = "M/d/yyyy";
    return fs;
}

// Thursday, 10 December 2026, 4:48:30 PM.
const TDateTime kNow = encodeDateTime({2026, 12, 10, 16, 48, 30, 0});

TDateTime day(int y, int m, int d) {
    return encodeDateTime({y, m, d});
}

std::string check(int count, const std::string& user, const std::string& stamp) {
    return mailCheckRecord(count, user, "pop.example.com", stamp);
}

std::string deletion(const std::string& sender, const std::string& user, const std::string& stamp) {
    return deletedSpamRecord({"Buy now", sender, "1234", "12/1/2026"}, "pop.example.com", user, stamp);
}

std::string repeat(int times, const std::function<std::string(int)>& record) {
    std::string text;
    for (int i = 0; i < times; ++i) text += record(i);
    return text;
}

ActivityLogEntries parse(const std::string& text) {
    ActivityLogEntries entries;
    LogParser parser(entries, "4:48:30 PM");
    LineSplitter splitter([&](std::string_view line) { parser.line(line); });
    splitter.feed(text);
    splitter.finish();
    parser.finish();
    return entries;
}

std::int64_t sum(const auto& values) {
    return std::accumulate(values.begin(), values.end(), std::int64_t{0});
}

struct Case {
    const char* name;
    std::string log;
    std::string mailbox;  // empty: all mailboxes
    std::function<void(const ChartTally&)> expect;
};

TEST(ChartTally, CountsWhatTheLogHoldsForTheSelection) {
    const ChartFilter everything{day(1998, 1, 1), kNow, true, {}};
    const std::string thursday = "Thu 12/10/2026 10:29 AM";
    const Case cases[] = {
        {"empty log", "", "",
         [](const ChartTally& t) {
             EXPECT_EQ(sum(t.checksByWeekday) + sum(t.foundByWeekday) + sum(t.deletedByWeekday), 0);
             EXPECT_EQ(sum(t.checksBySlot) + sum(t.foundBySlot) + sum(t.deletedBySlot), 0);
             EXPECT_TRUE(t.foundByDay.empty() && t.checksByDay.empty() && t.deletedByDay.empty());
             EXPECT_TRUE(t.topSenders.empty() && t.topDomains.empty());
             EXPECT_TRUE(t.checkRows.empty() && t.deletionRows.empty());
             const auto slices = pieSlices(t);
             EXPECT_EQ(slices[0].label, "Normal E-mail");
             EXPECT_EQ(slices[0].value, 0);
             EXPECT_EQ(slices[0].text, "Normal E-mail 0 %");
             EXPECT_EQ(slices[1].label, "Spam Deleted");
             EXPECT_EQ(slices[1].value, 0);
         }},
        {"one sender", check(3, "ann", thursday) + deletion("Deals@Pills.Example", "ann", thursday), "",
         [](const ChartTally& t) {
             EXPECT_EQ(t.topSenders, (Places{{"deals@pills.example", 1}}));
             EXPECT_EQ(t.topDomains, (Places{{"pills.example", 1}}));
             EXPECT_EQ(t.checksByWeekday[4], 1);  // Thursday
             EXPECT_EQ(t.foundByWeekday[4], 3);
             EXPECT_EQ(t.deletedByWeekday[4], 1);
             EXPECT_EQ(t.foundByDay, (std::vector<DayTotal>{{day(2026, 12, 10), 3}}));
             EXPECT_EQ(t.deletedByDay, (std::vector<DayTotal>{{day(2026, 12, 10), 1}}));
             const auto slices = pieSlices(t);
             EXPECT_EQ(slices[0].value, 2);
             EXPECT_EQ(slices[1].value, 1);
             EXPECT_EQ(slices[0].text, "Normal E-mail 67 %");
             EXPECT_EQ(slices[1].text, "Spam Deleted 33 %");
         }},
        {"eleven senders with a tie at the bottom",
         repeat(9, [&](int i) {
             const std::string s = "s0" + std::to_string(i + 1) + "@x.example";
             return deletion(s, "ann", thursday) + deletion(s, "ann", thursday);
         }) + deletion("s10@x.example", "ann", thursday) + deletion("s11@x.example", "ann", thursday) +
             deletion("no-domain", "ann", thursday),
         "",
         [](const ChartTally& t) {
             ASSERT_EQ(t.topSenders.size(), 10u);
             EXPECT_EQ(t.topSenders.front(), (TopPlace{"s09@x.example", 2}));
             EXPECT_EQ(t.topSenders[8], (TopPlace{"s01@x.example", 2}));
             // Three senders once each: the one sorting last comes first,
             // the one sorting first is left out.
             EXPECT_EQ(t.topSenders[9], (TopPlace{"s11@x.example", 1}));
             // The sender without a domain keeps its place with an empty name.
             EXPECT_EQ(t.topDomains, (Places{{"x.example", 20}, {"", 1}}));
         }},
        {"dates before 1998", check(5, "ann", "Wed 12/31/1997 11:59 PM") + deletion("a@b.example", "ann", "Wed 12/31/1997 1:00 AM") +
             check(2, "ann", "Thu 1/1/1998 12:00 AM"),
         "",
         [](const ChartTally& t) {
             EXPECT_EQ(t.checkRows, (std::vector<std::uint32_t>{1}));
             EXPECT_TRUE(t.deletionRows.empty());
             EXPECT_EQ(t.found, 2);
             EXPECT_EQ(t.checksByDay, (std::vector<DayTotal>{{day(1998, 1, 1), 1}}));
         }},
        {"one mailbox of two", check(4, "ann", thursday) + check(6, "Joe Smith", thursday) +
             deletion("a@b.example", "joe smith", thursday) + deletion("c@d.example", "ann", thursday),
         "JOE SMITH",
         [](const ChartTally& t) {
             EXPECT_EQ(t.checkRows, (std::vector<std::uint32_t>{1}));
             EXPECT_EQ(t.deletionRows, (std::vector<std::uint32_t>{0}));
             EXPECT_EQ(t.found, 6);
             EXPECT_EQ(t.topSenders, (Places{{"a@b.example", 1}}));
         }},
        {"10:29 and 10:30", check(1, "ann", thursday) + check(2, "ann", "Thu 12/10/2026 10:30 AM") +
             check(4, "ann", "Thu 12/10/2026 12:00 AM") + check(8, "ann", "Thu 12/10/2026 11:59 PM"),
         "",
         [](const ChartTally& t) {
             EXPECT_EQ(t.foundBySlot[20], 1);
             EXPECT_EQ(t.foundBySlot[21], 2);
             EXPECT_EQ(t.foundBySlot[0], 4);
             EXPECT_EQ(t.foundBySlot[47], 8);
             EXPECT_EQ(sum(t.checksBySlot), 4);
         }},
        {"more deleted than found", check(1, "ann", thursday) +
             repeat(3, [&](int) { return deletion("a@b.example", "ann", thursday); }),
         "",
         [](const ChartTally& t) {
             const auto slices = pieSlices(t);
             EXPECT_EQ(slices[0].value, -2);
             EXPECT_EQ(slices[1].value, 3);
             EXPECT_EQ(slices[0].share, 0);
             // The empty slice still tells its value.
             EXPECT_EQ(slices[0].text, "Normal E-mail 0 % (-2)");
             EXPECT_EQ(slices[1].text, "Spam Deleted 100 %");
         }},
        {"days run by their date text", check(1, "ann", "Mon 12/7/2026 9:00 AM") + check(0, "ann", "Mon 12/7/2026 9:10 AM") +
             check(0, "ann", "Tue 12/8/2026 9:00 AM") + check(5, "ann", "Mon 12/7/2026 9:20 AM"),
         "",
         [](const ChartTally& t) {
             // The day without mail gets no "found" point; 12/7 appears twice,
             // as two runs.
             EXPECT_EQ(t.foundByDay, (std::vector<DayTotal>{{day(2026, 12, 7), 1}, {day(2026, 12, 7), 5}}));
             EXPECT_EQ(t.checksByDay, (std::vector<DayTotal>{{day(2026, 12, 7), 2}, {day(2026, 12, 8), 1},
                                                             {day(2026, 12, 7), 1}}));
             EXPECT_EQ(t.checksByWeekday[1], 3);
             EXPECT_EQ(t.checksByWeekday[2], 1);
         }},
        {"another locale's dates and times, a count that is no number",
         "MAIL CHECK 3 msg(s) for \"ann\" on server pop at Mo 07.12.2026 15:45\r\n"
         "MAIL CHECK x7 msg(s) for \"ann\" on server pop at Mon 12/7/2026 15:45\r\n",
         "",
         [](const ChartTally& t) {
             ASSERT_EQ(t.checkRows.size(), 2u);
             // The foreign date counts as now (a Thursday, 4:48 PM, slot 33);
             // a 24-hour time still finds its slot behind the date.
             EXPECT_EQ(t.checksByWeekday[4], 1);
             EXPECT_EQ(t.checksByWeekday[1], 1);
             EXPECT_EQ(t.foundByWeekday[1], 0);
             EXPECT_EQ(t.checksBySlot[31], 2);
             EXPECT_EQ(t.found, 3);
         }},
    };
    const FormatSettings fs = widenedUs();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ActivityLogEntries entries = parse(c.log);
        ChartFilter filter = everything;
        filter.allMailboxes = c.mailbox.empty();
        filter.mailbox = c.mailbox;
        c.expect(tallyActivity(entries, filter, fs, kNow));
    }
}

TEST(ChartTally, HalfHourSlots) {
    const struct {
        int hour, minute, slot;
    } cases[] = {{0, 0, 0}, {0, 29, 0}, {0, 30, 1}, {10, 29, 20}, {10, 30, 21}, {23, 59, 47}};
    for (const auto& c : cases) EXPECT_EQ(halfHourSlot(c.hour, c.minute), c.slot) << c.hour << ":" << c.minute;
}

TEST(ChartTally, MonthsBeforeKeepsTheDayOrTheMonthsLast) {
    const struct {
        TDateTime today;
        int months;
        TDateTime start;
    } cases[] = {
        {day(1999, 3, 31), 1, day(1999, 2, 28)},  {day(2000, 3, 31), 1, day(2000, 2, 29)},
        {day(1999, 1, 15), 1, day(1998, 12, 15)}, {day(1999, 3, 31), 12, day(1998, 3, 31)},
        {day(1999, 5, 31), 3, day(1999, 2, 28)},  {day(1999, 7, 31), 1, day(1999, 6, 30)},
    };
    for (const auto& c : cases) EXPECT_EQ(monthsBefore(c.today, c.months), c.start) << c.today << " " << c.months;
}

TEST(ChartTally, TopTenOrdersByCountThenNameLastFirst) {
    const struct {
        std::vector<std::string_view> names;
        Places top;
    } cases[] = {
        {{}, {}},
        {{"b", "a", "b"}, {{"b", 2}, {"a", 1}}},
        {{"a", "c", "b"}, {{"c", 1}, {"b", 1}, {"a", 1}}},
        {{"", "x", ""}, {{"", 2}, {"x", 1}}},
        // Counts past four digits still rank above smaller ones.
        {std::vector<std::string_view>(10000, "big"), {{"big", 10000}}},
    };
    for (const auto& c : cases) EXPECT_EQ(topTen(c.names), c.top);
    std::vector<std::string_view> many(10000, "big");
    many.insert(many.end(), 9999, "small");
    EXPECT_EQ(topTen(many), (Places{{"big", 10000}, {"small", 9999}}));
}

TEST(ChartTally, PercentTexts) {
    const struct {
        double percent;
        const char* text;
    } cases[] = {{0, "0 %"}, {66.6, "67 %"}, {33.4, "33 %"}, {100, "100 %"}, {-150, "-150 %"}, {0.0 / 0.0, "0 %"}};
    for (const auto& c : cases) EXPECT_EQ(percentText(c.percent), c.text);
}

TEST(DateParse, ReadsTheLocalesShortDateAndTimes) {
    FormatSettings us = widenedUs();
    FormatSettings german = us;
    german.shortDateFormat = "dd.MM.yyyy";
    FormatSettings iso = us;
    iso.shortDateFormat = "yyyy-MM-dd";
    FormatSettings named = us;
    named.shortDateFormat = "d MMM yyyy";
    const struct {
        const FormatSettings* fs;
        const char* text;
        bool ok;
        TDateTime value;
    } dates[] = {
        {&us, "12/7/1999", true, day(1999, 12, 7)},   {&us, " 2/29/2000 ", true, day(2000, 2, 29)},
        {&us, "2/29/1999", false, 0},                 {&us, "12/7/99", true, day(2099, 12, 7)},
        {&us, "12/7", true, day(2026, 12, 7)},        {&us, "07.12.1999", false, 0},
        {&us, "", false, 0},                          {&us, "12/7/1999x", false, 0},
        {&us, "13/1/1999", false, 0},                 {&german, "07.12.1999", true, day(1999, 12, 7)},
        {&german, "12/7/1999", false, 0},             {&iso, "1999-12-07", true, day(1999, 12, 7)},
        {&named, "7 Dec 1999", true, day(1999, 12, 7)}, {&named, "7 December 1999", true, day(1999, 12, 7)},
        {&named, "7 Foo 1999", false, 0},
    };
    for (const auto& c : dates) {
        TDateTime value = -1;
        EXPECT_EQ(tryStrToDate(c.text, *c.fs, 2026, value), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
    const struct {
        const char* text;
        bool ok;
        int hour, minute;
    } times[] = {
        {"3:45 PM", true, 15, 45}, {"12:00 AM", true, 0, 0},  {"12:30 PM", true, 12, 30}, {"15:45", true, 15, 45},
        {"9:05:59 am", true, 9, 5}, {"PM 3:45", true, 15, 45}, {"13:00 PM", false, 0, 0}, {"24:00", false, 0, 0},
        {"10:60", false, 0, 0},    {"3", false, 0, 0},        {"x", false, 0, 0},        {"", false, 0, 0},
    };
    for (const auto& c : times) {
        TDateTime value = -1;
        EXPECT_EQ(tryStrToTime(c.text, us, value), c.ok) << c.text;
        if (!c.ok) continue;
        const DateParts parts = decodeDateTime(value);
        EXPECT_EQ(parts.hour, c.hour) << c.text;
        EXPECT_EQ(parts.minute, c.minute) << c.text;
    }
}

}  // namespace
}  // namespace quorvel
