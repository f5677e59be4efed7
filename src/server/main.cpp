// SPDX-License-Identifier: GPL-3.0-or-later
#include "server/HeadlessProgram.h"

int main(int argc, char** argv)
{
    return Tarnwick::HeadlessProgram::run(argc, argv);
}
