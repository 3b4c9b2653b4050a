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
    TfrmOAuth& form_;
    QLabel* link_ = nullptr;
};

}  // namespace quorvel::ui
