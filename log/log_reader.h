#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/clock.h"
#include "platform/dialogs.h"

namespace quorvel {

// Keeps the text of the entries' fields in blocks that never move, so the
// views into it stay valid for as long as the entries live. A log of a
// million records holds far fewer distinct texts than fields, and a string
// object per field would cost more than the text itself.
class FieldText {
public:
    std::string_view keep(std::string_view text);
    std::string_view keepLowerCase(std::string_view text);  // ASCII letters folded

private:
    char* reserve(std::size_t size);
    std::vector<std::unique_ptr<char[]>> blocks_;
    char* free_ = nullptr;
    std::size_t left_ = 0;
    std::size_t nextBlock_ = 0;
};

// One "MAIL CHECK" record as the statistics read it. Every field of an entry
// is a view into its ActivityLogEntries' text.
struct MailCheckEntry {
    std::string_view count;
    std::string_view mailbox;
    std::string_view server;
    std::string_view date;
    std::string_view time;
    bool operator==(const MailCheckEntry&) const = default;
};

// One "DELETE SPAM" record; the sender is in lower case.
struct DeletedSpamEntry {
    std::string_view mailbox;
    std::string_view server;
    std::string_view date;
    std::string_view time;
    std::string_view size;
    std::string_view sender;
    std::string_view domain;
    bool operator==(const DeletedSpamEntry&) const = default;
};

// What the statistics window draws from: the entries in log order and the
// mailboxes met in mail-check records, after "All mailboxes". Moving keeps
// the entries' views valid; copying is not offered.
struct ActivityLogEntries {
    ActivityLogEntries() = default;
    ActivityLogEntries(ActivityLogEntries&&) = default;
    ActivityLogEntries& operator=(ActivityLogEntries&&) = default;

    std::vector<MailCheckEntry> mailChecks;
    std::vector<DeletedSpamEntry> deletedSpam;
    std::vector<std::string> mailboxes;
    int selectedMailbox = -1;
    FieldText text;
};

// The launcher's progress bar.
struct LogReadProgress {
    std::function<void(std::uint64_t maximum)> show;
    std::function<void(std::uint64_t position)> position;
    std::function<void()> hide;
    // Once per piece of the file read, whatever its lines: the window can
    // answer meanwhile, and a throw from here ends the reading.
    std::function<void()> tick;
};

// Splits bytes into lines ended by CR LF, LF or a lone CR, whatever the cuts
// between the pieces fed to it. A last line without an end still counts.
// A line longer than kMaxLine keeps its first kMaxLine bytes: a file that is
// not a log need not have line ends at all.
class LineSplitter {
public:
    static constexpr std::size_t kMaxLine = std::size_t{1} << 16;
    using LineHandler = std::function<void(std::string_view)>;
    explicit LineSplitter(LineHandler onLine) : onLine_(std::move(onLine)) {}
    void feed(std::string_view bytes);
    void finish();

private:
    void keep(const char* from, const char* to);
    LineHandler onLine_;
    std::string partial_;     // a line cut by the end of the last piece
    bool skipLineFeed_ = false;  // the last piece ended in CR
};

// Turns the log's lines into entries, one line at a time. A deleted-spam
// record takes the four lines after its first; lines the end of the file cut
// off count as empty.
class LogParser {
public:
    // `currentTime` stands in for the time of a line too short to hold one.
    LogParser(ActivityLogEntries& entries, std::string currentTime);
    void line(std::string_view text);
    // True while the lines fed belong to a deleted-spam record.
    bool inDeletedSpamRecord() const { return pendingLines_ > 0; }
    // Ends the input: a deleted-spam record still waiting for lines is added.
    void finish();

private:
    void mailCheck(std::string_view text);
    void deleteSpam(std::string_view text);
    void deleteSpamLine(std::string_view text);
    void addMailbox(std::string_view user);
    // The field's text, shared with the same field of the entry before when
    // they are equal, as dates mostly are in a log.
    std::string_view kept(std::string_view text, std::string_view& last);
    // Texts of one field kept lately. Counts, mailboxes and servers take
    // turns among a few values, so each is kept once instead of per record.
    struct RecentTexts {
        std::array<std::string_view, 64> texts;
    };
    std::string_view keptAmong(std::string_view text, RecentTexts& recent);

    ActivityLogEntries& entries_;
    std::string currentTime_;
    std::unordered_set<std::string> mailboxKeys_;  // lower-case names already listed
    std::string mailboxKey_;
    std::string_view lastMailbox_ = "\n";  // no name has a line end
    RecentTexts counts_, users_, servers_;
    std::string_view lastDate_, lastTime_, lastSize_;
    int pendingLines_ = 0;  // of the deleted-spam record being read
    DeletedSpamEntry pending_;
};

// Reads the log at `path` into `entries`, filling the launcher's progress bar.
// Returns false after telling the user when there is no such file or it cannot
// be opened; throws EInOutError when reading fails half-way.
bool readInLogFile(const std::string& path, ActivityLogEntries& entries, Dialogs& dialogs, Clock& clock,
                   const LogReadProgress& progress = {});

}  // namespace quorvel
