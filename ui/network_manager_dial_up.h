#pragma once

#include <QDBusConnection>
#include <QMap>
#include <vector>
#include <QObject>
#include <QString>
#include <map>
#include <memory>

#include "platform/dial_up.h"

namespace quorvel::ui {

// The dial-up service on Linux: NetworkManager on the system bus. Its phone
// book is the connection profiles a user brings up on demand (mobile
// broadband, DSL, VPN, WireGuard); dialling activates a profile, hanging up
// deactivates it. Passwords stay with NetworkManager's secret agent.
class NetworkManagerDialUp : public QObject, public DialUpLibrary {
    Q_OBJECT
public:
    // None when NetworkManager is not on the bus: the program then offers no
    // dial-up at all.
    static std::unique_ptr<NetworkManagerDialUp> load(const QDBusConnection& bus = QDBusConnection::systemBus());

    int enumEntries(std::vector<std::string>& names, std::size_t room) override;
    int enumConnections(std::vector<DialUpConnection>& connections, std::size_t room) override;
    int ipAddress(const std::string& handle, std::string& address) override;
    int hasPassword(const std::string& entry, bool& stored) override;
    int storePassword(const std::string& entry, const std::string& password, bool forget) override;
    int dial(const std::string& entry, StateHandler onState, std::string& handle) override;
    int hangUp(const std::string& handle) override;
    std::string errorText(int code) override;
    std::string stateText(int state) override;

    // Codes of this service: a failed bus call, an unknown profile, and a
    // connection that went down, 100 + NetworkManager's reason.
    static constexpr int kBusError = 1;
    static constexpr int kNoSuchEntry = 2;
    static constexpr int kReasonBase = 100;

private slots:
    void activeStateChanged(uint state, uint reason);

private:
    explicit NetworkManagerDialUp(const QDBusConnection& bus);
    int busFailure(const QString& message);
    struct Profile {
        QString name, path;
    };
    // The dial-up profiles, in NetworkManager's order.
    int profiles(std::vector<Profile>& found);
    void report(int state, int error);

    QDBusConnection bus_;
    QString lastBusError_;
    QString watched_;  // the active connection of the dial in progress
    StateHandler onState_;
};

}  // namespace quorvel::ui
