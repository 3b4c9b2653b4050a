#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quorvel::testing {

// Builds DNS messages for tests piece by piece, so a test reads as the
// message it sends:
//   DnsPacketBuilder b({.id = id, .ancount = 1});
//   b.question("example.test");
//   b.name("example.test").record(15).u16(10).name("mx.example.test").endRecord();
class DnsPacketBuilder {
public:
    struct Header {
        std::uint16_t id = 0;
        std::uint16_t flags = 0x8180;  // a response, recursion desired and available, RCODE 0
        std::uint16_t qdcount = 1;
        std::uint16_t ancount = 0;
        std::uint16_t nscount = 0;
        std::uint16_t arcount = 0;
    };

    explicit DnsPacketBuilder(const Header& header);

    // Where the next octet goes.
    std::size_t offset() const { return bytes_.size(); }
    const std::string& bytes() const { return bytes_; }

    DnsPacketBuilder& u8(unsigned value);
    DnsPacketBuilder& u16(unsigned value);
    DnsPacketBuilder& u32(std::uint32_t value);
    DnsPacketBuilder& raw(const std::string& octets);
    // Overwrites two octets already written.
    DnsPacketBuilder& patchU16(std::size_t at, unsigned value);

    // The labels of a dotted name, without the end of the name.
    DnsPacketBuilder& labels(const std::string& dotted);
    // A compression pointer to `target`; it ends the name.
    DnsPacketBuilder& pointer(std::size_t target);
    // The root octet that ends a name.
    DnsPacketBuilder& end() { return u8(0); }
    // A whole name: its labels and the root octet.
    DnsPacketBuilder& name(const std::string& dotted) { return labels(dotted).end(); }

    // A question for `dotted`, MX and IN unless told otherwise.
    DnsPacketBuilder& question(const std::string& dotted, unsigned type = 15, unsigned cls = 1);
    // After the owner name: type, class IN, a TTL and a length that
    // endRecord fills in once the data is written.
    DnsPacketBuilder& record(unsigned type, std::uint32_t ttl = 3600);
    DnsPacketBuilder& endRecord();
    // A whole MX record with plain names.
    DnsPacketBuilder& mx(const std::string& owner, unsigned preference, const std::string& exchange);

private:
    std::string bytes_;
    std::size_t rdLengthAt_ = 0;
};

// The ID of a query or response.
std::uint16_t dnsId(const std::string& message);

}  // namespace quorvel::testing
