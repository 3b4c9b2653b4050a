#pragma once

#include <QApplication>
#include <memory>

#include "app/program.h"
#include "ui/main_window.h"
#include "ui/network_manager_dial_up.h"
#include "keyring/secret_service_store.h"
#include "oauth/qt_oauth_service.h"
#include "ui/qt_platform.h"

namespace quorvel::ui {

// The one place where an exception that no handler caught becomes the
// application's error report: a message box with the text and an error icon.
class QuorvelApplication : public QApplication {
public:
    QuorvelApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
    static void reportError(const QString& text);
};

// The real platform services, and the program and its windows on them.
class Desktop {
public:
    struct Folders {
        std::string program;
        std::string settings;
    };
    explicit Desktop(const Folders& folders);
    ~Desktop();

    // Creates the windows in their order, showing the splash first.
    void start();

    QtEventPump pump;
    QtTimers timers;
    QtClock clock;
    QtDialogs dialogs;
    QtTrayIcon tray;
    QtSound sound;
    QtShell shell;
    std::unique_ptr<NetworkManagerDialUp> dialUp;
    SecretServiceStore keyring;
    QtOAuthService oauth;
    Platform platform;
    Program program;
    std::unique_ptr<MainWindow> mainWindow;
    std::unique_ptr<QDialog> retrievingWindow;
};

// The folders a real start uses: the program folder (seeded with the shipped
// data on first use) and the settings folder.
Desktop::Folders defaultFolders();

struct RunOptions {
    // Called once the main window is on screen, after which the program ends
    // (the start-up benchmark).
    std::function<void()> onShownThenQuit;
    QString instanceName = "quorvel";
};

int runQuorvel(int argc, char** argv, const RunOptions& options = {});

}  // namespace quorvel::ui
