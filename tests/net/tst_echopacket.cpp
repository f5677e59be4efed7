// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/EchoPacket.h"
#include "net/Icmpv6Echo.h"

#include <QTest>

#include <arpa/inet.h>

using namespace Tarnwick;

namespace {

// A reply as a raw socket delivers it: an IPv4 header of ihlWords 32-bit words, then ICMP.
QByteArray makeDatagram(int ihlWords, quint8 type, quint16 id, quint16 seq, quint32 sendTime, quint32 source)
{
    QByteArray d(ihlWords * 4 + 48, '\0');
    d[0] = char(0x40 | ihlWords);
    d[9] = 1;
    memcpy(d.data() + 12, &source, 4);
    const EchoPacket::Request request = EchoPacket::buildRequest(id, seq, sendTime);
    memcpy(d.data() + ihlWords * 4, request.data(), request.size());
    d[ihlWords * 4] = char(type);
    return d;
}

quint32 addr(const char* text)
{
    in_addr a{};
    inet_pton(AF_INET, text, &a);
    return a.s_addr;
}

// An ICMP error as a raw socket delivers it: the router's IPv4 header, the error's ICMP header,
// then the quoted IPv4 header of our request (innerWords long) and the start of our request.
QByteArray makeError(quint8 type, quint8 code, int innerWords, quint8 innerProtocol, quint16 id, quint16 seq,
                     quint32 destination)
{
    QByteArray d(20 + 8 + innerWords * 4 + 8, '\0');
    d[0] = 0x45;
    d[9] = 1;
    d[20] = char(type);
    d[21] = char(code);
    char* inner = d.data() + 28;
    inner[0] = char(0x40 | innerWords);
    inner[9] = char(innerProtocol);
    memcpy(inner + 16, &destination, 4);
    const EchoPacket::Request request = EchoPacket::buildRequest(id, seq, 0);
    memcpy(inner + innerWords * 4, request.data(), 8);
    return d;
}

} // namespace

class TestEchoPacket : public QObject
{
    Q_OBJECT

private slots:
    void requestBytes()
    {
        const EchoPacket::Request r = EchoPacket::buildRequest(0, 1, 0);
        QCOMPARE(int(r[0]), 8);
        QCOMPARE(int(r[1]), 0);
        QCOMPARE(int(r[2]), 0x03);
        QCOMPARE(int(r[3]), 0xFD);
        for (int i = 0; i < 32; ++i)
            QCOMPARE(int(r[16 + i]), 0x20 + i);
        quint32 sum = 0;
        for (int i = 0; i < 48; i += 2)
            sum += (r[i] << 8) | r[i + 1];
        while (sum >> 16)
            sum = (sum & 0xFFFF) + (sum >> 16);
        QCOMPARE(sum, 0xFFFFu);
    }

