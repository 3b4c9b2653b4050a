#include "ui/main_window.h"

#include <algorithm>

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTreeView>
#include <QVBoxLayout>

#include "ui/pictures.h"
#include "ui/text.h"

namespace quorvel::ui {

PictureButton::PictureButton(const Control& control, QWidget* parent) : QToolButton(parent), control_(control) {
    setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    setIconSize(QSize(32, 32));
    setAutoRaise(true);
    sync();
}

void PictureButton::sync() {
    if (!drawn_.changed(control_)) return;
    setText(withAccessKey(fromBytes(control_.caption), accessKey()));
    setToolTip(fromBytes(control_.hint));
    setEnabled(control_.enabled);
    if (toolBarAction_)
        toolBarAction_->setVisible(control_.visible);  // the toolbar ignores the widget's own visibility
    else
        setVisible(control_.visible);
    showPicture(hot_);
}

QChar PictureButton::accessKey() const {
    for (const QChar c : fromBytes(control_.caption))
        if (c.isLetter() && !takenKeys_.contains(c.toLower())) return c.toLower();
    return {};
}

void PictureButton::showPicture(bool hot) {
    const std::string& name = hot && !control_.hotPicture.empty() ? control_.hotPicture : control_.picture;
    if (name != shownPicture_) {
        shownPicture_ = name;
        setIcon(drawnIcon(QString::fromStdString(name)));
    }
}

void PictureButton::enterEvent(QEnterEvent* event) {
    hot_ = true;
    showPicture(true);
    QToolButton::enterEvent(event);
}

void PictureButton::leaveEvent(QEvent* event) {
    hot_ = false;
    showPicture(false);
    QToolButton::leaveEvent(event);
}

MainWindow::MainWindow(TfrmMain& form) : form_(form) {
    setObjectName("frmMain");
    setWindowIcon(programIcon());

    auto* bar = addToolBar("Commands");
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setIconSize(QSize(32, 32));
    bar->toggleViewAction()->setVisible(false);
    addButton(bar, "btList", form_.btList, &TfrmMain::btListClick);
    PictureButton* options = addButton(bar, "btOptions", form_.btOptions, &TfrmMain::btOptionsClick);
    auto* panel = new QMenu(options);
    const std::pair<Control*, void (TfrmMain::*)()> panelButtons[] = {
        {&form_.btGeneral, &TfrmMain::btGeneralClick}, {&form_.btSpamSetup, &TfrmMain::btSpamSetupClick},
        {&form_.btStats, &TfrmMain::btStatsClick},     {&form_.btAbout, &TfrmMain::btAboutClick},
        {&form_.btHelp, &TfrmMain::btHelpClick},
    };
    for (const auto& [control, handler] : panelButtons) {
        QAction* action = addAction(panel, *control, [this, handler = handler] { (form_.*handler)(); });
        action->setIcon(drawnIcon(QString::fromStdString(control->picture)));
    }
    connect(panel, &QMenu::aboutToShow, this, [this] { form_.btOptionsClick(); });
    options->setMenu(panel);
    options->setPopupMode(QToolButton::InstantPopup);
    PictureButton* exit = addButton(bar, "btExit", form_.btExit, nullptr);
    connect(exit, &QToolButton::clicked, this, [this] { form_.btExitClick(TfrmMain::Sender::Button); });
    addButton(bar, "btMark", form_.btMark, &TfrmMain::btMarkClick);
    addButton(bar, "btDelete", form_.btDelete, &TfrmMain::btDeleteClick);
    addButton(bar, "btRemark", form_.btRemark, &TfrmMain::btRemarkClick);
    addButton(bar, "btResetAll", form_.btResetAll, &TfrmMain::ResetButtonClick);
    addButton(bar, "btLaunch", form_.btLaunch, &TfrmMain::btLaunchClick);
    // Alt and a letter for every command; the exit button, whose caption
    // changes with the run, takes a letter the others left.
    QString taken;
    for (PictureButton* button : buttons_) {
        if (button == exit) continue;
        button->setTakenKeys(taken);
        taken += button->accessKey();
    }
    exit->setTakenKeys(taken);
    giveAccessKeys(panel);
    resize(firstWidth(bar), 460);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(8, 4, 8, 4);
    auto* titleRow = new QHBoxLayout;
    title_ = plainLabel(central);
    title_->setObjectName("lblTitle");
    QFont titleFont = title_->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    titleFont.setBold(true);
    title_->setFont(titleFont);
    trademark_ = plainLabel(central);
    trademark_->setObjectName("Label1");
    trademark_->setAlignment(Qt::AlignTop);
    QFont small = trademark_->font();
    small.setPointSizeF(small.pointSizeF() * 0.7);
    trademark_->setFont(small);
    titleRow->addWidget(title_);
    titleRow->addWidget(trademark_);
    titleRow->addStretch();
    layout->addLayout(titleRow);
    // The separator under the title; the layout keeps it as wide as the window.
    auto* separator = new QFrame(central);
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);
    layout->addWidget(separator);
    ad_ = plainLabel(central);
    ad_->setObjectName("lblAd");
    ad_->setAlignment(Qt::AlignCenter);
    QFont adFont = ad_->font();
    adFont.setItalic(true);
    ad_->setFont(adFont);
    layout->addWidget(ad_);

