#include "ui/general_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/pictures.h"
#include "ui/text.h"

namespace quorvel::ui {

namespace {

// An edit field shows the button-face colour, and the window colour while
// it holds the focus. Passwords show as "*".
constexpr const char* kStyle =
    "QLineEdit, QSpinBox { background-color: palette(button); }"
    "QLineEdit:focus, QSpinBox:focus { background-color: palette(base); }"
    "QLineEdit[echoMode=\"2\"] { lineedit-password-character: 42; }";

QHBoxLayout* row(std::initializer_list<QWidget*> widgets, bool stretch = false) {
    auto* layout = new QHBoxLayout;
    for (QWidget* w : widgets) layout->addWidget(w, qobject_cast<QLineEdit*>(w) ? 1 : 0);
    if (stretch) layout->addStretch();
    return layout;
}

}  // namespace

GeneralWindow::GeneralWindow(TfrmGeneral& form, QWidget* parent) : QDialog(parent), form_(form) {
    setObjectName(QString::fromStdString(form.name()));
    setWindowIcon(programIcon());
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setStyleSheet(kStyle);

    auto* layout = new QVBoxLayout(this);
    pages_ = new QTabWidget(this);
    pages_->setObjectName("PageControl1");
    pages_->addTab(mailboxesPage(), TfrmGeneral::kPages[0]);
    pages_->addTab(connectionPage(), TfrmGeneral::kPages[1]);
    pages_->addTab(automaticPage(), TfrmGeneral::kPages[2]);
    pages_->addTab(startUpPage(), TfrmGeneral::kPages[3]);
    pages_->addTab(activityLogPage(), TfrmGeneral::kPages[4]);
    pages_->addTab(mailProgramPage(), TfrmGeneral::kPages[5]);
    connect(pages_, &QTabWidget::currentChanged, this, [this](int index) {
        if (!syncing_ && index >= 0) form_.activePage = TfrmGeneral::kPages[static_cast<std::size_t>(index)];
    });
    layout->addWidget(pages_, 1);

    auto* ok = qobject_cast<QPushButton*>(button(form_.btOK, "btOK", nullptr));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] { okClicked(); });
    auto* cancel = button(form_.btCancel, "btCancel", nullptr);
    connect(cancel, &QAbstractButton::clicked, this, [this] { cancelClicked(); });
    auto* help = button(form_.btHelp, "btHelp", &TfrmGeneral::btHelpClick);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QWidget* w : {static_cast<QWidget*>(ok), static_cast<QWidget*>(cancel), static_cast<QWidget*>(help)})
        buttons->addWidget(w);
    layout->addLayout(buttons);
    resize(760, 520);

    form_.setChangedHandler([this] { sync(); });
    form_.FormShow();
    sync();
}

GeneralWindow::~GeneralWindow() {
    form_.setChangedHandler(nullptr);
}

int GeneralWindow::showModal(Form& form) {
    GeneralWindow window(static_cast<TfrmGeneral&>(form), QApplication::activeWindow());
    return window.exec();
}

template <class W>
W* GeneralWindow::bind(W* widget, const char* name, Control& control) {
    widget->setObjectName(name);
    bound_.emplace_back(widget, &control);
    return widget;
}

QWidget* GeneralWindow::label(Control& control, const char* name) {
    return bind(plainLabel(this), name, control);
}

QLineEdit* GeneralWindow::edit(Control& control, const char* name, std::function<void()> edited) {
    auto* field = bind(new QLineEdit(this), name, control);
    connect(field, &QLineEdit::textEdited, this, [&control, edited = std::move(edited)](const QString& text) {
        control.text = toBytes(text);
        if (edited) edited();
    });
    return field;
}

QAbstractButton* GeneralWindow::check(Control& control, const char* name, Handler handler) {
    auto* box = bind(new QCheckBox(this), name, control);
    connect(box, &QCheckBox::clicked, this, [this, &control, handler](bool checked) {
        control.checked = checked;
        if (handler) (form_.*handler)();
    });
    return box;
}

