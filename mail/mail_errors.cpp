#include "mail/mail_errors.h"

#include <cstring>

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

}  // namespace quorvel
