// The OAuth 2.0 sign-in of the POP3 client against scripted servers: the
// mechanism taken from CAPA, a refused token renewed once, the faults a real
// server does not produce, and no token where the user's choice forbids it.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "mail/mail_errors.h"
#include "mail/pop3_client.h"
#include "mail/sasl.h"
#include "platform/poll_event_loop.h"
#include "support/scripted_server.h"

namespace quorvel {
namespace {

using testing::ScriptedServer;

std::string b64(const std::string& text) { return saslBase64Encode(text); }

std::string xoauth2(const std::string& token) {
    return b64("user=joe\x01" "auth=Bearer " + token + "\x01\x01");
}

class Pop3OAuth : public ::testing::Test {
protected:
    PollEventLoop loop;
    TmsRemotePOP pop{loop, loop};
    std::vector<std::string> asked;  // "token" or "renew", one per call of the source

    Pop3OAuth() {
        pop.UserName = "joe";
        pop.SignIn = TmsSignIn::OAuth2;
        pop.Security = TmsSecurity::None;
        pop.TimeOut = 2;
        pop.AccessToken = [this](bool renew) {
            asked.push_back(renew ? "renew" : "token");
            return std::string(renew ? "second" : "first");
        };
    }

    static std::vector<std::string> greetingAndCapa(const std::string& sasl) {
        std::vector<std::string> steps = {"S: +OK ready", "C: CAPA", "S: +OK"};
        if (!sasl.empty()) steps.push_back("S: SASL " + sasl);
        steps.insert(steps.end(), {"S: USER", "S: .", });
        return steps;
    }
    static void append(std::vector<std::string>& steps, const std::vector<std::string>& more) {
        steps.insert(steps.end(), more.begin(), more.end());
    }
    static const std::vector<std::string>& listed() {
        static const std::vector<std::string> steps = {"S: +OK", "C: STAT", "S: +OK 0 0", "C: QUIT", "S: +OK"};
        return steps;
    }

