#include "config/frm_mark_for_deletion.h"

#include <gtest/gtest.h>

#include "support/fake_platform.h"

namespace quorvel {
namespace {

class MarkForDeletion : public ::testing::Test {
protected:
    testing::FakePlatform fake;
    TfrmOptionsMain options{fake.platform};
    TfrmMarkForDeletion dialog{options};

    std::vector<std::string> row(const RuleTable& table, int r) const {
        std::vector<std::string> cells;
        for (int col = 1; col <= 5; ++col) cells.push_back(table.cell(col, r));
        return cells;
    }
};

TEST_F(MarkForDeletion, StartsWithBothBoxesSetAndWritesItsHeadingsWhenShown) {
    EXPECT_EQ(dialog.caption, "Mark e-mail for deletion");
    EXPECT_TRUE(dialog.cbFrom.checked);
    EXPECT_TRUE(dialog.cbSubject.checked);
    EXPECT_EQ(dialog.StringGrid1.size(), 250u);
    dialog.FormShow();
    EXPECT_EQ(dialog.StringGrid1[0], (std::array<std::string, 2>{"Subject", "From"}));
    EXPECT_FALSE(dialog.setMessage(0, "heading", "row"));
    EXPECT_TRUE(dialog.setMessage(249, "last", "row"));
    EXPECT_FALSE(dialog.setMessage(250, "beyond", "the table"));
    EXPECT_EQ(dialog.StringGrid1[0][0], "Subject");
}

TEST_F(MarkForDeletion, EachMessagesRulesGoFirstAndAreSaved) {
    RuleTable& subjects = options.rules.gridSubject;
    const std::string older[] = {"", "Contains", "older", "No", "No", "7"};
    for (int col = 0; col < 6; ++col) subjects.setCell(col, 1, older[col]);
    dialog.setMessage(1, "First offer", "one@spam.example");
    dialog.setMessage(2, "Second offer", "two@spam.example");
    dialog.btOKClick();

    using Cells = std::vector<std::string>;
    ASSERT_EQ(subjects.ruleCount(), 3);
    EXPECT_EQ(row(subjects, 1), (Cells{"Equals", "Second offer", "Yes", "Yes", "1"}));
    EXPECT_EQ(row(subjects, 2), (Cells{"Equals", "First offer", "Yes", "Yes", "1"}));
    EXPECT_EQ(row(subjects, 3), (Cells{"Contains", "older", "No", "No", "7"}));
    EXPECT_EQ(subjects.image(1), kImageCheck);
    // An empty sender table gets no empty row left over below the new rules.
    const RuleTable& senders = options.rules.gridFrom;
    ASSERT_EQ(senders.ruleCount(), 2);
    EXPECT_EQ(row(senders, 1), (Cells{"E-mail address", "Equals", "two@spam.example", "Yes", "1"}));
    EXPECT_EQ(row(senders, 2), (Cells{"E-mail address", "Equals", "one@spam.example", "Yes", "1"}));
    EXPECT_EQ(senders.image(2), kImageCheck);
    EXPECT_EQ(dialog.modalResult, ModalResult::Ok);

    TfrmOptionsMain saved(fake.platform);
    EXPECT_EQ(row(saved.rules.gridSubject, 1), row(subjects, 1));
    EXPECT_EQ(row(saved.rules.gridFrom, 2), row(senders, 2));
}

TEST_F(MarkForDeletion, TheBoxesChooseTheTablesAndAnEmptySubjectAddsNothing) {
    struct Case {
        bool subject, from;
        int subjectRules, senderRules;
    } cases[] = {{true, true, 2, 2}, {true, false, 2, 0}, {false, true, 0, 2}, {false, false, 0, 0}};
    for (const Case& c : cases) {
        testing::FakePlatform local;
        TfrmOptionsMain opts(local.platform);
        TfrmMarkForDeletion d(opts);
        d.cbSubject.checked = c.subject;
        d.cbFrom.checked = c.from;
        d.setMessage(1, "one", "a@x.example");
        d.setMessage(2, "", "no-subject@x.example");
        d.setMessage(4, "four", "b@x.example");  // rows after a gap still count
        d.btOKClick();
        const auto count = [](const RuleTable& t) { return t.cell(1, 1).empty() ? 0 : t.ruleCount(); };
        EXPECT_EQ(count(opts.rules.gridSubject), c.subjectRules) << c.subject << c.from;
        EXPECT_EQ(count(opts.rules.gridFrom), c.senderRules) << c.subject << c.from;
        for (int r = 1; r <= opts.rules.gridFrom.ruleCount(); ++r)
            EXPECT_NE(opts.rules.gridFrom.cell(3, r), "no-subject@x.example");
    }
}

TEST_F(MarkForDeletion, CancelLeavesTheTablesAlone) {
    dialog.setMessage(1, "offer", "a@x.example");
    const auto before = options.rules.gridSubject.revision();
    dialog.btCancelClick();
    EXPECT_EQ(dialog.modalResult, ModalResult::Cancel);
    EXPECT_EQ(options.rules.gridSubject.revision(), before);
    EXPECT_EQ(options.rules.gridFrom.cell(3, 1), "");
}

}  // namespace
}  // namespace quorvel
