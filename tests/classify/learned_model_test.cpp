#include "classify/learned_model.h"

#include <gtest/gtest.h>

#include "classify/learning_tokenizer.h"
#include "support/learning_fixture.h"

namespace quorvel {
namespace {

const TokenCounts& counts(const LearnedModel& model, const std::string& token) {
    static const TokenCounts none;
    const TokenCounts* found = model.find(tokenDigest(token));
    return found ? *found : none;
}

TEST(LearnedModel, LearnsAMessageOnceAndMovesItWhenTheUserChangesTheirMind) {
    LearnedModel model;
    const std::vector<std::string> tokens = {"s:cruise", "fd:cheap.example"};
    const LearningKey key = learningKey("Subject: cruise\r\n");
    const struct {
        bool spam;
        TrainOutcome outcome;
        std::uint64_t spamMessages, hamMessages;
        std::uint32_t spamCount, hamCount;
    } steps[] = {
        {true, TrainOutcome::Learned, 1, 0, 1, 0},
        {true, TrainOutcome::AlreadyLearned, 1, 0, 1, 0},
        {false, TrainOutcome::Moved, 0, 1, 0, 1},
        {false, TrainOutcome::AlreadyLearned, 0, 1, 0, 1},
        {true, TrainOutcome::Moved, 1, 0, 1, 0},
    };
    for (const auto& step : steps) {
        EXPECT_EQ(model.train(key, tokens, step.spam), step.outcome);
        EXPECT_EQ(model.spamMessages(), step.spamMessages);
        EXPECT_EQ(model.hamMessages(), step.hamMessages);
        EXPECT_EQ(counts(model, "s:cruise").spam, step.spamCount);
        EXPECT_EQ(counts(model, "s:cruise").ham, step.hamCount);
        EXPECT_EQ(model.learnedAs(key), step.spam ? LearnedAs::Spam : LearnedAs::Ham);
    }
    EXPECT_EQ(model.tokenCount(), 2u);
    EXPECT_TRUE(model.forget(key, tokens));
    EXPECT_FALSE(model.forget(key, tokens));
    EXPECT_EQ(model.spamMessages(), 0u);
    EXPECT_EQ(model.tokenCount(), 0u);  // no token is kept at zero
    EXPECT_EQ(model.learnedAs(key), LearnedAs::Nothing);
}

TEST(LearnedModel, KeyIsTheHeaderLinesWhateverTheirEnds) {
    const TmsHeaders lines = {"Subject: a", "From: b@c.example"};
    EXPECT_EQ(learningKey(lines), learningKey("Subject: a\r\nFrom: b@c.example\r\n"));
    EXPECT_EQ(learningKey(lines), learningKey("Subject: a\nFrom: b@c.example\n\nbody"));
    EXPECT_NE(learningKey(lines), learningKey("Subject: a\r\nFrom: b@c.example\r\nX: 1\r\n"));
    EXPECT_NE(learningKey("Subject: ab\r\n"), learningKey("Subject: a\r\nb\r\n"));
}

TEST(LearnedModel, CountsDecisionsStillNeededBeforeItJudges) {
    LearnedModel model;
    const std::uint32_t n = LearnedModel::kMessagesToJudge;
    EXPECT_EQ(model.decisionsNeeded().spam, n);
    EXPECT_EQ(model.decisionsNeeded().ham, n);
    for (std::uint32_t i = 0; i + 1 < n; ++i) learnMessage(model, learningSpam(static_cast<int>(i)), 100, true);
    for (std::uint32_t i = 0; i < n + 1; ++i) learnMessage(model, learningHam(static_cast<int>(i)), 100, false);
    EXPECT_EQ(model.decisionsNeeded().spam, 1u);
    EXPECT_EQ(model.decisionsNeeded().ham, 0u);
    EXPECT_FALSE(model.trained());
    learnMessage(model, learningSpam(999), 100, true);
    EXPECT_TRUE(model.trained());
}

TEST(LearnedModel, RemembersABoundedNumberOfMessagesOldestForgottenFirst) {
    LearnedModel model;
    const std::size_t n = LearnedModel::kMaxRememberedMessages;
    const std::vector<std::string> tokens = {"t:x"};
    for (std::size_t i = 0; i < n; ++i) model.train(i, tokens, true);
    EXPECT_EQ(model.rememberedMessages(), n);
    EXPECT_EQ(model.learnedAs(0), LearnedAs::Spam);
    model.train(n, tokens, true);  // n + 1: the oldest tenth goes
    EXPECT_LE(model.rememberedMessages(), n);
    EXPECT_GE(model.rememberedMessages(), n * 9 / 10);
    EXPECT_EQ(model.learnedAs(0), LearnedAs::Nothing);
    EXPECT_EQ(model.learnedAs(n), LearnedAs::Spam);
    EXPECT_EQ(model.spamMessages(), n + 1);  // counts stay
    for (std::size_t i = n + 1; i < 3 * n; ++i) model.train(i, tokens, true);
    EXPECT_LE(model.rememberedMessages(), n);
    EXPECT_EQ(model.learnedAs(3 * n - 1), LearnedAs::Spam);
}

}  // namespace
}  // namespace quorvel
