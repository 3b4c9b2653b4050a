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

GeneralWindow::GeneralWindow(TfrmGeneral& form, QWidget* parent)
    : QDialog(parent), form_(form), binder_(*this, form) {
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

    auto* ok = binder_.button(form_.btOK, "btOK", [this] { okClicked(); });
    ok->setDefault(true);
    auto* cancel = binder_.button(form_.btCancel, "btCancel", [this] { cancelClicked(); });
    auto* help = binder_.button(form_.btHelp, "btHelp", on(&TfrmGeneral::btHelpClick));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QWidget* w : {static_cast<QWidget*>(ok), static_cast<QWidget*>(cancel), static_cast<QWidget*>(help)})
        buttons->addWidget(w);
    layout->addLayout(buttons);
    resize(920, 580);

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

ControlBinder::Handler GeneralWindow::on(void (TfrmGeneral::*handler)()) {
    return [this, handler] { (form_.*handler)(); };
}

QWidget* GeneralWindow::mailboxesPage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    auto* grid = new QGridLayout;
    grid->addWidget(binder_.label(form_.lblPOPServer, "lblPOPServer"), 0, 1);
    grid->addWidget(binder_.label(form_.lblUserName, "lblUserName"), 0, 2);
    grid->addWidget(binder_.label(form_.lblPassword, "lblPassword"), 0, 3);
    grid->addWidget(binder_.label(form_.lblSecurity, "lblSecurity"), 0, 4);
    grid->addWidget(binder_.label(form_.lblSignIn, "lblSignIn"), 0, 5);
    grid->addWidget(binder_.label(form_.lblKeptIn, "lblKeptIn"), 0, 7);
    std::vector<QWidget*> tabOrder;
    for (int n = 1; n <= TfrmGeneral::kMailboxes; ++n) {
        const auto i = static_cast<std::size_t>(n - 1);
        const std::string number = std::to_string(n);
        // The names outlive this call: QObject copies them.
        QRadioButton* choose = binder_.radio(form_.rb[i], ("rb" + number).c_str(), [this, n] { form_.rbMailboxClick(n); });
        grid->addWidget(choose, n, 0);
        tabOrder.push_back(choose);
        // Made in the order Tab visits them: across the row, then the next row.
        QLineEdit* server =
            binder_.edit(form_.edServe[i], ("edServe" + number).c_str(), [this, n] { form_.edServeChange(n); });
        QLineEdit* name = binder_.edit(form_.edName[i], ("edName" + number).c_str());
        QLineEdit* password = binder_.edit(form_.edPass[i], ("edPass" + number).c_str());
        password->setEchoMode(QLineEdit::Password);
        // Each field is named by its column and its mailbox.
        const std::pair<QWidget*, const Control*> cells[] = {
            {server, &form_.lblPOPServer},
            {name, &form_.lblUserName},
            {password, &form_.lblPassword},
            {binder_.choice(form_.cbSecurity[i], ("cbSecurity" + number).c_str(), [this, n] { form_.cbSecurityChange(n); }),
             &form_.lblSecurity},
            {binder_.choice(form_.cbSignIn[i], ("cbSignIn" + number).c_str(), [this, n] { form_.cbSignInChange(n); }),
             &form_.lblSignIn},
            {binder_.toolButton(form_.sbOAuth[i], ("sbOAuth" + number).c_str(), [this, n] { form_.sbOAuthClick(n); }),
             &form_.lblSignIn},
        };
        int column = 1;
        for (const auto& [field, heading] : cells) {
            binder_.labelled(field, *heading, &form_.rb[i]);
            grid->addWidget(field, n, column);
            ++column;
            tabOrder.push_back(field);
        }
        grid->addWidget(binder_.label(form_.lblKept[i], ("lblKept" + number).c_str()), n, 7);
    }
    // A password typed after Tab from the user name must land in its field.
    for (std::size_t k = 1; k < tabOrder.size(); ++k) QWidget::setTabOrder(tabOrder[k - 1], tabOrder[k]);
    grid->setColumnStretch(1, 3);
    grid->setColumnStretch(2, 3);
    grid->setColumnStretch(3, 2);
    auto* form = binder_.label(form_.lblServerForm, "lblServerForm", true);
    layout->addLayout(grid);
    layout->addWidget(form);
    layout->addWidget(binder_.label(form_.lblFirstRunRule, "lblFirstRunRule", true));
    layout->addWidget(binder_.check(form_.cbKeyring, "cbKeyring"));
    // The warning with the system's warning sign; both show while it has a text.
    auto* sign = new QLabel(this);
    const int size = style()->pixelMetric(QStyle::PM_SmallIconSize);
    sign->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(size, size));
    sign->setAccessibleName("Warning");
    QLabel* warning = binder_.label(form_.lblSecurityWarning, "lblSecurityWarning", true);
    auto* warningRow = new QHBoxLayout;
    warningRow->addWidget(sign, 0, Qt::AlignTop);
    warningRow->addWidget(warning, 1);
    layout->addWidget(binder_.panel(form_.lblSecurityWarning, "pnlSecurityWarning", warningRow));
    auto* certificate = binder_.label(form_.lblCertificate, "lblCertificate");
    certificate->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(certificate);
    layout->addLayout(row({binder_.button(form_.btForgetCertificate, "btForgetCertificate",
                                          on(&TfrmGeneral::btForgetCertificateClick))},
                          true));
    layout->addStretch();
    return page;
}

