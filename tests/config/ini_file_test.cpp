#include "config/ini_file.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

TEST(IniFile, ReadsValuesAsWindowsDoes) {
    const IniFile ini(
        "; comment=1\r\n[Smaller]\r\n  qsmaller = 1 \r\nNum=\"250\"\r\nNum=999\r\n"
        "[ larger ]\nQLarger=0\nNum=abc\nCheck=$10\n[Known]\rNum= 42 \rValid=-1\rQuestion=0x0\r[Smaller]\rCheck=0\r");
    EXPECT_EQ(ini.value("Smaller", "QSmaller"), "1");
    EXPECT_EQ(ini.readInteger("smaller", "NUM", 0), 250);  // quotes go; the first key wins
    EXPECT_TRUE(ini.readBool("Smaller", "Check", true));    // a repeated section is not read
    EXPECT_FALSE(ini.readBool("Larger", "QLarger", true));
    EXPECT_EQ(ini.readInteger("Larger", "Num", 20000), 20000);
    EXPECT_EQ(ini.readInteger("Larger", "Check", 0), 16);
    EXPECT_EQ(ini.readString("Known", "Num", "0"), "42");
    EXPECT_TRUE(ini.readBool("Known", "Valid", false));
    EXPECT_FALSE(ini.readBool("Known", "Question", true));
    EXPECT_FALSE(ini.value("Known", "QMonitor").has_value());
    EXPECT_FALSE(ini.value("", "comment").has_value());
}

TEST(IniFile, IntegerSyntax) {
    const struct {
        const char* text;
        std::optional<int> value;
    } cases[] = {{"0", 0},          {"-17", -17},         {"+5", 5},          {"$ff", 255},
                 {"0X1A", 26},      {"2147483647", 2147483647}, {"-2147483648", -2147483648LL},
                 {"2147483648", {}}, {"99999999999999999999", {}}, {"", {}}, {"1.5", {}},
                 {"12abc", {}},     {"$", {}},            {"0x", {}},         {"--1", {}}};
    for (const auto& c : cases) EXPECT_EQ(parseIniInteger(c.text), c.value) << "'" << c.text << "'";
}

TEST(IniFile, WritingKeepsOtherLinesAndAddsWhatIsMissing) {
    IniFile ini("[Other]\r\nKeep=me\r\n\r\n[Smaller]\r\n; note\r\nnum=5\r\n\r\n[Tail]\r\nX=1\r\n");
    ini.writeInteger("Smaller", "Num", 100);
    ini.writeBool("Smaller", "Check", false);
    ini.writeString("Known", "Num", "7\r\n[Injected]");
    EXPECT_EQ(ini.toBytes(),
              "[Other]\r\nKeep=me\r\n\r\n[Smaller]\r\n; note\r\nNum=100\r\nCheck=0\r\n\r\n[Tail]\r\nX=1\r\n"
              "[Known]\r\nNum=7\r\n");
    const IniFile again(ini.toBytes());
    EXPECT_EQ(again.readInteger("Smaller", "Num", 0), 100);
    EXPECT_FALSE(again.value("Injected", "x").has_value());
}

TEST(IniFile, EmptyFileGetsSectionsInWritingOrder) {
    IniFile ini;
    ini.writeBool("A", "One", true);
    ini.writeBool("B", "Two", false);
    ini.writeBool("A", "Three", true);
    EXPECT_EQ(ini.toBytes(), "[A]\r\nOne=1\r\nThree=1\r\n[B]\r\nTwo=0\r\n");
}

}  // namespace
}  // namespace quorvel
