#include "log/frm_chart.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "log/activity_log.h"
#include "log/frm_chart_main.h"
#include "support/fake_platform.h"

namespace quorvel {
namespace {

using testing::FakePlatform;
using Texts = std::vector<std::string>;

class RecordingOutput : public ChartOutput {
public:
    void printGrid(int page, const std::string& title) override { calls.push_back("grid " + std::to_string(page) + " " + title); }
    void previewChart(int page) override { calls.push_back("preview " + std::to_string(page)); }
    bool savePicture(int page, const std::string& path) override {
        calls.push_back("save " + std::to_string(page) + " " + path);
        return saves;
    }
    Texts calls;
    bool saves = true;
};

class Statistics : public ::testing::Test {
public:
    Statistics() {
        fake.clock.formatSettings().shortDateFormat = "M/d/yyyy";
        logPath = fake.folder.file("logfile.txt");
    }

    void writeLog(const std::string& text) {
        std::ofstream(logPath, std::ios::binary) << text;
    }

    // Two mailboxes over two days; ann's mail, then joe's.
    std::string twoMailboxes() const {
        const std::string tue = "Tue 12/8/2026 10:29 AM", wed = "Wed 12/9/2026 10:30 AM";
        return mailCheckRecord(5, "ann", "pop.a.example", tue) + mailCheckRecord(7, "Joe Smith", "pop.j.example", wed) +
               errorRecord("Operation timed out", "ann", "pop.a.example", wed) +
               deletedSpamRecord({"Win", "Deals@Pills.Example", "2000", "12/8/2026"}, "pop.a.example", "ann", tue) +
               deletedSpamRecord({"Win", "x@y.example", "3000", "12/9/2026"}, "pop.j.example", "Joe Smith", wed) +
               deletedSpamRecord({"Win", "z@y.example", "4000", "12/9/2026"}, "pop.j.example", "Joe Smith", wed);
    }

    // Runs the launcher as the main window opens it; `inChart` sees the chart
    // window while it is shown.
    void openAndRun(const std::function<void(TfrmChart&)>& inChart) {
        fake.dialogs.onShowModal = [&](Form& form) {
            if (form.name() == "frmChartMain") {
                auto& launcher = static_cast<TfrmChartMain&>(form);
                launcher.OnWaitCursor = [this](bool on) { cursor.push_back(on ? "wait" : "normal"); };
                launcher.FormShow();
                launcher.btOKClick();
            } else if (form.name() == "frmChart") {
                EXPECT_TRUE(chartWindowBusy());
                if (inChart) inChart(static_cast<TfrmChart&>(form));
            }
            return form.modalResult;
        };
        openStatistics(fake.platform, store);
        EXPECT_FALSE(chartWindowBusy());
    }

