// The main window's runs: checking a mailbox (the listing with its mailbox
// question and progress dialog) and deleting the marked messages, with the
// handlers of the POP3 client's events that report their progress.
#include <iostream>
#include <optional>
#include <string>

#include "app/check_steps.h"
#include "app/finally.h"
#include "app/frm_main.h"
#include "classify/operators.h"
#include "platform/convert.h"

namespace quorvel {

void TfrmMain::connectClientEvents() {
    msRemotePOP1.OnOpen = [this] { msRemotePOP1Open(); };
    msRemotePOP1.OnUpdatingInfo = [this] { msRemotePOP1UpdatingInfo(); };
    msRemotePOP1.OnNextInfoUpdated = [this](int num) { msRemotePOP1NextInfoUpdated(num); };
    msRemotePOP1.OnInfoUpdated = [this] { msRemotePOP1InfoUpdated(); };
    msRemotePOP1.OnTransferringData = [this] { msRemotePOP1TransferringData(); };
    msRemotePOP1.OnDataTransfered = [this] { msRemotePOP1DataTransfered(); };
    msRemotePOP1.OnClosing = [this] { msRemotePOP1Closing(); };
    msRemotePOP1.OnClosed = [this] { msRemotePOP1Closed(); };
    msRemotePOP1.OnError = [this](std::string& message) { msRemotePOP1Error(message); };
    msRemotePOP1.OnCancel = [this] { msRemotePOP1Cancel(); };
    msRemotePOP1.OnDeleting = [this](int num) { msRemotePOP1Deleting(num); };
    msRemotePOP1.OnDeleted = [this](int num) { msRemotePOP1Deleted(num); };
    msRemotePOP1.OnRetrieving = [this](int num) { msRemotePOP1Retrieving(num); };
    msRemotePOP1.OnRetrieved = [this](int num) { msRemotePOP1Retrieved(num); };
    msRemotePOP1.OnSecurityChosen = [this] { msRemotePOP1SecurityChosen(); };
    msRemotePOP1.OnUserMessageSave = [this](int num, const std::string& contents) {
        msRemotePOP1UserMessageSave(num, contents);
    };
}

bool TfrmMain::interactive() const {
    return visible || !AutoCheckRunning;
}

bool TfrmMain::OnlyOneMailbox() const {
    if (!frmGeneral_ || frmGeneral_->serverOf(1).empty()) return false;
    for (int n = 2; n <= TfrmGeneral::kMailboxes; ++n)
        if (!frmGeneral_->serverOf(n).empty()) return false;
    return true;
}

void TfrmMain::synchronizeIwhich() {
    if (!frmGeneral_) return;
    for (int n = 1; n <= TfrmGeneral::kMailboxes; ++n)
        frmGeneral_->rb[static_cast<std::size_t>(n - 1)].checked = n == currentMailbox;
    frmGeneral_->Which = currentMailbox;
}

void TfrmMain::showListPicture() {
    btList.picture = ListView1.rows.empty() ? "imDown" : "imUP";
}

void TfrmMain::setStatus(const std::string& text) {
    statusPanels[1] = text;
    changed();
}

void TfrmMain::cancelRun() {
    msRemotePOP1.Cancel();
    // The log-in may be waiting for the provider.
    oauthAccess_.cancel();
    if (Listing) ListView1.clear();
    Listing = false;
    enableAllButtons();
    if (frmRetrieving_) frmRetrieving_->hide();
}

void TfrmMain::listTrustingOnRequest(bool attended) {
    std::optional<std::string> held;
    const auto release = [&] {
        heldError_ = nullptr;
        if (held && log_) log_->logError(*held, msRemotePOP1.UserName, msRemotePOP1.Server);
        held.reset();
    };
    if (attended) heldError_ = &held;
    try {
        msRemotePOP1.UpdateInfo();
        release();
    } catch (const EUntrustedCertificate& refused) {
        heldError_ = nullptr;
        // Only a person at the window can decide to trust a certificate.
        if (!attended || platform_.dialogs.messageBox(MessageKind::Warning,
                                                      trustCertificateQuestion(clientMailbox_, refused),
                                                      MessageButtons::YesNoDefaultNo) != ModalResult::Yes) {
            release();
            throw;
        }
        held.reset();
        const std::string& fingerprint = refused.details().fingerprint;
        storeCertificatePin(store_, clientMailbox_, fingerprint);
        // The settings window holds the live settings: its next OK keeps the pin.
        if (frmGeneral_ && clientMailbox_ >= 1 && clientMailbox_ <= TfrmGeneral::kMailboxes)
            frmGeneral_->certificatePins[static_cast<std::size_t>(clientMailbox_ - 1)] = fingerprint;
        msRemotePOP1.CertificatePin = fingerprint;
        msRemotePOP1.UpdateInfo();
    } catch (...) {
        release();
        throw;
    }
}

void TfrmMain::btListClick() {
    askKeyringAgain(platform_.secrets);
    GetRemotePOPSettings(currentMailbox);
    playAlarmSound(false);
    if (IsBlank(msRemotePOP1.UserName)) {
        platform_.dialogs.messageBox(MessageKind::Error, "You need to enter your e-mail username in the settings.");
        btGeneralClick();
        return;
    }
    if (IsBlank(msRemotePOP1.Server)) {
        platform_.dialogs.messageBox(MessageKind::Error,
                                     "You need to enter the name of your mail server in the settings.");
        btGeneralClick();
        return;
    }

    const bool attended = interactive();
    if (MinutesLeft > 0 && attended) {
        bool others = false;
        for (int n = 2; n <= TfrmGeneral::kMailboxes; ++n)
            if (frmGeneral_ && !frmGeneral_->serverOf(n).empty()) others = true;
        if (others) {
            TfrmWhichMailbox question([this](int n) {
                return std::pair{frmGeneral_->serverOf(n), frmGeneral_->userOf(n)};
            });
            question.mailbox = currentMailbox;
            if (platform_.dialogs.showModal(question) != ModalResult::Ok) return;
            currentMailbox = question.mailbox;
        }
        synchronizeIwhich();
        GetRemotePOPSettings(currentMailbox);
    }

    endKeptSession();
    msRemotePOP1.KeepConnected = OnlyOneMailbox();
    const bool timerWasOn = Timer1->enabled();
    Timer1->setEnabled(false);
    ListView1.clear();
    listedMailbox = currentMailbox;
    setExitRole(true);
    disableAllButtons();
    if (frmRetrieving_) {
        if (attended) frmRetrieving_->FormShow(msRemotePOP1.Server, msRemotePOP1.UserName);
        frmRetrieving_->lblTitle.caption = TfrmRetrieving::kRetrievingTitle;
    }
    Listing = true;
    platform_.tray.setAutoPopup(false);

    // Puts the window back as it was before the run.
    const auto endRun = [this, timerWasOn] {
        Listing = false;
        if (frmRetrieving_) frmRetrieving_->hide();
        enableAllButtons();
        setExitRole(false);
        showListPicture();
        // The keys then work on the messages (Space marks), not on a button.
        focusedControl = "ListView1";
        if (timerWasOn) Timer1->setEnabled(true);
        changed();
    };
    useListingCache();
    canceledByUser_ = false;
    try {
        Finally trayMenuBack([this] { platform_.tray.setAutoPopup(true); });
        listedAccount = clientAccount();
        listTrustingOnRequest(attended);
        // The log-in may have settled a choice the settings left open.
        listedAccount = clientAccount();
        saveListingCache();
    } catch (const ECanceledError&) {
        if (attended) {
            // The user asked for it: the cancel's line in the log and the
            // status line say so, and no error follows.
            if (canceledByUser_) statusPanels[1] = mailErrorText(errCanceled);
            endRun();
            if (canceledByUser_) return;
            throw;
        }
    } catch (const std::exception&) {
        if (attended) {
            // The error report follows; the window must not stay in the run's state behind it.
            endRun();
            throw;
        }
        // An unattended run swallows its errors and ends as usual.
    }
    endRun();

    if (log_) log_->logMailCheck(static_cast<int>(ListView1.rows.size()), msRemotePOP1.UserName, msRemotePOP1.Server);
    if (ListView1.rows.empty() && !automaticSetting() && frmGeneral_ && frmGeneral_->Exit()) {
        if (trayMode)
            platform_.tray.hideApplication();
        else
            endRequest = EndRequest::Close;
    }
    ShowTotalCount();
    if (frmOptionsMain_) frmOptionsMain_->Savesettings();
    changed();
}

void TfrmMain::useListingCache() {
    if (!frmGeneral_ || !frmGeneral_->RememberListed()) {
        msRemotePOP1.ListingCache = nullptr;
        listingCache_.reset();
        return;
    }
    const TmsListingAccount account{msRemotePOP1.Server, msRemotePOP1.DefaultPort, msRemotePOP1.UserName};
    const std::string path = TmsListingCacheFile::pathFor(platform_.programFolder, currentMailbox);
    // Kept between checks of the same mailbox and account; anything else reads its own file.
    if (!listingCache_ || listingCache_->path() != path || !(listingCache_->account() == account)) {
        listingCache_ = std::make_unique<TmsListingCacheFile>(path, account);
        const std::string problem = listingCache_->load();
        if (!problem.empty())
            std::cerr << "Quorvel: listing cache of mailbox " << currentMailbox << " discarded: " << problem << "\n";
    }
    msRemotePOP1.ListingCache = listingCache_.get();
}

void TfrmMain::saveListingCache() {
    if (!listingCache_) return;
    try {
        listingCache_->save();
    } catch (const std::exception& error) {
        // Only the next check's speed depends on it.
        std::cerr << "Quorvel: listing cache not saved: " << error.what() << "\n";
    }
}

void TfrmMain::msRemotePOP1Open() {
    if (frmRetrieving_) {
        frmRetrieving_->setMessage("Opening connection ... ");
        frmRetrieving_->hideProgress();
    }
    setStatus("Opening connection for " + msRemotePOP1.UserName + " on " + msRemotePOP1.Server);
}

void TfrmMain::msRemotePOP1UpdatingInfo() {
    if (frmRetrieving_) {
        frmRetrieving_->setMessage("Updating headers ... ");
        frmRetrieving_->hideProgress();
    }
    setStatus("Updating headers");
}

void TfrmMain::msRemotePOP1NextInfoUpdated(int num) {
    // Ten thousand of these come in one listing: each draws the windows once.
    const Form::Batch drawMainOnce(*this);
    std::optional<Form::Batch> drawProgressOnce;
    if (frmRetrieving_) drawProgressOnce.emplace(*frmRetrieving_);
    addMessageRow(msRemotePOP1.RemoteInfo().Items(num));
    const std::string total = std::to_string(msRemotePOP1.MessageCount());
    setStatus("Checking message " + std::to_string(num + 1) + " of " + total + " total waiting messages");
    MarkForDeletion(static_cast<int>(ListView1.rows.size()) - 1);
    if (frmRetrieving_) {
        frmRetrieving_->setMessage("Message " + std::to_string(num + 1) + " of " + total);
        frmRetrieving_->showProgress(num + 1, msRemotePOP1.MessageCount());
    }
}

void TfrmMain::msRemotePOP1InfoUpdated() {
    setStatus(std::to_string(msRemotePOP1.RemoteInfo().Count()) + " msg(s) for " + msRemotePOP1.UserName + " on " +
              msRemotePOP1.Server);
    {
        // Every row was judged, and its rules counted, as it came in.
        const bool counting = countingHits_;
        countingHits_ = false;
        Finally restore([&] { countingHits_ = counting; });
        MarkForDeletion(-1);
    }
    enableAllButtons();
    if (frmRetrieving_) frmRetrieving_->hide();
}

void TfrmMain::msRemotePOP1TransferringData() {
    if (frmRetrieving_) frmRetrieving_->setMessage("Transferring data ... ");
    setStatus("Transferring data");
}

void TfrmMain::msRemotePOP1DataTransfered() {
    setStatus("Data has been transfered");
}

void TfrmMain::msRemotePOP1Closing() {
    setStatus("Closing connection");
}

void TfrmMain::msRemotePOP1Closed() {
    setStatus("Connection closed");
}

void TfrmMain::msRemotePOP1Error(std::string& message) {
    // The user's cancel was logged as such: it is not an error of the run.
    if (canceledByUser_ && message == mailErrorText(errCanceled)) return;
    message = plainConnectionError(message, msRemotePOP1);
    statusPanels[1] = message;
    showListPicture();
    if (heldError_)
        *heldError_ = message;
    else if (log_)
        log_->logError(message, msRemotePOP1.UserName, msRemotePOP1.Server);
    changed();
}

void TfrmMain::msRemotePOP1Cancel() {
    canceledByUser_ = true;
    statusPanels[1] = "Operation has been canceled";
    setExitRole(false);
    platform_.tray.setIcon(TrayIconPicture::Hammer);
    showListPicture();
    if (log_) log_->logCancel(msRemotePOP1.UserName, msRemotePOP1.Server);
    changed();
}

void TfrmMain::msRemotePOP1SecurityChosen() {
    keepChosenSecurity(store_, log_, clientMailbox_, msRemotePOP1);
    // The settings window holds the live settings: its next OK keeps the choice.
    if (frmGeneral_ && msRemotePOP1.Security)
        frmGeneral_->securityChosenAtLogIn(clientMailbox_, *msRemotePOP1.Security);
}

void TfrmMain::endKeptSession() {
    // A session serves the listing it made: a new check must see the mailbox
    // as it is now, and maybe another account.
    if (!msRemotePOP1.IsConnected()) return;
    try {
        msRemotePOP1.Close();
    } catch (const std::exception&) {
        // A server that dropped the idle session has nothing to say to QUIT.
        msRemotePOP1.Disconnect();
    }
}

AccountIdentity TfrmMain::clientAccount() const {
    return accountIdentityOf(msRemotePOP1);
}

bool TfrmMain::refusedForAnotherAccount(const char* refusal) {
    useListedMailbox();
    // Rows that no check listed belong to no account to compare with.
    if (listedMailbox == 0) return false;
    if (clientAccount() == listedAccount &&
        storedAccountIdentity(store_, listedMailbox, msRemotePOP1.DefaultPort) == listedAccount)
        return false;
    // The rows are another account's messages.
    endKeptSession();
    platform_.dialogs.messageBox(MessageKind::Warning, refusal);
    return true;
}

void TfrmMain::btDeleteClick() {
    if (DeleteRunning) return;
    DeleteRunning = true;
    playAlarmSound(false);
    Timer1->setEnabled(false);
    platform_.tray.setAutoPopup(false);
    Finally restore([this] {
        DeleteRunning = false;
        platform_.tray.setAutoPopup(true);
        UpdateAutomaticCaptions(automaticSetting(), frmGeneral_ ? frmGeneral_->Minutes() : MinutesLeft);
    });
    DeleteMessages();
}

void TfrmMain::DeleteMessages() {
    const bool automatic = automaticSetting();
    const bool ask = frmGeneral_ ? frmGeneral_->Ask() : true;
    const bool launch = frmGeneral_ && frmGeneral_->Launch();
    const bool attended = interactive();

    int marked = 0;
    for (const auto& row : ListView1.rows)
        if (row.stateIndex == Mark::Delete || row.stateIndex == Mark::KnownSpammer) ++marked;
    const int total = static_cast<int>(ListView1.rows.size());
    if (marked == 0) {
        if (!automatic && ask)
            platform_.dialogs.messageBox(MessageKind::Information, "There were no messages marked to delete!");
        return;
    }
    if (refusedForAnotherAccount(kListOfAnotherAccount)) return;
    if (!automatic && ask &&
        platform_.dialogs.messageBox(MessageKind::Confirmation,
                                     "Really delete " + std::to_string(marked) + " messages from " + msRemotePOP1.UserName +
                                         " on " + msRemotePOP1.Server + "?",
                                     MessageButtons::YesNo) != ModalResult::Yes)
        return;

    setDeleteMarks(ListView1, msRemotePOP1);
    canceledByUser_ = false;
    DeleteTotal = marked;
    DeleteNext = 1;
    DeletedCount = 0;
    committedDeletions_.clear();
    // Only the user's own deletion teaches: an automatic one carries out
    // marks nobody looked at.
    const bool usersDecision = !AutoCheckRunning;
    // Learns what the server committed, and, when the session ended well and
    // the user asked for it, the messages left unmarked as wanted; before the
    // rows and records give way to the fresh listing.
    const auto learnDecisions = [this, usersDecision](bool endedWell) {
        if (!usersDecision) return;
        for (const std::size_t i : committedDeletions_) learnRow(i, true);
        if (endedWell && frmOptionsMain_ && frmOptionsMain_->rules.options.learnFromKept)
            for (std::size_t i = 0; i < ListView1.rows.size(); ++i) {
                const int mark = ListView1.rows[i].stateIndex;
                if (mark == Mark::None || mark >= Mark::FirstException) learnRow(i, false);
            }
        committedDeletions_.clear();
    };

    disableAllButtons();
    if (log_) log_->OpenLogFile();
    setExitRole(true);
    if (frmRetrieving_) {
        if (attended) frmRetrieving_->FormShow(msRemotePOP1.Server, msRemotePOP1.UserName);
        frmRetrieving_->lblTitle.caption = TfrmRetrieving::kDeletingTitle;
        frmRetrieving_->changed();
    }
    // The counter rises by what the server committed, also when the run
    // failed after its QUIT.
    const auto raiseSpamCounter = [this] {
        if (!frmGeneral_ || DeletedCount == 0) return;
        frmGeneral_->edCount.text =
            std::to_string(static_cast<long long>(strToInt(frmGeneral_->edCount.text)) + DeletedCount);
        frmGeneral_->SaveGeneralSettings();
    };
    try {
        msRemotePOP1.ProcessMarks();
    } catch (const std::exception&) {
        // The error report follows: put the window back first. The rows keep
        // their marks.
        if (frmRetrieving_) frmRetrieving_->hide();
        enableAllButtons();
        setExitRole(false);
        if (log_) {
            log_->CloseLogFile();
            if (DeletedCount == 0) log_->logError(kNothingDeleted, msRemotePOP1.UserName, msRemotePOP1.Server);
        }
        raiseSpamCounter();
        learnDecisions(false);
        saveLearning();
        throw;
    }
    if (log_) log_->CloseLogFile();
    raiseSpamCounter();
    learnDecisions(true);
    saveLearning();
    ListView1.clear();

    if (total == marked || automatic || !launch) {
        if (frmRetrieving_) {
            if (attended) frmRetrieving_->FormShow(msRemotePOP1.Server, msRemotePOP1.UserName);
            frmRetrieving_->lblTitle.caption = TfrmRetrieving::kRetrievingTitle;
        }
        // What is left was counted by the listing the deletion began from.
        countingHits_ = false;
        Finally restore([this] { countingHits_ = true; });
        msRemotePOP1.UpdateInfo();
    }
    enableAllButtons();
    setExitRole(false);
    focusedControl = "ListView1";
    statusPanels[1] = "There were " + std::to_string(DeletedCount) + " messages deleted";
    showListPicture();
    if (frmRetrieving_) frmRetrieving_->hide();
    changed();
    // Automatic mode never starts the mail program: the fresh listing stays.
    if (total != marked && attended && launch && !automatic) btLaunchClick();
}

void TfrmMain::msRemotePOP1Deleting(int num) {
    if (num < 0 || num >= static_cast<int>(ListView1.rows.size())) return;
    const MessageRow& row = ListView1.rows[static_cast<std::size_t>(num)];
    if (frmRetrieving_) {
        frmRetrieving_->setMessage("Deleting " + row.caption);
        frmRetrieving_->showProgress(DeleteNext, DeleteTotal);
    }
    ++DeleteNext;
    setStatus("Deleting " + std::to_string(num + 1) + " " + row.caption);
}

void TfrmMain::msRemotePOP1Deleted(int num) {
    if (num < 0 || num >= static_cast<int>(ListView1.rows.size())) return;
    ++DeletedCount;
    const auto index = static_cast<std::size_t>(num);
    committedDeletions_.push_back(index);
    if (log_ && log_->logOpen()) {
        DeletedSpamRow row = deletedSpamRowOf(ListView1.rows[index]);
        row.reason = learnedSpamReason(index);
        log_->logDeletedSpam(row, msRemotePOP1.Server, msRemotePOP1.UserName);
    }
}

}  // namespace quorvel
