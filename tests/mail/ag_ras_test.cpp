// The dial-up component over a simulated dial-up service: the phone book,
// the choice of the entry, adopting a connection that is up, and a dial that
// connects, fails, is canceled or takes too long.
#include "mail/ag_ras.h"

#include <gtest/gtest.h>

#include "mail/mail_errors.h"
#include "mail/pop3_client.h"
#include "support/fake_platform.h"
#include "support/scripted_server.h"
#include "support/simulated_dial_up.h"

namespace quorvel {
namespace {

using testing::FakePlatform;
using testing::SimulatedDialUp;

constexpr const char* kNoRas = "TagRas component was unable to detect\rRAS on your system.";

class DialUp : public ::testing::Test {
protected:
    DialUp() {
        service.entries = {"Office VPN", "Mobile"};
        // The dial's reports arrive one per turn of the event loop, as the
        // system's would while the program waits.
        fake.loop.onEachTurn = [this] {
            ++turns;
            if (onTurn) onTurn();
            service.deliverNext();
        };
        ras.OnStatusChange = [this](const std::string& status) { events.push_back(status); };
        ras.OnDisconnected = [this] { events.push_back("disconnected"); };
    }

    std::vector<std::string> boxes() const {
        std::vector<std::string> texts;
        for (const auto& shown : fake.dialogs.shown) texts.push_back(shown.text);
        return texts;
    }

