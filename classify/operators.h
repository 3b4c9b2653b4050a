#pragma once

#include <string>
#include <string_view>

#include "config/rule_keywords.h"
#include "platform/ascii_text.h"

namespace quorvel {

// The keywords and the text tests the operators build on live below, in
// config/ and platform/.
bool IsWordDelimiter(char c);
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
