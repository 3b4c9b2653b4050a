#include "mail/sasl.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <array>
#include <charconv>
#include <vector>

namespace quorvel {
namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

using Digest = std::array<unsigned char, SHA256_DIGEST_LENGTH>;

std::string_view asText(const Digest& d) {
    return {reinterpret_cast<const char*>(d.data()), d.size()};
}

Digest hmac(std::string_view key, std::string_view text) {
    Digest out{};
    unsigned int length = 0;
    if (!HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
              reinterpret_cast<const unsigned char*>(text.data()), text.size(), out.data(), &length))
        throw ESaslError("The SCRAM computation failed");
    return out;
}

Digest sha256(std::string_view text) {
    Digest out{};
    SHA256(reinterpret_cast<const unsigned char*>(text.data()), text.size(), out.data());
    return out;
}

// The user name as SCRAM and OAUTHBEARER carry it: "=" and "," escaped.
std::string escapeSaslName(std::string_view name) {
    std::string out;
    for (char c : name) {
        if (c == '=')
            out += "=3D";
        else if (c == ',')
            out += "=2C";
        else
            out += c;
    }
    return out;
}

// Printable ASCII only, one line, bounded: a server's words are data.
std::string plainLine(std::string_view text) {
    constexpr std::size_t kMax = 200;
    std::string out;
    for (char c : text) {
        if (out.size() >= kMax)
            break;
        if (c >= 0x20 && c < 0x7f)
            out += c;
    }
    return out;
}

// The string value of `key` in a flat JSON object, or empty. Enough for the
// short error objects of RFC 7628 and XOAUTH2; escapes are kept as written.
std::string jsonString(std::string_view json, std::string_view key) {
    const std::string quoted = "\"" + std::string(key) + "\"";
    std::size_t at = json.find(quoted);
    if (at == std::string_view::npos)
        return {};
    at = json.find_first_not_of(" \t\r\n", at + quoted.size());
    if (at == std::string_view::npos || json[at] != ':')
        return {};
    at = json.find_first_not_of(" \t\r\n", at + 1);
    if (at == std::string_view::npos || json[at] != '"')
        return {};
    std::string value;
    for (std::size_t i = at + 1; i < json.size(); ++i) {
        if (json[i] == '"')
            return value;
        if (json[i] == '\\' && i + 1 < json.size())
            ++i;
        value += json[i];
    }
    return {};
}

}  // namespace

std::string saslBase64Encode(std::string_view octets) {
    std::string out;
    out.reserve((octets.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < octets.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, octets.size() - i);
        unsigned value = 0;
        for (std::size_t k = 0; k < 3; ++k)
            value = value << 8 | (k < n ? static_cast<unsigned char>(octets[i + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k)
            out += k <= n ? kAlphabet[(value >> (18 - 6 * k)) & 0x3f] : '=';
    }
    return out;
}

std::string saslBase64Decode(std::string_view text) {
    const ESaslError notBase64("The server's challenge is not base64");
    if (text.size() % 4 != 0)
        throw notBase64;
    std::string out;
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        unsigned value = 0;
        int padding = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            const char c = text[i + k];
            if (c == '=' && last && k >= 2) {
                ++padding;
                value <<= 6;
                continue;
            }
            const std::size_t digit = kAlphabet.find(c);
            if (digit == std::string_view::npos || padding > 0)
                throw notBase64;
            value = value << 6 | static_cast<unsigned>(digit);
        }
        for (int k = 0; k < 3 - padding; ++k)
            out += static_cast<char>((value >> (16 - 8 * k)) & 0xff);
    }
    return out;
}

std::string describeOAuthError(std::string_view json) {
    std::string status = jsonString(json, "status");
    if (status.empty())
        status = jsonString(json, "error");
    if (status.empty())
        return plainLine(json);
    std::string out = plainLine(status);
    const std::string scope = jsonString(json, "scope");
    if (!scope.empty())
        out += " (scope " + plainLine(scope) + ")";
    return out;
}

SaslPlain::SaslPlain(std::string authzid, std::string user, std::string password)
    : authzid_(std::move(authzid)), user_(std::move(user)), password_(std::move(password)) {}

std::string SaslPlain::initialResponse() {
    return authzid_ + '\0' + user_ + '\0' + password_;
}

std::string SaslPlain::respond(std::string_view) {
    throw ESaslError("The server asked for more than PLAIN sends");
}

SaslScramSha256::SaslScramSha256(std::string user, std::string password, std::string nonce)
    : user_(std::move(user)), password_(std::move(password)), nonce_(std::move(nonce)) {
    if (nonce_.empty()) {
        std::array<unsigned char, 24> random{};
        if (RAND_bytes(random.data(), static_cast<int>(random.size())) != 1)
            throw ESaslError("No random numbers for SCRAM");
        nonce_ = saslBase64Encode({reinterpret_cast<const char*>(random.data()), random.size()});
    }
}

