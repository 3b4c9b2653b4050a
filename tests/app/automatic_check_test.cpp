// Automatic checking: the minute countdown on the fake clock, the cycle over
// the configured mailboxes against a real Dovecot on loopback, switching the
// mode from the tray menu, and the tray's own check command.
#include <algorithm>
#include <functional>

#include <gtest/gtest.h>

#include "app/program.h"
#include "platform/files.h"
#include "support/dovecot_server.h"
#include "support/every_domain_exists.h"
#include "support/fake_platform.h"
#include "support/scripted_server.h"

namespace quorvel {
namespace {

using testing::shortMessage;

constexpr int kMinute = 60000;

void configureMailbox(SettingsStore& store, int n, const std::string& server, const std::string& user,
                      const std::string& password) {
    TPasswordCipher cipher;
    cipher.Key = "qiro";
    const std::string number = std::to_string(n);
    store.writeString("Server", "Server" + number, server);
    // Plain as chosen: the tests' server offers STLS on a certificate for localhost only.
    store.writeInteger("Server", "Security" + number, static_cast<int>(TmsSecurity::None));
    store.writeString("Server", "Mailbox" + number, user);
    store.writeString("Server", "Passwd" + number, cipher.encipher(password));
}

std::vector<std::string> linesStartingWith(const std::string& text, const std::string& prefix) {
    std::vector<std::string> found;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find("\r\n", at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        if (line.rfind(prefix, 0) == 0) found.push_back(line);
        at = end + 2;
    }
    return found;
}

class Automatic : public ::testing::Test {
protected:
    testing::FakePlatform fake;
    std::unique_ptr<Program> program;
    testing::EveryDomainExists resolver;

    // Starts the program in automatic mode, hidden as in the notification
    // area, after `settings` wrote what the test needs.
    void start(const std::function<void(SettingsStore&)>& settings = {}) {
        {
            SettingsStore store(fake.platform.settingsFolder);
            store.writeString("Server", "Version161", "161");
            store.writeBool("General", "Automatic", true);
            store.writeString("General", "Logfile", fake.folder.file("log.txt"));
            if (settings) settings(store);
        }
        program = std::make_unique<Program>(fake.platform);
        program->start();
        main().setDomainResolver(resolver);
        RuleTable& subjects = program->frmOptionsMain()->rules.gridSubject;
        const std::string rule[] = {"", "Contains", "win", "No", "Yes", "0"};
        for (int col = 0; col < 6; ++col) subjects.setCell(col, 1, rule[col]);
        // An alarm file that exists, so the alarm plays it rather than beeping.
        writeFileAtomically(fake.folder.file("alarm.wav"), "RIFF");
        general().edAlarm.text = fake.folder.file("alarm.wav");
        general().cbLaunch.checked = false;
        fake.tray.calls.clear();
        fake.tray.hints.clear();
    }

