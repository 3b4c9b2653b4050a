// Feeds arbitrary bytes to the activity log reader as a file. It must read
// every file to the end, whatever the user (or a crash) left in it, and agree
// with itself however the bytes are cut into pieces; the statistics then
// count every entry once, whatever its date and time texts hold.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <unordered_set>

#include "log/chart_tally.h"
#include "log/log_reader.h"

using namespace quorvel;

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

class StillClock : public Clock {
public:
    StillClock() : settings_(FormatSettings::unitedStates()) { settings_.shortDateFormat = "M/d/yyyy"; }
    TDateTime now() const override { return 45000.7; }
    FormatSettings& formatSettings() override { return settings_; }

private:
    FormatSettings settings_;
};

class SilentDialogs : public Dialogs {
public:
    ModalResult messageBox(MessageKind, const std::string&, MessageButtons) override {
        ++shown;
        return ModalResult::Ok;
    }
    ModalResult showModal(Form&) override { return ModalResult::Ok; }
    std::optional<std::string> openFileName(const std::string&, const std::string&, const std::string&,
                                            const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> saveFileName(const std::string&, const std::string&, const std::string&,
                                            const std::string&) override {
        return std::nullopt;
    }
    int shown = 0;
};

std::string lower(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return result;
}

ActivityLogEntries parseInTwoPieces(std::string_view bytes, std::size_t cut) {
    ActivityLogEntries entries;
    LogParser parser(entries, formatDateTime("h:mm:ss AMPM", 45000.7, FormatSettings::unitedStates()));
    LineSplitter splitter([&](std::string_view line) { parser.line(line); });
    splitter.feed(bytes.substr(0, cut));
    splitter.feed(bytes.substr(cut));
    splitter.finish();
    parser.finish();
    return entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    static StillClock clock;
    static SilentDialogs dialogs;

    const int fd = memfd_create("activity-log", MFD_CLOEXEC);
    require(fd >= 0);
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = write(fd, data + done, size - done);
        require(n > 0);
        done += static_cast<std::size_t>(n);
    }

    std::uint64_t maximum = 0, last = 0;
    int hidden = 0;
    const LogReadProgress progress{
        [&](std::uint64_t max) { maximum = max; },
        [&](std::uint64_t at) {
            require(at >= last && at <= maximum);
            last = at;
        },
        [&] { ++hidden; },
        {},
    };
    ActivityLogEntries entries;
    dialogs.shown = 0;
    const bool read = readInLogFile("/proc/self/fd/" + std::to_string(fd), entries, dialogs, clock, progress);
    close(fd);
    require(read && dialogs.shown == 0 && hidden == 1 && maximum == size);

    require(!entries.mailboxes.empty() && entries.mailboxes[0] == "All mailboxes" && entries.selectedMailbox == 0);
    std::unordered_set<std::string> seen;
    for (std::size_t i = 1; i < entries.mailboxes.size(); ++i)
        require(seen.insert(lower(entries.mailboxes[i])).second);
    for (const MailCheckEntry& e : entries.mailChecks) {
        require(!e.count.empty() && e.count.find(' ') == std::string::npos);
        require(e.server.find(' ') == std::string::npos && e.date.find(' ') == std::string::npos);
        require(seen.count(lower(e.mailbox)) == 1);
    }
    for (const DeletedSpamEntry& e : entries.deletedSpam) {
        require(e.mailbox.size() <= 255 && e.sender.size() <= 255 && e.domain.size() <= 255);
        require(e.sender == lower(e.sender));
        require(e.sender.ends_with(e.domain));
    }

    // The same bytes cut at any point give the same entries.
    const std::size_t cut = size == 0 ? 0 : (data[0] | std::size_t{data[size - 1]} << 8) % (size + 1);
    const ActivityLogEntries pieces = parseInTwoPieces(bytes, cut);
    require(pieces.mailChecks == entries.mailChecks && pieces.deletedSpam == entries.deletedSpam &&
            pieces.mailboxes == entries.mailboxes);

    // The statistics count whatever the dates and times hold: every entry
    // of the widest range lands in one weekday, one slot and one grid row.
    const ChartFilter everything{-1e6, 1e7, true, {}};
    const ChartTally tally = tallyActivity(entries, everything, clock.formatSettings(), clock.now());
    std::int64_t checks = 0, slots = 0, deleted = 0;
    for (const std::int64_t n : tally.checksByWeekday) checks += n;
    for (const std::int64_t n : tally.checksBySlot) slots += n;
    for (const std::int64_t n : tally.deletedBySlot) deleted += n;
    require(checks == static_cast<std::int64_t>(entries.mailChecks.size()) && slots == checks);
    require(deleted == static_cast<std::int64_t>(entries.deletedSpam.size()));
    require(tally.checkRows.size() == entries.mailChecks.size() && tally.topSenders.size() <= 10);
    return 0;
}
