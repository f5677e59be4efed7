// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace Tarnwick {

// Tells a service manager that started the program with a notification socket (systemd's
// Type=notify, through NOTIFY_SOCKET) that the program is ready: its signal handlers are in
// place and the monitor runs, so that "systemctl start" returns then and a "reload" sent right
// after it finds the program listening. Nothing without such a socket.
class ServiceNotifier
{
public:
    static void ready();
};

} // namespace Tarnwick
