#include "ui/help_viewer.h"

#include <QApplication>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QScreen>
#include <QTextBrowser>

namespace quorvel::ui {

namespace {

// Esc closes the help, as it closes the program's other windows.
class HelpBrowser : public QTextBrowser {
protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
            close();
            return;
        }
        QTextBrowser::keyPressEvent(event);
    }
};

QPointer<QTextBrowser> viewer;

// Keeps the whole window, its frame included, on the screen it is on, clear
// of panels and docks.
void fitOnScreen(QWidget& window) {
    const QRect frame = window.frameGeometry();
    QScreen* screen = QGuiApplication::screenAt(frame.center());
    if (!screen) screen = window.screen();
    if (!screen) return;
    const QRect fitted = HelpViewer::fitWithin(frame, screen->availableGeometry());
    if (fitted == frame) return;
    const QRect inner = window.geometry();
    const QMargins margins(inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
                           frame.bottom() - inner.bottom());
    window.setGeometry(fitted.marginsRemoved(margins));
}

}  // namespace

QRect HelpViewer::fitWithin(const QRect& frame, const QRect& available) {
    QRect fitted(frame.topLeft(), frame.size().boundedTo(available.size()));
    if (fitted.right() > available.right()) fitted.moveRight(available.right());
    if (fitted.bottom() > available.bottom()) fitted.moveBottom(available.bottom());
    if (fitted.left() < available.left()) fitted.moveLeft(available.left());
    if (fitted.top() < available.top()) fitted.moveTop(available.top());
    return fitted;
}

QWidget* HelpViewer::window() {
    return viewer.data();
}

bool HelpViewer::show(const QString& helpFile, int topic) {
    QFile file(helpFile);
    if (!file.open(QIODevice::ReadOnly)) return false;
    if (!viewer) {
        viewer = new HelpBrowser;
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
    fitOnScreen(*viewer);
    viewer->raise();
    viewer->activateWindow();
    return true;
}

}  // namespace quorvel::ui
