// SPDX-License-Identifier: GPL-3.0-or-later
#include "DiscoverDevicesThread.h"

#include "ProbeEngine.h"
#include "data/PhraseBook.h"

#include <QScopeGuard>

#include <algorithm>

namespace Tarnwick {

DiscoverDevicesThread::DiscoverDevicesThread(const ScanRange& range, ProbeEngine& engine, int timeoutMs, Wait wait)
    : m_range(range)
    , m_engine(&engine)
    , m_client(engine.newClient())
    , m_probe(NetworkProbe::overNetwork(engine, m_client, true))
    , m_timeoutMs(timeoutMs)
{
    engine.setQuickWait(m_client, wait == Wait::Quick);
}

DiscoverDevicesThread::DiscoverDevicesThread(const ScanRange& range, ProbeFunction probe, int timeoutMs)
    : m_range(range)
    , m_probe(NetworkProbe::from(std::move(probe)))
    , m_timeoutMs(timeoutMs)
{
}

DiscoverDevicesThread::~DiscoverDevicesThread()
{
    if (m_engine)
        m_engine->setQuickWait(m_client, false);
}

void DiscoverDevicesThread::withdrawQueued()
{
    if (m_engine)
        m_engine->withdraw(m_client);
}

std::optional<QList<quint8>> DiscoverDevicesThread::parseAddress(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('.'), Qt::SkipEmptyParts);
    if (parts.size() != 4)
        return std::nullopt;
    QList<quint8> octets;
    for (const QString& part : parts) {
        bool ok = false;
        const int value = part.toInt(&ok, 10);
        if (!ok || value < 0 || value > 254)
            return std::nullopt;
        octets << quint8(value);
    }
    return octets;
}

namespace {

// The figures of a search, completed or stopped.
QString searchText(const PhraseBook::Phrase& phrase, int active, int total)
{
    // An empty box has no share to speak of; it reads 0%.
    const int percent = total > 0 ? int(active * 100.0 / total) : 0;
    return PhraseBook::english(phrase, {QString::number(active), QString::number(total), QString::number(percent)});
}

} // namespace

QString DiscoverDevicesThread::completionText(int active, int total)
{
    return searchText(PhraseBook::SearchCompleted, active, total);
}

QString DiscoverDevicesThread::stoppedText(int active, int total)
{
    return searchText(PhraseBook::SearchStopped, active, total);
}

void DiscoverDevicesThread::requestStop()
{
    m_waiter.stop();
    // What has not left yet would only hold up the monitor, a new scan or "Ping now".
    withdrawQueued();
}

QString DiscoverDevicesThread::presentText(int present)
{
    return present > 0 ? PhraseBook::english(PhraseBook::PresentWithoutEcho, {QString::number(present)}) : QString();
}

DiscoverDevicesThread::Finding DiscoverDevicesThread::findingOf(const ProbeResult& result)
{
    return result.kind == ProbeResult::Reply ? Answered : result.kind == ProbeResult::Present ? Present : Silent;
}

QString DiscoverDevicesThread::resultText(const ProbeResult& result)
{
    switch (result.kind) {
    case ProbeResult::Reply:
        return QStringLiteral("%1 ms").arg(result.roundTripUs / 1000);
    case ProbeResult::Present:
        return QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "Present, no echo reply"));
    case ProbeResult::Timeout:
        if (!result.reason.isEmpty())
            return result.reason.left(1).toUpper() + result.reason.mid(1);
        return QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "Timeout"));
    case ProbeResult::SocketError:
        break;
    }
    return QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "Socket error"));
}

void DiscoverDevicesThread::run()
{
    // Whatever was submitted while a stop was under way goes too.
    const auto withdrawLeftovers = qScopeGuard([this] {
        if (m_waiter.stopped())
            withdrawQueued();
    });
    const qint64 total = m_range.size();
    qint64 submitted = 0;
    qint64 reported = 0;
    int active = 0;
    int present = 0;
    while (reported < total) {
        while (submitted < total && submitted - reported < MaxInFlight && !m_waiter.stopped()) {
            m_probe(m_range.addressAt(submitted), m_timeoutMs, m_waiter.deliverTo(submitted));
            ++submitted;
        }
        // Reported in box order: whatever came in from the next one on.
        const QList<ProbeResult> ready = m_waiter.takeFrom(reported);
        if (ready.isEmpty())
            return;
        for (const ProbeResult& result : ready) {
            const Finding finding = findingOf(result);
            active += finding == Answered;
            present += finding == Present;
            emit addressProbed(finding, m_range.addressAt(reported), resultText(result));
            ++reported;
        }
    }
    if (m_waiter.stopped())
        return;
    emit scanCompleted(active, int(std::min<qint64>(total, INT_MAX)), present);
}

} // namespace Tarnwick
