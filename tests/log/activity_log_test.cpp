#include "log/activity_log.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "platform/files.h"
#include "support/fake_platform.h"

namespace quorvel {
namespace {

// Thu 12/10/2026 4:48 PM with the short date widened to four-digit years, as
// the program does at start-up.
constexpr const char* kStamp = "Thu 12/10/2026 4:48 PM";

class ActivityLogTest : public ::testing::Test {
protected:
    ActivityLogTest() { fake.clock.formatSettings().shortDateFormat = "M/d/yyyy"; }

    std::string contents() const { return readFileBytes(path).value_or("<no file>"); }

    testing::FakePlatform fake;
    std::string path = fake.folder.file("logfile.txt");
    ActivityLog log{fake.platform, [this] { return path; }};
    DeletedSpamRow row{"Cheap pills", "spammer@bad.example", "2048", "12/9/2026"};
};

TEST_F(ActivityLogTest, TimestampFollowsTheLocale) {
    struct Case {
        DateParts when;
        const char* expected;
    };
    const Case cases[] = {
        {{1999, 12, 7, 15, 45, 0, 0}, "Tue 12/7/1999 3:45 PM"},
        {{2000, 1, 1, 0, 5, 0, 0}, "Sat 1/1/2000 12:05 AM"},
        {{2026, 12, 10, 16, 48, 30, 0}, kStamp},
    };
    for (const Case& c : cases) {
        fake.clock.set(encodeDateTime(c.when));
        EXPECT_EQ(log.timestamp(), c.expected);
    }
}

TEST_F(ActivityLogTest, EveryRecordHasItsExactText) {
    struct Case {
        const char* name;
        std::function<void()> write;
        std::string expected;
    };
    const Case cases[] = {
        {"mail check", [&] { log.logMailCheck(3, "joe", "pop.example.com"); },
         std::string("MAIL CHECK 3 msg(s) for \"joe\" on server pop.example.com at ") + kStamp + "\r\n"},
        {"empty mailbox", [&] { log.logMailCheck(0, "joe smith", "pop.example.com"); },
         std::string("MAIL CHECK 0 msg(s) for \"joe smith\" on server pop.example.com at ") + kStamp + "\r\n"},
        {"error", [&] { log.logError("Operation timed out", "joe", "pop.example.com"); },
         std::string("ERROR Operation timed out FOR joe ON pop.example.com AT ") + kStamp + "\r\n"},
        {"cancel", [&] { log.logCancel("joe", "pop.example.com"); },
         std::string("OPERATION CANCELED FOR joe ON pop.example.com AT ") + kStamp + "\r\n"},
        {"security chosen", [&] { log.logSecurityChosen("joe", "pop.example.com"); },
         std::string("SECURITY SET TO STARTTLS FOR joe ON pop.example.com AT ") + kStamp +
             " (the server offers it)\r\n"},
        {"automatic on", [&] { log.logAutomaticMode(true); },
         std::string("Automatic mode enabled at ") + kStamp + "\r\n"},
        {"automatic off", [&] { log.logAutomaticMode(false); },
         std::string("Automatic mode disabled at ") + kStamp + "\r\n"},
        {"deleted spam",
         [&] {
             log.OpenLogFile();
             log.logDeletedSpam(row, "pop.example.com", "joe");
             log.CloseLogFile();
         },
         std::string("DELETE SPAM on ") + kStamp +
             "\r\n"
             "   Server:  pop.example.com Mailbox: joe\r\n"
             "   Subject: Cheap pills\r\n"
             "   Sender:  spammer@bad.example\r\n"
             "   Size:    2048  Date: 12/9/2026\r\n"},
        {"deleted spam the learned judge took for spam",
         [&] {
             log.OpenLogFile();
             DeletedSpamRow learned = row;
             learned.reason = "Learned: 0.99 spam: Subject 'pills' 0.99";
             log.logDeletedSpam(learned, "pop.example.com", "joe");
             log.CloseLogFile();
         },
         std::string("DELETE SPAM on ") + kStamp +
             "\r\n"
             "   Server:  pop.example.com Mailbox: joe\r\n"
             "   Subject: Cheap pills\r\n"
             "   Sender:  spammer@bad.example\r\n"
             "   Size:    2048  Date: 12/9/2026\r\n"
             "   Reason:  Learned: 0.99 spam: Subject 'pills' 0.99\r\n"},
        {"learning", [&] { log.logLearning("learned.dat was damaged and set aside as learned.dat.bad"); },
         std::string("LEARNING learned.dat was damaged and set aside as learned.dat.bad AT ") + kStamp + "\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(path);
        c.write();
        EXPECT_EQ(contents(), c.expected);
        EXPECT_FALSE(log.logOpen());
    }
}

TEST_F(ActivityLogTest, BlankPathWritesNothing) {
    for (const char* blank : {"", "   ", "\r\n", "\b", " \r\n\b "}) {
        path = blank;
        log.logMailCheck(1, "joe", "pop.example.com");
        log.logAutomaticMode(true);
        log.OpenLogFile();
        EXPECT_FALSE(log.logOpen());
        log.logDeletedSpam(row, "pop.example.com", "joe");
        // A blank name would otherwise be a file in the working folder.
        if (*blank) {
            EXPECT_FALSE(std::filesystem::exists(blank));
        }
    }
}

TEST_F(ActivityLogTest, RecordsAreAppendedToWhatIsThere) {
    writeFileAtomically(path, "earlier line\r\n");
    log.logAutomaticMode(true);
    log.logAutomaticMode(false);
    EXPECT_EQ(contents(), std::string("earlier line\r\nAutomatic mode enabled at ") + kStamp +
                              "\r\nAutomatic mode disabled at " + kStamp + "\r\n");
}

TEST_F(ActivityLogTest, DeletionRunWritesItsRecordsBetweenOneOpenAndOneClose) {
    log.logDeletedSpam(row, "pop.example.com", "joe");  // not open: not written
    EXPECT_FALSE(fileExists(path));

    log.OpenLogFile();
    log.OpenLogFile();  // a second open keeps the same handle
    ASSERT_TRUE(log.logOpen());
    for (const char* subject : {"one", "two", "three"}) {
        row.subject = subject;
        log.logDeletedSpam(row, "pop.example.com", "joe");
        EXPECT_TRUE(log.logOpen());
    }
    log.CloseLogFile();
    EXPECT_FALSE(log.logOpen());
    log.CloseLogFile();  // closing twice is harmless

    const std::string text = contents();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 15);
    EXPECT_NE(text.find("   Subject: one\r\n"), std::string::npos);
    EXPECT_NE(text.find("   Subject: three\r\n"), std::string::npos);
}

TEST_F(ActivityLogTest, AnErrorDuringADeletionRunClosesTheLog) {
    log.OpenLogFile();
    log.logDeletedSpam(row, "pop.example.com", "joe");
    log.logError("Operation has been canceled", "joe", "pop.example.com");
    EXPECT_FALSE(log.logOpen());
    log.logDeletedSpam(row, "pop.example.com", "joe");  // after the error: not written
    const std::string text = contents();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 6);
    EXPECT_TRUE(text.ends_with(std::string("ERROR Operation has been canceled FOR joe ON pop.example.com AT ") +
                               kStamp + "\r\n"));
}

TEST_F(ActivityLogTest, LineBreaksInsideFieldsCannotAddLines) {
    log.OpenLogFile();
    row.subject = "hi\r\nMAIL CHECK 999 msg(s) for \"x\" on server y at Mon 1/1/2001 1:00 AM";
    row.sender = "a@b\nc";
    log.logDeletedSpam(row, "pop\r.example.com", "joe");
    log.CloseLogFile();
    const std::string text = contents();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 5);
    EXPECT_NE(text.find("   Sender:  a@b c\r\n"), std::string::npos);
}

