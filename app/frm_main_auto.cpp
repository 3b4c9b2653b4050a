// Automatic checking: the minute countdown, the cycle over every configured
// mailbox, switching the mode from the tray menu, and the tray's check command.
#include <string>

#include "app/finally.h"
#include "app/frm_main.h"
#include "platform/ascii_text.h"

namespace quorvel {

namespace {

constexpr const char* kCaptionPrefix = "Quorvel - ";

std::string plural(int count, const char* word) {
    return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

}  // namespace

void TfrmMain::Timer1Timer() {
    --MinutesLeft;
    UpdateAutomaticCaptions(automaticSetting(), minutesSetting());
    AutoCheckRunning = true;
    // Also after an error: MinutesLeft then stays at 0 or below, so the next
    // tick, a minute later, starts the cycle again.
    Finally afterTick([this] {
        AutoCheckRunning = false;
        showCaption();
        Timer1->setEnabled(true);
    });
    CheckAllMailBoxes();
}

void TfrmMain::CheckAllMailBoxes() {
    if (MinutesLeft > 0) {
        caption = std::string(kCaptionPrefix) + "next e-mail check in " + plural(MinutesLeft, "minute");
        changed();
        return;
    }
    Timer1->setEnabled(false);
    bool found = false;
    for (int n = 1; n <= TfrmGeneral::kMailboxes && !found; ++n) {
        currentMailbox = n;
        GetRemotePOPSettings(n);
        // Blank as the list command judges it, so a mailbox of only spaces is
        // passed over instead of asking for its settings on every cycle.
        if (IsBlank(msRemotePOP1.Server) || IsBlank(msRemotePOP1.UserName)) continue;
        caption = kCaptionPrefix + std::string("Now checking e-mail for ") + msRemotePOP1.UserName;
        showCaption();
        btListClick();
        if (frmGeneral_ && frmGeneral_->Kill()) {
            btDeleteClick();
            continue;
        }
        if (ListView1.rows.empty()) continue;
        found = true;
        const int count = static_cast<int>(ListView1.rows.size());
        caption = kCaptionPrefix + std::string("MailBox ") + msRemotePOP1.UserName + " - " + std::to_string(count) +
                  " messages";
        Label1.visible = false;
        const bool wasHidden = !visible;
        platform_.tray.showApplication();
        if (wasHidden)
            platform_.tray.showMessage(
                "Quorvel", plural(count, "message") + (count == 1 ? " is" : " are") + " waiting in mailbox " +
                               msRemotePOP1.UserName + " on " + msRemotePOP1.Server + ".");
        if (frmGeneral_ && frmGeneral_->Alarm()) playAlarmSound(true);
        changed();
    }
    if (!found) {
        caption = std::string(kCaptionPrefix) + "No waiting messages found";
        showCaption();
        if (frmGeneral_) currentMailbox = frmGeneral_->Which;
        GetRemotePOPSettings(currentMailbox);
    }
    MinutesLeft = minutesSetting();
}

void TfrmMain::useListedMailbox() {
    if (listedMailbox != 0 && listedMailbox != clientMailbox_) GetRemotePOPSettings(listedMailbox);
}

void TfrmMain::EnableAutomatic1Click(const Control& sender) {
    const bool on = &sender == &EnableAutomatic1;
    store_.writeBool("General", "Automatic", on);
    if (!on) MinutesLeft = minutesSetting();
    if (frmGeneral_) {
        frmGeneral_->rbAuto.checked = on;
        frmGeneral_->rbManual.checked = !on;
        frmGeneral_->changed();
    }
    EnableAutomatic1.checked = on;
    DisableAutomatic1.checked = !on;
    UpdateAutomaticCaptions(automaticSetting(), minutesSetting());
    if (log_) log_->logAutomaticMode(on);
}

void TfrmMain::Show1Click() {
    platform_.tray.showApplication();
    AutoCheckRunning = false;
    btListClick();
    if (automaticSetting()) Timer1->setEnabled(true);
}

}  // namespace quorvel
