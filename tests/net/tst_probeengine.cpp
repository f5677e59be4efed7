// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/EchoPacket.h"
#include "net/IcmpSocket.h"
#include "net/NameResolver.h"
#include "net/NetworkProbe.h"
#include "net/OutstandingTable.h"
#include "net/ProbeEngine.h"
#include "net/ProbePacer.h"
#include "net/ProbeRate.h"
#include "netlab/EchoResponder.h"
#include "netlab/NetworkSandbox.h"
#include "netlab/PeerNetwork.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSet>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>

#include <atomic>
#include <memory>

using namespace Tarnwick;

namespace {

std::uint32_t address(const char* text)
{
    in_addr a{};
    inet_pton(AF_INET, text, &a);
    return a.s_addr;
}

// Collects the outcomes the engine reports, counting how often each request is answered.
class Outcomes
{
public:
    ProbeCompletion forRequest(int index)
    {
        return [this, index](const ProbeResult& result) {
            QMutexLocker lock(&m_mutex);
            m_results.insert(index, result);
            ++m_reports[index];
        };
    }
    int count()
    {
        QMutexLocker lock(&m_mutex);
        return int(m_results.size());
    }
    ProbeResult at(int index)
    {
        QMutexLocker lock(&m_mutex);
        return m_results.value(index);
    }
    int mostReportsOfOne()
    {
        QMutexLocker lock(&m_mutex);
        int most = 0;
        for (int n : std::as_const(m_reports))
            most = std::max(most, n);
        return most;
    }

private:
    QMutex m_mutex;
    QHash<int, ProbeResult> m_results;
    QHash<int, int> m_reports;
};

} // namespace

class TestProbeEngine : public QObject
{
    Q_OBJECT

    bool m_sandbox = false;
    NameResolver m_resolver;

private slots:
    void initTestCase()
    {
        QString whyNot;
        m_sandbox = NetworkSandbox::enter(&whyNot);
    }

    // Without sockets: the outstanding table and the pacing.
    void sequenceNumbersNeverCollide()
    {
        OutstandingTable table;
        for (int i = 0; i < 3; ++i)
            table.insert(*table.nextFreeSequence(), {0, 0, 100, {}});
        // Numbers 0-2 are out; after a full turn of the 16 bits they are skipped.
        for (int i = 3; i < 65536; ++i)
            QCOMPARE(*table.nextFreeSequence(), std::uint16_t(i));
        QCOMPARE(*table.nextFreeSequence(), std::uint16_t(3));
        // Filled up: every number once, then none until one comes back.
        QSet<std::uint16_t> handedOut = {0, 1, 2};
        while (const auto sequence = table.nextFreeSequence()) {
            QVERIFY(!handedOut.contains(*sequence));
            handedOut.insert(*sequence);
            table.insert(*sequence, {0, 0, 200, {}});
        }
        QCOMPARE(table.size(), std::size_t(65536));
        table.take(1);
        QCOMPARE(*table.nextFreeSequence(), std::uint16_t(1));
    }

    void deadlinesExpireInOrder()
    {
        OutstandingTable table;
        table.insert(7, {0, 0, 300, {}});
        table.insert(8, {0, 0, 100, {}});
        table.insert(9, {0, 0, 200, {}});
        QCOMPARE(*table.nextDeadline(), 100);
        table.take(9);
        const auto expired = table.takeExpired(250);
        QCOMPARE(expired.size(), std::size_t(1));
        QCOMPARE(expired.front().deadlineNs, 100);
        QCOMPARE(*table.nextDeadline(), 300);
        QVERIFY(table.find(7));
        QVERIFY(!table.find(8));
    }

