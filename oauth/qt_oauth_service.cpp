#include "oauth/qt_oauth_service.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <ctime>
#include <functional>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "oauth/pkce.h"

namespace quorvel {

struct QtOAuthService::Answer {
    int status = 0;  // the HTTP status; 0 when no answer came
    QByteArray body;
};

namespace {

// Outside text in a message: control characters become spaces, and it is cut
// to `limit` bytes without splitting a character.
std::string plain(std::string_view text, std::size_t limit = 300) {
    std::string out;
    std::size_t end = text.size();
    if (end > limit) {
        end = limit;
        while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    }
    for (std::size_t i = 0; i < end; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        out += c < 0x20 || c == 0x7F ? ' ' : static_cast<char>(c);
    }
    if (end < text.size()) out += "...";
    return out;
}

std::string plain(const QString& text, std::size_t limit = 300) {
    return plain(text.toStdString(), limit);
}

std::string encoded(const std::string& value) {
    return QUrl::toPercentEncoding(QByteArray::fromStdString(value)).toStdString();
}

// application/x-www-form-urlencoded; empty values are left out.
std::string form(const std::vector<std::pair<std::string, std::string>>& fields) {
    std::string text;
    for (const auto& [name, value] : fields) {
        if (value.empty()) continue;
        if (!text.empty()) text += '&';
        text += name + '=' + encoded(value);
    }
    return text;
}

std::string decoded(const QByteArray& text) {
    QByteArray spaced = text;
    spaced.replace('+', ' ');
    return QByteArray::fromPercentEncoding(spaced).toStdString();
}

// The provider's addresses: https, plain http only to a loopback address.
QUrl checkedUrl(const std::string& text, const std::string& what) {
    if (text.empty()) throw EOAuthError("The provider's " + what + " address is not set", false);
    const QUrl url(QString::fromStdString(text), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        throw EOAuthError("The provider's " + what + " address is not a valid address: " + plain(text), false);
    const QString scheme = url.scheme().toLower();
    if (scheme == "https") return url;
    if (scheme == "http" && QHostAddress(url.host()).isLoopback()) return url;
    throw EOAuthError("The provider's " + what + " address must begin with https://: " + plain(text), false);
}

// A value a provider sends that is later sent on: printable ASCII, no spaces.
bool isTokenText(const QString& text, std::size_t limit) {
    if (text.isEmpty() || static_cast<std::size_t>(text.size()) > limit) return false;
    for (const QChar c : text)
        if (c.unicode() < 0x21 || c.unicode() > 0x7E) return false;
    return true;
}

// A count of seconds, as a number or a numeric string; `fallback` otherwise.
long long seconds(const QJsonValue& value, long long fallback) {
    if (value.isDouble()) {
        const double v = value.toDouble();
        return v >= 0 && v < 1e12 ? static_cast<long long>(v) : fallback;
    }
    if (value.isString()) {
        bool ok = false;
        const long long v = value.toString().toLongLong(&ok);
        return ok && v >= 0 ? v : fallback;
    }
    return fallback;
}

std::optional<QJsonObject> jsonObject(const QByteArray& body) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
    return document.object();
}

// A time limit in words: whole minutes, else seconds rounded up.
std::string minutesText(std::chrono::milliseconds span) {
    if (span.count() % 60000 == 0) {
        const auto minutes = span.count() / 60000;
        return std::to_string(minutes) + (minutes == 1 ? " minute" : " minutes");
    }
    const auto secs = (span.count() + 999) / 1000;
    return std::to_string(secs) + (secs == 1 ? " second" : " seconds");
}

// The browser's way back: a listener on 127.0.0.1 at a port the system picks.
// Any local program may connect to it, so a request that does not belong to
// this sign-in (its state is not ours, it is too long) is answered 400 and the
// listening goes on; the first one that belongs ends it, and the other
// connections are dropped. That request is answered once the caller knows the
// outcome.
class LoopbackListener {
public:
    // Connections open at once; more are dropped unread.
    static constexpr int kMaxConnections = 16;

