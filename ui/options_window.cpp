#include "ui/options_window.h"

#include <QApplication>
#include <QScreen>
#include <algorithm>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTextDocument>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QRegularExpressionValidator>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/pictures.h"
#include "ui/text.h"

namespace quorvel::ui {

namespace {

// The "Hits" editor takes digits only; the logic refuses anything else too.
class RuleCellDelegate : public QStyledItemDelegate {
public:
    RuleCellDelegate(int hitsColumn, QObject* parent) : QStyledItemDelegate(parent), hits_(hitsColumn) {}
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* line = qobject_cast<QLineEdit*>(editor); line && index.column() == hits_)
            line->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]{0,10}"), line));
        return editor;
    }

private:
    int hits_;
};

QHBoxLayout* row(std::initializer_list<QWidget*> widgets) {
    auto* layout = new QHBoxLayout;
    for (QWidget* w : widgets) layout->addWidget(w);
    layout->addStretch();
    return layout;
}

}  // namespace

OptionsWindow::OptionsWindow(TfrmOptionsMain& form, QWidget* parent)
    : QDialog(parent), form_(form), binder_(*this, form) {
    setObjectName(QString::fromStdString(form.name()));
    setWindowIcon(programIcon());

    auto* layout = new QVBoxLayout(this);
    pages_ = new QTabWidget(this);
    pages_->setObjectName("PageControl1");
    const auto tableButtons = [this](RuleGrid& g, std::function<void()> add, std::function<void()> edit,
                                     std::function<void()> del, std::function<void()> print,
                                     std::function<void()> import) {
        std::vector<std::pair<Control*, std::function<void()>>> buttons = {
            {&g.btAdd, std::move(add)}, {&g.btEdit, std::move(edit)}, {&g.btDelete, std::move(del)},
            {&g.btPrint, std::move(print)}};
        if (import) buttons.emplace_back(&g.btImport, std::move(import));
        return buttons;
    };
    TfrmOptionsMain& f = form_;
    pages_->addTab(tablePage(f.gridSubject, f.lblSubject,
                             tableButtons(f.gridSubject, [&f] { f.btAddSubjectClick(); },
                                          [&f] { f.btEditSubjectClick(); }, [&f] { f.btDelSubjectClick(); },
                                          [&f] { f.btPrintSubjectClick(); }, [&f] { f.btImportClick(); })),
                   TfrmOptionsMain::kTabs[0]);
    pages_->addTab(tablePage(f.gridHeader, f.lblHeaders,
                             tableButtons(f.gridHeader, [&f] { f.btAddHeaderClick(); },
                                          [&f] { f.btEditHeaderClick(); }, [&f] { f.btDeleteHeaderClick(); },
                                          [&f] { f.btPrintHeaderClick(); }, nullptr)),
                   TfrmOptionsMain::kTabs[1]);
    pages_->addTab(tablePage(f.gridFrom, f.lblSender,
                             tableButtons(f.gridFrom, [&f] { f.btAddFromClick(); }, [&f] { f.btEditFromClick(); },
                                          [&f] { f.btDelFromClick(); }, [&f] { f.btPrintFromClick(); }, nullptr)),
                   TfrmOptionsMain::kTabs[2]);
    pages_->addTab(sizePage(), TfrmOptionsMain::kTabs[3]);
    pages_->addTab(tablePage(f.gridExcept, f.lblExceptions,
                             tableButtons(f.gridExcept, [&f] { f.btAddExceptClick(); },
                                          [&f] { f.btEditExceptClick(); }, [&f] { f.btDelExceptClick(); },
                                          [&f] { f.btPrintExceptClick(); }, [&f] { f.btImportExceptionsClick(); })),
                   TfrmOptionsMain::kTabs[4]);
    pages_->addTab(blackListPage(), TfrmOptionsMain::kTabs[5]);
    pages_->addTab(validPage(), TfrmOptionsMain::kTabs[6]);
    pages_->addTab(learningPage(), TfrmOptionsMain::kTabs[7]);
    connect(pages_, &QTabWidget::currentChanged, this, [this](int index) {
        if (!syncing_ && index >= 0) form_.activePage = TfrmOptionsMain::kTabs[static_cast<std::size_t>(index)];
    });
    layout->addWidget(pages_, 1);

    auto* progress = binder_.label(form_.pnlProgress, "pnlProgress");
    progress->setFrameShape(QFrame::Panel);
    layout->addWidget(progress);

    auto* ok = binder_.button(form_.btOK, "btOK", [this] { okClicked(); });
    ok->setDefault(true);
    auto* cancel = binder_.button(form_.btCancel, "btCancel", [this] { cancelClicked(); });
    auto* help = binder_.button(form_.btHelp, "btHelp", [this] { form_.btHelpClick(); });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QWidget* w : {static_cast<QWidget*>(ok), static_cast<QWidget*>(cancel), static_cast<QWidget*>(help)})
        buttons->addWidget(w);
    layout->addLayout(buttons);
    // Wide enough for the widest table at its column widths, beside its buttons.
    int widest = 0;
    for (RuleGrid* g : form_.grids()) {
        int width = 0;
        for (int col = 0; col < g->table.colCount(); ++col)
            if (!g->table.isHidden(col)) width += g->table.colWidth(col);
        widest = std::max(widest, width);
    }
    const QRect screen = QApplication::primaryScreen() ? QApplication::primaryScreen()->availableGeometry() : QRect();
    const int wanted = widest + 190;
    resize(screen.isValid() ? std::min(wanted, screen.width() - 40) : wanted, 500);

    form_.setChangedHandler([this] { sync(); });
    sync();
}

