// Loads and saves a device list of many entries and prints how long each took.
#include "data/Data.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

using namespace Tarnwick;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 10000;
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
    timer.restart();
    data.save();
    const qint64 saveMs = timer.elapsed();

    std::printf("device list of %lld entries: load %lld ms, save %lld ms\n",
                static_cast<long long>(data.entries().size()), static_cast<long long>(loadMs),
                static_cast<long long>(saveMs));
    std::printf("@ load_%d_ms %lld\n@ save_%d_ms %lld\n", count, static_cast<long long>(loadMs), count,
                static_cast<long long>(saveMs));
    return data.entries().size() == count ? 0 : 1;
}
