#include "mail/listing_cache_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/files.h"

namespace quorvel {
namespace {

constexpr const char* kMagic = "QUORVEL LISTING CACHE\n";
constexpr const char* kVersion = "version 1\n";
constexpr const char* kEnd = "end\n";

void putNumber(std::string& out, std::size_t n) {
    out += std::to_string(n);
    out += '\n';
}

// A field is its length, a colon, its bytes and a line end, so any byte may
// be in it.
void putField(std::string& out, const std::string& field) {
    out += std::to_string(field.size());
    out += ':';
    out += field;
    out += '\n';
}

// Reads the file's parts in order; every read is checked against what is
// left, so no length in the file can reach past its end.
class Reader {
public:
    explicit Reader(const std::string& bytes) : bytes_(bytes) {}

    bool literal(const char* text) {
        std::string_view want(text);
        if (bytes_.compare(pos_, want.size(), want) != 0) return false;
        pos_ += want.size();
        return true;
    }

    // Decimal digits ended by `end`, at most `max`.
    std::optional<std::size_t> number(char end, std::size_t max) {
        std::size_t stop = bytes_.find(end, pos_);
        if (stop == std::string::npos || stop == pos_ || stop - pos_ > 12) return std::nullopt;
        std::size_t value = 0;
        const char* first = bytes_.data() + pos_;
        const char* last = bytes_.data() + stop;
        auto [ptr, ec] = std::from_chars(first, last, value);
        if (ec != std::errc() || ptr != last || value > max) return std::nullopt;
        pos_ = stop + 1;
        return value;
    }

    std::optional<std::string> field(std::size_t max) {
        auto value = view(max);
        if (!value) return std::nullopt;
        return std::string(*value);
    }

    // A field without copying it; valid while the file's bytes are.
    std::optional<std::string_view> view(std::size_t max) {
        auto length = number(':', max);
        if (!length || bytes_.size() - pos_ < *length + 1 || bytes_[pos_ + *length] != '\n') return std::nullopt;
        std::string_view value(bytes_.data() + pos_, *length);
        pos_ += *length + 1;
        return value;
    }

    bool atEnd() const { return pos_ == bytes_.size(); }

private:
    const std::string& bytes_;
    std::size_t pos_ = 0;
};

std::size_t headerOctets(const TmsHeaders& headers) {
    std::size_t octets = 0;
    for (const auto& line : headers) octets += line.size();
    return octets;
}

// The file's bytes, read once into a string of their size; nullopt with
// `problem` "" when there is no file, or why it cannot be used.
std::optional<std::string> readWholeFile(const std::string& path, std::size_t bound, std::string& problem) {
    problem.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT) problem = std::strerror(errno);
        return std::nullopt;
    }
    struct Close {
        int fd;
        ~Close() { ::close(fd); }
    } closing{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        problem = std::strerror(errno);
        return std::nullopt;
    }
    if (!S_ISREG(st.st_mode)) {
        problem = "not a file";
        return std::nullopt;
    }
    if (static_cast<std::uint64_t>(st.st_size) > bound) {
        problem = "too large";
        return std::nullopt;
    }
    std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            problem = std::strerror(errno);
            return std::nullopt;
        }
        done += static_cast<std::size_t>(n);
    }
    // A file that grew meanwhile is read no further than its bound allows.
    char more = 0;
    if (done == bytes.size() && ::read(fd, &more, 1) > 0) {
        problem = "changed while read";
        return std::nullopt;
    }
    bytes.resize(done);
    return bytes;
}

// An entry's share of the file: its bytes and a bound on its length prefixes.
std::size_t entryCost(std::size_t uidOctets, std::size_t lines, std::size_t headerOctets) {
    return uidOctets + headerOctets + 16 * (lines + 3);
}

}  // namespace

TmsListingCacheFile::TmsListingCacheFile(std::string path, TmsListingAccount account)
    : path_(std::move(path)), account_(std::move(account)) {}

std::string TmsListingCacheFile::pathFor(const std::string& programFolder, int mailbox) {
    return joinPath(programFolder, "listing-cache-mailbox-" + std::to_string(mailbox) + ".dat");
}

