#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

// Splits text into lines ending in CR LF, LF or a lone CR, as text files
// written by hand or by other programs may mix them. A final line break does
// not start another line.
std::vector<std::string_view> splitLines(std::string_view text);

// Reads the decimal number at the start of text. Nothing when the text does
// not start with a digit or the number exceeds `limit`.
std::optional<long long> readLeadingNumber(std::string_view text, long long limit);

}  // namespace quorvel
