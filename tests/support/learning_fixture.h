#pragma once

#include <string>

#include "classify/learned_model.h"
#include "mail/remote_info.h"

namespace quorvel {

// Small made-up mail for the learning judge: spam from a bulk sender through
// a dial-up pool, ham from a colleague through a company server. Message i of
// each kind differs from the others in numbers, as real messages do.
TmsHeaders learningSpam(int i);
TmsHeaders learningHam(int i);
inline constexpr std::uint64_t kLearningSpamSize = 3000;
inline constexpr std::uint64_t kLearningHamSize = 9000;

// A model trained on messages 0..n-1 of each kind.
void trainLearningFixture(LearnedModel& model, int n = 25);

}  // namespace quorvel
