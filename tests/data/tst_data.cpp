// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/Data.h"
#include "data/DeviceAddedEvent.h"
#include "data/DeviceEntryChangedEvent.h"
#include "data/DeviceRemovedEvent.h"
#include "data/Settings.h"
#include "data/SlottedHash.h"

#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <atomic>

using namespace std::chrono_literals;

using namespace Tarnwick;

namespace {

DeviceEntry makeEntry(const QString& ip, const QString& description = QString(), int type = DeviceTypePC)
{
    return DeviceEntry(ip, description, type, false, NoReplyResult);
}

QStringList addressesOf(const QList<DeviceEntry>& entries)
{
    QStringList result;
    for (const DeviceEntry& e : entries)
        result << e.ip;
    return result;
}

// Records what the events carried while they were valid.
class Recorder : public QObject
{
    Q_OBJECT
public:
    QList<DeviceEntry> added, removed, newEntries, oldEntries;

public slots:
    void DeviceAdded(Tarnwick::DeviceAddedEvent* pEvent) { added << pEvent->entry(); }
    void DeviceRemoved(Tarnwick::DeviceRemovedEvent* pEvent) { removed << pEvent->entry(); }
    void DeviceEntryChanged(Tarnwick::DeviceEntryChangedEvent* pEvent)
    {
        newEntries << pEvent->newEntry();
        oldEntries << pEvent->oldEntry();
    }
};

} // namespace

