#include "ui/application.h"

#include <sys/socket.h>
#include <unistd.h>

#include <csignal>

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QWindow>
#include <QTimer>

#include "app/program_folder.h"
#include "config/autostart.h"
#include "ui/about_dialog.h"
#include "ui/accessibility.h"
#include "ui/chart_launcher_window.h"
#include "ui/chart_window.h"
#include "ui/date_range_dialog.h"
#include "ui/general_window.h"
#include "ui/oauth_window.h"
#include "ui/options_window.h"
#include "ui/pictures.h"
#include "ui/rule_windows.h"
#include "ui/run_windows.h"
#include "ui/single_instance.h"
#include "ui/splash_window.h"
#include "ui/text.h"
#include "ui/view_windows.h"

namespace quorvel::ui {

QuorvelApplication::QuorvelApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName("Quorvel");
    setOrganizationName("Velmont");
    setQuitOnLastWindowClosed(false);  // the program may live in the notification area
    installAccessibleNames();
}

bool QuorvelApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        reportError(fromBytes(error.what()));
    } catch (...) {
        reportError("Unknown error");
    }
    return false;
}

void QuorvelApplication::reportError(const QString& text) {
    // An error's text may be a server's reply line: never markup.
    QMessageBox box(QMessageBox::Critical, "Quorvel", text, QMessageBox::Ok, activeWindow());
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

Desktop::Desktop(const Folders& folders)
    : dialUp(NetworkManagerDialUp::load()),
      keyring(folders.settings),
      // The sign-in page opens in the user's own browser (RFC 8252).
      oauth([](const std::string& address) {
          return QDesktopServices::openUrl(QUrl(QString::fromStdString(address), QUrl::StrictMode));
      }),
      platform{pump,
               timers,
               clock,
               dialogs,
               tray,
               sound,
               shell,
               folders.program,
               folders.settings,
               AutostartEntry::defaultConfigHome(),
               QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString(),
               dialUp.get(),
               &keyring,
               &oauth},
      program(platform) {
    installAccessibleNames();  // before any window is made
    dialogs.registerWindow("frmAbout", &AboutDialog::showModal);
    dialogs.registerWindow("frmGeneral", &GeneralWindow::showModal);
    dialogs.registerWindow("frmOAuth", &OAuthWindow::showModal);
    dialogs.registerWindow("frmOptionsMain", &OptionsWindow::showModal);
    dialogs.registerWindow("frmWhichMailbox", &WhichMailboxDialog::showModal);
    dialogs.registerWindow("frmViewHeader", &ViewHeaderWindow::showModal);
    dialogs.registerWindow("frmMarkForDeletion", &MarkForDeletionDialog::showModal);
    dialogs.registerWindow("frmOptionsSubject", &SubjectRuleDialog::showModal);
    dialogs.registerWindow("frmOptionsFROM", &SenderRuleDialog::showModal);
    dialogs.registerWindow("frmHeaders", &HeaderRuleDialog::showModal);
    dialogs.registerWindow("frmAlwaysAccept", &ExceptionRuleDialog::showModal);
    dialogs.registerWindow("frmInternet", &CountryDialog::showModal);
    dialogs.registerWindow("frmImportSpam", &ImportDialog::showModal);
    dialogs.registerWindow("frmChartMain", &ChartLauncherWindow::showModal);
    dialogs.registerWindow("frmChart", &ChartWindow::showModal);
    dialogs.registerWindow("frmSelectDateRange", &DateRangeDialog::showModal);
}

Desktop::~Desktop() {
    tray.setMainWindow(nullptr);
}

void Desktop::start() {
    if (TfrmSplash* splash = program.splash()) {
        new SplashWindow(*splash);  // deletes itself when the splash ends
        QApplication::processEvents();
    }
    program.start();
    mainWindow = std::make_unique<MainWindow>(*program.frmMain());
    retrievingWindow = std::make_unique<RetrievingWindow>(*program.frmRetrieving(), mainWindow.get());
    tray.setMainWindow(mainWindow.get());
    tray.setMenu(mainWindow->trayMenu());
    tray.onMenuAboutToShow = [this] { program.frmMain()->popTrayPopup(); };
    mainWindow->hidesWhenMinimised = [this] { return tray.active() && QtTrayIcon::available(); };
}

namespace {

// A session's end or `kill` asks the program to quit: it closes as through
// its exit button (QUIT to an open session, the settings saved) instead of
// dying with them unsaved. The handler only writes to a pipe the event loop
// watches.
int terminationPipe[2] = {-1, -1};

void onTerminationSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(terminationPipe[1], &byte, 1);
}

void closeOnTerminationSignals(QWidget* mainWindow) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, terminationPipe) != 0) return;
    auto* notifier = new QSocketNotifier(terminationPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, mainWindow, [mainWindow] {
        char byte;
        [[maybe_unused]] const ssize_t ignored = ::read(terminationPipe[0], &byte, 1);
        mainWindow->close();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}

}  // namespace

Desktop::Folders defaultFolders() {
    const std::string exeFolder = QCoreApplication::applicationDirPath().toStdString();
    const std::string folder = programFolderOf(exeFolder, defaultUserDataFolder());
    // A build has no installed data beside it: it takes the source tree's.
    if (runningFromBuildTree()) seedProgramFolder(folder, QUORVEL_SOURCE_DATA);
    return {folder, defaultSettingsFolder()};
}

int runQuorvel(int argc, char** argv, const RunOptions& options) {
    QuorvelApplication app(argc, argv);
    app.setWindowIcon(programIcon());

    SingleInstance guard(options.instanceName);
    if (!guard.acquire()) return 0;  // the running instance comes forward instead

    Desktop::Folders folders;
    try {
        folders = defaultFolders();  // fails without a home folder
    } catch (const std::exception& error) {
        QuorvelApplication::reportError(fromBytes(error.what()));
        return 1;
    }
    Desktop desktop(folders);
    // The start at log-in: the program comes up in the notification area.
    desktop.program.trayAtStart = app.arguments().contains("--tray");
    try {
        desktop.start();
    } catch (const std::exception& error) {
        QuorvelApplication::reportError(fromBytes(error.what()));
        return 1;
    }
    guard.onActivationRequest = [&desktop] { desktop.tray.showApplication(); };
    closeOnTerminationSignals(desktop.mainWindow.get());
    QObject::connect(&app, &QApplication::aboutToQuit, [&desktop] {
        try {
            desktop.program.shutdown();
        } catch (const std::exception& error) {
            QuorvelApplication::reportError(fromBytes(error.what()));
        }
    });

    if (options.onShownThenQuit) {
        // Polls until the window is mapped: start-up ends when the user sees it.
        auto* poll = new QTimer(&app);
        QObject::connect(poll, &QTimer::timeout, [&] {
            if (desktop.mainWindow->isVisible() && desktop.mainWindow->windowHandle() &&
                desktop.mainWindow->windowHandle()->isExposed()) {
                poll->stop();
                options.onShownThenQuit();
                app.quit();
            }
        });
        poll->start(1);
    }
    return app.exec();
}

}  // namespace quorvel::ui
