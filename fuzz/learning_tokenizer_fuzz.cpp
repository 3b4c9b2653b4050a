// Feeds arbitrary header blocks to the learning judge's tokenizer, and the
// tokens to a small model and the judge: bounded lists of bounded tokens,
// each once, and a score between 0 and 1, whatever the header holds.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include "classify/learned_judge.h"
#include "classify/learning_tokenizer.h"

using namespace quorvel;

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string header(reinterpret_cast<const char*>(data), size);
    // The first octets choose the size, so every size bucket is reached.
    std::uint64_t octets = 0;
    for (std::size_t i = 0; i < std::min<std::size_t>(size, 5); ++i) octets = octets << 8 | data[i];
    const auto tokens = learningTokens(header, octets);
    require(tokens.size() <= kMaxLearningTokens);
    std::set<std::string> seen;
    for (const auto& token : tokens) {
        require(!token.empty() && token.size() <= kMaxTokenOctets);
        require(token.find(':') != std::string::npos);
        require(seen.insert(token).second);
        tokenCaption(token);
    }
    require(learningKey(header) == learningKey(header));

    // Judged by a trained model, then learned and taken back out: the
    // counts end where they began.
    static LearnedModel model = [] {
        LearnedModel m;
        for (std::uint32_t i = 0; i < LearnedModel::kMessagesToJudge; ++i) {
            m.train(2 * i, {"s:cruise", "fd:offers.example", "sz:9"}, true);
            m.train(2 * i + 1, {"s:minutes", "fd:work.example", "sz:12"}, false);
        }
        return m;
    }();
    const std::size_t before = model.tokenCount();
    const auto judgement = judgeLearned(model, tokens, LearningCutoffs{});
    require(judgement.score >= 0.0 && judgement.score <= 1.0 && !std::isnan(judgement.score));
    require(judgement.deciding.size() <= kShownDecidingTokens);
    judgement.explanation();
    const LearningKey key = learningKey(header) | 1u << 20;  // never one of the trained keys
    model.train(key, tokens, size % 2 == 0);
    require(judgeLearned(model, tokens, LearningCutoffs{}).verdict != LearnedVerdict::Untrained);
    require(model.forget(key, tokens));
    require(model.tokenCount() == before);
    return 0;
}
