// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace Tarnwick {

// Whether the window is drawn light or dark: as the desktop prefers, or always one of them.
enum class Appearance {
    FollowDesktop,
    Light,
    Dark,
};

} // namespace Tarnwick
