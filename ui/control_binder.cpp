#include "ui/control_binder.h"

#include <algorithm>

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTextDocument>
#include <QToolButton>

#include "ui/pictures.h"
#include "ui/text.h"

namespace quorvel::ui {

namespace {

// A pattern may be long: the field's own limit (32767) would cut it.
constexpr int kMaxTextLength = 1 << 24;

void setItems(QComboBox* list, const std::vector<std::string>& items) {
    QStringList wanted;
    for (const auto& item : items) wanted << fromBytes(item);
    QStringList shown;
    for (int i = 0; i < list->count(); ++i) shown << list->itemText(i);
    if (shown == wanted) return;
    const QString text = list->currentText();
    list->clear();
    list->addItems(wanted);
    if (list->isEditable()) list->setEditText(text);
}

// A tooltip that looks like markup would be drawn as markup.
QString plainToolTip(const QString& text) {
    return Qt::mightBeRichText(text) ? Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal) : text;
}

}  // namespace

void leaveChoiceToCore(QRadioButton* option) {
    // A group of its own keeps the toolkit from choosing, as no
    // auto-exclusivity would, but leaves the screen reader a radio button
    // rather than a check box.
    option->setAutoExclusive(true);
    auto* alone = new QButtonGroup(option);
    alone->setExclusive(false);
    alone->addButton(option);
}

QString withoutMnemonic(const QString& caption) {
    QString plain;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size()) ++i;  // "&&" stands for one '&'
        plain += caption[i];
    }
    return plain;
}

ControlBinder::ControlBinder(QWidget& window, Form& form) : window_(window), form_(form) {}

void ControlBinder::add(QWidget* widget, const char* name, Control& control) {
    widget->setObjectName(name);
    bound_.push_back({widget, &control});
}

QLabel* ControlBinder::label(Control& control, const char* name, bool wrap) {
    QLabel* text = bind(plainLabel(&window_), name, control);
    text->setWordWrap(wrap);
    return text;
}

QLineEdit* ControlBinder::edit(Control& control, const char* name, Handler edited) {
    auto* field = bind(new QLineEdit(&window_), name, control);
    field->setMaxLength(kMaxTextLength);
    QObject::connect(field, &QLineEdit::textEdited, &window_,
                     [&control, edited = std::move(edited)](const QString& text) {
                         control.text = toBytes(text);
                         if (edited) edited();
                     });
    return field;
}

QComboBox* ControlBinder::choice(Control& control, const char* name, Handler chosen) {
    auto* list = bind(new QComboBox(&window_), name, control);
    // As wide as its entries, whether or not a field beside it is shown.
    list->setSizePolicy(QSizePolicy::Fixed, list->sizePolicy().verticalPolicy());
    QObject::connect(list, &QComboBox::activated, &window_, [&control, chosen = std::move(chosen)](int index) {
        control.itemIndex = index;
        if (chosen) chosen();
    });
    return list;
}

QComboBox* ControlBinder::suggestions(Control& control, const char* name, Handler edited) {
    auto* list = bind(new QComboBox(&window_), name, control);
    list->setEditable(true);
    list->setInsertPolicy(QComboBox::NoInsert);
    // No completion while typing: a pattern is what the user typed, not the
    // suggestion it happens to start.
    list->setCompleter(nullptr);
    list->lineEdit()->setMaxLength(kMaxTextLength);
    // Typing and picking a suggestion both change the text; redraws do not.
    QObject::connect(list, &QComboBox::currentTextChanged, &window_,
                     [this, &control, edited = std::move(edited)](const QString& text) {
                         if (syncing_) return;
                         control.text = toBytes(text);
                         if (edited) edited();
                     });
    return list;
}

QSpinBox* ControlBinder::number(Control& control, const char* name, int min, int max, Handler changed) {
    auto* spin = bind(new QSpinBox(&window_), name, control);
    spin->setRange(min, max);
    // A number typed out of range becomes the nearest allowed one, shown, rather
    // than silently going back to the previous value.
    spin->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    QObject::connect(spin, &QSpinBox::valueChanged, &window_, [this, &control, changed = std::move(changed)](int value) {
        if (syncing_) return;
        control.value = value;
        if (changed) changed();
    });
    return spin;
}

QCheckBox* ControlBinder::check(Control& control, const char* name, Handler clicked) {
    auto* box = bind(new QCheckBox(&window_), name, control);
    QObject::connect(box, &QCheckBox::clicked, &window_, [&control, clicked = std::move(clicked)](bool checked) {
        control.checked = checked;
        if (clicked) clicked();
    });
    return box;
}

