#pragma once

#include <initializer_list>
#include <string>
#include <utility>
#include <string_view>
#include <vector>

#include "platform/form.h"

namespace quorvel {

// "View Selected Headers": shows lines of text with a title that tells what
// they are. Made afresh for each use and shown modally.
class TfrmViewHeader : public Form {
public:
    enum class Mode { Headers, Reasons, Body };

    static constexpr const char* kHeadersTitle = "Contents of selected e-mail headers";
    static constexpr const char* kReasonsTitle = "Reasons that e-mail is marked or not marked";
    static constexpr const char* kBodyTitle = "Contents of e-mail";

    explicit TfrmViewHeader(Mode mode);

    Mode mode() const { return mode_; }

    Control lblTitle;
    // Memo1.text holds the lines, each followed by '\n'.
    Control Memo1;
    Control btOK;  // both the default and the cancel button
    // Under the title of a body: the parts of the message not shown, if any.
    Control lblMoreParts;
    // The character set the shown text is written in; "" for the program's
    // usual reading of bytes. Only a message body declares one.
    std::string charSet;

    // Parts of the text written in a declared character set (a subject or a
    // sender shown among the program's own words).
    struct CharSetSpan {
        std::size_t begin = 0, size = 0;
        std::string charSet;
    };
    std::vector<CharSetSpan> spans;

    void addLine(std::string_view line);
    // One line of parts, each a text and the set it is written in ("" for none).
    void addParts(std::initializer_list<std::pair<std::string_view, std::string_view>> parts);
    // Text whose lines already end in '\n' each.
    void addLines(std::string_view text) { Memo1.text.append(text); }
    std::vector<std::string> lines() const;
    // Names the parts of a message that the body view does not show.
    void setMoreParts(const std::vector<std::pair<std::string, std::size_t>>& parts);

    // Sets the title of the mode.
    void FormShow();
    void btOKClick();

private:
    Mode mode_;
};

}  // namespace quorvel
