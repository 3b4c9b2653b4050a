#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QHorizontalBarSeries>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPieSeries>
#include <QPieSlice>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QValueAxis>
#include <fstream>

#include "config/settings_store.h"
#include "log/activity_log.h"
#include "log/frm_chart_main.h"
#include "ui/application.h"
#include "ui/chart_launcher_window.h"
#include "ui/chart_window.h"

using namespace quorvel;
using namespace quorvel::ui;

namespace {

// Two mailboxes on two days: ann checks three times on Monday at 10:29,
// Joe Smith twice on Tuesday at 10:30; ann deletes two messages of one
// sender, Joe four of two senders.
std::string sampleLog() {
    std::string log;
    for (int i = 0; i < 3; ++i) log += mailCheckRecord(4, "ann", "pop.a.example", "Mon 12/7/2026 10:29 AM");
    log += errorRecord("Operation timed out", "ann", "pop.a.example", "Mon 12/7/2026 10:31 AM");
    for (int i = 0; i < 2; ++i) log += mailCheckRecord(10, "Joe Smith", "pop.j.example", "Tue 12/8/2026 10:30 AM");
    const auto deletion = [](const char* sender, const char* user, const char* stamp) {
        return deletedSpamRecord({"Offer", sender, "2048", "12/6/2026"}, "pop.example", user, stamp);
    };
    for (int i = 0; i < 2; ++i) log += deletion("A@Spam.Example", "ann", "Mon 12/7/2026 10:29 AM");
    for (int i = 0; i < 3; ++i) log += deletion("b@junk.example", "Joe Smith", "Tue 12/8/2026 10:30 AM");
    log += deletion("c@junk.example", "Joe Smith", "Tue 12/8/2026 11:00 PM");
    return log;
}

// One day: a check that found `found` messages, then `deleted` deletions.
std::string oneCheckAndDeletions(int found, int deleted) {
    std::string log = mailCheckRecord(found, "ann", "pop.a.example", "Mon 12/7/2026 10:29 AM");
    for (int i = 0; i < deleted; ++i)
        log += deletedSpamRecord({"Offer", "a@b.example", "2048", "12/6/2026"}, "pop.example", "ann",
                                 "Mon 12/7/2026 10:29 AM");
    return log;
}

QBarSet* barSet(QChartView* view, const QString& label) {
    for (QAbstractSeries* s : view->chart()->series())
        if (auto* bars = qobject_cast<QAbstractBarSeries*>(s))
            for (QBarSet* set : bars->barSets())
                if (set->label() == label) return set;
    qFatal("no bar set %s", qPrintable(label));
}

QLineSeries* line(QChartView* view, const QString& name) {
    for (QAbstractSeries* s : view->chart()->series())
        if (s->name() == name) return qobject_cast<QLineSeries*>(s);
    qFatal("no series %s", qPrintable(name));
}

QStringList topNames(QChartView* view) {
    for (QAbstractAxis* axis : view->chart()->axes(Qt::Vertical))
        if (auto* names = qobject_cast<QBarCategoryAxis*>(axis)) return names->categories();
    return {};
}

// The texts a chart draws, as a person reads them.
QStringList drawnTexts(QChartView* view) {
    QStringList texts;
    for (QGraphicsItem* item : view->scene()->items())
        if (auto* text = qgraphicsitem_cast<QGraphicsTextItem*>(item)) texts << text->toPlainText();
    return texts;
}

QStringList gridColumn(QTableView* grid, int column) {
    QStringList cells;
    for (int r = 0; r < grid->model()->rowCount(); ++r) cells << grid->model()->index(r, column).data().toString();
    return cells;
}

QString pdfText(const QString& pdf) {
    QProcess tool;
    tool.start("pdftotext", {"-layout", pdf, "-"});
    if (!tool.waitForFinished(30000) || tool.exitCode() != 0) return "pdftotext failed: " + tool.errorString();
    // Ligatures ("ffi") come back as one character each.
    return QString::fromUtf8(tool.readAllStandardOutput()).normalized(QString::NormalizationForm_KC);
}

// A page's chart or grid, shown first: each page is drawn when it is shown.
QChartView* shownChart(ChartWindow& w, int page) {
    w.pages()->setCurrentIndex(page);
    return w.chartView(page);
}

QTableView* shownGrid(ChartWindow& w, int page) {
    w.pages()->setCurrentIndex(page);
    return w.grid(page);
}

template <class W>
W* child(QWidget& w, const char* name) {
    auto* found = w.findChild<W*>(name);
    if (!found) qFatal("no control %s", name);
    return found;
}

}  // namespace

class ChartWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> folder_;

    std::unique_ptr<Desktop> start(const std::string& logText) {
        const std::string path = folder_->path().toStdString();
        std::ofstream(path + "/logfile.txt", std::ios::binary) << logText;
        SettingsStore store(path + "/settings");
        store.writeString("General", "Logfile", path + "/logfile.txt");
        auto desktop = std::make_unique<Desktop>(Desktop::Folders{path, path + "/settings"});
        desktop->start();
        QTest::qWait(50);
        return desktop;
    }

    // Runs `act` on the first modal window of type W, once it is up; gives
    // up after a few seconds.
    template <class W>
    static void whenModal(const std::function<void(W&)>& act, int triesLeft = 250) {
        QTimer::singleShot(20, [act, triesLeft] {
            if (auto* window = qobject_cast<W*>(QApplication::activeModalWidget())) {
                act(*window);
            } else if (triesLeft > 0) {
                whenModal<W>(act, triesLeft - 1);
            } else if (QWidget* other = QApplication::activeModalWidget()) {
                other->close();  // not the window expected: end the test's wait
            }
        });
    }

    // Opens the statistics from the main window's "Stats", presses OK in the
    // launcher and runs `act` on the chart window; returns when all is closed.
    static bool withChartWindow(Desktop& d, const std::function<void(ChartWindow&)>& act) {
        bool ran = false;
        whenModal<ChartLauncherWindow>([&](ChartLauncherWindow& launcher) {
            whenModal<ChartWindow>([&](ChartWindow& window) {
                if (!QTest::qWaitForWindowExposed(&window)) return;
                ran = true;
                act(window);
                if (window.isVisible()) QTest::mouseClick(child<QPushButton>(window, "btClose"), Qt::LeftButton);
            });
            QTest::mouseClick(child<QPushButton>(launcher, "btOK"), Qt::LeftButton);
        });
        d.program.frmMain()->btStatsClick();
        return ran;
    }