QAbstractButton* GeneralWindow::radio(Control& control, const char* name, std::function<void()> handler) {
    auto* button = bind(new QRadioButton(this), name, control);
    // The form keeps its groups exclusive; it may also leave none checked.
    button->setAutoExclusive(false);
    connect(button, &QRadioButton::clicked, this, [handler = std::move(handler)] { handler(); });
    return button;
}

QAbstractButton* GeneralWindow::button(Control& control, const char* name, Handler handler, bool small) {
    QAbstractButton* b = nullptr;
    if (small) {
        b = new QToolButton(this);
    } else {
        auto* push = new QPushButton(this);
        push->setAutoDefault(false);  // Enter means OK, wherever the focus is
        b = push;
    }
    bind(b, name, control);
    if (handler) connect(b, &QAbstractButton::clicked, this, [this, handler] { (form_.*handler)(); });
    return b;
}

QWidget* GeneralWindow::panel(Control& control, const char* name, QBoxLayout* layout) {
    auto* widget = bind(new QWidget(this), name, control);
    layout->setContentsMargins(0, 0, 0, 0);
    widget->setLayout(layout);
    return widget;
}

QWidget* GeneralWindow::mailboxesPage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    auto* grid = new QGridLayout;
    grid->addWidget(label(form_.lblPOPServer, "lblPOPServer"), 0, 1);
    grid->addWidget(label(form_.lblUserName, "lblUserName"), 0, 2);
    grid->addWidget(label(form_.lblPassword, "lblPassword"), 0, 3);
    grid->addWidget(label(form_.lblSecurity, "lblSecurity"), 0, 4);
    grid->addWidget(label(form_.lblAPOP, "lblAPOP"), 0, 5, Qt::AlignHCenter);
    for (int n = 1; n <= TfrmGeneral::kMailboxes; ++n) {
        const auto i = static_cast<std::size_t>(n - 1);
        const std::string number = std::to_string(n);
        // The names outlive this call: QObject copies them.
        grid->addWidget(radio(form_.rb[i], ("rb" + number).c_str(), [this, n] { form_.rbMailboxClick(n); }), n, 0);
        grid->addWidget(edit(form_.edServe[i], ("edServe" + number).c_str(), [this, n] { form_.edServeChange(n); }),
                        n, 1);
        grid->addWidget(edit(form_.edName[i], ("edName" + number).c_str()), n, 2);
        QLineEdit* password = edit(form_.edPass[i], ("edPass" + number).c_str());
        password->setEchoMode(QLineEdit::Password);
        grid->addWidget(password, n, 3);
        auto* security = bind(new QComboBox(this), ("cbSecurity" + number).c_str(), form_.cbSecurity[i]);
        connect(security, &QComboBox::activated, this, [this, i, n](int index) {
            form_.cbSecurity[i].itemIndex = index;
            form_.cbSecurityChange(n);
        });
        grid->addWidget(security, n, 4);
        grid->addWidget(check(form_.cbAPOP[i], ("cbAPOP" + number).c_str()), n, 5, Qt::AlignHCenter);
    }
    grid->setColumnStretch(1, 3);
    grid->setColumnStretch(2, 3);
    grid->setColumnStretch(3, 2);
    auto* form = static_cast<QLabel*>(label(form_.lblServerForm, "lblServerForm"));
    form->setWordWrap(true);
    grid->addWidget(form, TfrmGeneral::kMailboxes + 1, 0, 1, 6);
    auto* firstRule = static_cast<QLabel*>(label(form_.lblFirstRunRule, "lblFirstRunRule"));
    firstRule->setWordWrap(true);
    grid->addWidget(firstRule, TfrmGeneral::kMailboxes + 2, 0, 1, 6);
    layout->addLayout(grid);
    // The warning with the system's warning sign; both show while it has a text.
    auto* sign = new QLabel(this);
    const int size = style()->pixelMetric(QStyle::PM_SmallIconSize);
    sign->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(size, size));
    auto* warning = qobject_cast<QLabel*>(label(form_.lblSecurityWarning, "lblSecurityWarning"));
    warning->setWordWrap(true);
    auto* warningRow = new QHBoxLayout;
    warningRow->addWidget(sign, 0, Qt::AlignTop);
    warningRow->addWidget(warning, 1);
    layout->addWidget(panel(form_.lblSecurityWarning, "pnlSecurityWarning", warningRow));
    layout->addStretch();
    return page;
}

