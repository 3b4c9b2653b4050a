// quorvel-check learn: the mail it reads, what it keeps, and the learned
// reason in its judgement of a saved message.
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

#include "classify/learned_model_file.h"
#include "classify/learning_tokenizer.h"
#include "cli/arguments.h"
#include "cli/check_tool.h"
#include "cli/mail_sources.h"
#include "platform/files.h"
#include "support/every_domain_exists.h"
#include "support/fake_platform.h"
#include "support/learning_fixture.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;
using cli::Arguments;

std::string messageText(const TmsHeaders& headers, const std::string& body = "Hello.\r\n") {
    return joinHeaderLines(headers) + "\r\n" + body;
}

TEST(CliArguments, ParsesTheLearnCommand) {
    using A = Arguments::LearnAction;
    const struct {
        std::vector<std::string> words;
        A action;
        std::vector<std::string> spam, ham;
    } cases[] = {
        {{"learn", "--spam", "a", "b", "--ham", "c"}, A::Train, {"a", "b"}, {"c"}},
        {{"learn", "--ham=c", "--spam", "a", "--ham", "d"}, A::Train, {"a"}, {"c", "d"}},
        {{"learn", "--spam", "--", "--odd"}, A::Train, {"--odd"}, {}},
        {{"learn", "--status", "--format", "json"}, A::Status, {}, {}},
        {{"learn", "--forget"}, A::Forget, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.words));
        const Arguments args = cli::parseArguments(c.words);
        EXPECT_EQ(args.command, Arguments::Command::Learn);
        EXPECT_EQ(args.learn, c.action);
        EXPECT_EQ(args.spamPaths, c.spam);
        EXPECT_EQ(args.hamPaths, c.ham);
    }
    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"learn"}, "learn needs --spam PATH..., --ham PATH..., --status or --forget"},
        {{"learn", "a.eml"}, "say --spam or --ham before \"a.eml\""},
        {{"learn", "--spam"}, "--spam and --ham need a file or folder"},
        {{"learn", "--status", "--forget"}, "--status and --forget cannot be used together"},
        {{"learn", "--status", "--spam", "a"}, "learn takes mail to learn from, or --status, or --forget"},
        {{"learn", "--delete"}, "unknown option \"--delete\""},
    };
    for (const auto& [words, message] : refused) {
        SCOPED_TRACE(::testing::PrintToString(words));
        try {
            cli::parseArguments(words);
            ADD_FAILURE() << "accepted";
        } catch (const cli::UsageError& error) {
            EXPECT_EQ(error.message, message);
        }
    }
}

class MailFolder : public ::testing::Test {
protected:
    testing::TempFolder folder;
    std::string path(const std::string& name) const { return folder.file(name); }
    void write(const std::string& name, const std::string& bytes) {
        fs::create_directories(fs::path(path(name)).parent_path());
        writeFileAtomically(path(name), bytes);
    }
    // What the sources find in `name`: each message's Subject value and size.
    std::vector<std::pair<std::string, std::uint64_t>> found(const std::string& name,
                                                             std::vector<std::string>* skipped = nullptr) {
        std::vector<std::pair<std::string, std::uint64_t>> messages;
        cli::MailSources sources;
        sources.message = [&](const TmsHeaders& headers, std::uint64_t size) {
            std::string subject = "(none)";
            for (const auto& line : headers)
                if (line.rfind("Subject: ", 0) == 0) subject = line.substr(9);
            messages.emplace_back(subject, size);
        };
        sources.skipped = [&](const std::string& why) {
            if (skipped) skipped->push_back(why);
        };
        sources.read(path(name));
        return messages;
    }
};

TEST_F(MailFolder, ReadsMboxMessagesAtTheirSeparatorsOnly) {
    const std::string one = "Subject: one\nX: 1\n\nbody\nFrom here on it is the body\n\n";
    const std::string two = "Subject: two\n folded\n\n>From quoted\n\n";
    const std::string three = "Subject: three\r\n\r\nlast";
    write("box.mbox", "From a@b Mon Jul  1 10:00:00 2002\n" + one + "From c@d Mon Jul  1 10:00:00 2002\n" + two +
                          "From e@f Mon Jul  1 10:00:00 2002\n" + three);
    const auto messages = found("box.mbox");
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0], std::make_pair(std::string("one"), std::uint64_t{one.size()}));
    EXPECT_EQ(messages[1], std::make_pair(std::string("two"), std::uint64_t{two.size()}));
    EXPECT_EQ(messages[2].first, "three");
}

