#pragma once

#include <optional>
#include <tuple>

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "app/check_steps.h"
#include "app/finally.h"
#include "app/frm_retrieving.h"
#include "app/frm_splash.h"
#include "app/frm_view_header.h"
#include "app/frm_which_mailbox.h"
#include "app/learning.h"
#include "app/message_list.h"
#include "classify/classification.h"
#include "classify/unknown_domain.h"
#include "config/frm_general.h"
#include "config/oauth_access.h"
#include "config/frm_options_main.h"
#include "config/known_list.h"
#include "log/activity_log.h"
#include "config/password_cipher.h"
#include "config/settings_store.h"
#include "mail/msg_decoder.h"
#include "mail/mx_resolver.h"
#include "config/spam_rules.h"
#include "mail/ag_ras.h"
#include "mail/listing_cache_file.h"
#include "mail/pop3_client.h"
#include "platform/form.h"
#include "platform/platform.h"

namespace quorvel {

// The main window's logic: the hub that owns the POP3 client, the message
// list, the timers and the flags that tie the runs together. The toolkit
// window draws the controls below and calls the handlers.
class TfrmMain : public Form, public ClassificationHost {
public:
    // A deletion or viewing refused because the list is another account's.
    static constexpr const char* kListOfAnotherAccount =
        "The mailbox settings changed since this list was made; check e-mail again before deleting.";
    static constexpr const char* kViewOfAnotherAccount =
        "The mailbox settings changed since this list was made; check e-mail again to view its messages.";
    // The status line at start while the current mailbox is not set up.
    static constexpr const char* kWhereToBegin =
        "To begin, enter your mailbox in Settings and more > General settings.";

    // Which control sent a click that two controls share.
    enum class Sender { Button, Menu };

    // Builds the controls and runs FormCreate. `splash` may be null.
    // `trayAtStart` starts in tray mode whatever the setting says (the start
    // at log-in).
    TfrmMain(Platform& platform, SettingsStore& store, std::unique_ptr<TfrmSplash> splash,
             bool trayAtStart = false);
    ~TfrmMain() override;

    // The general settings window, created after this one; its controls are
    // the live settings.
    void setGeneralWindow(TfrmGeneral* general) { frmGeneral_ = general; }
    // The activity log the runs write to.
    void setActivityLog(ActivityLog* log);
    // The spam settings window, created right after this one; it owns the
    // rules the messages are judged by and the unknown-domain counter.
    void setSpamSettingsWindow(TfrmOptionsMain* options);
    // Where the unknown-domain check asks (the MX resolver unless replaced);
    // replacing it starts the domain caches afresh.
    void setDomainResolver(DomainResolver& resolver);
    // The progress dialog of the runs, created after this window.
    void setProgressDialog(TfrmRetrieving* dialog);

    // Toolbar.
    Control btList, btOptions, btExit, btMark, btDelete, btRemark, btResetAll, btLaunch;
    // The drop-down panel of btOptions.
    Control btGeneral, btSpamSetup, btStats, btAbout, btHelp;
    // Labels.
    Control lblTitle, Label1, lblAd;
    // The message list, its popup menu in order, and the status bar.
    MessageList ListView1;
    Control Why1, ThisIsSpam1, ThisIsNotSpam1, AddtoExceptions1, AddtoSPAMlist1, ViewHeader1, ViewMessages1;
    std::array<std::string, 2> statusPanels;
    // The tray menu popTray, in order; Settings1 and Help1 are submenus.
    Control Show1, LaunchEmailprogram1, ShowMainScreen1, Settings1, Spam1, General1, Viewlogfile1,
        Statistics1, EnableAutomatic1, DisableAutomatic1, Help1, Help2, About1, Exit1;

    // Hidden helpers.
    KnownList lbKnown;  // the sorted known-spammer list
    std::vector<std::string> memoWhy;  // the explanation memo

    // Non-visual parts.
    // Dials the chosen connection before msRemotePOP1 connects.
    TagRas agRas1;
    TmsRemotePOP msRemotePOP1;
    TPasswordCipher enc1;
    TmsMXResolver MXResolver;
    TmsMessage msMessage1;  // a fetched message, decoded for viewing
    std::unique_ptr<Timer> Timer1;
    std::unique_ptr<Timer> timSplash;
    std::unique_ptr<TfrmSplash> frmSplash;  // null once the splash has ended

    // A request to move the keyboard focus to a control, by name; the window
    // takes it once (a check puts it on the list, not on "Goodbye").
    std::string focusedControl;

