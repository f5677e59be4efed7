// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ArpPacket.h"

#include <cstdint>
#include <optional>

namespace Tarnwick {

// A packet socket for ARP on every Ethernet link, closed with the object. Opening one takes
// the right to send raw frames (CAP_NET_RAW), which the program has only at start; isOpen()
// is false without it. The frames are the program's own: the kernel learns no neighbour
// from them, so that a scan leaves its neighbour table as it found it.
class ArpSocket
{
public:
    ArpSocket();
    ~ArpSocket();
    ArpSocket(const ArpSocket&) = delete;
    ArpSocket& operator=(const ArpSocket&) = delete;

    int fd() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    // The reason the socket could not be opened, from the system.
    int openError() const { return m_openError; }

    // Broadcasts the request on the link of this interface index.
    bool send(int interfaceIndex, const ArpPacket::Bytes& request);

    struct Received
    {
        ArpPacket::Reply reply;
        int interfaceIndex;
    };
    // The next ARP reply waiting, if any; frames that are no reply are skipped.
    std::optional<Received> receive();

private:
    int m_fd = -1;
    int m_openError = 0;
};

} // namespace Tarnwick
