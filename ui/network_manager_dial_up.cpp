#include "ui/network_manager_dial_up.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QTimer>
#include <algorithm>

namespace quorvel::ui {

namespace {

const QString kService = "org.freedesktop.NetworkManager";
const QString kManagerPath = "/org/freedesktop/NetworkManager";
const QString kManager = "org.freedesktop.NetworkManager";
const QString kSettingsPath = "/org/freedesktop/NetworkManager/Settings";
const QString kSettings = "org.freedesktop.NetworkManager.Settings";
const QString kProfile = "org.freedesktop.NetworkManager.Settings.Connection";
const QString kActive = "org.freedesktop.NetworkManager.Connection.Active";
const QString kIp4Config = "org.freedesktop.NetworkManager.IP4Config";

// The kinds of profile a user brings up on demand; wired and wireless
// networks come up by themselves and are no dial-up entries.
const QStringList kDialUpTypes = {"gsm", "cdma", "pppoe", "adsl", "bluetooth", "vpn", "wireguard"};

enum ActiveState : uint { Activating = 1, Activated = 2, Deactivating = 3, Deactivated = 4 };

using ProfileSettings = QMap<QString, QVariantMap>;

// NetworkManager's reasons for a connection that went down, in words.
QString reasonText(uint reason) {
    switch (reason) {
    case 2: return "The connection was disconnected by the user.";
    case 3: return "The device of the connection was disconnected.";
    case 4: return "The service providing the connection was stopped.";
    case 5: return "The connection's network settings were invalid.";
    case 6: return "The connection attempt timed out.";
    case 7: return "The service providing the connection did not start in time.";
    case 8: return "The service providing the connection failed to start.";
    case 9: return "The connection's secrets (password or PIN) were not provided.";
    case 10: return "The log-in was refused.";
    case 11: return "The connection profile was removed.";
    case 12: return "A connection this one depends on failed.";
    case 13: return "The device of the connection could not be set up.";
    case 14: return "The device of the connection was removed.";
    default: return "The connection could not be brought up.";
    }
}

}  // namespace

NetworkManagerDialUp::NetworkManagerDialUp(const QDBusConnection& bus) : bus_(bus) {
    qDBusRegisterMetaType<ProfileSettings>();
}

std::unique_ptr<NetworkManagerDialUp> NetworkManagerDialUp::load(const QDBusConnection& bus) {
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(kService).value())
        return nullptr;
    return std::unique_ptr<NetworkManagerDialUp>(new NetworkManagerDialUp(bus));
}

int NetworkManagerDialUp::busFailure(const QString& message) {
    lastBusError_ = message;
    return kBusError;
}

namespace {

QDBusMessage call(const QDBusConnection& bus, const QString& path, const QString& interface, const QString& method,
                  const QVariantList& arguments = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall(kService, path, interface, method);
    message.setArguments(arguments);
    return bus.call(message);
}

// A property, or an invalid value when it cannot be read.
QVariant readProperty(const QDBusConnection& bus, const QString& path, const QString& interface, const QString& name) {
    const QDBusMessage answer =
        call(bus, path, "org.freedesktop.DBus.Properties", "Get", {interface, name});
    if (answer.type() != QDBusMessage::ReplyMessage || answer.arguments().isEmpty()) return {};
    return answer.arguments().at(0).value<QDBusVariant>().variant();
}

QList<QDBusObjectPath> paths(const QVariant& value) {
    if (value.canConvert<QDBusArgument>()) return qdbus_cast<QList<QDBusObjectPath>>(value.value<QDBusArgument>());
    return value.value<QList<QDBusObjectPath>>();
}

}  // namespace

int NetworkManagerDialUp::profiles(std::vector<Profile>& found) {
    found.clear();
    const QDBusMessage listed = call(bus_, kSettingsPath, kSettings, "ListConnections");
    if (listed.type() != QDBusMessage::ReplyMessage || listed.arguments().isEmpty())
        return busFailure(listed.errorMessage());
    // In the order NetworkManager lists its profiles.
    for (const QDBusObjectPath& path : paths(listed.arguments().at(0))) {
        const QDBusMessage answer = call(bus_, path.path(), kProfile, "GetSettings");
        if (answer.type() != QDBusMessage::ReplyMessage || answer.arguments().isEmpty()) continue;
        const ProfileSettings settings = qdbus_cast<ProfileSettings>(answer.arguments().at(0).value<QDBusArgument>());
        const QVariantMap connection = settings.value("connection");
        if (kDialUpTypes.contains(connection.value("type").toString()))
            found.push_back({connection.value("id").toString(), path.path()});
    }
    return 0;
}

int NetworkManagerDialUp::enumEntries(std::vector<std::string>& names, std::size_t room) {
    names.clear();
    std::vector<Profile> found;
    if (const int error = profiles(found)) return error;
    if (found.size() > room) return busFailure("There are more dial-up connections than the list can take.");
    for (const Profile& profile : found) names.push_back(profile.name.toStdString());
    return 0;
}