    FakePlatform fake;
    SettingsStore store{fake.platform.settingsFolder};
    std::string logPath;
    Texts cursor;
};

TEST_F(Statistics, LauncherReadsTheStoredLogAndShowsTheChartWindow) {
    writeLog(twoMailboxes());
    store.writeString("General", "Logfile", logPath);
    bool shown = false;
    openAndRun([&](TfrmChart& chart) {
        shown = true;
        EXPECT_EQ(chart.caption, "Chart of Activity");
        EXPECT_EQ(chart.cbMailbox.items, (Texts{"All mailboxes", "ann", "Joe Smith"}));
        EXPECT_EQ(chart.lblTitle.caption, "All mailboxes from 1/1/1998 thru 12/10/2026");
        EXPECT_EQ(chart.gridRowCount(TfrmChart::EmailTraffic), 2);
        EXPECT_EQ(chart.gridCell(TfrmChart::EmailTraffic, 1, 0), "12/9/2026");
        EXPECT_EQ(chart.gridCell(TfrmChart::EmailTraffic, 1, 3), "Joe Smith");
        EXPECT_EQ(chart.gridCell(TfrmChart::EmailTraffic, 1, 4), "7");
        EXPECT_EQ(chart.gridCell(TfrmChart::SpamDeleted, 0, 5), "deals@pills.example");
        EXPECT_EQ(chart.gridCell(TfrmChart::SpamDeleted, 2, 4), "4000");
        // A second request while the window is up does nothing.
        const std::size_t modals = fake.dialogs.modalForms.size();
        openStatistics(fake.platform, store);
        EXPECT_EQ(fake.dialogs.modalForms.size(), modals);
        // Another mailbox shows only after Redraw; the selector keeps all.
        chart.cbMailboxChange(2);
        EXPECT_EQ(chart.gridRowCount(TfrmChart::EmailTraffic), 2);
        chart.btRedrawClick();
        EXPECT_EQ(chart.lblTitle.caption, "Joe Smith from 1/1/1998 thru 12/10/2026");
        EXPECT_EQ(chart.gridRowCount(TfrmChart::EmailTraffic), 1);
        EXPECT_EQ(chart.gridCell(TfrmChart::EmailTraffic, 0, 3), "Joe Smith");
        EXPECT_EQ(chart.gridRowCount(TfrmChart::SpamDeleted), 2);
        EXPECT_EQ(chart.tally.topDomains, (std::vector<TopPlace>{{"y.example", 2}}));
        EXPECT_EQ(chart.cbMailbox.items.size(), 3u);
    });
    EXPECT_TRUE(shown);
    EXPECT_EQ(fake.dialogs.modalForms, (Texts{"frmChartMain", "frmChart"}));
    // The cursor waits while the log is read and while counting, and is back
    // before the window is shown; Redraw waits again.
    EXPECT_EQ(cursor, (Texts{"wait", "wait", "normal", "normal", "wait", "normal"}));
    EXPECT_TRUE(fake.dialogs.shown.empty());
}

TEST_F(Statistics, LauncherFailuresTellTheUserAndShowNoChart) {
    const struct {
        const char* name;
        std::function<std::string(Statistics&)> path;  // the log file field
        const char* message;
    } cases[] = {
        {"no such file", [](Statistics& t) { return t.fake.folder.file("none.txt"); },
         "The activity log file does not exist!  Either you have cleared/deleted the activity log or you have not "
         "yet begun to use Quorvel."},
        {"blank path", [](Statistics&) { return std::string(); },
         "The activity log file does not exist!  Either you have cleared/deleted the activity log or you have not "
         "yet begun to use Quorvel."},
        {"a folder", [](Statistics& t) { return t.fake.folder.path(); },
         "The activity log file does not exist!  Either you have cleared/deleted the activity log or you have not "
         "yet begun to use Quorvel."},
        {"unreadable",
         [](Statistics& t) {
             t.writeLog("MAIL CHECK 1 msg(s) for \"a\" on server b at Thu 12/10/2026 1:00 PM\r\n");
             ::chmod(t.logPath.c_str(), 0);
             return t.logPath;
         },
         "Could not open Activity log file for reading!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (std::string(c.name) == "unreadable" && ::geteuid() == 0) continue;  // root reads anything
        fake.dialogs.shown.clear();
        fake.dialogs.modalForms.clear();
        store.writeString("General", "Logfile", c.path(*this));
        openAndRun({});
        EXPECT_EQ(fake.dialogs.modalForms, Texts{"frmChartMain"});
        ASSERT_EQ(fake.dialogs.shown.size(), 1u);
        EXPECT_EQ(fake.dialogs.shown[0].kind, MessageKind::Error);
        EXPECT_EQ(fake.dialogs.shown[0].text, c.message);
    }
}

TEST_F(Statistics, ANonLogOrAnEmptyLogGivesEmptyTablesAndCharts) {
    std::string garbage(3 << 20, '\0');
    for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>((i * 7919) % 251 + 1);
    for (const std::string& text : {std::string(), garbage}) {
        writeLog(text);
        store.writeString("General", "Logfile", logPath);
        bool shown = false;
        openAndRun([&](TfrmChart& chart) {
            shown = true;
            EXPECT_EQ(chart.cbMailbox.items, Texts{"All mailboxes"});
            for (auto grid : {TfrmChart::EmailTraffic, TfrmChart::SpamDeleted}) {
                EXPECT_EQ(chart.gridRowCount(grid), 1);
                EXPECT_EQ(chart.gridCell(grid, 0, 0), "");
            }
            EXPECT_EQ(chart.tally.found + chart.tally.deleted, 0);
        });
        EXPECT_TRUE(shown);
    }
}

TEST_F(Statistics, CancelStopsTheReading) {
    writeLog(twoMailboxes());
    store.writeString("General", "Logfile", logPath);
    int progressShown = 0;
    fake.dialogs.onShowModal = [&](Form& form) {
        if (form.name() != "frmChartMain") return ModalResult::Ok;
        auto& launcher = static_cast<TfrmChartMain&>(form);
        launcher.setChangedHandler([&] {
            if (launcher.ProgressBar1.visible && launcher.reading()) {
                ++progressShown;
                launcher.btCancelClick();
            }
        });
        launcher.FormShow();
        launcher.btOKClick();
        return launcher.modalResult;
    };
    openStatistics(fake.platform, store);
    EXPECT_GE(progressShown, 1);
    EXPECT_EQ(fake.dialogs.modalForms, Texts{"frmChartMain"});
    EXPECT_FALSE(chartWindowBusy());
}

TEST_F(Statistics, BrowseStartsInTheLogsFolder) {
    TfrmChartMain launcher(fake.platform, store);
    launcher.edLogFile.text = "/var/log/quorvel/Q1_99.txt";
    fake.dialogs.fileAnswers.push_back(std::string("/home/ann/Jan99.txt"));
    launcher.sbBrowseClick();
    ASSERT_EQ(fake.dialogs.fileRequests.size(), 1u);
    const auto& r = fake.dialogs.fileRequests[0];
    EXPECT_EQ(r.kind, "open");
    EXPECT_EQ(r.title, "Location of Quorvel activity log file");
    EXPECT_EQ(r.filter, "Activity log files (*.txt)|*.txt|All files (*.*)|*.*");
    EXPECT_EQ(r.defaultExt, ".txt");
    EXPECT_EQ(r.initial, "/var/log/quorvel/");
    EXPECT_EQ(launcher.edLogFile.text, "/home/ann/Jan99.txt");
    launcher.sbBrowseClick();  // cancelled: the field stays
    EXPECT_EQ(launcher.edLogFile.text, "/home/ann/Jan99.txt");
    EXPECT_EQ(launcher.caption, "Activity Log Statistics for Quorvel");
}

TEST_F(Statistics, DateRangeChoicesAndTheirDates) {
    fake.clock.set(encodeDateTime({1999, 3, 31, 14, 5, 0, 0}));
    const TDateTime today = encodeDateTime({1999, 3, 31});
    const struct {
        const char* choice;
        int months, days;
        TDateTime start, end;
    } cases[] = {
        {"months", 1, 7, encodeDateTime({1999, 2, 28}), today},
        {"months", 12, 7, encodeDateTime({1998, 3, 31}), today},
        {"days", 1, 30, today - 30, today},
        {"between", 1, 7, encodeDateTime({1998, 5, 1}), encodeDateTime({1998, 6, 1})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.choice);
        TfrmChart chart(fake.platform);
        chart.entries = ActivityLogEntries();
        chart.start = encodeDateTime({1998, 5, 1});
        chart.end = encodeDateTime({1998, 6, 1});
        fake.dialogs.onShowModal = [&](Form& form) {
            auto& d = static_cast<TfrmSelectDateRange&>(form);
            d.FormShow();
            EXPECT_EQ(d.startDate, chart.start);
            d.edMonths.value = c.months;
            d.edDays.value = c.days;
            if (std::string(c.choice) == "months") d.rbMonthsClick();
            if (std::string(c.choice) == "days") d.rbDaysClick();
            if (std::string(c.choice) == "between") d.rbBetweenClick();
            EXPECT_EQ(d.dtStart.enabled, std::string(c.choice) == "between");
            EXPECT_EQ(d.edMonths.enabled, std::string(c.choice) == "months");
            EXPECT_EQ(d.edDays.enabled, std::string(c.choice) == "days");
            d.btOKClick();
            return d.modalResult;
        };
        const int drawnBefore = chart.drawn;
        chart.btDateRangeClick();
        EXPECT_EQ(chart.start, c.start);
        EXPECT_EQ(chart.end, c.end);
        EXPECT_EQ(chart.drawn, drawnBefore + 1);
    }
    // Cancel changes nothing; a start after the end moves the end up.
    TfrmChart chart(fake.platform);
    const TDateTime start = chart.start, end = chart.end;
    fake.dialogs.onShowModal = [&](Form& form) {
        auto& d = static_cast<TfrmSelectDateRange&>(form);
        d.startDate = encodeDateTime({2030, 1, 1});
        d.dtStartExit();
        EXPECT_EQ(d.endDate, d.startDate);
        d.btCancelClick();
        return d.modalResult;
    };
    chart.btDateRangeClick();
    EXPECT_EQ(chart.start, start);
    EXPECT_EQ(chart.end, end);
    EXPECT_EQ(chart.drawn, 0);
}

TEST_F(Statistics, PrintSavePictureHintsAndCloseByPage) {
    TfrmChart chart(fake.platform);
    RecordingOutput output;
    chart.setOutput(&output);
    for (int page = 0; page < 8; ++page) {
        chart.pageChanged(page);
        EXPECT_EQ(chart.btSavePicture.enabled, page < TfrmChart::EmailTraffic) << page;
        chart.btPrintClick();
    }
    EXPECT_EQ(output.calls, (Texts{"preview 0", "preview 1", "preview 2", "preview 3", "preview 4", "preview 5",
                                   "grid 6 E-mail traffic", "grid 7 Deleted Spam"}));
    output.calls.clear();
    chart.pageChanged(TfrmChart::TopSpammers);
    fake.dialogs.fileAnswers = {std::string("/tmp/top.svg"), std::string("/nowhere/top.png")};
    chart.btSavePictureClick();
    output.saves = false;
    chart.btSavePictureClick();
    EXPECT_EQ(output.calls, (Texts{"save 5 /tmp/top.svg", "save 5 /nowhere/top.png"}));
    ASSERT_EQ(fake.dialogs.fileRequests.size(), 2u);
    EXPECT_EQ(fake.dialogs.fileRequests[0].initial, "Top 10 Spammers.png");
    ASSERT_EQ(fake.dialogs.shown.size(), 1u);
    EXPECT_EQ(fake.dialogs.shown[0].text, "Could not save the picture as /nowhere/top.png.");

    EXPECT_FALSE(chart.pnlHints.visible);
    chart.btHintsClick();
    EXPECT_TRUE(chart.pnlHints.visible);
    chart.btHintsOKClick();
    EXPECT_FALSE(chart.pnlHints.visible);
    chart.visible = true;
    chart.btCloseClick();
    EXPECT_FALSE(chart.visible);
}

TEST_F(Statistics, SlotLabelsAndDayNamesFollowTheLocale) {
    TfrmChart chart(fake.platform);
    EXPECT_EQ(chart.slotLabel(0), "12:00 AM");
    EXPECT_EQ(chart.slotLabel(21), "10:30 AM");
    EXPECT_EQ(chart.slotLabel(47), "11:30 PM");
    EXPECT_EQ(chart.dayName(0), "Sunday");
    EXPECT_EQ(chart.dayName(6), "Saturday");
}

}  // namespace
}  // namespace quorvel
