#include "ui/chart_window.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTimeAxis>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHorizontalBarSeries>
#include <QLabel>
#include <QLineSeries>
#include <QPainter>
#include <QPieSeries>
#include <QPieSlice>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSvgGenerator>
#include <QTabWidget>
#include <QTableView>
#include <QValueAxis>
#include <QVBoxLayout>
#include <cmath>
#include <unordered_map>

#include "ui/chart_common.h"
#include "ui/pictures.h"
#include "ui/text.h"
#include "ui/zoom_chart_view.h"

namespace quorvel::ui {

namespace {

// Qt Charts draws axis labels, legends and slice labels as rich text: a
// sender's "<img src=...>" would open a local file. Text built from data
// goes there escaped, so it is drawn as the characters it holds.
QString chartText(const std::string& bytes) {
    return fromBytes(bytes).toHtmlEscaped();
}

const QColor kLime(0, 255, 0);
const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);
const QColor kGreen(0, 128, 0);

qint64 toMSecs(TDateTime day) {
    return QDateTime(toQDate(day), QTime(0, 0)).toMSecsSinceEpoch();
}

QValueAxis* frequencyAxis() {
    auto* axis = new QValueAxis;
    axis->setTitleText("Frequency");
    axis->setLabelFormat("%d");
    return axis;
}

// The value axis from 0 to a round number above the largest value.
void fitValues(QValueAxis* axis, double largest) {
    // Small counts get a tick per whole number, so no label repeats.
    if (largest <= 10) {
        const double top = std::max(1.0, std::ceil(largest));
        axis->setRange(0, top);
        axis->setTickCount(static_cast<int>(top) + 1);
        return;
    }
    axis->setTickCount(5);
    axis->setRange(0, largest);
    axis->applyNiceNumbers();
    axis->setMin(0);
}

template <std::size_t N>
QList<qreal> values(const std::array<std::int64_t, N>& counts) {
    QList<qreal> list;
    list.reserve(static_cast<qsizetype>(N));
    for (const std::int64_t c : counts) list.append(static_cast<qreal>(c));
    return list;
}

void replaceValues(QBarSet* set, const QList<qreal>& list) {
    set->remove(0, set->count());
    set->append(list);
}

}  // namespace

ChartGridModel::ChartGridModel(const TfrmChart& form, TfrmChart::Page grid, QObject* parent)
    : QAbstractTableModel(parent), form_(form), grid_(grid) {}

int ChartGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : form_.gridRowCount(grid_);
}

int ChartGridModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return grid_ == TfrmChart::EmailTraffic ? static_cast<int>(TfrmChart::kCheckColumns.size())
                                            : static_cast<int>(TfrmChart::kDeletionColumns.size());
}

QVariant ChartGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    if (role == Qt::DisplayRole) return fromBytes(form_.gridCell(grid_, index.row(), index.column()));
    // "# Mail" and "Size" are numbers.
    if (role == Qt::TextAlignmentRole)
        return index.column() == 4 ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

QVariant ChartGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section + 1;
    if (grid_ == TfrmChart::EmailTraffic)
        return section < static_cast<int>(TfrmChart::kCheckColumns.size())
                   ? QVariant(TfrmChart::kCheckColumns[static_cast<std::size_t>(section)])
                   : QVariant();
    return section < static_cast<int>(TfrmChart::kDeletionColumns.size())
               ? QVariant(TfrmChart::kDeletionColumns[static_cast<std::size_t>(section)])
               : QVariant();
}

void ChartGridModel::reload() {
    beginResetModel();
    endResetModel();
}

struct ChartWindow::Plots {
    // Day of week.
    QBarSet *weekFound, *weekDeleted, *weekChecked;
    QBarCategoryAxis* weekDays;
    QValueAxis* weekValues;
    // Hour of day and day by day: found, deleted, checked.
    std::array<QLineSeries*, 3> hour, day;
    QValueAxis *hourValues, *dayValues;
    QCategoryAxis* hourSlots;
    QDateTimeAxis* dayDates;
    QPieSeries* pie;
    // Top ten domains, top ten senders.
    std::array<QBarSet*, 2> top;
    std::array<QBarCategoryAxis*, 2> topNames;
    std::array<QValueAxis*, 2> topValues;
};

