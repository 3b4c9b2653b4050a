#pragma once

#include <string>

namespace quorvel {

enum class TrayIconState { Enabled, Animated };
enum class TrayIconPicture { Hammer, Stop };

// The notification-area icon and the showing and hiding of the whole program.
// ShowApplication and HideApplication take effect on the next turn of the
// event loop; a second request before then replaces the first.
class TrayIcon {
public:
    virtual ~TrayIcon() = default;
    virtual void setActive(bool active) = 0;  // false is the original's Deactivate
    virtual bool active() const = 0;
    virtual void setHint(const std::string& hint) = 0;  // at most 63 characters are shown
    virtual void setAutoPopup(bool on) = 0;
    virtual void setState(TrayIconState state) = 0;
    virtual void setIcon(TrayIconPicture picture) = 0;
    virtual void showApplication() = 0;
    virtual void hideApplication() = 0;
};

// Sound: a wave file played without waiting, once or in a loop; the beep.
class Sound {
public:
    virtual ~Sound() = default;
    virtual void play(const std::string& path, bool loop) = 0;
    virtual void stop() = 0;
    virtual void beep() = 0;
};

// The desktop's "open": a document with its program, or a program itself.
// The help file is shown by the program's own viewer at a topic.
class Shell {
public:
    virtual ~Shell() = default;
    virtual bool open(const std::string& path) = 0;
    virtual bool showHelp(const std::string& helpFile, int topic) = 0;
};

}  // namespace quorvel
