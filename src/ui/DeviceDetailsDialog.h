// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "SaveFileChooser.h"

#include <QDialog>
#include <QTimer>

#include <functional>
#include <memory>

class QButtonGroup;
class QLabel;
class QTabWidget;

namespace Tarnwick {

class DevicePaths;
class HistoryGraph;
class HistoryReader;
class PathView;
class ProbeEngine;

// One device's history: the graph of the last hour, day, week or month, what it adds up to,
// and the raw results as a CSV file. Follows the history as it grows while it is open. Given
// an engine, a second tab shows the path to the device, traced live.
class DeviceDetailsDialog : public QDialog
{
    Q_OBJECT

public:
    enum Range { LastHour, LastDay, LastWeek, LastMonth };

    // recordingProblem says why results do not reach the history at the moment (empty while
    // they do).
    DeviceDetailsDialog(const QString& ip, const QString& description, const QString& historyFile,
                        std::function<QString()> recordingProblem = {}, QWidget* parent = nullptr);
    // Adds the "Path" tab: traces through the engine, the way the path watch knows from paths
    // (none: the live trace alone).
    void addPathTab(ProbeEngine& engine, const DevicePaths* paths);
    // Brings the "Path" tab to the front, where there is one.
    void showPath();
    PathView* pathView() const { return m_path; }
    ~DeviceDetailsDialog() override;

    // Asks where to save the exported results; replaceable, as the file dialog waits for the user.
    void setFileChooser(SaveFileChooser::Chooser chooser) { m_chooseFile = std::move(chooser); }

    void setRange(Range range);
    HistoryGraph* graph() const { return m_graph; }

public slots:
    // Reads the chosen range from the history anew.
    void refresh();
    void exportResults();

private:
    const QString m_ip;
    std::unique_ptr<HistoryReader> m_reader;
    std::function<QString()> m_recordingProblem;
    SaveFileChooser::Chooser m_chooseFile = &SaveFileChooser::choose;
    Range m_range = LastHour;
    QButtonGroup* m_ranges;
    QLabel* m_summary;
    // How the echo requests are made, where not as usual ("Payload: 1200 bytes, don't fragment").
    QLabel* m_echoOptions;
    QLabel* m_status;
    QLabel* m_recording;
    HistoryGraph* m_graph;
    QTabWidget* m_tabs;
    PathView* m_path = nullptr;
    QTimer m_refreshTimer;
};

} // namespace Tarnwick
