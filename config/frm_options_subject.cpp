#include "config/frm_options_subject.h"

#include "platform/ascii_text.h"

namespace quorvel {

namespace {

const std::vector<std::string> kSuggestions = {
    "!!",         "$$",          "==",          "adult site",   "adults only", "advertise",  "advertising",
    "bulk",       "buy",         "call 800",    "dollar",       "exciting",    "extra income", "for only",
    "free",       "guaranteed",  "help wanted", "huge",         "income",      "incredible deal", "lottery",
    "make money", "market",      "million",     "MLM",          "mlm",         "naked",      "nude",
    "offer",      "opportunity", "please read", "profit",       "read this",   "rich",       "save $",
    "secret",     "sex",         "spam",        "specials",     "weight",      "win $",      "women",
    "work at home", "XXX"};

}  // namespace

TfrmOptionsSubject::TfrmOptionsSubject(Dialogs& dialogs)
    : RuleDialog("frmOptionsSubject", "Subject line options", RuleTableKind::Subject, dialogs) {
    lblHeading.caption = "The Subject line characteristics";
    lblExplanation.caption =
        "If text in the subject line follows any of these patterns it will be marked for deletion since it looks "
        "like a potential spam.";
    lblSubject.caption = "The subject line:";
    cbWhat.items = operatorItems(kOperators);
    edit1.items = kSuggestions;
    cbCase.caption = "&Check if case matters (upper/lower)";
    lblMark.caption = "Mark message with :";
    rbCheck.caption = "check &mark";
    rbQuestion.caption = "&question mark";
    lblNote.caption = "Note: Only messages with a check mark will be deleted.";
    newRule();
}

void TfrmOptionsSubject::newRule() {
    Batch batch(*this);
    modalResult = ModalResult::None;
    focusedControl.clear();
    cbWhat.itemIndex = 0;
    edit1.text.clear();
    cbCase.checked = false;
    setMark(rbCheck, rbQuestion, true);
    cbWhatClick();
}

void TfrmOptionsSubject::fillFromRow(const RuleTable& table, int row) {
    Batch batch(*this);
    modalResult = ModalResult::None;
    focusedControl.clear();
    cbWhat.itemIndex = operatorIndex(table.cell(1, row), kOperators);
    edit1.text = table.cell(2, row);
    cbCase.checked = table.cell(3, row) == "Yes";
    setMark(rbCheck, rbQuestion, table.cell(4, row) == "Yes");
    cbWhatClick();
}

void TfrmOptionsSubject::writeRow(RuleTable& table, int row) const {
    const std::string keyword = storedKeyword(cbWhat.itemIndex);
    const bool characterTest = keyword == kOpIsBlank || keyword == kOpIsUppercase;
    table.setCell(1, row, keyword);
    table.setCell(2, row, characterTest ? std::string() : edit1.text);
    table.setCell(3, row, characterTest ? "" : yesNo(cbCase.checked));
    table.setCell(4, row, yesNo(rbCheck.checked));
    if (table.cell(5, row).empty()) table.setCell(5, row, "0");
    CheckGridAdv(table, row, rbCheck.checked);
}

std::optional<RuleDialog::Refusal> TfrmOptionsSubject::refusal() const {
    if (cbWhat.itemIndex < kPatternOperatorCount && IsBlank(edit1.text)) return Refusal{kBlankPattern, "edit1"};
    return std::nullopt;
}

void TfrmOptionsSubject::btOKClick() {
    if (refused()) return;
    edit1.text = TrimText(edit1.text);
    accept();
}

void TfrmOptionsSubject::cbWhatClick() {
    const bool pattern = cbWhat.itemIndex < kPatternOperatorCount;
    edit1.visible = pattern;
    cbCase.visible = pattern;
    updatePreview();
}

void TfrmOptionsSubject::edit1Change(const std::string& text) {
    edit1.text = text;
    updatePreview();
}

void TfrmOptionsSubject::cbCaseClick(bool checked) {
    cbCase.checked = checked;
    updatePreview();
}

void TfrmOptionsSubject::rbCheckClick() {
    setMark(rbCheck, rbQuestion, true);
    updatePreview();
}

void TfrmOptionsSubject::rbQuestionClick() {
    setMark(rbCheck, rbQuestion, false);
    updatePreview();
}

}  // namespace quorvel
