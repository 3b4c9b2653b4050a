#include "ui/single_instance.h"

#include <unistd.h>

#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

namespace quorvel::ui {

SingleInstance::SingleInstance(const QString& name) : name_(name + "-" + QString::number(getuid())) {}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::acquire() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) folder = QDir::tempPath();
    // Both live in the user's runtime folder, so separate sessions (and
    // tests with their own folder) never meet.
    const QString base = folder + "/" + name_;
    lock_ = std::make_unique<QLockFile>(base + ".lock");
    lock_->setStaleLockTime(0);  // a lock whose process is gone is stale at once
    if (!lock_->tryLock(100)) {
        // The running instance may be a moment away from listening.
        for (int attempt = 0; attempt < 20; ++attempt) {
            QLocalSocket socket;
            socket.connectToServer(base + ".socket");
            if (socket.waitForConnected(1000)) {
                socket.write("show\n");
                socket.waitForBytesWritten(1000);
                socket.disconnectFromServer();
                break;
            }
            QThread::msleep(100);
        }
        return false;
    }
    // Listening can wait for the event loop: the lock already keeps a second
    // instance out, and start-up stays quick.
    QTimer::singleShot(0, this, [this, base] {
        QLocalServer::removeServer(base + ".socket");  // left behind by a crash
        server_.setSocketOptions(QLocalServer::UserAccessOption);
        server_.listen(base + ".socket");
    });
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = server_.nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            if (onActivationRequest) onActivationRequest();
        }
    });
    return true;
}

}  // namespace quorvel::ui
