#include "config/frm_general.h"

namespace quorvel {

namespace {

constexpr const char* kGeneral = "General";
constexpr const char* kLogfile = "Logfile";
constexpr const char* kServer = "Server";

std::string numbered(const char* word, int n) {
    return word + std::to_string(n);
}

}  // namespace

TfrmGeneral::TfrmGeneral(Platform& platform, SettingsStore& store)
    : Form("frmGeneral", "General settings"), platform_(platform), store_(store) {
    enc1.Key = "qiro";
    RASComboBox.items = {"None"};  // no dial-up phone book on this system
    for (int n = 1; n <= kMailboxes; ++n) rb[static_cast<std::size_t>(n - 1)].caption = std::to_string(n);
    ReadGeneralSettings();
    readServerSettings();
}

void TfrmGeneral::ReadGeneralSettings() {
    Edit1.text = store_.readString(kGeneral, "Logfile", "");
    edMail.text = store_.readString(kGeneral, "Mailer", "");
    // Written as "AlarmFile"; names are compared without regard to case.
    edAlarm.text = store_.readString(kGeneral, "Alarmfile", "");
    const bool automatic = store_.readBool(kGeneral, "Automatic", false);
    rbAuto.checked = automatic;
    rbManual.checked = !automatic;
    cbConfirmation.checked = store_.readBool(kGeneral, "Ask", true);
    cbKill.checked = store_.readBool(kGeneral, "Kill", false);
    nMinutes.value = store_.readInteger(kGeneral, "Minutes", 10);
    cbLaunch.checked = store_.readBool(kGeneral, "Launch", true);
    cbExit.checked = store_.readBool(kGeneral, "Exit", false);
    cbAlarm.checked = store_.readBool(kGeneral, "Alarm", true);
    cbRepeat.checked = store_.readBool(kGeneral, "Repeat", true);
    const int ras = store_.readInteger(kGeneral, "RAS", 0);
    // An entry beyond the phone book counts as "None".
    RASComboBox.itemIndex = ras >= 0 && ras < static_cast<int>(RASComboBox.items.size()) ? ras : 0;
    edCount.text = store_.readString(kGeneral, "Count", "0");
    cbSysTray.checked = store_.readBool(kGeneral, "SysTray", false);
}

void TfrmGeneral::SaveGeneralSettings() {
    store_.writeBool(kLogfile, "Asis", rbAsIs.checked);
    store_.writeBool(kLogfile, "Quarter", rbQuarter.checked);
    store_.writeBool(kLogfile, "Month", rbMonth.checked);
    store_.writeString(kGeneral, "Logfile", Edit1.text);
    store_.writeString(kGeneral, "Mailer", edMail.text);
    store_.writeString(kGeneral, "AlarmFile", edAlarm.text);
    store_.writeBool(kGeneral, "Automatic", rbAuto.checked);
    store_.writeBool(kGeneral, "Ask", cbConfirmation.checked);
    store_.writeBool(kGeneral, "Kill", cbKill.checked);
    store_.writeInteger(kGeneral, "Minutes", nMinutes.value);
    store_.writeBool(kGeneral, "Launch", cbLaunch.checked);
    store_.writeBool(kGeneral, "Exit", cbExit.checked);
    store_.writeBool(kGeneral, "Alarm", cbAlarm.checked);
    store_.writeBool(kGeneral, "Repeat", cbRepeat.checked);
    store_.writeInteger(kGeneral, "RAS", RASComboBox.itemIndex);
    store_.writeString(kGeneral, "Count", edCount.text);
    store_.writeBool(kGeneral, "SysTray", cbSysTray.checked);
}

void TfrmGeneral::readServerSettings() {
    rbAsIs.checked = store_.readBool(kLogfile, "Asis", true);
    rbQuarter.checked = store_.readBool(kLogfile, "Quarter", false);
    rbMonth.checked = store_.readBool(kLogfile, "Month", false);

    Which = store_.readInteger(kServer, "Which", 1);
    if (Which >= 1 && Which <= kMailboxes)
        for (int n = 1; n <= kMailboxes; ++n) rb[static_cast<std::size_t>(n - 1)].checked = n == Which;

    for (int n = 1; n <= kMailboxes; ++n) {
        const auto i = static_cast<std::size_t>(n - 1);
        edServe[i].text = store_.readString(kServer, numbered("Server", n), "");
        edName[i].text = store_.readString(kServer, numbered("Mailbox", n), "");
        const std::string stored = store_.readString(kServer, numbered("Passwd", n), "");
        if (!stored.empty()) edPass[i].text = enc1.decipher(stored);
    }
}

bool TfrmGeneral::saveServerSettings() {
    Which = 0;
    for (int n = 1; n <= kMailboxes; ++n)
        if (rb[static_cast<std::size_t>(n - 1)].checked) Which = n;
    store_.writeInteger(kServer, "Which", Which);

    for (int n = 1; n <= kMailboxes; ++n) {
        const auto i = static_cast<std::size_t>(n - 1);
        const std::string& server = edServe[i].text;
        const std::string& user = edName[i].text;
        store_.writeString(kServer, numbered("Server", n), server);
        store_.writeString(kServer, numbered("Mailbox", n), user);
        store_.writeString(kServer, numbered("Passwd", n), enc1.encipher(edPass[i].text));

        const std::string number = std::to_string(n);
        std::string message, field;
        if (!server.empty() && user.empty()) {
            message = "Mailbox " + number + " has a server " + server + " but no mailbox";
            field = numbered("edName", n);
        } else if (server.empty() && !user.empty()) {
            message = "Mailbox " + number + " " + user + " has a blank server";
            field = numbered("edServe", n);
        } else if (!server.empty() && !user.empty() && edPass[i].text.empty()) {
            message = "Mailbox " + number + " - there is no password set";
            field = numbered("edPass", n);
        } else {
            continue;
        }
        platform_.dialogs.messageBox(MessageKind::Error, message);
        activePage = kMailboxesPage;
        focusedControl = field;
        modalResult = ModalResult::None;
        changed();
        return false;
    }
    return true;
}

}  // namespace quorvel
