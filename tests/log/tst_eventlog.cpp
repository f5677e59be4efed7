#include "data/Data.h"
#include "data/Settings.h"
#include "log/DataLogListener.h"
#include "log/FileLog.h"
#include "log/ILogManagerListener.h"
#include "log/LogListWidget.h"
#include "log/LogManager.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace Tarnwick;

namespace {

class RecordingListener : public ILogManagerListener
{
public:
    QStringList seen;
    void onLogEntry(const std::string& category, const std::string& text) override
    {
        seen << QString::fromStdString(category + ": " + text);
    }
};

QStringList rows(const QTreeWidget* tree)
{
    QStringList result;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = tree->topLevelItem(i);
        result << item->text(0) + "|" + item->text(1) + "|" + item->text(2);
    }
    return result;
}

} // namespace

class TestEventLog : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    FileLog m_file{"LogRelease.txt"};

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir::setCurrent(m_dir.path()));
        LogManager::instance().addLog(&m_file);
        Settings::instance().load(QStringLiteral("Settings.xml"));
    }

    void init() { QFile::remove(QStringLiteral("LogRelease.txt")); }

    void messagesFollowTheSetting_data()
    {
        QTest::addColumn<bool>("logStateChange");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("on") << true
                            << QStringList{"DeviceList: Device 127.0.0.5 added to list",
                                           "DeviceList: Device 127.0.0.5 state changed to: connected",
                                           "DeviceList: Device 127.0.0.5 state changed to: disconnected",
                                           "DeviceList: Device 127.0.0.5 removed from list"};
        QTest::newRow("off") << false << QStringList();
    }

    void messagesFollowTheSetting()
    {
        QFETCH(bool, logStateChange);
        QFETCH(QStringList, expected);
        Settings::instance().logStateChange = logStateChange;
        RecordingListener listener;
        LogManager::instance().addListener(&listener);
        {
            Data data;
            DataLogListener log;
            data.connectReceiver(&log);
            const QString ip = QStringLiteral("127.0.0.5");
            data.addEntry(DeviceEntry(ip, QStringLiteral("d"), DeviceTypePC, true, NoReplyResult));
            data.setPingResult(ip, QStringLiteral("X"));
            data.setPingResult(ip, QStringLiteral("4"));
            data.setPingResult(ip, QStringLiteral("5"));
            data.changeEntry(ip, ip, false, QStringLiteral("edited"), DeviceTypeWeb);
            data.setPingResult(ip, QStringLiteral("X"));
            data.setPingResult(ip, QStringLiteral("X"));
            data.removeEntry(ip);
        }
        LogManager::instance().removeListener(&listener);
        QCOMPARE(listener.seen, expected);
        Settings::instance().logStateChange = true;
    }

    void logViewShowsHistoryThenLiveRows()
    {
        {
            QFile file(QStringLiteral("LogRelease.txt"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("[06/12/2026 22:01:15] | DeviceList | Device 127.0.0.7 added to list\n"
                       "[06/12/2026 22:01:16] | DeviceList | text | with a bar\n"
                       "\n"
                       "  [07/12/2026 08:00:00]|Application|  Application \"Tarnwick\" started  \n"
                       "just some text\n");
        }
        auto* view = new LogListWidget;
        auto* tree = view->findChild<QTreeWidget*>(QStringLiteral("logTree"));
        QVERIFY(tree);
        QCOMPARE(rows(tree),
                 (QStringList{"[06/12/2026 22:01:15]|DeviceList|Device 127.0.0.7 added to list",
                              "[07/12/2026 08:00:00]|Application|Application \"Tarnwick\" started"}));
        LogManager::instance().log("DeviceList", "Device 127.0.0.8 added to list");
        QCOMPARE(tree->topLevelItemCount(), 3);
        const QStringList last = rows(tree).last().split('|');
        QVERIFY(
            QRegularExpression(QStringLiteral(R"(^\[\d\d/\d\d/\d{4} \d\d:\d\d:\d\d\]$)")).match(last[0]).hasMatch());
        QCOMPARE(last[1], QStringLiteral("DeviceList"));
        QCOMPARE(last[2], QStringLiteral("Device 127.0.0.8 added to list"));

        // Once gone, the view is no longer told of entries.
        delete view;
        LogManager::instance().log("Application", "after the view");
    }
};

QTEST_MAIN(TestEventLog)
#include "tst_eventlog.moc"
