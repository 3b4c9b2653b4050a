#pragma once

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>
#include <memory>
#include <string>
#include <vector>

#include "oauth/qt_oauth_service.h"
#include "platform/oauth.h"
#include "support/oauth_provider_server.h"

namespace quorvel::testing {

// The tests' browser: it asks the provider's authorization page, and follows
// its redirect back to the program's listener, all without blocking, inside
// the event loop the sign-in waits in. What it saw is kept for the checks.
class TestBrowser {
public:
    // 0: the redirect is followed by Qt's HTTP client. Otherwise it is sent
    // by hand as a request of exactly so many bytes, padded with a header.
    std::size_t requestSize = 0;
    // Does nothing at all (a browser that never comes back).
    bool idle = false;
    // Comes back to the listener before opening the browser returns, with
    // the event loop run meanwhile (a desktop that spins it while starting
    // the browser).
    bool early = false;
    // Opens connections to the listener that send nothing (a browser's
    // guesses ahead) before following the redirect.
    int idleConnections = 0;

    // Sent to the listener, and answered, before the browser comes back
    // (another local user's forged answer): the request line's target.
    std::string forgedTarget;
    std::string forgedPage;  // what the listener answered it

    std::string opened;     // the authorization address the program opened
    std::string redirect;   // where the provider sent the browser back
    std::string page;       // what the listener answered, status line and all when sent by hand
    int pageStatus = 0;

    QtOAuthService::OpenBrowser opener() {
        return [this](const std::string& address) {
            opened = address;
            if (early) {
                comeBackNow(address);
            } else if (!idle) {
                start(address);
            }
            return true;
        };
    }
    std::string parameter(const std::string& name) const {
        return QUrlQuery(QUrl(QString::fromStdString(opened)))
            .queryItemValue(QString::fromStdString(name), QUrl::FullyDecoded)
            .toStdString();
    }
    int listenerPort() const { return QUrl(QString::fromStdString(redirect)).port(); }

private:
    void start(const std::string& address) {
        const QUrl back(QUrlQuery(QUrl(QString::fromStdString(address))).queryItemValue("redirect_uri", QUrl::FullyDecoded));
        for (int i = 0; i < idleConnections; ++i) {
            idle_.push_back(std::make_unique<QTcpSocket>());
            idle_.back()->connectToHost("127.0.0.1", static_cast<quint16>(back.port()));
        }
        QNetworkRequest request(QUrl(QString::fromStdString(address)));
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        QNetworkReply* reply = network_.get(request);
        QObject::connect(reply, &QNetworkReply::finished, [this, reply] {
            redirect = reply->header(QNetworkRequest::LocationHeader).toUrl().toString(QUrl::FullyEncoded).toStdString();
            reply->deleteLater();
            if (forgedTarget.empty()) comeBack();
            else forgeFirst();
        });
    }
    void comeBack() {
        if (requestSize == 0) follow();
        else sendByHand();
    }
    void forgeFirst() {
        forged_ = std::make_unique<QTcpSocket>();
        QTcpSocket* socket = forged_.get();
        const QByteArray request = "GET " + QByteArray::fromStdString(forgedTarget) + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        QObject::connect(socket, &QTcpSocket::connected, [socket, request] { socket->write(request); });
        QObject::connect(socket, &QTcpSocket::readyRead, [this, socket] { forgedPage += socket->readAll().toStdString(); });
        // The listener closes it once answered: only then does the browser come back.
        QObject::connect(socket, &QTcpSocket::disconnected, [this] { comeBack(); });
        socket->connectToHost("127.0.0.1", static_cast<quint16>(QUrl(QString::fromStdString(redirect)).port()));
    }
    void follow() {
        QNetworkReply* reply = network_.get(QNetworkRequest(QUrl(QString::fromStdString(redirect))));
        QObject::connect(reply, &QNetworkReply::finished, [this, reply] {
            pageStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            page = reply->readAll().toStdString();
            reply->deleteLater();
        });
    }
    void sendByHand() {
        const QUrl url(QString::fromStdString(redirect));
        std::string request = "GET " + url.toString(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::FullyEncoded).toStdString() +
                              " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(url.port()) + "\r\n";
        const std::string padName = "X-Pad: ";
        const std::size_t fixed = request.size() + padName.size() + 2 + 2;
        request += padName + std::string(requestSize > fixed ? requestSize - fixed : 0, 'p') + "\r\n\r\n";
        socket_ = std::make_unique<QTcpSocket>();
        socket_->connectToHost("127.0.0.1", static_cast<quint16>(url.port()));
        QTcpSocket* socket = socket_.get();
        QObject::connect(socket, &QTcpSocket::connected, [socket, request] {
            socket->write(QByteArray::fromStdString(request));
        });
        QObject::connect(socket, &QTcpSocket::readyRead, [this, socket] { page += socket->readAll().toStdString(); });
    }

