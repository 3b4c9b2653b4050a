#include "mail/msg_decoder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "mail/headers.h"
#include "mail/mime_codecs.h"
#include "platform/convert.h"

namespace quorvel {

namespace {

// Hostile input is bounded here; real mail stays far below both.
constexpr std::size_t kMaxHeaderLines = 10000;
constexpr std::size_t kMaxHeaderBytes = 1 << 20;
constexpr int kMaxRecords = 10000;
constexpr std::size_t kMaxPartLine = 255;

constexpr const char* kNoticeFirst = "The following error has been occured while processing the message:";
constexpr const char* kNoticeLast = "The original message will be stored as an attachment";


char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowerAscii(std::string_view text) {
    std::string result(text);
    for (char& c : result) c = lowerAscii(c);
    return result;
}

std::size_t findNoCase(std::string_view text, std::string_view part) {
    if (part.size() > text.size()) return std::string_view::npos;
    for (std::size_t i = 0; i + part.size() <= text.size(); ++i) {
        std::size_t k = 0;
        while (k < part.size() && lowerAscii(text[i + k]) == lowerAscii(part[k])) ++k;
        if (k == part.size()) return i;
    }
    return std::string_view::npos;
}

bool containsNoCase(std::string_view text, std::string_view part) {
    return findNoCase(text, part) != std::string_view::npos;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && findNoCase(a, b) == 0;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && equalsNoCase(text.substr(0, prefix.size()), prefix);
}

std::string_view cutPartLine(std::string_view line) {
    return line.substr(0, std::min(line.size(), kMaxPartLine));
}

std::string fieldValue(const TmsHeaders& headers, const std::string& name) {
    std::string value;
    GetFieldValue(headers, name, value);
    return value;
}

// Removes every field called `name` together with its continuation lines.
void removeField(TmsHeaders& headers, std::string_view name) {
    const std::string prefix = std::string(name) + ":";
    TmsHeaders kept;
    bool removing = false;
    for (std::string& line : headers) {
        const bool continuation = !line.empty() && (line.front() == ' ' || line.front() == '\t');
        if (!continuation) removing = startsWithNoCase(line, prefix);
        if (!removing) kept.push_back(std::move(line));
    }
    headers = std::move(kept);
}

// "begin 644 name": begins with "BEGIN", is longer than 8 octets, and the
// text after "BEGIN" starts with three octets that read as a number.
bool isUuStartLine(std::string_view line) {
    if (line.size() <= 8 || !startsWithNoCase(line, "BEGIN")) return false;
    const std::string_view mode = trimmed(line.substr(5)).substr(0, 3);
    try {
        strToInt(std::string(mode));
        return true;
    } catch (const EConvertError&) {
        return false;
    }
}

// The file name of a start line: the text after "begin 644 ", quoted or up
// to the first space.
std::string uuFileName(std::string_view line) {
    std::string_view rest = line.substr(std::min<std::size_t>(line.size(), 10));
    if (!rest.empty() && rest.front() == '"') {
        rest.remove_prefix(1);
        const std::size_t quote = rest.find('"');
        return quote == std::string_view::npos ? std::string() : std::string(rest.substr(0, quote));
    }
    return std::string(rest.substr(0, rest.find(' ')));
}

struct PartEncoding {
    AttEncoding code = AttEncoding::None;
    bool uuencode = false;
};

PartEncoding partEncoding(const std::string& transferEncoding) {
    const std::string value = lowerAscii(transferEncoding);
    if (value == "base64") return {AttEncoding::Base64, false};
    if (value.starts_with("x-uue")) return {AttEncoding::Base64, true};
    if (value == "quoted-printable") return {AttEncoding::QuotedPrintable, false};
    return {};
}

std::string cutFileName(std::string name) {
    if (name.size() > kMaxHeaderText) name.resize(kMaxHeaderText);
    return name;
}

}  // namespace

// --- TextLines ---------------------------------------------------------------

void TextLines::add(std::string_view line) {
    if (line.find_first_of("\r\n") != std::string_view::npos) {
        addText(line);
        return;
    }
    text_.append(line);
    text_ += '\n';
    ++count_;
}

void TextLines::addText(std::string_view text) {
    while (!text.empty()) {
        const std::size_t end = std::min(text.find_first_of("\r\n"), text.size());
        text_.append(text.substr(0, end));
        text_ += '\n';
        ++count_;
        std::size_t next = end;
        if (next < text.size()) next += text.substr(next, 2) == "\r\n" ? 2 : 1;
        text.remove_prefix(next);
    }
}

void TextLines::clear() {
    text_.clear();
    count_ = 0;
}

std::string_view TextLines::last() const {
    if (count_ == 0) return {};
    const std::string_view withoutEnd = std::string_view(text_).substr(0, text_.size() - 1);
    const std::size_t previous = withoutEnd.rfind('\n');
    return previous == std::string_view::npos ? withoutEnd : withoutEnd.substr(previous + 1);
}

void TextLines::deleteLast() {
    if (count_ == 0) return;
    text_.resize(text_.size() - last().size() - 1);
    --count_;
}

std::vector<std::string> TextLines::strings() const {
    std::vector<std::string> lines;
    lines.reserve(count_);
    forEach([&](std::string_view line) { lines.emplace_back(line); });
    return lines;
}

// --- header helpers ----------------------------------------------------------

std::string HeaderParam(std::string_view name, std::string_view value) {
    const std::size_t at = findNoCase(value, name);
    if (at == std::string_view::npos || name.empty()) return {};
    std::string_view rest = trimmed(value.substr(std::min(value.size(), at + name.size() + 1)));
    if (!rest.empty() && rest.front() == '"') {
        rest.remove_prefix(1);
        rest = rest.substr(0, rest.find('"'));
    } else {
        rest = rest.substr(0, rest.find(' '));
    }
    if (!rest.empty() && rest.back() == ';') rest.remove_suffix(1);
    return std::string(trimmed(rest));
}

std::string MainValue(std::string_view value) {
    value = trimmed(value);
    return std::string(trimmed(value.substr(0, value.find_first_of(" ;"))));
}

// --- TmsMessage --------------------------------------------------------------

namespace {

[[noreturn]] void throwFileError(const std::string& fileName, int error) {
    throw std::runtime_error("Cannot open file \"" + fileName + "\". " + std::strerror(error));
}

// The whole file in one buffer, sized once: a fetched message can be large.
std::string readMessageFile(const std::string& fileName) {
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throwFileError(fileName, errno);
    std::string data;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        const int error = S_ISDIR(info.st_mode) ? EISDIR : errno;
        ::close(fd);
        throwFileError(fileName, error);
    }
    if (S_ISREG(info.st_mode)) data.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            ::close(fd);
            throwFileError(fileName, error);
        }
        data.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return data;
}

}  // namespace

