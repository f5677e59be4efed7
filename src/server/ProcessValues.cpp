// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProcessValues.h"

namespace Tarnwick {

QString appVersion;
bool quitRequested = false;

} // namespace Tarnwick
