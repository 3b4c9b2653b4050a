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

// Each reply read lets one more message go: a window sent whole and answered
// whole (a round trip) doubles it, up to the message cap, where it stays.
TEST(PipelineWindow, DoublesEachRoundTripUpToTheCap) {
    W w;
    std::vector<int> sizes;
    for (int round = 0; round < 8; ++round) {
        const int size = w.size();
        EXPECT_EQ(fill(w, 1), size);
        for (int n = 0; n < size; ++n) w.answered();
        sizes.push_back(w.size());
    }
    EXPECT_EQ(sizes, (std::vector<int>{128, 256, 512, 1024, 1024, 1024, 1024, 1024}));
    EXPECT_EQ(W::kMaxMessages, 1024);
}

// The cap at its edge: one short of it, one reply reaches it, more stay there.
TEST(PipelineWindow, GrowsByOneMessagePerReplyToTheCap) {
    W w;
    for (int n = 0; n < 3; ++n) {
        w.sent(1);
        w.answered();
        EXPECT_EQ(w.size(), W::kFirstMessages + n + 1);
    }
    while (w.size() < W::kMaxMessages - 1) {
        w.sent(1);
        w.answered();
    }
    EXPECT_EQ(w.size(), W::kMaxMessages - 1);
    w.sent(1);
    w.answered();
    EXPECT_EQ(w.size(), W::kMaxMessages);
    w.sent(1);
    w.answered();
    EXPECT_EQ(w.size(), W::kMaxMessages);
}

// Replies counted across refills: the growth follows the replies read, not
// the writes.
TEST(PipelineWindow, GrowthCountsRepliesAcrossRefills) {
    W w;
    EXPECT_EQ(fill(w, 10), W::kFirstMessages);
    w.answered();
    w.answered();
    EXPECT_EQ(w.size(), W::kFirstMessages + 2);
    EXPECT_EQ(w.outstanding(), W::kFirstMessages - 2);
    EXPECT_EQ(fill(w, 10), 4);
    w.answered();
    EXPECT_EQ(w.size(), W::kFirstMessages + 3);
    EXPECT_EQ(fill(w, 10), 2);
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
