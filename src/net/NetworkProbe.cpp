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

AsyncProbe NetworkProbe::overNetwork(ProbeEngine& engine, std::uint64_t client, bool askByArp, EchoOptions echo)
{
    const auto onLink = askByArp ? ProbeEngine::OnLink::AskByArp : ProbeEngine::OnLink::EchoOnly;
    return [&engine, client, onLink, echo](const QString& host, int timeoutMs, ProbeCompletion done) {
        engine.resolver().resolve(host, resolutionBoundMs(timeoutMs),
                                  [&engine, timeoutMs, client, onLink, echo,
                                   done = std::move(done)](const NameResolver::Outcome& found) mutable {
                                      if (!found.address) {
                                          done(ProbeResult::unresolved(found.failure));
                                          return;
                                      }
                                      engine.submit(*found.address, timeoutMs, std::move(done), client, onLink, echo);
                                  });
    };
}

AsyncProbe NetworkProbe::checking(ProbeEngine& engine, const DeviceCheck& check, EchoOptions echo, std::uint64_t client)
{
    if (check.kind == DeviceCheck::Echo)
        return overNetwork(engine, client, true, echo);
    return [&engine, check, client](const QString& host, int timeoutMs, ProbeCompletion done) {
        engine.resolver().resolve(
            host, resolutionBoundMs(timeoutMs),
            [&engine, timeoutMs, client, check, done = std::move(done)](const NameResolver::Outcome& found) mutable {
                if (!found.address)
                    done(ProbeResult::unresolved(found.failure));
                else if (check.kind == DeviceCheck::TcpPort)
                    engine.submitConnect(*found.address, check.port, timeoutMs, std::move(done), client);
                else
                    engine.submit(*found.address, timeoutMs, std::move(done), client, ProbeEngine::OnLink::ArpOnly);
            });
    };
}

AsyncProbe NetworkProbe::from(ProbeFunction probe)
{
    return [probe = std::move(probe)](const QString& host, int timeoutMs, ProbeCompletion done) {
        done(probe(host, timeoutMs));
    };
}

AsyncProbe NetworkProbe::refusing(const QString& why)
{
    return from([why](const QString&, int) { return ProbeResult::notSent(why); });
}

} // namespace Tarnwick