QWidget* GeneralWindow::connectionPage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(binder_.label(form_.lblConnection, "lblConnection"));
    QComboBox* list = binder_.choice(form_.RASComboBox, "RASComboBox");
    binder_.labelled(list, form_.lblConnection);
    list->setMinimumWidth(240);
    layout->addLayout(row({list}, true));
    layout->addWidget(binder_.label(form_.lblNoConnection, "lblNoConnection"));
    layout->addWidget(binder_.check(form_.cbRememberListed, "cbRememberListed"));
    layout->addStretch();
    return page;
}

QWidget* GeneralWindow::automaticPage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(binder_.radio(form_.rbManual, "rbManual", [this] { form_.rbManualClick(); }));
    layout->addWidget(binder_.radio(form_.rbAuto, "rbAuto", [this] { form_.rbAutoClick(); }));

    auto* manual = new QVBoxLayout;
    manual->addWidget(binder_.check(form_.cbConfirmation, "cbConfirmation"));
    manual->addWidget(binder_.check(form_.cbLaunch, "cbLaunch"));
    manual->addWidget(binder_.check(form_.cbExit, "cbExit"));
    manual->addStretch();
    layout->addWidget(binder_.panel(form_.pnlManual, "pnlManual", manual), 1);

    auto* automatic = new QVBoxLayout;
    QSpinBox* minutes = binder_.number(form_.nMinutes, "nMinutes", TfrmGeneral::kMinMinutes, TfrmGeneral::kMaxMinutes);
    binder_.labelled(minutes, form_.lblEvery, &form_.lblMinutes);
    automatic->addLayout(row({binder_.label(form_.lblEvery, "lblEvery"), minutes, binder_.label(form_.lblMinutes, "lblMinutes")}, true));
    automatic->addWidget(binder_.check(form_.cbKill, "cbKill", on(&TfrmGeneral::cbKillClick)));
    auto* sound = new QVBoxLayout;
    sound->addWidget(binder_.check(form_.cbAlarm, "cbAlarm"));
    sound->addWidget(binder_.check(form_.cbRepeat, "cbRepeat"));
    sound->addLayout(row({binder_.labelled(binder_.edit(form_.edAlarm, "edAlarm"), form_.cbAlarm),
                          binder_.toolButton(form_.sbAlarmFile, "sbAlarmFile", on(&TfrmGeneral::sbAlarmFileClick)),
                          binder_.button(form_.sbTest, "sbTest", on(&TfrmGeneral::sbTestClick))}));
    automatic->addWidget(binder_.panel(form_.pnlSound, "pnlSound", sound));
    automatic->addStretch();
    layout->addWidget(binder_.panel(form_.pnlAuto, "pnlAuto", automatic), 1);
    return page;
}

QWidget* GeneralWindow::startUpPage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(binder_.check(form_.cbSysTray, "cbSysTray"));
    layout->addWidget(binder_.check(form_.cbAutostart, "cbAutostart"));
    layout->addStretch();
    return page;
}

QWidget* GeneralWindow::activityLogPage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(binder_.label(form_.lblLogFile, "lblLogFile"));
    layout->addLayout(
        row({binder_.labelled(binder_.edit(form_.Edit1, "Edit1"), form_.lblLogFile), binder_.toolButton(form_.sbLogFile, "sbLogFile", on(&TfrmGeneral::sbLogFileClick))}));
    layout->addWidget(binder_.radio(form_.rbAsIs, "rbAsIs", [this] { form_.rbAsIsClick(); }));
    layout->addWidget(binder_.radio(form_.rbMonth, "rbMonth", [this] { form_.rbMonthClick(); }));
    layout->addWidget(binder_.radio(form_.rbQuarter, "rbQuarter", [this] { form_.rbQuarterClick(); }));
    layout->addLayout(row({binder_.button(form_.btView, "btView", on(&TfrmGeneral::btViewClick)),
                           binder_.button(form_.btClear, "btClear", on(&TfrmGeneral::btClearClick)),
                           binder_.button(form_.btStats, "btStats", on(&TfrmGeneral::btStatsClick))},
                          true));
    QLineEdit* count = binder_.labelled(binder_.edit(form_.edCount, "edCount"), form_.lblCount);
    // The counter is the program's own tally: only the reset button changes it here.
    count->setReadOnly(true);
    count->setMaximumWidth(90);
    count->setAlignment(Qt::AlignRight);
    auto* countRow = new QHBoxLayout;
    countRow->addWidget(count);
    countRow->addWidget(binder_.label(form_.lblCount, "lblCount"));
    countRow->addStretch();
    layout->addLayout(countRow);
    layout->addLayout(row({binder_.button(form_.btReset, "btReset", on(&TfrmGeneral::btResetClick))}, true));
    layout->addStretch();
    return page;
}

QWidget* GeneralWindow::mailProgramPage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(binder_.label(form_.lblMail, "lblMail"));
    layout->addLayout(
        row({binder_.labelled(binder_.edit(form_.edMail, "edMail"), form_.lblMail), binder_.toolButton(form_.sbMailer, "sbMailer", on(&TfrmGeneral::sbMailerClick))}));
    layout->addLayout(row({binder_.button(form_.btLaunch, "btLaunch", on(&TfrmGeneral::btLaunchClick))}, true));
    layout->addStretch();
    return page;
}

void GeneralWindow::sync() {
    syncing_ = true;
    binder_.sync();
    for (std::size_t i = 0; i < TfrmGeneral::kPages.size(); ++i)
        if (form_.activePage == TfrmGeneral::kPages[i]) pages_->setCurrentIndex(static_cast<int>(i));
    syncing_ = false;
    binder_.focus(form_.focusedControl);
}

void GeneralWindow::okClicked() {
    // A field being edited may hold a focus request that must come again.
    binder_.forgetFocus();
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
