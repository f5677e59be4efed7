#include "SkinLogging.h"

Q_LOGGING_CATEGORY(lcSkin, "tarnwick.skin")
