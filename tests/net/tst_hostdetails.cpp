// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/LocalNetwork.h"
#include "net/NameResolver.h"
#include "net/NeighbourTable.h"
#include "net/OuiRegistry.h"
#include "net/PingHost.h"
#include "net/ProbeEngine.h"
#include "net/ScanRange.h"
#include "netlab/NetworkSandbox.h"
#include "netlab/PeerNetwork.h"

#include "../common/TestFiles.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Tarnwick;

namespace {

quint32 address(const char* dotted)
{
    const QStringList octets = QString::fromLatin1(dotted).split(QLatin1Char('.'));
    quint32 number = 0;
    for (const QString& octet : octets)
        number = number * 256 + octet.toUInt();
    return number;
}

} // namespace

// What discovery learns of a host besides its answer: the range of this computer's network,
// hardware addresses from the kernel's neighbour table, makers from the IEEE registry.
class TestHostDetails : public QObject
{
    Q_OBJECT

private slots:
    void rangeOfTheOwnNetwork_data()
    {
        QTest::addColumn<QString>("own");
        QTest::addColumn<int>("prefix");
        QTest::addColumn<QString>("range"); // "from-to", "narrowed from-to" or "none"
        // What "Scan my network" probes: how many addresses, and the 256th in address order,
        // past an x.y.z.255 that the fields' box would skip.
        QTest::addColumn<int>("hosts");
        QTest::addColumn<QString>("at255");
        QTest::newRow("/24") << "192.168.1.20" << 24 << "192.168.1.1-192.168.1.254" << 254 << "";
        QTest::newRow("/16 narrowed to the /22 around it")
            << "172.16.5.9" << 16 << "narrowed 172.16.4.1-172.16.7.254" << 1022 << "172.16.5.0";
        QTest::newRow("/22 whole") << "10.1.8.77" << 22 << "10.1.8.1-10.1.11.254" << 1022 << "10.1.9.0";
        QTest::newRow("/22 at the top: octets at most 254")
            << "10.0.254.3" << 22 << "10.0.252.1-10.0.254.254" << 1022 << "10.0.253.0";
        QTest::newRow("/30") << "10.9.9.6" << 30 << "10.9.9.5-10.9.9.6" << 2 << "";
        QTest::newRow("/31: both") << "10.9.9.6" << 31 << "10.9.9.6-10.9.9.7" << 2 << "";
        QTest::newRow("/32: itself") << "10.9.9.6" << 32 << "10.9.9.6-10.9.9.6" << 1 << "";
        QTest::newRow("loopback") << "127.0.0.1" << 8 << "none" << 0 << "";
        QTest::newRow("link-local") << "169.254.10.1" << 16 << "none" << 0 << "";
        QTest::newRow("impossible prefix") << "10.0.0.1" << 33 << "none" << 0 << "";
    }

    void rangeOfTheOwnNetwork()
    {
        QFETCH(QString, own);
        QFETCH(int, prefix);
        QFETCH(QString, range);
        QFETCH(int, hosts);
        QFETCH(QString, at255);
        const auto found = LocalNetwork::rangeFor(address(own.toLatin1().constData()), prefix);
        const QString text = !found
            ? QStringLiteral("none")
            : (found->narrowed ? QStringLiteral("narrowed ") : QString()) + found->from + QLatin1Char('-') + found->to;
        QCOMPARE(text, range);
        if (!found)
            return;
        QCOMPARE(found->hosts.size(), hosts);
        QCOMPARE(found->hosts.addressAt(0), found->from);
        if (!at255.isEmpty())
            QCOMPARE(found->hosts.addressAt(255), at255);
    }

