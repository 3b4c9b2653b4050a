#pragma once

#include <string>

#include "platform/desktop.h"

namespace quorvel {

// Desktop services for programs that run without anybody at the screen: no
// notification-area icon, no sound, and no program ever started (a check
// from cron must not open anything).
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

class NoShell : public Shell {
public:
    bool open(const std::string&) override { return false; }
    bool openAddress(const std::string&) override { return false; }
    bool showHelp(const std::string&, int) override { return false; }
};

}  // namespace quorvel
