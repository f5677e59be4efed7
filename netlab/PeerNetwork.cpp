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

} // namespace

PeerNetwork::~PeerNetwork()
{
    if (m_holder > 0) {
        ::kill(m_holder, SIGKILL);
        ::waitpid(m_holder, nullptr, 0);
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
    return run(QStringList{QStringLiteral("nsenter"), QStringLiteral("--net=/proc/%1/ns/net").arg(m_holder)} + command);
}

bool PeerNetwork::start(const QString& prefix, const QList<int>& hosts, QString* whyNot)
{
    m_prefix = prefix;
    int ready[2];
    if (::pipe(ready) != 0) {
        *whyNot = QStringLiteral("pipe failed");
        return false;
    }
    // The namespace lives as long as a child that holds it; the child dies with this process.
    m_holder = ::fork();
    if (m_holder == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        const char result = ::unshare(CLONE_NEWNET) == 0 ? 'y' : 'n';
        (void)!::write(ready[1], &result, 1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char result = 'n';
    const bool gotAnswer = m_holder > 0 && ::read(ready[0], &result, 1) == 1;
    ::close(ready[0]);
    if (!gotAnswer || result != 'y') {
        *whyNot = QStringLiteral("could not make the peer namespace");
        return false;
    }

    const QString here = prefix.section(QLatin1Char('.'), 0, 1) + QStringLiteral(".255.1");
    const QString there = prefix.section(QLatin1Char('.'), 0, 1) + QStringLiteral(".255.2");
    const QString ip = QStringLiteral("ip");
    bool ok = run({ip, "link", "add", LinkHere, "type", "veth", "peer", "name", LinkThere, "netns",
                   QString::number(m_holder)})
        && run({ip, "addr", "add", here + "/30", "dev", LinkHere}) && run({ip, "link", "set", LinkHere, "up"})
        && run({ip, "route", "add", prefix + ".0/24", "via", there}) && runInside({ip, "link", "set", "lo", "up"})
        && runInside({ip, "link", "set", LinkThere, "up"})
        && runInside({ip, "addr", "add", there + "/30", "dev", LinkThere});
    for (int host : hosts)
        ok = ok && revive(host);
    if (!ok)
        *whyNot = QStringLiteral("could not set up the link to the peer namespace");
    return ok;
}

bool PeerNetwork::silence(int host)
{
    return runInside({QStringLiteral("ip"), "addr", "del", address(host) + "/32", "dev", "lo"});
}

bool PeerNetwork::revive(int host)
{
    return runInside({QStringLiteral("ip"), "addr", "add", address(host) + "/32", "dev", "lo"});
}
