// quorvel-check's logic against a real Dovecot on loopback, side by side
// with the main window's logic on the same mailbox and the same profile.
#include "cli/check_tool.h"

#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

#include "app/check_steps.h"
#include "app/program.h"
#include "config/known_list.h"
#include "config/password_cipher.h"
#include "config/rule_table.h"
#include "config/spam_rules.h"
#include "log/log_reader.h"
#include "support/scripted_server.h"
#include "mail/listing_cache_file.h"
#include "mail/pop3_client.h"
#include "mail/sasl.h"
#include "platform/files.h"
#include "support/dovecot_server.h"
#include "support/every_domain_exists.h"
#include "support/fake_oauth_service.h"
#include "support/fake_platform.h"
#include "support/memory_secret_store.h"

namespace quorvel {
namespace {

using testing::EveryDomainExists;
using testing::shortMessage;

void addRules(RuleTable& table, std::initializer_list<std::initializer_list<const char*>> rules) {
    table.setRowCount(static_cast<int>(rules.size()) + 1);
    int row = 1;
    for (const auto& rule : rules) {
        int col = 0;
        for (const char* cell : rule) table.setCell(col++, row, cell);
        ++row;
    }
}

// Every rule's hit counter, by table and row.
std::map<std::string, std::string> hitCounters(const std::string& programFolder) {
    SpamRules rules(programFolder);
    rules.readSettings();
    std::map<std::string, std::string> hits;
    const std::pair<const char*, RuleTable*> tables[] = {{"subject", &rules.gridSubject},
                                                         {"header", &rules.gridHeader},
                                                         {"sender", &rules.gridFrom},
                                                         {"exception", &rules.gridExcept}};
    for (const auto& [name, table] : tables)
        for (int row = 1; row < table->rowCount(); ++row)
            hits[std::string(name) + " " + std::to_string(row)] = table->cell(hitsColumn(table->kind()), row);
    return hits;
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator)) parts.push_back(part);
    return parts;
}

class CliCheck : public ::testing::Test {
protected:
    testing::DovecotServer dovecot;
    testing::FakePlatform fake;
    EveryDomainExists resolver;
    std::ostringstream out, err;

    std::string server() const { return "127.0.0.1:" + std::to_string(dovecot.port()); }
    std::string logPath() const { return fake.folder.file("log.txt"); }

    // The mailbox: one message for each kind of mark.
    std::vector<std::string> mailbox() const {
        return {shortMessage("ann@friends.test", "Lunch on Friday?"),
                shortMessage("win@prizes.test", "You WIN a million"),
                shortMessage("shop@offers.test", "A special offer"),
                shortMessage("spam@junk.test", "Hello again"),
                shortMessage("pal@friends.test", "You win my old bike"),
                shortMessage("bob@elsewhere.test", "Minutes of the meeting")};
    }

    void SetUp() override {
        dovecot.addMessages(mailbox());
        SettingsStore store(fake.platform.settingsFolder);
        TPasswordCipher cipher;
        cipher.Key = "qiro";
        store.writeString("Server", "Version161", "161");
        store.writeString("Server", "Server1", server());
        store.writeInteger("Server", "Security1", static_cast<int>(TmsSecurity::None));
        store.writeString("Server", "Mailbox1", "joe");
        store.writeString("Server", "Passwd1", cipher.encipher("secret"));
        store.writeString("General", "Logfile", logPath());
        store.writeBool("General", "Launch", false);

        SpamRules rules(fake.platform.programFolder);
        rules.SetGridHeadings();
        addRules(rules.gridSubject, {{"", "Contains", "win", "No", "Yes", "0"},
                                     {"", "Contains", "offer", "No", "No", "0"}});
        addRules(rules.gridHeader, {{"", "Contains", "X-Never-There", "No", "Yes", "0"}});
        addRules(rules.gridExcept, {{"Domain name", "Equals", "friends.test", "No", "0", "", "3"}});
        rules.options.Valid = false;
        rules.Savesettings();
        writeFileAtomically(joinPath(fake.platform.programFolder, kKnownListFileName), "spam@junk.test\r\n");
    }

    int runTool(std::vector<std::string> words, SecretStore* keyring = nullptr) {
        out.str("");
        err.str("");
        cli::CheckTool tool({fake.loop, fake.loop, fake.clock, fake.platform.programFolder,
                             fake.platform.settingsFolder, keyring},
                            {out, err, false, false});
        tool.setDomainResolver(&resolver);
        return tool.run(words);
    }

