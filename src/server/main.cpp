// SPDX-License-Identifier: GPL-3.0-or-later
#include "server/HeadlessProgram.h"
#include "server/ProcessSignalWatcher.h"

namespace {

// Runs before the libraries' own start-up code, which takes tens of milliseconds: from here on
// a reload asked for while the program starts waits for it rather than ending it.
void holdHangUpsFirst(int, char**, char**)
{
    Tarnwick::ProcessSignalWatcher::holdHangUps();
}
[[gnu::used, gnu::section(".preinit_array")]] void (*holdHangUpsAtLoad)(int, char**, char**) = holdHangUpsFirst;

} // namespace

int main(int argc, char** argv)
{
    return Tarnwick::HeadlessProgram::run(argc, argv);
}
