// The sign-in choice as the settings keep it, the token command and the
// access tokens refreshed with a scripted provider.
#include "config/oauth_access.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>

#include "config/account_secrets.h"
#include "platform/files.h"
#include "support/fake_oauth_service.h"
#include "support/fake_platform.h"
#include "support/memory_secret_store.h"

namespace quorvel {
namespace {

using namespace std::chrono_literals;
using testing::FakeOAuthService;
using testing::MemorySecretStore;

TEST(SignInChoice, AMissingChoiceReadsTheOldApopBoxAndTheBoxIsStillWritten) {
    testing::TempFolder folder;
    SettingsStore store(folder.path());
    const struct {
        const char* signIn;  // nullptr: an account stored before the choice
        const char* apop;
        TmsSignIn read;
    } cases[] = {
        {nullptr, nullptr, TmsSignIn::Password}, {nullptr, "1", TmsSignIn::APOP},   {nullptr, "0", TmsSignIn::Password},
        {"0", "1", TmsSignIn::Password},         {"1", "0", TmsSignIn::APOP},       {"2", "1", TmsSignIn::OAuth2},
        {"3", "1", TmsSignIn::APOP},             {"-1", "0", TmsSignIn::Password},  {"x", "1", TmsSignIn::APOP},
    };
    int n = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.signIn ? c.signIn : "none") + "/" + (c.apop ? c.apop : "none"));
        const std::string number = std::to_string(n);
        if (c.signIn) store.writeString("Server", "SignIn" + number, c.signIn);
        if (c.apop) store.writeString("Server", "APOP" + number, c.apop);
        EXPECT_EQ(readSignIn(store, n), c.read);
        ++n;
    }
    // What an older version reads: the APOP box follows the choice.
    for (const TmsSignIn choice : {TmsSignIn::APOP, TmsSignIn::OAuth2, TmsSignIn::Password}) {
        writeSignIn(store, 1, choice);
        EXPECT_EQ(readSignIn(store, 1), choice);
        EXPECT_EQ(store.readBool("Server", "APOP1", false), choice == TmsSignIn::APOP);
    }
}

TEST(OAuthSettingsStore, PresetsComeFromTheProgramAndOtherAsTypedIn) {
    testing::TempFolder folder;
    SettingsStore store(folder.path());
    OAuthSettings google;
    google.provider = oauthPreset("Google");
    google.provider.clientId = "id-g";
    google.provider.clientSecret = "not-secret";
    google.write(store, 1);
    // An address edited in the file does not override the preset.
    store.writeString("Server", "OAuthTokenUrl1", "http://127.0.0.1:1/elsewhere");
    OAuthSettings other;
    other.provider = oauthPreset("Other");
    other.provider.authorizationUrl = "https://id.example.test/auth";
    other.provider.tokenUrl = "https://id.example.test/token";
    other.provider.scope = "pop";
    other.provider.clientId = "id-o";
    other.tokenCommand = "helper --get 'a b'";
    other.write(store, 2);

    const OAuthSettings g = OAuthSettings::read(store, 1);
    EXPECT_EQ(g.provider.name, "Google");
    EXPECT_EQ(g.provider.tokenUrl, oauthPreset("Google").tokenUrl);
    EXPECT_EQ(g.provider.clientId, "id-g");
    EXPECT_EQ(g.provider.clientSecret, "not-secret");
    const OAuthSettings o = OAuthSettings::read(store, 2);
    EXPECT_EQ(o.provider.name, "Other");
    EXPECT_EQ(o.provider.authorizationUrl, "https://id.example.test/auth");
    EXPECT_EQ(o.provider.tokenUrl, "https://id.example.test/token");
    EXPECT_EQ(o.provider.scope, "pop");
    EXPECT_EQ(o.tokenCommand, "helper --get 'a b'");
    // Nothing stored: Microsoft, without a client ID.
    EXPECT_EQ(OAuthSettings::read(store, 3).provider.name, "Microsoft");
    EXPECT_EQ(OAuthSettings::read(store, 3).provider.clientId, "");
}