    TfrmMain& main() { return *program->frmMain(); }
    TfrmGeneral& general() { return *program->frmGeneral(); }
    std::string log() { return readFileBytes(fake.folder.file("log.txt")).value_or(""); }
    void tick(int minutes = 1) { fake.timers.advance(minutes * kMinute); }
    bool soundPlayed() const {
        return std::any_of(fake.sound.calls.begin(), fake.sound.calls.end(),
                           [](const std::string& call) { return call != "stop"; });
    }
};

TEST_F(Automatic, TheCaptionCountsTheMinutesDownAndTheLastTickRunsTheCycle) {
    struct Case {
        int minutes;
        std::vector<std::string> captions;  // after each tick
    } cases[] = {
        {2, {"Quorvel - next e-mail check in 1 minute", "Quorvel - No waiting messages found",
             "Quorvel - next e-mail check in 1 minute"}},
        {4, {"Quorvel - next e-mail check in 3 minutes", "Quorvel - next e-mail check in 2 minutes",
             "Quorvel - next e-mail check in 1 minute", "Quorvel - No waiting messages found"}},
    };
    for (const auto& c : cases) {
        program.reset();
        start([&](SettingsStore& s) { s.writeInteger("General", "Minutes", c.minutes); });
        EXPECT_EQ(main().caption, "Quorvel - next e-mail check in " + std::to_string(c.minutes) + " minutes");
        for (const std::string& expected : c.captions) {
            tick();
            EXPECT_EQ(main().caption, expected) << c.minutes;
            EXPECT_EQ(main().lblTitle.caption, expected);
            EXPECT_EQ(fake.tray.hint, expected);
            EXPECT_TRUE(main().Timer1->enabled());
            EXPECT_FALSE(main().AutoCheckRunning);
        }
        EXPECT_TRUE(fake.tray.calls.empty());  // nothing found: the window stays hidden
        EXPECT_FALSE(soundPlayed());
    }
}

TEST_F(Automatic, OneMinuteIsSingularAndEveryOtherCountPlural) {
    start();
    const std::pair<int, const char*> cases[] = {{1, "1 minute"},   {2, "2 minutes"},   {0, "0 minutes"},
                                                 {-1, "-1 minutes"}, {600, "600 minutes"}};
    for (const auto& [minutes, text] : cases) {
        main().UpdateAutomaticCaptions(true, minutes);
        EXPECT_EQ(main().caption, std::string("Quorvel - next e-mail check in ") + text);
    }
}

TEST_F(Automatic, SwitchingOffResetsTheCountdownAndSwitchingOnContinuesFromThere) {
    start();
    tick(3);
    ASSERT_EQ(main().caption, "Quorvel - next e-mail check in 7 minutes");

    main().EnableAutomatic1Click(main().DisableAutomatic1);
    EXPECT_EQ(main().MinutesLeft, 10);
    EXPECT_EQ(main().caption, "Quorvel");
    EXPECT_EQ(main().lblTitle.caption, "Quorvel");
    EXPECT_EQ(fake.tray.hint, "Quorvel");
    EXPECT_FALSE(main().Timer1->enabled());
    EXPECT_EQ(fake.tray.state, TrayIconState::Enabled);
    EXPECT_TRUE(main().DisableAutomatic1.checked);
    EXPECT_FALSE(main().EnableAutomatic1.checked);
    EXPECT_TRUE(general().rbManual.checked);
    EXPECT_FALSE(general().rbAuto.checked);
    EXPECT_FALSE(SettingsStore(fake.platform.settingsFolder).readBool("General", "Automatic", true));
    EXPECT_EQ(log(), "Automatic mode disabled at Thu 12/10/2026 4:48 PM\r\n");
    tick(20);
    EXPECT_EQ(main().MinutesLeft, 10);  // no tick while off

    general().nMinutes.value = 4;  // switching on shows the live interval but counts on from the reset
    main().EnableAutomatic1Click(main().EnableAutomatic1);
    EXPECT_EQ(main().caption, "Quorvel - next e-mail check in 4 minutes");
    EXPECT_EQ(main().MinutesLeft, 10);
    EXPECT_TRUE(main().Timer1->enabled());
    EXPECT_EQ(fake.tray.state, TrayIconState::Animated);
    EXPECT_TRUE(main().EnableAutomatic1.checked);
    EXPECT_FALSE(main().DisableAutomatic1.checked);
    EXPECT_TRUE(general().rbAuto.checked);
    EXPECT_TRUE(SettingsStore(fake.platform.settingsFolder).readBool("General", "Automatic", false));
    EXPECT_EQ(linesStartingWith(log(), "Automatic mode"),
              (std::vector<std::string>{"Automatic mode disabled at Thu 12/10/2026 4:48 PM",
                                        "Automatic mode enabled at Thu 12/10/2026 4:48 PM"}));
    tick();
    EXPECT_EQ(main().caption, "Quorvel - next e-mail check in 9 minutes");
}

TEST(TrayHint, IsCutToSixtyThreeCharactersWithoutSplittingACharacter) {
    const std::string a62(62, 'a');
    const struct {
        std::string text, expected;
    } cases[] = {
        {"", ""},
        {std::string(63, 'a'), std::string(63, 'a')},
        {std::string(64, 'a'), std::string(63, 'a')},
        {std::string(200, 'a'), std::string(63, 'a')},
        {a62 + "\xC3\xA9", a62},                                     // a two-byte letter across the limit
        {std::string(61, 'a') + "\xC3\xA9" + "b", std::string(61, 'a') + "\xC3\xA9"},  // ends on it
        {a62 + "\xE2\x82\xAC", a62},                                 // a three-byte sign across it
        {a62 + "\xE9" + "bc", a62 + "\xE9"},                         // a single-byte text is cut at 63
    };
    for (const auto& c : cases) EXPECT_EQ(trayHint(c.text), c.expected) << c.text;
}

TEST_F(Automatic, TheTrayHintOfALongCaptionIsCutWhileTheTitleKeepsItAll) {
    const std::string user = "a.mailbox.with.a.name.long.enough.for.the.hint@example.test";
    start([&](SettingsStore& s) {
        s.writeInteger("General", "Minutes", 2);
        // Nothing listens there: the listing fails, and unattended that is swallowed.
        configureMailbox(s, 1, "127.0.0.1:" + std::to_string(testing::unusedPort()), user, "pw");
    });
    std::vector<std::string> titles;
    main().setChangedHandler([&] {
        if (titles.empty() || titles.back() != main().lblTitle.caption) titles.push_back(main().lblTitle.caption);
    });
    tick(2);
    const std::string checking = "Quorvel - Now checking e-mail for " + user;
    ASSERT_GT(checking.size(), 63u);
    EXPECT_NE(std::find(titles.begin(), titles.end(), checking), titles.end());
    EXPECT_NE(std::find(fake.tray.hints.begin(), fake.tray.hints.end(), checking.substr(0, 63)),
              fake.tray.hints.end());
    for (const std::string& hint : fake.tray.hints) EXPECT_LE(hint.size(), 63u) << hint;
    EXPECT_TRUE(fake.dialogs.shown.empty());  // the error was swallowed
    EXPECT_EQ(main().caption, "Quorvel - No waiting messages found");
}

TEST_F(Automatic, StartingAtLogInStartsInTrayModeWhateverTheSetting) {
    for (const bool setting : {false, true}) {
        testing::FakePlatform local;
        SettingsStore store(local.platform.settingsFolder);
        store.writeBool("General", "SysTray", setting);
        TfrmMain m(local.platform, store, nullptr, true);
        EXPECT_TRUE(m.trayMode);
        EXPECT_EQ(m.btExit.caption, "Hide");
        EXPECT_TRUE(local.tray.active());
        // The window is hidden as "Hide" hides it.
        EXPECT_EQ(local.tray.calls, std::vector<std::string>{"HideApplication"});
    }
}

// Three mailboxes on one Dovecot: joe (1), ann (2) and kim (3).
class AutomaticCycle : public Automatic {
protected:
    testing::DovecotServer dovecot;

