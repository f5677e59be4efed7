// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AutoSaver.h"
#include "data/Data.h"
#include "data/Settings.h"
#include "data/VisualRepresentationData.h"

#include "../common/TestFiles.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Tarnwick;
using TestFiles::readAll;

// The user's changes reach the files a few seconds after they are made, without a quit, so
// that a crash or a kill costs at most those seconds; probe results are not changes.
class TestAutoSave : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void changesAreSavedShortlyAfter()
    {
        TestFiles::enterEmpty(m_dir);
        Settings settings;
        settings.load(QStringLiteral("Settings.xml"));
        Data data;
        data.load(QStringLiteral("DeviceConfig.xml"));
        VisualRepresentationData map;
        map.load(QStringLiteral("VisualRepresentation.xml"));
        // A short interval: the test waits for the save, not for the program's delay.
        constexpr std::chrono::milliseconds interval{50};
        AutoSaver saver(data, settings, map, interval);

        data.addEntry(DeviceEntry(QStringLiteral("127.0.0.10"), QStringLiteral("router"), 2, true, NoReplyResult));
        QTRY_VERIFY_WITH_TIMEOUT(readAll(QStringLiteral("DeviceConfig.xml")).contains("127.0.0.10"), 5000);
        QVERIFY(!data.hasUnsavedChanges());
        data.setPingResult(QStringLiteral("127.0.0.10"), QStringLiteral("3"));
        QVERIFY(!data.hasUnsavedChanges());

        settings.pingTimeout = 250;
        QTRY_VERIFY_WITH_TIMEOUT(readAll(QStringLiteral("Settings.xml")).contains("<PingTimeout>250</PingTimeout>"),
                                 5000);
        map.appendItem({QStringLiteral("127.0.0.10"), 5, 6});
        QTRY_VERIFY_WITH_TIMEOUT(readAll(QStringLiteral("VisualRepresentation.xml")).contains("X=\"5\""), 5000);
    }
};

QTEST_GUILESS_MAIN(TestAutoSave)
#include "tst_autosave.moc"
