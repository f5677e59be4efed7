// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>

namespace Tarnwick {

// The ICMP echo request the probe sends and the reply it waits for.
class EchoPacket
{
public:
    static constexpr std::size_t RequestSize = 48;
    using Request = std::array<std::uint8_t, RequestSize>;

    // Type 8, code 0, identifier and sequence least significant byte first, the send time at
    // bytes 12-15 and the payload 0x20..0x3F, with the checksum filled in.
    static Request buildRequest(std::uint16_t identifier, std::uint16_t sequence, std::uint32_t sendTime);
    // The same request with size bytes in all (the ICMP header's 8, then the echo data): the
    // send time as far as it fits, and beyond it the pattern counting on from 0x20 (wrapping
    // at 0xFF).
    static void writeRequest(std::uint8_t* packet, std::size_t size, std::uint16_t identifier, std::uint16_t sequence,
                             std::uint32_t sendTime);

    // RFC 1071 checksum, in the byte order of the data it was summed over.
    static std::uint16_t checksum(const std::uint8_t* data, std::size_t length);

    // What an echo reply carries that tells whose it is.
    struct Reply
    {
        std::uint16_t identifier;
        std::uint16_t sequence;
        std::uint32_t sendTime;
    };

    // The echo reply in a datagram, or nothing when the datagram is no echo reply (type 0, code
    // 0, a whole ICMP header; the send time is 0 where a short one holds none). withIpHeader: the datagram starts
    // with its IPv4 header (raw sockets), whose length is taken from the header; otherwise it
    // starts with the ICMP message.
    static std::optional<Reply> parseReply(const std::uint8_t* data, std::size_t length, bool withIpHeader);

    // An ICMP error about one of our echo requests: the network's answer that it cannot be
    // delivered (destination unreachable) or that its time to live ran out on the way.
    struct Error
    {
        std::uint8_t type;
        std::uint8_t code;
        std::uint16_t identifier; // of the quoted request
        std::uint16_t sequence; // of the quoted request
        std::uint32_t destination; // of the quoted request, network byte order
        // The next hop's MTU that a "fragmentation needed" message gives; 0 otherwise.
        std::uint16_t nextHopMtu = 0;
    };

    // The error in a datagram as a raw socket delivers it (IPv4 header first), or nothing unless
    // it is a destination-unreachable or time-exceeded message that quotes a whole IPv4 header
    // and the first eight bytes of an echo request.
    static std::optional<Error> parseError(const std::uint8_t* data, std::size_t length);
    // The identifier and sequence of the echo request an ICMP error quotes, as a datagram
    // socket's error queue returns it (the request's ICMP header first).
    static std::optional<std::pair<std::uint16_t, std::uint16_t>> parseQuotedRequest(const std::uint8_t* data,
                                                                                     std::size_t length);
    // What an error says, such as "host unreachable"; empty for a type that is not an error.
    static const char* errorText(std::uint8_t type, std::uint8_t code);

    // What the reply to one request must carry.
    struct Expected
    {
        std::uint32_t source; // network byte order
        std::uint16_t identifier;
        std::uint16_t sequence;
        bool checkIdentifier; // false where the kernel chose the identifier itself

        bool accepts(const Reply& reply, std::uint32_t replySource) const
        {
            return replySource == source && reply.sequence == sequence
                && (!checkIdentifier || reply.identifier == identifier);
        }
    };
};

} // namespace Tarnwick
