// Text from outside (a server's reply line, a stranger's subject, a message
// body) reaches the windows as characters: markup in it is drawn as the
// characters it is made of, never as a link, a picture or big red text.
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

#include "app/frm_retrieving.h"
#include "ui/application.h"
#include "ui/text.h"
#include "ui/view_windows.h"

using namespace quorvel;
using namespace quorvel::ui;

namespace {

const QString kMarkup = "<a href='https://example.test/'>Your password has expired - click here</a>"
                        "<font size=7 color=red>WIN</font><img src='/etc/hosts'>";

// Answers the next modal message box and keeps what it showed.
struct MessageBoxCatcher {
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    bool caught = false;
    void arm() {
        QTimer::singleShot(50, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                text = box->text();
                format = box->textFormat();
                caught = true;
                box->accept();
            }
        });
    }
};

class Thrower : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) throw std::runtime_error(("-ERR " + kMarkup).toStdString());
        return QObject::event(e);
    }
};

// Every label on screen that holds `text`, by object name; each must draw it
// as plain text.
QStringList labelsShowing(const QString& text) {
    QStringList names;
    for (QWidget* widget : QApplication::allWidgets()) {
        auto* label = qobject_cast<QLabel*>(widget);
        if (!label || !label->text().contains(text)) continue;
        names << label->objectName();
        if (label->textFormat() != Qt::PlainText) qWarning() << "drawn as markup:" << label->objectName();
        if (label->textFormat() != Qt::PlainText) names << "MARKUP";
    }
    names.sort();
    return names;
}

}  // namespace

class PlainTextTest : public QObject {
    Q_OBJECT

    QTemporaryDir folder;

private slots:
    void theMarkupIsMarkup() {
        // Left to guess, the toolkit would take it for rich text.
        QVERIFY(Qt::mightBeRichText(kMarkup));
    }

    void statusBarAndProgressDialogShowOutsideTextLiterally() {
        QVERIFY(folder.isValid());
        const std::string path = folder.path().toStdString();
        Desktop desktop(Desktop::Folders{path, path + "/settings"});
        desktop.start();
        QTest::qWait(50);

        const std::string bytes = kMarkup.toStdString();
        TfrmMain& main = *desktop.program.frmMain();
        main.statusPanels[1] = "Deleting message 1: " + bytes;  // a spammer's subject during a deletion
        main.changed();
        TfrmRetrieving& progress = *desktop.program.frmRetrieving();
        progress.lblMsg.caption = bytes;
        progress.lblServer.caption = bytes;
        progress.lblMailbox.caption = bytes;
        progress.lblTitle.caption = bytes;
        progress.visible = true;
        progress.changed();
        QTest::qWait(20);

        QCOMPARE(desktop.mainWindow->findChild<QLabel*>("StatusPanel1")->text(), "Deleting message 1: " + kMarkup);
        QCOMPARE(desktop.retrievingWindow->findChild<QLabel*>("lblMsg")->text(), kMarkup);
        // Four in the progress dialog and the status line, each drawn as plain text.
        const QStringList shown = labelsShowing(kMarkup);
        QVERIFY2(!shown.contains("MARKUP"), qPrintable(shown.join(", ")));
        QCOMPARE(shown.size(), 5);
        progress.visible = false;
        progress.changed();
    }

    void errorBoxesShowTheServersLineLiterally() {
        MessageBoxCatcher catcher;
        QtDialogs dialogs;
        catcher.arm();
        dialogs.messageBox(MessageKind::Error, ("-ERR " + kMarkup).toStdString(), MessageButtons::Ok);
        QVERIFY(catcher.caught);
        QCOMPARE(catcher.text, "-ERR " + kMarkup);
        QCOMPARE(catcher.format, Qt::PlainText);

        // The report of an error that no handler caught.
        MessageBoxCatcher report;
        Thrower thrower;
        report.arm();
        QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
        QTRY_VERIFY(report.caught);
        QCOMPARE(report.text, "-ERR " + kMarkup);
        QCOMPARE(report.format, Qt::PlainText);
    }

    void memosShowTheBodyAndHeadersLiterally() {
        for (const auto mode : {TfrmViewHeader::Mode::Body, TfrmViewHeader::Mode::Headers}) {
            TfrmViewHeader form(mode);
            form.addLine(("Subject: " + kMarkup).toStdString());
            ViewHeaderWindow window(form, nullptr);
            QCOMPARE(window.text(), "Subject: " + kMarkup + "\n");
        }
    }
};

int main(int argc, char** argv) {
    QuorvelApplication app(argc, argv);
    PlainTextTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "plain_text_test.moc"
