#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include "config/rule_dialogs.h"
#include "ui/application.h"
#include "ui/rule_windows.h"
#include "support/fake_platform.h"

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

// A list of a fixed size in which a rule marks as many messages as its
// pattern has characters: enough to see the line follow the typing.
class CountingPreview : public MarkPreview {
public:
    MarkCount wouldMark(const RuleTable& rule) override {
        const int col = rule.kind() == RuleTableKind::Sender ? 3 : 2;
        return {static_cast<int>(rule.cell(col, 1).size()), listed};
    }
    int listed = 12;
};

template <class W>
W* child(QWidget& w, const char* name) {
    auto* found = w.findChild<W*>(name);
    if (!found) qFatal("no control %s", name);
    return found;
}

// A check box or radio button answers clicks on its indicator and text only.
void clickBox(QAbstractButton* box) { QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2)); }

// The named control, or a part of it (an editable list's field), has the focus.
bool hasFocus(QWidget& w, const char* name) {
    QWidget* focused = w.focusWidget();
    QWidget* target = w.findChild<QWidget*>(name);
    return focused && target && (focused == target || target->isAncestorOf(focused));
}

void chooseIndex(QComboBox* list, int index) {
    list->setCurrentIndex(index);
    emit list->activated(index);
}

}  // namespace

class RuleWindowsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QtDialogs> qtDialogs_;
    std::unique_ptr<RuleDialogs> dialogs_;
    CountingPreview preview_;

    // Shows `form` in its window, runs `act` once it is up and returns the
    // window's result when it has closed.
    template <class Window, class Logic>
    int withWindow(Logic& form, const std::function<void(Window&)>& act) {
        Window window(form);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window)) return -2;
        QTimer::singleShot(0, [&] {
            act(window);
            if (window.isVisible()) window.reject();
        });
        return window.exec();
    }

    // A refused OK, as the user meets it.
    struct Refusal {
        const char* name;
        std::function<void(QWidget&)> setUp;  // on the window, as a user would
        QString text;
        const char* focused;
    };

    template <class Window, class Logic>
    void expectRefusals(Logic& form, std::initializer_list<Refusal> cases) {
        for (const Refusal& c : cases) {
            form.newRule();
            MessageBoxCatcher catcher;
            bool open = false, focused = false;
            withWindow<Window>(form, std::function<void(Window&)>([&](Window& w) {
                c.setUp(w);
                child<QPushButton>(w, "btCancel")->setFocus();
                catcher.arm();
                QTest::mouseClick(child<QPushButton>(w, "btOK"), Qt::LeftButton);
                open = w.isVisible();
                focused = hasFocus(w, c.focused);
            }));
            QCOMPARE(catcher.text, c.text);
            QVERIFY2(open, c.name);
            QVERIFY2(focused, c.name);
        }
    }

