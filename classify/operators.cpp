#include "classify/operators.h"

#include <algorithm>
#include <optional>

namespace quorvel {

namespace {

// The longest tail "Ends with" compares; a longer pattern never matches.
constexpr std::size_t kEndsWithTailLimit = 255;
constexpr std::size_t kDomainLimit = 255;

// Applies one of the five pattern operators; nothing when op is not one of them.
std::optional<bool> applyPatternOperator(std::string_view op, std::string_view text,
                                         std::string_view pattern, bool caseSensitive) {
    if (op == kOpContains) return TextContains(text, pattern, caseSensitive);
    if (op == kOpContainsWholeWord) return WholeWordCheck(text, pattern, caseSensitive);
    if (op == kOpEquals) return TextEquals(text, pattern, caseSensitive);
    if (op == kOpStartsWith) return TextStartsWith(text, pattern, caseSensitive);
    if (op == kOpEndsWith) return TextEndsWith(text, pattern, caseSensitive);
    return std::nullopt;
}

// Runs a comparison on the upper-cased copies unless the case matters.
template <typename Compare>
bool compareFolded(std::string_view text, std::string_view pattern, bool caseSensitive, Compare compare) {
    if (caseSensitive) return compare(text, pattern);
    const std::string upperText = asciiUpper(text);
    const std::string upperPattern = asciiUpper(pattern);
    return compare(std::string_view(upperText), std::string_view(upperPattern));
}

}  // namespace

bool IsWordDelimiter(char c) {
    static constexpr std::string_view delimiters = "\t'\r\n ,./?;:`\"<>[]{}-=\\+|()%@&^$#!~*";
    return delimiters.find(c) != std::string_view::npos;
}

std::string StripDigits(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (char c : text)
        if (!IsDigitChar(c)) result += c;
    return result;
}

bool TextContains(std::string_view text, std::string_view pattern, bool caseSensitive) {
    if (pattern.empty()) return false;
    return compareFolded(text, pattern, caseSensitive, [](std::string_view t, std::string_view p) {
        return t.find(p) != std::string_view::npos;
    });
}

bool TextEquals(std::string_view text, std::string_view pattern, bool caseSensitive) {
    if (text.size() != pattern.size()) return false;
    return compareFolded(text, pattern, caseSensitive, [](std::string_view t, std::string_view p) { return t == p; });
}

bool TextStartsWith(std::string_view text, std::string_view pattern, bool caseSensitive) {
    if (text.size() < pattern.size()) return false;
    return TextEquals(text.substr(0, pattern.size()), pattern, caseSensitive);
}

bool TextEndsWith(std::string_view text, std::string_view pattern, bool caseSensitive) {
    if (text.size() < pattern.size()) return false;
    const std::string_view tail = text.substr(text.size() - pattern.size(), kEndsWithTailLimit);
    return TextEquals(tail, pattern, caseSensitive);
}

bool WholeWordCheck(std::string_view text, std::string_view word, bool caseSensitive) {
    if (IsBlank(text) || IsBlank(word)) return false;
    const std::string foldedText = caseSensitive ? std::string(text) : asciiUpper(text);
    const std::string foldedWord = caseSensitive ? std::string(word) : asciiUpper(word);
    if (foldedText.find(foldedWord) == std::string::npos) return false;
    // The word itself is not split: one holding a delimiter can never equal a piece.
    std::size_t start = 0;
    for (std::size_t i = 0; i <= foldedText.size(); ++i) {
        if (i == foldedText.size() || IsWordDelimiter(foldedText[i])) {
            if (i > start && std::string_view(foldedText).substr(start, i - start) == foldedWord) return true;
            start = i + 1;
        }
    }
    return false;
}

bool IsUppercaseText(std::string_view text) {
    if (IsBlank(text)) return false;
    const std::string stripped = StripDigits(text);
    return stripped == asciiUpper(stripped);
}

bool IsHalfNumeric(std::string_view text) { return CountNumericChars(text) >= text.size() / 2; }

bool IsFirstCharNumeric(std::string_view text) { return !text.empty() && IsDigitChar(text.front()); }

std::string domainPart(std::string_view address) {
    const std::size_t at = address.find('@');
    if (at == std::string_view::npos) return std::string(address);
    return std::string(address.substr(at + 1, kDomainLimit));
}

std::string localPart(std::string_view address) {
    return std::string(address.substr(0, address.find('@')));
}

bool MatchSenderRule(std::string_view address, std::string_view what, std::string_view op,
                     std::string_view pattern) {
    std::string compared;
    if (what == kWhatEmailAddress)
        compared = std::string(address);
    else if (what == kWhatDomainName)
        compared = domainPart(address);
    else
        return false;

    if (op == kOpIsBlank) return IsBlank(compared);
    if (const auto matched = applyPatternOperator(op, compared, pattern, false)) return *matched;

    // The character operators judge the local part of an address.
    if (what == kWhatEmailAddress) compared = localPart(address);
    if (op == kOpIsUppercase) return IsUppercaseText(compared);
    if (op == kOpAllNumeric) return IsAllNumeric(compared);
    if (op == kOpHalfNumeric) return IsHalfNumeric(compared);
    if (op == kOpFirstCharNumeric) return IsFirstCharNumeric(compared);
    return false;
}

bool MatchSubjectRule(std::string_view subject, std::string_view op, std::string_view pattern,
                      bool caseSensitive) {
    if (op == kOpIsBlank) return IsBlank(subject);
    if (op == kOpIsUppercase) return IsUppercaseText(subject);
    return applyPatternOperator(op, subject, pattern, caseSensitive).value_or(false);
}

bool MatchHeaderLine(std::string_view line, std::string_view op, std::string_view pattern,
                     bool caseSensitive) {
    return applyPatternOperator(op, line, pattern, caseSensitive).value_or(false);
}

bool MatchExceptionText(std::string_view text, std::string_view op, std::string_view pattern,
                        bool caseSensitive) {
    return applyPatternOperator(op, text, pattern, caseSensitive).value_or(false);
}

}  // namespace quorvel
