// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/ProbeResult.h"

#include <QList>

#include <optional>

namespace Tarnwick {

// Whether one device is slow, judged over its last results: slow once the average round trip
// of its replies exceeds the limit, or the share of missed replies exceeds the loss limit. To
// leave, both must fall to 80 % of their limit, so that a device near a line does not flap
// across it with every result.
class SlowRule
{
public:
    struct Limits
    {
        // 0: that test is off.
        int averageMs = 0;
        int lossPercent = 0;
        // How many of the last results are judged; none is judged before there are as many.
        int results = 20;

        bool operator==(const Limits& other) const = default;
    };

    // What the last results show, as the messages tell it.
    struct Figures
    {
        bool slow = false;
        // Over the replies among the results; 0 without any.
        double averageMs = 0;
        int replies = 0;
        int results = 0;
        int lossPercent = 0;
        // Which line made the device slow: its average (or else its loss).
        bool byAverage = false;
    };

    static constexpr int LeavePercent = 80;

    SlowRule() = default;
    explicit SlowRule(Limits limits);

    // Takes the next result; the figures when it changes whether the device is slow.
    std::optional<Figures> take(const ProbeResult& result);
    // Forgets the results (the device went down, or its limits changed), quietly.
    void reset(Limits limits);
    bool slow() const { return m_slow; }
    // Whether there are results enough to judge by.
    bool judged() const;
    Limits limits() const { return m_limits; }
    // What the results taken so far show.
    Figures figures() const;

private:
    Limits m_limits;
    // Not a std::deque: an empty one still takes half a kilobyte, and every device has a rule.
    QList<ProbeResult> m_window;
    bool m_slow = false;
};

} // namespace Tarnwick
