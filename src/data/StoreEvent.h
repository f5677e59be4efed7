// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>

namespace Tarnwick {

// Base of the records that the store's signals carry. The store owns every record and
// releases it once all receivers of its emission have run; the count of live records
// shows that none are left behind.
class StoreEvent
{
public:
    StoreEvent();
    StoreEvent(const StoreEvent&) = delete;
    StoreEvent& operator=(const StoreEvent&) = delete;
    virtual ~StoreEvent();

    static int liveCount();

private:
    static std::atomic<int> s_live;
};

} // namespace Tarnwick
