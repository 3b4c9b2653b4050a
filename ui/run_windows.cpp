#include "ui/run_windows.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "ui/pictures.h"
#include "ui/text.h"

namespace quorvel::ui {

RetrievingWindow::RetrievingWindow(TfrmRetrieving& form, QWidget* parent)
    : QDialog(parent, Qt::Tool), form_(form) {
    setObjectName("frmRetrieving");
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    animation_ = plainLabel(this);
    animation_->setFixedSize(48, 32);
    animation_->setAccessibleName("Mail moving");
    top->addWidget(animation_);
    title_ = plainLabel(this);
    QFont bold = title_->font();
    bold.setBold(true);
    title_->setFont(bold);
    top->addWidget(title_, 1);
    layout->addLayout(top);
    auto* fields = new QFormLayout;
    server_ = plainLabel(this);
    mailbox_ = plainLabel(this);
    fields->addRow(plainLabel(this, fromBytes(form_.lblServerCaption.caption)), server_);
    fields->addRow(plainLabel(this, fromBytes(form_.lblMailboxCaption.caption)), mailbox_);
    layout->addLayout(fields);
    message_ = plainLabel(this);
    message_->setObjectName("lblMsg");
    layout->addWidget(message_);
    progress_ = new QProgressBar(this);
    progress_->setObjectName("progbar");
    progress_->setAccessibleName("Progress");
    layout->addWidget(progress_);
    cancel_ = new QPushButton(this);
    cancel_->setObjectName("btCancel");
    layout->addWidget(cancel_, 0, Qt::AlignCenter);
    connect(cancel_, &QPushButton::clicked, this, [this] { form_.btCancelClick(); });
    // A small envelope flying across, 10 frames of 300 ms.
    frames_.setInterval(300);
    connect(&frames_, &QTimer::timeout, this, [this] {
        frame_ = (frame_ + 1) % 10;
        QPixmap canvas(48, 32);
        canvas.fill(Qt::transparent);
        QPainter p(&canvas);
        p.drawPixmap(frame_ * 3, 4 + (frame_ % 2), picture("btLaunch", 24));
        p.end();
        animation_->setPixmap(canvas);
    });
    setMinimumWidth(360);
    form_.setChangedHandler([this] { sync(); });
    sync();
}

RetrievingWindow::~RetrievingWindow() {
    form_.setChangedHandler(nullptr);
}

void RetrievingWindow::sync() {
    if (drawn_[0].changed(form_.caption)) setWindowTitle(fromBytes(form_.caption));
    if (drawn_[1].changed(form_.lblServer.caption)) server_->setText(fromBytes(form_.lblServer.caption));
    if (drawn_[2].changed(form_.lblMailbox.caption)) mailbox_->setText(fromBytes(form_.lblMailbox.caption));
    if (drawn_[3].changed(form_.lblTitle.caption)) title_->setText(fromBytes(form_.lblTitle.caption));
    if (drawn_[4].changed(form_.lblMsg.caption)) message_->setText(fromBytes(form_.lblMsg.caption));
    progress_->setVisible(form_.progbar.visible);
    progress_->setMaximum(std::max(form_.progbarMax, 1));
    const int value = std::min(form_.progbar.value, progress_->maximum());
    if (value != progress_->value()) {
        // setValue repaints the bar at once whenever it grows visibly, which
        // in a long listing costs more than the rest of this window; the next
        // frame is soon enough.
        progress_->setUpdatesEnabled(false);
        progress_->setValue(value);
        progress_->setUpdatesEnabled(true);  // schedules the repaint
    }
    if (drawn_[5].changed(form_.btCancel.caption)) cancel_->setText(fromBytes(form_.btCancel.caption));
    if (form_.anMailRunning && !frames_.isActive()) frames_.start();
    if (!form_.anMailRunning) frames_.stop();
    if (form_.visible != isVisible()) {
        if (form_.visible) centre();
        setVisible(form_.visible);
    }
}

void RetrievingWindow::centre() {
    adjustSize();
    const QWidget* main = parentWidget();
    const bool mainShown = main && main->isVisible() && !main->isMinimized();
    const QScreen* on = mainShown ? main->screen() : screen();
    const QRect area = on->availableGeometry();
    QRect frame(QPoint(0, 0), frameGeometry().size().expandedTo(size()));
    frame.moveCenter(mainShown ? main->frameGeometry().center() : area.center());
    // The title bar must never be off the screen.
    frame.moveLeft(std::max(area.left(), std::min(frame.left(), area.right() - frame.width())));
    frame.moveTop(std::max(area.top(), std::min(frame.top(), area.bottom() - frame.height())));
    move(frame.topLeft());
}

void RetrievingWindow::closeEvent(QCloseEvent* event) {
    // Closing by the title bar is the cancel button.
    event->ignore();
    form_.btCancelClick();
}

WhichMailboxDialog::WhichMailboxDialog(TfrmWhichMailbox& form, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint), form_(form) {
    setObjectName("frmWhichMailbox");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(plainLabel(this, fromBytes(form_.lblQuestion.caption)));
    which_ = new QComboBox(this);
    which_->setObjectName("cbWhich");
    which_->setAccessibleName(fromBytes(form_.lblQuestion.caption));
    which_->setEditable(false);
    layout->addWidget(which_);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(fromBytes(form_.btOK.caption), QDialogButtonBox::AcceptRole);
    buttons->addButton(fromBytes(form_.btCancel.caption), QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        form_.cbWhich.itemIndex = which_->currentIndex();
        form_.btOKClick();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { form_.btCancelClick(); });
    layout->addWidget(buttons);
    form_.setChangedHandler([this] { sync(); });
    form_.FormShow();
}

WhichMailboxDialog::~WhichMailboxDialog() {
    form_.setChangedHandler(nullptr);
}

void WhichMailboxDialog::sync() {
    setWindowTitle(fromBytes(form_.caption));
    if (which_->count() != static_cast<int>(form_.cbWhich.items.size())) {
        which_->clear();
        for (const auto& item : form_.cbWhich.items) which_->addItem(fromBytes(item));
    }
    which_->setCurrentIndex(form_.cbWhich.itemIndex);
    if (form_.modalResult == ModalResult::Ok) accept();
    if (form_.modalResult == ModalResult::Cancel) reject();
}

int WhichMailboxDialog::showModal(Form& form) {
    auto& which = static_cast<TfrmWhichMailbox&>(form);
    WhichMailboxDialog dialog(which, QApplication::activeWindow());
    const int result = dialog.exec();
    if (which.modalResult == ModalResult::None) which.modalResult = ModalResult::Cancel;  // closed by the title bar
    return result;
}

}  // namespace quorvel::ui
