#include "app/frm_main.h"

#include <filesystem>
#include <fstream>
#include <functional>

#include <gtest/gtest.h>

#include "app/program.h"
#include "app/frm_retrieving.h"
#include "mail/mail_errors.h"
#include "support/fake_oauth_service.h"
#include "support/fake_platform.h"

namespace quorvel {
namespace {

class MainWindow : public ::testing::Test {
protected:
    testing::FakePlatform fake;
    SettingsStore store{fake.platform.settingsFolder};

    std::unique_ptr<TfrmMain> create(bool withSplash = false) {
        return std::make_unique<TfrmMain>(fake.platform, store,
                                          withSplash ? std::make_unique<TfrmSplash>() : nullptr);
    }
};

TEST_F(MainWindow, Fix2000WidensTwoDigitYearsOnly) {
    struct Case {
        const char* before;
        const char* after;
    } cases[] = {
        {"dd/MM/yy", "dd/MM/yyyy"},
        {"yyyy-MM-dd", "yyyy-MM-dd"},
        {"yy.MM.dd", "yyyy.MM.dd"},
        {"d MMM", "d MMM"},
        {"M/d/yy", "M/d/yyyy"},
    };
    auto main = create();
    for (const auto& c : cases) {
        fake.clock.formatSettings().shortDateFormat = c.before;
        main->fix2000();
        EXPECT_EQ(fake.clock.formatSettings().shortDateFormat, c.after) << c.before;
    }
}

TEST_F(MainWindow, StartsVisibleInManualModeWithTheMessageCommandsHidden) {
    auto main = create();
    EXPECT_EQ(fake.clock.formatSettings().shortDateFormat, "M/d/yyyy");
    EXPECT_EQ(main->caption, "Quorvel");
    EXPECT_EQ(main->lblTitle.caption, "Quorvel");
    EXPECT_EQ(fake.tray.hint, "Quorvel");
    EXPECT_FALSE(fake.tray.active());  // no tray mode: the icon is removed
    EXPECT_EQ(fake.tray.calls, std::vector<std::string>{"ShowApplication"});
    EXPECT_EQ(main->btExit.caption, "Goodbye");
    EXPECT_FALSE(main->Timer1->enabled());
    EXPECT_TRUE(main->DisableAutomatic1.checked);
    EXPECT_FALSE(main->EnableAutomatic1.checked);
    for (const Control* hidden : {&main->btMark, &main->btDelete, &main->btRemark, &main->btResetAll, &main->btLaunch})
        EXPECT_FALSE(hidden->visible) << hidden->caption;
    EXPECT_TRUE(main->lblAd.visible);
    EXPECT_EQ(main->btList.hint, "Check e-mail");
    EXPECT_EQ(main->statusPanels[0], "Right click for more options, double click to mark");
    EXPECT_EQ(main->IniPath, fake.platform.programFolder + "/quorvel.ini");
    EXPECT_EQ(main->msRemotePOP1.DefaultPort, 110);
    EXPECT_EQ(main->msRemotePOP1.TimeOut, 120);
}

TEST_F(MainWindow, TrayModeShowsOnlyTheIcon) {
    store.writeBool("General", "SysTray", true);
    auto main = create();
    EXPECT_TRUE(fake.tray.active());
    // Hidden as "Hide" leaves it (minimised where there is no notification area).
    EXPECT_EQ(fake.tray.calls, std::vector<std::string>{"HideApplication"});
    EXPECT_EQ(main->btExit.caption, "Hide");
    EXPECT_EQ(main->Exit1.caption, "Exit");
}

TEST_F(MainWindow, AnUnreadableSettingsFileStartsWithDefaultsSaidOnceAndIsKept) {
    namespace fs = std::filesystem;
    struct Case {
        const char* name;
        std::function<void(const std::string& path)> make;
        const char* reason;
    } cases[] = {
        {"a folder", [](const std::string& path) { fs::create_directories(path + "/inside"); }, "Is a directory"},
        {"a link to itself", [](const std::string& path) { fs::create_symlink(path, path); },
         "Too many levels of symbolic links"},
    };
    for (const Case& c : cases) {
        testing::FakePlatform local;
        fs::create_directories(local.platform.settingsFolder);
        SettingsStore localStore(local.platform.settingsFolder);
        const std::string path = localStore.filePath();
        c.make(path);

        Program program(local.platform);
        ASSERT_NO_THROW(program.start()) << c.name;
        TfrmMain& main = *program.frmMain();
        EXPECT_FALSE(main.trayMode) << c.name;
        EXPECT_EQ(main.MinutesLeft, 10) << c.name;
        EXPECT_EQ(program.frmGeneral()->Minutes(), 10) << c.name;
        EXPECT_EQ(main.statusPanels[1], TfrmMain::kWhereToBegin) << c.name;
        ASSERT_EQ(local.dialogs.shown.size(), 1u) << c.name;
        EXPECT_EQ(local.dialogs.shown[0].kind, MessageKind::Warning) << c.name;
        EXPECT_EQ(local.dialogs.shown[0].text,
                  "The settings file " + path + " could not be read: " + c.reason +
                      ".  Quorvel starts with the default settings and saves none until the file can be read.")
            << c.name;

        // Saving leaves the file for the user to mend, and says nothing more.
        program.frmGeneral()->btOKClick();
        ASSERT_NO_THROW(program.shutdown()) << c.name;
        EXPECT_EQ(local.dialogs.shown.size(), 1u) << c.name;
        EXPECT_EQ(fs::is_symlink(path), std::string(c.name) == "a link to itself") << c.name;
        if (!fs::is_symlink(path)) {
            EXPECT_TRUE(fs::is_directory(path + "/inside")) << c.name;
        }
    }
}

TEST_F(MainWindow, AutomaticModeCountsDownInTheCaptionAndAnimatesTheIcon) {
    store.writeBool("General", "Automatic", true);
    auto main = create();
    EXPECT_EQ(main->caption, "Quorvel - next e-mail check in 10 minutes");
    EXPECT_EQ(main->lblTitle.caption, main->caption);
    EXPECT_EQ(fake.tray.hint, main->caption);
    EXPECT_TRUE(main->Timer1->enabled());
    EXPECT_EQ(main->Timer1->interval(), 60000);
    EXPECT_EQ(fake.tray.state, TrayIconState::Animated);
    EXPECT_TRUE(main->EnableAutomatic1.checked);
    EXPECT_FALSE(main->DisableAutomatic1.checked);

    main->UpdateAutomaticCaptions(true, 1);
    EXPECT_EQ(main->caption, "Quorvel - next e-mail check in 1 minute");
    main->UpdateAutomaticCaptions(true, 0);
    EXPECT_EQ(main->caption, "Quorvel - next e-mail check in 0 minutes");
    main->UpdateAutomaticCaptions(false, 5);
    EXPECT_EQ(main->caption, "Quorvel");
    EXPECT_FALSE(main->Timer1->enabled());
    EXPECT_EQ(fake.tray.state, TrayIconState::Enabled);
}

TEST_F(MainWindow, TheSplashSwitchesPanelsAndEndsAfterItsTimer) {
    auto main = create(true);
    ASSERT_TRUE(main->frmSplash);
    EXPECT_FALSE(main->frmSplash->pnl1.visible);
    EXPECT_TRUE(main->frmSplash->pnl2.visible);
    fake.timers.advance(1499);
    EXPECT_TRUE(main->frmSplash);
    fake.timers.advance(1);
    EXPECT_FALSE(main->frmSplash);
    EXPECT_FALSE(main->timSplash->enabled());
}

TEST_F(MainWindow, LoadsTheCurrentMailboxIntoThePop3Client) {
    TPasswordCipher cipher;
    cipher.Key = "qiro";
    store.writeString("Server", "Version161", "161");
    store.writeInteger("Server", "Which", 2);
    store.writeString("Server", "Server2", "pop.two.test:1110");
    store.writeString("Server", "Mailbox2", "bob");
    store.writeString("Server", "Passwd2", cipher.encipher("hunter2"));
    auto main = create();
    EXPECT_EQ(main->currentMailbox, 2);
    EXPECT_EQ(main->msRemotePOP1.Server, "pop.two.test:1110");
    EXPECT_EQ(main->msRemotePOP1.UserName, "bob");
    EXPECT_EQ(main->msRemotePOP1.Password, "hunter2");

    // A mailbox without a stored password does not take the one of the
    // mailbox loaded before it to its own server.
    store.writeString("Server", "Server3", "pop.three.test");
    main->GetRemotePOPSettings(3);
    EXPECT_EQ(main->msRemotePOP1.Server, "pop.three.test");
    EXPECT_EQ(main->msRemotePOP1.Password, "");
}

// Each account's security and APOP choice reach the client; an account
// stored before the choice existed leaves it unset (the client's port rule).
TEST_F(MainWindow, AccountsCarryTheirSecurityToTheClient) {
    store.writeString("Server", "Version161", "161");
    const struct {
        const char* stored;  // nullptr: no value
        std::optional<TmsSecurity> expected;
        bool apop;
    } cases[] = {
        {"0", TmsSecurity::None, false},     {"1", TmsSecurity::STARTTLS, true}, {"2", TmsSecurity::SSLTLS, false},
        {nullptr, std::nullopt, true},       {"7", std::nullopt, false},         {"x", std::nullopt, false},
    };
    auto main = create();
    int n = 1;
    for (const auto& c : cases) {
        const std::string number = std::to_string(n);
        SCOPED_TRACE(c.stored ? c.stored : "none");
        store.writeString("Server", "Server" + number, "pop.test:995");
        store.writeString("Server", "Mailbox" + number, "joe");
        if (c.stored) store.writeString("Server", "Security" + number, c.stored);
        store.writeBool("Server", "APOP" + number, c.apop);
        main->GetRemotePOPSettings(n);
        EXPECT_EQ(main->msRemotePOP1.Security, c.expected);
        EXPECT_EQ(main->msRemotePOP1.SignIn, c.apop ? TmsSignIn::APOP : TmsSignIn::Password);
        ++n;
    }
}

// An OAuth 2.0 mailbox takes no password along, not even one stored before
// the choice was made; its token comes from the provider when the log-in asks.
TEST_F(MainWindow, AnOAuthMailboxCarriesATokenSourceAndNoPassword) {
    store.writeString("Server", "Version161", "161");
    TPasswordCipher cipher;
    cipher.Key = "qiro";
    for (int n : {1, 2}) {
        const std::string number = std::to_string(n);
        store.writeString("Server", "Server" + number, "pop.test:995");
        store.writeString("Server", "Mailbox" + number, "joe");
        store.writeString("Server", "Passwd" + number, cipher.encipher("old-password"));
    }
    store.writeInteger("Server", "SignIn1", 2);
    auto main = create();
    main->GetRemotePOPSettings(1);
    EXPECT_EQ(main->msRemotePOP1.SignIn, TmsSignIn::OAuth2);
    EXPECT_EQ(main->msRemotePOP1.Password, "");
    ASSERT_TRUE(main->msRemotePOP1.AccessToken);
    // No provider service in this platform: the log-in says so in plain words.
    try {
        main->msRemotePOP1.AccessToken(false);
        ADD_FAILURE() << "no error";
    } catch (const EOAuthError& error) {
        EXPECT_STREQ(error.what(), "OAuth 2.0 sign-in is not available here; set a token command for mailbox 1 instead");
    }
    main->GetRemotePOPSettings(2);
    EXPECT_EQ(main->msRemotePOP1.SignIn, TmsSignIn::Password);
    EXPECT_EQ(main->msRemotePOP1.Password, "old-password");
    EXPECT_FALSE(main->msRemotePOP1.AccessToken);
}

// The progress window's Cancel reaches a log-in that waits for the provider:
// a refresh, or the sign-in the user agreed to when none was kept.
TEST_F(MainWindow, CancelWhileTheProviderIsAwaitedEndsTheCheckAsCanceled) {
    const std::string kBrowserWait = "Waiting for the browser: sign in at the provider's page that opened there";
    TPasswordCipher cipher;
    cipher.Key = "qiro";
    const struct {
        const char* what;
        bool kept;
        std::string call;
        std::string progress, status;
    } cases[] = {
        {"a refresh", true, "refresh refresh-1", "Getting the access token ... ",
         "Getting the access token for joe on 127.0.0.1:1"},
        {"a new sign-in", false, "authorize joe", kBrowserWait, kBrowserWait},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testing::FakeOAuthService provider;
        fake.platform.oauth = &provider;
        store.writeString("Server", "Version161", "161");
        // Nothing listens there: the check never gets as far as the server.
        store.writeString("Server", "Server1", "127.0.0.1:1");
        store.writeString("Server", "Mailbox1", "joe");
        store.writeInteger("Server", "SignIn1", 2);
        store.writeString("Server", "OAuthClientId1", "client-1");
        store.writeBool("Server", "Keyring", false);
        store.writeString("Server", "OAuthRefresh1", c.kept ? cipher.encipher("refresh-1") : "");
        auto main = create();
        TfrmRetrieving retrieving;
        main->setProgressDialog(&retrieving);
        provider.waiting = [&] {
            EXPECT_TRUE(main->Listing);
            EXPECT_EQ(retrieving.lblMsg.caption, c.progress);
            EXPECT_EQ(main->statusPanels[1], c.status);
            retrieving.btCancelClick();
        };
        // A user's cancel is no error: the check ends quietly.
        EXPECT_NO_THROW(main->btListClick());
        EXPECT_EQ(provider.calls, (std::vector<std::string>{c.call, "cancel"}));
        EXPECT_FALSE(main->Listing);
        EXPECT_EQ(main->statusPanels[1], "Operation has been canceled");
        EXPECT_EQ(store.readString("Server", "OAuthRefresh1", "").empty(), !c.kept);
        main->setProgressDialog(nullptr);
    }
}

TEST_F(MainWindow, PasswordsOfTheOldFormatAreErasedOnceWithAWarning) {
    for (int n = 1; n <= 12; ++n) store.writeString("Server", "Passwd" + std::to_string(n), "OLD" + std::to_string(n));
    store.writeString("Server", "Server1", "pop.one.test");
    store.writeString("Server", "Mailbox1", "alice");
    auto main = create(true);

    ASSERT_EQ(fake.dialogs.shown.size(), 1u);
    EXPECT_EQ(fake.dialogs.shown[0].kind, MessageKind::Warning);
    EXPECT_EQ(fake.dialogs.shown[0].text,
              "Warning: You will have to re-enter your passwords for all of your mailboxes!  Sorry for the "
              "inconvenience.");
    for (int n = 1; n <= 12; ++n) EXPECT_EQ(store.readString("Server", "Passwd" + std::to_string(n), "?"), "");
    EXPECT_EQ(store.readString("Server", "Version161", ""), "161");
    EXPECT_EQ(main->msRemotePOP1.Server, "");  // nothing loaded on that call

    main->GetRemotePOPSettings(1);  // the next load is normal
    EXPECT_EQ(fake.dialogs.shown.size(), 1u);
    EXPECT_EQ(main->msRemotePOP1.Server, "pop.one.test");
    EXPECT_EQ(main->msRemotePOP1.UserName, "alice");
}

TEST_F(MainWindow, AFreshInstallationLoadsWithoutAWarning) {
    auto main = create();
    EXPECT_TRUE(fake.dialogs.shown.empty());
    EXPECT_EQ(store.readString("Server", "Version161", ""), "161");
}

TEST_F(MainWindow, ACorruptStoredPasswordIsReportedAndStartUpGoesOn) {
    store.writeString("Server", "Version161", "161");
    store.writeString("Server", "Passwd1", "1G");
    auto main = create();
    ASSERT_EQ(fake.dialogs.shown.size(), 1u);
    EXPECT_EQ(fake.dialogs.shown[0].kind, MessageKind::Error);
    EXPECT_EQ(fake.dialogs.shown[0].text, "'$1G' is not a valid integer value");
    EXPECT_EQ(fake.tray.calls, std::vector<std::string>{"ShowApplication"});
}

TEST_F(MainWindow, StartUpLoadsTheKnownSpammerListOrLeavesItEmpty) {
    EXPECT_EQ(create()->lbKnown.size(), 0u);
    std::ofstream(fake.folder.file("known.lst")) << "zed@spam.example\r\nAlpha.example\r\n";
    auto main = create();
    ASSERT_EQ(main->lbKnown.size(), 2u);
    EXPECT_EQ(main->lbKnown.entry(0), "Alpha.example");
    EXPECT_GE(main->lbKnown.FindInKnownList("ALPHA.EXAMPLE"), 0);
}

// Viewed messages are saved as msg_<row>.eml: every such file goes at start
// (a run that ended without cleaning up) and at the end, whatever its row;
// other names and what a link points to stay.
TEST_F(MainWindow, StartAndEndDeleteEverySavedMessage) {
    for (const char* name : {"msg_0.eml", "msg_100.eml", "msg_101.eml", "msg_5000.eml", "keep.eml", "msg_.eml",
                             "msg_1a.eml", "msg_3.eml.txt", "target"})
        std::ofstream(fake.folder.file(name)) << "x";
    std::filesystem::create_symlink(fake.folder.file("target"), fake.folder.file("msg_7.eml"));
    auto main = create();
    for (const char* name : {"msg_0.eml", "msg_100.eml", "msg_101.eml", "msg_5000.eml"})
        EXPECT_FALSE(std::filesystem::exists(fake.folder.file(name))) << name;
    for (const char* name : {"keep.eml", "msg_.eml", "msg_1a.eml", "msg_3.eml.txt", "target", "msg_7.eml"})
        EXPECT_TRUE(std::filesystem::exists(fake.folder.file(name))) << name;

    for (const char* name : {"msg_0.eml", "msg_101.eml", "msg_250.eml"}) std::ofstream(fake.folder.file(name)) << "x";
    main.reset();
    for (const char* name : {"msg_0.eml", "msg_101.eml", "msg_250.eml"})
        EXPECT_FALSE(std::filesystem::exists(fake.folder.file(name))) << name;
    EXPECT_TRUE(std::filesystem::exists(fake.folder.file("keep.eml")));
    EXPECT_TRUE(std::filesystem::exists(fake.folder.file("target")));
}

TEST_F(MainWindow, TheExitButtonHasThreeRoles) {
    {
        auto main = create();
        main->btExitClick(TfrmMain::Sender::Button);
        EXPECT_EQ(main->endRequest, TfrmMain::EndRequest::Close);
    }
    {
        auto main = create();
        main->btExitClick(TfrmMain::Sender::Menu);  // Exit in the tray menu skips the close query
        EXPECT_EQ(main->endRequest, TfrmMain::EndRequest::Terminate);
    }
    store.writeBool("General", "SysTray", true);
    {
        auto main = create();
        main->btExitClick(TfrmMain::Sender::Button);
        EXPECT_EQ(main->endRequest, TfrmMain::EndRequest::None);
        EXPECT_EQ(fake.tray.calls.back(), "HideApplication");
        main->btExitClick(TfrmMain::Sender::Menu);
        EXPECT_EQ(main->endRequest, TfrmMain::EndRequest::Terminate);
    }
    {
        auto main = create();
        main->ListView1.rows.resize(2);
        main->Listing = true;
        main->disableAllButtons();
        main->setExitRole(true);
        EXPECT_EQ(main->btExit.caption, "Cancel");
        EXPECT_EQ(main->Exit1.caption, "Cancel");
        EXPECT_EQ(main->btExit.picture, "imStop");
        main->btExitClick(TfrmMain::Sender::Button);
        EXPECT_EQ(main->endRequest, TfrmMain::EndRequest::None);
        EXPECT_TRUE(main->ListView1.rows.empty());  // a cancelled listing empties the list
        EXPECT_FALSE(main->Listing);
        EXPECT_TRUE(main->btList.enabled);
        EXPECT_EQ(fake.sound.calls.back(), "stop");
    }
}

TEST_F(MainWindow, ButtonRulesAroundARun) {
    auto main = create();
    main->disableAllButtons();
    EXPECT_FALSE(main->btList.enabled);
    EXPECT_FALSE(main->btOptions.enabled);
    EXPECT_TRUE(main->lblAd.visible);

    main->enableAllButtons();  // an empty list keeps the message commands hidden
    EXPECT_TRUE(main->btList.enabled);
    EXPECT_FALSE(main->btMark.visible);
    EXPECT_TRUE(main->lblAd.visible);

    main->ListView1.rows.resize(1);
    main->enableAllButtons();
    for (const Control* shown : {&main->btMark, &main->btDelete, &main->btRemark, &main->btResetAll, &main->btLaunch})
        EXPECT_TRUE(shown->visible) << shown->caption;
    EXPECT_FALSE(main->lblAd.visible);
}

TEST_F(MainWindow, HelpOpensTheHelpFileOrSaysItCannot) {
    auto main = create();
    main->btHelpClick();
    EXPECT_EQ(fake.shell.help, std::vector<std::string>{fake.platform.programFolder + "/quorvel.hlp#0"});
    fake.shell.result = false;
    main->btHelpClick();
    ASSERT_EQ(fake.dialogs.shown.size(), 1u);
    EXPECT_EQ(fake.dialogs.shown[0].text, "Unable to open help file - quorvel.hlp.");
}

TEST(Program, CreatesItsWindowsInOrderAndTheAboutWindowCountsVisits) {
    testing::FakePlatform fake;
    Program program(fake.platform);
    ASSERT_TRUE(program.splash());
    program.start();
    EXPECT_FALSE(program.splash());  // the main window owns it now
    ASSERT_TRUE(program.frmMain()->frmSplash);
    ASSERT_TRUE(program.frmMain() && program.frmGeneral() && program.frmAbout());
    fake.dialogs.onShowModal = [&](Form& form) {
        auto& about = static_cast<TfrmAbout&>(form);
        about.FormShow();
        about.FormClose();
        return ModalResult::Ok;
    };
    program.frmMain()->btAboutClick();
    program.frmMain()->btAboutClick();
    EXPECT_EQ(fake.dialogs.modalForms, (std::vector<std::string>{"frmAbout", "frmAbout"}));
    EXPECT_EQ(program.store.readInteger("General", "Points", 0), 2);

    // The settings window's first showing puts the mailbox rule first in the
    // header rules, where the classification reads it.
    program.frmGeneral()->FormShow();
    const RuleTable& headers = program.frmOptionsMain()->rules.gridHeader;
    EXPECT_EQ(headers.cell(2, 1), " - MailBox #1");
    EXPECT_EQ(headers.cell(4, 1), "No");
    EXPECT_EQ(headers.image(1), kImageQuestion);

    // Exit saves the general settings.
    program.frmGeneral()->nMinutes.value = 42;
    program.shutdown();
    EXPECT_EQ(program.store.readInteger("General", "Minutes", 0), 42);
}

}  // namespace
}  // namespace quorvel
