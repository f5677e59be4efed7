// SPDX-License-Identifier: GPL-3.0-or-later
#include "alert/AppriseChannel.h"

#include "alert/ProcessOutputTail.h"
#include "data/PhraseBook.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>

namespace Tarnwick {

AppriseChannel::AppriseChannel(const QString& urls, std::chrono::milliseconds timeLimit, const QString& program,
                               QObject* parent)
    : AlertChannel(parent)
    , m_urls(urls.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts))
    , m_timeLimit(timeLimit)
    , m_program(program)
{
}

AppriseChannel::~AppriseChannel()
{
    if (m_running) {
        m_running->disconnect(this);
        m_running->kill();
        m_running->waitForFinished(1000);
    }
}

QString AppriseChannel::refusal(const QString& urls)
{
    // Apprise reads a stray word as a path of the URL before it and would report its delivery.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    for (const QString& word : urls.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
        if (!scheme.match(word).hasMatch())
            return PhraseBook::english(PhraseBook::NotAnAppriseUrl, {word});
    }
    return {};
}

QString AppriseChannel::lastWords(QStringList said)
{
    // Apprise's log lines: "2026-12-08 22:57:07,752 - WARNING - A Connection error occurred ...".
    static const QRegularExpression logged(QStringLiteral("^\\S+ \\S+ - [A-Z]+ - "));
    for (QString& line : said)
        line = line.remove(logged).trimmed();
    said.removeAll(QString());
    return said.join(QStringLiteral("; "));
}

QString AppriseChannel::name() const
{
    return Name;
}

void AppriseChannel::send(const Alert& alert)
{
    Q_ASSERT(!m_running);
    if (m_urls.isEmpty()) {
        // Without a URL apprise would turn to whatever configuration files it finds.
        QMetaObject::invokeMethod(
            this, [this] { emit failed(QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "no Apprise URL is set"))); },
            Qt::QueuedConnection);
        return;
    }
    m_running = new QProcess(this);
    m_running->setProcessChannelMode(QProcess::MergedChannels);
    auto* output = new ProcessOutputTail(m_running);
    // Without a body on the command line apprise would read one from its input.
    m_running->setStandardInputFile(QProcess::nullDevice());
    m_running->setProgram(m_program);
    // The type is what services colour or rank a message by (ntfy's priority, Discord's colour).
    // Slowness, a mixed return and hardware answering in another's place warn; a test and a new
    // device inform.
    const QString type = alert.state == QLatin1String("mixed") || alert.kind == Alert::Kinds::Slow
            || alert.kind == Alert::Kinds::HardwareChanged
        ? QStringLiteral("warning")
        : alert.kind == Alert::Kinds::Down                                           ? QStringLiteral("failure")
        : alert.kind == Alert::Kinds::Up || alert.kind == Alert::Kinds::NoLongerSlow ? QStringLiteral("success")
                                                                                     : QStringLiteral("info");
    // -v: without it apprise fails without saying why.
    m_running->setArguments({QStringLiteral("-v"), QStringLiteral("-t"), alert.title, QStringLiteral("-b"), alert.text,
                             QStringLiteral("-n"), type});
    // The URLs carry passwords and tokens: in the environment only this user can read them, where
    // on the command line every user of the computer could.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("APPRISE_URLS"), m_urls.join(u' '));
    m_running->setProcessEnvironment(environment);
    auto* limit = new QTimer(m_running);
    limit->setSingleShot(true);
    connect(limit, &QTimer::timeout, m_running, &QProcess::kill);
    connect(m_running, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        if (QStandardPaths::findExecutable(m_program).isEmpty())
            ended(PhraseBook::english(PhraseBook::AppriseNotInstalled, {m_program}));
        else
            ended(PhraseBook::english(PhraseBook::ProgramCannotStart, {m_program, m_running->errorString()}));
    });
    connect(m_running, &QProcess::finished, this, [this, limit, output](int code, QProcess::ExitStatus status) {
        if (status == QProcess::NormalExit && code == 0) {
            ended(QString());
            return;
        }
        const QString last = lastWords(output->lastLines(MaxReasonLines));
        const QString exitCode = QString::number(code);
        if (!limit->isActive())
            ended(PhraseBook::english(PhraseBook::AppriseTimedOut, {QString::number(m_timeLimit.count() / 1000)}));
        else if (status == QProcess::CrashExit)
            ended(last.isEmpty() ? QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "apprise crashed"))
                                 : PhraseBook::english(PhraseBook::AppriseCrashedSaying, {last}));
        else
            ended(last.isEmpty() ? PhraseBook::english(PhraseBook::AppriseFailed, {exitCode})
                                 : PhraseBook::english(PhraseBook::AppriseFailedSaying, {exitCode, last}));
    });
    // Started first: a program that cannot start ends the send within start().
    limit->start(m_timeLimit);
    m_running->start();
}

void AppriseChannel::ended(const QString& why)
{
    m_running->disconnect(this);
    m_running->deleteLater();
    m_running = nullptr;
    if (why.isEmpty())
        emit delivered();
    else
        emit failed(why);
}

} // namespace Tarnwick
