// SPDX-License-Identifier: GPL-3.0-or-later
#include "../common/ProgramRun.h"
#include "history/HistoryReader.h"
#include "net/NameResolver.h"
#include "net/NetworkProbe.h"
#include "net/PingHost.h"
#include "net/ProbeEngine.h"
#include "netlab/EchoResponder.h"
#include "netlab/HangingNameServer.h"
#include "netlab/NetworkSandbox.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <arpa/inet.h>
#include <grp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <memory>

using namespace Tarnwick;

namespace {

// Sends echo requests to 127.0.0.2 as fast as it can, with the identifiers and sequence
// numbers the probes use, so that the kernel's replies from 127.0.0.2 look like theirs.
class Flood
{
public:
    Flood()
    {
        m_thread = QThread::create([this]() {
            const int fd = ::socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            inet_pton(AF_INET, "127.0.0.2", &to.sin_addr);
            QElapsedTimer limit;
            limit.start();
            for (int n = 0; !m_stop && limit.elapsed() < 30000; ++n) {
                unsigned char request[48] = {8, 0};
                request[4] = request[6] = static_cast<unsigned char>(n % 20);
                unsigned sum = 0;
                for (int i = 0; i < 48; i += 2)
                    sum += request[i] | (request[i + 1] << 8);
                sum = (sum & 0xFFFF) + (sum >> 16);
                sum = ~((sum & 0xFFFF) + (sum >> 16));
                request[2] = static_cast<unsigned char>(sum);
                request[3] = static_cast<unsigned char>(sum >> 8);
                if (::sendto(fd, request, sizeof request, 0, reinterpret_cast<sockaddr*>(&to), sizeof to) > 0)
                    ++m_sent;
                if (n % 64 == 0)
                    QThread::yieldCurrentThread();
            }
            ::close(fd);
        });
        m_thread->start();
    }
    ~Flood()
    {
        m_stop = true;
        m_thread->wait();
        delete m_thread;
    }
    int sent() const { return m_sent; }

private:
    QThread* m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_sent{0};
};

// Run in a child before exec: become the unprivileged user "nobody", without any capability.
void asNobody()
{
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
        ::_exit(3);
}

QString runProbeToolAsNobody(const QString& host)
{
    QProcess tool;
    tool.setChildProcessModifier(asNobody);
    tool.start(QStringLiteral(TARNWICK_PROBE_TOOL), {host, QStringLiteral("1000")});
    tool.waitForFinished(10000);
    return QString::fromLatin1(tool.readAllStandardOutput()).trimmed();
}

} // namespace

class TestPingHost : public QObject
{
    Q_OBJECT

    // Made inside the private network.
    std::unique_ptr<NameResolver> m_resolver;
    std::unique_ptr<ProbeEngine> m_engine;

    int ping(const QString& host, int timeoutMs) { return pingHost(*m_engine, host, timeoutMs); }

private slots:
    void initTestCase()
    {
        QString whyNot;
        if (!NetworkSandbox::enter(&whyNot))
            QSKIP(qPrintable(QStringLiteral("live probes skipped: ") + whyNot));
        m_resolver = std::make_unique<NameResolver>();
        m_engine = std::make_unique<ProbeEngine>(*m_resolver);
    }

    void init() { QVERIFY(NetworkSandbox::setSysctl("net/ipv4/icmp_echo_ignore_all", "0")); }

    void loopbackAnswersQuickly()
    {
        for (int i = 0; i < 5; ++i) {
            const int result = ping(QStringLiteral("127.0.0.1"), 1000);
            QVERIFY2(result >= 0 && result < 50, qPrintable(QString::number(result)));
        }
    }

    void unresolvableNameIsSocketError()
    {
        QCOMPARE(ping(QStringLiteral("no-such-device.invalid"), 500), PingSocketError);
        QCOMPARE(ping(QString(), 500), PingSocketError);
    }

    void silentHostTimesOut_data()
    {
        QTest::addColumn<int>("timeoutMs");
        QTest::newRow("300 ms") << 300;
        QTest::newRow("zero returns at once") << 0;
    }

