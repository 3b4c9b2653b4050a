// The SASL mechanisms as state machines, against the RFCs' own examples.
#include <gtest/gtest.h>

#include <string>

#include "mail/sasl.h"

namespace quorvel {
namespace {

using namespace std::string_literals;

TEST(Sasl, Base64RoundTripsAndRefusesWhatIsNotBase64) {
    const struct {
        std::string octets, text;
    } pairs[] = {{"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"\0\xff\x01"s, "AP8B"}};
    for (const auto& p : pairs) {
        EXPECT_EQ(saslBase64Encode(p.octets), p.text);
        EXPECT_EQ(saslBase64Decode(p.text), p.octets);
    }
    for (const char* bad : {"Zg", "Zg=", "Z===", "Zm9v\r\n", "Zm 9", "Zg==Zg==", "=Zm9", "Zm9*", "Zm=v"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(saslBase64Decode(bad), ESaslError);
    }
}

TEST(Sasl, PlainSendsTheRfcExamples) {
    EXPECT_EQ(SaslPlain("", "tim", "tanstaaftanstaaf").initialResponse(), "\0tim\0tanstaaftanstaaf"s);
    EXPECT_EQ(SaslPlain("Ursel", "Kurt", "xipj3plmq").initialResponse(), "Ursel\0Kurt\0xipj3plmq"s);
    SaslPlain plain("", "tim", "x");
    EXPECT_TRUE(plain.sendsSecretInClear());
    EXPECT_THROW(plain.respond("more?"), ESaslError);
}

constexpr const char* kServerFirst =
    "r=rOprNGfwEbeRWgbNEkqO%hvYDpWUa2RaTCAfuxFIlj)hNlF$k0,s=W22ZaJ0SNY7soEsUEjb6gQ==,i=4096";

TEST(Sasl, ScramSha256FollowsTheRfcExampleAndChecksTheServer) {
    SaslScramSha256 scram("user", "pencil", "rOprNGfwEbeRWgbNEkqO");
    EXPECT_FALSE(scram.sendsSecretInClear());
    EXPECT_EQ(scram.initialResponse(), "n,,n=user,r=rOprNGfwEbeRWgbNEkqO");
    EXPECT_EQ(scram.respond(kServerFirst),
              "c=biws,r=rOprNGfwEbeRWgbNEkqO%hvYDpWUa2RaTCAfuxFIlj)hNlF$k0,"
              "p=dHzbZapWIk4jUhN+Ute9ytag9zjfMHgsqmmiz7AndVQ=");
    EXPECT_THROW(scram.finish(), ESaslError) << "accepted before the server proved itself";
    EXPECT_EQ(scram.respond("v=6rriTRBi23WpRR/wtup+mMhUZUn/dB5nLTJRsjl95G4="), "");
    EXPECT_NO_THROW(scram.finish());
}

TEST(Sasl, ScramSha256RefusesAServerThatDoesNotKnowThePassword) {
    const struct {
        const char* what;
        const char* serverFinal;
    } cases[] = {
        {"another signature", "v=AAAATRBi23WpRR/wtup+mMhUZUn/dB5nLTJRsjl95G4="},
        {"a signature that is not base64", "v=6rriTRBi23WpRR/wtup+mMhUZUn/dB5nLTJRsjl95G4"},
        {"no signature", "x=1"},
        {"an empty message", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SaslScramSha256 scram("user", "pencil", "rOprNGfwEbeRWgbNEkqO");
        scram.initialResponse();
        scram.respond(kServerFirst);
        EXPECT_THROW(scram.respond(c.serverFinal), ESaslError);
        EXPECT_THROW(scram.finish(), ESaslError);
    }
}

TEST(Sasl, ScramSha256RefusesABadFirstServerMessage) {
    const struct {
        const char* what;
        std::string serverFirst;
    } cases[] = {
        {"a nonce that is not ours", "r=XOprNGfwEbeRWgbNEkqO%hv,s=W22ZaJ0SNY7soEsUEjb6gQ==,i=4096"},
        {"our nonce with nothing added", "r=rOprNGfwEbeRWgbNEkqO,s=W22ZaJ0SNY7soEsUEjb6gQ==,i=4096"},
        {"a mandatory extension", "m=x,r=rOprNGfwEbeRWgbNEkqO%hv,s=W22ZaJ0SNY7soEsUEjb6gQ==,i=4096"},
        {"a salt that is not base64", "r=rOprNGfwEbeRWgbNEkqO%hv,s=W22Z*,i=4096"},
        {"an empty salt", "r=rOprNGfwEbeRWgbNEkqO%hv,s=,i=4096"},
        {"too few iterations", "r=rOprNGfwEbeRWgbNEkqO%hv,s=W22ZaJ0SNY7soEsUEjb6gQ==,i=4095"},
        {"too many iterations", "r=rOprNGfwEbeRWgbNEkqO%hv,s=W22ZaJ0SNY7soEsUEjb6gQ==,i=1000001"},
        {"a count that is no number", "r=rOprNGfwEbeRWgbNEkqO%hv,s=W22ZaJ0SNY7soEsUEjb6gQ==,i=4k"},
        {"no count", "r=rOprNGfwEbeRWgbNEkqO%hv,s=W22ZaJ0SNY7soEsUEjb6gQ=="},
        {"nothing", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SaslScramSha256 scram("user", "pencil", "rOprNGfwEbeRWgbNEkqO");
        scram.initialResponse();
        EXPECT_THROW(scram.respond(c.serverFirst), ESaslError);
    }
}

TEST(Sasl, ScramSha256EscapesTheUserNameAndKeepsTheServersError) {
    SaslScramSha256 scram("a=b,c", "pencil", "nonce");
    EXPECT_EQ(scram.initialResponse(), "n,,n=a=3Db=2Cc,r=nonce");
    scram.respond("r=nonce+server,s=W22ZaJ0SNY7soEsUEjb6gQ==,i=4096");
    EXPECT_EQ(scram.respond("e=invalid-proof"), "");
    EXPECT_EQ(scram.failureDetail(), "invalid-proof");
    EXPECT_THROW(scram.finish(), ESaslError);
}

TEST(Sasl, ScramSha256PicksAFreshNonceEachTime) {
    SaslScramSha256 a("user", "pencil"), b("user", "pencil");
    const std::string first = a.initialResponse();
    EXPECT_TRUE(first.starts_with("n,,n=user,r="));
    EXPECT_GE(first.size(), std::string("n,,n=user,r=").size() + 24);
    EXPECT_NE(first, b.initialResponse());
}

TEST(Sasl, XOAuth2SendsGooglesFormatAndAnswersAnErrorWithNothing) {
    SaslXOAuth2 xoauth("someuser@example.com", "ya29.vF9dft4qmTc2Nvb3RlckBhdHRhdmlzdGEuY29tCg");
    EXPECT_EQ(saslBase64Encode(xoauth.initialResponse()),
              "dXNlcj1zb21ldXNlckBleGFtcGxlLmNvbQFhdXRoPUJlYXJlciB5YTI5LnZGOWRmdDRxbVRjMk52"
              "YjNSbGNrQmhkSFJoZG1semRHRXVZMjl0Q2cBAQ==");
    EXPECT_EQ(xoauth.respond(R"({"status":"401","schemes":"bearer","scope":"https://mail.google.com/"})"), "");
    EXPECT_EQ(xoauth.failureDetail(), "401 (scope https://mail.google.com/)");
}

TEST(Sasl, OAuthBearerSendsTheRfcExampleAndClosesAFailure) {
    SaslOAuthBearer bearer("user@example.com", "vF9dft4qmTc2Nvb3RlckBhbHRhdmlzdGEuY29tCg==",
                           "server.example.com", 143);
    EXPECT_EQ(bearer.initialResponse(),
              "n,a=user@example.com,\x01host=server.example.com\x01port=143\x01"
              "auth=Bearer vF9dft4qmTc2Nvb3RlckBhbHRhdmlzdGEuY29tCg==\x01\x01");
    const std::string challenge = saslBase64Decode(
        "eyJzdGF0dXMiOiJpbnZhbGlkX3Rva2VuIiwic2NvcGUiOiJleGFtcGxlX3Njb3BlIiwib3BlbmlkLWNvbmZpZ3VyYXRpb24iOiJo"
        "dHRwczovL2V4YW1wbGUuY29tLy53ZWxsLWtub3duL29wZW5pZC1jb25maWd1cmF0aW9uIn0=");
    EXPECT_EQ(bearer.respond(challenge), "\x01");
    EXPECT_EQ(bearer.failureDetail(), "invalid_token (scope example_scope)");
}

TEST(Sasl, OAuthErrorsAreShownAsPlainWords) {
    const struct {
        std::string json, shown;
    } cases[] = {
        {R"({"status" : "invalid_token"})", "invalid_token"},
        {R"({"error":"invalid_grant","error_description":"expired"})", "invalid_grant"},
        {R"({"status":"bad\"quote"})", "bad\"quote"},
        {"not json\r\n\x1b[31m", "not json[31m"},
        {std::string(500, 'x'), std::string(200, 'x')},
        {R"({"status":"unterminated)", R"({"status":"unterminated)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(describeOAuthError(c.json), c.shown) << c.json;
}

}  // namespace
}  // namespace quorvel
