#pragma once

#include <functional>
#include <string>

#include "platform/form.h"

namespace quorvel {

// "Which Mail Box?": asks which configured mailbox to check. The mailbox
// number goes in before showing and is read back after the dialog closes.
class TfrmWhichMailbox : public Form {
public:
    // The live server and user name of mailbox n (1 to 12).
    using AccountLookup = std::function<std::pair<std::string, std::string>(int n)>;

    explicit TfrmWhichMailbox(AccountLookup accounts);

    Control lblQuestion;
    Control cbWhich;  // items: one per configured mailbox; chosen, never typed
    Control btOK, btCancel;
    int mailbox = 1;

    void FormShow();
    void btOKClick();
    void btCancelClick();

private:
    AccountLookup accounts_;
};

}  // namespace quorvel
