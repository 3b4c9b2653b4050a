#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "log/chart_tally.h"
#include "log/log_reader.h"
#include "platform/form.h"
#include "platform/platform.h"

namespace quorvel {

// The date-range dialog: between two dates, or the last N months or days up
// to today.
class TfrmSelectDateRange : public Form {
public:
    explicit TfrmSelectDateRange(Platform& platform);

    Control lblTitle;
    Control rbBetween, dtStart, lblAnd, dtEnd;
    Control rbMonths, edMonths, lblMonths;
    Control rbDays, edDays, lblDays;
    Control btOK, btCancel;
    // The two date fields (dates at midnight).
    TDateTime startDate = 0, endDate = 0;
    // What the dialog computed from its choice.
    TDateTime start = 0, end = 0;

    static constexpr int kMaxMonths = 12;
    static constexpr int kMaxDays = 365;

    void FormShow();
    void rbBetweenClick();
    void rbMonthsClick();
    void rbDaysClick();
    // Leaving the start field: an end before the start moves up to it.
    void dtStartExit();
    void btOKClick();
    void btCancelClick();
    void computeRange();

private:
    void choose(Control& choice);
    Platform& platform_;
};

// What the chart window asks of the toolkit beyond drawing its state.
class ChartOutput {
public:
    virtual ~ChartOutput() = default;
    // Asks for a printer and prints the grid of `page` under `title`.
    virtual void printGrid(int page, const std::string& title) = 0;
    // The print preview of the chart of `page`.
    virtual void previewChart(int page) = 0;
    // Writes the chart of `page` as a picture; the name's ending (.svg or
    // .png) chooses the kind. False when the file could not be written.
    virtual bool savePicture(int page, const std::string& path) = 0;
};

// The chart window: the log's entries as two grids and six charts, for the
// chosen mailbox and date range.
class TfrmChart : public Form {
public:
    enum Page { DayOfWeek, HourOfDay, DayByDay, PercentDeleted, TopDomains, TopSpammers, EmailTraffic, SpamDeleted };
    static constexpr std::array<const char*, 8> kPages = {"Day of week",         "Hour of day",     "Day by day",
                                                         "% Deleted",           "Top 10 Spam Domains",
                                                         "Top 10 Spammers",     "Email traffic",   "Spam Deleted"};
    static constexpr std::array<const char*, 5> kCheckColumns = {"Date", "Time", "Server", "Mailbox", "# Mail"};
    static constexpr std::array<const char*, 7> kDeletionColumns = {"Date",   "Time",   "Server", "Mailbox",
                                                                    "Size",   "Sender", "Domain"};
    static constexpr const char* kAllMailboxes = "All mailboxes";

    explicit TfrmChart(Platform& platform);
    ~TfrmChart() override;

    // The title line.
    Control lblTitle;
    // Check boxes under the two line charts that show or hide their series.
    Control cbHourFound, cbHourDeleted, cbHourChecked;
    Control cbDayFound, cbDayDeleted, cbDayChecked;
    // The bottom bar.
    Control lblSelect, cbMailbox, btRedraw, btDateRange, btHints, btPrint, btSavePicture, btClose;
    // The hints panel.
    Control pnlHints, lblHintsTitle, lblHintZoom, lblHintMove, lblHintReset, btHintsOK;

    int activePage = DayOfWeek;
    TDateTime start = 0, end = 0;
    std::unique_ptr<TfrmSelectDateRange> frmSelectDateRange;

    // What the window draws: the entries and what was counted from them.
    // `drawn` grows with every count, so the window knows when to redraw
    // its charts and grids.
    ActivityLogEntries entries;
    ChartTally tally;
    int drawn = 0;

    // Toolkit hooks: the wait cursor, printing and pictures.
    std::function<void(bool on)> OnWaitCursor;
    void setOutput(ChartOutput* output) { output_ = output; }

    // Takes the mailbox list of freshly read entries into the selector.
    void entriesRead();
    void FormShow();
    // Counts, fills the grids, computes the pie and plots, for the selection.
    void Redraw();
    void btRedrawClick();
    void btDateRangeClick();
    void btHintsClick();
    void btHintsOKClick();
    void btPrintClick();
    void btSavePictureClick();
    void btCloseClick();
    void pageChanged(int page);
    void cbMailboxChange(int index);

    // "<mailbox> from <start> thru <end>".
    std::string title() const;
    // The texts of a grid's cell: row and column count from 0 over the data
    // rows; a grid with no rows shows one empty row.
    int gridRowCount(Page grid) const;
    std::string gridCell(Page grid, int row, int column) const;
    // The label of half-hour slot `slot` in the locale's short time.
    std::string slotLabel(int slot) const;
    // Sunday first.
    const std::string& dayName(int weekday) const;
    // The current date or time in a format ("ddddd", "t"), as printouts show it.
    std::string nowText(const std::string& format) const;
    static bool isGridPage(int page) { return page == EmailTraffic || page == SpamDeleted; }

private:
    void waitCursor(bool on);
    Platform& platform_;
    ChartOutput* output_ = nullptr;
};

}  // namespace quorvel
