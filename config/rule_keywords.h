#pragma once

#include <array>
#include <string_view>

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

// The operators as the rule dialogs list them, index 0 first: the wording
// shown and the keyword stored. The dialogs list a prefix of this table.
struct OperatorWording {
    std::string_view shown;
    std::string_view stored;
};
inline constexpr std::array<OperatorWording, 10> kOperatorWordings{{
    {"Contains", kOpContains},
    {"Contains (whole word)", kOpContainsWholeWord},
    {"Equals (exact match)", kOpEquals},
    {"Starts with", kOpStartsWith},
    {"Ends with", kOpEndsWith},
    {"Is blank or empty", kOpIsBlank},
    {"Is all UPPERCASE", kOpIsUppercase},
    {"Is ALL numeric", kOpAllNumeric},
    {"Is at least 1/2 numeric", kOpHalfNumeric},
    {"Starts with a number", kOpFirstCharNumeric},
}};
// The five operators that compare with a pattern come first.
inline constexpr int kPatternOperatorCount = 5;

}  // namespace quorvel
