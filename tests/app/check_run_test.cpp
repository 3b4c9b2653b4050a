// The check and deletion runs end to end: the main window's logic, driven as
// the user would, against a real Dovecot on loopback.
#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "app/check_steps.h"
#include "app/program.h"
#include "classify/learned_model.h"
#include "classify/learned_model_file.h"
#include "mail/listing_cache_file.h"
#include "mail/pop3_client.h"
#include "platform/files.h"
#include "platform/poll_event_loop.h"
#include "support/dovecot_server.h"
#include "support/every_domain_exists.h"
#include "support/fake_platform.h"
#include "support/scripted_server.h"

namespace quorvel {
namespace {

using testing::EveryDomainExists;
using testing::shortMessage;

class CheckRun : public ::testing::Test {
protected:
    testing::DovecotServer dovecot;
    testing::FakePlatform fake;
    std::unique_ptr<Program> program;
    EveryDomainExists resolver;

    // What the server holds when the program starts.
    virtual std::vector<std::string> mailbox() {
        return {shortMessage("ann@friends.test", "Lunch on Friday?"),
                shortMessage("win@prizes.test", "You WIN a million"),
                shortMessage("bob@friends.test", "Minutes of the meeting")};
    }

    void SetUp() override {
        dovecot.addMessages(mailbox());
        SettingsStore store(fake.platform.settingsFolder);
        TPasswordCipher cipher;
        cipher.Key = "qiro";
        store.writeString("Server", "Version161", "161");
        store.writeString("Server", "Server1", "127.0.0.1:" + std::to_string(dovecot.port()));
        store.writeInteger("Server", "Security1", static_cast<int>(TmsSecurity::None));
        store.writeString("Server", "Mailbox1", "joe");
        store.writeString("Server", "Passwd1", cipher.encipher("secret"));
        store.writeString("General", "Logfile", fake.folder.file("log.txt"));
        program = std::make_unique<Program>(fake.platform);
        program->start();
        main().setDomainResolver(resolver);
        RuleTable& subjects = program->frmOptionsMain()->rules.gridSubject;
        const std::string rule[] = {"", "Contains", "win", "No", "Yes", "0"};
        for (int col = 0; col < 6; ++col) subjects.setCell(col, 1, rule[col]);
    }

