// SPDX-License-Identifier: GPL-3.0-or-later
#include "CheckRound.h"

#include "Data.h"

#include <QStringList>

#include <optional>

namespace Tarnwick {

namespace {

// Why the check was not heard: the network's words, or what no words mean.
QString failure(const ProbeResult& result)
{
    if (!result.reason.isEmpty())
        return result.reason;
    return result.kind == ProbeResult::SocketError ? QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "not sent"))
                                                   : QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "no reply"));
}

} // namespace

ProbeResult CheckRound::outcome(const DeviceCheck& first, const ProbeResult& firstResult,
                                const QList<DeviceCheck>& more, const QList<ProbeResult>& moreResults)
{
    if (more.isEmpty())
        return firstResult;
    std::optional<ProbeResult::Kind> failedKind;
    QStringList reasons;
    const auto take = [&](const DeviceCheck& check, const ProbeResult& result) {
        if (result.heard())
            return;
        if (!failedKind)
            failedKind = result.kind;
        reasons.append(check.shortText() + QStringLiteral(": ") + failure(result));
    };
    take(first, firstResult);
    for (qsizetype i = 0; i < more.size(); ++i)
        take(more.at(i), i < moreResults.size() ? moreResults.at(i) : ProbeResult::timeout());
    if (!failedKind)
        return firstResult;
    return {*failedKind, 0, reasons.join(QStringLiteral("; "))};
}

QString CheckRound::resultText(const DeviceCheck& check, const ProbeResult* result)
{
    QString said;
    if (!result)
        said = QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "not asked yet"));
    else if (result->answered())
        said = Data::resultText(*result) + QStringLiteral(" ms");
    else if (result->kind == ProbeResult::Present)
        said = PresentResult;
    else
        said = failure(*result);
    return check.shortText() + QStringLiteral(": ") + said;
}

QStringList CheckRound::furtherResults(const QList<DeviceCheck>& more, const QList<ProbeResult>& results,
                                       const ProbeResult& outcome)
{
    const QStringList named = more.isEmpty() ? QStringList() : outcome.reason.split(QStringLiteral("; "));
    QStringList lines;
    for (qsizetype i = 0; i < more.size(); ++i) {
        const QString line = resultText(more.at(i), i < results.size() ? &results.at(i) : nullptr);
        if (!named.contains(line))
            lines << line;
    }
    return lines;
}

} // namespace Tarnwick
