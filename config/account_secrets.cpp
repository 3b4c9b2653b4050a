#include "config/account_secrets.h"

namespace quorvel {

namespace {

std::string unavailableText(int mailbox, SecretStatus status) {
    const std::string n = std::to_string(mailbox);
    switch (status) {
    case SecretStatus::Locked:
        return "The desktop keyring is locked: the password of mailbox " + n + " is kept there.";
    case SecretStatus::Unavailable:
        return "No desktop keyring answers: the password of mailbox " + n + " is kept there.";
    default: return "The desktop keyring failed to give the password of mailbox " + n + ".";
    }
}

}  // namespace

SecretStatus KeyringGuard::remember(SecretStatus status) {
    if (status == SecretStatus::Locked || status == SecretStatus::Unavailable) refusal_ = status;
    return status;
}

SecretStatus KeyringGuard::read(int mailbox, SecretKind kind, std::string& secret) {
    return refusal_ != SecretStatus::Ok ? refusal_ : remember(keyring_.read(mailbox, kind, secret));
}

SecretStatus KeyringGuard::write(int mailbox, SecretKind kind, const std::string& label, const std::string& secret) {
    return refusal_ != SecretStatus::Ok ? refusal_ : remember(keyring_.write(mailbox, kind, label, secret));
}

SecretStatus KeyringGuard::remove(int mailbox, SecretKind kind) {
    return refusal_ != SecretStatus::Ok ? refusal_ : remember(keyring_.remove(mailbox, kind));
}

void askKeyringAgain(SecretStore* keyring) {
    if (auto* guard = dynamic_cast<KeyringGuard*>(keyring)) guard->askAgain();
}

std::string secretLabel(int mailbox, SecretKind kind, const std::string& user, const std::string& server) {
    const char* what = kind == SecretKind::Password ? "password" : "sign-in token";
    std::string label = "Quorvel mailbox " + std::to_string(mailbox) + " " + what;
    if (!user.empty() || !server.empty()) label += " (" + user + " on " + server + ")";
    return label;
}

SecretUnavailable::SecretUnavailable(int mailbox, SecretStatus status)
    : std::runtime_error(unavailableText(mailbox, status)), status(status) {}

std::string AccountSecrets::fileName(int mailbox, SecretKind kind) {
    return (kind == SecretKind::Password ? "Passwd" : "OAuthRefresh") + std::to_string(mailbox);
}

AccountSecrets::AccountSecrets(SettingsStore& store, TPasswordCipher& cipher, SecretStore* keyring)
    : store_(store), cipher_(cipher), keyring_(keyring) {}

SecretStatus AccountSecrets::ask(SecretStatus status) {
    if (status == SecretStatus::Locked || status == SecretStatus::Unavailable || status == SecretStatus::Failed)
        refused_ = true;
    return status;
}

AccountSecrets::Password AccountSecrets::read(int mailbox, bool askKeyring, SecretKind kind) {
    Password result;
    const std::string stored = store_.readString("Server", fileName(mailbox, kind), "");
    if (!stored.empty()) {
        result.text = cipher_.decipher(stored);
        result.status = SecretStatus::Ok;
        return result;
    }
    if (!keyring_ || !askKeyring) return result;
    if (refused_) {
        // Asked once already: no second prompt, and no guess either.
        result.status = SecretStatus::Locked;
        result.inKeyring = true;
        return result;
    }
    result.status = ask(keyring_->read(mailbox, kind, result.text));
    result.inKeyring = result.status != SecretStatus::NotFound;
    if (result.status != SecretStatus::Ok) result.text.clear();
    return result;
}

bool AccountSecrets::keep(int mailbox, const std::string& label, const std::string& password, bool useKeyring,
                          SecretKind kind) {
    if (useKeyring && keyringAnswers() && !password.empty() &&
        ask(keyring_->write(mailbox, kind, label, password)) == SecretStatus::Ok) {
        store_.writeString("Server", fileName(mailbox, kind), "");
        return true;
    }
    store_.writeString("Server", fileName(mailbox, kind), cipher_.encipher(password));
    // The file holds the password now; an older item must not outlive it.
    if (keyringAnswers()) ask(keyring_->remove(mailbox, kind));
    return false;
}

int AccountSecrets::moveToKeyring(const std::function<std::string(int mailbox)>& labelOf) {
    int moved = 0;
    for (const SecretKind kind : {SecretKind::Password, SecretKind::RefreshToken}) {
        for (int n = 1; n <= 12 && keyringAnswers(); ++n) {
            const std::string stored = store_.readString("Server", fileName(n, kind), "");
            if (stored.empty()) continue;
            std::string password;
            try {
                password = cipher_.decipher(stored);
            } catch (const std::exception&) {
                continue;  // reported where the accounts are read; it stays as it is
            }
            const std::string number = std::to_string(n);
            const std::string label =
                kind == SecretKind::Password
                    ? labelOf(n)
                    : secretLabel(n, kind, store_.readString("Server", "Mailbox" + number, ""),
                                  store_.readString("Server", "Server" + number, ""));
            if (ask(keyring_->write(n, kind, label, password)) != SecretStatus::Ok) return moved;
            store_.writeString("Server", fileName(n, kind), "");
            ++moved;
        }
    }
    return moved;
}

}  // namespace quorvel
