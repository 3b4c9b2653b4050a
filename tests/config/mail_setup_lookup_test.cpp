#include "config/mail_setup_lookup.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "config/registry.h"
#include "support/fake_platform.h"

namespace quorvel {
namespace {

using testing::TempFolder;

const std::string kFixtures = std::string(QUORVEL_FIXTURES) + "/general";
const std::string kIam = "HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Account Manager\\Accounts\\00000001";
const std::string kEudoraPath = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Eudora.exe";
const std::string kMailto = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\mailto\\shell\\open\\command";
const std::string kNetscape = "HKEY_CURRENT_USER\\SOFTWARE\\Netscape\\Netscape Navigator\\";

class MailSetup : public ::testing::Test {
protected:
    TempFolder folder;
    Registry registry{folder.file("settings.reg")};

    // Sources that find nothing unless a test points them somewhere.
    MailSetupSources sources() {
        MailSetupSources s;
        s.registry = &registry;
        s.home = folder.file("empty-home");
        s.xdgDataDirs = folder.file("no-data");
        return s;
    }

    std::string executable(const std::string& relative) {
        const std::string path = folder.file(relative);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path) << "#!/bin/sh\n";
        chmod(path.c_str(), 0755);
        return path;
    }
};

TEST_F(MailSetup, InternetAccountManagerFillsBothFieldsOnlyWhenItHasAServer) {
    MailboxFields fields{"", "kept"};
    registry.writeString(kIam, "POP3 User Name", "nobody");
    lookUpInternetAccountManager(registry, fields);
    EXPECT_EQ(fields.server, "");
    EXPECT_EQ(fields.user, "kept");

    registry.writeString(kIam, "POP3 Server", "pop.iam.test");
    lookUpInternetAccountManager(registry, fields);
    EXPECT_EQ(fields.server, "pop.iam.test");
    EXPECT_EQ(fields.user, "nobody");
}

TEST_F(MailSetup, EudoraReadsThePopAccountOfItsSettingsFile) {
    const std::string ini = kFixtures + "/eudora/Eudora.ini";
    struct Case {
        const char* name;
        std::string path;     // the App Paths value
        std::string mailto;   // the mailto command
        const char* server;
        const char* user;
    } cases[] = {
        {"path names the file", ini, "", "pop.eudora.test", "joe"},
        {"mailto command with /m", "", kFixtures + "/eudora/Eudora.exe /m %1", "pop.eudora.test", "joe"},
        {"quoted mailto command", "", "\"" + kFixtures + "/eudora/Eudora.exe\" /m %1", "pop.eudora.test", "joe"},
        {"account without @", "", kFixtures + "/eudora/NoName.exe", "pop.noname.test", "kept"},
        {"no such file", "", kFixtures + "/eudora/Missing.exe /m %1", "", "kept"},
        {"path names a folder", kFixtures + "/eudora", kFixtures + "/eudora/Eudora.exe", "", "kept"},
        {"nothing registered", "", "", "", "kept"},
    };
    for (const auto& c : cases) {
        TempFolder local;
        Registry r(local.file("settings.reg"));
        if (!c.path.empty()) r.writeString(kEudoraPath, "Path", c.path);
        if (!c.mailto.empty()) r.writeString(kMailto, "", c.mailto);
        MailboxFields fields{"", "kept"};
        lookUpEudora(r, fields);
        EXPECT_EQ(fields.server, c.server) << c.name;
        EXPECT_EQ(fields.user, c.user) << c.name;
    }
}

TEST_F(MailSetup, EudoraKeepsAtMost255CharactersOfTheServer) {
    const std::string ini = folder.file("Long.ini");
    std::ofstream(ini) << "[Settings]\nPOPAccount=me@" << std::string(300, 'h') << "\n";
    registry.writeString(kEudoraPath, "Path", ini);
    MailboxFields fields;
    lookUpEudora(registry, fields);
    EXPECT_EQ(fields.user, "me");
    EXPECT_EQ(fields.server, std::string(255, 'h'));
}

TEST_F(MailSetup, NetscapeFillsTheUserAndThenTheServerIfItHasOne) {
    MailboxFields fields;
    registry.writeString(kNetscape + "Services", "POP_Server", "pop.ns.test");
    lookUpNetscape(registry, fields);
    EXPECT_EQ(fields.server, "");  // no user name: nothing at all

    registry.writeString(kNetscape + "Mail", "POP Name", "navigator");
    registry.writeString(kNetscape + "Services", "POP_Server", "");
    lookUpNetscape(registry, fields);
    EXPECT_EQ(fields.user, "navigator");
    EXPECT_EQ(fields.server, "");

    registry.writeString(kNetscape + "Services", "POP_Server", "pop.ns.test");
    lookUpNetscape(registry, fields);
    EXPECT_EQ(fields.server, "pop.ns.test");
}

TEST_F(MailSetup, AValueOfAnotherTypeCountsAsMissing) {
    std::ofstream(registry.filePath(), std::ios::app) << "\n[" << kIam << "]\n\"POP3 Server\"=dword:00000001\n";
    MailboxFields fields{"", "kept"};
    EXPECT_NO_THROW(lookUpInternetAccountManager(registry, fields));
    EXPECT_EQ(fields.server, "");
    EXPECT_EQ(fields.user, "kept");
}

TEST_F(MailSetup, ThunderbirdTakesTheFirstPop3AccountOfTheInstallationsDefaultProfile) {
    auto s = sources();
    s.home = kFixtures + "/thunderbird";
    MailboxFields fields;
    lookUpThunderbird(s, fields);
    // The account list's order, not the servers' numbers; IMAP and local folders are passed over.
    EXPECT_EQ(fields.server, "pop.example.test");
    EXPECT_EQ(fields.user, "Ren\xC3\xA9" "e \"R\" Smith");
}

TEST_F(MailSetup, ThunderbirdWithoutAnAccountListGoesByServerNumber) {
    auto s = sources();
    s.home = kFixtures + "/thunderbird-legacy";
    MailboxFields fields;
    lookUpThunderbird(s, fields);
    EXPECT_EQ(fields.server, "pop.two.test");
    EXPECT_EQ(fields.user, "two");
}

TEST_F(MailSetup, ThunderbirdProfilesInTheXdgConfigFolderAreFound) {
    auto s = sources();
    s.home = folder.file("home");
    // $XDG_CONFIG_HOME/thunderbird: the fixture's folder is named .thunderbird, so link it.
    std::filesystem::create_directories(folder.file("config"));
    std::filesystem::create_directory_symlink(kFixtures + "/thunderbird/.thunderbird", folder.file("config/thunderbird"));
    s.xdgConfigHome = folder.file("config");
    MailboxFields fields;
    lookUpThunderbird(s, fields);
    EXPECT_EQ(fields.server, "pop.example.test");
}

TEST_F(MailSetup, MpopTakesTheDefaultAccountWithWhatItInherits) {
    auto s = sources();
    s.home = kFixtures + "/mpop/home";  // has ~/.mpoprc, which wins over ~/.config/mpop/config
    MailboxFields fields;
    lookUpMpop(s, fields);
    EXPECT_EQ(fields.server, "pop.home.test");
    EXPECT_EQ(fields.user, "work \"main\" user");
}

TEST_F(MailSetup, MpopReadsItsXdgFileWhenThereIsNoMpoprcAndRunsNothing) {
    auto s = sources();
    s.home = folder.file("home");
    s.xdgConfigHome = kFixtures + "/mpop-xdg/config";
    MailboxFields fields;
    lookUpMpop(s, fields);
    EXPECT_EQ(fields.server, "pop.xdg.test");
    EXPECT_EQ(fields.user, "xdg");
}

TEST_F(MailSetup, MpopWithoutADefaultAccountFindsNothing) {
    auto s = sources();
    s.home = folder.path();
    std::ofstream(folder.file(".mpoprc")) << "account only\nhost pop.only.test\nuser only\n";
    MailboxFields fields{"", "kept"};
    lookUpMpop(s, fields);
    EXPECT_EQ(fields.server, "");
    EXPECT_EQ(fields.user, "kept");
}

TEST_F(MailSetup, TheAccountLookUpsRunInOrderEachOnlyWhileTheServerIsEmpty) {
    auto s = sources();
    s.home = kFixtures + "/thunderbird";
    // Netscape finds only a user name, so the search goes on to Thunderbird.
    registry.writeString(kNetscape + "Mail", "POP Name", "navigator");
    MailboxFields fields;
    lookUpFirstAccount(s, fields);
    EXPECT_EQ(fields.server, "pop.example.test");

    // An earlier look-up that finds a server ends the search.
    registry.writeString(kIam, "POP3 Server", "pop.iam.test");
    registry.writeString(kIam, "POP3 User Name", "iam");
    fields = {};
    lookUpFirstAccount(s, fields);
    EXPECT_EQ(fields.server, "pop.iam.test");
    EXPECT_EQ(fields.user, "iam");

    fields = {"pop.mine.test", "me"};
    lookUpFirstAccount(s, fields);
    EXPECT_EQ(fields.server, "pop.mine.test");
    EXPECT_EQ(fields.user, "me");
}

TEST(MailProgramOfMailtoCommand, CutsAfterExeOrDropsTheRundllArgument) {
    struct Case {
        const char* command;
        const char* program;
    } cases[] = {
        {"rundll32.exe url.dll,MailToProtocolHandler %1", "rundll32.exe url.dll,MailToProtocolHandler"},
        {"C:\\WINDOWS\\RUNDLL32.EXE C:\\PROGRA~1\\MAIL\\mail.dll,Send %1", "C:\\WINDOWS\\RUNDLL32.EXE C:\\PROGRA~1\\MAIL\\mail.dll,Send"},
        {"\"C:\\Program Files\\Mail\\mail.exe\" /mailurl:%1", "\"C:\\Program Files\\Mail\\mail.exe"},
        {"C:\\Eudora\\eudora.Exe /m %1", "C:\\Eudora\\eudora.Exe"},
        {"/usr/bin/mailer %1", "/usr/bin/mailer %1"},
        {"", ""},
        {"RUNDLL32", "RUNDL"},
    };
    for (const auto& c : cases) EXPECT_EQ(mailProgramOfMailtoCommand(c.command), c.program) << c.command;
}

TEST_F(MailSetup, MailProgramPrefersAnExistingEudoraThenTheMailtoCommand) {
    const std::string eudora = executable("eudora/Eudora.exe");
    registry.writeString(kMailto, "", "rundll32.exe url.dll,MailToProtocolHandler %1");
    auto s = sources();
    s.mailtoHandler = [] { return std::string("mailer.desktop"); };
    s.xdgDataDirs = kFixtures;

    registry.writeString(kEudoraPath, "Path", folder.file("eudora/Missing.exe"));
    EXPECT_EQ(lookUpMailProgram(s), "rundll32.exe url.dll,MailToProtocolHandler");
    registry.writeString(kEudoraPath, "Path", eudora);
    EXPECT_EQ(lookUpMailProgram(s), eudora);
}

TEST_F(MailSetup, MailProgramFallsBackToTheDesktopsMailtoHandler) {
    const std::string bin = folder.file("bin");
    const std::string mailer = executable("bin/mailer");
    struct Case {
        const char* handler;
        const char* dataDirs;  // relative to the fixtures, colon-separated
        std::string expected;
    } cases[] = {
        // The program and field codes only: the program itself, found on the search path.
        {"mailer.desktop", "", mailer},
        // A wrapper needs the whole entry to start.
        {"wrapped.desktop", "", kFixtures + "/applications/wrapped.desktop"},
        // A dash may stand for a subfolder; the quoted program does not exist here.
        {"vendor-dashed.desktop", "", kFixtures + "/applications/vendor/dashed.desktop"},
        {"mailer.desktop\n", "", mailer},
        {"missing.desktop", "", ""},
        {"../applications/mailer.desktop", "", ""},
        {"mailer", "", ""},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        auto s = sources();
        s.path = "/nonexistent:" + bin;
        s.xdgDataDirs = folder.file("no-data") + ":" + kFixtures;
        const std::string handler = c.handler;
        s.mailtoHandler = [handler] { return handler; };
        EXPECT_EQ(lookUpMailProgram(s), c.expected) << c.handler;
    }
}

TEST_F(MailSetup, TheUsersOwnDesktopEntryComesBeforeTheSystems) {
    const std::string mine = folder.file("data-home/applications/mailer.desktop");
    std::filesystem::create_directories(std::filesystem::path(mine).parent_path());
    std::ofstream(mine) << "[Desktop Entry]\nExec=flatpak run org.example.Mailer %u\n";
    auto s = sources();
    s.xdgDataHome = folder.file("data-home");
    s.xdgDataDirs = kFixtures;
    s.mailtoHandler = [] { return std::string("mailer.desktop"); };
    EXPECT_EQ(lookUpMailProgram(s), mine);
}

TEST(FirstLineOfCommand, ReturnsTheFirstLineOfASuccessfulProgram) {
    EXPECT_EQ(firstLineOfCommand({"sh", "-c", "printf ' thunderbird.desktop \\nsecond\\n'"}), "thunderbird.desktop");
    EXPECT_EQ(firstLineOfCommand({"sh", "-c", "echo partial; exit 3"}), "");
    EXPECT_EQ(firstLineOfCommand({"quorvel-no-such-program"}), "");
    EXPECT_EQ(firstLineOfCommand({}), "");
    // A flood of output is cut off; the writer then fails, and so does the look-up.
    EXPECT_EQ(firstLineOfCommand({"sh", "-c", "head -c 1000000 /dev/zero | tr '\\0' y"}), "");
}

}  // namespace
}  // namespace quorvel
