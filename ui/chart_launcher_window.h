#pragma once

#include <QDialog>

#include "log/frm_chart_main.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QToolButton;

namespace quorvel::ui {

// "Activity Log Statistics for Quorvel": the log to read, its progress.
class ChartLauncherWindow : public QDialog {
    Q_OBJECT
public:
    ChartLauncherWindow(TfrmChartMain& form, QWidget* parent);
    ~ChartLauncherWindow() override;
    static int showModal(Form& form);
    void sync();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    TfrmChartMain& form_;
    QLabel *title_, *open_;
    QLineEdit* path_;
    QToolButton* browse_;
    QProgressBar* progress_;
    QPushButton *ok_, *cancel_;
};

}  // namespace quorvel::ui
