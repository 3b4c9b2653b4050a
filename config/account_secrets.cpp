#include "config/account_secrets.h"

namespace quorvel {

namespace {

std::string unavailableText(int mailbox, SecretStatus status, SecretKind kind) {
    const std::string what =
        (kind == SecretKind::Password ? "the password of mailbox " : "the sign-in of mailbox ") + std::to_string(mailbox);
    switch (status) {
    case SecretStatus::Locked: return "The desktop keyring is locked: " + what + " is kept there.";
    case SecretStatus::Unavailable: return "No desktop keyring answers: " + what + " is kept there.";
    default: return "The desktop keyring failed to give " + what + ".";
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

void wipe(std::string& secret) {
    // Through a volatile pointer, so the stores are not left out as dead.
    volatile char* bytes = secret.data();
    for (std::size_t i = 0; i < secret.size(); ++i) bytes[i] = 0;
    secret.clear();
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

SecretUnavailable::SecretUnavailable(int mailbox, SecretStatus status, SecretKind kind)
    : std::runtime_error(unavailableText(mailbox, status, kind)), status(status), kind(kind) {}

std::string AccountSecrets::fileName(int mailbox, SecretKind kind) {
    return (kind == SecretKind::Password ? "Passwd" : "OAuthRefresh") + std::to_string(mailbox);
}

AccountSecrets::AccountSecrets(SettingsStore& store, TPasswordCipher& cipher, SecretStore* keyring)
    : store_(store), cipher_(cipher), keyring_(keyring) {}

SecretStatus AccountSecrets::ask(SecretStatus status) {
    if (status == SecretStatus::Locked || status == SecretStatus::Unavailable || status == SecretStatus::Failed)
        refused_ = status;
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
    if (refused_ != SecretStatus::Ok) {
        // Asked once already: no second prompt, and no guess either.
        result.status = refused_;
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
    const std::string enciphered = cipher_.encipher(password);
    store_.writeString("Server", fileName(mailbox, kind), enciphered);
    // A file that cannot be read takes no write, silently: the keyring's item
    // goes only once the file is seen to hold the password.
    if (store_.readString("Server", fileName(mailbox, kind), "") != enciphered) return keyringAnswers();
    // The file holds the password now; an older item must not outlive it.
    if (keyringAnswers()) ask(keyring_->remove(mailbox, kind));
    return false;
}

void AccountSecrets::forget(int mailbox, SecretKind kind) {
    store_.writeString("Server", fileName(mailbox, kind), "");
    if (keyringAnswers()) ask(keyring_->remove(mailbox, kind));
}

int AccountSecrets::moveToFile(SecretKind kind, const std::function<std::string(int mailbox)>& labelOf) {
    int moved = 0;
    for (int n = 1; n <= 12 && keyringAnswers(); ++n) {
        if (!store_.readString("Server", fileName(n, kind), "").empty()) continue;
        std::string secret;
        if (ask(keyring_->read(n, kind, secret)) != SecretStatus::Ok) continue;
        if (!secret.empty() && !keep(n, labelOf(n), secret, false, kind)) ++moved;
        wipe(secret);
    }
    return moved;
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
            const SecretStatus written = ask(keyring_->write(n, kind, label, password));
            wipe(password);
            if (written != SecretStatus::Ok) return moved;
            store_.writeString("Server", fileName(n, kind), "");
            ++moved;
        }
    }
    return moved;
}

}  // namespace quorvel
