#pragma once

#include <string>
#include <utility>
#include <vector>

#include "config/frm_general.h"
#include "config/frm_internet.h"
#include "config/rule_dialog.h"

namespace quorvel {

// "Header characteristics": one header rule in one of its four forms.
class TfrmHeaders : public RuleDialog {
public:
    static constexpr int kOperators = 5;
    static constexpr const char* kBlankHeader = "The header text cannot be blank";
    static constexpr const char* kBlankTo = "The TO field cannot be blank";
    // Column 2 of the mailbox and sender forms.
    static constexpr const char* kMailBoxMark = " - MailBox #";
    static constexpr const char* kToDoesNotContain = "To does not contain";
    static constexpr const char* kSender = "Sender";
    static constexpr const char* kNotReplyTo = "does not match Reply-to";
    static constexpr const char* kEqualsTo = "equals To field";

    TfrmHeaders(Dialogs& dialogs, TfrmInternet& internet);

    // The mailbox accounts cbMailBox lists (the general settings' live ones).
    void setAccounts(const TfrmGeneral* accounts) { accounts_ = accounts; }

    Control rbHeader, rbReplyTomatch, rbTo, rbFromEqualsTo;
    Control cbWhat;    // operators 0 to 4
    Control cbHeader;  // the header text (free text with suggestions)
    Control cbCase, lblCountry;
    Control edTo, lblMailBox, cbMailBox;
    Control lblMark, rbCheck, rbQuestion, lblNote;
    Control btCountry;

    void newRule() override;
    void fillFromRow(const RuleTable& table, int row) override;
    void writeRow(RuleTable& table, int row) const override;
    void btOKClick() override;
    std::optional<Refusal> refusal() const override;

    // Shows the controls of the chosen form only.
    void rbReplyTomatchClick();
    // Chooses one of the four forms (the four option buttons).
    void chooseForm(Control& option);
    // Picks a country and makes the rule a header text ending in its suffix.
    void btCountryClick();
    void cbWhatClick();
    void cbHeaderChange(const std::string& text);
    void cbCaseClick(bool checked);
    void edToChange(const std::string& text);
    void cbMailBoxClick(int index);
    void rbCheckClick();
    void rbQuestionClick();

private:
    // Lists the configured accounts; `keep` (1 to 12) is listed too when it
    // is not configured, so reopening a rule never moves it to another mailbox.
    void listMailboxes(int keep);

    TfrmInternet& internet_;
    const TfrmGeneral* accounts_ = nullptr;
};

}  // namespace quorvel
