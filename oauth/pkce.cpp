#include "oauth/pkce.h"

#include <openssl/rand.h>
#include <openssl/sha.h>

#include <stdexcept>

namespace quorvel {

std::string base64Url(std::string_view octets) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string text;
    text.reserve((octets.size() * 4 + 2) / 3);
    std::size_t i = 0;
    for (; i + 3 <= octets.size(); i += 3) {
        const unsigned v = static_cast<unsigned char>(octets[i]) << 16 | static_cast<unsigned char>(octets[i + 1]) << 8 |
                           static_cast<unsigned char>(octets[i + 2]);
        for (int shift : {18, 12, 6, 0}) text += kAlphabet[(v >> shift) & 63];
    }
    const std::size_t rest = octets.size() - i;
    if (rest > 0) {
        unsigned v = static_cast<unsigned char>(octets[i]) << 16;
        if (rest == 2) v |= static_cast<unsigned char>(octets[i + 1]) << 8;
        text += kAlphabet[(v >> 18) & 63];
        text += kAlphabet[(v >> 12) & 63];
        if (rest == 2) text += kAlphabet[(v >> 6) & 63];
    }
    return text;
}

std::string randomOctets(std::size_t octets) {
    std::string bytes(octets, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(bytes.data()), static_cast<int>(octets)) != 1)
        throw std::runtime_error("The system has no random numbers to give");
    return bytes;
}

std::string pkceVerifier() {
    return base64Url(randomOctets(48));
}

std::string pkceChallenge(std::string_view verifier) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(verifier.data()), verifier.size(), digest);
    return base64Url(std::string_view(reinterpret_cast<const char*>(digest), sizeof digest));
}

std::string oauthState() {
    return base64Url(randomOctets(24));
}

}  // namespace quorvel
