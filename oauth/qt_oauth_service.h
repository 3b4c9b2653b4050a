#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "platform/oauth.h"

class QEventLoop;
class QNetworkAccessManager;

namespace quorvel {

// OAuthService over Qt Network: HTTPS to the provider with the system's
// certificate store, the browser's answer on a loopback listener, every wait
// in a local event loop so that windows stay drawn. Needs a QCoreApplication.
class QtOAuthService : public OAuthService {
public:
    // Opens `address` in the user's browser; false when none could be
    // started. An empty function: this program never opens a browser.
    using OpenBrowser = std::function<bool(const std::string& address)>;

    struct Options {
        // How long the browser may take to come back to the listener.
        std::chrono::milliseconds browserTimeout = std::chrono::minutes(5);
        // How long one exchange with the provider may take.
        std::chrono::milliseconds httpTimeout = std::chrono::seconds(30);
        // What one second of the device grant's poll interval and expiry
        // lasts here; tests shorten it.
        std::chrono::milliseconds second = std::chrono::seconds(1);
    };

    // The longest request the listener reads from the browser, head and all.
    static constexpr std::size_t kMaxRequest = 8192;
    // The longest answer read from the provider.
    static constexpr std::size_t kMaxAnswer = 64 << 10;
    // The longest token kept; longer ones are refused.
    static constexpr std::size_t kMaxToken = 16 << 10;
    // Bounds on the device grant's poll interval (seconds), after slow_down.
    static constexpr long kMaxPollInterval = 60;
    // The longest a device code may be polled for (seconds).
    static constexpr long kMaxDeviceWait = 30 * 60;

    explicit QtOAuthService(OpenBrowser openBrowser) : QtOAuthService(std::move(openBrowser), Options()) {}
    QtOAuthService(OpenBrowser openBrowser, Options options);
    ~QtOAuthService() override;

    OAuthTokens authorize(const OAuthProvider& provider, const std::string& loginHint) override;
    OAuthTokens refresh(const OAuthProvider& provider, const std::string& refreshToken) override;
    OAuthTokens authorizeDevice(const OAuthProvider& provider,
                                const std::function<void(const std::string& address, const std::string& code)>&
                                    show) override;
    void cancel() override;

private:
    struct Answer;
    // POSTs the form to `url`, which must be https (http only to a loopback
    // address); the provider's answer, bounded. `addressKind` names the
    // address in messages, `what` the step.
    Answer post(const std::string& url, const std::string& addressKind, const std::string& form,
                const std::string& what);
    // The same as a GET without `form`.
    Answer exchange(const std::string& url, const std::string& addressKind, const std::string* form,
                    const std::string& what);
    // The device authorization address that the metadata of the token
    // address's issuer names; empty when it names none.
    std::string discoveredDeviceUrl(const std::string& tokenUrl);
    OAuthTokens deviceGrant(const OAuthProvider& provider,
                            const std::function<void(const std::string& address, const std::string& code)>& show,
                            const std::string& what);
    OAuthTokens tokensFrom(const Answer& answer, const std::string& what);
    [[noreturn]] void refused(const Answer& answer, const std::string& what);

    // Runs `loop` unless the call was canceled; throws when it was.
    void run(QEventLoop& loop);
    // Waits `span`, or until canceled.
    void pause(std::chrono::milliseconds span);
    void throwIfCanceled() const;

    OpenBrowser openBrowser_;
    Options options_;
    std::unique_ptr<QNetworkAccessManager> network_;
    QEventLoop* waiting_ = nullptr;  // the innermost wait of this service
    bool canceled_ = false;
};

}  // namespace quorvel