void TmsMessage::LoadFromFile(const std::string& fileName) {
    Clear();
    LoadFromStream(readMessageFile(fileName));
}

void TmsMessage::LoadFromStream(std::string data) {
    TmsMessageDecoder decoder(std::move(data), *this);
    try {
        decoder.Decode();
    } catch (const EParagraphTooLarge& error) {
        LoadError = error.what();
    }
}

void TmsMessage::Clear() {
    Headers.clear();
    Body.clear();
    Attachments.Clear();
    CharSet.clear();
    LoadError.clear();
}

// --- TmsMessageDecoder ----------------------------------------------------------

TmsMessageDecoder::TmsMessageDecoder(std::string data, TmsMessage& message)
    : lines_(std::move(data)), message_(message) {}

void TmsMessageDecoder::pump() const {
    if (message_.OnProcessEvents) message_.OnProcessEvents();
}

void TmsMessageDecoder::checkRecordLimit() const {
    if (message_.Attachments.Count() >= kMaxRecords) throw EMessageParserError("Error decoding the attachment");
}

void TmsMessageDecoder::ReadHeaders(TmsHeaders& list) {
    list.clear();
    std::size_t bytes = 0;
    for (;;) {
        const std::string_view line = lines_.ReadLine();
        if (lines_.Eof() || line.empty()) return;
        bytes += line.size();
        if (line == TLineStream::kSentinel || list.size() == kMaxHeaderLines || bytes > kMaxHeaderBytes)
            throw EMessageParserError("Unable to retrieve headers");
        list.emplace_back(line);
    }
}

void TmsMessageDecoder::Decode() {
    bool headerRead = false;
    try {
        ReadHeaders(headers_);
        message_.Headers = headers_;
        headerRead = true;
        message_.CharSet = HeaderParam("charset", fieldValue(headers_, "Content-Type"));
        if (fieldValue(headers_, "MIME-VERSION").find("1.0") != std::string::npos)
            DecodeMime();
        else
            DecodePlain();
    } catch (const EMessageParserError& error) {
        if (!headerRead) message_.Headers = headers_;
        message_.Body.add(kNoticeFirst);
        message_.Body.add(error.what());
        message_.Body.add(kNoticeLast);
        message_.Attachments.Add({"original.eml", AttEncoding::None, lines_.Data()});
    }
    // The POP3 terminator is not part of the message.
    if (message_.Body.last() == ".") message_.Body.deleteLast();
}

