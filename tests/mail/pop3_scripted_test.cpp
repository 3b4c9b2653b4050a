// The POP3 client against scripted servers: the dialogues Dovecot will not
// play (silence, broken replies, cancels, a mailbox changed meanwhile).
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "mail/headers.h"
#include "mail/pop3_client.h"
#include "platform/files.h"
#include "platform/poll_event_loop.h"
#include "support/fake_platform.h"
#include "support/scripted_server.h"

namespace quorvel {
namespace {

using testing::ScriptedServer;

const std::vector<std::string> kLogIn = {
    "S: +OK ready", "C: CAPA", "S: +OK", "S: USER", "S: UIDL", "S: .",
    "C: USER joe",  "S: +OK",  "C: PASS secret", "S: +OK logged in",
};

std::vector<std::string> script(std::vector<std::string> steps, bool withLogIn = true) {
    std::vector<std::string> all = withLogIn ? kLogIn : std::vector<std::string>{};
    all.insert(all.end(), steps.begin(), steps.end());
    return all;
}

class Pop3Scripted : public ::testing::Test {
protected:
    Pop3Scripted() {
        pop.UserName = "joe";
        pop.Password = "secret";
        pop.TimeOut = 1;
        pop.OnOpen = [this] { events.push_back("Open"); };
        pop.OnClosing = [this] { events.push_back("Closing"); };
        pop.OnClosed = [this] { events.push_back("Closed"); };
        pop.OnCancel = [this] { events.push_back("Cancel"); };
        pop.OnError = [this](std::string& msg) { events.push_back("Error " + msg); };
        pop.OnUpdatingInfo = [this] { events.push_back("UpdatingInfo"); };
        pop.OnNextInfoUpdated = [this](int n) { events.push_back("NextInfoUpdated " + std::to_string(n)); };
        pop.OnInfoUpdated = [this] { events.push_back("InfoUpdated"); };
        pop.OnTransferringData = [this] { events.push_back("TransferringData"); };
        pop.OnDataTransfered = [this] { events.push_back("DataTransfered"); };
        pop.OnRetrieving = [this](int n) { events.push_back("Retrieving " + std::to_string(n)); };
        pop.OnRetrieved = [this](int n) { events.push_back("Retrieved " + std::to_string(n)); };
        pop.OnDeleting = [this](int n) { events.push_back("Deleting " + std::to_string(n)); };
    }

    void pointAt(const ScriptedServer& server) { pop.Server = "127.0.0.1:" + std::to_string(server.port()); }

    // Expects the server's dialogue to have been kept to the letter.
    static void expectKept(ScriptedServer& server) {
        server.join();
        EXPECT_EQ(server.failures(), std::vector<std::string>{});
    }

