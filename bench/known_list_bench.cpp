// Loading and rebuilding the known-spammer list at 100,000 and 1,000,000
// entries, and looking an address up in it. The file I/O is left out: what is
// measured is splitting, filtering, sorting and writing the bytes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "config/known_list.h"

using namespace quorvel;

namespace {

// A deterministic, unsorted list shaped like the real one: mostly addresses,
// some domain names, mixed letter case, a few all-numeric local parts and
// neighbouring duplicates that the rebuild drops.
std::string makeListText(std::int64_t count) {
    std::string text;
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    const auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    for (std::int64_t i = 0; i < count; ++i) {
        const std::uint64_t r = next();
        const std::string domain = "mail" + std::to_string(r % 50000) + (r & 1 ? ".Example.com" : ".spam.net");
        if (r % 10 == 0)
            text += domain;
        else if (r % 97 == 0)
            text += std::to_string(r % 100000) + "@" + domain;
        else
            text += (r & 2 ? "Offer" : "offer") + std::to_string(r >> 20) + "@" + domain;
        text += "\r\n";
        if (r % 53 == 0) text += "OFFER" + std::to_string(r >> 20) + "@" + domain + "\r\n";
    }
    return text;
}

void BM_LoadUpKnownList(benchmark::State& state) {
    const std::string text = makeListText(state.range(0));
    for (auto _ : state) {
        KnownList list;
        list.loadFromBytes(text);
        benchmark::DoNotOptimize(list.toFileBytes().data());
    }
    state.SetComplexityN(state.range(0));
}

// At start-up the file is one the program wrote, already in order.
void BM_LoadUpSortedKnownList(benchmark::State& state) {
    KnownList sorted;
    sorted.loadFromBytes(makeListText(state.range(0)));
    const std::string text = sorted.toFileBytes();
    for (auto _ : state) {
        KnownList list;
        list.loadFromBytes(text);
        benchmark::DoNotOptimize(list.toFileBytes().data());
    }
    state.SetComplexityN(state.range(0));
}

void BM_RebuildKnownList(benchmark::State& state) {
    const std::string text = makeListText(state.range(0));
    for (auto _ : state) {
        KnownList list;
        list.assign(filterKnownListLines(text));
        std::string file = list.toFileBytes();  // the bytes "known.lst" gets
        benchmark::DoNotOptimize(file.data());
    }
    state.SetComplexityN(state.range(0));
}

void BM_FindInKnownList(benchmark::State& state) {
    KnownList list;
    list.loadFromBytes(makeListText(state.range(0)));
    std::size_t i = 0;
    for (auto _ : state) {
        // One entry present and one absent, as a message's two look-ups.
        benchmark::DoNotOptimize(list.FindInKnownList(list.entry(i % list.size())));
        benchmark::DoNotOptimize(list.FindInKnownList("nobody@nowhere.invalid"));
        i += 7919;
    }
    state.SetComplexityN(state.range(0));
}

}  // namespace

BENCHMARK(BM_LoadUpKnownList)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oNLogN);
BENCHMARK(BM_LoadUpSortedKnownList)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);
BENCHMARK(BM_RebuildKnownList)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oNLogN);
BENCHMARK(BM_FindInKnownList)->Arg(100000)->Arg(1000000)->Complexity(benchmark::oLogN);

BENCHMARK_MAIN();
