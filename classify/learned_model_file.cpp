#include "classify/learned_model_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string_view>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/files.h"

namespace quorvel {
namespace {

constexpr std::string_view kMagic = "QUORVEL LEARNED MODEL\n";
constexpr std::string_view kVersion = "version 1\n";
constexpr std::string_view kEnd = "end\n";
constexpr std::size_t kTokenRecord = 8 + 4 + 4 + 4;
constexpr std::size_t kMessageRecord = 8 + 1 + 8;
constexpr std::size_t kCountsOctets = 8 + 8 + 4 + 4 + 4;
constexpr std::size_t kTrailerOctets = 8 + kEnd.size();
// A file holds at most this many tokens whatever bound wrote it.
constexpr std::size_t kHardMaxTokens = 4 * LearnedModelFile::kMaxTokens;

void put(std::string& out, std::uint64_t value, int octets) {
    for (int i = 0; i < octets; ++i) out += static_cast<char>((value >> (8 * i)) & 0xff);
}

std::uint64_t get(const std::string& in, std::size_t& pos, int octets) {
    std::uint64_t value = 0;
    for (int i = 0; i < octets; ++i) value |= std::uint64_t{static_cast<unsigned char>(in[pos + i])} << (8 * i);
    pos += static_cast<std::size_t>(octets);
    return value;
}

std::uint64_t checksum(std::string_view bytes) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (const unsigned char c : bytes) {
        h ^= c;
        h *= 0x100000001b3ull;
    }
    return h;
}

// The file's lock: held while a save reads, merges and writes, so two
// programs saving at once take turns.
class FileLock {
public:
    explicit FileLock(const std::string& path) {
        fd_ = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd_ < 0)
            throw std::runtime_error("Cannot lock " + path + ": " + std::strerror(errno));
        while (flock(fd_, LOCK_EX) != 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd_);
            throw std::runtime_error("Cannot lock " + path + ": " + std::strerror(err));
        }
    }
    ~FileLock() {
        flock(fd_, LOCK_UN);
        ::close(fd_);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int fd_ = -1;
};

std::string encode(const LearnedModel& model, const auto& tokens, const auto& messages, std::uint64_t spam,
                   std::uint64_t ham, std::uint32_t serial) {
    std::string out(kMagic);
    out += kVersion;
    out.reserve(out.size() + kCountsOctets + tokens.size() * kTokenRecord + messages.size() * kMessageRecord +
                kTrailerOctets);
    put(out, spam, 8);
    put(out, ham, 8);
    put(out, serial, 4);
    put(out, tokens.size(), 4);
    put(out, messages.size(), 4);
    // In digest order, so the same model always gives the same file.
    std::vector<std::uint64_t> keys;
    keys.reserve(tokens.size());
    for (const auto& [digest, counts] : tokens) keys.push_back(digest);
    std::sort(keys.begin(), keys.end());
    for (const auto digest : keys) {
        const TokenCounts& counts = tokens.at(digest);
        put(out, digest, 8);
        put(out, counts.spam, 4);
        put(out, counts.ham, 4);
        put(out, counts.lastSeen, 4);
    }
    keys.clear();
    for (const auto& [key, remembered] : messages) keys.push_back(key);
    std::sort(keys.begin(), keys.end());
    for (const auto key : keys) {
        const auto& remembered = messages.at(key);
        put(out, key, 8);
        put(out, static_cast<std::uint8_t>(remembered.as), 1);
        put(out, remembered.serial, 8);
    }
    (void)model;
    put(out, checksum(out), 8);
    out += kEnd;
    return out;
}

}  // namespace

LearnedModelFile::LearnedModelFile(std::string path, std::size_t maxTokens)
    : path_(std::move(path)), maxTokens_(std::max<std::size_t>(maxTokens, 10)) {}

std::string LearnedModelFile::pathFor(const std::string& programFolder) { return joinPath(programFolder, kFileName); }

