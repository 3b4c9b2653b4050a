#include "app/frm_view_header.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

// The line names the first five parts and counts the rest, at and around five.
TEST(ViewHeader, MorePartsNamesAFewAndCountsTheRest) {
    const auto partsOf = [](int count) {
        std::vector<std::pair<std::string, std::size_t>> parts;
        for (int i = 1; i <= count; ++i) parts.emplace_back("p" + std::to_string(i), static_cast<std::size_t>(i));
        return parts;
    };
    const struct {
        int count;
        std::string caption;
    } cases[] = {
        {0, ""},
        {1, "Only the text of the first part is shown. 1 more part: p1 (1 bytes)"},
        {4, "Only the text of the first part is shown. 4 more parts: p1 (1 bytes), p2 (2 bytes), p3 (3 bytes), p4 (4 "
            "bytes)"},
        {5, "Only the text of the first part is shown. 5 more parts: p1 (1 bytes), p2 (2 bytes), p3 (3 bytes), p4 (4 "
            "bytes), p5 (5 bytes)"},
        {6, "Only the text of the first part is shown. 6 more parts: p1 (1 bytes), p2 (2 bytes), p3 (3 bytes), p4 (4 "
            "bytes), p5 (5 bytes) and 1 more"},
        {1000, "Only the text of the first part is shown. 1000 more parts: p1 (1 bytes), p2 (2 bytes), p3 (3 bytes), "
               "p4 (4 bytes), p5 (5 bytes) and 995 more"},
    };
    for (const auto& c : cases) {
        TfrmViewHeader viewer(TfrmViewHeader::Mode::Body);
        viewer.setMoreParts(partsOf(c.count));
        EXPECT_EQ(viewer.lblMoreParts.visible, c.count > 0) << c.count;
        EXPECT_EQ(viewer.lblMoreParts.caption, c.caption) << c.count;
    }
    // A name is one line of text, whatever the message wrote; no name says so.
    TfrmViewHeader viewer(TfrmViewHeader::Mode::Body);
    viewer.setMoreParts({{"a\r\nb\tc.txt", 7}, {"", 0}});
    EXPECT_EQ(viewer.lblMoreParts.caption,
              "Only the text of the first part is shown. 2 more parts: a  b c.txt (7 bytes), (no name) (0 bytes)");
}

}  // namespace
}  // namespace quorvel
