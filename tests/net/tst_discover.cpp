// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/DiscoverDevicesThread.h"
#include "net/NameResolver.h"
#include "net/ProbeEngine.h"
#include "net/QuickScanWait.h"
#include "netlab/NetworkSandbox.h"
#include "netlab/PeerNetwork.h"

#include <QFile>
#include <QRegularExpression>

#include <QMutex>
#include <QSemaphore>
#include <QTest>

using namespace Tarnwick;

namespace {

// Receives the scan's reports the way the discovery dialog does.
class Receiver : public QObject
{
    Q_OBJECT
public:
    QStringList results;
    QList<QPair<int, int>> completions;
    QList<int> present;
    QList<bool> onOwnThread;

    void listen(DiscoverDevicesThread& scan)
    {
        connect(&scan, &DiscoverDevicesThread::addressProbed, this, &Receiver::scanResult);
        connect(&scan, &DiscoverDevicesThread::scanCompleted, this, &Receiver::scanCompleted);
    }

    void scanResult(int finding, const QString& address, const QString& result)
    {
        results << QStringLiteral("%1 %2 %3").arg(address, result).arg(finding);
        onOwnThread << (QThread::currentThread() == thread());
    }
    void scanCompleted(int active, int total, int presentCount)
    {
        completions << qMakePair(active, total);
        present << presentCount;
    }
};

// The kernel's IPv4 neighbour entries, complete or not.
int neighbourEntries()
{
    QFile table(QStringLiteral("/proc/net/arp"));
    return table.open(QIODevice::ReadOnly) ? int(table.readAll().count('\n')) - 1 : -1;
}

QList<quint8> octets(std::initializer_list<int> values)
{
    QList<quint8> list;
    for (int v : values)
        list << quint8(v);
    return list;
}

} // namespace

class TestDiscover : public QObject
{
    Q_OBJECT

private slots:
    // How long a quick scan waits for a silent address, from the slowest answer so far.
    void quickScanWait_data()
    {
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<qint64>("slowestUs"); // -1: nothing has answered yet
        QTest::addColumn<qint64>("expectedUs");
        QTest::newRow("no answer yet: the time-out") << 1000 << qint64(-1) << qint64(1000000);
        QTest::newRow("3 ms: the least wait") << 1000 << qint64(3000) << qint64(100000);
        QTest::newRow("10 ms: ten times, the least") << 1000 << qint64(10000) << qint64(100000);
        QTest::newRow("20 ms: ten times") << 1000 << qint64(20000) << qint64(200000);
        QTest::newRow("fractions of a millisecond count") << 1000 << qint64(12345) << qint64(123450);
        QTest::newRow("a tenth of the time-out: the time-out") << 1000 << qint64(100000) << qint64(1000000);
        QTest::newRow("beyond a tenth: the time-out") << 1000 << qint64(250000) << qint64(1000000);
        QTest::newRow("time-out below 100 ms: the time-out") << 50 << qint64(1000) << qint64(50000);
        QTest::newRow("time-out 0") << 0 << qint64(-1) << qint64(0);
        QTest::newRow("a long time-out") << 60000 << qint64(800000) << qint64(8000000);
    }

    void quickScanWait()
    {
        QFETCH(int, timeoutMs);
        QFETCH(qint64, slowestUs);
        QFETCH(qint64, expectedUs);
        const auto slowest = slowestUs < 0 ? std::nullopt : std::optional(std::chrono::microseconds(slowestUs));
        QCOMPARE(QuickScanWait::wait(std::chrono::milliseconds(timeoutMs), slowest).count(), expectedUs);
    }

