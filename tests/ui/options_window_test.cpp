#include <QAbstractItemModelTester>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QProgressBar>
#include <QTest>
#include <QTimer>

#include "config/rule_dialogs.h"
#include "config/rule_file.h"
#include "platform/files.h"
#include "ui/application.h"
#include "ui/options_window.h"
#include "ui/table_printer.h"

using namespace quorvel;
using namespace quorvel::ui;

namespace {

QString pdfText(const QString& pdf) {
    QProcess process;
    process.start("pdftotext", {"-layout", pdf, "-"});
    process.waitForFinished(20000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// Clicks a button of the dialog that comes up over the spam settings, once it is up.
void clickLater(const char* name, std::function<void(QWidget&)> before = {}, int tries = 200) {
    QTimer::singleShot(10, [name, before, tries] {
        QWidget* top = QApplication::activeModalWidget();
        if (!top || top->objectName() == "frmOptionsMain") {
            if (tries > 0) clickLater(name, before, tries - 1);
            return;
        }
        if (before) before(*top);
        auto* button = top->findChild<QAbstractButton*>(name);
        QVERIFY(button);
        button->click();
    });
}

}  // namespace

class OptionsWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> folder_;
    std::unique_ptr<Desktop> desktop_;

    TfrmOptionsMain& form() { return *desktop_->program.frmOptionsMain(); }
    RuleDialogs& dialogs() { return *desktop_->program.ruleDialogs(); }

    void start(const std::function<void(const std::string&)>& files = {}) {
        folder_ = std::make_unique<QTemporaryDir>();
        const std::string path = folder_->path().toStdString();
        if (files) files(path);
        desktop_ = std::make_unique<Desktop>(Desktop::Folders{path, path + "/settings"});
        desktop_->start();
    }

    // Opens the window as the main window's button does, runs `act` in it,
    // and returns once it is closed (by `act` or by Cancel).
    void withWindow(const std::function<void(OptionsWindow&)>& act) {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            auto* window = qobject_cast<OptionsWindow*>(QApplication::activeModalWidget());
            QVERIFY(window);
            QVERIFY(QTest::qWaitForWindowExposed(window));
            ran = true;
            act(*window);
            if (window->isVisible()) window->findChild<QAbstractButton*>("btCancel")->click();
        });
        desktop_->program.frmMain()->btSpamSetupClick();
        QVERIFY(ran);
    }

    static std::vector<std::string> patterns(const RuleTable& t, int col = 2) {
        std::vector<std::string> cells;
        for (int row = 1; row < t.rowCount(); ++row) cells.push_back(t.cell(col, row));
        return cells;
    }

    static void fillSubjects(RuleTable& t, const std::vector<std::string>& patterns) {
        t.setRowCount(static_cast<int>(patterns.size()) + 1);
        SetGridHeadings(t);
        for (std::size_t i = 0; i < patterns.size(); ++i) {
            const int row = static_cast<int>(i) + 1;
            const std::string cells[] = {"", "Contains", patterns[i], "No", i % 2 ? "No" : "Yes", "0"};
            for (int col = 0; col < 6; ++col) t.setCell(col, row, cells[col]);
        }
        refreshImages(t);
    }

    // The BlackList editor, as a user drives it: Edit, typing, then one of the buttons.
    void blackListPage(OptionsWindow& w) { w.pages()->setCurrentIndex(5); }
    static void click(OptionsWindow& w, const char* name) { w.findChild<QAbstractButton*>(name)->click(); }
    std::string knownFile() { return readFileBytes(folder_->path().toStdString() + "/known.lst").value_or("-"); }
    void writeKnownFile(const std::string& bytes) {
        start([&](const std::string& path) { writeFileAtomically(path + "/known.lst", bytes); });
    }

