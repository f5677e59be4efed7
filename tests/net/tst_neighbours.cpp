// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/Icmpv6Echo.h"
#include "net/NeighbourFinder.h"
#include "net/OuiRegistry.h"
#include "net/ReverseNameLookup.h"
#include "netlab/NetworkSandbox.h"
#include "netlab/PeerNetwork.h"

#include <QScopeGuard>
#include <QTest>

using namespace Tarnwick;

class TestNeighbours : public QObject
{
    Q_OBJECT

    bool m_sandbox = false;
    bool m_hosts = false;
    QString m_whyNoSandbox;

private slots:
    void initTestCase()
    {
        m_sandbox = NetworkSandbox::enter(&m_whyNoSandbox);
        m_hosts = m_sandbox && NetworkSandbox::useHostsFile("fd77::2 peer.twlab.test\n");
    }

    void echoRepliesAreTold_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("sequence");
        QByteArray reply = Icmpv6Echo::request(0xBEEF, 0x0102);
        reply[0] = char(129);
        QTest::newRow("reply") << reply << 0xBEEF << 0x0102;
        QTest::newRow("reply with data") << reply + QByteArray(56, 'x') << 0xBEEF << 0x0102;
        QTest::newRow("our own request") << Icmpv6Echo::request(0xBEEF, 0x0102) << -1 << -1;
        QTest::newRow("cut short") << reply.left(7) << -1 << -1;
        QByteArray unknownCode = reply;
        unknownCode[1] = 1;
        QTest::newRow("unknown code") << unknownCode << -1 << -1;
        QByteArray neighbourAdvertisement = reply;
        neighbourAdvertisement[0] = char(136);
        QTest::newRow("neighbour advertisement") << neighbourAdvertisement << -1 << -1;
    }

    void echoRepliesAreTold()
    {
        QFETCH(QByteArray, message);
        QFETCH(int, id);
        QFETCH(int, sequence);
        const std::optional<Icmpv6Echo::Reply> reply = Icmpv6Echo::parseReply(message.constData(), message.size());
        QCOMPARE(reply.has_value(), id >= 0);
        if (reply) {
            QCOMPARE(int(reply->id), id);
            QCOMPARE(int(reply->sequence), sequence);
        }
    }

    void findsTheHostsOnTheLink_data()
    {
        QTest::addColumn<QString>("pingGroups");
        QTest::addColumn<bool>("hostAnswers");
        QTest::addColumn<PeerNetwork::OnLink>("here");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("link");
        const auto direct = PeerNetwork::OnLink::Directly;
        const auto bridged = PeerNetwork::OnLink::BridgePort;
        QTest::newRow("raw socket") << "1 0" << true << direct << "fe80::2%twlab0"
                                    << "twlab0";
        QTest::newRow("datagram socket") << "0 0" << true << direct << "fe80::2%twlab0"
                                         << "twlab0";
        QTest::newRow("host ignores echo to all nodes") << "1 0" << false << direct << QString() << QString();
        QTest::newRow("bridged, raw socket") << "1 0" << true << bridged << "fd77::2"
                                             << "twbr0";
        QTest::newRow("bridged, datagram socket") << "0 0" << true << bridged << "fd77::2"
                                                  << "twbr0";
    }

    // One IPv6 host on a veth link of the test's own namespaces: it is found by its link-local
    // address, with the hardware address of its end of the link and that hardware's maker.
    // Where this side has a global address (on a bridge, whose port is no link of its own),
    // the host is found by its global address instead, and named as the system names it.
    void findsTheHostsOnTheLink()
    {
        QFETCH(QString, pingGroups);
        QFETCH(bool, hostAnswers);
        QFETCH(PeerNetwork::OnLink, here);
        QFETCH(QString, address);
        QFETCH(QString, link);
        if (!m_sandbox)
            QSKIP(qPrintable(QStringLiteral("needs root and a network of its own: ") + m_whyNoSandbox));
        QVERIFY(NetworkSandbox::setSysctl(QStringLiteral("net/ipv4/ping_group_range"), pingGroups));
        const auto noPingGroup = qScopeGuard(
            [] { NetworkSandbox::setSysctl(QStringLiteral("net/ipv4/ping_group_range"), QStringLiteral("1 0")); });
        PeerNetwork peer;
        QString whyNot;
        const QString hardware = QStringLiteral("00:1b:21:3a:4b:5c");
        QVERIFY2(peer.startIpv6OnLink(hardware, &whyNot, here), qPrintable(whyNot));
        if (!hostAnswers)
            QVERIFY(peer.runInside({"sysctl", "-qw", "net.ipv6.icmp.echo_ignore_multicast=1"}));

        const NeighbourFinder finder(OuiRegistry::shared());
        const NeighbourFinder::Outcome outcome = finder.find(1500);
        QCOMPARE(outcome.error, QString());
        QCOMPARE(outcome.linksAsked, 1);
        if (!hostAnswers) {
            QCOMPARE(outcome.neighbours.size(), 0);
            QCOMPARE(NeighbourFinder::summary(outcome), QStringLiteral("Neighbours found: 0 on 1 link"));
            return;
        }
        QCOMPARE(outcome.neighbours.size(), 1);
        const NeighbourFinder::Neighbour& found = outcome.neighbours.first();
        QCOMPARE(found.address, address);
        QCOMPARE(found.interfaceName, link);
        QVERIFY(m_hosts);
        QCOMPARE(ReverseNameLookup::nameOf(found.address),
                 address.contains(QLatin1Char('%')) ? QString() : QStringLiteral("peer.twlab.test"));
        QCOMPARE(found.hardwareAddress, hardware);
        QCOMPARE(found.vendor, OuiRegistry::shared().vendor(hardware));
        if (!OuiRegistry::shared().isEmpty())
            QVERIFY(!found.vendor.isEmpty());
        QCOMPARE(NeighbourFinder::summary(outcome), QStringLiteral("Neighbours found: 1 on 1 link"));
    }

    void noLinkUpIsSaid()
    {
        if (!m_sandbox)
            QSKIP(qPrintable(QStringLiteral("needs root and a network of its own: ") + m_whyNoSandbox));
        const NeighbourFinder finder(OuiRegistry::shared());
        const NeighbourFinder::Outcome outcome = finder.find(100);
        QCOMPARE(NeighbourFinder::summary(outcome), QStringLiteral("No link with IPv6 is up"));
        QVERIFY(outcome.neighbours.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestNeighbours)
#include "tst_neighbours.moc"