    // The kernel hands the engine's raw socket only the echo replies with its identifier: the
    // replies of every other ping on the machine (another Tarnwick probing thousands a second)
    // would fill its buffer, above all before its thread first reads it, and crowd its own out.
    void otherPingsRepliesNeverReachTheSocket()
    {
        QString whyNot;
        if (!NetworkSandbox::enter(&whyNot))
            QSKIP(qPrintable(whyNot));
        IcmpSocket ours;
        IcmpSocket other;
        if (!ours.isRaw() || !other.isRaw())
            QSKIP("needs raw ICMP sockets");
        ours.acceptOnlyIdentifier(0x1234);
        sockaddr_in loopback{};
        loopback.sin_family = AF_INET;
        loopback.sin_addr.s_addr = address("127.0.0.1");
        for (const std::uint16_t identifier : {std::uint16_t(0x4321), std::uint16_t(0x1234)}) {
            const EchoPacket::Request request = EchoPacket::buildRequest(identifier, 1, 0);
            QCOMPARE(::sendto(other.fd(), request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&loopback),
                              sizeof loopback),
                     ssize_t(request.size()));
        }
        pollfd readable{ours.fd(), POLLIN, 0};
        QCOMPARE(::poll(&readable, 1, 5000), 1);
        std::uint8_t datagram[256];
        const ssize_t length = ::recv(ours.fd(), datagram, sizeof datagram, 0);
        const std::optional<EchoPacket::Reply> reply = EchoPacket::parseReply(
            datagram, std::size_t(std::max<ssize_t>(length, 0)), true);
        QVERIFY(reply);
        QCOMPARE(reply->identifier, std::uint16_t(0x1234));
    }

    void pacingKeepsTheInterval()
    {
        ProbePacer pacer(20000000);
        QVERIFY(pacer.maySend(5));
        pacer.sent(5);
        QVERIFY(!pacer.maySend(20000004));
        QVERIFY(pacer.maySend(20000005));
        QCOMPARE(pacer.nextSendAt(), 20000005);
    }

    // Up to ten milliseconds apart, one wake-up sends what falls due within ten milliseconds,
    // and the rate stays what the interval says.
    void pacingSendsInTurns_data()
    {
        QTest::addColumn<qint64>("intervalNs");
        QTest::addColumn<int>("perTurn");
        QTest::newRow("4,000 a second") << qint64(250000) << 40;
        QTest::newRow("1,000 a second") << qint64(1000000) << 10;
        QTest::newRow("300 a second") << qint64(3333333) << 3;
        QTest::newRow("100 a second") << qint64(10000000) << 1;
        QTest::newRow("50 a second") << qint64(20000000) << 1;
    }

    void pacingSendsInTurns()
    {
        QFETCH(qint64, intervalNs);
        QFETCH(int, perTurn);
        ProbePacer pacer(intervalNs);
        const std::int64_t spanNs = 2000000000;
        int sent = 0;
        std::int64_t wakeUps = 0;
        for (std::int64_t now = 0; now < spanNs; now = pacer.nextSendAt()) {
            ++wakeUps;
            for (int inTurn = 0; pacer.maySend(now); ++inTurn) {
                QVERIFY(inTurn < perTurn);
                pacer.sent(now);
                ++sent;
            }
        }
        // The last turn may send what falls due after the span's end.
        const int due = int((spanNs + intervalNs - 1) / intervalNs);
        QVERIFY2(sent >= due && sent < due + perTurn, qPrintable(QString::number(sent)));
        QCOMPARE(wakeUps, (sent + perTurn - 1) / perTurn);
    }

    // The engine's pace follows the list: never slower than 1 ms, head-room above what the
    // period needs, and a ceiling beyond which devices are probed less often than asked.
    void rateFollowsTheList_data()
    {
        QTest::addColumn<qint64>("devices");
        QTest::addColumn<int>("checks"); // each device's
        QTest::addColumn<qint64>("periodMs");
        QTest::addColumn<qint64>("intervalNs");
        QTest::addColumn<QString>("told");
        QTest::addColumn<qint64>("ceiling"); // requests a second
        QTest::newRow("one at a time") << qint64(10000) << 1 << qint64(0) << qint64(1000000) << QString()
                                       << qint64(5000);
        QTest::newRow("few devices") << qint64(250) << 1 << qint64(1000) << qint64(1000000) << QString()
                                     << qint64(5000);
        QTest::newRow("2,500 every second")
            << qint64(2500) << 1 << qint64(1000) << qint64(266666) << QString() << qint64(5000);
        QTest::newRow("10,000 every 5 s")
            << qint64(10000) << 1 << qint64(5000) << qint64(333333) << QString() << qint64(5000);
        QTest::newRow("at the ceiling") << qint64(5000) << 1 << qint64(1000) << qint64(200000) << QString()
                                        << qint64(5000);
        QTest::newRow("beyond the ceiling")
            << qint64(12345) << 1 << qint64(1000) << qint64(200000)
            << QStringLiteral("With 12345 devices, each is probed about every 2.5 s") << qint64(5000);
        QTest::newRow("empty list") << qint64(0) << 1 << qint64(1000) << qint64(1000000) << QString() << qint64(5000);
        QTest::newRow("3,000 devices of two checks")
            << qint64(3000) << 2 << qint64(1000) << qint64(200000)
            << QStringLiteral("With 3000 devices, each is probed about every 1.2 s") << qint64(5000);
        QTest::newRow("100,000 every 5 s, ceiling raised")
            << qint64(100000) << 1 << qint64(5000) << qint64(33333) << QString() << qint64(30000);
        QTest::newRow("beyond a raised ceiling")
            << qint64(100000) << 1 << qint64(1000) << qint64(50000)
            << QStringLiteral("With 100000 devices, each is probed about every 5 s") << qint64(20000);
    }

    void rateFollowsTheList()
    {
        QFETCH(qint64, devices);
        QFETCH(int, checks);
        QFETCH(qint64, periodMs);
        QFETCH(qint64, intervalNs);
        QFETCH(QString, told);
        QFETCH(qint64, ceiling);
        QCOMPARE(ProbeRate::intervalNs(devices * checks, periodMs, ceiling), intervalNs);
        QCOMPARE(ProbeRate::outgrownText(devices, devices * checks, periodMs, ceiling), told);
    }

    void pacingDoesNotDrift()
    {
        // Every send leaves 300 ns late: the schedule keeps its own times, so the late
        // wake-ups do not add up.
        ProbePacer pacer(20000000);
        pacer.sent(0);
        for (int i = 1; i <= 100; ++i) {
            const std::int64_t due = pacer.nextSendAt();
            QCOMPARE(due, std::int64_t(i) * 20000000);
            pacer.sent(due + 300);
        }
        // After a long pause the schedule starts from the send, with no burst to make up.
        pacer.sent(10000000000);
        QCOMPARE(pacer.nextSendAt(), 10020000000);
        QVERIFY(!pacer.maySend(10019999999));
    }

    // Over the network of the test's own namespace.
    void repliesTimeoutsAndMisbehaviour_data()
    {
        QTest::addColumn<QStringList>("responder");
        QTest::addColumn<bool>("answered");
        QTest::newRow("delayed reply") << QStringList{"--delay", "40"} << true;
        QTest::newRow("duplicates and look-alikes")
            << QStringList{"--duplicate", "--wrong-id", "--wrong-seq", "--unrelated"} << true;
        QTest::newRow("reply from another address only")
            << QStringList{"--only-foreign", "--foreign-source", "127.0.0.9"} << false;
    }

    void repliesTimeoutsAndMisbehaviour()
    {
        QFETCH(QStringList, responder);
        QFETCH(bool, answered);
        if (!m_sandbox)
            QSKIP("needs a private network namespace (root)");
        QVERIFY(NetworkSandbox::setSysctl("net/ipv4/icmp_echo_ignore_all", "1"));
        EchoResponder echo;
        QVERIFY(echo.start(QStringList{"--address", "127.0.0.7"} + responder));
        ProbeEngine engine(m_resolver);
        Outcomes outcomes;
        QElapsedTimer timer;
        timer.start();
        // A time-out that a responder slowed down by a loaded machine still meets.
        for (int i = 0; i < 5; ++i)
            engine.submit(address("127.0.0.7"), 2000, outcomes.forRequest(i));
        QTRY_COMPARE_WITH_TIMEOUT(outcomes.count(), 5, 10000);
        for (int i = 0; i < 5; ++i) {
            const ProbeResult r = outcomes.at(i);
            QCOMPARE(r.kind, answered ? ProbeResult::Reply : ProbeResult::Timeout);
            if (answered)
                QVERIFY2(r.roundTripUs >= 39000 * responder.contains("40"), qPrintable(QString::number(r.roundTripUs)));
        }
        // Each request is answered exactly once, duplicates or not, also past its time-out.
        QTRY_VERIFY_WITH_TIMEOUT(timer.elapsed() > 2200, 10000);
        QCOMPARE(outcomes.mostReportsOfOne(), 1);
        QVERIFY(NetworkSandbox::setSysctl("net/ipv4/icmp_echo_ignore_all", "0"));
    }

    // Replies come back in another order than the requests left: each finds its own.
    void repliesInAnotherOrder()
    {
        if (!m_sandbox)
            QSKIP("needs a private network namespace (root)");
        QVERIFY(NetworkSandbox::setSysctl("net/ipv4/icmp_echo_ignore_all", "1"));
        EchoResponder slow;
        EchoResponder fast;
        QVERIFY(slow.start({"--address", "127.0.0.7", "--delay", "150"}));
        QVERIFY(fast.start({"--address", "127.0.0.8"}));
        ProbeEngine engine(m_resolver);
        Outcomes outcomes;
        engine.submit(address("127.0.0.7"), 1000, outcomes.forRequest(0));
        engine.submit(address("127.0.0.8"), 1000, outcomes.forRequest(1));
        engine.submit(address("127.0.0.9"), 300, outcomes.forRequest(2));
        QTRY_COMPARE(outcomes.count(), 3);
        QVERIFY(outcomes.at(0).roundTripUs >= 149000);
        // The fast reply is the fast request's, however slow a loaded machine makes it.
        QCOMPARE(outcomes.at(1).kind, ProbeResult::Reply);
        QVERIFY(outcomes.at(1).roundTripUs < outcomes.at(0).roundTripUs);
        QCOMPARE(outcomes.at(2).kind, ProbeResult::Timeout);
        QVERIFY(NetworkSandbox::setSysctl("net/ipv4/icmp_echo_ignore_all", "0"));
    }

    // A whole 16-bit turn of requests in flight: every reply still finds its own request.
    void aBoxOf65536Addresses()
    {
        if (!m_sandbox)
            QSKIP("needs a private network namespace (root)");
        ProbeEngine engine(m_resolver);
        engine.setInterval(5000);
        Outcomes outcomes;
        for (int i = 0; i < 65536; ++i)
            engine.submit(htonl(0x7F000000u | std::uint32_t(i + 1)), 20000, outcomes.forRequest(i));
        QTRY_COMPARE_WITH_TIMEOUT(outcomes.count(), 65536, 120000);
        int replies = 0;
        for (int i = 0; i < 65536; ++i)
            replies += outcomes.at(i).kind == ProbeResult::Reply;
        QCOMPARE(replies, 65536);
        QCOMPARE(outcomes.mostReportsOfOne(), 1);
    }

    // Stopping ends at once, not after the requests' 30 s time-outs, and nothing is reported
    // after it. (How fast, on a quiet machine, is a benchmark's row: under 200 ms.)
    void stopEndsAtOnce()
    {
        if (!m_sandbox)
            QSKIP("needs a private network namespace (root)");
        QVERIFY(NetworkSandbox::setSysctl("net/ipv4/icmp_echo_ignore_all", "1"));
        auto engine = std::make_unique<ProbeEngine>(m_resolver);
        std::atomic<int> reported{0};
        for (int i = 0; i < 100; ++i)
            engine->submit(address("127.0.0.7"), 30000, [&reported](const ProbeResult&) { ++reported; });
        QElapsedTimer timer;
        timer.start();
        engine->stop();
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(!engine->hasSocket());
        engine.reset();
        QCOMPARE(reported.load(), 0);
        QVERIFY(NetworkSandbox::setSysctl("net/ipv4/icmp_echo_ignore_all", "0"));
    }

    // Names that a name server never answers hold no more than the resolver's few threads: their
    // callers hear "none" at their bound all the same, and stopping waits for none of them.
    void hangingNamesHoldOnlyThePool()
    {
        struct Hang
        {
            QSemaphore release;
            std::atomic<int> started{0};
        };
        auto hang = std::make_shared<Hang>();
        auto resolver = std::make_unique<NameResolver>([hang](const std::string&) {
            ++hang->started;
            hang->release.acquire();
            return NameResolver::Address();
        });
        const int names = 3 * NameResolver::Workers;
        std::atomic<int> unresolved{0};
        for (int i = 0; i < names; ++i)
            resolver->resolve(QStringLiteral("hanging-%1").arg(i), 100,
                              [&unresolved](const NameResolver::Outcome& found) { unresolved += !found.address; });
        QTRY_COMPARE(unresolved.load(), names);
        QCOMPARE(hang->started.load(), NameResolver::Workers);
        QElapsedTimer stopping;
        stopping.start();
        resolver.reset();
        QVERIFY2(stopping.elapsed() < 100, qPrintable(QString::number(stopping.elapsed())));
        // The look-ups that hung end alone, after their resolver.
        hang->release.release(names);
    }

    // A router that cannot deliver says so at once; the probe ends then, with the router's
    // reason, not at its time-out.
    void unreachableAnswersEndTheWait_data()
    {
        QTest::addColumn<QString>("routeType");
        QTest::addColumn<QString>("reason");
        QTest::newRow("unreachable") << "unreachable"
                                     << "host unreachable, from 10.79.255.2";
        QTest::newRow("prohibited") << "prohibit"
                                    << "communication administratively prohibited, from 10.79.255.2";
    }

    void unreachableAnswersEndTheWait()
    {
        if (!m_sandbox)
            QSKIP("needs a private network namespace (root)");
        QFETCH(QString, routeType);
        QFETCH(QString, reason);
        PeerNetwork router;
        QString whyNot;
        QVERIFY2(router.start(QStringLiteral("10.79.1"), {}, &whyNot), qPrintable(whyNot));
        QVERIFY(router.runInside({"sysctl", "-qw", "net.ipv4.ip_forward=1"}));
        QVERIFY(router.runInside({"ip", "route", "add", routeType, "10.79.1.0/24"}));
        ProbeEngine engine(m_resolver);
        Outcomes outcomes;
        QElapsedTimer timer;
        timer.start();
        engine.submit(address("10.79.1.9"), 20000, outcomes.forRequest(0));
        QTRY_COMPARE_WITH_TIMEOUT(outcomes.count(), 1, 20000);
        QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(outcomes.at(0).kind, ProbeResult::Timeout);
        QCOMPARE(outcomes.at(0).reason, reason);
        QCOMPARE(outcomes.at(0).code(), PingNoReply);
    }

    // IPv6 hosts behind a link of their own, probed by their address texts: an answer (a
    // link-local one through its interface), silence until the time-out, and a router's refusal
    // that ends the wait at once with its reason.
    void ipv6Probes_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("routeType");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("answering") << "fd79:6:1::5"
                                   << "" << 5000 << int(ProbeResult::Reply) << "";
        QTest::newRow("link-local") << "fe80::2%twlab0"
                                    << "" << 5000 << int(ProbeResult::Reply) << "";
        QTest::newRow("silent") << "fd79:6:1::99"
                                << "" << 400 << int(ProbeResult::Timeout) << "";
        QTest::newRow("unreachable") << "fd79:6:2::9"
                                     << "unreachable" << 20000 << int(ProbeResult::Timeout)
                                     << "no route to destination, from fd79:6::2";
        QTest::newRow("prohibited") << "fd79:6:2::9"
                                    << "prohibit" << 20000 << int(ProbeResult::Timeout)
                                    << "communication administratively prohibited, from fd79:6::2";
    }

    void ipv6Probes()
    {
        if (!m_sandbox)
            QSKIP("needs a private network namespace (root)");
        QFETCH(QString, target);
        QFETCH(QString, routeType);
        QFETCH(int, timeoutMs);
        QFETCH(int, kind);
        QFETCH(QString, reason);
        PeerNetwork peer;
        QString whyNot;
        QVERIFY2(peer.start(QStringLiteral("10.79.6"), {}, &whyNot), qPrintable(whyNot));
        QVERIFY2(peer.addIpv6(QStringLiteral("fd79:6"), {5}, &whyNot), qPrintable(whyNot));
        if (!routeType.isEmpty()) {
            QVERIFY(peer.runInside({"sysctl", "-qw", "net.ipv6.conf.all.forwarding=1"}));
            QVERIFY(peer.runInside({"ip", "-6", "route", "add", routeType, "fd79:6:2::/64"}));
        }
        ProbeEngine engine(m_resolver);
        QVERIFY(engine.hasIpv6Socket());
        Outcomes outcomes;
        QElapsedTimer timer;
        timer.start();
        NetworkProbe::overNetwork(engine)(target, timeoutMs, outcomes.forRequest(0));
        QTRY_COMPARE_WITH_TIMEOUT(outcomes.count(), 1, timeoutMs + 5000);
        const qint64 elapsed = timer.elapsed();
        QCOMPARE(int(outcomes.at(0).kind), kind);
        QCOMPARE(outcomes.at(0).reason, reason);
        if (kind == ProbeResult::Reply)
            QVERIFY(outcomes.at(0).roundTripUs > 0);
        // Silence waits out the time-out; an answer or a refusal ends the wait well before it.
        if (reason.isEmpty() && kind != ProbeResult::Reply)
            QVERIFY2(elapsed >= timeoutMs - 10, qPrintable(QString::number(elapsed)));
        else
            QVERIFY2(elapsed < timeoutMs / 2, qPrintable(QString::number(elapsed)));
        QTRY_COMPARE(int(engine.requestsInFlight()), 0);
    }

    // A port that takes connections, then the same port closed, then a host that never answers.
    void tcpChecks()
    {
        if (!m_sandbox)
            QSKIP("needs a private network namespace (root)");
        // The peer's process is forked first, so that it holds no copy of the listening socket.
        PeerNetwork silent;
        QString whyNot;
        QVERIFY2(silent.start(QStringLiteral("10.79.2"), {}, &whyNot), qPrintable(whyNot));
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress(QStringLiteral("127.0.0.1"))));
        const std::uint16_t port = server.serverPort();
        ProbeEngine engine(m_resolver);
        Outcomes outcomes;
        engine.submitConnect(address("127.0.0.1"), port, 2000, outcomes.forRequest(0));
        QTRY_COMPARE(outcomes.count(), 1);
        QCOMPARE(outcomes.at(0).kind, ProbeResult::Reply);
        QVERIFY(outcomes.at(0).roundTripUs > 0);

        server.close();
        engine.submitConnect(address("127.0.0.1"), port, 2000, outcomes.forRequest(1));
        QElapsedTimer timer;
        timer.start();
        engine.submitConnect(address("10.79.2.9"), 80, 300, outcomes.forRequest(2));
        QTRY_COMPARE(outcomes.count(), 3);
        QCOMPARE(outcomes.at(1).reason, QStringLiteral("connection refused"));
        QCOMPARE(outcomes.at(1).kind, ProbeResult::SocketError);
        QCOMPARE(outcomes.at(2), ProbeResult::timeout());
        QVERIFY(timer.elapsed() >= 290);
        QTRY_COMPARE(int(engine.requestsInFlight()), 0);
    }

    // A TCP check of an IPv6 address: the port open, then closed.
    void tcpChecksOverIpv6()
    {
        if (!m_sandbox)
            QSKIP("needs a private network namespace (root)");
        PeerNetwork peer;
        QString whyNot;
        QVERIFY2(peer.start(QStringLiteral("10.79.5"), {}, &whyNot), qPrintable(whyNot));
        QVERIFY2(peer.addIpv6(QStringLiteral("fd79:5"), {}, &whyNot), qPrintable(whyNot));
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress(QStringLiteral("fd79:5::1"))));
        const std::uint16_t port = server.serverPort();
        const IpAddress here = *IpAddress::parse(QStringLiteral("fd79:5::1"));
        ProbeEngine engine(m_resolver);
        Outcomes outcomes;
        engine.submitConnect(here, port, 2000, outcomes.forRequest(0));
        QTRY_COMPARE(outcomes.count(), 1);
        QCOMPARE(outcomes.at(0).kind, ProbeResult::Reply);
        server.close();
        engine.submitConnect(here, port, 2000, outcomes.forRequest(1));
        QTRY_COMPARE(outcomes.count(), 2);
        QCOMPARE(outcomes.at(1).reason, QStringLiteral("connection refused"));
    }

    // ARP alone: a host that drops echo requests is there all the same; one that is not there,
    // or is not on a local link, is not.
    void arpChecks_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("silent to echo") << "10.78.9.10" << int(ProbeResult::Reply) << "";
        QTest::newRow("absent") << "10.78.9.11" << int(ProbeResult::Timeout) << "";
        QTest::newRow("behind no link") << "127.0.0.1" << int(ProbeResult::Timeout) << "not on a local link";
    }

    void arpChecks()
    {
        if (!m_sandbox)
            QSKIP("needs a private network namespace (root)");
        QFETCH(QString, target);
        QFETCH(int, kind);
        QFETCH(QString, reason);
        PeerNetwork link;
        QString whyNot;
        QVERIFY2(link.startOnLink(QStringLiteral("10.78.9"), {10}, &whyNot), qPrintable(whyNot));
        QVERIFY(link.runInside({"sysctl", "-qw", "net.ipv4.icmp_echo_ignore_all=1"}));
        ProbeEngine engine(m_resolver);
        if (!engine.asksByArp())
            QSKIP("no packet socket");
        Outcomes outcomes;
        engine.submit(address(qPrintable(target)), 1000, outcomes.forRequest(0), 0, ProbeEngine::OnLink::ArpOnly);
        QTRY_COMPARE(outcomes.count(), 1);
        QCOMPARE(int(outcomes.at(0).kind), kind);
        QCOMPARE(outcomes.at(0).reason, reason);
        QCOMPARE(outcomes.at(0).roundTripUs > 0, kind == ProbeResult::Reply);
    }

    // A name with no IPv4 address resolves to its IPv6 one; a name with both keeps its IPv4
    // one; an unknown one says why. The names come from a hosts file of the test's own, in a
    // mount namespace of its own.
    void namesWithoutAnIpv4AddressResolveToTheirIpv6One_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("address");
        QTest::newRow("IPv6 alone") << "v6only.tarnwick.test"
                                    << "fd79:8::1";
        QTest::newRow("both") << "both.tarnwick.test"
                              << "10.79.8.1";
        // Not in the hosts file, and no name server asked: the resolver's own reason.
        QTest::newRow("unknown") << "nosuch.tarnwick.test"
                                 << "name not found";
    }

    void namesWithoutAnIpv4AddressResolveToTheirIpv6One()
    {
        if (!m_sandbox)
            QSKIP("needs a private network namespace (root)");
        QFETCH(QString, name);
        QFETCH(QString, address);
        static const bool privateMounts = ::unshare(CLONE_NEWNS) == 0
            && ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        if (!privateMounts)
            QSKIP("could not make a mount namespace");
        QTemporaryDir dir;
        QFile hosts(dir.filePath(QStringLiteral("hosts")));
        QVERIFY(hosts.open(QIODevice::WriteOnly));
        hosts.write("fd79:8::1 v6only.tarnwick.test\n10.79.8.1 both.tarnwick.test\nfd79:8::2 both.tarnwick.test\n");
        hosts.close();
        QCOMPARE(::mount(QFile::encodeName(hosts.fileName()).constData(), "/etc/hosts", nullptr, MS_BIND, nullptr), 0);
        const auto unmount = qScopeGuard([] { ::umount2("/etc/hosts", MNT_DETACH); });
        QFile nsswitch(dir.filePath(QStringLiteral("nsswitch.conf")));
        QVERIFY(nsswitch.open(QIODevice::WriteOnly));
        nsswitch.write("hosts: files\n");
        nsswitch.close();
        QCOMPARE(::mount(QFile::encodeName(nsswitch.fileName()).constData(), "/etc/nsswitch.conf", nullptr, MS_BIND,
                         nullptr),
                 0);
        const auto unmountNsswitch = qScopeGuard([] { ::umount2("/etc/nsswitch.conf", MNT_DETACH); });
        NameResolver resolver;
        QMutex mutex;
        std::optional<NameResolver::Outcome> found;
        resolver.resolve(name, 5000, [&](const NameResolver::Outcome& resolved) {
            QMutexLocker lock(&mutex);
            found = resolved;
        });
        QTRY_VERIFY([&] {
            QMutexLocker lock(&mutex);
            return found.has_value();
        }());
        QCOMPARE(found->address ? found->address->toString() : found->failure, address);
    }

    // Dotted text needs no look-up; anything else that is not an address is not taken for one.
    // An IPv4-mapped IPv6 address is the IPv4 address it carries.
    void numericAddresses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("address"); // empty: none
        QTest::newRow("dotted") << "127.0.0.1"
                                << "127.0.0.1";
        QTest::newRow("short form") << "127.1"
                                    << "";
        QTest::newRow("name") << "printer.lan"
                              << "";
        QTest::newRow("white space") << " 127.0.0.1"
                                     << "";
        QTest::newRow("IPv6") << "fd00::1"
                              << "fd00::1";
        QTest::newRow("IPv6 with its interface") << "fe80::1%lo"
                                                 << "fe80::1";
        QTest::newRow("IPv6 with an interface not here") << "fe80::1%twnone9"
                                                         << "";
        QTest::newRow("IPv6 with three colons") << "fd00:::1"
                                                << "";
        QTest::newRow("IPv4-mapped") << "::ffff:127.0.0.1"
                                     << "127.0.0.1";
        QTest::newRow("IPv4-mapped in hexadecimal") << "::FFFF:7f00:2"
                                                    << "127.0.0.2";
        QTest::newRow("IPv4-compatible is IPv6") << "::127.0.0.1"
                                                 << "::127.0.0.1";
    }

    void numericAddresses()
    {
        QFETCH(QString, text);
        QFETCH(QString, address);
        const NameResolver::Address numeric = NameResolver::numeric(text);
        QCOMPARE(numeric ? numeric->toString() : QString(), address);
    }
};

QTEST_GUILESS_MAIN(TestProbeEngine)
#include "tst_probeengine.moc"
