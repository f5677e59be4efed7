// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QProcess>

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
