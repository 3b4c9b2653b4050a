#include "ui/splash_window.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include "ui/pictures.h"

namespace quorvel::ui {

SplashWindow::SplashWindow(TfrmSplash& form)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), form_(&form) {
    setObjectName("frmSplash");
    setAttribute(Qt::WA_DeleteOnClose);
    resize(360, 200);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    form_->setChangedHandler([this] { sync(); });
    sync();
}

SplashWindow::~SplashWindow() {
    if (form_) form_->setChangedHandler(nullptr);
}

void SplashWindow::sync() {
    // Copy what painting needs: the form may be gone by the next paint.
    secondPanel_ = form_->pnl2.visible;
    if (!form_->visible) {
        form_->setChangedHandler(nullptr);
        form_ = nullptr;
        close();
        return;
    }
    setVisible(true);
    repaint();
}

void SplashWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QLinearGradient sky(0, 0, 0, height());
    sky.setColorAt(0, QColor(40, 70, 140));
    sky.setColorAt(1, QColor(15, 25, 60));
    p.fillRect(rect(), sky);
    p.drawPixmap(24, 36, picture("imHammer", 128));
    p.setPen(Qt::white);
    QFont title = font();
    title.setPixelSize(40);
    title.setBold(true);
    p.setFont(title);
    p.drawText(QRect(160, 50, 190, 50), Qt::AlignLeft | Qt::AlignVCenter, "Quorvel");
    QFont line = font();
    line.setPixelSize(13);
    p.setFont(line);
    p.drawText(QRect(160, 100, 190, 40), Qt::AlignLeft | Qt::TextWordWrap,
               secondPanel_ ? "Ready." : "Loading your rules and mailboxes...");
}

}  // namespace quorvel::ui
