// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/Data.h"
#include "data/NetworkInventory.h"

#include "../common/WidgetTest.h"
#include "ui/NetworkInventoryModel.h"
#include "ui/NetworkView.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTemporaryDir>

using namespace Tarnwick;

namespace {

const QDateTime FirstRound(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC);

QList<NetworkSighting> sightings(const QStringList& pairs)
{
    QList<NetworkSighting> seen;
    for (const QString& pair : pairs)
        seen.append({pair.section(QLatin1Char('='), 0, 0),
                     QStringLiteral("02:00:00:00:00:") + pair.section(QLatin1Char('='), 1), QStringLiteral("eth0")});
    return seen;
}

// "address known" of each row, in the order shown.
QStringList rowsShown(const QTableView* table)
{
    QStringList rows;
    for (int row = 0; row < table->model()->rowCount(); ++row)
        rows << table->model()->index(row, NetworkInventoryModel::AddressColumn).data().toString() + QLatin1Char(' ')
                + table->model()->index(row, NetworkInventoryModel::KnownColumn).data().toString();
    return rows;
}

} // namespace

class TestNetworkView : public QObject
{
    Q_OBJECT

private slots:
    // The user filters, sorts and acts through the row menu (by right click, then by the Menu
    // key) on the row of 10.0.0.9.
    void viewFollowsTheUser_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QList<int>>("headerClicks");
        QTest::addColumn<QStringList>("choices");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("csv"); // what the export writes; empty: nothing exported
        const QStringList all{"10.0.0.3 no", "10.0.0.9 no", "10.0.0.10 no", "fd00::1 yes (listed)"};
        QTest::newRow("by address at first") << "" << QList<int>{} << QStringList{} << all << "";
        QTest::newRow("filtered by vendor")
            << "ACME" << QList<int>{} << QStringList{} << QStringList{"10.0.0.9 no"} << "";
        QTest::newRow("filtered by an older address")
            << "10.0.0.2" << QList<int>{} << QStringList{} << QStringList{"10.0.0.3 no"} << "";
        QTest::newRow("sorted by address again")
            << "" << QList<int>{NetworkInventoryModel::NameColumn, NetworkInventoryModel::AddressColumn}
            << QStringList{} << all << "";
        QTest::newRow("marked known") << "" << QList<int>{} << QStringList{"Mark as known"}
                                      << QStringList{"10.0.0.3 no", "10.0.0.9 yes", "10.0.0.10 no", all[3]} << "";
        QTest::newRow("marked, then not")
            << "" << QList<int>{} << QStringList{"Mark as known", "Mark as not known"} << all << "";
        QTest::newRow("added to the list")
            << "" << QList<int>{} << QStringList{"Add to list"}
            << QStringList{"10.0.0.3 no", "10.0.0.9 yes (listed)", "10.0.0.10 no", all[3]} << "";
        QTest::newRow("forgotten") << "" << QList<int>{} << QStringList{"Forget"}
                                   << QStringList{"10.0.0.3 no", "10.0.0.10 no", all[3]} << "";
        QTest::newRow("exported as filtered and sorted")
            << "10.0.0." << QList<int>{NetworkInventoryModel::AddressColumn} << QStringList{"Export as CSV..."}
            << QStringList{"10.0.0.10 no", "10.0.0.9 no", "10.0.0.3 no"}
            << "Address,Hardware address,Vendor,Name,First seen (UTC),Last seen (UTC),Known,Other addresses\r\n"
               "10.0.0.10,02:00:00:00:00:aa,,,2026-01-02 03:04:05,2026-01-02 03:04:05,no,\r\n"
               "10.0.0.9,02:00:00:00:00:bb,Acme,printer,2026-01-02 03:04:05,2026-01-02 03:04:05,no,\r\n"
               "10.0.0.3,02:00:00:00:00:dd,,,2026-01-02 03:04:05,2026-01-02 03:05:05,no,10.0.0.2\r\n";
    }

    void viewFollowsTheUser()
    {
        QFETCH(QString, filter);
        QFETCH(QList<int>, headerClicks);
        QFETCH(QStringList, choices);
        QFETCH(QStringList, rows);
        QFETCH(QString, csv);
        QTemporaryDir folder;
        QVERIFY(QDir::setCurrent(folder.path()));
        Data store;
        Data::setInstance(&store);
        const auto noStore = qScopeGuard([] { Data::setInstance(nullptr); });
        store.addEntry(DeviceEntry(QStringLiteral("fd00::1"), {}, DeviceTypePC, false, NoReplyResult));
        NetworkInventory inventory;
        inventory.setListed([&store](const QString& address) { return store.contains(address); });
        NetworkView view(inventory);
        auto* empty = view.findChild<QLabel*>(QStringLiteral("nothingHeardLabel"));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QVERIFY(empty->isVisible());
        inventory.merge(sightings({"10.0.0.10=aa", "10.0.0.9=bb", "fd00::1=cc", "10.0.0.2=dd"}), FirstRound, true);
        inventory.describe(QStringLiteral("02:00:00:00:00:bb"), QStringLiteral("printer"), QStringLiteral("Acme"));
        inventory.merge(sightings({"10.0.0.3=dd"}), FirstRound.addSecs(60), false);
        QVERIFY(!empty->isVisible());

        QTableView* table = view.table();
        typeInto(view.findChild<QLineEdit*>(QStringLiteral("networkFilterEdit")), filter);
        for (const int column : headerClicks)
            clickHeaderSection(table->horizontalHeader(), column);
        view.setFileChooser([](QWidget*, const QString&, const QString& suggested) { return suggested; });
        const auto rowOf = [table](const QString& address) {
            const QModelIndexList found = table->model()->match(table->model()->index(0, 0), Qt::DisplayRole, address,
                                                                1, Qt::MatchExactly);
            return found.isEmpty() ? QPoint() : table->visualRect(found.first()).center();
        };
        for (qsizetype i = 0; i < choices.size(); ++i) {
            const QString choice = choices[i];
            view.setMenuRunner([choice](QMenu* menu, const QPoint& at) { QVERIFY(chooseInMenu(menu, at, choice)); });
            if (i == 0) {
                QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, rowOf("10.0.0.9"));
                QTest::mouseClick(table->viewport(), Qt::RightButton, Qt::NoModifier, rowOf("10.0.0.9"));
            } else {
                QTest::keyClick(table, Qt::Key_Menu);
            }
        }
        // The device list's dialog, filled in with the address and the name.
        if (auto* dialog = view.findChild<QDialog*>(QStringLiteral("addDeviceDialog"))) {
            QCOMPARE(dialog->findChild<QLineEdit*>(QStringLiteral("ipEdit"))->text(), QStringLiteral("10.0.0.9"));
            QCOMPARE(dialog->findChild<QLineEdit*>(QStringLiteral("descriptionEdit"))->text(),
                     QStringLiteral("printer"));
            pressButton(dialog, "okButton");
        }
        QTRY_COMPARE(rowsShown(table), rows);
        QFile file(QStringLiteral("network.csv"));
        QCOMPARE(file.exists(), !csv.isEmpty());
        if (file.open(QIODevice::ReadOnly))
            QCOMPARE(QString::fromUtf8(file.readAll()), csv);
    }

    // A round that hears a thousand entries again changes their rows in one go: no reset, no
    // rows inserted, and the new time shows.
    void aRoundHeardAgainChangesRowsInPlace()
    {
        NetworkInventory inventory;
        QStringList pairs;
        for (int i = 0; i < 1000; ++i)
            pairs << QStringLiteral("10.0.%1.%2=%3").arg(i / 250).arg(i % 250 + 1).arg(i, 4, 16, QLatin1Char('0'));
        inventory.merge(sightings(pairs), FirstRound, true);
        NetworkView view(inventory);
        auto* sorted = qobject_cast<QSortFilterProxyModel*>(view.table()->model());
        QAbstractItemModel* model = sorted->sourceModel();
        QCOMPARE(model->rowCount(), 1000);
        QSignalSpy resets(model, &QAbstractItemModel::modelReset);
        QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);
        QSignalSpy changed(model, &QAbstractItemModel::dataChanged);
        inventory.merge(sightings(pairs), FirstRound.addSecs(60), false);
        QCOMPARE(resets.size(), 0);
        QCOMPARE(inserted.size(), 0);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(sorted->index(999, NetworkInventoryModel::LastSeenColumn).data(NetworkInventoryModel::CsvRole),
                 QStringLiteral("2026-01-02 03:05:05"));
    }
};

QTEST_MAIN(TestNetworkView)
#include "tst_networkview.moc"