QRadioButton* ControlBinder::radio(Control& control, const char* name, Handler clicked) {
    auto* option = bind(new QRadioButton(&window_), name, control);
    leaveChoiceToCore(option);
    QObject::connect(option, &QRadioButton::clicked, &window_, [clicked = std::move(clicked)] { clicked(); });
    return option;
}

QPushButton* ControlBinder::button(Control& control, const char* name, Handler clicked) {
    auto* push = bind(new QPushButton(&window_), name, control);
    push->setAutoDefault(false);
    if (clicked) QObject::connect(push, &QPushButton::clicked, &window_, [clicked = std::move(clicked)] { clicked(); });
    return push;
}

QToolButton* ControlBinder::toolButton(Control& control, const char* name, Handler clicked) {
    auto* tool = bind(new QToolButton(&window_), name, control);
    if (control.picture == "arrowUp" || control.picture == "arrowDown") {
        tool->setArrowType(control.picture == "arrowUp" ? Qt::UpArrow : Qt::DownArrow);
        tool->setMinimumSize(28, 28);
    } else if (!control.picture.empty()) {
        tool->setIcon(drawnIcon(QString::fromStdString(control.picture)));
        tool->setIconSize(QSize(20, 20));
    }
    if (clicked) QObject::connect(tool, &QToolButton::clicked, &window_, [clicked = std::move(clicked)] { clicked(); });
    return tool;
}

QWidget* ControlBinder::panel(Control& control, const char* name, QLayout* layout) {
    auto* box = bind(new QWidget(&window_), name, control);
    layout->setContentsMargins(0, 0, 0, 0);
    box->setLayout(layout);
    return box;
}

void ControlBinder::sync(bool usable) {
    syncing_ = true;
    window_.setWindowTitle(fromBytes(form_.caption));
    for (const Bound& bound : bound_) draw(bound, usable);
    for (const Labelled& l : labelled_) {
        QString name = withoutMnemonic(fromBytes(l.label->caption));
        if (l.row) name += ", " + withoutMnemonic(fromBytes(l.row->caption));
        l.field->setAccessibleName(name);
    }
    syncing_ = false;
}

void ControlBinder::draw(const Bound& bound, bool usable) {
    QWidget* widget = bound.widget;
    const Control& control = *bound.control;
    if (auto* field = qobject_cast<QLineEdit*>(widget)) {
        const QString text = fromBytes(control.text);
        if (field->text() != text) field->setText(text);
    } else if (auto* list = qobject_cast<QComboBox*>(widget)) {
        setItems(list, control.items);
        if (list->isEditable()) {
            const QString text = fromBytes(control.text);
            if (list->currentText() != text) list->setEditText(text);
        } else if (list->currentIndex() != control.itemIndex) {
            list->setCurrentIndex(control.itemIndex);
        }
    } else if (auto* spin = qobject_cast<QSpinBox*>(widget)) {
        if (spin->value() != control.value) spin->setValue(control.value);
    } else if (auto* b = qobject_cast<QAbstractButton*>(widget)) {
        const QString caption = fromBytes(control.caption);
        b->setText(caption);
        if (b->isCheckable()) b->setChecked(control.checked);
        // A button of arrows or dots is named by its hint.
        const bool words = std::any_of(caption.begin(), caption.end(), [](QChar c) { return c.isLetterOrNumber(); });
        b->setAccessibleName(words ? withoutMnemonic(caption) : fromBytes(control.hint));
    } else if (auto* text = qobject_cast<QLabel*>(widget)) {
        text->setText(fromBytes(control.caption));
    }
    widget->setToolTip(plainToolTip(fromBytes(control.hint)));
    widget->setEnabled(control.enabled && usable);
    // A label with nothing to say takes no room.
    const bool emptyLabel = qobject_cast<QLabel*>(widget) && control.caption.empty();
    widget->setVisible(control.visible && !emptyLabel);
}

void ControlBinder::focus(const std::string& name, unsigned request) {
    if (name == focusedName_ && request == focusRequest_) return;
    focusedName_ = name;
    focusRequest_ = request;
    if (name.empty()) return;
    if (auto* target = window_.findChild<QWidget*>(QString::fromStdString(name))) target->setFocus(Qt::OtherFocusReason);
}

}  // namespace quorvel::ui
