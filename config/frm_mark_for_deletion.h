#pragma once

#include <array>
#include <string>
#include <vector>

#include "config/frm_options_main.h"
#include "platform/form.h"

namespace quorvel {

// "Mark e-mail for deletion": turns messages chosen in the main window into
// subject and sender rules that delete them from now on.
class TfrmMarkForDeletion : public Form {
public:
    // The table's rows: the heading row and one row per message.
    static constexpr int kRowCount = 250;
    static constexpr int kSubjectCol = 0;
    static constexpr int kFromCol = 1;

    // The rules go into the spam settings window's tables, which it saves.
    explicit TfrmMarkForDeletion(TfrmOptionsMain& options);

    Control lblHeading;
    // kRowCount rows of two cells: "Subject" and "From".
    std::vector<std::array<std::string, 2>> StringGrid1;
    Control cbFrom, cbSubject;
    Control btOK, btCancel;

    // Writes one message into row `row` (1 to kRowCount - 1); false, and
    // nothing written, outside the table.
    bool setMessage(int row, const std::string& subject, const std::string& from);

    // Writes the headings.
    void FormShow();
    // Adds the rules of every row with a subject, in row order, then saves
    // the rule tables.
    void btOKClick();
    void btCancelClick();

private:
    void addToList(const std::string& subject, const std::string& from);

    TfrmOptionsMain& options_;
};

}  // namespace quorvel