    bool listen() {
        server_.setMaxPendingConnections(kMaxConnections);
        return server_.listen(QHostAddress::LocalHost, 0);
    }
    int port() const { return server_.serverPort(); }
    QString errorText() const { return server_.errorString(); }

    enum class Outcome { Request, TimedOut };

    // Waits for the first request that `belongs`; its head (without the blank
    // line) in `head`. `run` runs the loop (and throws when the wait is canceled).
    Outcome wait(std::chrono::milliseconds timeout, QByteArray& head, const std::function<void(QEventLoop&)>& run,
                 const std::function<bool(const QByteArray& head)>& belongs) {
        QEventLoop loop;
        std::map<QTcpSocket*, QByteArray> buffers;
        std::optional<Outcome> outcome;
        const auto refuse = [&](QTcpSocket* socket, const std::string& text) {
            buffers.erase(socket);
            --open_;
            QObject::disconnect(socket, nullptr, &loop, nullptr);
            reply(socket, 400, text);
            socket->disconnectFromHost();
        };
        auto onRead = [&](QTcpSocket* socket) {
            if (outcome || !buffers.count(socket)) return;
            QByteArray& buffer = buffers[socket];
            buffer += socket->read(static_cast<qint64>(QtOAuthService::kMaxRequest + 1) - buffer.size());
            const qsizetype end = buffer.indexOf("\r\n\r\n");
            if (end >= 0 && static_cast<std::size_t>(end) + 4 <= QtOAuthService::kMaxRequest) {
                if (!belongs(buffer.left(end))) {
                    refuse(socket, "Quorvel: this answer does not belong to a sign-in in progress.");
                    return;
                }
                head = buffer.left(end);
                outcome = Outcome::Request;
            } else if (static_cast<std::size_t>(buffer.size()) > QtOAuthService::kMaxRequest) {
                refuse(socket, "Quorvel: this request is too long.");
                return;
            } else {
                return;
            }
            chosen_ = socket;
            loop.quit();
        };
        const auto acceptAll = [&] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                if (outcome || open_ >= kMaxConnections) {
                    socket->abort();
                    continue;
                }
                ++open_;
                buffers[socket];
                QObject::connect(socket, &QTcpSocket::readyRead, &loop, [&, socket] { onRead(socket); });
                QObject::connect(socket, &QTcpSocket::disconnected, &loop, [&, socket] {
                    if (socket != chosen_ && buffers.erase(socket)) --open_;
                });
                onRead(socket);
            }
        };
        QObject::connect(&server_, &QTcpServer::newConnection, &loop, acceptAll);
        // The browser may have come back before the wait began.
        acceptAll();
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
            outcome = Outcome::TimedOut;
            loop.quit();
        });
        timer.start(timeout);
        // One request only: nothing more is taken, whatever ends the wait.
        const auto stop = [&] {
            server_.close();
            // Aborting a socket tells its handlers at once: they go first.
            std::vector<QTcpSocket*> others;
            for (auto& [socket, buffer] : buffers)
                if (socket != chosen_) others.push_back(socket);
            for (QTcpSocket* socket : others) {
                QObject::disconnect(socket, nullptr, &loop, nullptr);
                socket->abort();
            }
        };
        try {
            if (!outcome) run(loop);
        } catch (...) {
            stop();
            throw;
        }
        stop();
        return *outcome;
    }

    // A short plain-text page back to the browser, then the connection closes.
    void answer(int status, const std::string& text) {
        if (!chosen_ || chosen_->state() != QAbstractSocket::ConnectedState) return;
        reply(chosen_, status, text);
        QEventLoop loop;
        QObject::connect(chosen_, &QTcpSocket::bytesWritten, &loop, [&] {
            if (chosen_->bytesToWrite() == 0) loop.quit();
        });
        QObject::connect(chosen_, &QTcpSocket::disconnected, &loop, &QEventLoop::quit);
        QTimer::singleShot(2000, &loop, &QEventLoop::quit);
        if (chosen_->bytesToWrite() > 0) loop.exec();
        chosen_->disconnectFromHost();
    }

