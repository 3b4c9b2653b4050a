#pragma once

#include "config/rule_dialog.h"

namespace quorvel {

// "Accept e-mail from": one exception, with the picture its messages get.
class TfrmAlwaysAccept : public RuleDialog {
public:
    static constexpr int kOperators = 5;
    static constexpr int kImageCells = kLastExceptionImage - kFirstExceptionImage + 1;
    static constexpr const char* kBlankEmail = "The email line cannot be blank";
    static constexpr const char* kBlankDomain = "The domain line cannot be blank";
    static constexpr const char* kBlankSubject = "The subject line cannot be blank";

    explicit TfrmAlwaysAccept(Dialogs& dialogs);

    Control rbEmail, edEmail;
    Control rbDomain, edDomain, lblDomainHint;
    Control rbSubject, cbLine, cbWhat, edSubject, cbCase;
    // The picture row: itemIndex is the chosen cell (0 to 11), the picture
    // shown is the cell + 3.
    Control imgPicker;

    void newRule() override;
    void fillFromRow(const RuleTable& table, int row) override;
    void writeRow(RuleTable& table, int row) const override;
    void btOKClick() override;
    std::optional<Refusal> refusal() const override;

    // The image index the chosen cell gives.
    int imageIndex() const { return imgPicker.itemIndex + kFirstExceptionImage; }

    // Shows the field of the chosen option and gives it the focus.
    void applyChoice();
    // Clicking the heading applies the visibility again.
    void lblHeadingClick() { applyChoice(); }
    void rbEmailClick();
    void rbDomainClick();
    void rbSubjectClick();
    void edEmailChange(const std::string& text);
    void edDomainChange(const std::string& text);
    void edSubjectChange(const std::string& text);
    void cbLineClick(int index);
    void cbWhatClick();
    void cbCaseClick(bool checked);
    void imgPickerClick(int cell);

private:
    void choose(Control& option);
};

}  // namespace quorvel
