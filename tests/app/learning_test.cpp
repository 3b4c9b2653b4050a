// The learned judge through the main window's logic: every decision of the
// user that teaches it, what it may mark, the explanation, and the model
// kept across starts.
#include "app/learning.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "app/frm_main.h"
#include "app/mail_source.h"
#include "app/program.h"
#include "config/frm_options_main.h"
#include "platform/files.h"
#include "support/fake_platform.h"

namespace quorvel {
namespace {

// Header lines of a message that reads like spam, or like a colleague's.
TmsHeaders spammy(int n) {
    return {"Received: from mail.pills.example (mail.pills.example [64.0.57.3])",
            "From: Pills Shop <sales@pills.example>", "Subject: cheap pills offer number " + std::to_string(n),
            "Message-ID: <" + std::to_string(n) + ".offer@pills.example>", "X-Mailer: Mass Sender 3"};
}
TmsHeaders wanted(int n) {
    return {"Received: from mx.work.example (mx.work.example [192.0.2.7])", "From: Ann <ann@work.example>",
            "Subject: minutes of the meeting " + std::to_string(n),
            "Message-ID: <" + std::to_string(n) + ".ann@work.example>", "User-Agent: Mail Client 5"};
}

TmsRemoteInfoItem record(TmsHeaders headers) {
    TmsRemoteInfoItem item;
    item.Size = 2000;
    item.Headers = std::move(headers);
    return item;
}

class Learning : public ::testing::Test {
protected:
    Learning() { start(); }

    void start() {
        main.reset();
        main = std::make_unique<TfrmMain>(fake.platform, store, nullptr);
        main->setSpamSettingsWindow(&options);
        options.setLearning(&main->learning());
        options.rules.options.Valid = false;  // no domain look-ups
        options.rules.SetGridHeadings();
    }
    // Lists a message as a check run does: the record, then its row.
    void list(TmsHeaders headers) {
        auto item = std::make_unique<TmsRemoteInfoItem>(record(std::move(headers)));
        main->msRemotePOP1.RemoteInfo().Add(std::move(item));
        main->addMessageRow(main->msRemotePOP1.RemoteInfo().Items(rows()));
    }
    int rows() const { return static_cast<int>(main->ListView1.rows.size()); }
    MessageRow& row(int i) { return main->ListView1.rows[static_cast<std::size_t>(i)]; }
    void selectOnly(int i) {
        for (MessageRow& r : main->ListView1.rows) r.selected = false;
        row(i).selected = true;
    }
    LearnedAs learnedAs(int i) {
        return main->learning().model().learnedAs(
            learningKey(main->msRemotePOP1.RemoteInfo().Items(i).Headers));
    }
    // Teaches the model enough of both kinds to judge.
    void train(int each = 30) {
        for (int n = 0; n < each; ++n) {
            main->learning().learn(record(spammy(1000 + n)), true);
            main->learning().learn(record(wanted(1000 + n)), false);
        }
    }
    std::vector<int> marks() {
        std::vector<int> result;
        for (const MessageRow& r : main->ListView1.rows) result.push_back(r.stateIndex);
        return result;
    }

