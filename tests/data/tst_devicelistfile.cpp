#include "data/Data.h"

#include "../common/SmallDisk.h"
#include "../common/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Tarnwick;
using TestFiles::readAll;
using TestFiles::writeFile;

namespace {

// "ip|type|iasc|description" per entry, in store order.
QStringList describe(const Data& data)
{
    QStringList result;
    for (const DeviceEntry& e : data.entries()) {
        result << QStringLiteral("%1|%2|%3|%4").arg(e.ip).arg(e.type).arg(e.informOnStateChange).arg(e.description);
        if (e.state != DeviceStateDisconnected || e.pingResult != NoReplyResult)
            result << QStringLiteral("not fresh: ") + e.ip;
    }
    return result;
}

} // namespace

class TestDeviceListFile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void init() { TestFiles::enterEmpty(m_dir); }

    void savesByteExact_data()
    {
        QTest::addColumn<QList<DeviceEntry>>("entries");
        QTest::addColumn<QString>("golden");
        QTest::newRow("empty") << QList<DeviceEntry>() << "DeviceConfig-empty.xml";
        QTest::newRow("two") << QList<DeviceEntry>{DeviceEntry("127.0.0.1", "Gateway", DeviceTypeRouter, true, "X"),
                                                   DeviceEntry("fileserver", "", DeviceTypePC, false, "X")}
                             << "DeviceConfig-two.xml";
    }

    void savesByteExact()
    {
        QFETCH(QList<DeviceEntry>, entries);
        QFETCH(QString, golden);
        Data data;
        QVERIFY(!data.load(QStringLiteral("DeviceConfig.xml")));
        for (const DeviceEntry& e : entries)
            data.addEntry(e);
        QVERIFY(data.save());
        QCOMPARE(readAll(QStringLiteral("DeviceConfig.xml")), readAll(QFINDTESTDATA("golden/" + golden)));

        Data again;
        QVERIFY(again.load(QStringLiteral("DeviceConfig.xml")));
        QCOMPARE(again.entries(), data.entries());
    }

    void specialCharactersSurviveRoundTrip()
    {
        Data data;
        data.load(QStringLiteral("DeviceConfig.xml"));
        data.addEntry(DeviceEntry(QStringLiteral("a&b\"c<d>'e"), QStringLiteral("R&D <lab> \"north\" & 'south'"),
                                  DeviceTypeWeb, true, NoReplyResult));
        data.addEntry(DeviceEntry(QStringLiteral("büro-ß"), QStringLiteral("  spaced  \ttab "), DeviceTypeAP, false,
                                  NoReplyResult));
        QVERIFY(data.save());
        Data again;
        QVERIFY(again.load(QStringLiteral("DeviceConfig.xml")));
        QCOMPARE(again.entries(), data.entries());
    }

    void readerTolerance_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<bool>("complete");
        QTest::addColumn<QStringList>("expected");
        const QByteArray head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
        QTest::newRow("missing attributes")
            << head + "<DeviceEntries><DeviceEntry>d</DeviceEntry><DeviceEntry IP=\"h\"/></DeviceEntries>" << true
            << QStringList{"|0|0|d", "h|0|0|"};
        QTest::newRow("non-numbers read as 0")
            << head + "<DeviceEntries><DeviceEntry IP=\"h\" Type=\"3x\" IASC=\"true\"/></DeviceEntries>" << true
            << QStringList{"h|0|0|"};
        QTest::newRow("IASC 2 is set") << head + "<D><DeviceEntry IP=\"h\" Type=\"4\" IASC=\"2\"/></D>" << true
                                       << QStringList{"h|4|1|"};
        QTest::newRow("nesting and root name not tested")
            << head + "<Other><G><DeviceEntry IP=\"a\" Type=\"1\"/></G><DeviceEntry IP=\"b\"/></Other>" << true
            << QStringList{"a|1|0|", "b|0|0|"};
        QTest::newRow("first of duplicates wins") << head
                + "<E><DeviceEntry IP=\"h\" Type=\"1\" IASC=\"1\">one</DeviceEntry>"
                  "<DeviceEntry IP=\"h\" Type=\"2\">two</DeviceEntry></E>"
                                                  << true << QStringList{"h|1|1|one"};
        QTest::newRow("text in pieces is one description")
            << head + "<E><DeviceEntry IP=\"h\">R&amp;D &#65;&#x42; <![CDATA[<lab>]]> end</DeviceEntry></E>" << true
            << QStringList{"h|0|0|R&D AB <lab> end"};
        QTest::newRow("attribute order free")
            << head + "<E><DeviceEntry IASC=\"1\" Type=\"2\" IP=\"h\"/></E>" << true << QStringList{"h|2|1|"};
        QTest::newRow("malformed part-way keeps what came before")
            << head + "<E><DeviceEntry IP=\"a\"/><DeviceEntry IP=\"b\"></Oops><DeviceEntry IP=\"c\"/></E>" << false
            << QStringList{"a|0|0|"};
        QTest::newRow("empty file") << QByteArray() << false << QStringList();
    }

    void readerTolerance()
    {
        QFETCH(QByteArray, xml);
        QFETCH(bool, complete);
        QFETCH(QStringList, expected);
        writeFile(QStringLiteral("DeviceConfig.xml"), xml);
        Data data;
        QSignalSpy added(&data, &Data::DeviceAdded);
        QCOMPARE(data.load(QStringLiteral("DeviceConfig.xml")), complete);
        QCOMPARE(describe(data), expected);
        QCOMPARE(added.size(), expected.size());
    }

    void iascTwoIsWrittenBackAsOne()
    {
        writeFile(QStringLiteral("DeviceConfig.xml"),
                  "<DeviceEntries><DeviceEntry IP=\"h\" Type=\"007\" IASC=\"2\"/></DeviceEntries>");
        Data data;
        QVERIFY(data.load(QStringLiteral("DeviceConfig.xml")));
        QVERIFY(data.save());
        QVERIFY(readAll(QStringLiteral("DeviceConfig.xml"))
                    .contains("<DeviceEntry IP=\"h\" Type=\"7\" IASC=\"1\"></DeviceEntry>"));
    }

    void missingFileIsCreatedOnSave()
    {
        Data data;
        QVERIFY(!data.load(QStringLiteral("DeviceConfig.xml")));
        QCOMPARE(data.fileName(), QStringLiteral("DeviceConfig.xml"));
        QVERIFY(data.entries().isEmpty());
        QVERIFY(data.save());
        QVERIFY(QFile::exists(QStringLiteral("DeviceConfig.xml")));
    }

    void partlyReadFileIsKeptBeforeTheFirstSave()
    {
        const QByteArray original = "<E><DeviceEntry IP=\"a\"/><DeviceEntry IP=\"b\">&bogus;</DeviceEntry>"
                                    "<DeviceEntry IP=\"c\"/></E>";
        writeFile(QStringLiteral("DeviceConfig.xml"), original);
        writeFile(QStringLiteral("DeviceConfig.xml.unreadable"), "kept from an earlier run");
        Data data;
        QVERIFY(!data.load(QStringLiteral("DeviceConfig.xml")));
        QCOMPARE(describe(data), QStringList{"a|0|0|"});
        QVERIFY(data.save());
        QCOMPARE(readAll(QStringLiteral("DeviceConfig.xml.unreadable")), QByteArray("kept from an earlier run"));
        QCOMPARE(readAll(QStringLiteral("DeviceConfig.xml.unreadable.2")), original);
        QVERIFY(readAll(QStringLiteral("DeviceConfig.xml")).contains("IP=\"a\""));

        // The copy is made once; later saves write over the file as usual.
        QVERIFY(data.save());
        QVERIFY(!QFile::exists(QStringLiteral("DeviceConfig.xml.unreadable.3")));
    }

    void unopenableFileIsNotOverwritten()
    {
        // A directory in the file's place cannot be opened as a file, even by root.
        QVERIFY(QDir().mkdir(QStringLiteral("DeviceConfig.xml")));
        Data data;
        QVERIFY(!data.load(QStringLiteral("DeviceConfig.xml")));
        data.addEntry(DeviceEntry(QStringLiteral("h"), QString(), 3, false, NoReplyResult));
        QVERIFY(!data.save());
        QVERIFY(QFileInfo(QStringLiteral("DeviceConfig.xml")).isDir());
        QVERIFY(!QFile::exists(QStringLiteral("DeviceConfig.xml.unreadable")));
    }

    // An empty file holds nothing a save could destroy: it counts as read and is not kept aside.
    void emptyFileIsNotKeptAsUnreadable()
    {
        writeFile(QStringLiteral("DeviceConfig.xml"), QByteArray());
        Data data;
        data.load(QStringLiteral("DeviceConfig.xml"));
        data.addEntry(DeviceEntry(QStringLiteral("h"), QString(), 3, false, NoReplyResult));
        QVERIFY(data.save());
        QVERIFY(!QFile::exists(QStringLiteral("DeviceConfig.xml.unreadable")));
        QVERIFY(readAll(QStringLiteral("DeviceConfig.xml")).contains("IP=\"h\""));
    }

    // On a full disk the save fails, says so, and the file as it was stays whole.
    void fullDiskKeepsTheOldFile()
    {
        QString whyNot;
        QTemporaryDir disk;
        if (!SmallDisk::mountOver(disk.path(), 64, &whyNot))
            QSKIP(qPrintable(whyNot));
        const auto unmount = qScopeGuard([&] { ::umount(QFile::encodeName(disk.path()).constData()); });
        const QString file = disk.path() + QStringLiteral("/DeviceConfig.xml");
        {
            Data data;
            data.load(file);
            for (int i = 0; i < 20; ++i)
                data.addEntry(DeviceEntry(QStringLiteral("10.0.0.%1").arg(i), QString(), 3, false, NoReplyResult));
            QVERIFY(data.save());
        }
        const QByteArray before = readAll(file);
        SmallDisk::fill(disk.path() + QStringLiteral("/filler"));
        Data data;
        QVERIFY(data.load(file));
        data.addEntry(DeviceEntry(QStringLiteral("one more"), QString(), 3, false, NoReplyResult));
        QVERIFY(!data.save());
        QCOMPARE(readAll(file), before);
        QCOMPARE(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    }

    void failedSaveIsReportedAndLeavesNoTemporaryFile()
    {
        Data data;
        data.load(QStringLiteral("missing-dir/DeviceConfig.xml"));
        QVERIFY(!data.save());
        QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden).size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestDeviceListFile)
#include "tst_devicelistfile.moc"
