#pragma once

#include <array>
#include <string>

#include "config/password_cipher.h"
#include "config/settings_store.h"
#include "platform/form.h"
#include "platform/platform.h"

namespace quorvel {

// The general settings window's logic. Its controls hold the live settings:
// a value shown here is the value every other part of the program reads, and
// only the save points write it to the settings store.
class TfrmGeneral : public Form {
public:
    static constexpr int kMailboxes = 12;
    static constexpr const char* kMailboxesPage = "Mailboxes";

    // Creation loads the live settings and the mailbox accounts.
    TfrmGeneral(Platform& platform, SettingsStore& store);

    // Section General (and the log's naming rule on saving).
    Control Edit1;           // Logfile
    Control edMail;          // Mailer
    Control edAlarm;         // AlarmFile
    Control rbAuto, rbManual;
    Control cbConfirmation;  // Ask
    Control cbKill;
    Control nMinutes;        // value: Minutes
    Control cbLaunch;
    Control cbExit;
    Control cbAlarm;
    Control cbRepeat;
    Control RASComboBox;     // itemIndex: RAS; item 0 is "None"
    Control edCount;         // text: Count
    Control cbSysTray;
    // Section Logfile.
    Control rbAsIs, rbQuarter, rbMonth;
    // Section Server: index 0 is mailbox 1.
    std::array<Control, kMailboxes> rb, edServe, edName, edPass;

    // The window's current mailbox (the live Which).
    int Which = 1;
    // The page shown and the control holding the focus, by name.
    std::string activePage = "General";
    std::string focusedControl;

    TPasswordCipher enc1;

    void ReadGeneralSettings();
    void SaveGeneralSettings();
    void readServerSettings();
    // Saves the accounts in order, stopping at the first faulty mailbox: its
    // error is shown, the window turns to the "Mailboxes" page with the faulty
    // field focused and stays open. Returns false then.
    bool saveServerSettings();

    // Live values, as the rest of the program reads them.
    bool Automatic() const { return rbAuto.checked; }
    int Minutes() const { return nMinutes.value; }
    bool Kill() const { return cbKill.checked; }
    bool Ask() const { return cbConfirmation.checked; }
    bool Launch() const { return cbLaunch.checked; }
    bool Exit() const { return cbExit.checked; }
    bool Alarm() const { return cbAlarm.checked; }
    bool Repeat() const { return cbRepeat.checked; }
    bool SysTray() const { return cbSysTray.checked; }
    const std::string& Mailer() const { return edMail.text; }
    const std::string& AlarmFile() const { return edAlarm.text; }
    const std::string& Logfile() const { return Edit1.text; }
    // Account n (1 to 12) as the live table holds it.
    const std::string& serverOf(int n) const { return edServe.at(static_cast<std::size_t>(n - 1)).text; }
    const std::string& userOf(int n) const { return edName.at(static_cast<std::size_t>(n - 1)).text; }

private:
    Platform& platform_;
    SettingsStore& store_;
};

}  // namespace quorvel
