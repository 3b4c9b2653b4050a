// The window of commands sent ahead: its growth and its caps at their edges.
#include <gtest/gtest.h>

#include <vector>

#include "mail/pipeline_window.h"

namespace quorvel {
namespace {

using W = TmsPipelineWindow;

// Fills the window with messages of `octets` each until it takes no more;
// returns how many went.
int fill(W& w, std::size_t octets) {
    int added = 0;
    while (w.mayAdd(octets)) {
        w.sent(octets);
        ++added;
    }
    return added;
}

TEST(PipelineWindow, StartsSmallAndTakesExactlyItsSize) {
    W w;
    EXPECT_EQ(w.size(), W::kFirstMessages);
    for (int n = 0; n < W::kFirstMessages; ++n) {
        EXPECT_TRUE(w.mayAdd(10)) << n;
        w.sent(10);
    }
    EXPECT_EQ(w.outstanding(), W::kFirstMessages);
    EXPECT_FALSE(w.mayAdd(10));
    EXPECT_FALSE(w.mayAdd(1));
    EXPECT_EQ(w.outstandingOctets(), 10u * W::kFirstMessages);
}

// One short of a whole window answered it stays; the whole window doubles it.
TEST(PipelineWindow, DoublesEachTimeAWholeWindowWasAnswered) {
    W w;
    std::vector<int> sizes;
    int expected = W::kFirstMessages;
    while (expected < W::kMaxMessages) {
        EXPECT_EQ(fill(w, 10), expected);
        for (int n = 0; n < expected - 1; ++n) w.answered();
        EXPECT_EQ(w.size(), expected);
        EXPECT_EQ(w.outstanding(), 1);
        w.answered();
        EXPECT_EQ(w.outstanding(), 0);
        expected *= 2;
        EXPECT_EQ(w.size(), std::min(expected, W::kMaxMessages));
        sizes.push_back(w.size());
    }
    EXPECT_EQ(sizes, (std::vector<int>{8, 16, 32, 64, 128, 256}));
    // At the cap, several more windows answered leave it there.
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(fill(w, 10), W::kMaxMessages);
        for (int n = 0; n < W::kMaxMessages; ++n) w.answered();
        EXPECT_EQ(w.size(), W::kMaxMessages);
    }
}

// Replies counted across refills: the doubling follows the replies read, not
// the writes.
TEST(PipelineWindow, GrowthCountsRepliesAcrossRefills) {
    W w;
    fill(w, 10);
    w.answered();
    w.answered();
    EXPECT_TRUE(w.wantsRefill());
    EXPECT_EQ(fill(w, 10), 2);
    w.answered();
    EXPECT_EQ(w.size(), W::kFirstMessages);
    w.answered();  // the fourth reply of the first window
    EXPECT_EQ(w.size(), 2 * W::kFirstMessages);
    EXPECT_EQ(w.outstanding(), 2);
    EXPECT_EQ(fill(w, 10), 6);
}

TEST(PipelineWindow, RefillsOnceHalfTheWindowWasAnswered) {
    W w;
    EXPECT_TRUE(w.wantsRefill());
    const int half = W::kFirstMessages / 2;
    for (int n = 0; n < half - 1; ++n) w.sent(1);
    EXPECT_TRUE(w.wantsRefill());  // N-1 outstanding
    w.sent(1);
    EXPECT_TRUE(w.wantsRefill());  // N
    w.sent(1);
    EXPECT_FALSE(w.wantsRefill());  // N+1
}

TEST(PipelineWindow, NeverMoreThanTheOctetCapOutstanding) {
    W w;
    w.sent(W::kMaxCommandOctets - 10);
    EXPECT_TRUE(w.mayAdd(9));
    EXPECT_TRUE(w.mayAdd(10));
    EXPECT_FALSE(w.mayAdd(11));
    w.sent(10);
    EXPECT_EQ(w.outstandingOctets(), W::kMaxCommandOctets);
    EXPECT_FALSE(w.mayAdd(1));
    // Answering the big one frees its octets.
    w.answered();
    EXPECT_EQ(w.outstandingOctets(), 10u);
    EXPECT_TRUE(w.mayAdd(W::kMaxCommandOctets - 10));
    EXPECT_FALSE(w.mayAdd(W::kMaxCommandOctets - 9));
}

// Grown to the message cap, messages of a size that fits fewer than the cap
// in the octets stop at the octet cap.
TEST(PipelineWindow, TheOctetCapBindsBeforeTheMessageCapForLongCommands) {
    W w;
    while (w.size() < W::kMaxMessages) {
        fill(w, 1);
        while (w.outstanding() > 0) w.answered();
    }
    EXPECT_EQ(fill(w, 1), W::kMaxMessages);
    while (w.outstanding() > 0) w.answered();
    const std::size_t octets = 35;  // UIDL, LIST and TOP of a four-digit number
    EXPECT_EQ(fill(w, octets), static_cast<int>(W::kMaxCommandOctets / octets));
    EXPECT_LT(static_cast<int>(W::kMaxCommandOctets / octets), W::kMaxMessages);
}

// A message too large for the cap still goes when nothing else is out, so a
// run always moves; it goes alone.
TEST(PipelineWindow, OneMessageAlwaysGoesWhenNothingIsOutstanding) {
    W w;
    EXPECT_TRUE(w.mayAdd(W::kMaxCommandOctets + 1));
    w.sent(W::kMaxCommandOctets + 1);
    EXPECT_FALSE(w.mayAdd(1));
    w.answered();
    EXPECT_EQ(w.outstanding(), 0);
    EXPECT_EQ(w.outstandingOctets(), 0u);
    // Nothing outstanding: an extra answer changes nothing.
    const int size = w.size();
    w.answered();
    EXPECT_EQ(w.size(), size);
    EXPECT_EQ(w.outstanding(), 0);
}

}  // namespace
}  // namespace quorvel
