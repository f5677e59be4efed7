// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/Data.h"
#include "data/Settings.h"
#include "net/NameResolver.h"
#include "net/NetworkProbe.h"
#include "net/PingerThread.h"
#include "net/ProbeEngine.h"
#include "netlab/NetworkSandbox.h"
#include "netlab/PeerNetwork.h"

#include <QFile>
#include <QMutex>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/capability.h>

#include <memory>

using namespace Tarnwick;

namespace {

// The engine's sockets as an unprivileged user has them (the ICMP datagram sockets), or raw.
std::unique_ptr<ProbeEngine> engineWith(NameResolver& resolver, bool raw)
{
    if (raw)
        return std::make_unique<ProbeEngine>(resolver);
    // Capabilities belong to the thread: this one opens the sockets without the right to raw
    // ones, and takes it back.
    cap_t held = cap_get_proc();
    cap_t without = cap_dup(held);
    const cap_value_t netRaw = CAP_NET_RAW;
    cap_set_flag(without, CAP_EFFECTIVE, 1, &netRaw, CAP_CLEAR);
    cap_set_proc(without);
    auto engine = std::make_unique<ProbeEngine>(resolver);
    cap_set_proc(held);
    cap_free(without);
    cap_free(held);
    return engine;
}

// What the engine reports on its thread, for the test's.
class Outcome
{
public:
    void set(const ProbeResult& result)
    {
        QMutexLocker lock(&m_mutex);
        m_result = result;
    }
    std::optional<ProbeResult> get()
    {
        QMutexLocker lock(&m_mutex);
        return m_result;
    }

private:
    QMutex m_mutex;
    std::optional<ProbeResult> m_result;
};

// tcpdump on the test's end of the link, as a user would run it.
class Capture
{
public:
    bool start()
    {
        m_process.start(QStringLiteral("tcpdump"), {"-i", "twlab0", "-n", "-l", "-v", "icmp or icmp6"});
        if (!m_process.waitForStarted(5000))
            return false;
        QByteArray said;
        while (!said.contains("listening on") && m_process.waitForReadyRead(5000))
            said += m_process.readAllStandardError();
        return said.contains("listening on");
    }
    ~Capture()
    {
        m_process.terminate();
        m_process.waitForFinished(5000);
    }
    // The first echo request seen: its IP datagram's length (IPv4) or payload length (IPv6),
    // and whether it carried "don't fragment"; none yet.
    std::optional<std::pair<int, bool>> firstRequest()
    {
        m_text += QString::fromLatin1(m_process.readAllStandardOutput());
        static const QRegularExpression ipv4(
            QStringLiteral(R"(flags \[([^\]]*)\], proto ICMP \(1\), length (\d+)\)\s+\S+ > \S+: ICMP echo request)"));
        static const QRegularExpression ipv6(
            QStringLiteral(R"(next-header ICMPv6 \(58\),? payload length: (\d+)\) \S+ > \S+: .*echo request)"));
        if (const auto found = ipv4.match(m_text); found.hasMatch())
            return std::pair{found.captured(2).toInt(), found.captured(1).contains(QLatin1String("DF"))};
        if (const auto found = ipv6.match(m_text); found.hasMatch())
            return std::pair{found.captured(1).toInt(), false};
        return std::nullopt;
    }
    QString text() const { return m_text; }

private:
    QProcess m_process;
    QString m_text;
};

} // namespace

// Echo requests of a payload size of the device's own, with and without "Don't fragment", as
// tcpdump sees them leave, and what comes back when the path cannot carry them.
class TestEchoPayload : public QObject
{
    Q_OBJECT

    NameResolver m_resolver;

private slots:
    void initTestCase()
    {
        QString whyNot;
        if (!NetworkSandbox::enter(&whyNot))
            QSKIP(qPrintable(whyNot));
        if (QStandardPaths::findExecutable(QStringLiteral("tcpdump")).isEmpty())
            QSKIP("needs tcpdump");
        // The unprivileged ICMP sockets, for root's group too.
        QVERIFY(NetworkSandbox::setSysctl(QStringLiteral("net/ipv4/ping_group_range"), QStringLiteral("0 0")));
    }