    // Lists the mailbox; returns the error's text, "" on success.
    std::string list(ScriptedServer& server) {
        pop.Server = "127.0.0.1:" + std::to_string(server.port());
        std::string error;
        try {
            pop.UpdateInfo();
        } catch (const std::exception& e) {
            error = e.what();
            EXPECT_FALSE(pop.IsConnected());
        }
        server.join();
        EXPECT_EQ(server.failures(), std::vector<std::string>{});
        return error;
    }
};

std::string bearer(const std::string& token, int port) {
    return b64(SaslOAuthBearer("joe", token, "127.0.0.1", port).initialResponse());
}

TEST_F(Pop3OAuth, OAuthBearerIsPreferredAndXOAuth2TakenWhereItIsTheOnlyOne) {
    const struct {
        const char* offered;
        bool bearer;
    } cases[] = {{"PLAIN XOAUTH2 OAUTHBEARER", true}, {"oauthbearer", true}, {"PLAIN xoauth2", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.offered);
        asked.clear();
        ScriptedServer server([&](int port) {
            std::vector<std::string> steps = greetingAndCapa(c.offered);
            steps.push_back(c.bearer ? "C: AUTH OAUTHBEARER " + bearer("first", port)
                                     : "C: AUTH XOAUTH2 " + xoauth2("first"));
            append(steps, listed());
            return steps;
        });
        EXPECT_EQ(list(server), "");
        EXPECT_EQ(asked, std::vector<std::string>{"token"});
    }
}

// The renewal may need a person (a sign-in in the browser, minutes long),
// and a server drops a session that waits that long: the session ends before
// the token is renewed, and a new one signs in with it.
TEST_F(Pop3OAuth, ARefusedTokenIsRenewedOnceWithTheSessionClosed) {
    const std::string json = R"({"status":"401","schemes":"bearer","scope":"https://mail.google.com/"})";
    const std::vector<std::string> refusal = {"S: + " + b64(json), "C: ", "S: -ERR [AUTH] Invalid credentials"};
    {
        SCOPED_TRACE("the renewed token is taken");
        std::vector<std::string> seenAtRenewal;
        ScriptedServer* running = nullptr;
        pop.AccessToken = [&](bool renew) {
            asked.push_back(renew ? "renew" : "token");
            if (renew) {
                seenAtRenewal = running->received();
                EXPECT_FALSE(pop.IsConnected());
            }
            return std::string(renew ? "second" : "first");
        };
        ScriptedServer server([&](int) {
            std::vector<std::string> steps = greetingAndCapa("XOAUTH2");
            steps.push_back("C: AUTH XOAUTH2 " + xoauth2("first"));
            append(steps, refusal);
            append(steps, {"WAIT", "ACCEPT"});
            append(steps, greetingAndCapa("XOAUTH2"));
            steps.push_back("C: AUTH XOAUTH2 " + xoauth2("second"));
            append(steps, listed());
            return steps;
        });
        running = &server;
        EXPECT_EQ(list(server), "");
        EXPECT_EQ(asked, (std::vector<std::string>{"token", "renew"}));
        // The first session had ended when the renewal was asked for.
        EXPECT_EQ(seenAtRenewal.size(), 3u);
        EXPECT_TRUE(server.sawClientClose());
    }
    {
        SCOPED_TRACE("the renewed token is refused too");
        asked.clear();
        pop.AccessToken = [this](bool renew) {
            asked.push_back(renew ? "renew" : "token");
            return std::string(renew ? "second" : "first");
        };
        ScriptedServer server([&](int port) {
            std::vector<std::string> steps;
            for (const char* token : {"first", "second"}) {
                append(steps, greetingAndCapa("OAUTHBEARER"));
                steps.push_back("C: AUTH OAUTHBEARER " + bearer(token, port));
                append(steps, {"S: + " + b64(json), "C: AQ==", "S: -ERR [AUTH] Invalid credentials", "WAIT"});
                if (std::string(token) == "first") steps.push_back("ACCEPT");
            }
            return steps;
        });
        EXPECT_EQ(list(server),
                  "The server 127.0.0.1 refused the OAuth 2.0 sign-in. It said: -ERR [AUTH] Invalid credentials "
                  "(401 (scope https://mail.google.com/))");
        EXPECT_EQ(asked, (std::vector<std::string>{"token", "renew"}));
    }
    {
        SCOPED_TRACE("a mailbox in use is not the token's fault");
        asked.clear();
        ScriptedServer server([&](int) {
            std::vector<std::string> steps = greetingAndCapa("XOAUTH2");
            append(steps, {"C: AUTH XOAUTH2 " + xoauth2("first"), "S: -ERR [IN-USE] Mailbox is locked", "WAIT"});
            return steps;
        });
        EXPECT_EQ(list(server), "The mailbox on 127.0.0.1 is in use (by a delivery, another mail program, or Quorvel); "
                                "try again when it is free. The server said: -ERR [IN-USE] Mailbox is locked");
        EXPECT_EQ(asked, std::vector<std::string>{"token"});
    }
}

TEST_F(Pop3OAuth, FaultsOfTheServerEndTheSessionWithoutANewToken) {
    std::vector<std::string> endless = {"C: AUTH XOAUTH2 " + xoauth2("first")};
    for (int round = 0; round < TmsCustomPOP::kMaxSaslRounds; ++round) append(endless, {"S: + e30=", "C: "});
    append(endless, {"S: + e30=", "C: *", "WAIT"});
    const struct {
        const char* what;
        std::vector<std::string> steps;
        std::string error;
    } cases[] = {
        {"an exchange that never ends", endless, "The server's XOAUTH2 exchange does not end"},
        {"a challenge that is not base64",
         {"C: AUTH XOAUTH2 " + xoauth2("first"), "S: + {\"status\":\"401\"}", "C: *", "WAIT"},
         "The server's challenge is not base64"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        asked.clear();
        std::vector<std::string> steps = greetingAndCapa("XOAUTH2");
        append(steps, c.steps);
        ScriptedServer server(steps);
        EXPECT_EQ(list(server), c.error);
        EXPECT_EQ(asked, std::vector<std::string>{"token"});
    }
}

TEST_F(Pop3OAuth, NoTokenCrossesTheNetworkInTheClearUnlessTheUserChoseSo) {
    const struct {
        const char* what;
        std::optional<TmsSecurity> security;
        const char* offered;
        std::string error;
    } cases[] = {
        // An account stored before the security choice, on a port without TLS.
        {"no choice", std::nullopt, "OAUTHBEARER XOAUTH2",
         "The session with 127.0.0.1 is not encrypted; OAUTHBEARER was not used"},
        {"no choice, XOAUTH2", std::nullopt, "XOAUTH2",
         "The session with 127.0.0.1 is not encrypted; XOAUTH2 was not used"},
        {"no OAuth offered", TmsSecurity::None, "PLAIN SCRAM-SHA-256",
         "The server 127.0.0.1 does not offer OAuth 2.0 sign-in (OAUTHBEARER or XOAUTH2); nothing was sent"},
        {"no SASL at all", TmsSecurity::None, "",
         "The server 127.0.0.1 does not offer OAuth 2.0 sign-in (OAUTHBEARER or XOAUTH2); nothing was sent"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        pop.Security = c.security;
        std::vector<std::string> steps = greetingAndCapa(c.offered);
        steps.push_back("WAIT");
        ScriptedServer server(steps);
        EXPECT_EQ(list(server), c.error);
        EXPECT_EQ(server.wire().find("AUTH"), std::string::npos);
        EXPECT_EQ(server.wire().find("PASS"), std::string::npos);
    }
}

TEST_F(Pop3OAuth, WithoutATokenSourceNothingIsDialled) {
    pop.AccessToken = nullptr;
    pop.Server = "127.0.0.1:" + std::to_string(testing::unusedPort());
    try {
        pop.UpdateInfo();
        ADD_FAILURE() << "no error";
    } catch (const ESocketError& error) {
        EXPECT_STREQ(error.what(), "AccessToken property is required");
    }
    // A password is not asked for: the token takes its place.
    EXPECT_TRUE(pop.Password.empty());
}

}  // namespace
}  // namespace quorvel
