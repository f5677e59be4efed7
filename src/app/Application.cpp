#include "Application.h"

#include "ProcessValues.h"
#include "TerminationSignalWatcher.h"
#include "data/Data.h"
#include "data/Settings.h"
#include "log/FileLog.h"
#include "log/LogManager.h"

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

} // namespace

void Application::requestQuit()
{
    quitRequested = true;
    QCoreApplication::quit();
}

int Application::run(int argc, char** argv)
{
    appVersion = QStringLiteral("0.3.1");
    quitRequested = false;
    TerminationSignalWatcher::installHandlers();

    LogManager& logManager = LogManager::instance();
    static FileLog fileLog("LogRelease.txt");
    logManager.addLog(&fileLog);
    logManager.log("Application", "Application \"Tarnwick\" started");

    Settings& settings = Settings::instance();
    settings.load(QStringLiteral("Settings.xml"));

    QApplication app(argc, argv);
    QFile styleSheet;
    applyStyle(app, styleSheet);

    auto data = std::make_unique<Data>();
    data->load(QStringLiteral("DeviceConfig.xml"));
    Data::setInstance(data.get());

    TerminationSignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &TerminationSignalWatcher::terminationRequested, &requestQuit);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &requestQuit);

    do {
        QApplication::exec();
    } while (!quitRequested);

    settings.save();
    data->save();
    logManager.log("Application", "Application \"Tarnwick\" closed");
    data.reset();
    return 0;
}

} // namespace Tarnwick
