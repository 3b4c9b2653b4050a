// Feeds arbitrary header blocks to every header look-up. Each must end in a
// value or in EMessageParserError, within the bounds it promises.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "mail/headers.h"
#include "platform/ascii_text.h"
#include "platform/utf8.h"

using namespace quorvel;

namespace {

// Split as the POP3 client does: at CR, LF or CR LF.
TmsHeaders splitLines(const std::string& data) {
    TmsHeaders lines;
    std::string line;
    for (std::size_t i = 0; i < data.size(); ++i) {
        const char c = data[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            if (c == '\r' && i + 1 < data.size() && data[i + 1] == '\n') ++i;
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

void require(bool condition) {
    if (!condition) std::abort();
}

std::string lookUp(const TmsHeaders& headers, const std::string& name) {
    std::string value;
    try {
        GetFieldValue(headers, name, value);
    } catch (const EMessageParserError&) {
        return {};
    }
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TmsHeaders headers = splitLines(std::string(reinterpret_cast<const char*>(data), size));

    const TmsHeaders before = headers;
    TruncateAtBody(headers);
    require(headers.size() <= before.size());
    for (std::size_t i = 0; i < headers.size(); ++i) require(headers[i] == before[i] && !headers[i].empty());
    require(headers.size() == before.size() || before[headers.size()].empty());

    // The usual fields, plus the first line's own name so odd names match too.
    std::string ownName = headers.empty() ? std::string() : headers.front();
    ownName = ownName.substr(0, ownName.find(':'));
    for (const std::string& name : {std::string("Subject"), std::string("Reply-to:"), std::string("To"),
                                    std::string("Content-Type"), std::string("X-UIDL"), ownName}) {
        lookUp(headers, name);
        // A declared set is a part of the field's value, never longer.
        require(FieldCharSet(headers, name).size() <= kMaxHeaderText);
        // What is shown is valid UTF-8 of at most kMaxHeaderText characters
        // (a whole field, Content-Type, is bounded by its line).
        const std::string shown = FieldText(headers, name);
        require(validUtf8(shown));
        std::size_t characters = 0;
        for (const char c : shown) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        const std::string upper = asciiUpper(name);
        if (upper != "CONTENT-TYPE" && upper != "X-UIDL" && upper != "CONTENT-TYPE:" && upper != "X-UIDL:")
            require(characters <= kMaxHeaderText);
    }
    const std::string subject = lookUp(headers, "Subject");
    require(subject.size() <= kMaxHeaderText);

    std::string address, name;
    SplitAddress(lookUp(headers, "From"), address, name);
    require(address.size() <= kMaxHeaderText && name.size() <= kMaxHeaderText);

    TDateTime date = 0;
    std::string zone;
    ParseDate(lookUp(headers, "Date"), date, zone);
    if (date != 0) {
        const DateParts parts = decodeDateTime(date);
        require(parts.year >= 1 && parts.year <= 9999);
    }

    for (const std::string& line : headers) {
        try {
            require(DecodeEncodedWords(line).size() <= kMaxHeaderText);
        } catch (const EMessageParserError&) {
        }
        Unquote(line);
        ParseDate(line, date, zone);
        TmsMailAddress record;
        ParseAddress(line, record);
    }
    return 0;
}
