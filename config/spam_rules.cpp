#include "config/spam_rules.h"

#include <exception>
#include <utility>

#include "config/rule_file.h"
#include "platform/files.h"

namespace quorvel {

namespace {

// Runs every step and rethrows the first failure at the end, so one bad file
// does not stop the others.
class FirstError {
public:
    template <typename Step>
    void run(Step step) {
        try {
            step();
        } catch (...) {
            if (!first_) first_ = std::current_exception();
        }
    }
    void rethrow() const {
        if (first_) std::rethrow_exception(first_);
    }

private:
    std::exception_ptr first_;
};

}  // namespace

SpamRules::SpamRules(std::string programFolder) : folder_(std::move(programFolder)) {}

std::string SpamRules::iniPath() const { return joinPath(folder_, kIniFileName); }

void SpamRules::readSettings() {
    FirstError errors;
    const auto load = [&](RuleTable& table, const char* name) {
        errors.run([&] { table = loadRuleTable(joinPath(folder_, name), table.kind()); });
    };
    load(gridSubject, "subj.lst");
    load(gridHeader, "header.lst");
    load(gridFrom, "from.lst");
    load(gridExcept, "except.lst");
    options = loadSpamOptions(iniPath());
    errors.rethrow();
}

void SpamRules::Savesettings() const {
    FirstError errors;
    const auto save = [&](const RuleTable& table, const char* name) {
        errors.run([&] { saveRuleTable(joinPath(folder_, name), table); });
    };
    save(gridSubject, "subj.lst");
    save(gridHeader, "header.lst");
    save(gridFrom, "from.lst");
    save(gridExcept, "except.lst");
    errors.run([&] { saveSpamOptions(iniPath(), options); });
    errors.rethrow();
}

void SpamRules::SetGridHeadings() {
    for (RuleTable* table : {&gridSubject, &gridHeader, &gridFrom, &gridExcept}) quorvel::SetGridHeadings(*table);
}

void SpamRules::deleteDuplicateRules() {
    for (RuleTable* table : {&gridSubject, &gridHeader, &gridFrom, &gridExcept}) DeleteDupsFromGrid(*table);
}

}  // namespace quorvel
