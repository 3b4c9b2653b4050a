#include "config/rule_dialogs.h"

namespace quorvel {

RuleDialogs::RuleDialogs(Dialogs& dialogs, const TfrmGeneral* accounts)
    : frmOptionsSubject(dialogs),
      frmHeaders(dialogs, frmInternet),
      frmOptionsFROM(dialogs, frmInternet),
      frmAlwaysAccept(dialogs) {
    frmHeaders.setAccounts(accounts);
}

void RuleDialogs::setMarkPreview(MarkPreview* preview) {
    for (RuleDialog* dialog : std::initializer_list<RuleDialog*>{&frmOptionsSubject, &frmHeaders, &frmOptionsFROM,
                                                                 &frmAlwaysAccept})
        dialog->setMarkPreview(preview);
}

}  // namespace quorvel
