#include "IcmpSocket.h"

#include <linux/icmp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Tarnwick {

IcmpSocket::IcmpSocket()
{
    for (int attempt = 0; attempt < 2 && m_fd < 0; ++attempt)
        m_fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (m_fd >= 0) {
        m_raw = true;
        icmp_filter filter{};
        filter.data = ~(1u << ICMP_ECHOREPLY);
        ::setsockopt(m_fd, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
        return;
    }
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
}

IcmpSocket::~IcmpSocket()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

} // namespace Tarnwick
