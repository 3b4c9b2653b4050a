#include "support/dovecot_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "platform/files.h"
#include "support/scripted_server.h"

namespace quorvel::testing {

namespace fs = std::filesystem;

namespace {

bool accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

std::string makeMessage(int number, int bodyLines) {
    std::string text = "From: sender" + std::to_string(number) + "@example.test\r\n" +
                       "To: joe@example.test\r\n" + "Subject: Message number " + std::to_string(number) + "\r\n" +
                       "Message-ID: <" + std::to_string(number) + "@example.test>\r\n" +
                       "Received: from a.example.test\r\n\tby b.example.test\r\n\r\n";
    for (int i = 0; i < bodyLines; ++i)
        text += (i % 7 == 3 ? "." : "") + std::string("Line ") + std::to_string(i) +
                " of the body, long enough to look like a real line of text.\r\n";
    return text;
}

std::string shortMessage(const std::string& from, const std::string& subject) {
    return "From: " + from + "\r\nTo: joe@example.test\r\nSubject: " + subject +
           "\r\nDate: Thu, 10 Dec 2026 09:15:00 +0000\r\n\r\nHello.\r\n";
}

DovecotServer::DovecotServer(const Options& options) {
    // Dovecot refuses to run its helpers as root: they run as an unprivileged
    // user that owns the folder.
    const passwd* user = geteuid() == 0 ? getpwnam("nobody") : getpwuid(geteuid());
    if (!user) throw std::runtime_error("no unprivileged user");
    uid_ = static_cast<int>(user->pw_uid);
    gid_ = static_cast<int>(user->pw_gid);
    const std::string userName = user->pw_name;
    const std::string dir = folder_.path();
    for (const char* sub : {"/run", "/state", "/home/Maildir/new", "/home/Maildir/cur", "/home/Maildir/tmp"})
        fs::create_directories(dir + sub);

    // A test CA, a server certificate it signs for the names asked for, and
    // an unrelated CA; elliptic-curve keys are made in an instant, RSA ones not.
    const std::string newKey = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
    run("cd " + dir + " && openssl req -x509" + newKey + " -days 2 -subj /CN=QuorvelTestCA -keyout ca.key -out ca.crt" +
        " && openssl req -x509" + newKey + " -days 2 -subj /CN=OtherCA -keyout other-ca.key -out other-ca.crt" +
        " && openssl req" + newKey + " -subj /CN=localhost -keyout server.key -out server.csr" +
        " && printf 'subjectAltName=" + options.certificateNames + "\\n' > san.ext" +
        " && openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 2" +
        " -extfile san.ext -out server.crt");

    port_ = unusedPort();
    do tlsPort_ = unusedPort();
    while (tlsPort_ == port_);

    users_.push_back({"joe", "secret", dir + "/home"});
    writeUsers();
    const group* userGroup = getgrgid(static_cast<gid_t>(gid_));
    const std::string groupName = userGroup ? userGroup->gr_name : userName;
    std::ofstream conf(dir + "/dovecot.conf");
    conf << "protocols = pop3\n"
         << "listen = 127.0.0.1\n"
         << "base_dir = " << dir << "/run\n"
         << "state_dir = " << dir << "/state\n"
         << "log_path = " << dir << "/dovecot.log\n"
         << "ssl = yes\nssl_cert = <" << dir << "/server.crt\nssl_key = <" << dir << "/server.key\n"
         << "disable_plaintext_auth = no\n"
         << "auth_mechanisms = " << options.authMechanisms << "\n";
    if (!options.oauth2IntrospectionUrl.empty()) {
        // A refused token is answered at once, not after the usual pause.
        conf << "auth_failure_delay = 0\n";
        conf << "passdb {\n  driver = oauth2\n  mechanisms = xoauth2 oauthbearer\n  args = " << dir
             << "/oauth2.conf.ext\n}\n";
        std::ofstream oauth(dir + "/oauth2.conf.ext");
        oauth << "introspection_mode = post\n"
              << "introspection_url = " << options.oauth2IntrospectionUrl << "\n"
              << "force_introspection = yes\n"
              << "username_attribute = username\n"
              << "active_attribute = active\n"
              << "active_value = true\n";
    }
    conf << "passdb {\n  driver = passwd-file\n  args = " << dir << "/users\n}\n"
         << "userdb {\n  driver = passwd-file\n  args = " << dir << "/users\n}\n"
         << "mail_location = maildir:~/Maildir\n"
         << "first_valid_uid = 1\n"
         << "default_internal_user = " << userName << "\n"
         << "default_login_user = " << userName << "\n"
         << "default_internal_group = " << groupName << "\n"
         << "pop3_uidl_format = %08Xu%08Xv\n"
         << (options.lockSessions ? "pop3_lock_session = yes\n" : "")
         << "service pop3-login {\n  chroot =\n"
         << "  inet_listener pop3 {\n    port = " << port_ << "\n  }\n"
         << "  inet_listener pop3s {\n    port = " << tlsPort_ << "\n    ssl = yes\n  }\n";
    if (!options.port995Address.empty())
        conf << "  inet_listener pop3s995 {\n    address = " << options.port995Address
             << "\n    port = 995\n    ssl = yes\n  }\n";
    conf << "}\n"
         << "service anvil {\n  chroot =\n";
    // Refused tokens follow one another in the tests: no growing penalty.
    if (!options.oauth2IntrospectionUrl.empty()) conf << "  unix_listener anvil-auth-penalty {\n    mode = 0\n  }\n";
    conf << "}\n";
    conf.close();
    run("chown -R " + std::to_string(uid_) + ":" + std::to_string(gid_) + " " + dir + " && chmod 755 " + dir);
    start();
}

DovecotServer::~DovecotServer() {
    stop();
}

void DovecotServer::run(const std::string& command) const {
    const std::string line = "(" + command + ") >>" + folder_.file("commands.log") + " 2>&1";
    if (std::system(line.c_str()) != 0) throw std::runtime_error("failed: " + command + "\n" + log());
}

void DovecotServer::start() {
    run("/usr/sbin/dovecot -c " + folder_.file("dovecot.conf"));
    for (int i = 0; i < 200; ++i) {
        if (accepts(port_) && accepts(tlsPort_)) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    throw std::runtime_error("Dovecot did not start:\n" + log());
}

void DovecotServer::stop() {
    const auto pidText = readFileBytes(folder_.path() + "/run/master.pid");
    if (!pidText) return;
    const pid_t pid = static_cast<pid_t>(std::stol(*pidText));
    if (pid <= 0 || ::kill(pid, SIGTERM) != 0) return;
    for (int i = 0; i < 200 && ::kill(pid, 0) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
}

std::string DovecotServer::certificateFingerprint() const {
    FILE* out = ::popen(("openssl x509 -noout -fingerprint -sha256 -in " + certificateFile()).c_str(), "r");
    std::string text;
    char buffer[256];
    while (out && std::fgets(buffer, sizeof buffer, out)) text += buffer;
    if (out) ::pclose(out);
    const auto equals = text.find('=');
    return equals == std::string::npos ? std::string() : text.substr(equals + 1, text.find_last_not_of("\r\n") - equals);
}

void DovecotServer::kick(const std::string& user) const {
    run("/usr/bin/doveadm -c " + folder_.file("dovecot.conf") + " kick " + user);
}

std::string DovecotServer::log() const {
    return readFileBytes(folder_.file("dovecot.log")).value_or("") +
           readFileBytes(folder_.file("commands.log")).value_or("");
}

void DovecotServer::writeUsers() const {
    std::string lines;
    for (const User& user : users_)
        lines += user.name + ":{PLAIN}" + user.password + ":" + std::to_string(uid_) + ":" + std::to_string(gid_) +
                 "::" + user.home + "\n";
    writeFileAtomically(folder_.file("users"), lines);
    if (::chown(folder_.file("users").c_str(), static_cast<uid_t>(uid_), static_cast<gid_t>(gid_)) != 0)
        throw std::runtime_error("chown users");
}

std::string DovecotServer::maildirOf(const std::string& user) const {
    for (const User& u : users_)
        if (u.name == user) return u.home + "/Maildir";
    throw std::runtime_error("no mailbox " + user);
}

void DovecotServer::addUser(const std::string& user, const std::string& password) {
    const std::string home = folder_.path() + "/home-" + user;
    for (const char* sub : {"/Maildir/new", "/Maildir/cur", "/Maildir/tmp"}) fs::create_directories(home + sub);
    run("chown -R " + std::to_string(uid_) + ":" + std::to_string(gid_) + " " + home);
    users_.push_back({user, password, home});
    writeUsers();
}

void DovecotServer::addMessages(const std::vector<std::string>& messages) {
    addMessages("joe", messages);
}

std::vector<std::string> DovecotServer::messages() const {
    return messages("joe");
}

void DovecotServer::addMessages(const std::string& user, const std::vector<std::string>& messages) {
    const std::string maildir = maildirOf(user);
    for (const std::string& message : messages) {
        ++added_;
        char name[64];
        std::snprintf(name, sizeof name, "%010d.M%dP1.quorvel", 1000000000 + added_, added_);
        const std::string path = maildir + "/new/" + name;
        writeFileAtomically(path, message);
        if (::chown(path.c_str(), static_cast<uid_t>(uid_), static_cast<gid_t>(gid_)) != 0)
            throw std::runtime_error("chown " + path);
    }
}

std::vector<std::string> DovecotServer::messages(const std::string& user) const {
    const std::string maildir = maildirOf(user);
    std::vector<std::string> names;
    for (const char* sub : {"/new", "/cur"})
        for (const auto& entry : fs::directory_iterator(maildir + sub)) names.push_back(entry.path().string());
    // Names start with the order in which the messages were added.
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return fs::path(a).filename() < fs::path(b).filename();
    });
    std::vector<std::string> contents;
    for (const auto& name : names) contents.push_back(readFileBytes(name).value_or(""));
    return contents;
}

}  // namespace quorvel::testing
