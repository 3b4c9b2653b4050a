// Judging messages against large rule tables, next to the header look-ups
// that the message list makes for the same messages.
//
// 10,000 varied messages; 1,000 subject, 1,000 sender, 200 header and 500
// exception rules; a known-spammer list of 100,000 entries. The unknown-domain
// check is off: its cost is a DNS round trip, not the rules.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "app/message_list.h"
#include "classify/classification.h"

using namespace quorvel;

namespace {

class BenchHost : public ClassificationHost {
public:
    bool explaining() const override { return false; }
    void whyAdd(bool, const std::string&, const std::string&, const std::string&, bool) override {}
    void whyExcept(const std::string&, const std::string&, const std::string&, bool) override {}
    int serverToIndex() override { return 1; }
};

struct Corpus {
    std::vector<std::string> words, domains;
    std::vector<TmsRemoteInfoItem> records;
    std::vector<MessageRow> rows;
    SpamRules rules{std::filesystem::temp_directory_path().string()};
    KnownList known;
    // Messages that no rule, exception or list entry touches: every table
    // is scanned to its end.
    std::vector<std::size_t> clean;

    explicit Corpus(std::uint32_t seed) : random_(seed) {
        for (int i = 0; i < 3000; ++i) words.push_back(word(4, 10));
        for (int i = 0; i < 3000; ++i) domains.push_back(word(3, 9) + (i % 3 ? ".com" : ".net"));
        makeRules();
        makeKnownList();
        makeMessages();
    }

private:
    std::mt19937 random_;

    std::size_t pick(std::size_t n) { return random_() % n; }
    std::string word(int shortest, int longest) {
        std::string w(static_cast<std::size_t>(shortest) + pick(static_cast<std::size_t>(longest - shortest + 1)), 'a');
        for (char& c : w) c = static_cast<char>('a' + pick(26));
        return w;
    }
    // Words 0..999 are spam words of the subject rules; the rest are ordinary.
    const std::string& spamWord() { return words[pick(1000)]; }
    const std::string& plainWord() { return words[1000 + pick(2000)]; }
    // Domains 0..499 are spam senders, 500..749 excepted friends; the rest are ordinary.
    std::string address(std::size_t domain) { return word(3, 8) + "@" + domains[domain]; }

    static void set(RuleTable& table, int row, std::vector<std::string> cells) {
        for (std::size_t col = 0; col < cells.size(); ++col) table.setCell(static_cast<int>(col), row, cells[col]);
    }

