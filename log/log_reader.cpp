#include "log/log_reader.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "log/activity_log.h"
#include "platform/files.h"

namespace quorvel {

namespace {

constexpr std::size_t kNotFound = std::string_view::npos;
// Copies of the rest of a line keep at most this many characters.
constexpr std::size_t kRestLimit = 255;
constexpr std::size_t kReadChunk = 1 << 20;

// From `index` (counting from 0) up to the first `stop`, or to the end.
std::string_view fieldUpTo(std::string_view line, std::size_t index, char stop) {
    if (index >= line.size()) return {};
    const std::size_t end = line.find(stop, index);
    return line.substr(index, end == kNotFound ? kNotFound : end - index);
}

std::string_view restOf(std::string_view line, std::size_t index) {
    if (index >= line.size()) return {};
    return line.substr(index, kRestLimit);
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
    return text;
}

// The date and time of a record end its line, as in "Tue 12/7/1999 3:45 PM":
// the time is what follows the second space from the end.
std::string_view timePart(std::string_view line, const std::string& currentTime) {
    const std::size_t last = line.rfind(' ');
    if (last == kNotFound || last == 0) return currentTime;
    const std::size_t secondLast = line.rfind(' ', last - 1);
    if (secondLast == kNotFound) return currentTime;
    return trimmed(line.substr(secondLast + 1));
}

// The entry lists and texts of a big log are filled once from start to end.
// In huge pages that takes a few hundred page faults instead of tens of
// thousands, which otherwise cost more than the parsing itself. Only advice:
// where the system has no huge pages the memory works as before.
void adviseHugePages(void* memory, std::size_t bytes) {
    constexpr std::size_t kWorthIt = std::size_t{4} << 20;
    if (bytes < kWorthIt) return;
    const std::uintptr_t page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto begin = reinterpret_cast<std::uintptr_t>(memory);
    const std::uintptr_t from = (begin + page - 1) & ~(page - 1);
    const std::uintptr_t to = (begin + bytes) & ~(page - 1);
    if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
}

template <typename T>
void adviseHugePages(std::vector<T>& list) {
    adviseHugePages(list.data(), list.capacity() * sizeof(T));
}

// Closes the file and hides the progress bar however the reading ends.
struct OpenLog {
    int fd = -1;
    const LogReadProgress* progress = nullptr;
    ~OpenLog() {
        if (fd >= 0) ::close(fd);
        if (progress && progress->hide) progress->hide();
    }
};

}  // namespace

void LineSplitter::feed(std::string_view bytes) {
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    if (skipLineFeed_ && p < end) {
        if (*p == '\n') ++p;
        skipLineFeed_ = false;
    }
    // The next CR and LF are remembered, so a piece full of one kind of line
    // end is not searched again for the other at every line.
    const char* nextCr = nullptr;
    const char* nextLf = nullptr;
    while (p < end) {
        if (nextCr < p) {
            nextCr = static_cast<const char*>(std::memchr(p, '\r', static_cast<std::size_t>(end - p)));
            if (!nextCr) nextCr = end;
        }
        if (nextLf < p) {
            nextLf = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
            if (!nextLf) nextLf = end;
        }
        const char* eol = std::min(nextCr, nextLf);
        if (eol == end) {
            keep(p, end);
            return;
        }
        if (partial_.empty()) {
            onLine_(std::string_view(p, std::min(static_cast<std::size_t>(eol - p), kMaxLine)));
        } else {
            keep(p, eol);
            onLine_(partial_);
            partial_.clear();
        }
        p = eol + 1;
        if (*eol == '\r') {
            if (p == end)
                skipLineFeed_ = true;
            else if (*p == '\n')
                ++p;
        }
    }
}

void LineSplitter::keep(const char* from, const char* to) {
    const std::size_t room = kMaxLine - std::min(kMaxLine, partial_.size());
    partial_.append(from, std::min(room, static_cast<std::size_t>(to - from)));
}

void LineSplitter::finish() {
    if (!partial_.empty()) onLine_(partial_);
    partial_.clear();
    skipLineFeed_ = false;
}

char* FieldText::reserve(std::size_t size) {
    if (size > left_) {
        // Blocks grow with the text, so a big log takes few of them (and few
        // page faults); a text longer than a block gets a block of its own.
        constexpr std::size_t kFirstBlock = std::size_t{1} << 16;
        constexpr std::size_t kLargestBlock = std::size_t{1} << 23;
        nextBlock_ = std::min(std::max(nextBlock_ * 2, kFirstBlock), kLargestBlock);
        const std::size_t blockSize = std::max(size, nextBlock_);
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(blockSize));
        free_ = blocks_.back().get();
        left_ = blockSize;
        adviseHugePages(free_, blockSize);
    }
    char* at = free_;
    free_ += size;
    left_ -= size;
    return at;
}

