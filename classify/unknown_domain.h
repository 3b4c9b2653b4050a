#pragma once

#include <optional>
#include <set>
#include <string>

#include "mail/mx_resolver.h"
#include "platform/dialogs.h"

namespace quorvel {

// What the unknown-domain check needs of the DNS: resolveDomain returns when
// the DNS knows the domain (with or without mail exchangers) and throws when
// it does not, or when it cannot be asked.
class DomainResolver {
public:
    virtual ~DomainResolver() = default;
    virtual void resolveDomain(const std::string& domain) = 0;
};

// The program's MX resolver behind that interface.
class MXDomainResolver : public DomainResolver {
public:
    explicit MXDomainResolver(TmsMXResolver& resolver) : resolver_(resolver) {}
    void resolveDomain(const std::string& domain) override {
        resolver_.Domain = domain;
        resolver_.Resolve();
    }

private:
    TmsMXResolver& resolver_;
};

// The part of an address after its first at sign (at most 255 characters),
// or the whole text when it has none.
std::string DomainOf(const std::string& address);

// The domain a message is tested for, given the address parts of its
// "Reply-to:" and "From:" fields: the reply domain when there is one, else the
// sender domain; empty when neither field names one.
std::string domainToTest(const std::string& replyToAddress, const std::string& fromAddress);

// The inputs of the explanation line for an unknown domain.
struct UnknownDomainReason {
    std::string what;
    std::string op;
    std::string pattern;
    bool caseSensitive = false;
};
UnknownDomainReason unknownDomainReason(const std::string& domain);

// Remembers for the whole program run which domains the DNS knows, so each is
// asked once, and counts the unknown ones found.
class UnknownDomainCheck {
public:
    // `unknownCount` is the counter's text as the spam settings window shows
    // it (edUnknown); it lives as long as this object.
    UnknownDomainCheck(DomainResolver& resolver, std::string& unknownCount)
        : resolver_(resolver), unknownCount_(unknownCount) {}

    // The tested domain when the message names an unknown one, else nothing.
    // No query is made for a message without either field.
    std::optional<std::string> CheckDomain(const std::string& replyToAddress, const std::string& fromAddress);

    // True when the DNS does not know `domain` or could not be asked; any
    // letter case of a domain is asked only once per run.
    bool qUnknownDomain(const std::string& domain);

    // Adds one to the unknown-domain counter.
    void bumpUnknown();
    // Resets the counter to "0" if the user confirms.
    void btClearClick(Dialogs& dialogs);

    // Lower-case domain names, filled by qUnknownDomain.
    const std::set<std::string>& knownGood() const { return knownGood_; }
    const std::set<std::string>& knownBad() const { return knownBad_; }

private:
    DomainResolver& resolver_;
    std::string& unknownCount_;
    std::set<std::string> knownGood_, knownBad_;
};

}  // namespace quorvel