    // One HTTP/1.0 request on a blocking socket; the whole answer.
    static std::string fetch(const QUrl& url) {
        QTcpSocket socket;
        socket.connectToHost("127.0.0.1", static_cast<quint16>(url.port()));
        if (!socket.waitForConnected(2000)) return {};
        socket.write("GET " + url.toString(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::FullyEncoded).toUtf8() + " HTTP/1.0\r\n\r\n");
        socket.waitForBytesWritten(2000);
        std::string answer;
        while (socket.waitForReadyRead(2000)) answer += socket.readAll().toStdString();
        return answer + socket.readAll().toStdString();
    }
    void comeBackNow(const std::string& address) {
        const std::string answer = fetch(QUrl(QString::fromStdString(address)));
        const std::size_t at = answer.find("Location: ");
        if (at == std::string::npos) return;
        redirect = answer.substr(at + 10, answer.find("\r\n", at) - at - 10);
        const QUrl url(QString::fromStdString(redirect));
        socket_ = std::make_unique<QTcpSocket>();
        socket_->connectToHost("127.0.0.1", static_cast<quint16>(url.port()));
        socket_->waitForConnected(2000);
        socket_->write("GET " + url.toString(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::FullyEncoded).toUtf8() +
                       " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        socket_->waitForBytesWritten(2000);
        QTcpSocket* socket = socket_.get();
        QObject::connect(socket, &QTcpSocket::readyRead, [this, socket] { page += socket->readAll().toStdString(); });
        QEventLoop loop;
        QTimer::singleShot(50, &loop, &QEventLoop::quit);
        loop.exec();
    }

    QNetworkAccessManager network_;
    std::unique_ptr<QTcpSocket> socket_, forged_;
    std::vector<std::unique_ptr<QTcpSocket>> idle_;
};

// Runs the event loop until `done` holds or two seconds passed.
template <typename Done>
bool waitUntil(Done done) {
    QEventLoop loop;
    for (int i = 0; i < 200 && !done(); ++i) {
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done();
}

// The test provider's account of what it was asked.
inline QJsonObject providerReport(const OAuthProviderServer& server) {
    QNetworkAccessManager network;
    QNetworkReply* reply = network.get(QNetworkRequest(QUrl(QString::fromStdString(server.url("/test/report")))));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished()) loop.exec();
    const QJsonObject report = QJsonDocument::fromJson(reply->readAll()).object();
    delete reply;
    return report;
}

// The test provider's end points, as the Mailboxes page would fill them.
inline OAuthProvider testProvider(const OAuthProviderServer& server) {
    OAuthProvider provider;
    provider.name = "Other";
    provider.authorizationUrl = server.url("/authorize");
    provider.tokenUrl = server.url("/token");
    provider.deviceAuthorizationUrl = server.url("/devicecode");
    provider.scope = "pop offline_access";
    provider.clientId = OAuthProviderServer::kClientId;
    return provider;
}

}  // namespace quorvel::testing
