#pragma once

#include <stdexcept>

namespace quorvel {

// Text that should have been a number: "'<text>' is not a valid integer value".
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace quorvel
