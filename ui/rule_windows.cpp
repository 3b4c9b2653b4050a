#include "ui/rule_windows.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/message_list_model.h"
#include "ui/pictures.h"
#include "ui/text.h"

namespace quorvel::ui {

namespace {

QLabel* headingStyle(QLabel* label) {
    QFont font = label->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.2);
    label->setFont(font);
    return label;
}

QLabel* wrapped(QLabel* label) {
    label->setWordWrap(true);
    return label;
}

// The "Would mark" line: quiet, under the rule it judges.
QLabel* previewStyle(QLabel* label) {
    QFont font = label->font();
    font.setItalic(true);
    label->setFont(font);
    label->setForegroundRole(QPalette::Link);
    return label;
}

QHBoxLayout* row(std::initializer_list<QWidget*> widgets, bool stretch = true) {
    auto* layout = new QHBoxLayout;
    for (QWidget* w : widgets) layout->addWidget(w, qobject_cast<QComboBox*>(w) && static_cast<QComboBox*>(w)->isEditable() ? 1 : 0);
    if (stretch) layout->addStretch();
    return layout;
}

template <class Dialog, class Logic>
int runModal(Form& form) {
    Dialog window(static_cast<Logic&>(form), QApplication::activeWindow());
    // The user opens a rule dialog to type its text: the first text field
    // shown takes the focus, not the operator list above it.
    for (QLineEdit* field : window.template findChildren<QLineEdit*>()) {
        if (field->isVisibleTo(&window) && field->isEnabled()) {
            field->setFocus(Qt::OtherFocusReason);
            break;
        }
    }
    return window.exec();
}

}  // namespace

// ---- What the rule dialogs share ----

RuleWindow::RuleWindow(RuleDialog& form, QWidget* parent) : FormDialog(form, parent), rule_(form) {}

template <class Logic>
void RuleWindow::addMarkChoice(QBoxLayout* layout, Logic& form) {
    layout->addSpacing(8);
    layout->addLayout(row({binder_.label(form.lblMark, "lblMark"), binder_.radio(form.rbCheck, "rbCheck", [&form] { form.rbCheckClick(); }),
                           binder_.radio(form.rbQuestion, "rbQuestion", [&form] { form.rbQuestionClick(); })}));
    layout->addWidget(binder_.label(form.lblNote, "lblNote"));
}

void RuleWindow::addPreviewAndButtons(QBoxLayout* layout) {
    layout->addStretch();
    layout->addWidget(previewStyle(binder_.label(rule_.lblPreview, "lblPreview")));
    layout->addLayout(okCancel(rule_.btOK, rule_.btCancel, [this] { rule_.btOKClick(); }, [this] { rule_.btCancelClick(); }));
}

void RuleWindow::syncMore() { binder_.focus(rule_.focusedControl, rule_.focusRequests); }

// ---- Subject ----

SubjectRuleDialog::SubjectRuleDialog(TfrmOptionsSubject& f, QWidget* parent) : RuleWindow(f, parent), form_(f) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(headingStyle(binder_.label(form_.lblHeading, "lblHeading")));
    layout->addWidget(wrapped(binder_.label(form_.lblExplanation, "lblExplanation")));
    layout->addSpacing(8);
    layout->addWidget(binder_.label(form_.lblSubject, "lblSubject"));
    QComboBox* what = binder_.choice(form_.cbWhat, "cbWhat", [this] { form_.cbWhatClick(); });
    QComboBox* pattern = binder_.suggestions(form_.edit1, "edit1", [this] { form_.edit1Change(form_.edit1.text); });
    pattern->setMinimumWidth(220);
    layout->addLayout(row({binder_.labelled(what, form_.lblSubject), binder_.labelled(pattern, form_.lblSubject)}, false));
    layout->addWidget(binder_.check(form_.cbCase, "cbCase", [this] { form_.cbCaseClick(form_.cbCase.checked); }));
    addMarkChoice(layout, form_);
    addPreviewAndButtons(layout);
    sync();
    fitWidth(480);
}

int SubjectRuleDialog::showModal(Form& form) { return runModal<SubjectRuleDialog, TfrmOptionsSubject>(form); }

// ---- Sender ----