    void makeRules() {
        static const char* subjectOps[] = {"Contains (whole word)", "Contains (whole word)", "Contains",
                                           "Starts with", "Equals", "Contains"};
        rules.gridSubject.setRowCount(1001);
        for (int row = 1; row <= 1000; ++row)
            set(rules.gridSubject, row, {"", subjectOps[pick(6)], words[static_cast<std::size_t>(row - 1)],
                                         pick(10) ? "No" : "Yes", pick(3) ? "Yes" : "No", "0"});

        static const char* senderOps[] = {"Equals", "Ends with", "Contains", "Starts with"};
        rules.gridFrom.setRowCount(1001);
        for (int row = 1; row <= 1000; ++row) {
            if (row % 100 == 0) {
                static const char* characterOps[] = {"All numeric", "50% numeric", "Is UPPERCASE", "Is blank"};
                set(rules.gridFrom, row, {"", "E-mail address", characterOps[pick(4)], "", "No", "0"});
            } else if (row % 2) {
                set(rules.gridFrom, row, {"", "Domain name", senderOps[pick(4)], domains[pick(500)], "Yes", "0"});
            } else {
                set(rules.gridFrom, row, {"", "E-mail address", "Equals", address(pick(500)), "Yes", "0"});
            }
        }

        rules.gridHeader.setRowCount(201);
        for (int row = 1; row <= 200; ++row) {
            if (row == 50)
                set(rules.gridHeader, row, {"", "To does not contain", "me@home.example - MailBox #1", "No", "No", "0"});
            else if (row == 100)
                set(rules.gridHeader, row, {"", "Sender", "does not match Reply-to", "No", "No", "0"});
            else if (row == 150)
                set(rules.gridHeader, row, {"", "Sender", "equals To field", "No", "No", "0"});
            else
                set(rules.gridHeader, row, {"", pick(4) ? "Contains" : "Starts with",
                                            "X-Mailer: " + word(5, 12), pick(10) ? "No" : "Yes", pick(2) ? "Yes" : "No", "0"});
        }

        rules.gridExcept.setRowCount(501);
        for (int row = 1; row <= 500; ++row) {
            const std::size_t friendDomain = 500 + pick(250);
            switch (row % 10) {
                case 0: set(rules.gridExcept, row, {"Domain name", "Equals", domains[friendDomain], "No", "0", "", "4"}); break;
                case 1: set(rules.gridExcept, row, {"Subject", "Starts with", "[" + word(4, 8) + "]", "No", "0", "", ""}); break;
                case 2: set(rules.gridExcept, row, {"Any Header", "Contains", "List-Id: <" + word(4, 8), "No", "0", "", "6"}); break;
                case 3: set(rules.gridExcept, row, {"To:", "Contains", word(5, 8) + "@lists.example", "No", "0", "", ""}); break;
                default: set(rules.gridExcept, row, {"E-mail address", "Equals", address(friendDomain), "No", "0", "", "3"});
            }
        }
        rules.options.QSmaller = true;
        rules.options.QLarger = true;
        rules.options.Valid = false;
    }

    void makeKnownList() {
        std::vector<std::string> entries;
        entries.reserve(100000);
        for (int i = 0; i < 100000; ++i)
            entries.push_back(i % 4 ? word(4, 10) + "@" + word(4, 10) + ".com" : word(5, 12) + ".biz");
        std::vector<std::string_view> views(entries.begin(), entries.end());
        known.assign(views);
    }

