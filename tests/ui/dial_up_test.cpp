// Dial-up through NetworkManager, against a mock NetworkManager on a private
// D-Bus bus: the profiles offered, a check that brings the chosen profile up
// before it connects and down after, and a profile already up left alone.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>
#include <algorithm>
#include <functional>

#include "config/frm_general.h"
#include "config/settings_store.h"
#include "mail/ag_ras.h"
#include "mail/pop3_client.h"
#include "support/dovecot_server.h"
#include "support/fake_platform.h"
#include "ui/network_manager_dial_up.h"
#include "ui/qt_platform.h"

using ProfileSettings = QMap<QString, QVariantMap>;
Q_DECLARE_METATYPE(ProfileSettings)

namespace quorvel::ui {

class DialUpTest : public QObject {
    Q_OBJECT

    QTemporaryDir folder;
    QProcess busDaemon, mockManager;
    QString address;
    QStringList profilePaths;

    QDBusConnection bus() { return QDBusConnection::connectToBus(address, "test"); }

    QDBusMessage callManager(const QString& path, const QString& interface, const QString& method,
                             const QVariantList& arguments = {}) {
        auto message = QDBusMessage::createMethodCall("org.freedesktop.NetworkManager", path, interface, method);
        message.setArguments(arguments);
        return bus().call(message);
    }

    // The names of the connections NetworkManager has up.
    QStringList activeNames() {
        const QDBusMessage answer = callManager("/org/freedesktop/NetworkManager", "org.freedesktop.DBus.Properties",
                                                "Get", {"org.freedesktop.NetworkManager", "ActiveConnections"});
        const auto active =
            qdbus_cast<QList<QDBusObjectPath>>(answer.arguments().at(0).value<QDBusVariant>().variant());
        QStringList names;
        for (const QDBusObjectPath& path : active) {
            const QDBusMessage id = callManager(path.path(), "org.freedesktop.DBus.Properties", "Get",
                                                {"org.freedesktop.NetworkManager.Connection.Active", "Id"});
            names << id.arguments().at(0).value<QDBusVariant>().variant().toString();
        }
        return names;
    }

    QString addProfile(const QString& id, const QString& type) {
        ProfileSettings settings;
        settings["connection"] = QVariantMap{{"id", id}, {"type", type}, {"uuid", QUuid::createUuid().toString(QUuid::WithoutBraces)}};
        const QDBusMessage answer = callManager("/org/freedesktop/NetworkManager/Settings",
                                                "org.freedesktop.NetworkManager.Settings", "AddConnection",
                                                {QVariant::fromValue(settings)});
        return answer.arguments().value(0).value<QDBusObjectPath>().path();
    }

private slots:
    void initTestCase() {
        qDBusRegisterMetaType<ProfileSettings>();
        busDaemon.setProcessChannelMode(QProcess::SeparateChannels);
        busDaemon.setStandardErrorFile(folder.filePath("bus.log"));
        busDaemon.start("dbus-daemon", {"--session", "--nofork", "--print-address",
                                        "--address=unix:path=" + folder.filePath("bus")});
        QVERIFY(busDaemon.waitForReadyRead(10000));
        address = QString::fromUtf8(busDaemon.readLine()).trimmed();
        QVERIFY(bus().isConnected());

        // A bus without NetworkManager: no dial-up library at all.
        QVERIFY(NetworkManagerDialUp::load(bus()) == nullptr);

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DBUS_SYSTEM_BUS_ADDRESS", address);
        mockManager.setProcessEnvironment(environment);
        mockManager.setStandardOutputFile(folder.filePath("mock.log"));
        mockManager.setStandardErrorFile(folder.filePath("mock.log"), QIODevice::Append);
        mockManager.start("/usr/bin/python3", {"-m", "dbusmock", "--template", "networkmanager", "--system"});
        QTRY_VERIFY_WITH_TIMEOUT(bus().interface()->isServiceRegistered("org.freedesktop.NetworkManager").value(),
                                 15000);
        // The mock takes a connection down through the devices it knows.
        const QDBusMessage device = callManager("/org/freedesktop/NetworkManager", "org.freedesktop.DBus.Mock",
                                                "AddEthernetDevice", {"eth0", "eth0", 100});
        QVERIFY2(device.type() == QDBusMessage::ReplyMessage, qPrintable(device.errorMessage()));
        profilePaths << addProfile("Mobile", "gsm") << addProfile("Home Wi-Fi", "802-11-wireless")
                     << addProfile("Office VPN", "vpn");
        QVERIFY(!profilePaths.contains(QString()));
    }

    void cleanupTestCase() {
        mockManager.terminate();
        mockManager.waitForFinished(5000);
        busDaemon.terminate();
        busDaemon.waitForFinished(5000);
    }

