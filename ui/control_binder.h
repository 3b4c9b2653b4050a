#pragma once

#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "platform/form.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLayout;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QToolButton;
class QWidget;

namespace quorvel::ui {

// Ties a form's controls to the widgets of its window. Each maker creates a
// widget named after its control, writes the user's input into the control
// before it calls the handler, and sync() draws every control from its state:
// caption, hint, visible, enabled, checked, text, items and item index, all
// as plain text. A new control needs one line in its window.
class ControlBinder {
public:
    using Handler = std::function<void()>;

    ControlBinder(QWidget& window, Form& form);

    // Draws `control` on a widget the window made itself.
    template <class W>
    W* bind(W* widget, const char* name, Control& control) {
        add(widget, name, control);
        return widget;
    }

    QLabel* label(Control& control, const char* name, bool wrap = false);
    QLineEdit* edit(Control& control, const char* name, Handler edited = nullptr);
    // A drop-down list to choose from.
    QComboBox* choice(Control& control, const char* name, Handler chosen = nullptr);
    // A text field with a drop-down of suggestions.
    QComboBox* suggestions(Control& control, const char* name, Handler edited = nullptr);
    QSpinBox* number(Control& control, const char* name, int min, int max, Handler changed = nullptr);
    QCheckBox* check(Control& control, const char* name, Handler clicked = nullptr);
    // The form keeps its choices exclusive; it may also leave none checked.
    QRadioButton* radio(Control& control, const char* name, Handler clicked);
    // Enter means OK wherever the focus is: no button but OK is a default.
    QPushButton* button(Control& control, const char* name, Handler clicked);
    // A small button: the control's picture (arrows included) or its caption.
    QToolButton* toolButton(Control& control, const char* name, Handler clicked);
    // A box of widgets shown and hidden as one.
    QWidget* panel(Control& control, const char* name, QLayout* layout);

    // `field` is announced by the caption of `label` (a label, or the choice
    // it belongs to), followed by that of `row` where it stands in a table.
    template <class W>
    W* labelled(W* field, const Control& label, const Control* row = nullptr) {
        labelled_.push_back({field, &label, row});
        return field;
    }

    // Draws every control; with `usable` false every one is disabled (the
    // window is busy).
    void sync(bool usable = true);
    bool syncing() const { return syncing_; }

    // Moves the focus to the named widget when (name, request) differs from
    // the last one taken, so the user's own moves stand between requests.
    void focus(const std::string& name, unsigned request = 0);
    // The next request is taken even if it names the last one's widget.
    void forgetFocus() { focusedName_.clear(); }

private:
    struct Bound {
        QWidget* widget;
        Control* control;
    };
    void add(QWidget* widget, const char* name, Control& control);
    void draw(const Bound& bound, bool usable);

    QWidget& window_;
    Form& form_;
    std::vector<Bound> bound_;
    struct Labelled {
        QWidget* field;
        const Control* label;
        const Control* row;
    };
    std::vector<Labelled> labelled_;
    std::string focusedName_;
    unsigned focusRequest_ = 0;
    bool syncing_ = false;
};

// A caption without its mnemonic marks, as a screen reader says it.
QString withoutMnemonic(const QString& caption);
// An option the core turns on and off: the toolkit does not switch the others.
void leaveChoiceToCore(QRadioButton* option);

}  // namespace quorvel::ui
