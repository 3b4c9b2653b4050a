// The reply reader on its own: where a multi-line answer ends, however the
// octets arrive.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "mail/reply_buffer.h"

namespace quorvel {
namespace {

void put(TReplyBuffer& buffer, const std::string& octets) {
    char* room = buffer.reserve(octets.size() + 7);  // more room than arrives
    std::memcpy(room, octets.data(), octets.size());
    buffer.commit(octets.size());
}

struct AnswerCase {
    const char* what;
    std::string octets;    // what follows the status line
    std::string answer;    // what the answer is; empty: it has not ended
};

// Only CR LF "." CR LF ends an answer (or "." CR LF at its very start); a
// "." line ended or begun by a bare LF is data of the answer.
const std::vector<AnswerCase> kAnswers = {
    {"end line at once", ".\r\nnext", ".\r\n"},
    {"end after a line", "A: b\r\n.\r\nnext", "A: b\r\n.\r\n"},
    {"stuffed dot is data", "..\r\n.\r\n", "..\r\n.\r\n"},
    {"bare LF around the dot", "A: b\n.\nC: d\r\n.\r\n", "A: b\n.\nC: d\r\n.\r\n"},
    {"bare LF before the dot", "A: b\n.\r\nC: d\r\n.\r\n", "A: b\n.\r\nC: d\r\n.\r\n"},
    {"bare LF after the dot", "A: b\r\n.\nC: d\r\n.\r\n", "A: b\r\n.\nC: d\r\n.\r\n"},
    {"dot at the start with bare LF", ".\nA: b\r\n.\r\n", ".\nA: b\r\n.\r\n"},
    {"a dot line ending CR CR LF is data", "A\r\r\n.\r\r\n.\r\n", "A\r\r\n.\r\r\n.\r\n"},
    {"bare LF lines inside an answer", "A: b\nC: d\n\r\n.\r\n", "A: b\nC: d\n\r\n.\r\n"},
    {"dot with more on its line", "A\r\n.x\r\n.\r\n", "A\r\n.x\r\n.\r\n"},
    {"no end yet", "A: b\n.\n", ""},
};

TEST(ReplyBuffer, AnswerEndsOnlyAtCrLfDotCrLfInAnyPieces) {
    for (const AnswerCase& c : kAnswers) {
        // Whole, then one octet at a time, then cut in two at every point.
        std::vector<std::vector<std::string>> ways = {{c.octets}, {}};
        for (char o : c.octets) ways[1].push_back(std::string(1, o));
        for (std::size_t cut = 1; cut < c.octets.size(); ++cut)
            ways.push_back({c.octets.substr(0, cut), c.octets.substr(cut)});
        for (const auto& pieces : ways) {
            SCOPED_TRACE(std::string(c.what) + ", " + std::to_string(pieces.size()) + " pieces, first " +
                         std::to_string(pieces.front().size()));
            TReplyBuffer buffer;
            buffer.startAnswer();
            std::string answer;
            TReplyBuffer::Answer result = TReplyBuffer::Answer::More;
            for (const std::string& piece : pieces) {
                put(buffer, piece);
                result = buffer.takeAnswer(answer, 0, 1 << 20);
                if (result != TReplyBuffer::Answer::More) break;
            }
            if (c.answer.empty()) {
                EXPECT_EQ(result, TReplyBuffer::Answer::More);
                EXPECT_EQ(answer, c.octets);
            } else {
                EXPECT_EQ(result, TReplyBuffer::Answer::Complete);
                EXPECT_EQ(answer, c.answer);
            }
        }
    }
}

TEST(ReplyBuffer, LinesAndAnswersFollowEachOther) {
    TReplyBuffer buffer;
    put(buffer, "+OK one\r\nA: b\n.\nC\r\n.\r\n-ERR two\n+OK\r\n.\r\n");
    std::string raw;
    ASSERT_TRUE(buffer.takeLine(raw));
    EXPECT_EQ(TReplyBuffer::finishLine(raw), "+OK one");
    buffer.startAnswer();
    std::string answer;
    EXPECT_EQ(buffer.takeAnswer(answer, 0, 100), TReplyBuffer::Answer::Complete);
    EXPECT_EQ(answer, "A: b\n.\nC\r\n.\r\n");
    raw.clear();
    ASSERT_TRUE(buffer.takeLine(raw));
    EXPECT_EQ(TReplyBuffer::finishLine(raw), "-ERR two");
    raw.clear();
    ASSERT_TRUE(buffer.takeLine(raw));
    buffer.startAnswer();
    answer.clear();
    EXPECT_EQ(buffer.takeAnswer(answer, 0, 100), TReplyBuffer::Answer::Complete);
    EXPECT_EQ(answer, ".\r\n");
    EXPECT_TRUE(buffer.empty());
}

TEST(ReplyBuffer, OverlongLineIsCutAndAnAnswerPastItsCapStops) {
    TReplyBuffer buffer;
    put(buffer, "+OK " + std::string(3000, 'x') + "\r\n+OK\r\n");
    std::string raw;
    ASSERT_TRUE(buffer.takeLine(raw));
    EXPECT_EQ(raw.size(), TReplyBuffer::kMaxLine);
    raw.clear();
    ASSERT_TRUE(buffer.takeLine(raw));
    EXPECT_EQ(TReplyBuffer::finishLine(raw), "+OK");

    buffer.startAnswer();
    std::string answer = "kept";
    put(buffer, std::string(10, 'y'));
    EXPECT_EQ(buffer.takeAnswer(answer, 4, 10), TReplyBuffer::Answer::More);  // exactly the cap
    put(buffer, "y");
    EXPECT_EQ(buffer.takeAnswer(answer, 4, 10), TReplyBuffer::Answer::TooLarge);
    EXPECT_EQ(answer, "kept" + std::string(11, 'y'));
}

// The cap holds for an answer that arrived whole in one piece too.
TEST(ReplyBuffer, AWholeAnswerIsHeldToItsCapAtTheEdges) {
    const std::string whole = "1 uid1\r\n2 uid2\r\n.\r\n";
    for (const std::size_t cap : {whole.size() - 1, whole.size(), whole.size() + 1, 4 * whole.size()}) {
        SCOPED_TRACE(cap);
        TReplyBuffer buffer;
        buffer.startAnswer();
        put(buffer, whole);
        std::string answer;
        EXPECT_EQ(buffer.takeAnswer(answer, 0, cap),
                  cap < whole.size() ? TReplyBuffer::Answer::TooLarge : TReplyBuffer::Answer::Complete);
    }
}

}  // namespace
}  // namespace quorvel