void TmsMessageDecoder::DecodeMime() {
    // This mailer labels single text messages as multipart.
    if (fieldValue(headers_, "X-Mailer") == "V Mailsystem R #0001") removeField(headers_, "Content-Type");

    const std::string type = fieldValue(headers_, "Content-type");
    const std::string lowerType = lowerAscii(type);
    if (lowerType.find("multipart/alternative") != std::string::npos) {
        alternativeMessage_ = true;
        DecodeMultipart();
    } else if (lowerType.find("multipart") != std::string::npos) {
        DecodeMultipart();
    } else if (!type.empty() && lowerType.find("text/") == std::string::npos) {
        DecodeSinglePart();
    } else {
        const std::string name = HeaderParam("name", type);
        if (!name.empty() && name != "cc:Mail")
            DecodeSinglePart();
        else
            DecodeText();
    }
}

void TmsMessageDecoder::decodeBodyQuotedPrintable() {
    std::string text;
    QuotedPrintableDecoder decoder(text, [this] { pump(); });
    try {
        message_.Body.forEach([&](std::string_view line) { decoder.addLine(line); });
    } catch (const EParagraphTooLarge&) {
        // Keep what was decoded; the caller reports the error after it.
        message_.Body.clear();
        message_.Body.addText(text);
        throw;
    }
    message_.Body.clear();
    message_.Body.addText(text);
}

void TmsMessageDecoder::DecodeText() {
    const std::string encoding = lowerAscii(fieldValue(headers_, "Content-Transfer-Encoding"));
    const bool quotedPrintable =
        encoding == "quoted-printable" || containsNoCase(fieldValue(headers_, "X-MIME-Autoconverted"), "quoted-printable");
    const bool base64 = encoding == "base64";
    TextLines& body = message_.Body;
    body.clear();

    if (!base64) {
        for (;;) {
            const std::string_view line = lines_.ReadLine();
            if (lines_.Eof()) break;
            if (isUuStartLine(line)) {
                // A uuencoded file in a text message: read it as a message
                // without MIME.
                lines_.Reset();
                body.clear();
                ReadHeaders(headers_);
                message_.Headers = headers_;
                for (const char* name : {"MIME-VERSION", "CONTENT-TYPE", "CONTENT-TRANSFER-ENCODING"})
                    removeField(headers_, name);
                DecodePlain();
                break;
            }
            body.add(line);
        }
    }

    if (quotedPrintable) {
        decodeBodyQuotedPrintable();
    } else if (base64) {
        std::string text;
        for (;;) {
            const std::string_view line = lines_.ReadLine();
            if (lines_.Eof()) break;
            if (line.empty() || line == ".") continue;
            appendBase64Decoded(cutPartLine(line), text);
            pump();
        }
        body.addText(text);
    }
}

void TmsMessageDecoder::DecodeMultipart() {
    boundary_ = "--" + HeaderParam("Boundary", fieldValue(headers_, "Content-Type"));
    skipToBoundary(false, "Cannot find boundary");
    DecodeFirstPart();
    DecodeOtherParts();
}

std::string_view TmsMessageDecoder::skipToBoundary(bool prefixOnly, const char* missing) {
    for (;;) {
        const std::string_view line = lines_.ReadLine();
        if (lines_.Eof()) throw EMessageParserError(missing);
        if (prefixOnly ? line.starts_with(boundary_) : line == boundary_) return line;
    }
}

void TmsMessageDecoder::DecodeFirstPart() {
    ReadHeaders(partHeaders_);
    std::string type = fieldValue(partHeaders_, "Content-Type");
    if (lowerAscii(type).find("multipart/alternative") != std::string::npos) {
        outerBoundary_ = boundary_;
        insideAlternative_ = true;
        boundary_ = "--" + HeaderParam("boundary", type);
        skipToBoundary(false, "Cannot find boundary");
        ReadHeaders(partHeaders_);
        type = fieldValue(partHeaders_, "Content-Type");
    }

    const std::string encoding = lowerAscii(fieldValue(partHeaders_, "Content-Transfer-Encoding"));
    const bool base64 = encoding == "base64";
    // Japanese mail often sends its text part in base64.
    if (base64 && lowerAscii(HeaderParam("CharSet", type)) != "iso-2022-jp") {
        firstPartHeaderRead_ = true;
        return;
    }

    message_.CharSet = HeaderParam("charset", type);
    TextLines& body = message_.Body;
    body.clear();
    const std::string closing = boundary_ + "--";
    std::string_view ending;
    if (!base64) {
        for (;;) {
            const std::string_view line = lines_.ReadLine();
            if (lines_.Eof()) break;
            if (line == boundary_ || line == closing) {
                ending = line;
                break;
            }
            body.add(line);
        }
        if (body.empty()) body.add("");
        if (encoding == "quoted-printable") decodeBodyQuotedPrintable();
    } else {
        std::string text;
        for (;;) {
            const std::string_view line = lines_.ReadLine();
            if (lines_.Eof()) break;
            if (line.starts_with(boundary_)) {
                ending = line;
                break;
            }
            if (line.empty()) continue;
            appendBase64Decoded(line, text);
            pump();
        }
        body.addText(text);
    }

    if (ending == closing) {
        while (!lines_.Eof()) lines_.ReadLine();
    } else if (lines_.Eof()) {
        throw EMessageParserError("Cannot find boundary");
    }
}

