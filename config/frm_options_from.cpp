#include "config/frm_options_from.h"

#include "platform/ascii_text.h"

namespace quorvel {

namespace {

const std::vector<std::string> kSuggestions = {
    "bigbucks",  "bulkemail",  "business",      "cableguys",   "canceranswer", "careers",   "cash",
    "casino",    "clubmail",   "credaid",       "credaide",    "credit",       "directmail", "dontreply",
    "energy",    "erotic",     "floodgate",     "fortune",     "freedom",      "freesoftware", "friend",
    "friends",   "global",     "golf",          "gorgeousgirls", "health",     "help",      "helpcrdt",
    "homebiz",   "hotbabe69",  "important",     "info",        "internet",     "market",    "nobody",
    "opportunity", "platinum", "politics",      "profit",      "promotion",    "psychic",   "remove",
    "sales",     "scoop",      "selective.marketing", "sender", "sexy",        "stop",      "stopnow",
    "success",   "video",      "virtual",       "wealth",      "xxx"};

constexpr int kEmailAddress = 0;
constexpr int kDomainName = 1;
constexpr int kEquals = 2;
constexpr int kEndsWith = 4;

}  // namespace

TfrmOptionsFROM::TfrmOptionsFROM(Dialogs& dialogs, TfrmInternet& internet)
    : RuleDialog("frmOptionsFROM", "Sender characteristics", RuleTableKind::Sender, dialogs), internet_(internet) {
    lblHeading.caption = "The Sender characteristics";
    lblExplanation.caption =
        "If the sender matches the distinguishing characteristics below it will be marked for deletion.";
    lblSender.caption = "The sender's e-mail/domain address (as viewed on the main screen):";
    lblIncludes.caption = "An e-mail address includes the domain.";
    lblAfter.caption = "The domain is after the @ symbol.";
    lblHint.caption = "Hint:";
    lblExample1.caption = "x7k2q91@example.com is at least 1/2 numeric";
    lblExample2.caption = "4325154@example.com is ALL numeric";
    cbDomain.items = {std::string(kWhatEmailAddress), std::string(kWhatDomainName)};
    cbWhat.items = operatorItems(kOperators);
    edit1.items = kSuggestions;
    lblMark.caption = "Mark message with :";
    rbCheck.caption = "&check mark";
    rbQuestion.caption = "&question mark";
    lblNote.caption = "Note: Only messages with a check mark will be deleted.";
    btCountry.caption = "Block out a country";
    newRule();
}

void TfrmOptionsFROM::newRule() {
    Batch batch(*this);
    modalResult = ModalResult::None;
    focusedControl.clear();
    cbWhat.itemIndex = kEquals;
    cbDomain.itemIndex = kDomainName;
    edit1.text.clear();
    setMark(rbCheck, rbQuestion, true);
    btCountry.visible = true;
    lblCountry.caption.clear();
    cbWhatClick();
}

void TfrmOptionsFROM::fillFromRow(const RuleTable& table, int row) {
    Batch batch(*this);
    modalResult = ModalResult::None;
    focusedControl.clear();
    cbDomain.itemIndex = table.cell(1, row) == kWhatEmailAddress ? kEmailAddress : kDomainName;
    cbWhat.itemIndex = operatorIndex(table.cell(2, row), kOperators);
    setMark(rbCheck, rbQuestion, table.cell(4, row) == "Yes");
    edit1.text = cbWhat.itemIndex < kPatternOperatorCount ? table.cell(3, row) : std::string();
    btCountry.visible = false;
    lblCountry.caption.clear();
    cbWhatClick();
}

void TfrmOptionsFROM::writeRow(RuleTable& table, int row) const {
    table.setCell(1, row, std::string(cbDomain.itemIndex == kEmailAddress ? kWhatEmailAddress : kWhatDomainName));
    table.setCell(2, row, storedKeyword(cbWhat.itemIndex));
    table.setCell(3, row, cbWhat.itemIndex < kPatternOperatorCount ? edit1.text : std::string());
    table.setCell(4, row, yesNo(rbCheck.checked));
    if (table.cell(5, row).empty()) table.setCell(5, row, "0");
    CheckGridAdv(table, row, rbCheck.checked);
}

std::optional<RuleDialog::Refusal> TfrmOptionsFROM::refusal() const {
    if (edit1.visible && IsBlank(edit1.text)) return Refusal{kBlankSender, "edit1"};
    return std::nullopt;
}

void TfrmOptionsFROM::btOKClick() {
    if (refused()) return;
    if (!edit1.visible) edit1.text.clear();
    edit1.text = TrimText(edit1.text);
    accept();
}

void TfrmOptionsFROM::cbWhatClick() {
    edit1.visible = cbWhat.itemIndex < kPatternOperatorCount;
    updatePreview();
}

void TfrmOptionsFROM::btCountryClick() {
    internet_.FormShow();
    if (dialogs_.showModal(internet_) != ModalResult::Ok || internet_.suffix.empty()) return;
    Batch batch(*this);
    cbDomain.itemIndex = kDomainName;
    cbWhat.itemIndex = kEndsWith;
    edit1.text = internet_.suffix;
    lblCountry.caption = internet_.countryName;
    cbWhatClick();
}

void TfrmOptionsFROM::cbDomainClick() { updatePreview(); }

void TfrmOptionsFROM::edit1Change(const std::string& text) {
    edit1.text = text;
    updatePreview();
}

void TfrmOptionsFROM::rbCheckClick() {
    setMark(rbCheck, rbQuestion, true);
    updatePreview();
}

void TfrmOptionsFROM::rbQuestionClick() {
    setMark(rbCheck, rbQuestion, false);
    updatePreview();
}

}  // namespace quorvel
