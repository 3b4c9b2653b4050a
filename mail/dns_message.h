#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quorvel {

// One mail exchanger of a domain.
struct TMXRec {
    std::uint16_t Preference = 0;
    std::string Exchange;  // as read from the answer, ending with "."
};

// The mail exchangers of the last query.
class TMXList {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    const TMXRec& Items(int index) const { return items_.at(static_cast<std::size_t>(index)); }
    void Add(TMXRec rec) { items_.push_back(std::move(rec)); }
    void Clear() { items_.clear(); }
    // Ascending order of preference.
    void Sort();

private:
    std::vector<TMXRec> items_;
};

// The flags word of a DNS header.
struct TQuerySpec {
    std::uint16_t Flags = 0;

    bool QR() const { return (Flags & 0x8000) != 0; }
    int Opcode() const { return (Flags >> 11) & 0xF; }
    bool AA() const { return (Flags & 0x0400) != 0; }
    bool TC() const { return (Flags & 0x0200) != 0; }
    bool RD() const { return (Flags & 0x0100) != 0; }
    bool RA() const { return (Flags & 0x0080) != 0; }
    int RCODE() const { return Flags & 0xF; }

    void setQR(bool on) { setBit(0x8000, on); }
    void setOpcode(int code) { Flags = static_cast<std::uint16_t>((Flags & ~0x7800) | ((code & 0xF) << 11)); }
    void setRD(bool on) { setBit(0x0100, on); }

private:
    void setBit(std::uint16_t bit, bool on) { Flags = static_cast<std::uint16_t>(on ? Flags | bit : Flags & ~bit); }
};

constexpr std::uint16_t kTypeMX = 15;
constexpr std::uint16_t kClassIN = 1;
constexpr std::size_t kHeaderSize = 12;

// Turns `domain` into the question of an MX query, in place: each label
// preceded by its length, the root octet, QTYPE MX and QCLASS IN. A domain
// that would make a malformed question (empty, an empty label, a label over
// 63 octets, a name over 255 octets) raises EResolverError and stays as it was.
void encodeQuestion(std::string& domain);

// The whole query: header with `id` and recursion desired, then `question`.
std::string buildQuery(std::uint16_t id, const std::string& question);

// Reads the name at `pos` of `message`, following compression pointers, and
// moves `pos` past it. Labels are joined with "." after each; the root reads
// as "". A name that runs past the end, loops, points forward or grows too
// long raises EResolverError.
std::string readName(const std::string& message, std::size_t& pos);

// Whether `response` is meant as the answer to the query with `id` and
// `question`: it carries the ID and asks the same question, or it is an error
// response with the ID and no question. Anything else is someone else's
// datagram, or a forged one, and is no answer at all.
bool answersQuery(const std::string& response, std::uint16_t id, const std::string& question);

// Checks a response to the query with `id` and `question` and adds its MX
// records to `list` (unsorted). Every fault raises EResolverError.
void parseResponse(const std::string& response, std::uint16_t id, const std::string& question, TMXList& list);

// The text of a response code other than 0.
std::string rcodeText(int rcode);

}  // namespace quorvel
