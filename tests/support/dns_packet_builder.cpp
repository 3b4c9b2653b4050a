#include "support/dns_packet_builder.h"

#include <stdexcept>

namespace quorvel::testing {

DnsPacketBuilder::DnsPacketBuilder(const Header& header) {
    u16(header.id).u16(header.flags).u16(header.qdcount).u16(header.ancount).u16(header.nscount).u16(header.arcount);
}

DnsPacketBuilder& DnsPacketBuilder::u8(unsigned value) {
    bytes_ += static_cast<char>(value & 0xFF);
    return *this;
}

DnsPacketBuilder& DnsPacketBuilder::u16(unsigned value) {
    return u8(value >> 8).u8(value);
}

DnsPacketBuilder& DnsPacketBuilder::u32(std::uint32_t value) {
    return u16(value >> 16).u16(value & 0xFFFF);
}

DnsPacketBuilder& DnsPacketBuilder::raw(const std::string& octets) {
    bytes_ += octets;
    return *this;
}

DnsPacketBuilder& DnsPacketBuilder::patchU16(std::size_t at, unsigned value) {
    bytes_.at(at) = static_cast<char>((value >> 8) & 0xFF);
    bytes_.at(at + 1) = static_cast<char>(value & 0xFF);
    return *this;
}

DnsPacketBuilder& DnsPacketBuilder::labels(const std::string& dotted) {
    std::size_t start = 0;
    while (start < dotted.size()) {
        std::size_t dot = dotted.find('.', start);
        if (dot == std::string::npos) dot = dotted.size();
        u8(static_cast<unsigned>(dot - start));
        bytes_.append(dotted, start, dot - start);
        start = dot + 1;
    }
    return *this;
}

DnsPacketBuilder& DnsPacketBuilder::pointer(std::size_t target) {
    if (target > 0x3FFF) throw std::invalid_argument("pointer beyond 14 bits");
    return u16(0xC000 | static_cast<unsigned>(target));
}

DnsPacketBuilder& DnsPacketBuilder::question(const std::string& dotted, unsigned type, unsigned cls) {
    return name(dotted).u16(type).u16(cls);
}

DnsPacketBuilder& DnsPacketBuilder::record(unsigned type, std::uint32_t ttl) {
    u16(type).u16(1).u32(ttl);
    rdLengthAt_ = offset();
    return u16(0);
}

DnsPacketBuilder& DnsPacketBuilder::endRecord() {
    return patchU16(rdLengthAt_, static_cast<unsigned>(offset() - rdLengthAt_ - 2));
}

DnsPacketBuilder& DnsPacketBuilder::mx(const std::string& owner, unsigned preference, const std::string& exchange) {
    return name(owner).record(15).u16(preference).name(exchange).endRecord();
}

std::uint16_t dnsId(const std::string& message) {
    if (message.size() < 2) return 0;
    return static_cast<std::uint16_t>((static_cast<unsigned char>(message[0]) << 8) |
                                      static_cast<unsigned char>(message[1]));
}

}  // namespace quorvel::testing
