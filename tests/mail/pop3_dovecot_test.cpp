// The POP3 client against a real Dovecot on loopback: plain, STARTTLS, TLS
// from the first octet, APOP, and the checks of the server's certificate.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <memory>
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>
#include <string>
#include <vector>

#include "mail/pipeline_window.h"
#include "mail/pop3_client.h"
#include "platform/files.h"
#include "platform/poll_event_loop.h"
#include "support/memory_listing_cache.h"
#include "support/dovecot_server.h"
#include "support/fake_platform.h"

namespace quorvel {
namespace {

using testing::MemoryListingCache;
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
        // Plain as the user chose it; left unset, the offered STLS would be taken.
        pop->Security = tls ? TmsSecurity::SSLTLS : TmsSecurity::None;
        if (tls) pop->CAFile = server->caFile();
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

// A listing keeps at most MaxListingHeaderOctets of records in all. At
// the exact total it is whole; below it the check ends with the reason, and
// the session ends without QUIT. Alike one command at a time, sent ahead, and
// with the records a listing cache knows.
TEST_F(Pop3Dovecot, ListingHeaderLinesAreCappedInAll) {
    MemoryListingCache cache;
    for (const int way : {0, 1, 2}) {
        // What the listing keeps, each way (with the cache the records hold their ids).
        std::size_t total = 0;
        {
            auto pop = client();
            pop->UsePipelining = way != 0;
            pop->ListingCache = way == 2 ? &cache : nullptr;
            pop->UpdateInfo();
            ASSERT_EQ(pop->RemoteInfo().Count(), 4);
            for (int i = 0; i < pop->RemoteInfo().Count(); ++i)
                total += TmsRemotePOP::recordOctets(pop->RemoteInfo().Items(i));
        }
        ASSERT_GT(total, 4 * TmsRemotePOP::kRecordOctets);
        for (const std::size_t cap : {total - 1, total, total + 1, total * 4, total / 2, std::size_t{0}}) {
            SCOPED_TRACE("cap " + std::to_string(cap) + ", way " + std::to_string(way));
            auto pop = client();
            pop->UsePipelining = way != 0;
            pop->ListingCache = way == 2 ? &cache : nullptr;
            pop->MaxListingHeaderOctets = cap;
            if (cap >= total) {
                pop->UpdateInfo();
                EXPECT_EQ(pop->RemoteInfo().Count(), 4);
                continue;
            }
            try {
                pop->UpdateInfo();
                ADD_FAILURE() << "listed past the cap";
            } catch (const ESocketError& error) {
                EXPECT_NE(std::string(error.what()).find("come to more than " + std::to_string(cap) + " bytes"),
                          std::string::npos)
                    << error.what();
            }
            EXPECT_FALSE(pop->IsConnected());
            EXPECT_LT(pop->RemoteInfo().Count(), 4);
        }
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
    // Dovecot's log process writes a moment after the log-in: wait for the
    // line, then long enough that a second log-in would show too.
    for (int i = 0; i < 50 && logins() < before + 1; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(logins(), before + 1);
}

TEST_F(Pop3Dovecot, WrongPasswordGivesTheServersLine) {
    auto pop = client();
    pop->Password = "wrong";
    try {
        pop->UpdateInfo();
        FAIL() << "no error";
    } catch (const EServerError& e) {
        EXPECT_STREQ(e.what(),
                     "The server 127.0.0.1 refused the user name or password. It said: -ERR [AUTH] Authentication "
                     "failed.");
    }
    EXPECT_FALSE(pop->IsConnected());
}

// How many log-ins the server logged with all of `marks` on the line.
int loggedLogins(const DovecotServer& server, const std::vector<std::string>& marks) {
    const std::string log = server.log();
    int count = 0;
    std::size_t at = 0;
    while ((at = log.find("Login: user=<joe>", at)) != std::string::npos) {
        const std::string line = log.substr(at, log.find('\n', at) - at);
        bool all = true;
        for (const auto& mark : marks) all = all && line.find(mark) != std::string::npos;
        count += all ? 1 : 0;
        ++at;
    }
    return count;
}

// The server writes its log a moment after it answered: waits until it
// holds `expected` such log-ins (or a few seconds went by), then tells.
int loggedLoginsAfter(const DovecotServer& server, const std::vector<std::string>& marks, int expected) {
    for (int i = 0; i < 100 && loggedLogins(server, marks) < expected; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return loggedLogins(server, marks);
}

TEST_F(Pop3Dovecot, StartTlsOnThePlainPortLogsInEncrypted) {
    auto pop = client();
    pop->Server = "localhost:" + std::to_string(server->port());
    pop->Security = TmsSecurity::STARTTLS;
    pop->CAFile = server->caFile();
    pop->KeepConnected = true;
    const int before = loggedLogins(*server, {"method=PLAIN", "TLS"});
    pop->UpdateInfo();
    EXPECT_EQ(pop->RemoteInfo().Count(), static_cast<int>(server->messages().size()));
    // Read again once TLS began: a server offers STLS only before.
    EXPECT_TRUE(pop->Capabilities().has("UIDL"));
    EXPECT_FALSE(pop->Capabilities().has("STLS"));
    pop->Close();
    EXPECT_EQ(loggedLoginsAfter(*server, {"method=PLAIN", "TLS"}, before + 1), before + 1);
}

// With no security chosen, a server that offers STLS is spoken to over
// STARTTLS. The choice is announced once the log-in succeeded: not when the
// certificate is refused, and not again on the kept session.
TEST_F(Pop3Dovecot, AnUnchosenSecurityTakesTheOfferedStartTls) {
    for (const bool trusted : {false, true}) {
        SCOPED_TRACE(trusted ? "trusted" : "refused certificate");
        auto pop = client();
        pop->Server = "localhost:" + std::to_string(server->port());
        pop->Security.reset();
        if (trusted) pop->CAFile = server->caFile();
        pop->KeepConnected = true;
        int chosen = 0;
        pop->OnSecurityChosen = [&] { ++chosen; };
        const int before = loggedLogins(*server, {"TLS"});
        if (!trusted) {
            EXPECT_THROW(pop->UpdateInfo(), EUntrustedCertificate);
            EXPECT_EQ(chosen, 0);
            EXPECT_FALSE(pop->IsConnected());
            continue;
        }
        pop->UpdateInfo();
        EXPECT_EQ(chosen, 1);
        EXPECT_EQ(pop->Security, TmsSecurity::STARTTLS);
        EXPECT_FALSE(pop->Capabilities().has("STLS"));
        pop->UpdateInfo();
        EXPECT_EQ(chosen, 1);
        pop->Close();
        EXPECT_EQ(loggedLoginsAfter(*server, {"TLS"}, before + 1), before + 1);
    }
}

// Whatever the port, the chosen security is what is spoken.
TEST_F(Pop3Dovecot, ChosenSecurityIsSpokenOnAnyPort) {
    const struct {
        TmsSecurity security;
        bool tlsPort;
        bool encrypted;
    } cases[] = {
        {TmsSecurity::None, false, false},
        {TmsSecurity::STARTTLS, false, true},
        {TmsSecurity::SSLTLS, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(kSecurityNames[static_cast<std::size_t>(c.security)]);
        auto pop = client();
        pop->Server = "localhost:" + std::to_string(c.tlsPort ? server->tlsPort() : server->port());
        pop->Security = c.security;
        pop->CAFile = server->caFile();
        const int plain = loggedLogins(*server, {"method=PLAIN", "secured"});
        const int tls = loggedLogins(*server, {"method=PLAIN", "TLS"});
        pop->UpdateInfo();
        EXPECT_EQ(pop->RemoteInfo().Count(), static_cast<int>(server->messages().size()));
        // Every log-in is logged as encrypted ("TLS") or not ("secured": loopback).
        EXPECT_EQ(loggedLoginsAfter(*server, {"method=PLAIN"}, tls + plain + 1), tls + plain + 1);
        EXPECT_EQ(loggedLogins(*server, {"method=PLAIN", "TLS"}), tls + (c.encrypted ? 1 : 0));
        EXPECT_EQ(loggedLogins(*server, {"method=PLAIN", "secured"}), plain + (c.encrypted ? 0 : 1));
    }
}

TEST_F(Pop3Dovecot, ApopLogsInAndAWrongPasswordGetsTheServersLine) {
    auto pop = client();
    pop->SignIn = TmsSignIn::APOP;
    const int before = loggedLogins(*server, {"method=APOP"});
    pop->UpdateInfo();
    EXPECT_EQ(pop->RemoteInfo().Count(), static_cast<int>(server->messages().size()));
    EXPECT_EQ(loggedLoginsAfter(*server, {"method=APOP"}, before + 1), before + 1);

    pop->Password = "wrong";
    try {
        pop->UpdateInfo();
        FAIL() << "no error";
    } catch (const EServerError& e) {
        EXPECT_STREQ(e.what(),
                     "The server 127.0.0.1 refused the user name or password. It said: -ERR [AUTH] Authentication "
                     "failed.");
    }
    EXPECT_FALSE(pop->IsConnected());
}

TEST_F(Pop3Dovecot, UntrustedCertificateIsNamedInOneMessage) {
    for (const TmsSecurity security : {TmsSecurity::SSLTLS, TmsSecurity::STARTTLS}) {
        SCOPED_TRACE(kSecurityNames[static_cast<std::size_t>(security)]);
        auto pop = client(true);
        pop->Security = security;
        if (security == TmsSecurity::STARTTLS) pop->Server = "localhost:" + std::to_string(server->port());
        pop->CAFile = server->otherCaFile();
        std::vector<std::string> reported;
        pop->OnError = [&](std::string& msg) { reported.push_back(msg); };
        const int logins = loggedLogins(*server, {});
        try {
            pop->UpdateInfo();
            FAIL() << "no error";
        } catch (const ESocketError& e) {
            EXPECT_EQ(reported, std::vector<std::string>{e.what()});
            EXPECT_STREQ(e.what(),
                         "The certificate of the server localhost is not trusted: unable to get local issuer "
                         "certificate");
        }
        EXPECT_FALSE(pop->IsConnected());
        EXPECT_EQ(loggedLogins(*server, {}), logins);  // never fell back to plain text
    }
}

// A certificate the checks refuse comes with what the user needs to trust it;
// once trusted (pinned) it is taken, and any other refused one is refused
// again with both fingerprints named. Nothing is sent before the certificate
// is settled.
TEST_F(Pop3Dovecot, UntrustedCertificateCanBeTrustedByItsFingerprint) {
    const std::string fingerprint = server->certificateFingerprint();
    ASSERT_EQ(fingerprint.size(), 95u) << fingerprint;
    for (const TmsSecurity security : {TmsSecurity::SSLTLS, TmsSecurity::STARTTLS}) {
        SCOPED_TRACE(kSecurityNames[static_cast<std::size_t>(security)]);
        auto pop = client(true);
        pop->Security = security;
        if (security == TmsSecurity::STARTTLS) pop->Server = "localhost:" + std::to_string(server->port());
        pop->CAFile = server->otherCaFile();
        const int logins = loggedLogins(*server, {});
        try {
            pop->UpdateInfo();
            FAIL() << "no error";
        } catch (const EUntrustedCertificate& e) {
            EXPECT_EQ(e.details().fingerprint, fingerprint);
            EXPECT_EQ(e.details().subject, "CN = localhost");
            EXPECT_EQ(e.details().issuer, "CN = QuorvelTestCA");
            EXPECT_FALSE(e.details().validFrom.empty());
            EXPECT_FALSE(e.details().validUntil.empty());
            EXPECT_EQ(e.details().problem, "unable to get local issuer certificate");
        }
        EXPECT_EQ(loggedLogins(*server, {}), logins);

        pop->CertificatePin = fingerprint;
        pop->UpdateInfo();
        EXPECT_EQ(pop->RemoteInfo().Count(), static_cast<int>(server->messages().size()));

        std::string other = fingerprint;
        other[0] = other[0] == 'A' ? 'B' : 'A';
        pop->CertificatePin = other;
        try {
            pop->UpdateInfo();
            FAIL() << "no error";
        } catch (const EUntrustedCertificate& e) {
            EXPECT_EQ(std::string(e.what()), "The certificate of the server localhost has changed since you chose to "
                                             "trust it: it was " + other + ", it is now " + fingerprint);
        }
        EXPECT_FALSE(pop->IsConnected());
    }
}

// None or STARTTLS chosen against a port that waits for TLS: no greeting
// comes, so the client looks and says what to choose instead of waiting
// the whole time-out.
TEST_F(Pop3Dovecot, PlainChoiceOnATlsPortSaysToChooseSslTls) {
    for (const TmsSecurity security : {TmsSecurity::None, TmsSecurity::STARTTLS}) {
        SCOPED_TRACE(kSecurityNames[static_cast<std::size_t>(security)]);
        auto pop = client(true);
        pop->Security = security;
        pop->TimeOut = 600;
        try {
            pop->UpdateInfo();
            FAIL() << "no error";
        } catch (const ESocketError& e) {
            EXPECT_EQ(std::string(e.what()), "The server localhost sent no greeting on port " +
                                                 std::to_string(server->tlsPort()) +
                                                 ": it expects TLS from the start. Choose SSL/TLS as this mailbox's "
                                                 "security.");
        }
        EXPECT_FALSE(pop->IsConnected());
    }
}

// The certificate must name the server as it was asked for: by host name or
// by address. A second server's certificate names another host and the
// loopback address.
TEST_F(Pop3Dovecot, CertificateMustNameTheServerAsAskedFor) {
    DovecotServer other({.certificateNames = "DNS:mail.quorvel.test,IP:127.0.0.1", .port995Address = {}});
    const struct {
        const DovecotServer* server;
        const char* host;
        const char* failure;  // empty: accepted
    } cases[] = {
        {server.get(), "localhost", ""},
        {server.get(), "127.0.0.1", "IP address mismatch"},
        {&other, "127.0.0.1", ""},
        {&other, "localhost", "hostname mismatch"},
    };
    for (const auto& c : cases) {
        for (const TmsSecurity security : {TmsSecurity::SSLTLS, TmsSecurity::STARTTLS}) {
            SCOPED_TRACE(std::string(c.host) + (c.server == &other ? " (other)" : "") + " " +
                         kSecurityNames[static_cast<std::size_t>(security)]);
            auto pop = client();
            const int port = security == TmsSecurity::SSLTLS ? c.server->tlsPort() : c.server->port();
            pop->Server = c.host + (":" + std::to_string(port));
            pop->Security = security;
            pop->CAFile = c.server->caFile();
            std::string failure;
            try {
                pop->UpdateInfo();
            } catch (const ESocketError& e) {
                failure = e.what();
            }
            EXPECT_EQ(failure, *c.failure ? "The certificate of the server " + std::string(c.host) +
                                                " is not trusted: " + c.failure
                                          : "");
        }
    }
}

// A loopback address of its own, so that port 995 is free for this test.
std::string freeLoopbackAddressFor995() {
    std::mt19937 random(static_cast<unsigned>(::getpid()) ^ std::random_device()());
    for (int attempt = 0; attempt < 20; ++attempt) {
        const std::string address = "127." + std::to_string(16 + random() % 200) + "." +
                                    std::to_string(random() % 250) + "." + std::to_string(2 + random() % 250);
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in probe{};
        probe.sin_family = AF_INET;
        probe.sin_port = htons(995);
        inet_pton(AF_INET, address.c_str(), &probe.sin_addr);
        const int on = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        const bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&probe), sizeof probe) == 0;
        ::close(fd);
        if (free) return address;
    }
    return {};
}

// An account stored before the choice existed speaks TLS on port 995.
TEST(Pop3Dovecot995, UnsetChoiceOnPort995SpeaksTls) {
    const std::string address = freeLoopbackAddressFor995();
    if (address.empty()) GTEST_SKIP() << "port 995 cannot be used here (it needs the right to bind it)";
    DovecotServer tls995({.certificateNames = "IP:" + address, .port995Address = address});
    PollEventLoop loop;
    TmsRemotePOP pop(loop, loop);
    pop.Server = address + ":995";
    pop.UserName = "joe";
    pop.Password = "secret";
    pop.TimeOut = 10;
    pop.CAFile = tls995.caFile();
    ASSERT_FALSE(pop.Security.has_value());
    pop.UpdateInfo();
    EXPECT_EQ(pop.MessageCount(), 0);
    EXPECT_EQ(loggedLoginsAfter(tls995, {"method=PLAIN", "TLS"}, 1), 1);
}

// Pipelined and one command at a time, over plain TCP and TLS, a listing
// and a deletion give the same records, events and mailbox left behind.
// Each run gets a server of its own holding the same messages: enough that the
// window grows to its octet cap (some 700 messages of LIST and TOP) and is
// refilled there.
TEST(Pop3DovecotPipelining, SameRecordsEventsAndMailboxAsOneCommandAtATime) {
    struct Run {
        std::vector<std::string> events;
        std::vector<std::pair<int, TmsHeaders>> records;
        std::vector<std::string> left;
        bool pipelined = false;
    };
    const int count = 1600;
    static_assert(count > 2 * (TmsPipelineWindow::kMaxCommandOctets / 23));
    std::vector<std::string> messages;
    for (int i = 0; i < count; ++i) messages.push_back(makeMessage(i + 1, (i * 7) % 30));
    const auto play = [&](bool tls, bool pipelining) {
        DovecotServer server;
        server.addMessages(messages);
        PollEventLoop loop;
        TmsRemotePOP pop(loop, loop);
        pop.Server = (tls ? "localhost:" : "127.0.0.1:") + std::to_string(tls ? server.tlsPort() : server.port());
        pop.UserName = "joe";
        pop.Password = "secret";
        pop.TimeOut = 10;
        pop.Security = tls ? TmsSecurity::SSLTLS : TmsSecurity::None;
        pop.CAFile = server.caFile();
        pop.UsePipelining = pipelining;
        Run run;
        pop.OnUpdatingInfo = [&] { run.events.push_back("UpdatingInfo"); };
        pop.OnNextInfoUpdated = [&](int n) { run.events.push_back("Next " + std::to_string(n)); };
        pop.OnInfoUpdated = [&] { run.events.push_back("InfoUpdated"); };
        pop.OnDeleting = [&](int n) { run.events.push_back("Deleting " + std::to_string(n)); };
        pop.OnTransferringData = [&] { run.events.push_back("TransferringData"); };
        pop.OnDataTransfered = [&] { run.events.push_back("DataTransfered"); };
        pop.OnClosed = [&] { run.events.push_back("Closed"); };
        pop.KeepConnected = true;
        pop.UpdateInfo();
        run.pipelined = pop.Pipelining();
        for (int i = 0; i < pop.RemoteInfo().Count(); ++i)
            run.records.emplace_back(pop.RemoteInfo().Items(i).Size, pop.RemoteInfo().Items(i).Headers);
        for (int i = 0; i < count; i += 3) pop.SetDeleteMark(i);
        pop.ProcessMarks();
        run.left = server.messages();
        return run;
    };
    for (const bool tls : {false, true}) {
        SCOPED_TRACE(tls ? "TLS" : "plain");
        const Run sequential = play(tls, false);
        const Run pipelined = play(tls, true);
        EXPECT_FALSE(sequential.pipelined);
        EXPECT_TRUE(pipelined.pipelined);
        ASSERT_EQ(sequential.records.size(), static_cast<std::size_t>(count));
        EXPECT_EQ(sequential.records[5].second, headerLines(messages[5]));
        EXPECT_EQ(pipelined.records, sequential.records);
        EXPECT_EQ(pipelined.events, sequential.events);
        EXPECT_EQ(sequential.left.size(), static_cast<std::size_t>(count - (count + 2) / 3));
        EXPECT_EQ(pipelined.left, sequential.left);
    }
}

// Every third message marked, across and well past the deletion window: one
// session deletes exactly the marked ones, and OnDeleted names each of them
// once the QUIT committed them.
TEST(Pop3DovecotPipelining, DeletesExactlyTheMarkedMessagesAtAnyCount) {
    const int first = TmsPipelineWindow::kFirstMessages;
    for (const int marked : {1, first - 1, first, first + 1, 3 * first + 1, 300}) {
        SCOPED_TRACE(marked);
        const int count = 3 * marked - 2;  // marked: 0, 3, 6, ... the last one included
        std::vector<std::string> messages;
        for (int i = 0; i < count; ++i) messages.push_back(makeMessage(i + 1, i % 4));
        DovecotServer server;
        server.addMessages(messages);
        PollEventLoop loop;
        TmsRemotePOP pop(loop, loop);
        pop.Server = "127.0.0.1:" + std::to_string(server.port());
        pop.Security = TmsSecurity::None;
        pop.UserName = "joe";
        pop.Password = "secret";
        pop.TimeOut = 10;
        std::vector<int> deleting, deleted;
        pop.OnDeleting = [&](int n) { deleting.push_back(n); };
        pop.OnDeleted = [&](int n) {
            // Only after the QUIT: the session is over by then.
            EXPECT_TRUE(deleting.size() == static_cast<std::size_t>(marked));
            deleted.push_back(n);
        };
        pop.KeepConnected = true;
        pop.UpdateInfo();
        ASSERT_TRUE(pop.Pipelining());
        ASSERT_EQ(pop.RemoteInfo().Count(), count);
        std::vector<int> expected;
        std::vector<std::string> left;
        for (int i = 0; i < count; ++i) {
            if (i % 3 == 0) {
                pop.SetDeleteMark(i);
                expected.push_back(i);
            } else {
                left.push_back(messages[static_cast<std::size_t>(i)]);
            }
        }
        pop.ProcessMarks();
        EXPECT_FALSE(pop.IsConnected());
        EXPECT_EQ(deleting, expected);
        EXPECT_EQ(deleted, expected);
        EXPECT_EQ(server.messages(), left);
    }
}

// A listing with a cache gives record for record what a full listing gives,
// while the mailbox grows, loses messages to another client and renumbers.
TEST(Pop3DovecotListingCache, CachedListingEqualsAFullListingAsTheMailboxChanges) {
    DovecotServer server;
    PollEventLoop loop;
    MemoryListingCache cache;
    const auto list = [&](bool cached, bool pipelining) {
        TmsRemotePOP pop(loop, loop);
        pop.Server = "127.0.0.1:" + std::to_string(server.port());
        pop.Security = TmsSecurity::None;
        pop.UserName = "joe";
        pop.Password = "secret";
        pop.TimeOut = 10;
        pop.UsePipelining = pipelining;
        if (cached) pop.ListingCache = &cache;
        pop.UpdateInfo();
        std::vector<std::pair<int, TmsHeaders>> records;
        for (int i = 0; i < pop.RemoteInfo().Count(); ++i) {
            records.emplace_back(pop.RemoteInfo().Items(i).Size, pop.RemoteInfo().Items(i).Headers);
            if (cached) EXPECT_FALSE(pop.RemoteInfo().Items(i).UIDL.empty());
        }
        return records;
    };
    const auto deleteBy = [&](const std::vector<int>& indexes) {
        TmsRemotePOP other(loop, loop);
        other.Server = "127.0.0.1:" + std::to_string(server.port());
        other.Security = TmsSecurity::None;
        other.UserName = "joe";
        other.Password = "secret";
        other.KeepConnected = true;
        other.UpdateInfo();
        for (const int i : indexes) other.SetDeleteMark(i);
        other.ProcessMarks();
    };
    std::vector<std::string> first;
    for (int i = 0; i < 6; ++i) first.push_back(makeMessage(i + 1, i));
    server.addMessages(first);
    for (const auto& step : {"first listing", "messages added", "deleted by another client"}) {
        SCOPED_TRACE(step);
        if (std::string(step) == "messages added") {
            std::vector<std::string> more;
            for (int i = 6; i < 75; ++i) more.push_back(makeMessage(i + 1, i % 5));
            server.addMessages(more);
        }
        if (std::string(step) == "deleted by another client") deleteBy({0, 3, 40});
        const auto full = list(false, true);
        for (const bool pipelining : {true, false}) {
            EXPECT_EQ(list(true, pipelining), full);
            EXPECT_EQ(cache.kept.size(), full.size());
        }
    }
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
