#include "Application.h"

#include "AppLogging.h"
#include "AutoSaver.h"
#include "CommandLine.h"
#include "HistoryRecorder.h"
#include "InstanceLock.h"
#include "MainSystemTrayIcon.h"
#include "MainWindow.h"
#include "Privileges.h"
#include "ProcessSignalWatcher.h"
#include "ProcessValues.h"
#include "ScanCommand.h"
#include "StateChangeSound.h"
#include "TarnwickVersion.h"
#include "data/Data.h"
#include "data/Settings.h"
#include "log/DataLogListener.h"
#include "log/FileLog.h"
#include "log/LogManager.h"
#include "map/ReachabilityWatcher.h"
#include "map/VisualRepresentationData.h"
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

// A second start in a folder where the program runs already: it brings the running one's
// window forward and writes nothing, or says that one runs.
int answerSecondStart(int argc, char** argv, qint64 holder)
{
    const QString text = QStringLiteral("Tarnwick runs already in this folder (process %1).").arg(holder);
    if (holder > 0 && ::kill(pid_t(holder), SIGUSR1) == 0) {
        std::fprintf(stderr, "%s Its window was brought forward.\n", qPrintable(text));
        return 0;
    }
    std::fprintf(stderr, "%s\n", qPrintable(text));
    if (qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY")) {
        QApplication app(argc, argv);
        QMessageBox::information(nullptr, QStringLiteral("Tarnwick"), text);
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
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
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
    case CommandLine::Mode::Desktop:
        break;
    }
    return runDesktop(argc, argv);
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
    Privileges::dropFileCapabilities();
}

int Application::runDesktop(int argc, char** argv)
{
    quitRequested = false;
    ProcessSignalWatcher::installHandlers();
    openIcmpSocketThenDropPrivileges();
    InstanceLock lock;
    if (!lock.acquire())
        return answerSecondStart(argc, argv, lock.holder());

    LogManager& logManager = LogManager::instance();
    static FileLog fileLog("LogRelease.txt");
    // One old log is kept beside the new one, so that the log never grows without end.
    fileLog.rotateIfLarger(10 * 1024 * 1024);
    logManager.addLog(&fileLog);
    logManager.log("Application", "Application \"Tarnwick\" started");
    // Failed saves and copies kept aside go to the log, besides the diagnostics.
    DocumentFile::setReporter(
        [](const QString& text) { LogManager::instance().log("Application", text.toStdString()); });
    auto logListener = std::make_unique<DataLogListener>();

    Settings& settings = Settings::instance();
    settings.load(QStringLiteral("Settings.xml"));

    QApplication app(argc, argv);
    if (!ProbeEngine::shared().hasSocket())
        logManager.log("Application", icmpPermissionHint().toStdString());
    QFile styleSheet;
    applyStyle(app, styleSheet);
    SkinResources::load();
    for (const QString& problem : SkinResources::problems())
        logManager.log("Application", problem.toStdString());

    auto data = std::make_unique<Data>();
    data->load(QStringLiteral("DeviceConfig.xml"));
    // Until each device answers or not, the list shows it as not yet probed, and its first
    // result makes no balloon and no log line.
    data->awaitFirstResults();
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

    ReachabilityWatcher reachability(*data, *map);
    auto* window = new MainWindow;
    MainWindow::setInstance(window);
    // Hidden in the tray only where there is a tray to bring it back from.
    if (!settings.startHidden || !MainSystemTrayIcon::systemTrayAvailable())
        window->show();
    tellAboutDeviceListProblem(*data);

    AutoSaver autoSaver(*data, settings, *map);
    auto history = std::make_unique<HistoryRecorder>(QStringLiteral("History.sqlite"), settings, *data);
    StateChangeSound sound;
    QObject::connect(tray, &MainSystemTrayIcon::stateChangeAnnounced, &sound, &StateChangeSound::play);
    ProcessSignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &ProcessSignalWatcher::terminationRequested, &requestQuit);
    QObject::connect(&signalWatcher, &ProcessSignalWatcher::showWindowRequested, tray, &MainSystemTrayIcon::ShowWindow);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &requestQuit);

    startPinger();
    UserList::setPingNow([](const QString& ip) {
        if (PingerThread* pinger = currentPinger(); pinger && Data::instance())
            pinger->probeNow(*Data::instance(), ip);
    });

    do {
        QApplication::exec();
    } while (!quitRequested);

    UserList::setPingNow({});
    stopPinger();
    history.reset();
    ProbeEngine::shared().stop();
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
