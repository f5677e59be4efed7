// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <QList>

#include <algorithm>
#include <functional>

// A peer tool's run: how long it took and what it printed; seconds is -1 when it did not end
// normally within ten minutes.
struct ToolRun
{
    double seconds = -1;
    QByteArray output;
};

inline ToolRun runTool(const QString& program, const QStringList& arguments)
{
    QProcess tool;
    QElapsedTimer timer;
    timer.start();
    tool.start(program, arguments);
    if (!tool.waitForFinished(600000) || tool.exitStatus() != QProcess::NormalExit)
        return {};
    return {double(timer.nsecsElapsed()) / 1e9, tool.readAllStandardOutput()};
}

// Writes the whole file; false when it could not.
inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Runs the event loop until the condition holds or ms pass; true when it held.
inline bool runUntil(const std::function<bool()>& condition, int ms)
{
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (condition())
            loop.quit();
    });
    look.start(5);
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    if (!condition())
        loop.exec();
    return condition();
}

// Runs the event loop for ms.
inline void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The middle value (the upper of the two middle ones of an even count); 0 for none.
inline double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}
