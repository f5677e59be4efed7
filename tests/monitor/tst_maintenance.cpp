// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/Data.h"
#include "data/MaintenanceList.h"
#include "data/Settings.h"
#include "data/VisualRepresentationData.h"
#include "monitor/Announcer.h"
#include "monitor/ReachabilityWatcher.h"

#include "../common/TestFiles.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Tarnwick;
using namespace std::chrono_literals;

namespace {

// Local time. The dates lie in June and December, away from any change to or from summer time.
QDateTime local(const char* text)
{
    return QDateTime::fromString(QString::fromLatin1(text), QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

MaintenanceWindow weekly(int days, QTime start, QTime end, const QString& ip = {})
{
    MaintenanceWindow window;
    window.ip = ip;
    window.repeat = MaintenanceWindow::Repeat::Weekly;
    window.days = days;
    window.start = start;
    window.end = end;
    return window;
}

MaintenanceWindow once(const char* from, const char* to)
{
    MaintenanceWindow window;
    window.from = local(from);
    window.to = local(to);
    return window;
}

constexpr int Monday = 1 << 0;
constexpr int Friday = 1 << 4;
constexpr int Sunday = 1 << 6;

} // namespace

Q_DECLARE_METATYPE(Tarnwick::MaintenanceWindow)

class TestMaintenance : public QObject
{
    Q_OBJECT

private slots:
    // 2026-06-07 is a Sunday.
    void windowsCoverTheirTimesAndSayWhenThatChanges_data()
    {
        QTest::addColumn<MaintenanceWindow>("window");
        QTest::addColumn<QDateTime>("at");
        QTest::addColumn<bool>("covers");
        QTest::addColumn<QDateTime>("next");
        QTest::addColumn<QString>("said"); // text(), or problem() where there is one

        const MaintenanceWindow sunday = weekly(Sunday, QTime(2, 0), QTime(4, 0));
        const QString sundays = QStringLiteral("Sundays 02:00–04:00");
        QTest::newRow("weekly, inside") << sunday << local("2026-06-07 03:00:00.000") << true
                                        << local("2026-06-07 04:00:00.000") << sundays;
        QTest::newRow("weekly, at its end")
            << sunday << local("2026-06-07 04:00:00.000") << false << local("2026-06-14 02:00:00.000") << sundays;
        QTest::newRow("weekly, another day")
            << sunday << local("2026-06-08 03:00:00.000") << false << local("2026-06-14 02:00:00.000") << sundays;
        const MaintenanceWindow nights = weekly(Monday | Friday, QTime(22, 0), QTime(6, 0));
        const QString nightsSaid = QStringLiteral("Mondays, Fridays 22:00–06:00");
        QTest::newRow("past midnight, the evening")
            << nights << local("2026-06-05 23:00:00.000") << true << local("2026-06-06 06:00:00.000") << nightsSaid;
        QTest::newRow("past midnight, the next morning")
            << nights << local("2026-06-06 05:59:00.000") << true << local("2026-06-06 06:00:00.000") << nightsSaid;
        QTest::newRow("past midnight, no night before")
            << nights << local("2026-06-08 05:00:00.000") << false << local("2026-06-08 22:00:00.000") << nightsSaid;
        QTest::newRow("every day") << weekly(0x7f, QTime(22, 0), QTime(6, 0)) << local("2026-06-08 05:00:00.000")
                                   << true << local("2026-06-08 06:00:00.000")
                                   << QStringLiteral("Every day 22:00–06:00");
        const MaintenanceWindow december = once("2026-12-10 02:00:00.000", "2026-12-10 04:00:00.000");
        const QString decemberSaid = QStringLiteral("10 Dec 2026 02:00 – 10 Dec 2026 04:00");
        QTest::newRow("once, before") << december << local("2026-12-01 00:00:00.000") << false
                                      << local("2026-12-10 02:00:00.000") << decemberSaid;
        QTest::newRow("once, inside") << december << local("2026-12-10 02:00:00.000") << true
                                      << local("2026-12-10 04:00:00.000") << decemberSaid;
        QTest::newRow("once, over") << december << local("2026-12-10 04:00:00.000") << false << QDateTime()
                                    << decemberSaid;
        QTest::newRow("weekly without a day")
            << weekly(0, QTime(2, 0), QTime(4, 0)) << local("2026-06-07 03:00:00.000") << false << QDateTime()
            << QStringLiteral("Choose at least one day of the week.");
        QTest::newRow("weekly, ending as it starts")
            << weekly(Sunday, QTime(2, 0), QTime(2, 0)) << local("2026-06-07 02:00:00.000") << false << QDateTime()
            << QStringLiteral("The start and the end time must differ.");
        QTest::newRow("once, ending before it starts")
            << once("2026-12-10 04:00:00.000", "2026-12-10 02:00:00.000") << local("2026-12-10 03:00:00.000") << false
            << QDateTime() << QStringLiteral("The end must be after the start.");
    }

    void windowsCoverTheirTimesAndSayWhenThatChanges()
    {
        QFETCH(MaintenanceWindow, window);
        QFETCH(QDateTime, at);
        QFETCH(bool, covers);
        QFETCH(QDateTime, next);
        QFETCH(QString, said);
        QCOMPARE(window.covers(at), covers);
        QCOMPARE(window.covers(at.toUTC()), covers);
        QCOMPARE(window.nextChangeAfter(at), next);
        QCOMPARE(window.problem().isEmpty() ? window.text() : window.problem(), said);
    }

    // Windows are saved as they change and read by the next run with the same ids; an entry
    // that cannot be used is told, applies to nothing, and stays in the file as it was.
    void windowsOutliveARestart()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString file = dir.filePath(QStringLiteral("Maintenance.xml"));
        TestFiles::writeFile(file,
                             "<Maintenance><Window Repeat=\"Monthly\" Days=\"Sunday\"/>"
                             "<Window Address=\"10.0.0.1\" Repeat=\"Weekly\" Days=\"Sunday Monday\" "
                             "Start=\"02:00\" End=\"04:00\"/></Maintenance>");
        const QDateTime now = local("2026-06-01 12:00:00.000");
        QStringList reported;
        const auto report = [&reported](const QString& text) { reported << text; };
        MaintenanceList first;
        first.setClock([now] { return now; });
        first.load(file, report);
        QCOMPARE(reported.size(), 1);
        QVERIFY2(reported[0].contains(QStringLiteral("\"Monthly\"")), qPrintable(reported[0]));
        QCOMPARE(first.windows().size(), 1);
        QVERIFY(first.add(once("2026-12-10 04:00:00.000", "2026-12-10 02:00:00.000")).isEmpty());
        const QString december = first.add(once("2026-12-10 02:00:00.000", "2026-12-10 04:00:00.000"));
        QVERIFY(!december.isEmpty());
        QVERIFY(first.add(first.windows().first()).isEmpty());
        QVERIFY(first.remove(first.add(weekly(Friday, QTime(1, 0), QTime(2, 0), QStringLiteral("10.0.0.2")))));
        QVERIFY(!first.remove(QStringLiteral("no such window")));

        MaintenanceList again;
        again.setClock([now] { return now; });
        reported.clear();
        again.load(file, report);
        QCOMPARE(again.windows(), first.windows());
        QCOMPARE(again.windows().last().id, december);
        QCOMPARE(reported.size(), 1);
    }

    // Inside a window a device makes no messages; at the window's end the last message held back
    // of each kind is told if it still holds. Tokens: "up", "down" (results), "slow", "fast"
    // (judgements).
    void messagesWaitForTheWindowsEnd_data()
    {
        QTest::addColumn<QString>("whose"); // "device", "all" or "other"
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("inside");
        QTest::addColumn<QStringList>("told"); // from the window's start on
        const QString atEnd = QStringLiteral(" at the end");
        QTest::newRow("down, still down at the end") << "device"
                                                     << "up"
                                                     << "down" << QStringList{"Device Disconnected" + atEnd};
        QTest::newRow("down and back") << "device"
                                       << "up"
                                       << "down up" << QStringList();
        QTest::newRow("down before, back inside") << "device"
                                                  << "up down"
                                                  << "up" << QStringList{"Device connected" + atEnd};
        QTest::newRow("back and down again") << "device"
                                             << "up down"
                                             << "up down" << QStringList();
        QTest::newRow("slow, still slow at the end") << "device"
                                                     << "up"
                                                     << "slow" << QStringList{"Device slow" + atEnd};
        QTest::newRow("slow and recovered") << "device"
                                            << "up"
                                            << "slow fast" << QStringList();
        QTest::newRow("every device's window") << "all"
                                               << "up"
                                               << "down" << QStringList{"Device Disconnected" + atEnd};
        QTest::newRow("another device's window") << "other"
                                                 << "up"
                                                 << "down" << QStringList{"Device Disconnected"};
    }

    void messagesWaitForTheWindowsEnd()
    {
        QFETCH(QString, whose);
        QFETCH(QString, before);
        QFETCH(QString, inside);
        QFETCH(QStringList, told);
        const QString ip = QStringLiteral("127.0.0.7");
        MaintenanceList maintenance;
        // A clock that runs on from wherever the test puts it.
        QDateTime base;
        QElapsedTimer running;
        const auto setNow = [&](const QDateTime& at) {
            base = at;
            running.start();
            maintenance.setClock([&] { return base.addMSecs(running.elapsed()); });
        };
        setNow(local("2026-06-07 01:59:59.400"));
        const QString windowIp = whose == QLatin1String("all") ? QString()
            : whose == QLatin1String("other")                  ? QStringLiteral("127.0.0.8")
                                                               : ip;
        QVERIFY(!maintenance.add(weekly(Sunday, QTime(2, 0), QTime(4, 0), windowIp)).isEmpty());

        Data data;
        data.addEntry(DeviceEntry(ip, QString(), DeviceTypePC, true, NoReplyResult));
        data.awaitFirstResults();
        VisualRepresentationData map;
        ReachabilityWatcher reachability(data, map, Settings::instance());
        Announcer announcer(data, Settings::instance(), reachability);
        announcer.setMaintenance(&maintenance);
        QStringList messages;
        int lines = 0;
        connect(&announcer, &Announcer::announced, this, [&](const Announcement& announcement) {
            if (announcement.what != Announcement::What::Alert) {
                ++lines;
                return;
            }
            const bool atEnd = announcement.text.endsWith(QStringLiteral(" (during maintenance)"));
            messages << announcement.title + (atEnd ? QStringLiteral(" at the end") : QString());
        });
        const auto act = [&](const QString& tokens) {
            for (const QString& token : tokens.split(QLatin1Char(' '))) {
                if (token == QLatin1String("up") || token == QLatin1String("down"))
                    data.setPingResults(
                        {{ip, 0, token == QLatin1String("up") ? ProbeResult::reply(1ms) : ProbeResult::timeout()}});
                else
                    announcer.slowChanged(data.entry(ip), {.slow = token == QLatin1String("slow")});
            }
        };
        act(before);
        const QString covered = windowIp.isEmpty() ? ip : windowIp;
        QTRY_VERIFY(maintenance.inMaintenance(covered));
        const qsizetype toldBefore = messages.size();
        const int linesBefore = lines;
        act(inside);
        // Logged as ever: each token is a change.
        QCOMPARE(lines - linesBefore, int(inside.split(QLatin1Char(' ')).size()));
        setNow(local("2026-06-07 03:59:59.400"));
        QSignalSpy changed(&maintenance, &MaintenanceList::changed);
        QTRY_COMPARE(changed.count(), 1);
        QVERIFY(!maintenance.inMaintenance(covered));
        QCOMPARE(messages.mid(toldBefore), told);
    }
};

QTEST_GUILESS_MAIN(TestMaintenance)
#include "tst_maintenance.moc"
