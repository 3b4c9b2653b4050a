#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mail/remote_info.h"

namespace quorvel {

// A message's header lines give the learning judge at most this many tokens
// of at most this many octets each: a hostile header can cost no more than
// an ordinary one.
inline constexpr std::size_t kMaxLearningTokens = 400;
inline constexpr std::size_t kMaxTokenOctets = 60;

// The tokens the learning judge counts for a message: the header lines as
// received (folded lines, CR LF or LF ends, anything after the first empty
// line ignored) and the message size. A token is a short prefix naming what
// it says, a colon, and the value ("s:cruise", "rip:64.0.57.0/24"). Each
// token occurs once.
std::vector<std::string> learningTokens(std::string_view headerLines, std::uint64_t sizeOctets);
std::vector<std::string> learningTokens(const TmsHeaders& headers, std::uint64_t sizeOctets);

// The header lines of a record as one text, each line ended by CR LF.
std::string joinHeaderLines(const TmsHeaders& headers);

// A token as a user reads it: "Subject 'cruise'", "Received from 64.0.57.0/24".
std::string tokenCaption(std::string_view token);

}  // namespace quorvel