// A subject may carry terminal escape sequences; `cat` of the log must not
// act on them. Every control character becomes a space; text stays.
TEST_F(ActivityLogTest, ControlCharactersInFieldsBecomeSpaces) {
    struct Case {
        std::string subject;
        std::string logged;
    };
    const Case cases[] = {
        {"\x1b]0;owned\x07 title", " ]0;owned  title"},
        {"\x1b[2Jclear", " [2Jclear"},
        {std::string("nul\0tab\tdel\x7f", 12), "nul tab del "},
        {"utf-8 C1 \xc2\x9b" "2J and \xc2\x85", "utf-8 C1  2J and  "},
        {"caf\xc3\xa9 \xe2\x82\xac 5 \xc2\xa0", "caf\xc3\xa9 \xe2\x82\xac 5 \xc2\xa0"},  // UTF-8 text stays
        {"8-bit CSI \x9b" "2J caf\xe9", "8-bit CSI  2J caf\xe9"},  // not UTF-8: octets 0x80-0x9F go
    };
    for (const Case& c : cases) {
        row.subject = c.subject;
        EXPECT_EQ(deletedSpamRecord(row, "s", "u", kStamp),
                  std::string("DELETE SPAM on ") + kStamp + "\r\n   Server:  s Mailbox: u\r\n   Subject: " + c.logged +
                      "\r\n   Sender:  spammer@bad.example\r\n   Size:    2048  Date: 12/9/2026\r\n");
    }
    EXPECT_EQ(errorRecord("-ERR \x1b[31mred", "joe\x07", "pop\x1b", kStamp),
              std::string("ERROR -ERR  [31mred FOR joe  ON pop  AT ") + kStamp + "\r\n");
}