std::string TmsListingCacheFile::load() {
    entries_.clear();
    index_.clear();
    matchesFile_ = false;
    std::string problem;
    auto bytes = readWholeFile(path_, kMaxFileOctets, problem);
    if (!bytes) return problem;  // "" when there is no file yet

    Reader in(*bytes);
    if (!in.literal(kMagic)) return "not a listing cache";
    if (!in.literal(kVersion)) return "another version";
    auto server = in.field(1024);
    auto port = in.number('\n', 65535);
    auto user = in.field(1024);
    if (!server || !port || !user) return "damaged";
    if (!(TmsListingAccount{*server, static_cast<int>(*port), *user} == account_))
        return "written for another account";

    auto count = in.number('\n', kMaxEntries);
    if (!count) return "damaged";
    std::vector<Entry> entries;
    // Each entry takes at least eight octets of the file: the count cannot
    // ask for more room than the file could fill.
    entries.reserve(std::min(*count, bytes->size() / 8));
    std::size_t total = 0;
    for (std::size_t i = 0; i < *count; ++i) {
        auto uid = in.view(kMaxUidOctets);
        auto size = in.number('\n', 0x7fffffff);
        auto lines = in.number('\n', kMaxHeaderLines);
        if (!uid || uid->empty() || !size || !lines) return "damaged";
        Entry entry;
        entry.uid = std::string(*uid);
        entry.message.Size = static_cast<std::int32_t>(*size);
        std::size_t octets = 0;
        for (std::size_t l = 0; l < *lines; ++l) {
            auto line = in.view(kMaxHeaderOctets - octets);
            if (!line) return "damaged";
            octets += line->size();
            entry.message.appendLine(line->data(), line->size());
        }
        total += entryCost(uid->size(), *lines, octets);
        if (total > kMaxTotalOctets) return "too large";
        entries.push_back(std::move(entry));
    }
    if (!in.literal(kEnd) || !in.atEnd()) return "damaged";
    bytes.reset();
    entries_ = std::move(entries);
    reindex();
    if (index_.size() != entries_.size()) {
        entries_.clear();
        index_.clear();
        return "an id twice";
    }
    matchesFile_ = true;
    return "";
}

void TmsListingCacheFile::reindex() {
    index_.clear();
    index_.reserve(entries_.size());
    for (std::size_t i = 0; i < entries_.size(); ++i) index_.emplace(entries_[i].uid, i);
}

void TmsListingCacheFile::save() const {
    if (matchesFile_) return;
    std::size_t octets = 256;
    for (const Entry& entry : entries_) octets += entryCost(entry.uid.size(), entry.message.lineCount(), entry.message.packed().size());
    std::string out;
    out.reserve(octets);
    out += kMagic;
    out += kVersion;
    putField(out, account_.Server);
    putNumber(out, static_cast<std::size_t>(account_.Port));
    putField(out, account_.UserName);
    putNumber(out, entries_.size());
    for (const Entry& entry : entries_) {
        putField(out, entry.uid);
        putNumber(out, static_cast<std::size_t>(entry.message.Size));
        putNumber(out, entry.message.lineCount());
        for (const auto& line : entry.message.headers()) putField(out, line);
    }
    out += kEnd;
    writeFileAtomically(path_, out);
    matchesFile_ = true;
}

const TmsKnownMessage* TmsListingCacheFile::find(const std::string& uid) const {
    auto it = index_.find(uid);
    return it == index_.end() ? nullptr : &entries_[it->second].message;
}

void TmsListingCacheFile::update(const TmsRemoteInfo& listing) {
    // An id several records share names none of them.
    std::unordered_map<std::string_view, int> seen;
    seen.reserve(static_cast<std::size_t>(listing.Count()));
    for (int i = 0; i < listing.Count(); ++i) ++seen[listing.Items(i).UIDL];

    std::vector<Entry> entries;
    entries.reserve(std::min(static_cast<std::size_t>(listing.Count()), kMaxEntries));
    bool same = true;
    std::size_t total = 0;
    for (int i = 0; i < listing.Count() && entries.size() < kMaxEntries; ++i) {
        const TmsRemoteInfoItem& record = listing.Items(i);
        const std::size_t octets = headerOctets(record.Headers);
        const std::size_t cost = entryCost(record.UIDL.size(), record.Headers.size(), octets);
        // What the file could not hold is simply not remembered: it is listed
        // with TOP again next time.
        if (record.UIDL.empty() || record.UIDL.size() > kMaxUidOctets || record.Size < 0 ||
            record.Headers.size() > kMaxHeaderLines || octets > kMaxHeaderOctets ||
            total + cost > kMaxTotalOctets || seen[record.UIDL] > 1)
            continue;
        Entry entry;
        entry.uid = record.UIDL;
        // A record the cache already holds as it is keeps its packed lines
        // (each id is taken once: ids listed twice were skipped above). The
        // ids stay where they are, as the index looks at them.
        const auto was = index_.find(record.UIDL);
        Entry* before = was == index_.end() ? nullptr : &entries_[was->second];
        if (before && before->message.Size == record.Size && before->message.sameHeaders(record.Headers)) {
            same = same && was->second == entries.size();
            entry.message = std::move(before->message);
        } else {
            same = false;
            entry.message.Size = record.Size;
            entry.message.setHeaders(record.Headers);
        }
        entries.push_back(std::move(entry));
        total += cost;
    }
    if (entries.size() != entries_.size()) same = false;
    entries_ = std::move(entries);
    reindex();
    if (!same) matchesFile_ = false;
}

}  // namespace quorvel
