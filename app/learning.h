#pragma once

#include <memory>
#include <string>

#include "classify/learned_judge.h"
#include "classify/learned_model.h"
#include "classify/learned_model_file.h"
#include "config/learning_service.h"
#include "config/spam_options.h"
#include "mail/remote_info.h"

namespace quorvel {

class TfrmMain;

// The learning judge's settings as the spam options hold them.
LearningSettings learningSettings(const SpamOptions& options);

// The profile's learned model as the main window keeps it: loaded at start,
// taught by the user's decisions, saved when something was learned. It also
// answers the "Learning" tab of the spam settings window.
class UserLearning : public LearningService {
public:
    // Reads the model from the program's data folder. A damaged file is set
    // aside; loadProblem() then says so, for the activity log.
    UserLearning(const std::string& programFolder, TfrmMain& main);

    const LearnedModel& model() const { return model_; }
    const std::string& loadProblem() const { return loadProblem_; }

    // Learns a listed message from its header lines and size; one learned as
    // the other class moves.
    void learn(const TmsRemoteInfoItem& record, bool spam);
    // True when something was learned since the last save.
    bool unsaved() const { return model_.hasChanges(); }
    // Writes what was learned, merged with what another program wrote
    // meanwhile. Returns the line for the activity log when it could not be
    // written or a damaged file was set aside; otherwise "".
    std::string save();

    LearnedFacts facts() override;
    MarkCount wouldMark(const SpamOptions& options) override;
    void forget() override;
    std::unique_ptr<MailLearningRun> learnFrom(const std::string& path, bool spam) override;

private:
    TfrmMain& main_;
    LearnedModelFile file_;
    LearnedModel model_;
    std::string loadProblem_;
};

}  // namespace quorvel
