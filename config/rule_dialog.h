#pragma once

#include <optional>

#include <string>
#include <string_view>
#include <vector>

#include "config/mark_preview.h"
#include "config/rule_keywords.h"
#include "config/rule_table.h"
#include "platform/dialogs.h"
#include "platform/form.h"

namespace quorvel {

// What the four rule dialogs share: the three steps the spam settings window
// takes with them (a new rule, a rule filled from a row, the row written on
// OK), the buttons, the focus request and the live "Would mark" line.
class RuleDialog : public Form {
public:
    RuleDialog(std::string name, std::string caption, RuleTableKind kind, Dialogs& dialogs);

    RuleTableKind kind() const { return kind_; }

    // Sets the controls to the defaults of a new rule.
    virtual void newRule() = 0;
    // Sets the controls from an existing rule row.
    virtual void fillFromRow(const RuleTable& table, int row) = 0;
    // Writes the controls into a row of the table, its image included; the
    // row must exist. The hit count is kept, "0" when empty.
    virtual void writeRow(RuleTable& table, int row) const = 0;

    // OK checks the fields; a refusal shows the error, asks for the focus on
    // the field at fault and leaves modalResult at None.
    virtual void btOKClick() = 0;
    void btCancelClick();

    Control lblHeading, lblExplanation;
    Control btOK, btCancel;
    // "Would mark N of the M listed messages"; hidden while nothing is listed.
    Control lblPreview;
    // The control that should hold the focus, by name, and a count of the
    // requests: each new request moves the focus, also to the same field.
    std::string focusedControl;
    unsigned focusRequests = 0;

    // Where the "Would mark" line is judged; none hides it.
    void setMarkPreview(MarkPreview* preview);
    // Judges the rule as the controls now stand; each handler that changes
    // the rule calls it.
    void updatePreview();

    // The operator list of a dialog: the first `count` wordings.
    static std::vector<std::string> operatorItems(int count);
    // The list index of a stored keyword among the first `count`; 0 when
    // the keyword is not one of them.
    static int operatorIndex(std::string_view keyword, int count);
    static std::string storedKeyword(int index);
    static const char* yesNo(bool yes) { return yes ? "Yes" : "No"; }

protected:
    // The refusal OK would give as the controls now stand: the message and
    // the field at fault. The preview shows no marks for a rule OK refuses.
    struct Refusal {
        const char* text;
        const char* control;
    };
    virtual std::optional<Refusal> refusal() const = 0;
    // Refuses, as refusal() says, and returns true; false when OK may go on.
    bool refused();
    // Shows the error, asks for the focus and keeps the dialog open.
    void refuse(const std::string& text, const char* control);
    void requestFocus(const char* control);
    void accept();
    // The "Del?" choice shared by the subject, header and sender dialogs.
    static void setMark(Control& check, Control& question, bool del);

    Dialogs& dialogs_;

private:
    RuleTableKind kind_;
    MarkPreview* preview_ = nullptr;
};

}  // namespace quorvel
