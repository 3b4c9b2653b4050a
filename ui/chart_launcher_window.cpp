#include "ui/chart_launcher_window.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/chart_common.h"
#include "ui/pictures.h"
#include "ui/text.h"

namespace quorvel::ui {

ChartLauncherWindow::ChartLauncherWindow(TfrmChartMain& form, QWidget* parent) : QDialog(parent), form_(form) {
    setObjectName(QString::fromStdString(form.name()));
    setWindowIcon(programIcon());
    setWindowTitle(fromBytes(form.caption));
    form_.OnWaitCursor = [](bool on) { showWaitCursor(on); };

    title_ = plainLabel(this);
    title_->setObjectName("lblTitle");
    QFont big = title_->font();
    big.setPointSizeF(big.pointSizeF() * 1.5);
    big.setBold(true);
    title_->setFont(big);
    title_->setAlignment(Qt::AlignCenter);
    open_ = plainLabel(this);
    path_ = new QLineEdit(this);
    path_->setObjectName("edLogFile");
    open_->setBuddy(path_);
    connect(path_, &QLineEdit::textEdited, this, [this](const QString& text) { form_.edLogFile.text = toBytes(text); });
    browse_ = new QToolButton(this);
    browse_->setObjectName("sbBrowse");
    connect(browse_, &QToolButton::clicked, this, [this] { form_.sbBrowseClick(); });
    progress_ = new QProgressBar(this);
    progress_->setObjectName("ProgressBar1");
    progress_->setAccessibleName("Progress");
    progress_->setRange(0, 1000);
    progress_->setTextVisible(false);
    ok_ = new QPushButton(this);
    ok_->setObjectName("btOK");
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, [this] { form_.btOKClick(); });
    cancel_ = new QPushButton(this);
    cancel_->setObjectName("btCancel");
    cancel_->setAutoDefault(false);
    connect(cancel_, &QPushButton::clicked, this, [this] { reject(); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title_);
    layout->addSpacing(8);
    layout->addWidget(open_);
    auto* row = new QHBoxLayout;
    row->addWidget(path_, 1);
    row->addWidget(browse_);
    layout->addLayout(row);
    layout->addWidget(progress_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    layout->addStretch();
    layout->addLayout(buttons);
    resize(460, 200);

    form_.setChangedHandler([this] { sync(); });
    form_.visible = true;
    form_.FormShow();
    sync();
}

ChartLauncherWindow::~ChartLauncherWindow() {
    form_.setChangedHandler(nullptr);
    form_.OnWaitCursor = nullptr;
}

int ChartLauncherWindow::showModal(Form& form) {
    launcherParent() = visibleActiveWindow();
    ChartLauncherWindow window(static_cast<TfrmChartMain&>(form), launcherParent());
    return window.exec();
}

void ChartLauncherWindow::sync() {
    title_->setText(fromBytes(form_.lblTitle.caption));
    open_->setText(fromBytes(form_.lblOpen.caption));
    if (path_->text() != fromBytes(form_.edLogFile.text)) path_->setText(fromBytes(form_.edLogFile.text));
    browse_->setText(fromBytes(form_.sbBrowse.caption));
    browse_->setToolTip(fromBytes(form_.sbBrowse.hint));
    browse_->setEnabled(form_.sbBrowse.enabled);
    path_->setEnabled(form_.sbBrowse.enabled);
    progress_->setVisible(form_.ProgressBar1.visible);
    progress_->setValue(form_.ProgressBar1.value);
    ok_->setText(fromBytes(form_.btOK.caption));
    ok_->setEnabled(form_.btOK.enabled);
    cancel_->setText(fromBytes(form_.btCancel.caption));
    if (form_.modalResult != ModalResult::None) {
        done(form_.modalResult == ModalResult::Ok ? Accepted : Rejected);
        return;
    }
    if (!form_.visible && isVisible()) hide();
}

void ChartLauncherWindow::reject() {
    form_.btCancelClick();  // while reading, this only stops the reading
}

void ChartLauncherWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    reject();
}

}  // namespace quorvel::ui