ChartWindow::ChartWindow(TfrmChart& form, QWidget* parent)
    : QDialog(parent), form_(form), plots_(std::make_unique<Plots>()) {
    setObjectName(QString::fromStdString(form.name()));
    setWindowIcon(programIcon());
    setWindowTitle(fromBytes(form.caption));
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);

    title_ = plainLabel(this);
    title_->setObjectName("lblTitle");
    QFont bold = title_->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.2);
    title_->setFont(bold);
    title_->setAlignment(Qt::AlignCenter);

    // Each page's chart or grid is built and filled when the page is first
    // shown, printed or saved: opening draws the first page only.
    pages_ = new QTabWidget(this);
    pages_->setObjectName("PageControl1");
    for (const char* name : TfrmChart::kPages) {
        auto* page = new QWidget;
        auto* pageLayout = new QVBoxLayout(page);
        pageLayout->setContentsMargins(0, 0, 0, 0);
        pages_->addTab(page, name);
    }
    plotted_.fill(kNeverPlotted);
    connect(pages_, &QTabWidget::currentChanged, this, [this](int index) {
        preparePage(index);
        if (!syncing_) form_.pageChanged(index);
    });

    auto* select = plainLabel(this);
    select->setTextFormat(Qt::PlainText);
    select->setText(QString::fromStdString(form.lblSelect.caption).remove('&'));
    mailbox_ = new QComboBox(this);
    mailbox_->setObjectName("cbMailbox");
    mailbox_->setMinimumContentsLength(16);
    mailbox_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    select->setBuddy(mailbox_);
    mailbox_->setAccessibleName(select->text().remove(':').trimmed());
    connect(mailbox_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!syncing_) form_.cbMailboxChange(index);
    });
    const auto button = [this](const Control& c, const char* name, void (TfrmChart::*handler)()) {
        auto* b = new QPushButton(fromBytes(c.caption), this);
        b->setObjectName(name);
        b->setToolTip(fromBytes(c.hint));
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, [this, handler] { (form_.*handler)(); });
        return b;
    };
    redraw_ = button(form.btRedraw, "btRedraw", &TfrmChart::btRedrawClick);
    range_ = button(form.btDateRange, "btDateRange", &TfrmChart::btDateRangeClick);
    hints_ = button(form.btHints, "btHints", &TfrmChart::btHintsClick);
    print_ = button(form.btPrint, "btPrint", &TfrmChart::btPrintClick);
    save_ = button(form.btSavePicture, "btSavePicture", &TfrmChart::btSavePictureClick);
    close_ = button(form.btClose, "btClose", &TfrmChart::btCloseClick);

    auto* bar = new QHBoxLayout;
    // "&Select :" keeps its accelerator through the buddy.
    select->setText(fromBytes(form.lblSelect.caption));
    select->setTextFormat(Qt::AutoText);
    bar->addWidget(select);
    bar->addWidget(mailbox_);
    bar->addWidget(redraw_);
    bar->addWidget(range_);
    bar->addStretch();
    for (QPushButton* b : {hints_, print_, save_, close_}) bar->addWidget(b);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title_);
    layout->addWidget(pages_, 1);
    layout->addLayout(bar);

    // The hints panel floats over the middle of the window.
    hintsPanel_ = new QFrame(this);
    hintsPanel_->setObjectName("pnlHints");
    hintsPanel_->setFrameShape(QFrame::Panel);
    hintsPanel_->setFrameShadow(QFrame::Raised);
    hintsPanel_->setLineWidth(2);
    hintsPanel_->setAutoFillBackground(true);
    auto* hintsLayout = new QVBoxLayout(hintsPanel_);
    for (Control* c : {&form_.lblHintsTitle, &form_.lblHintZoom, &form_.lblHintMove, &form_.lblHintReset}) {
        auto* label = plainLabel(hintsPanel_, fromBytes(c->caption));
        if (c == &form_.lblHintsTitle) {
            label->setFont(bold);
            label->setAlignment(Qt::AlignCenter);
        }
        hintLabels_.emplace_back(label, c);
        hintsLayout->addWidget(label);
    }
    auto* hintsOk = new QPushButton(fromBytes(form.btHintsOK.caption), hintsPanel_);
    hintsOk->setObjectName("btHintsOK");
    connect(hintsOk, &QPushButton::clicked, this, [this] { form_.btHintsOKClick(); });
    auto* okRow = new QHBoxLayout;
    okRow->addStretch();
    okRow->addWidget(hintsOk);
    okRow->addStretch();
    hintsLayout->addLayout(okRow);
    hintsPanel_->hide();

    choosePrinter = [this](QPrinter& printer) {
        QPrintDialog dialog(&printer, this);
        return dialog.exec() == QDialog::Accepted;
    };
    resize(900, 620);
    form_.setOutput(this);
    form_.setChangedHandler([this] { sync(); });
    form_.visible = true;
    form_.FormShow();
    sync();
}

