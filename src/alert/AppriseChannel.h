// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "alert/AlertChannel.h"

#include <QStringList>

#include <chrono>

class QProcess;

namespace Tarnwick {

// Sends each alert to the user's Apprise URLs ("Send alerts through Apprise": e-mail, ntfy,
// Matrix, ...) through Debian's apprise program, started directly (never through a shell) with
// the title and the text as its arguments and the URLs in its environment (APPRISE_URLS). Exit status 0 is a delivery;
// a missing program is a failure that says which package to install, so the alerts wait until it is there.
class AppriseChannel : public AlertChannel
{
public:
    static constexpr std::chrono::milliseconds DefaultTimeLimit{60000};

    // The URLs as the user wrote them, separated by spaces or new lines.
    explicit AppriseChannel(const QString& urls, std::chrono::milliseconds timeLimit = DefaultTimeLimit,
                            const QString& program = QStringLiteral("apprise"), QObject* parent = nullptr);
    ~AppriseChannel() override;

    // The channel's name, as the outbox keeps it with each waiting alert.
    static inline const QString Name = QStringLiteral("apprise");
    QString name() const override;
    void send(const Alert& alert) override;
    QStringList urls() const { return m_urls; }
    // Why the user's URLs cannot be used, naming the first word among them that is no URL (it
    // lacks "service://"), for the log and the settings dialog; empty when they can.
    static QString refusal(const QString& urls);

private:
    // The last lines of apprise's output, which tell why it failed, or empty.
    static QString lastWords(QStringList said);
    void ended(const QString& why);

    static constexpr qsizetype MaxReasonLines = 3;

    const QStringList m_urls;
    const std::chrono::milliseconds m_timeLimit;
    const QString m_program;
    QProcess* m_running = nullptr;
};

} // namespace Tarnwick
