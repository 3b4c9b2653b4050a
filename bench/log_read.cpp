// Reads an activity log with the statistics window's reader and prints how
// long it took; also writes such a log with the writers' own record texts.
// Usage: log_read generate FILE RECORDS
//        log_read read FILE
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "log/activity_log.h"
#include "log/log_reader.h"

namespace {

using namespace quorvel;

class UnitedStatesClock : public Clock {
public:
    UnitedStatesClock() : settings_(FormatSettings::unitedStates()) {
        settings_.shortDateFormat = "M/d/yyyy";  // as widened at start-up
    }
    TDateTime now() const override { return now_; }
    FormatSettings& formatSettings() override { return settings_; }
    TDateTime now_ = encodeDateTime({2025, 1, 1, 8, 0, 0, 0});

private:
    FormatSettings settings_;
};

class PrintingDialogs : public Dialogs {
public:
    ModalResult messageBox(MessageKind, const std::string& text, MessageButtons) override {
        std::fprintf(stderr, "%s\n", text.c_str());
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
};

// A year or so of a busy user: checks every few minutes over three mailboxes,
// about one record in five a deleted message, now and then an error, a cancel
// or a switch of automatic mode.
int generate(const char* path, long records) {
    std::FILE* out = std::fopen(path, "wb");
    if (!out) {
        std::perror(path);
        return 1;
    }
    UnitedStatesClock clock;
    const char* const users[] = {"joe.smith", "Joe Smith", "ann"};
    const char* const servers[] = {"pop.example.com", "mail.example.org", "pop3.isp.example.net"};
    const char* const senders[] = {"deals@cheap-pills.example", "Win.Now@Lottery.Example.COM", "no-address",
                                   "newsletter@lists.example.org"};
    unsigned random = 12345;
    const auto next = [&random] { return random = random * 1103515245u + 12345u, (random >> 16) & 0x7fff; };
    std::string batch;
    for (long i = 0; i < records; ++i) {
        clock.now_ += 3.0 / (24 * 60);
        const std::string stamp = formatDateTime("ddd ddddd t", clock.now_, clock.formatSettings());
        const unsigned pick = next() % 100;
        const char* user = users[next() % 3];
        const char* server = servers[next() % 3];
        if (pick < 75) {
            batch += mailCheckRecord(static_cast<int>(next() % 12), user, server, stamp);
        } else if (pick < 95) {
            const DeletedSpamRow row{"Limited offer number " + std::to_string(next()), senders[next() % 4],
                                     std::to_string(1000 + next() % 60000),
                                     formatDateTime("ddddd", clock.now_ - 1, clock.formatSettings())};
            batch += deletedSpamRecord(row, server, user, stamp);
        } else if (pick < 98) {
            batch += errorRecord("Operation timed out", user, server, stamp);
        } else if (pick < 99) {
            batch += cancelRecord(user, server, stamp);
        } else {
            batch += automaticModeRecord(next() % 2 == 0, stamp);
        }
        if (batch.size() > (1 << 20)) {
            std::fwrite(batch.data(), 1, batch.size(), out);
            batch.clear();
        }
    }
    std::fwrite(batch.data(), 1, batch.size(), out);
    return std::fclose(out) == 0 ? 0 : 1;
}

int read(const char* path) {
    UnitedStatesClock clock;
    PrintingDialogs dialogs;
    ActivityLogEntries entries;
    const auto start = std::chrono::steady_clock::now();
    std::uint64_t lastPosition = 0;
    const LogReadProgress progress{{}, [&lastPosition](std::uint64_t at) { lastPosition = at; }, {}, {}};
    try {
        if (!readInLogFile(path, entries, dialogs, clock, progress)) return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 1;
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%zu mail checks, %zu deleted, %zu mailboxes, progress %llu, %.3f s, peak %.0f MB\n",
                entries.mailChecks.size(), entries.deletedSpam.size(), entries.mailboxes.size(),
                static_cast<unsigned long long>(lastPosition), took.count(), usage.ru_maxrss / 1024.0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "generate") == 0) return generate(argv[2], std::atol(argv[3]));
    if (argc == 3 && std::strcmp(argv[1], "read") == 0) return read(argv[2]);
    std::fprintf(stderr, "usage: %s generate FILE RECORDS | read FILE\n", argv[0]);
    return 2;
}
