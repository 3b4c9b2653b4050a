#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorvel {

// A provider's OAuth 2.0 end points and what the user registered with it for
// a mailbox (RFC 6749, RFC 8252 for desktop programs).
struct OAuthProvider {
    std::string name;  // "Microsoft", "Google" or "Other"
    std::string authorizationUrl;
    std::string tokenUrl;
    // RFC 8628's device authorization end point; empty where the provider
    // offers none for mail.
    std::string deviceAuthorizationUrl;
    std::string scope;
    std::string clientId;
    // Only where the provider asks desktop programs for one; not a secret
    // there (RFC 8252, 8.5), so it is stored as a plain setting.
    std::string clientSecret;
    // Where a desktop program is registered, for the settings' explanation.
    std::string registrationPage;
};

// The providers the Mailboxes page offers, addresses filled in; "Other" has
// them typed in by the user.
inline std::vector<OAuthProvider> oauthPresets() {
    return {
        {"Microsoft", "https://login.microsoftonline.com/common/oauth2/v2.0/authorize",
         "https://login.microsoftonline.com/common/oauth2/v2.0/token",
         "https://login.microsoftonline.com/common/oauth2/v2.0/devicecode",
         "https://outlook.office.com/POP.AccessAsUser.All offline_access", "", "",
         "https://entra.microsoft.com/#view/Microsoft_AAD_RegisteredApps/ApplicationsListBlade"},
        // Google's device grant does not allow the mail scope.
        {"Google", "https://accounts.google.com/o/oauth2/v2/auth", "https://oauth2.googleapis.com/token", "",
         "https://mail.google.com/", "", "", "https://console.cloud.google.com/apis/credentials"},
        {"Other", "", "", "", "", "", "", ""},
    };
}

// How messages name a provider: Microsoft and Google by name, any other by
// the host of its address (the user typed it in; "Other" says nothing).
inline std::string providerName(const OAuthProvider& provider) {
    if (provider.name == "Microsoft" || provider.name == "Google") return provider.name;
    for (const std::string& address : {provider.authorizationUrl, provider.tokenUrl}) {
        const auto scheme = address.find("://");
        if (scheme == std::string::npos) continue;
        const auto start = scheme + 3;
        std::string host = address.substr(start, address.find_first_of("/?#", start) - start);
        if (const auto at = host.rfind('@'); at != std::string::npos) host.erase(0, at + 1);
        if (const auto colon = host.rfind(':'); colon != std::string::npos && host.find(']', colon) == std::string::npos)
            host.erase(colon);
        host = host.substr(0, 100);
        for (char& c : host)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
        if (!host.empty()) return host;
    }
    return "the provider";
}

struct OAuthTokens {
    std::string accessToken;
    std::string refreshToken;    // empty when the provider sent none
    std::int64_t expiresAt = 0;  // seconds since the epoch; 0 when not told
};

// The provider refused or the flow could not finish (a refused refresh, a
// denied consent, a wrong `state`, no answer). The text is for the user;
// `signInAgain` says that only a new sign-in can help (the refresh token is
// no longer good).
class EOAuthError : public std::runtime_error {
public:
    EOAuthError(const std::string& text, bool signInAgain)
        : std::runtime_error(text), signInAgain(signInAgain) {}
    bool signInAgain;
};

// The desktop's side of OAuth 2.0: the browser, the loopback listener and
// the HTTP exchanges with the provider. Every call waits through the event
// pump, so windows stay drawn, and throws EOAuthError.
class OAuthService {
public:
    virtual ~OAuthService() = default;
    // Opens the system browser on the provider's authorization page (PKCE
    // S256, a checked `state`) and waits for the answer on 127.0.0.1 at a
    // random port; exchanges the code for tokens. Attended only.
    virtual OAuthTokens authorize(const OAuthProvider& provider, const std::string& loginHint) = 0;
    // A fresh access token for the refresh token (the provider may send a
    // new refresh token along).
    virtual OAuthTokens refresh(const OAuthProvider& provider, const std::string& refreshToken) = 0;
    // RFC 8628 for machines without a desktop: `show` gets the address to
    // open elsewhere and the code to type there; polls until the user agreed.
    virtual OAuthTokens authorizeDevice(const OAuthProvider& provider,
                                        const std::function<void(const std::string& address,
                                                                 const std::string& code)>& show) = 0;
    // Ends the call in progress (the user's Cancel, run inside its wait),
    // which throws EOAuthError "The sign-in was canceled".
    virtual void cancel() {}
};

}  // namespace quorvel
