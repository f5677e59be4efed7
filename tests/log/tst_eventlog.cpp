// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/Data.h"
#include "data/Settings.h"
#include "log/DataLogListener.h"
#include "log/FileLog.h"
#include "log/ILogManagerListener.h"
#include "log/LogManager.h"
#include "ui/LogListWidget.h"

#include "../common/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <memory>

using namespace std::chrono_literals;

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
                              "[06/12/2026 22:01:16]|DeviceList|text | with a bar",
                              "[07/12/2026 08:00:00]|Application|Application \"Tarnwick\" started"}));
        LogManager::instance().log("DeviceList", "Device 127.0.0.8 added to list");
        QCOMPARE(tree->topLevelItemCount(), 4);
        const QStringList last = rows(tree).last().split('|');
        QVERIFY(
            QRegularExpression(QStringLiteral(R"(^\[\d\d/\d\d/\d{4} \d\d:\d\d:\d\d\]$)")).match(last[0]).hasMatch());
        QCOMPARE(last[1], QStringLiteral("DeviceList"));
        QCOMPARE(last[2], QStringLiteral("Device 127.0.0.8 added to list"));

        // Once gone, the view is no longer told of entries.
        delete view;
        LogManager::instance().log("Application", "after the view");
    }

    // Whatever a description holds, each entry is one line of the file, and the next start's
    // view reads it back as it was shown live.
    void entriesReadBackAsShown_data()
    {
        QTest::addColumn<QString>("description");
        QTest::newRow("a bar") << "rack 2 | shelf 3";
        QTest::newRow("a forged line") << "x\n[06/12/2026 22:01:15] | Application | Application \"Tarnwick\" closed";
        QTest::newRow("CRLF") << "one\r\ntwo";
        QTest::newRow("a lone CR") << "over\rwritten";
        QTest::newRow("terminal escape") << "\x1b[2Jcleared";
        QTest::newRow("Unicode line breaks") << QStringLiteral("next\u0085line\u2028and\u2029paragraph \u00e9");
    }

    void entriesReadBackAsShown()
    {
        QFETCH(QString, description);
        auto live = std::make_unique<LogListWidget>();
        {
            Data data;
            DataLogListener log;
            data.connectReceiver(&log);
            data.addEntry(DeviceEntry(QStringLiteral("127.0.0.9"), description, DeviceTypePC, true, NoReplyResult));
            data.removeEntry(QStringLiteral("127.0.0.9"));
        }
        const QStringList shown = rows(live->findChild<QTreeWidget*>(QStringLiteral("logTree")));
        live.reset();
        QCOMPARE(TestFiles::readAll(QStringLiteral("LogRelease.txt")).count('\n'), 2);
        QCOMPARE(shown.size(), 2);
        QVERIFY2(!shown[0].contains(QRegularExpression(QStringLiteral("[\\x00-\\x1f\\x7f-\\x9f\\x{2028}\\x{2029}]"))),
                 qPrintable(shown[0]));
        // Other text outside ASCII stays as it was.
        QCOMPARE(shown[0].count(QChar(0xe9)), description.count(QChar(0xe9)));
        LogListWidget next;
        QCOMPARE(rows(next.findChild<QTreeWidget*>(QStringLiteral("logTree"))), shown);
    }

    // A long log: the view holds its newest lines only, opens at the last one, and follows new
    // lines while it rests there.
    void logViewKeepsTheNewestLines()
    {
        {
            QFile file(QStringLiteral("LogRelease.txt"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            for (int i = 0; i < 25000; ++i)
                file.write(QStringLiteral("[06/12/2026 22:01:15] | DeviceList | line %1\n").arg(i).toUtf8());
        }
        LogListWidget view;
        view.resize(600, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        auto* tree = view.findChild<QTreeWidget*>(QStringLiteral("logTree"));
        QCOMPARE(tree->topLevelItemCount(), LogListWidget::MaxRows);
        QCOMPARE(tree->topLevelItem(0)->text(2), QStringLiteral("line 15000"));
        QScrollBar* bar = tree->verticalScrollBar();
        QTRY_COMPARE(bar->value(), bar->maximum());
        LogManager::instance().log("DeviceList", "newest");
        QCOMPARE(tree->topLevelItemCount(), LogListWidget::MaxRows);
        QCOMPARE(tree->topLevelItem(LogListWidget::MaxRows - 1)->text(2), QStringLiteral("newest"));
        QTRY_COMPARE(bar->value(), bar->maximum());
        bar->setValue(0);
        LogManager::instance().log("DeviceList", "while scrolled back");
        QCOMPARE(bar->value(), 0);
    }

    void lastEntriesFromTheEnd_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("fewer lines than asked") << QByteArray("a\nb\n") << 5 << QStringList{"a", "b"};
        QTest::newRow("the last two") << QByteArray("a\nb\nc\n") << 2 << QStringList{"b", "c"};
        QTest::newRow("no line end at the end") << QByteArray("a\nb\nc") << 2 << QStringList{"b", "c"};
        QTest::newRow("CRLF") << QByteArray("a\r\nb\r\n") << 1 << QStringList{"b"};
        QTest::newRow("empty file") << QByteArray() << 3 << QStringList{};
        QTest::newRow("lines across blocks") << QByteArray(70000, 'x') + "\n" + QByteArray(70000, 'y') + "\nz\n"
                                             << 2 << QStringList{QString(70000, QLatin1Char('y')), "z"};
    }

    void lastEntriesFromTheEnd()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, count);
        QFETCH(QStringList, expected);
        TestFiles::writeFile(QStringLiteral("tail.txt"), content);
        FileLog log("tail.txt");
        QStringList got;
        for (const std::string& line : log.readLastEntries(std::size_t(count)))
            got << QString::fromStdString(line);
        QCOMPARE(got, expected);
    }

    // Past its limit at start the log goes aside as "<name>.1.txt", in place of an older one.
    void rotationKeepsOneOldFile()
    {
        TestFiles::writeFile(QStringLiteral("LogRelease.1.txt"), "oldest\n");
        TestFiles::writeFile(QStringLiteral("LogRelease.txt"), QByteArray(2000, 'o') + "\n");
        FileLog log("LogRelease.txt");
        QVERIFY(!log.rotateIfLarger(5000));
        QVERIFY(log.rotateIfLarger(1000));
        QVERIFY(!QFile::exists(QStringLiteral("LogRelease.txt")));
        QCOMPARE(TestFiles::readAll(QStringLiteral("LogRelease.1.txt")), QByteArray(2000, 'o') + "\n");
        log.write("Application", "Application \"Tarnwick\" started");
        QVERIFY(TestFiles::readAll(QStringLiteral("LogRelease.txt"))
                    .endsWith("| Application | Application \"Tarnwick\" started\n"));
    }
};

QTEST_MAIN(TestEventLog)
#include "tst_eventlog.moc"
