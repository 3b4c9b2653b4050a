#pragma once

#include <QDialog>

#include "app/frm_about.h"

namespace quorvel::ui {

class AboutDialog : public QDialog {
public:
    explicit AboutDialog(TfrmAbout& form, QWidget* parent = nullptr);
    // Shows the form modally, as the program's modal-window request does.
    static int showModal(Form& form);
};

}  // namespace quorvel::ui
