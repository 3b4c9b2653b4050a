#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "config/frm_general.h"

class QAbstractButton;
class QBoxLayout;
class QLineEdit;
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
    using Handler = void (TfrmGeneral::*)();

    template <class W>
    W* bind(W* widget, const char* name, Control& control);
    QWidget* label(Control& control, const char* name);
    // `edited` runs after the user's edit reached the control.
    QLineEdit* edit(Control& control, const char* name, std::function<void()> edited = nullptr);
    QAbstractButton* check(Control& control, const char* name, Handler handler = nullptr);
    QAbstractButton* radio(Control& control, const char* name, std::function<void()> handler);
    QAbstractButton* button(Control& control, const char* name, Handler handler, bool small = false);
    QWidget* panel(Control& control, const char* name, QBoxLayout* layout);

    QWidget* mailboxesPage();
    QWidget* connectionPage();
    QWidget* automaticPage();
    QWidget* startUpPage();
    QWidget* activityLogPage();
    QWidget* mailProgramPage();
    void okClicked();
    void cancelClicked();
    void applyFocus();

    TfrmGeneral& form_;
    std::vector<std::pair<QWidget*, Control*>> bound_;
    QTabWidget* pages_ = nullptr;
    std::string focused_;
    bool syncing_ = false;
};

}  // namespace quorvel::ui