private slots:
    void init() {
        folder_ = std::make_unique<QTemporaryDir>();
        QVERIFY(folder_->isValid());
    }

    void opensTheLogSwitchesMailboxAndRedraws() {
        auto d = start(sampleLog());
        const bool ran = withChartWindow(*d, [&](ChartWindow& w) {
            QCOMPARE(w.windowTitle(), QString("Chart of Activity"));
            QVERIFY(chartWindowBusy());
            QStringList pages;
            for (int i = 0; i < w.pages()->count(); ++i) pages << w.pages()->tabText(i);
            QCOMPARE(pages, QStringList({"Day of week", "Hour of day", "Day by day", "% Deleted", "Top 10 Spam Domains",
                                         "Top 10 Spammers", "Email traffic", "Spam Deleted"}));
            QVERIFY(child<QLabel>(w, "lblTitle")->text().startsWith("All mailboxes from 1/1/1998 thru "));
            auto* mailbox = child<QComboBox>(w, "cbMailbox");
            QCOMPARE(mailbox->count(), 3);
            QCOMPARE(mailbox->itemText(2), QString("Joe Smith"));

            const auto week = [&] { return shownChart(w, TfrmChart::DayOfWeek); };
            QCOMPARE(barSet(week(), "Number Found")->at(1), 12.0);  // Monday
            QCOMPARE(barSet(week(), "Number Found")->at(2), 20.0);
            QCOMPARE(barSet(week(), "E-mail Check")->at(1), 3.0);
            QCOMPARE(barSet(week(), "Number Deleted")->at(2), 4.0);
            QCOMPARE(barSet(week(), "Number Found")->color(), QColor(0, 255, 0));
            const auto hours = [&] { return shownChart(w, TfrmChart::HourOfDay); };
            QCOMPARE(line(hours(), "E-mail Check")->at(20).y(), 3.0);
            QCOMPARE(line(hours(), "E-mail Check")->at(21).y(), 2.0);
            QCOMPARE(line(hours(), "Number Deleted")->at(47).y(), 0.0);
            QCOMPARE(line(hours(), "Number Deleted")->at(46).y(), 1.0);
            QCOMPARE(line(shownChart(w, TfrmChart::DayByDay), "Number Found")->count(), 2);
            const auto pie = [&] {
                return qobject_cast<QPieSeries*>(shownChart(w, TfrmChart::PercentDeleted)->chart()->series().first());
            };
            QCOMPARE(pie()->slices().size(), 2);
            QCOMPARE(pie()->slices()[0]->label(), QString("Normal E-mail 81 %"));
            QCOMPARE(pie()->slices()[1]->label(), QString("Spam Deleted 19 %"));
            // Largest at the top: the axis lists its names from the bottom.
            QCOMPARE(topNames(shownChart(w, TfrmChart::TopSpammers)),
                     QStringList({"c@junk.example", "a@spam.example", "b@junk.example"}));
            QCOMPARE(barSet(shownChart(w, TfrmChart::TopSpammers), "Number Deleted")->at(2), 3.0);
            QCOMPARE(topNames(shownChart(w, TfrmChart::TopDomains)), QStringList({"spam.example", "junk.example"}));
            const auto traffic = [&] { return shownGrid(w, TfrmChart::EmailTraffic); };
            QCOMPARE(gridColumn(traffic(), 3), QStringList({"ann", "ann", "ann", "Joe Smith", "Joe Smith"}));
            QCOMPARE(traffic()->model()->headerData(4, Qt::Horizontal).toString(), QString("# Mail"));
            QCOMPARE(gridColumn(shownGrid(w, TfrmChart::SpamDeleted), 5).first(), QString("a@spam.example"));

            // Choosing a mailbox changes nothing until Redraw.
            mailbox->setCurrentIndex(2);
            QCOMPARE(gridColumn(traffic(), 3).size(), 5);
            QTest::mouseClick(child<QPushButton>(w, "btRedraw"), Qt::LeftButton);
            QVERIFY(child<QLabel>(w, "lblTitle")->text().startsWith("Joe Smith from 1/1/1998 thru "));
            QCOMPARE(gridColumn(traffic(), 3), QStringList({"Joe Smith", "Joe Smith"}));
            QCOMPARE(gridColumn(shownGrid(w, TfrmChart::SpamDeleted), 5),
                     QStringList({"b@junk.example", "b@junk.example", "b@junk.example", "c@junk.example"}));
            QCOMPARE(barSet(week(), "Number Found")->at(1), 0.0);
            QCOMPARE(barSet(week(), "Number Found")->at(2), 20.0);
            QCOMPARE(topNames(shownChart(w, TfrmChart::TopSpammers)), QStringList({"c@junk.example", "b@junk.example"}));
            QCOMPARE(pie()->slices()[1]->label(), QString("Spam Deleted 20 %"));
            QCOMPARE(mailbox->count(), 3);

            // The check boxes show and hide their series.
            w.pages()->setCurrentIndex(TfrmChart::HourOfDay);
            auto* found = child<QCheckBox>(w, "cbFound1");
            QTest::mouseClick(found, Qt::LeftButton, {}, QPoint(6, found->height() / 2));
            QVERIFY(!line(hours(), "Number Found")->isVisible());
            QVERIFY(line(shownChart(w, TfrmChart::DayByDay), "Number Found")->isVisible());
        });
        QVERIFY(ran);
        QVERIFY(!chartWindowBusy());
        QVERIFY(!QApplication::activeModalWidget());
    }

    void emptyLogShowsOneEmptyRowPerGridAndNoBars() {
        auto d = start("");
        const bool ran = withChartWindow(*d, [&](ChartWindow& w) {
            for (int page : {TfrmChart::EmailTraffic, TfrmChart::SpamDeleted}) {
                QCOMPARE(shownGrid(w, page)->model()->rowCount(), 1);
                QCOMPARE(shownGrid(w, page)->model()->index(0, 0).data().toString(), QString());
            }
            QVERIFY(topNames(shownChart(w, TfrmChart::TopSpammers)).isEmpty());
            QCOMPARE(barSet(shownChart(w, TfrmChart::DayOfWeek), "Number Found")->at(3), 0.0);
            const auto pie = [&] {
                return qobject_cast<QPieSeries*>(shownChart(w, TfrmChart::PercentDeleted)->chart()->series().first());
            };
            QCOMPARE(pie()->slices().size(), 2);
        });
        QVERIFY(ran);
    }

    void sendersAndDomainsAreDrawnAsPlainText() {
        // Markup in a sender would have the chart open a file; there is none
        // by that name, so only the drawn text tells.
        const std::string sender = "<img src=x.png>@evil.example";
        const std::string domain = "<b>bold</b>&amp;.example";
        std::string log = mailCheckRecord(9, "ann", "pop.a.example", "Mon 12/7/2026 10:29 AM");
        for (const std::string& from : {sender, "x@" + domain})
            log += deletedSpamRecord({"Offer", from, "2048", "12/6/2026"}, "pop.example", "ann", "Mon 12/7/2026 10:29 AM");
        auto d = start(log);
        const bool ran = withChartWindow(*d, [&](ChartWindow& w) {
            const struct {
                TfrmChart::Page page;
                QString shown;
            } cases[] = {
                {TfrmChart::TopSpammers, QString::fromStdString(sender)},
                {TfrmChart::TopDomains, QString::fromStdString(domain)},
            };
            for (const auto& c : cases) {
                w.pages()->setCurrentIndex(c.page);
                QTest::qWait(50);
                const QStringList texts = drawnTexts(w.chartView(c.page));
                QVERIFY2(texts.contains(c.shown), qPrintable(texts.join(" | ")));
            }
        });
        QVERIFY(ran);
    }

    void dayByDayDrawsALogOfOneDay() {
        // Four found, two deleted, one check: three points apart.
        auto d = start(oneCheckAndDeletions(4, 2));
        const bool ran = withChartWindow(*d, [&](ChartWindow& w) {
            w.pages()->setCurrentIndex(TfrmChart::DayByDay);
            QTest::qWait(50);
            QChartView* view = w.chartView(TfrmChart::DayByDay);
            QCOMPARE(line(view, "E-mail Check")->count(), 1);
            const QImage image = view->grab().toImage();
            const QRect plot = view->mapFromScene(view->chart()->mapToScene(view->chart()->plotArea())).boundingRect();
            // Pixels of each series' colour inside the plot area: the legend
            // below it shows the colours whether a point is drawn or not.
            for (const QColor& colour : {QColor(0, 255, 0), QColor(255, 0, 0), QColor(0, 0, 255)}) {
                int drawn = 0;
                for (int y = plot.top(); y <= plot.bottom(); ++y)
                    for (int x = plot.left(); x <= plot.right(); ++x)
                        if (image.pixelColor(x, y) == colour) ++drawn;
                QVERIFY2(drawn > 0, qPrintable(colour.name()));
            }
        });
        QVERIFY(ran);
    }

    void negativeNormalMailShowsItsValue() {
        auto d = start(oneCheckAndDeletions(1, 3));
        const bool ran = withChartWindow(*d, [&](ChartWindow& w) {
            w.pages()->setCurrentIndex(TfrmChart::PercentDeleted);
            QTest::qWait(50);
            QChartView* view = w.chartView(TfrmChart::PercentDeleted);
            auto* pie = qobject_cast<QPieSeries*>(view->chart()->series().first());
            QCOMPARE(pie->slices()[0]->label(), QString("Normal E-mail 0 % (-2)"));
            QVERIFY2(drawnTexts(view).contains("Normal E-mail 0 % (-2)"), qPrintable(drawnTexts(view).join(" | ")));
        });
        QVERIFY(ran);
    }

    void pagesNeverShownStillPrintAndSave() {
        auto d = start(sampleLog());
        const QString gridPdf = folder_->filePath("deleted.pdf");
        const QString chartPdf = folder_->filePath("spammers.pdf");
        const QString png = folder_->filePath("spammers.png");
        bool saved = false;
        QSize shownSize;
        const bool ran = withChartWindow(*d, [&](ChartWindow& w) {
            // Only the page in view is built on opening.
            QVERIFY(w.chartView(TfrmChart::DayOfWeek));
            QVERIFY(!w.chartView(TfrmChart::TopSpammers));
            QVERIFY(!w.grid(TfrmChart::SpamDeleted));
            shownSize = w.chartView(TfrmChart::DayOfWeek)->size();

            QPrinter printer;
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(gridPdf);
            w.paintGrid(printer, TfrmChart::SpamDeleted, "Deleted Spam");
            QPrinter chartPrinter;
            chartPrinter.setOutputFormat(QPrinter::PdfFormat);
            chartPrinter.setOutputFileName(chartPdf);
            w.paintChart(chartPrinter, TfrmChart::TopSpammers);
            saved = w.savePicture(TfrmChart::TopSpammers, png.toStdString());
            QCOMPARE(w.pages()->currentIndex(), int(TfrmChart::DayOfWeek));
        });
        QVERIFY(ran);
        const QString grid = pdfText(gridPdf);
        QVERIFY2(grid.contains("Deleted Spam") && grid.contains("b@junk.example"), qPrintable(grid));
        const QString chart = pdfText(chartPdf);
        QVERIFY2(chart.contains("Top 10 Spammers") && chart.contains("c@junk.example"), qPrintable(chart));
        QVERIFY(saved);
        const QImage picture(png);
        QCOMPARE(picture.size(), shownSize);
    }

    void zoomsMovesAndResetsTheCharts() {
        auto d = start(sampleLog());
        const bool ran = withChartWindow(*d, [&](ChartWindow& w) {
            QChartView* view = nullptr;
            QRectF plot;
            const auto showPage = [&](int page) {
                w.pages()->setCurrentIndex(page);
                view = w.chartView(page);
                QTest::qWait(50);
                plot = view->chart()->plotArea();
            };
            const auto at = [&](double fx, double fy) {
                return view->mapFromScene(view->chart()->mapToScene(
                    QPointF(plot.left() + plot.width() * fx, plot.top() + plot.height() * fy)));
            };
            const auto drag = [&](Qt::MouseButton button, QPoint from, QPoint to) {
                QTest::mousePress(view->viewport(), button, {}, from);
                QMouseEvent move(QEvent::MouseMove, to, view->viewport()->mapToGlobal(to), Qt::NoButton, button, {});
                QApplication::sendEvent(view->viewport(), &move);
                QTest::mouseRelease(view->viewport(), button, {}, to);
            };
            showPage(TfrmChart::HourOfDay);
            auto* axis = qobject_cast<QCategoryAxis*>(view->chart()->axes(Qt::Horizontal).first());
            QCOMPARE(axis->min(), -0.5);
            drag(Qt::LeftButton, at(0.25, 0.1), at(0.5, 0.9));
            QVERIFY(axis->min() > 5 && axis->max() < 30);
            const double zoomedMin = axis->min();
            drag(Qt::RightButton, at(0.5, 0.5), at(0.3, 0.5));  // move the graph left: later slots come in
            QVERIFY(axis->min() > zoomedMin);
            drag(Qt::LeftButton, at(0.9, 0.9), at(0.1, 0.1));
            QCOMPARE(axis->min(), -0.5);
            QCOMPARE(axis->max(), 47.5);

            // The bar chart of the days of the week zooms and resets alike.
            showPage(TfrmChart::DayOfWeek);
            auto* values = qobject_cast<QValueAxis*>(view->chart()->axes(Qt::Vertical).first());
            QVERIFY(values);
            const double top = values->max();
            drag(Qt::LeftButton, at(0.1, 0.5), at(0.6, 0.9));
            QVERIFY(view->chart()->isZoomed());
            QVERIFY2(values->max() < top, qPrintable(QString("%1 of %2").arg(values->max()).arg(top)));
            drag(Qt::LeftButton, at(0.9, 0.9), at(0.1, 0.1));
            QVERIFY(!view->chart()->isZoomed());
            QCOMPARE(values->max(), top);
        });
        QVERIFY(ran);
    }

    void printsGridsAndChartsAndSavesPictures() {
        auto d = start(sampleLog());
        const QString pdf = folder_->filePath("traffic.pdf");
        const QString chartPdf = folder_->filePath("chart.pdf");
        const QString png = folder_->filePath("week.png");
        const QString svg = folder_->filePath("week.svg");
        bool saved[2] = {false, false};
        const bool ran = withChartWindow(*d, [&](ChartWindow& w) {
            w.choosePrinter = [&](QPrinter& printer) {
                printer.setOutputFormat(QPrinter::PdfFormat);
                printer.setOutputFileName(pdf);
                return true;
            };
            w.pages()->setCurrentIndex(TfrmChart::EmailTraffic);
            QTest::mouseClick(child<QPushButton>(w, "btPrint"), Qt::LeftButton);
            QVERIFY(!child<QPushButton>(w, "btSavePicture")->isEnabled());

            w.pages()->setCurrentIndex(TfrmChart::DayOfWeek);
            QVERIFY(child<QPushButton>(w, "btSavePicture")->isEnabled());
            QTest::qWait(50);
            QPrinter printer;
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(chartPdf);
            w.paintChart(printer, TfrmChart::DayOfWeek);
            saved[0] = w.savePicture(TfrmChart::DayOfWeek, png.toStdString());
            saved[1] = w.savePicture(TfrmChart::DayOfWeek, svg.toStdString());
            QVERIFY(!w.savePicture(TfrmChart::DayOfWeek, folder_->filePath("no/such/folder/x.png").toStdString()));
        });
        QVERIFY(ran);
        const QString text = pdfText(pdf);
        QVERIFY2(text.contains("E-mail traffic"), qPrintable(text));
        QVERIFY2(text.contains("Page 1"), qPrintable(text));
        QVERIFY2(text.contains("# Mail") && text.contains("Joe Smith") && text.contains("pop.a.example"),
                 qPrintable(text));
        const QString chart = pdfText(chartPdf);
        QVERIFY2(chart.contains("Frequency") && chart.contains("Wednesday") && chart.contains("Number Found"),
                 qPrintable(chart));
        QVERIFY(saved[0] && saved[1]);
        const QImage picture(png);
        QVERIFY(!picture.isNull() && picture.width() > 300);
        QFile file(svg);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray content = file.readAll();
        QVERIFY(content.contains("<svg") && content.contains("Frequency"));
    }
};

QTEST_MAIN(ChartWindowTest)
#include "chart_window_test.moc"