    void fieldsLeastSignificantByteFirst()
    {
        const EchoPacket::Request r = EchoPacket::buildRequest(0x0A0B, 0x0102, 0x11223344);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(r.data()) + 4, 12).toHex(),
                 QByteArray("0b0a020100000000"
                            "44332211"));
        QCOMPARE(EchoPacket::checksum(r.data(), r.size()), quint16(0));
    }

    void matchReply_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<bool>("withIpHeader");
        QTest::addColumn<quint32>("from");
        QTest::addColumn<bool>("checkIdentifier");
        QTest::addColumn<qint64>("expectedTime");
        const quint32 host = addr("127.0.0.5");
        const quint32 other = addr("127.0.0.6");
        QTest::newRow("proper reply") << makeDatagram(5, 0, 7, 9, 1234, host) << true << host << true << qint64(1234);
        QTest::newRow("header with options")
            << makeDatagram(6, 0, 7, 9, 99, host) << true << host << true << qint64(99);
        QTest::newRow("echo request") << makeDatagram(5, 8, 7, 9, 1, host) << true << host << true << qint64(-1);
        QTest::newRow("unreachable") << makeDatagram(5, 3, 7, 9, 1, host) << true << host << true << qint64(-1);
        QTest::newRow("wrong identifier") << makeDatagram(5, 0, 8, 9, 1, host) << true << host << true << qint64(-1);
        QTest::newRow("identifier set by the kernel")
            << makeDatagram(5, 0, 8, 9, 5, host).mid(20) << false << host << false << qint64(5);
        QTest::newRow("wrong sequence") << makeDatagram(5, 0, 7, 10, 1, host) << true << host << true << qint64(-1);
        QTest::newRow("sequence byte order")
            << makeDatagram(5, 0, 7, 0x0900, 1, host) << true << host << true << qint64(-1);
        QTest::newRow("wrong source") << makeDatagram(5, 0, 7, 9, 1, other) << true << other << true << qint64(-1);
        // A request with less than eight bytes of data carries no send time; its reply is ours all the same.
        QTest::newRow("without send time")
            << makeDatagram(5, 0, 7, 9, 1, host).left(28) << true << host << true << qint64(0);
        QTest::newRow("truncated in the header")
            << makeDatagram(5, 0, 7, 9, 1, host).left(27) << true << host << true << qint64(-1);
        QTest::newRow("just long enough")
            << makeDatagram(5, 0, 7, 9, 3, host).left(36) << true << host << true << qint64(3);
        QTest::newRow("header longer than datagram")
            << makeDatagram(15, 0, 7, 9, 1, host).left(40) << true << host << true << qint64(-1);
        QTest::newRow("header length below minimum")
            << makeDatagram(5, 0, 7, 9, 1, host).replace(0, 1, "\x44") << true << host << true << qint64(-1);
        QTest::newRow("empty") << QByteArray() << true << host << true << qint64(-1);
    }

    void matchReply()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(bool, withIpHeader);
        QFETCH(quint32, from);
        QFETCH(bool, checkIdentifier);
        QFETCH(qint64, expectedTime);
        const EchoPacket::Expected expected{addr("127.0.0.5"), 7, 9, checkIdentifier};
        const auto reply = EchoPacket::parseReply(reinterpret_cast<const std::uint8_t*>(datagram.constData()),
                                                  std::size_t(datagram.size()), withIpHeader);
        QCOMPARE(reply && expected.accepts(*reply, from) ? qint64(reply->sendTime) : qint64(-1), expectedTime);
    }

    // Errors that quote one of our echo requests, and what is not one.
    void errorsParsedDefensively_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("text");
        const quint32 to = addr("10.0.0.9");
        QTest::newRow("host unreachable") << makeError(3, 1, 5, 1, 0x1234, 77, to) << true << "host unreachable";
        QTest::newRow("prohibited") << makeError(3, 13, 5, 1, 0x1234, 77, to) << true
                                    << "communication administratively prohibited";
        QTest::newRow("unknown code") << makeError(3, 99, 5, 1, 0x1234, 77, to) << true << "destination unreachable";
        QTest::newRow("time exceeded") << makeError(11, 0, 5, 1, 0x1234, 77, to) << true << "time to live exceeded";
        QTest::newRow("quoted header with options")
            << makeError(3, 1, 6, 1, 0x1234, 77, to) << true << "host unreachable";
        QTest::newRow("quotes a UDP datagram") << makeError(3, 3, 5, 17, 0x1234, 77, to) << false << "";
        QTest::newRow("quote cut short") << makeError(3, 1, 5, 1, 0x1234, 77, to).chopped(1) << false << "";
        QTest::newRow("quoted header longer than the rest")
            << makeError(3, 1, 5, 1, 0x1234, 77, to).replace(28, 1, "\x4f") << false << "";
        QTest::newRow("echo reply") << makeError(0, 0, 5, 1, 0x1234, 77, to) << false << "";
        QTest::newRow("redirect") << makeError(5, 1, 5, 1, 0x1234, 77, to) << false << "";
        QByteArray quotesAReply = makeError(3, 1, 5, 1, 0x1234, 77, to);
        quotesAReply[48] = 0;
        QTest::newRow("quotes an echo reply") << quotesAReply << false << "";
    }

    void errorsParsedDefensively()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(bool, accepted);
        QFETCH(QString, text);
        const auto error = EchoPacket::parseError(reinterpret_cast<const quint8*>(datagram.constData()),
                                                  std::size_t(datagram.size()));
        QCOMPARE(error.has_value(), accepted);
        if (!error)
            return;
        QCOMPARE(error->identifier, quint16(0x1234));
        QCOMPARE(error->sequence, quint16(77));
        QCOMPARE(error->destination, addr("10.0.0.9"));
        QCOMPARE(QString::fromLatin1(EchoPacket::errorText(error->type, error->code)), text);
    }

    // ICMPv6: identifier and sequence in network byte order; replies and errors read back only
    // when whole, an error only when it quotes an echo request of ours.
    void icmpv6Messages_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<bool>("isReply");
        QTest::addColumn<bool>("isError");
        QByteArray reply = Icmpv6Echo::request(0x1234, 0xABCD);
        reply[0] = char(129);
        const QByteArray request = Icmpv6Echo::request(0x1234, 0xABCD);
        // Destination unreachable (1), code 3, quoting an IPv6 header to fd00::9 and the request.
        QByteArray quotedHeader(40, '\0');
        quotedHeader[0] = char(0x60);
        quotedHeader[6] = char(58);
        quotedHeader[24] = char(0xfd);
        quotedHeader[39] = char(9);
        const QByteArray error = QByteArray::fromHex("0103000000000000") + quotedHeader + request;
        QByteArray notIcmp = error;
        notIcmp[8 + 6] = char(17);
        QTest::newRow("reply") << reply << true << false;
        QTest::newRow("reply cut short") << reply.left(7) << false << false;
        QTest::newRow("request") << request << false << false;
        QTest::newRow("unreachable") << error << false << true;
        QTest::newRow("unreachable quoting UDP") << notIcmp << false << false;
        QTest::newRow("unreachable cut inside the quoted request") << error.left(8 + 40 + 7) << false << false;
    }

    void icmpv6Messages()
    {
        QFETCH(QByteArray, message);
        QFETCH(bool, isReply);
        QFETCH(bool, isError);
        QCOMPARE(QByteArray(Icmpv6Echo::request(0x1234, 0xABCD).left(8)), QByteArray::fromHex("800000001234abcd"));
        const auto reply = Icmpv6Echo::parseReply(message.constData(), message.size());
        QCOMPARE(reply.has_value(), isReply);
        if (reply) {
            QCOMPARE(reply->id, 0x1234);
            QCOMPARE(reply->sequence, 0xABCD);
        }
        const auto error = Icmpv6Echo::parseError(message.constData(), message.size());
        QCOMPARE(error.has_value(), isError);
        if (error) {
            QCOMPARE(Icmpv6Echo::errorText(error->type, error->code), QStringLiteral("address unreachable"));
            QCOMPARE(error->sequence, 0xABCD);
            QCOMPARE(error->destination[0], 0xfd);
            QCOMPARE(error->destination[15], 9);
        }
    }
};

QTEST_GUILESS_MAIN(TestEchoPacket)
#include "tst_echopacket.moc"
