// The main window's inspection commands: why a message got its mark, the
// header lines and the body of listed messages, and the two commands that
// teach the rules from selected messages; also the settings windows' buttons.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <set>
#include <stdexcept>
#include <string>

#include "app/check_steps.h"
#include "app/finally.h"
#include "app/frm_main.h"
#include "classify/operators.h"
#include "config/frm_mark_for_deletion.h"
#include "platform/convert.h"
#include "platform/files.h"

namespace quorvel {

namespace {

constexpr int kLargeMessage = 50000;
const std::string kAsterisks(38, '*');

}  // namespace

std::string TfrmMain::messageFileName(int index) const {
    return joinPath(platform_.programFolder, "msg_" + std::to_string(index) + ".eml");
}

int TfrmMain::oneSelectedRow() {
    if (!hasSelection()) return -1;
    if (ListView1.selectedCount() > 1)
        platform_.dialogs.messageBox(MessageKind::Information,
                                     "You have selected more than one message to view.  Only one message can be "
                                     "viewed at one time.  The first one selected will be displayed.");
    for (std::size_t i = 0; i < ListView1.rows.size(); ++i)
        if (ListView1.rows[i].selected) return static_cast<int>(i);
    return -1;  // the list changed while the box was up
}

Finally TfrmMain::pauseForViewing() {
    playAlarmSound(false);
    Timer1->setEnabled(false);
    return Finally([this] {
        if (automaticSetting()) Timer1->setEnabled(true);
    });
}

void TfrmMain::showViewer(TfrmViewHeader& viewer) {
    viewer.FormShow();
    platform_.dialogs.showModal(viewer);
}

void TfrmMain::Why1Click() {
    if (!hasSelection()) return;
    const Finally paused = pauseForViewing();
    const int b = oneSelectedRow();
    if (b < 0) return;
    const auto index = static_cast<std::size_t>(b);

    const MessageRow shown = ListView1.rows[index];
    memoWhy = whyHeading(shown);

    const int old = ListView1.rows[index].stateIndex;
    const std::uint64_t generation = ListView1.generation;
    ListView1.rows[index].stateIndex = Mark::None;
    {
        ExplainMode = true;
        Finally explained([this] { ExplainMode = false; });
        MarkForDeletion(b);
    }
    // The judgement may wait on the network, and a listing started meanwhile
    // replaces the rows: the remarks and the old mark belong to this row only.
    if (ListView1.generation == generation && index < ListView1.rows.size()) {
        closeWhyMemo(memoWhy, old, ListView1.rows[index].stateIndex);
        ListView1.rows[index].stateIndex = old;
    }
    changed();

    TfrmViewHeader viewer(TfrmViewHeader::Mode::Reasons);
    // The two heading lines show sender and subject in their own sets.
    viewer.addParts({{"Message from ", ""}, {shown.senderShown(), "UTF-8"}});
    viewer.addParts({{"Subject of   ", ""}, {shown.subjectShown(), "UTF-8"}});
    for (std::size_t i = 2; i < memoWhy.size(); ++i) viewer.addLine(memoWhy[i]);
    showViewer(viewer);
}

void TfrmMain::ViewHeader1Click() {
    if (!hasSelection()) return;
    const Finally paused = pauseForViewing();
    TfrmViewHeader viewer(TfrmViewHeader::Mode::Headers);
    const TmsRemoteInfo& records = msRemotePOP1.RemoteInfo();
    for (std::size_t i = 0; i < ListView1.rows.size(); ++i) {
        const MessageRow& row = ListView1.rows[i];
        if (!row.selected) continue;
        viewer.addLine(kAsterisks);
        viewer.addParts({{"Subject : ", ""},
                         {row.subjectShown(), "UTF-8"},
                         {" Sender : ", ""},
                         {row.senderShown(), "UTF-8"}});
        viewer.addLine(kAsterisks);
        if (i < static_cast<std::size_t>(records.Count()))
            for (const std::string& line : records.Items(static_cast<int>(i)).Headers) viewer.addLine(line);
    }
    showViewer(viewer);
}

void TfrmMain::ViewMessages1Click() {
    if (!hasSelection()) return;
    // Also after a failed fetch: automatic checking must not end silently
    // because one message could not be viewed.
    const Finally paused = pauseForViewing();
    const int i = oneSelectedRow();
    if (i < 0) return;
    const int size = strToInt(ListView1.rows[static_cast<std::size_t>(i)].size);
    if (size > kLargeMessage &&
        platform_.dialogs.messageBox(MessageKind::Confirmation,
                                     "The message you have selected to view is quite large - " +
                                         std::to_string(size) + " bytes. " +
                                         "Are you sure you wish to download and view it?",
                                     MessageButtons::YesNo) != ModalResult::Yes)
        return;

    TmsRemoteInfo& records = msRemotePOP1.RemoteInfo();
    if (i >= records.Count()) throw std::runtime_error("The message is no longer on the list. Check e-mail again.");
    if (refusedForAnotherAccount(kViewOfAnotherAccount)) return;
    // Marks a failed deletion left on the records must not delete anything
    // now: this fetch retrieves one message and touches no other.
    for (int j = 0; j < records.Count(); ++j) msRemotePOP1.ClearMarks(j);
    msRemotePOP1.SetRetrieveMark(i);
    msRemotePOP1.setMessageDirectory(platform_.programFolder);
    // A copy from an earlier viewing must not stand in for a message the
    // server no longer has as it was listed.
    const std::string file = messageFileName(i);
    std::remove(file.c_str());

    disableAllButtons();
    if (frmRetrieving_) {
        frmRetrieving_->FormShow(msRemotePOP1.Server, msRemotePOP1.UserName);
        frmRetrieving_->lblTitle.caption = TfrmRetrieving::kRetrievingTitle;
        frmRetrieving_->changed();
    }
    // Only record i carries a mark; it is cleared however the fetch ends, so
    // no retrieve mark lingers for a later run (also when the selection
    // changed during the fetch).
    const auto endFetch = [this] {
        if (frmRetrieving_) frmRetrieving_->hide();
        enableAllButtons();
        for (int j = 0; j < msRemotePOP1.RemoteInfo().Count(); ++j) msRemotePOP1.ClearMarks(j);
        changed();
    };
    try {
        platform_.tray.setAutoPopup(false);
        Finally trayMenuBack([this] { platform_.tray.setAutoPopup(true); });
        msRemotePOP1.ProcessMarks();
    } catch (const std::exception&) {
        // The error report follows: the window must not stay in the fetch's
        // state behind it.
        endFetch();
        throw;
    }
    endFetch();

    if (!fileExists(file))
        throw std::runtime_error(
            "The message was not retrieved: it is no longer on the mail server as it was listed. Check e-mail "
            "again to see the waiting messages.");
    msMessage1.LoadFromFile(file);
    TfrmViewHeader viewer(TfrmViewHeader::Mode::Body);
    viewer.charSet = msMessage1.CharSet;
    viewer.addLines(msMessage1.Body.text());
    std::vector<std::pair<std::string, std::size_t>> parts;
    for (int i = 0; i < msMessage1.Attachments.Count(); ++i)
        parts.emplace_back(msMessage1.Attachments.Items(i).FileName, msMessage1.Attachments.Items(i).Data.size());
    viewer.setMoreParts(parts);
    showViewer(viewer);
    if (!msMessage1.LoadError.empty()) platform_.dialogs.messageBox(MessageKind::Error, msMessage1.LoadError);
}

void TfrmMain::msRemotePOP1Retrieving(int num) {
    if (frmRetrieving_) frmRetrieving_->setMessage("Retrieving ... ");
    setStatus("Retrieving " + std::to_string(num + 1));
}

void TfrmMain::msRemotePOP1Retrieved(int num) {
    setStatus("Message " + std::to_string(num + 1) + " retrieved");
}

void TfrmMain::msRemotePOP1UserMessageSave(int num, const std::string& contents) {
    const std::string& folder = msRemotePOP1.MessageDirectory();
    const std::string name = "msg_" + std::to_string(num) + ".eml";
    // The answer as received, the closing "." line and the doubled dots
    // included: the viewer's decoder reads that form. Mail is private: only
    // the user may read the file.
    writeFileAtomically(folder.empty() ? messageFileName(num) : joinPath(folder, name), contents, 0600);
}

void TfrmMain::judgeRowsAgain(const std::function<bool(const MessageRow&)>& concerned) {
    // A judgement may wait on the network, and a listing started meanwhile
    // replaces the rows.
    const std::uint64_t generation = ListView1.generation;
    for (std::size_t i = 0; i < ListView1.rows.size() && ListView1.generation == generation; ++i) {
        if (!concerned(ListView1.rows[i])) continue;
        ListView1.rows[i].stateIndex = Mark::None;
        MarkForDeletion(static_cast<int>(i));
    }
    ShowTotalCount();
}

void TfrmMain::AddtoExceptions1Click() {
    if (!hasSelection()) return;
    playAlarmSound(false);
    std::set<std::string> senders;
    for (std::size_t i = 0; i < ListView1.rows.size(); ++i) {
        const MessageRow& row = ListView1.rows[i];
        if (!row.selected) continue;
        AddSenderException(row.sender);
        senders.insert(asciiUpper(row.sender));
        // The user vouches for the message itself too.
        learnRow(i, false);
    }
    if (frmOptionsMain_) frmOptionsMain_->Savesettings();
    // Those senders' rows now show their exception mark.
    judgeRowsAgain([&](const MessageRow& row) { return senders.contains(asciiUpper(row.sender)); });
}

void TfrmMain::AddtoSPAMlist1Click() {
    if (!hasSelection() || !frmOptionsMain_) return;
    TfrmMarkForDeletion dialog(*frmOptionsMain_);
    int next = 1;
    for (const MessageRow& row : ListView1.rows)
        if (row.selected && dialog.setMessage(next, row.caption, row.sender)) ++next;
    dialog.FormShow();
    platform_.dialogs.showModal(dialog);
    if (dialog.modalResult != ModalResult::Ok) return;

    // The rules match a subject exactly and a sender without case; a message
    // without a subject gave no rule.
    std::set<std::string> subjects, senders;
    for (int i = 1; i < TfrmMarkForDeletion::kRowCount; ++i) {
        const auto& [subject, from] = dialog.StringGrid1[static_cast<std::size_t>(i)];
        if (subject.empty()) continue;
        if (dialog.cbSubject.checked) subjects.insert(subject);
        if (dialog.cbFrom.checked) senders.insert(asciiUpper(from));
    }
    judgeRowsAgain([&](const MessageRow& row) {
        return subjects.contains(row.caption) || senders.contains(asciiUpper(row.sender));
    });
}

void TfrmMain::btSpamSetupClick() {
    playAlarmSound(false);
    const bool timerWasOn = Timer1->enabled();
    Timer1->setEnabled(false);
    Finally timerBack([this, timerWasOn] { Timer1->setEnabled(timerWasOn); });
    if (!frmOptionsMain_) return;
    frmOptionsMain_->FormShow();
    platform_.dialogs.showModal(*frmOptionsMain_);
    changed();
}

}  // namespace quorvel
