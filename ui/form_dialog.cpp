#include "ui/form_dialog.h"

#include <algorithm>

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

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

}  // namespace

FormDialog::FormDialog(Form& form, QWidget* parent) : QDialog(parent), form_(form) {
    setObjectName(QString::fromStdString(form.name()));
    setWindowIcon(programIcon());
    form_.setChangedHandler([this] { sync(); });
}

FormDialog::~FormDialog() {
    form_.setChangedHandler(nullptr);
}

template <class W>
W* FormDialog::bind(W* widget, const char* name, Control& control) {
    widget->setObjectName(name);
    bound_.emplace_back(widget, &control);
    return widget;
}

QLabel* FormDialog::label(Control& control, const char* name) {
    auto* text = bind(new QLabel(this), name, control);
    text->setTextFormat(Qt::PlainText);
    return text;
}

QLineEdit* FormDialog::edit(Control& control, const char* name, std::function<void(const std::string&)> onEdit) {
    auto* field = bind(new QLineEdit(this), name, control);
    field->setMaxLength(kMaxTextLength);
    connect(field, &QLineEdit::textEdited, this, [onEdit = std::move(onEdit)](const QString& text) { onEdit(toBytes(text)); });
    return field;
}

QComboBox* FormDialog::choice(Control& control, const char* name, std::function<void(int)> onChoose) {
    auto* list = bind(new QComboBox(this), name, control);
    // As wide as its entries, whether or not a field beside it is shown.
    list->setSizePolicy(QSizePolicy::Fixed, list->sizePolicy().verticalPolicy());
    connect(list, &QComboBox::activated, this, [onChoose = std::move(onChoose)](int index) { onChoose(index); });
    return list;
}

QComboBox* FormDialog::suggestions(Control& control, const char* name, std::function<void(const std::string&)> onEdit) {
    auto* list = bind(new QComboBox(this), name, control);
    list->setEditable(true);
    list->setInsertPolicy(QComboBox::NoInsert);
    // No completion while typing: a pattern is what the user typed, not the
    // suggestion it happens to start.
    list->setCompleter(nullptr);
    list->lineEdit()->setMaxLength(kMaxTextLength);
    // Typing and picking a suggestion both change the text; redraws do not.
    connect(list, &QComboBox::currentTextChanged, this, [this, onEdit = std::move(onEdit)](const QString& text) {
        if (!syncing_) onEdit(toBytes(text));
    });
    return list;
}

QCheckBox* FormDialog::check(Control& control, const char* name, std::function<void(bool)> onClick) {
    auto* box = bind(new QCheckBox(this), name, control);
    connect(box, &QCheckBox::clicked, this, [onClick = std::move(onClick)](bool checked) { onClick(checked); });
    return box;
}

QRadioButton* FormDialog::radio(Control& control, const char* name, std::function<void()> onClick) {
    auto* option = bind(new QRadioButton(this), name, control);
    // The form keeps its choices exclusive.
    option->setAutoExclusive(false);
    connect(option, &QRadioButton::clicked, this, [onClick = std::move(onClick)] { onClick(); });
    return option;
}

QPushButton* FormDialog::button(Control& control, const char* name, std::function<void()> onClick) {
    auto* push = bind(new QPushButton(this), name, control);
    push->setAutoDefault(false);  // Enter means OK, wherever the focus is
    if (onClick) connect(push, &QPushButton::clicked, this, [onClick = std::move(onClick)] { onClick(); });
    return push;
}

QLayout* FormDialog::okCancel(Control& ok, Control& cancel, std::function<void()> onOk, std::function<void()> onCancel) {
    QPushButton* okButton = button(ok, "btOK", nullptr);
    okButton->setDefault(true);
    connect(okButton, &QPushButton::clicked, this, [this, onOk = std::move(onOk)] {
        onOk();
        if (form_.modalResult != ModalResult::None) accept();
    });
    cancel_ = [this, onCancel = std::move(onCancel)] {
        onCancel();
        reject();
    };
    QPushButton* cancelButton = button(cancel, "btCancel", nullptr);
    connect(cancelButton, &QPushButton::clicked, this, [this] { cancel_(); });
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(okButton);
    row->addWidget(cancelButton);
    return row;
}

void FormDialog::fitWidth(int width) {
    layout()->activate();
    const int height = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width) : sizeHint().height();
    resize(width, std::max(height, minimumSizeHint().height()));
}

void FormDialog::sync() {
    syncing_ = true;
    setWindowTitle(fromBytes(form_.caption));
    for (auto& [widget, control] : bound_) {
        if (auto* field = qobject_cast<QLineEdit*>(widget)) {
            const QString text = fromBytes(control->text);
            if (field->text() != text) field->setText(text);
        } else if (auto* list = qobject_cast<QComboBox*>(widget)) {
            setItems(list, control->items);
            if (list->isEditable()) {
                const QString text = fromBytes(control->text);
                if (list->currentText() != text) list->setEditText(text);
            } else if (list->currentIndex() != control->itemIndex) {
                list->setCurrentIndex(control->itemIndex);
            }
        } else if (auto* b = qobject_cast<QAbstractButton*>(widget)) {
            b->setText(fromBytes(control->caption));
            if (b->isCheckable()) b->setChecked(control->checked);
        } else if (auto* text = qobject_cast<QLabel*>(widget)) {
            text->setText(fromBytes(control->caption));
        }
        widget->setEnabled(control->enabled);
        // A label with nothing to say takes no room.
        const bool emptyLabel = qobject_cast<QLabel*>(widget) && control->caption.empty();
        widget->setVisible(control->visible && !emptyLabel);
    }
    syncMore();
    syncing_ = false;
}

void FormDialog::applyFocus(const std::string& name, unsigned requests) {
    if (requests == focusRequests_) return;
    focusRequests_ = requests;
    if (auto* target = findChild<QWidget*>(QString::fromStdString(name))) target->setFocus(Qt::OtherFocusReason);
}

void FormDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && cancel_) {
        cancel_();
        return;
    }
    QDialog::keyPressEvent(event);
}

void FormDialog::closeEvent(QCloseEvent* event) {
    // The title bar's close box is Cancel.
    if (form_.modalResult == ModalResult::None) form_.modalResult = ModalResult::Cancel;
    QDialog::closeEvent(event);
}

}  // namespace quorvel::ui
