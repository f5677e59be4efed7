// SPDX-License-Identifier: GPL-3.0-or-later
#include "Icmpv6Echo.h"

#include <cstring>
#include <iterator>

namespace Tarnwick {

namespace {

constexpr quint8 EchoRequestType = 128;
constexpr quint8 EchoReplyType = 129;
constexpr quint8 DestinationUnreachableType = 1;
constexpr qsizetype HeaderSize = 8;
constexpr qsizetype PayloadSize = 40;
constexpr qsizetype Ipv6HeaderSize = 40;
constexpr quint8 Icmpv6NextHeader = 58;

quint16 bigEndian16(const char* at)
{
    return quint16(quint8(at[0]) << 8 | quint8(at[1]));
}

} // namespace

QByteArray Icmpv6Echo::request(quint16 id, quint16 sequence)
{
    QByteArray packet(HeaderSize + PayloadSize, '\0');
    writeRequest(reinterpret_cast<std::uint8_t*>(packet.data()), std::size_t(packet.size()), id, sequence);
    return packet;
}

void Icmpv6Echo::writeRequest(std::uint8_t* packet, std::size_t size, quint16 id, quint16 sequence)
{
    const std::uint8_t header[HeaderSize] = {
        EchoRequestType,       0, 0, 0, std::uint8_t(id >> 8), std::uint8_t(id), std::uint8_t(sequence >> 8),
        std::uint8_t(sequence)};
    std::memcpy(packet, header, HeaderSize);
    for (std::size_t i = HeaderSize; i < size; ++i)
        packet[i] = std::uint8_t(0x20 + (i - HeaderSize));
}

std::optional<Icmpv6Echo::Reply> Icmpv6Echo::parseReply(const char* data, qsizetype size)
{
    if (size < HeaderSize || quint8(data[0]) != EchoReplyType || data[1] != 0)
        return std::nullopt;
    return Reply{bigEndian16(data + 4), bigEndian16(data + 6)};
}

std::optional<Icmpv6Echo::Reply> Icmpv6Echo::parseQuotedRequest(const char* data, qsizetype size)
{
    if (size < HeaderSize || quint8(data[0]) != EchoRequestType || data[1] != 0)
        return std::nullopt;
    return Reply{bigEndian16(data + 4), bigEndian16(data + 6)};
}

std::optional<Icmpv6Echo::Error> Icmpv6Echo::parseError(const char* data, qsizetype size)
{
    if (size < HeaderSize + Ipv6HeaderSize + HeaderSize)
        return std::nullopt;
    const quint8 type = quint8(data[0]);
    if (type != DestinationUnreachableType && type != TimeExceededType && type != PacketTooBigType)
        return std::nullopt;
    const char* quoted = data + HeaderSize;
    // An IPv6 header whose next header is ICMPv6: a request with extension headers is not ours.
    if ((quint8(quoted[0]) >> 4) != 6 || quint8(quoted[6]) != Icmpv6NextHeader)
        return std::nullopt;
    const auto request = parseQuotedRequest(quoted + Ipv6HeaderSize, size - HeaderSize - Ipv6HeaderSize);
    if (!request)
        return std::nullopt;
    Error error{type, quint8(data[1]), request->id, request->sequence, {}};
    std::memcpy(error.destination.data(), quoted + 24, 16);
    if (type == PacketTooBigType)
        error.mtu = quint32(bigEndian16(data + 4)) << 16 | bigEndian16(data + 6);
    return error;
}

QString Icmpv6Echo::errorText(quint8 type, quint8 code)
{
    if (type == TimeExceededType)
        return code == 1 ? QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "fragment reassembly time exceeded"))
                         : QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "hop limit exceeded"));
    if (type == PacketTooBigType)
        return QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "packet too big"));
    static const char* const unreachable[] = {
        QT_TRANSLATE_NOOP("Phrases", "no route to destination"),
        QT_TRANSLATE_NOOP("Phrases", "communication administratively prohibited"),
        QT_TRANSLATE_NOOP("Phrases", "beyond scope of source address"),
        QT_TRANSLATE_NOOP("Phrases", "address unreachable"),
        QT_TRANSLATE_NOOP("Phrases", "port unreachable"),
        QT_TRANSLATE_NOOP("Phrases", "source address failed ingress/egress policy"),
        QT_TRANSLATE_NOOP("Phrases", "reject route to destination"),
    };
    return QString::fromLatin1(code < std::size(unreachable) ? unreachable[code]
                                                             : QT_TRANSLATE_NOOP("Phrases", "destination unreachable"));
}

} // namespace Tarnwick
