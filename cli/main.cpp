// quorvel-check: the headless companion of the Quorvel window.
#include <unistd.h>

#include <QCoreApplication>
#include <iostream>
#include <string>
#include <vector>

#include "app/program_folder.h"
#include "cli/check_tool.h"
#include "keyring/secret_service_store.h"
#include "oauth/qt_oauth_service.h"
#include "platform/poll_event_loop.h"
#include "ui/qt_clock.h"

int main(int argc, char** argv) {
    // Only for the locale and the executable's folder; the event loop is the
    // plain one, as nothing here draws.
    QCoreApplication app(argc, argv);
    std::vector<std::string> words(argv + 1, argv + argc);
    quorvel::PollEventLoop loop;
    quorvel::ui::QtClock clock;
    // The window's program folder, chosen as the window chooses it (its
    // learned model, listing caches and rules live there): the executable's
    // own for a build, the user's data folder for an installed program.
    // Nothing is created or seeded here.
    const std::string exeFolder = QCoreApplication::applicationDirPath().toStdString();
    const std::string programFolder = quorvel::chooseProgramFolder(exeFolder, quorvel::defaultUserDataFolder());
    // The window's keyring items; a cron job has no session bus, and only the
    // passwords still in the settings file reach it.
    const std::string settingsFolder = quorvel::defaultSettingsFolder();
    quorvel::SecretServiceStore keyring(settingsFolder);
    // No browser: a sign-in is renewed with the stored refresh token, or
    // made anew with the device grant.
    quorvel::QtOAuthService oauth(nullptr);
    quorvel::cli::CheckTool tool({loop, loop, clock, programFolder, settingsFolder, &keyring, &oauth},
                                 {std::cout, std::cerr, isatty(STDOUT_FILENO) == 1, isatty(STDERR_FILENO) == 1});
    return tool.run(words);
}
