#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace quorvel::testing {

// The tests' OAuth 2.0 provider (oauth_provider.py) on 127.0.0.1: an
// authorization end point that redirects at once, a token end point that
// checks PKCE, refresh and device grants, and token introspection for
// Dovecot. Started by the constructor with the given command-line knobs
// (see the script), stopped by the destructor.
class OAuthProviderServer {
public:
    explicit OAuthProviderServer(const std::vector<std::string>& knobs = {});
    ~OAuthProviderServer();
    OAuthProviderServer(const OAuthProviderServer&) = delete;
    OAuthProviderServer& operator=(const OAuthProviderServer&) = delete;

    int port() const { return port_; }
    // "http://127.0.0.1:<port><path>".
    std::string url(const std::string& path) const;
    static constexpr const char* kClientId = "quorvel-test";

private:
    pid_t pid_ = -1;
    int port_ = 0;
};

}  // namespace quorvel::testing
