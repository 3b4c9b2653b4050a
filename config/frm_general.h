#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>

#include "config/account_secrets.h"
#include "config/autostart.h"
#include "config/mail_setup_lookup.h"
#include "config/oauth_access.h"
#include "config/password_cipher.h"
#include "config/settings_store.h"
#include "mail/mail_security.h"
#include "platform/ascii_text.h"
#include "platform/form.h"
#include "platform/platform.h"

namespace quorvel {

class TagRas;

class TfrmGeneral;

// What the settings windows and the main window need of the activity log.
class LogCommands {
public:
    virtual ~LogCommands() = default;
    virtual void viewLogFile() = 0;
    virtual void clearLogFile() = 0;
    // Renames the window's log-file field after its naming rule and today's date.
    virtual void applyNamingRule(TfrmGeneral& window) = 0;
    virtual void logCancel(const std::string& user, const std::string& server) = 0;
};

// One row of the header rule table, by its columns.
struct HeaderRuleRow {
    std::string what, matches, caseSensitive, del, hits;
    int image = 0;
};

// The spam settings' header rules, to which the first showing adds a rule
// for the first mailbox.
class HeaderRules {
public:
    virtual ~HeaderRules() = default;
    virtual void insertFirstRule(const HeaderRuleRow& row) = 0;
    // Gives the first mailbox rule of `mailbox` whose address is blank the
    // address, in place; false when there is no such rule.
    virtual bool fillBlankMailboxRule(int mailbox, const std::string& address) = 0;
    // Saves the rule tables and the spam option values.
    virtual void Savesettings() = 0;
};

// The general settings window's logic. Its controls hold the live settings:
// a value shown here is the value every other part of the program reads, and
// only the save points write it to the settings store.
class TfrmGeneral : public Form {
public:
    static constexpr int kMailboxes = 12;
    static constexpr const char* kMailboxesPage = "Mailboxes";
    static constexpr std::array<const char*, 6> kPages = {"Mailboxes",    "Connection",  "Automatic",
                                                         "Start Up",     "Activity Log", "Mail program"};
    static constexpr int kMinMinutes = 2;
    static constexpr int kMaxMinutes = 600;
    static constexpr int kHelpContext = 200;

    // Creation loads the live settings and the mailbox accounts.
    // `dialUp` lists the connections the "Connection" page offers and dials
    // the one chosen; none on a system without dial-up.
    TfrmGeneral(Platform& platform, SettingsStore& store, TagRas* dialUp = nullptr);

    // Page "Mailboxes": index 0 is mailbox 1.
    Control lblPOPServer, lblUserName, lblPassword, lblSecurity, lblSignIn;
    Control lblServerForm;  // how a server is written
    // Shown in the one showing that added the first-run rule: what it does.
    Control lblFirstRunRule;
    std::array<Control, kMailboxes> rb, edServe, edName, edPass;
    // itemIndex: the TmsSecurity of the mailbox; items kSecurityNames.
    std::array<Control, kMailboxes> cbSecurity;
    // itemIndex: the TmsSignIn of the mailbox; items kSignInNames.
    std::array<Control, kMailboxes> cbSignIn;
    // Opens the OAuth 2.0 settings of the mailbox; shown while its sign-in is OAuth 2.0.
    std::array<Control, kMailboxes> sbOAuth;
    // Per mailbox: its OAuth 2.0 settings, as the dialog left them.
    std::array<OAuthSettings, kMailboxes> oauthSettings;
    // Shown while a configured mailbox sends its password unencrypted.
    Control lblSecurityWarning;
    // The certificate the chosen mailbox trusts although the usual checks
    // refuse it, and the button that removes that exception.
    Control lblCertificate, btForgetCertificate;
    // Per mailbox: the SHA-256 fingerprint of that certificate; empty: none.
    std::array<std::string, kMailboxes> certificatePins;
    // Where each mailbox's password (with OAuth 2.0: its sign-in) is kept:
    // kKeyringPlace or kFilePlace.
    Control lblKeptIn;
    std::array<Control, kMailboxes> lblKept;
    // The setting Server/Keyring: passwords go to the desktop keyring; off,
    // saving brings them back into the settings file.
    Control cbKeyring;
    // Page "Connection".
    Control lblConnection, lblNoConnection;
    Control RASComboBox;  // itemIndex: RAS; item 0 is "None"
    // The stored entry (RASName) is not in the system's list any more.
    bool missingRasEntry = false;
    // Checks list only the messages they have not seen before.
    Control cbRememberListed;
    // Page "Automatic".
    Control rbManual, rbAuto;
    Control pnlManual, cbConfirmation, cbLaunch, cbExit;
    Control pnlAuto, lblEvery, nMinutes, lblMinutes, cbKill;
    Control pnlSound, cbAlarm, cbRepeat, edAlarm, sbAlarmFile, sbTest;
    // Page "Start Up".
    Control cbSysTray;
    Control cbAutostart;  // the desktop's start at log-in, in tray mode
    // Page "Activity Log".
    Control lblLogFile, Edit1, sbLogFile;
    Control rbAsIs, rbMonth, rbQuarter;
    Control btView, btClear, btStats;
    Control edCount, lblCount, btReset;
    // Page "Mail program".
    Control lblMail, edMail, sbMailer, btLaunch;
    // Below the pages.
    Control btOK, btCancel, btHelp;

    // The window's current mailbox (the live Which).
    int Which = 1;
    // The page shown and the control holding the focus, by name.
    std::string activePage = kMailboxesPage;
    std::string focusedControl;
    // Set at creation while mailbox 1 has neither server nor user name.
    bool firstRun = false;
    bool killWhenShown = false;
    bool trayWhenShown = false;

