#include "app/frm_which_mailbox.h"

#include <charconv>

namespace quorvel {

TfrmWhichMailbox::TfrmWhichMailbox(AccountLookup accounts)
    : Form("frmWhichMailbox", "Which Mail Box?"), accounts_(std::move(accounts)) {
    lblQuestion.caption = "Which mailbox do you wish to check?";
    btOK.caption = "OK";
    btCancel.caption = "Cancel";
}

void TfrmWhichMailbox::FormShow() {
    cbWhich.items.clear();
    cbWhich.itemIndex = -1;
    for (int n = 1; n <= 12; ++n) {
        const auto [server, user] = accounts_(n);
        if (server.empty()) continue;
        if (n == mailbox) cbWhich.itemIndex = static_cast<int>(cbWhich.items.size());
        cbWhich.items.push_back(std::to_string(n) + ") Mailbox " + user + " - Server " + server);
    }
    modalResult = ModalResult::None;
    changed();
}

void TfrmWhichMailbox::btOKClick() {
    // With no entry chosen the mailbox stays as it was.
    if (cbWhich.itemIndex >= 0 && cbWhich.itemIndex < static_cast<int>(cbWhich.items.size())) {
        const std::string& entry = cbWhich.items[static_cast<std::size_t>(cbWhich.itemIndex)];
        int number = 0;
        const auto end = entry.find(')');
        const auto [ptr, error] = std::from_chars(entry.data(), entry.data() + (end == std::string::npos ? 0 : end), number);
        if (error == std::errc() && ptr == entry.data() + end) mailbox = number;
    }
    modalResult = ModalResult::Ok;
    changed();
}

void TfrmWhichMailbox::btCancelClick() {
    modalResult = ModalResult::Cancel;
    changed();
}

}  // namespace quorvel
