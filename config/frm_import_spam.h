#pragma once

#include <string>
#include <vector>

#include "platform/form.h"

namespace quorvel {

// "Import new keywords": lines pasted or typed in, one rule per line.
class TfrmImportSpam : public Form {
public:
    TfrmImportSpam();

    Control lblTitle, lblHint;
    Control Memo1;  // the text, lines separated by line feeds
    Control btOK, btCancel;

    // Shows the title over an empty text box.
    void open(const std::string& title);
    // Removes every line equal to the one just before it, then closes with OK.
    void btOKClick();
    void btCancelClick();

    // The text's lines; a final line break does not start another line, and
    // a carriage return before a line feed is part of the line break.
    std::vector<std::string> lines() const;
};

}  // namespace quorvel
