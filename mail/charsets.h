#pragma once

#include <string>
#include <string_view>

namespace quorvel {

// Octets written in the character set a message declares, as UTF-8. Sets
// that glibc's iconv knows are converted by it, each octet it cannot read
// becoming U+FFFD; Latin-1 is read as Windows-1252, which mail that says
// Latin-1 is often written in; no set, US-ASCII (often said of 8-bit text),
// an unknown set, or one of 16 or 32 bit units (which lines of octets
// cannot carry) reads the octets as bytesToUtf8 does.
// With `fallBack`, octets the declared set cannot read make the whole text
// read as bytesToUtf8 does instead (a body whose declaration is false).
std::string charSetToUtf8(std::string_view octets, std::string_view charSet, bool fallBack = false);

}  // namespace quorvel
