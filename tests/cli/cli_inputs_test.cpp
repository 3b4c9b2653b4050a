// quorvel-check's command line, its output of outside text, and what it
// does with profiles and saved messages it cannot use.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <sstream>

#include <gtest/gtest.h>

#include "cli/arguments.h"
#include "cli/check_tool.h"
#include "cli/output.h"
#include "config/password_cipher.h"
#include "config/rule_table.h"
#include "config/settings_store.h"
#include "config/spam_rules.h"
#include "mail/pop3_client.h"
#include "platform/files.h"
#include "support/dovecot_server.h"
#include "support/every_domain_exists.h"
#include "support/fake_platform.h"

namespace quorvel {
namespace {

using cli::Arguments;
using cli::OutputFormat;

struct ParseCase {
    std::vector<std::string> words;
    Arguments::Command command;
    int mailbox;
    bool all, del;
    OutputFormat format;
    std::string file;
};

TEST(CliArguments, ParsesEachCommandAndOption) {
    using C = Arguments::Command;
    const ParseCase cases[] = {
        {{}, C::Check, 0, false, false, OutputFormat::Text, ""},
        {{"--mailbox", "3"}, C::Check, 3, false, false, OutputFormat::Text, ""},
        {{"--mailbox=12", "--delete"}, C::Check, 12, false, true, OutputFormat::Text, ""},
        {{"--all", "--format", "json"}, C::Check, 0, true, false, OutputFormat::Json, ""},
        {{"--format=text", "--all", "--delete"}, C::Check, 0, true, true, OutputFormat::Text, ""},
        {{"why", "a.eml"}, C::Why, 0, false, false, OutputFormat::Text, "a.eml"},
        {{"why", "--format", "json", "--", "--odd.eml"}, C::Why, 0, false, false, OutputFormat::Json, "--odd.eml"},
        {{"decode", "b.eml"}, C::Decode, 0, false, false, OutputFormat::Text, "b.eml"},
        {{"--all", "--help"}, C::Help, 0, false, false, OutputFormat::Text, ""},
        {{"-h"}, C::Help, 0, false, false, OutputFormat::Text, ""},
        {{"why", "x", "--version"}, C::Version, 0, false, false, OutputFormat::Text, ""},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.words));
        const Arguments args = cli::parseArguments(c.words);
        EXPECT_EQ(args.command, c.command);
        EXPECT_EQ(args.mailbox, c.mailbox);
        EXPECT_EQ(args.all, c.all);
        EXPECT_EQ(args.del, c.del);
        EXPECT_EQ(args.format, c.format);
        EXPECT_EQ(args.file, c.file);
    }
}

TEST(CliArguments, RefusesWhatItCannotUnderstand) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--bogus"}, "unknown option \"--bogus\""},
        {{"--mailbox", "13"}, "--mailbox takes a number from 1 to 12, not \"13\""},
        {{"--mailbox", "0"}, "--mailbox takes a number from 1 to 12, not \"0\""},
        {{"--mailbox", "2x"}, "--mailbox takes a number from 1 to 12, not \"2x\""},
        {{"--mailbox"}, "--mailbox needs a value"},
        {{"--mailbox="}, "--mailbox needs a value"},
        {{"--mailbox", "1", "--all"}, "--mailbox and --all cannot be used together"},
        {{"--format", "xml"}, "unknown format \"xml\" (use text or json)"},
        {{"--all=yes"}, "unknown option \"--all=yes\""},
        {{"frobnicate"}, "unknown command \"frobnicate\""},
        {{"why"}, "a saved message (FILE.eml) is needed"},
        {{"why", "a.eml", "b.eml"}, "only one file can be given"},
        {{"decode", "--delete", "a.eml"}, "unknown option \"--delete\""},
    };
    for (const auto& [words, message] : cases) {
        SCOPED_TRACE(::testing::PrintToString(words));
        try {
            cli::parseArguments(words);
            ADD_FAILURE() << "accepted";
        } catch (const cli::UsageError& error) {
            EXPECT_EQ(error.message, message);
        }
    }
}

