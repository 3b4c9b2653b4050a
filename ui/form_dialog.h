#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "platform/form.h"

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace quorvel::ui {

// A modal dialog that draws a form's controls and forwards the user's input
// to the form's handlers; it decides nothing itself. Each widget carries its
// control's name, so the form can ask for the focus by name.
class FormDialog : public QDialog {
public:
    FormDialog(Form& form, QWidget* parent);
    ~FormDialog() override;

    // Redraws every control from the form's state.
    void sync();

protected:
    QLabel* label(Control& control, const char* name);
    QLineEdit* edit(Control& control, const char* name, std::function<void(const std::string&)> onEdit);
    // A drop-down list to choose from.
    QComboBox* choice(Control& control, const char* name, std::function<void(int)> onChoose);
    // A text field with a drop-down of suggestions.
    QComboBox* suggestions(Control& control, const char* name, std::function<void(const std::string&)> onEdit);
    QCheckBox* check(Control& control, const char* name, std::function<void(bool)> onClick);
    QRadioButton* radio(Control& control, const char* name, std::function<void()> onClick);
    QPushButton* button(Control& control, const char* name, std::function<void()> onClick);
    // OK and Cancel in a row on the right; OK closes only when the form says so.
    QLayout* okCancel(Control& ok, Control& cancel, std::function<void()> onOk, std::function<void()> onCancel);

    // Sizes the dialog to `width` and the height its wrapped texts need then.
    void fitWidth(int width);

    // What a dialog draws beyond its bound controls.
    virtual void syncMore() {}
    // Moves the focus to the named control when `requests` moved on.
    void applyFocus(const std::string& name, unsigned requests);

    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    template <class W>
    W* bind(W* widget, const char* name, Control& control);

    Form& form_;
    std::vector<std::pair<QWidget*, Control*>> bound_;
    std::function<void()> cancel_;
    unsigned focusRequests_ = 0;
    bool syncing_ = false;
};

}  // namespace quorvel::ui
