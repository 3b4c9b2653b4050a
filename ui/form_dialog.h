#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "platform/form.h"
#include "ui/control_binder.h"

class QLayout;

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
    // OK and Cancel in a row on the right; OK closes only when the form says so.
    QLayout* okCancel(Control& ok, Control& cancel, std::function<void()> onOk, std::function<void()> onCancel);

    // Sizes the dialog to `width` and the height its wrapped texts need then.
    void fitWidth(int width);

    // What a dialog draws beyond its bound controls.
    virtual void syncMore() {}

    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

    ControlBinder binder_;

private:
    Form& form_;
    std::function<void()> cancel_;
};

}  // namespace quorvel::ui