// Reads the file into a fresh model: "" when read or missing, otherwise why not.
std::string LearnedModelFile::read(const std::string& path, LearnedModel& model, bool& missing) {
    model.clear();
    missing = false;
    std::error_code error;
    const auto fileSize = std::filesystem::file_size(path, error);
    const std::size_t maxOctets = kMagic.size() + kVersion.size() + kCountsOctets + kHardMaxTokens * kTokenRecord +
                                  LearnedModel::kMaxRememberedMessages * kMessageRecord + kTrailerOctets;
    if (!error && fileSize > maxOctets) return "too large";
    std::string problem;
    auto bytes = readFileBytes(path, problem);
    if (!bytes) {
        missing = problem.empty();
        return problem;
    }
    const std::string& in = *bytes;
    if (in.size() > maxOctets) return "too large";
    if (in.compare(0, kMagic.size(), kMagic) != 0) return "not a learned model";
    std::size_t pos = kMagic.size();
    if (in.compare(pos, kVersion.size(), kVersion) != 0) return "written by another version";
    pos += kVersion.size();
    if (in.size() - pos < kCountsOctets + kTrailerOctets) return "cut short";
    const std::uint64_t spam = get(in, pos, 8);
    const std::uint64_t ham = get(in, pos, 8);
    const auto serial = static_cast<std::uint32_t>(get(in, pos, 4));
    const std::size_t tokens = get(in, pos, 4);
    const std::size_t messages = get(in, pos, 4);
    if (tokens > kHardMaxTokens || messages > LearnedModel::kMaxRememberedMessages) return "damaged";
    if (in.size() - pos != tokens * kTokenRecord + messages * kMessageRecord + kTrailerOctets)
        return in.size() - pos < tokens * kTokenRecord + messages * kMessageRecord + kTrailerOctets ? "cut short"
                                                                                                  : "damaged";
    const std::size_t bodyEnd = in.size() - kTrailerOctets;
    std::size_t sumPos = bodyEnd;
    if (get(in, sumPos, 8) != checksum(std::string_view(in).substr(0, bodyEnd)) ||
        in.compare(sumPos, kEnd.size(), kEnd) != 0)
        return "damaged";
    model.spamMessages_ = spam;
    model.hamMessages_ = ham;
    model.serial_ = serial;
    model.loadedSerial_ = serial;
    model.tokens_.reserve(tokens);
    for (std::size_t i = 0; i < tokens; ++i) {
        const std::uint64_t digest = get(in, pos, 8);
        TokenCounts counts;
        counts.spam = static_cast<std::uint32_t>(get(in, pos, 4));
        counts.ham = static_cast<std::uint32_t>(get(in, pos, 4));
        counts.lastSeen = static_cast<std::uint32_t>(get(in, pos, 4));
        if (!model.tokens_.emplace(digest, counts).second) {
            model.clear();
            return "damaged";
        }
    }
    model.messages_.reserve(messages);
    for (std::size_t i = 0; i < messages; ++i) {
        const std::uint64_t key = get(in, pos, 8);
        const auto as = static_cast<std::uint8_t>(get(in, pos, 1));
        const std::uint64_t learned = get(in, pos, 8);
        if (as != static_cast<std::uint8_t>(LearnedAs::Ham) && as != static_cast<std::uint8_t>(LearnedAs::Spam)) {
            model.clear();
            return "damaged";
        }
        model.messages_[key] = {static_cast<LearnedAs>(as), learned};
    }
    return "";
}

namespace {

// Moves a damaged file out of the way, keeping it for a look; the line says so.
std::string setAside(const std::string& path, const std::string& why) {
    const std::string aside = path + ".damaged";
    const std::string name = std::filesystem::path(path).filename().string();
    if (std::rename(path.c_str(), aside.c_str()) != 0)
        return "The learned model " + name + " could not be read (" + why + ") nor set aside: " + std::strerror(errno) +
               "; learning starts again";
    return "The learned model " + name + " could not be read (" + why + "); it was set aside as " + name +
           ".damaged and learning starts again";
}

}  // namespace

