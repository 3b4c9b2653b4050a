#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace quorvel::cli {

// The desktop services of a program without windows. A message box the
// shared logic raises is kept for the caller to report, and every question
// is answered with No: nothing may be confirmed on the user's behalf.
class HeadlessDialogs : public Dialogs {
public:
    ModalResult messageBox(MessageKind kind, const std::string& text, MessageButtons buttons) override {
        if (kind == MessageKind::Error || kind == MessageKind::Warning) errors.push_back(text);
        return buttons == MessageButtons::Ok ? ModalResult::Ok : ModalResult::No;
    }
    ModalResult showModal(Form&) override { return ModalResult::Cancel; }
    std::optional<std::string> openFileName(const std::string&, const std::string&, const std::string&,
                                            const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> saveFileName(const std::string&, const std::string&, const std::string&,
                                            const std::string&) override {
        return std::nullopt;
    }
    std::vector<std::string> errors;
};

class NoTrayIcon : public TrayIcon {
public:
    void setActive(bool) override {}
    bool active() const override { return false; }
    void setHint(const std::string&) override {}
    void setAutoPopup(bool) override {}
    void setState(TrayIconState) override {}
    void setIcon(TrayIconPicture) override {}
    void showApplication() override {}
    void hideApplication() override {}
};

class NoSound : public Sound {
public:
    void play(const std::string&, bool) override {}
    void stop() override {}
    void beep() override {}
};

// Never starts a program: a check from cron must not open anything.
class NoShell : public Shell {
public:
    bool open(const std::string&) override { return false; }
    bool showHelp(const std::string&, int) override { return false; }
};

}  // namespace quorvel::cli
