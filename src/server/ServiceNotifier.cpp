// SPDX-License-Identifier: GPL-3.0-or-later
#include "ServiceNotifier.h"

#include <QByteArray>
#include <QtGlobal>

#include <cstddef>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace Tarnwick {

void ServiceNotifier::ready()
{
    const QByteArray path = qgetenv("NOTIFY_SOCKET");
    // The socket is the manager's, for this process alone: the alert command and Apprise,
    // started later, do not inherit it.
    qunsetenv("NOTIFY_SOCKET");
    sockaddr_un address = {};
    if (path.isEmpty() || std::size_t(path.size()) >= sizeof address.sun_path)
        return;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
    // A name in the abstract namespace is written with a leading '@'.
    if (address.sun_path[0] == '@')
        address.sun_path[0] = '\0';
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    static const char message[] = "READY=1";
    const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + std::size_t(path.size()));
    // Nothing to do if the manager does not take it: the program runs all the same.
    (void)::sendto(fd, message, sizeof message - 1, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&address), length);
    ::close(fd);
}

} // namespace Tarnwick