std::string_view FieldText::keep(std::string_view text) {
    if (text.empty()) return {};
    char* at = reserve(text.size());
    std::memcpy(at, text.data(), text.size());
    return {at, text.size()};
}

std::string_view FieldText::keepLowerCase(std::string_view text) {
    const std::string_view kept = keep(text);
    char* at = const_cast<char*>(kept.data());
    for (std::size_t i = 0; i < kept.size(); ++i)
        if (at[i] >= 'A' && at[i] <= 'Z') at[i] = static_cast<char>(at[i] - 'A' + 'a');
    return kept;
}

LogParser::LogParser(ActivityLogEntries& entries, std::string currentTime)
    : entries_(entries), currentTime_(std::move(currentTime)) {
    entries_.mailChecks.clear();
    entries_.deletedSpam.clear();
    entries_.mailboxes.assign(1, "All mailboxes");
    entries_.selectedMailbox = 0;
    entries_.text = FieldText();
}

std::string_view LogParser::kept(std::string_view text, std::string_view& last) {
    if (text != last) last = entries_.text.keep(text);
    return last;
}

std::string_view LogParser::keptAmong(std::string_view text, RecentTexts& recent) {
    if (text.empty()) return {};
    // A few of the field's bytes pick the slot; a clash only costs a copy.
    const std::size_t n = text.size();
    const auto at = [text](std::size_t i) { return static_cast<std::uint64_t>(static_cast<unsigned char>(text[i])); };
    const std::uint64_t mix = (n << 32) ^ (at(0) << 24) ^ (at(n / 2) << 16) ^ (at(n - 1) << 8) ^ at(n / 3);
    std::string_view& slot = recent.texts[(mix * 0x9E3779B97F4A7C15u) >> 58];
    if (text != slot) slot = entries_.text.keep(text);
    return slot;
}

void LogParser::line(std::string_view text) {
    // A reason quotes a stranger's header words, which may read like a record.
    if (pendingLines_ == 0 && text.starts_with(kReasonLine)) return;
    if (pendingLines_ > 0)
        deleteSpamLine(text);
    else if (text.find("MAIL CHECK ") != kNotFound)
        mailCheck(text);
    else if (text.find("DELETE SPAM") != kNotFound)
        deleteSpam(text);
}

void LogParser::finish() {
    while (pendingLines_ > 0) deleteSpamLine({});
}

// MAIL CHECK 3 msg(s) for "user" on server host at Tue 12/7/1999 3:45 PM
void LogParser::mailCheck(std::string_view text) {
    MailCheckEntry entry;
    entry.count = keptAmong(fieldUpTo(text, 11, ' '), counts_);
    // Each field is looked for after the one before it, so a user name that
    // holds " at " or "on server " does not shift the fields after it.
    std::size_t from = 0;
    const std::size_t userAt = text.find("for \"");
    if (userAt != kNotFound) {
        const std::string_view user = fieldUpTo(text, userAt + 5, '"');
        entry.mailbox = keptAmong(user, users_);
        if (userAt + 5 + user.size() < text.size()) from = userAt + 5 + user.size();
    }
    const std::size_t serverAt = text.find("on server ", from);
    if (serverAt != kNotFound) {
        const std::string_view server = fieldUpTo(text, serverAt + 10, ' ');
        entry.server = keptAmong(server, servers_);
        from = serverAt + 10 + server.size();
    }
    const std::size_t at = text.find(" at ", from);
    if (at != kNotFound) {
        entry.date = kept(fieldUpTo(text, at + 8, ' '), lastDate_);  // past " at " and the day name
        entry.time = kept(timePart(text, currentTime_), lastTime_);
    }
    addMailbox(entry.mailbox);
    if (!entry.count.empty()) entries_.mailChecks.push_back(entry);
}

void LogParser::addMailbox(std::string_view user) {
    if (user == lastMailbox_) return;
    lastMailbox_ = user;
    mailboxKey_.assign(user);
    for (char& c : mailboxKey_)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (mailboxKeys_.insert(mailboxKey_).second) entries_.mailboxes.emplace_back(user);
}