    FakePlatform fake;
    SimulatedDialUp service;
    TagRas ras{&service, fake.loop, fake.timers, fake.dialogs};
    std::vector<std::string> events;
    std::function<void()> onTurn;
    int turns = 0;
};

TEST_F(DialUp, EntriesComeInTheSystemsOrderUpTo25) {
    EXPECT_EQ(ras.Entries(), (std::vector<std::string>{"Office VPN", "Mobile"}));
    service.entries.assign(25, "x");
    EXPECT_EQ(ras.Entries().size(), 25u);
    service.entries.assign(26, "x");
    EXPECT_TRUE(ras.Entries().empty());
    EXPECT_FALSE(ras.HasEntries());

    TagRas without(nullptr, fake.loop, fake.timers, fake.dialogs);
    EXPECT_TRUE(without.Entries().empty());
}

TEST_F(DialUp, SettingTheServiceChecksTheName) {
    ras.setService("mobile");  // names compare without regard to case
    EXPECT_EQ(ras.Service(), "mobile");
    ras.setService("Dial-in at home");
    EXPECT_EQ(ras.Service(), "");
    ras.setService("Mobile");
    ras.setService("");
    EXPECT_EQ(ras.Service(), "");
    EXPECT_EQ(boxes(), std::vector<std::string>{"Invalid service name"});
    EXPECT_EQ(fake.dialogs.shown[0].kind, MessageKind::Error);

    ras.Connect();  // nothing to dial: counts as connected
    ras.setService("Mobile");
    EXPECT_EQ(boxes().back(), "This property can be set only before\restablishing the connection");
    EXPECT_EQ(ras.Service(), "");

    TagRas without(nullptr, fake.loop, fake.timers, fake.dialogs);
    without.setService("Mobile");
    EXPECT_EQ(boxes().back(), kNoRas);
    EXPECT_EQ(without.Service(), "");
}

TEST_F(DialUp, AConnectionOfTheServiceIsAdoptedAndLeftUp) {
    service.up = {{"h1", "Office VPN"}, {"h2", "Mobile"}};
    ras.setService("Mobile");
    ras.Connect();
    EXPECT_TRUE(ras.connected());
    EXPECT_FALSE(ras.dialled());
    ras.Disconnect();
    EXPECT_EQ(std::count(service.calls.begin(), service.calls.end(), "dial Mobile"), 0);
    EXPECT_EQ(service.up.size(), 2u);
    EXPECT_TRUE(events.empty());
}

TEST_F(DialUp, WithoutForceServiceAnyConnectionWithAnAddressIsAdopted) {
    service.up = {{"h1", "Office VPN"}, {"h2", "Wired"}};
    service.addresses = {{"h2", "192.0.2.7"}};
    ras.setService("Mobile");
    EXPECT_FALSE(ras.FindConnection());  // only "Mobile" counts while forced
    ras.ForceService = false;
    EXPECT_TRUE(ras.FindConnection());
    ras.Connect();
    EXPECT_FALSE(ras.dialled());
    EXPECT_EQ(std::count(service.calls.begin(), service.calls.end(), "dial Mobile"), 0);

    service.up.clear();  // nothing up at all: dial
    EXPECT_FALSE(ras.FindConnection());
}

TEST_F(DialUp, ListingTheConnectionsFailsWithTheSystemsWords) {
    ras.setService("Mobile");
    service.enumConnectionsResult = 610;
    service.texts[610] = "The buffer is invalid.";
    try {
        ras.Connect();
        FAIL() << "no error";
    } catch (const ERASError& error) {
        EXPECT_EQ(error.code(), 610);
        EXPECT_STREQ(error.what(), "The buffer is invalid.");
    }
}

TEST_F(DialUp, ADialThatConnectsIsHungUpAfterwards) {
    ras.setService("Mobile");
    ras.Password = "pin";
    ras.Connect();
    EXPECT_TRUE(ras.connected());
    EXPECT_TRUE(ras.dialled());
    EXPECT_EQ(events, (std::vector<std::string>{"state 1", "state 8192"}));
    // The system kept no password for the entry: it was given one, to forget.
    EXPECT_NE(std::find(service.calls.begin(), service.calls.end(), "storePassword Mobile pin forget"),
              service.calls.end());

    ras.Disconnect();
    EXPECT_EQ(service.calls.back(), "hangUp dialled1");
    EXPECT_EQ(events.back(), "disconnected");
    EXPECT_FALSE(ras.connected());
    EXPECT_TRUE(service.up.empty());

    // A password the system keeps is left alone.
    service.passwordsKept = {"Mobile"};
    service.calls.clear();
    service.reports = {{DialUpLibrary::kConnected, 0}};
    ras.Connect();
    EXPECT_EQ(std::count_if(service.calls.begin(), service.calls.end(),
                            [](const std::string& c) { return c.rfind("storePassword", 0) == 0; }),
              0);
}

TEST_F(DialUp, AFailedDialIsHungUpAndRaisedWithItsText) {
    struct Case {
        const char* name;
        int startResult;
        std::deque<std::pair<int, int>> reports;
        int code;
        const char* text;
    };
    const Case cases[] = {
        {"reported by the dial", 0, {{1, 0}, {2, 691}}, 691, "Access was denied."},
        {"refused at once", 633, {}, 633, "RAS error no 633"},
    };
    service.texts[691] = "Access was denied.";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        service.calls.clear();
        service.dialResult = c.startResult;
        service.reports = c.reports;
        ras.setService("Mobile");
        try {
            ras.Connect();
            ADD_FAILURE() << "no error";
        } catch (const ERASError& error) {
            EXPECT_EQ(error.code(), c.code);
            EXPECT_STREQ(error.what(), c.text);
        }
        EXPECT_FALSE(ras.connected());
        if (c.startResult == 0) {
            EXPECT_EQ(service.calls.back(), "hangUp dialled1");
        }
    }
}

TEST_F(DialUp, ACancelWhileDiallingEndsTheWait) {
    ras.setService("Mobile");
    service.reports = {{1, 0}};  // the connection never comes up
    onTurn = [this] {
        if (turns == 2) ras.Disconnect();  // the user's Cancel, run inside the wait
    };
    EXPECT_THROW(
        {
            try {
                ras.Connect();
            } catch (const ECanceledError& error) {
                EXPECT_STREQ(error.what(), "Operation has been canceled");
                throw;
            }
        },
        ECanceledError);
    EXPECT_EQ(service.calls.back(), "hangUp dialled1");
}

TEST_F(DialUp, ADialThatTakesTooLongTimesOutWithoutHangingUp) {
    ras.setService("Mobile");
    ras.TimeOut = 5;
    service.reports = {{1, 0}};
    // A second passes at every turn; the loop is woken as a real second would.
    onTurn = [this] {
        fake.timers.advance(1000);
        fake.loop.wake();
    };
    EXPECT_THROW(ras.Connect(), ETimedOutError);
    EXPECT_GE(fake.timers.nowMs(), 5000);
    EXPECT_LE(fake.timers.nowMs(), 7000);
    EXPECT_EQ(std::count_if(service.calls.begin(), service.calls.end(),
                            [](const std::string& c) { return c.rfind("hangUp", 0) == 0; }),
              0);
}

TEST_F(DialUp, NoServiceNeverDials) {
    ras.Connect();
    ras.Disconnect();
    for (const std::string& call : service.calls) EXPECT_NE(call.rfind("dial", 0), 0u) << call;
}

// The mail client dials before it connects and hangs up after it closes.
TEST_F(DialUp, TheMailClientDialsBeforeConnectingAndHangsUpAfterClosing) {
    testing::ScriptedServer server({"S: +OK ready", "C: CAPA", "S: -ERR", "C: USER joe", "S: +OK", "C: PASS secret", "S: +OK",
                                    "C: STAT", "S: +OK 0 0", "C: QUIT", "S: +OK bye"});
    TmsRemotePOP pop(fake.loop, fake.loop);
    pop.Server = "127.0.0.1:" + std::to_string(server.port());
    pop.UserName = "joe";
    pop.Password = "secret";
    pop.RAS = &ras;
    pop.OnOpen = [this] { events.push_back("open"); };
    pop.OnClosed = [this] { events.push_back("closed"); };
    ras.setService("Mobile");
    pop.UpdateInfo();
    server.join();
    EXPECT_TRUE(server.failures().empty());
    EXPECT_EQ(events, (std::vector<std::string>{"state 1", "state 8192", "open", "closed", "disconnected"}));
}

TEST_F(DialUp, AFailedDialEndsTheMailClientsConnectBeforeTheNetworkIsTouched) {
    service.reports = {{2, 691}};
    service.texts[691] = "Access was denied.";
    TmsRemotePOP pop(fake.loop, fake.loop);
    pop.Server = "127.0.0.1:" + std::to_string(testing::unusedPort());
    pop.UserName = "joe";
    pop.Password = "secret";
    pop.RAS = &ras;
    std::vector<std::string> errors;
    pop.OnOpen = [this] { events.push_back("open"); };
    pop.OnError = [&](std::string& text) { errors.push_back(text); };
    ras.setService("Mobile");
    try {
        pop.UpdateInfo();
        ADD_FAILURE() << "no error";
    } catch (const ERASError& error) {
        EXPECT_STREQ(error.what(), "Access was denied.");
    } catch (const std::exception& error) {
        ADD_FAILURE() << error.what();
    }
    EXPECT_EQ(std::count(events.begin(), events.end(), "open"), 0);
    EXPECT_TRUE(errors.empty());  // dial-up failures do not pass through the client's error event
}

}  // namespace
}  // namespace quorvel
