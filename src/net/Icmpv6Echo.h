// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace Tarnwick {

// The ICMPv6 echo request the probe sends, and what comes back for it: the echo reply, or an
// error (destination unreachable, time exceeded) that quotes the request. Sockets deliver
// ICMPv6 messages without their IPv6 header, and the kernel fills in the checksum (it covers
// the IPv6 addresses, which only the kernel knows for certain).
class Icmpv6Echo
{
public:
    // Type 128, code 0, identifier and sequence in network byte order, the payload 0x20..0x47;
    // the checksum is left to the kernel.
    static QByteArray request(quint16 id, quint16 sequence);
    // The same request with size bytes in all (the header's 8, then the echo data counting on
    // from 0x20, wrapping at 0xFF).
    static void writeRequest(std::uint8_t* packet, std::size_t size, quint16 id, quint16 sequence);

    struct Reply
    {
        quint16 id;
        quint16 sequence;
    };
    // The echo reply in an ICMPv6 message; none for anything else.
    static std::optional<Reply> parseReply(const char* data, qsizetype size);

    struct Error
    {
        quint8 type;
        quint8 code;
        quint16 id; // of the quoted request
        quint16 sequence; // of the quoted request
        std::array<std::uint8_t, 16> destination; // of the quoted request
        // The MTU that a "packet too big" message gives; 0 otherwise.
        quint32 mtu = 0;
    };
    static constexpr quint8 PacketTooBigType = 2;
    static constexpr quint8 TimeExceededType = 3;
    // A destination-unreachable, packet-too-big or time-exceeded message that quotes the IPv6
    // header and the first eight bytes of an echo request; none for anything else.
    static std::optional<Error> parseError(const char* data, qsizetype size);
    // The identifier and sequence of the echo request at the start of data, as a datagram
    // socket's error queue returns it.
    static std::optional<Reply> parseQuotedRequest(const char* data, qsizetype size);
    // What an error says, such as "address unreachable".
    static QString errorText(quint8 type, quint8 code);
};

} // namespace Tarnwick