private slots:
    void init() {
        qtDialogs_ = std::make_unique<QtDialogs>();
        qtDialogs_->registerWindow("frmInternet", &CountryDialog::showModal);
        dialogs_ = std::make_unique<RuleDialogs>(*qtDialogs_, nullptr);
        dialogs_->setMarkPreview(&preview_);
    }

    void everyRefusedOkKeepsTheDialogOpenWithTheFieldAtFaultFocused() {
        RuleDialogs& d = *dialogs_;
        const auto nothing = [](QWidget&) {};
        expectRefusals<SubjectRuleDialog>(
            d.frmOptionsSubject,
            {{"subject, empty", nothing, TfrmOptionsSubject::kBlankPattern, "edit1"},
             {"subject, spaces", [](QWidget& w) { QTest::keyClicks(child<QComboBox>(w, "edit1"), "   "); },
              TfrmOptionsSubject::kBlankPattern, "edit1"}});
        expectRefusals<SenderRuleDialog>(
            d.frmOptionsFROM, {{"sender, empty", nothing, "The Sender field cannot be left blank.", "edit1"}});
        expectRefusals<HeaderRuleDialog>(
            d.frmHeaders,
            {{"header text", [](QWidget& w) { child<QComboBox>(w, "cbHeader")->lineEdit()->clear(); },
              "The header text cannot be blank", "cbHeader"},
             {"to address", [](QWidget& w) { clickBox(child<QRadioButton>(w, "rbTo")); },
              "The TO field cannot be blank", "edTo"}});
        expectRefusals<ExceptionRuleDialog>(
            d.frmAlwaysAccept,
            {{"address", nothing, "The email line cannot be blank", "edEmail"},
             {"domain", [](QWidget& w) { clickBox(child<QRadioButton>(w, "rbDomain")); },
              "The domain line cannot be blank", "edDomain"},
             {"subject", [](QWidget& w) { clickBox(child<QRadioButton>(w, "rbSubject")); },
              "The subject line cannot be blank", "edSubject"}});
    }

    void subjectDialogShowsItsControlsAndClosesWithTheTypedRule() {
        TfrmOptionsSubject& form = dialogs_->frmOptionsSubject;
        form.newRule();
        QString preview;
        bool previewShown = false, patternHidden = false;
        const int result = withWindow<SubjectRuleDialog>(form, std::function<void(SubjectRuleDialog&)>([&](SubjectRuleDialog& w) {
            QCOMPARE(w.windowTitle(), QString("Subject line options"));
            QCOMPARE(child<QLabel>(w, "lblHeading")->text(), QString("The Subject line characteristics"));
            auto* what = child<QComboBox>(w, "cbWhat");
            QCOMPARE(what->count(), 7);
            QCOMPARE(what->itemText(5), QString("Is blank or empty"));
            auto* pattern = child<QComboBox>(w, "edit1");
            QCOMPARE(pattern->count(), 44);
            QCOMPARE(pattern->currentText(), QString());
            QVERIFY(child<QRadioButton>(w, "rbCheck")->isChecked());
            QCOMPARE(child<QCheckBox>(w, "cbCase")->text(), QString("&Check if case matters (upper/lower)"));
            chooseIndex(what, 5);
            patternHidden = !pattern->isVisible() && !child<QCheckBox>(w, "cbCase")->isVisible();
            chooseIndex(what, 1);
            QTest::keyClicks(pattern, "  cash");
            preview = child<QLabel>(w, "lblPreview")->text();
            previewShown = child<QLabel>(w, "lblPreview")->isVisible();
            clickBox(child<QRadioButton>(w, "rbQuestion"));
            QVERIFY(!child<QRadioButton>(w, "rbCheck")->isChecked());
            QTest::mouseClick(child<QPushButton>(w, "btOK"), Qt::LeftButton);
        }));
        QCOMPARE(result, int(QDialog::Accepted));
        QVERIFY(patternHidden);
        QVERIFY(previewShown);
        QCOMPARE(preview, QString("Would mark 6 of the 12 listed messages"));
        RuleTable table(RuleTableKind::Subject);
        form.writeRow(table, 1);
        QCOMPARE(QString::fromStdString(table.cell(1, 1)), QString("Contains (whole word)"));
        QCOMPARE(QString::fromStdString(table.cell(2, 1)), QString("cash"));
        QCOMPARE(QString::fromStdString(table.cell(4, 1)), QString("No"));
    }

    void thePreviewLineIsHiddenWhileNothingIsListed() {
        preview_.listed = 0;
        dialogs_->frmOptionsSubject.newRule();
        bool shown = true;
        withWindow<SubjectRuleDialog>(dialogs_->frmOptionsSubject, std::function<void(SubjectRuleDialog&)>([&](SubjectRuleDialog& w) {
            QTest::keyClicks(child<QComboBox>(w, "edit1"), "x");
            shown = child<QLabel>(w, "lblPreview")->isVisible();
        }));
        QVERIFY(!shown);
        preview_.listed = 12;
    }

    void senderCountryPickerFillsTheDomainRule() {
        TfrmOptionsFROM& form = dialogs_->frmOptionsFROM;
        form.newRule();
        QString country, pattern, what, op;
        withWindow<SenderRuleDialog>(form, std::function<void(SenderRuleDialog&)>([&](SenderRuleDialog& w) {
            QCOMPARE(child<QComboBox>(w, "cbWhat")->currentText(), QString("Equals (exact match)"));
            QCOMPARE(child<QComboBox>(w, "cbWhat")->maxVisibleItems(), 10);
            QCOMPARE(child<QComboBox>(w, "cbDomain")->currentText(), QString("Domain name"));
            QTimer::singleShot(0, [] {
                auto* picker = dynamic_cast<CountryDialog*>(QApplication::activeModalWidget());
                QVERIFY(picker);
                QCOMPARE(picker->windowTitle(), QString("Internet WWW Country Suffixes"));
                auto* list = child<QTreeWidget>(*picker, "ListBox1");
                QCOMPARE(list->topLevelItemCount(), 243);
                QCOMPARE(list->headerItem()->text(0), QString("Abbreviation"));
                QCOMPARE(list->currentItem(), list->topLevelItem(0));
                QTreeWidgetItem* germany = list->findItems("Germany", Qt::MatchExactly, 1).value(0);
                QVERIFY(germany);
                list->setCurrentItem(germany);
                QTest::mouseClick(child<QPushButton>(*picker, "btOK"), Qt::LeftButton);
            });
            QTest::mouseClick(child<QPushButton>(w, "btCountry"), Qt::LeftButton);
            country = child<QLabel>(w, "lblCountry")->text();
            pattern = child<QComboBox>(w, "edit1")->currentText();
            what = child<QComboBox>(w, "cbDomain")->currentText();
            op = child<QComboBox>(w, "cbWhat")->currentText();
        }));
        QCOMPARE(country, QString("Germany"));
        QCOMPARE(pattern, QString(".DE"));
        QCOMPARE(what, QString("Domain name"));
        QCOMPARE(op, QString("Ends with"));
    }

    void headerDialogShowsTheControlsOfTheChosenForm() {
        TfrmHeaders& form = dialogs_->frmHeaders;
        form.newRule();
        withWindow<HeaderRuleDialog>(form, std::function<void(HeaderRuleDialog&)>([&](HeaderRuleDialog& w) {
            QCOMPARE(child<QComboBox>(w, "cbHeader")->currentText(), QString("X-1"));
            QCOMPARE(child<QComboBox>(w, "cbHeader")->count(), 15);
            struct Case {
                const char* option;
                bool header, to;
            } cases[] = {{"rbTo", false, true}, {"rbReplyTomatch", false, false}, {"rbFromEqualsTo", false, false},
                         {"rbHeader", true, false}};
            for (const Case& c : cases) {
                clickBox(child<QRadioButton>(w, c.option));
                for (const char* name : {"rbHeader", "rbReplyTomatch", "rbTo", "rbFromEqualsTo"})
                    QCOMPARE(child<QRadioButton>(w, name)->isChecked(), QString(name) == c.option);
                QCOMPARE(child<QComboBox>(w, "cbHeader")->isVisible(), c.header);
                QCOMPARE(child<QComboBox>(w, "cbWhat")->isVisible(), c.header);
                QCOMPARE(child<QLineEdit>(w, "edTo")->isVisible(), c.to);
                QCOMPARE(child<QComboBox>(w, "cbMailBox")->isVisible(), c.to);
                QVERIFY(child<QPushButton>(w, "btCountry")->isVisible());
            }
            // A header text of spaces is accepted as it is.
            auto* text = child<QComboBox>(w, "cbHeader");
            text->lineEdit()->selectAll();
            QTest::keyClicks(text, "   ");
            QTest::mouseClick(child<QPushButton>(w, "btOK"), Qt::LeftButton);
            QVERIFY(!w.isVisible());
        }));
        QCOMPARE(form.cbHeader.text, std::string("   "));
    }

    void exceptionDialogShowsTheChosenFieldAndPicksAPicture() {
        TfrmAlwaysAccept& form = dialogs_->frmAlwaysAccept;
        form.newRule();
        withWindow<ExceptionRuleDialog>(form, std::function<void(ExceptionRuleDialog&)>([&](ExceptionRuleDialog& w) {
            QCOMPARE(w.windowTitle(), QString("Accept e-mail from"));
            QVERIFY(child<QToolButton>(w, "imgPicker0")->isChecked());
            struct Case {
                const char* option;
                const char* field;
            } cases[] = {{"rbDomain", "edDomain"}, {"rbSubject", "edSubject"}, {"rbEmail", "edEmail"}};
            for (const Case& c : cases) {
                clickBox(child<QRadioButton>(w, c.option));
                for (const char* field : {"edEmail", "edDomain", "edSubject"})
                    QCOMPARE(child<QLineEdit>(w, field)->isVisible(), QString(field) == c.field);
                QVERIFY(child<QComboBox>(w, "cbLine")->isVisible());
                QVERIFY(hasFocus(w, c.field));
            }
            QTest::mouseClick(child<QToolButton>(w, "imgPicker11"), Qt::LeftButton);
            QVERIFY(!child<QToolButton>(w, "imgPicker0")->isChecked());
            QTest::keyClicks(child<QLineEdit>(w, "edEmail"), "friend@home.example");
            QTest::mouseClick(child<QPushButton>(w, "btOK"), Qt::LeftButton);
        }));
        QCOMPARE(form.imageIndex(), 14);
        RuleTable table(RuleTableKind::Exception);
        form.writeRow(table, 1);
        QCOMPARE(QString::fromStdString(table.cell(6, 1)), QString("14"));
        QCOMPARE(QString::fromStdString(table.cell(2, 1)), QString("friend@home.example"));
    }

    void outsideTextIsShownPlainAndLongPatternsWhole() {
        TfrmOptionsFROM& form = dialogs_->frmOptionsFROM;
        RuleTable table(RuleTableKind::Sender);
        const std::string big(40000, 'q');
        const std::string cells[] = {"", "Domain name", "Contains", big, "Yes", "0"};
        for (int col = 0; col < 6; ++col) table.setCell(col, 1, cells[col]);
        form.fillFromRow(table, 1);
        form.lblCountry.caption = "<b>bold</b>";
        withWindow<SenderRuleDialog>(form, std::function<void(SenderRuleDialog&)>([&](SenderRuleDialog& w) {
            QCOMPARE(child<QComboBox>(w, "edit1")->currentText().size(), qsizetype(40000));
            QCOMPARE(child<QLabel>(w, "lblCountry")->textFormat(), Qt::PlainText);
            QCOMPARE(child<QLabel>(w, "lblCountry")->text(), QString("<b>bold</b>"));
            QTest::mouseClick(child<QPushButton>(w, "btOK"), Qt::LeftButton);
        }));
        // Shown and confirmed untouched, the pattern comes back byte for byte.
        form.writeRow(table, 1);
        QCOMPARE(table.cell(3, 1), big);
    }

    void importDialogRemovesRepeatedLinesOnOk() {
        TfrmImportSpam& form = dialogs_->frmImportSpam;
        form.open("Import spam keywords");
        withWindow<ImportDialog>(form, std::function<void(ImportDialog&)>([&](ImportDialog& w) {
            QCOMPARE(child<QLabel>(w, "lblTitle")->text(), QString("Import spam keywords"));
            QCOMPARE(w.windowTitle(), QString("Import new keywords"));
            QVERIFY(hasFocus(w, "Memo1"));
            child<QPlainTextEdit>(w, "Memo1")->setPlainText("cash\ncash\n  \nCash ");
            QTest::mouseClick(child<QPushButton>(w, "btOK"), Qt::LeftButton);
        }));
        QCOMPARE(form.modalResult, ModalResult::Ok);
        QCOMPARE(form.lines(), (std::vector<std::string>{"cash", "  ", "Cash "}));
    }

    // Each dialog as a picture; with QUORVEL_SCREENSHOTS set they are saved there.
    void grabsEveryDialog() {
        const QString target = qEnvironmentVariable("QUORVEL_SCREENSHOTS");
        const auto save = [&](QWidget& w, const char* name) {
            QTest::qWait(20);
            const QImage image = w.grab().toImage();
            QVERIFY(!image.isNull());
            if (!target.isEmpty()) {
                QDir().mkpath(target);
                QVERIFY(image.save(target + "/" + name + ".png"));
            }
        };
        RuleDialogs& d = *dialogs_;
        preview_.listed = 41;
        d.frmOptionsSubject.newRule();
        d.frmOptionsSubject.edit1Change("lottery");
        withWindow<SubjectRuleDialog>(d.frmOptionsSubject, std::function<void(SubjectRuleDialog&)>([&](SubjectRuleDialog& w) { save(w, "rule-subject"); }));
        d.frmOptionsFROM.newRule();
        d.frmOptionsFROM.edit1Change("bulkemail.example");
        withWindow<SenderRuleDialog>(d.frmOptionsFROM, std::function<void(SenderRuleDialog&)>([&](SenderRuleDialog& w) { save(w, "rule-sender"); }));
        d.frmHeaders.newRule();
        d.frmHeaders.cbHeaderChange("X-Mailer: Floodgate");
        withWindow<HeaderRuleDialog>(d.frmHeaders, std::function<void(HeaderRuleDialog&)>([&](HeaderRuleDialog& w) { save(w, "rule-header"); }));
        d.frmAlwaysAccept.newRule();
        d.frmAlwaysAccept.edEmailChange("friend@home.example");
        withWindow<ExceptionRuleDialog>(d.frmAlwaysAccept, std::function<void(ExceptionRuleDialog&)>([&](ExceptionRuleDialog& w) { save(w, "rule-exception"); }));
        d.frmInternet.FormShow();
        d.frmInternet.ListBox1.itemIndex = 81;
        withWindow<CountryDialog>(d.frmInternet, std::function<void(CountryDialog&)>([&](CountryDialog& w) { save(w, "rule-country"); }));
        d.frmImportSpam.open("Import spam keywords");
        d.frmImportSpam.Memo1.text = "lottery\nmake money fast\nwork at home\n";
        withWindow<ImportDialog>(d.frmImportSpam, std::function<void(ImportDialog&)>([&](ImportDialog& w) { save(w, "rule-import"); }));
        preview_.listed = 12;
    }
};

int main(int argc, char** argv) {
    QuorvelApplication app(argc, argv);
    RuleWindowsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "rule_windows_test.moc"
