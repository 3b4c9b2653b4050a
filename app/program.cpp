#include "app/program.h"

namespace quorvel {

Program::Program(Platform& p) : platform(p), store(p.settingsFolder), splash_(std::make_unique<TfrmSplash>()) {}

void Program::start() {
    main_ = std::make_unique<TfrmMain>(platform, store, std::move(splash_));
    options_ = std::make_unique<TfrmOptionsMain>(platform);
    main_->setSpamSettingsWindow(options_.get());
    general_ = std::make_unique<TfrmGeneral>(platform, store);
    main_->setGeneralWindow(general_.get());
    about_ = std::make_unique<TfrmAbout>(store);
    main_->frmAbout = about_.get();
}

void Program::shutdown() {
    general_->SaveGeneralSettings();
}

}  // namespace quorvel
