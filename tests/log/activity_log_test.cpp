#include "log/activity_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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

TEST_F(ActivityLogTest, FilesThatCannotBeWrittenGiveTheSystemsMessage) {
    struct Case {
        std::string path;
        const char* message;
    };
    const Case cases[] = {
        {fake.folder.file("no such folder/log.txt"), "File not found"},
        {fake.folder.path(), "File access denied"},
        {"/dev/full", "Disk full"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        path = c.path;
        try {
            log.logMailCheck(1, "joe", "pop.example.com");
            ADD_FAILURE() << "no error";
        } catch (const EInOutError& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
        EXPECT_FALSE(log.logOpen());
    }
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
