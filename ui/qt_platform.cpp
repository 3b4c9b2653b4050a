#include "ui/qt_platform.h"

#include <QPrintDialog>
#include <QPrinter>

#include "ui/table_printer.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

#include <QApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFile>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QSocketNotifier>
#include <QLibrary>
#include <QUrl>

#include "ui/help_viewer.h"
#include "ui/pictures.h"
#include "ui/text.h"

namespace quorvel::ui {

// ---- Event pump ----

QtEventPump::QtEventPump() : wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

QtEventPump::~QtEventPump() {
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

EventPump::WaitResult QtEventPump::waitWithoutEvents(int fd, unsigned interest, int timeoutMs) {
    {
        std::lock_guard lock(mutex_);
        polling_ = true;
    }
    const short events = static_cast<short>(((interest & Readable) ? POLLIN : 0) | ((interest & Writable) ? POLLOUT : 0));
    pollfd fds[2] = {{fd, events, 0}, {wakeFd_, POLLIN, 0}};
    const int n = ::poll(fds, 2, timeoutMs);
    {
        std::lock_guard lock(mutex_);
        polling_ = false;
    }
    // A wake that came during the poll is in the counter, whatever poll saw.
    std::uint64_t wakes = 0;
    if (::read(wakeFd_, &wakes, sizeof wakes) == static_cast<ssize_t>(sizeof wakes) && wakes > 0)
        return WaitResult::Woken;
    return n > 0 && fds[0].revents != 0 ? WaitResult::Ready : WaitResult::TimedOut;
}

EventPump::WaitResult QtEventPump::wait(int fd, unsigned interest, std::chrono::milliseconds timeout) {
    {
        std::lock_guard lock(mutex_);
        if (pendingWake_) {
            pendingWake_ = false;
            return WaitResult::Woken;
        }
    }
    if (fd >= 0 && wakeFd_ >= 0 && eventsRan_.isValid()) {
        const long long left = kFrameMs - eventsRan_.elapsed();
        if (left > 0) {
            const int slice = static_cast<int>(std::max<long long>(0, std::min<long long>(timeout.count(), left)));
            const WaitResult quick = waitWithoutEvents(fd, interest, slice);
            if (quick != WaitResult::TimedOut || timeout.count() <= slice) return quick;
            timeout -= std::chrono::milliseconds(slice);
        }
    }

    QEventLoop loop;
    WaitResult result = WaitResult::TimedOut;
    std::unique_ptr<QSocketNotifier> readable, writable;
    const auto ready = [&] {
        result = WaitResult::Ready;
        loop.quit();
    };
    if (fd >= 0 && (interest & Readable)) {
        readable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QObject::connect(readable.get(), &QSocketNotifier::activated, &loop, ready);
    }
    if (fd >= 0 && (interest & Writable)) {
        writable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
        QObject::connect(writable.get(), &QSocketNotifier::activated, &loop, ready);
    }
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        result = WaitResult::TimedOut;
        loop.quit();
    });
    deadline.start(static_cast<int>(std::min<long long>(timeout.count(), 1LL << 30)));

    QEventLoop* outer = nullptr;
    {
        std::lock_guard lock(mutex_);
        outer = loop_;
        loop_ = &loop;
    }
    const int code = loop.exec();
    eventsRan_.restart();
    {
        std::lock_guard lock(mutex_);
        loop_ = outer;
    }
    return code == 1 ? WaitResult::Woken : result;
}

void QtEventPump::processEvents() {
    // The socket runs the events before every command; once a frame is enough.
    if (eventsRan_.isValid() && eventsRan_.elapsed() < kFrameMs) return;
    QCoreApplication::processEvents();
    eventsRan_.restart();
}

void QtEventPump::wake() {
    std::lock_guard lock(mutex_);
    if (polling_) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
        return;
    }
    if (!loop_) {
        pendingWake_ = true;
        return;
    }
    // exit(1) tells the wait it was woken; queued, so it is safe from a worker thread.
    QMetaObject::invokeMethod(loop_, [loop = loop_] { loop->exit(1); }, Qt::QueuedConnection);
}

