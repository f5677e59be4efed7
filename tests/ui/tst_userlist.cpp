#include "data/Data.h"
#include "data/Settings.h"
#include "skin/SkinResources.h"
#include "ui/UserList.h"
#include "ui/UserListTreeWidget.h"

#include <QDateTime>
#include <QDir>
#include <QMenu>
#include <QMouseEvent>
#include <QScopeGuard>
#include <QTest>

using namespace Tarnwick;

namespace {

DeviceEntry entry(const QString& ip, int type = DeviceTypePC, bool inform = false)
{
    return DeviceEntry(ip, QStringLiteral("about ") + ip, type, inform, NoReplyResult);
}

QStringList column(const QTreeWidget* tree, int c)
{
    QStringList texts;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        texts << tree->topLevelItem(i)->text(c);
    return texts;
}

} // namespace

class TestUserList : public QObject
{
    Q_OBJECT

    Data* m_data = nullptr;
    UserList* m_list = nullptr;

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

    void columnsHaveTheirWidths()
    {
        m_list->show();
        QTreeWidget* tree = m_list->findChild<QTreeWidget*>(QStringLiteral("deviceTree"));
        const QList<int> widths = {54, 24, 100, 60, 100};
        for (int column = 0; column < widths.size(); ++column)
            QCOMPARE(tree->columnWidth(column), widths[column]);
    }

    // Loss, average, jitter and the time in the present state, from the statistics source.
    void statisticsColumns()
    {
        UserList::setStatisticsSource([](const QString& ip) {
            UserList::RowStatistics statistics;
            if (ip == QLatin1String("a")) {
                statistics.lossPercent = 12.5;
                statistics.averageMs = 3.267;
                statistics.jitterMs = 0.4;
                statistics.lastAnsweredMs = QDateTime::currentMSecsSinceEpoch();
            }
            return statistics;
        });
        const auto restore = qScopeGuard([] { UserList::setStatisticsSource({}); });
        m_data->addEntry(entry(QStringLiteral("a")));
        m_data->addEntry(entry(QStringLiteral("b")));
        m_list->refreshStatistics();
        QTreeWidget* tree = m_list->findChild<QTreeWidget*>(QStringLiteral("deviceTree"));
        QCOMPARE(tree->headerItem()->text(6), QStringLiteral("Loss"));
        QCOMPARE(tree->headerItem()->text(9), QStringLiteral("Since"));
        QCOMPARE(column(tree, 6), QStringList({"12.5 %", "-"}));
        QCOMPARE(column(tree, 7), QStringList({"3.27 ms", "-"}));
        QCOMPARE(column(tree, 8), QStringList({"0.40 ms", "-"}));
        QCOMPARE(column(tree, 9), QStringList({"0 s", "0 s"}));
        QVERIFY(tree->topLevelItem(0)->toolTip(9).startsWith(QStringLiteral("Last seen ")));
        QCOMPARE(tree->topLevelItem(1)->toolTip(9), QStringLiteral("Not seen since Tarnwick started"));
    }

