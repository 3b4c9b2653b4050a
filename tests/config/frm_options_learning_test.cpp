// The spam settings window's "Learning" tab: what it shows of the model, the
// options it writes, the preview, learning from a folder with its progress
// and Cancel, and forgetting.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>

#include "config/frm_options_main.h"
#include "platform/files.h"
#include "support/fake_platform.h"

namespace quorvel {
namespace {

// A model and a list the test describes: what it holds, what it would mark,
// and the runs it was asked for.
class FakeLearning : public LearningService {
public:
    LearnedFacts held;
    // Marks under the options: by default one more for each level towards eager.
    std::function<MarkCount(const SpamOptions&)> marks = [](const SpamOptions& o) {
        return MarkCount{o.learningLevel + (o.deleteLearnedSpam ? 10 : 0), 20};
    };
    int forgotten = 0;
    struct Asked {
        std::string path;
        bool spam;
        bool operator==(const Asked&) const = default;
    };
    std::vector<Asked> asked;
    int messages = 10;      // in the folder
    int failAt = -1;        // next() throws on this message
    int knownBefore = 0;    // the first this many were learned before
    int learned = 0;        // messages the runs learned
    int finished = 0;       // runs that kept what they learned
    std::function<void(int)> onMessage;  // after each message learned

    LearnedFacts facts() override { return held; }
    MarkCount wouldMark(const SpamOptions& options) override { return marks(options); }
    void forget() override {
        ++forgotten;
        held = {};
    }
    std::unique_ptr<MailLearningRun> learnFrom(const std::string& path, bool spam) override {
        asked.push_back({path, spam});
        if (path == "/nothing") throw std::runtime_error("No messages were found in /nothing.");
        return std::make_unique<Run>(*this);
    }

private:
    struct Run : MailLearningRun {
        explicit Run(FakeLearning& owner) : owner(owner) {}
        int total() const override { return owner.messages; }
        int done() const override { return count; }
        int known() const override { return std::min(count, owner.knownBefore); }
        bool next() override {
            if (count == owner.failAt) throw std::runtime_error("msg 3 cannot be read: Permission denied");
            if (count >= owner.messages) return false;
            ++count;
            ++owner.learned;
            if (owner.onMessage) owner.onMessage(count);
            return true;
        }
        void finish() override { ++owner.finished; }
        FakeLearning& owner;
        int count = 0;
    };
};

class LearningTab : public ::testing::Test {
protected:
    LearningTab() {
        learning.held = {3, 5, 1234, 32};
        options.setLearning(&learning);
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> result;
        for (const auto& shown : fake.dialogs.shown) result.push_back(shown.text);
        return result;
    }

