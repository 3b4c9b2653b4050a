#include "config/frm_general.h"

#include <algorithm>
#include <vector>

#include "config/frm_oauth.h"
#include "mail/ag_ras.h"
#include "platform/convert.h"
#include "platform/files.h"

namespace quorvel {

namespace {

constexpr const char* kGeneral = "General";
constexpr const char* kLogfile = "Logfile";
constexpr const char* kServer = "Server";
constexpr const char* kTest = "Test";
constexpr const char* kHelpFile = "quorvel.hlp";

std::string numbered(const char* word, int n) {
    return word + std::to_string(n);
}

}  // namespace

TfrmGeneral::TfrmGeneral(Platform& platform, SettingsStore& store, TagRas* dialUp)
    : Form("frmGeneral", "General settings"),
      mailSetup(MailSetupSources::fromProcess(store.registry())),
      platform_(platform),
      store_(store) {
    lblPOPServer = captioned("POP Server");
    lblUserName = captioned("User Name/Mailbox");
    lblPassword = captioned("Password");
    lblSecurity = captioned("Security");
    lblSignIn = captioned("Sign-in");
    for (int n = 1; n <= kMailboxes; ++n) {
        const auto i = static_cast<std::size_t>(n - 1);
        rb[i].caption = numbered("Mailbox ", n);
        cbSecurity[i].items.assign(kSecurityNames.begin(), kSecurityNames.end());
        cbSecurity[i].hint = "How the connection to the server is protected";
        cbSignIn[i].items.assign(kSignInNames.begin(), kSignInNames.end());
        cbSignIn[i].hint =
            "Password: the password, protected by the server's strongest method over TLS; APOP: only if the server "
            "needs it (MD5: weak); OAuth 2.0: a token from your mail provider instead of the password";
        sbOAuth[i] = captioned("...", "OAuth 2.0 settings of this mailbox");
    }
    lblSecurityWarning.visible = false;
    lblCertificate.visible = false;
    btForgetCertificate = captioned("&Remove certificate exception");
    btForgetCertificate.visible = false;
    lblKeptIn = captioned("Kept in");
    cbKeyring = captioned("Keep passwords in the desktop keyring",
                          "Off: the passwords are kept in the settings file, enciphered");
    cbKeyring.enabled = platform.secrets != nullptr;
    lblFirstRunRule = captioned(
        "Quorvel has added a first rule for you (Spam settings, page \"Headers\"): a message whose To field does "
        "not contain the user name of mailbox 1 gets a question mark, for you to review.  Mailing lists, forwarded "
        "and Bcc'd mail often do not name you there, so the rule deletes nothing; to have it mark for deletion, "
        "edit the rule and choose the check mark.");
    lblFirstRunRule.visible = false;
    lblServerForm = captioned(
        "The POP Server field takes \"host\" or \"host:port\" (port 110 when none is given); an IPv6 address "
        "with a port goes in brackets: \"[2001:db8::25]:110\".");

    lblConnection = captioned("Specify a default connection to the internet:");
    lblNoConnection = captioned("Select 'none' if you do not dial in to the internet.");
    cbRememberListed = captioned("Remember listed messages");

    rbManual = captioned("Check e-mail manually");
    rbAuto = captioned("Check e-mail unattended or automatically");
    cbConfirmation = captioned("When deleting messages interactively, ask for confirmation");
    cbLaunch = captioned("After deleting spam, launch e-mail program if there is e-mail to read");
    cbExit = captioned("If no mail is on the server, exit after checking e-mail");
    lblEvery = captioned("Check for mail every");
    lblMinutes = captioned("minutes");
    cbKill = captioned("Delete spam automatically from all mailboxes - no confirmation?");
    cbAlarm = captioned("&Play this sound file if there is e-mail on the server");
    cbRepeat = captioned("Repeat the alarm until keypress or mouse click?");
    sbAlarmFile = captioned("...", "Sound files");
    sbTest = captioned(kTest);

    cbSysTray = captioned("Start Quorvel up in the system tray?");
    cbAutostart = captioned("Start Quorvel when I log in");

    lblLogFile = captioned("Store results in activity log file:");
    sbLogFile = captioned("...", "Browse for log file");
    rbAsIs = captioned("&Use the name of the log file AS IS (no changes)?");
    rbMonth = captioned("Automatically pick a new name every &month? (i.e. Jan98.txt, Feb98.txt, ...)");
    rbQuarter = captioned("Automatically pick a new name every &quarter? (Q1_98.txt, Q2_98.txt, ...)");
    btView = captioned("&View log file");
    btClear = captioned("&Clear log file");
    btStats = captioned("View &Statistics");
    lblCount = captioned("Spams have been deleted up till now");
    btReset = captioned("&Reset counter");

    lblMail = captioned("Mail program path/name:");
    sbMailer = captioned("...", "Find mail program");
    btLaunch = captioned("Launch mail program");

    btOK = captioned("OK");
    btCancel = captioned("Cancel");
    btHelp = captioned("Help");

    enc1.Key = "qiro";
    RASComboBox.items = {"None"};
    if (dialUp) {
        for (std::string& entry : dialUp->Entries()) RASComboBox.items.push_back(std::move(entry));
    }
    ReadGeneralSettings();
    if (dialUp && RASComboBox.itemIndex > 0) dialUp->setService(RASComboBox.items[RASComboBox.itemIndex]);
    // The chosen entry was removed from the system's list: no other is dialled in its place.
    if (dialUp && missingRasEntry) platform_.dialogs.messageBox(MessageKind::Error, TagRas::kInvalidServiceName);
    activePage = kMailboxesPage;
    // A stored password that no longer deciphers is reported, but must not
    // keep the program from starting.
    try {
        readServerSettings();
    } catch (const std::exception& error) {
        platform_.dialogs.messageBox(MessageKind::Error, error.what());
    }
    firstRun = edServe[0].text.empty() && edName[0].text.empty();
    showModePanels();
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
    // The field holds only what it accepts.
    nMinutes.value = std::clamp(store_.readInteger(kGeneral, "Minutes", 10), kMinMinutes, kMaxMinutes);
    // Unset, the launch follows whether there is a mail program to launch.
    cbLaunch.checked = store_.readBool(kGeneral, "Launch", !IsBlank(edMail.text));
    cbExit.checked = store_.readBool(kGeneral, "Exit", false);
    cbAlarm.checked = store_.readBool(kGeneral, "Alarm", true);
    cbRepeat.checked = store_.readBool(kGeneral, "Repeat", true);
    // The entry is known by its name: its place in the list moves when an
    // entry before it is removed. Profiles from before the name have only
    // the place, and an entry beyond the phone book counts as "None".
    const std::string rasName = store_.readString(kGeneral, "RASName", "");
    const auto& entries = RASComboBox.items;
    const auto named = rasName.empty() ? entries.end() : std::find(entries.begin() + 1, entries.end(), rasName);
    const int ras = store_.readInteger(kGeneral, "RAS", 0);
    if (!rasName.empty())
        RASComboBox.itemIndex = named == entries.end() ? 0 : static_cast<int>(named - entries.begin());
    else
        RASComboBox.itemIndex = ras >= 0 && ras < static_cast<int>(entries.size()) ? ras : 0;
    missingRasEntry = !rasName.empty() && named == entries.end();
    edCount.text = store_.readString(kGeneral, "Count", "0");
    cbSysTray.checked = store_.readBool(kGeneral, "SysTray", false);
    // Profiles from before the option have none: on.
    cbRememberListed.checked = store_.readBool(kGeneral, "RememberListed", true);
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
    const auto ras = static_cast<std::size_t>(RASComboBox.itemIndex);
    store_.writeString(kGeneral, "RASName", ras > 0 && ras < RASComboBox.items.size() ? RASComboBox.items[ras] : "");
    store_.writeString(kGeneral, "Count", edCount.text);
    store_.writeBool(kGeneral, "SysTray", cbSysTray.checked);
    store_.writeBool(kGeneral, "RememberListed", cbRememberListed.checked);
}

void TfrmGeneral::readServerSettings() {
    rbAsIs.checked = store_.readBool(kLogfile, "Asis", true);
    rbQuarter.checked = store_.readBool(kLogfile, "Quarter", false);
    rbMonth.checked = store_.readBool(kLogfile, "Month", false);

    Which = store_.readInteger(kServer, "Which", 1);
    if (Which >= 1 && Which <= kMailboxes)
        for (int n = 1; n <= kMailboxes; ++n) rb[static_cast<std::size_t>(n - 1)].checked = n == Which;

    cbKeyring.checked = store_.readBool(kServer, "Keyring", true);
    // One password that does not decipher must not keep the other accounts
    // from loading; its error is reported once all are in.
    AccountSecrets secrets(store_, enc1, platform_.secrets);
    std::string firstError;
    for (int n = 1; n <= kMailboxes; ++n) {
        const auto i = static_cast<std::size_t>(n - 1);
        edServe[i].text = store_.readString(kServer, numbered("Server", n), "");
        edName[i].text = store_.readString(kServer, numbered("Mailbox", n), "");
        const int security = store_.readInteger(kServer, numbered("Security", n), -1);
        securityChosen_[i] = security >= 0 && security < static_cast<int>(kSecurityNames.size());
        newMailbox_[i] = edServe[i].text.empty();
        if (securityChosen_[i])
            cbSecurity[i].itemIndex = security;
        else
            applyUnchosenSecurity(i);
        cbSignIn[i].itemIndex = static_cast<int>(readSignIn(store_, n));
        oauthSettings[i] = OAuthSettings::read(store_, n);
        showSignIn(i);
        certificatePins[i] = store_.readString(kServer, numbered("Certificate", n), "");
        try {
            const bool setUp = !edServe[i].text.empty() || !edName[i].text.empty();
            const AccountSecrets::Password password = secrets.read(n, setUp);
            passwordUnread_[i] = password.inKeyring && password.status != SecretStatus::Ok;
            if (password.status == SecretStatus::Ok) edPass[i].text = password.text;
            // A token command keeps nothing: the keyring is not asked for it.
            if (signInOf(n) == TmsSignIn::OAuth2 && setUp)
                showKeptIn(i, oauthSettings[i].tokenCommand.empty() ? secrets.read(n, true, SecretKind::RefreshToken)
                                                                    : AccountSecrets::Password{});
            else
                showKeptIn(i, password);
        } catch (const std::exception& error) {
            if (firstError.empty()) firstError = error.what();
        }
    }
    showSecurityWarning();
    showCertificateException();
    if (!firstError.empty()) throw std::runtime_error(firstError);
}

void TfrmGeneral::showSignIn(std::size_t i) {
    const bool oauth = static_cast<TmsSignIn>(cbSignIn[i].itemIndex) == TmsSignIn::OAuth2;
    sbOAuth[i].visible = oauth;
    // The password stays as it was, for a return to a password sign-in.
    edPass[i].enabled = !oauth;
}

void TfrmGeneral::cbSignInChange(int n) {
    const auto i = static_cast<std::size_t>(n - 1);
    showSignIn(i);
    try {
        AccountSecrets secrets(store_, enc1, platform_.secrets);
        showKeptIn(i, signInOf(n) == TmsSignIn::OAuth2 ? secrets.read(n, true, SecretKind::RefreshToken)
                                                       : secrets.read(n, true));
    } catch (const std::exception&) {
        lblKept[i].caption.clear();
    }
    showSecurityWarning();
    changed();
}

void TfrmGeneral::sbOAuthClick(int n) {
    const auto i = static_cast<std::size_t>(n - 1);
    TfrmOAuth dialog(platform_, store_, enc1, {n, userOf(n), serverOf(n), cbKeyring.checked}, oauthSettings[i]);
    // What a sign-in would replace, once per opening of this window.
    std::optional<PriorSignIn> prior;
    if (!priorSignIn_[i]) {
        try {
            prior = PriorSignIn{AccountSecrets(store_, enc1, platform_.secrets).read(n, true, SecretKind::RefreshToken),
                                store_.readString(kServer, numbered("OAuthAccount", n), "")};
        } catch (const std::exception&) {
            prior = PriorSignIn{};
        }
    }
    platform_.dialogs.showModal(dialog);
    if (dialog.signedIn && prior) priorSignIn_[i] = std::move(prior);
    if (prior) wipe(prior->token.text);
    if (dialog.signedIn) {
        AccountSecrets::Password kept{"kept", SecretStatus::Ok, dialog.keptInKeyring};
        showKeptIn(i, kept);
    }
    if (dialog.modalResult == ModalResult::Ok) oauthSettings[i] = dialog.settings();
    changed();
}

void TfrmGeneral::showKeptIn(std::size_t i, const AccountSecrets::Password& password) {
    std::string place;
    if (password.inKeyring) {
        place = kKeyringPlace;
        if (password.status == SecretStatus::Locked) place += " (locked)";
        if (password.status == SecretStatus::Unavailable) place += " (not answering)";
        if (password.status == SecretStatus::Failed) place += " (failed)";
    } else if (!password.text.empty()) {
        place = kFilePlace;
    }
    lblKept[i].caption = place;
}

std::string TfrmGeneral::labelOf(int n) const {
    return secretLabel(n, SecretKind::Password, userOf(n), serverOf(n));
}

void TfrmGeneral::movePasswordsToKeyring() {
    if (!platform_.secrets || !cbKeyring.checked) return;
    AccountSecrets secrets(store_, enc1, platform_.secrets);
    if (secrets.moveToKeyring([this](int n) { return labelOf(n); }) == 0) return;
    for (int n = 1; n <= kMailboxes; ++n) {
        const auto i = static_cast<std::size_t>(n - 1);
        if (!edPass[i].text.empty() && store_.readString(kServer, numbered("Passwd", n), "").empty())
            lblKept[i].caption = kKeyringPlace;
    }
    changed();
}

void TfrmGeneral::applyUnchosenSecurity(std::size_t i) {
    const std::uint16_t port = namedPort(edServe[i].text).value_or(110);
    // A new mailbox is encrypted by default; one stored before the choice
    // existed keeps the rule it was checked by.
    const TmsSecurity security = port == kImplicitTlsPort ? TmsSecurity::SSLTLS
                                 : newMailbox_[i]         ? TmsSecurity::STARTTLS
                                                          : securityFor(std::nullopt, port);
    cbSecurity[i].itemIndex = static_cast<int>(security);
}

void TfrmGeneral::showSecurityWarning() {
    // What crosses the network in the clear: a password, or for OAuth 2.0
    // an access token.
    std::vector<int> passwords, tokens;
    for (int n = 1; n <= kMailboxes; ++n)
        if (!serverOf(n).empty() && securityOf(n) == TmsSecurity::None)
            (signInOf(n) == TmsSignIn::OAuth2 ? tokens : passwords).push_back(n);
    lblSecurityWarning.visible = !passwords.empty() || !tokens.empty();
    if (!lblSecurityWarning.visible) {
        lblSecurityWarning.caption.clear();
        return;
    }
    const auto named = [](const std::vector<int>& mailboxes, const char* one, const char* many) {
        std::string list;
        for (std::size_t k = 0; k < mailboxes.size(); ++k)
            list += (k == 0 ? "" : k + 1 == mailboxes.size() ? " and " : ", ") + std::to_string(mailboxes[k]);
        return mailboxes.size() == 1 ? std::string("the ") + one + " of mailbox " + list
                                     : std::string("the ") + many + " of mailboxes " + list;
    };
    std::string what;
    if (!passwords.empty()) what = named(passwords, "password", "passwords");
    if (!tokens.empty())
        what = what.empty() ? named(tokens, "access token", "access tokens")
                            : what + ", and " + named(tokens, "access token", "access tokens") + ",";
    const bool one = passwords.size() + tokens.size() == 1;
    lblSecurityWarning.caption =
        "Warning: with Security \"None\" " + what + (one ? " travels" : " travel") + " unencrypted.";
}

void TfrmGeneral::showCertificateException() {
    int chosen = 0;
    for (int n = 1; n <= kMailboxes; ++n)
        if (rb[static_cast<std::size_t>(n - 1)].checked) chosen = n;
    const std::string pin = chosen ? certificatePins[static_cast<std::size_t>(chosen - 1)] : std::string();
    lblCertificate.visible = btForgetCertificate.visible = !pin.empty();
    lblCertificate.caption = pin.empty() ? std::string()
                                         : "Mailbox " + std::to_string(chosen) +
                                               " trusts this server certificate although its checks refuse it:\n"
                                               "SHA-256 fingerprint " + pin;
}

void TfrmGeneral::btForgetCertificateClick() {
    for (int n = 1; n <= kMailboxes; ++n)
        if (rb[static_cast<std::size_t>(n - 1)].checked) certificatePins[static_cast<std::size_t>(n - 1)].clear();
    showCertificateException();
    focusedControl = numbered("edServe", Which >= 1 && Which <= kMailboxes ? Which : 1);
    changed();
}

void TfrmGeneral::edServeChange(int n) {
    const auto i = static_cast<std::size_t>(n - 1);
    if (!securityChosen_[i]) applyUnchosenSecurity(i);
    showSecurityWarning();
    changed();
}

void TfrmGeneral::cbSecurityChange(int n) {
    securityChosen_[static_cast<std::size_t>(n - 1)] = true;
    showSecurityWarning();
    changed();
}

void TfrmGeneral::securityChosenAtLogIn(int n, TmsSecurity security) {
    if (n < 1 || n > kMailboxes) return;
    const auto i = static_cast<std::size_t>(n - 1);
    if (securityChosen_[i]) return;
    cbSecurity[i].itemIndex = static_cast<int>(security);
    securityChosen_[i] = true;
    showSecurityWarning();
}

bool TfrmGeneral::saveServerSettings() {
    Which = 0;
    for (int n = 1; n <= kMailboxes; ++n)
        if (rb[static_cast<std::size_t>(n - 1)].checked) Which = n;
    store_.writeInteger(kServer, "Which", Which);
    store_.writeBool(kServer, "Keyring", cbKeyring.checked);

    AccountSecrets secrets(store_, enc1, platform_.secrets);
    // The sign-ins go where the passwords go, both ways.
    if (platform_.secrets) {
        if (cbKeyring.checked)
            secrets.moveToKeyring([this](int n) { return labelOf(n); });
        else
            secrets.moveToFile(SecretKind::RefreshToken, [this](int n) {
                return secretLabel(n, SecretKind::RefreshToken, userOf(n), serverOf(n));
            });
    }
    for (int n = 1; n <= kMailboxes; ++n) {
        const auto i = static_cast<std::size_t>(n - 1);
        const std::string& server = edServe[i].text;
        const std::string& user = edName[i].text;
        store_.writeString(kServer, numbered("Server", n), server);
        store_.writeString(kServer, numbered("Mailbox", n), user);
        // A password the keyring kept to itself stays where it is: the
        // empty field does not mean the user cleared it.
        const bool unread = passwordUnread_[i] && edPass[i].text.empty();
        const bool oauth = signInOf(n) == TmsSignIn::OAuth2;
        if (!unread) {
            AccountSecrets::Password kept{edPass[i].text, SecretStatus::Ok, false};
            kept.inKeyring = secrets.keep(n, labelOf(n), edPass[i].text, cbKeyring.checked);
            passwordUnread_[i] = false;
            // With OAuth 2.0 the column tells where the sign-in is kept.
            if (!oauth) showKeptIn(i, kept);
        }
        if (oauth) {
            try {
                showKeptIn(i, secrets.read(n, true, SecretKind::RefreshToken));
            } catch (const std::exception&) {
                lblKept[i].caption.clear();
            }
        }
        // An empty mailbox without a choice stays without one, so that the
        // server typed in later sets its default; so does a mailbox stored
        // before the choice existed, which its next check settles by what
        // the server offers.
        if (securityChosen_[i] || (newMailbox_[i] && !server.empty())) {
            store_.writeInteger(kServer, numbered("Security", n), cbSecurity[i].itemIndex);
            securityChosen_[i] = true;
        }
        writeSignIn(store_, n, signInOf(n));
        // Mailboxes that never chose OAuth 2.0 keep the file free of its settings.
        if (oauth || !store_.readString(kServer, numbered("OAuthProvider", n), "").empty())
            oauthSettings[i].write(store_, n);
        store_.writeString(kServer, numbered("Certificate", n), certificatePins[i]);

        const std::string number = std::to_string(n);
        std::string message, field;
        if (!server.empty() && user.empty()) {
            message = "Mailbox " + number + " has a server " + server + " but no mailbox";
            field = numbered("edName", n);
        } else if (server.empty() && !user.empty()) {
            message = "Mailbox " + number + " " + user + " has a blank server";
            field = numbered("edServe", n);
        } else if (!server.empty() && !user.empty() && edPass[i].text.empty() && !unread && !oauth) {
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

void TfrmGeneral::FormShow() {
    askKeyringAgain(platform_.secrets);
    // Account fields changed and then left by the title bar come back from the store.
    try {
        readServerSettings();
    } catch (const std::exception& error) {
        platform_.dialogs.messageBox(MessageKind::Error, error.what());
    }
    if (edServe[0].text.empty()) {
        MailboxFields first{edServe[0].text, edName[0].text};
        lookUpFirstAccount(mailSetup, first);
        edServe[0].text = first.server;
        edName[0].text = first.user;
    }
    if (edMail.text.empty()) edMail.text = lookUpMailProgram(mailSetup);
    if (edAlarm.text.empty()) edAlarm.text = joinPath(platform_.programFolder, "harptune.wav");
    if (Edit1.text.empty()) Edit1.text = joinPath(platform_.programFolder, "logfile.txt");
    killWhenShown = cbKill.checked;
    trayWhenShown = cbSysTray.checked;
    cbAutostart.enabled = autostartEntry().available();
    cbAutostart.checked = autostartEntry().exists();
    focusedControl.clear();
    modalResult = ModalResult::None;
    showModePanels();
    lblFirstRunRule.visible = false;
    if (firstRun) addFirstRunMailboxRule();
    if (log_) log_->applyNamingRule(*this);
    changed();
}

void TfrmGeneral::addFirstRunMailboxRule() {
    // The rule tables belong to the spam settings; without them there is
    // nothing to add to yet, and the rule waits for a later showing.
    if (!headerRules_) return;
    // Lists, forwarded and Bcc'd mail do not name the user in To: the rule
    // only asks for a look, so no default deletes mail the user never saw.
    HeaderRuleRow row;
    row.what = "To does not contain";
    row.matches = edName[0].text + " - MailBox #" + "1";
    row.caseSensitive = "No";
    row.del = "No";
    row.hits = "0";
    row.image = 1;
    headerRules_->insertFirstRule(row);
    headerRules_->Savesettings();
    firstRun = false;
    lblFirstRunRule.visible = true;
}

void TfrmGeneral::showModePanels() {
    pnlManual.visible = rbManual.checked;
    pnlAuto.visible = !rbManual.checked;
    pnlSound.visible = !cbKill.checked;
}

void TfrmGeneral::btOKClick() {
    modalResult = ModalResult::Ok;
    if (cbKill.checked && !killWhenShown && rbAuto.checked)
        platform_.dialogs.messageBox(MessageKind::Warning,
                                     "Just a warning that you selected to automatically delete marked messages "
                                     "without confirmation.  It is possible to OVER delete by using this setting.");
    if (cbSysTray.checked != trayWhenShown)
        platform_.dialogs.messageBox(MessageKind::Information,
                                     "Exit and restart for the Start Up changes to take effect.");
    SaveGeneralSettings();
    applyAutostart();
    // The sign-ins made in this window are kept with the rest.
    forgetPriorSignIns();
    // On a faulty account the window stays open.
    if (saveServerSettings() && headerRules_ && !IsBlank(edName[0].text) &&
        headerRules_->fillBlankMailboxRule(1, edName[0].text))
        headerRules_->Savesettings();
    changed();
}

AutostartEntry TfrmGeneral::autostartEntry() const {
    return {platform_.configHome, platform_.executable};
}

void TfrmGeneral::applyAutostart() {
    const AutostartEntry entry = autostartEntry();
    if (!entry.available()) return;
    try {
        if (cbAutostart.checked)
            entry.write();
        else
            entry.remove();
    } catch (const std::exception& error) {
        platform_.dialogs.messageBox(MessageKind::Error, error.what());
        cbAutostart.checked = entry.exists();
    }
}

void TfrmGeneral::restoreSignIns() {
    AccountSecrets secrets(store_, enc1, platform_.secrets);
    for (int n = 1; n <= kMailboxes; ++n) {
        auto& prior = priorSignIn_[static_cast<std::size_t>(n - 1)];
        if (!prior) continue;
        try {
            if (prior->token.status == SecretStatus::Ok && !prior->token.text.empty())
                secrets.keep(n, secretLabel(n, SecretKind::RefreshToken, userOf(n), serverOf(n)), prior->token.text,
                             prior->token.inKeyring, SecretKind::RefreshToken);
            else
                secrets.forget(n, SecretKind::RefreshToken);
            store_.writeString(kServer, numbered("OAuthAccount", n), prior->account);
        } catch (const std::exception& error) {
            platform_.dialogs.messageBox(MessageKind::Error, error.what());
        }
    }
    forgetPriorSignIns();
}

void TfrmGeneral::forgetPriorSignIns() {
    for (auto& prior : priorSignIn_) {
        if (prior) wipe(prior->token.text);
        prior.reset();
    }
}

void TfrmGeneral::btCancelClick() {
    restoreSignIns();
    ReadGeneralSettings();
    try {
        readServerSettings();
    } catch (const std::exception& error) {
        platform_.dialogs.messageBox(MessageKind::Error, error.what());
    }
    cbAutostart.checked = autostartEntry().exists();
    showModePanels();
    modalResult = ModalResult::Cancel;
    changed();
}

void TfrmGeneral::rbManualClick() {
    rbManual.checked = true;
    rbAuto.checked = false;
    showModePanels();
    changed();
}

void TfrmGeneral::rbAutoClick() {
    rbAuto.checked = true;
    rbManual.checked = false;
    showModePanels();
    changed();
}

void TfrmGeneral::cbKillClick() {
    showModePanels();
    changed();
}

void TfrmGeneral::rbMailboxClick(int n) {
    for (int i = 1; i <= kMailboxes; ++i) rb[static_cast<std::size_t>(i - 1)].checked = i == n;
    showCertificateException();
    changed();
}

void TfrmGeneral::rbAsIsClick() {
    rbAsIs.checked = true;
    rbMonth.checked = rbQuarter.checked = false;
    changed();
}

void TfrmGeneral::rbMonthClick() {
    rbMonth.checked = true;
    rbAsIs.checked = rbQuarter.checked = false;
    changed();
}

void TfrmGeneral::rbQuarterClick() {
    rbQuarter.checked = true;
    rbAsIs.checked = rbMonth.checked = false;
    changed();
}

void TfrmGeneral::browse(Control& field, bool save, const std::string& title, const std::string& filter,
                         const std::string& defaultExt) {
    const auto chosen = save ? platform_.dialogs.saveFileName(title, filter, defaultExt, field.text)
                             : platform_.dialogs.openFileName(title, filter, defaultExt, field.text);
    if (!chosen) return;
    field.text = *chosen;
    changed();
}

void TfrmGeneral::sbLogFileClick() {
    browse(Edit1, true, "", "Text files (*.txt)|*.txt|All files (*.*)|*.*", ".txt");
}

void TfrmGeneral::sbAlarmFileClick() {
    browse(edAlarm, false, "Sound files", "Sound files (*.wav)|*.wav|All files (*.*)|*.*", ".wav");
}

void TfrmGeneral::sbMailerClick() {
    // Programs here carry no extension; a desktop entry starts one too.
    browse(edMail, false, "", "Program files (*)|*|Desktop entries (*.desktop)|*.desktop", "");
}

void TfrmGeneral::sbTestClick() {
    if (sbTest.caption == kTest) {
        if (cbRepeat.checked) sbTest.caption = "Stop";
        if (fileExists(edAlarm.text) && OnPlayAlarm) OnPlayAlarm(true);
    } else {
        sbTest.caption = kTest;
        if (fileExists(edAlarm.text) && OnPlayAlarm) OnPlayAlarm(false);
    }
    changed();
}

void TfrmGeneral::btResetClick() {
    if (platform_.dialogs.messageBox(MessageKind::Confirmation, "Really reset spam counter?", MessageButtons::YesNo) ==
        ModalResult::Yes)
        edCount.text = "0";
    changed();
}

void TfrmGeneral::notAvailable(const std::string& what) {
    platform_.dialogs.messageBox(MessageKind::Information, what + " is not available in this version yet.");
}

void TfrmGeneral::btViewClick() {
    if (log_)
        log_->viewLogFile();
    else
        notAvailable("The activity log");
}

void TfrmGeneral::btClearClick() {
    if (log_)
        log_->clearLogFile();
    else
        notAvailable("The activity log");
}

void TfrmGeneral::btStatsClick() {
    if (OnShowStatistics)
        OnShowStatistics();
    else
        notAvailable("The statistics window");
}

void TfrmGeneral::btLaunchClick() {
    if (OnLaunchMailProgram) OnLaunchMailProgram();
}

void TfrmGeneral::btHelpClick() {
    if (!platform_.shell.showHelp(joinPath(platform_.programFolder, kHelpFile), kHelpContext))
        platform_.dialogs.messageBox(MessageKind::Error, "Unable to open help file - quorvel.hlp.");
}

}  // namespace quorvel