    TfrmMain& main() { return *program->frmMain(); }
    std::string log() { return readFileBytes(fake.folder.file("log.txt")).value_or(""); }
};

TEST_F(CheckRun, ListsJudgesAndLogsTheMailbox) {
    std::vector<std::string> statusLines;
    main().setChangedHandler([&] {
        if (statusLines.empty() || statusLines.back() != main().statusPanels[1])
            statusLines.push_back(main().statusPanels[1]);
    });
    main().btListClick();

    ASSERT_EQ(main().ListView1.rows.size(), 3u);
    EXPECT_EQ(main().ListView1.rows[1].caption, "You WIN a million");
    EXPECT_EQ(main().ListView1.rows[1].sender, "win@prizes.test");
    std::vector<int> marks;
    for (const auto& row : main().ListView1.rows) marks.push_back(row.stateIndex);
    EXPECT_EQ(marks, (std::vector<int>{Mark::None, Mark::Delete, Mark::None}));
    // Only one mailbox: the session is kept, so no closing lines.
    const std::string server = "127.0.0.1:" + std::to_string(dovecot.port());
    const auto opening = std::find(statusLines.begin(), statusLines.end(), "Opening connection for joe on " + server);
    const auto third = std::find(statusLines.begin(), statusLines.end(), "Checking message 3 of 3 total waiting messages");
    EXPECT_NE(opening, statusLines.end());
    EXPECT_NE(third, statusLines.end());
    EXPECT_LT(opening, third);
    EXPECT_EQ(statusLines.back(), "Message Total: 3 Number Marked: 1");
    EXPECT_EQ(std::find(statusLines.begin(), statusLines.end(), "Closing connection"), statusLines.end());
    EXPECT_EQ(main().btExit.caption, "Goodbye");
    EXPECT_TRUE(main().btDelete.visible);
    EXPECT_EQ(main().btList.picture, "imUP");
    EXPECT_FALSE(program->frmRetrieving()->visible);
    EXPECT_EQ(log().rfind("MAIL CHECK 3 msg(s) for \"joe\" on server " + server + " at Thu 12/10/2026 4:48 PM\r\n", 0),
              0u);
}

TEST_F(CheckRun, DeletesOnlyTheMarkedMessageAndListsAgain) {
    program->frmGeneral()->cbLaunch.checked = false;  // list afresh instead of launching
    main().btListClick();
    main().btDeleteClick();

    ASSERT_EQ(fake.dialogs.shown.size(), 1u);
    // The question names the mailbox whose messages go.
    EXPECT_EQ(fake.dialogs.shown[0].text,
              "Really delete 1 messages from joe on 127.0.0.1:" + std::to_string(dovecot.port()) + "?");
    EXPECT_EQ(main().statusPanels[1], "There were 1 messages deleted");
    EXPECT_EQ(program->frmGeneral()->edCount.text, "1");
    ASSERT_EQ(main().ListView1.rows.size(), 2u);  // the fresh listing
    EXPECT_EQ(main().ListView1.rows[1].caption, "Minutes of the meeting");
    EXPECT_NE(log().find("DELETE SPAM on Thu 12/10/2026 4:48 PM\r\n   Server:  127.0.0.1:"), std::string::npos);
    EXPECT_NE(log().find("   Subject: You WIN a million\r\n   Sender:  win@prizes.test\r\n"), std::string::npos);

    main().FormCloseQuery();  // QUIT: the server carries the deletion out
    const auto left = dovecot.messages();
    ASSERT_EQ(left.size(), 2u);
    EXPECT_NE(left[0].find("Lunch on Friday?"), std::string::npos);
    EXPECT_NE(left[1].find("Minutes of the meeting"), std::string::npos);
}

// With one mailbox the session stays open after a check; the next check
// still starts afresh and sees what arrived in between.
TEST_F(CheckRun, ASecondCheckSeesAMessageThatArrivedAfterTheFirst) {
    main().btListClick();
    ASSERT_EQ(main().ListView1.rows.size(), 3u);
    dovecot.addMessages({shortMessage("cat@friends.test", "Arrived later")});
    main().btListClick();
    ASSERT_EQ(main().ListView1.rows.size(), 4u);
    EXPECT_EQ(main().ListView1.rows[3].caption, "Arrived later");
}

// The account changed between the check and the deletion: the marks belong
// to the first account's messages, so nothing is deleted anywhere.
TEST_F(CheckRun, ADeletionAfterTheAccountChangedIsRefused) {
    main().btListClick();
    ASSERT_EQ(main().ListView1.rows.size(), 3u);
    main().msRemotePOP1.UserName = "bob";
    main().btDeleteClick();
    ASSERT_FALSE(fake.dialogs.shown.empty());
    EXPECT_EQ(fake.dialogs.shown.back().text, TfrmMain::kListOfAnotherAccount);
    EXPECT_FALSE(main().msRemotePOP1.IsConnected());
    EXPECT_EQ(dovecot.messages().size(), 3u);
}

// The user changes the listed mailbox's account in the general settings
// between the check and the deletion: the kept session ends at once, and
// neither a deletion nor a viewing reaches either account. Set back as it
// was, the deletion goes to the account shown, on a new session.
TEST_F(CheckRun, AnAccountChangedInTheSettingsAfterTheCheckIsNotActedOn) {
    dovecot.addUser("bob", "secret");
    dovecot.addMessages("bob", mailbox());
    const std::string server = "127.0.0.1:" + std::to_string(dovecot.port());
    const auto settings = [&](const std::function<void(TfrmGeneral&)>& edit) {
        fake.dialogs.onShowModal = [&](Form& form) {
            auto& general = static_cast<TfrmGeneral&>(form);
            general.FormShow();
            edit(general);
            general.btOKClick();
            return general.modalResult;
        };
        main().btGeneralClick();
        fake.dialogs.onShowModal = nullptr;
    };
    const std::function<void(TfrmGeneral&)> asBefore = [&](TfrmGeneral& g) {
        g.edServe[0].text = server;
        g.edName[0].text = "joe";
        g.edPass[0].text = "secret";
        g.cbSecurity[0].itemIndex = static_cast<int>(TmsSecurity::None);
        g.cbSecurityChange(1);
        g.cbSignIn[0].itemIndex = static_cast<int>(TmsSignIn::Password);
        g.cbSignInChange(1);
    };
    struct Change {
        const char* what;
        std::function<void(TfrmGeneral&)> edit;
    } changes[] = {
        {"user name", [](TfrmGeneral& g) { g.edName[0].text = "bob"; }},
        {"server", [&](TfrmGeneral& g) { g.edServe[0].text = "localhost:" + std::to_string(dovecot.port()); }},
        {"security",
         [](TfrmGeneral& g) {
             g.cbSecurity[0].itemIndex = static_cast<int>(TmsSecurity::STARTTLS);
             g.cbSecurityChange(1);
         }},
        {"sign-in",
         [](TfrmGeneral& g) {
             g.cbSignIn[0].itemIndex = static_cast<int>(TmsSignIn::APOP);
             g.cbSignInChange(1);
         }},
    };
    for (const Change& c : changes) {
        main().btListClick();
        ASSERT_EQ(main().ListView1.markedCount(), 1) << c.what;
        ASSERT_TRUE(main().msRemotePOP1.IsConnected()) << c.what;
        settings(c.edit);
        EXPECT_FALSE(main().msRemotePOP1.IsConnected()) << c.what;

        fake.dialogs.shown.clear();
        main().btDeleteClick();
        ASSERT_EQ(fake.dialogs.shown.size(), 1u) << c.what;  // no "Really delete" question first
        EXPECT_EQ(fake.dialogs.shown[0].text, TfrmMain::kListOfAnotherAccount) << c.what;
        main().ListView1.rows[0].selected = true;
        main().ViewMessages1Click();
        main().ListView1.rows[0].selected = false;
        ASSERT_EQ(fake.dialogs.shown.size(), 2u) << c.what;
        EXPECT_EQ(fake.dialogs.shown[1].text, TfrmMain::kViewOfAnotherAccount) << c.what;
        EXPECT_FALSE(fileExists(main().messageFileName(0))) << c.what;
        EXPECT_EQ(dovecot.messages().size(), 3u) << c.what;
        EXPECT_EQ(dovecot.messages("bob").size(), 3u) << c.what;
        // Settings that merely name no change end nothing.
        settings(asBefore);
        main().btListClick();
        settings([](TfrmGeneral&) {});
        EXPECT_TRUE(main().msRemotePOP1.IsConnected()) << c.what;
    }
    program->frmGeneral()->cbLaunch.checked = false;
    settings(asBefore);
    fake.dialogs.shown.clear();
    main().btDeleteClick();
    EXPECT_EQ(main().statusPanels[1], "There were 1 messages deleted");
    main().FormCloseQuery();
    EXPECT_EQ(dovecot.messages().size(), 2u);
    EXPECT_EQ(dovecot.messages("bob").size(), 3u);
}

// The server ends the session the check left open (an idle time-out): the
// deletion connects again and goes on.
TEST_F(CheckRun, ADeletionReconnectsWhenTheServerEndedTheKeptSession) {
    program->frmGeneral()->cbLaunch.checked = false;
    main().btListClick();
    ASSERT_EQ(main().ListView1.markedCount(), 1);
    ASSERT_TRUE(main().msRemotePOP1.IsConnected());
    dovecot.kick();
    // The server's end reaches this side a moment later.
    for (int i = 0; i < 200 && main().msRemotePOP1.IdleConnectionUsable(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    ASSERT_FALSE(main().msRemotePOP1.IdleConnectionUsable());
    main().btDeleteClick();
    EXPECT_EQ(main().statusPanels[1], "There were 1 messages deleted");
    EXPECT_EQ(program->frmGeneral()->edCount.text, "1");
    main().FormCloseQuery();
    const auto left = dovecot.messages();
    ASSERT_EQ(left.size(), 2u);
    for (const std::string& message : left) EXPECT_EQ(message.find("You WIN"), std::string::npos);
}

// A mailbox stored before the security choice existed. A server that offers
// STLS is spoken to over STARTTLS from the first check on: the choice is
// stored, shown and logged once, and the list it made is the account's own
// for the deletion. A server without STLS keeps today's rule and warning.
TEST_F(CheckRun, AnUnchosenSecurityBecomesStartTlsWhenTheServerOffersIt) {
    const auto startWith = [&](const std::string& server) {
        program.reset();
        SettingsStore store(fake.platform.settingsFolder);
        store.writeString("Server", "Server1", server);
        store.writeString("Server", "Security1", "");  // no choice stored
        program = std::make_unique<Program>(fake.platform);
        program->start();
        main().setDomainResolver(resolver);
        main().msRemotePOP1.CAFile = dovecot.caFile();
        RuleTable& subjects = program->frmOptionsMain()->rules.gridSubject;
        const std::string rule[] = {"", "Contains", "win", "No", "Yes", "0"};
        for (int col = 0; col < 6; ++col) subjects.setCell(col, 1, rule[col]);
    };
    const auto notes = [&] {
        int count = 0;
        for (std::size_t at = 0; (at = log().find("SECURITY SET TO STARTTLS", at)) != std::string::npos; ++at) ++count;
        return count;
    };
    SettingsStore store(fake.platform.settingsFolder);
    TfrmGeneral* general = nullptr;

    {
        SCOPED_TRACE("the server offers STLS");
        const std::string server = "localhost:" + std::to_string(dovecot.port());
        startWith(server);
        general = program->frmGeneral();
        EXPECT_EQ(general->securityOf(1), TmsSecurity::None);
        EXPECT_TRUE(general->lblSecurityWarning.visible);
        // An OK in the settings meanwhile leaves the choice open.
        general->btOKClick();
        EXPECT_EQ(store.readInteger("Server", "Security1", -1), -1);

        main().btListClick();
        ASSERT_EQ(main().ListView1.rows.size(), 3u);
        EXPECT_EQ(store.readInteger("Server", "Security1", -1), static_cast<int>(TmsSecurity::STARTTLS));
        EXPECT_EQ(general->securityOf(1), TmsSecurity::STARTTLS);
        EXPECT_FALSE(general->lblSecurityWarning.visible);
        EXPECT_EQ(notes(), 1);
        EXPECT_NE(log().find("SECURITY SET TO STARTTLS FOR joe ON " + server + " AT Thu 12/10/2026 4:48 PM"),
                  std::string::npos)
            << log();
        main().btListClick();
        EXPECT_EQ(notes(), 1);

        general->cbLaunch.checked = false;
        main().btDeleteClick();
        EXPECT_EQ(main().statusPanels[1], "There were 1 messages deleted");
        main().FormCloseQuery();
        EXPECT_EQ(dovecot.messages().size(), 2u);
        // Every log-in went over TLS.
        const std::string serverLog = dovecot.log();
        int logins = 0;
        for (std::size_t at = 0; (at = serverLog.find("Login: user=<joe>", at)) != std::string::npos; ++at) {
            ++logins;
            const std::string line = serverLog.substr(at, serverLog.find('\n', at) - at);
            EXPECT_NE(line.find("TLS"), std::string::npos) << line;
        }
        EXPECT_GE(logins, 1);
    }
    {
        SCOPED_TRACE("the server does not offer STLS");
        testing::ScriptedServer plain({"S: +OK ready", "C: CAPA", "S: +OK", "S: USER", "S: UIDL", "S: .",
                                       "C: USER joe", "S: +OK", "C: PASS secret", "S: +OK in", "C: STAT",
                                       "S: +OK 0 0", "C: QUIT", "S: +OK"});
        startWith("127.0.0.1:" + std::to_string(plain.port()));
        main().btListClick();
        main().FormCloseQuery();
        plain.join();
        EXPECT_EQ(plain.failures(), std::vector<std::string>{});
        EXPECT_EQ(store.readInteger("Server", "Security1", -1), -1);
        EXPECT_EQ(notes(), 1);  // the one of the first server
        EXPECT_EQ(program->frmGeneral()->securityOf(1), TmsSecurity::None);
        EXPECT_EQ(program->frmGeneral()->lblSecurityWarning.caption,
                  "Warning: with Security \"None\" the password of mailbox 1 travels unencrypted.");
    }
}

TEST_F(CheckRun, OnlyManualModeLaunchesTheMailProgramAfterADeletion) {
    struct Case {
        bool automatic, launch;
        const char* mailer;
        bool launches;
        std::size_t rowsAfter;  // 0: emptied for the mail program; else listed afresh
    } cases[] = {
        {false, true, "/usr/bin/mailer", true, 0},
        {true, true, "/usr/bin/mailer", false, 2},
        {true, false, "/usr/bin/mailer", false, 2},
        {false, false, "/usr/bin/mailer", false, 2},
        // No mail program: no launch and no error box about it.
        {false, true, "", false, 2},
    };
    TfrmGeneral& general = *program->frmGeneral();
    bool first = true;
    for (const Case& c : cases) {
        if (!first) dovecot.addMessages({shortMessage("win@prizes.test", "You WIN again")});
        first = false;
        c.automatic ? general.rbAutoClick() : general.rbManualClick();
        general.cbLaunch.checked = c.launch;
        general.edMail.text = c.mailer;
        fake.shell.opened.clear();
        fake.dialogs.shown.clear();
        main().visible = true;  // the window is on screen: the run is attended
        main().btListClick();
        ASSERT_EQ(main().ListView1.markedCount(), 1) << c.automatic << c.launch;
        main().btDeleteClick();
        EXPECT_EQ(fake.shell.opened, c.launches ? std::vector<std::string>{"/usr/bin/mailer"}
                                                : std::vector<std::string>{})
            << c.automatic << c.launch;
        EXPECT_EQ(main().ListView1.rows.size(), c.rowsAfter) << c.automatic << c.launch;
        for (const auto& box : fake.dialogs.shown) EXPECT_NE(box.kind, MessageKind::Error) << box.text;
        main().FormCloseQuery();
        EXPECT_EQ(dovecot.messages().size(), 2u);
    }
}

TEST_F(CheckRun, ARefusedPasswordIsReportedInAnAttendedRunAndSwallowedUnattended) {
    SettingsStore store(fake.platform.settingsFolder);
    TPasswordCipher cipher;
    cipher.Key = "qiro";
    store.writeString("Server", "Passwd1", cipher.encipher("wrong"));
    main().visible = true;
    main().Timer1->setEnabled(true);
    EXPECT_THROW(main().btListClick(), std::exception);
    // The window is put back at once behind the error report.
    EXPECT_EQ(main().btExit.caption, "Goodbye");
    EXPECT_EQ(main().btExit.picture, "imDoor");
    EXPECT_EQ(main().Exit1.caption, "Exit");
    EXPECT_TRUE(main().btList.enabled);
    EXPECT_TRUE(main().btOptions.enabled);
    EXPECT_FALSE(main().Listing);
    EXPECT_FALSE(program->frmRetrieving()->visible);
    EXPECT_TRUE(main().Timer1->enabled());
    EXPECT_TRUE(fake.tray.autoPopup);
    EXPECT_EQ(log(), "");  // a server's refusal is not logged
    main().Timer1->setEnabled(false);
    EXPECT_THROW(main().btListClick(), std::exception);
    EXPECT_FALSE(main().Timer1->enabled());  // as it was, not switched on

    main().visible = false;
    main().AutoCheckRunning = true;
    EXPECT_NO_THROW(main().btListClick());
    EXPECT_EQ(log().rfind("MAIL CHECK 0 msg(s) for \"joe\"", 0), 0u);
}

// A certificate the checks refuse (the tests' server has its own CA): the
// user sees its details and may trust it for the mailbox; once trusted it is
// taken without a question, while an unattended run never asks.
TEST_F(CheckRun, ARefusedCertificateCanBeTrustedForTheMailbox) {
    SettingsStore store(fake.platform.settingsFolder);
    const std::string server = "localhost:" + std::to_string(dovecot.tlsPort());
    store.writeString("Server", "Server1", server);
    store.writeInteger("Server", "Security1", 2);
    // Started on these settings, so that the settings window holds them too.
    const auto restart = [&] {
        program.reset();
        program = std::make_unique<Program>(fake.platform);
        program->start();
        main().setDomainResolver(resolver);
        main().visible = true;
    };
    restart();
    auto& dialogs = fake.dialogs;

    dialogs.answers = {ModalResult::No};
    EXPECT_THROW(main().btListClick(), EUntrustedCertificate);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    // Enter must not trust it.
    EXPECT_EQ(dialogs.shown[0].buttons, MessageButtons::YesNoDefaultNo);
    const std::string question = dialogs.shown[0].text;
    EXPECT_NE(question.find("The certificate of the server localhost is not trusted: unable to get local issuer "
                            "certificate.\n\nIssued to: CN = localhost\nIssued by: CN = QuorvelTestCA\nValid from "),
              std::string::npos)
        << question;
    EXPECT_NE(question.find("Trust this certificate for mailbox 1?"), std::string::npos);
    const auto fingerprintAt = question.find("SHA-256 fingerprint: ");
    ASSERT_NE(fingerprintAt, std::string::npos);
    const std::string fingerprint = question.substr(fingerprintAt + 21, 95);
    EXPECT_EQ(store.readString("Server", "Certificate1", ""), "");
    EXPECT_TRUE(main().ListView1.rows.empty());

    dialogs.answers = {ModalResult::Yes};
    main().btListClick();
    EXPECT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(store.readString("Server", "Certificate1", ""), fingerprint);
    EXPECT_EQ(main().ListView1.rows.size(), 3u);

    // The general settings' next OK keeps it, and the next start takes it.
    program->frmGeneral()->btOKClick();
    EXPECT_EQ(store.readString("Server", "Certificate1", ""), fingerprint);
    EXPECT_EQ(store.readString("Server", "Server1", ""), server);
    restart();
    const std::size_t shownBefore = dialogs.shown.size();
    main().btListClick();
    EXPECT_EQ(main().msRemotePOP1.Server, server);
    EXPECT_EQ(main().msRemotePOP1.CertificatePin, fingerprint);
    EXPECT_EQ(dialogs.shown.size(), shownBefore);
    EXPECT_EQ(main().ListView1.rows.size(), 3u);

    // Unattended, a refused certificate is never offered: the run fails on it.
    program->frmGeneral()->certificatePins[0].clear();
    program->frmGeneral()->btOKClick();
    ASSERT_EQ(store.readString("Server", "Certificate1", ""), "");
    restart();
    main().visible = false;
    main().AutoCheckRunning = true;
    EXPECT_NO_THROW(main().btListClick());
    EXPECT_EQ(main().msRemotePOP1.Server, server);
    EXPECT_EQ(dialogs.shown.size(), shownBefore);
    EXPECT_TRUE(main().ListView1.rows.empty());
    EXPECT_NE(log().find("is not trusted"), std::string::npos) << log();
}

// A mailbox stored before the security choice existed, on a server that
// offers STARTTLS with a certificate the checks refuse: once the user trusts
// it, the retry settles the choice as a first log-in does, leaves no error
// record behind, and the deletion that follows is not refused.
TEST_F(CheckRun, TrustingACertificateOnTheStarttlsRetrySettlesTheSecurity) {
    SettingsStore store(fake.platform.settingsFolder);
    const std::string server = "localhost:" + std::to_string(dovecot.port());
    store.writeString("Server", "Server1", server);
    store.writeString("Server", "Security1", "");
    program.reset();
    program = std::make_unique<Program>(fake.platform);
    program->start();
    main().setDomainResolver(resolver);
    main().visible = true;
    program->frmGeneral()->cbLaunch.checked = false;
    const std::string rule[] = {"", "Contains", "win", "No", "Yes", "0"};
    for (int col = 0; col < 6; ++col) program->frmOptionsMain()->rules.gridSubject.setCell(col, 1, rule[col]);

    fake.dialogs.answers = {ModalResult::Yes};
    main().btListClick();
    ASSERT_EQ(fake.dialogs.shown.size(), 1u);
    EXPECT_NE(fake.dialogs.shown[0].text.find("Trust this certificate for mailbox 1?"), std::string::npos);
    ASSERT_EQ(main().ListView1.rows.size(), 3u);
    EXPECT_EQ(store.readInteger("Server", "Security1", -1), static_cast<int>(TmsSecurity::STARTTLS));
    EXPECT_NE(log().find("SECURITY SET TO STARTTLS FOR joe ON " + server), std::string::npos) << log();
    EXPECT_EQ(log().find("ERROR "), std::string::npos) << log();

    main().btDeleteClick();
    ASSERT_EQ(fake.dialogs.shown.size(), 2u);
    EXPECT_EQ(fake.dialogs.shown[1].text, "Really delete 1 messages from joe on " + server + "?");
    EXPECT_EQ(main().statusPanels[1], "There were 1 messages deleted");
    main().FormCloseQuery();
    EXPECT_EQ(dovecot.messages().size(), 2u);
}

TEST_F(CheckRun, CancelDuringAListingEmptiesTheListAndLogsTheCancel) {
    // Enough messages that the listing surely waits for the server after the
    // first row is in; the user clicks "Cancel" during that wait. One command
    // at a time, so every reply is waited for however slow this build runs
    // (cancels inside pipelined windows are tested with the client).
    std::vector<std::string> more;
    for (int i = 0; i < 60; ++i) more.push_back(testing::makeMessage(i, 3));
    dovecot.addMessages(more);
    main().msRemotePOP1.UsePipelining = false;
    bool clicked = false;
    fake.loop.onEachTurn = [&] {
        if (!clicked && main().Listing && !main().ListView1.rows.empty()) {
            clicked = true;
            main().btExitClick(TfrmMain::Sender::Button);
        }
    };
    // The user's own cancel is no error: no error report, one line in the log.
    EXPECT_NO_THROW(main().btListClick());
    fake.loop.onEachTurn = nullptr;
    ASSERT_TRUE(clicked);
    EXPECT_TRUE(main().ListView1.rows.empty());
    EXPECT_FALSE(main().Listing);
    EXPECT_FALSE(program->frmRetrieving()->visible);
    EXPECT_EQ(main().statusPanels[1], "Operation has been canceled");
    const std::string logged = log();
    EXPECT_EQ(logged.rfind("OPERATION CANCELED FOR joe ON 127.0.0.1:", 0), 0u) << logged;
    EXPECT_EQ(std::count(logged.begin(), logged.end(), '\n'), 1) << logged;
    EXPECT_TRUE(fake.dialogs.shown.empty());

    // A later failure is an error again.
    const std::string closed = "127.0.0.1:" + std::to_string(testing::unusedPort());
    program->store.writeString("Server", "Server1", closed);
    program->frmGeneral()->edServe[0].text = closed;
    EXPECT_THROW(main().btListClick(), ESocketError);
    EXPECT_NE(log().find("ERROR Connection refused"), std::string::npos) << log();
}

// What went wrong in words the user can act on: which server and port, and
// what to check or choose.
TEST_F(CheckRun, ConnectionFailuresSayWhatToCheckOrChoose) {
    const int closed = testing::unusedPort();
    testing::ScriptedServer plain({"S: +OK plain POP3 here", "WAIT"});
    const struct {
        std::string server;
        TmsSecurity security;
        std::string text;
    } cases[] = {
        {"127.0.0.1:" + std::to_string(closed), TmsSecurity::None,
         "Connection refused by 127.0.0.1 on port " + std::to_string(closed) +
             ": check the server name and port on the Mailboxes page of the General settings, and that the mail "
             "server is running"},
        {"127.0.0.1:" + std::to_string(plain.port()), TmsSecurity::SSLTLS,
         "The server did not answer with TLS on port " + std::to_string(plain.port()) +
             ": choose STARTTLS under Security for this port, or write the server's TLS port after its name (as in "
             "pop.example.com:995)"},
    };
    for (const auto& c : cases) {
        program->store.writeString("Server", "Server1", c.server);
        program->store.writeInteger("Server", "Security1", static_cast<int>(c.security));
        program->frmGeneral()->edServe[0].text = c.server;
        program->frmGeneral()->cbSecurity[0].itemIndex = static_cast<int>(c.security);
        try {
            main().btListClick();
            ADD_FAILURE() << c.server << ": no error";
        } catch (const std::exception& error) {
            EXPECT_EQ(std::string(error.what()), c.text);
        }
        EXPECT_NE(log().find("ERROR " + c.text + " FOR joe ON " + c.server), std::string::npos) << log();
    }
}

// A rule's hits are the messages it matched, once per listing: not once per
// judging of a row, and not again when a deletion lists what is left.
TEST_F(CheckRun, RuleHitsCountEachMatchedMessageOncePerListing) {
    RuleTable& subjects = program->frmOptionsMain()->rules.gridSubject;
    RuleTable& exceptions = program->frmOptionsMain()->rules.gridExcept;
    exceptions.setRowCount(2);
    const std::string friends[] = {"Domain name", "Equals", "friends.test", "No", "0", "", "3"};
    for (int col = 0; col < 7; ++col) exceptions.setCell(col, 1, friends[col]);
    const auto hits = [&] {
        return std::vector<std::string>{subjects.cell(hitsColumn(subjects.kind()), 1),
                                        exceptions.cell(hitsColumn(exceptions.kind()), 1)};
    };
    program->frmGeneral()->cbLaunch.checked = false;  // the deletion lists again

    main().btListClick();
    EXPECT_EQ(hits(), (std::vector<std::string>{"1", "2"}));
    main().btDeleteClick();
    ASSERT_EQ(main().ListView1.rows.size(), 2u);
    EXPECT_EQ(hits(), (std::vector<std::string>{"1", "2"}));
    main().btListClick();
    EXPECT_EQ(hits(), (std::vector<std::string>{"1", "4"}));
}

// POP3 deletes only at QUIT: a deletion that ends before it, or a message
// that is no longer the one listed, is neither logged as deleted nor counted.
TEST_F(CheckRun, OnlyDeletionsTheServerCommittedAreLoggedAndCounted) {
    const struct {
        const char* name;
        bool cancelAtDele;
        bool changedSinceListing;
        const char* status;  // after the run; empty when it fails
    } cases[] = {
        {"cancelled as the DELE goes out", true, false, ""},
        {"the marked message changed since the listing", false, true, "There were 0 messages deleted"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        program->frmGeneral()->cbLaunch.checked = false;
        main().btListClick();
        ASSERT_EQ(main().ListView1.rows[1].stateIndex, Mark::Delete);
        const std::size_t logged = log().size();
        const auto deleting = main().msRemotePOP1.OnDeleting;
        if (c.cancelAtDele)
            main().msRemotePOP1.OnDeleting = [&](int num) {
                deleting(num);
                main().btExitClick(TfrmMain::Sender::Button);
            };
        // The server now holds another message under that number.
        if (c.changedSinceListing) main().msRemotePOP1.RemoteInfo().Items(1).Size += 1;
        if (c.cancelAtDele)
            EXPECT_THROW(main().btDeleteClick(), std::exception);
        else
            main().btDeleteClick();
        main().msRemotePOP1.OnDeleting = deleting;
        if (*c.status) EXPECT_EQ(main().statusPanels[1], c.status);
        EXPECT_EQ(dovecot.messages().size(), 3u);
        EXPECT_EQ(program->frmGeneral()->edCount.text, "0");
        // Nothing deleted is nothing learned.
        EXPECT_EQ(main().learning().model().spamMessages(), 0u);
        const std::string written = log().substr(logged);
        EXPECT_EQ(written.find("DELETE SPAM"), std::string::npos);
        EXPECT_EQ(written.find(kNothingDeleted) != std::string::npos, c.cancelAtDele);
    }
}

// The user's deletions teach the learned judge: what the server deleted as
// spam and, when asked for, what was kept as wanted. An automatic deletion
// carries out marks nobody looked at, and teaches nothing.
TEST_F(CheckRun, TheUsersDeletionsTeachTheLearnedJudge) {
    program->frmGeneral()->cbLaunch.checked = false;
    const LearnedModel& model = main().learning().model();
    const auto keys = [&] {
        std::vector<LearningKey> result;
        for (int i = 0; i < main().msRemotePOP1.RemoteInfo().Count(); ++i)
            result.push_back(learningKey(main().msRemotePOP1.RemoteInfo().Items(i).Headers));
        return result;
    };
    const auto learned = [&](const std::vector<LearningKey>& of) {
        std::vector<LearnedAs> result;
        for (const LearningKey key : of) result.push_back(model.learnedAs(key));
        return result;
    };
    const auto markOnly = [&](std::size_t row) {
        for (auto& r : main().ListView1.rows) r.selected = false;
        main().ListView1.rows[row].selected = true;
        main().btMarkClick();
    };

    // The rule marks the prize message; the messages kept teach nothing yet.
    main().btListClick();
    const auto first = keys();
    main().btDeleteClick();
    EXPECT_EQ(learned(first), (std::vector<LearnedAs>{LearnedAs::Nothing, LearnedAs::Spam, LearnedAs::Nothing}));
    // An untrained judge gives no reason.
    EXPECT_EQ(log().find(kReasonLine), std::string::npos);

    // With the option on, the messages left unmarked are learned as wanted.
    program->frmOptionsMain()->rules.options.learnFromKept = true;
    dovecot.addMessages({shortMessage("cat@friends.test", "Arrived later")});
    main().btListClick();
    const auto second = keys();
    ASSERT_EQ(second.size(), 3u);
    markOnly(0);
    main().btDeleteClick();
    EXPECT_EQ(learned(second), (std::vector<LearnedAs>{LearnedAs::Spam, LearnedAs::Ham, LearnedAs::Ham}));
    EXPECT_EQ(model.spamMessages(), 2u);
    EXPECT_EQ(model.hamMessages(), 2u);

    // An automatic deletion teaches nothing.
    main().btListClick();
    const auto third = keys();
    ASSERT_EQ(third.size(), 2u);
    markOnly(1);
    main().AutoCheckRunning = true;
    main().btDeleteClick();
    main().AutoCheckRunning = false;
    EXPECT_EQ(main().statusPanels[1], "There were 1 messages deleted");
    EXPECT_EQ(learned(third), (std::vector<LearnedAs>{LearnedAs::Ham, LearnedAs::Ham}));
    // Saved with the run.
    EXPECT_TRUE(fileExists(LearnedModelFile::pathFor(fake.platform.programFolder)));
}

// A message the trained judge took for spam says why in its deletion record.
TEST_F(CheckRun, ALearnedReasonReachesTheDeletionRecord) {
    program->frmGeneral()->cbLaunch.checked = false;
    for (int n = 0; n < 30; ++n) {
        TmsRemoteInfoItem spam, ham;
        spam.Size = ham.Size = 150;
        spam.Headers = {"From: win@prizes.test", "To: joe@example.test", "Subject: You WIN prize " + std::to_string(n),
                        "Date: Thu, 10 Dec 2026 09:15:00 +0000"};
        ham.Headers = {"From: ann@friends.test", "To: joe@example.test",
                       "Subject: Notes from Friday " + std::to_string(n), "Date: Thu, 10 Dec 2026 09:15:00 +0000"};
        main().learning().learn(spam, true);
        main().learning().learn(ham, false);
    }
    main().btListClick();
    main().btDeleteClick();
    const std::string written = log();
    const std::size_t record = written.find("   Subject: You WIN a million\r\n");
    ASSERT_NE(record, std::string::npos);
    // The sixth line of that record.
    std::size_t line = record;
    for (int i = 0; i < 3; ++i) line = written.find("\r\n", line) + 2;
    EXPECT_EQ(written.substr(line, std::string(kReasonLine).size() + 9), std::string(kReasonLine) + "Learned: ");
}

TEST_F(CheckRun, MarksLeftByACancelledDeletionNeverDeleteARowUnmarkedSince) {
    program->frmGeneral()->cbLaunch.checked = false;
    main().btListClick();
    ASSERT_EQ(main().ListView1.rows[1].stateIndex, Mark::Delete);
    // The user cancels as the first DELE is about to go out (a quick server
    // may answer every command before the client ever waits, so the cancel
    // comes from the deleting event): the session ends without QUIT, nothing
    // is deleted, and the rows keep their marks.
    const auto deleting = main().msRemotePOP1.OnDeleting;
    main().msRemotePOP1.OnDeleting = [&](int num) {
        deleting(num);
        main().btExitClick(TfrmMain::Sender::Button);
    };
    EXPECT_THROW(main().btDeleteClick(), std::exception);
    main().msRemotePOP1.OnDeleting = deleting;
    EXPECT_EQ(dovecot.messages().size(), 3u);
    ASSERT_EQ(main().ListView1.rows.size(), 3u);
    EXPECT_EQ(main().ListView1.rows[1].stateIndex, Mark::Delete);
    // The window is back at once: buttons, exit caption, dialog, tray menu.
    EXPECT_FALSE(main().DeleteRunning);
    EXPECT_EQ(main().btExit.caption, "Goodbye");
    EXPECT_EQ(main().Exit1.caption, "Exit");
    EXPECT_TRUE(main().btList.enabled);
    EXPECT_TRUE(main().btDelete.visible);
    EXPECT_FALSE(program->frmRetrieving()->visible);
    EXPECT_TRUE(fake.tray.autoPopup);
    EXPECT_FALSE(main().Timer1->enabled());  // automatic checking is off
    EXPECT_EQ(program->frmGeneral()->edCount.text, "0");

    // Now the spam row is unmarked and the last row marked instead.
    auto toggle = [&](std::size_t row) {
        for (auto& r : main().ListView1.rows) r.selected = false;
        main().ListView1.rows[row].selected = true;
        main().btMarkClick();
    };
    toggle(1);
    toggle(2);
    main().btDeleteClick();
    EXPECT_EQ(main().statusPanels[1], "There were 1 messages deleted");
    EXPECT_EQ(program->frmGeneral()->edCount.text, "1");

    main().FormCloseQuery();
    const auto left = dovecot.messages();
    ASSERT_EQ(left.size(), 2u);
    EXPECT_NE(left[0].find("Lunch on Friday?"), std::string::npos);
    EXPECT_NE(left[1].find("You WIN a million"), std::string::npos);
}

// Rows marked only because their sender is a known spammer count as marked:
// they are asked about, deleted, logged and counted like any other.
class KnownSpammerOnly : public CheckRun {
protected:
    std::vector<std::string> mailbox() override {
        return {shortMessage("ann@friends.test", "Lunch on Friday?"),
                shortMessage("pest@known.test", "Hello again"),
                shortMessage("bob@friends.test", "Minutes of the meeting"),
                shortMessage("pest@known.test", "Still here")};
    }
};

TEST_F(KnownSpammerOnly, RowsWithTheKnownSpammerMarkAreCountedAndDeleted) {
    program->frmGeneral()->cbLaunch.checked = false;
    main().lbKnown.loadFromBytes("pest@known.test\r\n");
    main().btListClick();
    std::vector<int> marks;
    for (const auto& row : main().ListView1.rows) marks.push_back(row.stateIndex);
    ASSERT_EQ(marks, (std::vector<int>{Mark::None, Mark::KnownSpammer, Mark::None, Mark::KnownSpammer}));

    main().btDeleteClick();
    ASSERT_EQ(fake.dialogs.shown.size(), 1u);
    EXPECT_EQ(fake.dialogs.shown[0].text,
              "Really delete 2 messages from joe on 127.0.0.1:" + std::to_string(dovecot.port()) + "?");
    EXPECT_EQ(main().statusPanels[1], "There were 2 messages deleted");
    EXPECT_EQ(program->frmGeneral()->edCount.text, "2");
    EXPECT_NE(log().find("   Subject: Hello again\r\n"), std::string::npos);
    EXPECT_NE(log().find("   Subject: Still here\r\n"), std::string::npos);

    main().FormCloseQuery();
    const auto left = dovecot.messages();
    ASSERT_EQ(left.size(), 2u);
    EXPECT_NE(left[0].find("Lunch on Friday?"), std::string::npos);
    EXPECT_NE(left[1].find("Minutes of the meeting"), std::string::npos);
}

class EmptyMailbox : public CheckRun {
protected:
    std::vector<std::string> mailbox() override { return {}; }
};

TEST_F(EmptyMailbox, EndsTheProgramOnlyWithExitOnAndAutomaticOff) {
    struct Case {
        bool exit, automatic, tray;
        TfrmMain::EndRequest end;
        bool hidden;
    } cases[] = {
        {true, false, false, TfrmMain::EndRequest::Close, false},
        {true, false, true, TfrmMain::EndRequest::None, true},  // tray mode hides instead
        {false, false, false, TfrmMain::EndRequest::None, false},
        {true, true, false, TfrmMain::EndRequest::None, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "exit " << c.exit << " automatic " << c.automatic << " tray " << c.tray);
        program->frmGeneral()->cbExit.checked = c.exit;
        program->frmGeneral()->rbAuto.checked = c.automatic;
        program->frmGeneral()->rbManual.checked = !c.automatic;
        main().trayMode = c.tray;
        main().endRequest = TfrmMain::EndRequest::None;
        fake.tray.calls.clear();
        const std::string before = log();
        main().btListClick();
        EXPECT_TRUE(main().ListView1.rows.empty());
        EXPECT_EQ(main().endRequest, c.end);
        EXPECT_EQ(std::count(fake.tray.calls.begin(), fake.tray.calls.end(), "HideApplication"), c.hidden ? 1 : 0);
        // The record is written whether or not the program ends.
        EXPECT_EQ(log().substr(before.size()).rfind("MAIL CHECK 0 msg(s) for \"joe\"", 0), 0u);
        EXPECT_EQ(main().statusPanels[1], "Message Total: 0 Number Marked: 0");
    }
}

// Viewing fetches a message into the program folder and shows its body.
class ViewRun : public CheckRun {
protected:
    std::vector<std::string> titles, charSets, moreParts;
    std::vector<std::vector<std::string>> bodies;

    void SetUp() override {
        CheckRun::SetUp();
        fake.dialogs.onShowModal = [this](Form& form) {
            if (form.name() == "frmViewHeader") {
                auto& viewer = static_cast<TfrmViewHeader&>(form);
                titles.push_back(viewer.lblTitle.caption);
                charSets.push_back(viewer.charSet);
                moreParts.push_back(viewer.lblMoreParts.visible ? viewer.lblMoreParts.caption : "");
                bodies.push_back(viewer.lines());
            }
            return form.modalResult;
        };
    }
    void view(int row) {
        for (auto& r : main().ListView1.rows) r.selected = false;
        main().ListView1.rows[static_cast<std::size_t>(row)].selected = true;
        main().ViewMessages1Click();
    }
};

TEST_F(ViewRun, TheFirstRowIsSavedAsReceivedAndItsBodyShown) {
    main().btListClick();
    ASSERT_TRUE(main().msRemotePOP1.IsConnected());  // kept open after the listing, reused now
    std::vector<std::string> statusLines;
    main().setChangedHandler([&] {
        if (statusLines.empty() || statusLines.back() != main().statusPanels[1])
            statusLines.push_back(main().statusPanels[1]);
    });
    view(0);

    const std::string file = fake.folder.file("msg_0.eml");
    EXPECT_EQ(readFileBytes(file), dovecot.messages()[0] + ".\r\n");  // the answer with its closing line
    EXPECT_EQ(titles, std::vector<std::string>{"Contents of e-mail"});
    EXPECT_EQ(bodies, std::vector<std::vector<std::string>>{{"Hello."}});
    for (const char* line : {"Transferring data", "Retrieving 1", "Message 1 retrieved", "Connection closed"})
        EXPECT_NE(std::find(statusLines.begin(), statusLines.end(), line), statusLines.end()) << line;
    EXPECT_FALSE(main().msRemotePOP1.IsConnected());
    EXPECT_EQ(main().msRemotePOP1.RemoteInfo().Items(0).marks, 0);
    EXPECT_TRUE(main().btList.enabled);
    EXPECT_FALSE(program->frmRetrieving()->visible);
    EXPECT_EQ(dovecot.messages().size(), 3u);  // viewing deletes nothing

    // Viewing again opens a new session and replaces the file.
    writeFileAtomically(file, "something else");
    view(0);
    EXPECT_EQ(readFileBytes(file), dovecot.messages()[0] + ".\r\n");
    EXPECT_EQ(bodies.size(), 2u);
}

// The body view shows the first part's text and says what else the message holds.
TEST_F(ViewRun, AMultipartMessageNamesThePartsNotShown) {
    const std::string multipart =
        "From: ann@friends.test\r\nSubject: Photos\r\nMIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
        "--b\r\nContent-Type: text/plain\r\n\r\nSee the pictures.\r\n"
        "--b\r\nContent-Type: image/png; name=\"one.png\"\r\nContent-Transfer-Encoding: base64\r\n\r\nAAEC\r\n"
        "--b\r\nContent-Type: application/pdf; name=\"two.pdf\"\r\nContent-Transfer-Encoding: base64\r\n\r\nAAECAw==\r\n"
        "--b--\r\n";
    dovecot.addMessages({multipart});
    main().btListClick();
    view(3);
    view(0);
    ASSERT_EQ(bodies.size(), 2u);
    EXPECT_EQ(bodies[0], std::vector<std::string>{"See the pictures."});
    EXPECT_EQ(moreParts, (std::vector<std::string>{
                             "Only the text of the first part is shown. 2 more parts: one.png (3 bytes), two.pdf (4 bytes)",
                             ""}));
}

TEST_F(ViewRun, LinesStartingWithADotAreSavedAndShownAsTheServerSentThem) {
    dovecot.addMessages({"From: ann@friends.test\r\nSubject: Dots\r\n\r\n.one\r\n..two\r\n.\r\nend\r\n"});
    main().btListClick();
    view(3);
    // The server doubles a leading dot and ends the answer with a "." line.
    EXPECT_EQ(readFileBytes(fake.folder.file("msg_3.eml")),
              "From: ann@friends.test\r\nSubject: Dots\r\n\r\n..one\r\n...two\r\n..\r\nend\r\n.\r\n");
    EXPECT_EQ(bodies, (std::vector<std::vector<std::string>>{{"..one", "...two", "..", "end"}}));
}

TEST_F(ViewRun, TheViewerIsToldTheBodysCharacterSet) {
    dovecot.addMessages({"From: ann@friends.test\r\nSubject: Caf\xe9\r\nMIME-Version: 1.0\r\n"
                         "Content-Type: text/plain; charset=\"ISO-8859-1\"\r\n\r\nCaf\xe9 au lait\r\n"});
    main().btListClick();
    view(3);
    ASSERT_EQ(bodies.size(), 1u);
    EXPECT_EQ(charSets[0], "ISO-8859-1");
    EXPECT_EQ(bodies[0], std::vector<std::string>{"Caf\xe9 au lait"});
}

TEST_F(ViewRun, AMessageChangedOnTheServerIsNotShownFromAnOldCopy) {
    main().btListClick();
    view(1);
    ASSERT_EQ(bodies.size(), 1u);
    // Another client changed the mailbox: message 2 is no longer the one listed.
    main().msRemotePOP1.RemoteInfo().Items(1).Size += 1;
    EXPECT_THROW(view(1), std::runtime_error);
    EXPECT_EQ(bodies.size(), 1u);
    EXPECT_FALSE(fileExists(fake.folder.file("msg_1.eml")));
    EXPECT_TRUE(main().btList.enabled);
}

TEST_F(ViewRun, ARefusedLoginLeavesTheWindowUsable) {
    program->frmGeneral()->rbAuto.checked = true;
    main().btListClick();
    main().FormCloseQuery();  // the kept session ends, so the fetch logs in anew
    main().msRemotePOP1.Password = "wrong";
    EXPECT_THROW(view(0), std::exception);
    EXPECT_TRUE(bodies.empty());
    EXPECT_TRUE(main().btList.enabled);
    EXPECT_TRUE(main().ViewMessages1.enabled);
    EXPECT_FALSE(program->frmRetrieving()->visible);
    EXPECT_TRUE(fake.tray.autoPopup);
    EXPECT_TRUE(main().Timer1->enabled());
    EXPECT_EQ(main().msRemotePOP1.RemoteInfo().Items(0).marks, 0);
    EXPECT_FALSE(fileExists(fake.folder.file("msg_0.eml")));
}

// Everything a row shows and the rule's hit counter: what a check must give
// alike with and without the listing cache.
std::vector<std::string> checkOutcome(TfrmMain& main, RuleTable& subjects) {
    std::vector<std::string> outcome;
    for (const auto& row : main.ListView1.rows)
        outcome.push_back(row.caption + "|" + row.sender + "|" + row.size + "|" + row.date + "|" +
                          std::to_string(row.stateIndex));
    outcome.push_back("hits " + subjects.cell(5, 1));
    return outcome;
}

TEST_F(CheckRun, CachedChecksListAndJudgeAsFullListingsDo) {
    TfrmGeneral& general = *program->frmGeneral();
    RuleTable& subjects = program->frmOptionsMain()->rules.gridSubject;
    EXPECT_TRUE(general.cbRememberListed.checked);  // on in a profile that never stored it
    const std::string cacheFile = TmsListingCacheFile::pathFor(fake.platform.programFolder, 1);

    const auto check = [&](bool cached) {
        general.cbRememberListed.checked = cached;
        main().btListClick();
        return checkOutcome(main(), subjects);
    };
    const auto full = check(false);
    EXPECT_FALSE(fileExists(cacheFile));
    EXPECT_EQ(check(true), (std::vector<std::string>{full[0], full[1], full[2], "hits 2"}));
    EXPECT_TRUE(fileExists(cacheFile));
    EXPECT_EQ(check(true), (std::vector<std::string>{full[0], full[1], full[2], "hits 3"}));  // from the cache

    // After a change on the server, a cached check and a full one of the same
    // mailbox give the same rows, marks, hit counters and log record; the hit
    // counters are set back in between, so both start from the same ones.
    const auto cachedThenFull = [&] {
        main().FormCloseQuery();  // ends the kept session, so the check sees the change
        const std::string hits[] = {subjects.cell(5, 1), subjects.cell(5, 2)};
        std::size_t start = log().size();
        const auto cached = check(true);
        const std::string cachedLog = log().substr(start);
        subjects.setCell(5, 1, hits[0]);
        subjects.setCell(5, 2, hits[1]);
        main().FormCloseQuery();
        start = log().size();
        const auto full = check(false);
        EXPECT_EQ(cached, full);
        EXPECT_EQ(cachedLog, log().substr(start));
        EXPECT_NE(cachedLog.find("MAIL CHECK " + std::to_string(full.size() - 1) + " msg(s)"), std::string::npos);
        return full;
    };

    // New mail, and a rule changed between checks reaches the old messages too.
    dovecot.addMessages({shortMessage("eve@prizes.test", "Claim your prize")});
    const std::string rule[] = {"", "Contains", "Lunch", "No", "Yes", "0"};
    subjects.setRowCount(3);
    for (int col = 0; col < 6; ++col) subjects.setCell(col, 2, rule[col]);
    const auto fullAfter = cachedThenFull();
    ASSERT_EQ(fullAfter.size(), 5u);
    EXPECT_NE(fullAfter[0].find("Lunch on Friday?"), std::string::npos);
    EXPECT_EQ(fullAfter[0].back(), '0' + Mark::Delete);
    EXPECT_NE(fullAfter[3].find("Claim your prize"), std::string::npos);
    EXPECT_EQ(fullAfter[4], "hits 4");

    // Another client deletes the first and third messages: the rest move up.
    {
        main().FormCloseQuery();
        PollEventLoop loop;
        TmsRemotePOP other(loop, loop);
        other.Server = "127.0.0.1:" + std::to_string(dovecot.port());
        other.UserName = "joe";
        other.Password = "secret";
        other.Security = TmsSecurity::None;
        other.KeepConnected = true;
        other.UpdateInfo();
        ASSERT_EQ(other.RemoteInfo().Count(), 4);
        other.SetDeleteMark(0);
        other.SetDeleteMark(2);
        other.ProcessMarks();
    }
    ASSERT_EQ(dovecot.messages().size(), 2u);
    const auto fullRenumbered = cachedThenFull();
    ASSERT_EQ(fullRenumbered.size(), 3u);
    EXPECT_NE(fullRenumbered[0].find("You WIN a million"), std::string::npos);
    EXPECT_NE(fullRenumbered[1].find("Claim your prize"), std::string::npos);
    EXPECT_EQ(fullRenumbered[2], "hits 5");

    TmsListingCacheFile kept(cacheFile, {"127.0.0.1:" + std::to_string(dovecot.port()), 110, "joe"});
    EXPECT_EQ(kept.load(), "");
    EXPECT_EQ(kept.size(), 2u);
}

TEST_F(CheckRun, ACacheThatLiesNeverDeletesAMessageTheUserDidNotSee) {
    TfrmGeneral& general = *program->frmGeneral();
    general.cbLaunch.checked = false;
    main().btListClick();
    const TmsRemoteInfo& listed = main().msRemotePOP1.RemoteInfo();
    ASSERT_EQ(listed.Count(), 3);
    // The innocent first message described with the spam's headers, at its own size.
    TmsRemoteInfo crafted;
    for (int i = 0; i < 3; ++i) {
        auto item = std::make_unique<TmsRemoteInfoItem>(listed.Items(i));
        ASSERT_FALSE(item->UIDL.empty());
        if (i == 0) item->Headers = listed.Items(1).Headers;
        crafted.Add(std::move(item));
    }
    general.cbRememberListed.checked = false;
    main().btListClick();  // lets go of the cache, so the next check reads the file
    TmsListingCacheFile lie(TmsListingCacheFile::pathFor(fake.platform.programFolder, 1),
                            {"127.0.0.1:" + std::to_string(dovecot.port()), 110, "joe"});
    lie.update(crafted);
    lie.save();
    general.cbRememberListed.checked = true;
    main().btListClick();
    ASSERT_EQ(main().ListView1.rows.size(), 3u);
    ASSERT_EQ(main().ListView1.rows[0].caption, "You WIN a million");  // the lie is shown
    ASSERT_EQ(main().ListView1.rows[0].stateIndex, Mark::Delete);

    main().btDeleteClick();
    main().FormCloseQuery();
    const auto left = dovecot.messages();
    ASSERT_EQ(left.size(), 2u);
    EXPECT_NE(left[0].find("Lunch on Friday?"), std::string::npos);
    EXPECT_NE(left[1].find("Minutes of the meeting"), std::string::npos);
}

}  // namespace
}  // namespace quorvel
