#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

#include "mail/remote_info.h"
#include "platform/date_time.h"

namespace quorvel {

// Raised by the mail parsers; what() is the text shown to the user.
class EMessageParserError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Texts of the header records are limited to this many octets; longer ones are cut.
inline constexpr std::size_t kMaxHeaderText = 255;

// An address split into its bare address and its display name.
struct TmsMailAddress {
    std::string Name;
    std::string Address;
};

// Sets `value` to the unfolded value of the first field called `name` (with
// or without its ":", any case), or to "" when there is none. The value is
// cut to 255 octets and its encoded words are decoded, except for
// "Content-Type" and "X-UIDL", which come back whole. Throws
// EMessageParserError for an encoded word that cannot be decoded.
void GetFieldValue(const TmsHeaders& headers, const std::string& name, std::string& value);

// The value of a field as mail programs show it, in UTF-8: unfolded, each
// encoded word decoded in its own character set (charSetToUtf8), the blanks
// between adjacent encoded words dropped, and anything that is not a well
// formed encoded word shown as it is (bytesToUtf8). At most kMaxHeaderText
// characters, from at most kMaxShownFieldOctets of the field. The checks
// read GetFieldValue; this is what the user is shown.
std::string FieldText(const TmsHeaders& headers, const std::string& name);
inline constexpr std::size_t kMaxShownFieldOctets = 4 * kMaxHeaderText;
// The RFC 2047 decoding of FieldText, on an unfolded value.
std::string DecodeHeaderText(std::string_view value);

// The character set that the encoded words of the field declare (upper
// case, e.g. "KOI8-R"), for showing the decoded octets; "" when the field
// has none, or words of different sets. US-ASCII words do not count.
std::string FieldCharSet(const TmsHeaders& headers, const std::string& name);

// Removes the first empty line and everything after it.
void TruncateAtBody(TmsHeaders& headers);

// The text without the blanks (any octet up to a space) at either end.
std::string_view trimmed(std::string_view text);

// Decodes the "=?charset?B|Q?text?=" words of a header value. The character
// set is ignored: the decoded octets are kept as they are. Input and result
// are at most 255 octets: a longer input is cut first.
std::string DecodeEncodedWords(const std::string& text);

// Splits 'Name <address>', 'address (Name)' or a bare address.
void SplitAddress(const std::string& text, std::string& address, std::string& name);
void ParseAddress(const std::string& text, TmsMailAddress& mailAddress);

// Trims the text, then strips every leading and trailing double quote.
std::string Unquote(const std::string& text);

// Reads a Date field value such as 'Tue, 14 Mar 2000 10:20:30 +0100'. Sets
// `dateTime` to the date and time as written (the zone is not applied) and
// `zone` to the text after the time; on any unreadable text, sets 0 and "".
void ParseDate(const std::string& text, TDateTime& dateTime, std::string& zone,
               char timeSeparator = ':');

}  // namespace quorvel
