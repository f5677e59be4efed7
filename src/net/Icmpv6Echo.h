// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <optional>

namespace Tarnwick {

// ICMPv6 echo messages as an ICMPv6 socket sends and receives them: without the IPv6 header,
// whose checksum over the pseudo-header the kernel fills in.
class Icmpv6Echo
{
public:
    struct Reply
    {
        quint16 id = 0;
        quint16 sequence = 0;
    };

    // An echo request with this identifier and sequence number, the checksum left to the kernel.
    static QByteArray request(quint16 id, quint16 sequence);
    // The identifier and sequence number of an echo reply; none for anything else (other ICMPv6
    // messages, requests, short messages).
    static std::optional<Icmpv6Echo::Reply> parseReply(const char* data, qsizetype size);
};

} // namespace Tarnwick
