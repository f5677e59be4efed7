#include "ProcessValues.h"

namespace Tarnwick {

QString appVersion;
bool quitRequested = false;

} // namespace Tarnwick
