#pragma once

#include <string>

#include "config/frm_general.h"
#include "config/spam_rules.h"
#include "platform/form.h"
#include "platform/platform.h"

namespace quorvel {

class RuleDialogs;

// The spam settings window's logic. It owns the live rule tables and option
// values for the whole run: the classification reads them from here, and an
// edit takes effect at once.
class TfrmOptionsMain : public Form, public HeaderRules {
public:
    // Creation loads the rule tables and the option values.
    explicit TfrmOptionsMain(Platform& platform);

    SpamRules rules;
    // The count of unknown domains found so far, as the window shows it.
    Control edUnknown;

    // Loads the four tables and the option values; a corrupt rule file is
    // reported once the others are in.
    void readSettings();
    // Saves the four tables and the option values, the counter included.
    void Savesettings() override;
    // Puts a header rule first (the general settings' first-run mailbox rule).
    void insertFirstRule(const HeaderRuleRow& row) override;

    // The dialogs that edit one rule each, created after this window.
    void setRuleDialogs(RuleDialogs* dialogs) { ruleDialogs_ = dialogs; }

private:
    Platform& platform_;
    RuleDialogs* ruleDialogs_ = nullptr;
};

}  // namespace quorvel
