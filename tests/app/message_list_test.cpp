#include "app/message_list.h"

#include <fstream>
#include <set>
#include <stdexcept>

#include <gtest/gtest.h>

#include "app/frm_main.h"
#include "config/frm_general.h"
#include "config/frm_options_main.h"
#include "support/fake_platform.h"

namespace quorvel {
namespace {

class NoDomainIsKnown : public DomainResolver {
public:
    void resolveDomain(const std::string& domain) override {
        asked.push_back(domain);
        throw std::runtime_error("no such domain");
    }
    std::vector<std::string> asked;
};

TmsRemoteInfoItem record(std::vector<std::string> headers, int size = 1200) {
    TmsRemoteInfoItem item;
    item.Size = size;
    item.Headers = std::move(headers);
    return item;
}

TEST(DateColumn, ShortDateLongTimeOrTheFieldAsReceived) {
    FormatSettings us = FormatSettings::unitedStates();
    us.shortDateFormat = "M/d/yyyy";  // as widened at start-up
    struct Case {
        const char* field;
        const char* shown;
    } cases[] = {
        {"Tue, 14 Mar 2000 10:20:30 +0100", "3/14/2000 10:20:30 AM"},
        {"Tue, 14 Mar 2000 00:00:00 +0100", "3/14/2000"},
        {"14 Mar 2000 23:05:00 GMT", "3/14/2000 11:05:00 PM"},
        {"next tuesday", "next tuesday"},
        {"Tue, 31 Feb 2000 10:20:30", "Tue, 31 Feb 2000 10:20:30"},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(dateColumnText(c.field, us), c.shown) << c.field;
}

TEST(MessageRowFromRecord, TakesTheHeaderLookUps) {
    const FormatSettings us = FormatSettings::unitedStates();
    struct Case {
        std::vector<std::string> headers;
        const char* subject;
        const char* sender;
        bool subjectUndecodable, senderUndecodable;
    } cases[] = {
        {{"Subject: =?iso-8859-1?Q?Caf=E9?=", "From: Ann Lee <ann@a.example>"}, "Caf\xe9", "ann@a.example", false, false},
        {{"From: bob@b.example (Bob)"}, "", "bob@b.example", false, false},
        {{"From: just-a-name"}, "", "just-a-name", false, false},
        {{"Subject: =?x?B?@@@@?=", "From: =?x?B?@@@@?="}, "", "", true, true},
    };
    for (const Case& c : cases) {
        const MessageRow row = messageRowFromRecord(record(c.headers, 4321), us);
        EXPECT_EQ(row.caption, c.subject);
        EXPECT_EQ(row.sender, c.sender);
        EXPECT_EQ(row.size, "4321");
        EXPECT_EQ(row.date, "");
        EXPECT_EQ(row.stateIndex, Mark::None);
        EXPECT_EQ(row.subjectUndecodable, c.subjectUndecodable);
        EXPECT_EQ(row.senderUndecodable, c.senderUndecodable);
    }
}

class MessageListWindow : public ::testing::Test {
protected:
    MessageListWindow() {
        main.setSpamSettingsWindow(&options);
        main.setDomainResolver(resolver);
        options.rules.options.Valid = false;
        options.rules.SetGridHeadings();
    }

    // Lists a message: the record, then its row, as a check run does.
    void list(std::vector<std::string> headers, int size = 1200) {
        main.msRemotePOP1.RemoteInfo().Add(std::make_unique<TmsRemoteInfoItem>(record(headers, size)));
        main.addMessageRow(main.msRemotePOP1.RemoteInfo().Items(main.msRemotePOP1.RemoteInfo().Count() - 1));
    }
    void setMarks(std::vector<int> marks) {
        main.ListView1.clear();
        for (int mark : marks) {
            main.ListView1.rows.emplace_back();
            main.ListView1.rows.back().stateIndex = mark;
        }
    }
    std::vector<int> marks() const {
        std::vector<int> result;
        for (const MessageRow& row : main.ListView1.rows) result.push_back(row.stateIndex);
        return result;
    }
    std::vector<std::string> shownTexts() const {
        std::vector<std::string> texts;
        for (const auto& shown : fake.dialogs.shown) texts.push_back(shown.text);
        return texts;
    }
    void subjectRule(const std::string& pattern, bool del) {
        RuleTable& t = options.rules.gridSubject;
        int row = t.rowCount();
        if (t.cell(1, 1).empty())
            row = 1;
        else
            t.setRowCount(row + 1);
        const std::string cells[] = {"", "Contains", pattern, "No", del ? "Yes" : "No", "0"};
        for (int col = 0; col < 6; ++col) t.setCell(col, row, cells[col]);
    }

    testing::FakePlatform fake;
    SettingsStore store{fake.platform.settingsFolder};
    TfrmMain main{fake.platform, store, nullptr};
    TfrmOptionsMain options{fake.platform};
    NoDomainIsKnown resolver;

    static constexpr const char* kNoSelection =
        "No messages were selected.  To select one message click on a subject.  To select multiple messages drag "
        "the mouse over the list of desired subjects.";
    static constexpr const char* kEmptyList =
        "Either there are no e-mail messages waiting on the mail server or you have not yet clicked on the "
        "\"Check E-Mail\" button.";
};

TEST_F(MessageListWindow, MarkToggleTable) {
    setMarks({-1, 0, 1, 2, 3, 14, 0, -1});
    for (std::size_t i = 0; i < 6; ++i) main.ListView1.rows[i].selected = true;
    main.btMarkClick();
    EXPECT_EQ(marks(), (std::vector<int>{0, -1, 0, -1, 0, 0, 0, -1}));
    EXPECT_EQ(main.statusPanels[1], "Message Total: 8 Number Marked: 5");
    EXPECT_EQ(fake.sound.calls, std::vector<std::string>{"stop"});
    main.btMarkClick();
    EXPECT_EQ(marks(), (std::vector<int>{-1, 0, -1, 0, -1, -1, 0, -1}));
}

TEST_F(MessageListWindow, NadaSelectedHasATextForAnEmptyListAndOneForNoSelection) {
    main.btMarkClick();
    setMarks({0, -1});
    main.btMarkClick();
    EXPECT_EQ(shownTexts(), (std::vector<std::string>{kEmptyList, kNoSelection}));
    EXPECT_EQ(fake.dialogs.shown.back().kind, MessageKind::Information);
    EXPECT_EQ(marks(), (std::vector<int>{0, -1}));
}

TEST_F(MessageListWindow, PopupCommandsNeedASelection) {
    setMarks({-1});
    for (void (TfrmMain::*command)() : {&TfrmMain::Why1Click, &TfrmMain::AddtoExceptions1Click,
                                        &TfrmMain::AddtoSPAMlist1Click, &TfrmMain::ViewHeader1Click,
                                        &TfrmMain::ViewMessages1Click}) {
        fake.dialogs.shown.clear();
        (main.*command)();
        EXPECT_EQ(shownTexts(), std::vector<std::string>{kNoSelection});
    }
    // Nothing else happened: no viewer, no dialog, no rule, no mark.
    EXPECT_TRUE(fake.dialogs.modalForms.empty());
    EXPECT_EQ(options.rules.gridExcept.cell(2, 1), "");
    EXPECT_EQ(marks(), std::vector<int>{-1});
    EXPECT_EQ(main.Why1.caption, "Why was this e-mail marked?");
    EXPECT_EQ(main.ViewMessages1.caption, "View body of one message");
}

TEST_F(MessageListWindow, ResetClearsEveryMark) {
    setMarks({0, 2, 5, 1});
    main.ResetButtonClick();
    EXPECT_EQ(marks(), (std::vector<int>{-1, -1, -1, -1}));
    EXPECT_EQ(main.statusPanels[1], "Message Total: 4 Number Marked: 0");
}

TEST_F(MessageListWindow, AutoMarkRejudgesEveryRow) {
    subjectRule("cash", true);
    subjectRule("maybe", false);
    list({"Subject: cash now", "From: a@b.example", "X: 1"});
    list({"Subject: hello", "From: c@d.example", "X: 1"});
    list({"Subject: maybe", "From: e@f.example", "X: 1"});
    main.ListView1.rows[1].stateIndex = Mark::Delete;  // marked by hand, reset by auto-mark
    main.btRemarkClick();
    EXPECT_EQ(marks(), (std::vector<int>{0, -1, 1}));
    EXPECT_TRUE(fake.dialogs.shown.empty());
    EXPECT_EQ(main.statusPanels[1], "Message Total: 3 Number Marked: 1");
}

TEST_F(MessageListWindow, AutoMarkWithOnlyQuestionsSaysNothingMatched) {
    subjectRule("maybe", false);
    list({"Subject: maybe", "From: a@b.example", "X: 1"});
    main.btRemarkClick();
    EXPECT_EQ(marks(), std::vector<int>{1});
    EXPECT_EQ(shownTexts(), std::vector<std::string>{"None of the messages matched any of the spam criteria."});
}

TEST_F(MessageListWindow, AnUndecodableFieldLeavesTheOtherRowsJudged) {
    options.rules.options.Valid = true;
    subjectRule("offer", false);
    list({"Subject: offer", "From: =?x?B?@@@@?=", "X: 1"});
    list({"Subject: offer", "From: a@nowhere.example", "X: 1"});
    EXPECT_TRUE(main.ListView1.rows[0].senderUndecodable);
    main.MarkForDeletion(-1);
    EXPECT_EQ(marks(), (std::vector<int>{1, 1}));
    EXPECT_EQ(resolver.asked, std::vector<std::string>{"nowhere.example"});
    EXPECT_EQ(options.edUnknown.text, "1");
}

TEST_F(MessageListWindow, MarkForDeletionJudgesOneRowOrAll) {
    subjectRule("cash", true);
    list({"Subject: cash", "From: a@b.example", "X: 1"});
    list({"Subject: cash", "From: a@b.example", "X: 1"});
    main.MarkForDeletion(1);
    EXPECT_EQ(marks(), (std::vector<int>{-1, 0}));
    main.MarkForDeletion(-1);
    EXPECT_EQ(marks(), (std::vector<int>{0, 0}));
    // A row that already carries the delete mark skips the subject rules.
    EXPECT_EQ(options.rules.gridSubject.cell(5, 1), "2");
}

TEST_F(MessageListWindow, ExplainModeWritesTheMemo) {
    subjectRule("cash", true);
    list({"Subject: cash", "From: a@b.example", "X: 1"});
    main.MarkForDeletion(0);
    EXPECT_TRUE(main.memoWhy.empty());
    main.ExplainMode = true;
    main.MarkForDeletion(0);
    main.whyExcept("Subject", "Contains", "", false);
    main.ExplainMode = false;
    EXPECT_EQ(main.memoWhy,
              (std::vector<std::string>{"Delete   :  Subject Contains \"cash\" ", "Exception :  Subject Contains"}));
    EXPECT_FALSE(main.ExplainException);
    EXPECT_EQ(options.rules.gridSubject.cell(5, 1), "1");
}

TEST_F(MessageListWindow, ServerToIndexFindsTheCheckedMailbox) {
    TfrmGeneral general(fake.platform, store);
    general.edServe[0].text = "pop.a.example";
    general.edName[0].text = "ann";
    general.edServe[2].text = "POP.b.example";
    general.edName[2].text = "Bob";
    EXPECT_EQ(main.serverToIndex(), 0);  // no general settings window yet
    main.setGeneralWindow(&general);
    struct Case {
        const char* server;
        const char* user;
        int mailbox;
    } cases[] = {{"pop.a.example", "ann", 1}, {"pop.B.example", "BOB", 3}, {"pop.b.example", "ann", 0}};
    for (const Case& c : cases) {
        main.msRemotePOP1.Server = c.server;
        main.msRemotePOP1.UserName = c.user;
        EXPECT_EQ(main.serverToIndex(), c.mailbox) << c.server << ' ' << c.user;
    }
    main.setGeneralWindow(nullptr);
}

TEST_F(MessageListWindow, TheCounterOfUnknownDomainsIsSavedWithTheOptions) {
    options.edUnknown.text = "41";
    options.Savesettings();
    TfrmOptionsMain reloaded(fake.platform);
    EXPECT_EQ(reloaded.edUnknown.text, "41");
    EXPECT_EQ(reloaded.caption, "Spam Settings");
}

TEST_F(MessageListWindow, ACorruptRuleFileIsReportedAndTheRestLoads) {
    {
        std::ofstream(fake.platform.programFolder + "/subj.lst") << "nonsense\r\n";
        std::ofstream(fake.platform.programFolder + "/from.lst")
            << "6,2\r\n1,1,Domain name\r\n2,1,Equals\r\n3,1,x.example\r\n4,1,Yes\r\n5,1,0\r\n";
    }
    TfrmOptionsMain loaded(fake.platform);
    ASSERT_EQ(fake.dialogs.shown.size(), 1u);
    EXPECT_EQ(fake.dialogs.shown[0].kind, MessageKind::Error);
    EXPECT_EQ(loaded.rules.gridFrom.cell(3, 1), "x.example");
}

}  // namespace
}  // namespace quorvel
