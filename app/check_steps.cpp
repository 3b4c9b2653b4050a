#include "app/check_steps.h"

#include <cerrno>
#include <iostream>

#include "app/finally.h"

namespace quorvel {

void widenShortDate(FormatSettings& settings) {
    std::string& format = settings.shortDateFormat;
    if (format.find("yyyy") != std::string::npos) return;
    const std::size_t at = format.find("yy");
    if (at != std::string::npos) format.insert(at, "yy");
}

void judgeRows(Classification& classification, MessageList& list, const TmsRemoteInfo& records, int index,
               bool countHits) {
    const bool counting = classification.countingHits();
    classification.setCountingHits(counting && countHits);
    Finally restore([&] { classification.setCountingHits(counting); });
    const std::size_t first = index < 0 ? 0 : static_cast<std::size_t>(index);
    const std::size_t last = index < 0 ? list.rows.size() : first + 1;
    // The unknown-domain check runs the event loop while it waits, and a
    // handler may then empty the list or start a new listing: the inputs are
    // copied, and the verdict is written only to a row that is still there.
    const std::uint64_t generation = list.generation;
    for (std::size_t i = first; i < last && i < list.rows.size() && list.generation == generation; ++i) {
        const MessageRow row = list.rows[i];
        TmsHeaders headers;
        if (i < static_cast<std::size_t>(records.Count())) headers = records.Items(static_cast<int>(i)).Headers;
        MessageToJudge message{row.caption, row.sender, row.size, &headers, !row.subjectUndecodable,
                               !row.senderUndecodable};
        const int mark = classification.judge(message, row.stateIndex);
        if (list.generation == generation && i < list.rows.size()) list.rows[i].stateIndex = mark;
    }
}

namespace {

std::optional<TmsSecurity> storedSecurity(SettingsStore& store, int mailbox) {
    // An account stored before the choice existed has none: the client then
    // keeps to SSL/TLS on port 995 and no TLS elsewhere.
    const int security = store.readInteger("Server", "Security" + std::to_string(mailbox), -1);
    if (security < 0 || security >= static_cast<int>(kSecurityNames.size())) return std::nullopt;
    return static_cast<TmsSecurity>(security);
}

}  // namespace

AccountIdentity accountIdentityOf(const TmsRemotePOP& client) {
    return {client.Server, client.UserName,
            securityFor(client.Security, namedPort(client.Server).value_or(client.DefaultPort)), client.SignIn};
}

AccountIdentity storedAccountIdentity(SettingsStore& store, int mailbox, std::uint16_t defaultPort) {
    const std::string n = std::to_string(mailbox);
    const std::string server = store.readString("Server", "Server" + n, "");
    return {server, store.readString("Server", "Mailbox" + n, ""),
            securityFor(storedSecurity(store, mailbox), namedPort(server).value_or(defaultPort)),
            readSignIn(store, mailbox)};
}

void readAccount(SettingsStore& store, TPasswordCipher& cipher, SecretStore* keyring, int mailbox,
                 TmsRemotePOP& client, OAuthAccess* oauth) {
    const std::string n = std::to_string(mailbox);
    client.Server = store.readString("Server", "Server" + n, "");
    client.UserName = store.readString("Server", "Mailbox" + n, "");
    client.Security = storedSecurity(store, mailbox);
    client.SignIn = readSignIn(store, mailbox);
    client.CertificatePin = store.readString("Server", "Certificate" + n, "");
    // A mailbox without a password never inherits the one loaded before it:
    // that would send one server's password to another.
    client.Password.clear();
    client.AccessToken = nullptr;
    if (client.SignIn == TmsSignIn::OAuth2) {
        client.AccessToken = [oauth, mailbox, user = client.UserName](bool renew) -> std::string {
            if (!oauth) throw EOAuthError("OAuth 2.0 sign-in is not available here", false);
            return oauth->accessToken(mailbox, user, renew);
        };
        return;
    }
    AccountSecrets::Password password = AccountSecrets(store, cipher, keyring).read(mailbox);
    if (password.status == SecretStatus::Ok) client.Password = std::move(password.text);
    // Never a guess in its place: a locked keyring is not an empty password.
    else if (password.inKeyring) throw SecretUnavailable(mailbox, password.status);
}

void keepChosenSecurity(SettingsStore& store, ActivityLog* log, int mailbox, const TmsRemotePOP& client) {
    if (!client.Security) return;
    store.writeInteger("Server", "Security" + std::to_string(mailbox), static_cast<int>(*client.Security));
    if (!log) return;
    try {
        log->logSecurityChosen(client.UserName, client.Server);
    } catch (const std::exception& error) {
        std::cerr << "Quorvel: the activity log cannot be written: " << error.what() << "\n";
    }
}

std::string trustCertificateQuestion(int mailbox, const EUntrustedCertificate& refused) {
    const CertificateDetails& c = refused.details();
    return std::string(refused.what()) + ".\n\nIssued to: " + c.subject + "\nIssued by: " + c.issuer +
           "\nValid from " + c.validFrom + " until " + c.validUntil + "\nSHA-256 fingerprint: " + c.fingerprint +
           "\n\nTrust it only if you know it is your provider's own certificate (its fingerprint is the same as "
           "the one your provider gives). Trust this certificate for mailbox " +
           std::to_string(mailbox) + "? No other certificate that the checks refuse will be accepted.";
}

void storeCertificatePin(SettingsStore& store, int mailbox, const std::string& fingerprint) {
    store.writeString("Server", "Certificate" + std::to_string(mailbox), fingerprint);
}

std::string plainConnectionError(const std::string& message, const TmsRemotePOP& client) {
    static const std::string refused = mailErrorText(ECONNREFUSED);
    static const std::string notTls = "The server did not answer with TLS on ";
    const std::string host = splitServer(client.Server).host;
    if (message == refused && !host.empty())
        return refused + " by " + host + " on port " + std::to_string(namedPort(client.Server).value_or(client.DefaultPort)) +
               ": check the server name and port on the Mailboxes page of the General settings, and that the "
               "mail server is running";
    if (message.rfind(notTls, 0) == 0 && message.find(':') == std::string::npos)
        return message +
               ": choose STARTTLS under Security for this port, or write the server's TLS port after its name "
               "(as in pop.example.com:995)";
    return message;
}

int setDeleteMarks(const MessageList& list, TmsRemotePOP& client) {
    TmsRemoteInfo& records = client.RemoteInfo();
    for (int i = 0; i < records.Count(); ++i) client.ClearMarks(i);
    int marked = 0;
    for (std::size_t i = 0; i < list.rows.size(); ++i) {
        if (!isMarkedForDeletion(list.rows[i].stateIndex)) continue;
        ++marked;
        if (static_cast<int>(i) < records.Count()) client.SetDeleteMark(static_cast<int>(i));
    }
    return marked;
}

DeletedSpamRow deletedSpamRowOf(const MessageRow& row) {
    return {row.caption, row.sender, row.size, row.date};
}

std::vector<std::string> whyHeading(const MessageRow& row) {
    return {"Message from " + row.sender, "Subject of   " + row.caption, ""};
}

void closeWhyMemo(std::vector<std::string>& memo, int old, int now) {
    if (memo.size() == 3)
        memo.push_back("Message was neither on the exception list nor on the list of matching criteria");
    if (old == Mark::Delete && now != Mark::Delete) memo.push_back("** You marked this message **");
    if (old == Mark::None && now != Mark::None) memo.push_back("** You un-marked this message **");
}

}  // namespace quorvel
