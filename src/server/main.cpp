// SPDX-License-Identifier: GPL-3.0-or-later
#include "server/HeadlessProgram.h"
#include "server/ProcessSignalWatcher.h"

// Before the libraries' own start-up code: a hang-up while the program starts waits for its handler.
[[gnu::used, gnu::section(".preinit_array")]] static void (*holdHangUpsAtLoad)(int, char**, char**)
    = &Tarnwick::ProcessSignalWatcher::holdHangUps;

int main(int argc, char** argv)
{
    return Tarnwick::HeadlessProgram::run(argc, argv);
}
