#pragma once

#include "config/rule_dialogs.h"
#include "ui/form_dialog.h"

class QBoxLayout;
class QButtonGroup;
class QPlainTextEdit;
class QTreeWidget;

namespace quorvel::ui {

// What the four rule dialogs' windows share: the mark choice, the "Would
// mark" line with OK and Cancel under it, and the focus requests.
class RuleWindow : public FormDialog {
protected:
    RuleWindow(RuleDialog& form, QWidget* parent);
    // "Mark message with :", its two choices and the note under them.
    template <class Logic>
    void addMarkChoice(QBoxLayout* layout, Logic& form);
    void addPreviewAndButtons(QBoxLayout* layout);
    void syncMore() override;

private:
    RuleDialog& rule_;
};

// "Subject line options".
class SubjectRuleDialog : public RuleWindow {
public:
    SubjectRuleDialog(TfrmOptionsSubject& form, QWidget* parent = nullptr);
    static int showModal(Form& form);

private:
    TfrmOptionsSubject& form_;
};

// "Sender characteristics".
class SenderRuleDialog : public RuleWindow {
public:
    SenderRuleDialog(TfrmOptionsFROM& form, QWidget* parent = nullptr);
    static int showModal(Form& form);

private:
    TfrmOptionsFROM& form_;
};

// "Header characteristics".
class HeaderRuleDialog : public RuleWindow {
public:
    HeaderRuleDialog(TfrmHeaders& form, QWidget* parent = nullptr);
    static int showModal(Form& form);

private:
    TfrmHeaders& form_;
};

// "Accept e-mail from", with its row of pictures.
class ExceptionRuleDialog : public RuleWindow {
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
