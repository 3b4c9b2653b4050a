#include <QAbstractItemModelTester>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QWindow>

#include "ui/application.h"
#include "ui/message_list_model.h"
#include "mail/remote_info.h"

using namespace quorvel;
using namespace quorvel::ui;

namespace {

MessageRow row(const std::string& subject, int mark = Mark::None) {
    MessageRow r;
    r.caption = subject;
    r.sender = "a@b.example";
    r.size = "1200";
    r.date = "3/14/2000 10:20:30 AM";
    r.stateIndex = mark;
    return r;
}

}  // namespace

class MessageListTest : public QObject {
    Q_OBJECT

    // The program on an empty profile in `folder`.
    static std::unique_ptr<Desktop> startIn(const QTemporaryDir& folder) {
        const std::string path = folder.path().toStdString();
        auto desktop = std::make_unique<Desktop>(Desktop::Folders{path, path + "/settings"});
        desktop->start();
        return desktop;
    }

private slots:
    void theModelPassesTheToolkitsChecksThroughEveryKindOfChange() {
        MessageList list;
        MessageListModel model(list);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (int i = 0; i < 5; ++i) {
            list.rows.push_back(row("subject " + std::to_string(i)));
            model.sync();
        }
        QCOMPARE(model.rowCount(), 5);
        list.rows[2].stateIndex = Mark::Delete;
        list.rows[3].stateIndex = 7;
        model.sync();
        QCOMPARE(model.data(model.index(2, 0), Qt::DecorationRole).value<QIcon>().isNull(), false);
        QCOMPARE(model.data(model.index(1, 0), Qt::DecorationRole).value<QIcon>().isNull(), true);
        QCOMPARE(model.data(model.index(2, 2), Qt::TextAlignmentRole).value<Qt::Alignment>(),
                 Qt::AlignRight | Qt::AlignVCenter);
        QCOMPARE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable, Qt::NoItemFlags);
        // Emptied and refilled with as many rows before the view heard of it.
        list.clear();
        for (int i = 0; i < 5; ++i) list.rows.push_back(row("new " + std::to_string(i)));
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        model.sync();
        QCOMPARE(reset.count(), 1);
        QCOMPARE(model.data(model.index(0, 0), Qt::DisplayRole).toString(), QString("new 0"));
        list.rows.clear();
        model.sync();
        QCOMPARE(model.rowCount(), 0);
    }

    void aMarkChangeReachesTheViewAsThatRowAlone() {
        MessageList list;
        for (int i = 0; i < 10000; ++i) list.rows.push_back(row("subject " + std::to_string(i)));
        MessageListModel model(list);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        list.rows[4711].stateIndex = Mark::Question;
        list.rows[4712].stateIndex = Mark::Question;
        list.rows[9000].stateIndex = Mark::KnownSpammer;
        model.sync();
        QCOMPARE(reset.count(), 0);
        QCOMPARE(changed.count(), 2);
        QCOMPARE(changed[0][0].toModelIndex().row(), 4711);
        QCOMPARE(changed[0][1].toModelIndex().row(), 4712);
        QCOMPARE(changed[1][0].toModelIndex().row(), 9000);
        list.rows.push_back(row("one more"));
        model.sync();
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(inserted[0][1].toInt(), 10000);
        QCOMPARE(reset.count(), 0);
    }

    void subjectsAndSendersShowInTheSetTheirEncodedWordsDeclare() {
        struct Case {
            const char* subject;
            const char* from;
            QString shownSubject, shownSender;
            const char* bytes;  // what the rules read: the decoded octets as they are
        } cases[] = {
            {"=?KOI8-R?B?8NLJ18XULCDNydI=?=", "ann@a.example", QString::fromUtf8("Привет, мир"), "ann@a.example",
             "\xf0\xd2\xc9\xd7\xc5\xd4, \xcd\xc9\xd2"},
            {"Re: =?ISO-2022-JP?B?GyRCJDMkcyRLJEEkTxsoQg==?=", "bob@b.example", QString::fromUtf8("Re: こんにちは"),
             "bob@b.example", "Re: \x1b$B$3$s$K$A$O\x1b(B"},
            {"=?gb2312?B?xOO6w6OsysC95w==?=", "=?GB2312?B?xOO6ww==?= <cid@c.example>", QString::fromUtf8("你好，世界"),
             "cid@c.example", "\xc4\xe3\xba\xc3\xa3\xac\xca\xc0\xbd\xe7"},
            {"=?Shift_JIS?B?g2WDWINnkZeQTQ==?=", "dan@d.example", QString::fromUtf8("テスト送信"), "dan@d.example",
             "\x83\x65\x83\x58\x83\x67\x91\x97\x90\x4d"},
            {"=?ISO-8859-2?B?WmG/87PmIGfqtmyx?=", "=?ISO-8859-2?Q?=BFaba=40b=EAd=B1.example?=",
             QString::fromUtf8("Zażółć gęślą"), QString::fromUtf8("żaba@będą.example"),
             "Za\xbf\xf3\xb3\xe6 g\xea\xb6l\xb1"},
            {"=?ISO-8859-7?B?yuHr5+zd8eE=?=", "eve@e.example", QString::fromUtf8("Καλημέρα"), "eve@e.example",
             "\xca\xe1\xeb\xe7\xec\xdd\xf1\xe1"},
            {"plain", "fay@f.example", "plain", "fay@f.example", "plain"},
        };
        MessageList list;
        MessageListModel model(list);
        FormatSettings settings;
        for (const Case& c : cases) {
            TmsRemoteInfoItem record;
            record.Size = 100;
            record.Headers = {std::string("Subject: ") + c.subject, std::string("From: ") + c.from};
            list.rows.push_back(messageRowFromRecord(record, settings));
            QCOMPARE(list.rows.back().caption, std::string(c.bytes));
        }
        model.sync();
        for (int r = 0; r < static_cast<int>(std::size(cases)); ++r) {
            QCOMPARE(model.data(model.index(r, 0), Qt::DisplayRole).toString(), cases[r].shownSubject);
            QCOMPARE(model.data(model.index(r, 1), Qt::DisplayRole).toString(), cases[r].shownSender);
        }
    }

    void aRealDoubleClickOnASelectedRowTogglesEverySelectedRow() {
        QTemporaryDir folder;
        auto desktop = startIn(folder);
        TfrmMain& form = *desktop->program.frmMain();
        MainWindow& window = *desktop->mainWindow;
        QTest::qWait(50);
        for (int mark : {Mark::None, Mark::Question, Mark::KnownSpammer, Mark::None})
            form.ListView1.rows.push_back(row("subject", mark));
        form.changed();
        QTreeView* list = window.messageList();
        const auto marks = [&] {
            std::vector<int> m;
            for (const MessageRow& r : form.ListView1.rows) m.push_back(r.stateIndex);
            return m;
        };
        // Clicks come through the window system, as the desktop's do: the
        // toolkit itself makes the second press a double click.
        QWindow* handle = window.windowHandle();
        QVERIFY(handle);
        const auto centre = [&](int r) {
            return list->viewport()->mapTo(&window, list->visualRect(list->model()->index(r, 1)).center());
        };

        // Rows 0 and 2 selected with the mouse, then a double click on row 2.
        QTest::mouseClick(handle, Qt::LeftButton, {}, centre(0));
        QTest::qWait(QApplication::doubleClickInterval() + 50);
        QTest::mouseClick(handle, Qt::LeftButton, Qt::ControlModifier, centre(2));
        QTest::qWait(QApplication::doubleClickInterval() + 50);
        QCOMPARE(list->selectionModel()->selectedRows().size(), 2);
        QTest::mouseDClick(handle, Qt::LeftButton, {}, centre(2));
        QCOMPARE(marks(), (std::vector<int>{Mark::Delete, Mark::Question, Mark::None, Mark::None}));
        // Both stay selected: the user sees what was toggled.
        QCOMPARE(list->selectionModel()->selectedRows().size(), 2);
        QVERIFY(form.ListView1.rows[0].selected && form.ListView1.rows[2].selected);

        // Space toggles the selected rows as the double click does.
        QTest::qWait(QApplication::doubleClickInterval() + 50);
        QTest::mouseClick(handle, Qt::LeftButton, Qt::ControlModifier, centre(1));
        QCOMPARE(list->selectionModel()->selectedRows().size(), 3);
        QTest::keyClick(list, Qt::Key_Space);
        QCOMPARE(marks(), (std::vector<int>{Mark::None, Mark::Delete, Mark::Delete, Mark::None}));
        QCOMPARE(list->selectionModel()->selectedRows().size(), 3);
    }

    void thePopupMenuSelectionAndDoubleClickGoToTheHandlers() {
        QTemporaryDir folder;
        auto desktop = startIn(folder);
        TfrmMain& form = *desktop->program.frmMain();
        MainWindow& window = *desktop->mainWindow;

        QStringList entries;
        for (QAction* action : window.listMenu()->actions()) entries << (action->isSeparator() ? "-" : action->text());
        // Each with a letter of its own for the keyboard.
        QCOMPARE(entries, QStringList({"&Why was this e-mail marked?", "-", "&This is spam", "T&his is not spam", "-",
                                       "&Add selected sender(s) to exceptions list",
                                       "A&dd selected message(s) to spam list", "-", "&View selected message(s) headers",
                                       "V&iew body of one message"}));

        for (int mark : {Mark::None, Mark::Question, Mark::KnownSpammer}) {
            form.ListView1.rows.push_back(row("subject", mark));
        }
        form.changed();
        QTreeView* list = window.messageList();
        QCOMPARE(list->model()->rowCount(), 3);

        // The user selects rows 0 and 2; the rows learn it.
        list->selectionModel()->select(list->model()->index(0, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        list->selectionModel()->select(list->model()->index(2, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QVERIFY(form.ListView1.rows[0].selected && !form.ListView1.rows[1].selected && form.ListView1.rows[2].selected);

        // A double click toggles every selected row, not only the one clicked.
        emit list->doubleClicked(list->model()->index(0, 0));
        QCOMPARE(form.ListView1.rows[1].stateIndex, Mark::Question);
        QCOMPARE(form.ListView1.rows[0].stateIndex, Mark::Delete);
        QCOMPARE(form.ListView1.rows[2].stateIndex, Mark::None);
        QVERIFY(form.statusPanels[1].starts_with("Message Total: 3"));

        // The core's selection reaches the view.
        for (MessageRow& r : form.ListView1.rows) r.selected = false;
        form.ListView1.rows[1].selected = true;
        form.changed();
        QCOMPARE(list->selectionModel()->selectedRows().size(), 1);
        QCOMPARE(list->selectionModel()->selectedRows().at(0).row(), 1);

        // "This is spam" and "This is not spam" reach their handlers.
        const auto entry = [&](const QString& text) {
            for (QAction* action : window.listMenu()->actions())
                if (action->text().remove(QLatin1Char('&')) == text) return action;
            return static_cast<QAction*>(nullptr);
        };
        entry("This is spam")->trigger();
        QCOMPARE(form.ListView1.rows[1].stateIndex, Mark::Delete);
        entry("This is not spam")->trigger();
        QCOMPARE(form.ListView1.rows[1].stateIndex, Mark::None);
    }
};

int main(int argc, char** argv) {
    QuorvelApplication app(argc, argv);
    MessageListTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "message_list_test.moc"
