#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "config/rule_table.h"

namespace quorvel {

// A rule file that cannot be read; what() is the message for the user.
class RuleFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The most rows (headings included) a rule file may declare. A larger count
// can only come from a damaged file, and would cost memory for nothing. An
// import of a hundred thousand keywords into a table that holds rules
// already must still load again.
inline constexpr long long kMaxRuleRows = 1000000;

// Reads a rule table from the bytes of its file. `path` only names the file in
// error messages. Throws RuleFileError when the first line holds no column or
// row count.
RuleTable parseRuleTable(std::string_view bytes, RuleTableKind kind, const std::string& path);

// A missing file gives the headings and one empty rule row.
RuleTable loadRuleTable(const std::string& path, RuleTableKind kind);

// The file's bytes: "C,R", one "cw" line per column, one line per non-empty cell.
std::string formatRuleTable(const RuleTable& table);

// Replaces the file whole, so a failed save leaves the previous file intact.
void saveRuleTable(const std::string& path, const RuleTable& table);

}  // namespace quorvel
