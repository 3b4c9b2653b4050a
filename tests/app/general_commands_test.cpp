// The main window's commands around the general settings: opening the
// window, launching the mail program and the alarm.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "app/frm_main.h"
#include "platform/files.h"
#include "support/fake_platform.h"

namespace quorvel {
namespace {

class GeneralCommands : public ::testing::Test {
protected:
    testing::FakePlatform fake;
    SettingsStore store{fake.platform.settingsFolder};
    // The real log, in the test's folder.
    ActivityLog log{fake.platform, [this] { return fake.folder.file("log.txt"); }};
    std::string logText() { return readFileBytes(fake.folder.file("log.txt")).value_or(""); }
    std::unique_ptr<TfrmMain> main;
    std::unique_ptr<TfrmGeneral> general;

    void start() {
        main = std::make_unique<TfrmMain>(fake.platform, store, nullptr);
        general = std::make_unique<TfrmGeneral>(fake.platform, store);
        general->mailSetup = {};
        main->setGeneralWindow(general.get());
        main->setActivityLog(&log);
        fake.tray.calls.clear();
    }
};

TEST_F(GeneralCommands, LaunchingWithoutAMailProgramSaysSo) {
    for (const char* blank : {"", "  ", " \r\n\b "}) {
        testing::FakePlatform local;
        SettingsStore localStore(local.platform.settingsFolder);
        localStore.writeBool("General", "Automatic", true);
        TfrmMain m(local.platform, localStore, nullptr);
        TfrmGeneral g(local.platform, localStore);
        m.setGeneralWindow(&g);
        g.edMail.text = blank;
        m.btLaunchClick();
        ASSERT_EQ(local.dialogs.shown.size(), 1u);
        EXPECT_EQ(local.dialogs.shown[0].kind, MessageKind::Error);
        EXPECT_EQ(local.dialogs.shown[0].text, "Mail program not specified in the general settings. ");
        EXPECT_TRUE(local.shell.opened.empty());
        EXPECT_TRUE(m.Timer1->enabled());  // automatic mode goes on
        EXPECT_EQ(local.sound.calls, std::vector<std::string>{"stop"});
    }
}

TEST_F(GeneralCommands, LaunchingTheMailProgramEmptiesTheListAndLogsTheCancel) {
    store.writeString("Server", "Server1", "pop.one.test");
    store.writeString("Server", "Mailbox1", "one");
    store.writeString("Server", "Version161", "161");
    start();
    general->edMail.text = "/usr/bin/mailer";
    main->ListView1.rows.resize(3);
    main->enableAllButtons();
    ASSERT_TRUE(main->btDelete.visible);

    main->btLaunchClick();
    EXPECT_EQ(fake.shell.opened, std::vector<std::string>{"/usr/bin/mailer"});
    EXPECT_TRUE(main->ListView1.rows.empty());
    EXPECT_EQ(logText(), "OPERATION CANCELED FOR one ON pop.one.test AT Thu 12/10/2026 4:48 PM\r\n");
    EXPECT_EQ(main->statusPanels[1], "Operation has been canceled");
    EXPECT_EQ(main->btExit.caption, "Goodbye");
    EXPECT_EQ(main->btList.picture, "imDown");
    for (const Control* hidden : {&main->btMark, &main->btDelete, &main->btRemark, &main->btResetAll, &main->btLaunch})
        EXPECT_FALSE(hidden->visible) << hidden->caption;
    EXPECT_TRUE(main->lblAd.visible);
    EXPECT_TRUE(main->btList.enabled);
    EXPECT_TRUE(fake.dialogs.shown.empty());
    EXPECT_FALSE(main->Timer1->enabled());  // manual mode
}

TEST_F(GeneralCommands, AFailedLaunchKeepsTheListAndSaysSo) {
    start();
    general->edMail.text = "/nowhere/mailer";
    main->ListView1.rows.resize(2);
    fake.shell.result = false;
    main->btLaunchClick();
    EXPECT_EQ(main->ListView1.rows.size(), 2u);
    ASSERT_EQ(fake.dialogs.shown.size(), 1u);
    EXPECT_EQ(fake.dialogs.shown[0].text, "Unable to launch mail program. ");
    EXPECT_EQ(logText(), "");
}

TEST_F(GeneralCommands, TheGeneralWindowHandsOverTheIntervalAndTheMailbox) {
    start();
    main->MinutesLeft = 1;
    main->Timer1->setEnabled(true);
    bool timerRanDuringShow = true;
    fake.dialogs.onShowModal = [&](Form& form) {
        timerRanDuringShow = main->Timer1->enabled();
        auto& w = static_cast<TfrmGeneral&>(form);
        w.FormShow();
        w.rbAutoClick();
        w.nMinutes.value = 5;
        w.rbMailboxClick(3);
        w.btOKClick();
        return w.modalResult;
    };
    main->btGeneralClick();
    EXPECT_EQ(fake.dialogs.modalForms, std::vector<std::string>{"frmGeneral"});
    EXPECT_FALSE(timerRanDuringShow);
    EXPECT_EQ(fake.sound.calls.front(), "stop");
    EXPECT_EQ(main->caption, "Quorvel - next e-mail check in 5 minutes");
    EXPECT_TRUE(main->Timer1->enabled());
    EXPECT_EQ(fake.tray.state, TrayIconState::Animated);
    EXPECT_EQ(main->currentMailbox, 3);
    EXPECT_EQ(main->MinutesLeft, 5);
}

TEST_F(GeneralCommands, TheGeneralWindowClosedInManualModeStopsTheClock) {
    start();
    main->Timer1->setEnabled(true);
    fake.dialogs.onShowModal = [](Form& form) {
        static_cast<TfrmGeneral&>(form).btCancelClick();
        return form.modalResult;
    };
    main->btGeneralClick();
    EXPECT_EQ(main->caption, "Quorvel");
    EXPECT_FALSE(main->Timer1->enabled());
    EXPECT_EQ(main->currentMailbox, 1);
    EXPECT_EQ(main->MinutesLeft, 10);
}

TEST_F(GeneralCommands, TheAlarmPlaysItsFileOnceOrInALoopElseBeeps) {
    start();
    // A path longer than 200 characters plays like any other.
    const std::string folder = fake.folder.file(std::string(120, 'd')) + "/" + std::string(100, 'e');
    std::filesystem::create_directories(folder);
    const std::string alarm = folder + "/alarm.wav";
    std::ofstream(alarm) << "RIFF";
    struct Case {
        std::string file;
        bool repeat;
        std::string call;
    } cases[] = {
        {alarm, true, "loop " + alarm},
        {alarm, false, "play " + alarm},
        {alarm + ".missing", true, "beep"},
        {"", false, "beep"},
    };
    for (const auto& c : cases) {
        fake.sound.calls.clear();
        general->edAlarm.text = c.file;
        general->cbRepeat.checked = c.repeat;
        main->playAlarmSound(true);
        EXPECT_EQ(fake.sound.calls, std::vector<std::string>{c.call}) << c.call;
    }
    fake.sound.calls.clear();
    main->playAlarmSound(false);
    EXPECT_EQ(fake.sound.calls, std::vector<std::string>{"stop"});
}

// An alarm no one can hear (no audio device) says so in the activity log,
// once however often it sounds; an alarm heard writes nothing.
TEST_F(GeneralCommands, AnAlarmThatCannotBeHeardIsLoggedOnce) {
    start();
    main->playAlarmSound(true);
    EXPECT_EQ(logText(), "");
    fake.sound.problemText = "no audio device";
    for (int i = 0; i < 3; ++i) main->playAlarmSound(true);
    EXPECT_EQ(logText(), "Alarm not heard at Thu 12/10/2026 4:48 PM: no audio device\r\n");
}

}  // namespace
}  // namespace quorvel