class TestData : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        QCoreApplication::processEvents();
        QCOMPARE(StoreEvent::liveCount(), 0);
    }

    void newEntryIsDisconnectedWithX()
    {
        const DeviceEntry e = makeEntry(QStringLiteral("host"));
        QCOMPARE(e.state, int(DeviceStateDisconnected));
        QCOMPARE(e.pingResult, QStringLiteral("X"));
    }

    void addDropsDuplicateAddresses()
    {
        Data data;
        Recorder recorder;
        data.connectReceiver(&recorder);
        data.addEntry(makeEntry(QStringLiteral("127.0.0.1"), QStringLiteral("first")));
        data.addEntry(makeEntry(QStringLiteral("127.0.0.1"), QStringLiteral("second")));
        data.addEntry(makeEntry(QStringLiteral("127.0.0.01")));
        data.addEntry(makeEntry(QStringLiteral("Host")));
        data.addEntry(makeEntry(QStringLiteral("host")));
        QCOMPARE(addressesOf(data.entries()), QStringList({"127.0.0.1", "127.0.0.01", "Host", "host"}));
        QCOMPARE(data.entries().first().description, QStringLiteral("first"));
        QCOMPARE(recorder.added.size(), 4);
        QCOMPARE(recorder.added.first().description, QStringLiteral("first"));
    }

    void removeKeepsOrderAndIgnoresUnknown()
    {
        Data data;
        Recorder recorder;
        data.connectReceiver(&recorder);
        for (const char* ip : {"a", "b", "c"})
            data.addEntry(makeEntry(QString::fromLatin1(ip), QStringLiteral("d-") + QLatin1String(ip)));
        data.removeEntry(QStringLiteral("B"));
        QVERIFY(recorder.removed.isEmpty());
        data.removeEntry(QStringLiteral("b"));
        QCOMPARE(addressesOf(data.entries()), QStringList({"a", "c"}));
        QCOMPARE(recorder.removed.size(), 1);
        QCOMPARE(recorder.removed.first().description, QStringLiteral("d-b"));
    }

    void changeOverwritesUserFieldsOnly()
    {
        Data data;
        Recorder recorder;
        data.addEntry(makeEntry(QStringLiteral("a"), QStringLiteral("old"), DeviceTypePC));
        data.addEntry(makeEntry(QStringLiteral("b")));
        data.setPingResults({{QStringLiteral("a"), 0, ProbeResult::reply(7ms)}});
        data.connectReceiver(&recorder);

        data.changeEntry(QStringLiteral("missing"), QStringLiteral("x"), true, QStringLiteral("d"), 1);
        QVERIFY(recorder.newEntries.isEmpty());

        data.changeEntry(QStringLiteral("a"), QStringLiteral("a"), true, QStringLiteral("new"), DeviceTypeRouter);
        QCOMPARE(recorder.newEntries.size(), 1);
        const DeviceEntry after = recorder.newEntries.first();
        const DeviceEntry before = recorder.oldEntries.first();
        QCOMPARE(before.description, QStringLiteral("old"));
        QCOMPARE(before.type, int(DeviceTypePC));
        QCOMPARE(after.description, QStringLiteral("new"));
        QCOMPARE(after.type, int(DeviceTypeRouter));
        QVERIFY(after.informOnStateChange);
        QCOMPARE(after.state, int(DeviceStateConnected));
        QCOMPARE(after.pingResult, QStringLiteral("7"));
        QCOMPARE(data.entry(QStringLiteral("a")), after);
    }

    void reAddressingMayDuplicateAndLookupFindsEarlier()
    {
        Data data;
        data.addEntry(makeEntry(QStringLiteral("a"), QStringLiteral("first")));
        data.addEntry(makeEntry(QStringLiteral("b"), QStringLiteral("second")));
        data.changeEntry(QStringLiteral("b"), QStringLiteral("a"), false, QStringLiteral("second"), 3);
        QCOMPARE(addressesOf(data.entries()), QStringList({"a", "a"}));
        QCOMPARE(data.entry(QStringLiteral("a")).description, QStringLiteral("first"));
        data.setPingResults({{QStringLiteral("a"), 0, ProbeResult::reply(5ms)}});
        QCOMPARE(data.entries().at(0).pingResult, QStringLiteral("5"));
        QCOMPARE(data.entries().at(1).pingResult, QStringLiteral("X"));
    }

    // The store makes the result's text once, from the outcome it keeps beside it: whole
    // milliseconds (cut, not rounded, as the list has always shown them), hundredths under one
    // millisecond (never "0.00", which would read as nothing), or "X".
    void pingResultSetsTextAndState_data()
    {
        QTest::addColumn<ProbeResult>("result");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("state");
        QTest::newRow("reply") << ProbeResult::reply(12'999us) << "12" << int(DeviceStateConnected);
        QTest::newRow("under a millisecond") << ProbeResult::reply(400us) << "0.40" << int(DeviceStateConnected);
        QTest::newRow("loopback") << ProbeResult::reply(30us) << "0.03" << int(DeviceStateConnected);
        QTest::newRow("just under one") << ProbeResult::reply(999us) << "0.99" << int(DeviceStateConnected);
        QTest::newRow("a few microseconds") << ProbeResult::reply(4us) << "0.01" << int(DeviceStateConnected);
        QTest::newRow("just under a second") << ProbeResult::reply(999'999us) << "999" << int(DeviceStateConnected);
        QTest::newRow("a second") << ProbeResult::reply(1'000'000us) << "1000" << int(DeviceStateConnected);
        QTest::newRow("over an int of ms")
            << ProbeResult::reply(3'000'000'000'000us) << "3000000000" << int(DeviceStateConnected);
        QTest::newRow("no reply") << ProbeResult::timeout() << "X" << int(DeviceStateDisconnected);
        QTest::newRow("socket error") << ProbeResult::socketError() << "X" << int(DeviceStateDisconnected);
        QTest::newRow("answers ARP alone")
            << ProbeResult{ProbeResult::Present} << "Present" << int(DeviceStateConnected);
    }

    void pingResultSetsTextAndState()
    {
        QFETCH(ProbeResult, result);
        QFETCH(QString, text);
        QFETCH(int, state);
        Data data;
        data.addEntry(makeEntry(QStringLiteral("a")));
        data.setPingResults({{QStringLiteral("a"), 0, result}});
        const DeviceEntry e = data.entry(QStringLiteral("a"));
        QCOMPARE(e.state, state);
        QCOMPARE(e.pingResult, text);
        QVERIFY(e.lastProbe == result);
    }

    // A device changes state only after N missed replies in a row, or M replies in a row; its
    // result text shows every result all the same.
    void thresholdsDecideTheState_data()
    {
        QTest::addColumn<int>("disconnectAfter");
        QTest::addColumn<int>("connectAfter");
        QTest::addColumn<QString>("results");
        QTest::addColumn<QString>("states");
        QTest::newRow("every result decides") << 1 << 1 << "5 X 5"
                                              << "1 2 1";
        QTest::newRow("two misses to go down") << 2 << 1 << "5 X 5 X X 5"
                                               << "1 1 1 1 2 1";
        QTest::newRow("alternating never goes down") << 2 << 1 << "5 X 5 X 5 X"
                                                     << "1 1 1 1 1 1";
        QTest::newRow("three replies to come back") << 1 << 3 << "X 5 5 X 5 5 5"
                                                    << "2 2 2 2 2 2 1";
    }

    void thresholdsDecideTheState()
    {
        QFETCH(int, disconnectAfter);
        QFETCH(int, connectAfter);
        QFETCH(QString, results);
        QFETCH(QString, states);
        Settings settings;
        settings.disconnectAfter = disconnectAfter;
        settings.connectAfter = connectAfter;
        Data data;
        data.setSettings(&settings);
        data.addEntry(makeEntry(QStringLiteral("a")));
        QStringList seen;
        for (const QString& result : results.split(QLatin1Char(' '))) {
            data.setPingResults({{QStringLiteral("a"), 0,
                                  result == QLatin1String("X") ? ProbeResult::timeout() : ProbeResult::reply(5ms)}});
            QCOMPARE(data.entry(QStringLiteral("a")).pingResult, result);
            seen << QString::number(data.entry(QStringLiteral("a")).state);
        }
        QCOMPARE(seen.join(QLatin1Char(' ')), states);
    }

    void everyPingResultIsAnnounced()
    {
        Data data;
        Recorder recorder;
        data.addEntry(makeEntry(QStringLiteral("a")));
        data.connectReceiver(&recorder);
        data.setPingResults({{QStringLiteral("a"), 0, ProbeResult::reply(3ms)}});
        data.setPingResults({{QStringLiteral("a"), 0, ProbeResult::reply(3ms)}});
        data.setPingResults({{QStringLiteral("gone"), 0, ProbeResult::reply(3ms)}});
        QCOMPARE(recorder.newEntries.size(), 2);
        QCOMPARE(recorder.oldEntries.at(0).state, int(DeviceStateDisconnected));
        QCOMPARE(recorder.newEntries.at(0).state, int(DeviceStateConnected));
        QCOMPARE(recorder.oldEntries.at(1).state, recorder.newEntries.at(1).state);
    }

    void lookupOfMissingAddressGivesDefaultEntry()
    {
        Data data;
        data.addEntry(makeEntry(QStringLiteral("a")));
        const DeviceEntry e = data.entry(QStringLiteral("A"));
        QVERIFY(e.ip.isEmpty());
        QVERIFY(e.description.isEmpty());
        QVERIFY(e.pingResult.isEmpty());
        QCOMPARE(e.type, 0);
        QCOMPARE(e.state, 0);
        QVERIFY(!e.informOnStateChange);
    }

    void queuedReceiversReadValidRecordsAndRecordsAreReleased()
    {
        Data data;
        Recorder direct;
        Recorder queued;
        data.connectReceiver(&direct);
        data.connectReceiver(&queued, Qt::QueuedConnection);
        data.addEntry(makeEntry(QStringLiteral("a")));
        data.setPingResults({{QStringLiteral("a"), 0, ProbeResult::reply(1ms)}});
        data.removeEntry(QStringLiteral("a"));
        QCOMPARE(direct.added.size(), 1);
        QVERIFY(queued.added.isEmpty());
        QCOMPARE(StoreEvent::liveCount(), 3);
        QCoreApplication::processEvents();
        QCOMPARE(queued.added.size(), 1);
        QCOMPARE(queued.newEntries.first().pingResult, QStringLiteral("1"));
        QCOMPARE(queued.removed.first().ip, QStringLiteral("a"));
        QCOMPARE(StoreEvent::liveCount(), 0);
    }

    // The monitor's results taken as one batch on the store's thread: announced one by one in
    // their order, to receivers that run at once and may read the store, and released together.
    void aBatchOfResultsIsAnnouncedInOrder()
    {
        Data data;
        data.addEntry(makeEntry(QStringLiteral("a")));
        data.addEntry(makeEntry(QStringLiteral("b")));
        Recorder recorder;
        Recorder queued;
        data.connectReceiver(&recorder);
        data.connectReceiver(&queued, Qt::QueuedConnection);
        QStringList seenInTheStore;
        data.connectReceiver(&recorder, {.changed = [&](DeviceEntryChangedEvent* pEvent) {
            seenInTheStore << data.entry(pEvent->newEntry().ip).pingResult;
        }});
        // A device gone, and a probe of another check than the device has now, are not taken.
        const QList<ProbeRecord> taken = data.setPingResults(
            {{QStringLiteral("a"), 1, ProbeResult::reply(4ms)},
             {QStringLiteral("gone"), 2, ProbeResult::reply(4ms)},
             {QStringLiteral("b"), 3, ProbeResult::timeout()},
             {QStringLiteral("b"), 5, ProbeResult::reply(4ms), DeviceCheck::tcp(80)},
             {QStringLiteral("a"), 4, ProbeResult::timeout(), DeviceCheck()}});
        QCOMPARE(taken.size(), 3);
        QCOMPARE(taken[2].atMs, 4);
        QCOMPARE(recorder.newEntries.size(), 3);
        QCOMPARE(recorder.newEntries[0].pingResult, QStringLiteral("4"));
        QCOMPARE(recorder.newEntries[1].ip, QStringLiteral("b"));
        QCOMPARE(recorder.newEntries[2].pingResult, NoReplyResult);
        QCOMPARE(recorder.oldEntries[2].pingResult, QStringLiteral("4"));
        QCOMPARE(seenInTheStore, QStringList({"4", "X", "X"}));
        QVERIFY(queued.newEntries.isEmpty());
        QCoreApplication::processEvents();
        QCOMPARE(queued.newEntries.size(), 3);
        QCOMPARE(queued.newEntries[0].pingResult, QStringLiteral("4"));
        QCOMPARE(StoreEvent::liveCount(), 0);
    }

    void queuedDeliveryOutlivesTheStore()
    {
        Recorder queued;
        {
            Data data;
            data.connectReceiver(&queued, Qt::QueuedConnection);
            data.addEntry(makeEntry(QStringLiteral("a"), QStringLiteral("kept")));
        }
        QCoreApplication::processEvents();
        QCOMPARE(queued.added.size(), 1);
        QCOMPARE(queued.added.first().description, QStringLiteral("kept"));
    }

    void instanceIsClearedWhenTheStoreGoes()
    {
        auto* data = new Data;
        Data::setInstance(data);
        QCOMPARE(Data::instance(), data);
        delete data;
        QCOMPARE(Data::instance(), nullptr);
    }

    // Another thread takes snapshots and hands results over to the store's thread, as the
    // monitor does, while this thread edits the list; every announcement reaches the receiver
    // intact and every record is released.
    void resultsFromAnotherThreadWhileEditing()
    {
        Data data;
        Recorder recorder;
        for (int i = 0; i < 20; ++i)
            data.addEntry(makeEntry(QStringLiteral("host-%1").arg(i)));
        data.connectReceiver(&recorder);

        std::atomic<bool> stop{false};
        std::atomic<int> reported{0};
        std::atomic<int> waiting{0};
        QThread* worker = QThread::create([&]() {
            int n = 0;
            while (!stop) {
                // As the monitor does: hold back while this thread has not taken the last ones.
                while (waiting > 4 && !stop)
                    QThread::yieldCurrentThread();
                QList<ProbeRecord> batch;
                for (const DeviceEntry& e : data.entries()) {
                    batch.append(
                        {e.ip, 0,
                         (n++ % 3) ? ProbeResult::reply(std::chrono::milliseconds(n)) : ProbeResult::timeout()});
                }
                ++waiting;
                QMetaObject::invokeMethod(
                    &data,
                    [&data, &reported, &waiting, batch] {
                        data.setPingResults(batch);
                        reported += int(batch.size());
                        --waiting;
                    },
                    Qt::QueuedConnection);
            }
        });
        worker->start();

        for (int round = 0; round < 200; ++round) {
            const QString ip = QStringLiteral("extra-%1").arg(round);
            data.addEntry(makeEntry(ip));
            data.changeEntry(ip, ip, true, QStringLiteral("edited"), DeviceTypeWeb);
            data.changeEntry(QStringLiteral("host-%1").arg(round % 20), QStringLiteral("host-%1").arg(round % 20),
                             round % 2, QStringLiteral("round %1").arg(round), DeviceTypeAP);
            if (round >= 5)
                data.removeEntry(QStringLiteral("extra-%1").arg(round - 5));
            QCoreApplication::processEvents();
        }
        QTRY_VERIFY(reported > 2000);
        stop = true;
        worker->wait();
        delete worker;
        // What the worker handed over last is taken before the list is looked at.
        QTRY_COMPARE(waiting.load(), 0);

        QTRY_COMPARE(StoreEvent::liveCount(), 0);
        QCOMPARE(recorder.added.size(), 200);
        QCOMPARE(recorder.removed.size(), 195);
        QVERIFY(recorder.newEntries.size() > 2000);
        // A torn or stale record would show a state that does not match its result.
        for (const DeviceEntry& after : recorder.newEntries)
            QCOMPARE(after.state,
                     after.pingResult == NoReplyResult ? int(DeviceStateDisconnected) : int(DeviceStateConnected));
        QCOMPARE(data.entries().size(), 25);
    }

    // Results are announced after the store lets its lock go: a receiver connected directly
    // reads the store from inside the announcement and finds the change made.
    void directReceiverReadsTheStore()
    {
        Data data;
        data.addEntry(makeEntry(QStringLiteral("a")));
        QString seen;
        QObject::connect(
            &data, &Data::DeviceEntryChanged, &data,
            [&data, &seen] { seen = data.entry(QStringLiteral("a")).pingResult; }, Qt::DirectConnection);
        data.setPingResults({{QStringLiteral("a"), 0, ProbeResult::reply(1ms)}});
        QCOMPARE(seen, QStringLiteral("1"));
    }

    // Each listed address holds a slot of its own, the same for as long as it stays listed; one
    // that leaves gives it to the next to come. Steps: "+a" adds, "-a" removes, "-a,b" removes
    // both at once, "a>b" gives a's entry the address b.
    void everyListedAddressHoldsASlotOfItsOwn_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::newRow("added") << QStringList{"+a", "+b", "+c"};
        QTest::newRow("one leaves, the next takes its slot") << QStringList{"+a", "+b", "+c", "-a", "+d", "+e"};
        QTest::newRow("several leave at once") << QStringList{"+a", "+b", "+c", "-a,c", "+d", "+e", "+f"};
        QTest::newRow("a new address") << QStringList{"+a", "+b", "a>c", "+a", "+d"};
        QTest::newRow("a second entry of an address") << QStringList{"+a", "+b", "b>a", "-a", "+c", "+d"};
    }

    void everyListedAddressHoldsASlotOfItsOwn()
    {
        QFETCH(QStringList, steps);
        Data data;
        QHash<QString, int> held;
        int most = 0;
        for (const QString& step : std::as_const(steps)) {
            if (step.startsWith(QLatin1Char('+'))) {
                data.addEntry(makeEntry(step.mid(1)));
            } else if (step.startsWith(QLatin1Char('-'))) {
                const QStringList gone = step.mid(1).split(QLatin1Char(','));
                if (gone.size() == 1)
                    data.removeEntry(gone.first());
                else
                    data.removeEntries({gone.cbegin(), gone.cend()});
            } else {
                const QString from = step.section(QLatin1Char('>'), 0, 0);
                data.changeEntry(from, step.section(QLatin1Char('>'), 1), false, QString(), DeviceTypePC);
            }
            QHash<QString, int> now;
            for (const DeviceEntry& entry : data.entries()) {
                const QList<ProbeRecord> taken = data.setPingResults({{entry.ip, 0, ProbeResult::reply(1ms)}});
                QCOMPARE(taken.size(), 1);
                now.insert(entry.ip, taken.first().slot);
            }
            // Slots given back are given again: never more of them than addresses listed at once.
            most = std::max(most, int(now.size()));
            QSet<int> given;
            for (auto it = now.cbegin(); it != now.cend(); ++it) {
                QVERIFY2(it.value() >= 0 && it.value() < most, qPrintable(step));
                QVERIFY2(!given.contains(it.value()), qPrintable(step + QStringLiteral(": a slot held twice")));
                given.insert(it.value());
                if (held.contains(it.key()))
                    QCOMPARE(it.value(), held.value(it.key()));
            }
            held = now;
        }
    }

    // Figures found by slot are the device's own: after the table grows, when the slot passes
    // to another address, and when a copy of the table was taken, which keeps what it held.
    void figuresFoundBySlotAreTheDevicesOwn()
    {
        SlottedHash<int> figures;
        figures.at(QStringLiteral("a"), 0) = 1;
        for (int i = 0; i < 1000; ++i)
            figures.at(QString::number(i), i + 1) = i;
        QCOMPARE(figures.at(QStringLiteral("a"), 0), 1);
        QCOMPARE(figures.at(QStringLiteral("999"), 1000), 999);
        const QHash<QString, int> copy = figures.all();
        figures.at(QStringLiteral("a"), 0) = 2;
        QCOMPARE(copy.value(QStringLiteral("a")), 1);
        QCOMPARE(figures.all().value(QStringLiteral("a")), 2);
        QCOMPARE(figures.at(QStringLiteral("b"), 0), 0);
        figures.remove(QStringLiteral("999"));
        QCOMPARE(figures.at(QStringLiteral("999"), 1000), 0);
        QCOMPARE(figures.at(QStringLiteral("a"), 0), 2);
    }
};

QTEST_GUILESS_MAIN(TestData)
#include "tst_data.moc"
