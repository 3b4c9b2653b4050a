// The spam settings window's logic: the table commands, in-place editing,
// sorting, the imports, OK and Cancel, the known-spammer tab and printing.
#include "config/frm_options_main.h"

#include <gtest/gtest.h>

#include <functional>

#include "config/rule_dialogs.h"
#include "config/rule_file.h"
#include "platform/files.h"
#include "support/fake_platform.h"

namespace quorvel {
namespace {

using Rows = std::vector<std::vector<std::string>>;

class OptionsMain : public ::testing::Test {
protected:
    OptionsMain() {
        options.setRuleDialogs(&dialogs);
        fake.dialogs.onShowModal = [this](Form& form) {
            shownForms.push_back(form.name());
            if (onDialog) onDialog(form);
            return form.modalResult;
        };
    }

    // Fills a table with rules, one vector of cells per row from column 0.
    static void fill(RuleTable& table, const Rows& rows) {
        table.setRowCount(static_cast<int>(rows.size()) + 1);
        SetGridHeadings(table);
        for (std::size_t r = 0; r < rows.size(); ++r)
            for (std::size_t c = 0; c < rows[r].size() && c < static_cast<std::size_t>(table.colCount()); ++c)
                table.setCell(static_cast<int>(c), static_cast<int>(r) + 1, rows[r][c]);
        refreshImages(table);
    }
    static Rows subjectRules(std::initializer_list<const char*> patterns) {
        Rows rows;
        for (const char* p : patterns) rows.push_back({"", "Contains", p, "No", "Yes", "0"});
        return rows;
    }
    // The cells of one column over the rule rows.
    static std::vector<std::string> column(const RuleTable& table, int col) {
        std::vector<std::string> cells;
        for (int row = 1; row < table.rowCount(); ++row) cells.push_back(table.cell(col, row));
        return cells;
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> result;
        for (const auto& shown : fake.dialogs.shown) result.push_back(shown.text);
        return result;
    }
    // Answers the subject dialog with a new pattern and OK.
    void answerSubject(const std::string& pattern) {
        onDialog = [pattern](Form& form) {
            auto& d = static_cast<TfrmOptionsSubject&>(form);
            d.edit1Change(pattern);
            d.btOKClick();
        };
    }
    void answerImport(const std::string& text, bool ok) {
        onDialog = [text, ok](Form& form) {
            auto& d = static_cast<TfrmImportSpam&>(form);
            d.Memo1.text = text;
            ok ? d.btOKClick() : d.btCancelClick();
        };
    }
    std::string file(const char* name) const { return readFileBytes(fake.folder.file(name)).value_or("<none>"); }

