#include "app/program.h"

namespace quorvel {

Program::Program(Platform& p) : platform(p), store(p.settingsFolder), splash_(std::make_unique<TfrmSplash>()) {}

void Program::start() {
    main_ = std::make_unique<TfrmMain>(platform, store, std::move(splash_));
    general_ = std::make_unique<TfrmGeneral>(platform, store);
    main_->setGeneralWindow(general_.get());
    TfrmMain* main = main_.get();
    general_->OnPlayAlarm = [main](bool play) { main->playAlarmSound(play); };
    general_->OnLaunchMailProgram = [main] { main->btLaunchClick(); };
    general_->OnShowStatistics = [main] { main->btStatsClick(); };
    about_ = std::make_unique<TfrmAbout>(store);
    main_->frmAbout = about_.get();
}

void Program::shutdown() {
    general_->SaveGeneralSettings();
}

}  // namespace quorvel
