#pragma once

#include <QChartView>

class QRubberBand;

namespace quorvel::ui {

// A line chart the mouse zooms and moves: a left drag down and to the right
// zooms to the dragged rectangle, a left drag up and to the left resets, a
// right drag moves the chart.
class ZoomChartView : public QChartView {
public:
    explicit ZoomChartView(QChart* chart, QWidget* parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QRubberBand* band_ = nullptr;
    QPoint origin_, last_;
    bool zooming_ = false, moving_ = false;
};

}  // namespace quorvel::ui