private:
    static void reply(QTcpSocket* socket, int status, const std::string& text) {
        const QByteArray body = QByteArray::fromStdString(text + "\n");
        socket->write("HTTP/1.1 " + QByteArray::number(status) + (status == 200 ? " OK" : " Bad Request") +
                      "\r\nContent-Type: text/plain; charset=utf-8\r\n"
                      "X-Content-Type-Options: nosniff\r\nCache-Control: no-store\r\n"
                      "Content-Length: " +
                      QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
    }

    QTcpServer server_;
    QTcpSocket* chosen_ = nullptr;  // owned by server_
    int open_ = 0;
};

struct Redirect {
    std::map<std::string, std::string> query;
    std::string method;
};

Redirect parseRequest(const QByteArray& head) {
    Redirect redirect;
    const QByteArray line = head.left(head.indexOf("\r\n") >= 0 ? head.indexOf("\r\n") : head.size());
    const QList<QByteArray> words = line.split(' ');
    if (words.size() != 3) return redirect;
    redirect.method = words[0].toStdString();
    QByteArray target = words[1];
    if (const qsizetype hash = target.indexOf('#'); hash >= 0) target.truncate(hash);
    const qsizetype question = target.indexOf('?');
    if (question < 0) return redirect;
    for (const QByteArray& pair : target.mid(question + 1).split('&')) {
        const qsizetype equals = pair.indexOf('=');
        const std::string name = decoded(equals >= 0 ? pair.left(equals) : pair);
        // A name given twice counts as not given: the answer is not trusted.
        if (redirect.query.count(name)) redirect.query[name] = {};
        else redirect.query[name] = equals >= 0 ? decoded(pair.mid(equals + 1)) : std::string();
    }
    return redirect;
}

std::string valueOf(const Redirect& redirect, const std::string& name) {
    const auto found = redirect.query.find(name);
    return found == redirect.query.end() ? std::string() : found->second;
}

}  // namespace

QtOAuthService::QtOAuthService(OpenBrowser openBrowser, Options options)
    : openBrowser_(std::move(openBrowser)), options_(options), network_(std::make_unique<QNetworkAccessManager>()) {}

QtOAuthService::~QtOAuthService() = default;

void QtOAuthService::cancel() {
    canceled_ = true;
    if (waiting_) waiting_->quit();
}

void QtOAuthService::throwIfCanceled() const {
    if (canceled_) throw EOAuthError("The sign-in was canceled", false);
}

void QtOAuthService::run(QEventLoop& loop) {
    throwIfCanceled();
    QEventLoop* outer = waiting_;
    waiting_ = &loop;
    loop.exec();
    waiting_ = outer;
    throwIfCanceled();
}

void QtOAuthService::pause(std::chrono::milliseconds span) {
    QEventLoop loop;
    QTimer::singleShot(span, &loop, &QEventLoop::quit);
    run(loop);
}

QtOAuthService::Answer QtOAuthService::post(const std::string& url, const std::string& addressKind,
                                            const std::string& formText, const std::string& what) {
    return exchange(url, addressKind, &formText, what);
}

QtOAuthService::Answer QtOAuthService::exchange(const std::string& url, const std::string& addressKind,
                                                const std::string* formText, const std::string& what) {
    QNetworkRequest request(checkedUrl(url, addressKind));
    if (formText) request.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
    request.setRawHeader("Accept", "application/json");
    // A redirect is not followed: the code, the verifier and the client
    // secret go to the address the user set and nowhere else.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(static_cast<int>(options_.httpTimeout.count()));
    std::unique_ptr<QNetworkReply> reply(formText ? network_->post(request, QByteArray::fromStdString(*formText))
                                                  : network_->get(request));
    Answer answer;
    bool tooLong = false;
    bool late = false;
    QEventLoop loop;
    auto readSome = [&] {
        answer.body += reply->read(static_cast<qint64>(kMaxAnswer + 1) - answer.body.size());
        if (static_cast<std::size_t>(answer.body.size()) > kMaxAnswer && !tooLong) {
            tooLong = true;
            reply->abort();
        }
    };
    QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, readSome);
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        late = true;
        reply->abort();
    });
    timer.start(options_.httpTimeout);
    if (!reply->isFinished()) run(loop);
    if (!tooLong) readSome();
    const std::string host = plain(QUrl(QString::fromStdString(url)).host());
    if (tooLong)
        throw EOAuthError("The provider's answer to " + what + " is longer than " +
                              std::to_string(kMaxAnswer / 1024) + " KiB",
                          false);
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (late || reply->error() == QNetworkReply::OperationCanceledError ||
        reply->error() == QNetworkReply::TimeoutError)
        throw EOAuthError("The provider (" + host + ") did not answer " + what + " within " +
                              minutesText(options_.httpTimeout),
                          false);
    if (answer.status == 0)
        throw EOAuthError("Could not reach the provider (" + host + ") for " + what + ": " +
                              plain(reply->errorString()),
                          false);
    return answer;
}