// ---- Timers ----

namespace {

class QtTimer : public Timer {
public:
    explicit QtTimer(std::function<void()> onTimer) {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1000);
        QObject::connect(&timer_, &QTimer::timeout, [handler = std::move(onTimer)] { handler(); });
    }
    void setInterval(int ms) override { timer_.setInterval(ms); }
    int interval() const override { return timer_.interval(); }
    void setEnabled(bool on) override {
        if (on == timer_.isActive()) return;
        if (on)
            timer_.start();
        else
            timer_.stop();
    }
    bool enabled() const override { return timer_.isActive(); }

private:
    QTimer timer_;
};

}  // namespace

std::unique_ptr<Timer> QtTimers::createTimer(std::function<void()> onTimer) {
    return std::make_unique<QtTimer>(std::move(onTimer));
}

// ---- Dialogs ----

ModalResult QtDialogs::messageBox(MessageKind kind, const std::string& text, MessageButtons buttons) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle("Quorvel");
    // A window kept on top (the splash at start) would hide the box.
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window != &box && window->isVisible() && (window->windowFlags() & Qt::WindowStaysOnTopHint)) {
            box.setWindowFlag(Qt::WindowStaysOnTopHint);
            break;
        }
    // The text may carry a server's reply line: never markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(fromBytes(text));
    switch (kind) {
    case MessageKind::Information: box.setIcon(QMessageBox::Information); break;
    case MessageKind::Error: box.setIcon(QMessageBox::Critical); break;
    case MessageKind::Warning: box.setIcon(QMessageBox::Warning); break;
    case MessageKind::Confirmation: box.setIcon(QMessageBox::Question); break;
    }
    switch (buttons) {
    case MessageButtons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
    case MessageButtons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case MessageButtons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case MessageButtons::YesNoDefaultNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes: return ModalResult::Yes;
    case QMessageBox::No: return ModalResult::No;
    case QMessageBox::Cancel: return ModalResult::Cancel;
    default: return ModalResult::Ok;
    }
}

ModalResult QtDialogs::showModal(Form& form) {
    const auto window = windows_.find(form.name());
    if (window == windows_.end()) return ModalResult::Cancel;
    window->second(form);
    return form.modalResult;
}

bool QtDialogs::printTable(const PrintedTable& table) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setDocName(fromBytes(table.title));
    QPrintDialog dialog(&printer, QApplication::activeWindow());
    if (dialog.exec() != QDialog::Accepted) return false;
    ui::printTable(printer, table);
    return true;
}

QStringList toNameFilters(const std::string& filter) {
    const QStringList parts = fromBytes(filter).split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        patterns.replace("*.*", "*");
        // The toolkit reads the patterns from the parentheses of the description.
        QString description = parts[i];
        const qsizetype paren = description.lastIndexOf('(');
        if (paren > 0) description = description.left(paren).trimmed();
        filters << description + " (" + patterns + ")";
    }
    return filters;
}

namespace {

std::optional<std::string> chooseFile(bool save, const std::string& title, const std::string& filter,
                                      const std::string& defaultExt, const std::string& initial) {
    QFileDialog dialog(QApplication::activeWindow(), fromBytes(title));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters(toNameFilters(filter));
    if (!defaultExt.empty()) dialog.setDefaultSuffix(QString::fromStdString(defaultExt).remove(0, 1));
    // A folder is where to start; a file is also chosen already.
    if (!initial.empty() && QFileInfo(QFile::decodeName(initial.c_str())).isDir())
        dialog.setDirectory(QFile::decodeName(initial.c_str()));
    else if (!initial.empty())
        dialog.selectFile(QFile::decodeName(initial.c_str()));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return QFile::encodeName(dialog.selectedFiles().first()).toStdString();
}

}  // namespace