TEST(CliOutput, OutsideTextCannotSplitLinesOrDriveTheTerminal) {
    const std::tuple<std::string, std::string, std::string> cases[] = {
        // bytes, one plain line, JSON string
        {"Hello", "Hello", "\"Hello\""},
        {"a\tb\r\nc", "a b  c", "\"a\\tb\\r\\nc\""},
        {"\x1b[2J\x1b]0;owned\x07", "?[2J?]0;owned?", "\"\\u001b[2J\\u001b]0;owned\\u0007\""},
        {"quote \" and \\", "quote \" and \\", "\"quote \\\" and \\\\\""},
        {"caf\xc3\xa9", "caf\xc3\xa9", "\"caf\xc3\xa9\""},
        // Not UTF-8: read as Windows-1252, as the window shows it.
        {"caf\xe9 \x80", "caf\xc3\xa9 \xe2\x82\xac", "\"caf\xc3\xa9 \xe2\x82\xac\""},
        // C1 controls (a one-byte CSI among them) as UTF-8 and as a byte.
        {"x\xc2\x9b" "1m", "x?1m", "\"x\\u009b1m\""},
        {"x\x81y\x7f", "x?y?", "\"x\\u0081y\\u007f\""},
        // Format characters that reorder or break the shown line.
        {"a\xe2\x80\xaa" "b\xe2\x80\xae" "c", "a?b?c", "\"a\\u202ab\\u202ec\""},
        {"\xe2\x81\xa6" "x\xe2\x81\xa9", "?x?", "\"\\u2066x\\u2069\""},
        {"1\xe2\x80\xa8" "2\xe2\x80\xa9" "3", "1?2?3", "\"1\\u20282\\u20293\""},
        // Their neighbours are ordinary text: kept.
        {"\xe2\x80\xa7\xe2\x81\xa5", "\xe2\x80\xa7\xe2\x81\xa5", "\"\xe2\x80\xa7\xe2\x81\xa5\""},
        // Broken sequences: overlong, surrogate, cut short.
        {"\xc0\xaf", "\xc3\x80\xc2\xaf", "\"\xc3\x80\xc2\xaf\""},
        {"\xed\xa0\x80", "\xc3\xad\xc2\xa0\xe2\x82\xac", "\"\xc3\xad\xc2\xa0\xe2\x82\xac\""},
        {"ab\xe2\x82", "ab\xc3\xa2\xe2\x80\x9a", "\"ab\xc3\xa2\xe2\x80\x9a\""},
    };
    for (const auto& [bytes, line, json] : cases) {
        SCOPED_TRACE(bytes);
        EXPECT_EQ(cli::plainLine(bytes), line);
        EXPECT_EQ(cli::jsonString(bytes), json);
    }
}

// The profile is the test's temporary one; the tool reads it as the window would.
class CliProfile : public ::testing::Test {
protected:
    testing::FakePlatform fake;
    testing::EveryDomainExists resolver;
    std::ostringstream out, err;

    std::string settingsFile() const { return joinPath(fake.platform.settingsFolder, SettingsStore::kFileName); }
    std::string programFile(const std::string& name) const { return joinPath(fake.platform.programFolder, name); }

    void writeRules() {
        SpamRules rules(fake.platform.programFolder);
        rules.SetGridHeadings();
        RuleTable& subjects = rules.gridSubject;
        const char* const cells[] = {"", "Contains", "win", "No", "Yes", "0"};
        for (int col = 0; col < 6; ++col) subjects.setCell(col, 1, cells[col]);
        rules.options.Valid = false;
        rules.Savesettings();
    }

    void writeAccount(const std::string& server, const std::string& password = "secret") {
        SettingsStore store(fake.platform.settingsFolder);
        TPasswordCipher cipher;
        cipher.Key = "qiro";
        store.writeString("Server", "Version161", "161");
        store.writeString("Server", "Server1", server);
        store.writeInteger("Server", "Security1", static_cast<int>(TmsSecurity::None));
        store.writeString("Server", "Mailbox1", "joe");
        store.writeString("Server", "Passwd1", cipher.encipher(password));
        store.writeString("General", "Logfile", fake.folder.file("log.txt"));
    }

    int runTool(std::vector<std::string> words) {
        out.str("");
        err.str("");
        cli::CheckTool tool({fake.loop, fake.loop, fake.clock, fake.platform.programFolder,
                             fake.platform.settingsFolder},
                            {out, err, false, false});
        tool.setDomainResolver(&resolver);
        return tool.run(words);
    }

    std::map<std::string, std::string> snapshot() const {
        std::map<std::string, std::string> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(fake.folder.path()))
            if (entry.is_regular_file())
                files[entry.path().string()] = readFileBytes(entry.path().string()).value_or("?");
        return files;
    }

    // One line on stderr, naming the program.
    void expectOneErrorLine(const std::string& fragment) {
        const std::string text = err.str();
        EXPECT_EQ(text.rfind("quorvel-check: ", 0), 0u) << text;
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
        EXPECT_NE(text.find(fragment), std::string::npos) << text;
    }
};

