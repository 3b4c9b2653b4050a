#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace quorvel {

// How a mailbox's connection is protected: not at all, TLS begun by STLS on
// the plain port, or TLS from the first octet.
enum class TmsSecurity { None = 0, STARTTLS = 1, SSLTLS = 2 };

// The choices as the settings window shows them, in the order of the enum.
inline constexpr std::array<const char*, 3> kSecurityNames = {"None", "STARTTLS", "SSL/TLS"};

// The port implicit TLS is known by.
inline constexpr std::uint16_t kImplicitTlsPort = 995;

// A mailbox without a choice: SSL/TLS on port 995, otherwise none.
inline TmsSecurity securityFor(std::optional<TmsSecurity> chosen, std::uint16_t port) {
    return chosen.value_or(port == kImplicitTlsPort ? TmsSecurity::SSLTLS : TmsSecurity::None);
}

// The parts of a server text: "host", "host:port", "[v6 address]" or
// "[v6 address]:port". portText is empty when the text names no port.
struct ServerParts {
    std::string host;
    std::string portText;
};
ServerParts splitServer(const std::string& server);

// A port part that is a number whose low 16 bits are not 0 gives those bits;
// anything else leaves the port to the service database.
std::optional<std::uint16_t> portNumber(const std::string& portText);
// The port a server text names, if any.
inline std::optional<std::uint16_t> namedPort(const std::string& server) {
    return portNumber(splitServer(server).portText);
}

}  // namespace quorvel