std::string SaslScramSha256::initialResponse() {
    clientFirstBare_ = "n=" + escapeSaslName(user_) + ",r=" + nonce_;
    step_ = Step::SentFirst;
    return "n,," + clientFirstBare_;
}

std::string SaslScramSha256::respond(std::string_view challenge) {
    if (step_ == Step::SentFirst) {
        const ESaslError malformed("The server's SCRAM message is malformed");
        // r=nonce,s=salt,i=count in this order; a mandatory extension (m=)
        // is one we cannot follow.
        std::vector<std::string_view> parts;
        for (std::size_t at = 0;;) {
            const std::size_t comma = challenge.find(',', at);
            parts.push_back(challenge.substr(at, comma - at));
            if (comma == std::string_view::npos)
                break;
            at = comma + 1;
        }
        if (parts.size() < 3 || !parts[0].starts_with("r=") || !parts[1].starts_with("s=") ||
            !parts[2].starts_with("i="))
            throw malformed;
        const std::string_view serverNonce = parts[0].substr(2);
        if (serverNonce.size() <= nonce_.size() || !serverNonce.starts_with(nonce_))
            throw ESaslError("The server's SCRAM nonce does not continue ours");
        std::string salt;
        try {
            salt = saslBase64Decode(parts[1].substr(2));
        } catch (const ESaslError&) {
            throw malformed;
        }
        const std::string_view countText = parts[2].substr(2);
        long count = 0;
        const auto [end, ec] = std::from_chars(countText.data(), countText.data() + countText.size(), count);
        if (ec != std::errc() || end != countText.data() + countText.size() || salt.empty())
            throw malformed;
        if (count < kMinIterations || count > kMaxIterations)
            throw ESaslError("The server's SCRAM iteration count " + std::to_string(count) + " is out of bounds");

        Digest salted{};
        if (PKCS5_PBKDF2_HMAC(password_.data(), static_cast<int>(password_.size()),
                              reinterpret_cast<const unsigned char*>(salt.data()), static_cast<int>(salt.size()),
                              static_cast<int>(count), EVP_sha256(), static_cast<int>(salted.size()),
                              salted.data()) != 1)
            throw ESaslError("The SCRAM computation failed");
        const std::string finalWithoutProof = "c=biws,r=" + std::string(serverNonce);
        const std::string authMessage =
            clientFirstBare_ + "," + std::string(challenge) + "," + finalWithoutProof;
        const Digest clientKey = hmac(asText(salted), "Client Key");
        const Digest clientSignature = hmac(asText(sha256(asText(clientKey))), authMessage);
        Digest proof{};
        for (std::size_t i = 0; i < proof.size(); ++i)
            proof[i] = clientKey[i] ^ clientSignature[i];
        const Digest serverKey = hmac(asText(salted), "Server Key");
        expectedServerSignature_ = std::string(asText(hmac(asText(serverKey), authMessage)));
        step_ = Step::SentFinal;
        return finalWithoutProof + ",p=" + saslBase64Encode(asText(proof));
    }
    if (step_ == Step::SentFinal) {
        if (challenge.starts_with("e=")) {
            failure_ = plainLine(challenge.substr(2));
            step_ = Step::Start;
            return {};
        }
        std::string signature;
        if (challenge.starts_with("v=")) {
            const std::size_t comma = challenge.find(',');
            try {
                signature = saslBase64Decode(challenge.substr(2, comma == std::string_view::npos ? comma : comma - 2));
            } catch (const ESaslError&) {
            }
        }
        if (signature.size() != expectedServerSignature_.size() ||
            CRYPTO_memcmp(signature.data(), expectedServerSignature_.data(), signature.size()) != 0)
            throw ESaslError("The server's SCRAM signature is wrong: it does not know the password");
        step_ = Step::Verified;
        return {};
    }
    throw ESaslError("The server sent a SCRAM message out of turn");
}

void SaslScramSha256::finish() {
    if (step_ != Step::Verified)
        throw ESaslError("The server accepted SCRAM without proving that it knows the password");
}

SaslXOAuth2::SaslXOAuth2(std::string user, std::string token)
    : user_(std::move(user)), token_(std::move(token)) {}

std::string SaslXOAuth2::initialResponse() {
    return "user=" + user_ + "\x01" + "auth=Bearer " + token_ + "\x01\x01";
}

std::string SaslXOAuth2::respond(std::string_view challenge) {
    failure_ = describeOAuthError(challenge);
    return {};
}

SaslOAuthBearer::SaslOAuthBearer(std::string user, std::string token, std::string host, int port)
    : user_(std::move(user)), token_(std::move(token)), host_(std::move(host)), port_(port) {}

std::string SaslOAuthBearer::initialResponse() {
    return "n,a=" + escapeSaslName(user_) + ",\x01" + "host=" + host_ + "\x01" + "port=" + std::to_string(port_) +
           "\x01" + "auth=Bearer " + token_ + "\x01\x01";
}

std::string SaslOAuthBearer::respond(std::string_view challenge) {
    failure_ = describeOAuthError(challenge);
    return "\x01";
}

}  // namespace quorvel
