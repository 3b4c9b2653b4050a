#include <QAbstractButton>
#include <QAccessible>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include "config/frm_options_main.h"
#include "ui/application.h"
#include "ui/general_window.h"
#include "ui/main_window.h"
#include "ui/message_list_model.h"
#include "ui/options_window.h"

using namespace quorvel;
using namespace quorvel::ui;

namespace {

// What a screen reader is told a widget is called.
QString accessibleName(QObject* object) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(object);
    return face ? face->text(QAccessible::Name) : QString();
}

// Every control of the window's own (each carries its control's name) that
// a screen reader would announce without a name. Qt's inner parts (a table's
// corner button, say) are left to Qt.
QStringList unnamedControls(QWidget& window) {
    QStringList unnamed;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
                             qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractSpinBox*>(w);
        if (!control || w->objectName().isEmpty() || w->objectName().startsWith("qt_")) continue;
        if (accessibleName(w).trimmed().isEmpty()) unnamed << w->objectName();
    }
    return unnamed;
}

MessageRow row(const std::string& subject, int mark) {
    MessageRow r;
    r.caption = subject;
    r.sender = "a@example.com";
    r.size = "100";
    r.date = "1/1/2024";
    r.stateIndex = mark;
    return r;
}

}  // namespace

class AccessibilityTest : public QObject {
    Q_OBJECT

    QTemporaryDir folder_;

    std::unique_ptr<Desktop> start() {
        QDir(folder_.path() + "/settings").removeRecursively();
        const std::string path = folder_.path().toStdString();
        auto desktop = std::make_unique<Desktop>(Desktop::Folders{path, path + "/settings"});
        desktop->start();
        QTest::qWait(50);
        return desktop;
    }

private slots:
    void initTestCase() { QAccessible::setActive(true); }

    void marksAreNamedInWords_data() {
        QTest::addColumn<int>("mark");
        QTest::addColumn<QString>("words");
        QTest::newRow("delete") << 0 << "Marked for deletion";
        QTest::newRow("question") << 1 << "Question";
        QTest::newRow("known spammer") << 2 << "Known spammer";
        QTest::newRow("first exception") << 3 << "Exception: picture 3";
        QTest::newRow("last exception") << 14 << "Exception: picture 14";
    }

    void marksAreNamedInWords() {
        QFETCH(int, mark);
        QFETCH(QString, words);
        MessageList list;
        list.rows.push_back(row("Cheap <b>pills</b>", mark));
        list.rows.push_back(row("Lunch", Mark::None));
        QTreeView view;
        MessageListModel model(list);
        view.setModel(&model);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));

        QCOMPARE(model.data(model.index(0, 0), Qt::ToolTipRole).toString(), words);
        QVERIFY(!model.data(model.index(1, 0), Qt::ToolTipRole).isValid());
        QVERIFY(!model.data(model.index(0, 1), Qt::ToolTipRole).isValid());

        // The cells as the accessibility interface hands them out.
        QAccessibleInterface* table = QAccessible::queryAccessibleInterface(&view);
        QVERIFY(table && table->tableInterface());
        QAccessibleInterface* marked = table->tableInterface()->cellAt(0, 0);
        QAccessibleInterface* plain = table->tableInterface()->cellAt(1, 0);
        QVERIFY(marked && plain);
        QCOMPARE(marked->text(QAccessible::Name), words + ", Cheap <b>pills</b>");
        QCOMPARE(plain->text(QAccessible::Name), QString("Lunch"));

        // A mark changed by the core reaches the reader with the next sync.
        list.rows[0].stateIndex = Mark::None;
        model.sync();
        QCOMPARE(table->tableInterface()->cellAt(0, 0)->text(QAccessible::Name), QString("Cheap <b>pills</b>"));
    }

    void everyControlOfTheGeneralSettingsHasAName() {
        auto d = start();
        GeneralWindow window(*d->program.frmGeneral());
        const QStringList unnamed = unnamedControls(window);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(", ")));
        QCOMPARE(accessibleName(window.findChild<QLineEdit*>("edServe3")), QString("POP Server, Mailbox 3"));
        QCOMPARE(accessibleName(window.findChild<QAbstractButton*>("sbLogFile")), QString("Browse for log file"));
        QCOMPARE(accessibleName(window.findChild<QAbstractButton*>("rbAsIs")),
                 QString("Use the name of the log file AS IS (no changes)?"));
        // On Linux Qt reports a drop-down list's current entry as its name;
        // the name we give it comes second, as its description to the reader.
        QCOMPARE(window.findChild<QComboBox*>("RASComboBox")->accessibleName(),
                 QString("Specify a default connection to the internet:"));
    }

    void everyControlOfTheSpamSettingsHasAName() {
        auto d = start();
        OptionsWindow window(*d->program.frmOptionsMain());
        const QStringList unnamed = unnamedControls(window);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(", ")));
        QCOMPARE(accessibleName(window.findChild<QAbstractButton*>("btUpSubject")), QString("Move item up one row"));
        QCOMPARE(accessibleName(window.findChild<QAbstractButton*>("btImportSubject")), QString("Import"));
        // The "Learning" tab: its level choice is named by its label, its buttons by their words.
        QCOMPARE(window.findChild<QComboBox*>("cbCutoffs")->accessibleName(), QString("Mark messages:"));
        QCOMPARE(accessibleName(window.findChild<QAbstractButton*>("btLearnFolder")),
                 QString("Learn from a mail folder..."));
        QCOMPARE(accessibleName(window.findChild<QAbstractButton*>("btForget")), QString("Forget everything"));
        QCOMPARE(accessibleName(window.findChild<QWidget*>("pbLearning")), QString("Learning progress"));
    }

    void theMenuKeyOpensTheListMenu_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("menu key") << int(Qt::Key_Menu) << int(Qt::NoModifier);
        QTest::newRow("shift F10") << int(Qt::Key_F10) << int(Qt::ShiftModifier);
    }

    void theMenuKeyOpensTheListMenu() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        auto d = start();
        MainWindow& w = *d->mainWindow;
        w.activateWindow();
        w.messageList()->setFocus();
        QVERIFY(!w.listMenu()->isVisible());
        QTest::keyClick(w.messageList(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QTRY_VERIFY(w.listMenu()->isVisible());
        w.listMenu()->close();
    }
};

QTEST_MAIN(AccessibilityTest)
#include "accessibility_test.moc"
