// The POP3 client sending commands ahead of their replies (PIPELINING)
// against scripted servers: every run is played once one command at a time
// and once pipelined, and both must end the same way.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "mail/pipeline_window.h"
#include "mail/pop3_client.h"
#include "platform/poll_event_loop.h"
#include "support/memory_listing_cache.h"
#include "support/scripted_server.h"

namespace quorvel {
namespace {

using testing::MemoryListingCache;
using testing::ScriptedServer;

std::vector<std::string> logIn(bool pipelining) {
    std::vector<std::string> steps = {"S: +OK ready", "C: CAPA", "S: +OK", "S: TOP", "S: UIDL"};
    if (pipelining) steps.push_back("S: PIPELINING");
    for (const char* s : {"S: .", "C: USER joe", "S: +OK", "C: PASS secret", "S: +OK logged in"}) steps.push_back(s);
    return steps;
}

std::vector<std::string> join(std::vector<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Replies to LIST n and TOP n 1 for message n of the fixture mailbox.
std::vector<std::string> listReplies(int n) {
    const std::string number = std::to_string(n);
    return {"S: +OK " + number + " " + std::to_string(100 * n), "S: +OK", "S: Subject: message " + number, "S: ",
            "S: body", "S: ."};
}

std::vector<std::string> listing(int count) {
    std::vector<std::string> steps = {"C: STAT", "S: +OK " + std::to_string(count) + " 999"};
    for (int n = 1; n <= count; ++n) {
        const std::string number = std::to_string(n);
        const auto replies = listReplies(n);
        steps.push_back("C: LIST " + number);
        steps.push_back(replies[0]);
        steps.push_back("C: TOP " + number + " 1");
        steps.insert(steps.end(), replies.begin() + 1, replies.end());
    }
    return steps;
}

// What a run left behind, to compare the two ways of running it.
struct Outcome {
    std::string error;  // "type: text", empty when it succeeded
    std::vector<std::string> events;
    std::vector<std::string> records;
    std::vector<std::string> commands;  // what the server received
    bool connected = false;
    // Commands sent ahead of an error differ; they are checked apart.
    bool operator==(const Outcome& o) const {
        return error == o.error && events == o.events && records == o.records && connected == o.connected;
    }
};

void PrintTo(const Outcome& o, std::ostream* os) {
    *os << "error=" << o.error << " connected=" << o.connected << " events=";
    for (const auto& e : o.events) *os << "[" << e << "]";
    *os << " records=";
    for (const auto& r : o.records) *os << "[" << r << "]";
    *os << " commands=";
    for (const auto& c : o.commands) *os << "[" << c << "]";
}

class Pop3Pipelining : public ::testing::Test {
protected:
    // Runs `run` on a client against `steps` (after the log-in); `setUp` may
    // set handlers. `after` runs after the run, whatever it threw.
    Outcome play(bool pipelining, const std::vector<std::string>& steps,
                 const std::function<void(TmsRemotePOP&)>& run,
                 const std::function<void(TmsRemotePOP&, Outcome&)>& setUp = nullptr,
                 const std::function<void(TmsRemotePOP&)>& after = nullptr) {
        PollEventLoop loop;
        TmsRemotePOP pop(loop, loop);
        ScriptedServer server(join({logIn(pipelining), steps}));
        pop.Server = "127.0.0.1:" + std::to_string(server.port());
        pop.UserName = "joe";
        pop.Password = "secret";
        pop.TimeOut = 2;
        Outcome o;
        pop.OnOpen = [&] { o.events.push_back("Open"); };
        pop.OnClosed = [&] { o.events.push_back("Closed"); };
        pop.OnCancel = [&] { o.events.push_back("Cancel"); };
        pop.OnError = [&](std::string& msg) { o.events.push_back("Error " + msg); };
        pop.OnUpdatingInfo = [&] { o.events.push_back("UpdatingInfo"); };
        pop.OnNextInfoUpdated = [&](int n) { o.events.push_back("NextInfoUpdated " + std::to_string(n)); };
        pop.OnInfoUpdated = [&] { o.events.push_back("InfoUpdated"); };
        pop.OnTransferringData = [&] { o.events.push_back("TransferringData"); };
        pop.OnDataTransfered = [&] { o.events.push_back("DataTransfered"); };
        pop.OnDeleting = [&](int n) { o.events.push_back("Deleting " + std::to_string(n)); };
        if (setUp) setUp(pop, o);
        try {
            run(pop);
        } catch (const EServerError& e) {
            o.error = std::string("server: ") + e.what();
        } catch (const ECanceledError& e) {
            o.error = std::string("canceled: ") + e.what();
        } catch (const ETimedOutError& e) {
            o.error = std::string("timed out: ") + e.what();
        } catch (const ESocketError& e) {
            o.error = std::string("socket: ") + e.what();
        }
        if (after) after(pop);
        EXPECT_EQ(pop.Pipelining(), pipelining);
        o.connected = pop.IsConnected();
        if (pop.IsConnected()) pop.Disconnect();
        server.join();
        EXPECT_EQ(server.failures(), std::vector<std::string>{});
        o.commands = server.received();
        for (int i = 0; i < pop.RemoteInfo().Count(); ++i) {
            const TmsRemoteInfoItem& item = pop.RemoteInfo().Items(i);
            std::string text = std::to_string(item.Size);
            for (const auto& line : item.Headers) text += "|" + line;
            o.records.push_back(text);
        }
        return o;
    }

    // Plays the run both ways and expects the same outcome; returns it.
    // The pipelined client meets `pipelinedSteps` when its wire differs.
    Outcome bothWays(const std::vector<std::string>& steps, const std::function<void(TmsRemotePOP&)>& run,
                     const std::function<void(TmsRemotePOP&, Outcome&)>& setUp = nullptr,
                     const std::function<void(TmsRemotePOP&)>& after = nullptr,
                     const std::vector<std::string>& pipelinedSteps = {}) {
        const Outcome sequential = play(false, steps, run, setUp, after);
        const Outcome pipelined = play(true, pipelinedSteps.empty() ? steps : pipelinedSteps, run, setUp, after);
        EXPECT_EQ(pipelined, sequential);
        if (pipelinedSteps.empty()) {
            EXPECT_EQ(pipelined.commands, sequential.commands);
        }
        return pipelined;
    }
};

const auto kList = [](TmsRemotePOP& pop) { pop.UpdateInfo(); };
// The owner closes the session after a failure; the QUIT must read its own reply.
const auto kCloseAfter = [](TmsRemotePOP& pop) {
    try {
        pop.Close();
    } catch (const EServerError&) {
    }
};

// The script wants every command of the listing before the first reply: only
// a client that sends ahead gets through it.
TEST_F(Pop3Pipelining, ListingSendsTheWindowAheadOfTheReplies) {
    std::vector<std::string> steps = {"C: STAT", "S: +OK 3 600"};
    for (int n = 1; n <= 3; ++n) {
        steps.push_back("C: LIST " + std::to_string(n));
        steps.push_back("C: TOP " + std::to_string(n) + " 1");
    }
    for (int n = 1; n <= 3; ++n) {
        const auto replies = listReplies(n);
        steps.insert(steps.end(), replies.begin(), replies.end());
    }
    steps.push_back("C: QUIT");
    steps.push_back("S: +OK");
    const Outcome o = play(true, steps, kList);
    EXPECT_EQ(o.error, "");
    EXPECT_EQ(o.records, (std::vector<std::string>{"100|Subject: message 1", "200|Subject: message 2",
                                                   "300|Subject: message 3"}));
    EXPECT_EQ(o.events, (std::vector<std::string>{"Open", "UpdatingInfo", "NextInfoUpdated 0", "NextInfoUpdated 1",
                                                  "NextInfoUpdated 2", "Closed", "InfoUpdated"}));
}

// Never more than a window of messages ahead: the script holds the replies
// back until the client sent exactly the commands the window allows, from its
// first size, through its growth, to the octet cap and several windows at it.
TEST_F(Pop3Pipelining, ListingStaysWithinItsWindow) {
    const int count = 2500;
    std::vector<std::string> steps = {"C: STAT", "S: +OK " + std::to_string(count) + " 999"};
    TmsPipelineWindow window;
    int sent = 0;
    std::size_t mostOctets = 0;
    for (int i = 0; i < count; ++i) {
        if (window.wantsRefill()) {
            for (; sent < count; ++sent) {
                const std::string list = "LIST " + std::to_string(sent + 1);
                const std::string top = "TOP " + std::to_string(sent + 1) + " 1";
                if (!window.mayAdd(list.size() + top.size() + 4)) break;
                window.sent(list.size() + top.size() + 4);
                steps.push_back("C: " + list);
                steps.push_back("C: " + top);
            }
            mostOctets = std::max(mostOctets, window.outstandingOctets());
            steps.push_back("QUIET");
        }
        const auto replies = listReplies(i + 1);
        steps.insert(steps.end(), replies.begin(), replies.end());
        window.answered();
    }
    steps.push_back("C: QUIT");
    steps.push_back("S: +OK");
    // The commands outstanding reach the octet cap (within one message's) and
    // never pass it.
    EXPECT_LE(mostOctets, TmsPipelineWindow::kMaxCommandOctets);
    EXPECT_GT(mostOctets + 25, TmsPipelineWindow::kMaxCommandOctets);
    const Outcome o = play(true, steps, kList);
    EXPECT_EQ(o.error, "");
    ASSERT_EQ(o.records.size(), static_cast<std::size_t>(count));
    EXPECT_EQ(o.records.back(), std::to_string(100 * count) + "|Subject: message " + std::to_string(count));
    // The same listing one command at a time puts the same lines on the wire.
    EXPECT_EQ(play(false, join({listing(count), {"C: QUIT", "S: +OK"}}), kList), o);
}

// The first window is small: a client that sent more before the first reply
// would meet a script that answers only after exactly that many.
TEST_F(Pop3Pipelining, ListingStartsWithTheFirstWindowOnly) {
    // How many replies of the first window are read before the next commands go.
    TmsPipelineWindow model;
    for (int n = 0; n < TmsPipelineWindow::kFirstMessages; ++n) model.sent(1);
    int refillAfter = 0;
    while (!model.wantsRefill()) {
        model.answered();
        ++refillAfter;
    }
    ASSERT_GT(refillAfter, 1);
    ASSERT_LT(refillAfter, TmsPipelineWindow::kFirstMessages);
    for (const int count : {TmsPipelineWindow::kFirstMessages - 1, TmsPipelineWindow::kFirstMessages,
                            TmsPipelineWindow::kFirstMessages + 1}) {
        SCOPED_TRACE(count);
        std::vector<std::string> steps = {"C: STAT", "S: +OK " + std::to_string(count) + " 999"};
        const int first = std::min(count, TmsPipelineWindow::kFirstMessages);
        for (int n = 1; n <= first; ++n) {
            steps.push_back("C: LIST " + std::to_string(n));
            steps.push_back("C: TOP " + std::to_string(n) + " 1");
        }
        steps.push_back("QUIET");
        for (int n = 1; n <= count; ++n) {
            // Part of the first window answered, the rest goes out.
            if (n == refillAfter + 1) {
                for (int m = first + 1; m <= count; ++m) {
                    steps.push_back("C: LIST " + std::to_string(m));
                    steps.push_back("C: TOP " + std::to_string(m) + " 1");
                }
                steps.push_back("QUIET");
            }
            const auto replies = listReplies(n);
            steps.insert(steps.end(), replies.begin(), replies.end());
        }
        steps.push_back("C: QUIT");
        steps.push_back("S: +OK");
        const Outcome o = play(true, steps, kList);
        EXPECT_EQ(o.error, "");
        EXPECT_EQ(o.records.size(), static_cast<std::size_t>(count));
    }
}

TEST_F(Pop3Pipelining, ListingGivesTheSameRecordsEventsAndWire) {
    for (const int count : {0, 1, 2, 7}) {
        SCOPED_TRACE(count);
        const Outcome o = bothWays(join({listing(count), {"C: QUIT", "S: +OK"}}), kList);
        EXPECT_EQ(o.error, "");
        EXPECT_EQ(o.records.size(), static_cast<std::size_t>(count));
    }
}

// An error reply in the middle of a window stops the listing at that
// message; the replies to the commands sent after it are read and dropped,
// so the QUIT that follows reads its own reply.
TEST_F(Pop3Pipelining, ErrorReplyInTheMiddleOfAWindowStopsThereAndKeepsTheSessionInStep) {
    // The reply after `after` replaced by `reply` (and its answer lines
    // dropped); one at a time, nothing follows it but the QUIT.
    const auto replaced = [](const std::string& after, const std::string& reply, int answerLines, bool cut) {
        std::vector<std::string> steps = listing(4);
        auto at = std::find(steps.begin(), steps.end(), after) + 1;
        *at = reply;
        steps.erase(at + 1, cut ? steps.end() : at + 1 + answerLines);
        steps.push_back("C: QUIT");
        steps.push_back("S: +OK");
        return steps;
    };
    const struct {
        const char* name;
        const char* after;
        const char* reply;
        int answerLines;
        const char* error;
        std::size_t records;
    } cases[] = {
        {"LIST 2 refused", "C: LIST 2", "S: -ERR no such message", 0, "server: -ERR no such message", 1},
        {"TOP 3 refused", "C: TOP 3 1", "S: -ERR busy", 4, "server: -ERR busy", 2},
        {"TOP of the last refused", "C: TOP 4 1", "S: -ERR busy", 4, "server: -ERR busy", 3},
        {"TOP 1 refused: no TOP at all", "C: TOP 1 1", "S: -ERR unknown command", 4,
         "server: The server 127.0.0.1 cannot send the headers of a message alone (it refused TOP: -ERR unknown "
         "command); nothing was downloaded",
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome o = bothWays(replaced(c.after, c.reply, c.answerLines, true), kList, nullptr, kCloseAfter,
                                   replaced(c.after, c.reply, c.answerLines, false));
        EXPECT_EQ(o.error, c.error);
        EXPECT_EQ(o.records.size(), c.records);
        EXPECT_EQ(std::count(o.events.begin(), o.events.end(), "InfoUpdated"), 0);
        // The window went out whole; QUIT came after all of it was read.
        EXPECT_EQ(o.commands.size(), 3u + 1u + 2u * 4u + 1u);  // log-in, STAT, the listing, QUIT
        EXPECT_EQ(o.commands.back(), "QUIT");
        // Nothing is fetched in place of the headers.
        EXPECT_EQ(std::count_if(o.commands.begin(), o.commands.end(),
                                [](const std::string& line) { return line.starts_with("RETR"); }),
                  0);
    }
}

// A server that closes the connection mid-window: replies cut before their
// line end, or in the middle of an answer (which only the time-out ends).
TEST_F(Pop3Pipelining, ServerClosingMidWindowEndsTheRunAsOneAtATime) {
    const auto cutAfter = [](const std::string& line) {
        std::vector<std::string> steps = listing(4);
        steps.erase(std::find(steps.begin(), steps.end(), line) + 1, steps.end());
        steps.push_back("CLOSE");
        return steps;
    };
    const struct {
        const char* name;
        std::vector<std::string> steps;
        const char* error;
    } cases[] = {
        {"before LIST 2's reply", cutAfter("C: LIST 2"), "socket: The server closed the connection"},
        {"inside TOP 3's answer", cutAfter("S: Subject: message 3"), "timed out: Operation timed out"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome o = bothWays(c.steps, kList);
        EXPECT_EQ(o.error, c.error);
        EXPECT_FALSE(o.connected);
    }
}

// Cancel from the handlers that run at each reply of a window: after each
// record and during each header answer. Both ways end alike, without QUIT.
TEST_F(Pop3Pipelining, CancelAtEveryReplyOfAWindowEndsTheRunAsOneAtATime) {
    for (const bool duringAnswer : {false, true}) {
        for (int at = 0; at < 3; ++at) {
            SCOPED_TRACE((duringAnswer ? "during answer " : "after record ") + std::to_string(at));
            const auto setUp = [at, duringAnswer](TmsRemotePOP& pop, Outcome&) {
                auto next = pop.OnNextInfoUpdated;
                // -1 until the listing begins: the CAPA answer has progress too.
                auto records = std::make_shared<int>(-1);
                auto updating = pop.OnUpdatingInfo;
                pop.OnUpdatingInfo = [updating, records] {
                    updating();
                    *records = 0;
                };
                pop.OnNextInfoUpdated = [&pop, next, records, at, duringAnswer](int n) {
                    next(n);
                    ++*records;
                    if (!duringAnswer && n == at) pop.Cancel();
                };
                pop.OnProgress = [&pop, records, at, duringAnswer](int, int) {
                    if (duringAnswer && *records == at && pop.IsConnected()) pop.Cancel();
                };
            };
            // The server plays up to the message canceled at, then waits for
            // a QUIT that must not come.
            std::vector<std::string> steps = listing(3);
            steps.erase(std::find(steps.begin(), steps.end(), "C: LIST " + std::to_string(at + 2)), steps.end());
            steps.push_back("WAIT");
            const Outcome o = bothWays(steps, kList, setUp);
            // Canceled after the last record, nothing is left to wait for:
            // the listing ends without QUIT but without an error either.
            const bool last = !duringAnswer && at == 2;
            EXPECT_EQ(o.error.empty(), last);
            EXPECT_FALSE(o.connected);
            EXPECT_EQ(o.records.size(), static_cast<std::size_t>(duringAnswer ? at : at + 1));
            EXPECT_EQ(std::count(o.events.begin(), o.events.end(), "Cancel"), 1);
            EXPECT_EQ(std::count(o.events.begin(), o.events.end(), "InfoUpdated"), last ? 1 : 0);
        }
    }
}

TEST_F(Pop3Pipelining, RefusedCapaOrPipeliningSwitchedOffRunsOneCommandAtATime) {
    // One command at a time: the server answers each before the next comes.
    std::vector<std::string> steps = {"S: +OK ready", "C: CAPA", "S: -ERR unknown command", "C: USER joe", "S: +OK",
                                      "C: PASS secret", "S: +OK"};
    const auto body = join({listing(2), {"C: QUIT", "S: +OK"}});
    steps.insert(steps.end(), body.begin(), body.end());
    PollEventLoop loop;
    TmsRemotePOP pop(loop, loop);
    ScriptedServer server(steps);
    pop.Server = "127.0.0.1:" + std::to_string(server.port());
    pop.UserName = "joe";
    pop.Password = "secret";
    pop.TimeOut = 2;
    pop.UpdateInfo();
    server.join();
    EXPECT_EQ(server.failures(), std::vector<std::string>{});
    EXPECT_FALSE(pop.Pipelining());
    EXPECT_EQ(pop.RemoteInfo().Count(), 2);

    // Offered but switched off: the same as not offered.
    const Outcome off = play(false, join({listing(2), {"C: QUIT", "S: +OK"}}), kList);
    EXPECT_EQ(off.records.size(), 2u);
}

// Deletion: each message's verification goes out ahead, its DELE only once
// its replies were read and compared; a message that changed is not deleted.
TEST_F(Pop3Pipelining, DeletionVerifiesAheadAndDeletesOnlyWhatStillMatches) {
    const auto verification = [](int n, int size, bool gone = false) {
        const std::string number = std::to_string(n);
        if (gone)
            return std::vector<std::string>{"C: UIDL " + number, "S: -ERR no such message", "C: LIST " + number,
                                            "S: -ERR no such message", "C: TOP " + number + " 1",
                                            "S: -ERR no such message"};
        return std::vector<std::string>{"C: UIDL " + number, "S: +OK " + number + " uid" + number,
                                        "C: LIST " + number, "S: +OK " + number + " " + std::to_string(size),
                                        "C: TOP " + number + " 1", "S: +OK", "S: Subject: message " + number,
                                        "S: ", "S: ."};
    };
    const auto dele = [](int n, const char* reply = "S: +OK") {
        return std::vector<std::string>{"C: DELE " + std::to_string(n), reply};
    };
    const std::vector<std::string> quit = {"C: QUIT", "S: +OK"};
    const auto marksAndProcess = [](TmsRemotePOP& pop) {
        pop.KeepConnected = true;
        pop.UpdateInfo();
        for (const int i : {0, 2, 3}) pop.SetDeleteMark(i);
        pop.ProcessMarks();
    };
    auto gone = verification(3, 300, true);
    const struct {
        const char* name;
        std::vector<std::string> sequential, pipelined;
        const char* error;
        std::vector<std::string> deleted;
    } cases[] = {
        {"all still there",
         join({listing(4), verification(1, 100), dele(1), verification(3, 300), dele(3), verification(4, 400),
               dele(4), quit}),
         join({listing(4), verification(1, 100), verification(3, 300), verification(4, 400), dele(1), dele(3),
               dele(4), quit}),
         "", {"DELE 1", "DELE 3", "DELE 4"}},
        {"message 3 changed",
         join({listing(4), verification(1, 100), dele(1, "S: -ERR ignored"), verification(3, 333),
               verification(4, 400), dele(4), quit}),
         join({listing(4), verification(1, 100), verification(3, 333), verification(4, 400),
               dele(1, "S: -ERR ignored"), dele(4), quit}),
         "", {"DELE 1", "DELE 4"}},
        {"message 3 gone",
         join({listing(4), verification(1, 100), dele(1), {gone.begin(), gone.begin() + 4}, quit}),
         join({listing(4), verification(1, 100), gone, verification(4, 400), dele(1), quit}),
         "server: -ERR no such message", {"DELE 1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome o = bothWays(c.sequential, marksAndProcess, nullptr, kCloseAfter, c.pipelined);
        EXPECT_EQ(o.error, c.error);
        std::vector<std::string> deleted;
        for (const auto& line : o.commands)
            if (line.starts_with("DELE")) deleted.push_back(line);
        EXPECT_EQ(deleted, c.deleted);
        EXPECT_EQ(o.commands.back(), "QUIT");
    }
}

std::vector<std::string> scanAnswer(const std::string& command, const std::vector<std::string>& lines) {
    std::vector<std::string> steps = {"C: " + command, "S: +OK"};
    for (const auto& line : lines) steps.push_back("S: " + line);
    steps.push_back("S: .");
    return steps;
}

std::vector<std::string> topOf(int n) {
    const auto replies = listReplies(n);
    std::vector<std::string> steps = {"C: TOP " + std::to_string(n) + " 1"};
    steps.insert(steps.end(), replies.begin() + 1, replies.end());
    return steps;
}

// The records are those of a full listing, with their unique ids, whatever
// the cache knew, and the cache then holds this listing. UIDL goes with STAT
// when pipelining; LIST only when an id is new or the cache's sizes do not add
// up to STAT's total; TOP only for the ids the cache does not know at their
// listed size. Pipelined, the first TOPs go with LIST: those sent before LIST
// showed a known id at another size are read, dropped and asked again in order.
TEST_F(Pop3Pipelining, CachedListingSendsTopOnlyForUnknownIds) {
    const std::vector<std::string> uidl = scanAnswer("UIDL", {"1 uid1", "2 uid2", "3 uid3"});
    const std::vector<std::string> list = scanAnswer("LIST", {"1 100", "2 200", "3 300"});
    const std::vector<std::string> quit = {"C: QUIT", "S: +OK"};
    const struct {
        const char* name;
        std::vector<std::pair<std::string, int>> cached;  // unique id, size
        std::string stat;
        std::vector<std::string> steps, pipelinedSteps;
    } cases[] = {
        {"all known", {{"uid1", 100}, {"uid2", 200}, {"uid3", 300}}, "S: +OK 3 600", join({uidl, quit}), {}},
        {"all known, another total", {{"uid1", 100}, {"uid2", 200}, {"uid3", 300}}, "S: +OK 3 601",
         join({uidl, list, quit}), {}},
        {"one new", {{"uid1", 100}, {"uid3", 300}}, "S: +OK 3 600", join({uidl, list, topOf(2), quit}), {}},
        {"one new, one at another size", {{"uid1", 100}, {"uid3", 333}, {"gone", 50}}, "S: +OK 3 633",
         join({uidl, list, topOf(2), topOf(3), quit}), join({uidl, list, topOf(2), topOf(2), topOf(3), quit})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<MemoryListingCache> caches(2);
        int run = 0;
        std::vector<std::vector<std::string>> uids;
        const auto setUp = [&](TmsRemotePOP& pop, Outcome&) {
            MemoryListingCache& cache = caches[static_cast<std::size_t>(run++)];
            for (const auto& [uid, size] : c.cached) cache.keep(uid, size, "message " + uid.substr(3));
            pop.ListingCache = &cache;
        };
        const auto after = [&](TmsRemotePOP& pop) {
            std::vector<std::string> ids;
            for (int i = 0; i < pop.RemoteInfo().Count(); ++i) ids.push_back(pop.RemoteInfo().Items(i).UIDL);
            uids.push_back(ids);
        };
        const auto withStat = [&](const std::vector<std::string>& steps) {
            return steps.empty() ? steps : join({{"C: STAT", c.stat}, steps});
        };
        const Outcome o = bothWays(withStat(c.steps), kList, setUp, after, withStat(c.pipelinedSteps));
        EXPECT_EQ(o.error, "");
        EXPECT_EQ(o.records, (std::vector<std::string>{"100|Subject: message 1", "200|Subject: message 2",
                                                       "300|Subject: message 3"}));
        for (const auto& ids : uids) EXPECT_EQ(ids, (std::vector<std::string>{"uid1", "uid2", "uid3"}));
        for (const auto& cache : caches) {
            EXPECT_EQ(cache.updates, 1);
            EXPECT_EQ(cache.kept.size(), 3u);
            EXPECT_EQ(cache.kept.count("gone"), 0u);
            EXPECT_EQ(cache.kept.at("uid3").Size, 300);
        }
    }
}

// Servers that make the unique id from the contents (popa3d, solid-pop3d)
// give identical messages one id. Only those are read again on the next
// check; the other ids are known as usual. A deletion of one of them still
// re-reads it before its DELE.
TEST_F(Pop3Pipelining, OnlyMessagesSharingAUniqueIdAreReadAgain) {
    const std::vector<std::string> stat = {"C: STAT", "S: +OK 4 1000"};
    const std::vector<std::string> uidl = scanAnswer("UIDL", {"1 uid1", "2 same", "3 uid3", "4 same"});
    const std::vector<std::string> list = scanAnswer("LIST", {"1 100", "2 200", "3 300", "4 400"});
    const std::vector<std::string> quit = {"C: QUIT", "S: +OK"};
    std::vector<MemoryListingCache> caches(2);
    int run = 0;
    const auto setUp = [&](TmsRemotePOP& pop, Outcome&) { pop.ListingCache = &caches[static_cast<std::size_t>(run++ % 2)]; };
    const auto tops = [](const Outcome& o) {
        std::vector<std::string> sent;
        for (const auto& line : o.commands)
            if (line.starts_with("TOP")) sent.push_back(line);
        return sent;
    };
    const std::vector<std::string> records = {"100|Subject: message 1", "200|Subject: message 2",
                                              "300|Subject: message 3", "400|Subject: message 4"};

    const Outcome first = bothWays(join({stat, uidl, list, topOf(1), topOf(2), topOf(3), topOf(4), quit}), kList, setUp);
    EXPECT_EQ(first.error, "");
    EXPECT_EQ(first.records, records);
    for (const auto& cache : caches) {
        EXPECT_EQ(cache.kept.size(), 2u);
        EXPECT_EQ(cache.kept.count("same"), 0u);
    }

    const Outcome second = bothWays(join({stat, uidl, list, topOf(2), topOf(4), quit}), kList, setUp);
    EXPECT_EQ(second.error, "");
    EXPECT_EQ(second.records, records);
    EXPECT_EQ(tops(second), (std::vector<std::string>{"TOP 2 1", "TOP 4 1"}));

    const auto listAndDelete = [](TmsRemotePOP& pop) {
        pop.KeepConnected = true;
        pop.UpdateInfo();
        pop.SetDeleteMark(1);
        pop.ProcessMarks();
    };
    const Outcome deletion = bothWays(join({stat, uidl, list, topOf(2), topOf(4), {"C: UIDL 2", "S: +OK 2 same"},
                                            {"C: LIST 2", "S: +OK 2 200"}, topOf(2), {"C: DELE 2", "S: +OK"}, quit}),
                                      listAndDelete, setUp);
    EXPECT_EQ(deletion.error, "");
    EXPECT_EQ(tops(deletion), (std::vector<std::string>{"TOP 2 1", "TOP 4 1", "TOP 2 1"}));
}

// Answers the cache cannot be trusted with: today's full listing follows in
// the same session, and the cache is left as it was. A LIST that cannot be
// trusted was sent pipelined with the first TOPs, whose replies are dropped.
TEST_F(Pop3Pipelining, UntrustedUniqueIdsFallBackToTheFullListing) {
    const std::vector<std::string> uidl = scanAnswer("UIDL", {"1 uid1", "2 uid2", "3 uid3"});
    const struct {
        const char* name;
        std::vector<std::string> answers;
        bool listSent;
    } cases[] = {
        {"UIDL refused", {"C: UIDL", "S: -ERR not supported"}, false},
        {"a number missing", scanAnswer("UIDL", {"1 uid1", "3 uid3"}), false},
        {"numbers out of order", scanAnswer("UIDL", {"2 uid2", "1 uid1", "3 uid3"}), false},
        {"more ids than messages", scanAnswer("UIDL", {"1 uid1", "2 uid2", "3 uid3", "4 uid4"}), false},
        {"LIST shorter than STAT", join({uidl, scanAnswer("LIST", {"1 100", "2 200"})}), true},
        {"LIST refused", join({uidl, {"C: LIST", "S: -ERR busy"}}), true},
        {"a size that is no number", join({uidl, scanAnswer("LIST", {"1 100", "2 many", "3 300"})}), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto steps = [&](bool pipelined) {
            std::vector<std::string> all = listing(3);
            std::vector<std::string> answers = c.answers;
            if (pipelined && c.listSent) answers = join({answers, topOf(2), topOf(3)});
            all.insert(all.begin() + 2, answers.begin(), answers.end());
            return join({all, {"C: QUIT", "S: +OK"}});
        };
        std::vector<MemoryListingCache> caches(2);
        int run = 0;
        const auto setUp = [&](TmsRemotePOP& pop, Outcome&) {
            MemoryListingCache& cache = caches[static_cast<std::size_t>(run++)];
            cache.keep("uid1", 100, "from the cache");
            pop.ListingCache = &cache;
        };
        const Outcome o = bothWays(steps(false), kList, setUp, nullptr, steps(true));
        EXPECT_EQ(o.error, "");
        EXPECT_EQ(o.records, (std::vector<std::string>{"100|Subject: message 1", "200|Subject: message 2",
                                                       "300|Subject: message 3"}));
        for (const auto& cache : caches) {
            EXPECT_EQ(cache.updates, 0);
            EXPECT_EQ(cache.kept.at("uid1").headers(), TmsHeaders{"Subject: from the cache"});
        }
    }
}

// A whole-mailbox answer is bounded by a fixed limit, not by the count the
// server claims: at the limit it is read, one octet beyond it ends the session.
TEST_F(Pop3Pipelining, UniqueIdAnswerIsBoundedAtItsEdges) {
    const std::vector<std::string> ids = {"1 uid1", "2 uid2", "3 uid3"};
    long long octets = 3;  // ".\r\n"
    for (const auto& line : ids) octets += static_cast<long long>(line.size()) + 2;
    for (const long long bound : {octets - 1, octets, octets + 1, 4 * octets}) {
        SCOPED_TRACE(bound);
        std::vector<std::string> steps = join({{"C: STAT", "S: +OK 3 600"}, scanAnswer("UIDL", ids)});
        steps = join({steps, bound < octets ? std::vector<std::string>{"WAIT"}
                                            : std::vector<std::string>{"C: QUIT", "S: +OK"}});
        std::vector<MemoryListingCache> caches(2);
        int run = 0;
        const auto setUp = [&](TmsRemotePOP& pop, Outcome&) {
            MemoryListingCache& cache = caches[static_cast<std::size_t>(run++)];
            for (const int n : {1, 2, 3}) cache.keep("uid" + std::to_string(n), 200, "known");
            pop.ListingCache = &cache;
            pop.MaxScanAnswerOctets = bound;
        };
        const Outcome o = bothWays(steps, kList, setUp);
        if (bound < octets) {
            EXPECT_EQ(o.error, "socket: The server's answer is too large");
            EXPECT_FALSE(o.connected);
            EXPECT_TRUE(o.records.empty());
        } else {
            EXPECT_EQ(o.error, "");
            EXPECT_EQ(o.records.size(), 3u);
        }
    }
}

// A hostile server's whole-mailbox answer is bounded however long it runs.
TEST_F(Pop3Pipelining, OvergrownUniqueIdAnswerEndsTheSession) {
    std::vector<std::string> steps = {"C: STAT", "S: +OK 1 100", "C: UIDL", "S: +OK"};
    const std::string line(1000, 'x');
    for (int i = 0; i < 2; ++i) steps.push_back("S: 1 " + line);
    steps.push_back("WAIT");
    MemoryListingCache cache;
    const Outcome o = play(true, steps, kList, [&](TmsRemotePOP& pop, Outcome&) {
        pop.ListingCache = &cache;
        pop.MaxScanAnswerOctets = 1500;
    });
    EXPECT_EQ(o.error, "socket: The server's answer is too large");
    EXPECT_FALSE(o.connected);
    EXPECT_EQ(cache.updates, 0);
}

// Deletion runs over records filled by the test (message n: size 100 n, one
// header line), so that the script holds only the verification.
class Pop3PipelinedDeletion : public ::testing::Test {
protected:
    // A fault the server shows at the k-th marked message's verification.
    enum class Fault { None, ListRefused, UidlForAnotherMessage, DeleRefused };

    struct Run {
        std::vector<std::string> deleCommands;
        std::vector<int> deleting, deleted;
        std::string error;
        bool quitSent = false;
        std::vector<std::string> failures;
    };

    static std::vector<std::string> verification(int n, Fault fault) {
        const std::string number = std::to_string(n);
        const std::string uidlFor = fault == Fault::UidlForAnotherMessage ? std::to_string(n + 1) : number;
        if (fault == Fault::ListRefused)
            return {"C: UIDL " + number, "S: +OK " + number + " uid" + number, "C: LIST " + number,
                    "S: -ERR no such message", "C: TOP " + number + " 1", "S: -ERR no such message"};
        return {"C: UIDL " + number, "S: +OK " + uidlFor + " uid" + number, "C: LIST " + number,
                "S: +OK " + number + " " + std::to_string(100 * n), "C: TOP " + number + " 1", "S: +OK",
                "S: Subject: message " + number, "S: ", "S: ."};
    }

    // The wire of a pipelined deletion of `marked` (record indexes): the
    // verifications go out as the client's window allows, refilled once half
    // of it was answered, before a message's replies are read; a message's
    // DELE right after its replies.
    static std::vector<std::string> script(const std::vector<int>& marked, int faultAt, Fault fault) {
        const int count = static_cast<int>(marked.size());
        std::vector<std::string> steps = {"C: STAT", "S: +OK 999 99999"};
        TmsPipelineWindow window;
        int sent = 0;
        bool stopped = false;
        for (int k = 0; k < count; ++k) {
            if (!stopped && window.wantsRefill())
                for (; sent < count; ++sent) {
                    const std::size_t digits = std::to_string(marked[static_cast<std::size_t>(sent)] + 1).size();
                    const std::size_t octets = 3 * digits + 22;  // "UIDL n", "LIST n", "TOP n 1", CRLFs
                    if (!window.mayAdd(octets)) break;
                    window.sent(octets);
                    const auto v = verification(marked[static_cast<std::size_t>(sent)] + 1,
                                                sent == faultAt ? fault : Fault::None);
                    steps.insert(steps.end(), v.begin(), v.end());
                }
            window.answered();
            if (stopped || k == faultAt && fault != Fault::DeleRefused) {
                stopped = true;
                if (fault == Fault::UidlForAnotherMessage) break;
                continue;
            }
            steps.push_back("C: DELE " + std::to_string(marked[static_cast<std::size_t>(k)] + 1));
            steps.push_back(k == faultAt ? "S: -ERR cannot" : "S: +OK");
        }
        if (fault == Fault::UidlForAnotherMessage) {
            steps.push_back("WAIT");
        } else {
            steps.push_back("C: QUIT");
            steps.push_back("S: +OK");
        }
        return steps;
    }

    // Lists nothing: the records are set up here, every third one marked.
    Run run(int records, int faultAt, Fault fault) {
        std::vector<int> marked;
        for (int i = 0; i < records; i += 3) marked.push_back(i);
        auto steps = join({logIn(true), script(marked, faultAt, fault)});
        PollEventLoop loop;
        TmsRemotePOP pop(loop, loop);
        ScriptedServer server(steps);
        pop.Server = "127.0.0.1:" + std::to_string(server.port());
        pop.UserName = "joe";
        pop.Password = "secret";
        pop.TimeOut = 5;
        for (int i = 0; i < records; ++i) {
            auto item = std::make_unique<TmsRemoteInfoItem>();
            item->Size = 100 * (i + 1);
            item->Headers = {"Subject: message " + std::to_string(i + 1)};
            pop.RemoteInfo().Add(std::move(item));
        }
        for (const int i : marked) pop.SetDeleteMark(i);
        Run r;
        pop.OnDeleting = [&](int n) { r.deleting.push_back(n); };
        pop.OnDeleted = [&](int n) { r.deleted.push_back(n); };
        try {
            pop.ProcessMarks();
        } catch (const EServerError& e) {
            r.error = std::string("server: ") + e.what();
        } catch (const ESocketError& e) {
            r.error = std::string("socket: ") + e.what();
        }
        EXPECT_FALSE(pop.IsConnected());
        server.join();
        r.failures = server.failures();
        for (const auto& line : server.received()) {
            if (line.starts_with("DELE ")) r.deleCommands.push_back(line);
            if (line == "QUIT") r.quitSent = true;
        }
        return r;
    }

    static std::vector<int> everyThird(int from, int to, int skip = -1) {
        std::vector<int> indexes;
        for (int i = from; i < to; i += 3)
            if (i != skip) indexes.push_back(i);
        return indexes;
    }
};

// Across and past the window every reply is read in its place: the DELEs of
// exactly the marked messages go out, then QUIT, and each counts as deleted
// only after it.
TEST_F(Pop3PipelinedDeletion, EveryMarkedMessageIsDeletedAtAnyCount) {
    // Around the first window, its growth and the octet cap (some 500
    // messages' checks of three-digit numbers).
    const int first = TmsPipelineWindow::kFirstMessages;
    for (const int marked : {1, first - 1, first, first + 1, 3 * first + 1, 70, 300, 700}) {
        SCOPED_TRACE(marked);
        const int records = 3 * marked - 1;
        const Run r = run(records, -1, Fault::None);
        EXPECT_EQ(r.failures, std::vector<std::string>{});
        EXPECT_EQ(r.error, "");
        EXPECT_EQ(r.deleCommands.size(), static_cast<std::size_t>(marked));
        EXPECT_EQ(r.deleting, everyThird(0, records));
        EXPECT_EQ(r.deleted, everyThird(0, records));
        EXPECT_TRUE(r.quitSent);
    }
}

TEST_F(Pop3PipelinedDeletion, FaultsInTheMiddleOfAWindow) {
    const int marked = 70;
    const int records = 3 * marked - 1;
    const int at = 35;  // in the window of 32 that starts at 28, after its refill
    const int index = 3 * at;
    const struct {
        const char* name;
        Fault fault;
        std::string error;
        bool quit;
        std::vector<int> deleted;  // reported after QUIT
    } cases[] = {
        // The run stops there; the replies already owed are read so that the
        // QUIT is in step, and the DELEs accepted before it are carried out.
        {"LIST refused", Fault::ListRefused, "server: -ERR no such message", true, everyThird(0, index)},
        // A refused DELE is not counted; the run goes on.
        {"DELE refused", Fault::DeleRefused, "", true, everyThird(0, records, index)},
        // A reply for another message: out of step, no DELE on it and no QUIT,
        // so the server deletes nothing and nothing is reported.
        {"UIDL answered for another message", Fault::UidlForAnotherMessage,
         "socket: The server 127.0.0.1 answered UIDL " + std::to_string(index + 1) + " for message " +
             std::to_string(index + 2) + "; the session was ended without changes",
         false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Run r = run(records, at, c.fault);
        EXPECT_EQ(r.failures, std::vector<std::string>{});
        EXPECT_EQ(r.error, c.error);
        EXPECT_EQ(r.quitSent, c.quit);
        EXPECT_EQ(r.deleted, c.deleted);
        // No DELE ever goes out for the message whose verification failed.
        const std::string faulty = "DELE " + std::to_string(index + 1);
        EXPECT_EQ(std::count(r.deleCommands.begin(), r.deleCommands.end(), faulty),
                  c.fault == Fault::DeleRefused ? 1 : 0);
    }
}

}  // namespace
}  // namespace quorvel