    // State.
    int currentMailbox = 1;
    bool trayMode = false;
    int MinutesLeft = 10;
    bool AutoCheckRunning = false;
    bool Listing = false;
    bool ExplainMode = false;
    bool ExplainException = false;
    std::string IniPath;
    bool DeleteRunning = false;
    int DeleteTotal = 0;
    int DeleteNext = 0;
    // Messages whose deletion the server committed in this run.
    int DeletedCount = 0;
    // The mailbox whose listing the rows show (0 before the first listing).
    int listedMailbox = 0;
    // The account the shown list came from: server with port, user name,
    // security and sign-in. Marks may only be carried out on that account.
    AccountIdentity listedAccount;

    // Start-up.
    void FormCreate();
    void fix2000();
    void timSplashTimer();
    void GetRemotePOPSettings(int mailbox);
    // Removes every viewed message's file (msg_<number>.eml) from the
    // program folder; at start and at the end.
    void CleanUpEMLFiles();
    // Closing: ends an open POP3 session; closing is always allowed.
    bool FormCloseQuery();

    // Buttons around every run.
    void disableAllButtons();
    void enableAllButtons();
    // The exit button reads "Cancel" while a run is in progress.
    void setExitRole(bool cancel);

    // The exit button and the tray menu's Exit.
    void btExitClick(Sender sender);
    // How the program is asked to end: closing the main window asks
    // FormCloseQuery first, terminating does not.
    enum class EndRequest { None, Close, Terminate };
    EndRequest endRequest = EndRequest::None;

    // Automatic mode captions and tray icon.
    void UpdateAutomaticCaptions(bool automatic, int minutes);
    void UpdateTrayIcons(bool automatic);
    // The automatic cycle: counts the minutes down and checks every mailbox.
    void Timer1Timer();
    void CheckAllMailBoxes();
    // The tray menu's pair "Enable automatic check" / "Disable automatic check".
    void EnableAutomatic1Click(const Control& sender);
    // The tray menu's "Check e-mail for spam".
    void Show1Click();

    // The alarm, help and the drop-down panel.
    void playAlarmSound(bool play);
    void btHelpClick();
    void btOptionsClick();
    void btAboutClick();
    void ShowMainScreen1Click();
    void popTrayPopup();

    // The check run (the listing of the current mailbox) and the deletion run.
    void btListClick();
    // Lists the mailbox; a certificate the checks refuse is offered to the
    // user, and once trusted the listing is tried again.
    void listTrustingOnRequest(bool attended);
    // While set, the client's error record waits here for the user's answer
    // to the certificate question: one who goes on leaves no error behind.
    std::optional<std::string>* heldError_ = nullptr;
    bool OnlyOneMailbox() const;
    void synchronizeIwhich();
    void btDeleteClick();
    void DeleteMessages();
    // Ends the run in progress: the exit button's "Cancel" and the progress dialog's button.
    void cancelRun();

    // Handlers of the POP3 client's events.
    void msRemotePOP1Open();
    void msRemotePOP1UpdatingInfo();
    void msRemotePOP1NextInfoUpdated(int num);
    void msRemotePOP1InfoUpdated();
    void msRemotePOP1TransferringData();
    void msRemotePOP1DataTransfered();
    void msRemotePOP1Closing();
    void msRemotePOP1Closed();
    void msRemotePOP1Error(std::string& message);
    void msRemotePOP1Cancel();
    // The message list (its rows belong by position to the POP3 records).
    // Appends the row of a listed record, unmarked.
    void addMessageRow(const TmsRemoteInfoItem& record);
    // Toggles the selected rows' marks (also a double click on the list).
    void btMarkClick();
    void ResetButtonClick();
    // Recomputes every mark.
    void btRemarkClick();
    void ShowTotalCount();
    void NadaSelected();
    void ListView1Click();
    void ListView1KeyUp();
    // Rows are never edited in place.
    bool ListView1Editing() const { return false; }

    // Judges row `index`, or every row when it is -1, setting the marks.
    void MarkForDeletion(int index);
    // Adds an exception for the address unless one for it exists already.
    void AddSenderException(const std::string& address);
    int serverToIndex() override;
    bool explaining() const override { return ExplainMode; }
    void whyAdd(bool del, const std::string& what, const std::string& op, const std::string& pattern,
                bool caseSensitive) override;
    void whyExcept(const std::string& what, const std::string& op, const std::string& pattern,
                   bool caseSensitive) override;

    // The list's popup menu.
    void Why1Click();
    // Mark the selected rows for deletion, or clear their marks, and learn
    // them as spam or as wanted mail at once.
    void ThisIsSpam1Click();
    void ThisIsNotSpam1Click();
    void AddtoExceptions1Click();
    void AddtoSPAMlist1Click();
    void ViewHeader1Click();
    void ViewMessages1Click();
    void msRemotePOP1Deleting(int num);
    void msRemotePOP1Deleted(int num);
    void msRemotePOP1Retrieving(int num);
    void msRemotePOP1Retrieved(int num);
    void msRemotePOP1UserMessageSave(int num, const std::string& contents);
    // The file a fetched message is saved to, in the program folder.
    std::string messageFileName(int index) const;

