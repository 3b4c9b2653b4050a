#include "mail/msg_decoder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "mail/headers.h"
#include "mail/line_stream.h"
#include "mail/mime_codecs.h"
#include "support/fake_platform.h"

namespace quorvel {
namespace {

using Lines = std::vector<std::string>;

const std::string kNoticeFirst = "The following error has been occured while processing the message:";
const std::string kNoticeLast = "The original message will be stored as an attachment";

// Messages in the tests are written with "\n"; mail arrives with CR LF.
std::string crlf(const std::string& text) {
    std::string result;
    for (char c : text) {
        if (c == '\n') result += '\r';
        result += c;
    }
    return result;
}

struct Record {
    std::string name;
    AttEncoding encoding;
    std::string data;
    bool operator==(const Record&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Record& record) {
    return out << "{" << record.name << ", " << static_cast<int>(record.encoding) << ", \"" << record.data << "\"}";
}

std::vector<Record> records(const TmsMessage& message) {
    std::vector<Record> result;
    for (int i = 0; i < message.Attachments.Count(); ++i) {
        const TmsAttItem& item = message.Attachments.Items(i);
        result.push_back({item.FileName, item.Encoding, item.Data});
    }
    return result;
}

Lines readAllLines(const std::string& data) {
    TLineStream stream(data);
    Lines lines;
    for (;;) {
        const std::string_view line = stream.ReadLine();
        if (stream.Eof()) return lines;
        lines.emplace_back(line);
    }
}

// --- line reader ---------------------------------------------------------------

TEST(TLineStream, SplitsAtEveryKindOfLineEnd) {
    const std::string wide(TLineStream::kMaxLine, 'x');
    struct Case {
        const char* label;
        std::string data;
        Lines expected;
    } cases[] = {
        {"CR LF, LF and CR", "a\r\nb\nc\rd", {"a", "b", "c", "d"}},
        {"final line end adds no line", "a\r\n", {"a"}},
        {"nothing", "", {}},
        {"empty lines kept", "a\r\n\r\n\nb", {"a", "", "", "b"}},
        {"CR then CR LF", "\r\r\n", {"", ""}},
        {"LF CR is two line ends", "a\n\rb", {"a", "", "b"}},
        {"NUL is data", std::string("a\0b\r\nc\0", 7), {std::string("a\0b", 3), std::string("c\0", 2)}},
        {"long line in pieces", wide + "12345\r\nz", {wide, "12345", "z"}},
        {"line of exactly one piece leaves no empty line", wide + "\r\nz", {wide, "z"}},
        {"piece then an empty line", wide + "\n\nz", {wide, "", "z"}},
        {"piece cut right before CR LF", wide + wide + "\r\n", {wide, wide}},
    };
    for (const Case& c : cases) EXPECT_EQ(readAllLines(c.data), c.expected) << c.label;
}

TEST(TLineStream, SentinelAfterTheLastLineAndReset) {
    TLineStream stream("one\r\n\xFF\xFF\xFF\xFF\r\n");
    EXPECT_EQ(stream.ReadLine(), "one");
    // A data line that looks like the sentinel is still data.
    EXPECT_EQ(stream.ReadLine(), TLineStream::kSentinel);
    EXPECT_FALSE(stream.Eof());
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(stream.ReadLine(), TLineStream::kSentinel);
        EXPECT_TRUE(stream.Eof());
    }
    stream.Reset();
    EXPECT_FALSE(stream.Eof());
    EXPECT_EQ(stream.ReadLine(), "one");
}

// --- codecs ----------------------------------------------------------------------

TEST(MimeCodecs, Base64Lines) {
    struct Case {
        std::string text;
        std::string expected;
    } cases[] = {
        {"QUJD", "ABC"},
        {"QUI=", "AB"},
        {"QQ==", "A"},
        {"QUJDRA", "ABCD"},  // short last group keeps its whole octets
        {"QUJDREU", "ABCDE"},
        {"", ""},
        {"////", "\xFF\xFF\xFF"},
    };
    for (const Case& c : cases) {
        std::string out = "prefix:";
        appendBase64Decoded(c.text, out);
        EXPECT_EQ(out, "prefix:" + c.expected) << c.text;
    }
    // Padding only ever removes what this line gave.
    std::string out = "keep";
    appendBase64Decoded("====", out);
    EXPECT_EQ(out, "keep");

    for (const char* bad : {"QU JD", "QUJD\r", "QU-D", "\x80QUJ"}) {
        std::string ignored;
        try {
            appendBase64Decoded(bad, ignored);
            ADD_FAILURE() << bad;
        } catch (const EMessageParserError& error) {
            EXPECT_STREQ(error.what(), "Invalid Character");
        }
    }
}

TEST(MimeCodecs, UudecodeLines) {
    struct Case {
        const char* label;
        std::string line;
        std::string expected;
    } cases[] = {
        {"three octets", "#86)C", "abc"},
        {"cut to the length", "!86)C", "a"},
        {"short group padded with zero bits", "\"86", "a`"},
        {"backtick is zero", "#````", std::string(3, '\0')},
        {"space is zero as well", "#    ", std::string(3, '\0')},
        {"length beyond the data", "M86)C", "abc"},
        {"zero length", "`", ""},
    };
    for (const Case& c : cases) {
        std::string out;
        appendUudecoded(c.line, out);
        EXPECT_EQ(out, c.expected) << c.label;
    }
    for (const char* bad : {"#86)c", "#86)\x1F", "a86)C", "#~~~~"}) {
        std::string ignored;
        EXPECT_THROW(appendUudecoded(bad, ignored), EMessageParserError) << bad;
    }
}

std::string quotedPrintable(const Lines& lines) {
    std::string out;
    QuotedPrintableDecoder decoder(out);
    for (const std::string& line : lines) decoder.addLine(line);
    return out;
}

TEST(MimeCodecs, QuotedPrintableLines) {
    struct Case {
        const char* label;
        Lines lines;
        std::string expected;
    } cases[] = {
        {"escapes either case", {"a=3Db=e9=C3=A9"}, "a=b\xE9\xC3\xA9\r\n"},
        {"other signs stay", {"=G1 =3 = x"}, "=G1 =3 = x\r\n"},
        {"soft break joins", {"one =", "two"}, "one two\r\n"},
        {"soft break at the very end", {"open="}, "open"},
        {"encoded sign at the end is text", {"x=3D", "y"}, "x=\r\ny\r\n"},
        {"escape needs both digits on the line", {"a=4"}, "a=4\r\n"},
        {"escape at the 255th octet", {std::string(252, 'a') + "=3D"}, std::string(252, 'a') + "=\r\n"},
        {"cut through an escape", {std::string(254, 'a') + "=3D", "b"}, std::string(254, 'a') + "b\r\n"},
        {"cut line may end in a soft break", {std::string(254, 'a') + "==", "b"}, std::string(254, 'a') + "b\r\n"},
        {"Ctrl-Z line has no line end", {"stop=1A", "next"}, "stop\x1Anext\r\n"},
        {"empty line", {""}, "\r\n"},
        {"encoded line ends stay", {"a=0D=0Ab"}, "a\r\nb\r\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(quotedPrintable(c.lines), c.expected) << c.label;
}

TEST(MimeCodecs, QuotedPrintableParagraphLimit) {
    static_assert(kMaxParagraph % 25 == 0);
    const std::size_t pieces = kMaxParagraph / 25;
    const std::string piece = std::string(25, 'p') + "=";
    Lines lines(pieces, piece);  // exactly at the limit
    lines.emplace_back("");
    EXPECT_EQ(quotedPrintable(lines), std::string(kMaxParagraph, 'p') + "\r\n");

    std::string out;
    int paragraphs = 0;
    QuotedPrintableDecoder decoder(out, [&] { ++paragraphs; });
    decoder.addLine("before");
    for (std::size_t i = 0; i < pieces; ++i) decoder.addLine(piece);
    try {
        decoder.addLine("x=");
        ADD_FAILURE() << "no error";
    } catch (const EParagraphTooLarge& error) {
        EXPECT_STREQ(error.what(), "Paragraph is too large");
    }
    EXPECT_EQ(paragraphs, 1);
    EXPECT_EQ(out.substr(0, 8), "before\r\n");
    EXPECT_EQ(out, "before\r\n" + std::string(kMaxParagraph, 'p') + "x");
}

// --- header helpers ---------------------------------------------------------------

TEST(HeaderParam, FindsParameters) {
    struct Case {
        std::string name;
        std::string value;
        std::string expected;
    } cases[] = {
        {"boundary", "multipart/mixed; boundary=\"----=_P 1\"", "----=_P 1"},
        {"Boundary", "multipart/mixed; BOUNDARY=abc; charset=x", "abc"},
        {"charset", "text/plain; charset=us-ascii", "us-ascii"},
        {"charset", "text/plain; charset=\"koi8-r\";", "koi8-r"},
        {"charset", "text/plain; charset = koi8-r", "="},  // blanks around "=" are not expected
        {"name", "image/gif; name=dot.gif;", "dot.gif"},
        {"name", "text/plain", ""},
        {"name", "application/x; filename=\"a b\"", "a b"},  // found inside another word
        {"name", "image/gif; name=\"unclosed", "unclosed"},
        {"name", "image/gif; name=", ""},
        {"name", "x; name", ""},
        {"", "text/plain", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(HeaderParam(c.name, c.value), c.expected) << c.name << " in " << c.value;
}

TEST(MainValue, TakesTheFirstWord) {
    const std::pair<std::string, std::string> cases[] = {
        {"text/plain; charset=x", "text/plain"},
        {"base64", "base64"},
        {"  quoted-printable ", "quoted-printable"},
        {"multipart/mixed;boundary=x", "multipart/mixed"},
        {"", ""},
    };
    for (const auto& [value, expected] : cases) EXPECT_EQ(MainValue(value), expected) << value;
}

// --- whole messages -------------------------------------------------------------

std::string fixture(const std::string& name) {
    return std::string(QUORVEL_FIXTURES) + "/messages/" + name;
}

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string fromHex(std::string_view hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) bytes += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    return bytes;
}

// The one-pixel picture in multipart_picture.eml.
const std::string kDotGif =
    fromHex("47494638396101000100800000ffffff00000021f90401000000002c00000000010001000002024401003b");

TEST(TmsMessage, DecodesFixtureMessages) {
    struct Case {
        const char* file;
        Lines body;
        std::vector<Record> records;
        std::string charSet;
    } cases[] = {
        {"plain_dots.eml", {"First line", "..leading dots stay doubled", ".", "Last line"}, {}, ""},
        {"quoted_printable.eml",
         {"a=b and caf\xE9", "this line is joined to this one", "ends with an encoded sign =", "next"},
         {},
         "iso-8859-1"},
        {"multipart_picture.eml",
         {"See the picture.", ""},
         {{"dot.gif", AttEncoding::Base64, kDotGif}},
         "us-ascii"},
        {"alternative.eml", {"Plain words"}, {{"_alt.0", AttEncoding::None, "<p>Plain words</p>\r\n"}}, "utf-8"},
        {"base64_first_part.eml",
         {},
         {{"data.bin", AttEncoding::Base64, std::string("\0\1binary\xFF", 9)},
          {"att.1", AttEncoding::None, "trailing text part\r\n"}},
         ""},
        {"invalid_base64.eml",
         {"Text before the broken file.", kNoticeFirst, "Invalid Character", kNoticeLast},
         {{"original.eml", AttEncoding::None, fileBytes(fixture("invalid_base64.eml"))}},
         ""},
        {"uuencode_plain.eml",
         {"Here is the file."},
         {{"hello.txt", AttEncoding::Base64, "Hello, uuencoded world!\n"}},
         ""},
        {"v_mailsystem.eml", {"--vb", "Just text, really.", "--vb--"}, {}, ""},
        {"nested_alternative.eml",
         {"Soft break"},
         {{"_alt.0", AttEncoding::None, "<b>html</b>\r\n"}, {"notes.txt", AttEncoding::None, "notes\r\n"}},
         "koi8-r"},
    };
    for (const Case& c : cases) {
        TmsMessage message;
        message.LoadFromFile(fixture(c.file));
        EXPECT_EQ(message.Body.strings(), c.body) << c.file;
        EXPECT_EQ(records(message), c.records) << c.file;
        EXPECT_EQ(message.CharSet, c.charSet) << c.file;
        EXPECT_EQ(message.LoadError, "") << c.file;
    }
}

TEST(TmsMessage, HeadersAreTheRawHeaderBlock) {
    TmsMessage message;
    message.LoadFromFile(fixture("v_mailsystem.eml"));
    // The copy keeps the field that decoding ignored.
    EXPECT_EQ(message.Headers, (TmsHeaders{"From: ann@example.test", "Subject: Mislabelled", "MIME-Version: 1.0",
                                           "X-Mailer: V Mailsystem R #0001", "Content-Type: multipart/mixed;",
                                           " boundary=\"vb\""}));
    EXPECT_EQ(message.Body.text(), "--vb\nJust text, really.\n--vb--\n");
}

TEST(TmsMessage, DecodesMimeVariants) {
    const std::string mime = "MIME-Version: 1.0\n";
    struct Case {
        const char* label;
        std::string raw;
        Lines body;
        std::vector<Record> records;
    } cases[] = {
        {"no MIME version: read as plain", "Content-Type: multipart/mixed; boundary=b\n\n--b\ntext\n", {"--b", "text"}, {}},
        {"base64 text body, empty lines and dot skipped",
         mime + "Content-Transfer-Encoding: Base64\n\nb25lCnR3\n\nbw0KdGhyZWU=\n.\n",
         {"one", "two", "three"},
         {}},
        {"autoconverted body is quoted-printable",
         mime + "X-MIME-Autoconverted: from 8bit to Quoted-Printable by x\n\na=3Db=\nc\n",
         {"a=bc"},
         {}},
        {"quoted-printable and base64: the body ends up empty",
         mime + "Content-Transfer-Encoding: base64\nX-MIME-Autoconverted: quoted-printable\n\nQUJD\n",
         {},
         {}},
        {"uuencode inside a MIME text message",
         mime + "Content-Type: text/plain\n\ntext\nbegin 600 f.txt\n#86)C\n`\nend\n",
         {"text"},
         {{"f.txt", AttEncoding::Base64, "abc"}}},
        {"quoted-printable text still read for uuencode",
         mime + "Content-Transfer-Encoding: quoted-printable\n\nx=3D1\nbegin 644 \"two words\"\n#86)C\nEND\n",
         {"x=1"},
         {{"two words", AttEncoding::Base64, "abc"}}},
        {"single part that is not text",
         mime + "Content-Type: application/pdf; name=\"a.pdf\"\nContent-Transfer-Encoding: base64\n\nQUJD\n.\n",
         {},
         {{"a.pdf", AttEncoding::Base64, "ABC"}}},
        {"single part named by its disposition, dot kept as data",
         mime + "Content-Type: image/png\nContent-Disposition: inline; filename=p.png\n\nraw\n.\n",
         {},
         {{"p.png", AttEncoding::None, "raw\r\n.\r\n"}}},
        {"single quoted-printable part without a name",
         mime + "Content-Type: audio/x\nContent-Transfer-Encoding: quoted-printable\n\nA=3D=\nB\n",
         {},
         {{"att.0", AttEncoding::QuotedPrintable, "A=B\r\n"}}},
        {"text with a name is a file", mime + "Content-Type: text/plain; name=n.txt\n\nx\n", {}, {{"n.txt", AttEncoding::None, "x\r\n"}}},
        {"cc:Mail names its text", mime + "Content-Type: text/plain; name=\"cc:Mail\"\n\nx\n", {"x"}, {}},
        {"iso-2022-jp base64 first part is the body",
         mime + "Content-Type: multipart/mixed; boundary=b\n\n--b\n"
                "Content-Type: text/plain; charset=ISO-2022-JP\nContent-Transfer-Encoding: base64\n\n"
                "GyRCJEskWxsoQg==\n\n--b\nContent-Type: text/plain\n\nsecond\n--b--\n",
         {"\x1B$B$K$[\x1B(B"},
         {{"att.0", AttEncoding::None, "second\r\n"}}},
        {"empty first part gives one empty line",
         mime + "Content-Type: multipart/mixed; boundary=b\n\n--b\n\n--b\n\nsecond\n--b--\n",
         {""},
         {{"att.0", AttEncoding::None, "second\r\n"}}},
        {"closing boundary after the first part ends the list",
         mime + "Content-Type: multipart/mixed; boundary=b\n\n--b\n\nonly\n--b--\n--b\n\nnever\n",
         {"only"},
         {}},
        {"x-uuencode part",
         mime + "Content-Type: multipart/mixed; boundary=b\n\n--b\n\nt\n--b\nContent-Transfer-Encoding: X-UUEncode\n\n"
                "begin 644 u\n#86)C\n\n`\nend\n--b--\n",
         {"t"},
         {{"att.0", AttEncoding::Base64, "abc"}}},
        {"part lines cut to 255 octets",
         mime + "Content-Type: multipart/mixed; boundary=b\n\n--b\n\nt\n--b\n\n" + std::string(300, 'w') + "\n--b--\n",
         {"t"},
         {{"att.0", AttEncoding::None, std::string(255, 'w') + "\r\n"}}},
        {"a part ends at a line that begins with the boundary",
         mime + "Content-Type: multipart/mixed; boundary=b\n\n--b\n\nt\n--b\n\nx\n--bb\n\ny\n--b--\n",
         {"t"},
         {{"att.0", AttEncoding::None, "x\r\n"}, {"att.1", AttEncoding::None, "y\r\n"}}},
        {"outer list closing right after the alternatives adds no record",
         mime + "Content-Type: multipart/related; boundary=o\n\n--o\nContent-Type: multipart/alternative; boundary=i\n\n"
                "--i\n\nplain\n--i\n\nrich\n--i--\n--o--\n",
         {"plain"},
         {{"_alt.0", AttEncoding::None, "rich\r\n"}}},
        {"dot is removed once", "Subject: x\n\ntext\n.\n.\n", {"text", "."}, {}},
        {"plain message: text after a uuencoded file is skipped up to the next file",
         "Subject: x\n\nintro\nbegin 644\n#86)C\nend\nskipped\nBegin 644 second.bin\n!80``\n",
         {"intro"},
         {{"att.0", AttEncoding::Base64, "abc"}, {"second.bin", AttEncoding::Base64, "a"}}},
    };
    for (const Case& c : cases) {
        TmsMessage message;
        message.LoadFromStream(crlf(c.raw));
        EXPECT_EQ(message.Body.strings(), c.body) << c.label;
        EXPECT_EQ(records(message), c.records) << c.label;
    }
}

// Lines of 200 octets joined by soft breaks into one paragraph.
std::string softBrokenLines(std::size_t size) {
    std::string lines;
    for (std::size_t done = 0; done < size; done += 200) lines += std::string(std::min<std::size_t>(200, size - done), 'x') + "=\n";
    return lines;
}

TEST(TmsMessage, UndecodableMessagesGetTheNotice) {
    const std::string mime = "MIME-Version: 1.0\n";
    const std::string mixed = mime + "Content-Type: multipart/mixed; boundary=b\n\n";
    struct Case {
        const char* label;
        std::string raw;
        Lines bodyBefore;
        std::string error;
    } cases[] = {
        {"a header line that looks like the end", "Subject: x\n\xFF\xFF\xFF\xFF\n\nbody\n", {}, "Unable to retrieve headers"},
        {"no boundary line", mixed + "text\n", {}, "Cannot find boundary"},
        {"no boundary parameter", mime + "Content-Type: multipart/mixed\n\n--b\n", {}, "Cannot find boundary"},
        {"first part never ends", mixed + "--b\n\ntext\n", {"text"}, "Cannot find boundary"},
        {"nested alternative without its boundary",
         mixed + "--b\nContent-Type: multipart/alternative; boundary=i\n\n--b\n",
         {},
         "Cannot find boundary"},
        {"outer boundary lost after the alternatives",
         mixed + "--b\nContent-Type: multipart/alternative; boundary=i\n\n--i\n\nplain\n--i\n\nrich\n--i--\n",
         {"plain"},
         "Cannot find closing boundary"},
        {"base64 text body", mime + "Content-Transfer-Encoding: base64\n\nQUJD\nQU JD\n", {}, "Invalid Character"},
        {"uuencoded part", mixed + "--b\n\nt\n--b\nContent-Transfer-Encoding: x-uue\n\n#86)c\n--b--\n", {"t"}, "Invalid Character"},
        {"uuencoded file in a plain message", "Subject: x\n\nintro\nbegin 644 f\n#86)c\n", {"intro"}, "Error decoding the attachment"},
        {"encoded word of a part's disposition",
         mixed + "--b\n\nt\n--b\nContent-Disposition: attachment; filename==?x?B?bad!?=\n\nx\n--b--\n",
         {"t"},
         "Invalid Character"},
        {"quoted-printable paragraph in a part",
         mixed + "--b\n\nt\n--b\nContent-Transfer-Encoding: quoted-printable\n\n" + softBrokenLines(kMaxParagraph + 1),
         {"t"},
         "Error decoding the attachment"},
    };
    for (const Case& c : cases) {
        TmsMessage message;
        const std::string raw = crlf(c.raw);
        message.LoadFromStream(raw);
        Lines expected = c.bodyBefore;
        expected.insert(expected.end(), {kNoticeFirst, c.error, kNoticeLast});
        EXPECT_EQ(message.Body.strings(), expected) << c.label;
        ASSERT_GE(message.Attachments.Count(), 1) << c.label;
        const TmsAttItem& original = message.Attachments.Items(message.Attachments.Count() - 1);
        EXPECT_EQ(original.FileName, "original.eml") << c.label;
        EXPECT_EQ(original.Encoding, AttEncoding::None) << c.label;
        EXPECT_EQ(original.Data, raw) << c.label;
        EXPECT_EQ(message.LoadError, "") << c.label;
    }
}

TEST(TmsMessage, HeaderErrorKeepsTheLinesBeforeIt) {
    TmsMessage message;
    message.LoadFromStream("Subject: x\r\nFrom: y\r\n\xFF\xFF\xFF\xFF\r\n");
    EXPECT_EQ(message.Headers, (TmsHeaders{"Subject: x", "From: y"}));
}

TEST(TmsMessage, TooLargeParagraphKeepsTheBodyDecodedSoFar) {
    const std::string raw = "MIME-Version: 1.0\nContent-Transfer-Encoding: quoted-printable\n\nfirst=3D\nsecond\n" +
                            softBrokenLines(kMaxParagraph + 10) + "never shown\n";
    TmsMessage message;
    message.LoadFromStream(crlf(raw));
    EXPECT_EQ(message.LoadError, "Paragraph is too large");
    const Lines body = message.Body.strings();
    ASSERT_EQ(body.size(), 3u);
    EXPECT_EQ(body[0], "first=");
    EXPECT_EQ(body[1], "second");
    EXPECT_EQ(body[2].substr(0, 1000), std::string(1000, 'x'));
    EXPECT_EQ(message.Attachments.Count(), 0);

    // The same in the first part of a multipart message.
    const std::string multipart =
        "MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=b\n\n--b\n"
        "Content-Transfer-Encoding: quoted-printable\n\nhead\n" +
        softBrokenLines(kMaxParagraph + 10) + "--b--\n";
    message.Clear();
    message.LoadFromStream(crlf(multipart));
    EXPECT_EQ(message.LoadError, "Paragraph is too large");
    EXPECT_EQ(message.Body.strings().front(), "head");
}

TEST(TmsMessage, NulOctetDoesNotEndTheMessage) {
    TmsMessage message;
    message.LoadFromStream(std::string("Subject: x\r\n\r\nbefore\0after\r\nlast line\r\n", 39));
    EXPECT_EQ(message.Body.strings(), (Lines{std::string("before\0after", 12), "last line"}));
}

TEST(TmsMessage, PumpsOncePerPartLineAndParagraph) {
    const std::string raw = crlf(
        "MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=b\n\n--b\n\ntext\n"
        "--b\nContent-Transfer-Encoding: base64\n\nQUJD\nQUJD\n\nQUJD\n"
        "--b\nContent-Transfer-Encoding: quoted-printable\n\none=\ntwo\nthree\n--b--\n");
    TmsMessage message;
    int pumps = 0;
    message.OnProcessEvents = [&] { ++pumps; };
    message.LoadFromStream(raw);
    ASSERT_EQ(message.Attachments.Count(), 2);
    // Two parts after the first, three base64 lines, two paragraphs.
    EXPECT_EQ(pumps, 2 + 3 + 2);
}

TEST(TmsMessage, LoadFromFileClearsAndReportsAMissingFile) {
    TmsMessage message;
    message.LoadFromFile(fixture("multipart_picture.eml"));
    message.LoadError = "stale";
    message.LoadFromFile(fixture("plain_dots.eml"));
    EXPECT_EQ(message.Attachments.Count(), 0);
    EXPECT_EQ(message.CharSet, "");
    EXPECT_EQ(message.LoadError, "");
    EXPECT_EQ(message.Headers.front(), "From: Ann <ann@example.test>");

    testing::TempFolder folder;
    for (const std::string& path : {folder.file("msg_7.eml"), folder.path()}) {
        try {
            message.LoadFromFile(path);
            ADD_FAILURE() << path;
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(std::string(error.what()).rfind("Cannot open file \"" + path + "\". ", 0), 0u) << error.what();
        }
    }
}

// --- hostile input ---------------------------------------------------------------

TEST(TmsMessage, HostileInputIsBounded) {
    const std::string mime = "MIME-Version: 1.0\n";
    std::string manyParts = mime + "Content-Type: multipart/mixed; boundary=b\n\n--b\n\nt\n";
    for (int i = 0; i < 20000; ++i) manyParts += "--b\n\n";
    std::string hugeHeader;
    for (int i = 0; i < 20000; ++i) hugeHeader += "X: y\n";
    hugeHeader += "\nbody\n";
    std::string deepNesting = mime;
    for (int i = 0; i < 2000; ++i)
        deepNesting += "Content-Type: multipart/mixed; boundary=b" + std::to_string(i) + "\n\n--b" + std::to_string(i) + "\n";
    deepNesting += "\ninnermost\n--b0--\n";
    std::string manyUuFiles = "Subject: x\n\n";
    for (int i = 0; i < 20000; ++i) manyUuFiles += "begin 644 f\n`\n";

    struct Case {
        const char* label;
        std::string raw;
        std::string error;  // "" when the message decodes
    } cases[] = {
        {"too many parts", manyParts, "Error decoding the attachment"},
        {"too many uuencoded files", manyUuFiles, "Error decoding the attachment"},
        {"header block too long", hugeHeader, "Unable to retrieve headers"},
        {"deep nesting stays raw", deepNesting, ""},
        {"one huge line", "Subject: x\n\n" + std::string(1 << 20, 'q') + "\n", ""},
    };
    for (const Case& c : cases) {
        TmsMessage message;
        const std::string raw = crlf(c.raw);
        message.LoadFromStream(raw);
        const Lines body = message.Body.strings();
        if (c.error.empty()) {
            ASSERT_FALSE(body.empty()) << c.label;
            EXPECT_NE(body.back(), kNoticeLast) << c.label;
        } else {
            ASSERT_GE(body.size(), 3u) << c.label;
            EXPECT_EQ(body[body.size() - 2], c.error) << c.label;
        }
        std::size_t kept = message.Body.text().size();
        for (int i = 0; i < message.Attachments.Count(); ++i) {
            const TmsAttItem& item = message.Attachments.Items(i);
            kept += sizeof(TmsAttItem) + item.Data.size() + item.FileName.size();
        }
        EXPECT_LE(kept, 4 * raw.size() + (1 << 20)) << c.label;
    }
}

}  // namespace
}  // namespace quorvel
