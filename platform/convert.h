#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace quorvel {

// Text that should have been a number: "'<text>' is not a valid integer value".
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads a whole decimal number (optional sign), as the program's string to
// integer conversion does; throws EConvertError otherwise.
int strToInt(const std::string& text);

// Empty, or only spaces, CR, LF and backspaces (a tab is not blank): how
// user names, servers, patterns and paths are judged empty.
bool IsBlank(std::string_view text);

}  // namespace quorvel
