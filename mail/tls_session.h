#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "mail/mail_errors.h"

namespace quorvel {

// A TLS client session over a non-blocking socket. Every call returns at once;
// WantRead/WantWrite say what the socket must become ready for before the
// same call is repeated.
class TlsSession {
public:
    enum class Status { Done, WantRead, WantWrite, Closed, Failed };

    // Verifies the server's certificate against `caFile` (empty: the system's
    // store) and its name against `host` (a name or an address). A
    // certificate those checks refuse is still taken when its SHA-256
    // fingerprint is `pinnedFingerprint` (one the user chose to trust).
    TlsSession(int fd, const std::string& host, const std::string& caFile,
               const std::string& pinnedFingerprint = {});
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    Status handshake();
    Status read(char* buffer, std::size_t size, std::size_t& received);
    Status write(const char* data, std::size_t size, std::size_t& sent);
    // Sends the closing alert if the socket takes it at once.
    void shutdown();

    // Why the last call failed, for the user.
    const std::string& errorText() const { return error_; }
    // Set when the handshake failed on a certificate the checks refused.
    const std::optional<CertificateDetails>& untrustedCertificate() const { return untrusted_; }
    // Whether the peer sent a certificate: it speaks TLS.
    bool certificateSeen() const;

private:
    Status status(int result);

    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::string host_;
    std::string pinned_;
    std::string error_;
    std::optional<CertificateDetails> untrusted_;
};

}  // namespace quorvel