    void makeMessages() {
        const FormatSettings us = FormatSettings::unitedStates();
        for (int i = 0; i < 10000; ++i) {
            const std::size_t kind = pick(10);  // 0-3 ordinary, 4-6 spam, 7 friend, 8 known spammer, 9 mailing list
            std::string subject;
            const int count = 3 + static_cast<int>(pick(6));
            for (int w = 0; w < count; ++w) {
                if (!subject.empty()) subject += ' ';
                subject += (kind >= 4 && kind <= 6 && w == count / 2) ? spamWord() : plainWord();
            }
            if (pick(5) == 0) subject[0] = static_cast<char>(subject[0] - 'a' + 'A');
            std::string from;
            if (kind == 7) {
                from = address(500 + pick(250));
            } else if (kind == 8) {
                from = std::string(known.entry(pick(known.size())));
                if (from.find('@') == std::string::npos) from = "sales@" + from;
            } else if (kind == 5) {
                from = address(pick(500));
            } else {
                from = address(750 + pick(2250));
            }

            TmsRemoteInfoItem record;
            record.Size = static_cast<std::int32_t>(500 + pick(40000));
            TmsHeaders& h = record.Headers;
            const int hops = 2 + static_cast<int>(pick(4));
            for (int r = 0; r < hops; ++r) {
                h.push_back("Received: from " + word(4, 10) + "." + domains[750 + pick(2250)] + " (" + word(4, 8) +
                            " [10.0." + std::to_string(pick(255)) + "." + std::to_string(pick(255)) + "])");
                h.push_back("\tby mx.home.example with ESMTP id " + word(10, 14) + "; Tue, 14 Mar 2000 10:20:30 +0100");
            }
            h.push_back("Message-ID: <" + word(12, 20) + "@" + domains[pick(3000)] + ">");
            h.push_back("Date: Tue, " + std::to_string(1 + pick(28)) + " Mar 2000 " + std::to_string(10 + pick(13)) +
                        ":20:30 +0100");
            h.push_back("From: " + word(3, 8) + " " + word(4, 9) + " <" + from + ">");
            h.push_back("To: " + std::string(kind == 9 ? word(5, 8) + "@lists.example" : "me@home.example"));
            if (pick(4) == 0) h.push_back("Reply-To: " + address(pick(3000)));
            h.push_back("Subject: " + (pick(8) == 0 ? "=?iso-8859-1?Q?" + subject + "?=" : subject));
            if (kind == 9) h.push_back("List-Id: <" + word(4, 8) + ".lists.example>");
            if (pick(3) == 0) h.push_back("X-Mailer: " + word(5, 12));
            h.push_back("MIME-Version: 1.0");
            h.push_back("Content-Type: text/plain; charset=us-ascii");
            rows.push_back(messageRowFromRecord(record, us));
            records.push_back(std::move(record));
        }
    }
};

Corpus& corpus() {
    static Corpus c(20000314);
    return c;
}

MessageToJudge messageAt(const Corpus& c, std::size_t i) {
    const MessageRow& row = c.rows[i];
    return {row.caption, row.sender, row.size, &c.records[i].Headers, !row.subjectUndecodable, !row.senderUndecodable};
}

void judgeMessages(benchmark::State& state, bool reference, bool cleanOnly) {
    Corpus& c = corpus();
    SpamRules rules = c.rules;  // hit counters of one run do not reach the next
    BenchHost host;
    Classification classification(rules, c.known, host);
    classification.setReferenceMatching(reference);

    std::vector<std::size_t> order;
    if (cleanOnly) {
        // Messages on which no check fires, found once with fresh tables.
        SpamRules probe = c.rules;
        Classification finder(probe, c.known, host);
        for (std::size_t i = 0; i < c.rows.size(); ++i)
            if (finder.judge(messageAt(c, i), -1) == -1) order.push_back(i);
    } else {
        for (std::size_t i = 0; i < c.rows.size(); ++i) order.push_back(i);
    }

    std::size_t next = 0;
    int marked = 0;
    for (auto _ : state) {
        const int mark = classification.judge(messageAt(c, order[next]), -1);
        marked += mark == 0 || mark == 2;
        benchmark::DoNotOptimize(mark);
        if (++next == order.size()) next = 0;
    }
    state.counters["messages"] = static_cast<double>(order.size());
    state.counters["marked_share"] = static_cast<double>(marked) / static_cast<double>(state.iterations());
}

void BM_JudgePrepared(benchmark::State& state) { judgeMessages(state, false, false); }
void BM_JudgePlainEvaluators(benchmark::State& state) { judgeMessages(state, true, false); }
void BM_JudgePreparedCleanMessages(benchmark::State& state) { judgeMessages(state, false, true); }
void BM_JudgePlainEvaluatorsCleanMessages(benchmark::State& state) { judgeMessages(state, true, true); }

// What the list needs of each message: Subject, From (split) and Date (parsed
// and formatted).
void BM_RowLookUps(benchmark::State& state) {
    Corpus& c = corpus();
    FormatSettings us = FormatSettings::unitedStates();
    us.shortDateFormat = "M/d/yyyy";
    std::size_t next = 0;
    for (auto _ : state) {
        MessageRow row = messageRowFromRecord(c.records[next], us);
        benchmark::DoNotOptimize(row);
        if (++next == c.records.size()) next = 0;
    }
}

}  // namespace

BENCHMARK(BM_JudgePrepared);
BENCHMARK(BM_JudgePlainEvaluators);
BENCHMARK(BM_JudgePreparedCleanMessages);
BENCHMARK(BM_JudgePlainEvaluatorsCleanMessages);
BENCHMARK(BM_RowLookUps);

BENCHMARK_MAIN();
