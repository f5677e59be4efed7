// SPDX-License-Identifier: GPL-3.0-or-later
#include "EchoPacket.h"

#include <QtGlobal>

#include <algorithm>
#include <cstring>
#include <iterator>

namespace Tarnwick {

namespace {

constexpr std::uint8_t EchoRequestType = 8;
constexpr std::uint8_t EchoReplyType = 0;
constexpr std::size_t IcmpHeaderAndTime = 16;
constexpr std::uint8_t DestinationUnreachableType = 3;
constexpr std::uint8_t TimeExceededType = 11;
constexpr std::uint8_t FragmentationNeededCode = 4;
constexpr std::size_t IcmpHeader = 8;
constexpr std::uint8_t IcmpProtocol = 1;

void putLittleEndian16(std::uint8_t* at, std::uint16_t value)
{
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

std::uint16_t littleEndian16(const std::uint8_t* at)
{
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

std::uint32_t littleEndian32(const std::uint8_t* at)
{
    return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8)
        | (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

// The length of the IPv4 header at the start of data, or 0 when there is no whole one.
std::size_t ipv4HeaderLength(const std::uint8_t* data, std::size_t length)
{
    if (length < 20 || (data[0] >> 4) != 4)
        return 0;
    const std::size_t header = static_cast<std::size_t>(data[0] & 0x0F) * 4;
    return header >= 20 && header <= length ? header : 0;
}

} // namespace

std::uint16_t EchoPacket::checksum(const std::uint8_t* data, std::size_t length)
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < length; i += 2) {
        std::uint16_t word;
        std::memcpy(&word, data + i, 2);
        sum += word;
    }
    if (length % 2) {
        std::uint16_t word = 0;
        std::memcpy(&word, data + length - 1, 1);
        sum += word;
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

EchoPacket::Request EchoPacket::buildRequest(std::uint16_t identifier, std::uint16_t sequence, std::uint32_t sendTime)
{
    Request r;
    writeRequest(r.data(), r.size(), identifier, sequence, sendTime);
    return r;
}

void EchoPacket::writeRequest(std::uint8_t* packet, std::size_t size, std::uint16_t identifier, std::uint16_t sequence,
                              std::uint32_t sendTime)
{
    std::uint8_t header[IcmpHeaderAndTime] = {EchoRequestType};
    putLittleEndian16(&header[4], identifier);
    putLittleEndian16(&header[6], sequence);
    for (int i = 0; i < 4; ++i)
        header[12 + i] = static_cast<std::uint8_t>(sendTime >> (8 * i));
    std::memcpy(packet, header, std::min(size, sizeof header));
    for (std::size_t i = IcmpHeaderAndTime; i < size; ++i)
        packet[i] = static_cast<std::uint8_t>(0x20 + (i - IcmpHeaderAndTime));
    const std::uint16_t sum = checksum(packet, size);
    std::memcpy(&packet[2], &sum, 2);
}

std::optional<EchoPacket::Reply> EchoPacket::parseReply(const std::uint8_t* data, std::size_t length, bool withIpHeader)
{
    std::size_t offset = 0;
    if (withIpHeader) {
        offset = ipv4HeaderLength(data, length);
        if (offset == 0)
            return std::nullopt;
    }
    if (length < offset || length - offset < IcmpHeader)
        return std::nullopt;
    const std::uint8_t* icmp = data + offset;
    if (icmp[0] != EchoReplyType || icmp[1] != 0)
        return std::nullopt;
    // The send time travels in the echo data, which a request with less than eight bytes of
    // it does not carry.
    const std::uint32_t sendTime = length - offset >= IcmpHeaderAndTime ? littleEndian32(icmp + 12) : 0;
    return Reply{littleEndian16(icmp + 4), littleEndian16(icmp + 6), sendTime};
}

std::optional<std::pair<std::uint16_t, std::uint16_t>> EchoPacket::parseQuotedRequest(const std::uint8_t* data,
                                                                                      std::size_t length)
{
    if (length < IcmpHeader || data[0] != EchoRequestType || data[1] != 0)
        return std::nullopt;
    return std::pair{littleEndian16(data + 4), littleEndian16(data + 6)};
}

std::optional<EchoPacket::Error> EchoPacket::parseError(const std::uint8_t* data, std::size_t length)
{
    const std::size_t outer = ipv4HeaderLength(data, length);
    if (outer == 0 || length - outer < IcmpHeader)
        return std::nullopt;
    const std::uint8_t* icmp = data + outer;
    if (icmp[0] != DestinationUnreachableType && icmp[0] != TimeExceededType)
        return std::nullopt;
    const std::uint8_t* quoted = icmp + IcmpHeader;
    const std::size_t quotedLength = length - outer - IcmpHeader;
    const std::size_t inner = ipv4HeaderLength(quoted, quotedLength);
    if (inner == 0 || quoted[9] != IcmpProtocol)
        return std::nullopt;
    const auto request = parseQuotedRequest(quoted + inner, quotedLength - inner);
    if (!request)
        return std::nullopt;
    Error error{icmp[0], icmp[1], request->first, request->second, 0};
    std::memcpy(&error.destination, quoted + 16, 4);
    if (icmp[0] == DestinationUnreachableType && icmp[1] == FragmentationNeededCode)
        error.nextHopMtu = static_cast<std::uint16_t>(icmp[6] << 8 | icmp[7]);
    return error;
}

const char* EchoPacket::errorText(std::uint8_t type, std::uint8_t code)
{
    if (type == TimeExceededType)
        return code == 1 ? QT_TRANSLATE_NOOP("Phrases", "fragment reassembly time exceeded")
                         : QT_TRANSLATE_NOOP("Phrases", "time to live exceeded");
    if (type != DestinationUnreachableType)
        return "";
    static const char* const unreachable[] = {
        QT_TRANSLATE_NOOP("Phrases", "network unreachable"),
        QT_TRANSLATE_NOOP("Phrases", "host unreachable"),
        QT_TRANSLATE_NOOP("Phrases", "protocol unreachable"),
        QT_TRANSLATE_NOOP("Phrases", "port unreachable"),
        QT_TRANSLATE_NOOP("Phrases", "fragmentation needed"),
        QT_TRANSLATE_NOOP("Phrases", "source route failed"),
        QT_TRANSLATE_NOOP("Phrases", "destination network unknown"),
        QT_TRANSLATE_NOOP("Phrases", "destination host unknown"),
        QT_TRANSLATE_NOOP("Phrases", "source host isolated"),
        QT_TRANSLATE_NOOP("Phrases", "network administratively prohibited"),
        QT_TRANSLATE_NOOP("Phrases", "host administratively prohibited"),
        QT_TRANSLATE_NOOP("Phrases", "network unreachable for type of service"),
        QT_TRANSLATE_NOOP("Phrases", "host unreachable for type of service"),
        QT_TRANSLATE_NOOP("Phrases", "communication administratively prohibited"),
        QT_TRANSLATE_NOOP("Phrases", "host precedence violation"),
        QT_TRANSLATE_NOOP("Phrases", "precedence cutoff in effect"),
    };
    return code < std::size(unreachable) ? unreachable[code] : QT_TRANSLATE_NOOP("Phrases", "destination unreachable");
}

} // namespace Tarnwick