ChartWindow::~ChartWindow() {
    form_.setChangedHandler(nullptr);
    form_.setOutput(nullptr);
}

int ChartWindow::showModal(Form& form) {
    ChartWindow window(static_cast<TfrmChart&>(form), launcherParent() ? launcherParent().data() : visibleActiveWindow());
    return window.exec();
}

void ChartWindow::placeChart(int page, QChartView* view, std::array<Control*, 3> boxes) {
    QWidget* widget = pages_->widget(page);
    auto* layout = static_cast<QVBoxLayout*>(widget->layout());
    layout->addWidget(view, 1);
    view->setObjectName(QString("chart%1").arg(page));
    if (boxes[0]) {
        auto* row = new QHBoxLayout;
        row->addStretch();
        static constexpr const char* kNames[] = {"cbFound", "cbDeleted", "cbChecked"};
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            Control* control = boxes[i];
            auto* box = new QCheckBox(fromBytes(control->caption), widget);
            box->setObjectName(QString("%1%2").arg(kNames[i]).arg(page));
            connect(box, &QCheckBox::clicked, this, [this, control](bool on) {
                control->checked = on;
                form_.changed();
            });
            boxes_.emplace_back(box, control);
            row->addWidget(box);
        }
        row->addStretch();
        layout->addLayout(row);
    }
}

QChartView* ChartWindow::chartView(int page) const {
    return page >= 0 && page < static_cast<int>(views_.size()) ? views_[static_cast<std::size_t>(page)] : nullptr;
}

QTableView* ChartWindow::grid(int page) const {
    if (page == TfrmChart::EmailTraffic) return grids_[0];
    if (page == TfrmChart::SpamDeleted) return grids_[1];
    return nullptr;
}

