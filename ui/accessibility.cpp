#include "ui/accessibility.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLineEdit>

namespace quorvel::ui {

namespace {

// The toolkit's own interface names a drop-down list on Linux by its current
// entry ("STARTTLS"), so a reader never says which list it is. This one says
// the list's accessible name, and the entry as the value, as the toolkit
// does on other systems; children and actions are the toolkit's.
class NamedComboBox : public QAccessibleWidget {
public:
    explicit NamedComboBox(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

    int childCount() const override { return box()->isEditable() ? 2 : 1; }
    QAccessibleInterface* child(int index) const override {
        if (index == 0) return QAccessible::queryAccessibleInterface(box()->view());
        if (index == 1 && box()->isEditable()) return QAccessible::queryAccessibleInterface(box()->lineEdit());
        return nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        if (!child) return -1;
        if (child->object() == box()->view()) return 0;
        if (box()->isEditable() && child->object() == box()->lineEdit()) return 1;
        return -1;
    }
    QAccessibleInterface* focusChild() const override {
        return box()->view()->isVisible() ? child(0) : nullptr;
    }

    QString text(QAccessible::Text t) const override {
        const QString value = box()->isEditable() ? box()->lineEdit()->text() : box()->currentText();
        if (t == QAccessible::Value) return value;
        if (t == QAccessible::Name) {
            const QString name = box()->accessibleName();
            return name.isEmpty() ? value : name;
        }
        return QAccessibleWidget::text(t);
    }

    QStringList actionNames() const override {
        return QStringList{showMenuAction(), pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (action == showMenuAction() || action == pressAction()) {
            if (box()->view()->isVisible())
                box()->hidePopup();
            else
                box()->showPopup();
            return;
        }
        QAccessibleWidget::doAction(action);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QComboBox* box() const { return static_cast<QComboBox*>(object()); }
};

QAccessibleInterface* namedInterface(const QString& className, QObject* object) {
    if (className == QLatin1String("QComboBox") && object && object->isWidgetType())
        return new NamedComboBox(static_cast<QComboBox*>(object));
    return nullptr;
}

}  // namespace

void installAccessibleNames() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    QAccessible::installFactory(namedInterface);
}

}  // namespace quorvel::ui
