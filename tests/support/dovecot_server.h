#pragma once

#include <string>
#include <vector>

#include "support/fake_platform.h"

namespace quorvel::testing {

// A private Dovecot POP3 server on loopback: one mailbox "joe"/"secret",
// a plain port offering STLS and an implicit-TLS port, with a certificate
// from a test CA of its own; APOP is offered too. Started by the constructor,
// stopped by the destructor; its log goes to dovecot.log in its folder.
class DovecotServer {
public:
    struct Options {
        // What the server's certificate names, as a subjectAltName list.
        std::string certificateNames = "DNS:localhost";
        // When set, one more implicit-TLS listener on this loopback address
        // at port 995 (needs the right to use ports below 1024).
        std::string port995Address;
        // A second session of the mailbox is refused while one is open
        // (IN-USE), as servers that lock the maildrop do.
        bool lockSessions = false;
        // Dovecot's auth_mechanisms: the SASL mechanisms CAPA names.
        std::string authMechanisms = "plain apop";
        // When set, XOAUTH2 and OAUTHBEARER log-ins are checked by an oauth2
        // passdb that posts the token to this introspection address (RFC
        // 7662) and takes the user name from its "username".
        std::string oauth2IntrospectionUrl;
    };

    DovecotServer() : DovecotServer(Options()) {}
    explicit DovecotServer(bool lockSessions) : DovecotServer(locking(lockSessions)) {}
    explicit DovecotServer(const Options& options);
    ~DovecotServer();
    DovecotServer(const DovecotServer&) = delete;
    DovecotServer& operator=(const DovecotServer&) = delete;

    int port() const { return port_; }
    int tlsPort() const { return tlsPort_; }
    // The CA that signed the server's certificate, and one that did not.
    std::string caFile() const { return folder_.file("ca.crt"); }
    std::string otherCaFile() const { return folder_.file("other-ca.crt"); }
    std::string certificateFile() const { return folder_.file("server.crt"); }
    // The SHA-256 fingerprint of the server's certificate as openssl prints
    // it ("AB:CD:..."), the form a mailbox's trusted certificate is kept in.
    std::string certificateFingerprint() const;
    std::string log() const;

    // Stores messages in the mailbox, in this order; each is kept as given.
    void addMessages(const std::vector<std::string>& messages);
    // The messages in the mailbox as the server holds them, in order.
    std::vector<std::string> messages() const;

    // Another mailbox beside "joe", with a home of its own.
    void addUser(const std::string& user, const std::string& password);
    // The same for a mailbox added by addUser (or "joe").
    void addMessages(const std::string& user, const std::vector<std::string>& messages);
    std::vector<std::string> messages(const std::string& user) const;
    // Ends every session of `user` from the server's side, as a server does
    // with a session left idle too long.
    void kick(const std::string& user = "joe") const;

private:
    static Options locking(bool lockSessions) {
        Options options;
        options.lockSessions = lockSessions;
        return options;
    }
    void run(const std::string& command) const;
    void start();
    void stop();
    void writeUsers() const;
    std::string maildirOf(const std::string& user) const;

    TempFolder folder_;
    // Each mailbox's user name, password and home, "joe" first.
    struct User {
        std::string name, password, home;
    };
    std::vector<User> users_;
    int port_ = 0;
    int tlsPort_ = 0;
    int uid_ = 0;
    int gid_ = 0;
    int added_ = 0;
};

// A message of `bodyLines` lines with a subject and a unique Message-ID.
std::string makeMessage(int number, int bodyLines);
// A one-line message from `from` with `subject`, dated 10 Dec 2026.
std::string shortMessage(const std::string& from, const std::string& subject);

}  // namespace quorvel::testing