TEST_F(MailFolder, ReadsAMaildirsOwnFilesAndNothingItLinksTo) {
    write("outside/secret.eml", "Subject: outside\r\n\r\n");
    write("md/cur/1:2,S", "Subject: cur one\r\n\r\n");
    write("md/new/2", "Subject: new two\r\n\r\n");
    write("md/new/.hidden", "Subject: hidden\r\n\r\n");
    write("md/new/deeper/3", "Subject: deeper\r\n\r\n");
    write("md/tmp/4", "Subject: being written\r\n\r\n");
    write("md/cur/not-mail", "just text\n");
    fs::create_symlink(path("outside/secret.eml"), path("md/cur/link"));
    fs::create_directory_symlink(path("outside"), path("md/new/linked-folder"));
    std::vector<std::string> skipped;
    const auto messages = found("md", &skipped);
    std::vector<std::string> subjects;
    for (const auto& m : messages) subjects.push_back(m.first);
    EXPECT_EQ(subjects, (std::vector<std::string>{"cur one", "new two"}));
    ASSERT_EQ(skipped.size(), 1u);
    EXPECT_NE(skipped[0].find("not-mail: not a mail message"), std::string::npos);
    // A folder of saved messages; a link the user names is followed.
    EXPECT_EQ(found("outside").size(), 1u);
    EXPECT_EQ(found("md/cur/link").size(), 1u);
}

TEST_F(MailFolder, PassesOverFilesPastTheBound) {
    const std::uint64_t n = cli::MailSources::kMaxMessageFileOctets;
    for (const std::uint64_t size : {n - 1, n, n + 1, 3 * n}) {
        const std::string name = "big" + std::to_string(size) + ".eml";
        write(name, "Subject: big\r\n\r\n");
        // Sparse: the size without the disk.
        ASSERT_EQ(truncate(path(name).c_str(), static_cast<off_t>(size)), 0);
        std::vector<std::string> skipped;
        const auto messages = found(name, &skipped);
        EXPECT_EQ(messages.size(), size <= n ? 1u : 0u) << size;
        EXPECT_EQ(skipped.size(), size <= n ? 0u : 1u) << size;
        if (size > n) {
            EXPECT_NE(skipped[0].find("larger than 64 MB, passed over"), std::string::npos);
        }
        fs::remove(path(name));
    }
}

TEST_F(MailFolder, HeaderLinesAreReadUpToTheirBound) {
    const std::size_t n = cli::MailSources::kMaxHeaderOctets;
    const std::string field = "X-Pad: " + std::string(1000 - 7, 'p');  // 1000 octets
    std::string text = "Subject: padded\r\n";
    for (std::size_t i = 0; i < 3 * n / 1000; ++i) text += field + "\r\n";
    write("padded.eml", text + "\r\n");
    std::size_t lines = 0, octets = 0;
    cli::MailSources sources;
    sources.message = [&](const TmsHeaders& headers, std::uint64_t) {
        lines = headers.size();
        for (const auto& line : headers) octets += line.size();
    };
    sources.skipped = [](const std::string&) {};
    sources.read(path("padded.eml"));
    EXPECT_LE(octets, n);
    EXPECT_GT(octets, n - 1000);
    EXPECT_GT(lines, 200u);
}

class CliLearn : public MailFolder {
protected:
    testing::FakePlatform fake;
    testing::EveryDomainExists resolver;
    std::ostringstream out, err;

    int runTool(std::vector<std::string> words) {
        out.str("");
        err.str("");
        cli::CheckTool tool({fake.loop, fake.loop, fake.clock, fake.platform.programFolder,
                             fake.platform.settingsFolder},
                            {out, err, false, false});
        tool.setDomainResolver(&resolver);
        return tool.run(words);
    }

    // Spam in an mbox and a maildir, ham as saved messages: n of each.
    void writeMail(int n) {
        std::string mbox;
        for (int i = 0; i < n; ++i) {
            if (i % 2 == 0)
                mbox += "From bulk@x Mon Jul  1 10:00:00 2002\n" + messageText(learningSpam(i)) + "\n";
            else
                write("junk/cur/" + std::to_string(i), messageText(learningSpam(i)));
            write("inbox/" + std::to_string(i) + ".eml", messageText(learningHam(i)));
        }
        write("junk.mbox", mbox);
    }
};

