#include "ui/zoom_chart_view.h"

#include <QMouseEvent>
#include <QRubberBand>

namespace quorvel::ui {

ZoomChartView::ZoomChartView(QChart* chart, QWidget* parent) : QChartView(chart, parent) {
    setRenderHint(QPainter::Antialiasing);
}

void ZoomChartView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        zooming_ = true;
        origin_ = event->position().toPoint();
        if (!band_) band_ = new QRubberBand(QRubberBand::Rectangle, viewport());
        band_->setGeometry(QRect(origin_, QSize()));
        band_->show();
    } else if (event->button() == Qt::RightButton) {
        moving_ = true;
        last_ = event->position().toPoint();
        setCursor(Qt::ClosedHandCursor);
    }
    event->accept();
}

void ZoomChartView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (zooming_ && band_) band_->setGeometry(QRect(origin_, at).normalized());
    if (moving_) {
        const QPoint delta = at - last_;
        chart()->scroll(-delta.x(), delta.y());
        last_ = at;
    }
    event->accept();
}

void ZoomChartView::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (event->button() == Qt::LeftButton && zooming_) {
        zooming_ = false;
        if (band_) band_->hide();
        if (at.x() > origin_.x() + 2 && at.y() > origin_.y() + 2) {
            const QRectF area(chart()->mapFromScene(mapToScene(origin_)), chart()->mapFromScene(mapToScene(at)));
            const QRectF zoom = area.normalized().intersected(chart()->plotArea());
            if (zoom.width() > 1 && zoom.height() > 1) chart()->zoomIn(zoom);
        } else if (at.x() < origin_.x() && at.y() < origin_.y()) {
            chart()->zoomReset();
        }
    } else if (event->button() == Qt::RightButton && moving_) {
        moving_ = false;
        unsetCursor();
    }
    event->accept();
}

}  // namespace quorvel::ui
