#include "classify/learning_tokenizer.h"

#include <algorithm>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quorvel {
namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::Not;

struct Case {
    const char* name;
    std::string header;
    std::vector<std::string> present;
    std::vector<std::string> absent;
    std::uint64_t size = 1000;
};

class TokenizerCases : public ::testing::TestWithParam<Case> {};

TEST_P(TokenizerCases, GivesTheTokensOfEachPart) {
    const Case& c = GetParam();
    const auto tokens = learningTokens(c.header, c.size);
    for (const auto& token : c.present) EXPECT_THAT(tokens, Contains(token)) << c.name;
    for (const auto& token : c.absent) EXPECT_THAT(tokens, Not(Contains(token))) << c.name;
    // Each token once, none over the bound.
    auto sorted = tokens;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end()) << c.name;
    for (const auto& token : tokens) EXPECT_LE(token.size(), kMaxTokenOctets) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Headers, TokenizerCases,
    ::testing::Values(
        Case{"plain subject, case folded, with and without punctuation",
             "Subject: WIN A FREE CRUISE!!! NOW\r\n",
             {"s:win", "s:free", "s:cruise!!!", "s:cruise", "s:now", "s.:capitals"},
             {"s:WIN", "s:CRUISE", "s:a"}},
        Case{"mixed case is not capitals", "Subject: Win a free cruise\r\n", {"s:win"}, {"s.:capitals"}},
        Case{"base64 encoded word", "Subject: =?UTF-8?B?RnJlZSBDcnVpc2Uh?=\r\n",
             {"s:free", "s:cruise!", "s:cruise", "s.:encoded utf-8"}, {"s:=?utf-8?b?rnjlzsbdcnvpc2uh?="}},
        Case{"quoted-printable encoded word keeps its octets",
             "Subject: =?iso-8859-1?Q?Gro=DFe_Preise?=\r\n",
             {"s:gro\xdf" "e", "s:preise", "s.:encoded iso-8859-1"}, {}},
        Case{"an undecodable encoded word is read as written", "Subject: =?utf-8?B?***?= deal\r\n", {"s:deal"}, {}},
        Case{"folded subject, LF ends", "Subject: hello\n  folded world\n", {"s:hello", "s:folded", "s:world"}, {}},
        Case{"folded with a tab", "Subject: one\r\n\ttwo\r\n", {"s:one", "s:two"}, {}},
        Case{"no subject, and empty", "From: a@b.example\r\n", {"s:(none)"}, {}},
        Case{"empty subject", "Subject:   \r\n", {"s:(empty)"}, {}},
        Case{"numbers by their length", "Subject: order 12345 shipped\r\n", {"s:order", "s:99999"}, {"s:12345"}},
        Case{"the body is not read", "Subject: hi\r\n\r\nSubject: body words\r\n", {"s:hi"}, {"s:body", "s:words"}},
        Case{"From name, address, domain and its parents",
             "From: \"Ann Lee\" <Ann@Mail.Example.co.uk>\r\n",
             {"fn:ann", "fn:lee", "fa:ann@mail.example.co.uk", "fd:mail.example.co.uk", "fd:example.co.uk", "fd:co.uk"},
             {"fd:uk", "fn:(none)"}},
        Case{"From with an encoded name", "From: =?UTF-8?Q?J=C3=BCrgen?= <j@x.example>\r\n",
             {"fn:j\xc3\xbcrgen", "fa:j@x.example"}, {}},
        Case{"From in parentheses form", "From: bob@example.org (Bob Smith)\r\n",
             {"fa:bob@example.org", "fn:bob", "fn:smith"}, {}},
        Case{"From without a name", "From: <bulk@spam.example>\r\n", {"fn:(none)", "fa:bulk@spam.example"}, {}},
        Case{"From without a field", "Subject: x\r\n", {"fa:(none)"}, {}},
        Case{"Reply-To elsewhere, Return-Path the same",
             "From: a@shop.example\r\nReply-To: <z@other.example>\r\nReturn-Path: <a@shop.example>\r\n",
             {"rt:other", "rtd:other.example", "rp:same"}, {"rt:same"}},
        Case{"Return-Path in the same domain, and a bounce",
             "From: a@shop.example\r\nReturn-Path: <b@shop.example>\r\nReply-To: x@mail.shop.example\r\n",
             {"rp:same domain", "rt:related domain"}, {}},
        Case{"empty Return-Path", "From: a@shop.example\r\nReturn-Path: <>\r\n", {"rp:empty"}, {}},
        Case{"To and Cc counted",
             "To: a@x.example, b@y.example,\r\n c@z.example\r\nCc: d@x.example\r\n",
             {"to:3", "cc:1", "tod:x.example"}, {}},
        Case{"To the sender, and undisclosed",
             "From: me@x.example\r\nTo: me@x.example\r\n", {"to:(from)", "to:1"}, {}},
        Case{"undisclosed recipients", "To: undisclosed-recipients:;\r\n", {"to:0", "to:(undisclosed)"}, {}},
        Case{"Received chain: hosts, HELO, address prefixes, hop count",
             "Received: from helo.example.net (host7.dsl.example.net [64.0.57.12])\r\n"
             "\tby mx.home.example (Postfix) with ESMTP id 1; Mon, 1 Jul 2002 10:00:00 +0000\r\n"
             "Received: from [10.0.0.1] by relay.example.org with SMTP; Mon, 1 Jul 2002 09:59:00 +0000\r\n",
             {"rhelo:helo.example.net", "rhost:host7.dsl.example.net", "rdom:example.net", "rip:64.0.57.0/24",
              "rip:64.0.0.0/16", "rby:mx.home.example", "rwith:esmtp", "rwith:smtp", "rby:relay.example.org",
              "rip:10.0.0.0/24", "rh:2"},
             {"rip:64.0.57.12"}},
        Case{"HELO as an address or one label",
             "Received: from 1.2.3.4 by a.example; x\r\nReceived: from localhost by b.example; y\r\n",
             {"rhelo:(address)", "rhelo:(one label)", "rip:1.2.3.0/24"}, {}},
        Case{"not an address", "Received: from a.example (999.1.1.1 1.2.3.4.5) by b.example; x\r\n", {"rh:1"},
             {"rip:999.1.1.0/24", "rip:1.2.3.0/24"}},
        Case{"Message-ID shape and domain", "Message-ID: <20020801123456.GA7@Mail.Example.com>\r\n",
             {"mid:mail.example.com", "mid:example.com", "mids:<9.A9"}, {}},
        Case{"Message-ID without a domain", "Message-ID: <1234>\r\n", {"mid:(no domain)"}, {}},
        Case{"mailer and user agent", "X-Mailer: Microsoft Outlook Express 6.00\r\nUser-Agent: Mutt/1.4i\r\n",
             {"xm:microsoft outlook express 6.00", "xm:microsoft", "xm:mutt/1.4i", "xm:mutt"}, {}},
        Case{"Content-Type, charset, boundary shape",
             "Content-Type: multipart/alternative;\r\n boundary=\"----=_NextPart_000_0007_01C2\"; charset=\"Windows-1252\"\r\n",
             {"ct:multipart/alternative", "cs:windows-1252", "cb:----=_AaAa_9_9_9A9"}, {}},
        Case{"no Content-Type", "Subject: x\r\n", {"ct:(none)"}, {}},
        Case{"Date: zone, format, far before the first Received time",
             "Received: from a.example by b.example; Mon, 8 Jul 2002 10:00:00 +0000\r\n"
             "Date: 1 Jul 2002 10:00 -0800\r\n",
             {"dz:-0800", "df:(no weekday)", "df:(no seconds)", "dr:(days before)"}, {}},
        Case{"Date in the future of its arrival, zone with a name",
             "Received: from a.example by b.example; Mon, 1 Jul 2002 10:00:00 +0000\r\n"
             "Date: Mon, 1 Jul 2002 14:00:00 +0200 (CEST)\r\n",
             {"dz:+0200", "dz:(with name)", "dr:(future hours)"}, {"df:(no weekday)"}},
        Case{"Date close to arrival in another zone",
             "Received: from a.example by b.example; Mon, 1 Jul 2002 10:00:00 +0000\r\n"
             "Date: Mon, 1 Jul 2002 11:59:00 +0200\r\n",
             {"dr:(close)"}, {}},
        Case{"Date unreadable, and none", "Date: sometime soon\r\n", {"d:(unreadable)"}, {}},
        Case{"no Date", "Subject: x\r\n", {"d:(none)"}, {}},
        Case{"List-Id and List-Unsubscribe",
             "List-Id: Team talk <team.lists.example>\r\nList-Unsubscribe: <mailto:leave@lists.example>, <https://l.example/u>\r\n",
             {"lid:team.lists.example", "lu:mailto", "lu:web", "h:list-id", "h:list-unsubscribe"}, {}},
        Case{"Authentication-Results verdicts",
             "Authentication-Results: mx.example; spf=pass smtp.mailfrom=a.example;\r\n dkim=fail (bad sig); dmarc=none\r\n"
             "Received-SPF: Softfail (domain of x)\r\n",
             {"ar:spf=pass", "ar:dkim=fail", "ar:dmarc=none", "ar:spf=softfail"}, {}},
        Case{"field names, case folded", "X-Foo: 1\r\nSUBJECT: hi\r\n", {"h:x-foo", "h:subject", "s:hi"}, {}},
        Case{"a line that is no field", "From someone Mon Jul 1\r\nSubject: hi\r\n", {"h.:(damaged lines)", "s:hi"},
             {}},
        Case{"size buckets: zero", "Subject: x\r\n", {"sz:0"}, {}, 0},
        Case{"size buckets: 1023", "Subject: x\r\n", {"sz:9"}, {}, 1023},
        Case{"size buckets: 1024", "Subject: x\r\n", {"sz:10"}, {}, 1024},
        Case{"hostile: NUL and high octets", std::string("Subject: ab\0cd \xff\xfe z\r\nFrom: <@>\r\n", 32),
             {"s:ab", "s:cd", "s:\xff\xfe", "fa:@"}, {"s:z"}},
        Case{"hostile: a megabyte line", "Subject: " + std::string(1 << 20, 'x') + "\r\n", {}, {}},
        Case{"hostile: a thousand Received hops",
             [] {
                 std::string h;
                 for (int i = 0; i < 1000; ++i) h += "Received: from h" + std::to_string(i) + ".example by x.example; x\r\n";
                 return h;
             }(),
             {"rh:21+", "rhelo:h0.example", "rhelo:h11.example"}, {"rhelo:h12.example"}}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST(LearningTokenizer, LineEndsAndRecordsGiveTheSameTokens) {
    const TmsHeaders lines = {"From: \"Ann\" <ann@a.example>", "Subject: Hello", " there", "Date: Mon, 1 Jul 2002 10:00:00 +0000"};
    const auto fromRecord = learningTokens(lines, 500);
    EXPECT_EQ(fromRecord, learningTokens(joinHeaderLines(lines), 500));
    std::string lf;
    for (const auto& line : lines) lf += line + "\n";
    EXPECT_EQ(fromRecord, learningTokens(lf, 500));
    EXPECT_THAT(fromRecord, AllOf(Contains("s:hello"), Contains("s:there")));
}

// A header of n made-up fields gives the tokens of an empty header plus one per field.
std::string fieldsHeader(std::size_t n) {
    std::string h;
    for (std::size_t i = 0; i < n; ++i) h += "X-F" + std::to_string(i) + ": v\r\n";
    return h;
}

TEST(LearningTokenizer, KeepsAtMostTheBoundOfTokens) {
    const std::size_t base = learningTokens("", 0).size();
    ASSERT_LT(base, 20u);
    const std::size_t n = kMaxLearningTokens;
    for (const std::size_t want : {n - 1, n, n + 1, 3 * n}) {
        const auto tokens = learningTokens(fieldsHeader(want - base), 0);
        EXPECT_EQ(tokens.size(), std::min(want, n)) << want;
        // What the cap drops are field names, never what was found first.
        EXPECT_EQ(tokens.front(), "s:(none)");
        EXPECT_EQ(tokens.back(), want <= n ? "h:x-f" + std::to_string(want - base - 1) : "h:x-f" + std::to_string(n - base - 1));
    }
}

TEST(LearningTokenizer, CutsTokensAtTheBoundOfOctets) {
    const std::size_t n = kMaxTokenOctets;
    // "s:" and a word: tokens of n-1, n, n+1 and 3n octets.
    for (const std::size_t want : {n - 1, n, n + 1, 3 * n}) {
        const std::string word(want - 2, 'q');
        const auto tokens = learningTokens("Subject: " + word + "\r\n", 0);
        const std::string expected = "s:" + word.substr(0, std::min(want, n) - 2);
        EXPECT_THAT(tokens, Contains(expected)) << want;
    }
    // Never inside a UTF-8 sequence: n-3 octets of 'q' then a two-octet letter.
    const std::string word = std::string(n - 3, 'q') + "\xc3\xa9" + "x";
    const auto tokens = learningTokens("Subject: " + word + "\r\n", 0);
    EXPECT_THAT(tokens, Contains("s:" + std::string(n - 3, 'q')));
}

TEST(LearningTokenizer, CaptionsReadAsTheUserWouldSayIt) {
    const std::pair<const char*, const char*> cases[] = {
        {"s:cruise", "Subject 'cruise'"},
        {"rip:64.0.57.0/24", "Received from 64.0.57.0/24"},
        {"fd:example.com", "From domain example.com"},
        {"xm:mutt", "Mailer 'mutt'"},
        {"ar:spf=fail", "Authentication spf=fail"},
        {"sz:10", "Size 2^10"},
        {"unknown:x", "unknown:x"},
        {"no colon", "no colon"},
    };
    for (const auto& [token, caption] : cases) EXPECT_EQ(tokenCaption(token), caption) << token;
}

}  // namespace
}  // namespace quorvel
