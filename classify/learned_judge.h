#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "classify/learned_model.h"

namespace quorvel {

// Scores at or above `spam` are spam, at or below `ham` are ham, between
// them unsure.
struct LearningCutoffs {
    double spam = 0.99;
    double ham = 0.50;

    // From 1 (cautious: spam only when very sure, few questions) to 5
    // (eager: more judged spam, more questions).
    static constexpr int kCautious = 1;
    static constexpr int kEager = 5;
    static constexpr int kDefaultLevel = 3;
    static LearningCutoffs preset(int level);

    bool operator==(const LearningCutoffs&) const = default;
};

// The learning step of the classification, as the user set it.
struct LearningSettings {
    bool enabled = true;
    // Off: the judge only ever sets the question mark.
    bool deleteLearnedSpam = false;
    LearningCutoffs cutoffs = LearningCutoffs::preset(LearningCutoffs::kDefaultLevel);
};

enum class LearnedVerdict { Untrained, Ham, Unsure, Spam };

struct DecidingToken {
    std::string caption;  // as the user reads it (tokenCaption)
    double probability = 0.5;
};

struct LearnedJudgement {
    LearnedVerdict verdict = LearnedVerdict::Untrained;
    double score = 0.5;  // 0 ham .. 1 spam
    // The tokens that weighed most, strongest first; a few.
    std::vector<DecidingToken> deciding;

    // "0.98 spam: Subject 'cruise' 0.99, Received from 64.0.57.0/24 0.97"
    std::string detail() const;
    // "Learned: " and the detail.
    std::string explanation() const;
};

// How many deciding tokens a judgement shows.
inline constexpr std::size_t kShownDecidingTokens = 5;

// Robinson's prior (a token seen n times weighs as n observations against
// `strength` observations of the neutral `value`), the tokens left out as too
// near to neutral, and how many of the farthest are combined.
struct RobinsonParameters {
    // Measured on a public corpus against bogofilter (bench/learn_quality.sh).
    double strength = 0.0178;
    double value = 0.52;
    double minDeviation = 0.42;
    std::size_t maxTokens = 1000;
};

// The parts of the judgement, for tests and tools: the probability that a
// message with a token is spam, Robinson's f(w); the chi-square survival
// function for even degrees; and Fisher's combining of the f(w) values into
// one score (0.5 for none).
double tokenProbability(const TokenCounts& counts, std::uint64_t spamMessages, std::uint64_t hamMessages,
                        const RobinsonParameters& parameters = {});
double chiSquareSurvival(double chi2, std::size_t degrees);
double combineRobinson(const std::vector<double>& probabilities);

LearnedJudgement judgeLearned(const LearnedModel& model, const std::vector<std::string>& tokens,
                              const LearningCutoffs& cutoffs, const RobinsonParameters& parameters = {});

}  // namespace quorvel