void ChartWindow::buildPage(int page) {
    Plots& p = *plots_;
    const auto newChart = [](const char* title) {
        auto* chart = new QChart;
        chart->setTitle(title);
        chart->legend()->setAlignment(Qt::AlignBottom);
        chart->setAnimationOptions(QChart::NoAnimation);
        return chart;
    };
    const auto newView = [this](QChart* chart, bool zooms) -> QChartView* {
        QChartView* view = zooms ? new ZoomChartView(chart, this) : new QChartView(chart, this);
        view->setRenderHint(QPainter::Antialiasing);
        return view;
    };

    // Hour of day and day by day.
    const auto lines = [](QChart* chart, std::array<QLineSeries*, 3>& series) {
        static constexpr const char* kNames[] = {"Number Found", "Number Deleted", "E-mail Check"};
        const QColor colours[] = {kLime, kRed, kBlue};
        for (std::size_t i = 0; i < 3; ++i) {
            series[i] = new QLineSeries;
            series[i]->setName(kNames[i]);
            QPen pen(colours[i]);
            pen.setWidthF(2);
            series[i]->setPen(pen);
            chart->addSeries(series[i]);
        }
    };
    switch (page) {
    case TfrmChart::DayOfWeek: {
        QChart* chart = newChart("Day of week");
        auto* series = new QBarSeries;
        p.weekFound = new QBarSet("Number Found");
        p.weekDeleted = new QBarSet("Number Deleted");
        p.weekChecked = new QBarSet("E-mail Check");
        p.weekFound->setColor(kLime);
        p.weekDeleted->setColor(kRed);
        p.weekChecked->setColor(kBlue);
        series->append({p.weekFound, p.weekDeleted, p.weekChecked});
        chart->addSeries(series);
        p.weekDays = new QBarCategoryAxis;
        QStringList days;
        for (int d = 0; d < 7; ++d) days << chartText(form_.dayName(d));
        p.weekDays->setCategories(days);
        chart->addAxis(p.weekDays, Qt::AlignBottom);
        series->attachAxis(p.weekDays);
        p.weekValues = frequencyAxis();
        chart->addAxis(p.weekValues, Qt::AlignLeft);
        series->attachAxis(p.weekValues);
        views_[0] = newView(chart, true);
        placeChart(page, views_[0], {});
        break;
    }
    case TfrmChart::HourOfDay: {
        QChart* chart = newChart("Hour of day");
        lines(chart, p.hour);
        p.hourSlots = new QCategoryAxis;
        p.hourSlots->setStartValue(-0.5);
        for (int slot = 0; slot < ChartTally::kSlots; ++slot) p.hourSlots->append(chartText(form_.slotLabel(slot)), slot);
        // Zoomed or moved, the axis keeps only the labels in view: the others
        // would pile up at its ends.
        connect(p.hourSlots, &QCategoryAxis::rangeChanged, this, [this](qreal min, qreal max) {
            QCategoryAxis* axis = plots_->hourSlots;
            if (relabeling_) return;
            relabeling_ = true;
            for (const QString& label : axis->categoriesLabels()) axis->remove(label);
            axis->setStartValue(min);
            for (int slot = static_cast<int>(std::floor(min)) + 1; slot <= max && slot < ChartTally::kSlots; ++slot)
                if (slot >= 0 && slot > min) axis->append(chartText(form_.slotLabel(slot)), slot);
            axis->setRange(min, max);
            relabeling_ = false;
        });
        p.hourSlots->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
        p.hourSlots->setLabelsAngle(-90);
        p.hourSlots->setTruncateLabels(false);
        p.hourSlots->setRange(-0.5, ChartTally::kSlots - 0.5);
        QFont small = p.hourSlots->labelsFont();
        small.setPointSizeF(small.pointSizeF() * 0.85);
        p.hourSlots->setLabelsFont(small);
        chart->addAxis(p.hourSlots, Qt::AlignBottom);
        p.hourValues = frequencyAxis();
        chart->addAxis(p.hourValues, Qt::AlignLeft);
        for (QLineSeries* s : p.hour) {
            s->attachAxis(p.hourSlots);
            s->attachAxis(p.hourValues);
        }
        views_[1] = newView(chart, true);
        placeChart(page, views_[1], {&form_.cbHourFound, &form_.cbHourDeleted, &form_.cbHourChecked});
        break;
    }
    case TfrmChart::DayByDay: {
        QChart* chart = newChart("Day by day");
        lines(chart, p.day);
        p.dayDates = new QDateTimeAxis;
        p.dayDates->setFormat("dd/MMM/yy");
        p.dayDates->setLabelsAngle(-90);
        p.dayDates->setTruncateLabels(false);
        chart->addAxis(p.dayDates, Qt::AlignBottom);
        p.dayValues = frequencyAxis();
        chart->addAxis(p.dayValues, Qt::AlignLeft);
        for (QLineSeries* s : p.day) {
            s->attachAxis(p.dayDates);
            s->attachAxis(p.dayValues);
        }
        connect(p.dayDates, &QDateTimeAxis::rangeChanged, this, [this] { updateDateTicks(); });
        connect(chart, &QChart::plotAreaChanged, this, [this] { updateDateTicks(); });
        views_[2] = newView(chart, true);
        placeChart(page, views_[2], {&form_.cbDayFound, &form_.cbDayDeleted, &form_.cbDayChecked});
        break;
    }
    case TfrmChart::PercentDeleted: {
        QChart* chart = newChart("% Deleted");
        p.pie = new QPieSeries;
        chart->addSeries(p.pie);
        views_[3] = newView(chart, false);
        placeChart(page, views_[3], {});
        break;
    }
    case TfrmChart::TopDomains:
    case TfrmChart::TopSpammers: {
        const auto i = static_cast<std::size_t>(page - TfrmChart::TopDomains);
        QChart* chart = newChart(i == 0 ? "Top 10 Spam Domains" : "Top 10 Spammers");
        chart->legend()->hide();
        auto* series = new QHorizontalBarSeries;
        p.top[i] = new QBarSet("Number Deleted");
        p.top[i]->setColor(kRed);
        series->append(p.top[i]);
        series->setLabelsVisible(true);
        series->setLabelsPosition(QAbstractBarSeries::LabelsInsideEnd);
        chart->addSeries(series);
        p.topNames[i] = new QBarCategoryAxis;
        chart->addAxis(p.topNames[i], Qt::AlignLeft);
        series->attachAxis(p.topNames[i]);
        p.topValues[i] = new QValueAxis;
        p.topValues[i]->setLabelFormat("%d");
        chart->addAxis(p.topValues[i], Qt::AlignBottom);
        series->attachAxis(p.topValues[i]);
        views_[4 + i] = newView(chart, false);
        placeChart(page, views_[4 + i], {});
        break;
    }
    default: {
        const auto i = static_cast<std::size_t>(page - TfrmChart::EmailTraffic);
        auto* view = new QTableView(this);
        view->setObjectName(i == 0 ? "gridTraffic" : "gridDeleted");
        view->setAccessibleName(i == 0 ? "Email traffic" : "Spam Deleted");
        models_[i] = new ChartGridModel(form_, static_cast<TfrmChart::Page>(page), view);
        view->setModel(models_[i]);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->setWordWrap(false);
        view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
        view->horizontalHeader()->setStretchLastSection(true);
        view->setColumnWidth(0, 90);
        view->setColumnWidth(1, 80);
        view->setColumnWidth(2, 150);
        view->setColumnWidth(3, 120);
        view->setColumnWidth(4, 70);
        if (i == 1) view->setColumnWidth(5, 220);
        grids_[i] = view;
        pages_->widget(page)->layout()->addWidget(view);
        break;
    }
    }
}

