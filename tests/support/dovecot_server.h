#pragma once

#include <string>
#include <vector>

#include "support/fake_platform.h"

namespace quorvel::testing {

// A private Dovecot POP3 server on loopback: one mailbox "joe"/"secret",
// a plain port and an implicit-TLS port with a certificate from a test CA
// of its own. Started by the constructor, stopped by the destructor; its
// log goes to dovecot.log in its folder.
class DovecotServer {
public:
    // With `lockSessions` a second session of the mailbox is refused while
    // one is open (IN-USE), as servers that lock the maildrop do.
    explicit DovecotServer(bool lockSessions = false);
    ~DovecotServer();
    DovecotServer(const DovecotServer&) = delete;
    DovecotServer& operator=(const DovecotServer&) = delete;

    int port() const { return port_; }
    int tlsPort() const { return tlsPort_; }
    // The CA that signed the server's certificate, and one that did not.
    std::string caFile() const { return folder_.file("ca.crt"); }
    std::string otherCaFile() const { return folder_.file("other-ca.crt"); }
    std::string log() const;

    // Stores messages in the mailbox, in this order; each is kept as given.
    void addMessages(const std::vector<std::string>& messages);
    // The messages in the mailbox as the server holds them, in order.
    std::vector<std::string> messages() const;

private:
    void run(const std::string& command) const;
    void start();
    void stop();

    TempFolder folder_;
    std::string maildir_;
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
