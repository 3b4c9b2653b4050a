// What the message list pays per message: the Subject, From and Date look-ups
// over 10,000 generated header blocks of varied shape.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "mail/headers.h"

using namespace quorvel;

namespace {

constexpr int kMessages = 10000;

std::vector<TmsHeaders> makeMessages() {
    std::mt19937 random(20000314);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const char* subjects[] = {
        "Subject: Meeting moved to Thursday",
        "Subject: =?iso-8859-1?Q?Caf=E9_au_lait_for_everyone?=",
        "Subject: =?UTF-8?B?SGVsbG8gZnJvbSB0aGUgb3RoZXIgc2lkZQ==?= again",
        "subject: RE: RE: FW: your_account_statement",
    };
    const char* froms[] = {
        "From: \"Sales Team\" <sales@example.org>",
        "From: st@example.org (Sales Team)",
        "From: plain@example.net",
        "FROM: =?utf-8?Q?J=C3=B6rg?= <joerg@example.de>",
    };
    const char* dates[] = {
        "Date: Tue, 14 Mar 2000 10:20:30 +0100",
        "Date: 14 Mar 00 10:20",
        "Date: Fri, 10 Dec 1999 23:59:59 -0500 (EST)",
        "Date: 3-Jan-2000",
    };
    std::vector<TmsHeaders> messages(kMessages);
    for (TmsHeaders& lines : messages) {
        for (int hop = 0, hops = 2 + pick(12); hop < hops; ++hop) {
            lines.push_back("Received: from relay" + std::to_string(hop) + ".example.org ([192.0.2." +
                            std::to_string(pick(255)) + "])");
            lines.push_back("\tby mx.example.net with ESMTP id " + std::to_string(random()));
            lines.push_back("\tfor <you@example.net>; Tue, 14 Mar 2000 10:20:30 +0100");
        }
        std::vector<std::string> fields = {subjects[pick(4)], froms[pick(4)], "To: you@example.net",
                                           "Message-ID: <" + std::to_string(random()) + "@example.org>",
                                           "MIME-Version: 1.0", "Content-Type: text/plain; charset=us-ascii"};
        if (pick(10) != 0) fields.push_back(dates[pick(4)]);  // some messages carry no date
        std::shuffle(fields.begin(), fields.end(), random);
        for (const std::string& field : fields) {
            lines.push_back(field);
            if (pick(4) == 0) lines.push_back("  folded continuation of the field above");
        }
    }
    return messages;
}

const std::vector<TmsHeaders>& messages() {
    static const std::vector<TmsHeaders> all = makeMessages();
    return all;
}

void BM_MessageRow(benchmark::State& state) {
    std::string subject, from, address, name, date, zone;
    TDateTime when = 0;
    for (auto _ : state) {
        for (const TmsHeaders& headers : messages()) {
            GetFieldValue(headers, "Subject", subject);
            GetFieldValue(headers, "From", from);
            SplitAddress(from, address, name);
            GetFieldValue(headers, "Date", date);
            ParseDate(date, when, zone);
            benchmark::DoNotOptimize(subject);
            benchmark::DoNotOptimize(address);
            benchmark::DoNotOptimize(when);
        }
    }
    state.SetItemsProcessed(state.iterations() * kMessages);
}
BENCHMARK(BM_MessageRow)->Unit(benchmark::kMillisecond);

// The same three fields found by a bare case-insensitive prefix match: the
// floor any look-up pays to walk the lines.
void BM_FindLinesOnly(benchmark::State& state) {
    auto find = [](const TmsHeaders& headers, std::string_view field) {
        for (const std::string& line : headers) {
            if (line.size() < field.size()) continue;
            bool same = true;
            for (std::size_t i = 0; i < field.size() && same; ++i)
                same = (line[i] | 0x20) == (field[i] | 0x20);
            if (same) return &line;
        }
        return static_cast<const std::string*>(nullptr);
    };
    for (auto _ : state) {
        for (const TmsHeaders& headers : messages()) {
            benchmark::DoNotOptimize(find(headers, "subject:"));
            benchmark::DoNotOptimize(find(headers, "from:"));
            benchmark::DoNotOptimize(find(headers, "date:"));
        }
    }
    state.SetItemsProcessed(state.iterations() * kMessages);
}
BENCHMARK(BM_FindLinesOnly)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
