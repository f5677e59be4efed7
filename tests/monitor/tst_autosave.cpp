// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/Data.h"
#include "data/Settings.h"
#include "data/VisualRepresentationData.h"
#include "monitor/AutoSaver.h"

#include "../common/TestFiles.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace std::chrono_literals;

using namespace Tarnwick;
using TestFiles::readAll;

// The user's changes reach the files a few seconds after the last of them, without a quit, so
// that a crash or a kill costs at most those seconds; probe results are not changes.
class TestAutoSave : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void init() { TestFiles::enterEmpty(m_dir); }

    void changesAreSavedShortlyAfter()
    {
        Settings settings;
        settings.load(QStringLiteral("Settings.xml"));
        Data data;
        data.load(QStringLiteral("DeviceConfig.xml"));
        VisualRepresentationData map;
        map.load(QStringLiteral("VisualRepresentation.xml"));
        // A short wait: the test waits for the save, not for the program's delay.
        constexpr std::chrono::milliseconds quietTime{50};
        AutoSaver saver(data, settings, map, quietTime);

        data.addEntry(DeviceEntry(QStringLiteral("127.0.0.10"), QStringLiteral("router"), 2, true, NoReplyResult));
        QTRY_VERIFY_WITH_TIMEOUT(readAll(QStringLiteral("DeviceConfig.xml")).contains("127.0.0.10"), 5000);
        QVERIFY(!data.hasUnsavedChanges());
        data.setPingResults({{QStringLiteral("127.0.0.10"), 0, ProbeResult::reply(3ms)}});
        QVERIFY(!data.hasUnsavedChanges());
        data.changeEntry(QStringLiteral("127.0.0.10"), QStringLiteral("127.0.0.10"), true, QStringLiteral("gateway"),
                         2);
        QTRY_VERIFY_WITH_TIMEOUT(readAll(QStringLiteral("DeviceConfig.xml")).contains("gateway"), 5000);

        settings.set(&Settings::pingTimeout, 250);
        QTRY_VERIFY_WITH_TIMEOUT(readAll(QStringLiteral("Settings.xml")).contains("<PingTimeout>250</PingTimeout>"),
                                 5000);
        QVERIFY(map.addItem({QStringLiteral("127.0.0.10"), 5, 6}));
        QTRY_VERIFY_WITH_TIMEOUT(readAll(QStringLiteral("VisualRepresentation.xml")).contains("X=\"5\""), 5000);
    }

    // Results keep coming in on the window's thread while the monitor runs; they change nothing
    // the file keeps, so an edit is saved in spite of them.
    void resultsDoNotHoldBackASave()
    {
        Settings settings;
        Data data;
        data.load(QStringLiteral("DeviceConfig.xml"));
        VisualRepresentationData map;
        constexpr std::chrono::milliseconds quietTime{50};
        AutoSaver saver(data, settings, map, quietTime);
        const QString ip = QStringLiteral("127.0.0.10");
        data.addEntry(DeviceEntry(ip, QStringLiteral("router"), 2, true, NoReplyResult));
        QTimer results;
        QObject::connect(&results, &QTimer::timeout, [&data, &ip] {
            data.setPingResults({{ip, 0, ProbeResult::reply(3ms)}});
        });
        results.start(quietTime / 5);
        QTRY_VERIFY_WITH_TIMEOUT(readAll(QStringLiteral("DeviceConfig.xml")).contains("router"), 5000);
    }

    // A burst of changes is saved once it has been quiet for the whole wait, not while it goes
    // on: the first change alone never reaches the file.
    void aBurstIsSavedAfterItsLastChange()
    {
        Settings settings;
        settings.load(QStringLiteral("Settings.xml"));
        Data data;
        VisualRepresentationData map;
        constexpr std::chrono::milliseconds quietTime = AutoSaver::DefaultQuietTime;
        AutoSaver saver(data, settings, map, quietTime);
        QElapsedTimer clock;
        clock.start();
        settings.set(&Settings::mapZoom, 150);
        QTRY_VERIFY(clock.elapsed() >= 200);
        settings.set(&Settings::mapZoom, 175);
        QElapsedTimer sinceLast;
        sinceLast.start();
        QTRY_VERIFY_WITH_TIMEOUT(readAll(QStringLiteral("Settings.xml")).contains("<MapZoom>"), 5000);
        // A coarse timer may fire up to 5 % early.
        QVERIFY(sinceLast.elapsed() >= quietTime.count() * 9 / 10);
        QVERIFY(readAll(QStringLiteral("Settings.xml")).contains("<MapZoom>175</MapZoom>"));
    }

    // Changes that never let up are saved all the same, once the first has waited a few quiet
    // times, and again after that.
    void aStreamOfChangesIsSavedAllTheSame()
    {
        Settings settings;
        settings.load(QStringLiteral("Settings.xml"));
        Data data;
        VisualRepresentationData map;
        constexpr std::chrono::milliseconds quietTime{100};
        AutoSaver saver(data, settings, map, quietTime);
        int zoom = 100;
        QTimer stream;
        connect(&stream, &QTimer::timeout, [&] { settings.set(&Settings::mapZoom, ++zoom); });
        stream.start(quietTime / 4);
        QTRY_VERIFY_WITH_TIMEOUT(readAll(QStringLiteral("Settings.xml")).contains("<MapZoom>"), 5000);
        const int firstSaved = zoom;
        QTRY_VERIFY_WITH_TIMEOUT(!readAll(QStringLiteral("Settings.xml"))
                                      .contains(QStringLiteral("<MapZoom>%1</MapZoom>").arg(firstSaved).toUtf8()),
                                 5000);
        QVERIFY(stream.isActive());
    }

    // A save that fails keeps the file as it was and is tried again, with no further change,
    // until it succeeds.
    void aFailedSaveIsTriedAgain()
    {
        Settings settings;
        settings.load(QStringLiteral("Settings.xml"));
        QVERIFY(settings.save());
        Data data;
        VisualRepresentationData map;
        AutoSaver saver(data, settings, map, std::chrono::milliseconds(50));
        QFile file(QStringLiteral("Settings.xml"));
        const QFile::Permissions writable = file.permissions();
        QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("read-only and was not replaced"));
        settings.set(&Settings::mapZoom, 150);
        QElapsedTimer clock;
        clock.start();
        QTRY_VERIFY(clock.elapsed() >= 300);
        QVERIFY(!readAll(QStringLiteral("Settings.xml")).contains("<MapZoom>150</MapZoom>"));
        QVERIFY(file.setPermissions(writable));
        QTRY_VERIFY_WITH_TIMEOUT(readAll(QStringLiteral("Settings.xml")).contains("<MapZoom>150</MapZoom>"), 5000);
    }
};

QTEST_GUILESS_MAIN(TestAutoSave)
#include "tst_autosave.moc"
