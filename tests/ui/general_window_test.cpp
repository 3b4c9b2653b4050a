#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "config/password_cipher.h"
#include "config/settings_store.h"
#include "ui/application.h"
#include "ui/general_window.h"
#include "ui/oauth_window.h"
#include "support/fake_oauth_service.h"

using namespace quorvel;
using namespace quorvel::ui;

namespace {

// Answers the next modal message box and keeps its text.
struct MessageBoxCatcher {
    QString text;
    void arm() {
        QTimer::singleShot(50, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                text = box->text();
                box->accept();
            }
        });
    }
};

}  // namespace

class GeneralWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> folder_;

    std::unique_ptr<Desktop> start(const std::function<void(SettingsStore&)>& settings = {}) {
        const std::string path = folder_->path().toStdString();
        SettingsStore store(path + "/settings");
        if (settings) settings(store);
        auto desktop = std::make_unique<Desktop>(Desktop::Folders{path, path + "/settings"});
        desktop->start();
        // This machine's own mail programs stay out of the test.
        MailSetupSources none;
        none.registry = &desktop->program.store.registry();
        none.home = path + "/home";
        none.xdgDataDirs = path + "/no-data";
        desktop->program.frmGeneral()->mailSetup = none;
        QTest::qWait(50);
        return desktop;
    }

    // Opens the general settings window as the main window does, runs `act`
    // on it once it is up, and returns when the window has closed.
    static void withGeneralWindow(Desktop& d, const std::function<void(GeneralWindow&)>& act) {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            auto* window = qobject_cast<GeneralWindow*>(QApplication::activeModalWidget());
            if (!window) return;
            QVERIFY(QTest::qWaitForWindowExposed(window));
            ran = true;
            act(*window);
            if (window->isVisible()) window->reject();
        });
        d.program.frmMain()->btGeneralClick();
        QVERIFY(ran);
    }

    // A check box or radio button answers clicks on its indicator and text
    // only, not on the whole width the layout gives it.
    static void clickBox(QAbstractButton* box) {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    }

    template <class W>
    static W* child(QWidget& w, const char* name) {
        auto* found = w.findChild<W*>(name);
        if (!found) qFatal("no control %s", name);
        return found;
    }

