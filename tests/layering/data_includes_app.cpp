// SPDX-License-Identifier: GPL-3.0-or-later
// Deliberately wrong: the data folder is the base of the program and may not include the
// application shell. The layering test expects this file not to compile.
#include "app/MainWindow.h"
