#include "config/known_list_editor.h"

#include "platform/files.h"

namespace quorvel {

KnownListEditor::KnownListEditor(KnownList& list, std::string path) : list_(list), path_(std::move(path)) {
    btEditKnown.caption = "&Edit";
    btSaveChanges.caption = "&Save";
    btCancelChanges.caption = "Cancel";
    pnlSorting.caption = "Re-building list ... stand by";
    pnlSorting.visible = false;
    btSaveChanges.enabled = false;
    btCancelChanges.enabled = false;
}

void KnownListEditor::lockEditing() {
    readOnly = true;
    btSaveChanges.enabled = false;
    btCancelChanges.enabled = false;
}

void KnownListEditor::LoadMemoofKnownSpammers() {
    const auto bytes = fileExists(path_) ? readFileBytes(path_) : std::nullopt;
    const bool found = bytes.has_value();
    if (found) text = *bytes;
    pnlSorting.caption = found ? "Re-building list ... stand by" : "Could not locate the known spammer blacklist!";
    pnlSorting.visible = !found;
    btEditKnown.visible = btSaveChanges.visible = btCancelChanges.visible = found;
}

void KnownListEditor::btEditKnownClick() {
    readOnly = false;
    btSaveChanges.enabled = true;
    btCancelChanges.enabled = true;
}

void KnownListEditor::btSaveChangesClick() {
    pnlSorting.caption = "Re-building list ... stand by";
    pnlSorting.visible = true;
    lockEditing();

    list_.assign(filterKnownListLines(text));
    if (fileExists(path_)) writeFileAtomically(path_, list_.toFileBytes());

    const int keepTop = topLine;
    LoadMemoofKnownSpammers();
    topLine = keepTop;
    pnlSorting.visible = !fileExists(path_);
}

void KnownListEditor::btCancelChangesClick() {
    lockEditing();
    LoadMemoofKnownSpammers();
}

std::size_t KnownListEditor::lineCount() const {
    // Counted in place: the list may hold a million lines, and the count is
    // shown after every change of a table.
    std::size_t breaks = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++breaks;
        } else if (text[i] == '\r') {
            ++breaks;
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        }
    }
    const bool open = !text.empty() && text.back() != '\n' && text.back() != '\r';
    return breaks + (open ? 1 : 0);
}

}  // namespace quorvel
