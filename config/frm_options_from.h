#pragma once

#include "config/frm_internet.h"
#include "config/rule_dialog.h"

namespace quorvel {

// "Sender characteristics": one sender rule.
class TfrmOptionsFROM : public RuleDialog {
public:
    static constexpr int kOperators = 10;
    static constexpr const char* kBlankSender = "The Sender field cannot be left blank.";

    TfrmOptionsFROM(Dialogs& dialogs, TfrmInternet& internet);

    Control lblSender, lblIncludes, lblAfter, lblHint, lblExample1, lblExample2;
    Control cbDomain;  // "E-mail address" or "Domain name"
    Control cbWhat;    // operators 0 to 9
    Control edit1;     // the pattern, with its suggestions
    Control lblMark, rbCheck, rbQuestion, lblNote;
    Control btCountry, lblCountry;

    void newRule() override;
    void fillFromRow(const RuleTable& table, int row) override;
    void writeRow(RuleTable& table, int row) const override;
    void btOKClick() override;
    std::optional<Refusal> refusal() const override;

    // The pattern serves the pattern operators only.
    void cbWhatClick();
    // Picks a country and makes the rule a domain rule ending in its suffix.
    void btCountryClick();
    void cbDomainClick();
    void edit1Change(const std::string& text);
    void rbCheckClick();
    void rbQuestionClick();

private:
    TfrmInternet& internet_;
};

}  // namespace quorvel