    testing::FakePlatform fake;
    TfrmOptionsMain options{fake.platform};
    FakeLearning learning;
};

TEST_F(LearningTab, IsTheLastTabAndStartsSafe) {
    EXPECT_EQ(TfrmOptionsMain::kTabs.back(), std::string("Learning"));
    options.FormShow();
    EXPECT_TRUE(options.cbLearning.checked);
    EXPECT_FALSE(options.cbLearnFromKept.checked);
    EXPECT_FALSE(options.cbDeleteLearned.checked);
    EXPECT_EQ(options.cbDeleteLearned.caption, "Delete what Quorvel has learned is spam");
    EXPECT_EQ(options.cbLearnFromKept.caption, "Learn from messages I keep");
    EXPECT_EQ(options.cbCutoffs.items,
              (std::vector<std::string>{"Cautious", "Careful", "Balanced", "Keen", "Eager"}));
    EXPECT_EQ(options.cbCutoffs.items[static_cast<std::size_t>(options.cbCutoffs.itemIndex)], "Balanced");
    EXPECT_EQ(options.btLearnFolder.caption, "Learn from a mail &folder...");
    EXPECT_EQ(options.btForget.caption, "Forget everything");
    EXPECT_FALSE(options.pbLearning.visible);
    EXPECT_FALSE(options.btLearnCancel.visible);
}

TEST_F(LearningTab, ShowsWhatWasLearnedAndHowManyMoreDecisionsItNeeds) {
    const struct {
        LearnedFacts facts;
        const char* learned;
        const char* needed;
        bool canForget;
    } cases[] = {
        {{0, 0, 0, 40},
         "Learned from 0 spam messages and 0 wanted messages; 0 tokens kept.",
         "It needs 40 more decisions (messages deleted, marks cleared, or learned from a folder) before it marks "
         "anything.",
         false},
        {{1, 0, 1, 39},
         "Learned from 1 spam message and 0 wanted messages; 1 token kept.",
         "It needs 39 more decisions (messages deleted, marks cleared, or learned from a folder) before it marks "
         "anything.",
         true},
        {{19, 20, 800, 1},
         "Learned from 19 spam messages and 20 wanted messages; 800 tokens kept.",
         "It needs 1 more decision (messages deleted, marks cleared, or learned from a folder) before it marks "
         "anything.",
         true},
        {{20, 1, 900, 0},
         "Learned from 20 spam messages and 1 wanted message; 900 tokens kept.",
         "It has learned enough to judge new messages.", true},
    };
    for (const auto& c : cases) {
        learning.held = c.facts;
        options.FormShow();
        EXPECT_EQ(options.lblLearned.caption, c.learned);
        EXPECT_EQ(options.lblNeeded.caption, c.needed);
        EXPECT_EQ(options.btForget.enabled, c.canForget) << c.learned;
    }
}

TEST_F(LearningTab, OptionsGoToTheSpamOptionsAndThePreviewFollowsThem) {
    options.FormShow();
    EXPECT_EQ(options.lblPreview.caption, "Would mark 3 of the 20 listed messages");
    const struct {
        const char* name;
        std::function<void()> act;
        const char* preview;
    } steps[] = {
        {"eager", [&] { options.cbCutoffs.itemIndex = 4; options.cbCutoffsChange(); },
         "Would mark 5 of the 20 listed messages"},
        {"cautious", [&] { options.cbCutoffs.itemIndex = 0; options.cbCutoffsChange(); },
         "Would mark 1 of the 20 listed messages"},
        {"no such level", [&] { options.cbCutoffs.itemIndex = 5; options.cbCutoffsChange(); },
         "Would mark 1 of the 20 listed messages"},
        {"deleting", [&] { options.cbDeleteLearned.checked = true; options.cbDeleteLearnedClick(); },
         "Would mark 11 of the 20 listed messages"},
        {"from kept", [&] { options.cbLearnFromKept.checked = true; options.cbLearnFromKeptClick(); },
         "Would mark 11 of the 20 listed messages"},
    };
    for (const auto& step : steps) {
        step.act();
        EXPECT_EQ(options.lblPreview.caption, step.preview) << step.name;
    }
    EXPECT_EQ(options.cbCutoffs.itemIndex, 0);
    EXPECT_EQ(options.rules.options.learningLevel, kCautiousLearning);
    EXPECT_TRUE(options.rules.options.deleteLearnedSpam);
    EXPECT_TRUE(options.rules.options.learnFromKept);

    // Off, the judge marks nothing: its own choices wait.
    options.cbLearning.checked = false;
    options.cbLearningClick();
    EXPECT_FALSE(options.rules.options.learning);
    for (const Control* c : {&options.cbDeleteLearned, &options.cbCutoffs, &options.lblPreview})
        EXPECT_FALSE(c->enabled) << c->caption;
    EXPECT_TRUE(options.btLearnFolder.enabled);

    // OK keeps them with the other spam options; a new window reads them back.
    options.btOKClick();
    TfrmOptionsMain again(fake.platform);
    EXPECT_EQ(again.rules.options, options.rules.options);
    EXPECT_FALSE(again.cbLearning.checked);
    EXPECT_TRUE(again.cbDeleteLearned.checked);
    EXPECT_EQ(again.cbCutoffs.itemIndex, 0);
}

TEST_F(LearningTab, CancelBringsTheStoredOptionsBack) {
    options.cbDeleteLearned.checked = true;
    options.cbDeleteLearnedClick();
    options.btCancelClick();
    EXPECT_FALSE(options.rules.options.deleteLearnedSpam);
    EXPECT_FALSE(options.cbDeleteLearned.checked);
}

TEST_F(LearningTab, NoListNoPreviewLine) {
    learning.marks = [](const SpamOptions&) { return MarkCount{0, 0}; };
    options.FormShow();
    EXPECT_EQ(options.lblPreview.caption, "");
    learning.marks = [](const SpamOptions&) { return MarkCount{1, 1}; };
    options.FormShow();
    EXPECT_EQ(options.lblPreview.caption, "Would mark 1 of the 1 listed message");
}

TEST_F(LearningTab, LearnsAFolderOrAFileAsTheSourceChoiceSays) {
    fake.dialogs.fileAnswers = {std::nullopt, "/mail/Junk", "/mail/Maildir", "/nothing"};
    options.btLearnFileClick();  // cancelled: nothing asked
    EXPECT_TRUE(learning.asked.empty());
    options.btLearnFileClick();
    options.rbSourceClick(false);
    EXPECT_FALSE(options.rbSourceSpam.checked);
    options.btLearnFolderClick();
    options.btLearnFolderClick();
    ASSERT_EQ(fake.dialogs.fileRequests.size(), 4u);
    EXPECT_EQ(fake.dialogs.fileRequests[0].kind, "open");
    EXPECT_EQ(fake.dialogs.fileRequests[2].kind, "folder");
    EXPECT_EQ(learning.asked, (std::vector<FakeLearning::Asked>{
                                  {"/mail/Junk", true}, {"/mail/Maildir", false}, {"/nothing", false}}));
    EXPECT_EQ(learning.learned, 20);
    EXPECT_EQ(learning.finished, 2);
    EXPECT_EQ(texts(), std::vector<std::string>{"No messages were found in /nothing."});
    EXPECT_EQ(options.lblLearnProgress.caption, "Learned 10 messages as wanted mail from /mail/Maildir");
    EXPECT_FALSE(options.busy());

    // Messages learned before are said: they do not count again.
    for (const int before : {1, 10}) {
        learning.knownBefore = before;
        options.learnFrom("/mail/Maildir");
        EXPECT_EQ(options.lblLearnProgress.caption,
                  "Learned 10 messages as wanted mail from /mail/Maildir (" + std::to_string(before) + " of them " +
                      (before == 1 ? "was" : "were") + " learned before)");
    }
}

// The progress is drawn at most kLearningRedraws times besides the first, at
// even steps, whatever the number of messages.
TEST_F(LearningTab, ProgressIsRedrawnAtMostAHundredTimes) {
    static_assert(TfrmOptionsMain::kLearningRedraws == 100);
    const struct {
        int messages;
        int redraws;  // after the first
    } cases[] = {{1, 1}, {99, 99}, {100, 100}, {101, 50}, {1000, 100}, {1001, 91}};
    for (const auto& c : cases) {
        learning.messages = c.messages;
        std::vector<int> shown;
        options.setChangedHandler([&] {
            if (options.pbLearning.visible && (shown.empty() || shown.back() != options.pbLearning.value))
                shown.push_back(options.pbLearning.value);
        });
        options.learnFrom("/mail/Junk");
        ASSERT_FALSE(shown.empty()) << c.messages;
        EXPECT_EQ(shown.front(), 0) << c.messages;
        EXPECT_EQ(static_cast<int>(shown.size()) - 1, c.redraws) << c.messages;
        EXPECT_EQ(options.learningTotal, c.messages);
        EXPECT_FALSE(options.pbLearning.visible);
    }
}

TEST_F(LearningTab, CancelEndsTheRunBetweenTwoMessagesAndKeepsWhatWasLearned) {
    learning.messages = 500;
    std::vector<std::string> ignored;
    learning.onMessage = [&](int count) {
        if (count != 120) return;
        // The window stays live: other commands wait, Cancel is taken.
        EXPECT_TRUE(options.busy());
        EXPECT_TRUE(options.btLearnCancel.visible);
        options.btForgetClick();
        options.btLearnFolderClick();
        options.btOKClick();
        options.btLearnCancelClick();
    };
    options.learnFrom("/mail/Junk");
    EXPECT_EQ(learning.learned, 120);
    EXPECT_EQ(learning.finished, 1);
    EXPECT_EQ(learning.forgotten, 0);
    EXPECT_EQ(options.modalResult, ModalResult::None);
    EXPECT_TRUE(fake.dialogs.fileRequests.empty());
    EXPECT_EQ(options.lblLearnProgress.caption, "Cancelled: learned 120 messages as spam from /mail/Junk");
    EXPECT_FALSE(options.busy());
    EXPECT_FALSE(options.btLearnCancel.visible);
}

TEST_F(LearningTab, AnUnreadableMessageEndsTheRunKeepingWhatCameBefore) {
    learning.failAt = 3;
    options.learnFrom("/mail/Junk");
    EXPECT_EQ(learning.learned, 3);
    EXPECT_EQ(learning.finished, 1);
    EXPECT_EQ(texts(), std::vector<std::string>{"msg 3 cannot be read: Permission denied"});
    EXPECT_FALSE(options.busy());
}

TEST_F(LearningTab, ForgetEverythingAsksFirst) {
    for (const ModalResult answer : {ModalResult::No, ModalResult::Yes}) {
        fake.dialogs.answers = {answer};
        options.btForgetClick();
    }
    EXPECT_EQ(learning.forgotten, 1);
    ASSERT_EQ(fake.dialogs.shown.size(), 2u);
    EXPECT_EQ(fake.dialogs.shown[0].kind, MessageKind::Confirmation);
    EXPECT_EQ(fake.dialogs.shown[0].text,
              "Really forget everything Quorvel has learned?  It then marks nothing until it has learned again "
              "from your decisions.");
    EXPECT_EQ(options.lblLearned.caption, "Learned from 0 spam messages and 0 wanted messages; 0 tokens kept.");
}

TEST_F(LearningTab, WithoutAModelTheTabOffersOnlyItsOptions) {
    TfrmOptionsMain alone(fake.platform);
    alone.FormShow();
    for (const Control* c : {&alone.lblLearned, &alone.btLearnFolder, &alone.btForget})
        EXPECT_FALSE(c->visible) << c->caption;
    alone.btLearnFolderClick();
    EXPECT_TRUE(fake.dialogs.fileRequests.empty());
}

}  // namespace
}  // namespace quorvel
