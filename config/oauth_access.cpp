#include "config/oauth_access.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "config/account_secrets.h"

extern char** environ;

namespace quorvel {

namespace {

constexpr const char* kServer = "Server";

std::string numbered(const char* word, int n) {
    return word + std::to_string(n);
}

std::int64_t systemSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Outside text as one plain line: control characters become spaces, and it
// is cut to `max` octets.
std::string plainText(std::string_view text, std::size_t max) {
    std::string line;
    for (const char c : text) {
        if (line.size() >= max) {
            line += "...";
            break;
        }
        const auto u = static_cast<unsigned char>(c);
        line += u < 0x20 || u == 0x7F ? ' ' : c;
    }
    const auto end = line.find_last_not_of(' ');
    line.erase(end == std::string::npos ? 0 : end + 1);
    return line;
}

// RFC 6750's b64token: what a bearer token may hold.
bool isBearerToken(std::string_view token) {
    if (token.empty()) return false;
    std::size_t i = 0;
    for (; i < token.size(); ++i) {
        const char c = token[i];
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                           c == '-' || c == '.' || c == '_' || c == '~' || c == '+' || c == '/';
        if (!plain) break;
    }
    if (i == 0) return false;
    for (; i < token.size(); ++i)
        if (token[i] != '=') return false;
    return true;
}

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

}  // namespace

std::string oauthAccountOf(const OAuthProvider& provider, const std::string& server, const std::string& user) {
    return server + '\n' + user + '\n' + provider.name + '\n' + provider.tokenUrl + '\n' + provider.clientId;
}

namespace {

std::string accountName(int mailbox) {
    return numbered("OAuthAccount", mailbox);
}

}  // namespace

TmsSignIn readSignIn(SettingsStore& store, int mailbox) {
    const int stored = store.readInteger(kServer, numbered("SignIn", mailbox), -1);
    if (stored >= 0 && stored < static_cast<int>(kSignInNames.size())) return static_cast<TmsSignIn>(stored);
    return store.readBool(kServer, numbered("APOP", mailbox), false) ? TmsSignIn::APOP : TmsSignIn::Password;
}

void writeSignIn(SettingsStore& store, int mailbox, TmsSignIn signIn) {
    store.writeInteger(kServer, numbered("SignIn", mailbox), static_cast<int>(signIn));
    store.writeBool(kServer, numbered("APOP", mailbox), signIn == TmsSignIn::APOP);
}

OAuthProvider oauthPreset(const std::string& name) {
    const std::vector<OAuthProvider> presets = oauthPresets();
    for (const OAuthProvider& preset : presets)
        if (preset.name == name) return preset;
    return presets.back();
}

OAuthSettings OAuthSettings::read(SettingsStore& store, int mailbox) {
    OAuthSettings settings;
    settings.provider = oauthPreset(store.readString(kServer, numbered("OAuthProvider", mailbox), "Microsoft"));
    if (settings.provider.authorizationUrl.empty()) {
        settings.provider.authorizationUrl = store.readString(kServer, numbered("OAuthAuthorizeUrl", mailbox), "");
        settings.provider.tokenUrl = store.readString(kServer, numbered("OAuthTokenUrl", mailbox), "");
        settings.provider.scope = store.readString(kServer, numbered("OAuthScope", mailbox), "");
    }
    settings.provider.clientId = store.readString(kServer, numbered("OAuthClientId", mailbox), "");
    settings.provider.clientSecret = store.readString(kServer, numbered("OAuthClientSecret", mailbox), "");
    settings.tokenCommand = store.readString(kServer, numbered("OAuthCommand", mailbox), "");
    return settings;
}

void OAuthSettings::write(SettingsStore& store, int mailbox) const {
    store.writeString(kServer, numbered("OAuthProvider", mailbox), provider.name);
    // A preset's addresses are read from the preset, so a corrected one
    // reaches every profile; they are written for the reader of the file.
    store.writeString(kServer, numbered("OAuthAuthorizeUrl", mailbox), provider.authorizationUrl);
    store.writeString(kServer, numbered("OAuthTokenUrl", mailbox), provider.tokenUrl);
    store.writeString(kServer, numbered("OAuthScope", mailbox), provider.scope);
    store.writeString(kServer, numbered("OAuthClientId", mailbox), provider.clientId);
    store.writeString(kServer, numbered("OAuthClientSecret", mailbox), provider.clientSecret);
    store.writeString(kServer, numbered("OAuthCommand", mailbox), tokenCommand);
}

std::vector<std::string> splitCommandLine(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == ' ' || c == '\t') {
            if (inWord) words.push_back(std::move(word));
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == '\'') {
            const std::size_t close = line.find('\'', i + 1);
            if (close == std::string::npos) throw ETokenCommand("The token command has an unmatched quote (')");
            word.append(line, i + 1, close - i - 1);
            i = close;
        } else if (c == '"') {
            for (++i;; ++i) {
                if (i >= line.size()) throw ETokenCommand("The token command has an unmatched quote (\")");
                if (line[i] == '"') break;
                if (line[i] == '\\' && i + 1 < line.size() && std::strchr("\"\\$`", line[i + 1])) ++i;
                word += line[i];
            }
        } else if (c == '\\' && i + 1 < line.size()) {
            word += line[++i];
        } else {
            word += c;
        }
    }
    if (inWord) words.push_back(std::move(word));
    if (words.empty()) throw ETokenCommand("The token command is empty");
    return words;
}