    TPasswordCipher enc1;
    // Where the first showing looks for the user's other mail programs.
    MailSetupSources mailSetup;

    // What this window asks of the main window and of the statistics.
    std::function<void(bool play)> OnPlayAlarm;
    std::function<void()> OnLaunchMailProgram;
    std::function<void()> OnShowStatistics;
    void setLog(LogCommands* log) { log_ = log; }
    void setHeaderRules(HeaderRules* rules) { headerRules_ = rules; }

    void ReadGeneralSettings();
    void SaveGeneralSettings();
    void readServerSettings();
    // Saves the accounts in order, stopping at the first faulty mailbox: its
    // error is shown, the window turns to the "Mailboxes" page with the faulty
    // field focused and stays open. Returns false then.
    bool saveServerSettings();
    // At start-up: the passwords the settings file still holds move into the
    // keyring, each leaving the file once the keyring confirmed it.
    void movePasswordsToKeyring();

    // Each showing.
    void FormShow();
    void btOKClick();
    void btCancelClick();
    // Radio groups: a click checks one button and unchecks the others.
    void rbManualClick();
    void rbAutoClick();
    void cbKillClick();
    void rbMailboxClick(int n);
    // Mailbox n's server field was edited: an unchosen security follows its port.
    void edServeChange(int n);
    // Mailbox n's security was chosen (cbSecurity holds the new index).
    void cbSecurityChange(int n);
    // Mailbox n's sign-in was chosen (cbSignIn holds the new index).
    void cbSignInChange(int n);
    // Opens mailbox n's OAuth 2.0 settings.
    void sbOAuthClick(int n);
    TmsSignIn signInOf(int n) const {
        return static_cast<TmsSignIn>(cbSignIn.at(static_cast<std::size_t>(n - 1)).itemIndex);
    }
    // A log-in chose `security` for mailbox n, which had no choice; shown
    // and kept as if chosen here (no changed(): the window may be hidden).
    void securityChosenAtLogIn(int n, TmsSecurity security);
    // Removes the certificate exception of the chosen mailbox (saved by OK).
    void btForgetCertificateClick();
    void rbAsIsClick();
    void rbMonthClick();
    void rbQuarterClick();
    // Browse buttons.
    void sbLogFileClick();
    void sbAlarmFileClick();
    void sbMailerClick();
    void sbTestClick();
    void btResetClick();
    void btViewClick();
    void btClearClick();
    void btStatsClick();
    void btLaunchClick();
    void btHelpClick();

    // Live values, as the rest of the program reads them.
    bool Automatic() const { return rbAuto.checked; }
    int Minutes() const { return nMinutes.value; }
    bool Kill() const { return cbKill.checked; }
    bool Ask() const { return cbConfirmation.checked; }
    // Without a mail program there is nothing to launch, whatever the box says.
    bool Launch() const { return cbLaunch.checked && !IsBlank(edMail.text); }
    bool Exit() const { return cbExit.checked; }
    bool Alarm() const { return cbAlarm.checked; }
    bool Repeat() const { return cbRepeat.checked; }
    bool SysTray() const { return cbSysTray.checked; }
    bool RememberListed() const { return cbRememberListed.checked; }
    const std::string& Mailer() const { return edMail.text; }
    const std::string& AlarmFile() const { return edAlarm.text; }
    const std::string& Logfile() const { return Edit1.text; }
    // Account n (1 to 12) as the live table holds it.
    const std::string& serverOf(int n) const { return edServe.at(static_cast<std::size_t>(n - 1)).text; }
    const std::string& userOf(int n) const { return edName.at(static_cast<std::size_t>(n - 1)).text; }
    TmsSecurity securityOf(int n) const {
        return static_cast<TmsSecurity>(cbSecurity.at(static_cast<std::size_t>(n - 1)).itemIndex);
    }

private:
    void showModePanels();
    AutostartEntry autostartEntry() const;
    // Writes or removes the log-in entry as cbAutostart says.
    void applyAutostart();
    // The security shown for mailbox i while none is stored or chosen.
    void applyUnchosenSecurity(std::size_t i);
    void showSecurityWarning();
    void showCertificateException();
    void showKeptIn(std::size_t i, const AccountSecrets::Password& password);
    // What the mailbox's row shows for its sign-in choice.
    void showSignIn(std::size_t i);
    std::string labelOf(int n) const;
    void addFirstRunMailboxRule();
    void browse(Control& field, bool save, const std::string& title, const std::string& filter,
                const std::string& defaultExt);
    void notAvailable(const std::string& what);

    Platform& platform_;
    SettingsStore& store_;
    LogCommands* log_ = nullptr;
    HeaderRules* headerRules_ = nullptr;
    // Per mailbox: a security stored or picked by the user (else it follows
    // the port), and whether the mailbox had no server when read (a new one).
    std::array<bool, kMailboxes> securityChosen_{};
    std::array<bool, kMailboxes> newMailbox_{};
    // A password the keyring holds but did not give (locked, gone): the
    // empty field stands for it, and saving leaves it where it is.
    std::array<bool, kMailboxes> passwordUnread_{};
    // The sign-in a mailbox had before its dialog signed in anew while this
    // window is open: Cancel puts it back (or removes the new one), so a
    // cancelled window leaves no new secret behind.
    struct PriorSignIn {
        AccountSecrets::Password token;
        std::string account;
    };
    std::array<std::optional<PriorSignIn>, kMailboxes> priorSignIn_;
    void restoreSignIns();
    void forgetPriorSignIns();
};

}  // namespace quorvel