std::optional<std::string> QtDialogs::openFileName(const std::string& title, const std::string& filter,
                                                   const std::string& defaultExt, const std::string& initial) {
    return chooseFile(false, title, filter, defaultExt, initial);
}

std::optional<std::string> QtDialogs::saveFileName(const std::string& title, const std::string& filter,
                                                   const std::string& defaultExt, const std::string& initial) {
    return chooseFile(true, title, filter, defaultExt, initial);
}

std::optional<std::string> QtDialogs::folderName(const std::string& title, const std::string& initial) {
    QFileDialog dialog(QApplication::activeWindow(), fromBytes(title));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    // Mail folders live under the user's home, not where the program started.
    dialog.setDirectory(initial.empty() ? QDir::homePath() : QFile::decodeName(initial.c_str()));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return QFile::encodeName(dialog.selectedFiles().first()).toStdString();
}

// ---- Tray icon ----

QtTrayIcon::QtTrayIcon() {
    animation_.setInterval(1000);
    connect(&animation_, &QTimer::timeout, this, [this] {
        frame_ = !frame_;
        showFrame();
    });
    QTimer::singleShot(0, this, [this] { syncIcon(); });
}

QtTrayIcon::~QtTrayIcon() = default;

bool QtTrayIcon::available() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void QtTrayIcon::syncIcon() {
    if (!icon_) {
        if (!active_ || !available()) return;
        icon_ = std::make_unique<QSystemTrayIcon>();
        connect(icon_.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger) showApplication();
        });
        connect(icon_.get(), &QSystemTrayIcon::messageClicked, this, [this] { showApplication(); });
    }
    icon_->setToolTip(hint_);
    icon_->setContextMenu(autoPopup_ ? menu_.data() : nullptr);
    showFrame();
    icon_->setVisible(active_);
}

void QtTrayIcon::setMenu(QMenu* menu) {
    menu_ = menu;
    if (menu_) connect(menu_, &QMenu::aboutToShow, this, [this] {
            if (onMenuAboutToShow) onMenuAboutToShow();
        });
    if (icon_) syncIcon();
}

void QtTrayIcon::setActive(bool active) {
    active_ = active;
    if (icon_ || !active) {
        if (icon_) icon_->setVisible(active);
    } else {
        syncIcon();
    }
}

void QtTrayIcon::setHint(const std::string& hint) {
    hint_ = fromBytes(trayHint(hint));
    if (icon_) icon_->setToolTip(hint_);
}

QString QtTrayIcon::hint() const {
    return hint_;
}

void QtTrayIcon::setAutoPopup(bool on) {
    autoPopup_ = on;
    if (icon_) icon_->setContextMenu(on ? menu_.data() : nullptr);
}

void QtTrayIcon::setState(TrayIconState state) {
    if (state == TrayIconState::Animated) {
        if (!animation_.isActive()) animation_.start();
    } else {
        animation_.stop();
        frame_ = false;
    }
    showFrame();
}

void QtTrayIcon::setIcon(TrayIconPicture picture) {
    picture_ = picture;
    showFrame();
}

void QtTrayIcon::showFrame() {
    if (!icon_) return;
    if (animation_.isActive())
        icon_->setIcon(drawnIcon(frame_ ? "ANIM2" : "ANIM1"));
    else
        icon_->setIcon(picture_ == TrayIconPicture::Stop ? drawnIcon("imStop") : programIcon());
}

void QtTrayIcon::showApplication() {
    schedule(Pending::Show);
}

void QtTrayIcon::hideApplication() {
    schedule(Pending::Hide);
}

void QtTrayIcon::showMessage(const std::string& title, const std::string& text) {
    if (!icon_ || !icon_->isVisible() || !QSystemTrayIcon::supportsMessages()) return;
    icon_->showMessage(fromBytes(title), fromBytes(text), QSystemTrayIcon::Information);
}

