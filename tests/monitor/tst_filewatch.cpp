// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/Data.h"
#include "data/Settings.h"
#include "monitor/AutoSaver.h"
#include "monitor/MonitorCore.h"
#include "net/NameResolver.h"
#include "net/ProbeEngine.h"

#include "../common/TestFiles.h"

#include <QSaveFile>
#include <QTest>

using namespace Tarnwick;

namespace {

QByteArray period(const QByteArray& seconds)
{
    return "<Settings><ProbePeriod>" + seconds + "</ProbePeriod></Settings>\n";
}

// In place, or as editors and "sed -i" save: a new file renamed over the old one.
void writeByHand(const QString& name, const QByteArray& contents, bool byRename)
{
    if (!byRename)
        return TestFiles::writeFile(name, contents);
    QSaveFile file(name);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size() && file.commit());
}

} // namespace

// Hand edits are read while the program runs; its own saves are not, nor a file over its unsaved changes.
class TestFileWatch : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void init() { TestFiles::enterEmpty(m_dir); }

    void handEditsAreReadWhileRunning_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("byRename");
        QTest::addColumn<bool>("ownEdit"); // a device added in the program, not saved yet
        QTest::addColumn<QByteArrayList>("versions"); // written by hand one after the other
        QTest::addColumn<QStringList>("said"); // what the log says of each, and of the save
        const QString list = QStringLiteral("DeviceConfig.xml"), settings = QStringLiteral("Settings.xml");
        const QString added = QStringLiteral("\"DeviceConfig.xml\" read again: 1 added, 0 removed, 0 changed.");
        const QString changed = QStringLiteral("\"Settings.xml\" read again: ProbePeriod changed.");
        const QByteArray two = TestFiles::loopbackDeviceList(2);
        QTest::newRow("list in place") << list << false << false << QByteArrayList{two} << QStringList{added};
        QTest::newRow("list by rename") << list << true << false << QByteArrayList{TestFiles::loopbackDeviceList(3)}
                                        << QStringList{"\"DeviceConfig.xml\" read again: 2 added, 0 removed"};
        QTest::newRow("settings in place")
            << settings << false << false << QByteArrayList{period("17")} << QStringList{changed};
        QTest::newRow("settings by rename")
            << settings << true << false << QByteArrayList{period("18")} << QStringList{changed};
        QTest::newRow("list cut short, then whole")
            << list << false << false << QByteArrayList{two.left(40), two}
            << QStringList{"\"DeviceConfig.xml\" was not read again: it is not well-formed XML", added};
        QTest::newRow("list edited here and by hand")
            << list << true << true << QByteArrayList{two}
            << QStringList{"while changes made in Tarnwick wait", "kept as \"DeviceConfig.xml.changed-on-disk\""};
    }

    void handEditsAreReadWhileRunning()
    {
        QFETCH(QString, file);
        QFETCH(bool, byRename);
        QFETCH(bool, ownEdit);
        QFETCH(QByteArrayList, versions);
        QFETCH(QStringList, said);
        TestFiles::writeFile(QStringLiteral("DeviceConfig.xml"), TestFiles::loopbackDeviceList(1));
        TestFiles::writeFile(QStringLiteral("Settings.xml"), period("1"));
        QStringList reports;
        MonitorCore::Options options;
        options.report = [&reports](const QString& text) { reports << text; };
        Settings settings;
        settings.load(QStringLiteral("Settings.xml"), options.report);
        NameResolver resolver;
        ProbeEngine engine(resolver);
        MonitorCore core(settings, engine, options);
        AutoSaver saver(core.data(), settings, core.map(), std::chrono::hours(1)); // saves when the test says
        if (ownEdit)
            core.data().addEntry(DeviceEntry(QStringLiteral("127.0.0.9"), QString(), 1, true, NoReplyResult));
        for (qsizetype i = 0; i < versions.size(); ++i) {
            writeByHand(file, versions[i], byRename);
            QTRY_VERIFY2(reports.size() == i + 1 && reports.last().contains(said[i]), qPrintable(reports.join('\n')));
        }
        // The save keeps the hand edit aside, and is not read back itself.
        saver.saveChanges();
        if (ownEdit)
            QCOMPARE(TestFiles::readAll(file + QStringLiteral(".changed-on-disk")), versions.last());
        // Once this later edit is read, the save has been looked at too.
        writeByHand(QStringLiteral("VisualRepresentation.xml"),
                    "<VisualRepresentation><Devices><Device IP=\"127.0.0.1\" X=\"5\" Y=\"6\"/></Devices>"
                    "</VisualRepresentation>",
                    byRename);
        said << QStringLiteral("\"VisualRepresentation.xml\" read again: 1 added, 0 removed, 0 changed.");
        QTRY_COMPARE(reports.size(), said.size());
        for (qsizetype i = 0; i < said.size(); ++i)
            QVERIFY2(reports[i].contains(said[i]), qPrintable(reports[i]));
        if (ownEdit)
            QVERIFY(TestFiles::readAll(file).contains("127.0.0.9"));
    }
};

QTEST_GUILESS_MAIN(TestFileWatch)
#include "tst_filewatch.moc"
