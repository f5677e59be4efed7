// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/Data.h"
#include "data/ProbeRecord.h"
#include "data/Settings.h"
#include "monitor/SlowRule.h"
#include "monitor/SlowWatch.h"

#include <QSignalSpy>
#include <QTest>

#include <optional>

using namespace Tarnwick;
using namespace std::chrono_literals;

class TestSlowRule : public QObject
{
    Q_OBJECT

private slots:
    // Results are round trips in milliseconds, "X" (no reply) or "P" (present by ARP alone); after each, "S" when the
    // device becomes slow, "R" when it recovers, "." otherwise.
    void judgesThresholdsWithHysteresis_data()
    {
        QTest::addColumn<int>("averageMs");
        QTest::addColumn<int>("lossPercent");
        QTest::addColumn<int>("window");
        QTest::addColumn<QString>("results");
        QTest::addColumn<QString>("expected");

        QTest::newRow("both off") << 0 << 0 << 1 << "900 X 900"
                                  << "...";
        QTest::newRow("judged once the window is full") << 10 << 0 << 3 << "100 100 100"
                                                        << "..S";
        QTest::newRow("the line itself is not over it") << 10 << 0 << 2 << "10 10 10 11"
                                                        << "...S";
        QTest::newRow("leaves at 80 % of the line") << 10 << 0 << 1 << "11 9 8 7"
                                                    << "S.R.";
        QTest::newRow("near the line does not flap") << 10 << 0 << 1 << "11 9 11 9 12 9"
                                                     << "S.....";
        QTest::newRow("average of the replies only") << 10 << 0 << 3 << "5 X 5 X X"
                                                     << ".....";
        QTest::newRow("no replies, no average") << 10 << 0 << 2 << "X X X"
                                                << "...";
        QTest::newRow("loss at the line") << 0 << 20 << 5 << "1 X 1 1 1"
                                          << ".....";
        QTest::newRow("loss over and back below 80 %") << 0 << 20 << 5 << "1 X X 1 1 1 1 1 1"
                                                       << "....S..R.";
        QTest::newRow("present without echo reply is not judged") << 10 << 20 << 3 << "1 P P 1 P 1"
                                                                  << "......";
        QTest::newRow("stays while either is over") << 10 << 20 << 5 << "20 X X 9 9 9 9 9"
                                                    << "....S...";
        QTest::newRow("recovers when both are under") << 10 << 20 << 2 << "20 20 1 1"
                                                      << ".S.R";
    }

    void judgesThresholdsWithHysteresis()
    {
        QFETCH(int, averageMs);
        QFETCH(int, lossPercent);
        QFETCH(int, window);
        QFETCH(QString, results);
        QFETCH(QString, expected);
        SlowRule rule({averageMs, lossPercent, window});
        QString seen;
        for (const QString& step : results.split(QLatin1Char(' '))) {
            const ProbeResult result = step == QLatin1String("X") ? ProbeResult::timeout()
                : step == QLatin1String("P")                      ? ProbeResult{ProbeResult::Present}
                                             : ProbeResult::reply(std::chrono::milliseconds(step.toInt()));
            const auto change = rule.take(result);
            seen += !change ? QLatin1Char('.') : change->slow ? QLatin1Char('S') : QLatin1Char('R');
            if (change)
                QCOMPARE(change->slow, rule.slow());
        }
        QCOMPARE(seen, expected);
    }

    void figuresTellWhatDecided()
    {
        SlowRule rule({100, 50, 4});
        for (const int ms : {300, 300, 400})
            QVERIFY(!rule.take(ProbeResult::reply(std::chrono::milliseconds(ms))));
        const auto slow = rule.take(ProbeResult::timeout());
        QVERIFY(slow);
        QVERIFY(slow->byAverage);
        QCOMPARE(slow->averageMs, 333.0 + 1.0 / 3);
        QCOMPARE(slow->replies, 3);
        QCOMPARE(slow->results, 4);
        QCOMPARE(slow->lossPercent, 25);
        // New limits start from nothing, quietly.
        rule.reset({100, 50, 1});
        QVERIFY(!rule.slow());
        QVERIFY(!rule.take(ProbeResult::reply(5ms)));
    }

    // Settings of 250 ms or 50 % over 3 results (or off), the device at 150 ms with one reply in
    // three missed, judged by the limits it has of its own where it has them.
    void eachDeviceIsJudgedByItsOwnLimits_data()
    {
        using Limit = std::optional<int>;
        QTest::addColumn<bool>("settingsOn");
        QTest::addColumn<DeviceEntry::SlowLimits>("own");
        QTest::addColumn<bool>("slow");
        QTest::newRow("the settings") << true << DeviceEntry::SlowLimits{} << false;
        QTest::newRow("a lower average") << true << DeviceEntry::SlowLimits{100, Limit(), Limit()} << true;
        QTest::newRow("a lower loss") << true << DeviceEntry::SlowLimits{Limit(), 20, Limit()} << true;
        QTest::newRow("loss off, average lower") << true << DeviceEntry::SlowLimits{100, 0, Limit()} << true;
        QTest::newRow("more results than given") << true << DeviceEntry::SlowLimits{100, 20, 4} << false;
        QTest::newRow("settings off, none of its own") << false << DeviceEntry::SlowLimits{} << false;
        QTest::newRow("settings off, an average of its own")
            << false << DeviceEntry::SlowLimits{100, Limit(), Limit()} << true;
    }

    void eachDeviceIsJudgedByItsOwnLimits()
    {
        QFETCH(bool, settingsOn);
        QFETCH(DeviceEntry::SlowLimits, own);
        QFETCH(bool, slow);
        Settings settings;
        settings.slowAverageMs = settingsOn ? 250 : 0;
        settings.slowLossPercent = settingsOn ? 50 : 0;
        settings.slowResults = 3;
        Data data;
        // The device comes after the watch, as one the user adds does.
        SlowWatch watch(data, settings);
        QSignalSpy changed(&watch, &SlowWatch::slowChanged);
        QSignalSpy slowness(&watch, &SlowWatch::slownessChanged);
        const QString ip = QStringLiteral("10.0.0.5");
        DeviceEntry device(ip, QStringLiteral("Printer"), DeviceTypePC, true, NoReplyResult);
        device.slowLimits = own;
        data.addEntry(device);
        data.setPingResults({{ip, 0, ProbeResult::reply(150ms)}});
        QCOMPARE(data.entry(ip).state, int(DeviceStateConnected));
        for (const ProbeResult& result : {ProbeResult::reply(150ms), ProbeResult::timeout(), ProbeResult::reply(150ms)})
            watch.record({ProbeRecord{ip, 0, result}});
        QCOMPARE(watch.isSlow(ip), slow);
        QCOMPARE(changed.size(), slow ? 1 : 0);

        // Its own limits taken away: judged by the settings again, at once, without a result.
        data.changeEntry(ip, ip, true, device.description, device.type, std::nullopt, DeviceEntry::SlowLimits{});
        QVERIFY(!watch.isSlow(ip));
        QCOMPARE(slowness.size(), slow ? 2 : 0);
    }
};

QTEST_GUILESS_MAIN(TestSlowRule)
#include "tst_slowrule.moc"