    // The text lines of the listing, without the mailbox summary.
    std::vector<std::vector<std::string>> listedRows() const {
        std::vector<std::vector<std::string>> rows;
        for (const std::string& line : split(out.str(), '\n'))
            if (!line.empty() && line[0] != '#') rows.push_back(split(line, '\t'));
        return rows;
    }

    // The messages the server holds, as a second session lists them.
    std::vector<std::string> subjectsOnServer() {
        TmsRemotePOP pop(fake.loop, fake.loop);
        pop.Server = server();
        pop.Security = TmsSecurity::None;
        pop.UserName = "joe";
        pop.Password = "secret";
        pop.UpdateInfo();
        std::vector<std::string> subjects;
        for (int i = 0; i < pop.RemoteInfo().Count(); ++i)
            for (const std::string& line : pop.RemoteInfo().Items(i).Headers)
                if (line.rfind("Subject: ", 0) == 0) subjects.push_back(line.substr(9));
        return subjects;
    }

    ActivityLogEntries logEntries() {
        ActivityLogEntries entries;
        EXPECT_TRUE(readInLogFile(logPath(), entries, fake.dialogs, fake.clock));
        return entries;
    }

    // The window's logic, started on the same profile.
    std::unique_ptr<Program> startWindow() {
        auto program = std::make_unique<Program>(fake.platform);
        program->start();
        program->frmMain()->setDomainResolver(resolver);
        return program;
    }
};

TEST_F(CliCheck, ListingMarksAndHitCountersEqualTheWindows) {
    auto program = startWindow();
    TfrmMain& window = *program->frmMain();
    window.btListClick();
    window.FormCloseQuery();  // ends the session the window keeps open
    const std::vector<MessageRow> windowRows = window.ListView1.rows;
    const auto hitsAfterWindow = hitCounters(fake.platform.programFolder);

    EXPECT_EQ(runTool({}), cli::kMarkedFound) << err.str();
    EXPECT_EQ(err.str(), "");
    const auto rows = listedRows();
    ASSERT_EQ(rows.size(), windowRows.size());
    std::vector<int> marks;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(windowRows[i].caption);
        ASSERT_EQ(rows[i].size(), 7u);
        EXPECT_EQ(rows[i][0], "1:" + std::to_string(i + 1));
        EXPECT_EQ(rows[i][1], cli::markName(windowRows[i].stateIndex));
        EXPECT_EQ(rows[i][2], windowRows[i].size);
        EXPECT_EQ(rows[i][3], windowRows[i].date);
        EXPECT_EQ(rows[i][4], windowRows[i].sender);
        EXPECT_EQ(rows[i][5], windowRows[i].caption);
        marks.push_back(windowRows[i].stateIndex);
    }
    // Every kind of mark took part in the comparison.
    EXPECT_EQ(marks, (std::vector<int>{3, Mark::Delete, Mark::Question, Mark::KnownSpammer, 3, Mark::None}));
    EXPECT_EQ(rows[1][6], "Delete   :  Subject Contains \"win\"");
    EXPECT_EQ(rows[5][6], "Message was neither on the exception list nor on the list of matching criteria");

    // The check raised every counter by as much as the window's check did.
    const auto hitsAfterBoth = hitCounters(fake.platform.programFolder);
    ASSERT_EQ(hitsAfterBoth.size(), hitsAfterWindow.size());
    for (const auto& [rule, hits] : hitsAfterWindow) {
        SCOPED_TRACE(rule);
        EXPECT_EQ(parseStoredInteger(hitsAfterBoth.at(rule), 0), 2 * parseStoredInteger(hits, 0));
    }
    // Once per message it matched: the two from friends.test.
    EXPECT_EQ(hitsAfterWindow.at("exception 1"), "2");
    EXPECT_EQ(hitsAfterWindow.at("subject 2"), "1");

    // Both mail-check records read back alike.
    const ActivityLogEntries entries = logEntries();
    ASSERT_EQ(entries.mailChecks.size(), 2u);
    EXPECT_EQ(entries.mailChecks[0], entries.mailChecks[1]);
    EXPECT_EQ(entries.mailChecks[1].count, "6");
    // Nothing was deleted without --delete.
    EXPECT_EQ(subjectsOnServer().size(), mailbox().size());
}

