#include "classify/unknown_domain.h"

#include <charconv>
#include <climits>
#include <exception>

namespace quorvel {

namespace {

constexpr std::size_t kMaxDomain = 255;

std::string asciiLower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// A whole decimal number, optionally signed; anything else counts as 0.
long long counterValue(const std::string& text) {
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+') ++first;
    long long value = 0;
    const auto [end, ec] = std::from_chars(first, last, value);
    if (first == last || ec != std::errc() || end != last) return 0;
    return value;
}

}  // namespace

std::string DomainOf(const std::string& address) {
    const std::size_t at = address.find('@');
    if (at == std::string::npos) return address;
    return address.substr(at + 1, kMaxDomain);
}

std::string domainToTest(const std::string& replyToAddress, const std::string& fromAddress) {
    const std::string replyDomain = DomainOf(replyToAddress);
    return replyDomain.empty() ? DomainOf(fromAddress) : replyDomain;
}

UnknownDomainReason unknownDomainReason(const std::string& domain) {
    return {"Reply to or From (" + domain + ") ", "is an", "Unknown domain", false};
}

std::optional<std::string> UnknownDomainCheck::CheckDomain(const std::string& replyToAddress,
                                                           const std::string& fromAddress) {
    const std::string domain = domainToTest(replyToAddress, fromAddress);
    if (domain.empty() || !qUnknownDomain(domain)) return std::nullopt;
    return domain;
}

bool UnknownDomainCheck::qUnknownDomain(const std::string& domain) {
    const std::string key = asciiLower(domain);
    if (knownGood_.contains(key)) return false;
    if (knownBad_.contains(key)) return true;
    try {
        resolver_.resolveDomain(domain);
    } catch (const std::exception&) {
        // Whatever went wrong, the domain stays unknown for this run.
        bumpUnknown();
        knownBad_.insert(key);
        return true;
    }
    knownGood_.insert(key);
    return false;
}

void UnknownDomainCheck::bumpUnknown() {
    const long long value = counterValue(unknownCount_);
    unknownCount_ = std::to_string(value < LLONG_MAX ? value + 1 : value);
}

void UnknownDomainCheck::btClearClick(Dialogs& dialogs) {
    if (dialogs.messageBox(MessageKind::Confirmation, "Really clear out unknown count?", MessageButtons::YesNo) ==
        ModalResult::Yes)
        unknownCount_.assign(1, '0');  // not = "0": g++ 12 warns falsely (-Wrestrict) on that
}

}  // namespace quorvel
