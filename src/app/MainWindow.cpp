// SPDX-License-Identifier: GPL-3.0-or-later
#include "MainWindow.h"

#include "MainSystemTrayIcon.h"
#include "WindowPlacement.h"
#include "data/Data.h"
#include "data/DeviceAddedEvent.h"
#include "data/MaintenanceList.h"
#include "data/Settings.h"
#include "map/VisualRepresentationWidget.h"
#include "skin/SkinResources.h"
#include "ui/AddDeviceDialog.h"
#include "ui/DiscoverDevicesDialog.h"
#include "ui/LogListWidget.h"
#include "ui/ModalDialog.h"
#include "ui/NetworkView.h"
#include "ui/SettingsDialog.h"
#include "ui/UserList.h"
#include "ui/UserListTreeWidget.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMoveEvent>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QTabBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace Tarnwick {

namespace {
MainWindow* s_instance = nullptr;
}

MainWindow::MainWindow(UserList::Services services)
{
    // Closed for real only on quitting; such a window is never shown again.
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Tarnwick"));
    setWindowIcon(SkinResources::icon(QStringLiteral("twicon.png")));
    auto* central = new QWidget;
    auto* outer = new QVBoxLayout(central);

    //: The button that hides the window to the tray
    m_minimizeButton = new QPushButton(tr("Minimize"));
    m_discoverButton = new QPushButton(tr("Discover Devices"));
    //: The button that opens the Settings dialog
    m_settingsButton = new QPushButton(tr("Settings"));
    m_addButton = new QPushButton(tr("Add Device"));
    m_minimizeButton->setObjectName(QStringLiteral("minimizeButton"));
    m_discoverButton->setObjectName(QStringLiteral("discoverButton"));
    m_settingsButton->setObjectName(QStringLiteral("settingsButton"));
    m_addButton->setObjectName(QStringLiteral("addDeviceButton"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_addButton);
    buttons->addWidget(m_discoverButton);
    buttons->addWidget(m_settingsButton);
    buttons->addStretch(50);
    buttons->addWidget(m_minimizeButton);

    const ReachabilityView* reachability = services.reachability;
    const SlowView* slow = services.slow;
    const MaintenanceView* maintenance = services.maintenance;
    const DevicePaths* paths = services.paths;
    m_engine = services.engine;
    m_monitor = services.monitor;
    m_neighbours = services.neighbours;
    NetworkInventory* inventory = services.inventory;
    m_discoverButton->setEnabled(m_engine);
    m_userList = new UserList(std::move(services), this);
    m_mapView = new VisualRepresentationWidget(this);
    m_mapView->setReachability(reachability);
    m_mapView->setSlowView(slow);
    m_mapView->setMaintenanceView(maintenance);
    m_mapView->setPaths(paths);
    m_logView = new LogListWidget(this);
    m_userList->setObjectName(QStringLiteral("userList"));
    m_mapView->setObjectName(QStringLiteral("mapView"));
    m_logView->setObjectName(QStringLiteral("logView"));
    m_mapView->hide();
    m_logView->hide();
    if (inventory) {
        m_networkView = new NetworkView(*inventory, this);
        m_networkView->setObjectName(QStringLiteral("networkView"));
        m_networkView->hide();
    }

    auto* tabs = new QTabBar;
    tabs->setObjectName(QStringLiteral("tabBar"));
    //: A tab of the main window
    tabs->addTab(tr("Device list"));
    //: A tab of the main window: the map of the devices
    tabs->addTab(tr("Visual representation"));
    //: A tab of the main window: the program's log
    tabs->addTab(tr("Log"));
    if (m_networkView)
        //: A tab of the main window: the hardware heard on the network
        tabs->addTab(tr("Network"));
    tabs->setCurrentIndex(0);

    auto* views = new QHBoxLayout;
    views->addWidget(m_userList);
    views->addWidget(m_mapView);
    views->addWidget(m_logView);
    if (m_networkView)
        views->addWidget(m_networkView);
    outer->addWidget(tabs, 0);
    outer->addLayout(views, 0);
    outer->addLayout(buttons, 0);
    setCentralWidget(central);

    Data* store = Data::ensureInstance();
    store->connectReceiver(m_userList);
    m_rowsToAdd = store->entries();
    // A device removed and added again before its slice came has its row already.
    store->connectReceiver(this, {.added = [this](DeviceAddedEvent* added) {
                               if (m_rowsAdded < m_rowsToAdd.size())
                                   m_addedMeanwhile.insert(added->entry().ip);
                           }});
    addRowsSlice();

    connect(tabs, &QTabBar::currentChanged, this, &MainWindow::TabChanged);
    connect(m_userList->tree(), &UserListTreeWidget::showOnMapRequested, this, [this, tabs](const QString& ip) {
        tabs->setCurrentIndex(1);
        m_mapView->showDevice(ip);
    });
    connect(m_minimizeButton, &QPushButton::pressed, this, &MainWindow::CloseButtonClicked);
    connect(m_discoverButton, &QPushButton::pressed, this, &MainWindow::DiscoverDevicesButtonClicked);
    connect(m_settingsButton, &QPushButton::pressed, this, &MainWindow::SettingsButtonClicked);
    connect(m_addButton, &QPushButton::pressed, this, &MainWindow::AddDeviceButtonClicked);

    setMinimumSize(500, 350);
    const Settings& settings = Settings::instance();
    if (settings.windowMaximized)
        showMaximized();
    else
        applyStoredGeometry(settings.windowGeometry);
}

void MainWindow::addRowsSlice()
{
    // A long list comes in a slice at a time from the event loop, so that the window can be
    // used, and the program quit, while the rest is added. Entries added since come through
    // the store's announcements; those removed meanwhile are left out, and each row shows its
    // entry as the store has it now. The window is made with a fixed number of rows; later
    // slices last a few tens of milliseconds each, as many rows as the machine adds in that
    // time, since every turn of the loop lays out the whole list again. Rows go in a thousand
    // at a time, each thousand as one insertion.
    const Data* store = Data::ensureInstance();
    const bool withTheWindow = m_rowsAdded == 0;
    const qsizetype end = withTheWindow ? std::min(m_rowsToAdd.size(), RowsWithTheWindow) : m_rowsToAdd.size();
    QElapsedTimer slice;
    slice.start();
    while (m_rowsAdded < end && (withTheWindow || slice.elapsed() < SliceMs)) {
        QList<DeviceEntry> entries;
        for (const qsizetype last = std::min(end, m_rowsAdded + RowsAtOnce); m_rowsAdded < last; ++m_rowsAdded) {
            const QString& ip = m_rowsToAdd.at(m_rowsAdded).ip;
            DeviceEntry entry = store->entry(ip);
            if (!entry.ip.isEmpty() && !m_addedMeanwhile.contains(ip))
                entries << std::move(entry);
        }
        m_userList->addEntryRows(entries);
    }
    if (m_rowsAdded < m_rowsToAdd.size()) {
        // A timer, not a queued call: queued calls go ahead of the socket that brings a
        // SIGTERM, which then waited for another slice and its layout.
        QTimer::singleShot(1, Qt::PreciseTimer, this, &MainWindow::addRowsSlice);
    } else {
        stopAddingRows();
    }
}

void MainWindow::stopAddingRows()
{
    m_rowsToAdd.clear();
    m_addedMeanwhile.clear();
}

void MainWindow::applyStoredGeometry(const QRect& stored)
{
    // Never placed by the user (a first start): the window manager knows best where it goes.
    if (stored == Settings::DefaultWindowGeometry) {
        resize(stored.size());
        return;
    }
    QList<QRect> areas;
    for (const QScreen* screen : QGuiApplication::screens())
        areas << screen->availableGeometry();
    setGeometry(WindowPlacement::fit(stored, areas, minimumSize()));
    m_checkFrameOnShow = true;
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!std::exchange(m_checkFrameOnShow, false))
        return;
    // Placed by its inner rectangle, the window's frame (its title bar above all) may still
    // stick out of the screen once the window manager has framed it; bring it in.
    // The frame is known once the window manager has framed the window, which takes a moment.
    const auto bringFrameIn = [this] {
        const QScreen* here = screen();
        if (!here || isMaximized())
            return;
        const QRect area = here->availableGeometry();
        const QRect frame = frameGeometry();
        if (area.contains(frame))
            return;
        const QMargins margins(geometry().left() - frame.left(), geometry().top() - frame.top(),
                               frame.right() - geometry().right(), frame.bottom() - geometry().bottom());
        const QSize least = minimumSize() + QSize(margins.left() + margins.right(), margins.top() + margins.bottom());
        setGeometry(WindowPlacement::fit(frame, {area}, least).marginsRemoved(margins));
    };
    QTimer::singleShot(0, this, bringFrameIn);
    QTimer::singleShot(500, this, bringFrameIn);
}