void ChartWindow::preparePage(int page) {
    if (page < 0 || page >= pages_->count()) return;
    const auto at = static_cast<std::size_t>(page);
    if (!built_[at]) {
        buildPage(page);
        built_[at] = true;
        showChecks();
    }
    if (plotted_[at] != drawn_) {
        plotPage(page);
        plotted_[at] = drawn_;
    }
}

void ChartWindow::withPageInView(int page, const std::function<void()>& output) {
    preparePage(page);
    const int shown = pages_->currentIndex();
    // A page never shown has no size yet: it is brought into view for the
    // output, without telling the form, and the page in view comes back.
    const QSignalBlocker quiet(pages_);
    pages_->setCurrentIndex(page);
    output();
    pages_->setCurrentIndex(shown);
}

void ChartWindow::plotPage(int page) {
    Plots& p = *plots_;
    const ChartTally& t = form_.tally;
    switch (page) {
    case TfrmChart::DayOfWeek: {
        replaceValues(p.weekFound, values(t.foundByWeekday));
        replaceValues(p.weekDeleted, values(t.deletedByWeekday));
        replaceValues(p.weekChecked, values(t.checksByWeekday));
        views_[0]->chart()->zoomReset();
        fitValues(p.weekValues, static_cast<double>(std::max({*std::max_element(t.foundByWeekday.begin(), t.foundByWeekday.end()),
                                                              *std::max_element(t.deletedByWeekday.begin(), t.deletedByWeekday.end()),
                                                              *std::max_element(t.checksByWeekday.begin(), t.checksByWeekday.end())})));
        break;
    }
    case TfrmChart::HourOfDay: {
        const std::array<const std::array<std::int64_t, ChartTally::kSlots>*, 3> slotTallies = {&t.foundBySlot, &t.deletedBySlot,
                                                                                           &t.checksBySlot};
        double largest = 0;
        for (std::size_t i = 0; i < 3; ++i) {
            QList<QPointF> points;
            points.reserve(ChartTally::kSlots);
            for (int j = 0; j < ChartTally::kSlots; ++j) {
                const double v = static_cast<double>((*slotTallies[i])[static_cast<std::size_t>(j)]);
                points.append(QPointF(j, v));
                largest = std::max(largest, v);
            }
            p.hour[i]->replace(points);
        }
        views_[1]->chart()->zoomReset();
        p.hourSlots->setRange(-0.5, ChartTally::kSlots - 0.5);
        fitValues(p.hourValues, largest);
        break;
    }
    case TfrmChart::DayByDay: {
        const std::array<const std::vector<DayTotal>*, 3> days = {&t.foundByDay, &t.deletedByDay, &t.checksByDay};
        double largest = 0;
        qint64 first = 0, last = 0;
        bool any = false;
        std::unordered_map<TDateTime, qint64> dayMSecs;
        for (std::size_t i = 0; i < 3; ++i) {
            QList<QPointF> points;
            points.reserve(static_cast<qsizetype>(days[i]->size()));
            for (const DayTotal& d : *days[i]) {
                // The three series share their days: one conversion a day.
                auto known = dayMSecs.find(d.day);
                if (known == dayMSecs.end()) known = dayMSecs.emplace(d.day, toMSecs(d.day)).first;
                const qint64 lastDay = known->second;
                points.append(QPointF(static_cast<qreal>(lastDay), static_cast<qreal>(d.value)));
                largest = std::max(largest, static_cast<double>(d.value));
                first = any ? std::min(first, lastDay) : lastDay;
                last = any ? std::max(last, lastDay) : lastDay;
                any = true;
            }
            // A lone point makes no line: its marker is what shows it.
            p.day[i]->setPointsVisible(points.size() == 1);
            p.day[i]->replace(points);
        }
        views_[2]->chart()->zoomReset();
        if (!any) first = last = QDateTime(QDate::currentDate(), QTime(0, 0)).toMSecsSinceEpoch();
        // A day either side, so a single day still has a width.
        p.dayDates->setRange(QDateTime::fromMSecsSinceEpoch(first - 86400000LL),
                             QDateTime::fromMSecsSinceEpoch(last + 86400000LL));
        fitValues(p.dayValues, largest);
        updateDateTicks();
        break;
    }
    case TfrmChart::PercentDeleted: {
        p.pie->clear();
        for (const PieSlice& s : pieSlices(t)) {
            QPieSlice* slice = p.pie->append(chartText(s.text), static_cast<qreal>(std::max<std::int64_t>(0, s.value)));
            slice->setColor(s.label == "Normal E-mail" ? kGreen : kRed);
            slice->setLabelVisible(true);
        }
        break;
    }
    case TfrmChart::TopDomains:
    case TfrmChart::TopSpammers: {
        const auto i = static_cast<std::size_t>(page - TfrmChart::TopDomains);
        const std::vector<TopPlace>& top = i == 0 ? t.topDomains : t.topSenders;
        QStringList names;
        QList<qreal> counts;
        double most = 0;
        // Largest at the top: the axis lists its categories from the bottom.
        for (auto place = top.rbegin(); place != top.rend(); ++place) {
            if (place->name.empty()) continue;
            QString name = chartText(place->name);
            while (names.contains(name)) name += ' ';  // the axis needs distinct names
            names << name;
            counts << static_cast<qreal>(place->count);
            most = std::max(most, static_cast<double>(place->count));
        }
        p.topNames[i]->clear();
        p.topNames[i]->setCategories(names);
        replaceValues(p.top[i], counts);
        fitValues(p.topValues[i], most);
        break;
    }
    default:
        models_[static_cast<std::size_t>(page - TfrmChart::EmailTraffic)]->reload();
        break;
    }
}

