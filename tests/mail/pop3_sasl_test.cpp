// POP3 AUTH: the mechanism chosen from CAPA's SASL list against the tests'
// Dovecot, and the faults only a scripted server plays.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "mail/mail_errors.h"
#include "mail/pop3_client.h"
#include "mail/sasl.h"
#include "platform/poll_event_loop.h"
#include "support/dovecot_server.h"
#include "support/sasl_pop.h"
#include "support/scripted_server.h"

namespace quorvel {
namespace {

using testing::DovecotServer;
using testing::ScriptedServer;
using testing::SaslPop;

std::string b64(const std::string& text) { return saslBase64Encode(text); }

const std::string kServerFirst =
    "r=rOprNGfwEbeRWgbNEkqO%hvYDpWUa2RaTCAfuxFIlj)hNlF$k0,s=W22ZaJ0SNY7soEsUEjb6gQ==,i=4096";
const std::string kClientFinal =
    "c=biws,r=rOprNGfwEbeRWgbNEkqO%hvYDpWUa2RaTCAfuxFIlj)hNlF$k0,p=dHzbZapWIk4jUhN+Ute9ytag9zjfMHgsqmmiz7AndVQ=";

class Pop3SaslScripted : public ::testing::Test {
protected:
    // Plays `steps` after the greeting with `mechanism`; returns the error
    // text ("" when the exchange succeeded) and whether it was a server error.
    struct Outcome {
        std::string error;
        bool serverError = false;
    };
    Outcome play(const std::vector<std::string>& steps, SaslMechanism& mechanism,
                 std::optional<TmsSecurity> security = TmsSecurity::None) {
        std::vector<std::string> script = {"S: +OK ready"};
        script.insert(script.end(), steps.begin(), steps.end());
        ScriptedServer server(script);
        SaslPop pop(loop, loop);
        pop.Server = "127.0.0.1:" + std::to_string(server.port());
        pop.Security = security;
        pop.TimeOut = 2;
        pop.UserName = "joe";
        pop.Password = "unused";
        Outcome outcome;
        try {
            pop.signIn(mechanism);
        } catch (const EServerError& e) {
            outcome = {e.what(), true};
        } catch (const std::exception& e) {
            outcome = {e.what(), false};
            EXPECT_FALSE(pop.IsConnected()) << "a failed exchange leaves the session open";
        }
        pop.Disconnect();
        server.join();
        EXPECT_EQ(server.failures(), std::vector<std::string>{});
        wire = server.wire();
        return outcome;
    }

