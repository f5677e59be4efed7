// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/NetworkInventory.h"

#include <QSignalSpy>
#include <QTest>

using namespace Tarnwick;

namespace {

// "10.0.0.1=aa" is a sighting of hardware 02:00:00:00:00:aa at 10.0.0.1; rounds are separated by "|".
QList<QList<NetworkSighting>> roundsOf(const QString& text)
{
    QList<QList<NetworkSighting>> rounds;
    for (const QString& round : text.split(QLatin1Char('|'))) {
        QList<NetworkSighting> seen;
        for (const QString& pair : round.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            seen.append({pair.section(QLatin1Char('='), 0, 0),
                         QStringLiteral("02:00:00:00:00:") + pair.section(QLatin1Char('='), 1),
                         QStringLiteral("eth0")});
        rounds.append(seen);
    }
    return rounds;
}

// "new 10.0.0.2 bb", "changed 10.0.0.1 cc was aa at 10.0.0.9", "many 10.0.0.1 ee 9".
QString describe(const InventoryEvent& event)
{
    const QString hardware = event.hardwareAddress.right(2);
    switch (event.kind) {
    case InventoryEvent::Kind::NewDevice:
        return QStringLiteral("new %1 %2").arg(event.address, hardware);
    case InventoryEvent::Kind::HardwareChanged:
        return QStringLiteral("changed %1 %2 was %3%4")
            .arg(event.address, hardware, event.previousHardwareAddress.right(2),
                 event.previousStillAt.isEmpty() ? QString() : QStringLiteral(" at ") + event.previousStillAt);
    case InventoryEvent::Kind::AnswersForMany:
        break;
    }
    return QStringLiteral("many %1 %2 %3").arg(event.address, hardware).arg(event.addressCount);
}

} // namespace

class TestInventory : public QObject
{
    Q_OBJECT

private slots:
    void mergeRules_data()
    {
        QTest::addColumn<QString>("rounds");
        QTest::addColumn<QStringList>("told");
        // The first round is always the baseline here.
        QTest::newRow("the baseline tells nothing") << "10.0.0.1=aa 10.0.0.2=bb" << QStringList();
        QTest::newRow("a device joins, once")
            << "10.0.0.1=aa|10.0.0.1=aa 10.0.0.2=bb|10.0.0.1=aa 10.0.0.2=bb" << QStringList{"new 10.0.0.2 bb"};
        QTest::newRow("a listed address is no news") << "10.0.0.1=aa|10.0.0.7=cc" << QStringList();
        QTest::newRow("known hardware at a new address (a new lease)") << "10.0.0.1=aa|10.0.0.3=aa" << QStringList();
        QTest::newRow("the old hardware still answering elsewhere is a possible spoof")
            << "10.0.0.1=aa|10.0.0.1=cc 10.0.0.9=aa" << QStringList{"changed 10.0.0.1 cc was aa at 10.0.0.9"};
        QTest::newRow("replaced hardware is a change, not a new device")
            << "10.0.0.1=aa|10.0.0.1=cc" << QStringList{"changed 10.0.0.1 cc was aa"};
        QTest::newRow("both answering for the address is told once, not each round")
            << "10.0.0.1=aa|10.0.0.1=aa 10.0.0.1=cc|10.0.0.1=cc 10.0.0.1=aa|10.0.0.1=aa 10.0.0.1=cc"
            << QStringList{"changed 10.0.0.1 cc was aa at 10.0.0.1"};
        QTest::newRow("a proxy-ARP router is told once, its addresses never")
            << "10.0.0.1=aa|10.0.0.1=aa 10.0.0.20=ee 10.0.0.21=ee 10.0.0.22=ee 10.0.0.23=ee 10.0.0.24=ee "
               "10.0.0.25=ee 10.0.0.26=ee 10.0.0.27=ee|10.0.0.1=aa 10.0.0.28=ee 10.0.0.20=ee"
            << QStringList{"many 10.0.0.20 ee 8"};
        QTest::newRow("one change, told at the IPv4 address alone")
            << "10.0.0.1=aa fe80::aa%eth0=aa|10.0.0.1=cc fe80::aa%eth0=cc fe80::cc%eth0=cc"
            << QStringList{"changed 10.0.0.1 cc was aa"};
        QTest::newRow("forgotten hardware is new again")
            << "10.0.0.1=aa|forget aa|10.0.0.1=aa" << QStringList{"new 10.0.0.1 aa"};
    }

    void mergeRules()
    {
        QFETCH(QString, rounds);
        QFETCH(QStringList, told);
        NetworkInventory inventory;
        inventory.setListed([](const QString& address) { return address == QLatin1String("10.0.0.7"); });
        QStringList heard;
        bool baseline = true;
        for (const QString& round : rounds.split(QLatin1Char('|'))) {
            if (round.startsWith(QLatin1String("forget "))) {
                inventory.forget(QStringLiteral("02:00:00:00:00:") + round.section(QLatin1Char(' '), 1));
                continue;
            }
            for (const InventoryEvent& event :
                 inventory.merge(roundsOf(round).first(), QDateTime::currentDateTimeUtc(), baseline))
                heard << describe(event);
            baseline = false;
        }
        QCOMPARE(heard, told);
    }

