// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "MonitorSwitch.h"

#include "net/NeighbourFinder.h"

#include <QDialog>
#include <QHash>
#include <QList>
#include <QSet>
#include <QTimer>

#include <atomic>

#include <functional>
#include <initializer_list>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace Tarnwick {

class ScanRange;

class DiscoverDevicesThread;
class ListedHosts;
class ProbeEngine;
class ReverseNameLookup;

// Scans a box of IPv4 addresses for hosts that answer, shows each result as it arrives with
// what can be learnt of the host (its name, its hardware address and maker, whether it is in
// the device list already, by its address or by a name that resolves to it), and adds the
// chosen addresses to the device list, with or without information on their state changes. "Scan my
// network" fills in this computer's own subnet; "Stop" ends a scan and keeps its rows. The
// monitor rests while a scan runs. "Find neighbours" lists the IPv6 hosts that answer an echo
// request to all nodes on this machine's links instead.
class DiscoverDevicesDialog : public QDialog
{
    Q_OBJECT

public:
    // engine: what scans probe through (and the list's names are resolved by); it must outlive
    // the dialog. monitor: how a scan pauses the monitor and resumes it once over. neighbours: what
    // "Find neighbours" asks through, if it must outlive the dialog; none makes a finder for
    // each search.
    explicit DiscoverDevicesDialog(ProbeEngine& engine, MonitorSwitch monitor = {}, QWidget* parent = nullptr,
                                   const NeighbourFinder* neighbours = nullptr);
    ~DiscoverDevicesDialog() override;

    // Four octets of 0 to 254 from dotted text; empty parts (doubled or trailing dots) are skipped.
    static std::optional<QList<quint8>> parseIPv4(const QString& text);

public slots:
    // Reports of the scan thread, queued onto this dialog's thread.
    // finding: a DiscoverDevicesThread::Finding.
    void scanResult(int finding, const QString& address, const QString& result);
    void scanCompleted(int active, int total, int present = 0);

    // Escape hides the dialog without a close event, and the scan goes on unseen; a dialog
    // that is released on closing waits for that scan to complete before it goes.
    void done(int result) override;

protected:
    void closeEvent(QCloseEvent* event) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void StartSearchPushButtonClicked();
    void StopPushButtonClicked();
    void ScanMyNetworkPushButtonClicked();
    void SelectActivePushButtonClicked();
    void SelectAllPushButtonClicked();
    void DeselectAllPushButtonClicked();
    void AddSelectedPushButtonClicked();
    void FindNeighboursPushButtonClicked();

private:
    void fitColumns();
    bool scanRunning() const;
    // Clears the results and scans the range, the monitor resting meanwhile.
    void startScan(const ScanRange& range);
    void addPendingRows();
    void showMessage(int icon, const QString& text);
    void stopScan();
    // Name, hardware address, maker and "In list" of the rows that answered.
    void describeRows(const QList<QTreeWidgetItem*>& rows);
    // "In list", and watched rows set apart; whether that changed.
    bool markInList(QTreeWidgetItem* row);
    void listedNamesResolved();
    // Reads the hardware addresses the kernel knows for the list's addresses.
    void refreshListedHardware();
    // Puts a row into the tree at its place in the order shown.
    void place(QTreeWidgetItem* row);
    // Moves a row of the tree to its new place when the order shown is by a column that changed.
    void keepSorted(QTreeWidgetItem* row, std::initializer_list<int> changedColumns);
    void nameFound(const QString& address, const QString& name);
    void scanEnded();
    void resumeMonitor();
    // Empties the tree for a new search.
    void clearResults();
    bool neighbourSearchRunning() const { return m_neighbourSearch != nullptr; }
    void showNeighbours(const NeighbourFinder::Outcome& outcome);

    ProbeEngine& m_engine;
    MonitorSwitch m_monitor;
    QTreeWidget* m_tree;
    QLineEdit* m_toEdit;
    QLineEdit* m_fromEdit;
    QLabel* m_statusLabel;
    QProgressBar* m_progress;
    QPushButton* m_stopButton;
    QCheckBox* m_informCheckBox;
    QCheckBox* m_quickCheckBox;
    ReverseNameLookup* m_names;
    ListedHosts* m_listed = nullptr; // none without a store
    QHash<QString, QTreeWidgetItem*> m_rowsByAddress;
    // The hardware addresses of the hosts the list watches, where the kernel knows them.
    QSet<QString> m_listedHardware;
    // The scan's rows of hosts that are there, whose hardware addresses the end of a scan fills
    // in: a handful among tens of thousands of silent addresses.
    QList<QTreeWidgetItem*> m_thereRows;
    bool m_searchStarted = false;
    DiscoverDevicesThread* m_scan = nullptr;
    bool m_releaseAfterScan = false;
    QList<QTreeWidgetItem*> m_pendingRows;
    QTimer m_rowFlush;
    // The neighbour search, on a thread of its own while it listens; the dialog waits for it
    // as it goes (a stop ends the listening within a tenth of a second).
    const NeighbourFinder* m_neighbours;
    QThread* m_neighbourSearch = nullptr;
    std::atomic<bool> m_stopNeighbourSearch{false};
};

} // namespace Tarnwick