    PollEventLoop loop;
    std::string wire;
};

TEST_F(Pop3SaslScripted, ScramTrustsOnlyAServerThatProvesItKnowsThePassword) {
    const std::string start = "C: AUTH SCRAM-SHA-256 " + b64("n,,n=user,r=rOprNGfwEbeRWgbNEkqO");
    const struct {
        const char* what;
        std::vector<std::string> end;
        std::string error;
    } cases[] = {
        {"the right signature",
         {"S: + " + b64("v=6rriTRBi23WpRR/wtup+mMhUZUn/dB5nLTJRsjl95G4="), "C: ", "S: +OK welcome"},
         ""},
        {"a wrong signature",
         {"S: + " + b64("v=AAAATRBi23WpRR/wtup+mMhUZUn/dB5nLTJRsjl95G4="), "C: *", "S: -ERR cancelled"},
         "The server's SCRAM signature is wrong: it does not know the password"},
        {"accepted without a signature",
         {"S: +OK welcome", "WAIT"},
         "The server accepted SCRAM without proving that it knows the password"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> steps = {start, "S: + " + b64(kServerFirst), "C: " + b64(kClientFinal)};
        steps.insert(steps.end(), c.end.begin(), c.end.end());
        SaslScramSha256 scram("user", "pencil", "rOprNGfwEbeRWgbNEkqO");
        EXPECT_EQ(play(steps, scram).error, c.error);
    }
}

TEST_F(Pop3SaslScripted, FaultsOfTheServerEndTheSession) {
    std::vector<std::string> endless = {"C: AUTH XOAUTH2 " + b64("user=joe\x01" "auth=Bearer tok\x01\x01")};
    for (int round = 0; round < TmsCustomPOP::kMaxSaslRounds; ++round) {
        endless.push_back("S: + e30=");
        endless.push_back("C: ");
    }
    endless.insert(endless.end(), {"S: + e30=", "C: *", "WAIT"});
    const struct {
        const char* what;
        std::vector<std::string> steps;
        std::string error;
    } cases[] = {
        {"an exchange that never ends", endless, "The server's XOAUTH2 exchange does not end"},
        {"a challenge that is not base64",
         {"C: AUTH XOAUTH2 " + b64("user=joe\x01" "auth=Bearer tok\x01\x01"), "S: + {not base64}", "C: *", "WAIT"},
         "The server's challenge is not base64"},
        {"an answer that is no challenge",
         {"C: AUTH XOAUTH2 " + b64("user=joe\x01" "auth=Bearer tok\x01\x01"), "S: hello", "C: *", "WAIT"},
         "The server's answer to AUTH is not a challenge"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SaslXOAuth2 xoauth("joe", "tok");
        const Outcome outcome = play(c.steps, xoauth);
        EXPECT_EQ(outcome.error, c.error);
        EXPECT_FALSE(outcome.serverError);
    }
}

TEST_F(Pop3SaslScripted, ARefusedBearerTokenIsToldInPlainWords) {
    const std::string json = R"({"status":"invalid_token","scope":"mail"})";
    SaslOAuthBearer bearer("joe", "tok", "127.0.0.1", 110);
    const Outcome outcome = play({"C: AUTH OAUTHBEARER " + b64(bearer.initialResponse()), "S: + " + b64(json),
                                  "C: AQ==", "S: -ERR [AUTH] Authentication failed."},
                                 bearer);
    EXPECT_TRUE(outcome.serverError);
    EXPECT_EQ(outcome.error, "-ERR [AUTH] Authentication failed. (invalid_token (scope mail))");
}

TEST_F(Pop3SaslScripted, ALongFirstResponseAnswersAnEmptyChallenge) {
    const std::string token(300, 't');
    SaslXOAuth2 xoauth("joe", token);
    const std::string initial = b64("user=joe\x01" "auth=Bearer " + token + "\x01\x01");
    EXPECT_EQ(play({"C: AUTH XOAUTH2", "S: + ", "C: " + initial, "S: +OK"}, xoauth).error, "");
}

TEST_F(Pop3SaslScripted, NoSecretCrossesAnUnencryptedSessionUnlessTheUserChoseSo) {
    const std::string token = "tok-secret";
    const struct {
        const char* what;
        std::optional<TmsSecurity> security;
        bool sent;
    } cases[] = {
        {"no choice made", std::nullopt, false},
        {"None chosen", TmsSecurity::None, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SaslXOAuth2 xoauth("joe", token);
        const std::vector<std::string> steps =
            c.sent ? std::vector<std::string>{"C: AUTH XOAUTH2 " + b64(xoauth.initialResponse()), "S: +OK"}
                   : std::vector<std::string>{"WAIT"};
        const Outcome outcome = play(steps, xoauth, c.security);
        EXPECT_EQ(wire.find("AUTH") != std::string::npos, c.sent);
        EXPECT_EQ(outcome.error.empty(), c.sent) << outcome.error;
    }
}

// How many of the server's log-ins of joe name `method`, after waiting a
// moment for the log to be written when fewer than `expected`.
int loginsWith(const DovecotServer& server, const std::string& method, int expected) {
    int count = 0;
    for (int i = 0; i < 100; ++i) {
        const std::string log = server.log();
        count = 0;
        for (std::size_t at = 0; (at = log.find("Login: user=<joe>", at)) != std::string::npos; ++at)
            count += log.substr(at, log.find('\n', at) - at).find("method=" + method) != std::string::npos;
        if (count >= expected) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return count;
}

DovecotServer::Options offering(const std::string& mechanisms) {
    DovecotServer::Options options;
    options.authMechanisms = mechanisms;
    return options;
}

TEST(Pop3SaslDovecot, APasswordUsesTheStrongestMechanismOnlyOverTls) {
    DovecotServer server(offering("plain scram-sha-256 apop"));
    PollEventLoop loop;
    const struct {
        const char* what;
        TmsSecurity security;
        bool tlsPort;
        const char* password;
        std::string error;
    } cases[] = {
        {"STARTTLS", TmsSecurity::STARTTLS, false, "secret", ""},
        {"SSL/TLS", TmsSecurity::SSLTLS, true, "secret", ""},
        {"SSL/TLS, a wrong password", TmsSecurity::SSLTLS, true, "wrong",
         "The server localhost refused the user name or password. It said: -ERR [AUTH] Authentication failed."},
    };
    int scram = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TmsRemotePOP pop(loop, loop);
        pop.Server = "localhost:" + std::to_string(c.tlsPort ? server.tlsPort() : server.port());
        pop.Security = c.security;
        pop.CAFile = server.caFile();
        pop.UserName = "joe";
        pop.Password = c.password;
        pop.TimeOut = 10;
        std::string error;
        try {
            pop.UpdateInfo();
        } catch (const EServerError& e) {
            error = e.what();
        }
        EXPECT_EQ(error, c.error);
        EXPECT_FALSE(pop.IsConnected());
        scram += c.error.empty();
        EXPECT_EQ(loginsWith(server, "SCRAM-SHA-256", scram), scram);
    }
    // Without TLS the password goes as it always did, with USER and PASS.
    TmsRemotePOP pop(loop, loop);
    pop.Server = "127.0.0.1:" + std::to_string(server.port());
    pop.Security = TmsSecurity::None;
    pop.UserName = "joe";
    pop.Password = "secret";
    pop.TimeOut = 10;
    pop.UpdateInfo();
    EXPECT_EQ(loginsWith(server, "PLAIN", 1), 1);
    EXPECT_EQ(loginsWith(server, "SCRAM-SHA-256", scram), scram);
}

TEST(Pop3SaslDovecot, PlainInsideTlsWhenTheServerOffersNothingStronger) {
    DovecotServer server(offering("plain"));
    PollEventLoop loop;
    TmsRemotePOP pop(loop, loop);
    pop.Server = "localhost:" + std::to_string(server.tlsPort());
    pop.Security = TmsSecurity::SSLTLS;
    pop.CAFile = server.caFile();
    pop.UserName = "joe";
    pop.Password = "secret";
    pop.TimeOut = 10;
    pop.UpdateInfo();
    EXPECT_EQ(loginsWith(server, "PLAIN", 1), 1);
    const TmsCapabilities::Capability* sasl = pop.Capabilities().find("SASL");
    ASSERT_NE(sasl, nullptr);
    EXPECT_EQ(sasl->arguments, std::vector<std::string>{"PLAIN"});
}

}  // namespace
}  // namespace quorvel
