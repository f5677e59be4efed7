// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Tarnwick {

// Up to Capacity datagrams of one socket at a time, received together with recvmmsg (each with
// its sender and its ancillary data) or sent together with sendmmsg: a busy turn of the engine
// then makes one system call for them, not one each. Not thread-safe.
class DatagramBatch
{
public:
    static constexpr int Capacity = 64;
    // The largest datagram kept whole: an Ethernet frame's payload.
    static constexpr std::size_t DatagramBytes = 1500;

    DatagramBatch();

    // Receives what waits on the socket, up to Capacity, without blocking: how many came (0 when
    // none waited, or on an error).
    int receive(int fd);
    const std::uint8_t* data(int index) const { return m_slots[std::size_t(index)].data; }
    std::size_t size(int index) const { return m_headers[std::size_t(index)].msg_len; }
    const sockaddr_storage& peer(int index) const { return m_slots[std::size_t(index)].peer; }
    // The datagram's header as recvmsg gives it, for its ancillary data.
    msghdr& header(int index) { return m_headers[std::size_t(index)].msg_hdr; }

    // Adds a datagram to send to the batch; false when it is full (send it first).
    bool add(const std::uint8_t* data, std::size_t size, const sockaddr* to, socklen_t toSize);
    int added() const { return m_added; }
    // Sends what was added, in order, and empties the batch. failed is called with the index of
    // each datagram the socket refused (errno tells why), and the rest are sent regardless.
    template <typename Failed>
    void send(int fd, Failed failed)
    {
        int next = 0;
        while (next < m_added) {
            const int sent = sendFrom(fd, next);
            if (sent < 0)
                failed(next++);
            else
                next += sent;
        }
        m_added = 0;
    }

private:
    struct Slot
    {
        std::uint8_t data[DatagramBytes];
        sockaddr_storage peer;
        // Room for a receive time stamp and more.
        alignas(cmsghdr) char control[128];
        iovec vector;
    };
    // sendmmsg from the datagram at first on: how many left, or -1 if that one was refused.
    int sendFrom(int fd, int first);
    void prepare(int index, std::size_t size, socklen_t peerSize, bool withControl);

    std::vector<Slot> m_slots;
    std::vector<mmsghdr> m_headers;
    int m_added = 0;
};

} // namespace Tarnwick
