#include "config/frm_options_main.h"

#include <algorithm>
#include <exception>

#include "config/rule_file.h"
#include "platform/convert.h"
#include "platform/files.h"

namespace quorvel {

namespace {

constexpr const char* kHelpFile = "quorvel.hlp";

bool isControlOrSpace(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u <= ' ' || u == 0x7F;
}

}  // namespace

std::string trimControls(const std::string& text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && isControlOrSpace(text[begin])) ++begin;
    while (end > begin && isControlOrSpace(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

RuleGrid::RuleGrid(Id id, RuleTable& table) : id(id), table(table) {
    const char* word = id == Except ? "Exceptions" : "Conditions";
    lblCount.caption = std::string("1 ") + word;
    btAdd = captioned("&Insert");
    btEdit = captioned("&Edit");
    btDelete = captioned("&Delete");
    btPrint = captioned("&Print");
    btImport = captioned("I&mport");
    btImport.visible = id == Subject || id == Except;
    btUp = captioned("", "Move item up one row");
    btUp.picture = "arrowUp";
    btDown = captioned("", "Move item down one row");
    btDown.picture = "arrowDown";
    switch (id) {
        case Subject:
            name = "gridSubject";
            section = "Subject";
            printTitle = "Quorvel - Subject Line Settings";
            editable = {2, 5};
            sortable = {2, 5};
            break;
        case Header:
            name = "gridHeader";
            section = "Headers";
            printTitle = "Quorvel - Email Header Settings";
            editable = {5};
            sortable = {2, 5};
            break;
        case Sender:
            name = "gridFrom";
            section = "Sender";
            printTitle = "Quorvel - Sender Settings";
            editable = {3, 5};
            sortable = {3, 5};
            patternColumn = initialSortColumn = 3;
            break;
        case Except:
            name = "gridExcept";
            section = "Exceptions";
            printTitle = "Quorvel - List of Exceptions ";
            editable = {2, 4};
            sortable = {0, 2, 4};
            break;
    }
}

bool RuleGrid::isEditable(int col) const { return std::find(editable.begin(), editable.end(), col) != editable.end(); }
bool RuleGrid::isSortable(int col) const { return std::find(sortable.begin(), sortable.end(), col) != sortable.end(); }

TfrmOptionsMain::TfrmOptionsMain(Platform& platform)
    : Form("frmOptionsMain", "Spam Settings"), rules(platform.programFolder), platform_(platform) {
    lblSubject = captioned("If a subject line matches the criteria below the email will be considered a SPAM");
    lblHeaders = captioned("If an e-mail header matches a criteria below it will be considered a SPAM.");
    lblSender = captioned("If a message is from someone matching a pattern below it will be considered a SPAM");
    lblSize = captioned(
        "Note: Only messages with a check mark will be deleted.  The question mark is to notify you of a potential "
        "spam message to delete.");
    lblExceptions =
        captioned("Always accept e-mail under the following conditions. Message will be marked with a bitmap.");
    lblBlackList = captioned(
        "This is an editable list of the e-mail addresses and domain names of known spammers collected from various "
        "public sources on the internet.   You may add or delete from this list.");
    lblValid = captioned(
        "Quorvel can check the reply-to field of a message for a valid domain name.  An invalid domain name is a "
        "good indicator of junk e-mail.");
    lblDomain = captioned(
        "The domain name is the part of an e-mail address after the @ symbol: in john@example.com the domain name "
        "is example.com.");

    cbSmaller = captioned("If the message size is smaller than");
    cbLarger = captioned("If the message size is larger than");
    for (Control* c : {&lblSmallerBytes, &lblLargerBytes}) c->caption = "bytes, ";
    for (Control* c : {&lblSmallerMark, &lblLargerMark}) c->caption = "then mark the message with a";
    for (Control* c : {&rbSmallerCheck, &rbLargerCheck}) c->caption = "check mark";
    for (Control* c : {&rbSmallerQuestion, &rbLargerQuestion}) c->caption = "question";

    cbKnownSpammers = captioned("Compare e-mail with this list of known spammers. Will be marked with :");
    cbKnownSpammers.picture = "B2";
    lblSpammers.caption = "0 Spammers";

    cbValid = captioned("Check for valid domain names within the senders e-mail address?");
    lblInvalid = captioned("If the domain name is invalid or unknown mark the message with:");
    rbCheck = captioned("&check mark");
    rbQuestion = captioned("&question mark");
    lblValidNote = captioned("Note: Only messages with a check mark will be deleted.");
    lblUnknown = captioned("unknown domains have been detected");
    btClear = captioned("Reset counter");

    lblLearning = captioned(
        "Quorvel learns what spam is from your own decisions: the messages you delete, the marks you clear, the "
        "exceptions you make and the messages you call spam or not spam in the list's menu. It judges the header "
        "lines of each new message by what it has learned.");
    cbLearning = captioned("Learn from my decisions and judge new messages by what was learned");
    cbLearnFromKept = captioned("Learn from messages I keep",
                                "When you delete, the unmarked messages you leave on the server are learned as wanted.");
    cbDeleteLearned = captioned("Delete what Quorvel has learned is spam");
    lblDeleteNote = captioned(
        "Off: what it has learned is spam gets the question mark, and only you decide what is deleted.");
    lblCutoffs = captioned("Mark messages:");
    cbCutoffs.items.assign(kCutoffNames.begin(), kCutoffNames.end());
    cbCutoffs.hint = "Cautious marks only what is surely spam; eager marks more, and is wrong more often.";
    lblSource = captioned("The messages in the folder or file are:");
    rbSourceSpam = captioned("&spam");
    rbSourceHam = captioned("&wanted mail");
    rbSourceSpam.checked = true;
    btLearnFolder = captioned("Learn from a mail &folder...", "A maildir folder, or a folder of saved .eml messages");
    btLearnFile = captioned("Learn from a mailbox f&ile...",
                            "An mbox file (a mail program's Junk or Inbox file), or one saved .eml message");
    btLearnCancel = captioned("Cancel");
    btForget = captioned("Forget everything");
    for (Control* c : {&pbLearning, &lblLearnProgress, &btLearnCancel}) c->visible = false;

    btOK = captioned("OK");
    btCancel = captioned("Cancel");
    btHelp = captioned("&Help");
    pnlProgress.visible = false;

    edUnknown.text.assign(1, '0');  // not = "0": g++ 12 warns falsely (-Wrestrict) on that
    setKnownList(nullptr);
    readSettings();
}

TfrmOptionsMain::~TfrmOptionsMain() = default;

RuleGrid& TfrmOptionsMain::grid(RuleGrid::Id id) {
    return *grids()[static_cast<std::size_t>(id)];
}

void TfrmOptionsMain::setKnownList(KnownList* list) {
    memo1_ = std::make_unique<KnownListEditor>(list ? *list : ownList_,
                                               joinPath(platform_.programFolder, kKnownListFileName));
}

void TfrmOptionsMain::readSettings() {
    // Column widths belong to the view, not to the rules: reading the rules
    // back (Cancel) keeps the widths the user has set.
    std::vector<std::vector<int>> widths;
    for (RuleGrid* g : grids()) {
        widths.emplace_back();
        for (int col = 0; col < g->table.colCount(); ++col) widths.back().push_back(g->table.colWidth(col));
    }
    try {
        rules.readSettings();
    } catch (const std::exception& error) {
        // The other tables and the options are loaded; the program goes on.
        platform_.dialogs.messageBox(MessageKind::Error, error.what());
    }
    if (widthsSet_)
        for (RuleGrid* g : grids())
            for (int col = 0; col < g->table.colCount(); ++col)
                g->table.setColWidth(col, widths[static_cast<std::size_t>(g->id)][static_cast<std::size_t>(col)]);
    widthsSet_ = true;
    edUnknown.text = rules.options.unknownNum;
    for (RuleGrid* g : grids()) g->Row = std::clamp(g->Row, 1, g->table.ruleCount());
    showOptions();
    changed();
}

void TfrmOptionsMain::Savesettings() {
    rules.options.unknownNum = edUnknown.text;
    rules.Savesettings();
}

void TfrmOptionsMain::insertFirstRule(const HeaderRuleRow& row) {
    RuleTable& table = rules.gridHeader;
    makeFirstRuleRow(table);
    const std::string cells[] = {row.what, row.matches, row.caseSensitive, row.del, row.hits};
    for (int col = 1; col <= 5; ++col) table.setCell(col, 1, cells[col - 1]);
    CheckGridAdv(table, 1, row.del == "Yes");
    changed();
}

bool TfrmOptionsMain::fillBlankMailboxRule(int mailbox, const std::string& address) {
    static constexpr std::string_view kMarker = " - MailBox #";
    RuleTable& table = rules.gridHeader;
    const std::string number = std::to_string(mailbox);
    for (int row = 1; row < table.rowCount() && !table.cell(1, row).empty(); ++row) {
        if (table.cell(1, row) != "To does not contain") continue;
        const std::string& text = table.cell(2, row);
        const std::size_t marker = text.find(kMarker);
        if (marker == std::string::npos || !IsBlank(std::string_view(text).substr(0, marker)) ||
            text.substr(marker + kMarker.size()) != number)
            continue;
        table.setCell(2, row, address + text.substr(marker));
        changed();
        return true;
    }
    return false;
}

void TfrmOptionsMain::readColumnWidths(SettingsStore& store) {
    for (RuleGrid* g : grids())
        for (int col = 0; col < g->table.colCount(); ++col)
            g->table.setColWidth(col, store.readInteger(g->section, "col" + std::to_string(col), g->table.colWidth(col)));
}

void TfrmOptionsMain::writeColumnWidths(SettingsStore& store) const {
    for (const RuleGrid* g : {&gridSubject, &gridHeader, &gridFrom, &gridExcept})
        for (int col = 0; col < g->table.colCount(); ++col)
            store.writeInteger(g->section, "col" + std::to_string(col), g->table.colWidth(col));
}

// --- Showing, OK, Cancel ---------------------------------------------------

void TfrmOptionsMain::showOptions() {
    const SpamOptions& o = rules.options;
    cbSmaller.checked = o.QSmaller;
    nSmaller.value = std::clamp(o.smallerNum, 0, kSmallerMax);
    rbSmallerCheck.checked = o.smallerCheck;
    rbSmallerQuestion.checked = !o.smallerCheck;
    cbLarger.checked = o.QLarger;
    nLarger.value = std::clamp(o.largerNum, 0, kLargerMax);
    rbLargerCheck.checked = o.largerCheck;
    rbLargerQuestion.checked = !o.largerCheck;
    cbKnownSpammers.checked = o.QMonitor;
    cbValid.checked = o.Valid;
    pnlValid.visible = o.Valid;
    rbCheck.checked = o.Question;
    rbQuestion.checked = !o.Question;
    cbLearning.checked = o.learning;
    cbLearnFromKept.checked = o.learnFromKept;
    cbDeleteLearned.checked = o.deleteLearnedSpam;
    cbCutoffs.itemIndex = o.learningLevel - kCautiousLearning;
    applySizeEnabling();
}

void TfrmOptionsMain::applySizeEnabling() {
    for (Control* c : {&nSmaller, &rbSmallerCheck, &rbSmallerQuestion}) c->enabled = cbSmaller.checked;
    for (Control* c : {&nLarger, &rbLargerCheck, &rbLargerQuestion}) c->enabled = cbLarger.checked;
}

void TfrmOptionsMain::FormShow() {
    Batch batch(*this);
    modalResult = ModalResult::None;
    memo1_->LoadMemoofKnownSpammers();
    showOptions();
    rules.SetGridHeadings();
    updateCounts();
    showLearning();
    changed();
}

void TfrmOptionsMain::updateCounts() {
    for (RuleGrid* g : grids())
        g->lblCount.caption =
            std::to_string(g->table.ruleCount()) + (g->id == RuleGrid::Except ? " Exceptions" : " Conditions");
    lblSpammers.caption = std::to_string(memo1_->lineCount()) + " Spammers";
    changed();
}

void TfrmOptionsMain::btOKClick() {
    if (busy_) return;
    rules.deleteDuplicateRules();
    for (RuleGrid* g : grids()) g->Row = std::clamp(g->Row, 1, g->table.ruleCount());
    Savesettings();
    if (memo1_->btSaveChanges.enabled) memo1_->btSaveChangesClick();
    modalResult = ModalResult::Ok;
    changed();
}

void TfrmOptionsMain::btCancelClick() {
    if (busy_) return;
    readSettings();
    if (memo1_->btCancelChanges.enabled) memo1_->btCancelChangesClick();
    modalResult = ModalResult::Cancel;
    changed();
}

void TfrmOptionsMain::btHelpClick() {
    if (!platform_.shell.showHelp(joinPath(platform_.programFolder, kHelpFile), kHelpContext))
        platform_.dialogs.messageBox(MessageKind::Error, "Unable to open help file - quorvel.hlp.");
}

// --- Table commands --------------------------------------------------------

int TfrmOptionsMain::rowForNewRule(RuleTable& table) const {
    if (table.ruleCount() == 1 && table.cell(1, 1).empty()) return 1;
    table.insertRow(table.rowCount());
    return table.rowCount() - 1;
}

void TfrmOptionsMain::insertRule(RuleGrid& g) {
    if (busy_) return;
    if (!runRuleDialog(g, 0, true)) return;
    RuleTable& table = g.table;
    int row = 1;
    if (!(table.ruleCount() == 1 && table.cell(1, 1).empty())) {
        row = std::clamp(g.Row, 1, table.ruleCount());
        table.insertRow(row);
    }
    writeDialogRow(g, row);
    g.Row = row;
    updateCounts();
}

void TfrmOptionsMain::editRule(RuleGrid& g) {
    if (busy_) return;
    const int row = std::clamp(g.Row, 1, g.table.ruleCount());
    if (g.table.cell(1, row).empty()) {
        platform_.dialogs.messageBox(g.id == RuleGrid::Sender ? MessageKind::Information : MessageKind::Error,
                                     "Error: nothing selected to edit");
        return;
    }
    if (!runRuleDialog(g, row, false)) return;
    writeDialogRow(g, row);
    if (g.id == RuleGrid::Subject || g.id == RuleGrid::Header)
        updateCounts();
    else
        changed();
}

void TfrmOptionsMain::deleteRule(RuleGrid& g) {
    if (busy_) return;
    const int row = std::clamp(g.Row, 1, g.table.ruleCount());
    g.table.deleteRow(row);  // the last rule row is cleared instead
    g.Row = std::clamp(row, 1, g.table.ruleCount());
    updateCounts();
}

void TfrmOptionsMain::btUpSubjectClick(RuleGrid& g) {
    if (busy_ || g.Row <= 1 || g.Row > g.table.ruleCount()) return;
    g.table.moveRow(g.Row, g.Row - 1);
    --g.Row;
    changed();
}

void TfrmOptionsMain::btDownSubjectClick(RuleGrid& g) {
    if (busy_ || g.Row < 1 || g.Row >= g.table.ruleCount()) return;
    g.table.moveRow(g.Row, g.Row + 1);
    ++g.Row;
    changed();
}

PrintedTable TfrmOptionsMain::printedTable(const RuleGrid& g) const {
    PrintedTable printed;
    const FormatSettings& locale = platform_.clock.formatSettings();
    const TDateTime now = platform_.clock.now();
    printed.title = g.printTitle;
    printed.date = formatDateTime("ddddd", now, locale);
    printed.time = formatDateTime("t", now, locale);
    const RuleTable& table = g.table;
    std::vector<int> columns;
    for (int col = 0; col < table.visibleColCount(); ++col)
        if (col != table.imageColumn()) columns.push_back(col);
    for (const int col : columns) {
        printed.headings.push_back(table.cell(col, 0));
        printed.widths.push_back(table.colWidth(col));
        printed.alignRight.push_back(col == hitsColumn(table.kind()));
    }
    for (int row = 1; row < table.rowCount(); ++row) {
        std::vector<std::string> cells;
        for (const int col : columns) cells.push_back(table.cell(col, row));
        printed.rows.push_back(std::move(cells));
    }
    return printed;
}

void TfrmOptionsMain::printRules(RuleGrid& g) {
    if (busy_) return;
    quorvel::SetGridHeadings(g.table);
    platform_.dialogs.printTable(printedTable(g));
}

// --- The table view --------------------------------------------------------

void TfrmOptionsMain::setRow(RuleGrid& g, int row) {
    g.Row = std::clamp(row, 1, g.table.ruleCount());
}

bool TfrmOptionsMain::setCellText(RuleGrid& g, int col, int row, const std::string& text) {
    if (busy_ || !g.isEditable(col) || row < 1 || row > g.table.ruleCount()) return false;
    if (col != hitsColumn(g.table.kind())) {
        if (g.table.cell(col, row) != text) g.table.setCell(col, row, text);
        return true;
    }
    // Hits: digits only, read as a number that fits the counter.
    if (text.empty() || text.size() > 18 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    const long long value = std::stoll(text);
    if (value > 2147483647LL) return false;
    const std::string shown = std::to_string(value);
    if (g.table.cell(col, row) != shown) g.table.setCell(col, row, shown);
    return true;
}

void TfrmOptionsMain::sortBy(RuleGrid& g, int col) {
    if (busy_ || !g.isSortable(col)) return;
    // A first sort by a column is ascending; sorting by it again turns the order round.
    g.sortAscending = g.sortColumn == col ? !g.sortAscending : true;
    g.sortColumn = col;
    sortRuleTable(g.table, col, g.sortAscending, col == hitsColumn(g.table.kind()));
    changed();
}

// --- Imports ---------------------------------------------------------------

template <typename Write>
void TfrmOptionsMain::importLines(const std::vector<std::string>& lines, RuleGrid& g, Write write) {
    busy_ = true;
    struct Done {
        TfrmOptionsMain& form;
        ~Done() {
            form.busy_ = false;
            form.pnlProgress.visible = false;
        }
    } done{*this};
    const std::size_t total = lines.size();
    for (std::size_t i = 0; i < total; ++i) {
        if (i > 0 && i % kImportSlice == 0) {
            pnlProgress.caption =
                "Importing line " + std::to_string(i) + " of " + std::to_string(total) + " ... stand by";
            pnlProgress.visible = true;
            changed();
            platform_.pump.processEvents();
        }
        const std::string text = trimControls(lines[i]);
        // A line of blanks and control characters only would make a rule
        // with an empty pattern.
        if (text.empty()) continue;
        if (g.table.rowCount() >= kMaxRuleRows) {
            platform_.dialogs.messageBox(MessageKind::Warning,
                                         "The table is full: " + std::to_string(total - i) + " lines were not imported.");
            break;
        }
        write(rowForNewRule(g.table), text);
    }
    busy_ = false;
    pnlProgress.visible = false;
    changed();
}

void TfrmOptionsMain::importKeywords(const std::vector<std::string>& lines) {
    RuleTable& table = gridSubject.table;
    importLines(lines, gridSubject, [&](int row, const std::string& text) {
        const std::string cells[] = {"Contains (whole word)", text, "No", "Yes", "0"};
        for (int col = 1; col <= 5; ++col) table.setCell(col, row, cells[col - 1]);
        CheckGridAdv(table, row, true);
    });
}

void TfrmOptionsMain::importExceptions(const std::vector<std::string>& lines) {
    RuleTable& table = gridExcept.table;
    importLines(lines, gridExcept, [&](int row, const std::string& text) {
        const std::string cells[] = {"E-mail address", "Equals", text, "No", "0"};
        for (int col = 0; col <= 4; ++col) table.setCell(col, row, cells[col]);
        table.setCell(6, row, std::to_string(kFirstExceptionImage));
        table.setImage(row, kFirstExceptionImage);
    });
}

void TfrmOptionsMain::btImportClick() {
    if (busy_) return;
    importKeywords(runImportDialog("Import spam keywords"));
    // Confirmed or not, the tables are saved.
    Savesettings();
    updateCounts();
}

void TfrmOptionsMain::btImportExceptionsClick() {
    if (busy_) return;
    importExceptions(runImportDialog("Import e-mail addresses"));
    Savesettings();
    updateCounts();
}

// --- Size, BlackList, Valid Domains ----------------------------------------

void TfrmOptionsMain::cbSmallerClick() {
    rules.options.QSmaller = cbSmaller.checked;
    applySizeEnabling();
    changed();
}

void TfrmOptionsMain::cbLargerClick() {
    rules.options.QLarger = cbLarger.checked;
    applySizeEnabling();
    changed();
}

void TfrmOptionsMain::rbSmallerCheckClick(bool check) {
    rbSmallerCheck.checked = check;
    rbSmallerQuestion.checked = !check;
    rules.options.smallerCheck = check;
    changed();
}

void TfrmOptionsMain::rbLargerCheckClick(bool check) {
    rbLargerCheck.checked = check;
    rbLargerQuestion.checked = !check;
    rules.options.largerCheck = check;
    changed();
}

void TfrmOptionsMain::nSmallerChange(int value) {
    nSmaller.value = std::clamp(value, 0, kSmallerMax);
    rules.options.smallerNum = nSmaller.value;
    changed();
}

void TfrmOptionsMain::nLargerChange(int value) {
    nLarger.value = std::clamp(value, 0, kLargerMax);
    rules.options.largerNum = nLarger.value;
    changed();
}

void TfrmOptionsMain::cbKnownSpammersClick() {
    rules.options.QMonitor = cbKnownSpammers.checked;
    changed();
}

void TfrmOptionsMain::cbValidClick() {
    rules.options.Valid = cbValid.checked;
    pnlValid.visible = cbValid.checked;
    changed();
}

void TfrmOptionsMain::rbCheckClick(bool check) {
    rbCheck.checked = check;
    rbQuestion.checked = !check;
    rules.options.Question = check;
    changed();
}

void TfrmOptionsMain::btClearClick() {
    if (platform_.dialogs.messageBox(MessageKind::Confirmation, "Really clear out unknown count?",
                                     MessageButtons::YesNo) == ModalResult::Yes)
        edUnknown.text.assign(1, '0');
    changed();
}

void TfrmOptionsMain::btEditKnownClick() {
    memo1_->btEditKnownClick();
    changed();
}

void TfrmOptionsMain::btSaveChangesClick() {
    memo1_->btSaveChangesClick();
    updateCounts();
}

void TfrmOptionsMain::btCancelChangesClick() {
    memo1_->btCancelChangesClick();
    updateCounts();
}

}  // namespace quorvel
