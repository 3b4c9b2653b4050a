// The main window's message list: rows, marks and the classification run.
#include "app/frm_main.h"

#include "app/check_steps.h"
#include "classify/operators.h"

namespace quorvel {

void TfrmMain::setSpamSettingsWindow(TfrmOptionsMain* options) {
    frmOptionsMain_ = options;
    classification_.reset();
    domainCheck_.reset();
    if (!options) return;
    domainCheck_ = std::make_unique<UnknownDomainCheck>(*domainResolver_, options->edUnknown.text);
    classification_ = std::make_unique<Classification>(options->rules, lbKnown, *this);
    classification_->setUnknownDomainCheck(domainCheck_.get());
}

void TfrmMain::setDomainResolver(DomainResolver& resolver) {
    domainResolver_ = &resolver;
    setSpamSettingsWindow(frmOptionsMain_);
}

void TfrmMain::addMessageRow(const TmsRemoteInfoItem& record) {
    ListView1.rows.push_back(messageRowFromRecord(record, platform_.clock.formatSettings()));
    changed();
}

void TfrmMain::btMarkClick() {
    playAlarmSound(false);
    if (!hasSelection()) return;
    for (std::size_t i = 0; i < ListView1.rows.size(); ++i) {
        MessageRow& row = ListView1.rows[i];
        if (!row.selected) continue;
        const bool clearing = isMarkedForDeletion(row.stateIndex);
        row.stateIndex = clearing ? Mark::None : Mark::Delete;
        // A mark the user takes away says the message is wanted; one given
        // by hand is learned when the message is deleted.
        if (clearing) learnRow(i, false);
    }
    ShowTotalCount();
}

void TfrmMain::ResetButtonClick() {
    for (MessageRow& row : ListView1.rows) row.stateIndex = Mark::None;
    ShowTotalCount();
}

void TfrmMain::btRemarkClick() {
    playAlarmSound(false);
    for (MessageRow& row : ListView1.rows) row.stateIndex = Mark::None;
    MarkForDeletion(-1);
    if (ListView1.markedCount() == 0)
        platform_.dialogs.messageBox(MessageKind::Information, "None of the messages matched any of the spam criteria.");
    ShowTotalCount();
}

void TfrmMain::ShowTotalCount() {
    statusPanels[1] = "Message Total: " + std::to_string(ListView1.rows.size()) +
                      " Number Marked: " + std::to_string(ListView1.markedCount());
    changed();
}

bool TfrmMain::hasSelection() {
    if (ListView1.selectedCount() > 0) return true;
    NadaSelected();
    return false;
}

void TfrmMain::NadaSelected() {
    platform_.dialogs.messageBox(
        MessageKind::Information,
        ListView1.rows.empty()
            ? "Either there are no e-mail messages waiting on the mail server or you have not yet clicked on the "
              "\"Check E-Mail\" button."
            : "No messages were selected.  To select one message click on a subject.  To select multiple messages "
              "drag the mouse over the list of desired subjects.");
}

void TfrmMain::ListView1Click() { playAlarmSound(false); }
void TfrmMain::ListView1KeyUp() { playAlarmSound(false); }

void TfrmMain::MarkForDeletion(int index) {
    if (!classification_) return;
    // The options are live: the learning step judges with them as they are now.
    if (learningOn())
        classification_->setLearning(&learning_->model(), learningSettings(frmOptionsMain_->rules.options));
    else
        classification_->setLearning(nullptr, {});
    judgeRows(*classification_, ListView1, msRemotePOP1.RemoteInfo(), index, countingHits_);
    changed();
}

void TfrmMain::AddSenderException(const std::string& address) {
    if (!classification_ || !frmOptionsMain_) return;
    // An address exception compares without case: the same address in other
    // letters is the same rule.
    const RuleTable& table = frmOptionsMain_->rules.gridExcept;
    const std::string upper = asciiUpper(address);
    for (int row = 1; row <= table.ruleCount(); ++row)
        if (table.cell(0, row) == "E-mail address" && asciiUpper(table.cell(2, row)) == upper) return;
    classification_->AddSenderException(address);
}

int TfrmMain::serverToIndex() {
    if (!frmGeneral_) return 0;
    const std::string server = asciiUpper(msRemotePOP1.Server);
    const std::string user = asciiUpper(msRemotePOP1.UserName);
    for (int n = 1; n <= TfrmGeneral::kMailboxes; ++n)
        if (asciiUpper(frmGeneral_->serverOf(n)) == server && asciiUpper(frmGeneral_->userOf(n)) == user) return n;
    return 0;
}

void TfrmMain::whyAdd(bool del, const std::string& what, const std::string& op, const std::string& pattern,
                      bool caseSensitive) {
    if (!ExplainMode) return;
    memoWhy.push_back(reasonLine(del, ExplainException, what, op, pattern, caseSensitive));
}

void TfrmMain::whyExcept(const std::string& what, const std::string& op, const std::string& pattern,
                         bool caseSensitive) {
    ExplainException = true;
    whyAdd(false, what, op, pattern, caseSensitive);
    ExplainException = false;
}

}  // namespace quorvel
