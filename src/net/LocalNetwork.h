// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ScanRange.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace Tarnwick {

// This computer's own IPv4 network, as "Scan my network" scans it: the first address of the
// interface that the default route leaves by, and the range of its subnet.
class LocalNetwork
{
public:
    // The largest subnet scanned whole; a larger one is scanned as the /22 around this
    // computer's address.
    static constexpr int LargestPrefix = 22;

    struct Range
    {
        QString from;
        QString to;
        bool narrowed = false; // the subnet was larger than a /22
        ScanRange hosts; // every address from "from" to "to", in address order
    };

    // The addresses to scan for an interface address (host byte order) and its prefix length:
    // the subnet without its network and broadcast addresses (a /31 both, a /32 the address
    // alone). None for loopback and link-local addresses and impossible prefixes.
    static std::optional<Range> rangeFor(quint32 address, int prefixLength);
    // The interface of the default route in the text of /proc/net/route; empty when none.
    static QString defaultRouteInterface(const QByteArray& routeTable);
    // This computer's range; none, with the reason in why, when it has none to offer.
    static std::optional<Range> ofDefaultRoute(QString* why = nullptr);
};

} // namespace Tarnwick
