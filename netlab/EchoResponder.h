// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcess>
#include <QStringList>

// Runs the test responder (echo_responder) for as long as this object lives.
class EchoResponder
{
public:
    // True once the responder listens.
    bool start(const QStringList& arguments);
    ~EchoResponder();

private:
    QProcess m_process;
};
