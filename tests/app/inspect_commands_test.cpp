// The list's inspection commands: why a row got its mark, the header lines
// of the selected rows, the size question before a fetch, and the two
// commands that turn selected rows into rules.
#include <gtest/gtest.h>

#include "app/frm_main.h"
#include "config/frm_mark_for_deletion.h"
#include "config/frm_options_main.h"
#include "platform/files.h"
#include "support/fake_platform.h"
#include "support/scripted_server.h"

namespace quorvel {
namespace {

class InspectCommands : public ::testing::Test {
protected:
    InspectCommands() {
        store.writeBool("General", "Automatic", true);
        main = std::make_unique<TfrmMain>(fake.platform, store, nullptr);
        main->setSpamSettingsWindow(&options);
        options.rules.options.Valid = false;  // no domain look-ups
        options.rules.SetGridHeadings();
        fake.dialogs.onShowModal = [this](Form& form) {
            if (auto* viewer = dynamic_cast<TfrmViewHeader*>(form.name() == "frmViewHeader" ? &form : nullptr)) {
                titles.push_back(viewer->lblTitle.caption);
                viewed.push_back(viewer->lines());
                timerOnWhileShown = main->Timer1->enabled();
            }
            if (form.name() == "frmMarkForDeletion" && onMarkDialog)
                onMarkDialog(static_cast<TfrmMarkForDeletion&>(form));
            return form.modalResult;
        };
    }

    // Lists a message: the record, then its row, as a check run does.
    void list(const std::string& subject, const std::string& from, int size = 1200) {
        auto item = std::make_unique<TmsRemoteInfoItem>();
        item->Size = size;
        item->Headers = {"Subject: " + subject, "From: " + from, "X-Number: " + std::to_string(rows())};
        main->msRemotePOP1.RemoteInfo().Add(std::move(item));
        main->addMessageRow(main->msRemotePOP1.RemoteInfo().Items(rows()));
    }
    int rows() const { return static_cast<int>(main->ListView1.rows.size()); }
    void select(std::initializer_list<int> indexes) {
        for (int i : indexes) main->ListView1.rows[static_cast<std::size_t>(i)].selected = true;
    }
    MessageRow& row(int i) { return main->ListView1.rows[static_cast<std::size_t>(i)]; }
    void subjectRule(const std::string& op, const std::string& pattern, bool del) {
        RuleTable& t = options.rules.gridSubject;
        makeFirstRuleRow(t);
        const std::string cells[] = {"", op, pattern, "No", del ? "Yes" : "No", "0"};
        for (int col = 0; col < 6; ++col) t.setCell(col, 1, cells[col]);
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> result;
        for (const auto& shown : fake.dialogs.shown) result.push_back(shown.text);
        return result;
    }