TEST_F(CliProfile, ProfilesItCannotUseEndWithAClearMessageAndWriteNothing) {
    struct Case {
        const char* name;
        std::function<void()> prepare;
        std::string message;
    };
    const std::string setUp = "no mailbox is set up. Set one up in Quorvel: \"Settings and more\"";
    const std::string root = std::string("[") + SettingsStore::kKey;
    const Case cases[] = {
        {"no settings at all", [] {}, setUp},
        {"settings without mailboxes",
         [&] { SettingsStore(fake.platform.settingsFolder).writeString("General", "Minutes", "5"); }, setUp},
        {"a newer version",
         [&] {
             writeAccount("127.0.0.1:1");
             SettingsStore(fake.platform.settingsFolder).writeString("Server", "Version161", "170");
         },
         "was written by a newer version of Quorvel (170)"},
        {"a damaged version marker",
         [&] {
             writeAccount("127.0.0.1:1");
             SettingsStore(fake.platform.settingsFolder).writeString("Server", "Version161", "x\x1b[1m");
         },
         "is damaged: unknown version \"x?[1m\""},
        {"not a settings store",
         [&] { writeFileAtomically(settingsFile(), std::string("\x7f" "ELF\x02\x01\x01\0\0\0", 10)); },
         "holds no settings of this version of Quorvel"},
        {"a value of another type",
         [&] {
             writeFileAtomically(settingsFile(), root + "\\Server]\n\"Version161\"=\"161\"\n\"Server1\"=dword:1\n");
         },
         "cannot be read: Invalid data type for 'Server1'"},
        {"passwords of an older version",
         [&] {
             writeAccount("127.0.0.1:1");
             SettingsStore(fake.platform.settingsFolder).writeString("Server", "Version161", "");
         },
         "the stored passwords come from an older version of Quorvel"},
        {"a corrupt rule file",
         [&] {
             writeAccount("127.0.0.1:1");
             writeFileAtomically(programFile("subj.lst"), "this is not a rule table\r\n");
         },
         "subj.lst"},
        {"a mailbox without a user name",
         [&] {
             writeAccount("127.0.0.1:1");
             SettingsStore(fake.platform.settingsFolder).writeString("Server", "Mailbox1", " ");
         },
         "You need to enter your e-mail username in the settings."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(fake.platform.settingsFolder);
        std::filesystem::create_directories(fake.platform.settingsFolder);
        std::filesystem::remove(programFile("subj.lst"));
        writeRules();
        c.prepare();
        const auto before = snapshot();
        EXPECT_EQ(runTool({"--delete"}), cli::kProfile);
        expectOneErrorLine(c.message);
        EXPECT_EQ(out.str(), "");
        EXPECT_EQ(snapshot(), before);
    }
}

TEST_F(CliProfile, MailboxesThatAreNotSetUpAreNamed) {
    writeRules();
    writeAccount("127.0.0.1:1");
    SettingsStore(fake.platform.settingsFolder).writeString("Server", "Which", "4");
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--mailbox", "2"}, "mailbox 2 is not set up."},
        {{}, "mailbox 4 is not set up."},  // the window's current mailbox
    };
    for (const auto& [words, message] : cases) {
        EXPECT_EQ(runTool(words), cli::kProfile);
        expectOneErrorLine(message);
    }
}

