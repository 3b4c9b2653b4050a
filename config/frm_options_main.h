#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "config/frm_general.h"
#include "config/known_list.h"
#include "config/known_list_editor.h"
#include "config/learning_service.h"
#include "config/settings_store.h"
#include "config/spam_rules.h"
#include "platform/form.h"
#include "platform/platform.h"

namespace quorvel {

class RuleDialogs;

// One of the four rule tables as the window shows it: the table, its buttons,
// its count label, the row the user is on and how it was last sorted.
struct RuleGrid {
    enum Id { Subject, Header, Sender, Except };

    RuleGrid(Id id, RuleTable& table);

    Id id;
    RuleTable& table;
    // Names: "gridSubject", and the settings store's section of its widths.
    std::string name, section;
    // "Quorvel - Subject Line Settings" ...
    std::string printTitle;
    // Cells the user may edit in place, columns that sort, the column drawn
    // bold or blue, and the column a first sort uses.
    std::vector<int> editable, sortable;
    int patternColumn = 2;
    int initialSortColumn = 2;

    Control lblCount;  // "3 Conditions"
    Control btAdd, btEdit, btDelete, btPrint, btImport, btUp, btDown;

    int Row = 1;          // the current rule row (1..n)
    int sortColumn = -1;  // the column last sorted by, -1 before any sort
    bool sortAscending = true;

    bool isEditable(int col) const;
    bool isSortable(int col) const;
};

// The spam settings window's logic. It owns the live rule tables and option
// values for the whole run: the classification reads them from here, and an
// edit takes effect at once.
class TfrmOptionsMain : public Form, public HeaderRules {
public:
    static constexpr std::array<const char*, 8> kTabs = {"Subject",    "Headers",   "Sender",        "Size",
                                                        "Exceptions", "BlackList", "Valid Domains", "Learning"};
    // The cut-off presets of the learned judge, from cautious to eager.
    static constexpr std::array<const char*, kEagerLearning - kCautiousLearning + 1> kCutoffNames = {
        "Cautious", "Careful", "Balanced", "Keen", "Eager"};
    // A learning run redraws its progress at most this many times.
    static constexpr int kLearningRedraws = 100;
    static constexpr int kHelpContext = 100;
    static constexpr int kSmallerMax = 100000;
    static constexpr int kSmallerStep = 1;
    static constexpr int kLargerMax = 99999999;
    static constexpr int kLargerStep = 100;
    static constexpr int kSizeDigits = 10;
    // Imported lines are taken in slices of this many; between slices the
    // window shows the progress and answers the user.
    static constexpr int kImportSlice = 2000;

    // Creation loads the rule tables and the option values.
    explicit TfrmOptionsMain(Platform& platform);
    ~TfrmOptionsMain() override;

    SpamRules rules;

    // The tabs and their explanatory labels.
    std::string activePage = kTabs[0];
    Control lblSubject, lblHeaders, lblSender, lblSize, lblExceptions, lblBlackList, lblValid, lblDomain;

    RuleGrid gridSubject{RuleGrid::Subject, rules.gridSubject};
    RuleGrid gridHeader{RuleGrid::Header, rules.gridHeader};
    RuleGrid gridFrom{RuleGrid::Sender, rules.gridFrom};
    RuleGrid gridExcept{RuleGrid::Except, rules.gridExcept};
    RuleGrid& grid(RuleGrid::Id id);
    std::array<RuleGrid*, 4> grids() { return {&gridSubject, &gridHeader, &gridFrom, &gridExcept}; }

    // "Size".
    Control cbSmaller, nSmaller, lblSmallerBytes, lblSmallerMark, rbSmallerCheck, rbSmallerQuestion;
    Control cbLarger, nLarger, lblLargerBytes, lblLargerMark, rbLargerCheck, rbLargerQuestion;
    // "BlackList": the check box and the editor of "known.lst".
    Control cbKnownSpammers, lblSpammers;
    KnownListEditor& memo1() { return *memo1_; }
    // "Valid Domains".
    Control cbValid, pnlValid, lblInvalid, rbCheck, rbQuestion, lblValidNote, lblUnknown, btClear;
    // The count of unknown domains found so far, as the window shows it.
    Control edUnknown;
    // "Learning".
    Control lblLearning, cbLearning, lblLearned, lblNeeded, cbLearnFromKept, cbDeleteLearned, lblDeleteNote,
        lblCutoffs, cbCutoffs, lblPreview, lblSource, rbSourceSpam, rbSourceHam, btLearnFolder, btLearnFile,
        pbLearning, lblLearnProgress, btLearnCancel, btForget;
    // The progress bar's maximum: the messages of the run.
    int learningTotal = 0;
    // Below the tabs.
    Control btOK, btCancel, btHelp;
    // Shown while an import is taken in: how far it is.
    Control pnlProgress;

    // The list the classification searches; "&Save" rebuilds it.
    void setKnownList(KnownList* list);
    // The rule dialogs, made at start-up.
    void setRuleDialogs(RuleDialogs* dialogs) { dialogs_ = dialogs; }
    // The learned model and the main window's list, behind the "Learning" tab.
    void setLearning(LearningService* service);

