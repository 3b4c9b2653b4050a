#include "config/rule_dialog.h"

namespace quorvel {

RuleDialog::RuleDialog(std::string name, std::string caption, RuleTableKind kind, Dialogs& dialogs)
    : Form(std::move(name), std::move(caption)), dialogs_(dialogs), kind_(kind) {
    btOK.caption = "OK";
    btCancel.caption = "Cancel";
    lblPreview.visible = false;
}

void RuleDialog::btCancelClick() {
    modalResult = ModalResult::Cancel;
    changed();
}

void RuleDialog::refuse(const std::string& text, const char* control) {
    modalResult = ModalResult::None;
    dialogs_.messageBox(MessageKind::Error, text);
    requestFocus(control);
}

bool RuleDialog::refused() {
    const auto why = refusal();
    if (why) refuse(why->text, why->control);
    return why.has_value();
}

void RuleDialog::requestFocus(const char* control) {
    focusedControl = control;
    ++focusRequests;
    changed();
}

void RuleDialog::accept() {
    modalResult = ModalResult::Ok;
    changed();
}

void RuleDialog::setMark(Control& check, Control& question, bool del) {
    check.checked = del;
    question.checked = !del;
}

void RuleDialog::setMarkPreview(MarkPreview* preview) {
    preview_ = preview;
    updatePreview();
}

void RuleDialog::updatePreview() {
    MarkCount count;
    if (preview_) {
        RuleTable rule(kind_);
        SetGridHeadings(rule);
        writeRow(rule, 1);
        count = preview_->wouldMark(rule);
        // OK keeps no such rule: it marks nothing.
        if (refusal()) count.marked = 0;
    }
    lblPreview.visible = count.listed > 0;
    lblPreview.caption = count.listed > 0 ? "Would mark " + std::to_string(count.marked) + " of the " +
                                                std::to_string(count.listed) + " listed message" +
                                                (count.listed == 1 ? "" : "s")
                                          : std::string();
    changed();
}

std::vector<std::string> RuleDialog::operatorItems(int count) {
    std::vector<std::string> items;
    for (int i = 0; i < count; ++i) items.emplace_back(kOperatorWordings[static_cast<std::size_t>(i)].shown);
    return items;
}

int RuleDialog::operatorIndex(std::string_view keyword, int count) {
    for (int i = 0; i < count; ++i)
        if (kOperatorWordings[static_cast<std::size_t>(i)].stored == keyword) return i;
    return 0;
}

std::string RuleDialog::storedKeyword(int index) {
    if (index < 0 || index >= static_cast<int>(kOperatorWordings.size())) return std::string();
    return std::string(kOperatorWordings[static_cast<std::size_t>(index)].stored);
}

}  // namespace quorvel
