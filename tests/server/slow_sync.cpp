// SPDX-License-Identifier: GPL-3.0-or-later
// Preloaded into a program, makes every sync of a file to disk take 300 ms longer, as a busy or
// slow disk does.
#include <dlfcn.h>
#include <time.h>

namespace {

void waitForTheDisk()
{
    const timespec pause{0, 300'000'000};
    nanosleep(&pause, nullptr);
}

template <typename Call>
int thenTheRealOne(const char* name, int fd)
{
    waitForTheDisk();
    const auto real = reinterpret_cast<Call>(dlsym(RTLD_NEXT, name));
    return real ? real(fd) : 0;
}

} // namespace

extern "C" int fsync(int fd)
{
    return thenTheRealOne<int (*)(int)>("fsync", fd);
}

extern "C" int fdatasync(int fd)
{
    return thenTheRealOne<int (*)(int)>("fdatasync", fd);
}
