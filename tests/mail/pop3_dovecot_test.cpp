// The POP3 client against a real Dovecot on loopback, plain and with TLS.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "mail/pop3_client.h"
#include "platform/files.h"
#include "platform/poll_event_loop.h"
#include "support/dovecot_server.h"
#include "support/fake_platform.h"

namespace quorvel {
namespace {

using testing::DovecotServer;
using testing::makeMessage;

// How the server sends a stored message: dot-stuffed and ended by ".".
std::string onTheWire(const std::string& message) {
    std::string wire;
    std::size_t i = 0;
    while (i < message.size()) {
        const std::size_t end = message.find("\r\n", i);
        const std::string line = message.substr(i, end - i);
        wire += (line.starts_with(".") ? "." : "") + line + "\r\n";
        i = end + 2;
    }
    return wire + ".\r\n";
}

TmsHeaders headerLines(const std::string& message) {
    TmsHeaders lines;
    std::size_t i = 0;
    for (;;) {
        const std::size_t end = message.find("\r\n", i);
        if (end == i) return lines;
        lines.push_back(message.substr(i, end - i));
        i = end + 2;
    }
}

class Pop3Dovecot : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        server = std::make_unique<DovecotServer>();
        server->addMessages({makeMessage(1, 3), makeMessage(2, 40), makeMessage(3, 0), makeMessage(4, 12)});
    }
    static void TearDownTestSuite() { server.reset(); }

    std::unique_ptr<TmsRemotePOP> client(bool tls = false) {
        auto pop = std::make_unique<TmsRemotePOP>(loop, loop);
        // The certificate names localhost only.
        pop->Server = (tls ? "localhost:" : "127.0.0.1:") + std::to_string(tls ? server->tlsPort() : server->port());
        pop->UserName = "joe";
        pop->Password = "secret";
        pop->TimeOut = 10;
        if (tls) {
            pop->UseTLS = true;
            pop->CAFile = server->caFile();
        }
        return pop;
    }

    static std::unique_ptr<DovecotServer> server;
    PollEventLoop loop;
};

std::unique_ptr<DovecotServer> Pop3Dovecot::server;

// Each listing must match what the server holds, over plain TCP and TLS.
TEST_F(Pop3Dovecot, ListingHoldsTheServersSizesAndHeaderLines) {
    for (const bool tls : {false, true}) {
        SCOPED_TRACE(tls ? "TLS" : "plain");
        auto pop = client(tls);
        pop->UpdateInfo();
        const auto stored = server->messages();
        ASSERT_EQ(pop->RemoteInfo().Count(), static_cast<int>(stored.size()));
        for (int i = 0; i < pop->RemoteInfo().Count(); ++i) {
            EXPECT_EQ(pop->RemoteInfo().Items(i).Size, static_cast<int>(stored[static_cast<std::size_t>(i)].size()));
            EXPECT_EQ(pop->RemoteInfo().Items(i).Headers, headerLines(stored[static_cast<std::size_t>(i)]));
        }
        EXPECT_FALSE(pop->IsConnected());
    }
}

TEST_F(Pop3Dovecot, RetrievedMessageIsSavedByteForByte) {
    testing::TempFolder folder;
    auto pop = client();
    pop->setMessageDirectory(folder.path());
    pop->KeepConnected = true;
    pop->UpdateInfo();
    pop->SetRetrieveMark(1);
    pop->ProcessMarks();
    EXPECT_EQ(readFileBytes(folder.file("msg_1.eml")), std::optional(onTheWire(server->messages()[1])));
    EXPECT_FALSE(fileExists(folder.file("msg_0.eml")));
}

TEST_F(Pop3Dovecot, KeptSessionLogsInOnceForTwoListings) {
    auto pop = client();
    pop->KeepConnected = true;
    int opens = 0;
    pop->OnOpen = [&] { ++opens; };
    const auto logins = [] {
        const std::string log = server->log();
        int count = 0;
        for (auto at = log.find("Login: user=<joe>"); at != std::string::npos; at = log.find("Login: user=<joe>", at + 1))
            ++count;
        return count;
    };
    const int before = logins();
    pop->UpdateInfo();
    pop->UpdateInfo();
    EXPECT_EQ(pop->RemoteInfo().Count(), 4);
    pop->Close();
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(logins(), before + 1);
}

TEST_F(Pop3Dovecot, WrongPasswordGivesTheServersLine) {
    auto pop = client();
    pop->Password = "wrong";
    try {
        pop->UpdateInfo();
        FAIL() << "no error";
    } catch (const EServerError& e) {
        EXPECT_STREQ(e.what(), "-ERR [AUTH] Authentication failed.");
    }
    EXPECT_FALSE(pop->IsConnected());
}

TEST_F(Pop3Dovecot, UntrustedCertificateEndsTheOperationThroughOnError) {
    auto pop = client(true);
    pop->CAFile = server->otherCaFile();
    std::string reported;
    pop->OnError = [&](std::string& msg) { reported = msg; };
    try {
        pop->UpdateInfo();
        FAIL() << "no error";
    } catch (const ESocketError& e) {
        EXPECT_EQ(e.what(), reported);
        EXPECT_EQ(reported, "The server's certificate was not accepted: unable to get local issuer certificate");
    }
    EXPECT_FALSE(pop->IsConnected());
}

TEST_F(Pop3Dovecot, CertificateForAnotherNameIsRefused) {
    auto pop = client(true);
    pop->Server = "127.0.0.1:" + std::to_string(server->tlsPort());  // not named in the certificate
    try {
        pop->UpdateInfo();
        FAIL() << "no error";
    } catch (const ESocketError& e) {
        EXPECT_STREQ(e.what(), "The server's certificate was not accepted: IP address mismatch");
    }
    pop->Server = "localhost:" + std::to_string(server->tlsPort());  // named: accepted
    pop->UpdateInfo();
    EXPECT_EQ(pop->RemoteInfo().Count(), 4);
}

// Runs last in the suite: it changes the mailbox.
TEST_F(Pop3Dovecot, ZDeletesOnlyTheMarkedMessages) {
    const auto before = server->messages();
    auto pop = client(true);
    pop->UpdateInfo();
    pop->SetDeleteMark(0);
    pop->SetDeleteMark(2);
    pop->ProcessMarks();
    EXPECT_FALSE(pop->IsConnected());

    auto second = client();
    second->UpdateInfo();
    ASSERT_EQ(second->RemoteInfo().Count(), 2);
    EXPECT_EQ(second->RemoteInfo().Items(0).Headers, headerLines(before[1]));
    EXPECT_EQ(second->RemoteInfo().Items(1).Headers, headerLines(before[3]));
}

}  // namespace
}  // namespace quorvel
