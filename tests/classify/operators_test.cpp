#include "classify/operators.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvel {
namespace {

TEST(CharacterClasses, BlankTakesSpacesLineBreaksAndBackspacesOnly) {
    EXPECT_TRUE(IsBlank(""));
    EXPECT_TRUE(IsBlank(" \r\n\b "));
    EXPECT_FALSE(IsBlank("\t"));
    EXPECT_FALSE(IsBlank("  x "));
    EXPECT_FALSE(IsBlank(std::string(1, '\0')));
}

TEST(CharacterClasses, DelimitersAreExactlyTheThirtyFiveListed) {
    const std::string listed = "\t'\r\n ,./?;:`\"<>[]{}-=\\+|()%@&^$#!~*";
    int count = 0;
    for (int code = 0; code < 256; ++code) {
        const char c = static_cast<char>(code);
        const bool expected = listed.find(c) != std::string::npos;
        EXPECT_EQ(IsWordDelimiter(c), expected) << "code " << code;
        count += expected;
    }
    EXPECT_EQ(count, 35);
    EXPECT_FALSE(IsWordDelimiter('_'));
    EXPECT_FALSE(IsWordDelimiter('\xE9'));
}

TEST(CharacterClasses, DigitsAndNumericCharacters) {
    EXPECT_TRUE(IsDigitChar('0'));
    EXPECT_TRUE(IsDigitChar('9'));
    EXPECT_FALSE(IsDigitChar('_'));
    EXPECT_FALSE(IsDigitChar('\xB2'));  // superscript two in Windows-1252
    EXPECT_EQ(CountNumericChars("a1_b"), 2u);
    EXPECT_EQ(StripDigits("R2_D2x"), "R_Dx");
}

TEST(CharacterClasses, UpperCasingFoldsAsciiLettersOnly) {
    EXPECT_EQ(asciiUpper("Caf\xE9 au lait"), "CAF\xE9 AU LAIT");
    EXPECT_EQ(asciiUpper("\xE0z{`@["), "\xE0Z{`@[");
}

struct PatternCase {
    const char* name;
    bool (*op)(std::string_view, std::string_view, bool);
    std::string text;
    std::string pattern;
    bool caseSensitive;
    bool expected;
};

class PatternOperators : public ::testing::TestWithParam<PatternCase> {};

TEST_P(PatternOperators, Match) {
    const PatternCase& c = GetParam();
    EXPECT_EQ(c.op(c.text, c.pattern, c.caseSensitive), c.expected)
        << c.name << ": '" << c.text << "' / '" << c.pattern << "'";
}

const std::string kLong300(300, 'x');
// One 'a' in front of n x's: the pattern of n x's is exactly the text's tail.
std::string aThenXs(std::size_t n) { return std::string(1, 'a').append(n, 'x'); }

INSTANTIATE_TEST_SUITE_P(
    Table, PatternOperators,
    ::testing::Values(
        PatternCase{"contains folded", TextContains, "Free offer", "FREE", false, true},
        PatternCase{"contains exact case", TextContains, "Free offer", "FREE", true, false},
        PatternCase{"contains empty pattern", TextContains, "anything", "", false, false},
        PatternCase{"contains in empty", TextContains, "", "", false, false},
        PatternCase{"accent not folded", TextContains, "Caf\xE9 au lait", "CAF\xC9", false, false},
        PatternCase{"accent exact", TextContains, "Caf\xE9 au lait", "CAF\xE9 AU", false, true},
        PatternCase{"equals folded", TextEquals, "HelloWorld", "helloworld", false, true},
        PatternCase{"equals case", TextEquals, "HelloWorld", "helloworld", true, false},
        PatternCase{"equals empty", TextEquals, "", "", false, true},
        PatternCase{"equals empty pattern", TextEquals, "x", "", false, false},
        PatternCase{"equals with NUL", TextEquals, std::string("a\0b", 3), std::string("A\0B", 3), false, true},
        PatternCase{"starts", TextStartsWith, "Price $5", "price ", false, true},
        PatternCase{"starts keeps the space", TextStartsWith, "Prices", "Price ", false, false},
        PatternCase{"starts shorter text", TextStartsWith, "Pri", "Price", false, false},
        PatternCase{"starts empty pattern", TextStartsWith, "x", "", true, true},
        PatternCase{"starts empty text and pattern", TextStartsWith, "", "", false, true},
        PatternCase{"ends", TextEndsWith, "amy file", "FILE", false, true},
        PatternCase{"ends case", TextEndsWith, "amy file", "FILE", true, false},
        PatternCase{"ends shorter text", TextEndsWith, "le", "file", false, false},
        PatternCase{"ends empty pattern", TextEndsWith, "amy file", "", false, true},
        PatternCase{"ends 255 pattern", TextEndsWith, aThenXs(255), std::string(255, 'x'), false, true},
        PatternCase{"ends 256 pattern", TextEndsWith, aThenXs(256), std::string(256, 'x'), false, false},
        PatternCase{"ends pattern equals long text", TextEndsWith, kLong300, kLong300, false, false},
        PatternCase{"ends domain", TextEndsWith, "mail.example.de", ".DE", false, true},
        PatternCase{"word inside sentence", WholeWordCheck, "Make $$$ fast!", "fast", false, true},
        PatternCase{"word inside a longer word", WholeWordCheck, "breakfast", "fast", false, false},
        PatternCase{"word then longer word", WholeWordCheck, "breakfast fast", "FAST", false, true},
        PatternCase{"word with hyphen", WholeWordCheck, "free-offer", "free-offer", false, false},
        PatternCase{"word with space", WholeWordCheck, "amy file", "amy file", false, false},
        PatternCase{"underscore is a word char", WholeWordCheck, "user_name", "user", false, false},
        PatternCase{"word is the whole text", WholeWordCheck, "HelloWorld", "helloworld", false, true},
        PatternCase{"word case sensitive", WholeWordCheck, "HelloWorld", "helloworld", true, false},
        PatternCase{"word at both ends", WholeWordCheck, "(cash)", "cash", false, true},
        PatternCase{"accented letter is a word char", WholeWordCheck, "Caf\xE9 au lait", "CAF", false, false},
        PatternCase{"accented word", WholeWordCheck, "Caf\xE9 au lait", "caf\xE9", false, true},
        PatternCase{"blank word", WholeWordCheck, "a  b", " ", false, false},
        PatternCase{"blank text", WholeWordCheck, "   ", "x", false, false},
        PatternCase{"tab delimits", WholeWordCheck, "a\tcash\tb", "cash", false, true}),
    [](const ::testing::TestParamInfo<PatternCase>& info) {
        std::string name = info.param.name;
        for (char& c : name)
            if (!isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    });

TEST(CharacterOperators, Uppercase) {
    EXPECT_TRUE(IsUppercaseText("1234 - $$$"));
    EXPECT_FALSE(IsUppercaseText("   "));
    EXPECT_TRUE(IsUppercaseText("\xC9" "COLE"));
    EXPECT_FALSE(IsUppercaseText("\xC9" "COLE libre"));
    EXPECT_TRUE(IsUppercaseText("\xE9T\xE9"));  // accented lower-case letters are not letters a-z
    EXPECT_FALSE(IsUppercaseText(""));
}

TEST(CharacterOperators, Numeric) {
    EXPECT_TRUE(IsAllNumeric(""));
    EXPECT_TRUE(IsAllNumeric("4325154"));
    EXPECT_TRUE(IsAllNumeric("__"));
    EXPECT_FALSE(IsAllNumeric("a1_b"));
    EXPECT_TRUE(IsHalfNumeric("a1_b"));
    EXPECT_TRUE(IsHalfNumeric("a"));
    EXPECT_TRUE(IsHalfNumeric(""));
    EXPECT_TRUE(IsHalfNumeric("abcd123"));   // 7 long needs 3
    EXPECT_FALSE(IsHalfNumeric("abcde12"));  // only 2
    EXPECT_TRUE(IsFirstCharNumeric("9lives"));
    EXPECT_FALSE(IsFirstCharNumeric("_9"));
    EXPECT_FALSE(IsFirstCharNumeric(""));
}

struct SenderCase {
    std::string address;
    std::string what;
    std::string op;
    std::string pattern;
    bool expected;
};

class SenderRules : public ::testing::TestWithParam<SenderCase> {};

TEST_P(SenderRules, Match) {
    const SenderCase& c = GetParam();
    EXPECT_EQ(MatchSenderRule(c.address, c.what, c.op, c.pattern), c.expected)
        << "'" << c.address << "' " << c.what << " " << c.op << " '" << c.pattern << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Table, SenderRules,
    ::testing::Values(
        SenderCase{"4325154@mail.com", "E-mail address", "All numeric", "", true},
        SenderCase{"4325154@mail.com", "Domain name", "All numeric", "", false},
        SenderCase{"a1_b@x.com", "E-mail address", "All numeric", "", false},
        SenderCase{"a1_b@x.com", "E-mail address", "50% numeric", "", true},
        SenderCase{"a@x.com", "E-mail address", "50% numeric", "", true},
        SenderCase{"", "E-mail address", "Is blank", "", true},
        SenderCase{"", "E-mail address", "All numeric", "", true},
        SenderCase{"", "E-mail address", "50% numeric", "", true},
        SenderCase{"", "E-mail address", "Is UPPERCASE", "", false},
        SenderCase{"", "E-mail address", "First char numeric", "", false},
        SenderCase{"9a@b.com", "E-mail address", "First char numeric", "", true},
        SenderCase{"a@9b.com", "Domain name", "First char numeric", "", true},
        SenderCase{"JOE@example.com", "E-mail address", "Is UPPERCASE", "", true},
        SenderCase{"joe@EXAMPLE.COM", "Domain name", "Is UPPERCASE", "", true},
        SenderCase{"joe@EXAMPLE.COM", "E-mail address", "Is UPPERCASE", "", false},
        SenderCase{"joe@mail.Example.De", "Domain name", "Ends with", ".DE", true},
        SenderCase{"joe@mail.example.de", "E-mail address", "Ends with", ".DE", true},
        SenderCase{"joe@example.com", "Domain name", "Equals", "EXAMPLE.com", true},
        SenderCase{"joe@example.com", "Domain name", "Starts with", "joe", false},
        SenderCase{"joe@example.com", "E-mail address", "Starts with", "JOE@", true},
        SenderCase{"joe@example.com", "E-mail address", "Contains (whole word)", "Example", true},
        SenderCase{"nodomain", "Domain name", "Equals", "NODOMAIN", true},
        SenderCase{"a@b@c", "Domain name", "Equals", "b@c", true},
        SenderCase{"joe@example.com", "Domain name", "Contains", "", false},
        SenderCase{"joe@example.com", "Domain name", "Matches", "example", false},
        SenderCase{"joe@example.com", "Subject", "Contains", "example", false}));

TEST(SenderRules, DomainIsCutAt255Characters) {
    const std::string domain(300, 'd');
    EXPECT_TRUE(MatchSenderRule("x@" + domain, "Domain name", "Equals", domain.substr(0, 255)));
    EXPECT_FALSE(MatchSenderRule("x@" + domain, "Domain name", "Equals", domain));
}

TEST(SubjectRules, SevenOperatorsAndNoMore) {
    EXPECT_TRUE(MatchSubjectRule("Free offer", "Contains", "FREE", false));
    EXPECT_FALSE(MatchSubjectRule("Free offer", "Contains", "FREE", true));
    EXPECT_TRUE(MatchSubjectRule("   ", "Is blank", "ignored", true));
    EXPECT_FALSE(MatchSubjectRule("\t", "Is blank", "", false));
    EXPECT_TRUE(MatchSubjectRule("1234 - $$$", "Is UPPERCASE", "x", true));
    EXPECT_FALSE(MatchSubjectRule("   ", "Is UPPERCASE", "", false));
    EXPECT_FALSE(MatchSubjectRule("12345", "All numeric", "", false));
    EXPECT_FALSE(MatchSubjectRule("12345", "First char numeric", "", false));
    EXPECT_TRUE(MatchSubjectRule("Make $$$ fast!", "Contains (whole word)", "fast", false));
}

TEST(HeaderAndExceptionRules, FivePatternOperatorsOnly) {
    for (auto match : {MatchHeaderLine, MatchExceptionText}) {
        EXPECT_TRUE(match("X-Mailer: Floodgate", "Contains", "floodgate", false));
        EXPECT_TRUE(match("X-Mailer: Floodgate", "Starts with", "X-MAILER:", false));
        EXPECT_TRUE(match("X-Mailer: Floodgate", "Ends with", "Floodgate", true));
        EXPECT_TRUE(match("X-Mailer: Floodgate", "Contains (whole word)", "Mailer", true));
        EXPECT_FALSE(match("X-Mailer: Floodgate", "Equals", "x-mailer", false));
        EXPECT_FALSE(match("", "Is blank", "", false));
        EXPECT_FALSE(match("ABC", "Is UPPERCASE", "", false));
        EXPECT_FALSE(match("123", "All numeric", "", false));
    }
}

}  // namespace
}  // namespace quorvel
