// SPDX-License-Identifier: GPL-3.0-or-later
#include "../common/PeakMemory.h"
#include "../common/TestFiles.h"
#include "alert/AlertCommand.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Tarnwick;

namespace {

Alert sampleAlert()
{
    // Shell syntax in the text must reach the command as plain text.
    return {QStringLiteral("Router down"),
            QStringLiteral("$(touch pwned); `id` \"quoted\" & more"),
            QStringLiteral("127.0.2.1"),
            QStringLiteral("Router in the hall"),
            QStringLiteral("disconnected"),
            QStringLiteral("127.0.2.254"),
            QDateTime(QDate(2026, 12, 8), QTime(18, 30, 5, 250), Qt::UTC),
            QStringLiteral("group-1"),
            {},
            Alert::Kinds::Down,
            QStringLiteral("0b5c2f7e-1d0a-4c2b-9a51-6f3e8d2c7a10")};
}

// Whether the process runs (a zombie waiting for its parent does not).
bool runs(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray fields = stat.readAll();
    return fields.mid(fields.lastIndexOf(')') + 2, 1) != "Z";
}

QStringList linesOf(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("<missing %1>").arg(fileName)};
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace

class TestAlertCommand : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void getsArgumentsAndEnvironment_data();
    void getsArgumentsAndEnvironment();
    void failuresAndOutputAreLogged_data();
    void failuresAndOutputAreLogged();
    void isKilledAfterTheTimeLimit();
    void stoppingEndsWhatTheCommandStarted_data();
    void stoppingEndsWhatTheCommandStarted();

private:
    void run(const QString& commandLine, std::chrono::milliseconds limit = std::chrono::seconds(20));

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_script;
    QStringList m_log;
};

void TestAlertCommand::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("with space")));
    m_script = m_dir->filePath(QStringLiteral("with space/record.sh"));
    QVERIFY(TestFiles::writeScript(m_script,
                                   "out=\"$1\"; shift\n"
                                   "printf '%s\\n' \"$@\" > \"$out.args\"\n"
                                   "env | grep '^TARNWICK_' | sort > \"$out.env\"\n"));
    QVERIFY(QDir::setCurrent(m_dir->path()));
    m_log.clear();
}

void TestAlertCommand::run(const QString& commandLine, std::chrono::milliseconds limit)
{
    AlertCommand command(
        commandLine, [this](const QString& line) { m_log << line; }, limit);
    QSignalSpy ran(&command, &AlertChannel::delivered);
    QSignalSpy failed(&command, &AlertChannel::failed);
    command.send(sampleAlert());
    QTRY_VERIFY_WITH_TIMEOUT(ran.size() + failed.size() == 1, 60000);
    // A command that cannot start fails, to be tried again; the outbox logs why.
    if (!failed.isEmpty())
        m_log << failed.first().first().toString();
}

void TestAlertCommand::getsArgumentsAndEnvironment_data()
{
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("plain") << "a b" << QStringList{"a", "b"};
    QTest::newRow("quoted") << R"("two words" 'one' "say \"hi\"")" << QStringList{"two words", "one", "say \"hi\""};
    QTest::newRow("no shell") << "; echo $HOME > x | y" << QStringList{";", "echo", "$HOME", ">", "x", "|", "y"};
}

void TestAlertCommand::getsArgumentsAndEnvironment()
{
    QFETCH(QString, arguments);
    QFETCH(QStringList, expected);
    const QString out = m_dir->filePath(QStringLiteral("out"));
    run(QStringLiteral("\"%1\" %2 %3").arg(m_script, out, arguments));
    QVERIFY2(m_log.isEmpty(), qPrintable(m_log.join(u'\n')));
    QCOMPARE(linesOf(out + QStringLiteral(".args")), expected);
    QCOMPARE(linesOf(out + QStringLiteral(".env")),
             (QStringList{"TARNWICK_ADDRESS=127.0.2.1", "TARNWICK_BEHIND=127.0.2.254",
                          "TARNWICK_DESCRIPTION=Router in the hall", "TARNWICK_ID=0b5c2f7e-1d0a-4c2b-9a51-6f3e8d2c7a10",
                          "TARNWICK_KIND=down", "TARNWICK_STATE=disconnected",
                          "TARNWICK_TEXT=$(touch pwned); `id` \"quoted\" & more",
                          "TARNWICK_TIME=2026-12-08T18:30:05.250Z", "TARNWICK_TITLE=Router down"}));
    QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("pwned"))));
    QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("x"))));
}