void QtOAuthService::refused(const Answer& answer, const std::string& what) {
    const auto object = jsonObject(answer.body);
    const std::string error = object ? plain((*object)["error"].toString(), 100) : std::string();
    const std::string description = object ? plain((*object)["error_description"].toString()) : std::string();
    if (error.empty())
        throw EOAuthError("The provider refused " + what + " (HTTP status " + std::to_string(answer.status) + ")",
                          false);
    const std::string said = " The provider said: " + error + (description.empty() ? "" : " (" + description + ")");
    // The grant (a code or a refresh token) is no longer good: only a new
    // sign-in can get another.
    if (error == "invalid_grant")
        throw EOAuthError("The provider no longer accepts this sign-in; sign in again." + said, true);
    throw EOAuthError("The provider refused " + what + "." + said, false);
}

OAuthTokens QtOAuthService::tokensFrom(const Answer& answer, const std::string& what) {
    if (answer.status != 200) refused(answer, what);
    const auto object = jsonObject(answer.body);
    if (!object) throw EOAuthError("The provider's answer to " + what + " is not a JSON object", false);
    if (object->contains("error")) refused(answer, what);
    // RFC 6749 requires the type; only a bearer token goes to the mail server.
    const QString type = (*object)["token_type"].toString();
    if (type.compare("Bearer", Qt::CaseInsensitive) != 0)
        throw EOAuthError(type.isEmpty() ? "The provider's answer to " + what + " does not say its token's type"
                                         : "The provider sent a token of type \"" + plain(type.toStdString(), 40) +
                                               "\", not a bearer token",
                          false);
    const QString access = (*object)["access_token"].toString();
    if (!isTokenText(access, kMaxToken))
        throw EOAuthError("The provider's answer to " + what + " carries no usable access token", false);
    OAuthTokens tokens;
    tokens.accessToken = access.toStdString();
    if (object->contains("refresh_token")) {
        const QString refresh = (*object)["refresh_token"].toString();
        if (!isTokenText(refresh, kMaxToken))
            throw EOAuthError("The provider's answer to " + what + " carries an unusable refresh token", false);
        tokens.refreshToken = refresh.toStdString();
    }
    // Ten years at most: a longer life is not believed.
    const long long lifetime = std::min<long long>(seconds((*object)["expires_in"], 0), 10LL * 366 * 24 * 3600);
    if (lifetime > 0) tokens.expiresAt = static_cast<std::int64_t>(std::time(nullptr)) + lifetime;
    return tokens;
}

