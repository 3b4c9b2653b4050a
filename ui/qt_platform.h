#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QSystemTrayIcon>
#include <QTimer>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/platform.h"
#include "ui/qt_clock.h"

class QEventLoop;
class QMenu;
class QWidget;

namespace quorvel::ui {

// Network waits as nested event loops: a wait sleeps in the event loop until
// its socket notifier, its timer or wake() ends it.
// A socket that answers again within a frame of the last run of the events is
// waited for without running them: the windows then repaint once a frame, not
// after every reply of a quick server (which costs more than the listing).
class QtEventPump : public EventPump {
public:
    QtEventPump();
    ~QtEventPump() override;
    QtEventPump(const QtEventPump&) = delete;
    QtEventPump& operator=(const QtEventPump&) = delete;

    WaitResult wait(int fd, unsigned interest, std::chrono::milliseconds timeout) override;
    void processEvents() override;
    void wake() override;

    // How long the events may wait while a socket keeps answering.
    static constexpr int kFrameMs = 40;

private:
    WaitResult waitWithoutEvents(int fd, unsigned interest, int timeoutMs);

    std::mutex mutex_;
    QEventLoop* loop_ = nullptr;  // the innermost wait, if any
    bool pendingWake_ = false;
    bool polling_ = false;  // a wait without events is in progress
    int wakeFd_ = -1;       // ends that wait
    QElapsedTimer eventsRan_;
};

class QtTimers : public TimerFactory {
public:
    std::unique_ptr<Timer> createTimer(std::function<void()> onTimer) override;
};

// The program's file filter ("Text files (*.txt)|*.txt|...") as the toolkit's
// name filters. "*.*" becomes "*": here a file need not have an extension.
QStringList toNameFilters(const std::string& filter);

class QtDialogs : public Dialogs {
public:
    using WindowFactory = std::function<int(Form&)>;  // shows the form's window modally

    ModalResult messageBox(MessageKind kind, const std::string& text, MessageButtons buttons) override;
    ModalResult showModal(Form& form) override;
    std::optional<std::string> folderName(const std::string& title, const std::string& initial) override;
    std::optional<std::string> openFileName(const std::string& title, const std::string& filter,
                                            const std::string& defaultExt, const std::string& initial) override;
    std::optional<std::string> saveFileName(const std::string& title, const std::string& filter,
                                            const std::string& defaultExt, const std::string& initial) override;
    bool printTable(const PrintedTable& table) override;

    // Each modal window registers how it is shown.
    void registerWindow(const std::string& formName, WindowFactory show) { windows_[formName] = std::move(show); }

private:
    std::map<std::string, WindowFactory> windows_;
};

// The notification-area icon, and showing and hiding the whole program. When
// the desktop has no notification area, hiding minimises instead, so that the
// window can always be reached.
class QtTrayIcon : public QObject, public TrayIcon {
    Q_OBJECT
public:
    QtTrayIcon();
    ~QtTrayIcon() override;

    void setMainWindow(QWidget* window) { mainWindow_ = window; }
    void setMenu(QMenu* menu);
    // Called before the menu opens (the program stops its alarm then).
    std::function<void()> onMenuAboutToShow;

    void setActive(bool active) override;
    bool active() const override { return active_; }
    void setHint(const std::string& hint) override;
    void setAutoPopup(bool on) override;
    void setState(TrayIconState state) override;
    void setIcon(TrayIconPicture picture) override;
    void showApplication() override;
    void hideApplication() override;
    void showMessage(const std::string& title, const std::string& text) override;

    QString hint() const;
    bool animated() const { return animation_.isActive(); }
    static bool available();
    // Windows that hiding the program leaves alone.
    static bool belongsToTheIcon(const QWidget* window);

private:
    enum class Pending { None, Show, Hide };
    void schedule(Pending request);
    void applyPending();
    void showFrame();
    void syncIcon();

    // Made on the first turn of the event loop, and only when still wanted:
    // a program that starts outside the notification area never makes one.
    std::unique_ptr<QSystemTrayIcon> icon_;
    QString hint_;
    QTimer animation_;
    QPointer<QWidget> mainWindow_;
    QPointer<QMenu> menu_;
    bool active_ = true;
    bool autoPopup_ = true;
    bool frame_ = false;
    TrayIconPicture picture_ = TrayIconPicture::Hammer;
    Pending pending_ = Pending::None;
};

// Whether this executable runs from the folder a build left it in: only then
// may it use the source tree's data and the build's modules.
bool runningFromBuildTree();

// Plays through the sound module, loaded on the first alarm; without it the
// alarm falls back to the beep.
class QtSound : public Sound {
public:
    QtSound();
    ~QtSound() override;
    void play(const std::string& path, bool loop) override;
    void stop() override;
    void beep() override;
    std::string problem() const override;
    // The module's factory, or null when the module cannot be found.
    using CreatePlayer = Sound* (*)();
    static CreatePlayer findPlayerModule();

private:
    std::unique_ptr<Sound> player_;
    bool triedLoading_ = false;
};

class QtShell : public Shell {
public:
    bool open(const std::string& path) override;
    bool openAddress(const std::string& address) override;
    bool showHelp(const std::string& helpFile, int topic) override;
};

}  // namespace quorvel::ui