private slots:
    // A fresh program folder and settings for every test.
    void init() {
        folder_ = std::make_unique<QTemporaryDir>();
        QVERIFY(folder_->isValid());
    }

    void showsSixPagesWithTheFirstStartsDefaults() {
        auto d = start();
        const QString program = folder_->path();
        withGeneralWindow(*d, [&](GeneralWindow& w) {
            QCOMPARE(w.windowTitle(), QString("General settings"));
            QStringList pages;
            for (int i = 0; i < w.pages()->count(); ++i) pages << w.pages()->tabText(i);
            QCOMPARE(pages, QStringList({"Mailboxes", "Connection", "Automatic", "Start Up", "Activity Log",
                                         "Mail program"}));
            QCOMPARE(w.pages()->currentIndex(), 0);
            QCOMPARE(child<QRadioButton>(w, "rb12")->text(), QString("Mailbox 12"));
            QVERIFY(child<QRadioButton>(w, "rb1")->isChecked());
            QCOMPARE(child<QLineEdit>(w, "edPass1")->echoMode(), QLineEdit::Password);
            QCOMPARE(child<QLineEdit>(w, "edAlarm")->text(), program + "/harptune.wav");
            QCOMPARE(child<QLineEdit>(w, "Edit1")->text(), program + "/logfile.txt");
            QCOMPARE(child<QLineEdit>(w, "edServe1")->text(), QString());
            auto* connection = child<QComboBox>(w, "RASComboBox");
            QCOMPARE(connection->count(), 1);
            QCOMPARE(connection->currentText(), QString("None"));
            QVERIFY(w.windowFlags() & Qt::WindowStaysOnTopHint);
            // The page tells what the rule it added for mailbox 1 does.
            auto* firstRule = child<QLabel>(w, "lblFirstRunRule");
            QVERIFY(firstRule->isVisible());
            QVERIFY(firstRule->text().contains("gets a question mark"));
        });
        // Once: the next showing has no such note.
        withGeneralWindow(*d, [&](GeneralWindow& w) { QVERIFY(!child<QLabel>(w, "lblFirstRunRule")->isVisible()); });
    }

    void aFaultyMailboxKeepsTheWindowOpenOnItsPageWithTheFieldFocused() {
        auto d = start();
        bool open = false;
        int page = -1;
        QString focused, message;
        withGeneralWindow(*d, [&](GeneralWindow& w) {
            QTest::keyClicks(child<QLineEdit>(w, "edServe1"), "pop.one.test");
            QTest::keyClicks(child<QLineEdit>(w, "edName1"), "one");
            QTest::keyClicks(child<QLineEdit>(w, "edPass1"), "secret");
            QTest::keyClicks(child<QLineEdit>(w, "edServe3"), "pop.three.test");
            w.pages()->setCurrentIndex(2);
            MessageBoxCatcher catcher;
            catcher.arm();
            QTest::mouseClick(child<QPushButton>(w, "btOK"), Qt::LeftButton);
            message = catcher.text;
            open = w.isVisible();
            page = w.pages()->currentIndex();
            focused = w.focusWidget() ? w.focusWidget()->objectName() : QString();
        });
        QCOMPARE(message, QString("Mailbox 3 has a server pop.three.test but no mailbox"));
        QVERIFY(open);
        QCOMPARE(page, 0);
        QCOMPARE(focused, QString("edName3"));
        // Mailbox 1 was stored before the fault in mailbox 3 stopped the saving.
        QCOMPARE(d->program.store.readString("Server", "Server1", ""), std::string("pop.one.test"));
        QCOMPARE(d->program.store.readString("Server", "Mailbox1", ""), std::string("one"));
        QCOMPARE(d->program.store.readString("Server", "Server4", "-"), std::string("-"));
    }

    // What a user types after each Tab lands in the field that follows on
    // screen: the row from left to right, then the next row.
    void tabWalksEachMailboxRowFromLeftToRight() {
        auto d = start();
        QStringList visited;
        QString password;
        withGeneralWindow(*d, [&](GeneralWindow& w) {
            auto* server = child<QLineEdit>(w, "edServe1");
            server->setFocus();
            QTest::keyClicks(server, "pop.one.test");
            for (const char* typed : {"one", "secret"}) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                visited << QApplication::focusWidget()->objectName();
                QTest::keyClicks(QApplication::focusWidget(), typed);
            }
            password = child<QLineEdit>(w, "edPass1")->text();
            for (int k = 0; k < 4 && !visited.endsWith("edServe2"); ++k) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                visited << QApplication::focusWidget()->objectName();
            }
        });
        QCOMPARE(password, QString("secret"));
        // The OAuth button shows for that sign-in only; a row begins at its mailbox's choice.
        QStringList expected{"edName1", "edPass1", "cbSecurity1", "cbSignIn1", "rb2", "edServe2"};
        QCOMPARE(visited, expected);
    }

    void cancelAfterSwitchingToAutomaticShowsManualModeAgain() {
        auto d = start();
        withGeneralWindow(*d, [&](GeneralWindow& w) {
            w.pages()->setCurrentIndex(2);
            clickBox(child<QRadioButton>(w, "rbAuto"));
            QVERIFY(child<QWidget>(w, "pnlAuto")->isVisible());
            QVERIFY(!child<QWidget>(w, "pnlManual")->isVisible());
            QVERIFY(!child<QRadioButton>(w, "rbManual")->isChecked());
            QTest::mouseClick(child<QPushButton>(w, "btCancel"), Qt::LeftButton);
            QVERIFY(!w.isVisible());
        });
        withGeneralWindow(*d, [&](GeneralWindow& w) {
            w.pages()->setCurrentIndex(2);
            QVERIFY(child<QRadioButton>(w, "rbManual")->isChecked());
            QVERIFY(!child<QRadioButton>(w, "rbAuto")->isChecked());
            QVERIFY(child<QWidget>(w, "pnlManual")->isVisible());
            QVERIFY(!child<QWidget>(w, "pnlAuto")->isVisible());
        });
        QCOMPARE(d->mainWindow->windowTitle(), QString("Quorvel"));
    }

    void okInAutomaticModeStartsTheCountdown() {
        auto d = start();
        withGeneralWindow(*d, [&](GeneralWindow& w) {
            w.pages()->setCurrentIndex(2);
            clickBox(child<QRadioButton>(w, "rbAuto"));
            clickBox(child<QCheckBox>(w, "cbKill"));
            QVERIFY(!child<QWidget>(w, "pnlSound")->isVisible());
            MessageBoxCatcher catcher;
            catcher.arm();
            QTest::mouseClick(child<QPushButton>(w, "btOK"), Qt::LeftButton);
            QVERIFY(catcher.text.startsWith("Just a warning"));
            QVERIFY(!w.isVisible());
        });
        QCOMPARE(d->mainWindow->windowTitle(), QString("Quorvel - next e-mail check in 10 minutes"));
        QVERIFY(d->program.frmMain()->Timer1->enabled());
        QVERIFY(d->program.store.readBool("General", "Kill", false));
    }

    void closingByTheTitleBarKeepsTheLiveValuesUnsaved() {
        auto d = start();
        withGeneralWindow(*d, [&](GeneralWindow& w) {
            w.pages()->setCurrentIndex(2);
            auto* minutes = child<QSpinBox>(w, "nMinutes");
            minutes->setFocus();
            QTest::keyClick(minutes, Qt::Key_Up);
            QTest::keyClick(minutes, Qt::Key_Up);
            QTest::keyClicks(child<QLineEdit>(w, "edServe5"), "pop.five.test");
            w.close();
            QVERIFY(!w.isVisible());
        });
        TfrmGeneral& form = *d->program.frmGeneral();
        QCOMPARE(form.Minutes(), 12);  // acts at once
        QCOMPARE(form.modalResult, ModalResult::Cancel);
        QCOMPARE(d->program.store.readString("General", "Minutes", "-"), std::string("-"));
        QCOMPARE(d->mainWindow->windowTitle(), QString("Quorvel"));
        QCOMPARE(d->program.frmMain()->MinutesLeft, 12);
        // Account fields come back from the store at the next showing.
        withGeneralWindow(*d, [&](GeneralWindow& w) { QCOMPARE(child<QLineEdit>(w, "edServe5")->text(), QString()); });
    }

    // What is typed into "Check for mail every" is kept within 2 to 600, and
    // the field shows what is kept.
    void typedMinutesAreClampedAndShown() {
        const struct {
            const char* typed;
            int kept;
        } cases[] = {{"1", 2}, {"5", 5}, {"600", 600}};
        auto d = start();
        for (const auto& c : cases) {
            withGeneralWindow(*d, [&](GeneralWindow& w) {
                w.pages()->setCurrentIndex(2);
                auto* minutes = child<QSpinBox>(w, "nMinutes");
                minutes->setFocus();
                minutes->selectAll();
                QTest::keyClicks(minutes, c.typed);
                QTest::keyClick(minutes, Qt::Key_Tab);  // leaving the field ends the edit
                QCOMPARE(minutes->value(), c.kept);
                QCOMPARE(minutes->text(), QString::number(c.kept));
                QCOMPARE(d->program.frmGeneral()->Minutes(), c.kept);
                w.close();
            });
        }
    }

    // The "Security" choice of each mailbox: an account stored before it
    // existed shows "None" and the warning; a choice and APOP are stored with
    // the account and read back; a new mailbox follows its port.
    void securityChoiceIsStoredReadBackAndWarnsForNone() {
        auto d = start([](SettingsStore& s) {
            s.writeString("Server", "Server1", "pop.old.test");
            s.writeString("Server", "Mailbox1", "ann");
        });
        withGeneralWindow(*d, [&](GeneralWindow& w) {
            auto* security = child<QComboBox>(w, "cbSecurity1");
            auto* warning = child<QLabel>(w, "lblSecurityWarning");
            QCOMPARE(security->currentText(), QString("None"));
            QVERIFY(warning->isVisible());
            QCOMPARE(warning->text(),
                     QString("Warning: with Security \"None\" the password of mailbox 1 travels unencrypted."));
            QCOMPARE(child<QLabel>(w, "lblSecurity")->text(), QString("Security"));
            QCOMPARE(child<QComboBox>(w, "cbSecurity2")->currentText(), QString("STARTTLS"));

            security->setFocus();
            QTest::keyClick(security, Qt::Key_Down);
            QCOMPARE(security->currentText(), QString("STARTTLS"));
            QVERIFY(!warning->isVisible());
            auto* signIn = child<QComboBox>(w, "cbSignIn1");
            QCOMPARE(child<QLabel>(w, "lblSignIn")->text(), QString("Sign-in"));
            signIn->setFocus();
            QTest::keyClick(signIn, Qt::Key_Down);
            QCOMPARE(signIn->currentText(), QString("APOP"));
            QTest::keyClicks(child<QLineEdit>(w, "edPass1"), "pw1");
            QTest::keyClicks(child<QLineEdit>(w, "edServe3"), "pop.new.test:995");
            QCOMPARE(child<QComboBox>(w, "cbSecurity3")->currentText(), QString("SSL/TLS"));
            QTest::keyClicks(child<QLineEdit>(w, "edName3"), "cy");
            QTest::keyClicks(child<QLineEdit>(w, "edPass3"), "pw3");
            QTest::mouseClick(child<QPushButton>(w, "btOK"), Qt::LeftButton);
            QVERIFY(!w.isVisible());
        });
        SettingsStore& store = d->program.store;
        QCOMPARE(store.readString("Server", "Security1", "-"), std::string("1"));
        QCOMPARE(store.readString("Server", "SignIn1", "-"), std::string("1"));
        QCOMPARE(store.readString("Server", "APOP1", "-"), std::string("1"));
        QCOMPARE(store.readString("Server", "Security3", "-"), std::string("2"));
        QCOMPARE(store.readString("Server", "APOP3", "-"), std::string("0"));
        withGeneralWindow(*d, [&](GeneralWindow& w) {
            QCOMPARE(child<QComboBox>(w, "cbSecurity1")->currentText(), QString("STARTTLS"));
            QCOMPARE(child<QComboBox>(w, "cbSignIn1")->currentText(), QString("APOP"));
            QCOMPARE(child<QComboBox>(w, "cbSecurity3")->currentText(), QString("SSL/TLS"));
            QCOMPARE(child<QComboBox>(w, "cbSignIn3")->currentText(), QString("Password"));
            QVERIFY(!child<QLabel>(w, "lblSecurityWarning")->isVisible());
        });
    }

    void fileFiltersBecomeNameFilters() {
        QCOMPARE(toNameFilters("Text files (*.txt)|*.txt|All files (*.*)|*.*"),
                 QStringList({"Text files (*.txt)", "All files (*)"}));
        QCOMPARE(toNameFilters("Pictures|*.png;*.jpg"), QStringList({"Pictures (*.png *.jpg)"}));
        QCOMPARE(toNameFilters(""), QStringList());
    }

    // Without a session bus no keyring answers: the settings file keeps the
    // password, and the page says so beside the mailbox.
    void showsWhereEachPasswordIsKept() {
        auto d = start([](SettingsStore& s) {
            TPasswordCipher cipher;
            cipher.Key = "qiro";
            s.writeString("Server", "Version161", "161");
            s.writeString("Server", "Server1", "pop.example.com");
            s.writeString("Server", "Mailbox1", "alice");
            s.writeString("Server", "Passwd1", cipher.encipher("alice-password"));
        });
        withGeneralWindow(*d, [&](GeneralWindow& w) {
            QCOMPARE(child<QLabel>(w, "lblKeptIn")->text(), QString("Kept in"));
            QCOMPARE(child<QLabel>(w, "lblKept1")->text(), QString("settings file"));
            QCOMPARE(child<QLabel>(w, "lblKept2")->text(), QString());
            auto* keyring = child<QCheckBox>(w, "cbKeyring");
            QCOMPARE(keyring->text(), QString("Keep passwords in the desktop keyring"));
            QVERIFY(keyring->isChecked());
        });
        QCOMPARE(d->program.store.readString("Server", "Passwd1", "").empty(), false);
    }

    // The "Sign-in" choice and the OAuth 2.0 dialog it opens: a preset, the
    // client ID, the sign-in in the browser (a scripted provider here) and
    // the settings kept on OK. The dialog's picture goes to QUORVEL_SCREENSHOTS.
    void oauthSignInFromTheMailboxesPage() {
        testing::FakeOAuthService provider;
        provider.authorizeAnswers = {OAuthTokens{"access", "refresh-1", 0}};
        auto d = start([](SettingsStore& s) {
            s.writeString("Server", "Version161", "161");
            s.writeString("Server", "Server1", "outlook.office365.com:995");
            s.writeString("Server", "Mailbox1", "alice@example.com");
            s.writeInteger("Server", "Security1", 2);
            s.writeInteger("Server", "SignIn1", 2);
        });
        d->platform.oauth = &provider;
        const QString target = qEnvironmentVariable("QUORVEL_SCREENSHOTS");
        QString signedIn, link, title, kept;
        withGeneralWindow(*d, [&](GeneralWindow& w) {
            QCOMPARE(child<QComboBox>(w, "cbSignIn1")->currentText(), QString("OAuth 2.0"));
            QCOMPARE(child<QComboBox>(w, "cbSignIn2")->currentText(), QString("Password"));
            QVERIFY(!child<QLineEdit>(w, "edPass1")->isEnabled());
            QVERIFY(child<QToolButton>(w, "sbOAuth1")->isVisible());
            QVERIFY(!child<QToolButton>(w, "sbOAuth2")->isVisible());
            QTimer::singleShot(0, [&] {
                auto* dialog = dynamic_cast<OAuthWindow*>(QApplication::activeModalWidget());
                QVERIFY(dialog);
                QVERIFY(QTest::qWaitForWindowExposed(dialog));
                title = dialog->windowTitle();
                link = child<QLabel>(*dialog, "lnkRegister")->text();
                auto* providers = child<QComboBox>(*dialog, "cbProvider");
                providers->setFocus();
                QTest::keyClick(providers, Qt::Key_Down);
                QCOMPARE(providers->currentText(), QString("Google"));
                QVERIFY(!child<QLineEdit>(*dialog, "edToken")->isEnabled());
                QTest::keyClicks(child<QLineEdit>(*dialog, "edClientId"), "1234-desktop.apps.googleusercontent.com");
                QTest::keyClicks(child<QLineEdit>(*dialog, "edClientSecret"), "GOCSPX-example");
                QTest::mouseClick(child<QPushButton>(*dialog, "btSignIn"), Qt::LeftButton);
                signedIn = child<QLabel>(*dialog, "lblSignedIn")->text();
                if (!target.isEmpty()) {
                    QDir().mkpath(target);
                    QVERIFY(dialog->grab().toImage().save(target + "/oauth-settings.png"));
                }
                QTest::mouseClick(child<QPushButton>(*dialog, "btOK"), Qt::LeftButton);
            });
            QTest::mouseClick(child<QToolButton>(w, "sbOAuth1"), Qt::LeftButton);
            kept = child<QLabel>(w, "lblKept1")->text();
            QTest::mouseClick(child<QPushButton>(w, "btOK"), Qt::LeftButton);
            QVERIFY(!w.isVisible());
        });
        QCOMPARE(title, QString("OAuth 2.0 sign-in of mailbox 1"));
        QVERIFY2(link.contains("entra.microsoft.com"), qPrintable(link));
        // No keyring answers in the window tests: the settings file keeps it
        // (a screenshot run may have one).
        QCOMPARE(signedIn, "Signed in; kept in the " + kept);
        QVERIFY(kept == "settings file" || (!target.isEmpty() && kept == "desktop keyring"));
        QCOMPARE(provider.calls, std::vector<std::string>{"authorize alice@example.com"});
        QCOMPARE(provider.providers.at(0).clientSecret, std::string("GOCSPX-example"));
        SettingsStore& store = d->program.store;
        QCOMPARE(store.readString("Server", "OAuthProvider1", "-"), std::string("Google"));
        QCOMPARE(store.readString("Server", "OAuthClientId1", "-"), std::string("1234-desktop.apps.googleusercontent.com"));
        QCOMPARE(store.readString("Server", "SignIn1", "-"), std::string("2"));
        QCOMPARE(store.readString("Server", "OAuthRefresh1", "").empty(), kept != "settings file");
    }

    // While the browser is awaited the dialog says so and its button cancels
    // the wait; Cancel and the close box cancel it too and then close.
    void oauthSignInWaitingForTheBrowserCanBeCanceled() {
        auto d = start([](SettingsStore& s) {
            s.writeString("Server", "Version161", "161");
            s.writeString("Server", "Server1", "outlook.office365.com:995");
            s.writeString("Server", "Mailbox1", "alice@example.com");
            s.writeInteger("Server", "Security1", 2);
            s.writeInteger("Server", "SignIn1", 2);
        });
        enum Way { Button, CancelButton, CloseBox };
        for (const Way way : {Button, CancelButton, CloseBox}) {
            testing::FakeOAuthService provider;
            d->platform.oauth = &provider;
            QString waiting, cancelCaption, after;
            bool okDuringWait = true, visibleAfter = false;
            withGeneralWindow(*d, [&](GeneralWindow& w) {
                QTimer::singleShot(0, [&] {
                    auto* dialog = dynamic_cast<OAuthWindow*>(QApplication::activeModalWidget());
                    QVERIFY(dialog);
                    QVERIFY(QTest::qWaitForWindowExposed(dialog));
                    QTest::keyClicks(child<QLineEdit>(*dialog, "edClientId"), "client-1");
                    auto* signIn = child<QPushButton>(*dialog, "btSignIn");
                    int turns = 0;
                    provider.waiting = [&] {
                        QCoreApplication::processEvents();
                        if (++turns != 3) return;
                        waiting = child<QLabel>(*dialog, "lblSignedIn")->text();
                        cancelCaption = signIn->text();
                        okDuringWait = child<QPushButton>(*dialog, "btOK")->isEnabled();
                        if (way == Button) QTest::mouseClick(signIn, Qt::LeftButton);
                        if (way == CancelButton)
                            QTest::mouseClick(child<QPushButton>(*dialog, "btCancel"), Qt::LeftButton);
                        if (way == CloseBox) dialog->close();
                        // The window stays until the wait has ended.
                        QVERIFY(dialog->isVisible());
                    };
                    QTest::mouseClick(signIn, Qt::LeftButton);
                    after = child<QLabel>(*dialog, "lblSignedIn")->text();
                    visibleAfter = dialog->isVisible();
                    if (visibleAfter) QTest::mouseClick(child<QPushButton>(*dialog, "btCancel"), Qt::LeftButton);
                });
                const QString keptBefore = child<QLabel>(w, "lblKept1")->text();
                QTest::mouseClick(child<QToolButton>(w, "sbOAuth1"), Qt::LeftButton);
                QCOMPARE(child<QLabel>(w, "lblKept1")->text(), keptBefore);
            });
            QCOMPARE(waiting, QString("Waiting for the browser: sign in at the provider's page that opened there"));
            QCOMPARE(cancelCaption, QString("Cancel sign-&in"));
            QVERIFY(!okDuringWait);
            QCOMPARE(provider.calls, (std::vector<std::string>{"authorize alice@example.com", "cancel"}));
            QCOMPARE(after, QString("The sign-in was canceled; nothing was kept"));
            QCOMPARE(visibleAfter, way == Button);
            QCOMPARE(d->program.store.readString("Server", "OAuthRefresh1", ""), std::string());
        }
    }

    // Each page as a picture; with QUORVEL_SCREENSHOTS set they are saved there
    // (run inside a private keyring, the passwords show as kept in it).
    void grabsEveryPage() {
        auto d = start([](SettingsStore& s) {
            TPasswordCipher cipher;
            cipher.Key = "qiro";
            s.writeString("Server", "Version161", "161");
            s.writeString("Server", "Passwd1", cipher.encipher("alice-password"));
            s.writeString("Server", "Passwd2", cipher.encipher("smith-password"));
            s.writeString("Server", "Server1", "pop.example.com");
            s.writeString("Server", "Mailbox1", "alice");
            s.writeInteger("Server", "Security1", 1);
            s.writeString("Server", "Server2", "mail.example.org:995");
            s.writeString("Server", "Mailbox2", "alice.smith");
            s.writeInteger("Server", "Security2", 2);
            s.writeString("Server", "Server3", "outlook.office365.com:995");
            s.writeString("Server", "Mailbox3", "alice@example.com");
            s.writeInteger("Server", "Security3", 2);
            s.writeInteger("Server", "SignIn3", 2);
            s.writeString("Server", "OAuthRefresh3", cipher.encipher("refresh-token"));
            s.writeString("General", "Mailer", "/usr/bin/thunderbird");
            s.writeString("General", "AlarmFile", "/home/alice/.local/share/quorvel/harptune.wav");
            s.writeString("General", "Logfile", "/home/alice/.local/share/quorvel/logfile.txt");
            s.writeString("General", "Count", "1342");
        });
        const QString target = qEnvironmentVariable("QUORVEL_SCREENSHOTS");
        const char* names[] = {"mailboxes", "connection", "automatic", "start-up", "activity-log", "mail-program"};
        withGeneralWindow(*d, [&](GeneralWindow& w) {
            w.resize(920, 520);
            clickBox(child<QRadioButton>(w, "rbAuto"));
            child<QLineEdit>(w, "edServe1")->setFocus();
            for (int i = 0; i < w.pages()->count(); ++i) {
                w.pages()->setCurrentIndex(i);
                QTest::qWait(20);
                const QImage image = w.grab().toImage();
                QCOMPARE(image.size(), w.size() * w.devicePixelRatio());
                if (!target.isEmpty()) {
                    QDir().mkpath(target);
                    QVERIFY(image.save(target + "/general-" + names[i] + ".png"));
                }
            }
        });
    }
};

int main(int argc, char** argv) {
    QuorvelApplication app(argc, argv);
    GeneralWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "general_window_test.moc"