// A link, a pipe or another user's file named like the log must not receive
// the records; a new log is the user's alone.
TEST_F(ActivityLogTest, OnlyARegularFileOfTheUserIsWritten) {
    const std::string elsewhere = fake.folder.file("elsewhere.txt");
    writeFileAtomically(elsewhere, "untouched");
    std::filesystem::create_symlink(elsewhere, fake.folder.file("link.txt"));
    ASSERT_EQ(mkfifo(fake.folder.file("pipe.txt").c_str(), 0600), 0);
    writeFileAtomically(fake.folder.file("theirs.txt"), "");
    const bool otherOwner = chown(fake.folder.file("theirs.txt").c_str(), 65534, 65534) == 0;
    std::vector<std::string> refused = {fake.folder.file("link.txt"), fake.folder.file("pipe.txt")};
    if (otherOwner) refused.push_back(fake.folder.file("theirs.txt"));
    for (const std::string& name : refused) {
        SCOPED_TRACE(name);
        path = name;
        try {
            log.logMailCheck(1, "joe", "pop.example.com");
            ADD_FAILURE() << "no error";
        } catch (const EInOutError& e) {
            EXPECT_STREQ(e.what(), "File access denied");
        }
        EXPECT_FALSE(log.logOpen());
    }
    EXPECT_EQ(readFileBytes(elsewhere), "untouched");
    EXPECT_EQ(readFileBytes(fake.folder.file("theirs.txt")), "");

    const mode_t old = umask(0);
    path = fake.folder.file("fresh.txt");
    log.logMailCheck(1, "joe", "pop.example.com");
    umask(old);
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(ActivityLogTest, FilesThatCannotBeWrittenGiveTheSystemsMessage) {
    struct Case {
        std::string path;
        const char* message;
    };
    const Case cases[] = {
        {fake.folder.file("no such folder/log.txt"), "File not found"},
        {fake.folder.path(), "File access denied"},
        {"/dev/full", "File access denied"},  // a device is no log file
        {fake.folder.file("small.txt"), "Disk full"},  // under a file size limit, below
    };
    // A file that may not grow past 10 octets fails like a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        path = c.path;
        rlimit small = old;
        small.rlim_cur = 10;
        setrlimit(RLIMIT_FSIZE, &small);
        try {
            log.logMailCheck(1, "joe", "pop.example.com");
            ADD_FAILURE() << "no error";
        } catch (const EInOutError& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
        setrlimit(RLIMIT_FSIZE, &old);
        EXPECT_FALSE(log.logOpen());
    }
    std::signal(SIGXFSZ, SIG_DFL);
}

TEST_F(ActivityLogTest, ViewOpensTheFileOrSaysWhatFailed) {
    struct Case {
        bool exists, openerWorks;
        bool opened;
        std::string message;
    } cases[] = {
        {true, true, true, ""},
        {true, false, true,
         "Unable to open log file.  The desktop could not start a program to show " + path +
             "; open it with a text editor."},
        {false, true, false,
         "Unable to open log file.  The file " + path + " does not exist yet: nothing has been logged to it."},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(path);
        if (c.exists) log.logMailCheck(1, "joe", "pop.example.com");
        fake.shell.opened.clear();
        fake.dialogs.shown.clear();
        fake.shell.result = c.openerWorks;
        log.viewLogFile();
        EXPECT_EQ(fake.shell.opened, c.opened ? std::vector<std::string>{path} : std::vector<std::string>{})
            << c.message;
        if (c.message.empty()) {
            EXPECT_TRUE(fake.dialogs.shown.empty());
            continue;
        }
        ASSERT_EQ(fake.dialogs.shown.size(), 1u) << c.message;
        EXPECT_EQ(fake.dialogs.shown[0].kind, MessageKind::Error);
        EXPECT_EQ(fake.dialogs.shown[0].text, c.message);
    }
}

TEST_F(ActivityLogTest, ClearDeletesTheFileOnlyOnYes) {
    const char* question =
        "If you answer Yes, you will lose any statistics related to this log file. Really clear out log file?";
    log.logAutomaticMode(true);

    fake.dialogs.answers = {ModalResult::No};
    log.clearLogFile();
    EXPECT_TRUE(fileExists(path));

    fake.dialogs.answers = {ModalResult::Yes};
    log.clearLogFile();
    EXPECT_FALSE(fileExists(path));

    fake.dialogs.answers = {ModalResult::Yes};
    log.clearLogFile();  // nothing to delete
    EXPECT_FALSE(fileExists(path));

    ASSERT_EQ(fake.dialogs.shown.size(), 3u);
    for (const auto& shown : fake.dialogs.shown) {
        EXPECT_EQ(shown.kind, MessageKind::Confirmation);
        EXPECT_EQ(shown.text, question);
    }
}

TEST_F(ActivityLogTest, ClearDuringAnOpenLogStartsAFreshFile) {
    log.OpenLogFile();
    log.logDeletedSpam(row, "pop.example.com", "joe");
    fake.dialogs.answers = {ModalResult::Yes};
    log.clearLogFile();
    EXPECT_FALSE(fileExists(path));
    log.logAutomaticMode(true);
    EXPECT_EQ(contents(), std::string("Automatic mode enabled at ") + kStamp + "\r\n");
}

}  // namespace
}  // namespace quorvel
