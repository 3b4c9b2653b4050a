// The desktop sign-in against the tests' provider on loopback: the browser's
// way through the provider back to the listener, PKCE, the state, refresh,
// the device grant, and the limits on what comes from outside.
#include <gtest/gtest.h>

#include <QTcpSocket>
#include <QTimer>
#include <ctime>
#include <string>
#include <vector>

#include "oauth/pkce.h"
#include "oauth/qt_oauth_service.h"
#include "support/oauth_provider_server.h"
#include "test_browser.h"

namespace quorvel {
namespace {

using testing::OAuthProviderServer;
using testing::providerReport;
using testing::TestBrowser;
using testing::testProvider;
using testing::waitUntil;

struct Failure {
    std::string text;
    bool signInAgain = false;
};

template <typename Call>
Failure failureOf(Call call) {
    try {
        call();
    } catch (const EOAuthError& error) {
        return {error.what(), error.signInAgain};
    }
    return {"(no error)", false};
}

bool connects(int port) {
    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", static_cast<quint16>(port));
    return socket.waitForConnected(1000);
}

TEST(Pkce, ChallengeIsTheBase64UrlOfTheVerifiersSha256) {
    // RFC 7636, appendix B.
    EXPECT_EQ(pkceChallenge("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"), "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
    const std::string verifier = pkceVerifier();
    EXPECT_EQ(verifier.size(), 64u);
    EXPECT_EQ(verifier.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
              std::string::npos);
    EXPECT_NE(verifier, pkceVerifier());
    EXPECT_NE(oauthState(), oauthState());
    EXPECT_EQ(base64Url(""), "");
    EXPECT_EQ(base64Url("f"), "Zg");
    EXPECT_EQ(base64Url("fo"), "Zm8");
    EXPECT_EQ(base64Url("foo"), "Zm9v");
    EXPECT_EQ(base64Url("\xfb\xff"), "-_8");
}

TEST(OAuthBrowserFlow, SignsInWithPkceAndTheListenerTakesOneRequest) {
    OAuthProviderServer server;
    TestBrowser browser;
    QtOAuthService service(browser.opener());
    const OAuthTokens tokens = service.authorize(testProvider(server), "joe@example.test");

    EXPECT_FALSE(tokens.accessToken.empty());
    EXPECT_FALSE(tokens.refreshToken.empty());
    EXPECT_NEAR(static_cast<double>(tokens.expiresAt), static_cast<double>(std::time(nullptr) + 3600), 60);
    EXPECT_EQ(browser.parameter("code_challenge_method"), "S256");
    EXPECT_EQ(browser.parameter("code_challenge").size(), 43u);
    EXPECT_GE(browser.parameter("state").size(), 32u);
    EXPECT_EQ(browser.parameter("login_hint"), "joe@example.test");
    EXPECT_EQ(browser.parameter("scope"), "pop offline_access");
    EXPECT_EQ(browser.parameter("redirect_uri"), "http://127.0.0.1:" + std::to_string(browser.listenerPort()) + "/");
    // The provider checked the verifier against the challenge and the
    // redirect address against the one the browser was sent to.
    const QJsonObject report = providerReport(server);
    EXPECT_EQ(report["code_exchanges"].toInt(), 1);
    EXPECT_TRUE(report["errors"].toArray().isEmpty());
    ASSERT_TRUE(waitUntil([&] { return browser.pageStatus != 0; }));
    EXPECT_EQ(browser.pageStatus, 200);
    EXPECT_EQ(browser.page, "Quorvel: you are signed in. You may close this page.\n");
    // One request, then nothing listens there any more.
    EXPECT_FALSE(connects(browser.listenerPort()));

    // A second sign-in has a challenge and a state of its own.
    TestBrowser second;
    QtOAuthService again(second.opener());
    again.authorize(testProvider(server), "");
    EXPECT_NE(second.parameter("code_challenge"), browser.parameter("code_challenge"));
    EXPECT_NE(second.parameter("state"), browser.parameter("state"));
    EXPECT_EQ(second.opened.find("login_hint"), std::string::npos);
}

TEST(OAuthBrowserFlow, ABrowserBackBeforeTheWaitBeganIsHeard) {
    OAuthProviderServer server;
    TestBrowser browser;
    browser.early = true;
    QtOAuthService::Options options;
    options.browserTimeout = std::chrono::seconds(5);
    QtOAuthService service(browser.opener(), options);
    EXPECT_EQ(failureOf([&] { service.authorize(testProvider(server), ""); }).text, "(no error)") << browser.redirect;
    ASSERT_TRUE(waitUntil([&] { return browser.page.find("signed in") != std::string::npos; })) << browser.page;
}

TEST(OAuthBrowserFlow, IdleConnectionsDoNotTakeThePlaceOfTheRequest) {
    OAuthProviderServer server;
    for (const int idle : {1, 15, 16}) {
        SCOPED_TRACE(idle);
        TestBrowser browser;
        browser.idleConnections = idle;
        QtOAuthService::Options options;
        options.browserTimeout = std::chrono::seconds(2);
        QtOAuthService service(browser.opener(), options);
        const Failure failure = failureOf([&] { service.authorize(testProvider(server), ""); });
        // Sixteen connections at once are all the listener takes.
        EXPECT_EQ(failure.text, idle < 16 ? "(no error)" : "The sign-in was not completed in the browser within 2 seconds");
    }
}

TEST(OAuthBrowserFlow, TheUsersRefusalAtTheProviderEndsTheSignIn) {
    const std::string error =
        "The provider did not grant access. The provider said: access_denied (The user declined the request)";
    OAuthProviderServer server({"--deny"});
    TestBrowser browser;
    QtOAuthService service(browser.opener());
    const Failure failure = failureOf([&] { service.authorize(testProvider(server), ""); });
    EXPECT_EQ(failure.text, error);
    EXPECT_TRUE(failure.signInAgain);
    EXPECT_EQ(providerReport(server)["token_requests"].toInt(), 0);
    ASSERT_TRUE(waitUntil([&] { return browser.pageStatus != 0; }));
    EXPECT_EQ(browser.pageStatus, 400);
    EXPECT_EQ(browser.page, "Quorvel: the sign-in did not succeed: " + error + "\nYou may close this page.\n");
    EXPECT_FALSE(connects(browser.listenerPort()));
}

// Any local program can reach the listener. A request that is not the
// answer to this sign-in (no state, another state, not a GET) is answered
// 400 and the listener goes on waiting for the browser.
TEST(OAuthBrowserFlow, AForgedAnswerIsRefusedAndTheListenerWaitsOn) {
    OAuthProviderServer server;
    for (const std::string target : {"/?state=forged&code=stolen", "/?code=stolen", "/", "/?error=access_denied"}) {
        SCOPED_TRACE(target);
        TestBrowser browser;
        browser.forgedTarget = target;
        QtOAuthService service(browser.opener());
        EXPECT_EQ(failureOf([&] { service.authorize(testProvider(server), ""); }).text, "(no error)");
        EXPECT_TRUE(browser.forgedPage.starts_with("HTTP/1.1 400 Bad Request\r\n")) << browser.forgedPage;
        EXPECT_TRUE(browser.forgedPage.ends_with("\r\n\r\nQuorvel: this answer does not belong to a sign-in in "
                                                 "progress.\n"))
            << browser.forgedPage;
        ASSERT_TRUE(waitUntil([&] { return browser.pageStatus != 0; }));
        EXPECT_EQ(browser.pageStatus, 200);
    }
    EXPECT_EQ(providerReport(server)["code_exchanges"].toInt(), 4);

    // A provider that sends the browser back with another state: only that
    // answer came, so the wait ends at its time-out, nothing exchanged.
    OAuthProviderServer wrong({"--wrong-state"});
    TestBrowser browser;
    QtOAuthService::Options options;
    options.browserTimeout = std::chrono::seconds(1);
    QtOAuthService service(browser.opener(), options);
    EXPECT_EQ(failureOf([&] { service.authorize(testProvider(wrong), ""); }).text,
              "The sign-in was not completed in the browser within 1 second");
    ASSERT_TRUE(waitUntil([&] { return browser.pageStatus != 0; }));
    EXPECT_EQ(browser.pageStatus, 400);
    EXPECT_EQ(browser.page, "Quorvel: this answer does not belong to a sign-in in progress.\n");
    EXPECT_EQ(providerReport(wrong)["token_requests"].toInt(), 0);
    EXPECT_FALSE(connects(browser.listenerPort()));
}

TEST(OAuthBrowserFlow, TheBrowsersRequestIsReadUpToItsLimit) {
    OAuthProviderServer server;
    const std::size_t limit = QtOAuthService::kMaxRequest;
    for (const std::size_t size : {limit - 1, limit, limit + 1, 4 * limit}) {
        SCOPED_TRACE(size);
        TestBrowser browser;
        browser.requestSize = size;
        QtOAuthService::Options options;
        options.browserTimeout = std::chrono::seconds(2);
        QtOAuthService service(browser.opener(), options);
        const Failure failure = failureOf([&] { service.authorize(testProvider(server), ""); });
        if (size <= limit) {
            EXPECT_EQ(failure.text, "(no error)");
            ASSERT_TRUE(waitUntil([&] { return browser.page.find("signed in") != std::string::npos; }));
            EXPECT_TRUE(browser.page.starts_with("HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=utf-8\r\n"));
        } else {
            // Refused like any request that is not the answer; the wait goes on.
            EXPECT_EQ(failure.text, "The sign-in was not completed in the browser within 2 seconds");
            // Past the limit plus one the rest goes unread, and closing may
            // reset the connection before the page arrives.
            if (size == limit + 1) {
                ASSERT_TRUE(waitUntil([&] { return !browser.page.empty(); }));
                EXPECT_TRUE(browser.page.starts_with("HTTP/1.1 400 Bad Request\r\n"));
            }
        }
    }
}

TEST(OAuthBrowserFlow, ABrowserThatNeverComesBackEndsTheWait) {
    OAuthProviderServer server;
    TestBrowser browser;
    browser.idle = true;
    QtOAuthService::Options options;
    options.browserTimeout = std::chrono::milliseconds(300);
    QtOAuthService service(browser.opener(), options);
    EXPECT_EQ(failureOf([&] { service.authorize(testProvider(server), ""); }).text,
              "The sign-in was not completed in the browser within 1 second");
    const int port = QUrl(QString::fromStdString(browser.parameter("redirect_uri"))).port();
    ASSERT_GT(port, 0);
    EXPECT_FALSE(connects(port));
    // quorvel-check's service has no browser to open.
    QtOAuthService headless(nullptr);
    EXPECT_EQ(failureOf([&] { headless.authorize(testProvider(server), ""); }).text,
              "This program does not open a browser: sign in from the Quorvel window");
}

TEST(OAuthBrowserFlow, TheUsersCancelEndsTheWaitForTheBrowser) {
    OAuthProviderServer server;
    TestBrowser browser;
    browser.idle = true;
    QtOAuthService service(browser.opener());
    QTimer::singleShot(100, [&] { service.cancel(); });
    const Failure failure = failureOf([&] { service.authorize(testProvider(server), ""); });
    EXPECT_EQ(failure.text, "The sign-in was canceled");
    EXPECT_FALSE(failure.signInAgain);
    EXPECT_FALSE(connects(QUrl(QString::fromStdString(browser.parameter("redirect_uri"))).port()));
    // A cancel between calls does not end the next one.
    service.cancel();
    browser.idle = false;
    EXPECT_FALSE(service.authorize(testProvider(server), "").accessToken.empty());
}

TEST(OAuthRefresh, AProviderThatDoesNotAnswerEndsTheWait) {
    OAuthProviderServer server({"--stall", "3"});
    QtOAuthService::Options options;
    options.httpTimeout = std::chrono::milliseconds(300);
    QtOAuthService service(nullptr, options);
    const Failure failure = failureOf([&] { service.refresh(testProvider(server), "some-token"); });
    EXPECT_EQ(failure.text, "The provider (127.0.0.1) did not answer the renewal of the sign-in within 1 second");
    EXPECT_FALSE(failure.signInAgain);
}

TEST(OAuthAddresses, OnlyHttpsOrLoopbackIsSpokenTo) {
    OAuthProviderServer server;
    const struct {
        std::string tokenUrl;
        std::string error;
    } cases[] = {
        {"", "The provider's token address is not set"},
        {"http://mail.example.test/token", "The provider's token address must begin with https://: http://mail.example.test/token"},
        {"http://10.0.0.1/token", "The provider's token address must begin with https://: http://10.0.0.1/token"},
        {"ftp://127.0.0.1/token", "The provider's token address must begin with https://: ftp://127.0.0.1/token"},
        {"https:///token", "The provider's token address is not a valid address: https:///token"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tokenUrl);
        OAuthProvider provider = testProvider(server);
        provider.tokenUrl = c.tokenUrl;
        QtOAuthService service([](const std::string&) { return true; });
        EXPECT_EQ(failureOf([&] { service.refresh(provider, "some-token"); }).text, c.error);
        EXPECT_EQ(failureOf([&] { service.authorize(provider, ""); }).text, c.error);
    }
    EXPECT_EQ(providerReport(server)["token_requests"].toInt(), 0);
}

TEST(OAuthRefresh, RenewsAndARefusedRenewalAsksForANewSignIn) {
    const struct {
        const char* what;
        std::vector<std::string> knobs;
        bool newRefreshToken;
        std::string error;
    } cases[] = {
        {"kept refresh token", {}, false, ""},
        {"rotated refresh token", {"--rotate-refresh"}, true, ""},
        {"refused", {"--refuse-refresh"}, false,
         "The provider no longer accepts this sign-in; sign in again. The provider said: invalid_grant (The refresh "
         "token has been revoked)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        OAuthProviderServer server(c.knobs);
        TestBrowser browser;
        QtOAuthService service(browser.opener());
        const OAuthTokens first = service.authorize(testProvider(server), "");
        if (!c.error.empty()) {
            const Failure failure = failureOf([&] { service.refresh(testProvider(server), first.refreshToken); });
            EXPECT_EQ(failure.text, c.error);
            EXPECT_TRUE(failure.signInAgain);
            continue;
        }
        const OAuthTokens renewed = service.refresh(testProvider(server), first.refreshToken);
        EXPECT_FALSE(renewed.accessToken.empty());
        EXPECT_NE(renewed.accessToken, first.accessToken);
        EXPECT_GT(renewed.expiresAt, 0);
        EXPECT_EQ(!renewed.refreshToken.empty(), c.newRefreshToken);
        EXPECT_NE(renewed.refreshToken, first.refreshToken);
        // A refresh token the provider does not know asks for a new sign-in.
        const Failure unknown = failureOf([&] { service.refresh(testProvider(server), "not-a-token"); });
        EXPECT_TRUE(unknown.signInAgain);
    }
}

TEST(OAuthRefresh, TheProvidersAnswerIsReadUpToItsLimit) {
    const std::size_t limit = QtOAuthService::kMaxAnswer;
    for (const std::size_t size : {limit - 1, limit, limit + 1, 4 * limit}) {
        SCOPED_TRACE(size);
        OAuthProviderServer server({"--token-answer-size", std::to_string(size)});
        TestBrowser browser;
        QtOAuthService service(browser.opener());
        const Failure failure = failureOf([&] { service.authorize(testProvider(server), ""); });
        EXPECT_EQ(failure.text, size <= limit ? "(no error)" : "The provider's answer to the sign-in is longer than 64 KiB");
    }
}

// The token end point's answer: a redirect is not followed (the code and the
// verifier would go elsewhere), and only a bearer token is taken.
TEST(OAuthTokenAnswer, ARedirectOrATokenOfAnotherTypeIsRefused) {
    const struct {
        std::vector<std::string> knobs;
        std::string error;
    } cases[] = {
        {{"--token-redirect", "307"}, "The provider refused the sign-in (HTTP status 307)"},
        {{"--token-redirect", "302"}, "The provider refused the sign-in (HTTP status 302)"},
        {{"--token-type", "mac"}, "The provider sent a token of type \"mac\", not a bearer token"},
        {{"--token-type", "DPoP"}, "The provider sent a token of type \"DPoP\", not a bearer token"},
        {{"--token-type", ""}, "The provider's answer to the sign-in does not say its token's type"},
        {{"--token-type", "bearer"}, "(no error)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.knobs.back());
        OAuthProviderServer server(c.knobs);
        TestBrowser browser;
        QtOAuthService service(browser.opener());
        EXPECT_EQ(failureOf([&] { service.authorize(testProvider(server), ""); }).text, c.error);
        EXPECT_EQ(providerReport(server)["redirected_requests"].toInt(), 0);
    }
}

TEST(OAuthDeviceGrant, PollsAtTheIntervalUntilTheUserAgrees) {
    const struct {
        const char* script;
        const char* expires;
        int polls;  // -1: as many as fit in the code's life
        std::string error;
    } cases[] = {
        {"pending,slow_down,pending,ok", "100", 4, ""},
        {"pending,denied", "100", 2, "The sign-in was declined at the provider"},
        {"expired", "100", 1, "The code expired before the sign-in was completed; sign in again"},
        // The code's own life (4 intervals) passes while the user waits.
        {"pending", "4", -1, "The code expired before the sign-in was completed; sign in again"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        OAuthProviderServer server({"--device-script", c.script, "--second", "0.05", "--device-expires", c.expires});
        QtOAuthService::Options options;
        options.second = std::chrono::milliseconds(50);
        QtOAuthService service(nullptr, options);
        std::string address, code;
        const Failure failure = failureOf([&] {
            const OAuthTokens tokens =
                service.authorizeDevice(testProvider(server), [&](const std::string& a, const std::string& u) {
                    address = a;
                    code = u;
                });
            EXPECT_FALSE(tokens.accessToken.empty());
            EXPECT_FALSE(tokens.refreshToken.empty());
        });
        EXPECT_EQ(failure.text, c.error.empty() ? "(no error)" : c.error);
        if (!c.error.empty()) {
            EXPECT_TRUE(failure.signInAgain);
        }
        EXPECT_EQ(address, server.url("/device"));
        EXPECT_EQ(code, "WDJB-MJHT");
        const QJsonObject report = providerReport(server);
        if (c.polls >= 0) {
            EXPECT_EQ(report["device_polls"].toInt(), c.polls);
        } else {
            EXPECT_TRUE(report["device_polls"].toInt() >= 1 && report["device_polls"].toInt() < 4);
        }
        EXPECT_EQ(report["too_fast"].toInt(), 0) << "polled before the interval (after slow_down: 5 more)";
    }
    // A provider typed in ("Other") names its device end point in its
    // metadata (RFC 8414), at its issuer, the token address's origin.
    const struct {
        const char* metadata;
        std::string error;
    } discovered[] = {
        {"device", "(no error)"},
        {"no-device", "127.0.0.1 names no device authorization address in its metadata (RFC 8414), so it offers no "
                      "sign-in without a browser"},
        {"none", "127.0.0.1 names no device authorization address in its metadata (RFC 8414), so it offers no "
                 "sign-in without a browser"},
        // Metadata that names another issuer is not the provider's.
        {"other-issuer", "127.0.0.1 names no device authorization address in its metadata (RFC 8414), so it "
                         "offers no sign-in without a browser"},
    };
    for (const auto& c : discovered) {
        SCOPED_TRACE(c.metadata);
        OAuthProviderServer typedIn({"--metadata", c.metadata, "--second", "0.05"});
        OAuthProvider other = testProvider(typedIn);
        other.deviceAuthorizationUrl.clear();
        QtOAuthService::Options options;
        options.second = std::chrono::milliseconds(50);
        QtOAuthService service(nullptr, options);
        std::string code;
        EXPECT_EQ(failureOf([&] {
                      service.authorizeDevice(other, [&](const std::string&, const std::string& u) { code = u; });
                  }).text,
                  c.error);
        EXPECT_EQ(code, c.error == "(no error)" ? "WDJB-MJHT" : "");
    }

    // A provider without a device end point.
    OAuthProviderServer server;
    OAuthProvider google = testProvider(server);
    google.name = "Google";
    google.deviceAuthorizationUrl.clear();
    QtOAuthService service(nullptr);
    EXPECT_EQ(failureOf([&] { service.authorizeDevice(google, [](const std::string&, const std::string&) {}); }).text,
              "Google offers no sign-in without a browser here");
}

}  // namespace
}  // namespace quorvel
