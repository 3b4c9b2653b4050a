#pragma once

#include "config/frm_always_accept.h"
#include "config/frm_general.h"
#include "config/frm_headers.h"
#include "config/frm_import_spam.h"
#include "config/frm_internet.h"
#include "config/frm_options_from.h"
#include "config/frm_options_subject.h"
#include "platform/dialogs.h"

namespace quorvel {

// The dialogs the spam settings window edits its tables with, created once
// at start like the windows and reused for every rule.
class RuleDialogs {
public:
    // `accounts`: the live mailbox accounts the header dialog lists (may be null).
    RuleDialogs(Dialogs& dialogs, const TfrmGeneral* accounts);
    RuleDialogs(const RuleDialogs&) = delete;
    RuleDialogs& operator=(const RuleDialogs&) = delete;

    TfrmInternet frmInternet;
    TfrmOptionsSubject frmOptionsSubject;
    TfrmHeaders frmHeaders;
    TfrmOptionsFROM frmOptionsFROM;
    TfrmAlwaysAccept frmAlwaysAccept;
    TfrmImportSpam frmImportSpam;

    // The "Would mark" line of the four rule dialogs.
    void setMarkPreview(MarkPreview* preview);
};

}  // namespace quorvel
