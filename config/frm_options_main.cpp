#include "config/frm_options_main.h"

#include <exception>

#include "platform/convert.h"

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

bool TfrmOptionsMain::fillBlankMailboxRule(int mailbox, const std::string& address) {
    static constexpr std::string_view kMarker = " - MailBox #";
    RuleTable& table = rules.gridHeader;
    const std::string number = std::to_string(mailbox);
    for (int row = 1; row < table.rowCount() && !table.cell(1, row).empty(); ++row) {
        if (table.cell(1, row) != "To does not contain") continue;
        const std::string& text = table.cell(2, row);
        const std::size_t marker = text.find(kMarker);
        if (marker == std::string::npos || !IsBlank(std::string_view(text).substr(0, marker)) ||
            text.substr(marker + kMarker.size()) != number)
            continue;
        table.setCell(2, row, address + text.substr(marker));
        changed();
        return true;
    }
    return false;
}

}  // namespace quorvel
