// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/VisualRepresentationData.h"

#include "../common/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Tarnwick;
using TestFiles::readAll;
using TestFiles::writeFile;

class TestMapFile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void init() { TestFiles::enterEmpty(m_dir); }

    void emptyModelWrittenByteExact()
    {
        VisualRepresentationData map;
        QVERIFY(!map.load(QStringLiteral("VisualRepresentation.xml")));
        QVERIFY(map.save());
        QCOMPARE(readAll(QStringLiteral("VisualRepresentation.xml")),
                 readAll(QStringLiteral(TARNWICK_SOURCE_DIR "/tests/data/golden/VisualRepresentation-empty.xml")));
    }

    // Read anywhere, in any attribute order, and written back in the one normal form.
    void readsLeniently_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("normalised numbers")
            << QByteArray(
                   "<Devices><Device Y=\"007\" X=\"12abc\" IP=\"a\"/><Device IP=\"b\" X=\"-40\" Y=\" \"/></Devices>")
            << QByteArray("    <Devices>\n        <Device IP=\"a\" X=\"0\" Y=\"7\"/>\n"
                          "        <Device IP=\"b\" X=\"-40\" Y=\"0\"/>\n    </Devices>\n    <Connections/>\n");
        QTest::newRow("device without attributes")
            << QByteArray("<Devices><Device/></Devices>")
            << QByteArray("    <Devices>\n        <Device IP=\"\" X=\"0\" Y=\"0\"/>\n"
                          "    </Devices>\n    <Connections/>\n");
        QTest::newRow("found at any nesting, two Devices sections")
            << QByteArray("<Devices><Device IP=\"a\"/><Connection Type=\"9\" IP2=\"b\" IP1=\"a\"/></Devices>"
                          "<Other><Devices><Device IP=\"b\" X=\"1\"/></Devices></Other>")
            << QByteArray(
                   "    <Devices>\n        <Device IP=\"a\" X=\"0\" Y=\"0\"/>\n"
                   "        <Device IP=\"b\" X=\"1\" Y=\"0\"/>\n    </Devices>\n"
                   "    <Connections>\n        <Connection IP1=\"a\" IP2=\"b\" Type=\"9\"/>\n    </Connections>\n");
    }

    void readsLeniently()
    {
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, written);
        writeFile(QStringLiteral("VisualRepresentation.xml"),
                  "<VisualRepresentation>" + body + "</VisualRepresentation>");
        VisualRepresentationData map;
        QVERIFY(map.load(QStringLiteral("VisualRepresentation.xml")));
        // Without a change of its own the program leaves the file as the user wrote it; a file
        // that has gone is written anew, in the one normal form.
        QVERIFY(map.save());
        QCOMPARE(readAll(QStringLiteral("VisualRepresentation.xml")),
                 "<VisualRepresentation>" + body + "</VisualRepresentation>");
        QVERIFY(QFile::remove(QStringLiteral("VisualRepresentation.xml")));
        QVERIFY(map.save());
        QCOMPARE(readAll(QStringLiteral("VisualRepresentation.xml")),
                 "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<VisualRepresentation>\n" + written
                     + "</VisualRepresentation>\n");
    }

    void specialCharactersSurvive()
    {
        writeFile(QStringLiteral("VisualRepresentation.xml"),
                  "<VisualRepresentation><Devices><Device IP=\"a&amp;b&quot;c&lt;\" X=\"1\" Y=\"2\"/>"
                  "<Device IP=\"auto\" X=\"3\" Y=\"4\" LaidOut=\"1\"/></Devices>"
                  "<Connections><Connection IP1=\"a&amp;b&quot;c&lt;\" IP2=\"'x'\" Type=\"3\"/></Connections>"
                  "</VisualRepresentation>");
        VisualRepresentationData first;
        QVERIFY(first.load(QStringLiteral("VisualRepresentation.xml")));
        QCOMPARE(first.items().first().ip, QStringLiteral("a&b\"c<"));
        // A place the layout chose stays one it may choose again.
        QVERIFY(!first.items().first().laidOut);
        QVERIFY(first.items().last().laidOut);
        QVERIFY(QFile::remove(QStringLiteral("VisualRepresentation.xml")));
        QVERIFY(first.save());
        VisualRepresentationData second;
        QVERIFY(second.load(QStringLiteral("VisualRepresentation.xml")));
        QCOMPARE(second.items(), first.items());
        QCOMPARE(second.connections(), first.connections());
    }

    // Every edit says what it did, nonsense edits change nothing, and the result is written
    // in the file's one form.
    void editsAreAnnouncedAndWritten()
    {
        VisualRepresentationData map;
        map.load(QStringLiteral("VisualRepresentation.xml"));
        QStringList said;
        const auto item = [](const VisualRepresentationItem& i) {
            return QStringLiteral("%1@%2,%3").arg(i.ip).arg(i.x).arg(i.y);
        };
        const auto line = [](const VisualRepresentationItemConnection& c) {
            return QStringLiteral("%1-%2:%3").arg(c.ip1, c.ip2).arg(c.type);
        };
        connect(&map, &VisualRepresentationData::ItemAdded, this, [&](auto i) { said << "added " + item(i); });
        connect(&map, &VisualRepresentationData::ItemChanged, this, [&](auto i) { said << "changed " + item(i); });
        connect(&map, &VisualRepresentationData::ItemRemoved, this, [&](auto i) { said << "removed " + item(i); });
        connect(&map, &VisualRepresentationData::ItemConnectionAdded, this, [&](auto c) { said << "line " + line(c); });
        connect(&map, &VisualRepresentationData::ItemConnectionChanged, this,
                [&](auto c) { said << "line changed " + line(c); });
        connect(&map, &VisualRepresentationData::ItemConnectionRemoved, this,
                [&](auto c) { said << "line removed " + line(c); });
        QVERIFY(map.addItem({QStringLiteral("router"), 100, 50}));
        QVERIFY(map.addItem({QStringLiteral("pc"), 100, 250}));
        QVERIFY(map.addItem({QStringLiteral("printer"), 300, 250}));
        QVERIFY(!map.addItem({QStringLiteral("pc"), 0, 0}));
        QVERIFY(map.addConnection({QStringLiteral("router"), QStringLiteral("pc"), 1}));
        QVERIFY(map.addConnection({QStringLiteral("router"), QStringLiteral("printer"), 3}));
        QVERIFY(!map.addConnection({QStringLiteral("pc"), QStringLiteral("router"), 2}));
        QVERIFY(!map.addConnection({QStringLiteral("pc"), QStringLiteral("pc"), 2}));
        QVERIFY(!map.addConnection({QStringLiteral("pc"), QStringLiteral("nowhere"), 2}));
        QVERIFY(map.moveItem(QStringLiteral("pc"), 120, 260));
        QVERIFY(!map.moveItem(QStringLiteral("pc"), 120, 260));
        QVERIFY(map.setConnectionType(QStringLiteral("pc"), QStringLiteral("router"), 2));
        QVERIFY(map.removeItem(QStringLiteral("printer")));
        QVERIFY(!map.removeConnection(QStringLiteral("router"), QStringLiteral("printer")));
        QVERIFY(map.save());
        QCOMPARE(said,
                 QStringList({"added router@100,50", "added pc@100,250", "added printer@300,250", "line router-pc:1",
                              "line router-printer:3", "changed pc@120,260", "line changed router-pc:2",
                              "line removed router-printer:3", "removed printer@300,250"}));
        QCOMPARE(readAll(QStringLiteral("VisualRepresentation.xml")),
                 readAll(QStringLiteral(TARNWICK_SOURCE_DIR "/tests/data/golden/VisualRepresentation-edited.xml")));
    }

    // Read again while it runs, the map becomes what the file says through the same
    // announcements as edits in the program, and a save leaves the file as it is; a file that
    // cannot be read whole changes nothing.
    void readAgain_data()
    {
        QTest::addColumn<QByteArray>("edited");
        QTest::addColumn<QStringList>("said");
        QTest::addColumn<int>("added");
        QTest::addColumn<int>("removed");
        QTest::addColumn<int>("changed");
        QTest::newRow("moved, joined, removed")
            << QByteArray("<VisualRepresentation><Devices><Device IP=\"pc\" X=\"5\" Y=\"6\"/>"
                          "<Device IP=\"router\" X=\"100\" Y=\"50\"/><Device IP=\"ap\" X=\"1\" Y=\"2\"/>"
                          "</Devices><Connections><Connection IP1=\"ap\" IP2=\"router\" Type=\"1\"/>"
                          "</Connections></VisualRepresentation>")
            << QStringList{"line removed", "changed pc", "added ap", "line ap-router"} << 2 << 1 << 1;
        QTest::newRow("cut short") << QByteArray("<VisualRepresentation><Devices><Device IP=\"ap\"") << QStringList()
                                   << 0 << 0 << 0;
    }

    void readAgain()
    {
        QFETCH(QByteArray, edited);
        QFETCH(QStringList, said);
        QFETCH(int, added);
        QFETCH(int, removed);
        QFETCH(int, changed);
        const QString name = QStringLiteral("VisualRepresentation.xml");
        VisualRepresentationData map;
        map.load(name);
        QVERIFY(map.addItem({QStringLiteral("router"), 100, 50}));
        QVERIFY(map.addItem({QStringLiteral("pc"), 100, 250}));
        QVERIFY(map.addConnection({QStringLiteral("router"), QStringLiteral("pc"), 1}));
        QVERIFY(map.save());
        const QList<VisualRepresentationItem> before = map.items();
        writeFile(name, edited);
        QStringList heard;
        connect(&map, &VisualRepresentationData::ItemAdded, this, [&](auto i) { heard << "added " + i.ip; });
        connect(&map, &VisualRepresentationData::ItemChanged, this, [&](auto i) { heard << "changed " + i.ip; });
        connect(&map, &VisualRepresentationData::ItemRemoved, this, [&](auto i) { heard << "removed " + i.ip; });
        connect(&map, &VisualRepresentationData::ItemConnectionAdded, this,
                [&](auto c) { heard << "line " + c.ip1 + "-" + c.ip2; });
        connect(&map, &VisualRepresentationData::ItemConnectionRemoved, this, [&](auto) { heard << "line removed"; });
        const FileReload outcome = map.reload();
        QCOMPARE(heard, said);
        QCOMPARE(outcome.read, said.size() > 0);
        QCOMPARE(outcome.problem.isEmpty(), outcome.read);
        QCOMPARE(QList<int>({outcome.added, outcome.removed, outcome.changed}), QList<int>({added, removed, changed}));
        if (!outcome.read)
            QCOMPARE(map.items(), before);
        QVERIFY(!map.hasUnsavedChanges());
        QVERIFY(map.save());
        QCOMPARE(readAll(name), edited);
    }

    void partlyReadFileIsNeverWrittenOver()
    {
        const QByteArray original = "<VisualRepresentation><Devices><Device IP=\"a\"/><Device IP=\"b\">"
                                    "</Devices><Device IP=\"c\"/></VisualRepresentation>";
        writeFile(QStringLiteral("VisualRepresentation.xml"), original);
        VisualRepresentationData map;
        QVERIFY(!map.load(QStringLiteral("VisualRepresentation.xml")));
        QCOMPARE(map.items().size(), 2);
        QVERIFY(map.save());
        QCOMPARE(readAll(QStringLiteral("VisualRepresentation.xml")), original);
        // Not even with a change of the program's own.
        QVERIFY(map.addItem({QStringLiteral("d"), 1, 2}));
        QVERIFY(map.moveItem(QStringLiteral("a"), 5, 5));
        QVERIFY(!map.save());
        QCOMPARE(readAll(QStringLiteral("VisualRepresentation.xml")), original);
        QVERIFY(!QFile::exists(QStringLiteral("VisualRepresentation.xml.unreadable")));
    }
};

QTEST_GUILESS_MAIN(TestMapFile)
#include "tst_mapfile.moc"
