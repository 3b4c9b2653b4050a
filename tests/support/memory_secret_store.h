#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/secret_store.h"

namespace quorvel::testing {

// A keyring in memory. `answer`, when not Ok, is what every call answers
// instead (a locked keyring, none at all); `calls` records each request, so a
// test can count the prompts a locked keyring would show.
class MemorySecretStore : public SecretStore {
public:
    struct Item {
        std::string label, secret;
    };
    std::map<std::pair<int, SecretKind>, Item> items;
    SecretStatus answer = SecretStatus::Ok;
    // Mailboxes whose writes the keyring refuses (the user cancelled).
    std::vector<int> refuseWrites;
    std::vector<std::string> calls;

    std::string place() const override { return "desktop keyring"; }

    SecretStatus read(int mailbox, SecretKind kind, std::string& secret) override {
        calls.push_back("read " + std::to_string(mailbox));
        if (answer != SecretStatus::Ok) return answer;
        const auto found = items.find({mailbox, kind});
        if (found == items.end()) return SecretStatus::NotFound;
        secret = found->second.secret;
        return SecretStatus::Ok;
    }
    SecretStatus write(int mailbox, SecretKind kind, const std::string& label, const std::string& secret) override {
        calls.push_back("write " + std::to_string(mailbox));
        if (answer != SecretStatus::Ok) return answer;
        for (const int refused : refuseWrites)
            if (refused == mailbox) return SecretStatus::Locked;
        items[{mailbox, kind}] = {label, secret};
        return SecretStatus::Ok;
    }
    SecretStatus remove(int mailbox, SecretKind kind) override {
        calls.push_back("remove " + std::to_string(mailbox));
        if (answer != SecretStatus::Ok) return answer;
        return items.erase({mailbox, kind}) ? SecretStatus::Ok : SecretStatus::NotFound;
    }
    // The password of `mailbox`, "" when the keyring holds none.
    std::string password(int mailbox) const {
        const auto found = items.find({mailbox, SecretKind::Password});
        return found == items.end() ? std::string() : found->second.secret;
    }
};

}  // namespace quorvel::testing
