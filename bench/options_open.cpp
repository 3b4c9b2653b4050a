// Opening the spam settings window with 10,000 rules in each table and a
// known-spammer list of 1,000,000 entries, against a bare window of the same
// toolkit that shows the same texts in a plain QTableView and QPlainTextEdit.
//   options_open make FOLDER     writes the rule files and known.lst
//   options_open quorvel FOLDER  the program's window; also times two sorts and OK
//   options_open bare FOLDER     the bare window
// Each prints its times in seconds on one line.
#include <QAbstractTableModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <cstdio>

#include "config/rule_file.h"
#include "platform/files.h"
#include "ui/application.h"
#include "ui/options_window.h"

using namespace quorvel;

namespace {

constexpr int kRules = 10000;
const char* const kFiles[] = {"subj.lst", "header.lst", "from.lst", "except.lst"};

int make(const std::string& folder) {
    const RuleTableKind kinds[] = {RuleTableKind::Subject, RuleTableKind::Header, RuleTableKind::Sender,
                                   RuleTableKind::Exception};
    for (int k = 0; k < 4; ++k) {
        RuleTable t(kinds[k]);
        t.setRowCount(kRules + 1);
        SetGridHeadings(t);
        for (int row = 1; row <= kRules; ++row) {
            const std::string word = "pattern" + std::to_string((row * 7919) % kRules);
            if (kinds[k] == RuleTableKind::Exception) {
                const std::string cells[] = {"E-mail address", "Equals", word + "@example.com", "No",
                                             std::to_string(row % 97), "", "3"};
                for (int col = 0; col < 7; ++col) t.setCell(col, row, cells[col]);
            } else if (kinds[k] == RuleTableKind::Sender) {
                const std::string cells[] = {"", "Domain name", "Ends with", word + ".example", "Yes",
                                             std::to_string(row % 97)};
                for (int col = 0; col < 6; ++col) t.setCell(col, row, cells[col]);
            } else {
                const std::string cells[] = {"", "Contains", word, "No", row % 2 ? "Yes" : "No",
                                             std::to_string(row % 97)};
                for (int col = 0; col < 6; ++col) t.setCell(col, row, cells[col]);
            }
        }
        saveRuleTable(joinPath(folder, kFiles[k]), t);
    }
    std::string known;
    char line[64];
    for (int i = 0; i < 1000000; ++i) {
        std::snprintf(line, sizeof line, "spammer%07d@bulk%04d.example\r\n", i, i % 9973);
        known += line;
    }
    writeFileAtomically(joinPath(folder, kKnownListFileName), known);
    return 0;
}

// Waits until the window is on screen and has painted once.
void waitShown(QWidget& window) {
    while (!window.windowHandle() || !window.windowHandle()->isExposed()) QApplication::processEvents();
    QApplication::processEvents();
}

double seconds(const QElapsedTimer& timer) { return static_cast<double>(timer.nsecsElapsed()) / 1e9; }

int quorvelWindow(int argc, char** argv, const std::string& folder) {
    QApplication app(argc, argv);
    ui::Desktop desktop(ui::Desktop::Folders{folder, folder + "/settings"});
    desktop.start();
    TfrmOptionsMain& form = *desktop.program.frmOptionsMain();
    QElapsedTimer timer;
    double open = 0, sortHits = 0, sortPattern = 0, ok = 0;
    QTimer::singleShot(0, [&] {
        auto* window = qobject_cast<ui::OptionsWindow*>(QApplication::activeModalWidget());
        waitShown(*window);
        open = seconds(timer);
        timer.restart();
        form.sortBy(form.gridSubject, 5);
        QApplication::processEvents();
        sortHits = seconds(timer);
        timer.restart();
        form.sortBy(form.gridSubject, 2);
        QApplication::processEvents();
        sortPattern = seconds(timer);
        timer.restart();
        form.btOKClick();
        ok = seconds(timer);
    });
    timer.start();
    desktop.program.frmMain()->btSpamSetupClick();
    std::printf("open %.3f s, sort by hits %.4f s, sort by pattern %.4f s, OK %.4f s\n", open, sortHits, sortPattern,
                ok);
    std::fflush(stdout);
    // The splash outlives so short a run; it must not outlive the program it shows.
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "frmSplash") delete w;
    return 0;
}

class PlainModel : public QAbstractTableModel {
public:
    explicit PlainModel(const RuleTable& table) : table_(table) {}
    int rowCount(const QModelIndex& = {}) const override { return table_.ruleCount(); }
    int columnCount(const QModelIndex& = {}) const override { return table_.colCount(); }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole) return {};
        return QString::fromStdString(table_.cell(index.column(), index.row() + 1));
    }

private:
    const RuleTable& table_;
};

int bareWindow(int argc, char** argv, const std::string& folder) {
    QApplication app(argc, argv);
    // The tables are in memory before the window opens, as in the program.
    const RuleTableKind kinds[] = {RuleTableKind::Subject, RuleTableKind::Header, RuleTableKind::Sender,
                                   RuleTableKind::Exception};
    std::vector<RuleTable> tables;
    for (int k = 0; k < 4; ++k) tables.push_back(loadRuleTable(joinPath(folder, kFiles[k]), kinds[k]));
    QElapsedTimer timer;
    timer.start();
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* tabs = new QTabWidget(&window);
    for (const RuleTable& t : tables) {
        auto* view = new QTableView(tabs);
        view->setModel(new PlainModel(t));
        tabs->addTab(view, "table");
    }
    auto* memo = new QPlainTextEdit(tabs);
    // The list is read each time it is shown, as the program does.
    QFile known(QString::fromStdString(joinPath(folder, kKnownListFileName)));
    known.open(QIODevice::ReadOnly);
    memo->setPlainText(QString::fromUtf8(known.readAll()));
    tabs->addTab(memo, "list");
    layout->addWidget(tabs);
    window.resize(640, 480);
    window.show();
    waitShown(window);
    std::printf("open %.3f s\n", seconds(timer));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: options_open make|quorvel|bare FOLDER\n");
        return 2;
    }
    const std::string mode = argv[1], folder = argv[2];
    if (mode == "make") return make(folder);
    if (mode == "quorvel") return quorvelWindow(argc, argv, folder);
    return bareWindow(argc, argv, folder);
}
