// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/Data.h"
#include "data/Settings.h"
#include "monitor/Announcer.h"
#include "monitor/MonitorCore.h"
#include "monitor/SlowWatch.h"
#include "net/NameResolver.h"
#include "net/ProbeEngine.h"
#include "netlab/EchoResponder.h"
#include "netlab/NetworkSandbox.h"

#include "../common/TestFiles.h"

#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

using namespace Tarnwick;

// The monitor as it runs, with the real engine, against a host of the test's own network whose
// replies are slow for a while.
class TestSlowNetwork : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QString whyNot;
        if (!NetworkSandbox::enter(&whyNot))
            QSKIP(qPrintable(whyNot));
        TestFiles::enterEmpty(m_dir);
        QVERIFY(NetworkSandbox::setSysctl(QStringLiteral("net/ipv4/icmp_echo_ignore_all"), QStringLiteral("1")));
    }

    void delayedRepliesTurnTheDeviceSlowAndBack()
    {
        // Three replies 250 ms late, then at once: slow over three results above 100 ms, and
        // back once the average falls under 80 ms. Without a gap the prompt replies follow the
        // third late one within the store's hand-off, so the device turns slow and back in one
        // batch: what it was is seen as it is told, not by looking later.
        EchoResponder host;
        QVERIFY(host.start({"--address", "127.0.0.7", "--delay", "250", "--delay-only", "3"}));
        Settings& settings = Settings::instance();
        settings.set(&Settings::pingTimeGap, 0);
        settings.set(&Settings::pingTimeout, 2000);
        settings.set(&Settings::slowAverageMs, 100);
        settings.set(&Settings::slowResults, 3);
        NameResolver resolver;
        ProbeEngine engine(resolver);
        MonitorCore core(settings, engine, {});
        const QString ip = QStringLiteral("127.0.0.7");
        core.data().addEntry(DeviceEntry(ip, QStringLiteral("Printer"), DeviceTypePC, true, NoReplyResult));
        // The monitor walks the published list.
        Data::setInstance(&core.data());
        const auto unpublish = qScopeGuard([] { Data::setInstance(nullptr); });
        QStringList lines;
        QStringList messages;
        connect(&core.announcer(), &Announcer::announced, this, [&](const Announcement& announcement) {
            if (announcement.what == Announcement::What::SlowChanged)
                lines << announcement.text.section(QLatin1Char(':'), 0, 0);
            else if (announcement.what == Announcement::What::Alert
                     && announcement.title.contains(QLatin1String("slow")))
                messages << announcement.title;
        });
        QList<bool> slowWhenTold;
        connect(&core.slowWatch(), &SlowWatch::slowChanged, this,
                [&](const DeviceEntry& device) { slowWhenTold << core.slowWatch().isSlow(device.ip); });
        core.start();
        const auto stop = qScopeGuard([&core] { core.end(); });
        QTRY_COMPARE_WITH_TIMEOUT(lines, QStringList({"is slow", "is no longer slow"}), 20000);
        QCOMPARE(messages, QStringList({"Device slow", "Device no longer slow"}));
        QCOMPARE(slowWhenTold, QList<bool>({true, false}));
        QCOMPARE(core.data().entry(ip).state, int(DeviceStateConnected));
    }
};

QTEST_GUILESS_MAIN(TestSlowNetwork)
#include "tst_slownetwork.moc"