    void theConnectionPageListsTheProfilesBroughtUpOnDemand() {
        const auto library = NetworkManagerDialUp::load(bus());
        QVERIFY(library);
        testing::FakePlatform fake;
        TagRas ras(library.get(), fake.loop, fake.timers, fake.dialogs);
        QCOMPARE(ras.Entries(), (std::vector<std::string>{"Mobile", "Office VPN"}));

        SettingsStore store(fake.platform.settingsFolder);
        store.writeInteger("General", "RAS", 2);
        TfrmGeneral general(fake.platform, store, &ras);
        QCOMPARE(general.RASComboBox.items, (std::vector<std::string>{"None", "Mobile", "Office VPN"}));
        QCOMPARE(general.RASComboBox.itemIndex, 2);
        QCOMPARE(ras.Service(), std::string("Office VPN"));
        QVERIFY(fake.dialogs.shown.empty());
    }

    // The entry is stored by name: once NetworkManager's list loses it, the
    // place it had names a neighbour, which is not dialled in its stead.
    void aRemovedProfileIsNotReplacedByItsNeighbour() {
        const QString removed = addProfile("Old modem", "gsm");
        const QString spare = addProfile("Spare modem", "gsm");
        const auto library = NetworkManagerDialUp::load(bus());
        QVERIFY(library);
        testing::FakePlatform fake;
        TagRas ras(library.get(), fake.loop, fake.timers, fake.dialogs);
        SettingsStore store(fake.platform.settingsFolder);
        {
            TfrmGeneral general(fake.platform, store, &ras);
            const auto& items = general.RASComboBox.items;
            const auto at = std::find(items.begin(), items.end(), "Old modem");
            QVERIFY(at != items.end());
            general.RASComboBox.itemIndex = static_cast<int>(at - items.begin());
            QCOMPARE(items.at(static_cast<std::size_t>(general.RASComboBox.itemIndex + 1)), std::string("Spare modem"));
            general.SaveGeneralSettings();
        }
        QCOMPARE(callManager(removed, "org.freedesktop.NetworkManager.Settings.Connection", "Delete").type(),
                 QDBusMessage::ReplyMessage);

        TfrmGeneral general(fake.platform, store, &ras);
        QCOMPARE(general.RASComboBox.itemIndex, 0);
        QCOMPARE(ras.Service(), std::string());
        QCOMPARE(fake.dialogs.shown.size(), std::size_t{1});
        QCOMPARE(fake.dialogs.shown[0].text, std::string("Invalid service name"));
        ras.Connect();
        QCOMPARE(activeNames(), QStringList{});
        QCOMPARE(callManager(spare, "org.freedesktop.NetworkManager.Settings.Connection", "Delete").type(),
                 QDBusMessage::ReplyMessage);
    }

private:
    struct CheckResult {
        int listed = 0;
        bool dialled = false;
    };

    // Lists the tests' Dovecot with `entry` chosen for dial-up, on the real
    // event loop, through the mock NetworkManager.
    CheckResult checkThrough(const std::string& entry, testing::DovecotServer& server,
                             std::function<void()> onOpen = {}) {
        const auto library = NetworkManagerDialUp::load(bus());
        testing::FakePlatform fake;
        QtEventPump pump;
        QtTimers timers;
        TagRas ras(library.get(), pump, timers, fake.dialogs);
        ras.setService(entry);
        TmsRemotePOP pop(pump, timers);
        pop.Server = "127.0.0.1:" + std::to_string(server.port());
        pop.Security = TmsSecurity::None;
        pop.UserName = "joe";
        pop.Password = "secret";
        pop.RAS = &ras;
        pop.OnOpen = std::move(onOpen);
        pop.UpdateInfo();
        return {pop.RemoteInfo().Count(), ras.dialled()};
    }

private slots:
    void aCheckBringsTheProfileUpFirstAndDownAfter() {
        testing::DovecotServer server;
        server.addMessages({testing::shortMessage("ann@example.com", "Hello")});
        QStringList upWhenConnecting;
        const CheckResult result = checkThrough("Mobile", server, [&] { upWhenConnecting = activeNames(); });
        QCOMPARE(result.listed, 1);
        QVERIFY(result.dialled);
        QCOMPARE(upWhenConnecting, QStringList{"Mobile"});
        QCOMPARE(activeNames(), QStringList{});
    }

    void aProfileAlreadyUpIsAdoptedAndLeftUp() {
        const QDBusMessage activated =
            callManager("/org/freedesktop/NetworkManager", "org.freedesktop.NetworkManager", "ActivateConnection",
                        {QVariant::fromValue(QDBusObjectPath(profilePaths[2])), QVariant::fromValue(QDBusObjectPath("/")),
                         QVariant::fromValue(QDBusObjectPath("/"))});
        QCOMPARE(activated.type(), QDBusMessage::ReplyMessage);
        QCOMPARE(activeNames(), QStringList{"Office VPN"});

        testing::DovecotServer server;
        QVERIFY(!checkThrough("Office VPN", server).dialled);
        QCOMPARE(activeNames(), QStringList{"Office VPN"});
    }
};

}  // namespace quorvel::ui

QTEST_MAIN(quorvel::ui::DialUpTest)
#include "dial_up_test.moc"