int NetworkManagerDialUp::enumConnections(std::vector<DialUpConnection>& connections, std::size_t room) {
    connections.clear();
    const QVariant active = readProperty(bus_, kManagerPath, kManager, "ActiveConnections");
    if (!active.isValid()) return busFailure("NetworkManager did not list its active connections.");
    for (const QDBusObjectPath& path : paths(active)) {
        if (connections.size() == room) break;
        const uint state = readProperty(bus_, path.path(), kActive, "State").toUInt();
        if (state != Activating && state != Activated) continue;
        connections.push_back({path.path().toStdString(), readProperty(bus_, path.path(), kActive, "Id").toString().toStdString()});
    }
    return 0;
}

int NetworkManagerDialUp::ipAddress(const std::string& handle, std::string& address) {
    address.clear();
    const QString config = readProperty(bus_, QString::fromStdString(handle), kActive, "Ip4Config")
                               .value<QDBusObjectPath>()
                               .path();
    if (config.isEmpty() || config == "/") return 0;
    const QVariant data = readProperty(bus_, config, kIp4Config, "AddressData");
    const auto addresses = qdbus_cast<QList<QVariantMap>>(data.value<QDBusArgument>());
    if (!addresses.isEmpty()) address = addresses.first().value("address").toString().toStdString();
    return 0;
}

int NetworkManagerDialUp::hasPassword(const std::string&, bool& stored) {
    // NetworkManager asks its secret agent (the desktop's keyring or a
    // prompt) when a profile needs a password; the program never holds one.
    stored = true;
    return 0;
}

int NetworkManagerDialUp::storePassword(const std::string&, const std::string&, bool) {
    return 0;
}

int NetworkManagerDialUp::dial(const std::string& entry, StateHandler onState, std::string& handle) {
    std::vector<Profile> found;
    if (const int error = profiles(found)) return error;
    const auto chosen = std::find_if(found.begin(), found.end(),
                                     [&](const Profile& p) { return p.name == QString::fromStdString(entry); });
    if (chosen == found.end()) return kNoSuchEntry;
    const QString profile = chosen->path;
    const QDBusMessage answer = call(bus_, kManagerPath, kManager, "ActivateConnection",
                                     {QVariant::fromValue(QDBusObjectPath(profile)),
                                      QVariant::fromValue(QDBusObjectPath("/")),
                                      QVariant::fromValue(QDBusObjectPath("/"))});
    if (answer.type() != QDBusMessage::ReplyMessage || answer.arguments().isEmpty())
        return busFailure(answer.errorMessage());
    const QString active = answer.arguments().at(0).value<QDBusObjectPath>().path();
    handle = active.toStdString();
    if (!watched_.isEmpty())
        bus_.disconnect(kService, watched_, kActive, "StateChanged", this, SLOT(activeStateChanged(uint, uint)));
    watched_ = active;
    onState_ = std::move(onState);
    bus_.connect(kService, active, kActive, "StateChanged", this, SLOT(activeStateChanged(uint, uint)));
    // The profile may be up already; its state is reported from the event
    // loop, as every later change is.
    const uint state = readProperty(bus_, active, kActive, "State").toUInt();
    QTimer::singleShot(0, this, [this, active, state] {
        if (active == watched_) activeStateChanged(state, 0);
    });
    return 0;
}

void NetworkManagerDialUp::activeStateChanged(uint state, uint reason) {
    if (!onState_) return;
    switch (state) {
    case Activating: report(Activating, 0); break;
    case Activated: report(kConnected, 0); break;
    case Deactivated: report(Deactivated, kReasonBase + static_cast<int>(reason)); break;
    default: break;
    }
}

void NetworkManagerDialUp::report(int state, int error) {
    const StateHandler handler = onState_;
    if (state == kConnected || error != 0) onState_ = nullptr;  // the dial is over
    handler(state, error);
}

int NetworkManagerDialUp::hangUp(const std::string& handle) {
    const QString active = QString::fromStdString(handle);
    if (active == watched_) {
        bus_.disconnect(kService, watched_, kActive, "StateChanged", this, SLOT(activeStateChanged(uint, uint)));
        watched_.clear();
        onState_ = nullptr;
    }
    const QDBusMessage answer =
        call(bus_, kManagerPath, kManager, "DeactivateConnection", {QVariant::fromValue(QDBusObjectPath(active))});
    return answer.type() == QDBusMessage::ReplyMessage ? 0 : busFailure(answer.errorMessage());
}

std::string NetworkManagerDialUp::errorText(int code) {
    if (code == kBusError) return lastBusError_.toStdString();
    if (code == kNoSuchEntry) return "The dial-up connection is no longer among NetworkManager's connections.";
    if (code >= kReasonBase) return reasonText(static_cast<uint>(code - kReasonBase)).toStdString();
    return {};
}

std::string NetworkManagerDialUp::stateText(int state) {
    switch (state) {
    case Activating: return "Dialing...";
    case kConnected: return "Successfully connected";
    default: return "Disconnected";
    }
}

}  // namespace quorvel::ui
