#include "ui/about_dialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/pictures.h"
#include "ui/text.h"

namespace quorvel::ui {

AboutDialog::AboutDialog(TfrmAbout& form, QWidget* parent) : QDialog(parent) {
    setObjectName(QString::fromStdString(form.name()));
    form.FormShow();
    setWindowTitle(fromBytes(form.caption));
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    auto* icon = plainLabel(this);
    icon->setPixmap(picture("imHammer", 64));
    icon->setAccessibleName("Quorvel");
    row->addWidget(icon);
    auto* text = plainLabel(this, fromBytes(form.lblVersion.caption) + "\n\n" + fromBytes(form.lblPoints.caption));
    text->setWordWrap(true);
    row->addWidget(text, 1);
    layout->addLayout(row);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    connect(this, &QDialog::finished, this, [&form] {
        form.modalResult = ModalResult::Ok;
        form.FormClose();
    });
    resize(420, 160);
}

int AboutDialog::showModal(Form& form) {
    AboutDialog dialog(static_cast<TfrmAbout&>(form), QApplication::activeWindow());
    return dialog.exec();
}

}  // namespace quorvel::ui
