#include "UserList.h"

#include "UserListTreeWidget.h"
#include "data/DeviceAddedEvent.h"
#include "data/DeviceEntryChangedEvent.h"
#include "data/DeviceRemovedEvent.h"
#include "skin/DevicePictures.h"
#include "skin/SkinResources.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMutexLocker>

#include <algorithm>

namespace Tarnwick {

namespace {

enum Column {
    StateColumn,
    TypeColumn,
    AddressColumn,
    ResultColumn,
    DescriptionColumn,
    InformColumn,
    LossColumn,
    AverageColumn,
    JitterColumn,
    SinceColumn,
    ColumnCount
};

UserList::StatisticsSource& statisticsSource()
{
    static UserList::StatisticsSource source;
    return source;
}

// "42 s", "5 min", "3 h 12 min", "2 d 4 h".
QString durationText(qint64 ms)
{
    const qint64 seconds = std::max<qint64>(0, ms / 1000);
    if (seconds < 60)
        return QStringLiteral("%1 s").arg(seconds);
    const qint64 minutes = seconds / 60;
    if (minutes < 60)
        return QStringLiteral("%1 min").arg(minutes);
    const qint64 hours = minutes / 60;
    if (hours < 24)
        return QStringLiteral("%1 h %2 min").arg(hours).arg(minutes % 60);
    return QStringLiteral("%1 d %2 h").arg(hours / 24).arg(hours % 24);
}

// The value with its unit, or "-" while nothing is known.
QString valueText(const std::optional<double>& value, const char* unit, int decimals)
{
    return value ? QStringLiteral("%1 %2").arg(*value, 0, 'f', decimals).arg(QLatin1String(unit)) : QStringLiteral("-");
}

QString yesNo(bool value)
{
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}

} // namespace

UserList::UserList(QWidget* parent)
    : QWidget(parent)
    , m_tree(new UserListTreeWidget(this))
{
    m_tree->setObjectName(QStringLiteral("deviceTree"));
    m_tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_tree->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_tree->setSortingEnabled(false);
    m_tree->setRootIsDecorated(false);
    m_tree->setHeaderLabels({QStringLiteral("A"), QStringLiteral("T"), QStringLiteral("IP"), QStringLiteral("[ms]"),
                             QStringLiteral("Description"), QStringLiteral("Information on state change"),
                             QStringLiteral("Loss"), QStringLiteral("Avg"), QStringLiteral("Jitter"),
                             QStringLiteral("Since")});
    // The header's own minimum would widen the narrow type column past its 24 px.
    m_tree->header()->setMinimumSectionSize(16);
    const int widths[] = {54, 24, 100, 60, 100, 100, 60, 70, 70, 90};
    for (int column = 0; column < ColumnCount; ++column)
        m_tree->setColumnWidth(column, widths[column]);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_tree);
    // The statistics cover an hour; a look every few seconds keeps them current at no cost
    // per probe result.
    connect(&m_statisticsTimer, &QTimer::timeout, this, &UserList::refreshStatistics);
    m_statisticsTimer.start(2000);
    // The rows the window fills the list with get their figures as soon as it shows.
    QTimer::singleShot(0, this, &UserList::refreshStatistics);
}

void UserList::setStatisticsSource(StatisticsSource source)
{
    statisticsSource() = std::move(source);
}

void UserList::refreshStatistics()
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (auto it = m_rowsByAddress.cbegin(); it != m_rowsByAddress.cend(); ++it) {
        const RowStatistics statistics = statisticsSource() ? statisticsSource()(it.key()) : RowStatistics();
        const QString since = durationText(now - m_stateSince.value(it.key(), now));
        const QString lastSeen = statistics.lastAnsweredMs
            ? QStringLiteral("Last seen %1")
                  .arg(QDateTime::fromMSecsSinceEpoch(*statistics.lastAnsweredMs)
                           .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")))
            : QStringLiteral("Not seen since Tarnwick started");
        for (QTreeWidgetItem* row : it.value()) {
            row->setText(LossColumn, valueText(statistics.lossPercent, "%", 1));
            row->setText(AverageColumn, valueText(statistics.averageMs, "ms", 2));
            row->setText(JitterColumn, valueText(statistics.jitterMs, "ms", 2));
            row->setText(SinceColumn, since);
            row->setToolTip(SinceColumn, lastSeen);
        }
    }
}

QTreeWidgetItem* UserList::firstRow(const QString& ip) const
{
    const auto it = m_rowsByAddress.constFind(ip);
    return it == m_rowsByAddress.cend() || it->isEmpty() ? nullptr : it->first();
}

void UserList::addEntryRow(const DeviceEntry& entry)
{
    auto* row = new QTreeWidgetItem;
    const QString stateIcon = DevicePictures::forState(entry.state);
    if (!stateIcon.isEmpty())
        row->setIcon(StateColumn, SkinResources::icon(stateIcon));
    const QString typeIcon = DevicePictures::forType(entry.type);
    if (!typeIcon.isEmpty())
        row->setIcon(TypeColumn, SkinResources::icon(typeIcon));
    row->setText(AddressColumn, entry.ip);
    row->setText(ResultColumn, entry.pingResult);
    row->setText(DescriptionColumn, entry.description);
    row->setText(InformColumn, yesNo(entry.informOnStateChange));
    m_tree->addTopLevelItem(row);
    m_rowsByAddress[entry.ip].append(row);
    if (!m_stateSince.contains(entry.ip))
        m_stateSince.insert(entry.ip, QDateTime::currentMSecsSinceEpoch());
    for (int column = LossColumn; column < SinceColumn; ++column)
        row->setText(column, QStringLiteral("-"));
}

void UserList::DeviceAdded(DeviceAddedEvent* pEvent)
{
    QMutexLocker lock(&m_mutex);
    addEntryRow(pEvent->entry());
}

void UserList::DeviceRemoved(DeviceRemovedEvent* pEvent)
{
    QMutexLocker lock(&m_mutex);
    const QString ip = pEvent->entry().ip;
    QTreeWidgetItem* row = firstRow(ip);
    if (!row)
        return;
    QList<QTreeWidgetItem*>& rows = m_rowsByAddress[ip];
    rows.removeFirst();
    if (rows.isEmpty())
        m_rowsByAddress.remove(ip);
    delete row;
}

void UserList::DeviceEntryChanged(DeviceEntryChangedEvent* pEvent)
{
    QMutexLocker lock(&m_mutex);
    const DeviceEntry after = pEvent->newEntry();
    const DeviceEntry before = pEvent->oldEntry();
    // Rows keep the address they were added with; the entry is found by its old address.
    QTreeWidgetItem* row = firstRow(before.ip);
    if (!row)
        return;
    row->setText(ResultColumn, after.pingResult);
    row->setText(DescriptionColumn, after.description);
    // Icons never compare equal, so setting the same one again would repaint the row for
    // every probe result; the type rarely changes.
    const QString typeIcon = DevicePictures::forType(after.type);
    if (!typeIcon.isEmpty() && after.type != before.type)
        row->setIcon(TypeColumn, SkinResources::icon(typeIcon));
    row->setText(InformColumn, yesNo(after.informOnStateChange));
    if (after.state != before.state) {
        m_stateSince.insert(before.ip, QDateTime::currentMSecsSinceEpoch());
        const QString stateIcon = DevicePictures::forState(after.state);
        if (!stateIcon.isEmpty())
            row->setIcon(StateColumn, SkinResources::icon(stateIcon));
    }
}

} // namespace Tarnwick
