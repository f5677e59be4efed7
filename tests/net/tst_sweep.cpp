// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/NameResolver.h"
#include "net/NeighbourFinder.h"
#include "net/NetworkSweep.h"
#include "net/OuiRegistry.h"
#include "net/ProbeEngine.h"
#include "netlab/NetworkSandbox.h"
#include "netlab/PeerNetwork.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <arpa/inet.h>

using namespace Tarnwick;

class TestSweep : public QObject
{
    Q_OBJECT

    bool m_sandbox = false;
    QString m_whyNoSandbox;

private slots:
    void initTestCase() { m_sandbox = NetworkSandbox::enter(&m_whyNoSandbox); }

    // What the "Networks to watch" text watches, as the prefixes it keeps, or why it is refused.
    void networksToWatchAreParsed_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("watched");
        QTest::addColumn<QString>("why");
        QTest::addColumn<bool>("ipv6");
        QTest::newRow("commas, spaces and lines") << "10.0.0.0/24, 10.0.1.0/24\n 192.168.4.0/22,,"
                                                  << "10.0.0.0/24 10.0.1.0/24 192.168.4.0/22"
                                                  << "" << false;
        QTest::newRow("host bits cleared, repeats once") << "10.0.0.77/24 10.0.0.0/24 fd00::1:2/64 fd00::/64"
                                                         << "10.0.0.0/24 fd00::/64"
                                                         << "" << true;
        QTest::newRow("an address alone") << "10.0.0.5 fd00::5"
                                          << "10.0.0.5/32 fd00::5/128"
                                          << "" << true;
        QTest::newRow("a /16 is the largest") << "10.1.2.3/16"
                                              << "10.1.0.0/16"
                                              << "" << false;
        QTest::newRow("larger than a /16") << "10.0.0.0/24 10.0.0.0/8"
                                           << ""
                                           << "10.0.0.0/8 is larger than a /16; list its parts instead" << false;
        QTest::newRow("IPv6 may be large") << "fd00::/8"
                                           << "fd00::/8"
                                           << "" << true;
        QTest::newRow("no length") << "10.0.0.0/"
                                   << ""
                                   << "\"10.0.0.0/\" is not a network such as 10.0.0.0/24" << false;
        QTest::newRow("length too long") << "10.0.0.0/33"
                                         << ""
                                         << "\"10.0.0.0/33\" is not a network such as 10.0.0.0/24" << false;
        QTest::newRow("three octets") << "10.0.0/24"
                                      << ""
                                      << "\"10.0.0/24\" is not a network such as 10.0.0.0/24" << false;
        QTest::newRow("a name") << "router"
                                << ""
                                << "\"router\" is not a network such as 10.0.0.0/24" << false;
        QTest::newRow("IPv6 length too long") << "fd00::/129"
                                              << ""
                                              << "\"fd00::/129\" is not a network such as fd00::/64" << false;
        QTest::newRow("more than a /16 together") << "10.1.0.0/16 10.2.0.0/24"
                                                  << ""
                                                  << "the networks hold 65792 addresses, more than the 65536 of a /16; "
                                                     "list fewer"
                                                  << false;
        QTest::newRow("a long one named in part")
            << QString(100, QLatin1Char('9')) << ""
            << QStringLiteral("\"%1…\" is not a network such as 10.0.0.0/24").arg(QString(60, QLatin1Char('9')))
            << false;
        QTest::newRow("IPv6 with a scope") << "fe80::/64%eth0"
                                           << ""
                                           << "\"fe80::/64%eth0\" is not a network such as fd00::/64" << false;
    }

    void networksToWatchAreParsed()
    {
        QFETCH(QString, text);
        QFETCH(QString, watched);
        QFETCH(QString, why);
        QFETCH(bool, ipv6);
        QString reason;
        const std::optional<WatchedNetworks> networks = WatchedNetworks::parse(text, &reason);
        QCOMPARE(reason, why);
        QCOMPARE(networks.has_value(), why.isEmpty());
        if (networks) {
            QCOMPARE(networks->texts().join(QLatin1Char(' ')), watched);
            QCOMPARE(networks->watchesIpv6(), ipv6);
            QVERIFY(!networks->watchesIpv6Address(QStringLiteral("fe80::1%twlab0")));
            QCOMPARE(networks->watchesIpv6Address(QStringLiteral("fd00::5")), ipv6);
        }
    }

    // By default, each IPv4 network of a link, the larger ones as the /22 around this machine's
    // address; link-local networks are none to sweep; every IPv6 neighbour counts.
    void theDefaultIsEachLinksNetworkUpToA22()
    {
        const auto link = [](const char* address, const char* mask) {
            LocalLinks::Link made;
            made.address = ::inet_addr(address);
            made.mask = ::inet_addr(mask);
            return made;
        };
        const LocalLinks links = LocalLinks::of(
            {link("192.168.1.10", "255.255.255.0"), link("192.168.1.11", "255.255.255.0"),
             link("10.5.201.7", "255.255.0.0"), link("169.254.3.4", "255.255.0.0")});
        QCOMPARE(WatchedNetworks::directlyConnected(links).texts(), QStringList({"192.168.1.0/24", "10.5.200.0/22"}));
        const std::optional<WatchedNetworks> defaults = WatchedNetworks::parse(QStringLiteral(" \n"), nullptr);
        QVERIFY(defaults);
        QVERIFY(defaults->watchesIpv6Address(QStringLiteral("fe80::1%twlab0")));
    }

    // Two hosts on the link answer ARP from the hardware address given to the peer's end, and
    // that end answers IPv6 from its global address: one round finds each with that address,
    // says why the networks that are no link of ARP were not swept, and leaves the kernel's
    // neighbour table without an entry for the 251 addresses that nobody holds.
    void aRoundFindsEachHostAndLeavesNoFailedNeighbour()
    {
        if (!m_sandbox)
            QSKIP(qPrintable(QStringLiteral("needs root and a network of its own: ") + m_whyNoSandbox));
        const QString hardware = QStringLiteral("02:00:5e:10:20:30");
        PeerNetwork peer;
        QString whyNot;
        QVERIFY2(peer.startOnLink(QStringLiteral("10.79.61"), {3, 7}, &whyNot), qPrintable(whyNot));
        QVERIFY2(peer.addIpv6(QStringLiteral("fd79:61"), {}, &whyNot), qPrintable(whyNot));
        QVERIFY(peer.runInside({"ip", "link", "set", "dev", "twlab1", "address", hardware}));
        NameResolver resolver;
        ProbeEngine engine(resolver);
        if (!engine.asksByArp())
            QSKIP("no packet socket");
        const NeighbourFinder neighbours(OuiRegistry::shared());
        NetworkSweep sweep(engine, &neighbours);
        QSignalSpy finished(&sweep, &NetworkSweep::roundFinished);
        const std::optional<WatchedNetworks> networks = WatchedNetworks::parse(
            QStringLiteral("10.79.61.0/24 127.0.0.0/24 10.79.99.0/24 fd79:61::/64"), nullptr);
        QVERIFY(networks);
        sweep.start(*networks);
        QVERIFY(sweep.isRunning());
        QVERIFY(finished.wait(10000));
        QVERIFY(!sweep.isRunning());
        const auto round = finished.first().first().value<NetworkRound>();
        const QString link = QStringLiteral("twlab0");
        QCOMPARE(round.seen,
                 QList<NetworkSighting>(
                     {{"10.79.61.3", hardware, link}, {"10.79.61.7", hardware, link}, {"fd79:61::2", hardware, link}}));
        QCOMPARE(round.networks, QStringList{"10.79.61.0/24"});
        QCOMPARE(round.skipped,
                 QStringList(
                     {"127.0.0.0/24: lo has no ARP; not swept", "10.79.99.0/24 is not directly connected; not swept"}));
        // 254 host addresses but this machine's own.
        QCOMPARE(round.requestsSent, 253);
        QProcess neighbourTable;
        neighbourTable.start(QStringLiteral("ip"), {"neigh", "show"});
        QVERIFY(neighbourTable.waitForFinished());
        const QString table = QString::fromUtf8(neighbourTable.readAllStandardOutput());
        QVERIFY2(!table.contains(QLatin1String("FAILED")) && !table.contains(QLatin1String("INCOMPLETE")),
                 qPrintable(table));
    }
};

QTEST_GUILESS_MAIN(TestSweep)
#include "tst_sweep.moc"
