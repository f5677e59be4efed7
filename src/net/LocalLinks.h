// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ArpPacket.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace Tarnwick {

// The IPv4 networks this machine is directly connected to over Ethernet links that speak
// ARP: where an address can be asked for by ARP instead of through a router.
class LocalLinks
{
public:
    struct Link
    {
        int interfaceIndex = 0;
        ArpPacket::HardwareAddress hardware{};
        std::uint32_t address = 0; // this machine's, network byte order
        std::uint32_t mask = 0; // network byte order
    };

    // The links as the interfaces are set up now.
    static LocalLinks current();
    static LocalLinks of(std::vector<Link> links) { return LocalLinks(std::move(links)); }

    // The link that reaches an address (network byte order) directly; none for addresses
    // behind a router, for this machine's own addresses, and for a network's own and
    // broadcast addresses, which no single host answers for.
    std::optional<Link> linkFor(std::uint32_t address) const;
    // One per IPv4 address of each link.
    const std::vector<Link>& links() const { return m_links; }

private:
    explicit LocalLinks(std::vector<Link> links = {})
        : m_links(std::move(links))
    {
    }

    std::vector<Link> m_links;
};

} // namespace Tarnwick
