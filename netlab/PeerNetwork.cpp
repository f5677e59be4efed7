// SPDX-License-Identifier: GPL-3.0-or-later
#include "PeerNetwork.h"

#include <QProcess>

#include <csignal>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The link's two ends, on a /30 of their own beside the hosts' /24.
constexpr const char* LinkHere = "twlab0";
constexpr const char* LinkThere = "twlab1";
// The bridge this side's end is a port of, where the test asks for one.
constexpr const char* Bridge = "twbr0";

} // namespace

PeerNetwork::~PeerNetwork()
{
    if (m_holder > 0) {
        // The link would go with the namespace, but only some time later: gone now, a next
        // network of the same process can take its name.
        run({QStringLiteral("ip"), "link", "del", LinkHere});
        if (m_bridged)
            run({QStringLiteral("ip"), "link", "del", Bridge});
        ::kill(m_holder, SIGKILL);
        ::waitpid(m_holder, nullptr, 0);
    }
    if (m_behind > 0) {
        ::kill(m_behind, SIGKILL);
        ::waitpid(m_behind, nullptr, 0);
    }
}

bool PeerNetwork::run(const QStringList& command) const
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(command.first(), command.mid(1));
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool PeerNetwork::runInside(const QStringList& command) const
{
    return runIn(m_holder, command);
}

bool PeerNetwork::runIn(pid_t holder, const QStringList& command) const
{
    return run(QStringList{QStringLiteral("nsenter"), QStringLiteral("--net=/proc/%1/ns/net").arg(holder)} + command);
}

bool PeerNetwork::makeNamespace(QString* whyNot)
{
    m_holder = holdNamespace();
    if (m_holder < 0) {
        *whyNot = QStringLiteral("could not make the peer namespace");
        return false;
    }
    return true;
}

