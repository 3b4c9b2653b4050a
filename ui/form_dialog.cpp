#include "ui/form_dialog.h"

#include <algorithm>

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLayout>
#include <QPushButton>

#include "ui/pictures.h"

namespace quorvel::ui {

FormDialog::FormDialog(Form& form, QWidget* parent) : QDialog(parent), binder_(*this, form), form_(form) {
    setObjectName(QString::fromStdString(form.name()));
    setWindowIcon(programIcon());
    form_.setChangedHandler([this] { sync(); });
}

FormDialog::~FormDialog() {
    form_.setChangedHandler(nullptr);
}

QLayout* FormDialog::okCancel(Control& ok, Control& cancel, std::function<void()> onOk, std::function<void()> onCancel) {
    QPushButton* okButton = binder_.button(ok, "btOK", nullptr);
    okButton->setDefault(true);
    connect(okButton, &QPushButton::clicked, this, [this, onOk = std::move(onOk)] {
        onOk();
        if (form_.modalResult != ModalResult::None) accept();
    });
    cancel_ = [this, onCancel = std::move(onCancel)] {
        onCancel();
        reject();
    };
    QPushButton* cancelButton = binder_.button(cancel, "btCancel", [this] { cancel_(); });
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(okButton);
    row->addWidget(cancelButton);
    return row;
}

void FormDialog::fitWidth(int width) {
    layout()->activate();
    const int height = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width) : sizeHint().height();
    resize(width, std::max(height, minimumSizeHint().height()));
}

void FormDialog::sync() {
    binder_.sync();
    syncMore();
}

void FormDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && cancel_) {
        cancel_();
        return;
    }
    QDialog::keyPressEvent(event);
}

void FormDialog::closeEvent(QCloseEvent* event) {
    // The title bar's close box is Cancel.
    if (form_.modalResult == ModalResult::None) form_.modalResult = ModalResult::Cancel;
    QDialog::closeEvent(event);
}

}  // namespace quorvel::ui