TEST_F(CliCheck, CachedChecksPrintWhatFullListingsPrint) {
    const std::string cacheFile = TmsListingCacheFile::pathFor(fake.platform.programFolder, 1);
    const auto check = [&](bool cached) {
        SettingsStore(fake.platform.settingsFolder).writeBool("General", "RememberListed", cached);
        EXPECT_EQ(runTool({}), cli::kMarkedFound) << err.str();
        EXPECT_EQ(err.str(), "");
        return listedRows();
    };
    const auto full = check(false);
    EXPECT_FALSE(fileExists(cacheFile));
    EXPECT_EQ(check(true), full);  // fills the cache
    EXPECT_TRUE(fileExists(cacheFile));
    EXPECT_EQ(check(true), full);  // from the cache

    dovecot.addMessages({shortMessage("eve@prizes.test", "Claim your win")});
    const auto cachedAfter = check(true);
    EXPECT_EQ(cachedAfter, check(false));
    ASSERT_EQ(cachedAfter.size(), full.size() + 1);
    EXPECT_EQ(cachedAfter.back()[5], "Claim your win");
    EXPECT_EQ(cachedAfter.back()[1], cli::markName(Mark::Delete));
}

TEST_F(CliCheck, DeleteRemovesExactlyTheMarkedMessagesAndLogsLikeTheWindow) {
    {
        auto program = startWindow();
        program->frmMain()->btListClick();
        program->frmMain()->btDeleteClick();
        program->frmMain()->FormCloseQuery();
    }
    const std::vector<std::string> kept = {"Lunch on Friday?", "A special offer", "You win my old bike",
                                           "Minutes of the meeting"};
    ASSERT_EQ(subjectsOnServer(), kept);
    // The same messages again: the check must delete what the window deleted.
    dovecot.addMessages(mailbox());

    EXPECT_EQ(runTool({"--delete"}), cli::kMarkedFound) << err.str();
    std::vector<std::string> remaining = kept;
    remaining.insert(remaining.end(), kept.begin(), kept.end());
    EXPECT_EQ(subjectsOnServer(), remaining);

    const auto rows = listedRows();
    ASSERT_EQ(rows.size(), 10u);
    int deleted = 0;
    for (const auto& row : rows) {
        const bool gone = row[1] == "deleted";
        deleted += gone;
        EXPECT_EQ(gone, row[5] == "You WIN a million" || row[4] == "spam@junk.test") << row[5];
    }
    EXPECT_EQ(deleted, 2);

    const ActivityLogEntries entries = logEntries();
    ASSERT_EQ(entries.deletedSpam.size(), 4u);
    EXPECT_EQ(entries.deletedSpam[0], entries.deletedSpam[2]);
    EXPECT_EQ(entries.deletedSpam[1], entries.deletedSpam[3]);
    EXPECT_EQ(entries.deletedSpam[2].sender, "win@prizes.test");
    // The raw records too, line for line.
    const std::string log = readFileBytes(logPath()).value_or("");
    const auto first = log.find("DELETE SPAM");
    const auto check = log.find("MAIL CHECK", first);
    const auto second = log.find("DELETE SPAM", check);
    ASSERT_NE(second, std::string::npos);
    EXPECT_EQ(log.substr(second), log.substr(first, check - first));
    // The spam counter rose by the deleted messages of both runs.
    EXPECT_EQ(SettingsStore(fake.platform.settingsFolder).readString("General", "Count", ""), "4");
}

// A profile from before the security choice: quorvel-check takes the
// STARTTLS the server offers, as the window does, stores the choice for the
// mailbox and logs it once.
TEST_F(CliCheck, AnUnchosenSecurityIsSettledAsTheWindowSettlesIt) {
    SettingsStore store(fake.platform.settingsFolder);
    store.writeString("Server", "Server1", "localhost:" + std::to_string(dovecot.port()));
    store.writeString("Server", "Security1", "");
    // The tests' server has a CA of its own: its certificate is trusted by pin.
    store.writeString("Server", "Certificate1", dovecot.certificateFingerprint());
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run);
        EXPECT_EQ(runTool({}), cli::kMarkedFound) << err.str();
        EXPECT_EQ(listedRows().size(), mailbox().size());
        EXPECT_EQ(store.readInteger("Server", "Security1", -1), static_cast<int>(TmsSecurity::STARTTLS));
        const std::string log = readFileBytes(logPath()).value_or("");
        const auto note = log.find("SECURITY SET TO STARTTLS FOR joe ON localhost:");
        EXPECT_NE(note, std::string::npos) << log;
        EXPECT_EQ(log.find("SECURITY SET TO", note + 1), std::string::npos) << log;
    }
}

