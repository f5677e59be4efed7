// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/Data.h"
#include "data/Settings.h"
#include "data/VisualRepresentationData.h"
#include "monitor/AutoSaver.h"
#include "monitor/MonitorCore.h"
#include "net/NameResolver.h"
#include "net/ProbeEngine.h"

#include "../common/TestFiles.h"

#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using namespace Tarnwick;
using namespace std::chrono_literals;

namespace {

const QString DeviceList = QStringLiteral("DeviceConfig.xml");
const QString SettingsFile = QStringLiteral("Settings.xml");

QByteArray devices(const QByteArrayList& ips)
{
    QByteArray list = "<?xml version=\"1.0\"?>\n<DeviceEntries>\n";
    for (const QByteArray& ip : ips)
        list += "<DeviceEntry IP=\"" + ip + "\" Type=\"1\" IASC=\"1\"/>\n";
    return list + "</DeviceEntries>\n";
}

QByteArray probePeriod(const QByteArray& seconds)
{
    return "<?xml version=\"1.0\"?>\n<Settings><ProbePeriod>" + seconds + "</ProbePeriod></Settings>\n";
}

// As an editor or "sed -i" saves: a new file renamed over the old one.
void writeByHand(const QString& name, const QByteArray& contents, bool byRename)
{
    if (!byRename)
        return TestFiles::writeFile(name, contents);
    TestFiles::writeFile(name + QStringLiteral(".swp"), contents);
    QCOMPARE(std::rename(qPrintable(name + QStringLiteral(".swp")), qPrintable(name)), 0);
}

} // namespace

// The device list, the settings and the map are read again when someone changes them on disk
// while the program runs, and only then: never after the program's own saves, and never over
// changes of the program's own that wait to be saved.
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
        // The program changes the file first, and has not saved that yet.
        QTest::addColumn<bool>("ownEdit");
        // Written by hand one after the other, each followed by what the log says of it.
        QTest::addColumn<QByteArrayList>("versions");
        QTest::addColumn<QStringList>("said");
        // The addresses the program watches, or the probe period it runs with, at the end.
        QTest::addColumn<QString>("running");

        const QString listAdded = QStringLiteral("\"DeviceConfig.xml\" read again: 1 added, 0 removed, 0 changed.");
        const QString periodChanged = QStringLiteral("\"Settings.xml\" read again: ProbePeriod changed.");
        const QString heldBack = QStringLiteral(
            "changed on disk while changes made in Tarnwick wait to be saved to it");
        QTest::newRow("device list, in place")
            << DeviceList << false << false << QByteArrayList{devices({"127.0.0.1", "127.0.0.2"})}
            << QStringList{listAdded} << QStringLiteral("127.0.0.1 127.0.0.2");
        QTest::newRow("device list, by rename")
            << DeviceList << true << false << QByteArrayList{devices({"127.0.0.2"})}
            << QStringList{QStringLiteral("\"DeviceConfig.xml\" read again: 1 added, 1 removed, 0 changed.")}
            << QStringLiteral("127.0.0.2");
        QTest::newRow("settings, in place") << SettingsFile << false << false << QByteArrayList{probePeriod("17")}
                                            << QStringList{periodChanged} << QStringLiteral("17");
        QTest::newRow("settings, by rename") << SettingsFile << true << false << QByteArrayList{probePeriod("18")}
                                             << QStringList{periodChanged} << QStringLiteral("18");
        const QByteArray whole = devices({"127.0.0.1", "127.0.0.2"});
        QTest::newRow("device list cut short, then whole")
            << DeviceList << false << false << QByteArrayList{whole.left(whole.size() / 2 + 7), whole}
            << QStringList{QStringLiteral("\"DeviceConfig.xml\" was not read again: it is not well-formed XML"),
                           listAdded}
            << QStringLiteral("127.0.0.1 127.0.0.2");
        QTest::newRow("own save") << DeviceList << false << true << QByteArrayList{} << QStringList{}
                                  << QStringLiteral("127.0.0.1 127.0.0.9");
        QTest::newRow("device list edited in the program and by hand")
            << DeviceList << false << true << QByteArrayList{devices({"127.0.0.1", "127.0.0.2"})}
            << QStringList{heldBack} << QStringLiteral("127.0.0.1 127.0.0.9");
        QTest::newRow("settings edited in the program and by hand")
            << SettingsFile << true << true << QByteArrayList{probePeriod("17")} << QStringList{heldBack}
            << QStringLiteral("9");
    }

    void handEditsAreReadWhileRunning()
    {
        QFETCH(QString, file);
        QFETCH(bool, byRename);
        QFETCH(bool, ownEdit);
        QFETCH(QByteArrayList, versions);
        QFETCH(QStringList, said);
        QFETCH(QString, running);
        TestFiles::writeFile(DeviceList, devices({"127.0.0.1"}));
        TestFiles::writeFile(SettingsFile, probePeriod("1"));
        QStringList reports;
        const auto report = [&reports](const QString& text) { reports << text; };
        Settings settings;
        settings.load(SettingsFile, report);
        MonitorCore::Options options;
        options.report = report;
        options.probe = [](const QString&, int) { return ProbeResult::timeout(); };
        NameResolver resolver;
        ProbeEngine engine(resolver);
        MonitorCore core(settings, engine, options);
        // Saved when the test says.
        AutoSaver saver(core.data(), settings, core.map(), 1h);
        const auto runningNow = [&] {
            if (file == SettingsFile)
                return QString::number(settings.probePeriod.load());
            QStringList ips;
            for (const DeviceEntry& entry : core.data().entries())
                ips << entry.ip;
            ips.sort();
            return ips.join(QLatin1Char(' '));
        };

        if (ownEdit && file == SettingsFile)
            settings.set(&Settings::probePeriod, 9);
        else if (ownEdit)
            core.data().addEntry(DeviceEntry(QStringLiteral("127.0.0.9"), QString(), 1, true, NoReplyResult));
        for (qsizetype i = 0; i < versions.size(); ++i) {
            writeByHand(file, versions[i], byRename);
            QTRY_VERIFY2(reports.size() == i + 1 && reports.last().contains(said[i]),
                         qPrintable(reports.join(QLatin1Char('\n'))));
        }
        saver.saveChanges();
        if (ownEdit && !versions.isEmpty()) {
            said << QStringLiteral(
                        "\"%1\" changed on disk since Tarnwick read or saved it; it was kept as \"%1.changed-on-disk\"")
                        .arg(file);
            QCOMPARE(TestFiles::readAll(file + QStringLiteral(".changed-on-disk")), versions.last());
        }
        // A hand edit of another file after the save: once it is read, the save has been looked at.
        writeByHand(QStringLiteral("VisualRepresentation.xml"),
                    "<VisualRepresentation><Devices><Device IP=\"127.0.0.1\" X=\"5\" Y=\"6\"/></Devices>"
                    "</VisualRepresentation>",
                    byRename);
        said << QStringLiteral("\"VisualRepresentation.xml\" read again: 1 added, 0 removed, 0 changed.");
        QTRY_COMPARE(reports.size(), said.size());
        for (qsizetype i = 0; i < said.size(); ++i)
            QVERIFY2(reports[i].contains(said[i]), qPrintable(reports[i]));
        QCOMPARE(runningNow(), running);
        QVERIFY(core.map().item(QStringLiteral("127.0.0.1")));
        if (ownEdit)
            QVERIFY(TestFiles::readAll(file).contains(file == SettingsFile ? ">9<" : "127.0.0.9"));
        core.end();
    }
};

QTEST_GUILESS_MAIN(TestFileWatch)
#include "tst_filewatch.moc"
