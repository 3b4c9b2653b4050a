#pragma once

#include <QDialog>

#include "config/frm_general.h"
#include "ui/control_binder.h"

class QTabWidget;

namespace quorvel::ui {

// Draws TfrmGeneral and forwards the user's input and clicks to it; decides
// nothing itself. Each widget carries its control's name.
class GeneralWindow : public QDialog {
    Q_OBJECT
public:
    explicit GeneralWindow(TfrmGeneral& form, QWidget* parent = nullptr);
    ~GeneralWindow() override;

    // Shows the form modally, as the program's modal-window request does.
    static int showModal(Form& form);

    // Redraws every control from the form's state.
    void sync();
    QTabWidget* pages() const { return pages_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // A form handler as the binder calls it.
    ControlBinder::Handler on(void (TfrmGeneral::*handler)());

    QWidget* mailboxesPage();
    QWidget* connectionPage();
    QWidget* automaticPage();
    QWidget* startUpPage();
    QWidget* activityLogPage();
    QWidget* mailProgramPage();
    void okClicked();
    void cancelClicked();

    TfrmGeneral& form_;
    ControlBinder binder_;
    QTabWidget* pages_ = nullptr;
    bool syncing_ = false;
};

}  // namespace quorvel::ui
