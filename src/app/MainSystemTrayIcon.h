// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/UserList.h"

#include <QDeadlineTimer>
#include <QList>
#include <QSystemTrayIcon>
#include <QTimer>

#include <chrono>
#include <functional>

namespace Tarnwick {

class MaintenanceList;
class MuteList;

struct Announcement;
class DeviceEntry;
struct DeviceSummary;

// How long the tray icon waits for its place in the tray before a balloon goes out anyway.
struct TrayIconDelays
{
    std::chrono::milliseconds maxPlacementWait{3000};
};

// The program's presence in the system tray: "Show", "About" and "Exit", the welcome balloon
// and a balloon for each message of the announcer. Its picture gets a red mark while a device
// that asks for balloons is disconnected; its tooltip sums up the list.
class MainSystemTrayIcon : public QSystemTrayIcon
{
    Q_OBJECT

public:
    explicit MainSystemTrayIcon(TrayIconDelays delays = {}, QObject* parent = nullptr);
    ~MainSystemTrayIcon() override;

    static MainSystemTrayIcon* instance();
    static void setInstance(MainSystemTrayIcon* icon);

    // Whether the desktop has a system tray at all; replaceable because offscreen tests have none.
    using AvailabilityCheck = std::function<bool()>;
    void setAvailabilityCheck(AvailabilityCheck check);
    bool systemTrayAvailable() const;

    // What the device list of a main window that "Show" makes anew is given.
    void setWindowServices(UserList::Services services);
    // Adds "Mute all alerts for 1 hour" to the menu, checked while that mute lasts; choosing
    // it again unmutes.
    void setMutes(MuteList& mutes);
    // Adds "Maintenance…" to the menu: the maintenance windows of every device.
    void setMaintenance(MaintenanceList& maintenance);

    // Where balloons go; replaceable so that tests can watch them.
    using BalloonSink = std::function<void(const QString& title, const QString& text, MessageIcon icon, int ms)>;
    void setBalloonSink(BalloonSink sink);
    // Shows a balloon at the icon, once the icon has its place in the tray (at most the
    // placement wait later), in the order asked.
    void showBalloon(const QString& title, const QString& text, MessageIcon icon, int ms);
    // How long balloons wait for a tray while the desktop has none (yet).
    static constexpr int MaxTrayWaitMs = 60000;
    // Whether the icon has its place in the tray; replaceable for tests.
    using PlacementCheck = std::function<bool()>;
    void setPlacementCheck(PlacementCheck check);

    // True while closing the main window should only hide it.
    bool keepsWindowsInTray() const;

    // The first half of "Exit": hide the icon and ask the application to quit.
    void beginExit();

    // Whether the picture shows that a watched device (one that asks for balloons) is
    // disconnected; the tooltip says how many devices are in which state.
    bool showsAlarm() const { return m_alarm; }

    static QIcon alarmIcon();

public slots:
    void refreshState();
    // The announcer's messages become balloons.
    void announced(const Tarnwick::Announcement& announcement);
    void CloseWindow();
    void ShowWindow();

private slots:
    void Activated(QSystemTrayIcon::ActivationReason reason);
    void MessageClicked() { }
    void ShowAbout();

private:
    struct Balloon
    {
        QString title;
        QString text;
        MessageIcon icon;
        int ms;
    };

    bool iconPlaced() const;
    static QString toolTipText(const DeviceSummary& summary, const QList<DeviceEntry>& entries);
    void showWaitingBalloons();

    AvailabilityCheck m_availability;
    UserList::Services m_windowServices;
    BalloonSink m_balloonSink;
    PlacementCheck m_placementCheck;
    QList<Balloon> m_waitingBalloons;
    QTimer m_balloonGate;
    QTimer m_stateTimer;
    QAction* m_muteAll = nullptr;
    bool m_alarm = false;
    QDeadlineTimer m_placementDeadline;
    std::chrono::milliseconds m_maxPlacementWait;
    QDeadlineTimer m_trayDeadline;
};

} // namespace Tarnwick
