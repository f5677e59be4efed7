// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>

#include <sys/socket.h>

namespace Tarnwick {

// Where a connection reaches an HTTP server of ours that listens at "a.b.c.d:port" or
// "[v6]:port" (loopback for a wildcard address), so that it can be woken as it stops.
class ServerDoor
{
public:
    ServerDoor() = default;
    ServerDoor(const QString& listen, int port);

    // Runs stopServer, which ends the server, while knocking at the door until it has
    // returned: the HTTP server's listener looks at its stop flag only when a connection
    // comes in, or after two seconds of waiting for one, and quitting would sit that out.
    void stopWhileKnocking(const std::function<void()>& stopServer) const;

    // Why a socket cannot be bound at the door (its port is taken, say), in the system's words;
    // empty when it can. For a server that would not start, whose library says less.
    QString bindProblem() const;

private:
    void knock() const;

    sockaddr_storage m_door = {};
};

} // namespace Tarnwick
