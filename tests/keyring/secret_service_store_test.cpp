// The libsecret store against a real Secret Service: gnome-keyring-daemon on
// a private session bus that each test starts and stops. Every test runs in
// its own process (libsecret keeps one connection per process).
#include "keyring/secret_service_store.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "config/account_secrets.h"
#include "support/fake_platform.h"

namespace quorvel {
namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs a shell command; its standard output, trimmed of the last line end.
std::string shell(const std::string& command, int* status = nullptr) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[512];
    while (pipe && fgets(buffer, sizeof buffer, pipe)) output += buffer;
    const int code = pipe ? pclose(pipe) : -1;
    if (status) *status = WIFEXITED(code) ? WEXITSTATUS(code) : -1;
    if (!output.empty() && output.back() == '\n') output.pop_back();
    return output;
}

// A private session bus (no service activation, so nothing starts behind the
// test's back) and gnome-keyring-daemon on it, its login keyring unlocked.
class PrivateKeyring {
public:
    explicit PrivateKeyring(const std::string& folder) : folder_(folder) {
        std::ofstream(folder + "/bus.conf")
            << "<busconfig><type>session</type><listen>unix:dir=" << folder << "</listen>"
            << "<auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
            << "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n";
        const std::string bus = shell("dbus-daemon --config-file=" + folder + "/bus.conf --fork --print-address=1 "
                                      "--print-pid=1");
        const std::size_t lineEnd = bus.find('\n');
        address = bus.substr(0, lineEnd);
        busPid_ = std::atoi(bus.substr(lineEnd + 1).c_str());
        mkdir((folder + "/run").c_str(), 0700);
        setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
        setenv("HOME", folder.c_str(), 1);
        setenv("XDG_DATA_HOME", (folder + "/data").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (folder + "/run").c_str(), 1);
        unsetenv("DISPLAY");
        shell("printf 'keyring password' | gnome-keyring-daemon --foreground --unlock --components=secrets >" + folder +
              "/keyring.log 2>&1 & echo $! >" + folder + "/keyring.pid");
        keyringPid_ = std::atoi(slurp(folder + "/keyring.pid").c_str());
        for (int tries = 0; tries < 100 && !answers(); ++tries)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ~PrivateKeyring() {
        if (keyringPid_ > 0) kill(keyringPid_, SIGTERM);
        if (busPid_ > 0) kill(busPid_, SIGTERM);
    }
    bool answers() const {
        return shell("dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus "
                     "org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null")
                   .find("boolean true") != std::string::npos;
    }
    void lock() const {
        shell("dbus-send --session --print-reply --dest=org.freedesktop.secrets /org/freedesktop/secrets "
              "org.freedesktop.Secret.Service.Lock array:objpath:/org/freedesktop/secrets/collection/login");
    }
    // The keyring keeps its name on the bus but answers nothing (stopped).
    void freeze(bool frozen) const {
        if (keyringPid_ > 0) kill(keyringPid_, frozen ? SIGSTOP : SIGCONT);
    }
    // What secret-tool, the user's own view, finds for an item of ours.
    std::string lookup(const std::string& profile, int mailbox, const char* kind) const {
        return shell("secret-tool lookup profile '" + profile + "' mailbox " + std::to_string(mailbox) + " kind " +
                     kind + " 2>/dev/null");
    }
    std::string search(const std::string& profile) const {
        return shell("secret-tool search --all profile '" + profile + "' 2>&1");
    }
    std::string address;

private:
    std::string folder_;
    int busPid_ = 0;
    int keyringPid_ = 0;
};

class RealKeyring : public ::testing::Test {
protected:
    testing::TempFolder folder;
    PrivateKeyring keyring{folder.path()};
    std::string profile = folder.file("settings");
    SecretServiceStore store{profile};
};

TEST_F(RealKeyring, ItemsAreWrittenReadAndRemovedOnePerMailboxAndKind) {
    ASSERT_TRUE(keyring.answers()) << slurp(folder.file("keyring.log"));
    EXPECT_EQ(store.write(2, SecretKind::Password, "Quorvel mailbox 2 password (alice on pop.test)", "pa ss\xc3\xa9"),
              SecretStatus::Ok);
    EXPECT_EQ(store.write(2, SecretKind::RefreshToken, "Quorvel mailbox 2 sign-in token", "token-2"), SecretStatus::Ok);
    EXPECT_EQ(store.write(3, SecretKind::Password, "Quorvel mailbox 3 password", "three"), SecretStatus::Ok);
    // A second write replaces the item instead of adding one.
    EXPECT_EQ(store.write(3, SecretKind::Password, "Quorvel mailbox 3 password", "three again"), SecretStatus::Ok);

    std::string secret;
    EXPECT_EQ(store.read(2, SecretKind::Password, secret), SecretStatus::Ok);
    EXPECT_EQ(secret, "pa ss\xc3\xa9");
    EXPECT_EQ(store.read(2, SecretKind::RefreshToken, secret), SecretStatus::Ok);
    EXPECT_EQ(secret, "token-2");
    EXPECT_EQ(store.read(3, SecretKind::Password, secret), SecretStatus::Ok);
    EXPECT_EQ(secret, "three again");
    EXPECT_EQ(store.read(4, SecretKind::Password, secret), SecretStatus::NotFound);

    // The keyring's own tools see the items, labelled.
    EXPECT_EQ(keyring.lookup(profile, 2, "password"), "pa ss\xc3\xa9");
    const std::string listed = keyring.search(profile);
    EXPECT_NE(listed.find("label = Quorvel mailbox 2 password (alice on pop.test)"), std::string::npos) << listed;
    EXPECT_EQ(listed.find("three\n"), std::string::npos);
    std::size_t items = 0;
    for (std::size_t at = listed.find("label = "); at != std::string::npos; at = listed.find("label = ", at + 1))
        ++items;
    EXPECT_EQ(items, 3u) << listed;

    // Another profile's mailbox 2 is another item.
    SecretServiceStore other(profile + "-other");
    EXPECT_EQ(other.read(2, SecretKind::Password, secret), SecretStatus::NotFound);

    EXPECT_EQ(store.remove(2, SecretKind::Password), SecretStatus::Ok);
    EXPECT_EQ(store.read(2, SecretKind::Password, secret), SecretStatus::NotFound);
    EXPECT_EQ(store.remove(2, SecretKind::Password), SecretStatus::NotFound);
    EXPECT_EQ(store.read(2, SecretKind::RefreshToken, secret), SecretStatus::Ok);
}

// An item of the same name in another collection (here the keyring's session
// collection, as another program may put one) is neither read nor removed:
// only the collection this store writes to is its own.
TEST_F(RealKeyring, OnlyItemsOfItsOwnCollectionAreReadOrRemoved) {
    ASSERT_TRUE(keyring.answers()) << slurp(folder.file("keyring.log"));
    int status = -1;
    shell("printf planted | secret-tool store --label=planted --collection=/org/freedesktop/secrets/collection/session "
          "xdg:schema org.velmont.Quorvel.Mailbox profile '" + profile + "' mailbox 2 kind password",
          &status);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(keyring.lookup(profile, 2, "password"), "planted");  // the keyring's own tools find it
    std::string secret;
    EXPECT_EQ(store.read(2, SecretKind::Password, secret), SecretStatus::NotFound);
    EXPECT_EQ(secret, "");
    EXPECT_EQ(store.remove(2, SecretKind::Password), SecretStatus::NotFound);
    EXPECT_EQ(keyring.lookup(profile, 2, "password"), "planted");

    ASSERT_EQ(store.write(2, SecretKind::Password, "Quorvel mailbox 2 password", "ours"), SecretStatus::Ok);
    EXPECT_EQ(store.read(2, SecretKind::Password, secret), SecretStatus::Ok);
    EXPECT_EQ(secret, "ours");
    EXPECT_EQ(store.remove(2, SecretKind::Password), SecretStatus::Ok);
    EXPECT_EQ(keyring.lookup(profile, 2, "password"), "planted");
}

// A keyring that owns its name but does not answer is taken for none after
// a short wait, not the bus's 25 seconds, so a start is not held up by it.
TEST_F(RealKeyring, AKeyringThatDoesNotAnswerCountsAsNoneAfterAShortWait) {
    ASSERT_TRUE(keyring.answers()) << slurp(folder.file("keyring.log"));
    keyring.freeze(true);
    const auto start = std::chrono::steady_clock::now();
    std::string secret;
    const SecretStatus status = store.read(1, SecretKind::Password, secret);
    const auto waited = std::chrono::steady_clock::now() - start;
    keyring.freeze(false);
    EXPECT_EQ(status, SecretStatus::Unavailable);
    EXPECT_LT(waited, SecretServiceStore::kFirstAnswerLimit + std::chrono::seconds(5));
    // Once it answers again, it is asked again.
    EXPECT_EQ(store.write(1, SecretKind::Password, "label", "pw"), SecretStatus::Ok);
}

class Migration : public RealKeyring {
protected:
    SettingsStore settings{profile};
    TPasswordCipher cipher;
    Migration() { cipher.Key = "qiro"; }
    std::string inFile(int n) {
        const std::string stored = settings.readString("Server", "Passwd" + std::to_string(n), "");
        return stored.empty() ? std::string() : cipher.decipher(stored);
    }
};

TEST_F(Migration, PasswordsMoveIntoTheKeyringAndBackIntoTheFile) {
    ASSERT_TRUE(keyring.answers()) << slurp(folder.file("keyring.log"));
    const std::string enciphered = cipher.encipher("first");
    settings.writeString("Server", "Passwd1", enciphered);
    settings.writeString("Server", "Passwd7", cipher.encipher("seventh"));
    ASSERT_NE(slurp(settings.registry().filePath()).find(enciphered), std::string::npos);
    const auto label = [](int n) { return secretLabel(n, SecretKind::Password, "user", "pop.test"); };

    EXPECT_EQ(AccountSecrets(settings, cipher, &store).moveToKeyring(label), 2);
    EXPECT_EQ(keyring.lookup(profile, 1, "password"), "first");
    EXPECT_EQ(keyring.lookup(profile, 7, "password"), "seventh");
    EXPECT_EQ(settings.readString("Server", "Passwd1", "x"), "");
    EXPECT_EQ(settings.readString("Server", "Passwd7", "x"), "");
    // The settings file holds no trace of them.
    EXPECT_EQ(slurp(settings.registry().filePath()).find(enciphered), std::string::npos);
    AccountSecrets secrets(settings, cipher, &store);
    EXPECT_EQ(secrets.read(7).text, "seventh");
    EXPECT_TRUE(secrets.read(7).inKeyring);

    // Back, as the user chooses: the file holds it before the item goes.
    EXPECT_FALSE(secrets.keep(7, label(7), "seventh", false));
    EXPECT_EQ(inFile(7), "seventh");
    EXPECT_EQ(keyring.lookup(profile, 7, "password"), "");
    EXPECT_EQ(keyring.lookup(profile, 1, "password"), "first");
}

TEST_F(Migration, ALockedKeyringGivesNothingAndTakesNothing) {
    ASSERT_TRUE(keyring.answers()) << slurp(folder.file("keyring.log"));
    ASSERT_EQ(store.write(2, SecretKind::Password, "Quorvel mailbox 2 password", "kept"), SecretStatus::Ok);
    keyring.lock();
    std::string secret;
    // No prompter answers on this bus: the unlock prompt fails as a cancelled one does.
    EXPECT_EQ(store.read(2, SecretKind::Password, secret), SecretStatus::Locked);
    EXPECT_EQ(secret, "");

    settings.writeString("Server", "Passwd1", cipher.encipher("first"));
    settings.writeString("Server", "Passwd3", cipher.encipher("third"));
    AccountSecrets secrets(settings, cipher, &store);
    EXPECT_EQ(secrets.moveToKeyring([](int) { return std::string("label"); }), 0);
    EXPECT_EQ(inFile(1), "first");
    EXPECT_EQ(inFile(3), "third");
    EXPECT_EQ(secrets.read(2).status, SecretStatus::Locked);
    EXPECT_TRUE(secrets.read(2).inKeyring);
}

// A program nobody watches never brings up the unlock prompt: a locked item
// or collection answers Locked without asking the keyring to unlock.
TEST_F(Migration, WithoutPromptsALockedKeyringIsNeverAskedToUnlock) {
    ASSERT_TRUE(keyring.answers()) << slurp(folder.file("keyring.log"));
    ASSERT_EQ(store.write(2, SecretKind::RefreshToken, "Quorvel mailbox 2 sign-in token", "kept"), SecretStatus::Ok);
    keyring.lock();
    const std::string watched = folder.file("unlocks.txt");
    shell("stdbuf -oL dbus-monitor --session \"type='method_call',interface='org.freedesktop.Secret.Service',"
          "member='Unlock'\" >" + watched + " 2>&1 & echo $! >" + folder.file("monitor.pid"));
    const int monitor = std::atoi(slurp(folder.file("monitor.pid")).c_str());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const auto unlocks = [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const std::string seen = slurp(watched);
        std::size_t count = 0;
        for (std::size_t at = seen.find("member=Unlock"); at != std::string::npos; at = seen.find("member=Unlock", at + 1))
            ++count;
        return count;
    };

    SecretServiceStore unattended(profile, SecretServiceStore::Prompts::Never);
    std::string secret;
    EXPECT_EQ(unattended.read(2, SecretKind::RefreshToken, secret), SecretStatus::Locked);
    EXPECT_EQ(secret, "");
    EXPECT_EQ(unattended.write(2, SecretKind::RefreshToken, "label", "rotated"), SecretStatus::Locked);
    EXPECT_EQ(unattended.write(3, SecretKind::Password, "label", "new"), SecretStatus::Locked);
    EXPECT_EQ(unattended.remove(2, SecretKind::RefreshToken), SecretStatus::Locked);
    EXPECT_EQ(unlocks(), 0u);
    // The window's store asks (no prompter answers here, so it stays locked):
    // the watch sees that request.
    EXPECT_EQ(store.read(2, SecretKind::RefreshToken, secret), SecretStatus::Locked);
    EXPECT_GE(unlocks(), 1u);
    if (monitor > 0) kill(monitor, SIGTERM);
}

TEST(NoKeyring, WithoutASessionBusNothingAnswersAndTheFileKeepsThePasswords) {
    testing::TempFolder folder;
    mkdir(folder.file("run").c_str(), 0700);
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    unsetenv("DISPLAY");
    setenv("XDG_RUNTIME_DIR", folder.file("run").c_str(), 1);
    SecretServiceStore store(folder.file("settings"));
    std::string secret;
    EXPECT_EQ(store.read(1, SecretKind::Password, secret), SecretStatus::Unavailable);
    EXPECT_EQ(store.write(1, SecretKind::Password, "label", "pw"), SecretStatus::Unavailable);
    EXPECT_EQ(store.remove(1, SecretKind::Password), SecretStatus::Unavailable);

    SettingsStore settings(folder.file("settings"));
    TPasswordCipher cipher;
    cipher.Key = "qiro";
    AccountSecrets secrets(settings, cipher, &store);
    EXPECT_FALSE(secrets.keep(1, "label", "typed", true));
    EXPECT_EQ(cipher.decipher(settings.readString("Server", "Passwd1", "")), "typed");
    EXPECT_EQ(secrets.read(1).text, "typed");
}

}  // namespace
}  // namespace quorvel
