#pragma once

#include "config/rule_dialog.h"

namespace quorvel {

// "Subject line options": one subject rule.
class TfrmOptionsSubject : public RuleDialog {
public:
    static constexpr int kOperators = 7;
    static constexpr const char* kBlankPattern =
        "The subject line text cannot be blank for this condition.  Please enter the text to look for.";

    explicit TfrmOptionsSubject(Dialogs& dialogs);

    Control lblSubject;
    Control cbWhat;  // operators 0 to 6
    Control edit1;   // the pattern, with its suggestions
    Control cbCase;
    Control lblMark, rbCheck, rbQuestion, lblNote;

    void newRule() override;
    void fillFromRow(const RuleTable& table, int row) override;
    void writeRow(RuleTable& table, int row) const override;
    void btOKClick() override;
    std::optional<Refusal> refusal() const override;

    // The pattern and the case box serve the pattern operators only.
    void cbWhatClick();
    // The toolkit reports the user's changes through these.
    void edit1Change(const std::string& text);
    void cbCaseClick(bool checked);
    void rbCheckClick();
    void rbQuestionClick();
};

}  // namespace quorvel
