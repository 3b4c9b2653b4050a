// "Check e-mail" clicked in the real main window against a real Dovecot on
// loopback: the rows arrive in the list's model, judged and counted; and how
// the list keeps up during a run.
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include "config/password_cipher.h"
#include "config/settings_store.h"
#include "platform/files.h"
#include "support/dovecot_server.h"
#include "support/every_domain_exists.h"
#include "ui/application.h"

using namespace quorvel;
using namespace quorvel::ui;

namespace {

using testing::EveryDomainExists;
using testing::shortMessage;

}  // namespace

class CheckWindowTest : public QObject {
    Q_OBJECT

private slots:
    void clickingCheckEmailFillsTheListFromTheServer() {
        testing::DovecotServer dovecot;
        dovecot.addMessages({shortMessage("ann@friends.test", "Lunch on Friday?"),
                             shortMessage("win@prizes.test", "You WIN a million"),
                             shortMessage("bob@friends.test", "Minutes of the meeting")});
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const std::string path = folder.path().toStdString();
        const std::string server = "127.0.0.1:" + std::to_string(dovecot.port());
        {
            SettingsStore store(path + "/settings");
            TPasswordCipher cipher;
            cipher.Key = "qiro";
            store.writeString("Server", "Version161", "161");
            store.writeString("Server", "Server1", server);
            store.writeInteger("Server", "Security1", static_cast<int>(TmsSecurity::None));
            store.writeString("Server", "Mailbox1", "joe");
            store.writeString("Server", "Passwd1", cipher.encipher("secret"));
            store.writeString("General", "Logfile", path + "/log.txt");
        }
        Desktop desktop(Desktop::Folders{path, path + "/settings"});
        desktop.start();
        EveryDomainExists resolver;
        TfrmMain& main = *desktop.program.frmMain();
        main.setDomainResolver(resolver);
        RuleTable& subjects = desktop.program.frmOptionsMain()->rules.gridSubject;
        const std::string rule[] = {"", "Contains", "win", "No", "Yes", "0"};
        for (int col = 0; col < 6; ++col) subjects.setCell(col, 1, rule[col]);
        QTest::qWait(50);  // the window comes on screen
        QVERIFY(desktop.mainWindow->isVisible());
        desktop.mainWindow->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(desktop.mainWindow.get()));

        auto* check = desktop.mainWindow->findChild<QToolButton*>("btList");
        QVERIFY(check);
        QCOMPARE(check->toolTip(), QString("Check e-mail"));
        check->setFocus();  // as a click or the keyboard leaves it
        QTest::mouseClick(check, Qt::LeftButton);  // the listing runs inside the click
        QTest::qWait(20);
        // The keys then work on the messages, not on "Goodbye": Space marks.
        QCOMPARE(desktop.mainWindow->focusWidget(), desktop.mainWindow->messageList());

        const QAbstractItemModel* model = desktop.mainWindow->messageList()->model();
        QCOMPARE(model->rowCount(), 3);
        QCOMPARE(model->data(model->index(0, 0)).toString(), QString("Lunch on Friday?"));
        QCOMPARE(model->data(model->index(1, 0)).toString(), QString("You WIN a million"));
        QCOMPARE(model->data(model->index(1, 1)).toString(), QString("win@prizes.test"));
        QCOMPARE(model->data(model->index(2, 0)).toString(), QString("Minutes of the meeting"));
        // Only the spam row carries a mark picture.
        QVERIFY(model->data(model->index(0, 0), Qt::DecorationRole).value<QIcon>().isNull());
        QVERIFY(!model->data(model->index(1, 0), Qt::DecorationRole).value<QIcon>().isNull());
        QVERIFY(model->data(model->index(2, 0), Qt::DecorationRole).value<QIcon>().isNull());
        QCOMPARE(desktop.mainWindow->findChild<QLabel*>("StatusPanel1")->text(),
                 QString("Message Total: 3 Number Marked: 1"));
        // The message commands take their place on the toolbar, after "Goodbye";
        // at the window's first size every button has room on the toolbar
        // itself, none goes to its overflow menu.
        QTest::qWait(20);
        const QToolButton* exitButton = desktop.mainWindow->findChild<QToolButton*>("btExit");
        for (const char* name : {"btMark", "btDelete", "btRemark", "btResetAll", "btLaunch"}) {
            const QToolButton* shown = desktop.mainWindow->findChild<QToolButton*>(name);
            QVERIFY2(shown->isVisible(), name);
            QVERIFY2(shown->geometry().left() > exitButton->geometry().right(), name);
        }
        const auto* bar = desktop.mainWindow->findChild<QToolBar*>();
        QVERIFY(bar);
        for (QAction* action : bar->actions()) {
            if (!action->isVisible()) continue;
            const QWidget* widget = bar->widgetForAction(action);
            QVERIFY(widget);
            const QByteArray name = widget->objectName().toUtf8();
            QVERIFY2(widget->isVisible(), name);
            QVERIFY2(bar->rect().contains(widget->geometry()), name);
        }
        const auto* overflow = bar->findChild<QToolButton*>("qt_toolbar_ext_button");
        QVERIFY(!overflow || !overflow->isVisible());
        // ... and the window still fits a 1024 x 768 screen.
        QVERIFY(desktop.mainWindow->frameGeometry().width() <= 1024);
        QCOMPARE(desktop.mainWindow->findChild<QToolButton*>("btExit")->text(), QString("&Goodbye"));
        QVERIFY(!desktop.retrievingWindow->isVisible());
        const std::string log = readFileBytes(path + "/log.txt").value_or("");
        QVERIFY2(log.rfind("MAIL CHECK 3 msg(s) for \"joe\" on server " + server, 0) == 0, log.c_str());
        main.FormCloseQuery();
    }

    void duringARunTheMarksReachTheListWithinAFrame() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const std::string path = folder.path().toStdString();
        Desktop desktop(Desktop::Folders{path, path + "/settings"});
        desktop.start();
        TfrmMain& main = *desktop.program.frmMain();
        const QAbstractItemModel* model = desktop.mainWindow->messageList()->model();
        const auto marked = [&](int row) {
            return !model->data(model->index(row, 0), Qt::DecorationRole).value<QIcon>().isNull();
        };
        main.Listing = true;
        for (const char* subject : {"One", "Two", "Three"}) {
            MessageRow row;
            row.caption = subject;
            main.ListView1.rows.push_back(row);
            main.changed();
            QCOMPARE(model->rowCount(), static_cast<int>(main.ListView1.rows.size()));  // rows show at once
        }
        main.ListView1.rows[0].stateIndex = Mark::Delete;
        main.changed();
        QTRY_VERIFY_WITH_TIMEOUT(marked(0), 1000);

        main.Listing = false;
        main.ListView1.rows[2].stateIndex = Mark::Question;
        main.changed();
        QVERIFY(marked(2));  // outside a run at once
        QVERIFY(!marked(1));
    }
};

int main(int argc, char** argv) {
    // Offscreen, the screen is the 1024 x 768 the main window is laid out for
    // (the plugin's own is 800 wide).
    QTemporaryFile screens;
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen" && screens.open()) {
        screens.write(R"({"screens": [{"name": "Screen", "x": 0, "y": 0, "width": 1024, "height": 768,)"
                      R"( "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
        screens.flush();
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screens.fileName().toUtf8());
    }
    QuorvelApplication app(argc, argv);
    CheckWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "check_window_test.moc"
