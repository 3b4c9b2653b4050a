#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "config/settings_store.h"
#include "log/frm_chart.h"
#include "platform/form.h"
#include "platform/platform.h"

namespace quorvel {

// The statistics launcher: asks for the activity log, reads it and shows the
// chart window over it.
class TfrmChartMain : public Form {
public:
    TfrmChartMain(Platform& platform, SettingsStore& store);

    Control lblTitle, lblOpen, edLogFile, sbBrowse;
    // The reader's progress; `value` counts per mille of the file.
    Control ProgressBar1;
    Control btOK, btCancel;

    // Toolkit hooks: the wait cursor, and the chart window as it is being
    // shown (the toolkit binds its window then).
    std::function<void(bool on)> OnWaitCursor;

    void FormShow();
    void sbBrowseClick();
    void btOKClick();
    // Also stops a reading in progress.
    void btCancelClick();
    bool reading() const { return reading_; }

private:
    void progressShow(std::uint64_t maximum);
    void progressTick();
    void close(ModalResult result);

    Platform& platform_;
    SettingsStore& store_;
    std::uint64_t progressMax_ = 0;
    std::uint64_t progressAt_ = 0;
    bool reading_ = false;
    bool cancelRequested_ = false;
};

// Set while a chart window is being built or shown; the commands that open
// the statistics do nothing then.
bool chartWindowBusy();

// Opens the launcher modally unless a chart window is open.
void openStatistics(Platform& platform, SettingsStore& store);

}  // namespace quorvel
