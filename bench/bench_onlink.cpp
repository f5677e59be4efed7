// SPDX-License-Identifier: GPL-3.0-or-later
// Discovery on the local link, inside a namespace network of its own: a /24 on a veth link
// with 5 hosts that answer ARP but drop every echo request, time-out 1000 ms. "tarnwick --scan"
// next to arp-scan and nmap -sn on the same addresses in the same run, and the kernel's
// neighbour entries before and after our scan. Needs root.
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
    const int before = neighbourEntries();
    const ToolRun ours = runTool(QStringLiteral(TARNWICK_EXECUTABLE), {"--scan", Prefix + ".0/24"});
    const int after = neighbourEntries();
    const int present = captured(QStringLiteral("Present without echo reply: (\\d+)"), ours.output);
    const ToolRun arpScan = runTool(QStringLiteral("arp-scan"),
                                    {"-q", "-x", "-r", "1", "-I", "twlab0", Prefix + ".0/24"});
    const ToolRun nmap = runTool(QStringLiteral("nmap"), {"-sn", "-n", "--max-retries", "0", Prefix + ".1-254"});
    const int nmapUp = captured(QStringLiteral("\\((\\d+) hosts? up\\)"), nmap.output);
    std::printf("on-link /24, 5 hosts dropping echo: tarnwick --scan %d present in %.2f s, neighbour entries %d -> %d; "
                "arp-scan %d in %.2f s; nmap -sn %d in %.2f s\n",
                present, ours.seconds, before, after, int(arpScan.output.count('\n')), arpScan.seconds, nmapUp,
                nmap.seconds);
    if (ours.seconds >= 0 && present >= 0)
        std::printf("@ onlink_scan_s %.3f\n@ onlink_present %d\n@ onlink_neighbours_added %d\n", ours.seconds, present,
                    after - before);
    if (arpScan.seconds >= 0)
        std::printf("@ arpscan_s %.3f\n@ arpscan_found %d\n", arpScan.seconds, int(arpScan.output.count('\n')));
    if (nmap.seconds >= 0 && nmapUp >= 0)
        std::printf("@ nmap_onlink_s %.3f\n@ nmap_onlink_found %d\n", nmap.seconds, nmapUp);
    return 0;
}
