// SPDX-License-Identifier: GPL-3.0-or-later
#include "StoreEvent.h"

namespace Tarnwick {

std::atomic<int> StoreEvent::s_live{0};

StoreEvent::StoreEvent()
{
    ++s_live;
}

StoreEvent::~StoreEvent()
{
    --s_live;
}

int StoreEvent::liveCount()
{
    return s_live.load();
}

} // namespace Tarnwick
