#pragma once

#include "platform/ascii_text.h"  // IsBlank, for the callers that judge input

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

}  // namespace quorvel
