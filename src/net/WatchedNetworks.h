// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "LocalLinks.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

namespace Tarnwick {

// The networks the watch sweeps, from the "Networks to watch" text: IPv4 prefixes, each asked
// address by address, and IPv6 prefixes, which only choose the IPv6 neighbours that count (IPv6
// hosts are found by asking all nodes; no IPv6 prefix is ever swept address by address).
class WatchedNetworks
{
public:
    // The largest IPv4 network one may list: a /16 is 65,534 requests, two minutes at the pace.
    static constexpr int LargestIpv4Prefix = 16;
    // What one round may ask at most, together: the addresses of a /16, in no more than so many
    // networks.
    static constexpr qint64 MaxIpv4Addresses = qint64(1) << (32 - LargestIpv4Prefix);
    static constexpr int MaxPrefixes = 1024;

    struct Ipv4Network
    {
        quint32 network = 0; // host byte order, host bits clear
        int length = 32;
        // "10.0.0.0/24".
        QString text() const;
        bool operator==(const Ipv4Network& other) const = default;
    };

    // Prefixes separated by commas and/or white space, "10.0.0.0/24" or "fd00::/64" (an address
    // alone is a /32 or /128; host bits set are cleared). Empty text: this machine's directly
    // connected networks (directlyConnected) and every IPv6 neighbour. None, with the reason
    // naming the prefix refused, for one that is no prefix or an IPv4 one larger than a /16.
    // The default is read as the interfaces are now: parse again for each round to follow them.
    static std::optional<WatchedNetworks> parse(const QString& text, QString* why);
    // The IPv4 networks of the links that speak ARP, each up to a /22: a larger subnet is
    // narrowed to the /22 around this machine's address, as "Scan my network" narrows it.
    static WatchedNetworks directlyConnected(const LocalLinks& links);

    const QList<Ipv4Network>& ipv4() const { return m_ipv4; }
    // Whether IPv6 neighbours are looked for: by default, or when an IPv6 prefix is listed.
    bool watchesIpv6() const { return m_everyIpv6 || !m_ipv6.isEmpty(); }
    // Whether an IPv6 neighbour ("fd00::5", "fe80::1%eth0") is watched.
    bool watchesIpv6Address(const QString& address) const;
    // The prefixes as they are watched: "10.0.0.0/24", "fd00::/64".
    QStringList texts() const;

private:
    struct Ipv6Prefix
    {
        std::array<quint8, 16> bytes{};
        int length = 128;
        bool operator==(const Ipv6Prefix& other) const = default;
    };

    QList<Ipv4Network> m_ipv4;
    QList<Ipv6Prefix> m_ipv6;
    bool m_everyIpv6 = false;
};

} // namespace Tarnwick
