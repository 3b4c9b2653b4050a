// The whole path of a first start, as a newcomer takes it: an empty profile,
// "Check e-mail", the general settings that open for the missing mailbox,
// and the check of a mailbox of ordinary mail on a real Dovecot.
#include <filesystem>

#include <gtest/gtest.h>

#include "app/program.h"
#include "platform/files.h"
#include "support/dovecot_server.h"
#include "support/every_domain_exists.h"
#include "support/fake_platform.h"

namespace quorvel {
namespace {

std::string ordinaryMessage(const std::string& from, const std::string& to, const std::string& subject,
                            const std::string& more = "") {
    return "From: " + from + "\r\nTo: " + to + "\r\n" + more + "Subject: " + subject +
           "\r\nDate: Thu, 10 Dec 2026 09:15:00 +0000\r\n\r\nHello.\r\n";
}

TEST(FirstStart, ACheckOfOrdinaryMailMarksNothingNoRuleAskedFor) {
    testing::DovecotServer dovecot;
    dovecot.addMessages({
        ordinaryMessage("Ann <ann@friends.test>", "joe@example.test", "Lunch on Friday?"),
        ordinaryMessage("bob@work.test", "Joe Bloggs <JOE@example.test>", "Minutes of the meeting",
                        "Cc: team@work.test\r\n"),
        ordinaryMessage("\"Carla\" <carla@family.test>", "joe@example.test, dan@example.test", "Photos"),
        ordinaryMessage("news@shop.test", "<joe@example.test>", "=?UTF-8?Q?Your_order_=E2=9C=93?="),
        ordinaryMessage("eve@friends.test", "joe@example.test", ""),
    });
    testing::FakePlatform fake;
    // The program folder as a first start leaves it: the shipped known-spammer list.
    std::filesystem::copy_file(std::string(QUORVEL_DATA) + "/known.lst", fake.folder.file("known.lst"));
    Program program(fake.platform);
    program.start();
    testing::EveryDomainExists resolver;
    TfrmMain& main = *program.frmMain();
    main.setDomainResolver(resolver);
    // A new mailbox speaks STARTTLS; the tests' server has a CA of its own.
    main.msRemotePOP1.CAFile = dovecot.caFile();
    EXPECT_EQ(main.statusPanels[1], TfrmMain::kWhereToBegin);

    // The user clicks "Check e-mail" at once; the settings open and get the mailbox.
    const std::string server = "localhost:" + std::to_string(dovecot.port());
    int shown = 0;
    fake.dialogs.onShowModal = [&](Form& form) {
        auto& general = static_cast<TfrmGeneral&>(form);
        ++shown;
        general.FormShow();
        general.edServe[0].text = server;
        general.edName[0].text = "joe";
        general.edPass[0].text = "secret";
        general.btOKClick();
        return general.modalResult;
    };
    main.btListClick();
    ASSERT_EQ(shown, 1);
    ASSERT_EQ(fake.dialogs.shown.size(), 1u);
    EXPECT_EQ(fake.dialogs.shown[0].text, "You need to enter your e-mail username in the settings.");
    // The settings' first showing told of the rule it added.
    EXPECT_TRUE(program.frmGeneral()->lblFirstRunRule.visible);
    EXPECT_EQ(main.statusPanels[1], "Ready");

    main.btListClick();
    ASSERT_EQ(main.ListView1.rows.size(), 5u);
    for (const MessageRow& row : main.ListView1.rows) EXPECT_EQ(row.stateIndex, Mark::None) << row.caption;
    EXPECT_EQ(main.statusPanels[1], "Message Total: 5 Number Marked: 0");

    // The first-run rule stands first, for the user just named, in the rule file.
    TfrmOptionsMain saved(fake.platform);
    EXPECT_EQ(saved.rules.gridHeader.cell(1, 1), "To does not contain");
    EXPECT_EQ(saved.rules.gridHeader.cell(2, 1), "joe - MailBox #1");
    EXPECT_EQ(saved.rules.gridHeader.cell(4, 1), "No");

    // And it does what it says: mail not addressed to the mailbox (a list, a
    // Bcc) is questioned for review, never marked for deletion.
    dovecot.addMessages({ordinaryMessage("list@lists.test", "everyone@lists.test", "Digest"),
                         ordinaryMessage("ann@friends.test", "undisclosed-recipients:;", "Party")});
    main.FormCloseQuery();
    main.btListClick();
    ASSERT_EQ(main.ListView1.rows.size(), 7u);
    EXPECT_EQ(main.ListView1.rows[5].stateIndex, Mark::Question);
    EXPECT_EQ(main.ListView1.rows[6].stateIndex, Mark::Question);
    EXPECT_EQ(main.ListView1.markedCount(), 0);
}

}  // namespace
}  // namespace quorvel
