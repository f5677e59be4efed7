// SPDX-License-Identifier: GPL-3.0-or-later
#include "api/StateSince.h"
#include "data/Data.h"

#include <QDateTime>
#include <QTemporaryDir>
#include <QTest>

#include "../common/TestFiles.h"

using namespace Tarnwick;
using namespace std::chrono_literals;

// Since when each device is in its state, as the store's announcements tell it; there is no
// history, so a first result starts its state.
class TestStateSince : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    static void answer(Data& data, const QString& ip, bool answered)
    {
        data.setPingResults({{ip, 0, answered ? ProbeResult::reply(2ms) : ProbeResult::timeout()}});
    }

private slots:
    void init() { TestFiles::enterEmpty(m_dir); }

    // Steps, each with the devices that must then have a time, and whether the last step moved
    // the time of "a" (false: it stays as it was).
    void sinceFollowsTheStore_data()
    {
        QTest::addColumn<bool>("awaitFirst");
        QTest::addColumn<bool>("startedAfterResults");
        QTest::addColumn<QString>("step");
        QTest::addColumn<QStringList>("known");
        QTest::addColumn<bool>("aMoved");
        const QStringList ab{"a", "b"};
        QTest::addRow("first results") << true << false << "" << ab << true;
        QTest::addRow("started after results") << true << true << "" << ab << true;
        QTest::addRow("a result that changes nothing") << true << true << "same" << ab << false;
        QTest::addRow("a change of state") << true << true << "down" << ab << true;
        QTest::addRow("a new address") << true << true << "readdress" << QStringList{"b", "c"} << false;
        QTest::addRow("added, awaiting its first result") << true << true << "add" << ab << false;
        QTest::addRow("added while none are awaited") << false << false << "add" << QStringList{"a", "b", "d"} << false;
        QTest::addRow("removed") << true << true << "remove" << QStringList{"b"} << false;
    }
    void sinceFollowsTheStore()
    {
        QFETCH(bool, awaitFirst);
        QFETCH(bool, startedAfterResults);
        QFETCH(QString, step);
        QFETCH(QStringList, known);
        QFETCH(bool, aMoved);
        Data data;
        for (const char* ip : {"a", "b"})
            data.addEntry(DeviceEntry(QString::fromLatin1(ip), {}, 0, false, {}));
        if (awaitFirst)
            data.awaitFirstResults();
        std::unique_ptr<StateSince> since;
        if (!startedAfterResults)
            since = std::make_unique<StateSince>(data, QStringLiteral("History.sqlite"));
        answer(data, QStringLiteral("a"), true);
        answer(data, QStringLiteral("b"), false);
        if (startedAfterResults)
            since = std::make_unique<StateSince>(data, QStringLiteral("History.sqlite"));
        const std::optional<qint64> before = since->sinceMs(QStringLiteral("a"));
        QVERIFY(before);
        // A later time shows as such.
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        QTRY_VERIFY(QDateTime::currentMSecsSinceEpoch() > now);
        if (step == QLatin1String("same") || step == QLatin1String("down"))
            answer(data, QStringLiteral("a"), step == QLatin1String("same"));
        else if (step == QLatin1String("readdress"))
            data.changeEntry(QStringLiteral("a"), QStringLiteral("c"), false, {}, 0);
        else if (step == QLatin1String("add"))
            data.addEntry(DeviceEntry(QStringLiteral("d"), {}, 0, false, {}));
        else if (step == QLatin1String("remove"))
            data.removeEntry(QStringLiteral("a"));
        QStringList have;
        for (const char* ip : {"a", "b", "c", "d"}) {
            if (since->sinceMs(QString::fromLatin1(ip)))
                have << QString::fromLatin1(ip);
        }
        QCOMPARE(have, known);
        if (!step.isEmpty() && known.contains(QStringLiteral("a")))
            QCOMPARE(*since->sinceMs(QStringLiteral("a")) > *before, aMoved);
    }
};

QTEST_GUILESS_MAIN(TestStateSince)
#include "tst_statesince.moc"
