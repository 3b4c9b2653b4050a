#pragma once

#include <string>
#include <string_view>

namespace quorvel {

// Text tests shared by every layer. The program folds case for the ASCII
// letters only and judges blank and numeric text byte by byte, whatever the
// locale.

// Maps 'a'..'z' onto 'A'..'Z' and leaves every other byte alone, so accented
// letters always compare exactly whatever the locale.
char asciiUpper(char c);
std::string asciiUpper(std::string_view text);

// Empty, or only spaces, CR, LF and backspaces (a tab is not blank).
bool IsBlank(std::string_view text);
bool IsDigitChar(char c);
// Digits and underscores.
std::size_t CountNumericChars(std::string_view text);
// Every character numeric (an empty text too).
bool IsAllNumeric(std::string_view text);

// Without the leading and trailing spaces and control characters (bytes up
// to 32): how patterns and imported lines are tidied.
std::string TrimText(std::string_view text);

}  // namespace quorvel
