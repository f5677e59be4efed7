// SPDX-License-Identifier: GPL-3.0-or-later
#include "../common/ProgramRun.h"
#include "../common/TestHttpServer.h"
#include "netlab/HttpGet.h"
#include "netlab/NetworkSandbox.h"
#include "netlab/PeerNetwork.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <grp.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// Runs a tool to its end: its standard output, with whether it ended well.
QByteArray runTool(const QString& program, const QStringList& arguments, bool* ok, const QByteArray& input = {})
{
    QProcess process;
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    *ok = process.waitForFinished(20000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return process.readAllStandardOutput() + process.readAllStandardError();
}

void writeDevices(const QTemporaryDir& dir, const QStringList& addresses)
{
    QByteArray text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<DeviceEntries>\n";
    for (const QString& address : addresses)
        text += "    <DeviceEntry IP=\"" + address.toLatin1() + "\" Type=\"1\" IASC=\"1\">Host "
            + address.section(QLatin1Char('.'), 3).toLatin1() + "</DeviceEntry>\n";
    text += "</DeviceEntries>\n";
    QFile file(dir.filePath(QStringLiteral("DeviceConfig.xml")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

} // namespace

// The monitor without a desktop, and its metrics scraped by a real Prometheus server.
class TestHeadless : public QObject
{
    Q_OBJECT

    static constexpr int MetricsPort = 9716;
    static constexpr int PrometheusPort = 9090;

    bool m_sandbox = false;
    QString m_whyNoSandbox;

    ProgramRun::Options headless(const QStringList& more = {}) const
    {
        ProgramRun::Options options;
        options.arguments = QStringList{QStringLiteral("--headless")} + more;
        options.unset = {QStringLiteral("DISPLAY"), QStringLiteral("WAYLAND_DISPLAY"),
                         QStringLiteral("QT_QPA_PLATFORM")};
        return options;
    }

    // Headless with metrics on MetricsPort; as the user nobody (no capability, no root) where
    // asked, which then needs the folder open to everyone.
    ProgramRun::Options headlessWithMetrics(bool asNobody) const
    {
        ProgramRun::Options options = headless(
            {QStringLiteral("--metrics"), QStringLiteral("127.0.0.1:%1").arg(MetricsPort)});
        if (asNobody)
            options.childSetup = [] {
                if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
                    ::_exit(3);
            };
        return options;
    }

    // tarnwick_device_up as served now: "address=value" in address order.
    static QString upSeries()
    {
        static const QRegularExpression line(
            QStringLiteral("^tarnwick_device_up\\{address=\"([^\"]+)\"[^}]*\\} (\\d)$"),
            QRegularExpression::MultilineOption);
        QStringList series;
        for (const QRegularExpressionMatch& match :
             line.globalMatch(QString::fromUtf8(httpGet(MetricsPort, "/metrics"))))
            series << match.captured(1) + QLatin1Char('=') + match.captured(2);
        series.sort();
        return series.join(QLatin1Char(' '));
    }

    // How many echo replies the device has had, as served now; -1 while it has no series.
    static int replies(const QString& address)
    {
        const QRegularExpression line(
            QStringLiteral("^tarnwick_probes_total\\{address=\"%1\"[^}]*result=\"reply\"\\} (\\d+)$")
                .arg(QRegularExpression::escape(address)),
            QRegularExpression::MultilineOption);
        const QRegularExpressionMatch match = line.match(QString::fromUtf8(httpGet(MetricsPort, "/metrics")));
        return match.hasMatch() ? match.captured(1).toInt() : -1;
    }

    // Alerts waiting in the folder's outbox for the channel; -1 when it cannot be read.
    // The addresses of the alerts waiting in the outbox file for the channel.
    static QSet<QString> waitingFor(const QTemporaryDir& dir, const char* channel)
    {
        QSet<QString> addresses;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("outbox"));
            db.setDatabaseName(dir.filePath(QStringLiteral("Outbox.sqlite")));
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
            QSqlQuery query(db);
            if (db.open()
                && query.exec(
                    QStringLiteral("SELECT json_extract(alert, '$.address') FROM waiting WHERE channel = '%1'")
                        .arg(QLatin1String(channel))))
                while (query.next())
                    addresses.insert(query.value(0).toString());
        }
        QSqlDatabase::removeDatabase(QStringLiteral("outbox"));
        return addresses;
    }

    static bool openToEveryone(const QTemporaryDir& dir)
    {
        return QFile::setPermissions(dir.path(),
                                     QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                         | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther);
    }

    // tarnwick_device_up as Prometheus has it now, by address ("10.79.50.1" -> "1").
    static QMap<QString, QString> upSeries(bool* ok)
    {
        const QString text = QString::fromUtf8(
            runTool(QStringLiteral("promtool"),
                    {QStringLiteral("query"), QStringLiteral("instant"),
                     QStringLiteral("http://127.0.0.1:%1").arg(PrometheusPort), QStringLiteral("tarnwick_device_up")},
                    ok));
        QMap<QString, QString> series;
        static const QRegularExpression line(QStringLiteral("address=\"([^\"]+)\"[^}]*\\} => (\\d)"));
        for (const QRegularExpressionMatch& match : line.globalMatch(text))
            series.insert(match.captured(1), match.captured(2));
        return series;
    }

private slots:
    void initTestCase() { m_sandbox = NetworkSandbox::enter(&m_whyNoSandbox); }

    // Without any display either program runs, says so on standard error and in the log, tells
    // the service manager that it is ready, and keeps a second start out.
    void runsWithoutADisplay()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        // Where systemd would wait for "READY=1".
        const QString notifyPath = dir.filePath(QStringLiteral("notify"));
        const int manager = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        QVERIFY(manager >= 0);
        const auto closeManager = qScopeGuard([manager] { ::close(manager); });
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, QFile::encodeName(notifyPath).constData(), sizeof address.sun_path - 1);
        QVERIFY(::bind(manager, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0);
        ProgramRun::Options server;
        server.server = true;
        server.set = {QStringLiteral("NOTIFY_SOCKET=") + notifyPath};
        ProgramRun program(dir.path(), server);
        QVERIFY(program.started());
        QTRY_VERIFY_WITH_TIMEOUT(program.output().contains("| Application | Application \"Tarnwick\" started"), 20000);
        QByteArray said;
        const auto hear = [&] {
            char message[64];
            const ssize_t length = ::recv(manager, message, sizeof message, 0);
            if (length > 0)
                said = QByteArray(message, length);
            return !said.isEmpty();
        };
        QTRY_VERIFY_WITH_TIMEOUT(hear(), 20000);
        QCOMPARE(said, QByteArray("READY=1"));
        ProgramRun second(dir.path(), headless());
        QVERIFY(second.started());
        QCOMPARE(second.waitForExit(), 1);
        QVERIFY(second.output().contains("Tarnwick runs already in this folder"));
        QCOMPARE(program.endWith(SIGTERM), 0);
        QVERIFY(program.output().contains("| Application | Application \"Tarnwick\" closed"));
        QVERIFY(program.log().contains("| Application | Application \"Tarnwick\" closed"));
    }

    void reloadsOnHangup_data()
    {
        QTest::addColumn<bool>("server");
        QTest::addColumn<QByteArray>("edited");
        QTest::addColumn<QString>("upAfter");
        QTest::addColumn<QByteArray>("said");
        const QByteArray first = "<DeviceEntry IP=\"127.0.0.1\" Type=\"1\" IASC=\"1\">Host 1</DeviceEntry>";
        const QByteArray third = "<DeviceEntry IP=\"127.0.0.3\" Type=\"1\" IASC=\"1\">Host 3</DeviceEntry>";
        QTest::newRow("added") << true << first + third + "<DeviceEntry IP=\"127.0.0.2\" Type=\"1\" IASC=\"1\"/>"
                               << "127.0.0.1=1 127.0.0.2=1 127.0.0.3=1" << QByteArray("1 added, 0 removed, 0 changed");
        QTest::newRow("removed, tarnwick --headless")
            << false << first << "127.0.0.1=1" << QByteArray("0 added, 1 removed, 0 changed");
        QTest::newRow("check changed") << true
                                       << first
                + "<DeviceEntry IP=\"127.0.0.3\" Type=\"1\" IASC=\"1\" Check=\"tcp:9\">Host 3</DeviceEntry>"
                                       << "127.0.0.1=1 127.0.0.3=0" << QByteArray("0 added, 0 removed, 1 changed");
        QTest::newRow("described anew") << true
                                        << first + "<DeviceEntry IP=\"127.0.0.3\" Type=\"2\" IASC=\"0\">3</DeviceEntry>"
                                        << "127.0.0.1=1 127.0.0.3=1" << QByteArray("0 added, 0 removed, 1 changed");
        QTest::newRow("emptied") << true << QByteArray() << QString() << QByteArray("No devices to watch in ");
        QTest::newRow("cut short") << true << first + "<DeviceEntry IP=\"127.0.0.2\""
                                   << "127.0.0.1=1 127.0.0.3=1"
                                   << QByteArray("was not read again: it is not well-formed");
    }

    // SIGHUP reads the device list again while the monitor runs: devices whose address and
    // check stay keep their figures (their probe count goes on rather than starting over),
    // new ones are probed, removed ones go, and a list that cannot be read whole leaves the
    // running one as it was. The log says what was read.
    void reloadsOnHangup()
    {
        QFETCH(bool, server);
        QFETCH(QByteArray, edited);
        QFETCH(QString, upAfter);
        QFETCH(QByteArray, said);
        if (!m_sandbox)
            QSKIP(qPrintable(QStringLiteral("needs a network of its own: ") + m_whyNoSandbox));
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        TestFiles::writeFile(dir.filePath(QStringLiteral("Settings.xml")),
                             "<?xml version=\"1.0\"?><Settings><ProbePeriod>1</ProbePeriod></Settings>");
        writeDevices(dir, {QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.3")});
        ProgramRun::Options options = headlessWithMetrics(false);
        if (server) {
            options.server = true;
            options.arguments.removeAll(QStringLiteral("--headless"));
        }
        ProgramRun program(dir.path(), options);
        QVERIFY(program.started());
        QTRY_COMPARE_WITH_TIMEOUT(upSeries(), QStringLiteral("127.0.0.1=1 127.0.0.3=1"), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(replies(QStringLiteral("127.0.0.1")) >= 3, 20000);
        const int before = replies(QStringLiteral("127.0.0.1"));

        TestFiles::writeFile(dir.filePath(QStringLiteral("DeviceConfig.xml")),
                             "<?xml version=\"1.0\"?>\n<DeviceEntries>" + edited + "</DeviceEntries>\n");
        ::kill(pid_t(program.pid()), SIGHUP);
        QTRY_VERIFY2_WITH_TIMEOUT(program.log().contains(said), program.log().constData(), 20000);
        if (upAfter.contains(QStringLiteral("127.0.0.1=")))
            QVERIFY(replies(QStringLiteral("127.0.0.1")) >= before);
        QTRY_COMPARE_WITH_TIMEOUT(upSeries(), upAfter, 20000);
        QVERIFY(program.running());
        QCOMPARE(program.endWith(SIGTERM), 0);
        // A list read again is what the file says: the program leaves the hand edit as it is.
        QCOMPARE(program.file(QStringLiteral("DeviceConfig.xml")),
                 "<?xml version=\"1.0\"?>\n<DeviceEntries>" + edited + "</DeviceEntries>\n");
    }

    // A hang-up sent the moment the program starts, as a service manager's reload may be, is
    // taken as a reload once the program can reload, never as the end of it. It is sent as soon
    // as the program holds hang-ups back, before its libraries' start-up code (no code of a
    // program runs earlier, while the loader maps its libraries).
    void aHangupAtStartIsAReload()
    {
        int sentWhileHeld = 0;
        for (int attempt = 0; attempt < 30 && sentWhileHeld < 3; ++attempt) {
            QTemporaryDir dir;
            ProgramRun::Options options = headless();
            options.server = true;
            options.arguments.clear();
            ProgramRun program(dir.path(), options);
            QVERIFY(program.started());
            const QString status = QStringLiteral("/proc/%1/status").arg(program.pid());
            // Whether SIGHUP is in the set the status names (SigBlk: held back, SigCgt: handled).
            const auto hangUpIn = [&status](const QByteArray& set) {
                const QByteArray text = TestFiles::readAll(status);
                const qsizetype line = text.indexOf("\n" + set + ':');
                return line >= 0 && (text.mid(line + set.size() + 2, 17).trimmed().right(1).toUInt(nullptr, 16) & 1);
            };
            QDeadlineTimer deadline(10000);
            bool held = false;
            while (!(held = hangUpIn("SigBlk")) && !hangUpIn("SigCgt"))
                QVERIFY2(!deadline.hasExpired(), "the program neither holds hang-ups back nor handles them");
            // A start whose moment of holding the test missed (a busy machine) is tried again.
            if (!held) {
                QCOMPARE(program.endWith(SIGTERM), 0);
                continue;
            }
            ++sentWhileHeld;
            ::kill(pid_t(program.pid()), SIGHUP);
            // Said at the start and once more after the reload.
            QTRY_VERIFY_WITH_TIMEOUT(program.log().count("No devices to watch") == 2, 20000);
            QVERIFY(program.running());
            QCOMPARE(program.endWith(SIGTERM), 0);
        }
        QVERIFY2(sentWhileHeld == 3, "SIGHUP is never held back while the program starts");
    }

    void privileges_data()
    {
        QTest::addColumn<bool>("asNobody");
        QTest::newRow("started by root") << false;
        QTest::newRow("started by a user without the right to ping") << true;
    }

    // Started by root, it opens its ICMP socket, then holds no capability in any thread (the
    // metrics server's included) and none to get back at an exec, and still probes. Started
    // without the right to ping, its metrics say that it cannot probe. Either way it saves.
    void privileges()
    {
        QFETCH(bool, asNobody);
        if (!m_sandbox)
            QSKIP(qPrintable(QStringLiteral("needs root and a network of its own: ") + m_whyNoSandbox));
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(openToEveryone(dir));
        writeDevices(dir, {QStringLiteral("127.0.0.1")});
        ProgramRun program(dir.path(), headlessWithMetrics(asNobody));
        QVERIFY(program.started());
        const QRegularExpression expected(
            asNobody ? QStringLiteral("^tarnwick_monitor_can_probe 0$")
                     : QStringLiteral("^tarnwick_probes_total\\{address=\"127.0.0.1\"[^}]*result=\"reply\"\\} [1-9]"),
            QRegularExpression::MultilineOption);
        QTRY_VERIFY_WITH_TIMEOUT(QString::fromUtf8(httpGet(MetricsPort, "/metrics")).contains(expected), 20000);
        if (!asNobody)
            QVERIFY(httpGet(MetricsPort, "/metrics").contains("\ntarnwick_monitor_can_probe 1\n"));

        const QDir tasks(QStringLiteral("/proc/%1/task").arg(program.pid()));
        const QStringList threads = tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QVERIFY(threads.size() > 1);
        static const QRegularExpression capabilities(QStringLiteral("^(Cap\\w+):\\s+([0-9a-f]+)$"),
                                                     QRegularExpression::MultilineOption);
        for (const QString& thread : threads) {
            QFile status(tasks.filePath(thread + QStringLiteral("/status")));
            QVERIFY(status.open(QIODevice::ReadOnly));
            const QString text = QString::fromUtf8(status.readAll());
            int sets = 0;
            for (const QRegularExpressionMatch& set : capabilities.globalMatch(text)) {
                ++sets;
                // A user's bounding set gives nothing by itself; only root empties it.
                if (asNobody && set.captured(1) == QLatin1String("CapBnd"))
                    continue;
                QVERIFY2(
                    set.captured(2).toULongLong(nullptr, 16) == 0,
                    qPrintable(QStringLiteral("thread %1 holds %2 %3").arg(thread, set.captured(1), set.captured(2))));
            }
            QCOMPARE(sets, 5); // inheritable, permitted, effective, bounding, ambient
        }
        QCOMPARE(program.endWith(SIGTERM), 0);
        QVERIFY(program.log().contains("| Application | Application \"Tarnwick\" closed"));
        QVERIFY(!program.file(QStringLiteral("Settings.xml")).isEmpty());
    }

    // Three devices, two answering; Prometheus scrapes every second and sees 1, 1 and 0; a host
    // falls silent and its series turns 0; a device taken out of the list leaves no series.
    void prometheusScrapesTheMonitor()
    {
        if (!m_sandbox)
            QSKIP(qPrintable(QStringLiteral("needs a network of its own: ") + m_whyNoSandbox));
        if (QStandardPaths::findExecutable(QStringLiteral("prometheus")).isEmpty()
            || QStandardPaths::findExecutable(QStringLiteral("promtool")).isEmpty())
            QSKIP("needs Prometheus (Debian package \"prometheus\")");
        PeerNetwork peers;
        QString whyNot;
        QVERIFY2(peers.start(QStringLiteral("10.79.50"), {1, 2}, &whyNot), qPrintable(whyNot));
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QStringList addresses{peers.address(1), peers.address(2), peers.address(3)};
        writeDevices(dir, addresses);
        const QStringList metricsAt{QStringLiteral("--metrics"), QStringLiteral("127.0.0.1:%1").arg(MetricsPort)};
        auto program = std::make_unique<ProgramRun>(dir.path(), headless(metricsAt));
        QVERIFY(program->started());

        QTemporaryDir prometheusDir;
        QVERIFY(prometheusDir.isValid());
        QFile config(prometheusDir.filePath(QStringLiteral("prometheus.yml")));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(QStringLiteral("global:\n  scrape_interval: 1s\nscrape_configs:\n  - job_name: tarnwick\n"
                                    "    static_configs:\n      - targets: ['127.0.0.1:%1']\n")
                         .arg(MetricsPort)
                         .toUtf8());
        config.close();
        QProcess prometheus;
        prometheus.setProcessChannelMode(QProcess::MergedChannels);
        prometheus.start(QStringLiteral("prometheus"),
                         {QStringLiteral("--config.file=") + config.fileName(),
                          QStringLiteral("--storage.tsdb.path=") + prometheusDir.filePath(QStringLiteral("data")),
                          QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(PrometheusPort)});
        if (!prometheus.waitForStarted(10000))
            QSKIP("the Prometheus server cannot start here");
        const auto stopPrometheus = qScopeGuard([&prometheus] {
            prometheus.terminate();
            if (!prometheus.waitForFinished(10000))
                prometheus.kill();
        });

        bool ok = false;
        const QMap<QString, QString> expected{{addresses[0], "1"}, {addresses[1], "1"}, {addresses[2], "0"}};
        QTRY_COMPARE_WITH_TIMEOUT(upSeries(&ok), expected, 60000);
        // The exposition itself, round trips counted by now, passes Prometheus' own check.
        const QByteArray scrape = httpGet(MetricsPort, "/metrics");
        const QRegularExpression counted(
            QStringLiteral("^tarnwick_device_round_trip_seconds_count\\{address=\"%1\"\\} [1-9]")
                .arg(QRegularExpression::escape(addresses[0])),
            QRegularExpression::MultilineOption);
        QVERIFY2(counted.match(QString::fromUtf8(scrape)).hasMatch(), scrape.constData());
        const QByteArray lint = runTool(QStringLiteral("promtool"),
                                        {QStringLiteral("check"), QStringLiteral("metrics")}, &ok, scrape);
        QVERIFY2(ok, lint.constData());
        QVERIFY(httpGet(MetricsPort, "/").isEmpty());
        QVERIFY(peers.silence(2));
        const QMap<QString, QString> silenced{{addresses[0], "1"}, {addresses[1], "0"}, {addresses[2], "0"}};
        QTRY_COMPARE_WITH_TIMEOUT(upSeries(&ok), silenced, 60000);

        // The list changes (here with the monitor stopped, as its files are edited by hand).
        QCOMPARE(program->endWith(SIGTERM), 0);
        writeDevices(dir, {addresses[0], addresses[1]});
        program = std::make_unique<ProgramRun>(dir.path(), headless(metricsAt));
        QVERIFY(program->started());
        const QMap<QString, QString> removed{{addresses[0], "1"}, {addresses[1], "0"}};
        QTRY_COMPARE_WITH_TIMEOUT(upSeries(&ok), removed, 60000);
        QCOMPARE(program->endWith(SIGTERM), 0);
    }

    void silentHostsOnTheLinkArePresent_data()
    {
        QTest::addColumn<bool>("asNobody");
        QTest::addColumn<QString>("silentUp");
        QTest::newRow("asked by ARP") << false << "1";
        QTest::newRow("without the right to send ARP") << true << "0";
    }

    // A host on the local link that drops echo requests but answers ARP is up; an address
    // nobody holds is down. A program that may ping but not send raw frames asks by echo
    // alone, and says so once in its log.
    void silentHostsOnTheLinkArePresent()
    {
        QFETCH(bool, asNobody);
        QFETCH(QString, silentUp);
        if (!m_sandbox)
            QSKIP(qPrintable(QStringLiteral("needs root and a network of its own: ") + m_whyNoSandbox));
        PeerNetwork link;
        QString whyNot;
        QVERIFY2(link.startOnLink(QStringLiteral("10.79.51"), {3}, &whyNot), qPrintable(whyNot));
        QVERIFY(link.runInside({"sysctl", "-qw", "net.ipv4.icmp_echo_ignore_all=1"}));
        QVERIFY(NetworkSandbox::setSysctl(QStringLiteral("net/ipv4/ping_group_range"), QStringLiteral("0 65534")));
        const auto noPingGroup = qScopeGuard(
            [] { NetworkSandbox::setSysctl(QStringLiteral("net/ipv4/ping_group_range"), QStringLiteral("1 0")); });
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(openToEveryone(dir));
        writeDevices(dir, {link.address(3), link.address(9)});
        ProgramRun program(dir.path(), headlessWithMetrics(asNobody));
        QVERIFY(program.started());
        const auto up = [](const QString& address) {
            const QRegularExpression line(QStringLiteral("^tarnwick_device_up\\{address=\"%1\"[^}]*\\} (\\d)$")
                                              .arg(QRegularExpression::escape(address)),
                                          QRegularExpression::MultilineOption);
            return line.match(QString::fromUtf8(httpGet(MetricsPort, "/metrics"))).captured(1);
        };
        QTRY_COMPARE_WITH_TIMEOUT(up(link.address(9)), QStringLiteral("0"), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(up(link.address(3)), silentUp, 20000);
        QCOMPARE(program.endWith(SIGTERM), 0);
        QCOMPARE(program.log().count("Hosts on the local link are asked by echo alone"), asNobody ? 1 : 0);
    }

    // 1,000 devices fall silent at once with a webhook and a command set: every change is logged
    // within the period and the time-out (with room for a loaded machine), however many alerts
    // that makes; kill -9 while alerts wait for the command loses none of them.
    void massOutageKeepsPaceAndLosesNoAlert()
    {
        if (!m_sandbox)
            QSKIP(qPrintable(QStringLiteral("needs a network of its own: ") + m_whyNoSandbox));
        constexpr int Devices = 1000;
        PeerNetwork peer;
        QString whyNot;
        QVERIFY2(peer.start(QStringLiteral("10.79.52"), {1}, &whyNot), qPrintable(whyNot));
        bool ok = false;
        const QStringList local{"ip", "route", "add", "local", "10.79.56.0/22", "dev", "lo", "table", "local"};
        runTool(QStringLiteral("ip"), {"route", "add", "10.79.56.0/22", "via", "10.79.255.2"}, &ok);
        QVERIFY(ok && peer.runInside(local));
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QStringList addresses;
        for (int i = 1; i <= Devices; ++i)
            addresses << QStringLiteral("10.79.%1.%2").arg(56 + i / 256).arg(i % 256);
        writeDevices(dir, addresses);
        TestHttpServer webhook({200});
        const QString ran = dir.filePath(QStringLiteral("ran.txt"));
        QFile settings(dir.filePath(QStringLiteral("Settings.xml")));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write(QStringLiteral("<Settings><PingTimeout>1000</PingTimeout><ProbePeriod>1</ProbePeriod>"
                                      "<AlertCommand>/bin/sh -c 'echo \"$TARNWICK_ADDRESS\" &gt;&gt; "
                                      "\"$0\"' %1</AlertCommand><WebhookUrl>http://127.0.0.1:%2/</WebhookUrl>"
                                      "</Settings>")
                           .arg(ran)
                           .arg(webhook.port())
                           .toUtf8());
        settings.close();
        const auto changed = [](ProgramRun& program, const char* state) {
            return int(program.output().count(QByteArray(" state changed to: ") + state));
        };
        auto program = std::make_unique<ProgramRun>(dir.path(), headlessWithMetrics(false));
        QVERIFY(program->started());
        // A first result is quiet: the metrics tell when every device has answered.
        QTRY_COMPARE_WITH_TIMEOUT(int(upSeries().count(QStringLiteral("=1"))), Devices, 60000);

        QVERIFY(peer.runInside(QStringList(local).replaceInStrings(QStringLiteral("add"), QStringLiteral("del"))));
        QElapsedTimer outage;
        outage.start();
        QTRY_COMPARE_WITH_TIMEOUT(changed(*program, "disconnected"), Devices, 60000);
        const double seconds = double(outage.elapsed()) / 1000;
        qInfo("the last of %d devices was logged disconnected %.2f s after the outage", Devices, seconds);
        // 2.5 s is the promise (period + time-out + 0.5 s), measured in bench/run; alerts that
        // held up the monitor took many times that.
        QVERIFY2(seconds < 6, qPrintable(QString::number(seconds)));
        // Every alert queued (in the outbox, or run) before the kill, so that the kill finds them
        // waiting there. Counted by address: an alert just run stays in the file until the next
        // batch, and counted both ways it let the kill come before the last ones were written.
        const auto heard = [&] {
            QSet<QString> each;
            for (const QByteArray& line : TestFiles::readAll(ran).split('\n'))
                if (!line.isEmpty())
                    each.insert(QString::fromLatin1(line));
            return each;
        };
        const QSet<QString> all(addresses.cbegin(), addresses.cend());
        QTRY_VERIFY_WITH_TIMEOUT((heard() | waitingFor(dir, "command")).contains(all), 60000);
        const int before = int(heard().size());
        QVERIFY(::kill(pid_t(program->pid()), SIGKILL) == 0);
        program.reset();
        qInfo("the command had run for %d alerts before kill -9", before);

        program = std::make_unique<ProgramRun>(dir.path(), headless());
        QVERIFY(program->started());
        QElapsedTimer drain;
        drain.start();
        // One shell an alert, one at a time: under the address sanitizer each start takes over 100 ms,
        // and on a machine busy with other tests the drain has been seen to slow to about one alert a
        // second. What fails is a drain that stops: no alert for two minutes.
        int lastHeard = -1;
        QElapsedTimer sinceLast;
        for (QSet<QString> now = heard(); !now.contains(all); now = heard()) {
            if (int(now.size()) != lastHeard) {
                lastHeard = int(now.size());
                sinceLast.restart();
            }
            QVERIFY2(
                sinceLast.elapsed() < 120000,
                qPrintable(QStringLiteral("no alert for two minutes after %1 of %2; the log ends:\n%3")
                               .arg(lastHeard)
                               .arg(Devices)
                               .arg(QString::fromUtf8(
                                   TestFiles::readAll(dir.filePath(QStringLiteral("LogRelease.txt"))).right(3000)))));
            QTest::qWait(100);
        }
        qInfo("the next run ran the command for the rest within %.1f s", double(drain.elapsed()) / 1000);
        QSet<QString> posted;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                for (const QByteArray& body : std::as_const(webhook.accepted))
                    posted.insert(QJsonDocument::fromJson(body).object().value(QStringLiteral("address")).toString());
                return posted.contains(all);
            }(),
            120000);
        QCOMPARE(program->endWith(SIGTERM), 0);
    }
};

QTEST_GUILESS_MAIN(TestHeadless)
#include "tst_headless.moc"