// DELETE SPAM on Tue 12/7/1999 3:45 PM, then four lines of details.
void LogParser::deleteSpam(std::string_view text) {
    pending_ = DeletedSpamEntry{};
    pending_.date = kept(fieldUpTo(text, 19, ' '), lastDate_);
    pending_.time = kept(timePart(text, currentTime_), lastTime_);
    pendingLines_ = 4;
}

void LogParser::deleteSpamLine(std::string_view text) {
    const int lineNumber = 5 - pendingLines_;  // 1 to 4 after the record's first line
    std::size_t at = kNotFound;
    switch (lineNumber) {
    case 1:  // "   Server:  host Mailbox: user"
        if (text.find("Server:") != kNotFound) pending_.server = keptAmong(fieldUpTo(text, 12, ' '), servers_);
        if ((at = text.find("Mailbox:")) != kNotFound) pending_.mailbox = keptAmong(restOf(text, at + 9), users_);
        break;
    case 2:  // the subject, which the statistics do not use
        break;
    case 3:  // "   Sender:  address"
        if ((at = text.find("Sender:")) != kNotFound) {
            pending_.sender = entries_.text.keepLowerCase(restOf(text, at + 9));
            if ((at = pending_.sender.find('@')) != kNotFound) pending_.domain = restOf(pending_.sender, at + 1);
        }
        break;
    case 4:  // "   Size:    1234  Date: ..."
        if ((at = text.find("Size:")) != kNotFound) pending_.size = kept(fieldUpTo(text, at + 9, ' '), lastSize_);
        break;
    }
    if (--pendingLines_ == 0) entries_.deletedSpam.push_back(pending_);
}

bool readInLogFile(const std::string& path, ActivityLogEntries& entries, Dialogs& dialogs, Clock& clock,
                   const LogReadProgress& progress) {
    LogParser parser(entries, formatDateTime(clock.formatSettings().longTimeFormat, clock.now(),
                                             clock.formatSettings()));
    if (!fileExists(path)) {
        dialogs.messageBox(MessageKind::Error,
                                    "The activity log file does not exist!  Either you have cleared/deleted the "
                                    "activity log or you have not yet begun to use Quorvel.",
                                    MessageButtons::Ok);
        return false;
    }
    struct stat st {};
    const std::uint64_t size = ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
    OpenLog file;
    file.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file.fd < 0) {
        dialogs.messageBox(MessageKind::Error, "Could not open Activity log file for reading!",
                                    MessageButtons::Ok);
        return false;
    }

    file.progress = &progress;
    // Room for as many entries as the shortest records could make of a file
    // this size, so the lists are not copied as they grow. The pages stay
    // untouched until entries fill them; the cap keeps a huge file from
    // asking for more address space than a growing list would need anyway.
    constexpr std::uint64_t kReserveCap = 1 << 22;
    entries.mailChecks.reserve(static_cast<std::size_t>(std::min(size / 64, kReserveCap)));
    entries.deletedSpam.reserve(static_cast<std::size_t>(std::min(size / 160, kReserveCap)));
    adviseHugePages(entries.mailChecks);
    adviseHugePages(entries.deletedSpam);
    if (progress.show) progress.show(size);
    std::uint64_t lineCounter = 1;
    LineSplitter splitter([&](std::string_view line) {
        if (parser.inDeletedSpamRecord()) {
            parser.line(line);
            return;
        }
        if (progress.position) progress.position(std::min(size, 60 * lineCounter));
        ++lineCounter;
        parser.line(line);
        // A deleted-spam record reads its four further lines at once.
        if (parser.inDeletedSpamRecord()) lineCounter += 4;
    });

    // A small file needs no more than its size (and one byte to see the end).
    const std::size_t bufferSize = static_cast<std::size_t>(std::min<std::uint64_t>(size + 1, kReadChunk));
    const auto buffer = std::make_unique_for_overwrite<char[]>(bufferSize);
    for (;;) {
        const ssize_t n = ::read(file.fd, buffer.get(), bufferSize);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw inOutError(errno);
        }
        if (n == 0) break;
        splitter.feed(std::string_view(buffer.get(), static_cast<std::size_t>(n)));
        if (progress.tick) progress.tick();
    }
    splitter.finish();
    parser.finish();
    return true;
}

}  // namespace quorvel
