// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/Data.h"
#include "data/Settings.h"
#include "data/VisualRepresentationData.h"
#include "history/DeviceStatistics.h"
#include "history/HistoryReader.h"
#include "log/DataLogListener.h"
#include "log/ILogManagerListener.h"
#include "log/LogManager.h"
#include "monitor/Announcer.h"
#include "monitor/MonitorCore.h"
#include "monitor/ReachabilityWatcher.h"
#include "monitor/SlowWatch.h"
#include "net/ProbeEngine.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>

using namespace Tarnwick;
using namespace std::chrono_literals;

namespace {

class RecordingListener : public ILogManagerListener
{
public:
    QStringList seen;
    void onLogEntry(const std::string& category, const std::string& text) override
    {
        seen << QString::fromStdString(category + ": " + text);
    }
};

} // namespace

class TestMonitor : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir::setCurrent(m_dir.path()));
        Settings::instance().load(QStringLiteral("Settings.xml"));
    }

    void messagesFollowTheSetting_data()
    {
        QTest::addColumn<bool>("logStateChange");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("on") << true
                            << QStringList{"DeviceList: Device 127.0.0.5 (d) added to list",
                                           "DeviceList: Device 127.0.0.5 (d) state changed to: connected",
                                           "DeviceList: Device 127.0.0.5 (edited) state changed to: disconnected",
                                           "DeviceList: Device 127.0.0.5 (edited) removed from list",
                                           "DeviceList: Device 127.0.0.6 added to list",
                                           "DeviceList: Device 127.0.0.6 state changed to: disconnected (host "
                                           "unreachable, from 10.0.0.1)"};
        QTest::newRow("off") << false << QStringList();
    }

    void messagesFollowTheSetting()
    {
        QFETCH(bool, logStateChange);
        QFETCH(QStringList, expected);
        Settings::instance().logStateChange = logStateChange;
        RecordingListener listener;
        LogManager::instance().addListener(&listener);
        {
            Data data;
            DataLogListener log;
            data.connectReceiver(&log);
            VisualRepresentationData map;
            ReachabilityWatcher reachability(data, map, Settings::instance());
            Announcer announcer(data, Settings::instance(), reachability);
            connect(&announcer, &Announcer::announced, &log, &DataLogListener::announced);
            const QString ip = QStringLiteral("127.0.0.5");
            data.addEntry(DeviceEntry(ip, QStringLiteral("d"), DeviceTypePC, true, NoReplyResult));
            data.setPingResult(ip, ProbeResult::timeout());
            data.setPingResult(ip, ProbeResult::reply(4ms));
            data.setPingResult(ip, ProbeResult::reply(5ms));
            data.changeEntry(ip, ip, false, QStringLiteral("edited"), DeviceTypeWeb);
            data.setPingResult(ip, ProbeResult::timeout());
            data.setPingResult(ip, ProbeResult::timeout());
            data.removeEntry(ip);
            // Devices read at start: their first result tells the state and is not logged.
            const QString known = QStringLiteral("127.0.0.6");
            data.addEntry(DeviceEntry(known, QString(), DeviceTypePC, true, NoReplyResult));
            data.awaitFirstResults();
            data.setPingResult(known, ProbeResult::reply(2ms));
            data.setPingResult(known,
                               ProbeResult{ProbeResult::Timeout, 0, QStringLiteral("host unreachable, from 10.0.0.1")});
        }
        LogManager::instance().removeListener(&listener);
        QCOMPARE(listener.seen, expected);
        Settings::instance().logStateChange = true;
    }

    // What the log and the messages say for a run of results. Devices are read at start (their
    // first result is quiet); those named "q..." do not ask for messages. Steps: "device=result",
    // or "lines=N" to wait until the log has N lines (a group's wait is over).
    void logAndMessagesFollowTheDecisions_data()
    {
        QTest::addColumn<QString>("firstHop");
        QTest::addColumn<QStringList>("links");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<QStringList>("messages");

        QTest::newRow("first result quiet")
            << "" << QStringList() << QStringList{"a=X", "a=2", "q=1", "q=X"}
            << QStringList{"a connected", "q disconnected"} << QStringList{"Device connected|a "};
        QTest::newRow("each change at once without a first hop")
            << "" << QStringList() << QStringList{"a=1", "a=X", "a=1"} << QStringList{"a disconnected", "a connected"}
            << QStringList{"Device Disconnected|a ", "Device connected|a "};
        QTest::newRow("back within the wait: disconnected, then connected")
            << "gw" << QStringList{"gw-a"} << QStringList{"gw=1", "a=1", "a=X", "a=1"}
            << QStringList{"a disconnected", "a connected"} << QStringList{"Device connected|a "};
        QTest::newRow("cut off behind a failed router, and the group's return")
            << "gw" << QStringList{"gw-r", "r-b", "r-qc"}
            << QStringList{"gw=1", "r=1", "b=1", "qc=1", "b=X", "r=X", "qc=X", "lines=3", "r=1", "b=1", "qc=1"}
            << QStringList{"b disconnected (unreachable, behind r)",
                           "r disconnected",
                           "qc disconnected (unreachable, behind r)",
                           "r connected",
                           "b connected",
                           "qc connected"}
            << QStringList{"Device Disconnected|r , 2 devices behind it unreachable", "Device connected|r "};
        QTest::newRow("a device down before its router keeps its own failure")
            << "gw" << QStringList{"gw-r", "r-b"}
            << QStringList{"gw=1", "r=1", "b=1", "b=X", "r=1", "lines=1", "r=X", "lines=2"}
            << QStringList{"b disconnected", "r disconnected"}
            << QStringList{"Device Disconnected|b ", "Device Disconnected|r "};
    }

    void logAndMessagesFollowTheDecisions()
    {
        QFETCH(QString, firstHop);
        QFETCH(QStringList, links);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, log);
        QFETCH(QStringList, messages);
        Settings& settings = Settings::instance();
        settings.firstHop = firstHop;
        const auto restore = qScopeGuard([&settings] { settings.firstHop.clear(); });

        Data data;
        VisualRepresentationData map;
        for (const QString& link : std::as_const(links)) {
            const QStringList ends = link.split(QLatin1Char('-'));
            for (const QString& ip : ends) {
                if (!map.item(ip))
                    map.addItem({ip, 0, 0});
                if (!data.contains(ip))
                    data.addEntry(
                        DeviceEntry(ip, QString(), DeviceTypePC, !ip.startsWith(QLatin1Char('q')), NoReplyResult));
            }
            map.addConnection({ends[0], ends[1], 1});
        }
        for (const QString& step : std::as_const(steps)) {
            const QString ip = step.section(QLatin1Char('='), 0, 0);
            if (ip != QLatin1String("lines") && !data.contains(ip))
                data.addEntry(
                    DeviceEntry(ip, QString(), DeviceTypePC, !ip.startsWith(QLatin1Char('q')), NoReplyResult));
        }
        data.awaitFirstResults();
        ReachabilityWatcher reachability(data, map, settings);
        Announcer announcer(data, settings, reachability, std::chrono::milliseconds(100));
        DataLogListener logListener;
        connect(&announcer, &Announcer::announced, &logListener, &DataLogListener::announced);
        QStringList shown;
        connect(&announcer, &Announcer::announced, this, [&shown](const Announcement& announcement) {
            if (announcement.what != Announcement::What::StateChanged)
                shown << announcement.title + QLatin1Char('|') + announcement.text;
        });
        RecordingListener lines;
        LogManager::instance().addListener(&lines);
        const auto stopListening = qScopeGuard([&lines] { LogManager::instance().removeListener(&lines); });

        for (const QString& step : std::as_const(steps)) {
            const QString name = step.section(QLatin1Char('='), 0, 0);
            const QString value = step.section(QLatin1Char('='), 1);
            if (name == QLatin1String("lines"))
                QTRY_COMPARE(lines.seen.size(), value.toInt());
            else
                data.setPingResult(name,
                                   value == QLatin1String("X")
                                       ? ProbeResult::timeout()
                                       : ProbeResult::reply(std::chrono::milliseconds(value.toInt())));
        }
        QStringList expected;
        for (const QString& line : std::as_const(log))
            expected << QStringLiteral("DeviceList: Device %1 state changed to: %2")
                            .arg(line.section(QLatin1Char(' '), 0, 0), line.section(QLatin1Char(' '), 1));
        QTRY_COMPARE(lines.seen, expected);
        QTRY_COMPARE(shown, messages);
    }

    // The map's lines and the first hop tell who is cut off behind whom, as states change.
    void watcherFollowsStatesLinesAndFirstHop()
    {
        Data data;
        VisualRepresentationData map;
        for (const char* ip : {"a", "b"})
            data.addEntry(DeviceEntry(QString::fromLatin1(ip), QString(), DeviceTypePC, false, NoReplyResult));
        data.addEntry(DeviceEntry(QStringLiteral("gw"), QString(), DeviceTypeRouter, false, NoReplyResult));
        for (const char* ip : {"gw", "a", "b"})
            map.addItem({QString::fromLatin1(ip), 0, 0});
        map.addConnection({QStringLiteral("gw"), QStringLiteral("a"), 1});
        map.addConnection({QStringLiteral("a"), QStringLiteral("b"), 1});
        Settings::instance().firstHop = QStringLiteral("gw");
        const auto restore = qScopeGuard([] { Settings::instance().firstHop.clear(); });
        ReachabilityWatcher watcher(data, map, Settings::instance());
        QSignalSpy changed(&watcher, &ReachabilityWatcher::reachabilityChanged);
        // a and b start disconnected, as new entries do; gw answers: b is behind a.
        data.setPingResult(QStringLiteral("gw"), ProbeResult::reply(1ms));
        QTRY_COMPARE(watcher.behind(QStringLiteral("b")), QStringLiteral("a"));
        QVERIFY(watcher.behind(QStringLiteral("a")).isEmpty());
        QVERIFY(changed.count() >= 1);
        data.setPingResult(QStringLiteral("a"), ProbeResult::reply(1ms));
        QTRY_VERIFY(watcher.behind(QStringLiteral("b")).isEmpty());
        data.setPingResult(QStringLiteral("a"), ProbeResult::timeout());
        QTRY_COMPARE(watcher.behind(QStringLiteral("b")), QStringLiteral("a"));
        // Without the line back to the first hop, nothing is behind a.
        map.removeConnection(QStringLiteral("gw"), QStringLiteral("a"));
        QTRY_VERIFY(watcher.behind(QStringLiteral("b")).isEmpty());
        // A first hop set or taken away is heard as it changes.
        map.addConnection({QStringLiteral("gw"), QStringLiteral("a"), 1});
        QTRY_COMPARE(watcher.behind(QStringLiteral("b")), QStringLiteral("a"));
        Settings::instance().set(&Settings::firstHop, QString());
        QVERIFY(watcher.behind(QStringLiteral("b")).isEmpty());
        Settings::instance().set(&Settings::firstHop, QStringLiteral("gw"));
        QCOMPARE(watcher.behind(QStringLiteral("b")), QStringLiteral("a"));
    }

    // Every result reaches the store and each sink; ended, the monitor stops first and the
    // history has written what it took before the files are saved.
    void coreFeedsItsSinksAndSavesOnEnd()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        const auto back = qScopeGuard([&before] { QDir::setCurrent(before); });
        Settings& settings = Settings::instance();
        const int gap = settings.pingTimeGap.load();
        settings.pingTimeGap = 0;
        const auto restore = qScopeGuard([&settings, gap] { settings.pingTimeGap = gap; });
        QStringList reports;
        MonitorCore::Options options;
        options.report = [&reports](const QString& text) { reports << text; };
        options.metricsAddress = QStringLiteral("not an address");
        options.probe = [](const QString& host, int) {
            return host == QLatin1String("127.0.0.1") ? ProbeResult::reply(7ms) : ProbeResult::timeout();
        };
        ProbeEngine engine;
        MonitorCore core(settings, engine, options);
        const QString ip = QStringLiteral("127.0.0.1");
        core.data().addEntry(DeviceEntry(ip, QString(), DeviceTypePC, false, NoReplyResult));
        Data::setInstance(&core.data());
        const auto unpublish = qScopeGuard([] { Data::setInstance(nullptr); });
        // The metrics say why they are not served, through the core's report.
        QCOMPARE(reports.size(), 1);

        core.start();
        const auto answered = [&] {
            return core.statistics()->lastHour(ip, QDateTime::currentMSecsSinceEpoch()).received >= 3;
        };
        QTRY_VERIFY(answered());
        QTRY_COMPARE(core.data().entry(ip).pingResult, QStringLiteral("7"));
        core.end();
        QVERIFY(!HistoryReader(QStringLiteral("History.sqlite"))
                     .results(ip, 0, QDateTime::currentMSecsSinceEpoch())
                     .isEmpty());
        QVERIFY(QFile::exists(QStringLiteral("DeviceConfig.xml")));
    }

    // A device whose replies grow slow is told slow, in the log and in a message, and told
    // again when it recovers; one that goes down meanwhile is not judged.
    void coreTellsSlowDevicesAndTheirRecovery()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        const auto back = qScopeGuard([&before] { QDir::setCurrent(before); });
        Settings& settings = Settings::instance();
        const Settings saved = settings;
        const auto restore = qScopeGuard([&settings, &saved] { settings.setEdited(settings, saved); });
        settings.set(&Settings::pingTimeGap, 0);
        settings.set(&Settings::slowAverageMs, 250);
        settings.set(&Settings::slowResults, 3);
        std::atomic<int> roundTripMs{1};
        MonitorCore::Options options;
        options.probe = [&roundTripMs](const QString&, int) {
            return ProbeResult::reply(std::chrono::milliseconds(roundTripMs.load()));
        };
        ProbeEngine engine;
        MonitorCore core(settings, engine, options);
        const QString ip = QStringLiteral("127.0.0.1");
        core.data().addEntry(DeviceEntry(ip, QStringLiteral("Printer"), DeviceTypePC, true, NoReplyResult));
        Data::setInstance(&core.data());
        const auto unpublish = qScopeGuard([] { Data::setInstance(nullptr); });
        DataLogListener log;
        connect(&core.announcer(), &Announcer::announced, &log, &DataLogListener::announced);
        RecordingListener lines;
        LogManager::instance().addListener(&lines);
        const auto unlisten = qScopeGuard([&lines] { LogManager::instance().removeListener(&lines); });
        QStringList told;
        connect(&core.announcer(), &Announcer::announced, this, [&told](const Announcement& announcement) {
            if (announcement.what == Announcement::What::Alert && announcement.connected
                && announcement.title != QLatin1String("Device connected"))
                told << announcement.title + QStringLiteral(": ") + announcement.text;
        });
        core.start();
        QTRY_COMPARE(core.data().entry(ip).pingResult, QStringLiteral("1"));
        roundTripMs = 340;
        QTRY_VERIFY(core.slowWatch().isSlow(ip));
        roundTripMs = 2;
        QTRY_VERIFY(!core.slowWatch().isSlow(ip));
        core.end();
        // Recovered below 80 % of the line: 340, 2 and 2 ms.
        QCOMPARE(told,
                 QStringList({"Device slow: 127.0.0.1 Printer: average 340 ms over the last 3 replies",
                              "Device no longer slow: 127.0.0.1 Printer: average 115 ms, loss 0 % over the last 3 "
                              "probes"}));
        QCOMPARE(lines.seen.filter(QStringLiteral("slow")),
                 QStringList({"DeviceList: Device 127.0.0.1 (Printer) is slow: average 340 ms over the last 3 replies",
                              "DeviceList: Device 127.0.0.1 (Printer) is no longer slow: average 115 ms, loss 0 % over "
                              "the last 3 probes"}));
    }
};

QTEST_GUILESS_MAIN(TestMonitor)
#include "tst_monitor.moc"
