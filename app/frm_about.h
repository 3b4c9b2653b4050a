#pragma once

#include "config/settings_store.h"
#include "platform/form.h"

namespace quorvel {

// The about window. It counts how often it was opened in the setting Points,
// read when it opens and written when it closes.
class TfrmAbout : public Form {
public:
    explicit TfrmAbout(SettingsStore& store);
    void FormShow();
    void FormClose();

    Control lblVersion;
    Control lblPoints;

private:
    SettingsStore& store_;
    int points_ = 0;
};

}  // namespace quorvel
