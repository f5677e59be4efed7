// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

#include <sys/types.h>

// A network of test hosts behind a veth link, inside a namespace of its own: the hosts of
// <prefix>.0/24 are addresses of that namespace, which the kernel there answers; every other
// address of the /24 is routed there too and dropped without a word, as a silent device does.
// On the link itself (startOnLink), the /24 is the link's own subnet instead: this side is
// <prefix>.254, and the hosts answer ARP as the machines of a local network do.
// The namespace ends with this object, and with the process if that dies first.
// Needs root and a private network namespace of the caller (NetworkSandbox::enter).
class PeerNetwork
{
public:
    PeerNetwork() = default;
    ~PeerNetwork();
    PeerNetwork(const PeerNetwork&) = delete;
    PeerNetwork& operator=(const PeerNetwork&) = delete;

    // prefix: the first three octets of the /24, such as "10.77.1"; hosts: the last octets of
    // the answering hosts. False, with the reason, when it cannot be made.
    bool start(const QString& prefix, const QList<int>& hosts, QString* whyNot);
    bool startOnLink(const QString& prefix, const QList<int>& hosts, QString* whyNot);

    // IPv6 beside it, without duplicate address detection (so the addresses work at once): the
    // link is <prefix>::/64 (this side ::1, the peer ::2; fe80::1 and fe80::2 too), the rest of
    // <prefix>::/32 is routed through the peer, and the hosts are <prefix>:1::<host> there (the
    // host number written in hexadecimal, as IPv6 writes it).
    // prefix: the first two groups, such as "fd79:6". After start or startOnLink.
    bool addIpv6(const QString& prefix, const QList<int>& hosts, QString* whyNot);
    QString ipv6Address(int host) const { return m_prefix6 + QStringLiteral(":1::") + QString::number(host, 16); }

    QString address(int host) const { return m_prefix + QLatin1Char('.') + QString::number(host); }

    // One more answering host, address(host) (and ipv6Address(host) after addIpv6), behind the
    // peer rather than in it: in a namespace of its own, on a link of the given MTU, so that
    // the peer routes to it as a router does, and tells a sender whose packets are too large
    // for that link ("fragmentation needed", "packet too big"). After start.
    bool addHostBehind(int host, int mtu, QString* whyNot);

    // Where this side's end of the link is: the link itself, or a port of a bridge (twbr0).
    enum class OnLink { Directly, BridgePort };
    // One IPv6 host on the link instead: this side is fe80::1, the peer fe80::2 and fd77::2
    // (without duplicate address detection, so usable at once), with the hardware address given.
    // Behind a bridge, this side (the bridge) is fe80::1, fd77::1 and 10.77.9.1/24, its port
    // fe80::3, and the peer 10.77.9.2 as well.
    bool startIpv6OnLink(const QString& hardwareAddress, QString* whyNot, OnLink here = OnLink::Directly);
    // Makes one host stop answering, or answer again.
    bool silence(int host);
    bool revive(int host);

    // Runs a command inside the peer namespace.
    bool runInside(const QStringList& command) const;

private:
    bool run(const QStringList& command) const;
    bool makeNamespace(QString* whyNot);
    // A network namespace held by a child of its own, which dies with this process; -1 when
    // none can be had.
    static pid_t holdNamespace();
    bool runIn(pid_t holder, const QStringList& command) const;
    bool linkUp(const QStringList& hereAddress, const QStringList& thereAddress, const QStringList& route,
                const QList<int>& hosts, QString* whyNot);

    QString m_prefix;
    QString m_prefix6;
    pid_t m_holder = -1;
    // The namespace of the host behind the peer, if any.
    pid_t m_behind = -1;
    bool m_bridged = false;
};
