// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/HistoryReader.h"
#include "history/HistoryStore.h"
#include "ui/DeviceDetailsDialog.h"
#include "ui/SaveFileChooser.h"

#include "../common/TestFiles.h"

#include <QDateTime>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Tarnwick;

namespace {

// Whether another process finds the bytes locked, as SQLite's locks (POSIX record locks) of this
// one would show to it. Asked from a child process: a process never sees its own locks.
bool lockedForOthers(const char* file, off_t start, off_t length)
{
    const pid_t child = ::fork();
    if (child == 0) {
        const int fd = ::open(file, O_RDONLY);
        struct flock query = {};
        query.l_type = F_WRLCK;
        query.l_whence = SEEK_SET;
        query.l_start = start;
        query.l_len = length;
        _exit(fd >= 0 && ::fcntl(fd, F_GETLK, &query) == 0 && query.l_type != F_UNLCK ? 0 : 1);
    }
    int status = 1;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// SQLite's read lock on the database (its shared byte range) and its mark in the journal's
// index that a connection is open.
bool historyLocksHeld()
{
    return lockedForOthers("History.sqlite", 0x40000002, 510) && lockedForOthers("History.sqlite-shm", 128, 1);
}

} // namespace

class TestHistoryView : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    QTemporaryDir m_data;

    static ProbeRecord answered(qint64 roundTripUs)
    {
        return {QStringLiteral("127.0.0.1"), QDateTime::currentMSecsSinceEpoch(),
                ProbeResult::reply(std::chrono::microseconds(roundTripUs))};
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("HOME", QFile::encodeName(m_home.path()));
        QVERIFY(QDir(m_home.path()).mkpath(QStringLiteral("Documents")));
    }

    void init() { TestFiles::enterEmpty(m_data); }

    // The export dialog, shown on the program's own folder while another program reads the
    // history, costs the running program neither its journal nor its results.
    void fileDialogOnTheDataFolderBesideAnotherReader()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("sqlite3")).isEmpty())
            QSKIP("needs the sqlite3 program");
        HistoryStore store(QStringLiteral("History.sqlite"), {});
        store.record(answered(100));
        store.flush();
        QVERIFY(historyLocksHeld());

        std::unique_ptr<QFileDialog> dialog(
            SaveFileChooser::dialog(nullptr, QStringLiteral("Export results"), QStringLiteral("results.csv")));
        QCOMPARE(dialog->directory().absolutePath(),
                 QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
        auto* model = dialog->findChild<QFileSystemModel*>();
        QVERIFY(model);
        dialog->setViewMode(QFileDialog::Detail);
        dialog->setDirectory(m_data.path());
        dialog->show();
        // The dialog has looked at every file once it tells the journal's type.
        const auto typeShown = [&](const char* name) {
            const QModelIndex index = model->index(m_data.path() + QLatin1Char('/') + QLatin1String(name), 2);
            return index.isValid() && !model->data(index).toString().isEmpty();
        };
        QTRY_VERIFY(typeShown("History.sqlite-shm") && typeShown("History.sqlite-wal"));
        QVERIFY(historyLocksHeld());

        QProcess reader;
        reader.start(QStringLiteral("sqlite3"),
                     {QStringLiteral("History.sqlite"), QStringLiteral("select count(*) from results")});
        QVERIFY(reader.waitForFinished(30000));
        QCOMPARE(reader.readAllStandardOutput().trimmed(), QByteArray("1"));
        QVERIFY(QFile::exists(QStringLiteral("History.sqlite-wal")));
        QVERIFY(historyLocksHeld());

        store.record(answered(200));
        store.flush();
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        QCOMPARE(HistoryReader(QStringLiteral("History.sqlite"))
                     .results(QStringLiteral("127.0.0.1"), now - 60000, now + 1)
                     .size(),
                 2);
    }

    // While results do not reach the file, the details view says so and why.
    void detailsSayWhenRecordingStopped()
    {
        QString problem = QStringLiteral("database is locked");
        DeviceDetailsDialog details(QStringLiteral("127.0.0.1"), QString(), QStringLiteral("History.sqlite"),
                                    [&] { return problem; });
        auto* recording = details.findChild<QLabel*>(QStringLiteral("recordingLabel"));
        details.show();
        QVERIFY(recording->isVisible());
        QVERIFY(recording->text().contains(QStringLiteral("Recording has stopped: database is locked")));
        problem.clear();
        details.refresh();
        QVERIFY(!recording->isVisible());
    }
};

QTEST_MAIN(TestHistoryView)
#include "tst_historyview.moc"