private slots:
    void initTestCase() { QVERIFY(qputenv("QT_QPA_PLATFORM", "offscreen") || true); }
    void cleanup() {
        // The splash outlives a test's short run; it must not outlive the program it shows.
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "frmSplash") delete w;
        desktop_.reset();
    }

    void eightTabsAndTheirTexts() {
        start();
        withWindow([](OptionsWindow& w) {
            QTabWidget* tabs = w.pages();
            QStringList captions;
            for (int i = 0; i < tabs->count(); ++i) captions << tabs->tabText(i);
            QCOMPARE(captions, (QStringList{"Subject", "Headers", "Sender", "Size", "Exceptions", "BlackList",
                                            "Valid Domains", "Learning"}));
            QCOMPARE(tabs->currentIndex(), 0);
            QCOMPARE(w.windowTitle(), QString("Spam Settings"));
            QCOMPARE(w.findChild<QLabel*>("lblCountSubject")->text(), QString("1 Conditions"));
            QCOMPARE(w.findChild<QLabel*>("lblCountExcept")->text(), QString("1 Exceptions"));
            QVERIFY(w.view(RuleGrid::Except)->isColumnHidden(6));
            QCOMPARE(w.findChild<QAbstractButton*>("btUpSubject")->toolTip(), QString("Move item up one row"));
        });
    }

    void theModelPassesTheToolkitsChecksThroughEveryCommand() {
        start();
        fillSubjects(form().rules.gridSubject, {"a", "b", "c", "d"});
        withWindow([this](OptionsWindow& w) {
            RuleTableModel* model = w.model(RuleGrid::Subject);
            QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
            TfrmOptionsMain& f = form();
            f.setRow(f.gridSubject, 2);
            f.btDownSubjectClick(f.gridSubject);
            f.btUpSubjectClick(f.gridSubject);
            f.btDelSubjectClick();
            QCOMPARE(model->rowCount(), 3);
            f.sortBy(f.gridSubject, 2);
            f.importKeywords({"x", "y"});
            QCOMPARE(model->rowCount(), 5);
            QVERIFY(model->setData(model->index(0, 5), "3"));
            QCOMPARE(model->data(model->index(0, 5), Qt::DisplayRole).toString(), QString("3"));
            // The view follows the form's row.
            f.setRow(f.gridSubject, 4);
            w.sync();
            QCOMPARE(w.view(RuleGrid::Subject)->currentIndex().row(), 3);
        });
    }

    void hitsAcceptDigitsOnly_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("stored");
        QTest::newRow("letters") << "12a" << false << "5";
        QTest::newRow("negative") << "-3" << false << "5";
        QTest::newRow("empty") << "" << false << "5";
        QTest::newRow("leading zeros") << "007" << true << "7";
    }
    void hitsAcceptDigitsOnly() {
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        QFETCH(QString, stored);
        start();
        fillSubjects(form().rules.gridSubject, {"free"});
        form().rules.gridSubject.setCell(5, 1, "5");
        withWindow([&](OptionsWindow& w) {
            RuleTableModel* model = w.model(RuleGrid::Subject);
            QCOMPARE(model->setData(model->index(0, 5), typed), accepted);
            QCOMPARE(model->data(model->index(0, 5), Qt::DisplayRole).toString(), stored);
            QVERIFY(!(model->flags(model->index(0, 1)) & Qt::ItemIsEditable));
            QVERIFY(model->flags(model->index(0, 2)) & Qt::ItemIsEditable);
        });
    }

    void deleteKeyAndButtonKeepOneEmptyRow() {
        start();
        fillSubjects(form().rules.gridSubject, {"a", "b"});
        withWindow([this](OptionsWindow& w) {
            QTableView* view = w.view(RuleGrid::Subject);
            view->setFocus();
            view->setCurrentIndex(view->model()->index(0, 2));
            QTest::keyClick(view, Qt::Key_Delete);
            QCOMPARE(patterns(form().rules.gridSubject), std::vector<std::string>{"b"});
            w.findChild<QAbstractButton*>("btDelSubject")->click();
            QCOMPARE(patterns(form().rules.gridSubject), std::vector<std::string>{""});
            QCOMPARE(view->model()->rowCount(), 1);
            QCOMPARE(w.findChild<QLabel*>("lblCountSubject")->text(), QString("1 Conditions"));
        });
    }

    void insertAtRowThreeThroughTheDialog() {
        start();
        fillSubjects(form().rules.gridSubject, {"a", "b", "c", "d"});
        withWindow([this](OptionsWindow& w) {
            QTableView* view = w.view(RuleGrid::Subject);
            view->setCurrentIndex(view->model()->index(2, 2));
            clickLater("btOK", [this](QWidget&) { dialogs().frmOptionsSubject.edit1Change("new"); });
            w.findChild<QAbstractButton*>("btAddSubject")->click();
            QCOMPARE(patterns(form().rules.gridSubject), (std::vector<std::string>{"a", "b", "new", "c", "d"}));
            QCOMPARE(view->model()->data(view->model()->index(2, 2)).toString(), QString("new"));
            QCOMPARE(w.findChild<QLabel*>("lblCountSubject")->text(), QString("5 Conditions"));
            // A double click edits the row it lands on.
            clickLater("btOK", [this](QWidget&) { dialogs().frmOptionsSubject.edit1Change("edited"); });
            const QRect cell = view->visualRect(view->model()->index(4, 2));
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
            QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell.center());
            QCOMPARE(form().rules.gridSubject.cell(2, 5), "edited");
        });
    }

    void importThroughTheDialogAndCancelStillSaves() {
        start();
        withWindow([this](OptionsWindow& w) {
            clickLater("btOK", [](QWidget& dialog) {
                dialog.findChild<QPlainTextEdit*>("Memo1")->setPlainText("cash\ncash\n  \nCash ");
            });
            w.findChild<QAbstractButton*>("btImportSubject")->click();
            QCOMPARE(patterns(form().rules.gridSubject), (std::vector<std::string>{"cash", "Cash"}));
            QCOMPARE(w.model(RuleGrid::Subject)->rowCount(), 2);
            QVERIFY(w.model(RuleGrid::Subject)->setData(w.model(RuleGrid::Subject)->index(1, 5), "8"));
            clickLater("btCancel");
            w.findChild<QAbstractButton*>("btImportSubject")->click();
        });
        // Cancel of the window read the files back: the import and the later edit were saved.
        QCOMPARE(patterns(form().rules.gridSubject), (std::vector<std::string>{"cash", "Cash"}));
        QCOMPARE(form().rules.gridSubject.cell(5, 2), "8");
    }

    void okRemovesAnIdenticalNeighbour() {
        start();
        fillSubjects(form().rules.gridSubject, {"same", "same"});
        form().rules.gridSubject.setCell(4, 2, "Yes");
        withWindow([](OptionsWindow& w) { w.findChild<QAbstractButton*>("btOK")->click(); });
        QCOMPARE(patterns(form().rules.gridSubject), std::vector<std::string>{"same"});
        const std::string saved = readFileBytes(joinPath(folder_->path().toStdString(), "subj.lst")).value_or("");
        QCOMPARE(saved, formatRuleTable(form().rules.gridSubject));
    }

    void withoutKnownListTheNoticeShows() {
        start();
        QFile::remove(folder_->path() + "/known.lst");
        withWindow([](OptionsWindow& w) {
            w.pages()->setCurrentIndex(5);
            auto* notice = w.findChild<QLabel*>("pnlSorting");
            QVERIFY(notice->isVisible());
            QCOMPARE(notice->text(), QString("Could not locate the known spammer blacklist!"));
            QVERIFY(!w.findChild<QAbstractButton*>("btEditKnown")->isVisible());
            QVERIFY(!w.findChild<QAbstractButton*>("btSaveChanges")->isVisible());
        });
    }

    void blackListCancelDropsTheTypedLinesFromTheView_data() {
        QTest::addColumn<QString>("finish");
        QTest::newRow("Save") << "btSaveChanges";
        QTest::newRow("the window's OK") << "btOK";
    }
    void blackListCancelDropsTheTypedLinesFromTheView() {
        QFETCH(QString, finish);
        const std::string file = "a.example\r\nb.example\r\n";
        writeKnownFile(file);
        QString shownAfterCancel;
        withWindow([&](OptionsWindow& w) {
            blackListPage(w);
            click(w, "btEditKnown");
            w.memo()->moveCursor(QTextCursor::End);
            QTest::keyClicks(w.memo(), "typed.example");
            click(w, "btCancelChanges");
            shownAfterCancel = w.memo()->toPlainText();
            click(w, "btEditKnown");
            click(w, finish.toLatin1().constData());
        });
        QCOMPARE(shownAfterCancel, QString("a.example\nb.example\n"));
        QCOMPARE(knownFile(), file);
        QCOMPARE(desktop_->program.frmMain()->lbKnown.FindInKnownList("typed.example"), -1);
    }

    // Lines that are not UTF-8 show in Windows-1252 and go back as they were
    // read, also beside a UTF-8 line that shows the same.
    void blackListWritesBackTheBytesItDidNotEdit() {
        const std::string file = "m\xC3\xBCller.example\r\nm\xFCller.example\r\nzed.example\r\n"
                                 "\xC3\xA9t\xC3\xA9.example\r\n";
        writeKnownFile(file);
        QString shown;
        withWindow([&](OptionsWindow& w) {
            blackListPage(w);
            shown = w.memo()->toPlainText();
            click(w, "btEditKnown");
            click(w, "btSaveChanges");
        });
        QCOMPARE(shown, QString::fromUtf8("müller.example\nmüller.example\nzed.example\nété.example\n"));
        QCOMPARE(knownFile(), file);

        // A line typed in goes in as UTF-8; the others keep their bytes.
        withWindow([&](OptionsWindow& w) {
            blackListPage(w);
            click(w, "btEditKnown");
            w.memo()->moveCursor(QTextCursor::End);
            w.memo()->insertPlainText(QString::fromUtf8("nöe.example"));  // pasted: no key has it
            click(w, "btSaveChanges");
        });
        QCOMPARE(knownFile(), "m\xC3\xBCller.example\r\nm\xFCller.example\r\nn\xC3\xB6" "e.example\r\n"
                              "zed.example\r\n\xC3\xA9t\xC3\xA9.example\r\n");
    }

    void blackListKeepsItsPlaceAfterTheRebuild() {
        std::string sorted;
        for (int i = 0; i < 400; ++i) sorted += "host" + std::to_string(1000 + i) + ".example\r\n";
        // The rebuild moves the first line to the end: the text is drawn anew.
        writeKnownFile("zed.example\r\n" + sorted);
        int before = -1, after = -1;
        withWindow([&](OptionsWindow& w) {
            blackListPage(w);
            QScrollBar* bar = w.memo()->verticalScrollBar();
            QVERIFY(bar->maximum() > 200);
            bar->setValue(200);
            before = bar->value();
            click(w, "btEditKnown");
            click(w, "btSaveChanges");
            QCoreApplication::processEvents();
            after = bar->value();
        });
        QCOMPARE(before, 200);
        QCOMPARE(after, 200);
        QCOMPARE(knownFile(), sorted + "zed.example\r\n");
    }

    void patternsShowOnOneLineBoldOrBlue() {
        start();
        fillSubjects(form().rules.gridSubject, {std::string("line one\r\nline\ttwo\x01") + std::string(40000, 'x'),
                                                "<b>question</b>"});
        withWindow([](OptionsWindow& w) {
            RuleTableModel* m = w.model(RuleGrid::Subject);
            const QString shown = m->data(m->index(0, 2), Qt::DisplayRole).toString();
            QVERIFY(!shown.contains('\n') && !shown.contains('\r') && !shown.contains('\t'));
            QVERIFY(shown.startsWith(QString("line one") + QChar(0x240D) + QChar(0x240A) + "line" + QChar(0x2409)));
            QVERIFY(shown.size() < 1100);
            QVERIFY(m->data(m->index(0, 2), Qt::FontRole).value<QFont>().bold());
            QCOMPARE(m->data(m->index(1, 2), Qt::ForegroundRole).value<QBrush>().color(), QColor(Qt::blue));
            QCOMPARE(m->data(m->index(1, 2), Qt::DisplayRole).toString(), QString("<b>question</b>"));
            const auto align = m->data(m->index(0, 5), Qt::TextAlignmentRole).value<Qt::Alignment>();
            QVERIFY(align & Qt::AlignRight);
            QVERIFY(!m->data(m->index(0, 0), Qt::DecorationRole).value<QIcon>().isNull());
        });
    }

    void mailboxFiveRuleRoundTripsThroughTheTable() {
        start();
        TfrmGeneral& general = *desktop_->program.frmGeneral();
        for (int n : {1, 5}) {
            general.edServe[static_cast<std::size_t>(n - 1)].text = "pop" + std::to_string(n) + ".example";
            general.edName[static_cast<std::size_t>(n - 1)].text = "user" + std::to_string(n);
        }
        withWindow([&](OptionsWindow& w) {
            w.pages()->setCurrentIndex(1);
            clickLater("btOK", [this](QWidget&) {
                TfrmHeaders& h = dialogs().frmHeaders;
                h.chooseForm(h.rbTo);
                h.edToChange("me@example.com");
                h.cbMailBoxClick(1);  // the second entry: mailbox 5
            });
            w.findChild<QAbstractButton*>("btAddHeader")->click();
            const RuleTable& t = form().rules.gridHeader;
            QCOMPARE(t.cell(2, 1), "me@example.com - MailBox #5");
            QCOMPARE(w.model(RuleGrid::Header)->data(w.model(RuleGrid::Header)->index(0, 1)).toString(),
                     QString("To does not contain"));
            std::string reopened;
            clickLater("btOK", [&](QWidget&) {
                const TfrmHeaders& h = dialogs().frmHeaders;
                reopened = h.cbMailBox.items.at(static_cast<std::size_t>(h.cbMailBox.itemIndex));
            });
            w.findChild<QAbstractButton*>("btEditHeader")->click();
            QVERIFY(reopened.rfind("5)", 0) == 0);
            QCOMPARE(t.cell(2, 1), "me@example.com - MailBox #5");
        });
    }

    void exceptionPictureCellsShowInTheTable_data() {
        QTest::addColumn<int>("cell");
        QTest::addColumn<QString>("stored");
        QTest::newRow("first") << 0 << "3";
        QTest::newRow("last") << 11 << "14";
    }
    void exceptionPictureCellsShowInTheTable() {
        QFETCH(int, cell);
        QFETCH(QString, stored);
        start();
        withWindow([&](OptionsWindow& w) {
            clickLater("btOK", [&](QWidget&) {
                TfrmAlwaysAccept& d = dialogs().frmAlwaysAccept;
                d.edEmailChange("friend@example.com");
                d.imgPickerClick(cell);
            });
            w.findChild<QAbstractButton*>("btAddExcept")->click();
            const RuleTable& t = form().rules.gridExcept;
            QCOMPARE(QString::fromStdString(t.cell(6, 1)), stored);
            QCOMPARE(t.image(1), stored.toInt());
            RuleTableModel* m = w.model(RuleGrid::Except);
            QVERIFY(!m->data(m->index(0, 5), Qt::DecorationRole).value<QIcon>().isNull());
            QVERIFY(m->data(m->index(0, 2), Qt::FontRole).value<QFont>().bold());
        });
    }

    void printedTablesReadBack_data() {
        QTest::addColumn<int>("rules");
        QTest::addColumn<bool>("secondPage");
        QTest::newRow("one page") << 3 << false;
        QTest::newRow("two pages") << 150 << true;
    }
    void printedTablesReadBack() {
        QFETCH(int, rules);
        QFETCH(bool, secondPage);
        start();
        std::vector<std::string> words;
        for (int i = 0; i < rules; ++i) words.push_back("keyword" + std::to_string(i));
        fillSubjects(form().rules.gridSubject, words);
        const QString pdf = folder_->path() + "/subject.pdf";
        withWindow([&](OptionsWindow& w) {
            // The print dialog comes up; it is told to print to a PDF file.
            QTimer::singleShot(0, [pdf] {
                auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
                QVERIFY(dialog);
                dialog->printer()->setOutputFormat(QPrinter::PdfFormat);
                dialog->printer()->setOutputFileName(pdf);
                // done(), not accept(): accept() would read the printer back from the dialog's own fields.
                dialog->done(QDialog::Accepted);
            });
            w.findChild<QAbstractButton*>("btPrintSubject")->click();
        });
        const QString text = pdfText(pdf);
        QVERIFY2(text.contains("Quorvel - Subject Line Settings"), qPrintable(text.left(500)));
        QVERIFY(text.contains("Page 1"));
        QVERIFY(text.contains("Matches"));
        QVERIFY(text.contains("keyword0"));
        QCOMPARE(text.contains("Page 2"), secondPage);
        QVERIFY(text.contains(QString::fromStdString("keyword" + std::to_string(rules - 1))));
        // The date and the time as the program formats them today.
        const PrintedTable printed = form().printedTable(form().gridSubject);
        QVERIFY(text.contains(QString::fromStdString(printed.date)));
        QVERIFY(text.contains(QString::fromStdString(printed.time)));
    }

    void aHundredThousandLineImportKeepsTheWindowAnswering() {
        start();
        QString text;
        for (int i = 0; i < 100000; ++i) text += QString("keyword%1\n").arg(i);
        int progressSeen = 0, eventsDuring = 0;
        withWindow([&](OptionsWindow& w) {
            auto* progress = w.findChild<QLabel*>("pnlProgress");
            QTimer ticker;
            QObject::connect(&ticker, &QTimer::timeout, [&] {
                ++eventsDuring;
                if (progress->isVisible() && progress->text().startsWith("Importing line")) ++progressSeen;
            });
            ticker.start(0);
            clickLater("btOK", [&](QWidget& dialog) { dialog.findChild<QPlainTextEdit*>("Memo1")->setPlainText(text); });
            w.findChild<QAbstractButton*>("btImportSubject")->click();
            ticker.stop();
            QCOMPARE(w.model(RuleGrid::Subject)->rowCount(), 100000);
            QVERIFY(!progress->isVisible());
            w.findChild<QAbstractButton*>("btOK")->click();
        });
        QVERIFY(progressSeen > 0);
        QVERIFY(eventsDuring > progressSeen);
        // The saved table loads again.
        const RuleTable loaded =
            loadRuleTable(joinPath(folder_->path().toStdString(), "subj.lst"), RuleTableKind::Subject);
        QCOMPARE(loaded.ruleCount(), 100000);
        QCOMPARE(loaded.cell(2, 100000), "keyword99999");
    }

    void learningFromAMailboxFileKeepsTheWindowAnsweringAndCancelStopsIt() {
        start();
        std::string mbox;
        for (int i = 0; i < 20000; ++i)
            mbox += "From a@b Thu Dec 10 09:15:00 2026\nFrom: s" + std::to_string(i) +
                    "@pills.example\nSubject: offer " + std::to_string(i) + "\n\nBuy.\n\n";
        const std::string path = folder_->path().toStdString() + "/Junk";
        writeFileAtomically(path, mbox);
        int eventsDuring = 0;
        bool cancelled = false;
        withWindow([&](OptionsWindow& w) {
            w.pages()->setCurrentIndex(7);
            auto* bar = w.findChild<QProgressBar*>("pbLearning");
            auto* cancel = w.findChild<QAbstractButton*>("btLearnCancel");
            QVERIFY(!bar->isVisible());
            QTimer ticker;
            QObject::connect(&ticker, &QTimer::timeout, [&] {
                ++eventsDuring;
                // The user clicks Cancel once the bar has moved.
                if (!cancelled && bar->isVisible() && bar->value() > 0 && cancel->isEnabled()) {
                    cancelled = true;
                    cancel->click();
                }
            });
            ticker.start(0);
            form().learnFrom(path);
            ticker.stop();
            QVERIFY(!bar->isVisible());
            QVERIFY(!cancel->isVisible());
            QVERIFY(w.findChild<QAbstractButton*>("btOK")->isEnabled());
            QVERIFY(w.findChild<QLabel*>("lblLearnProgress")->text().startsWith("Cancelled: learned "));
        });
        QVERIFY(cancelled);
        QVERIFY(eventsDuring > 0);
        const std::uint64_t learned = desktop_->program.frmMain()->learning().model().spamMessages();
        QVERIFY(learned > 0);
        QVERIFY(learned < 20000);
    }

    void columnWidthsFollowTheView() {
        start();
        withWindow([this](OptionsWindow& w) {
            w.view(RuleGrid::Sender)->setColumnWidth(3, 277);
            QCOMPARE(form().rules.gridFrom.colWidth(3), 277);
        });
        desktop_->program.shutdown();
        SettingsStore store(folder_->path().toStdString() + "/settings");
        QCOMPARE(store.readInteger("Sender", "col3", 0), 277);
    }

    void sortingByAHeadingReordersTheRules() {
        start();
        fillSubjects(form().rules.gridSubject, {"b", "c", "a"});
        withWindow([this](OptionsWindow& w) {
            QHeaderView* header = w.view(RuleGrid::Subject)->horizontalHeader();
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(header->sectionViewportPosition(2) + 10, header->height() / 2));
            QCOMPARE(patterns(form().rules.gridSubject), (std::vector<std::string>{"a", "b", "c"}));
            QVERIFY(header->isSortIndicatorShown());
            QCOMPARE(header->sortIndicatorSection(), 2);
            QCOMPARE(w.model(RuleGrid::Subject)->data(w.model(RuleGrid::Subject)->index(0, 2)).toString(), QString("a"));
        });
    }
};

QTEST_MAIN(OptionsWindowTest)
#include "options_window_test.moc"