void TmsMessageDecoder::DecodeOtherParts() {
    if (lines_.Eof()) return;
    for (;;) {
        pump();
        if (!firstPartHeaderRead_) ReadHeaders(partHeaders_);
        firstPartHeaderRead_ = false;
        const std::string_view ending = decodePart(partHeaders_, true);

        const std::string closing = boundary_ + "--";
        bool done = ending == closing || lines_.Eof();
        if (done && insideAlternative_) {
            // The alternatives are over; the outer list goes on.
            insideAlternative_ = false;
            boundary_ = outerBoundary_;
            done = skipToBoundary(true, "Cannot find closing boundary") == boundary_ + "--";
        }
        if (done) return;
    }
}

void TmsMessageDecoder::DecodeSinglePart() {
    if (fieldValue(headers_, "Content-type").empty()) throw EMessageParserError("Missing required field: Content-Type");
    decodePart(headers_, false);
}

std::string_view TmsMessageDecoder::decodePart(const TmsHeaders& header, bool endsAtBoundary) {
    checkRecordLimit();
    TmsAttItem item;
    std::string name = HeaderParam("name", fieldValue(header, "Content-type"));
    if (name.empty()) name = HeaderParam("filename", fieldValue(header, "Content-Disposition"));
    if (name.empty()) {
        const bool alternative = alternativeMessage_ || insideAlternative_;
        name = (alternative ? "_alt." : "att.") + std::to_string(message_.Attachments.Count());
    }
    item.FileName = cutFileName(std::move(name));
    const PartEncoding encoding = partEncoding(fieldValue(header, "Content-Transfer-Encoding"));
    item.Encoding = encoding.code;

    std::string_view ending;
    try {
        QuotedPrintableDecoder quotedPrintable(item.Data, [this] { pump(); });
        for (;;) {
            std::string_view line = lines_.ReadLine();
            if (lines_.Eof()) break;
            if (endsAtBoundary ? line.starts_with(boundary_) : (encoding.code == AttEncoding::Base64 && line == ".")) {
                ending = line;
                break;
            }
            line = cutPartLine(line);
            switch (encoding.code) {
                case AttEncoding::Base64:
                    if (line.empty()) break;
                    if (encoding.uuencode) {
                        if (isUuStartLine(line) || line == "`" || equalsNoCase(line, "end")) break;
                        appendUudecoded(line, item.Data);
                    } else {
                        appendBase64Decoded(line, item.Data);
                    }
                    pump();
                    break;
                case AttEncoding::QuotedPrintable:
                    quotedPrintable.addLine(line);
                    break;
                case AttEncoding::None:
                    item.Data.append(line);
                    item.Data += "\r\n";
                    break;
            }
        }
    } catch (const EMessageParserError&) {
        throw;
    } catch (const std::exception&) {
        throw EMessageParserError("Error decoding the attachment");
    }
    message_.Attachments.Add(std::move(item));
    return ending;
}

void TmsMessageDecoder::DecodePlain() {
    std::string_view line;
    for (;;) {
        line = lines_.ReadLine();
        if (lines_.Eof()) return;
        if (isUuStartLine(line)) break;
        message_.Body.add(line);
    }

    // `line` starts a uuencoded block; every block becomes a record.
    for (;;) {
        TmsAttItem item;
        item.Encoding = AttEncoding::Base64;
        try {
            checkRecordLimit();
            item.FileName = cutFileName(uuFileName(line));
            if (item.FileName.empty()) item.FileName = "att." + std::to_string(message_.Attachments.Count());
            for (;;) {
                const std::string_view data = lines_.ReadLine();
                if (lines_.Eof() || data == "`" || equalsNoCase(data, "END")) break;
                if (data.empty()) continue;
                appendUudecoded(cutPartLine(data), item.Data);
                pump();
            }
        } catch (const std::exception&) {
            throw EMessageParserError("Error decoding the attachment");
        }
        message_.Attachments.Add(std::move(item));

        do {
            line = lines_.ReadLine();
            if (lines_.Eof()) return;
        } while (!isUuStartLine(line));
    }
}

}  // namespace quorvel