    void silentHostTimesOut()
    {
        QFETCH(int, timeoutMs);
        QVERIFY(NetworkSandbox::setSysctl("net/ipv4/icmp_echo_ignore_all", "1"));
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(ping(QStringLiteral("127.0.0.8"), timeoutMs), PingNoReply);
        const qint64 took = timer.elapsed();
        QVERIFY2(took >= timeoutMs - 5 && took < timeoutMs + 200, qPrintable(QString::number(took)));
    }

    // Foreign and misleading datagrams are skipped and the real reply is still taken.
    void repliesAreMatched_data()
    {
        QTest::addColumn<QStringList>("misbehaviour");
        QTest::newRow("plain") << QStringList();
        QTest::newRow("wrong identifier first") << QStringList{"--wrong-id"};
        QTest::newRow("wrong sequence first") << QStringList{"--wrong-seq"};
        QTest::newRow("duplicate") << QStringList{"--duplicate"};
        QTest::newRow("from another address first") << QStringList{"--foreign-source", "127.0.0.9"};
        QTest::newRow("unrelated message first") << QStringList{"--unrelated"};
        QTest::newRow("everything at once")
            << QStringList{"--unrelated", "--wrong-id", "--wrong-seq", "--foreign-source", "127.0.0.9", "--duplicate"};
    }

    void repliesAreMatched()
    {
        QFETCH(QStringList, misbehaviour);
        QVERIFY(NetworkSandbox::setSysctl("net/ipv4/icmp_echo_ignore_all", "1"));
        EchoResponder responder;
        QVERIFY(responder.start(QStringList{"--address", "127.0.0.7", "--delay", "40"} + misbehaviour));
        for (int i = 1; i <= 3; ++i) {
            const int result = ping(QStringLiteral("127.0.0.7"), 2000);
            QVERIFY2(result >= 39 && result < 400, qPrintable(QString::number(result)));
        }
    }

