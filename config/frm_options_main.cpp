#include "config/frm_options_main.h"

#include <exception>

namespace quorvel {

TfrmOptionsMain::TfrmOptionsMain(Platform& platform)
    : Form("frmOptionsMain", "Spam Settings"), rules(platform.programFolder), platform_(platform) {
    edUnknown.text = "0";
    readSettings();
}

void TfrmOptionsMain::readSettings() {
    try {
        rules.readSettings();
    } catch (const std::exception& error) {
        // The other tables and the options are loaded; the program goes on.
        platform_.dialogs.messageBox(MessageKind::Error, error.what());
    }
    edUnknown.text = rules.options.unknownNum;
    changed();
}

void TfrmOptionsMain::Savesettings() {
    rules.options.unknownNum = edUnknown.text;
    rules.Savesettings();
}

}  // namespace quorvel
