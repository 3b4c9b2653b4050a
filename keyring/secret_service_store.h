#pragma once

#include <string>

#include "platform/secret_store.h"

namespace quorvel {

// The freedesktop Secret Service (GNOME Keyring, KWallet) through libsecret.
// Items carry the settings folder as `profile`, so two profiles of one user
// keep apart; `mailbox` and `kind` name the item within the profile.
class SecretServiceStore : public SecretStore {
public:
    explicit SecretServiceStore(std::string profile);
    std::string place() const override;
    SecretStatus read(int mailbox, SecretKind kind, std::string& secret) override;
    SecretStatus write(int mailbox, SecretKind kind, const std::string& label, const std::string& secret) override;
    SecretStatus remove(int mailbox, SecretKind kind) override;

private:
    std::string profile_;
};

}  // namespace quorvel
