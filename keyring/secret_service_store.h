#pragma once

#include <chrono>
#include <string>

#include "platform/secret_store.h"

namespace quorvel {

// The freedesktop Secret Service (GNOME Keyring, KWallet) through libsecret.
// Items carry the settings folder as `profile`, so two profiles of one user
// keep apart; `mailbox` and `kind` name the item within the profile.
class SecretServiceStore : public SecretStore {
public:
    // Never: a locked item or collection answers Locked at once, without the
    // keyring's unlock prompt (a program that nobody watches).
    enum class Prompts { Allowed, Never };
    // How long the service may take to answer the first contact of a call.
    static constexpr std::chrono::milliseconds kFirstAnswerLimit{3000};
    explicit SecretServiceStore(std::string profile, Prompts prompts = Prompts::Allowed);
    std::string place() const override;
    SecretStatus read(int mailbox, SecretKind kind, std::string& secret) override;
    SecretStatus write(int mailbox, SecretKind kind, const std::string& label, const std::string& secret) override;
    SecretStatus remove(int mailbox, SecretKind kind) override;

private:
    std::string profile_;
    Prompts prompts_;
};

}  // namespace quorvel
