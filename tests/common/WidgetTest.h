// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPushButton>
#include <QTest>

// Presses and releases the named push button of a window, as the mouse does.
inline void pressButton(QWidget* window, const char* objectName)
{
    auto* button = window->findChild<QPushButton*>(QString::fromLatin1(objectName));
    QVERIFY2(button, objectName);
    QTest::mousePress(button, Qt::LeftButton);
    QTest::mouseRelease(button, Qt::LeftButton);
}