    testing::FakePlatform fake;
    SettingsStore store{fake.platform.settingsFolder};
    TfrmOptionsMain options{fake.platform};
    std::unique_ptr<TfrmMain> main;
    std::vector<std::string> titles;
    std::vector<std::vector<std::string>> viewed;
    bool timerOnWhileShown = true;
    std::function<void(TfrmMarkForDeletion&)> onMarkDialog;
};

TEST_F(InspectCommands, WhyExplainsTheMarkAndLeavesItAsItWas) {
    struct Case {
        const char* name;
        const char* subject;
        int handMark;  // the row's mark when Why is asked
        std::vector<std::string> reasons;
    } cases[] = {
        {"an exception shows only its own line", "cash now", Mark::FirstException,
         {"Exception :  E-mail address Equals \"friend@a.example\" "}},
        {"marked by hand, no rule fires", "hello", Mark::Delete,
         {"Message was neither on the exception list nor on the list of matching criteria",
          "** You marked this message **"}},
        {"un-marked by hand, a delete rule fires", "cash now", Mark::None,
         {"Delete   :  Subject Contains \"cash\" ", "** You un-marked this message **"}},
        {"a rule without pattern has no quotes", "", Mark::Question,
         {"Question :  Subject Is blank"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake.dialogs.shown.clear();
        viewed.clear();
        titles.clear();
        main->ListView1.clear();
        main->msRemotePOP1.RemoteInfo().Clear();
        options.rules.gridSubject.setRowCount(1);
        options.rules.gridSubject.clearRow(1);
        options.rules.gridExcept.setRowCount(1);
        options.rules.gridExcept.clearRow(1);
        subjectRule("Is blank", "", false);
        subjectRule("Contains", "cash", true);
        main->AddSenderException("friend@a.example");
        list("other", "x@y.example");
        list(c.subject, c.handMark == Mark::FirstException ? "friend@a.example" : "someone@b.example");
        row(1).stateIndex = c.handMark;
        row(1).selected = true;
        fake.sound.calls.clear();

        main->Why1Click();

        std::vector<std::string> memo = {"Message from " + row(1).sender, "Subject of   " + row(1).caption, ""};
        memo.insert(memo.end(), c.reasons.begin(), c.reasons.end());
        ASSERT_EQ(viewed.size(), 1u);
        EXPECT_EQ(viewed[0], memo);
        EXPECT_EQ(main->memoWhy, memo);
        EXPECT_EQ(titles, std::vector<std::string>{"Reasons that e-mail is marked or not marked"});
        EXPECT_EQ(row(1).stateIndex, c.handMark);
        EXPECT_EQ(row(0).stateIndex, Mark::None);
        EXPECT_FALSE(main->ExplainMode);
        // Explaining counts no hits.
        EXPECT_EQ(options.rules.gridSubject.cell(5, 1), "0");
        EXPECT_EQ(options.rules.gridSubject.cell(5, 2), "0");
        EXPECT_TRUE(fake.dialogs.shown.empty());
        EXPECT_EQ(fake.sound.calls, std::vector<std::string>{"stop"});
        EXPECT_FALSE(timerOnWhileShown);
        EXPECT_TRUE(main->Timer1->enabled());  // automatic mode is on
    }
}

TEST_F(InspectCommands, WhyWithSeveralSelectedExplainsTheFirst) {
    list("first", "a@a.example");
    list("second", "b@b.example");
    list("third", "c@c.example");
    select({1, 2});
    store.writeBool("General", "Automatic", false);
    main->Why1Click();
    EXPECT_EQ(texts(), std::vector<std::string>{"You have selected more than one message to view.  Only one message "
                                                "can be viewed at one time.  The first one selected will be displayed."});
    ASSERT_EQ(viewed.size(), 1u);
    EXPECT_EQ(viewed[0][0], "Message from b@b.example");
    EXPECT_FALSE(main->Timer1->enabled());  // automatic mode is off
}

TEST_F(InspectCommands, HeadersOfTheSelectedRowsInRowOrder) {
    for (int i = 0; i < 4; ++i) list("subject " + std::to_string(i), "s" + std::to_string(i) + "@x.example");
    select({3, 0, 2});
    main->ViewHeader1Click();
    const std::string stars(38, '*');
    std::vector<std::string> expected;
    for (int i : {0, 2, 3}) {
        const std::string n = std::to_string(i);
        for (const std::string& line :
             {stars, "Subject : subject " + n + " Sender : s" + n + "@x.example", stars, "Subject: subject " + n,
              "From: s" + n + "@x.example", "X-Number: " + n})
            expected.push_back(line);
    }
    ASSERT_EQ(viewed.size(), 1u);
    EXPECT_EQ(viewed[0], expected);
    EXPECT_EQ(titles, std::vector<std::string>{"Contents of selected e-mail headers"});
    EXPECT_EQ(fake.dialogs.modalForms, std::vector<std::string>{"frmViewHeader"});
    EXPECT_TRUE(main->Timer1->enabled());
}

TEST_F(InspectCommands, OnlyAMessageAbove50000BytesAsksBeforeTheFetch) {
    const std::string question =
        "The message you have selected to view is quite large - 50001 bytes. Are you sure you wish to download and "
        "view it?";
    list("big", "a@a.example", 50001);
    select({0});
    fake.dialogs.answers = {ModalResult::No};
    main->ViewMessages1Click();
    EXPECT_EQ(texts(), std::vector<std::string>{question});
    EXPECT_EQ(fake.dialogs.shown[0].kind, MessageKind::Confirmation);
    EXPECT_EQ(main->msRemotePOP1.RemoteInfo().Items(0).marks, 0);  // nothing was fetched
    EXPECT_TRUE(viewed.empty());
    EXPECT_TRUE(main->Timer1->enabled());

    // Exactly 50000 bytes goes straight to the fetch, which fails here: nobody listens.
    main->ListView1.clear();
    main->msRemotePOP1.RemoteInfo().Clear();
    fake.dialogs.shown.clear();
    list("just small enough", "a@a.example", 50000);
    select({0});
    main->msRemotePOP1.Server = "127.0.0.1:" + std::to_string(testing::unusedPort());
    main->msRemotePOP1.UserName = "joe";
    main->msRemotePOP1.Password = "secret";
    EXPECT_THROW(main->ViewMessages1Click(), std::exception);
    EXPECT_TRUE(texts().empty());
}

TEST_F(InspectCommands, AFailedFetchPutsTheWindowBackAndLeavesNoMark) {
    TfrmRetrieving progress;
    main->setProgressDialog(&progress);
    list("one", "a@a.example");
    list("two", "b@b.example");
    select({1});
    // A mark a failed deletion left behind must not act during a later fetch.
    main->msRemotePOP1.SetDeleteMark(0);
    std::remove(main->messageFileName(1).c_str());
    writeFileAtomically(main->messageFileName(1), "an old copy");
    main->msRemotePOP1.Server = "127.0.0.1:" + std::to_string(testing::unusedPort());
    main->msRemotePOP1.UserName = "joe";
    main->msRemotePOP1.Password = "secret";
    bool disabledDuringFetch = false;
    bool trayMenuOffDuringFetch = false;
    main->msRemotePOP1.OnOpen = [&] {
        disabledDuringFetch = !main->btList.enabled && !main->ViewMessages1.enabled && progress.visible;
        trayMenuOffDuringFetch = !fake.tray.autoPopup;
    };

    EXPECT_THROW(main->ViewMessages1Click(), std::exception);

    EXPECT_TRUE(disabledDuringFetch);
    EXPECT_TRUE(trayMenuOffDuringFetch);
    EXPECT_TRUE(main->btList.enabled);
    EXPECT_TRUE(main->ViewMessages1.enabled);
    EXPECT_FALSE(progress.visible);
    EXPECT_TRUE(fake.tray.autoPopup);
    EXPECT_TRUE(main->Timer1->enabled());
    EXPECT_EQ(main->msRemotePOP1.RemoteInfo().Items(0).marks, 0);
    EXPECT_EQ(main->msRemotePOP1.RemoteInfo().Items(1).marks, 0);
    EXPECT_TRUE(viewed.empty());
    // The old copy is gone: it cannot be shown for a message not fetched.
    EXPECT_FALSE(fileExists(main->messageFileName(1)));
}

TEST_F(InspectCommands, TwoSendersBecomeExceptionsAndOnlyTheirRowsAreJudgedAgain) {
    subjectRule("Contains", "offer", true);
    struct Row {
        const char* subject;
        const char* from;
        bool selected;
        int handMark;  // the mark the user left on the row
        int after;
    } table[] = {
        {"offer", "ann@a.example", true, Mark::Delete, 3},
        {"offer", "bob@b.example", false, Mark::None, Mark::None},  // un-marked by hand: stays so
        {"offer", "cid@c.example", true, Mark::None, 3},
        {"hello", "dan@d.example", false, Mark::Delete, Mark::Delete},  // marked by hand: stays so
        {"offer", "ANN@A.example", false, Mark::None, 3},  // the same sender in other letters
        {"offer", "ann@a.example.net", false, Mark::None, Mark::None},
        {"hello", "eve@e.example", false, Mark::Question, Mark::Question},
    };
    for (const Row& r : table) {
        list(r.subject, r.from);
        row(rows() - 1).stateIndex = r.handMark;
        row(rows() - 1).selected = r.selected;
    }
    main->AddtoExceptions1Click();

    const RuleTable& except = options.rules.gridExcept;
    ASSERT_EQ(except.ruleCount(), 2);
    for (int r = 1; r <= 2; ++r) {
        EXPECT_EQ(except.cell(0, r), "E-mail address");
        EXPECT_EQ(except.cell(1, r), "Equals");
        EXPECT_EQ(except.cell(6, r), "3");
    }
    EXPECT_EQ(except.cell(2, 1), "ann@a.example");
    EXPECT_EQ(except.cell(2, 2), "cid@c.example");
    for (std::size_t i = 0; i < std::size(table); ++i)
        EXPECT_EQ(main->ListView1.rows[i].stateIndex, table[i].after) << table[i].from;
    EXPECT_EQ(main->statusPanels[1], "Message Total: 7 Number Marked: 1");
    EXPECT_TRUE(fake.dialogs.shown.empty());

    TfrmOptionsMain saved(fake.platform);
    ASSERT_EQ(saved.rules.gridExcept.ruleCount(), 2);
    EXPECT_EQ(saved.rules.gridExcept.cell(2, 2), "cid@c.example");
}

TEST_F(InspectCommands, AnExceptionForASenderIsAddedOnce) {
    list("one", "ann@a.example");
    list("two", "ann@a.example");
    list("three", "Ann@A.example");
    list("four", "bob@b.example");
    select({0, 1, 2});
    main->AddtoExceptions1Click();
    const RuleTable& except = options.rules.gridExcept;
    ASSERT_EQ(except.ruleCount(), 1);
    EXPECT_EQ(except.cell(2, 1), "ann@a.example");

    // Asked again, with another sender beside: only the new one is added.
    select({3});
    main->AddtoExceptions1Click();
    ASSERT_EQ(except.ruleCount(), 2);
    EXPECT_EQ(except.cell(2, 2), "bob@b.example");
    for (int i = 0; i < 4; ++i) EXPECT_EQ(row(i).stateIndex, Mark::FirstException) << i;
    TfrmOptionsMain saved(fake.platform);
    EXPECT_EQ(saved.rules.gridExcept.ruleCount(), 2);
}

TEST_F(InspectCommands, SelectedMessagesBecomeDeleteRulesThroughTheDialog) {
    subjectRule("Contains", "older rule", false);
    list("Cheap pills", "pills@spam.example");
    list("hello", "friend@a.example");
    list("Win big", "win@spam.example");
    select({0, 2});
    std::vector<std::array<std::string, 2>> shownRows;
    onMarkDialog = [&](TfrmMarkForDeletion& dialog) {
        shownRows.assign(dialog.StringGrid1.begin(), dialog.StringGrid1.begin() + 4);
        dialog.btOKClick();
    };
    main->AddtoSPAMlist1Click();

    EXPECT_EQ(shownRows, (std::vector<std::array<std::string, 2>>{{"Subject", "From"},
                                                                  {"Cheap pills", "pills@spam.example"},
                                                                  {"Win big", "win@spam.example"},
                                                                  {"", ""}}));
    const RuleTable& subjects = options.rules.gridSubject;
    ASSERT_EQ(subjects.ruleCount(), 3);
    EXPECT_EQ(subjects.cell(2, 1), "Win big");
    EXPECT_EQ(subjects.cell(2, 2), "Cheap pills");
    EXPECT_EQ(subjects.cell(2, 3), "older rule");
    std::vector<int> marks;
    for (const MessageRow& r : main->ListView1.rows) marks.push_back(r.stateIndex);
    EXPECT_EQ(marks, (std::vector<int>{0, -1, 0}));
    TfrmOptionsMain saved(fake.platform);
    EXPECT_EQ(saved.rules.gridFrom.cell(3, 1), "win@spam.example");

}

// The new rules concern the rows of their subjects and senders: only those
// are judged again, and a cancelled dialog touches no mark at all.
TEST_F(InspectCommands, SpamListRulesJudgeOnlyTheRowsTheyConcern) {
    subjectRule("Contains", "offer", true);
    struct Row {
        const char* subject;
        const char* from;
        bool selected;
        int handMark;
        int afterOk;
    } table[] = {
        {"Cheap pills", "pills@spam.example", true, Mark::None, Mark::Delete},
        {"offer", "bob@b.example", false, Mark::None, Mark::None},        // un-marked by hand: stays so
        {"hello", "dan@d.example", false, Mark::Delete, Mark::Delete},    // marked by hand: stays so
        {"hello", "eve@e.example", false, Mark::Question, Mark::Question},
        {"Cheap pills", "other@o.example", false, Mark::None, Mark::Delete},  // the same subject
        {"cheap pills", "ann@a.example", false, Mark::None, Mark::None},     // subjects match in case
        {"news", "PILLS@spam.example", false, Mark::Question, Mark::Delete},  // the same sender
        {"", "nosubject@n.example", true, Mark::Question, Mark::Question},   // gives no rule
    };
    const auto listTable = [&] {
        main->ListView1.clear();
        main->msRemotePOP1.RemoteInfo().Clear();
        for (const Row& r : table) {
            list(r.subject, r.from);
            row(rows() - 1).stateIndex = r.handMark;
            row(rows() - 1).selected = r.selected;
        }
    };
    const auto marks = [&] {
        std::vector<int> result;
        for (const MessageRow& r : main->ListView1.rows) result.push_back(r.stateIndex);
        return result;
    };

    listTable();
    onMarkDialog = [](TfrmMarkForDeletion& dialog) { dialog.btCancelClick(); };
    main->AddtoSPAMlist1Click();
    std::vector<int> handMarks;
    for (const Row& r : table) handMarks.push_back(r.handMark);
    EXPECT_EQ(marks(), handMarks);
    EXPECT_EQ(options.rules.gridSubject.ruleCount(), 1);
    EXPECT_TRUE(texts().empty());

    onMarkDialog = [](TfrmMarkForDeletion& dialog) { dialog.btOKClick(); };
    main->AddtoSPAMlist1Click();
    std::vector<int> expected;
    for (const Row& r : table) expected.push_back(r.afterOk);
    EXPECT_EQ(marks(), expected);
    EXPECT_EQ(main->statusPanels[1], "Message Total: 8 Number Marked: 4");
    EXPECT_TRUE(texts().empty());

    // With only the sender rules asked for, a subject concerns no row.
    listTable();
    onMarkDialog = [](TfrmMarkForDeletion& dialog) {
        dialog.cbSubject.checked = false;
        dialog.btOKClick();
    };
    main->AddtoSPAMlist1Click();
    EXPECT_EQ(row(4).stateIndex, Mark::None);
    EXPECT_EQ(row(6).stateIndex, Mark::Delete);
}

TEST_F(InspectCommands, OnlyThe249FirstSelectedMessagesFitTheDialog) {
    for (int i = 0; i < 260; ++i) list("subject " + std::to_string(i), "s@x.example");
    for (MessageRow& r : main->ListView1.rows) r.selected = true;
    onMarkDialog = [](TfrmMarkForDeletion& dialog) {
        dialog.cbFrom.checked = false;
        dialog.btOKClick();
    };
    main->AddtoSPAMlist1Click();
    const RuleTable& subjects = options.rules.gridSubject;
    ASSERT_EQ(subjects.ruleCount(), 249);
    EXPECT_EQ(subjects.cell(2, 1), "subject 248");
    EXPECT_EQ(subjects.cell(2, 249), "subject 0");
    EXPECT_EQ(options.rules.gridFrom.cell(3, 1), "");
}

TEST_F(InspectCommands, SpamSettingsShowModallyWithTheTimerStoppedAndLeaveItAsItWas) {
    std::vector<bool> timerWhileShown;
    fake.dialogs.onShowModal = [&](Form& form) {
        if (&form == &options) timerWhileShown.push_back(main->Timer1->enabled());
        return ModalResult::Cancel;
    };
    for (bool on : {true, false}) {
        main->Timer1->setEnabled(on);
        fake.sound.calls.clear();
        main->btSpamSetupClick();
        EXPECT_EQ(main->Timer1->enabled(), on);
        EXPECT_EQ(fake.sound.calls, std::vector<std::string>{"stop"});
    }
    EXPECT_EQ(timerWhileShown, (std::vector<bool>{false, false}));
    EXPECT_EQ(fake.dialogs.modalForms, (std::vector<std::string>{"frmOptionsMain", "frmOptionsMain"}));
    EXPECT_TRUE(texts().empty());
}

}  // namespace
}  // namespace quorvel