    // A prefix on the command line: its host addresses in address order; anything else none.
    void prefixes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("hosts"); // -1: not a prefix
        QTest::addColumn<QString>("last");
        QTest::newRow("/23") << "127.0.4.0/23" << 510 << "127.0.5.254";
        QTest::newRow("any address of it") << "127.0.5.77/23" << 510 << "127.0.5.254";
        QTest::newRow("/31") << "127.0.0.6/31" << 2 << "127.0.0.7";
        QTest::newRow("/32") << "127.0.0.6/32" << 1 << "127.0.0.6";
        QTest::newRow("prefix too long") << "127.0.0.0/33" << -1 << "";
        QTest::newRow("three octets") << "127.0.0/8" << -1 << "";
        QTest::newRow("octet of 256") << "127.0.0.256/24" << -1 << "";
        QTest::newRow("no length") << "127.0.0.0/" << -1 << "";
    }

    void prefixes()
    {
        QFETCH(QString, text);
        QFETCH(int, hosts);
        QFETCH(QString, last);
        const std::optional<ScanRange> range = ScanRange::parsePrefix(text);
        QCOMPARE(range ? int(range->size()) : -1, hosts);
        if (range)
            QCOMPARE(range->addressAt(range->size() - 1), last);
    }

    void defaultRouteInterface_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QString>("interface");
        const QByteArray head = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
        QTest::newRow("default route") << head
                + "eth0\t0001A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"
                  "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
                                       << "wlan0";
        QTest::newRow("no default route") << head + "eth0\t0001A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"
                                          << "";
        QTest::newRow("default route down") << head + "eth0\t00000000\t0101A8C0\t0002\t0\t0\t0\t00000000\t0\t0\t0\n"
                                            << "";
        QTest::newRow("short lines") << head + "eth0 00000000\n"
                                     << "";
    }

    void defaultRouteInterface()
    {
        QFETCH(QByteArray, table);
        QFETCH(QString, interface);
        QCOMPARE(LocalNetwork::defaultRouteInterface(table), interface);
    }

    void neighbourTable()
    {
        const NeighbourTable table = NeighbourTable::parse(
            "IP address       HW type     Flags       HW address            Mask     Device\n"
            "10.0.0.1         0x1         0x2         52:54:00:AB:CD:EF     *        eth0\n"
            "10.0.0.2         0x1         0x0         00:00:00:00:00:00     *        eth0\n"
            "10.0.0.3         0x1         0x2         not-a-mac             *        eth0\n"
            "10.0.0.4 0x1\n");
        QCOMPARE(table.hardwareAddress(QStringLiteral("10.0.0.1")), QStringLiteral("52:54:00:ab:cd:ef"));
        for (const char* ip : {"10.0.0.2", "10.0.0.3", "10.0.0.4", "10.0.0.5"})
            QVERIFY(table.hardwareAddress(QString::fromLatin1(ip)).isEmpty());
    }

    void makers_data()
    {
        QTest::addColumn<QString>("hardware");
        QTest::addColumn<QString>("maker");
        QTest::newRow("known") << "00:00:0c:12:34:56"
                               << "Cisco Systems, Inc";
        QTest::newRow("locally administered, QEMU") << "52:54:00:12:34:56"
                                                    << "random/private";
        QTest::newRow("registered, upper case in the file") << "a4:5e:60:01:02:03"
                                                            << "Apple, Inc.";
        QTest::newRow("unknown") << "00:11:22:33:44:55"
                                 << "";
        QTest::newRow("locally administered") << "02:00:00:00:00:01"
                                              << "random/private";
        QTest::newRow("not an address") << "nonsense"
                                        << "";
    }

    void makers()
    {
        QFETCH(QString, hardware);
        QFETCH(QString, maker);
        QTemporaryDir dir;
        TestFiles::enterEmpty(dir);
        TestFiles::writeFile(QStringLiteral("oui.txt"),
                             "OUI/MA-L\t\t\tOrganization\n"
                             "company_id\t\t\tOrganization\n\n"
                             "00-00-0C   (hex)\t\tCisco Systems, Inc\n"
                             "00000C     (base 16)\t\tCisco Systems, Inc\n"
                             "\t\t\t\t170 West Tasman Drive\n\n"
                             "A4-5E-60   (hex)\t\tApple, Inc.\n"
                             "A4-5E-6    (hex)\t\tbroken line\n");
        QCOMPARE(OuiRegistry(QStringLiteral("oui.txt")).vendor(hardware), maker);
    }

    // In a network of the test's own: a peer whose link has a maker's hardware address, a name
    // from a hosts file that only the tool sees (a mount namespace of its own). The peer answers
    // first, so that the kernel has learnt its hardware address.
    void detailsOfAHostInTheTestsOwnNetwork()
    {
        QString whyNot;
        if (!NetworkSandbox::enter(&whyNot))
            QSKIP(qPrintable(whyNot));
        PeerNetwork network;
        QVERIFY2(network.start(QStringLiteral("10.79.3"), {1}, &whyNot), qPrintable(whyNot));
        QVERIFY(network.runInside({"ip", "link", "set", "dev", "twlab1", "address", "00:00:0c:12:34:56"}));
        const QString gateway = QStringLiteral("10.79.255.2");
        NameResolver resolver;
        ProbeEngine engine(resolver);
        // A fresh link may drop the first echo while it comes up on a loaded machine.
        QTRY_VERIFY_WITH_TIMEOUT(pingHost(engine, gateway, 1000) >= 0, 10000);
        QTemporaryDir dir;
        TestFiles::enterEmpty(dir);
        TestFiles::writeFile(QStringLiteral("hosts"), "127.0.0.1 localhost\n10.79.255.2 gateway.lab.test\n");
        TestFiles::writeFile(QStringLiteral("oui.txt"), "00-00-0C   (hex)\t\tCisco Systems, Inc\n");
        QProcess tool;
        tool.start(QStringLiteral("unshare"),
                   {"--mount", "--propagation", "private", "sh", "-c",
                    QStringLiteral("mount --bind hosts /etc/hosts && exec \"%1\" %2 oui.txt")
                        .arg(QStringLiteral(TARNWICK_HOST_DETAILS_TOOL), gateway)});
        QVERIFY(tool.waitForFinished(10000));
        QCOMPARE(QString::fromUtf8(tool.readAllStandardOutput()),
                 QStringLiteral("gateway.lab.test\t00:00:0c:12:34:56\tCisco Systems, Inc\n"));
    }

    void missingRegistryKnowsNoMaker()
    {
        const OuiRegistry none(QStringLiteral("/nonexistent/oui.txt"));
        QVERIFY(none.isEmpty());
        QCOMPARE(none.vendor(QStringLiteral("00:00:0c:12:34:56")), QString());
        QCOMPARE(none.vendor(QStringLiteral("02:00:00:00:00:01")), QStringLiteral("random/private"));
    }
};

QTEST_GUILESS_MAIN(TestHostDetails)
#include "tst_hostdetails.moc"
