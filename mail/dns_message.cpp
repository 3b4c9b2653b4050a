#include "mail/dns_message.h"

#include <utility>

#include "mail/mail_errors.h"

namespace quorvel {

namespace {

constexpr std::size_t kMaxLabel = 63;
constexpr std::size_t kMaxNameOctets = 255;

const char* const kIncomplete = "The domain server's response is incomplete";
const char* const kBadName = "The domain server's response holds an invalid name";
const char* const kBadRecord = "The domain server's response holds an invalid record";
const char* const kOtherIds = "IDs in the query and response are different";

// The response ended before what its header announced. A truncated answer
// (TC set) keeps what was read up to there.
class EResponseIncomplete : public EResolverError {
public:
    EResponseIncomplete() : EResolverError(kIncomplete) {}
};

std::uint16_t u16At(const std::string& message, std::size_t pos) {
    if (pos + 2 > message.size()) throw EResponseIncomplete();
    return static_cast<std::uint16_t>((static_cast<unsigned char>(message[pos]) << 8) |
                                      static_cast<unsigned char>(message[pos + 1]));
}

void appendU16(std::string& out, std::uint16_t value) {
    out += static_cast<char>(value >> 8);
    out += static_cast<char>(value & 0xFF);
}

bool equalsIgnoringAsciiCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// Reads the question at `pos` of `response`, moves `pos` past it and tells
// whether it is `question`, the name compared without regard to case.
bool asksQuestion(const std::string& response, std::size_t& pos, const std::string& question) {
    const std::string askedName = readName(response, pos);
    const std::uint16_t askedType = u16At(response, pos);
    const std::uint16_t askedClass = u16At(response, pos + 2);
    pos += 4;
    std::size_t ourPos = 0;
    const std::string ourName = readName(question, ourPos);
    return equalsIgnoringAsciiCase(askedName, ourName) && askedType == u16At(question, ourPos) &&
           askedClass == u16At(question, ourPos + 2);
}

}  // namespace

void TMXList::Sort() {
    // Each position takes the lowest preference that follows it.
    for (std::size_t i = 0; i < items_.size(); ++i) {
        std::uint16_t lowest = items_[i].Preference;
        for (std::size_t j = i + 1; j < items_.size(); ++j) {
            if (items_[j].Preference < lowest) {
                lowest = items_[j].Preference;
                std::swap(items_[i], items_[j]);
            }
        }
    }
}

void encodeQuestion(std::string& domain) {
    // Each label's length is one octet and a 0 octet ends the name, so empty
    // and overlong labels would make a query that asks something else.
    bool valid = !domain.empty() && domain.size() + 2 <= kMaxNameOctets;
    std::size_t labelLength = 0;
    for (std::size_t i = 0; valid && i <= domain.size(); ++i) {
        if (i == domain.size() || domain[i] == '.') {
            valid = labelLength > 0;
            labelLength = 0;
        } else if (++labelLength > kMaxLabel) {
            valid = false;
        }
    }
    if (!valid) throw EResolverError("'" + domain + "' is not a valid domain name");

    domain.insert(domain.begin(), '.');
    std::size_t count = 0;
    for (std::size_t i = domain.size(); i-- > 0;) {
        if (domain[i] == '.') {
            domain[i] = static_cast<char>(count);
            count = 0;
        } else {
            ++count;
        }
    }
    domain += '\0';
    appendU16(domain, kTypeMX);
    appendU16(domain, kClassIN);
}

std::string buildQuery(std::uint16_t id, const std::string& question) {
    TQuerySpec flags;
    flags.setOpcode(0);
    flags.setRD(true);
    std::string query;
    query.reserve(kHeaderSize + question.size());
    appendU16(query, id);
    appendU16(query, flags.Flags);
    appendU16(query, 1);  // QDCOUNT
    appendU16(query, 0);  // ANCOUNT
    appendU16(query, 0);  // NSCOUNT
    appendU16(query, 0);  // ARCOUNT
    query += question;
    return query;
}

std::string readName(const std::string& message, std::size_t& pos) {
    std::string name;
    std::size_t at = pos;
    bool jumped = false;
    // A pointer must lead below the part of the name read since the last
    // jump: the targets fall with every jump, so no chain of pointers can
    // loop, and a pointer to itself or forward is refused.
    std::size_t segmentStart = pos;
    std::size_t octets = 1;  // the root octet
    for (;;) {
        if (at >= message.size()) throw EResponseIncomplete();
        const auto length = static_cast<unsigned char>(message[at]);
        if ((length & 0xC0) == 0xC0) {
            if (at + 1 >= message.size()) throw EResponseIncomplete();
            const std::size_t target = (static_cast<std::size_t>(length & 0x3F) << 8) |
                                       static_cast<unsigned char>(message[at + 1]);
            if (target >= segmentStart) throw EResolverError(kBadName);
            if (!jumped) pos = at + 2;
            jumped = true;
            segmentStart = target;
            at = target;
            continue;
        }
        // The two other prefixes are label types nobody uses.
        if (length > kMaxLabel) throw EResolverError(kBadName);
        if (length == 0) {
            if (!jumped) pos = at + 1;
            return name;
        }
        if (at + 1 + length > message.size()) throw EResponseIncomplete();
        octets += 1 + length;
        if (octets > kMaxNameOctets) throw EResolverError(kBadName);
        name.append(message, at + 1, length);
        name += '.';
        at += 1 + length;
    }
}

std::string rcodeText(int rcode) {
    switch (rcode) {
    case 1: return "Domain server was unable to interpret a query";
    case 2: return "Domain server failure";
    case 3: return "Domain name does not exist";
    case 4: return "Not implemented";
    case 5: return "Domain server refused to return the information";
    default: return "Domain server Error #" + std::to_string(rcode);
    }
}

bool answersQuery(const std::string& response, std::uint16_t id, const std::string& question) {
    if (response.size() < kHeaderSize || u16At(response, 0) != id) return false;
    const TQuerySpec flags{u16At(response, 2)};
    if (flags.RCODE() != 0 && u16At(response, 4) == 0) return true;
    std::size_t pos = kHeaderSize;
    try {
        return asksQuestion(response, pos, question);
    } catch (const EResolverError&) {
        return false;
    }
}

void parseResponse(const std::string& response, std::uint16_t id, const std::string& question, TMXList& list) {
    if (response.size() < kHeaderSize) throw EResponseIncomplete();
    const std::uint16_t responseId = u16At(response, 0);
    const TQuerySpec flags{u16At(response, 2)};
    const std::uint16_t questionCount = u16At(response, 4);
    const std::uint16_t answerCount = u16At(response, 6);

    if (responseId != id) throw EResolverError(kOtherIds);
    if (!flags.QR()) throw EResolverError("This is not a response");
    // Some servers leave the question out of an error response.
    if (flags.RCODE() != 0 && questionCount == 0) throw EResolverError(rcodeText(flags.RCODE()));

    // One question, which must be ours: an answer to something else is no
    // answer, however it came to carry our ID.
    std::size_t pos = kHeaderSize;
    if (!asksQuestion(response, pos, question)) throw EResolverError(kOtherIds);

    if (flags.RCODE() != 0) throw EResolverError(rcodeText(flags.RCODE()));

    for (int i = 0; i < answerCount; ++i) {
        try {
            readName(response, pos);  // the owner
            const std::uint16_t type = u16At(response, pos);
            const std::uint16_t rdLength = u16At(response, pos + 8);
            pos += 10;
            const std::size_t rdataEnd = pos + rdLength;
            if (rdataEnd > response.size()) throw EResponseIncomplete();
            if (type == kTypeMX) {
                if (rdLength < 3) throw EResolverError(kBadRecord);
                TMXRec rec;
                rec.Preference = u16At(response, pos);
                std::size_t namePos = pos + 2;
                rec.Exchange = readName(response, namePos);
                if (namePos > rdataEnd) throw EResolverError(kBadRecord);
                list.Add(std::move(rec));
            }
            pos = rdataEnd;
        } catch (const EResponseIncomplete&) {
            // A truncated answer counts as far as it goes.
            if (!flags.TC()) throw;
            break;
        }
    }
}

}  // namespace quorvel