TEST_F(CliCheck, AMailboxWhosePasswordTheKeyringKeepsFailsInOneLineWithoutAKeyring) {
    // Mailbox 2's password was moved into the keyring; cron has no session bus.
    SettingsStore store(fake.platform.settingsFolder);
    store.writeString("Server", "Server2", server());
    store.writeInteger("Server", "Security2", static_cast<int>(TmsSecurity::None));
    store.writeString("Server", "Mailbox2", "joe");
    testing::MemorySecretStore keyring;
    keyring.items[{2, SecretKind::Password}] = {"label", "secret"};
    keyring.answer = SecretStatus::Unavailable;

    EXPECT_EQ(runTool({"--all"}, &keyring), cli::kProfile);
    EXPECT_EQ(err.str(),
              "quorvel-check: mailbox 2: its password is in the desktop keyring and no keyring answers (no session "
              "bus: run quorvel-check from a systemd user timer, not cron)\n");
    // Mailbox 1, whose password is still in the settings file, was checked.
    EXPECT_EQ(listedRows().size(), mailbox().size()) << out.str();

    // A locked keyring is not waited for: one line, the same status.
    keyring.answer = SecretStatus::Locked;
    EXPECT_EQ(runTool({"--all"}, &keyring), cli::kProfile);
    EXPECT_EQ(err.str(),
              "quorvel-check: mailbox 2: its password is in the desktop keyring, which is locked (quorvel-check "
              "does not wait for its unlock prompt: unlock it, or log in so that the login keyring opens)\n");

    // With the keyring there, both are checked.
    keyring.answer = SecretStatus::Ok;
    EXPECT_EQ(runTool({"--all"}, &keyring), cli::kMarkedFound) << err.str();
    EXPECT_EQ(listedRows().size(), 2 * mailbox().size()) << out.str();
}

// A server that accepts the DELE but refuses the QUIT that would commit it:
// nothing was deleted, and the output, the log and the counter say so.
TEST(CliCheckCommit, RefusedQuitReportsNothingDeleted) {
    testing::FakePlatform fake;
    EveryDomainExists resolver;
    const std::vector<std::string> message = {"S: +OK", "S: Subject: You WIN a million", "S: From: win@prizes.test",
                                              "S: ", "S: ."};
    std::vector<std::string> steps = {"S: +OK ready", "C: CAPA",     "S: -ERR no",      "C: USER joe", "S: +OK",
                                      "C: PASS secret", "S: +OK",    "C: STAT",         "S: +OK 1 100", "C: LIST 1",
                                      "S: +OK 1 100",   "C: TOP 1 1"};
    steps.insert(steps.end(), message.begin(), message.end());
    for (const char* line : {"C: UIDL 1", "S: +OK 1 u1", "C: LIST 1", "S: +OK 1 100", "C: TOP 1 1"})
        steps.push_back(line);
    steps.insert(steps.end(), message.begin(), message.end());
    for (const char* line : {"C: DELE 1", "S: +OK", "C: QUIT", "S: -ERR some deleted messages not removed"})
        steps.push_back(line);
    testing::ScriptedServer server(steps);
    {
        SettingsStore store(fake.platform.settingsFolder);
        TPasswordCipher cipher;
        cipher.Key = "qiro";
        store.writeString("Server", "Version161", "161");
        store.writeString("Server", "Server1", "127.0.0.1:" + std::to_string(server.port()));
        store.writeString("Server", "Mailbox1", "joe");
        store.writeString("Server", "Passwd1", cipher.encipher("secret"));
        store.writeBool("General", "RememberListed", false);  // the dialogue scripted is the full listing
        store.writeString("General", "Logfile", fake.folder.file("log.txt"));
        SpamRules rules(fake.platform.programFolder);
        rules.SetGridHeadings();
        addRules(rules.gridSubject, {{"", "Contains", "win", "No", "Yes", "0"}});
        rules.options.Valid = false;
        rules.Savesettings();
    }
    std::ostringstream out, err;
    cli::CheckTool tool({fake.loop, fake.loop, fake.clock, fake.platform.programFolder, fake.platform.settingsFolder},
                        {out, err, false, false});
    tool.setDomainResolver(&resolver);
    EXPECT_EQ(tool.run({"--delete", "--format", "json"}), cli::kMailServer) << err.str();
    server.join();
    EXPECT_EQ(server.failures(), std::vector<std::string>{});
    EXPECT_EQ(out.str().find("\"deleted\":true"), std::string::npos);
    const std::string log = readFileBytes(fake.folder.file("log.txt")).value_or("");
    EXPECT_EQ(log.find("DELETE SPAM"), std::string::npos);
    EXPECT_NE(log.find(std::string("ERROR ") + kNothingDeleted + " FOR joe ON 127.0.0.1:"), std::string::npos) << log;
    EXPECT_EQ(SettingsStore(fake.platform.settingsFolder).readString("General", "Count", "0"), "0");
}

