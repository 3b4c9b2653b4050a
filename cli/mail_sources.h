#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "mail/remote_info.h"

namespace quorvel::cli {

// Mail the user names for learning: a saved message (.eml), an mbox file
// (messages after "From " lines), a maildir (its cur/ and new/ folders) or a
// folder of saved messages. Only header lines are read. Inside a folder only
// its own regular files are read: no links, no subfolders beyond cur/ and new/.
struct MailSources {
    // A single message file larger than this is passed over; an mbox file is
    // read as it streams and may be of any size up to the second bound.
    static constexpr std::uint64_t kMaxMessageFileOctets = 64ull << 20;
    static constexpr std::uint64_t kMaxMboxOctets = 16ull << 30;
    // Header lines past this many octets of a message are not read.
    static constexpr std::size_t kMaxHeaderOctets = 256 << 10;

    // A message's header lines and its size in octets.
    std::function<void(const TmsHeaders&, std::uint64_t)> message;
    // A line saying what was passed over and why.
    std::function<void(const std::string&)> skipped;

    void read(const std::string& path) const;

private:
    void readFile(const std::string& path, bool named) const;
    void readFolder(const std::string& path) const;
    void readMbox(const std::string& path, std::uint64_t size) const;
};

}  // namespace quorvel::cli