SenderRuleDialog::SenderRuleDialog(TfrmOptionsFROM& f, QWidget* parent) : RuleWindow(f, parent), form_(f) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(headingStyle(binder_.label(form_.lblHeading, "lblHeading")));
    layout->addWidget(wrapped(binder_.label(form_.lblExplanation, "lblExplanation")));
    layout->addSpacing(8);
    layout->addWidget(binder_.label(form_.lblSender, "lblSender"));
    QComboBox* domain = binder_.choice(form_.cbDomain, "cbDomain", [this] { form_.cbDomainClick(); });
    QComboBox* what = binder_.choice(form_.cbWhat, "cbWhat", [this] { form_.cbWhatClick(); });
    what->setMaxVisibleItems(10);
    QComboBox* pattern = binder_.suggestions(form_.edit1, "edit1", [this] { form_.edit1Change(form_.edit1.text); });
    pattern->setMinimumWidth(200);
    for (QWidget* field : {static_cast<QWidget*>(domain), static_cast<QWidget*>(what), static_cast<QWidget*>(pattern)})
        binder_.labelled(field, form_.lblSender);
    layout->addLayout(row({domain, what, pattern}, false));
    layout->addWidget(binder_.label(form_.lblIncludes, "lblIncludes"));
    layout->addWidget(binder_.label(form_.lblAfter, "lblAfter"));
    auto* hints = new QGridLayout;
    hints->addWidget(binder_.label(form_.lblHint, "lblHint"), 0, 0, Qt::AlignTop);
    hints->addWidget(binder_.label(form_.lblExample1, "lblExample1"), 0, 1);
    hints->addWidget(binder_.label(form_.lblExample2, "lblExample2"), 1, 1);
    hints->setColumnStretch(2, 1);
    layout->addLayout(hints);
    addMarkChoice(layout, form_);
    layout->addLayout(row({binder_.button(form_.btCountry, "btCountry", [this] { form_.btCountryClick(); }),
                           binder_.label(form_.lblCountry, "lblCountry")}));
    addPreviewAndButtons(layout);
    sync();
    fitWidth(560);
}

int SenderRuleDialog::showModal(Form& form) { return runModal<SenderRuleDialog, TfrmOptionsFROM>(form); }

// ---- Header ----

HeaderRuleDialog::HeaderRuleDialog(TfrmHeaders& f, QWidget* parent) : RuleWindow(f, parent), form_(f) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(headingStyle(binder_.label(form_.lblHeading, "lblHeading")));
    layout->addWidget(wrapped(binder_.label(form_.lblExplanation, "lblExplanation")));
    layout->addSpacing(8);
    const auto choose = [this](Control& option) { return [this, &option] { form_.chooseForm(option); }; };
    layout->addWidget(binder_.radio(form_.rbHeader, "rbHeader", choose(form_.rbHeader)));
    auto* header = new QGridLayout;
    header->setContentsMargins(24, 0, 0, 0);
    QComboBox* what = binder_.choice(form_.cbWhat, "cbWhat", [this] { form_.cbWhatClick(); });
    QComboBox* text = binder_.suggestions(form_.cbHeader, "cbHeader", [this] { form_.cbHeaderChange(form_.cbHeader.text); });
    text->setMinimumWidth(240);
    header->addWidget(binder_.labelled(what, form_.rbHeader), 0, 0);
    header->addWidget(binder_.labelled(text, form_.rbHeader), 0, 1);
    header->addWidget(binder_.check(form_.cbCase, "cbCase", [this] { form_.cbCaseClick(form_.cbCase.checked); }), 1, 0, 1, 2);
    header->addWidget(binder_.label(form_.lblCountry, "lblCountry"), 2, 0, 1, 2);
    header->setColumnStretch(1, 1);
    layout->addLayout(header);
    layout->addWidget(binder_.radio(form_.rbReplyTomatch, "rbReplyTomatch", choose(form_.rbReplyTomatch)));
    layout->addWidget(binder_.radio(form_.rbTo, "rbTo", choose(form_.rbTo)));
    auto* to = new QGridLayout;
    to->setContentsMargins(24, 0, 0, 0);
    QLineEdit* address = binder_.edit(form_.edTo, "edTo", [this] { form_.edToChange(form_.edTo.text); });
    to->addWidget(binder_.labelled(address, form_.rbTo), 0, 0, 1, 2);
    to->addWidget(binder_.label(form_.lblMailBox, "lblMailBox"), 1, 0);
    QComboBox* mailbox = binder_.choice(form_.cbMailBox, "cbMailBox", [this] { form_.cbMailBoxClick(form_.cbMailBox.itemIndex); });
    mailbox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    binder_.labelled(mailbox, form_.lblMailBox);
    to->addWidget(mailbox, 1, 1, Qt::AlignLeft);
    to->setColumnStretch(1, 1);
    layout->addLayout(to);
    layout->addWidget(binder_.radio(form_.rbFromEqualsTo, "rbFromEqualsTo", choose(form_.rbFromEqualsTo)));
    addMarkChoice(layout, form_);
    layout->addLayout(row({binder_.button(form_.btCountry, "btCountry", [this] { form_.btCountryClick(); })}));
    addPreviewAndButtons(layout);
    sync();
    fitWidth(540);
}

