#pragma once

#include <QAbstractTableModel>
#include <QChartView>
#include <QDialog>
#include <array>
#include <functional>
#include <memory>

#include "log/frm_chart.h"
#include "log/frm_chart_main.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QFrame;
class QLabel;
class QLineEdit;
class QPainter;
class QPrinter;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QRubberBand;
class QSpinBox;
class QTabWidget;
class QTableView;
class QToolButton;

namespace quorvel::ui {

// "Activity Log Statistics for Quorvel": the log to read, its progress.
class ChartLauncherWindow : public QDialog {
    Q_OBJECT
public:
    ChartLauncherWindow(TfrmChartMain& form, QWidget* parent);
    ~ChartLauncherWindow() override;
    static int showModal(Form& form);
    void sync();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    TfrmChartMain& form_;
    QLabel *title_, *open_;
    QLineEdit* path_;
    QToolButton* browse_;
    QProgressBar* progress_;
    QPushButton *ok_, *cancel_;
};

// "Select Date Range".
class DateRangeDialog : public QDialog {
    Q_OBJECT
public:
    DateRangeDialog(TfrmSelectDateRange& form, QWidget* parent);
    ~DateRangeDialog() override;
    static int showModal(Form& form);
    void sync();

private:
    TfrmSelectDateRange& form_;
    QRadioButton *between_, *months_, *days_;
    QDateEdit *start_, *end_;
    QSpinBox *monthCount_, *dayCount_;
    bool syncing_ = false;
};

// One of the two grids, over the chart window's rows.
class ChartGridModel : public QAbstractTableModel {
public:
    ChartGridModel(const TfrmChart& form, TfrmChart::Page grid, QObject* parent);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void reload();

private:
    const TfrmChart& form_;
    TfrmChart::Page grid_;
};

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

// "Chart of Activity": six charts and two grids over the log's entries.
class ChartWindow : public QDialog, public ChartOutput {
    Q_OBJECT
public:
    ChartWindow(TfrmChart& form, QWidget* parent);
    ~ChartWindow() override;
    static int showModal(Form& form);

    void sync();
    QTabWidget* pages() const { return pages_; }
    QChartView* chartView(int page) const;
    QTableView* grid(int page) const;

    // Printing: the grid through the system's print dialog (replaceable, so
    // a test can print to a file), the chart through a print preview.
    std::function<bool(QPrinter&)> choosePrinter;
    void printGrid(int page, const std::string& title) override;
    void previewChart(int page) override;
    bool savePicture(int page, const std::string& path) override;
    // Paints onto a printer that is ready: the grid's pages, or the chart
    // fitted to one page.
    void paintGrid(QPrinter& printer, int page, const QString& title);
    void paintChart(QPrinter& printer, int page);

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* chartPage(int page, QChartView* view, std::array<Control*, 3> boxes);
    void buildCharts();
    void plot();
    void placeHints();
    void updateDateTicks();

    struct Plots;  // the series and axes of the six charts
    TfrmChart& form_;
    std::unique_ptr<Plots> plots_;
    QLabel* title_;
    QTabWidget* pages_;
    std::array<QChartView*, 6> views_{};
    std::array<QTableView*, 2> grids_{};
    std::array<ChartGridModel*, 2> models_{};
    std::vector<std::pair<QCheckBox*, Control*>> boxes_;
    QComboBox* mailbox_;
    QPushButton *redraw_, *range_, *hints_, *print_, *save_, *close_;
    QFrame* hintsPanel_;
    std::vector<std::pair<QLabel*, Control*>> hintLabels_;
    int drawn_ = -1;
    bool syncing_ = false;
    bool relabeling_ = false;
};

}  // namespace quorvel::ui
