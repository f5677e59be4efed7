#include "MainSystemTrayIcon.h"

#include "AboutDialog.h"
#include "MainWindow.h"
#include "ProcessValues.h"
#include "data/Data.h"
#include "skin/SkinResources.h"
#include "ui/ModalDialog.h"

#include <QApplication>
#include <QMenu>

namespace Tarnwick {

namespace {
MainSystemTrayIcon* s_instance = nullptr;
MainSystemTrayIcon::AvailabilityCheck s_availability;
} // namespace

MainSystemTrayIcon::MainSystemTrayIcon(QObject* parent)
    : QSystemTrayIcon(parent)
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
    connect(this, &QSystemTrayIcon::messageClicked, this, &MainSystemTrayIcon::MessageClicked);
    connect(this, &QSystemTrayIcon::activated, this, &MainSystemTrayIcon::Activated);
    connect(show, &QAction::triggered, this, &MainSystemTrayIcon::ShowWindow);
    connect(exit, &QAction::triggered, this, &MainSystemTrayIcon::CloseWindow);
    connect(about, &QAction::triggered, this, &MainSystemTrayIcon::ShowAbout);
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
    s_availability = std::move(check);
}

bool MainSystemTrayIcon::systemTrayAvailable()
{
    return s_availability ? s_availability() : QSystemTrayIcon::isSystemTrayAvailable();
}

void MainSystemTrayIcon::setBalloonSink(BalloonSink sink)
{
    m_balloonSink = std::move(sink);
}

void MainSystemTrayIcon::showBalloon(const QString& title, const QString& text, MessageIcon icon, int ms)
{
    if (m_balloonSink)
        m_balloonSink(title, text, icon, ms);
    else
        showMessage(title, text, icon, ms);
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

void MainSystemTrayIcon::DeviceEntryChanged(DeviceEntryChangedEvent* pEvent)
{
    const DeviceEntry after = pEvent->newEntry();
    if (!after.informOnStateChange || after.state == pEvent->oldEntry().state)
        return;
    QString title;
    if (after.state == DeviceStateConnected)
        title = QStringLiteral("Device connected");
    else if (after.state == DeviceStateDisconnected)
        title = QStringLiteral("Device Disconnected");
    else
        return;
    showBalloon(title, after.ip + QLatin1Char(' ') + after.description, QSystemTrayIcon::Information, 3000);
}

void MainSystemTrayIcon::CloseWindow()
{
    beginExit();
    if (MainWindow* window = MainWindow::instance())
        window->close();
    // A window hidden in the tray closes without ending the loop; end it once nothing is shown.
    const QWidgetList windows = QApplication::topLevelWidgets();
    if (std::none_of(windows.cbegin(), windows.cend(), [](const QWidget* w) { return w->isVisible(); }))
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
        MainWindow::setInstance(new MainWindow);
    MainWindow* window = MainWindow::instance();
    window->show();
    window->activateWindow();
}

void MainSystemTrayIcon::ShowAbout()
{
    ModalDialog::open(new AboutDialog);
}

} // namespace Tarnwick
