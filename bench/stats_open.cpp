// Opens the statistics for an activity log as the launcher's OK does: reads
// the log, counts, and shows the chart window (offscreen) with its first page
// drawn, with a date range that takes in every entry; that is the opening.
// Then turns to each of the eight pages once. Then chooses the first mailbox
// and redraws, and counts that mailbox once more without the window, for
// comparison. Prints the seconds of each step and the peak memory, in one
// line that stats_compare.sh reads.
// Usage: stats_open FILE
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTabWidget>
#include <cstdio>

#include "log/frm_chart.h"
#include "ui/chart_window.h"
#include "ui/headless_platform.h"

namespace {

using namespace quorvel;

// Every page painted once, as the user sees it when turning to it; the
// milliseconds of each go to the standard error.
void drawPages(ui::ChartWindow& window) {
    QElapsedTimer timer;
    std::fprintf(stderr, "pages (ms):");
    for (int page = 0; page < window.pages()->count(); ++page) {
        timer.start();
        window.pages()->setCurrentIndex(page);
        (void)window.grab();
        std::fprintf(stderr, " %.1f", static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::fprintf(stderr, "\n");
    window.pages()->setCurrentIndex(0);
}

double seconds(QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    ui::QtClock clock;
    clock.formatSettings().shortDateFormat = "M/d/yyyy";  // as widened at start-up
    ui::HeadlessPlatform headless(clock);
    Platform& platform = headless.platform;

    QElapsedTimer total;
    total.start();
    TfrmChart chart(platform);
    QElapsedTimer step;
    step.start();
    if (!readInLogFile(argv[1], chart.entries, platform.dialogs, clock)) return 1;
    const double read = seconds(step);
    step.restart();
    chart.entriesRead();
    // The generated log runs on past today: every entry is to pass, as in a
    // log of the past.
    chart.end = encodeDateTime({9999, 12, 31});
    chart.FormShow();
    chart.Redraw();
    const double tally = seconds(step);
    step.restart();
    ui::ChartWindow window(chart, nullptr);
    window.resize(900, 620);
    window.show();
    std::fprintf(stderr, "window built (ms): %.1f\n", seconds(step) * 1000);
    (void)window.grab();  // the first page, as the user first sees it
    const double draw = seconds(step);
    const double open = seconds(total);
    step.restart();
    drawPages(window);
    const double pages = seconds(step);

    // Another mailbox, redrawn; then the same count alone.
    step.restart();
    chart.cbMailboxChange(1);
    chart.btRedrawClick();
    drawPages(window);
    const double redraw = seconds(step);
    ChartFilter filter{chart.start, chart.end, false, chart.cbMailbox.items.size() > 1 ? chart.cbMailbox.items[1] : ""};
    step.restart();
    const ChartTally alone = tallyActivity(chart.entries, filter, clock.formatSettings(), clock.now());
    const double tallyAlone = seconds(step);

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%zu mail checks, %zu deleted, %zu rows of %s | open %.3f s (read %.3f, count %.3f, window and first "
                "page %.3f) | every page %.3f s | redraw %.3f s, its count alone %.3f s | peak %.0f MB\n",
                chart.entries.mailChecks.size(), chart.entries.deletedSpam.size(), alone.checkRows.size(),
                filter.mailbox.c_str(), open, read, tally, draw, pages, redraw, tallyAlone, usage.ru_maxrss / 1024.0);
    return 0;
}
