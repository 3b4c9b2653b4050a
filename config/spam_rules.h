#pragma once

#include <string>

#include "config/rule_table.h"
#include "config/spam_options.h"

namespace quorvel {

// The live spam rules: the four rule tables and the option values, loaded
// from and saved to their files in the program folder.
class SpamRules {
public:
    explicit SpamRules(std::string programFolder);

    RuleTable gridSubject{RuleTableKind::Subject};
    RuleTable gridHeader{RuleTableKind::Header};
    RuleTable gridFrom{RuleTableKind::Sender};
    RuleTable gridExcept{RuleTableKind::Exception};
    SpamOptions options;

    const std::string& programFolder() const { return folder_; }
    std::string iniPath() const;

    // Loads the four tables and the option values. A corrupt rule file does not
    // keep the others from loading: its table stays as it was, and the first
    // such error is thrown once everything else is in.
    void readSettings();
    // Saves the four tables in order, then the option values. Each file is
    // replaced whole; the first failure is thrown after the others were tried.
    void Savesettings() const;
    void SetGridHeadings();
    // Removes neighbouring duplicates from the four tables, in order.
    void deleteDuplicateRules();

private:
    std::string folder_;
};

}  // namespace quorvel