    // Hardware made up in a flood cannot grow the inventory without end: the longest unheard go,
    // the ones marked known stay.
    void theInventoryIsBounded()
    {
        NetworkInventory inventory;
        const QDateTime start = QDateTime::currentDateTimeUtc();
        QList<NetworkSighting> flood;
        for (int i = 0; i < NetworkInventory::MaxEntries; ++i)
            flood.append({QStringLiteral("10.%1.%2.%3").arg(i >> 16).arg((i >> 8) & 255).arg(i & 255),
                          QStringLiteral("02:01:00:%1:%2:%3")
                              .arg((i >> 16) & 255, 2, 16, QLatin1Char('0'))
                              .arg((i >> 8) & 255, 2, 16, QLatin1Char('0'))
                              .arg(i & 255, 2, 16, QLatin1Char('0')),
                          QStringLiteral("eth0")});
        inventory.merge(flood.mid(0, 2), start, true);
        inventory.markKnown(flood.at(0).hardwareAddress, true);
        inventory.merge(flood.mid(2), start.addSecs(10), false);
        inventory.merge(roundsOf("10.200.0.1=aa 10.200.0.2=bb").first(), start.addSecs(20), false);
        QCOMPARE(inventory.count(), NetworkInventory::MaxEntries);
        QVERIFY(inventory.entry(flood.at(0).hardwareAddress));
        QVERIFY(!inventory.entry(flood.at(1).hardwareAddress));
        QVERIFY(inventory.entry("02:00:00:00:00:aa") && inventory.entry("02:00:00:00:00:bb"));
    }

    // The IPv4 address stands first, then global IPv6 ones, then link-local ones, each the latest
    // first: what the tab shows and "Add to list" takes.
    void addressesStandByRank()
    {
        NetworkInventory inventory;
        inventory.merge(roundsOf("fe80::1%eth0=aa 10.0.0.1=aa 2001:db8::1=aa").first(), QDateTime::currentDateTimeUtc(),
                        true);
        inventory.merge(roundsOf("10.0.0.2=aa fe80::2%eth0=aa").first(), QDateTime::currentDateTimeUtc(), false);
        QCOMPARE(inventory.entry("02:00:00:00:00:aa")->addresses,
                 QStringList({"10.0.0.2", "10.0.0.1", "2001:db8::1", "fe80::2%eth0", "fe80::1%eth0"}));
    }

    // An earlier run's inventory: nothing it holds is new, and the latest holder of an address is
    // the one a change is measured against.
    void aLoadedInventoryIsNoNews()
    {
        const QDateTime then = QDateTime::currentDateTimeUtc().addDays(-1);
        NetworkInventory inventory;
        inventory.load({{"02:00:00:00:00:aa", {"10.0.0.1"}, {}, {}, then, then.addSecs(-60), false, false},
                        {"02:00:00:00:00:bb", {"10.0.0.1", "10.0.0.2"}, {}, {}, then, then, false, false}});
        QSignalSpy changed(&inventory, &NetworkInventory::entriesChanged);
        const auto events = inventory.merge(roundsOf("10.0.0.1=bb 10.0.0.2=aa").first(),
                                            QDateTime::currentDateTimeUtc(), false);
        QCOMPARE(events.size(), 0);
        QCOMPARE(inventory.entry("02:00:00:00:00:aa")->addresses, QStringList({"10.0.0.2", "10.0.0.1"}));
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.first().first().toStringList().size(), 2);
    }

    void texts_data()
    {
        QTest::addColumn<QString>("vendor");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::newRow("all") << "Apple"
                             << "iPhone"
                             << "New device 10.0.0.23 (02:00:00:00:00:aa, Apple, \"iPhone\")";
        QTest::newRow("hardware alone") << ""
                                        << ""
                                        << "New device 10.0.0.23 (02:00:00:00:00:aa)";
    }

    void texts()
    {
        QFETCH(QString, vendor);
        QFETCH(QString, name);
        QFETCH(QString, text);
        NetworkInventory inventory;
        inventory.merge(roundsOf("10.0.0.23=aa").first(), QDateTime::currentDateTimeUtc(), true);
        inventory.describe("02:00:00:00:00:aa", name, vendor);
        QCOMPARE(inventory.textOf({InventoryEvent::Kind::NewDevice, "10.0.0.23", "02:00:00:00:00:aa", {}, {}, 0}),
                 text);
    }
};

QTEST_GUILESS_MAIN(TestInventory)
#include "tst_inventory.moc"
