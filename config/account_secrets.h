#pragma once

#include <functional>
#include <stdexcept>
#include <string>

#include "config/password_cipher.h"
#include "config/settings_store.h"
#include "platform/secret_store.h"

namespace quorvel {

// Where a mailbox's password is kept, as the Mailboxes page names it.
inline constexpr const char* kKeyringPlace = "desktop keyring";
inline constexpr const char* kFilePlace = "settings file";

// Overwrites a secret's bytes before its memory is given back.
void wipe(std::string& secret);

// The item's label in the keyring's own program.
std::string secretLabel(int mailbox, SecretKind kind, const std::string& user, const std::string& server);

// The keyring as the program asks it: once it stayed locked (the user
// cancelled its prompt) or did not answer, it answers so again without being
// asked until the user acts again (askKeyringAgain), so a start, a settings
// window or an automatic cycle brings at most one prompt.
class KeyringGuard : public SecretStore {
public:
    explicit KeyringGuard(SecretStore& keyring) : keyring_(keyring) {}
    std::string place() const override { return keyring_.place(); }
    SecretStatus read(int mailbox, SecretKind kind, std::string& secret) override;
    SecretStatus write(int mailbox, SecretKind kind, const std::string& label, const std::string& secret) override;
    SecretStatus remove(int mailbox, SecretKind kind) override;
    void askAgain() { refusal_ = SecretStatus::Ok; }

private:
    SecretStatus remember(SecretStatus status);
    SecretStore& keyring_;
    SecretStatus refusal_ = SecretStatus::Ok;
};

// For a command the user gave: a guarded keyring may prompt again.
void askKeyringAgain(SecretStore* keyring);

// A password or refresh token kept in the keyring that the keyring does not give.
class SecretUnavailable : public std::runtime_error {
public:
    SecretUnavailable(int mailbox, SecretStatus status, SecretKind kind = SecretKind::Password);
    SecretStatus status;
    SecretKind kind;
};

// The passwords of the twelve mailboxes, in the keyring where one answers and
// in the settings file (enciphered) otherwise. The file holds a password only
// while the keyring has not taken it, so the file's password, when there is
// one, is the newer and is read first: a mailbox whose password is still in
// the file never needs the keyring.
class AccountSecrets {
public:
    AccountSecrets(SettingsStore& store, TPasswordCipher& cipher, SecretStore* keyring);

    struct Password {
        std::string text;
        SecretStatus status = SecretStatus::NotFound;  // Ok when `text` is the password
        bool inKeyring = false;                        // the keyring holds it, or may (locked, gone)
    };
    // Throws when the file's password does not decipher. Without
    // `askKeyring` (a mailbox not set up) only the file is read. `kind`
    // RefreshToken reads a mailbox's OAuth 2.0 refresh token the same way.
    Password read(int mailbox, bool askKeyring = true, SecretKind kind = SecretKind::Password);

    // Keeps `password` in the keyring when `useKeyring` and the keyring
    // confirms the write, the file then keeping none; in the file otherwise,
    // and once the file holds it, the keyring's older item is removed.
    // Returns true when the keyring holds it.
    bool keep(int mailbox, const std::string& label, const std::string& password, bool useKeyring,
              SecretKind kind = SecretKind::Password);

    // Removes a mailbox's secret of `kind` from the file and the keyring.
    void forget(int mailbox, SecretKind kind);

    // The settings file's name of a mailbox's secret.
    static std::string fileName(int mailbox, SecretKind kind);

    // Moves every password and refresh token of the file into the keyring. A password leaves
    // the file only after the keyring confirmed it; the first refusal ends
    // the move, so a locked keyring prompts once. Returns how many moved.
    int moveToKeyring(const std::function<std::string(int mailbox)>& labelOf);

    // Brings every secret of `kind` the keyring keeps back into the file;
    // an item goes only once the file holds it. Returns how many moved.
    int moveToFile(SecretKind kind, const std::function<std::string(int mailbox)>& labelOf);

    // Whether the keyring answered and took or gave what was asked; false
    // once it refused, stayed locked or did not answer: it is not asked again.
    bool keyringAnswers() const { return keyring_ != nullptr && refused_ == SecretStatus::Ok; }

private:
    SecretStatus ask(SecretStatus status);

    SettingsStore& store_;
    TPasswordCipher& cipher_;
    SecretStore* keyring_;
    SecretStatus refused_ = SecretStatus::Ok;  // how the keyring last refused
};

}  // namespace quorvel
