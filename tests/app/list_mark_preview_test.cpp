#include "app/list_mark_preview.h"

#include <functional>

#include <gtest/gtest.h>

#include "app/program.h"
#include "support/fake_platform.h"

namespace quorvel {
namespace {

// The rule dialogs of a started program, over a main window listing five
// known messages.
class WouldMark : public ::testing::Test {
protected:
    WouldMark() {
        program.start();
        main = program.frmMain();
        dialogs = program.ruleDialogs();
        program.frmGeneral()->edServe[0].text = "pop.home.example";
        program.frmGeneral()->edName[0].text = "me";
        main->msRemotePOP1.Server = "pop.home.example";
        main->msRemotePOP1.UserName = "me";
        // The last stored header line is never examined: each message ends in its date.
        list({"Subject: Free offer now", "From: Ann <ann@spam.de>", "To: me@home.example",
              "Date: Mon, 1 Jan 2024 10:00:00 +0000"});
        list({"Subject: Meeting", "From: bob@work.example", "To: me@home.example",
              "Date: Mon, 1 Jan 2024 10:00:00 +0000"});
        list({"Subject: FREE MONEY", "From: 4325154@numbers.example", "Date: Mon, 1 Jan 2024 10:00:00 +0000"});
        list({"From: carol@friends.de", "To: me@home.example", "Date: Mon, 1 Jan 2024 10:00:00 +0000"});
        list({"Subject: newsletter", "From: list@club.example", "To: members@club.example",
              "X-Mailer: Floodgate", "Date: Mon, 1 Jan 2024 10:00:00 +0000"});
        main->ListView1.rows[1].stateIndex = Mark::Question;
        // A live rule with hits that the dialogs' judging must not raise.
        RuleTable& subjects = program.frmOptionsMain()->rules.gridSubject;
        const std::string live[] = {"", "Contains", "free", "No", "Yes", "4"};
        for (int col = 0; col < 6; ++col) subjects.setCell(col, 1, live[col]);
    }

    void list(std::vector<std::string> headers) {
        auto item = std::make_unique<TmsRemoteInfoItem>();
        item->Size = 1000;
        item->Headers = std::move(headers);
        main->msRemotePOP1.RemoteInfo().Add(std::move(item));
        main->addMessageRow(main->msRemotePOP1.RemoteInfo().Items(main->msRemotePOP1.RemoteInfo().Count() - 1));
    }
    std::vector<int> marks() const {
        std::vector<int> result;
        for (const MessageRow& row : main->ListView1.rows) result.push_back(row.stateIndex);
        return result;
    }

