#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quorvel {

// The messages of a mail folder or file, found without reading them whole.
struct StoredMessages {
    struct Message {
        std::uint32_t file = 0;    // into `files`
        std::uint64_t offset = 0;  // where the message starts (past an mbox "From " line)
        std::uint64_t size = 0;    // its octets
    };
    std::vector<std::string> files;
    std::vector<Message> messages;
    std::size_t maxMessages = 0;  // the bound the search kept to
};

// No more messages than this are taken from one folder or file.
inline constexpr std::size_t kMaxStoredMessages = 1000000;

// The messages at `path`: a maildir (the messages in its "cur" and "new"), a
// folder of saved messages (each file one message, or an mbox file), an mbox
// file, or one saved message. Throws, with the text for the user, when the
// path cannot be read or holds no mail. Links are not followed.
// At most `maxMessages`: a folder holding more is refused whole.
StoredMessages findStoredMessages(const std::string& path, std::size_t maxMessages = kMaxStoredMessages);

// A message's header lines, up to the empty line that ends them or
// `maxOctets`, whichever comes first. Throws when the file cannot be read.
inline constexpr std::size_t kMaxStoredHeaderOctets = 256 * 1024;
std::string readStoredHeader(const StoredMessages& found, std::size_t index,
                             std::size_t maxOctets = kMaxStoredHeaderOctets);

}  // namespace quorvel
