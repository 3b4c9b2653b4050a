// Reading a server's CAPA answer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mail/pop3_capabilities.h"

namespace quorvel {
namespace {

using Caps = std::vector<TmsCapabilities::Capability>;

TEST(Pop3Capabilities, AnswersAreReadIntoNamesAndArguments) {
    const struct {
        const char* what;
        std::string answer;
        Caps expected;
    } cases[] = {
        {"a usual answer", "TOP\r\nUSER\r\nSASL PLAIN LOGIN\r\nSTLS\r\n.\r\n",
         {{"TOP", {}}, {"USER", {}}, {"SASL", {"PLAIN", "LOGIN"}}, {"STLS", {}}}},
        {"names in any case, kept in upper case", "stls\r\nUidl\r\n.\r\n", {{"STLS", {}}, {"UIDL", {}}}},
        {"bare LF and tabs", "EXPIRE\t60  USER\nPIPELINING\n.\n", {{"EXPIRE", {"60", "USER"}}, {"PIPELINING", {}}}},
        {"nothing after the end line", "TOP\r\n.\r\nSTLS\r\n", {{"TOP", {}}}},
        {"no end line: what came counts", "TOP\r\nSTL", {{"TOP", {}}, {"STL", {}}}},
        {"empty and blank lines left out", "\r\n   \r\nTOP\r\n.\r\n", {{"TOP", {}}}},
        {"a stuffed dot is removed", "..X-DOT a\r\n.\r\n", {{".X-DOT", {"a"}}}},
        {"a name said twice keeps the first", "SASL PLAIN\r\nsasl LOGIN\r\n.\r\n", {{"SASL", {"PLAIN"}}}},
        {"control characters drop the line", std::string("ST\x01LS\r\nTOP\r\nUSER \x7f\r\n.\r\n"), {{"TOP", {}}}},
        {"eight-bit octets drop the line", "STLS\xc3\xa9\r\nUSER\r\n.\r\n", {{"USER", {}}}},
        {"a word too long drops the line", std::string(129, 'A') + "\r\n" + std::string(128, 'B') + "\r\n.\r\n",
         {{std::string(128, 'B'), {}}}},
        {"the empty answer", ".\r\n", {}},
        {"nothing at all", "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(TmsCapabilities::parse(c.answer).items(), c.expected);
    }
}

TEST(Pop3Capabilities, ListsAndArgumentsAreBounded) {
    std::string many;
    for (std::size_t i = 0; i < TmsCapabilities::kMaxCapabilities + 10; ++i) many += "X" + std::to_string(i) + "\r\n";
    const auto caps = TmsCapabilities::parse(many + ".\r\n");
    ASSERT_EQ(caps.items().size(), TmsCapabilities::kMaxCapabilities);
    EXPECT_EQ(caps.items().back().name, "X" + std::to_string(TmsCapabilities::kMaxCapabilities - 1));

    const auto withArguments = [](std::size_t count) {
        std::string line = "SASL";
        for (std::size_t i = 0; i < count; ++i) line += " M" + std::to_string(i);
        return TmsCapabilities::parse(line + "\r\n.\r\n");
    };
    EXPECT_EQ(withArguments(TmsCapabilities::kMaxArguments).find("SASL")->arguments.size(),
              TmsCapabilities::kMaxArguments);
    EXPECT_FALSE(withArguments(TmsCapabilities::kMaxArguments + 1).has("SASL"));
}

TEST(Pop3Capabilities, LookUpIgnoresCase) {
    const auto caps = TmsCapabilities::parse("STLS\r\nSASL PLAIN\r\n.\r\n");
    for (const char* name : {"STLS", "stls", "Stls"}) EXPECT_TRUE(caps.has(name)) << name;
    for (const char* name : {"STL", "STLSX", "", "PLAIN"}) EXPECT_FALSE(caps.has(name)) << name;
    ASSERT_NE(caps.find("sasl"), nullptr);
    EXPECT_EQ(caps.find("sasl")->arguments, std::vector<std::string>{"PLAIN"});
}

}  // namespace
}  // namespace quorvel