    PollEventLoop loop;
    TmsRemotePOP pop{loop, loop};
    std::vector<std::string> events;
};

TEST_F(Pop3Scripted, ListsTwoMessagesWithSizesAndHeaderLines) {
    ScriptedServer server(script({
        "C: STAT", "S: +OK 2 320",
        "C: LIST 1", "S: +OK 1 120",
        "C: TOP 1 1", "S: +OK", "S: Subject: one", "S:  folded", "S: ", "S: body line", "S: .",
        "C: LIST 2", "S: +OK 2 200",
        "C: TOP 2 1", "S: +OK", "S: From: a@b", "S: ..dotted", "S: .",  // no empty line: nothing is cut
        "C: QUIT", "S: +OK bye",
    }));
    pointAt(server);
    pop.UpdateInfo();
    expectKept(server);

    EXPECT_EQ(pop.MessageCount(), 2);
    EXPECT_EQ(pop.TotalSize(), 320);
    ASSERT_EQ(pop.RemoteInfo().Count(), 2);
    EXPECT_EQ(pop.RemoteInfo().Items(0).Size, 120);
    EXPECT_EQ(pop.RemoteInfo().Items(0).Headers, (TmsHeaders{"Subject: one", " folded"}));
    EXPECT_EQ(pop.RemoteInfo().Items(1).Size, 200);
    EXPECT_EQ(pop.RemoteInfo().Items(1).Headers, (TmsHeaders{"From: a@b", "..dotted", "."}));
    EXPECT_EQ(events, (std::vector<std::string>{"Open", "UpdatingInfo", "NextInfoUpdated 0", "NextInfoUpdated 1",
                                                "Closing", "Closed", "InfoUpdated"}));
    EXPECT_FALSE(pop.IsConnected());
}

TEST_F(Pop3Scripted, EmptyMailboxSendsOnlyStatAndQuit) {
    ScriptedServer server(script({"C: STAT", "S: +OK 0 0", "C: QUIT", "S: +OK"}));
    pointAt(server);
    pop.UpdateInfo();
    expectKept(server);
    EXPECT_EQ(events, (std::vector<std::string>{"Open", "UpdatingInfo", "Closing", "Closed", "InfoUpdated"}));
}

// A STAT reply without a size is no count: nothing of the previous
// session's counts stands for this one, and the session is ended.
TEST_F(Pop3Scripted, StatWithoutSizeIsNotAMessageCount) {
    ScriptedServer first(script({"C: STAT", "S: +OK 0 0", "C: QUIT", "S: +OK"}));
    pointAt(first);
    pop.UpdateInfo();
    expectKept(first);
    EXPECT_EQ(pop.MessageCount(), 0);
    EXPECT_EQ(pop.TotalSize(), 0);
    for (const char* reply : {"S: +OK 1", "S: +OK", "S: +OK x 100", "S: +OK -1 100"}) {
        SCOPED_TRACE(reply);
        ScriptedServer server(script({"C: STAT", reply, "WAIT"}));
        pointAt(server);
        try {
            pop.UpdateInfo();
            ADD_FAILURE() << "listed";
        } catch (const EServerError& e) {
            EXPECT_EQ(std::string(e.what()), "The server's STAT reply is not a message count: " + std::string(reply + 3));
        }
        EXPECT_EQ(pop.MessageCount(), -1);
        EXPECT_EQ(pop.TotalSize(), -1);
        EXPECT_EQ(pop.RemoteInfo().Count(), 0);
        EXPECT_FALSE(pop.IsConnected());
        expectKept(server);
    }
}

// A listing counts each record's own keeping against its cap, so a server
// that claims a great many messages with empty headers is bounded as surely
// as one with large headers; a count that could not fit even so is refused
// before anything is asked for it.
TEST_F(Pop3Scripted, EveryRecordCountsAgainstTheListingCap) {
    pop.MaxListingHeaderOctets = 3 * TmsRemotePOP::kRecordOctets;
    for (const int count : {2, 3, 4, 12, 1000000}) {
        SCOPED_TRACE(count);
        std::vector<std::string> steps = {"C: STAT", "S: +OK " + std::to_string(count) + " 100"};
        if (count <= 3) {
            for (int n = 1; n <= count; ++n) {
                const std::string number = std::to_string(n);
                for (const std::string& step : {"C: LIST " + number, "S: +OK " + number + " 10",
                                                "C: TOP " + number + " 1", std::string("S: +OK"), std::string("S: "),
                                                std::string("S: .")})
                    steps.push_back(step);
            }
            steps.push_back("C: QUIT");
            steps.push_back("S: +OK");
        } else {
            steps.push_back("WAIT");
        }
        ScriptedServer server(script(steps));
        pointAt(server);
        if (count <= 3) {
            pop.UpdateInfo();
            EXPECT_EQ(pop.RemoteInfo().Count(), count);
        } else {
            try {
                pop.UpdateInfo();
                ADD_FAILURE() << "listed past the cap";
            } catch (const ESocketError& e) {
                EXPECT_NE(std::string(e.what()).find("come to more than " +
                                                     std::to_string(pop.MaxListingHeaderOctets) + " bytes"),
                          std::string::npos)
                    << e.what();
            }
            EXPECT_EQ(pop.RemoteInfo().Count(), 0);
            EXPECT_FALSE(pop.IsConnected());
            server.join();
            EXPECT_EQ(server.received().back(), "STAT");
        }
        expectKept(server);
    }
}

// A listing that failed after the log-in ends its session (with QUIT when
// the replies are in step): the mailbox is not left locked, and the next
// listing logs in again, on whichever server it is pointed at. A session
// kept for one server is never used for another.
TEST_F(Pop3Scripted, AFailedOrForeignSessionIsNeverReused) {
    pop.KeepConnected = true;
    ScriptedServer failing(script({"C: STAT", "S: +OK 2 320", "C: LIST 1", "S: +OK 1 120", "C: TOP 1 1",
                                   "S: +OK", "S: Subject: one", "S: .", "C: LIST 2", "S: -ERR no such message",
                                   "C: QUIT", "S: +OK"}));
    pointAt(failing);
    EXPECT_THROW(pop.UpdateInfo(), EServerError);
    EXPECT_FALSE(pop.IsConnected());
    expectKept(failing);

    ScriptedServer kept(script({"C: STAT", "S: +OK 0 0", "C: QUIT", "S: +OK"}));
    pointAt(kept);
    pop.UpdateInfo();
    EXPECT_TRUE(pop.IsConnected());

    // The same client pointed at another server: the kept session says QUIT.
    ScriptedServer other(script({"C: STAT", "S: +OK 1 50", "C: LIST 1", "S: +OK 1 50", "C: TOP 1 1", "S: +OK",
                                 "S: Subject: other", "S: ", "S: .", "C: QUIT", "S: +OK"}));
    pointAt(other);
    pop.KeepConnected = false;
    pop.UpdateInfo();
    expectKept(kept);
    expectKept(other);
    ASSERT_EQ(pop.RemoteInfo().Count(), 1);
    EXPECT_EQ(pop.RemoteInfo().Items(0).Headers, (TmsHeaders{"Subject: other"}));
    // Another user on the same server is another account too.
    pop.KeepConnected = true;
    ScriptedServer shared(script({"C: STAT", "S: +OK 0 0", "C: QUIT", "S: +OK", "ACCEPT", "S: +OK ready", "C: CAPA",
                                  "S: -ERR", "C: USER ann", "S: +OK", "C: PASS secret", "S: +OK", "C: STAT",
                                  "S: +OK 0 0", "C: QUIT", "S: +OK"}));
    pointAt(shared);
    pop.UpdateInfo();
    EXPECT_TRUE(pop.IsConnected());
    pop.UserName = "ann";
    pop.KeepConnected = false;
    pop.UpdateInfo();
    expectKept(shared);
}

// A log-in that fails after the sign-in (here on STAT) leaves no session
// behind: the next mailbox is listed from its own server.
TEST_F(Pop3Scripted, FailedLogInLeavesNoSessionForTheNextMailbox) {
    ScriptedServer first(script({"C: STAT", "S: +OK 1 100", "C: LIST 1", "S: +OK 1 100", "C: TOP 1 1", "S: +OK",
                                 "S: Subject: from A", "S: ", "S: .", "C: QUIT", "S: +OK"}));
    pointAt(first);
    pop.UpdateInfo();
    expectKept(first);

    ScriptedServer failing(script({"C: STAT", "S: +OK lots of mail", "WAIT"}));
    pointAt(failing);
    std::string failure;
    try {
        pop.UpdateInfo();
    } catch (const EServerError& e) {
        failure = e.what();
    }
    EXPECT_EQ(failure, "The server's STAT reply is not a message count: +OK lots of mail");
    EXPECT_FALSE(pop.IsConnected());
    failing.join();
    EXPECT_EQ(failing.failures(), std::vector<std::string>{});
    EXPECT_TRUE(failing.sawClientClose());
    EXPECT_EQ(failing.received().back(), "STAT");

    ScriptedServer third(script({"C: STAT", "S: +OK 1 100", "C: LIST 1", "S: +OK 1 100", "C: TOP 1 1", "S: +OK",
                                 "S: Subject: from C", "S: ", "S: .", "C: QUIT", "S: +OK"}));
    pointAt(third);
    pop.UpdateInfo();
    expectKept(third);
    ASSERT_EQ(pop.RemoteInfo().Count(), 1);
    EXPECT_EQ(pop.RemoteInfo().Items(0).Headers, (TmsHeaders{"Subject: from C"}));
}

// A reply line arrives whole however the server cuts it and whatever its line end.
TEST_F(Pop3Scripted, ReplyLinesAreAssembledFromAnyPiecesAndLineEnds) {
    const std::vector<std::vector<std::string>> greetings = {
        {"SPLIT: +OK split greeting"},
        {"RAW: +OK lf only\n"},
        {"RAW: +OK two in one\r\n-ERR"},  // the second reply starts in the same segment
    };
    for (const auto& greeting : greetings) {
        SCOPED_TRACE(greeting.front());
        std::vector<std::string> steps = greeting;
        const bool merged = greeting.front().find("two in one") != std::string::npos;
        for (const char* s : {"C: CAPA", merged ? "RAW: \r\n" : "S: -ERR", "C: USER joe", "S: +OK", "C: PASS secret",
                              "SPLIT: +OK fine",
                              "C: STAT", "RAW: +OK 0 0\n", "C: QUIT", "S: +OK"})
            steps.push_back(s);
        ScriptedServer server(steps);
        pointAt(server);
        pop.UpdateInfo();
        expectKept(server);
        EXPECT_EQ(pop.LastReply, "+OK");
        EXPECT_EQ(pop.MessageCount(), 0);
    }
}

TEST_F(Pop3Scripted, OverlongReplyLineIsCutAndTheNextLineStaysWhole) {
    const std::string longReply = "+OK " + std::string(3000, 'x');
    // A long greeting: the CAPA answer after it is read from its first octet.
    ScriptedServer server({"S: " + longReply, "C: CAPA", "S: +OK", "S: USER", "S: .", "C: USER joe", "S: +OK",
                           "C: PASS secret", "S: +OK", "C: STAT", "S: +OK 0 0", "C: QUIT", "S: +OK bye"});
    pointAt(server);
    pop.UpdateInfo();
    expectKept(server);
    EXPECT_TRUE(pop.Capabilities().has("USER"));
    EXPECT_EQ(pop.LastReply, "+OK bye");
    EXPECT_EQ(pop.MessageCount(), 0);
}

// TOP is optional: refused on the first message, the user is told the
// server cannot list headers alone, not shown its bare line.
TEST_F(Pop3Scripted, ErrorReplyToTopStopsTheListing) {
    ScriptedServer server(script({"C: STAT", "S: +OK 2 320", "C: LIST 1", "S: +OK 1 120", "C: TOP 1 1",
                                  "S: -ERR TOP not supported", "C: QUIT", "S: +OK"}));
    pointAt(server);
    try {
        pop.UpdateInfo();
        FAIL() << "no error";
    } catch (const EServerError& e) {
        EXPECT_STREQ(e.what(),
                     "The server 127.0.0.1 cannot send the headers of a message alone (it refused TOP: -ERR TOP not "
                     "supported); nothing was downloaded");
    }
    EXPECT_EQ(pop.RemoteInfo().Count(), 0);
    EXPECT_FALSE(pop.IsConnected());
    expectKept(server);
    // Not through OnError; the session is ended with QUIT.
    EXPECT_EQ(events, (std::vector<std::string>{"Open", "UpdatingInfo", "Closing", "Closed"}));
}

TEST_F(Pop3Scripted, WrongPasswordClosesTheSocketSoTheNextCheckLogsInAgain) {
    ScriptedServer server({"S: +OK", "C: CAPA", "S: -ERR", "C: USER joe", "S: +OK", "C: PASS secret",
                           "S: -ERR invalid password", "ACCEPT", "S: +OK", "C: CAPA", "S: -ERR", "C: USER joe", "S: +OK",
                           "C: PASS secret", "S: +OK", "C: STAT", "S: +OK 0 0", "C: QUIT", "S: +OK"});
    pointAt(server);
    try {
        pop.UpdateInfo();
        FAIL() << "no error";
    } catch (const EServerError& e) {
        EXPECT_STREQ(e.what(), "The server 127.0.0.1 refused the user name or password. It said: -ERR invalid password");
    }
    EXPECT_FALSE(pop.IsConnected());
    pop.UpdateInfo();
    expectKept(server);
}

TEST(Pop3Refusal, RefusedLogInIsSaidInPlainWordsUnlessTheServerSaysWhy) {
    const struct {
        const char* reply;
        const char* shown;
    } cases[] = {
        {"-ERR [AUTH] Authentication failed.",
         "The server mail.test refused the user name or password. It said: -ERR [AUTH] Authentication failed."},
        {"-ERR invalid password", "The server mail.test refused the user name or password. It said: -ERR invalid password"},
        {"-ERR", "The server mail.test refused the user name or password. It said: -ERR"},
        {"-ERR [IN-USE] Mailbox locked",
         "The mailbox on mail.test is in use (by a delivery, another mail program, or Quorvel); try again when it "
         "is free. The server said: -ERR [IN-USE] Mailbox locked"},
        {"-ERR can't lock mailbox file",
         "The mailbox on mail.test is in use (by a delivery, another mail program, or Quorvel); try again when it "
         "is free. The server said: -ERR can't lock mailbox file"},
        {"-ERR [SYS/TEMP] Try again later", "-ERR [SYS/TEMP] Try again later"},
        {"-ERR [LOGIN-DELAY] Wait a little", "-ERR [LOGIN-DELAY] Wait a little"},
        {"-ERR wrong [IN-USE] late in the line",
         "The server mail.test refused the user name or password. It said: -ERR wrong [IN-USE] late in the line"},
    };
    for (const auto& c : cases) EXPECT_EQ(TmsCustomPOP::RefusedLogInText("mail.test", c.reply), c.shown) << c.reply;
}

TEST(Pop3Refusal, OnlyTheInUseCodeOrLockAsAWordMeansInUse) {
    const struct {
        const char* reply;
        bool inUse;
    } cases[] = {
        {"-ERR [IN-USE] Mailbox is locked by another session", true},
        {"-ERR [in-use] busy", true},
        {"-ERR can't lock mailbox file", true},
        {"-ERR maildrop already locked", true},
        {"-ERR Unable to lock maildrop", true},
        {"-ERR Your account is blocked", false},
        {"-ERR unlocked?", false},
        {"-ERR Blocklisted address", false},
        {"-ERR [AUTH] Authentication failed.", false},
        {"-ERR wrong [IN-USE] late in the line", false},
        {"The server 127.0.0.1 refused the user name or password. It said: -ERR [IN-USE] busy", true},
        {"The server lock.example refused the user name or password. It said: -ERR Your account is blocked", false},
    };
    for (const auto& c : cases) EXPECT_EQ(MailboxInUse(c.reply), c.inUse) << c.reply;
}

// solid-pop3d refuses PASS in these words while a delivery holds the mbox:
// the mailbox is in use, not the password wrong, and the session is closed.
TEST_F(Pop3Scripted, LockedMailboxIsInUseNotARefusedPassword) {
    ScriptedServer server({"S: +OK solid-pop3d ready", "C: CAPA", "S: -ERR unknown command", "C: USER joe", "S: +OK",
                           "C: PASS secret", "S: -ERR can't lock mailbox file", "WAIT"});
    pointAt(server);
    std::string shown;
    try {
        pop.UpdateInfo();
    } catch (const EMailboxInUse& e) {
        shown = e.what();
    }
    EXPECT_EQ(shown, "The mailbox on 127.0.0.1 is in use (by a delivery, another mail program, or Quorvel); try "
                     "again when it is free. The server said: -ERR can't lock mailbox file");
    EXPECT_FALSE(pop.IsConnected());
    expectKept(server);
}

// popa3d and solid-pop3d write a reply line and its answer in two small
// writes with Nagle's algorithm on: the second waits for the acknowledgement
// of the first. The client sends each command at once (TCP_NODELAY) and
// acknowledges what it read at once (TCP_QUICKACK, which Linux drops by
// itself, so it is asked again after every read), also one command at a time.
TEST(Pop3SocketOptions, CommandsGoAtOnceAndWhatArrivesIsAcknowledgedAtOnce) {
    struct Probe : TmsRemotePOP {
        using TmsRemotePOP::TmsRemotePOP;
        int option(int name) const {
            int value = -1;
            socklen_t length = sizeof value;
            if (getsockopt(socketHandle(), IPPROTO_TCP, name, &value, &length) != 0) return -1;
            return value;
        }
    };
    PollEventLoop loop;
    Probe pop(loop, loop);
    ScriptedServer server({"S: +OK popa3d", "C: CAPA", "S: -ERR unknown", "C: USER joe", "S: +OK", "C: PASS secret",
                           "S: +OK", "C: STAT", "S: +OK 1 100", "C: LIST 1", "S: +OK 1 100", "C: TOP 1 1", "S: +OK",
                           "S: Subject: one", "S: ", "S: .", "WAIT"});
    pop.Server = "127.0.0.1:" + std::to_string(server.port());
    pop.UserName = "joe";
    pop.Password = "secret";
    pop.TimeOut = 2;
    pop.KeepConnected = true;
    pop.UpdateInfo();
    EXPECT_FALSE(pop.Pipelining());
    EXPECT_EQ(pop.option(TCP_NODELAY), 1);
    EXPECT_EQ(pop.option(TCP_QUICKACK), 1);
    pop.Disconnect();
    server.join();
    EXPECT_EQ(server.failures(), std::vector<std::string>{});
}

// Courier shows a message whose header lines hold raw UTF-8 to a client that
// sent UTF8 (RFC 6856) and a stand-in to any other. UTF8 goes after CAPA
// when it is offered, and the lines are then shown as UTF-8.
TEST_F(Pop3Scripted, Utf8IsAskedForWhenOfferedAndTheHeadersShownAsUtf8) {
    const std::vector<std::string> standIn = {"S: From: Mail Delivery Subsystem <postmaster>",
                                              "S: Subject: Cannot display Unicode content", "S: ", "S: ."};
    const std::vector<std::string> real = {"S: From: Nils <nils@example.org>", "S: Subject: SV: M\xC3\xB6te imorgon",
                                           "S: ", "S: ."};
    const struct {
        const char* name;
        std::vector<std::string> capabilities, utf8, answer;
        bool utf8Mode;
        const char* subject;
        const char* sender;
    } cases[] = {
        {"offered", {"S: UTF8 USER"}, {"C: UTF8", "S: +OK UTF8 enabled"}, real, true, "SV: M\xC3\xB6te imorgon",
         "nils@example.org"},
        {"offered and refused", {"S: UTF8"}, {"C: UTF8", "S: -ERR not now"}, standIn, false,
         "Cannot display Unicode content", "postmaster"},
        {"not offered", {}, {}, standIn, false, "Cannot display Unicode content", "postmaster"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> steps = {"S: +OK Courier ready", "C: CAPA", "S: +OK", "S: USER", "S: TOP"};
        steps.insert(steps.end(), c.capabilities.begin(), c.capabilities.end());
        steps.push_back("S: .");
        steps.insert(steps.end(), c.utf8.begin(), c.utf8.end());
        for (const char* step : {"C: USER joe", "S: +OK", "C: PASS secret", "S: +OK", "C: STAT", "S: +OK 1 900",
                                 "C: LIST 1", "S: +OK 1 900", "C: TOP 1 1", "S: +OK"})
            steps.push_back(step);
        steps.insert(steps.end(), c.answer.begin(), c.answer.end());
        steps.push_back("C: QUIT");
        steps.push_back("S: +OK");
        ScriptedServer server(steps);
        pointAt(server);
        pop.UpdateInfo();
        expectKept(server);
        EXPECT_EQ(pop.Utf8Mode(), c.utf8Mode);
        ASSERT_EQ(pop.RemoteInfo().Count(), 1);
        const TmsHeaders& headers = pop.RemoteInfo().Items(0).Headers;
        EXPECT_EQ(FieldText(headers, "Subject"), c.subject);
        std::string address, name;
        SplitAddress(FieldText(headers, "From"), address, name);
        EXPECT_EQ(address, c.sender);
    }
}

// A plain server that greets only after the look for TLS gave up is still
// served: the look opens a connection of its own and sends only a TLS hello.
TEST_F(Pop3Scripted, SlowPlainGreetingIsWaitedForAfterTheLookForTls) {
    ScriptedServer server({"PAUSE: " + std::to_string((2 * TagSocket::kGreetingGrace + 1) * 1000), "S: +OK ready",
                           "C: CAPA", "S: -ERR", "C: USER joe", "S: +OK", "C: PASS secret", "S: +OK", "C: STAT",
                           "S: +OK 0 0", "C: QUIT", "S: +OK"});
    pointAt(server);
    pop.TimeOut = 4 * TagSocket::kGreetingGrace;
    pop.UpdateInfo();
    EXPECT_EQ(pop.RemoteInfo().Count(), 0);
    expectKept(server);
}

TEST_F(Pop3Scripted, SilentServerTimesOutAndTheSocketIsClosed) {
    ScriptedServer server({"WAIT"});
    pointAt(server);
    EXPECT_THROW(pop.UpdateInfo(), ETimedOutError);
    EXPECT_FALSE(pop.IsConnected());
    server.join();
    EXPECT_TRUE(server.sawClientClose());
    EXPECT_EQ(events, (std::vector<std::string>{"Open", "Error Operation timed out", "Closing", "Closed"}));
}

TEST_F(Pop3Scripted, ServerClosingInTheMiddleOfAnAnswerEndsInATimeOut) {
    ScriptedServer server(script({"C: STAT", "S: +OK 1 120", "C: LIST 1", "S: +OK 1 120", "C: TOP 1 1", "S: +OK",
                                  "S: Subject: cut", "CLOSE"}));
    pointAt(server);
    try {
        pop.UpdateInfo();
        FAIL() << "no error";
    } catch (const ETimedOutError& e) {
        EXPECT_STREQ(e.what(), "Operation timed out");
    }
    EXPECT_FALSE(pop.IsConnected());
}

TEST_F(Pop3Scripted, ServerClosingBeforeAReplySaysSo) {
    ScriptedServer server(script({"C: STAT", "CLOSE"}));
    pointAt(server);
    try {
        pop.UpdateInfo();
        FAIL() << "no error";
    } catch (const ESocketError& e) {
        EXPECT_STREQ(e.what(), "The server closed the connection");
    }
    EXPECT_FALSE(pop.IsConnected());
}

TEST_F(Pop3Scripted, RefusedConnectionFailsAtOnce) {
    pop.TimeOut = 600;  // a time-out would hang the test
    pop.Server = "127.0.0.1:" + std::to_string(testing::unusedPort());
    try {
        pop.UpdateInfo();
        FAIL() << "no error";
    } catch (const ESocketError& e) {
        EXPECT_STREQ(e.what(), "Connection refused");
    }
    EXPECT_FALSE(pop.IsConnected());
    EXPECT_EQ(events.at(1), "Error Connection refused");
}

TEST_F(Pop3Scripted, ErrorHandlerCanRewriteTheText) {
    pop.Server = "127.0.0.1:" + std::to_string(testing::unusedPort());
    pop.OnError = [](std::string& msg) { msg = "rewritten: " + msg; };
    try {
        pop.UpdateInfo();
        FAIL() << "no error";
    } catch (const ESocketError& e) {
        EXPECT_STREQ(e.what(), "rewritten: Connection refused");
    }
}

TEST_F(Pop3Scripted, MissingSettingsFailBeforeAnyNetworkActivity) {
    struct Case {
        std::string user, password, server, text;
    };
    const Case cases[] = {
        {"", "secret", "127.0.0.1", "UserName property is required"},
        {"joe", "", "127.0.0.1", "Password property is required"},
        {"joe", "secret", "", "Server property is required"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        events.clear();
        pop.UserName = c.user;
        pop.Password = c.password;
        pop.Server = c.server;
        try {
            pop.UpdateInfo();
            FAIL() << "no error";
        } catch (const ESocketError& e) {
            EXPECT_EQ(e.what(), c.text);
        }
        EXPECT_EQ(events.back(), "Error " + c.text);
        EXPECT_FALSE(pop.IsConnected());
    }
}

TEST_F(Pop3Scripted, TheAllOnesAddressIsNoServer) {
    for (const char* server : {"255.255.255.255", "255.255.255.255:110"}) {
        SCOPED_TRACE(server);
        pop.Server = server;
        try {
            pop.UpdateInfo();
            FAIL() << "no error";
        } catch (const ESocketError& e) {
            EXPECT_STREQ(e.what(), "Error resolving remote host");
        }
        EXPECT_FALSE(pop.IsConnected());
    }
}

TEST_F(Pop3Scripted, SendingWithoutAConnectionFails) {
    try {
        pop.SendLine("NOOP");
        FAIL() << "no error";
    } catch (const ESocketError& e) {
        EXPECT_STREQ(e.what(), "You have to connect to the server first");
    }
}

// Host, port and address forms of Server all reach the same server.
TEST_F(Pop3Scripted, ServerNamesHostsAndPortsInEveryForm) {
    const std::string quitOnly[] = {"C: STAT", "S: +OK 0 0", "C: QUIT", "S: +OK"};
    struct Case {
        bool ipv6;
        std::string (*server)(int port);
        bool defaultPort = false;  // the port is the client's default one
    };
    const Case cases[] = {
        {false, [](int port) { return "127.0.0.1:" + std::to_string(port); }},
        {false, [](int port) { return "127.0.0.1:" + std::to_string(port + 65536); }},  // low 16 bits count
        {true, [](int port) { return "[::1]:" + std::to_string(port); }},
        {false, [](int port) { return "localhost:" + std::to_string(port); }},  // looked up off the thread
        // Two colons or more without brackets: an IPv6 address, no port.
        {true, [](int) { return std::string("::1"); }, true},
        {true, [](int) { return std::string("0:0:0:0:0:0:0:1"); }, true},
        {true, [](int) { return std::string("[::1]"); }, true},
    };
    for (const Case& c : cases) {
        ScriptedServer server(script({quitOnly[0], quitOnly[1], quitOnly[2], quitOnly[3]}), c.ipv6);
        pop.Server = c.server(server.port());
        if (c.defaultPort) {
            // Not the usual service's port: the client's default one, which a
            // service the system does not know leaves in force.
            pop.ServiceName = "quorvel-test-no-such-service";
            pop.DefaultPort = server.port();
        }
        SCOPED_TRACE(pop.Server);
        pop.UpdateInfo();
        expectKept(server);
    }
}

TEST_F(Pop3Scripted, KeptSessionLogsInOnceForTwoListings) {
    ScriptedServer server(script({"C: STAT", "S: +OK 0 0", "C: QUIT", "S: +OK"}));
    pointAt(server);
    pop.KeepConnected = true;
    pop.UpdateInfo();
    pop.UpdateInfo();
    EXPECT_TRUE(pop.IsConnected());
    pop.Close();
    expectKept(server);
}

const std::vector<std::string> kTwoMessageListing = {
    "C: STAT", "S: +OK 2 300",
    "C: LIST 1", "S: +OK 1 100", "C: TOP 1 1", "S: +OK", "S: Subject: first", "S: ", "S: .",
    "C: LIST 2", "S: +OK 2 200", "C: TOP 2 1", "S: +OK", "S: Subject: second", "S: ", "S: .",
};

// The retrieve-and-delete example: record 0 retrieved, record 1 deleted.
TEST_F(Pop3Scripted, ProcessMarksSendsTheVerifiedRetrieveAndDeleteSequence) {
    std::vector<std::string> steps = script(kTwoMessageListing);
    for (const char* s : {"C: UIDL 1", "S: +OK 1 uid-one", "C: LIST 1", "S: +OK 1 100", "C: TOP 1 1", "S: +OK",
                          "S: Subject: first", "S: ", "S: .", "C: LIST 1", "S: +OK 1 100", "C: RETR 1", "S: +OK",
                          "S: Subject: first", "S: ", "S: ..stuffed", "S: .", "C: UIDL 2", "S: -ERR no UIDL",
                          "C: LIST 2", "S: +OK 2 200", "C: TOP 2 1", "S: +OK", "S: Subject: second", "S: ", "S: .",
                          "C: DELE 2", "S: +OK deleted", "C: QUIT", "S: +OK"})
        steps.push_back(s);
    ScriptedServer server(steps);
    pointAt(server);
    pop.KeepConnected = true;
    pop.UpdateInfo();
    events.clear();
    std::string saved;
    pop.OnUserMessageSave = [&](int n, const std::string& contents) {
        events.push_back("UserMessageSave " + std::to_string(n));
        saved = contents;
    };
    pop.SetRetrieveMark(0);
    pop.SetDeleteMark(1);
    pop.ProcessMarks();
    expectKept(server);

    EXPECT_EQ(saved, "Subject: first\r\n\r\n..stuffed\r\n.\r\n");
    EXPECT_EQ(events, (std::vector<std::string>{"TransferringData", "Retrieving 0", "UserMessageSave 0",
                                                "Retrieved 0", "Deleting 1", "DataTransfered", "Closing",
                                                "Closed"}));
    const std::vector<std::string> wire = server.received();
    const std::vector<std::string> afterListing(wire.end() - 10, wire.end());
    EXPECT_EQ(afterListing, (std::vector<std::string>{"UIDL 1", "LIST 1", "TOP 1 1", "LIST 1", "RETR 1", "UIDL 2",
                                                      "LIST 2", "TOP 2 1", "DELE 2", "QUIT"}));
    EXPECT_TRUE(pop.RemoteInfo().Items(1).deleteMarked());  // marks stay set
}

TEST_F(Pop3Scripted, RetrievedMessageIsSavedUnderItsRecordIndex) {
    testing::TempFolder folder;
    ScriptedServer server(script({"C: STAT", "S: +OK 1 0", "C: LIST 1", "S: +OK 1 0", "C: TOP 1 1", "S: +OK",
                                  "S: .", "C: UIDL 1", "S: +OK 1 u", "C: LIST 1", "S: +OK 1 0", "C: TOP 1 1",
                                  "S: +OK", "S: .", "C: LIST 1", "S: +OK 1 0", "C: RETR 1", "S: +OK 0 octets",
                                  "S: .", "C: QUIT", "S: +OK"}));
    pointAt(server);
    pop.KeepConnected = true;
    pop.setMessageDirectory(folder.path());
    pop.UpdateInfo();
    pop.SetRetrieveMark(0);
    pop.ProcessMarks();
    expectKept(server);
    // An empty message is only the end line.
    EXPECT_EQ(readFileBytes(folder.file("msg_0.eml")), std::optional<std::string>(".\r\n"));
    // The user's mail is readable by the user only, whatever the umask.
    struct stat st {};
    ASSERT_EQ(stat(folder.file("msg_0.eml").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(Pop3Scripted, ProcessMarksWithoutRecordsMakesNoConnection) {
    pop.Server = "127.0.0.1:" + std::to_string(testing::unusedPort());
    pop.ProcessMarks();
    EXPECT_EQ(events, std::vector<std::string>{});
}

// The room for a RETR answer follows the size the listing showed the user,
// whatever the LIST just before RETR announces.
TEST_F(Pop3Scripted, AnswerBeyondItsBoundFailsInsteadOfGrowing) {
    const std::string block(64 * 1024, 'x');
    for (const char* announced : {"S: +OK 1 10", "S: +OK 1 2000000000"}) {
        SCOPED_TRACE(announced);
        std::vector<std::string> steps = script({"C: STAT", "S: +OK 1 10", "C: LIST 1", "S: +OK 1 10", "C: TOP 1 1",
                                                 "S: +OK", "S: A: b", "S: .", "C: UIDL 1", "S: +OK 1 u", "C: LIST 1",
                                                 "S: +OK 1 10", "C: TOP 1 1", "S: +OK", "S: A: b", "S: .",
                                                 "C: LIST 1", announced, "C: RETR 1", "S: +OK"});
        for (int i = 0; i < 20; ++i) steps.push_back("RAW: " + block);  // 1.25 MiB of one endless line
        steps.push_back("WAIT");
        ScriptedServer server(steps);
        pointAt(server);
        pop.KeepConnected = true;
        pop.UpdateInfo();
        pop.SetRetrieveMark(0);
        pop.OnUserMessageSave = [](int, const std::string&) { FAIL() << "saved a message that was cut"; };
        try {
            pop.ProcessMarks();
            FAIL() << "no error";
        } catch (const ESocketError& e) {
            EXPECT_STREQ(e.what(), "The server's answer is too large");
        }
        EXPECT_FALSE(pop.IsConnected());
    }
}

TEST_F(Pop3Scripted, ProgressCountsTheOctetsOfTheExpectedSize) {
    ScriptedServer server(script({"C: STAT", "S: +OK 1 40", "C: LIST 1", "S: +OK 1 40", "C: TOP 1 1", "S: +OK",
                                  "S: A: b", "S: .", "C: UIDL 1", "S: +OK 1 u", "C: LIST 1", "S: +OK 1 40",
                                  "C: TOP 1 1", "S: +OK", "S: A: b", "S: .", "C: LIST 1", "S: +OK 1 40", "C: RETR 1",
                                  "S: +OK", "RAW: A: b\r\n\r\n0123456789", "RAW: 0123456789\r\n.\r\n", "C: QUIT",
                                  "S: +OK"}));
    pointAt(server);
    pop.KeepConnected = true;
    pop.UpdateInfo();
    pop.SetRetrieveMark(0);
    std::vector<std::pair<int, int>> progress;
    pop.OnRetrieving = [&](int) {
        pop.OnProgress = [&](int perc, int transferred) { progress.emplace_back(perc, transferred); };
    };
    pop.OnUserMessageSave = [](int, const std::string&) {};
    pop.ProcessMarks();
    expectKept(server);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), std::make_pair(0, 0));
    for (std::size_t i = 1; i < progress.size(); ++i) {
        EXPECT_GE(progress[i].second, progress[i - 1].second);
        EXPECT_EQ(progress[i].first, progress[i].second * 100 / 40);
    }
}

// Cancels at the n-th turn of the event loop, for every n until a whole
// listing fits in, so that every kind of wait (look-up, connect, send,
// reply line, multi-line answer) is interrupted at least once.
TEST_F(Pop3Scripted, CancelDuringAnyWaitEndsItTheSameWay) {
    for (int cancelAt = 1;; ++cancelAt) {
        SCOPED_TRACE("cancel at turn " + std::to_string(cancelAt));
        ScriptedServer server(script({"C: STAT", "S: +OK 1 120", "C: LIST 1", "S: +OK 1 120", "C: TOP 1 1",
                                      "S: +OK", "SPLIT: Subject: slow", "S: ", "S: .", "C: QUIT", "S: +OK"}));
        pop.Server = "localhost:" + std::to_string(server.port());
        events.clear();
        int turns = 0;
        bool hadSocket = false;
        loop.onEachTurn = [&] {
            if (++turns == cancelAt) {
                hadSocket = pop.IsConnected();
                pop.Cancel();
            }
        };
        try {
            pop.UpdateInfo();
            loop.onEachTurn = nullptr;
            EXPECT_GT(cancelAt, 3);
            break;  // the listing finished before the n-th turn
        } catch (const ECanceledError& e) {
            EXPECT_STREQ(e.what(), "Operation has been canceled");
        }
        loop.onEachTurn = nullptr;
        EXPECT_FALSE(pop.IsConnected());
        EXPECT_EQ(std::count(events.begin(), events.end(), "Cancel"), 1);
        EXPECT_EQ(std::count(events.begin(), events.end(), "Error Operation has been canceled"), 1);
        EXPECT_EQ(std::count(events.begin(), events.end(), "Closing"), hadSocket ? 1 : 0);
        EXPECT_EQ(std::count(events.begin(), events.end(), "Closed"), hadSocket ? 1 : 0);
        ASSERT_LT(cancelAt, 500);
    }
}

// A Cancel from an event handler, while no wait runs, ends the listing the
// same way as one during a wait.
TEST_F(Pop3Scripted, CancelBetweenWaitsEndsTheListingAsCanceled) {
    ScriptedServer server(script(kTwoMessageListing));
    pointAt(server);
    pop.OnNextInfoUpdated = [this](int n) {
        events.push_back("NextInfoUpdated " + std::to_string(n));
        pop.Cancel();
    };
    try {
        pop.UpdateInfo();
        FAIL() << "no error";
    } catch (const ECanceledError& e) {
        EXPECT_STREQ(e.what(), "Operation has been canceled");
    } catch (const std::exception& e) {
        FAIL() << e.what();
    }
    EXPECT_FALSE(pop.IsConnected());
    EXPECT_EQ(std::count(events.begin(), events.end(), "Cancel"), 1);
    EXPECT_EQ(std::count(events.begin(), events.end(), "Error Operation has been canceled"), 1);
    EXPECT_EQ(std::count(events.begin(), events.end(), "Error You have to connect to the server first"), 0);
}

TEST_F(Pop3Scripted, CancelDuringProcessMarksSendsNoQuit) {
    std::vector<std::string> steps = script(kTwoMessageListing);
    for (const char* s : {"C: UIDL 2", "WAIT"}) steps.push_back(s);
    ScriptedServer server(steps);
    pointAt(server);
    pop.KeepConnected = true;
    pop.UpdateInfo();
    pop.SetDeleteMark(1);
    loop.onEachTurn = [&] {
        if (pop.IsConnected()) pop.Cancel();
    };
    EXPECT_THROW(pop.ProcessMarks(), ECanceledError);
    loop.onEachTurn = nullptr;
    server.join();
    EXPECT_TRUE(server.sawClientClose());
    EXPECT_EQ(server.received().back(), "UIDL 2");
}

// A header block may hold "LF . LF" on servers that pass line ends through:
// only CR LF "." CR LF ends the TOP answer, so the next reply stays in step.
TEST_F(Pop3Scripted, DotLineWithBareLineEndsDoesNotEndAnAnswer) {
    const std::vector<std::pair<std::string, TmsHeaders>> cases = {
        {"Subject: one\n.\nX-After: dot\r\n\r\nbody\r\n.\r\n", {"Subject: one", ".", "X-After: dot"}},
        {"Subject: one\r\n.\nX-After: dot\r\n\r\n.\r\n", {"Subject: one", ".", "X-After: dot"}},
        {"Subject: one\n.\r\n-ERR looks like a reply\r\n\r\n.\r\n", {"Subject: one", ".", "-ERR looks like a reply"}},
    };
    for (const auto& [answer, headers] : cases) {
        SCOPED_TRACE(answer);
        events.clear();
        ScriptedServer server(script({"C: STAT", "S: +OK 2 300", "C: LIST 1", "S: +OK 1 100", "C: TOP 1 1", "S: +OK",
                                      "RAW: " + answer, "C: LIST 2", "S: +OK 2 200", "C: TOP 2 1", "S: +OK",
                                      "S: Subject: two", "S: ", "S: .", "C: QUIT", "S: +OK"}));
        pointAt(server);
        pop.UpdateInfo();
        expectKept(server);
        ASSERT_EQ(pop.RemoteInfo().Count(), 2);
        EXPECT_EQ(pop.RemoteInfo().Items(0).Headers, headers);
        EXPECT_EQ(pop.RemoteInfo().Items(1).Headers, TmsHeaders{"Subject: two"});
    }
}

// What a record's header lines hold on the heap, strings and list together.
std::size_t heldOctets(const TmsHeaders& headers) {
    std::size_t held = headers.capacity() * sizeof(std::string);
    const std::string empty;
    for (const std::string& line : headers)
        if (line.capacity() > empty.capacity()) held += line.capacity() + 1;
    return held;
}

// A header block of very short lines used to cost many times its size; now
// a record keeps a bounded share of it, and the listing goes on.
TEST_F(Pop3Scripted, HeaderBlockOfManyShortLinesCostsABoundedRecord) {
    std::string crafted = "Subject: many\r\n";
    while (crafted.size() < (8u << 20)) crafted += "a\r\n";  // 8 MiB of 3-octet lines
    crafted += "\r\nbody\r\n.\r\n";
    std::string wide = "Subject: wide\r\n";
    for (int i = 0; i < 40; ++i) wide += "X-Long: " + std::string(16 * 1024, 'w') + "\r\n";  // 640 KiB
    wide += "\r\n.\r\n";
    ScriptedServer server(script({"C: STAT", "S: +OK 3 0", "C: LIST 1", "S: +OK 1 100", "C: TOP 1 1", "S: +OK",
                                  "RAW: " + crafted, "C: LIST 2", "S: +OK 2 100", "C: TOP 2 1", "S: +OK", "RAW: " + wide,
                                  "C: LIST 3", "S: +OK 3 100", "C: TOP 3 1", "S: +OK", "S: Subject: honest", "S: ",
                                  "S: .", "C: QUIT", "S: +OK"}));
    pointAt(server);
    pop.UpdateInfo();
    expectKept(server);
    ASSERT_EQ(pop.RemoteInfo().Count(), 3);

    const TmsHeaders& many = pop.RemoteInfo().Items(0).Headers;
    EXPECT_EQ(many.size(), TmsRemotePOP::kMaxHeaderLines);
    EXPECT_EQ(many.front(), "Subject: many");
    EXPECT_EQ(many.back(), "a");
    // At most a few dozen octets per kept line, against 8 MiB received.
    EXPECT_LE(heldOctets(many), TmsRemotePOP::kMaxHeaderLines * 64);

    const TmsHeaders& widest = pop.RemoteInfo().Items(1).Headers;
    std::size_t octets = 0;
    for (const std::string& line : widest) octets += line.size();
    EXPECT_LE(octets, TmsRemotePOP::kMaxHeaderOctets);
    EXPECT_GT(octets, TmsRemotePOP::kMaxHeaderOctets - 17 * 1024);  // cut at a whole line
    EXPECT_LE(heldOctets(widest), TmsRemotePOP::kMaxHeaderOctets + 64 * widest.size());
    EXPECT_EQ(widest.front(), "Subject: wide");

    EXPECT_EQ(pop.RemoteInfo().Items(2).Headers, TmsHeaders{"Subject: honest"});
}

// A port set up for TLS where the server speaks plain POP3.
TEST_F(Pop3Scripted, PlainTextOnATlsPortSaysSoInPlainWords) {
    ScriptedServer server({"S: +OK plain POP3 here", "WAIT"});
    pointAt(server);
    pop.Security = TmsSecurity::SSLTLS;
    try {
        pop.UpdateInfo();
        FAIL() << "no error";
    } catch (const ESocketError& e) {
        EXPECT_EQ(std::string(e.what()), "The server did not answer with TLS on port " + std::to_string(server.port()));
    }
    EXPECT_FALSE(pop.IsConnected());
}

// A mailbox changed between the listing and the processing: message 2 is now
// another message, of another size or of the same size with other header
// lines. It is neither retrieved nor deleted.
TEST_F(Pop3Scripted, RenumberedMessageIsNeitherRetrievedNorDeleted) {
    struct Case {
        const char* what;
        const char* size;
        const char* subject;
    };
    const Case cases[] = {
        {"other size", "S: +OK 2 250", "S: Subject: third"},
        {"same size, other header", "S: +OK 2 200", "S: Subject: third"},
    };
    for (const Case& c : cases) {
        for (const bool retrieve : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (retrieve ? ", retrieve" : ", delete"));
            std::vector<std::string> steps = script(kTwoMessageListing);
            for (const char* s : {"C: QUIT", "S: +OK", "ACCEPT"}) steps.push_back(s);
            for (const auto& s : kLogIn) steps.push_back(s);
            for (const char* s : {"C: STAT", "S: +OK 2 450", "C: UIDL 2", "S: +OK 2 uid-three", "C: LIST 2", c.size,
                                  "C: TOP 2 1", "S: +OK", c.subject, "S: ", "S: .", "C: QUIT", "S: +OK"})
                steps.push_back(s);
            ScriptedServer server(steps);
            pointAt(server);
            pop.UpdateInfo();
            if (retrieve)
                pop.SetRetrieveMark(1);
            else
                pop.SetDeleteMark(1);
            events.clear();
            pop.OnUserMessageSave = [](int, const std::string&) { FAIL() << "retrieved another message"; };
            pop.ProcessMarks();
            expectKept(server);
            EXPECT_EQ(std::count(events.begin(), events.end(), "Deleting 1"), 0);
            EXPECT_EQ(std::count(events.begin(), events.end(), "Retrieving 1"), 0);
            for (const std::string& line : server.received()) {
                EXPECT_NE(line, "DELE 2");
                EXPECT_NE(line, "RETR 2");
            }
        }
    }
}

// Runs on manual timers: the test moves time on as the octets arrive, at a
// chosen rate, so an hour of trickling takes no time.
class Pop3Trickle : public Pop3Scripted {
protected:
    Pop3Trickle() {
        slow.UserName = "joe";
        slow.Password = "secret";
        slow.TimeOut = 10;
    }

    // Each octet that arrives takes 1000 / octetsPerSecond ms.
    void arriveAt(double octetsPerSecond) {
        slow.OnProgress = [this, octetsPerSecond](int, int transferred) {
            if (transferred <= lastTransferred) return;
            owedMs += (transferred - lastTransferred) * 1000.0 / octetsPerSecond;
            lastTransferred = transferred;
            const int ms = static_cast<int>(owedMs);
            owedMs -= ms;
            timers.advance(ms);
        };
    }

    testing::ManualTimers timers;
    TmsRemotePOP slow{loop, timers};
    int lastTransferred = 0;
    double owedMs = 0;
};

TEST_F(Pop3Trickle, HeaderAnswerTricklingAnOctetASecondTimesOut) {
    std::vector<std::string> steps = script({"C: STAT", "S: +OK 1 100", "C: LIST 1", "S: +OK 1 100", "C: TOP 1 1",
                                             "S: +OK"});
    // Eight minutes of header at this rate; a client that waits it out gets
    // the whole answer and fails the test.
    for (int i = 0; i < 40; ++i) steps.push_back("SPLIT: X-Slow: " + std::to_string(i));
    for (const char* s : {"S: ", "S: .", "C: QUIT", "S: +OK"}) steps.push_back(s);
    ScriptedServer server(steps);
    slow.Server = "127.0.0.1:" + std::to_string(server.port());
    arriveAt(1);
    try {
        slow.UpdateInfo();
        FAIL() << "no error";
    } catch (const ETimedOutError& e) {
        EXPECT_STREQ(e.what(), "Operation timed out");
    }
    EXPECT_FALSE(slow.IsConnected());
    // No silence ever reached TimeOut; the whole answer ran out of time.
    EXPECT_LE(timers.nowMs(), 3 * slow.TimeOut * 1000);
    EXPECT_GE(timers.nowMs(), slow.TimeOut * 1000);
}

TEST_F(Pop3Trickle, SlowHonestRetrievalIsNeverCut) {
    std::string message = "Subject: big\r\n\r\n";
    while (message.size() < 600 * 1024) message += std::string(70, 'm') + "\r\n";
    const std::string size = std::to_string(message.size());
    ScriptedServer server(script({"C: STAT", "S: +OK 1 " + size, "C: LIST 1", "S: +OK 1 " + size, "C: RETR 1",
                                  "S: +OK", "RAW: " + message + ".\r\n", "C: QUIT", "S: +OK"}));
    slow.Server = "127.0.0.1:" + std::to_string(server.port());
    slow.Open();
    std::string saved;
    slow.OnUserMessageSave = [&](int, const std::string& contents) { saved = contents; };
    arriveAt(5 * 1024);
    slow.RetrieveMessage(0);
    slow.OnProgress = nullptr;
    slow.Close();
    expectKept(server);
    EXPECT_EQ(saved, message + ".\r\n");
    // Two minutes at 5 KB/s: many times TimeOut.
    EXPECT_GE(timers.nowMs(), 100 * 1000);
}

TEST(Pop3AnswerClock, AllowanceGrowsWithWhatArrived) {
    const struct {
        int timeOut;
        long long octets;
        long long seconds;
    } cases[] = {
        {120, 0, 120}, {120, 1023, 120}, {120, 1024, 121}, {60, 5 * 1024 * 600, 3060}, {0, 2048, 2}, {-5, 0, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TagSocket::answerAllowance(c.timeOut, c.octets), c.seconds) << c.timeOut << " " << c.octets;
}

TEST(Pop3Replies, ReplyCodeAndUniqueIds) {
    PollEventLoop loop;
    TmsRemotePOP pop(loop, loop);
    EXPECT_EQ(pop.ReplyCode("+OK"), 1);
    EXPECT_EQ(pop.ReplyCode("-ERR"), -1);
    EXPECT_EQ(pop.ReplyCode(""), 0);
    EXPECT_EQ(pop.ReplyCode("OK"), 0);
    const std::pair<std::string, std::string> uidls[] = {
        {"+OK 3 a1b2c3", "a1b2c3"}, {"+OK 1", ""}, {"+OK 3  a1 extra", "a1"}, {"+OK", ""},
    };
    for (const auto& [reply, uid] : uidls) EXPECT_EQ(TmsRemotePOP::ExtractWord(reply), uid) << reply;
}


// The server's capabilities stay readable for the rest of the session; a
// refused CAPA leaves none.
TEST_F(Pop3Scripted, CapabilitiesAreKeptForTheSession) {
    const struct {
        std::vector<std::string> capa;
        std::vector<std::string> names;
    } cases[] = {
        {{"S: +OK", "S: TOP", "S: SASL PLAIN", "S: pipelining", "S: ."}, {"TOP", "SASL", "PIPELINING"}},
        {{"S: -ERR unknown command"}, {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> steps = {"S: +OK ready", "C: CAPA"};
        steps.insert(steps.end(), c.capa.begin(), c.capa.end());
        for (const char* s : {"C: USER joe", "S: +OK", "C: PASS secret", "S: +OK", "C: STAT", "S: +OK 0 0"})
            steps.push_back(s);
        ScriptedServer server(steps);
        pointAt(server);
        pop.KeepConnected = true;
        pop.UpdateInfo();
        std::vector<std::string> names;
        for (const auto& item : pop.Capabilities().items()) names.push_back(item.name);
        EXPECT_EQ(names, c.names);
        pop.Disconnect();
        expectKept(server);
    }
}

// With STARTTLS chosen, nothing of the log-in may leave before TLS is up:
// the connection ends, whatever the server does instead of beginning TLS.
TEST_F(Pop3Scripted, StartTlsNotBegunNeverSendsThePassword) {
    const struct {
        const char* what;
        std::vector<std::string> steps;
        std::string wire;     // all the client may have sent
        std::string message;  // empty: a time-out
    } cases[] = {
        {"STLS not offered",
         {"S: +OK ready", "C: CAPA", "S: +OK", "S: USER", "S: TOP", "S: .", "WAIT"},
         "CAPA\r\n",
         "The server 127.0.0.1 does not offer STARTTLS; the password was not sent"},
        {"CAPA refused",
         {"S: +OK ready", "C: CAPA", "S: -ERR no CAPA here", "WAIT"},
         "CAPA\r\n",
         "The server 127.0.0.1 does not offer STARTTLS; the password was not sent"},
        {"STLS refused",
         {"S: +OK ready", "C: CAPA", "S: +OK", "S: STLS", "S: .", "C: STLS", "S: -ERR TLS is resting", "WAIT"},
         "CAPA\r\nSTLS\r\n",
         "-ERR TLS is resting"},
        {"plain text after the agreement",
         {"S: +OK ready", "C: CAPA", "S: +OK", "S: STLS", "S: .", "C: STLS", "RAW: +OK go\r\n+OK logged in\r\n",
          "WAIT"},
         "CAPA\r\nSTLS\r\n",
         "The server sent data before TLS began; the connection was closed"},
        {"no TLS after the agreement",
         {"S: +OK ready", "C: CAPA", "S: +OK", "S: STLS", "S: .", "C: STLS", "S: +OK go", "WAIT"},
         "",
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedServer server(c.steps);
        pointAt(server);
        pop.Security = TmsSecurity::STARTTLS;
        std::string failure;
        try {
            pop.UpdateInfo();
            ADD_FAILURE() << "no error";
        } catch (const ETimedOutError&) {
            failure.clear();
        } catch (const std::exception& e) {
            failure = e.what();
        }
        EXPECT_EQ(failure, c.message);
        EXPECT_FALSE(pop.IsConnected());
        server.join();
        EXPECT_EQ(server.failures(), std::vector<std::string>{});
        EXPECT_TRUE(server.sawClientClose());
        const std::string wire = server.wire();
        // After the agreement the client speaks TLS only: its hello, never a command.
        if (!c.wire.empty()) {
            EXPECT_EQ(wire, c.wire);
        }
        EXPECT_EQ(wire.find("secret"), std::string::npos);
        EXPECT_EQ(wire.find("USER"), std::string::npos);
        EXPECT_EQ(wire.find("PASS"), std::string::npos);
    }
}

TEST_F(Pop3Scripted, ApopIsUsedOnlyWhenAllowedAndTheGreetingHasATimestamp) {
    const std::string timestamp = "<1896.697170952@dbc.mtview.ca.us>";
    const struct {
        const char* greeting;
        bool allowed;
        bool apop;
    } cases[] = {
        {"S: +OK POP3 server ready <1896.697170952@dbc.mtview.ca.us>", true, true},
        {"S: +OK POP3 server ready <1896.697170952@dbc.mtview.ca.us>", false, false},
        {"S: +OK POP3 server ready", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.greeting) + (c.allowed ? ", allowed" : ", not allowed"));
        std::vector<std::string> steps = {c.greeting, "C: CAPA", "S: -ERR"};
        if (c.apop) {
            steps.push_back("C: APOP joe " + TmsCustomPOP::ApopDigest(timestamp, "secret"));
        } else {
            for (const char* s : {"C: USER joe", "S: +OK", "C: PASS secret"}) steps.push_back(s);
        }
        for (const char* s : {"S: +OK", "C: STAT", "S: +OK 0 0", "C: QUIT", "S: +OK"}) steps.push_back(s);
        ScriptedServer server(steps);
        pointAt(server);
        pop.SignIn = c.allowed ? TmsSignIn::APOP : TmsSignIn::Password;
        pop.UpdateInfo();
        expectKept(server);
    }
}

// With APOP chosen and no TLS, a greeting whose timestamp is missing (anyone
// on the path can strip it) must not make the password travel in the clear.
TEST_F(Pop3Scripted, ApopWithoutTimestampOnClearTextIsRefused) {
    ScriptedServer server({"S: +OK POP3 server ready", "C: CAPA", "S: -ERR", "WAIT"});
    pointAt(server);
    pop.SignIn = TmsSignIn::APOP;
    std::string failure;
    try {
        pop.UpdateInfo();
    } catch (const ESocketError& e) {
        failure = e.what();
    }
    EXPECT_EQ(failure, "The server 127.0.0.1 did not offer APOP; the password was not sent in the clear");
    EXPECT_FALSE(pop.IsConnected());
    server.join();
    EXPECT_EQ(server.failures(), std::vector<std::string>{});
    const std::string wire = server.wire();
    EXPECT_EQ(wire.find("secret"), std::string::npos);
    EXPECT_EQ(wire.find("USER"), std::string::npos);
    EXPECT_EQ(wire.find("PASS"), std::string::npos);
}

TEST(Pop3Apop, TimestampAndDigest) {
    const std::pair<std::string, std::string> greetings[] = {
        {"+OK POP3 server ready <1896.697170952@dbc.mtview.ca.us>", "<1896.697170952@dbc.mtview.ca.us>"},
        {"+OK <a@b> and <c@d>", "<a@b>"},
        {"+OK Dovecot ready.", ""},
        {"+OK <no-at-sign>", ""},
        {"+OK <@b>", ""},
        {"+OK <a@>", ""},
        {"+OK <a b@c>", ""},
        {"+OK <a@b", ""},
        {"+OK <x<a@b>", ""},
        {std::string("+OK <a\x01@b>"), ""},
    };
    for (const auto& [greeting, timestamp] : greetings)
        EXPECT_EQ(TmsCustomPOP::GreetingTimestamp(greeting), timestamp) << greeting;
    // The example of RFC 1939, and an empty password.
    EXPECT_EQ(TmsCustomPOP::ApopDigest("<1896.697170952@dbc.mtview.ca.us>", "tanstaaf"),
              "c4c9334bac560ecc979e58001b3e22fb");
    EXPECT_EQ(TmsCustomPOP::ApopDigest("", ""), "d41d8cd98f00b204e9800998ecf8427e");
}

// A mailbox without a choice takes SSL/TLS on port 995 only; a choice stands
// on every port.
TEST(Pop3Security, UnsetChoiceFollowsThePort) {
    const struct {
        std::optional<TmsSecurity> chosen;
        std::uint16_t port;
        TmsSecurity expected;
    } cases[] = {
        {std::nullopt, 995, TmsSecurity::SSLTLS},
        {std::nullopt, 110, TmsSecurity::None},
        {std::nullopt, 9950, TmsSecurity::None},
        {TmsSecurity::None, 995, TmsSecurity::None},
        {TmsSecurity::STARTTLS, 995, TmsSecurity::STARTTLS},
        {TmsSecurity::SSLTLS, 110, TmsSecurity::SSLTLS},
    };
    for (const auto& c : cases)
        EXPECT_EQ(securityFor(c.chosen, c.port), c.expected) << c.port;

    const std::pair<std::string, std::optional<std::uint16_t>> servers[] = {
        {"mail.example.test", std::nullopt}, {"mail.example.test:995", 995}, {"[::1]:995", 995},
        {"[::1]", std::nullopt},             {"host:pop3", std::nullopt},    {"host:0", std::nullopt},
        {"host:66531", 995},  // the low 16 bits, as the connection reads it
    };
    for (const auto& [server, port] : servers) EXPECT_EQ(namedPort(server), port) << server;
}

}  // namespace
}  // namespace quorvel
