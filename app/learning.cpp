#include "app/learning.h"

#include "app/frm_main.h"
#include "app/list_mark_preview.h"
#include "app/mail_source.h"
#include "classify/learning_tokenizer.h"

namespace quorvel {

static_assert(kCautiousLearning == LearningCutoffs::kCautious && kEagerLearning == LearningCutoffs::kEager &&
                  kDefaultLearningLevel == LearningCutoffs::kDefaultLevel,
              "the settings window offers the judge's own levels");

LearningSettings learningSettings(const SpamOptions& options) {
    return {options.learning, options.deleteLearnedSpam, LearningCutoffs::preset(options.learningLevel)};
}

UserLearning::UserLearning(const std::string& programFolder, TfrmMain& main)
    : main_(main), file_(LearnedModelFile::pathFor(programFolder)) {
    loadProblem_ = file_.load(model_);
}

void UserLearning::learn(const TmsRemoteInfoItem& record, bool spam) {
    learnMessage(model_, record.Headers, record.Size > 0 ? static_cast<std::uint64_t>(record.Size) : 0, spam);
}

std::string UserLearning::save() {
    if (!model_.hasChanges()) return {};
    std::string problem;
    try {
        file_.save(model_, &problem);
    } catch (const std::exception& error) {
        // Kept in memory: the next save tries again.
        return std::string("What was learned could not be saved: ") + error.what();
    }
    return problem;
}

LearnedFacts UserLearning::facts() {
    const DecisionsNeeded needed = model_.decisionsNeeded();
    return {model_.spamMessages(), model_.hamMessages(), model_.tokenCount(),
            static_cast<int>(needed.spam + needed.ham)};
}

MarkCount UserLearning::wouldMark(const SpamOptions& options) {
    return learnedWouldMark(main_, model_, learningSettings(options));
}

void UserLearning::forget() {
    file_.forgetAll(model_);
}

namespace {

// Learns the messages of a folder or file one by one from their header lines.
class StoredMailRun : public MailLearningRun {
public:
    StoredMailRun(StoredMessages found, bool spam, LearnedModel& model, TfrmMain& main)
        : found_(std::move(found)), spam_(spam), model_(model), main_(main) {}
    int total() const override { return static_cast<int>(found_.messages.size()); }
    int done() const override { return static_cast<int>(next_); }
    int known() const override { return known_; }
    bool next() override {
        if (next_ >= found_.messages.size()) return false;
        const std::string header = readStoredHeader(found_, next_);
        const std::uint64_t size = found_.messages[next_].size;
        ++next_;
        if (model_.train(learningKey(header), learningTokens(header, size), spam_) == TrainOutcome::AlreadyLearned)
            ++known_;
        return true;
    }
    void finish() override { main_.saveLearning(); }

private:
    StoredMessages found_;
    bool spam_;
    LearnedModel& model_;
    TfrmMain& main_;
    std::size_t next_ = 0;
    int known_ = 0;
};

}  // namespace

std::unique_ptr<MailLearningRun> UserLearning::learnFrom(const std::string& path, bool spam) {
    return std::make_unique<StoredMailRun>(findStoredMessages(path), spam, model_, main_);
}

}  // namespace quorvel
