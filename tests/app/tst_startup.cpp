#include "../common/ProgramRun.h"

#include <QDir>
#include <QFileInfo>
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

        // Started and closed; between them only that this folder has no skin to show.
        const QList<QByteArray> lines = program.log().split('\n');
        QCOMPARE(lines.size(), 4);
        QVERIFY(lines[0].endsWith("] | Application | Application \"Tarnwick\" started"));
        QVERIFY(lines[1].contains("] | Application | The skin folder \"Skins/Default\" lacks twicon.png"));
        QVERIFY(lines[2].endsWith("] | Application | Application \"Tarnwick\" closed"));
        QVERIFY(lines[3].isEmpty());
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

    // One program per folder: a second start writes nothing, asks the running one to show its
    // window, and says which process that is.
    void secondStartInTheSameFolderEndsWithoutWriting()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        ProgramRun first(dir.path());
        QVERIFY(first.started());
        QTRY_VERIFY_WITH_TIMEOUT(first.log().contains("started"), 20000);

        ProgramRun second(dir.path(), {{}, {}, {QStringLiteral("DISPLAY"), QStringLiteral("WAYLAND_DISPLAY")}});
        QVERIFY(second.started());
        QCOMPARE(second.waitForExit(), 0);
        QVERIFY2(second.output().contains(
                     QStringLiteral("runs already in this folder (process %1)").arg(first.pid()).toUtf8()),
                 second.output().constData());
        QVERIFY(first.running());
        QCOMPARE(first.log().count("started"), 1);

        QCOMPARE(first.endWith(SIGTERM), 0);
        // Gone with the program, so the next start runs.
        ProgramRun third(dir.path());
        QVERIFY(third.started());
        QTRY_COMPARE_WITH_TIMEOUT(third.log().count("started"), 2, 20000);
        QCOMPARE(third.endWith(SIGTERM), 0);
    }

    // A device list that cannot be read is never written over; the user is told at start.
    void unreadableDeviceListIsToldAndLeftAlone()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("DeviceConfig.xml")));
        ProgramRun program(dir.path());
        QVERIFY(program.started());
        QTRY_VERIFY_WITH_TIMEOUT(program.log().contains("cannot be read"), 20000);
        QVERIFY(program.log().contains("DeviceConfig.xml.new"));
        QCOMPARE(program.endWith(SIGTERM), 0);
        QVERIFY(QFileInfo(dir.filePath(QStringLiteral("DeviceConfig.xml"))).isDir());
    }

    // Started under nohup, or in the background with SIGINT ignored: those stay ignored.
    void signalsIgnoredAtStartStayIgnored()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        ProgramRun program(dir.path(),
                           {{},
                            [] {
                                ::signal(SIGHUP, SIG_IGN);
                                ::signal(SIGINT, SIG_IGN);
                            },
                            {}});
        QVERIFY(program.started());
        QTRY_VERIFY_WITH_TIMEOUT(program.log().contains("started"), 20000);
        const quint64 ignored = ignoredSignals(program.pid());
        QVERIFY(ignored & (1u << (SIGHUP - 1)));
        QVERIFY(ignored & (1u << (SIGINT - 1)));
        QVERIFY(!(ignored & (1u << (SIGTERM - 1))));
        QCOMPARE(program.endWith(SIGTERM), 0);
    }

private:
    // The set of signals a process ignores, from /proc.
    static quint64 ignoredSignals(qint64 pid)
    {
        const QByteArray status = readAll(QStringLiteral("/proc/%1/status").arg(pid));
        const qsizetype at = status.indexOf("SigIgn:");
        return at < 0 ? 0 : status.mid(at + 7, status.indexOf('\n', at) - at - 7).trimmed().toULongLong(nullptr, 16);
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
