#include "mail/tls_session.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "mail/mail_errors.h"

namespace quorvel {

struct TlsSession::Impl {
    SSL_CTX* ctx = nullptr;
    SSL* ssl = nullptr;
    long firstFailure = X509_V_OK;  // what the checks found first
    ~Impl() {
        if (ssl) SSL_free(ssl);
        if (ctx) SSL_CTX_free(ctx);
    }
};

namespace {

bool isAddress(const std::string& host) {
    unsigned char buffer[sizeof(in6_addr)];
    return inet_pton(AF_INET, host.c_str(), buffer) == 1 || inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

// What a user can act on when the peer answered a TLS hello with something
// else, mostly plain POP3 on a port set up for TLS.
std::string notTlsText(int fd) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    unsigned port = 0;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        if (address.ss_family == AF_INET) port = ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
        if (address.ss_family == AF_INET6) port = ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    }
    return port ? "The server did not answer with TLS on port " + std::to_string(port)
                : std::string("The server did not answer with TLS on this port");
}

// The handshake goes on whatever the checks found; the verdict is taken
// once it is done (their first failure is kept), so that a certificate the
// user trusts can pass and one they might trust can be shown to them.
int keepGoing(int passed, X509_STORE_CTX* store) {
    if (!passed) {
        auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
        auto* failure = ssl ? static_cast<long*>(SSL_get_app_data(ssl)) : nullptr;
        if (failure && *failure == X509_V_OK) *failure = X509_STORE_CTX_get_error(store);
    }
    return 1;
}

std::string nameLine(const X509_NAME* name) {
    if (!name) return {};
    BIO* bio = BIO_new(BIO_s_mem());
    if (!bio) return {};
    X509_NAME_print_ex(bio, name, 0, XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    std::string text(data, static_cast<std::size_t>(std::max(length, 0L)));
    BIO_free(bio);
    return text;
}

std::string timeLine(const ASN1_TIME* time) {
    if (!time) return {};
    BIO* bio = BIO_new(BIO_s_mem());
    if (!bio) return {};
    ASN1_TIME_print(bio, time);
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    std::string text(data, static_cast<std::size_t>(std::max(length, 0L)));
    BIO_free(bio);
    return text;
}

std::string fingerprintOf(X509* certificate) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (X509_digest(certificate, EVP_sha256(), digest, &length) != 1) return {};
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        if (i) text += ':';
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 0x0F];
    }
    return text;
}

std::string openSslError(const char* what) {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) return what;
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return std::string(what) + ": " + text;
}

}  // namespace