    void requestsCarryTheirPayload_data()
    {
        QTest::addColumn<bool>("ipv6");
        QTest::addColumn<bool>("raw");
        QTest::addColumn<int>("payload");
        QTest::addColumn<bool>("dontFragment");
        QTest::addColumn<bool>("behindSmallLink"); // the host is behind the peer, on a link of MTU 1400
        QTest::addColumn<int>("wireLength"); // of the first request; -1: fragments, not looked at
        QTest::addColumn<QString>("first"); // the outcome: "" for a reply, or the reason
        QTest::addColumn<QString>("second"); // of the next request, once the path's MTU is known
        const QString fromRouter = QStringLiteral("message too long; path MTU 1400, from ");
        const QString known = QStringLiteral("message too long; path MTU 1400");
        for (const bool raw : {true, false}) {
            const char* socket = raw ? "raw" : "datagram";
            QTest::addRow("IPv4 %s, 1200 bytes", socket)
                << false << raw << 1200 << false << false << 1228 << QString() << QString();
            QTest::addRow("IPv4 %s, 1200 bytes, don't fragment", socket)
                << false << raw << 1200 << true << false << 1228 << QString() << QString();
            QTest::addRow("IPv4 %s, no data", socket)
                << false << raw << 0 << false << false << 28 << QString() << QString();
            QTest::addRow("IPv4 %s, 2000 bytes fragmented", socket)
                << false << raw << 2000 << false << false << -1 << QString() << QString();
            QTest::addRow("IPv4 %s, 2000 bytes unfragmented", socket)
                << false << raw << 2000 << true << false << -1 << "message too long; path MTU 1500"
                << "message too long; path MTU 1500";
            QTest::addRow("IPv4 %s, 1472 bytes through MTU 1400", socket)
                << false << raw << 1472 << true << true << 1500 << fromRouter + "10.81.255.2" << known;
            // Without "don't fragment" the kernel learns the path's MTU and fragments the next one.
            QTest::addRow("IPv4 %s, 1472 bytes through MTU 1400, fragmented", socket)
                << false << raw << 1472 << false << true << 1500 << fromRouter + "10.81.255.2" << QString();
            QTest::addRow("IPv6 %s, 1200 bytes, don't fragment", socket)
                << true << raw << 1200 << true << false << 1208 << QString() << QString();
            QTest::addRow("IPv6 %s, 1452 bytes through MTU 1400", socket)
                << true << raw << 1452 << true << true << 1460 << fromRouter + "fd81:1::2" << known;
        }
    }

    void requestsCarryTheirPayload()
    {
        QFETCH(bool, ipv6);
        QFETCH(bool, raw);
        QFETCH(int, payload);
        QFETCH(bool, dontFragment);
        QFETCH(bool, behindSmallLink);
        QFETCH(int, wireLength);
        QFETCH(QString, first);
        QFETCH(QString, second);
        PeerNetwork peer;
        QString whyNot;
        QVERIFY2(peer.start(QStringLiteral("10.81.1"), {5}, &whyNot), qPrintable(whyNot));
        QVERIFY2(peer.addIpv6(QStringLiteral("fd81:1"), {5}, &whyNot), qPrintable(whyNot));
        if (behindSmallLink)
            QVERIFY2(peer.addHostBehind(9, 1400, &whyNot), qPrintable(whyNot));
        const int host = behindSmallLink ? 9 : 5;
        const QString target = ipv6 ? peer.ipv6Address(host) : peer.address(host);
        Capture capture;
        QVERIFY(capture.start());
        const std::unique_ptr<ProbeEngine> engine = engineWith(m_resolver, raw);
        QCOMPARE(engine->usesRawSocket(), raw);
        const AsyncProbe probe = NetworkProbe::overNetwork(*engine, 0, false, {std::uint16_t(payload), dontFragment});
        for (const QString& expected : {first, second}) {
            auto outcome = std::make_shared<Outcome>();
            probe(target, 3000, [outcome](const ProbeResult& result) { outcome->set(result); });
            QTRY_VERIFY_WITH_TIMEOUT(outcome->get(), 5000);
            // A request this host refuses to send is an error; one a router on the way refused went unheard.
            QCOMPARE(outcome->get()->kind,
                     expected.isEmpty()                 ? ProbeResult::Reply
                         : expected.contains(", from ") ? ProbeResult::Timeout
                                                        : ProbeResult::SocketError);
            QCOMPARE(outcome->get()->reason, expected);
        }
        if (wireLength < 0)
            return;
        QTRY_VERIFY2(capture.firstRequest(), qPrintable(capture.text()));
        QCOMPARE(capture.firstRequest()->first, wireLength);
        if (!ipv6 && dontFragment)
            QVERIFY2(capture.firstRequest()->second, qPrintable(capture.text()));
    }

    // A device of the list with its own payload is probed so by the monitor, through the same
    // engine as the others.
    void monitorSendsTheListedPayload()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("DeviceConfig.xml"));
        QFile list(file);
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write("<DeviceEntries><DeviceEntry IP=\"10.81.1.5\" PayloadSize=\"1200\" DontFragment=\"1\"/>"
                   "</DeviceEntries>");
        list.close();
        Data data;
        QVERIFY(data.load(file));
        PeerNetwork peer;
        QString whyNot;
        QVERIFY2(peer.start(QStringLiteral("10.81.1"), {5}, &whyNot), qPrintable(whyNot));
        Capture capture;
        QVERIFY(capture.start());
        ProbeEngine engine(m_resolver);
        Settings settings;
        PingerThread monitor(data, settings, NetworkProbe::overNetwork(engine, 0, true), {}, &engine);
        monitor.start();
        QTRY_VERIFY2(capture.firstRequest(), qPrintable(capture.text()));
        QCOMPARE(capture.firstRequest()->first, 1228);
        QVERIFY(capture.firstRequest()->second);
        QTRY_COMPARE(data.entry(QStringLiteral("10.81.1.5")).lastProbe.kind, ProbeResult::Reply);
        monitor.stop();
    }
};

QTEST_GUILESS_MAIN(TestEchoPayload)
#include "tst_echopayload.moc"
