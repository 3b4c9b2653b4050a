#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSet>
#include <QScreen>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include "config/password_cipher.h"
#include "config/settings_store.h"
#include "support/dovecot_server.h"
#include "ui/application.h"
#include "ui/help_viewer.h"
#include "ui/single_instance.h"

using namespace quorvel;
using namespace quorvel::ui;

namespace {

// Answers the next modal message box and keeps its text and icon.
struct MessageBoxCatcher {
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    void arm() {
        QTimer::singleShot(50, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                text = box->text();
                icon = box->icon();
                box->accept();
            }
        });
    }
};

// Counts the times a widget is shown.
class ShowCounter : public QObject {
public:
    int shown = 0;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) ++shown;
        return QObject::eventFilter(watched, event);
    }
};

QStringList linesOf(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll()).split("\r\n", Qt::SkipEmptyParts);
}

// Windows that the toolkit told, at some time, that a modal window blocks them.
struct BlockWatch : QObject {
    QSet<QObject*> blocked;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::WindowBlocked) blocked.insert(watched);
        return false;
    }
};

class Thrower : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) throw std::runtime_error("Failed to set data for 'Minutes'");
        return QObject::event(e);
    }
};

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir folder;

    std::unique_ptr<Desktop> start(const std::function<void(SettingsStore&)>& settings = {}) {
        const std::string path = folder.path().toStdString();
        SettingsStore store(path + "/settings");
        if (settings) settings(store);
        auto desktop = std::make_unique<Desktop>(Desktop::Folders{path, path + "/settings"});
        desktop->start();
        QTest::qWait(50);  // ShowApplication takes effect on the next turn of the loop
        return desktop;
    }

    static QToolButton* button(Desktop& d, const char* name) {
        return d.mainWindow->findChild<QToolButton*>(name);
    }

    static QAction* trayAction(Desktop& d, const QString& text) {
        for (QAction* a : d.mainWindow->trayMenu()->actions())
            if (a->text() == text) return a;
        return nullptr;
    }

