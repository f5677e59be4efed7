// SPDX-License-Identifier: GPL-3.0-or-later
#include "MainSystemTrayIcon.h"

#include "AboutDialog.h"
#include "MainWindow.h"
#include "ProcessValues.h"
#include "data/Data.h"
#include "data/DeviceSummary.h"
#include "data/Reachability.h"
#include "data/Settings.h"
#include "map/ReachabilityWatcher.h"
#include "skin/SkinResources.h"
#include "ui/ModalDialog.h"

#include <QApplication>
#include <QMap>
#include <QMenu>
#include <QPainter>

#include <algorithm>
#include <set>
#include <utility>

namespace Tarnwick {

namespace {
MainSystemTrayIcon* s_instance = nullptr;
} // namespace

MainSystemTrayIcon::MainSystemTrayIcon(TrayIconDelays delays, QObject* parent)
    : QSystemTrayIcon(parent)
    , m_availability(&QSystemTrayIcon::isSystemTrayAvailable)
    , m_maxPlacementWait(delays.maxPlacementWait)
{
    auto* menu = new QMenu;
    QAction* show = menu->addAction(QStringLiteral("Show"));
    menu->addSeparator();
    QAction* about = menu->addAction(QStringLiteral("About"));
    QAction* exit = menu->addAction(QStringLiteral("Exit"));
    setIcon(SkinResources::icon(QStringLiteral("twicon.png")));
    setContextMenu(menu);

    Data* data = Data::ensureInstance();
    connect(data, &Data::DeviceEntryChanged, this, &MainSystemTrayIcon::DeviceEntryChanged);
    // The picture and the tooltip follow the list, looked at once for any number of changes.
    m_stateTimer.setSingleShot(true);
    m_stateTimer.setInterval(250);
    connect(&m_stateTimer, &QTimer::timeout, this, &MainSystemTrayIcon::refreshState);
    const auto look = [this] { m_stateTimer.start(); };
    connect(data, &Data::DeviceAdded, this, look);
    connect(data, &Data::DeviceRemoved, this, look);
    connect(data, &Data::DeviceEntryChanged, this, look);
    refreshState();
    connect(this, &QSystemTrayIcon::messageClicked, this, &MainSystemTrayIcon::MessageClicked);
    connect(this, &QSystemTrayIcon::activated, this, &MainSystemTrayIcon::Activated);
    connect(show, &QAction::triggered, this, &MainSystemTrayIcon::ShowWindow);
    connect(exit, &QAction::triggered, this, &MainSystemTrayIcon::CloseWindow);
    connect(about, &QAction::triggered, this, &MainSystemTrayIcon::ShowAbout);

    // While the icon is there, closing the last window shown (a dialog, while the main window
    // rests in the tray) is not quitting: only "Exit", a termination signal or the session's
    // end are. Qt would otherwise end the event loop, and the icon with it.
    QApplication::setQuitOnLastWindowClosed(false);

    m_downGate.setSingleShot(true);
    m_downGate.setInterval(delays.downGrouping);
    connect(&m_downGate, &QTimer::timeout, this, &MainSystemTrayIcon::announceWaitingDown);
    m_balloonGate.setInterval(100);
    connect(&m_balloonGate, &QTimer::timeout, this, &MainSystemTrayIcon::showWaitingBalloons);
}

MainSystemTrayIcon::~MainSystemTrayIcon()
{
    delete contextMenu();
}

MainSystemTrayIcon* MainSystemTrayIcon::instance()
{
    return s_instance;
}

void MainSystemTrayIcon::setInstance(MainSystemTrayIcon* icon)
{
    s_instance = icon;
}

void MainSystemTrayIcon::setAvailabilityCheck(AvailabilityCheck check)
{
    m_availability = std::move(check);
}

bool MainSystemTrayIcon::systemTrayAvailable() const
{
    return m_availability();
}

void MainSystemTrayIcon::setWindowServices(UserList::Services services)
{
    m_windowServices = std::move(services);
}

void MainSystemTrayIcon::setBalloonSink(BalloonSink sink)
{
    m_balloonSink = std::move(sink);
}

void MainSystemTrayIcon::setPlacementCheck(PlacementCheck check)
{
    m_placementCheck = std::move(check);
}

bool MainSystemTrayIcon::iconPlaced() const
{
    if (m_placementCheck)
        return m_placementCheck();
    // Only an X11 tray embeds the icon (and then tells where it is); elsewhere there is nothing
    // to wait for.
    return QGuiApplication::platformName() != QLatin1String("xcb") || geometry().isValid();
}

void MainSystemTrayIcon::showBalloon(const QString& title, const QString& text, MessageIcon icon, int ms)
{
    m_waitingBalloons.append({title, text, icon, ms});
    if (!m_balloonGate.isActive()) {
        m_trayDeadline.setRemainingTime(MaxTrayWaitMs);
        m_placementDeadline.setRemainingTime(m_maxPlacementWait);
    }
    showWaitingBalloons();
}

void MainSystemTrayIcon::showWaitingBalloons()
{
    // Started with the session (autostart), the program may come before the desktop's tray,
    // and a balloon shown then is lost: wait for the tray to come, then for the icon's place.
    if (!systemTrayAvailable() && !m_trayDeadline.hasExpired()) {
        m_placementDeadline.setRemainingTime(m_maxPlacementWait);
        m_balloonGate.start();
        return;
    }
    // A balloon shown before the icon has its place in the tray would point at the corner of
    // the screen; wait for the place, but not for ever.
    if (!iconPlaced() && !m_placementDeadline.hasExpired()) {
        m_balloonGate.start();
        return;
    }
    m_balloonGate.stop();
    const QList<Balloon> balloons = std::exchange(m_waitingBalloons, {});
    for (const Balloon& b : balloons) {
        if (m_balloonSink)
            m_balloonSink(b.title, b.text, b.icon, b.ms);
        else
            showMessage(b.title, b.text, b.icon, b.ms);
    }
}

bool MainSystemTrayIcon::keepsWindowsInTray() const
{
    // The icon reports itself visible even on desktops without a tray; there nothing could
    // bring a hidden window back.
    return isVisible() && systemTrayAvailable();
}

void MainSystemTrayIcon::beginExit()
{
    hide();
    quitRequested = true;
}

QIcon MainSystemTrayIcon::alarmIcon()
{
    // The normal picture with a red disc in its lower right corner, at every size it has.
    const QIcon normal = SkinResources::icon(QStringLiteral("twicon.png"));
    QIcon marked;
    for (const int size : {16, 22, 24, 32, 48, 64}) {
        QPixmap picture = normal.pixmap(size);
        if (picture.isNull())
            continue;
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal d = size * 0.5;
        painter.setPen(QPen(Qt::white, std::max(1.0, size / 16.0)));
        painter.setBrush(QColor(220, 40, 40));
        painter.drawEllipse(QRectF(size - d - 0.5, size - d - 0.5, d, d));
        painter.end();
        marked.addPixmap(picture);
    }
    return marked;
}

void MainSystemTrayIcon::refreshState()
{
    const Data* data = Data::instance();
    const QList<DeviceEntry> entries = data ? data->entries() : QList<DeviceEntry>();
    const DeviceSummary summary = DeviceSummary::of(entries);
    setToolTip(toolTipText(summary, entries));
    const bool alarm = summary.watchedDisconnected > 0;
    if (alarm == m_alarm && !icon().isNull())
        return;
    m_alarm = alarm;
    setIcon(alarm ? alarmIcon() : SkinResources::icon(QStringLiteral("twicon.png")));
}

QString MainSystemTrayIcon::toolTipText(const DeviceSummary& summary, const QList<DeviceEntry>& entries)
{
    // The watched devices that are down, by name, so that a look at the icon says which.
    constexpr int named = 5;
    QStringList down;
    int more = 0;
    for (const DeviceEntry& e : entries) {
        if (!e.informOnStateChange || e.awaitingFirstResult || e.state != DeviceStateDisconnected)
            continue;
        if (down.size() < named)
            down << (e.description.isEmpty() ? e.ip : QStringLiteral("%1 (%2)").arg(e.ip, e.description));
        else
            ++more;
    }
    QString text = summary.text();
    if (!down.isEmpty()) {
        text += QStringLiteral("\nDown: ") + down.join(QStringLiteral(", "));
        if (more > 0)
            text += QStringLiteral(" and %1 more").arg(more);
    }
    // Plain text: its first line, the summary, never looks like markup, so a description
    // shows as it was typed.
    return text;
}

void MainSystemTrayIcon::DeviceEntryChanged(DeviceEntryChangedEvent* pEvent)
{
    const DeviceEntry after = pEvent->newEntry();
    if (!pEvent->changesState()) {
        stillDownAfterItsGroup(after);
        return;
    }
    if (after.state == DeviceStateConnected) {
        m_goneDown.remove(after.ip);
        m_announcedDown.remove(after.ip);
        // A device told of only in the balloon of the one it was cut off behind comes back
        // with that one, whose balloon tells the group's return.
        if (m_covered.remove(after.ip))
            return;
        const bool ledGroup = std::any_of(m_covered.cbegin(), m_covered.cend(),
                                          [&](const Covered& covered) { return covered.behind == after.ip; });
        if (ledGroup)
            m_groupsBack.insert(after.ip);
        if (!after.informOnStateChange && !ledGroup)
            return;
        showBalloon(QStringLiteral("Device connected"), after.ip + QLatin1Char(' ') + after.description,
                    QSystemTrayIcon::Information, 3000);
        emit stateChangeAnnounced(true);
    } else {
        m_groupsBack.remove(after.ip);
        // With a first hop, what fails together is told together: the balloons wait a moment
        // for the devices behind a failed one to fail too. An unwatched device is gathered
        // only while it may add to the count of a balloon already shown.
        if (Settings::instance().firstHop.isEmpty()) {
            if (after.informOnStateChange)
                announceDown({{after.ip, {after.description, true}}});
            return;
        }
        if (!after.informOnStateChange && m_announcedDown.isEmpty())
            return;
        m_goneDown.insert(after.ip, {after.description, after.informOnStateChange});
        m_downGate.start();
    }
}

void MainSystemTrayIcon::stillDownAfterItsGroup(const DeviceEntry& device)
{
    // A device of a group that came back but itself still misses failed on its own, and is
    // told so. Two misses after the group's return: the first may be of a probe sent before.
    const auto covered = m_covered.find(device.ip);
    if (covered == m_covered.end() || device.pingResult != NoReplyResult || !m_groupsBack.contains(covered->behind))
        return;
    if (++covered->missesSinceBack < 2)
        return;
    m_covered.erase(covered);
    if (!device.informOnStateChange)
        return;
    m_goneDown.insert(device.ip, {device.description, true});
    m_downGate.start();
}

void MainSystemTrayIcon::announceDown(const QHash<QString, GoneDown>& devices)
{
    // Devices cut off behind a failed one go into that one's balloon.
    std::set<QString> cutOffBehind;
    QMap<QString, QString> alone;
    for (auto it = devices.cbegin(); it != devices.cend(); ++it) {
        const QString behind = Reachability::behind(it.key());
        if (!behind.isEmpty()) {
            cutOffBehind.insert(behind);
            m_covered.insert(it.key(), {behind, 0});
        } else if (it->watched)
            alone.insert(it.key(), it->description);
    }
    for (auto it = alone.cbegin(); it != alone.cend(); ++it) {
        if (!cutOffBehind.count(it.key()))
            showBalloon(QStringLiteral("Device Disconnected"), it.key() + QLatin1Char(' ') + it.value(),
                        QSystemTrayIcon::Information, 3000);
        m_announcedDown.insert(it.key());
        emit stateChangeAnnounced(false);
    }
    // Grouping happens only after the gathering wait, never while the store announces a change
    // (which holds its lock): the store may be asked here. The count is of every device cut off
    // behind the failed one, watched or not. Devices that fall behind an announced one later
    // (probed after the wait) show its balloon again with the new count, without a sound.
    const Data* data = Data::instance();
    for (const QString& failed : cutOffBehind) {
        const int count = Reachability::countBehind(failed);
        const QString description = data ? data->entry(failed).description : QString();
        showBalloon(QStringLiteral("Device Disconnected"),
                    QStringLiteral("%1 %2, %3 %4 behind it unreachable")
                        .arg(failed, description)
                        .arg(count)
                        .arg(count == 1 ? QStringLiteral("device") : QStringLiteral("devices")),
                    QSystemTrayIcon::Information, 3000);
        const bool shownBefore = m_announcedDown.contains(failed);
        m_announcedDown.insert(failed);
        if (!shownBefore && !alone.contains(failed))
            emit stateChangeAnnounced(false);
    }
}

void MainSystemTrayIcon::announceWaitingDown()
{
    if (ReachabilityWatcher* watcher = ReachabilityWatcher::instance())
        watcher->recompute();
    announceDown(std::exchange(m_goneDown, {}));
}

void MainSystemTrayIcon::CloseWindow()
{
    beginExit();
    if (MainWindow* window = MainWindow::instance())
        window->close();
    // As a termination signal does: the loop ends whatever else is open.
    QCoreApplication::quit();
}

void MainSystemTrayIcon::Activated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::DoubleClick)
        ShowWindow();
}

void MainSystemTrayIcon::ShowWindow()
{
    if (!MainWindow::instance())
        MainWindow::setInstance(new MainWindow(m_windowServices));
    MainWindow* window = MainWindow::instance();
    // From any state: hidden in the tray, minimized from its title bar, behind other windows.
    window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window->show();
    window->raise();
    window->activateWindow();
}

void MainSystemTrayIcon::ShowAbout()
{
    ModalDialog::open(new AboutDialog, MainWindow::instance());
}

} // namespace Tarnwick
