#include <QAbstractButton>
#include <QAbstractItemView>
#include <optional>
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

#include <QCheckBox>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>
#include <QToolButton>

#include "app/frm_which_mailbox.h"
#include "config/frm_mark_for_deletion.h"
#include "config/frm_options_main.h"
#include "config/rule_dialogs.h"
#include "log/frm_chart.h"
#include "log/frm_chart_main.h"
#include "ui/about_dialog.h"
#include "ui/application.h"
#include "ui/chart_launcher_window.h"
#include "ui/chart_window.h"
#include "ui/date_range_dialog.h"
#include "ui/general_window.h"
#include "ui/main_window.h"
#include "ui/message_list_model.h"
#include "ui/options_window.h"
#include "ui/rule_windows.h"
#include "ui/run_windows.h"
#include "ui/view_windows.h"

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

// Roles a screen reader announces by name: one without a name is a fault.
bool needsName(QAccessible::Role role) {
    switch (role) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ComboBox:
    case QAccessible::EditableText:
    case QAccessible::SpinBox:
    case QAccessible::ProgressBar:
    case QAccessible::Slider:
    case QAccessible::List:
    case QAccessible::Tree:
    case QAccessible::Table:
    case QAccessible::Graphic:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
    case QAccessible::PageTab:
    case QAccessible::ColumnHeader:
    case QAccessible::MenuItem:
    case QAccessible::Chart:
        return true;
    default:
        return false;
    }
}

// The role each kind of control must be announced with.
std::optional<QAccessible::Role> expectedRole(QObject* object) {
    if (qobject_cast<QRadioButton*>(object)) return QAccessible::RadioButton;
    if (qobject_cast<QCheckBox*>(object)) return QAccessible::CheckBox;
    if (qobject_cast<QComboBox*>(object)) return QAccessible::ComboBox;
    return std::nullopt;
}

QString describe(QAccessibleInterface* face) {
    QObject* object = face->object();
    QString what = object ? QString(object->metaObject()->className()) : QString("item");
    if (object && !object->objectName().isEmpty()) what += " " + object->objectName();
    return what + " (role " + QString::number(face->role(), 16) + ")";
}

// Walks the accessible tree below `face` as a screen reader does and notes
// every shown control without a name, every control with a wrong role, and
// every drop-down list named by its entry rather than by what it is.
int walk(QAccessibleInterface* face, const QString& path, QStringList& faults, int depth = 0) {
    if (!face || depth > 40 || face->state().invisible) return 0;
    QObject* object = face->object();
    // Qt's inner parts (scroll bars, a table's corner button, a toolbar's
    // overflow arrow) are left to Qt.
    if (face->role() == QAccessible::ScrollBar) return 0;
    if (object && (object->objectName().startsWith("qt_") || object->inherits("QTableCornerButton"))) return 0;
    const QString here = path + " > " + describe(face);
    const QString name = face->text(QAccessible::Name).trimmed();
    if (needsName(face->role()) && name.isEmpty()) faults << "unnamed: " + here;
    if (object && object->isWidgetType())
        if (const auto role = expectedRole(object); role && face->role() != *role) faults << "wrong role: " + here;
    if (face->role() == QAccessible::ComboBox) {
        // A list is named by what it is; its entry is its value.
        if (!name.isEmpty() && name == face->text(QAccessible::Value).trimmed())
            faults << "named by its entry \"" + name + "\": " + here;
        return 1;  // its popup list is Qt's
    }
    if (face->role() == QAccessible::SpinBox) return 1;
    // A cell that shows a picture says in words what the picture says.
    if (QAccessibleTableCellInterface* cell = face->tableCellInterface()) {
        if (auto* view = qobject_cast<QAbstractItemView*>(face->parent() ? face->parent()->object() : nullptr)) {
            const QModelIndex index = view->model()->index(cell->rowIndex(), cell->columnIndex(), view->rootIndex());
            if (index.data(Qt::DecorationRole).isValid() && name.isEmpty()) faults << "unnamed picture: " + here;
        }
    }
    const int children = std::min(face->childCount(), 400);  // a long table: its first rows tell
    int walked = 1;
    for (int i = 0; i < children; ++i) walked += walk(face->child(i), here, faults, depth + 1);
    return walked;
}

