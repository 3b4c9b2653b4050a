#pragma once

#include "platform/form.h"

namespace quorvel {

// The borderless splash shown while the program starts: its first panel
// until the main window is nearly ready, then its second.
class TfrmSplash : public Form {
public:
    TfrmSplash() : Form("frmSplash", "") {
        visible = true;
        pnl2.visible = false;
    }
    Control pnl1, pnl2;
};

}  // namespace quorvel