    std::string server() const { return "127.0.0.1:" + std::to_string(dovecot.port()); }

    void startWithMailboxes(const std::vector<std::string>& joe, const std::vector<std::string>& ann,
                            const std::vector<std::string>& kim, const std::function<void(SettingsStore&)>& more = {}) {
        dovecot.addUser("ann", "ann-secret");
        dovecot.addUser("kim", "kim-secret");
        dovecot.addMessages("joe", joe);
        dovecot.addMessages("ann", ann);
        dovecot.addMessages("kim", kim);
        start([&](SettingsStore& s) {
            s.writeInteger("General", "Minutes", 2);
            configureMailbox(s, 1, server(), "joe", "secret");
            configureMailbox(s, 2, server(), "ann", "ann-secret");
            configureMailbox(s, 3, server(), "kim", "kim-secret");
            if (more) more(s);
        });
    }

    std::vector<std::string> subjectsOn(const std::string& user) {
        std::vector<std::string> subjects;
        for (const std::string& message : dovecot.messages(user)) {
            const std::size_t at = message.find("Subject: ");
            subjects.push_back(message.substr(at + 9, message.find("\r\n", at) - at - 9));
        }
        return subjects;
    }

    std::string checkRecord(int count, const std::string& user) {
        return "MAIL CHECK " + std::to_string(count) + " msg(s) for \"" + user + "\" on server " + server() +
               " at Thu 12/10/2026 4:48 PM";
    }
};

TEST_F(AutomaticCycle, StopsAtTheFirstMailboxWithMessagesShowsItAndSoundsTheAlarm) {
    startWithMailboxes({}, {shortMessage("a@friends.test", "Lunch"), shortMessage("w@prizes.test", "You WIN big"),
                            shortMessage("b@friends.test", "Minutes")},
                       {shortMessage("c@friends.test", "Hello kim"), shortMessage("d@friends.test", "Again")});
    tick(2);

    EXPECT_EQ(main().caption, "Quorvel - MailBox ann - 3 messages");
    EXPECT_EQ(main().lblTitle.caption, main().caption);
    EXPECT_EQ(fake.tray.hint, main().caption);
    EXPECT_FALSE(main().Label1.visible);
    EXPECT_EQ(fake.tray.calls, std::vector<std::string>{"ShowApplication"});
    EXPECT_EQ(std::count(fake.sound.calls.begin(), fake.sound.calls.end(), "loop " + fake.folder.file("alarm.wav")),
              1);
    // The window was hidden: the desktop tells the user too.
    EXPECT_EQ(fake.tray.messages, (std::vector<testing::RecordingTray::Message>{
                                      {"Quorvel", "3 messages are waiting in mailbox ann on " + server() + "."}}));
    ASSERT_EQ(main().ListView1.rows.size(), 3u);
    EXPECT_EQ(main().ListView1.rows[1].stateIndex, Mark::Delete);
    // Mailbox 3 is not touched.
    EXPECT_EQ(linesStartingWith(log(), "MAIL CHECK"),
              (std::vector<std::string>{checkRecord(0, "joe"), checkRecord(3, "ann")}));
    EXPECT_EQ(main().currentMailbox, 2);
    EXPECT_EQ(main().msRemotePOP1.UserName, "ann");
    EXPECT_EQ(main().MinutesLeft, 2);
    EXPECT_TRUE(main().Timer1->enabled());
    EXPECT_FALSE(main().AutoCheckRunning);

    // The user, now looking at the window, deletes the marked message: it goes from mailbox 2.
    main().visible = true;
    main().btDeleteClick();
    EXPECT_EQ(subjectsOn("ann"), (std::vector<std::string>{"Lunch", "Minutes"}));
    EXPECT_EQ(subjectsOn("kim"), (std::vector<std::string>{"Hello kim", "Again"}));
    EXPECT_TRUE(subjectsOn("joe").empty());
    EXPECT_NE(log().find("   Server:  " + server() + " Mailbox: ann\r\n   Subject: You WIN big"), std::string::npos);
}

TEST_F(AutomaticCycle, AVisibleWindowGetsTheAlarmButNoNotification) {
    startWithMailboxes({shortMessage("a@friends.test", "Lunch")}, {}, {});
    main().visible = true;
    general().cbRepeat.checked = false;
    tick(2);
    EXPECT_EQ(main().caption, "Quorvel - MailBox joe - 1 messages");
    EXPECT_EQ(fake.sound.calls.back(), "play " + fake.folder.file("alarm.wav"));
    EXPECT_TRUE(fake.tray.messages.empty());
    EXPECT_EQ(linesStartingWith(log(), "MAIL CHECK"), (std::vector<std::string>{checkRecord(1, "joe")}));

    // Without the alarm setting the window still comes up, silently.
    fake.sound.calls.clear();
    general().cbAlarm.checked = false;
    tick(2);
    EXPECT_FALSE(soundPlayed());
    EXPECT_EQ(fake.tray.calls, (std::vector<std::string>{"ShowApplication", "ShowApplication"}));
}

TEST_F(AutomaticCycle, EmptyMailboxesHandBackTheSettingsWindowsMailbox) {
    startWithMailboxes({}, {}, {}, [](SettingsStore& s) {
        s.writeString("Server", "Server3", "");  // only mailboxes 1 and 2
        s.writeString("Server", "Mailbox3", "");
        s.writeInteger("Server", "Which", 1);
    });
    tick(2);
    EXPECT_EQ(main().caption, "Quorvel - No waiting messages found");
    EXPECT_EQ(main().lblTitle.caption, main().caption);
    EXPECT_EQ(fake.tray.hint, main().caption);
    EXPECT_EQ(linesStartingWith(log(), "MAIL CHECK"),
              (std::vector<std::string>{checkRecord(0, "joe"), checkRecord(0, "ann")}));
    EXPECT_EQ(main().currentMailbox, 1);
    EXPECT_EQ(main().msRemotePOP1.UserName, "joe");
    EXPECT_EQ(main().msRemotePOP1.Server, server());
    EXPECT_TRUE(fake.tray.calls.empty());
    EXPECT_TRUE(fake.tray.messages.empty());
    EXPECT_FALSE(soundPlayed());
    EXPECT_TRUE(main().Label1.visible);
}

TEST_F(AutomaticCycle, KillCleansEveryMailboxQuietlyAndKeepsTheWindowHidden) {
    startWithMailboxes(
        {shortMessage("w@prizes.test", "WIN a car"), shortMessage("a@friends.test", "Lunch")}, {},
        {shortMessage("x@prizes.test", "You win"), shortMessage("c@friends.test", "Notes from kim"),
         shortMessage("y@prizes.test", "Win again")},
        [](SettingsStore& s) { s.writeBool("General", "Kill", true); });
    tick(2);

    EXPECT_EQ(subjectsOn("joe"), std::vector<std::string>{"Lunch"});
    EXPECT_EQ(subjectsOn("kim"), std::vector<std::string>{"Notes from kim"});
    EXPECT_EQ(linesStartingWith(log(), "DELETE SPAM").size(), 3u);
    EXPECT_EQ(general().edCount.text, "3");
    EXPECT_EQ(main().caption, "Quorvel - No waiting messages found");
    EXPECT_EQ(fake.tray.hint, main().caption);
    EXPECT_TRUE(fake.tray.calls.empty());
    EXPECT_TRUE(fake.tray.messages.empty());
    EXPECT_FALSE(soundPlayed());
    EXPECT_TRUE(fake.dialogs.shown.empty());
    EXPECT_FALSE(program->frmRetrieving()->visible);
    EXPECT_EQ(main().MinutesLeft, 2);
    EXPECT_TRUE(main().Timer1->enabled());
}

TEST_F(AutomaticCycle, RowsLeftByAKillCycleAreViewedAndDeletedInTheirOwnMailbox) {
    startWithMailboxes({shortMessage("a@friends.test", "Lunch")}, {},
                       {shortMessage("x@prizes.test", "You win"), shortMessage("c@friends.test", "Notes from kim")},
                       [](SettingsStore& s) {
                           s.writeBool("General", "Kill", true);
                           s.writeInteger("Server", "Which", 1);
                       });
    tick(2);
    // The list shows what is left in mailbox 3; the client holds mailbox 1.
    ASSERT_EQ(main().ListView1.rows.size(), 1u);
    ASSERT_EQ(main().ListView1.rows[0].caption, "Notes from kim");
    ASSERT_EQ(main().msRemotePOP1.UserName, "joe");

    main().visible = true;
    main().ListView1.rows[0].selected = true;
    main().ViewMessages1Click();
    const auto saved = readFileBytes(main().messageFileName(0));
    ASSERT_TRUE(saved.has_value());
    EXPECT_NE(saved->find("Subject: Notes from kim"), std::string::npos);

    main().ListView1.rows[0].stateIndex = Mark::Delete;
    main().btDeleteClick();
    EXPECT_TRUE(subjectsOn("kim").empty());
    EXPECT_EQ(subjectsOn("joe"), std::vector<std::string>{"Lunch"});
    EXPECT_NE(log().find("Mailbox: kim\r\n   Subject: Notes from kim"), std::string::npos);
}

TEST_F(AutomaticCycle, ListingErrorsAreSwallowedWhileHidden) {
    startWithMailboxes({shortMessage("a@friends.test", "Lunch")}, {shortMessage("b@friends.test", "Hi ann")}, {},
                       [](SettingsStore& s) { configureMailbox(s, 1, "127.0.0.1:1", "joe", "secret"); });
    // Mailbox 1 points where nothing listens.
    tick(2);
    EXPECT_TRUE(fake.dialogs.shown.empty());
    EXPECT_EQ(main().caption, "Quorvel - MailBox ann - 1 messages");
    EXPECT_EQ(main().MinutesLeft, 2);
}

TEST_F(AutomaticCycle, MailboxesOfOnlySpacesArePassedOverWithoutAskingForTheirSettings) {
    startWithMailboxes({}, {}, {shortMessage("b@friends.test", "Hi kim")}, [&](SettingsStore& s) {
        configureMailbox(s, 1, "  ", "joe", "secret");
        configureMailbox(s, 2, server(), "   ", "ann-secret");
    });
    fake.dialogs.modalForms.clear();
    tick(2);
    EXPECT_EQ(fake.dialogs.shown.size(), 0u) << fake.dialogs.shown.front().text;
    EXPECT_TRUE(fake.dialogs.modalForms.empty());
    EXPECT_EQ(main().caption, "Quorvel - MailBox kim - 1 messages");
    EXPECT_EQ(linesStartingWith(log(), "MAIL CHECK"), (std::vector<std::string>{checkRecord(1, "kim")}));
}

TEST_F(AutomaticCycle, AnErrorWhileVisibleEndsTheCycleAndTheNextOneFollowsAMinuteLater) {
    startWithMailboxes({}, {shortMessage("b@friends.test", "Hi ann")}, {},
                       [](SettingsStore& s) { configureMailbox(s, 1, "127.0.0.1:1", "joe", "secret"); });
    main().visible = true;
    tick();
    EXPECT_THROW(tick(), std::exception);  // the error report
    EXPECT_FALSE(main().AutoCheckRunning);
    EXPECT_TRUE(main().Timer1->enabled());
    EXPECT_LE(main().MinutesLeft, 0);
    EXPECT_EQ(fake.tray.hint, main().caption);
    EXPECT_TRUE(linesStartingWith(log(), "MAIL CHECK").empty());
    EXPECT_EQ(linesStartingWith(log(), "ERROR").size(), 1u);

    // The server is fixed; a minute later the cycle runs again.
    SettingsStore(fake.platform.settingsFolder).writeString("Server", "Server1", server());
    tick();
    EXPECT_EQ(linesStartingWith(log(), "MAIL CHECK"),
              (std::vector<std::string>{checkRecord(0, "joe"), checkRecord(1, "ann")}));
    EXPECT_EQ(main().caption, "Quorvel - MailBox ann - 1 messages");
    EXPECT_EQ(main().MinutesLeft, 2);
}

TEST_F(AutomaticCycle, TheTraysCheckShowsTheWindowAndItsProgressAndKeepsAutomaticModeOn) {
    startWithMailboxes({shortMessage("a@friends.test", "Lunch")}, {}, {}, [](SettingsStore& s) {
        s.writeString("Server", "Server2", "");
        s.writeString("Server", "Mailbox2", "");
        s.writeString("Server", "Server3", "");
        s.writeString("Server", "Mailbox3", "");
    });
    bool progressShown = false;
    program->frmRetrieving()->setChangedHandler([&] { progressShown |= program->frmRetrieving()->visible; });
    main().AutoCheckRunning = true;  // as if left over: the tray's check is attended
    main().Timer1->setEnabled(false);
    main().Show1Click();
    EXPECT_EQ(fake.tray.calls, std::vector<std::string>{"ShowApplication"});
    EXPECT_TRUE(progressShown);
    EXPECT_FALSE(main().AutoCheckRunning);
    EXPECT_EQ(main().ListView1.rows.size(), 1u);
    EXPECT_TRUE(main().Timer1->enabled());
    EXPECT_EQ(linesStartingWith(log(), "MAIL CHECK"), std::vector<std::string>{checkRecord(1, "joe")});

    // Launching the mail program ends the session kept open for the single
    // mailbox, logs the cancel and empties the list.
    ASSERT_TRUE(main().msRemotePOP1.IsConnected());
    general().edMail.text = "/usr/bin/mailer";
    main().btLaunchClick();
    EXPECT_FALSE(main().msRemotePOP1.IsConnected());
    EXPECT_TRUE(main().ListView1.rows.empty());
    EXPECT_EQ(linesStartingWith(log(), "OPERATION CANCELED"),
              std::vector<std::string>{"OPERATION CANCELED FOR joe ON " + server() + " AT Thu 12/10/2026 4:48 PM"});
    EXPECT_TRUE(main().Timer1->enabled());
}

}  // namespace
}  // namespace quorvel
