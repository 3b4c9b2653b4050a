// Feeds arbitrary bytes to the rule-file reader as each of the four tables.
// A table that loads must survive a save and a reload unchanged.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "config/rule_file.h"

using namespace quorvel;

static bool sameTable(const RuleTable& a, const RuleTable& b) {
    if (a.colCount() != b.colCount() || a.rowCount() != b.rowCount()) return false;
    for (int row = 0; row < a.rowCount(); ++row) {
        if (a.image(row) != b.image(row)) return false;
        for (int col = 0; col < a.colCount(); ++col)
            if (a.cell(col, row) != b.cell(col, row)) return false;
    }
    for (int col = 0; col < a.colCount(); ++col)
        if (a.colWidth(col) != b.colWidth(col)) return false;
    return true;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // Header and sender tables load exactly as the subject table does.
    for (RuleTableKind kind : {RuleTableKind::Subject, RuleTableKind::Exception}) {
        try {
            const RuleTable table = parseRuleTable(bytes, kind, "fuzz.lst");
            const RuleTable again = parseRuleTable(formatRuleTable(table), kind, "fuzz.lst");
            if (!sameTable(table, again)) std::abort();
            RuleTable copy = table;
            DeleteDupsFromGrid(copy);
            if (copy.rowCount() < 2 || copy.rowCount() > table.rowCount()) std::abort();
        } catch (const RuleFileError&) {
        }
    }
    return 0;
}
