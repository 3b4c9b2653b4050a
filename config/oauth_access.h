#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "config/password_cipher.h"
#include "config/settings_store.h"
#include "mail/pop3_client.h"
#include "platform/dialogs.h"
#include "platform/event_pump.h"
#include "platform/oauth.h"
#include "platform/secret_store.h"

namespace quorvel {

// The sign-in choice of mailbox n (1 to 12). An account stored before the
// choice existed has only its APOP box, which keeps its meaning.
TmsSignIn readSignIn(SettingsStore& store, int mailbox);
// Writes the choice, and the APOP box beside it so that an older version
// still reads what it can of it.
void writeSignIn(SettingsStore& store, int mailbox, TmsSignIn signIn);

// The preset of the provider `name`; "Other", with nothing filled in, for a
// name that is none of them.
OAuthProvider oauthPreset(const std::string& name);

// A mailbox's OAuth 2.0 settings, kept in the settings' Server section.
struct OAuthSettings {
    // The end points and scope come from the preset for Microsoft and
    // Google, and as typed in for "Other".
    OAuthProvider provider = oauthPreset("Microsoft");
    // When set, the user's own token helper gives the access token instead.
    std::string tokenCommand;

    static OAuthSettings read(SettingsStore& store, int mailbox);
    void write(SettingsStore& store, int mailbox) const;
};

// Whose token a token is: server, user, provider and client. A refresh or
// access token is used only for the account it was issued for.
std::string oauthAccountOf(const OAuthProvider& provider, const std::string& server, const std::string& user);

// The token command could not give a token; the text says why in plain words.
class ETokenCommand : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Splits a command line into the program and its arguments as a shell
// would for plain words: blanks separate, '...' keeps everything, "..."
// keeps everything but a backslash before " \ $ or `, and a backslash
// outside quotes keeps the next character. Nothing else of a shell applies.
// Throws ETokenCommand for an unmatched quote or an empty line.
std::vector<std::string> splitCommandLine(const std::string& line);

// Runs the token command without a shell and returns its first output
// line, the access token. The command gets no input and `limit` to finish;
// a command that does not end in time is killed, and so is one still running
// when `*stop` is set (checked whenever the pump's wait returns). A failure (not started,
// a non-zero exit, no token) throws ETokenCommand naming the cause and the
// first line of what the command wrote to its error output.
std::string runTokenCommand(const std::string& line, EventPump& pump, std::chrono::milliseconds limit,
                            const bool* stop = nullptr);

// How much of the command's output is read: an access token fits in the
// first line with room to spare, and an error line is summarized.
inline constexpr std::size_t kMaxTokenLine = 16 * 1024;
inline constexpr std::size_t kMaxCommandOutput = 1024 * 1024;
inline constexpr std::size_t kMaxCommandErrorLine = 200;
inline constexpr std::chrono::seconds kTokenCommandLimit{30};

// Access tokens for the mailboxes that sign in with OAuth 2.0: from the
// token command when one is set, otherwise by refreshing the stored refresh
// token with the provider. A token is kept in memory until shortly before
// it expires. A refused refresh asks the user to sign in again when
// `dialogs` is set (a window); without it the EOAuthError goes to the
// caller as it is.
class OAuthAccess {
public:
    struct Services {
        SettingsStore& store;
        TPasswordCipher& cipher;
        SecretStore* keyring;
        OAuthService* oauth;
        EventPump& pump;
        Dialogs* dialogs;  // none: nobody is there to sign in
    };
    explicit OAuthAccess(Services services);

    // A token counts as expired this long before its end.
    static constexpr std::int64_t kExpiryMargin = 60;

    // The access token of `mailbox` for `user`; `renew` after the server
    // refused the last one. Throws EOAuthError, ETokenCommand, or
    // SecretUnavailable when the keyring keeps the refresh token but does not give it.
    std::string accessToken(int mailbox, const std::string& user, bool renew);

    // Signs in with the provider in the browser and keeps the refresh token
    // (in the keyring when `useKeyring` and one answers, enciphered in the
    // settings file otherwise). Returns the tokens; throws EOAuthError.
    OAuthTokens signIn(int mailbox, const OAuthProvider& provider, const std::string& user,
                       const std::string& server, bool useKeyring);

    // The same for a machine without a browser (the device grant): `show`
    // gets the address to open elsewhere and the code to enter there.
    // Returns whether the keyring keeps the refresh token.
    bool signInOnDevice(int mailbox, const OAuthProvider& provider, const std::string& user,
                        const std::string& server, bool useKeyring,
                        const std::function<void(const std::string& address, const std::string& code)>& show);

    // Ends a call to the provider in progress (the check's Cancel, run
    // inside its wait), which then throws EOAuthError, or stops the token
    // command, which throws ETokenCommand; nothing otherwise.
    void cancel();

    // Forgets the tokens kept in memory (settings changed).
    void forget() { cache_.clear(); }

    // Whether someone is at the window now; when it says no, a refused
    // refresh is not asked about (an automatic check from the tray).
    std::function<bool()> attended;

    // Told while a sign-in in the browser is awaited during a check (true)
    // and when it ended (false), for the progress to say so.
    std::function<void(bool waiting)> onBrowserWait;
    static constexpr const char* kBrowserWaitText =
        "Waiting for the browser: sign in at the provider's page that opened there";

    // Seconds since the epoch; tests set their own.
    std::function<std::int64_t()> now;
    std::chrono::milliseconds commandLimit = kTokenCommandLimit;

private:
    std::string refreshed(int mailbox, const OAuthSettings& settings, const std::string& user);
    // Returns whether the keyring keeps it.
    // Keeps `token` and the account it was issued for beside it.
    bool keepRefreshToken(int mailbox, const std::string& token, const std::string& account, const std::string& user,
                          const std::string& server, bool useKeyring);
    OAuthTokens keepSignIn(int mailbox, const OAuthProvider& provider, const OAuthTokens& tokens,
                           const std::string& user, const std::string& server, bool useKeyring, bool& inKeyring);

    // Calls the provider with the service; `calling_` counts those in progress.
    template <typename Call>
    OAuthTokens calling(Call&& call);

    Services services_;
    int calling_ = 0;
    bool commandRunning_ = false, stopCommand_ = false;
    struct Cached {
        OAuthTokens tokens;
        std::string account;  // whose token: oauthAccountOf
    };
    std::map<int, Cached> cache_;
};

}  // namespace quorvel
