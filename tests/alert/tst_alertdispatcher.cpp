// SPDX-License-Identifier: GPL-3.0-or-later
#include "../common/TestHttpServer.h"
#include "alert/AlertDispatcher.h"
#include "data/Announcement.h"
#include "data/Data.h"
#include "data/Settings.h"
#include "monitor/MonitorCore.h"
#include "net/NameResolver.h"
#include "net/ProbeEngine.h"
#include "netlab/NetworkSandbox.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Tarnwick;

Q_DECLARE_METATYPE(Tarnwick::Announcement::Kind)
using namespace std::chrono_literals;

namespace {

QString readAll(const QString& fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

class TestAlertDispatcher : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir::setCurrent(m_dir.path()));
        QString whyNot;
        if (!NetworkSandbox::enter(&whyNot))
            QSKIP(qPrintable(whyNot));
        Settings::instance().load(QStringLiteral("Settings.xml"));
    }

    // Messages leave through the channels; the log's lines do not. Each line ends up in the
    // command's file only if it went out; a message after them shows the others were heard.
    void onlyMessagesGoOut()
    {
        Settings settings;
        AlertDispatcher alerts(settings, QStringLiteral("Outbox-lines.sqlite"), [](const QString&) {},
                               {5s, {100ms, 1s, 24h}});
        const QString heard = m_dir.filePath(QStringLiteral("heard.txt"));
        settings.set(&Settings::alertCommand,
                     QStringLiteral("/bin/sh -c 'echo \"$TARNWICK_TITLE\" >> \"$0\"' '%1'").arg(heard));
        using What = Announcement::What;
        for (const auto& [what, title] :
             {std::pair{What::StateChanged, "state changed"}, std::pair{What::SlowChanged, "is slow"},
              std::pair{What::Alert, "Device slow"}, std::pair{What::AlertRepeated, "Device slow again"}}) {
            Announcement announcement;
            announcement.what = what;
            announcement.title = QString::fromLatin1(title);
            // Each about a device of its own: the command runs for the latest of a group alone.
            announcement.devices = {QStringLiteral("127.0.0.%1").arg(int(what) + 5)};
            alerts.announced(announcement);
        }
        QTRY_VERIFY_WITH_TIMEOUT(readAll(heard).contains(QStringLiteral("again")), 20000);
        QCOMPARE(readAll(heard), QStringLiteral("Device slow\nDevice slow again\n"));
    }

    // A watched device on loopback answers (its first result is quiet), then stops: its message
    // reaches the command, the webhook and Apprise, each set while the program runs.
    void silentDeviceReachesEveryChannel()
    {
        Settings& settings = Settings::instance();
        settings.pingTimeout = 300;
        settings.pingTimeGap = 50;
        QStringList log;
        AlertDispatcher alerts(settings, QStringLiteral("Outbox.sqlite"), [&log](const QString& line) { log << line; },
                               {5s, {100ms, 1s, 24h}});
        TestHttpServer webhook({200});
        TestHttpServer apprise({200});
        const bool withApprise = !QStandardPaths::findExecutable(QStringLiteral("apprise")).isEmpty();
        const QString envFile = m_dir.filePath(QStringLiteral("alert.env"));
        settings.set(&Settings::alertCommand, QStringLiteral("/bin/sh -c 'env > \"$0\"' '%1'").arg(envFile));
        settings.set(&Settings::webhookUrl, QStringLiteral("http://127.0.0.1:%1/hook").arg(webhook.port()));
        if (withApprise)
            settings.set(&Settings::appriseUrls, QStringLiteral("json://127.0.0.1:%1/").arg(apprise.port()));

        NameResolver resolver;
        ProbeEngine engine(resolver);
        MonitorCore core(settings, engine, {});
        connect(&core.announcer(), &Announcer::announced, &alerts, &AlertDispatcher::announced);
        // The monitor probes the published device list.
        Data::setInstance(&core.data());
        const auto unpublish = qScopeGuard([] { Data::setInstance(nullptr); });
        core.start();
        const QString ip = QStringLiteral("127.0.0.5");
        core.data().addEntry(DeviceEntry(ip, QStringLiteral("printer"), DeviceTypePC, true, NoReplyResult));
        QTRY_COMPARE_WITH_TIMEOUT(core.data().entry(ip).state, DeviceStateConnected, 20000);
        QVERIFY(NetworkSandbox::setSysctl(QStringLiteral("net/ipv4/icmp_echo_ignore_all"), QStringLiteral("1")));
        const auto restoreEcho = qScopeGuard(
            [] { NetworkSandbox::setSysctl(QStringLiteral("net/ipv4/icmp_echo_ignore_all"), QStringLiteral("0")); });

        QTRY_VERIFY_WITH_TIMEOUT(readAll(envFile).contains(QStringLiteral("TARNWICK_STATE=disconnected")), 20000);
        const QString env = readAll(envFile);
        for (const char* line : {"TARNWICK_TITLE=Device Disconnected", "TARNWICK_TEXT=127.0.0.5 printer",
                                 "TARNWICK_ADDRESS=127.0.0.5", "TARNWICK_DESCRIPTION=printer"})
            QVERIFY2(env.contains(QLatin1String(line)), line);

        QTRY_COMPARE_WITH_TIMEOUT(webhook.accepted.size(), 1, 20000);
        const QJsonObject posted = QJsonDocument::fromJson(webhook.accepted.last()).object();
        QCOMPARE(posted.value(QStringLiteral("title")).toString(), QStringLiteral("Device Disconnected"));
        QCOMPARE(posted.value(QStringLiteral("address")).toString(), ip);
        QCOMPARE(posted.value(QStringLiteral("state")).toString(), QStringLiteral("disconnected"));
        QVERIFY(QDateTime::fromString(posted.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs).isValid());

        if (withApprise) {
            QTRY_COMPARE_WITH_TIMEOUT(apprise.accepted.size(), 1, 30000);
            QVERIFY2(apprise.accepted.last().contains("Device Disconnected")
                         && apprise.accepted.last().contains("127.0.0.5 printer"),
                     apprise.accepted.last().constData());
        }
        core.end();
        QVERIFY2(log.isEmpty(), qPrintable(log.join(u'\n')));
        if (!withApprise)
            QSKIP("apprise is not installed (scripts/setup-deps test installs it): its channel was not tried");
    }

    // A setting that cannot be read stops its channel, not its alerts: they are kept, and go
    // out once the setting is mended.
    void refusedSettingKeepsItsAlerts_data()
    {
        QTest::addColumn<int>("channel"); // an index of Channels
        QTest::addColumn<QString>("refused");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("apprise, stray word") << 0 << "json://127.0.0.1:8129/ notascheme"
                                             << "Alerts are not sent through Apprise: \"notascheme\" is not an Apprise "
                                                "URL (each begins with its service, as in ntfys:// or mailtos://).";
        QTest::newRow("apprise, no scheme")
            << 0 << "ntfy.sh/topic"
            << "Alerts are not sent through Apprise: \"ntfy.sh/topic\" is not an "
               "Apprise URL (each begins with its service, as in ntfys:// or mailtos://).";
        QTest::newRow("webhook") << 1 << "htp:/127.0.0.1/hook"
                                 << "Alerts are not posted: \"Post alerts to\" takes an http or https URL.";
        QTest::newRow("command") << 2 << "sh -c 'echo"
                                 << "The alert command \"sh -c 'echo\" cannot be run: Text ended before matching "
                                    "quote was found for '. (The text was “sh -c 'echo”)";
    }

    void refusedSettingKeepsItsAlerts()
    {
        QFETCH(int, channel);
        QFETCH(QString, refused);
        QFETCH(QString, refusal);
        struct Channel
        {
            QString Settings::*setting;
            const char* title;
        };
        const Channel channels[] = {{&Settings::appriseUrls, "Apprise"},
                                    {&Settings::webhookUrl, "the webhook"},
                                    {&Settings::alertCommand, "the command"}};
        const Channel& tried = channels[channel];
        if (channel == 0 && QStandardPaths::findExecutable(QStringLiteral("apprise")).isEmpty())
            QSKIP("apprise is not installed (scripts/setup-deps test installs it)");
        Settings settings;
        settings.*tried.setting = refused;
        QStringList log;
        AlertDispatcher alerts(settings, QStringLiteral("Kept-%1.sqlite").arg(QLatin1String(QTest::currentDataTag())),
                               [&log](const QString& line) { log << line; }, {5s, {100ms, 1s, 24h}});
        QCOMPARE(log,
                 (QStringList{refusal,
                              QStringLiteral("Alerts for %1 are kept until the setting can be read.")
                                  .arg(QLatin1String(tried.title))}));
        Alert alert;
        alert.title = QStringLiteral("Device Disconnected");
        alert.text = QStringLiteral("kept while refused");
        alerts.dispatch(alert);

        TestHttpServer server({200});
        const QString heard = m_dir.filePath(QStringLiteral("kept.txt"));
        const QString mended[] = {QStringLiteral("json://127.0.0.1:%1/").arg(server.port()),
                                  QStringLiteral("http://127.0.0.1:%1/").arg(server.port()),
                                  QStringLiteral("/bin/sh -c 'echo \"$TARNWICK_TEXT\" > \"$0\"' '%1'").arg(heard)};
        settings.set(tried.setting, mended[channel]);
        QTRY_VERIFY_WITH_TIMEOUT(readAll(heard).contains(alert.text)
                                     || (!server.accepted.isEmpty() && server.accepted.first().contains("kept while")),
                                 30000);
        // Told once as it changes, whatever else changes meanwhile.
        QCOMPARE(log.mid(2),
                 QStringList{QStringLiteral("The setting for %1 can be read again; the alerts kept for it go "
                                            "out.")
                                 .arg(QLatin1String(tried.title))});
    }

    // A message about devices that changed each on its own names no one of them as the device
    // and no state that is not true of all; each device comes with its own state. A group cut
    // off behind a failed device names that one, and lists all. The kind tells slowness apart.
    void severalDevicesAreToldEachWithItsState_data()
    {
        QTest::addColumn<QList<bool>>("connected");
        QTest::addColumn<bool>("whileAway");
        QTest::addColumn<Announcement::Kind>("change");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("devicesVariable");
        QTest::newRow("one device") << QList<bool>{true} << false << Announcement::Kind::State << "10.28.0.6"
                                    << "connected"
                                    << "up"
                                    << "";
        QTest::newRow("mixed") << QList<bool>{true, false} << true << Announcement::Kind::State << ""
                               << "mixed"
                               << "down"
                               << "10.28.0.6 connected Printer <b>\n10.28.0.5 disconnected";
        QTest::newRow("all down") << QList<bool>{false, false} << true << Announcement::Kind::State << ""
                                  << "disconnected"
                                  << "down"
                                  << "10.28.0.6 disconnected Printer <b>\n10.28.0.5 disconnected";
        QTest::newRow("cut off behind") << QList<bool>{false, false} << false << Announcement::Kind::State
                                        << "10.28.0.6"
                                        << "disconnected"
                                        << "down"
                                        << "10.28.0.6 disconnected Printer <b>\n10.28.0.5 disconnected Hall 10.0.0.9 "
                                           "connected Forged";
        QTest::newRow("slow") << QList<bool>{true} << false << Announcement::Kind::Slow << "10.28.0.6"
                              << "connected"
                              << "slow"
                              << "";
        QTest::newRow("no longer slow") << QList<bool>{true} << true << Announcement::Kind::NoLongerSlow << "10.28.0.6"
                                        << "connected"
                                        << "no longer slow"
                                        << "";
    }

    void severalDevicesAreToldEachWithItsState()
    {
        QFETCH(QList<bool>, connected);
        QFETCH(bool, whileAway);
        QFETCH(Announcement::Kind, change);
        QFETCH(QString, address);
        QFETCH(QString, state);
        QFETCH(QString, kind);
        QFETCH(QString, devicesVariable);
        Announcement announcement;
        announcement.what = Announcement::What::Alert;
        announcement.kind = change;
        announcement.whileAway = whileAway;
        announcement.devices = QStringList{"10.28.0.6", "10.28.0.5"}.first(connected.size());
        announcement.description = QStringLiteral("Printer <b>");
        announcement.connected = connected.first();
        if (connected.size() > 1)
            announcement.each = {{"10.28.0.6", "Printer <b>", connected[0]}, {"10.28.0.5", "", connected[1]}};
        // A line break in a description makes no device of its own in the command's list.
        if (!whileAway && connected.size() > 1)
            announcement.each[1].description = QStringLiteral("Hall\n10.0.0.9 connected Forged");
        const Alert alert = AlertDispatcher::alertOf(announcement);

        const QJsonObject json = alert.toJson();
        QCOMPARE(json.value(QStringLiteral("address")).toString(), address);
        QCOMPARE(json.value(QStringLiteral("state")).toString(), state);
        QCOMPARE(json.value(QStringLiteral("kind")).toString(), kind);
        const QJsonArray devices = json.value(QStringLiteral("devices")).toArray();
        QCOMPARE(devices.size(), connected.size() > 1 ? connected.size() : 0);
        for (qsizetype i = 0; i < devices.size(); ++i) {
            const QJsonObject device = devices.at(i).toObject();
            QCOMPARE(device.value(QStringLiteral("address")).toString(), announcement.each.at(i).address);
            QCOMPARE(device.value(QStringLiteral("description")).toString(), announcement.each.at(i).description);
            QCOMPARE(device.value(QStringLiteral("state")).toString(),
                     connected.at(i) ? QStringLiteral("connected") : QStringLiteral("disconnected"));
        }
        if (devices.isEmpty())
            QCOMPARE(json.keys(),
                     (QStringList{"address", "behind", "description", "id", "kind", "state", "text", "time", "title"}));
        // The outbox keeps alerts as this JSON.
        Alert kept = Alert::fromJson(json);
        kept.groupKey = alert.groupKey;
        QCOMPARE(kept, alert);

        const QProcessEnvironment environment = alert.addTo({});
        QCOMPARE(environment.value(QStringLiteral("TARNWICK_ADDRESS")), address);
        QCOMPARE(environment.value(QStringLiteral("TARNWICK_STATE")), state);
        QCOMPARE(environment.value(QStringLiteral("TARNWICK_KIND")), kind);
        QCOMPARE(environment.contains(QStringLiteral("TARNWICK_DEVICES")), !devicesVariable.isEmpty());
        QCOMPARE(environment.value(QStringLiteral("TARNWICK_DEVICES")), devicesVariable);
    }
};

QTEST_GUILESS_MAIN(TestAlertDispatcher)
#include "tst_alertdispatcher.moc"
