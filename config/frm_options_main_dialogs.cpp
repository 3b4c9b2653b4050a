// The spam settings window's use of the rule dialogs and the import dialog.
#include "config/frm_options_main.h"

#include "config/rule_dialogs.h"

namespace quorvel {

namespace {

RuleDialog& dialogFor(RuleDialogs& dialogs, const RuleGrid& g) {
    switch (g.id) {
        case RuleGrid::Subject: return dialogs.frmOptionsSubject;
        case RuleGrid::Header: return dialogs.frmHeaders;
        case RuleGrid::Sender: return dialogs.frmOptionsFROM;
        case RuleGrid::Except: break;
    }
    return dialogs.frmAlwaysAccept;
}

}  // namespace

bool TfrmOptionsMain::runRuleDialog(RuleGrid& g, int row, bool isNew) {
    if (!dialogs_) return false;
    RuleDialog& dialog = dialogFor(*dialogs_, g);
    if (isNew)
        dialog.newRule();
    else
        dialog.fillFromRow(g.table, row);
    dialog.modalResult = ModalResult::None;
    return platform_.dialogs.showModal(dialog) == ModalResult::Ok;
}

void TfrmOptionsMain::writeDialogRow(RuleGrid& g, int row) {
    if (dialogs_) dialogFor(*dialogs_, g).writeRow(g.table, row);
}

std::vector<std::string> TfrmOptionsMain::runImportDialog(const std::string& title) {
    if (!dialogs_) return {};
    TfrmImportSpam& dialog = dialogs_->frmImportSpam;
    dialog.open(title);
    dialog.modalResult = ModalResult::None;
    if (platform_.dialogs.showModal(dialog) != ModalResult::Ok) return {};
    return dialog.lines();
}

}  // namespace quorvel
