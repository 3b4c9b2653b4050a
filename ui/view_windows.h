#pragma once

#include <QDialog>

#include "app/frm_view_header.h"
#include "config/frm_mark_for_deletion.h"

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QTableWidget;

namespace quorvel::ui {

// "View Selected Headers": a title over read-only lines of text.
class ViewHeaderWindow : public QDialog {
public:
    ViewHeaderWindow(TfrmViewHeader& form, QWidget* parent);
    ~ViewHeaderWindow() override;
    static int showModal(Form& form);

    QString title() const;
    QString text() const;

private:
    void sync();
    TfrmViewHeader& form_;
    QLabel* title_;
    QLabel* moreParts_;
    QPlainTextEdit* memo_;
};

// "Mark e-mail for deletion": the chosen messages and what to make of them.
class MarkForDeletionDialog : public QDialog {
public:
    MarkForDeletionDialog(TfrmMarkForDeletion& form, QWidget* parent);
    ~MarkForDeletionDialog() override;
    static int showModal(Form& form);

private:
    void sync();
    TfrmMarkForDeletion& form_;
    QTableWidget* grid_;
    QCheckBox *from_, *subject_;
};

}  // namespace quorvel::ui
