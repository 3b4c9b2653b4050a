#include "config/frm_options_main.h"

#include <exception>

namespace quorvel {

TfrmOptionsMain::TfrmOptionsMain(Platform& platform)
    : Form("frmOptionsMain", "Spam Settings"), rules(platform.programFolder), platform_(platform) {
    edUnknown.text.assign(1, '0');  // not = "0": g++ 12 warns falsely (-Wrestrict) on that
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

void TfrmOptionsMain::insertFirstRule(const HeaderRuleRow& row) {
    RuleTable& table = rules.gridHeader;
    makeFirstRuleRow(table);
    const std::string cells[] = {row.what, row.matches, row.caseSensitive, row.del, row.hits};
    for (int col = 1; col <= 5; ++col) table.setCell(col, 1, cells[col - 1]);
    CheckGridAdv(table, 1, row.del == "Yes");
    changed();
}

}  // namespace quorvel
