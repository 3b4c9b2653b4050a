#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "mail/line_stream.h"
#include "mail/remote_info.h"

namespace quorvel {

// Lines of text kept in one buffer, each followed by '\n', so that a body of
// many short lines costs no more than about its own size.
class TextLines {
public:
    // Adds one line; a CR or LF inside it starts a new line.
    void add(std::string_view line);
    // Adds the lines of a text split at CR, LF or CR LF; a final line end
    // adds no empty line, and an empty text adds nothing.
    void addText(std::string_view text);
    void clear();
    void deleteLast();

    std::size_t count() const { return count_; }
    bool empty() const { return count_ == 0; }
    // "" when there are no lines.
    std::string_view last() const;
    // Every line followed by '\n'.
    const std::string& text() const { return text_; }
    std::vector<std::string> strings() const;

    template <class Visit>
    void forEach(Visit visit) const {
        std::size_t start = 0;
        for (std::size_t end; (end = text_.find('\n', start)) != std::string::npos; start = end + 1)
            visit(std::string_view(text_).substr(start, end - start));
    }

private:
    std::string text_;
    std::size_t count_ = 0;
};

enum class AttEncoding : int { None = 0, Base64 = 1, QuotedPrintable = 2 };

// One decoded part other than the body. Uuencoded data counts as Base64.
struct TmsAttItem {
    std::string FileName;  // at most 255 octets
    AttEncoding Encoding = AttEncoding::None;
    std::string Data;      // the decoded octets
};

class TmsAttList {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    const TmsAttItem& Items(int index) const { return items_.at(static_cast<std::size_t>(index)); }
    void Add(TmsAttItem item) { items_.push_back(std::move(item)); }
    void Clear() { items_.clear(); }

private:
    std::vector<TmsAttItem> items_;
};

// A message loaded for viewing: its header lines, the text to show, and
// every other part as an in-memory record.
class TmsMessage {
public:
    TmsHeaders Headers;
    TextLines Body;
    TmsAttList Attachments;
    // The "charset" parameter of the text that became the body (the first
    // part's in a multipart message), "" when none is declared. Decoding
    // works on octets; this tells the viewer how to show them.
    std::string CharSet;
    // A failure that stopped decoding although the body decoded so far is
    // still worth showing ("Paragraph is too large"); "" when there was none.
    // The viewer shows Body, then reports this text.
    std::string LoadError;

    // Runs pending user-interface events while a long message decodes:
    // once per part after the first, per decoded base64 or uuencoded line
    // and per quoted-printable paragraph. It must not destroy this message.
    std::function<void()> OnProcessEvents;

    // Clear, then decode the file. Throws std::runtime_error when the file
    // cannot be read.
    void LoadFromFile(const std::string& fileName);
    // Decodes a raw message. A message that cannot be decoded gets a notice
    // in Body and its raw copy as the record "original.eml".
    void LoadFromStream(std::string data);
    void Clear();
};

// Turns one raw message into a TmsMessage's Body and Attachments. Lives for
// one load. Only one level of nesting is read (an alternative inside the
// first part); any other nested multipart stays one raw record, so hostile
// nesting costs nothing.
class TmsMessageDecoder {
public:
    TmsMessageDecoder(std::string data, TmsMessage& message);
    void Decode();

private:
    void ReadHeaders(TmsHeaders& list);
    void DecodeMime();
    void DecodeText();
    void DecodeMultipart();
    void DecodeFirstPart();
    void DecodeOtherParts();
    void DecodeSinglePart();
    void DecodePlain();

    // Reads one part's lines into a new record named from `header`; returns
    // the line that ended it, "" at the end of the data.
    std::string_view decodePart(const TmsHeaders& header, bool endsAtBoundary);
    // Skips to the line that equals the boundary (or begins with it) and
    // returns it; raises `missing` at the end of the data.
    std::string_view skipToBoundary(bool prefixOnly, const char* missing);
    void decodeBodyQuotedPrintable();
    void checkRecordLimit() const;
    void pump() const;

    TLineStream lines_;
    TmsMessage& message_;
    TmsHeaders headers_;
    TmsHeaders partHeaders_;
    std::string boundary_;
    std::string outerBoundary_;
    bool insideAlternative_ = false;
    bool alternativeMessage_ = false;
    // The first part was left to the attachments with its header already read.
    bool firstPartHeaderRead_ = false;
};

// The parameter `name` of a header value: found anywhere in the value,
// ignoring case; the text after it and its "=", trimmed, up to the closing
// quote when quoted, else up to the first space, without a trailing ";".
std::string HeaderParam(std::string_view name, std::string_view value);

// The text before the first space or ";", trimmed.
std::string MainValue(std::string_view value);

}  // namespace quorvel