TEST_F(CliCheck, JsonLinesCarryEveryField) {
    EXPECT_EQ(runTool({"--all", "--format", "json"}), cli::kMarkedFound) << err.str();
    const auto lines = split(out.str(), '\n');
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[1], "{\"mailbox\":1,\"server\":\"" + server() +
                            "\",\"user\":\"joe\",\"number\":2,\"mark\":0,\"markName\":\"delete\",\"marked\":true,"
                            "\"deleted\":false,\"sender\":\"win@prizes.test\",\"subject\":\"You WIN a million\","
                            "\"size\":" + std::to_string(mailbox()[1].size()) + ",\"date\":\"12/10/2026 9:15:00 AM\","
                            "\"why\":[\"Delete   :  Subject Contains \\\"win\\\" \"]}");
}


// One mailbox failing decides the exit status even when another one, checked
// before or after it, holds marked messages.
TEST_F(CliCheck, AFailedMailboxBesideMarkedMessagesExitsWithTheServerError) {
    SettingsStore store(fake.platform.settingsFolder);
    TPasswordCipher cipher;
    cipher.Key = "qiro";
    for (const int failing : {1, 2}) {
        const int good = 3 - failing;
        store.writeString("Server", "Server" + std::to_string(good), server());
        store.writeInteger("Server", "Security" + std::to_string(good), static_cast<int>(TmsSecurity::None));
        store.writeString("Server", "Mailbox" + std::to_string(good), "joe");
        store.writeString("Server", "Passwd" + std::to_string(good), cipher.encipher("secret"));
        store.writeString("Server", "Server" + std::to_string(failing), server());
        store.writeInteger("Server", "Security" + std::to_string(failing), static_cast<int>(TmsSecurity::None));
        store.writeString("Server", "Mailbox" + std::to_string(failing), "joe");
        store.writeString("Server", "Passwd" + std::to_string(failing), cipher.encipher("wrong"));

        EXPECT_EQ(runTool({"--all"}), cli::kMailServer) << "failing mailbox " << failing << ": " << err.str();
        EXPECT_NE(err.str().find("mailbox " + std::to_string(failing) + " "), std::string::npos) << err.str();
        // The good mailbox was still listed, with its marked messages.
        EXPECT_EQ(listedRows().size(), mailbox().size()) << out.str();
    }
}