int HeaderRuleDialog::showModal(Form& form) { return runModal<HeaderRuleDialog, TfrmHeaders>(form); }

// ---- Exceptions ----

ExceptionRuleDialog::ExceptionRuleDialog(TfrmAlwaysAccept& f, QWidget* parent) : RuleWindow(f, parent), form_(f) {
    auto* layout = new QVBoxLayout(this);
    QLabel* heading = headingStyle(binder_.label(form_.lblHeading, "lblHeading"));
    heading->installEventFilter(this);
    heading_ = heading;
    layout->addWidget(heading);
    auto* choices = new QGridLayout;
    choices->addWidget(binder_.radio(form_.rbEmail, "rbEmail", [this] { form_.rbEmailClick(); }), 0, 0);
    choices->addWidget(binder_.labelled(binder_.edit(form_.edEmail, "edEmail", [this] { form_.edEmailChange(form_.edEmail.text); }), form_.rbEmail), 0, 1, 1, 3);
    choices->addWidget(binder_.radio(form_.rbDomain, "rbDomain", [this] { form_.rbDomainClick(); }), 1, 0);
    choices->addWidget(binder_.labelled(binder_.edit(form_.edDomain, "edDomain", [this] { form_.edDomainChange(form_.edDomain.text); }), form_.rbDomain), 1, 1, 1, 3);
    choices->addWidget(binder_.label(form_.lblDomainHint, "lblDomainHint"), 2, 1, 1, 3);
    choices->addWidget(binder_.radio(form_.rbSubject, "rbSubject", [this] { form_.rbSubjectClick(); }), 3, 0);
    choices->addWidget(binder_.labelled(binder_.choice(form_.cbLine, "cbLine", [this] { form_.cbLineClick(form_.cbLine.itemIndex); }), form_.rbSubject), 3, 1);
    choices->addWidget(binder_.labelled(binder_.choice(form_.cbWhat, "cbWhat", [this] { form_.cbWhatClick(); }), form_.rbSubject), 3, 2);
    QLineEdit* pattern = binder_.edit(form_.edSubject, "edSubject", [this] { form_.edSubjectChange(form_.edSubject.text); });
    pattern->setMinimumWidth(160);
    choices->addWidget(binder_.labelled(pattern, form_.rbSubject), 3, 3);
    choices->addWidget(binder_.check(form_.cbCase, "cbCase", [this] { form_.cbCaseClick(form_.cbCase.checked); }), 4, 1, 1, 3);
    choices->setColumnStretch(3, 1);
    layout->addLayout(choices);
    layout->addSpacing(8);
    layout->addWidget(wrapped(binder_.label(form_.lblExplanation, "lblExplanation")));
    auto* pictures = new QHBoxLayout;
    pictures_ = new QButtonGroup(this);
    pictures_->setExclusive(true);
    for (int cell = 0; cell < TfrmAlwaysAccept::kImageCells; ++cell) {
        auto* b = new QToolButton(this);
        b->setObjectName(QString("imgPicker%1").arg(cell));
        b->setCheckable(true);
        b->setAutoRaise(true);
        b->setIcon(drawnIcon(QString("B%1").arg(cell + kFirstExceptionImage)));
        b->setIconSize(QSize(24, 24));
        b->setAccessibleName(markName(cell + kFirstExceptionImage));
        b->setToolTip(b->accessibleName());
        pictures_->addButton(b, cell);
        pictures->addWidget(b);
    }
    pictures->addStretch();
    connect(pictures_, &QButtonGroup::idClicked, this, [this](int cell) { form_.imgPickerClick(cell); });
    layout->addLayout(pictures);
    addPreviewAndButtons(layout);
    sync();
    fitWidth(680);
}

