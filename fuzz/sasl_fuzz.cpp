// Feeds arbitrary server challenges to each SASL mechanism as the log-in
// would: the first byte picks the mechanism, the rest are challenges split
// at newlines, each also passed through the base64 reader. A mechanism may
// refuse a challenge (ESaslError) but must not crash, loop or leak; what it
// says of a refusal must be one bounded line.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "mail/sasl.h"

using namespace quorvel;

namespace {

std::unique_ptr<SaslMechanism> mechanism(std::uint8_t choice) {
    switch (choice % 4) {
        case 0: return std::make_unique<SaslPlain>("", "joe", "secret");
        // A fixed nonce, so that a corpus entry can hold a matching server-first message.
        case 1: return std::make_unique<SaslScramSha256>("user", "pencil", "rOprNGfwEbeRWgbNEkqO");
        case 2: return std::make_unique<SaslXOAuth2>("joe@example.com", "token");
        default: return std::make_unique<SaslOAuthBearer>("joe@example.com", "token", "mail.example.com", 995);
    }
}

void checkLine(const std::string& text) {
    for (const char c : text)
        if (c == '\r' || c == '\n') std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const auto sasl = mechanism(data[0]);
    std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    (void)sasl->initialResponse();
    try {
        for (int round = 0; round < 8 && !rest.empty(); ++round) {
            const std::size_t end = rest.find('\n');
            const std::string_view challenge = rest.substr(0, end);
            rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
            try {
                (void)saslBase64Decode(challenge);
            } catch (const ESaslError&) {
            }
            (void)sasl->respond(challenge);
        }
        sasl->finish();
    } catch (const ESaslError& refused) {
        checkLine(refused.what());
    }
    checkLine(sasl->failureDetail());
    checkLine(describeOAuthError(rest));
    return 0;
}
