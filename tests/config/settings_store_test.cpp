#include "config/settings_store.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "support/fake_platform.h"

namespace quorvel {
namespace {

using testing::TempFolder;

TEST(SettingsStore, ReadsIntegersByTheStoresRules) {
    struct Case {
        const char* stored;
        int expected;
    } cases[] = {
        {"10", 10},      {"-7", -7},      {"+3", 3},          {"0x1E", 30},       {"0X1e", 30},
        {"0xFFFFFFFF", -1}, {"0x", 7},    {"0x1G", 7},        {"abc", 7},         {"", 7},
        {" 5", 7},       {"5 ", 7},       {"2147483648", 7},  {"-2147483648", -2147483647 - 1},
        {"0x100000000", 7}, {"1.5", 7},   {"--1", 7},
    };
    TempFolder folder;
    SettingsStore store(folder.path());
    for (const auto& c : cases) {
        store.writeString("General", "Minutes", c.stored);
        EXPECT_EQ(store.readInteger("General", "Minutes", 7), c.expected) << "stored \"" << c.stored << "\"";
    }
}

TEST(SettingsStore, TruthValuesAreIntegersAndMissingValuesReadAsDefaults) {
    TempFolder folder;
    SettingsStore store(folder.path());
    EXPECT_TRUE(store.readBool("General", "Ask", true));
    EXPECT_EQ(store.readString("Server", "Server1", "none"), "none");
    EXPECT_FALSE(std::filesystem::exists(folder.file(SettingsStore::kFileName)));  // reading never writes

    store.writeBool("General", "Kill", true);
    EXPECT_EQ(store.readString("General", "Kill", ""), "1");
    store.writeString("General", "Kill", "0x2");
    EXPECT_TRUE(store.readBool("General", "Kill", false));
    store.writeString("General", "Kill", "yes");  // does not parse: the default
    EXPECT_FALSE(store.readBool("General", "Kill", false));
    EXPECT_TRUE(store.readBool("General", "Kill", true));
}

TEST(SettingsStore, NamesIgnoreCaseSoAlarmFileReadsBackAsAlarmfile) {
    TempFolder folder;
    SettingsStore store(folder.path());
    store.writeString("General", "AlarmFile", "/home/me/tune.wav");
    EXPECT_EQ(store.readString("general", "Alarmfile", ""), "/home/me/tune.wav");
    store.writeString("GENERAL", "ALARMFILE", "/other.wav");  // one value, not two
    EXPECT_EQ(store.registry().valueNames(std::string(SettingsStore::kKey) + "\\General").size(), 1u);
    EXPECT_EQ(store.readString("General", "AlarmFile", ""), "/other.wav");
}

TEST(SettingsStore, KeepsAnyTextAndOnlyItsOwnerCanReadTheFile) {
    TempFolder folder;
    SettingsStore store(folder.path());
    const std::string odd = std::string("a\"b\\c\r\nd\x01\xe9 [x]=\"y\"", 18);
    store.writeString("Server", "Passwd1", odd);
    store.writeString("Server", "Mailbox1", "");
    EXPECT_EQ(SettingsStore(folder.path()).readString("Server", "Passwd1", "?"), odd);
    EXPECT_EQ(store.readString("Server", "Mailbox1", "?"), "");

    struct stat st {};
    ASSERT_EQ(stat(folder.file(SettingsStore::kFileName).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // Replaced whole through a temporary file: nothing else is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
}

TEST(SettingsStore, ReportsItsThreeErrors) {
    TempFolder folder;
    {
        std::ofstream(folder.file(SettingsStore::kFileName))
            << "[" << SettingsStore::kKey << "\\General]\n\"Minutes\"=dword:0000001e\n";
        SettingsStore store(folder.path());
        EXPECT_THROW(
            {
                try {
                    store.readInteger("General", "Minutes", 10);
                } catch (const ERegistryException& e) {
                    EXPECT_STREQ(e.what(), "Invalid data type for 'Minutes'");
                    throw;
                }
            },
            ERegistryException);
    }
    {
        std::ofstream(folder.file("plainfile")) << "x";
        SettingsStore store(folder.file("plainfile") + "/settings");  // a folder under a file
        try {
            store.writeString("General", "Minutes", "1");
            ADD_FAILURE() << "no error";
        } catch (const ERegistryException& e) {
            EXPECT_STREQ(e.what(), "Failed to create key HKEY_CURRENT_USER\\Software\\Velmont\\Quorvel\\10\\General");
        }
    }
    {
        SettingsStore store("/proc/self");  // exists, but no file can be made there
        try {
            store.writeString("General", "Minutes", "1");
            ADD_FAILURE() << "no error";
        } catch (const ERegistryException& e) {
            EXPECT_STREQ(e.what(), "Failed to set data for 'Minutes'");
        }
    }
}

TEST(SettingsStore, SurvivesAHandEditedFile) {
    TempFolder folder;
    std::ofstream(folder.file(SettingsStore::kFileName))
        << "garbage line\n\"Orphan\"=\"1\"\n[unclosed\n[" << SettingsStore::kKey
        << "\\General]\r\n\"Minutes\"=\"15\"\r\n\"Broken=\"2\"\n\"Ask\"=\"0\"\n";
    SettingsStore store(folder.path());
    EXPECT_EQ(store.readInteger("General", "Minutes", 10), 15);
    EXPECT_FALSE(store.readBool("General", "Ask", true));
    store.writeInteger("General", "Minutes", 20);
    EXPECT_EQ(store.readInteger("General", "Minutes", 10), 20);
    EXPECT_FALSE(store.readBool("General", "Ask", true));
}

}  // namespace
}  // namespace quorvel
