// SPDX-License-Identifier: GPL-3.0-or-later
#include "EchoResponder.h"

bool EchoResponder::start(const QStringList& arguments)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(TARNWICK_ECHO_RESPONDER), arguments);
    if (!m_process.waitForStarted(5000))
        return false;
    while (m_process.waitForReadyRead(5000)) {
        if (m_process.readAll().contains("ready"))
            return true;
    }
    return false;
}

EchoResponder::~EchoResponder()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}
