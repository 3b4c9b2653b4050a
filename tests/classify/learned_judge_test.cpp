#include "classify/learned_judge.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "classify/learning_tokenizer.h"
#include "support/learning_fixture.h"

namespace quorvel {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

TEST(LearnedJudge, ChiSquareSurvivalMatchesValuesWorkedByHand) {
    // Even degrees 2k: e^-m * sum_{i<k} m^i/i!, m = chi2/2.
    const struct {
        double chi2;
        std::size_t degrees;
        double expected;
    } cases[] = {
        {0.0, 6, 1.0},
        {2.0, 2, 0.36787944},            // e^-1
        {4.0, 4, 0.40600585},            // e^-2 * (1 + 2)
        {6.0, 6, 0.42319008},            // e^-3 * (1 + 3 + 4.5)
        {4.60517019, 2, 0.1},            // -2 ln 0.1
    };
    for (const auto& c : cases) EXPECT_NEAR(chiSquareSurvival(c.chi2, c.degrees), c.expected, 1e-7) << c.chi2;
}

TEST(LearnedJudge, CombiningMatchesValuesWorkedByHand) {
    const struct {
        std::vector<double> fs;
        double expected;
    } cases[] = {
        // Nothing to go on: neutral.
        {{}, 0.5},
        // One token: S = 1 - e^(ln 0.1) = 0.9, H = 1 - e^(ln 0.9) = 0.1, (1 + 0.9 - 0.1) / 2.
        {{0.9}, 0.9},
        // Two: S = 1 - 0.02 (1 + 3.912023) = 0.9017595, H = 1 - 0.72 (1 + 0.328504) = 0.0434771.
        {{0.9, 0.8}, 0.92914123},
        // Opposite tokens of equal strength cancel.
        {{0.9, 0.1}, 0.5},
        // Mirror of the two-token case.
        {{0.1, 0.2}, 1.0 - 0.92914123},
    };
    for (const auto& c : cases) EXPECT_NEAR(combineRobinson(c.fs), c.expected, 1e-7) << c.fs.size();
}

TEST(LearnedJudge, TokenProbabilityMatchesValuesWorkedByHand) {
    const RobinsonParameters prior{1.0, 0.5, 0.1, 1000};
    const struct {
        TokenCounts counts;
        std::uint64_t spam, ham;
        double expected;
    } cases[] = {
        // p = 1, n = 3: (1 * 0.5 + 3 * 1) / (1 + 3).
        {{3, 0, 0}, 10, 10, 0.875},
        // Rates 1/10 and 1/40: p = 0.1 / 0.125 = 0.8, n = 2: (0.5 + 1.6) / 3.
        {{1, 1, 0}, 10, 40, 0.7},
        // Never seen: the prior.
        {{0, 0, 0}, 10, 10, 0.5},
        // Only in ham, many times: near 0.
        {{0, 99, 0}, 10, 10, 0.005},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(tokenProbability(c.counts, c.spam, c.ham, prior), c.expected, 1e-9) << c.counts.spam;
}

TEST(LearnedJudge, CutoffPresetsGoFromCautiousToEager) {
    for (int level = LearningCutoffs::kCautious; level < LearningCutoffs::kEager; ++level) {
        const auto a = LearningCutoffs::preset(level), b = LearningCutoffs::preset(level + 1);
        EXPECT_GT(a.spam, b.spam) << level;
        EXPECT_GT(a.ham, b.ham) << level;
        EXPECT_LT(a.ham, a.spam) << level;
    }
    EXPECT_EQ(LearningCutoffs::preset(0), LearningCutoffs::preset(LearningCutoffs::kCautious));
    EXPECT_EQ(LearningCutoffs::preset(99), LearningCutoffs::preset(LearningCutoffs::kEager));
}

TEST(LearnedJudge, UntrainedJudgesNothing) {
    LearnedModel model;
    trainLearningFixture(model, static_cast<int>(LearnedModel::kMessagesToJudge) - 1);
    const auto tokens = learningTokens(learningSpam(100), kLearningSpamSize);
    const auto judgement = judgeLearned(model, tokens, LearningCutoffs{});
    EXPECT_EQ(judgement.verdict, LearnedVerdict::Untrained);
    EXPECT_TRUE(judgement.deciding.empty());
    EXPECT_EQ(judgement.explanation(), "Learned: not trained yet");
}

TEST(LearnedJudge, LearnsThenJudgesMessagesItHasNotSeen) {
    LearnedModel model;
    trainLearningFixture(model, static_cast<int>(LearnedModel::kMessagesToJudge));
    for (int i = 100; i < 105; ++i) {
        const auto spam = judgeLearned(model, learningTokens(learningSpam(i), kLearningSpamSize), LearningCutoffs{});
        EXPECT_EQ(spam.verdict, LearnedVerdict::Spam) << i;
        EXPECT_GT(spam.score, 0.99) << i;
        const auto ham = judgeLearned(model, learningTokens(learningHam(i), kLearningHamSize), LearningCutoffs{});
        EXPECT_EQ(ham.verdict, LearnedVerdict::Ham) << i;
        EXPECT_LT(ham.score, 0.01) << i;
    }
    // A message with half of each leans neither way enough to be judged spam.
    TmsHeaders mixed = learningHam(200);
    mixed[5] = "Subject: YOU HAVE WON A FREE CRUISE";
    mixed[3] = "From: \"Best Offers\" <offers1@cheap-deals.example>";
    const auto unsure = judgeLearned(model, learningTokens(mixed, kLearningHamSize), LearningCutoffs{});
    EXPECT_NE(unsure.verdict, LearnedVerdict::Spam);
    EXPECT_GT(unsure.score, 0.01);
}

TEST(LearnedJudge, ExplainsWithTheTokensThatDecided) {
    LearnedModel model;
    trainLearningFixture(model);
    const auto judgement = judgeLearned(model, learningTokens(learningSpam(300), kLearningSpamSize), LearningCutoffs{});
    ASSERT_EQ(judgement.verdict, LearnedVerdict::Spam);
    ASSERT_EQ(judgement.deciding.size(), kShownDecidingTokens);
    for (std::size_t i = 1; i < judgement.deciding.size(); ++i)
        EXPECT_GE(judgement.deciding[i - 1].probability, judgement.deciding[i].probability);
    const std::string text = judgement.explanation();
    EXPECT_THAT(text, StartsWith("Learned: 0.99 spam: "));  // cut, never rounded up to 1.00
    EXPECT_THAT(text, HasSubstr(judgement.deciding[0].caption + " 0.9"));
    EXPECT_THAT(text, HasSubstr(", "));
    EXPECT_EQ(judgement.explanation(), "Learned: " + judgement.detail());

    const auto ham = judgeLearned(model, learningTokens(learningHam(300), kLearningHamSize), LearningCutoffs{});
    EXPECT_THAT(ham.explanation(), StartsWith("Learned: 0.00 not spam: "));
    EXPECT_LT(ham.deciding.front().probability, 0.1);
}

TEST(LearnedJudge, UnsureBandLiesBetweenTheCutoffs) {
    LearnedModel model;
    trainLearningFixture(model);
    const auto tokens = learningTokens(learningSpam(400), kLearningSpamSize);
    const double score = judgeLearned(model, tokens, LearningCutoffs{}).score;
    EXPECT_EQ(judgeLearned(model, tokens, LearningCutoffs{score, 0.1}).verdict, LearnedVerdict::Spam);
    EXPECT_EQ(judgeLearned(model, tokens, LearningCutoffs{std::nextafter(score, 2.0), 0.1}).verdict,
              LearnedVerdict::Unsure);
    EXPECT_EQ(judgeLearned(model, tokens, LearningCutoffs{1.1, score}).verdict, LearnedVerdict::Ham);
}

}  // namespace
}  // namespace quorvel