QWidget* GeneralWindow::connectionPage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(label(form_.lblConnection, "lblConnection"));
    auto* list = bind(new QComboBox(this), "RASComboBox", form_.RASComboBox);
    list->setMinimumWidth(240);
    connect(list, &QComboBox::activated, this, [this](int index) { form_.RASComboBox.itemIndex = index; });
    layout->addLayout(row({list}, true));
    layout->addWidget(label(form_.lblNoConnection, "lblNoConnection"));
    layout->addStretch();
    return page;
}

QWidget* GeneralWindow::automaticPage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(radio(form_.rbManual, "rbManual", [this] { form_.rbManualClick(); }));
    layout->addWidget(radio(form_.rbAuto, "rbAuto", [this] { form_.rbAutoClick(); }));

    auto* manual = new QVBoxLayout;
    manual->addWidget(check(form_.cbConfirmation, "cbConfirmation"));
    manual->addWidget(check(form_.cbLaunch, "cbLaunch"));
    manual->addWidget(check(form_.cbExit, "cbExit"));
    manual->addStretch();
    layout->addWidget(panel(form_.pnlManual, "pnlManual", manual), 1);

    auto* automatic = new QVBoxLayout;
    auto* minutes = bind(new QSpinBox(this), "nMinutes", form_.nMinutes);
    minutes->setRange(TfrmGeneral::kMinMinutes, TfrmGeneral::kMaxMinutes);
    connect(minutes, &QSpinBox::valueChanged, this, [this](int value) {
        if (!syncing_) form_.nMinutes.value = value;
    });
    automatic->addLayout(row({label(form_.lblEvery, "lblEvery"), minutes, label(form_.lblMinutes, "lblMinutes")}, true));
    automatic->addWidget(check(form_.cbKill, "cbKill", &TfrmGeneral::cbKillClick));
    auto* sound = new QVBoxLayout;
    sound->addWidget(check(form_.cbAlarm, "cbAlarm"));
    sound->addWidget(check(form_.cbRepeat, "cbRepeat"));
    sound->addLayout(row({edit(form_.edAlarm, "edAlarm"),
                          button(form_.sbAlarmFile, "sbAlarmFile", &TfrmGeneral::sbAlarmFileClick, true),
                          button(form_.sbTest, "sbTest", &TfrmGeneral::sbTestClick)}));
    automatic->addWidget(panel(form_.pnlSound, "pnlSound", sound));
    automatic->addStretch();
    layout->addWidget(panel(form_.pnlAuto, "pnlAuto", automatic), 1);
    return page;
}

QWidget* GeneralWindow::startUpPage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(check(form_.cbSysTray, "cbSysTray"));
    layout->addWidget(check(form_.cbAutostart, "cbAutostart"));
    layout->addStretch();
    return page;
}

