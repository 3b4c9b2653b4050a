#include "classify/learned_model_file.h"

#include <fstream>

#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "classify/learned_judge.h"
#include "classify/learning_tokenizer.h"
#include "platform/files.h"
#include "support/fake_platform.h"
#include "support/learning_fixture.h"

namespace quorvel {
namespace {

using ::testing::HasSubstr;

std::uint32_t spamCount(const LearnedModel& model, const std::string& token) {
    const TokenCounts* counts = model.find(tokenDigest(token));
    return counts ? counts->spam : 0;
}

class ModelFile : public ::testing::Test {
protected:
    testing::TempFolder folder;
    std::string path = LearnedModelFile::pathFor(folder.path());
};

TEST_F(ModelFile, SavesAndLoadsTheWholeModelReadableByTheUserOnly) {
    LearnedModelFile file(path);
    LearnedModel model;
    EXPECT_EQ(file.load(model), "");  // no file yet
    trainLearningFixture(model);
    file.save(model);
    EXPECT_FALSE(model.hasChanges());

    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    LearnedModel loaded;
    EXPECT_EQ(file.load(loaded), "");
    EXPECT_EQ(loaded.spamMessages(), 25u);
    EXPECT_EQ(loaded.hamMessages(), 25u);
    EXPECT_EQ(loaded.tokenCount(), model.tokenCount());
    EXPECT_EQ(loaded.rememberedMessages(), 50u);
    EXPECT_EQ(loaded.learnedAs(learningKey(learningSpam(3))), LearnedAs::Spam);
    const auto tokens = learningTokens(learningSpam(500), kLearningSpamSize);
    EXPECT_EQ(judgeLearned(loaded, tokens, {}).score, judgeLearned(model, tokens, {}).score);
    // A learned message moves after loading too, never counted twice.
    EXPECT_EQ(learnMessage(loaded, learningSpam(3), kLearningSpamSize, false), TrainOutcome::Moved);
    EXPECT_EQ(loaded.spamMessages(), 24u);
}

TEST_F(ModelFile, SetsADamagedFileAsideAndStartsAgain) {
    LearnedModel good;
    trainLearningFixture(good);
    LearnedModelFile(path).save(good);
    const std::string bytes = *readFileBytes(path);
    std::string wrongVersion = bytes;
    wrongVersion.replace(wrongVersion.find("version 1"), 9, "version 9");
    std::string flipped = bytes;
    flipped[bytes.size() / 2] ^= 0x20;
    const struct {
        const char* name;
        std::string content;
        const char* why;
    } cases[] = {
        {"truncated", bytes.substr(0, bytes.size() - 7), "cut short"},
        {"cut to the counts", bytes.substr(0, 40), "cut short"},
        {"wrong version", wrongVersion, "written by another version"},
        {"garbage", std::string(5000, '\x7f'), "not a learned model"},
        {"empty", "", "not a learned model"},
        {"one octet changed", flipped, "damaged"},
        {"longer than it says", bytes + "x", "damaged"},
    };
    for (const auto& c : cases) {
        std::remove((path + ".damaged").c_str());
        writeFileAtomically(path, c.content);
        LearnedModel model;
        trainLearningFixture(model, 1);  // what it held before is dropped
        const std::string line = LearnedModelFile(path).load(model);
        EXPECT_THAT(line, HasSubstr(c.why)) << c.name;
        EXPECT_THAT(line, HasSubstr("set aside as learned.dat.damaged")) << c.name;
        EXPECT_EQ(model.spamMessages(), 0u) << c.name;
        EXPECT_EQ(model.tokenCount(), 0u) << c.name;
        EXPECT_FALSE(fileExists(path)) << c.name;
        EXPECT_EQ(*readFileBytes(path + ".damaged"), c.content) << c.name;
        // Learning starts again.
        trainLearningFixture(model, 2);
        LearnedModelFile(path).save(model);
        LearnedModel again;
        EXPECT_EQ(LearnedModelFile(path).load(again), "") << c.name;
        EXPECT_EQ(again.spamMessages(), 2u) << c.name;
    }
}

TEST_F(ModelFile, TwoLearnersSavingInTurnKeepBothCounts) {
    LearnedModel base;
    trainLearningFixture(base, 20);
    LearnedModelFile(path).save(base);

    // The window and quorvel-check both load, then learn different messages.
    LearnedModel window, tool;
    LearnedModelFile windowFile(path), toolFile(path);
    windowFile.load(window);
    toolFile.load(tool);
    for (int i = 100; i < 110; ++i) learnMessage(window, learningSpam(i), kLearningSpamSize, true);
    for (int i = 200; i < 203; ++i) learnMessage(tool, learningSpam(i), kLearningSpamSize, true);
    for (int i = 200; i < 205; ++i) learnMessage(tool, learningHam(i), kLearningHamSize, false);
    // The tool moves a message the base had as spam.
    EXPECT_EQ(learnMessage(tool, learningSpam(0), kLearningSpamSize, false), TrainOutcome::Moved);
    windowFile.save(window);
    toolFile.save(tool);
    learnMessage(window, learningSpam(110), kLearningSpamSize, true);
    windowFile.save(window);

    LearnedModel merged;
    EXPECT_EQ(LearnedModelFile(path).load(merged), "");
    EXPECT_EQ(merged.spamMessages(), 20u + 11 + 3 - 1);
    EXPECT_EQ(merged.hamMessages(), 20u + 5 + 1);
    EXPECT_EQ(spamCount(merged, "s:cruise"), 20u + 11 + 3 - 1);
    EXPECT_EQ(merged.learnedAs(learningKey(learningSpam(0))), LearnedAs::Ham);
    EXPECT_EQ(merged.learnedAs(learningKey(learningSpam(105))), LearnedAs::Spam);
    EXPECT_EQ(merged.learnedAs(learningKey(learningHam(204))), LearnedAs::Ham);
    // Each saver now holds the merged whole.
    EXPECT_EQ(window.spamMessages(), merged.spamMessages());
    // A save without changes reads what the other learned.
    learnMessage(tool, learningSpam(300), kLearningSpamSize, true);
    toolFile.save(tool);
    windowFile.save(window);
    EXPECT_EQ(window.spamMessages(), merged.spamMessages() + 1);
}

TEST_F(ModelFile, ForgettingEverythingEmptiesTheFile) {
    LearnedModel model;
    trainLearningFixture(model);
    LearnedModelFile file(path);
    file.save(model);
    file.forgetAll(model);
    EXPECT_EQ(model.spamMessages(), 0u);
    LearnedModel loaded;
    EXPECT_EQ(file.load(loaded), "");
    EXPECT_EQ(loaded.tokenCount(), 0u);
    EXPECT_EQ(loaded.hamMessages(), 0u);
}

// n tokens: message i has token "t:i" only; token 0 is seen in every message.
void trainTokens(LearnedModel& model, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        std::vector<std::string> tokens = {"t:" + std::to_string(i), "t:0"};
        model.train(i, tokens, i % 2 == 0);
    }
}

TEST_F(ModelFile, PrunesRareAndStaleTokensPastItsBound) {
    const std::size_t n = 1000;
    for (const std::size_t count : {n - 1, n, n + 1, 3 * n}) {
        std::remove(path.c_str());
        LearnedModelFile file(path, n);
        LearnedModel model;
        trainTokens(model, count);
        file.save(model);
        LearnedModel loaded;
        EXPECT_EQ(file.load(loaded), "");
        if (count <= n) {
            EXPECT_EQ(loaded.tokenCount(), count) << count;
        } else {
            EXPECT_EQ(loaded.tokenCount(), n * 9 / 10) << count;
        }
        // The token seen most is kept; of the rare ones, the newest.
        EXPECT_NE(loaded.find(tokenDigest("t:0")), nullptr) << count;
        EXPECT_NE(loaded.find(tokenDigest("t:" + std::to_string(count - 1))), nullptr) << count;
        if (count > n) {
            EXPECT_EQ(loaded.find(tokenDigest("t:1")), nullptr) << count;
        }
        EXPECT_EQ(loaded.spamMessages() + loaded.hamMessages(), count) << count;
    }
}

TEST_F(ModelFile, TheRealBoundHoldsAFullModel) {
    LearnedModelFile file(path);
    LearnedModel model;
    trainTokens(model, LearnedModelFile::kMaxTokens + 1);
    file.save(model);
    EXPECT_EQ(model.tokenCount(), LearnedModelFile::kMaxTokens * 9 / 10);
    LearnedModel loaded;
    EXPECT_EQ(file.load(loaded), "");
    EXPECT_EQ(loaded.tokenCount(), model.tokenCount());
}

}  // namespace
}  // namespace quorvel
