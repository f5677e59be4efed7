// SPDX-License-Identifier: GPL-3.0-or-later
#include "../common/PrivateSessionBus.h"
#include "../common/ProgramRun.h"
#include "alert/DesktopNotifier.h"
#include "netlab/EchoRequestWatch.h"
#include "netlab/NetworkSandbox.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Tarnwick;

namespace {

const QString BusName = QStringLiteral("tarnwick-test-bus");

// The arguments of each Notify call the mock daemon received, oldest first.
QList<QVariantList> notifyCalls(const QDBusConnection& bus)
{
    QDBusInterface mock(QStringLiteral("org.freedesktop.Notifications"),
                        QStringLiteral("/org/freedesktop/Notifications"), QStringLiteral("org.freedesktop.DBus.Mock"),
                        bus);
    const QDBusMessage reply = mock.call(QStringLiteral("GetMethodCalls"), QStringLiteral("Notify"));
    QList<QVariantList> calls;
    if (reply.type() != QDBusMessage::ReplyMessage)
        return calls;
    const auto array = reply.arguments().value(0).value<QDBusArgument>();
    array.beginArray();
    while (!array.atEnd()) {
        quint64 time = 0;
        QVariantList arguments;
        array.beginStructure();
        array >> time >> arguments;
        array.endStructure();
        calls << arguments;
    }
    array.endArray();
    return calls;
}

Alert alertFor(const QString& address, const QString& key, const QString& text)
{
    return {QStringLiteral("Devices down"),
            text,
            address,
            QString(),
            QStringLiteral("disconnected"),
            QString(),
            QDateTime::currentDateTimeUtc(),
            key,
            {},
            Alert::Kinds::Down,
            QString()};
}

} // namespace

class TestDesktopNotifier : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void showsTitleTextAndShow();
    void bodyShowsAsTyped_data();
    void bodyShowsAsTyped();
    void groupUpdatesItsNotification_data();
    void groupUpdatesItsNotification();
    void showOpensTheDevice();
    void weightFollowsTheAlert_data();
    void weightFollowsTheAlert();
    // Last: it moves the test into a network namespace of its own.
    void theProgramWithoutATrayNotifies();

private:
    QDBusConnection bus() const { return m_bus.connection(); }

    PrivateSessionBus m_bus{BusName};
};

void TestDesktopNotifier::initTestCase()
{
    if (const QString missing = PrivateSessionBus::missingTool(); !missing.isEmpty())
        QSKIP(qPrintable(missing));
    QVERIFY(m_bus.start());
    QVERIFY(!DesktopNotifier(bus()).isAvailable());
    m_bus.startService({QStringLiteral("--template"), QStringLiteral("notification_daemon")});
    QTRY_VERIFY_WITH_TIMEOUT(DesktopNotifier(bus()).isAvailable(), 20000);
}

void TestDesktopNotifier::showsTitleTextAndShow()
{
    DesktopNotifier notifier(bus(), QStringLiteral("tarnwick"));
    const qsizetype before = notifyCalls(bus()).size();
    notifier.notify(
        alertFor(QStringLiteral("127.0.2.7"), QString(), QStringLiteral("Printer (127.0.2.7) disconnected")));
    QTRY_COMPARE_WITH_TIMEOUT(notifyCalls(bus()).size(), before + 1, 20000);
    const QVariantList call = notifyCalls(bus()).last();
    QCOMPARE(call.value(0).toString(), QStringLiteral("Tarnwick"));
    QCOMPARE(call.value(1).toUInt(), 0u);
    QCOMPARE(call.value(2).toString(), QStringLiteral("tarnwick"));
    QCOMPARE(call.value(3).toString(), QStringLiteral("Devices down"));
    QCOMPARE(call.value(4).toString(), QStringLiteral("Printer (127.0.2.7) disconnected"));
    const QStringList actions = qdbus_cast<QStringList>(call.value(5));
    QVERIFY2(actions.contains(QStringLiteral("show")) && actions.contains(QStringLiteral("Show")),
             qPrintable(actions.join(u',')));
}

void TestDesktopNotifier::weightFollowsTheAlert_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("urgency");
    QTest::addColumn<QString>("category");
    QTest::addColumn<int>("expireMs");
    QTest::newRow("down") << Alert::Kinds::Down << 2 << "network.disconnected" << 0;
    QTest::newRow("back") << Alert::Kinds::Up << 1 << "network.connected" << -1;
    QTest::newRow("slow") << Alert::Kinds::Slow << 1 << "network" << -1;
    QTest::newRow("a test alert") << Alert::Kinds::Test << 1 << "" << -1;
}

