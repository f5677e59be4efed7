#include "Application.h"

#include "MainSystemTrayIcon.h"
#include "MainWindow.h"
#include "ProcessValues.h"
#include "TarnwickVersion.h"
#include "TerminationSignalWatcher.h"
#include "data/Data.h"
#include "data/Settings.h"
#include "log/DataLogListener.h"
#include "log/FileLog.h"
#include "log/LogManager.h"
#include "map/VisualRepresentationData.h"
#include "net/IcmpSocket.h"
#include "net/PingerThread.h"
#include "skin/SkinResources.h"

#include <QApplication>
#include <QFile>
#include <QStyleFactory>

#include <memory>

namespace Tarnwick {

namespace {

void applyStyle(QApplication& app, QFile& styleSheet)
{
    styleSheet.setFileName(QStringLiteral("Skins/%1/style.css").arg(Settings::instance().skin));
    if (styleSheet.open(QIODevice::ReadOnly | QIODevice::Text))
        app.setStyleSheet(QString::fromUtf8(styleSheet.readAll()));
    else
        app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
}

// Without any ICMP socket every device would read disconnected; say why and how to mend it.
QString icmpPermissionHint()
{
    return QStringLiteral("ICMP echo requests cannot be sent, so every device will show as disconnected. "
                          "Allow them with \"sudo setcap cap_net_raw+ep %1\", "
                          "or for every user with \"sudo sysctl -w net.ipv4.ping_group_range='0 2147483647'\".")
        .arg(QCoreApplication::applicationFilePath());
}

} // namespace

void Application::requestQuit()
{
    if (MainSystemTrayIcon* tray = MainSystemTrayIcon::instance())
        tray->CloseWindow();
    quitRequested = true;
    // Ends the loop even while a dialog is still open.
    QCoreApplication::quit();
}

int Application::run(int argc, char** argv)
{
    appVersion = QStringLiteral(TARNWICK_VERSION);
    quitRequested = false;
    TerminationSignalWatcher::installHandlers();

    LogManager& logManager = LogManager::instance();
    static FileLog fileLog("LogRelease.txt");
    logManager.addLog(&fileLog);
    logManager.log("Application", "Application \"Tarnwick\" started");
    auto logListener = std::make_unique<DataLogListener>();

    Settings& settings = Settings::instance();
    settings.load(QStringLiteral("Settings.xml"));

    QApplication app(argc, argv);
    if (!IcmpSocket().isOpen())
        logManager.log("Application", icmpPermissionHint().toStdString());
    QFile styleSheet;
    applyStyle(app, styleSheet);
    SkinResources::load();

    auto data = std::make_unique<Data>();
    data->load(QStringLiteral("DeviceConfig.xml"));
    // Connected only after loading, so that the entries read from the file are not logged.
    data->connectReceiver(logListener.get());
    Data::setInstance(data.get());

    auto map = std::make_unique<VisualRepresentationData>();
    map->load(QStringLiteral("VisualRepresentation.xml"));
    VisualRepresentationData::setInstance(map.get());

    auto* tray = new MainSystemTrayIcon;
    MainSystemTrayIcon::setInstance(tray);
    tray->show();
    tray->showBalloon(QStringLiteral("Tarnwick"), QStringLiteral("Welcome to version %1").arg(appVersion),
                      QSystemTrayIcon::Information, 10000);

    auto* window = new MainWindow;
    MainWindow::setInstance(window);
    window->show();

    TerminationSignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &TerminationSignalWatcher::terminationRequested, &requestQuit);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &requestQuit);

    startPinger();

    do {
        QApplication::exec();
    } while (!quitRequested);

    stopPinger();
    // Results the pinger announced before it stopped still wait in the queue: deliver them,
    // which also releases their event records.
    QCoreApplication::sendPostedEvents();
    map->save();
    settings.save();
    data->save();
    logManager.log("Application", "Application \"Tarnwick\" closed");
    data.reset();
    logListener.reset();
    // A window that closed for real deletes itself; whatever still lives goes before the
    // application object that it needs.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    delete MainWindow::instance();
    MainWindow::setInstance(nullptr);
    MainSystemTrayIcon::setInstance(nullptr);
    delete tray;
    return 0;
}

} // namespace Tarnwick
