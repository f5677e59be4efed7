// SPDX-License-Identifier: GPL-3.0-or-later
#include "../common/RunningPinger.h"
#include "data/Data.h"
#include "data/Settings.h"
#include "net/NameResolver.h"
#include "net/PingerThread.h"
#include "net/ProbeEngine.h"
#include "net/ReverseNameLookup.h"
#include "netlab/NetworkSandbox.h"
#include "netlab/PeerNetwork.h"
#include "skin/DevicePictures.h"
#include "skin/SkinResources.h"
#include "ui/DiscoverDevicesDialog.h"

#include "../common/WidgetTest.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include <arpa/inet.h>
#include <atomic>
#include <memory>

using namespace Tarnwick;

namespace {

QList<QMessageBox*> messageBoxes()
{
    QList<QMessageBox*> boxes;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
            boxes << box;
    }
    return boxes;
}

void closeMessageBoxes()
{
    for (QMessageBox* box : messageBoxes())
        box->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QString status(QWidget* dialog)
{
    return dialog->findChild<QLabel*>(QStringLiteral("statusLabel"))->text();
}

QTreeWidget* results(QWidget* dialog)
{
    return dialog->findChild<QTreeWidget*>(QStringLiteral("resultTree"));
}

QStringList column(const QTreeWidget* tree, int c)
{
    QStringList texts;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        texts << tree->topLevelItem(i)->text(c);
    return texts;
}

QStringList addresses(QWidget* dialog)
{
    QStringList list;
    for (int i = 0; i < results(dialog)->topLevelItemCount(); ++i)
        list << results(dialog)->topLevelItem(i)->text(1);
    return list;
}

} // namespace

class TestDiscoverDialog : public QObject
{
    Q_OBJECT

    Data* m_data = nullptr;

    void startSearch(QWidget* dialog, const QString& from, const QString& to)
    {
        typeInto(dialog->findChild<QLineEdit*>(QStringLiteral("fromEdit")), from);
        typeInto(dialog->findChild<QLineEdit*>(QStringLiteral("toEdit")), to);
        pressButton(dialog, "startButton");
    }

    bool m_scanned = false;

    bool sandbox()
    {
        QString whyNot;
        m_scanned = NetworkSandbox::enter(&whyNot);
        return m_scanned;
    }

    // Made by the first dialog of a test, so that a test that enters the private network
    // first has it probe there; gone with the test.
    std::unique_ptr<NameResolver> m_resolver;
    std::unique_ptr<ProbeEngine> m_engine;

    ProbeEngine& engine()
    {
        if (!m_engine) {
            m_resolver = std::make_unique<NameResolver>();
            m_engine = std::make_unique<ProbeEngine>(*m_resolver);
        }
        return *m_engine;
    }

    // What the program's core does after a scan, with the test's stand-in for the network.
    static void startMonitor()
    {
        startPinger(
            NetworkProbe::from([](const QString&, int) { return ProbeResult::reply(std::chrono::milliseconds(1)); }));
    }

    // A scan that ends leaves no probes queued in the engine (one that was stopped takes back
    // what it had not sent).
    void waitForAnEmptyQueue() { QTRY_COMPARE_WITH_TIMEOUT(m_engine->requestsQueued(), 0u, 30000); }

private slots:
    void init()
    {
        m_data = new Data;
        Data::setInstance(m_data);
        startMonitor();
    }

    void cleanup()
    {
        closeMessageBoxes();
        if (m_scanned && m_engine)
            waitForAnEmptyQueue();
        stopPinger();
        delete m_data;
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_engine.reset();
        m_resolver.reset();
    }

