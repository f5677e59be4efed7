// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/DeviceEntry.h"
#include "ui/UserList.h"

#include <QMainWindow>
#include <QSet>

class QPushButton;

namespace Tarnwick {

class LogListWidget;
class NetworkView;
class VisualRepresentationWidget;

// The one main window: a tab bar over the device list, the map, the log and, with an inventory,
// the network, and a row of buttons. Closing it hides it to the tray while the tray icon is shown.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // services: what the device list (and the map, of reachability) reads and asks of the monitor.
    explicit MainWindow(UserList::Services services = {});

    static MainWindow* instance();
    static void setInstance(MainWindow* window);

    UserList* userList() const { return m_userList; }
    // Shows the device list with the device's row selected.
    void showDevice(const QString& ip);
    // Rows not added yet never will be: the program is ending, and no further slice may hold up
    // the saving of the files. The last slice ends the adding the same way.
    void stopAddingRows();

protected:
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private slots:
    void TabChanged(int index);
    void CloseButtonClicked();
    void DiscoverDevicesButtonClicked();
    void SettingsButtonClicked();
    void AddDeviceButtonClicked();

private:
    // Applies the stored place and size, made to fit the screens there are now.
    void applyStoredGeometry(const QRect& stored);
    void addRowsSlice();

    QPushButton* m_minimizeButton;
    QPushButton* m_discoverButton;
    QPushButton* m_settingsButton;
    QPushButton* m_addButton;
    ProbeEngine* m_engine;
    MonitorSwitch m_monitor;
    const NeighbourFinder* m_neighbours = nullptr;
    UserList* m_userList;
    LogListWidget* m_logView;
    // None without an inventory.
    NetworkView* m_networkView = nullptr;
    VisualRepresentationWidget* m_mapView;
    bool m_checkFrameOnShow = false;
    // The store's entries when the window was made, and how many of them are in the list.
    static constexpr qsizetype RowsWithTheWindow = 2000;
    static constexpr qint64 SliceMs = 40;
    static constexpr qsizetype RowsAtOnce = 1000;
    QList<DeviceEntry> m_rowsToAdd;
    qsizetype m_rowsAdded = 0;
    QSet<QString> m_addedMeanwhile;
};

} // namespace Tarnwick
