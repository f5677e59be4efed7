// SPDX-License-Identifier: GPL-3.0-or-later
#include "Icmpv6Echo.h"

namespace Tarnwick {

namespace {

constexpr char EchoRequestType = char(128);
constexpr unsigned char EchoReplyType = 129;
constexpr qsizetype HeaderSize = 8;

quint16 bigEndian16(const char* at)
{
    return quint16(quint16(static_cast<unsigned char>(at[0])) << 8 | static_cast<unsigned char>(at[1]));
}

} // namespace

QByteArray Icmpv6Echo::request(quint16 id, quint16 sequence)
{
    // Type, code, checksum (the kernel's), identifier, sequence number.
    QByteArray message(HeaderSize, '\0');
    message[0] = EchoRequestType;
    message[4] = char(id >> 8);
    message[5] = char(id & 0xFF);
    message[6] = char(sequence >> 8);
    message[7] = char(sequence & 0xFF);
    return message;
}

std::optional<Icmpv6Echo::Reply> Icmpv6Echo::parseReply(const char* data, qsizetype size)
{
    if (!data || size < HeaderSize || static_cast<unsigned char>(data[0]) != EchoReplyType || data[1] != 0)
        return std::nullopt;
    return Reply{bigEndian16(data + 4), bigEndian16(data + 6)};
}

} // namespace Tarnwick
