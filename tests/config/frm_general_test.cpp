#include "config/frm_general.h"
#include "config/frm_oauth.h"
#include "config/frm_options_main.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "mail/ag_ras.h"
#include "support/fake_oauth_service.h"
#include "support/fake_platform.h"
#include "support/memory_secret_store.h"
#include "support/simulated_dial_up.h"

namespace quorvel {
namespace {

const std::string kFixtures = std::string(QUORVEL_FIXTURES) + "/general";

struct RecordingHeaderRules : HeaderRules {
    void insertFirstRule(const HeaderRuleRow& row) override {
        rows.insert(rows.begin(), row);
        calls.push_back("insert");
    }
    void Savesettings() override { calls.push_back("save"); }
    bool fillBlankMailboxRule(int, const std::string&) override { return false; }
    std::vector<HeaderRuleRow> rows;
    std::vector<std::string> calls;
};

struct RecordingLog : LogCommands {
    void viewLogFile() override { calls.push_back("view"); }
    void clearLogFile() override { calls.push_back("clear"); }
    void applyNamingRule(TfrmGeneral& window) override { calls.push_back("name " + window.Edit1.text); }
    void logCancel(const std::string& user, const std::string& server) override {
        calls.push_back("cancel " + user + " " + server);
    }
    std::vector<std::string> calls;
};

class GeneralSettings : public ::testing::Test {
protected:
    testing::FakePlatform fake;
    SettingsStore store{fake.platform.settingsFolder};
    RecordingHeaderRules rules;
    RecordingLog log;

    // A window that finds no other mail program on this machine.
    std::unique_ptr<TfrmGeneral> create() {
        auto w = std::make_unique<TfrmGeneral>(fake.platform, store);
        w->mailSetup = {};
        w->mailSetup.registry = &store.registry();
        w->mailSetup.home = fake.folder.file("home");
        w->mailSetup.xdgDataDirs = fake.folder.file("no-data");
        w->setHeaderRules(&rules);
        w->setLog(&log);
        return w;
    }