    testing::FakePlatform fake;
    Program program{fake.platform};
    TfrmMain* main = nullptr;
    RuleDialogs* dialogs = nullptr;
};

TEST_F(WouldMark, EachDialogCountsTheListedMessagesItsRuleAloneWouldMark) {
    TfrmOptionsSubject& subject = dialogs->frmOptionsSubject;
    TfrmOptionsFROM& sender = dialogs->frmOptionsFROM;
    TfrmHeaders& header = dialogs->frmHeaders;
    TfrmAlwaysAccept& except = dialogs->frmAlwaysAccept;
    struct Case {
        const char* name;
        std::function<void()> edit;
        RuleDialog& dialog;
        const char* line;
    } cases[] = {
        {"subject contains free", [&] { subject.newRule(); subject.edit1Change("free"); }, subject,
         "Would mark 2 of the 5 listed messages"},
        {"case matters", [&] { subject.cbCaseClick(true); }, subject, "Would mark 0 of the 5 listed messages"},
        {"whole word", [&] { subject.cbCaseClick(false); subject.cbWhat.itemIndex = 1; subject.edit1Change("fre"); subject.cbWhatClick(); },
         subject, "Would mark 0 of the 5 listed messages"},
        {"subject blank", [&] { subject.cbWhat.itemIndex = 5; subject.cbWhatClick(); }, subject,
         "Would mark 1 of the 5 listed messages"},
        {"subject uppercase", [&] { subject.cbWhat.itemIndex = 6; subject.cbWhatClick(); }, subject,
         "Would mark 1 of the 5 listed messages"},
        {"sender in Germany", [&] {
             sender.newRule();
             fake.dialogs.onShowModal = [](Form& form) {
                 auto& picker = static_cast<TfrmInternet&>(form);
                 picker.ListBox1.itemIndex = 81;  // Germany
                 picker.btOKClick();
                 return picker.modalResult;
             };
             sender.btCountryClick();
         }, sender, "Would mark 2 of the 5 listed messages"},
        {"sender all numeric", [&] { sender.cbDomain.itemIndex = 0; sender.cbWhat.itemIndex = 7; sender.cbWhatClick(); },
         sender, "Would mark 1 of the 5 listed messages"},
        {"sender domain all numeric", [&] { sender.cbDomain.itemIndex = 1; sender.cbDomainClick(); }, sender,
         "Would mark 0 of the 5 listed messages"},
        {"header line", [&] { header.newRule(); header.cbHeaderChange("x-mailer: flood"); }, header,
         "Would mark 1 of the 5 listed messages"},
        {"header on the last line", [&] { header.cbHeaderChange("Date:"); }, header,
         "Would mark 0 of the 5 listed messages"},
        {"to does not contain, this mailbox", [&] { header.chooseForm(header.rbTo); header.edToChange("me@home"); },
         header, "Would mark 1 of the 5 listed messages"},
        {"reply-to", [&] { header.chooseForm(header.rbReplyTomatch); }, header,
         "Would mark 0 of the 5 listed messages"},
        {"exception address", [&] { except.newRule(); except.edEmailChange("BOB@work"); }, except,
         "Would mark 1 of the 5 listed messages"},
        {"exception subject", [&] { except.rbSubjectClick(); except.edSubjectChange("e"); }, except,
         "Would mark 4 of the 5 listed messages"},
        {"exception any header", [&] { except.cbLineClick(4); except.edSubjectChange("club.example"); }, except,
         "Would mark 1 of the 5 listed messages"},
        // A rule OK refuses marks nothing, whatever an empty pattern would match.
        {"exception emptied", [&] { except.edSubjectChange(""); }, except, "Would mark 0 of the 5 listed messages"},
        {"new exception", [&] { except.newRule(); except.rbDomainClick(); }, except,
         "Would mark 0 of the 5 listed messages"},
        {"subject emptied", [&] { subject.newRule(); subject.edit1Change("free"); subject.edit1Change("  "); },
         subject, "Would mark 0 of the 5 listed messages"},
        {"header text emptied", [&] { header.newRule(); header.cbHeaderChange(""); }, header,
         "Would mark 0 of the 5 listed messages"},
    };
    const std::vector<int> before = marks();
    const RuleTable live = program.frmOptionsMain()->rules.gridSubject;
    for (const Case& c : cases) {
        c.edit();
        EXPECT_TRUE(c.dialog.lblPreview.visible) << c.name;
        EXPECT_EQ(c.dialog.lblPreview.caption, c.line) << c.name;
    }
    EXPECT_EQ(marks(), before);
    EXPECT_EQ(program.frmOptionsMain()->rules.gridSubject.revision(), live.revision());
    EXPECT_EQ(program.frmOptionsMain()->rules.gridSubject.cell(5, 1), "4");
}

TEST_F(WouldMark, TheLineFollowsTheListAndIsHiddenWhileItIsEmpty) {
    TfrmOptionsSubject& subject = dialogs->frmOptionsSubject;
    subject.newRule();
    subject.edit1Change("meeting");
    EXPECT_EQ(subject.lblPreview.caption, "Would mark 1 of the 5 listed messages");
    // Another mailbox: the mailbox rule no longer applies.
    TfrmHeaders& header = dialogs->frmHeaders;
    header.newRule();
    header.chooseForm(header.rbTo);
    header.edToChange("me@home");
    EXPECT_EQ(header.lblPreview.caption, "Would mark 1 of the 5 listed messages");
    main->msRemotePOP1.Server = "pop.elsewhere.example";
    header.edToChange("me@home.");
    EXPECT_EQ(header.lblPreview.caption, "Would mark 0 of the 5 listed messages");

    main->ListView1.clear();
    main->msRemotePOP1.RemoteInfo().Clear();
    subject.edit1Change("meetings");
    EXPECT_FALSE(subject.lblPreview.visible);
    EXPECT_EQ(subject.lblPreview.caption, "");
    list({"Subject: Meeting", "From: bob@work.example", "Date: Mon, 1 Jan 2024 10:00:00 +0000"});
    subject.edit1Change("meeting");
    EXPECT_TRUE(subject.lblPreview.visible);
    EXPECT_EQ(subject.lblPreview.caption, "Would mark 1 of the 1 listed message");
}

TEST(WouldMarkWithoutList, APreviewOfNoListShowsNothing) {
    testing::FakePlatform fake;
    SettingsStore store{fake.platform.settingsFolder};
    TfrmMain main{fake.platform, store, nullptr};
    ListMarkPreview preview(main);
    RuleTable rule(RuleTableKind::Subject);
    rule.setCell(1, 1, "Is blank");
    const MarkCount count = preview.wouldMark(rule);
    EXPECT_EQ(count.listed, 0);
    EXPECT_EQ(count.marked, 0);
}

}  // namespace
}  // namespace quorvel
