#pragma once

#include <memory>

#include "app/frm_about.h"
#include "app/frm_main.h"
#include "app/frm_splash.h"
#include "app/list_mark_preview.h"
#include "config/frm_general.h"
#include "config/frm_options_main.h"
#include "config/rule_dialogs.h"
#include "config/settings_store.h"
#include "log/activity_log.h"
#include "config/account_secrets.h"
#include "platform/platform.h"

namespace quorvel {

// The program's windows, created in their fixed order at start and living
// until it ends. The main window computes the paths the windows after it
// read, so the order matters.
class Program {
public:
    // Creates the splash, which the toolkit shows and paints before start().
    explicit Program(Platform& platform);
    // Creates the windows in their order; the main window takes the splash over.
    void start();
    // Starts in tray mode whatever the setting says (the start at log-in).
    bool trayAtStart = false;
    TfrmSplash* splash() { return splash_ ? splash_.get() : nullptr; }

    // The help file the program opens.
    static constexpr const char* kHelpFile = "quorvel.hlp";

    Platform& platform;
    SettingsStore store;
    TfrmMain* frmMain() { return main_.get(); }
    TfrmOptionsMain* frmOptionsMain() { return options_.get(); }
    TfrmGeneral* frmGeneral() { return general_.get(); }
    TfrmRetrieving* frmRetrieving() { return retrieving_.get(); }
    TfrmAbout* frmAbout() { return about_.get(); }
    RuleDialogs* ruleDialogs() { return ruleDialogs_.get(); }

    // Exit saves the general settings.
    void shutdown();

    ActivityLog* activityLog() { return log_.get(); }

private:
    // Between the windows and the keyring: one prompt, not one per window.
    std::unique_ptr<KeyringGuard> keyringGuard_;
    std::unique_ptr<TfrmSplash> splash_;
    std::unique_ptr<ActivityLog> log_;
    std::unique_ptr<TfrmMain> main_;
    std::unique_ptr<TfrmOptionsMain> options_;
    std::unique_ptr<TfrmRetrieving> retrieving_;
    std::unique_ptr<TfrmGeneral> general_;
    std::unique_ptr<TfrmAbout> about_;
    std::unique_ptr<ListMarkPreview> markPreview_;
    std::unique_ptr<RuleDialogs> ruleDialogs_;
};

}  // namespace quorvel