MainWindow* MainWindow::instance()
{
    return s_instance;
}

void MainWindow::setInstance(MainWindow* window)
{
    s_instance = window;
}

void MainWindow::showDevice(const QString& ip)
{
    findChild<QTabBar*>(QStringLiteral("tabBar"))->setCurrentIndex(0);
    m_userList->selectDevice(ip);
}

void MainWindow::TabChanged(int index)
{
    m_userList->setVisible(index == 0);
    m_mapView->setVisible(index == 1);
    const bool network = m_networkView && index == 3;
    m_logView->setVisible(index != 0 && index != 1 && !network);
    if (m_networkView)
        m_networkView->setVisible(network);
}

void MainWindow::CloseButtonClicked()
{
    MainSystemTrayIcon* tray = MainSystemTrayIcon::instance();
    // Without a system tray a hidden window could never come back: minimize to the task bar.
    if (tray && tray->isVisible() && !tray->systemTrayAvailable())
        showMinimized();
    else
        close();
}

void MainWindow::DiscoverDevicesButtonClicked()
{
    ModalDialog::open(new DiscoverDevicesDialog(*m_engine, m_monitor, nullptr, m_neighbours), this);
}

void MainWindow::SettingsButtonClicked()
{
    ModalDialog::open(new SettingsDialog, this);
}

void MainWindow::AddDeviceButtonClicked()
{
    ModalDialog::open(new AddDeviceDialog, this);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    MainSystemTrayIcon* tray = MainSystemTrayIcon::instance();
    if (tray && tray->keepsWindowsInTray()) {
        hide();
        event->ignore();
        return;
    }
    // Without a system tray, closing the window is the way to quit.
    if (tray && tray->isVisible()) {
        tray->beginExit();
        QCoreApplication::quit();
    }
    if (s_instance == this)
        s_instance = nullptr;
    event->accept();
}

void MainWindow::moveEvent(QMoveEvent* event)
{
    Settings& settings = Settings::instance();
    settings.set(&Settings::windowGeometry, QRect(event->pos(), QSize(width(), height())));
    settings.set(&Settings::windowMaximized, isMaximized());
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    if (event->size().width() < 1 || event->size().height() < 1)
        hide();
    Settings& settings = Settings::instance();
    settings.set(&Settings::windowGeometry, QRect(x(), y(), event->size().width(), event->size().height()));
    settings.set(&Settings::windowMaximized, isMaximized());
}

} // namespace Tarnwick
