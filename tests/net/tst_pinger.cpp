// SPDX-License-Identifier: GPL-3.0-or-later
#include "../common/RunningPinger.h"
#include "data/Data.h"
#include "data/Settings.h"
#include "data/StoreEvent.h"
#include "net/NameResolver.h"
#include "net/PingerThread.h"
#include "net/ProbeEngine.h"
#include "net/ProbeRate.h"
#include "netlab/NetworkSandbox.h"
#include "netlab/PeerNetwork.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMutex>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <numeric>

using namespace std::chrono_literals;

using namespace Tarnwick;

namespace {

struct Call
{
    QString ip;
    int timeout;
    qint64 at;
};

// Stands in for the network: records every probe and answers from a table.
class RecordingProbe
{
public:
    QHash<QString, ProbeResult> answers;

    // The pinger calls into this object: it must be gone before the object is.
    ~RecordingProbe() { stopPinger(); }

    AsyncProbe function()
    {
        m_clock.start();
        return NetworkProbe::from([this](const QString& ip, int timeout) {
            QMutexLocker lock(&m_mutex);
            m_calls.append({ip, timeout, m_clock.elapsed()});
            return answers.value(ip, ProbeResult::timeout());
        });
    }
    QList<Call> calls()
    {
        QMutexLocker lock(&m_mutex);
        return m_calls;
    }
    qsizetype count() { return calls().size(); }

private:
    QMutex m_mutex;
    QList<Call> m_calls;
    QElapsedTimer m_clock;
};

} // namespace

class TestPinger : public QObject
{
    Q_OBJECT

    Data* m_data = nullptr;

private slots:
    void init()
    {
        Settings::instance().load(QStringLiteral("no-such-settings-file.xml"));
        m_data = new Data;
        for (const char* ip : {"a", "b", "c"})
            m_data->addEntry(DeviceEntry(QString::fromLatin1(ip), QString(), DeviceTypePC, false, NoReplyResult));
        Data::setInstance(m_data);
    }

    void cleanup()
    {
        stopPinger();
        QCOMPARE(currentPinger(), nullptr);
        delete m_data;
        QTRY_COMPARE(StoreEvent::liveCount(), 0);
    }