TEST_F(CliLearn, LearnsFromEmlMaildirAndMboxThenJudgesWithTheLearnedReason) {
    writeMail(24);
    EXPECT_EQ(runTool({"learn", "--spam", path("junk.mbox"), path("junk"), "--ham", path("inbox")}), cli::kNothingMarked)
        << err.str();
    EXPECT_EQ(err.str(), "");
    EXPECT_NE(out.str().find("Learned 24 spam and 24 ham.\n"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("Tokens kept: "), std::string::npos);
    EXPECT_NE(out.str().find("The judge is trained"), std::string::npos);

    // The same mail again is known; spam named as ham moves.
    EXPECT_EQ(runTool({"learn", "--spam", path("junk.mbox"), "--ham", path("junk")}), cli::kNothingMarked);
    EXPECT_NE(out.str().find("Learned 0 spam and 0 ham; 0 moved to spam and 12 to ham; 12 known already."),
              std::string::npos)
        << out.str();
    EXPECT_EQ(runTool({"learn", "--spam", path("junk")}), cli::kNothingMarked);

    EXPECT_EQ(runTool({"learn", "--status", "--format", "json"}), cli::kNothingMarked);
    const std::string status = out.str();
    EXPECT_NE(status.find("\"spam\":24,\"ham\":24,"), std::string::npos) << status;
    EXPECT_NE(status.find("\"spamNeeded\":0,\"hamNeeded\":0,\"trained\":true}\n"), std::string::npos) << status;

    // The saved message's judgement carries the learned reason.
    write("new-spam.eml", messageText(learningSpam(900)));
    EXPECT_EQ(runTool({"why", path("new-spam.eml")}), cli::kNothingMarked) << err.str();
    EXPECT_NE(out.str().find("Question :  Learned: 0.99 spam: "), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("Mark: question"), std::string::npos) << out.str();
    EXPECT_EQ(runTool({"why", "--format", "json", path("new-spam.eml")}), cli::kNothingMarked);
    EXPECT_NE(out.str().find("\"markName\":\"question\""), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("\"Question :  Learned: 0.99 spam: "), std::string::npos) << out.str();
    // Only with the deletion option does the judge mark for deletion.
    writeFileAtomically(joinPath(fake.platform.programFolder, "quorvel.ini"),
                        "[Learning]\r\nDeleteLearnedSpam=1\r\n");
    EXPECT_EQ(runTool({"why", path("new-spam.eml")}), cli::kMarkedFound) << err.str();
    EXPECT_NE(out.str().find("Delete   :  Learned: "), std::string::npos) << out.str();

    EXPECT_EQ(runTool({"learn", "--forget"}), cli::kNothingMarked);
    EXPECT_EQ(runTool({"learn", "--status"}), cli::kNothingMarked);
    EXPECT_NE(out.str().find("Spam learned: 0\nHam learned: 0\nTokens kept: 0\n"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("until it has learned 20 more spam and 20 more ham"), std::string::npos) << out.str();
}

TEST_F(CliLearn, NothingToLearnFromEndsWithTheInputStatus) {
    write("empty/readme.txt", "nothing here\n");
    EXPECT_EQ(runTool({"learn", "--spam", path("empty"), path("missing")}), cli::kInputFile);
    EXPECT_NE(err.str().find("readme.txt: not a mail message"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("missing: No such file or directory"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("no mail message was found to learn from"), std::string::npos) << err.str();
}

TEST_F(CliLearn, ADamagedModelIsSetAsideWithALine) {
    writeFileAtomically(LearnedModelFile::pathFor(fake.platform.programFolder), "garbage");
    writeMail(2);
    EXPECT_EQ(runTool({"learn", "--ham", path("inbox")}), cli::kNothingMarked);
    EXPECT_NE(err.str().find("set aside as learned.dat.damaged"), std::string::npos) << err.str();
    EXPECT_NE(out.str().find("Learned 0 spam and 2 ham."), std::string::npos) << out.str();
}

}  // namespace
}  // namespace quorvel
