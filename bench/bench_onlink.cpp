// SPDX-License-Identifier: GPL-3.0-or-later
// Discovery on the local link, inside a namespace network of its own: a /24 and a /22 on a veth
// link, each with 5 hosts that answer ARP but drop every echo request, time-out 1000 ms.
// "tarnwick --scan" next to arp-scan and nmap -sn on the same addresses in the same run, and
// the kernel's neighbour entries before and after our scan. Needs root.
#include "BenchTool.h"
#include "netlab/NetworkSandbox.h"
#include "netlab/PeerNetwork.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <cstdio>

namespace {

const QString Prefix = QStringLiteral("10.77.3");
const QList<int> Hosts = {10, 20, 30, 40, 50};

int neighbourEntries()
{
    QFile table(QStringLiteral("/proc/net/arp"));
    return table.open(QIODevice::ReadOnly) ? int(table.readAll().count('\n')) - 1 : -1;
}

int captured(const QString& pattern, const QByteArray& text)
{
    const QRegularExpressionMatch match = QRegularExpression(pattern).match(QString::fromUtf8(text));
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

// Scans the prefix with each tool and prints what each found, as "@ <key>_<figure>" lines.
void compare(const QString& name, const QString& prefix, const QString& key)
{
    const int before = neighbourEntries();
    const ToolRun ours = runTool(QStringLiteral(TARNWICK_EXECUTABLE), {"--scan", prefix});
    const int after = neighbourEntries();
    const int present = captured(QStringLiteral("Present without echo reply: (\\d+)"), ours.output);
    const ToolRun arpScan = runTool(QStringLiteral("arp-scan"), {"-q", "-x", "-r", "1", "-I", "twlab0", prefix});
    const ToolRun nmap = runTool(QStringLiteral("nmap"), {"-sn", "-n", "--max-retries", "0", prefix});
    const int nmapUp = captured(QStringLiteral("\\((\\d+) hosts? up\\)"), nmap.output);
    const int arpFound = int(arpScan.output.count('\n'));
    std::printf("on-link %s, 5 hosts dropping echo: tarnwick --scan %d present in %.2f s, neighbour entries %d -> %d; "
                "arp-scan %d in %.2f s; nmap -sn %d in %.2f s\n",
                qPrintable(name), present, ours.seconds, before, after, arpFound, arpScan.seconds, nmapUp,
                nmap.seconds);
    const QByteArray k = key.toLatin1();
    if (ours.seconds >= 0 && present >= 0)
        std::printf("@ %s_scan_s %.3f\n@ %s_present %d\n@ %s_neighbours_added %d\n", k.constData(), ours.seconds,
                    k.constData(), present, k.constData(), after - before);
    if (arpScan.seconds >= 0)
        std::printf("@ %s_arpscan_s %.3f\n@ %s_arpscan_found %d\n", k.constData(), arpScan.seconds, k.constData(),
                    arpFound);
    if (nmap.seconds >= 0 && nmapUp >= 0)
        std::printf("@ %s_nmap_s %.3f\n@ %s_nmap_found %d\n", k.constData(), nmap.seconds, k.constData(), nmapUp);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QString whyNot;
    PeerNetwork network;
    if (!NetworkSandbox::enter(&whyNot) || !network.startOnLink(Prefix, Hosts, &whyNot)
        || !network.runInside({"sysctl", "-qw", "net.ipv4.icmp_echo_ignore_all=1"})) {
        std::fprintf(stderr, "bench_onlink: %s\n", qPrintable(whyNot));
        return 1;
    }
    compare(QStringLiteral("/24"), Prefix + ".0/24", QStringLiteral("onlink"));
    // The /22 beside it on the same link: 10.77.4.0 to 10.77.7.255, its hosts spread over it.
    bool wide = QProcess::execute(QStringLiteral("ip"), {"addr", "add", "10.77.7.254/22", "dev", "twlab0"}) == 0;
    for (const char* host : {"10.77.4.10", "10.77.5.0", "10.77.5.255", "10.77.6.20", "10.77.7.30"})
        wide = wide && network.runInside({"ip", "addr", "add", QString::fromLatin1(host) + "/22", "dev", "twlab1"});
    if (!wide) {
        std::fprintf(stderr, "bench_onlink: the /22 could not be set up\n");
        return 1;
    }
    compare(QStringLiteral("/22"), QStringLiteral("10.77.4.0/22"), QStringLiteral("onlink22"));
    return 0;
}
