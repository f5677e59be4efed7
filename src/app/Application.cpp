// SPDX-License-Identifier: GPL-3.0-or-later
#include "Application.h"
#include "AppearanceSwitch.h"
#include "DesktopColorScheme.h"
#include "InterfaceTranslations.h"

#include "MainSystemTrayIcon.h"
#include "MainWindow.h"
#include "RunningMonitor.h"
#include "StateChangeSound.h"
#include "TarnwickVersion.h"
#include "alert/AlertDispatcher.h"
#include "alert/DesktopNotifier.h"
#include "data/Data.h"
#include "data/PhraseBook.h"
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
#include "server/AppLogging.h"
#include "server/CommandLine.h"
#include "server/HeadlessProgram.h"
#include "server/InstanceLock.h"
#include "server/Monitoring.h"
#include "server/NeighboursCommand.h"
#include "server/Privileges.h"
#include "server/ProcessSignalWatcher.h"
#include "server/ProcessValues.h"
#include "server/RunLogs.h"
#include "server/ScanCommand.h"
#include "skin/SkinResources.h"
#include "ui/UserList.h"

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QMessageBox>
#include <QScopeGuard>

#include <csignal>
#include <cstdio>
#include <cstring>

namespace Tarnwick {

namespace {

// Whether the process was started as the headless monitor, from its command line in /proc.
bool runsHeadless(qint64 pid)
{
    QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!commandLine.open(QIODevice::ReadOnly))
        return false;
    const QList<QByteArray> words = commandLine.readAll().split('\0');
    return words.contains("--headless") || words.first().endsWith("tarnwick-headless");
}

// A second start in a folder where the program runs already: it brings the running one's
// window forward and writes nothing, or says what runs there.
int answerSecondStart(int argc, char** argv, qint64 holder)
{
    const bool headless = holder > 0 && runsHeadless(holder);
    // Standard error gets the English words, the message box the user's language.
    const char* const running = headless
        //: %1: the number of the running process
        ? QT_TRANSLATE_NOOP("Application",
                            "Tarnwick runs already in this folder (process %1) as the headless "
                            "monitor, which has no window to bring forward.")
        //: %1: the number of the running process
        : QT_TRANSLATE_NOOP("Application", "Tarnwick runs already in this folder (process %1).");
    const QString text = QString::fromUtf8(running).arg(holder);
    if (!headless && holder > 0 && ::kill(pid_t(holder), SIGUSR1) == 0) {
        std::fprintf(stderr, "%s Its window was brought forward.\n", qPrintable(text));
        return 0;
    }
    std::fprintf(stderr, "%s\n", qPrintable(text));
    if (qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY")) {
        QApplication app(argc, argv);
        InterfaceTranslations translations;
        translations.install();
        // The signals caught from the start end the message too, not only its button.
        QMessageBox box(QMessageBox::Information, QStringLiteral("Tarnwick"),
                        QCoreApplication::translate("Application", running).arg(holder));
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
    // The log keeps the English words, the message box says them in the user's language.
    const char* const problem = file.unopenable()
        //: %1: the device list's file, %2: why it cannot be read, %3: the file this session's list goes to
        ? QT_TRANSLATE_NOOP("Application",
                            "\"%1\" cannot be read: %2. Tarnwick starts with an empty device list; "
                            "the devices you add are saved to \"%3\".")
        //: %1: the device list's file, %2: what went wrong, %3: the copy of the file kept beside it
        : QT_TRANSLATE_NOOP("Application",
                            "\"%1\" could not be read completely: %2. Tarnwick shows the devices it "
                            "could read; before the list is saved, the file is kept beside it as "
                            "\"%3\".");
    const QString keptAs = file.unopenable() ? file.sessionFileName() : file.backupFileName();
    const auto told = [&](const QString& words, const QString& why) { return words.arg(file.fileName(), why, keptAs); };
    LogManager::instance().log("Application", told(QString::fromUtf8(problem), file.readProblem()).toStdString());
    auto* box = new QMessageBox(
        QMessageBox::Warning, QCoreApplication::translate("Application", "Device list - Tarnwick"),
        told(QCoreApplication::translate("Application", problem), PhraseBook::translate(file.readProblem())));
    box->setObjectName(QStringLiteral("deviceListProblem"));
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}

// What the device lists read and ask of the monitor: the history's figures while it is kept,
// reachability and "Ping now".
UserList::Services deviceListServices(MonitorCore& core)
{
    UserList::Services services;
    services.statistics = [&core](const QString& ip) {
        const DeviceStatistics* statistics = core.statistics();
        if (!statistics)
            return UserList::RowStatistics();
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        const DeviceStatistics::Summary hour = statistics->lastHour(ip, now);
        const DeviceStatistics::Spread hourSpread = statistics->lastHourSpread(ip, now);
        const DeviceStatistics::Spread daySpread = statistics->lastDaySpread(ip, now);
        return UserList::RowStatistics{hour.lossPercent,    hour.averageMs,          hour.jitterMs,
                                       hour.lastAnsweredMs, hourSpread.medianMs,     hourSpread.percentile95Ms,
                                       daySpread.medianMs,  daySpread.percentile95Ms};
    };
    services.historyFile = core.historyFile();
    services.recordingProblem = [&core] { return core.recordingProblem(); };
    services.pingNow = [&core](const QString& ip) { core.pingNow(ip); };
    services.reachability = &core.reachability();
    services.slow = &core.slowWatch();
    services.engine = &core.engine();
    services.monitor = {&stopPinger, &startPinger};
    services.mutes = &core.mutes();
    services.maintenance = &core.maintenance();
    services.inventory = &core.inventory();
    services.paths = &core.paths();
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
    const CommandLine command = CommandLine::parse(HeadlessProgram::argumentsOf(argc, argv));
    if (const std::optional<int> status = HeadlessProgram::runTool(argc, argv, command, CommandLine::Mode::Desktop))
        return *status;
    if (command.mode == CommandLine::Mode::Headless)
        return HeadlessProgram::runMonitor(argc, argv, command);
    return runDesktop(argc, argv, command);
}

int Application::runDesktop(int argc, char** argv, const CommandLine& command)
{
    quitRequested = false;
    ProcessSignalWatcher::installHandlers();
    NameResolver resolver;
    // Its ICMPv6 socket, like the engine's sockets, is opened while the right to is still there.
    const NeighbourFinder neighbours(OuiRegistry::shared());
    // The network watch's own: the discovery dialog may search while a round does.
    const NeighbourFinder watchNeighbours(OuiRegistry::shared());
    const std::unique_ptr<ProbeEngine> engine = HeadlessProgram::openIcmpSocketThenDropPrivileges(resolver);
    InstanceLock lock;
    if (!lock.acquire())
        return answerSecondStart(argc, argv, lock.holder());

    const RunLogs logs(false);
    Settings& settings = Settings::instance();
    settings.load(QStringLiteral("Settings.xml"), &Monitoring::reportToLog);

    QApplication app(argc, argv);
    // The window in the user's language; logs, alerts and files stay English.
    InterfaceTranslations translations;
    translations.install();
    // Light or dark, as the settings say or as the desktop prefers, from the window's first picture on.
    DesktopColorScheme desktopScheme(QDBusConnection::sessionBus());
    AppearanceSwitch appearance(settings, desktopScheme, SkinResources::folder());
    SkinResources::load();
    for (const QString& problem : SkinResources::problems())
        LogManager::instance().log("Application", problem.toStdString());
    Monitoring monitoring(command, settings, *engine, &watchNeighbours);
    setRunningCore(&monitoring.core());
    const auto unpublish = qScopeGuard([] { setRunningCore(nullptr); });
    // Asked to quit while the lists were read: no window is built only to be taken down.
    if (ProcessSignalWatcher::terminationPending()) {
        monitoring.end();
        return 0;
    }
    MonitorCore& core = monitoring.core();
    Data& data = core.data();
    UserList::Services services = deviceListServices(core);
    services.neighbours = &neighbours;
    auto* tray = new MainSystemTrayIcon;
    tray->setWindowServices(services);
    tray->setMutes(core.mutes());
    tray->setMaintenance(core.maintenance());
    MainSystemTrayIcon::setInstance(tray);
    // Where the tray cannot show balloons, messages go to the desktop's notification service;
    // without one either, balloons wait for a tray as before.
    DesktopNotifier notifier;
    if ((!tray->systemTrayAvailable() || !QSystemTrayIcon::supportsMessages()) && notifier.isAvailable()) {
        monitoring.alerts().setNotifier(&notifier);
        QObject::connect(&notifier, &DesktopNotifier::showRequested, tray, [tray](const QString& ip) {
            tray->ShowWindow();
            if (MainWindow* window = MainWindow::instance())
                window->showDevice(ip);
        });
    } else {
        QObject::connect(&core.announcer(), &Announcer::announced, tray, &MainSystemTrayIcon::announced);
    }
    tray->show();
    //: The balloon at start; %1: the program's version
    tray->showBalloon(QStringLiteral("Tarnwick"),
                      QCoreApplication::translate("Application", "Welcome to version %1").arg(appVersion),
                      QSystemTrayIcon::Information, 10000);

    auto* window = new MainWindow(services);
    MainWindow::setInstance(window);
    // Hidden in the tray only where there is a tray to bring it back from.
    if (!settings.startHidden || !tray->systemTrayAvailable())
        window->show();
    tellAboutDeviceListProblem(data);

    StateChangeSound sound;
    QObject::connect(&core.announcer(), &Announcer::announced, &sound, &StateChangeSound::announced);
    ProcessSignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &ProcessSignalWatcher::terminationRequested, &requestQuit);
    QObject::connect(&signalWatcher, &ProcessSignalWatcher::showWindowRequested, tray, &MainSystemTrayIcon::ShowWindow);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &requestQuit);

    startPinger();

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
