// The learning judge at the size of a model trained for years: 200,000
// tokens. Judging one message (its tokens from its header lines, then the
// score), loading the model from its file, and learning 1,000 messages with
// the merging save that follows.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "classify/learned_judge.h"
#include "classify/learned_model_file.h"
#include "classify/learning_tokenizer.h"
#include "platform/files.h"

using namespace quorvel;

namespace {

constexpr std::size_t kModelTokens = 200000;

// Header lines of a varied message, about 1.5 KB, as a provider's server
// hands them over.
class Messages {
public:
    explicit Messages(std::uint32_t seed) : random_(seed) {}
    std::string next() {
        const auto word = [&] { return "w" + std::to_string(zipf(60000)); };
        const auto domain = [&] { return "d" + std::to_string(zipf(20000)) + ".example"; };
        const auto ip = [&] {
            return std::to_string(zipf(200)) + "." + std::to_string(zipf(250)) + "." + std::to_string(pick(250)) +
                   "." + std::to_string(pick(250));
        };
        const std::string from = domain();
        std::string h;
        h += "Return-Path: <" + word() + "@" + from + ">\r\n";
        for (int hop = 0; hop < 3; ++hop)
            h += "Received: from " + domain() + " (host" + std::to_string(pick(999)) + "." + domain() + " [" + ip() +
                 "])\r\n\tby mx" + std::to_string(pick(5)) + ".home.example (Postfix) with ESMTP id " +
                 std::to_string(pick(1u << 30)) + "\r\n\tfor <me@home.example>; Tue, 2 Jul 2002 09:" +
                 std::to_string(10 + pick(49)) + ":00 +0100\r\n";
        h += "From: \"" + word() + " " + word() + "\" <" + word() + "@" + from + ">\r\n";
        h += "To: me@home.example\r\n";
        h += "Subject:";
        for (int w = 0; w < 7; ++w) h += " " + word();
        h += "\r\nDate: Tue, 2 Jul 2002 09:" + std::to_string(10 + pick(49)) + ":00 +0100\r\n";
        h += "Message-ID: <" + std::to_string(pick(1u << 30)) + "." + word() + "@" + from + ">\r\n";
        h += "X-Mailer: " + word() + " " + std::to_string(pick(9)) + "\r\n";
        h += "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=\"iso-8859-1\"\r\n";
        h += "List-Id: <" + word() + "." + domain() + ">\r\n";
        return h;
    }

private:
    std::uint32_t pick(std::uint32_t n) { return std::uniform_int_distribution<std::uint32_t>(0, n - 1)(random_); }
    // Few values often, many seldom, as words in mail are.
    std::uint32_t zipf(std::uint32_t n) {
        const double u = std::uniform_real_distribution<double>(0, 1)(random_);
        return static_cast<std::uint32_t>(std::pow(static_cast<double>(n), u)) - 1;
    }
    std::mt19937 random_;
};

const LearnedModel& bigModel() {
    static const LearnedModel model = [] {
        LearnedModel m;
        Messages messages(7);
        std::uint64_t i = 0;
        while (m.tokenCount() < kModelTokens) {
            const std::string h = messages.next();
            m.train(learningKey(h), learningTokens(h, 2000 + i % 50000), i % 3 == 0);
            ++i;
        }
        return m;
    }();
    return model;
}

std::string modelPath() {
    static const std::string path = [] {
        const std::string folder = std::filesystem::temp_directory_path() / "quorvel-learning-bench";
        std::filesystem::create_directories(folder);
        const std::string p = LearnedModelFile::pathFor(folder);
        std::filesystem::remove(p);
        LearnedModel copy = bigModel();
        LearnedModelFile(p).save(copy);
        return p;
    }();
    return path;
}

void BM_JudgeMessage(benchmark::State& state) {
    const LearnedModel& model = bigModel();
    Messages messages(99);
    std::vector<std::string> headers;
    for (int i = 0; i < 1000; ++i) headers.push_back(messages.next());
    std::size_t i = 0;
    for (auto _ : state) {
        const std::string& h = headers[i++ % headers.size()];
        benchmark::DoNotOptimize(judgeLearned(model, learningTokens(h, 4000), LearningCutoffs{}));
    }
    state.counters["tokens"] = static_cast<double>(model.tokenCount());
}
BENCHMARK(BM_JudgeMessage)->Unit(benchmark::kMicrosecond);

void BM_TokenizeOnly(benchmark::State& state) {
    Messages messages(99);
    std::vector<std::string> headers;
    for (int i = 0; i < 1000; ++i) headers.push_back(messages.next());
    std::size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(learningTokens(headers[i++ % headers.size()], 4000));
}
BENCHMARK(BM_TokenizeOnly)->Unit(benchmark::kMicrosecond);

void BM_LoadModel(benchmark::State& state) {
    const std::string path = modelPath();
    for (auto _ : state) {
        LearnedModel model;
        LearnedModelFile file(path);
        benchmark::DoNotOptimize(file.load(model));
        if (model.tokenCount() < kModelTokens * 9 / 10) state.SkipWithError("model not read whole");
    }
}
BENCHMARK(BM_LoadModel)->Unit(benchmark::kMillisecond);

void BM_Learn1000Messages(benchmark::State& state) {
    const std::string path = modelPath();
    Messages messages(1234);
    std::vector<std::string> headers;
    for (int i = 0; i < 1000; ++i) headers.push_back(messages.next());
    const std::string pristine = readFileBytes(path).value_or("");
    for (auto _ : state) {
        state.PauseTiming();
        LearnedModel model;
        LearnedModelFile file(path);
        file.load(model);
        state.ResumeTiming();
        for (std::size_t i = 0; i < headers.size(); ++i)
            model.train(learningKey(headers[i]), learningTokens(headers[i], 3000), i % 2 == 0);
        file.save(model);
        state.PauseTiming();
        // The next round learns the same messages anew.
        writeFileAtomically(path, pristine);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Learn1000Messages)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
