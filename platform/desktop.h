#pragma once

#include <cstddef>
#include <string>

namespace quorvel {

// The notification area shows at most this many characters of a hint.
constexpr std::size_t kTrayHintLength = 63;

// `text` cut to what the notification area shows; a character written in
// several bytes is not split.
inline std::string trayHint(const std::string& text) {
    if (text.size() <= kTrayHintLength) return text;
    std::size_t cut = kTrayHintLength;
    std::size_t lead = cut;
    while (lead > 0 && cut - lead < 3 && (static_cast<unsigned char>(text[lead]) & 0xC0) == 0x80) --lead;
    if (lead != cut && (static_cast<unsigned char>(text[lead]) & 0xC0) == 0xC0) cut = lead;
    return text.substr(0, cut);
}

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
    // A desktop notification beside the icon; clicking it shows the program.
    // Nothing where the desktop has no notification area.
    virtual void showMessage(const std::string& title, const std::string& text) {
        (void)title;
        (void)text;
    }
};

// Sound: a wave file played without waiting, once or in a loop; the beep.
class Sound {
public:
    virtual ~Sound() = default;
    virtual void play(const std::string& path, bool loop) = 0;
    virtual void stop() = 0;
    virtual void beep() = 0;
    // Why the last play cannot be heard ("no audio device"); empty when it can.
    virtual std::string problem() const { return {}; }
};

// The desktop's "open": a document with its program, or a program itself.
// The help file is shown by the program's own viewer at a topic.
class Shell {
public:
    virtual ~Shell() = default;
    virtual bool open(const std::string& path) = 0;
    // A web address (https) in the user's browser; false when none opened.
    virtual bool openAddress(const std::string& address) = 0;
    virtual bool showHelp(const std::string& helpFile, int topic) = 0;
};

}  // namespace quorvel