    buildList(central);
    layout->addWidget(list_, 1);
    setCentralWidget(central);

    for (auto*& panel : status_) {
        panel = plainLabel(this);
        statusBar()->addWidget(panel, panel == status_[0] ? 0 : 1);
    }
    status_[0]->setObjectName("StatusPanel0");
    status_[0]->setFrameShape(QFrame::StyledPanel);
    status_[1]->setObjectName("StatusPanel1");

    buildTrayMenu();
    marksLater_.setSingleShot(true);
    connect(&marksLater_, &QTimer::timeout, this, [this] { syncList(); });
    form_.setChangedHandler([this] { sync(); });
    sync();
}

MainWindow::~MainWindow() {
    form_.setChangedHandler(nullptr);
}

void MainWindow::buildList(QWidget* parent) {
    list_ = new QTreeView(parent);
    list_->setObjectName("ListView1");
    list_->setAccessibleName("Waiting messages");
    model_ = new MessageListModel(form_.ListView1, list_);
    list_->setModel(model_);
    list_->setItemDelegate(new MessageListDelegate(list_));
    list_->setRootIsDecorated(false);
    list_->setItemsExpandable(false);
    list_->setSortingEnabled(false);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setUniformRowHeights(true);  // ten thousand rows lay out without measuring each
    list_->setIconSize(QSize(16, 16));
    list_->setAllColumnsShowFocus(true);
    list_->header()->setSectionsClickable(false);
    list_->header()->setSectionsMovable(false);
    // The subject takes what a wider window gives; the others keep their widths.
    list_->header()->setStretchLastSection(false);
    list_->header()->setMinimumSectionSize(40);
    list_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    list_->setColumnWidth(1, 240);
    list_->setColumnWidth(2, 70);
    // Room for the longest date and time the Date column shows.
    list_->setColumnWidth(3, list_->fontMetrics().horizontalAdvance("12/31/2026 12:00:00 AM") + 16);
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection& deselected) {
                if (!applyingSelection_) model_->takeSelection(selected, deselected);
            });
    connect(list_, &QTreeView::clicked, this, [this] { form_.ListView1Click(); });
    connect(list_, &QTreeView::doubleClicked, this, [this] { form_.btMarkClick(); });
    list_->installEventFilter(this);
    list_->viewport()->installEventFilter(this);

    listMenu_ = new QMenu(list_);
    listMenu_->setObjectName("PopupMenu1");
    auto& f = form_;
    addAction(listMenu_, f.Why1, [&f] { f.Why1Click(); });
    listMenu_->addSeparator();
    addAction(listMenu_, f.ThisIsSpam1, [&f] { f.ThisIsSpam1Click(); });
    addAction(listMenu_, f.ThisIsNotSpam1, [&f] { f.ThisIsNotSpam1Click(); });
    listMenu_->addSeparator();
    addAction(listMenu_, f.AddtoExceptions1, [&f] { f.AddtoExceptions1Click(); });
    addAction(listMenu_, f.AddtoSPAMlist1, [&f] { f.AddtoSPAMlist1Click(); });
    listMenu_->addSeparator();
    addAction(listMenu_, f.ViewHeader1, [&f] { f.ViewHeader1Click(); });
    addAction(listMenu_, f.ViewMessages1, [&f] { f.ViewMessages1Click(); });
    giveAccessKeys(listMenu_);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { listMenu_->popup(list_->viewport()->mapToGlobal(at)); });
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ && event->type() == QEvent::KeyRelease) form_.ListView1KeyUp();
    if (watched == list_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // Space marks as a double click does (the view would only select).
        if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier) {
            form_.btMarkClick();
            return true;
        }
        // The menu key and Shift+F10 open the list's menu at the current row.
        if ((key->key() == Qt::Key_Menu && key->modifiers() == Qt::NoModifier) ||
            (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier)) {
            const QRect row = list_->visualRect(list_->currentIndex());
            const QPoint at = row.isValid() ? row.bottomLeft() : QPoint(0, 0);
            listMenu_->popup(list_->viewport()->mapToGlobal(at));
            return true;
        }
    }
    if (watched == list_->viewport() && listViewportEvent(event)) return true;
    return QMainWindow::eventFilter(watched, event);
}

