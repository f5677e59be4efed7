// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace Tarnwick {

// The ARP request that asks who has an IPv4 address on an Ethernet link, and the reply that
// answers it, as a packet socket of type SOCK_DGRAM carries them (without the Ethernet header).
class ArpPacket
{
public:
    static constexpr std::size_t Size = 28;
    using Bytes = std::array<std::uint8_t, Size>;
    using HardwareAddress = std::array<std::uint8_t, 6>;

    // "Who has target? Tell sender": addresses in network byte order.
    static Bytes buildRequest(const HardwareAddress& senderHardware, std::uint32_t senderAddress,
                              std::uint32_t targetAddress);

    struct Reply
    {
        HardwareAddress senderHardware;
        std::uint32_t senderAddress; // who answered, network byte order
        std::uint32_t targetAddress; // whom it answered, network byte order
    };

    // The six octets as one number, the first octet highest (ProbeResult::hardwareAddress).
    static std::uint64_t number(const HardwareAddress& hardware);

    // The reply in a frame, or nothing unless it is a whole Ethernet/IPv4 ARP reply.
    static std::optional<Reply> parseReply(const std::uint8_t* data, std::size_t length);
};

} // namespace Tarnwick