    void boxOrderAndTexts()
    {
        Receiver receiver;
        QStringList probed;
        QMutex mutex;
        DiscoverDevicesThread scan(ScanRange::box(octets({127, 0, 1, 10}), octets({127, 0, 2, 20})),
                                   [&](const QString& ip, int timeout) {
                                       QMutexLocker lock(&mutex);
                                       probed << ip;
                                       if (timeout != 1000)
                                           return ProbeResult::socketError();
                                       const int d = ip.section('.', 3).toInt();
                                       return d % 3 == 0 ? ProbeResult::timeout()
                                           : d % 3 == 1  ? ProbeResult::reply(std::chrono::milliseconds(d))
                                                         : ProbeResult::socketError();
                                   });
        receiver.listen(scan);
        scan.start();
        QVERIFY(scan.wait(10000));
        QTRY_COMPARE(receiver.completions.size(), 1);

        QStringList expected;
        int active = 0;
        for (int c : {1, 2}) {
            for (int d = 10; d <= 20; ++d) {
                const QString ip = QStringLiteral("127.0.%1.%2").arg(c).arg(d);
                const QString text = d % 3 == 0 ? "Timeout"
                    : d % 3 == 1                ? QStringLiteral("%1 ms").arg(d)
                                                : "Socket error";
                expected << QStringLiteral("%1 %2 %3").arg(ip, text).arg(d % 3 == 1);
                active += d % 3 == 1;
            }
        }
        QCOMPARE(receiver.results, expected);
        QCOMPARE(receiver.completions.first(), qMakePair(active, 22));
        QVERIFY(!receiver.onOwnThread.contains(false));
    }

    void emptyBoxCompletesWithNoProbe()
    {
        Receiver receiver;
        int probes = 0;
        DiscoverDevicesThread scan(ScanRange::box(octets({127, 0, 1, 250}), octets({127, 0, 2, 5})),
                                   [&](const QString&, int) {
                                       ++probes;
                                       return ProbeResult::timeout();
                                   });
        receiver.listen(scan);
        scan.start();
        QVERIFY(scan.wait(5000));
        QTRY_COMPARE(receiver.completions.size(), 1);
        QCOMPARE(receiver.completions.first(), qMakePair(0, 0));
        QCOMPARE(probes, 0);
        QVERIFY(receiver.results.isEmpty());
    }

    // Many probes are in flight at once; a stop ends the reports where they are, and no
    // completion follows.
    void stopDuringFifthProbeEndsTheScan()
    {
        Receiver receiver;
        QSemaphore fifthStarted;
        QSemaphore goOn;
        std::atomic<int> probes{0};
        DiscoverDevicesThread scan(ScanRange::box(octets({127, 0, 0, 1}), octets({127, 0, 0, 20})),
                                   [&](const QString&, int) {
                                       if (++probes == 5) {
                                           fifthStarted.release();
                                           goOn.acquire();
                                       }
                                       return ProbeResult::reply(std::chrono::milliseconds(1));
                                   });
        receiver.listen(scan);
        scan.start();
        QVERIFY(fifthStarted.tryAcquire(1, 5000));
        scan.requestStop();
        goOn.release();
        QVERIFY(scan.wait(5000));
        QCoreApplication::processEvents();
        QCOMPARE(probes.load(), 5);
        QVERIFY(receiver.results.size() <= 4);
        QVERIFY(receiver.completions.isEmpty());
    }

    // The real probe over loopback, where every 127.x address answers.
    void liveScanOfLoopback()
    {
        QString whyNot;
        if (!NetworkSandbox::enter(&whyNot))
            QSKIP(qPrintable(QStringLiteral("live scan skipped: ") + whyNot));
        NetworkSandbox::setSysctl("net/ipv4/icmp_echo_ignore_all", "0");
        NameResolver resolver;
        ProbeEngine engine(resolver);
        Receiver receiver;
        DiscoverDevicesThread scan(ScanRange::box(octets({127, 0, 1, 10}), octets({127, 0, 2, 20})), engine);
        receiver.listen(scan);
        scan.start();
        QVERIFY(scan.wait(30000));
        QTRY_COMPARE(receiver.completions.size(), 1);
        QCOMPARE(receiver.completions.first(), qMakePair(22, 22));
        QCOMPARE(receiver.results.size(), 22);
        QVERIFY(receiver.results.first().startsWith("127.0.1.10 "));
        QVERIFY(receiver.results.last().startsWith("127.0.2.20 "));
        QVERIFY(receiver.results.first().endsWith(" ms 1"));
    }

