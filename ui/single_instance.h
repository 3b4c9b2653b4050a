#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <functional>
#include <memory>

namespace quorvel::ui {

// Lets one instance of the program run per user. The first holds a lock file
// and listens on a local socket; a later one finds the lock taken, asks the
// first to come forward, and ends. A lock left by a crash is taken over.
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
    QString name_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer server_;
};

}  // namespace quorvel::ui