void ChartWindow::updateDateTicks() {
    if (!views_[2]) return;
    QDateTimeAxis* axis = plots_->dayDates;
    const qint64 days = axis->min().daysTo(axis->max());
    const int width = std::max(200, static_cast<int>(views_[2]->chart()->plotArea().width()));
    // One label a week, as many as fit.
    const int ticks = static_cast<int>(std::clamp<qint64>(days / 7 + 1, 2, std::max(2, width / 28)));
    if (axis->tickCount() != ticks) axis->setTickCount(ticks);
}

void ChartWindow::sync() {
    syncing_ = true;
    title_->setText(fromBytes(form_.lblTitle.caption));
    QStringList items;
    for (const auto& item : form_.cbMailbox.items) items << fromBytes(item);
    QStringList shown;
    for (int i = 0; i < mailbox_->count(); ++i) shown << mailbox_->itemText(i);
    if (shown != items) {
        mailbox_->clear();
        mailbox_->addItems(items);
    }
    mailbox_->setCurrentIndex(form_.cbMailbox.itemIndex);
    drawn_ = form_.drawn;
    showChecks();
    save_->setEnabled(form_.btSavePicture.enabled);
    if (pages_->currentIndex() != form_.activePage) pages_->setCurrentIndex(form_.activePage);
    // The other pages catch up when they are shown.
    preparePage(pages_->currentIndex());
    if (form_.pnlHints.visible != hintsPanel_->isVisible()) {
        hintsPanel_->setVisible(form_.pnlHints.visible);
        if (form_.pnlHints.visible) {
            placeHints();
            hintsPanel_->raise();
        }
    }
    syncing_ = false;
    if (!form_.visible && form_.modalResult != ModalResult::None && isVisible()) accept();
}