    testing::FakePlatform fake;
    SettingsStore store{fake.platform.settingsFolder};
    TfrmOptionsMain options{fake.platform};
    std::unique_ptr<TfrmMain> main;
};

TEST_F(Learning, EveryDecisionOfTheUserTeachesIt) {
    const struct {
        const char* name;
        int markBefore;
        std::function<void(TfrmMain&)> decide;
        int markAfter;
        LearnedAs learned;
    } cases[] = {
        {"This is spam", Mark::None, [](TfrmMain& m) { m.ThisIsSpam1Click(); }, Mark::Delete, LearnedAs::Spam},
        {"This is spam on a questioned row", Mark::Question, [](TfrmMain& m) { m.ThisIsSpam1Click(); }, Mark::Delete,
         LearnedAs::Spam},
        {"This is spam keeps the known-spammer mark", Mark::KnownSpammer, [](TfrmMain& m) { m.ThisIsSpam1Click(); },
         Mark::KnownSpammer, LearnedAs::Spam},
        {"This is not spam", Mark::Delete, [](TfrmMain& m) { m.ThisIsNotSpam1Click(); }, Mark::None, LearnedAs::Ham},
        {"This is not spam keeps an exception's picture", Mark::FirstException + 2,
         [](TfrmMain& m) { m.ThisIsNotSpam1Click(); }, Mark::FirstException + 2, LearnedAs::Ham},
        {"a delete mark cleared", Mark::Delete, [](TfrmMain& m) { m.btMarkClick(); }, Mark::None, LearnedAs::Ham},
        {"a known-spammer mark cleared", Mark::KnownSpammer, [](TfrmMain& m) { m.btMarkClick(); }, Mark::None,
         LearnedAs::Ham},
        {"a mark given by hand waits for the deletion", Mark::None, [](TfrmMain& m) { m.btMarkClick(); },
         Mark::Delete, LearnedAs::Nothing},
        {"an exception made of it", Mark::Question, [](TfrmMain& m) { m.AddtoExceptions1Click(); },
         Mark::FirstException, LearnedAs::Ham},
        {"reset all marks is no decision on a message", Mark::Delete, [](TfrmMain& m) { m.ResetButtonClick(); },
         Mark::None, LearnedAs::Nothing},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        main->ListView1.clear();
        main->msRemotePOP1.RemoteInfo().Clear();
        options.rules.gridExcept.setRowCount(1);
        options.rules.gridExcept.clearRow(1);
        main->learning().forget();
        list(wanted(1));
        list(spammy(1));
        row(1).stateIndex = c.markBefore;
        selectOnly(1);
        c.decide(*main);
        EXPECT_EQ(row(1).stateIndex, c.markAfter);
        EXPECT_EQ(learnedAs(1), c.learned);
        EXPECT_EQ(learnedAs(0), LearnedAs::Nothing);  // not selected
        EXPECT_EQ(row(0).stateIndex, Mark::None);
    }
}

TEST_F(Learning, AChangeOfMindMovesTheMessageAndNeverCountsItTwice) {
    list(spammy(1));
    selectOnly(0);
    const struct {
        std::function<void()> decide;
        LearnedAs learned;
        std::uint64_t spam, ham;
    } steps[] = {
        {[&] { main->ThisIsSpam1Click(); }, LearnedAs::Spam, 1, 0},
        {[&] { main->ThisIsSpam1Click(); }, LearnedAs::Spam, 1, 0},
        {[&] { main->ThisIsNotSpam1Click(); }, LearnedAs::Ham, 0, 1},
        {[&] { main->btMarkClick(); }, LearnedAs::Ham, 0, 1},    // marked by hand: nothing yet
        {[&] { main->btMarkClick(); }, LearnedAs::Ham, 0, 1},    // cleared again: still wanted
        {[&] { main->ThisIsSpam1Click(); }, LearnedAs::Spam, 1, 0},
    };
    for (const auto& step : steps) {
        step.decide();
        EXPECT_EQ(learnedAs(0), step.learned);
        EXPECT_EQ(main->learning().model().spamMessages(), step.spam);
        EXPECT_EQ(main->learning().model().hamMessages(), step.ham);
    }
}

TEST_F(Learning, LearningOffLearnsNothingAndMarksNothing) {
    options.rules.options.learning = false;
    list(spammy(1));
    selectOnly(0);
    main->ThisIsSpam1Click();
    EXPECT_EQ(row(0).stateIndex, Mark::Delete);  // the command still marks
    EXPECT_EQ(learnedAs(0), LearnedAs::Nothing);

    train();
    list(spammy(2));
    main->btRemarkClick();
    EXPECT_EQ(marks(), (std::vector<int>{Mark::None, Mark::None}));
}

TEST_F(Learning, UntrainedItMarksNothing) {
    train(LearnedModel::kMessagesToJudge - 1);
    options.rules.options.deleteLearnedSpam = true;
    list(spammy(1));
    main->btRemarkClick();
    EXPECT_EQ(row(0).stateIndex, Mark::None);
    EXPECT_GT(main->learning().facts().decisionsNeeded, 0);
}

// No learned guess deletes a message unless the user asked for it, at any
// level; an exception always wins.
TEST_F(Learning, OnlyTheDeletionOptionLetsTheJudgeMarkForDeletion) {
    train();
    list(spammy(1));
    list(wanted(1));
    list(spammy(2));
    for (int level = kCautiousLearning; level <= kEagerLearning; ++level) {
        SCOPED_TRACE(level);
        options.rules.options.learningLevel = level;
        options.rules.options.deleteLearnedSpam = false;
        main->btRemarkClick();
        EXPECT_EQ(marks(), (std::vector<int>{Mark::Question, Mark::None, Mark::Question}));
        options.rules.options.deleteLearnedSpam = true;
        main->btRemarkClick();
        EXPECT_EQ(marks(), (std::vector<int>{Mark::Delete, Mark::None, Mark::Delete}));
    }
    main->AddSenderException("sales@pills.example");
    main->btRemarkClick();
    EXPECT_EQ(marks(), (std::vector<int>{Mark::FirstException, Mark::None, Mark::FirstException}));
}

TEST_F(Learning, WhyShowsTheScoreAndTheDecidingTokens) {
    train();
    list(spammy(1));
    selectOnly(0);
    std::vector<std::string> shown;
    fake.dialogs.onShowModal = [&](Form& form) {
        if (auto* viewer = dynamic_cast<TfrmViewHeader*>(&form)) shown = viewer->lines();
        return form.modalResult;
    };
    main->Why1Click();
    ASSERT_GE(shown.size(), 4u);
    EXPECT_NE(shown[3].find("Learned: "), std::string::npos) << shown[3];
    EXPECT_NE(shown[3].find(" spam: "), std::string::npos) << shown[3];
}

TEST_F(Learning, TheTabPreviewsTheLearnedJudgeOverTheList) {
    train();
    list(spammy(1));
    list(wanted(1));
    list(spammy(2));
    options.FormShow();
    EXPECT_EQ(options.lblPreview.caption, "Would mark 2 of the 3 listed messages");
    EXPECT_EQ(options.lblNeeded.caption, "It has learned enough to judge new messages.");
    // The preview judged copies: the rows keep their marks.
    EXPECT_EQ(marks(), (std::vector<int>{Mark::None, Mark::None, Mark::None}));
}

TEST_F(Learning, WhatWasLearnedIsSavedAMomentLaterAndAtTheEnd) {
    const std::string path = LearnedModelFile::pathFor(fake.platform.programFolder);
    list(spammy(1));
    list(spammy(2));
    selectOnly(0);
    main->ThisIsSpam1Click();
    EXPECT_FALSE(fileExists(path));
    fake.timers.advance(TfrmMain::kLearningSaveDelay);
    EXPECT_TRUE(fileExists(path));
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

    selectOnly(1);
    main->ThisIsSpam1Click();
    start();  // the program ends before the save is due, and starts again
    EXPECT_EQ(main->learning().model().spamMessages(), 2u);
}

TEST_F(Learning, ADamagedModelIsSaidOnceInTheActivityLogAndLearningStartsAgain) {
    const std::string path = LearnedModelFile::pathFor(fake.platform.programFolder);
    writeFileAtomically(path, "not a model at all\n");
    store.writeString("General", "Logfile", fake.folder.file("log.txt"));
    Program program(fake.platform);
    program.start();
    EXPECT_EQ(program.frmMain()->learning().model().spamMessages(), 0u);
    program.frmMain()->setActivityLog(program.activityLog());
    const std::string log = readFileBytes(fake.folder.file("log.txt")).value_or("");
    ASSERT_NE(log.find("LEARNING "), std::string::npos);
    EXPECT_EQ(log.find("LEARNING "), log.rfind("LEARNING "));
}

TEST_F(Learning, LearnsAMaildirAnMboxAndSavedMessagesFromTheirHeaderLines) {
    namespace fs = std::filesystem;
    const std::string message = "From: Pills Shop <sales@pills.example>\r\nSubject: cheap pills\r\n\r\nBody.\r\n";
    const std::string root = fake.folder.file("mail");
    fs::create_directories(root + "/Maildir/cur");
    fs::create_directories(root + "/Maildir/new");
    writeFileAtomically(root + "/Maildir/cur/1", message);
    writeFileAtomically(root + "/Maildir/new/2", "Subject: another\r\n\r\nX\r\n");
    writeFileAtomically(root + "/Junk",
                        "From a@b Thu Dec 10 09:15:00 2026\nSubject: one\n\n>From the body, quoted.\n\n"
                        "From a@b Thu Dec 10 09:16:00 2026\nSubject: two\n\nbye\n");
    fs::create_directories(root + "/saved");
    writeFileAtomically(root + "/saved/a.eml", message);
    writeFileAtomically(root + "/saved/b.eml", "Subject: other\n\n");
    const struct {
        std::string path;
        int messages;
    } cases[] = {{root + "/Maildir", 2}, {root + "/Junk", 2}, {root + "/saved", 2}, {root + "/saved/a.eml", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        main->learning().forget();
        auto run = main->learning().learnFrom(c.path, true);
        EXPECT_EQ(run->total(), c.messages);
        while (run->next()) {
        }
        run->finish();
        EXPECT_EQ(main->learning().model().spamMessages(), static_cast<std::uint64_t>(c.messages));
        EXPECT_EQ(run->known(), 0);
        // Again: every message was learned before, and counts once.
        auto again = main->learning().learnFrom(c.path, true);
        while (again->next()) {
        }
        EXPECT_EQ(again->known(), c.messages);
        EXPECT_EQ(main->learning().model().spamMessages(), static_cast<std::uint64_t>(c.messages));
    }
    EXPECT_THROW(main->learning().learnFrom(root + "/none", true), std::runtime_error);
    fs::create_directories(root + "/empty");
    EXPECT_THROW(main->learning().learnFrom(root + "/empty", true), std::runtime_error);
}

TEST(StoredMessages, HeaderLinesEndAtTheFirstEmptyLineOrTheBound) {
    testing::TempFolder folder;
    const struct {
        const char* name;
        std::string text;
        std::size_t bound;
        std::string header;
    } cases[] = {
        {"CR LF", "A: 1\r\nB: 2\r\n\r\nbody\r\n", kMaxStoredHeaderOctets, "A: 1\r\nB: 2\r\n"},
        {"LF", "A: 1\nB: 2\n\nbody\n", kMaxStoredHeaderOctets, "A: 1\nB: 2\n"},
        {"no body", "A: 1\n", kMaxStoredHeaderOctets, "A: 1\n"},
        {"empty header", "\r\nbody\r\n", kMaxStoredHeaderOctets, ""},
        {"bound - 1", "A: 12345\n\n", 9, "A: 12345\n"},
        {"bound", "A: 12345\n\n", 10, "A: 12345\n"},
        {"bound + 1", "A: 12345\n\n", 8, "A: 12345"},
        {"an empty line past the first chunk", std::string(70000, 'x') + "\r\n\r\nbody", kMaxStoredHeaderOctets,
         std::string(70000, 'x') + "\r\n"},
        {"longer than the bound", std::string(300000, 'x'), kMaxStoredHeaderOctets,
         std::string(kMaxStoredHeaderOctets, 'x')},
        {"four times the bound", std::string(4 * kMaxStoredHeaderOctets, 'x'), kMaxStoredHeaderOctets,
         std::string(kMaxStoredHeaderOctets, 'x')},
    };
    for (const auto& c : cases) {
        const std::string path = folder.file("m.eml");
        writeFileAtomically(path, c.text);
        const StoredMessages found = findStoredMessages(path);
        ASSERT_EQ(found.messages.size(), 1u) << c.name;
        EXPECT_EQ(readStoredHeader(found, 0, c.bound), c.header) << c.name;
    }
}

TEST(StoredMessages, AFolderOrFileOverTheMessageBoundIsRefusedWhole) {
    testing::TempFolder folder;
    const std::size_t bound = 5;
    std::string mbox;
    for (std::size_t i = 0; i < bound; ++i) mbox += "From a@b Thu Dec 10 09:15:00 2026\nSubject: " + std::to_string(i) + "\n\n";
    const std::string mboxPath = folder.file("Inbox");
    writeFileAtomically(mboxPath, mbox);
    // A folder of saved messages, four times the bound.
    const std::string saved = folder.file("saved");
    std::filesystem::create_directory(saved);
    for (std::size_t i = 0; i < 4 * bound; ++i)
        writeFileAtomically(saved + "/m" + std::to_string(i) + ".eml", "Subject: x\n\n");
    const struct {
        const std::string& path;
        std::size_t messages;
    } sources[] = {{mboxPath, bound}, {saved, 4 * bound}};
    for (const auto& source : sources)
        for (const std::size_t cap : {source.messages - 1, source.messages, source.messages + 1, 4 * source.messages}) {
            SCOPED_TRACE(source.path + " cap " + std::to_string(cap));
            if (cap < source.messages) {
                EXPECT_THROW(findStoredMessages(source.path, cap), std::runtime_error);
            } else {
                EXPECT_EQ(findStoredMessages(source.path, cap).messages.size(), source.messages);
            }
        }
}

TEST(StoredMessages, AnMboxSplitsAtFromLinesOnly) {
    testing::TempFolder folder;
    const std::string path = folder.file("Inbox");
    // The second "From " line falls across two reads of 64 KiB.
    const std::string first = "From a@b Thu Dec 10 09:15:00 2026\nSubject: one\n\n";
    const std::string quoted = "\nnot From here\n>From quoted\n";
    const std::string filler(65536 - 2 - first.size() - quoted.size(), 'y');
    const std::string text =
        first + filler + quoted + "From c@d Thu Dec 10 09:16:00 2026\nSubject: two\n\nbye\n";
    ASSERT_EQ(text.find("From c@d"), 65534u);
    writeFileAtomically(path, text);
    const StoredMessages found = findStoredMessages(path);
    ASSERT_EQ(found.messages.size(), 2u);
    EXPECT_EQ(readStoredHeader(found, 0), "Subject: one\n");
    EXPECT_EQ(readStoredHeader(found, 1), "Subject: two\n");
    EXPECT_EQ(found.messages[1].offset + found.messages[1].size, text.size());
}

}  // namespace
}  // namespace quorvel
