// SPDX-License-Identifier: GPL-3.0-or-later
// Loads and saves device lists of 10,000 and of 100,000 entries and prints how long each took.
#include "data/Data.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

using namespace Tarnwick;

namespace {

bool measure(int count)
{
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    {
        Data seed;
        seed.load(QStringLiteral("DeviceConfig.xml"));
        for (int i = 0; i < count; ++i)
            seed.addEntry(DeviceEntry(QStringLiteral("host-%1.example.invalid").arg(i),
                                      QStringLiteral("Device number %1 & friends").arg(i), 1 + i % 4, i % 2,
                                      NoReplyResult));
        seed.save();
    }
    QCoreApplication::processEvents();

    Data data;
    QElapsedTimer timer;
    timer.start();
    data.load(QStringLiteral("DeviceConfig.xml"));
    const qint64 loadMs = timer.elapsed();
    // One change, so that the save has something of its own to write.
    data.removeEntry(QStringLiteral("host-0.example.invalid"));
    timer.restart();
    const bool saved = data.save();
    const qint64 saveMs = timer.elapsed();

    std::printf("device list of %d entries: load %lld ms, save %lld ms\n", count, static_cast<long long>(loadMs),
                static_cast<long long>(saveMs));
    if (data.entries().size() != count - 1 || !saved) {
        std::fprintf(stderr, "bench_devicelist: the list of %d entries did not load and save whole\n", count);
        return false;
    }
    std::printf("@ load_%d_ms %lld\n@ save_%d_ms %lld\n", count, static_cast<long long>(loadMs), count,
                static_cast<long long>(saveMs));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const bool ok = measure(10000) && measure(100000);
    return ok ? 0 : 1;
}
