#include "app/program_folder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <vector>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/files.h"
#include "support/fake_platform.h"

namespace quorvel {
namespace {

TEST(ProgramFolder, IsTheExecutablesFolderWhenWritableElseTheUsersDataFolder) {
    testing::TempFolder temp;
    EXPECT_EQ(chooseProgramFolder(temp.path(), temp.file("data/quorvel")), temp.path());
    EXPECT_FALSE(std::filesystem::exists(temp.file("data")));
    // /proc/self cannot be written, even by root.
    EXPECT_EQ(chooseProgramFolder("/proc/self", temp.file("data/quorvel")), temp.file("data/quorvel"));
    EXPECT_TRUE(std::filesystem::is_directory(temp.file("data/quorvel")));
}

// An installed program never writes beside itself, whoever runs it; a build
// folder that may be written stays portable.
TEST(ProgramFolder, AnInstalledProgramUsesTheUsersDataFolder) {
    testing::TempFolder temp;
    std::filesystem::create_directories(temp.file("build"));
    std::filesystem::create_directories(temp.file("prefix/bin"));
    std::filesystem::create_directories(temp.file("prefix/share/quorvel"));
    std::ofstream(temp.file("prefix/share/quorvel/known.lst")) << "shipped";
    const std::string data = temp.file("data/quorvel");
    const struct {
        std::string executableFolder;
        bool portable;
    } cases[] = {
        {temp.file("build"), true},
        {temp.file("build") + "/", true},
        {temp.file("prefix/bin"), false},  // writable, but beside installed data
        {"/usr/bin", false},               // root may write there
        {"/usr/bin/", false},
        {"/usr/local/bin", false},
        {"/bin", false},
        {"/proc/self", false},  // not writable
    };
    for (const auto& c : cases)
        EXPECT_EQ(chooseProgramFolder(c.executableFolder, data), c.portable ? c.executableFolder : data)
            << c.executableFolder;
}

TEST(ProgramFolder, SeedingAddsMissingFilesAndKeepsTheUsers) {
    testing::TempFolder data, program;
    std::ofstream(data.file("known.lst")) << "shipped";
    std::ofstream(data.file("harptune.wav")) << "tune";
    std::ofstream(program.file("known.lst")) << "edited by the user";
    seedProgramFolder(program.path(), data.path());
    EXPECT_EQ(readFileBytes(program.file("known.lst")), "edited by the user");
    EXPECT_EQ(readFileBytes(program.file("harptune.wav")), "tune");
    struct stat st {};
    ASSERT_EQ(stat(program.file("harptune.wav").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// Without HOME the folders come from the password database, never from a
// shared folder such as /tmp; a folder the program makes is the user's alone.
TEST(ProgramFolder, UserFoldersWithoutHomeComeFromThePasswordDatabase) {
    const char* names[] = {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"};
    std::vector<std::optional<std::string>> saved;
    for (const char* name : names) {
        const char* value = std::getenv(name);
        saved.push_back(value ? std::optional<std::string>(value) : std::nullopt);
        unsetenv(name);
    }
    const passwd* entry = getpwuid(getuid());
    ASSERT_TRUE(entry && entry->pw_dir);
    const std::string home = entry->pw_dir;
    EXPECT_EQ(defaultUserDataFolder(), home + "/.local/share/quorvel");
    EXPECT_EQ(defaultSettingsFolder(), home + "/.config/Velmont/Quorvel/10");
    for (std::size_t i = 0; i < saved.size(); ++i)
        if (saved[i]) setenv(names[i], saved[i]->c_str(), 1);

    testing::TempFolder temp;
    const mode_t old = umask(0);
    EXPECT_EQ(chooseProgramFolder("/proc/self", temp.file("data/quorvel")), temp.file("data/quorvel"));
    umask(old);
    struct stat st {};
    ASSERT_EQ(stat(temp.file("data/quorvel").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(stat(temp.file("data").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(ProgramFolder, ShippedDataHoldsWhatTheProgramLooksFor) {
    for (const char* name : {"known.lst", "harptune.wav", "quorvel.hlp"})
        EXPECT_TRUE(fileExists(std::string(QUORVEL_DATA) + "/" + name)) << name;
    const auto tune = readFileBytes(std::string(QUORVEL_DATA) + "/harptune.wav");
    ASSERT_TRUE(tune);
    EXPECT_EQ(tune->substr(0, 4), "RIFF");
    EXPECT_EQ(tune->substr(8, 4), "WAVE");
    const auto help = readFileBytes(std::string(QUORVEL_DATA) + "/quorvel.hlp");
    for (const char* anchor : {"id=\"3010\"", "id=\"100\"", "id=\"200\""})
        EXPECT_NE(help->find(anchor), std::string::npos) << anchor;
}

}  // namespace
}  // namespace quorvel