void TestDesktopNotifier::weightFollowsTheAlert()
{
    QFETCH(QString, kind);
    DesktopNotifier notifier(bus());
    const qsizetype before = notifyCalls(bus()).size();
    Alert alert = alertFor(QStringLiteral("127.0.2.8"), QString(), QStringLiteral("Router"));
    alert.kind = kind;
    notifier.notify(alert);
    QTRY_COMPARE_WITH_TIMEOUT(notifyCalls(bus()).size(), before + 1, 20000);
    const QVariantList call = notifyCalls(bus()).last();
    const auto hints = qdbus_cast<QVariantMap>(call.value(6));
    QTEST(hints.value(QStringLiteral("urgency")).toInt(), "urgency");
    QTEST(hints.value(QStringLiteral("category")).toString(), "category");
    QTEST(call.value(7).toInt(), "expireMs");
}

void TestDesktopNotifier::bodyShowsAsTyped_data()
{
    QTest::addColumn<QString>("capabilities");
    QTest::addColumn<QString>("body");
    QTest::newRow("markup") << "body body-markup actions"
                            << "Printer &lt;b&gt;bold&lt;/b&gt; &amp; $(id)";
    QTest::newRow("plain text") << "body actions"
                                << "Printer <b>bold</b> & $(id)";
}

void TestDesktopNotifier::bodyShowsAsTyped()
{
    QFETCH(QString, capabilities);
    QFETCH(QString, body);
    QDBusInterface mock(QStringLiteral("org.freedesktop.Notifications"),
                        QStringLiteral("/org/freedesktop/Notifications"), QStringLiteral("org.freedesktop.DBus.Mock"),
                        bus());
    const QDBusMessage changed = mock.call(
        QStringLiteral("AddMethod"), QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("GetCapabilities"),
        QString(), QStringLiteral("as"),
        QStringLiteral("ret = %1.split()").arg(QLatin1String("'") + capabilities + QLatin1String("'")));
    QCOMPARE(changed.type(), QDBusMessage::ReplyMessage);
    DesktopNotifier notifier(bus());
    const qsizetype before = notifyCalls(bus()).size();
    notifier.notify(alertFor(QStringLiteral("127.0.2.6"), QString(), QStringLiteral("Printer <b>bold</b> & $(id)")));
    QTRY_COMPARE_WITH_TIMEOUT(notifyCalls(bus()).size(), before + 1, 20000);
    QCOMPARE(notifyCalls(bus()).last().value(4).toString(), body);
}

void TestDesktopNotifier::groupUpdatesItsNotification_data()
{
    QTest::addColumn<QString>("firstKey");
    QTest::addColumn<QString>("secondKey");
    QTest::addColumn<bool>("waitForFirst"); // or the second comes before the daemon answered
    QTest::addColumn<bool>("replaces");
    QTest::addColumn<QString>("secondKind");
    const QString down = Alert::Kinds::Down;
    QTest::newRow("same key") << "g1"
                              << "g1" << true << true << down;
    QTest::newRow("same key at once") << "g2"
                                      << "g2" << false << true << down;
    QTest::newRow("other key") << "g3"
                               << "g4" << true << false << down;
    QTest::newRow("no key") << ""
                            << "" << true << false << down;
    // The critical notification of a device down gives way to the one saying it is back.
    QTest::newRow("back at once") << "127.0.2.2/down"
                                  << "127.0.2.2/up" << false << true << Alert::Kinds::Up;
}

void TestDesktopNotifier::groupUpdatesItsNotification()
{
    QFETCH(QString, firstKey);
    QFETCH(QString, secondKey);
    QFETCH(bool, waitForFirst);
    QFETCH(bool, replaces);
    QFETCH(QString, secondKind);
    DesktopNotifier notifier(bus());
    const qsizetype before = notifyCalls(bus()).size();
    notifier.notify(alertFor(QStringLiteral("127.0.2.1"), firstKey, QStringLiteral("One device disconnected")));
    if (waitForFirst)
        QTRY_COMPARE_WITH_TIMEOUT(notifyCalls(bus()).size(), before + 1, 20000);
    Alert second = alertFor(QStringLiteral("127.0.2.2"), secondKey, QStringLiteral("Two devices disconnected"));
    second.kind = secondKind;
    notifier.notify(second);
    QTRY_COMPARE_WITH_TIMEOUT(notifyCalls(bus()).size(), before + 2, 20000);
    const QList<QVariantList> calls = notifyCalls(bus()).mid(before);
    QCOMPARE(calls.at(0).value(1).toUInt(), 0u);
    QCOMPARE(calls.at(1).value(4).toString(), QStringLiteral("Two devices disconnected"));
    QCOMPARE(calls.at(1).value(1).toUInt() != 0, replaces);
}

