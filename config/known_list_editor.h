#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "config/known_list.h"
#include "platform/form.h"

namespace quorvel {

// The known-spammer list editor of the spam settings window as plain state:
// the text of "known.lst", read-only (grey) until "&Edit", and the rebuild
// that "&Save" runs over the list the main window searches.
class KnownListEditor {
public:
    KnownListEditor(KnownList& list, std::string path);

    // memo1, as UTF-8: a line of the file that is not valid UTF-8 shows in
    // Windows-1252 and, unless the user changes it, is written back as read.
    std::string text;
    bool readOnly = true;  // also draws the grey background
    int topLine = 0;       // scroll position, kept across a rebuild
    // Counts the openings of the file: a view redraws the text after each,
    // also when it reads the same, since the view may hold dropped edits.
    std::uint64_t opened = 0;
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
    // The file's bytes for the editor's text.
    std::string fileForm() const;

    KnownList& list_;
    std::string path_;
    // For each shown form of a line that was not valid UTF-8: the bytes of
    // every file line that shows so, in file order.
    std::unordered_map<std::string, std::vector<std::string>> readAs_;
    // The line break the file was read with: a save writes the same.
    std::string lineEnd_ = "\r\n";
};

}  // namespace quorvel
