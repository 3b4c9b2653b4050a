#include "platform/ascii_text.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

TEST(TrimText, DropsLeadingAndTrailingSpacesAndControlCharactersOnly) {
    struct Case {
        std::string text, trimmed;
    } cases[] = {
        {"  cash ", "cash"},
        {"\t\r\n\b\x01 a b \x1f", "a b"},
        {"a\tb\r\nc", "a\tb\r\nc"},
        {"\xa0" "caf\xe9\xa0", "\xa0" "caf\xe9\xa0"},  // bytes above 127 are text
        {std::string("\0x\0", 3), "x"},
        {"   ", ""},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(TrimText(c.text), c.trimmed) << c.text;
}

TEST(AsciiText, FoldsAndTestsByteByByte) {
    EXPECT_EQ(asciiUpper("caf\xe9 abc_Z9"), "CAF\xe9 ABC_Z9");
    struct Case {
        const char* text;
        bool blank, allNumeric;
        std::size_t numeric;
    } cases[] = {
        {"", true, true, 0},      {" \r\n\b", true, false, 0}, {"\t", false, false, 0},
        {"12_3", false, true, 4}, {"a1_b", false, false, 2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsBlank(c.text), c.blank) << c.text;
        EXPECT_EQ(IsAllNumeric(c.text), c.allNumeric) << c.text;
        EXPECT_EQ(CountNumericChars(c.text), c.numeric) << c.text;
    }
}

}  // namespace
}  // namespace quorvel
