// The learning judge over a labelled corpus of header files, for
// learn_quality.sh: trained on one list and judging another, or judging and
// learning from its mistakes in the list's order (as a user's corrections
// teach it). Prints one line per judged message: its class, the verdict and
// the score; and a summary table on stderr.
//
// Usage: learn_quality split TRAIN TEST [options]
//        learn_quality online TEST [options]
// A list holds lines "spam|ham <tab> size <tab> path"; each file holds the
// header lines of one message.
// Options: --cutoffs LEVEL, --spam-cutoff X, --ham-cutoff X, --strength S,
// --value X, --min-dev D, --max-tokens N.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "classify/learned_judge.h"
#include "classify/learned_model.h"
#include "classify/learning_tokenizer.h"
#include "platform/files.h"

using namespace quorvel;

namespace {

struct Item {
    bool spam = false;
    std::uint64_t size = 0;
    std::string headers;
};

std::vector<Item> readList(const std::string& path) {
    std::vector<Item> items;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string kind, size, file;
        std::getline(fields, kind, '\t');
        std::getline(fields, size, '\t');
        std::getline(fields, file);
        Item item;
        item.spam = kind == "spam";
        item.size = std::strtoull(size.c_str(), nullptr, 10);
        item.headers = readFileBytes(file).value_or("");
        items.push_back(std::move(item));
    }
    return items;
}

struct Tally {
    long spamDeleted = 0, spamQuestioned = 0, spamMissed = 0, hamDeleted = 0, hamQuestioned = 0, spam = 0, ham = 0;
    void add(bool spam_, LearnedVerdict verdict) {
        if (spam_) {
            ++spam;
            if (verdict == LearnedVerdict::Spam) ++spamDeleted;
            else if (verdict == LearnedVerdict::Unsure) ++spamQuestioned;
            else ++spamMissed;
        } else {
            ++ham;
            if (verdict == LearnedVerdict::Spam) ++hamDeleted;
            else if (verdict == LearnedVerdict::Unsure) ++hamQuestioned;
        }
    }
};

const char* word(LearnedVerdict verdict) {
    switch (verdict) {
    case LearnedVerdict::Spam: return "S";
    case LearnedVerdict::Unsure: return "U";
    case LearnedVerdict::Ham: return "H";
    case LearnedVerdict::Untrained: return "-";
    }
    return "?";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: learn_quality split TRAIN TEST | online TEST [options]\n";
        return 2;
    }
    const std::string mode = argv[1];
    // "online TEST" starts empty; "online-after TRAIN TEST" after training on TRAIN.
    int next = mode == "online" ? 3 : 4;
    LearningCutoffs cutoffs = LearningCutoffs::preset(LearningCutoffs::kDefaultLevel);
    RobinsonParameters parameters;
    for (; next + 1 < argc; next += 2) {
        const std::string option = argv[next];
        const double value = std::atof(argv[next + 1]);
        if (option == "--cutoffs") cutoffs = LearningCutoffs::preset(static_cast<int>(value));
        else if (option == "--spam-cutoff") cutoffs.spam = value;
        else if (option == "--ham-cutoff") cutoffs.ham = value;
        else if (option == "--strength") parameters.strength = value;
        else if (option == "--value") parameters.value = value;
        else if (option == "--min-dev") parameters.minDeviation = value;
        else if (option == "--max-tokens") parameters.maxTokens = static_cast<std::size_t>(value);
    }
    LearnedModel model;
    Tally tally;
    if (mode == "split") {
        for (const Item& item : readList(argv[2]))
            model.train(learningKey(item.headers), learningTokens(item.headers, item.size), item.spam);
        for (const Item& item : readList(argv[3])) {
            const auto judgement = judgeLearned(model, learningTokens(item.headers, item.size), cutoffs, parameters);
            tally.add(item.spam, judgement.verdict);
            std::printf("%s\t%s\t%.6f\t%s\n", item.spam ? "spam" : "ham", word(judgement.verdict), judgement.score, judgement.detail().c_str());
        }
    } else {
        if (mode == "online-after")
            for (const Item& item : readList(argv[2]))
                model.train(learningKey(item.headers), learningTokens(item.headers, item.size), item.spam);
        for (const Item& item : readList(argv[mode == "online" ? 2 : 3])) {
            const auto tokens = learningTokens(item.headers, item.size);
            const auto judgement = judgeLearned(model, tokens, cutoffs, parameters);
            tally.add(item.spam, judgement.verdict);
            std::printf("%s\t%s\t%.6f\t%s\n", item.spam ? "spam" : "ham", word(judgement.verdict), judgement.score, judgement.detail().c_str());
            const bool right = judgement.verdict == (item.spam ? LearnedVerdict::Spam : LearnedVerdict::Ham);
            if (!right) model.train(learningKey(item.headers), tokens, item.spam);
        }
    }
    std::fprintf(stderr, "%ld %ld %ld %ld %ld %ld %ld\n", tally.spam, tally.spamDeleted, tally.spamQuestioned,
                 tally.spamMissed, tally.ham, tally.hamDeleted, tally.hamQuestioned);
    return 0;
}
