// SPDX-License-Identifier: GPL-3.0-or-later
#include "PingHost.h"

#include "NetworkProbe.h"

#include <condition_variable>
#include <memory>
#include <mutex>

namespace Tarnwick {

ProbeResult pingHost(const QString& host, int timeoutMs)
{
    struct Answer
    {
        std::mutex mutex;
        std::condition_variable ready;
        bool given = false;
        ProbeResult result;
    };
    auto answer = std::make_shared<Answer>();
    NetworkProbe::overNetwork()(host, timeoutMs, [answer](const ProbeResult& result) {
        std::lock_guard lock(answer->mutex);
        answer->result = result;
        answer->given = true;
        answer->ready.notify_all();
    });
    std::unique_lock lock(answer->mutex);
    answer->ready.wait(lock, [&] { return answer->given; });
    return answer->result;
}

} // namespace Tarnwick
