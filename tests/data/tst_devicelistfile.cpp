// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/Data.h"
#include "data/MuteList.h"
#include "data/Settings.h"

#include "../common/SmallDisk.h"
#include "../common/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <grp.h>
#include <unistd.h>

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
    QStringList m_reports;

    // Where the file being tested tells what went wrong.
    DocumentFile::Reporter reporter()
    {
        return [this](const QString& text) { m_reports << text; };
    }

    static void add(Data& data, const QString& ip)
    {
        data.addEntry(DeviceEntry(ip, QString(), DeviceTypePC, false, NoReplyResult));
    }

private slots:
    void init()
    {
        TestFiles::enterEmpty(m_dir);
        m_reports.clear();
    }

    void savesByteExact_data()
    {
        QTest::addColumn<QList<DeviceEntry>>("entries");
        QTest::addColumn<QString>("golden");
        QTest::newRow("empty") << QList<DeviceEntry>() << "DeviceConfig-empty.xml";
        QTest::newRow("two") << QList<DeviceEntry>{DeviceEntry("127.0.0.1", "Gateway", DeviceTypeRouter, true, "X"),
                                                   DeviceEntry("fileserver", "", DeviceTypePC, false, "X")}
                             << "DeviceConfig-two.xml";
        DeviceEntry share("fileserver", "Shares", DeviceTypePC, false, "X");
        share.check = DeviceCheck::tcp(445);
        DeviceEntry laptop("10.0.0.9", "Laptop", DeviceTypePC, false, "X");
        laptop.check = DeviceCheck::arp();
        QTest::newRow("checks") << QList<DeviceEntry>{DeviceEntry("127.0.0.1", "Gateway", DeviceTypeRouter, true, "X"),
                                                      share, laptop}
                                << "DeviceConfig-checks.xml";
        DeviceEntry gateway("127.0.0.1", "Gateway", DeviceTypeRouter, true, "X");
        gateway.slowLimits = {250, 0, 5};
        share.slowLimits.lossPercent = 10;
        QTest::newRow("slow limits") << QList<DeviceEntry>{gateway, share} << "DeviceConfig-slow.xml";
        DeviceEntry large("10.0.0.7", "MTU check", DeviceTypeRouter, false, "X");
        large.echo = {1472, true};
        DeviceEntry empty("10.0.0.8", "", DeviceTypePC, false, "X");
        empty.echo.payloadSize = 0;
        DeviceEntry unfragmented("10.0.0.9", "", DeviceTypePC, false, "X");
        unfragmented.echo.dontFragment = true;
        QTest::newRow("echo options") << QList<DeviceEntry>{large, empty, unfragmented} << "DeviceConfig-echo.xml";
        DeviceEntry web("10.0.0.5", "Web", DeviceTypeWeb, false, "X");
        web.moreChecks = {DeviceCheck::tcp(443), DeviceCheck::arp()};
        share.moreChecks = {DeviceCheck(), DeviceCheck::fromAttribute(u"tcp:0")};
        QTest::newRow("more checks") << QList<DeviceEntry>{web, share} << "DeviceConfig-more.xml";
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
        QCOMPARE(readAll(QStringLiteral("DeviceConfig.xml")),
                 readAll(QStringLiteral(TARNWICK_SOURCE_DIR "/tests/data/golden/") + golden));

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
            << QStringList{"(no address 1)|0|0|d", "h|0|0|"};
        // Each entry without an address is kept under a key of its own.
        QTest::newRow("without addresses")
            << head
                + "<DeviceEntries><DeviceEntry IP=\"\">a</DeviceEntry><DeviceEntry>b</DeviceEntry>"
                  "<DeviceEntry IP=\"h\"/></DeviceEntries>"
            << true << QStringList{"(no address 1)|0|0|a", "(no address 2)|0|0|b", "h|0|0|"};
        QTest::newRow("text that reads as a key") << head
                + "<DeviceEntries><DeviceEntry IP=\"(no address 1)\">a</DeviceEntry><DeviceEntry>b</DeviceEntry>"
                  "</DeviceEntries>" << true << QStringList{"(no address 1)|0|0|a", "(no address 2)|0|0|b"};
        QTest::newRow("non-numbers read as 0")
            << head + "<DeviceEntries><DeviceEntry IP=\"h\" Type=\"3x\" IASC=\"true\"/></DeviceEntries>" << true
            << QStringList{"h|0|0|"};
        QTest::newRow("IASC 2 is set") << head
                + "<DeviceEntries><DeviceEntry IP=\"h\" Type=\"4\" IASC=\"2\"/></DeviceEntries>"
                                       << true << QStringList{"h|4|1|"};
        QTest::newRow("nesting not tested")
            << head + "<DeviceEntries><G><DeviceEntry IP=\"a\" Type=\"1\"/></G><DeviceEntry IP=\"b\"/></DeviceEntries>"
            << true << QStringList{"a|1|0|", "b|0|0|"};
        // Another program's file in its place (say "Settings.xml"): read, but not complete, so
        // that it is kept aside before anything is saved over it.
        QTest::newRow("another root element")
            << head + "<Other><G><DeviceEntry IP=\"a\" Type=\"1\"/></G><DeviceEntry IP=\"b\"/></Other>" << false
            << QStringList{"a|1|0|", "b|0|0|"};
        QTest::newRow("bytes that are not UTF-8 read as Latin-1")
            << QByteArray("<DeviceEntries><DeviceEntry IP=\"a\">B\xfcro</DeviceEntry>"
                          "<DeviceEntry IP=\"b\">\xc3\xa9t\xe9</DeviceEntry></DeviceEntries>")
            << false << QStringList{"a|0|0|Büro", "b|0|0|été"};
        QTest::newRow("overlong text cut")
            << "<DeviceEntries><DeviceEntry IP=\"a\">" + QByteArray(5000, 'x') + "</DeviceEntry></DeviceEntries>"
            << false << QStringList{"a|0|0|" + QString(4096, QLatin1Char('x'))};
        QTest::newRow("first of duplicates wins") << head
                + "<DeviceEntries><DeviceEntry IP=\"h\" Type=\"1\" IASC=\"1\">one</DeviceEntry>"
                  "<DeviceEntry IP=\"h\" Type=\"2\">two</DeviceEntry></DeviceEntries>"
                                                  << true << QStringList{"h|1|1|one"};
        QTest::newRow("text in pieces is one description") << head
                + "<DeviceEntries><DeviceEntry IP=\"h\">R&amp;D &#65;&#x42; <![CDATA[<lab>]]> "
                  "end</DeviceEntry></DeviceEntries>" << true
                                                           << QStringList{"h|0|0|R&D AB <lab> end"};
        QTest::newRow("attribute order free")
            << head + "<DeviceEntries><DeviceEntry IASC=\"1\" Type=\"2\" IP=\"h\"/></DeviceEntries>" << true
            << QStringList{"h|2|1|"};
        QTest::newRow("malformed part-way keeps what came before") << head
                + "<DeviceEntries><DeviceEntry IP=\"a\"/><DeviceEntry IP=\"b\"></Oops><DeviceEntry "
                  "IP=\"c\"/></DeviceEntries>" << false << QStringList{"a|0|0|"};
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

    // What cannot be read is said once in the log, and kept as the user wrote it.
    void entriesTakenOnTrustAreReported_data()
    {
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<QString>("said"); // empty: nothing to say
        QTest::addColumn<QByteArray>("kept"); // in the file saved after another entry is added
        for (const char* check : {"tcp:0", "tcp:65536", "tcp:http"})
            QTest::newRow(check) << "IP=\"h\" Check=\"" + QByteArray(check) + "\""
                                 << QStringLiteral("the check \"%1\" cannot be read").arg(QLatin1String(check))
                                 << "Check=\"" + QByteArray(check) + "\"";
        QTest::newRow("readable check") << QByteArray("IP=\"h\" Check=\" ARP \"") << QString() << QByteArray("arp");
        QTest::newRow("brackets") << QByteArray("IP=\"[::1]\"") << "\"[::1]\" is not an IPv6 address"
                                  << QByteArray("[::1]");
        QTest::newRow("missing interface")
            << QByteArray("IP=\"fe80::1%nosuchif\"") << "no interface nosuchif" << QByteArray("%nosuchif");
        QTest::newRow("IPv4-mapped") << QByteArray("IP=\"::ffff:127.0.0.1\"") << QString() << QByteArray("::ffff:");
        QTest::newRow("payload too large")
            << QByteArray("IP=\"h\" PayloadSize=\"70000\"") << "the payload size 70000 is out of range"
            << QByteArray("PayloadSize=\"65507\"");
        QTest::newRow("payload negative")
            << QByteArray("IP=\"h\" PayloadSize=\"-1\" DontFragment=\"1\"") << "the payload size -1 is out of range"
            << QByteArray("PayloadSize=\"0\" DontFragment=\"1\"");
        QTest::newRow("payload unreadable")
            << QByteArray("IP=\"h\" PayloadSize=\"1k\"") << "the payload size \"1k\" cannot be read"
            << QByteArray("<DeviceEntry IP=\"h\" Type=\"0\" IASC=\"0\"></DeviceEntry>");
        QTest::newRow("checks twice") << QByteArray("IP=\"h\" MoreChecks=\"tcp:443 echo TCP:443 Echo\"")
                                      << "leave out \"echo\" (given twice), \"TCP:443\" (given twice)"
                                      << QByteArray("MoreChecks=\"tcp:443\"");
        QTest::newRow("nine checks") << QByteArray(
            "IP=\"h\" MoreChecks=\"tcp:1 tcp:2 tcp:3 tcp:4 tcp:5 arp tcp:7 tcp:8\"")
                                     << "leave out \"tcp:8\" (a device takes at most 8 checks)"
                                     << QByteArray("MoreChecks=\"tcp:1 tcp:2 tcp:3 tcp:4 tcp:5 arp tcp:7\"");
        QTest::newRow("twelve checks")
            << QByteArray("IP=\"h\" MoreChecks=\"tcp:1 tcp:2 tcp:3 tcp:4 tcp:5 tcp:6 tcp:7 tcp:8 tcp:9 tcp:10 tcp:11\"")
            << "leave out \"tcp:8\", \"tcp:9\", \"tcp:10\" and 1 more (a device takes at most 8"
            << QByteArray("MoreChecks=\"tcp:1 tcp:2 tcp:3 tcp:4 tcp:5 tcp:6 tcp:7\"");
        QTest::newRow("further check unreadable")
            << QByteArray("IP=\"h\" Check=\"arp\" MoreChecks=\"ping echo\"")
            << "its further check \"ping\" cannot be read" << QByteArray("Check=\"arp\" MoreChecks=\"ping echo\"");
        QTest::newRow("listed twice") << QByteArray("IP=\"h\">one</DeviceEntry><DeviceEntry IP=\"h\"")
                                      << "names h more than once: its first entry is kept" << QByteArray(">one<");
    }

    void entriesTakenOnTrustAreReported()
    {
        QFETCH(QByteArray, entry);
        QFETCH(QString, said);
        QFETCH(QByteArray, kept);
        writeFile(QStringLiteral("DeviceConfig.xml"), "<DeviceEntries><DeviceEntry " + entry + "/></DeviceEntries>");
        Data data;
        QVERIFY(data.load(QStringLiteral("DeviceConfig.xml"), reporter()));
        QCOMPARE(m_reports.size(), said.isEmpty() ? 0 : 1);
        QVERIFY2(said.isEmpty() || m_reports.first().contains(said), qPrintable(m_reports.join('\n')));
        add(data, QStringLiteral("added"));
        QVERIFY(data.save());
        QVERIFY(readAll(QStringLiteral("DeviceConfig.xml")).contains(kept));
    }

    // The mute list beside it: a mute whose end cannot be read mutes nothing, and says so.
    void mutesWhoseEndCannotBeReadMuteNothing_data()
    {
        QTest::addColumn<QByteArray>("mute");
        QTest::addColumn<QString>("said"); // empty: h is muted
        QTest::newRow("until unmuted") << QByteArray("<Device Address=\"h\"/>") << QString();
        QTest::newRow("device") << QByteArray("<Device Address=\"h\" Until=\"next week\"/>")
                                << "the mute of h ends at \"next week\", which cannot be read";
        QTest::newRow("all devices") << QByteArray("<AllDevices Until=\"2999-13-01\"/>")
                                     << "the mute of all devices ends at \"2999-13-01\", which cannot be read";
    }

    void mutesWhoseEndCannotBeReadMuteNothing()
    {
        QFETCH(QByteArray, mute);
        QFETCH(QString, said);
        writeFile(QStringLiteral("Mutes.xml"), "<Mutes>" + mute + "</Mutes>");
        MuteList mutes;
        mutes.load(QStringLiteral("Mutes.xml"), reporter());
        QCOMPARE(mutes.isMuted(QStringLiteral("h")), said.isEmpty());
        QCOMPARE(m_reports.size(), said.isEmpty() ? 0 : 1);
        QVERIFY2(said.isEmpty() || m_reports.first().contains(said), qPrintable(m_reports.join('\n')));
    }

    void slowLimitsAreHeldToTheSettingsRanges()
    {
        writeFile(QStringLiteral("DeviceConfig.xml"),
                  "<DeviceEntries><DeviceEntry IP=\"a\" SlowAverageMs=\"9999999\" SlowLossPercent=\"400\" "
                  "SlowResults=\"0\"/><DeviceEntry IP=\"b\" SlowLossPercent=\"x\"/></DeviceEntries>");
        Data data;
        QVERIFY(data.load(QStringLiteral("DeviceConfig.xml")));
        const DeviceEntry::SlowLimits held{Settings::MaxMilliseconds, 100, 1};
        QCOMPARE(data.entry(QStringLiteral("a")).slowLimits, held);
        const DeviceEntry::SlowLimits lossOff{std::nullopt, 0, std::nullopt};
        QCOMPARE(data.entry(QStringLiteral("b")).slowLimits, lossOff);
    }

    void iascTwoIsWrittenBackAsOne()
    {
        writeFile(QStringLiteral("DeviceConfig.xml"),
                  "<DeviceEntries><DeviceEntry IP=\"h\" Type=\"007\" IASC=\"2\"/><DeviceEntry>b</DeviceEntry>"
                  "</DeviceEntries>");
        Data data;
        QVERIFY(data.load(QStringLiteral("DeviceConfig.xml")));
        QVERIFY(QFile::remove(QStringLiteral("DeviceConfig.xml")));
        QVERIFY(data.save());
        const QByteArray saved = readAll(QStringLiteral("DeviceConfig.xml"));
        QVERIFY(saved.contains("<DeviceEntry IP=\"h\" Type=\"7\" IASC=\"1\"></DeviceEntry>"));
        // An entry without an address goes back without one.
        QVERIFY2(saved.contains("<DeviceEntry IP=\"\" Type=\"0\" IASC=\"0\">b</DeviceEntry>"), saved.constData());
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
        // Without a change of the program's own nothing is written, and nothing needs keeping.
        QVERIFY(data.save());
        QCOMPARE(readAll(QStringLiteral("DeviceConfig.xml")), original);
        data.addEntry(DeviceEntry(QStringLiteral("d"), QString(), 3, false, NoReplyResult));
        QVERIFY(data.save());
        QCOMPARE(readAll(QStringLiteral("DeviceConfig.xml.unreadable")), QByteArray("kept from an earlier run"));
        QCOMPARE(readAll(QStringLiteral("DeviceConfig.xml.unreadable.2")), original);
        QVERIFY(readAll(QStringLiteral("DeviceConfig.xml")).contains("IP=\"a\""));

        // The copy is made once; later saves write over the file as usual.
        data.removeEntry(QStringLiteral("d"));
        QVERIFY(data.save());
        QVERIFY(!QFile::exists(QStringLiteral("DeviceConfig.xml.unreadable.3")));
    }

    // A reading given up half-way (the program is quitting) never lets the part read replace
    // the file, whether or not the list changed meanwhile.
    void givenUpReadingNeverSavesOverTheFile()
    {
        const QByteArray original = "<DeviceEntries><DeviceEntry IP=\"a\"/><DeviceEntry IP=\"b\"/>"
                                    "<DeviceEntry IP=\"c\"/></DeviceEntries>";
        writeFile(QStringLiteral("DeviceConfig.xml"), original);
        int asked = 0;
        Data data;
        QVERIFY(!data.load(QStringLiteral("DeviceConfig.xml"), reporter(), [&asked] { return ++asked > 2; }));
        QVERIFY(data.file().abandoned());
        QCOMPARE(describe(data), (QStringList{"a|0|0|", "b|0|0|"}));
        QVERIFY(data.save());
        add(data, QStringLiteral("d"));
        QVERIFY(!data.save());
        QCOMPARE(m_reports.size(), 1);
        QVERIFY(m_reports.first().contains("not saved over"));
        QCOMPARE(readAll(QStringLiteral("DeviceConfig.xml")), original);
        QCOMPARE(QDir().entryList(QDir::Files), QStringList{"DeviceConfig.xml"});
    }

    // A file that cannot be read at all is never written over; what the user adds in that
    // session is saved beside it, under the name the start-up message gives.
    void unopenableFileIsNotOverwrittenTheSessionIsSavedBeside()
    {
        // A directory in the file's place cannot be opened as a file, even by root.
        QVERIFY(QDir().mkdir(QStringLiteral("DeviceConfig.xml")));
        writeFile(QStringLiteral("DeviceConfig.xml.new"), "from an earlier session");
        Data data;
        QVERIFY(!data.load(QStringLiteral("DeviceConfig.xml"), reporter()));
        QVERIFY(data.file().unopenable());
        QVERIFY(!data.file().readProblem().isEmpty());
        QCOMPARE(data.file().sessionFileName(), QStringLiteral("DeviceConfig.xml.new.2"));
        QVERIFY(data.save());
        QVERIFY(!QFile::exists(QStringLiteral("DeviceConfig.xml.new.2")));
        data.addEntry(DeviceEntry(QStringLiteral("h"), QString(), 3, false, NoReplyResult));
        // A save beside it that fails is reported as failed, and the next save tries again.
        QVERIFY(QDir().mkdir(QStringLiteral("DeviceConfig.xml.new.2")));
        QVERIFY(!data.save());
        QVERIFY(data.hasUnsavedChanges());
        QCOMPARE(m_reports.size(), 1);
        QVERIFY(m_reports.first().contains("could not be saved"));
        QVERIFY(QDir().rmdir(QStringLiteral("DeviceConfig.xml.new.2")));
        QVERIFY(data.save());
        QVERIFY(QFileInfo(QStringLiteral("DeviceConfig.xml")).isDir());
        QVERIFY(readAll(QStringLiteral("DeviceConfig.xml.new.2")).contains("IP=\"h\""));
        QCOMPARE(readAll(QStringLiteral("DeviceConfig.xml.new")), QByteArray("from an earlier session"));
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

    // Edits made by hand while the program runs: without a change of its own the program
    // leaves them alone; with one, the hand-edited file is kept aside first, and said so.
    void handEditsAreNeverOverwrittenSilently()
    {
        writeFile(QStringLiteral("DeviceConfig.xml"), "<DeviceEntries><DeviceEntry IP=\"a\"/></DeviceEntries>");
        Data data;
        QVERIFY(data.load(QStringLiteral("DeviceConfig.xml"), reporter()));
        const QByteArray edit = "<DeviceEntries><!-- mine --><DeviceEntry IP=\"b\"/></DeviceEntries>\n";
        writeFile(QStringLiteral("DeviceConfig.xml"), edit);
        QVERIFY(data.save());
        QCOMPARE(readAll(QStringLiteral("DeviceConfig.xml")), edit);
        QVERIFY(m_reports.isEmpty());

        add(data, QStringLiteral("c"));
        QVERIFY(data.save());
        QCOMPARE(readAll(QStringLiteral("DeviceConfig.xml.changed-on-disk")), edit);
        QCOMPARE(m_reports.size(), 1);
        QVERIFY(m_reports.first().contains("DeviceConfig.xml.changed-on-disk"));
        Data again;
        QVERIFY(again.load(QStringLiteral("DeviceConfig.xml")));
        QCOMPARE(describe(again), QStringList({"a|0|0|", "c|3|0|"}));
        // What the program wrote itself is not a change on disk.
        add(data, QStringLiteral("d"));
        QVERIFY(data.save());
        QVERIFY(!QFile::exists(QStringLiteral("DeviceConfig.xml.changed-on-disk.2")));
    }

    // A file the user made read-only is not replaced (and keeps its mode); other files keep
    // the permissions the user gave them.
    void permissionsAreRespected()
    {
        Data data;
        data.load(QStringLiteral("DeviceConfig.xml"), reporter());
        add(data, QStringLiteral("a"));
        QVERIFY(data.save());
        const auto privateMode = QFile::ReadOwner | QFile::WriteOwner;
        QVERIFY(QFile::setPermissions(QStringLiteral("DeviceConfig.xml"), privateMode));
        add(data, QStringLiteral("b"));
        QVERIFY(data.save());
        // Owner, group and others; the "user" flags only say what this process may do.
        constexpr int modeBits = 0xF0FF;
        QCOMPARE(QFile::permissions(QStringLiteral("DeviceConfig.xml")) & modeBits, privateMode & modeBits);

        const auto readOnly = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
        QVERIFY(QFile::setPermissions(QStringLiteral("DeviceConfig.xml"), readOnly));
        const QByteArray before = readAll(QStringLiteral("DeviceConfig.xml"));
        add(data, QStringLiteral("c"));
        QVERIFY(!data.save());
        QCOMPARE(readAll(QStringLiteral("DeviceConfig.xml")), before);
        QCOMPARE(QFile::permissions(QStringLiteral("DeviceConfig.xml")) & modeBits, readOnly & modeBits);
        QVERIFY(!m_reports.isEmpty() && m_reports.last().contains("read-only"));
        // A save retried while the cause lasts says so once.
        QVERIFY(!data.save());
        QCOMPARE(m_reports.size(), 1);
    }

    // A folder that takes no new file, with files the user may write: saved in place.
    void folderThatTakesNoNewFileIsSavedInPlace()
    {
        if (qEnvironmentVariableIsSet("TARNWICK_RUN_SCENARIO")) {
            QVERIFY(QDir::setCurrent(qEnvironmentVariable("TARNWICK_RUN_SCENARIO")));
            Data data;
            QVERIFY(data.load(QStringLiteral("DeviceConfig.xml")));
            add(data, QStringLiteral("added as nobody"));
            QVERIFY(data.save());
            return;
        }
        if (::geteuid() != 0)
            QSKIP("needs root to run a part of the test as another user");
        writeFile(QStringLiteral("DeviceConfig.xml"), "<DeviceEntries/>\n");
        QVERIFY(QFile::setPermissions(QStringLiteral("DeviceConfig.xml"), QFileDevice::Permissions(0x6666)));
        QVERIFY(QFile::setPermissions(m_dir.path(), QFileDevice::Permissions(0x5555)));
        const auto restore = qScopeGuard(
            [&] { QFile::setPermissions(m_dir.path(), QFileDevice::Permissions(0x7700)); });
        QProcess child;
        child.setChildProcessModifier([] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(3);
        });
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TARNWICK_RUN_SCENARIO"), m_dir.path());
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("folderThatTakesNoNewFileIsSavedInPlace")});
        QVERIFY(child.waitForFinished(20000));
        QVERIFY2(child.exitCode() == 0, child.readAll().constData());
        QVERIFY(readAll(QStringLiteral("DeviceConfig.xml")).contains("added as nobody"));
    }

    void failedSaveIsReportedAndLeavesNoTemporaryFile()
    {
        Data data;
        data.load(QStringLiteral("missing-dir/DeviceConfig.xml"), reporter());
        add(data, QStringLiteral("a"));
        QVERIFY(!data.save());
        QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden).size(), 0);
        QCOMPARE(m_reports.size(), 1);
        QVERIFY(m_reports.first().contains("missing-dir/DeviceConfig.xml"));
    }
};

QTEST_GUILESS_MAIN(TestDeviceListFile)
#include "tst_devicelistfile.moc"