    static void fillMailbox(TfrmGeneral& w, int n, const char* server, const char* user, const char* password) {
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
    EXPECT_FALSE(w.cbLaunch.checked);  // no mail program to launch
    EXPECT_FALSE(w.Launch());
    EXPECT_FALSE(w.Exit());
    EXPECT_TRUE(w.Alarm());
    EXPECT_TRUE(w.Repeat());
    EXPECT_FALSE(w.SysTray());
    EXPECT_TRUE(w.RememberListed());  // profiles from before the option: on
    EXPECT_EQ(w.cbRememberListed.caption, "Remember listed messages");
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
        w.cbRememberListed.checked = false;
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
    EXPECT_FALSE(w.RememberListed());
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

TEST_F(GeneralSettings, TheFirstStartFillsTheDefaultFilesAndAddsTheMailboxRule) {
    auto w = create();
    EXPECT_TRUE(w->firstRun);
    w->FormShow();
    EXPECT_EQ(w->AlarmFile(), fake.platform.programFolder + "/harptune.wav");
    EXPECT_EQ(w->Logfile(), fake.platform.programFolder + "/logfile.txt");
    EXPECT_EQ(w->Mailer(), "");
    for (int n = 1; n <= TfrmGeneral::kMailboxes; ++n) {
        EXPECT_EQ(w->serverOf(n), "") << n;
        EXPECT_EQ(w->userOf(n), "") << n;
    }
    ASSERT_EQ(rules.rows.size(), 1u);
    const HeaderRuleRow& rule = rules.rows[0];
    EXPECT_EQ(rule.what, "To does not contain");
    EXPECT_EQ(rule.matches, " - MailBox #1");
    EXPECT_EQ(rule.caseSensitive, "No");
    // Mail that does not name the user in To is often ordinary: it is
    // questioned, never deleted unseen.
    EXPECT_EQ(rule.del, "No");
    EXPECT_EQ(rule.hits, "0");
    EXPECT_EQ(rule.image, kImageQuestion);
    EXPECT_EQ(rules.calls, (std::vector<std::string>{"insert", "save"}));
    EXPECT_FALSE(w->firstRun);
    // The naming rule of the log comes last, on the filled-in name.
    EXPECT_EQ(log.calls, std::vector<std::string>{"name " + fake.platform.programFolder + "/logfile.txt"});
    EXPECT_TRUE(fake.dialogs.shown.empty());
    // The Mailboxes page tells of the rule, in this showing only.
    EXPECT_TRUE(w->lblFirstRunRule.visible);
    EXPECT_NE(w->lblFirstRunRule.caption.find("question mark"), std::string::npos);

    w->FormShow();
    EXPECT_EQ(rules.rows.size(), 1u);  // once only
    EXPECT_FALSE(w->lblFirstRunRule.visible);
}

TEST_F(GeneralSettings, TheFirstRunRuleNamesTheUserTheLookUpsFound) {
    auto w = create();
    w->mailSetup.home = kFixtures + "/mpop/home";
    w->FormShow();
    EXPECT_EQ(w->serverOf(1), "pop.home.test");
    ASSERT_EQ(rules.rows.size(), 1u);
    EXPECT_EQ(rules.rows[0].matches, "work \"main\" user - MailBox #1");
}

TEST_F(GeneralSettings, NoFirstRunRuleOnceMailboxOneHasAServerOrUser) {
    for (const char* value : {"Server1", "Mailbox1"}) {
        testing::FakePlatform local;
        SettingsStore localStore(local.platform.settingsFolder);
        localStore.writeString("Server", value, "x");
        TfrmGeneral w(local.platform, localStore);
        RecordingHeaderRules localRules;
        w.setHeaderRules(&localRules);
        w.mailSetup = {};
        w.FormShow();
        EXPECT_FALSE(w.firstRun) << value;
        EXPECT_TRUE(localRules.rows.empty()) << value;
    }
}

TEST_F(GeneralSettings, WithoutTheRuleTablesTheFirstRunRuleWaits) {
    auto w = create();
    w->setHeaderRules(nullptr);
    w->FormShow();
    EXPECT_TRUE(w->firstRun);
    w->setHeaderRules(&rules);
    w->FormShow();
    EXPECT_EQ(rules.rows.size(), 1u);
}

// The first-run rule is added before any user name is known; the OK that
// names the user of mailbox 1 gives it to the rule, where the rule stands.
TEST_F(GeneralSettings, OkGivesTheBlankFirstRunRuleTheUserOfMailboxOne) {
    const HeaderRuleRow other{"Contains", "X-Other", "No", "No", "0", 0};
    struct Case {
        const char* name;
        std::vector<HeaderRuleRow> before;  // inserted first, after the first-run rule
        const char* user;
        const char* password;
        bool ok;  // OK, else Cancel
        int row;  // where the first-run rule stands afterwards
        const char* matches;
    } cases[] = {
        {"named", {}, "joe", "pw", true, 1, "joe - MailBox #1"},
        {"named, moved down", {other}, "joe", "pw", true, 2, "joe - MailBox #1"},
        {"blank name", {}, " \r\n", "pw", true, 1, " - MailBox #1"},
        {"no password: refused", {}, "joe", "", true, 1, " - MailBox #1"},
        {"cancelled", {}, "joe", "pw", false, 1, " - MailBox #1"},
        {"a named rule is not renamed",
         {{"To does not contain", "old - MailBox #1", "No", "Yes", "0", 0}}, "joe", "pw", true, 2, "joe - MailBox #1"},
    };
    for (const Case& c : cases) {
        testing::FakePlatform local;
        SettingsStore localStore(local.platform.settingsFolder);
        TfrmOptionsMain options(local.platform);
        TfrmGeneral w(local.platform, localStore);
        w.mailSetup = {};
        w.setHeaderRules(&options);
        w.FormShow();
        for (const HeaderRuleRow& row : c.before) options.insertFirstRule(row);
        fillMailbox(w, 1, "pop.test", c.user, c.password);
        c.ok ? w.btOKClick() : w.btCancelClick();

        // As the rule files hold it: read back by a fresh spam settings window.
        TfrmOptionsMain saved(local.platform);
        const RuleTable& table = c.ok && std::string(c.password).empty() ? options.rules.gridHeader
                                                                         : saved.rules.gridHeader;
        ASSERT_EQ(table.ruleCount(), static_cast<int>(c.before.size()) + 1) << c.name;
        EXPECT_EQ(table.cell(1, c.row), "To does not contain") << c.name;
        EXPECT_EQ(table.cell(2, c.row), c.matches) << c.name;
        EXPECT_EQ(table.cell(3, c.row), "No") << c.name;
        EXPECT_EQ(table.cell(4, c.row), "No") << c.name;
        EXPECT_EQ(table.cell(5, c.row), "0") << c.name;
        EXPECT_EQ(table.image(c.row), kImageQuestion) << c.name;
        if (c.before.size() == 1 && c.before[0].what == "To does not contain") {
            EXPECT_EQ(table.cell(2, 1), "old - MailBox #1") << c.name;
        }
    }
}

TEST_F(GeneralSettings, ShowingLooksUpOnlyWhatIsEmpty) {
    // Other programs' keys are ordinary keys of the store's file.
    store.registry().writeString("HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Account Manager\\Accounts\\00000001",
                      "POP3 Server", "pop.iam.test");
    store.registry().writeString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\mailto\\shell\\open\\command", "",
                      "rundll32.exe url.dll,MailToProtocolHandler %1");
    {
        auto w = create();
        w->FormShow();
        EXPECT_EQ(w->serverOf(1), "pop.iam.test");
        EXPECT_EQ(w->Mailer(), "rundll32.exe url.dll,MailToProtocolHandler");
    }
    store.writeString("Server", "Server1", "pop.mine.test");
    store.writeString("General", "Mailer", "/usr/bin/mymailer");
    store.writeString("General", "AlarmFile", "/sounds/mine.wav");
    store.writeString("General", "Logfile", "/logs/mine.txt");
    auto w = create();
    w->FormShow();
    EXPECT_EQ(w->serverOf(1), "pop.mine.test");
    EXPECT_EQ(w->Mailer(), "/usr/bin/mymailer");
    EXPECT_EQ(w->AlarmFile(), "/sounds/mine.wav");
    EXPECT_EQ(w->Logfile(), "/logs/mine.txt");
}

TEST_F(GeneralSettings, ShowingReReadsTheAccountsButNotTheGeneralSettings) {
    auto w = create();
    w->FormShow();
    w->edServe[2].text = "pop.unsaved.test";
    w->nMinutes.value = 33;
    w->FormShow();  // as after closing by the title bar
    EXPECT_EQ(w->serverOf(3), "");
    EXPECT_EQ(w->Minutes(), 33);
}

TEST_F(GeneralSettings, TheOverDeleteWarningComesOncePerOkInAutomaticModeOnly) {
    const std::string warning =
        "Just a warning that you selected to automatically delete marked messages without confirmation.  "
        "It is possible to OVER delete by using this setting.";
    struct Case {
        const char* name;
        bool automatic;
        bool killStored;
        int warnings;
    } cases[] = {
        {"automatic, turned on", true, false, 1},
        {"manual, turned on", false, false, 0},
        {"automatic, already on when shown", true, true, 0},
    };
    for (const auto& c : cases) {
        testing::FakePlatform local;
        SettingsStore localStore(local.platform.settingsFolder);
        localStore.writeBool("General", "Kill", c.killStored);
        TfrmGeneral w(local.platform, localStore);
        w.mailSetup = {};
        w.FormShow();
        c.automatic ? w.rbAutoClick() : w.rbManualClick();
        w.cbKill.checked = true;
        w.cbKillClick();
        EXPECT_FALSE(w.pnlSound.visible) << c.name;
        w.btOKClick();
        int shown = 0;
        for (const auto& box : local.dialogs.shown) shown += box.text == warning && box.kind == MessageKind::Warning;
        EXPECT_EQ(shown, c.warnings) << c.name;
        EXPECT_EQ(w.modalResult, ModalResult::Ok) << c.name;
    }
}

TEST_F(GeneralSettings, AFaultyAccountKeepsTheWindowOpenAndTheWarningsComeAgain) {
    auto w = create();
    w->FormShow();
    w->rbAutoClick();
    w->cbKill.checked = true;
    w->cbSysTray.checked = true;
    fillMailbox(*w, 2, "pop.two.test", "", "");
    w->btOKClick();
    EXPECT_EQ(w->modalResult, ModalResult::None);
    ASSERT_EQ(fake.dialogs.shown.size(), 3u);
    EXPECT_EQ(fake.dialogs.shown[0].kind, MessageKind::Warning);
    EXPECT_EQ(fake.dialogs.shown[1].text, "Exit and restart for the Start Up changes to take effect.");
    EXPECT_EQ(fake.dialogs.shown[1].kind, MessageKind::Information);
    EXPECT_EQ(fake.dialogs.shown[2].text, "Mailbox 2 has a server pop.two.test but no mailbox");
    // The general settings were saved before the accounts.
    EXPECT_TRUE(store.readBool("General", "Kill", false));

    w->activePage = "Automatic";
    w->edName[1].text = "two";
    w->edPass[1].text = "secret";
    w->btOKClick();
    EXPECT_EQ(w->modalResult, ModalResult::Ok);
    EXPECT_EQ(fake.dialogs.shown.size(), 5u);  // both notices again, no error
    EXPECT_EQ(store.readString("Server", "Mailbox2", ""), "two");
}

TEST_F(GeneralSettings, TheRestartNoticeOnlyWhenStartUpInTheTrayChanged) {
    for (const bool change : {false, true}) {
        testing::FakePlatform local;
        SettingsStore localStore(local.platform.settingsFolder);
        TfrmGeneral w(local.platform, localStore);
        w.mailSetup = {};
        w.FormShow();
        w.cbSysTray.checked = change;
        w.btOKClick();
        const bool noticed = !local.dialogs.shown.empty() &&
                             local.dialogs.shown[0].text == "Exit and restart for the Start Up changes to take effect.";
        EXPECT_EQ(noticed, change);
        EXPECT_EQ(localStore.readBool("General", "SysTray", !change), change);
    }
}

TEST_F(GeneralSettings, CancelPutsEveryControlBackToItsStoredValue) {
    store.writeString("Server", "Server1", "pop.one.test");
    store.writeString("Server", "Mailbox1", "one");
    store.writeInteger("Server", "Which", 1);
    auto w = create();
    w->FormShow();
    w->rbAutoClick();
    EXPECT_TRUE(w->pnlAuto.visible);
    EXPECT_FALSE(w->pnlManual.visible);
    w->nMinutes.value = 99;
    w->edServe[0].text = "pop.changed.test";
    w->rbMailboxClick(4);
    w->rbQuarterClick();
    w->edCount.text = "7";

    w->btCancelClick();
    EXPECT_EQ(w->modalResult, ModalResult::Cancel);
    EXPECT_TRUE(w->rbManual.checked);
    EXPECT_FALSE(w->rbAuto.checked);
    EXPECT_TRUE(w->pnlManual.visible);
    EXPECT_FALSE(w->pnlAuto.visible);
    EXPECT_EQ(w->Minutes(), 10);
    EXPECT_EQ(w->serverOf(1), "pop.one.test");
    EXPECT_EQ(w->Which, 1);
    for (int n = 1; n <= TfrmGeneral::kMailboxes; ++n) EXPECT_EQ(w->rb[n - 1].checked, n == 1) << n;
    EXPECT_TRUE(w->rbAsIs.checked);
    EXPECT_FALSE(w->rbQuarter.checked);
    EXPECT_EQ(w->edCount.text, "0");
    EXPECT_TRUE(fake.dialogs.shown.empty());
}

TEST_F(GeneralSettings, MinutesReadBackWithinTheFieldsRange) {
    const std::pair<const char*, int> cases[] = {{"1", 2}, {"0", 2}, {"-5", 2}, {"2", 2}, {"600", 600}, {"900", 600}};
    for (const auto& [stored, shown] : cases) {
        store.writeString("General", "Minutes", stored);
        auto w = create();
        EXPECT_EQ(w->Minutes(), shown) << stored;
    }
}

TEST_F(GeneralSettings, ACorruptPasswordIsReportedAndTheOtherAccountsStillLoad) {
    store.writeString("Server", "Passwd2", "zz");
    store.writeString("Server", "Server3", "pop.three.test");
    auto w = create();
    ASSERT_EQ(fake.dialogs.shown.size(), 1u);
    EXPECT_EQ(fake.dialogs.shown[0].kind, MessageKind::Error);
    EXPECT_EQ(w->serverOf(3), "pop.three.test");
}

TEST_F(GeneralSettings, TheTestButtonPlaysAndStopsTheAlarm) {
    const std::string alarm = fake.folder.file("alarm.wav");
    std::ofstream(alarm) << "RIFF";
    struct Case {
        const char* name;
        bool repeat;
        bool exists;
        const char* captionAfterFirst;
        std::vector<std::string> calls;
    } cases[] = {
        {"looping alarm", true, true, "Stop", {"play", "stop"}},
        {"single alarm", false, true, "Test", {"play", "play"}},
        {"missing file", true, false, "Stop", {}},
    };
    for (const auto& c : cases) {
        auto w = create();
        std::vector<std::string> calls;
        w->OnPlayAlarm = [&calls](bool play) { calls.push_back(play ? "play" : "stop"); };
        w->edAlarm.text = c.exists ? alarm : fake.folder.file("none.wav");
        w->cbRepeat.checked = c.repeat;
        w->sbTestClick();
        EXPECT_EQ(w->sbTest.caption, c.captionAfterFirst) << c.name;
        w->sbTestClick();
        EXPECT_EQ(w->sbTest.caption, "Test") << c.name;
        EXPECT_EQ(calls, c.calls) << c.name;
    }
}

TEST_F(GeneralSettings, ResettingTheCounterAsksFirst) {
    auto w = create();
    w->edCount.text = "12";
    fake.dialogs.answers = {ModalResult::No, ModalResult::Yes};
    w->btResetClick();
    EXPECT_EQ(w->edCount.text, "12");
    w->btResetClick();
    EXPECT_EQ(w->edCount.text, "0");
    ASSERT_EQ(fake.dialogs.shown.size(), 2u);
    EXPECT_EQ(fake.dialogs.shown[0].text, "Really reset spam counter?");
    EXPECT_EQ(fake.dialogs.shown[0].kind, MessageKind::Confirmation);
    EXPECT_EQ(store.readString("General", "Count", "-"), "-");  // stored only with the general settings
}

TEST_F(GeneralSettings, BrowseButtonsAskWithTheirFiltersAndKeepTheFieldOnCancel) {
    auto w = create();
    w->Edit1.text = "/logs/old.txt";
    w->edAlarm.text = "/sounds/old.wav";
    w->edMail.text = "/usr/bin/old";
    fake.dialogs.fileAnswers = {std::string("/logs/new.txt"), std::nullopt, std::string("/usr/bin/new")};
    w->sbLogFileClick();
    w->sbAlarmFileClick();
    w->sbMailerClick();
    EXPECT_EQ(w->Logfile(), "/logs/new.txt");
    EXPECT_EQ(w->AlarmFile(), "/sounds/old.wav");
    EXPECT_EQ(w->Mailer(), "/usr/bin/new");
    ASSERT_EQ(fake.dialogs.fileRequests.size(), 3u);
    const auto& log = fake.dialogs.fileRequests[0];
    EXPECT_EQ(log.kind, "save");
    EXPECT_EQ(log.filter, "Text files (*.txt)|*.txt|All files (*.*)|*.*");
    EXPECT_EQ(log.defaultExt, ".txt");
    EXPECT_EQ(log.initial, "/logs/old.txt");
    const auto& sound = fake.dialogs.fileRequests[1];
    EXPECT_EQ(sound.kind, "open");
    EXPECT_EQ(sound.title, "Sound files");
    EXPECT_EQ(sound.filter, "Sound files (*.wav)|*.wav|All files (*.*)|*.*");
    EXPECT_EQ(sound.defaultExt, ".wav");
    EXPECT_EQ(sound.initial, "/sounds/old.wav");
    EXPECT_EQ(fake.dialogs.fileRequests[2].kind, "open");
    EXPECT_EQ(fake.dialogs.fileRequests[2].initial, "/usr/bin/old");
}

TEST_F(GeneralSettings, TheLogButtonsUseTheLogOrSayItIsNotThereYet) {
    auto w = create();
    w->btViewClick();
    w->btClearClick();
    EXPECT_EQ(log.calls, (std::vector<std::string>{"view", "clear"}));
    w->setLog(nullptr);
    w->btViewClick();
    ASSERT_EQ(fake.dialogs.shown.size(), 1u);
    EXPECT_EQ(fake.dialogs.shown[0].text, "The activity log is not available in this version yet.");
}

TEST_F(GeneralSettings, HelpStatisticsAndLaunchGoWhereTheyBelong) {
    auto w = create();
    int launched = 0, stats = 0;
    w->OnLaunchMailProgram = [&] { ++launched; };
    w->OnShowStatistics = [&] { ++stats; };
    w->btLaunchClick();
    w->btStatsClick();
    w->btHelpClick();
    EXPECT_EQ(launched, 1);
    EXPECT_EQ(stats, 1);
    EXPECT_EQ(fake.shell.help, std::vector<std::string>{fake.platform.programFolder + "/quorvel.hlp#200"});
    fake.shell.result = false;
    w->btHelpClick();
    ASSERT_EQ(fake.dialogs.shown.size(), 1u);
    EXPECT_EQ(fake.dialogs.shown[0].text, "Unable to open help file - quorvel.hlp.");
}

TEST_F(GeneralSettings, EveryPageAndControlHasItsCaption) {
    auto w = create();
    EXPECT_EQ(w->caption, "General settings");
    EXPECT_EQ(w->activePage, "Mailboxes");
    EXPECT_EQ(std::vector<std::string>(TfrmGeneral::kPages.begin(), TfrmGeneral::kPages.end()),
              (std::vector<std::string>{"Mailboxes", "Connection", "Automatic", "Start Up", "Activity Log",
                                        "Mail program"}));
    EXPECT_EQ(w->rb[0].caption, "Mailbox 1");
    EXPECT_EQ(w->rb[11].caption, "Mailbox 12");
    const std::pair<const Control*, const char*> captions[] = {
        {&w->lblPOPServer, "POP Server"},
        {&w->lblUserName, "User Name/Mailbox"},
        {&w->lblConnection, "Specify a default connection to the internet:"},
        {&w->lblNoConnection, "Select 'none' if you do not dial in to the internet."},
        {&w->rbManual, "Check e-mail manually"},
        {&w->rbAuto, "Check e-mail unattended or automatically"},
        {&w->cbKill, "Delete spam automatically from all mailboxes - no confirmation?"},
        {&w->cbAlarm, "&Play this sound file if there is e-mail on the server"},
        {&w->sbTest, "Test"},
        {&w->cbSysTray, "Start Quorvel up in the system tray?"},
        {&w->rbMonth, "Automatically pick a new name every &month? (i.e. Jan98.txt, Feb98.txt, ...)"},
        {&w->rbQuarter, "Automatically pick a new name every &quarter? (Q1_98.txt, Q2_98.txt, ...)"},
        {&w->btStats, "View &Statistics"},
        {&w->lblCount, "Spams have been deleted up till now"},
        {&w->btLaunch, "Launch mail program"},
        {&w->btHelp, "Help"},
    };
    for (const auto& [control, caption] : captions) EXPECT_EQ(control->caption, caption);
    EXPECT_EQ(w->sbLogFile.hint, "Browse for log file");
    EXPECT_EQ(w->sbMailer.hint, "Find mail program");
}

}  // namespace
}  // namespace quorvel

namespace quorvel {
namespace {

// The "Connection" page offers the dial-up entries after "None"; a stored
// entry is dialled from then on. The entry is stored by name beside its place:
// an entry moved up by the removal of another is still the one dialled, and a
// removed one is "None" with an error box, never its neighbour. A profile with
// only the place keeps the old rule: one the phone book no longer has counts
// as "None" without a word, as on a system without dial-up.
TEST(GeneralDialUp, TheConnectionListFollowsThePhoneBook) {
    struct Case {
        const char* name;
        std::vector<std::string> entries;
        bool library;
        int stored;
        const char* storedName;  // nullptr: a profile from before the name
        int index;
        const char* service;
        bool invalidName;
    };
    const Case cases[] = {
        {"entry 2 chosen", {"Office VPN", "Mobile"}, true, 2, nullptr, 2, "Mobile", false},
        {"none chosen", {"Office VPN", "Mobile"}, true, 0, nullptr, 0, "", false},
        {"entry gone", {"Office VPN"}, true, 2, nullptr, 0, "", false},
        {"no dial-up service", {}, false, 1, nullptr, 0, "", false},
        {"named entry in its place", {"Office VPN", "Mobile"}, true, 2, "Mobile", 2, "Mobile", false},
        {"named entry moved up", {"Mobile", "Home"}, true, 2, "Mobile", 1, "Mobile", false},
        {"named entry removed", {"Office VPN", "Home"}, true, 2, "Mobile", 0, "", true},
        {"named entry was the last", {"Office VPN"}, true, 2, "Mobile", 0, "", true},
        {"none chosen by name", {"Office VPN", "Mobile"}, true, 0, "", 0, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::FakePlatform fake;
        testing::SimulatedDialUp service;
        service.entries = c.entries;
        TagRas ras(c.library ? &service : nullptr, fake.loop, fake.timers, fake.dialogs);
        SettingsStore store(fake.platform.settingsFolder);
        store.writeInteger("General", "RAS", c.stored);
        if (c.storedName) store.writeString("General", "RASName", c.storedName);
        TfrmGeneral w(fake.platform, store, &ras);
        std::vector<std::string> expected = {"None"};
        if (c.library) expected.insert(expected.end(), c.entries.begin(), c.entries.end());
        EXPECT_EQ(w.RASComboBox.items, expected);
        EXPECT_EQ(w.RASComboBox.itemIndex, c.index);
        EXPECT_EQ(ras.Service(), c.service);
        if (c.invalidName) {
            ASSERT_EQ(fake.dialogs.shown.size(), 1u);
            EXPECT_EQ(fake.dialogs.shown[0].text, "Invalid service name");
        } else {
            EXPECT_TRUE(fake.dialogs.shown.empty());
        }
        if (!c.invalidName) continue;
        // Nothing is dialled in place of a removed entry.
        ras.Connect();
        for (const std::string& call : service.calls) EXPECT_EQ(call.rfind("dial", 0), std::string::npos) << call;
    }
}

// The choice is saved as its place and its name; "None" has no name.
TEST(GeneralDialUp, TheChosenEntryIsSavedByPlaceAndName) {
    testing::FakePlatform fake;
    testing::SimulatedDialUp service;
    service.entries = {"Office VPN", "Mobile"};
    TagRas ras(&service, fake.loop, fake.timers, fake.dialogs);
    SettingsStore store(fake.platform.settingsFolder);
    TfrmGeneral w(fake.platform, store, &ras);
    for (const auto& [index, name] : {std::pair{2, "Mobile"}, std::pair{1, "Office VPN"}, std::pair{0, ""}}) {
        w.RASComboBox.itemIndex = index;
        w.SaveGeneralSettings();
        EXPECT_EQ(store.readInteger("General", "RAS", -1), index);
        EXPECT_EQ(store.readString("General", "RASName", "?"), name);
    }
}

// The security shown for a mailbox as read from the store: a stored choice,
// else the rule of an account stored before the choice existed, else (no
// server yet) the default of a new mailbox.
TEST_F(GeneralSettings, EachMailboxShowsItsSecurity) {
    const struct {
        const char* server;
        const char* stored;  // nullptr: no value
        TmsSecurity shown;
    } cases[] = {
        {"pop.test", "1", TmsSecurity::STARTTLS},     {"pop.test:995", "0", TmsSecurity::None},
        {"pop.test", "2", TmsSecurity::SSLTLS},       {"pop.test", nullptr, TmsSecurity::None},
        {"pop.test:995", nullptr, TmsSecurity::SSLTLS}, {"pop.test:110", "9", TmsSecurity::None},
        {"", nullptr, TmsSecurity::STARTTLS},          {"", "0", TmsSecurity::None},
    };
    int n = 1;
    for (const auto& c : cases) {
        store.writeString("Server", "Server" + std::to_string(n), c.server);
        if (c.stored) store.writeString("Server", "Security" + std::to_string(n), c.stored);
        ++n;
    }
    auto w = create();
    n = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.server) + " / " + (c.stored ? c.stored : "none"));
        EXPECT_EQ(w->securityOf(n), c.shown);
        EXPECT_EQ(w->cbSecurity[static_cast<std::size_t>(n - 1)].items,
                  (std::vector<std::string>{"None", "STARTTLS", "SSL/TLS"}));
        ++n;
    }
    // Mailboxes 2, 4 and 6 have a server and no encryption.
    EXPECT_TRUE(w->lblSecurityWarning.visible);
    EXPECT_EQ(w->lblSecurityWarning.caption,
              "Warning: with Security \"None\" the passwords of mailboxes 2, 4 and 6 travel unencrypted.");
}

TEST_F(GeneralSettings, AnUnchosenSecurityFollowsThePortAndAChoiceStands) {
    store.writeString("Server", "Server2", "old.test");  // stored before the choice existed
    auto w = create();
    const struct {
        int mailbox;
        const char* server;
        TmsSecurity shown;
    } edits[] = {
        {1, "new.test", TmsSecurity::STARTTLS}, {1, "new.test:995", TmsSecurity::SSLTLS},
        {1, "new.test:1110", TmsSecurity::STARTTLS}, {2, "old.test:995", TmsSecurity::SSLTLS},
        {2, "old.test:110", TmsSecurity::None},
    };
    for (const auto& e : edits) {
        SCOPED_TRACE(e.server);
        w->edServe[static_cast<std::size_t>(e.mailbox - 1)].text = e.server;
        w->edServeChange(e.mailbox);
        EXPECT_EQ(w->securityOf(e.mailbox), e.shown);
    }
    EXPECT_EQ(w->lblSecurityWarning.caption,
              "Warning: with Security \"None\" the password of mailbox 2 travels unencrypted.");

    // Chosen by the user: the port no longer changes it, and the warning follows.
    w->cbSecurity[1].itemIndex = static_cast<int>(TmsSecurity::STARTTLS);
    w->cbSecurityChange(2);
    EXPECT_FALSE(w->lblSecurityWarning.visible);
    w->edServe[1].text = "old.test:995";
    w->edServeChange(2);
    EXPECT_EQ(w->securityOf(2), TmsSecurity::STARTTLS);
    w->cbSecurity[0].itemIndex = static_cast<int>(TmsSecurity::None);
    w->cbSecurityChange(1);
    EXPECT_EQ(w->lblSecurityWarning.caption,
              "Warning: with Security \"None\" the password of mailbox 1 travels unencrypted.");
}

// The warning names what travels in the clear: a password, or the access
// token of an OAuth 2.0 mailbox.
TEST_F(GeneralSettings, TheSecurityWarningNamesWhatTravelsUnencrypted) {
    constexpr TmsSignIn P = TmsSignIn::Password, A = TmsSignIn::APOP, O = TmsSignIn::OAuth2;
    const struct {
        std::vector<TmsSignIn> signIns;  // of mailboxes 1, 2, ...
        std::string warning;
    } cases[] = {
        {{P}, "the password of mailbox 1 travels"},
        {{P, A, P}, "the passwords of mailboxes 1, 2 and 3 travel"},
        {{O}, "the access token of mailbox 1 travels"},
        {{O, O}, "the access tokens of mailboxes 1 and 2 travel"},
        {{O, P, A}, "the passwords of mailboxes 2 and 3, and the access token of mailbox 1, travel"},
        {{P, O}, "the password of mailbox 1, and the access token of mailbox 2, travel"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.warning);
        auto w = create();
        for (std::size_t i = 0; i < c.signIns.size(); ++i) {
            const int n = static_cast<int>(i) + 1;
            fillMailbox(*w, n, "pop.example.test", "joe", "");
            w->cbSecurity[i].itemIndex = static_cast<int>(TmsSecurity::None);
            w->cbSecurityChange(n);
            w->cbSignIn[i].itemIndex = static_cast<int>(c.signIns[i]);
            w->cbSignInChange(n);
        }
        EXPECT_TRUE(w->lblSecurityWarning.visible);
        EXPECT_EQ(w->lblSecurityWarning.caption, "Warning: with Security \"None\" " + c.warning + " unencrypted.");
    }
}

TEST_F(GeneralSettings, SecurityAndSignInAreStoredWithTheAccount) {
    auto w = create();
    fillMailbox(*w, 1, "pop.one.test", "ann", "pw1");
    fillMailbox(*w, 2, "pop.two.test:995", "bob", "pw2");
    w->edServeChange(2);
    w->cbSecurity[0].itemIndex = static_cast<int>(TmsSecurity::None);
    w->cbSecurityChange(1);
    w->cbSignIn[0].itemIndex = static_cast<int>(TmsSignIn::APOP);
    w->cbSignInChange(1);
    ASSERT_TRUE(w->saveServerSettings());
    EXPECT_EQ(store.readString("Server", "SignIn1", "?"), "1");
    EXPECT_EQ(store.readString("Server", "SignIn2", "?"), "0");
    EXPECT_EQ(store.readString("Server", "Security1", "?"), "0");
    EXPECT_EQ(store.readString("Server", "Security2", "?"), "2");
    EXPECT_EQ(store.readString("Server", "APOP1", "?"), "1");
    EXPECT_EQ(store.readString("Server", "APOP2", "?"), "0");
    // An empty mailbox keeps no choice, so a server typed in later sets it.
    EXPECT_EQ(store.readString("Server", "Security3", "?"), "?");

    auto again = create();
    EXPECT_EQ(again->securityOf(1), TmsSecurity::None);
    EXPECT_EQ(again->securityOf(2), TmsSecurity::SSLTLS);
    EXPECT_EQ(again->signInOf(1), TmsSignIn::APOP);
    EXPECT_EQ(again->signInOf(2), TmsSignIn::Password);
    again->edServe[2].text = "pop.three.test:995";
    again->edServeChange(3);
    EXPECT_EQ(again->securityOf(3), TmsSecurity::SSLTLS);
    // A stored choice is not overruled by the port.
    again->edServe[0].text = "pop.one.test:995";
    again->edServeChange(1);
    EXPECT_EQ(again->securityOf(1), TmsSecurity::None);
}

}  // namespace
}  // namespace quorvel