    void rowsFollowTheStore()
    {
        for (const char* ip : {"a", "b", "c", "Host"})
            m_data->addEntry(entry(QString::fromLatin1(ip), DeviceTypeRouter, ip[0] == 'b'));
        QTreeWidget* tree = m_list->findChild<QTreeWidget*>(QStringLiteral("deviceTree"));
        QVERIFY(tree);
        QCOMPARE(column(tree, 2), QStringList({"a", "b", "c", "Host"}));
        QCOMPARE(column(tree, 3), QStringList({"X", "X", "X", "X"}));
        QCOMPARE(column(tree, 5), QStringList({"no", "yes", "no", "no"}));

        m_data->setPingResult(QStringLiteral("b"), QStringLiteral("12"));
        m_data->setPingResult(QStringLiteral("host"), QStringLiteral("3"));
        QCOMPARE(column(tree, 3), QStringList({"X", "12", "X", "X"}));

        m_data->changeEntry(QStringLiteral("c"), QStringLiteral("c"), true, QStringLiteral("new text"), 9);
        QCOMPARE(tree->topLevelItem(2)->text(4), QStringLiteral("new text"));
        QCOMPARE(tree->topLevelItem(2)->text(5), QStringLiteral("yes"));

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
        QTreeWidget* tree = m_list->tree();
        QTreeWidgetItem* a = tree->topLevelItem(0);
        QCOMPARE(a->icon(0).cacheKey(), key("DisconnectedIcon.png"));
        QCOMPARE(a->icon(1).cacheKey(), key("DeviceTypeAPIcon.png"));
        QVERIFY(tree->topLevelItem(1)->icon(1).isNull());

        m_data->setPingResult(QStringLiteral("a"), QStringLiteral("4"));
        QCOMPARE(a->icon(0).cacheKey(), key("ConnectedIcon.png"));
        m_data->changeEntry(QStringLiteral("a"), QStringLiteral("a"), false, QString(), DeviceTypeWeb);
        QCOMPARE(a->icon(1).cacheKey(), key("DeviceTypeWebIcon.png"));
        QCOMPARE(a->icon(0).cacheKey(), key("ConnectedIcon.png"));
        // A type outside 1 to 4 leaves the icon as it was.
        m_data->changeEntry(QStringLiteral("a"), QStringLiteral("a"), false, QString(), 9);
        QCOMPARE(a->icon(1).cacheKey(), key("DeviceTypeWebIcon.png"));
        m_data->setPingResult(QStringLiteral("a"), QStringLiteral("X"));
        QCOMPARE(a->icon(0).cacheKey(), key("DisconnectedIcon.png"));
        QCOMPARE(a->text(3), QStringLiteral("X"));
    }

    void removeActsOnEverySelectedRow()
    {
        for (const char* ip : {"a", "b", "c", "d"})
            m_data->addEntry(entry(QString::fromLatin1(ip)));
        UserListTreeWidget* tree = m_list->tree();
        for (int i : {0, 2, 3})
            tree->topLevelItem(i)->setSelected(true);
        QAction* remove = tree->contextMenu()->actions().at(0);
        QCOMPARE(remove->text(), QStringLiteral("Remove"));
        remove->trigger();
        QCOMPARE(column(tree, 2), QStringList({"b"}));
        QCOMPARE(m_data->entries().size(), 1);
    }

    // Two entries may share an address after an edit; removing the address removes the first
    // entry from the store and so the first of the rows that show it.
    void removeOfADuplicateAddressTakesTheFirstRow()
    {
        m_data->addEntry(entry(QStringLiteral("a")));
        m_data->addEntry(entry(QStringLiteral("b")));
        m_data->changeEntry(QStringLiteral("b"), QStringLiteral("a"), false, QStringLiteral("second"), DeviceTypePC);
        UserList list;
        m_data->connectReceiver(&list);
        for (const DeviceEntry& e : m_data->entries())
            list.addEntryRow(e);
        QTreeWidget* tree = list.findChild<QTreeWidget*>(QStringLiteral("deviceTree"));
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
        tree->topLevelItem(1)->setSelected(true);
        tree->topLevelItem(2)->setSelected(true);

        QList<int> selectedWhenMenuOpened;
        int menus = 0;
        tree->setMenuRunner([&](QMenu*, const QPoint&) {
            ++menus;
            for (int i = 0; i < tree->topLevelItemCount(); ++i) {
                if (tree->topLevelItem(i)->isSelected())
                    selectedWhenMenuOpened << i;
            }
        });
        const QPoint at = tree->visualItemRect(tree->topLevelItem(clickedRow)).center();
        QTest::mousePress(tree->viewport(), Qt::RightButton, Qt::NoModifier, at);
        QCOMPARE(menus, 1);
        QCOMPARE(selectedWhenMenuOpened, selectedAfter);
    }
};

QTEST_MAIN(TestUserList)
#include "tst_userlist.moc"
