#include "classify/learned_model.h"

#include <algorithm>

#include "classify/learning_tokenizer.h"

namespace quorvel {
namespace {

// FNV-1a with a final mix: stable across builds, since digests are stored.
std::uint64_t digest(std::string_view text, std::uint64_t seed) {
    std::uint64_t h = 0xcbf29ce484222325ull ^ seed;
    for (const unsigned char c : text) {
        h ^= c;
        h *= 0x100000001b3ull;
    }
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ull;
    h ^= h >> 33;
    return h;
}

std::uint32_t addClamped(std::uint32_t value, int sign) {
    if (sign > 0) return value == UINT32_MAX ? value : value + 1;
    return value == 0 ? 0 : value - 1;
}

}  // namespace

LearningKey learningKey(std::string_view headerLines) {
    // Line ends and the body do not matter: a record's lines joined with CR LF
    // and the same lines read from a file give one key.
    std::uint64_t h = 0x6a09e667f3bcc908ull;
    std::size_t pos = 0;
    while (pos < headerLines.size()) {
        std::size_t end = headerLines.find('\n', pos);
        if (end == std::string_view::npos) end = headerLines.size();
        std::string_view line = headerLines.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) break;
        h = digest(line, h);
        pos = end + 1;
    }
    return h;
}

LearningKey learningKey(const TmsHeaders& headers) {
    std::uint64_t h = 0x6a09e667f3bcc908ull;
    for (std::string_view line : headers) {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) break;
        h = digest(line, h);
    }
    return h;
}

std::uint64_t tokenDigest(std::string_view token) { return digest(token, 0); }

DecisionsNeeded LearnedModel::decisionsNeeded() const {
    DecisionsNeeded needed;
    if (spamMessages_ < kMessagesToJudge) needed.spam = kMessagesToJudge - static_cast<std::uint32_t>(spamMessages_);
    if (hamMessages_ < kMessagesToJudge) needed.ham = kMessagesToJudge - static_cast<std::uint32_t>(hamMessages_);
    return needed;
}

void LearnedModel::count(const std::vector<std::string>& tokens, LearnedAs as, int sign) {
    const bool spam = as == LearnedAs::Spam;
    std::uint64_t& messages = spam ? spamMessages_ : hamMessages_;
    messages = sign > 0 ? messages + 1 : (messages == 0 ? 0 : messages - 1);
    (spam ? messageDelta_.spam : messageDelta_.ham) += sign;
    for (const auto& token : tokens) {
        const std::uint64_t d = tokenDigest(token);
        if (sign > 0) {
            TokenCounts& counts = tokens_[d];
            std::uint32_t& n = spam ? counts.spam : counts.ham;
            n = addClamped(n, sign);
            counts.lastSeen = serial_;
        } else {
            const auto it = tokens_.find(d);
            if (it == tokens_.end()) continue;
            std::uint32_t& n = spam ? it->second.spam : it->second.ham;
            n = addClamped(n, sign);
            if (it->second.spam == 0 && it->second.ham == 0) tokens_.erase(it);
        }
        Delta& delta = tokenDeltas_[d];
        (spam ? delta.spam : delta.ham) += sign;
    }
    changed_ = true;
}

TrainOutcome LearnedModel::train(LearningKey key, const std::vector<std::string>& tokens, bool spam) {
    const LearnedAs as = spam ? LearnedAs::Spam : LearnedAs::Ham;
    ++serial_;
    auto it = messages_.find(key);
    TrainOutcome outcome = TrainOutcome::Learned;
    if (it != messages_.end() && it->second.as == as) return TrainOutcome::AlreadyLearned;
    if (it != messages_.end() && it->second.as != LearnedAs::Nothing) {
        count(tokens, it->second.as, -1);
        outcome = TrainOutcome::Moved;
    }
    count(tokens, as, +1);
    messages_[key] = Remembered{as, serial_};
    messageChanges_[key] = as;
    rememberBounded();
    return outcome;
}

bool LearnedModel::forget(LearningKey key, const std::vector<std::string>& tokens) {
    const auto it = messages_.find(key);
    if (it == messages_.end()) return false;
    count(tokens, it->second.as, -1);
    messages_.erase(it);
    messageChanges_[key] = LearnedAs::Nothing;
    return true;
}

LearnedAs LearnedModel::learnedAs(LearningKey key) const {
    const auto it = messages_.find(key);
    return it == messages_.end() ? LearnedAs::Nothing : it->second.as;
}

void LearnedModel::clear() { *this = LearnedModel(); }

void LearnedModel::rememberBounded() {
    if (messages_.size() <= kMaxRememberedMessages) return;
    // Forget the oldest tenth at once, so this runs seldom. Their counts stay:
    // only a later change of mind about them can no longer move them.
    std::vector<std::uint64_t> serials;
    serials.reserve(messages_.size());
    for (const auto& [key, remembered] : messages_) serials.push_back(remembered.serial);
    const std::size_t drop = messages_.size() - kMaxRememberedMessages * 9 / 10;
    std::nth_element(serials.begin(), serials.begin() + static_cast<std::ptrdiff_t>(drop - 1), serials.end());
    const std::uint64_t cut = serials[drop - 1];
    for (auto it = messages_.begin(); it != messages_.end();) {
        if (it->second.serial <= cut)
            it = messages_.erase(it);
        else
            ++it;
    }
}

TrainOutcome learnMessage(LearnedModel& model, const TmsHeaders& headers, std::uint64_t sizeOctets, bool spam) {
    return model.train(learningKey(headers), learningTokens(headers, sizeOctets), spam);
}

bool forgetMessage(LearnedModel& model, const TmsHeaders& headers, std::uint64_t sizeOctets) {
    return model.forget(learningKey(headers), learningTokens(headers, sizeOctets));
}

}  // namespace quorvel
