#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quorvel {

// A SASL exchange that cannot go on: a challenge the mechanism does not
// accept, a server signature that does not match. The text is for the user.
class ESaslError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The client side of one SASL exchange, as a small state machine. The
// protocol layer sends initialResponse() with its AUTH command, passes each
// server challenge (already base64-decoded) to respond() and sends back what
// it returns; when the server accepts, it calls finish(), which throws when
// the mechanism has not seen what it must (a SCRAM server's signature). After
// a refusal, failureDetail() says in plain words what the server sent along.
class SaslMechanism {
public:
    virtual ~SaslMechanism() = default;
    virtual std::string_view name() const = 0;
    virtual std::string initialResponse() = 0;
    virtual std::string respond(std::string_view challenge) = 0;
    virtual void finish() {}
    virtual std::string failureDetail() const { return {}; }
    // Whether the exchange carries a secret that only TLS may protect.
    virtual bool sendsSecretInClear() const = 0;
};

// RFC 4616: authorization identity (usually empty), user name, password.
class SaslPlain : public SaslMechanism {
public:
    SaslPlain(std::string authzid, std::string user, std::string password);
    std::string_view name() const override { return "PLAIN"; }
    std::string initialResponse() override;
    std::string respond(std::string_view challenge) override;
    bool sendsSecretInClear() const override { return true; }

private:
    std::string authzid_, user_, password_;
};

// RFC 5802 with SHA-256 (RFC 7677), without channel binding. The server's
// signature is checked before the exchange counts as done.
class SaslScramSha256 : public SaslMechanism {
public:
    // Bounds on the server's iteration count: below the RFC's minimum the
    // stored key is weak; far above it a server could keep us busy.
    static constexpr long kMinIterations = 4096;
    static constexpr long kMaxIterations = 1000000;

    // `nonce` is for tests that replay a known exchange; empty picks a
    // random one.
    SaslScramSha256(std::string user, std::string password, std::string nonce = {});
    std::string_view name() const override { return "SCRAM-SHA-256"; }
    std::string initialResponse() override;
    std::string respond(std::string_view challenge) override;
    void finish() override;
    std::string failureDetail() const override { return failure_; }
    bool sendsSecretInClear() const override { return false; }

private:
    enum class Step { Start, SentFirst, SentFinal, Verified };
    std::string user_, password_, nonce_;
    std::string clientFirstBare_;
    std::string expectedServerSignature_;
    std::string failure_;
    Step step_ = Step::Start;
};

// An OAuth 2.0 bearer token in Google's and Microsoft's XOAUTH2 format.
// A refusal comes as a challenge holding a JSON error, answered with an
// empty response before the server's error reply.
class SaslXOAuth2 : public SaslMechanism {
public:
    SaslXOAuth2(std::string user, std::string token);
    std::string_view name() const override { return "XOAUTH2"; }
    std::string initialResponse() override;
    std::string respond(std::string_view challenge) override;
    std::string failureDetail() const override { return failure_; }
    bool sendsSecretInClear() const override { return true; }

private:
    std::string user_, token_, failure_;
};

// RFC 7628. A refusal comes as a challenge holding a JSON error; the client
// closes the exchange with a single 0x01 as the RFC asks.
class SaslOAuthBearer : public SaslMechanism {
public:
    SaslOAuthBearer(std::string user, std::string token, std::string host, int port);
    std::string_view name() const override { return "OAUTHBEARER"; }
    std::string initialResponse() override;
    std::string respond(std::string_view challenge) override;
    std::string failureDetail() const override { return failure_; }
    bool sendsSecretInClear() const override { return true; }

private:
    std::string user_, token_, host_, failure_;
    int port_;
};

// Strict base64 as SASL uses it: no white space, padding only at the end.
std::string saslBase64Encode(std::string_view octets);
// Throws ESaslError "The server's challenge is not base64".
std::string saslBase64Decode(std::string_view text);

// An OAuth JSON error in plain words: its "status" (or "error") and, when
// given, the scope the server asks for. Anything that is not such JSON gives
// the text itself, with control characters left out, shortened to a line.
std::string describeOAuthError(std::string_view json);

}  // namespace quorvel
