#pragma once

#include <QDialog>

#include "log/frm_chart.h"

class QDateEdit;
class QRadioButton;
class QSpinBox;

namespace quorvel::ui {

// "Select Date Range".
class DateRangeDialog : public QDialog {
    Q_OBJECT
public:
    DateRangeDialog(TfrmSelectDateRange& form, QWidget* parent);
    ~DateRangeDialog() override;
    static int showModal(Form& form);
    void sync();

private:
    TfrmSelectDateRange& form_;
    QRadioButton *between_, *months_, *days_;
    QDateEdit *start_, *end_;
    QSpinBox *monthCount_, *dayCount_;
    bool syncing_ = false;
};

}  // namespace quorvel::ui