void TestAlertCommand::failuresAndOutputAreLogged_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("missing program") << "/nonexistent/notify-me now"
                                     << QStringList{
                                            "the alert command \"/nonexistent/notify-me now\" could not start: "};
    QTest::newRow("exit status") << "sh -c 'echo first; echo \"$TARNWICK_STATE\" >&2; exit 3'"
                                 << QStringList{"said: first", "said: disconnected", "failed with exit status 3."};
    QTest::newRow("crash") << "sh -c 'kill -SEGV $$'" << QStringList{"crashed."};
    // Output is read as it comes: 100 MB of it leave the last lines, each cut short.
    QStringList last{"said 11 lines before these."};
    for (int i = 11; i <= 30; ++i)
        last << QStringLiteral("said: %1").arg(i);
    QTest::newRow("chatter") << "sh -c 'head -c 100000000 /dev/zero | tr \"\\000\" x; echo; seq 1 30'" << last;
    QTest::newRow("one long line") << "sh -c 'head -c 3000000 /dev/zero | tr \"\\000\" y; exit 2'"
                                   << QStringList{"said: …" + QString(499, u'y') + u'…', "failed with exit status 2."};
}

void TestAlertCommand::failuresAndOutputAreLogged()
{
    QFETCH(QString, commandLine);
    QFETCH(QStringList, expected);
    QVERIFY(PeakMemory::reset());
    run(commandLine);
    QCOMPARE(m_log.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i)
        QVERIFY2(m_log.at(i).contains(expected.at(i)), qPrintable(m_log.at(i)));
#ifndef __SANITIZE_ADDRESS__ // whose quarantine holds on to what was read and let go
    QVERIFY2(PeakMemory::mb() > 0 && PeakMemory::mb() < 64, qPrintable(QString::number(PeakMemory::mb())));
#endif
}

void TestAlertCommand::isKilledAfterTheTimeLimit()
{
    QElapsedTimer clock;
    clock.start();
    run(QStringLiteral("sleep 60"), std::chrono::milliseconds(300));
    QVERIFY(clock.elapsed() < 20000);
    QCOMPARE(m_log, QStringList{"The alert command \"sleep 60\" did not end within 0.3 s and was stopped."});
}

void TestAlertCommand::stoppingEndsWhatTheCommandStarted_data()
{
    QTest::addColumn<bool>("byLimit");
    QTest::addColumn<QString>("stopped");
    QTest::newRow("time limit") << true << "did not end within 0.5 s and was stopped.";
    QTest::newRow("command dropped") << false << "was still running and was stopped.";
}

void TestAlertCommand::stoppingEndsWhatTheCommandStarted()
{
    QFETCH(bool, byLimit);
    QFETCH(QString, stopped);
    // The child ignores SIGTERM, so only SIGKILL to the whole group ends it.
    const QString pidFile = m_dir->filePath(QStringLiteral("child.pid"));
    auto command = std::make_unique<AlertCommand>(
        QStringLiteral("sh -c 'echo started; sh -c \"trap \\\"\\\" TERM; sleep 100\" & echo $! > child.pid; wait'"),
        [this](const QString& line) { m_log << line; },
        byLimit ? std::chrono::milliseconds(500) : std::chrono::seconds(60));
    QSignalSpy ended(command.get(), &AlertChannel::delivered);
    command->send(sampleAlert());
    QTRY_VERIFY_WITH_TIMEOUT(linesOf(pidFile).size() == 1 && !linesOf(pidFile).first().startsWith(u'<'), 10000);
    const qint64 child = linesOf(pidFile).first().toLongLong();
    QVERIFY(runs(child));
    if (byLimit)
        QVERIFY(ended.wait(10000));
    else
        command.reset();
    QTRY_VERIFY_WITH_TIMEOUT(!runs(child), 10000);
    QCOMPARE(m_log.size(), 2);
    QVERIFY2(m_log.first().endsWith(QStringLiteral("said: started")), qPrintable(m_log.first()));
    QVERIFY2(m_log.last().endsWith(stopped), qPrintable(m_log.last()));
}

QTEST_GUILESS_MAIN(TestAlertCommand)
#include "tst_alertcommand.moc"
