// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/Data.h"
#include "data/MaintenanceList.h"
#include "data/MuteList.h"
#include "data/Settings.h"
#include "skin/DevicePictures.h"
#include "skin/SkinResources.h"

#include "../common/FixedReachability.h"
#include "../common/FixedSlowness.h"
#include "../common/TestFiles.h"
#include "../common/WidgetTest.h"
#include "history/HistoryStore.h"
#include "ui/DeviceDetailsDialog.h"
#include "ui/DeviceListModel.h"
#include "ui/EditDeviceEntryDialog.h"
#include "ui/HistoryGraph.h"
#include "ui/MaintenanceDialog.h"
#include "ui/UserList.h"
#include "ui/UserListTreeWidget.h"

#include <QAbstractProxyModel>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeEdit>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>

#include <memory>

using namespace std::chrono_literals;

using namespace Tarnwick;

namespace {

DeviceEntry entry(const QString& ip, int type = DeviceTypePC, bool inform = false)
{
    return DeviceEntry(ip, QStringLiteral("about ") + ip, type, inform, NoReplyResult);
}

// The column's texts of the rows the view shows, in its order.
QStringList column(const QAbstractItemView* tree, int c)
{
    QStringList texts;
    for (int i = 0; i < tree->model()->rowCount(); ++i)
        texts << tree->model()->index(i, c).data().toString();
    return texts;
}

// Every row of the list, shown or not, in the order they were added.
const QAbstractItemModel* allRows(const UserListTreeWidget* tree)
{
    return qobject_cast<const QAbstractProxyModel*>(tree->model())->sourceModel();
}

} // namespace

class TestUserList : public QObject
{
    Q_OBJECT

    Data* m_data = nullptr;
    UserList* m_list = nullptr;

    // The addresses of the rows the filters leave shown, in their order.
    QStringList shown() const { return column(m_list->tree(), 2); }

    // A list of the test's own showing the store's devices, as the main window fills its own.
    void showTheStore(UserList& list) const
    {
        m_data->connectReceiver(&list);
        for (const DeviceEntry& e : m_data->entries())
            list.addEntryRow(e);
    }

private slots:
    void init()
    {
        m_data = new Data;
        Data::setInstance(m_data);
        m_list = new UserList;
        m_data->connectReceiver(m_list);
    }

    void cleanup()
    {
        delete m_list;
        delete m_data;
        QCoreApplication::processEvents();
    }

    // The test's list, made anew with what the program gives it.
    void useServices(UserList::Services services)
    {
        delete m_list;
        m_list = new UserList(std::move(services));
        m_data->connectReceiver(m_list);
    }

    void columnsHaveTheirWidths()
    {
        m_list->show();
        QTreeView* tree = m_list->findChild<QTreeView*>(QStringLiteral("deviceTree"));
        const QList<int> widths = {54, 24, 100, 60, 100};
        for (int column = 0; column < widths.size(); ++column)
            QCOMPARE(tree->columnWidth(column), widths[column]);
    }

