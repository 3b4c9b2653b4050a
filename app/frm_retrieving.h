#pragma once

#include <functional>
#include <string>

#include "platform/form.h"

namespace quorvel {

// "Retrieving ...": the progress of a listing or a deletion, shown without
// blocking the main window; its button cancels the run.
class TfrmRetrieving : public Form {
public:
    static constexpr const char* kRetrievingTitle = "Retrieving messages ... standby";
    static constexpr const char* kDeletingTitle = "Deleting messages ... standby";

    TfrmRetrieving();

    Control lblServerCaption, lblServer;
    Control lblMailboxCaption, lblMailbox;
    Control lblTitle;
    Control lblMsg;
    Control progbar;  // value: position
    int progbarMax = 0;
    bool anMailRunning = false;  // the mail animation, 10 frames of 300 ms
    Control btCancel;

    // The main window's cancel of the run in progress.
    std::function<void()> onCancel;

    // Shows the dialog for the client's server and user name.
    void FormShow(const std::string& server, const std::string& userName);
    void hide();
    void setMessage(const std::string& text);
    void hideProgress();
    void showProgress(int position, int maximum);
    void btCancelClick();
};

}  // namespace quorvel
