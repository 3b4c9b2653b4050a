#include "app/frm_main.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#include "app/check_steps.h"
#include "classify/operators.h"
#include "log/frm_chart_main.h"
#include "platform/files.h"

namespace quorvel {

namespace {

constexpr const char* kProgramName = "Quorvel";
constexpr int kTimer1Interval = 60000;
constexpr int kSplashInterval = 1500;

Control button(const char* caption, const char* picture, bool visible = true) {
    Control c;
    c.caption = caption;
    c.hint = caption;
    c.picture = picture;
    c.visible = visible;
    return c;
}

Control item(const char* caption) {
    Control c;
    c.caption = caption;
    return c;
}

}  // namespace

TfrmMain::TfrmMain(Platform& platform, SettingsStore& store, std::unique_ptr<TfrmSplash> splash, bool trayAtStart)
    : Form("frmMain", kProgramName),
      agRas1(platform.dialUp, platform.pump, platform.timers, platform.dialogs),
      msRemotePOP1(platform.pump, platform.timers),
      MXResolver(platform.pump, platform.timers),
      frmSplash(std::move(splash)),
      platform_(platform),
      store_(store),
      trayAtStart_(trayAtStart) {
    // A refused sign-in is asked about only while someone is at the window.
    oauthAccess_.attended = [this] { return interactive(); };
    // No session waits on a person: the progress says who is waited for.
    oauthAccess_.onBrowserWait = [this](bool waiting) {
        if (!waiting) return;
        statusPanels[1] = OAuthAccess::kBrowserWaitText;
        if (frmRetrieving_) frmRetrieving_->setMessage(OAuthAccess::kBrowserWaitText);
        changed();
    };
    btList = button("Check e-mail", "imDown");
    btOptions = button("Settings and more", "btOptions");
    btExit = button("Goodbye", "imDoor");
    btExit.hotPicture = "imBye";
    btMark = button("Mark messages", "btMark", false);
    btDelete = button("Delete marked messages", "btDelete", false);
    btRemark = button("Auto-mark messages", "btRemark", false);
    btResetAll = button("Reset all marks", "btResetAll", false);
    btLaunch = button("Launch e-mail program", "btLaunch", false);
    btGeneral = button("General settings", "btGeneral");
    btSpamSetup = button("Spam settings", "btSpamSetup");
    btStats = button("Stats", "btStats");
    btAbout = button("About", "btAbout");
    btHelp = button("Help", "btHelp");

    lblTitle.caption = kProgramName;
    Label1.caption = "TM";
    lblAd.caption = "Quickly eliminate junk e-mail before it gets to your mailbox";
    statusPanels = {"Right click for more options, double click to mark", "Ready"};

    Why1 = item("Why was this e-mail marked?");
    ThisIsSpam1 = item("This is spam");
    ThisIsNotSpam1 = item("This is not spam");
    AddtoExceptions1 = item("Add selected sender(s) to exceptions list");
    AddtoSPAMlist1 = item("Add selected message(s) to spam list");
    ViewHeader1 = item("View selected message(s) headers");
    ViewMessages1 = item("View body of one message");

    Show1 = item("Check e-mail for spam");
    LaunchEmailprogram1 = item("Launch e-mail program");
    ShowMainScreen1 = item("Main screen");
    Settings1 = item("Settings");
    Spam1 = item("Spam");
    General1 = item("General");
    Viewlogfile1 = item("View log file");
    Statistics1 = item("Statistics");
    EnableAutomatic1 = item("Enable automatic check");
    DisableAutomatic1 = item("Disable automatic check");
    DisableAutomatic1.checked = true;
    Help1 = item("Help/Info");
    Help2 = item("Help");
    About1 = item("About");
    Exit1 = item("Exit");

    msRemotePOP1.DefaultPort = 110;
    msRemotePOP1.TimeOut = 120;
    msRemotePOP1.RAS = &agRas1;
    agRas1.MinimizeAtConnect = true;
    enc1.Key = "qiro";
    connectClientEvents();
    Timer1 = platform_.timers.createTimer([this] { Timer1Timer(); });
    Timer1->setInterval(kTimer1Interval);
    timSplash = platform_.timers.createTimer([this] { timSplashTimer(); });
    timSplash->setInterval(kSplashInterval);
    learning_ = std::make_unique<UserLearning>(platform_.programFolder, *this);
    learningSave_ = platform_.timers.createTimer([this] { saveLearning(); });
    learningSave_->setInterval(kLearningSaveDelay);

    FormCreate();
}

TfrmMain::~TfrmMain() {
    // What the user taught is never lost on the way out.
    saveLearning();
    // Viewed messages are private mail: none stays behind once the program ends.
    CleanUpEMLFiles();
}

void TfrmMain::FormCreate() {
    fix2000();

    // An unreadable store reads as its defaults; the user hears of it once,
    // here, and it is left as it is for them to mend.
    const std::string problem = store_.readProblem();
    if (!problem.empty()) {
        if (frmSplash) {
            frmSplash->visible = false;
            frmSplash->changed();
        }
        platform_.dialogs.messageBox(MessageKind::Warning,
                                     "The settings file " + store_.filePath() + " could not be read: " + problem +
                                         ".  Quorvel starts with the default settings and saves none until the "
                                         "file can be read.");
    }

    trayMode = trayAtStart_ || store_.readBool("General", "SysTray", false);
    const bool automatic = store_.readBool("General", "Automatic", false);
    MinutesLeft = store_.readInteger("General", "Minutes", 10);
    currentMailbox = store_.readInteger("Server", "Which", 1);

    AutoCheckRunning = false;
    EnableAutomatic1.checked = automatic;
    DisableAutomatic1.checked = !automatic;

    if (!trayMode) platform_.tray.setActive(false);

    Listing = ExplainMode = ExplainException = false;

    IniPath = joinPath(platform_.programFolder, "quorvel.ini");
    lbKnown.LoadUpKnownList(joinPath(platform_.programFolder, kKnownListFileName));

    // A stored password that no longer deciphers is reported, but must not
    // keep the window from coming up.
    try {
        GetRemotePOPSettings(currentMailbox);
    } catch (const std::exception& error) {
        platform_.dialogs.messageBox(MessageKind::Error, error.what());
    }

    CleanUpEMLFiles();

    if (frmSplash) {
        frmSplash->pnl1.visible = false;
        frmSplash->pnl2.visible = true;
        frmSplash->changed();
        timSplash->setEnabled(true);
    }

    // A newcomer is told where to begin.
    statusPanels[1] = IsBlank(msRemotePOP1.Server) || IsBlank(msRemotePOP1.UserName) ? kWhereToBegin : "Ready";

    UpdateAutomaticCaptions(automatic, MinutesLeft);
    if (trayMode) btExit.caption = "Hide";
    // In tray mode the program starts hidden, as "Hide" leaves it: where the
    // desktop has no notification area that means minimised, never unreachable.
    if (trayMode)
        platform_.tray.hideApplication();
    else
        platform_.tray.showApplication();
    if (automatic) {
        Timer1->setEnabled(true);
        platform_.tray.setState(TrayIconState::Animated);
    }
    changed();
}

void TfrmMain::fix2000() {
    widenShortDate(platform_.clock.formatSettings());
}

void TfrmMain::timSplashTimer() {
    if (frmSplash) {
        frmSplash->visible = false;
        frmSplash->changed();
        frmSplash.reset();
    }
    timSplash->setEnabled(false);
}

void TfrmMain::GetRemotePOPSettings(int mailbox) {
    clientMailbox_ = mailbox;
    const std::string n = std::to_string(mailbox);
    const std::string stored = store_.readString("Server", "Passwd" + n, "");
    const std::string marker = store_.readString("Server", "Version161", "xx");
    store_.writeString("Server", "Version161", "161");

    if (marker == "161") {
        readAccount(store_, enc1, platform_.secrets, mailbox, msRemotePOP1, &oauthAccess_);
        // The provider, a sign-in in the browser or the token command may
        // take a while: the progress says what is awaited.
        if (msRemotePOP1.AccessToken)
            msRemotePOP1.AccessToken = [this, ask = std::move(msRemotePOP1.AccessToken)](bool renew) {
                if (frmRetrieving_) frmRetrieving_->setMessage("Getting the access token ... ");
                setStatus("Getting the access token for " + msRemotePOP1.UserName + " on " + msRemotePOP1.Server);
                return ask(renew);
            };
        return;
    }
    if (stored.empty()) return;

    // Passwords stored before the current cipher cannot be read back.
    if (frmSplash && frmSplash->visible) {
        frmSplash->visible = false;
        frmSplash->changed();
    }
    platform_.dialogs.messageBox(
        MessageKind::Warning,
        "Warning: You will have to re-enter your passwords for all of your mailboxes!  Sorry for the inconvenience.");
    for (int i = 1; i <= TfrmGeneral::kMailboxes; ++i) store_.writeString("Server", "Passwd" + std::to_string(i), "");
}

namespace {

bool isSavedMessageName(const std::string& name) {
    constexpr std::string_view prefix = "msg_", suffix = ".eml";
    if (name.size() <= prefix.size() + suffix.size() || !name.starts_with(prefix) || !name.ends_with(suffix))
        return false;
    const std::string_view number(name.data() + prefix.size(), name.size() - prefix.size() - suffix.size());
    return std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

void TfrmMain::CleanUpEMLFiles() {
    // Every row's message, whatever its number, and those a run that ended
    // without cleaning up left behind. Only plain files of that name go.
    namespace fs = std::filesystem;
    std::error_code error;
    std::vector<fs::path> saved;
    for (fs::directory_iterator it(platform_.programFolder, error), end; !error && it != end; it.increment(error)) {
        std::error_code typeError;
        if (isSavedMessageName(it->path().filename().string()) &&
            it->symlink_status(typeError).type() == fs::file_type::regular)
            saved.push_back(it->path());
    }
    for (const fs::path& path : saved) fs::remove(path, error);
}

bool TfrmMain::FormCloseQuery() {
    // A session kept open after a listing is ended with QUIT. Closing goes
    // on whatever the server answers.
    if (msRemotePOP1.IsConnected()) {
        try {
            msRemotePOP1.Close();
        } catch (const std::exception&) {
        }
    }
    return true;
}

void TfrmMain::disableAllButtons() {
    btList.enabled = false;
    btOptions.enabled = false;
    btMark.visible = btResetAll.visible = btLaunch.visible = btDelete.visible = btRemark.visible = false;
    lblAd.visible = true;
    // The list's commands use the POP3 client too: none may start inside a run.
    for (Control* command :
         {&Why1, &ThisIsSpam1, &ThisIsNotSpam1, &AddtoExceptions1, &AddtoSPAMlist1, &ViewHeader1, &ViewMessages1})
        command->enabled = false;
    changed();
}

void TfrmMain::enableAllButtons() {
    btList.enabled = true;
    btOptions.enabled = true;
    for (Control* command :
         {&Why1, &ThisIsSpam1, &ThisIsNotSpam1, &AddtoExceptions1, &AddtoSPAMlist1, &ViewHeader1, &ViewMessages1})
        command->enabled = true;
    if (!ListView1.rows.empty()) {
        btMark.visible = btResetAll.visible = btLaunch.visible = btDelete.visible = btRemark.visible = true;
        lblAd.visible = false;
    }
    changed();
}

void TfrmMain::setExitRole(bool cancel) {
    if (cancel) {
        btExit.caption = btExit.hint = "Cancel";
        btExit.picture = btExit.hotPicture = "imStop";
        Exit1.caption = "Cancel";
    } else {
        btExit.caption = btExit.hint = trayMode ? "Hide" : "Goodbye";
        btExit.picture = "imDoor";
        btExit.hotPicture = "imBye";
        Exit1.caption = "Exit";
    }
    changed();
}

void TfrmMain::btExitClick(Sender sender) {
    playAlarmSound(false);
    if (btExit.caption == "Cancel") {
        cancelRun();
        return;
    }
    if (log_ && log_->logOpen()) log_->CloseLogFile();
    if (sender == Sender::Menu) {
        endRequest = EndRequest::Terminate;
    } else if (trayMode) {
        platform_.tray.hideApplication();
    } else {
        endRequest = EndRequest::Close;
    }
    changed();
}

void TfrmMain::UpdateAutomaticCaptions(bool automatic, int minutes) {
    caption = kProgramName;
    if (automatic) {
        Timer1->setEnabled(true);
        caption += " - next e-mail check in " + std::to_string(minutes) + " minute" + (minutes == 1 ? "" : "s");
    } else {
        Timer1->setEnabled(false);
    }
    showCaption();
    EnableAutomatic1.checked = automatic;
    DisableAutomatic1.checked = !automatic;
    UpdateTrayIcons(automatic);
    changed();
}

void TfrmMain::UpdateTrayIcons(bool automatic) {
    platform_.tray.setState(automatic ? TrayIconState::Animated : TrayIconState::Enabled);
}

void TfrmMain::showCaption() {
    lblTitle.caption = caption;
    platform_.tray.setHint(trayHint(caption));
    changed();
}

bool TfrmMain::automaticSetting() const {
    return frmGeneral_ ? frmGeneral_->Automatic() : store_.readBool("General", "Automatic", false);
}

int TfrmMain::minutesSetting() const {
    return frmGeneral_ ? frmGeneral_->Minutes() : store_.readInteger("General", "Minutes", 10);
}

void TfrmMain::playAlarmSound(bool play) {
    if (!play) {
        platform_.sound.stop();
        return;
    }
    // The whole path: a long one that exists must play, not beep.
    const std::string file = frmGeneral_ ? frmGeneral_->AlarmFile() : std::string();
    if (fileExists(file))
        platform_.sound.play(file, frmGeneral_->Repeat());
    else
        platform_.sound.beep();
    // An alarm nobody hears is said once in the log, not at every cycle.
    const std::string problem = platform_.sound.problem();
    if (!problem.empty() && !alarmProblemLogged_ && log_) {
        alarmProblemLogged_ = true;
        log_->logAlarmNotHeard(problem);
    }
}

void TfrmMain::btHelpClick() {
    Timer1->setEnabled(false);
    playAlarmSound(false);
    if (!platform_.shell.showHelp(joinPath(platform_.programFolder, "quorvel.hlp"), 0))
        platform_.dialogs.messageBox(MessageKind::Error, "Unable to open help file - quorvel.hlp.");
    if (automaticSetting()) Timer1->setEnabled(true);
}

void TfrmMain::btOptionsClick() {
    playAlarmSound(false);
}

void TfrmMain::btAboutClick() {
    playAlarmSound(false);
    if (frmAbout) platform_.dialogs.showModal(*frmAbout);
    changed();
}

void TfrmMain::ShowMainScreen1Click() {
    platform_.tray.showApplication();
}

void TfrmMain::popTrayPopup() {
    playAlarmSound(false);
}

void TfrmMain::btLaunchClick() {
    Timer1->setEnabled(false);
    playAlarmSound(false);
    const std::string mailer = frmGeneral_ ? frmGeneral_->Mailer() : std::string();
    if (IsBlank(mailer)) {
        platform_.dialogs.messageBox(MessageKind::Error, "Mail program not specified in the general settings. ");
    } else if (platform_.shell.open(mailer)) {
        disableAllButtons();
        ListView1.clear();
        // Ends a session kept open after a listing, so the mail program can log in.
        msRemotePOP1.Cancel();
        enableAllButtons();
    } else {
        platform_.dialogs.messageBox(MessageKind::Error, "Unable to launch mail program. ");
    }
    if (automaticSetting()) Timer1->setEnabled(true);
    changed();
}

void TfrmMain::btGeneralClick() {
    playAlarmSound(false);
    Timer1->setEnabled(false);
    if (!frmGeneral_) return;
    platform_.dialogs.showModal(*frmGeneral_);
    // A kept session serves only the account it logged in with.
    if (listedMailbox != 0 &&
        storedAccountIdentity(store_, listedMailbox, msRemotePOP1.DefaultPort) != listedAccount)
        endKeptSession();
    UpdateAutomaticCaptions(frmGeneral_->Automatic(), frmGeneral_->Minutes());
    currentMailbox = frmGeneral_->Which;
    MinutesLeft = frmGeneral_->Minutes();
    if (statusPanels[1] == kWhereToBegin && currentMailbox >= 1 && currentMailbox <= TfrmGeneral::kMailboxes &&
        !IsBlank(frmGeneral_->serverOf(currentMailbox)) && !IsBlank(frmGeneral_->userOf(currentMailbox)))
        statusPanels[1] = "Ready";
    changed();
}

void TfrmMain::setProgressDialog(TfrmRetrieving* dialog) {
    frmRetrieving_ = dialog;
    if (frmRetrieving_) frmRetrieving_->onCancel = [this] { cancelRun(); };
}

void TfrmMain::notAvailable(const std::string& what) {
    playAlarmSound(false);
    platform_.dialogs.messageBox(MessageKind::Information, what + " is not available in this version yet.");
    changed();
}

void TfrmMain::btStatsClick() {
    playAlarmSound(false);
    openStatistics(platform_, store_);
    changed();
}
void TfrmMain::Viewlogfile1Click() {
    playAlarmSound(false);
    if (log_) log_->viewLogFile();
}

}  // namespace quorvel
