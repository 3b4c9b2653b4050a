#include "ui/help_viewer.h"

#include <QFile>
#include <QPointer>
#include <QTextBrowser>

namespace quorvel::ui {

bool HelpViewer::show(const QString& helpFile, int topic) {
    static QPointer<QTextBrowser> viewer;
    QFile file(helpFile);
    if (!file.open(QIODevice::ReadOnly)) return false;
    if (!viewer) {
        viewer = new QTextBrowser;
        viewer->setAttribute(Qt::WA_DeleteOnClose);
        viewer->setWindowTitle("Quorvel Help");
        viewer->resize(640, 520);
        viewer->setOpenExternalLinks(true);
    }
    viewer->setHtml(QString::fromUtf8(file.readAll()));
    viewer->scrollToAnchor(QString::number(topic));
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
    return true;
}

}  // namespace quorvel::ui
