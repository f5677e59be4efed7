// SPDX-License-Identifier: GPL-3.0-or-later
#include "TarnwickVersion.h"

#include "../common/WidgetTest.h"
#include "app/MainSystemTrayIcon.h"
#include "app/MainWindow.h"
#include "app/StateChangeSound.h"
#include "data/Data.h"
#include "data/MuteList.h"
#include "data/NetworkInventory.h"
#include "data/Settings.h"
#include "data/VisualRepresentationData.h"
#include "log/ILogManagerListener.h"
#include "log/LogManager.h"
#include "map/DeviceEntryRepresentationGraphicsItem.h"
#include "map/VisualRepresentationWidget.h"
#include "monitor/Announcer.h"
#include "monitor/ReachabilityWatcher.h"
#include "net/NameResolver.h"
#include "net/ProbeEngine.h"
#include "server/ProcessValues.h"
#include "skin/SkinResources.h"
#include "ui/UserListTreeWidget.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMoveEvent>
#include <QPointer>
#include <QPushButton>
#include <QResizeEvent>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QTreeView>

using namespace std::chrono_literals;

using namespace Tarnwick;

namespace {

struct Balloon
{
    QString title;
    QString text;
    int ms;
};

QWidget* topLevelTitled(const QString& title)
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && w->windowTitle() == title)
            return w;
    }
    return nullptr;
}

// Collects what is logged while it lives.
class LogCapture : public ILogManagerListener
{
public:
    explicit LogCapture(QStringList& lines)
        : m_lines(lines)
    {
        LogManager::instance().addListener(this);
    }
    ~LogCapture() { LogManager::instance().removeListener(this); }
    void onLogEntry(const std::string&, const std::string& text) override { m_lines << QString::fromStdString(text); }

private:
    QStringList& m_lines;
};

void closeDialogs()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (qobject_cast<QDialog*>(w))
            w->close();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

// The tray's and the announcer's waits, short: the tests wait for the balloons, not for the
// program's delays.
constexpr TrayIconDelays ShortDelays{std::chrono::milliseconds(1000)};
constexpr std::chrono::milliseconds ShortGrouping(100);

class TestMainWindow : public QObject
{
    Q_OBJECT

    Data* m_data = nullptr;
    VisualRepresentationData* m_map = nullptr;
    ReachabilityWatcher* m_reachability = nullptr;
    Announcer* m_announcer = nullptr;
    MainSystemTrayIcon* m_tray = nullptr;
    QList<Balloon> m_balloons;
    bool m_trayAvailable = true;

    // What the discovery dialog scans through.
    NameResolver m_resolver;
    ProbeEngine m_engine{m_resolver};
    NetworkInventory m_inventory;

    MainWindow* openWindow()
    {
        UserList::Services services;
        services.engine = &m_engine;
        services.inventory = &m_inventory;
        auto* window = new MainWindow(services);
        MainWindow::setInstance(window);
        window->show();
        return window;
    }

    // The tray shows its menu where the icon sits; the user clicks an entry of it.
    void chooseFromTrayMenu(const QString& text)
    {
        QVERIFY2(chooseInMenu(m_tray->contextMenu(), QPoint(40, 40), text), qPrintable(text));
    }

private slots:
    void initTestCase() { appVersion = QStringLiteral(TARNWICK_VERSION); }

    void init()
    {
        Settings::instance().load(QStringLiteral("no-such-settings.xml"));
        quitRequested = false;
        m_trayAvailable = true;
        m_balloons.clear();
        m_data = new Data;
        Data::setInstance(m_data);
        m_map = new VisualRepresentationData;
        m_reachability = new ReachabilityWatcher(*m_data, *m_map, Settings::instance());
        m_announcer = new Announcer(*m_data, Settings::instance(), *m_reachability, ShortGrouping);
        m_tray = new MainSystemTrayIcon(ShortDelays);
        MainSystemTrayIcon::setInstance(m_tray);
        connect(m_announcer, &Announcer::announced, m_tray, &MainSystemTrayIcon::announced);
        m_tray->setAvailabilityCheck([this]() { return m_trayAvailable; });
        m_tray->setBalloonSink([this](const QString& title, const QString& text, QSystemTrayIcon::MessageIcon, int ms) {
            m_balloons.append({title, text, ms});
        });
        m_tray->show();
    }

    void cleanup()
    {
        closeDialogs();
        delete MainWindow::instance();
        MainWindow::setInstance(nullptr);
        MainSystemTrayIcon::setInstance(nullptr);
        delete m_tray;
        delete m_announcer;
        delete m_reachability;
        delete m_map;
        delete m_data;
        QCoreApplication::processEvents();
    }