OAuthTokens QtOAuthService::authorize(const OAuthProvider& provider, const std::string& loginHint) {
    canceled_ = false;
    if (!openBrowser_)
        throw EOAuthError("This program does not open a browser: sign in from the Quorvel window", false);
    checkedUrl(provider.authorizationUrl, "authorization");
    checkedUrl(provider.tokenUrl, "token");
    if (provider.clientId.empty()) throw EOAuthError("The mailbox's OAuth client ID is not set", false);

    LoopbackListener listener;
    if (!listener.listen())
        throw EOAuthError("Could not listen on 127.0.0.1 for the browser's answer: " + plain(listener.errorText()),
                          false);
    const std::string redirectUri = "http://127.0.0.1:" + std::to_string(listener.port()) + "/";
    const std::string verifier = pkceVerifier();
    const std::string state = oauthState();
    std::string query = form({{"response_type", "code"},
                              {"client_id", provider.clientId},
                              {"redirect_uri", redirectUri},
                              {"scope", provider.scope},
                              {"state", state},
                              {"code_challenge", pkceChallenge(verifier)},
                              {"code_challenge_method", "S256"},
                              {"login_hint", loginHint}});
    const std::string address =
        provider.authorizationUrl + (provider.authorizationUrl.find('?') == std::string::npos ? "?" : "&") + query;
    if (!openBrowser_(address)) throw EOAuthError("The browser could not be opened for the sign-in", false);

    QByteArray head;
    // Only a GET carrying our state belongs: an answer that does not belong
    // to this sign-in says nothing, not even an error.
    const auto belongs = [&state](const QByteArray& request) {
        const Redirect redirect = parseRequest(request);
        return redirect.method == "GET" && valueOf(redirect, "state") == state;
    };
    if (listener.wait(options_.browserTimeout, head, [this](QEventLoop& loop) { run(loop); }, belongs) ==
        LoopbackListener::Outcome::TimedOut)
        throw EOAuthError("The sign-in was not completed in the browser within " +
                              minutesText(options_.browserTimeout),
                          false);
    const Redirect redirect = parseRequest(head);
    try {
        if (const std::string error = valueOf(redirect, "error"); !error.empty()) {
            const std::string description = valueOf(redirect, "error_description");
            throw EOAuthError("The provider did not grant access. The provider said: " + plain(error, 100) +
                                  (description.empty() ? "" : " (" + plain(description) + ")"),
                              true);
        }
        const std::string code = valueOf(redirect, "code");
        if (code.empty() || code.size() > kMaxToken)
            throw EOAuthError("The browser's answer to the sign-in carries no authorization code", false);
        const Answer answer = post(provider.tokenUrl, "token",
                                   form({{"grant_type", "authorization_code"},
                                         {"code", code},
                                         {"redirect_uri", redirectUri},
                                         {"client_id", provider.clientId},
                                         {"client_secret", provider.clientSecret},
                                         {"code_verifier", verifier}}),
                                   "the sign-in");
        OAuthTokens tokens = tokensFrom(answer, "the sign-in");
        listener.answer(200, "Quorvel: you are signed in. You may close this page.");
        return tokens;
    } catch (const EOAuthError& error) {
        listener.answer(400, "Quorvel: the sign-in did not succeed: " + std::string(error.what()) +
                                 "\nYou may close this page.");
        throw;
    }
}

OAuthTokens QtOAuthService::refresh(const OAuthProvider& provider, const std::string& refreshToken) {
    canceled_ = false;
    if (refreshToken.empty()) throw EOAuthError("There is no sign-in to renew; sign in again", true);
    if (provider.clientId.empty()) throw EOAuthError("The mailbox's OAuth client ID is not set", false);
    const Answer answer = post(provider.tokenUrl, "token",
                               form({{"grant_type", "refresh_token"},
                                     {"refresh_token", refreshToken},
                                     {"client_id", provider.clientId},
                                     {"client_secret", provider.clientSecret}}),
                               "the renewal of the sign-in");
    return tokensFrom(answer, "the renewal of the sign-in");
}

std::string QtOAuthService::discoveredDeviceUrl(const std::string& tokenUrl) {
    const QUrl token = checkedUrl(tokenUrl, "token");
    // RFC 8414: the metadata of the issuer at the token address's origin,
    // which must name that issuer itself.
    QUrl origin;
    origin.setScheme(token.scheme());
    origin.setHost(token.host());
    origin.setPort(token.port());
    const std::string issuer = origin.toString(QUrl::FullyEncoded).toStdString();
    for (const char* path : {"/.well-known/oauth-authorization-server", "/.well-known/openid-configuration"}) {
        const Answer answer = exchange(issuer + path, "metadata", nullptr, "the request for its metadata");
        if (answer.status != 200) continue;
        const auto object = jsonObject(answer.body);
        if (!object) continue;
        QString named = (*object)["issuer"].toString();
        while (named.endsWith('/')) named.chop(1);
        if (named.toStdString() != issuer) continue;
        const QString device = (*object)["device_authorization_endpoint"].toString();
        if (device.isEmpty() || !isTokenText(device, 2048)) return {};
        return device.toStdString();
    }
    return {};
}

