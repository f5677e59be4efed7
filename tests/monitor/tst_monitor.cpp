// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/Data.h"
#include "data/DevicePaths.h"
#include "data/MuteList.h"
#include "data/Settings.h"
#include "data/VisualRepresentationData.h"
#include "history/DeviceStatistics.h"
#include "history/HistoryReader.h"
#include "log/DataLogListener.h"
#include "log/ILogManagerListener.h"
#include "log/LogManager.h"
#include "monitor/Announcer.h"
#include "monitor/HistoryRecorder.h"
#include "monitor/MonitorCore.h"
#include "monitor/ReachabilityWatcher.h"
#include "monitor/SlowWatch.h"
#include "net/NameResolver.h"
#include "net/PingerThread.h"
#include "net/ProbeEngine.h"

#include "../common/TestFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

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

// An empty folder of the test's own as the working folder, until the test ends.
class OwnFolder
{
public:
    OwnFolder()
        : m_before(QDir::currentPath())
        , m_entered(m_dir.isValid() && QDir::setCurrent(m_dir.path()))
    {
    }
    ~OwnFolder() { QDir::setCurrent(m_before); }
    bool entered() const { return m_entered; }

private:
    QTemporaryDir m_dir;
    QString m_before;
    bool m_entered;
};

// Places the ends of each "a-b" link on the map, joins them, and lists each in the store once;
// devices whose address starts with "q" ask for no messages.
void joinOnMap(const QStringList& links, Data& data, VisualRepresentationData& map)
{
    for (const QString& link : links) {
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
}

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
                                           "DeviceList: Device 127.0.0.5 (d) edited: description \"d\" to "
                                           "\"edited\", type \"3\" to \"4\", information on state change "
                                           "\"yes\" to \"no\"",
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
            data.setPingResults({{ip, 0, ProbeResult::timeout()}});
            data.setPingResults({{ip, 0, ProbeResult::reply(4ms)}});
            data.setPingResults({{ip, 0, ProbeResult::reply(5ms)}});
            data.changeEntry(ip, ip, false, QStringLiteral("edited"), DeviceTypeWeb);
            data.setPingResults({{ip, 0, ProbeResult::timeout()}});
            data.setPingResults({{ip, 0, ProbeResult::timeout()}});
            data.removeEntry(ip);
            // Devices read at start: their first result tells the state and is not logged.
            const QString known = QStringLiteral("127.0.0.6");
            data.addEntry(DeviceEntry(known, QString(), DeviceTypePC, true, NoReplyResult));
            data.awaitFirstResults();
            data.setPingResults({{known, 0, ProbeResult::reply(2ms)}});
            data.setPingResults(
                {{known, 0, ProbeResult{ProbeResult::Timeout, 0, QStringLiteral("host unreachable, from 10.0.0.1")}}});
        }
        LogManager::instance().removeListener(&listener);
        QCOMPARE(listener.seen, expected);
        Settings::instance().logStateChange = true;
    }

    // What the log and the messages say for a run of results. Devices are read at start (their
    // first result is quiet); those named "q..." do not ask for messages, those named "m..."
    // have a further check, TCP 443. Steps: "device=result" ("1+X": the further check's result
    // after the first's), or "lines=N" to wait until the log has N lines (a group's wait is over).
    // Paths learnt: "device:router,router".
    void logAndMessagesFollowTheDecisions_data()
    {
        QTest::addColumn<QString>("firstHop");
        QTest::addColumn<QStringList>("links");
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<QStringList>("messages");

        QTest::newRow("first result quiet")
            << "" << QStringList() << QStringList() << QStringList{"a=X", "a=2", "q=1", "q=X"}
            << QStringList{"a connected", "q disconnected"} << QStringList{"Device connected|a "};
        QTest::newRow("each change at once without a first hop")
            << "" << QStringList() << QStringList() << QStringList{"a=1", "a=X", "a=1"}
            << QStringList{"a disconnected", "a connected"}
            << QStringList{"Device Disconnected|a ", "Device connected|a "};
        QTest::newRow("back within the wait: disconnected, then connected")
            << "gw" << QStringList{"gw-a"} << QStringList() << QStringList{"gw=1", "a=1", "a=X", "a=1"}
            << QStringList{"a disconnected", "a connected"} << QStringList{"Device connected|a "};
        QTest::newRow("cut off behind a failed router, and the group's return")
            << "gw" << QStringList{"gw-r", "r-b", "r-qc"} << QStringList()
            << QStringList{"gw=1", "r=1", "b=1", "qc=1", "b=X", "r=X", "qc=X", "lines=3", "r=1", "b=1", "qc=1"}
            << QStringList{"b disconnected (unreachable, behind r)",
                           "r disconnected",
                           "qc disconnected (unreachable, behind r)",
                           "r connected",
                           "b connected",
                           "qc connected"}
            << QStringList{"Device Disconnected|r , 2 devices behind it unreachable", "Device connected|r "};
        QTest::newRow("a device down before its router keeps its own failure")
            << "gw" << QStringList{"gw-r", "r-b"} << QStringList()
            << QStringList{"gw=1", "r=1", "b=1", "b=X", "r=1", "lines=1", "r=X", "lines=2"}
            << QStringList{"b disconnected", "r disconnected"}
            << QStringList{"Device Disconnected|b ", "Device Disconnected|r "};
        QTest::newRow("a failed further check named")
            << "" << QStringList() << QStringList() << QStringList{"m=1+1", "m=1+X", "m=1+1"}
            << QStringList{"m disconnected (TCP 443: no reply)", "m connected"}
            << QStringList{"Device Disconnected|m (TCP 443: no reply)", "Device connected|m "};
        QTest::newRow("cut off behind a router on the learnt paths, with no line and no first hop")
            << "" << QStringList() << QStringList{"r:", "b:r", "qc:x,r"}
            << QStringList{"r=1", "b=1", "qc=1", "b=X", "r=X", "qc=X", "lines=3", "r=1", "b=1", "qc=1"}
            << QStringList{"b disconnected (unreachable, behind r)",
                           "r disconnected",
                           "qc disconnected (unreachable, behind r)",
                           "r connected",
                           "b connected",
                           "qc connected"}
            << QStringList{"Device Disconnected|r , 2 devices behind it unreachable", "Device connected|r "};
        QTest::newRow("a line drawn wins over the path learnt")
            << "gw" << QStringList{"gw-r", "gw-b"} << QStringList{"b:r"}
            << QStringList{"gw=1", "r=1", "b=1", "r=X", "lines=1", "b=X", "lines=2"}
            << QStringList{"r disconnected", "b disconnected"}
            << QStringList{"Device Disconnected|r ", "Device Disconnected|b "};
        QTest::newRow("behind a router off the list when every device past it fails")
            << "" << QStringList() << QStringList{"b:x", "c:y,x"} << QStringList{"b=1", "c=1", "b=X", "c=X", "lines=2"}
            << QStringList{"b disconnected (unreachable, behind x, not in your list)",
                           "c disconnected (unreachable, behind x, not in your list)"}
            << QStringList{"Device Disconnected|x, not in your list, 2 devices behind it unreachable"};
        QTest::newRow("alone behind a router off the list, a device fails on its own")
            << "" << QStringList() << QStringList{"b:x", "c:y"} << QStringList{"b=1", "c=1", "b=X", "lines=1"}
            << QStringList{"b disconnected"} << QStringList{"Device Disconnected|b "};
    }

    void logAndMessagesFollowTheDecisions()
    {
        QFETCH(QString, firstHop);
        QFETCH(QStringList, links);
        QFETCH(QStringList, paths);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, log);
        QFETCH(QStringList, messages);
        Settings& settings = Settings::instance();
        settings.firstHop = firstHop;
        const auto restore = qScopeGuard([&settings] { settings.firstHop.clear(); });

        Data data;
        VisualRepresentationData map;
        joinOnMap(links, data, map);
        DevicePaths learnt;
        QHash<QString, DevicePath> ways;
        for (const QString& path : std::as_const(paths))
            ways.insert(path.section(QLatin1Char(':'), 0, 0),
                        {path.section(QLatin1Char(':'), 1).split(QLatin1Char(','), Qt::SkipEmptyParts), 0});
        learnt.setAll(ways);
        for (const QString& step : std::as_const(steps)) {
            const QString ip = step.section(QLatin1Char('='), 0, 0);
            if (ip != QLatin1String("lines") && !data.contains(ip)) {
                DeviceEntry entry(ip, QString(), DeviceTypePC, !ip.startsWith(QLatin1Char('q')), NoReplyResult);
                if (ip.startsWith(QLatin1Char('m')))
                    entry.moreChecks = {DeviceCheck::tcp(443)};
                data.addEntry(entry);
            }
        }
        data.awaitFirstResults();
        ReachabilityWatcher reachability(data, map, settings, &learnt);
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
            else {
                const auto result = [](const QString& text) {
                    return text == QLatin1String("X") ? ProbeResult::timeout()
                                                      : ProbeResult::reply(std::chrono::milliseconds(text.toInt()));
                };
                ProbeRecord record{name, 0, result(value.section(QLatin1Char('+'), 0, 0))};
                if (value.contains(QLatin1Char('+'))) {
                    record.check = DeviceCheck{};
                    record.moreChecks = data.entry(name).moreChecks;
                    record.moreResults = {result(value.section(QLatin1Char('+'), 1))};
                }
                data.setPingResults({record});
            }
        }
        QStringList expected;
        for (const QString& line : std::as_const(log))
            expected << QStringLiteral("DeviceList: Device %1 state changed to: %2")
                            .arg(line.section(QLatin1Char(' '), 0, 0), line.section(QLatin1Char(' '), 1));
        QTRY_COMPARE(lines.seen, expected);
        QTRY_COMPARE(shown, messages);
    }

    // Steps: "r=S" the device turns slow, "r=R" it recovers, "n=2" waits for two messages.
    // Devices whose names start with "q" ask for no messages.
    void slowDevicesBehindASlowOneAreGrouped_data()
    {
        QTest::addColumn<QString>("firstHop");
        QTest::addColumn<QStringList>("links");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("messages");
        const QString slow = QStringLiteral("Device slow|%1 : average 300 ms over the last 3 replies");
        const QString back = QStringLiteral(
            "Device no longer slow|%1 : average 2.0 ms, loss 0 % over the last 3 probes");
        QTest::newRow("each alone without a first hop")
            << "" << QStringList{"gw-r", "r-b"} << QStringList{"r=S", "b=S", "b=R"}
            << QStringList{slow.arg("r"), slow.arg("b"), back.arg("b")};
        QTest::newRow("behind a slow router: its message counts them, and they recover unheard")
            << "gw" << QStringList{"gw-r", "r-b", "r-qc"}
            << QStringList{"b=S", "r=S", "qc=S", "n=1", "b=R", "qc=R", "r=R"}
            << QStringList{slow.arg("r") + ", 2 devices behind it slow", back.arg("r")};
        QTest::newRow("a way round the slow router: each is told")
            << "gw" << QStringList{"gw-r", "gw-s", "r-b", "s-b"} << QStringList{"r=S", "b=S"}
            << QStringList{slow.arg("r"), slow.arg("b")};
        QTest::newRow("a group that grows updates the router's message")
            << "gw" << QStringList{"gw-r", "r-b", "r-c"} << QStringList{"r=S", "n=1", "b=S", "n=2", "c=S"}
            << QStringList{slow.arg("r"), "again " + slow.arg("r") + ", 1 device behind it slow",
                           "again " + slow.arg("r") + ", 2 devices behind it slow"};
    }

    void slowDevicesBehindASlowOneAreGrouped()
    {
        QFETCH(QString, firstHop);
        QFETCH(QStringList, links);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, messages);
        Settings& settings = Settings::instance();
        settings.firstHop = firstHop;
        const auto restore = qScopeGuard([&settings] { settings.firstHop.clear(); });
        Data data;
        VisualRepresentationData map;
        joinOnMap(links, data, map);
        for (const DeviceEntry& entry : data.entries())
            data.setPingResults({{entry.ip, 0, ProbeResult::reply(std::chrono::milliseconds(2))}});
        ReachabilityWatcher reachability(data, map, settings);
        Announcer announcer(data, settings, reachability, std::chrono::milliseconds(100));
        QStringList shown;
        connect(&announcer, &Announcer::announced, this, [&shown](const Announcement& announcement) {
            if (announcement.what != Announcement::What::SlowChanged
                && announcement.title.contains(QLatin1String("slow")))
                shown << (announcement.what == Announcement::What::AlertRepeated ? QStringLiteral("again ") : QString())
                        + announcement.title + QLatin1Char('|') + announcement.text;
        });
        SlowRule::Figures turnedSlow{true, 300, 3, 3, 0, true};
        SlowRule::Figures recovered{false, 2, 3, 3, 0, false};
        for (const QString& step : std::as_const(steps)) {
            const QString name = step.section(QLatin1Char('='), 0, 0);
            const QString value = step.section(QLatin1Char('='), 1);
            if (name == QLatin1String("n"))
                QTRY_COMPARE(shown.size(), value.toInt());
            else
                announcer.slowChanged(data.entry(name), value == QLatin1String("S") ? turnedSlow : recovered);
        }
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
        data.setPingResults({{QStringLiteral("gw"), 0, ProbeResult::reply(1ms)}});
        QTRY_COMPARE(watcher.behind(QStringLiteral("b")), QStringLiteral("a"));
        QVERIFY(watcher.behind(QStringLiteral("a")).isEmpty());
        QVERIFY(changed.count() >= 1);
        data.setPingResults({{QStringLiteral("a"), 0, ProbeResult::reply(1ms)}});
        QTRY_VERIFY(watcher.behind(QStringLiteral("b")).isEmpty());
        data.setPingResults({{QStringLiteral("a"), 0, ProbeResult::timeout()}});
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

        // The order of the results counts: b, which missed while a still answered, keeps its own
        // failure once a fails, while c, a's other neighbour (on the map from now on), missed
        // after a's last answer and is cut off.
        data.addEntry(DeviceEntry(QStringLiteral("c"), QString(), DeviceTypePC, false, NoReplyResult));
        map.addItem({QStringLiteral("c"), 0, 0});
        map.addConnection({QStringLiteral("a"), QStringLiteral("c"), 1});
        const auto results = [&data](const char* ips, ProbeResult result) {
            for (const QString& ip : QString::fromLatin1(ips).split(QLatin1Char(' ')))
                data.setPingResults({{ip, 0, result}});
        };
        results("a b c", ProbeResult::reply(1ms));
        QTRY_VERIFY(watcher.behind(QStringLiteral("b")).isEmpty());
        results("b", ProbeResult::timeout());
        results("a", ProbeResult::reply(1ms));
        results("a c", ProbeResult::timeout());
        QTRY_COMPARE(watcher.behind(QStringLiteral("c")), QStringLiteral("a"));
        QVERIFY(watcher.behind(QStringLiteral("b")).isEmpty());
    }

    // Every result reaches the core's own store and each sink, at the pace of the core's own
    // settings, whatever the process publishes; ended, the monitor stops first and the history
    // has written what it took before the files are saved.
    void coreFeedsItsSinksAndSavesOnEnd()
    {
        const OwnFolder folder;
        QVERIFY(folder.entered());
        Settings settings;
        settings.pingTimeGap = 0;
        // A core that read the process's settings would wait a minute between probes.
        Settings& published = Settings::instance();
        const int gap = published.pingTimeGap.load();
        published.pingTimeGap = 60000;
        const auto restore = qScopeGuard([&published, gap] { published.pingTimeGap = gap; });
        QStringList reports;
        MonitorCore::Options options;
        options.report = [&reports](const QString& text) { reports << text; };
        options.metricsAddress = QStringLiteral("not an address");
        options.probe = [](const QString& host, int) {
            return host == QLatin1String("127.0.0.1") ? ProbeResult::reply(7ms) : ProbeResult::timeout();
        };
        NameResolver resolver;
        ProbeEngine engine(resolver);
        MonitorCore core(settings, engine, options);
        const QString ip = QStringLiteral("127.0.0.1");
        core.data().addEntry(DeviceEntry(ip, QString(), DeviceTypePC, false, NoReplyResult));
        // The metrics say why they are not served, through the core's report.
        QCOMPARE(reports.size(), 1);

        core.start();
        const auto received = [&] {
            return core.statistics()->lastHour(ip, QDateTime::currentMSecsSinceEpoch()).received;
        };
        QTRY_VERIFY(received() >= 3);
        QTRY_COMPARE(core.data().entry(ip).pingResult, QStringLiteral("7"));
        // A scan rests the monitor; started again, its results still reach the history.
        core.pause();
        QCOMPARE(core.pinger(), nullptr);
        const int rested = received();
        core.start();
        QTRY_VERIFY(received() > rested);
        core.end();
        // A scan that ends after the core did leaves the monitor stopped.
        core.start();
        QCOMPARE(core.pinger(), nullptr);
        QVERIFY(!HistoryReader(QStringLiteral("History.sqlite"))
                     .results(ip, 0, QDateTime::currentMSecsSinceEpoch())
                     .isEmpty());
        QVERIFY(QFile::exists(QStringLiteral("DeviceConfig.xml")));
    }

    // A list that needs more probes a second than the engine sends is told once, in the log,
    // and again when the period makes it so anew.
    void coreTellsWhenTheListOutgrowsThePeriod()
    {
        Settings& settings = Settings::instance();
        settings.set(&Settings::probePeriod, 1);
        const auto restore = qScopeGuard([&settings] { settings.set(&Settings::probePeriod, 0); });
        QStringList reports;
        MonitorCore::Options options;
        options.deviceListFile = QStringLiteral("outgrown.xml");
        options.historyFile = QStringLiteral("outgrown.sqlite");
        options.report = [&reports](const QString& text) { reports << text; };
        NameResolver resolver;
        ProbeEngine engine(resolver);
        MonitorCore core(settings, engine, options);
        for (int i = 0; i < 6000; ++i)
            core.data().addEntry(DeviceEntry(QStringLiteral("127.1.%1.%2").arg(i / 250).arg(i % 250 + 1), QString(),
                                             DeviceTypePC, false, NoReplyResult));
        const QString told = QStringLiteral("With 6000 devices, each is probed about every 1.2 s.");
        QTRY_COMPARE(reports.filter(QStringLiteral("With ")), QStringList{told});
        // Every 2 s the engine keeps up: nothing to say.
        settings.set(&Settings::probePeriod, 2);
        QCoreApplication::processEvents();
        QCOMPARE(reports.filter(QStringLiteral("With ")).size(), 1);
        settings.set(&Settings::probePeriod, 1);
        QTRY_COMPARE(reports.filter(QStringLiteral("With ")), (QStringList{told, told}));
    }

    // A list whose reading was given up (a SIGTERM during start-up) is a part of itself: its
    // length says nothing of the pace.
    void aListGivenUpWhileReadSaysNothingOfThePace()
    {
        const OwnFolder folder;
        QVERIFY(folder.entered());
        Settings& settings = Settings::instance();
        settings.set(&Settings::probePeriod, 1);
        const auto restore = qScopeGuard([&settings] { settings.set(&Settings::probePeriod, 0); });
        TestFiles::writeFile(QStringLiteral("DeviceConfig.xml"), TestFiles::loopbackDeviceList(12000));
        QStringList reports;
        MonitorCore::Options options;
        options.report = [&reports](const QString& text) { reports << text; };
        int asked = 0;
        options.stopLoading = [&asked] { return ++asked > 6000; };
        NameResolver resolver;
        ProbeEngine engine(resolver);
        MonitorCore core(settings, engine, options);
        QVERIFY2(core.data().entries().size() > 5000 && core.data().entries().size() < 12000,
                 qPrintable(QString::number(core.data().entries().size())));
        QCoreApplication::processEvents();
        QVERIFY2(reports.filter(QStringLiteral("With ")).isEmpty(), qPrintable(reports.join(QLatin1Char('|'))));
    }

    // A second run reads the history the first one wrote: devices whose state changed in
    // between are told at their first result, the watched ones in one message; unchanged
    // devices and devices without a history stay quiet.
    void changesWhileNotRunningAreToldAtStart()
    {
        const OwnFolder folder;
        QVERIFY(folder.entered());
        Settings& settings = Settings::instance();
        const int gap = settings.pingTimeGap.load();
        settings.pingTimeGap = 0;
        const auto restore = qScopeGuard([&settings, gap] { settings.pingTimeGap = gap; });
        const QStringList devices{"127.0.0.1", "127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5"};
        QSet<QString> down;
        MonitorCore::Options options;
        options.grouping = 100ms;
        options.probe = [&down](const QString& host, int) {
            return down.contains(host) ? ProbeResult::timeout() : ProbeResult::reply(3ms);
        };
        {
            NameResolver resolver;
            ProbeEngine engine(resolver);
            MonitorCore first(settings, engine, options);
            Data::setInstance(&first.data());
            const auto unpublish = qScopeGuard([] { Data::setInstance(nullptr); });
            // 127.0.0.4 is not watched: its change is logged but makes no message.
            for (const QString& ip : devices.first(4))
                first.data().addEntry(DeviceEntry(ip, QString(), DeviceTypePC, ip != "127.0.0.4", NoReplyResult));
            first.start();
            for (const QString& ip : devices.first(4))
                QTRY_COMPARE(first.data().entry(ip).state, DeviceStateConnected);
            first.end();
        }

        down = {"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5"};
        RecordingListener lines;
        LogManager::instance().addListener(&lines);
        const auto stopListening = qScopeGuard([&lines] { LogManager::instance().removeListener(&lines); });
        NameResolver resolver;
        ProbeEngine engine(resolver);
        MonitorCore second(settings, engine, options);
        Data::setInstance(&second.data());
        const auto unpublish = qScopeGuard([] { Data::setInstance(nullptr); });
        second.data().addEntry(DeviceEntry(devices[4], QString(), DeviceTypePC, true, NoReplyResult));
        second.data().awaitFirstResults();
        DataLogListener log;
        connect(&second.announcer(), &Announcer::announced, &log, &DataLogListener::announced);
        QList<Announcement> alerts;
        connect(&second.announcer(), &Announcer::announced, this, [&alerts](const Announcement& announcement) {
            if (announcement.what != Announcement::What::StateChanged)
                alerts << announcement;
        });
        second.start();
        QTRY_COMPARE(alerts.size(), 1);
        second.end();

        QStringList changed = lines.seen.filter(QStringLiteral("state changed"));
        changed.sort();
        const QString away = QStringLiteral(" state changed to: disconnected (while Tarnwick was not running)");
        QCOMPARE(changed,
                 (QStringList{"DeviceList: Device 127.0.0.2" + away, "DeviceList: Device 127.0.0.3" + away,
                              "DeviceList: Device 127.0.0.4" + away}));
        QCOMPARE(alerts.size(), 1);
        QStringList named = alerts[0].devices;
        named.sort();
        QCOMPARE(named, (QStringList{"127.0.0.2", "127.0.0.3"}));
        QCOMPARE(alerts[0].title, QStringLiteral("Devices changed while Tarnwick was not running"));
        QVERIFY2(
            alerts[0].text.startsWith(QStringLiteral("2 devices changed while Tarnwick was not running: 127.0.0.")),
            qPrintable(alerts[0].text));
        QVERIFY(!alerts[0].connected);
        QCOMPARE(alerts[0].each.size(), 2);
        for (const Announcement::Device& device : alerts[0].each)
            QVERIFY(named.contains(device.address) && !device.connected);
    }

    // A muted device is logged as ever but makes no message; mutes end by themselves, and
    // muting all devices holds back every device's messages.
    void mutesHoldBackMessagesOnly_data()
    {
        QTest::addColumn<QString>("muted"); // "device", "all" or "other"
        QTest::addColumn<int>("forMinutes"); // 0: until unmuted
        QTest::addColumn<int>("minutesLater"); // when the device goes down
        QTest::addColumn<bool>("message");
        QTest::newRow("not muted") << "" << 0 << 0 << true;
        QTest::newRow("muted for an hour") << "device" << 60 << 59 << false;
        QTest::newRow("an hour is over") << "device" << 60 << 61 << true;
        QTest::newRow("until unmuted") << "device" << 0 << 100000 << false;
        QTest::newRow("another device muted") << "other" << 0 << 0 << true;
        QTest::newRow("all muted for an hour") << "all" << 60 << 30 << false;
        QTest::newRow("all muted, the hour is over") << "all" << 60 << 60 << true;
    }

    void mutesHoldBackMessagesOnly()
    {
        QFETCH(QString, muted);
        QFETCH(int, forMinutes);
        QFETCH(int, minutesLater);
        QFETCH(bool, message);
        const QDateTime start = QDateTime::currentDateTimeUtc();
        QDateTime now = start;
        MuteList mutes;
        mutes.setClock([&now] { return now; });
        const QDateTime until = forMinutes ? start.addSecs(forMinutes * 60) : QDateTime();
        const QString ip = QStringLiteral("127.0.0.7");
        if (muted == QLatin1String("all"))
            mutes.muteAll(until);
        else if (!muted.isEmpty())
            mutes.mute(muted == QLatin1String("device") ? ip : QStringLiteral("127.0.0.8"), until);

        Data data;
        data.addEntry(DeviceEntry(ip, QString(), DeviceTypePC, true, NoReplyResult));
        data.awaitFirstResults();
        VisualRepresentationData map;
        ReachabilityWatcher reachability(data, map, Settings::instance());
        Announcer announcer(data, Settings::instance(), reachability);
        announcer.setMutes(&mutes);
        QStringList lines;
        QStringList messages;
        connect(&announcer, &Announcer::announced, this, [&](const Announcement& announcement) {
            (announcement.what == Announcement::What::StateChanged ? lines : messages) << announcement.devices.first();
        });
        data.setPingResults({{ip, 0, ProbeResult::reply(1ms)}});
        now = start.addSecs(minutesLater * 60);
        data.setPingResults({{ip, 0, ProbeResult::timeout()}});
        QCOMPARE(lines, QStringList{ip});
        QCOMPARE(messages, message ? QStringList{ip} : QStringList());
    }

    // Mutes are saved as they are made and read by the next run; the ones that are over are
    // left out.
    void mutesOutliveARestart()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString file = dir.filePath(QStringLiteral("Mutes.xml"));
        QDateTime now = QDateTime::fromString(QStringLiteral("2026-12-08T14:30:00Z"), Qt::ISODate);
        const auto clock = [&now] { return now; };
        {
            MuteList mutes;
            mutes.setClock(clock);
            mutes.load(file);
            mutes.mute(QStringLiteral("10.0.0.3"), now.addSecs(60));
            mutes.mute(QStringLiteral("10.0.0.1"), now.addSecs(8 * 3600));
            mutes.mute(QStringLiteral("10.0.0.2"), QDateTime());
            mutes.mute(QStringLiteral("10.0.0.4"), QDateTime());
            mutes.unmute(QStringLiteral("10.0.0.4"));
            now = now.addSecs(120);
            mutes.muteAll(now.addSecs(3600 - 120));
        }
        QCOMPARE(TestFiles::readAll(file),
                 TestFiles::readAll(QStringLiteral(TARNWICK_SOURCE_DIR "/tests/data/golden/Mutes-two.xml")));

        MuteList again;
        again.setClock(clock);
        again.load(file);
        QCOMPARE(again.mutedUntil(QStringLiteral("10.0.0.1")), now.addSecs(8 * 3600 - 120));
        QCOMPARE(again.mutedUntil(QStringLiteral("10.0.0.2")), QDateTime());
        QVERIFY(!again.mutedUntil(QStringLiteral("10.0.0.3")));
        QVERIFY(again.isMuted(QStringLiteral("10.0.0.9")));
        now = now.addSecs(3600);
        QVERIFY(!again.isMuted(QStringLiteral("10.0.0.9")));
        QVERIFY(again.isMuted(QStringLiteral("10.0.0.2")));
    }

    // The previous run's last hour joins this run's statistics, read beside the results that
    // come meanwhile.
    void thePreviousRunsHourCarriesOn()
    {
        const OwnFolder folder;
        QVERIFY(folder.entered());
        const QString ip = QStringLiteral("127.0.0.1");
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        {
            Data before;
            HistoryRecorder previous(QStringLiteral("History.sqlite"), Settings::instance(), before);
            for (int i = 0; i < 4; ++i)
                previous.record({ip, now - 5 * 60000 + i * 1000, ProbeResult::reply(std::chrono::milliseconds(2))});
        }
        Data data;
        HistoryRecorder recorder(QStringLiteral("History.sqlite"), Settings::instance(), data);
        recorder.record({ip, now, ProbeResult::timeout()});
        QTRY_VERIFY(recorder.keptMinutesRead());
        const DeviceStatistics::Summary hour = recorder.statistics().lastHour(ip, now);
        QCOMPARE(hour.sent, 5);
        QCOMPARE(hour.received, 4);
    }

    // A slow period ends in the history when its device goes down, and when a new run first
    // hears of the device, as the run before may have ended while it was slow.
    void slowPeriodsEndWithTheirDevice()
    {
        const OwnFolder folder;
        QVERIFY(folder.entered());
        const QString ip = QStringLiteral("127.0.0.1");
        const ProbeResult reply = ProbeResult::reply(std::chrono::milliseconds(1));
        for (const bool goesDown : {false, true}) {
            Data data;
            data.addEntry(DeviceEntry(ip, QStringLiteral("Printer"), DeviceTypePC, true, NoReplyResult));
            data.awaitFirstResults();
            HistoryRecorder recorder(QStringLiteral("History.sqlite"), Settings::instance(), data);
            data.setPingResults({{ip, 0, reply}});
            recorder.slowChanged(data.entry(ip), SlowRule::Figures{.slow = true});
            for (int i = 0; goesDown && i < Settings::instance().disconnectAfter.load(); ++i)
                data.setPingResults({{ip, 0, ProbeResult::timeout()}});
            QCOMPARE(data.entry(ip).state == DeviceStateConnected, !goesDown);
        }
        QList<bool> kept;
        for (const HistoryReader::SlowChange& change : HistoryReader(QStringLiteral("History.sqlite"))
                                                           .slowChanges(ip, 0, QDateTime::currentMSecsSinceEpoch() + 1))
            kept << change.slow;
        QCOMPARE(kept, QList<bool>({true, false, true, false}));
    }

    // A new check's figures start afresh: the old check's loss says nothing of it.
    void figuresStartAfreshWithANewCheck()
    {
        const OwnFolder folder;
        QVERIFY(folder.entered());
        const QString ip = QStringLiteral("127.0.0.1");
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        Data data;
        DeviceEntry device(ip, QStringLiteral("Printer"), DeviceTypePC, true, NoReplyResult);
        device.check = DeviceCheck::arp();
        data.addEntry(device);
        HistoryRecorder recorder(QStringLiteral("History.sqlite"), Settings::instance(), data);
        for (int i = 0; i < 3; ++i)
            recorder.record({ip, now, ProbeResult::timeout(), device.check});
        QCOMPARE(recorder.statistics().lastHour(ip, now).sent, 3);
        data.changeEntry(ip, ip, true, device.description, device.type, DeviceCheck());
        QCOMPARE(recorder.statistics().lastHour(ip, now).sent, 0);
        recorder.record({ip, now, ProbeResult::reply(1ms), DeviceCheck()});
        QCOMPARE(recorder.statistics().lastHour(ip, now).lossPercent, 0.0);
    }

    // A device whose replies grow slow is told slow, in the log and in a message, and told
    // again when it recovers; one that goes down meanwhile is not judged.
    void coreTellsSlowDevicesAndTheirRecovery()
    {
        const OwnFolder folder;
        QVERIFY(folder.entered());
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
        NameResolver resolver;
        ProbeEngine engine(resolver);
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
        QList<bool> kept;
        for (const HistoryReader::SlowChange& change :
             HistoryReader(core.historyFile()).slowChanges(ip, 0, QDateTime::currentMSecsSinceEpoch() + 1))
            kept << change.slow;
        QCOMPARE(kept, QList<bool>({true, false}));
    }

    // A name that does not resolve is logged once with the resolver's reason, and again only
    // after it was heard meanwhile.
    void unresolvedNamesAreLoggedOnce()
    {
        const OwnFolder folder;
        QVERIFY(folder.entered());
        Settings& settings = Settings::instance();
        const Settings saved = settings;
        const auto restore = qScopeGuard([&settings, &saved] { settings.setEdited(settings, saved); });
        settings.set(&Settings::pingTimeGap, 0);
        enum Outcome { Unresolved, Unheard, Answered };
        std::atomic<Outcome> outcome{Unresolved};
        std::atomic<int> probes{0};
        MonitorCore::Options options;
        options.probe = [&](const QString&, int) {
            ++probes;
            switch (outcome.load()) {
            case Unresolved:
                return ProbeResult::unresolved(QStringLiteral("name not found"));
            case Unheard:
                return ProbeResult::timeout();
            case Answered:
                break;
            }
            return ProbeResult::reply(1ms);
        };
        NameResolver resolver;
        ProbeEngine engine(resolver);
        MonitorCore core(settings, engine, options);
        const QString name = QStringLiteral("nosuch.invalid");
        core.data().addEntry(DeviceEntry(name, QString(), DeviceTypePC, true, NoReplyResult));
        QStringList lines;
        connect(&core.announcer(), &Announcer::announced, this, [&lines](const Announcement& announcement) {
            if (announcement.what == Announcement::What::CannotProbe)
                lines << announcement.devices.first() + QLatin1Char(' ') + announcement.text;
        });
        core.start();
        // Told again once probes were heard, not after one that went unheard in between.
        for (const Outcome now : {Unresolved, Unheard, Unresolved, Answered, Unresolved}) {
            outcome = now;
            const int from = probes;
            QTRY_VERIFY(probes >= from + 3);
        }
        core.end();
        QCOMPARE(lines, QStringList(2, name + QStringLiteral(" cannot be probed: name not found")));
        QCOMPARE(core.data().entry(name).lastProbe.explanation(), QStringLiteral("name not found"));
    }

    // Slowness that goes on across restarts is told once; a recovery while Tarnwick was not
    // running is told at the next start.
    void slownessCarriesAcrossRestarts_data()
    {
        QTest::addColumn<QList<int>>("roundTripsMs"); // one run each
        QTest::addColumn<QStringList>("told");
        const QString slow = QStringLiteral("Device slow: 127.0.0.1 Printer: average 340 ms over the last 3 replies");
        const QString recovered = QStringLiteral("Device no longer slow: 127.0.0.1 Printer: average 2.0 ms, loss 0 % "
                                                 "over the last 3 probes (while Tarnwick was not running)");
        QTest::newRow("slow through three starts") << QList<int>{340, 340, 340} << QStringList{slow};
        QTest::newRow("recovered while not running") << QList<int>{340, 2, 2} << QStringList{slow, recovered};
        QTest::newRow("slow again") << QList<int>{340, 2, 340} << QStringList{slow, recovered, slow};
    }

    void slownessCarriesAcrossRestarts()
    {
        QFETCH(QList<int>, roundTripsMs);
        QFETCH(QStringList, told);
        const OwnFolder folder;
        QVERIFY(folder.entered());
        Settings& settings = Settings::instance();
        const Settings saved = settings;
        const auto restore = qScopeGuard([&settings, &saved] { settings.setEdited(settings, saved); });
        settings.set(&Settings::pingTimeGap, 0);
        settings.set(&Settings::slowAverageMs, 250);
        settings.set(&Settings::slowResults, 3);
        const QString ip = QStringLiteral("127.0.0.1");
        QStringList messages;
        QStringList stillSlow;
        for (const int roundTripMs : roundTripsMs) {
            MonitorCore::Options options;
            options.probe = [roundTripMs](const QString&, int) {
                return ProbeResult::reply(std::chrono::milliseconds(roundTripMs));
            };
            NameResolver resolver;
            ProbeEngine engine(resolver);
            MonitorCore core(settings, engine, options);
            if (!core.data().contains(ip))
                core.data().addEntry(DeviceEntry(ip, QStringLiteral("Printer"), DeviceTypePC, true, NoReplyResult));
            connect(&core.announcer(), &Announcer::announced, this, [&](const Announcement& announcement) {
                if (announcement.what == Announcement::What::Alert && announcement.kind != Announcement::Kind::State)
                    messages << announcement.title + QStringLiteral(": ") + announcement.text;
                if (announcement.what == Announcement::What::SlowChanged && announcement.text.startsWith("is still"))
                    stillSlow << announcement.text;
            });
            QSignalSpy judged(&core.slowWatch(), &SlowWatch::judgedNotSlow);
            core.start();
            QTRY_VERIFY(core.slowWatch().isSlow(ip) || !judged.isEmpty());
            core.end();
        }
        QCOMPARE(messages, told);
        QCOMPARE(stillSlow.size(), int(roundTripsMs.count(340)) - int(told.count(told.first())));
    }

    // New limits drop a slow device's judgement without a recovery: its slow period ends in the
    // history all the same, rather than staying open until it goes down.
    void slowPeriodsEndWithNewLimits_data()
    {
        QTest::addColumn<bool>("ownLimit");
        QTest::newRow("the settings' limit raised") << false;
        QTest::newRow("the device's own limit raised") << true;
    }

    void slowPeriodsEndWithNewLimits()
    {
        QFETCH(bool, ownLimit);
        const OwnFolder folder;
        QVERIFY(folder.entered());
        Settings& settings = Settings::instance();
        const Settings saved = settings;
        const auto restore = qScopeGuard([&settings, &saved] { settings.setEdited(settings, saved); });
        settings.set(&Settings::pingTimeGap, 0);
        settings.set(&Settings::slowAverageMs, 250);
        settings.set(&Settings::slowResults, 3);
        MonitorCore::Options options;
        options.probe = [](const QString&, int) { return ProbeResult::reply(std::chrono::milliseconds(340)); };
        NameResolver resolver;
        ProbeEngine engine(resolver);
        MonitorCore core(settings, engine, options);
        const QString ip = QStringLiteral("127.0.0.1");
        core.data().addEntry(DeviceEntry(ip, QStringLiteral("Printer"), DeviceTypePC, true, NoReplyResult));
        Data::setInstance(&core.data());
        const auto unpublish = qScopeGuard([] { Data::setInstance(nullptr); });
        core.start();
        QTRY_VERIFY(core.slowWatch().isSlow(ip));
        if (ownLimit)
            core.data().changeEntry(ip, ip, true, QStringLiteral("Printer"), DeviceTypePC, std::nullopt,
                                    DeviceEntry::SlowLimits{.averageMs = 1000, .lossPercent = {}, .results = {}});
        else
            settings.set(&Settings::slowAverageMs, 1000);
        QTRY_VERIFY(!core.slowWatch().isSlow(ip));
        core.end();
        QList<bool> kept;
        for (const HistoryReader::SlowChange& change :
             HistoryReader(core.historyFile()).slowChanges(ip, 0, QDateTime::currentMSecsSinceEpoch() + 1))
            kept << change.slow;
        QCOMPARE(kept, QList<bool>({true, false}));
    }
};

QTEST_GUILESS_MAIN(TestMonitor)
#include "tst_monitor.moc"
