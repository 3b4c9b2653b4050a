#include "app/program.h"

namespace quorvel {

Program::Program(Platform& p) : platform(p), store(p.settingsFolder), splash_(std::make_unique<TfrmSplash>()) {
    if (platform.secrets) {
        keyringGuard_ = std::make_unique<KeyringGuard>(*platform.secrets);
        platform.secrets = keyringGuard_.get();
    }
}

void Program::start() {
    main_ = std::make_unique<TfrmMain>(platform, store, std::move(splash_), trayAtStart);
    options_ = std::make_unique<TfrmOptionsMain>(platform);
    options_->setKnownList(&main_->lbKnown);
    options_->readColumnWidths(store);
    main_->setSpamSettingsWindow(options_.get());
    // The "Learning" tab shows and teaches the main window's model.
    options_->setLearning(&main_->learning());
    retrieving_ = std::make_unique<TfrmRetrieving>();
    main_->setProgressDialog(retrieving_.get());
    general_ = std::make_unique<TfrmGeneral>(platform, store, &main_->agRas1);
    general_->movePasswordsToKeyring();
    main_->setGeneralWindow(general_.get());
    general_->setHeaderRules(options_.get());
    // One log for the program, at the path the settings window shows.
    log_ = std::make_unique<ActivityLog>(platform, [general = general_.get()] { return general->Logfile(); });
    main_->setActivityLog(log_.get());
    general_->setLog(log_.get());
    TfrmMain* main = main_.get();
    general_->OnPlayAlarm = [main](bool play) { main->playAlarmSound(play); };
    general_->OnLaunchMailProgram = [main] { main->btLaunchClick(); };
    general_->OnShowStatistics = [main] { main->btStatsClick(); };
    about_ = std::make_unique<TfrmAbout>(store);
    // The rule dialogs list the live mailbox accounts and judge their
    // "Would mark" line over the main window's list.
    ruleDialogs_ = std::make_unique<RuleDialogs>(platform.dialogs, general_.get());
    markPreview_ = std::make_unique<ListMarkPreview>(*main_);
    ruleDialogs_->setMarkPreview(markPreview_.get());
    options_->setRuleDialogs(ruleDialogs_.get());
    main_->frmAbout = about_.get();
}

void Program::shutdown() {
    main_->saveLearning();
    general_->SaveGeneralSettings();
    options_->writeColumnWidths(store);
}

}  // namespace quorvel
