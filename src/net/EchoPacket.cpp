// SPDX-License-Identifier: GPL-3.0-or-later
#include "EchoPacket.h"

#include <cstring>

namespace Tarnwick {

namespace {

constexpr std::uint8_t EchoRequestType = 8;
constexpr std::uint8_t EchoReplyType = 0;
constexpr std::size_t IcmpHeaderAndTime = 16;

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
    Request r{};
    r[0] = EchoRequestType;
    r[1] = 0;
    putLittleEndian16(&r[4], identifier);
    putLittleEndian16(&r[6], sequence);
    for (int i = 0; i < 4; ++i)
        r[12 + i] = static_cast<std::uint8_t>(sendTime >> (8 * i));
    for (std::size_t i = 0; i < 32; ++i)
        r[16 + i] = static_cast<std::uint8_t>(0x20 + i);
    const std::uint16_t sum = checksum(r.data(), r.size());
    std::memcpy(&r[2], &sum, 2);
    return r;
}

std::optional<EchoPacket::Reply> EchoPacket::parseReply(const std::uint8_t* data, std::size_t length, bool withIpHeader)
{
    std::size_t offset = 0;
    if (withIpHeader) {
        if (length < 20 || (data[0] >> 4) != 4)
            return std::nullopt;
        offset = static_cast<std::size_t>(data[0] & 0x0F) * 4;
        if (offset < 20)
            return std::nullopt;
    }
    if (length < offset || length - offset < IcmpHeaderAndTime)
        return std::nullopt;
    const std::uint8_t* icmp = data + offset;
    if (icmp[0] != EchoReplyType || icmp[1] != 0)
        return std::nullopt;
    return Reply{littleEndian16(icmp + 4), littleEndian16(icmp + 6), littleEndian32(icmp + 12)};
}

} // namespace Tarnwick