// The check boxes and the line series they show, on the pages built so far.
void ChartWindow::showChecks() {
    for (auto& [box, control] : boxes_) box->setChecked(control->checked);
    const std::array<Control*, 3> hour = {&form_.cbHourFound, &form_.cbHourDeleted, &form_.cbHourChecked};
    const std::array<Control*, 3> day = {&form_.cbDayFound, &form_.cbDayDeleted, &form_.cbDayChecked};
    for (std::size_t i = 0; i < 3; ++i) {
        if (views_[TfrmChart::HourOfDay]) plots_->hour[i]->setVisible(hour[i]->checked);
        if (views_[TfrmChart::DayByDay]) plots_->day[i]->setVisible(day[i]->checked);
    }
}

void ChartWindow::placeHints() {
    hintsPanel_->adjustSize();
    const QSize size = hintsPanel_->sizeHint();
    hintsPanel_->setGeometry(QRect(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size));
}

void ChartWindow::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (hintsPanel_->isVisible()) placeHints();
    updateDateTicks();
}

void ChartWindow::reject() {
    form_.btCloseClick();
    QDialog::reject();
}

void ChartWindow::closeEvent(QCloseEvent* event) {
    form_.btCloseClick();
    QDialog::closeEvent(event);
}

void ChartWindow::printGrid(int page, const std::string& title) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(fromBytes(title));
    if (!choosePrinter || !choosePrinter(printer)) return;
    paintGrid(printer, page, fromBytes(title));
}

