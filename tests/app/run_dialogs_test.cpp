#include <map>

#include <gtest/gtest.h>

#include "app/frm_retrieving.h"
#include "app/frm_which_mailbox.h"

namespace quorvel {
namespace {

TfrmWhichMailbox::AccountLookup accounts(std::map<int, std::pair<std::string, std::string>> configured) {
    return [configured](int n) {
        const auto it = configured.find(n);
        return it == configured.end() ? std::pair<std::string, std::string>{} : it->second;
    };
}

TEST(WhichMailbox, ListsOnlyConfiguredMailboxesAndPreselectsTheCurrentOne) {
    TfrmWhichMailbox dialog(accounts({{1, {"pop.one.test", "ann"}}, {3, {"pop.three.test", "bob"}}}));
    dialog.mailbox = 3;
    dialog.FormShow();
    EXPECT_EQ(dialog.cbWhich.items,
              (std::vector<std::string>{"1) Mailbox ann - Server pop.one.test", "3) Mailbox bob - Server pop.three.test"}));
    EXPECT_EQ(dialog.cbWhich.itemIndex, 1);
    EXPECT_EQ(dialog.caption, "Which Mail Box?");

    dialog.cbWhich.itemIndex = 0;
    dialog.btOKClick();
    EXPECT_EQ(dialog.modalResult, ModalResult::Ok);
    EXPECT_EQ(dialog.mailbox, 1);
}

TEST(WhichMailbox, CancelAndAnEmptyChoiceKeepTheMailbox) {
    TfrmWhichMailbox dialog(accounts({{2, {"pop.two.test", "cy"}}, {12, {"pop.twelve.test", "di"}}}));
    dialog.mailbox = 5;  // not configured: nothing is preselected
    dialog.FormShow();
    EXPECT_EQ(dialog.cbWhich.itemIndex, -1);
    dialog.btOKClick();
    EXPECT_EQ(dialog.mailbox, 5);

    dialog.FormShow();
    dialog.cbWhich.itemIndex = 1;
    dialog.btCancelClick();
    EXPECT_EQ(dialog.modalResult, ModalResult::Cancel);
    EXPECT_EQ(dialog.mailbox, 5);

    dialog.btOKClick();  // "12) ..." reads as 12, not 1
    EXPECT_EQ(dialog.mailbox, 12);
}

TEST(Retrieving, ShowingResetsTheDialogAndTheButtonCancels) {
    TfrmRetrieving dialog;
    dialog.setMessage("Message 3 of 9");
    dialog.showProgress(3, 9);
    dialog.lblTitle.caption = TfrmRetrieving::kDeletingTitle;
    dialog.FormShow("pop.example.test", "ann");
    EXPECT_TRUE(dialog.visible);
    EXPECT_EQ(dialog.lblMsg.caption, "");
    EXPECT_EQ(dialog.lblServer.caption, "pop.example.test");
    EXPECT_EQ(dialog.lblMailbox.caption, "ann");
    EXPECT_EQ(dialog.lblTitle.caption, "Retrieving messages ... standby");
    EXPECT_FALSE(dialog.progbar.visible);
    EXPECT_TRUE(dialog.anMailRunning);
    EXPECT_EQ(dialog.btCancel.caption, "Click to cancel");

    int cancels = 0;
    dialog.onCancel = [&] { ++cancels; };
    dialog.btCancelClick();
    EXPECT_EQ(cancels, 1);
    dialog.hide();
    EXPECT_FALSE(dialog.visible);
    EXPECT_FALSE(dialog.anMailRunning);
}

}  // namespace
}  // namespace quorvel