    void probesInOrderWithGapBeforeEach()
    {
        Settings::instance().pingTimeGap = 40;
        RecordingProbe probe;
        startPinger(probe.function());
        QVERIFY(currentPinger());
        QTRY_VERIFY_WITH_TIMEOUT(probe.count() >= 6, 5000);
        stopPinger();
        const QList<Call> calls = probe.calls();
        const QStringList order = {"a", "b", "c", "a", "b", "c"};
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(calls[i].ip, order[i]);
            QCOMPARE(calls[i].timeout, 1000);
            QVERIFY2(calls[i].at >= 40 * (i + 1) - 5, qPrintable(QString::number(calls[i].at)));
        }
    }

    // "Ping now": one probe of the device at once, between the monitor's own turns (a gap long
    // enough that the monitor never reaches it), its result in the store.
    void probeNowReportsAtOnce()
    {
        Settings::instance().pingTimeGap = 60000;
        RecordingProbe probe;
        probe.answers = {{"c", ProbeResult::reply(4ms)}};
        startPinger(probe.function());
        currentPinger()->probeNow(QStringLiteral("c"));
        QTRY_COMPARE(m_data->entry(QStringLiteral("c")).pingResult, QStringLiteral("4"));
        QCOMPARE(probe.calls().size(), 1);
        QCOMPARE(probe.calls().first().ip, QStringLiteral("c"));
    }

    // "Ping now" on a device whose probe is still out (a silent one waits for its time-out)
    // probes it again as soon as that one ends, not a period later.
    void probeNowWhileOutGoesWhenItEnds()
    {
        Settings::instance().probePeriod = 60;
        QMutex mutex;
        QStringList calls;
        ProbeCompletion held;
        startPinger([&](const QString& ip, int, ProbeCompletion done) {
            QMutexLocker lock(&mutex);
            calls << ip;
            if (ip == QLatin1String("a") && calls.count(ip) == 1)
                held = std::move(done);
            else
                done(ProbeResult::reply(3ms));
        });
        const auto callsOfA = [&] {
            QMutexLocker lock(&mutex);
            return calls.count(QStringLiteral("a"));
        };
        QTRY_COMPARE(callsOfA(), 1);
        currentPinger()->probeNow(QStringLiteral("a"));
        QCOMPARE(callsOfA(), 1);
        ProbeCompletion release;
        {
            QMutexLocker lock(&mutex);
            release = std::move(held);
        }
        release(ProbeResult::timeout());
        QTRY_COMPARE(callsOfA(), 2);
        QTRY_COMPARE(m_data->entry(QStringLiteral("a")).pingResult, QStringLiteral("3"));
    }

    void startingTwiceKeepsOnePinger()
    {
        RecordingProbe probe;
        startPinger(probe.function());
        PingerThread* first = currentPinger();
        startPinger(probe.function());
        QCOMPARE(currentPinger(), first);
    }

    void resultsReachTheStore()
    {
        Settings::instance().pingTimeGap = 0;
        RecordingProbe probe;
        probe.answers = {
            {"a", ProbeResult::reply(7ms)}, {"b", ProbeResult::timeout()}, {"c", ProbeResult::socketError()}};
        startPinger(probe.function());
        QTRY_COMPARE(m_data->entry(QStringLiteral("a")).pingResult, QStringLiteral("7"));
        QTRY_VERIFY(probe.count() >= 6);
        stopPinger();
        QCOMPARE(m_data->entry(QStringLiteral("a")).state, int(DeviceStateConnected));
        QCOMPARE(m_data->entry(QStringLiteral("b")).pingResult, QStringLiteral("X"));
        QCOMPARE(m_data->entry(QStringLiteral("c")).pingResult, QStringLiteral("X"));
        QCOMPARE(m_data->entry(QStringLiteral("c")).state, int(DeviceStateDisconnected));
    }

    void changedTimingsTakeEffectAtTheNextProbe_data()
    {
        QTest::addColumn<int>("newTimeout");
        QTest::addColumn<int>("probedWith");
        QTest::newRow("shorter") << 200 << 200;
        QTest::newRow("negative counts as 0") << -50 << 0;
    }

    void changedTimingsTakeEffectAtTheNextProbe()
    {
        QFETCH(int, newTimeout);
        QFETCH(int, probedWith);
        Settings::instance().pingTimeGap = 30;
        RecordingProbe probe;
        startPinger(probe.function());
        QTRY_VERIFY(probe.count() >= 1);
        Settings::instance().pingTimeout = newTimeout;
        const qsizetype seen = probe.count();
        QTRY_VERIFY(probe.count() >= seen + 2);
        // The probe under way when the setting changed may have read the old value; the next one not.
        QCOMPARE(probe.calls().at(seen + 1).timeout, probedWith);
    }

    void negativeGapKeepsTheMonitorRunning()
    {
        Settings::instance().pingTimeGap = -1;
        RecordingProbe probe;
        startPinger(probe.function());
        QTRY_VERIFY_WITH_TIMEOUT(probe.count() >= 30, 2000);
    }

    void stopDuringAProbeAppliesNothingAfter()
    {
        Settings::instance().pingTimeGap = 0;
        QSemaphore probing;
        QSemaphore release;
        startPinger(NetworkProbe::from([&](const QString&, int) {
            probing.release();
            release.tryAcquire(1, 300);
            return ProbeResult::reply(5ms);
        }));
        QVERIFY(probing.tryAcquire(1, 5000));
        QSignalSpy changes(m_data, &Data::DeviceEntryChanged);
        QElapsedTimer timer;
        timer.start();
        stopPinger();
        QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(changes.size(), 0);
        QCOMPARE(m_data->entry(QStringLiteral("a")).pingResult, QStringLiteral("X"));
    }

    // Every result also goes to the observer (the history), with its outcome and round trip.
    void resultsReachTheObserver()
    {
        Settings::instance().pingTimeGap = 0;
        QMutex mutex;
        QList<ProbeRecord> records;
        RecordingProbe probe;
        probe.answers = {{"a", ProbeResult::reply(7ms)}, {"c", ProbeResult::socketError()}};
        startPinger(probe.function(), [&](const QList<ProbeRecord>& results) {
            QMutexLocker lock(&mutex);
            records << results;
        });
        QTRY_VERIFY([&] {
            QMutexLocker lock(&mutex);
            return records.size() >= 3;
        }());
        stopPinger();
        QCOMPARE(records[0].device, QStringLiteral("a"));
        QVERIFY(records[0].result == ProbeResult::reply(7ms));
        QVERIFY(records[1].result == ProbeResult::timeout());
        QVERIFY(records[2].result == ProbeResult::socketError());
        QVERIFY(qAbs(records[0].atMs - QDateTime::currentMSecsSinceEpoch()) < 60000);
    }

    // With a period set, every device is probed once per period, all of them side by side,
    // with a time-out that ends before the period does; back to 0, the monitor goes back to
    // one at a time without a restart.
    void periodProbesEveryDeviceOncePerPeriod()
    {
        Settings::instance().pingTimeGap = 300;
        Settings::instance().pingTimeout = 3000;
        Settings::instance().probePeriod = 1;
        RecordingProbe probe;
        startPinger(probe.function());
        QTRY_VERIFY_WITH_TIMEOUT(probe.count() >= 6, 5000);
        const QList<Call> rounds = probe.calls();
        QCOMPARE(rounds[0].ip, QStringLiteral("a"));
        QCOMPARE(rounds[2].ip, QStringLiteral("c"));
        QCOMPARE(rounds[0].timeout, 900);
        // All three at once, not a gap apart; the next round a period later.
        QVERIFY2(rounds[2].at - rounds[0].at < 200, qPrintable(QString::number(rounds[2].at - rounds[0].at)));
        QVERIFY2(rounds[3].at - rounds[0].at >= 990, qPrintable(QString::number(rounds[3].at - rounds[0].at)));

        Settings::instance().probePeriod = 0;
        const qsizetype before = probe.count();
        QTRY_VERIFY_WITH_TIMEOUT(probe.count() >= before + 3, 5000);
        const QList<Call> calls = probe.calls();
        QVERIFY(calls[before + 2].at - calls[before + 1].at >= 295);
    }

    // A device that never answers, with a time-out longer than the period, is still probed
    // and reported every period.
    void aSilentDeviceIsProbedEveryPeriod()
    {
        QString whyNot;
        if (!NetworkSandbox::enter(&whyNot))
            QSKIP(qPrintable(whyNot));
        QVERIFY(NetworkSandbox::setSysctl("net/ipv4/icmp_echo_ignore_all", "1"));
        const auto answerAgain = qScopeGuard([] { NetworkSandbox::setSysctl("net/ipv4/icmp_echo_ignore_all", "0"); });
        m_data->changeEntry(QStringLiteral("a"), QStringLiteral("127.0.0.1"), false, QString(), DeviceTypePC);
        m_data->removeEntry(QStringLiteral("b"));
        m_data->removeEntry(QStringLiteral("c"));
        Settings::instance().pingTimeout = 3000;
        Settings::instance().probePeriod = 1;
        QMutex mutex;
        QList<qint64> reported;
        QElapsedTimer clock;
        clock.start();
        // Made inside the private network, and the monitor stopped before it goes.
        NameResolver resolver;
        ProbeEngine engine(resolver);
        const auto stop = qScopeGuard([] { stopPinger(); });
        startPinger(NetworkProbe::overNetwork(engine), [&](const QList<ProbeRecord>& results) {
            QMutexLocker lock(&mutex);
            for (const ProbeRecord& record : results) {
                if (record.result.kind == ProbeResult::Timeout)
                    reported << clock.elapsed();
            }
        });
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                QMutexLocker lock(&mutex);
                return reported.size() >= 4;
            }(),
            8000);
        stopPinger();
        for (qsizetype i = 1; i < reported.size(); ++i)
            QVERIFY2(reported[i] - reported[i - 1] < 1300, qPrintable(QString::number(reported[i] - reported[i - 1])));
    }

    // A list beyond the engine's ceiling is handed over at the engine's pace, a little ahead of
    // it, not a round at a time: "Ping now" and scans queue behind that little only.
    void aLongListIsHandedOverAtTheEnginesPace()
    {
        constexpr int devices = 10000;
        for (int i = 0; i < devices; ++i)
            m_data->addEntry(DeviceEntry(QStringLiteral("h%1").arg(i), QString(), DeviceTypePC, false, NoReplyResult));
        Settings::instance().probePeriod = 1;
        RecordingProbe probe;
        startPinger(probe.function());
        constexpr qsizetype counted = 2000;
        QTRY_VERIFY_WITH_TIMEOUT(probe.count() >= counted, 20000);
        stopPinger();
        const QList<Call> calls = probe.calls();
        const qint64 paceMs = counted * ProbeRate::intervalNs(devices + 3, 1000) / 1000000;
        // Timed from the probe's clock, which started before the round did: the round's first
        // call may itself come late (a busy machine), and the calls due meanwhile then follow
        // it closely, as they should.
        const qint64 lastAt = calls[counted - 1].at;
        QVERIFY2(lastAt >= paceMs - PingerThread::QueueAheadMs - 10,
                 qPrintable(QStringLiteral("%1 ms, the first at %2 ms").arg(lastAt).arg(calls[0].at)));
    }

    // An engine that sends slower than the pace asked of it (at its ceiling it falls a little
    // short) never gets more than QueueAheadMs of the list queued, so that "Ping now" and a scan
    // wait behind that much, not behind a round.
    void aSlowerEngineIsNotHandedARound()
    {
        QString whyNot;
        if (!NetworkSandbox::enter(&whyNot))
            QSKIP(qPrintable(whyNot));
        for (const char* name : {"a", "b", "c"})
            m_data->removeEntry(QString::fromLatin1(name));
        constexpr int devices = 2000;
        for (int i = 0; i < devices; ++i)
            m_data->addEntry(DeviceEntry(QStringLiteral("127.0.%1.%2").arg(1 + i / 250).arg(1 + i % 250), QString(),
                                         DeviceTypePC, false, NoReplyResult));
        Settings::instance().probePeriod = 1;
        int results = 0;
        connect(m_data, &Data::DeviceEntryChanged, this, [&results] { ++results; });
        // At its own pace of one request a millisecond; the list asks for three a millisecond.
        NameResolver resolver;
        ProbeEngine engine(resolver);
        const auto stop = qScopeGuard([] { stopPinger(); });
        startPinger(NetworkProbe::overNetwork(engine), {}, &engine);
        std::size_t most = 0;
        QTRY_VERIFY_WITH_TIMEOUT((most = std::max(most, engine.requestsQueued()), results >= 1500), 30000);
        const qint64 allowed = PingerThread::QueueAheadMs * 1000000 / ProbeRate::intervalNs(devices, 1000);
        QVERIFY2(qint64(most) <= allowed + 1, qPrintable(QStringLiteral("%1 queued").arg(most)));
    }

    // Quitting, or starting a scan, never waits for a probe in flight: here one that would
    // wait 30 s for its reply.
    void stopWhileAProbeWaitsEndsAtOnce()
    {
        QString whyNot;
        if (!NetworkSandbox::enter(&whyNot))
            QSKIP(qPrintable(whyNot));
        QVERIFY(NetworkSandbox::setSysctl("net/ipv4/icmp_echo_ignore_all", "1"));
        m_data->changeEntry(QStringLiteral("a"), QStringLiteral("127.0.0.1"), false, QString(), DeviceTypePC);
        Settings::instance().pingTimeGap = 0;
        Settings::instance().pingTimeout = 30000;
        // Made inside the private network, and the monitor stopped before it goes.
        NameResolver resolver;
        ProbeEngine engine(resolver);
        const auto stop = qScopeGuard([] { stopPinger(); });
        startPinger(NetworkProbe::overNetwork(engine));
        QTRY_VERIFY(engine.requestsInFlight() > 0);
        QElapsedTimer timer;
        timer.start();
        stopPinger();
        // At once rather than after the 30 s time-out; a loaded machine may take a while.
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(NetworkSandbox::setSysctl("net/ipv4/icmp_echo_ignore_all", "0"));
    }

    // A router's answer that the device cannot be reached ends the probe at once, and its
    // reason reaches the store.
    void aRoutersReasonReachesTheStore()
    {
        QString whyNot;
        if (!NetworkSandbox::enter(&whyNot))
            QSKIP(qPrintable(whyNot));
        PeerNetwork router;
        QVERIFY2(router.start(QStringLiteral("10.79.2"), {}, &whyNot), qPrintable(whyNot));
        QVERIFY(router.runInside({"sysctl", "-qw", "net.ipv4.ip_forward=1"}));
        QVERIFY(router.runInside({"ip", "route", "add", "unreachable", "10.79.2.9/32"}));
        m_data->changeEntry(QStringLiteral("a"), QStringLiteral("10.79.2.9"), false, QString(), DeviceTypePC);
        Settings::instance().pingTimeGap = 0;
        // Longer than the wait for the reason: only the router's answer can end the probe in time.
        // Routers answer a few times a second at most, so later probes may wait it out.
        Settings::instance().pingTimeout = 15000;
        // Made inside the private network, and the monitor stopped before it goes.
        NameResolver resolver;
        ProbeEngine engine(resolver);
        const auto stop = qScopeGuard([] { stopPinger(); });
        startPinger(NetworkProbe::overNetwork(engine));
        QTRY_COMPARE_WITH_TIMEOUT(m_data->entry(QStringLiteral("10.79.2.9")).lastProbe.reason,
                                  QStringLiteral("host unreachable, from 10.79.255.2"), 10000);
        QCOMPARE(m_data->entry(QStringLiteral("10.79.2.9")).pingResult, QStringLiteral("X"));
        stopPinger();
    }

    // IPv6 devices behind a link of their own: one answers, one is silent, and a router's
    // answer ends the probe of the third at once, with its reason in the store.
    void ipv6DevicesAreMonitored()
    {
        QString whyNot;
        if (!NetworkSandbox::enter(&whyNot))
            QSKIP(qPrintable(whyNot));
        PeerNetwork peer;
        QVERIFY2(peer.start(QStringLiteral("10.79.7"), {}, &whyNot), qPrintable(whyNot));
        QVERIFY2(peer.addIpv6(QStringLiteral("fd79:7"), {5}, &whyNot), qPrintable(whyNot));
        QVERIFY(peer.runInside({"sysctl", "-qw", "net.ipv6.conf.all.forwarding=1"}));
        QVERIFY(peer.runInside({"ip", "-6", "route", "add", "unreachable", "fd79:7:2::/64"}));
        const QString answering = QStringLiteral("fd79:7:1::5");
        const QString refused = QStringLiteral("fd79:7:2::9");
        const QString silent = QStringLiteral("fd79:7:1::99");
        m_data->changeEntry(QStringLiteral("a"), answering, false, QString(), DeviceTypePC);
        m_data->changeEntry(QStringLiteral("b"), refused, false, QString(), DeviceTypePC);
        m_data->changeEntry(QStringLiteral("c"), silent, false, QString(), DeviceTypePC);
        Settings::instance().pingTimeGap = 0;
        Settings::instance().pingTimeout = 3000;
        NameResolver resolver;
        ProbeEngine engine(resolver);
        const auto stop = qScopeGuard([] { stopPinger(); });
        m_data->awaitFirstResults();
        QElapsedTimer timer;
        timer.start();
        startPinger(NetworkProbe::overNetwork(engine));
        QTRY_COMPARE_WITH_TIMEOUT(m_data->entry(refused).lastProbe.reason,
                                  QStringLiteral("no route to destination, from fd79:7::2"), 10000);
        QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
        QTRY_COMPARE(m_data->entry(answering).state, int(DeviceStateConnected));
        QTRY_VERIFY_WITH_TIMEOUT(!m_data->entry(silent).awaitingFirstResult, 10000);
        QVERIFY2(timer.elapsed() >= 2990, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(m_data->entry(silent).lastProbe, ProbeResult::timeout());
        QCOMPARE(m_data->entry(silent).state, int(DeviceStateDisconnected));
        stopPinger();
    }

    // A device checked by a TCP port is connected while the port takes connections, and "X"
    // with the reason once it refuses them.
    void aTcpCheckFollowsThePort()
    {
        QString whyNot;
        if (!NetworkSandbox::enter(&whyNot))
            QSKIP(qPrintable(whyNot));
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress(QStringLiteral("127.0.0.1"))));
        connect(&server, &QTcpServer::newConnection, &server, [&server] {
            while (QTcpSocket* connection = server.nextPendingConnection())
                connection->deleteLater();
        });
        m_data->changeEntry(QStringLiteral("a"), QStringLiteral("127.0.0.1"), false, QString(), DeviceTypePC,
                            DeviceCheck::tcp(server.serverPort()));
        Settings::instance().pingTimeGap = 20;
        Settings::instance().pingTimeout = 1000;
        NameResolver resolver;
        ProbeEngine engine(resolver);
        const auto stop = qScopeGuard([] { stopPinger(); });
        startPinger(NetworkProbe::overNetwork(engine), {}, &engine);
        QTRY_COMPARE(m_data->entry(QStringLiteral("127.0.0.1")).state, int(DeviceStateConnected));
        QCOMPARE(m_data->entry(QStringLiteral("127.0.0.1")).lastProbe.kind, ProbeResult::Reply);
        server.close();
        QTRY_COMPARE(m_data->entry(QStringLiteral("127.0.0.1")).lastProbe.reason, QStringLiteral("connection refused"));
        QCOMPARE(m_data->entry(QStringLiteral("127.0.0.1")).pingResult, QStringLiteral("X"));
    }

    // A device of an echo and a TCP port is connected only while both answer: a host that
    // answers ping with its port closed is down, and says which check failed. Both ways of
    // probing ask every check.
    void everyCheckMustAnswer_data()
    {
        QTest::addColumn<int>("period");
        QTest::newRow("one at a time") << 0;
        QTest::newRow("every period") << 1;
    }

    void everyCheckMustAnswer()
    {
        QFETCH(int, period);
        QString whyNot;
        if (!NetworkSandbox::enter(&whyNot))
            QSKIP(qPrintable(whyNot));
        const QHostAddress loopback(QStringLiteral("127.0.0.1"));
        QTcpServer server;
        QVERIFY(server.listen(loopback));
        const quint16 port = server.serverPort();
        connect(&server, &QTcpServer::newConnection, &server, [&server] {
            while (QTcpSocket* connection = server.nextPendingConnection())
                connection->deleteLater();
        });
        const QString ip = loopback.toString();
        m_data->changeEntry(QStringLiteral("a"), ip, false, QString(), DeviceTypePC, DeviceCheck{}, std::nullopt,
                            std::nullopt, QList{DeviceCheck::tcp(port)});
        Settings::instance().probePeriod = period;
        Settings::instance().pingTimeGap = 20;
        Settings::instance().pingTimeout = 500;
        NameResolver resolver;
        ProbeEngine engine(resolver);
        const auto stop = qScopeGuard([] { stopPinger(); });
        startPinger(NetworkProbe::overNetwork(engine), {}, &engine);
        QTRY_COMPARE_WITH_TIMEOUT(m_data->entry(ip).state, int(DeviceStateConnected), 10000);
        QCOMPARE(m_data->entry(ip).moreProbes.size(), 1);

        server.close();
        const QString refused = QStringLiteral("TCP %1: connection refused").arg(port);
        QTRY_COMPARE_WITH_TIMEOUT(m_data->entry(ip).lastProbe.reason, refused, 10000);
        const DeviceEntry down = m_data->entry(ip);
        QCOMPARE(down.state, int(DeviceStateDisconnected));
        QCOMPARE(down.pingResult, NoReplyResult);
        QCOMPARE(down.moreProbes.first().reason, QStringLiteral("connection refused"));

        QVERIFY(server.listen(loopback, port));
        QTRY_COMPARE_WITH_TIMEOUT(m_data->entry(ip).state, int(DeviceStateConnected), 10000);
        QCOMPARE(m_data->entry(ip).lastProbe.kind, ProbeResult::Reply);
    }

    // A device that cannot be asked as the list says is never asked another way: each probe
    // fails at once, and the device shows why.
    void devicesThatCannotBeAskedShowWhy_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("check");
        QTest::addColumn<QString>("reason");
        QTest::newRow("port 0") << "127.0.0.1"
                                << "tcp:0"
                                << "the check \"tcp:0\" cannot be read";
        QTest::newRow("IPv6 in brackets") << "[::1]"
                                          << ""
                                          << "\"[::1]\" is not an IPv6 address";
        QTest::newRow("missing interface") << "fe80::1%nosuchif"
                                           << ""
                                           << "no interface nosuchif";
    }

    void devicesThatCannotBeAskedShowWhy()
    {
        QFETCH(QString, address);
        QFETCH(QString, check);
        QFETCH(QString, reason);
        m_data->changeEntry("a", address, false, QString(), DeviceTypePC, DeviceCheck::fromAttribute(check));
        RecordingProbe probe;
        startPinger(probe.function());
        QTRY_VERIFY(m_data->entry(address).lastProbe.reason.contains(reason));
        QTRY_VERIFY(probe.count() >= 4);
        stopPinger();
        const QList<Call> calls = probe.calls();
        QVERIFY(std::none_of(calls.begin(), calls.end(), [&](const Call& call) { return call.ip == address; }));
    }

    // Results that the GUI thread has not taken yet hold the monitor back, so a fast network
    // cannot bury the event loop under results.
    void holdsBackWhileResultsWait()
    {
        Settings::instance().pingTimeGap = 0;
        QSemaphore probes;
        std::atomic<int> mostWaiting{0};
        // The probe refers to this function's locals.
        const auto stop = qScopeGuard([] { stopPinger(); });
        startPinger(NetworkProbe::from([&](const QString&, int) {
            // Stopping forgets the monitor before it ends, and it may ask once more meanwhile.
            if (const PingerThread* pinger = currentPinger())
                mostWaiting = std::max(mostWaiting.load(), pinger->resultsWaiting());
            probes.release();
            return ProbeResult::reply(1ms);
        }));
        // This thread runs no event loop here, so nothing is taken.
        QVERIFY(!probes.tryAcquire(1000, 1000));
        QVERIFY2(mostWaiting <= 500, qPrintable(QString::number(mostWaiting)));
        QTRY_VERIFY(probes.available() >= 1000);
    }

    // The results reported while the store's thread was busy reach it in one hand-off, the
    // store and the sink alike; stopping hands over what still waits.
    void resultsReachTheStoreInBatches()
    {
        Settings::instance().pingTimeGap = 0;
        QList<qsizetype> batches;
        const auto stop = qScopeGuard([] { stopPinger(); });
        startPinger(NetworkProbe::from([](const QString&, int) { return ProbeResult::reply(1ms); }),
                    [&](const QList<ProbeRecord>& results) { batches << results.size(); });
        QSignalSpy changes(m_data, &Data::DeviceEntryChanged);
        // No event loop runs meanwhile: the results gather.
        QDeadlineTimer deadline(10000);
        while (currentPinger()->resultsWaiting() < 100 && !deadline.hasExpired())
            QThread::yieldCurrentThread();
        QVERIFY(currentPinger()->resultsWaiting() >= 100);
        QTRY_VERIFY(!batches.isEmpty());
        QVERIFY2(batches.first() >= 100, qPrintable(QString::number(batches.first())));
        stopPinger();
        QCOMPARE(changes.size(), std::accumulate(batches.cbegin(), batches.cend(), qsizetype(0)));
        const qsizetype taken = changes.size();
        QCoreApplication::processEvents();
        QCOMPARE(changes.size(), taken);
    }

    // Results that come one by one, a millisecond or so apart, share hand-offs.
    void resultsAMillisecondApartShareHandOffs()
    {
        Settings::instance().pingTimeGap = 1;
        QList<qsizetype> batches;
        const auto taken = [&] { return std::accumulate(batches.cbegin(), batches.cend(), qsizetype(0)); };
        QEventLoop loop;
        RecordingProbe probe;
        startPinger(probe.function(), [&](const QList<ProbeRecord>& results) {
            batches << results.size();
            if (taken() >= 60)
                loop.quit();
        });
        // An event loop that waits for events, as the program's does (QTRY_ would take them in
        // its own steps).
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        stopPinger();
        QVERIFY(taken() >= 60);
        // Some twenty to a hand-off here; three on a machine that keeps the monitor waiting.
        QVERIFY2(batches.size() * 3 <= taken(),
                 qPrintable(QStringLiteral("%1 hand-offs for %2 results").arg(batches.size()).arg(taken())));
    }
};

QTEST_GUILESS_MAIN(TestPinger)
#include "tst_pinger.moc"
