#include "support/fake_platform.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <stdexcept>

namespace quorvel::testing {

class ManualTimers::ManualTimer : public Timer {
public:
    ManualTimer(ManualTimers& owner, std::function<void()> onTimer) : owner_(owner), onTimer_(std::move(onTimer)) {
        owner_.timers_.push_back(this);
    }
    ~ManualTimer() override { std::erase(owner_.timers_, this); }
    void setInterval(int ms) override {
        interval_ = ms;
        due_ = owner_.now_ + ms;
    }
    int interval() const override { return interval_; }
    void setEnabled(bool on) override {
        if (on && !enabled_) due_ = owner_.now_ + interval_;
        enabled_ = on;
    }
    bool enabled() const override { return enabled_; }

    bool running() const { return enabled_ && interval_ > 0; }
    int due() const { return due_; }
    void fire() {
        due_ += interval_;
        onTimer_();
    }

private:
    ManualTimers& owner_;
    std::function<void()> onTimer_;
    int interval_ = 1000;
    int due_ = 0;
    bool enabled_ = false;
};

std::unique_ptr<Timer> ManualTimers::createTimer(std::function<void()> onTimer) {
    return std::make_unique<ManualTimer>(*this, std::move(onTimer));
}

void ManualTimers::advance(int ms) {
    const int end = now_ + ms;
    for (;;) {
        ManualTimer* next = nullptr;
        for (auto* t : timers_)
            if (t->running() && t->due() <= end && (!next || t->due() < next->due())) next = t;
        if (!next) break;
        now_ = std::max(now_, next->due());
        next->fire();
    }
    now_ = end;
}

FixedClock::FixedClock() : settings_(FormatSettings::unitedStates()) {
    // Thursday, 10 December 2026, 4:48:30 PM.
    now_ = encodeDateTime({2026, 12, 10, 16, 48, 30, 0});
}

ModalResult ScriptedDialogs::messageBox(MessageKind kind, const std::string& text, MessageButtons buttons) {
    shown.push_back({kind, text, buttons});
    if (!answers.empty()) {
        const ModalResult answer = answers.front();
        answers.pop_front();
        return answer;
    }
    if (buttons == MessageButtons::YesNoDefaultNo) return ModalResult::No;
    return buttons == MessageButtons::YesNo ? ModalResult::Yes : ModalResult::Ok;
}

ModalResult ScriptedDialogs::showModal(Form& form) {
    modalForms.push_back(form.name());
    return onShowModal ? onShowModal(form) : form.modalResult;
}

namespace {

std::optional<std::string> answerFile(ScriptedDialogs& d, ScriptedDialogs::FileRequest request) {
    d.fileRequests.push_back(std::move(request));
    if (d.fileAnswers.empty()) return std::nullopt;
    auto answer = d.fileAnswers.front();
    d.fileAnswers.pop_front();
    return answer;
}

}  // namespace

std::optional<std::string> ScriptedDialogs::openFileName(const std::string& title, const std::string& filter,
                                                         const std::string& defaultExt, const std::string& initial) {
    return answerFile(*this, {"open", title, filter, defaultExt, initial});
}

std::optional<std::string> ScriptedDialogs::saveFileName(const std::string& title, const std::string& filter,
                                                         const std::string& defaultExt, const std::string& initial) {
    return answerFile(*this, {"save", title, filter, defaultExt, initial});
}

std::optional<std::string> ScriptedDialogs::folderName(const std::string& title, const std::string& initial) {
    return answerFile(*this, {"folder", title, "", "", initial});
}

bool ScriptedDialogs::printTable(const PrintedTable& table) {
    if (printAnswer) printed.push_back(table);
    return printAnswer;
}

TempFolder::TempFolder() {
    std::string templ = (std::filesystem::temp_directory_path() / "quorvel-test-XXXXXX").string();
    if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
    path_ = templ;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

FakePlatform::FakePlatform()
    : platform{loop, timers, clock, dialogs, tray, sound, shell, folder.path(), folder.path() + "/settings"} {
    std::filesystem::create_directories(platform.settingsFolder);
    platform.configHome = folder.path() + "/config";
    platform.executable = "/opt/quorvel/bin/quorvel";
}

}  // namespace quorvel::testing
