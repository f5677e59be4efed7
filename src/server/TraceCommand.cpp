// SPDX-License-Identifier: GPL-3.0-or-later
#include "TraceCommand.h"

#include "CommandLine.h"
#include "data/DeviceAddress.h"
#include "net/NameResolver.h"
#include "net/PathTrace.h"
#include "net/ProbeEngine.h"
#include "net/ReverseNameLookup.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>

namespace Tarnwick {

namespace {

// What an echo request of the default size weighs with its IP header.
int packetSize(const IpAddress& destination)
{
    return (destination.isIpv6() ? 40 : 20) + 8 + EchoOptions::DefaultPayloadSize;
}

} // namespace

int TraceCommand::run(int argc, char** argv, const CommandLine& command, ProbeEngine& engine)
{
    QCoreApplication app(argc, argv);
    TraceCommand printer(engine, command.timeoutMs, command.tracePort);
    QMetaObject::invokeMethod(
        &printer, [&] { printer.start(command.traceTarget); }, Qt::QueuedConnection);
    QCoreApplication::exec();
    return printer.m_status;
}

TraceCommand::TraceCommand(ProbeEngine& engine, int timeoutMs, quint16 port)
    : m_engine(engine)
    , m_timeoutMs(timeoutMs)
    , m_port(port)
{
    m_nameWait.setSingleShot(true);
    connect(&m_nameWait, &QTimer::timeout, this, &TraceCommand::printReady);
}

TraceCommand::~TraceCommand() = default;

void TraceCommand::start(const QString& host)
{
    // The addresses the device list refuses (0.0.0.0, ::, fe80::1 without its interface) lead
    // nowhere here either.
    if (const QString problem = DeviceAddress::problem(host); !problem.isEmpty()) {
        std::fprintf(stderr, "cannot trace %s: %s\n", qPrintable(host), qPrintable(problem));
        finish(1);
        return;
    }
    if (!m_port && !m_engine.hasSocket()) {
        std::fprintf(stderr, "cannot trace %s: no ICMP socket (see \"Permission to ping\" in the README)\n",
                     qPrintable(host));
        finish(1);
        return;
    }
    if (const NameResolver::Address numeric = NameResolver::numeric(host)) {
        trace(*numeric, host);
        return;
    }
    m_engine.resolver().resolve(host, 5000, [this, host](const NameResolver::Outcome& outcome) {
        QMetaObject::invokeMethod(
            this,
            [this, host, outcome] {
                if (!outcome.address) {
                    std::fprintf(
                        stderr, "cannot trace %s: %s\n", qPrintable(host),
                        qPrintable(outcome.failure.isEmpty() ? NameResolver::noAnswerInTime() : outcome.failure));
                    finish(1);
                    return;
                }
                trace(*outcome.address, host);
            },
            Qt::QueuedConnection);
    });
}

void TraceCommand::trace(const IpAddress& destination, const QString& host)
{
    // A group, a broadcast or a reserved address has no one path to trace.
    const std::uint32_t ipv4 = destination.ipv4();
    const std::uint8_t first = destination.isIpv6() ? destination.ipv6()[0]
                                                    : reinterpret_cast<const std::uint8_t*>(&ipv4)[0];
    if (destination.isIpv6() ? first == 0xff : (first >= 224 || destination.ipv4() == 0xffffffffu)) {
        std::fprintf(stderr, "cannot trace %s: %s is a multicast, broadcast or reserved address\n", qPrintable(host),
                     qPrintable(destination.toString()));
        finish(1);
        return;
    }
    PathTrace::Options options;
    options.timeoutMs = m_timeoutMs;
    options.tcpPort = m_port;
    if (m_port)
        std::printf("path to %s (%s), %d hops max, TCP port %d\n", qPrintable(host), qPrintable(destination.toString()),
                    options.maxHops, int(m_port));
    else
        std::printf("path to %s (%s), %d hops max, %d byte packets\n", qPrintable(host),
                    qPrintable(destination.toString()), options.maxHops, packetSize(destination));
    std::fflush(stdout);
    m_names = std::make_unique<ReverseNameLookup>();
    connect(m_names.get(), &ReverseNameLookup::nameFound, this, [this](const QString& address, const QString& name) {
        m_namesFound.insert(address, name);
        printReady();
    });
    connect(m_names.get(), &ReverseNameLookup::noNameFound, this, [this](const QString& address) {
        m_namesFound.insert(address, QString());
        printReady();
    });
    m_trace = std::make_unique<PathTrace>(m_engine, destination, options);
    connect(m_trace.get(), &PathTrace::probeAnswered, this, &TraceCommand::printReady);
    connect(m_trace.get(), &PathTrace::finished, this, &TraceCommand::printReady);
    m_trace->start();
}

void TraceCommand::lookUpNewAddresses()
{
    const TraceHops& hops = m_trace->hops();
    for (int hop = m_printed + 1; hop <= hops.lastHop(); ++hop) {
        for (const TraceHops::Probe& probe : hops.hop(hop).probes) {
            if (probe.state != TraceHops::Probe::Answered || m_firstSeen.contains(probe.from))
                continue;
            m_firstSeen[probe.from].start();
            m_names->lookUp(probe.from);
        }
    }
}

bool TraceCommand::namesSettled(int hop)
{
    qint64 longestLeft = 0;
    for (const TraceHops::Probe& probe : m_trace->hops().hop(hop).probes)
        if (probe.state == TraceHops::Probe::Answered && !m_namesFound.contains(probe.from))
            longestLeft = std::max(longestLeft, NameWaitMs - m_firstSeen.value(probe.from).elapsed());
    if (longestLeft <= 0)
        return true;
    if (!m_nameWait.isActive() || m_nameWait.remainingTime() > longestLeft)
        m_nameWait.start(int(longestLeft));
    return false;
}

void TraceCommand::printReady()
{
    const TraceHops& hops = m_trace->hops();
    // Every answering address is looked up as soon as it is seen, not when its hop's turn comes.
    lookUpNewAddresses();
    while (m_printed < hops.lastHop() && hops.hop(m_printed + 1).complete() && namesSettled(m_printed + 1))
        std::printf("%s\n", qPrintable(hopLine(++m_printed)));
    std::fflush(stdout);
    if (!m_trace->isFinished() || m_printed < hops.lastHop())
        return;
    switch (hops.end()) {
    case TraceHops::End::Reached:
        finish(0);
        return;
    case TraceHops::End::NotSent:
        std::fprintf(
            stderr, "cannot trace %s: %s\n", qPrintable(hops.destination()),
            qPrintable(hops.notSentReason().isEmpty() ? QStringLiteral("no ICMP socket") : hops.notSentReason()));
        break;
    case TraceHops::End::HopsUsedUp: {
        const QString loop = hops.loopingAddress();
        if (loop.isEmpty())
            std::printf("no answer from %s within %d hops\n", qPrintable(hops.destination()), hops.maxHops());
        else
            std::printf("the path to %s loops (%s answers again and again): cut at %d hops\n",
                        qPrintable(hops.destination()), qPrintable(loop), hops.maxHops());
        break;
    }
    case TraceHops::End::Unreachable:
        std::printf("%s cannot be reached: %s says so\n", qPrintable(hops.destination()),
                    qPrintable(hops.hop(hops.lastHop()).address()));
        break;
    case TraceHops::End::Open:
        break;
    }
    finish(1);
}

QString TraceCommand::hopLine(int hop) const
{
    // As traceroute writes it: the hop number in two places, then each request's answer, an
    // address only where it differs from the one before.
    QString line = QStringLiteral("%1 ").arg(hop, 2);
    QString shown;
    for (const TraceHops::Probe& probe : m_trace->hops().hop(hop).probes) {
        if (probe.state != TraceHops::Probe::Answered) {
            line += QStringLiteral(" *");
            continue;
        }
        if (probe.from != shown) {
            const QString name = m_namesFound.value(probe.from);
            line += name.isEmpty() ? QStringLiteral(" %1").arg(probe.from)
                                   : QStringLiteral(" %1 (%2)").arg(name, probe.from);
            shown = probe.from;
        }
        line += QStringLiteral("  %1 ms").arg(double(probe.roundTripUs) / 1000.0, 0, 'f', 3);
        if (!probe.mark.isEmpty())
            line += QLatin1Char(' ') + probe.mark;
    }
    return line;
}

void TraceCommand::finish(int status)
{
    m_status = status;
    std::fflush(stdout);
    QCoreApplication::quit();
}

} // namespace Tarnwick