OptionsWindow::~OptionsWindow() {
    form_.setChangedHandler(nullptr);
}

int OptionsWindow::showModal(Form& form) {
    form.modalResult = ModalResult::None;
    // Over the main window: the active window may be the splash, which
    // deletes itself (and every window it parents) when it ends.
    QWidget* parent = QApplication::activeWindow();
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "frmMain") parent = w;
    OptionsWindow window(static_cast<TfrmOptionsMain&>(form), parent);
    const int result = window.exec();
    if (form.modalResult == ModalResult::None) form.modalResult = ModalResult::Cancel;
    return result;
}

QWidget* OptionsWindow::tablePage(RuleGrid& g, Control& note,
                                  const std::vector<std::pair<Control*, std::function<void()>>>& commands) {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(binder_.label(note, ("lbl" + g.section).c_str(), true));

    auto* body = new QHBoxLayout;
    auto* view = new QTableView(page);
    view->setObjectName(QString::fromStdString(g.name));
    view->setAccessibleName(TfrmOptionsMain::kTabs[static_cast<std::size_t>(g.id == RuleGrid::Except ? 4 : g.id)]);
    auto* model = new RuleTableModel(form_, g, view);
    view->setModel(model);
    view->setItemDelegate(new RuleCellDelegate(hitsColumn(g.table.kind()), view));
    views_[static_cast<std::size_t>(g.id)] = view;
    models_[static_cast<std::size_t>(g.id)] = model;
    view->verticalHeader()->hide();
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    view->setWordWrap(false);
    view->setIconSize(QSize(16, 16));
    QHeaderView* header = view->horizontalHeader();
    header->setSectionsClickable(true);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    for (int col = 0; col < g.table.colCount(); ++col) view->setColumnWidth(col, g.table.colWidth(col));
    for (int col = 0; col < g.table.colCount(); ++col) view->setColumnHidden(col, g.table.isHidden(col));
    connect(header, &QHeaderView::sectionClicked, this, [this, &g](int col) {
        form_.sortBy(g, col);
        sync();
    });
    connect(header, &QHeaderView::sectionResized, this, [this, &g](int col, int, int size) {
        if (!syncing_ && size > 0) g.table.setColWidth(col, size);
    });
    connect(view->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this, &g](const QModelIndex& current) {
                if (!syncing_ && current.isValid()) form_.setRow(g, current.row() + 1);
            });
    connect(view, &QTableView::doubleClicked, this, [this, &g](const QModelIndex& index) {
        if (!index.isValid()) return;
        form_.setRow(g, index.row() + 1);
        form_.editRule(g);
    });
    view->installEventFilter(this);
    body->addWidget(view, 1);

    auto* side = new QVBoxLayout;
    const std::string suffix = g.id == RuleGrid::Subject   ? "Subject"
                               : g.id == RuleGrid::Header  ? "Header"
                               : g.id == RuleGrid::Sender  ? "From"
                                                           : "Except";
    const char* names[] = {"btAdd", "btEdit", "btDel", "btPrint", "btImport"};
    for (std::size_t i = 0; i < commands.size(); ++i)
        side->addWidget(binder_.button(*commands[i].first, (names[i] + suffix).c_str(), commands[i].second));
    side->addStretch();
    auto* arrows = new QHBoxLayout;
    arrows->addWidget(binder_.toolButton(g.btUp, ("btUp" + suffix).c_str(), [this, &g] { form_.btUpSubjectClick(g); }));
    arrows->addWidget(binder_.toolButton(g.btDown, ("btDown" + suffix).c_str(), [this, &g] { form_.btDownSubjectClick(g); }));
    side->addLayout(arrows);
    side->addWidget(binder_.label(g.lblCount, ("lblCount" + suffix).c_str()));
    body->addLayout(side);
    layout->addLayout(body, 1);
    return page;
}

