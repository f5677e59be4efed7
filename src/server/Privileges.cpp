// SPDX-License-Identifier: GPL-3.0-or-later
#include "Privileges.h"

#include "AppLogging.h"

#include <sys/auxv.h>
#include <sys/capability.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace Tarnwick {

bool Privileges::startedRaised()
{
    return ::getauxval(AT_SECURE) != 0;
}

void Privileges::forgetCodeLoadingEnvironment()
{
    for (const char* name :
         {"QT_PLUGIN_PATH", "QT_QPA_PLATFORM_PLUGIN_PATH", "QT_QPA_PLATFORMTHEME", "QT_QPA_GENERIC_PLUGINS",
          "QT_STYLE_OVERRIDE", "QT_XCB_GL_INTEGRATION", "GTK_MODULES", "GTK3_MODULES", "GTK_PATH"})
        ::unsetenv(name);
}

void Privileges::dropCapabilities()
{
    ::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
    // Root with no capability would get them all back at its next exec, unless the bounding
    // set is empty; emptying it needs CAP_SETPCAP, so it comes first. Without that right (a
    // program file's capability) the calls fail and change nothing.
    for (cap_value_t capability = 0; capability < ::cap_max_bits(); ++capability)
        ::prctl(PR_CAPBSET_DROP, capability, 0, 0, 0);
    cap_t none = ::cap_init();
    if (!none || ::cap_set_proc(none) != 0)
        qCWarning(lcApp) << "could not give up the capabilities of the process:" << std::strerror(errno);
    if (none)
        ::cap_free(none);
}

} // namespace Tarnwick
