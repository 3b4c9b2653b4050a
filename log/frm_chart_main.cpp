#include "log/frm_chart_main.h"

#include <new>
#include <stdexcept>

#include "platform/files.h"

namespace quorvel {

namespace {

bool busy = false;

// Ends a reading the user cancelled.
struct ReadingCancelled {};

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

bool chartWindowBusy() {
    return busy;
}

void openStatistics(Platform& platform, SettingsStore& store) {
    if (busy) return;
    TfrmChartMain launcher(platform, store);
    platform.dialogs.showModal(launcher);
}

TfrmChartMain::TfrmChartMain(Platform& platform, SettingsStore& store)
    : Form("frmChartMain", "Activity Log Statistics for Quorvel"), platform_(platform), store_(store) {
    lblTitle = captioned("Quorvel Activity Statistics");
    lblOpen = captioned("Open existing activity log:");
    sbBrowse = captioned("...", "Location of Quorvel activity log file");
    ProgressBar1.visible = false;
    btOK = captioned("OK");
    btCancel = captioned("Cancel");
}

void TfrmChartMain::FormShow() {
    edLogFile.text = store_.readString("General", "Logfile", "");
    changed();
}

void TfrmChartMain::sbBrowseClick() {
    if (reading_) return;
    const auto chosen = platform_.dialogs.openFileName(
        "Location of Quorvel activity log file", "Activity log files (*.txt)|*.txt|All files (*.*)|*.*", ".txt",
        folderOf(edLogFile.text));
    if (!chosen) return;
    edLogFile.text = *chosen;
    changed();
}

void TfrmChartMain::close(ModalResult result) {
    modalResult = result;
    visible = false;
    changed();
}

void TfrmChartMain::btCancelClick() {
    if (reading_) {
        cancelRequested_ = true;
        return;
    }
    close(ModalResult::Cancel);
}

void TfrmChartMain::progressShow(std::uint64_t maximum) {
    progressMax_ = maximum;
    progressAt_ = 0;
    ProgressBar1.value = 0;
    ProgressBar1.visible = true;
    changed();
}

// Once per piece of the file read: the bar moves, the window keeps
// answering, and a cancel ends the reading.
void TfrmChartMain::progressTick() {
    const int perMille = progressMax_ > 0 ? static_cast<int>(progressAt_ * 1000 / progressMax_) : 0;
    if (perMille != ProgressBar1.value) {
        ProgressBar1.value = perMille;
        changed();
    }
    platform_.pump.processEvents();
    if (cancelRequested_) throw ReadingCancelled{};
}

void TfrmChartMain::btOKClick() {
    if (busy || reading_) return;
    busy = true;
    auto chart = std::make_unique<TfrmChart>(platform_);
    chart->OnWaitCursor = OnWaitCursor;
    if (OnWaitCursor) OnWaitCursor(true);
    bool cursorShown = true;
    struct Cleanup {
        TfrmChartMain& self;
        std::unique_ptr<TfrmChart>& chart;
        bool& cursorShown;
        ~Cleanup() {
            if (cursorShown && self.OnWaitCursor) self.OnWaitCursor(false);
            chart.reset();
            self.reading_ = false;
            self.cancelRequested_ = false;
            self.btOK.enabled = true;
            self.sbBrowse.enabled = true;
            self.ProgressBar1.visible = false;
            busy = false;
            self.close(ModalResult::Ok);
        }
    } cleanup{*this, chart, cursorShown};

    reading_ = true;
    cancelRequested_ = false;
    btOK.enabled = false;
    sbBrowse.enabled = false;
    changed();
    LogReadProgress progress;
    progress.show = [this](std::uint64_t maximum) { progressShow(maximum); };
    progress.position = [this](std::uint64_t at) { progressAt_ = at; };
    progress.tick = [this] { progressTick(); };
    progress.hide = [this] {
        ProgressBar1.visible = false;
        changed();
    };
    bool read = false;
    try {
        read = readInLogFile(edLogFile.text, chart->entries, platform_.dialogs, platform_.clock, progress);
    } catch (const ReadingCancelled&) {
        return;
    } catch (const std::bad_alloc&) {
        chart->entries = ActivityLogEntries();
        platform_.dialogs.messageBox(MessageKind::Error,
                                     "The activity log is too large to be read into memory.  Choose a smaller "
                                     "log file or clear this one.");
        return;
    } catch (const std::exception& error) {
        platform_.dialogs.messageBox(MessageKind::Error, error.what());
        return;
    }
    reading_ = false;
    if (!read) return;
    chart->entriesRead();
    chart->FormShow();
    chart->Redraw();
    // The window is built: the cursor comes back before the user looks at it.
    if (OnWaitCursor) OnWaitCursor(false);
    cursorShown = false;
    visible = false;
    changed();
    platform_.dialogs.showModal(*chart);
}

}  // namespace quorvel