std::string runTokenCommand(const std::string& line, EventPump& pump, std::chrono::milliseconds limit,
                            const bool* stop) {
    const std::vector<std::string> words = splitCommandLine(line);
    const std::string program = plainText(words.front(), 100);
    std::vector<char*> argv;
    for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);

    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0) throw ETokenCommand("The token command could not be started: no pipe");
    Fd outRead(out[0]), outWrite(out[1]);
    if (::pipe2(err, O_CLOEXEC) != 0) throw ETokenCommand("The token command could not be started: no pipe");
    Fd errRead(err[0]), errWrite(err[1]);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    // Its own process group, so that a stop ends whatever it started too.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // A program that ignores SIGPIPE (this one) passes that on through exec;
    // the helper gets the default, as from a shell.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t pid = -1;
    const int spawned = ::posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw ETokenCommand("The token command " + program + " could not be started: " + std::strerror(spawned));
    outWrite.reset();
    errWrite.reset();

    const auto deadline = std::chrono::steady_clock::now() + limit;
    const auto remaining = [&] {
        return std::max(std::chrono::milliseconds(0), std::chrono::duration_cast<std::chrono::milliseconds>(
                                                          deadline - std::chrono::steady_clock::now()));
    };
    // Reads `fd` to its end, keeping the first `keep` octets; false when the
    // time ran out first or the command wrote more than a helper would.
    bool tooMuch = false;
    bool stopped = false;
    const auto stopping = [&] { return stopped = stopped || (stop && *stop); };
    const auto drain = [&](int fd, std::string& kept, std::size_t keep) {
        std::size_t total = 0;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n == 0) return true;
            if (n > 0) {
                total += static_cast<std::size_t>(n);
                if (kept.size() < keep) kept.append(buffer, std::min(static_cast<std::size_t>(n), keep - kept.size()));
                // A command that talks without end is not a token helper.
                if (total > kMaxCommandOutput) {
                    tooMuch = true;
                    return false;
                }
                continue;
            }
            if (errno == EINTR) continue;
            if (errno != EAGAIN) return true;
            if (remaining().count() == 0 || stopping()) return false;
            pump.wait(fd, EventPump::Readable, remaining());
        }
    };
    ::fcntl(outRead.get(), F_SETFL, O_NONBLOCK);
    ::fcntl(errRead.get(), F_SETFL, O_NONBLOCK);
    std::string output, errors;
    // The error output waits in its pipe while the output is read.
    bool finished = drain(outRead.get(), output, kMaxTokenLine + 2) && drain(errRead.get(), errors, 4096);
    int status = 0;
    if (finished) {
        // Its pipes are closed: the command is ending. A pidfd makes the
        // wait one the event loop can hold.
        Fd exited(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
        for (;;) {
            const pid_t done = ::waitpid(pid, &status, WNOHANG);
            if (done == pid) break;
            if (done < 0 && errno != EINTR) break;
            if (remaining().count() == 0 || stopping()) {
                finished = false;
                break;
            }
            if (exited.get() >= 0)
                pump.wait(exited.get(), EventPump::Readable, remaining());
            else
                pump.wait(-1, 0, std::min(remaining(), std::chrono::milliseconds(20)));
        }
    }
    if (!finished) {
        ::kill(-pid, SIGKILL);
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (stopped) throw ETokenCommand("The token command " + program + " was canceled; it was stopped");
        if (tooMuch)
            throw ETokenCommand("The token command " + program + " wrote more than " +
                                std::to_string(kMaxCommandOutput) + " octets; it was stopped");
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(limit).count();
        throw ETokenCommand("The token command " + program + " did not finish within " + std::to_string(seconds) +
                            (seconds == 1 ? " second" : " seconds") + "; it was stopped");
    }
    const std::string said = plainText(errors.substr(0, errors.find('\n')), kMaxCommandErrorLine);
    const std::string saying = said.empty() ? std::string() : ". It said: " + said;
    if (WIFSIGNALED(status))
        throw ETokenCommand("The token command " + program + " was ended by signal " +
                            std::to_string(WTERMSIG(status)) + saying);
    if (WEXITSTATUS(status) != 0)
        throw ETokenCommand("The token command " + program + " failed with exit status " +
                            std::to_string(WEXITSTATUS(status)) + saying);
    const std::size_t end = output.find('\n');
    if ((end == std::string::npos ? output.size() : end) > kMaxTokenLine)
        throw ETokenCommand("The token command " + program + " gave a first line longer than " +
                            std::to_string(kMaxTokenLine) + " octets");
    std::string token = output.substr(0, end);
    while (!token.empty() && (token.back() == '\r' || token.back() == ' ' || token.back() == '\t')) token.pop_back();
    token.erase(0, token.find_first_not_of(" \t"));
    if (token.empty()) throw ETokenCommand("The token command " + program + " gave no token" + saying);
    if (!isBearerToken(token))
        throw ETokenCommand("The token command " + program + " gave a first line that is not an access token");
    return token;
}

