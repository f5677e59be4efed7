// SPDX-License-Identifier: GPL-3.0-or-later
#include "MainSystemTrayIcon.h"

#include "AboutDialog.h"
#include "MainWindow.h"
#include "data/Announcement.h"
#include "data/Data.h"
#include "data/DeviceSummary.h"
#include "data/MaintenanceList.h"
#include "data/MuteList.h"
#include "data/PhraseBook.h"
#include "server/ProcessValues.h"
#include "skin/SkinResources.h"
#include "ui/MaintenanceDialog.h"
#include "ui/ModalDialog.h"

#include <QApplication>
#include <QMenu>
#include <QPainter>

#include <algorithm>
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
    //: The tray menu's entry that shows the main window
    QAction* show = menu->addAction(tr("Show"));
    menu->addSeparator();
    //: The tray menu's entry that opens the About dialog
    QAction* about = menu->addAction(tr("About"));
    //: The tray menu's entry that ends the program
    QAction* exit = menu->addAction(tr("Exit"));
    setIcon(SkinResources::icon(QStringLiteral("twicon.png")));
    setContextMenu(menu);

    Data* data = Data::ensureInstance();
    // The picture and the tooltip follow the list, looked at once for any number of changes.
    // Not put off again by each change: results that keep coming less than the interval apart
    // would otherwise hold the picture still for as long as they come.
    m_stateTimer.setSingleShot(true);
    m_stateTimer.setInterval(250);
    connect(&m_stateTimer, &QTimer::timeout, this, &MainSystemTrayIcon::refreshState);
    const auto refreshSoon = [this] {
        if (!m_stateTimer.isActive())
            m_stateTimer.start();
    };
    data->connectReceiver(this,
                          {.changed = [refreshSoon](DeviceEntryChangedEvent*) { refreshSoon(); },
                           .added = [refreshSoon](DeviceAddedEvent*) { refreshSoon(); },
                           .removed = [refreshSoon](DeviceRemovedEvent*) { refreshSoon(); }});
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
    m_balloonGate.setInterval(100);
    connect(&m_balloonGate, &QTimer::timeout, this, &MainSystemTrayIcon::showWaitingBalloons);
}

MainSystemTrayIcon::~MainSystemTrayIcon()
{
    delete contextMenu();
}

void MainSystemTrayIcon::setMutes(MuteList& mutes)
{
    QMenu* menu = contextMenu();
    m_muteAll = new QAction(tr("Mute all alerts for 1 hour"), menu);
    m_muteAll->setCheckable(true);
    // After "Show" and its separator.
    menu->insertAction(menu->actions().value(2), m_muteAll);
    const auto follow = [this, &mutes] { m_muteAll->setChecked(mutes.allMutedUntil().has_value()); };
    follow();
    connect(&mutes, &MuteList::changed, m_muteAll, follow);
    // The hour may have ended since the menu was last shown.
    connect(menu, &QMenu::aboutToShow, &mutes, follow);
    connect(m_muteAll, &QAction::triggered, &mutes, [&mutes](bool checked) {
        if (checked)
            mutes.muteAll(QDateTime::currentDateTimeUtc().addSecs(3600));
        else
            mutes.unmuteAll();
    });
}

void MainSystemTrayIcon::setMaintenance(MaintenanceList& maintenance)
{
    QMenu* menu = contextMenu();
    auto* open = new QAction(tr("Maintenance…"), menu);
    // Before "About" and "Exit".
    menu->insertAction(menu->actions().value(menu->actions().size() - 2), open);
    connect(open, &QAction::triggered, &maintenance,
            [&maintenance] { ModalDialog::open(new MaintenanceDialog(maintenance, {}), MainWindow::instance()); });
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
    const DeviceSummary summary = DeviceSummary::of(entries, m_windowServices.slow);
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
            down << DeviceEntry::named(e.ip, e.description);
        else
            ++more;
    }
    QString text = summary.text();
    if (!down.isEmpty()) {
        QString names = down.join(QStringLiteral(", "));
        if (more > 0)
            //: %1: the devices named, %n: how many more there are
            names = tr("%1 and %n more", nullptr, more).arg(names);
        //: %1: the watched devices that are disconnected
        text += QLatin1Char('\n') + tr("Down: %1").arg(names);
    }
    // Plain text: its first line, the summary, never looks like markup, so a description
    // shows as it was typed.
    return text;
}

void MainSystemTrayIcon::announced(const Announcement& announcement)
{
    if (announcement.what != Announcement::What::Alert && announcement.what != Announcement::What::AlertRepeated)
        return;
    // A device gone down weighs more than one back: its balloon says so and stays longer.
    const bool down = announcement.kind == Announcement::Kind::State && !announcement.connected;
    showBalloon(PhraseBook::translate(announcement.title), PhraseBook::translate(announcement.text),
                down ? QSystemTrayIcon::Critical : QSystemTrayIcon::Information, down ? 10000 : 3000);
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
