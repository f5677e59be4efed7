// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace Tarnwick {

// An address the engine can probe: IPv4, or IPv6 with the interface a link-local one is
// reached on (its scope).
class IpAddress
{
public:
    using Ipv6Bytes = std::array<std::uint8_t, 16>;

    IpAddress() = default;
    // networkOrder: the address in network byte order.
    static IpAddress ipv4(std::uint32_t networkOrder);
    static IpAddress ipv6(const Ipv6Bytes& bytes, std::uint32_t scope = 0);
    // The address that numeric text stands for: four-part dotted IPv4, or IPv6 with an optional
    // "%interface" (an interface of this machine, by name or number); none for anything else, names included.
    // An IPv4-mapped IPv6 address is the IPv4 address it carries (DeviceAddress::probed).
    static std::optional<IpAddress> parse(const QString& text);

    bool isIpv6() const { return m_isIpv6; }
    std::uint32_t ipv4() const { return m_ipv4; }
    const Ipv6Bytes& ipv6() const { return m_ipv6; }
    std::uint32_t scope() const { return m_scope; }
    // 127.0.0.0/8 or ::1: this machine itself.
    bool isLoopback() const
    {
        return m_isIpv6 ? m_ipv6 == Ipv6Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}
                        : (reinterpret_cast<const std::uint8_t*>(&m_ipv4)[0] == 127);
    }
    // As the system writes it: dotted, or IPv6's shortest form (without the scope).
    QString toString() const;

    bool operator==(const IpAddress& other) const = default;

private:
    bool m_isIpv6 = false;
    std::uint32_t m_ipv4 = 0;
    Ipv6Bytes m_ipv6{};
    std::uint32_t m_scope = 0;
};

} // namespace Tarnwick