std::string LearnedModelFile::load(LearnedModel& model) {
    bool missing = false;
    const std::string problem = read(path_, model, missing);
    if (problem.empty() || missing) return "";
    model.clear();
    return setAside(path_, problem);
}

void LearnedModelFile::save(LearnedModel& model, std::string* problem) {
    FileLock lock(path_);
    LearnedModel merged;
    bool missing = false;
    const std::string why = read(path_, merged, missing);
    if (!why.empty() && !missing) {
        merged.clear();
        const std::string line = setAside(path_, why);
        if (problem) *problem = line;
    }
    const bool write = model.changed_ || !why.empty();
    // Training steps this program took since loading come after the other's.
    const std::uint32_t steps = model.serial_ - model.loadedSerial_;
    const std::uint32_t base = merged.serial_;
    merged.serial_ += steps;
    const auto addTo = [](std::uint64_t value, std::int64_t delta) -> std::uint64_t {
        if (delta < 0 && static_cast<std::uint64_t>(-delta) > value) return 0;
        return value + static_cast<std::uint64_t>(delta);
    };
    merged.spamMessages_ = addTo(merged.spamMessages_, model.messageDelta_.spam);
    merged.hamMessages_ = addTo(merged.hamMessages_, model.messageDelta_.ham);
    for (const auto& [digest, delta] : model.tokenDeltas_) {
        if (delta.spam == 0 && delta.ham == 0) continue;
        TokenCounts& counts = merged.tokens_[digest];
        counts.spam = static_cast<std::uint32_t>(std::min<std::uint64_t>(addTo(counts.spam, delta.spam), UINT32_MAX));
        counts.ham = static_cast<std::uint32_t>(std::min<std::uint64_t>(addTo(counts.ham, delta.ham), UINT32_MAX));
        if (delta.spam > 0 || delta.ham > 0) {
            // When this program last saw it, on the merged count of steps.
            const TokenCounts* own = model.find(digest);
            const std::uint32_t seen = own && own->lastSeen >= model.loadedSerial_ ? own->lastSeen : model.serial_;
            counts.lastSeen = std::max(counts.lastSeen, base + (seen - model.loadedSerial_));
        }
        if (counts.spam == 0 && counts.ham == 0) merged.tokens_.erase(digest);
    }
    for (const auto& [key, as] : model.messageChanges_) {
        if (as == LearnedAs::Nothing)
            merged.messages_.erase(key);
        else
            merged.messages_[key] = {as, merged.serial_};
    }
    merged.rememberBounded();
    if (merged.tokens_.size() > maxTokens_) {
        // The rarest go first, and of those the longest unseen.
        struct Rank {
            std::uint64_t total;
            std::uint32_t lastSeen;
            std::uint64_t digest;
            bool operator<(const Rank& other) const {
                if (total != other.total) return total < other.total;
                if (lastSeen != other.lastSeen) return lastSeen < other.lastSeen;
                return digest < other.digest;
            }
        };
        std::vector<Rank> ranks;
        ranks.reserve(merged.tokens_.size());
        for (const auto& [digest, counts] : merged.tokens_)
            ranks.push_back({std::uint64_t{counts.spam} + counts.ham, counts.lastSeen, digest});
        const std::size_t drop = ranks.size() - maxTokens_ * 9 / 10;
        std::nth_element(ranks.begin(), ranks.begin() + static_cast<std::ptrdiff_t>(drop), ranks.end());
        for (std::size_t i = 0; i < drop; ++i) merged.tokens_.erase(ranks[i].digest);
    }
    if (write || model.changed_)
        writeFileAtomically(path_, encode(merged, merged.tokens_, merged.messages_, merged.spamMessages_,
                                          merged.hamMessages_, merged.serial_));
    merged.loadedSerial_ = merged.serial_;
    merged.changed_ = false;
    model = std::move(merged);
}

void LearnedModelFile::forgetAll(LearnedModel& model) {
    FileLock lock(path_);
    model.clear();
    writeFileAtomically(path_, encode(model, model.tokens_, model.messages_, 0, 0, 0));
}

}  // namespace quorvel