void QtTrayIcon::schedule(Pending request) {
    // Takes effect on the next turn of the event loop; a later request
    // before then replaces an earlier one.
    const bool scheduled = pending_ != Pending::None;
    pending_ = request;
    if (!scheduled) QTimer::singleShot(0, this, [this] { applyPending(); });
}

// Menus, and the window the toolkit embeds in the notification area to draw
// the icon: closing that one would take the icon away with the program.
bool QtTrayIcon::belongsToTheIcon(const QWidget* window) {
    return window->inherits("QMenu") || window->inherits("QSystemTrayIconSys") ||
           window->windowFlags().testFlag(Qt::BypassWindowManagerHint);
}

void QtTrayIcon::applyPending() {
    const Pending request = pending_;
    pending_ = Pending::None;
    if (!mainWindow_) return;
    if (request == Pending::Show) {
        mainWindow_->showNormal();
        mainWindow_->raise();
        mainWindow_->activateWindow();
    } else if (request == Pending::Hide) {
        if (!available() || !active_) {
            mainWindow_->showMinimized();
            return;
        }
        // A program that is not on screen (a start in tray mode) has nothing
        // to hide: the splash stays up for its time.
        if (!mainWindow_->isVisible()) return;
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window != mainWindow_ && window->isVisible() && !belongsToTheIcon(window)) window->close();
        mainWindow_->hide();
    }
}

bool runningFromBuildTree() {
    const QString build = QFileInfo(QString(QUORVEL_BUILD_ROOT)).canonicalFilePath();
    const QString exe = QFileInfo(QCoreApplication::applicationDirPath()).canonicalFilePath();
    return !build.isEmpty() && (exe == build || exe.startsWith(build + "/"));
}

// ---- Sound ----

QtSound::QtSound() = default;
QtSound::~QtSound() = default;

QtSound::CreatePlayer QtSound::findPlayerModule() {
    // Only folders that belong to this copy of the program: a path compiled in
    // would, on another machine, name a folder anybody may have created.
    const QString exeFolder = QCoreApplication::applicationDirPath();
    QStringList folders = {exeFolder, exeFolder + "/../libexec/quorvel"};
    if (runningFromBuildTree()) folders << QString(QUORVEL_BUILD_MODULES);
    for (const QString& folder : folders) {
        QLibrary module(folder + "/quorvel_sound");
        if (const auto create = reinterpret_cast<CreatePlayer>(module.resolve("quorvelCreateSound"))) return create;
    }
    return nullptr;
}

void QtSound::play(const std::string& path, bool loop) {
    if (!triedLoading_) {
        triedLoading_ = true;
        if (const CreatePlayer create = findPlayerModule()) player_.reset(create());
    }
    if (player_)
        player_->play(path, loop);
    else
        beep();
}

void QtSound::stop() {
    if (player_) player_->stop();
}

std::string QtSound::problem() const {
    return player_ ? player_->problem() : std::string();
}

void QtSound::beep() {
    QApplication::beep();
}

// ---- Shell ----

bool QtShell::open(const std::string& path) {
    const QString file = QString::fromLocal8Bit(path.c_str());
    const QFileInfo info(file);
    if (!info.exists()) return false;
    if (file.endsWith(".desktop")) return QProcess::startDetached("gio", {"launch", file});
    if (info.isExecutable() && !info.isDir()) return QProcess::startDetached(file, {});
    return QDesktopServices::openUrl(QUrl::fromLocalFile(file));
}

bool QtShell::openAddress(const std::string& address) {
    const QUrl url(QString::fromStdString(address), QUrl::StrictMode);
    // Only a web page: an address is never a file or a program here.
    if (!url.isValid() || url.scheme() != "https" || url.host().isEmpty()) return false;
    return QDesktopServices::openUrl(url);
}

bool QtShell::showHelp(const std::string& helpFile, int topic) {
    return HelpViewer::show(QString::fromLocal8Bit(helpFile.c_str()), topic);
}

}  // namespace quorvel::ui
