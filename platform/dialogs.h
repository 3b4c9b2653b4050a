#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/form.h"

namespace quorvel {

// A table to print: a title centred at the top of every page, the date at
// the top left, the time at the top right, "Page n" at the bottom right, and
// the rows under the headings, continued on as many portrait pages as they need.
struct PrintedTable {
    std::string title, date, time;
    std::vector<std::string> headings;
    std::vector<int> widths;             // relative widths of the columns
    std::vector<bool> alignRight;        // per column
    std::vector<std::vector<std::string>> rows;
};

enum class MessageKind { Information, Error, Warning, Confirmation };
// YesNoDefaultNo: a question whose Yes gives something away (trusting a
// certificate) is answered No by Enter.
enum class MessageButtons { Ok, YesNo, OkCancel, YesNoDefaultNo };

// Modal questions and windows. The toolkit answers them with real dialogs;
// tests answer them from a script and keep the texts for inspection.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // Shows a message box and returns the button pressed (Ok, Cancel, Yes, No).
    virtual ModalResult messageBox(MessageKind kind, const std::string& text,
                                   MessageButtons buttons = MessageButtons::Ok) = 0;

    // Shows a window modally, bringing the program forward first, also while
    // the main window is hidden. Returns the form's modal result.
    virtual ModalResult showModal(Form& form) = 0;

    // File choosers, starting from `initial`. `filter` is written as pairs of
    // description and pattern: "Text files (*.txt)|*.txt|All files (*.*)|*.*";
    // `defaultExt` (".txt") is added to a name typed without an extension.
    // Nothing when the user cancels.
    virtual std::optional<std::string> openFileName(const std::string& title, const std::string& filter,
                                                    const std::string& defaultExt, const std::string& initial) = 0;
    virtual std::optional<std::string> saveFileName(const std::string& title, const std::string& filter,
                                                    const std::string& defaultExt, const std::string& initial) = 0;

    // A folder chooser starting from `initial`; nothing when the user
    // cancels, and where there is no chooser.
    virtual std::optional<std::string> folderName(const std::string& /*title*/, const std::string& /*initial*/) {
        return std::nullopt;
    }

    // Shows the print dialog (printing to a file allowed) and prints the
    // table when the user confirms. False when the user cancels, and where
    // there is nothing to print on.
    virtual bool printTable(const PrintedTable& /*table*/) { return false; }
};

}  // namespace quorvel
