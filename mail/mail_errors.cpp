#include "mail/mail_errors.h"

#include <algorithm>
#include <cstring>

#include "platform/ascii_text.h"

namespace quorvel {

std::string mailErrorText(int code) {
    switch (code) {
    case errTimedOut: return "Operation timed out";
    case errCanceled: return "Operation has been canceled";
    case errServerRequired: return "Server property is required";
    case errInvalidWinsockVersion: return "Invalid Winsock version";
    case errResolvingHost: return "Error resolving remote host";
    case errServiceRequired: return "Service name is required";
    case errNotConnected: return "You have to connect to the server first";
    case errConnectionClosed: return "The server closed the connection";
    case errAnswerTooLarge: return "The server's answer is too large";
    case errDataBeforeTls: return "The server sent data before TLS began; the connection was closed";
    default: break;
    }
    // strerrordesc_np gives no text for numbers it does not know, unlike
    // strerror's "Unknown error N".
    if (code > 0)
        if (const char* text = strerrordesc_np(code)) return text;
    return "Error #" + std::to_string(code);
}

bool MailboxInUse(const std::string& reply) {
    // Only the server's own words count: a message around them names the
    // host, which may hold any text.
    const auto said = asciiUpper(reply).find("-ERR");
    const std::string text = asciiUpper(said == std::string::npos ? reply : reply.substr(said));
    // The code right after "-ERR", where RFC 2449 puts it.
    const std::size_t code = text.find_first_not_of(' ', std::min<std::size_t>(4, text.size()));
    if (code != std::string::npos && text.compare(code, 8, "[IN-USE]") == 0) return true;
    // "lock" as a word of its own ("locked", "lock"), not inside "blocked"
    // or "unlocked".
    const auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); };
    std::size_t start = 0;
    while (start < text.size()) {
        while (start < text.size() && !isLetter(text[start])) ++start;
        std::size_t end = start;
        while (end < text.size() && isLetter(text[end])) ++end;
        const std::string word = text.substr(start, end - start);
        if (word == "LOCK" || word == "LOCKED" || word == "LOCKS" || word == "LOCKING") return true;
        start = end;
    }
    return false;
}

}  // namespace quorvel
