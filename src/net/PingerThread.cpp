#include "PingerThread.h"

#include "data/Data.h"
#include "data/Settings.h"

#include <algorithm>

namespace Tarnwick {

namespace {

PingerThread* s_current = nullptr;

// How many announcements may wait for the GUI thread before the monitor holds back. Without
// a bound, a fast network (gap 0, loopback) would announce results faster than the window
// takes them, and the event loop would stall on ever larger batches.
constexpr int MaxUndeliveredEvents = 200;

} // namespace

PingerThread::PingerThread(ProbeFunction probe)
    : m_probe(probe ? std::move(probe) : ProbeFunction(&pingHost))
{
}

void PingerThread::requestStop()
{
    QMutexLocker lock(&m_sleepMutex);
    m_stopRequested = true;
    m_wake.wakeAll();
}

bool PingerThread::sleepUnlessStopped(int milliseconds)
{
    QMutexLocker lock(&m_sleepMutex);
    if (!m_stopRequested && milliseconds > 0)
        m_wake.wait(&m_sleepMutex, QDeadlineTimer(milliseconds));
    return !m_stopRequested;
}

void PingerThread::run()
{
    const Settings& settings = Settings::instance();
    while (sleepUnlessStopped(1)) {
        Data* data = Data::instance();
        if (!data)
            continue;
        const QList<DeviceEntry> snapshot = data->entries();
        for (qsizetype i = 0; i < snapshot.size(); ++i) {
            // Negative timings from the settings would stall the monitor; they count as 0.
            if (!sleepUnlessStopped(std::max(0, settings.pingTimeGap.load())))
                return;
            while (data->undeliveredAnnouncements() > MaxUndeliveredEvents) {
                if (!sleepUnlessStopped(1))
                    return;
            }
            const QString& ip = snapshot.at(i).ip;
            const int result = m_probe(ip, std::max(0, settings.pingTimeout.load()), int(i), int(i));
            if (m_stopRequested)
                return;
            data->setPingResult(ip, result < 0 ? NoReplyResult : QString::number(result));
        }
    }
}

void startPinger(ProbeFunction probe)
{
    if (s_current)
        return;
    s_current = new PingerThread(std::move(probe));
    s_current->start(QThread::InheritPriority);
}

void stopPinger()
{
    if (!s_current)
        return;
    s_current->requestStop();
    s_current->wait();
    delete s_current;
    s_current = nullptr;
}

PingerThread* currentPinger()
{
    return s_current;
}

} // namespace Tarnwick