// A mailbox that signs in with OAuth 2.0: the stored refresh token (or the
// token command) gives the access token; nothing opens a browser, and a
// refresh the provider refuses ends the run with the profile's status.
TEST(CliCheckOAuth, TheRefreshTokenSignsInAndARefusedOneExitsWithTheProfileStatus) {
    testing::FakePlatform fake;
    EveryDomainExists resolver;
    testing::MemorySecretStore keyring;
    testing::FakeOAuthService provider;
    keyring.items[{1, SecretKind::RefreshToken}] = {"label", "refresh-1"};
    const std::string accepted = saslBase64Encode("user=joe\x01" "auth=Bearer fresh\x01\x01");
    testing::ScriptedServer server({"S: +OK ready", "C: CAPA", "S: +OK", "S: SASL XOAUTH2", "S: .",
                                    "C: AUTH XOAUTH2 " + accepted, "S: +OK", "C: STAT", "S: +OK 0 0", "C: QUIT",
                                    "S: +OK"});
    {
        SettingsStore store(fake.platform.settingsFolder);
        store.writeString("Server", "Version161", "161");
        store.writeString("Server", "Server1", "127.0.0.1:" + std::to_string(server.port()));
        store.writeString("Server", "Mailbox1", "joe");
        store.writeInteger("Server", "Security1", static_cast<int>(TmsSecurity::None));
        writeSignIn(store, 1, TmsSignIn::OAuth2);
        OAuthSettings settings;
        settings.provider.clientId = "id";
        settings.write(store, 1);
        store.writeBool("General", "RememberListed", false);
        store.writeString("General", "Logfile", fake.folder.file("log.txt"));
    }
    std::ostringstream out, err;
    const auto run = [&] {
        out.str("");
        err.str("");
        cli::CheckTool tool({fake.loop, fake.loop, fake.clock, fake.platform.programFolder,
                             fake.platform.settingsFolder, &keyring, &provider},
                            {out, err, false, false});
        tool.setDomainResolver(&resolver);
        return tool.run(std::vector<std::string>{});
    };
    provider.refreshAnswers = {OAuthTokens{"fresh", "", 0}};
    EXPECT_EQ(run(), cli::kNothingMarked) << err.str();
    server.join();
    EXPECT_EQ(server.failures(), std::vector<std::string>{});

    const struct {
        const char* what;
        testing::FakeOAuthService::Answer answer;
        int code;
        std::string error;
    } cases[] = {
        {"refused", EOAuthError("The provider refused the sign-in (invalid_grant)", true), cli::kProfile,
         ": The provider refused the sign-in (invalid_grant); sign in again in the Quorvel window (General "
         "settings, Mailboxes, the \"...\" beside \"OAuth 2.0\")\n"},
        {"no answer", EOAuthError("No answer from login.microsoftonline.com", false), cli::kMailServer,
         ": No answer from login.microsoftonline.com\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        provider.calls.clear();
        provider.refreshAnswers = {c.answer};
        EXPECT_EQ(run(), c.code);
        const std::string said = err.str();
        EXPECT_EQ(said.substr(0, 24), "quorvel-check: mailbox 1");
        EXPECT_TRUE(said.ends_with(c.error)) << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1);
        EXPECT_EQ(provider.calls, std::vector<std::string>{"refresh refresh-1"});
    }

    // A refresh token in a keyring that does not give it fails as a password
    // there does: one line, the profile's status, the provider not asked.
    for (const auto& [status, said] : {std::pair{SecretStatus::Locked, std::string(", which is locked (")},
                                       std::pair{SecretStatus::Unavailable,
                                                 std::string(" and no keyring answers (no session bus: run "
                                                             "quorvel-check from a systemd user timer, not cron)\n")}}) {
        provider.calls.clear();
        keyring.answer = status;
        EXPECT_EQ(run(), cli::kProfile);
        const std::string line = err.str();
        EXPECT_EQ(line.rfind("quorvel-check: mailbox 1: its OAuth 2.0 sign-in is in the desktop keyring" + said, 0),
                  0u)
            << line;
        EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1);
        EXPECT_TRUE(provider.calls.empty());
    }
    keyring.answer = SecretStatus::Ok;

    // The user's token command instead: its failure is the profile's.
    SettingsStore(fake.platform.settingsFolder).writeString("Server", "OAuthCommand1", "sh -c 'echo expired >&2; exit 2'");
    provider.calls.clear();
    EXPECT_EQ(run(), cli::kProfile);
    EXPECT_TRUE(err.str().ends_with(": The token command sh failed with exit status 2. It said: expired\n")) << err.str();
    EXPECT_TRUE(provider.calls.empty());
}