    // The mail program, the settings and statistics windows, the log.
    void btLaunchClick();
    void btGeneralClick();
    void btSpamSetupClick();
    void btStatsClick();
    void Viewlogfile1Click();

    // Asks the about window to show (the toolkit binds it).
    Form* frmAbout = nullptr;

    // The learned model, taught by the user's decisions on the listed rows.
    UserLearning& learning() { return *learning_; }
    // Writes what was learned since the last save (also at exit).
    void saveLearning();
    // After learning, the model is saved this long after the last decision,
    // so that a run of clicks costs one save.
    static constexpr int kLearningSaveDelay = 3000;

private:
    void notAvailable(const std::string& what);
    // True when rows are selected; otherwise tells the user (NadaSelected).
    bool hasSelection();
    // The first selected row, after telling the user when there are more;
    // -1 (after NadaSelected) when none is selected.
    int oneSelectedRow();
    // The viewing commands stop the alarm and pause automatic checking while
    // they run; it resumes when they end if the setting is on.
    Finally pauseForViewing();
    // Shows lines in a viewer made for this one use.
    void showViewer(TfrmViewHeader& viewer);
    // Judges again only the rows new rules concern, so that every other row
    // keeps the mark the user gave it.
    void judgeRowsAgain(const std::function<bool(const MessageRow&)>& concerned);
    bool automaticSetting() const;
    int minutesSetting() const;
    // The title label and the tray icon's hint repeat the window caption.
    void showCaption();
    // Rows left by an automatic cycle may belong to another mailbox than the
    // account the POP3 client holds: the commands that act on the rows on
    // the server load the rows' account first.
    void useListedMailbox();
    // Ends a session kept from an earlier listing (QUIT, or just the socket).
    void endKeptSession();
    // A log-in chose STARTTLS for a mailbox that had no security choice.
    void msRemotePOP1SecurityChosen();
    AccountIdentity clientAccount() const;
    // Before a run on the listed messages: true, after ending the kept session
    // and saying so, when the listed mailbox's account (as the client holds
    // it or as the settings hold it now) is no longer the one listed.
    bool refusedForAnotherAccount(const char* refusal);
    // A run is interactive unless it is an automatic one with the window hidden.
    bool interactive() const;
    void connectClientEvents();
    void showListPicture();
    void setStatus(const std::string& text);

    // Learns row `index` from its record as spam or as wanted mail, when
    // learning is on; the model is saved a moment later.
    void learnRow(std::size_t index, bool spam);
    bool learningOn() const;
    // The learned judge's reason for taking row `index` for spam; "" when it
    // does not.
    std::string learnedSpamReason(std::size_t index) const;
    // Rows whose deletion the server committed in this run, to learn as spam.
    std::vector<std::size_t> committedDeletions_;

    Platform& platform_;
    SettingsStore& store_;
    std::unique_ptr<UserLearning> learning_;
    std::unique_ptr<Timer> learningSave_;
    bool learningLoadReported_ = false;
    // The access tokens of the mailboxes that sign in with OAuth 2.0.
    OAuthAccess oauthAccess_{{store_, enc1, platform_.secrets, platform_.oauth, platform_.pump, &platform_.dialogs}};
    TfrmGeneral* frmGeneral_ = nullptr;
    ActivityLog* log_ = nullptr;
    TfrmOptionsMain* frmOptionsMain_ = nullptr;
    MXDomainResolver mxDomains_{MXResolver};
    DomainResolver* domainResolver_ = &mxDomains_;
    // The two per-run domain caches live here.
    std::unique_ptr<UnknownDomainCheck> domainCheck_;
    std::unique_ptr<Classification> classification_;
    TfrmRetrieving* frmRetrieving_ = nullptr;
    bool trayAtStart_ = false;
    // The mailbox whose account the POP3 client holds.
    int clientMailbox_ = 0;
    // Off while messages already counted in this listing are judged again.
    bool countingHits_ = true;
    // The alarm could not be heard, and the log says so already.
    bool alarmProblemLogged_ = false;
    // The user canceled the present run: its cancellation is no error.
    bool canceledByUser_ = false;
    // The listing cache of the mailbox last checked, while the option is on.
    std::unique_ptr<TmsListingCacheFile> listingCache_;
    void useListingCache();
    void saveListingCache();
};

}  // namespace quorvel