    void parseIPv4_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("octets");
        QTest::newRow("plain") << "127.0.0.1"
                               << "127,0,0,1";
        QTest::newRow("doubled dot") << "127..0.0.1"
                                     << "127,0,0,1";
        QTest::newRow("trailing dot") << "127.0.0.1."
                                      << "127,0,0,1";
        QTest::newRow("254 is the top") << "127.0.0.254"
                                        << "127,0,0,254";
        QTest::newRow("255 rejected") << "127.0.0.255"
                                      << "";
        QTest::newRow("three parts") << "127.0.0"
                                     << "";
        QTest::newRow("five parts") << "127.0.0.1.1"
                                    << "";
        QTest::newRow("letters") << "a.b.c.d"
                                 << "";
        QTest::newRow("blank") << " "
                               << "";
        QTest::newRow("negative") << "127.0.-1.1"
                                  << "";
    }

    void parseIPv4()
    {
        QFETCH(QString, text);
        QFETCH(QString, octets);
        const auto parsed = DiscoverDevicesDialog::parseIPv4(text);
        QStringList parts;
        if (parsed) {
            for (quint8 o : *parsed)
                parts << QString::number(o);
        }
        QCOMPARE(parts.join(','), octets);
    }

    void invalidFieldsShowOneMessageAndChangeNothing_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("message");
        QTest::newRow("bad from") << "127.0.0.255"
                                  << "127.0.0.3"
                                  << "\"From\" field should contain proper IPv4 address (ex. 192.168.1.1)";
        QTest::newRow("bad to") << "127.0.0.1"
                                << "127.0.0"
                                << "\"To\" field should contain proper IPv4 address (ex. 192.168.1.1)";
        QTest::newRow("both bad") << "a.b.c.d"
                                  << " "
                                  << "\"From\" field should contain proper IPv4 address (ex. 192.168.1.1)";
    }

    void invalidFieldsShowOneMessageAndChangeNothing()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, message);
        DiscoverDevicesDialog dialog(engine(), {&stopPinger, &startMonitor});
        dialog.show();
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Discover Devices - Tarn Wick"));
        dialog.scanResult(true, QStringLiteral("127.0.0.9"), QStringLiteral("1 ms"));
        QTRY_COMPARE(addresses(&dialog), QStringList{"127.0.0.9"});
        PingerThread* pinger = currentPinger();
        startSearch(&dialog, from, to);
        const QList<QMessageBox*> boxes = messageBoxes();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0]->windowTitle(), QStringLiteral("Validation failed"));
        QCOMPARE(boxes[0]->icon(), QMessageBox::Information);
        QCOMPARE(boxes[0]->text(), message);
        QVERIFY(boxes[0]->isModal());
        QCOMPARE(currentPinger(), pinger);
        QCOMPARE(addresses(&dialog), QStringList{"127.0.0.9"});
        QCOMPARE(status(&dialog), QStringLiteral("Search status:"));
    }

    // The columns with a widest text show it whole, and the name and vendor columns follow the
    // dialog's width.
    void columnsShowTheirTextsWhole()
    {
        DiscoverDevicesDialog dialog(engine(), {&stopPinger, &startMonitor});
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.scanResult(true, QStringLiteral("127.0.0.123"), QStringLiteral("Socket error"));
        dialog.scanResult(false, QStringLiteral("127.0.0.124"), QStringLiteral("Timeout"));
        QTRY_COMPARE(addresses(&dialog).size(), 2);
        auto* tree = dialog.findChild<QTreeWidget*>(QStringLiteral("resultTree"));
        const auto* view = static_cast<const QAbstractItemView*>(tree);
        for (const int column : {0, 1, 2, 4, 6}) {
            QVERIFY2(tree->columnWidth(column) >= view->sizeHintForColumn(column), qPrintable(QString::number(column)));
            QVERIFY2(tree->columnWidth(column) >= tree->header()->sectionSizeHint(column),
                     qPrintable(QString::number(column)));
        }
        const int nameWidth = tree->columnWidth(3);
        QVERIFY(nameWidth >= 150);
        dialog.resize(dialog.width() + 200, dialog.height());
        QTRY_VERIFY(tree->columnWidth(3) >= nameWidth + 80);
        QVERIFY(tree->columnWidth(5) >= nameWidth + 80);
    }

    void completionTexts_data()
    {
        QTest::addColumn<int>("active");
        QTest::addColumn<int>("total");
        QTest::addColumn<QString>("text");
        QTest::newRow("one of three") << 1 << 3 << "Search completed. Active: 1/3 (33%)";
        QTest::newRow("two of three") << 2 << 3 << "Search completed. Active: 2/3 (66%)";
        QTest::newRow("all") << 3 << 3 << "Search completed. Active: 3/3 (100%)";
        QTest::newRow("empty box") << 0 << 0 << "Search completed. Active: 0/0 (0%)";
    }

    void completionTexts()
    {
        QFETCH(int, active);
        QFETCH(int, total);
        QFETCH(QString, text);
        DiscoverDevicesDialog dialog(engine(), {&stopPinger, &startMonitor});
        dialog.scanCompleted(active, total);
        QCOMPARE(status(&dialog), text);
    }

    void selectActiveAndAddSelected()
    {
        // New entries keep their "X" while nothing probes them.
        stopPinger();
        m_data->addEntry(DeviceEntry(QStringLiteral("127.0.0.3"), QStringLiteral("known"), 2, true, NoReplyResult));
        DiscoverDevicesDialog dialog(engine(), {&stopPinger, &startMonitor});
        dialog.scanResult(true, QStringLiteral("127.0.0.1"), QStringLiteral("1 ms"));
        dialog.scanResult(false, QStringLiteral("127.0.0.2"), QStringLiteral("Timeout"));
        dialog.scanResult(true, QStringLiteral("127.0.0.3"), QStringLiteral("0 ms"));
        dialog.scanResult(false, QStringLiteral("127.0.0.4"), QStringLiteral("Socket error"));
        QTreeWidget* tree = results(&dialog);
        // Rows go in together once a burst of results has been taken.
        QTRY_COMPARE(tree->topLevelItemCount(), 4);
        QCOMPARE(dialog.findChild<QProgressBar*>(QStringLiteral("progressBar"))->value(), 4);
        // Whether it answered shows as a picture, with no text beside it.
        QCOMPARE(tree->topLevelItem(0)->text(0), QString());
        QCOMPARE(tree->topLevelItem(1)->text(2), QStringLiteral("Timeout"));

        // What is watched already is marked; the answering host's name comes from the hosts file.
        QCOMPARE(column(tree, 6), QStringList({"no", "no", "yes", "no"}));
        QVERIFY(tree->topLevelItem(2)->font(1).italic() && !tree->topLevelItem(0)->font(1).italic());
        QTRY_COMPARE(tree->topLevelItem(0)->text(3), ReverseNameLookup::nameOf(QStringLiteral("127.0.0.1")));

        pressButton(&dialog, "selectAllButton");
        QCOMPARE(tree->selectedItems().size(), 4);
        // Active rows that are not in the list yet.
        pressButton(&dialog, "selectActiveButton");
        QCOMPARE(tree->selectedItems().size(), 1);
        QVERIFY(tree->topLevelItem(0)->isSelected());
        pressButton(&dialog, "addSelectedButton");
        QCOMPARE(m_data->entries().size(), 2);
        const DeviceEntry added = m_data->entry(QStringLiteral("127.0.0.1"));
        QCOMPARE(added.type, int(DeviceTypePC));
        QCOMPARE(added.description, tree->topLevelItem(0)->text(3));
        QVERIFY(added.informOnStateChange);
        QCOMPARE(added.pingResult, QStringLiteral("X"));
        QCOMPARE(tree->topLevelItem(0)->text(6), QStringLiteral("yes"));
        QCOMPARE(status(&dialog), QStringLiteral("Added 1 to the list."));
        // Adding everything skips what is there and says how much; without information on
        // state changes, if the user says so.
        auto* inform = dialog.findChild<QCheckBox*>(QStringLiteral("informCheckBox"));
        QCOMPARE(inform->text(), QStringLiteral("Information on state change"));
        QTest::keyClick(inform, Qt::Key_Space);
        QVERIFY(!inform->isChecked());
        pressButton(&dialog, "selectAllButton");
        pressButton(&dialog, "addSelectedButton");
        QCOMPARE(m_data->entries().size(), 4);
        QVERIFY(!m_data->entry(QStringLiteral("127.0.0.2")).informOnStateChange);
        QVERIFY(m_data->entry(QStringLiteral("127.0.0.1")).informOnStateChange);
        QCOMPARE(m_data->entry(QStringLiteral("127.0.0.3")).description, QStringLiteral("known"));
        QCOMPARE(status(&dialog), QStringLiteral("Added 2; 2 skipped, already in the list."));
        // Ctrl+C: the selected rows as tab-separated text, in the order shown.
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, onRow(tree, 1));
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::ControlModifier, onRow(tree, 3));
        QTest::keyClick(tree, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 QStringLiteral("no\t127.0.0.2\tTimeout\t\t\t\tyes\nno\t127.0.0.4\tSocket error\t\t\t\tyes"));
        pressButton(&dialog, "deselectAllButton");
        QVERIFY(tree->selectedItems().isEmpty());
    }

    // A host that the list holds by its name is in the list: marked so, and not added a second
    // time by its address.
    void aHostListedByNameIsNotAddedAgain()
    {
        if (!sandbox())
            QSKIP("names are looked up only in a network of the test's own (needs root)");
        stopPinger();
        m_data->addEntry(
            DeviceEntry(QStringLiteral("localhost"), QStringLiteral("here"), DeviceTypePC, true, NoReplyResult));
        DiscoverDevicesDialog dialog(engine(), {&stopPinger, &startMonitor});
        dialog.scanResult(true, QStringLiteral("127.0.0.1"), QStringLiteral("1 ms"));
        dialog.scanResult(true, QStringLiteral("127.0.0.2"), QStringLiteral("1 ms"));
        QTreeWidget* tree = results(&dialog);
        QTRY_COMPARE(column(tree, 6), QStringList({"yes", "no"}));
        QVERIFY(tree->topLevelItem(0)->font(1).italic());
        pressButton(&dialog, "selectAllButton");
        pressButton(&dialog, "addSelectedButton");
        QVERIFY(!m_data->contains(QStringLiteral("127.0.0.1")));
        QVERIFY(m_data->contains(QStringLiteral("127.0.0.2")));
        QCOMPARE(status(&dialog), QStringLiteral("Added 1; 1 skipped, already in the list."));
    }

    // Rows go straight to their place in the order shown, whichever column it is by and
    // whichever way, also when they come out of order (addresses by number, not text).
    void rowsGoToTheirPlaceInTheOrderShown()
    {
        stopPinger();
        DiscoverDevicesDialog dialog(engine(), {&stopPinger, &startMonitor});
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTreeWidget* tree = results(&dialog);
        const auto arrive = [&](const QStringList& addresses) {
            const int before = tree->topLevelItemCount();
            for (const QString& address : addresses)
                dialog.scanResult(false, address, address.endsWith(QLatin1Char('0')) ? "b" : "a");
            QTRY_COMPARE(tree->topLevelItemCount(), before + addresses.size());
        };
        arrive({"127.0.0.10", "127.0.0.2", "127.0.0.9", "127.0.0.1"});
        QCOMPARE(column(tree, 1), QStringList({"127.0.0.1", "127.0.0.2", "127.0.0.9", "127.0.0.10"}));
        clickHeaderSection(tree->header(), 1);
        QCOMPARE(tree->header()->sortIndicatorOrder(), Qt::DescendingOrder);
        arrive({"127.0.0.5", "127.0.0.20"});
        QCOMPARE(column(tree, 1),
                 QStringList({"127.0.0.20", "127.0.0.10", "127.0.0.9", "127.0.0.5", "127.0.0.2", "127.0.0.1"}));
        // By the result's text; rows that tie stay in the order they came.
        clickHeaderSection(tree->header(), 2);
        QCOMPARE(tree->header()->sortIndicatorOrder(), Qt::AscendingOrder);
        arrive({"127.0.0.30", "127.0.0.3"});
        QCOMPARE(column(tree, 1),
                 QStringList({"127.0.0.9", "127.0.0.5", "127.0.0.2", "127.0.0.1", "127.0.0.3", "127.0.0.20",
                              "127.0.0.10", "127.0.0.30"}));
    }

    // "Stop" ends the scan as closing would, keeps the rows found so far and says so; only
    // while a scan runs can it be pressed. A second start meanwhile is told the search runs.
    void stopKeepsTheRowsFoundSoFar()
    {
        if (!sandbox())
            QSKIP("live scan needs a private network namespace (root)");
        NetworkSandbox::setSysctl("net/ipv4/icmp_echo_ignore_all", "0");
        DiscoverDevicesDialog dialog(engine(), {&stopPinger, &startMonitor});
        dialog.show();
        auto* stop = dialog.findChild<QPushButton*>(QStringLiteral("stopButton"));
        QVERIFY(!stop->isEnabled());
        startSearch(&dialog, QStringLiteral("127.0.0.1"), QStringLiteral("127.0.20.254"));
        QVERIFY(stop->isEnabled());
        pressButton(&dialog, "startButton");
        QTRY_COMPARE(messageBoxes().size(), 1);
        QCOMPARE(messageBoxes().first()->windowTitle(), QStringLiteral("Search running"));
        closeMessageBoxes();
        QTRY_VERIFY(results(&dialog)->topLevelItemCount() > 0);
        pressButton(&dialog, "stopButton");
        // What it had not sent yet is taken back at once: the monitor, a new scan or "Ping now"
        // waits behind none of it.
        QCOMPARE(m_engine->requestsQueued(), 0u);
        QVERIFY(!stop->isEnabled());
        QVERIFY(currentPinger());
        const int rows = results(&dialog)->topLevelItemCount();
        QVERIFY(rows > 0 && rows < 20 * 254);
        QCOMPARE(status(&dialog), QStringLiteral("Search stopped. Active: %1/%1 (100%)").arg(rows));
    }

    void scanOfLoopbackRestsThePinger()
    {
        if (!sandbox())
            QSKIP("live scan needs a private network namespace (root)");
        NetworkSandbox::setSysctl("net/ipv4/icmp_echo_ignore_all", "0");
        DiscoverDevicesDialog dialog(engine(), {&stopPinger, &startMonitor});
        dialog.show();
        startSearch(&dialog, QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.3"));
        QCOMPARE(currentPinger(), nullptr);
        QCOMPARE(status(&dialog), QStringLiteral("Searching..."));
        QTRY_COMPARE(status(&dialog), QStringLiteral("Search completed. Active: 3/3 (100%)"));
        QCOMPARE(addresses(&dialog), (QStringList{"127.0.0.1", "127.0.0.2", "127.0.0.3"}));
        QVERIFY(currentPinger());
        QVERIFY(!dialog.findChild<QProgressBar*>(QStringLiteral("progressBar"))->isVisible());

        // A new search clears the old rows.
        startSearch(&dialog, QStringLiteral("127.0.0.5"), QStringLiteral("127.0.0.5"));
        QTRY_COMPARE(status(&dialog), QStringLiteral("Search completed. Active: 1/1 (100%)"));
        QCOMPARE(addresses(&dialog), QStringList{"127.0.0.5"});
        // "From" takes a prefix as --scan does, its host addresses, and leaves "To" aside.
        startSearch(&dialog, QStringLiteral("127.0.0.4/30"), QStringLiteral("127.0.0.9"));
        QTRY_COMPARE(status(&dialog), QStringLiteral("Search completed. Active: 2/2 (100%)"));
        QCOMPARE(addresses(&dialog), (QStringList{"127.0.0.5", "127.0.0.6"}));
    }

    // A host on the local link that drops echo requests shows as there, with a picture and a
    // text of its own and its hardware address, and the summary counts it apart.
    void hostsThatDropEchoShowAsPresent()
    {
        if (!sandbox())
            QSKIP("live scan needs a private network namespace (root)");
        const QString before = QDir::currentPath();
        const auto restore = qScopeGuard([&before] { QDir::setCurrent(before); });
        QVERIFY(QDir::setCurrent(QStringLiteral(TARNWICK_SOURCE_DIR)));
        Settings::instance().skin = QStringLiteral("Default");
        SkinResources::load();
        PeerNetwork link;
        QString whyNot;
        QVERIFY2(link.startOnLink(QStringLiteral("10.78.6"), {10, 11}, &whyNot), qPrintable(whyNot));
        QVERIFY(link.runInside({"sysctl", "-qw", "net.ipv4.icmp_echo_ignore_all=1"}));
        DiscoverDevicesDialog dialog(engine(), {&stopPinger, &startMonitor});
        dialog.show();
        startSearch(&dialog, QStringLiteral("10.78.6.9"), QStringLiteral("10.78.6.12"));
        QTRY_COMPARE_WITH_TIMEOUT(status(&dialog),
                                  QStringLiteral("Search completed. Active: 0/4 (0%). Present without echo reply: 2"),
                                  20000);
        const QTreeWidget* tree = results(&dialog);
        QCOMPARE(column(tree, 2),
                 (QStringList{"Timeout", "Present, no echo reply", "Present, no echo reply", "Timeout"}));
        const QIcon present = SkinResources::icon(DevicePictures::presentWithoutEcho());
        QVERIFY(!present.isNull());
        for (int row : {1, 2}) {
            QCOMPARE(tree->topLevelItem(row)->icon(0).cacheKey(), present.cacheKey());
            QVERIFY(!tree->topLevelItem(row)->text(4).isEmpty());
        }
        QVERIFY(tree->topLevelItem(0)->icon(0).cacheKey() != present.cacheKey());
    }

    // "Find neighbours" on a bridged host lists the IPv6 host on the link by its global address,
    // with its hardware address and name, as watched when its IPv4 address is; the bridge's
    // port is no link of its own. A dialog closed while it listens goes at once.
    void findNeighboursListsTheHostsOnTheLink()
    {
        if (!sandbox())
            QSKIP("finding neighbours needs a private network namespace (root)");
        QVERIFY(NetworkSandbox::useHostsFile("fd77::2 peer.twlab.test\n"));
        PeerNetwork link;
        QString whyNot;
        QVERIFY2(link.startIpv6OnLink(QStringLiteral("00:1b:21:3a:4b:5c"), &whyNot, PeerNetwork::OnLink::BridgePort),
                 qPrintable(whyNot));
        m_data->addEntry(DeviceEntry(QStringLiteral("10.77.9.2"), QString(), DeviceTypePC, false, NoReplyResult));
        // As the monitor's echo requests would, so that the kernel knows its hardware address.
        QCOMPARE(QProcess::execute(QStringLiteral("ping"), {"-n", "-q", "-c", "1", "-W", "2", "10.77.9.2"}), 0);
        DiscoverDevicesDialog dialog(engine(), {&stopPinger, &startMonitor});
        dialog.show();
        pressButton(&dialog, "findNeighboursButton");
        QCOMPARE(status(&dialog), QStringLiteral("Finding neighbours..."));
        QTRY_COMPARE_WITH_TIMEOUT(status(&dialog), QStringLiteral("Neighbours found: 1 on 1 link"), 10000);
        const QTreeWidget* tree = results(&dialog);
        QCOMPARE(column(tree, 1), QStringList{"fd77::2"});
        QCOMPARE(column(tree, 4), QStringList{"00:1b:21:3a:4b:5c"});
        QCOMPARE(column(tree, 6), QStringList{"yes"});
        QTRY_COMPARE(column(tree, 3), QStringList{"peer.twlab.test"});

        auto* closing = new DiscoverDevicesDialog(engine(), {&stopPinger, &startMonitor});
        closing->show();
        pressButton(closing, "findNeighboursButton");
        QElapsedTimer clock;
        clock.start();
        delete closing;
        QVERIFY(clock.elapsed() < 1000);
    }

    void startDuringAScanAndCloseDuringAScan()
    {
        if (!sandbox())
            QSKIP("live scan needs a private network namespace (root)");
        NetworkSandbox::setSysctl("net/ipv4/icmp_echo_ignore_all", "1");
        auto* dialog = new DiscoverDevicesDialog(engine(), {&stopPinger, &startMonitor});
        dialog->show();
        // Large enough that the silent addresses' time-outs come in over more than a second.
        startSearch(dialog, QStringLiteral("127.0.1.1"), QStringLiteral("127.0.8.254"));
        auto* progress = dialog->findChild<QProgressBar*>(QStringLiteral("progressBar"));
        QVERIFY(progress->isVisible());
        QCOMPARE(progress->maximum(), 8 * 254);
        pressButton(dialog, "startButton");
        const QList<QMessageBox*> boxes = messageBoxes();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0]->icon(), QMessageBox::Question);
        QCOMPARE(boxes[0]->text(), QStringLiteral("Searching is already running. Please wait."));
        closeMessageBoxes();
        QTRY_VERIFY_WITH_TIMEOUT(results(dialog)->topLevelItemCount() >= 1, 3000);
        QCOMPARE(results(dialog)->topLevelItem(0)->text(2), QStringLiteral("Timeout"));
        QVERIFY(results(dialog)->topLevelItemCount() < 8 * 254);

        QElapsedTimer timer;
        timer.start();
        dialog->close();
        // Closing does not wait for the scan's time-outs (more than a second of them); a loaded
        // machine may take a while.
        QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(currentPinger());
        const int rows = results(dialog)->topLevelItemCount();
        QCoreApplication::processEvents();
        QCOMPARE(results(dialog)->topLevelItemCount(), rows);
        QCOMPARE(status(dialog), QStringLiteral("Searching..."));
        delete dialog;
        NetworkSandbox::setSysctl("net/ipv4/icmp_echo_ignore_all", "0");
    }

    // The scan goes on unseen; its completion restarts the pinger, and only then is the
    // dialog released.
    void scanHiddenByEscapeStillRestartsThePinger()
    {
        if (!sandbox())
            QSKIP("live scan needs a private network namespace (root)");
        NetworkSandbox::setSysctl("net/ipv4/icmp_echo_ignore_all", "1");
        auto* dialog = new DiscoverDevicesDialog(engine(), {&stopPinger, &startMonitor});
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->show();
        QPointer<DiscoverDevicesDialog> guard(dialog);
        QSignalSpy destroyed(dialog, &QObject::destroyed);
        startSearch(dialog, QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.1"));
        QTest::keyClick(dialog, Qt::Key_Escape);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(guard);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(currentPinger(), nullptr);
        QVERIFY(destroyed.wait(3000));
        QVERIFY(currentPinger());
        NetworkSandbox::setSysctl("net/ipv4/icmp_echo_ignore_all", "0");
    }

    void escapeWhenIdleReleasesAtOnce()
    {
        auto* dialog = new DiscoverDevicesDialog(engine(), {&stopPinger, &startMonitor});
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->show();
        QPointer<DiscoverDevicesDialog> guard(dialog);
        QTest::keyClick(dialog, Qt::Key_Escape);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(guard.isNull());
    }

    void keyboardOrderFollowsTheLayout()
    {
        DiscoverDevicesDialog dialog(engine(), {&stopPinger, &startMonitor});
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QCOMPARE(QApplication::focusWidget(), dialog.findChild<QWidget*>(QStringLiteral("fromEdit")));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), dialog.findChild<QWidget*>(QStringLiteral("toEdit")));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), dialog.findChild<QWidget*>(QStringLiteral("quickScanCheckBox")));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), dialog.findChild<QWidget*>(QStringLiteral("startButton")));
    }
};

QTEST_MAIN(TestDiscoverDialog)
#include "tst_discoverdialog.moc"