TEST(TokenCommand, TheLineIsSplitLikePlainShellWords) {
    const struct {
        const char* line;
        std::vector<std::string> words;
    } cases[] = {
        {"helper", {"helper"}},
        {"  helper   get\ttoken ", {"helper", "get", "token"}},
        {"helper 'two words' \"and three words\"", {"helper", "two words", "and three words"}},
        {"helper 'it''s' \"say \\\"hi\\\"\" a\\ b", {"helper", "its", "say \"hi\"", "a b"}},
        {"helper '$HOME' \"$HOME\" ;rm *", {"helper", "$HOME", "$HOME", ";rm", "*"}},
        {"helper \"back\\slash\" '' x", {"helper", "back\\slash", "", "x"}},
        {"oauth2l fetch --scope=\"https://mail.google.com/\"", {"oauth2l", "fetch", "--scope=https://mail.google.com/"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(splitCommandLine(c.line), c.words);
    }
    for (const char* bad : {"", "   ", "helper 'open", "helper \"open", "helper \"a\\\""}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(splitCommandLine(bad), ETokenCommand);
    }
}

class TokenCommandRun : public ::testing::Test {
protected:
    PollEventLoop loop;
    // The command's outcome: the token, or the error's text.
    std::string run(const std::string& line, std::chrono::milliseconds limit = 5s) {
        try {
            return "token " + runTokenCommand(line, loop, limit);
        } catch (const ETokenCommand& error) {
            return error.what();
        }
    }
};

TEST_F(TokenCommandRun, TheFirstLineIsTheTokenAndEveryFailureIsToldInPlainWords) {
    const struct {
        const char* line;
        std::string outcome;
    } cases[] = {
        {"printf '%s\\n' 'ya29.a0-tok_en~/+==' second-line", "token ya29.a0-tok_en~/+=="},
        {"printf 'tok\\r\\n'", "token tok"},
        {"printf tok", "token tok"},
        // Quoted arguments reach the program as one word each, no shell between.
        {"sh -c 'test \"$1\" = \"a b\" && test \"$2\" = \"c;d\" && echo ok' sh 'a b' \"c;d\"", "token ok"},
        {"true", "The token command true gave no token"},
        {"printf '\\n\\nlater'", "The token command printf gave no token"},
        {"sh -c 'echo \"not allowed\"'", "The token command sh gave a first line that is not an access token"},
        {"sh -c 'echo \"no such account\x1b[31m\" >&2; exit 3'",
         "The token command sh failed with exit status 3. It said: no such account [31m"},
        {"sh -c 'kill -TERM $$'", "The token command sh was ended by signal 15"},
        {"/nonexistent/token-helper", "The token command /nonexistent/token-helper could not be started: No such file "
                                      "or directory"},
        {"'", "The token command has an unmatched quote (')"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(run(c.line), c.outcome);
    }
}

TEST_F(TokenCommandRun, AFirstLineIsReadUpToItsBound) {
    for (const std::size_t length : {kMaxTokenLine - 1, kMaxTokenLine, kMaxTokenLine + 1, 4 * kMaxTokenLine}) {
        SCOPED_TRACE(length);
        const std::string line =
            "sh -c 'head -c " + std::to_string(length) + " /dev/zero | tr \"\\000\" a; echo; echo second'";
        const std::string outcome = run(line);
        if (length <= kMaxTokenLine)
            EXPECT_TRUE(outcome == "token " + std::string(length, 'a')) << outcome.substr(0, 80);
        else
            EXPECT_EQ(outcome, "The token command sh gave a first line longer than 16384 octets");
    }
}

TEST_F(TokenCommandRun, AllOutputIsReadUpToItsBound) {
    for (const std::size_t total : {kMaxCommandOutput - 1, kMaxCommandOutput, kMaxCommandOutput + 1,
                                    4 * kMaxCommandOutput}) {
        SCOPED_TRACE(total);
        // "tok\n" and then filler lines, `total` octets in all.
        const std::string line = "sh -c 'echo tok; head -c " + std::to_string(total - 4) + " /dev/zero'";
        EXPECT_EQ(run(line), total <= kMaxCommandOutput
                                 ? "token tok"
                                 : "The token command sh wrote more than 1048576 octets; it was stopped");
    }
}

TEST_F(TokenCommandRun, TheErrorLineIsCutAtItsBound) {
    for (const std::size_t length : {kMaxCommandErrorLine - 1, kMaxCommandErrorLine, kMaxCommandErrorLine + 1,
                                     4 * kMaxCommandErrorLine}) {
        SCOPED_TRACE(length);
        const std::string said(length, 'e');
        const std::string outcome = run("sh -c 'echo " + said + " >&2; exit 2'");
        const std::string shown = length <= kMaxCommandErrorLine ? said : said.substr(0, kMaxCommandErrorLine) + "...";
        EXPECT_EQ(outcome, "The token command sh failed with exit status 2. It said: " + shown);
    }
}

TEST_F(TokenCommandRun, ACommandThatDoesNotEndInTimeIsStopped) {
    for (const char* line : {"sleep 30", "sh -c 'echo tok; exec sleep 30'", "sh -c 'yes tok'",
                             "sh -c 'sleep 30; echo late'"}) {
        SCOPED_TRACE(line);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(run(line, 1s).rfind("The token command ", 0), 0u);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    }
    EXPECT_EQ(run("sleep 30", 1s), "The token command sleep did not finish within 1 second; it was stopped");
    EXPECT_EQ(run("sh -c 'echo tok; exec sleep 30'", 2s),
              "The token command sh did not finish within 2 seconds; it was stopped");
    // Endless output is refused by its size, before the time is up.
    EXPECT_EQ(run("sh -c 'yes tok'", 30s), "The token command sh wrote more than 1048576 octets; it was stopped");
}

// Whether process `pid` still runs (a zombie waiting for its reaper does not).
bool running(pid_t pid) {
    const std::string stat = readFileBytes("/proc/" + std::to_string(pid) + "/stat").value_or("");
    const auto close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

// A stopped command takes what it started along: its whole process group.
TEST_F(TokenCommandRun, AStoppedCommandsChildrenAreStoppedToo) {
    testing::TempFolder folder;
    const std::string pids = folder.file("pids");
    bool stop = false;
    for (const bool timedOut : {true, false}) {
        SCOPED_TRACE(timedOut);
        std::remove(pids.c_str());
        const std::string line = "sh -c 'sleep 30 & echo $! >" + pids + "; sh -c \"sleep 30\" & echo $! >>" + pids +
                                 "; wait'";
        stop = false;
        // The user's Cancel, half a second in.
        const auto cancel = loop.createTimer([&] {
            stop = true;
            loop.wake();
        });
        cancel->setInterval(500);
        cancel->setEnabled(!timedOut);
        try {
            runTokenCommand(line, loop, timedOut ? 1s : 30s, &stop);
            ADD_FAILURE() << "not stopped";
        } catch (const ETokenCommand& error) {
            EXPECT_TRUE(std::string(error.what()).ends_with("; it was stopped")) << error.what();
        }
        cancel->setEnabled(false);
        std::vector<pid_t> children;
        std::istringstream listed(readFileBytes(pids).value_or(""));
        for (pid_t pid; listed >> pid;) children.push_back(pid);
        ASSERT_EQ(children.size(), 2u);
        for (const pid_t child : children) {
            for (int tries = 0; tries < 100 && running(child); ++tries) std::this_thread::sleep_for(10ms);
            EXPECT_FALSE(running(child)) << child;
        }
    }
}

// This program ignores SIGPIPE; a helper starts with the default, so that a
// pipeline in it ends as it would from a shell.
TEST_F(TokenCommandRun, TheCommandStartsWithSigpipeAtItsDefault) {
    struct sigaction ignore {}, before {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &before);
    // SigIgn of the helper's own status, as a token: bit 12 is SIGPIPE.
    const std::string outcome = run("sh -c 'grep SigIgn /proc/$$/status | tr -d \"\\t :\"'");
    sigaction(SIGPIPE, &before, nullptr);
    ASSERT_EQ(outcome.rfind("token SigIgn", 0), 0u) << outcome;
    const unsigned long long ignored = std::stoull(outcome.substr(12), nullptr, 16);
    EXPECT_EQ(ignored & (1ull << (SIGPIPE - 1)), 0u) << outcome;
}

class Access : public ::testing::Test {
protected:
    testing::FakePlatform fake;
    SettingsStore store{fake.platform.settingsFolder};
    TPasswordCipher cipher;
    MemorySecretStore keyring;
    FakeOAuthService provider;
    std::int64_t now = 1'000'000;

    Access() {
        cipher.Key = "qiro";
        store.writeString("Server", "Server1", "pop.test");
        store.writeString("Server", "Mailbox1", "joe@test");
        OAuthSettings settings;
        settings.provider = oauthPreset("Microsoft");
        settings.provider.clientId = "id";
        settings.write(store, 1);
        keyring.items[{1, SecretKind::RefreshToken}] = {"label", "refresh-1"};
    }
    OAuthAccess access(bool attended) {
        OAuthAccess result({store, cipher, &keyring, &provider, fake.loop, attended ? &fake.dialogs : nullptr});
        result.now = [this] { return now; };
        return result;
    }
    static OAuthTokens tokens(const std::string& access, std::int64_t expiresAt, const std::string& refresh = {}) {
        return {access, refresh, expiresAt};
    }
};

TEST_F(Access, ATokenIsKeptUntilShortlyBeforeItExpiresAndANewRefreshTokenIsKept) {
    OAuthAccess oauth = access(false);
    provider.refreshAnswers = {tokens("a1", now + 3600), tokens("a2", now + 7200, "refresh-2"), tokens("a3", 0)};
    EXPECT_EQ(oauth.accessToken(1, "joe@test", false), "a1");
    now += 3600 - OAuthAccess::kExpiryMargin - 1;
    EXPECT_EQ(oauth.accessToken(1, "joe@test", false), "a1");
    now += 1;
    EXPECT_EQ(oauth.accessToken(1, "joe@test", false), "a2");
    EXPECT_EQ(keyring.items.at({1, SecretKind::RefreshToken}).secret, "refresh-2");
    // A refused token is renewed at once, whatever its time.
    EXPECT_EQ(oauth.accessToken(1, "joe@test", true), "a3");
    EXPECT_EQ(provider.calls, (std::vector<std::string>{"refresh refresh-1", "refresh refresh-1", "refresh refresh-2"}));
    EXPECT_EQ(provider.providers.at(0).clientId, "id");
    EXPECT_EQ(provider.providers.at(0).tokenUrl, oauthPreset("Microsoft").tokenUrl);
}

// During a check, a refused refresh that the user answers with a new sign-in:
// while the browser is awaited the progress says so, and says it no longer
// once the sign-in ended, however it ended. "Other" is named by its address.
TEST_F(Access, TheProgressSaysWhileTheBrowserIsAwaited) {
    OAuthSettings other;
    other.provider = oauthPreset("Other");
    other.provider.authorizationUrl = "https://login.example.test:8443/authorize";
    other.provider.tokenUrl = "https://login.example.test:8443/token";
    other.provider.clientId = "id";
    other.write(store, 1);
    const EOAuthError refused("The provider refused the sign-in (invalid_grant)", true);
    for (const bool signedIn : {true, false}) {
        SCOPED_TRACE(signedIn);
        fake.dialogs.shown.clear();
        OAuthAccess oauth = access(true);
        std::vector<std::string> told;
        oauth.onBrowserWait = [&](bool waiting) { told.push_back(waiting ? "waiting" : "done"); };
        provider.refreshAnswers = {refused};
        provider.authorizeAnswers = {signedIn ? FakeOAuthService::Answer(tokens("new", now + 3600, "refresh-new"))
                                              : FakeOAuthService::Answer(EOAuthError("The sign-in was not completed "
                                                                                     "in the browser within 5 minutes",
                                                                                     false))};
        if (signedIn)
            EXPECT_EQ(oauth.accessToken(1, "joe@test", true), "new");
        else
            EXPECT_THROW(oauth.accessToken(1, "joe@test", true), EOAuthError);
        EXPECT_EQ(told, (std::vector<std::string>{"waiting", "done"}));
        ASSERT_EQ(fake.dialogs.shown.size(), 1u);
        EXPECT_TRUE(fake.dialogs.shown[0].text.ends_with("\n\nSign in with login.example.test again now?"))
            << fake.dialogs.shown[0].text;
    }
}

// A token kept in memory serves only the account it was issued for: another
// client ID, server or user on the mailbox gets one of its own.
TEST_F(Access, AnAccessTokenInMemoryServesOnlyItsAccount) {
    OAuthAccess oauth = access(false);
    provider.refreshAnswers = {tokens("a1", now + 3600), tokens("a2", now + 3600), tokens("a3", now + 3600),
                               tokens("a4", now + 3600)};
    EXPECT_EQ(oauth.accessToken(1, "joe@test", false), "a1");
    EXPECT_EQ(oauth.accessToken(1, "joe@test", false), "a1");
    store.writeString("Server", "OAuthClientId1", "other-client");
    EXPECT_EQ(oauth.accessToken(1, "joe@test", false), "a2");
    store.writeString("Server", "Server1", "pop.other.test");
    EXPECT_EQ(oauth.accessToken(1, "joe@test", false), "a3");
    EXPECT_EQ(oauth.accessToken(1, "ann@test", false), "a4");
    EXPECT_EQ(provider.calls.size(), 4u);
}

// A refresh token is kept with the account it was issued for (server, user,
// provider, client) and never sent for another: that needs a sign-in of its own.
TEST_F(Access, ARefreshTokenIsNeverUsedForAnotherAccount) {
    provider.authorizeAnswers = {tokens("a1", now + 3600, "refresh-joe")};
    OAuthAccess oauth = access(false);
    oauth.signIn(1, OAuthSettings::read(store, 1).provider, "joe@test", "pop.test", true);
    EXPECT_EQ(store.readString("Server", "OAuthAccount1", ""),
              oauthAccountOf(OAuthSettings::read(store, 1).provider, "pop.test", "joe@test"));
    const struct {
        const char* what;
        const char* name;
        const char* value;
    } changes[] = {{"user", "Mailbox1", "ann@test"},
                   {"server", "Server1", "pop.other.test"},
                   {"client", "OAuthClientId1", "other-client"},
                   {"provider", "OAuthProvider1", "Google"}};
    for (const auto& c : changes) {
        SCOPED_TRACE(c.what);
        const std::string before = store.readString("Server", c.name, "");
        store.writeString("Server", c.name, c.value);
        provider.calls.clear();
        const std::string user = store.readString("Server", "Mailbox1", "");
        try {
            oauth.accessToken(1, user, true);
            ADD_FAILURE() << "no error";
        } catch (const EOAuthError& error) {
            EXPECT_TRUE(error.signInAgain);
            EXPECT_STREQ(error.what(), "The sign-in kept for mailbox 1 was made for another account (its server, "
                                       "user name, provider or client ID changed); sign in again");
        }
        EXPECT_TRUE(provider.calls.empty());
        store.writeString("Server", c.name, before);
    }
    // Its own account is served.
    provider.refreshAnswers = {tokens("a2", now + 3600)};
    EXPECT_EQ(oauth.accessToken(1, "joe@test", true), "a2");
    EXPECT_EQ(provider.calls, std::vector<std::string>{"refresh refresh-joe"});
}

TEST_F(Access, ARefusedRefreshAsksForANewSignInOnlyWhereSomeoneIsThere) {
    const EOAuthError refused("The provider refused the sign-in (invalid_grant)", true);
    {
        SCOPED_TRACE("unattended");
        provider.refreshAnswers = {refused};
        OAuthAccess oauth = access(false);
        try {
            oauth.accessToken(1, "joe@test", false);
            ADD_FAILURE() << "no error";
        } catch (const EOAuthError& error) {
            EXPECT_TRUE(error.signInAgain);
            EXPECT_STREQ(error.what(), "The provider refused the sign-in (invalid_grant)");
        }
        EXPECT_TRUE(fake.dialogs.shown.empty());
    }
    {
        SCOPED_TRACE("attended, the user declines");
        provider.refreshAnswers = {refused};
        fake.dialogs.answers = {ModalResult::No};
        OAuthAccess oauth = access(true);
        EXPECT_THROW(oauth.accessToken(1, "joe@test", false), EOAuthError);
        ASSERT_EQ(fake.dialogs.shown.size(), 1u);
        EXPECT_EQ(fake.dialogs.shown[0].text,
                  "Mailbox 1: The provider refused the sign-in (invalid_grant)\n\nSign in with Microsoft again now?");
    }
    {
        SCOPED_TRACE("attended, the user signs in");
        provider.calls.clear();
        provider.refreshAnswers = {refused};
        provider.authorizeAnswers = {tokens("fresh", now + 3600, "refresh-new")};
        fake.dialogs.answers = {ModalResult::Yes};
        OAuthAccess oauth = access(true);
        EXPECT_EQ(oauth.accessToken(1, "joe@test", false), "fresh");
        EXPECT_EQ(provider.calls, (std::vector<std::string>{"refresh refresh-1", "authorize joe@test"}));
        EXPECT_EQ(keyring.items.at({1, SecretKind::RefreshToken}).secret, "refresh-new");
        EXPECT_EQ(keyring.items.at({1, SecretKind::RefreshToken}).label,
                  "Quorvel mailbox 1 sign-in token (joe@test on pop.test)");
        EXPECT_EQ(oauth.accessToken(1, "joe@test", false), "fresh");
        EXPECT_EQ(provider.calls.size(), 2u);
    }
    {
        SCOPED_TRACE("the window, but nobody at it (an automatic check from the tray)");
        provider.calls.clear();
        provider.refreshAnswers = {refused};
        fake.dialogs.shown.clear();
        OAuthAccess oauth = access(true);
        oauth.attended = [] { return false; };
        EXPECT_THROW(oauth.accessToken(1, "joe@test", false), EOAuthError);
        EXPECT_TRUE(fake.dialogs.shown.empty());
        EXPECT_EQ(provider.calls, std::vector<std::string>{"refresh refresh-new"});
    }
    {
        SCOPED_TRACE("a provider that cannot be reached is no reason to sign in again");
        provider.refreshAnswers = {EOAuthError("No answer from login.microsoftonline.com", false)};
        fake.dialogs.shown.clear();
        OAuthAccess oauth = access(true);
        EXPECT_THROW(oauth.accessToken(1, "joe@test", false), EOAuthError);
        EXPECT_TRUE(fake.dialogs.shown.empty());
    }
}

TEST_F(Access, WithoutAKeptSignInOrAKeyringThatAnswersNothingIsAsked) {
    keyring.items.clear();
    OAuthAccess oauth = access(false);
    try {
        oauth.accessToken(1, "joe@test", false);
        ADD_FAILURE() << "no error";
    } catch (const EOAuthError& error) {
        EXPECT_TRUE(error.signInAgain);
        EXPECT_STREQ(error.what(), "Mailbox 1 has not signed in with Microsoft yet");
    }
    keyring.items[{1, SecretKind::RefreshToken}] = {"label", "refresh-1"};
    keyring.answer = SecretStatus::Locked;
    try {
        oauth.accessToken(1, "joe@test", false);
        ADD_FAILURE() << "no error";
    } catch (const SecretUnavailable& error) {
        // A keyring's failure, as a password's is: not the provider's.
        EXPECT_EQ(error.status, SecretStatus::Locked);
        EXPECT_EQ(error.kind, SecretKind::RefreshToken);
        EXPECT_STREQ(error.what(), "The desktop keyring is locked: the sign-in of mailbox 1 is kept there.");
    }
    EXPECT_TRUE(provider.calls.empty());
}

TEST_F(Access, WithoutAKeyringTheRefreshTokenIsKeptEncipheredInTheSettingsFile) {
    provider.authorizeAnswers = {tokens("a", 0, "refresh-file")};
    OAuthAccess oauth({store, cipher, nullptr, &provider, fake.loop, nullptr});
    oauth.signIn(2, oauthPreset("Google"), "ann", "pop.gmail.com", true);
    const std::string stored = store.readString("Server", "OAuthRefresh2", "");
    EXPECT_NE(stored, "");
    EXPECT_EQ(stored.find("refresh-file"), std::string::npos);
    EXPECT_EQ(cipher.decipher(stored), "refresh-file");
    EXPECT_EQ(AccountSecrets(store, cipher, nullptr).read(2, true, SecretKind::RefreshToken).text, "refresh-file");
}

TEST_F(Access, ATokenCommandTakesThePlaceOfTheProvider) {
    store.writeString("Server", "OAuthCommand1", "printf '%s\\n' from-helper");
    OAuthAccess oauth = access(false);
    EXPECT_EQ(oauth.accessToken(1, "joe@test", false), "from-helper");
    EXPECT_EQ(oauth.accessToken(1, "joe@test", true), "from-helper");
    EXPECT_TRUE(provider.calls.empty());
}

// Cancel, run inside the wait, ends a refresh or the token command; with
// nothing waiting it asks nothing of the provider.
TEST_F(Access, ACancelEndsAWaitForTheProviderOrTheTokenCommand) {
    OAuthAccess oauth = access(false);
    oauth.cancel();
    EXPECT_TRUE(provider.calls.empty());

    provider.waiting = [&] { oauth.cancel(); };
    try {
        oauth.accessToken(1, "joe@test", false);
        ADD_FAILURE() << "no error";
    } catch (const EOAuthError& error) {
        EXPECT_STREQ(error.what(), "The sign-in was canceled");
    }
    EXPECT_EQ(provider.calls, (std::vector<std::string>{"refresh refresh-1", "cancel"}));

    store.writeString("Server", "OAuthCommand1", "sh -c 'sleep 30; echo late'");
    oauth.commandLimit = 60s;
    int turns = 0;
    // The click comes in the command's first wait.
    fake.loop.onEachTurn = [&] {
        if (++turns == 1) oauth.cancel();
    };
    try {
        oauth.accessToken(1, "joe@test", false);
        ADD_FAILURE() << "no error";
    } catch (const ETokenCommand& error) {
        EXPECT_STREQ(error.what(), "The token command sh was canceled; it was stopped");
    }
    fake.loop.onEachTurn = nullptr;
    EXPECT_EQ(provider.calls.size(), 2u);
}

}  // namespace
}  // namespace quorvel
