#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace quorvel::ui {

// Lets one instance of the program run per user. The first holds an exclusive
// lock on a file and listens on a local socket beside it; a later one finds
// the lock taken, asks the first to come forward, and ends. The system drops
// the lock when a process ends, so a crash never leaves a stale one.
class SingleInstance : public QObject {
public:
    // `name` tells instances apart (tests use their own).
    explicit SingleInstance(const QString& name);
    ~SingleInstance() override;

    // True when this is the only instance; false after asking the running
    // one to come forward.
    bool acquire();
    // Called in the first instance when a later one asked it to come forward.
    std::function<void()> onActivationRequest;

private:
    void listen();
    void acceptRequests();

    std::string base_;  // the lock and socket paths without their endings
    int lockFd_ = -1;
    int listenFd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace quorvel::ui
