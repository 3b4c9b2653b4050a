#include "config/frm_general.h"

#include <gtest/gtest.h>

#include "support/fake_platform.h"

namespace quorvel {
namespace {

class GeneralSettings : public ::testing::Test {
protected:
    testing::FakePlatform fake;
    SettingsStore store{fake.platform.settingsFolder};

    void fillMailbox(TfrmGeneral& w, int n, const char* server, const char* user, const char* password) {
        w.edServe[n - 1].text = server;
        w.edName[n - 1].text = user;
        w.edPass[n - 1].text = password;
    }
};

TEST_F(GeneralSettings, AFreshStoreGivesEveryDefault) {
    TfrmGeneral w(fake.platform, store);
    EXPECT_TRUE(w.rbManual.checked);
    EXPECT_FALSE(w.rbAuto.checked);
    EXPECT_TRUE(w.Ask());
    EXPECT_FALSE(w.Kill());
    EXPECT_EQ(w.Minutes(), 10);
    EXPECT_TRUE(w.Launch());
    EXPECT_FALSE(w.Exit());
    EXPECT_TRUE(w.Alarm());
    EXPECT_TRUE(w.Repeat());
    EXPECT_FALSE(w.SysTray());
    EXPECT_EQ(w.edCount.text, "0");
    EXPECT_EQ(w.RASComboBox.itemIndex, 0);
    EXPECT_TRUE(w.rbAsIs.checked);
    EXPECT_FALSE(w.rbQuarter.checked || w.rbMonth.checked);
    EXPECT_EQ(w.Which, 1);
    EXPECT_TRUE(w.rb[0].checked);
    EXPECT_EQ(w.serverOf(12), "");
}

TEST_F(GeneralSettings, SavedSettingsReadBackIntoANewWindow) {
    {
        TfrmGeneral w(fake.platform, store);
        w.Edit1.text = "/var/log/q.txt";
        w.edAlarm.text = "/sounds/a.wav";
        w.rbAuto.checked = true;
        w.rbManual.checked = false;
        w.cbKill.checked = true;
        w.nMinutes.value = 25;
        w.edCount.text = "41";
        w.rbAsIs.checked = false;
        w.rbMonth.checked = true;
        w.rb[0].checked = false;
        w.rb[6].checked = true;
        fillMailbox(w, 7, "pop.example.test", "me", "pa:ss");
        w.SaveGeneralSettings();
        ASSERT_TRUE(w.saveServerSettings());
    }
    EXPECT_EQ(store.readString("General", "Alarmfile", ""), "/sounds/a.wav");
    EXPECT_NE(store.readString("Server", "Passwd7", ""), "pa:ss");  // never stored plain
    TfrmGeneral w(fake.platform, store);
    EXPECT_EQ(w.Logfile(), "/var/log/q.txt");
    EXPECT_EQ(w.AlarmFile(), "/sounds/a.wav");
    EXPECT_TRUE(w.Automatic());
    EXPECT_FALSE(w.rbManual.checked);
    EXPECT_TRUE(w.Kill());
    EXPECT_EQ(w.Minutes(), 25);
    EXPECT_EQ(w.edCount.text, "41");
    EXPECT_TRUE(w.rbMonth.checked);
    EXPECT_FALSE(w.rbAsIs.checked);
    EXPECT_EQ(w.Which, 7);
    EXPECT_TRUE(w.rb[6].checked);
    EXPECT_EQ(w.edPass[6].text, "pa:ss");
}

TEST_F(GeneralSettings, ValidationStopsAtTheFirstFaultyMailbox) {
    struct Case {
        const char* server;
        const char* user;
        const char* password;
        const char* message;
        const char* field;
    } cases[] = {
        {"pop.a.test", "", "x", "Mailbox 3 has a server pop.a.test but no mailbox", "edName3"},
        {"", "alice", "x", "Mailbox 3 alice has a blank server", "edServe3"},
        {"pop.a.test", "alice", "", "Mailbox 3 - there is no password set", "edPass3"},
    };
    for (const auto& c : cases) {
        testing::FakePlatform local;
        SettingsStore localStore(local.platform.settingsFolder);
        TfrmGeneral w(local.platform, localStore);
        fillMailbox(w, 1, "pop.one.test", "one", "1");
        fillMailbox(w, 3, c.server, c.user, c.password);
        fillMailbox(w, 5, "pop.five.test", "", "");  // faulty too, but never reached
        fillMailbox(w, 6, "pop.six.test", "six", "6");
        w.modalResult = ModalResult::Ok;

        EXPECT_FALSE(w.saveServerSettings());
        ASSERT_EQ(local.dialogs.shown.size(), 1u) << c.message;
        EXPECT_EQ(local.dialogs.shown[0].kind, MessageKind::Error);
        EXPECT_EQ(local.dialogs.shown[0].text, c.message);
        EXPECT_EQ(w.activePage, "Mailboxes");
        EXPECT_EQ(w.focusedControl, c.field);
        EXPECT_EQ(w.modalResult, ModalResult::None);  // the window stays open
        // Mailboxes 1 to 3 were written, the rest were not.
        EXPECT_EQ(localStore.readString("Server", "Server1", "-"), "pop.one.test");
        EXPECT_EQ(localStore.readString("Server", "Server3", "-"), c.server);
        EXPECT_EQ(localStore.readString("Server", "Server5", "-"), "-");
        EXPECT_EQ(localStore.readString("Server", "Server6", "-"), "-");
    }
}

TEST_F(GeneralSettings, NoCheckedMailboxWritesWhichZeroAndReadsBackNone) {
    {
        TfrmGeneral w(fake.platform, store);
        for (auto& b : w.rb) b.checked = false;
        ASSERT_TRUE(w.saveServerSettings());
        EXPECT_EQ(w.Which, 0);
    }
    EXPECT_EQ(store.readInteger("Server", "Which", 1), 0);
    TfrmGeneral w(fake.platform, store);
    EXPECT_EQ(w.Which, 0);
    for (const auto& b : w.rb) EXPECT_FALSE(b.checked);
}

TEST_F(GeneralSettings, ADialUpEntryBeyondThePhoneBookCountsAsNone) {
    store.writeInteger("General", "RAS", 3);
    TfrmGeneral w(fake.platform, store);
    EXPECT_EQ(w.RASComboBox.itemIndex, 0);
    EXPECT_EQ(w.RASComboBox.items.at(0), "None");
}

}  // namespace
}  // namespace quorvel
