// Log-in to the tests' Dovecot with an access token from the tests'
// provider: Dovecot's oauth2 passdb asks the provider whether the token is
// good and whose it is.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mail/mail_errors.h"
#include "mail/pop3_client.h"
#include "mail/sasl.h"
#include "oauth/qt_oauth_service.h"
#include "platform/poll_event_loop.h"
#include "support/dovecot_server.h"
#include "support/sasl_pop.h"
#include "support/oauth_provider_server.h"
#include "test_browser.h"

namespace quorvel {
namespace {

using testing::DovecotServer;
using testing::OAuthProviderServer;
using testing::TestBrowser;
using testing::testProvider;
using testing::providerReport;
using testing::SaslPop;

// The server's reply to the log-in: empty when it was accepted.
std::string logIn(const DovecotServer& server, SaslMechanism& mechanism) {
    PollEventLoop loop;
    SaslPop pop(loop, loop);
    pop.Server = "localhost:" + std::to_string(server.tlsPort());
    pop.Security = TmsSecurity::SSLTLS;
    pop.CAFile = server.caFile();
    pop.UserName = "joe";
    pop.Password = "unused";  // the token is the mechanism's
    pop.TimeOut = 10;
    std::string error;
    try {
        pop.signIn(mechanism);
        pop.LogOut();
    } catch (const EServerError& e) {
        error = e.what();
    }
    pop.Disconnect();
    return error;
}

DovecotServer::Options withOAuth(const OAuthProviderServer& provider) {
    DovecotServer::Options options;
    options.authMechanisms = "plain scram-sha-256 xoauth2 oauthbearer";
    options.oauth2IntrospectionUrl = provider.url("/introspect");
    return options;
}

std::string signedInToken(const OAuthProviderServer& provider) {
    TestBrowser browser;
    QtOAuthService service(browser.opener());
    return service.authorize(testProvider(provider), "joe").accessToken;
}

TEST(OAuthDovecot, TheSignedInTokenLogsInWithXoauth2AndOauthbearer) {
    OAuthProviderServer provider;
    DovecotServer server(withOAuth(provider));
    const std::string token = signedInToken(provider);
    SaslXOAuth2 xoauth2("joe", token);
    EXPECT_EQ(logIn(server, xoauth2), "");
    SaslOAuthBearer bearer("joe", token, "localhost", server.tlsPort());
    EXPECT_EQ(logIn(server, bearer), "");
    // A refreshed token is as good; a password still logs in beside them.
    TestBrowser browser;
    QtOAuthService service(browser.opener());
    const OAuthTokens first = service.authorize(testProvider(provider), "joe");
    SaslXOAuth2 renewed("joe", service.refresh(testProvider(provider), first.refreshToken).accessToken);
    EXPECT_EQ(logIn(server, renewed), "");
    SaslScramSha256 scram("joe", "secret");
    EXPECT_EQ(logIn(server, scram), "");
    const std::string log = server.log();
    EXPECT_NE(log.find("method=XOAUTH2"), std::string::npos) << log;
    EXPECT_NE(log.find("method=OAUTHBEARER"), std::string::npos) << log;
}

TEST(OAuthDovecot, ATokenTheProviderDoesNotVouchForIsRefused) {
    const struct {
        const char* what;
        std::vector<std::string> knobs;
        bool madeUp;
    } cases[] = {
        {"a made-up token", {}, true},
        {"an expired token", {"--access-lifetime", "0"}, false},
        {"another user's token", {"--user", "ann"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        OAuthProviderServer provider(c.knobs);
        DovecotServer server(withOAuth(provider));
        const std::string token = c.madeUp ? "made-up-token" : signedInToken(provider);
        SaslXOAuth2 xoauth2("joe", token);
        const std::string xoauth2Error = logIn(server, xoauth2);
        EXPECT_TRUE(xoauth2Error.starts_with("-ERR")) << xoauth2Error;
        SaslOAuthBearer bearer("joe", token, "localhost", server.tlsPort());
        const std::string bearerError = logIn(server, bearer);
        EXPECT_TRUE(bearerError.starts_with("-ERR")) << bearerError;
        EXPECT_EQ(server.log().find("Login: user=<joe>"), std::string::npos) << server.log();
        EXPECT_GE(providerReport(provider)["introspections"].toInt(), 2);
    }
}

}  // namespace
}  // namespace quorvel
