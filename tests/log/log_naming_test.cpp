#include "log/log_naming.h"

#include <gtest/gtest.h>

#include "config/frm_general.h"
#include "support/fake_platform.h"

namespace quorvel {
namespace {

TEST(LogNaming, PathFollowsTheRuleAndTheDate) {
    struct Case {
        const char* path;
        LogNamingRule rule;
        DateParts date;
        const char* expected;
    };
    const Case cases[] = {
        {"/home/joe/logs/Feb99.txt", LogNamingRule::Month, {1999, 3, 15}, "/home/joe/logs/Mar99.txt"},
        {"/home/joe/logs/Feb99.txt", LogNamingRule::Quarter, {1999, 3, 15}, "/home/joe/logs/Q1_99.txt"},
        {"/home/joe/logs/Feb99.txt", LogNamingRule::AsIs, {1999, 3, 15}, "/home/joe/logs/Feb99.txt"},
        {"/var/q/log.txt", LogNamingRule::Quarter, {2000, 1, 1}, "/var/q/Q1_00.txt"},
        {"/var/q/log.txt", LogNamingRule::Quarter, {2000, 4, 1}, "/var/q/Q2_00.txt"},
        {"/var/q/log.txt", LogNamingRule::Quarter, {2000, 6, 30}, "/var/q/Q2_00.txt"},
        {"/var/q/log.txt", LogNamingRule::Quarter, {2000, 9, 30}, "/var/q/Q3_00.txt"},
        {"/var/q/log.txt", LogNamingRule::Quarter, {2000, 10, 1}, "/var/q/Q4_00.txt"},
        {"/var/q/log.txt", LogNamingRule::Quarter, {2026, 12, 31}, "/var/q/Q4_26.txt"},
        {"/var/q/log.txt", LogNamingRule::Month, {2026, 12, 31}, "/var/q/Dec26.txt"},
        {"logfile.txt", LogNamingRule::Month, {1999, 1, 4}, "Jan99.txt"},
        {"", LogNamingRule::Month, {1999, 1, 4}, "Jan99.txt"},
        {"/log.txt", LogNamingRule::Quarter, {1999, 11, 4}, "/Q4_99.txt"},
        {"/var/q/", LogNamingRule::Month, {1999, 7, 4}, "/var/q/Jul99.txt"},
    };
    const FormatSettings us = FormatSettings::unitedStates();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(logPathForRule(c.path, c.rule, encodeDateTime(c.date), us), c.expected);
    }
}

TEST(LogNaming, MonthNameComesFromTheLocale) {
    FormatSettings settings = FormatSettings::unitedStates();
    settings.shortMonthNames[2] = "Mär";
    EXPECT_EQ(monthlyLogName(encodeDateTime({1999, 3, 1}), settings), "Mär99.txt");
}

TEST(LogNaming, GeneralSettingsFieldIsRenamedByItsRule) {
    testing::FakePlatform fake;
    SettingsStore store(fake.platform.settingsFolder);
    TfrmGeneral window(fake.platform, store);
    fake.clock.set(encodeDateTime({1999, 3, 15, 9, 0, 0, 0}));

    struct Case {
        bool asIs, month, quarter;
        const char* expected;
    };
    const Case cases[] = {
        {true, false, false, "/logs/Feb99.txt"},
        {false, true, false, "/logs/Mar99.txt"},
        {false, false, true, "/logs/Q1_99.txt"},
    };
    for (const Case& c : cases) {
        window.Edit1.text = "/logs/Feb99.txt";
        window.rbAsIs.checked = c.asIs;
        window.rbMonth.checked = c.month;
        window.rbQuarter.checked = c.quarter;
        applyLogNamingRule(window, fake.clock);
        EXPECT_EQ(window.Logfile(), c.expected);
    }
}

}  // namespace
}  // namespace quorvel