    // Stop wakes a scan that waits for hosts which will not answer for a long while.
    void stopWakesAScanWaitingForSilentHosts()
    {
        QString whyNot;
        if (!NetworkSandbox::enter(&whyNot))
            QSKIP(qPrintable(QStringLiteral("live scan skipped: ") + whyNot));
        NetworkSandbox::setSysctl("net/ipv4/icmp_echo_ignore_all", "1");
        NameResolver resolver;
        ProbeEngine engine(resolver);
        Receiver receiver;
        constexpr int longTimeoutMs = 60000;
        DiscoverDevicesThread scan(ScanRange::box(octets({127, 0, 1, 1}), octets({127, 0, 1, 20})), engine,
                                   longTimeoutMs);
        receiver.listen(scan);
        scan.start();
        // Once its probes are out, the scan waits for their outcomes.
        QTRY_VERIFY(engine.requestsInFlight() > 0);
        scan.requestStop();
        const bool ended = scan.wait(10000);
        NetworkSandbox::setSysctl("net/ipv4/icmp_echo_ignore_all", "0");
        QVERIFY2(ended, "the scan went on waiting for its time-outs after the stop");
        QCoreApplication::processEvents();
        QVERIFY(receiver.results.isEmpty() && receiver.completions.isEmpty());
    }

    // On the local link, hosts are asked by ARP first: one that drops echo requests is found
    // present all the same, and the addresses where nobody answers leave no entry behind in
    // the kernel's neighbour table (an echo request to them would make the kernel ask itself).
    void hostsOnTheLinkAskedByArp_data()
    {
        QTest::addColumn<bool>("echoIgnored");
        QTest::addColumn<QString>("hostResult"); // a pattern
        QTest::addColumn<int>("hostFinding");
        QTest::newRow("echo answered") << false << "\\d+ ms" << int(DiscoverDevicesThread::Answered);
        QTest::newRow("echo dropped") << true << "Present, no echo reply" << int(DiscoverDevicesThread::Present);
    }

    void hostsOnTheLinkAskedByArp()
    {
        QFETCH(bool, echoIgnored);
        QFETCH(QString, hostResult);
        QFETCH(int, hostFinding);
        QString whyNot;
        if (!NetworkSandbox::enter(&whyNot))
            QSKIP(qPrintable(QStringLiteral("live scan skipped: ") + whyNot));
        PeerNetwork link;
        QVERIFY2(link.startOnLink(QStringLiteral("10.78.5"), {10, 11}, &whyNot), qPrintable(whyNot));
        const QString ignore = echoIgnored ? "1" : "0";
        QVERIFY(link.runInside({"sysctl", "-qw", "net.ipv4.icmp_echo_ignore_all=" + ignore}));
        const int entriesBefore = neighbourEntries();
        QVERIFY(entriesBefore >= 0);

        NameResolver resolver;
        ProbeEngine engine(resolver);
        Receiver receiver;
        DiscoverDevicesThread scan(ScanRange::hostsOf(0x0A4E0500, 24), engine, 300);
        receiver.listen(scan);
        scan.start();
        QVERIFY(scan.wait(30000));
        QTRY_COMPARE(receiver.completions.size(), 1);
        QCOMPARE(receiver.results.size(), 254);
        const auto matches = [&receiver](int host, const QString& pattern) {
            const QString expected = QStringLiteral("^10\\.78\\.5\\.%1 %2$").arg(host).arg(pattern);
            return QRegularExpression(expected).match(receiver.results[host - 1]).hasMatch();
        };
        for (const int host : {10, 11})
            QVERIFY2(matches(host, QStringLiteral("%1 %2").arg(hostResult).arg(hostFinding)),
                     qPrintable(receiver.results[host - 1]));
        QCOMPARE(receiver.results[11], QStringLiteral("10.78.5.12 Timeout 0"));
        // This side's own address answers as always.
        QVERIFY2(matches(254, QStringLiteral("\\d+ ms 1")), qPrintable(receiver.results.last()));
        QCOMPARE(receiver.completions.first(), qMakePair(echoIgnored ? 1 : 3, 254));
        QCOMPARE(receiver.present.first(), echoIgnored ? 2 : 0);
        // At most the two hosts that answered.
        QVERIFY2(neighbourEntries() <= entriesBefore + 2, qPrintable(QString::number(neighbourEntries())));
    }
};

QTEST_GUILESS_MAIN(TestDiscover)
#include "tst_discover.moc"