// The whole window, each page of each of its tabs in turn.
QStringList accessibilityFaults(QWidget& window) {
    QStringList faults;
    const auto walkWindow = [&] {
        QTest::qWait(10);
        // A window whose tree cannot be walked would pass unseen.
        if (walk(QAccessible::queryAccessibleInterface(&window), window.objectName(), faults) < 4)
            faults << "no accessible tree: " + window.objectName();
    };
    walkWindow();
    for (QTabWidget* tabs : window.findChildren<QTabWidget*>())
        for (int page = 0; page < tabs->count(); ++page) {
            tabs->setCurrentIndex(page);
            walkWindow();
        }
    faults.removeDuplicates();
    return faults;
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

    // Every window as a screen reader walks it: each control named, each
    // with the role it is, each list named by what it is.
    void everyWindowReadsWell() {
        auto d = start();
        Program& program = d->program;
        QStringList faults;
        const auto check = [&](QWidget& window) {
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            faults << accessibilityFaults(window);
            window.hide();
        };

        MainWindow& main = *d->mainWindow;
        program.frmMain()->ListView1.rows.push_back(row("Cheap pills", Mark::Delete));
        program.frmMain()->ListView1.rows.push_back(row("Lunch", Mark::None));
        program.frmMain()->changed();
        check(main);
        for (QMenu* menu : {main.listMenu(), main.findChild<QToolButton*>("btOptions")->menu()}) {
            menu->popup(main.pos());
            QVERIFY(QTest::qWaitForWindowExposed(menu));
            if (walk(QAccessible::queryAccessibleInterface(menu), menu->objectName(), faults) < 4)
                faults << "no accessible tree: " + menu->objectName();
            menu->close();
        }

        { GeneralWindow w(*program.frmGeneral()); check(w); }
        { OptionsWindow w(*program.frmOptionsMain()); check(w); }
        RuleDialogs& rules = *program.ruleDialogs();
        rules.frmOptionsSubject.newRule();
        { SubjectRuleDialog w(rules.frmOptionsSubject); check(w); }
        rules.frmOptionsFROM.newRule();
        { SenderRuleDialog w(rules.frmOptionsFROM); check(w); }
        rules.frmHeaders.newRule();
        { HeaderRuleDialog w(rules.frmHeaders); check(w); }
        rules.frmAlwaysAccept.newRule();
        { ExceptionRuleDialog w(rules.frmAlwaysAccept); check(w); }
        { CountryDialog w(rules.frmInternet); check(w); }
        { ImportDialog w(rules.frmImportSpam); check(w); }

        TfrmRetrieving& retrieving = *program.frmRetrieving();
        retrieving.FormShow("pop.example.com", "joe");
        retrieving.showProgress(3, 10);
        { RetrievingWindow w(retrieving, nullptr); check(w); }
        retrieving.hide();

        TfrmWhichMailbox which([](int n) { return std::pair<std::string, std::string>{n < 3 ? "pop.example.com" : "", "joe"}; });
        which.mailbox = 1;
        { WhichMailboxDialog w(which, nullptr); check(w); }
        TfrmViewHeader body(TfrmViewHeader::Mode::Body);
        body.addLine("Hello");
        body.setMoreParts({{"photo.png", 100}});
        { ViewHeaderWindow w(body, nullptr); check(w); }
        TfrmMarkForDeletion mark(*program.frmOptionsMain());
        mark.setMessage(1, "Cheap pills", "pills@spam.example");
        mark.FormShow();
        { MarkForDeletionDialog w(mark, nullptr); check(w); }
        { AboutDialog w(*program.frmAbout()); check(w); }
        TfrmChartMain launcher(d->platform, program.store);
        { ChartLauncherWindow w(launcher, nullptr); check(w); }
        TfrmChart chart(d->platform);
        { ChartWindow w(chart, nullptr); check(w); }
        TfrmSelectDateRange range(d->platform);
        { DateRangeDialog w(range, nullptr); check(w); }

        faults.removeDuplicates();
        QVERIFY2(faults.isEmpty(), qPrintable("\n" + faults.join("\n")));
    }

    // The walk above finds what a reader would miss: a list named by its
    // entry, an option announced as a check box, a picture and a table
    // without names.
    void theWalkFindsUnnamedControlsAndWrongRoles() {
        auto d = start();  // the program's own accessibility answers
        QWidget window;
        window.setObjectName("scratch");
        auto* layout = new QVBoxLayout(&window);
        auto* list = new QComboBox(&window);
        list->addItems({"STARTTLS", "None"});
        auto* option = new QRadioButton("Manual", &window);
        option->setAutoExclusive(false);
        auto* picture = new QLabel(&window);
        picture->setPixmap(QPixmap(16, 16));
        auto* table = new QTableWidget(1, 1, &window);
        auto* named = new QComboBox(&window);
        named->addItem("STARTTLS");
        named->setAccessibleName("Security");
        for (QWidget* w : {static_cast<QWidget*>(list), static_cast<QWidget*>(option), static_cast<QWidget*>(picture),
                           static_cast<QWidget*>(table), static_cast<QWidget*>(named)})
            layout->addWidget(w);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QStringList faults = accessibilityFaults(window);
        const std::pair<QString, QString> expected[] = {{"named by its entry \"STARTTLS\"", "QComboBox"},
                                                        {"wrong role", "QRadioButton"},
                                                        {"unnamed", "QLabel"},
                                                        {"unnamed", "QTableWidget"}};
        for (const auto& [fault, control] : expected)
            QVERIFY2(std::any_of(faults.begin(), faults.end(),
                                 [&](const QString& f) { return f.startsWith(fault) && f.contains("> " + control); }),
                     qPrintable(fault + " " + control + " not found in:\n" + faults.join("\n")));
        QCOMPARE(QAccessible::queryAccessibleInterface(named)->text(QAccessible::Name), QString("Security"));
        QCOMPARE(QAccessible::queryAccessibleInterface(named)->text(QAccessible::Value), QString("STARTTLS"));
        QCOMPARE(faults.size(), 4);
    }

    // Alt and a letter reach every command of the toolbar, its drop-down
    // menu and the list's menu; no two share a letter.
    void theCommandsHaveAccessKeys() {
        auto d = start();
        MainWindow& w = *d->mainWindow;
        const auto keyOf = [](const QString& text) {
            const qsizetype at = text.indexOf('&');
            return at >= 0 && at + 1 < text.size() ? text[at + 1].toLower() : QChar();
        };
        const auto checkKeys = [&](const QStringList& texts, const char* where) {
            QString keys;
            for (const QString& text : texts) {
                const QChar key = keyOf(text);
                QVERIFY2(!key.isNull(), qPrintable(QString(where) + ": no access key in " + text));
                QVERIFY2(!keys.contains(key), qPrintable(QString(where) + ": " + key + " twice, in " + text));
                keys += key;
            }
        };
        QStringList toolbar;
        for (const char* name : {"btList", "btOptions", "btExit", "btMark", "btDelete", "btRemark", "btResetAll", "btLaunch"})
            toolbar << w.findChild<QToolButton*>(name)->text();
        checkKeys(toolbar, "toolbar");
        QCOMPARE(toolbar.first(), QString("&Check e-mail"));
        // The captions stay: the reader and the hint say them without the key.
        QCOMPARE(accessibleName(w.findChild<QToolButton*>("btList")), QString("Check e-mail"));
        QCOMPARE(w.findChild<QToolButton*>("btList")->toolTip(), QString("Check e-mail"));
        for (QMenu* menu : {w.listMenu(), w.findChild<QToolButton*>("btOptions")->menu()}) {
            QStringList items;
            for (QAction* action : menu->actions())
                if (!action->isSeparator()) items << action->text();
            checkKeys(items, "menu");
        }
        // The exit button's other captions find a free letter too.
        d->program.frmMain()->btExit.caption = "Cancel";
        d->program.frmMain()->changed();
        const QChar cancel = keyOf(w.findChild<QToolButton*>("btExit")->text());
        QVERIFY(!cancel.isNull());
        QVERIFY(!QString("csmdarl").contains(cancel));
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
