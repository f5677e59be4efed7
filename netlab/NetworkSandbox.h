// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// Puts the calling test process into a network namespace of its own, with only loopback up,
// so that no probe and no name look-up leaves the machine. Needs root; threads and child
// processes started afterwards share the namespace, which ends with the process.
class NetworkSandbox
{
public:
    // False (with the reason) where no private namespace can be had.
    static bool enter(QString* whyNot);
    static bool isActive();

    // Writes a sysctl of this namespace, such as "net/ipv4/icmp_echo_ignore_all".
    static bool setSysctl(const QString& name, const QString& value);
    // Shows this text as /etc/hosts to this process (and the threads and children it starts
    // afterwards), in mounts of its own: names of the test's hosts, for the test alone. Inside
    // the private network only.
    static bool useHostsFile(const QByteArray& text);
};
