#pragma once

#include <string>
#include <string_view>

#include "platform/convert.h"  // IsBlank

namespace quorvel {

// Operator keywords exactly as the rule tables store them.
inline constexpr std::string_view kOpContains = "Contains";
inline constexpr std::string_view kOpContainsWholeWord = "Contains (whole word)";
inline constexpr std::string_view kOpEquals = "Equals";
inline constexpr std::string_view kOpStartsWith = "Starts with";
inline constexpr std::string_view kOpEndsWith = "Ends with";
inline constexpr std::string_view kOpIsBlank = "Is blank";
inline constexpr std::string_view kOpIsUppercase = "Is UPPERCASE";
inline constexpr std::string_view kOpAllNumeric = "All numeric";
inline constexpr std::string_view kOpHalfNumeric = "50% numeric";
inline constexpr std::string_view kOpFirstCharNumeric = "First char numeric";

// What a sender rule looks at.
inline constexpr std::string_view kWhatEmailAddress = "E-mail address";
inline constexpr std::string_view kWhatDomainName = "Domain name";

// Maps 'a'..'z' onto 'A'..'Z' and leaves every other byte alone, so accented
// letters always compare exactly whatever the locale.
char asciiUpper(char c);
std::string asciiUpper(std::string_view text);

bool IsDigitChar(char c);
bool IsWordDelimiter(char c);
// Digits and underscores.
std::size_t CountNumericChars(std::string_view text);
// Removes the digits; underscores stay.
std::string StripDigits(std::string_view text);

// Pattern operators. Unless caseSensitive, both sides are ASCII upper-cased first.
bool TextContains(std::string_view text, std::string_view pattern, bool caseSensitive);
bool TextEquals(std::string_view text, std::string_view pattern, bool caseSensitive);
bool TextStartsWith(std::string_view text, std::string_view pattern, bool caseSensitive);
bool TextEndsWith(std::string_view text, std::string_view pattern, bool caseSensitive);
bool WholeWordCheck(std::string_view text, std::string_view word, bool caseSensitive);

// Character operators.
bool IsUppercaseText(std::string_view text);
bool IsAllNumeric(std::string_view text);
bool IsHalfNumeric(std::string_view text);
bool IsFirstCharNumeric(std::string_view text);

// The part after the first at sign (at most 255 characters), or the whole
// address when it has none.
std::string domainPart(std::string_view address);
// The part before the first at sign, or the whole address when it has none.
std::string localPart(std::string_view address);

// Evaluators: whether one rule row matches a message text. An operator the
// evaluator does not support never matches.
bool MatchSenderRule(std::string_view address, std::string_view what, std::string_view op,
                     std::string_view pattern);
bool MatchSubjectRule(std::string_view subject, std::string_view op, std::string_view pattern,
                      bool caseSensitive);
bool MatchHeaderLine(std::string_view line, std::string_view op, std::string_view pattern,
                     bool caseSensitive);
bool MatchExceptionText(std::string_view text, std::string_view op, std::string_view pattern,
                        bool caseSensitive);

}  // namespace quorvel
