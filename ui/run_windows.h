#pragma once

#include <QDialog>
#include <QTimer>

#include "app/frm_retrieving.h"
#include "app/frm_which_mailbox.h"
#include "ui/text.h"

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace quorvel::ui {

// The progress dialog of listings and deletions; it never blocks the main window.
class RetrievingWindow : public QDialog {
public:
    RetrievingWindow(TfrmRetrieving& form, QWidget* parent);
    ~RetrievingWindow() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void sync();
    // Over the middle of the main window (of the screen while that is not
    // shown), wholly on the screen.
    void centre();
    TfrmRetrieving& form_;
    QLabel *server_, *mailbox_, *title_, *message_, *animation_;
    QProgressBar* progress_;
    QPushButton* cancel_;
    QTimer frames_;
    int frame_ = 0;
    Drawn<std::string> drawn_[6];  // caption, server, mailbox, title, message, cancel
};

// "Which Mail Box?", shown modally.
class WhichMailboxDialog : public QDialog {
public:
    WhichMailboxDialog(TfrmWhichMailbox& form, QWidget* parent);
    ~WhichMailboxDialog() override;
    static int showModal(Form& form);

private:
    void sync();
    TfrmWhichMailbox& form_;
    QComboBox* which_;
};

}  // namespace quorvel::ui
