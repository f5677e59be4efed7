// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace Tarnwick {

// The version shown to the user; set first thing at start-up.
extern QString appVersion;

// Set only when the user asked the application to quit; it alone ends the event loop for good.
extern bool quitRequested;

} // namespace Tarnwick
