#include "mail/mail_security.h"

#include <algorithm>

#include "platform/convert.h"

namespace quorvel {

ServerParts splitServer(const std::string& server) {
    ServerParts parts;
    std::size_t rest = std::string::npos;
    const std::size_t close = server.find(']');
    if (!server.empty() && server.front() == '[' && close != std::string::npos) {
        parts.host = server.substr(1, close - 1);
        rest = close + 1 < server.size() && server[close + 1] == ':' ? close + 1 : std::string::npos;
    } else if (std::count(server.begin(), server.end(), ':') >= 2) {
        parts.host = server;  // a bare IPv6 address: a port can only follow brackets
    } else {
        rest = server.find(':');
        parts.host = server.substr(0, rest);
    }
    if (rest != std::string::npos) parts.portText = server.substr(rest + 1);
    return parts;
}

std::optional<std::uint16_t> portNumber(const std::string& portText) {
    if (portText.empty()) return std::nullopt;
    try {
        const auto port = static_cast<std::uint16_t>(static_cast<unsigned>(strToInt(portText)) & 0xFFFF);
        if (port != 0) return port;
    } catch (const EConvertError&) {
        // not a number: the service database decides
    }
    return std::nullopt;
}

}  // namespace quorvel
