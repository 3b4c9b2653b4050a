#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/poll_event_loop.h"

namespace quorvel::testing {

// Timers that fire only when the test moves the clock on.
class ManualTimers : public TimerFactory {
public:
    std::unique_ptr<Timer> createTimer(std::function<void()> onTimer) override;
    // Moves time on by `ms`, firing every timer that falls due, in time order.
    void advance(int ms);
    int nowMs() const { return now_; }

private:
    class ManualTimer;
    std::vector<ManualTimer*> timers_;
    int now_ = 0;
};

// A fixed moment in United States English.
class FixedClock : public Clock {
public:
    FixedClock();
    TDateTime now() const override { return now_; }
    FormatSettings& formatSettings() override { return settings_; }
    void set(TDateTime value) { now_ = value; }

private:
    TDateTime now_;
    FormatSettings settings_;
};

// Message boxes answered from a queue; every text is kept.
class ScriptedDialogs : public Dialogs {
public:
    struct Shown {
        MessageKind kind;
        std::string text;
        MessageButtons buttons = MessageButtons::Ok;
    };
    ModalResult messageBox(MessageKind kind, const std::string& text, MessageButtons buttons) override;
    ModalResult showModal(Form& form) override;
    std::optional<std::string> openFileName(const std::string& title, const std::string& filter,
                                            const std::string& defaultExt, const std::string& initial) override;
    std::optional<std::string> saveFileName(const std::string& title, const std::string& filter,
                                            const std::string& defaultExt, const std::string& initial) override;

    std::optional<std::string> folderName(const std::string& title, const std::string& initial) override;

    // A file chooser as it was asked for; "open", "save" or "folder".
    struct FileRequest {
        std::string kind, title, filter, defaultExt, initial;
    };
    std::vector<FileRequest> fileRequests;
    std::deque<std::optional<std::string>> fileAnswers;  // the default is a cancel

    bool printTable(const PrintedTable& table) override;
    std::vector<PrintedTable> printed;  // the tables the user confirmed
    bool printAnswer = true;            // false: the print dialog is cancelled

    std::vector<Shown> shown;
    std::deque<ModalResult> answers;  // the default answer is the box's default: Ok, Yes, or No
    std::vector<std::string> modalForms;
    std::function<ModalResult(Form&)> onShowModal;
};

class RecordingTray : public TrayIcon {
public:
    void setActive(bool on) override { active_ = on; }
    bool active() const override { return active_; }
    void setHint(const std::string& text) override {
        hint = text;
        hints.push_back(text);
    }
    void setAutoPopup(bool on) override { autoPopup = on; }
    void setState(TrayIconState s) override { state = s; }
    void setIcon(TrayIconPicture p) override { picture = p; }
    void showApplication() override { calls.push_back("ShowApplication"); }
    void hideApplication() override { calls.push_back("HideApplication"); }
    void showMessage(const std::string& title, const std::string& text) override {
        messages.push_back({title, text});
    }

    std::string hint;
    std::vector<std::string> hints;  // every hint set, in order
    struct Message {
        std::string title, text;
        bool operator==(const Message&) const = default;
    };
    std::vector<Message> messages;
    bool autoPopup = true;
    TrayIconState state = TrayIconState::Enabled;
    TrayIconPicture picture = TrayIconPicture::Hammer;
    std::vector<std::string> calls;

private:
    bool active_ = true;  // the icon is present from creation on
};

class RecordingSound : public Sound {
public:
    void play(const std::string& path, bool loop) override { calls.push_back((loop ? "loop " : "play ") + path); }
    void stop() override { calls.push_back("stop"); }
    void beep() override { calls.push_back("beep"); }
    std::string problem() const override { return problemText; }
    std::vector<std::string> calls;
    std::string problemText;  // what problem() answers
};

class RecordingShell : public Shell {
public:
    bool open(const std::string& path) override {
        opened.push_back(path);
        return result;
    }
    bool openAddress(const std::string& address) override {
        addresses.push_back(address);
        return result;
    }
    bool showHelp(const std::string& file, int topic) override {
        help.push_back(file + "#" + std::to_string(topic));
        return result;
    }
    std::vector<std::string> opened, addresses, help;
    bool result = true;
};

// A private temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// The whole platform of doubles, with its program and settings folders in a
// temporary folder.
struct FakePlatform {
    PollEventLoop loop;
    ManualTimers timers;
    FixedClock clock;
    ScriptedDialogs dialogs;
    RecordingTray tray;
    RecordingSound sound;
    RecordingShell shell;
    TempFolder folder;
    Platform platform;

    FakePlatform();
};

}  // namespace quorvel::testing
