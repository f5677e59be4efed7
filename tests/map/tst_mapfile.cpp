#include "map/VisualRepresentationData.h"

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
                 readAll(QFINDTESTDATA("../data/golden/VisualRepresentation-empty.xml")));
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
                  "<VisualRepresentation><Devices><Device IP=\"a&amp;b&quot;c&lt;\" X=\"1\" Y=\"2\"/></Devices>"
                  "<Connections><Connection IP1=\"a&amp;b&quot;c&lt;\" IP2=\"'x'\" Type=\"3\"/></Connections>"
                  "</VisualRepresentation>");
        VisualRepresentationData first;
        QVERIFY(first.load(QStringLiteral("VisualRepresentation.xml")));
        QCOMPARE(first.items().first().ip, QStringLiteral("a&b\"c<"));
        QVERIFY(QFile::remove(QStringLiteral("VisualRepresentation.xml")));
        QVERIFY(first.save());
        VisualRepresentationData second;
        QVERIFY(second.load(QStringLiteral("VisualRepresentation.xml")));
        QCOMPARE(second.items(), first.items());
        QCOMPARE(second.connections(), first.connections());
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
        map.appendItem({QStringLiteral("d"), 1, 2});
        QVERIFY(!map.save());
        QCOMPARE(readAll(QStringLiteral("VisualRepresentation.xml")), original);
        QVERIFY(!QFile::exists(QStringLiteral("VisualRepresentation.xml.unreadable")));
    }
};

QTEST_GUILESS_MAIN(TestMapFile)
#include "tst_mapfile.moc"
