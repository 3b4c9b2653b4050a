#include "ui/chart_common.h"

#include <QApplication>
#include <cmath>

namespace quorvel::ui {

QDate toQDate(TDateTime value) {
    return QDate(1899, 12, 30).addDays(static_cast<qint64>(std::floor(value)));
}

TDateTime fromQDate(const QDate& date) {
    return static_cast<TDateTime>(QDate(1899, 12, 30).daysTo(date));
}

void showWaitCursor(bool wait) {
    if (wait)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

QWidget* visibleActiveWindow() {
    QWidget* active = QApplication::activeWindow();
    return active && active->isVisible() ? active : nullptr;
}

QPointer<QWidget>& launcherParent() {
    static QPointer<QWidget> parent;
    return parent;
}

}  // namespace quorvel::ui
