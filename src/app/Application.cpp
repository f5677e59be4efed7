// SPDX-License-Identifier: GPL-3.0-or-later
#include "Application.h"

#include "AppLogging.h"
#include "AutoSaver.h"
#include "CommandLine.h"
#include "InstanceLock.h"
#include "MainSystemTrayIcon.h"
#include "MainWindow.h"
#include "NeighboursCommand.h"
#include "Privileges.h"
#include "ProcessSignalWatcher.h"
#include "ProcessValues.h"
#include "RunLogs.h"
#include "ScanCommand.h"
#include "StateChangeSound.h"
#include "TarnwickVersion.h"
#include "alert/AlertDispatcher.h"
#include "alert/DesktopNotifier.h"
#include "data/Data.h"
#include "data/Settings.h"
#include "data/VisualRepresentationData.h"
#include "history/DeviceStatistics.h"
#include "log/DataLogListener.h"
#include "log/LogManager.h"
#include "monitor/Announcer.h"
#include "monitor/MonitorCore.h"
#include "monitor/SlowWatch.h"
#include "net/NameResolver.h"
#include "net/NeighbourFinder.h"
#include "net/OuiRegistry.h"
#include "net/ProbeEngine.h"
#include "skin/SkinResources.h"
#include "ui/UserList.h"

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QMessageBox>
#include <QStyleFactory>

#include <csignal>
#include <cstdio>
#include <cstring>

namespace Tarnwick {

namespace {

void applyStyle(QApplication& app, QFile& styleSheet)
{
    styleSheet.setFileName(SkinResources::folder() + QStringLiteral("/style.css"));
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

// Whether the process was started as the headless monitor, from its command line in /proc.
bool runsHeadless(qint64 pid)
{
    QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!commandLine.open(QIODevice::ReadOnly))
        return false;
    return commandLine.readAll().split('\0').contains("--headless");
}

// A second start in a folder where the program runs already: it brings the running one's
// window forward and writes nothing, or says what runs there.
int answerSecondStart(int argc, char** argv, qint64 holder)
{
    const bool headless = holder > 0 && runsHeadless(holder);
    const QString text = headless
        ? QStringLiteral("Tarnwick runs already in this folder (process %1) as the headless monitor, which has no "
                         "window to bring forward.")
              .arg(holder)
        : QStringLiteral("Tarnwick runs already in this folder (process %1).").arg(holder);
    if (!headless && holder > 0 && ::kill(pid_t(holder), SIGUSR1) == 0) {
        std::fprintf(stderr, "%s Its window was brought forward.\n", qPrintable(text));
        return 0;
    }
    std::fprintf(stderr, "%s\n", qPrintable(text));
    if (qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY")) {
        QApplication app(argc, argv);
        // The signals caught from the start end the message too, not only its button.
        QMessageBox box(QMessageBox::Information, QStringLiteral("Tarnwick"), text);
        ProcessSignalWatcher signalWatcher;
        QObject::connect(&signalWatcher, &ProcessSignalWatcher::terminationRequested, &box, &QDialog::reject);
        box.exec();
    }
    return 1;
}

// A device list that could not be read, or not whole, at start: the user is told, and told
// where this session's list goes, so that nothing added now is lost.
void tellAboutDeviceListProblem(const Data& data)
{
    const DocumentFile& file = data.file();
    if (file.readProblem().isEmpty())
        return;
    QString text;
    if (file.unopenable()) {
        text = QStringLiteral("\"%1\" cannot be read: %2. Tarnwick starts with an empty device list; the devices "
                              "you add are saved to \"%3\".")
                   .arg(file.fileName(), file.readProblem(), file.sessionFileName());
    } else {
        text = QStringLiteral("\"%1\" could not be read completely: %2. Tarnwick shows the devices it could read; "
                              "before the list is saved, the file is kept beside it as \"%3\".")
                   .arg(file.fileName(), file.readProblem(), file.backupFileName());
    }
    LogManager::instance().log("Application", text.toStdString());
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Device list - Tarnwick"), text);
    box->setObjectName(QStringLiteral("deviceListProblem"));
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}

// What the core and the program's files have to say (failed saves, copies kept aside, where
// the metrics go) goes to the log, besides the diagnostics.
void reportToLog(const QString& text)
{
    LogManager::instance().log("Application", text.toStdString());
}

MonitorCore::Options coreOptions(const CommandLine& command, const ProbeEngine& engine)
{
    if (!engine.hasSocket())
        reportToLog(icmpPermissionHint());
    // The monitor and discovery ask hosts on the local link by ARP where they may.
    else if (!engine.asksByArp())
        reportToLog(QStringLiteral("Hosts on the local link are asked by echo alone: no packet socket for ARP (%1).")
                        .arg(QString::fromLocal8Bit(std::strerror(engine.arpSocketError()))));
    MonitorCore::Options options;
    // Where the metrics go: the command line's choice for this run, else the setting.
    options.metricsAddress = command.metricsGiven ? command.metrics : Settings::instance().metricsAddress;
    options.version = appVersion;
    options.report = reportToLog;
    // A SIGTERM while a long list is read ends the program without waiting for the rest of it.
    options.stopLoading = &ProcessSignalWatcher::terminationPending;
    return options;
}

void logAlerts(const QString& text)
{
    LogManager::instance().log("Alerts", text.toStdString());
}

// What the desktop and the headless run both keep while the monitor runs: the core, published
// through the accessors, the log's lines about the devices and the alerts that leave the program.
struct Monitoring
{
    DataLogListener logListener;
    MonitorCore core;
    AlertDispatcher alerts;

