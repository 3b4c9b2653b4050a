#include "ui/oauth_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/text.h"

namespace quorvel::ui {

OAuthWindow::OAuthWindow(TfrmOAuth& f, QWidget* parent) : FormDialog(f, parent), form_(f) {
    setWindowTitle(fromBytes(form_.caption));
    auto* layout = new QVBoxLayout(this);
    QLabel* explain = binder_.label(form_.lblExplain, "lblExplain", true);
    layout->addWidget(explain);

    auto* fields = new QFormLayout;
    const auto add = [&](Control& label, const char* labelName, QWidget* field) {
        QLabel* caption = binder_.label(label, labelName);
        caption->setBuddy(field);
        binder_.labelled(field, label);
        fields->addRow(caption, field);
    };
    add(form_.lblProvider, "lblProvider",
        binder_.choice(form_.cbProvider, "cbProvider", [this] { form_.cbProviderChange(); }));
    add(form_.lblClientId, "lblClientId", binder_.edit(form_.edClientId, "edClientId"));
    add(form_.lblClientSecret, "lblClientSecret", binder_.edit(form_.edClientSecret, "edClientSecret"));
    add(form_.lblAuthorize, "lblAuthorize", binder_.edit(form_.edAuthorize, "edAuthorize"));
    add(form_.lblToken, "lblToken", binder_.edit(form_.edToken, "edToken"));
    add(form_.lblScope, "lblScope", binder_.edit(form_.edScope, "edScope"));
    // The address as a link the form opens; its text is the program's own
    // preset, drawn as a link and nothing else.
    link_ = new QLabel(this);
    link_->setObjectName("lnkRegister");
    link_->setTextFormat(Qt::RichText);
    link_->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    connect(link_, &QLabel::linkActivated, this, [this] { form_.lnkRegisterClick(); });
    QLabel* registerLabel = binder_.label(form_.lblRegister, "lblRegister");
    fields->addRow(registerLabel, link_);
    layout->addLayout(fields);

    layout->addWidget(binder_.label(form_.lblCommandNote, "lblCommandNote", true));
    auto* command = new QFormLayout;
    QLineEdit* commandField = binder_.edit(form_.edCommand, "edCommand");
    QLabel* commandLabel = binder_.label(form_.lblCommand, "lblCommand");
    commandLabel->setBuddy(commandField);
    binder_.labelled(commandField, form_.lblCommand);
    command->addRow(commandLabel, commandField);
    layout->addLayout(command);

    auto* signIn = new QHBoxLayout;
    signIn->addWidget(binder_.button(form_.btSignIn, "btSignIn", [this] {
        form_.btSignInClick();
        // A Cancel during the wait closes the window now that it has ended.
        if (form_.modalResult == ModalResult::Cancel && isVisible()) QDialog::reject();
    }));
    signIn->addWidget(binder_.label(form_.lblSignedIn, "lblSignedIn"), 1);
    layout->addLayout(signIn);
    layout->addStretch();
    layout->addLayout(okCancel(form_.btOK, form_.btCancel, [this] { form_.btOKClick(); },
                               [this] { form_.btCancelClick(); }));
    form_.FormShow();
    sync();
    fitWidth(640);
}

int OAuthWindow::showModal(Form& form) {
    OAuthWindow window(static_cast<TfrmOAuth&>(form), QApplication::activeWindow());
    const int result = window.exec();
    if (form.modalResult == ModalResult::None) form.modalResult = ModalResult::Cancel;
    return result;
}

void OAuthWindow::reject() {
    if (form_.signingIn()) {
        form_.btCancelClick();
        return;
    }
    QDialog::reject();
}

void OAuthWindow::closeEvent(QCloseEvent* event) {
    if (form_.signingIn()) {
        form_.btCancelClick();
        event->ignore();
        return;
    }
    FormDialog::closeEvent(event);
}

void OAuthWindow::syncMore() {
    const QString address = fromBytes(form_.lnkRegister.caption);
    link_->setText("<a href=\"" + address.toHtmlEscaped() + "\">" + address.toHtmlEscaped() + "</a>");
    link_->setVisible(form_.lnkRegister.visible);
    binder_.focus(form_.focusedControl);
}

}  // namespace quorvel::ui
