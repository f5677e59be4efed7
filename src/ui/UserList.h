// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DeviceListModel.h"
#include "MonitorSwitch.h"
#include "SaveFileChooser.h"
#include "history/HistoryReader.h"

#include <QHash>
#include <QMutex>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;

namespace Tarnwick {

class DeviceAddedEvent;
class DeviceListSortFilter;
class DevicePaths;
class DeviceEntry;
class DeviceEntryChangedEvent;
class DeviceRemovedEvent;
class ProbeEngine;
class MaintenanceList;
class MuteList;
class NeighbourFinder;
class NetworkInventory;
class ReachabilityView;
class SlowView;
class UserListStatistics;
class UserListTreeWidget;

// The device list tab: one row per entry of the store, following the store's signals.
class UserList : public QWidget
{
    Q_OBJECT

public:
    // What the list shows of a device's last hour, and the spread of its round trips over the
    // hour and the day (none where nothing is known yet).
    struct RowStatistics
    {
        std::optional<double> lossPercent;
        std::optional<double> averageMs;
        std::optional<double> jitterMs;
        std::optional<qint64> lastAnsweredMs; // UTC
        std::optional<double> medianMs = {};
        std::optional<double> percentile95Ms = {};
        std::optional<double> dayMedianMs = {};
        std::optional<double> dayPercentile95Ms = {};
    };
    using StatisticsSource = std::function<RowStatistics(const QString& ip)>;
    using RecordingProblem = std::function<QString()>;
    using PingNow = std::function<void(const QString& ip)>;
    // What the list reads and asks of the monitor; start-up fills it, and a list without one
    // shows no statistics and no history. Each member has its own (empty) initialiser, so that a
    // caller names only the ones it gives.
    struct Services
    {
        // A device's last hour (the history's statistics, in the program).
        StatisticsSource statistics{};
        // The history file the details, the rows' tooltips and the "Since" column read (none:
        // empty), and why results do not reach it at the moment (empty while they do).
        QString historyFile{};
        RecordingProblem recordingProblem{};
        // Probes one device at once through the monitor's own path ("Ping now").
        PingNow pingNow{};
        // Which devices are cut off behind a failed one; none shows none.
        const ReachabilityView* reachability{};
        // What the discovery dialog scans through, and how a scan pauses and resumes the
        // monitor; without an engine there is no scan to open.
        ProbeEngine* engine{};
        MonitorSwitch monitor{};
        // Whose messages the user muted; none leaves "Mute alerts" out of the row menu.
        MuteList* mutes{};
        // The maintenance windows; none leaves "Maintenance…" out of the row menu.
        MaintenanceList* maintenance{};
        // How the discovery dialog finds IPv6 neighbours (its socket opened at start); none: the
        // dialog opens a socket of its own for each search.
        const NeighbourFinder* neighbours{};
        // Which connected devices are slow; none shows none.
        const SlowView* slow{};
        // Every piece of hardware the network watch has heard; none: the window has no
        // "Network" tab.
        NetworkInventory* inventory{};
        // The ways the path watch learnt, for the details' "Path" tab and the map; none: the
        // tab shows only the live trace.
        const DevicePaths* paths{};
    };

    explicit UserList(QWidget* parent = nullptr);
    explicit UserList(Services services, QWidget* parent = nullptr);
    ~UserList() override;

    // Asks where to save the exported list, and the details' results; replaceable, as the
    // file dialog waits for the user.
    void setFileChooser(SaveFileChooser::Chooser chooser);

    void addEntryRow(const DeviceEntry& entry);
    // Adds a row for each entry, in one insertion.
    void addEntryRows(const QList<DeviceEntry>& entries);
    UserListTreeWidget* tree() const { return m_tree; }

    // The menu of the header: a check box per column that may be hidden.
    QMenu* columnsMenu() const { return m_columnsMenu; }

public slots:
    // Shows the columns "Loss", "Avg", "Jitter" and "Since" anew; rows ask for their figures
    // as they are painted.
    void refreshStatistics();
    // The device's details; atPath: at the "Path" tab, where there is one.
    void showDetails(const QString& ip, bool atPath = false);
    // Makes the device's first row the current one, in view.
    void selectDevice(const QString& ip);
    void exportList();
    void DeviceEntryChanged(Tarnwick::DeviceEntryChangedEvent* pEvent);
    void DeviceAdded(Tarnwick::DeviceAddedEvent* pEvent);
    void DeviceRemoved(Tarnwick::DeviceRemovedEvent* pEvent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using Row = DeviceListModel::Row;
    // The row an entry shows as it is now.
    Row rowFor(const DeviceEntry& entry);
    void applyFilter();
    // A row of the list changed: it may sort or filter differently now.
    void rowChanged(int row);
    // Rows came or went: the summary, the sort and the empty list's text follow.
    void rowsChanged();
    void refreshSummary();
    void refreshSummarySoon();
    // "4 of 19 shown" beside the filter while it hides rows.
    void showFilterCount();
    void fitColumnsSoon();
    void fitColumns();
    void fitColumnsFrom(int first);
    int lastShownColumn() const;
    void showCutOffs();
    // Greys the state picture of a disconnected row cut off behind another failed device.
    static void showCutOff(Row& row, const QString& behind);
    QString cutOffBehind(const QString& ip) const;
    bool isSlow(const QString& ip) const;
    // Marks the state picture of a connected row whose device is slow, or takes the mark off.
    void showSlow(Row& row) const;
    void slownessChanged(const QString& ip);
    QString rowToolTip(const QModelIndex& index) const;
    // Hides the columns in hidden and those that start hidden but are not in shown (numbers
    // separated by commas).
    void showColumns(const QString& hidden, const QString& shown);
    // "Mute alerts" (for an hour, eight hours or until unmuted) and "Unmute" in the row menu,
    // for the selected rows.
    void addMuteMenu(MuteList& mutes);
    // Marks the description of a muted device, and says until when.
    void showMutes();
    void showMute(Row& row) const;
    // "Maintenance…" in the row menu, after the mutes: the windows of the selected rows.
    void addMaintenanceMenu(MaintenanceList& maintenance);
    // Marks the "Information on state change" of a device in maintenance, and says until when.
    void showMaintenances();
    void showMaintenance(Row& row) const;
    // The numbers of the columns from first up to end that are hidden, or shown, as the
    // settings keep them ("6,8").
    QString columnNumbers(int first, int end, bool hidden) const;

    // When the device got the state it has now: the history's last change where it agrees,
    // otherwise now.
    qint64 stateSinceMs(const QString& ip, int state, qint64 nowMs);

    UserListTreeWidget* m_tree;
    QMutex m_mutex;
    // When each address got its present state (or its row, before its first change), UTC ms.
    QHash<QString, qint64> m_stateSince;
    QTimer m_statisticsTimer;
    // Each device's last state change before the start, read when the first results come in.
    std::optional<QHash<QString, HistoryReader::StateChange>> m_lastChanges;
    const Services m_services;
    const std::unique_ptr<UserListStatistics> m_statistics;
    DeviceListModel* m_model;
    DeviceListSortFilter* m_shown;
    SaveFileChooser::Chooser m_chooseFile;
    QMenu* m_columnsMenu;
    QLineEdit* m_filter;
    QComboBox* m_stateFilter;
    QLabel* m_summary;
    QLabel* m_filterCount;
    QLabel* m_placeholder;
    // The tree's viewport, whose size the placeholder follows.
    QWidget* m_viewport = nullptr;
    QTimer m_summaryTimer;
    QTimer m_fitTimer;
    bool m_fittingColumns = false;
};

} // namespace Tarnwick
