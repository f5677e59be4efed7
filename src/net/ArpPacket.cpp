// SPDX-License-Identifier: GPL-3.0-or-later
#include "ArpPacket.h"

#include <cstring>

namespace Tarnwick {

namespace {

// Hardware type Ethernet, protocol type IPv4, address lengths 6 and 4.
constexpr std::uint8_t Header[6] = {0x00, 0x01, 0x08, 0x00, 6, 4};
constexpr std::uint8_t RequestOpcode = 1;
constexpr std::uint8_t ReplyOpcode = 2;

} // namespace

ArpPacket::Bytes ArpPacket::buildRequest(const HardwareAddress& senderHardware, std::uint32_t senderAddress,
                                         std::uint32_t targetAddress)
{
    Bytes packet{};
    std::memcpy(packet.data(), Header, sizeof Header);
    packet[7] = RequestOpcode;
    std::memcpy(&packet[8], senderHardware.data(), 6);
    std::memcpy(&packet[14], &senderAddress, 4);
    // The target's hardware address is what is asked for: all zeroes.
    std::memcpy(&packet[24], &targetAddress, 4);
    return packet;
}

std::uint64_t ArpPacket::number(const HardwareAddress& hardware)
{
    std::uint64_t value = 0;
    for (const std::uint8_t octet : hardware)
        value = (value << 8) | octet;
    return value;
}

std::optional<ArpPacket::Reply> ArpPacket::parseReply(const std::uint8_t* data, std::size_t length)
{
    if (length < Size || std::memcmp(data, Header, sizeof Header) != 0 || data[6] != 0 || data[7] != ReplyOpcode)
        return std::nullopt;
    Reply reply{};
    std::memcpy(reply.senderHardware.data(), data + 8, 6);
    std::memcpy(&reply.senderAddress, data + 14, 4);
    std::memcpy(&reply.targetAddress, data + 24, 4);
    return reply;
}

} // namespace Tarnwick
