#pragma once

#include "config/frm_oauth.h"
#include "ui/form_dialog.h"

class QLabel;

namespace quorvel::ui {

// Draws TfrmOAuth, a mailbox's OAuth 2.0 settings, and forwards the user's
// input to it.
class OAuthWindow : public FormDialog {
public:
    OAuthWindow(TfrmOAuth& form, QWidget* parent = nullptr);
    static int showModal(Form& form);

private:
    void syncMore() override;
    // Cancel, Escape and the close box while the browser is awaited end the
    // wait first; the window closes once it has ended.
    void reject() override;
    void closeEvent(QCloseEvent* event) override;
    TfrmOAuth& form_;
    QLabel* link_ = nullptr;
};

}  // namespace quorvel::ui
