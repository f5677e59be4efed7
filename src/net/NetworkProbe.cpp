// SPDX-License-Identifier: GPL-3.0-or-later
#include "NetworkProbe.h"

#include "NameResolver.h"
#include "ProbeEngine.h"

#include <algorithm>

namespace Tarnwick {

int NetworkProbe::resolutionBoundMs(int timeoutMs)
{
    return std::clamp(timeoutMs, 1000, 5000);
}

AsyncProbe NetworkProbe::overNetwork(std::uint64_t client)
{
    return [client](const QString& host, int timeoutMs, ProbeCompletion done) {
        NameResolver::instance().resolve(
            host, resolutionBoundMs(timeoutMs),
            [timeoutMs, client, done = std::move(done)](NameResolver::Address address) mutable {
                if (!address) {
                    done(ProbeResult::socketError());
                    return;
                }
                ProbeEngine::shared().submit(*address, timeoutMs, std::move(done), client);
            });
    };
}

AsyncProbe NetworkProbe::from(ProbeFunction probe, std::uint64_t client)
{
    if (!probe)
        return overNetwork(client);
    return [probe = std::move(probe)](const QString& host, int timeoutMs, ProbeCompletion done) {
        done(probe(host, timeoutMs));
    };
}

} // namespace Tarnwick