TlsSession::TlsSession(int fd, const std::string& host, const std::string& caFile,
                       const std::string& pinnedFingerprint)
    : impl_(std::make_unique<Impl>()), host_(host), pinned_(pinnedFingerprint) {
    ERR_clear_error();
    impl_->ctx = SSL_CTX_new(TLS_client_method());
    if (!impl_->ctx) throw ESocketError(openSslError("TLS is not available"));
    SSL_CTX_set_min_proto_version(impl_->ctx, TLS1_2_VERSION);
    SSL_CTX_set_verify(impl_->ctx, SSL_VERIFY_PEER, keepGoing);
    const int loaded = caFile.empty() ? SSL_CTX_set_default_verify_paths(impl_->ctx)
                                      : SSL_CTX_load_verify_locations(impl_->ctx, caFile.c_str(), nullptr);
    if (loaded != 1) throw ESocketError(openSslError(("Cannot load the certificate authorities " + caFile).c_str()));

    impl_->ssl = SSL_new(impl_->ctx);
    if (!impl_->ssl || SSL_set_fd(impl_->ssl, fd) != 1) throw ESocketError(openSslError("TLS is not available"));
    SSL_set_app_data(impl_->ssl, &impl_->firstFailure);
    // The certificate must name the server we asked for. A name that cannot
    // be set would leave only the chain checked: refuse to go on instead.
    bool named = false;
    if (isAddress(host)) {
        named = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(impl_->ssl), host.c_str()) == 1;
    } else {
        SSL_set_hostflags(impl_->ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        named = SSL_set_tlsext_host_name(impl_->ssl, host.c_str()) == 1 && SSL_set1_host(impl_->ssl, host.c_str()) == 1;
    }
    if (!named) throw ESocketError(openSslError(("Cannot check the certificate's name for " + host).c_str()));
    // A write may be repeated from a moved buffer (our send buffer grows).
    SSL_set_mode(impl_->ssl, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
}

TlsSession::~TlsSession() = default;

TlsSession::Status TlsSession::status(int result) {
    const int error = SSL_get_error(impl_->ssl, result);
    switch (error) {
    case SSL_ERROR_WANT_READ: return Status::WantRead;
    case SSL_ERROR_WANT_WRITE: return Status::WantWrite;
    case SSL_ERROR_ZERO_RETURN: return Status::Closed;
    default: break;
    }
    const long verify = SSL_get_verify_result(impl_->ssl);
    if (verify != X509_V_OK) {
        error_ = "The certificate of the server " + host_ + " is not trusted: " + X509_verify_cert_error_string(verify);
    } else if (ERR_GET_LIB(ERR_peek_error()) == ERR_LIB_SSL &&
               ERR_GET_REASON(ERR_peek_error()) == SSL_R_WRONG_VERSION_NUMBER) {
        error_ = notTlsText(SSL_get_fd(impl_->ssl));
    } else if (error == SSL_ERROR_SYSCALL && ERR_peek_error() == 0) {
        // The peer went away without a closing alert.
        if (errno == 0) return Status::Closed;
        error_ = mailErrorText(errno);
    } else {
        error_ = openSslError("TLS error");
    }
    ERR_clear_error();
    return Status::Failed;
}

bool TlsSession::certificateSeen() const {
    return SSL_get0_peer_certificate(impl_->ssl) != nullptr;
}

TlsSession::Status TlsSession::handshake() {
    ERR_clear_error();
    errno = 0;
    const int result = SSL_connect(impl_->ssl);
    if (result != 1) return status(result);
    long verify = SSL_get_verify_result(impl_->ssl);
    if (verify == X509_V_OK) return Status::Done;
    if (impl_->firstFailure != X509_V_OK) verify = impl_->firstFailure;
    X509* certificate = SSL_get0_peer_certificate(impl_->ssl);
    if (!certificate) {
        error_ = "The server " + host_ + " sent no certificate";
        return Status::Failed;
    }
    CertificateDetails details;
    details.fingerprint = fingerprintOf(certificate);
    if (!pinned_.empty() && details.fingerprint == pinned_) return Status::Done;
    details.subject = nameLine(X509_get_subject_name(certificate));
    details.issuer = nameLine(X509_get_issuer_name(certificate));
    details.validFrom = timeLine(X509_get0_notBefore(certificate));
    details.validUntil = timeLine(X509_get0_notAfter(certificate));
    details.problem = X509_verify_cert_error_string(verify);
    error_ = "The certificate of the server " + host_ + " is not trusted: " + details.problem;
    if (!pinned_.empty())
        error_ = "The certificate of the server " + host_ +
                 " has changed since you chose to trust it: it was " + pinned_ + ", it is now " +
                 details.fingerprint;
    untrusted_ = std::move(details);
    return Status::Failed;
}

TlsSession::Status TlsSession::read(char* buffer, std::size_t size, std::size_t& received) {
    ERR_clear_error();
    errno = 0;
    received = 0;
    const int result = SSL_read_ex(impl_->ssl, buffer, size, &received);
    return result == 1 ? Status::Done : status(result);
}

TlsSession::Status TlsSession::write(const char* data, std::size_t size, std::size_t& sent) {
    ERR_clear_error();
    errno = 0;
    sent = 0;
    const int result = SSL_write_ex(impl_->ssl, data, size, &sent);
    return result == 1 ? Status::Done : status(result);
}

void TlsSession::shutdown() {
    ERR_clear_error();
    SSL_shutdown(impl_->ssl);
    ERR_clear_error();
}

}  // namespace quorvel