OAuthTokens QtOAuthService::authorizeDevice(
    const OAuthProvider& provider,
    const std::function<void(const std::string& address, const std::string& code)>& show) {
    canceled_ = false;
    const std::string what = "the sign-in without a browser";
    OAuthProvider found = provider;
    // A provider typed in names no device address: its metadata may.
    if (found.deviceAuthorizationUrl.empty() && found.name == "Other")
        found.deviceAuthorizationUrl = discoveredDeviceUrl(found.tokenUrl);
    if (found.deviceAuthorizationUrl.empty())
        throw EOAuthError(found.name == "Other"
                              ? providerName(found) +
                                    " names no device authorization address in its metadata (RFC 8414), so it "
                                    "offers no sign-in without a browser"
                              : plain(found.name.empty() ? "The provider" : found.name, 60) +
                                    " offers no sign-in without a browser here",
                          false);
    return deviceGrant(found, show, what);
}

OAuthTokens QtOAuthService::deviceGrant(
    const OAuthProvider& provider,
    const std::function<void(const std::string& address, const std::string& code)>& show, const std::string& what) {
    checkedUrl(provider.tokenUrl, "token");
    if (provider.clientId.empty()) throw EOAuthError("The mailbox's OAuth client ID is not set", false);
    const Answer start = post(provider.deviceAuthorizationUrl, "device authorization",
                              form({{"client_id", provider.clientId},
                                    {"client_secret", provider.clientSecret},
                                    {"scope", provider.scope}}),
                              what);
    if (start.status != 200) refused(start, what);
    const auto object = jsonObject(start.body);
    if (!object) throw EOAuthError("The provider's answer to " + what + " is not a JSON object", false);
    const QString deviceCode = (*object)["device_code"].toString();
    const QString userCode = (*object)["user_code"].toString();
    QString address = (*object)["verification_uri"].toString();
    if (address.isEmpty()) address = (*object)["verification_url"].toString();  // an older draft's name
    if (!isTokenText(deviceCode, kMaxToken) || !isTokenText(userCode, 64) || !isTokenText(address, 2048))
        throw EOAuthError("The provider's answer to " + what + " lacks its code or its address", false);
    checkedUrl(address.toStdString(), "verification");
    long long interval = std::clamp<long long>(seconds((*object)["interval"], 5), 1, kMaxPollInterval);
    const long long lifetime = std::clamp<long long>(seconds((*object)["expires_in"], 900), 1, kMaxDeviceWait);
    show(address.toStdString(), userCode.toStdString());

    const auto deadline = std::chrono::steady_clock::now() + lifetime * options_.second;
    for (;;) {
        pause(interval * options_.second);
        if (std::chrono::steady_clock::now() >= deadline) break;
        const Answer answer = post(provider.tokenUrl, "token",
                                   form({{"grant_type", "urn:ietf:params:oauth:grant-type:device_code"},
                                         {"device_code", deviceCode.toStdString()},
                                         {"client_id", provider.clientId},
                                         {"client_secret", provider.clientSecret}}),
                                   what);
        if (answer.status == 200) return tokensFrom(answer, what);
        const auto error = jsonObject(answer.body);
        const QString code = error ? (*error)["error"].toString() : QString();
        if (code == "authorization_pending") continue;
        if (code == "slow_down") {
            interval = std::min<long long>(interval + 5, kMaxPollInterval);
            continue;
        }
        if (code == "access_denied") throw EOAuthError("The sign-in was declined at the provider", true);
        if (code == "expired_token") break;
        refused(answer, what);
    }
    throw EOAuthError("The code expired before the sign-in was completed; sign in again", true);
}

}  // namespace quorvel