OAuthAccess::OAuthAccess(Services services) : now(systemSeconds), services_(services) {}

template <typename Call>
OAuthTokens OAuthAccess::calling(Call&& call) {
    struct Count {
        int& calls;
        explicit Count(int& c) : calls(c) { ++calls; }
        ~Count() { --calls; }
    } count(calling_);
    return call();
}

void OAuthAccess::cancel() {
    if (calling_ > 0 && services_.oauth) services_.oauth->cancel();
    if (commandRunning_) {
        stopCommand_ = true;
        services_.pump.wake();
    }
}

std::string OAuthAccess::accessToken(int mailbox, const std::string& user, bool renew) {
    const OAuthSettings settings = OAuthSettings::read(services_.store, mailbox);
    if (!settings.tokenCommand.empty()) {
        struct Running {
            OAuthAccess& access;
            explicit Running(OAuthAccess& a) : access(a) {
                access.commandRunning_ = true;
                access.stopCommand_ = false;
            }
            ~Running() { access.commandRunning_ = false; }
        } running(*this);
        return runTokenCommand(settings.tokenCommand, services_.pump, commandLimit, &stopCommand_);
    }
    const std::string server = services_.store.readString(kServer, numbered("Server", mailbox), "");
    const auto cached = cache_.find(mailbox);
    if (!renew && cached != cache_.end() && cached->second.account == oauthAccountOf(settings.provider, server, user) &&
        (cached->second.tokens.expiresAt == 0 || now() < cached->second.tokens.expiresAt - kExpiryMargin))
        return cached->second.tokens.accessToken;
    cache_.erase(mailbox);
    try {
        return refreshed(mailbox, settings, user);
    } catch (const EOAuthError& error) {
        if (!error.signInAgain || !services_.dialogs || !services_.oauth || (attended && !attended())) throw;
        const std::string question = "Mailbox " + std::to_string(mailbox) + ": " + error.what() +
                                     "\n\nSign in with " + providerName(settings.provider) + " again now?";
        if (services_.dialogs->messageBox(MessageKind::Confirmation, question, MessageButtons::YesNo) !=
            ModalResult::Yes)
            throw;
        struct Waiting {
            const std::function<void(bool)>& tell;
            explicit Waiting(const std::function<void(bool)>& t) : tell(t) {
                if (tell) tell(true);
            }
            ~Waiting() {
                if (tell) tell(false);
            }
        } waiting(onBrowserWait);
        return signIn(mailbox, settings.provider, user, server, services_.store.readBool(kServer, "Keyring", true))
            .accessToken;
    }
}

