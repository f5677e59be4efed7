// SPDX-License-Identifier: GPL-3.0-or-later
#include "DeviceAddress.h"

#include <QStringList>

#include <algorithm>

namespace Tarnwick {

namespace {

bool onlyDigitsAndDots(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit() || c == QLatin1Char('.'); });
}

QString dottedQuadProblem(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    for (const QString& part : parts) {
        if (part.size() <= 4 && part.toInt() > 255)
            return QStringLiteral("\"%1\" is not an IPv4 address: %2 is above 255.").arg(text, part);
    }
    const bool wellShaped = parts.size() == 4 && std::all_of(parts.begin(), parts.end(), [](const QString& part) {
                                return !part.isEmpty() && part.size() <= 3;
                            });
    if (!wellShaped)
        return QStringLiteral("\"%1\" is not an IPv4 address: it takes four numbers from 0 to 255 with a dot "
                              "between each two.")
            .arg(text);
    if (text == QLatin1String("0.0.0.0"))
        return QStringLiteral("0.0.0.0 stands for no device at all; type the device's own address.");
    return QString();
}

// RFC 1123 names, leniently: labels of letters, digits, hyphens and underscores, none empty,
// none longer than 63 characters or with a hyphen at either end; one dot may end the name.
bool isHostName(QString text)
{
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    if (text.isEmpty() || text.size() > 253)
        return false;
    const QStringList labels = text.split(QLatin1Char('.'));
    return std::all_of(labels.begin(), labels.end(), [](const QString& label) {
        return !label.isEmpty() && label.size() <= 63 && !label.startsWith(QLatin1Char('-'))
            && !label.endsWith(QLatin1Char('-')) && std::all_of(label.begin(), label.end(), [](QChar c) {
                   return c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('_');
               });
    });
}

} // namespace

QString DeviceAddress::normalised(const QString& text)
{
    return text.trimmed();
}

QString DeviceAddress::problem(const QString& text)
{
    if (text.isEmpty())
        return QStringLiteral("Type the device's address: an IPv4 address such as 192.168.1.20, or a host name.");
    if (text.contains(QLatin1Char(':')))
        return QStringLiteral("\"%1\" looks like an IPv6 address; IPv6 is not supported yet. Type the device's "
                              "IPv4 address or its host name.")
            .arg(text);
    if (onlyDigitsAndDots(text))
        return dottedQuadProblem(text);
    if (!isHostName(text))
        return QStringLiteral("\"%1\" is neither an IPv4 address nor a host name: a host name has only letters, "
                              "digits and hyphens, in parts separated by dots.")
            .arg(text);
    return QString();
}

qint64 DeviceAddress::ipv4Number(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return -1;
    qint64 number = 0;
    for (const QString& part : parts) {
        bool ok = false;
        const uint octet = part.toUInt(&ok, 10);
        if (!ok || octet > 255 || part.isEmpty() || part.size() > 3 || !part.at(0).isDigit())
            return -1;
        number = number * 256 + octet;
    }
    return number;
}

} // namespace Tarnwick
