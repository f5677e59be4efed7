#include "NetLogging.h"

Q_LOGGING_CATEGORY(lcNet, "tarnwick.net")
