#include "app/program_folder.h"

#include <sys/stat.h>

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

TEST(ProgramFolder, SeedingAddsMissingFilesAndKeepsTheUsers) {
    testing::TempFolder data, program;
    std::ofstream(data.file("known.lst")) << "shipped";
    std::ofstream(data.file("harptune.wav")) << "tune";
    std::ofstream(program.file("known.lst")) << "edited by the user";
    seedProgramFolder(program.path(), data.path());
    EXPECT_EQ(readFileBytes(program.file("known.lst")), "edited by the user");
    EXPECT_EQ(readFileBytes(program.file("harptune.wav")), "tune");
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
