#pragma once

#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/message_list.h"
#include "classify/classification.h"
#include "cli/arguments.h"
#include "cli/headless_platform.h"
#include "platform/secret_store.h"
#include "config/account_secrets.h"
#include "config/known_list.h"
#include "platform/platform.h"

namespace quorvel {
class ActivityLog;
class TfrmGeneral;
class TfrmOptionsMain;
class SettingsStore;
class TmsRemotePOP;
}  // namespace quorvel

namespace quorvel::cli {

// Exit statuses, as --help and the manual page list them.
enum ExitCode : int {
    kNothingMarked = 0,
    kMarkedFound = 1,
    kUsage = 2,
    kProfile = 3,
    kInputFile = 4,
    kMailServer = 5,
    kMailboxInUse = 6,
};

// A failure with the one line the user reads and the status it ends with.
class ToolError : public std::runtime_error {
public:
    ToolError(int code, const std::string& message) : std::runtime_error(message), code(code) {}
    int code;
};

// Where the tool writes: results to `out`, errors and progress to `err`.
// Progress and colours only go to a terminal.
struct Console {
    std::ostream& out;
    std::ostream& err;
    bool outIsTerminal = false;
    bool errIsTerminal = false;
};

// What the tool needs of the system: the event loop, timers and clock of
// the platform, and the program and settings folders the window uses. The
// windows' services are replaced by headless ones.
struct ToolSystem {
    EventPump& pump;
    TimerFactory& timers;
    Clock& clock;
    std::string programFolder;
    std::string settingsFolder;
    // The desktop keyring; none where the tool runs without one.
    SecretStore* secrets = nullptr;
    // Refreshes OAuth 2.0 access tokens; it never opens a browser here.
    OAuthService* oauth = nullptr;
};

// quorvel-check: the checks of the main window without a window. It reads
// the window's profile and writes to it only what a check by the window
// writes: activity-log records, the rule hit counters and, after a
// deletion, the spam counter.
class CheckTool : public ClassificationHost {
public:
    CheckTool(ToolSystem system, Console console);
    ~CheckTool() override;

    // Runs one command line; returns the exit status. Never throws.
    int run(const std::vector<std::string>& words);
    int run(const Arguments& args);

    // Where the unknown-domain check asks instead of the DNS (tests).
    void setDomainResolver(DomainResolver* resolver) { resolverOverride_ = resolver; }

    // ClassificationHost.
    bool explaining() const override { return explaining_; }
    void whyAdd(bool del, const std::string& what, const std::string& op, const std::string& pattern,
                bool caseSensitive) override;
    void whyExcept(const std::string& what, const std::string& op, const std::string& pattern,
                   bool caseSensitive) override;
    int serverToIndex() override { return checking_; }

private:
    struct Profile;
    struct MailboxResult;

    int check(const Arguments& args);
    int why(const Arguments& args);
    int decode(const Arguments& args);
    int signIn(const Arguments& args);
    int learn(const Arguments& args);

    // Loads settings, accounts, rules and the known list; throws ToolError.
    void openProfile();
    std::vector<int> mailboxesToCheck(const Arguments& args);
    MailboxResult checkMailbox(int mailbox, const Arguments& args);
    // The lines of the Why command for row `index`, after its heading.
    std::vector<std::string> explain(MessageList& list, const TmsRemoteInfo& records, int index);
    void printRow(const Arguments& args, int mailbox, const TmsRemotePOP& client, const MessageRow& row, int number,
                  const std::vector<std::string>& why, bool deleted);
    void progress(int mailbox, int done, int total);
    void learnProgress(const std::string& text, bool force);
    void endProgress();
    std::string coloured(const std::string& text, int mark) const;
    int fail(const ToolError& error);

    ToolSystem system_;
    Console console_;
    HeadlessDialogs dialogs_;
    NoTrayIcon tray_;
    NoSound sound_;
    NoShell shell_;
    Platform platform_;
    // One prompt of a locked keyring for the whole run.
    std::unique_ptr<KeyringGuard> keyringGuard_;
    std::unique_ptr<SettingsStore> store_;
    std::unique_ptr<Profile> profile_;
    DomainResolver* resolverOverride_ = nullptr;
    bool explaining_ = false;
    bool explainException_ = false;
    std::vector<std::string> memo_;
    int checking_ = 0;
    bool progressShown_ = false;
    long long lastProgressMs_ = -1;
};

// The word for a mark in the listing: none, delete, question,
// known-spammer or exception.
std::string markName(int mark);

}  // namespace quorvel::cli