// `sign-in --mailbox N`: the device grant for a machine without a browser,
// its address and code printed, the refresh token kept.
TEST(CliCheckOAuth, SignInRunsTheDeviceGrantAndKeepsTheRefreshToken) {
    testing::FakePlatform fake;
    testing::FakeOAuthService provider;
    testing::MemorySecretStore keyring;
    {
        SettingsStore store(fake.platform.settingsFolder);
        store.writeString("Server", "Version161", "161");
        for (const char* n : {"1", "2", "3"}) {
            store.writeString("Server", std::string("Server") + n, "outlook.office365.com:995");
            store.writeString("Server", std::string("Mailbox") + n, std::string("user") + n + "@example.test");
        }
        writeSignIn(store, 1, TmsSignIn::OAuth2);
        writeSignIn(store, 2, TmsSignIn::OAuth2);
        OAuthSettings microsoft;
        microsoft.provider.clientId = "id";
        microsoft.write(store, 1);
        OAuthSettings google;
        google.provider = oauthPreset("Google");
        google.provider.clientId = "id";
        google.write(store, 2);
    }
    std::ostringstream out, err;
    const auto run = [&](std::vector<std::string> words, SecretStore* secrets) {
        out.str("");
        err.str("");
        cli::CheckTool tool({fake.loop, fake.loop, fake.clock, fake.platform.programFolder,
                             fake.platform.settingsFolder, secrets, &provider},
                            {out, err, false, false});
        return tool.run(words);
    };
    provider.deviceAnswers = {OAuthTokens{"access", "refresh-device", 0}, OAuthTokens{"access", "refresh-2", 0}};
    EXPECT_EQ(run({"sign-in", "--mailbox", "1"}, &keyring), cli::kNothingMarked) << err.str();
    const std::string name = "mailbox 1 (user1@example.test on outlook.office365.com:995)";
    EXPECT_EQ(out.str(), "To sign in " + name +
                             ", open https://login.example.test/device on any device and enter the code ABCD-EFGH\n" +
                             name + " is signed in; the sign-in is kept in the desktop keyring\n");
    EXPECT_EQ(keyring.items.at({1, SecretKind::RefreshToken}).secret, "refresh-device");
    EXPECT_EQ(provider.providers.at(0).deviceAuthorizationUrl, oauthPreset("Microsoft").deviceAuthorizationUrl);
    // Without a keyring the settings file keeps it, enciphered.
    EXPECT_EQ(run({"sign-in", "--mailbox=1"}, nullptr), cli::kNothingMarked) << err.str();
    EXPECT_TRUE(out.str().ends_with("kept in the settings file\n")) << out.str();
    EXPECT_NE(SettingsStore(fake.platform.settingsFolder).readString("Server", "OAuthRefresh1", ""), "");

    const struct {
        std::vector<std::string> words;
        int code;
        std::string error;
    } cases[] = {
        {{"sign-in", "--mailbox", "2"}, cli::kProfile,
         "quorvel-check: mailbox 2 (user2@example.test on outlook.office365.com:995): Google offers no sign-in for "
         "machines without a browser; sign in in the Quorvel window instead\n"},
        {{"sign-in", "--mailbox", "3"}, cli::kProfile,
         "quorvel-check: mailbox 3 (user3@example.test on outlook.office365.com:995) does not sign in with OAuth "
         "2.0 (its \"Sign-in\" choice on the Mailboxes page)\n"},
        {{"sign-in"}, cli::kUsage, "quorvel-check: sign-in needs --mailbox N"},
        {{"sign-in", "--mailbox", "13"}, cli::kUsage, "quorvel-check: --mailbox takes a number from 1 to 12, not \"13\""},
        {{"sign-in", "--mailbox", "1", "--all"}, cli::kUsage, "quorvel-check: unknown option \"--all\""},
    };
    provider.calls.clear();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.words.back());
        EXPECT_EQ(run(c.words, &keyring), c.code);
        EXPECT_EQ(err.str().substr(0, c.error.size()), c.error);
    }
    EXPECT_TRUE(provider.calls.empty());
    // The user said no on the other device.
    provider.deviceAnswers = {EOAuthError("The sign-in was declined", true)};
    EXPECT_EQ(run({"sign-in", "--mailbox", "1"}, &keyring), cli::kProfile);
    EXPECT_TRUE(err.str().ends_with(": The sign-in was declined\n")) << err.str();
}

// The contrib timer starts the service every so often; a run that hangs
// (a server that never answers) must end before the next start is due.
TEST(CliContrib, TheServiceEndsAHungRunBeforeTheTimersNextStart) {
    const auto minutesOf = [](const std::string& file, const std::string& key) {
        const std::string text = readFileBytes(std::string(QUORVEL_DATA) + "/../contrib/" + file).value_or("");
        const auto at = text.find("\n" + key + "=");
        if (at == std::string::npos) return -1;
        const std::string value = text.substr(at + key.size() + 2, text.find('\n', at + 1) - at - key.size() - 2);
        return value.ends_with("min") ? std::atoi(value.c_str()) : -1;
    };
    const int limit = minutesOf("quorvel-check.service", "TimeoutStartSec");
    const int interval = minutesOf("quorvel-check.timer", "OnUnitActiveSec");
    ASSERT_GT(interval, 0);
    EXPECT_GT(limit, 0);
    EXPECT_LT(limit, interval);
}

}  // namespace
}  // namespace quorvel