namespace quorvel {
namespace {

// The certificate a mailbox trusts shows while that mailbox is chosen; its
// removal is kept by OK and undone by Cancel.
TEST_F(GeneralSettings, ACertificateExceptionShowsForItsMailboxAndCanBeRemoved) {
    const std::string pin(95, 'A');
    store.writeString("Server", "Server2", "mail.test:995");
    store.writeString("Server", "Mailbox2", "ann");
    store.writeString("Server", "Certificate2", pin);
    auto w = create();
    EXPECT_FALSE(w->lblCertificate.visible);  // mailbox 1 is chosen
    EXPECT_FALSE(w->btForgetCertificate.visible);
    w->rbMailboxClick(2);
    EXPECT_TRUE(w->lblCertificate.visible);
    EXPECT_TRUE(w->btForgetCertificate.visible);
    EXPECT_EQ(w->lblCertificate.caption,
              "Mailbox 2 trusts this server certificate although its checks refuse it:\nSHA-256 fingerprint " + pin);

    w->btForgetCertificateClick();
    EXPECT_FALSE(w->lblCertificate.visible);
    w->btCancelClick();
    EXPECT_EQ(store.readString("Server", "Certificate2", ""), pin);

    w->FormShow();
    w->rbMailboxClick(2);
    EXPECT_TRUE(w->lblCertificate.visible);
    w->btForgetCertificateClick();
    w->btOKClick();
    EXPECT_EQ(store.readString("Server", "Certificate2", ""), "");
}

TEST_F(GeneralSettings, AnOAuthMailboxSignsInFromItsDialogAndNeedsNoPassword) {
    testing::MemorySecretStore keyring;
    testing::FakeOAuthService provider;
    fake.platform.secrets = &keyring;
    fake.platform.oauth = &provider;
    auto w = create();
    fillMailbox(*w, 1, "pop.example.test:995", "joe@example.test", "");
    fillMailbox(*w, 2, "pop.two.test:995", "bob", "pw2");
    w->cbSignIn[0].itemIndex = static_cast<int>(TmsSignIn::OAuth2);
    w->cbSignInChange(1);
    EXPECT_TRUE(w->sbOAuth[0].visible);
    EXPECT_FALSE(w->edPass[0].enabled);
    EXPECT_FALSE(w->sbOAuth[1].visible);
    EXPECT_TRUE(w->edPass[1].enabled);

    provider.authorizeAnswers = {OAuthTokens{"access", "refresh-1", 0}};
    fake.dialogs.onShowModal = [&](Form& form) {
        auto& d = static_cast<TfrmOAuth&>(form);
        d.FormShow();
        EXPECT_EQ(d.caption, "OAuth 2.0 sign-in of mailbox 1");
        EXPECT_EQ(d.lblSignedIn.caption, "Not signed in yet");
        // A preset fills the addresses and keeps them from being edited.
        EXPECT_EQ(d.cbProvider.items, (std::vector<std::string>{"Microsoft", "Google", "Other"}));
        EXPECT_EQ(d.edToken.text, oauthPreset("Microsoft").tokenUrl);
        EXPECT_FALSE(d.edToken.enabled);
        EXPECT_EQ(d.lnkRegister.caption, oauthPreset("Microsoft").registrationPage);
        // The link is a web address: it opens in the browser, not as a file.
        d.lnkRegisterClick();
        EXPECT_EQ(fake.shell.addresses, std::vector<std::string>{oauthPreset("Microsoft").registrationPage});
        EXPECT_TRUE(fake.shell.opened.empty());
        EXPECT_TRUE(fake.dialogs.shown.empty());
        d.cbProvider.itemIndex = 2;
        d.cbProviderChange();
        EXPECT_TRUE(d.edToken.enabled);
        EXPECT_FALSE(d.lnkRegister.visible);
        d.edAuthorize.text = "https://id.example.test/auth";
        d.edToken.text = "https://id.example.test/token";
        d.edScope.text = "pop offline";
        d.edClientId.text = "client-1";
        d.btSignInClick();
        EXPECT_EQ(d.lblSignedIn.caption, "Signed in; kept in the desktop keyring");
        d.btOKClick();
        return d.modalResult;
    };
    w->sbOAuthClick(1);
    EXPECT_EQ(fake.dialogs.modalForms, std::vector<std::string>{"frmOAuth"});
    EXPECT_TRUE(fake.dialogs.shown.empty()) << fake.dialogs.shown[0].text;
    EXPECT_EQ(provider.calls, std::vector<std::string>{"authorize joe@example.test"});
    EXPECT_EQ(provider.providers.at(0).authorizationUrl, "https://id.example.test/auth");
    EXPECT_EQ(provider.providers.at(0).clientId, "client-1");
    EXPECT_EQ(keyring.items.at({1, SecretKind::RefreshToken}).secret, "refresh-1");
    EXPECT_EQ(w->lblKept[0].caption, kKeyringPlace);

    ASSERT_TRUE(w->saveServerSettings()) << fake.dialogs.shown.at(0).text;
    EXPECT_EQ(store.readString("Server", "SignIn1", "?"), "2");
    EXPECT_EQ(store.readString("Server", "APOP1", "?"), "0");
    EXPECT_EQ(store.readString("Server", "OAuthProvider1", "?"), "Other");
    EXPECT_EQ(store.readString("Server", "OAuthClientId1", "?"), "client-1");
    // A mailbox that never chose OAuth 2.0 leaves no trace of it.
    EXPECT_EQ(store.readString("Server", "OAuthProvider2", "?"), "?");
    EXPECT_EQ(store.readString("Server", "SignIn2", "?"), "0");

    auto again = create();
    EXPECT_EQ(again->signInOf(1), TmsSignIn::OAuth2);
    EXPECT_EQ(again->oauthSettings[0].provider.tokenUrl, "https://id.example.test/token");
    EXPECT_EQ(again->oauthSettings[0].provider.scope, "pop offline");
    EXPECT_EQ(again->lblKept[0].caption, kKeyringPlace);
    EXPECT_TRUE(again->sbOAuth[0].visible);
}

// The line under the button tells the last attempt's outcome: a time-out
// after a canceled attempt does not leave "canceled" standing.
TEST_F(GeneralSettings, TheSignInLineTellsTheLastAttempt) {
    testing::MemorySecretStore keyring;
    testing::FakeOAuthService provider;
    fake.platform.secrets = &keyring;
    fake.platform.oauth = &provider;
    TPasswordCipher cipher;
    TfrmOAuth d(fake.platform, store, cipher, {1, "joe", "pop.test", true}, {});
    d.FormShow();
    d.edClientId.text = "client-1";
    provider.waiting = [&] { d.btSignInClick(); };
    d.btSignInClick();
    EXPECT_EQ(d.lblSignedIn.caption, "The sign-in was canceled; nothing was kept");
    provider.authorizeAnswers = {EOAuthError("The sign-in was not completed in the browser within 5 minutes", false)};
    d.btSignInClick();
    EXPECT_EQ(d.lblSignedIn.caption, "The sign-in did not succeed; nothing was kept");
    ASSERT_EQ(fake.dialogs.shown.size(), 1u);
    EXPECT_EQ(fake.dialogs.shown[0].text,
              "The sign-in did not succeed: The sign-in was not completed in the browser within 5 minutes");
}

// A sign-in made in the settings window belongs to what the window saves:
// Cancel leaves no new secret behind and puts an earlier sign-in back.
TEST_F(GeneralSettings, ACancelledWindowLeavesNoNewSignInBehind) {
    testing::MemorySecretStore keyring;
    testing::FakeOAuthService provider;
    fake.platform.secrets = &keyring;
    fake.platform.oauth = &provider;
    for (const bool earlier : {false, true}) {
        SCOPED_TRACE(earlier);
        keyring.items.clear();
        store.writeString("Server", "OAuthAccount1", earlier ? "earlier account" : "");
        if (earlier) keyring.items[{1, SecretKind::RefreshToken}] = {"label", "refresh-old"};
        auto w = create();
        fillMailbox(*w, 1, "pop.example.test:995", "joe@example.test", "");
        w->cbSignIn[0].itemIndex = static_cast<int>(TmsSignIn::OAuth2);
        w->cbSignInChange(1);
        provider.authorizeAnswers = {OAuthTokens{"access", "refresh-new", 0}};
        fake.dialogs.onShowModal = [&](Form& form) {
            auto& d = static_cast<TfrmOAuth&>(form);
            d.FormShow();
            d.edClientId.text = "client-1";
            d.btSignInClick();
            d.btOKClick();
            return d.modalResult;
        };
        w->sbOAuthClick(1);
        EXPECT_EQ(keyring.items.at({1, SecretKind::RefreshToken}).secret, "refresh-new");
        w->btCancelClick();
        if (earlier) {
            EXPECT_EQ(keyring.items.at({1, SecretKind::RefreshToken}).secret, "refresh-old");
        } else {
            EXPECT_EQ(keyring.items.count({1, SecretKind::RefreshToken}), 0u);
        }
        EXPECT_EQ(store.readString("Server", "OAuthRefresh1", ""), "");
        EXPECT_EQ(store.readString("Server", "OAuthAccount1", ""), earlier ? "earlier account" : "");
    }
    // OK keeps it.
    auto w = create();
    fillMailbox(*w, 1, "pop.example.test:995", "joe@example.test", "");
    w->cbSignIn[0].itemIndex = static_cast<int>(TmsSignIn::OAuth2);
    w->cbSignInChange(1);
    provider.authorizeAnswers = {OAuthTokens{"access", "refresh-kept", 0}};
    w->sbOAuthClick(1);
    w->btOKClick();
    EXPECT_EQ(keyring.items.at({1, SecretKind::RefreshToken}).secret, "refresh-kept");
    EXPECT_NE(store.readString("Server", "OAuthAccount1", ""), "");
}

// While the browser is awaited the dialog says so, and its sign-in button
// or its Cancel ends the wait; a canceled sign-in keeps nothing.
TEST_F(GeneralSettings, AnOAuthSignInWaitingForTheBrowserCanBeCanceled) {
    testing::MemorySecretStore keyring;
    fake.platform.secrets = &keyring;
    TPasswordCipher cipher;
    const struct {
        const char* what;
        bool byCancel;  // else by the sign-in button
        bool keptBefore;
        const char* after;
    } cases[] = {
        {"by the sign-in button", false, false, "The sign-in was canceled; nothing was kept"},
        {"by Cancel, which then closes", true, false, "The sign-in was canceled; nothing was kept"},
        {"with an earlier sign-in", false, true, "The sign-in was canceled; the earlier sign-in is kept"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testing::FakeOAuthService provider;
        fake.platform.oauth = &provider;
        keyring.items.clear();
        if (c.keptBefore) keyring.items[{1, SecretKind::RefreshToken}].secret = "refresh-old";
        fake.dialogs.shown.clear();
        TfrmOAuth d(fake.platform, store, cipher, {1, "joe", "pop.test", true}, {});
        d.FormShow();
        d.edClientId.text = "client-1";
        int turns = 0;
        provider.waiting = [&] {
            if (++turns < 3) return;  // a few turns of the wait pass first
            EXPECT_TRUE(d.signingIn());
            EXPECT_EQ(d.btSignIn.caption, "Cancel sign-&in");
            EXPECT_EQ(d.lblSignedIn.caption,
                      "Waiting for the browser: sign in at the provider's page that opened there");
            EXPECT_FALSE(d.btOK.enabled);
            EXPECT_FALSE(d.edClientId.enabled);
            EXPECT_EQ(d.modalResult, ModalResult::None);
            if (c.byCancel)
                d.btCancelClick();
            else
                d.btSignInClick();
            // A second click while the cancel is under way asks nothing more.
            d.btSignInClick();
        };
        d.btSignInClick();
        EXPECT_EQ(provider.calls, (std::vector<std::string>{"authorize joe", "cancel"}));
        EXPECT_FALSE(d.signingIn());
        EXPECT_EQ(d.lblSignedIn.caption, c.after);
        EXPECT_EQ(d.btSignIn.caption, "Sign &in...");
        EXPECT_TRUE(d.btOK.enabled);
        EXPECT_TRUE(d.edClientId.enabled);
        EXPECT_FALSE(d.signedIn);
        EXPECT_TRUE(fake.dialogs.shown.empty()) << fake.dialogs.shown[0].text;
        EXPECT_EQ(d.modalResult, c.byCancel ? ModalResult::Cancel : ModalResult::None);
        EXPECT_EQ(keyring.items.count({1, SecretKind::RefreshToken}), c.keptBefore ? 1u : 0u);
        if (c.keptBefore) {
            EXPECT_EQ(keyring.items.at({1, SecretKind::RefreshToken}).secret, "refresh-old");
        }
        EXPECT_EQ(store.readString("Server", "OAuthRefresh1", ""), "");
    }
}

TEST_F(GeneralSettings, TheOAuthDialogSaysWhatIsMissingInPlainWords) {
    testing::FakeOAuthService provider;
    TPasswordCipher cipher;
    const struct {
        const char* what;
        OAuthService* oauth;
        const char* clientId;
        const char* command;
        bool signIn;  // else OK
        std::string message;
        std::string focus;  // the field that takes the focus after the message
    } cases[] = {
        {"no service", nullptr, "id", "", true,
         "OAuth 2.0 sign-in is not available in this Quorvel (no browser sign-in). A token command can give the "
         "access token instead.",
         ""},
        {"no client ID", &provider, "", "", true, "Enter the client ID that Microsoft gave Quorvel first.",
         "edClientId"},
        {"OK without either", &provider, "", "", false,
         "Enter the client ID that Microsoft gave Quorvel, or a token command.", "edClientId"},
        {"OK with a broken command", &provider, "", "helper 'open", false,
         "The token command has an unmatched quote (')", "edCommand"},
        {"OK with a command", &provider, "", "helper --get", false, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fake.platform.oauth = c.oauth;
        fake.dialogs.shown.clear();
        TfrmOAuth d(fake.platform, store, cipher, {1, "joe", "pop.test", false}, {});
        d.FormShow();
        d.edClientId.text = c.clientId;
        d.edCommand.text = c.command;
        d.focusedControl.clear();
        if (c.signIn)
            d.btSignInClick();
        else
            d.btOKClick();
        if (c.message.empty()) {
            EXPECT_TRUE(fake.dialogs.shown.empty());
            EXPECT_EQ(d.modalResult, ModalResult::Ok);
        } else {
            ASSERT_EQ(fake.dialogs.shown.size(), 1u);
            EXPECT_EQ(fake.dialogs.shown[0].text, c.message);
            EXPECT_EQ(d.modalResult, ModalResult::None);
        }
        EXPECT_EQ(d.focusedControl, c.focus);
    }
    EXPECT_TRUE(provider.calls.empty());
}

}  // namespace
}  // namespace quorvel
