#include "log/log_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ostream>

#include "log/activity_log.h"
#include "platform/files.h"
#include "support/fake_platform.h"

namespace quorvel {

std::ostream& operator<<(std::ostream& out, const MailCheckEntry& e) {
    return out << "{count '" << e.count << "' mailbox '" << e.mailbox << "' server '" << e.server << "' date '"
               << e.date << "' time '" << e.time << "'}";
}

std::ostream& operator<<(std::ostream& out, const DeletedSpamEntry& e) {
    return out << "{mailbox '" << e.mailbox << "' server '" << e.server << "' date '" << e.date << "' time '"
               << e.time << "' size '" << e.size << "' sender '" << e.sender << "' domain '" << e.domain << "'}";
}

namespace {

using Lines = std::vector<std::string>;
using Checks = std::vector<MailCheckEntry>;
using Deletions = std::vector<DeletedSpamEntry>;

constexpr const char* kNowLongTime = "4:48:30 PM";  // the fixed clock's moment

ActivityLogEntries parse(std::string_view text) {
    ActivityLogEntries entries;
    LogParser parser(entries, kNowLongTime);
    LineSplitter splitter([&](std::string_view line) { parser.line(line); });
    splitter.feed(text);
    splitter.finish();
    parser.finish();
    return entries;
}

Lines splitBytewise(std::string_view text) {
    Lines lines;
    LineSplitter splitter([&](std::string_view line) { lines.emplace_back(line); });
    for (char c : text) splitter.feed(std::string_view(&c, 1));
    splitter.finish();
    return lines;
}

Lines splitWhole(std::string_view text) {
    Lines lines;
    LineSplitter splitter([&](std::string_view line) { lines.emplace_back(line); });
    splitter.feed(text);
    splitter.finish();
    return lines;
}

TEST(LineSplitter, KeepsTheStartOfAnOverlongLine) {
    const std::size_t max = LineSplitter::kMaxLine;
    for (const std::string& text : {std::string(max * 3, 'x') + "\r\nnext\r\n", std::string(max * 3, 'x')}) {
        for (const std::size_t piece : {std::size_t{1000}, text.size()}) {
            Lines lines;
            LineSplitter splitter([&](std::string_view line) { lines.emplace_back(line); });
            for (std::size_t at = 0; at < text.size(); at += piece)
                splitter.feed(std::string_view(text).substr(at, piece));
            splitter.finish();
            ASSERT_FALSE(lines.empty());
            EXPECT_EQ(lines[0], std::string(max, 'x'));
            if (text.back() == '\n') {
                EXPECT_EQ(lines, (Lines{std::string(max, 'x'), "next"}));
            }
        }
    }
}

TEST(LineSplitter, EndsLinesAtCrLfLfAndLoneCrWhereverThePiecesAreCut) {
    struct Case {
        std::string text;
        Lines lines;
    };
    const Case cases[] = {
        {"", {}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\nb\n", {"a", "b"}},
        {"a\rb\r", {"a", "b"}},
        {"a\r\nb\rc\nd\r\r\ne", {"a", "b", "c", "d", "", "e"}},
        {"\r\n\r\n", {"", ""}},
        {"no end", {"no end"}},
        {std::string("nul\0inside\r\n", 12), {std::string("nul\0inside", 10)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(splitWhole(c.text), c.lines);
        EXPECT_EQ(splitBytewise(c.text), c.lines);
    }
}

TEST(LogParser, MailCheckLines) {
    struct Case {
        const char* line;
        Checks checks;
        Lines mailboxes;
    };
    const Case cases[] = {
        {"MAIL CHECK 3 msg(s) for \"joe\" on server pop.example.com at Tue 12/7/1999 3:45 PM",
         {{"3", "joe", "pop.example.com", "12/7/1999", "3:45 PM"}},
         {"All mailboxes", "joe"}},
        {"MAIL CHECK 0 msg(s) for \"Joe Q. Public\" on server pop.example.com at Tue 12/7/1999 3:45 PM",
         {{"0", "Joe Q. Public", "pop.example.com", "12/7/1999", "3:45 PM"}},
         {"All mailboxes", "Joe Q. Public"}},
        {"MAIL CHECK 2 msg(s) for \"joe\" on server pop example.com at Tue 12/7/1999 3:45 PM",
         {{"2", "joe", "pop", "12/7/1999", "3:45 PM"}},
         {"All mailboxes", "joe"}},
        // Words of the record inside the user name do not move the fields after it.
        {"MAIL CHECK 1 msg(s) for \"meet at on server x\" on server pop.a.com at Wed 1/5/2000 10:00 AM",
         {{"1", "meet at on server x", "pop.a.com", "1/5/2000", "10:00 AM"}},
         {"All mailboxes", "meet at on server x"}},
        // A locale whose short time has no space: the time takes in the date.
        {"MAIL CHECK 4 msg(s) for \"joe\" on server s at Tue 12/7/1999 15:45",
         {{"4", "joe", "s", "12/7/1999", "12/7/1999 15:45"}},
         {"All mailboxes", "joe"}},
        // No count: no entry, but the mailbox is listed.
        {"MAIL CHECK  msg(s) for \"ann\" on server s at Tue 12/7/1999 3:45 PM", {}, {"All mailboxes", "ann"}},
        // Cut short: what is there is taken, the rest stays empty.
        {"MAIL CHECK 7 msg(s) for \"joe", {{"7", "joe", "", "", ""}}, {"All mailboxes", "joe"}},
        {"MAIL CHECK 7", {{"7", "", "", "", ""}}, {"All mailboxes", ""}},
        {"MAIL CHECK ", {}, {"All mailboxes", ""}},
        {"MAIL CHECK 5 msg(s) for \"joe\" on server s at T", {{"5", "joe", "s", "", "at T"}}, {"All mailboxes", "joe"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const ActivityLogEntries entries = parse(c.line);
        EXPECT_EQ(entries.mailChecks, c.checks);
        EXPECT_EQ(entries.mailboxes, c.mailboxes);
        EXPECT_TRUE(entries.deletedSpam.empty());
    }
}

TEST(LogParser, MailboxesAreListedOnceWhateverTheirCase) {
    const ActivityLogEntries entries = parse(
        "MAIL CHECK 1 msg(s) for \"Joe\" on server a at Tue 12/7/1999 3:45 PM\r\n"
        "MAIL CHECK 1 msg(s) for \"ann\" on server a at Tue 12/7/1999 3:45 PM\r\n"
        "MAIL CHECK 1 msg(s) for \"JOE\" on server b at Tue 12/7/1999 3:45 PM\r\n"
        "MAIL CHECK 1 msg(s) for \"Ann\" on server b at Tue 12/7/1999 3:45 PM\r\n");
    EXPECT_EQ(entries.mailboxes, (Lines{"All mailboxes", "Joe", "ann"}));
    EXPECT_EQ(entries.selectedMailbox, 0);
    EXPECT_EQ(entries.mailChecks.size(), 4u);
}

TEST(LogParser, DeletedSpamRecords) {
    const std::string head = "DELETE SPAM on Tue 12/7/1999 3:45 PM\r\n";
    const std::string server = "   Server:  pop.example.com Mailbox: Joe Smith\r\n";
    const std::string subject = "   Subject: Cheap pills\r\n";
    const std::string sender = "   Sender:  Spammer@Bad.Example\r\n";
    const std::string size = "   Size:    2048  Date: 12/6/1999\r\n";
    const DeletedSpamEntry whole{"Joe Smith", "pop.example.com", "12/7/1999", "3:45 PM",
                                 "2048",      "spammer@bad.example", "bad.example"};
    DeletedSpamEntry noSize = whole;
    noSize.size = "";
    DeletedSpamEntry noSender = noSize;
    noSender.sender = noSender.domain = "";
    DeletedSpamEntry onlyHead{"", "", "12/7/1999", "3:45 PM", "", "", ""};

    struct Case {
        const char* name;
        std::string text;
        Deletions expected;
    };
    const std::string longSender(300, 'S');
    const std::string keptMailbox(255, 'u'), keptDomain(253, 's'), keptSender = "a@" + keptDomain;
    const Case cases[] = {
        {"whole", head + server + subject + sender + size, {whole}},
        {"no line end at the end", head + server + subject + sender + size.substr(0, size.size() - 2), {whole}},
        {"cut after the sender", head + server + subject + sender, {noSize}},
        {"cut after the subject", head + server + subject, {noSender}},
        {"cut after the server", head + server, {noSender}},
        {"cut after the first line", head, {onlyHead}},
        {"first line alone, no line end", "DELETE SPAM", {{"", "", "", kNowLongTime, "", "", ""}}},
        {"sender without at sign", head + server + subject + "   Sender:  nobody\r\n" + size,
         {{"Joe Smith", "pop.example.com", "12/7/1999", "3:45 PM", "2048", "nobody", ""}}},
        {"rests of lines keep 255 characters",
         head + "   Server:  s Mailbox: " + std::string(300, 'u') + "\r\n" + subject + "   Sender:  a@" + longSender +
             "\r\n" + size,
         {{keptMailbox, "s", "12/7/1999", "3:45 PM", "2048", keptSender, keptDomain}}},
        {"two in a row", head + server + subject + sender + size + head + server + subject + sender + size,
         {whole, whole}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ActivityLogEntries entries = parse(c.text);
        EXPECT_EQ(entries.deletedSpam, c.expected);
        EXPECT_TRUE(entries.mailChecks.empty());
        EXPECT_EQ(entries.mailboxes, Lines{"All mailboxes"});
    }
}

TEST(LogParser, TheFourLinesAfterDeleteSpamAreNeverRecordsOfTheirOwn) {
    const ActivityLogEntries entries = parse(
        "DELETE SPAM on Tue 12/7/1999 3:45 PM\r\n"
        "MAIL CHECK 1 msg(s) for \"x\" on server a at Tue 12/7/1999 3:45 PM\r\n"
        "\r\n"
        "DELETE SPAM\r\n"
        "\r\n"
        "MAIL CHECK 2 msg(s) for \"y\" on server b at Tue 12/7/1999 3:46 PM\r\n");
    EXPECT_EQ(entries.deletedSpam.size(), 1u);
    EXPECT_EQ(entries.mailChecks, (Checks{{"2", "y", "b", "12/7/1999", "3:46 PM"}}));
}

// A learned reason quotes a stranger's header words: whatever they say, the
// line is no record of its own.
TEST(LogParser, AReasonLineIsNeverARecordOfItsOwn) {
    const ActivityLogEntries entries = parse(
        "DELETE SPAM on Tue 12/7/1999 3:45 PM\r\n"
        "   Server:  pop.example.com Mailbox: joe\r\n"
        "   Subject: x\r\n"
        "   Sender:  a@b.example\r\n"
        "   Size:    10  Date: 12/7/1999\r\n"
        "   Reason:  Learned: 0.99 spam: From name 'DELETE SPAM on Tue 1/1/2000 1:00 PM' 0.99\r\n"
        "   Reason:  MAIL CHECK 9 msg(s) for \"z\" on server c at Tue 12/7/1999 3:47 PM\r\n"
        "MAIL CHECK 2 msg(s) for \"y\" on server b at Tue 12/7/1999 3:46 PM\r\n");
    ASSERT_EQ(entries.deletedSpam.size(), 1u);
    EXPECT_EQ(entries.deletedSpam[0].size, "10");
    EXPECT_EQ(entries.mailChecks, (Checks{{"2", "y", "b", "12/7/1999", "3:46 PM"}}));
}

TEST(LogParser, OtherRecordsAndOddBytesAreSkipped) {
    const ActivityLogEntries entries = parse(
        "ERROR Operation timed out FOR joe ON pop.example.com AT Tue 12/7/1999 3:45 PM\r\n"
        "OPERATION CANCELED FOR joe ON pop.example.com AT Tue 12/7/1999 3:45 PM\r\n"
        "Automatic mode enabled at Tue 12/7/1999 3:45 PM\r\n"
        "\r\n"
        "   Subject: stray continuation\r\n" +
        std::string("\0\xff\x01 binary \x80\r\n", 14));
    EXPECT_TRUE(entries.mailChecks.empty());
    EXPECT_TRUE(entries.deletedSpam.empty());
    EXPECT_EQ(entries.mailboxes, Lines{"All mailboxes"});
}

class ReadInLogFile : public ::testing::Test {
protected:
    ReadInLogFile() { fake.clock.formatSettings().shortDateFormat = "M/d/yyyy"; }

    bool read(ActivityLogEntries& entries, const LogReadProgress& progress = {}) {
        return readInLogFile(path, entries, fake.dialogs, fake.clock, progress);
    }

    testing::FakePlatform fake;
    std::string path = fake.folder.file("logfile.txt");
};

TEST_F(ReadInLogFile, ReadsBackWhatTheWritersWrote) {
    ActivityLog log(fake.platform, [this] { return path; });
    log.logAutomaticMode(true);
    log.logMailCheck(2, "joe smith", "pop.example.com");
    log.logError("Operation timed out", "joe smith", "pop.example.com");
    fake.clock.set(encodeDateTime({2027, 1, 4, 9, 5, 0, 0}));
    log.OpenLogFile();
    log.logDeletedSpam({"Pills", "Sales@Pharma.Example", "2048", "1/3/2027"}, "pop.example.com", "joe smith");
    log.logDeletedSpam({"Loans", "no-address", "17", "1/2/2027"}, "pop.example.com", "joe smith");
    log.CloseLogFile();
    log.logCancel("joe smith", "pop.example.com");
    log.logMailCheck(0, "Ann", "mail.other.org");

    ActivityLogEntries entries;
    entries.mailChecks.push_back({"stale", "", "", "", ""});  // a previous reading is replaced
    ASSERT_TRUE(read(entries));
    EXPECT_EQ(entries.mailChecks, (Checks{{"2", "joe smith", "pop.example.com", "12/10/2026", "4:48 PM"},
                                          {"0", "Ann", "mail.other.org", "1/4/2027", "9:05 AM"}}));
    EXPECT_EQ(entries.deletedSpam,
              (Deletions{{"joe smith", "pop.example.com", "1/4/2027", "9:05 AM", "2048", "sales@pharma.example",
                          "pharma.example"},
                         {"joe smith", "pop.example.com", "1/4/2027", "9:05 AM", "17", "no-address", ""}}));
    EXPECT_EQ(entries.mailboxes, (Lines{"All mailboxes", "joe smith", "Ann"}));
    EXPECT_EQ(entries.selectedMailbox, 0);
    EXPECT_TRUE(fake.dialogs.shown.empty());
}

TEST_F(ReadInLogFile, ALogOfOnlyErrorsAndModeSwitchesGivesEmptyLists) {
    ActivityLog log(fake.platform, [this] { return path; });
    log.logError("Operation timed out", "joe", "pop.example.com");
    log.logAutomaticMode(false);
    ActivityLogEntries entries;
    ASSERT_TRUE(read(entries));
    EXPECT_TRUE(entries.mailChecks.empty());
    EXPECT_TRUE(entries.deletedSpam.empty());
    EXPECT_EQ(entries.mailboxes, Lines{"All mailboxes"});
}

TEST_F(ReadInLogFile, ALineTooShortForATimeTakesTheCurrentLongTime) {
    writeFileAtomically(path, "DELETE SPAM\r\n   Server:  s Mailbox: joe\r\n");
    ActivityLogEntries entries;
    ASSERT_TRUE(read(entries));
    EXPECT_EQ(entries.deletedSpam, (Deletions{{"joe", "s", "", "4:48:30 PM", "", "", ""}}));
}

TEST_F(ReadInLogFile, ProgressFollowsTheLinesAndEndsHidden) {
    const std::string text =
        "Automatic mode enabled at Tue 12/7/1999 3:45 PM\r\n"
        "DELETE SPAM on Tue 12/7/1999 3:45 PM\r\n"
        "   Server:  s Mailbox: joe\r\n"
        "   Subject: x\r\n"
        "   Sender:  a@b\r\n"
        "   Size:    1  Date: 12/6/1999\r\n" +
        std::string(200, 'x') +
        "\r\n"
        "MAIL CHECK 1 msg(s) for \"joe\" on server s at Tue 12/7/1999 3:45 PM\r\n";
    writeFileAtomically(path, text);
    Lines calls;
    const LogReadProgress progress{
        [&](std::uint64_t max) { calls.push_back("show " + std::to_string(max)); },
        [&](std::uint64_t at) { calls.push_back(std::to_string(at)); },
        [&] { calls.push_back("hide"); },
        [&] { calls.push_back("tick"); },
    };
    ActivityLogEntries entries;
    ASSERT_TRUE(read(entries, progress));
    // Lines 1, 2, then 7 and 8: the deleted-spam record counts its five lines;
    // the file is read in one piece.
    EXPECT_EQ(calls, (Lines{"show " + std::to_string(text.size()), "60", "120", "420", std::to_string(text.size()),
                            "tick", "hide"}));
}

TEST_F(ReadInLogFile, RecordsAcrossTheReadBufferAreWhole) {
    // Lines far longer than one read of the file, and a record cut by the
    // boundary between two reads.
    const std::string record = "MAIL CHECK 9 msg(s) for \"joe\" on server s at Tue 12/7/1999 3:45 PM\r\n";
    std::string text(3 << 20, 'x');
    text.resize((3u << 20) - 30);
    text += "\r\n" + record;
    text += std::string(5 << 20, 'y') + "\r" + record;
    writeFileAtomically(path, text);
    ActivityLogEntries entries;
    ASSERT_TRUE(read(entries));
    const MailCheckEntry expected{"9", "joe", "s", "12/7/1999", "3:45 PM"};
    EXPECT_EQ(entries.mailChecks, (Checks{expected, expected}));
}

TEST_F(ReadInLogFile, AMissingFileIsReported) {
    ActivityLogEntries entries;
    entries.deletedSpam.push_back({});
    EXPECT_FALSE(read(entries));
    ASSERT_EQ(fake.dialogs.shown.size(), 1u);
    EXPECT_EQ(fake.dialogs.shown[0].kind, MessageKind::Error);
    EXPECT_EQ(fake.dialogs.shown[0].text,
              "The activity log file does not exist!  Either you have cleared/deleted the activity log or you have "
              "not yet begun to use Quorvel.");
    EXPECT_TRUE(entries.deletedSpam.empty());
    EXPECT_EQ(entries.mailboxes, Lines{"All mailboxes"});
}

TEST_F(ReadInLogFile, AnUnreadableFileIsReported) {
    writeFileAtomically(path, "Automatic mode enabled at Tue 12/7/1999 3:45 PM\r\n", 0);
    const auto readAsSomeoneElse = [&] {
        // root reads anything: read as an unprivileged user in a child process.
        if (geteuid() == 0 && (chmod(fake.folder.path().c_str(), 0711) != 0 || setuid(65534) != 0)) _exit(2);
        ActivityLogEntries entries;
        const bool ok = read(entries);
        const bool told = fake.dialogs.shown.size() == 1 &&
                          fake.dialogs.shown[0].text == "Could not open Activity log file for reading!";
        _exit(!ok && told ? 0 : 1);
    };
    EXPECT_EXIT(readAsSomeoneElse(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace quorvel
