// SPDX-License-Identifier: GPL-3.0-or-later
#include "DatagramBatch.h"

#include <cerrno>
#include <cstring>

namespace Tarnwick {

DatagramBatch::DatagramBatch()
    : m_slots(Capacity)
    , m_headers(Capacity)
{
}

void DatagramBatch::prepare(int index, std::size_t size, socklen_t peerSize, bool withControl)
{
    Slot& slot = m_slots[std::size_t(index)];
    slot.vector = {slot.data, size};
    msghdr& header = m_headers[std::size_t(index)].msg_hdr;
    header = msghdr{};
    header.msg_name = &slot.peer;
    header.msg_namelen = peerSize;
    header.msg_iov = &slot.vector;
    header.msg_iovlen = 1;
    if (withControl) {
        header.msg_control = slot.control;
        header.msg_controllen = sizeof slot.control;
    }
    m_headers[std::size_t(index)].msg_len = 0;
}

int DatagramBatch::receive(int fd)
{
    for (int i = 0; i < Capacity; ++i)
        prepare(i, DatagramBytes, sizeof(sockaddr_storage), true);
    for (;;) {
        const int received = ::recvmmsg(fd, m_headers.data(), Capacity, MSG_DONTWAIT, nullptr);
        if (received >= 0)
            return received;
        if (errno != EINTR)
            return 0;
    }
}

bool DatagramBatch::add(const std::uint8_t* data, std::size_t size, const sockaddr* to, socklen_t toSize)
{
    if (m_added == Capacity || size > DatagramBytes || toSize > socklen_t(sizeof(sockaddr_storage)))
        return false;
    Slot& slot = m_slots[std::size_t(m_added)];
    std::memcpy(slot.data, data, size);
    std::memcpy(&slot.peer, to, toSize);
    prepare(m_added, size, toSize, false);
    ++m_added;
    return true;
}

int DatagramBatch::sendFrom(int fd, int first)
{
    for (;;) {
        const int sent = ::sendmmsg(fd, m_headers.data() + first, unsigned(m_added - first), 0);
        if (sent > 0 || (sent < 0 && errno != EINTR))
            return sent;
        if (sent == 0) {
            // Nothing left and no error to say why: the first is counted refused.
            errno = EIO;
            return -1;
        }
    }
}

} // namespace Tarnwick