    // Without widths of the user's own, the text columns show their header and texts whole;
    // such fitted widths are not kept as the user's.
    void columnsFitTheirContent()
    {
        QVERIFY(Settings::instance().columnWidths.isEmpty());
        m_data->addEntry(DeviceEntry(QStringLiteral("192.168.151.123"), QStringLiteral("Printer on the second floor"),
                                     DeviceTypePC, true, NoReplyResult));
        m_list->resize(600, 300);
        m_list->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_list));
        const UserListTreeWidget* tree = m_list->tree();
        const QHeaderView* header = tree->header();
        for (int column = 2; column < header->count() - 1; ++column) {
            if (tree->isColumnHidden(column))
                continue;
            QTRY_VERIFY2(tree->columnWidth(column) >= tree->contentWidth(column), qPrintable(QString::number(column)));
            QVERIFY2(tree->columnWidth(column) >= header->sectionSizeHint(column), qPrintable(QString::number(column)));
        }
        QVERIFY(Settings::instance().columnWidths.isEmpty());
    }

    // Loss, average, jitter and the time in the present state, from the statistics source.
    void statisticsColumns()
    {
        useServices({.statistics = [](const QString& ip) {
            UserList::RowStatistics statistics;
            if (ip == QLatin1String("a")) {
                statistics.lossPercent = 12.5;
                statistics.averageMs = 3.267;
                statistics.jitterMs = 0.4;
                statistics.lastAnsweredMs = QDateTime::currentMSecsSinceEpoch();
            }
            return statistics;
        }});
        m_data->addEntry(entry(QStringLiteral("a")));
        m_data->addEntry(entry(QStringLiteral("b")));
        m_list->refreshStatistics();
        QTreeView* tree = m_list->findChild<QTreeView*>(QStringLiteral("deviceTree"));
        QCOMPARE(tree->model()->headerData(6, Qt::Horizontal).toString(), QStringLiteral("Loss"));
        QCOMPARE(tree->model()->headerData(9, Qt::Horizontal).toString(), QStringLiteral("Since"));
        QCOMPARE(column(tree, 6), QStringList({"12.5 %", "-"}));
        QCOMPARE(column(tree, 7), QStringList({"3.27 ms", "-"}));
        QCOMPARE(column(tree, 8), QStringList({"0.40 ms", "-"}));
        QCOMPARE(column(tree, 9), QStringList({"0 s", "0 s"}));
        QVERIFY(viewRow(tree, 0).toolTip(9).startsWith(QStringLiteral("Last seen ")));
        QCOMPARE(viewRow(tree, 1).toolTip(9), QStringLiteral("Not seen since Tarnwick started"));
    }

    // The statistics columns show the source's figures as the rows are shown, sort by them
    // (devices without figures last), and show and sort by new figures after a refresh; a
    // refresh of a list not on screen asks the source nothing.
    void statisticsFollowTheSourceAndSort_data()
    {
        QTest::addColumn<int>("sortColumn");
        QTest::addColumn<QString>("shown");
        QTest::newRow("loss") << 6 << "9.0 %";
        QTest::newRow("average") << 7 << "9.00 ms";
        QTest::newRow("jitter") << 8 << "9.00 ms";
    }

    void statisticsFollowTheSourceAndSort()
    {
        QFETCH(int, sortColumn);
        QFETCH(QString, shown);
        const auto restore = qScopeGuard([] { Settings::instance().deviceListSort.clear(); });
        auto figures = std::make_shared<QHash<QString, double>>(
            QHash<QString, double>{{QStringLiteral("a"), 5}, {QStringLiteral("b"), 1}, {QStringLiteral("c"), 3}});
        auto asked = std::make_shared<int>(0);
        useServices({.statistics = [figures, asked](const QString& ip) {
            ++*asked;
            UserList::RowStatistics statistics;
            if (figures->contains(ip))
                statistics.lossPercent = statistics.averageMs = statistics.jitterMs = figures->value(ip);
            return statistics;
        }});
        for (const char* ip : {"d", "a", "b", "c"})
            m_data->addEntry(entry(QString::fromLatin1(ip)));
        m_list->refreshStatistics();
        QCOMPARE(*asked, 0);
        m_list->resize(900, 300);
        m_list->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_list));
        UserListTreeWidget* tree = m_list->tree();
        clickHeaderSection(tree->header(), sortColumn);
        QCOMPARE(column(tree, 2), QStringList({"b", "c", "a", "d"}));
        figures->insert(QStringLiteral("b"), 9);
        m_list->refreshStatistics();
        QTRY_COMPARE(column(tree, 2), QStringList({"c", "a", "b", "d"}));
        QCOMPARE(viewRow(tree, 2).text(sortColumn), shown);
    }

    // Each way to a device's details opens them on that device, filled from the history file;
    // the ranges change the buckets, and the raw results export as CSV.
    void detailsShowTheHistory_data()
    {
        QTest::addColumn<QString>("way");
        QTest::newRow("double-click") << "double-click";
        QTest::newRow("Enter") << "Enter";
        QTest::newRow("menu") << "menu";
    }

    void detailsShowTheHistory()
    {
        QFETCH(QString, way);
        QTemporaryDir dir;
        TestFiles::enterEmpty(dir);
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        {
            HistoryStore store(QStringLiteral("History.sqlite"), {});
            for (int i = 0; i < 30; ++i) {
                store.record({QStringLiteral("b"), now - 600000 + i * 10000,
                              i % 10 == 9 ? ProbeResult::timeout()
                                          : ProbeResult::reply(std::chrono::microseconds(1000 + 100 * i))});
            }
            store.recordStateChange(QStringLiteral("b"), now - 300000, false);
        }
        useServices({.historyFile = QStringLiteral("History.sqlite")});
        // The details export through the list's own way of asking for a file.
        m_list->setFileChooser([](QWidget*, const QString&, const QString&) { return QStringLiteral("b.csv"); });
        for (const char* ip : {"a", "b"})
            m_data->addEntry(entry(QString::fromLatin1(ip)));
        UserListTreeWidget* tree = m_list->tree();
        m_list->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_list));
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, onRow(tree, 1));
        if (way == QLatin1String("double-click")) {
            doubleClick(tree->viewport(), onRow(tree, 1));
        } else if (way == QLatin1String("Enter")) {
            QTest::keyClick(tree, Qt::Key_Return);
        } else {
            tree->setMenuRunner(
                [](QMenu* menu, const QPoint& at) { QVERIFY(chooseInMenu(menu, at, QStringLiteral("Details"))); });
            QTest::mouseClick(tree->viewport(), Qt::RightButton, Qt::NoModifier, onRow(tree, 1));
        }
        auto* dialog = m_list->findChild<DeviceDetailsDialog*>(QStringLiteral("deviceDetailsDialog"));
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Details - b"));
        const HistoryGraph::Series& hour = dialog->graph()->series();
        QCOMPARE(hour.bucketMs, 60000);
        int sent = 0;
        for (const HistoryReader::Bucket& b : hour.buckets)
            sent += b.sent;
        QCOMPARE(sent, 30);
        QCOMPARE(hour.changes.size(), 1);
        QVERIFY(dialog->findChild<QLabel*>(QStringLiteral("summaryLabel"))
                    ->text()
                    .startsWith(QStringLiteral("Sent 30, received 27 (loss 10.00 %)")));
        QTest::mouseClick(dialog->findChild<QToolButton*>(QStringLiteral("range24h")), Qt::LeftButton);
        QCOMPARE(dialog->graph()->series().bucketMs, 600000);
        QCOMPARE(dialog->graph()->series().toMs - dialog->graph()->series().fromMs, 24 * 3600 * 1000LL);

        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("exportButton")), Qt::LeftButton);
        const QList<QByteArray> lines = TestFiles::readAll(QStringLiteral("b.csv")).split('\n');
        QCOMPARE(lines.size(), 32); // header, 30 results, and the end after the last line break
        QCOMPARE(lines[0], QByteArray("Time (UTC),Address,Outcome,Round trip (ms)\r"));
        // The same form of time as the list's export.
        QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d,b,answered,1.000\r$"))
                    .match(QString::fromUtf8(lines[1]))
                    .hasMatch());
        QVERIFY(lines[10].endsWith(",b,no reply,\r"));
        delete dialog;
    }

    // "Since" carries on from the history's last change of state when the first result after a
    // start agrees with it.
    void sinceCarriesOnFromTheHistory_data()
    {
        QTest::addColumn<ProbeResult>("firstResult");
        QTest::addColumn<QString>("since");
        QTest::newRow("still connected") << ProbeResult::reply(3ms) << "2 h 5 min";
        QTest::newRow("down meanwhile") << ProbeResult::timeout() << "0 s";
    }

    void sinceCarriesOnFromTheHistory()
    {
        QFETCH(ProbeResult, firstResult);
        QFETCH(QString, since);
        QTemporaryDir dir;
        TestFiles::enterEmpty(dir);
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        {
            HistoryStore store(QStringLiteral("History.sqlite"), {});
            store.recordStateChange(QStringLiteral("a"), now - 3 * 3600 * 1000, false);
            store.recordStateChange(QStringLiteral("a"), now - (2 * 60 + 5) * 60 * 1000, true);
            store.recordStateChange(QStringLiteral("b"), now - 3600 * 1000, false);
        }
        m_data->addEntry(entry(QStringLiteral("a")));
        m_data->awaitFirstResults();
        UserList list({.historyFile = QStringLiteral("History.sqlite")});
        showTheStore(list);
        m_data->setPingResults({{QStringLiteral("a"), 0, firstResult}});
        list.refreshStatistics();
        QCOMPARE(viewRow(list.tree(), 0).text(9), since);
    }

    // The list with its statistics as CSV, one line per entry in the store's order: numbers
    // alone in number columns, times a spreadsheet reads, and no description run as a formula.
    void listExportsWithItsStatistics()
    {
        QTemporaryDir dir;
        TestFiles::enterEmpty(dir);
        FixedSlowness slowness;
        slowness.slow.insert(QStringLiteral("a"));
        useServices({.statistics =
                         [](const QString& ip) {
                             UserList::RowStatistics statistics;
                             if (ip == QLatin1String("a")) {
                                 statistics.lossPercent = 12.5;
                                 statistics.averageMs = 3.267;
                                 statistics.lastAnsweredMs = 1765000000000;
                                 statistics.medianMs = 3.004;
                                 statistics.dayPercentile95Ms = 41.5;
                             }
                             return statistics;
                         },
                     .slow = &slowness});
        m_list->setFileChooser([](QWidget*, const QString&, const QString&) { return QStringLiteral("list.csv"); });
        m_data->addEntry(DeviceEntry(QStringLiteral("c"), QStringLiteral("=HYPERLINK(\"http://127.0.0.1\")"),
                                     DeviceTypeWeb, false, NoReplyResult));
        m_data->awaitFirstResults();
        m_data->addEntry(DeviceEntry(QStringLiteral("a"), QStringLiteral("Printer, \"new\""), DeviceTypeRouter, true,
                                     NoReplyResult));
        DeviceEntry web(QStringLiteral("b"), QStringLiteral("@SUM(A1)"), DeviceTypePC, false, NoReplyResult);
        web.check = DeviceCheck::tcp(8080);
        m_data->addEntry(web);
        m_data->setPingResults({{QStringLiteral("a"), 0, ProbeResult::reply(3ms)}});
        m_data->setPingResults({{QStringLiteral("b"), 0, ProbeResult::timeout(), web.check}});
        m_list->exportList();
        const QList<QByteArray> lines = TestFiles::readAll(QStringLiteral("list.csv")).split('\n');
        QCOMPARE(lines.size(), 5);
        QCOMPARE(
            lines[0],
            QByteArray(
                "Address,Description,Type,State,Ping result (ms),Information on state change,"
                "Loss (%),Avg (ms),Jitter (ms),Since (UTC),Last seen (UTC),Outcome,Check,Slow,Median (ms),95 % (ms),"
                "Day median (ms),Day 95 % (ms)\r"));
        // The time the state began is now, give or take the test's own run.
        const QRegularExpression since(QStringLiteral(",\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d,"));
        QList<QByteArray> rest;
        for (const QByteArray& line : lines.mid(1, 3))
            rest << QString::fromUtf8(line).replace(since, QStringLiteral(",T,")).toUtf8();
        QCOMPARE(
            rest[0],
            QByteArray("c,\"'=HYPERLINK(\"\"http://127.0.0.1\"\")\",Web,not yet probed,,no,,,,T,,,ICMP echo,,,,,\r"));
        QCOMPARE(rest[1],
                 QByteArray("a,\"Printer, \"\"new\"\"\",Router,connected,3,yes,12.5,3.27,,T,"
                            "2025-12-06 05:46:40,answered,ICMP echo,yes,3.00,,,41.50\r"));
        QCOMPARE(rest[2], QByteArray("b,'@SUM(A1),PC,disconnected,,no,,,,T,,no reply,TCP port 8080,no,,,,\r"));
    }

    // Columns hidden from the header's menu stay hidden in the next list (the next start); the
    // spread's columns start hidden, and one shown stays shown.
    void hiddenColumnsAreRemembered()
    {
        const auto restore = qScopeGuard([] {
            Settings::instance().hiddenColumns.clear();
            Settings::instance().shownColumns.clear();
        });
        for (int column = DeviceListModel::MedianColumn; column < DeviceListModel::ColumnCount; ++column)
            QVERIFY(m_list->tree()->isColumnHidden(column));
        QMenu* menu = m_list->columnsMenu();
        QStringList offered;
        for (QAction* toggle : menu->actions())
            offered << toggle->text();
        QVERIFY(!offered.contains(QStringLiteral("IP")));
        QVERIFY(offered.contains(QStringLiteral("Jitter")));
        QHeaderView* header = m_list->tree()->header();
        m_list->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_list));
        for (const QString& column : {QStringLiteral("Jitter"), QStringLiteral("Loss"), QStringLiteral("95 %")}) {
            m_list->tree()->setMenuRunner(
                [&column](QMenu* shown, const QPoint& at) { QVERIFY(chooseInMenu(shown, at, column)); });
            rightClickForMenu(header->viewport(), QPoint(10, header->height() / 2));
        }
        QVERIFY(m_list->tree()->isColumnHidden(8));
        QCOMPARE(Settings::instance().hiddenColumns, QStringLiteral("6,8"));
        QCOMPARE(Settings::instance().shownColumns, QStringLiteral("11"));
        UserList next;
        QVERIFY(next.tree()->isColumnHidden(6) && next.tree()->isColumnHidden(8));
        QVERIFY(!next.tree()->isColumnHidden(7) && !next.tree()->isColumnHidden(11));
        QVERIFY(next.tree()->isColumnHidden(10));
    }

    // A row's tooltip carries a picture of its last hour, which a tooltip can show.
    void rowToolTipShowsTheLastHour()
    {
        QTemporaryDir dir;
        TestFiles::enterEmpty(dir);
        {
            HistoryStore store(QStringLiteral("History.sqlite"), {});
            store.record({QStringLiteral("a"), QDateTime::currentMSecsSinceEpoch() - 1000, ProbeResult::reply(900us)});
        }
        useServices({.historyFile = QStringLiteral("History.sqlite")});
        m_data->addEntry(entry(QStringLiteral("a")));
        m_list->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_list));
        UserListTreeWidget* tree = m_list->tree();
        const QPoint at = tree->rowRect(tree->model()->index(0, 0)).center();
        QHelpEvent help(QEvent::ToolTip, at, tree->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(tree->viewport(), &help);
        const QString text = QToolTip::text();
        QVERIFY2(text.contains(QStringLiteral("<img src=\"data:image/png;base64,")), qPrintable(text.left(80)));
        QLabel shown(text);
        QLabel withoutPicture(QString(text).remove(QRegularExpression(QStringLiteral("<img[^>]*>"))));
        QVERIFY(shown.sizeHint().height() >= withoutPicture.sizeHint().height() + 20);
        QToolTip::hideText();
    }

    void menuOrder()
    {
        QStringList texts;
        for (QAction* action : m_list->tree()->contextMenu()->actions())
            texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
        QCOMPARE(texts,
                 QStringList({"Edit", "Copy address", "Ping now", "Details", "Trace", "Show on map",
                              "Export list as CSV...", "-", "Remove"}));
    }

    // A click on a header sorts by its column, the next the other way round, the third goes
    // back to the order the rows came in; the choice outlives the list.
    void headerClicksCycleTheSort_data()
    {
        QTest::addColumn<int>("sortColumn");
        QTest::addColumn<QStringList>("ascending");
        QTest::newRow("address: IPv4, then IPv6 by number, then names")
            << 2 << QStringList({"127.0.0.9", "127.0.0.10", "127.0.1.1", "fd00::9", "fd00::10", "printer", "scanner"});
        QTest::newRow("state: connected, disconnected, not yet probed")
            << 0 << QStringList({"127.0.0.10", "127.0.0.9", "scanner", "printer", "fd00::10", "127.0.1.1", "fd00::9"});
        QTest::newRow("result: by number, no reply last")
            << 3 << QStringList({"127.0.0.10", "127.0.0.9", "scanner", "printer", "fd00::10", "127.0.1.1", "fd00::9"});
    }

    void headerClicksCycleTheSort()
    {
        QFETCH(int, sortColumn);
        QFETCH(QStringList, ascending);
        const auto restore = qScopeGuard([] { Settings::instance().deviceListSort.clear(); });
        const QStringList added = {"scanner", "127.0.0.10", "printer", "fd00::10", "127.0.0.9", "127.0.1.1", "fd00::9"};
        for (const QString& ip : added)
            m_data->addEntry(entry(ip));
        m_data->awaitFirstResults();
        m_data->setPingResults({{QStringLiteral("127.0.0.10"), 0, ProbeResult::reply(2ms)}});
        m_data->setPingResults({{QStringLiteral("127.0.0.9"), 0, ProbeResult::reply(12ms)}});
        m_data->setPingResults({{QStringLiteral("scanner"), 0, ProbeResult::timeout()}});
        m_data->setPingResults({{QStringLiteral("printer"), 0, ProbeResult::timeout()}});
        UserList list;
        showTheStore(list);
        UserListTreeWidget* tree = list.tree();
        QHeaderView* header = tree->header();
        list.resize(900, 300);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        clickHeaderSection(header, sortColumn);
        QCOMPARE(column(tree, 2), ascending);
        QVERIFY(header->isSortIndicatorShown());
        QCOMPARE(header->sortIndicatorSection(), sortColumn);
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
        clickHeaderSection(header, sortColumn);
        QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
        QStringList descending = ascending;
        std::reverse(descending.begin(), descending.end());
        if (sortColumn == 2) // ties keep their order both ways; only the addresses have none
            QCOMPARE(column(tree, 2), descending);
        QCOMPARE(Settings::instance().deviceListSort, QStringLiteral("%1,d").arg(sortColumn));
        UserList next;
        for (const DeviceEntry& e : m_data->entries())
            next.addEntryRow(e);
        QTRY_COMPARE(next.tree()->sortedColumn(), sortColumn);
        clickHeaderSection(header, sortColumn);
        QCOMPARE(column(tree, 2), added);
        QVERIFY(!header->isSortIndicatorShown());
        QVERIFY(Settings::instance().deviceListSort.isEmpty());
    }

    // "Since" sorts by the time each device got its state: longest in it first.
    void sinceSortsByTheTimeOfTheState_data()
    {
        QTest::addColumn<QString>("sort");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("ascending") << "9,a" << QStringList({"c", "a", "b"});
        QTest::newRow("descending") << "9,d" << QStringList({"b", "a", "c"});
    }

    void sinceSortsByTheTimeOfTheState()
    {
        QFETCH(QString, sort);
        QFETCH(QStringList, order);
        const auto restore = qScopeGuard([] { Settings::instance().deviceListSort.clear(); });
        Settings::instance().deviceListSort = sort;
        UserList list;
        m_data->connectReceiver(&list);
        const auto nextMillisecond = [] {
            const qint64 now = QDateTime::currentMSecsSinceEpoch();
            QTRY_VERIFY(QDateTime::currentMSecsSinceEpoch() > now);
        };
        for (const char* ip : {"a", "b", "c"})
            m_data->addEntry(entry(QString::fromLatin1(ip)));
        nextMillisecond();
        m_data->setPingResults({{QStringLiteral("a"), 0, ProbeResult::reply(1ms)}});
        nextMillisecond();
        m_data->setPingResults({{QStringLiteral("b"), 0, ProbeResult::reply(1ms)}});
        QTRY_COMPARE(column(list.tree(), 2), order);
    }

    // The filter matches address and description; the state filter the state; rows that
    // change follow them.
    void filterByTextAndState()
    {
        for (const char* ip : {"127.0.0.1", "127.0.0.2", "printer"})
            m_data->addEntry(entry(QString::fromLatin1(ip)));
        m_data->setPingResults({{QStringLiteral("127.0.0.2"), 0, ProbeResult::reply(1ms)}});
        auto* filter = m_list->findChild<QLineEdit*>(QStringLiteral("filterEdit"));
        QCOMPARE(filter->placeholderText(), QStringLiteral("Filter"));
        auto* count = m_list->findChild<QLabel*>(QStringLiteral("filterCountLabel"));
        QVERIFY(count->isHidden());
        typeInto(filter, QStringLiteral("ABOUT 127"));
        QCOMPARE(shown(), QStringList({"127.0.0.1", "127.0.0.2"}));
        QCOMPARE(count->text(), QStringLiteral("2 of 3 shown"));
        QVERIFY(!count->isHidden());
        // An edit of the description is filtered anew, both ways.
        m_data->changeEntry(QStringLiteral("printer"), QStringLiteral("printer"), false, QStringLiteral("about 127"),
                            DeviceTypePC);
        m_data->changeEntry(QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.1"), false, QStringLiteral("desk"),
                            DeviceTypePC);
        QTRY_COMPARE(shown(), QStringList({"127.0.0.2", "printer"}));
        m_data->changeEntry(QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.1"), false,
                            QStringLiteral("about 127.0.0.1"), DeviceTypePC);
        auto* state = m_list->findChild<QComboBox*>(QStringLiteral("stateFilter"));
        QTest::keyClick(state, Qt::Key_Down);
        QCOMPARE(state->currentText(), QStringLiteral("Connected"));
        QCOMPARE(shown(), QStringList({"127.0.0.2"}));
        m_data->setPingResults({{QStringLiteral("127.0.0.1"), 0, ProbeResult::reply(1ms)}});
        QTRY_COMPARE(shown(), QStringList({"127.0.0.1", "127.0.0.2"}));
        typeInto(filter, QString());
        QTest::keyClick(state, Qt::Key_Down);
        QCOMPARE(state->currentText(), QStringLiteral("Disconnected"));
        QCOMPARE(shown(), QStringList({"printer"}));
        QCOMPARE(count->text(), QStringLiteral("1 of 3 shown"));
        QTest::keyClick(state, Qt::Key_Home);
        QVERIFY(count->isHidden());
        m_list->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_list));
        QTest::keySequence(m_list->tree(), QKeySequence::Find);
        QTRY_VERIFY(filter->hasFocus());
    }

    // A device that goes down moves or shows as the sort and the filter say, and it alone: the
    // other rows keep their order and whether they show.
    void aStateChangeMovesThatRowAlone_data()
    {
        QTest::addColumn<QString>("sort");
        QTest::addColumn<int>("stateChoice");
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QStringList>("after");
        QTest::newRow("added, all") << "" << 0 << QStringList{"a", "b", "c", "d", "e"}
                                    << QStringList{"a", "b", "c", "d", "e"};
        QTest::newRow("by state, all") << "0,a" << 0 << QStringList{"a", "c", "e", "b", "d"}
                                       << QStringList{"a", "e", "b", "c", "d"};
        QTest::newRow("by address down, connected")
            << "2,d" << 1 << QStringList{"e", "c", "a"} << QStringList{"e", "a"};
        QTest::newRow("by result, disconnected") << "3,a" << 2 << QStringList{"b", "d"} << QStringList{"b", "c", "d"};
    }

    void aStateChangeMovesThatRowAlone()
    {
        QFETCH(QString, sort);
        QFETCH(int, stateChoice);
        QFETCH(QStringList, before);
        QFETCH(QStringList, after);
        const auto restore = qScopeGuard([] { Settings::instance().deviceListSort.clear(); });
        Settings::instance().deviceListSort = sort;
        useServices({});
        const QList<std::pair<const char*, ProbeResult>> results = {{"a", ProbeResult::reply(5ms)},
                                                                    {"b", ProbeResult::timeout()},
                                                                    {"c", ProbeResult::reply(1ms)},
                                                                    {"d", ProbeResult::timeout()},
                                                                    {"e", ProbeResult::reply(3ms)}};
        for (const auto& [ip, result] : results) {
            m_data->addEntry(entry(QString::fromLatin1(ip)));
            m_data->setPingResults({{QString::fromLatin1(ip), 0, result}});
        }
        auto* state = m_list->findChild<QComboBox*>(QStringLiteral("stateFilter"));
        for (int i = 0; i < stateChoice; ++i)
            QTest::keyClick(state, Qt::Key_Down);
        QTRY_COMPARE(shown(), before);
        m_data->setPingResults({{QStringLiteral("c"), 0, ProbeResult::timeout()}});
        QTRY_COMPARE(shown(), after);
    }

    // The summary counts the states, and devices not probed since start apart, with a
    // picture of their own; an empty list says how to fill it.
    void summaryAndNotYetProbed()
    {
        QVERIFY(QDir::setCurrent(QStringLiteral(TARNWICK_SOURCE_DIR)));
        Settings::instance().skin = QStringLiteral("Default");
        SkinResources::load();
        auto* summary = m_list->findChild<QLabel*>(QStringLiteral("summaryLabel"));
        auto* placeholder = m_list->findChild<QLabel*>(QStringLiteral("emptyListPlaceholder"));
        m_list->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_list));
        QVERIFY(placeholder->isVisible());
        QVERIFY(placeholder->text().contains(QStringLiteral("\"Add Device\"")));
        QVERIFY(placeholder->text().contains(QStringLiteral("\"Discover Devices\"")));
        for (const char* ip : {"a", "b", "c"})
            m_data->addEntry(entry(QString::fromLatin1(ip)));
        m_data->awaitFirstResults();
        UserList list;
        showTheStore(list);
        auto* listSummary = list.findChild<QLabel*>(QStringLiteral("summaryLabel"));
        QCOMPARE(listSummary->text(), QStringLiteral("3 devices: 0 connected, 0 disconnected, 3 not yet probed"));
        const QImage notProbed = SkinResources::icon(DevicePictures::notProbed()).pixmap(16).toImage();
        QCOMPARE(viewRow(list.tree(), 0).icon(0).pixmap(16).toImage(), notProbed);
        // No result before the first one, not a "no reply"; a reply within the millisecond in hundredths.
        QCOMPARE(column(list.tree(), 3), QStringList({"", "", ""}));
        m_data->setPingResults({{QStringLiteral("a"), 0, ProbeResult::reply(30us)}});
        m_data->setPingResults({{QStringLiteral("b"), 0, ProbeResult::timeout()}});
        QTRY_COMPARE(listSummary->text(), QStringLiteral("3 devices: 1 connected, 1 disconnected, 1 not yet probed"));
        QCOMPARE(column(list.tree(), 3), QStringList({"0.03", "X", ""}));
        QVERIFY(viewRow(list.tree(), 1).icon(0).pixmap(16).toImage() != notProbed);
        QTRY_COMPARE(summary->text(), QStringLiteral("3 devices: 1 connected, 1 disconnected, 1 not yet probed"));
        QTRY_VERIFY(!placeholder->isVisible());
    }

    // The summary follows while the first results of a long list stream in, not only once
    // they pause.
    void summaryKeepsUpWhileResultsStream()
    {
        constexpr int devices = 40;
        for (int i = 0; i < devices; ++i)
            m_data->addEntry(entry(QStringLiteral("s%1").arg(i)));
        m_data->awaitFirstResults();
        UserList list;
        showTheStore(list);
        auto* summary = list.findChild<QLabel*>(QStringLiteral("summaryLabel"));
        int fed = 0;
        QTimer feeder;
        connect(&feeder, &QTimer::timeout, this, [&] {
            if (fed < devices)
                m_data->setPingResults({{QStringLiteral("s%1").arg(fed++), 0, ProbeResult::reply(1ms)}});
        });
        feeder.start(50);
        QTRY_VERIFY_WITH_TIMEOUT(!summary->text().contains(QStringLiteral(" 0 connected")) || fed == devices, 10000);
        QVERIFY2(fed < devices, qPrintable(summary->text()));
    }

    // A slow device: its picture marked, counted in the summary, and shown by the "Slow" filter;
    // all of it gone when it recovers or goes down.
    void slowDevicesAreMarkedCountedAndFiltered()
    {
        QVERIFY(QDir::setCurrent(QStringLiteral(TARNWICK_SOURCE_DIR)));
        Settings::instance().skin = QStringLiteral("Default");
        SkinResources::load();
        FixedSlowness slowness;
        useServices({.slow = &slowness});
        for (const char* ip : {"a", "b", "c"}) {
            m_data->addEntry(entry(QString::fromLatin1(ip)));
            m_data->setPingResults({{QString::fromLatin1(ip), 0, ProbeResult::reply(1ms)}});
        }
        m_data->setPingResults({{QStringLiteral("c"), 0, ProbeResult::timeout()}});
        auto* summary = m_list->findChild<QLabel*>(QStringLiteral("summaryLabel"));
        QTRY_COMPARE(summary->text(), QStringLiteral("3 devices: 2 connected, 1 disconnected"));
        const auto picture = [this](int row) {
            return ModelRow(allRows(m_list->tree()), row).icon(0).pixmap(16).toImage();
        };
        const QImage connected
            = SkinResources::icon(DevicePictures::forState(DeviceStateConnected)).pixmap(16).toImage();
        QCOMPARE(picture(0), connected);

        slowness.set(QStringLiteral("a"), true);
        QVERIFY(picture(0) != connected);
        QCOMPARE(picture(1), connected);
        QTRY_COMPARE(summary->text(), QStringLiteral("3 devices: 2 connected (1 slow), 1 disconnected"));
        auto* state = m_list->findChild<QComboBox*>(QStringLiteral("stateFilter"));
        QTest::keyClick(state, Qt::Key_End);
        QCOMPARE(state->currentText(), QStringLiteral("Slow"));
        QCOMPARE(shown(), QStringList({"a"}));
        slowness.set(QStringLiteral("b"), true);
        QTRY_COMPARE(shown(), QStringList({"a", "b"}));

        // Down, it is told as such: neither marked nor counted slow, whatever the view says.
        m_data->setPingResults({{QStringLiteral("a"), 0, ProbeResult::timeout()}});
        QTRY_COMPARE(shown(), QStringList({"b"}));
        QCOMPARE(picture(0),
                 SkinResources::icon(DevicePictures::forState(DeviceStateDisconnected)).pixmap(16).toImage());
        QTRY_COMPARE(summary->text(), QStringLiteral("3 devices: 1 connected (1 slow), 2 disconnected"));
        slowness.set(QStringLiteral("b"), false);
        QCOMPARE(picture(1), connected);
        QTRY_COMPARE(shown(), QStringList());
        QTRY_COMPARE(summary->text(), QStringLiteral("3 devices: 1 connected, 2 disconnected"));
    }

    // The empty list's hint covers the list's whole inside, also when the list is sized before
    // it is first shown, as in the main window.
    void emptyListHintFillsTheList()
    {
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* list = new UserList(&window);
        layout->addWidget(list);
        window.resize(640, 420);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const auto* placeholder = list->findChild<QLabel*>(QStringLiteral("emptyListPlaceholder"));
        QVERIFY(placeholder->isVisible());
        QTRY_COMPARE(placeholder->geometry(), list->tree()->viewport()->rect());
        QVERIFY(placeholder->height() >= placeholder->sizeHint().height());
        window.resize(400, 300);
        QTRY_COMPARE(placeholder->geometry(), list->tree()->viewport()->rect());
    }

    // With the skin's style, a scroll bar's thumb is where its value is: at the left while the
    // first columns show.
    void scrollBarThumbShowsWhereTheViewIs()
    {
        QFile sheet(QStringLiteral(TARNWICK_SOURCE_DIR "/Skins/Default/style.css"));
        QVERIFY(sheet.open(QIODevice::ReadOnly));
        m_list->setStyleSheet(QString::fromUtf8(sheet.readAll()));
        m_data->addEntry(entry(QStringLiteral("a")));
        m_list->resize(300, 200);
        m_list->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_list));
        QScrollBar* bar = m_list->tree()->horizontalScrollBar();
        QTRY_VERIFY(bar->isVisible() && bar->maximum() > 0);
        const auto lightness = [bar](double from, double to) {
            const QImage picture = bar->grab().toImage();
            qint64 sum = 0;
            int count = 0;
            for (int x = int(picture.width() * from); x < int(picture.width() * to); ++x) {
                sum += QColor(picture.pixel(x, picture.height() / 2)).lightness();
                ++count;
            }
            return sum / std::max(count, 1);
        };
        QCOMPARE(bar->value(), 0);
        QVERIFY(lightness(0.1, 0.2) < lightness(0.8, 0.9) - 20);
        bar->setValue(bar->maximum());
        QVERIFY(lightness(0.8, 0.9) < lightness(0.1, 0.2) - 20);
    }

    // The keys act on the selected rows: Delete asks first and names them, Ctrl+C copies the
    // addresses, the Menu key and Shift+F10 open the menu at the current row.
    void keyboard()
    {
        for (const char* ip : {"a", "b", "c"})
            m_data->addEntry(entry(QString::fromLatin1(ip)));
        UserListTreeWidget* tree = m_list->tree();
        m_list->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_list));
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, onRow(tree, 1));
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::ShiftModifier, onRow(tree, 2));
        QTest::keyClick(tree, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("b\nc"));

        QList<QPoint> menus;
        tree->setMenuRunner([&](QMenu*, const QPoint& at) { menus << at; });
        QTest::keyClick(tree, Qt::Key_Menu);
        QTest::keyClick(tree, Qt::Key_F10, Qt::ShiftModifier);
        QCOMPARE(menus.size(), 2);
        QVERIFY(tree->viewport()->rect().contains(tree->viewport()->mapFromGlobal(menus[0])));

        QStringList asked;
        bool answer = false;
        tree->setConfirmation([&](QWidget*, const QString& question) {
            asked << question;
            return answer;
        });
        QTest::keyClick(tree, Qt::Key_Delete);
        QCOMPARE(m_data->entries().size(), 3);
        answer = true;
        QTest::keyClick(tree, Qt::Key_Delete);
        QCOMPARE(asked.last(), QStringLiteral("Remove these 2 devices from the list: b (about b), c (about c)?"));
        QCOMPARE(column(tree, 2), QStringList{"a"});
    }

    void pingNowProbesTheSelectedRows()
    {
        QStringList probed;
        useServices({.pingNow = [&](const QString& ip) { probed << ip; }});
        for (const char* ip : {"a", "b"})
            m_data->addEntry(entry(QString::fromLatin1(ip)));
        UserListTreeWidget* tree = m_list->tree();
        m_list->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_list));
        tree->setMenuRunner(
            [](QMenu* menu, const QPoint& at) { QVERIFY(chooseInMenu(menu, at, QStringLiteral("Ping now"))); });
        QTest::mouseClick(tree->viewport(), Qt::RightButton, Qt::NoModifier, onRow(tree, 1));
        QCOMPARE(probed, QStringList{"b"});
    }

    // The row menu mutes the selected rows for a while or until unmuted, and offers "Unmute"
    // on a muted row only.
    void rowMenuMutesAndUnmutes_data()
    {
        QTest::addColumn<QString>("choice");
        QTest::addColumn<int>("hours"); // 0: until unmuted
        QTest::newRow("1 hour") << "For 1 hour" << 1;
        QTest::newRow("8 hours") << "For 8 hours" << 8;
        QTest::newRow("until unmuted") << "Until unmuted" << 0;
    }

    void rowMenuMutesAndUnmutes()
    {
        QFETCH(QString, choice);
        QFETCH(int, hours);
        MuteList mutes;
        useServices({.mutes = &mutes});
        for (const char* ip : {"a", "b"})
            m_data->addEntry(entry(QString::fromLatin1(ip)));
        UserListTreeWidget* tree = m_list->tree();
        m_list->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_list));
        QStringList shown;
        const auto choose = [&](const QString& text) {
            tree->setMenuRunner([&shown, text](QMenu* menu, const QPoint& at) {
                QVERIFY(chooseInMenu(menu, at, text));
                // As the menu showed them.
                for (QAction* action : menu->actions())
                    shown << (action->isVisible() ? action->text() : QString());
            });
            QTest::mouseClick(tree->viewport(), Qt::RightButton, Qt::NoModifier, onRow(tree, 1));
        };
        const QDateTime before = QDateTime::currentDateTimeUtc();
        choose(choice);
        QVERIFY(!shown.contains(QStringLiteral("Unmute")));
        QVERIFY(!mutes.mutedUntil(QStringLiteral("a")));
        const std::optional<QDateTime> until = mutes.mutedUntil(QStringLiteral("b"));
        QVERIFY(until);
        if (hours)
            QVERIFY(until->isValid() && until >= before.addSecs(hours * 3600)
                    && *until < before.addSecs(hours * 3600 + 60));
        else
            QVERIFY(!until->isValid());
        // The muted row, and it alone, is marked and says until when.
        const ModelRow a = viewRow(tree, 0);
        const ModelRow b = viewRow(tree, 1);
        QVERIFY(a.icon(DeviceListModel::DescriptionColumn).isNull());
        QVERIFY(a.toolTip(DeviceListModel::DescriptionColumn).isEmpty());
        QVERIFY(!b.icon(DeviceListModel::DescriptionColumn).isNull());
        const QString said = b.toolTip(DeviceListModel::DescriptionColumn);
        if (hours)
            QVERIFY2(QRegularExpression(QStringLiteral("^Alerts muted until (\\d+ \\w+ )?%1$")
                                            .arg(until->toLocalTime().toString(QStringLiteral("hh:mm"))))
                         .match(said)
                         .hasMatch(),
                     qPrintable(said));
        else
            QCOMPARE(said, QStringLiteral("Alerts muted until unmuted"));
        choose(QStringLiteral("Unmute"));
        QVERIFY(!mutes.isMuted(QStringLiteral("b")));
        QVERIFY(b.icon(DeviceListModel::DescriptionColumn).isNull());
        QVERIFY(b.toolTip(DeviceListModel::DescriptionColumn).isEmpty());
    }

    // The mark follows mutes the list did not make: those read at start, the mute of all
    // devices, and a mute coming to its end while the window is open.
    void muteMarkFollowsStartEndsAndAllDevices()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("Mutes.xml"));
        {
            MuteList before;
            before.load(file);
            before.mute(QStringLiteral("a"), QDateTime());
        }
        MuteList mutes;
        mutes.load(file);
        useServices({.mutes = &mutes});
        for (const char* ip : {"a", "b"})
            m_data->addEntry(entry(QString::fromLatin1(ip)));
        const ModelRow a = viewRow(m_list->tree(), 0);
        const ModelRow b = viewRow(m_list->tree(), 1);
        const auto said = [](const ModelRow& row) { return row.toolTip(DeviceListModel::DescriptionColumn); };
        QCOMPARE(said(a), QStringLiteral("Alerts muted until unmuted"));
        QVERIFY(!a.icon(DeviceListModel::DescriptionColumn).isNull());
        QVERIFY(said(b).isEmpty());

        const QDateTime now = QDateTime::currentDateTimeUtc();
        mutes.muteAll(now.addSecs(3600));
        QCOMPARE(said(a), QStringLiteral("Alerts muted until unmuted"));
        QVERIFY(said(b).startsWith(QStringLiteral("Alerts muted until ")));
        QVERIFY(!b.icon(DeviceListModel::DescriptionColumn).isNull());
        mutes.unmuteAll();
        QVERIFY(said(b).isEmpty());

        mutes.mute(QStringLiteral("b"), now.addMSecs(300));
        QVERIFY(!said(b).isEmpty());
        QTRY_VERIFY(said(b).isEmpty());
        QVERIFY(b.icon(DeviceListModel::DescriptionColumn).isNull());
        QCOMPARE(said(a), QStringLiteral("Alerts muted until unmuted"));
    }

    // "Maintenance…" in the row menu opens the dialog for the row: a weekly window without a day
    // is refused with its reason; a window from an hour ago is added, listed, and marks the row
    // while it lasts; "Remove" takes it away again.
    void rowMenuOpensTheRowsMaintenance()
    {
        MaintenanceList maintenance;
        useServices({.maintenance = &maintenance});
        for (const char* ip : {"a", "b"})
            m_data->addEntry(entry(QString::fromLatin1(ip)));
        UserListTreeWidget* tree = m_list->tree();
        m_list->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_list));
        tree->setMenuRunner(
            [](QMenu* menu, const QPoint& at) { QVERIFY(chooseInMenu(menu, at, QStringLiteral("Maintenance…"))); });
        QTest::mouseClick(tree->viewport(), Qt::RightButton, Qt::NoModifier, onRow(tree, 1));
        MaintenanceDialog* dialog = nullptr;
        QTRY_VERIFY((dialog = m_list->findChild<MaintenanceDialog*>()));
        QVERIFY(QTest::qWaitForWindowExposed(dialog));

        QTest::mouseClick(dialog->findChild<QRadioButton*>(QStringLiteral("weeklyButton")), Qt::LeftButton);
        pressButton(dialog, "addButton");
        QMessageBox* refusal = nullptr;
        QTRY_VERIFY((refusal = dialog->findChild<QMessageBox*>(QStringLiteral("refusal"))));
        QCOMPARE(refusal->text(), QStringLiteral("Choose at least one day of the week."));
        QTest::mouseClick(refusal->button(QMessageBox::Ok), Qt::LeftButton);
        QVERIFY(maintenance.windows().isEmpty());

        QTest::mouseClick(dialog->findChild<QRadioButton*>(QStringLiteral("onceButton")), Qt::LeftButton);
        // From a day earlier than offered: the window covers now.
        QTest::keyClick(dialog->findChild<QDateTimeEdit*>(QStringLiteral("fromEdit")), Qt::Key_Down);
        pressButton(dialog, "addButton");
        QCOMPARE(maintenance.windows().size(), 1);
        QCOMPARE(maintenance.windows()[0].ip, QStringLiteral("b"));
        auto* listed = dialog->findChild<QListWidget*>(QStringLiteral("windowList"));
        QCOMPARE(listed->count(), 1);
        QCOMPARE(listed->item(0)->text(), maintenance.windows()[0].text());
        const ModelRow a = viewRow(tree, 0);
        const ModelRow b = viewRow(tree, 1);
        QVERIFY(a.toolTip(DeviceListModel::InformColumn).isEmpty());
        QVERIFY2(b.toolTip(DeviceListModel::InformColumn).startsWith(QStringLiteral("In maintenance until ")),
                 qPrintable(b.toolTip(DeviceListModel::InformColumn)));
        QVERIFY(!b.icon(DeviceListModel::InformColumn).isNull());

        QTest::mouseClick(listed->viewport(), Qt::LeftButton, Qt::NoModifier,
                          listed->visualItemRect(listed->item(0)).center());
        pressButton(dialog, "removeButton");
        QVERIFY(maintenance.windows().isEmpty());
        QCOMPARE(listed->count(), 0);
        QVERIFY(b.icon(DeviceListModel::InformColumn).isNull());
    }

    // Why a probe failed, where the network said so, is the result's tooltip until a reply.
    void resultToolTipSaysWhyNoReply()
    {
        m_data->addEntry(entry(QStringLiteral("pc")));
        const ModelRow pc = viewRow(m_list->tree(), 0);
        m_data->setPingResults(
            {{QStringLiteral("pc"), 0,
              ProbeResult{ProbeResult::Timeout, 0, QStringLiteral("host unreachable, from 10.0.0.1")}}});
        QCOMPARE(pc.toolTip(DeviceListModel::ResultColumn), QStringLiteral("host unreachable, from 10.0.0.1"));
        m_data->setPingResults({{QStringLiteral("pc"), 0, ProbeResult::reply(3ms)}});
        QVERIFY(pc.toolTip(DeviceListModel::ResultColumn).isEmpty());

        // A further check that fails is named once, beside those that answer.
        DeviceEntry several = entry(QStringLiteral("nas"));
        several.moreChecks = {DeviceCheck::tcp(8080), DeviceCheck::tcp(22)};
        m_data->addEntry(several);
        m_data->setPingResults(
            {{QStringLiteral("nas"),
              0,
              ProbeResult::reply(3ms),
              DeviceCheck{},
              several.moreChecks,
              {ProbeResult{ProbeResult::Timeout, 0, QStringLiteral("connection refused")}, ProbeResult::reply(2ms)}}});
        QCOMPARE(viewRow(m_list->tree(), 1).text(DeviceListModel::AddressColumn), QStringLiteral("nas"));
        const ModelRow nas = viewRow(m_list->tree(), 1);
        QCOMPARE(nas.toolTip(DeviceListModel::ResultColumn),
                 QStringLiteral("TCP 8080: connection refused\nTCP 22: 2 ms"));
    }

    // A screen reader hears each picture in words: the state (cut off, slow), the type, a mute.
    void picturesAreSpokenInWords()
    {
        FixedReachability reachability;
        reachability.set({{QStringLiteral("pc"), QStringLiteral("router")}});
        FixedSlowness slowness;
        MuteList mutes;
        useServices({.reachability = &reachability, .mutes = &mutes, .slow = &slowness});
        const auto forget = qScopeGuard([this] { useServices({}); });
        m_data->addEntry(entry(QStringLiteral("router"), DeviceTypeRouter));
        m_data->addEntry(entry(QStringLiteral("pc")));
        m_data->setPingResults({{QStringLiteral("router"), 0, ProbeResult::reply(1ms)},
                                {QStringLiteral("pc"), 0, ProbeResult::timeout()}});
        m_list->refreshStatistics();
        slowness.set(QStringLiteral("router"), true);
        mutes.mute(QStringLiteral("pc"), QDateTime());
        m_list->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_list));
        QAccessibleTableInterface* table = QAccessible::queryAccessibleInterface(m_list->tree())->tableInterface();
        QVERIFY(table);
        const auto heard = [table](int row, int column) {
            QAccessibleInterface* cell = table->cellAt(row, column);
            return cell ? cell->text(QAccessible::Name) : QStringLiteral("(no cell)");
        };
        QCOMPARE(heard(0, DeviceListModel::StateColumn), QStringLiteral("connected, slow"));
        QCOMPARE(heard(0, DeviceListModel::TypeColumn), QStringLiteral("Router"));
        QCOMPARE(heard(1, DeviceListModel::StateColumn), QStringLiteral("disconnected, unreachable behind router"));
        QCOMPARE(heard(1, DeviceListModel::DescriptionColumn), QStringLiteral("about pc; Alerts muted until unmuted"));
        QCOMPARE(heard(1, DeviceListModel::AddressColumn), QStringLiteral("pc"));
        // The filter field has a name of its own: a placeholder is none.
        QVERIFY(!QAccessible::queryAccessibleInterface(m_list->findChild<QWidget*>(QStringLiteral("filterEdit")))
                     ->text(QAccessible::Name)
                     .isEmpty());
    }

    // A device cut off behind a failed one shows its state greyed, and says behind which; once
    // it answers again its picture is the connected one at once, whatever the last look at
    // the map's links still says.
    void cutOffDevicesSayBehindWhich()
    {
        QVERIFY(QDir::setCurrent(QStringLiteral(TARNWICK_SOURCE_DIR)));
        Settings::instance().skin = QStringLiteral("Default");
        SkinResources::load();
        const auto picture = [](const ModelRow& row) { return row.icon(0).pixmap(16).toImage(); };
        const QImage connected
            = SkinResources::icon(DevicePictures::forState(DeviceStateConnected)).pixmap(16).toImage();
        const QImage disconnected
            = SkinResources::icon(DevicePictures::forState(DeviceStateDisconnected)).pixmap(16).toImage();
        FixedReachability reachability;
        reachability.set({{QStringLiteral("pc"), QStringLiteral("router")}});
        useServices({.reachability = &reachability});
        const auto forget = qScopeGuard([this] { useServices({}); });
        m_data->addEntry(entry(QStringLiteral("router")));
        m_data->addEntry(entry(QStringLiteral("pc")));
        m_list->refreshStatistics();
        UserListTreeWidget* tree = m_list->tree();
        const ModelRow pc = viewRow(tree, 1);
        QCOMPARE(pc.toolTip(0), QStringLiteral("Unreachable: behind router"));
        QVERIFY(picture(pc) != disconnected);
        QVERIFY(viewRow(tree, 0).toolTip(0).isEmpty());

        m_data->setPingResults({{QStringLiteral("pc"), 0, ProbeResult::reply(1ms)}});
        QCOMPARE(picture(pc), connected);
        QVERIFY(pc.toolTip(0).isEmpty());
        m_list->refreshStatistics();
        QCOMPARE(picture(pc), connected);
        reachability.set({});
        m_list->refreshStatistics();
        QCOMPARE(picture(pc), connected);

        m_data->setPingResults({{QStringLiteral("pc"), 0, ProbeResult::timeout()}});
        QCOMPARE(picture(pc), disconnected);
        reachability.set({{QStringLiteral("pc"), QStringLiteral("router")}});
        m_list->refreshStatistics();
        QVERIFY(picture(pc) != disconnected);
        reachability.set({});
        m_list->refreshStatistics();
        QCOMPARE(picture(pc), disconnected);
        QVERIFY(pc.toolTip(0).isEmpty());
    }

    void columnWidthsAreRemembered()
    {
        const auto restore = qScopeGuard([] {
            Settings::instance().columnWidths.clear();
            Settings::instance().shownColumns.clear();
        });
        m_list->tree()->header()->resizeSection(4, 321);
        QVERIFY(Settings::instance().columnWidths.contains(QStringLiteral(",321,")));
        UserList next;
        QCOMPARE(next.tree()->columnWidth(4), 321);
        // Widths kept before the optional columns came, or narrower than their headers: those show
        // their headers whole.
        const int dayMedian = DeviceListModel::ColumnCount - 2;
        Settings::instance().shownColumns = QString::number(dayMedian);
        for (const char* kept : {"54,24,100,60,100,100,60,70,70,90", "54,24,100,60,102,226,60,70,70,90,59,67,59,201"}) {
            Settings::instance().columnWidths = QString::fromLatin1(kept);
            UserList older;
            QVERIFY(!older.tree()->isColumnHidden(dayMedian));
            QCOMPARE_GE(older.tree()->columnWidth(dayMedian), older.tree()->header()->sectionSizeHint(dayMedian));
        }
    }

    void rowsFollowTheStore()
    {
        for (const char* ip : {"a", "b", "c", "Host"})
            m_data->addEntry(entry(QString::fromLatin1(ip), DeviceTypeRouter, ip[0] == 'b'));
        QTreeView* tree = m_list->findChild<QTreeView*>(QStringLiteral("deviceTree"));
        QVERIFY(tree);
        QCOMPARE(column(tree, 2), QStringList({"a", "b", "c", "Host"}));
        QCOMPARE(column(tree, 3), QStringList({"X", "X", "X", "X"}));
        QCOMPARE(column(tree, 5), QStringList({"no", "yes", "no", "no"}));

        m_data->setPingResults({{QStringLiteral("b"), 0, ProbeResult::reply(12ms)}});
        m_data->setPingResults({{QStringLiteral("host"), 0, ProbeResult::reply(3ms)}});
        QCOMPARE(column(tree, 3), QStringList({"X", "12", "X", "X"}));

        m_data->changeEntry(QStringLiteral("c"), QStringLiteral("c"), true, QStringLiteral("new text"), 9);
        QCOMPARE(viewRow(tree, 2).text(4), QStringLiteral("new text"));
        QCOMPARE(viewRow(tree, 2).text(5), QStringLiteral("yes"));

        m_data->removeEntry(QStringLiteral("b"));
        QCOMPARE(column(tree, 2), QStringList({"a", "c", "Host"}));
    }

    void iconsByStateAndType()
    {
        QVERIFY(QDir::setCurrent(QStringLiteral(TARNWICK_SOURCE_DIR)));
        Settings::instance().skin = QStringLiteral("Default");
        SkinResources::load();
        auto key = [](const char* name) { return SkinResources::icon(QString::fromLatin1(name)).cacheKey(); };

        m_data->addEntry(entry(QStringLiteral("a"), DeviceTypeAP));
        m_data->addEntry(entry(QStringLiteral("b"), 0));
        UserListTreeWidget* tree = m_list->tree();
        const ModelRow a = viewRow(tree, 0);
        QCOMPARE(a.icon(0).cacheKey(), key("DisconnectedIcon.png"));
        QCOMPARE(a.icon(1).cacheKey(), key("DeviceTypeAPIcon.png"));
        QVERIFY(viewRow(tree, 1).icon(1).isNull());

        m_data->setPingResults({{QStringLiteral("a"), 0, ProbeResult::reply(4ms)}});
        QCOMPARE(a.icon(0).cacheKey(), key("ConnectedIcon.png"));
        m_data->changeEntry(QStringLiteral("a"), QStringLiteral("a"), false, QString(), DeviceTypeWeb);
        QCOMPARE(a.icon(1).cacheKey(), key("DeviceTypeWebIcon.png"));
        QCOMPARE(a.icon(0).cacheKey(), key("ConnectedIcon.png"));
        // A type outside 1 to 4 leaves the icon as it was.
        m_data->changeEntry(QStringLiteral("a"), QStringLiteral("a"), false, QString(), 9);
        QCOMPARE(a.icon(1).cacheKey(), key("DeviceTypeWebIcon.png"));
        m_data->setPingResults({{QStringLiteral("a"), 0, ProbeResult::timeout()}});
        QCOMPARE(a.icon(0).cacheKey(), key("DisconnectedIcon.png"));
        QCOMPARE(a.text(3), QStringLiteral("X"));
    }

    void removeActsOnEverySelectedRow()
    {
        for (const char* ip : {"a", "b", "c", "d"})
            m_data->addEntry(entry(QString::fromLatin1(ip)));
        UserListTreeWidget* tree = m_list->tree();
        m_list->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_list));
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, onRow(tree, 0));
        for (int i : {2, 3})
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::ControlModifier, onRow(tree, i));
        tree->setMenuRunner(
            [](QMenu* menu, const QPoint& at) { QVERIFY(chooseInMenu(menu, at, QStringLiteral("Remove"))); });
        QString asked;
        tree->setConfirmation([&](QWidget*, const QString& question) {
            asked = question;
            return true;
        });
        QTest::mouseClick(tree->viewport(), Qt::RightButton, Qt::NoModifier, onRow(tree, 2));
        QCOMPARE(asked, QStringLiteral("Remove these 3 devices from the list: a (about a), c (about c), d (about d)?"));
        QCOMPARE(column(tree, 2), QStringList({"b"}));
        QCOMPARE(m_data->entries().size(), 1);
    }

    // Rows removed together leave the others as they were, whether they formed one range or
    // many (the list is then made anew at once); results still reach the right rows afterwards.
    void removingManyRowsLeavesTheRest_data()
    {
        QTest::addColumn<QList<int>>("chosen");
        QTest::newRow("one range") << QList<int>{4, 5, 6, 7, 8, 9};
        QList<int> everyOther;
        for (int row = 0; row < 40; row += 2)
            everyOther << row;
        QTest::newRow("twenty ranges") << everyOther;
    }

    void removingManyRowsLeavesTheRest()
    {
        QFETCH(QList<int>, chosen);
        QStringList addresses;
        for (int i = 0; i < 40; ++i) {
            addresses << QStringLiteral("10.0.0.%1").arg(i);
            m_data->addEntry(entry(addresses.last()));
        }
        UserListTreeWidget* tree = m_list->tree();
        m_list->resize(700, 1400);
        m_list->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_list));
        for (const int row : std::as_const(chosen))
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::ControlModifier, onRow(tree, row));
        tree->setConfirmation([](QWidget*, const QString&) { return true; });
        QTest::keyClick(tree, Qt::Key_Delete);

        QStringList left = addresses;
        for (auto row = chosen.crbegin(); row != chosen.crend(); ++row)
            left.removeAt(*row);
        QCOMPARE(column(tree, 2), left);
        QStringList stored;
        for (const DeviceEntry& e : m_data->entries())
            stored << e.ip;
        QCOMPARE(stored, left);
        m_data->setPingResults({{left.last(), 0, ProbeResult::reply(std::chrono::milliseconds(7))}});
        QCOMPARE(tree->model()->index(int(left.size()) - 1, 3).data().toString(), QStringLiteral("7"));
    }

    // Descriptions are the user's text: markup in them is shown as typed, and hides nothing of
    // the question that names the devices to remove, nor of the details view's heading.
    void descriptionsAreNeverMarkup()
    {
        m_data->addEntry(
            DeviceEntry(QStringLiteral("a"), QStringLiteral("<!-- hidden"), DeviceTypePC, false, NoReplyResult));
        m_data->addEntry(DeviceEntry(QStringLiteral("b"), QStringLiteral("<img src=\"/etc/hostname\">"), DeviceTypePC,
                                     false, NoReplyResult));
        UserListTreeWidget* tree = m_list->tree();
        m_list->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_list));
        tree->selectAll();
        Qt::TextFormat format = Qt::AutoText;
        QString asked;
        QTimer::singleShot(0, this, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                const auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
                format = label->textFormat();
                asked = label->text();
                QTest::mouseClick(box->button(QMessageBox::No), Qt::LeftButton);
            }
        });
        QTest::keyClick(tree, Qt::Key_Delete);
        QCOMPARE(format, Qt::PlainText);
        QCOMPARE(asked,
                 QStringLiteral("Remove these 2 devices from the list: a (<!-- hidden), b (<img "
                                "src=\"/etc/hostname\">)?"));
        QCOMPARE(m_data->entries().size(), 2);

        tree->setCurrentIndex(tree->model()->index(1, 0));
        QTest::keyClick(tree, Qt::Key_Return);
        auto* dialog = m_list->findChild<DeviceDetailsDialog*>(QStringLiteral("deviceDetailsDialog"));
        QVERIFY(dialog);
        const auto* heading = dialog->findChild<QLabel*>(QStringLiteral("headingLabel"));
        QCOMPARE(heading->textFormat(), Qt::PlainText);
        QCOMPARE(heading->text(), QStringLiteral("b - <img src=\"/etc/hostname\">"));
        delete dialog;
    }

    // Two entries may share an address after an edit; removing the address removes the first
    // entry from the store and so the first of the rows that show it.
    void removeOfADuplicateAddressTakesTheFirstRow()
    {
        m_data->addEntry(entry(QStringLiteral("a")));
        m_data->addEntry(entry(QStringLiteral("b")));
        m_data->changeEntry(QStringLiteral("b"), QStringLiteral("a"), false, QStringLiteral("second"), DeviceTypePC);
        UserList list;
        showTheStore(list);
        QTreeView* tree = list.findChild<QTreeView*>(QStringLiteral("deviceTree"));
        QCOMPARE(column(tree, 4), QStringList({"about a", "second"}));
        m_data->removeEntry(QStringLiteral("a"));
        QCOMPARE(column(tree, 4), QStringList({"second"}));
    }

    void rightClickSelectionRule_data()
    {
        QTest::addColumn<int>("clickedRow");
        QTest::addColumn<QList<int>>("selectedAfter");
        QTest::newRow("unselected row takes the selection") << 0 << QList<int>{0};
        QTest::newRow("selected row keeps the selection") << 1 << QList<int>{1, 2};
    }

    void rightClickSelectionRule()
    {
        QFETCH(int, clickedRow);
        QFETCH(QList<int>, selectedAfter);
        for (const char* ip : {"a", "b", "c"})
            m_data->addEntry(entry(QString::fromLatin1(ip)));
        UserListTreeWidget* tree = m_list->tree();
        m_list->resize(400, 300);
        m_list->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_list));
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, onRow(tree, 1));
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::ShiftModifier, onRow(tree, 2));

        QList<int> selectedWhenMenuOpened;
        int menus = 0;
        tree->setMenuRunner([&](QMenu*, const QPoint&) {
            ++menus;
            for (int i = 0; i < tree->model()->rowCount(); ++i) {
                if (tree->selectionModel()->isRowSelected(i))
                    selectedWhenMenuOpened << i;
            }
        });
        const QPoint at = tree->rowRect(tree->model()->index(clickedRow, 0)).center();
        QTest::mousePress(tree->viewport(), Qt::RightButton, Qt::NoModifier, at);
        QCOMPARE(menus, 1);
        QCOMPARE(selectedWhenMenuOpened, selectedAfter);
    }

    void editOnSeveralRowsInOneDialog_data()
    {
        QTest::addColumn<int>("typeChosen"); // -1: left blank
        QTest::addColumn<bool>("flagClicked");
        QTest::addColumn<QList<int>>("types");
        QTest::addColumn<QList<bool>>("flags");
        QTest::newRow("type and flag set for all")
            << int(DeviceTypeRouter) << true << QList<int>{DeviceTypeRouter, DeviceTypeRouter}
            << QList<bool>{true, true};
        QTest::newRow("left as they differ: each keeps its own")
            << -1 << false << QList<int>{DeviceTypePC, DeviceTypeAP} << QList<bool>{false, true};
    }

    // Edit on several selected rows opens one dialog that sets the type and the flag of all
    // of them; descriptions and the rows not selected stay.
    void editOnSeveralRowsInOneDialog()
    {
        QFETCH(int, typeChosen);
        QFETCH(bool, flagClicked);
        QFETCH(QList<int>, types);
        QFETCH(QList<bool>, flags);
        m_data->addEntry(entry(QStringLiteral("a"), DeviceTypePC, false));
        m_data->addEntry(entry(QStringLiteral("b"), DeviceTypeAP, true));
        m_data->addEntry(entry(QStringLiteral("c"), DeviceTypeWeb, false));
        UserListTreeWidget* tree = m_list->tree();
        m_list->resize(400, 300);
        m_list->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_list));
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, onRow(tree, 0));
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::ControlModifier, onRow(tree, 1));
        tree->contextMenu()->actions().first()->trigger();

        QList<EditDeviceEntryDialog*> dialogs;
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<EditDeviceEntryDialog*>(window); dialog && dialog->isVisible())
                dialogs << dialog;
        }
        QCOMPARE(dialogs.size(), 1);
        EditDeviceEntryDialog* dialog = dialogs.first();
        QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("ipLabel"))->text(), QStringLiteral("2 devices"));
        QVERIFY(!dialog->findChild<QLineEdit*>(QStringLiteral("descriptionEdit"))->isEnabled());
        auto* type = dialog->findChild<QComboBox*>(QStringLiteral("typeCombo"));
        auto* flag = dialog->findChild<QCheckBox*>(QStringLiteral("informCheckBox"));
        QCOMPARE(type->currentIndex(), -1);
        QCOMPARE(flag->checkState(), Qt::PartiallyChecked);
        if (typeChosen >= 0)
            type->setCurrentIndex(type->findData(typeChosen));
        if (flagClicked)
            QTest::keyClick(flag, Qt::Key_Space);
        pressButton(dialog, "okButton");

        QCOMPARE(QList<int>({m_data->entry(QStringLiteral("a")).type, m_data->entry(QStringLiteral("b")).type}), types);
        QCOMPARE(QList<bool>({m_data->entry(QStringLiteral("a")).informOnStateChange,
                              m_data->entry(QStringLiteral("b")).informOnStateChange}),
                 flags);
        QCOMPARE(m_data->entry(QStringLiteral("b")).description, QStringLiteral("about b"));
        QCOMPARE(m_data->entry(QStringLiteral("c")).type, int(DeviceTypeWeb));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

QTEST_MAIN(TestUserList)
#include "tst_userlist.moc"