QWidget* GeneralWindow::activityLogPage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(label(form_.lblLogFile, "lblLogFile"));
    layout->addLayout(
        row({edit(form_.Edit1, "Edit1"), button(form_.sbLogFile, "sbLogFile", &TfrmGeneral::sbLogFileClick, true)}));
    layout->addWidget(radio(form_.rbAsIs, "rbAsIs", [this] { form_.rbAsIsClick(); }));
    layout->addWidget(radio(form_.rbMonth, "rbMonth", [this] { form_.rbMonthClick(); }));
    layout->addWidget(radio(form_.rbQuarter, "rbQuarter", [this] { form_.rbQuarterClick(); }));
    layout->addLayout(row({button(form_.btView, "btView", &TfrmGeneral::btViewClick),
                           button(form_.btClear, "btClear", &TfrmGeneral::btClearClick),
                           button(form_.btStats, "btStats", &TfrmGeneral::btStatsClick)},
                          true));
    QLineEdit* count = edit(form_.edCount, "edCount");
    // The counter is the program's own tally: only the reset button changes it here.
    count->setReadOnly(true);
    count->setMaximumWidth(90);
    count->setAlignment(Qt::AlignRight);
    auto* countRow = new QHBoxLayout;
    countRow->addWidget(count);
    countRow->addWidget(label(form_.lblCount, "lblCount"));
    countRow->addStretch();
    layout->addLayout(countRow);
    layout->addLayout(row({button(form_.btReset, "btReset", &TfrmGeneral::btResetClick)}, true));
    layout->addStretch();
    return page;
}

QWidget* GeneralWindow::mailProgramPage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(label(form_.lblMail, "lblMail"));
    layout->addLayout(
        row({edit(form_.edMail, "edMail"), button(form_.sbMailer, "sbMailer", &TfrmGeneral::sbMailerClick, true)}));
    layout->addLayout(row({button(form_.btLaunch, "btLaunch", &TfrmGeneral::btLaunchClick)}, true));
    layout->addStretch();
    return page;
}

void GeneralWindow::sync() {
    syncing_ = true;
    setWindowTitle(fromBytes(form_.caption));
    for (auto& [widget, control] : bound_) {
        if (auto* field = qobject_cast<QLineEdit*>(widget)) {
            const QString text = fromBytes(control->text);
            if (field->text() != text) field->setText(text);
        } else if (auto* b = qobject_cast<QAbstractButton*>(widget)) {
            b->setText(fromBytes(control->caption));
            b->setToolTip(fromBytes(control->hint));
            if (b->isCheckable()) b->setChecked(control->checked);
        } else if (auto* text = qobject_cast<QLabel*>(widget)) {
            text->setText(fromBytes(control->caption));
        } else if (auto* spin = qobject_cast<QSpinBox*>(widget)) {
            spin->setValue(control->value);
        } else if (auto* list = qobject_cast<QComboBox*>(widget)) {
            QStringList items;
            for (const auto& item : control->items) items << fromBytes(item);
            QStringList shown;
            for (int i = 0; i < list->count(); ++i) shown << list->itemText(i);
            if (shown != items) {
                list->clear();
                list->addItems(items);
            }
            list->setCurrentIndex(control->itemIndex);
            list->setToolTip(fromBytes(control->hint));
        }
        widget->setEnabled(control->enabled);
        widget->setVisible(control->visible);
    }
    for (std::size_t i = 0; i < TfrmGeneral::kPages.size(); ++i)
        if (form_.activePage == TfrmGeneral::kPages[i]) pages_->setCurrentIndex(static_cast<int>(i));
    syncing_ = false;
    applyFocus();
}

void GeneralWindow::applyFocus() {
    // Only a new request moves the focus; the user's own moves stand.
    if (form_.focusedControl == focused_) return;
    focused_ = form_.focusedControl;
    if (focused_.empty()) return;
    if (auto* target = findChild<QWidget*>(QString::fromStdString(focused_))) target->setFocus(Qt::OtherFocusReason);
}

void GeneralWindow::okClicked() {
    // A field being edited may hold a focus request that must come again.
    focused_.clear();
    form_.btOKClick();
    if (form_.modalResult != ModalResult::None) accept();
}

void GeneralWindow::cancelClicked() {
    form_.btCancelClick();
    reject();
}

void GeneralWindow::closeEvent(QCloseEvent* event) {
    // The title bar's close box neither saves nor reads back.
    if (form_.modalResult == ModalResult::None) form_.modalResult = ModalResult::Cancel;
    QDialog::closeEvent(event);
}

void GeneralWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        cancelClicked();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace quorvel::ui