void TestDesktopNotifier::showOpensTheDevice()
{
    DesktopNotifier notifier(bus());
    QSignalSpy shown(&notifier, &DesktopNotifier::showRequested);
    const qsizetype before = notifyCalls(bus()).size();
    notifier.notify(alertFor(QStringLiteral("127.0.2.1"), QStringLiteral("s"), QStringLiteral("First")));
    QTRY_COMPARE_WITH_TIMEOUT(notifyCalls(bus()).size(), before + 1, 20000);
    // The second names the id the daemon gave the first: that is the notification on screen.
    notifier.notify(alertFor(QStringLiteral("127.0.2.9"), QStringLiteral("s"), QStringLiteral("Second")));
    QTRY_COMPARE_WITH_TIMEOUT(notifyCalls(bus()).size(), before + 2, 20000);
    const uint id = notifyCalls(bus()).last().value(1).toUInt();
    QVERIFY(id != 0);

    QDBusInterface mock(QStringLiteral("org.freedesktop.Notifications"),
                        QStringLiteral("/org/freedesktop/Notifications"), QStringLiteral("org.freedesktop.DBus.Mock"),
                        bus());
    const QDBusMessage emitted = mock.call(
        QStringLiteral("EmitSignal"), QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("ActionInvoked"),
        QStringLiteral("us"), QVariantList{id, QStringLiteral("show")});
    QCOMPARE(emitted.type(), QDBusMessage::ReplyMessage);
    QVERIFY(shown.wait(20000));
    QCOMPARE(shown.first().first().toString(), QStringLiteral("127.0.2.9"));
}

// On a desktop without a tray (the offscreen platform has none), a watched device's messages
// go to the notification service, and the one of a device falling silent names it.
void TestDesktopNotifier::theProgramWithoutATrayNotifies()
{
    QString whyNot;
    if (!NetworkSandbox::enter(&whyNot))
        QSKIP(qPrintable(whyNot));
    QTemporaryDir dir;
    QFile devices(dir.filePath(QStringLiteral("DeviceConfig.xml")));
    QVERIFY(devices.open(QIODevice::WriteOnly));
    devices.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<DeviceEntries>\n"
                  "    <DeviceEntry IP=\"127.0.0.5\" Type=\"1\" IASC=\"1\">printer</DeviceEntry>\n</DeviceEntries>\n");
    devices.close();
    const auto summaries = [this](qsizetype from) {
        QStringList seen;
        for (const QVariantList& call : notifyCalls(bus()).mid(from))
            seen << call.value(3).toString() + QLatin1Char('|') + call.value(4).toString();
        return seen;
    };
    const qsizetype before = notifyCalls(bus()).size();

    // The first result at start is quiet: it goes unanswered, so that the device's return and
    // its fall are both changes.
    QVERIFY(NetworkSandbox::setSysctl(QStringLiteral("net/ipv4/icmp_echo_ignore_all"), QStringLiteral("1")));
    EchoRequestWatch watch;
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus.address().toUtf8());
    ProgramRun program(dir.path());
    QVERIFY(program.started());
    QVERIFY(watch.seen(20000));
    QVERIFY(NetworkSandbox::setSysctl(QStringLiteral("net/ipv4/icmp_echo_ignore_all"), QStringLiteral("0")));
    QTRY_COMPARE_WITH_TIMEOUT(summaries(before), QStringList{QStringLiteral("Device connected|127.0.0.5 printer")},
                              20000);
    QVERIFY(NetworkSandbox::setSysctl(QStringLiteral("net/ipv4/icmp_echo_ignore_all"), QStringLiteral("1")));
    QTRY_COMPARE_WITH_TIMEOUT(summaries(before).size(), 2, 20000);
    QCOMPARE(summaries(before).last(), QStringLiteral("Device Disconnected|127.0.0.5 printer"));
    QCOMPARE(program.endWith(SIGTERM), 0);
}

QTEST_GUILESS_MAIN(TestDesktopNotifier)
#include "tst_desktopnotifier.moc"