    // Loads the four tables and the option values; a corrupt rule file is
    // reported once the others are in.
    void readSettings();
    // Saves the four tables and the option values, the counter included.
    void Savesettings() override;
    // Puts a header rule first (the general settings' first-run mailbox rule).
    void insertFirstRule(const HeaderRuleRow& row) override;
    bool fillBlankMailboxRule(int mailbox, const std::string& address) override;

    // The column widths kept in the settings store: read at start-up,
    // written at exit.
    void readColumnWidths(SettingsStore& store);
    void writeColumnWidths(SettingsStore& store) const;

    // Each showing.
    void FormShow();
    void updateCounts();
    void btOKClick();
    void btCancelClick();
    void btHelpClick();

    // Table commands, by table.
    void btAddSubjectClick() { insertRule(gridSubject); }
    void btAddHeaderClick() { insertRule(gridHeader); }
    void btAddFromClick() { insertRule(gridFrom); }
    void btAddExceptClick() { insertRule(gridExcept); }
    void btEditSubjectClick() { editRule(gridSubject); }
    void btEditHeaderClick() { editRule(gridHeader); }
    void btEditFromClick() { editRule(gridFrom); }
    void btEditExceptClick() { editRule(gridExcept); }
    void btDelSubjectClick() { deleteRule(gridSubject); }
    void btDeleteHeaderClick() { deleteRule(gridHeader); }
    void btDelFromClick() { deleteRule(gridFrom); }
    void btDelExceptClick() { deleteRule(gridExcept); }
    void btPrintSubjectClick() { printRules(gridSubject); }
    void btPrintHeaderClick() { printRules(gridHeader); }
    void btPrintFromClick() { printRules(gridFrom); }
    void btPrintExceptClick() { printRules(gridExcept); }
    // Shared by the four tables.
    void btUpSubjectClick(RuleGrid& g);
    void btDownSubjectClick(RuleGrid& g);
    void btImportClick();
    void btImportExceptionsClick();

    void insertRule(RuleGrid& g);
    void editRule(RuleGrid& g);
    void deleteRule(RuleGrid& g);
    void printRules(RuleGrid& g);
    // What the print dialog gets for a table.
    PrintedTable printedTable(const RuleGrid& g) const;

    // The table view: the user moves to a row, edits a cell in place, sorts
    // by a column heading. An edit that is refused returns false and leaves
    // the cell as it was.
    void setRow(RuleGrid& g, int row);
    bool setCellText(RuleGrid& g, int col, int row, const std::string& text);
    void sortBy(RuleGrid& g, int col);

    // The lines of an import, processed as the import commands do after the
    // dialog; exposed for the window's progress and for tests.
    void importKeywords(const std::vector<std::string>& lines);
    void importExceptions(const std::vector<std::string>& lines);
    // True while an import or a learning run is being taken in: the
    // commands wait for it (a learning run's Cancel excepted).
    bool busy() const { return busy_; }
    bool learningRunning() const { return learningRunning_; }

    // "Size".
    void cbSmallerClick();
    void cbLargerClick();
    void rbSmallerCheckClick(bool check);
    void rbLargerCheckClick(bool check);
    void nSmallerChange(int value);
    void nLargerChange(int value);
    // "BlackList" and "Valid Domains".
    void cbKnownSpammersClick();
    void cbValidClick();
    void rbCheckClick(bool check);
    void btClearClick();
    void btEditKnownClick();
    void btSaveChangesClick();
    void btCancelChangesClick();
    // "Learning".
    void cbLearningClick();
    void cbLearnFromKeptClick();
    void cbDeleteLearnedClick();
    void cbCutoffsChange();
    void rbSourceClick(bool spam);
    void btLearnFolderClick();
    void btLearnFileClick();
    // Learns the messages at `path` as the source choice says, with progress.
    void learnFrom(const std::string& path);
    void btLearnCancelClick();
    void btForgetClick();
    // What the model holds now, and the preview over the listed messages.
    void showLearning();

private:
    void showOptions();
    void applySizeEnabling();
    // Fills the single empty rule row, or appends one at the end.
    int rowForNewRule(RuleTable& table) const;
    template <typename Write>
    void importLines(const std::vector<std::string>& lines, RuleGrid& g, Write write);
    // Opens the table's rule dialog for a new rule or filled from a row;
    // true when the user confirmed it. writeDialogRow then writes its values.
    bool runRuleDialog(RuleGrid& g, int row, bool isNew);
    void writeDialogRow(RuleGrid& g, int row);
    std::vector<std::string> runImportDialog(const std::string& title);

    Platform& platform_;
    RuleDialogs* dialogs_ = nullptr;
    KnownList ownList_;  // until the main window hands its list over
    std::unique_ptr<KnownListEditor> memo1_;
    bool busy_ = false;
    LearningService* learning_ = nullptr;
    bool learningRunning_ = false;
    bool learningCancelled_ = false;
    bool widthsSet_ = false;  // after the first load, the widths are the view's
};

// Trims the leading and trailing spaces and control characters of a line.
std::string trimControls(const std::string& text);

}  // namespace quorvel
