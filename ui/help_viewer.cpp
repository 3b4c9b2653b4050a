#include "ui/help_viewer.h"

#include <QApplication>
#include <QFile>
#include <QPointer>
#include <QTextBrowser>

namespace quorvel::ui {

namespace {

QPointer<QTextBrowser> viewer;

}  // namespace

QWidget* HelpViewer::window() {
    return viewer.data();
}

bool HelpViewer::show(const QString& helpFile, int topic) {
    QFile file(helpFile);
    if (!file.open(QIODevice::ReadOnly)) return false;
    if (!viewer) {
        viewer = new QTextBrowser;
        viewer->setAttribute(Qt::WA_DeleteOnClose);
        viewer->setWindowTitle("Quorvel Help");
        viewer->resize(640, 520);
        viewer->setOpenExternalLinks(true);
    }
    // Asked from a modal window, the help belongs to it: it then shows above
    // that window and takes input, which a window of its own could not.
    QWidget* owner = QApplication::activeModalWidget();
    if (owner == viewer) owner = nullptr;
    if (viewer->parentWidget() != owner) {
        const bool shown = viewer->isVisible();
        const QRect geometry = viewer->geometry();
        // A window kept on top (the general settings) keeps its help on top too.
        viewer->setParent(owner, owner ? Qt::Window | (owner->windowFlags() & Qt::WindowStaysOnTopHint) : Qt::Window);
        if (shown) viewer->setGeometry(geometry);  // stays where the user had it
    }
    viewer->setHtml(QString::fromUtf8(file.readAll()));
    viewer->scrollToAnchor(QString::number(topic));
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
    return true;
}

}  // namespace quorvel::ui
