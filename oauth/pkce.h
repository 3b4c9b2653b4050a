#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvel {

// RFC 7636: the code verifier and its S256 challenge, and the `state` that
// ties the browser's answer to the request.

// base64url without padding, as PKCE and the state use it.
std::string base64Url(std::string_view octets);
// `octets` bytes from the system's CSPRNG; throws std::runtime_error when it
// has none to give.
std::string randomOctets(std::size_t octets);
// A new verifier: 64 characters of the unreserved set, from 48 random octets.
std::string pkceVerifier();
// BASE64URL(SHA256(verifier)).
std::string pkceChallenge(std::string_view verifier);
// A new `state`: 32 characters from 24 random octets.
std::string oauthState();

}  // namespace quorvel