pid_t PeerNetwork::holdNamespace()
{
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    // The namespace lives as long as a child that holds it; the child dies with this process.
    const pid_t holder = ::fork();
    if (holder == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        const char result = ::unshare(CLONE_NEWNET) == 0 ? 'y' : 'n';
        (void)!::write(ready[1], &result, 1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char result = 'n';
    const bool gotAnswer = holder > 0 && ::read(ready[0], &result, 1) == 1;
    ::close(ready[0]);
    if (!gotAnswer || result != 'y') {
        if (holder > 0) {
            ::kill(holder, SIGKILL);
            ::waitpid(holder, nullptr, 0);
        }
        return -1;
    }
    return holder;
}

bool PeerNetwork::addHostBehind(int host, int mtu, QString* whyNot)
{
    m_behind = holdNamespace();
    const QString ip = QStringLiteral("ip");
    const QString mtuText = QString::number(mtu);
    const QString net = m_prefix.section(QLatin1Char('.'), 0, 1);
    // The far link's ends: the peer's .254.1, the host's .254.2.
    bool ok = m_behind > 0
        && runInside({ip, "link", "add", "twfar0", "mtu", mtuText, "type", "veth", "peer", "name", "twfar1", "mtu",
                      mtuText, "netns", QString::number(m_behind)})
        && runInside({ip, "addr", "add", net + ".254.1/30", "dev", "twfar0"})
        && runInside({ip, "link", "set", "twfar0", "up"})
        && runInside({ip, "route", "add", address(host) + "/32", "via", net + ".254.2"})
        && runInside({"sysctl", "-qw", "net.ipv4.ip_forward=1"}) && runIn(m_behind, {ip, "link", "set", "lo", "up"})
        && runIn(m_behind, {ip, "link", "set", "twfar1", "up"})
        && runIn(m_behind, {ip, "addr", "add", net + ".254.2/30", "dev", "twfar1"})
        && runIn(m_behind, {ip, "addr", "add", address(host) + "/32", "dev", "lo"})
        && runIn(m_behind, {ip, "route", "add", "default", "via", net + ".254.1"});
    if (ok && !m_prefix6.isEmpty())
        ok = runInside({ip, "-6", "addr", "add", m_prefix6 + ":fe::1/64", "dev", "twfar0", "nodad"})
            && runInside({ip, "-6", "route", "add", ipv6Address(host) + "/128", "via", m_prefix6 + ":fe::2"})
            && runInside({"sysctl", "-qw", "net.ipv6.conf.all.forwarding=1"})
            && runIn(m_behind, {ip, "-6", "addr", "add", m_prefix6 + ":fe::2/64", "dev", "twfar1", "nodad"})
            && runIn(m_behind, {ip, "-6", "addr", "add", ipv6Address(host) + "/128", "dev", "lo"})
            && runIn(m_behind, {ip, "-6", "route", "add", "default", "via", m_prefix6 + ":fe::1"});
    if (!ok)
        *whyNot = QStringLiteral("could not set up the host behind the peer");
    return ok;
}

// hereAddress and thereAddress: the "ip addr add" arguments of each end, if any; route: the
// "ip route add" arguments, here and there, that lead to the hosts.
bool PeerNetwork::linkUp(const QStringList& hereAddress, const QStringList& thereAddress, const QStringList& route,
                         const QList<int>& hosts, QString* whyNot)
{
    const QString ip = QStringLiteral("ip");
    bool ok = run({ip, "link", "add", LinkHere, "type", "veth", "peer", "name", LinkThere, "netns",
                   QString::number(m_holder)})
        && run(QStringList{ip, "addr", "add"} + hereAddress + QStringList{"dev", LinkHere})
        && run({ip, "link", "set", LinkHere, "up"}) && runInside({ip, "link", "set", "lo", "up"})
        && runInside({ip, "link", "set", LinkThere, "up"});
    if (!thereAddress.isEmpty())
        ok = ok && runInside(QStringList{ip, "addr", "add"} + thereAddress + QStringList{"dev", LinkThere});
    if (route.size() == 2)
        ok = ok && run({ip, "route", "add", route[0], "via", route[1]});
    else
        ok = ok && runInside({ip, "route", "add", route[0], "dev", LinkThere});
    for (int host : hosts)
        ok = ok && revive(host);
    if (!ok)
        *whyNot = QStringLiteral("could not set up the link to the peer namespace");
    return ok;
}

bool PeerNetwork::start(const QString& prefix, const QList<int>& hosts, QString* whyNot)
{
    m_prefix = prefix;
    if (!makeNamespace(whyNot))
        return false;
    const QString here = prefix.section(QLatin1Char('.'), 0, 1) + QStringLiteral(".255.1");
    const QString there = prefix.section(QLatin1Char('.'), 0, 1) + QStringLiteral(".255.2");
    return linkUp({here + "/30"}, {there + "/30"}, {prefix + ".0/24", there}, hosts, whyNot);
}

bool PeerNetwork::startOnLink(const QString& prefix, const QList<int>& hosts, QString* whyNot)
{
    m_prefix = prefix;
    if (!makeNamespace(whyNot))
        return false;
    // The hosts' addresses sit on the peer's loopback, and it answers ARP for them on the link.
    return linkUp({prefix + ".254/24"}, {}, {prefix + ".0/24"}, hosts, whyNot);
}

bool PeerNetwork::addIpv6(const QString& prefix, const QList<int>& hosts, QString* whyNot)
{
    m_prefix6 = prefix;
    const QString ip = QStringLiteral("ip");
    bool ok = run({ip, "-6", "addr", "add", prefix + "::1/64", "dev", LinkHere, "nodad"})
        && run({ip, "-6", "addr", "add", "fe80::1/64", "dev", LinkHere, "nodad"})
        && runInside({ip, "-6", "addr", "add", prefix + "::2/64", "dev", LinkThere, "nodad"})
        && runInside({ip, "-6", "addr", "add", "fe80::2/64", "dev", LinkThere, "nodad"})
        && run({ip, "-6", "route", "add", prefix + "::/32", "via", prefix + "::2"})
        // The hosts' other addresses drop what comes for them without a word, as silent devices do.
        && runInside({ip, "-6", "route", "add", "blackhole", prefix + ":1::/64"});
    for (int host : hosts)
        ok = ok && runInside({ip, "-6", "addr", "add", ipv6Address(host) + "/128", "dev", "lo"});
    if (!ok)
        *whyNot = QStringLiteral("could not give the link IPv6 addresses");
    return ok;
}

bool PeerNetwork::startIpv6OnLink(const QString& hardwareAddress, QString* whyNot, OnLink here)
{
    if (!makeNamespace(whyNot))
        return false;
    const QString ip = QStringLiteral("ip");
    m_bridged = here == OnLink::BridgePort;
    // This side's addresses are the bridge's where its end is a port; the port keeps a
    // link-local address of its own, as ports do.
    const QString hereLink = QString::fromLatin1(m_bridged ? Bridge : LinkHere);
    bool ok = run({ip, "link", "add", LinkHere, "type", "veth", "peer", "name", LinkThere, "netns",
                   QString::number(m_holder)})
        && run({ip, "link", "set", LinkHere, "addrgenmode", "none"});
    if (m_bridged)
        ok = ok && run({ip, "link", "add", Bridge, "type", "bridge"})
            && run({ip, "link", "set", Bridge, "addrgenmode", "none"})
            && run({ip, "link", "set", LinkHere, "master", Bridge})
            && run({ip, "addr", "add", "fe80::3/64", "dev", LinkHere, "nodad"})
            && run({ip, "addr", "add", "fd77::1/64", "dev", Bridge, "nodad"})
            && run({ip, "addr", "add", "10.77.9.1/24", "dev", Bridge}) && run({ip, "link", "set", Bridge, "up"})
            && runInside({ip, "addr", "add", "10.77.9.2/24", "dev", LinkThere});
    ok = ok && run({ip, "addr", "add", "fe80::1/64", "dev", hereLink, "nodad"})
        && run({ip, "link", "set", LinkHere, "up"})
        && runInside({ip, "link", "set", LinkThere, "address", hardwareAddress})
        && runInside({ip, "link", "set", LinkThere, "addrgenmode", "none"})
        && runInside({ip, "addr", "add", "fe80::2/64", "dev", LinkThere, "nodad"})
        && runInside({ip, "addr", "add", "fd77::2/64", "dev", LinkThere, "nodad"})
        && runInside({ip, "link", "set", LinkThere, "up"});
    if (!ok) {
        *whyNot = QStringLiteral("could not set up the IPv6 link to the peer namespace");
        return false;
    }
    // A new link drops what is sent over it for a moment; the peer answers once it carries.
    // Then this side forgets the peer again, so that a test sees what the kernel learns anew.
    bool carries = false;
    for (int attempt = 0; attempt < 10 && !carries; ++attempt)
        carries = run(
            {QStringLiteral("ping"), "-6", "-n", "-q", "-c", "1", "-W", "1", QStringLiteral("fe80::2%") + hereLink});
    if (!carries || !run({ip, "-6", "neigh", "flush", "dev", hereLink})) {
        *whyNot = QStringLiteral("the IPv6 link to the peer namespace carries nothing");
        return false;
    }
    return true;
}

bool PeerNetwork::silence(int host)
{
    return runInside({QStringLiteral("ip"), "addr", "del", address(host) + "/32", "dev", "lo"});
}

bool PeerNetwork::revive(int host)
{
    return runInside({QStringLiteral("ip"), "addr", "add", address(host) + "/32", "dev", "lo"});
}
