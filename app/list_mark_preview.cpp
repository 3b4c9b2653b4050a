#include "app/list_mark_preview.h"

#include "app/frm_main.h"
#include "classify/classification.h"

namespace quorvel {

namespace {

// Judges quietly: no reason lines, and the mailbox being checked is the main
// window's (mailbox rules depend on it).
class QuietHost : public ClassificationHost {
public:
    explicit QuietHost(TfrmMain& main) : main_(main) {}
    bool explaining() const override { return false; }
    void whyAdd(bool, const std::string&, const std::string&, const std::string&, bool) override {}
    void whyExcept(const std::string&, const std::string&, const std::string&, bool) override {}
    int serverToIndex() override { return main_.serverToIndex(); }

private:
    TfrmMain& main_;
};

// Every listed message judged afresh, unmarked, by a pipeline of the checks
// that `rules` and `learning` leave on.
MarkCount countMarks(TfrmMain& main, SpamRules& rules, const LearnedModel* model, const LearningSettings& learning) {
    MarkCount count;
    const auto& rows = main.ListView1.rows;
    count.listed = static_cast<int>(rows.size());
    if (rows.empty()) return count;

    const KnownList noKnownSpammers;
    QuietHost host(main);
    Classification classification(rules, noKnownSpammers, host);
    classification.setLearning(model, learning);

    const TmsRemoteInfo& records = main.msRemotePOP1.RemoteInfo();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const MessageRow& row = rows[i];
        const TmsHeaders* headers = nullptr;
        if (i < static_cast<std::size_t>(records.Count())) headers = &records.Items(static_cast<int>(i)).Headers;
        const TmsHeaders none;
        MessageToJudge message{row.caption, row.sender, row.size, headers ? headers : &none,
                               !row.subjectUndecodable, !row.senderUndecodable};
        if (classification.judge(message, Mark::None) != Mark::None) ++count.marked;
    }
    return count;
}

// Rules with every table empty and every option check off.
SpamRules noRules() {
    SpamRules rules{std::string()};
    rules.options.QSmaller = false;
    rules.options.QLarger = false;
    rules.options.QMonitor = false;
    rules.options.Valid = false;
    return rules;
}

}  // namespace

MarkCount ListMarkPreview::wouldMark(const RuleTable& rule) {
    if (main_.ListView1.rows.empty()) return {};
    // Only the edited rule's table holds a rule; every other check is off.
    SpamRules rules = noRules();
    switch (rule.kind()) {
    case RuleTableKind::Subject: rules.gridSubject = rule; break;
    case RuleTableKind::Header: rules.gridHeader = rule; break;
    case RuleTableKind::Sender: rules.gridFrom = rule; break;
    case RuleTableKind::Exception: rules.gridExcept = rule; break;
    }
    return countMarks(main_, rules, nullptr, {});
}

MarkCount learnedWouldMark(TfrmMain& main, const LearnedModel& model, const LearningSettings& settings) {
    if (main.ListView1.rows.empty()) return {};
    SpamRules rules = noRules();
    return countMarks(main, rules, &model, settings);
}

}  // namespace quorvel
