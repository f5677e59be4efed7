// SPDX-License-Identifier: GPL-3.0-or-later
#include "../common/ProgramRun.h"
#include "TarnwickVersion.h"
#include "netlab/EchoRequestWatch.h"
#include "netlab/HangingNameServer.h"
#include "netlab/NetworkSandbox.h"
#include "netlab/PeerNetwork.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using TestFiles::readAll;

// Runs the built program the way a person does and ends it the way the desktop does.
class TestStartup : public QObject
{
    Q_OBJECT

    static QString golden(const QString& name)
    {
        return QStringLiteral(TARNWICK_SOURCE_DIR "/tests/data/golden/") + name;
    }

private slots:
    void endsCleanlyOnSignal_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }

    void endsCleanlyOnSignal()
    {
        QFETCH(int, signalNumber);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        ProgramRun program(dir.path());
        QVERIFY(program.started());
        QTRY_VERIFY_WITH_TIMEOUT(program.log().contains("started"), 20000);
        QCOMPARE(program.endWith(signalNumber), 0);

        // Started and closed; between them only that this folder has no skin to show.
        const QList<QByteArray> lines = program.log().split('\n');
        QCOMPARE(lines.size(), 4);
        QVERIFY(lines[0].endsWith("] | Application | Application \"Tarnwick\" started"));
        QVERIFY(lines[1].contains("] | Application | The skin folder \"Skins/Default\" lacks twicon.png"));
        QVERIFY(lines[2].endsWith("] | Application | Application \"Tarnwick\" closed"));
        QVERIFY(lines[3].isEmpty());
        // Where the window manager (here the offscreen platform) placed the window is its own
        // business; the size must be the default one.
        QByteArray settings = program.file(QStringLiteral("Settings.xml"));
        static const QRegularExpression window(QStringLiteral("<Window X=\"-?\\d+\" Y=\"-?\\d+\" W=\"600\" H=\"500\""));
        QVERIFY2(QString::fromUtf8(settings).contains(window), settings.constData());
        settings.replace(QRegularExpression(QStringLiteral("<Window [^/]*/>"))
                             .match(QString::fromUtf8(settings))
                             .captured(0)
                             .toUtf8(),
                         "<Window X=\"0\" Y=\"0\" W=\"600\" H=\"500\" Maximized=\"0\"/>");
        QCOMPARE(settings, readAll(golden("Settings-default.xml")));
        QCOMPARE(program.file(QStringLiteral("DeviceConfig.xml")), readAll(golden("DeviceConfig-empty.xml")));
        QCOMPARE(program.file(QStringLiteral("VisualRepresentation.xml")),
                 readAll(golden("VisualRepresentation-empty.xml")));
    }

    void keepsTheDeviceListAcrossARun()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(QFile::copy(golden("DeviceConfig-two.xml"), dir.filePath(QStringLiteral("DeviceConfig.xml"))));
        ProgramRun program(dir.path());
        QVERIFY(program.started());
        QTRY_VERIFY_WITH_TIMEOUT(program.log().contains("started"), 20000);
        QCOMPARE(program.endWith(SIGTERM), 0);
        QCOMPARE(program.file(QStringLiteral("DeviceConfig.xml")), readAll(golden("DeviceConfig-two.xml")));
        // Entries read at start-up are not announced in the log.
        QVERIFY(!program.log().contains("added to list"));
    }

    // A quit that comes while a long list is still being read or shown ends the program
    // cleanly and leaves the list as it was.
    void aQuitDuringStartUpKeepsTheList()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QByteArray list = TestFiles::loopbackDeviceList(20000);
        TestFiles::writeFile(dir.filePath(QStringLiteral("DeviceConfig.xml")), list);
        ProgramRun program(dir.path());
        QVERIFY(program.started());
        QTRY_VERIFY_WITH_TIMEOUT(program.log().contains("started"), 20000);
        QCOMPARE(program.endWith(SIGTERM), 0);
        QVERIFY(program.log().contains("Application \"Tarnwick\" closed"));
        QCOMPARE(program.file(QStringLiteral("DeviceConfig.xml")), list);
    }

    // One program per folder: a second start writes nothing, asks the running one to show its
    // window, and says which process that is.
    void secondStartInTheSameFolderEndsWithoutWriting()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        ProgramRun first(dir.path());
        QVERIFY(first.started());
        QTRY_VERIFY_WITH_TIMEOUT(first.log().contains("started"), 20000);

        ProgramRun second(dir.path(), {{}, {}, {QStringLiteral("DISPLAY"), QStringLiteral("WAYLAND_DISPLAY")}});
        QVERIFY(second.started());
        QCOMPARE(second.waitForExit(), 0);
        QVERIFY2(second.output().contains(
                     QStringLiteral("runs already in this folder (process %1)").arg(first.pid()).toUtf8()),
                 second.output().constData());
        QVERIFY(first.running());
        QCOMPARE(first.log().count("started"), 1);

        QCOMPARE(first.endWith(SIGTERM), 0);
        // Gone with the program, so the next start runs.
        ProgramRun third(dir.path());
        QVERIFY(third.started());
        QTRY_COMPARE_WITH_TIMEOUT(third.log().count("started"), 2, 20000);
        QCOMPARE(third.endWith(SIGTERM), 0);
    }

    // Beside the headless monitor there is no window to bring forward: the second start says
    // what runs there and leaves it running.
    void secondStartBesideTheHeadlessMonitorSaysSo()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        ProgramRun monitor(dir.path(), {{"--headless", "--metrics", ""}, {}, {}});
        QVERIFY(monitor.started());
        QTRY_VERIFY_WITH_TIMEOUT(monitor.log().contains("started"), 20000);

        ProgramRun second(dir.path(), {{}, {}, {QStringLiteral("DISPLAY"), QStringLiteral("WAYLAND_DISPLAY")}});
        QVERIFY(second.started());
        QCOMPARE(second.waitForExit(), 1);
        QVERIFY2(second.output().contains(QStringLiteral("(process %1) as the headless monitor, which has no window")
                                              .arg(monitor.pid())
                                              .toUtf8()),
                 second.output().constData());
        QVERIFY(!second.output().contains("brought forward"));

        // On a desktop it says so in a message too, which SIGTERM ends like the program.
        qputenv("DISPLAY", ":0");
        const auto noDisplay = qScopeGuard([] { qunsetenv("DISPLAY"); });
        ProgramRun onDesktop(dir.path());
        QVERIFY(onDesktop.started());
        QTRY_VERIFY_WITH_TIMEOUT(onDesktop.output().contains("as the headless monitor"), 20000);
        QCOMPARE(onDesktop.endWith(SIGTERM), 1);
        QVERIFY(monitor.running());
        QCOMPARE(monitor.endWith(SIGTERM), 0);
    }

    // A device list that cannot be read is never written over; the user is told at start.
    void unreadableDeviceListIsToldAndLeftAlone()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("DeviceConfig.xml")));
        ProgramRun program(dir.path());
        QVERIFY(program.started());
        QTRY_VERIFY_WITH_TIMEOUT(program.log().contains("cannot be read"), 20000);
        QVERIFY(program.log().contains("DeviceConfig.xml.new"));
        QCOMPARE(program.endWith(SIGTERM), 0);
        QVERIFY(QFileInfo(dir.filePath(QStringLiteral("DeviceConfig.xml"))).isDir());
    }

    // Started under nohup, or in the background with SIGINT ignored: those stay ignored.
    void signalsIgnoredAtStartStayIgnored()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        ProgramRun program(dir.path(),
                           {{},
                            [] {
                                ::signal(SIGHUP, SIG_IGN);
                                ::signal(SIGINT, SIG_IGN);
                            },
                            {}});
        QVERIFY(program.started());
        QTRY_VERIFY_WITH_TIMEOUT(program.log().contains("started"), 20000);
        const quint64 ignored = ignoredSignals(program.pid());
        QVERIFY(ignored & (1u << (SIGHUP - 1)));
        QVERIFY(ignored & (1u << (SIGINT - 1)));
        QVERIFY(!(ignored & (1u << (SIGTERM - 1))));
        QCOMPARE(program.endWith(SIGTERM), 0);
    }

    // Quitting never waits for the network: not for a probe that would wait 30 s for its reply,
    // not for a name server that never answers.
    void quitsAtOnceWhateverTheNetworkDoes_data()
    {
        QTest::addColumn<QString>("device");
        QTest::newRow("a probe waits 30 s") << "127.0.0.1";
        QTest::newRow("the name server never answers") << "printer.lan.test";
    }

    void quitsAtOnceWhateverTheNetworkDoes()
    {
        QFETCH(QString, device);
        QString whyNot;
        static HangingNameServer nameServer;
        static const bool sandbox = NetworkSandbox::enter(&whyNot) && nameServer.start(&whyNot);
        if (!sandbox)
            QSKIP(qPrintable(whyNot));
        QVERIFY(NetworkSandbox::setSysctl("net/ipv4/icmp_echo_ignore_all", "1"));
        // Echo requests and name questions show on the wire: watch for the program's first.
        EchoRequestWatch echo;
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        TestFiles::writeFile(dir.filePath(QStringLiteral("Settings.xml")),
                             "<Settings><PingTimeout>30000</PingTimeout><PingTimeGap>0</PingTimeGap></Settings>");
        TestFiles::writeFile(dir.filePath(QStringLiteral("DeviceConfig.xml")),
                             "<DeviceEntries><DeviceEntry IP=\"" + device.toUtf8() + "\"/></DeviceEntries>");
        nameServer.forgetQuestions();
        ProgramRun program(dir.path(), {{}, [] { nameServer.enterInChild(); }, {}});
        QVERIFY(program.started());
        QTRY_VERIFY_WITH_TIMEOUT(program.log().contains("started"), 20000);
        if (device.startsWith(QLatin1String("127.")))
            QVERIFY(echo.seen(20000));
        else
            QVERIFY(nameServer.questionSeen(20000));
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(program.endWith(SIGTERM), 0);
        QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(program.log().contains("closed"));
        QVERIFY(NetworkSandbox::setSysctl("net/ipv4/icmp_echo_ignore_all", "0"));
    }

    // A scan from the command line prints every address in order and touches no file of its
    // folder; a prefix covers the addresses a box of octets from 1 to 254 skips (x.y.z.255,
    // x.y.z+1.0).
    void scanFromTheCommandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("addresses");
        QTest::newRow("from and to") << QStringList{"--scan", "127.0.0.1", "127.0.0.3", "--timeout", "500"}
                                     << QStringList{"127.0.0.1", "127.0.0.2", "127.0.0.3"};
        QStringList prefix;
        for (int host = 1; host < 511; ++host)
            prefix << QStringLiteral("127.0.%1.%2").arg(4 + host / 256).arg(host % 256);
        QTest::newRow("prefix") << QStringList{"--scan", "127.0.4.0/23", "--timeout", "500"} << prefix;
        QTest::newRow("prefix at a raised rate")
            << QStringList{"--scan", "127.0.4.0/23", "--timeout", "500", "--rate", "20000"} << prefix;
    }

    void scanFromTheCommandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, addresses);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        ProgramRun scan(dir.path(), {arguments, {}, {}});
        QVERIFY(scan.started());
        QCOMPARE(scan.waitForExit(), 0);
        const QList<QByteArray> lines = scan.output().trimmed().split('\n');
        QCOMPARE(lines.size(), addresses.size() + 1);
        for (int i = 0; i < addresses.size(); ++i)
            QVERIFY2(lines[i].startsWith(addresses[i].toLatin1() + "\t"), lines[i].constData());
        QCOMPARE(lines.last(),
                 QStringLiteral("Search completed. Active: %1/%1 (100%)").arg(addresses.size()).toLatin1());
        QVERIFY(QDir(dir.path()).isEmpty());
    }

    // Hosts on the local link that drop echo requests are found by ARP, and counted apart
    // after the completion line.
    void scanFindsHostsThatDropEcho()
    {
        QString whyNot;
        if (!NetworkSandbox::enter(&whyNot))
            QSKIP(qPrintable(whyNot));
        PeerNetwork link;
        QVERIFY2(link.startOnLink(QStringLiteral("10.78.7"), {3}, &whyNot), qPrintable(whyNot));
        QVERIFY(link.runInside({"sysctl", "-qw", "net.ipv4.icmp_echo_ignore_all=1"}));
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        ProgramRun scan(dir.path(), {{"--scan", "10.78.7.2", "10.78.7.4", "--timeout", "500"}, {}, {}});
        QVERIFY(scan.started());
        QCOMPARE(scan.waitForExit(), 0);
        QCOMPARE(scan.output(),
                 QByteArray("10.78.7.2\tTimeout\n"
                            "10.78.7.3\tPresent, no echo reply\n"
                            "10.78.7.4\tTimeout\n"
                            "Search completed. Active: 0/3 (0%)\n"
                            "Present without echo reply: 1\n"));
    }

    // An IPv6 range: the addresses between the ends, in order, each in its shortest form.
    void scanOfAnIpv6Range()
    {
        QString whyNot;
        if (!NetworkSandbox::enter(&whyNot))
            QSKIP(qPrintable(whyNot));
        PeerNetwork peer;
        QVERIFY2(peer.start(QStringLiteral("10.78.8"), {}, &whyNot), qPrintable(whyNot));
        QVERIFY2(peer.addIpv6(QStringLiteral("fd78:8"), {0xa}, &whyNot), qPrintable(whyNot));
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        ProgramRun scan(dir.path(), {{"--scan", "fd78:8:1::9", "fd78:8:1:0:0:0:0:b", "--timeout", "500"}, {}, {}});
        QVERIFY(scan.started());
        QCOMPARE(scan.waitForExit(), 0);
        const QList<QByteArray> lines = scan.output().trimmed().split('\n');
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[0], QByteArray("fd78:8:1::9\tTimeout"));
        QVERIFY2(lines[1].startsWith("fd78:8:1::a\t") && lines[1] != "fd78:8:1::a\tTimeout", lines[1].constData());
        QCOMPARE(lines[2], QByteArray("fd78:8:1::b\tTimeout"));
        QCOMPARE(lines[3], QByteArray("Search completed. Active: 1/3 (33%)"));
    }

    // The IPv6 host on the link answers the echo to all nodes: one line with its hardware
    // address (the program drops its privileges after opening its socket), then the summary.
    // With no link up there is nowhere to ask, and the program says so and fails.
    void neighboursFromTheCommandLine()
    {
        QString whyNot;
        if (!NetworkSandbox::enter(&whyNot))
            QSKIP(qPrintable(whyNot));
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        ProgramRun nowhere(dir.path(), {{"--neighbours"}, {}, {}});
        QVERIFY(nowhere.started());
        QCOMPARE(nowhere.waitForExit(), 1);
        QCOMPARE(nowhere.output(), QByteArray("tarnwick: No link with IPv6 is up\n"));
        PeerNetwork link;
        QVERIFY2(link.startIpv6OnLink(QStringLiteral("00:1b:21:3a:4b:5c"), &whyNot), qPrintable(whyNot));
        ProgramRun find(dir.path(), {{"--neighbours"}, {}, {}});
        QVERIFY(find.started());
        QCOMPARE(find.waitForExit(), 0);
        const QList<QByteArray> lines = find.output().trimmed().split('\n');
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].startsWith("fe80::2%twlab0\t00:1b:21:3a:4b:5c\t"), lines[0].constData());
        QCOMPARE(lines[1], QByteArray("Neighbours found: 1 on 1 link"));
        QVERIFY(QDir(dir.path()).isEmpty());
    }

    void commandLineAnswers_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("said");
        QTest::newRow("version") << QStringList{"--version"} << 0 << QByteArray("Tarnwick " TARNWICK_VERSION);
        QTest::newRow("help") << QStringList{"--help"} << 0 << QByteArray("--scan FROM TO");
        QTest::newRow("one address") << QStringList{"--scan", "127.0.0.1"} << 2 << QByteArray("two addresses");
        QTest::newRow("neighbours and more")
            << QStringList{"--neighbours", "--headless"} << 2 << QByteArray("--neighbours goes with no other option");
        QTest::newRow("not a prefix") << QStringList{"--scan", "127.0.0.0/33"} << 2 << QByteArray("IPv4 prefix");
        QTest::newRow("not an address") << QStringList{"--scan", "127.0.0.1", "127.0.0.300"} << 2
                                        << QByteArray("127.0.0.300");
        QTest::newRow("bad time-out") << QStringList{"--scan", "127.0.0.1", "127.0.0.2", "--timeout", "2s"} << 2
                                      << QByteArray("--timeout");
        QTest::newRow("unknown option") << QStringList{"--frobnicate"} << 2 << QByteArray("unknown option");
        QTest::newRow("unknown short option") << QStringList{"-x"} << 2 << QByteArray("unknown option -x");
        QTest::newRow("one dash too few") << QStringList{"-headless"} << 2 << QByteArray("unknown option -headless");
        QTest::newRow("a stray argument") << QStringList{"--headless", "now"} << 2 << QByteArray("\"now\"");
        QTest::newRow("FROM above TO") << QStringList{"--scan", "127.0.0.9", "127.0.0.2"} << 2
                                       << QByteArray("octet 4 of FROM 127.0.0.9 is above");
        QTest::newRow("a prefix wider than a /8")
            << QStringList{"--scan", "10.72.0.0/0"} << 2 << QByteArray("10.72.0.0/0 holds 4294967294 addresses");
        QTest::newRow("a box larger than a /8")
            << QStringList{"--scan", "10.0.0.1", "11.254.254.254"} << 2 << QByteArray("at most 16777216 (a /8)");
        QTest::newRow("IPv6 ends apart before the last 16 bits")
            << QStringList{"--scan", "fd00::1:1", "fd00::2:1"} << 2 << QByteArray("differ before their last 16 bits");
        QTest::newRow("IPv6 FROM above TO")
            << QStringList{"--scan", "fd00::9", "fd00::2"} << 2 << QByteArray("FROM fd00::9 is above TO fd00::2");
        QTest::newRow("IPv6 and not an address")
            << QStringList{"--scan", "fd00::1", "fd00::g"} << 2 << QByteArray("\"fd00::g\" is not an IPv6 address");
        QTest::newRow("twice") << QStringList{"--headless", "--headless"} << 2
                               << QByteArray("--headless is given twice");
        QTest::newRow("two time-outs") << QStringList{"--scan", "127.0.0.1", "127.0.0.2", "--timeout",
                                                      "5",      "--timeout", "9"}
                                       << 2 << QByteArray("--timeout is given twice");
        QTest::newRow("time-out without scan")
            << QStringList{"--timeout", "500"} << 2 << QByteArray("--timeout goes with --scan");
        QTest::newRow("rate out of range")
            << QStringList{"--scan", "127.0.0.1", "127.0.0.2", "--rate", "0"} << 2 << QByteArray("--rate needs");
        QTest::newRow("rate without scan")
            << QStringList{"--rate", "5000"} << 2 << QByteArray("--rate goes with --scan");
        QTest::newRow("Qt's option without its value")
            << QStringList{"-platform"} << 2 << QByteArray("-platform needs a value");
        QTest::newRow("Qt's option beside ours")
            << QStringList{"--platform=offscreen", "--scan", "127.0.0.2", "127.0.0.1"} << 2
            << QByteArray("octet 4 of FROM 127.0.0.2");
    }

    void commandLineAnswers()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QByteArray, said);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        ProgramRun program(dir.path(), {arguments, {}, {}});
        QVERIFY(program.started());
        QCOMPARE(program.waitForExit(), status);
        QVERIFY2(program.output().contains(said), program.output().constData());
        if (status == 2)
            QCOMPARE(program.output().trimmed().count('\n'), 0);
        QVERIFY(QDir(dir.path()).isEmpty());
    }

private:
    // The set of signals a process ignores, from /proc.
    static quint64 ignoredSignals(qint64 pid)
    {
        const QByteArray status = readAll(QStringLiteral("/proc/%1/status").arg(pid));
        const qsizetype at = status.indexOf("SigIgn:");
        return at < 0 ? 0 : status.mid(at + 7, status.indexOf('\n', at) - at - 7).trimmed().toULongLong(nullptr, 16);
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
