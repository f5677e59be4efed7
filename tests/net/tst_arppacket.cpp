// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/ArpPacket.h"
#include "net/LocalLinks.h"

#include <QTest>

#include <arpa/inet.h>

using namespace Tarnwick;

namespace {

std::uint32_t addr(const char* text)
{
    in_addr a{};
    inet_pton(AF_INET, text, &a);
    return a.s_addr;
}

const ArpPacket::HardwareAddress Ours{0x02, 0, 0, 0, 0, 0x01};

// The reply 10.0.0.5 (02:..:05) gives to our request from 10.0.0.1.
QByteArray reply()
{
    return QByteArray::fromHex("0001080006040002"
                               "020000000005"
                               "0a000005"
                               "020000000001"
                               "0a000001");
}

} // namespace

class TestArpPacket : public QObject
{
    Q_OBJECT

private slots:
    void requestAsksForTheTarget()
    {
        const ArpPacket::Bytes request = ArpPacket::buildRequest(Ours, addr("10.0.0.1"), addr("10.0.0.5"));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(request.data()), int(request.size())).toHex(),
                 QByteArray("0001080006040001"
                            "020000000001"
                            "0a000001"
                            "000000000000"
                            "0a000005"));
    }

    void repliesParsedDefensively_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("reply") << reply() << true;
        QTest::newRow("with Ethernet padding") << reply() + QByteArray(18, '\0') << true;
        QTest::newRow("cut short") << reply().left(27) << false;
        QTest::newRow("request") << QByteArray(reply()).replace(7, 1, "\x01") << false;
        QTest::newRow("other hardware") << QByteArray(reply()).replace(1, 1, "\x06") << false;
        QTest::newRow("other protocol") << QByteArray(reply()).replace(2, 2, QByteArray::fromHex("86dd")) << false;
        QTest::newRow("odd address length") << QByteArray(reply()).replace(5, 1, "\x10") << false;
        QTest::newRow("empty") << QByteArray() << false;
    }

    void repliesParsedDefensively()
    {
        QFETCH(QByteArray, frame);
        QFETCH(bool, accepted);
        const auto parsed = ArpPacket::parseReply(reinterpret_cast<const std::uint8_t*>(frame.constData()),
                                                  std::size_t(frame.size()));
        QCOMPARE(parsed.has_value(), accepted);
        if (!parsed)
            return;
        QCOMPARE(parsed->senderAddress, addr("10.0.0.5"));
        QCOMPARE(parsed->targetAddress, addr("10.0.0.1"));
        QCOMPARE(int(parsed->senderHardware[5]), 5);
    }

    // Only a single host on a directly connected network is asked by ARP.
    void linkForAnAddress_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("interfaceIndex");
        QTest::newRow("on the /24") << "192.168.1.77" << 3;
        QTest::newRow("our own address") << "192.168.1.10" << 0;
        QTest::newRow("network address") << "192.168.1.0" << 0;
        QTest::newRow("broadcast") << "192.168.1.255" << 0;
        QTest::newRow("behind a router") << "192.168.2.1" << 0;
        QTest::newRow("on the /31") << "10.9.0.1" << 4;
        QTest::newRow("/31 other end is ours") << "10.9.0.0" << 0;
        QTest::newRow("the narrower of two networks") << "10.61.200.2" << 6;
        QTest::newRow("the wider one outside it") << "10.61.5.5" << 5;
        QTest::newRow("the narrower's broadcast") << "10.61.200.255" << 0;
    }

    void linkForAnAddress()
    {
        QFETCH(QString, address);
        QFETCH(int, interfaceIndex);
        const LocalLinks links = LocalLinks::of({{3, Ours, addr("192.168.1.10"), addr("255.255.255.0")},
                                                 {4, Ours, addr("10.9.0.0"), addr("255.255.255.254")},
                                                 {5, Ours, addr("10.61.0.1"), addr("255.255.0.0")},
                                                 {6, Ours, addr("10.61.200.1"), addr("255.255.255.0")}});
        const auto link = links.linkFor(addr(qPrintable(address)));
        QCOMPARE(link ? link->interfaceIndex : 0, interfaceIndex);
    }
};

QTEST_GUILESS_MAIN(TestArpPacket)
#include "tst_arppacket.moc"
