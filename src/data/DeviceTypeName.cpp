// SPDX-License-Identifier: GPL-3.0-or-later
#include "DeviceTypeName.h"

#include "DeviceEntry.h"

#include <QCoreApplication>

namespace Tarnwick {

namespace {

struct TypeChoice
{
    const char* text;
    int code;
};

constexpr TypeChoice Choices[] = {
    //: A type of device: a computer
    {QT_TRANSLATE_NOOP("DeviceTypeName", "PC"), DeviceTypePC},
    //: A type of device: a wireless access point
    {QT_TRANSLATE_NOOP("DeviceTypeName", "AP"), DeviceTypeAP},
    //: A type of device
    {QT_TRANSLATE_NOOP("DeviceTypeName", "Router"), DeviceTypeRouter},
    //: A type of device: a web server
    {QT_TRANSLATE_NOOP("DeviceTypeName", "Web"), DeviceTypeWeb},
};

} // namespace

QString DeviceTypeName::of(int type)
{
    for (const TypeChoice& choice : Choices) {
        if (choice.code == type)
            return QString::fromLatin1(choice.text);
    }
    return {};
}

QString DeviceTypeName::shown(int type)
{
    for (const TypeChoice& choice : Choices) {
        if (choice.code == type)
            return QCoreApplication::translate("DeviceTypeName", choice.text);
    }
    return {};
}

int DeviceTypeName::codeOf(const QString& name)
{
    for (const TypeChoice& choice : Choices) {
        if (name.compare(QLatin1String(choice.text), Qt::CaseInsensitive) == 0)
            return choice.code;
    }
    return 0;
}

QList<int> DeviceTypeName::chooserOrder()
{
    QList<int> codes;
    for (const TypeChoice& choice : Choices)
        codes << choice.code;
    return codes;
}

} // namespace Tarnwick
