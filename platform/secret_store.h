#pragma once

#include <string>

namespace quorvel {

// Where a mailbox's secrets live: the desktop keyring where one answers, the
// settings store otherwise. One item per mailbox and kind.
enum class SecretKind { Password, RefreshToken };

enum class SecretStatus {
    Ok,
    NotFound,
    Locked,       // the keyring stayed locked (or the user cancelled its prompt)
    Unavailable,  // no keyring answers (no session bus, no service)
    Failed,       // the keyring answered with an error
};

class SecretStore {
public:
    virtual ~SecretStore() = default;
    // The place shown to the user: "desktop keyring" or "settings file".
    virtual std::string place() const = 0;
    virtual SecretStatus read(int mailbox, SecretKind kind, std::string& secret) = 0;
    // `label` is what the keyring's own program shows for the item.
    virtual SecretStatus write(int mailbox, SecretKind kind, const std::string& label, const std::string& secret) = 0;
    virtual SecretStatus remove(int mailbox, SecretKind kind) = 0;
};

}  // namespace quorvel
