#include "classify/learned_judge.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "classify/learning_tokenizer.h"

namespace quorvel {
namespace {

std::string twoDecimals(double value) {
    // Cut, not rounded, and never a certain 1.00: a learned guess is a guess.
    char text[16];
    std::snprintf(text, sizeof text, "%.2f", std::clamp(std::floor(value * 100.0) / 100.0, 0.0, 0.99));
    return text;
}

}  // namespace

LearningCutoffs LearningCutoffs::preset(int level) {
    static constexpr LearningCutoffs kLevels[] = {
        {0.999, 0.70}, {0.995, 0.60}, {0.99, 0.50}, {0.98, 0.40}, {0.95, 0.30}};
    level = std::clamp(level, kCautious, kEager);
    return kLevels[level - 1];
}

double chiSquareSurvival(double chi2, std::size_t degrees) {
    // For even degrees 2k: e^-m * sum_{i<k} m^i / i!, with m = chi2 / 2.
    const double m = chi2 / 2.0;
    double term = std::exp(-m);
    double sum = term;
    for (std::size_t i = 1; i < degrees / 2; ++i) {
        term *= m / static_cast<double>(i);
        sum += term;
    }
    return std::min(sum, 1.0);
}

double combineRobinson(const std::vector<double>& probabilities) {
    if (probabilities.empty()) return 0.5;
    // Sums of logarithms, not products, so hundreds of tokens do not underflow.
    double lnSpam = 0, lnHam = 0;
    for (const double f : probabilities) {
        lnHam += std::log(f);
        lnSpam += std::log1p(-f);
    }
    const std::size_t degrees = 2 * probabilities.size();
    const double spamminess = 1.0 - chiSquareSurvival(-2.0 * lnSpam, degrees);
    const double hamminess = 1.0 - chiSquareSurvival(-2.0 * lnHam, degrees);
    return (1.0 + spamminess - hamminess) / 2.0;
}

double tokenProbability(const TokenCounts& counts, std::uint64_t spamMessages, std::uint64_t hamMessages,
                        const RobinsonParameters& parameters) {
    const double spamRate = spamMessages ? static_cast<double>(counts.spam) / static_cast<double>(spamMessages) : 0;
    const double hamRate = hamMessages ? static_cast<double>(counts.ham) / static_cast<double>(hamMessages) : 0;
    const double n = static_cast<double>(counts.spam) + static_cast<double>(counts.ham);
    const double p = spamRate + hamRate > 0 ? spamRate / (spamRate + hamRate) : parameters.value;
    return (parameters.strength * parameters.value + n * p) / (parameters.strength + n);
}

std::string LearnedJudgement::detail() const {
    std::string text;
    switch (verdict) {
    case LearnedVerdict::Untrained: return "not trained yet";
    case LearnedVerdict::Ham: text = twoDecimals(score) + " not spam"; break;
    case LearnedVerdict::Unsure: text = twoDecimals(score) + " unsure"; break;
    case LearnedVerdict::Spam: text = twoDecimals(score) + " spam"; break;
    }
    for (std::size_t i = 0; i < deciding.size(); ++i) {
        text += i == 0 ? ": " : ", ";
        text += deciding[i].caption;
        text += ' ';
        text += twoDecimals(deciding[i].probability);
    }
    return text;
}

std::string LearnedJudgement::explanation() const { return "Learned: " + detail(); }

LearnedJudgement judgeLearned(const LearnedModel& model, const std::vector<std::string>& tokens,
                              const LearningCutoffs& cutoffs, const RobinsonParameters& parameters) {
    LearnedJudgement judgement;
    if (!model.trained()) return judgement;
    struct Used {
        double f;
        std::size_t token;
    };
    std::vector<Used> used;
    used.reserve(tokens.size());
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const TokenCounts* counts = model.find(tokenDigest(tokens[i]));
        if (!counts) continue;
        const double f = tokenProbability(*counts, model.spamMessages(), model.hamMessages(), parameters);
        if (std::fabs(f - 0.5) >= parameters.minDeviation) used.push_back({f, i});
    }
    const auto extreme = [](const Used& a, const Used& b) {
        const double da = std::fabs(a.f - 0.5), db = std::fabs(b.f - 0.5);
        return da != db ? da > db : a.token < b.token;
    };
    if (used.size() > parameters.maxTokens) {
        std::nth_element(used.begin(), used.begin() + parameters.maxTokens, used.end(), extreme);
        used.resize(parameters.maxTokens);
    }
    std::vector<double> fs;
    fs.reserve(used.size());
    for (const auto& u : used) fs.push_back(u.f);
    judgement.score = combineRobinson(fs);
    judgement.verdict = judgement.score >= cutoffs.spam  ? LearnedVerdict::Spam
                        : judgement.score <= cutoffs.ham ? LearnedVerdict::Ham
                                                         : LearnedVerdict::Unsure;
    // Shown: the tokens that pulled hardest the way the score went.
    const bool spammy = judgement.score >= 0.5;
    std::sort(used.begin(), used.end(), [&](const Used& a, const Used& b) {
        return spammy ? (a.f != b.f ? a.f > b.f : a.token < b.token) : (a.f != b.f ? a.f < b.f : a.token < b.token);
    });
    for (std::size_t i = 0; i < used.size() && judgement.deciding.size() < kShownDecidingTokens; ++i)
        judgement.deciding.push_back({tokenCaption(tokens[used[i].token]), used[i].f});
    return judgement;
}

}  // namespace quorvel
