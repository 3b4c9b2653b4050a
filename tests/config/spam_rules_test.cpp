#include "config/spam_rules.h"

#include <gtest/gtest.h>

#include "config/rule_file.h"
#include "platform/files.h"
#include "support/fake_platform.h"

namespace quorvel {
namespace {

using testing::TempFolder;

TEST(SpamOptions, MissingFileAndKeysGiveTheDefaults) {
    TempFolder folder;
    const SpamOptions options = loadSpamOptions(folder.file("quorvel.ini"));
    EXPECT_EQ(options, SpamOptions{});
    EXPECT_FALSE(options.QSmaller);
    EXPECT_EQ(options.smallerNum, 100);
    EXPECT_TRUE(options.smallerCheck);
    EXPECT_FALSE(options.QLarger);
    EXPECT_EQ(options.largerNum, 20000);
    EXPECT_TRUE(options.largerCheck);
    EXPECT_TRUE(options.QMonitor);
    EXPECT_TRUE(options.Valid);
    EXPECT_FALSE(options.Question);
    EXPECT_EQ(options.unknownNum, "0");
    // Learning is on, but deletes nothing and learns nothing from kept mail unless asked.
    EXPECT_TRUE(options.learning);
    EXPECT_FALSE(options.learnFromKept);
    EXPECT_FALSE(options.deleteLearnedSpam);
    EXPECT_EQ(options.learningLevel, kDefaultLearningLevel);

    const SpamOptions partial = readSpamOptions(IniFile("[Known]\r\nQuestion=5\r\n[Larger]\r\nNum=x\r\n"));
    EXPECT_TRUE(partial.Question);
    EXPECT_EQ(partial.largerNum, 20000);
    EXPECT_TRUE(partial.QMonitor);
}

TEST(SpamOptions, ALearningLevelOutsideCautiousToEagerReadsAsTheDefault) {
    const struct {
        const char* stored;
        int read;
    } cases[] = {{"0", kDefaultLearningLevel}, {"1", 1},  {"2", 2}, {"4", 4},
                 {"5", 5},                     {"6", kDefaultLearningLevel}, {"eager", kDefaultLearningLevel}};
    static_assert(kCautiousLearning == 1 && kEagerLearning == 5);
    for (const auto& c : cases)
        EXPECT_EQ(readSpamOptions(IniFile(std::string("[Learning]\r\nCutoffs=") + c.stored + "\r\n")).learningLevel,
                  c.read)
            << c.stored;
}

TEST(SpamOptions, SaveWritesEveryValueAndKeepsForeignLines) {
    TempFolder folder;
    const std::string path = folder.file("quorvel.ini");
    writeFileAtomically(path, "[Mine]\r\nKeep=yes\r\n");
    const SpamOptions options{.QSmaller = true,
                              .smallerNum = 64,
                              .smallerCheck = false,
                              .QLarger = true,
                              .largerNum = 99999999,
                              .largerCheck = true,
                              .QMonitor = false,
                              .Valid = false,
                              .Question = true,
                              .unknownNum = "12",
                              .learning = false,
                              .learnFromKept = true,
                              .deleteLearnedSpam = true,
                              .learningLevel = 4};
    saveSpamOptions(path, options);
    EXPECT_EQ(*readFileBytes(path),
              "[Mine]\r\nKeep=yes\r\n"
              "[Smaller]\r\nQSmaller=1\r\nNum=64\r\nCheck=0\r\n"
              "[Larger]\r\nQLarger=1\r\nNum=99999999\r\nCheck=1\r\n"
              "[Known]\r\nQMonitor=0\r\nValid=0\r\nQuestion=1\r\nNum=12\r\n"
              "[Learning]\r\nEnabled=0\r\nLearnFromKept=1\r\nDeleteLearnedSpam=1\r\nCutoffs=4\r\n");
    EXPECT_EQ(loadSpamOptions(path), options);
}

TEST(SpamRules, SaveAndReadRoundTripAllFour) {
    TempFolder folder;
    SpamRules rules(folder.path());
    rules.readSettings();  // nothing there yet
    EXPECT_EQ(rules.gridExcept.cell(0, 0), "What");
    rules.gridSubject.setCell(1, 1, "Contains");
    rules.gridSubject.setCell(2, 1, "cash");
    rules.gridSubject.setCell(4, 1, "Yes");
    rules.gridFrom.setCell(1, 1, "Domain name");
    rules.gridExcept.setCell(0, 1, "Subject");
    rules.gridExcept.setCell(6, 1, "9");
    rules.options.largerNum = 5;
    rules.Savesettings();
    for (const char* name : {"subj.lst", "header.lst", "from.lst", "except.lst", "quorvel.ini"})
        EXPECT_TRUE(fileExists(folder.file(name))) << name;

    SpamRules loaded(folder.path());
    loaded.readSettings();
    EXPECT_EQ(loaded.gridSubject.cell(2, 1), "cash");
    EXPECT_EQ(loaded.gridSubject.image(1), kImageCheck);
    EXPECT_EQ(loaded.gridFrom.cell(1, 1), "Domain name");
    EXPECT_EQ(loaded.gridExcept.image(1), 9);
    EXPECT_EQ(loaded.options.largerNum, 5);
}

TEST(SpamRules, CorruptFileStillLetsTheOthersLoad) {
    TempFolder folder;
    writeFileAtomically(folder.file("header.lst"), "garbage\r\n");
    writeFileAtomically(folder.file("from.lst"), "6,2\r\n1,1,E-mail address\r\n");
    writeFileAtomically(folder.file("quorvel.ini"), "[Known]\r\nValid=0\r\n");
    SpamRules rules(folder.path());
    try {
        rules.readSettings();
        ADD_FAILURE() << "no error";
    } catch (const RuleFileError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "File contains no data or corrupt file " + folder.file("header.lst"));
    }
    EXPECT_EQ(rules.gridFrom.cell(1, 1), "E-mail address");
    EXPECT_FALSE(rules.options.Valid);
    EXPECT_EQ(rules.gridHeader.rowCount(), 2);
}

}  // namespace
}  // namespace quorvel