    void tabsShowOneView_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("visible");
        QTest::newRow("device list") << 0 << "userList";
        QTest::newRow("map") << 1 << "mapView";
        QTest::newRow("log") << 2 << "logView";
        QTest::newRow("network") << 3 << "networkView";
        QTest::newRow("any other index") << 7 << "logView";
        QTest::newRow("no tab") << -1 << "logView";
    }

    void tabsShowOneView()
    {
        QFETCH(int, index);
        QFETCH(QString, visible);
        MainWindow* window = openWindow();
        QVERIFY(QMetaObject::invokeMethod(window, "TabChanged", Q_ARG(int, index)));
        for (const char* name : {"userList", "mapView", "logView", "networkView"}) {
            QWidget* view = window->findChild<QWidget*>(QString::fromLatin1(name));
            QVERIFY(view);
            QCOMPARE(view->isVisible(), visible == QLatin1String(name));
        }
    }

    void listFilledFromTheStoreAndFollowsIt()
    {
        m_data->addEntry(DeviceEntry(QStringLiteral("a"), QString(), DeviceTypePC, false, NoReplyResult));
        MainWindow* window = openWindow();
        auto* tree = window->findChild<QTreeView*>(QStringLiteral("deviceTree"));
        QCOMPARE(tree->model()->rowCount(), 1);
        m_data->addEntry(DeviceEntry(QStringLiteral("b"), QString(), DeviceTypePC, false, NoReplyResult));
        QCOMPARE(tree->model()->rowCount(), 2);
    }

    // A long list comes in while the window is up: devices removed before their rows came are
    // left out, those added meanwhile (again) show once.
    void aLongListFollowsTheStoreWhileItComesIn()
    {
        const auto address = [](int i) { return QStringLiteral("10.0.%1.%2").arg(i / 256).arg(i % 256); };
        for (int i = 0; i < 5000; ++i)
            m_data->addEntry(DeviceEntry(address(i), QString(), DeviceTypePC, false, NoReplyResult));
        MainWindow* window = openWindow();
        auto* tree = window->findChild<QTreeView*>(QStringLiteral("deviceTree"));
        m_data->removeEntry(address(4999));
        m_data->removeEntry(address(4998));
        m_data->addEntry(DeviceEntry(address(4998), QString(), DeviceTypePC, false, NoReplyResult));
        m_data->addEntry(DeviceEntry(QStringLiteral("late"), QString(), DeviceTypePC, false, NoReplyResult));
        QTRY_COMPARE(tree->model()->rowCount(), 5000);
        const auto rowsOf = [tree](const QString& ip) {
            return tree->model()->match(tree->model()->index(0, 2), Qt::DisplayRole, ip, -1, Qt::MatchExactly).size();
        };
        QCOMPARE(rowsOf(address(4999)), 0);
        QCOMPARE(rowsOf(address(4998)), 1);
        QCOMPARE(rowsOf(QStringLiteral("late")), 1);
        QCOMPARE(rowsOf(address(4997)), 1);
    }

    void addDeviceActsOnPress()
    {
        MainWindow* window = openWindow();
        auto* add = window->findChild<QPushButton*>(QStringLiteral("addDeviceButton"));
        QTest::mousePress(add, Qt::LeftButton);
        QWidget* dialog = topLevelTitled(QStringLiteral("Add Device - Tarnwick"));
        QVERIFY(dialog);
        QVERIFY(dialog->isModal());
        QTest::mouseRelease(add, Qt::LeftButton);
        QTest::mousePress(add, Qt::LeftButton);
        int dialogs = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            dialogs += w->isVisible() && w->windowTitle() == QLatin1String("Add Device - Tarnwick");
        QCOMPARE(dialogs, 2);
    }

    // Devices added while the monitor runs wait for their first result as those read at start
    // do: not red, not counted as disconnected, and their first answers make no balloon.
    void devicesAddedWhileRunningAwaitTheirFirstResult()
    {
        m_data->awaitFirstResults();
        MainWindow* window = openWindow();
        QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("addDeviceButton")), Qt::LeftButton);
        QWidget* dialog = topLevelTitled(QStringLiteral("Add Device - Tarnwick"));
        QVERIFY(dialog);
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        auto* address = dialog->findChild<QLineEdit*>(QStringLiteral("ipEdit"));
        QTest::keyClick(dialog->findChild<QCheckBox*>(QStringLiteral("informCheckBox")), Qt::Key_Space);
        const QStringList added = {"127.0.0.7", "127.0.0.8", "127.0.0.9"};
        for (const QString& ip : added) {
            address->clear();
            QTest::keyClicks(address, ip);
            pressButton(dialog, "addButton");
        }
        QCOMPARE(m_data->entries().size(), 3);
        QVERIFY(m_data->entry(added[0]).informOnStateChange);
        const auto* summary = window->findChild<QLabel*>(QStringLiteral("summaryLabel"));
        QTRY_COMPARE(summary->text(), QStringLiteral("3 devices: 0 connected, 0 disconnected, 3 not yet probed"));
        QTRY_COMPARE(m_tray->toolTip(), summary->text());
        QVERIFY(!m_tray->showsAlarm());
        for (const QString& ip : added)
            m_data->setPingResults({{ip, 0, ProbeResult::reply(2ms)}});
        QTRY_COMPARE(summary->text(), QStringLiteral("3 devices: 3 connected, 0 disconnected"));
        QVERIFY(m_balloons.isEmpty());
    }

    // Every dialog is built anew on each request; a closed one must go, or each open leaks one.
    void closedDialogsAreReleased_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("title");
        QTest::newRow("add") << "addDeviceButton"
                             << "Add Device - Tarnwick";
        QTest::newRow("discover") << "discoverButton"
                                  << "Discover Devices - Tarn Wick";
        QTest::newRow("settings") << "settingsButton"
                                  << "Settings - Tarn Wick";
        QTest::newRow("about") << QString() << "Tarnwick - About";
    }

    void closedDialogsAreReleased()
    {
        QFETCH(QString, button);
        QFETCH(QString, title);
        MainWindow* window = openWindow();
        if (button.isEmpty())
            chooseFromTrayMenu(QStringLiteral("About"));
        else
            pressButton(window, qPrintable(button));
        QPointer<QWidget> dialog = topLevelTitled(title);
        QVERIFY(dialog);
        dialog->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(dialog.isNull());
    }

    void minimizeAndCloseHideWhileTheTrayIsShown()
    {
        MainWindow* window = openWindow();
        QTest::mousePress(window->findChild<QPushButton*>(QStringLiteral("minimizeButton")), Qt::LeftButton);
        QVERIFY(!window->isVisible());
        QCOMPARE(MainWindow::instance(), window);
        window->show();
        QVERIFY(!window->close());
        QVERIFY(!window->isVisible());
        QCOMPARE(MainWindow::instance(), window);

        // Once the tray icon is hidden a close is real.
        QPointer<MainWindow> guard(window);
        m_tray->hide();
        window->show();
        QVERIFY(window->close());
        QCOMPARE(MainWindow::instance(), nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(guard.isNull());
        QVERIFY(!quitRequested);
    }

    void withoutSystemTrayMinimizeMinimizesAndCloseQuits()
    {
        m_trayAvailable = false;
        MainWindow* window = openWindow();
        QTest::mousePress(window->findChild<QPushButton*>(QStringLiteral("minimizeButton")), Qt::LeftButton);
        QVERIFY(window->isVisible());
        QVERIFY(window->isMinimized());
        window->showNormal();
        QVERIFY(window->close());
        QCOMPARE(MainWindow::instance(), nullptr);
        QVERIFY(quitRequested);
        QVERIFY(!m_tray->isVisible());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void geometryIsKept()
    {
        MainWindow* window = openWindow();
        window->resize(640, 480);
        QTRY_COMPARE(Settings::instance().windowGeometry.size(), QSize(640, 480));
        QMoveEvent moved(QPoint(30, 40), window->pos());
        QCoreApplication::sendEvent(window, &moved);
        QCOMPARE(Settings::instance().windowGeometry, QRect(30, 40, 640, 480));
        QVERIFY(!Settings::instance().windowMaximized);
        QResizeEvent zeroWidth(QSize(0, 480), window->size());
        QCoreApplication::sendEvent(window, &zeroWidth);
        QVERIFY(!window->isVisible());
        QCOMPARE(Settings::instance().windowGeometry.width(), 0);
    }

    void storedGeometryAndMaximizedFlagApply()
    {
        Settings::instance().windowGeometry = QRect(10, 20, 300, 200);
        MainWindow* window = openWindow();
        QCOMPARE(window->size(), QSize(500, 350));
        delete window;
        MainWindow::setInstance(nullptr);

        Settings::instance().windowMaximized = true;
        auto* maximized = new MainWindow;
        MainWindow::setInstance(maximized);
        QVERIFY(maximized->isMaximized());
        QVERIFY(maximized->isVisible());
    }

    void balloonOnStateChangeOnly()
    {
        const QString ip = QStringLiteral("127.0.0.9");
        m_data->addEntry(DeviceEntry(ip, QStringLiteral("Printer"), DeviceTypePC, true, NoReplyResult));
        m_data->addEntry(DeviceEntry(QStringLiteral("quiet"), QString(), DeviceTypePC, false, NoReplyResult));
        m_data->setPingResults({{ip, 0, ProbeResult::timeout()}});
        m_data->setPingResults({{ip, 0, ProbeResult::reply(3ms)}});
        m_data->setPingResults({{ip, 0, ProbeResult::reply(4ms)}});
        m_data->changeEntry(ip, ip, true, QString(), DeviceTypeWeb);
        m_data->setPingResults({{ip, 0, ProbeResult::timeout()}});
        m_data->setPingResults({{QStringLiteral("quiet"), 0, ProbeResult::reply(1ms)}});
        QCOMPARE(m_balloons.size(), 2);
        QCOMPARE(m_balloons[0].title, QStringLiteral("Device connected"));
        QCOMPARE(m_balloons[0].text, QStringLiteral("127.0.0.9 Printer"));
        QCOMPARE(m_balloons[0].ms, 3000);
        QCOMPARE(m_balloons[1].title, QStringLiteral("Device Disconnected"));
        QCOMPARE(m_balloons[1].text, QStringLiteral("127.0.0.9 "));
        // Down weighs more: its balloon stays longer.
        QCOMPARE(m_balloons[1].ms, 10000);
    }

    // "Mute all alerts for 1 hour" holds every balloon back while checked; chosen again, it
    // unmutes.
    void trayMutesAllAlerts()
    {
        MuteList mutes;
        m_tray->setMutes(mutes);
        m_announcer->setMutes(&mutes);
        const QString ip = QStringLiteral("127.0.0.9");
        m_data->addEntry(DeviceEntry(ip, QStringLiteral("Printer"), DeviceTypePC, true, NoReplyResult));
        m_data->setPingResults({{ip, 0, ProbeResult::reply(3ms)}});
        QCOMPARE(m_balloons.size(), 1);
        m_balloons.clear();
        chooseFromTrayMenu(QStringLiteral("Mute all alerts for 1 hour"));
        QVERIFY(mutes.isMuted(ip));
        m_data->setPingResults({{ip, 0, ProbeResult::timeout()}});
        QVERIFY(m_balloons.isEmpty());
        chooseFromTrayMenu(QStringLiteral("Mute all alerts for 1 hour"));
        QVERIFY(!mutes.allMutedUntil());
        m_data->setPingResults({{ip, 0, ProbeResult::reply(3ms)}});
        QCOMPARE(m_balloons.size(), 1);
        QCOMPARE(m_balloons[0].title, QStringLiteral("Device connected"));
    }

    // Devices read at start are not yet probed: their first result makes no balloon, the
    // next change does. The icon is marked while a watched device is disconnected, and its
    // tooltip sums the list up.
    void trayShowsTheOverallState()
    {
        const QString before = QDir::currentPath();
        const auto back = qScopeGuard([&] { QDir::setCurrent(before); });
        QVERIFY(QDir::setCurrent(QStringLiteral(TARNWICK_SOURCE_DIR)));
        SkinResources::load();
        m_tray->refreshState();
        const QString watched = QStringLiteral("127.0.0.9");
        m_data->addEntry(DeviceEntry(watched, QStringLiteral("Printer"), DeviceTypePC, true, NoReplyResult));
        m_data->addEntry(DeviceEntry(QStringLiteral("quiet"), QString(), DeviceTypePC, false, NoReplyResult));
        m_data->awaitFirstResults();
        const QImage normal = m_tray->icon().pixmap(32).toImage();
        QTRY_COMPARE(m_tray->toolTip(), QStringLiteral("2 devices: 0 connected, 0 disconnected, 2 not yet probed"));
        m_data->setPingResults({{watched, 0, ProbeResult::reply(3ms)}});
        m_data->setPingResults({{QStringLiteral("quiet"), 0, ProbeResult::timeout()}});
        QTRY_COMPARE(m_tray->toolTip(), QStringLiteral("2 devices: 1 connected, 1 disconnected"));
        QVERIFY(m_balloons.isEmpty());
        QVERIFY(!m_tray->showsAlarm());
        QCOMPARE(m_tray->icon().pixmap(32).toImage(), normal);
        // Results that keep coming closer together than the icon's wait do not hold it still.
        QTimer stream;
        connect(&stream, &QTimer::timeout, this, [this] {
            m_data->setPingResults({{QStringLiteral("quiet"), 0, ProbeResult::timeout()}});
        });
        stream.start(100);
        m_data->setPingResults({{watched, 0, ProbeResult::timeout()}});
        QTRY_VERIFY(m_tray->showsAlarm());
        stream.stop();
        QCOMPARE(m_balloons.size(), 1);
        QCOMPARE(m_balloons[0].title, QStringLiteral("Device Disconnected"));
        const QImage alarm = m_tray->icon().pixmap(32).toImage();
        QVERIFY(alarm != normal);
        // The mark is red, in the lower right corner.
        const QColor corner = alarm.pixelColor(24, 24);
        QVERIFY2(corner.red() > 180 && corner.green() < 80, qPrintable(corner.name()));
        m_data->setPingResults({{watched, 0, ProbeResult::reply(2ms)}});
        QTRY_VERIFY(!m_tray->showsAlarm());
        QCOMPARE(m_tray->icon().pixmap(32).toImage(), normal);
    }

    // The tooltip names the watched devices that are down, the first five of them.
    void trayToolTipNamesTheWatchedDevicesDown_data()
    {
        QTest::addColumn<int>("down");
        QTest::addColumn<QString>("toolTip");
        QTest::newRow("one") << 1 << "3 devices: 1 connected, 2 disconnected\nDown: 127.0.0.1 (<b>1</b>)";
        QTest::newRow("seven") << 7
                               << "9 devices: 1 connected, 8 disconnected\nDown: 127.0.0.1 (<b>1</b>), 127.0.0.2, "
                                  "127.0.0.3, 127.0.0.4, 127.0.0.5 and 2 more";
    }

    void trayToolTipNamesTheWatchedDevicesDown()
    {
        QFETCH(int, down);
        QFETCH(QString, toolTip);
        for (int i = 1; i <= down; ++i) {
            m_data->addEntry(DeviceEntry(QStringLiteral("127.0.0.%1").arg(i),
                                         i == 1 ? QStringLiteral("<b>1</b>") : QString(), DeviceTypePC, true,
                                         NoReplyResult));
        }
        m_data->addEntry(DeviceEntry(QStringLiteral("quiet"), QString(), DeviceTypePC, false, NoReplyResult));
        m_data->addEntry(DeviceEntry(QStringLiteral("127.0.0.99"), QString(), DeviceTypePC, true, NoReplyResult));
        m_data->awaitFirstResults();
        for (int i = 1; i <= down; ++i)
            m_data->setPingResults({{QStringLiteral("127.0.0.%1").arg(i), 0, ProbeResult::timeout()}});
        m_data->setPingResults({{QStringLiteral("quiet"), 0, ProbeResult::timeout()}});
        m_data->setPingResults({{QStringLiteral("127.0.0.99"), 0, ProbeResult::reply(1ms)}});
        QTRY_COMPARE(m_tray->toolTip(), toolTip);
        // Markup in a description shows as it was typed.
        QVERIFY(!Qt::mightBeRichText(m_tray->toolTip()));
    }

    // With a first hop, a router that fails with the devices behind it makes one balloon that
    // says how many are cut off, not one each; a device that fails alone keeps its own, and so
    // does one that failed before the router did. The group's return makes one balloon; one of
    // the group still down after it is told of alone. A sound goes with each new balloon, none
    // with one that is updated.
    void devicesCutOffShareTheirRoutersBalloon()
    {
        VisualRepresentationData& map = *m_map;
        VisualRepresentationData::setInstance(&map);
        const auto restore = qScopeGuard([] {
            VisualRepresentationData::setInstance(nullptr);
            Settings::instance().firstHop.clear();
        });
        const QStringList all = {"gw", "router", "a", "b", "c", "d", "dd", "early"};
        // "d" and "dd" are not watched: they make no balloon, but they count among those cut off.
        for (const QString& ip : all) {
            m_data->addEntry(DeviceEntry(ip, ip == QLatin1String("router") ? QStringLiteral("Router") : QString(),
                                         DeviceTypePC, !ip.startsWith(QLatin1Char('d')), NoReplyResult));
            map.addItem({ip, 0, 0});
        }
        for (const char* ip : {"a", "b", "d", "dd", "early"})
            map.addConnection({QStringLiteral("router"), QString::fromLatin1(ip), 1});
        map.addConnection({QStringLiteral("gw"), QStringLiteral("router"), 1});
        map.addConnection({QStringLiteral("gw"), QStringLiteral("c"), 1});
        Settings::instance().firstHop = QStringLiteral("gw");
        // A sound goes with each new message, none with one told again.
        QList<bool> sounds;
        connect(m_announcer, &Announcer::announced, this, [&sounds](const Announcement& announcement) {
            if (announcement.what == Announcement::What::Alert)
                sounds << announcement.connected;
        });
        for (const QString& ip : all)
            m_data->setPingResults({{ip, 0, ProbeResult::reply(1ms)}});
        m_balloons.clear();
        // "early" fails while the router still answers: a failure of its own.
        m_data->setPingResults({{QStringLiteral("early"), 0, ProbeResult::timeout()}});
        m_data->setPingResults({{QStringLiteral("router"), 0, ProbeResult::reply(1ms)}});
        QTRY_COMPARE_WITH_TIMEOUT(m_balloons.size(), 1, 10000);
        QCOMPARE(m_balloons[0].text, QStringLiteral("early "));
        m_balloons.clear();
        for (const char* ip : {"a", "router", "d", "b", "c"})
            m_data->setPingResults({{QString::fromLatin1(ip), 0, ProbeResult::timeout()}});
        QTRY_COMPARE_WITH_TIMEOUT(m_balloons.size(), 2, 10000);
        QStringList texts;
        for (const Balloon& balloon : std::as_const(m_balloons)) {
            QCOMPARE(balloon.title, QStringLiteral("Device Disconnected"));
            texts << balloon.text;
        }
        texts.sort();
        QCOMPARE(texts, QStringList({"c ", "router Router, 3 devices behind it unreachable"}));
        QVERIFY(m_reachability->behind(QStringLiteral("early")).isEmpty());
        QCOMPARE(sounds.count(), 9);
        // A device probed after the wait, even an unwatched one, updates the router's balloon.
        m_data->setPingResults({{QStringLiteral("dd"), 0, ProbeResult::timeout()}});
        QTRY_COMPARE_WITH_TIMEOUT(m_balloons.size(), 3, 10000);
        QCOMPARE(m_balloons[2].text, QStringLiteral("router Router, 4 devices behind it unreachable"));
        QCOMPARE(sounds.count(), 9);
        m_balloons.clear();
        for (const char* ip : {"router", "a", "d", "dd", "early"})
            m_data->setPingResults({{QString::fromLatin1(ip), 0, ProbeResult::reply(1ms)}});
        QTRY_COMPARE(m_balloons.size(), 2);
        QCOMPARE(m_balloons[0].text, QStringLiteral("router Router"));
        QCOMPARE(m_balloons[1].text, QStringLiteral("early "));
        QCOMPARE(sounds.count(), 11);
        // "b" did not come back with its group: probed again since, it failed on its own.
        m_data->setPingResults({{QStringLiteral("b"), 0, ProbeResult::timeout()}});
        m_data->setPingResults({{QStringLiteral("b"), 0, ProbeResult::timeout()}});
        QTRY_COMPARE_WITH_TIMEOUT(m_balloons.size(), 3, 10000);
        QCOMPARE(m_balloons[2].title, QStringLiteral("Device Disconnected"));
        QCOMPARE(m_balloons[2].text, QStringLiteral("b "));
        QCOMPARE(sounds.count(), 12);
    }

    // A sound goes with each state-change balloon when "Play sounds" is set, from the skin
    // (the default skin's when the chosen one has none); a desktop without sound is said once.
    void soundsGoWithTheBalloons_data()
    {
        QTest::addColumn<bool>("playSounds");
        QTest::addColumn<QString>("skin");
        QTest::newRow("off") << false << "Default";
        QTest::newRow("on") << true << "Default";
        QTest::newRow("skin without sounds") << true << "NoSuchSkin";
    }

    void soundsGoWithTheBalloons()
    {
        QFETCH(bool, playSounds);
        QFETCH(QString, skin);
        const QString before = QDir::currentPath();
        const auto back = qScopeGuard([&] { QDir::setCurrent(before); });
        QVERIFY(QDir::setCurrent(QStringLiteral(TARNWICK_SOURCE_DIR)));
        Settings::instance().playSounds = playSounds;
        Settings::instance().skin = skin;
        StateChangeSound sound;
        QStringList played;
        sound.setPlayer([&](const QString& path) {
            played << QFileInfo(path).filePath();
            sound.reportUnplayable(QStringLiteral("no audio here"));
        });
        connect(m_announcer, &Announcer::announced, &sound, &StateChangeSound::announced);
        QStringList logged;
        LogCapture capture(logged);
        const QString ip = QStringLiteral("127.0.0.9");
        m_data->addEntry(DeviceEntry(ip, QString(), DeviceTypePC, true, NoReplyResult));
        m_data->addEntry(DeviceEntry(QStringLiteral("quiet"), QString(), DeviceTypePC, false, NoReplyResult));
        m_data->setPingResults({{ip, 0, ProbeResult::reply(3ms)}});
        m_data->setPingResults({{QStringLiteral("quiet"), 0, ProbeResult::reply(3ms)}});
        m_data->setPingResults({{ip, 0, ProbeResult::timeout()}});
        QCOMPARE(m_balloons.size(), 2);
        if (!playSounds) {
            QVERIFY(played.isEmpty());
            return;
        }
        QCOMPARE(played, QStringList({"Skins/Default/ConnectedSound.wav", "Skins/Default/DisconnectedSound.wav"}));
        QCOMPARE(logged.size(), 1);
        QVERIFY(logged.first().contains(QStringLiteral("No sound can be played: no audio here")));
    }

    void doubleClickShowsTheWindowBuildingOneOnlyWhenNeeded()
    {
        // The offscreen platform has no tray to click: the icon's activation is what a click
        // on it delivers (the screenshots run has a real tray).
        emit m_tray->activated(QSystemTrayIcon::DoubleClick);
        MainWindow* built = MainWindow::instance();
        QVERIFY(built);
        QVERIFY(built->isVisible());
        built->hide();
        emit m_tray->activated(QSystemTrayIcon::Trigger);
        QVERIFY(!built->isVisible());
        emit m_tray->activated(QSystemTrayIcon::DoubleClick);
        QCOMPARE(MainWindow::instance(), built);
        QVERIFY(built->isVisible());
    }

    // The window rests in the tray and the only window shown, a dialog, is closed: the program
    // goes on, reachable through its icon.
    void closingTheLastDialogKeepsTheIcon()
    {
        MainWindow* window = openWindow();
        pressButton(window, "minimizeButton");
        chooseFromTrayMenu(QStringLiteral("About"));
        QWidget* about = topLevelTitled(QStringLiteral("Tarnwick - About"));
        QVERIFY(about);
        QVERIFY(!QApplication::quitOnLastWindowClosed());
        about->close();
        QVERIFY(m_tray->isVisible());
        QVERIFY(!quitRequested);
    }

    // "Show" brings the window back from any state, minimized from its title bar included.
    void showRestoresAMinimizedWindow()
    {
        MainWindow* window = openWindow();
        window->showMinimized();
        QTRY_VERIFY(window->isMinimized());
        chooseFromTrayMenu(QStringLiteral("Show"));
        QTRY_VERIFY(!window->isMinimized());
        QVERIFY(window->isVisible());
    }

    // A window that "Show" makes anew, after the last one closed, gets the monitor's services.
    void showMakesAWindowThatCanPing()
    {
        QStringList probed;
        m_tray->setWindowServices({.pingNow = [&probed](const QString& ip) { probed << ip; }});
        m_data->addEntry(
            DeviceEntry(QStringLiteral("127.0.0.1"), QStringLiteral("here"), DeviceTypePC, false, NoReplyResult));
        chooseFromTrayMenu(QStringLiteral("Show"));
        MainWindow* window = MainWindow::instance();
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        UserListTreeWidget* tree = window->userList()->tree();
        tree->setMenuRunner(
            [](QMenu* menu, const QPoint& at) { QVERIFY(chooseInMenu(menu, at, QStringLiteral("Ping now"))); });
        QTest::mouseClick(tree->viewport(), Qt::RightButton, Qt::NoModifier, onRow(tree, 0));
        QCOMPARE(probed, QStringList{"127.0.0.1"});
    }

    // "Show on map" in the list's menu selects the device's badge and lights it up a moment.
    void showOnMapSelectsAndLightsTheBadge()
    {
        VisualRepresentationData::setInstance(m_map);
        const auto restore = qScopeGuard([] { VisualRepresentationData::setInstance(nullptr); });
        for (const char* ip : {"127.0.0.1", "127.0.0.2"}) {
            m_data->addEntry(DeviceEntry(QString::fromLatin1(ip), QString(), DeviceTypePC, false, NoReplyResult));
            m_map->appendItem({ip, 3000, 2000 + 400 * int(m_map->items().size())});
        }
        MainWindow* window = openWindow();
        UserListTreeWidget* tree = window->userList()->tree();
        tree->setMenuRunner([](QMenu* menu, const QPoint& at) { QVERIFY(chooseInMenu(menu, at, "Show on map")); });
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, onRow(tree, 0));
        QTest::mouseClick(tree->viewport(), Qt::RightButton, Qt::NoModifier, onRow(tree, 1));
        auto* map = window->findChild<VisualRepresentationWidget*>(QStringLiteral("mapView"));
        DeviceEntryRepresentationGraphicsItem* shown = map->badge("127.0.0.2");
        QVERIFY(shown->isSelected() && shown->highlighted() && !map->badge("127.0.0.1")->isSelected());
        QTRY_VERIFY(!shown->highlighted() && shown->isSelected());
    }

    // Dialogs are modal to the main window only, so the tray's "Exit" works while one is open.
    void exitWorksWhileADialogIsOpen()
    {
        MainWindow* window = openWindow();
        pressButton(window, "settingsButton");
        QPointer<QWidget> dialog = topLevelTitled(QStringLiteral("Settings - Tarn Wick"));
        QVERIFY(dialog);
        QCOMPARE(dialog->windowModality(), Qt::WindowModal);
        QCOMPARE(dialog->parentWidget(), window);
        chooseFromTrayMenu(QStringLiteral("Exit"));
        QVERIFY(quitRequested);
        QCOMPARE(MainWindow::instance(), nullptr);
    }

    // A place stored on a bigger screen is brought onto this one; a first start is placed by
    // the window manager.
    void storedPlaceIsMadeToFitTheScreen_data()
    {
        QTest::addColumn<QRect>("stored");
        QTest::newRow("far off to the right and below") << QRect(5000, 4000, 700, 500);
        QTest::newRow("larger than the screen") << QRect(-300, -200, 9000, 7000);
        QTest::newRow("title bar above the screen") << QRect(40, -100, 600, 400);
    }

    void storedPlaceIsMadeToFitTheScreen()
    {
        QFETCH(QRect, stored);
        Settings::instance().windowGeometry = stored;
        auto* window = new MainWindow;
        MainWindow::setInstance(window);
        const QRect area = window->screen()->availableGeometry();
        const auto text = [](const QRect& r) {
            return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
        };
        // Before it is shown, and once it is framed.
        QVERIFY2(area.contains(window->geometry()), qPrintable(text(window->geometry()) + " in " + text(area)));
        window->show();
        QTRY_VERIFY2(area.contains(window->frameGeometry()),
                     qPrintable(text(window->frameGeometry()) + " in " + text(area)));
        QVERIFY(window->width() >= qMin(500, area.width()));
    }

    // A balloon waits until the icon has its place in the tray, and at most a few seconds.
    void balloonsWaitForTheIconsPlace()
    {
        bool placed = false;
        m_tray->setPlacementCheck([&placed] { return placed; });
        m_tray->showBalloon(QStringLiteral("Tarnwick"), QStringLiteral("first"), QSystemTrayIcon::Information, 10);
        m_tray->showBalloon(QStringLiteral("Tarnwick"), QStringLiteral("second"), QSystemTrayIcon::Information, 10);
        QCoreApplication::processEvents();
        QVERIFY(m_balloons.isEmpty());
        placed = true;
        QTRY_COMPARE(m_balloons.size(), 2);
        QCOMPARE(m_balloons[0].text, QStringLiteral("first"));

        placed = false;
        m_tray->showBalloon(QStringLiteral("Tarnwick"), QStringLiteral("never placed"), QSystemTrayIcon::Information,
                            10);
        QTRY_COMPARE_WITH_TIMEOUT(m_balloons.size(), 3, 5000);

        // Started with the session, before the desktop's tray: the welcome waits for the tray.
        placed = true;
        m_trayAvailable = false;
        m_tray->showBalloon(QStringLiteral("Tarnwick"), QStringLiteral("welcome"), QSystemTrayIcon::Information, 10);
        QCoreApplication::processEvents();
        QCOMPARE(m_balloons.size(), 3);
        m_trayAvailable = true;
        QTRY_COMPARE(m_balloons.size(), 4);
        QCOMPARE(m_balloons[3].text, QStringLiteral("welcome"));
    }

    void exitHidesIconClosesWindowAndQuits()
    {
        MainWindow* window = openWindow();
        window->hide();
        const QList<QAction*> actions = m_tray->contextMenu()->actions();
        QCOMPARE(actions.size(), 4);
        QCOMPARE(actions[0]->text(), QStringLiteral("Show"));
        QVERIFY(actions[1]->isSeparator());
        QCOMPARE(actions[2]->text(), QStringLiteral("About"));
        QCOMPARE(actions[3]->text(), QStringLiteral("Exit"));
        chooseFromTrayMenu(QStringLiteral("Exit"));
        QVERIFY(!m_tray->isVisible());
        QCOMPARE(MainWindow::instance(), nullptr);
        QVERIFY(quitRequested);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void aboutShowsTheVersion()
    {
        chooseFromTrayMenu(QStringLiteral("About"));
        QWidget* about = topLevelTitled(QStringLiteral("Tarnwick - About"));
        QVERIFY(about);
        QVERIFY(about->isModal());
        auto* text = about->findChild<QLabel*>(QStringLiteral("aboutText"));
        QVERIFY(text->text().startsWith(QStringLiteral("Tarnwick " TARNWICK_VERSION " (beta)\n\n")));
        QVERIFY(text->text().contains(QStringLiteral("GNU General Public License, version 3 or (at your option) any "
                                                     "later version")));
        QTest::mousePress(about->findChild<QPushButton*>(QStringLiteral("okButton")), Qt::LeftButton);
        QVERIFY(!about->isVisible());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