bool MainWindow::listViewportEvent(QEvent* event) {
    if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonDblClick) return false;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const int row = list_->indexAt(mouse->position().toPoint()).row();
    auto& rows = form_.ListView1.rows;
    const bool plain = mouse->button() == Qt::LeftButton && mouse->modifiers() == Qt::NoModifier;
    if (event->type() == QEvent::MouseButtonPress) {
        pressedSelection_.clear();
        if (!plain || row < 0 || row >= static_cast<int>(rows.size()) || !rows[static_cast<std::size_t>(row)].selected)
            return false;
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (rows[i].selected) pressedSelection_.push_back(static_cast<int>(i));
        pressedGeneration_ = form_.ListView1.generation;
        return false;
    }
    // The double click: the selection the first click found comes back
    // before the view reports it.
    const bool sameRows = pressedGeneration_ == form_.ListView1.generation;
    if (plain && sameRows &&
        std::find(pressedSelection_.begin(), pressedSelection_.end(), row) != pressedSelection_.end()) {
        for (MessageRow& r : rows) r.selected = false;
        for (int i : pressedSelection_)
            if (i < static_cast<int>(rows.size())) rows[static_cast<std::size_t>(i)].selected = true;
        syncList();
    }
    pressedSelection_.clear();
    return false;
}

// As wide as the toolbar with every button shown, so that the message
// commands a check brings all find room beside the others rather than in the
// toolbar's overflow menu; never narrower than 760 nor wider than the screen.
int MainWindow::firstWidth(QToolBar* bar) const {
    const QMargins margins = bar->layout()->contentsMargins();
    int width = margins.left() + margins.right() - bar->layout()->spacing();
    for (const auto* button : buttons_) width += button->sizeHint().width() + bar->layout()->spacing();
    return std::clamp(width, 760, std::max(760, screen()->availableGeometry().width()));
}

PictureButton* MainWindow::addButton(QToolBar* bar, const char* name, Control& control,
                                     void (TfrmMain::*handler)()) {
    auto* button = new PictureButton(control, bar);
    button->setObjectName(name);
    button->setToolBarAction(bar->addWidget(button));
    if (handler) connect(button, &QToolButton::clicked, this, [this, handler] { (form_.*handler)(); });
    buttons_.push_back(button);
    return button;
}

QAction* MainWindow::addAction(QMenu* menu, Control& control, std::function<void()> handler) {
    QAction* action = menu->addAction(fromBytes(control.caption));
    connect(action, &QAction::triggered, this, [handler = std::move(handler)] { handler(); });
    actions_.push_back({action, &control, {}});
    return action;
}

void MainWindow::giveAccessKeys(QMenu* menu) {
    std::vector<MenuItem*> items;
    QStringList captions;
    for (MenuItem& item : actions_)
        if (menu->actions().contains(item.action)) {
            items.push_back(&item);
            captions << fromBytes(item.control->caption);
        }
    const QList<QChar> keys = accessKeys(captions);
    for (std::size_t i = 0; i < items.size(); ++i) {
        items[i]->accessKey = keys[static_cast<qsizetype>(i)];
        items[i]->action->setText(withAccessKey(captions[static_cast<qsizetype>(i)], items[i]->accessKey));
    }
}