std::string OAuthAccess::refreshed(int mailbox, const OAuthSettings& settings, const std::string& user) {
    const std::string n = std::to_string(mailbox);
    if (!services_.oauth)
        throw EOAuthError("OAuth 2.0 sign-in is not available here; set a token command for mailbox " + n +
                              " instead",
                          false);
    AccountSecrets secrets(services_.store, services_.cipher, services_.keyring);
    AccountSecrets::Password stored = secrets.read(mailbox, true, SecretKind::RefreshToken);
    struct Wiped {
        std::string& secret;
        ~Wiped() { wipe(secret); }
    } wiped{stored.text};
    // The same failure as a password's: the keyring, not the provider.
    if (stored.status == SecretStatus::Locked || stored.status == SecretStatus::Unavailable ||
        stored.status == SecretStatus::Failed)
        throw SecretUnavailable(mailbox, stored.status, SecretKind::RefreshToken);
    if (stored.status != SecretStatus::Ok || stored.text.empty())
        throw EOAuthError("Mailbox " + n + " has not signed in with " + providerName(settings.provider) + " yet", true);
    const std::string server = services_.store.readString(kServer, numbered("Server", mailbox), "");
    const std::string account = oauthAccountOf(settings.provider, server, user);
    // A token is only ever sent for the account it was issued to; one kept
    // before its account was noted is taken as it is.
    const std::string issuedFor = services_.store.readString(kServer, accountName(mailbox), "");
    if (!issuedFor.empty() && issuedFor != account)
        throw EOAuthError("The sign-in kept for mailbox " + n +
                              " was made for another account (its server, user name, provider or client ID "
                              "changed); sign in again",
                          true);
    OAuthTokens tokens = calling([&] { return services_.oauth->refresh(settings.provider, stored.text); });
    if (!tokens.refreshToken.empty() && tokens.refreshToken != stored.text)
        keepRefreshToken(mailbox, tokens.refreshToken, account, user, server,
                         stored.inKeyring || services_.store.readBool(kServer, "Keyring", true));
    wipe(tokens.refreshToken);
    cache_[mailbox] = {tokens, account};
    return tokens.accessToken;
}

OAuthTokens OAuthAccess::signIn(int mailbox, const OAuthProvider& provider, const std::string& user,
                                const std::string& server, bool useKeyring) {
    if (!services_.oauth) throw EOAuthError("OAuth 2.0 sign-in is not available here", false);
    bool inKeyring = false;
    return keepSignIn(mailbox, provider, calling([&] { return services_.oauth->authorize(provider, user); }), user,
                      server, useKeyring, inKeyring);
}

bool OAuthAccess::signInOnDevice(int mailbox, const OAuthProvider& provider, const std::string& user,
                                 const std::string& server, bool useKeyring,
                                 const std::function<void(const std::string&, const std::string&)>& show) {
    if (!services_.oauth) throw EOAuthError("OAuth 2.0 sign-in is not available here", false);
    bool inKeyring = false;
    keepSignIn(mailbox, provider, calling([&] { return services_.oauth->authorizeDevice(provider, show); }), user,
               server, useKeyring, inKeyring);
    return inKeyring;
}

OAuthTokens OAuthAccess::keepSignIn(int mailbox, const OAuthProvider& provider, const OAuthTokens& tokens,
                                    const std::string& user, const std::string& server, bool useKeyring,
                                    bool& inKeyring) {
    if (tokens.refreshToken.empty())
        throw EOAuthError(providerName(provider) + " gave no refresh token, so Quorvel could not check this mailbox later; "
                                          "check that the scope asks for offline access",
                          false);
    const std::string account = oauthAccountOf(provider, server, user);
    inKeyring = keepRefreshToken(mailbox, tokens.refreshToken, account, user, server, useKeyring);
    OAuthTokens kept = tokens;
    kept.refreshToken.clear();
    cache_[mailbox] = {kept, account};
    return tokens;
}

bool OAuthAccess::keepRefreshToken(int mailbox, const std::string& token, const std::string& account,
                                   const std::string& user, const std::string& server, bool useKeyring) {
    const bool inKeyring = AccountSecrets(services_.store, services_.cipher, services_.keyring)
                               .keep(mailbox, secretLabel(mailbox, SecretKind::RefreshToken, user, server), token,
                                     useKeyring, SecretKind::RefreshToken);
    services_.store.writeString(kServer, accountName(mailbox), account);
    return inKeyring;
}

}  // namespace quorvel
