#include "MainWindow.h"

#include "MainSystemTrayIcon.h"
#include "data/Data.h"
#include "data/Settings.h"
#include "log/LogListWidget.h"
#include "map/VisualRepresentationWidget.h"
#include "net/DiscoverDevicesDialog.h"
#include "skin/SkinResources.h"
#include "ui/AddDeviceDialog.h"
#include "ui/ModalDialog.h"
#include "ui/SettingsDialog.h"
#include "ui/UserList.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QMoveEvent>
#include <QPushButton>
#include <QResizeEvent>
#include <QTabBar>
#include <QVBoxLayout>

namespace Tarnwick {

namespace {
MainWindow* s_instance = nullptr;
}

MainWindow::MainWindow()
{
    // Closed for real only on quitting; such a window is never shown again.
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Tarnwick"));
    setWindowIcon(SkinResources::icon(QStringLiteral("twicon.png")));
    auto* central = new QWidget;
    auto* outer = new QVBoxLayout(central);

    m_minimizeButton = new QPushButton(QStringLiteral("Minimize"));
    m_discoverButton = new QPushButton(QStringLiteral("Discover Devices"));
    m_settingsButton = new QPushButton(QStringLiteral("Settings"));
    m_addButton = new QPushButton(QStringLiteral("Add Device"));
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

    m_userList = new UserList(this);
    m_mapView = new VisualRepresentationWidget(this);
    m_logView = new LogListWidget(this);
    m_userList->setObjectName(QStringLiteral("userList"));
    m_mapView->setObjectName(QStringLiteral("mapView"));
    m_logView->setObjectName(QStringLiteral("logView"));
    m_mapView->hide();
    m_logView->hide();

    auto* tabs = new QTabBar;
    tabs->setObjectName(QStringLiteral("tabBar"));
    tabs->addTab(QStringLiteral("Device list"));
    tabs->addTab(QStringLiteral("Visual representation"));
    tabs->addTab(QStringLiteral("Log"));
    tabs->setCurrentIndex(0);

    auto* views = new QHBoxLayout;
    views->addWidget(m_userList);
    views->addWidget(m_mapView);
    views->addWidget(m_logView);
    outer->addWidget(tabs, 0);
    outer->addLayout(views, 0);
    outer->addLayout(buttons, 0);
    setCentralWidget(central);

    Data* store = Data::ensureInstance();
    store->connectReceiver(m_userList);
    for (const DeviceEntry& entry : store->entries())
        m_userList->addEntryRow(entry);

    connect(tabs, &QTabBar::currentChanged, this, &MainWindow::TabChanged);
    connect(m_minimizeButton, &QPushButton::pressed, this, &MainWindow::CloseButtonClicked);
    connect(m_discoverButton, &QPushButton::pressed, this, &MainWindow::DiscoverDevicesButtonClicked);
    connect(m_settingsButton, &QPushButton::pressed, this, &MainWindow::SettingsButtonClicked);
    connect(m_addButton, &QPushButton::pressed, this, &MainWindow::AddDeviceButtonClicked);

    setMinimumSize(500, 350);
    const Settings& settings = Settings::instance();
    if (settings.windowMaximized)
        showMaximized();
    else
        setGeometry(settings.windowGeometry);
}

MainWindow* MainWindow::instance()
{
    return s_instance;
}

void MainWindow::setInstance(MainWindow* window)
{
    s_instance = window;
}

void MainWindow::TabChanged(int index)
{
    m_userList->setVisible(index == 0);
    m_mapView->setVisible(index == 1);
    m_logView->setVisible(index != 0 && index != 1);
}

void MainWindow::CloseButtonClicked()
{
    MainSystemTrayIcon* tray = MainSystemTrayIcon::instance();
    // Without a system tray a hidden window could never come back: minimize to the task bar.
    if (tray && tray->isVisible() && !MainSystemTrayIcon::systemTrayAvailable())
        showMinimized();
    else
        close();
}

void MainWindow::DiscoverDevicesButtonClicked()
{
    ModalDialog::open(new DiscoverDevicesDialog);
}

void MainWindow::SettingsButtonClicked()
{
    ModalDialog::open(new SettingsDialog);
}

void MainWindow::AddDeviceButtonClicked()
{
    ModalDialog::open(new AddDeviceDialog);
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
    if (tray && tray->isVisible())
        tray->beginExit();
    if (s_instance == this)
        s_instance = nullptr;
    event->accept();
}

void MainWindow::moveEvent(QMoveEvent* event)
{
    Settings& settings = Settings::instance();
    settings.windowGeometry = QRect(event->pos(), QSize(width(), height()));
    settings.windowMaximized = isMaximized();
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    if (event->size().width() < 1 || event->size().height() < 1)
        hide();
    Settings& settings = Settings::instance();
    settings.windowGeometry = QRect(x(), y(), event->size().width(), event->size().height());
    settings.windowMaximized = isMaximized();
}

} // namespace Tarnwick
