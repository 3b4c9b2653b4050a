#pragma once

#include "config/rule_dialogs.h"
#include "ui/form_dialog.h"

class QButtonGroup;
class QPlainTextEdit;
class QTreeWidget;

namespace quorvel::ui {

// "Subject line options".
class SubjectRuleDialog : public FormDialog {
public:
    SubjectRuleDialog(TfrmOptionsSubject& form, QWidget* parent = nullptr);
    static int showModal(Form& form);

private:
    void syncMore() override;
    TfrmOptionsSubject& form_;
};

// "Sender characteristics".
class SenderRuleDialog : public FormDialog {
public:
    SenderRuleDialog(TfrmOptionsFROM& form, QWidget* parent = nullptr);
    static int showModal(Form& form);

private:
    void syncMore() override;
    TfrmOptionsFROM& form_;
};

// "Header characteristics".
class HeaderRuleDialog : public FormDialog {
public:
    HeaderRuleDialog(TfrmHeaders& form, QWidget* parent = nullptr);
    static int showModal(Form& form);

private:
    void syncMore() override;
    TfrmHeaders& form_;
};

// "Accept e-mail from", with its row of pictures.
class ExceptionRuleDialog : public FormDialog {
public:
    ExceptionRuleDialog(TfrmAlwaysAccept& form, QWidget* parent = nullptr);
    static int showModal(Form& form);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void syncMore() override;
    TfrmAlwaysAccept& form_;
    QWidget* heading_ = nullptr;
    QButtonGroup* pictures_ = nullptr;
};

// "Internet WWW Country Suffixes".
class CountryDialog : public FormDialog {
public:
    CountryDialog(TfrmInternet& form, QWidget* parent = nullptr);
    static int showModal(Form& form);

private:
    void syncMore() override;
    TfrmInternet& form_;
    QTreeWidget* list_ = nullptr;
};

// "Import new keywords".
class ImportDialog : public FormDialog {
public:
    ImportDialog(TfrmImportSpam& form, QWidget* parent = nullptr);
    static int showModal(Form& form);

private:
    void syncMore() override;
    TfrmImportSpam& form_;
    QPlainTextEdit* memo_ = nullptr;
};

}  // namespace quorvel::ui