QWidget* OptionsWindow::sizePage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    const auto group = [this, layout](Control& box, Control& number, Control& bytes, Control& mark, Control& checkMark,
                                      Control& question, const char* names[6], int max, int step,
                                      std::function<void()> boxClick, std::function<void(int)> numberChange,
                                      std::function<void(bool)> checkClick) {
        QSpinBox* spin = binder_.number(number, names[1], 0, max, [&number, numberChange] { numberChange(number.value); });
        spin->setSingleStep(step);
        spin->setMinimumWidth(110);
        if (auto* edit = spin->findChild<QLineEdit*>()) edit->setMaxLength(TfrmOptionsMain::kSizeDigits);
        layout->addLayout(row({binder_.check(box, names[0], std::move(boxClick)), binder_.labelled(spin, box, &bytes),
                               binder_.label(bytes, names[2])}));
        layout->addLayout(row({binder_.label(mark, names[3]), binder_.radio(checkMark, names[4], [checkClick] { checkClick(true); }),
                               binder_.radio(question, names[5], [checkClick] { checkClick(false); })}));
        layout->addSpacing(16);
    };
    TfrmOptionsMain& f = form_;
    const char* smaller[6] = {"cbSmaller", "nSmaller", "lblSmallerBytes", "lblSmallerMark", "rbSmallerCheck",
                              "rbSmallerQuestion"};
    group(f.cbSmaller, f.nSmaller, f.lblSmallerBytes, f.lblSmallerMark, f.rbSmallerCheck, f.rbSmallerQuestion, smaller,
          TfrmOptionsMain::kSmallerMax, TfrmOptionsMain::kSmallerStep, [&f] { f.cbSmallerClick(); },
          [&f](int v) { f.nSmallerChange(v); }, [&f](bool c) { f.rbSmallerCheckClick(c); });
    const char* larger[6] = {"cbLarger", "nLarger", "lblLargerBytes", "lblLargerMark", "rbLargerCheck",
                             "rbLargerQuestion"};
    group(f.cbLarger, f.nLarger, f.lblLargerBytes, f.lblLargerMark, f.rbLargerCheck, f.rbLargerQuestion, larger,
          TfrmOptionsMain::kLargerMax, TfrmOptionsMain::kLargerStep, [&f] { f.cbLargerClick(); },
          [&f](int v) { f.nLargerChange(v); }, [&f](bool c) { f.rbLargerCheckClick(c); });
    layout->addWidget(binder_.label(f.lblSize, "lblSize", true));
    layout->addStretch();
    return page;
}

QWidget* OptionsWindow::blackListPage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(binder_.label(form_.lblBlackList, "lblBlackList", true));
    auto* mark = new QLabel(page);
    mark->setPixmap(picture(QString::fromStdString(form_.cbKnownSpammers.picture), 16));
    mark->setAccessibleName("Known spammer mark");
    layout->addLayout(row({binder_.check(form_.cbKnownSpammers, "cbKnownSpammers", [this] { form_.cbKnownSpammersClick(); }),
                           mark}));
    memo_ = new QPlainTextEdit(page);
    memo_->setObjectName("memo1");
    memo_->setAccessibleName(TfrmOptionsMain::kTabs[5]);
    memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo_->setUndoRedoEnabled(false);
    // The form keeps the position for the redraw after a rebuild.
    connect(memo_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int line) {
        if (!syncing_) form_.memo1().topLine = line;
    });
    layout->addWidget(memo_, 1);
    KnownListEditor& editor = form_.memo1();
    auto* sorting = binder_.label(editor.pnlSorting, "pnlSorting");
    sorting->setFrameShape(QFrame::Panel);
    sorting->setAlignment(Qt::AlignCenter);
    layout->addWidget(sorting);
    auto* edit = binder_.button(editor.btEditKnown, "btEditKnown", [this] {
        form_.btEditKnownClick();
        memo_->setFocus();
    });
    auto* save = binder_.button(editor.btSaveChanges, "btSaveChanges", [this] {
        takeMemoText();
        form_.btSaveChangesClick();
    });
    auto* cancel = binder_.button(editor.btCancelChanges, "btCancelChanges", [this] { form_.btCancelChangesClick(); });
    auto* buttons = row({edit, save, cancel});
    buttons->addWidget(binder_.label(form_.lblSpammers, "lblSpammers"));
    layout->addLayout(buttons);
    return page;
}

