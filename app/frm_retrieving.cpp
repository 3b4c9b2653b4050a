#include "app/frm_retrieving.h"

namespace quorvel {

TfrmRetrieving::TfrmRetrieving() : Form("frmRetrieving", "Retrieving ...") {
    lblServerCaption.caption = "Server:";
    lblMailboxCaption.caption = "Mailbox:";
    lblTitle.caption = kRetrievingTitle;
    progbar.visible = false;
    btCancel.caption = "Click to cancel";
}

void TfrmRetrieving::FormShow(const std::string& server, const std::string& userName) {
    lblMsg.caption.clear();
    lblServer.caption = server;
    lblMailbox.caption = userName;
    lblTitle.caption = kRetrievingTitle;
    anMailRunning = true;
    progbar.visible = false;
    visible = true;
    changed();
}

void TfrmRetrieving::hide() {
    visible = false;
    anMailRunning = false;
    changed();
}

void TfrmRetrieving::setMessage(const std::string& text) {
    lblMsg.caption = text;
    changed();
}

void TfrmRetrieving::hideProgress() {
    progbar.visible = false;
    changed();
}

void TfrmRetrieving::showProgress(int position, int maximum) {
    progbarMax = maximum;
    progbar.value = position;
    progbar.visible = true;
    changed();
}

void TfrmRetrieving::btCancelClick() {
    if (onCancel) onCancel();
}

}  // namespace quorvel
