#include "../common/ProgramRun.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using TestFiles::readAll;

// Runs the built program the way a person does and ends it the way the desktop does.
class TestStartup : public QObject
{
    Q_OBJECT

    static QString golden(const QString& name)
    {
        return QStringLiteral(TARNWICK_SOURCE_DIR "/tests/data/golden/") + name;
    }

private slots:
    void endsCleanlyOnSignal_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }

    void endsCleanlyOnSignal()
    {
        QFETCH(int, signalNumber);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        ProgramRun program(dir.path());
        QVERIFY(program.started());
        QTRY_VERIFY_WITH_TIMEOUT(program.log().contains("started"), 20000);
        QCOMPARE(program.endWith(signalNumber), 0);

        const QList<QByteArray> lines = program.log().split('\n');
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines[0].endsWith("] | Application | Application \"Tarnwick\" started"));
        QVERIFY(lines[1].endsWith("] | Application | Application \"Tarnwick\" closed"));
        QVERIFY(lines[2].isEmpty());
        // Where the window manager (here the offscreen platform) placed the window is its own
        // business; the size must be the default one.
        QByteArray settings = program.file(QStringLiteral("Settings.xml"));
        static const QRegularExpression window(QStringLiteral("<Window X=\"-?\\d+\" Y=\"-?\\d+\" W=\"600\" H=\"500\""));
        QVERIFY2(QString::fromUtf8(settings).contains(window), settings.constData());
        settings.replace(QRegularExpression(QStringLiteral("<Window [^/]*/>"))
                             .match(QString::fromUtf8(settings))
                             .captured(0)
                             .toUtf8(),
                         "<Window X=\"0\" Y=\"0\" W=\"600\" H=\"500\" Maximized=\"0\"/>");
        QCOMPARE(settings, readAll(golden("Settings-default.xml")));
        QCOMPARE(program.file(QStringLiteral("DeviceConfig.xml")), readAll(golden("DeviceConfig-empty.xml")));
        QCOMPARE(program.file(QStringLiteral("VisualRepresentation.xml")),
                 readAll(golden("VisualRepresentation-empty.xml")));
    }

    void keepsTheDeviceListAcrossARun()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(QFile::copy(golden("DeviceConfig-two.xml"), dir.filePath(QStringLiteral("DeviceConfig.xml"))));
        ProgramRun program(dir.path());
        QVERIFY(program.started());
        QTRY_VERIFY_WITH_TIMEOUT(program.log().contains("started"), 20000);
        QCOMPARE(program.endWith(SIGTERM), 0);
        QCOMPARE(program.file(QStringLiteral("DeviceConfig.xml")), readAll(golden("DeviceConfig-two.xml")));
        // Entries read at start-up are not announced in the log.
        QVERIFY(!program.log().contains("added to list"));
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