    void foreignTrafficNeverSpoilsAProbe()
    {
        Flood flood;
        QTRY_VERIFY(flood.sent() > 100);
        // Probes go on until a good share of the flood has come in amid them, however slowly a
        // busy machine lets it run; each must have its own reply.
        const int before = flood.sent();
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < 20 || (flood.sent() - before < 500 && timer.elapsed() < 20000); ++i) {
            const int result = ping(QStringLiteral("127.0.0.1"), 1000);
            QVERIFY2(result >= 0 && result < 1000, qPrintable(QStringLiteral("probe %1 gave %2").arg(i).arg(result)));
        }
        QVERIFY2(flood.sent() - before >= 500, "the flood stalled while the probes ran");
    }

    // A name whose server never answers gives up at the look-up's bound, as a probe that
    // failed, and the caller hears of it; the look-up itself may hang on.
    void nameServerThatNeverAnswersEndsTheProbe()
    {
        QString whyNot;
        HangingNameServer nameServer;
        QVERIFY2(nameServer.start(&whyNot), qPrintable(whyNot));
        QProcess tool;
        tool.setChildProcessModifier([&nameServer] { nameServer.enterInChild(); });
        QElapsedTimer timer;
        timer.start();
        tool.start(QStringLiteral(TARNWICK_PROBE_TOOL), {QStringLiteral("printer.lan.test"), QStringLiteral("300")});
        QVERIFY(nameServer.questionSeen(10000));
        QVERIFY2(tool.waitForFinished(20000), "the probe never ended");
        QCOMPARE(tool.readAllStandardOutput().trimmed(), QByteArray::number(PingSocketError));
        QVERIFY2(timer.elapsed() >= NetworkProbe::resolutionBoundMs(300), qPrintable(QString::number(timer.elapsed())));
    }

    // Replies to others keep arriving all the while; the wait still ends at the time-out
    // instead of starting again with each of them.
    void silentHostTimesOutAmidForeignReplies()
    {
        QVERIFY(NetworkSandbox::setSysctl("net/ipv4/icmp_echo_ignore_all", "1"));
        EchoResponder responder;
        QVERIFY(responder.start({"--address", "127.0.0.2"}));
        Flood flood;
        QTRY_VERIFY(flood.sent() > 100);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(ping(QStringLiteral("127.0.0.8"), 300), PingNoReply);
        QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
    }

    void unprivilegedUserUsesDatagramSocket_data()
    {
        QTest::addColumn<QString>("pingGroupRange");
        QTest::addColumn<bool>("answers");
        QTest::newRow("allowed") << "0 2147483647" << true;
        QTest::newRow("closed as on Debian") << "1 0" << false;
    }

    void unprivilegedUserUsesDatagramSocket()
    {
        QFETCH(QString, pingGroupRange);
        QFETCH(bool, answers);
        QVERIFY(NetworkSandbox::setSysctl("net/ipv4/ping_group_range", pingGroupRange));
        const QString result = runProbeToolAsNobody(QStringLiteral("127.0.0.1"));
        NetworkSandbox::setSysctl("net/ipv4/ping_group_range", "1 0");
        bool ok = false;
        const int value = result.toInt(&ok);
        QVERIFY2(ok, qPrintable(QStringLiteral("probe tool printed '%1'").arg(result)));
        if (answers)
            QVERIFY2(value >= 0 && value < 50, qPrintable(result));
        else
            QCOMPARE(value, PingSocketError);
    }

    // A user who can open no ICMP socket at all is told so in the log, with the ways out.
    void programSaysWhenItCannotProbe_data() { unprivilegedUserUsesDatagramSocket_data(); }

    void programSaysWhenItCannotProbe()
    {
        QFETCH(QString, pingGroupRange);
        QFETCH(bool, answers);
        QVERIFY(NetworkSandbox::setSysctl("net/ipv4/ping_group_range", pingGroupRange));
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(QFile::setPermissions(dir.path(),
                                      QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                          | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther));
        ProgramRun program(dir.path(), {{}, asNobody, {}});
        QVERIFY(program.started());
        QTRY_VERIFY_WITH_TIMEOUT(program.log().contains("started"), 10000);
        const int exitCode = program.endWith(SIGTERM);
        NetworkSandbox::setSysctl("net/ipv4/ping_group_range", "1 0");
        QCOMPARE(exitCode, 0);
        const bool warned = program.log().contains(
            "| Application | ICMP echo requests cannot be sent, so every device will show as disconnected. "
            "Allow them with \"sudo setcap cap_net_raw+ep " TARNWICK_EXECUTABLE "\", or for every user with "
            "\"sudo sysctl -w net.ipv4.ping_group_range='0 2147483647'\".\n");
        QCOMPARE(warned, !answers);
    }

    // The program itself probes the two loopback devices of its list and keeps the answers in
    // its history; their first results tell their state and make no log line.
    void programProbesItsDevices()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        TestFiles::writeFile(dir.filePath(QStringLiteral("DeviceConfig.xml")),
                             "<DeviceEntries><DeviceEntry IP=\"127.0.0.1\" Type=\"3\" IASC=\"1\"/>"
                             "<DeviceEntry IP=\"127.0.0.2\" Type=\"2\" IASC=\"0\"/></DeviceEntries>");
        ProgramRun program(dir.path());
        QVERIFY(program.started());
        const auto answered = [&](const char* ip) {
            const QList<ProbeRecord> results = HistoryReader(dir.filePath(QStringLiteral("History.sqlite")))
                                                   .results(QString::fromLatin1(ip), 0,
                                                            QDateTime::currentMSecsSinceEpoch());
            return std::any_of(results.cbegin(), results.cend(),
                               [](const ProbeRecord& r) { return r.result.answered(); });
        };
        // The history writes results every ten seconds.
        QTRY_VERIFY_WITH_TIMEOUT(answered("127.0.0.1") && answered("127.0.0.2"), 30000);
        QCOMPARE(program.endWith(SIGTERM), 0);
        QVERIFY(!program.log().contains("state changed"));
        QVERIFY(!program.log().contains("added to list"));
    }
};

QTEST_GUILESS_MAIN(TestPingHost)
#include "tst_pinghost.moc"