private slots:
    void init() {
        QVERIFY(folder.isValid());
        // Every test starts from an empty profile: a setting one test makes
        // (tray mode, say) must not change what the next one sees.
        QDir(folder.path() + "/settings").removeRecursively();
    }

    void showsTheMainWindowWithItsToolbarListAndStatusBar() {
        auto d = start();
        MainWindow& w = *d->mainWindow;
        QVERIFY(w.isVisible());
        QCOMPARE(w.windowTitle(), QString("Quorvel"));
        for (const char* shown : {"btList", "btOptions", "btExit"}) QVERIFY2(button(*d, shown)->isVisible(), shown);
        for (const char* hidden : {"btMark", "btDelete", "btRemark", "btResetAll", "btLaunch"})
            QVERIFY2(!button(*d, hidden)->isVisible(), hidden);
        QCOMPARE(button(*d, "btList")->toolTip(), QString("Check e-mail"));
        QCOMPARE(button(*d, "btExit")->text(), QString("&Goodbye"));
        QCOMPARE(button(*d, "btOptions")->menu()->actions().size(), 5);
        QCOMPARE(button(*d, "btOptions")->menu()->actions().at(4)->text(), QString("&Help"));
        QTreeView* list = w.messageList();
        QCOMPARE(list->model()->columnCount(), 4);
        QCOMPARE(list->model()->headerData(2, Qt::Horizontal).toString(), QString("Size"));
        QCOMPARE(list->model()->rowCount(), 0);
        QVERIFY(!list->isSortingEnabled());
        QCOMPARE(list->selectionMode(), QAbstractItemView::ExtendedSelection);
        QVERIFY(w.findChild<QLabel*>("lblAd")->isVisible());
        QCOMPARE(w.findChild<QLabel*>("StatusPanel0")->text(),
                 QString("Right click for more options, double click to mark"));
        QCOMPARE(w.findChild<QLabel*>("lblTitle")->text(), QString("Quorvel"));

        QStringList tray;
        for (QAction* a : w.trayMenu()->actions())
            if (!a->isSeparator()) tray << a->text();
        QCOMPARE(tray, QStringList({"Check e-mail for spam", "Launch e-mail program", "Main screen", "Settings",
                                    "Statistics", "Enable automatic check", "Disable automatic check", "Help/Info",
                                    "Exit"}));
    }

    // A wider (or maximised) window widens the Subject column, not the others.
    void theSubjectColumnTakesTheWidth() {
        auto d = start();
        MainWindow& w = *d->mainWindow;
        QTreeView* list = w.messageList();
        w.resize(900, 500);
        QTest::qWait(20);
        const int subject = list->columnWidth(0), others = list->columnWidth(1) + list->columnWidth(2) + list->columnWidth(3);
        QVERIFY2(subject >= 300, qPrintable(QString::number(subject)));
        w.resize(1500, 500);
        QTest::qWait(20);
        QCOMPARE(list->columnWidth(0), subject + 600);
        QCOMPARE(list->columnWidth(1) + list->columnWidth(2) + list->columnWidth(3), others);
        w.showMaximized();
        QTest::qWait(20);
        QCOMPARE(list->columnWidth(0) + others, list->viewport()->width());
    }

    void trayModeWithoutANotificationAreaStartsMinimisedAndTheExitButtonHides() {
        // This display has no notification area: the program starts as "Hide"
        // would leave it, minimised, so that it can be reached.
        QVERIFY(!QtTrayIcon::available());
        auto d = start([](SettingsStore& s) { s.writeBool("General", "SysTray", true); });
        QVERIFY(d->mainWindow->isVisible());
        QVERIFY(d->mainWindow->isMinimized());
        QVERIFY(d->tray.active());
        QCOMPARE(button(*d, "btExit")->text(), QString("&Hide"));
        d->tray.showApplication();  // "Main screen"
        QTest::qWait(20);
        QVERIFY(d->mainWindow->isVisible());
    }

    void theProgressDialogOpensOverTheMainWindowOnTheScreen() {
        auto d = start();
        QWidget& main = *d->mainWindow;
        QWidget& progress = *d->retrievingWindow;
        TfrmRetrieving& form = *d->program.frmRetrieving();
        const QRect screen = main.screen()->availableGeometry();
        const QPoint places[] = {{200, 150}, {0, 0}, {screen.right() - 100, screen.bottom() - 80}, {300, 100}};
        for (const QPoint& at : places) {
            main.move(at);
            QTest::qWait(10);
            form.FormShow("pop.example.test", "joe");
            QTest::qWait(10);
            QVERIFY(progress.isVisible());
            const QRect shown = progress.frameGeometry();
            QVERIFY2(screen.contains(shown), qPrintable(QString("%1,%2").arg(at.x()).arg(at.y())));
            if (screen.contains(main.frameGeometry()))
                QVERIFY((shown.center() - main.frameGeometry().center()).manhattanLength() <= 2);
            form.hide();
            QTest::qWait(10);
        }
    }

    void helpAskedFromAModalWindowShowsAboveItAndTakesInput() {
        QVERIFY(QFile::copy(QUORVEL_DATA "/quorvel.hlp", folder.path() + "/quorvel.hlp"));
        auto d = start();
        // The toolkit tells a window when a modal one blocks its input.
        BlockWatch watch;
        qApp->installEventFilter(&watch);
        QDialog modal(d->mainWindow.get());
        modal.setModal(true);
        QWidget* helpWindow = nullptr;
        QWidget* owner = nullptr;
        QTimer::singleShot(30, [&] {
            d->program.frmGeneral()->btHelpClick();
            QTimer::singleShot(30, [&] {
                helpWindow = HelpViewer::window();
                owner = helpWindow ? helpWindow->parentWidget() : nullptr;
                modal.accept();
            });
        });
        modal.exec();
        qApp->removeEventFilter(&watch);
        QVERIFY(helpWindow);
        QCOMPARE(owner, &modal);  // above it
        QVERIFY(!watch.blocked.contains(helpWindow));
        // Asked from the main window, it is a window of its own again.
        d->program.frmMain()->btHelpClick();
        QVERIFY(HelpViewer::window());
        QCOMPARE(HelpViewer::window()->parentWidget(), nullptr);
        HelpViewer::window()->close();
    }

    // The help window lies within the screen's free area, wherever it was
    // left, and Esc closes it.
    void helpStaysOnTheScreenAndEscClosesIt() {
        const QString help = folder.path() + "/quorvel.hlp";
        QVERIFY(QFile::exists(help) || QFile::copy(QUORVEL_DATA "/quorvel.hlp", help));
        auto d = start();
        d->program.frmMain()->btHelpClick();
        QPointer<QWidget> window = HelpViewer::window();
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        const QRect available = window->screen()->availableGeometry();
        QVERIFY(available.contains(window->frameGeometry()));
        // Left hanging off the bottom, it comes back at the next asking.
        window->move(available.left(), available.bottom() - 100);
        QTest::qWait(10);
        d->program.frmMain()->btHelpClick();
        QCOMPARE(HelpViewer::window(), window.data());
        QVERIFY(available.contains(window->frameGeometry()));
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, Qt::Key_Escape);
        QVERIFY(!window->isVisible());
        QTRY_VERIFY(!window);  // deleted once closed
    }

    void helpWindowIsFittedWithinTheFreeArea() {
        const QRect available(0, 30, 1024, 700);
        const struct {
            QRect frame, fitted;
        } cases[] = {
            {{100, 100, 640, 520}, {100, 100, 640, 520}},  // inside already
            {{100, 400, 640, 520}, {100, 210, 640, 520}},  // off the bottom: moved up
            {{800, 100, 640, 520}, {384, 100, 640, 520}},  // off the right: moved left
            {{-50, 0, 640, 520}, {0, 30, 640, 520}},       // above and left of it
            {{0, 0, 640, 900}, {0, 30, 640, 700}},         // taller than the screen: shrunk
        };
        for (const auto& c : cases) QCOMPARE(HelpViewer::fitWithin(c.frame, available), c.fitted);
    }

    void automaticModeCountsDownAndAnimatesTheIcon() {
        auto d = start([](SettingsStore& s) { s.writeBool("General", "Automatic", true); });
        QCOMPARE(d->mainWindow->windowTitle(), QString("Quorvel - next e-mail check in 10 minutes"));
        QCOMPARE(d->mainWindow->findChild<QLabel*>("lblTitle")->text(), d->mainWindow->windowTitle());
        QVERIFY(d->program.frmMain()->Timer1->enabled());
        QVERIFY(d->tray.animated());
        QVERIFY(d->tray.hint().startsWith("Quorvel - next e-mail check"));
    }

    void theTrayMenuSwitchesAutomaticModeAndLogsIt() {
        const QString logFile = folder.path() + "/log.txt";
        auto d = start([&](SettingsStore& s) {
            s.writeBool("General", "Automatic", false);
            s.writeString("General", "Logfile", logFile.toStdString());
        });
        QAction* enable = trayAction(*d, "Enable automatic check");
        QAction* disable = trayAction(*d, "Disable automatic check");
        QVERIFY(enable && disable);
        QVERIFY(disable->isChecked());
        QLabel* title = d->mainWindow->findChild<QLabel*>("lblTitle");

        enable->trigger();
        const QString counting = "Quorvel - next e-mail check in 10 minutes";
        QCOMPARE(d->mainWindow->windowTitle(), counting);
        QCOMPARE(title->text(), counting);
        QCOMPARE(d->tray.hint(), counting);
        QVERIFY(enable->isChecked());
        QVERIFY(!disable->isChecked());
        QVERIFY(d->tray.animated());
        QVERIFY(d->program.frmMain()->Timer1->enabled());
        QCOMPARE(linesOf(logFile).size(), 1);
        QVERIFY2(linesOf(logFile).at(0).startsWith("Automatic mode enabled at "), qPrintable(linesOf(logFile).at(0)));

        disable->trigger();
        QCOMPARE(d->mainWindow->windowTitle(), QString("Quorvel"));
        QCOMPARE(title->text(), QString("Quorvel"));
        QCOMPARE(d->tray.hint(), QString("Quorvel"));
        QVERIFY(disable->isChecked());
        QVERIFY(!enable->isChecked());
        QVERIFY(!d->tray.animated());
        QVERIFY(!d->program.frmMain()->Timer1->enabled());
        QCOMPARE(linesOf(logFile).size(), 2);
        QVERIFY(linesOf(logFile).at(1).startsWith("Automatic mode disabled at "));
    }

    void theTraysCheckBringsUpTheWindowAndTheProgress() {
        testing::DovecotServer dovecot;
        dovecot.addMessages({testing::shortMessage("ann@friends.test", "Lunch")});
        const QString logFile = folder.path() + "/check-log.txt";
        auto d = start([&](SettingsStore& s) {
            TPasswordCipher cipher;
            cipher.Key = "qiro";
            s.writeBool("General", "SysTray", true);
            s.writeString("General", "Logfile", logFile.toStdString());
            s.writeString("Server", "Version161", "161");
            s.writeString("Server", "Server1", "127.0.0.1:" + std::to_string(dovecot.port()));
            s.writeInteger("Server", "Security1", static_cast<int>(TmsSecurity::None));
            s.writeString("Server", "Mailbox1", "joe");
            s.writeString("Server", "Passwd1", cipher.encipher("secret"));
        });
        // Without a notification area (offscreen) tray mode starts minimised.
        QVERIFY(!d->mainWindow->isVisible() || d->mainWindow->isMinimized());
        ShowCounter progress;
        d->retrievingWindow->installEventFilter(&progress);
        trayAction(*d, "Check e-mail for spam")->trigger();
        QTRY_VERIFY(d->mainWindow->isVisible() && !d->mainWindow->isMinimized());
        QCOMPARE(progress.shown, 1);
        QCOMPARE(d->mainWindow->messageList()->model()->rowCount(), 1);
        QVERIFY(linesOf(logFile).value(0).startsWith("MAIL CHECK 1 msg(s) for \"joe\""));
        QVERIFY(d->program.frmMain()->FormCloseQuery());  // ends the session kept open
        d.reset();
        // The tests after this one start with the window shown.
        SettingsStore(folder.path().toStdString() + "/settings").writeBool("General", "SysTray", false);
    }

    void hidingSparesTheIconsOwnWindowsAndClosesTheOthers() {
        QMenu menu;
        QWidget embedded(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint);
        QDialog dialog;
        QWidget plain;
        const std::pair<QWidget*, bool> cases[] = {{&menu, true}, {&embedded, true}, {&dialog, false}, {&plain, false}};
        for (const auto& [window, spared] : cases)
            QCOMPARE(QtTrayIcon::belongsToTheIcon(window), spared);
    }

    void goodbyeClosesTheWindowAndEndsTheProgram() {
        auto d = start();
        QSignalSpy quitting(qApp, &QCoreApplication::aboutToQuit);
        QTest::mouseClick(button(*d, "btExit"), Qt::LeftButton);
        QTRY_VERIFY(!d->mainWindow->isVisible());
    }

    void theSplashEndsAfterItsTimer() {
        auto d = start();
        QVERIFY(d->program.frmMain()->frmSplash);
        QTRY_VERIFY_WITH_TIMEOUT(!d->program.frmMain()->frmSplash, 3000);
    }

    void anUncaughtExceptionBecomesTheErrorReport() {
        Thrower thrower;
        MessageBoxCatcher catcher;
        catcher.arm();
        QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
        QTRY_COMPARE(catcher.text, QString("Failed to set data for 'Minutes'"));
        QCOMPARE(catcher.icon, QMessageBox::Critical);
    }

    // A box asked for while the splash is up (a start whose keyring does
    // not answer) is kept on top as the splash is, not hidden under it.
    void aMessageBoxOpensAboveTheSplash() {
        auto d = start();
        QVERIFY(d->program.frmMain()->frmSplash);
        bool onTop = false, caught = false;
        QTimer::singleShot(50, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                onTop = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
                caught = true;
                box->accept();
            }
        });
        QtDialogs dialogs;
        dialogs.messageBox(MessageKind::Error, "No desktop keyring answers", MessageButtons::Ok);
        QVERIFY(caught);
        QVERIFY(onTop);
    }

    // Enter and Esc on a question whose Yes gives trust away answer No;
    // on a plain question Enter still answers Yes.
    void enterOnATrustQuestionAnswersNo() {
        QtDialogs dialogs;
        const struct {
            MessageButtons buttons;
            Qt::Key key;
            ModalResult expected;
        } cases[] = {{MessageButtons::YesNoDefaultNo, Qt::Key_Return, ModalResult::No},
                     {MessageButtons::YesNoDefaultNo, Qt::Key_Escape, ModalResult::No},
                     {MessageButtons::YesNo, Qt::Key_Return, ModalResult::Yes}};
        for (const auto& c : cases) {
            QTimer::singleShot(50, [&] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                    QTest::keyClick(box, c.key);
            });
            QCOMPARE(dialogs.messageBox(MessageKind::Warning, "Trust this certificate for mailbox 1?", c.buttons),
                     c.expected);
        }
    }

    void aSecondGuardAsksTheFirstToComeForward() {
        SingleInstance first("quorvel-test-guard"), second("quorvel-test-guard");
        int requests = 0;
        first.onActivationRequest = [&] { ++requests; };
        QVERIFY(first.acquire());
        QTest::qWait(20);  // the first instance's event loop runs
        QVERIFY(!second.acquire());
        QTRY_COMPARE(requests, 1);
    }

    void aSecondStartOfTheProgramEndsAtOnce() {
        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        env.insert("XDG_CONFIG_HOME", home.path() + "/config");
        env.insert("XDG_DATA_HOME", home.path() + "/data");
        QProcess first, second;
        first.setProcessEnvironment(env);
        second.setProcessEnvironment(env);
        first.start(QUORVEL_BINARY, {});
        QVERIFY(first.waitForStarted());
        QTest::qWait(1500);  // let it take the lock
        QCOMPARE(first.state(), QProcess::Running);
        second.start(QUORVEL_BINARY, {});
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(first.state(), QProcess::Running);  // the first goes on
        first.kill();
        first.waitForFinished();
    }
};

int main(int argc, char** argv) {
    QuorvelApplication app(argc, argv);
    MainWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "main_window_test.moc"
