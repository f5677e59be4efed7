// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "PathHopStatistics.h"
#include "net/IpAddress.h"
#include "net/ThreadMailbox.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <optional>

class QLabel;
class QTreeWidget;

namespace Tarnwick {

class DevicePaths;
class PathTrace;
class ProbeEngine;

// The "Path" tab of a device's details: the routers on the way to it, traced again every second
// while the tab shows, each hop with its loss and round trips over the last rounds (as mtr shows
// them); above them, the way the path watch knows, since when, and the device of the list the
// device is taken to sit behind.
class PathView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int RoundMs = 1000;
    enum Column {
        HopColumn,
        AddressColumn,
        LossColumn,
        SentColumn,
        LastColumn,
        AverageColumn,
        BestColumn,
        WorstColumn,
        ColumnCount
    };

    PathView(const QString& ip, ProbeEngine& engine, const DevicePaths* paths, QWidget* parent = nullptr);
    ~PathView() override;

    QTreeWidget* hopTable() const { return m_table; }
    int rounds() const { return m_statistics.rounds(); }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void startRound();
    void traceTo(const IpAddress& address);
    void roundFinished();
    void showHops();
    void showKnownWay();

    const QString m_ip;
    ProbeEngine& m_engine;
    const DevicePaths* m_paths;
    std::optional<IpAddress> m_address;
    std::unique_ptr<PathTrace> m_trace;
    PathHopStatistics m_statistics;
    QTimer m_nextRound;
    QElapsedTimer m_roundStarted;
    QLabel* m_known;
    QTreeWidget* m_table;
    QLabel* m_status;
    bool m_resolving = false;
    // Names resolve on the resolver's threads; the view may be gone by then.
    ThreadMailbox<PathView> m_mailbox{this};
};

} // namespace Tarnwick
