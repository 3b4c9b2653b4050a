#include "config/frm_always_accept.h"

namespace quorvel {

namespace {

const std::vector<std::string> kLines = {"Subject:", "CC:", "Reply-To:", "To:", "Any Header"};

}  // namespace

TfrmAlwaysAccept::TfrmAlwaysAccept(Dialogs& dialogs)
    : RuleDialog("frmAlwaysAccept", "Accept e-mail from", RuleTableKind::Exception, dialogs) {
    lblHeading.caption = "Always accept e-mail when:";
    lblExplanation.caption = "Select an image to easily associate an incoming e-mail from a friend or mailing list.";
    rbEmail.caption = "The explicit e-mail address is:";
    rbDomain.caption = "The domain name is:";
    lblDomainHint.caption = "The domain is the part after the '@' symbol";
    rbSubject.caption = "When the";
    cbWhat.items = operatorItems(kOperators);
    cbCase.caption = "&Check if case matters (upper/lower)";
    newRule();
}

void TfrmAlwaysAccept::newRule() {
    Batch batch(*this);
    modalResult = ModalResult::None;
    focusedControl.clear();
    edEmail.text.clear();
    edDomain.text.clear();
    edSubject.text.clear();
    cbLine.items = kLines;
    cbLine.itemIndex = 0;
    cbWhat.itemIndex = 0;
    cbCase.checked = false;
    imgPicker.itemIndex = 0;
    choose(rbEmail);
}

void TfrmAlwaysAccept::fillFromRow(const RuleTable& table, int row) {
    Batch batch(*this);
    modalResult = ModalResult::None;
    focusedControl.clear();
    const std::string& what = table.cell(0, row);
    const std::string& matches = table.cell(2, row);
    edEmail.text.clear();
    edDomain.text.clear();
    edSubject.text.clear();
    cbLine.items = kLines;
    cbLine.itemIndex = 0;
    cbWhat.itemIndex = operatorIndex(table.cell(1, row), kOperators);
    cbCase.checked = table.cell(3, row) == "Yes";
    imgPicker.itemIndex = exceptionImageIndex(table, row) - kFirstExceptionImage;
    if (what == kWhatDomainName) {
        edDomain.text = matches;
        choose(rbDomain);
    } else if (what == kWhatEmailAddress) {
        edEmail.text = matches;
        choose(rbEmail);
    } else {
        edSubject.text = matches;
        const std::string line = what == "Subject" ? "Subject:" : what;
        cbLine.itemIndex = -1;
        for (std::size_t i = 0; i < cbLine.items.size(); ++i)
            if (cbLine.items[i] == line) cbLine.itemIndex = static_cast<int>(i);
        // A field the list does not name is listed too, so that OK keeps it.
        if (cbLine.itemIndex < 0) {
            cbLine.items.push_back(line);
            cbLine.itemIndex = static_cast<int>(cbLine.items.size()) - 1;
        }
        choose(rbSubject);
    }
}

void TfrmAlwaysAccept::writeRow(RuleTable& table, int row) const {
    if (rbDomain.checked) {
        table.setCell(0, row, std::string(kWhatDomainName));
        table.setCell(1, row, std::string(kOpEquals));
        table.setCell(2, row, edDomain.text);
    } else if (rbSubject.checked) {
        const bool listed = cbLine.itemIndex >= 0 && cbLine.itemIndex < static_cast<int>(cbLine.items.size());
        table.setCell(0, row, listed ? cbLine.items[static_cast<std::size_t>(cbLine.itemIndex)] : std::string());
        table.setCell(1, row, storedKeyword(cbWhat.itemIndex));
        table.setCell(2, row, edSubject.text);
    } else {
        table.setCell(0, row, std::string(kWhatEmailAddress));
        table.setCell(1, row, std::string(kOpEquals));
        table.setCell(2, row, edEmail.text);
    }
    table.setCell(3, row, yesNo(cbCase.checked));
    if (table.cell(4, row).empty()) table.setCell(4, row, "0");
    table.setCell(6, row, std::to_string(imageIndex()));
    table.setImage(row, imageIndex());
}

std::optional<RuleDialog::Refusal> TfrmAlwaysAccept::refusal() const {
    if (rbEmail.checked && edEmail.text.empty()) return Refusal{kBlankEmail, "edEmail"};
    if (rbDomain.checked && edDomain.text.empty()) return Refusal{kBlankDomain, "edDomain"};
    if (rbSubject.checked && edSubject.text.empty()) return Refusal{kBlankSubject, "edSubject"};
    return std::nullopt;
}

void TfrmAlwaysAccept::btOKClick() {
    if (!refused()) accept();
}

void TfrmAlwaysAccept::choose(Control& option) {
    for (Control* c : {&rbEmail, &rbDomain, &rbSubject}) c->checked = c == &option;
    applyChoice();
}

void TfrmAlwaysAccept::applyChoice() {
    edEmail.visible = rbEmail.checked;
    edDomain.visible = rbDomain.checked;
    lblDomainHint.visible = rbDomain.checked;
    cbWhat.visible = rbSubject.checked;
    edSubject.visible = rbSubject.checked;
    cbCase.visible = rbSubject.checked;
    requestFocus(rbEmail.checked ? "edEmail" : rbDomain.checked ? "edDomain" : "edSubject");
    updatePreview();
}

void TfrmAlwaysAccept::rbEmailClick() { choose(rbEmail); }
void TfrmAlwaysAccept::rbDomainClick() { choose(rbDomain); }
void TfrmAlwaysAccept::rbSubjectClick() { choose(rbSubject); }

void TfrmAlwaysAccept::edEmailChange(const std::string& text) {
    edEmail.text = text;
    updatePreview();
}

void TfrmAlwaysAccept::edDomainChange(const std::string& text) {
    edDomain.text = text;
    updatePreview();
}

void TfrmAlwaysAccept::edSubjectChange(const std::string& text) {
    edSubject.text = text;
    updatePreview();
}

void TfrmAlwaysAccept::cbLineClick(int index) {
    cbLine.itemIndex = index;
    updatePreview();
}

void TfrmAlwaysAccept::cbWhatClick() { updatePreview(); }

void TfrmAlwaysAccept::cbCaseClick(bool checked) {
    cbCase.checked = checked;
    updatePreview();
}

void TfrmAlwaysAccept::imgPickerClick(int cell) {
    if (cell < 0 || cell >= kImageCells) return;
    imgPicker.itemIndex = cell;
    changed();
}

}  // namespace quorvel
