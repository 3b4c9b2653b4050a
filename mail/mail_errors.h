#pragma once

#include <stdexcept>
#include <string>
#include <utility>

#include "platform/convert.h"

namespace quorvel {

// The mail suite's failures. Each carries the text shown to the user.

// System socket errors and the suite's own checks.
class ESocketError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What the user needs to decide whether to trust a certificate the usual
// checks refused.
struct CertificateDetails {
    std::string fingerprint;  // SHA-256 of the certificate, "AB:CD:..."
    std::string subject;      // one line each, as OpenSSL prints names
    std::string issuer;
    std::string validFrom;    // "Jan  1 00:00:00 2026 GMT"
    std::string validUntil;
    std::string problem;      // why the usual checks refused it
};

// A certificate the usual checks refused (or that differs from the one the
// user chose to trust), with what the user needs to decide about it.
class EUntrustedCertificate : public ESocketError {
public:
    EUntrustedCertificate(const std::string& text, CertificateDetails details)
        : ESocketError(text), details_(std::move(details)) {}
    const CertificateDetails& details() const { return details_; }

private:
    CertificateDetails details_;
};

// "Operation timed out"
class ETimedOutError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "Operation has been canceled"
class ECanceledError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An error reply of the server; the text is the server's line.
class EServerError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The server refused the log-in because the mailbox is locked: a delivery,
// another mail program or another Quorvel session holds it. The password
// may well be right.
class EMailboxInUse : public EServerError {
public:
    using EServerError::EServerError;
};

// Whether a server's refusal says the mailbox is locked: RFC 2449's [IN-USE]
// code, or "lock" as a word as servers without the code say ("-ERR can't
// lock mailbox file", "maildrop already locked").
bool MailboxInUse(const std::string& reply);

// The socket library is missing (kept for the program's error texts; the
// POSIX socket layer is always there).
class EWinsockDLLError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// DNS failures.
class EResolverError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A failure of the dial-up service; the text is the system's words for the
// code, or "RAS error no " and the code.
class ERASError : public std::runtime_error {
public:
    ERASError(int code, const std::string& text) : std::runtime_error(text), code_(code) {}
    int code() const { return code_; }

private:
    int code_;
};

// The suite's own error numbers and texts.
enum MailErrorCode : int {
    errTimedOut = 57000,
    errCanceled = 57001,
    errServerRequired = 57002,
    errInvalidWinsockVersion = 57003,
    errResolvingHost = 57004,
    errServiceRequired = 57005,
    errNotConnected = 57008,
    errConnectionClosed = 57013,
    errAnswerTooLarge = 57014,
    errDataBeforeTls = 57015,
};

// The text of an error number: the suite's own texts, the C library's for
// system error numbers, "Error #" and the number otherwise.
std::string mailErrorText(int code);

}  // namespace quorvel
