#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include "ui/application.h"
#include "ui/text.h"
#include "ui/view_windows.h"

using namespace quorvel;
using namespace quorvel::ui;

class ViewWindowsTest : public QObject {
    Q_OBJECT

private slots:
    void bodyReadsInItsDeclaredCharacterSet_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("charSet");
        QTest::addColumn<QString>("shown");
        QTest::newRow("UTF-8") << QByteArray("Gr\xc3\xbc\xc3\x9f Gott") << QByteArray("utf-8")
                               << QString::fromUtf8("Grüß Gott");
        QTest::newRow("ISO-8859-1") << QByteArray("Caf\xe9 cr\xe8me") << QByteArray("ISO-8859-1")
                                    << QString::fromUtf8("Café crème");
        QTest::newRow("ISO-8859-2") << QByteArray("Za\xbf\xf3\xb3\xe6") << QByteArray("iso-8859-2")
                                    << QString::fromUtf8("Zażółć");
        // Latin-1 bytes that happen to be valid UTF-8 still read as declared.
        QTest::newRow("ISO-8859-1 like UTF-8") << QByteArray("\xc3\xa9t\xc3\xa9") << QByteArray("iso-8859-1")
                                               << QString::fromUtf8("Ã©tÃ©");
        QTest::newRow("Windows-1252 quotes") << QByteArray("\x93quoted\x94") << QByteArray("windows-1252")
                                             << QString::fromUtf8("“quoted”");
        // A false declaration falls back to the program's usual reading.
        QTest::newRow("not UTF-8 after all") << QByteArray("Caf\xe9") << QByteArray("UTF-8")
                                             << QString::fromUtf8("Café");
        QTest::newRow("unknown set") << QByteArray("Gr\xc3\xbc\xc3\x9f") << QByteArray("x-no-such-set")
                                     << QString::fromUtf8("Grüß");
        QTest::newRow("16-bit set") << QByteArray("plain text") << QByteArray("UTF-16")
                                    << QString("plain text");
        QTest::newRow("none declared") << QByteArray("Caf\xe9") << QByteArray() << QString::fromUtf8("Café");
    }

    void bodyReadsInItsDeclaredCharacterSet() {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, charSet);
        QFETCH(QString, shown);
        TfrmViewHeader form(TfrmViewHeader::Mode::Body);
        form.charSet = charSet.toStdString();
        form.addLine(bytes.toStdString());
        form.addLine("second line");
        ViewHeaderWindow window(form, nullptr);
        QCOMPARE(window.text(), shown + "\nsecond line\n");
        QCOMPARE(window.title(), QString("Contents of e-mail"));
        QCOMPARE(window.windowTitle(), QString("View Selected Headers"));
    }

    void headersKeepTheUsualReadingAndOkCloses() {
        TfrmViewHeader form(TfrmViewHeader::Mode::Headers);
        form.addLine("Subject: Caf\xe9");
        ViewHeaderWindow window(form, nullptr);
        window.show();
        QCOMPARE(window.text(), QString::fromUtf8("Subject: Café\n"));
        QCOMPARE(window.title(), QString("Contents of selected e-mail headers"));
        auto* ok = window.findChild<QPushButton*>("btOK");
        QVERIFY(ok && ok->isDefault());
        QTest::mouseClick(ok, Qt::LeftButton);
        QCOMPARE(form.modalResult, ModalResult::Ok);
        QVERIFY(!window.isVisible());
    }

    void markForDeletionDialogShowsTheMessagesAndAddsTheRules() {
        QTemporaryDir folder;
        const std::string path = folder.path().toStdString();
        Desktop desktop(Desktop::Folders{path, path + "/settings"});
        TfrmOptionsMain options(desktop.platform);
        TfrmMarkForDeletion form(options);
        form.setMessage(1, "Cheap pills", "pills@spam.example");
        form.FormShow();
        MarkForDeletionDialog dialog(form, nullptr);
        dialog.show();
        auto* grid = dialog.findChild<QTableWidget*>("StringGrid1");
        QVERIFY(grid);
        QCOMPARE(grid->horizontalHeaderItem(0)->text(), QString("Subject"));
        QCOMPARE(grid->item(0, 1)->text(), QString("pills@spam.example"));
        QCOMPARE(grid->rowCount(), 249);
        auto* from = dialog.findChild<QCheckBox*>("cbFrom");
        QVERIFY(from && from->isChecked());
        from->click();
        QTest::mouseClick(dialog.findChild<QPushButton*>("btOK"), Qt::LeftButton);
        QCOMPARE(form.modalResult, ModalResult::Ok);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(QString::fromStdString(options.rules.gridSubject.cell(2, 1)), QString("Cheap pills"));
        QCOMPARE(QString::fromStdString(options.rules.gridFrom.cell(3, 1)), QString());
    }
};

int main(int argc, char** argv) {
    QuorvelApplication app(argc, argv);
    ViewWindowsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "view_windows_test.moc"
