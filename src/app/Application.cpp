// SPDX-License-Identifier: GPL-3.0-or-later
#include "Application.h"

#include "AppLogging.h"
#include "AutoSaver.h"
#include "CommandLine.h"
#include "HistoryRecorder.h"
#include "InstanceLock.h"
#include "MainSystemTrayIcon.h"
#include "MainWindow.h"
#include "MetricsPublisher.h"
#include "Privileges.h"
#include "ProcessSignalWatcher.h"
#include "ProcessValues.h"
#include "RunLogs.h"
#include "ScanCommand.h"
#include "StateChangeSound.h"
#include "TarnwickVersion.h"
#include "data/Data.h"
#include "data/Settings.h"
#include "log/DataLogListener.h"
#include "log/LogManager.h"
#include "map/ReachabilityWatcher.h"
#include "map/VisualRepresentationData.h"
#include "net/NameResolver.h"
#include "net/PingerThread.h"
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
#include <memory>

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

// Failed saves and copies kept aside of the program's files go to the log, besides the
// diagnostics.
void reportToLog(const QString& text)
{
    LogManager::instance().log("Application", text.toStdString());
}

std::unique_ptr<Data> loadDevices(DataLogListener& logListener)
{
    if (!ProbeEngine::shared().hasSocket())
        LogManager::instance().log("Application", icmpPermissionHint().toStdString());
    auto data = std::make_unique<Data>();
    data->load(QStringLiteral("DeviceConfig.xml"), &reportToLog);
    // Until each device answers or not, it shows as not yet probed, and its first result makes
    // no balloon and no log line.
    data->awaitFirstResults();
    // Connected only after loading, so that the entries read from the file are not logged.
    data->connectReceiver(&logListener);
    Data::setInstance(data.get());
    return data;
}

std::unique_ptr<VisualRepresentationData> loadMap()
{
    auto map = std::make_unique<VisualRepresentationData>();
    map->load(QStringLiteral("VisualRepresentation.xml"), &reportToLog);
    VisualRepresentationData::setInstance(map.get());
    return map;
}

// Where the metrics go: the command line's choice for this run, else the setting.
QString metricsAddress(const CommandLine& command)
{
    return command.metricsGiven ? command.metrics : Settings::instance().metricsAddress;
}

// What the desktop and the headless run both keep while the monitor runs, let go of in the
// one safe order: the monitor stops before what takes its results, the files are saved last.
struct Monitoring
{
    std::unique_ptr<DataLogListener> logListener = std::make_unique<DataLogListener>();
    std::unique_ptr<Data> data;
    std::unique_ptr<VisualRepresentationData> map;
    std::unique_ptr<HistoryRecorder> history;
    std::unique_ptr<MetricsPublisher> metrics;

    void end()
    {
        stopPinger();
        ProbeEngine::shared().stop();
        NameResolver::instance().stop();
        // Results the pinger announced before it stopped still wait in the queue: deliver
        // them, which also releases their event records.
        QCoreApplication::sendPostedEvents();
        metrics.reset();
        history.reset();
        // What the history said as it ended (results it could not write) reaches the log.
        QCoreApplication::sendPostedEvents();
        map->save();
        Settings::instance().save();
        data->save();
        LogManager::instance().log("Application", "Application \"Tarnwick\" closed");
        data.reset();
        logListener.reset();
    }
};

