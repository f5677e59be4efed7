// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/Data.h"
#include "data/MuteList.h"
#include "data/Settings.h"
#include "log/DataLogListener.h"
#include "log/FileLog.h"
#include "log/ILogManagerListener.h"
#include "log/LogManager.h"
#include "log/LogTimestamp.h"

#include "../common/FilePermissionsApply.h"
#include "../common/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

using namespace Tarnwick;

namespace {

class RecordingListener : public ILogManagerListener
{
public:
    std::vector<std::string> seen;
    void onLogEntry(const std::string& category, const std::string& text) override
    {
        seen.push_back(category + "/" + text);
    }
};

} // namespace

class TestLog : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void init() { TestFiles::enterEmpty(m_dir); }

    // What the user does to devices and their alerts is logged, one line each; results are not.
    void userChangesAreLogged()
    {
        Settings::instance().logStateChange = true;
        RecordingListener lines;
        LogManager::instance().addListener(&lines);
        Data data;
        MuteList mutes;
        DataLogListener listener;
        const QString ip = QStringLiteral("127.0.0.1");
        data.addEntry(DeviceEntry(ip, QStringLiteral("Printer"), DeviceTypePC, false, NoReplyResult));
        data.connectReceiver(&listener);
        connect(&mutes, &MuteList::muted, &listener, &DataLogListener::muted);
        connect(&mutes, &MuteList::unmuted, &listener, &DataLogListener::unmuted);
        data.setPingResults({{ip, 0, ProbeResult::timeout()}});
        data.changeEntry(ip, ip, true, QStringLiteral("Copier"), DeviceTypePC, DeviceCheck::tcp(80), std::nullopt,
                         EchoOptions{1200, true}, QList<DeviceCheck>{DeviceCheck::tcp(443), DeviceCheck::arp()});
        mutes.mute(ip, QDateTime());
        mutes.unmute(ip);
        mutes.muteAll(QDateTime());
        mutes.unmuteAll();
        LogManager::instance().removeListener(&lines);
        QStringList seen;
        for (const std::string& line : lines.seen)
            seen << QString::fromStdString(line);
        QCOMPARE(
            seen,
            (QStringList{"DeviceList/Device 127.0.0.1 (Printer) edited: description \"Printer\" to \"Copier\", "
                         "information on state change \"no\" to \"yes\", check \"ICMP echo\" to \"TCP port 80\", "
                         "echo requests \"40 bytes\" to \"1200 bytes, don't fragment\", further checks \"\" to "
                         "\"TCP port 443, ARP\"",
                         "Alerts/Alerts of 127.0.0.1 muted until unmuted", "Alerts/Alerts of 127.0.0.1 unmuted",
                         "Alerts/Alerts of all devices muted until unmuted", "Alerts/Alerts of all devices unmuted"}));
    }

    void timestampFormat_data()
    {
        QTest::addColumn<int>("year");
        QTest::addColumn<int>("month");
        QTest::addColumn<int>("day");
        QTest::addColumn<int>("hour");
        QTest::addColumn<int>("minute");
        QTest::addColumn<int>("second");
        QTest::addColumn<QString>("expected");
        QTest::newRow("padded") << 2026 << 2 << 1 << 9 << 5 << 3 << "[01/02/2026 09:05:03]";
        QTest::newRow("afternoon") << 2026 << 12 << 6 << 22 << 1 << 15 << "[06/12/2026 22:01:15]";
        QTest::newRow("midnight") << 2027 << 1 << 31 << 0 << 0 << 0 << "[31/01/2027 00:00:00]";
    }

    void timestampFormat()
    {
        QFETCH(int, year);
        QFETCH(int, month);
        QFETCH(int, day);
        QFETCH(int, hour);
        QFETCH(int, minute);
        QFETCH(int, second);
        QFETCH(QString, expected);
        std::tm local{};
        local.tm_year = year - 1900;
        local.tm_mon = month - 1;
        local.tm_mday = day;
        local.tm_hour = hour;
        local.tm_min = minute;
        local.tm_sec = second;
        local.tm_isdst = -1;
        QCOMPARE(QString::fromStdString(logTimestamp(std::mktime(&local))), expected);
    }

    void lineFormatAndSinkBeforeListener()
    {
        LogManager manager;
        FileLog file("LogRelease.txt");
        RecordingListener listener;
        manager.addLog(&file);
        manager.addListener(&listener);
        QVERIFY(manager.readEntries().empty());
        manager.log("Application", "Application \"Tarnwick\" started");
        manager.log("DeviceList", "a | b");
        const std::vector<std::string> lines = manager.readEntries();
        QCOMPARE(lines.size(), size_t(2));
        static const QRegularExpression line(
            QStringLiteral(R"(^\[\d\d/\d\d/\d{4} \d\d:\d\d:\d\d\] \| Application \| Application "Tarnwick" started$)"));
        QVERIFY2(line.match(QString::fromStdString(lines[0])).hasMatch(), lines[0].c_str());
        QVERIFY(QString::fromStdString(lines[1]).endsWith(QStringLiteral(" | DeviceList | a | b")));
        QCOMPARE(listener.seen,
                 (std::vector<std::string>{"Application/Application \"Tarnwick\" started", "DeviceList/a | b"}));
    }

    void listenersAddedTwiceAndRemoved()
    {
        LogManager manager;
        RecordingListener listener;
        manager.addListener(&listener);
        manager.addListener(&listener);
        manager.log("C", "one");
        manager.removeListener(&listener);
        manager.log("C", "two");
        manager.removeListener(&listener);
        manager.removeListener(&listener);
        manager.log("C", "three");
        QCOMPARE(listener.seen, (std::vector<std::string>{"C/one", "C/one", "C/two"}));
    }

    // A run's logs leave the manager as they end: nothing written later reaches them.
    void removedLogTakesNoMoreLines()
    {
        LogManager manager;
        FileLog file("LogRelease.txt");
        manager.addLog(&file);
        manager.log("C", "kept");
        manager.removeLog(&file);
        manager.log("C", "after the end");
        QVERIFY(manager.readEntries().empty());
        LogManager reader;
        reader.addLog(&file);
        const std::vector<std::string> lines = reader.readEntries();
        QCOMPARE(lines.size(), size_t(1));
        QVERIFY(lines[0].ends_with("kept"));
    }

    void appendsAcrossTwoManagers()
    {
        {
            LogManager first;
            FileLog log("LogRelease.txt");
            first.addLog(&log);
            first.log("Application", "run 1");
        }
        LogManager second;
        FileLog log("LogRelease.txt");
        second.addLog(&log);
        second.log("Application", "run 2");
        const std::vector<std::string> lines = second.readEntries();
        QCOMPARE(lines.size(), size_t(2));
        QVERIFY(lines[0].ends_with("run 1"));
        QVERIFY(lines[1].ends_with("run 2"));
    }

    void longLineReadBackWhole()
    {
        const std::string longText(20000, 'w');
        FileLog log("LogRelease.txt");
        log.write("DeviceList", longText);
        log.write("DeviceList", "after");
        const std::vector<std::string> lines = log.readEntries();
        QCOMPARE(lines.size(), size_t(2));
        QVERIFY(lines[0].ends_with(" | DeviceList | " + longText));
        QVERIFY(lines[1].ends_with("after"));
    }

    void unwritableLogStillTellsListeners()
    {
        // A directory in the log's place cannot be appended to, even by root.
        QVERIFY(QDir().mkdir(QStringLiteral("LogRelease.txt")));
        LogManager manager;
        FileLog log("LogRelease.txt");
        RecordingListener listener;
        manager.addLog(&log);
        manager.addListener(&listener);
        manager.log("Application", "lost for the file");
        QCOMPARE(listener.seen.size(), size_t(1));
        QVERIFY(manager.readEntries().empty());
    }

    void readOnlyLogFileIsLeftAlone()
    {
        const FilePermissionsApply asAnyUser;
        QVERIFY2(asAnyUser.applied(), "could not take root's file override out of this thread");
        {
            QFile f(QStringLiteral("LogRelease.txt"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("old line\n");
        }
        QVERIFY(::chmod("LogRelease.txt", 0444) == 0);
        FileLog log("LogRelease.txt");
        log.write("Application", "ignored");
        QCOMPARE(log.readEntries(), std::vector<std::string>{"old line"});
    }
};

QTEST_GUILESS_MAIN(TestLog)
#include "tst_log.moc"
