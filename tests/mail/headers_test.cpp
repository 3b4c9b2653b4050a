#include "mail/headers.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvel {
namespace {

std::string fieldValue(const TmsHeaders& headers, const std::string& name) {
    std::string value = "stale";
    GetFieldValue(headers, name, value);
    return value;
}

TEST(GetFieldValue, FindsUnfoldsAndCuts) {
    const std::string longText(300, 'x');
    const std::string encodedLooking = "text/plain; name=\"=?x?B?not base64?=\"";
    struct Case {
        const char* label;
        TmsHeaders headers;
        std::string name;
        std::string expected;
    } cases[] = {
        {"any case", {"subject: hello"}, "Subject", "hello"},
        {"name with its colon", {"Subject: hello"}, "subject:", "hello"},
        {"colon is part of the name", {"Subjects: x"}, "Subject", ""},
        {"absent", {"From: a@b"}, "Subject", ""},
        {"empty list", {}, "Subject", ""},
        {"empty name", {": x", "Subject: y"}, "", ""},
        {"bare colon as name", {": x"}, ":", ""},
        {"one character after the colon always goes", {"Subject:Hello"}, "Subject", "ello"},
        {"tab after the colon goes too", {"Subject:\tHello"}, "Subject", "Hello"},
        {"surrounding blanks trimmed", {"Subject:   hello  \r"}, "Subject", "hello"},
        {"nothing after the colon", {"Subject:"}, "Subject", ""},
        {"first of two fields", {"Subject: one", "Subject: two"}, "Subject", "one"},
        {"line must begin with the name", {"X-Subject: no", "Subject: yes"}, "Subject", "yes"},
        {"folded over three lines",
         {"Subject: one", "   two  ", "\tthree", "From: a@b", " not this"},
         "Subject",
         "one two three"},
        {"empty line ends the field", {"Subject: one", "", " two"}, "Subject", "one"},
        {"blank continuation still adds its space", {"Subject: one", " ", "\tx"}, "Subject", "one  x"},
        {"cut to 255", {"Subject: " + longText}, "Subject", std::string(255, 'x')},
        {"cut applies after unfolding",
         {"Subject: " + std::string(250, 'a'), " bcdefghij"},
         "Subject",
         std::string(250, 'a') + " bcde"},
        {"Content-Type kept whole and raw",
         {"Content-Type: " + longText, " " + encodedLooking},
         "content-type",
         longText + " " + encodedLooking},
        {"X-UIDL kept whole", {"X-UIDL: " + longText + "_=?x"}, "X-UIDL:", longText + "_=?x"},
        {"the exception is by name, not prefix", {"Content-Types: " + longText}, "Content-Types", std::string(255, 'x')},
        {"quoted-printable word, octets kept",
         {"Subject: =?iso-8859-1?Q?Caf=E9_au_lait?="},
         "Subject",
         "Caf\xE9 au lait"},
        {"base64 word swallows the following blank",
         {"Subject: =?UTF-8?B?SGVsbG8=?= World"},
         "Subject",
         "HelloWorld"},
        {"unclosed word is cut", {"Subject: Price =?x"}, "Subject", "Price "},
        {"plain underscore kept", {"Subject: my_file"}, "Subject", "my_file"},
        {"underscore becomes a blank once a word was decoded",
         {"Subject: =?us-ascii?Q?a?= my_file"},
         "Subject",
         "amy file"},
        {"folded encoded words", {"Subject: =?x?Q?one?=", "\t=?x?B?dHdv?="}, "Subject", "onetwo"},
        {"binary octets pass", {std::string("Subject: a\0b\xff", 13)}, "Subject", std::string("a\0b\xff", 4)},
    };
    for (const Case& c : cases) EXPECT_EQ(fieldValue(c.headers, c.name), c.expected) << c.label;
}

TEST(GetFieldValue, BadBase64RaisesInvalidCharacter) {
    const TmsHeaders headers = {"Subject: =?utf-8?B?SGVs bG8=?="};
    std::string value;
    try {
        GetFieldValue(headers, "Subject", value);
        FAIL() << "no error for a blank inside base64";
    } catch (const EMessageParserError& error) {
        EXPECT_STREQ(error.what(), "Invalid Character");
    }
    // Content-Type is never decoded, so the same text is harmless there.
    GetFieldValue({"Content-Type: =?utf-8?B?SGVs bG8=?="}, "Content-Type", value);
    EXPECT_EQ(value, "=?utf-8?B?SGVs bG8=?=");
}

TEST(GetFieldValue, HostileListsEndInTheUsualResult) {
    TmsHeaders manyLines(200000, " x");
    manyLines.front() = "Content-Type: a";
    manyLines.push_back("Subject: " + std::string(1 << 20, '='));
    std::string value;
    GetFieldValue(manyLines, "Content-Type", value);
    EXPECT_EQ(value.size(), 1 + 2 * (manyLines.size() - 2));
    GetFieldValue(manyLines, "Subject", value);
    EXPECT_EQ(value, std::string(255, '='));

    manyLines.front() = "Subject: a";
    GetFieldValue(manyLines, "Subject", value);
    std::string expected = "a";
    for (int i = 0; i < 127; ++i) expected += " x";
    EXPECT_EQ(value, expected);
}

TEST(DecodeEncodedWords, DecodesAndJoins) {
    struct Case {
        const char* label;
        std::string text;
        std::string expected;
    } cases[] = {
        {"no words", "plain_text", "plain_text"},
        {"base64 padded", "=?x?B?SGk=?=", "Hi"},
        {"base64 lower-case letter, no padding", "=?x?b?SGk?=", "Hi"},
        {"base64 double padding", "=?x?B?SA==?=", "H"},
        {"base64 short last group", "=?x?B?SGVsbG8?=", "Hello"},
        {"base64 empty", "a =?x?B?" "?=b", "a b"},
        {"quoted-printable lower-case letter and hex", "=?x?q?a=e9=41?=", "a\xE9" "A"},
        // Only "?B?=" and "?Q?=" are passed over: after a lower-case letter the
        // word ends at once and the encoded text stays behind as plain text.
        {"lower-case letter before an escape", "=?x?q?=e9?=", "e9?="},
        {"escape starting with = right after the letter", "=?x?Q?=3D?=", "="},
        {"= without two hex digits stays", "=?x?Q?a=G1=4?=", "a=G1=4"},
        {"final = dropped", "=?x?Q?ab=?=", "ab"},
        {"ends at a decoded line break", "=?x?Q?ab=0Dcd?= tail", "abtail"},
        {"adjacent words join", "=?x?Q?a?=  =?x?Q?b?=", "ab"},
        {"prefix kept, underscores in it become blanks", "re_ply: =?x?Q?a_b?=", "re ply: a b"},
        {"unknown encoding shows the text", "=?x?X?abc?=", "abc"},
        {"no charset separator", "=?Qab?=", "b"},
        {"unclosed word cut", "Price =?x?Q?abc", "Price "},
        {"closing right on the opening", "a=?=b", "ab"},
        {"result cut to 255", std::string(300, 'a'), std::string(255, 'a')},
        {"octets past 255 are never read", std::string(253, 'a') + "=?x?Q?b?=", std::string(253, 'a')},
    };
    for (const Case& c : cases) EXPECT_EQ(DecodeEncodedWords(c.text), c.expected) << c.label;
}

TEST(DecodeEncodedWords, InvalidBase64Raises) {
    for (const char* text : {"=?x?B?SGk!?=", "=?x?B?SG k?=", "=?x?B?SGk=\r?="}) {
        EXPECT_THROW(DecodeEncodedWords(text), EMessageParserError) << text;
    }
}

TEST(FieldCharSet, IsTheSetTheEncodedWordsDeclare) {
    struct Case {
        const char* line;
        const char* charSet;
    } cases[] = {
        {"Subject: =?koi8-r?B?8NLJ18XU?=", "KOI8-R"},
        {"Subject: Re: =?ISO-2022-JP?B?GyRCJDMkcyRLJEEkTxsoQg==?= now", "ISO-2022-JP"},
        {"Subject: =?gb2312?B?xOO6ww==?= =?GB2312?Q?=C4=E3?=", "GB2312"},
        {"Subject: =?us-ascii?Q?Hi?= =?shift_jis?B?grGC8YLJgr+CzQ==?=", "SHIFT_JIS"},
        {"Subject: =?iso-8859-5*ru?Q?=BF=E0=D8?=", "ISO-8859-5"},
        {"Subject: =?UTF-8?Q?a?= =?KOI8-R?Q?b?=", ""},  // two sets: neither fits all
        {"Subject: plain words", ""},
        {"Subject: =?us-ascii?Q?only_ascii?=", ""},
        {"Subject: =?broken", ""},
        {"Content-Type: text/plain; x==?koi8-r?Q?a?=", ""},  // read whole, never decoded
        {"X-Other: =?koi8-r?Q?a?=", ""},                   // another field
    };
    for (const Case& c : cases) {
        const TmsHeaders headers = {"From: a@b.example", c.line};
        const std::string name = std::string(c.line).substr(0, std::string(c.line).find(':'));
        EXPECT_EQ(FieldCharSet(headers, name == "X-Other" ? "Subject" : name), c.charSet) << c.line;
    }
    // A folded field is read as a whole, as its value is.
    EXPECT_EQ(FieldCharSet({"Subject: first", " =?KOI8-R?Q?=F0?="}, "Subject"), "KOI8-R");
}

// What the user is shown: each row's expectation is what Python's email
// package (policy.default) decodes from the same Subject line, but the two
// marked rows, where the window keeps its own reading.
TEST(FieldText, DecodesAsMailProgramsDo) {
    const struct {
        const char* value;
        const char* shown;
    } cases[] = {
        // Every character set the window shows.
        {"=?ISO-2022-JP?B?GyRCMnE1RBsoQg==?=", "会議"},
        {"=?ISO-2022-JP?B?GyRCJEgkJiQkJCYbKEI=?= test", "とういう test"},
        {"=?iso-8859-7?Q?=C5=EB=EB=E7=ED=E9=EA=DC_=ED=DD=E1?=", "Ελληνικά νέα"},
        {"Re: =?ISO-8859-7?B?xevr5+3p6tw=?=", "Re: Ελληνικά"},
        {"=?koi8-r?B?8NLJ18XU?=", "Привет"},
        {"=?windows-1251?B?z/Do4uXy?=", "Привет"},
        {"=?gb2312?B?xOO6ww==?=", "你好"},
        {"=?big5?B?pOSk5Q==?=", "支文"},
        {"=?euc-kr?B?vsiz58fPvLy/5A==?=", "안녕하세요"},
        {"=?shift_jis?B?g2WDWINn?=", "テスト"},
        {"=?euc-jp?B?pMuk26TzpLQ=?=", "にほんご"},
        {"=?iso-8859-2?Q?P=F8=EDli=B9?=", "Příliš"},
        {"=?iso-8859-15?Q?=A4uro?=", "€uro"},
        {"=?windows-1252?Q?=93quoted=94?=", "“quoted”"},
        {"=?iso-8859-1?Q?Caf=E9_au_lait?=", "Café au lait"},
        {"=?utf-8*en?q?Hi?=", "Hi"},
        // Blanks: dropped between encoded words only.
        {"=?UTF-8?B?SGVsbG8=?= World", "Hello World"},
        {"=?us-ascii?Q?a?= my_file", "a my_file"},
        {"=?utf-8?q?a?= =?utf-8?q?b?=", "ab"},
        {"=?utf-8?q?a?=  \t =?utf-8?q?b?=", "ab"},
        {"=?utf-8?q?x?=\t=?iso-8859-1?q?=E9?=", "xé"},
        {"=?iso-8859-7?B?xevr5+3p6tw=?= =?utf-8?B?zr3Orc6x?=", "Ελληνικάνέα"},
        {"plain =?utf-8?q?x?= text", "plain x text"},
        {"=?utf-8?q?multi?= plain =?iso-8859-1?q?=E9?=", "multi plain é"},
        {"=?utf-8?q?a_b?= _c", "a b _c"},
        {"a=?utf-8?q?b?=c", "abc"},
        // A character split between two words of one set.
        {"=?utf-8?q?caf=C3?= =?utf-8?q?=A9?=", "café"},
        // Malformed words.
        {"Price =?x", "Price =?x"},
        {"=?utf-8?q?a", "=?utf-8?q?a"},
        {"=?=", "=?="},
        {"==?utf-8?q?x?=", "=x"},
        {"=?utf-8?q?a?b?=", "=?utf-8?q?a?b?="},
        {"=?utf-8?X?abc?=", "=?utf-8?X?abc?="},
        {"=?utf-8?B?SGVsbG8?=", "Hello"},
        {"=?utf-8?B?SGVsbG8===?=", "Hello"},
        {"=?utf-8?B?SGV sbG8=?=", "Hello"},
        {"=?utf-8?b?@@@?=", ""},
        {"=?utf-8?Q?bad=ZZhex?=", "bad=ZZhex"},
        {"=?utf-8?q?=E2=82?=", "\uFFFD"},
        {"=?unknown-charset?Q?abc?=", "abc"},
        {"=??q?abc?=", "abc"},
        // The window's own readings: Latin-1 as Windows-1252 (Python: U+0093),
        // US-ASCII octets as the other text (Python: U+FFFD).
        {"=?iso-8859-1?Q?=93q=94?=", "“q”"},
        {"=?us-ascii?q?=FF?=", "ÿ"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FieldText({"From: a@b.example", std::string("Subject: ") + c.value}, "Subject"), c.shown) << c.value;
        EXPECT_EQ(DecodeHeaderText(c.value), c.shown) << c.value;
    }
}

TEST(FieldText, IsUnfoldedAndBoundedInCharacters) {
    EXPECT_EQ(FieldText({"Subject: =?utf-8?q?one?=", " =?utf-8?q?two?=", "\t three"}, "Subject"), "onetwo three");
    EXPECT_EQ(FieldText({"From: a@b.example"}, "Subject"), "");
    // Raw octets that are not UTF-8 are shown as Windows-1252.
    EXPECT_EQ(FieldText({"Subject: caf\xE9"}, "Subject"), "café");
    // 255 characters, whatever their octets; the rest of a long field is dropped.
    const std::string greek = "=?utf-8?b?zrE=?=";  // "α", two octets
    std::string many;
    for (int i = 0; i < 60; ++i) many += greek;
    std::string shown;
    for (int i = 0; i < 60; ++i) shown += "α";
    EXPECT_EQ(FieldText({"Subject: " + many}, "Subject"), shown);
    const std::string letters(300, 'x');
    EXPECT_EQ(FieldText({"Subject: " + letters}, "Subject"), std::string(kMaxHeaderText, 'x'));
    EXPECT_EQ(FieldText({"Subject: " + std::string(kMaxHeaderText - 1, 'x')}, "Subject"),
              std::string(kMaxHeaderText - 1, 'x'));
    std::string alphas;
    for (std::size_t i = 0; i < kMaxHeaderText + 1; ++i) alphas += "α";
    EXPECT_EQ(FieldText({"Subject: " + alphas}, "Subject"), alphas.substr(0, 2 * kMaxHeaderText));
    // The checks still read the octets as GetFieldValue gives them.
    std::string value;
    GetFieldValue({"Subject: =?iso-8859-7?Q?=C5=EB?="}, "Subject", value);
    EXPECT_EQ(value, "\xC5\xEB");
}

TEST(SplitAddress, FindsAddressAndName) {
    struct Case {
        std::string text;
        std::string address;
        std::string name;
    } cases[] = {
        {"\"Sales Team\" <st>", "st", "Sales Team"},
        {"st (Sales Team)", "st", "Sales Team"},
        {"st", "st", ""},
        {"  st  ", "  st  ", ""},  // a bare address is taken as it is
        {"<a@b.example>", "a@b.example", ""},
        {"Joe < \"a@b\" > Smith", "a@b", "Joe  Smith"},
        {"Sales Team <st", "", "Sales Team <st"},
        {"a > b < c", "", "a > b < c"},
        {"Joe <a@b>, Ann <c@d>", "a@b", "Joe , Ann <c@d>"},
        {"st (", "st", ""},
        {"st (Team) ", "st", "Team)"},  // the last character is dropped, whatever it is
        {std::string(300, 'a'), std::string(255, 'a'), ""},
        {"<" + std::string(300, 'a') + "> " + std::string(300, 'n'), std::string(255, 'a'),
         std::string(255, 'n')},
    };
    for (const Case& c : cases) {
        std::string address = "stale", name = "stale";
        SplitAddress(c.text, address, name);
        EXPECT_EQ(address, c.address) << c.text;
        EXPECT_EQ(name, c.name) << c.text;

        TmsMailAddress record{"stale", "stale"};
        ParseAddress(c.text, record);
        EXPECT_EQ(record.Address, c.address) << c.text;
        EXPECT_EQ(record.Name, c.name) << c.text;
    }
}

TEST(Unquote, TrimsThenStripsQuotes) {
    struct Case {
        std::string text;
        std::string expected;
    } cases[] = {
        {"  \"x\"  ", "x"},
        {"\"\"x\"\"", "x"},
        {"\" x \"", " x "},  // blanks inside the quotes stay
        {"a\"b", "a\"b"},
        {"\"", ""},
        {"", ""},
        {"\t\r\n", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(Unquote(c.text), c.expected) << c.text;
}

TEST(ParseDate, ReadsDateTimeAndZone) {
    struct Case {
        std::string text;
        DateParts date;  // year 0: no date
        std::string zone;
    } cases[] = {
        {"Tue, 14 Mar 2000 10:20:30 +0100", {2000, 3, 14, 10, 20, 30}, "+0100"},
        {"14 Mar 00 10:20", {2000, 3, 14, 10, 20, 0}, ""},
        {"14 Mar 1999", {}, ""},
        {"Mon, 3 Jan 2000 08:00:00 GMT", {2000, 1, 3, 8, 0, 0}, "GMT"},
        {"3-Jan-2000", {}, ""},
        {"Tue, 14 Mar 2000 10:20:30 -0500 (EST)", {2000, 3, 14, 10, 20, 30}, "-0500 (EST)"},
        {"  \"tue, 14 mar 2000 10:20:30 +0100\" ", {2000, 3, 14, 10, 20, 30}, "+0100"},
        // The month is searched anywhere, in calendar order.
        {"Fri, 10 Dec 1999 10:00:00 +0100 (SMART TIME)", {1999, 3, 10, 10, 0, 0}, "+0100 (SMART TIME)"},
        {"1 Feb 50 00:00", {2050, 2, 1}, ""},
        {"1 Feb 51 00:00", {1951, 2, 1}, ""},
        {"1 Feb 99 23:59:59", {1999, 2, 1, 23, 59, 59}, ""},
        {"1 Feb 100 01:00", {100, 2, 1, 1, 0, 0}, ""},
        {"14 Mar 2000, 10:20 GMT", {2000, 3, 14, 10, 20, 0}, "GMT"},
        {"14 Mar 2000 10:20:30, GMT", {2000, 3, 14, 10, 20, 30}, "GMT"},
        // A time that cannot be read is midnight; the zone is still what follows.
        {"14 Mar 2000 xx:yy +0100", {2000, 3, 14}, "+0100"},
        {"14 Mar 2000 25:00 +0100", {2000, 3, 14}, "+0100"},
        {"14 Mar 2000 10:20:30:40 +0100", {2000, 3, 14}, "+0100"},
        // The time's end is searched from where the year's delimiter was, so a
        // time shorter than the year swallows the zone.
        {"14 Mar 2000 10 +0100", {2000, 3, 14}, ""},
        {"14 Mar 00 1:2 +0100", {2000, 3, 14, 1, 2}, "+0100"},
        {"29 Feb 2000 12:00", {2000, 2, 29, 12}, ""},
        {"29 Feb 1900 12:00", {}, ""},  // impossible date
        {"0 Mar 2000 12:00", {}, ""},
        {"14 Mar 10000 12:00", {}, ""},
        {"14 Mar 99999999999 12:00", {}, ""},
        {"x14 Xyz 2000 12:00", {}, ""},  // no month
        {"", {}, ""},
        {"\"\"", {}, ""},
        {"Mon, 5", {}, ""},
        {"no digits at all", {}, ""},
        {"14 Mar", {}, ""},
        {std::string("14 Mar 2000 10:20\0 x", 20), {2000, 3, 14, 10, 20}, "X"},
    };
    for (const Case& c : cases) {
        TDateTime value = -1;
        std::string zone = "stale";
        ParseDate(c.text, value, zone);
        const TDateTime expected = c.date.year ? encodeDateTime(c.date) : 0.0;
        EXPECT_DOUBLE_EQ(value, expected) << c.text;
        EXPECT_EQ(zone, c.zone) << c.text;
    }
}

TEST(ParseDate, UsesTheGivenTimeSeparator) {
    TDateTime value = 0;
    std::string zone;
    ParseDate("14 Mar 2000 10.20.30 CET", value, zone, '.');
    EXPECT_DOUBLE_EQ(value, encodeDateTime({2000, 3, 14, 10, 20, 30}));
    ParseDate("14 Mar 2000 10:20:30 CET", value, zone, '.');
    EXPECT_DOUBLE_EQ(value, encodeDateTime({2000, 3, 14}));
    EXPECT_EQ(zone, "CET");
}

TEST(ParseDate, HugeJunkGivesNoDate) {
    TDateTime value = -1;
    std::string zone = "stale";
    ParseDate("1 " + std::string(1 << 20, 'Q') + " 2", value, zone);
    EXPECT_EQ(value, 0.0);
    EXPECT_EQ(zone, "");
    ParseDate("1 Jan 2000 " + std::string(1 << 20, '1'), value, zone);
    EXPECT_DOUBLE_EQ(value, encodeDateTime({2000, 1, 1}));
}

TEST(TruncateAtBody, DropsTheBlankLineAndAfter) {
    struct Case {
        TmsHeaders lines;
        TmsHeaders expected;
    } cases[] = {
        {{"A: 1", "B: 2", "", "body", ""}, {"A: 1", "B: 2"}},
        {{"A: 1", " folded"}, {"A: 1", " folded"}},
        {{"", "A: 1"}, {}},
        {{"A: 1", " ", "B: 2"}, {"A: 1", " ", "B: 2"}},  // a blank line is not an empty one
        {{}, {}},
    };
    for (Case& c : cases) {
        TruncateAtBody(c.lines);
        EXPECT_EQ(c.lines, c.expected);
    }
}

}  // namespace
}  // namespace quorvel
