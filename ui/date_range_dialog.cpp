#include "ui/date_range_dialog.h"

#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "ui/chart_common.h"
#include "ui/control_binder.h"
#include "ui/text.h"

namespace quorvel::ui {

DateRangeDialog::DateRangeDialog(TfrmSelectDateRange& form, QWidget* parent) : QDialog(parent), form_(form) {
    setObjectName(QString::fromStdString(form.name()));
    setWindowTitle(fromBytes(form.caption));
    auto* title = plainLabel(this, fromBytes(form.lblTitle.caption));
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    const auto radio = [this](const Control& c, const char* name, void (TfrmSelectDateRange::*handler)()) {
        auto* button = new QRadioButton(fromBytes(c.caption), this);
        button->setObjectName(name);
        leaveChoiceToCore(button);
        connect(button, &QRadioButton::clicked, this, [this, handler] { (form_.*handler)(); });
        return button;
    };
    between_ = radio(form.rbBetween, "rbBetween", &TfrmSelectDateRange::rbBetweenClick);
    months_ = radio(form.rbMonths, "rbMonths", &TfrmSelectDateRange::rbMonthsClick);
    days_ = radio(form.rbDays, "rbDays", &TfrmSelectDateRange::rbDaysClick);
    const auto dateEdit = [this](const char* name) {
        auto* edit = new QDateEdit(this);
        edit->setObjectName(name);
        edit->setCalendarPopup(true);
        // Four-digit years, as the program shows every date.
        QString format = QLocale().dateFormat(QLocale::ShortFormat);
        if (!format.contains("yyyy")) format.replace("yy", "yyyy");
        edit->setDisplayFormat(format);
        return edit;
    };
    start_ = dateEdit("dtStart");
    end_ = dateEdit("dtEnd");
    connect(start_, &QDateEdit::dateChanged, this, [this](QDate d) {
        if (!syncing_) form_.startDate = fromQDate(d);
    });
    connect(start_, &QDateEdit::editingFinished, this, [this] { form_.dtStartExit(); });
    connect(end_, &QDateEdit::dateChanged, this, [this](QDate d) {
        if (syncing_) return;
        form_.endDate = fromQDate(d);
        form_.computeRange();
    });
    const auto spin = [this](const char* name, int max, Control& control) {
        auto* box = new QSpinBox(this);
        box->setObjectName(name);
        box->setRange(1, max);
        connect(box, &QSpinBox::valueChanged, this, [this, &control](int v) {
            if (!syncing_) control.value = v;
        });
        return box;
    };
    monthCount_ = spin("edMonths", TfrmSelectDateRange::kMaxMonths, form_.edMonths);
    dayCount_ = spin("edDays", TfrmSelectDateRange::kMaxDays, form_.edDays);
    // Each field is named by its choice and the words beside it.
    const auto named = [](QWidget* field, const Control& choice, const Control& after) {
        field->setAccessibleName(withoutMnemonic(fromBytes(choice.caption)) + " " + fromBytes(after.caption));
    };
    start_->setAccessibleName(withoutMnemonic(fromBytes(form.rbBetween.caption)));
    named(end_, form.rbBetween, form.lblAnd);
    named(monthCount_, form.rbMonths, form.lblMonths);
    named(dayCount_, form.rbDays, form.lblDays);
    auto* ok = new QPushButton(fromBytes(form.btOK.caption), this);
    ok->setObjectName("btOK");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] {
        form_.dtStartExit();
        form_.btOKClick();
        accept();
    });
    auto* cancel = new QPushButton(fromBytes(form.btCancel.caption), this);
    cancel->setObjectName("btCancel");
    connect(cancel, &QPushButton::clicked, this, [this] { reject(); });

    auto* grid = new QGridLayout;
    grid->addWidget(between_, 0, 0);
    grid->addWidget(start_, 0, 1);
    grid->addWidget(plainLabel(this, fromBytes(form.lblAnd.caption)), 0, 2);
    grid->addWidget(end_, 0, 3);
    grid->addWidget(months_, 1, 0);
    grid->addWidget(monthCount_, 1, 1);
    grid->addWidget(plainLabel(this, fromBytes(form.lblMonths.caption)), 1, 2);
    grid->addWidget(days_, 2, 0);
    grid->addWidget(dayCount_, 2, 1);
    grid->addWidget(plainLabel(this, fromBytes(form.lblDays.caption)), 2, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    form_.setChangedHandler([this] { sync(); });
    form_.FormShow();
    sync();
}

DateRangeDialog::~DateRangeDialog() {
    form_.setChangedHandler(nullptr);
    if (form_.modalResult == ModalResult::None) form_.modalResult = ModalResult::Cancel;
}

int DateRangeDialog::showModal(Form& form) {
    DateRangeDialog dialog(static_cast<TfrmSelectDateRange&>(form), visibleActiveWindow());
    const int result = dialog.exec();
    if (result != Accepted) form.modalResult = ModalResult::Cancel;
    return result;
}

void DateRangeDialog::sync() {
    syncing_ = true;
    between_->setChecked(form_.rbBetween.checked);
    months_->setChecked(form_.rbMonths.checked);
    days_->setChecked(form_.rbDays.checked);
    start_->setDate(toQDate(form_.startDate));
    end_->setDate(toQDate(form_.endDate));
    start_->setEnabled(form_.dtStart.enabled);
    end_->setEnabled(form_.dtEnd.enabled);
    monthCount_->setValue(form_.edMonths.value);
    dayCount_->setValue(form_.edDays.value);
    monthCount_->setEnabled(form_.edMonths.enabled);
    dayCount_->setEnabled(form_.edDays.enabled);
    syncing_ = false;
}

}  // namespace quorvel::ui
