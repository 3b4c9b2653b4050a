#pragma once

#include "classify/learned_judge.h"
#include "config/mark_preview.h"

namespace quorvel {

class TfrmMain;

// Answers the rule dialogs' "Would mark" line from the main window's list:
// the edited rule alone judges every listed message by the classification's
// own code, on copies, so no mark and no hit counter of the real rules moves.
// The other checks (size, blacklist, unknown domains) stay out of it: the
// line tells what this one rule does.
class ListMarkPreview : public MarkPreview {
public:
    explicit ListMarkPreview(TfrmMain& main) : main_(main) {}
    MarkCount wouldMark(const RuleTable& rule) override;

private:
    TfrmMain& main_;
};

// How many of the main window's listed messages the learned judge alone
// would mark with these settings, judged quietly on copies.
MarkCount learnedWouldMark(TfrmMain& main, const LearnedModel& model, const LearningSettings& settings);

}  // namespace quorvel