void ChartWindow::paintGrid(QPrinter& printer, int page, const QString& title) {
    preparePage(page);
    ChartGridModel* model = models_[page == TfrmChart::EmailTraffic ? 0 : 1];
    QPainter painter;
    if (!painter.begin(&printer)) return;
    QFont font("DejaVu Sans");
    font.setPointSizeF(9);
    painter.setFont(font);
    QFont bold = font;
    bold.setBold(true);
    const QFontMetricsF metrics(font, &printer);
    const QRectF area(QPointF(0, 0), printer.pageRect(QPrinter::DevicePixel).size());
    const double line = metrics.height() * 1.35;
    const double pad = metrics.horizontalAdvance("  ");
    const int columns = model->columnCount();
    const int rows = model->rowCount();

    // Column widths from the headings and the first rows, narrowed to the page.
    std::vector<double> widths(static_cast<std::size_t>(columns));
    for (int c = 0; c < columns; ++c) {
        double w = QFontMetricsF(bold, &printer).horizontalAdvance(model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString());
        for (int r = 0; r < std::min(rows, 500); ++r)
            w = std::max(w, metrics.horizontalAdvance(model->data(model->index(r, c), Qt::DisplayRole).toString()));
        widths[static_cast<std::size_t>(c)] = w + pad;
    }
    double total = 0;
    for (double w : widths) total += w;
    if (total > area.width())
        for (double& w : widths) w *= area.width() / total;

    const QString date = fromBytes(form_.nowText("ddddd"));
    const QString time = fromBytes(form_.nowText("t"));
    const double top = line * 3;  // title line, a gap, the headings
    const int perPage = std::max(1, static_cast<int>((area.height() - top - line * 2) / line));
    int pageNumber = 1;
    for (int first = 0; first < rows || pageNumber == 1; first += perPage, ++pageNumber) {
        if (pageNumber > 1) printer.newPage();
        const QRectF head(area.left(), area.top(), area.width(), line);
        painter.setFont(font);
        painter.drawText(head, Qt::AlignLeft | Qt::AlignVCenter, date);
        painter.drawText(head, Qt::AlignRight | Qt::AlignVCenter, time);
        painter.setFont(bold);
        painter.drawText(head, Qt::AlignHCenter | Qt::AlignVCenter, title);
        double x = area.left();
        for (int c = 0; c < columns; ++c) {
            const QRectF cell(x, area.top() + line * 2, widths[static_cast<std::size_t>(c)] - pad / 2, line);
            painter.drawText(cell, (c == 4 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter,
                             model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString());
            x += widths[static_cast<std::size_t>(c)];
        }
        painter.drawLine(QPointF(area.left(), area.top() + top), QPointF(area.right(), area.top() + top));
        painter.setFont(font);
        for (int r = first; r < std::min(rows, first + perPage); ++r) {
            const double y = area.top() + top + line * (r - first);
            x = area.left();
            for (int c = 0; c < columns; ++c) {
                const double w = widths[static_cast<std::size_t>(c)];
                const QRectF cell(x, y, w - pad / 2, line);
                const QString text = metrics.elidedText(model->data(model->index(r, c), Qt::DisplayRole).toString(),
                                                        Qt::ElideRight, cell.width());
                painter.drawText(cell, (c == 4 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter, text);
                x += w;
            }
        }
        painter.drawText(QRectF(area.left(), area.bottom() - line, area.width(), line), Qt::AlignRight | Qt::AlignVCenter,
                         QString("Page %1").arg(pageNumber));
        if (rows == 0) break;
    }
    painter.end();
}

void ChartWindow::previewChart(int page) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    QPrintPreviewDialog preview(&printer, this);
    preview.setWindowTitle(QString("Print preview - %1").arg(TfrmChart::kPages[static_cast<std::size_t>(page)]));
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, [this, page](QPrinter* p) { paintChart(*p, page); });
    preview.exec();
}

void ChartWindow::paintChart(QPrinter& printer, int page) {
    withPageInView(page, [&] { paintChartInView(printer, page); });
}

void ChartWindow::paintChartInView(QPrinter& printer, int page) {
    QChartView* view = chartView(page);
    if (!view) return;
    QPainter painter;
    if (!painter.begin(&printer)) return;
    const QRectF area(QPointF(0, 0), printer.pageRect(QPrinter::DevicePixel).size());
    QSizeF size = view->size();
    size.scale(area.size(), Qt::KeepAspectRatio);
    const QRectF target(area.left() + (area.width() - size.width()) / 2, area.top(), size.width(), size.height());
    view->render(&painter, target, view->viewport()->rect());
    painter.end();
}

bool ChartWindow::savePicture(int page, const std::string& path) {
    bool saved = false;
    withPageInView(page, [&] { saved = savePictureInView(page, path); });
    return saved;
}

bool ChartWindow::savePictureInView(int page, const std::string& path) {
    QChartView* view = chartView(page);
    if (!view) return false;
    const QString file = QString::fromLocal8Bit(path.c_str());
    if (QFileInfo(file).suffix().compare("svg", Qt::CaseInsensitive) == 0) {
        QSvgGenerator svg;
        svg.setFileName(file);
        svg.setSize(view->size());
        svg.setViewBox(QRect(QPoint(0, 0), view->size()));
        svg.setTitle(TfrmChart::kPages[static_cast<std::size_t>(page)]);
        QPainter painter;
        if (!painter.begin(&svg)) return false;
        view->render(&painter, QRectF(QPointF(0, 0), view->size()), view->viewport()->rect());
        return painter.end() && QFileInfo(file).size() > 0;
    }
    const QString suffix = QFileInfo(file).suffix();
    return view->grab().save(file, suffix.isEmpty() ? "PNG" : nullptr);
}


}  // namespace quorvel::ui