    Monitoring(const CommandLine& command, ProbeEngine& engine)
        : core(Settings::instance(), engine, coreOptions(command, engine))
        , alerts(Settings::instance(), QStringLiteral("Outbox.sqlite"), logAlerts)
    {
        // Connected only after loading, so that the entries read from the file are not logged.
        core.data().connectReceiver(&logListener);
        QObject::connect(&core.announcer(), &Announcer::announced, &logListener, &DataLogListener::announced);
        QObject::connect(&core.announcer(), &Announcer::announced, &alerts, &AlertDispatcher::announced);
        Data::setInstance(&core.data());
        VisualRepresentationData::setInstance(&core.map());
    }

    ~Monitoring()
    {
        VisualRepresentationData::setInstance(nullptr);
        Data::setInstance(nullptr);
    }

    void end()
    {
        core.end();
        // After the monitor, which makes no more alerts then.
        alerts.finishSending();
        LogManager::instance().log("Application", "Application \"Tarnwick\" closed");
    }
};

// What the device lists read and ask of the monitor: the history's figures while it is kept,
// reachability and "Ping now".
UserList::Services deviceListServices(MonitorCore& core)
{
    UserList::Services services;
    services.statistics = [&core](const QString& ip) {
        const DeviceStatistics* statistics = core.statistics();
        if (!statistics)
            return UserList::RowStatistics();
        const DeviceStatistics::Summary hour = statistics->lastHour(ip, QDateTime::currentMSecsSinceEpoch());
        return UserList::RowStatistics{hour.lossPercent, hour.averageMs, hour.jitterMs, hour.lastAnsweredMs};
    };
    services.historyFile = core.historyFile();
    services.recordingProblem = [&core] { return core.recordingProblem(); };
    services.pingNow = [&core](const QString& ip) { core.pingNow(ip); };
    services.reachability = &core.reachability();
    services.slow = &core.slowWatch();
    services.engine = &core.engine();
    services.startMonitor = [&core] { core.start(); };
    services.mutes = &core.mutes();
    return services;
}

} // namespace

void Application::requestQuit()
{
    // The window is only hidden, and stays the instance: the program ends it once every file
    // is saved, if at all, rather than take a long list apart in the event loop first.
    MainWindow* window = MainWindow::instance();
    if (window) {
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        window->stopAddingRows();
    }
    if (MainSystemTrayIcon* tray = MainSystemTrayIcon::instance())
        tray->CloseWindow();
    MainWindow::setInstance(window);
    quitRequested = true;
    // Ends the loop even while a dialog is still open.
    QCoreApplication::quit();
}

int Application::run(int argc, char** argv)
{
    appVersion = QStringLiteral(TARNWICK_VERSION);
    const CommandLine command = CommandLine::parse(argumentsOf(argc, argv));
    switch (command.mode) {
    case CommandLine::Mode::Help:
        std::printf("%s", qPrintable(CommandLine::usage()));
        return 0;
    case CommandLine::Mode::Version:
        std::printf("Tarnwick %s\n", TARNWICK_VERSION);
        return 0;
    case CommandLine::Mode::Error:
        std::fprintf(stderr, "tarnwick: %s\n", qPrintable(command.error));
        return 2;
    case CommandLine::Mode::Scan: {
        NameResolver resolver;
        const std::unique_ptr<ProbeEngine> engine = openIcmpSocketThenDropPrivileges(resolver);
        return ScanCommand::run(argc, argv, command, *engine);
    }
    case CommandLine::Mode::Neighbours:
        return NeighboursCommand::run();
    case CommandLine::Mode::Headless:
        return runHeadless(argc, argv, command);
    case CommandLine::Mode::Desktop:
        break;
    }
    return runDesktop(argc, argv, command);
}

QStringList Application::argumentsOf(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

std::unique_ptr<ProbeEngine> Application::openIcmpSocketThenDropPrivileges(NameResolver& resolver)
{
    if (Privileges::startedRaised())
        Privileges::forgetCodeLoadingEnvironment();
    auto engine = std::make_unique<ProbeEngine>(resolver);
    Privileges::dropCapabilities();
    return engine;
}

int Application::runHeadless(int argc, char** argv, const CommandLine& command)
{
    quitRequested = false;
    ProcessSignalWatcher::installHandlers();
    NameResolver resolver;
    const std::unique_ptr<ProbeEngine> engine = openIcmpSocketThenDropPrivileges(resolver);
    InstanceLock lock;
    if (!lock.acquire()) {
        std::fprintf(stderr, "Tarnwick runs already in this folder (process %lld).\n", qlonglong(lock.holder()));
        return 1;
    }
    // Without a desktop, standard error (the journal, under systemd) is where a person looks.
    const RunLogs logs(true);
    Settings::instance().load(QStringLiteral("Settings.xml"), &reportToLog);

    QCoreApplication app(argc, argv);
    Monitoring monitoring(command, *engine);
    ProcessSignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &ProcessSignalWatcher::terminationRequested, &requestQuit);

    monitoring.core.start();
    do {
        QCoreApplication::exec();
    } while (!quitRequested);
    monitoring.end();
    return 0;
}

int Application::runDesktop(int argc, char** argv, const CommandLine& command)
{
    quitRequested = false;
    ProcessSignalWatcher::installHandlers();
    NameResolver resolver;
    // Its ICMPv6 socket, like the engine's sockets, is opened while the right to is still there.
    const NeighbourFinder neighbours(OuiRegistry::shared());
    const std::unique_ptr<ProbeEngine> engine = openIcmpSocketThenDropPrivileges(resolver);
    InstanceLock lock;
    if (!lock.acquire())
        return answerSecondStart(argc, argv, lock.holder());

    const RunLogs logs(false);
    Settings& settings = Settings::instance();
    settings.load(QStringLiteral("Settings.xml"), &reportToLog);

    QApplication app(argc, argv);
    QFile styleSheet;
    applyStyle(app, styleSheet);
    SkinResources::load();
    for (const QString& problem : SkinResources::problems())
        LogManager::instance().log("Application", problem.toStdString());
    Monitoring monitoring(command, *engine);
    // Asked to quit while the lists were read: no window is built only to be taken down.
    if (ProcessSignalWatcher::terminationPending()) {
        monitoring.end();
        return 0;
    }
    MonitorCore& core = monitoring.core;
    Data& data = core.data();
    UserList::Services services = deviceListServices(core);
    services.neighbours = &neighbours;
    auto* tray = new MainSystemTrayIcon;
    tray->setWindowServices(services);
    tray->setMutes(core.mutes());
    MainSystemTrayIcon::setInstance(tray);
    // Where the tray cannot show balloons, messages go to the desktop's notification service;
    // without one either, balloons wait for a tray as before.
    DesktopNotifier notifier;
    if ((!tray->systemTrayAvailable() || !QSystemTrayIcon::supportsMessages()) && notifier.isAvailable()) {
        monitoring.alerts.setNotifier(&notifier);
        QObject::connect(&notifier, &DesktopNotifier::showRequested, tray, [tray](const QString& ip) {
            tray->ShowWindow();
            if (MainWindow* window = MainWindow::instance())
                window->showDevice(ip);
        });
    } else {
        QObject::connect(&core.announcer(), &Announcer::announced, tray, &MainSystemTrayIcon::announced);
    }
    tray->show();
    tray->showBalloon(QStringLiteral("Tarnwick"), QStringLiteral("Welcome to version %1").arg(appVersion),
                      QSystemTrayIcon::Information, 10000);

    auto* window = new MainWindow(services);
    MainWindow::setInstance(window);
    // Hidden in the tray only where there is a tray to bring it back from.
    if (!settings.startHidden || !tray->systemTrayAvailable())
        window->show();
    tellAboutDeviceListProblem(data);

    AutoSaver autoSaver(data, settings, core.map());
    StateChangeSound sound;
    QObject::connect(&core.announcer(), &Announcer::announced, &sound, &StateChangeSound::announced);
    ProcessSignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &ProcessSignalWatcher::terminationRequested, &requestQuit);
    QObject::connect(&signalWatcher, &ProcessSignalWatcher::showWindowRequested, tray, &MainSystemTrayIcon::ShowWindow);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &requestQuit);

    core.start();

    do {
        QApplication::exec();
    } while (!quitRequested);

    monitoring.end();
    // A window that closed for real deletes itself. The main window is left to the end of the
    // process, everything it shows being saved by now: taking 100,000 rows apart one by one
    // would take longer than the rest of the quit together. It stays the instance, so that
    // leak checkers see it held.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    MainSystemTrayIcon::setInstance(nullptr);
    delete tray;
    return 0;
}

} // namespace Tarnwick
