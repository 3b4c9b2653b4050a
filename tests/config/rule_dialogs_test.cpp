#include "config/rule_dialogs.h"

#include <gtest/gtest.h>

#include "config/spam_rules.h"
#include "support/fake_platform.h"

namespace quorvel {
namespace {

using Cells = std::vector<std::string>;

// The cells of a row, from column `from` to the last.
Cells rowCells(const RuleTable& table, int row, int from = 0) {
    Cells cells;
    for (int col = from; col < table.colCount(); ++col) cells.push_back(table.cell(col, row));
    return cells;
}

void setRow(RuleTable& table, int row, const Cells& cells) {
    for (int col = 0; col < static_cast<int>(cells.size()); ++col) table.setCell(col, row, cells[static_cast<std::size_t>(col)]);
}

class RuleDialogsTest : public ::testing::Test {
protected:
    testing::FakePlatform fake;
    SettingsStore store{fake.platform.settingsFolder};
    TfrmGeneral general{fake.platform, store};
    RuleDialogs dialogs{fake.platform.dialogs, &general};

    // OK refused: the error shown, the focus asked for, the dialog still open.
    void expectRefused(RuleDialog& dialog, const std::string& text, const std::string& field) {
        fake.dialogs.shown.clear();
        const unsigned requests = dialog.focusRequests;
        dialog.btOKClick();
        EXPECT_EQ(dialog.focusRequests, requests + 1) << text;
        ASSERT_EQ(fake.dialogs.shown.size(), 1u) << text;
        EXPECT_EQ(fake.dialogs.shown[0].kind, MessageKind::Error);
        EXPECT_EQ(fake.dialogs.shown[0].text, text);
        EXPECT_EQ(dialog.focusedControl, field) << text;
        EXPECT_EQ(dialog.modalResult, ModalResult::None) << text;
    }
    void expectAccepted(RuleDialog& dialog) {
        fake.dialogs.shown.clear();
        dialog.btOKClick();
        EXPECT_TRUE(fake.dialogs.shown.empty()) << (fake.dialogs.shown.empty() ? "" : fake.dialogs.shown[0].text);
        EXPECT_EQ(dialog.modalResult, ModalResult::Ok);
    }
    // The row a dialog writes into a fresh table.
    static RuleTable written(const RuleDialog& dialog) {
        RuleTable table(dialog.kind());
        dialog.writeRow(table, 1);
        return table;
    }
    // Picks a country in the picker the next time it is shown.
    void pickCountry(const std::string& code, bool confirm = true) {
        fake.dialogs.onShowModal = [this, code, confirm](Form& form) {
            auto& picker = static_cast<TfrmInternet&>(form);
            EXPECT_EQ(picker.ListBox1.itemIndex, 0);
            for (std::size_t i = 0; i < picker.ListBox1.items.size(); ++i)
                if (picker.ListBox1.items[i].rfind(code + "\t", 0) == 0) picker.ListBox1.itemIndex = static_cast<int>(i);
            confirm ? picker.btOKClick() : picker.btCancelClick();
            return picker.modalResult;
        };
    }
};

// ---- Subject ----

TEST_F(RuleDialogsTest, SubjectDialogControlsAndNewRuleDefaults) {
    TfrmOptionsSubject& d = dialogs.frmOptionsSubject;
    EXPECT_EQ(d.caption, "Subject line options");
    EXPECT_EQ(d.name(), "frmOptionsSubject");
    EXPECT_EQ(d.cbWhat.items, (Cells{"Contains", "Contains (whole word)", "Equals (exact match)", "Starts with",
                                     "Ends with", "Is blank or empty", "Is all UPPERCASE"}));
    ASSERT_EQ(d.edit1.items.size(), 44u);
    EXPECT_EQ(d.edit1.items.front(), "!!");
    EXPECT_EQ(d.edit1.items[24], "MLM");
    EXPECT_EQ(d.edit1.items[25], "mlm");
    EXPECT_EQ(d.edit1.items.back(), "XXX");
    EXPECT_EQ(d.cbCase.caption, "&Check if case matters (upper/lower)");

    d.cbWhat.itemIndex = 3;
    d.edit1Change("left over");
    d.rbQuestionClick();
    d.newRule();
    EXPECT_EQ(d.cbWhat.itemIndex, 0);
    EXPECT_EQ(d.edit1.text, "");
    EXPECT_TRUE(d.rbCheck.checked);
    EXPECT_FALSE(d.rbQuestion.checked);
    EXPECT_TRUE(d.edit1.visible);
    EXPECT_EQ(d.modalResult, ModalResult::None);
}

TEST_F(RuleDialogsTest, SubjectPatternAndCaseShowOnlyForThePatternOperators) {
    TfrmOptionsSubject& d = dialogs.frmOptionsSubject;
    for (int op = 0; op < TfrmOptionsSubject::kOperators; ++op) {
        d.cbWhat.itemIndex = op;
        d.cbWhatClick();
        EXPECT_EQ(d.edit1.visible, op <= 4) << op;
        EXPECT_EQ(d.cbCase.visible, op <= 4) << op;
    }
}

TEST_F(RuleDialogsTest, SubjectRowsFillTheDialogAndComeBackAsWritten) {
    struct Case {
        Cells row;        // columns 0 to 5
        int op;           // the operator shown
        bool caseBox, check;
        Cells written;    // columns 1 to 5 after OK
    } cases[] = {
        {{"", "Contains (whole word)", "free", "No", "Yes", "0"}, 1, false, true,
         {"Contains (whole word)", "free", "No", "Yes", "0"}},
        {{"", "Equals", "Hello", "Yes", "No", "17"}, 2, true, false, {"Equals", "Hello", "Yes", "No", "17"}},
        {{"", "Ends with", "!!", "", "Maybe", ""}, 4, false, false, {"Ends with", "!!", "No", "No", "0"}},
        // The character tests keep no pattern and no case flag.
        {{"", "Is UPPERCASE", "", "", "Yes", "3"}, 6, false, true, {"Is UPPERCASE", "", "", "Yes", "3"}},
        {{"", "Is blank", "stale", "Yes", "Yes", "2"}, 5, true, true, {"Is blank", "", "", "Yes", "2"}},
    };
    for (const Case& c : cases) {
        RuleTable table(RuleTableKind::Subject);
        setRow(table, 1, c.row);
        TfrmOptionsSubject& d = dialogs.frmOptionsSubject;
        d.fillFromRow(table, 1);
        EXPECT_EQ(d.cbWhat.itemIndex, c.op) << c.row[1];
        EXPECT_EQ(d.edit1.text, c.row[2]);
        EXPECT_EQ(d.cbCase.checked, c.caseBox) << c.row[1];
        EXPECT_EQ(d.rbCheck.checked, c.check) << c.row[1];
        EXPECT_EQ(d.rbQuestion.checked, !c.check) << c.row[1];
        expectAccepted(d);
        d.writeRow(table, 1);
        EXPECT_EQ(rowCells(table, 1, 1), c.written) << c.row[1];
        EXPECT_EQ(table.image(1), c.check ? kImageCheck : kImageQuestion) << c.row[1];
    }
}

TEST_F(RuleDialogsTest, SubjectOkRefusesABlankPatternForThePatternOperatorsOnly) {
    TfrmOptionsSubject& d = dialogs.frmOptionsSubject;
    for (int op = 0; op < TfrmOptionsSubject::kOperators; ++op) {
        for (const char* pattern : {"", "   ", " \r\n\b"}) {
            d.newRule();
            d.cbWhat.itemIndex = op;
            d.cbWhatClick();
            d.edit1Change(pattern);
            if (op <= 4) {
                expectRefused(d, TfrmOptionsSubject::kBlankPattern, "edit1");
            } else {
                expectAccepted(d);
            }
        }
    }
    // A tab is not blank.
    d.newRule();
    d.edit1Change("\t");
    expectAccepted(d);
}

TEST_F(RuleDialogsTest, SubjectIsBlankWithAnEmptyPatternStoresEmptyColumns) {
    TfrmOptionsSubject& d = dialogs.frmOptionsSubject;
    d.newRule();
    d.cbWhat.itemIndex = 5;
    d.cbWhatClick();
    EXPECT_FALSE(d.edit1.visible);
    expectAccepted(d);
    EXPECT_EQ(rowCells(written(d), 1, 1), (Cells{"Is blank", "", "", "Yes", "0"}));
}

TEST_F(RuleDialogsTest, SubjectOkTrimsThePattern) {
    TfrmOptionsSubject& d = dialogs.frmOptionsSubject;
    d.newRule();
    d.edit1Change(" \t free  offer\r\n");
    expectAccepted(d);
    EXPECT_EQ(d.edit1.text, "free  offer");
    EXPECT_EQ(written(d).cell(2, 1), "free  offer");
}

// ---- Sender ----

TEST_F(RuleDialogsTest, SenderDialogControlsAndNewRuleDefaults) {
    TfrmOptionsFROM& d = dialogs.frmOptionsFROM;
    EXPECT_EQ(d.caption, "Sender characteristics");
    EXPECT_EQ(d.cbDomain.items, (Cells{"E-mail address", "Domain name"}));
    ASSERT_EQ(d.cbWhat.items.size(), 10u);
    EXPECT_EQ(d.cbWhat.items[7], "Is ALL numeric");
    EXPECT_EQ(d.cbWhat.items[8], "Is at least 1/2 numeric");
    EXPECT_EQ(d.cbWhat.items[9], "Starts with a number");
    ASSERT_EQ(d.edit1.items.size(), 54u);
    EXPECT_EQ(d.edit1.items.front(), "bigbucks");
    EXPECT_EQ(d.edit1.items[44], "selective.marketing");
    EXPECT_EQ(d.edit1.items.back(), "xxx");
    EXPECT_EQ(d.btCountry.caption, "Block out a country");

    RuleTable table(RuleTableKind::Sender);
    setRow(table, 1, {"", "E-mail address", "Contains", "x", "No", "4"});
    d.fillFromRow(table, 1);
    EXPECT_FALSE(d.btCountry.visible);
    d.newRule();
    EXPECT_EQ(d.cbWhat.itemIndex, 2);
    EXPECT_EQ(d.cbDomain.itemIndex, 1);
    EXPECT_TRUE(d.rbCheck.checked);
    EXPECT_TRUE(d.btCountry.visible);
    EXPECT_EQ(d.lblCountry.caption, "");
    EXPECT_EQ(d.edit1.text, "");
}

TEST_F(RuleDialogsTest, SenderRowsFillTheDialogAndComeBackAsWritten) {
    struct Case {
        Cells row;
        int what, op;
        const char* pattern;  // shown
        bool check;
        Cells written;
    } cases[] = {
        {{"", "E-mail address", "Equals", "a@b.example", "Yes", "5"}, 0, 2, "a@b.example", true,
         {"E-mail address", "Equals", "a@b.example", "Yes", "5"}},
        {{"", "Domain name", "Ends with", ".ru", "No", ""}, 1, 4, ".ru", false,
         {"Domain name", "Ends with", ".ru", "No", "0"}},
        // Anything but "E-mail address" is a domain rule.
        {{"", "", "Contains", "x", "Yes", "1"}, 1, 0, "x", true, {"Domain name", "Contains", "x", "Yes", "1"}},
        // The character operators keep no pattern.
        {{"", "E-mail address", "All numeric", "stale", "Yes", "9"}, 0, 7, "", true,
         {"E-mail address", "All numeric", "", "Yes", "9"}},
        {{"", "Domain name", "First char numeric", "", "No", "0"}, 1, 9, "", false,
         {"Domain name", "First char numeric", "", "No", "0"}},
    };
    for (const Case& c : cases) {
        RuleTable table(RuleTableKind::Sender);
        setRow(table, 1, c.row);
        TfrmOptionsFROM& d = dialogs.frmOptionsFROM;
        d.fillFromRow(table, 1);
        EXPECT_EQ(d.cbDomain.itemIndex, c.what) << c.row[2];
        EXPECT_EQ(d.cbWhat.itemIndex, c.op) << c.row[2];
        EXPECT_EQ(d.edit1.text, c.pattern) << c.row[2];
        EXPECT_EQ(d.edit1.visible, c.op <= 4) << c.row[2];
        EXPECT_EQ(d.rbCheck.checked, c.check) << c.row[2];
        expectAccepted(d);
        d.writeRow(table, 1);
        EXPECT_EQ(rowCells(table, 1, 1), c.written) << c.row[2];
        EXPECT_EQ(table.image(1), c.check ? kImageCheck : kImageQuestion);
    }
}

TEST_F(RuleDialogsTest, SenderOkRefusesABlankShownPatternAndEmptiesAHiddenOne) {
    TfrmOptionsFROM& d = dialogs.frmOptionsFROM;
    for (int op = 0; op < TfrmOptionsFROM::kOperators; ++op) {
        for (const char* pattern : {"", "  \r\n"}) {
            d.newRule();
            d.cbWhat.itemIndex = op;
            d.cbWhatClick();
            d.edit1Change(pattern);
            if (op <= 4) {
                expectRefused(d, "The Sender field cannot be left blank.", "edit1");
            } else {
                expectAccepted(d);
                EXPECT_EQ(d.edit1.text, "");
            }
        }
    }
    d.newRule();
    d.cbWhat.itemIndex = 8;
    d.cbWhatClick();
    d.edit1Change("hidden text");
    expectAccepted(d);
    EXPECT_EQ(d.edit1.text, "");
    d.newRule();
    d.edit1Change("  spam.example \r\n");
    expectAccepted(d);
    EXPECT_EQ(d.edit1.text, "spam.example");
}

TEST_F(RuleDialogsTest, SenderCountryPickerMakesADomainRuleEndingInTheSuffix) {
    TfrmOptionsFROM& d = dialogs.frmOptionsFROM;
    d.newRule();
    d.cbDomain.itemIndex = 0;
    d.cbWhat.itemIndex = 7;
    d.cbWhatClick();
    pickCountry("DE");
    d.btCountryClick();
    EXPECT_EQ(fake.dialogs.modalForms, Cells{"frmInternet"});
    EXPECT_EQ(d.lblCountry.caption, "Germany");
    EXPECT_TRUE(d.edit1.visible);
    expectAccepted(d);
    const RuleTable table = written(d);
    EXPECT_EQ(rowCells(table, 1, 1), (Cells{"Domain name", "Ends with", ".DE", "Yes", "0"}));

    // A cancelled pick changes nothing.
    d.newRule();
    d.edit1Change("kept");
    pickCountry("FR", false);
    d.btCountryClick();
    EXPECT_EQ(d.edit1.text, "kept");
    EXPECT_EQ(d.cbWhat.itemIndex, 2);
    EXPECT_EQ(d.lblCountry.caption, "");
}

// ---- Header ----

TEST_F(RuleDialogsTest, HeaderDialogControlsAndNewRuleDefaults) {
    TfrmHeaders& d = dialogs.frmHeaders;
    EXPECT_EQ(d.caption, "Header characteristics");
    EXPECT_EQ(d.cbWhat.items.size(), 5u);
    ASSERT_EQ(d.cbHeader.items.size(), 15u);
    EXPECT_EQ(d.cbHeader.items[4], "X-Distribution: Bulk");
    EXPECT_EQ(d.cbHeader.items.back(), "X-Sender: News Breaker");
    general.edServe[1].text = "pop.two.example";
    general.edName[1].text = "ann";
    general.edServe[4].text = "pop.five.example";
    general.edName[4].text = "bob";
    d.newRule();
    EXPECT_TRUE(d.rbHeader.checked);
    EXPECT_FALSE(d.rbTo.checked || d.rbReplyTomatch.checked || d.rbFromEqualsTo.checked);
    EXPECT_EQ(d.cbWhat.itemIndex, 0);
    EXPECT_EQ(d.cbHeader.text, "X-1");
    EXPECT_TRUE(d.rbCheck.checked);
    EXPECT_TRUE(d.btCountry.visible);
    EXPECT_EQ(d.cbMailBox.items, (Cells{"2) ann - server pop.two.example", "5) bob - server pop.five.example"}));
    EXPECT_EQ(d.cbMailBox.itemIndex, 0);
}

TEST_F(RuleDialogsTest, HeaderShowsOnlyTheControlsOfTheChosenForm) {
    TfrmHeaders& d = dialogs.frmHeaders;
    d.newRule();
    struct Case {
        Control* option;
        bool header, to;
    } cases[] = {{&d.rbReplyTomatch, false, false}, {&d.rbTo, false, true}, {&d.rbFromEqualsTo, false, false},
                 {&d.rbHeader, true, false}};
    for (const Case& c : cases) {
        d.chooseForm(*c.option);
        EXPECT_TRUE(c.option->checked) << c.option->caption;
        for (Control* control : {&d.cbWhat, &d.cbHeader, &d.cbCase, &d.lblCountry})
            EXPECT_EQ(control->visible, c.header) << c.option->caption;
        for (Control* control : {&d.edTo, &d.cbMailBox, &d.lblMailBox}) EXPECT_EQ(control->visible, c.to) << c.option->caption;
        EXPECT_TRUE(d.rbCheck.visible && d.btCountry.visible);
    }
}

TEST_F(RuleDialogsTest, HeaderOkRefusesAnEmptyHeaderTextOrToAddressOnly) {
    TfrmHeaders& d = dialogs.frmHeaders;
    d.newRule();
    d.cbHeaderChange("");
    expectRefused(d, "The header text cannot be blank", "cbHeader");
    d.chooseForm(d.rbTo);
    expectRefused(d, "The TO field cannot be blank", "edTo");
    d.chooseForm(d.rbReplyTomatch);
    expectAccepted(d);
    d.newRule();
    d.chooseForm(d.rbFromEqualsTo);
    expectAccepted(d);
    // Neither text is trimmed: spaces are a header text like any other.
    d.newRule();
    d.cbHeaderChange("   ");
    expectAccepted(d);
    EXPECT_EQ(rowCells(written(d), 1, 1), (Cells{"Contains", "   ", "No", "Yes", "0"}));
}

TEST_F(RuleDialogsTest, HeaderRowsOfEveryFormFillTheDialogAndComeBackAsWritten) {
    general.edServe[0].text = "pop.one.example";
    general.edName[0].text = "me";
    general.edServe[4].text = "pop.five.example";
    general.edName[4].text = "you";
    TfrmHeaders& d = dialogs.frmHeaders;
    struct Case {
        Cells row;
        Control* form;
        const char* header;  // cbHeader
        const char* to;      // edTo
        int mailbox;         // cbMailBox index
        Cells written;
    } cases[] = {
        {{"", "Contains", "X-Mailer: Floodgate", "Yes", "No", "8"}, &d.rbHeader, "X-Mailer: Floodgate", "", 0,
         {"Contains", "X-Mailer: Floodgate", "Yes", "No", "8"}},
        {{"", "Sender", "does not match Reply-to", "No", "Yes", "2"}, &d.rbReplyTomatch, "", "", 0,
         {"Sender", "does not match Reply-to", "No", "Yes", "2"}},
        {{"", "Sender", "equals To field", "No", "No", "0"}, &d.rbFromEqualsTo, "", "", 0,
         {"Sender", "equals To field", "No", "No", "0"}},
        {{"", "To does not contain", "me@five.example - MailBox #5", "No", "Yes", "1"}, &d.rbTo, "",
         "me@five.example", 1, {"To does not contain", "me@five.example - MailBox #5", "No", "Yes", "1"}},
        {{"", "To does not contain", "me@one.example - MailBox #1", "No", "Yes", ""}, &d.rbTo, "", "me@one.example", 0,
         {"To does not contain", "me@one.example - MailBox #1", "No", "Yes", "0"}},
    };
    for (const Case& c : cases) {
        RuleTable table(RuleTableKind::Header);
        setRow(table, 1, c.row);
        d.fillFromRow(table, 1);
        EXPECT_TRUE(c.form->checked) << c.row[2];
        EXPECT_FALSE(d.btCountry.visible);
        EXPECT_EQ(d.cbHeader.text, c.header) << c.row[2];
        EXPECT_EQ(d.edTo.text, c.to) << c.row[2];
        if (c.form == &d.rbTo) {
            EXPECT_EQ(d.cbMailBox.itemIndex, c.mailbox) << c.row[2];
        }
        expectAccepted(d);
        d.writeRow(table, 1);
        EXPECT_EQ(rowCells(table, 1, 1), c.written) << c.row[2];
    }
}

TEST_F(RuleDialogsTest, MailboxFiveRuleRoundTrips) {
    for (int n : {1, 3, 5}) {
        general.edServe[static_cast<std::size_t>(n - 1)].text = "pop" + std::to_string(n) + ".example";
        general.edName[static_cast<std::size_t>(n - 1)].text = "user" + std::to_string(n);
    }
    TfrmHeaders& d = dialogs.frmHeaders;
    d.newRule();
    d.chooseForm(d.rbTo);
    d.edToChange("me@home.example");
    d.cbMailBoxClick(2);
    EXPECT_EQ(d.cbMailBox.items[2], "5) user5 - server pop5.example");
    expectAccepted(d);
    RuleTable table(RuleTableKind::Header);
    d.writeRow(table, 1);
    EXPECT_EQ(table.cell(1, 1), "To does not contain");
    EXPECT_EQ(table.cell(2, 1), "me@home.example - MailBox #5");

    d.newRule();
    d.fillFromRow(table, 1);
    EXPECT_TRUE(d.rbTo.checked);
    EXPECT_EQ(d.edTo.text, "me@home.example");
    ASSERT_EQ(d.cbMailBox.itemIndex, 2);
    EXPECT_EQ(d.cbMailBox.items[2].substr(0, 2), "5)");

    // A suffix typed into the address is replaced, not doubled.
    d.edToChange("me@home.example - MailBox #3");
    d.cbMailBoxClick(1);
    d.writeRow(table, 1);
    EXPECT_EQ(table.cell(2, 1), "me@home.example - MailBox #3");

    // A rule of a mailbox no longer configured keeps its number.
    general.edServe[4].text.clear();
    table.setCell(2, 1, "me@home.example - MailBox #5");
    d.fillFromRow(table, 1);
    EXPECT_EQ(d.cbMailBox.items[static_cast<std::size_t>(d.cbMailBox.itemIndex)].substr(0, 2), "5)");
    d.writeRow(table, 1);
    EXPECT_EQ(table.cell(2, 1), "me@home.example - MailBox #5");
}

TEST_F(RuleDialogsTest, HeaderCountryPickerMakesAHeaderTextEndingInTheSuffix) {
    TfrmHeaders& d = dialogs.frmHeaders;
    d.newRule();
    d.chooseForm(d.rbTo);
    d.cbCaseClick(true);
    pickCountry("UK");
    d.btCountryClick();
    EXPECT_TRUE(d.rbHeader.checked);
    EXPECT_TRUE(d.cbHeader.visible);
    EXPECT_EQ(d.lblCountry.caption, "United Kingdom");
    expectAccepted(d);
    EXPECT_EQ(rowCells(written(d), 1, 1), (Cells{"Ends with", ".UK", "No", "Yes", "0"}));
}

// ---- Exceptions ----

TEST_F(RuleDialogsTest, ExceptionDialogControlsAndNewRuleDefaults) {
    TfrmAlwaysAccept& d = dialogs.frmAlwaysAccept;
    EXPECT_EQ(d.caption, "Accept e-mail from");
    EXPECT_EQ(d.lblHeading.caption, "Always accept e-mail when:");
    d.rbSubjectClick();
    d.imgPickerClick(5);
    d.newRule();
    EXPECT_TRUE(d.rbEmail.checked);
    EXPECT_EQ(d.cbLine.items, (Cells{"Subject:", "CC:", "Reply-To:", "To:", "Any Header"}));
    EXPECT_EQ(d.cbLine.itemIndex, 0);
    EXPECT_EQ(d.cbWhat.itemIndex, 0);
    EXPECT_EQ(d.cbWhat.items.size(), 5u);
    EXPECT_EQ(d.imageIndex(), 3);
    EXPECT_EQ(d.focusedControl, "edEmail");
}

TEST_F(RuleDialogsTest, ExceptionShowsTheChosenFieldAndFocusesIt) {
    TfrmAlwaysAccept& d = dialogs.frmAlwaysAccept;
    d.newRule();
    struct Case {
        void (TfrmAlwaysAccept::*click)();
        Control* field;
        const char* name;
    } cases[] = {{&TfrmAlwaysAccept::rbDomainClick, &d.edDomain, "edDomain"},
                 {&TfrmAlwaysAccept::rbSubjectClick, &d.edSubject, "edSubject"},
                 {&TfrmAlwaysAccept::rbEmailClick, &d.edEmail, "edEmail"}};
    for (const Case& c : cases) {
        (d.*c.click)();
        for (Control* field : {&d.edEmail, &d.edDomain, &d.edSubject}) EXPECT_EQ(field->visible, field == c.field) << c.name;
        EXPECT_EQ(d.cbWhat.visible, c.field == &d.edSubject);
        EXPECT_EQ(d.cbCase.visible, c.field == &d.edSubject);
        EXPECT_TRUE(d.cbLine.visible);
        EXPECT_EQ(d.focusedControl, c.name);
        d.focusedControl.clear();
        d.lblHeadingClick();
        EXPECT_EQ(d.focusedControl, c.name);
    }
}

TEST_F(RuleDialogsTest, ExceptionOkRefusesTheChosenEmptyField) {
    TfrmAlwaysAccept& d = dialogs.frmAlwaysAccept;
    struct Case {
        void (TfrmAlwaysAccept::*click)();
        const char* text;
        const char* field;
    } cases[] = {{&TfrmAlwaysAccept::rbEmailClick, "The email line cannot be blank", "edEmail"},
                 {&TfrmAlwaysAccept::rbDomainClick, "The domain line cannot be blank", "edDomain"},
                 {&TfrmAlwaysAccept::rbSubjectClick, "The subject line cannot be blank", "edSubject"}};
    for (const Case& c : cases) {
        d.newRule();
        // The other options' fields do not count.
        d.edEmailChange("a@b.example");
        d.edDomainChange("b.example");
        d.edSubjectChange("news");
        (d.*c.click)();
        Control& field = std::string(c.field) == "edEmail" ? d.edEmail : std::string(c.field) == "edDomain" ? d.edDomain : d.edSubject;
        field.text.clear();
        d.focusedControl.clear();
        expectRefused(d, c.text, c.field);
    }
}

TEST_F(RuleDialogsTest, ExceptionImageCellsGiveIndexesThreeToFourteen) {
    TfrmAlwaysAccept& d = dialogs.frmAlwaysAccept;
    struct Case {
        int cell;
        const char* stored;
    } cases[] = {{0, "3"}, {4, "7"}, {11, "14"}};
    for (const Case& c : cases) {
        d.newRule();
        d.edEmailChange("friend@home.example");
        d.imgPickerClick(c.cell);
        expectAccepted(d);
        RuleTable table = written(d);
        EXPECT_EQ(table.cell(6, 1), c.stored);
        EXPECT_EQ(table.image(1), c.cell + 3);
        d.newRule();
        d.fillFromRow(table, 1);
        EXPECT_EQ(d.imgPicker.itemIndex, c.cell);
    }
    d.imgPickerClick(12);  // beyond the row: ignored
    EXPECT_EQ(d.imgPicker.itemIndex, 11);
}

TEST_F(RuleDialogsTest, ExceptionRowsFillTheDialogAndComeBackAsWritten) {
    TfrmAlwaysAccept& d = dialogs.frmAlwaysAccept;
    struct Case {
        Cells row;  // columns 0 to 6
        Control* option;
        const char* line;  // cbLine's entry
        int cell;
        Cells written;
    } cases[] = {
        {{"E-mail address", "Equals", "mum@home.example", "No", "4", "", "9"}, &d.rbEmail, "Subject:", 6,
         {"E-mail address", "Equals", "mum@home.example", "No", "4", "", "9"}},
        {{"Domain name", "Equals", "work.example", "No", "", "", ""}, &d.rbDomain, "Subject:", 0,
         {"Domain name", "Equals", "work.example", "No", "0", "", "3"}},
        {{"Subject", "Starts with", "[list]", "Yes", "2", "", "14"}, &d.rbSubject, "Subject:", 11,
         {"Subject:", "Starts with", "[list]", "Yes", "2", "", "14"}},
        {{"Any Header", "Contains", "List-Id", "No", "0", "", "5"}, &d.rbSubject, "Any Header", 2,
         {"Any Header", "Contains", "List-Id", "No", "0", "", "5"}},
        {{"X-Loop:", "Equals", "club", "No", "0", "", "x"}, &d.rbSubject, "X-Loop:", 0,
         {"X-Loop:", "Equals", "club", "No", "0", "", "3"}},
    };
    for (const Case& c : cases) {
        RuleTable table(RuleTableKind::Exception);
        setRow(table, 1, c.row);
        d.fillFromRow(table, 1);
        EXPECT_TRUE(c.option->checked) << c.row[0];
        ASSERT_GE(d.cbLine.itemIndex, 0);
        EXPECT_EQ(d.cbLine.items[static_cast<std::size_t>(d.cbLine.itemIndex)], c.line) << c.row[0];
        EXPECT_EQ(d.imgPicker.itemIndex, c.cell) << c.row[0];
        expectAccepted(d);
        d.writeRow(table, 1);
        EXPECT_EQ(rowCells(table, 1), c.written) << c.row[0];
        EXPECT_EQ(table.image(1), c.cell + 3);
    }
}

// ---- Any byte in a pattern ----

TEST_F(RuleDialogsTest, PatternsOfAnyBytesRoundTripThroughTheDialogsAndTheFiles) {
    std::string big(32 * 1024, 'x');
    for (std::size_t i = 0; i < big.size(); i += 97) big[i] = static_cast<char>(128 + i % 128);
    const std::string patterns[] = {"a\tb", "line one\r\nline two", "caf\xe9 \xc3\xa9t\xc3\xa9", "a\bb,c,1,2", big};
    for (const std::string& pattern : patterns) {
        SpamRules rules(fake.platform.programFolder);
        setRow(rules.gridSubject, 1, {"", "Contains", pattern, "Yes", "Yes", "0"});
        setRow(rules.gridHeader, 1, {"", "Contains", pattern, "Yes", "Yes", "0"});
        setRow(rules.gridFrom, 1, {"", "Domain name", "Contains", pattern, "Yes", "0"});
        setRow(rules.gridExcept, 1, {"Subject", "Contains", pattern, "Yes", "0", "", "3"});
        struct Step {
            RuleDialog& dialog;
            RuleTable& table;
        } steps[] = {{dialogs.frmOptionsSubject, rules.gridSubject},
                     {dialogs.frmHeaders, rules.gridHeader},
                     {dialogs.frmOptionsFROM, rules.gridFrom},
                     {dialogs.frmAlwaysAccept, rules.gridExcept}};
        for (Step& s : steps) {
            const Cells before = rowCells(s.table, 1, 1);
            s.dialog.fillFromRow(s.table, 1);
            expectAccepted(s.dialog);
            s.dialog.writeRow(s.table, 1);
            // Cancel writes nothing, so only OK is worth a look.
            EXPECT_EQ(rowCells(s.table, 1, 1).at(s.table.kind() == RuleTableKind::Sender ? 2 : 1),
                      before.at(s.table.kind() == RuleTableKind::Sender ? 2 : 1));
        }
        EXPECT_EQ(rules.gridSubject.cell(2, 1), pattern);
        EXPECT_EQ(rules.gridHeader.cell(2, 1), pattern);
        EXPECT_EQ(rules.gridFrom.cell(3, 1), pattern);
        EXPECT_EQ(rules.gridExcept.cell(2, 1), pattern);
        rules.Savesettings();
        SpamRules restarted(fake.platform.programFolder);
        restarted.readSettings();
        // The file format keeps CR and LF by writing them as tab and backspace,
        // so those two come back as CR and LF.
        std::string reloaded = pattern;
        for (char& c : reloaded) {
            if (c == '\t') c = '\r';
            if (c == '\b') c = '\n';
        }
        EXPECT_EQ(restarted.gridSubject.cell(2, 1), reloaded);
        EXPECT_EQ(restarted.gridHeader.cell(2, 1), reloaded);
        EXPECT_EQ(restarted.gridFrom.cell(3, 1), reloaded);
        EXPECT_EQ(restarted.gridExcept.cell(2, 1), reloaded);
    }
}

// ---- Country picker ----

TEST_F(RuleDialogsTest, CountryPickerListsTheSuffixesInItsOrder) {
    TfrmInternet& d = dialogs.frmInternet;
    EXPECT_EQ(d.caption, "Internet WWW Country Suffixes");
    ASSERT_EQ(d.ListBox1.items.size(), 243u);
    struct Case {
        std::size_t row;
        const char* text;
    } cases[] = {
        {0, "AF\tAfghanistan"}, {12, "AC\tAscension Island"}, {62, "TP\tEast Timor"},
        {70, "FK\tFalkland Islands (Malvinas)"}, {81, "DE\tGermany"}, {95, "VA\tHoly See (Vatican City State)"},
        {225, "UK\tUnited Kingdom"}, {231, "VA\tVatican City State (Holy See)"}, {240, "ZR\tZaire"},
        {242, "ZW\tZimbabwe"},
    };
    for (const Case& c : cases) EXPECT_EQ(d.ListBox1.items[c.row], c.text) << c.row;
    std::string codes;
    for (const std::string& row : d.ListBox1.items) {
        ASSERT_EQ(row.find('\t'), 2u) << row;
        codes += row.substr(0, 2) + ",";
    }
    EXPECT_EQ(codes.find("GB,"), std::string::npos);
    EXPECT_NE(codes.find("BS,BH,BD,BB,BY,BE,BZ,BJ,BM,BT,BO,BA,BW,BV,BR,IO,BN,BG,BF,BI,KH,CM,CA,CV,KY,CF,TD,CL"),
              std::string::npos);
    EXPECT_NE(codes.find("UG,UA,AE,UK,US,UM,UY,UZ,VU,VA,VE,VN,VG,VI,WF,EH,YE,YU,ZR,ZM,ZW,"), std::string::npos);
}

TEST_F(RuleDialogsTest, CountryPickerReturnsTheSuffixAndTheNameOfTheChosenRow) {
    TfrmInternet& d = dialogs.frmInternet;
    struct Case {
        int row;
        bool doubleClick;
        const char* suffix;
        const char* name;
    } cases[] = {{81, false, ".DE", "Germany"}, {0, true, ".AF", "Afghanistan"}, {119, false, ".LA", "Lao, People's Democratic Republic"}};
    for (const Case& c : cases) {
        d.FormShow();
        EXPECT_EQ(d.ListBox1.itemIndex, 0);
        if (c.doubleClick) {
            d.ListBox1DblClick(c.row);
        } else {
            d.ListBox1.itemIndex = c.row;
            d.btOKClick();
        }
        EXPECT_EQ(d.modalResult, ModalResult::Ok);
        EXPECT_EQ(d.suffix, c.suffix);
        EXPECT_EQ(d.countryName, c.name);
    }
    d.FormShow();
    d.ListBox1.itemIndex = 5;
    d.btCancelClick();
    EXPECT_EQ(d.modalResult, ModalResult::Cancel);
    EXPECT_EQ(d.suffix, "");
}

// ---- Import ----

TEST_F(RuleDialogsTest, ImportDialogOkRemovesAdjacentDuplicateLines) {
    TfrmImportSpam& d = dialogs.frmImportSpam;
    struct Case {
        const char* text;
        Cells lines;  // after OK
    } cases[] = {
        {"cash\ncash\n  \nCash \n", {"cash", "  ", "Cash "}},
        {"a\nb\na\n", {"a", "b", "a"}},
        {"x\r\nx\r\ny", {"x", "y"}},
        {"\n\n\nz\nz", {"", "z"}},
        {"", {}},
    };
    for (const Case& c : cases) {
        d.open("Import spam keywords");
        EXPECT_EQ(d.lblTitle.caption, "Import spam keywords");
        EXPECT_EQ(d.Memo1.text, "");
        d.Memo1.text = c.text;
        d.btOKClick();
        EXPECT_EQ(d.modalResult, ModalResult::Ok);
        EXPECT_EQ(d.lines(), c.lines) << c.text;
    }
    d.open("Import e-mail addresses");
    d.Memo1.text = "same\nsame";
    d.btCancelClick();
    EXPECT_EQ(d.modalResult, ModalResult::Cancel);
    EXPECT_EQ(d.lines(), (Cells{"same", "same"}));
    EXPECT_EQ(d.caption, "Import new keywords");
}

// ---- Cancel ----

TEST_F(RuleDialogsTest, CancelClosesEveryRuleDialogWithoutChecking) {
    for (RuleDialog* d : std::initializer_list<RuleDialog*>{&dialogs.frmOptionsSubject, &dialogs.frmHeaders,
                                                            &dialogs.frmOptionsFROM, &dialogs.frmAlwaysAccept}) {
        d->newRule();
        fake.dialogs.shown.clear();
        d->btCancelClick();
        EXPECT_EQ(d->modalResult, ModalResult::Cancel) << d->name();
        EXPECT_TRUE(fake.dialogs.shown.empty());
        EXPECT_FALSE(d->lblPreview.visible);
    }
}

}  // namespace
}  // namespace quorvel
