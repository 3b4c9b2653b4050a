#include "ui/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <cstring>

#include "platform/files.h"

namespace quorvel::ui {

namespace {

bool socketAddress(const std::string& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

}  // namespace

SingleInstance::SingleInstance(const QString& name) {
    // Both live in a folder only this user can reach, so separate sessions
    // (and tests with their own folder) never meet, and no other user can
    // take the names first.
    const std::string folder = privateRuntimeFolder();
    if (!folder.empty()) base_ = folder + "/" + name.toStdString() + "-" + std::to_string(getuid());
}

SingleInstance::~SingleInstance() {
    notifier_.reset();
    if (listenFd_ >= 0) {
        close(listenFd_);
        unlink((base_ + ".socket").c_str());
    }
    if (lockFd_ >= 0) close(lockFd_);
}

bool SingleInstance::acquire() {
    // Without a private folder there is nowhere safe to meet: run unguarded.
    if (base_.empty()) return true;
    lockFd_ = open((base_ + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lockFd_ >= 0 && flock(lockFd_, LOCK_EX | LOCK_NB) == 0) {
        // Listening can wait for the event loop: the lock already keeps a
        // second instance out, and start-up stays quick.
        QTimer::singleShot(0, this, [this] { listen(); });
        return true;
    }
    // Another instance runs; it may be a moment away from listening.
    sockaddr_un address{};
    if (!socketAddress(base_ + ".socket", address)) return false;
    for (int attempt = 0; attempt < 20; ++attempt) {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return false;
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            [[maybe_unused]] auto sent = send(fd, "show\n", 5, MSG_NOSIGNAL);
            close(fd);
            break;
        }
        close(fd);
        QThread::msleep(100);
    }
    return false;
}

void SingleInstance::listen() {
    sockaddr_un address{};
    if (!socketAddress(base_ + ".socket", address)) return;
    unlink(address.sun_path);  // left behind by a crash
    listenFd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listenFd_ < 0) return;
    if (bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listenFd_, 4) != 0) {
        close(listenFd_);
        listenFd_ = -1;
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(listenFd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { acceptRequests(); });
}

void SingleInstance::acceptRequests() {
    for (;;) {
        const int peer = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (peer < 0) return;
        close(peer);
        if (onActivationRequest) onActivationRequest();
    }
}

}  // namespace quorvel::ui