QWidget* OptionsWindow::validPage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(binder_.label(form_.lblValid, "lblValid", true));
    layout->addWidget(binder_.label(form_.lblDomain, "lblDomain", true));
    layout->addWidget(binder_.check(form_.cbValid, "cbValid", [this] { form_.cbValidClick(); }));
    auto* panel = binder_.bind(new QWidget(page), "pnlValid", form_.pnlValid);
    auto* inner = new QVBoxLayout(panel);
    inner->addWidget(binder_.label(form_.lblInvalid, "lblInvalid"));
    inner->addWidget(binder_.radio(form_.rbCheck, "rbCheck", [this] { form_.rbCheckClick(true); }));
    inner->addWidget(binder_.radio(form_.rbQuestion, "rbQuestion", [this] { form_.rbCheckClick(false); }));
    inner->addWidget(binder_.label(form_.lblValidNote, "lblValidNote"));
    auto* counter = binder_.bind(new QLineEdit(panel), "edUnknown", form_.edUnknown);
    binder_.labelled(counter, form_.lblUnknown);
    counter->setReadOnly(true);  // only the reset button changes the program's tally
    counter->setMaximumWidth(90);
    counter->setAlignment(Qt::AlignRight);
    inner->addLayout(row({counter, binder_.label(form_.lblUnknown, "lblUnknown")}));
    inner->addLayout(row({binder_.button(form_.btClear, "btClear", [this] { form_.btClearClick(); })}));
    layout->addWidget(panel);
    layout->addStretch();
    return page;
}

QWidget* OptionsWindow::learningPage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    TfrmOptionsMain& f = form_;
    layout->addWidget(binder_.label(f.lblLearning, "lblLearning", true));
    layout->addWidget(binder_.check(f.cbLearning, "cbLearning", [&f] { f.cbLearningClick(); }));
    layout->addWidget(binder_.label(f.lblLearned, "lblLearned", true));
    layout->addWidget(binder_.label(f.lblNeeded, "lblNeeded", true));
    layout->addWidget(binder_.check(f.cbLearnFromKept, "cbLearnFromKept", [&f] { f.cbLearnFromKeptClick(); }));
    layout->addWidget(binder_.check(f.cbDeleteLearned, "cbDeleteLearned", [&f] { f.cbDeleteLearnedClick(); }));
    layout->addWidget(binder_.label(f.lblDeleteNote, "lblDeleteNote", true));
    auto* levels = binder_.labelled(binder_.choice(f.cbCutoffs, "cbCutoffs", [&f] { f.cbCutoffsChange(); }), f.lblCutoffs);
    layout->addLayout(row({binder_.label(f.lblCutoffs, "lblCutoffs"), static_cast<QWidget*>(levels),
                           binder_.label(f.lblPreview, "lblPreview")}));
    layout->addSpacing(12);
    layout->addLayout(row({binder_.label(f.lblSource, "lblSource"),
                           binder_.radio(f.rbSourceSpam, "rbSourceSpam", [&f] { f.rbSourceClick(true); }),
                           binder_.radio(f.rbSourceHam, "rbSourceHam", [&f] { f.rbSourceClick(false); })}));
    layout->addLayout(row({binder_.button(f.btLearnFolder, "btLearnFolder", [&f] { f.btLearnFolderClick(); }),
                           binder_.button(f.btLearnFile, "btLearnFile", [&f] { f.btLearnFileClick(); })}));
    learningProgress_ = binder_.bind(new QProgressBar(page), "pbLearning", f.pbLearning);
    learningProgress_->setAccessibleName("Learning progress");
    auto* cancel = binder_.button(f.btLearnCancel, "btLearnCancel", [&f] { f.btLearnCancelClick(); });
    learningCancel_ = cancel;
    auto* progress = new QHBoxLayout;
    progress->addWidget(learningProgress_, 1);
    progress->addWidget(cancel);
    layout->addLayout(progress);
    layout->addWidget(binder_.label(f.lblLearnProgress, "lblLearnProgress", true));
    layout->addStretch();
    layout->addLayout(row({binder_.button(f.btForget, "btForget", [&f] { f.btForgetClick(); })}));
    return page;
}

