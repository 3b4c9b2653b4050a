#include "ui/view_windows.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ui/text.h"

namespace quorvel::ui {

namespace {

// The viewer's text: a body in its set, else the program's words with the
// subjects and senders in theirs.
QString shownText(const TfrmViewHeader& form) {
    const std::string& all = form.Memo1.text;
    if (!form.charSet.empty()) return fromCharSet(all, form.charSet);
    if (form.spans.empty()) return fromBytes(all);
    QString shown;
    std::size_t at = 0;
    for (const auto& span : form.spans) {
        if (span.begin < at || span.begin + span.size > all.size()) continue;
        shown += fromBytes(all.substr(at, span.begin - at));
        shown += fromCharSet(all.substr(span.begin, span.size), span.charSet);
        at = span.begin + span.size;
    }
    return shown + fromBytes(all.substr(at));
}

}  // namespace

ViewHeaderWindow::ViewHeaderWindow(TfrmViewHeader& form, QWidget* parent)
    : QDialog(parent), form_(form) {
    setObjectName("frmViewHeader");
    auto* layout = new QVBoxLayout(this);
    title_ = plainLabel(this);
    title_->setObjectName("lblTitle");
    QFont bold = title_->font();
    bold.setBold(true);
    title_->setFont(bold);
    layout->addWidget(title_);
    // Part names come from the message: plain text, one paragraph.
    moreParts_ = plainLabel(this);
    moreParts_->setObjectName("lblMoreParts");
    moreParts_->setWordWrap(true);
    layout->addWidget(moreParts_);
    memo_ = new QPlainTextEdit(this);
    memo_->setObjectName("Memo1");
    memo_->setAccessibleName(fromBytes(form_.lblTitle.caption));
    memo_->setReadOnly(true);
    memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(memo_, 1);
    // OK is both the default and the cancel button: Escape and Enter close alike.
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(fromBytes(form_.btOK.caption), QDialogButtonBox::AcceptRole);
    ok->setObjectName("btOK");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] { form_.btOKClick(); });
    layout->addWidget(buttons);
    resize(640, 480);
    form_.setChangedHandler([this] { sync(); });
    sync();
    // The text is set once: a body may be large.
    memo_->setPlainText(shownText(form_));
}

ViewHeaderWindow::~ViewHeaderWindow() {
    form_.setChangedHandler(nullptr);
}

QString ViewHeaderWindow::title() const {
    return title_->text();
}

QString ViewHeaderWindow::text() const {
    return memo_->toPlainText();
}

void ViewHeaderWindow::sync() {
    setWindowTitle(fromBytes(form_.caption));
    title_->setText(fromBytes(form_.lblTitle.caption));
    moreParts_->setText(fromBytes(form_.lblMoreParts.caption));
    moreParts_->setVisible(form_.lblMoreParts.visible);
    if (form_.modalResult == ModalResult::Ok) accept();
}

int ViewHeaderWindow::showModal(Form& form) {
    auto& viewer = static_cast<TfrmViewHeader&>(form);
    ViewHeaderWindow window(viewer, QApplication::activeWindow());
    const int result = window.exec();
    viewer.modalResult = ModalResult::Ok;  // however it was closed
    return result;
}

MarkForDeletionDialog::MarkForDeletionDialog(TfrmMarkForDeletion& form, QWidget* parent)
    : QDialog(parent), form_(form) {
    setObjectName("frmMarkForDeletion");
    auto* layout = new QVBoxLayout(this);
    auto* heading = plainLabel(this, fromBytes(form_.lblHeading.caption));
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    layout->addWidget(heading);
    grid_ = new QTableWidget(TfrmMarkForDeletion::kRowCount - 1, 2, this);
    grid_->setObjectName("StringGrid1");
    grid_->setAccessibleName(fromBytes(form_.lblHeading.caption));
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->verticalHeader()->setVisible(false);
    grid_->horizontalHeader()->setStretchLastSection(true);
    grid_->setColumnWidth(0, 320);
    layout->addWidget(grid_, 1);
    from_ = new QCheckBox(fromBytes(form_.cbFrom.caption), this);
    from_->setObjectName("cbFrom");
    connect(from_, &QCheckBox::toggled, this, [this](bool on) { form_.cbFrom.checked = on; });
    layout->addWidget(from_);
    subject_ = new QCheckBox(fromBytes(form_.cbSubject.caption), this);
    subject_->setObjectName("cbSubject");
    connect(subject_, &QCheckBox::toggled, this, [this](bool on) { form_.cbSubject.checked = on; });
    layout->addWidget(subject_);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(fromBytes(form_.btOK.caption), QDialogButtonBox::AcceptRole);
    ok->setObjectName("btOK");
    ok->setDefault(true);
    QPushButton* cancel = buttons->addButton(fromBytes(form_.btCancel.caption), QDialogButtonBox::RejectRole);
    cancel->setObjectName("btCancel");
    connect(ok, &QPushButton::clicked, this, [this] { form_.btOKClick(); });
    connect(cancel, &QPushButton::clicked, this, [this] { form_.btCancelClick(); });
    layout->addWidget(buttons);
    resize(620, 420);
    form_.setChangedHandler([this] { sync(); });
    sync();
}

MarkForDeletionDialog::~MarkForDeletionDialog() {
    form_.setChangedHandler(nullptr);
}

void MarkForDeletionDialog::sync() {
    setWindowTitle(fromBytes(form_.caption));
    const auto& rows = form_.StringGrid1;
    grid_->setHorizontalHeaderLabels({fromBytes(rows[0][0]), fromBytes(rows[0][1])});
    for (int row = 1; row < TfrmMarkForDeletion::kRowCount; ++row)
        for (int col = 0; col < 2; ++col) {
            const std::string& cell = rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)];
            QTableWidgetItem* item = grid_->item(row - 1, col);
            if (!item && cell.empty()) continue;
            if (!item) grid_->setItem(row - 1, col, item = new QTableWidgetItem);
            item->setText(fromBytes(cell));
        }
    from_->setChecked(form_.cbFrom.checked);
    subject_->setChecked(form_.cbSubject.checked);
    if (form_.modalResult == ModalResult::Ok) accept();
    if (form_.modalResult == ModalResult::Cancel) reject();
}

int MarkForDeletionDialog::showModal(Form& form) {
    auto& dialog = static_cast<TfrmMarkForDeletion&>(form);
    MarkForDeletionDialog window(dialog, QApplication::activeWindow());
    const int result = window.exec();
    if (dialog.modalResult == ModalResult::None) dialog.modalResult = ModalResult::Cancel;  // closed by the title bar
    return result;
}

}  // namespace quorvel::ui
