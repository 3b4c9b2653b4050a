#pragma once

#include <string>

#include "config/known_list.h"
#include "platform/form.h"

namespace quorvel {

// The known-spammer list editor of the spam settings window as plain state:
// the text of "known.lst", read-only (grey) until "&Edit", and the rebuild
// that "&Save" runs over the list the main window searches.
class KnownListEditor {
public:
    KnownListEditor(KnownList& list, std::string path);

    std::string text;      // memo1
    bool readOnly = true;  // also draws the grey background
    int topLine = 0;       // scroll position, kept across a rebuild
    Control btEditKnown;
    Control btSaveChanges;
    Control btCancelChanges;
    Control pnlSorting;

    // Opens "known.lst"; without it, shows the notice and offers no editing.
    void LoadMemoofKnownSpammers();
    void btEditKnownClick();
    // Rebuilds the list from the editor's lines and writes it to "known.lst"
    // when that file exists.
    void btSaveChangesClick();
    // Drops the edits and opens the file again.
    void btCancelChangesClick();

    // The count the "Spammers" label shows.
    std::size_t lineCount() const;

private:
    void lockEditing();

    KnownList& list_;
    std::string path_;
};

}  // namespace quorvel