void OptionsWindow::sync() {
    syncing_ = true;
    binder_.sync(!form_.busy());
    // A learning run answers its own Cancel while the rest waits.
    learningCancel_->setEnabled(form_.learningRunning());
    learningProgress_->setMaximum(std::max(1, form_.learningTotal));
    learningProgress_->setValue(std::min(form_.pbLearning.value, std::max(1, form_.learningTotal)));
    for (std::size_t i = 0; i < TfrmOptionsMain::kTabs.size(); ++i)
        if (form_.activePage == TfrmOptionsMain::kTabs[i]) pages_->setCurrentIndex(static_cast<int>(i));
    syncTables();
    syncMemo();
    syncing_ = false;
    if (form_.modalResult == ModalResult::Ok) accept();
    if (form_.modalResult == ModalResult::Cancel) reject();
}

void OptionsWindow::syncTables() {
    for (RuleGrid* g : form_.grids()) {
        const auto i = static_cast<std::size_t>(g->id);
        models_[i]->sync();
        QTableView* view = views_[i];
        view->setEnabled(!form_.busy());
        QHeaderView* header = view->horizontalHeader();
        header->setSortIndicatorShown(g->sortColumn >= 0);
        if (g->sortColumn >= 0)
            header->setSortIndicator(g->sortColumn, g->sortAscending ? Qt::AscendingOrder : Qt::DescendingOrder);
        const QModelIndex current = view->currentIndex();
        if (!current.isValid() || current.row() != g->Row - 1) {
            const QModelIndex target = models_[i]->index(g->Row - 1, current.isValid() ? current.column() : 1);
            view->selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect |
                                                                QItemSelectionModel::Rows);
        }
    }
}

void OptionsWindow::syncMemo() {
    const KnownListEditor& editor = form_.memo1();
    // A reopened file is drawn again even when it reads the same: the view
    // may still hold edits the form dropped.
    if (!memoShown_ || editor.opened != shownOpened_ || editor.text != shownMemo_) {
        memo_->setPlainText(fromBytes(editor.text));
        shownMemo_ = editor.text;
        shownOpened_ = editor.opened;
        memoShown_ = true;
        memo_->verticalScrollBar()->setValue(editor.topLine);
    }
    memo_->setReadOnly(editor.readOnly);
    QPalette colours = memo_->palette();
    colours.setColor(QPalette::Base, editor.readOnly ? palette().color(QPalette::Window) : QColor(Qt::white));
    colours.setColor(QPalette::Text, editor.readOnly ? palette().color(QPalette::WindowText) : QColor(Qt::black));
    memo_->setPalette(colours);
}

void OptionsWindow::takeMemoText() {
    // Raw: the plain form turns no-break spaces into spaces.
    if (!form_.memo1().readOnly)
        form_.memo1().text = toBytes(memo_->document()->toRawText().replace(QChar::ParagraphSeparator, '\n'));
}

void OptionsWindow::okClicked() {
    takeMemoText();
    form_.btOKClick();
    if (form_.modalResult == ModalResult::Ok) accept();
}

void OptionsWindow::cancelClicked() {
    form_.btCancelClick();
    reject();
}

void OptionsWindow::closeEvent(QCloseEvent* event) {
    if (form_.busy()) {
        event->ignore();  // an import is being taken in
        return;
    }
    // The title bar's close box neither saves nor reads back.
    if (form_.modalResult == ModalResult::None) form_.modalResult = ModalResult::Cancel;
    QDialog::closeEvent(event);
}

void OptionsWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        if (!form_.busy()) cancelClicked();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool OptionsWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* view = qobject_cast<QTableView*>(watched);
        const auto* key = static_cast<QKeyEvent*>(event);
        // While a cell is edited its editor has the keys, not the view.
        if (view && key->key() == Qt::Key_Delete) {
            for (RuleGrid* g : form_.grids())
                if (views_[static_cast<std::size_t>(g->id)] == view) form_.deleteRule(*g);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace quorvel::ui
