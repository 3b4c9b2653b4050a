#pragma once

#include <QAbstractTableModel>
#include <QChartView>
#include <QDialog>
#include <array>
#include <functional>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "log/frm_chart.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QPrinter;
class QPushButton;
class QTabWidget;
class QTableView;

namespace quorvel::ui {

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

// "Chart of Activity": six charts and two grids over the log's entries.
class ChartWindow : public QDialog, public ChartOutput {
    Q_OBJECT
public:
    ChartWindow(TfrmChart& form, QWidget* parent);
    ~ChartWindow() override;
    static int showModal(Form& form);

    void sync();
    QTabWidget* pages() const { return pages_; }
    // The page's chart or grid; nullptr until the page was first shown,
    // printed or saved.
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
    // Builds the page when it is first asked for and fills it with the
    // latest count when it is behind.
    void preparePage(int page);
    // Runs `output` with the page prepared and in view.
    void withPageInView(int page, const std::function<void()>& output);
    void paintChartInView(QPrinter& printer, int page);
    bool savePictureInView(int page, const std::string& path);
    void buildPage(int page);
    void plotPage(int page);
    void placeChart(int page, QChartView* view, std::array<Control*, 3> boxes);
    void showChecks();
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
    // Per page: built yet, and the count it shows (a value of drawn_).
    std::array<bool, TfrmChart::kPages.size()> built_{};
    static constexpr int kNeverPlotted = std::numeric_limits<int>::min();
    std::array<int, TfrmChart::kPages.size()> plotted_;
    bool syncing_ = false;
    bool relabeling_ = false;
};

}  // namespace quorvel::ui