TEST_F(CliProfile, ASecondCheckOnTheSameProfileEndsAtOnce) {
    writeRules();
    writeAccount("127.0.0.1:1");
    const int fd = ::open(fake.platform.settingsFolder.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(runTool({}), cli::kMailboxInUse);
    expectOneErrorLine("another quorvel-check is checking the mailboxes of this profile");
    ::close(fd);
    // Free again: the next check goes as far as the (closed) server.
    EXPECT_EQ(runTool({}), cli::kMailServer);
    expectOneErrorLine("mailbox 1 (joe on 127.0.0.1:1): ");
}

TEST_F(CliProfile, SavedMessagesAreJudgedAndDecoded) {
    writeRules();
    const std::string spam = "From: Win <win@prizes.test>\r\nSubject: You WIN a million\r\n"
                             "Date: Thu, 10 Dec 2026 09:15:00 +0000\r\n\r\nHello.\r\n";
    const std::string clean = "From \"mbox\" line\nFrom: ann@friends.test\nSubject: Lunch\n  on Friday\n\nHi\n";
    const std::string multipart =
        "From: ann@friends.test\r\nSubject: Files\r\nMIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n--b1\r\nContent-Type: text/plain\r\n\r\n"
        "The body line.\r\n--b1\r\nContent-Type: application/octet-stream; name=\"a.bin\"\r\n"
        "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment; filename=\"a.bin\"\r\n\r\n"
        "AAECAw==\r\n--b1--\r\n";
    struct Case {
        const char* name;
        std::vector<std::string> words;
        std::optional<std::string> contents;  // nothing: no such file
        int code;
        std::string inOut, inErr;
    };
    const Case cases[] = {
        {"spam", {"why"}, spam, cli::kMarkedFound, "Delete   :  Subject Contains \"win\"", ""},
        {"clean", {"why"}, clean, cli::kNothingMarked,
         "Message was neither on the exception list nor on the list of matching criteria", ""},
        {"json", {"why", "--format", "json"}, spam, cli::kMarkedFound,
         "\"markName\":\"delete\",\"marked\":true,\"sender\":\"win@prizes.test\"", ""},
        {"empty", {"why"}, "", cli::kInputFile, "", "not a mail message"},
        {"binary", {"why"}, std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), cli::kInputFile, "",
         "not a mail message"},
        {"text", {"decode"}, "Dear diary,\nnothing today.\n", cli::kInputFile, "", "not a mail message"},
        {"missing", {"why"}, std::nullopt, cli::kInputFile, "", "No such file or directory"},
        {"decoded", {"decode"}, multipart, cli::kNothingMarked, "The body line.\n[attachment] a.bin, 4 bytes, base64",
         ""},
        {"decoded json", {"decode", "--format=json"}, multipart, cli::kNothingMarked,
         "\"attachments\":[{\"name\":\"a.bin\",\"encoding\":\"base64\",\"size\":4}],\"error\":null}", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = fake.folder.file(std::string(c.name) + ".eml");
        if (c.contents) writeFileAtomically(file, *c.contents);
        std::vector<std::string> words = c.words;
        words.push_back(file);
        const auto before = snapshot();
        EXPECT_EQ(runTool(words), c.code) << err.str();
        EXPECT_NE(out.str().find(c.inOut), std::string::npos) << out.str();
        if (c.inErr.empty())
            EXPECT_EQ(err.str(), "");
        else
            expectOneErrorLine(c.inErr);
        EXPECT_EQ(snapshot(), before);
    }
}

TEST_F(CliProfile, HelpAndVersionNeedNoProfile) {
    EXPECT_EQ(runTool({"--help"}), cli::kNothingMarked);
    EXPECT_EQ(out.str(), cli::usageText());
    EXPECT_NE(out.str().find("6  the mailbox is in use (by a delivery, another mail program, or Quorvel"),
              std::string::npos);
    EXPECT_EQ(runTool({"--version"}), cli::kNothingMarked);
    EXPECT_EQ(out.str().rfind("quorvel-check ", 0), 0u);
    EXPECT_EQ(runTool({"--mailbox", "99"}), cli::kUsage);
    EXPECT_EQ(err.str(), "quorvel-check: --mailbox takes a number from 1 to 12, not \"99\" (see quorvel-check --help)\n");
}

TEST_F(CliProfile, ServerFailuresEndWithTheirStatus) {
    testing::DovecotServer dovecot;
    writeRules();
    const std::string server = "127.0.0.1:" + std::to_string(dovecot.port());
    writeAccount(server, "wrong");
    EXPECT_EQ(runTool({}), cli::kMailServer);
    expectOneErrorLine("mailbox 1 (joe on " + server + "): The server 127.0.0.1 refused the user name or password. It "
                       "said: -ERR [AUTH]");
    // A refused password is the server's answer, not a network fault: no error record.
    EXPECT_FALSE(fileExists(fake.folder.file("log.txt")));
}

TEST_F(CliProfile, AMailboxLockedByAnotherSessionIsReportedNotWaitedFor) {
    testing::DovecotServer::Options locking;
    locking.lockSessions = true;
    testing::DovecotServer dovecot(locking);
    dovecot.addMessages({testing::shortMessage("ann@friends.test", "Hello")});
    writeRules();
    const std::string server = "127.0.0.1:" + std::to_string(dovecot.port());
    writeAccount(server);
    // The window's session, kept open after its listing.
    TmsRemotePOP window(fake.loop, fake.loop);
    window.Server = server;
    window.Security = TmsSecurity::None;
    window.UserName = "joe";
    window.Password = "secret";
    window.KeepConnected = true;
    window.UpdateInfo();
    ASSERT_TRUE(window.IsConnected());

    EXPECT_EQ(runTool({"--delete"}), cli::kMailboxInUse);
    expectOneErrorLine("mailbox 1 (joe on " + server +
                       "): The mailbox on 127.0.0.1 is in use (by a delivery, another mail program, or Quorvel); try "
                       "again when it is free. The server said: -ERR [IN-USE]");
    // The server's words once, and no refused password.
    EXPECT_EQ(err.str().find("[IN-USE]"), err.str().rfind("[IN-USE]"));
    EXPECT_EQ(err.str().find("refused"), std::string::npos);
    window.Close();
    EXPECT_EQ(runTool({}), cli::kNothingMarked) << err.str();
}

}  // namespace
}  // namespace quorvel
