#include "config/frm_mark_for_deletion.h"

namespace quorvel {

TfrmMarkForDeletion::TfrmMarkForDeletion(TfrmOptionsMain& options)
    : Form("frmMarkForDeletion", "Mark e-mail for deletion"), StringGrid1(kRowCount), options_(options) {
    lblHeading.caption = "Mark these messages to delete";
    cbFrom.caption = "&Always delete mail from these particular senders";
    cbFrom.checked = true;
    cbSubject.caption = "Always &delete mail with these particular subject headings";
    cbSubject.checked = true;
    btOK.caption = "OK";
    btCancel.caption = "Cancel";
}

bool TfrmMarkForDeletion::setMessage(int row, const std::string& subject, const std::string& from) {
    if (row < 1 || row >= kRowCount) return false;
    StringGrid1[static_cast<std::size_t>(row)] = {subject, from};
    return true;
}

void TfrmMarkForDeletion::FormShow() {
    StringGrid1[0] = {"Subject", "From"};
    modalResult = ModalResult::None;
    changed();
}

void TfrmMarkForDeletion::addToList(const std::string& subject, const std::string& from) {
    if (cbSubject.checked) {
        RuleTable& table = options_.rules.gridSubject;
        makeFirstRuleRow(table);
        const std::string cells[] = {"Equals", subject, "Yes", "Yes", "1"};
        for (int col = 1; col <= 5; ++col) table.setCell(col, 1, cells[col - 1]);
        CheckGridAdv(table, 1, true);
    }
    if (cbFrom.checked) {
        RuleTable& table = options_.rules.gridFrom;
        makeFirstRuleRow(table);
        const std::string cells[] = {"E-mail address", "Equals", from, "Yes", "1"};
        for (int col = 1; col <= 5; ++col) table.setCell(col, 1, cells[col - 1]);
        CheckGridAdv(table, 1, true);
    }
}

void TfrmMarkForDeletion::btOKClick() {
    for (int row = 1; row < kRowCount; ++row) {
        const auto& cells = StringGrid1[static_cast<std::size_t>(row)];
        if (!cells[kSubjectCol].empty()) addToList(cells[kSubjectCol], cells[kFromCol]);
    }
    // The dialog closes before saving: a failure to save is reported on its
    // own, and the rules stay in the live tables for the next save.
    modalResult = ModalResult::Ok;
    changed();
    options_.Savesettings();
    options_.changed();
}

void TfrmMarkForDeletion::btCancelClick() {
    modalResult = ModalResult::Cancel;
    changed();
}

}  // namespace quorvel