int ExceptionRuleDialog::showModal(Form& form) { return runModal<ExceptionRuleDialog, TfrmAlwaysAccept>(form); }

bool ExceptionRuleDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == heading_ && event->type() == QEvent::MouseButtonRelease) form_.lblHeadingClick();
    return FormDialog::eventFilter(watched, event);
}

void ExceptionRuleDialog::syncMore() {
    if (QAbstractButton* cell = pictures_->button(form_.imgPicker.itemIndex)) cell->setChecked(true);
    RuleWindow::syncMore();
}

// ---- Country picker ----

CountryDialog::CountryDialog(TfrmInternet& f, QWidget* parent) : FormDialog(f, parent), form_(f) {
    auto* layout = new QVBoxLayout(this);
    list_ = new QTreeWidget(this);
    list_->setObjectName("ListBox1");
    list_->setAccessibleName(fromBytes(form_.caption));
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setHeaderLabels({fromBytes(form_.lblAbbreviation.caption), fromBytes(form_.lblCountry.caption)});
    for (const std::string& item : form_.ListBox1.items) {
        const std::size_t tab = item.find('\t');
        list_->addTopLevelItem(new QTreeWidgetItem({fromBytes(item.substr(0, tab)), fromBytes(item.substr(tab + 1))}));
    }
    list_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    connect(list_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item) form_.ListBox1.itemIndex = list_->indexOfTopLevelItem(item);
    });
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        form_.ListBox1DblClick(list_->indexOfTopLevelItem(item));
        if (form_.modalResult == ModalResult::Ok) accept();
    });
    layout->addWidget(list_, 1);
    layout->addWidget(wrapped(binder_.label(form_.lblNote, "lblNote")));
    layout->addLayout(okCancel(form_.btOK, form_.btCancel, [this] { form_.btOKClick(); }, [this] { form_.btCancelClick(); }));
    resize(420, 480);
    sync();
}

int CountryDialog::showModal(Form& form) { return runModal<CountryDialog, TfrmInternet>(form); }

void CountryDialog::syncMore() {
    QTreeWidgetItem* item = list_->topLevelItem(form_.ListBox1.itemIndex);
    if (item && list_->currentItem() != item) {
        list_->setCurrentItem(item);
        list_->scrollToItem(item);
    }
}

// ---- Import ----

ImportDialog::ImportDialog(TfrmImportSpam& f, QWidget* parent) : FormDialog(f, parent), form_(f) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(headingStyle(binder_.label(form_.lblTitle, "lblTitle")));
    memo_ = new QPlainTextEdit(this);
    memo_->setObjectName("Memo1");
    memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout->addWidget(memo_, 1);
    layout->addWidget(wrapped(binder_.label(form_.lblHint, "lblHint")));
    // The text is handed over on OK only: a long paste is not copied at every key.
    layout->addLayout(okCancel(
        form_.btOK, form_.btCancel,
        [this] {
            form_.Memo1.text = toBytes(memo_->toPlainText());
            form_.btOKClick();
        },
        [this] { form_.btCancelClick(); }));
    resize(460, 420);
    sync();
    memo_->setFocus(Qt::OtherFocusReason);
}

int ImportDialog::showModal(Form& form) { return runModal<ImportDialog, TfrmImportSpam>(form); }

void ImportDialog::syncMore() {
    // Named by the title each opening gives it (the table it fills).
    const QString title = fromBytes(form_.lblTitle.caption);
    memo_->setAccessibleName(title.isEmpty() ? QString("Keywords to import") : title);
    const QString text = fromBytes(form_.Memo1.text);
    if (memo_->toPlainText() != text) memo_->setPlainText(text);
}

}  // namespace quorvel::ui
