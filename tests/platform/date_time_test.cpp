#include "platform/date_time.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

TEST(DateTime, EncodeDecodeRoundTripsAndKnowsTheEpoch) {
    EXPECT_EQ(encodeDateTime({1899, 12, 30}), 0.0);
    EXPECT_EQ(encodeDateTime({2000, 1, 1}), 36526.0);
    const DateParts p = decodeDateTime(encodeDateTime({2024, 2, 29, 23, 59, 59, 999}));
    EXPECT_EQ(p.year, 2024);
    EXPECT_EQ(p.month, 2);
    EXPECT_EQ(p.day, 29);
    EXPECT_EQ(p.hour, 23);
    EXPECT_EQ(p.minute, 59);
    EXPECT_EQ(p.second, 59);
    EXPECT_EQ(p.millisecond, 999);
    TDateTime ignored = 0;
    EXPECT_FALSE(tryEncodeDateTime({2023, 2, 29}, ignored));
    EXPECT_FALSE(tryEncodeDateTime({2023, 1, 1, 24}, ignored));
    EXPECT_EQ(dayOfWeek(encodeDateTime({2026, 12, 10})), 5);  // a Thursday
}

TEST(DateTime, FormatsWithTheLocale) {
    const FormatSettings us = FormatSettings::unitedStates();
    const TDateTime afternoon = encodeDateTime({2026, 12, 10, 16, 5, 9});
    const TDateTime midnight = encodeDateTime({2026, 1, 2});
    struct Case {
        const char* format;
        TDateTime value;
        const char* expected;
    } cases[] = {
        {"ddd ddddd t", afternoon, "Thu 12/10/26 4:05 PM"},
        {"dddd, mmmm d", afternoon, "Thursday, December 10"},
        {"yyyy-mm-dd hh:nn:ss", afternoon, "2026-12-10 16:05:09"},
        {"h:mm", afternoon, "16:05"},  // "m" after an hour is the minute
        {"h:mm am/pm", afternoon, "4:05 pm"},
        {"'at' tt", afternoon, "at 4:05:09 PM"},
        {"c", midnight, "1/2/26"},  // no time at exactly midnight
        {"c", afternoon, "12/10/26 4:05:09 PM"},
        {"mmm \"d\"", midnight, "Jan d"},
    };
    for (const auto& c : cases) EXPECT_EQ(formatDateTime(c.format, c.value, us), c.expected) << c.format;
}

}  // namespace
}  // namespace quorvel