    testing::FakePlatform fake;
    TfrmOptionsMain options{fake.platform};
    RuleDialogs dialogs{fake.dialogs, nullptr};
    std::function<void(Form&)> onDialog;
    std::vector<std::string> shownForms;
};

TEST_F(OptionsMain, DeleteRemovesTheSelectedRowButNeverTheLastRule) {
    struct Case {
        const char* name;
        std::vector<const char*> rules;
        int selected;
        std::vector<std::string> after;
        const char* count;
    };
    const Case cases[] = {
        {"only rule", {"free"}, 1, {""}, "1 Conditions"},
        {"first of three", {"a", "b", "c"}, 1, {"b", "c"}, "2 Conditions"},
        {"middle", {"a", "b", "c"}, 2, {"a", "c"}, "2 Conditions"},
        {"last", {"a", "b", "c"}, 3, {"a", "b"}, "2 Conditions"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rows rows;
        for (const char* p : c.rules) rows.push_back({"", "Contains", p, "No", "Yes", "0"});
        fill(options.rules.gridSubject, rows);
        options.setRow(options.gridSubject, c.selected);
        options.btDelSubjectClick();
        EXPECT_EQ(column(options.rules.gridSubject, 2), c.after);
        EXPECT_EQ(options.gridSubject.lblCount.caption, c.count);
        EXPECT_LE(options.gridSubject.Row, options.rules.gridSubject.ruleCount());
        if (c.rules.size() == 1) {
            // The emptied row is empty in every cell and shows no mark.
            EXPECT_EQ(column(options.rules.gridSubject, 1), std::vector<std::string>{""});
            EXPECT_EQ(options.rules.gridSubject.image(1), kImageNone);
        }
    }
}

TEST_F(OptionsMain, InsertPutsTheNewRuleAtTheSelectedRowOrIntoTheEmptyTable) {
    fill(options.rules.gridSubject, subjectRules({"a", "b", "c", "d"}));
    answerSubject("new");
    options.setRow(options.gridSubject, 3);
    options.btAddSubjectClick();
    EXPECT_EQ(column(options.rules.gridSubject, 2), (std::vector<std::string>{"a", "b", "new", "c", "d"}));
    EXPECT_EQ(options.rules.gridSubject.cell(5, 3), "0");
    EXPECT_EQ(options.rules.gridSubject.image(3), kImageCheck);
    EXPECT_EQ(options.gridSubject.lblCount.caption, "5 Conditions");
    EXPECT_EQ(shownForms, std::vector<std::string>{"frmOptionsSubject"});

    // An empty table: its single row takes the rule.
    options.rules.gridSubject = RuleTable(RuleTableKind::Subject);
    options.btAddSubjectClick();
    EXPECT_EQ(column(options.rules.gridSubject, 2), std::vector<std::string>{"new"});

    // A cancelled dialog changes nothing.
    onDialog = [](Form& form) { static_cast<RuleDialog&>(form).btCancelClick(); };
    options.btAddSubjectClick();
    EXPECT_EQ(column(options.rules.gridSubject, 2), std::vector<std::string>{"new"});
}

TEST_F(OptionsMain, EditKeepsTheHitsAndRefusesAnEmptyRow) {
    fill(options.rules.gridSubject, {{"", "Contains", "old", "No", "No", "17"}});
    answerSubject("changed");
    options.btEditSubjectClick();
    EXPECT_EQ(options.rules.gridSubject.cell(2, 1), "changed");
    EXPECT_EQ(options.rules.gridSubject.cell(5, 1), "17");

    // Nothing to edit: an error, or for the sender table a plain message.
    const std::pair<std::function<void()>, MessageKind> empties[] = {
        {[&] { options.btEditHeaderClick(); }, MessageKind::Error},
        {[&] { options.btEditFromClick(); }, MessageKind::Information},
        {[&] { options.btEditExceptClick(); }, MessageKind::Error},
    };
    for (const auto& [edit, kind] : empties) {
        fake.dialogs.shown.clear();
        edit();
        ASSERT_EQ(fake.dialogs.shown.size(), 1u);
        EXPECT_EQ(fake.dialogs.shown[0].text, "Error: nothing selected to edit");
        EXPECT_EQ(fake.dialogs.shown[0].kind, kind);
    }
    EXPECT_EQ(shownForms, std::vector<std::string>{"frmOptionsSubject"});
}

TEST_F(OptionsMain, HitsTakeDigitsOnlyAndOtherCellsOnlyWhereEditable) {
    struct Case {
        RuleGrid::Id grid;
        int col;
        const char* text;
        bool accepted;
        const char* stored;
    };
    const Case cases[] = {
        {RuleGrid::Subject, 5, "12a", false, "4"},   {RuleGrid::Subject, 5, "-3", false, "4"},
        {RuleGrid::Subject, 5, "", false, "4"},      {RuleGrid::Subject, 5, " 5", false, "4"},
        {RuleGrid::Subject, 5, "007", true, "7"},    {RuleGrid::Subject, 5, "0", true, "0"},
        {RuleGrid::Subject, 5, "99999999999", false, "4"},
        {RuleGrid::Subject, 2, "any text\tat all", true, "any text\tat all"},
        {RuleGrid::Subject, 1, "Equals", false, "Contains"},
        {RuleGrid::Subject, 3, "Yes", false, "No"},
        {RuleGrid::Header, 2, "X-Other", false, "x"},  {RuleGrid::Header, 5, "12", true, "12"},
        {RuleGrid::Sender, 3, "spam.example", true, "spam.example"},
        {RuleGrid::Sender, 2, "Equals", false, "No"},
        {RuleGrid::Except, 2, "friend@example.com", true, "friend@example.com"},
        {RuleGrid::Except, 4, "3", true, "3"}, {RuleGrid::Except, 4, "three", false, "No"},
        {RuleGrid::Except, 6, "9", false, "x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(options.grid(c.grid).name) + " col " + std::to_string(c.col) + " '" + c.text + "'");
        RuleGrid& g = options.grid(c.grid);
        // Every cell holds a text of its own, hits "4".
        fill(g.table, {{"x", "Contains", "x", "No", "4", "4", "x"}});
        if (c.grid == RuleGrid::Except) g.table.setCell(4, 1, "No");
        if (c.grid == RuleGrid::Sender) g.table.setCell(2, 1, "No");
        EXPECT_EQ(options.setCellText(g, c.col, 1, c.text), c.accepted);
        EXPECT_EQ(g.table.cell(c.col, 1), c.stored);
    }
}

TEST_F(OptionsMain, SortingReordersTheTableItselfWithEmptyKeyRowsLast) {
    fill(options.rules.gridSubject, {{"", "Contains", "beta", "No", "Yes", "10"},
                                     {"", "Contains", "Alpha", "No", "No", "9"},
                                     {"", "", "", "", "", ""},
                                     {"", "Contains", "gamma", "No", "Yes", "100"},
                                     {"", "Contains", "alpha", "No", "Yes", "007"}});
    struct Step {
        int col;
        std::vector<std::string> patterns;
        bool ascending;
    };
    const Step steps[] = {
        {5, {"alpha", "Alpha", "beta", "gamma", ""}, true},   // 7, 9, 10, 100 by value
        {5, {"gamma", "beta", "Alpha", "alpha", ""}, false},  // the same column again turns the order round
        {2, {"Alpha", "alpha", "beta", "gamma", ""}, true},   // case does not count; equal texts keep their order
        {1, {"Alpha", "alpha", "beta", "gamma", ""}, true},   // not a sortable column: nothing moves
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.col);
        options.sortBy(options.gridSubject, s.col);
        EXPECT_EQ(column(options.rules.gridSubject, 2), s.patterns);
        EXPECT_EQ(options.gridSubject.sortAscending, s.ascending);
    }
    // The marks travel with their rows.
    EXPECT_EQ(options.rules.gridSubject.image(1), kImageQuestion);
    EXPECT_EQ(options.rules.gridSubject.image(2), kImageCheck);
    // Nothing is sorted before the user asks: the initial column only
    // decides nothing until a heading is clicked.
    TfrmOptionsMain fresh(fake.platform);
    EXPECT_EQ(fresh.gridSubject.sortColumn, -1);
    EXPECT_EQ(fresh.gridFrom.initialSortColumn, 3);
}

TEST_F(OptionsMain, UpAndDownMoveTheSelectedRowWithinTheTable) {
    fill(options.rules.gridFrom, {{"", "Domain name", "Equals", "a", "Yes", "0"},
                                  {"", "Domain name", "Equals", "b", "Yes", "0"},
                                  {"", "Domain name", "Equals", "c", "Yes", "0"}});
    RuleGrid& g = options.gridFrom;
    struct Step {
        bool up;
        std::vector<std::string> order;
        int row;
    };
    options.setRow(g, 1);
    const Step steps[] = {{true, {"a", "b", "c"}, 1},  {false, {"b", "a", "c"}, 2}, {false, {"b", "c", "a"}, 3},
                          {false, {"b", "c", "a"}, 3}, {true, {"b", "a", "c"}, 2}};
    for (const Step& s : steps) {
        s.up ? options.btUpSubjectClick(g) : options.btDownSubjectClick(g);
        EXPECT_EQ(column(g.table, 3), s.order);
        EXPECT_EQ(g.Row, s.row);
    }
}

TEST_F(OptionsMain, KeywordImportSkipsBlanksTrimsAndSavesWhetherConfirmedOrNot) {
    answerImport("cash\ncash\n  \nCash \n\t\x01\n", true);
    options.btImportClick();
    EXPECT_EQ(column(options.rules.gridSubject, 2), (std::vector<std::string>{"cash", "Cash"}));
    for (int row = 1; row <= 2; ++row) {
        EXPECT_EQ(options.rules.gridSubject.cell(1, row), "Contains (whole word)");
        EXPECT_EQ(options.rules.gridSubject.cell(3, row), "No");
        EXPECT_EQ(options.rules.gridSubject.cell(4, row), "Yes");
        EXPECT_EQ(options.rules.gridSubject.cell(5, row), "0");
        EXPECT_EQ(options.rules.gridSubject.image(row), kImageCheck);
    }
    EXPECT_EQ(file("subj.lst"), formatRuleTable(options.rules.gridSubject));
    EXPECT_EQ(options.gridSubject.lblCount.caption, "2 Conditions");

    // Cancel: nothing imported, and yet the edits so far are saved.
    options.setCellText(options.gridSubject, 5, 1, "9");
    answerImport("more", false);
    options.btImportClick();
    EXPECT_EQ(column(options.rules.gridSubject, 2), (std::vector<std::string>{"cash", "Cash"}));
    EXPECT_EQ(loadRuleTable(fake.folder.file("subj.lst"), RuleTableKind::Subject).cell(5, 1), "9");
}

TEST_F(OptionsMain, ExceptionImportAppendsAddressRulesWithPictureThree) {
    fill(options.rules.gridExcept, {{"Domain name", "Equals", "example.org", "No", "0", "", "5"}});
    answerImport(" friend@example.com\r\n\r\nlist@example.net", true);
    options.btImportExceptionsClick();
    const RuleTable& t = options.rules.gridExcept;
    ASSERT_EQ(t.ruleCount(), 3);
    for (int row = 2; row <= 3; ++row) {
        EXPECT_EQ(t.cell(0, row), "E-mail address");
        EXPECT_EQ(t.cell(1, row), "Equals");
        EXPECT_EQ(t.cell(3, row), "No");
        EXPECT_EQ(t.cell(4, row), "0");
        EXPECT_EQ(t.cell(6, row), "3");
        EXPECT_EQ(t.image(row), 3);
    }
    EXPECT_EQ(t.cell(2, 2), "friend@example.com");
    EXPECT_EQ(t.cell(2, 3), "list@example.net");
    EXPECT_EQ(t.image(1), 5);
    EXPECT_EQ(options.gridExcept.lblCount.caption, "3 Exceptions");
    EXPECT_EQ(file("except.lst"), formatRuleTable(t));
}

TEST_F(OptionsMain, ALongImportShowsItsProgressAndAnswersTheUserMeanwhile) {
    std::vector<std::string> lines;
    for (int i = 0; i < 5 * TfrmOptionsMain::kImportSlice; ++i) lines.push_back("word" + std::to_string(i));
    std::vector<std::string> progress;
    options.setChangedHandler([&] {
        if (!options.pnlProgress.visible) return;
        progress.push_back(options.pnlProgress.caption);
        // A click meanwhile is not taken while the import holds the table.
        options.btDelSubjectClick();
        options.btOKClick();
    });
    options.importKeywords(lines);
    EXPECT_EQ(options.modalResult, ModalResult::None);
    EXPECT_EQ(options.rules.gridSubject.ruleCount(), 5 * TfrmOptionsMain::kImportSlice);
    EXPECT_EQ(options.rules.gridSubject.cell(2, 1), "word0");
    ASSERT_EQ(progress.size(), 4u);
    EXPECT_EQ(progress[0], "Importing line 2000 of 10000 ... stand by");
    EXPECT_FALSE(options.pnlProgress.visible);
    EXPECT_FALSE(options.busy());
}

TEST_F(OptionsMain, OkRemovesIdenticalNeighboursSavesAndCloses) {
    fill(options.rules.gridSubject, {{"", "Contains", "free", "No", "Yes", "3"},
                                     {"", "Contains", "free", "No", "Yes", "3"},
                                     {"", "Contains", "free", "No", "Yes", "4"},
                                     {"", "Contains", "cash", "No", "Yes", "0"},
                                     {"", "Contains", "free", "No", "Yes", "4"}});
    options.setRow(options.gridSubject, 5);
    options.btOKClick();
    EXPECT_EQ(column(options.rules.gridSubject, 5), (std::vector<std::string>{"3", "4", "0", "4"}));
    EXPECT_EQ(options.modalResult, ModalResult::Ok);
    EXPECT_EQ(options.gridSubject.Row, 4);
    EXPECT_EQ(file("subj.lst"), formatRuleTable(options.rules.gridSubject));
    EXPECT_NE(file("header.lst"), "<none>");
    EXPECT_NE(file("quorvel.ini"), "<none>");
}

TEST_F(OptionsMain, OkKeepsExceptionNeighboursThatDifferInAnyShownColumn) {
    const Rows base = {{"E-mail address", "Equals", "a@b.test", "No", "0", ""}};
    // Each case changes one column of the second rule.
    const struct {
        int col;
        const char* other;
    } cases[] = {{0, "Domain name"}, {1, "Contains"}, {2, "c@d.test"}, {3, "Yes"}, {4, "2"}, {5, "note"}};
    for (const auto& c : cases) {
        SCOPED_TRACE("column " + std::to_string(c.col));
        Rows rows = {base[0], base[0], base[0]};
        rows[1][static_cast<std::size_t>(c.col)] = c.other;
        fill(options.rules.gridExcept, rows);
        options.btOKClick();
        EXPECT_EQ(column(options.rules.gridExcept, c.col),
                  (std::vector<std::string>{base[0][static_cast<std::size_t>(c.col)], c.other,
                                            base[0][static_cast<std::size_t>(c.col)]}));
    }
    // Equal in every shown column: the second goes.
    fill(options.rules.gridExcept, {base[0], base[0]});
    options.btOKClick();
    EXPECT_EQ(options.rules.gridExcept.ruleCount(), 1);
}

TEST_F(OptionsMain, CancelBringsBackWhatTheFilesHold) {
    fill(options.rules.gridSubject, subjectRules({"kept"}));
    options.nSmallerChange(500);
    options.Savesettings();
    options.setCellText(options.gridSubject, 2, 1, "lost");
    options.nSmallerChange(7);
    options.cbValid.checked = false;
    options.cbValidClick();
    options.btCancelClick();
    EXPECT_EQ(options.rules.gridSubject.cell(2, 1), "kept");
    EXPECT_EQ(options.rules.options.smallerNum, 500);
    EXPECT_EQ(options.nSmaller.value, 500);
    EXPECT_TRUE(options.cbValid.checked);
    EXPECT_TRUE(options.pnlValid.visible);
    EXPECT_EQ(options.modalResult, ModalResult::Cancel);
}

TEST_F(OptionsMain, AnyBytePatternSurvivesOkCancelAndARestart) {
    // Every byte but tab and backspace, which the file carries line breaks as.
    std::string pattern;
    for (int b = 0; b < 256; ++b)
        if (b != '\t' && b != '\b') pattern += static_cast<char>(b);
    pattern += std::string(32 * 1024, 'x') + "\r\nend";
    fill(options.rules.gridSubject, subjectRules({"plain"}));
    ASSERT_TRUE(options.setCellText(options.gridSubject, 2, 1, pattern));
    options.btOKClick();
    options.btCancelClick();
    EXPECT_EQ(options.rules.gridSubject.cell(2, 1), pattern);
    TfrmOptionsMain restarted(fake.platform);
    EXPECT_EQ(restarted.rules.gridSubject.cell(2, 1), pattern);
    EXPECT_TRUE(texts().empty());
}

TEST_F(OptionsMain, ACorruptRuleFileIsReportedOnceAndTheOthersLoad) {
    fill(options.rules.gridFrom, {{"", "Domain name", "Equals", "spam.example", "Yes", "0"}});
    options.Savesettings();
    writeFileAtomically(fake.folder.file("subj.lst"), "garbage\r\n");
    TfrmOptionsMain loaded(fake.platform);
    EXPECT_EQ(texts(), std::vector<std::string>{"File contains no data or corrupt file " + fake.folder.file("subj.lst")});
    EXPECT_EQ(loaded.rules.gridFrom.cell(3, 1), "spam.example");
    EXPECT_EQ(loaded.rules.gridSubject.ruleCount(), 1);
    loaded.setRuleDialogs(&dialogs);
    answerSubject("usable");
    loaded.btAddSubjectClick();
    EXPECT_EQ(loaded.rules.gridSubject.cell(2, 1), "usable");
}

TEST_F(OptionsMain, ShowingWithoutKnownListOffersNoEditing) {
    struct Case {
        bool file;
        const char* notice;
        bool noticeShown, buttonsShown;
        const char* count;
    };
    const Case cases[] = {
        {false, "Could not locate the known spammer blacklist!", true, false, "0 Spammers"},
        {true, "Re-building list ... stand by", false, true, "2 Spammers"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        if (c.file) writeFileAtomically(fake.folder.file("known.lst"), "a@spam.example\r\nspam.example\r\n");
        options.FormShow();
        const KnownListEditor& memo = options.memo1();
        EXPECT_EQ(memo.pnlSorting.caption, c.notice);
        EXPECT_EQ(memo.pnlSorting.visible, c.noticeShown);
        EXPECT_EQ(memo.btEditKnown.visible, c.buttonsShown);
        EXPECT_EQ(memo.btSaveChanges.visible, c.buttonsShown);
        EXPECT_EQ(memo.btCancelChanges.visible, c.buttonsShown);
        EXPECT_EQ(options.lblSpammers.caption, c.count);
    }
}

TEST_F(OptionsMain, OkRebuildsTheKnownListOnlyWhileItIsEdited) {
    KnownList list;
    options.setKnownList(&list);
    writeFileAtomically(fake.folder.file("known.lst"), "b.example\r\n");
    options.FormShow();
    options.memo1().text = "z.example\r\na.example\r\n";
    options.btOKClick();  // not in edit mode: the text is not taken
    EXPECT_EQ(file("known.lst"), "b.example\r\n");
    options.FormShow();
    options.btEditKnownClick();
    options.memo1().text = "z.example\r\na.example\r\n";
    options.btOKClick();
    EXPECT_EQ(file("known.lst"), "a.example\r\nz.example\r\n");
    EXPECT_EQ(list.size(), 2u);
}

TEST_F(OptionsMain, SizeGroupsEnableWithTheirBoxesAndWriteTheOptions) {
    options.cbSmaller.checked = true;
    options.cbSmallerClick();
    options.cbLarger.checked = false;
    options.cbLargerClick();
    options.nLargerChange(123456789);
    options.rbSmallerCheckClick(false);
    for (const Control* c : {&options.nSmaller, &options.rbSmallerCheck, &options.rbSmallerQuestion})
        EXPECT_TRUE(c->enabled);
    for (const Control* c : {&options.nLarger, &options.rbLargerCheck, &options.rbLargerQuestion})
        EXPECT_FALSE(c->enabled);
    EXPECT_TRUE(options.rules.options.QSmaller);
    EXPECT_FALSE(options.rules.options.smallerCheck);
    EXPECT_TRUE(options.rbSmallerQuestion.checked);
    EXPECT_EQ(options.rules.options.largerNum, TfrmOptionsMain::kLargerMax);
}

TEST_F(OptionsMain, PrintGivesTitleDateTimeAndTheVisibleTextColumns) {
    fill(options.rules.gridExcept, {{"E-mail address", "Equals", "friend@example.com", "No", "12", "", "4"}});
    options.btPrintExceptClick();
    fill(options.rules.gridHeader, {{"", "Contains", "X-Spam", "No", "Yes", "1"}});
    options.btPrintHeaderClick();
    fake.dialogs.printAnswer = false;
    options.btPrintSubjectClick();
    ASSERT_EQ(fake.dialogs.printed.size(), 2u);
    const PrintedTable& except = fake.dialogs.printed[0];
    EXPECT_EQ(except.title, "Quorvel - List of Exceptions ");
    EXPECT_EQ(except.date, "12/10/26");  // the test locale's short date
    EXPECT_EQ(except.time, "4:48 PM");
    EXPECT_EQ(except.headings, (std::vector<std::string>{"What", "Condition", "Matches", "Case?", "Hits"}));
    EXPECT_EQ(except.rows, (Rows{{"E-mail address", "Equals", "friend@example.com", "No", "12"}}));
    EXPECT_EQ(except.alignRight, (std::vector<bool>{false, false, false, false, true}));
    const PrintedTable& header = fake.dialogs.printed[1];
    EXPECT_EQ(header.title, "Quorvel - Email Header Settings");
    EXPECT_EQ(header.headings, (std::vector<std::string>{"What", "Matches", "Case", "Del?", "Hits"}));
}

TEST_F(OptionsMain, ColumnWidthsGoToTheSettingsStoreAndComeBack) {
    SettingsStore store(fake.folder.file("settings"));
    options.rules.gridFrom.setColWidth(3, 321);
    options.rules.gridExcept.setColWidth(6, 33);
    options.writeColumnWidths(store);
    EXPECT_EQ(store.readInteger("Sender", "col3", 0), 321);
    EXPECT_EQ(store.readInteger("Exceptions", "col6", 0), 33);
    store.writeInteger("Subject", "col2", 250);
    store.writeInteger("Headers", "col1", -5);  // refused: the width stays
    TfrmOptionsMain other(fake.platform);
    const int headerWidth = other.rules.gridHeader.colWidth(1);
    other.readColumnWidths(store);
    EXPECT_EQ(other.rules.gridSubject.colWidth(2), 250);
    EXPECT_EQ(other.rules.gridFrom.colWidth(3), 321);
    EXPECT_EQ(other.rules.gridHeader.colWidth(1), headerWidth);
    // Cancel reads the rules back, not the widths.
    other.btCancelClick();
    EXPECT_EQ(other.rules.gridSubject.colWidth(2), 250);
}

TEST_F(OptionsMain, HelpOpensTopic100AndTheCounterResetsOnYes) {
    options.btHelpClick();
    EXPECT_EQ(fake.shell.help, std::vector<std::string>{fake.folder.file("quorvel.hlp") + "#100"});
    options.edUnknown.text = "41";
    fake.dialogs.answers = {ModalResult::No, ModalResult::Yes};
    options.btClearClick();
    EXPECT_EQ(options.edUnknown.text, "41");
    options.btClearClick();
    EXPECT_EQ(options.edUnknown.text, "0");
    EXPECT_EQ(texts(), std::vector<std::string>(2, "Really clear out unknown count?"));
}

}  // namespace
}  // namespace quorvel
