#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "mail/remote_info.h"

namespace quorvel {

// A message as the model remembers it: a digest of its header lines, which
// stay the same every time a server lists the message.
using LearningKey = std::uint64_t;
LearningKey learningKey(std::string_view headerLines);
LearningKey learningKey(const TmsHeaders& headers);

// Tokens are counted by a digest of their text; the text itself comes from
// the message being judged.
std::uint64_t tokenDigest(std::string_view token);

struct TokenCounts {
    std::uint32_t spam = 0;
    std::uint32_t ham = 0;
    std::uint32_t lastSeen = 0;  // the model's training serial when last learned
};

enum class LearnedAs : std::uint8_t { Nothing = 0, Ham = 1, Spam = 2 };
enum class TrainOutcome : std::uint8_t { Learned, Moved, AlreadyLearned };

// How many decisions of each kind the judge still waits for before it marks
// anything.
struct DecisionsNeeded {
    std::uint32_t spam = 0;
    std::uint32_t ham = 0;
};

// What the user's decisions taught: how many spam and ham messages were
// learned and, per token, in how many of each it occurred. Every change is
// also kept as a change since loading, so that a save can add it to what
// another program wrote meanwhile.
class LearnedModel {
public:
    // The judge marks nothing until this many spam and this many ham were learned.
    static constexpr std::uint32_t kMessagesToJudge = 20;
    // Messages remembered by key, so none is counted twice; the oldest go first.
    static constexpr std::size_t kMaxRememberedMessages = 100000;

    // Learns a message once; one learned as the other class moves.
    TrainOutcome train(LearningKey key, const std::vector<std::string>& tokens, bool spam);
    // Takes a learned message back out; false when it was not learned.
    bool forget(LearningKey key, const std::vector<std::string>& tokens);
    LearnedAs learnedAs(LearningKey key) const;
    // Forgets everything, changes since loading too.
    void clear();

    std::uint64_t spamMessages() const { return spamMessages_; }
    std::uint64_t hamMessages() const { return hamMessages_; }
    std::size_t tokenCount() const { return tokens_.size(); }
    std::size_t rememberedMessages() const { return messages_.size(); }
    DecisionsNeeded decisionsNeeded() const;
    bool trained() const {
        const DecisionsNeeded needed = decisionsNeeded();
        return needed.spam == 0 && needed.ham == 0;
    }
    const TokenCounts* find(std::uint64_t digest) const {
        const auto it = tokens_.find(digest);
        return it == tokens_.end() ? nullptr : &it->second;
    }
    bool hasChanges() const { return changed_; }

private:
    friend class LearnedModelFile;
    struct Remembered {
        LearnedAs as = LearnedAs::Nothing;
        std::uint64_t serial = 0;  // when learned: the oldest are forgotten first
    };
    struct Delta {
        std::int64_t spam = 0;
        std::int64_t ham = 0;
    };
    void count(const std::vector<std::string>& tokens, LearnedAs as, int sign);
    void rememberBounded();

    std::uint64_t spamMessages_ = 0;
    std::uint64_t hamMessages_ = 0;
    std::uint32_t serial_ = 0;  // counts training steps; tokens not seen for long are stale
    std::unordered_map<std::uint64_t, TokenCounts> tokens_;
    std::unordered_map<LearningKey, Remembered> messages_;

    // Changes since loading.
    std::uint32_t loadedSerial_ = 0;
    bool changed_ = false;
    Delta messageDelta_;
    std::unordered_map<std::uint64_t, Delta> tokenDeltas_;
    std::unordered_map<LearningKey, LearnedAs> messageChanges_;  // Nothing: forgotten
};

// Convenience for a message record: its key and tokens from its header lines and size.
TrainOutcome learnMessage(LearnedModel& model, const TmsHeaders& headers, std::uint64_t sizeOctets, bool spam);
bool forgetMessage(LearnedModel& model, const TmsHeaders& headers, std::uint64_t sizeOctets);

}  // namespace quorvel