void MainWindow::buildTrayMenu() {
    trayMenu_ = new QMenu(this);
    auto& f = form_;
    addAction(trayMenu_, f.Show1, [&f] { f.Show1Click(); });
    addAction(trayMenu_, f.LaunchEmailprogram1, [&f] { f.btLaunchClick(); });
    trayMenu_->addSeparator();
    addAction(trayMenu_, f.ShowMainScreen1, [&f] { f.ShowMainScreen1Click(); });
    QMenu* settings = trayMenu_->addMenu(fromBytes(f.Settings1.caption));
    addAction(settings, f.Spam1, [&f] { f.btSpamSetupClick(); });
    addAction(settings, f.General1, [&f] { f.btGeneralClick(); });
    addAction(settings, f.Viewlogfile1, [&f] { f.Viewlogfile1Click(); });
    addAction(trayMenu_, f.Statistics1, [&f] { f.btStatsClick(); });
    trayMenu_->addSeparator();
    auto* automatic = new QActionGroup(trayMenu_);
    for (Control* item : {&f.EnableAutomatic1, &f.DisableAutomatic1}) {
        QAction* action = addAction(trayMenu_, *item, [&f, item] { f.EnableAutomatic1Click(*item); });
        action->setCheckable(true);
        automatic->addAction(action);
    }
    trayMenu_->addSeparator();
    QMenu* help = trayMenu_->addMenu(fromBytes(f.Help1.caption));
    addAction(help, f.Help2, [&f] { f.btHelpClick(); });
    addAction(help, f.About1, [&f] { f.btAboutClick(); });
    trayMenu_->addSeparator();
    addAction(trayMenu_, f.Exit1, [&f] { f.btExitClick(TfrmMain::Sender::Menu); });
}

void MainWindow::sync() {
    if (drawnCaption_.changed(form_.caption)) setWindowTitle(fromBytes(form_.caption));
    for (auto* button : buttons_) button->sync();
    for (auto& [action, control, drawn, key] : actions_) {
        // A click flips a checkable item by itself: its mark is always put back.
        if (action->isCheckable()) action->setChecked(control->checked);
        if (!drawn.changed(*control)) continue;
        action->setText(withAccessKey(fromBytes(control->caption), key));
        action->setEnabled(control->enabled);
        action->setVisible(control->visible);
    }
    if (drawnTitle_.changed(form_.lblTitle.caption)) title_->setText(fromBytes(form_.lblTitle.caption));
    if (drawnTrademark_.changed(form_.Label1.caption)) trademark_->setText(fromBytes(form_.Label1.caption));
    trademark_->setVisible(form_.Label1.visible);
    if (drawnAd_.changed(form_.lblAd.caption)) ad_->setText(fromBytes(form_.lblAd.caption));
    ad_->setVisible(form_.lblAd.visible);
    for (int i = 0; i < 2; ++i)
        if (drawnStatus_[i].changed(form_.statusPanels[i])) status_[i]->setText(fromBytes(form_.statusPanels[i]));
    syncList();
    // A focus request is taken once; the user's own moves stand.
    if (!form_.focusedControl.empty()) {
        if (auto* target = findChild<QWidget*>(QString::fromStdString(form_.focusedControl)))
            target->setFocus(Qt::OtherFocusReason);
        form_.focusedControl.clear();
    }

    switch (std::exchange(form_.endRequest, TfrmMain::EndRequest::None)) {
    case TfrmMain::EndRequest::Close:
        QTimer::singleShot(0, this, [this] { close(); });
        break;
    case TfrmMain::EndRequest::Terminate:
        closing_ = true;
        QTimer::singleShot(0, qApp, &QApplication::quit);
        break;
    case TfrmMain::EndRequest::None:
        break;
    }
}

void MainWindow::syncList() {
    // During a run every reply adds and judges a row: new rows show at once,
    // but the marks of all rows are compared once a frame, not after each.
    model_->syncRows();
    if ((form_.Listing || form_.DeleteRunning) && marksShown_.isValid() && marksShown_.elapsed() < kMarksFrameMs) {
        if (!marksLater_.isActive()) marksLater_.start(kMarksFrameMs);
        return;
    }
    marksLater_.stop();
    marksShown_.restart();
    const auto [select, deselect] = model_->syncMarks();
    if (select.isEmpty() && deselect.isEmpty()) return;
    applyingSelection_ = true;
    list_->selectionModel()->select(deselect, QItemSelectionModel::Deselect);
    list_->selectionModel()->select(select, QItemSelectionModel::Select);
    applyingSelection_ = false;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!closing_) form_.FormCloseQuery();  // closing is always allowed
    closing_ = true;
    event->accept();
    QTimer::singleShot(0, qApp, &QApplication::quit);
}

// Whether the window is on screen decides if a run is attended.
void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    form_.visible = true;
}

void MainWindow::hideEvent(QHideEvent* event) {
    QMainWindow::hideEvent(event);
    form_.visible = false;
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && hidesWhenMinimised && hidesWhenMinimised())
        QTimer::singleShot(0, this, [this] { hide(); });
}

}  // namespace quorvel::ui