// What the device lists read and ask of the monitor: the history's figures while it is kept,
// and the running pinger.
UserList::Services deviceListServices(const Monitoring& monitoring)
{
    UserList::Services services;
    services.statistics = [&monitoring](const QString& ip) {
        if (!monitoring.history)
            return UserList::RowStatistics();
        const DeviceStatistics::Summary hour = monitoring.history->statistics().lastHour(
            ip, QDateTime::currentMSecsSinceEpoch());
        return UserList::RowStatistics{hour.lossPercent, hour.averageMs, hour.jitterMs, hour.lastAnsweredMs};
    };
    services.historyFile = QStringLiteral("History.sqlite");
    services.recordingProblem = [&monitoring] {
        return monitoring.history ? monitoring.history->recordingProblem() : QString();
    };
    services.pingNow = [](const QString& ip) {
        if (PingerThread* pinger = currentPinger(); pinger && Data::instance())
            pinger->probeNow(*Data::instance(), ip);
    };
    return services;
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
    case CommandLine::Mode::Scan:
        openIcmpSocketThenDropPrivileges();
        return ScanCommand::run(argc, argv, command);
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

void Application::openIcmpSocketThenDropPrivileges()
{
    if (Privileges::startedRaised())
        Privileges::forgetCodeLoadingEnvironment();
    ProbeEngine::shared();
    Privileges::dropCapabilities();
}

int Application::runHeadless(int argc, char** argv, const CommandLine& command)
{
    quitRequested = false;
    ProcessSignalWatcher::installHandlers();
    openIcmpSocketThenDropPrivileges();
    InstanceLock lock;
    if (!lock.acquire()) {
        std::fprintf(stderr, "Tarnwick runs already in this folder (process %lld).\n", qlonglong(lock.holder()));
        return 1;
    }
    // Without a desktop, standard error (the journal, under systemd) is where a person looks.
    const RunLogs logs(true);
    Monitoring monitoring;
    Settings::instance().load(QStringLiteral("Settings.xml"), &reportToLog);

    QCoreApplication app(argc, argv);
    monitoring.data = loadDevices(*monitoring.logListener);
    monitoring.map = loadMap();
    ReachabilityWatcher reachability(*monitoring.data, *monitoring.map);
    monitoring.history = std::make_unique<HistoryRecorder>(QStringLiteral("History.sqlite"), Settings::instance(),
                                                           *monitoring.data);
    monitoring.metrics = std::make_unique<MetricsPublisher>(metricsAddress(command), *monitoring.data,
                                                            *monitoring.history);
    ProcessSignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &ProcessSignalWatcher::terminationRequested, &requestQuit);

    startPinger();
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
    openIcmpSocketThenDropPrivileges();
    InstanceLock lock;
    if (!lock.acquire())
        return answerSecondStart(argc, argv, lock.holder());

    const RunLogs logs(false);
    Monitoring monitoring;
    Settings& settings = Settings::instance();
    settings.load(QStringLiteral("Settings.xml"), &reportToLog);

    QApplication app(argc, argv);
    QFile styleSheet;
    applyStyle(app, styleSheet);
    SkinResources::load();
    for (const QString& problem : SkinResources::problems())
        LogManager::instance().log("Application", problem.toStdString());
    // Discovery asks hosts on the local link by ARP where it may.
    if (ProbeEngine::shared().hasSocket() && !ProbeEngine::shared().asksByArp())
        LogManager::instance().log("Application",
                                   "Hosts on the local link are asked by echo alone: no packet socket for "
                                   "ARP ("
                                       + std::string(std::strerror(ProbeEngine::shared().arpSocketError())) + ").");

    monitoring.data = loadDevices(*monitoring.logListener);
    monitoring.map = loadMap();
    Data& data = *monitoring.data;

    const UserList::Services services = deviceListServices(monitoring);
    auto* tray = new MainSystemTrayIcon;
    tray->setWindowServices(services);
    MainSystemTrayIcon::setInstance(tray);
    tray->show();
    tray->showBalloon(QStringLiteral("Tarnwick"), QStringLiteral("Welcome to version %1").arg(appVersion),
                      QSystemTrayIcon::Information, 10000);

    ReachabilityWatcher reachability(data, *monitoring.map);
    auto* window = new MainWindow(services);
    MainWindow::setInstance(window);
    // Hidden in the tray only where there is a tray to bring it back from.
    if (!settings.startHidden || !tray->systemTrayAvailable())
        window->show();
    tellAboutDeviceListProblem(data);

    AutoSaver autoSaver(data, settings, *monitoring.map);
    monitoring.history = std::make_unique<HistoryRecorder>(QStringLiteral("History.sqlite"), settings, data);
    monitoring.metrics = std::make_unique<MetricsPublisher>(metricsAddress(command), data, *monitoring.history);
    StateChangeSound sound;
    QObject::connect(tray, &MainSystemTrayIcon::stateChangeAnnounced, &sound, &StateChangeSound::play);
    ProcessSignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &ProcessSignalWatcher::terminationRequested, &requestQuit);
    QObject::connect(&signalWatcher, &ProcessSignalWatcher::showWindowRequested, tray, &MainSystemTrayIcon::ShowWindow);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &requestQuit);

    startPinger();

    do {
        QApplication::exec();
    } while (!quitRequested);

    monitoring.end();
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
