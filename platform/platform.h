#pragma once

#include <string>

#include "platform/clock.h"
#include "platform/desktop.h"
#include "platform/dial_up.h"
#include "platform/dialogs.h"
#include "platform/event_pump.h"
#include "platform/oauth.h"
#include "platform/secret_store.h"
#include "platform/timer.h"

namespace quorvel {

// Everything the core needs from the desktop, handed to each logic object.
// The toolkit fills it with real services, tests with doubles.
struct Platform {
    EventPump& pump;
    TimerFactory& timers;
    Clock& clock;
    Dialogs& dialogs;
    TrayIcon& tray;
    Sound& sound;
    Shell& shell;
    // The folder of the rule files, quorvel.ini, known.lst, the default log and
    // saved messages (see program_folder.h).
    std::string programFolder;
    // The folder of the settings store's file.
    std::string settingsFolder;
    // The user's configuration folder, where the desktop looks for programs
    // to start at log-in, and the program's own executable. Empty where the
    // program cannot be started at log-in.
    std::string configHome = {};
    std::string executable = {};
    // The system's dial-up service; none where the system has none.
    DialUpLibrary* dialUp = nullptr;
    // The desktop keyring; none where no keyring answers (the settings store
    // then keeps the secrets, enciphered).
    SecretStore* secrets = nullptr;
    // OAuth 2.0 sign-in with providers; none where the program cannot reach
    // a browser or the network library is missing.
    OAuthService* oauth = nullptr;
};

}  // namespace quorvel
